#include "md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string HexDigest(MD5_CTX& ctx) {
  unsigned char digest[16];
  ctx.Final(digest);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string Md5HexOf(const char* text) {
  char out[64];
  Md5Hex(text, out, sizeof out);
  return out;
}

std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  if (hex == "-") return bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

}  // namespace

TEST(Md5, Rfc1321TestSuite) {
  EXPECT_EQ(Md5HexOf(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5HexOf("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5HexOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5HexOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5HexOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5HexOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5HexOf("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

// Inputs, splits and digests made by Python's hashlib (tests/data/make_md5_corpus.py).
TEST(Md5, MatchesHashlibForRandomInputsInRandomPieces) {
  std::ifstream in(QUENVO_TEST_DATA "/md5_corpus.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int checked = 0;
  MD5_CTX ctx;  // reused throughout: Final must leave it ready for the next digest
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string hex, split, expected;
    fields >> hex >> split >> expected;
    const std::vector<unsigned char> data = FromHex(hex);
    size_t offset = 0;
    std::istringstream pieces(split == "-" ? "" : split);
    std::string piece;
    while (std::getline(pieces, piece, ',')) {
      const size_t n = std::stoul(piece);
      ctx.Update(data.data() + offset, static_cast<uint32_t>(n));
      offset += n;
    }
    ASSERT_EQ(offset, data.size()) << line;
    EXPECT_EQ(HexDigest(ctx), expected) << line;
    ++checked;
  }
  EXPECT_EQ(checked, 400);
}

TEST(Md5, FinalResetsTheContext) {
  MD5_CTX ctx;
  ctx.Update(reinterpret_cast<const unsigned char*>("abc"), 3);
  HexDigest(ctx);
  MD5_CTX fresh;
  EXPECT_EQ(0, std::memcmp(ctx.state, fresh.state, sizeof ctx.state));
  EXPECT_EQ(ctx.count[0], 0u);
  EXPECT_EQ(ctx.count[1], 0u);
  EXPECT_EQ(ctx.padBlock[0], 0x80);
  EXPECT_EQ(HexDigest(ctx), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5, HexIntoShortBufferKeepsSizeMinusOneDigits) {
  char out[8];
  std::memset(out, 'x', sizeof out);
  Md5Hex("abc", out, sizeof out);
  EXPECT_STREQ(out, "9001509");
  char one[1] = {'x'};
  Md5Hex("abc", one, sizeof one);
  EXPECT_EQ(one[0], '\0');
  Md5Hex("abc", nullptr, 0);  // computes only; must not write anywhere
}
