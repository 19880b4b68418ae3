#include "text.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

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
