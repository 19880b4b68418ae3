#include <cstdlib>

#include "command_line.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring line = WideFrom(data, size);
  const size_t nul = line.find(L'\0');
  if (nul != std::wstring::npos) line.resize(nul);
  const wchar_t* tail = CommandLineTail(line.c_str());
  if (tail == nullptr || tail < line.c_str() || tail > line.c_str() + line.size()) abort();
  // The tail is a suffix that never begins with a blank or control character.
  if (*tail != L'\0' && static_cast<unsigned>(*tail) <= 0x20) abort();
  return 0;
}
