#include "util/utf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/codepage.h"

namespace {

using U16 = std::vector<uint16_t>;

U16 Z(U16 v) {  // NUL-terminated copy
  v.push_back(0);
  return v;
}

U16 Decode(const char *text) {
  uint16_t *d = utf8_to_utf16_dup(text);
  U16 out;
  for (uint16_t *p = d; *p != 0; ++p) out.push_back(*p);
  free(d);
  return out;
}

std::string Encode(const U16 &units) {
  U16 z = Z(units);
  char *s = utf16_to_utf8_dup(z.data());
  std::string out(s);
  free(s);
  return out;
}

TEST(Utf, DecodingSequencesAndSurrogatePairs) {
  struct {
    const char *utf8;
    U16 units;
  } cases[] = {
      {"A\xC3\xA9\xE2\x82\xAC", {0x41, 0xE9, 0x20AC}},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},           // U+1F600 as a pair, not 0xF600
      {"a\xF4\x8F\xBF\xBFz", {0x61, 0xDBFF, 0xDFFF, 0x7A}},  // U+10FFFF
      {"\xF4\x90\x80\x80", {0xFFFD}},                   // beyond U+10FFFF
      {"\xED\xA0\xBD", {0xD83D}},                       // a lone surrogate's 3-byte form
      {"\xC3\x28", {}},                                 // broken sequence: stops before it
      {"ab\xC3", {0x61, 0x62}},                         // cut sequence at the end
      {"ab\x80z", {0x61, 0x62}},                        // stray continuation byte
      {"ab\xF8z", {0x61, 0x62}},                        // impossible lead byte
      {"\xC0\x81", {0x01}},                             // overlong forms accepted
  };
  for (const auto &c : cases) EXPECT_EQ(Decode(c.utf8), c.units) << c.utf8;
}

