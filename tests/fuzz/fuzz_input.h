// Turns fuzzer bytes into the inputs of the text functions. Wide text is read as UTF-16
// code units, the range a Windows wchar_t can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::wstring WideFrom(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

// Splits the input at the first 0xFF byte: several arguments from one input.
inline size_t SplitAt(const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) return i;
  }
  return size;
}
