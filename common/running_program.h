// The running program: the folder of its executable and its command-line tail.
#pragma once

#include <windows.h>

#include <string>

// The full path of the program's own file, however long ("" when it cannot be had).
std::wstring ProgramPath();
// The folder of the program's own file, up to and including the last backslash.
std::wstring ProgramFolder();
// The same for a loaded module (a DLL finds its own folder with its handle).
std::wstring ModuleFolder(HMODULE module);
// The part of a full path up to and including its last backslash ("" without one).
std::wstring FolderOf(const std::wstring& path);

// The tail of this process's own command line (GetCommandLineW), by the rule of
// CommandLineTail. The start-up code's tail skips only blanks and tabs after the name.
const wchar_t* ProcessCommandLineTail();
