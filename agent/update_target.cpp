#include "update_target.h"

#include <vector>

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

std::wstring TempFolder(TempPathFunction query) {
  std::vector<wchar_t> buffer(MAX_PATH, L'\0');
  DWORD length = query(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length >= buffer.size()) {
    // Too long for the buffer: the answer is the size needed, NUL included.
    buffer.assign(length + 1, L'\0');
    length = query(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) return std::wstring();  // it grew again meanwhile: none
  }
  return std::wstring(buffer.data(), length);
}
