// Our MD5, fed in random pieces, against OpenSSL's.
#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>

#include "md5.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unsigned char expected[EVP_MAX_MD_SIZE];
  unsigned int expectedLength = 0;
  if (!EVP_Digest(data, size, expected, &expectedLength, EVP_md5(), nullptr)) abort();

  MD5_CTX ctx;
  size_t offset = 0;
  size_t step = size ? (data[0] % 70) + 1 : 1;
  while (offset < size) {
    const size_t n = step < size - offset ? step : size - offset;
    ctx.Update(data + offset, static_cast<uint32_t>(n));
    offset += n;
    step = (step * 7 + 3) % 97 + 1;
  }
  unsigned char digest[16];
  ctx.Final(digest);
  if (std::memcmp(digest, expected, 16) != 0) abort();
  return 0;
}
