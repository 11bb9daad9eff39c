// Procedure and function calls end to end as applications make them: both
// drivers loaded by unixODBC, the real agent, a database of the OCI
// stand-in holding the stored code below.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../exec/dm_db.h"
#include "harness.h"
#include "ocilite.h"

namespace {

using dm_db::Conn;
using dm_db::Database;
using dm_db::Rows;

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }

// The stored code every case calls.
const char *const kFixture[] = {
    "create table PROC_EMP (empno number(4), ename varchar2(10), deptno number(2))",
    "insert into PROC_EMP values (7369, 'SMITH', 20)",
    "insert into PROC_EMP values (7499, 'ALLEN', 30)",
    "insert into PROC_EMP values (7521, 'WARD', 30)",
    "insert into PROC_EMP values (7566, 'JONES', 20)",
    "create table PROC_DEPT (deptno number(2), dname varchar2(14))",
    "insert into PROC_DEPT values (10, 'ACCOUNTING')",
    "insert into PROC_DEPT values (20, 'RESEARCH')",
    "insert into PROC_DEPT values (30, 'SALES')",
    "create table PROC_LOG (n number, tag varchar2(10))",
    "create or replace procedure P_IO(a IN NUMBER, b OUT VARCHAR2, c IN OUT DATE) as\n"
    "begin\n  b := 'n=' || a;\n  c := c + 1;\nend;",
    "create or replace procedure P_ECHO(s IN VARCHAR2, r OUT VARCHAR2) as\nbegin\n  r := s;\nend;",
    "create or replace procedure P_TWICE(s IN OUT VARCHAR2) as\nbegin\n  s := s || s;\nend;",
    "create or replace function F_ADD(x NUMBER) return NUMBER as\nbegin\n  return x + 1;\nend;",
    "create or replace procedure P_TWO(rc1 OUT SYS_REFCURSOR, n NUMBER, rc2 OUT SYS_REFCURSOR) as\n"
    "begin\n"
    "  open rc1 for select empno, ename from PROC_EMP where deptno = n order by empno;\n"
    "  open rc2 for select deptno, dname from PROC_DEPT where deptno >= n order by deptno;\n"
    "end;",
    "create or replace procedure P_MIX(rc OUT SYS_REFCURSOR, total OUT NUMBER) as\n"
    "begin\n"
    "  open rc for select empno from PROC_EMP order by empno;\n"
    "  select count(*) into total from PROC_EMP;\n"
    "end;",
    "create or replace function F_RC(n NUMBER) return SYS_REFCURSOR as\n"
    "  c SYS_REFCURSOR;\n"
    "begin\n"
    "  open c for select ename from PROC_EMP where deptno = n order by ename;\n"
    "  return c;\n"
    "end;",
    "create or replace procedure P_ERR(n NUMBER) as\n"
    "begin\n"
    "  insert into PROC_LOG values (n, 'err');\n"
    "  if n < 0 then\n    raise_application_error(-20001, 'negative: ' || n);\n  end if;\n"
    "end;",
    "create or replace procedure P_INS(n NUMBER) as\nbegin\n  insert into PROC_LOG values (n, 'ins');\nend;",
    "create or replace procedure P_NOARGS as\nbegin\n  null;\nend;",
    "create or replace procedure P_NUM(v IN VARCHAR2, r OUT NUMBER) as\nbegin\n  r := v;\nend;",
    "create or replace procedure P_NUM10(v IN VARCHAR2, r OUT NUMBER(10)) as\nbegin\n  r := v;\nend;",
    "create or replace procedure P_NUM102(v IN VARCHAR2, r OUT NUMBER(10,2)) as\nbegin\n  r := v;\nend;",
    "create or replace procedure P_CLOB(c IN CLOB, r OUT CLOB, io IN OUT CLOB) as\n"
    "begin\n  r := c;\n  io := c;\nend;",
    "create or replace procedure P_BLOB(b IN BLOB, r OUT BLOB, io IN OUT BLOB) as\n"
    "begin\n  r := b;\n  io := b;\nend;",
    "create or replace procedure P_CHR(v IN VARCHAR2, r OUT CHAR) as\n  x CHAR(6);\nbegin\n  x := v;\n  r := x;\nend;",
    "create or replace package PKG as\n"
    "  procedure PROC(a NUMBER, b OUT VARCHAR2);\n"
    "  function FN(a NUMBER) return NUMBER;\n"
    "  procedure OV(a NUMBER);\n"
    "  procedure OV(a NUMBER, b NUMBER);\n"
    "  procedure GET(a OUT VARCHAR2);\n"
    "  procedure GET_ALL(a NUMBER, b OUT VARCHAR2);\n"
    "end;",
    "create or replace package body PKG as\n"
    "  procedure PROC(a NUMBER, b OUT VARCHAR2) is\n  begin\n    b := 'pkg ' || a;\n  end;\n"
    "  function FN(a NUMBER) return NUMBER is\n  begin\n    return a * 2;\n  end;\n"
    "  procedure OV(a NUMBER) is\n  begin\n    null;\n  end;\n"
    "  procedure OV(a NUMBER, b NUMBER) is\n  begin\n    null;\n  end;\n"
    "  procedure GET(a OUT VARCHAR2) is\n  begin\n    a := 'get';\n  end;\n"
    "  procedure GET_ALL(a NUMBER, b OUT VARCHAR2) is\n  begin\n    b := 'all ' || a;\n  end;\n"
    "end;",
};

