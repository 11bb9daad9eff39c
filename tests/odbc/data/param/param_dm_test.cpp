// Parameters end to end: the Unicode and ANSI drivers loaded by unixODBC,
// the real agent, a database of the OCI stand-in made for the test process.
// Values are inserted with bound parameters and read back as text.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "dm_db.h"
#include "harness.h"
#include "ocilite.h"

namespace {

using dm_db::Database;
using dm_db::Rows;

class DmParam : public ::testing::Test {
 public:
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT st = SQL_NULL_HSTMT;

  virtual const char *Dsn() const { return "kvd_param_w"; }

  void SetUp() override {
    ASSERT_FALSE(Database().empty());
    harness::DmInit({{"kvd_param_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                     {"kvd_param_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}}});
    ocilite_test_reset();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    SQLRETURN rc = SQLConnect(dbc, (SQLCHAR *)Dsn(), SQL_NTS, (SQLCHAR *)"scott", SQL_NTS, (SQLCHAR *)"tiger", SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
  }

  void TearDown() override {
    ocilite_test_reset();
    if (st) SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }

  std::string Diag(SQLHSTMT h = nullptr) { return harness::DmDiagText(SQL_HANDLE_STMT, h ? h : st); }
  std::string State() {
    auto recs = harness::DmDiags(SQL_HANDLE_STMT, st);
    return recs.empty() ? "" : recs[0].state;
  }

