// Application values towards the agent: C type to value type, date/time
// escapes, numeric and GUID values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "odbc/data/appval.h"
#include "odbc/dataset.h"

namespace {

TEST(CTypeToValueType, Table) {
  struct Case {
    int16_t cType;
    int32_t type;
    uint32_t width;
  } cases[] = {
      {SQL_C_NUMERIC, VT_CHAR, kNumericTextWidth},  // exact text, not a double
      {SQL_C_DOUBLE, VT_DOUBLE, 8},
      {SQL_C_LONG, VT_SLONG, 4},
      {SQL_C_SLONG, VT_SLONG, 4},
      {SQL_C_SHORT, VT_SSHORT, 2},
      {SQL_C_SSHORT, VT_SSHORT, 2},
      {SQL_C_FLOAT, VT_FLOAT, 4},
      {SQL_C_DATE, VT_DATE, 6},
      {SQL_C_TYPE_DATE, VT_DATE, 6},
      {SQL_C_TIME, VT_TIME, 6},
      {SQL_C_TYPE_TIME, VT_TIME, 6},
      {SQL_C_TIMESTAMP, VT_TIMESTAMP, 16},
      {SQL_C_TYPE_TIMESTAMP, VT_TIMESTAMP, 16},
      {SQL_C_UTINYINT, VT_UTINYINT, 1},
      {SQL_C_UBIGINT, VT_CHAR, 32},
      {SQL_C_SBIGINT, VT_CHAR, 32},
      {SQL_C_STINYINT, VT_STINYINT, 1},
      {SQL_C_TINYINT, VT_STINYINT, 1},
      {SQL_C_ULONG, VT_ULONG, 4},
      {SQL_C_USHORT, VT_USHORT, 2},
      {SQL_C_GUID, VT_CHAR, 36},
      {SQL_C_WCHAR, VT_WCHAR, 0},
      {SQL_C_BIT, VT_BIT, 1},
      {SQL_C_BINARY, VT_BINARY, 0},
      {SQL_C_CHAR, VT_CHAR, 0},
      {SQL_C_DEFAULT, VT_CHAR, 0},
      {SQL_C_INTERVAL_DAY_TO_SECOND, VT_CHAR, 0},
  };
  for (const Case &c : cases) {
    uint32_t width = 99;
    EXPECT_EQ(CTypeToValueType(c.cType, &width), c.type) << c.cType;
    EXPECT_EQ(width, c.width) << c.cType;
  }
  EXPECT_EQ(CTypeToValueType(SQL_C_LONG, nullptr), VT_SLONG);
}

std::string Bytes(const void *p, size_t n) { return std::string(static_cast<const char *>(p), n); }

template <class T>
std::string Bytes(const T &v) {
  return Bytes(&v, sizeof v);
}

TEST(DateTimeEscape, StructureFollowsTheSqlType) {
  struct Case {
    const char *text;
    int16_t sqlType;
    int32_t kind;  // 0: copied unchanged
    SQL_TIMESTAMP_STRUCT ts;  // the fields the structure gets
  } cases[] = {
      {"{d '2001-02-03'}", SQL_TYPE_DATE, VT_DATE, {2001, 2, 3, 0, 0, 0, 0}},
      {"{d '2001/2/3'}", SQL_DATE, VT_DATE, {2001, 2, 3, 0, 0, 0, 0}},
      {"{d '2001-02-03'}", SQL_VARCHAR, 0, {}},
      {"{d '2001-02-03'}", SQL_CHAR, 0, {}},
      {"{t '10:11:12'}", SQL_TYPE_TIME, VT_TIME, {0, 0, 0, 10, 11, 12, 0}},
      {"{t '10:11:12'}", SQL_TYPE_DATE, VT_DATE, {0, 0, 0, 0, 0, 0, 0}},
      {"{ts '2001-02-03 04:05:06'}", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, {2001, 2, 3, 4, 5, 6, 0}},
      {"{ts '2001-02-03 04:05:06.5'}", SQL_TIMESTAMP, VT_TIMESTAMP, {2001, 2, 3, 4, 5, 6, 500000000}},
      {"{ts '2001-02-03 04:05:06.000123'}", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, {2001, 2, 3, 4, 5, 6, 123000}},
      {"{ts '2001-02-03 04:05:06.1234567891'}", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, {2001, 2, 3, 4, 5, 6, 123456789}},
      {"{ts '2001-02-03 04:05:06.5'}", SQL_TYPE_DATE, VT_DATE, {2001, 2, 3, 0, 0, 0, 0}},
      {"{ts '2001-02-03 04:05:06.5'}", SQL_TYPE_TIME, VT_TIME, {0, 0, 0, 4, 5, 6, 0}},
      {"{d '2001-02-03'}", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, {2001, 2, 3, 0, 0, 0, 0}},
      {"{ts '2001-02-03'}", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, {2001, 2, 3, 0, 0, 0, 0}},
      {"{d '2001'}", SQL_TYPE_DATE, VT_DATE, {2001, 0, 0, 0, 0, 0, 0}},
      {"{d '2001-02-03'}", 0, VT_DATE, {2001, 2, 3, 0, 0, 0, 0}},
      {"{t '10:11:12'}", 0, VT_TIME, {0, 0, 0, 10, 11, 12, 0}},
      {"{ts '2001-02-03 04:05:06'}", 0, VT_TIMESTAMP, {2001, 2, 3, 4, 5, 6, 0}},
      {"{fn now()}", SQL_TYPE_DATE, 0, {}},
      {"{x '2001-02-03'}", SQL_TYPE_DATE, 0, {}},
      {"2001-02-03", SQL_TYPE_DATE, 0, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.text) + " for " + std::to_string(c.sqlType));
    const size_t len = strlen(c.text);
    unsigned char dst[64];
    memset(dst, 0xEE, sizeof dst);
    DatasetCol col{VT_CHAR, static_cast<uint32_t>(len + 1), nullptr, nullptr};
    int32_t written = ParseDateTimeEscape(dst, c.text, len, &col, c.sqlType);
    ASSERT_EQ(written, c.kind);
    if (c.kind == 0) {
      EXPECT_EQ(Bytes(dst, len), c.text);
      EXPECT_EQ(col.type, VT_CHAR);
      continue;
    }
    EXPECT_EQ(col.type, c.kind);
    if (c.kind == VT_DATE) {
      SQL_DATE_STRUCT d{c.ts.year, c.ts.month, c.ts.day};
      EXPECT_EQ(Bytes(dst, 6), Bytes(d));
      EXPECT_EQ(col.size, 6u);
    } else if (c.kind == VT_TIME) {
      SQL_TIME_STRUCT t{c.ts.hour, c.ts.minute, c.ts.second};
      EXPECT_EQ(Bytes(dst, 6), Bytes(t));
      EXPECT_EQ(col.size, 6u);
    } else {
      EXPECT_EQ(Bytes(dst, 16), Bytes(c.ts));
      EXPECT_EQ(col.size, 16u);
    }
  }
}

