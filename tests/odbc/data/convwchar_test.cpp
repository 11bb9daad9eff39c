// UTF-16 character data into C types.
#include <gtest/gtest.h>

#include "convtest.h"

namespace {

TEST(ConvertWCHAR, NumbersReadExactlyTheValuesUnits) {
  // The value is "123"; what follows it in memory is not part of it.
  const std::u16string mem = u"123456";
  const SQLLEN L = 6;
  int pending = 0;
  int32_t l = 0;
  EXPECT_EQ(ConvertWCHAR(mem.data(), L, L, SQL_C_LONG, &l, 4, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(l, 123);
  int64_t b = 0;
  EXPECT_EQ(ConvertWCHAR(mem.data(), L, L, SQL_C_SBIGINT, &b, 8, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(b, 123);
  SQL_NUMERIC_STRUCT n;
  EXPECT_EQ(ConvertWCHAR(mem.data(), L, L, SQL_C_NUMERIC, &n, 19, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(NumericValue(n), "123");
  EXPECT_EQ(n.precision, 3);
  double d = 0;
  const std::u16string dbl = u" -2.5e1";
  EXPECT_EQ(ConvertWCHAR(dbl.data(), Bytes(dbl), Bytes(dbl), SQL_C_DOUBLE, &d, 8, nullptr, &pending, 0, 0),
            SQL_SUCCESS);
  EXPECT_EQ(d, -25.0);
  EXPECT_EQ(pending, 0);
}

TEST(ConvertWCHAR, ParserFailures) {
  struct Case {
    const char *what;
    std::u16string text;
    SQLSMALLINT cType;
    int pending;
  };
  const Case cases[] = {
      {"fullwidth digits are not digits", u"\uFF11\uFF12", SQL_C_LONG, E_22005},
      {"out of range", u"40000", SQL_C_SHORT, E_22003},
      {"negative into unsigned", u"-1", SQL_C_USHORT, E_22003},
      {"bit", u"2", SQL_C_BIT, E_22003},
      {"numeric beyond precision", u"123", SQL_C_NUMERIC, E_22003},
      {"text after the number", u"1.5x", SQL_C_DOUBLE, E_22005},
      {"GUID text in braces", u"{12345678-9abc-DEF0-1234-56789abcdef0}", SQL_C_GUID, E_22026},
      {"GUID text with a blank", u"12345678 9abc-DEF0-1234-56789abcdef0", SQL_C_GUID, E_22005},
      {"no timestamp from text", u"2024-01-01 00:00:00", SQL_C_TYPE_TIMESTAMP, E_S1C00},
      {"no date from text", u"2024-01-01", SQL_C_DATE, E_S1C00},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    int pending = 0;
    EXPECT_EQ(ConvertWCHAR(c.text.data(), Bytes(c.text), Bytes(c.text), c.cType, buf.bytes, 64, nullptr,
                           &pending, 0, 2),
              SQL_ERROR);
    EXPECT_EQ(pending, c.pending);
    EXPECT_TRUE(buf.UntouchedFrom(0));
  }
}

TEST(ConvertWCHAR, GuidAsNarrowTextConverts) {
  const std::u16string text = u"12345678-9abc-DEF0-1234-56789abcdef0";
  const char narrow[] = "12345678-9abc-DEF0-1234-56789abcdef0";
  SQLGUID wide{}, expected{};
  SQLLEN length = 0;
  int pending = 0;
  EXPECT_EQ(ConvertWCHAR(text.data(), Bytes(text), Bytes(text), SQL_C_GUID, &wide, 0, &length, &pending, 0, 0),
            SQL_SUCCESS);
  EXPECT_EQ(length, SQLLEN(sizeof(SQLGUID)));
  EXPECT_EQ(ConvertCHAR(narrow, 36, 36, SQL_C_GUID, &expected, 0, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(0, memcmp(&wide, &expected, sizeof wide));
  EXPECT_EQ(wide.Data1, 0x12345678u);
  EXPECT_EQ(wide.Data3, 0xDEF0);
  EXPECT_EQ(pending, 0);
}

TEST(ConvertWCHAR, NulUnitEndsTheNumber) {
  const std::u16string text(u"12\0" u"3", 4);
  int64_t v = 0;
  int pending = 0;
  EXPECT_EQ(WCharToNumber(text.data(), 4, INT32_MIN, INT32_MAX, &v, &pending), SQL_SUCCESS);
  EXPECT_EQ(v, 12);
}

TEST(ConvertWCHAR, TextTargets) {
  const std::u16string ten = u"0123456789";
  {
    // Narrow target: a 4-byte buffer takes 3 characters and the NUL.
    Guarded buf;
    SQLLEN length = 0, consumed = 0;
    int pending = 0;
    EXPECT_EQ(ConvertWCHAR(ten.data(), 20, 20, SQL_C_CHAR, buf.bytes, 4, &length, &pending, 0, 0,
                           &consumed),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(pending, E_01004);
    EXPECT_STREQ(buf.c(), "012");
    EXPECT_EQ(length, 10);
    EXPECT_EQ(consumed, 6);  // source bytes
    EXPECT_TRUE(buf.UntouchedFrom(4));
  }
  {
    // Narrow target counts UTF-8 bytes: é€ is 5 bytes from 2 characters.
    char buf[8];
    SQLLEN length = 0;
    int pending = 0;
    const std::u16string s = u"é€";
    EXPECT_EQ(ConvertWCHAR(s.data(), 4, 4, SQL_C_CHAR, buf, 8, &length, &pending, 0, 0), SQL_SUCCESS);
    EXPECT_STREQ(buf, "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(length, 5);
  }
  {
    // Wide target with an odd buffer length: whole units, then the NUL.
    Guarded buf;
    SQLLEN length = 0;
    int pending = 0;
    const std::u16string s = u"abcd";
    EXPECT_EQ(ConvertWCHAR(s.data(), 8, 8, SQL_C_WCHAR, buf.bytes, 7, &length, &pending, 0, 0),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(WideAt(buf.bytes, 3), std::u16string(u"ab\0", 3));
    EXPECT_EQ(length, 8);
    EXPECT_TRUE(buf.UntouchedFrom(6));
  }
  {
    // Binary target: the raw bytes.
    Guarded buf;
    SQLLEN length = 0;
    int pending = 0;
    const std::u16string s = u"AB";
    EXPECT_EQ(ConvertWCHAR(s.data(), 4, 4, SQL_C_BINARY, buf.bytes, 3, &length, &pending, 0, 0),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::memcmp(buf.bytes, s.data(), 3), 0);
    EXPECT_EQ(length, 4);
    EXPECT_TRUE(buf.UntouchedFrom(3));
  }
}

TEST(ConvertWCHAR, NarrowPartsKeepSurrogatePairsWhole) {
  // "a😀b": the pair is one 4-byte UTF-8 character, never split.
  const std::u16string value = u"a\U0001F600b";
  std::string joined;
  std::vector<SQLLEN> lengths, consumedBytes;
  SQLLEN offset = 0;
  for (int guard = 0; guard < 10 && offset < Bytes(value); ++guard) {
    char buf[5];
    SQLLEN length = 0, consumed = 0;
    int pending = 0;
    const SQLLEN rest = Bytes(value) - offset;
    ASSERT_NE(ConvertWCHAR(reinterpret_cast<const char *>(value.data()) + offset, rest, rest, SQL_C_CHAR,
                           buf, 5, &length, &pending, 0, 0, &consumed),
              SQL_ERROR);
    ASSERT_GT(consumed, 0);
    joined += buf;
    lengths.push_back(length);
    consumedBytes.push_back(consumed);
    offset += consumed;
  }
  EXPECT_EQ(joined, "a\xF0\x9F\x98\x80" "b");
  EXPECT_EQ(lengths, (std::vector<SQLLEN>{6, 5, 1}));
  EXPECT_EQ(consumedBytes, (std::vector<SQLLEN>{2, 4, 2}));
}

TEST(ConvertWCHAR, WidePartsKeepSurrogatePairsWhole) {
  const std::u16string value = u"ab\U0001F600c";  // 5 units
  std::u16string joined;
  SQLLEN offset = 0;
  for (int guard = 0; guard < 10 && offset < Bytes(value); ++guard) {
    unsigned char buf[8];
    SQLLEN length = 0, consumed = 0;
    int pending = 0;
    const SQLLEN rest = Bytes(value) - offset;
    ASSERT_NE(ConvertWCHAR(reinterpret_cast<const char *>(value.data()) + offset, rest, rest, SQL_C_WCHAR,
                           buf, 8, &length, &pending, 0, 0, &consumed),
              SQL_ERROR);
    EXPECT_EQ(length, rest);
    EXPECT_EQ(consumed % 2, 0);
    // No part ends with a high surrogate whose partner was left behind.
    if (consumed >= 2) {
      const char16_t last = WideAt(buf + consumed - 2, 1)[0];
      EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF);
    }
    joined += WideAt(buf, size_t(consumed / 2));
    offset += consumed;
  }
  EXPECT_EQ(joined, value);
}

}  // namespace
