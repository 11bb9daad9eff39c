// C type defaults and sizes, the four copy rules, hexadecimal decoding.
#include <gtest/gtest.h>

#include "convtest.h"

namespace {

TEST(DefaultCType, FollowsTheOdbcVersion) {
  struct Case {
    SQLSMALLINT sqlType;
    SQLSMALLINT v2, v3;
  };
  const Case cases[] = {
      {SQL_CHAR, SQL_C_CHAR, SQL_C_CHAR},
      {SQL_VARCHAR, SQL_C_CHAR, SQL_C_CHAR},
      {SQL_LONGVARCHAR, SQL_C_CHAR, SQL_C_CHAR},
      {SQL_NUMERIC, SQL_C_CHAR, SQL_C_CHAR},
      {SQL_DECIMAL, SQL_C_CHAR, SQL_C_CHAR},
      {SQL_GUID, SQL_C_CHAR, SQL_C_CHAR},
      {SQL_WCHAR, SQL_C_WCHAR, SQL_C_WCHAR},
      {SQL_WVARCHAR, SQL_C_WCHAR, SQL_C_WCHAR},
      {SQL_WLONGVARCHAR, SQL_C_WCHAR, SQL_C_WCHAR},
      {SQL_BIT, SQL_C_BIT, SQL_C_BIT},
      {SQL_TINYINT, SQL_C_TINYINT, SQL_C_TINYINT},
      {SQL_BIGINT, SQL_C_CHAR, SQL_C_SBIGINT},
      {SQL_BINARY, SQL_C_BINARY, SQL_C_BINARY},
      {SQL_VARBINARY, SQL_C_BINARY, SQL_C_BINARY},
      {SQL_LONGVARBINARY, SQL_C_BINARY, SQL_C_BINARY},
      {SQL_INTEGER, SQL_C_LONG, SQL_C_LONG},
      {SQL_SMALLINT, SQL_C_SHORT, SQL_C_SHORT},
      {SQL_REAL, SQL_C_FLOAT, SQL_C_FLOAT},
      {SQL_FLOAT, SQL_C_DOUBLE, SQL_C_DOUBLE},
      {SQL_DOUBLE, SQL_C_DOUBLE, SQL_C_DOUBLE},
      {SQL_DATE, SQL_C_DATE, SQL_C_TYPE_DATE},
      {SQL_TIME, SQL_C_TIME, SQL_C_TYPE_TIME},
      {SQL_TIMESTAMP, SQL_C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP},
      {SQL_TYPE_DATE, SQL_TYPE_DATE, SQL_TYPE_DATE},
      {SQL_TYPE_TIME, SQL_TYPE_TIME, SQL_TYPE_TIME},
      {SQL_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP},
      {1234, 1234, 1234},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(DefaultCType(c.sqlType, 2), c.v2) << c.sqlType;
    EXPECT_EQ(DefaultCType(c.sqlType, 3), c.v3) << c.sqlType;
    EXPECT_EQ(DefaultCType(c.sqlType, 0), c.v2) << "any version but 3 is ODBC 2";
  }
}

TEST(CTypeSize, FixedTypesAndVariableOnes) {
  const std::pair<SQLSMALLINT, SQLLEN> cases[] = {
      {SQL_C_NUMERIC, 19},  {SQL_C_LONG, 4},       {SQL_C_FLOAT, 4},     {SQL_C_ULONG, 4},
      {SQL_C_SLONG, 4},     {SQL_C_SHORT, 2},      {SQL_C_USHORT, 2},    {SQL_C_SSHORT, 2},
      {SQL_C_DOUBLE, 8},    {SQL_C_UBIGINT, 8},    {SQL_C_SBIGINT, 8},   {SQL_C_DATE, 6},
      {SQL_C_TIME, 6},      {SQL_C_TYPE_DATE, 6},  {SQL_C_TYPE_TIME, 6}, {SQL_C_TIMESTAMP, 16},
      {SQL_C_TYPE_TIMESTAMP, 16}, {SQL_C_GUID, 16}, {SQL_C_UTINYINT, 1}, {SQL_C_STINYINT, 1},
      {SQL_C_BIT, 1},       {SQL_C_TINYINT, 1},    {SQL_C_CHAR, 0},      {SQL_C_WCHAR, 0},
      {SQL_C_BINARY, 0},    {SQL_C_DEFAULT, 0},
  };
  for (const auto &[cType, size] : cases) EXPECT_EQ(CTypeSize(cType), size) << cType;
  EXPECT_STREQ(CTypeName(SQL_C_TYPE_TIMESTAMP), "SQL_C_TYPE_TIMESTAMP");
  EXPECT_STREQ(CTypeName(SQL_C_DEFAULT), "(unknown type)");
}

// "aé€😀": 1 + 2 + 3 + 4 UTF-8 bytes.
const char kMixed[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";

TEST(CopyCharOut, LengthsCutsAndTerminator) {
  struct Case {
    const char *what;
    const char *src;
    SQLLEN srcLen, pieceLen, total;
    bool terminate, cutAllowed;
    SQLLEN dstLen;
    SQLRETURN rc;
    int pending;
    const char *written;  // bytes expected at the start of the buffer (nullptr: none)
    SQLLEN writtenLen;    // including the NUL when one is expected
    SQLLEN length;        // reported length
    SQLLEN consumed;
  };
  const Case cases[] = {
      {"fits", "hello", 5, 5, 0, true, true, 6, SQL_SUCCESS, 0, "hello", 6, 5, 5},
      {"one short", "hello", 5, 5, 0, true, true, 5, SQL_SUCCESS_WITH_INFO, E_01004, "hell", 5, 5, 4},
      {"zero buffer", "hello", 5, 5, 0, true, true, 0, SQL_SUCCESS_WITH_INFO, E_01004, nullptr, 0, 5, 0},
      {"cut refused", "hello", 5, 0, 0, true, false, 5, SQL_ERROR, E_22003, nullptr, 0, -99, 0},
      {"more to come", "abcdefghi", 9, 9, 20, true, true, 64, SQL_SUCCESS_WITH_INFO, E_01004,
       "abcdefghi", 10, 20, 9},
      {"NULL-like total", "abc", 3, 3, -1, true, true, 64, SQL_SUCCESS, 0, "abc", 4, 3, 3},
      // Whether more comes is not known: the piece is handed out as cut.
      {"unknown total", "abc", 3, 3, SQL_NO_TOTAL, true, true, 64, SQL_SUCCESS_WITH_INFO, E_01004, "abc", 4,
       SQL_NO_TOTAL, 3},
      {"raw bytes, no terminator", "hello", 5, 5, 0, false, true, 3, SQL_SUCCESS_WITH_INFO, E_01004,
       "hel", 3, 5, 3},
      {"fixed copy", "\x01\x02\x03\x04", 4, 0, 0, false, false, 4, SQL_SUCCESS, 0, "\x01\x02\x03\x04",
       4, 4, 4},
      // UTF-8 text is never cut inside a character.
      {"utf8 after 2-byte char", kMixed, 10, 10, 0, true, true, 4, SQL_SUCCESS_WITH_INFO, E_01004,
       "a\xC3\xA9", 4, 10, 3},
      {"utf8 inside 3-byte char", kMixed, 10, 10, 0, true, true, 5, SQL_SUCCESS_WITH_INFO, E_01004,
       "a\xC3\xA9", 4, 10, 3},
      {"utf8 inside 4-byte char", kMixed, 10, 10, 0, true, true, 8, SQL_SUCCESS_WITH_INFO, E_01004,
       "a\xC3\xA9\xE2\x82\xAC", 7, 10, 6},
      {"utf8 fits", kMixed, 10, 10, 0, true, true, 11, SQL_SUCCESS, 0, kMixed, 11, 10, 10},
      {"raw bytes may split a character", kMixed, 10, 10, 0, false, true, 2, SQL_SUCCESS_WITH_INFO,
       E_01004, "a\xC3", 2, 10, 2},
      // A piece whose last character is still incomplete keeps it for later.
      {"piece ends inside a character", "ab\xE2\x82", 4, 4, 10, true, true, 64,
       SQL_SUCCESS_WITH_INFO, E_01004, "ab", 3, 10, 2},
      // Ill-formed bytes are not held back forever.
      {"stray continuation bytes", "a\x80\x80\x80\x80", 5, 5, 0, true, true, 4,
       SQL_SUCCESS_WITH_INFO, E_01004, "a\x80\x80", 4, 5, 3},
      {"negative buffer length", "abc", 3, 3, 0, true, true, -5, SQL_SUCCESS_WITH_INFO, E_01004,
       nullptr, 0, 3, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -99, consumed = -99;
    int pending = 0;
    const SQLRETURN rc = CopyCharOut(c.src, c.srcLen, c.pieceLen, c.total, c.terminate, c.cutAllowed,
                                     buf.bytes, c.dstLen, &length, &pending, &consumed);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(pending, c.pending);
    EXPECT_EQ(length, c.length);
    if (rc != SQL_ERROR) {
      EXPECT_EQ(consumed, c.consumed);
    }
    if (c.written) {
      EXPECT_EQ(std::memcmp(buf.bytes, c.written, size_t(c.writtenLen)), 0);
    }
    EXPECT_TRUE(buf.UntouchedFrom(size_t(c.writtenLen)));
  }
}

TEST(CopyCharOut, EarlierTruncationOfTheSameCallIsSticky) {
  char buf[8];
  SQLLEN length = 0;
  int pending = E_01004;  // left by an earlier cell
  EXPECT_EQ(CopyCharOut("ab", 2, 2, 0, true, true, buf, 8, &length, &pending), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pending, E_01004);
  EXPECT_STREQ(buf, "ab");
  pending = 0;
  EXPECT_EQ(CopyCharOut("ab", 2, 2, 0, true, true, buf, 8, nullptr, &pending), SQL_SUCCESS);
}

TEST(CopyCharToWChar, CountsUtf16UnitsAndKeepsPairsTogether) {
  struct Case {
    const char *what;
    const char *src;
    SQLLEN srcLen, total;
    bool cutAllowed;
    SQLLEN dstLen;
    SQLRETURN rc;
    int pending;
    const char16_t *written;  // expected text (a NUL follows when it fits)
    SQLLEN length, consumed;
  };
  const Case cases[] = {
      {"fits", "abc", 3, 0, true, 8, SQL_SUCCESS, 0, u"abc", 6, 3},
      {"odd buffer", "abc", 3, 0, true, 7, SQL_SUCCESS_WITH_INFO, E_01004, u"ab", 6, 2},
      {"zero buffer", "abc", 3, 0, true, 0, SQL_SUCCESS_WITH_INFO, E_01004, nullptr, 6, 0},
      {"cut refused", "abc", 3, 0, false, 6, SQL_ERROR, E_22003, nullptr, -99, 0},
      // "a😀b": 6 bytes, 4 units.
      {"pair fits", "a\xF0\x9F\x98\x80" "b", 6, 0, true, 10, SQL_SUCCESS, 0, u"a\U0001F600b", 8, 6},
      {"pair fits before cut", "a\xF0\x9F\x98\x80" "b", 6, 0, true, 8, SQL_SUCCESS_WITH_INFO, E_01004,
       u"a\U0001F600", 8, 5},
      {"pair not split", "a\xF0\x9F\x98\x80" "b", 6, 0, true, 6, SQL_SUCCESS_WITH_INFO, E_01004, u"a", 8,
       1},
      {"two-byte characters", "\xC3\xA9\xC3\xA9", 4, 0, true, 6, SQL_SUCCESS, 0, u"éé", 4, 4},
      {"ill-formed bytes", "a\xFF" "b", 3, 0, true, 8, SQL_SUCCESS, 0, u"a\uFFFDb", 6, 3},
      {"truncated last sequence of a whole value", "a\xE2\x82", 3, 0, true, 8, SQL_SUCCESS, 0,
       u"a\uFFFD", 4, 3},
      {"piece ends inside a character", "a\xF0\x9F", 3, 10, true, 16, SQL_SUCCESS_WITH_INFO, E_01004,
       u"a", SQL_NO_TOTAL, 1},
      {"piece with more to come", "abc", 3, 7, true, 16, SQL_SUCCESS_WITH_INFO, E_01004, u"abc",
       SQL_NO_TOTAL, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -99, consumed = -99;
    int pending = 0;
    const SQLRETURN rc = CopyCharToWChar(c.src, c.srcLen, c.srcLen, c.total, true, c.cutAllowed,
                                         buf.bytes, c.dstLen, &length, &pending, &consumed);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(pending, c.pending);
    EXPECT_EQ(length, c.length);
    if (rc != SQL_ERROR) {
      EXPECT_EQ(consumed, c.consumed);
    }
    size_t end = 0;
    if (c.written) {
      const std::u16string want(c.written);
      EXPECT_EQ(WideAt(buf.bytes, want.size()), want);
      end = 2 * want.size();
      if (SQLLEN(end + 2) <= c.dstLen) {
        EXPECT_EQ(WideAt(buf.bytes + end, 1), std::u16string(1, u'\0'));
        end += 2;
      }
    }
    EXPECT_TRUE(buf.UntouchedFrom(end));
  }
}

TEST(CopyWCharOut, EvenCutsWholePairsAndPieces) {
  struct Case {
    const char *what;
    std::u16string src;
    SQLLEN total;
    SQLLEN dstLen;
    SQLRETURN rc;
    int pending;
    std::u16string written;
    bool nul;
    SQLLEN length, consumed;
  };
  const Case cases[] = {
      {"fits", u"abc", 0, 8, SQL_SUCCESS, 0, u"abc", true, 6, 6},
      {"one byte short", u"abc", 0, 7, SQL_SUCCESS_WITH_INFO, E_01004, u"ab", true, 6, 4},
      {"zero buffer", u"abc", 0, 0, SQL_SUCCESS_WITH_INFO, E_01004, u"", false, 6, 0},
      {"pair kept whole", u"a\U0001F600", 0, 6, SQL_SUCCESS_WITH_INFO, E_01004, u"a", true, 6, 2},
      {"pair fits", u"a\U0001F600", 0, 8, SQL_SUCCESS, 0, u"a\U0001F600", true, 6, 6},
      {"piece ends with a high surrogate", u"ab\xD83D", 20, 64, SQL_SUCCESS_WITH_INFO, E_01004, u"ab",
       true, 20, 4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -99, consumed = -99;
    int pending = 0;
    const SQLRETURN rc = CopyWCharOut(c.src.data(), Bytes(c.src), Bytes(c.src), c.total, true, true,
                                      buf.bytes, c.dstLen, &length, &pending, &consumed);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(pending, c.pending);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(consumed, c.consumed);
    EXPECT_EQ(WideAt(buf.bytes, c.written.size()), c.written);
    size_t end = 2 * c.written.size();
    if (c.nul) {
      EXPECT_EQ(WideAt(buf.bytes + end, 1), std::u16string(1, u'\0'));
      end += 2;
    }
    EXPECT_TRUE(buf.UntouchedFrom(end));
  }
  char buf[4];
  int pending = 0;
  EXPECT_EQ(CopyWCharOut(u"abc", 6, 6, 0, true, false, buf, 4, nullptr, &pending), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
}

TEST(CopyWCharToChar, ReportsUtf8LengthsAndConsumedUnits) {
  struct Case {
    const char *what;
    std::u16string src;
    SQLLEN totalUnits;
    SQLLEN dstLen;
    SQLRETURN rc;
    int pending;
    const char *written;  // NUL-terminated expectation
    SQLLEN length, consumedUnits;
  };
  const Case cases[] = {
      {"ascii cut", u"0123456789", 0, 4, SQL_SUCCESS_WITH_INFO, E_01004, "012", 10, 3},
      {"fits", u"abc", 0, 4, SQL_SUCCESS, 0, "abc", 3, 3},
      // é€😀 is 2 + 3 + 4 = 9 UTF-8 bytes from 4 units.
      {"multibyte fits", u"é€\U0001F600", 0, 10, SQL_SUCCESS, 0, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       9, 4},
      {"cut before 4-byte character", u"é€\U0001F600", 0, 9, SQL_SUCCESS_WITH_INFO, E_01004,
       "\xC3\xA9\xE2\x82\xAC", 9, 2},
      {"cut before 3-byte character", u"é€\U0001F600", 0, 5, SQL_SUCCESS_WITH_INFO, E_01004, "\xC3\xA9",
       9, 1},
      {"lone surrogate", u"a\xDC00" "b", 0, 16, SQL_SUCCESS, 0, "a\xEF\xBF\xBD" "b", 5, 3},
      {"piece ends with a high surrogate", u"ab\xD83D", 9, 16, SQL_SUCCESS_WITH_INFO, E_01004, "ab",
       SQL_NO_TOTAL, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -99, consumed = -99;
    int pending = 0;
    const SQLLEN units = SQLLEN(c.src.size());
    const SQLRETURN rc = CopyWCharToChar(c.src.data(), units, units, c.totalUnits, true, true,
                                         buf.bytes, c.dstLen, &length, &pending, &consumed);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(pending, c.pending);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(consumed, c.consumedUnits);
    EXPECT_STREQ(buf.c(), c.written);
    EXPECT_TRUE(buf.UntouchedFrom(std::strlen(c.written) + 1));
  }
}

TEST(HexToBinary, DecodesAndReportsBadInput) {
  unsigned char out[4] = {0, 0, 0, 0};
  EXPECT_EQ(HexToBinary(out, "0aFF", 4), 0);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0xFF);

  // A character that is not a digit is reported, not read as 0.
  EXPECT_EQ(HexToBinary(out, "1G", 2), E_22005);
  EXPECT_EQ(HexToBinary(out, "12 4", 4), E_22005);
  // An odd count is reported; the whole pairs are still decoded.
  out[0] = 0;
  EXPECT_EQ(HexToBinary(out, "ABC", 3), E_22005);
  EXPECT_EQ(out[0], 0xAB);
  EXPECT_EQ(HexToBinary(out, "", 0), 0);

  EXPECT_EQ(HexDigitValue('7'), 7);
  EXPECT_EQ(HexDigitValue('c'), 12);
  EXPECT_EQ(HexDigitValue('C'), 12);
  EXPECT_EQ(HexDigitValue('g'), -1);
}

}  // namespace