  // Runs a statement without parameters on a statement of its own.
  void Run(const std::string &sql) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
    SQLRETURN rc = SQLExecDirect(h, (SQLCHAR *)sql.c_str(), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << Diag(h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }

  // A table made afresh.
  void Table(const std::string &name, const std::string &columns) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    SQLExecDirect(h, (SQLCHAR *)("drop table " + name).c_str(), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    Run("create table " + name + " (" + columns + ")");
  }

  Rows Query(const std::string &sql) { return dm_db::Query(dbc, sql); }
  std::string One(const std::string &sql) { return dm_db::One(dbc, sql); }

  SQLRETURN Prepare(const std::string &sql) { return SQLPrepare(st, (SQLCHAR *)sql.c_str(), SQL_NTS); }
};

class DmParamAnsi : public DmParam {
  const char *Dsn() const override { return "kvd_param_a"; }
};

// One value of each C type into each kind of column it goes into, read
// back as text.
TEST_F(DmParam, EveryCTypeIntoTheColumnsItFits) {
  Table("pm_types",
        "id number(10), c_num number(20), c_dec number(12,4), c_dbl binary_double, c_flt binary_float, "
        "c_vc varchar2(100), c_ch char(6), c_nvc nvarchar2(40), c_date date, c_ts timestamp, c_raw raw(32), "
        "c_clob clob, c_blob blob, c_long long, c_nch nchar(6), c_float float, c_int integer");
  SQLINTEGER i32 = -42;
  SQLUINTEGER u32 = 4000000000u;
  SQLSMALLINT i16 = -7;
  SQLUSMALLINT u16 = 65000;
  SQLSCHAR s8 = -100;
  SQLCHAR u8 = 200, bit = 1;
  SQLBIGINT s64 = 1099511627777LL;
  SQLUBIGINT u64 = 18446744073709551615ULL;
  SQLREAL f32 = 1.5f;
  SQLDOUBLE f64 = 2.25;
  SQL_NUMERIC_STRUCT num{12, 4, 0, {0x39, 0x30}};  // -1.2345
  SQL_NUMERIC_STRUCT wideNum{38, 10, 1, {}};       // 10^38 - 1 at scale 10
  {
    const unsigned __int128 big =
        (static_cast<unsigned __int128>(0x4B3B4CA85A86C47AULL) << 64) | 0x098A223FFFFFFFFFULL;
    for (int i = 0; i < 16; ++i) wideNum.val[i] = static_cast<SQLCHAR>(big >> (8 * i));
  }
  SQL_DATE_STRUCT date{2001, 2, 3};
  SQL_TIMESTAMP_STRUCT ts{2001, 2, 3, 4, 5, 6, 123456000};
  SQLGUID guid{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  unsigned char bin[] = {0x00, 0x41, 0xFF};
  char hello[] = "hello", digits[] = "12.5", hex[] = "414243";
  char dEsc[] = "{d '2001-02-03'}", tsEsc[] = "{ts '2001-02-03 04:05:06.5'}";
  char16_t wide[] = u"h\u00e9llo", wideTs[] = u"{ts '2002-03-04 05:06:07'}";
  struct Case {
    const char *column;
    SQLSMALLINT cType, sqlType;
    void *data;
    SQLLEN len;
    const char *want;
    const char *read = nullptr;  // the expression read back, else the column
  } cases[] = {
      {"c_num", SQL_C_LONG, SQL_INTEGER, &i32, 0, "-42"},
      {"c_num", SQL_C_SLONG, SQL_INTEGER, &i32, 0, "-42"},
      {"c_num", SQL_C_ULONG, SQL_INTEGER, &u32, 0, "4000000000"},
      {"c_num", SQL_C_SHORT, SQL_SMALLINT, &i16, 0, "-7"},
      {"c_num", SQL_C_USHORT, SQL_SMALLINT, &u16, 0, "65000"},
      {"c_num", SQL_C_STINYINT, SQL_TINYINT, &s8, 0, "-100"},
      {"c_num", SQL_C_TINYINT, SQL_TINYINT, &s8, 0, "-100"},
      {"c_num", SQL_C_UTINYINT, SQL_TINYINT, &u8, 0, "200"},
      {"c_num", SQL_C_BIT, SQL_BIT, &bit, 0, "1"},
      {"c_num", SQL_C_SBIGINT, SQL_BIGINT, &s64, 0, "1099511627777"},
      {"c_vc", SQL_C_UBIGINT, SQL_BIGINT, &u64, 0, "18446744073709551615"},
      {"c_dec", SQL_C_CHAR, SQL_NUMERIC, digits, SQL_NTS, "12.5"},
      {"c_num", SQL_C_CHAR, SQL_NUMERIC, digits, SQL_NTS, "13"},  // NUMBER(20) rounds
      {"c_dec", SQL_C_NUMERIC, SQL_DECIMAL, &num, 0, "-1.2345"},
      {"c_vc", SQL_C_NUMERIC, SQL_VARCHAR, &wideNum, 0, "9999999999999999999999999999.9999999999"},
      {"c_dbl", SQL_C_DOUBLE, SQL_DOUBLE, &f64, 0, "2.25"},
      {"c_flt", SQL_C_FLOAT, SQL_REAL, &f32, 0, "1.5"},
      {"c_dec", SQL_C_DOUBLE, SQL_DOUBLE, &f64, 0, "2.25"},
      {"c_vc", SQL_C_CHAR, SQL_VARCHAR, hello, SQL_NTS, "hello"},
      {"c_ch", SQL_C_CHAR, SQL_CHAR, hello, SQL_NTS, "hello "},
      {"c_vc", SQL_C_WCHAR, SQL_WVARCHAR, wide, SQL_NTS, "h\xC3\xA9llo"},
      {"c_nvc", SQL_C_WCHAR, SQL_WVARCHAR, wide, SQL_NTS, "h\xC3\xA9llo"},
      {"c_nvc", SQL_C_CHAR, SQL_VARCHAR, hello, 3, "hel"},
      {"c_vc", SQL_C_GUID, SQL_GUID, &guid, 0, "12345678-9ABC-DEF0-0102-030405060708"},
      {"c_date", SQL_C_TYPE_DATE, SQL_TYPE_DATE, &date, 0, "2001-02-03 00:00:00"},
      {"c_date", SQL_C_CHAR, SQL_TYPE_DATE, dEsc, SQL_NTS, "2001-02-03 00:00:00"},
      {"c_ts", SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, &ts, 0, "2001-02-03 04:05:06.123456000"},
      {"c_ts", SQL_C_TIMESTAMP, SQL_TIMESTAMP, &ts, 0, "2001-02-03 04:05:06.123456000"},
      {"c_ts", SQL_C_CHAR, SQL_TYPE_TIMESTAMP, tsEsc, SQL_NTS, "2001-02-03 04:05:06.500000000"},
      {"c_ts", SQL_C_WCHAR, SQL_TYPE_TIMESTAMP, wideTs, SQL_NTS, "2002-03-04 05:06:07.000000000"},
      {"c_ts", SQL_C_TYPE_DATE, SQL_TYPE_DATE, &date, 0, "2001-02-03 00:00:00.000000000"},
      {"c_raw", SQL_C_BINARY, SQL_VARBINARY, bin, 3, "0041FF"},
      {"c_raw", SQL_C_CHAR, SQL_VARBINARY, hex, SQL_NTS, "414243"},
      {"c_vc", SQL_C_CHAR, SQL_VARCHAR, dEsc, SQL_NTS, "{d '2001-02-03'}"},
      {"c_clob", SQL_C_CHAR, SQL_LONGVARCHAR, hello, SQL_NTS, "hello", "to_char(c_clob)"},
      {"c_clob", SQL_C_WCHAR, SQL_WLONGVARCHAR, wide, SQL_NTS, "h\xC3\xA9llo", "to_char(c_clob)"},
      {"c_blob", SQL_C_BINARY, SQL_LONGVARBINARY, bin, 3, "0041FF", "rawtohex(c_blob)"},
      {"c_long", SQL_C_CHAR, SQL_LONGVARCHAR, hello, SQL_NTS, "hello", "substr(c_long, 1, 40)"},
      {"c_nch", SQL_C_WCHAR, SQL_WCHAR, wide, SQL_NTS, "h\xC3\xA9llo", "trim(c_nch)"},
      {"c_float", SQL_C_DOUBLE, SQL_FLOAT, &f64, 0, "2.25"},
      {"c_int", SQL_C_SBIGINT, SQL_BIGINT, &s64, 0, "1099511627777"},
      {"c_int", SQL_C_CHAR, SQL_INTEGER, digits, SQL_NTS, "13"},
  };
  int id = 0;
  for (const Case &c : cases) {
    ++id;
    SCOPED_TRACE(std::string(c.column) + " from C type " + std::to_string(c.cType));
    ASSERT_EQ(Prepare(std::string("insert into pm_types (id, ") + c.column + ") values (?, ?)"), SQL_SUCCESS)
        << Diag();
    SQLINTEGER key = id;
    SQLLEN len = c.len;
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &key, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, c.cType, c.sqlType, 40, 6, c.data, 0, &len), SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diag();
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    EXPECT_EQ(One(std::string("select ") + (c.read ? c.read : c.column) + " from pm_types where id = " + std::to_string(id)),
              c.want);
  }
}

TEST_F(DmParam, NullParametersOfEveryKind) {
  Table("pm_null", "id number(5), n number(10), s varchar2(10), d date, r raw(4)");
  ASSERT_EQ(Prepare("insert into pm_null values (?, ?, ?, ?, ?)"), SQL_SUCCESS) << Diag();
  SQLINTEGER id = 1, n = 0;
  char s[4] = "", d[4] = "", r[4] = "";
  SQLLEN null = SQL_NULL_DATA;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, &null);
  SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, s, 4, &null);
  SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, d, 4, &null);
  SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARBINARY, 4, 0, r, 4, &null);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diag();
  EXPECT_EQ(Query("select id, n, s, d, r from pm_null"),
            (Rows{{"1", "<NULL>", "<NULL>", "<NULL>", "<NULL>"}}));
}

