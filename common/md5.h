// MD5 message digest (RFC 1321) and its lower-case hexadecimal form.
#pragma once

#include <cstddef>
#include <cstdint>

class MD5_CTX {
 public:
  MD5_CTX();
  virtual ~MD5_CTX();

  void Update(const unsigned char* input, uint32_t length);
  // Writes the 16-byte digest and starts a new digest in the same context.
  void Final(unsigned char digest[16]);

  uint32_t state[4];
  uint32_t count[2];  // bits hashed so far, low word first
  unsigned char buffer[64];
  unsigned char padBlock[64];

 private:
  void Reset();
  void Transform(const unsigned char block[64]);
};

// Writes the digest of the NUL-terminated text as 32 lower-case hex digits into
// output, at most size - 1 of them and a NUL. A null output only computes.
void Md5Hex(const char* text, char* output, size_t size);
