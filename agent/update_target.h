// Where a downloaded update installer goes: the temporary folder and a file name taken
// from the download address.
#pragma once

#include <windows.h>

#include <string>

// The last path segment of the URL, without any query ("?...") or fragment ("#..."); "" when
// the URL has no "/" or the path ends with one.
std::wstring FileNameFromUrl(const std::wstring& url);

// Whether the name stays a plain file inside the folder it is appended to: not empty, no
// path separator, drive colon, wildcard, quote, angle bracket, bar or control character,
// and no trailing dot or blank (the platform trims those, so "." and ".." name folders).
bool IsSafeFileName(const std::wstring& name);

// The temporary folder with its trailing backslash, or "" when the platform has none.
// Asks again with a large enough buffer when the path is longer than 260 units.
using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);
std::wstring TempFolder(TempPathFunction query = GetTempPathW);