struct ArrayCase {
  SQLULEN size;
  bool rowWise;
};

// Named by its fields, so that GoogleTest never prints the padding bytes.
void PrintTo(const ArrayCase &c, std::ostream *os) { *os << c.size << (c.rowWise ? " row-wise" : " column-wise"); }

class DmParamArrays : public DmParam, public ::testing::WithParamInterface<ArrayCase> {};

// Parameter arrays of 1, 10 and 1000 rows, bound column-wise and row-wise,
// with every seventh row ignored and every fifth name NULL.
TEST_P(DmParamArrays, InsertReadBack) {
  const ArrayCase &ac = GetParam();
  Table("pm_array", "id number(10), name varchar2(20), ts timestamp");
  ASSERT_EQ(Prepare("insert into pm_array values (?, ?, ?)"), SQL_SUCCESS) << Diag();
  const SQLULEN n = ac.size;
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    char name[21];
    SQLLEN nameLen;
    SQL_TIMESTAMP_STRUCT ts;
    SQLLEN tsInd;
  };
  std::vector<Row> rows(n);
  std::vector<SQLINTEGER> ids(n);
  std::vector<char> names(n * 21);
  std::vector<SQLLEN> nameLen(n), none(n, 0);
  std::vector<SQL_TIMESTAMP_STRUCT> stamps(n);
  std::vector<SQLUSMALLINT> ops(n, SQL_PARAM_PROCEED), status(n, 99);
  SQLULEN processed = 0;
  SQLULEN expectRows = 0;
  for (SQLULEN i = 0; i < n; ++i) {
    const bool ignore = n > 1 && i % 7 == 3;
    ops[i] = ignore ? SQL_PARAM_IGNORE : SQL_PARAM_PROCEED;
    if (!ignore) ++expectRows;
    Row &r = rows[i];
    r.id = ids[i] = static_cast<SQLINTEGER>(i + 1);
    r.idInd = 0;
    snprintf(r.name, sizeof r.name, "name-%u", static_cast<unsigned>(i + 1) % 100000u);
    memcpy(&names[i * 21], r.name, 21);
    r.nameLen = nameLen[i] = i % 5 == 4 ? SQL_NULL_DATA : SQL_NTS;
    r.ts = stamps[i] = SQL_TIMESTAMP_STRUCT{2020, 1, 1, 0, 0, static_cast<SQLUSMALLINT>(i % 60), 0};
    r.tsInd = 0;
  }
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(n), 0);
  SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0);
  SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, ops.data(), 0);
  SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  if (ac.rowWise) {
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0);
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].id, 0, &rows[0].idInd);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, rows[0].name, 21, &rows[0].nameLen);
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, &rows[0].ts, 0,
                     &rows[0].tsInd);
  } else {
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids.data(), 0, none.data());
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, names.data(), 21, nameLen.data());
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, stamps.data(), 0,
                     none.data());
  }
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diag();
  EXPECT_EQ(processed, expectRows);
  for (SQLULEN i = 0; i < n; ++i)
    ASSERT_EQ(status[i], ops[i] == SQL_PARAM_IGNORE ? SQL_PARAM_UNUSED : SQL_PARAM_SUCCESS) << i;
  SQLLEN count = -2;
  ASSERT_EQ(SQLRowCount(st, &count), SQL_SUCCESS) << Diag();
  EXPECT_EQ(count, static_cast<SQLLEN>(expectRows));

  Rows got = Query("select id, name, ts from pm_array order by id");
  ASSERT_EQ(got.size(), expectRows);
  size_t k = 0;
  for (SQLULEN i = 0; i < n; ++i) {
    if (ops[i] == SQL_PARAM_IGNORE) continue;
    char want[32];
    snprintf(want, sizeof want, "2020-01-01 00:00:%02u.000000000", static_cast<unsigned>(i % 60));
    const std::vector<std::string> &r = got[k++];
    ASSERT_EQ(r[0], std::to_string(i + 1));
    ASSERT_EQ(r[1], i % 5 == 4 ? "<NULL>" : "name-" + std::to_string(i + 1));
    ASSERT_EQ(r[2], want);
  }
}

INSTANTIATE_TEST_SUITE_P(SizesAndLayouts, DmParamArrays,
                         ::testing::Values(ArrayCase{1, false}, ArrayCase{10, false}, ArrayCase{1000, false},
                                           ArrayCase{1, true}, ArrayCase{10, true}, ArrayCase{1000, true}),
                         [](const ::testing::TestParamInfo<ArrayCase> &i) {
                           return std::to_string(i.param.size) + (i.param.rowWise ? "_RowWise" : "_ColumnWise");
                         });

TEST_F(DmParam, FailingRowOfAnArray) {
  Table("pm_fail", "id number(5) primary key");
  Run("insert into pm_fail values (3)");
  ASSERT_EQ(Prepare("insert into pm_fail values (?)"), SQL_SUCCESS) << Diag();
  SQLINTEGER ids[5] = {1, 2, 3, 4, 5};
  SQLULEN processed = 0;
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(5), 0);
  SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
  EXPECT_EQ(SQLExecute(st), SQL_ERROR);
  EXPECT_NE(Diag().find("ORA-00001"), std::string::npos) << Diag();
  EXPECT_EQ(processed, 3u) << "the third row failed";
  EXPECT_EQ(Query("select id from pm_fail order by id"), (Rows{{"1"}, {"2"}, {"3"}}));
}