// Every row of the statement's current result as texts.
Rows Fetch(SQLHSTMT h) {
  SQLSMALLINT cols = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &cols));
  return dm_db::Fetch(h);
}

harness::DiagRec First(SQLSMALLINT type, SQLHANDLE h) {
  auto recs = harness::DmDiags(type, h);
  return recs.empty() ? harness::DiagRec{} : recs[0];
}

class DmProc : public ::testing::TestWithParam<const char *> {
 protected:
  Conn c;

  void SetUp() override {
    ASSERT_FALSE(Database().empty());
    harness::DmInit({{"kvd_proc_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                     {"kvd_proc_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}}});
    ocilite_test_reset();
    ASSERT_TRUE(c.DriverOpen(GetParam()));
    static bool made = false;
    if (!made) {
      for (const char *sql : kFixture) c.MustRun(sql);
      made = true;
    }
  }
  void TearDown() override { ocilite_test_reset(); }
  bool Wide() const { return std::strcmp(GetParam(), "kvd_proc_w") == 0; }
  // A number of this driver's own for rows both drivers write.
  int Own(int n) const { return Wide() ? n : n + 1000; }
};

TEST_P(DmProc, PrepareDescribesTheCallsParameters) {
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, Text("{call P_IO(?, ?, ?)}"), SQL_NTS)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLSMALLINT n = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNumParams(h, &n));
  EXPECT_EQ(3, n);
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  EXPECT_EQ(0, n);
  // Packaged subprograms are found whole: GET_ALL is not GET.
  for (const char *sql : {"{call PKG.PROC(?, ?)}", "{? = call PKG.FN(?)}", "{call SCOTT.PKG.PROC(?, ?)}",
                          "{call PKG.GET_ALL(?, ?)}", "{call P_NOARGS}", "{call P_NOARGS()}", "{? = call F_ADD(?)}"}) {
    EXPECT_EQ(SQL_SUCCESS, SQLPrepare(h, Text(sql), SQL_NTS)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_P(DmProc, CallsThatCannotRunAreRefusedAtPrepare) {
  const std::string longName(220, 'P');
  const struct {
    std::string sql;
    const char *state;
    SQLINTEGER native;  // 0: any
  } cases[] = {
      {"{call NO_SUCH_PROC(?)}", nullptr, 4043},
      {"{call PKG.NO_SUCH(?)}", "HY000", 0},
      {"{call P_IO(to_date(?, 'YYYY'), ?, ?)}", "HY000", 0},
      {"{call " + longName + "(?)}", "42000", 0},
      {"{call P_IO(?, ?, ?) x}", nullptr, 0},
  };
  for (const auto &k : cases) {
    SCOPED_TRACE(k.sql);
    SQLHSTMT h = c.Stmt();
    EXPECT_EQ(SQL_ERROR, SQLPrepare(h, Text(k.sql), SQL_NTS));
    const harness::DiagRec d = First(SQL_HANDLE_STMT, h);
    EXPECT_FALSE(d.state.empty());
    if (k.state) {
      EXPECT_EQ(k.state, d.state) << d.message;
    }
    if (k.native) {
      EXPECT_EQ(k.native, d.native) << d.message;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  // A read-only connection runs no call.
  Conn ro;
  ASSERT_TRUE(ro.DriverOpen(GetParam(), ";ReadOnly=Yes"));
  SQLHSTMT h = ro.Stmt();
  EXPECT_EQ(SQL_ERROR, SQLPrepare(h, Text("{call P_NOARGS}"), SQL_NTS));
  EXPECT_EQ("IM916", First(SQL_HANDLE_STMT, h).state);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// Output and IN OUT values are in the application's buffers right after
// SQLExecute, in every C type asked.
TEST_P(DmProc, OutputValuesRightAfterExecute) {
  SQLHSTMT h = c.Stmt();
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, Text("{call P_IO(?, ?, ?)}"), SQL_NTS)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLINTEGER a = 5;
  char b[64] = "";
  SQLWCHAR wb[64] = {};
  SQL_DATE_STRUCT d{2024, 2, 28};
  SQLLEN bLen = 0, dLen = sizeof d;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &d,
                                          sizeof d, &dLen));
  for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
    SCOPED_TRACE(cType);
    d = SQL_DATE_STRUCT{2024, 2, 28};
    if (cType == SQL_C_CHAR)
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 60, 0, b, sizeof b, &bLen));
    else
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, 60, 0, wb, sizeof wb,
                                              &bLen));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    if (cType == SQL_C_CHAR) {
      EXPECT_STREQ("n=5", b);
      EXPECT_EQ(3, bLen);
    } else {
      EXPECT_EQ("n=5", harness::FromW(wb, static_cast<size_t>(bLen) / sizeof(SQLWCHAR)));
    }
    EXPECT_EQ(2024, d.year);
    EXPECT_EQ(2, d.month);
    EXPECT_EQ(29, d.day);
    SQLSMALLINT cols = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &cols));
    EXPECT_EQ(0, cols);
    SQLFreeStmt(h, SQL_CLOSE);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// Character OUT values come back whole: non-ASCII text as either C type, and
