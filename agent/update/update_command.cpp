#include "update_command.h"

#include <windows.h>
#include <process.h>

#include <string>

#include "client_profile.h"
#include "http_get.h"
#include "person_present.h"
#include "policy.h"
#include "process_user.h"
#include "record_offer.h"
#include "report_query.h"
#include "scoped_handle.h"
#include "update_down.h"
#include "update_images.h"
#include "update_offer.h"

// The window of /update: the presenter's one window object.
extern CUpdateDown g_updateDown;

namespace {

// A second /update finds the first one's window within this time: its start (images, GDI+, the
// window) takes a fraction of it.
constexpr DWORD kFindWindowMs = 5000;
constexpr DWORD kFindWindowStepMs = 50;

// The user's one update window in this logon session: whoever owns this mutex shows it, for as
// long as the process lives (the system releases it when the process ends).
bool ClaimTheWindow(quenvo::ScopedKernelHandle& claim) {
  const std::wstring sid = ProcessUserSid();
  if (sid.empty()) return true;
  claim = OpenUserMutex(L"Local\\quenvo-update-window-" + sid, sid);
  // Without it (another account made the name) this start shows its window as a lone one.
  if (!claim) return true;
  const DWORD waited = WaitForSingleObject(claim.Get(), 0);
  return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

// Asks the window that another start shows to come to the front. That start may be opening it
// still, so it is looked for a while.
void BringTheOtherWindowForward() {
  for (DWORD waited = 0; waited < kFindWindowMs; waited += kFindWindowStepMs) {
    const HWND other = FindWindowW(CUpdateDown::kClassName, /*title*/ nullptr);
    if (other != nullptr) {
      // This start was the person's; it lends the other process the right to take the foreground.
      DWORD process = 0;
      GetWindowThreadProcessId(other, &process);
      AllowSetForegroundWindow(process);
      PostMessageW(other, WM_UPDATE_SHOW, 0, 0);
      return;
    }
    Sleep(kFindWindowStepMs);
  }
}

CheckOutcome Classify(const UpdateOffer& offer) {
  if (offer.version.empty()) return CheckOutcome::kFailed;  // no reply, or not a version reply
  return IsNewerVersion(offer.version) ? CheckOutcome::kNewer : CheckOutcome::kNothingNewer;
}

// The version query runs on a thread of its own, so the window answers the person meanwhile
// and closes at once, whatever the network does; the answer comes to the window as a message.
unsigned __stdcall AskForAVersion(void* argument) {
  const HWND window = static_cast<HWND>(argument);
  CheckOutcome outcome = CheckOutcome::kFailed;
  try {
    const ReportValues values = ValuesOf(g_profile, static_cast<int>(GetSystemDefaultLCID()));
    const UpdateOffer offer = ParseVersionReply(HttpGet(VersionUrl(VersionQuery(values))));
    outcome = Classify(offer);
    // An offer whose download has nowhere to go can't be taken.
    if (outcome == CheckOutcome::kNewer && RecordUpdateOffer(g_profile, offer) == 0) outcome = CheckOutcome::kFailed;
  } catch (...) {
    // Out of memory: the check failed.
  }
  PostMessageW(window, WM_UPDATE_CHECKED, static_cast<WPARAM>(outcome), 0);
  return 0;
}

bool StartAskingForAVersion(HWND window) {
  const quenvo::ScopedKernelHandle thread(reinterpret_cast<HANDLE>(
      _beginthreadex(/*security*/ nullptr, /*stack*/ 0, AskForAVersion, window, 0, /*id*/ nullptr)));
  return static_cast<bool>(thread);
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, /*window*/ nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

void RunUpdateCommand() {
  // Nobody would see the window: a service, a deployment tool running as one, LocalSystem.
  if (!IsPersonPresent(ReadSessionFacts())) return;
  quenvo::ScopedKernelHandle claim;
  if (!ClaimTheWindow(claim)) return BringTheOtherWindowForward();

  const GdiplusSession gdiplus;
  if (!gdiplus.ok()) return;
  UpdateImages art;
  art.Load(GetModuleHandleW(nullptr));
  g_updateDown.SetArt(&art);
  // Turned off by policy, nothing is asked: the window says who manages updates.
  const bool asks = !ReadAgentPolicy().disableUpdateCheck;
  g_updateDown.SetFirstView(FirstView(!asks));
  if (!g_updateDown.OpenForPerson()) return;
  if (asks && !StartAskingForAVersion(g_updateDown.m_hWnd)) {
    PostMessageW(g_updateDown.m_hWnd, WM_UPDATE_CHECKED, static_cast<WPARAM>(CheckOutcome::kFailed), 0);
  }
  RunMessageLoop();
}