TEST(DateTimeEscape, TooShortForTheStructureIsCopied) {
  // Only a destination the size of the structure can take it.
  const char *text = "{d '1'}";  // 7 bytes: a DATE fits, a TIMESTAMP does not
  unsigned char dst[16] = {};
  EXPECT_EQ(ParseDateTimeEscape(dst, text, 7, nullptr, SQL_TYPE_TIMESTAMP), 0);
  EXPECT_EQ(Bytes(dst, 7), text);
  EXPECT_EQ(ParseDateTimeEscape(dst, "{d '1'", 5, nullptr, SQL_TYPE_DATE), 0);
  EXPECT_EQ(ParseDateTimeEscape(dst, text, 7, nullptr, SQL_TYPE_DATE), VT_DATE);
}

TEST(DateTimeEscape, WideText) {
  const std::u16string text = u"{ts '1999-12-31 23:59:58.25'}";
  unsigned char dst[80];
  DatasetCol col{VT_WCHAR, 80, nullptr, nullptr};
  ASSERT_EQ(ParseDateTimeEscapeW(dst, text.data(), text.size() * 2, &col, SQL_TYPE_TIMESTAMP), VT_TIMESTAMP);
  SQL_TIMESTAMP_STRUCT want{1999, 12, 31, 23, 59, 58, 250000000};
  EXPECT_EQ(Bytes(dst, 16), Bytes(want));
  EXPECT_EQ(col.type, VT_TIMESTAMP);

  const std::u16string plain = u"{d '2001-02-03'}";
  EXPECT_EQ(ParseDateTimeEscapeW(dst, plain.data(), plain.size() * 2, nullptr, SQL_WVARCHAR), 0);
  EXPECT_EQ(Bytes(dst, plain.size() * 2), Bytes(plain.data(), plain.size() * 2));
}