// a value of 32,000 characters.
TEST_P(DmProc, CharacterOutputsWhole) {
  const std::string nonAscii = "\xC3\xA4\xC3\xB6\xE2\x82\xAC x";  // äö€ x
  for (const std::string &in : {nonAscii, std::string(32000, 'q')}) {
    SCOPED_TRACE(in.size());
    SQLHSTMT h = c.Stmt();
    std::vector<char> out(in.size() * 4 + 8);
    std::vector<SQLWCHAR> wout(in.size() + 8);
    SQLLEN inLen = static_cast<SQLLEN>(in.size()), outLen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, in.size(), 0,
                                            const_cast<char *>(in.data()), inLen, &inLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, in.size(), 0, out.data(),
                                            static_cast<SQLLEN>(out.size()), &outLen));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_ECHO(?, ?)}"), SQL_NTS)))
        << harness::DmDiagText(SQL_HANDLE_STMT, h);
    EXPECT_EQ(in, std::string(out.data())) ;
    EXPECT_EQ(static_cast<SQLLEN>(in.size()), outLen);
    if (in.size() < 100) {
      SQLFreeStmt(h, SQL_CLOSE);
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, in.size(), 0,
                                              wout.data(), static_cast<SQLLEN>(wout.size() * sizeof(SQLWCHAR)),
                                              &outLen));
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_ECHO(?, ?)}"), SQL_NTS)))
          << harness::DmDiagText(SQL_HANDLE_STMT, h);
      EXPECT_EQ(in, harness::FromW(wout.data(), static_cast<size_t>(outLen) / sizeof(SQLWCHAR)));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

