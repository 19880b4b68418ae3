// The product's registry values: REG_SZ under HKCU\Software\quenvo, written without a NUL.
#pragma once

#include <windows.h>

#include <string>

extern const wchar_t kProfileKey[];  // "Software\quenvo"

// The value's text up to its first NUL, or "" when it is missing or does not fit 260 units.
std::wstring ReadProfileValue(HKEY root, const wchar_t* subkey, const wchar_t* name);

// Writes HKCU\Software\quenvo\name as REG_SZ, 2 bytes per character and no NUL. The result is
// ignored: a failed write only means the default is derived again next time.
void WriteProfileValue(const wchar_t* name, const std::wstring& text);

// The call that stores values; a test swaps it to see exactly what is handed over.
using SetValueFunction = DWORD(WINAPI*)(HKEY, LPCWSTR, LPCWSTR, DWORD, LPCVOID, DWORD);
SetValueFunction SetProfileValueWriter(SetValueFunction writer);