TEST_F(DmParam, ExecuteWithAWarningCompletes) {
  Table("pm_warn", "id number(5)");
  Run("insert into pm_warn values (7)");
  ASSERT_EQ(Prepare("select id from pm_warn where id = ?"), SQL_SUCCESS) << Diag();
  SQLINTEGER id = 7;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  ocilite_test_fault(OCILITE_T_EXECUTE, 1, 1, 24347, 1, nullptr);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS_WITH_INFO) << Diag();
  EXPECT_NE(Diag().find("ORA-24347"), std::string::npos) << Diag();
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS) << Diag();
  SQLINTEGER got = 0;
  ASSERT_EQ(SQLGetData(st, 1, SQL_C_LONG, &got, 0, nullptr), SQL_SUCCESS) << Diag();
  EXPECT_EQ(got, 7);
  EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);
}

// SQLDescribeParam describes each marker as the column it
// stands for, exactly as SQLDescribeCol describes that column.
struct ParamShape {
  SQLSMALLINT type = 0, digits = -1, nullable = -1;
  SQLULEN size = 0;
  bool operator==(const ParamShape &) const = default;
};
std::ostream &operator<<(std::ostream &os, const ParamShape &p) {
  return os << "type " << p.type << " size " << p.size << " digits " << p.digits << " nullable " << p.nullable;
}

class DmDescribeParam : public DmParam {
 protected:
  void SetUp() override {
    DmParam::SetUp();
    Table("dp_t", "n number(10) not null, p number(15,4), s varchar2(40), c char(3), d date, ts timestamp");
    Table("dp_u", "n number(10) not null, p number(15,4), s varchar2(40), c char(3), d date, ts timestamp");
  }

  // SQLDescribeCol of table.column.
  ParamShape Column(const std::string &ref) {
    const size_t dot = ref.find('.');
    SQLHSTMT h = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    std::string sql = "select " + ref.substr(dot + 1) + " from " + ref.substr(0, dot);
    EXPECT_EQ(SQLPrepare(h, (SQLCHAR *)sql.c_str(), SQL_NTS), SQL_SUCCESS) << Diag(h);
    ParamShape c;
    SQLCHAR name[64];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLDescribeCol(h, 1, name, sizeof name, &len, &c.type, &c.size, &c.digits, &c.nullable), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return c;
  }

  ParamShape Described(SQLUSMALLINT i) {
    ParamShape p;
    EXPECT_EQ(SQLDescribeParam(st, i, &p.type, &p.size, &p.digits, &p.nullable), SQL_SUCCESS) << Diag();
    return p;
  }

  SQLHDESC Ipd() {
    SQLHDESC ipd = SQL_NULL_HDESC;
    SQLGetStmtAttr(st, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr);
    return ipd;
  }

  // A field of the IPD's record i: LENGTH is 32-bit, the others 16-bit.
  SQLLEN IpdField(SQLUSMALLINT i, SQLSMALLINT field) {
    SQLLEN v = 0;
    EXPECT_EQ(SQLGetDescField(Ipd(), static_cast<SQLSMALLINT>(i), field, &v, sizeof v, nullptr), SQL_SUCCESS)
        << "field " << field << " of record " << i;
    return field == SQL_DESC_LENGTH ? static_cast<SQLINTEGER>(v) : static_cast<SQLSMALLINT>(v);
  }

  // The IPD's record read back in SQLDescribeParam's terms. ODBC's rule:
  // an IPD's SQL_DESC_NULLABLE is always SQL_NULLABLE, since a parameter can
  // always be given NULL; whether its column takes one is what
  // SQLDescribeParam's nullability tells (SQL_NO_NULLS for dp_t.n).
  ParamShape FromIpd(SQLUSMALLINT i) {
    ParamShape p;
    p.type = static_cast<SQLSMALLINT>(IpdField(i, SQL_DESC_CONCISE_TYPE));
    const bool exact = p.type == SQL_NUMERIC || p.type == SQL_DECIMAL;
    const bool fraction = p.type == SQL_TYPE_TIME || p.type == SQL_TYPE_TIMESTAMP;
    p.size = static_cast<SQLULEN>(IpdField(i, exact ? SQL_DESC_PRECISION : SQL_DESC_LENGTH));
    p.digits = static_cast<SQLSMALLINT>(IpdField(i, fraction ? SQL_DESC_PRECISION : SQL_DESC_SCALE));
    p.nullable = static_cast<SQLSMALLINT>(IpdField(i, SQL_DESC_NULLABLE));
    const SQLLEN verbose = p.type >= SQL_TYPE_DATE && p.type <= SQL_TYPE_TIMESTAMP ? SQL_DATETIME : p.type;
    EXPECT_EQ(IpdField(i, SQL_DESC_TYPE), verbose) << "record " << i;
    return p;
  }

