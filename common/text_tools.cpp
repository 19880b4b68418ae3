// The text tools that need nothing from the platform (also built natively for fuzzing).
#include <cstdlib>
#include <cstring>

#include "text.h"

void quenvo::FreeDeleter::operator()(char* p) const { std::free(p); }

std::wstring TextBetween(const std::wstring& source, const std::wstring& start, const std::wstring& end) {
  size_t begin = 0;
  if (!start.empty()) {
    const size_t at = source.find(start);
    if (at == std::wstring::npos) return std::wstring();
    begin = at + start.size();
  }
  const size_t stop = source.find(end, begin);
  if (stop == std::wstring::npos) return std::wstring();
  return source.substr(begin, stop - begin);
}

quenvo::OwnedText UrlEncode(const char* text) {
  const size_t length = text ? std::strlen(text) : 0;
  quenvo::OwnedText out(static_cast<char*>(std::calloc(3 * (length + 1), 1)));
  if (!out) return out;
  static const char kHex[] = "0123456789ABCDEF";
  char* p = out.get();
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool space = c == ' ' || (c >= '\t' && c <= '\r');
    if (alnum) {
      *p++ = static_cast<char>(c);
    } else if (space) {
      *p++ = '+';
    } else {
      *p++ = '%';
      *p++ = kHex[c >> 4];
      *p++ = kHex[c & 0x0F];
    }
  }
  return out;
}
