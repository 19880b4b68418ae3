// The file name of a downloaded update installer, taken from the download address.
#pragma once

#include <string>

// The last path segment of the URL, without any query ("?...") or fragment ("#..."); "" when
// the URL has no "/" or the path ends with one.
std::wstring FileNameFromUrl(const std::wstring& url);

// Whether the name stays a plain file inside the folder it is appended to: not empty, no
// path separator, drive colon, wildcard, quote, angle bracket, bar or control character,
// no trailing dot or blank (the platform trims those, so "." and ".." name folders), and no
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9 in any case, with any extension).
bool IsSafeFileName(const std::wstring& name);
