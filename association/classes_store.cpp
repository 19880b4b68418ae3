#include "classes_store.h"

#include <vector>

#include "scoped_handle.h"

using quenvo::ScopedKey;

namespace {

bool SetDefaultText(HKEY classes, const std::wstring& subkey, const std::wstring& text) {
  ScopedKey key;
  if (RegCreateKeyExW(classes, subkey.c_str(), 0, /*class*/ nullptr, 0, KEY_SET_VALUE, /*security*/ nullptr,
                      key.Receive(), /*disposition*/ nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.Get(), /*default value*/ nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        bytes) == ERROR_SUCCESS;
}

// OpenWithProgids lists the ProgIDs that can open the extension as empty REG_NONE values.
bool AddOpenWithProgId(HKEY classes, const std::wstring& extension, const std::wstring& progId) {
  ScopedKey key;
  if (RegCreateKeyExW(classes, (extension + L"\\OpenWithProgids").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.Get(), progId.c_str(), 0, REG_NONE, /*data*/ nullptr, 0) == ERROR_SUCCESS;
}

std::wstring Expand(const std::wstring& text) {
  const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::vector<wchar_t> buffer(needed + 1);
  if (ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed + 1) == 0) return text;
  return std::wstring(buffer.data());
}

}  // namespace

std::wstring ReadDefaultText(HKEY classes, const std::wstring& subkey) {
  ScopedKey key;
  if (RegOpenKeyExW(classes, subkey.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return L"";
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return L"";
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes < sizeof(wchar_t)) return L"";
  // One more character than stored, so text stored without its NUL still ends in one.
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
      ERROR_SUCCESS) {
    return L"";
  }
  const std::wstring text(buffer.data());
  return type == REG_EXPAND_SZ ? Expand(text) : text;
}

bool WriteAssociation(HKEY classes, const AssociationRecord& record) {
  bool ok = SetDefaultText(classes, record.progId + L"\\DefaultIcon", record.iconPath);
  ok = SetDefaultText(classes, record.progId + L"\\shell\\open\\command", record.openCommand) && ok;
  if (!ok) return false;
  ok = AddOpenWithProgId(classes, record.extension, record.progId);
  return SetDefaultText(classes, record.extension, record.progId) && ok;
}
