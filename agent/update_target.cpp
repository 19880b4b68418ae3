#include "update_target.h"

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
  return last != L'.' && last != L' ';
}
