// Integer and floating-point data into C types.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "convtest.h"

namespace {

enum Src { S8, U8, S16, U16, S32, U32 };

SQLRETURN ConvertInt(Src src, int64_t v, SQLSMALLINT cType, void *data, SQLLEN bufLen, SQLLEN *len,
                     int *pending, SQLSMALLINT scale = 0, SQLSMALLINT precision = 0) {
  switch (src) {
    case S8:
    case U8:
      return ConvertBYTE(uint8_t(v), src == S8, cType, data, bufLen, len, pending, scale, precision);
    case S16:
    case U16:
      return ConvertSHORT(uint16_t(v), src == S16, cType, data, bufLen, len, pending, scale, precision);
    default:
      return ConvertLONG(uint32_t(v), src == S32, cType, data, bufLen, len, pending, scale, precision);
  }
}

TEST(ConvertInteger, RangeChecksAndStores) {
  struct Case {
    const char *what;
    Src src;
    int64_t v;
    SQLSMALLINT cType;
    SQLRETURN rc;   // SQL_ERROR means 22003
    SQLLEN size;    // bytes written on success
    uint64_t bits;  // their value
  };
  const Case cases[] = {
      {"300 into tinyint", S32, 300, SQL_C_TINYINT, SQL_ERROR, 0, 0},
      {"-5 into utinyint", S32, -5, SQL_C_UTINYINT, SQL_ERROR, 0, 0},
      {"-1 into ulong", S32, -1, SQL_C_ULONG, SQL_ERROR, 0, 0},
      {"-1 into ubigint", S32, -1, SQL_C_UBIGINT, SQL_ERROR, 0, 0},
      {"-1 into ushort", S16, -1, SQL_C_USHORT, SQL_ERROR, 0, 0},
      {"-1 into utinyint", S8, -1, SQL_C_UTINYINT, SQL_ERROR, 0, 0},
      {"4294967295 into long", U32, 4294967295, SQL_C_LONG, SQL_ERROR, 0, 0},
      {"4294967295 into short", U32, 4294967295, SQL_C_SHORT, SQL_ERROR, 0, 0},
      {"4294967295 into ulong", U32, 4294967295, SQL_C_ULONG, SQL_SUCCESS, 4, 0xFFFFFFFF},
      {"4294967295 into ubigint", U32, 4294967295, SQL_C_UBIGINT, SQL_SUCCESS, 8, 0xFFFFFFFF},
      {"65535 into stinyint", U16, 65535, SQL_C_STINYINT, SQL_ERROR, 0, 0},
      {"65535 into ushort", U16, 65535, SQL_C_USHORT, SQL_SUCCESS, 2, 0xFFFF},
      {"255 into stinyint", U8, 255, SQL_C_STINYINT, SQL_ERROR, 0, 0},
      {"255 into utinyint", U8, 255, SQL_C_UTINYINT, SQL_SUCCESS, 1, 0xFF},
      {"-1 byte into short", S8, -1, SQL_C_SHORT, SQL_SUCCESS, 2, 0xFFFF},
      {"-1 byte into sbigint", S8, -1, SQL_C_SBIGINT, SQL_SUCCESS, 8, UINT64_MAX},
      {"-128 into tinyint", S32, -128, SQL_C_TINYINT, SQL_SUCCESS, 1, 0x80},
      {"-32768 into sshort", S32, -32768, SQL_C_SSHORT, SQL_SUCCESS, 2, 0x8000},
      {"2147483647 into slong", U32, 2147483647, SQL_C_SLONG, SQL_SUCCESS, 4, 0x7FFFFFFF},
      {"-2147483648 into long", S32, INT32_MIN, SQL_C_LONG, SQL_SUCCESS, 4, 0x80000000},
      {"0 into bit", S16, 0, SQL_C_BIT, SQL_SUCCESS, 1, 0},
      {"1 into bit", U32, 1, SQL_C_BIT, SQL_SUCCESS, 1, 1},
      {"2 into bit", S8, 2, SQL_C_BIT, SQL_ERROR, 0, 0},
      {"-1 into bit", S32, -1, SQL_C_BIT, SQL_ERROR, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -1;
    int pending = 0;
    // Fixed types are written whatever the buffer length says.
    EXPECT_EQ(ConvertInt(c.src, c.v, c.cType, buf.bytes, 0, &length, &pending), c.rc);
    if (c.rc == SQL_ERROR) {
      EXPECT_EQ(pending, E_22003);
      EXPECT_TRUE(buf.UntouchedFrom(0));
      continue;
    }
    EXPECT_EQ(pending, 0);
    EXPECT_EQ(length, c.size);
    uint64_t got = 0;
    std::memcpy(&got, buf.bytes, size_t(c.size));
    EXPECT_EQ(got, c.bits);
    EXPECT_TRUE(buf.UntouchedFrom(size_t(c.size)));
  }
}

TEST(ConvertInteger, FloatingTargetsAndRawBytes) {
  int pending = 0;
  double d = 0;
  float f = 0;
  EXPECT_EQ(ConvertLONG(4294967295u, false, SQL_C_DOUBLE, &d, 0, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(d, 4294967295.0);
  EXPECT_EQ(ConvertSHORT(uint16_t(-300), true, SQL_C_FLOAT, &f, 0, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(f, -300.0f);

  unsigned char raw[4];
  SQLLEN length = 0;
  EXPECT_EQ(ConvertLONG(7, true, SQL_C_BINARY, raw, 4, &length, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(raw[0], 7);
  EXPECT_EQ(ConvertLONG(7, true, SQL_C_BINARY, raw, 2, &length, &pending, 0, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);

  pending = 0;
  SQLGUID g;
  EXPECT_EQ(ConvertLONG(7, true, SQL_C_GUID, &g, 16, nullptr, &pending, 0, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_07006);
}

TEST(ConvertInteger, NumericTarget) {
  SQL_NUMERIC_STRUCT n;
  SQLLEN length = 0;
  int pending = 0;
  EXPECT_EQ(ConvertLONG(4294967295u, false, SQL_C_NUMERIC, &n, 19, &length, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(length, 19);
  EXPECT_EQ(n.sign, 1);
  const unsigned char want[16] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(n.val, want, 16), 0);
  EXPECT_EQ(n.precision, 9);  // the 32-bit default
  EXPECT_EQ(ConvertBYTE(uint8_t(-7), true, SQL_C_NUMERIC, &n, 19, &length, &pending, 2, 0), SQL_SUCCESS);
  EXPECT_EQ(NumericValue(n), "-700");
  EXPECT_EQ(n.scale, 2);
  EXPECT_EQ(n.precision, 2);
  EXPECT_EQ(ConvertSHORT(1234, true, SQL_C_NUMERIC, &n, 19, &length, &pending, -2, 6), SQL_SUCCESS);
  EXPECT_EQ(NumericValue(n), "12");
  EXPECT_EQ(n.precision, 6);
}

// Text of numbers: the whole-number part must fit, the fraction may be cut.
TEST(NumberText, WholePartMustFit) {
  struct Case {
    const char *what;
    bool isDouble;
    double x;       // for floating sources
    int64_t v;      // for the 16-bit integer source
    SQLLEN bufLen;
    SQLRETURN rc;
    const char *text;  // expected on success
    SQLLEN length;
  };
  const Case cases[] = {
      {"integer fits", false, 0, 1234, 5, SQL_SUCCESS, "1234", 4},
      {"integer cut", false, 0, 1234, 3, SQL_ERROR, nullptr, 0},
      {"negative integer exactly", false, 0, -1234, 6, SQL_SUCCESS, "-1234", 5},
      {"negative integer cut", false, 0, -1234, 5, SQL_ERROR, nullptr, 0},
      {"zero buffer asks the length", false, 0, 1234, 0, SQL_SUCCESS_WITH_INFO, nullptr, 4},
      {"0.1 as a double: the shortest text that reads back", true, 0.1, 0, 32, SQL_SUCCESS, "0.1", 3},
      {"a double needing all 17 digits", true, 0.30000000000000004, 0, 32, SQL_SUCCESS, "0.30000000000000004", 19},
      {"large whole double written out", true, 1e16, 0, 32, SQL_SUCCESS, "10000000000000000", 17},
      {"fraction cut", true, 12345.678, 0, 8, SQL_SUCCESS_WITH_INFO, "12345.6", 9},
      {"only the whole part", true, 12345.678, 0, 6, SQL_SUCCESS_WITH_INFO, "12345", 9},
      {"whole part cut", true, 12345.678, 0, 5, SQL_ERROR, nullptr, 0},
      {"negative whole part", true, -12.5, 0, 4, SQL_SUCCESS_WITH_INFO, "-12", 5},
      {"negative whole part cut", true, -12.5, 0, 3, SQL_ERROR, nullptr, 0},
      {"exponent form fits", true, 1e20, 0, 6, SQL_SUCCESS, "1e+20", 5},
      {"exponent form is never cut", true, 1e20, 0, 5, SQL_ERROR, nullptr, 0},
      {"small exponent form is never cut", true, 1.25e-7, 0, 6, SQL_ERROR, nullptr, 0},
      {"whole number", true, 42.0, 0, 8, SQL_SUCCESS, "42", 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -1;
    int pending = 0;
    const SQLRETURN rc =
        c.isDouble ? ConvertDOUBLE(c.x, SQL_C_CHAR, buf.bytes, c.bufLen, &length, &pending, 0, 0)
                   : ConvertSHORT(uint16_t(c.v), true, SQL_C_CHAR, buf.bytes, c.bufLen, &length, &pending, 0, 0);
    EXPECT_EQ(rc, c.rc);
    if (rc == SQL_ERROR) {
      EXPECT_EQ(pending, E_22003);
      EXPECT_TRUE(buf.UntouchedFrom(0));
      continue;
    }
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(pending, rc == SQL_SUCCESS ? 0 : E_01004);
    if (c.text) {
      EXPECT_STREQ(buf.c(), c.text);
      EXPECT_TRUE(buf.UntouchedFrom(std::strlen(c.text) + 1));
    } else {
      EXPECT_TRUE(buf.UntouchedFrom(0));
    }
  }
}

TEST(NumberText, FloatAndWideText) {
  char text[32];
  int pending = 0;
  EXPECT_EQ(ConvertFLOAT(0.1f, SQL_C_CHAR, text, 32, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_STREQ(text, "0.1");
  unsigned char wide[32];
  SQLLEN length = 0;
  EXPECT_EQ(ConvertFLOAT(-0.5f, SQL_C_WCHAR, wide, 32, &length, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(WideAt(wide, 5), std::u16string(u"-0.5\0", 5));
  EXPECT_EQ(length, 8);
  EXPECT_EQ(ConvertLONG(uint32_t(-42), true, SQL_C_WCHAR, wide, 32, &length, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(WideAt(wide, 4), std::u16string(u"-42\0", 4));
  // The whole part in UTF-16 needs 2 bytes a character plus the NUL.
  EXPECT_EQ(ConvertLONG(12345, true, SQL_C_WCHAR, wide, 11, &length, &pending, 0, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
}

TEST(ConvertFloating, IntegerTargetsUseExactExclusiveLimits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char *what;
    bool isFloat;
    double x;
    SQLSMALLINT cType;
    bool ok;
    uint64_t bits;  // on success, the low CTypeSize bytes
  };
  const Case cases[] = {
      {"127.0 into tinyint", false, 127.0, SQL_C_TINYINT, true, 127},
      {"127.5 into tinyint", false, 127.5, SQL_C_TINYINT, false, 0},
      {"-128.9 into tinyint", false, -128.9, SQL_C_TINYINT, false, 0},
      {"-0.5 into utinyint", false, -0.5, SQL_C_UTINYINT, false, 0},
      {"-0.0 into utinyint", false, -0.0, SQL_C_UTINYINT, true, 0},
      {"3.9 into long", false, 3.9, SQL_C_LONG, true, 3},
      {"-3.9 into long", false, -3.9, SQL_C_LONG, true, uint32_t(-3)},
      {"2147483647 into long", false, 2147483647.0, SQL_C_LONG, true, 0x7FFFFFFF},
      {"2^31 into long", false, 2147483648.0, SQL_C_LONG, false, 0},
      {"float 2^31 into long", true, double(2147483648.0f), SQL_C_LONG, false, 0},
      {"float below 2^31 into long", true, double(2147483520.0f), SQL_C_LONG, true, 2147483520},
      {"float 2^32 into ulong", true, double(4294967296.0f), SQL_C_ULONG, false, 0},
      {"float below 2^32 into ulong", true, double(4294967040.0f), SQL_C_ULONG, true, 4294967040u},
      {"65535.5 into ushort", false, 65535.5, SQL_C_USHORT, false, 0},
      {"-1 into ulong", false, -1.0, SQL_C_ULONG, false, 0},
      {"2^63 into sbigint", false, 0x1p63, SQL_C_SBIGINT, false, 0},
      {"below 2^63 into sbigint", false, 9223372036854774784.0, SQL_C_SBIGINT, true,
       9223372036854774784u},
      {"-2^63 into sbigint", false, -0x1p63, SQL_C_SBIGINT, true, uint64_t(INT64_MIN)},
      {"float 2^63 into sbigint", true, double(0x1p63f), SQL_C_SBIGINT, false, 0},
      {"2^64 into ubigint", false, 0x1p64, SQL_C_UBIGINT, false, 0},
      {"below 2^64 into ubigint", false, 18446744073709549568.0, SQL_C_UBIGINT, true,
       18446744073709549568u},
      {"-1 into ubigint", false, -1.0, SQL_C_UBIGINT, false, 0},
      {"2.0 into bit", false, 2.0, SQL_C_BIT, false, 0},
      {"0.5 into bit", false, 0.5, SQL_C_BIT, false, 0},
      {"1.0 into bit", false, 1.0, SQL_C_BIT, true, 1},
      {"NaN into long", false, nan, SQL_C_LONG, false, 0},
      {"NaN into sbigint", false, nan, SQL_C_SBIGINT, false, 0},
      {"NaN into ubigint", false, nan, SQL_C_UBIGINT, false, 0},
      {"NaN into bit", false, nan, SQL_C_BIT, false, 0},
      {"inf into short", false, inf, SQL_C_SHORT, false, 0},
      {"-inf into sbigint", false, -inf, SQL_C_SBIGINT, false, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -1;
    int pending = 0;
    const SQLRETURN rc =
        c.isFloat ? ConvertFLOAT(float(c.x), c.cType, buf.bytes, 0, &length, &pending, 0, 0)
                  : ConvertDOUBLE(c.x, c.cType, buf.bytes, 0, &length, &pending, 0, 0);
    if (!c.ok) {
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(pending, E_22003);
      EXPECT_TRUE(buf.UntouchedFrom(0));
      continue;
    }
    EXPECT_EQ(rc, SQL_SUCCESS);
    const SQLLEN size = CTypeSize(c.cType);
    EXPECT_EQ(length, size);
    uint64_t got = 0;
    std::memcpy(&got, buf.bytes, size_t(size));
    EXPECT_EQ(got, c.bits);
    EXPECT_TRUE(buf.UntouchedFrom(size_t(size)));
  }
}

TEST(ConvertFloating, FloatingTargetsAndRawBytes) {
  int pending = 0;
  float f = 0;
  EXPECT_EQ(ConvertDOUBLE(1.5, SQL_C_FLOAT, &f, 4, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(f, 1.5f);
  EXPECT_EQ(ConvertDOUBLE(1e-300, SQL_C_FLOAT, &f, 4, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(f, 0.0f);
  EXPECT_EQ(ConvertDOUBLE(std::numeric_limits<double>::infinity(), SQL_C_FLOAT, &f, 4, nullptr,
                          &pending, 0, 0),
            SQL_SUCCESS);
  EXPECT_TRUE(std::isinf(f));
  // A finite double beyond float's range: out of range, never an infinity.
  for (double x : {1e300, -1e39, 3.5e38}) {
    SCOPED_TRACE(x);
    pending = 0;
    f = 7;
    EXPECT_EQ(ConvertDOUBLE(x, SQL_C_FLOAT, &f, 4, nullptr, &pending, 0, 0), SQL_ERROR);
    EXPECT_EQ(pending, E_22003);
    EXPECT_EQ(f, 7);
  }
  double d = 0;
  pending = 0;
  EXPECT_EQ(ConvertFLOAT(0.1f, SQL_C_DOUBLE, &d, 8, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(d, double(0.1f));

  unsigned char raw[8];
  SQLLEN length = 0;
  const double x = 2.75;
  EXPECT_EQ(ConvertDOUBLE(x, SQL_C_BINARY, raw, 8, &length, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(length, 8);
  EXPECT_EQ(std::memcmp(raw, &x, 8), 0);
  EXPECT_EQ(ConvertDOUBLE(x, SQL_C_BINARY, raw, 7, &length, &pending, 0, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
  pending = 0;
  EXPECT_EQ(ConvertFLOAT(2.75f, SQL_C_BINARY, raw, 4, &length, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(length, 4);
}

TEST(DoubleToNumeric, ShortestTextThenTruncation) {
  struct Case {
    const char *what;
    double x;
    bool fromFloat;
    SQLSMALLINT scale, precision;
    SQLRETURN rc;
    int pending;
    const char *value;
  };
  const Case cases[] = {
      {"12.345 at scale 2", 12.345, false, 2, 10, SQL_SUCCESS, 0, "1234"},
      {"precision above 15 warns", 12.345, false, 2, 20, SQL_SUCCESS_WITH_INFO, E_01S07, "1234"},
      {"0.29 is 29 hundredths", 0.29, false, 2, 10, SQL_SUCCESS, 0, "29"},
      {"-0.29", -0.29, false, 2, 10, SQL_SUCCESS, 0, "-29"},
      {"2^32 from 42949672.96", 42949672.96, false, 2, 15, SQL_SUCCESS, 0, "4294967296"},
      {"1e30 at scale 10 is beyond 128 bits", 1e30, false, 10, 15, SQL_ERROR, E_22003, nullptr},
      {"1e30 at scale 8 fits", 1e30, false, 8, 15, SQL_SUCCESS, 0,
       "100000000000000000000000000000000000000"},
      {"large values are not refused for their size", 1e17, false, 0, 20, SQL_SUCCESS_WITH_INFO,
       E_01S07, "100000000000000000"},
      {"float digits, not the widened double's", double(0.1f), true, 9, 7, SQL_SUCCESS, 0, "100000000"},
      {"the widened double's own digits", double(0.1f), false, 9, 15, SQL_SUCCESS, 0, "100000001"},
      {"tiny value truncates to zero", 1e-300, false, 2, 15, SQL_SUCCESS, 0, "0"},
      {"negative scale", 12345.0, false, -2, 15, SQL_SUCCESS, 0, "123"},
      {"NaN", std::numeric_limits<double>::quiet_NaN(), false, 0, 15, SQL_ERROR, E_22003, nullptr},
      {"infinity", std::numeric_limits<double>::infinity(), false, 0, 15, SQL_ERROR, E_22003, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SQL_NUMERIC_STRUCT n;
    int pending = 0;
    EXPECT_EQ(DoubleToNumeric(c.x, &n, c.scale, c.precision, &pending, c.fromFloat), c.rc);
    EXPECT_EQ(pending, c.pending);
    if (c.value) {
      EXPECT_EQ(NumericValue(n), c.value);
      EXPECT_EQ(n.scale, c.scale);
      EXPECT_EQ(n.precision, c.precision);
    }
  }
  // 2^32 lands in the fifth value byte.
  SQL_NUMERIC_STRUCT n;
  int pending = 0;
  ASSERT_EQ(DoubleToNumeric(42949672.96, &n, 2, 15, &pending), SQL_SUCCESS);
  const unsigned char want[16] = {0, 0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(n.val, want, 16), 0);
  EXPECT_EQ(n.sign, 1);
}

TEST(ConvertFloating, NumericTargetDefaults) {
  SQL_NUMERIC_STRUCT n;
  SQLLEN length = 0;
  int pending = 0;
  EXPECT_EQ(ConvertDOUBLE(-2.5, SQL_C_NUMERIC, &n, 19, &length, &pending, 1, 0), SQL_SUCCESS);
  EXPECT_EQ(length, 19);
  EXPECT_EQ(NumericValue(n), "-25");
  EXPECT_EQ(n.precision, 15);
  EXPECT_EQ(ConvertFLOAT(0.29f, SQL_C_NUMERIC, &n, 19, &length, &pending, 2, 0), SQL_SUCCESS);
  EXPECT_EQ(NumericValue(n), "29");
  EXPECT_EQ(n.precision, 7);
  Guarded buf;
  EXPECT_EQ(ConvertDOUBLE(1e30, SQL_C_NUMERIC, buf.bytes, 19, &length, &pending, 10, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
  EXPECT_TRUE(buf.UntouchedFrom(0));
}

}  // namespace
