#include "text.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

void quenvo::FreeDeleter::operator()(char* p) const {
  std::free(p);
}

quenvo::OwnedText ToUtf8(const std::wstring& text) {
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  const size_t size = (needed > 0 ? static_cast<size_t>(needed) : 0) + 1;
  quenvo::OwnedText out(static_cast<char*>(std::calloc(size, 1)));
  if (out && needed > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.get(), needed, nullptr, nullptr);
  }
  return out;
}

std::wstring FromAnsiBytes(const char* bytes, size_t length) {
  if (bytes == nullptr || length == 0 || length > 0x7FFFFFFF) return std::wstring();
  const int n = static_cast<int>(length);
  const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, n, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, n, &out[0], needed);
  return out;
}

std::wstring FromAnsi(const char* text) {
  if (text == nullptr) return std::wstring();
  return FromAnsiBytes(text, std::strlen(text));
}

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), n, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), n, &out[0], needed, nullptr, nullptr);
  return out;
}

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
