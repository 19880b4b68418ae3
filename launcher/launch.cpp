#include "launch.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "running_program.h"

void LaunchMainProgram(const wchar_t* tail) {
  const std::wstring mainProgram = ProgramFolder() + L"quenvo.exe";
  // No directory: the main program inherits ours. A failure is silent by design.
  ShellExecuteW(/*owner*/ nullptr, L"open", mainProgram.c_str(), tail, /*directory*/ nullptr, SW_SHOWDEFAULT);
}
