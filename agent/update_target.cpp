#include "update_target.h"

namespace {

wchar_t Upper(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool EqualsIgnoringCase(const std::wstring& text, const wchar_t* upper) {
  size_t i = 0;
  for (; i < text.size() && upper[i] != L'\0'; ++i) {
    if (Upper(text[i]) != upper[i]) return false;
  }
  return i == text.size() && upper[i] == L'\0';
}

// The platform's device names, which a path ending in them opens instead of a file. The digits
// include the superscripts that newer systems also take.
bool IsDeviceName(const std::wstring& base) {
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (EqualsIgnoringCase(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const std::wstring stem = base.substr(0, 3);
  if (!EqualsIgnoringCase(stem, L"COM") && !EqualsIgnoringCase(stem, L"LPT")) return false;
  const wchar_t digit = base[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

}  // namespace

std::wstring FileNameFromUrl(const std::wstring& url) {
  const std::wstring path = url.substr(0, url.find_first_of(L"?#"));
  const size_t slash = path.rfind(L'/');
  if (slash == std::wstring::npos) return std::wstring();
  return path.substr(slash + 1);
}

bool IsSafeFileName(const std::wstring& name) {
  if (name.empty()) return false;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) return false;
  }
  const wchar_t last = name.back();
  if (last == L'.' || last == L' ') return false;
  // "nul.exe" and "Com1 .txt" name devices too: the part before the first dot counts, without
  // its trailing blanks.
  std::wstring base = name.substr(0, name.find(L'.'));
  base.erase(base.find_last_not_of(L' ') + 1);
  return !IsDeviceName(base);
}
