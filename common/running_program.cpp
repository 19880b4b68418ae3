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

std::wstring ProgramFolder() {
  return ModuleFolder(nullptr);
}

const wchar_t* ProcessCommandLineTail() {
  return CommandLineTail(GetCommandLineW());
}