TEST_P(DmProc, FunctionsAndProceduresEitherSyntax) {
  SQLHSTMT h = c.Stmt();
  SQLINTEGER x = 41, r = 0;
  SQLLEN rLen = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &r, 0, &rLen));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &x, 0, nullptr));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{? = call F_ADD(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(42, r);
  SQLFreeStmt(h, SQL_CLOSE);
  SQLFreeStmt(h, SQL_RESET_PARAMS);
  // A function called as a procedure runs; its result is dropped.
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &x, 0, nullptr));
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call F_ADD(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeStmt(h, SQL_CLOSE);
  SQLFreeStmt(h, SQL_RESET_PARAMS);
  // A procedure called as a function: its return marker reads NULL.
  char s[16] = "x";
  SQLLEN sLen = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, s, sizeof s, &sLen));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{? = call P_NOARGS}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(SQL_NULL_DATA, sLen);
  SQLFreeStmt(h, SQL_CLOSE);
  SQLFreeStmt(h, SQL_RESET_PARAMS);
  for (const char *sql : {"{call P_NOARGS}", "{call P_NOARGS()}"})
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text(sql), SQL_NTS))) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// A procedure's REF CURSORs are its result sets, one after the other.
TEST_P(DmProc, RefCursorsAreResultSetsInArgumentOrder) {
  const Rows emp20{{"7369", "SMITH"}, {"7566", "JONES"}}, emp30{{"7499", "ALLEN"}, {"7521", "WARD"}};
  const Rows dept20{{"20", "RESEARCH"}, {"30", "SALES"}}, dept30{{"30", "SALES"}};
  // The cursor arguments left out, or written as markers bound as output.
  for (bool written : {false, true}) {
    SCOPED_TRACE(written ? "cursor markers written" : "cursor arguments left out");
    SQLHSTMT h = c.Stmt();
    SQLINTEGER n = 20;
    char dummy[2][8] = {};
    SQLLEN dLen[2] = {0, 0};
    const SQLUSMALLINT nAt = written ? 2 : 1;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, nAt, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, nullptr));
    if (written) {
      for (SQLUSMALLINT k : {1, 3})
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, k, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, dummy[k / 3], 8,
                                                &dLen[k / 3]));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, Text(written ? "{call P_TWO(?, ?, ?)}" : "{call P_TWO(?)}"), SQL_NTS))
        << harness::DmDiagText(SQL_HANDLE_STMT, h);
    for (SQLINTEGER value : {20, 30}) {
      SCOPED_TRACE(value);
      n = value;
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
      EXPECT_EQ(value == 20 ? emp20 : emp30, Fetch(h));
      ASSERT_EQ(SQL_SUCCESS, SQLMoreResults(h)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
      EXPECT_EQ(value == 20 ? dept20 : dept30, Fetch(h));
      EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(h));
      SQLFreeStmt(h, SQL_CLOSE);
    }
    // Closed before the second result: the next execution starts afresh.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeStmt(h, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    EXPECT_EQ(emp30, Fetch(h));
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

