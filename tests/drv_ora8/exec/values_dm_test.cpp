// Values as they were stored, read back through unixODBC with both drivers
// and both ODBC versions on the real agent over a database of the OCI
// stand-in: every column type with ASCII and multi-byte text, NULL and the
// extremes of its range, read as each C type ODBC allows for it, with the
// exact value, its length and the SQLSTATE where a conversion cuts or fails.
// Also: sizes of character-semantics columns in characters, a failed
// SQLGetData that leaves the column readable, and TIME parameters.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "dm_db.h"
#include "harness.h"

namespace {

using dm_db::Database;

SQLCHAR *Text(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }

// What one SQLGetData gave: the value as text (see Format), its length or
// indicator, the return code and the first SQLSTATE.
struct Got {
  SQLRETURN rc = SQL_ERROR;
  std::string state;
  std::string value;
  SQLLEN ind = 0;
};

std::string Hex(const unsigned char *p, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

template <class T>
std::string Shortest(T v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// An SQL_NUMERIC_STRUCT as "precision,scale,sign digits".
std::string NumericText(const SQL_NUMERIC_STRUCT &n) {
  unsigned char v[16];
  memcpy(v, n.val, 16);
  std::string digits;
  bool zero = false;
  while (!zero) {
    // Divide the 128-bit little-endian value by ten.
    unsigned rem = 0;
    zero = true;
    for (int i = 15; i >= 0; --i) {
      const unsigned cur = rem * 256 + v[i];
      v[i] = static_cast<unsigned char>(cur / 10);
      rem = cur % 10;
      if (v[i]) zero = false;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + rem));
  }
  return std::to_string(n.precision) + "," + std::to_string(n.scale) + "," + (n.sign ? "+" : "-") + digits;
}

// The value of a C type as text.
std::string Format(SQLSMALLINT cType, const unsigned char *buf, SQLLEN ind) {
  auto as = [&](auto v) {
    memcpy(&v, buf, sizeof v);
    return v;
  };
  char text[64];
  switch (cType) {
    case SQL_C_CHAR:
      return std::string(reinterpret_cast<const char *>(buf));
    case SQL_C_WCHAR: {
      size_t units = 0;
      while (reinterpret_cast<const SQLWCHAR *>(buf)[units]) ++units;
      return harness::FromW(reinterpret_cast<const SQLWCHAR *>(buf), units);
    }
    case SQL_C_BINARY:
      return Hex(buf, static_cast<size_t>(ind));
    case SQL_C_SBIGINT: return std::to_string(as(int64_t{}));
    case SQL_C_UBIGINT: return std::to_string(as(uint64_t{}));
    case SQL_C_SLONG: return std::to_string(as(int32_t{}));
    case SQL_C_ULONG: return std::to_string(as(uint32_t{}));
    case SQL_C_SSHORT: return std::to_string(as(int16_t{}));
    case SQL_C_USHORT: return std::to_string(as(uint16_t{}));
    case SQL_C_STINYINT: return std::to_string(as(int8_t{}));
    case SQL_C_UTINYINT: return std::to_string(as(uint8_t{}));
    case SQL_C_BIT: return std::to_string(as(uint8_t{}));
    case SQL_C_DOUBLE: return Shortest(as(double{}));
    case SQL_C_FLOAT: return Shortest(as(float{}));
    case SQL_C_NUMERIC: return NumericText(as(SQL_NUMERIC_STRUCT{}));
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
      auto d = as(SQL_DATE_STRUCT{});
      snprintf(text, sizeof text, "%04d-%02u-%02u", d.year, d.month, d.day);
      return text;
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
      auto t = as(SQL_TIME_STRUCT{});
      snprintf(text, sizeof text, "%02u:%02u:%02u", t.hour, t.minute, t.second);
      return text;
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
      auto t = as(SQL_TIMESTAMP_STRUCT{});
      snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%09u", t.year, t.month, t.day, t.hour, t.minute,
               t.second, static_cast<unsigned>(t.fraction));
      return text;
    }
    case SQL_C_GUID: {
      auto g = as(SQLGUID{});
      snprintf(text, sizeof text, "%08X-%04X-%04X-", static_cast<unsigned>(g.Data1), g.Data2, g.Data3);
      return text + Hex(g.Data4, 2) + "-" + Hex(g.Data4 + 2, 6);
    }
    default:
      return "?";
  }
}

