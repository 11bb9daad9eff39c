// Binary, date, time and timestamp data into C types.
#include <gtest/gtest.h>

#include "convtest.h"

namespace {

const unsigned char kBytes[] = {0x01, 0xAB};

TEST(ConvertBINARY, HexadecimalText) {
  struct Case {
    const char *what;
    SQLSMALLINT cType;
    SQLLEN srcLen, total, bufLen;
    SQLRETURN rc;
    const char16_t *text;  // expected digits (narrow targets compare the ASCII)
    bool nul;
    SQLLEN length, consumed;
  };
  const Case cases[] = {
      {"fits", SQL_C_CHAR, 2, 0, 10, SQL_SUCCESS, u"01AB", true, 4, 2},
      {"exactly", SQL_C_CHAR, 2, 0, 5, SQL_SUCCESS, u"01AB", true, 4, 2},
      {"one byte's digits", SQL_C_CHAR, 2, 0, 4, SQL_SUCCESS_WITH_INFO, u"01", true, 4, 1},
      {"only the NUL", SQL_C_CHAR, 2, 0, 1, SQL_SUCCESS_WITH_INFO, u"", true, 4, 0},
      {"zero buffer", SQL_C_CHAR, 2, 0, 0, SQL_SUCCESS_WITH_INFO, u"", false, 4, 0},
      {"piece with more to come", SQL_C_CHAR, 2, 5, 64, SQL_SUCCESS_WITH_INFO, u"01AB", true, 10, 2},
      {"wide fits", SQL_C_WCHAR, 2, 0, 10, SQL_SUCCESS, u"01AB", true, 8, 2},
      {"wide one byte", SQL_C_WCHAR, 2, 0, 9, SQL_SUCCESS_WITH_INFO, u"01", true, 8, 1},
      {"wide only the NUL", SQL_C_WCHAR, 2, 0, 3, SQL_SUCCESS_WITH_INFO, u"", true, 8, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -1, consumed = -1;
    int pending = 0;
    EXPECT_EQ(ConvertBINARY(kBytes, c.srcLen, c.total, c.cType, buf.bytes, c.bufLen, &length, &pending,
                            &consumed),
              c.rc);
    EXPECT_EQ(pending, c.rc == SQL_SUCCESS ? 0 : E_01004);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(consumed, c.consumed);
    const std::u16string want(c.text);
    size_t end;
    if (c.cType == SQL_C_WCHAR) {
      EXPECT_EQ(WideAt(buf.bytes, want.size()), want);
      end = 2 * want.size();
      if (c.nul) {
        EXPECT_EQ(WideAt(buf.bytes + end, 1)[0], u'\0');
        end += 2;
      }
    } else {
      const std::string narrow(want.begin(), want.end());
      EXPECT_EQ(std::string(buf.c(), narrow.size()), narrow);
      end = narrow.size();
      if (c.nul) {
        EXPECT_EQ(buf.bytes[end++], 0);
      }
    }
    EXPECT_TRUE(buf.UntouchedFrom(end));
  }
}

TEST(ConvertBINARY, BinaryTargetAndRefusals) {
  unsigned char out[4];
  SQLLEN length = 0, consumed = 0;
  int pending = 0;
  EXPECT_EQ(ConvertBINARY(kBytes, 2, 0, SQL_C_BINARY, out, 1, &length, &pending, &consumed),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(consumed, 1);
  for (SQLSMALLINT cType : {SQL_C_LONG, SQL_C_DOUBLE, SQL_C_NUMERIC, SQL_C_TYPE_DATE, SQL_C_GUID}) {
    pending = 0;
    EXPECT_EQ(ConvertBINARY(kBytes, 2, 0, cType, out, 4, &length, &pending), SQL_ERROR);
    EXPECT_EQ(pending, E_07006);
  }
}

TEST(ConvertDATE, TextRefusesToBeCut) {
  struct Case {
    const char *what;
    SQL_DATE_STRUCT d;
    SQLSMALLINT cType;
    SQLLEN bufLen;
    const char *text;  // nullptr: 22003
  };
  const Case cases[] = {
      {"fits", {2024, 3, 5}, SQL_C_CHAR, 11, "2024-03-05"},
      {"one short", {2024, 3, 5}, SQL_C_CHAR, 10, nullptr},
      {"wide fits", {2024, 3, 5}, SQL_C_WCHAR, 22, "2024-03-05"},
      {"wide one short", {2024, 3, 5}, SQL_C_WCHAR, 21, nullptr},
      // The year keeps its sign: 44 BC is not AD 44.
      {"negative year", {-44, 3, 15}, SQL_C_CHAR, 12, "-0044-03-15"},
      {"negative year one short", {-44, 3, 15}, SQL_C_CHAR, 11, nullptr},
      {"year capped", {12000, 1, 2}, SQL_C_CHAR, 11, "9999-01-02"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Guarded buf;
    SQLLEN length = -1;
    int pending = 0;
    const SQLRETURN rc = ConvertDATE(c.d, c.cType, buf.bytes, c.bufLen, &length, &pending);
    if (!c.text) {
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(pending, E_22003);
      EXPECT_TRUE(buf.UntouchedFrom(0));
      continue;
    }
    EXPECT_EQ(rc, SQL_SUCCESS);
    const size_t n = std::strlen(c.text);
    if (c.cType == SQL_C_WCHAR) {
      EXPECT_EQ(length, SQLLEN(2 * n));
      const std::string s(c.text);
      EXPECT_EQ(WideAt(buf.bytes, n + 1), std::u16string(s.begin(), s.end()) + u'\0');
    } else {
      EXPECT_EQ(length, SQLLEN(n));
      EXPECT_STREQ(buf.c(), c.text);
    }
  }
}

TEST(ConvertDATE, StructureTargets) {
  const SQL_DATE_STRUCT d{2024, 3, 5};
  SQLLEN length = 0;
  int pending = 0;
  SQL_DATE_STRUCT out{};
  EXPECT_EQ(ConvertDATE(d, SQL_C_TYPE_DATE, &out, 0, &length, &pending), SQL_SUCCESS);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(out.year, 2024);
  EXPECT_EQ(out.day, 5);
  SQL_TIMESTAMP_STRUCT ts;
  std::memset(&ts, 0xEE, sizeof ts);
  EXPECT_EQ(ConvertDATE(d, SQL_C_TIMESTAMP, &ts, 0, &length, &pending), SQL_SUCCESS);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(ts.month, 3);
  EXPECT_EQ(ts.hour + ts.minute + ts.second, 0);
  EXPECT_EQ(ts.fraction, 0u);
  unsigned char raw[6];
  EXPECT_EQ(ConvertDATE(d, SQL_C_BINARY, raw, 4, &length, &pending), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pending, E_01004);
  EXPECT_EQ(std::memcmp(raw, &d, 4), 0);
  pending = 0;
  EXPECT_EQ(ConvertDATE(d, SQL_C_TYPE_TIME, raw, 6, &length, &pending), SQL_ERROR);
  EXPECT_EQ(pending, E_07006);
}

TEST(ConvertTIME, TextAndStructures) {
  const SQL_TIME_STRUCT t{10, 20, 30};
  char text[16];
  SQLLEN length = 0;
  int pending = 0;
  EXPECT_EQ(ConvertTIME(t, SQL_C_CHAR, text, 9, &length, &pending), SQL_SUCCESS);
  EXPECT_STREQ(text, "10:20:30");
  EXPECT_EQ(length, 8);
  EXPECT_EQ(ConvertTIME(t, SQL_C_CHAR, text, 8, &length, &pending), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
  pending = 0;
  EXPECT_EQ(ConvertTIME(t, SQL_C_WCHAR, text, 17, &length, &pending), SQL_ERROR);
  EXPECT_EQ(pending, E_22003);
  pending = 0;
  SQL_TIMESTAMP_STRUCT ts;
  std::memset(&ts, 0xEE, sizeof ts);
  EXPECT_EQ(ConvertTIME(t, SQL_C_TYPE_TIMESTAMP, &ts, 0, &length, &pending), SQL_SUCCESS);
  EXPECT_EQ(ts.year + ts.month + ts.day, 0);
  EXPECT_EQ(ts.hour, 10);
  EXPECT_EQ(ts.second, 30);
  EXPECT_EQ(ts.fraction, 0u);
  SQL_TIME_STRUCT out{};
  EXPECT_EQ(ConvertTIME(t, SQL_C_TIME, &out, 0, &length, &pending), SQL_SUCCESS);
  EXPECT_EQ(out.minute, 20);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(ConvertTIME(t, SQL_C_DATE, &out, 6, &length, &pending), SQL_ERROR);
  EXPECT_EQ(pending, E_07006);
}

TEST(ConvertTIMESTAMP, TextFollowsTheScale) {
  const SQL_TIMESTAMP_STRUCT ts{2024, 3, 5, 10, 20, 30, 1500000};
  struct Case {
    SQL_TIMESTAMP_STRUCT v;
    SQLSMALLINT scale;
    const char *text;
  };
  const Case cases[] = {
      {ts, 0, "2024-03-05 10:20:30"},
      {ts, 3, "2024-03-05 10:20:30.0015"},
      {ts, 6, "2024-03-05 10:20:30.001500"},
      {ts, 9, "2024-03-05 10:20:30.001500000"},
      {{2024, 3, 5, 10, 20, 30, 0}, 3, "2024-03-05 10:20:30.000"},
      {{2024, 3, 5, 10, 20, 30, 123456789}, 2, "2024-03-05 10:20:30.123456789"},
      {{-4712, 1, 1, 0, 0, 0, 0}, 0, "-4712-01-01 00:00:00"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    char text[64];
    SQLLEN length = 0;
    int pending = 0;
    EXPECT_EQ(ConvertTIMESTAMP(c.v, SQL_C_CHAR, text, 64, &length, &pending, c.scale), SQL_SUCCESS);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(length, SQLLEN(std::strlen(c.text)));
  }
  // Timestamp text may be cut.
  Guarded buf;
  SQLLEN length = 0;
  int pending = 0;
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_CHAR, buf.bytes, 10, &length, &pending, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pending, E_01004);
  EXPECT_STREQ(buf.c(), "2024-03-0");
  EXPECT_EQ(length, 19);
  EXPECT_TRUE(buf.UntouchedFrom(10));
  unsigned char wide[64];
  pending = 0;
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_WCHAR, wide, 64, &length, &pending, 0), SQL_SUCCESS);
  EXPECT_EQ(WideAt(wide, 20), std::u16string(u"2024-03-05 10:20:30\0", 20));
  EXPECT_EQ(length, 38);
}

TEST(ConvertTIMESTAMP, StructureAndBinaryTargets) {
  const SQL_TIMESTAMP_STRUCT ts{2024, 3, 5, 10, 20, 30, 1500000};
  SQLLEN length = 0;
  int pending = 0;
  // The time of day, or the fraction, that does not go into the target is a
  // fractional truncation: stored, with 01S07.
  SQL_DATE_STRUCT d{};
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_TYPE_DATE, &d, 0, &length, &pending, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pending, E_01S07);
  EXPECT_EQ(d.year, 2024);
  EXPECT_EQ(d.day, 5);
  EXPECT_EQ(length, 6);
  SQL_TIME_STRUCT t{};
  pending = 0;
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_TIME, &t, 0, &length, &pending, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pending, E_01S07);
  EXPECT_EQ(t.hour, 10);
  EXPECT_EQ(t.second, 30);
  // Nothing cut: no warning.
  const SQL_TIMESTAMP_STRUCT midnight{2024, 3, 5, 0, 0, 0, 0}, whole{2024, 3, 5, 10, 20, 30, 0};
  pending = 0;
  EXPECT_EQ(ConvertTIMESTAMP(midnight, SQL_C_TYPE_DATE, &d, 0, &length, &pending, 0), SQL_SUCCESS);
  EXPECT_EQ(ConvertTIMESTAMP(whole, SQL_C_TYPE_TIME, &t, 0, &length, &pending, 0), SQL_SUCCESS);
  EXPECT_EQ(pending, 0);
  pending = 0;
  SQL_TIMESTAMP_STRUCT out{};
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_TYPE_TIMESTAMP, &out, 0, &length, &pending, 0), SQL_SUCCESS);
  EXPECT_EQ(std::memcmp(&out, &ts, 16), 0);
  EXPECT_EQ(length, 16);
  unsigned char raw[16];
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_BINARY, raw, 16, &length, &pending, 0), SQL_SUCCESS);
  EXPECT_EQ(std::memcmp(raw, &ts, 16), 0);
  Guarded buf;
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_BINARY, buf.bytes, 8, &length, &pending, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pending, E_01004);
  EXPECT_EQ(std::memcmp(buf.bytes, &ts, 8), 0);
  EXPECT_EQ(length, 16);
  EXPECT_TRUE(buf.UntouchedFrom(8));
  pending = 0;
  EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_LONG, raw, 16, &length, &pending, 0), SQL_ERROR);
  EXPECT_EQ(pending, E_07006);
}

}  // namespace
