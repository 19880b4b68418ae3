#include "md5.h"

#include <cstring>

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) {
  return (x & y) | (~x & z);
}
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) {
  return (x & z) | (y & ~z);
}
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) {
  return x ^ y ^ z;
}
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) {
  return y ^ (x | ~z);
}

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void EncodeLittleEndian(unsigned char* out, const uint32_t* in, size_t words) {
  for (size_t i = 0; i < words; ++i) {
    out[i * 4] = static_cast<unsigned char>(in[i]);
    out[i * 4 + 1] = static_cast<unsigned char>(in[i] >> 8);
    out[i * 4 + 2] = static_cast<unsigned char>(in[i] >> 16);
    out[i * 4 + 3] = static_cast<unsigned char>(in[i] >> 24);
  }
}

}  // namespace

MD5_CTX::MD5_CTX() {
  Reset();
}

MD5_CTX::~MD5_CTX() = default;

void MD5_CTX::Reset() {
  state[0] = 0x67452301;
  state[1] = 0xefcdab89;
  state[2] = 0x98badcfe;
  state[3] = 0x10325476;
  count[0] = count[1] = 0;
  std::memset(buffer, 0, sizeof buffer);
  std::memset(padBlock, 0, sizeof padBlock);
  padBlock[0] = 0x80;
}

void MD5_CTX::Transform(const unsigned char block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = uint32_t(block[i * 4]) | uint32_t(block[i * 4 + 1]) << 8 | uint32_t(block[i * 4 + 2]) << 16 |
           uint32_t(block[i * 4 + 3]) << 24;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    uint32_t f;
    int k;
    switch (round) {
      case 0:
        f = F(b, c, d);
        k = i;
        break;
      case 1:
        f = G(b, c, d);
        k = (5 * i + 1) % 16;
        break;
      case 2:
        f = H(b, c, d);
        k = (3 * i + 5) % 16;
        break;
      default:
        f = I(b, c, d);
        k = (7 * i) % 16;
        break;
    }
    const uint32_t rotated = RotateLeft(a + f + kSine[i] + x[k], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = b + rotated;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void MD5_CTX::Update(const unsigned char* input, uint32_t length) {
  uint32_t index = (count[0] >> 3) & 0x3F;
  const uint32_t addedBits = length << 3;
  count[0] += addedBits;
  if (count[0] < addedBits) ++count[1];
  count[1] += length >> 29;

  const uint32_t partLength = 64 - index;
  uint32_t i = 0;
  if (length >= partLength) {
    std::memcpy(&buffer[index], input, partLength);
    Transform(buffer);
    for (i = partLength; i + 63 < length; i += 64) Transform(&input[i]);
    index = 0;
  }
  if (length > i) std::memcpy(&buffer[index], &input[i], length - i);
}

void MD5_CTX::Final(unsigned char digest[16]) {
  unsigned char bits[8];
  EncodeLittleEndian(bits, count, 2);
  const uint32_t index = (count[0] >> 3) & 0x3F;
  const uint32_t padLength = (index < 56) ? (56 - index) : (120 - index);
  unsigned char pad[64];
  std::memcpy(pad, padBlock, sizeof pad);
  Update(pad, padLength);
  Update(bits, 8);
  EncodeLittleEndian(digest, state, 4);
  Reset();
}

void Md5Hex(const char* text, char* output, size_t size) {
  MD5_CTX ctx;
  ctx.Update(reinterpret_cast<const unsigned char*>(text), static_cast<uint32_t>(std::strlen(text)));
  unsigned char digest[16];
  ctx.Final(digest);

  static const char kHex[] = "0123456789abcdef";
  char hex[64] = {};
  for (int i = 0; i < 16; ++i) {
    hex[i * 2] = kHex[digest[i] >> 4];
    hex[i * 2 + 1] = kHex[digest[i] & 0x0F];
  }
  if (output == nullptr || size == 0) return;
  std::memset(output, 0, size);
  std::strncpy(output, hex, size - 1);
}
