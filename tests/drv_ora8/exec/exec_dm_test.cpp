// Statements end to end as applications run them: both drivers loaded by
// unixODBC, the real agent, a database of the OCI stand-in made for the test
// process. DDL and DML with row counts, SQLNativeSql and the escapes run on
// the database, autocommit with commit and rollback seen from a second
// connection, query time-out, SQLCancel from another thread, read-only
// connections.
//
// The test links the same libocilite the drivers load, so its test hooks
// (slow execution, call counts) reach the drivers' OCI calls.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dm_db.h"
#include "harness.h"
#include "ocilite.h"

namespace {

using dm_db::Conn;
using dm_db::Database;
using dm_db::Rows;
using Clock = std::chrono::steady_clock;

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }
// An output buffer (never through Text, which would hand out a temporary).
SQLCHAR *Out(char *buf) { return reinterpret_cast<SQLCHAR *>(buf); }
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string FirstState(SQLSMALLINT type, SQLHANDLE h) {
  auto recs = harness::DmDiags(type, h);
  return recs.empty() ? "" : recs[0].state;
}

// Parameter: the DSN of one driver.
class DmExec : public ::testing::TestWithParam<const char *> {
 protected:
  Conn c;

  void SetUp() override {
    ASSERT_FALSE(Database().empty());
    harness::DmInit({{"kvd_exec_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                     {"kvd_exec_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}}});
    ocilite_test_reset();
    ASSERT_TRUE(c.Open(GetParam()));
  }
  void TearDown() override { ocilite_test_reset(); }

  // A table name of this driver's own, so that the two drivers' cases never
  // meet in the one database.
  std::string T(const char *base) const { return std::string(base) + (std::strcmp(GetParam(), "kvd_exec_w") ? "_a" : "_w"); }
};

// ---- DDL, DML and row counts ------------------------------------------------

TEST_P(DmExec, DmlRowCountsWithExecDirectAndPrepareExecute) {
  const std::string t = T("ex_dml");
  c.Table(t, "a number(10), b varchar2(20)");
  // Three rows to work on: 1 'x', 2 'y', 3 'y'.
  struct Case {
    std::string sql;
    SQLLEN rows;
  };
  const Case cases[] = {
      {"insert into " + t + " values (1, 'x')", 1},
      {"insert into " + t + " (a, b) select 2, 'y' from dual", 1},
      {"insert into " + t + " values (3, 'y')", 1},
      {"update " + t + " set b = 'z' where a = 99", 0},
      {"update " + t + " set b = 'w' where b = 'y'", 2},
      {"update " + t + " set b = 'y' where b = 'w'", 2},
      {"delete from " + t + " where a = 99", 0},
      {"insert into " + t + " select a + 10, b from " + t, 3},
      {"delete from " + t + " where a > 10", 3},
  };
  for (bool prepared : {false, true}) {
    for (const Case &k : cases) {
      SCOPED_TRACE(k.sql + (prepared ? " (prepared)" : " (direct)"));
      SQLHSTMT h = c.Stmt();
      SQLRETURN rc = prepared ? SQLPrepare(h, Text(k.sql), SQL_NTS) : SQLExecDirect(h, Text(k.sql), SQL_NTS);
      ASSERT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
      if (prepared) {
        rc = SQLExecute(h);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
      }
      SQLLEN n = -7;
      ASSERT_EQ(SQLRowCount(h, &n), SQL_SUCCESS);
      EXPECT_EQ(n, k.rows);
      SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
    // Second round over the rows the first one left: start afresh.
    EXPECT_EQ((Rows{{"1", "x"}, {"2", "y"}, {"3", "y"}}), c.Query("select a, b from " + t + " order by a"));
    c.MustRun("delete from " + t);
  }
}

TEST_P(DmExec, PreparedDmlReExecutesWithNewParameterValues) {
  const std::string t = T("ex_prep");
  c.Table(t, "a number(10), b varchar2(20)");
  c.MustRun("insert into " + t + " values (1, 'x')");
  c.MustRun("insert into " + t + " values (2, 'x')");
  c.MustRun("insert into " + t + " values (3, 'y')");
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQLPrepare(h, Text("update " + t + " set a = a + 100 where b = ?"), SQL_NTS), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  char b[8] = "";
  SQLLEN bLen = SQL_NTS;
  ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, b, sizeof b, &bLen), SQL_SUCCESS);
  struct {
    const char *value;
    SQLLEN rows;
  } runs[] = {{"x", 2}, {"none", 0}, {"y", 1}, {"x", 2}};
  for (auto &r : runs) {
    SCOPED_TRACE(r.value);
    std::strcpy(b, r.value);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLLEN n = -7;
    ASSERT_EQ(SQLRowCount(h, &n), SQL_SUCCESS);
    EXPECT_EQ(n, r.rows);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ((Rows{{"103"}, {"201"}, {"202"}}), c.Query("select a from " + t + " order by a"));
}

// A prepared query runs again after its cursor is closed, with new
// parameter values; a prepared statement survives a failed execute.
TEST_P(DmExec, PreparedStatementsRunAgain) {
  const std::string t = T("ex_again");
  c.Table(t, "a number(10) primary key");
  for (int i = 1; i <= 4; ++i) c.MustRun("insert into " + t + " values (" + std::to_string(i) + ")");
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, Text("select a from " + t + " where a >= ? order by a"), SQL_NTS));
  SQLINTEGER from = 0, a = 0;
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &from, 0, nullptr);
  SQLBindCol(h, 1, SQL_C_LONG, &a, 0, nullptr);
  for (SQLINTEGER f : {3, 1, 5, 4}) {
    SCOPED_TRACE(f);
    from = f;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    std::vector<SQLINTEGER> got;
    while (SQLFetch(h) == SQL_SUCCESS) got.push_back(a);
    std::vector<SQLINTEGER> want;
    for (SQLINTEGER i = f; i <= 4; ++i) want.push_back(i);
    EXPECT_EQ(got, want);
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(h));
  }
  // Executed again before anything was fetched: the second result counts.
  from = 2;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h)));
  from = 1;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  std::vector<SQLINTEGER> got;
  while (SQLFetch(h) == SQL_SUCCESS) got.push_back(a);
  EXPECT_EQ(got, (std::vector<SQLINTEGER>{1, 2, 3, 4}));
  SQLFreeHandle(SQL_HANDLE_STMT, h);

  h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, Text("insert into " + t + " values (?)"), SQL_NTS));
  SQLINTEGER v = 2;
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  EXPECT_EQ(SQL_ERROR, SQLExecute(h));  // a duplicate key
  EXPECT_NE(harness::DmDiagText(SQL_HANDLE_STMT, h).find("ORA-00001"), std::string::npos)
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  v = 9;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLLEN n = 0;
  SQLRowCount(h, &n);
  EXPECT_EQ(n, 1);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("5", c.One("select count(*) from " + t));
}

