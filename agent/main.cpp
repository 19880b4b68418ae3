// quenvodata: the statistics and update agent. Started with "data=install", "data=uninstall"
// or a "data=" command containing "run", it reports that event and exits.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <string>

#include "app_module.h"
#include "client_profile.h"
#include "command.h"
#include "running_program.h"
#include "update_down.h"

// The program's static objects, constructed in this order within this file: the module
// first, then the update presenter's window object, and the profile last.
CAppModule _Module;

// The update presenter's window with its three image buttons; no command opens it.
CUpdateDown g_updateDown;

ClientProfile g_profile(ProfileScope::kAgent);

namespace {

void Dispatch(const std::wstring& commandLine) {
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
