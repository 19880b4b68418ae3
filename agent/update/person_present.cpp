#include "person_present.h"

#include <string>

#include "process_user.h"

namespace {

constexpr wchar_t kLocalSystemSid[] = L"S-1-5-18";

bool StationIsVisible() {
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  return GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

bool IsPersonPresent(const SessionFacts& facts) {
  return !facts.local_system && facts.session_id != 0 && facts.visible_station;
}

SessionFacts ReadSessionFacts() {
  SessionFacts facts;
  const std::wstring user = ProcessUserSid();
  facts.local_system = user.empty() || user == kLocalSystemSid;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &facts.session_id)) facts.session_id = 0;
  facts.visible_station = StationIsVisible();
  return facts;
}