  // Each marker described as its column, by SQLDescribeParam and by the IPD
  // that the prepare populated.
  void EachMarkerIsItsColumn() {
    const struct {
      const char *sql;
      std::vector<std::string> columns;
    } cases[] = {
        {"insert into dp_t values (?, ?, ?, ?, ?, ?)", {"dp_t.n", "dp_t.p", "dp_t.s", "dp_t.c", "dp_t.d", "dp_t.ts"}},
        {"insert into dp_t (s, n, p) values (?, ?, ?)", {"dp_t.s", "dp_t.n", "dp_t.p"}},
        {"update dp_t set p = ?, d = ? where n = ?", {"dp_t.p", "dp_t.d", "dp_t.n"}},
        {"select n from dp_t where s = ? and p between ? and ? and c like ? and ts in (?, ?)",
         {"dp_t.s", "dp_t.p", "dp_t.p", "dp_t.c", "dp_t.ts", "dp_t.ts"}},
        {"delete from dp_t where ts = ? or d = ?", {"dp_t.ts", "dp_t.d"}},
        {"select n from dp_t where p = ? union select n from dp_u where s > ?", {"dp_t.p", "dp_u.s"}},
        {"insert into dp_t (n, d) select ?, d from dp_u where dp_u.p > ?", {"dp_t.n", "dp_u.p"}},
    };
    for (const auto &c : cases) {
      ASSERT_EQ(Prepare(c.sql), SQL_SUCCESS) << c.sql << ": " << Diag();
      // The IPD first: reading it runs the same description.
      const auto count = static_cast<SQLSMALLINT>(c.columns.size());
      EXPECT_EQ(IpdField(0, SQL_DESC_COUNT), count) << c.sql;
      SQLSMALLINT v = 0;
      EXPECT_EQ(SQLGetDescField(Ipd(), static_cast<SQLSMALLINT>(count + 1), SQL_DESC_CONCISE_TYPE, &v, 0, nullptr),
                SQL_NO_DATA)
          << c.sql;
      for (SQLSMALLINT i = 1; i <= count; ++i) {
        ParamShape want = Column(c.columns[static_cast<size_t>(i - 1)]);
        const auto n = static_cast<SQLUSMALLINT>(i);
        EXPECT_EQ(Described(n), want) << c.sql << " marker " << n;
        want.nullable = SQL_NULLABLE;
        EXPECT_EQ(FromIpd(n), want) << c.sql << " IPD record " << n;
      }
      SQLFreeStmt(st, SQL_CLOSE);
    }
  }
};

class DmDescribeParamAnsi : public DmDescribeParam {
  const char *Dsn() const override { return "kvd_param_a"; }
};

TEST_F(DmDescribeParam, EachMarkerIsDescribedAsItsColumn) { EachMarkerIsItsColumn(); }
TEST_F(DmDescribeParamAnsi, EachMarkerIsDescribedAsItsColumn) { EachMarkerIsItsColumn(); }

// What the application set on an IPD record, by binding or by a field
// write, stays; the markers it left alone are described.
TEST_F(DmDescribeParam, TheApplicationsOwnIpdRecordsAreKept) {
  ASSERT_EQ(Prepare("update dp_t set p = ?, d = ?, s = ? where n = ?"), SQL_SUCCESS) << Diag();
  SQLINTEGER v = 1;
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(Ipd(), 3, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CHAR), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(Ipd(), 3, SQL_DESC_LENGTH, reinterpret_cast<SQLPOINTER>(7), 0), SQL_SUCCESS);
  EXPECT_EQ(IpdField(0, SQL_DESC_COUNT), 4);
  EXPECT_EQ(IpdField(1, SQL_DESC_CONCISE_TYPE), SQL_INTEGER);
  EXPECT_EQ(IpdField(3, SQL_DESC_CONCISE_TYPE), SQL_CHAR);
  EXPECT_EQ(IpdField(3, SQL_DESC_LENGTH), 7);
  for (SQLUSMALLINT left : {2, 4}) {
    ParamShape want = Column(left == 2 ? "dp_t.d" : "dp_t.n");
    want.nullable = SQL_NULLABLE;
    EXPECT_EQ(FromIpd(left), want) << "record " << left;
  }
}

TEST_F(DmDescribeParam, WhatTheAnalysisCannotServeKeepsTheDefault) {
  const ParamShape fallback{SQL_VARCHAR, 0, SQL_NULLABLE_UNKNOWN, 255};
  const char *cases[] = {
      "select ?, n from dp_t where n = ?",                        // a marker in the select list
      "select n from dp_t where n in (select n from dp_u where p = ?)",  // in a subquery
      "select n from dp_t where ? = ?",
      "select n from dp_t where n = ? and s in (s)",              // text the analysis does not read
  };
  for (const char *sql : cases) {
    ASSERT_EQ(Prepare(sql), SQL_SUCCESS) << sql << ": " << Diag();
    ParamShape p = Described(1);
    EXPECT_EQ(p.type, fallback.type) << sql;
    EXPECT_EQ(p.size, fallback.size) << sql;
    EXPECT_EQ(p.nullable, fallback.nullable) << sql;
    EXPECT_EQ(IpdField(1, SQL_DESC_CONCISE_TYPE), fallback.type) << sql;
    EXPECT_EQ(IpdField(1, SQL_DESC_LENGTH), 255) << sql;
    SQLFreeStmt(st, SQL_CLOSE);
  }
  // The first SQLDescribeParam after SQLExecute.
  ASSERT_EQ(Prepare("select n from dp_t where p = ?"), SQL_SUCCESS);
  SQLINTEGER v = 1;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diag();
  ParamShape after = Described(1);
  EXPECT_EQ(after.type, SQL_VARCHAR);
  EXPECT_EQ(after.size, 255u);
  EXPECT_EQ(SQLDescribeParam(st, 2, &after.type, &after.size, &after.digits, &after.nullable), SQL_ERROR);
  EXPECT_EQ(State(), "07009");
}

TEST_F(DmParamAnsi, DescribeParamDescribesTheColumn) {
  Table("pm_desc", "id number(10) not null, amount number(15,4)");
  ASSERT_EQ(Prepare("update pm_desc set amount = ? where id = ?"), SQL_SUCCESS) << Diag();
  SQLSMALLINT type = 0, digits = -1, nullable = -1;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeParam(st, 1, &type, &size, &digits, &nullable), SQL_SUCCESS) << Diag();
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(digits, 4);
  ASSERT_EQ(SQLDescribeParam(st, 2, &type, &size, &digits, &nullable), SQL_SUCCESS) << Diag();
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(nullable, SQL_NO_NULLS);
}