TEST_P(DmExec, DdlAndItsFailures) {
  const std::string t = T("ex_ddl");
  c.Run("drop table " + t);
  std::string diag;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Run("create table " + t + " (a number(10), b date)", &diag))) << diag;
  // The table exists and is empty; creating it again is an error of the
  // database with its message.
  EXPECT_EQ("0", c.One("select count(*) from " + t));
  SQLHSTMT h = c.Stmt();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("create table " + t + " (a number)"), SQL_NTS));
  auto recs = harness::DmDiags(SQL_HANDLE_STMT, h);
  ASSERT_FALSE(recs.empty());
  EXPECT_NE(recs[0].message.find("ORA-00955"), std::string::npos) << recs[0].message;
  // A statement on a missing table fails at prepare with the database's error.
  EXPECT_EQ(SQL_ERROR, SQLPrepare(h, Text("delete from ex_no_such_table"), SQL_NTS));
  recs = harness::DmDiags(SQL_HANDLE_STMT, h);
  ASSERT_FALSE(recs.empty());
  EXPECT_NE(recs[0].message.find("ORA-00942"), std::string::npos) << recs[0].message;
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  ASSERT_TRUE(SQL_SUCCEEDED(c.Run("drop table " + t, &diag))) << diag;
}

// Arrays of binary, narrow and wide text of different lengths per row: each
// row arrives with its own length, a value that fills its whole element
// with no terminator keeps its last character.
TEST_P(DmExec, ParameterArraysKeepEachRowsLength) {
  const std::string t = T("ex_lens");
  c.Table(t, "id number(5), r raw(16), v varchar2(16), w nvarchar2(16)");
  constexpr int kRows = 3;
  SQLINTEGER ids[kRows] = {1, 2, 3};
  unsigned char bin[kRows][8] = {{0x01}, {}, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE}};
  SQLLEN binLen[kRows] = {1, SQL_NULL_DATA, 5};
  char txt[kRows][6] = {{'a', 'b', 'c'}, {'1', '2', '3', '4', '5', '6'}, {'z'}};
  SQLLEN txtLen[kRows] = {3, 6, SQL_NTS};
  SQLWCHAR wide[kRows][4] = {{0x48, 0xE9}, {0x20AC, 0x41, 0x42, 0x43}, {}};
  SQLLEN wideLen[kRows] = {4, 8, 0};
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, P(kRows), 0));
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
  SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 8, 0, bin, 8, binLen);
  SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 6, 0, txt, 6, txtLen);
  SQLBindParameter(h, 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 4, 0, wide, sizeof wide[0], wideLen);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("insert into " + t + " values (?, ?, ?, ?)"), SQL_NTS)))
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLLEN n = 0;
  SQLRowCount(h, &n);
  EXPECT_EQ(n, kRows);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ((Rows{{"1", "01", "abc", "H\xC3\xA9"},
                  {"2", "<NULL>", "123456", "\xE2\x82\xAC" "ABC"},
                  {"3", "AABBCCDDEE", "z", "<NULL>"}}),
            c.Query("select id, rawtohex(r), v, w from " + t + " order by id"));
}

// ---- Translation -------------------------------------------------------------

std::string NativeSql(SQLHDBC dbc, const std::string &in, SQLRETURN *rc = nullptr) {
  char buf[1024] = "";
  SQLINTEGER len = -1;
  SQLRETURN r = SQLNativeSql(dbc, Text(in), SQL_NTS, Out(buf), sizeof buf, &len);
  if (rc) *rc = r;
  EXPECT_EQ(r, SQL_SUCCESS) << in << ": " << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(len, static_cast<SQLINTEGER>(std::strlen(buf))) << in;
  return buf;
}

TEST_P(DmExec, NativeSqlShowsTheTranslation) {
  struct {
    const char *in, *out;
  } cases[] = {
      // Scalar functions: the template with the argument list as written.
      {"select {fn UCASE(name)} from t", "select  nls_upper(name) from t"},
      {"select {fn lcase(name)} from t", "select  nls_lower(name) from t"},
      {"select {fn now()} from t", "select  sysdate from t"},
      {"select {fn log10(x)} from t", "select  log(10,(x)) from t"},
      {"select {fn ifnull(a, 0)} from t", "select  nvl(a, 0) from t"},
      {"select {fn substring(s, 1, 2)} from t", "select  substr(s, 1, 2) from t"},
      {"select {fn length(s)} from t", "select  length(rtrim((s))) from t"},
      {"select {fn month(d)} from t", "select  to_number(to_char((d),'MM')) from t"},
      {"select {fn TIMESTAMPADD(SQL_TSI_DAY, 1, d)} from t",
       "select  DARODO7.TIMESTAMPADD('SQL_TSI_DAY', 1, d) from t"},
      {"select {fn myfunc(a)} from t", "select  myfunc(a) from t"},
      {"select {fn ucase({fn ltrim(?)})} from t", "select  nls_upper( ltrim(:1)) from t"},
      // Date, time and timestamp literals.
      {"select * from t where d = {d '2001-02-03'}", "select * from t where d = TO_DATE('02032001','MMDDYYYY')"},
      {"select * from t where d = {t '04:05:06'}", "select * from t where d = TO_DATE('040506','HH24MISS')"},
      {"select * from t where d = {ts '2001-02-03 04:05:06.7'}",
       "select * from t where d = TO_DATE('02032001040506','MMDDYYYYHH24MISS')"},
      // Outer join, LIKE escape, CONVERT.
      {"select * from {oj a LEFT OUTER JOIN b ON a.x=b.x}", "select * from a LEFT JOIN b ON a.x=b.x"},
      {"select a from t where a like 'x\\_%' {escape '\\'}", "select a from t where a like 'x\\_%' ESCAPE '\\'"},
      {"select {fn CONVERT(col, SQL_INTEGER)} from t", "select trunc(to_number(col)) from t"},
      {"select {fn CONVERT(col, SQL_VARCHAR)} from t", "select to_char(col) from t"},
      {"select {fn CONVERT(col, SQL_BINARY)} from t", "select col from t"},
      // Markers are numbered in order; a quoted "?" stays.
      {"select * from t where a = ? and b = '?' and c = ?", "select * from t where a = :1 and b = '?' and c = :2"},
      {"update t set a = ?, b = ? where c = ?", "update t set a = :1, b = :2 where c = :3"},
      // Procedure calls and the comment-bracket form of an escape.
      {"{call p(?, ?)}", "p(:1, :2)"},
      {"{?=call f(?)}", ":1:=f(:2)"},
      {"select --*(fn ucase(x)--*) from t", "select  nls_upper(x) from t"},
      // ROWID in the select list.
      {"select rowid, a from t", "select rowidtochar(ROWID) as \"rowid\", a from t"},
      {"select x as rowid, y from t", "select x as rowid, y from t"},
      // FROM inside quotes or next to multi-byte characters is not the
      // FROM of the query; the text around it stays byte for byte.
      {"select 'a from b', \"\xC3\xA9" "from\xC3\xA9\" from t", "select 'a from b', \"\xC3\xA9" "from\xC3\xA9\" from t"},
      {"select a \xC3\xA9 from t", "select a \xC3\xA9 from t"},
      // Text that needs no translation, with UTF-8, comes back unchanged.
      {"insert into t values ('h\xC3\xA9llo \xE2\x82\xAC')", "insert into t values ('h\xC3\xA9llo \xE2\x82\xAC')"},
  };
  for (auto &k : cases) EXPECT_EQ(NativeSql(c.dbc, k.in), k.out) << k.in;
}

