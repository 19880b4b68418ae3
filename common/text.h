// Text conversions and the small text tools that the profile and the reports share.
#pragma once

#include <memory>
#include <string>

namespace quenvo {

// Frees a narrow text handed out by ToUtf8 or UrlEncode.
struct FreeDeleter {
  void operator()(char* p) const;
};
using OwnedText = std::unique_ptr<char[], FreeDeleter>;

}  // namespace quenvo

// UTF-8 bytes of the wide text, NUL-terminated; null only when memory can't be had.
quenvo::OwnedText ToUtf8(const std::wstring& text);
// Narrow text of the thread's ANSI code page to wide text; null or empty gives "".
std::wstring FromAnsi(const char* text);
// Decodes exactly `length` bytes of the thread's ANSI code page, NUL bytes included.
std::wstring FromAnsiBytes(const char* bytes, size_t length);
// Wide text to the thread's ANSI code page.
std::string ToAnsi(const std::wstring& text);

// The text between the first `start` and the next `end` after it; "" when either is missing.
std::wstring TextBetween(const std::wstring& source, const std::wstring& start, const std::wstring& end);
// Letters and digits kept, white space as "+", every other byte as %XX.
quenvo::OwnedText UrlEncode(const char* text);
