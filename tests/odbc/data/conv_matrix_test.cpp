// The whole conversion matrix: every source family into every C type, with
// the SQLSTATE of each refused pair, and 01004 across the cells of one call.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "convtest.h"

namespace {

enum Family { CHARACTER, WIDE, INTEGER, FLOATING, BINARY, DATE, TIME, TIMESTAMP, kFamilies };
const char *const kFamilyNames[] = {"character", "wide", "integer", "float",
                                    "binary",    "date", "time",    "timestamp"};

// A sample value of the family that every allowed target takes without
// error; the GUID target gets a GUID text (narrow or wide).
SQLRETURN Convert(Family f, SQLSMALLINT cType, void *data, SQLLEN bufLen, SQLLEN *len, int *pending) {
  static const char kGuid[] = "12345678-9abc-DEF0-1234-56789abcdef0";
  static const std::u16string kWide = u"1";
  static const unsigned char kBin[] = {0x5A};
  switch (f) {
    case CHARACTER:
      if (cType == SQL_C_GUID) return ConvertCHAR(kGuid, 36, 36, cType, data, bufLen, len, pending, 0, 0);
      return ConvertCHAR("1", 1, 1, cType, data, bufLen, len, pending, 0, 0);
    case WIDE:
      if (cType == SQL_C_GUID) {
        const std::u16string guid(kGuid, kGuid + 36);
        return ConvertWCHAR(guid.data(), 72, 72, cType, data, bufLen, len, pending, 0, 0);
      }
      return ConvertWCHAR(kWide.data(), 2, 2, cType, data, bufLen, len, pending, 0, 0);
    case INTEGER:
      return ConvertLONG(1, true, cType, data, bufLen, len, pending, 0, 0);
    case FLOATING:
      return ConvertDOUBLE(1.0, cType, data, bufLen, len, pending, 0, 0);
    case BINARY:
      return ConvertBINARY(kBin, 1, 1, cType, data, bufLen, len, pending);
    case DATE:
      return ConvertDATE({2024, 3, 5}, cType, data, bufLen, len, pending);
    case TIME:
      return ConvertTIME({10, 20, 30}, cType, data, bufLen, len, pending);
    default:
      // Midnight: a date target loses nothing.
      return ConvertTIMESTAMP({2024, 3, 5, 0, 0, 0, 0}, cType, data, bufLen, len, pending, 0);
  }
}

constexpr int OK = 0;
constexpr int NO = E_07006;   // restricted data type attribute violation
constexpr int NC = E_S1C00;   // driver not capable

struct Row {
  SQLSMALLINT cType;
  int expect[kFamilies];  // character, wide, integer, float, binary, date, time, timestamp
};

const Row kMatrix[] = {
    {SQL_C_CHAR, {OK, OK, OK, OK, OK, OK, OK, OK}},
    {SQL_C_WCHAR, {OK, OK, OK, OK, OK, OK, OK, OK}},
    {SQL_C_BINARY, {OK, OK, OK, OK, OK, OK, OK, OK}},
    {SQL_C_BIT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_TINYINT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_STINYINT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_UTINYINT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_SHORT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_SSHORT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_USHORT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_LONG, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_SLONG, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_ULONG, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_SBIGINT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_UBIGINT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_FLOAT, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_DOUBLE, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_NUMERIC, {OK, OK, OK, OK, NO, NO, NO, NO}},
    {SQL_C_GUID, {OK, OK, NO, NO, NO, NO, NO, NO}},
    {SQL_C_DATE, {NC, NC, NO, NO, NO, OK, NO, OK}},
    {SQL_C_TYPE_DATE, {NC, NC, NO, NO, NO, OK, NO, OK}},
    {SQL_C_TIME, {NC, NC, NO, NO, NO, NO, OK, OK}},
    {SQL_C_TYPE_TIME, {NC, NC, NO, NO, NO, NO, OK, OK}},
    {SQL_C_TIMESTAMP, {NC, NC, NO, NO, NO, OK, OK, OK}},
    {SQL_C_TYPE_TIMESTAMP, {NC, NC, NO, NO, NO, OK, OK, OK}},
    {SQL_C_INTERVAL_DAY, {NO, NO, NO, NO, NO, NO, NO, NO}},
    {SQL_C_DEFAULT, {NO, NO, NO, NO, NO, NO, NO, NO}},
};

TEST(ConversionMatrix, EverySourceIntoEveryCType) {
  for (const Row &row : kMatrix) {
    for (int f = 0; f < kFamilies; ++f) {
      SCOPED_TRACE(std::string(kFamilyNames[f]) + " -> " + CTypeName(row.cType) + " (" +
                   std::to_string(row.cType) + ")");
      Guarded buf;
      SQLLEN length = -77;
      int pending = 0;
      const SQLRETURN rc = Convert(Family(f), row.cType, buf.bytes, 64, &length, &pending);
      if (row.expect[f] == OK) {
        EXPECT_EQ(rc, SQL_SUCCESS);
        EXPECT_EQ(pending, 0);
        // A fixed-size target gets exactly its size; a text one its text.
        const SQLLEN size = CTypeSize(row.cType);
        if (size > 0) {
          EXPECT_EQ(length, size);
          EXPECT_TRUE(buf.UntouchedFrom(size_t(size)));
        } else {
          EXPECT_GT(length, 0);
          EXPECT_LE(length, 64);
        }
      } else {
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_EQ(pending, row.expect[f]);
        EXPECT_EQ(length, -77);
        EXPECT_TRUE(buf.UntouchedFrom(0));
      }
    }
  }
}

// One fetch converts several cells with one pending code: a truncation of an
// earlier cell keeps every later copy reporting success with information, and
// no later success clears it.
TEST(ConversionMatrix, TruncationIsStickyAcrossCells) {
  int pending = 0;
  char text[4];
  SQLLEN length = 0;
  ASSERT_EQ(ConvertCHAR("abcdef", 6, 6, SQL_C_CHAR, text, 4, &length, &pending, 0, 0),
            SQL_SUCCESS_WITH_INFO);
  ASSERT_EQ(pending, E_01004);

  struct Cell {
    const char *what;
    std::function<SQLRETURN(void *)> convert;
    SQLRETURN rc;
  };
  const Cell cells[] = {
      // Results that pass through a copy rule report the pending truncation.
      {"text into long", [&](void *b) { return ConvertCHAR("5", 1, 1, SQL_C_LONG, b, 4, nullptr, &pending, 0, 0); },
       SQL_SUCCESS_WITH_INFO},
      {"text into double", [&](void *b) { return ConvertCHAR("2.5", 3, 3, SQL_C_DOUBLE, b, 8, nullptr, &pending, 0, 0); },
       SQL_SUCCESS_WITH_INFO},
      {"wide into guid-less bigint", [&](void *b) {
         return ConvertWCHAR(u"7", 2, 2, SQL_C_SBIGINT, b, 8, nullptr, &pending, 0, 0); },
       SQL_SUCCESS_WITH_INFO},
      {"short text that fits", [&](void *b) { return ConvertCHAR("ab", 2, 2, SQL_C_CHAR, b, 8, nullptr, &pending, 0, 0); },
       SQL_SUCCESS_WITH_INFO},
      {"number text", [&](void *b) { return ConvertLONG(42, true, SQL_C_CHAR, b, 8, nullptr, &pending, 0, 0); },
       SQL_SUCCESS_WITH_INFO},
      {"date text", [&](void *b) { return ConvertDATE({2024, 1, 2}, SQL_C_CHAR, b, 16, nullptr, &pending); },
       SQL_SUCCESS_WITH_INFO},
      {"binary", [&](void *b) { return ConvertBINARY("\x01", 1, 1, SQL_C_BINARY, b, 8, nullptr, &pending); },
       SQL_SUCCESS_WITH_INFO},
      // Values stored directly into their structure report their own result.
      {"long into long", [&](void *b) { return ConvertLONG(42, true, SQL_C_LONG, b, 4, nullptr, &pending, 0, 0); },
       SQL_SUCCESS},
      {"date into date", [&](void *b) { return ConvertDATE({2024, 1, 2}, SQL_C_TYPE_DATE, b, 6, nullptr, &pending); },
       SQL_SUCCESS},
  };
  for (const Cell &c : cells) {
    SCOPED_TRACE(c.what);
    unsigned char buf[32];
    EXPECT_EQ(c.convert(buf), c.rc);
    EXPECT_EQ(pending, E_01004);
  }
  // The parsers do not clear it either.
  int64_t v = 0;
  EXPECT_EQ(CharToNumber("9", 1, 0, 9, &v, &pending), SQL_SUCCESS);
  SQLGUID g;
  EXPECT_EQ(CharToGUID("12345678-9abc-DEF0-1234-56789abcdef0", 36, &g, &pending), SQL_SUCCESS);
  EXPECT_EQ(pending, E_01004);
}

}  // namespace