TEST_P(DmExec, NativeSqlCutsWithTheFullLength) {
  const std::string in = "select * from t where a = ?";
  const std::string out = "select * from t where a = :1";
  char buf[64];
  SQLINTEGER len = -1;
  // One byte short: the copy is cut with a NUL in the last byte.
  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLNativeSql(c.dbc, Text(in), SQL_NTS, Out(buf), static_cast<SQLINTEGER>(out.size()), &len));
  EXPECT_EQ(len, static_cast<SQLINTEGER>(out.size()));
  EXPECT_EQ(std::string(buf), out.substr(0, out.size() - 1));
  EXPECT_EQ(FirstState(SQL_HANDLE_DBC, c.dbc), "01004");
  // Exactly big enough; no buffer at all gives the length.
  EXPECT_EQ(SQL_SUCCESS, SQLNativeSql(c.dbc, Text(in), SQL_NTS, Out(buf), static_cast<SQLINTEGER>(out.size() + 1), &len));
  EXPECT_EQ(std::string(buf), out);
  len = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLNativeSql(c.dbc, Text(in), SQL_NTS, nullptr, 0, &len));
  EXPECT_EQ(len, static_cast<SQLINTEGER>(out.size()));
  // A text with a given length is taken up to it.
  EXPECT_EQ(SQL_SUCCESS, SQLNativeSql(c.dbc, Text(in + " and b = ?"), static_cast<SQLINTEGER>(in.size()), Out(buf), sizeof buf, &len));
  EXPECT_EQ(std::string(buf), out);
  // Only escapes are translated: a SELECT without FROM comes back as it
  // is, for the database to refuse when it runs.
  EXPECT_EQ(SQL_SUCCESS, SQLNativeSql(c.dbc, Text("SELECT 1"), SQL_NTS, Out(buf), sizeof buf, &len));
  EXPECT_STREQ(buf, "SELECT 1");
}

// Statements far beyond 16-bit sizes translate and run whole. SQLNativeSql
// hands out at most 65534 bytes (the agent's buffer is counted in 16 bits):
// lengths up to 65535 are exact, a longer translation is reported cut.
TEST_P(DmExec, LongStatementsTranslateAndRun) {
  const std::string t = T("ex_long");
  c.Table(t, "a number(10)");
  c.MustRun("insert into " + t + " values (7)");
  std::string sql = "select count(*) from " + t + " where a in (?";
  std::string want = "select count(*) from " + t + " where a in (:1";
  for (int i = 0; i < 6000; ++i) {
    sql += ", {fn abs(-" + std::to_string(i) + ")}";
    want += ",  abs(-" + std::to_string(i) + ")";
  }
  sql += ")";
  want += ")";
  ASSERT_GT(want.size(), 66000u);
  std::vector<char> buf(want.size() + 100);
  SQLINTEGER len = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLNativeSql(c.dbc, Text(sql), SQL_NTS, Out(buf.data()), static_cast<SQLINTEGER>(buf.size()), &len));
  EXPECT_EQ(FirstState(SQL_HANDLE_DBC, c.dbc), "01004");
  EXPECT_GE(len, 65534);
  EXPECT_EQ(std::string(buf.data()), want.substr(0, 65534));
  len = -1;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLNativeSql(c.dbc, Text(sql), SQL_NTS, nullptr, 0, &len)));
  EXPECT_GE(len, 65534);
  // A translation between 32 and 64 KiB: whole, and its length when cut.
  const std::string mid = want.substr(0, 40000);
  len = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLNativeSql(c.dbc, Text(mid), SQL_NTS, Out(buf.data()), static_cast<SQLINTEGER>(buf.size()), &len));
  EXPECT_EQ(len, 40000);
  EXPECT_EQ(std::string(buf.data()), mid);
  len = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLNativeSql(c.dbc, Text(mid), SQL_NTS, Out(buf.data()), 100, &len));
  EXPECT_EQ(std::string(buf.data()), mid.substr(0, 99));
  EXPECT_EQ(len, 40000);
  // The whole statement runs.
  SQLHSTMT h = c.Stmt();
  SQLINTEGER a = 7;
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text(sql), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  SQLINTEGER n = 0;
  SQLGetData(h, 1, SQL_C_LONG, &n, 0, nullptr);
  EXPECT_EQ(n, 1);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_P(DmExec, EscapesRunOnTheDatabase) {
  const std::string t = T("ex_esc");
  c.Table(t, "id number(10), s varchar2(20), d date, n number(10,2)");
  c.MustRun("insert into " + t + " values (1, ' Ab', {ts '2001-02-03 04:05:06'}, 2.5)");
  c.MustRun("insert into " + t + " values (2, NULL, {d '1999-12-31'}, -3)");
  c.MustRun("create table " + t + "_o (id number(10), v varchar2(5))");
  c.MustRun("insert into " + t + "_o values (1, 'one')");
  struct {
    std::string sql;
    Rows want;
  } cases[] = {
      {"select {fn ucase(s)}, {fn lcase(s)} from " + t + " where id = 1", {{" AB", " ab"}}},
      {"select {fn ltrim(s)}, {fn length(s)} from " + t + " where id = 1", {{"Ab", "3"}}},
      {"select {fn ifnull(s, 'none')} from " + t + " order by id", {{" Ab"}, {"none"}}},
      {"select {fn substring(s, 2, 2)}, {fn concat(s, 'x')} from " + t + " where id = 1", {{"Ab", " Abx"}}},
      {"select {fn abs(n)}, {fn mod(id, 2)}, {fn sign(n)} from " + t + " order by id", {{"2.5", "1", "1"}, {"3", "0", "-1"}}},
      {"select {fn floor(n)}, {fn ceiling(n)}, {fn round(n, 0)} from " + t + " where id = 1", {{"2", "3", "3"}}},
      {"select {fn year(d)}, {fn month(d)}, {fn dayofmonth(d)} from " + t + " order by id",
       {{"2001", "2", "3"}, {"1999", "12", "31"}}},
      {"select {fn hour(d)}, {fn minute(d)}, {fn second(d)} from " + t + " where id = 1", {{"4", "5", "6"}}},
      {"select id from " + t + " where d = {d '1999-12-31'}", {{"2"}}},
      {"select id from " + t + " where d = {ts '2001-02-03 04:05:06'}", {{"1"}}},
      {"select id from " + t + " where to_char(d, 'HH24:MI:SS') = to_char({t '04:05:06'}, 'HH24:MI:SS')", {{"1"}}},
      {"select {fn CONVERT(n, SQL_INTEGER)}, {fn CONVERT(id, SQL_VARCHAR)} from " + t + " order by id",
       {{"2", "1"}, {"-3", "2"}}},
      {"select a.id, b.v from {oj " + t + " a LEFT OUTER JOIN " + t + "_o b ON a.id=b.id} order by a.id",
       {{"1", "one"}, {"2", "<NULL>"}}},
      {"select id from " + t + " where s like '%A%' {escape '\\'} order by id", {{"1"}}},
      {"select {fn user()} from dual", {{"SCOTT"}}},
      {"select {fn CONVERT({fn char(65)}, SQL_CHAR)} from dual", {{"A"}}},
  };
  for (auto &k : cases) EXPECT_EQ(c.Query(k.sql), k.want) << k.sql;
  // The select-list ROWID arrives as text, named after the item.
  SQLHSTMT h = c.Stmt();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select rowid, id from " + t + " where id = 1"), SQL_NTS)))
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  char name[32] = "";
  SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(h, 1, Out(name), sizeof name, &nameLen, &type, &size, &digits, &nullable));
  EXPECT_STRCASEEQ(name, "rowid");
  EXPECT_TRUE(type == SQL_VARCHAR || type == SQL_CHAR || type == SQL_WVARCHAR || type == SQL_WCHAR) << type;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  char rowid[64] = "";
  SQLLEN ind = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(h, 1, SQL_C_CHAR, rowid, sizeof rowid, &ind)));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  ASSERT_GT(ind, 0);
  // ... and finds its row again.
  EXPECT_EQ("1", c.One("select id from " + t + " where rowid = '" + std::string(rowid) + "'"));
  // Markers become :n and bind by position.
  h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, Text("select id from " + t + " where id = ? or n = ? order by id"), SQL_NTS));
  SQLINTEGER id = 2;
  double n = 2.5;
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &n, 0, nullptr);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  int rows = 0;
  while (SQLFetch(h) == SQL_SUCCESS) ++rows;
  EXPECT_EQ(rows, 2);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  c.MustRun("drop table " + t + "_o");
}

