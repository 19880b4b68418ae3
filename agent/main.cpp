// quenvodata: the statistics and update agent. Started with "data=install", "data=uninstall"
// or a "data=" command containing "run", it reports that event and exits. Started with
// "/detach data=…" (the logon stub), it hands that command to a copy of itself and exits.
// Started with "/update", it opens the update window for a person and exits once it is closed.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <string>

#include "app_module.h"
#include "client_profile.h"
#include "command.h"
#include "running_program.h"
#include "scoped_handle.h"
#include "update_command.h"
#include "update_down.h"

// The program's static objects, constructed in this order within this file: the module
// first, then the update presenter's window object, and the profile last.
CAppModule _Module;

// The update presenter's window with its three image buttons; "/update" opens it.
CUpdateDown g_updateDown;

ClientProfile g_profile(ProfileScope::kAgent);

namespace {

// Starts this program again with `tail`, without waiting for it, so that whoever started
// this one (Active Setup, which holds the logon until its stub ends) never waits on the
// network. A stub may run inside a job that ends its processes with it: the copy leaves the
// job where the job allows that. Where it does not, CreateProcessW fails with
// ERROR_ACCESS_DENIED, and the copy is started inside the job. The copy works in its own
// folder, not in the caller's current one, which it would otherwise hold open for as long as
// it waits on the network, and which may be gone by then.
void StartDetachedCopy(const std::wstring& tail) {
  const std::wstring self = ProgramPath();
  if (self.empty()) return;
  const std::wstring folder = FolderOf(self);
  for (const DWORD flags : {DWORD{CREATE_BREAKAWAY_FROM_JOB}, DWORD{0}}) {
    std::wstring commandLine = L"\"" + self + L"\" " + tail;  // CreateProcessW may write to it
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;  // the copy opens no window: no busy cursor
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(self.c_str(), &commandLine[0], /*process*/ nullptr, /*thread*/ nullptr,
                       /*inherit*/ FALSE, flags, /*environment*/ nullptr, folder.c_str(), &startup, &started)) {
      quenvo::ScopedKernelHandle process(started.hProcess);
      quenvo::ScopedKernelHandle thread(started.hThread);
      return;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) return;
  }
}

void Dispatch(const std::wstring& commandLine) {
  const std::wstring detached = DetachedCommand(commandLine);
  if (!detached.empty()) return StartDetachedCopy(detached);
  if (IsUpdateCommand(commandLine)) return RunUpdateCommand();
  switch (ParseCommand(commandLine)) {
    case AgentCommand::kInstall: g_profile.ReportInstallEvent(true); break;
    case AgentCommand::kUninstall: g_profile.ReportInstallEvent(false); break;
    case AgentCommand::kRun: g_profile.ReportRun(); break;  // whether an offer came is not used here
    case AgentCommand::kNone: break;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  CoInitialize(nullptr);
  DefWindowProcW(nullptr, 0, 0, 0);
  INITCOMMONCONTROLSEX controls = {8, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  _Module.Init(/*objectMap*/ nullptr, instance, /*libraryId*/ nullptr);

  // The start-up code's tail skips only blanks and tabs; the tail is taken by our own rule.
  try {
    Dispatch(ProcessCommandLineTail());
  } catch (...) {
    // Out of memory mid-report: the report is lost, the exit stays quiet.
  }

  _Module.Term();
  CoUninitialize();
  return 0;
}
