// The folder of the running program, up to and including the last backslash.
#pragma once

#include <string>

std::wstring ProgramFolder();
// The part of a full path up to and including its last backslash ("" without one).
std::wstring FolderOf(const std::wstring& path);