// ---- Statement options and results ----------------------------------------

TEST_P(DmExec, MaxRowsNoScanAndQueriesPerParameterRow) {
  const std::string t = T("ex_opts");
  c.Table(t, "a number(10), b varchar2(10)");
  for (int i = 1; i <= 7; ++i) c.MustRun("insert into " + t + " values (" + std::to_string(i) + ", 'r')");
  // SQL_ATTR_MAX_ROWS caps what a query returns.
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_MAX_ROWS, P(5), 0));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select a from " + t + " order by a"), SQL_NTS)));
  int rows = 0;
  while (SQLFetch(h) == SQL_SUCCESS) ++rows;
  EXPECT_EQ(rows, 5);
  SQLFreeHandle(SQL_HANDLE_STMT, h);

  // SQL_ATTR_NOSCAN: the text goes to the database as written, so an
  // escape is not translated and the database refuses it.
  h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_NOSCAN, P(SQL_NOSCAN_ON), 0));
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("select {fn ucase(b)} from " + t), SQL_NTS));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select count(*) from " + t), SQL_NTS)))
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);

  // A query with an array of 3 parameter rows: one result per row, reached
  // with SQLMoreResults.
  h = c.Stmt();
  SQLINTEGER keys[3] = {2, 9, 5};
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, P(3), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, keys, 0, nullptr));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select count(*), max(a) from " + t + " where a <= ?"), SQL_NTS)))
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  std::vector<std::string> counts;
  SQLRETURN rc;
  do {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(h)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    char n[16] = "";
    SQLGetData(h, 1, SQL_C_CHAR, n, sizeof n, nullptr);
    counts.push_back(n);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(h));
  } while ((rc = SQLMoreResults(h)) == SQL_SUCCESS);
  EXPECT_EQ(rc, SQL_NO_DATA) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(counts, (std::vector<std::string>{"2", "7", "5"}));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_P(DmExec, EmptyStringIsntNull) {
  const std::string t = T("ex_empty");
  c.Table(t, "a number(10), s varchar2(10)");
  Conn e;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e.env), SQL_SUCCESS);
  SQLSetEnvAttr(e.env, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, e.env, &e.dbc), SQL_SUCCESS);
  const std::string in = std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;EMPTY_STRING_ISNT_NULL=Yes";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(e.dbc, nullptr, Text(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
      << harness::DmDiagText(SQL_HANDLE_DBC, e.dbc);
  // '' is stored as one blank and read back as the empty string; two blanks
  // stay two blanks; without the option '' is NULL, as Oracle has it.
  e.MustRun("insert into " + t + " values (1, '')");
  e.MustRun("insert into " + t + " values (2, '  ')");
  c.MustRun("insert into " + t + " values (3, '')");
  EXPECT_EQ((Rows{{"1", ""}, {"2", "  "}, {"3", "<NULL>"}}), e.Query("select a, s from " + t + " order by a"));
  EXPECT_EQ((Rows{{"1", " "}, {"2", "  "}, {"3", "<NULL>"}}), c.Query("select a, s from " + t + " order by a"));
  EXPECT_EQ((Rows{{"1"}}), e.Query("select a from " + t + " where s = ''"));
  char buf[64] = "";
  ASSERT_EQ(SQL_SUCCESS, SQLNativeSql(e.dbc, Text("update t set s = '' where x = ''''"), SQL_NTS, Out(buf), sizeof buf, nullptr));
  EXPECT_STREQ(buf, "update t set s = ' ' where x = ''''");
}