// The length a value of the C type reports.
SQLLEN LengthOf(SQLSMALLINT cType, const std::string &value) {
  switch (cType) {
    case SQL_C_CHAR: return static_cast<SQLLEN>(value.size());
    case SQL_C_WCHAR: return static_cast<SQLLEN>(2 * harness::ToW(value).size());
    case SQL_C_BINARY: return static_cast<SQLLEN>(value.size() / 2);
    case SQL_C_SBIGINT: case SQL_C_UBIGINT: case SQL_C_DOUBLE: return 8;
    case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT: return 4;
    case SQL_C_SSHORT: case SQL_C_USHORT: return 2;
    case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT: return 1;
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_DATE: case SQL_C_TYPE_DATE: case SQL_C_TIME: case SQL_C_TYPE_TIME: return 6;
    case SQL_C_GUID: return sizeof(SQLGUID);
    default: return 16;
  }
}

std::string FirstState(SQLHSTMT h) {
  auto recs = harness::DmDiags(SQL_HANDLE_STMT, h);
  return recs.empty() ? "" : recs[0].state;
}

Got Read(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT cType, SQLLEN bufLen = 256) {
  unsigned char buf[256];
  memset(buf, 0, sizeof buf);
  Got g;
  g.rc = SQLGetData(h, col, cType, buf, bufLen, &g.ind);
  if (g.rc != SQL_SUCCESS) g.state = FirstState(h);
  if (SQL_SUCCEEDED(g.rc) && g.ind != SQL_NULL_DATA) g.value = Format(cType, buf, g.ind);
  return g;
}

// The names of the SQLSTATEs an ODBC 2 application sees.
std::string StateFor(int version, const std::string &state) {
  if (version == 3 || state.empty()) return state;
  if (state == "22018") return "22005";
  if (state.compare(0, 2, "HY") == 0) return "S1" + state.substr(2);
  return state;
}

// The date/time C types by ODBC version.
SQLSMALLINT CTypeFor(int version, SQLSMALLINT cType) {
  if (version == 3) return cType;
  switch (cType) {
    case SQL_C_TYPE_DATE: return SQL_C_DATE;
    case SQL_C_TYPE_TIME: return SQL_C_TIME;
    case SQL_C_TYPE_TIMESTAMP: return SQL_C_TIMESTAMP;
    default: return cType;
  }
}

constexpr const char *kNull = "<NULL>";

// One read of a stored value: the C type, the value (kNull for
// SQL_NULL_DATA; ignored on failure) and the SQLSTATE ("" for
// SQL_SUCCESS; a 01 state is SQL_SUCCESS_WITH_INFO, any other SQL_ERROR).
struct ReadCase {
  SQLSMALLINT cType;
  const char *value;
  const char *state = "";
};

struct ValueCase {
  const char *literal;  // as inserted
  std::vector<ReadCase> reads;
};

struct ColumnCase {
  const char *decl;
  SQLULEN size;  // SQLDescribeCol's column size
  std::vector<ValueCase> values;
};