TEST_P(DmProc, RefCursorThenOutputValuesAndFunctionCursor) {
  SQLHSTMT h = c.Stmt();
  SQLINTEGER total = -1;
  SQLLEN tLen = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &total, 0, &tLen));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_MIX(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ((Rows{{"7369"}, {"7499"}, {"7521"}, {"7566"}}), Fetch(h));
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(h));
  EXPECT_EQ(4, total);
  SQLFreeStmt(h, SQL_CLOSE);
  SQLFreeStmt(h, SQL_RESET_PARAMS);
  char rc[8] = "";
  SQLLEN rcLen = 0;
  SQLINTEGER n = 30;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, rc, sizeof rc, &rcLen));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, nullptr));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{? = call F_RC(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ((Rows{{"ALLEN"}, {"WARD"}}), Fetch(h));
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(h));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_P(DmProc, PackagedSubprograms) {
  SQLHSTMT h = c.Stmt();
  SQLINTEGER a = 7, r = 0;
  char b[32] = "";
  SQLLEN bLen = 0;
  for (const char *sql : {"{call PKG.PROC(?, ?)}", "{call SCOTT.PKG.PROC(?, ?)}", "{call PKG.GET_ALL(?, ?)}"}) {
    SCOPED_TRACE(sql);
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, b, sizeof b, &bLen));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text(sql), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    EXPECT_STREQ(std::strstr(sql, "GET_ALL") ? "all 7" : "pkg 7", b);
    SQLFreeStmt(h, SQL_CLOSE);
  }
  SQLFreeStmt(h, SQL_RESET_PARAMS);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &r, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{? = call PKG.FN(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(14, r);
  SQLFreeStmt(h, SQL_CLOSE);
  SQLFreeStmt(h, SQL_RESET_PARAMS);
  // The first overload is the one described: one argument.
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr));
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call PKG.OV(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  SQLFreeStmt(h, SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("{call PKG.OV(?, ?)}"), SQL_NTS));
  EXPECT_EQ("07001", First(SQL_HANDLE_STMT, h).state);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_P(DmProc, FailingCallsKeepNothingAndSayWhy) {
  SQLHSTMT h = c.Stmt();
  SQLINTEGER n = -Own(1);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("{call P_ERR(?)}"), SQL_NTS));
  harness::DiagRec d = First(SQL_HANDLE_STMT, h);
  EXPECT_EQ(20001, d.native);
  EXPECT_NE(std::string::npos, d.message.find("ORA-20001: ")) << d.message;
  EXPECT_TRUE(c.Query("select n from PROC_LOG where n = " + std::to_string(n)).empty());
  SQLFreeStmt(h, SQL_CLOSE);
  // Too few arguments: Oracle's own error.
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("{call P_IO(?)}"), SQL_NTS));
  EXPECT_EQ(6550, First(SQL_HANDLE_STMT, h).native);
  SQLFreeStmt(h, SQL_CLOSE);
  // A parameter array with a REF CURSOR: not something the driver does.
  SQLINTEGER ns[2] = {20, 30};
  SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, P(2), 0);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ns, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, Text("{call P_TWO(?)}"), SQL_NTS));
  EXPECT_EQ("HYC00", First(SQL_HANDLE_STMT, h).state);
  SQLFreeStmt(h, SQL_CLOSE);
  // Without one, each row runs the call.
  SQLINTEGER three[3] = {Own(11), Own(12), Own(13)};
  SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, P(3), 0);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, three, 0, nullptr));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_INS(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  const std::string in = "(" + std::to_string(three[0]) + ", " + std::to_string(three[1]) + ", " + std::to_string(three[2]) + ")";
  EXPECT_EQ((Rows{{std::to_string(three[0])}, {std::to_string(three[1])}, {std::to_string(three[2])}}),
            c.Query("select n from PROC_LOG where n in " + in + " order by n"));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// Autocommit commits a call's changes; without it a rollback undoes them.
TEST_P(DmProc, CallsFollowTheTransactionMode) {
  Conn other;
  ASSERT_TRUE(other.DriverOpen(GetParam()));
  for (bool autocommit : {true, false}) {
    SCOPED_TRACE(autocommit);
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, P(autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    SQLINTEGER n = Own(autocommit ? 21 : 22);
    const std::string q = "select n from PROC_LOG where n = " + std::to_string(n);
    SQLHSTMT h = c.Stmt();
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, nullptr));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_INS(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    if (autocommit) {
      EXPECT_EQ(1u, other.Query(q).size());
    } else {
      EXPECT_EQ(1u, c.Query(q).size());
      ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_ROLLBACK));
      EXPECT_TRUE(c.Query(q).empty());
    }
  }
  SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_ON), 0);
}

