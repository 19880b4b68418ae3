#include <cstdlib>

#include "fuzz_input.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t a = SplitAt(data, size);
  const size_t b = a < size ? a + 1 + SplitAt(data + a + 1, size - a - 1) : size;
  const std::wstring source = WideFrom(data, a);
  const std::wstring start = a < size ? WideFrom(data + a + 1, b - a - 1) : L"v=";
  const std::wstring end = b < size ? WideFrom(data + b + 1, size - b - 1) : L"**";
  const std::wstring found = TextBetween(source, start, end);
  // Whatever is found stands in the source right behind the start marker and before the end marker.
  if (!found.empty()) {
    const size_t at = source.find(start) + start.size();
    if (source.compare(at, found.size(), found) != 0) abort();
    if (source.compare(at + found.size(), end.size(), end) != 0) abort();
  }
  return 0;
}
