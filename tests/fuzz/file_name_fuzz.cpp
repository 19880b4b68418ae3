#include <cstdlib>

#include "fuzz_input.h"
#include "update_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring url = WideFrom(data, size);
  const std::wstring name = FileNameFromUrl(url);
  if (name.find_first_of(L"/?#") != std::wstring::npos) abort();
  if (!name.empty() && url.find(name) == std::wstring::npos) abort();
  if (!IsSafeFileName(name)) return 0;
  // A name that passes stays one plain file inside the folder it is appended to.
  if (name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) abort();
  for (wchar_t c : name) {
    if (static_cast<unsigned>(c) < 0x20 || c == 0x7F) abort();
  }
  if (name == L"." || name == L".." || name.back() == L'.' || name.back() == L' ') abort();
  return 0;
}