// Types, stored values and their readings; the same in both drivers.
const std::vector<ColumnCase> &Columns() {
  static const std::vector<ColumnCase> cases = {
      {"char(6)", 6,
       {{"'ab'", {{SQL_C_CHAR, "ab    "}, {SQL_C_WCHAR, "ab    "}}},
        // Byte semantics: the two bytes of 'é' leave room for four blanks.
        {"'é'", {{SQL_C_CHAR, "é    "}, {SQL_C_WCHAR, "é    "}}},
        {"'abcdef'", {{SQL_C_CHAR, "abcdef"}, {SQL_C_SLONG, "", "22018"}}},
        // Blanks around an integer are allowed; a floating-point text must
        // end with its number.
        {"' 42'", {{SQL_C_SLONG, "42"}, {SQL_C_DOUBLE, "", "22018"}}},
        {"null", {{SQL_C_CHAR, kNull}, {SQL_C_SLONG, kNull}}}}},
      {"char(6 char)", 6,
       {{"'ab'", {{SQL_C_CHAR, "ab    "}, {SQL_C_WCHAR, "ab    "}}},
        {"'a\xF0\x9F\x98\x80'", {{SQL_C_CHAR, "a\xF0\x9F\x98\x80    "}, {SQL_C_WCHAR, "a\xF0\x9F\x98\x80    "}}},
        {"'日本語'", {{SQL_C_CHAR, "日本語   "}, {SQL_C_WCHAR, "日本語   "}}},
        {"'éééééé'", {{SQL_C_CHAR, "éééééé"}, {SQL_C_WCHAR, "éééééé"}}},
        {"null", {{SQL_C_WCHAR, kNull}}}}},
      {"nchar(6)", 6,
       {{"N'ab'", {{SQL_C_CHAR, "ab    "}, {SQL_C_WCHAR, "ab    "}}},
        {"N'é'", {{SQL_C_CHAR, "é     "}, {SQL_C_WCHAR, "é     "}}},
        {"N'日本語日本語'", {{SQL_C_WCHAR, "日本語日本語"}}}}},
      {"varchar2(6 char)", 6,
       {{"'日本語'", {{SQL_C_CHAR, "日本語"}, {SQL_C_WCHAR, "日本語"}, {SQL_C_SLONG, "", "22018"}}},
        {"'é\xF0\x9F\x98\x80'", {{SQL_C_CHAR, "é\xF0\x9F\x98\x80"}, {SQL_C_WCHAR, "é\xF0\x9F\x98\x80"}}},
        {"'12345678-9abc-def0-1234-56789abcdef0'", {}},  // too long: refused at insert
        {"'-17'", {{SQL_C_SLONG, "-17"}, {SQL_C_STINYINT, "-17"}, {SQL_C_BIT, "", "22003"}}}}},
      {"varchar2(40)", 40,
       {{"'12345678-9abc-def0-1234-56789abcdef0'",
         {{SQL_C_GUID, "12345678-9ABC-DEF0-1234-56789ABCDEF0"}, {SQL_C_CHAR, "12345678-9abc-def0-1234-56789abcdef0"}}},
        {"'2026-01-15'", {{SQL_C_CHAR, "2026-01-15"}}}}},
      {"nvarchar2(6)", 6, {{"N'日本語abc'", {{SQL_C_CHAR, "日本語abc"}, {SQL_C_WCHAR, "日本語abc"}}}}},
      {"number", 15,
       {{"123456789012345678",
         {{SQL_C_CHAR, "123456789012345678"},
          {SQL_C_WCHAR, "123456789012345678"},
          {SQL_C_SBIGINT, "123456789012345678"},
          {SQL_C_UBIGINT, "123456789012345678"},
          {SQL_C_NUMERIC, "18,0,+123456789012345678"},
          {SQL_C_DOUBLE, "123456789012345680"},
          {SQL_C_SLONG, "", "22003"}}},
        {"0.1",
         {{SQL_C_CHAR, "0.1"}, {SQL_C_DOUBLE, "0.1"}, {SQL_C_FLOAT, "0.1"}, {SQL_C_SBIGINT, "0", "01S07"}}},
        // The literal's minus applies to 9223372036854775808, beyond what the
        // embedded default keeps exactly: the lowest it takes.
        {"-9223372036854775807", {{SQL_C_SBIGINT, "-9223372036854775807"}, {SQL_C_CHAR, "-9223372036854775807"},
                                  {SQL_C_UBIGINT, "", "22003"}}},
        {"9223372036854775807", {{SQL_C_SBIGINT, "9223372036854775807"}, {SQL_C_CHAR, "9223372036854775807"}}},
        {"round(3.14159, 2)", {{SQL_C_CHAR, "3.14"}, {SQL_C_WCHAR, "3.14"}, {SQL_C_DOUBLE, "3.14"}}},
        {"-0.000123", {{SQL_C_CHAR, "-0.000123"}}},
        {"null", {{SQL_C_SBIGINT, kNull}, {SQL_C_CHAR, kNull}}}}},
      {"number(10,2)", 10,
       {{"12345678.91",
         {{SQL_C_CHAR, "12345678.91"},
          {SQL_C_DOUBLE, "12345678.91"},
          {SQL_C_SLONG, "12345678", "01S07"},
          {SQL_C_NUMERIC, "10,0,+12345678", "01S07"}}},
        {"-0.5", {{SQL_C_CHAR, "-0.5"}, {SQL_C_SSHORT, "0", "01S07"}}}}},
      {"number(38)", 38,
       {{"123456789012345678", {{SQL_C_CHAR, "123456789012345678"}, {SQL_C_SBIGINT, "123456789012345678"},
                                {SQL_C_NUMERIC, "18,0,+123456789012345678"}}},
        {"-1", {{SQL_C_UBIGINT, "", "22003"}, {SQL_C_SLONG, "-1"}}},
        // Each integer type's edges, v and v + 1 (or v - 1).
        {"2147483647", {{SQL_C_SLONG, "2147483647"}, {SQL_C_SSHORT, "", "22003"}}},
        {"2147483648", {{SQL_C_SLONG, "", "22003"}, {SQL_C_ULONG, "2147483648"}}},
        {"4294967296", {{SQL_C_ULONG, "", "22003"}, {SQL_C_SBIGINT, "4294967296"}}},
        {"-2147483648", {{SQL_C_SLONG, "-2147483648"}, {SQL_C_ULONG, "", "22003"}}},
        {"-2147483649", {{SQL_C_SLONG, "", "22003"}, {SQL_C_SBIGINT, "-2147483649"}}},
        {"-32768", {{SQL_C_SSHORT, "-32768"}, {SQL_C_USHORT, "", "22003"}}},
        {"65535", {{SQL_C_USHORT, "65535"}, {SQL_C_SSHORT, "", "22003"}}},
        {"65536", {{SQL_C_USHORT, "", "22003"}}},
        {"-128", {{SQL_C_STINYINT, "-128"}, {SQL_C_UTINYINT, "", "22003"}}},
        {"-129", {{SQL_C_STINYINT, "", "22003"}, {SQL_C_SSHORT, "-129"}}},
        {"255", {{SQL_C_UTINYINT, "255"}, {SQL_C_STINYINT, "", "22003"}, {SQL_C_BIT, "", "22003"}}},
        {"256", {{SQL_C_UTINYINT, "", "22003"}}},
        {"1", {{SQL_C_BIT, "1"}, {SQL_C_UTINYINT, "1"}}},
        {"-999999999999999999", {{SQL_C_SBIGINT, "-999999999999999999"}, {SQL_C_SLONG, "", "22003"}}},
        {"1234567890123456789", {{SQL_C_SBIGINT, "1234567890123456789"}, {SQL_C_UBIGINT, "1234567890123456789"}}}}},
      {"float", 38, {{"1.5", {{SQL_C_CHAR, "1.5"}, {SQL_C_DOUBLE, "1.5"}}}}},
      {"binary_float", 7,
       {{"0.1", {{SQL_C_CHAR, "0.1"}, {SQL_C_FLOAT, "0.1"}, {SQL_C_DOUBLE, "0.10000000149011612"}}}}},
      {"binary_double", 15,
       {{"0.1", {{SQL_C_CHAR, "0.1"}, {SQL_C_DOUBLE, "0.1"}}},
        {"1e300", {{SQL_C_CHAR, "1e+300"}, {SQL_C_FLOAT, "", "22003"}}}}},
      {"date", 19,
       {{"to_date('2026-01-15 10:20:30', 'YYYY-MM-DD HH24:MI:SS')",
         {{SQL_C_CHAR, "2026-01-15 10:20:30"},
          {SQL_C_TYPE_TIMESTAMP, "2026-01-15 10:20:30.000000000"},
          {SQL_C_TYPE_DATE, "2026-01-15", "01S07"},
          {SQL_C_TYPE_TIME, "10:20:30"},
          {SQL_C_SLONG, "", "07006"}}},
        {"to_date('2026-01-15', 'YYYY-MM-DD')", {{SQL_C_TYPE_DATE, "2026-01-15"}}}}},
      {"timestamp(6)", 29,
       {{"to_timestamp('2026-01-15 10:20:30.123456', 'YYYY-MM-DD HH24:MI:SS.FF')",
         {{SQL_C_TYPE_TIMESTAMP, "2026-01-15 10:20:30.123456000"},
          {SQL_C_TYPE_TIME, "10:20:30", "01S07"},
          {SQL_C_TYPE_DATE, "2026-01-15", "01S07"}}}}},
      {"raw(4)", 4,
       {{"hextoraw('DEADBEEF')",
         {{SQL_C_BINARY, "DEADBEEF"}, {SQL_C_CHAR, "DEADBEEF"}, {SQL_C_WCHAR, "DEADBEEF"}, {SQL_C_SLONG, "", "07006"}}},
        {"null", {{SQL_C_BINARY, kNull}}}}},
  };
  return cases;
}