TEST(Utf, EncodingPairsAndLoneSurrogates) {
  struct {
    U16 units;
    const char *utf8;
  } cases[] = {
      {{0x41, 0xE9, 0x20AC}, "A\xC3\xA9\xE2\x82\xAC"},
      {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {{0xD83D}, "\xED\xA0\xBD"},                       // lone high
      {{0xDE00, 0xD83D}, "\xED\xB8\x80\xED\xA0\xBD"},  // wrong order: two lone units
      {{0xD83D, 0x41}, "\xED\xA0\xBD" "A"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(Encode(c.units), c.utf8);
    EXPECT_EQ(utf16_utf8_size(Z(c.units).data(), UTF_NTS), strlen(c.utf8));
  }
  // Round trip of every BMP non-surrogate unit and a spread of supplementary ones.
  U16 all;
  for (uint32_t u = 1; u < 0x10000; ++u)
    if (u < 0xD800 || u > 0xDFFF) all.push_back(static_cast<uint16_t>(u));
  for (uint32_t cp = 0x10000; cp <= 0x10FFFF; cp += 0x1234) {
    all.push_back(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
    all.push_back(static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
  }
  std::string s = Encode(all);
  EXPECT_EQ(Decode(s.c_str()), all);
  EXPECT_EQ(utf8_char_count(s.c_str(), UTF_NTS), all.size());
}

TEST(Utf, SizesAndCounts) {
  const uint16_t units[] = {0x41, 0xE9, 0x20AC, 0xD83D, 0};
  EXPECT_EQ(utf16_utf8_size(units, UTF_NTS), 9u);
  EXPECT_EQ(utf16_utf8_size(units, 2), 3u);
  EXPECT_EQ(utf16_utf8_size(nullptr, 5), 0u);
  const uint16_t pair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(utf16_utf8_size(pair, UTF_NTS), 4u);
  EXPECT_EQ(utf16_utf8_size(pair, 1), 3u);  // the pair's second half is outside the count
  EXPECT_EQ(utf16_length(pair), 2u);

  struct {
    const char *text;
    int32_t n;
    size_t count;
  } cases[] = {
      {"", 10, 0},
      {"\0abc", 4, 0},  // first byte NUL: 0 whatever n is
      {"a\0b", 3, 3},   // a later NUL within n counts
      {"A\xC3\xA9\xE2\x82\xAC", UTF_NTS, 3},
      {"\xF0\x9F\x98\x80!", UTF_NTS, 3},  // the pair counts two units
      {"\xF0\x9F\x98\x80!", 4, 2},
      {"abc", 2, 2},
  };
  for (const auto &c : cases) EXPECT_EQ(utf8_char_count(c.text, c.n), c.count) << c.text;
  EXPECT_EQ(utf8_char_count(nullptr, 3), 0u);
}

TEST(Utf, Utf16ToUtf8BufferCutRules) {
  struct {
    U16 units;
    int32_t size;
    int result;
    uint32_t written;
    const char *text;
  } cases[] = {
      {{0x41, 0x20AC}, 5, 0, 4, "A\xE2\x82\xAC"},
      {{0x41, 0x20AC}, 4, -1, 1, "A"},  // no room for the NUL: the 3-byte character is not split
      {{0x41, 0x20AC}, 3, -1, 1, "A"},
      {{0x41, 0xD83D, 0xDE00}, 5, -1, 1, "A"},  // a pair is one character
      {{0x41, 0xD83D, 0xDE00}, 6, 0, 5, "A\xF0\x9F\x98\x80"},
      {{0x41}, 1, -1, 0, ""},
  };
  for (const auto &c : cases) {
    char buf[16];
    memset(buf, 'Q', sizeof buf);
    uint32_t written = 99;
    U16 z = Z(c.units);
    EXPECT_EQ(utf16_to_utf8_buf(z.data(), buf, c.size, &written), c.result) << c.size;
    EXPECT_EQ(written, c.written);
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(buf[c.size], 'Q');  // nothing beyond the buffer
  }
  char buf[4] = "xy";
  const uint16_t a[] = {0x41, 0};
  EXPECT_EQ(wchar_to_utf8_buf(a, buf, 0, nullptr), -1);
  EXPECT_STREQ(buf, "xy");
  EXPECT_EQ(utf16_to_utf8_buf(nullptr, buf, 4, nullptr), -1);
}

TEST(Utf, Utf16ToUtf8CountAndDupn) {
  const uint16_t units[] = {0x41, 0, 0x20AC, 0xD83D, 0xDE00, 0x42};
  char out[16];
  uint32_t used = 0;
  EXPECT_EQ(utf16_to_utf8_count(units, out, 6, 16, &used), 10u);
  EXPECT_EQ(used, 6u);
  EXPECT_EQ(std::string(out, 10), std::string("A\0\xE2\x82\xAC\xF0\x9F\x98\x80" "B", 10));
  EXPECT_EQ(utf16_to_utf8_count(units, out, 6, 8, &used), 5u);  // the pair does not fit in 3
  EXPECT_EQ(used, 3u);
  EXPECT_EQ(utf16_to_utf8_count(units, out, 4, 16, &used), 8u);  // pair cut by the count: lone unit
  EXPECT_EQ(used, 4u);

  char *d = utf16_to_utf8_dupn(units, 3);
  EXPECT_EQ(std::string(d, 6), std::string("A\0\xE2\x82\xAC\0", 6));
  free(d);
  EXPECT_EQ(utf16_to_utf8_dupn(nullptr, 3), nullptr);
  EXPECT_EQ(utf16_to_utf8_dup(nullptr), nullptr);
  d = utf16_to_utf8_dupn(units, 0);
  EXPECT_STREQ(d, "");
  free(d);
}

TEST(Utf, Utf8ToUtf16BufferCutRules) {
  // "a" U+1F600 "bc": 5 units.
  const char *text = "a\xF0\x9F\x98\x80" "bc";
  struct {
    int32_t units;
    int result;
    uint32_t written;
    U16 want;
  } cases[] = {
      {6, 0, 5, {0x61, 0xD83D, 0xDE00, 0x62, 0x63}},
      {5, -1, 4, {0x61, 0xD83D, 0xDE00, 0x62}},
      {3, -1, 1, {0x61}},  // the pair does not fit in 2 units: not split
      {1, -1, 0, {}},
  };
  for (const auto &c : cases) {
    uint16_t buf[8];
    for (auto &u : buf) u = 0xEEEE;
    uint32_t written = 99;
    EXPECT_EQ(utf8_to_utf16_buf(text, buf, c.units, &written), c.result) << c.units;
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(U16(buf, buf + c.want.size()), c.want);
    EXPECT_EQ(buf[c.want.size()], 0);
    EXPECT_EQ(buf[c.units], 0xEEEE);
    uint16_t cpy[8];
    for (auto &u : cpy) u = 0xEEEE;
    EXPECT_EQ(utf8_to_utf16_cpy(cpy, text, c.units), cpy);
    EXPECT_EQ(U16(cpy, cpy + c.want.size() + 1), Z(c.want));
  }
  uint16_t buf[2] = {7, 7};
  EXPECT_EQ(utf8_to_utf16_buf(text, buf, 0, nullptr), -1);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(utf8_to_utf16_n(buf, text, 2), 1u);  // 'a', then the pair does not fit
}

TEST(Utf, Utf8ToUtf16BytesBufferReportsTheFullCount) {
  struct {
    const char *text;
    int32_t bytes;
    int result;
    uint32_t count;
    U16 want;
  } cases[] = {
      {"abcde", 8, -1, 5, {0x61, 0x62, 0x63}},
      {"abcde", 12, 0, 5, {0x61, 0x62, 0x63, 0x64, 0x65}},
      {"abcde", 11, -1, 5, {0x61, 0x62, 0x63, 0x64}},
      {"\xF0\x9F\x98\x80" "x", 6, -1, 3, {0xD83D, 0xDE00}},
      {"x\xF0\x9F\x98\x80", 6, -1, 3, {0x78}},
      {"abc", 1, -1, 3, {}},
  };
  for (const auto &c : cases) {
    uint16_t buf[8];
    for (auto &u : buf) u = 0xEEEE;
    uint32_t count = 0;
    EXPECT_EQ(utf8_to_utf16_bufb(c.text, buf, c.bytes, &count), c.result) << c.text << " " << c.bytes;
    EXPECT_EQ(count, c.count);
    if (c.bytes >= 2) {
      EXPECT_EQ(U16(buf, buf + c.want.size() + 1), Z(c.want));
    }
    EXPECT_EQ(buf[c.bytes / 2], 0xEEEE);
  }
  uint32_t count = 0;
  EXPECT_EQ(utf8_to_utf16_bufb("hello", nullptr, 0, &count), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(utf8_to_utf16_bufb(nullptr, nullptr, 0, &count), -1);
}

TEST(Utf, CopyAllAndDupSizedByTheCount) {
  const char *text = "\xF0\x9F\x98\x80\xE2\x82\xAC";
  std::vector<uint16_t> buf(utf8_char_count(text, UTF_NTS) + 1, 0xEEEE);
  utf8_to_utf16_cpy_all(buf.data(), text);
  EXPECT_EQ(buf, (U16{0xD83D, 0xDE00, 0x20AC, 0}));
  uint16_t *w = utf8_to_wchar_dup(text);
  EXPECT_EQ(U16(w, w + 4), buf);
  free(w);
  EXPECT_EQ(utf8_to_utf16_dup(nullptr), nullptr);
}

TEST(Utf, CaseMappingOfUnicode32) {
  struct {
    uint16_t from, upper, lower;
  } cases[] = {
      {0x61, 0x41, 0x61},       {0x212A, 0x212A, 0x6B},   {0x212B, 0x212B, 0xE5},  {0x131, 0x49, 0x131},
      {0x130, 0x130, 0x69},     {0x3F2, 0x3A3, 0x3F2},    {0x3F9, 0x3F9, 0x3F9},   {0x1F80, 0x1F88, 0x1F80},
      {0x1FA7, 0x1FAF, 0x1FA7}, {0x1F88, 0x1F88, 0x1F80}, {0x1FB3, 0x1FBC, 0x1FB3}, {0x1FC3, 0x1FCC, 0x1FC3},
      {0x1FF3, 0x1FFC, 0x1FF3}, {0x1C5, 0x1C4, 0x1C6},    {0xFF41, 0xFF21, 0xFF41}, {0x10D0, 0x10D0, 0x10D0},
      {0x0, 0x0, 0x0},          {0xFFFF, 0xFFFF, 0xFFFF}, {0xD83D, 0xD83D, 0xD83D},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(utf16_upper_unit(c.from), c.upper) << std::hex << c.from;
    EXPECT_EQ(utf16_lower_unit(c.from), c.lower) << std::hex << c.from;
  }
}

TEST(Utf, Utf8UpperLowerInPlace) {
  struct {
    const char *in;
    bool upper;
    int32_t size;
    const char *out;
  } cases[] = {
      {"\xE2\x84\xAA", false, 8, "k"},                  // Kelvin sign -> k
      {"\xC4\xB1x", true, 8, "IX"},                     // dotless i: one byte shorter
      {"\xCF\xB2", true, 8, "\xCE\xA3"},                // lunate sigma -> capital sigma
      {"\xCF\xB9", true, 8, "\xCF\xB9"},                // not in 3.2: unchanged
      {"\xCF\xB9", false, 8, "\xCF\xB9"},
      {"abc\xF0\x9F\x98\x80", true, 16, "ABC\xF0\x9F\x98\x80"},  // pairs survive
      {"abc\xC3\xA9", true, 5, "ABC"},                  // cut before a character that does not fit
      {"abcd", true, 1, ""},
  };
  for (const auto &c : cases) {
    char buf[32] = {};
    strcpy(buf, c.in);
    char *r = c.upper ? utf8_upper(buf, c.size) : utf8_lower(buf, c.size);
    EXPECT_EQ(r, buf);
    EXPECT_STREQ(buf, c.out) << c.in;
  }
  char buf[8] = "abc";
  utf8_upper(buf, 0);
  EXPECT_STREQ(buf, "abc");
}

// ---- Values ----

U16 ValueDecode(const std::string &bytes, size_t *consumed = nullptr) {
  const auto *s = reinterpret_cast<const uint8_t *>(bytes.data());
  U16 out(utf8_value_units(s, bytes.size()), 0xEEEE);
  EXPECT_EQ(utf8_value_to_utf16(s, bytes.size(), out.data(), out.size(), consumed), out.size());
  return out;
}

TEST(UtfValue, IllFormedUtf8BecomesOneReplacementPerMaximalPart) {
  const uint16_t R = 0xFFFD;
  struct {
    const char *what;
    std::string utf8;
    U16 units;
  } cases[] = {
      {"pairs and NUL", std::string("a\0\xF0\x9F\x98\x80\xE2\x82\xAC", 9), {0x61, 0, 0xD83D, 0xDE00, 0x20AC}},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
      {"overlong 2-byte", "\xC0\x81z", {R, R, 0x7A}},
      {"overlong 3-byte", "\xE0\x80\xAF", {R, R, R}},
      {"encoded surrogate", "\xED\xA0\xBD", {R, R, R}},
      {"stray continuation", "a\x80z", {0x61, R, 0x7A}},
      {"impossible lead", "\xFF\xF8", {R, R}},
      {"sequence broken after its valid start", "\xE2\x82z", {R, 0x7A}},
      {"truncated at the end", "ab\xF0\x9F\x98", {0x61, 0x62, R}},
  };
  for (const auto &c : cases) {
    size_t consumed = 0;
    EXPECT_EQ(ValueDecode(c.utf8, &consumed), c.units) << c.what;
    EXPECT_EQ(consumed, c.utf8.size()) << c.what;  // every byte accounted for
  }
}

TEST(UtfValue, LoneSurrogatesBecomeReplacementAndUnalignedTextIsRead) {
  struct {
    U16 units;
    std::string utf8;
  } cases[] = {
      {{0x41, 0, 0xE9, 0x20AC}, std::string("A\0\xC3\xA9\xE2\x82\xAC", 7)},
      {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {{0xD83D}, "\xEF\xBF\xBD"},
      {{0xDE00, 0xD83D, 0x41}, "\xEF\xBF\xBD\xEF\xBF\xBD" "A"},
  };
  for (const auto &c : cases) {
    // One byte off alignment, as a cell inside a Dataset may be.
    std::vector<uint8_t> raw(2 * c.units.size() + 1);
    for (size_t i = 0; i < c.units.size(); ++i) utf16_store(raw.data() + 1, i, c.units[i]);
    EXPECT_EQ(utf16_load(raw.data() + 1, 0), c.units[0]);
    EXPECT_EQ(utf16_value_bytes(raw.data() + 1, c.units.size()), c.utf8.size());
    uint8_t out[16];
    size_t consumed = 0;
    const size_t n = utf16_value_to_utf8(raw.data() + 1, c.units.size(), out, sizeof out, &consumed);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), n), c.utf8);
    EXPECT_EQ(consumed, c.units.size());
  }
}

TEST(UtfValue, LimitsStopOnACharacterBoundary) {
  // "a" U+1F600 U+20AC: UTF-8 1 + 4 + 3 bytes, UTF-16 1 + 2 + 1 units.
  const std::string utf8 = "a\xF0\x9F\x98\x80\xE2\x82\xAC";
  const U16 wide = {0x61, 0xD83D, 0xDE00, 0x20AC};
  const auto *s = reinterpret_cast<const uint8_t *>(utf8.data());
  struct {
    size_t limit, written, consumed;
  } toWide[] = {{0, 0, 0}, {1, 1, 1}, {2, 1, 1}, {3, 3, 5}, {4, 4, 8}, {9, 4, 8}};
  for (const auto &c : toWide) {
    uint16_t out[8];
    size_t consumed = 99;
    EXPECT_EQ(utf8_value_to_utf16(s, utf8.size(), out, c.limit, &consumed), c.written) << c.limit;
    EXPECT_EQ(consumed, c.consumed) << c.limit;
  }
  struct {
    size_t limit, written, consumed;
  } toNarrow[] = {{0, 0, 0}, {4, 1, 1}, {5, 5, 3}, {7, 5, 3}, {8, 8, 4}};
  for (const auto &c : toNarrow) {
    uint8_t out[16];
    size_t consumed = 99;
    EXPECT_EQ(utf16_value_to_utf8(wide.data(), wide.size(), out, c.limit, &consumed), c.written) << c.limit;
    EXPECT_EQ(consumed, c.consumed) << c.limit;
  }
  EXPECT_EQ(utf8_value_to_utf16(s, utf8.size(), nullptr, 0, nullptr), 0u);
}

// ASCII runs of every length around a non-ASCII character, cut at every
// limit: the converters go through plain text in steps, and a step must
// never pass a character or a limit.
TEST(UtfValue, AsciiRunsOfEveryLengthAndEveryLimit) {
  // Runs around the widths taken at a time (4 and 16), and one character
  // beyond ASCII in each half of a 16-unit step: U+00E9 differs from ASCII
  // only in its low byte, U+20AC in both.
  const size_t runs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33};
  const std::pair<std::string, U16> others[] = {{"\xE2\x82\xAC", {0x20AC}}, {"\xC3\xA9", {0x00E9}}};
  for (const auto &other : others)
  for (size_t before : runs) {
    for (size_t after : runs) {
      // Characters with their UTF-8 and UTF-16 sizes.
      std::vector<std::pair<std::string, U16>> chars;
      for (size_t i = 0; i < before; ++i) chars.push_back({std::string(1, char('a' + i % 26)), {uint16_t('a' + i % 26)}});
      chars.push_back(other);
      for (size_t i = 0; i < after; ++i) chars.push_back({std::string(1, char('A' + i % 26)), {uint16_t('A' + i % 26)}});
      std::string utf8;
      U16 wide;
      for (const auto &[n, w] : chars) {
        utf8 += n;
        wide.insert(wide.end(), w.begin(), w.end());
      }
      SCOPED_TRACE(utf8);
      const auto *s = reinterpret_cast<const uint8_t *>(utf8.data());
      EXPECT_EQ(utf16_value_bytes(wide.data(), wide.size()), utf8.size());
      EXPECT_EQ(utf8_value_units(s, utf8.size()), wide.size());
      for (size_t limit = 0; limit <= utf8.size() + 1; ++limit) {
        // What whole characters fit: bytes and units.
        size_t bytes = 0, units = 0;
        for (const auto &[n, w] : chars) {
          if (bytes + n.size() > limit) break;
          bytes += n.size();
          units += w.size();
        }
        std::vector<uint8_t> out(limit + 1, 0xEE);
        size_t consumed = 99;
        ASSERT_EQ(utf16_value_to_utf8(wide.data(), wide.size(), out.data(), limit, &consumed), bytes) << limit;
        EXPECT_EQ(consumed, units) << limit;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data()), bytes), utf8.substr(0, bytes)) << limit;
        EXPECT_EQ(out[limit], 0xEE) << limit;  // nothing beyond the limit
      }
      for (size_t limit = 0; limit <= wide.size() + 1; ++limit) {
        size_t bytes = 0, units = 0;
        for (const auto &[n, w] : chars) {
          if (units + w.size() > limit) break;
          bytes += n.size();
          units += w.size();
        }
        U16 out(limit + 1, 0xEEEE);
        size_t consumed = 99;
        ASSERT_EQ(utf8_value_to_utf16(s, utf8.size(), out.data(), limit, &consumed), units) << limit;
        EXPECT_EQ(consumed, bytes) << limit;
        EXPECT_EQ(U16(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(units)),
                  U16(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(units)))
            << limit;
        EXPECT_EQ(out[limit], 0xEEEE) << limit;
      }
    }
  }
}