TEST(DateTimeEscape, IsoTextOfAnEscape) {
  char out[41];
  struct Case {
    const char *text;
    int16_t sqlType;
    const char *iso;
  } cases[] = {
      {"{d '2001-2-3'}", SQL_TYPE_DATE, "2001-02-03"},
      {"{t '1:2:3'}", SQL_TYPE_TIME, "01:02:03"},
      {"{ts '2001-02-03 04:05:06'}", SQL_TYPE_TIMESTAMP, "2001-02-03 04:05:06"},
      {"{ts '2001-02-03 04:05:06.5'}", SQL_TYPE_TIMESTAMP, "2001-02-03 04:05:06.5"},
      {"{ts '2001-02-03 04:05:06.000000001'}", SQL_TYPE_TIMESTAMP, "2001-02-03 04:05:06.000000001"},
  };
  for (const Case &c : cases) {
    EscapeValue v = ParseEscape(c.text, strlen(c.text), c.sqlType);
    size_t n = EscapeToText(v, out, sizeof out);
    EXPECT_EQ(std::string(out, n), c.iso);
  }
  EXPECT_EQ(EscapeToText(EscapeValue{}, out, sizeof out), 0u);
}

SQL_NUMERIC_STRUCT Numeric(unsigned __int128 value, int scale, bool negative) {
  SQL_NUMERIC_STRUCT n{};
  n.precision = 38;
  n.scale = static_cast<SQLSCHAR>(scale);
  n.sign = negative ? 0 : 1;
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) n.val[i] = static_cast<SQLCHAR>(value >> (8 * i));
  return n;
}

TEST(NumericValues, DoubleFromTheStruct) {
  SQL_NUMERIC_STRUCT n = Numeric(12345, 3, true);
  double d = 0;
  NumericToDouble(&d, &n, sizeof d, nullptr);
  EXPECT_DOUBLE_EQ(d, -12.345);
  n = Numeric(5, -2, false);
  NumericToDouble(&d, &n, sizeof d, nullptr);
  EXPECT_DOUBLE_EQ(d, 500);
}

TEST(NumericValues, ExactText) {
  const unsigned __int128 big = (static_cast<unsigned __int128>(0x4B3B4CA85A86C47AULL) << 64) | 0x098A223FFFFFFFFFULL;
  struct Case {
    unsigned __int128 value;
    int scale;
    bool negative;
    const char *text;
  } cases[] = {
      {12345, 2, false, "123.45"},
      {12345, 3, true, "-12.345"},
      {12345, 0, false, "12345"},
      {12345, 5, false, "0.12345"},
      {12345, 7, true, "-0.0012345"},
      {12345, -3, false, "12345000"},
      {0, 0, true, "0"},
      {0, 2, false, "0.00"},
      {0, -5, false, "0"},
      {1, 127, false, "0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001"},
      // 10^38 - 1: more digits than any double holds, kept to the last one.
      {big, 0, false, "99999999999999999999999999999999999999"},
      {big, 10, true, "-9999999999999999999999999999.9999999999"},
      {~static_cast<unsigned __int128>(0), 0, false, "340282366920938463463374607431768211455"},
  };
  for (const Case &c : cases) {
    SQL_NUMERIC_STRUCT n = Numeric(c.value, c.scale, c.negative);
    char out[kNumericTextWidth];
    size_t len = NumericToText(out, &n);
    EXPECT_EQ(std::string(out, len), c.text);
  }
  SQL_NUMERIC_STRUCT widest = Numeric(~static_cast<unsigned __int128>(0), -128, true);
  char out[kNumericTextWidth];
  EXPECT_LT(NumericToText(out, &widest), kNumericTextWidth);
}

TEST(GuidValues, UpperCaseText) {
  char out[37] = {};
  SQLGUID nil{};
  GUIDToChar(out, &nil);
  EXPECT_EQ(std::string(out, 36), "00000000-0000-0000-0000-000000000000");
  SQLGUID g{0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  GUIDToChar(out, &g);
  EXPECT_EQ(std::string(out, 36), "12345678-9ABC-DEF0-0123-456789ABCDEF");
}

}  // namespace