// Parameters: the DSN of one driver and the ODBC version.
class DmValues : public ::testing::TestWithParam<std::tuple<const char *, int>> {
 protected:
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;

  const char *Dsn() const { return std::get<0>(GetParam()); }
  int Version() const { return std::get<1>(GetParam()); }
  std::string T(int n) const {
    return "fv" + std::to_string(n) + (std::strcmp(Dsn(), "kvd_fv_w") ? "_a" : "_w") + std::to_string(Version());
  }

  void SetUp() override {
    ASSERT_FALSE(Database().empty());
    harness::DmInit({{"kvd_fv_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                     {"kvd_fv_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}}});
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(Version() == 3 ? SQL_OV_ODBC3 : SQL_OV_ODBC2)), 0);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    SQLRETURN rc = SQLConnect(dbc, Text(Dsn()), SQL_NTS, Text("scott"), SQL_NTS, Text("tiger"), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  }
  void TearDown() override {
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  bool Unicode() const { return std::strcmp(Dsn(), "kvd_fv_w") == 0; }
  // Statement text reaches the Unicode driver as UTF-16 (the Driver
  // Manager would widen narrow text byte by byte).
  SQLRETURN Exec(SQLHSTMT h, const std::string &sql) {
    if (!Unicode()) return SQLExecDirect(h, Text(sql), SQL_NTS);
    auto w = harness::ToW(sql);
    return SQLExecDirectW(h, w.data(), SQL_NTS);
  }
  SQLRETURN Prep(SQLHSTMT h, const std::string &sql) {
    if (!Unicode()) return SQLPrepare(h, Text(sql), SQL_NTS);
    auto w = harness::ToW(sql);
    return SQLPrepareW(h, w.data(), SQL_NTS);
  }

  SQLHSTMT Stmt() {
    SQLHSTMT h = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
    return h;
  }
  SQLRETURN Run(const std::string &sql, std::string *diag = nullptr) {
    SQLHSTMT h = Stmt();
    SQLRETURN rc = Exec(h, sql);
    if (diag) *diag = harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return rc;
  }
  void MustRun(const std::string &sql) {
    std::string diag;
    EXPECT_TRUE(SQL_SUCCEEDED(Run(sql, &diag))) << sql << ": " << diag;
  }
  // A statement positioned on the one row of a query.
  SQLHSTMT OnRow(const std::string &sql) {
    SQLHSTMT h = Stmt();
    EXPECT_TRUE(SQL_SUCCEEDED(Exec(h, sql))) << sql << ": " << FirstState(h);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLFetch(h))) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
    return h;
  }
  void ExpectRead(SQLHSTMT h, SQLUSMALLINT col, const ReadCase &r) {
    const SQLSMALLINT cType = CTypeFor(Version(), r.cType);
    SCOPED_TRACE("C type " + std::to_string(cType));
    Got g = Read(h, col, cType);
    const std::string state = StateFor(Version(), r.state);
    EXPECT_EQ(g.state, state);
    if (state.empty()) EXPECT_EQ(g.rc, SQL_SUCCESS);
    else if (state.compare(0, 2, "01") == 0) EXPECT_EQ(g.rc, SQL_SUCCESS_WITH_INFO);
    else EXPECT_EQ(g.rc, SQL_ERROR);
    if (g.rc == SQL_ERROR) return;
    if (std::string(r.value) == kNull) {
      EXPECT_EQ(g.ind, SQL_NULL_DATA);
      return;
    }
    EXPECT_EQ(g.value, r.value);
    EXPECT_EQ(g.ind, LengthOf(cType, r.value));
  }
};

