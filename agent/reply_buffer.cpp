#include "reply_buffer.h"

#include "text.h"

void ReplyBuffer::Append(const char* data, size_t length) {
  const size_t room = limit_ - bytes_.size();
  bytes_.append(data, length < room ? length : room);
}

std::wstring ReplyBuffer::Text() const {
  return FromAnsiBytes(bytes_.data(), bytes_.size());
}
