// Benchmark baseline: the least a launcher can do, one ShellExecuteW with the same arguments.
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR tail, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path);
  file.resize(file.rfind(L'\\') + 1);
  file += L"quenvo.exe";
  ShellExecuteW(nullptr, L"open", file.c_str(), tail, nullptr, SW_SHOWDEFAULT);
  return 0;
}