TEST_P(DmExec, ProcedureCallsAreRefusedCleanly) {
  SQLHSTMT h = c.Stmt();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("{call p(?)}"), SQL_NTS));
  EXPECT_FALSE(FirstState(SQL_HANDLE_STMT, h).empty());
  // The statement and connection go on.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select 1 from dual"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// A query that begins with WITH returns its rows, also on a read-only
// connection.
TEST_P(DmExec, QueriesBeginningWithWith) {
  const std::string t = T("ex_with");
  c.Table(t, "a number(10)");
  c.MustRun("insert into " + t + " values (3)");
  c.MustRun("insert into " + t + " values (4)");
  const std::string q = "with x as (select a from " + t + " where a > ?) select a * 2 from x order by 1";
  SQLHSTMT h = c.Stmt();
  SQLINTEGER from = 3;
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &from, 0, nullptr);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text(q), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLSMALLINT cols = 0;
  SQLNumResultCols(h, &cols);
  EXPECT_EQ(cols, 1);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLINTEGER v = 0;
  SQLGetData(h, 1, SQL_C_LONG, &v, 0, nullptr);
  EXPECT_EQ(v, 8);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(h));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  Conn ro;
  ASSERT_TRUE(ro.Open(GetParam(), {{SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY}}));
  EXPECT_EQ((Rows{{"6"}, {"8"}}), ro.Query("WITH x AS (SELECT a FROM " + t + ") SELECT a * 2 FROM x ORDER BY 1"));
}

// ---- Transactions ------------------------------------------------------------

TEST_P(DmExec, AutocommitOnAndOffWithCommitAndRollback) {
  const std::string t = T("ex_txn");
  c.Table(t, "a number(10)");
  Conn other;
  ASSERT_TRUE(other.Open(GetParam()));
  const std::string count = "select count(*) from " + t;

  // Autocommit on (the default): each statement is committed by itself.
  SQLUINTEGER ac = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, &ac, 0, nullptr));
  EXPECT_EQ(ac, SQL_AUTOCOMMIT_ON);
  c.MustRun("insert into " + t + " values (1)");
  EXPECT_EQ("1", other.One(count));

  // Off: the other connection sees nothing until the commit.
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_OFF), 0));
  c.MustRun("insert into " + t + " values (2)");
  c.MustRun("update " + t + " set a = 10 where a = 1");
  EXPECT_EQ("2", c.One(count));
  EXPECT_EQ((Rows{{"1"}}), other.Query("select a from " + t));
  ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT)) << harness::DmDiagText(SQL_HANDLE_DBC, c.dbc);
  EXPECT_EQ((Rows{{"2"}, {"10"}}), other.Query("select a from " + t + " order by a"));

  // Rolled back: gone for both, also work of a prepared statement.
  c.MustRun("insert into " + t + " values (3)");
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, Text("delete from " + t + " where a = 2"), SQL_NTS));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ((Rows{{"3"}, {"10"}}), c.Query("select a from " + t + " order by a"));
  ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_ROLLBACK)) << harness::DmDiagText(SQL_HANDLE_DBC, c.dbc);
  EXPECT_EQ((Rows{{"2"}, {"10"}}), c.Query("select a from " + t + " order by a"));
  EXPECT_EQ((Rows{{"2"}, {"10"}}), other.Query("select a from " + t + " order by a"));

  // The environment's SQLEndTran commits its connections too.
  c.MustRun("insert into " + t + " values (4)");
  EXPECT_EQ("2", other.One(count));
  ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, c.env, SQL_COMMIT));
  EXPECT_EQ("3", other.One(count));

  // Switching autocommit back on commits what is open.
  c.MustRun("insert into " + t + " values (5)");
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_ON), 0));
  EXPECT_EQ("4", other.One(count));
  c.MustRun("insert into " + t + " values (6)");
  EXPECT_EQ("5", other.One(count));

  // Rollback with autocommit on, as pools and Node's odbc package do before
  // each disconnect: nothing to undo, a plain success, nothing sent; the
  // disconnect that follows succeeds.
  const unsigned rollbacks = ocilite_test_calls(OCILITE_T_ROLLBACK);
  ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_ROLLBACK)) << harness::DmDiagText(SQL_HANDLE_DBC, c.dbc);
  EXPECT_EQ(rollbacks, ocilite_test_calls(OCILITE_T_ROLLBACK));
  EXPECT_EQ("5", other.One(count));
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(c.dbc));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, c.dbc));
  c.dbc = SQL_NULL_HDBC;
}

// In autocommit mode a DML statement is committed by its own execute: an
// array of 10 rows is one execute with no separate commit, and a warning
// from that execute reports success with its record, the row committed.
TEST_P(DmExec, AutocommitCommitsWithTheExecute) {
  const std::string t = T("ex_txn1");
  c.Table(t, "a number(10)");
  Conn other;
  ASSERT_TRUE(other.Open(GetParam()));
  SQLHSTMT h = c.Stmt();
  SQLINTEGER vals[10];
  for (int i = 0; i < 10; ++i) vals[i] = i + 1;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, P(10), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, vals, 0, nullptr));
  const unsigned executes = ocilite_test_calls(OCILITE_T_EXECUTE), commits = ocilite_test_calls(OCILITE_T_COMMIT);
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, Text("insert into " + t + " values (?)"), SQL_NTS))
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(ocilite_test_calls(OCILITE_T_EXECUTE), executes + 1);
  EXPECT_EQ(ocilite_test_calls(OCILITE_T_COMMIT), commits);
  SQLLEN n = 0;
  SQLRowCount(h, &n);
  EXPECT_EQ(n, 10);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("10", other.One("select count(*) from " + t));

  h = c.Stmt();
  ocilite_test_fault(OCILITE_T_EXECUTE, 1, 1, 24347, 1, nullptr);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLExecDirect(h, Text("insert into " + t + " values (11)"), SQL_NTS));
  EXPECT_NE(harness::DmDiagText(SQL_HANDLE_STMT, h).find("ORA-24347"), std::string::npos)
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLRowCount(h, &n);
  EXPECT_EQ(n, 1);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("11", other.One("select count(*) from " + t));
}

// A prepare answering with a warning did its work: SQLPrepare reports
// SQL_SUCCESS_WITH_INFO with the ORA- text, and the statement runs.
TEST_P(DmExec, PrepareWarningReachesTheApplication) {
  const std::string t = T("ex_warn");
  c.Table(t, "a number(10)");
  c.MustRun("insert into " + t + " values (1)");
  SQLHSTMT h = c.Stmt();
  ocilite_test_fault(OCILITE_T_PREPARE, 1, 1, 24347, 1, nullptr);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLPrepare(h, Text("select a from " + t), SQL_NTS));
  const std::string diag = harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_NE(diag.find("ORA-24347"), std::string::npos) << diag;
  ocilite_test_reset();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(SQLFetch(h), SQL_SUCCESS);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// Commit and rollback that answer with a warning did their work: SQLEndTran