TEST_P(DmValues, EveryTypeReadsBackAsStoredInEveryCType) {
  int n = 0;
  for (const ColumnCase &c : Columns()) {
    SCOPED_TRACE(c.decl);
    const std::string t = T(++n);
    Run("drop table " + t);
    MustRun("create table " + t + " (id number(5), v " + c.decl + ")");
    int id = 0;
    for (const ValueCase &v : c.values) {
      ++id;
      SCOPED_TRACE(v.literal);
      std::string diag;
      const SQLRETURN rc =
          Run("insert into " + t + " values (" + std::to_string(id) + ", " + v.literal + ")", &diag);
      if (v.reads.empty()) {
        // A value beyond the column's length in characters is refused.
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_NE(diag.find("ORA-12899"), std::string::npos) << diag;
        continue;
      }
      ASSERT_TRUE(SQL_SUCCEEDED(rc)) << diag;
      for (const ReadCase &r : v.reads) {
        SQLHSTMT h = OnRow("select v from " + t + " where id = " + std::to_string(id));
        ExpectRead(h, 1, r);
        SQLFreeHandle(SQL_HANDLE_STMT, h);
      }
    }
    // The description counts characters.
    SQLHSTMT h = Stmt();
    ASSERT_EQ(Prep(h, "select v from " + t), SQL_SUCCESS);
    SQLCHAR name[32];
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(h, 1, name, sizeof name, &nameLen, &type, &size, &digits, &nullable), SQL_SUCCESS);
    EXPECT_EQ(size, c.size);
    if (Version() == 3) {
      SQLLEN length = 0;
      ASSERT_EQ(SQLColAttribute(h, 1, SQL_DESC_LENGTH, nullptr, 0, nullptr, &length), SQL_SUCCESS);
      EXPECT_EQ(static_cast<SQLULEN>(length), c.size);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    MustRun("drop table " + t);
  }
}