// Data at execution: the pieces of each asked-for value, by token.
struct Piece {
  SQLLEN len;  // SQL_NULL_DATA for a NULL piece
  std::string bytes;
};
using Pieces = std::vector<std::vector<Piece>>;  // per token 1, 2, ...

// Answers the driver's requests (token n gets pieces[n-1]) until the
// statement runs; the tokens asked for in order.
std::vector<intptr_t> Serve(SQLHSTMT st, const Pieces &pieces, SQLRETURN *last) {
  std::vector<intptr_t> asked;
  SQLPOINTER token = nullptr;
  SQLRETURN rc;
  while ((rc = SQLParamData(st, &token)) == SQL_NEED_DATA) {
    const auto t = reinterpret_cast<intptr_t>(token);
    asked.push_back(t);
    if (t < 1 || static_cast<size_t>(t) > pieces.size() || asked.size() > 16) break;
    for (const Piece &p : pieces[static_cast<size_t>(t) - 1]) {
      SQLRETURN put = SQLPutData(st, const_cast<char *>(p.bytes.data()), p.len);
      EXPECT_EQ(put, SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, st);
    }
  }
  *last = rc;
  return asked;
}

std::string U16(std::u16string_view s) { return std::string(reinterpret_cast<const char *>(s.data()), 2 * s.size()); }
Piece Bytes(const std::string &b) { return {static_cast<SQLLEN>(b.size()), b}; }

