// The registry has no compare-and-set for a value, so a read and a write of a mark would let every
// agent that reads between them claim it too. A named mutex is the platform's lock between
// processes: the system releases it when its owner ends, even mid-claim (the next owner gets
// WAIT_ABANDONED; a mark is one value written in one call, so nothing is left half-done). Its name
// carries the user's SID, so only that user's agents share it, and lies in the Global namespace,
// so all of that user's logon sessions (several sessions on a server, fast user switching) share
// it; each user's marks live in that user's own hive, which no other account's agent writes.
#include "marks.h"

#include <windows.h>

#include "process_user.h"
#include "registry.h"
#include "scoped_handle.h"

namespace {

using quenvo::ScopedKernelHandle;

// A claim holds the lock for one registry read and one write, a few milliseconds; a lock held
// longer is not a claim of ours (another account may have made the name and hold it).
constexpr DWORD kLockWaitMs = 1000;

std::wstring LockName(const std::wstring& sid) {
  return L"Global\\quenvo-marks-" + sid;
}

// The user's marks lock, owned while this lives; or, when it can't be had, nothing at all.
class MarksLock {
 public:
  MarksLock();
  ~MarksLock() {
    if (owned_) ReleaseMutex(mutex_.Get());
  }

 private:
  ScopedKernelHandle mutex_;
  bool owned_ = false;
};

MarksLock::MarksLock() {
  const std::wstring sid = ProcessUserSid();
  if (sid.empty()) return;
  mutex_ = OpenUserMutex(LockName(sid), sid);
  if (!mutex_) return;
  const DWORD waited = WaitForSingleObject(mutex_.Get(), kLockWaitMs);
  owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

}  // namespace

bool AnyText(const std::wstring& stored, const std::wstring&) {
  return !stored.empty();
}

bool SameText(const std::wstring& stored, const std::wstring& value) {
  return stored == value;
}

std::wstring MarksLockName() {
  const std::wstring sid = ProcessUserSid();
  return sid.empty() ? std::wstring() : LockName(sid);
}

bool ClaimMark(const wchar_t* name, const std::wstring& value, MarkIsSet isSet) {
  // Held for the read and the write only, never across a request, so no agent waits on another's
  // network. Without the lock (another account made or holds its name) the claim goes on as a lone
  // agent's: a report may then go out twice, but none is lost.
  const MarksLock lock;
  if (isSet(ReadProfileValue(HKEY_CURRENT_USER, kProfileKey, name), value)) return false;
  WriteProfileValue(name, value);
  return true;
}