// A conversion that fails hands nothing out: the same column reads again
// with another C type.
TEST_P(DmValues, FailedGetDataLeavesTheColumnReadable) {
  SQLHSTMT h = OnRow("select 'abc', 12.5, hextoraw('0102') from dual");
  struct {
    SQLUSMALLINT col;
    ReadCase failing, after;
  } cases[] = {
      {1, {SQL_C_SLONG, "", "22018"}, {SQL_C_CHAR, "abc"}},
      {2, {SQL_C_TYPE_DATE, "", "07006"}, {SQL_C_CHAR, "12.5"}},
      {3, {SQL_C_DOUBLE, "", "07006"}, {SQL_C_BINARY, "0102"}},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.col);
    ExpectRead(h, c.col, c.failing);
    ExpectRead(h, c.col, c.after);
    // Read once: the column is done.
    unsigned char buf[16];
    SQLLEN ind = 0;
    EXPECT_EQ(SQLGetData(h, c.col, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_NO_DATA);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);

}

// A time parameter: text for a character column, that time on the current
// day for a DATE column.
TEST_P(DmValues, TimeParameters) {
  const std::string t = T(99);
  Run("drop table " + t);
  MustRun("create table " + t + " (d date, v varchar2(20))");
  SQLHSTMT h = Stmt();
  ASSERT_EQ(Prep(h, "insert into " + t + " values (?, ?)"), SQL_SUCCESS);
  SQL_TIME_STRUCT tm{13, 14, 15};
  const SQLSMALLINT cTime = CTypeFor(Version(), SQL_C_TYPE_TIME);
  const SQLSMALLINT sqlTime = Version() == 3 ? SQL_TYPE_TIME : SQL_TIME;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(h, 1, SQL_PARAM_INPUT, cTime, sqlTime, 8, 0, &tm, 0, nullptr)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(h, 2, SQL_PARAM_INPUT, cTime, SQL_VARCHAR, 20, 0, &tm, 0, nullptr)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);

  h = OnRow("select d, v, to_char(d, 'YYYY-MM-DD') from " + t);
  ExpectRead(h, 1, {SQL_C_TYPE_TIME, "13:14:15"});
  ExpectRead(h, 2, {SQL_C_CHAR, "13:14:15"});
  char today[16];
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  strftime(today, sizeof today, "%Y-%m-%d", &local);
  ExpectRead(h, 3, {SQL_C_CHAR, today});
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  MustRun("drop table " + t);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmValues,
                         ::testing::Combine(::testing::Values("kvd_fv_w", "kvd_fv_a"), ::testing::Values(3, 2)),
                         [](const ::testing::TestParamInfo<DmValues::ParamType> &i) {
                           return std::string(std::strcmp(std::get<0>(i.param), "kvd_fv_w") ? "Ansi" : "Unicode") +
                                  "Odbc" + std::to_string(std::get<1>(i.param));
                         });

}  // namespace