// The catalog shows the stored code with each argument's direction.
TEST_P(DmProc, CatalogListsProceduresAndTheirColumns) {
  SQLHSTMT h = c.Stmt();
  auto columns = [&](const char *proc) {
    EXPECT_EQ(SQL_SUCCESS, SQLProcedureColumns(h, nullptr, 0, Text("SCOTT"), SQL_NTS, Text(proc), SQL_NTS, nullptr, 0))
        << harness::DmDiagText(SQL_HANDLE_STMT, h);
    std::vector<std::string> got;
    for (const auto &r : Fetch(h)) got.push_back(r[3] + "|" + r[4] + "|" + r[17]);
    std::sort(got.begin(), got.end());
    SQLFreeStmt(h, SQL_CLOSE);
    return got;
  };
  EXPECT_EQ((std::vector<std::string>{"A|1|1", "B|4|2", "C|2|3"}), columns("P_IO"));
  EXPECT_EQ((std::vector<std::string>{"RETURN_VALUE|5|0", "X|1|1"}), columns("F_ADD"));
  ASSERT_EQ(SQL_SUCCESS, SQLProcedures(h, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("%"), SQL_NTS));
  std::vector<std::string> procs;
  for (const auto &r : Fetch(h)) procs.push_back(r[2] + "|" + r[7]);
  for (const char *want : {"P_IO|1", "F_ADD|2", "PKG.PROC|0"})
    EXPECT_NE(procs.end(), std::find(procs.begin(), procs.end(), want)) << want;
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// An IN OUT character value comes back whole, as long as an OUT value may
// be: 32,000 characters, and non-ASCII text as either C type.
TEST_P(DmProc, InOutCharacterValuesComeBackWhole) {
  const std::string nonAscii = "\xC3\xA4\xE2\x82\xAC";  // ä€
  for (const std::string &half : {nonAscii, std::string(16000, 'q')}) {
    SCOPED_TRACE(half.size());
    SQLHSTMT h = c.Stmt();
    std::vector<char> buf(2 * half.size() * 2 + 8);
    memcpy(buf.data(), half.c_str(), half.size() + 1);
    SQLLEN len = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 2 * half.size(), 0,
                                            buf.data(), static_cast<SQLLEN>(buf.size()), &len));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_TWICE(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    EXPECT_EQ(half + half, std::string(buf.data()));
    EXPECT_EQ(static_cast<SQLLEN>(2 * half.size()), len);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  SQLHSTMT h = c.Stmt();
  std::basic_string<SQLWCHAR> w = harness::ToW(nonAscii);
  std::vector<SQLWCHAR> wbuf(32, 0);
  std::copy(w.begin(), w.end(), wbuf.begin());
  SQLLEN len = SQL_NTS;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, wbuf.data(),
                                          static_cast<SQLLEN>(wbuf.size() * sizeof(SQLWCHAR)), &len));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_TWICE(?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_EQ(static_cast<SQLLEN>(2 * w.size() * sizeof(SQLWCHAR)), len);
  EXPECT_EQ(nonAscii + nonAscii, harness::FromW(wbuf.data(), static_cast<size_t>(len) / sizeof(SQLWCHAR)));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// A parameter array runs the call once per row; the outputs reported are
// those of the first row.
TEST_P(DmProc, ParameterArrayReportsTheFirstRowsOutputs) {
  SQLHSTMT h = c.Stmt();
  char in[2][8] = {"a", "b"}, out[2][8] = {"x", "x"};
  SQLLEN inLen[2] = {SQL_NTS, SQL_NTS}, outLen[2] = {0, 0};
  SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, P(2), 0);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, in, 8, inLen));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, out, 8, outLen));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("{call P_ECHO(?, ?)}"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
  EXPECT_STREQ("a", out[0]);
  EXPECT_STREQ("x", out[1]);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// A NUMBER output arrives in the C type the application bound, exactly: a
// value that type cannot hold gets the SQLSTATE ODBC gives it, never a
// rounded or wrapped number.
TEST_P(DmProc, NumberOutputsInTheBoundCType) {
  struct Case {
    const char *proc;
    const char *value;  // null: NULL
    SQLSMALLINT cType;
    const char *want;   // the value as rendered below, or the SQLSTATE of a failure
    const char *warn;   // SQLSTATE of a success with information, or null
  };
  const Case cases[] = {
      {"P_NUM", "42", SQL_C_SLONG, "42", nullptr},
      {"P_NUM", "-2147483648", SQL_C_SLONG, "-2147483648", nullptr},
      {"P_NUM", "2147483648", SQL_C_SLONG, "22003", nullptr},
      {"P_NUM", "1.5", SQL_C_SLONG, "1", "01S07"},
      {"P_NUM", "-1.5", SQL_C_SLONG, "-1", "01S07"},
      {"P_NUM", "12345678901234567", SQL_C_SBIGINT, "12345678901234567", nullptr},
      {"P_NUM", "9223372036854775807", SQL_C_SBIGINT, "9223372036854775807", nullptr},
      {"P_NUM", "0.1", SQL_C_DOUBLE, "0.1", nullptr},
      {"P_NUM", "-12.5", SQL_C_NUMERIC, "-1250e-2", nullptr},
      {"P_NUM", "12345678901234567", SQL_C_CHAR, "12345678901234567", nullptr},
      {"P_NUM", "0.25", SQL_C_CHAR, "0.25", nullptr},
      {"P_NUM", nullptr, SQL_C_SLONG, "NULL", nullptr},
      {"P_NUM", nullptr, SQL_C_DOUBLE, "NULL", nullptr},
      {"P_NUM10", "1234567890", SQL_C_SLONG, "1234567890", nullptr},
      {"P_NUM10", "9999999999", SQL_C_SLONG, "22003", nullptr},
      {"P_NUM10", "9999999999", SQL_C_SBIGINT, "9999999999", nullptr},
      {"P_NUM10", "-7", SQL_C_DOUBLE, "-7", nullptr},
      {"P_NUM10", "9999999999", SQL_C_NUMERIC, "999999999900e-2", nullptr},
      {"P_NUM10", "7", SQL_C_CHAR, "7", nullptr},
      {"P_NUM102", "12345678.91", SQL_C_DOUBLE, "12345678.91", nullptr},
      {"P_NUM102", "12345678.91", SQL_C_NUMERIC, "1234567891e-2", nullptr},
      {"P_NUM102", "12345678.91", SQL_C_SBIGINT, "12345678", "01S07"},
      {"P_NUM102", "-0.05", SQL_C_SLONG, "0", "01S07"},
      {"P_NUM102", "12345678.91", SQL_C_CHAR, "12345678.91", nullptr},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(std::string(k.proc) + "(" + (k.value ? k.value : "NULL") + ") as C type " + std::to_string(k.cType));
    SQLHSTMT h = c.Stmt();
    union {
      SQLINTEGER i;
      SQLBIGINT b;
      double d;
      SQL_NUMERIC_STRUCT n;
      char s[64];
    } out{};
    SQLLEN inLen = k.value ? SQL_NTS : SQL_NULL_DATA, outLen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0,
                                            const_cast<char *>(k.value ? k.value : ""), 0, &inLen));
    const SQLSMALLINT sqlType = k.cType == SQL_C_CHAR ? SQL_VARCHAR : k.cType == SQL_C_SLONG ? SQL_INTEGER
                                : k.cType == SQL_C_SBIGINT ? SQL_BIGINT : k.cType == SQL_C_DOUBLE ? SQL_DOUBLE
                                : SQL_NUMERIC;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, k.cType, sqlType, 38, 2, &out, sizeof out, &outLen));
    if (k.cType == SQL_C_NUMERIC) {
      // The application's own precision and scale for the value it gets.
      SQLHDESC apd = SQL_NULL_HDESC;
      ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr));
      ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 2, SQL_DESC_PRECISION, P(38), 0));
      ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 2, SQL_DESC_SCALE, P(2), 0));
      ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 2, SQL_DESC_DATA_PTR, &out, 0));
    }
    const std::string sql = std::string("{call ") + k.proc + "(?, ?)}";
    const SQLRETURN rc = SQLExecDirect(h, Text(sql), SQL_NTS);
    const harness::DiagRec d = First(SQL_HANDLE_STMT, h);
    if (std::strlen(k.want) == 5 && k.want[0] == '2') {
      EXPECT_EQ(SQL_ERROR, rc);
      EXPECT_EQ(k.want, d.state) << d.message;
      SQLFreeHandle(SQL_HANDLE_STMT, h);
      continue;
    }
    EXPECT_EQ(k.warn ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc) << d.state << " " << d.message;
    if (k.warn) {
      EXPECT_EQ(k.warn, d.state) << d.message;
    }
    std::string got;
    char buf[64];
    if (outLen == SQL_NULL_DATA) {
      got = "NULL";
    } else if (k.cType == SQL_C_SLONG) {
      got = std::to_string(out.i);
    } else if (k.cType == SQL_C_SBIGINT) {
      got = std::to_string(out.b);
    } else if (k.cType == SQL_C_DOUBLE) {
      snprintf(buf, sizeof buf, "%.15g", out.d);
      got = buf;
    } else if (k.cType == SQL_C_NUMERIC) {
      unsigned long long v = 0;
      for (int i = 7; i >= 0; --i) v = v << 8 | out.n.val[i];
      got = std::string(out.n.sign ? "" : "-") + std::to_string(v) + "e-" + std::to_string(out.n.scale);
    } else {
      got = out.s;
      EXPECT_EQ(static_cast<SQLLEN>(got.size()), outLen);
    }
    EXPECT_EQ(k.want, got);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

