// Character data into C types, and the text parsers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "convtest.h"

namespace {

TEST(CharToNumber, WhiteSpaceSignsAndLimits) {
  struct Case {
    const char *text;
    int64_t minimum, maximum;
    SQLRETURN rc;
    int pending;
    int64_t value;  // checked on success
  };
  const Case cases[] = {
      {" 42 ", INT32_MIN, INT32_MAX, SQL_SUCCESS, 0, 42},
      {"+7", INT32_MIN, INT32_MAX, SQL_SUCCESS, 0, 7},
      {"\t-15\n", INT32_MIN, INT32_MAX, SQL_SUCCESS, 0, -15},
      {"4 2", INT32_MIN, INT32_MAX, SQL_ERROR, E_22005, 0},
      {"42x", INT32_MIN, INT32_MAX, SQL_ERROR, E_22005, 0},
      {"", INT32_MIN, INT32_MAX, SQL_ERROR, E_22005, 0},
      {"-", INT32_MIN, INT32_MAX, SQL_ERROR, E_22005, 0},
      {"1.0", INT32_MIN, INT32_MAX, SQL_ERROR, E_22005, 0},
      {"2147483647", INT32_MIN, INT32_MAX, SQL_SUCCESS, 0, 2147483647},
      {"2147483648", INT32_MIN, INT32_MAX, SQL_ERROR, E_22003, 0},
      {"-2147483648", INT32_MIN, INT32_MAX, SQL_SUCCESS, 0, INT32_MIN},
      {"-2147483649", INT32_MIN, INT32_MAX, SQL_ERROR, E_22003, 0},
      {"4294967295", 0, UINT32_MAX, SQL_SUCCESS, 0, 4294967295},
      {"-1", 0, UINT32_MAX, SQL_ERROR, E_22003, 0},
      {"-0", 0, UINT32_MAX, SQL_SUCCESS, 0, 0},
      {"00000000000000000000000000000000000000000000000000000000000127", -128, 127, SQL_SUCCESS, 0,
       127},
      {"99999999999999999999999999999999999999999", -128, 127, SQL_ERROR, E_22003, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    int64_t v = -1;
    int pending = 0;
    EXPECT_EQ(CharToNumber(c.text, std::strlen(c.text), c.minimum, c.maximum, &v, &pending), c.rc);
    EXPECT_EQ(pending, c.pending);
    if (c.rc == SQL_SUCCESS) {
      EXPECT_EQ(v, c.value);
    }
  }
}

TEST(CharToNumber64, FullSixtyFourBitRange) {
  struct Case {
    const char *text;
    bool isSigned;
    SQLRETURN rc;
    uint64_t bits;
  };
  const Case cases[] = {
      {"18446744073709551615", false, SQL_SUCCESS, UINT64_MAX},
      {"18446744073709551616", false, SQL_ERROR, 0},
      {"-1", false, SQL_ERROR, 0},
      {"-9223372036854775808", true, SQL_SUCCESS, uint64_t(INT64_MIN)},
      {"9223372036854775807", true, SQL_SUCCESS, uint64_t(INT64_MAX)},
      {"9223372036854775808", true, SQL_ERROR, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    uint64_t v = 0;
    int pending = 0;
    EXPECT_EQ(CharToNumber64(c.text, std::strlen(c.text), c.isSigned ? INT64_MIN : 0,
                             c.isSigned ? uint64_t(INT64_MAX) : UINT64_MAX, &v, &pending),
              c.rc);
    if (c.rc == SQL_SUCCESS) {
      EXPECT_EQ(v, c.bits);
    } else {
      EXPECT_EQ(pending, E_22003);
    }
  }
}

TEST(CharToDecimal, CurrencyGroupingAndRange) {
  const std::string longText(600, '1');
  const std::string withNul("1.5\0x", 5);
  struct Case {
    std::string text;
    SQLRETURN rc;
    int pending;
    double value;
  };
  const Case cases[] = {
      {"$1,234.5", SQL_SUCCESS, 0, 1234.5},
      {" 1.5", SQL_SUCCESS, 0, 1.5},
      {"-2.5E3", SQL_SUCCESS, 0, -2500.0},
      {"1e-400", SQL_SUCCESS, 0, 0.0},  // too small: its nearest double
      {"+1.5", SQL_SUCCESS, 0, 1.5},
      {"0.1", SQL_SUCCESS, 0, 0.1},
      {"-1234567890123.25", SQL_SUCCESS, 0, -1234567890123.25},
      {"9007199254740993", SQL_SUCCESS, 0, 9007199254740992.0},  // halfway: to even
      {"1.7976931348623157e308", SQL_SUCCESS, 0, 1.7976931348623157e308},
      {"1.8e308", SQL_ERROR, E_22003, 0},
      {"1.5 ", SQL_ERROR, E_22005, 0},
      {"abc", SQL_ERROR, E_22005, 0},
      {"", SQL_ERROR, E_22005, 0},
      {withNul, SQL_ERROR, E_22005, 0},
      {"1e999", SQL_ERROR, E_22003, 0},
      {longText, SQL_ERROR, E_22003, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    double v = -1;
    int pending = 0;
    EXPECT_EQ(CharToDecimal(c.text.data(), c.text.size(), &v, &pending), c.rc);
    EXPECT_EQ(pending, c.pending);
    if (c.rc == SQL_SUCCESS) {
      EXPECT_EQ(v, c.value);
    }
  }
}

struct NumericCase {
  std::string text;
  SQLSMALLINT scale, precision;
  SQLRETURN rc;
  int pending;
  const char *value;  // signed decimal of the 128-bit value (on success)
  int precisionOut;
};

void CheckNumeric(const NumericCase &c, SQLRETURN rc, int pending, const SQL_NUMERIC_STRUCT &n) {
  EXPECT_EQ(rc, c.rc);
  EXPECT_EQ(pending, c.pending);
  if (rc != SQL_ERROR) {
    EXPECT_EQ(NumericValue(n), c.value);
    EXPECT_EQ(n.scale, c.scale);
    EXPECT_EQ(n.precision, c.precisionOut);
  }
}

const std::string k2p128m1 = "340282366920938463463374607431768211455";  // 2^128 - 1

std::vector<NumericCase> NumericCases() {
  return {
      {"-12.345", 2, 10, SQL_SUCCESS_WITH_INFO, E_01S07, "-1234", 10},
      {"12.3456", 2, 10, SQL_SUCCESS_WITH_INFO, E_01S07, "1234", 10},
      {"12.3456", 2, 1, SQL_ERROR, E_22003, nullptr, 0},
      {"0.5", 1, 0, SQL_SUCCESS, 0, "5", 2},
      {"12.30", 1, 10, SQL_SUCCESS, 0, "123", 10},  // only zeros dropped
      {"7", 3, 5, SQL_SUCCESS, 0, "7000", 5},
      {" +42 ", 0, 0, SQL_SUCCESS, 0, "42", 2},
      {"0", 0, 0, SQL_SUCCESS, 0, "0", 1},
      // NUMBER(38) arrives as text: exact over the whole 128 bits.
      {std::string(38, '9'), 0, 38, SQL_SUCCESS, 0, "99999999999999999999999999999999999999", 38},
      {"-" + std::string(38, '9'), 0, 38, SQL_SUCCESS, 0, "-99999999999999999999999999999999999999", 38},
      {k2p128m1, 0, 0, SQL_SUCCESS, 0, "340282366920938463463374607431768211455", 39},
      {"340282366920938463463374607431768211456", 0, 0, SQL_ERROR, E_22003, nullptr, 0},
      {"34028236692093846346337460743176821145.6", 1, 0, SQL_ERROR, E_22003, nullptr, 0},
      {"1234567890123456789012345.6789", 4, 38, SQL_SUCCESS, 0, "12345678901234567890123456789", 38},
      // Exponent forms.
      {"1.5E+10", 0, 0, SQL_SUCCESS, 0, "15000000000", 11},
      {"1.5e-3", 4, 10, SQL_SUCCESS, 0, "15", 10},
      {"1.5e-3", 2, 10, SQL_SUCCESS_WITH_INFO, E_01S07, "0", 10},
      {"1e1000000000000", 0, 0, SQL_ERROR, E_22003, nullptr, 0},
      {"1e-1000000000000", 2, 5, SQL_SUCCESS_WITH_INFO, E_01S07, "0", 5},
      // Zero keeps the positive sign.
      {"-0.001", 2, 5, SQL_SUCCESS_WITH_INFO, E_01S07, "0", 5},
      // Negative scale: tens, hundreds...
      {"12345", -2, 10, SQL_SUCCESS_WITH_INFO, E_01S07, "123", 10},
      // Integer part fits the precision, the digits beyond it are fraction.
      {"123.456", 2, 4, SQL_SUCCESS_WITH_INFO, E_01S07, "12340", 4},
      // Not numbers.
      {"abc", 0, 0, SQL_ERROR, E_22005, nullptr, 0},
      {"", 0, 0, SQL_ERROR, E_22005, nullptr, 0},
      {"1.2.3", 0, 0, SQL_ERROR, E_22005, nullptr, 0},
      {"1e", 0, 0, SQL_ERROR, E_22005, nullptr, 0},
      {".", 0, 0, SQL_ERROR, E_22005, nullptr, 0},
      // Unbounded text stays bounded work and memory.
      {"0." + std::string(100000, '0') + "1", 2, 5, SQL_SUCCESS_WITH_INFO, E_01S07, "0", 5},
      {std::string(100000, '7'), 0, 0, SQL_ERROR, E_22003, nullptr, 0},
  };
}

TEST(CharToNumeric, ScalePrecisionAndTheWhole128Bits) {
  for (const NumericCase &c : NumericCases()) {
    SCOPED_TRACE(c.text.substr(0, 60));
    SQL_NUMERIC_STRUCT n;
    std::memset(&n, 0xEE, sizeof n);
    int pending = 0;
    const SQLRETURN rc =
        CharToNumeric(c.text.data(), c.text.size(), &n, c.scale, c.precision, &pending);
    CheckNumeric(c, rc, pending, n);
  }
}

TEST(CharToNumeric, ValueBytesAreLittleEndian) {
  SQL_NUMERIC_STRUCT n;
  int pending = 0;
  ASSERT_EQ(CharToNumeric("4294967296", 10, &n, 0, 0, &pending), SQL_SUCCESS);
  const unsigned char want[16] = {0, 0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(n.val, want, 16), 0);
  EXPECT_EQ(n.sign, 1);
}

TEST(CharToGUID, LengthDashesAndDigits) {
  const char *good = "12345678-9abc-DEF0-1234-56789abcdef0";
  SQLGUID g;
  int pending = 0;
  ASSERT_EQ(CharToGUID(good, 36, &g, &pending), SQL_SUCCESS);
  EXPECT_EQ(g.Data1, 0x12345678u);
  EXPECT_EQ(g.Data2, 0x9abc);
  EXPECT_EQ(g.Data3, 0xDEF0);
  const unsigned char d4[8] = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0};
  EXPECT_EQ(std::memcmp(g.Data4, d4, 8), 0);

  const std::pair<const char *, int> bad[] = {
      {"{12345678-9abc-DEF0-1234-56789abcdef0}", E_22026},
      {"12345678 9abc-DEF0-1234-56789abcdef0", E_22005},
      // Not a hexadecimal digit: refused rather than read as 0.
      {"1234567g-9abc-DEF0-1234-56789abcdef0", E_22005},
  };
  for (const auto &[text, code] : bad) {
    SCOPED_TRACE(text);
    pending = 0;
    EXPECT_EQ(CharToGUID(text, std::strlen(text), &g, &pending), SQL_ERROR);
    EXPECT_EQ(pending, code);
  }
}

// ConvertCHAR into each C type that takes a number, with the bytes written.
TEST(ConvertCHAR, NumericTargetsWriteTheirFixedSize) {
  struct Case {
    SQLSMALLINT cType;
    const char *text;
    SQLLEN size;
    uint64_t bits;  // the low `size` bytes expected
  };
  const Case cases[] = {
      {SQL_C_LONG, "-5", 4, uint32_t(-5)},       {SQL_C_SLONG, "70000", 4, 70000},
      {SQL_C_ULONG, "4294967295", 4, UINT32_MAX}, {SQL_C_SHORT, "-32768", 2, uint16_t(-32768)},
      {SQL_C_SSHORT, "123", 2, 123},             {SQL_C_USHORT, "65535", 2, 65535},
      {SQL_C_TINYINT, "-128", 1, 0x80},          {SQL_C_STINYINT, "127", 1, 127},
      {SQL_C_UTINYINT, "255", 1, 255},           {SQL_C_BIT, "1", 1, 1},
      {SQL_C_SBIGINT, "-2", 8, uint64_t(-2)},    {SQL_C_UBIGINT, "18446744073709551615", 8, UINT64_MAX},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(CTypeName(c.cType));
    Guarded buf;
    SQLLEN length = 0, consumed = 0;
    int pending = 0;
    const SQLLEN n = SQLLEN(std::strlen(c.text));
    EXPECT_EQ(ConvertCHAR(c.text, n, n, c.cType, buf.bytes, 0, &length, &pending, 0, 0, &consumed),
              SQL_SUCCESS);
    EXPECT_EQ(length, c.size);
    EXPECT_EQ(consumed, n);
    uint64_t got = 0;
    std::memcpy(&got, buf.bytes, size_t(c.size));
    EXPECT_EQ(got, c.size == 8 ? c.bits : c.bits & ((uint64_t(1) << (8 * c.size)) - 1));
    EXPECT_TRUE(buf.UntouchedFrom(size_t(c.size)));
  }

  int pending = 0;
  double d = 0;
  float f = 0;
  EXPECT_EQ(ConvertCHAR("2.5", 3, 3, SQL_C_DOUBLE, &d, 8, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(ConvertCHAR("2.5", 3, 3, SQL_C_FLOAT, &f, 4, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(f, 2.5f);
  // A double beyond float's range is refused, never an infinity.
  EXPECT_EQ(ConvertCHAR("1e300", 5, 5, SQL_C_FLOAT, &f, 4, nullptr, &pending, 0, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
  pending = 0;
  EXPECT_EQ(ConvertCHAR("2", 1, 1, SQL_C_BIT, &f, 4, nullptr, &pending, 0, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
  pending = 0;
  EXPECT_EQ(ConvertCHAR("x", 1, 1, SQL_C_BIT, &f, 4, nullptr, &pending, 0, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
}

TEST(ConvertCHAR, NumericTargetWithPrecisionFromTheText) {
  SQL_NUMERIC_STRUCT n;
  SQLLEN length = 0;
  int pending = 0;
  // No precision given: the digits of the text.
  EXPECT_EQ(ConvertCHAR("-12.5", 5, 5, SQL_C_NUMERIC, &n, 19, &length, &pending, 1, 0), SQL_SUCCESS);
  EXPECT_EQ(length, 19);
  EXPECT_EQ(NumericValue(n), "-125");
  EXPECT_EQ(n.precision, 3);
  EXPECT_EQ(n.scale, 1);
  // Out of range: nothing written.
  Guarded buf;
  EXPECT_EQ(ConvertCHAR("123", 3, 3, SQL_C_NUMERIC, buf.bytes, 19, &length, &pending, 0, 2), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
  EXPECT_TRUE(buf.UntouchedFrom(0));
}

// Reads a value part by part as SQLGetData continues it: each call starts
// where the previous one's consumed count left off.
struct Parts {
  std::string joined;
  std::vector<SQLLEN> lengths;
  std::vector<std::string> parts;
};
Parts ReadInParts(const std::string &value, SQLLEN bufLen) {
  Parts r;
  SQLLEN offset = 0;
  for (int guard = 0; guard < 20 && offset < SQLLEN(value.size()); ++guard) {
    char buf[16];
    SQLLEN length = 0, consumed = 0;
    const SQLLEN rest = SQLLEN(value.size()) - offset;
    int pending = 0;
    const SQLRETURN rc = ConvertCHAR(value.data() + offset, rest, rest, SQL_C_CHAR, buf, bufLen,
                                     &length, &pending, 0, 0, &consumed);
    EXPECT_NE(rc, SQL_ERROR);
    if (consumed == 0) break;
    r.parts.emplace_back(buf);
    r.joined += buf;
    r.lengths.push_back(length);
    offset += consumed;
  }
  return r;
}

TEST(ConvertCHAR, TextTargetsInPartsNeverSplitACharacter) {
  // "añb€" is 1 + 2 + 1 + 3 = 7 bytes.
  const std::string value = "a\xC3\xB1" "b\xE2\x82\xAC";
  const Parts four = ReadInParts(value, 4);
  EXPECT_EQ(four.joined, value);
  EXPECT_EQ(four.parts, (std::vector<std::string>{"a\xC3\xB1", "b", "\xE2\x82\xAC"}));
  EXPECT_EQ(four.lengths, (std::vector<SQLLEN>{7, 4, 3}));
  // A buffer too small for one whole character still makes progress: the
  // joined parts are the exact bytes.
  const Parts three = ReadInParts(value, 3);
  EXPECT_EQ(three.joined, value);
  EXPECT_EQ(three.lengths, (std::vector<SQLLEN>{7, 6, 4, 3, 1}));
}

TEST(ConvertCHAR, ZeroBufferReportsTheLength) {
  Guarded buf;
  SQLLEN length = 0;
  int pending = 0;
  EXPECT_EQ(ConvertCHAR("hello", 5, 5, SQL_C_CHAR, buf.bytes, 0, &length, &pending, 0, 0),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pending, E_01004);
  EXPECT_EQ(length, 5);
  EXPECT_TRUE(buf.UntouchedFrom(0));
}

}  // namespace
