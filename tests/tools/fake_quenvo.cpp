// Test stand-in for the suite's main program: records how it was started into
// "received.txt" beside itself, one JSON line per start.
#include <windows.h>

#include <string>

#include "json_line.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  LARGE_INTEGER now;  // first thing: the benchmark measures the time until this start
  QueryPerformanceCounter(&now);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder.resize(folder.rfind(L'\\') + 1);
  wchar_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);

  const std::string line = "{\"cmdline\": " + JsonString(GetCommandLineW()) + ", \"cwd\": " + JsonString(cwd) +
                           ", \"show\": " + std::to_string(show) + ", \"qpc\": " + std::to_string(now.QuadPart) + "}";
  AppendLine(folder + L"received.txt", line);
  return 0;
}