// reports SQL_SUCCESS_WITH_INFO with the ORA- text; one that fails reports
// SQL_ERROR with it and the transaction stays to be ended.
TEST_P(DmExec, CommitAndRollbackWarningsAndFailuresKeepTheirText) {
  const std::string t = T("ex_endwarn");
  c.Table(t, "a number(10)");
  Conn manual, other;
  ASSERT_TRUE(manual.Open(GetParam(), {{SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF}}));
  ASSERT_TRUE(other.Open(GetParam()));
  // unixODBC asks the driver for its cursor behaviour after a connection's
  // first commit and first rollback, which clears that call's diagnostics
  // before the application can read them: one of each first.
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, manual.dbc, SQL_COMMIT));
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, manual.dbc, SQL_ROLLBACK));
  struct Case {
    SQLSMALLINT how;
    int kind, warning;
    SQLRETURN rc;
    const char *seen;  // rows another session sees right after
  } cases[] = {
      {SQL_ROLLBACK, OCILITE_T_ROLLBACK, 1, SQL_SUCCESS_WITH_INFO, "0"},
      {SQL_COMMIT, OCILITE_T_COMMIT, 1, SQL_SUCCESS_WITH_INFO, "1"},
      {SQL_COMMIT, OCILITE_T_COMMIT, 0, SQL_ERROR, "0"},
      {SQL_ROLLBACK, OCILITE_T_ROLLBACK, 0, SQL_ERROR, "0"},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(std::string(k.how == SQL_COMMIT ? "commit" : "rollback") + (k.warning ? " warning" : " failure"));
    manual.MustRun("insert into " + t + " values (2)");
    ocilite_test_fault(k.kind, 1, 1, 24347, k.warning, nullptr);
    EXPECT_EQ(k.rc, SQLEndTran(SQL_HANDLE_DBC, manual.dbc, k.how));
    const std::string diag = harness::DmDiagText(SQL_HANDLE_DBC, manual.dbc);
    EXPECT_NE(diag.find("ORA-24347"), std::string::npos) << diag;
    ocilite_test_reset();
    EXPECT_EQ(k.seen, other.One("select count(*) from " + t));
    // Whatever is left of the transaction ends; the table empties again.
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, manual.dbc, SQL_ROLLBACK));
    manual.MustRun("delete from " + t);
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, manual.dbc, SQL_COMMIT));
  }
}

// A logoff or the rollback before it that fails or warns still
// disconnects: SQLDisconnect answers SQL_SUCCESS_WITH_INFO with the ORA- text
// (a failure's as 01002), and the handle connects again.
TEST_P(DmExec, FailedLogoffIsADisconnectWithItsText) {
  const std::string t = T("ex_logoff");
  c.Table(t, "a number(10)");
  struct Case {
    int kind, warning, ora;
    bool open;           // a transaction is open: the disconnect rolls it back
    const char *state;   // of the first record; "" any
  } cases[] = {
      {OCILITE_T_SESSION_END, 0, 3113, false, "01002"},
      {OCILITE_T_SESSION_END, 1, 24345, false, ""},
      {OCILITE_T_ROLLBACK, 1, 24345, true, ""},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(std::to_string(k.kind) + (k.warning ? " warning" : " failure"));
    Conn d;
    ASSERT_TRUE(d.Open(GetParam(), {{SQL_ATTR_AUTOCOMMIT, k.open ? SQL_AUTOCOMMIT_OFF : SQL_AUTOCOMMIT_ON}}));
    if (k.open) d.MustRun("insert into " + t + " values (1)");
    ocilite_test_fault(k.kind, 1, 1, k.ora, k.warning, nullptr);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLDisconnect(d.dbc));
    ocilite_test_reset();
    const auto recs = harness::DmDiags(SQL_HANDLE_DBC, d.dbc);
    ASSERT_FALSE(recs.empty());
    if (*k.state) {
      EXPECT_EQ(k.state, recs[0].state);
    }
    const std::string ora = "ORA-" + std::to_string(100000 + k.ora).substr(1);
    EXPECT_NE(recs[0].message.find(ora), std::string::npos) << recs[0].message;
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLConnect(d.dbc, Text(GetParam()), SQL_NTS, Text("scott"), SQL_NTS, Text("tiger"), SQL_NTS)))
        << harness::DmDiagText(SQL_HANDLE_DBC, d.dbc);
    EXPECT_EQ("0", d.One("select count(*) from " + t));
  }
}

// Through the Driver Manager too: an unknown SQL type is refused when bound,
// never run; an unknown C type likewise.
TEST_P(DmExec, UnknownTypesAreRefusedWhenBound) {
  SQLHSTMT h = c.Stmt();
  SQLINTEGER value = 1;
  SQLLEN ind = 0;
  EXPECT_EQ(SQL_ERROR, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, 9999, 10, 0, &value, 0, &ind));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "HY004") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(SQL_ERROR, SQLBindCol(h, 1, 9999, &value, sizeof value, &ind));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "HY003") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// Each OCI handle a connect makes failing in turn: OCI has no text for
// that, so the connect fails with HY001, never 08004 or a bare general
// error; nothing is left behind, and once no allocation fails it connects.
TEST_P(DmExec, AConnectWhoseHandleCannotBeMadeIsOutOfMemory) {
  bool connected = false;
  int refused = 0;
  for (int nth = 1; nth <= 20 && !connected; ++nth) {
    SCOPED_TRACE(nth);
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    ocilite_test_fault(OCILITE_T_HANDLE_ALLOC, nth, 1, 1019, 0, nullptr);
    const SQLRETURN rc =
        SQLConnect(dbc, Text(GetParam()), SQL_NTS, Text("scott"), SQL_NTS, Text("tiger"), SQL_NTS);
    ocilite_test_reset();
    connected = SQL_SUCCEEDED(rc);
    if (connected) {
      EXPECT_EQ("1", dm_db::One(dbc, "select count(*) from dual"));
      SQLDisconnect(dbc);
    } else {
      ++refused;
      EXPECT_EQ(FirstState(SQL_HANDLE_DBC, dbc), "HY001") << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  EXPECT_TRUE(connected);
  EXPECT_GE(refused, 4);  // service context, server, session and transaction at least
}

TEST_P(DmExec, AutocommitOffBeforeConnect) {
  const std::string t = T("ex_txn0");
  c.Table(t, "a number(10)");
  Conn manual, other;
  ASSERT_TRUE(manual.Open(GetParam(), {{SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF}}));
  ASSERT_TRUE(other.Open(GetParam()));
  manual.MustRun("insert into " + t + " values (1)");
  EXPECT_EQ("0", other.One("select count(*) from " + t));
  ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, manual.dbc, SQL_COMMIT));
  EXPECT_EQ("1", other.One("select count(*) from " + t));
}

