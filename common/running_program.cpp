#include "running_program.h"

#include <windows.h>

#include "command_line.h"

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring ModuleFolder(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return FolderOf(path);
}

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) return path.substr(0, length);
    if (path.size() >= 32768) return std::wstring();  // longer than any path can be
    path.resize(path.size() * 2);
  }
}

std::wstring ProgramFolder() {
  return ModuleFolder(nullptr);
}

const wchar_t* ProcessCommandLineTail() {
  return CommandLineTail(GetCommandLineW());
}