// Character, wide and binary values in pieces into VARCHAR2, NVARCHAR2,
// CLOB and BLOB columns; a surrogate pair split between two pieces stays
// one character.
void PiecesIntoColumns(DmParam &t, SQLHSTMT st) {
  t.Table("pm_dae", "vc varchar2(40), nvc nvarchar2(20), rw raw(8), cl clob, bl blob");
  ASSERT_EQ(SQLPrepare(st, (SQLCHAR *)"insert into pm_dae values (?, ?, ?, ?, ?)", SQL_NTS), SQL_SUCCESS);
  SQLLEN dae[5] = {SQL_LEN_DATA_AT_EXEC(7), SQL_LEN_DATA_AT_EXEC(0), SQL_LEN_DATA_AT_EXEC(2), SQL_DATA_AT_EXEC,
                   SQL_LEN_DATA_AT_EXEC(4)};
  const SQLSMALLINT c[5] = {SQL_C_CHAR, SQL_C_WCHAR, SQL_C_BINARY, SQL_C_WCHAR, SQL_C_BINARY};
  const SQLSMALLINT q[5] = {SQL_VARCHAR, SQL_WVARCHAR, SQL_VARBINARY, SQL_WLONGVARCHAR, SQL_LONGVARBINARY};
  for (SQLUSMALLINT i = 0; i < 5; ++i)
    ASSERT_EQ(SQLBindParameter(st, i + 1, SQL_PARAM_INPUT, c[i], q[i], 40, 0, reinterpret_cast<SQLPOINTER>(i + 1), 0,
                               &dae[i]),
              SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  const Pieces pieces = {
      {Bytes("abc"), Bytes(""), Bytes("defg")},
      {Bytes(U16(u"x\U0001F600").substr(0, 4)), Bytes(U16(u"\U0001F600").substr(2)), Bytes(U16(u"y"))},
      {Bytes("\xab"), Bytes("\xcd")},
      {Bytes(U16(u"h\u00e9l")), Bytes(U16(u"lo"))},
      {Bytes(std::string("\x00\x01", 2)), Bytes("\x02\xff")},
  };
  SQLRETURN last = 0;
  EXPECT_EQ(Serve(st, pieces, &last), (std::vector<intptr_t>{1, 2, 3, 4, 5}));
  ASSERT_EQ(last, SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  EXPECT_EQ(t.Query("select vc, nvc, rw, cl, bl from pm_dae"),
            (Rows{{"abcdefg", "x\xF0\x9F\x98\x80y", "ABCD", "h\xC3\xA9llo", "000102FF"}}));
}

// Three rows ask three times, row by row; a NULL piece gives NULL; the
// parameters processed follow the row asked for.
void ThreeRows(DmParam &t, SQLHSTMT st) {
  t.Table("pm_dae3", "id number(5), s varchar2(20)");
  ASSERT_EQ(SQLPrepare(st, (SQLCHAR *)"insert into pm_dae3 values (?, ?)", SQL_NTS), SQL_SUCCESS);
  SQLINTEGER ids[3] = {1, 2, 3};
  SQLLEN lens[3] = {SQL_LEN_DATA_AT_EXEC(0), SQL_LEN_DATA_AT_EXEC(0), SQL_LEN_DATA_AT_EXEC(0)};
  SQLULEN processed = 0;
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0);
  SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, reinterpret_cast<SQLPOINTER>(1),
                             0, lens),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  const char *values[3] = {"one", nullptr, "three"};
  SQLPOINTER token = nullptr;
  for (SQLULEN row = 0; row < 3; ++row) {
    ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA) << row;
    EXPECT_EQ(token, reinterpret_cast<SQLPOINTER>(1));
    EXPECT_EQ(processed, row + 1);
    if (values[row])
      EXPECT_EQ(SQLPutData(st, const_cast<char *>(values[row]), SQL_NTS), SQL_SUCCESS);
    else
      EXPECT_EQ(SQLPutData(st, nullptr, SQL_NULL_DATA), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLParamData(st, &token), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  EXPECT_EQ(processed, 3u);
  EXPECT_EQ(t.Query("select id, s from pm_dae3 order by id"),
            (Rows{{"1", "one"}, {"2", "<NULL>"}, {"3", "three"}}));
}

// Both functions are claimed. Out of the dialogue SQLParamData is out of
// sequence; a second piece of a fixed-length value (HY019) or
// SQL_DEFAULT_PARAM (HYC00) ends it, and so does SQLCancel in the middle;
// nothing runs; the statement runs normally afterwards.
void SequenceAndCancel(DmParam &t, SQLHSTMT st) {
  for (SQLUSMALLINT f : {SQL_API_SQLPARAMDATA, SQL_API_SQLPUTDATA}) {
    SQLUSMALLINT claimed = SQL_FALSE;
    EXPECT_EQ(SQLGetFunctions(t.dbc, f, &claimed), SQL_SUCCESS);
    EXPECT_EQ(claimed, SQL_TRUE) << f;
  }
  t.Table("pm_daec", "n number(5), s varchar2(20)");
  SQLPOINTER token = nullptr;
  EXPECT_EQ(SQLParamData(st, &token), SQL_ERROR);
  EXPECT_EQ(t.State(), "HY010");
  ASSERT_EQ(SQLPrepare(st, (SQLCHAR *)"insert into pm_daec values (?, ?)", SQL_NTS), SQL_SUCCESS);
  SQLINTEGER n = 5;
  char s[] = "whole";
  SQLLEN nLen = SQL_LEN_DATA_AT_EXEC(0), sLen = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, &nLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, s, 0, &sLen), SQL_SUCCESS);

  ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, &n);
  EXPECT_EQ(SQLPutData(st, &n, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLPutData(st, &n, 0), SQL_ERROR);
  EXPECT_EQ(t.State(), "HY019");
  EXPECT_EQ(SQLParamData(st, &token), SQL_ERROR);
  EXPECT_EQ(t.State(), "HY010");

  ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
  EXPECT_EQ(SQLPutData(st, &n, SQL_DEFAULT_PARAM), SQL_ERROR);
  EXPECT_EQ(t.State(), "HYC00");
  EXPECT_EQ(SQLParamData(st, &token), SQL_ERROR);
  EXPECT_EQ(t.State(), "HY010");

  ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
  EXPECT_EQ(SQLPutData(st, &n, 0), SQL_SUCCESS);
  EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(st)));
  EXPECT_EQ(SQLParamData(st, &token), SQL_ERROR);
  EXPECT_EQ(t.State(), "HY010");
  EXPECT_EQ(t.One("select count(*) from pm_daec"), "0");

  ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
  EXPECT_EQ(SQLPutData(st, &n, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, s);
  EXPECT_EQ(SQLPutData(st, s, SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(st, &token), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, st);
  EXPECT_EQ(t.Query("select n, s from pm_daec"), (Rows{{"5", "whole"}}));
}

// Hexadecimal text for a binary column in pieces: a byte may be split
// between pieces; a character that is no digit, or an odd number of
// digits in all, is 22018 and nothing runs.
void HexPieces(DmParam &t, SQLHSTMT st) {
  t.Table("pm_daeh", "rw raw(8)");
  ASSERT_EQ(SQLPrepare(st, (SQLCHAR *)"insert into pm_daeh values (?)", SQL_NTS), SQL_SUCCESS);
  SQLLEN len = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARBINARY, 8, 0, reinterpret_cast<SQLPOINTER>(1),
                             0, &len),
            SQL_SUCCESS);
  struct Case {
    std::vector<std::string> pieces;
    const char *putState;    // of the last piece; "" when accepted
    const char *finalState;  // of the final SQLParamData; "" when it ran
    const char *stored;
  } cases[] = {
      {{"4", "14", "", "22a"}, "", "", "41422A"},
      {{"41", "4G"}, "22018", "", ""},
      {{"414"}, "", "22018", ""},
      {{"4", "1", "4"}, "", "22018", ""},
  };
  for (const Case &c : cases) {
    t.Run("delete from pm_daeh");
    ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
    SQLRETURN put = SQL_SUCCESS;
    for (const std::string &piece : c.pieces) put = SQLPutData(st, const_cast<char *>(piece.data()), SQLLEN(piece.size()));
    EXPECT_EQ(put, *c.putState ? SQL_ERROR : SQL_SUCCESS) << c.pieces[0];
    if (*c.putState) {
      EXPECT_EQ(t.State(), c.putState);
      EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(st)));
    } else {
      const SQLRETURN last = SQLParamData(st, &token);
      EXPECT_EQ(last, *c.finalState ? SQL_ERROR : SQL_SUCCESS) << c.pieces[0] << harness::DmDiagText(SQL_HANDLE_STMT, st);
      if (*c.finalState) {
        EXPECT_EQ(t.State(), c.finalState);
      }
    }
    EXPECT_EQ(t.Query("select rw from pm_daeh"), *c.stored ? Rows{{c.stored}} : Rows{}) << c.pieces[0];
  }
}

