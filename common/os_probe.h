// Operating-system name and User Account Control state.
#pragma once

#include <windows.h>

struct OsVersionRow {
  DWORD major;
  DWORD minor;  // kAnyMinor matches every minor version
  enum Condition { kNone, kWin9x, kWinNt, kWorkstation, kNotWorkstation } condition;
  const wchar_t* name;
};

constexpr DWORD kAnyMinor = 0xFFFFFFFF;

// Rows are tried from the top; the first match names the system.
inline constexpr OsVersionRow OsVersionTable[] = {
    {4, kAnyMinor, OsVersionRow::kWin9x, L"Windows98"},
    {4, kAnyMinor, OsVersionRow::kWinNt, L"WindowsNT"},
    {5, 0, OsVersionRow::kNone, L"Windows2000"},
    {5, 1, OsVersionRow::kNone, L"WindowsXP"},
    {5, 2, OsVersionRow::kNone, L"Windows2003"},
    {6, 0, OsVersionRow::kNone, L"Vista"},
    {6, 1, OsVersionRow::kWorkstation, L"Windows7"},
    {6, 1, OsVersionRow::kNotWorkstation, L"Windows2008"},
    {6, 2, OsVersionRow::kWorkstation, L"Windows8"},
    {6, 2, OsVersionRow::kNotWorkstation, L"Windows Server 2012"},
    {6, 3, OsVersionRow::kWorkstation, L"Windows8"},
    {6, 3, OsVersionRow::kNotWorkstation, L"Windows Server 2012 R2"},
    {10, 0, OsVersionRow::kWorkstation, L"Windows10"},
};

// The table's name for the version record's four fields, or "" when no row matches.
const wchar_t* LookupOsName(DWORD major, DWORD minor, DWORD platformId, BYTE productType);

// Writes the system's name into buffer (capacity in UTF-16 units); true when it is non-empty.
bool GetOsName(wchar_t* buffer, int capacity);

// 1 when User Account Control is enabled, else 0.
int IsUacEnabled();
