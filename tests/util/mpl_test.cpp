#include "util/mpl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

size_t ChunkSize(const MemPool &p) { return static_cast<size_t>(p.limit - p.chunk); }
char *PrevChunk(const MemPool &p) { return *reinterpret_cast<char *const *>(p.chunk); }

TEST(MemPool, FirstAppendAllocatesOnePageWithAlignedDataArea) {
  MemPool p;
  mpl_init(&p);
  EXPECT_EQ(p.chunk, nullptr);
  mpl_append(&p, "0123456789", 10);
  ASSERT_NE(p.chunk, nullptr);
  EXPECT_EQ(ChunkSize(p), 4096u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p.object) % 16, 0u);
  EXPECT_EQ(p.object - p.chunk, 16);
  EXPECT_EQ(mpl_object_size(&p), 10u);
  mpl_free_all(&p);
  EXPECT_EQ(p.chunk, nullptr);
  EXPECT_EQ(p.next, nullptr);
}

TEST(MemPool, GrowthSizesChunksWithAnEighthOfHeadroom) {
  struct {
    size_t have, add, chunk;
  } cases[] = {{8000, 1, 12288}, {0, 4000, 8192}, {3900, 100, 8192}, {100000, 1, 114688}};
  for (const auto &c : cases) {
    MemPool p;
    mpl_init(&p);
    std::string text(c.have, 'x');
    if (c.have > 0) mpl_append(&p, text.data(), c.have);
    mpl_grow(&p, c.add);
    EXPECT_EQ(ChunkSize(p), c.chunk) << c.have << "+" << c.add;
    EXPECT_EQ(mpl_object_size(&p), c.have);
    EXPECT_EQ(std::string(p.object, c.have), text);
    EXPECT_EQ(PrevChunk(p), nullptr);  // the old chunk held only this object: freed
    mpl_free_all(&p);
  }
}

TEST(MemPool, FinishedObjectsStayPutWhileTheNextOneGrows) {
  MemPool p;
  mpl_init(&p);
  mpl_append(&p, "hello", 5);
  char *first = static_cast<char *>(mpl_finish(&p));
  EXPECT_STREQ(first, "hello");  // never terminated by the caller: chunks are zero-filled
  EXPECT_EQ(p.object, first + 16);
  char *firstChunk = p.chunk;
  std::string big(10000, 'b');
  mpl_append(&p, "ab", 2);
  mpl_append(&p, big.data(), big.size());
  EXPECT_NE(p.chunk, firstChunk);
  EXPECT_EQ(PrevChunk(p), firstChunk);  // the finished object's chunk stays
  EXPECT_STREQ(first, "hello");
  mpl_append_byte(&p, '\0');
  char *second = static_cast<char *>(mpl_finish(&p));
  EXPECT_EQ(std::string(second), "ab" + big);
  mpl_free_all(&p);
}

TEST(MemPool, ByteAppendsGrowAtTheLimitAndKeepTheText) {
  MemPool p;
  mpl_init(&p);
  std::string want;
  for (int i = 0; i < 20000; ++i) {
    char c = static_cast<char>('a' + i % 26);
    mpl_append_byte(&p, c);
    want += c;
  }
  mpl_append_byte(&p, '\0');
  EXPECT_EQ(std::string(static_cast<char *>(mpl_finish(&p))), want);
  mpl_free_all(&p);
}

TEST(MemPool, FinishNearTheChunkEndMakesTheNextAppendGrow) {
  MemPool p;
  mpl_init(&p);
  std::string fill(4096 - 16 - 9, 'f');
  mpl_append(&p, fill.data(), 3996);  // a 4096-byte chunk
  mpl_append(&p, fill.data() + 3996, fill.size() - 3996);
  ASSERT_EQ(p.limit - p.next, 9);
  char *a = static_cast<char *>(mpl_finish(&p));
  EXPECT_LE(p.next, p.limit);
  mpl_append(&p, "xyz", 3);
  EXPECT_EQ(std::string(a, fill.size()), fill);
  EXPECT_EQ(std::string(p.object, 3), "xyz");
  EXPECT_EQ(p.object[3], '\0');
  mpl_free_all(&p);
}

}  // namespace