// Date/time text in pieces is converted once whole, as if bound: an
// escape clause or plain text, split anywhere; text that is no date, time
// or timestamp in form is an invalid character value and nothing runs.
void DateTimePieces(DmParam &t, SQLHSTMT st) {
  t.Table("pm_daed", "d date, ts timestamp");
  ASSERT_EQ(SQLPrepare(st, (SQLCHAR *)"insert into pm_daed values (?, ?)", SQL_NTS), SQL_SUCCESS);
  SQLLEN lens[2] = {SQL_LEN_DATA_AT_EXEC(0), SQL_LEN_DATA_AT_EXEC(0)};
  struct Case {
    SQLSMALLINT tsC;  // C type of the timestamp
    Pieces pieces;
    const char *finalState;
    Rows stored;
  } cases[] = {
      {SQL_C_CHAR,
       {{Bytes("{d '2001"), Bytes("-02-03'}")}, {Bytes("2001-02-03 0"), Bytes("4:05:06")}},
       "",
       {{"2001-02-03 00:00:00", "2001-02-03 04:05:06.000000000"}}},
      {SQL_C_WCHAR,
       {{Bytes("2002-03-04")}, {Bytes(U16(u"{ts '2002-03-04 05:")), Bytes(U16(u"06:07'}"))}},
       "",
       {{"2002-03-04 00:00:00", "2002-03-04 05:06:07.000000000"}}},
      {SQL_C_CHAR, {{Bytes("2001-02-03")}, {Bytes("not a"), Bytes(" date")}}, "22018", {}},
      {SQL_C_CHAR, {{Bytes("2001-02-03")}, {Bytes("{ts '2001-02-0"), Bytes("3 04:05'}")}}, "22018", {}},
      {SQL_C_CHAR, {{Bytes("2001-02-03")}, {Bytes("2001-02")}}, "22018", {}},
      {SQL_C_WCHAR, {{Bytes("2001-02-03")}, {Bytes(U16(u"2001-02-03 04:05:06.5 x"))}}, "22018", {}},
  };
  for (const Case &c : cases) {
    t.Run("delete from pm_daed");
    ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0,
                               reinterpret_cast<SQLPOINTER>(1), 0, &lens[0]),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, c.tsC, SQL_TYPE_TIMESTAMP, 29, 9,
                               reinterpret_cast<SQLPOINTER>(2), 0, &lens[1]),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, st);
    SQLRETURN last = 0;
    EXPECT_EQ(Serve(st, c.pieces, &last), (std::vector<intptr_t>{1, 2}));
    EXPECT_EQ(last, *c.finalState ? SQL_ERROR : SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, st);
    if (*c.finalState) {
      EXPECT_EQ(t.State(), c.finalState);
    }
    EXPECT_EQ(t.Query("select d, ts from pm_daed"), c.stored) << c.tsC;
  }
}

TEST_F(DmParam, DataAtExecutionPiecesIntoColumns) { PiecesIntoColumns(*this, st); }
TEST_F(DmParam, DataAtExecutionForThreeRows) { ThreeRows(*this, st); }
TEST_F(DmParam, DataAtExecutionSequenceAndCancel) { SequenceAndCancel(*this, st); }
TEST_F(DmParam, DataAtExecutionHexadecimalPieces) { HexPieces(*this, st); }
TEST_F(DmParam, DataAtExecutionDateTimePieces) { DateTimePieces(*this, st); }

// The ANSI driver: character, numeric and date values and an array.
TEST_F(DmParamAnsi, CharacterNumbersDatesAndAnArray) {
  Table("pm_ansi", "id number(5), s varchar2(20), d date");
  ASSERT_EQ(Prepare("insert into pm_ansi values (?, ?, ?)"), SQL_SUCCESS) << Diag();
  SQLINTEGER ids[3] = {1, 2, 3};
  char names[3][8] = {"a", "{d 'x'", "c"};
  // Escapes in two rows of the array and a NULL in the third.
  char dates[3][20] = {"{d '2001-02-03'}", "{d '2002-03-04'}", ""};
  SQLLEN dateLen[3] = {SQL_NTS, SQL_NTS, SQL_NULL_DATA};
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0);
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, names, 8, nullptr);
  SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, dates, 20, dateLen);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diag();
  EXPECT_EQ(Query("select id, s, d from pm_ansi order by id"),
            (Rows{{"1", "a", "2001-02-03 00:00:00"}, {"2", "{d 'x'", "2002-03-04 00:00:00"}, {"3", "c", "<NULL>"}}));
}

// The ANSI driver's agent has no wide value types: wide text reaches it
// narrowed (as UTF-8), as pyodbc sends every Python string.
TEST_F(DmParamAnsi, WideTextIsNarrowedForTheAgent) {
  Table("pm_ansi_w", "s varchar2(20)");
  ASSERT_EQ(Prepare("insert into pm_ansi_w values (?)"), SQL_SUCCESS) << Diag();
  char16_t wide[2][8] = {u"h\u00e9llo", u"\u20ac"};
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(2), 0);
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 7, 0, wide, sizeof wide[0], nullptr);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << Diag();
  EXPECT_EQ(Query("select s from pm_ansi_w order by s"), (Rows{{"h\xC3\xA9llo"}, {"\xE2\x82\xAC"}}));
}

TEST_F(DmParamAnsi, DataAtExecutionPiecesIntoColumns) { PiecesIntoColumns(*this, st); }
TEST_F(DmParamAnsi, DataAtExecutionForThreeRows) { ThreeRows(*this, st); }
TEST_F(DmParamAnsi, DataAtExecutionSequenceAndCancel) { SequenceAndCancel(*this, st); }
TEST_F(DmParamAnsi, DataAtExecutionHexadecimalPieces) { HexPieces(*this, st); }
TEST_F(DmParamAnsi, DataAtExecutionDateTimePieces) { DateTimePieces(*this, st); }

// Wide text narrowed for the ANSI driver's agent that ends with the first
// half of a surrogate pair is refused rather than cut.
TEST_F(DmParamAnsi, DataAtExecutionWideTextEndingInHalfAPair) {
  Table("pm_daes", "s varchar2(20)");
  ASSERT_EQ(Prepare("insert into pm_daes values (?)"), SQL_SUCCESS);
  SQLLEN len = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, reinterpret_cast<SQLPOINTER>(1),
                             0, &len),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(st), SQL_NEED_DATA) << Diag();
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(st, &token), SQL_NEED_DATA);
  char16_t half[] = u"a\xD83D";
  EXPECT_EQ(SQLPutData(st, half, 4), SQL_SUCCESS) << Diag();
  EXPECT_EQ(SQLParamData(st, &token), SQL_ERROR);
  EXPECT_EQ(State(), "22018");
  EXPECT_EQ(One("select count(*) from pm_daes"), "0");
}

}  // namespace
