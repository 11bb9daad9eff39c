// Procedure and function calls end to end as applications make them: both
// drivers loaded by unixODBC, the real agent, a database of the OCI
// stand-in holding the stored code below.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../exec/dm_db.h"
#include "harness.h"
#include "ocilite.h"

namespace {

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

struct Conn {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;

  bool Open(const std::string &dsn, const std::string &extra = "") {
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS) return false;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0);
    if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) return false;
    const std::string in = "DSN=" + dsn + ";UID=scott;PWD=tiger" + extra;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, Text(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    return SQL_SUCCEEDED(rc);
  }
  ~Conn() {
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  SQLHSTMT Stmt() {
    SQLHSTMT h = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
    return h;
  }
  void MustRun(const std::string &sql) {
    SQLHSTMT h = Stmt();
    SQLRETURN rc = SQLExecDirect(h, Text(sql), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  Rows Query(const std::string &sql) { return dm_db::Query(dbc, sql); }
};

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
    ASSERT_TRUE(c.Open(GetParam()));
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
  ASSERT_TRUE(ro.Open(GetParam(), ";ReadOnly=Yes"));
  SQLHSTMT h = ro.Stmt();
  EXPECT_EQ(SQL_ERROR, SQLPrepare(h, Text("{call P_NOARGS}"), SQL_NTS));
  EXPECT_EQ("IM916", First(SQL_HANDLE_STMT, h).state);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmProc, ::testing::Values("kvd_proc_w", "kvd_proc_a"));

}  // namespace