TEST(UtfValue, CutPointNeverSplitsAWellFormedCharacter) {
  struct {
    const char *what;
    std::string text;
    size_t cut, point;
  } cases[] = {
      {"inside a 3-byte character", "a\xE2\x82\xAC" "b", 2, 1},
      {"inside a 3-byte character, later", "a\xE2\x82\xAC" "b", 3, 1},
      {"after it", "a\xE2\x82\xAC" "b", 4, 4},
      {"inside a 4-byte character", "\xF0\x9F\x98\x80", 3, 0},
      {"whole text", "a\xE2\x82\xAC", 4, 4},
      {"incomplete at the very end", "ab\xE2\x82", 4, 2},
      {"incomplete, cut before the end", "ab\xE2\x82", 3, 2},
      {"ill-formed bytes cut anywhere", "a\xE2z\x80\x80", 4, 4},
      {"stray continuation bytes", "\x80\x80\x80\x80\x80", 3, 3},
      {"zero", "abc", 0, 0},
      {"beyond the text", "abc", 7, 3},
  };
  for (const auto &c : cases)
    EXPECT_EQ(utf8_cut_point(reinterpret_cast<const uint8_t *>(c.text.data()), c.text.size(), c.cut), c.point)
        << c.what;
}

TEST(Utf, AnsiToUtf8Buffer) {
  ASSERT_EQ(codepage_set_ansi(nullptr), 0);
  char buf[8];
  EXPECT_STREQ(ansi_to_utf8_buf(buf, "h\xC3\xA9llo", 8), "h\xC3\xA9llo");
  EXPECT_STREQ(ansi_to_utf8_buf(buf, "h\xC3\xA9llo", 3), "h");
  EXPECT_STREQ(ansi_to_utf8_buf(buf, "ab\xFF", 8), "ab\xEF\xBF\xBD");  // invalid byte -> U+FFFD
}

}  // namespace
