#include "item_store.h"

#include <vector>

#include "scoped_handle.h"

using quenvo::ScopedKey;

namespace {

std::wstring Expand(const std::wstring& text) {
  const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::vector<wchar_t> buffer(needed + 1);
  if (ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed + 1) == 0) return text;
  return std::wstring(buffer.data());
}

// The value's type, and its text for REG_SZ and REG_EXPAND_SZ. False when it is missing.
bool ReadValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD* type, std::wstring* text) {
  ScopedKey opened;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) != ERROR_SUCCESS) return false;
  DWORD bytes = 0;
  if (RegQueryValueExW(opened.Get(), name.c_str(), nullptr, type, nullptr, &bytes) != ERROR_SUCCESS) return false;
  text->clear();
  if (*type != REG_SZ && *type != REG_EXPAND_SZ) return true;
  // One more character than stored, so text stored without its NUL still ends in one.
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(opened.Get(), name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  *text = *type == REG_EXPAND_SZ ? Expand(buffer.data()) : std::wstring(buffer.data());
  return true;
}

}  // namespace

std::wstring ReadText(HKEY root, const std::wstring& key, const std::wstring& name) {
  DWORD type = REG_NONE;
  std::wstring text;
  return ReadValue(root, key, name, &type, &text) ? text : std::wstring();
}

bool KeyExists(HKEY root, const std::wstring& key) {
  ScopedKey opened;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) == ERROR_SUCCESS;
}

bool Holds(HKEY root, const RegistryItem& item) {
  DWORD type = REG_NONE;
  std::wstring text;
  if (!ReadValue(root, item.key, item.name, &type, &text)) return false;
  if (item.type == REG_NONE) return true;
  return (type == REG_SZ || type == REG_EXPAND_SZ) && SameName(text, item.value);
}

bool Write(HKEY root, const RegistryItem& item) {
  ScopedKey key;
  if (RegCreateKeyExW(root, item.key.c_str(), 0, /*class*/ nullptr, 0, KEY_SET_VALUE, /*security*/ nullptr,
                      key.Receive(), /*disposition*/ nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (item.type == REG_NONE) {
    return RegSetValueExW(key.Get(), item.name.c_str(), 0, REG_NONE, /*data*/ nullptr, 0) == ERROR_SUCCESS;
  }
  const DWORD bytes = static_cast<DWORD>((item.value.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.Get(), item.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(item.value.c_str()),
                        bytes) == ERROR_SUCCESS;
}
