// The bytes of one HTTP reply, gathered whole before they are decoded, so that a character
// split between two reads stays one character and a NUL byte hides nothing behind it.
#pragma once

#include <cstddef>
#include <string>

class ReplyBuffer {
 public:
  static constexpr size_t kLimit = 1024 * 1024;  // replies are small texts; the rest is dropped

  explicit ReplyBuffer(size_t limit = kLimit) : limit_(limit) {}

  // Keeps what still fits under the limit and drops the rest.
  void Append(const char* data, size_t length);
  size_t size() const { return bytes_.size(); }
  // Nothing more would be kept: the caller can stop reading.
  bool full() const { return bytes_.size() >= limit_; }
  // The bytes decoded from the thread's ANSI code page.
  std::wstring Text() const;

 private:
  size_t limit_;
  std::string bytes_;
};