// A CHAR output is blank-padded as the database padded it, in either C type,
// and its length counts the padding.
TEST_P(DmProc, CharOutputsKeepTheirPadding) {
  for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
    SCOPED_TRACE(cType);
    SQLHSTMT h = c.Stmt();
    const char *in = "\xC3\xA4" "b";  // äb: fewer characters than bytes
    SQLLEN inLen = SQL_NTS, outLen = 0;
    char out[32] = {};
    SQLWCHAR wout[16] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 6, 0,
                                            const_cast<char *>(in), 0, &inLen));
    if (cType == SQL_C_CHAR)
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_CHAR, 6, 0, out, sizeof out, &outLen));
    else
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WCHAR, 6, 0, wout, sizeof wout,
                                              &outLen));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, Text("{call P_CHR(?, ?)}"), SQL_NTS)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    const std::string want = std::string(in) + "    ";
    if (cType == SQL_C_CHAR) {
      EXPECT_EQ(want, std::string(out));
      EXPECT_EQ(static_cast<SQLLEN>(want.size()), outLen);
    } else {
      EXPECT_EQ(static_cast<SQLLEN>(6 * sizeof(SQLWCHAR)), outLen);
      EXPECT_EQ(want, harness::FromW(wout, 6));
      EXPECT_EQ(0, wout[6]);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

// CLOB and BLOB arguments in every direction carry values whole, from
// nothing (an empty value is NULL to Oracle) to 100 KB.
TEST_P(DmProc, LobArgumentsInEveryDirection) {
  for (bool binary : {false, true}) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{100000}}) {
      SCOPED_TRACE(std::string(binary ? "BLOB " : "CLOB ") + std::to_string(size));
      std::string in(size, 'c');
      for (size_t i = 0; i < size; ++i) in[i] = static_cast<char>(binary ? i * 7 % 256 : 'a' + i % 26);
      const SQLSMALLINT cType = binary ? SQL_C_BINARY : SQL_C_CHAR;
      const SQLSMALLINT sqlType = binary ? SQL_LONGVARBINARY : SQL_LONGVARCHAR;
      SQLHSTMT h = c.Stmt();
      std::vector<char> out(size + 16, 'x'), io(size + 16, 'x');
      SQLLEN inLen = static_cast<SQLLEN>(size), outLen = 0, ioLen = 1;
      io[0] = 'q';
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 1, SQL_PARAM_INPUT, cType, sqlType, size + 1, 0, in.data(),
                                              inLen, &inLen));
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, cType, sqlType, size + 1, 0, out.data(),
                                              static_cast<SQLLEN>(out.size()), &outLen));
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(h, 3, SQL_PARAM_INPUT_OUTPUT, cType, sqlType, size + 1, 0, io.data(),
                                              static_cast<SQLLEN>(io.size()), &ioLen));
      const std::string sql = binary ? "{call P_BLOB(?, ?, ?)}" : "{call P_CLOB(?, ?, ?)}";
      ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, Text(sql), SQL_NTS)) << harness::DmDiagText(SQL_HANDLE_STMT, h);
      for (auto [buf, len] : {std::pair{&out, outLen}, std::pair{&io, ioLen}}) {
        if (size == 0) {
          EXPECT_EQ(SQL_NULL_DATA, len);
          continue;
        }
        ASSERT_EQ(static_cast<SQLLEN>(size), len);
        EXPECT_TRUE(std::equal(in.begin(), in.end(), buf->begin()));
        if (!binary) {
          EXPECT_EQ('\0', (*buf)[size]);
        }
      }
      SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmProc, ::testing::Values("kvd_proc_w", "kvd_proc_a"));

}  // namespace