// ---- Time-out and cancel -----------------------------------------------------

TEST_P(DmExec, QueryTimeoutEndsASlowStatementAndTheConnectionStaysUsable) {
  const std::string t = T("ex_tmo");
  c.Table(t, "a number(10)");
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, P(1), 0));
  SQLULEN got = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, &got, 0, nullptr));
  EXPECT_EQ(got, 1u);
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  const unsigned breaks = ocilite_test_calls(OCILITE_T_BREAK);
  Clock::time_point start = Clock::now();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("insert into " + t + " values (1)"), SQL_NTS));
  double took = Seconds(start);
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "HYT00") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_GE(took, 0.9);
  EXPECT_LT(took, 10.0);
  EXPECT_EQ(ocilite_test_calls(OCILITE_T_BREAK), breaks + 1);
  // A query times out the same way.
  start = Clock::now();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("select a from " + t), SQL_NTS));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "HYT00") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_LT(Seconds(start), 10.0);
  // Same statement and connection go on working; nothing was inserted.
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("insert into " + t + " values (2)"), SQL_NTS)))
      << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLLEN n = 0;
  SQLRowCount(h, &n);
  EXPECT_EQ(n, 1);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ((Rows{{"2"}}), c.Query("select a from " + t));
}

// In an ODBC 2 application a time-out set on the connection applies to its
// statements.
TEST_P(DmExec, QueryTimeoutSetOnTheConnection) {
  Conn v2;
  ASSERT_TRUE(v2.Open(GetParam(), {}, SQL_OV_ODBC2));
  const std::string t = T("ex_tmoc");
  v2.Table(t, "a number(10)");
  SQLHSTMT h = v2.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(v2.dbc, SQL_QUERY_TIMEOUT, 1)) << harness::DmDiagText(SQL_HANDLE_DBC, v2.dbc);
  SQLULEN got = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(h, SQL_QUERY_TIMEOUT, &got));
  EXPECT_EQ(got, 1u);
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("insert into " + t + " values (1)"), SQL_NTS));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "S1T00") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_LT(Seconds(start), 10.0);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// Statements allocated after SQLSetConnectOption take its time-out, row
// limit and no-scan setting, and apply them: also when the statement's
// concurrency or cursor type is set before its first prepare.
TEST_P(DmExec, NewStatementsApplyTheConnectionsOptions) {
  Conn v2;
  ASSERT_TRUE(v2.Open(GetParam(), {}, SQL_OV_ODBC2));
  const std::string t = T("ex_inherit");
  v2.Table(t, "a number(10)");
  for (int i = 0; i < 5; ++i) v2.MustRun("insert into " + t + " values (1)");
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(v2.dbc, SQL_MAX_ROWS, 2));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(v2.dbc, SQL_QUERY_TIMEOUT, 1));
  const std::pair<SQLUSMALLINT, SQLULEN> setFirst[] = {
      {0, 0}, {SQL_CONCURRENCY, SQL_CONCUR_LOCK}, {SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY}};
  for (const auto &[option, value] : setFirst) {
    SCOPED_TRACE(option);
    SQLHSTMT h = v2.Stmt();
    if (option != 0) {
      ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtOption(h, option, value))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    }
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select a from " + t), SQL_NTS)));
    int rows = 0;
    while (SQLFetch(h) == SQL_SUCCESS) ++rows;
    EXPECT_EQ(rows, 2);
    SQLFreeStmt(h, SQL_CLOSE);
    ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("insert into " + t + " values (1)"), SQL_NTS));
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "S1T00") << harness::DmDiagText(SQL_HANDLE_STMT, h);
    EXPECT_LT(Seconds(start), 10.0);
    ocilite_test_slow(OCILITE_T_EXECUTE, 0);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }

  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(v2.dbc, SQL_NOSCAN, SQL_NOSCAN_ON));
  SQLHSTMT h = v2.Stmt();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("select {fn ucase('a')} from dual"), SQL_NTS));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// Runs the statement on a second thread and cancels it from this one once
// the stand-in has begun its execute. A cancel that comes before the execute
// is inside OCI has nothing to break yet, so it is repeated while the
// statement still runs; never after it has ended, when SQLCancel would close
// the statement and replace its diagnostics.
SQLRETURN ExecuteAndCancel(SQLHSTMT h, const std::string &sql, double *took, SQLRETURN *cancelRc) {
  const unsigned before = ocilite_test_calls(OCILITE_T_EXECUTE);
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  SQLRETURN rc = SQL_SUCCESS;
  const Clock::time_point start = Clock::now();
  std::thread worker([&] {
    SQLRETURN r = SQLExecDirect(h, Text(sql), SQL_NTS);
    std::lock_guard<std::mutex> g(mu);
    rc = r;
    done = true;
    cv.notify_all();
  });
  while (ocilite_test_calls(OCILITE_T_EXECUTE) == before && Seconds(start) < 30) std::this_thread::yield();
  *cancelRc = SQL_SUCCESS;
  std::unique_lock<std::mutex> lock(mu);
  while (!done && Seconds(start) < 30) {
    SQLRETURN c = SQLCancel(h);
    if (c != SQL_SUCCESS) *cancelRc = c;
    cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; });
  }
  lock.unlock();
  worker.join();
  *took = Seconds(start);
  return rc;
}

