// The temporary folder, where a downloaded update installer goes.
#pragma once

#include <windows.h>

#include <string>

// The temporary folder with its trailing backslash, or "" when the platform has none.
// Asks again with a large enough buffer when the path is longer than 260 units.
using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);
std::wstring TempFolder(TempPathFunction query = GetTempPathW);
