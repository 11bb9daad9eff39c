#include "util/utalloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

TEST(Utalloc, ZeroSizesGiveOneZeroByteAndStrdupCopies) {
  for (auto [count, size] : {std::pair<size_t, size_t>{0, 16}, {16, 0}, {0, 0}}) {
    auto *p = static_cast<unsigned char *>(s_alloc(count, size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    free(p);
  }
  auto *z = static_cast<unsigned char *>(s_alloc(4, 8));
  for (int i = 0; i < 32; ++i) EXPECT_EQ(z[i], 0);
  free(z);
  char *e = s_strdup("");
  EXPECT_STREQ(e, "");
  free(e);
  char *t = s_strdup("abc");
  EXPECT_STREQ(t, "abc");
  free(t);
}

TEST(UtallocDeath, OutOfMemoryLogsAndExitsWithStatus1) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(s_alloc(SIZE_MAX / 2, 4), ::testing::ExitedWithCode(1), "s_alloc: out of memory\n");
}

}  // namespace
