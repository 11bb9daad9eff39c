#include "util/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Hex(const unsigned char d[16]) {
  char s[33];
  for (int i = 0; i < 16; ++i) snprintf(s + 2 * i, 3, "%02x", d[i]);
  return s;
}

std::string Digest(const std::string &msg, size_t piece) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (size_t i = 0; i < msg.size(); i += piece)
    MD5Update(&ctx, msg.data() + i, static_cast<uint32_t>(std::min(piece, msg.size() - i)));
  unsigned char d[16];
  MD5Final(d, &ctx);
  return Hex(d);
}

// RFC 1321, appendix A.5.
TEST(MD5, Rfc1321TestSuiteWholeAndInPieces) {
  struct {
    const char *msg, *digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto &c : cases) {
    for (size_t piece : {size_t{1000}, size_t{1}, size_t{7}, size_t{63}, size_t{64}}) {
      EXPECT_EQ(Digest(c.msg, piece), c.digest) << '"' << c.msg << "\" piece " << piece;
    }
  }
}

TEST(MD5, BlockBoundariesOfPadding) {
  // 55, 56 and 64 bytes straddle the one- or two-block padding cases.
  struct {
    size_t len;
    const char *digest;
  } cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},
      {56, "3b0c8ac703f828b04c6c197006d17218"},
      {64, "014842d480b571495a4a0363793f7367"},
  };
  for (const auto &c : cases) EXPECT_EQ(Digest(std::string(c.len, 'a'), 1000), c.digest) << c.len;
}

}  // namespace
