// Column type mapping: how a described Oracle column becomes a ColDesc and
// an OCI define, including the NUMBER rules with and without JET and the
// marker flag.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ora8/db-fetch.h"
#include "drv_ora8/o-typemap.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "variant.h"

namespace {

struct Described {
  uint16_t oraType;
  uint16_t size;
  int16_t precision;
  int8_t scale;
  const char *name = "COL";
  uint16_t charSize = 0;  // set: the length counts characters
};

struct Mapped {
  int32_t sqlType;
  uint32_t columnSize;
  int16_t decimalDigits;
  int32_t displaySize;
  int32_t valueType;
  uint32_t octetLength;
  int16_t extType;
};

struct MapCase {
  const char *what;
  Described in;
  int jet, marker;
  Mapped out;
};

Mapped Map(const Described &d, int jet, int marker, int wide, int32_t *rc = nullptr, ColDesc *keep = nullptr) {
  OciColDesc r{};
  r.oraType = d.oraType;
  r.size = d.size;
  r.precision = d.precision;
  r.scale = d.scale;
  r.nullable = 1;
  r.charUsed = d.charSize ? 1 : 0;
  r.charSize = d.charSize;
  snprintf(r.name, sizeof r.name, "%s", d.name);
  ColDesc cd{};
  int32_t res = db_ColDescMap(&cd, 3, &r, jet, marker, wide);
  if (rc) *rc = res;
  Mapped m{cd.sqlType, cd.columnSize, cd.decimalDigits, cd.displaySize, cd.valueType, cd.octetLength, r.extType};
  if (keep)
    *keep = cd;
  else
    free(cd.fullName);
  return m;
}

void ExpectMapped(const MapCase &c, int wide) {
  int32_t rc = -1;
  Mapped m = Map(c.in, c.jet, c.marker, wide, &rc);
  SCOPED_TRACE(c.what);
  EXPECT_EQ(0, rc);
  EXPECT_EQ(c.out.sqlType, m.sqlType);
  EXPECT_EQ(c.out.columnSize, m.columnSize);
  EXPECT_EQ(c.out.decimalDigits, m.decimalDigits);
  EXPECT_EQ(c.out.displaySize, m.displaySize);
  EXPECT_EQ(c.out.valueType, m.valueType);
  EXPECT_EQ(c.out.octetLength, m.octetLength);
  EXPECT_EQ(c.out.extType, m.extType);
}

// NUMBER(p, s) as OCI describes it: size 22; scale -127 without precision
// and for FLOAT.
Described Num(int16_t p, int8_t s, const char *name = "N") { return {SQLT_NUM, 22, p, s, name}; }

TEST(TypeMap, NumberRules) {
  const MapCase cases[] = {
      {"NUMBER(5) is INTEGER", Num(5, 0), 0, 0, {4, 5, 0, 7, VT_SLONG, 4, SQLT_INT}},
      {"NUMBER(2) is TINYINT", Num(2, 0), 0, 0, {-6, 2, 0, 4, VT_STINYINT, 1, SQLT_INT}},
      {"NUMBER(4) is SMALLINT", Num(4, 0), 0, 0, {5, 4, 0, 6, VT_SSHORT, 2, SQLT_INT}},
      {"NUMBER(9) is INTEGER", Num(9, 0), 0, 0, {4, 9, 0, 11, VT_SLONG, 4, SQLT_INT}},
      {"NUMBER(10) stays DECIMAL", Num(10, 0), 0, 0, {3, 10, 0, 12, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(10) with JET is INTEGER", Num(10, 0), 1, 0, {4, 10, 0, 12, VT_SLONG, 4, SQLT_INT}},
      {"NUMBER(10) with the marker is DOUBLE", Num(10, 0), 0, 1, {8, 15, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(15) with JET is DOUBLE", Num(15, 0), 1, 0, {8, 15, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(20) with JET is DOUBLE", Num(20, 0), 1, 0, {8, 15, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(20) with JET and the marker stays DECIMAL", Num(20, 0), 1, 1, {3, 20, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(20) with the marker stays DECIMAL", Num(20, 0), 0, 1, {3, 20, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(38) stays DECIMAL", Num(38, 0), 0, 0, {3, 38, 0, 40, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(10,2) stays DECIMAL", Num(10, 2), 0, 0, {3, 10, 2, 12, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER(10,2) with JET is DOUBLE", Num(10, 2), 1, 0, {8, 15, 2, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"NUMBER without precision is DOUBLE", Num(0, -127), 0, 0, {8, 15, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"FLOAT(50) is DOUBLE", Num(50, -127), 0, 0, {8, 15, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"FLOAT(126) is VARCHAR of 38 digits", Num(126, -127), 0, 0, {12, 38, 0, 40, VT_VARCHAR2, 64, SQLT_VNU}},
      {"FLOAT(126) with JET is DOUBLE", Num(126, -127), 1, 0, {8, 15, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"COUNT(*) is INTEGER", Num(0, 0, "COUNT(*)"), 0, 0, {4, 10, 0, 2, VT_SLONG, 4, SQLT_INT}},
      {"precision 0 scale 0 with JET is DOUBLE", Num(0, 0, "SUM(X)"), 1, 0, {8, 15, 0, 22, VT_VARCHAR2, 64, SQLT_VNU}},
      {"precision 0 scale 0 is DECIMAL(38)", Num(0, 0, "SUM(X)"), 0, 0, {3, 38, 0, 40, VT_VARCHAR2, 64, SQLT_VNU}},
  };
  for (const MapCase &c : cases) {
    ExpectMapped(c, 0);
    ExpectMapped(c, 1);  // numbers travel the same way in the wide mode
  }
}

TEST(TypeMap, OtherTypesNarrowAndWide) {
  const bool uni = g_driverVariant.unicode;
  struct Case {
    const char *what;
    Described in;
    Mapped narrow, wide;
  };
  const Case cases[] = {
      {"VARCHAR2(10)", {SQLT_CHR, 10, 0, 0}, {12, 10, 0, 10, VT_VARCHAR2, 10, SQLT_VCS}, {-9, 10, 0, 10, VT_WVARCHAR4, 10, SQLT_VCS}},
      {"CHAR(5)", {SQLT_AFC, 5, 0, 0}, {1, 5, 0, 5, VT_CHAR, 5, SQLT_AFC}, {-8, 5, 0, 5, VT_WVARCHAR4, 5, SQLT_VCS}},
      // Character semantics: sizes in characters; a fixed-width value has no
      // fixed byte length, so it travels with its own (UTF-8 takes up to four
      // bytes a character, UTF-16 at most the byte size in units).
      {"CHAR(6 CHAR)", {SQLT_AFC, 24, 0, 0, "COL", 6}, {1, 6, 0, 6, VT_VARCHAR2, 24, SQLT_VCS},
       {-8, 6, 0, 6, VT_WVARCHAR4, 24, SQLT_VCS}},
      {"NCHAR(6)", {SQLT_AFC, 12, 0, 0, "COL", 6}, {1, 6, 0, 6, VT_VARCHAR2, 24, SQLT_VCS},
       {-8, 6, 0, 6, VT_WVARCHAR4, 12, SQLT_VCS}},
      {"NVARCHAR2(6)", {SQLT_CHR, 12, 0, 0, "COL", 6}, {12, 6, 0, 6, VT_VARCHAR2, 24, SQLT_VCS},
       {-9, 6, 0, 6, VT_WVARCHAR4, 12, SQLT_VCS}},
      {"VARCHAR2(3 CHAR)", {SQLT_CHR, 12, 0, 0, "COL", 3}, {12, 3, 0, 3, VT_VARCHAR2, 12, SQLT_VCS},
       {-9, 3, 0, 3, VT_WVARCHAR4, 12, SQLT_VCS}},
      {"LONG", {SQLT_LNG, 0, 0, 0}, {-1, 2147483643u, 0, 2147483643, VT_LONGCHAR, 0, SQLT_LNG},
       {-10, 2147483643u, 0, 2147483643, VT_LONGWCHAR, 0, SQLT_LNG}},
      {"CLOB", {SQLT_CLOB, 4000, 0, 0}, {-1, 0xFFFFFFFFu, 0, -1, VT_LONGCHAR, 0, SQLT_CLOB},
       {-10, 0xFFFFFFFFu, 0, -1, VT_LONGWCHAR, 0, SQLT_CLOB}},
      {"RAW(4)", {SQLT_BIN, 4, 0, 0}, {-3, 4, 0, 4, VT_VARBIN2, 4, SQLT_VBI}, {-3, 4, 0, 4, VT_VARBIN2, 4, SQLT_VBI}},
      {"LONG RAW", {SQLT_LBI, 0, 0, 0}, {-4, 2147483643u, 0, -10, VT_LONGBINARY, 0, SQLT_LBI},
       {-4, 2147483643u, 0, -10, VT_LONGBINARY, 0, SQLT_LBI}},
      {"BLOB", {SQLT_BLOB, 4000, 0, 0}, {-4, 0xFFFFFFFFu, 0, -2, VT_LONGBINARY, 0, SQLT_BLOB},
       {-4, 0xFFFFFFFFu, 0, -2, VT_LONGBINARY, 0, SQLT_BLOB}},
      {"DATE", {SQLT_DAT, 7, 0, 0}, {11, 19, 0, 19, VT_TIMESTAMP, 16, SQLT_DAT}, {11, 19, 0, 19, VT_TIMESTAMP, 16, SQLT_DAT}},
      {"TIMESTAMP", {SQLT_TIMESTAMP, 11, 0, 6}, {11, 29, 9, 29, VT_TIMESTAMP, 16, SQLT_TIMESTAMP},
       {11, 29, 9, 29, VT_TIMESTAMP, 16, SQLT_TIMESTAMP}},
      {"BINARY_FLOAT", {SQLT_IBFLOAT, 4, 0, 0}, {6, 7, 0, 13, VT_FLOAT, 4, SQLT_BFLOAT}, {6, 7, 0, 13, VT_FLOAT, 4, SQLT_BFLOAT}},
      {"BINARY_DOUBLE", {SQLT_IBDOUBLE, 8, 0, 0}, {8, 15, 0, 22, VT_DOUBLE, 8, SQLT_BDOUBLE},
       {8, 15, 0, 22, VT_DOUBLE, 8, SQLT_BDOUBLE}},
      {"ROWID", {SQLT_RDD, 10, 0, 0}, {12, 20, 0, 20, VT_STRING, 20, SQLT_AVC}, {-9, 20, 0, 20, VT_STRING, 20, SQLT_AVC}},
      {"cursor", {SQLT_RSET, 0, 0, 0}, {-2, 2, 0, 2, VT_BINARY, 2, SQLT_RSET}, {-2, 2, 0, 2, VT_BINARY, 2, SQLT_RSET}},
  };
  for (const Case &c : cases) {
    ExpectMapped({c.what, c.in, 0, 0, c.narrow}, 0);
    // The wide rows: in the ANSI build no connection is ever wide, and its
    // value-type table has no wide types.
    if (uni) ExpectMapped({c.what, c.in, 0, 0, c.wide}, 1);
  }
}

TEST(TypeMap, NamesNullabilityAndUpdatability) {
  ColDesc cd{};
  Map({SQLT_CHR, 10, 0, 0, ""}, 0, 0, 0, nullptr, &cd);
  EXPECT_STREQ("EXPR_3", cd.name);  // unnamed expression in the third position
  EXPECT_STREQ("EXPR_3", cd.fullName);
  EXPECT_EQ(1u | (3u << kColDescUpdatableShift), cd.flags);  // nullable, updatability unknown
  free(cd.fullName);

  const std::string fifty(50, 'X');
  cd = ColDesc{};
  Map({SQLT_CHR, 10, 0, 0, fifty.c_str()}, 0, 0, 0, nullptr, &cd);
  EXPECT_EQ(std::string(40, 'X'), cd.name);
  EXPECT_EQ(fifty, cd.fullName);
  free(cd.fullName);

  // The short name never ends inside a character.
  const std::string accents = std::string(39, 'A') + "\xC3\xA9" + "B";
  cd = ColDesc{};
  Map({SQLT_CHR, 10, 0, 0, accents.c_str()}, 0, 0, 0, nullptr, &cd);
  EXPECT_EQ(std::string(39, 'A'), cd.name);
  EXPECT_EQ(accents, cd.fullName);
  free(cd.fullName);

  // ROWID is read-only.
  cd = ColDesc{};
  Map({SQLT_RDD, 10, 0, 0, "ROWID"}, 0, 0, 0, nullptr, &cd);
  EXPECT_EQ(1u | (1u << kColDescUpdatableShift), cd.flags);
  free(cd.fullName);

  // Procedure arguments keep the caller's full name and get their mode tag.
  struct Arg {
    uint16_t position;
    int32_t io;
    const char *tag;
  };
  for (const Arg &a : {Arg{0, 0, "*O"}, Arg{1, 1, "*O"}, Arg{1, 0, "*I"}, Arg{2, 2, "*B"}}) {
    OciColDesc r{};
    r.oraType = SQLT_CHR;
    r.size = 5;
    r.position = a.position;
    r.ioMode = a.io;
    ColDesc arg{};
    snprintf(arg.name, sizeof arg.name, "*ARG");
    arg.fullName = strdup("P_ARG");
    EXPECT_EQ(0, db_ColDescMap(&arg, 1, &r, 0, 0, 0));
    EXPECT_STREQ(a.tag, arg.name);
    EXPECT_STREQ("P_ARG", arg.fullName);
    free(arg.fullName);
  }
}

TEST(TypeMap, UnsupportedTypesFail) {
  for (uint16_t t : {SQLT_TIMESTAMP_TZ, SQLT_INTERVAL_DS, SQLT_BFILEE, SQLT_RID, SQLT_NTY, SQLT_REF}) {
    int32_t rc = 0;
    Map({t, 10, 0, 0}, 0, 0, 0, &rc);
    EXPECT_EQ(E_S1000, rc) << t;
  }
}

TEST(TypeMap, TableLookups) {
  int32_t vt = 0;
  int16_t ext = 0;
  uint32_t nb = 9;
  db_OraTypeToExt(0, 188, &vt, &ext, &nb);  // not in the table: itself, no value type
  EXPECT_EQ(kNoType, vt);
  EXPECT_EQ(188, ext);
  EXPECT_EQ(0u, nb);
  db_OraTypeToExt(1, SQLT_CHR, &vt, &ext, &nb);
  EXPECT_EQ(VT_WVARCHAR4, vt);
  EXPECT_EQ(1u, nb);

  const bool uni = g_driverVariant.unicode;
  struct Row {
    int32_t vt;
    int16_t ext;
    uint32_t needs;
  };
  for (const Row &r : {Row{VT_CHAR, SQLT_AFC, 0}, Row{VT_ULONG, SQLT_UIN, 0}, Row{VT_DATE, SQLT_DAT, 1},
                       Row{VT_TIME, kNoType, 0}, Row{VT_VARCHAR1, kNoType, 0}, Row{VT_VARBIN4, SQLT_LBI, 0},
                       Row{VT_LONGBINARY, SQLT_LBI, 1}, Row{0, kNoType, 0},
                       Row{VT_WVARCHAR4, uni ? int16_t(SQLT_LVC) : kNoType, 0}}) {
    db_ValueTypeToExt(r.vt, &ext, &nb);
    EXPECT_EQ(r.ext, ext) << r.vt;
    EXPECT_EQ(r.needs, nb) << r.vt;
  }

  // Binds come from the same table: the same types, but for binary after a
  // 4-byte length, bound with its prefix so that each row of an array keeps
  // its own length. Fixed character values (narrow and wide) are bound as
  // fixed text whatever the row count.
  for (const Row &r : {Row{VT_CHAR, SQLT_AFC, 0}, Row{VT_VARBIN4, SQLT_LVB, 0},
                       Row{VT_WCHAR, uni ? int16_t(SQLT_AFC) : kNoType, 0}, Row{VT_STRING, SQLT_AVC, 0},
                       Row{VT_DATE, SQLT_DAT, 0}, Row{VT_TIME, SQLT_DAT, 0}, Row{0, kNoType, 0}}) {
    EXPECT_EQ(r.ext, db_ValueTypeToBindExt(r.vt)) << r.vt;
  }
  for (const ExtTypeRow *t = ExtTypeByValueType; t->valueType != 0; ++t) {
    if (t->valueType == VT_VARBIN4 || t->valueType == VT_TIME) continue;
    EXPECT_EQ(t->extType, t->bindExtType) << t->valueType;
  }

  unsigned char d[7];
  const int16_t date[3] = {2024, 2, 29};
  db_OraDateFromDate(d, date);
  const unsigned char want[7] = {120, 124, 2, 29, 1, 1, 1};
  EXPECT_EQ(0, memcmp(want, d, 7));
  // A time of day lands on the given day, each field plus one.
  const uint16_t time[3] = {23, 59, 7};
  unsigned char t[7];
  db_OraDateFromTime(t, want, time);
  const unsigned char wantTime[7] = {120, 124, 2, 29, 24, 60, 8};
  EXPECT_EQ(0, memcmp(wantTime, t, 7));
}

// Oracle's NUMBER bytes (exponent byte, then base-100 digits, each plus one
// for positive values; 101 minus the digit and a 102 terminator for negative
// ones) as exact decimal text.
TEST(TypeMap, NumberTextIsExact) {
  struct Case {
    const char *what;
    std::vector<unsigned char> bytes;
    const char *text;  // nullptr: not a NUMBER
  };
  const Case cases[] = {
      {"zero", {0x80}, "0"},
      {"one", {0xC1, 2}, "1"},
      {"hundred", {0xC2, 2}, "100"},
      {"0.1 stays 0.1", {0xC0, 11}, "0.1"},
      {"12.5", {0xC1, 13, 51}, "12.5"},
      {"-3.14", {62, 98, 87, 102}, "-3.14"},
      {"-1 without terminator room", {0x3E, 100}, "-1"},
      {"18 digits", {0xC9, 13, 35, 57, 79, 91, 13, 35, 57, 79}, "123456789012345678"},
      {"38 digits",
       {0xD3, 13, 35, 57, 79, 91, 13, 35, 57, 79, 91, 13, 35, 57, 79, 91, 13, 35, 57, 79},
       "12345678901234567890123456789012345678"},
      {"smallest positive: exponent form", {0x80, 2}, "1E-130"},
      {"1E+125 is too long written out", {0xFF, 11}, "1E+125"},
      {"0.0001", {0xBF, 2}, "0.0001"},
      {"a digit byte out of range", {0xC1, 0}, nullptr},
      {"no mantissa", {0xC1}, nullptr},
      {"nothing", {}, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    char out[kOraNumberTextMax];
    const size_t n = db_OraNumberText(c.bytes.data(), c.bytes.size(), out);
    if (!c.text) {
      EXPECT_EQ(0u, n);
      continue;
    }
    EXPECT_EQ(std::string(c.text), std::string(out, n));
  }
}

}  // namespace
