#include "registry.h"

#include <shlwapi.h>

#include <cwchar>

const wchar_t kProfileKey[] = L"Software\\quenvo";

namespace {

constexpr size_t kValueUnits = 260;
SetValueFunction g_setValue = SHSetValueW;

}  // namespace

std::wstring ReadProfileValue(HKEY root, const wchar_t* subkey, const wchar_t* name) {
  // One spare unit, so the buffer always ends in a NUL even when the value fills it.
  wchar_t buffer[kValueUnits + 1] = {};
  DWORD bytes = kValueUnits * sizeof(wchar_t);
  if (SHGetValueW(root, subkey, name, nullptr, buffer, &bytes) != ERROR_SUCCESS) return std::wstring();
  const size_t length = wcsnlen(buffer, kValueUnits);
  // A text that leaves no room for its NUL did not fit.
  if (length >= kValueUnits) return std::wstring();
  return std::wstring(buffer, length);
}

void WriteProfileValue(const wchar_t* name, const std::wstring& text) {
  g_setValue(HKEY_CURRENT_USER, kProfileKey, name, REG_SZ, text.c_str(),
             static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

SetValueFunction SetProfileValueWriter(SetValueFunction writer) {
  SetValueFunction previous = g_setValue;
  g_setValue = writer;
  return previous;
}
