#include "temp_folder.h"

#include <vector>

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
