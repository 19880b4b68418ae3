#include "prog_id.h"

#include <cwchar>

namespace {

bool IsKeyNameCharacter(wchar_t c) {
  return c > L' ' && c != L'\\' && c != L'/' && c != L'"' && c != 0x7F;
}

bool AllKeyNameCharacters(const wchar_t* text) {
  for (; *text != L'\0'; ++text) {
    if (!IsKeyNameCharacter(*text)) return false;
  }
  return true;
}

}  // namespace

bool IsUsableIdentifier(const wchar_t* identifier) {
  if (identifier == nullptr) return false;
  const size_t length = std::wcslen(identifier);
  return length >= 1 && length <= 64 && AllKeyNameCharacters(identifier);
}

bool IsUsableExtension(const wchar_t* extension) {
  if (extension == nullptr || extension[0] != L'.') return false;
  const size_t length = std::wcslen(extension);
  return length >= 2 && length <= 64 && AllKeyNameCharacters(extension);
}

std::wstring ProgIdFor(const std::wstring& identifier, const wchar_t* extension) {
  if (!IsUsableIdentifier(identifier.c_str()) || !IsUsableExtension(extension)) return std::wstring();
  return identifier + extension;
}
