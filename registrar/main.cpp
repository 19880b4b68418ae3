// quenvocommon: the file-association registrar. Has the shell open the suite's document types
// with the document launcher, through the association component, and exits.
#include <windows.h>

#include "client_profile.h"
#include "register_associations.h"

ClientProfile g_profile(ProfileScope::kCompanion);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The program takes no arguments: whatever the command line holds, it does the same.
  try {
    RegisterFileAssociations();
  } catch (...) {
    // Silent by design: out of memory leaves the remaining types as they were.
  }
  return 0;
}
