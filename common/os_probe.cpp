#include "os_probe.h"

#include "scoped_handle.h"

namespace {

struct OsVersionRow {
  DWORD major;
  DWORD minor;  // kAnyMinor matches every minor version
  enum Condition { kNone, kWin9x, kWinNt, kWorkstation, kNotWorkstation } condition;
  const wchar_t* name;
};

constexpr DWORD kAnyMinor = 0xFFFFFFFF;

// Rows are tried from the top; the first match names the system.
constexpr OsVersionRow OsVersionTable[] = {
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

bool RowMatches(const OsVersionRow& row, DWORD major, DWORD minor, DWORD platformId, BYTE productType) {
  if (row.major != major || (row.minor != kAnyMinor && row.minor != minor)) return false;
  switch (row.condition) {
    case OsVersionRow::kWin9x: return platformId == VER_PLATFORM_WIN32_WINDOWS;
    case OsVersionRow::kWinNt: return platformId == VER_PLATFORM_WIN32_NT;
    case OsVersionRow::kWorkstation: return productType == VER_NT_WORKSTATION;
    case OsVersionRow::kNotWorkstation: return productType != VER_NT_WORKSTATION;
    case OsVersionRow::kNone: break;
  }
  return true;
}

// GetVersionExW is deprecated in the SDK headers but is exactly the call wanted: it
// reports the version the platform grants this program by its manifest.
BOOL QueryVersion(OSVERSIONINFOEXW* info) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(info));
#pragma GCC diagnostic pop
}

}  // namespace

const wchar_t* LookupOsName(DWORD major, DWORD minor, DWORD platformId, BYTE productType) {
  for (const OsVersionRow& row : OsVersionTable) {
    if (RowMatches(row, major, minor, platformId, productType)) return row.name;
  }
  return L"";
}

bool GetOsName(wchar_t* buffer, int capacity) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  if (!QueryVersion(&info)) {
    // Older systems know only the basic record; its extended fields stay zero.
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!QueryVersion(&info)) return false;
  }
  if (buffer == nullptr || capacity <= 0) return false;
  buffer[0] = L'\0';
  const wchar_t* name = LookupOsName(info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId, info.wProductType);
  if (*name != L'\0') lstrcpynW(buffer, name, capacity);
  return buffer[0] != L'\0';
}

int IsUacEnabled() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  if (!QueryVersion(&info)) return 0;
  if (info.dwMajorVersion <= 5) return 0;

  quenvo::ScopedKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\", 0,
                    KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD value = 0;
  DWORD size = sizeof(value);
  const LONG rc = RegQueryValueExW(key.Get(), L"EnableLUA", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  return (rc == ERROR_SUCCESS && value == 1) ? 1 : 0;
}
