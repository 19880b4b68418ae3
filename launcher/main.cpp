// Quenvodef: the document launcher. The shell starts it with a document; it hands the
// document to the suite's main program and exits at once.
#include <windows.h>

#include "client_profile.h"
#include "launch.h"
#include "running_program.h"

ClientProfile g_profile(ProfileScope::kCompanion);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The start-up code's tail skips only some blanks; the tail is taken by our own rule.
  try {
    LaunchMainProgram(ProcessCommandLineTail());
  } catch (...) {
    // Silent by design: out of memory leaves the document unopened, and the exit code 0.
  }
  return 0;
}
