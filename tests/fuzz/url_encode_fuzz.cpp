#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const quenvo::OwnedText encoded = UrlEncode(text.c_str());
  if (!encoded) return 0;
  // Decoding gives the input back up to its first NUL, with white space as blanks.
  const size_t length = std::strlen(text.c_str());
  std::string decoded;
  for (const char* p = encoded.get(); *p; ++p) {
    if (*p == '%') {
      if (!isxdigit(static_cast<unsigned char>(p[1])) || !isxdigit(static_cast<unsigned char>(p[2]))) abort();
      decoded.push_back(static_cast<char>(std::strtol(std::string(p + 1, 2).c_str(), nullptr, 16)));
      p += 2;
    } else if (*p == '+') {
      decoded.push_back(' ');
    } else {
      if (!isalnum(static_cast<unsigned char>(*p))) abort();
      decoded.push_back(*p);
    }
  }
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    const bool space = c == ' ' || (c >= '\t' && c <= '\r');
    if (decoded[i] != (space ? ' ' : c)) abort();
  }
  if (decoded.size() != length || std::strlen(encoded.get()) > 3 * length) abort();
  return 0;
}
