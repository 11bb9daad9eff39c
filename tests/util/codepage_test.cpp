#include "util/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using U16 = std::vector<uint16_t>;

struct CodepageTest : ::testing::Test {
  void SetUp() override { ASSERT_EQ(codepage_set_ansi(nullptr), 0); }
  void TearDown() override { codepage_set_ansi(nullptr); }
};

TEST_F(CodepageTest, DefaultIsUtf8AndUnknownNamesAreRefused) {
  EXPECT_STREQ(codepage_ansi(), "UTF-8");
  EXPECT_EQ(codepage_set_ansi("NO-SUCH-CHARSET-X"), -1);
  EXPECT_STREQ(codepage_ansi(), "UTF-8");
}

TEST_F(CodepageTest, BytesBufferReportsRealLengthsAndCutsWholeCharacters) {
  struct {
    const char *text;
    int32_t bytes;
    int result;
    uint32_t reported;
    U16 want;
  } cases[] = {
      {"abcd", 10, 0, 8, {'a', 'b', 'c', 'd'}},
      {"abcd", 8, -1, 8, {'a', 'b', 'c'}},
      {"abcd", 1, -1, 8, {}},
      // Two narrow bytes are one unit: the length is the real one, not 2 x 3.
      {"\xC3\xA9z", 10, 0, 4, {0xE9, 'z'}},
      // A 4-byte character is a pair, never split by the cut.
      {"\xF0\x9F\x98\x80", 6, 0, 4, {0xD83D, 0xDE00}},
      {"\xF0\x9F\x98\x80", 4, -1, 4, {}},
  };
  for (const auto &c : cases) {
    uint16_t buf[8];
    for (auto &u : buf) u = 0xEEEE;
    uint32_t reported = 0;
    EXPECT_EQ(ansi_to_utf16_bufb(c.text, buf, c.bytes, &reported), c.result) << c.text << " " << c.bytes;
    EXPECT_EQ(reported, c.reported);
    if (c.bytes >= 2) {
      U16 got(buf, buf + c.want.size() + 1);
      U16 want = c.want;
      want.push_back(0);
      EXPECT_EQ(got, want);
    } else {
      EXPECT_EQ(buf[0], 0xEEEE);
    }
  }
  uint32_t reported = 0;
  EXPECT_EQ(ansi_to_utf16_bufb("xyz", nullptr, 0, &reported), 0);
  EXPECT_EQ(reported, 6u);
  EXPECT_EQ(ansi_to_utf16_bufb(nullptr, nullptr, 0, &reported), -1);
}

TEST_F(CodepageTest, DupnCopyAllAndBack) {
  uint16_t *w = ansi_to_utf16_dupn("abc", 0);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w[0], 0);
  free(w);
  w = ansi_to_utf16_dupn("a\xC3\xA9zzz", 4);
  EXPECT_EQ(U16(w, w + 4), (U16{'a', 0xE9, 'z', 0}));
  free(w);
  EXPECT_EQ(ansi_to_utf16_dupn(nullptr, -3), nullptr);

  const char *text = "\xE2\x82\xAC\xF0\x9F\x98\x80";
  U16 buf(ansi_to_utf16_units(text) + 1, 0xEEEE);
  ansi_to_utf16_cpy_all(buf.data(), text);
  EXPECT_EQ(buf, (U16{0x20AC, 0xD83D, 0xDE00, 0}));
  char *back = utf16_to_ansi_dup(buf.data());
  EXPECT_STREQ(back, text);  // 3 units need 7 bytes, not 3
  free(back);
  const uint16_t empty[] = {0};
  back = utf16_to_ansi_dup(empty);
  EXPECT_STREQ(back, "");
  free(back);
  EXPECT_EQ(ansi_to_utf16_cpy_all(nullptr, "x"), nullptr);
}

TEST_F(CodepageTest, OtherCharsetThroughIconv) {
  ASSERT_EQ(codepage_set_ansi("ISO-8859-1"), 0);
  uint16_t *w = ansi_to_utf16_dupn("caf\xE9", -3);
  EXPECT_EQ(U16(w, w + 5), (U16{'c', 'a', 'f', 0xE9, 0}));
  char *back = utf16_to_ansi_dup(w);
  EXPECT_STREQ(back, "caf\xE9");
  free(back);
  free(w);
  const uint16_t euro[] = {'x', 0x20AC, 0};  // not in Latin-1
  back = utf16_to_ansi_dup(euro);
  EXPECT_STREQ(back, "x?");
  free(back);
  ASSERT_EQ(codepage_set_ansi("CP932"), 0);  // double-byte characters
  uint32_t reported = 0;
  uint16_t buf[4];
  EXPECT_EQ(ansi_to_utf16_bufb("\x82\xA0\x82\xA2z", buf, 8, &reported), 0);
  EXPECT_EQ(reported, 6u);
  EXPECT_EQ(U16(buf, buf + 4), (U16{0x3042, 0x3044, 'z', 0}));
}

}  // namespace