TEST_P(DmExec, CancelFromASecondThreadEndsARunningStatement) {
  const std::string t = T("ex_cancel");
  c.Table(t, "a number(10)");
  // Blocking execution (no time-out) and polling execution (time-out set).
  for (SQLULEN timeout : {0, 60}) {
    SCOPED_TRACE(timeout);
    SQLHSTMT h = c.Stmt();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, P(static_cast<intptr_t>(timeout)), 0));
    ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
    double took = 0;
    SQLRETURN cancelRc = SQL_ERROR;
    EXPECT_EQ(SQL_ERROR, ExecuteAndCancel(h, "insert into " + t + " values (1)", &took, &cancelRc));
    EXPECT_EQ(cancelRc, SQL_SUCCESS);
    EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "HY008") << harness::DmDiagText(SQL_HANDLE_STMT, h);
    EXPECT_LT(took, 10.0);
    ocilite_test_slow(OCILITE_T_EXECUTE, 0);
    // The statement runs again at once.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("insert into " + t + " values (2)"), SQL_NTS)))
        << harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  EXPECT_EQ((Rows{{"2"}, {"2"}}), c.Query("select a from " + t));
  // A query is cancelled the same way, and the statement runs it again.
  SQLHSTMT q = c.Stmt();
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  double took = 0;
  SQLRETURN cancelRc = SQL_ERROR;
  EXPECT_EQ(SQL_ERROR, ExecuteAndCancel(q, "select a from " + t, &took, &cancelRc));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, q), "HY008") << harness::DmDiagText(SQL_HANDLE_STMT, q);
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(q, Text("select a from " + t), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, q);
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(q));
  SQLFreeHandle(SQL_HANDLE_STMT, q);
  // SQLCancel on a statement that runs nothing is a success and breaks
  // nothing.
  const unsigned breaks = ocilite_test_calls(OCILITE_T_BREAK);
  SQLHSTMT idle = c.Stmt();
  EXPECT_EQ(SQL_SUCCESS, SQLCancel(idle));
  SQLFreeHandle(SQL_HANDLE_STMT, idle);
  EXPECT_EQ(ocilite_test_calls(OCILITE_T_BREAK), breaks);
}

// A statement that waits for a row another connection holds is ended by
// its time-out and by SQLCancel alike, and the waiting connection goes on.
TEST_P(DmExec, TimeOutAndCancelEndAWaitForALock) {
  const std::string t = T("ex_lock");
  c.Table(t, "a number(10)");
  c.MustRun("insert into " + t + " values (1)");
  Conn holder;
  ASSERT_TRUE(holder.Open(GetParam(), {{SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF}}));
  holder.MustRun("update " + t + " set a = 2");
  // Time-out.
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, P(1), 0));
  Clock::time_point start = Clock::now();
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("update " + t + " set a = 3"), SQL_NTS));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "HYT00") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_LT(Seconds(start), 10.0);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  // Cancel of a blocking wait.
  h = c.Stmt();
  double took = 0;
  SQLRETURN cancelRc = SQL_ERROR;
  EXPECT_EQ(SQL_ERROR, ExecuteAndCancel(h, "update " + t + " set a = 4", &took, &cancelRc));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "HY008") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_LT(took, 10.0);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  // Once the holder is done the update goes through.
  ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, holder.dbc, SQL_COMMIT));
  c.MustRun("update " + t + " set a = a + 10");
  EXPECT_EQ("12", c.One("select a from " + t));
}

TEST_P(DmExec, CancelInOdbc2) {
  Conn v2;
  ASSERT_TRUE(v2.Open(GetParam(), {}, SQL_OV_ODBC2));
  const std::string t = T("ex_v2c");
  v2.Table(t, "a number(10)");
  SQLHSTMT h = v2.Stmt();
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  double took = 0;
  SQLRETURN cancelRc = SQL_ERROR;
  EXPECT_EQ(SQL_ERROR, ExecuteAndCancel(h, "insert into " + t + " values (1)", &took, &cancelRc));
  EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "S1008") << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// ---- Read-only connections ---------------------------------------------------

// Read-only is decided when the connection opens: asked for with
// SQL_ATTR_ACCESS_MODE before SQLConnect or with ReadOnly=Yes in the
// connection string. Such a connection runs queries and refuses every other
// statement already at prepare.
TEST_P(DmExec, ReadOnlyConnectionRefusesDmlAndRunsSelect) {
  const std::string t = T("ex_ro");
  c.Table(t, "a number(10)");
  c.MustRun("insert into " + t + " values (1)");
  for (bool byAttribute : {true, false}) {
    SCOPED_TRACE(byAttribute ? "SQL_ATTR_ACCESS_MODE before connect" : "ReadOnly=Yes");
    Conn ro;
    if (byAttribute) {
      ASSERT_TRUE(ro.Open(GetParam(), {{SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY}}));
    } else {
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &ro.env), SQL_SUCCESS);
      SQLSetEnvAttr(ro.env, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0);
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, ro.env, &ro.dbc), SQL_SUCCESS);
      const std::string in = std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;ReadOnly=Yes";
      SQLRETURN rc = SQLDriverConnect(ro.dbc, nullptr, Text(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
      ASSERT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, ro.dbc);
    }
    SQLUINTEGER mode = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(ro.dbc, SQL_ATTR_ACCESS_MODE, &mode, 0, nullptr));
    EXPECT_EQ(mode, SQL_MODE_READ_ONLY);
    for (const std::string &sql : {"insert into " + t + " values (2)", "update " + t + " set a = 3",
                                   "delete from " + t, "create table " + t + "_x (a number)"}) {
      SCOPED_TRACE(sql);
      SQLHSTMT h = ro.Stmt();
      EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text(sql), SQL_NTS));
      auto recs = harness::DmDiags(SQL_HANDLE_STMT, h);
      ASSERT_FALSE(recs.empty());
      EXPECT_EQ(recs[0].state, "IM916");
      EXPECT_NE(recs[0].message.find("Only SELECT statements are allowed during a read-only connection."),
                std::string::npos)
          << recs[0].message;
      EXPECT_EQ(SQL_ERROR, SQLPrepare(h, Text(sql), SQL_NTS));
      EXPECT_EQ(FirstState(SQL_HANDLE_STMT, h), "IM916");
      SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
    EXPECT_EQ((Rows{{"1"}}), ro.Query("select a from " + t));
    EXPECT_EQ((Rows{{"1"}}), ro.Query("(select a from " + t + ")"));
  }
  EXPECT_EQ((Rows{{"1"}}), c.Query("select a from " + t));
}

// After the connect, the access mode is a hint that reads back as set; the
// connection keeps running what it ran before.
TEST_P(DmExec, AccessModeAfterConnectIsAHint) {
  const std::string t = T("ex_ro2");
  c.Table(t, "a number(10)");
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(c.dbc, SQL_ATTR_ACCESS_MODE, P(SQL_MODE_READ_ONLY), 0))
      << harness::DmDiagText(SQL_HANDLE_DBC, c.dbc);
  SQLUINTEGER mode = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(c.dbc, SQL_ATTR_ACCESS_MODE, &mode, 0, nullptr));
  EXPECT_EQ(mode, SQL_MODE_READ_ONLY);
  c.MustRun("insert into " + t + " values (1)");
  EXPECT_EQ((Rows{{"1"}}), c.Query("select a from " + t));
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmExec, ::testing::Values("kvd_exec_w", "kvd_exec_a"),
                         [](const auto &info) { return std::string(info.param) == "kvd_exec_w" ? "Unicode" : "Ansi"; });

}  // namespace
