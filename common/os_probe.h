// Operating-system name and User Account Control state.
#pragma once

#include <windows.h>

// The table's name for the version record's four fields, or "" when no row matches.
const wchar_t* LookupOsName(DWORD major, DWORD minor, DWORD platformId, BYTE productType);

// Writes the system's name into buffer (capacity in UTF-16 units); true when it is non-empty.
bool GetOsName(wchar_t* buffer, int capacity);

// 1 when User Account Control is enabled, else 0.
int IsUacEnabled();
