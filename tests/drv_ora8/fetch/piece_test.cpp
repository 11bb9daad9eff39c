// The piece collection buffer: pieces of any size gathered in order, copied
// out whole, with growth that stays linear in the value's size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/db-piece.h"

namespace {

void Put(PieceBuf *b, const std::string &piece) {
  void *at = PieceBuf_Reserve(b, piece.size());
  ASSERT_NE(nullptr, at);
  memcpy(at, piece.data(), piece.size());
}

TEST(PieceBuf, PiecesComeOutInOrder) {
  PieceBuf b;
  PieceBuf_Clear(&b);
  EXPECT_EQ(nullptr, b.chunk);  // a cleared buffer owns nothing
  const std::string a(4096, 'a'), m(100, 'm'), z(1, 'z');
  Put(&b, a);
  ASSERT_NE(nullptr, b.chunk);  // the first piece made the first chunk
  Put(&b, m);
  Put(&b, z);
  ASSERT_EQ(4197u, PieceBuf_Size(&b));
  std::string out(4197, '\0');
  PieceBuf_CopyOut(out.data(), &b, out.size());
  EXPECT_EQ(a + m + z, out);
  PieceBuf_Free(&b);
  EXPECT_EQ(nullptr, b.chunk);
}

TEST(PieceBuf, CopyOutOfNothingAndWide) {
  PieceBuf b;
  PieceBuf_Clear(&b);
  char dst[4] = {'x', 'x', 'x', 'x'};
  PieceBuf_CopyOut(dst, &b, 0);
  Put(&b, "ab");
  PieceBuf_CopyOut(dst, &b, 0);  // a total of 0 copies nothing
  EXPECT_EQ(0, memcmp(dst, "xxxx", 4));
  const uint16_t units[3] = {0x41, 0xE9, 0xD83D};
  PieceBuf w;
  PieceBuf_Clear(&w);
  Put(&w, std::string(reinterpret_cast<const char *>(units), sizeof units));
  uint16_t out[3] = {};
  PieceBuf_CopyOutWide(out, &w, 3);
  EXPECT_EQ(0, memcmp(units, out, sizeof units));
  PieceBuf_Free(&b);
  PieceBuf_Free(&w);
}

TEST(PieceBuf, ManySmallPiecesGrowGeometrically) {
  // A long value read in small pieces: the chunk grows (and its bytes are
  // copied) a logarithmic number of times, not once per piece.
  PieceBuf b;
  PieceBuf_Clear(&b);
  std::string want;
  int growths = 0;
  ptrdiff_t capacity = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string piece(1 + i % 97, static_cast<char>('a' + i % 26));
    Put(&b, piece);
    want += piece;
    if (b.limit - b.start != capacity) ++growths, capacity = b.limit - b.start;
  }
  EXPECT_LT(growths, 20);
  std::string out(want.size(), '\0');
  PieceBuf_CopyOut(out.data(), &b, out.size());
  EXPECT_EQ(want, out);
  PieceBuf_Free(&b);
}

}  // namespace
