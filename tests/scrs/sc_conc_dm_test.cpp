// Concurrency of scrollable cursors as applications meet it: through
// unixODBC with both drivers on the real agent over a database of the OCI
// stand-in, a second connection (autocommit on) doing the others' work.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "dm_session.h"
#include "harness.h"

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

// T(K, A) with 25 rows; the row-version table TVXRVC only where a test
// makes it.
std::string Database(const std::string &name) {
  std::vector<std::string> sql = {"create table t (k number(10) primary key, a varchar2(20))"};
  for (int i = 1; i <= 25; ++i) sql.push_back("insert into t values (" + std::to_string(i) + ", 'a" + std::to_string(i) + "')");
  std::string d = harness::AdminDatabase(name, sql);
  if (d.empty()) ADD_FAILURE() << "the database could not be made";
  return d;
}

// The others: a second connection with autocommit on.
struct Other : harness::DmSession {
  SQLRETURN Run(const std::string &sql) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    return SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
  }
  std::string Diag() const { return harness::DmDiagText(SQL_HANDLE_STMT, stmt); }
};

struct DmConc : ::testing::TestWithParam<const char *>, harness::DmSession {
  std::string db;
  Other other;
  std::string ConnectString(const std::string &extra = "") const {
    return std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + db + extra;
  }
  void Connect(const std::string &extra = "") {
    harness::DmInit();
    Open(ConnectString(extra));
    other.Open(ConnectString());
  }
  std::vector<std::string> States() const {
    std::vector<std::string> out;
    for (const auto &d : harness::DmDiags(SQL_HANDLE_STMT, stmt)) out.push_back(d.state);
    return out;
  }
  void Cursor(SQLULEN type, SQLULEN concurrency, SQLULEN rowset) {
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(static_cast<intptr_t>(type)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, P(static_cast<intptr_t>(concurrency)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(static_cast<intptr_t>(rowset)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  }
  SQLUSMALLINT status[10] = {};
  SQLULEN fetched = 0;
};

TEST_P(DmConc, RowVersionsWithoutTheirTableRefuseTheDynamicCursor) {
  db = Database(std::string("rvc_missing_") + GetParam());
  Connect(";DYN_CURS_SENSITIVITY=HIGH");
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(SQL_CURSOR_DYNAMIC), 0), SQL_SUCCESS);
  EXPECT_EQ(SQLPrepare(stmt, Text("SELECT K, A FROM T"), SQL_NTS), SQL_ERROR);
  const auto states = States();
  ASSERT_EQ(states.size(), 2u) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(states[0], "42S02") << "the database's own record first";
  EXPECT_EQ(states[1], "IM926");
  auto diags = harness::DmDiags(SQL_HANDLE_STMT, stmt);
  EXPECT_NE(diags[1].message.find("TVXRVC"), std::string::npos) << diags[1].message;

  // Without row versions the same cursor needs no table of its own.
  Close();
  Connect();
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(SQL_CURSOR_DYNAMIC), 0), SQL_SUCCESS);
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text("SELECT K, A FROM T"), SQL_NTS))) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
}

TEST_P(DmConc, LockedRowsWaitForTheCommit) {
  setenv("OCILITE_LOCK_TIMEOUT", "300", 1);
  db = Database(std::string("lock_") + GetParam());
  Connect();
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
  for (SQLULEN type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC, SQL_CURSOR_STATIC}) {
    SCOPED_TRACE(type);
    Cursor(type, SQL_CONCUR_LOCK, 5);
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT K, A FROM T ORDER BY K"), SQL_NTS), SQL_SUCCESS)
        << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(fetched, 5u);
    // The others wait for the lock, then give up; their reads go on.
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(other.Run("UPDATE T SET A = 'x' WHERE K = 2"), SQL_ERROR);
    EXPECT_NE(other.Diag().find("ORA-00054"), std::string::npos) << other.Diag();
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(250));
    ASSERT_TRUE(SQL_SUCCEEDED(other.Run("SELECT A FROM T WHERE K = 2"))) << other.Diag();
    EXPECT_EQ(SQLFetch(other.stmt), SQL_SUCCESS);
    // The application's commit lets them through.
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_TRUE(SQL_SUCCEEDED(other.Run("UPDATE T SET A = 'x' WHERE K = 2"))) << other.Diag();
  }
  // Read-only cursors take no locks.
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 5);
  ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT K, A FROM T ORDER BY K"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_TRUE(SQL_SUCCEEDED(other.Run("UPDATE T SET A = 'y' WHERE K = 2"))) << other.Diag();
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
}

TEST_P(DmConc, RowVersionsReportOthersUpdates) {
  db = Database(std::string("rvc_") + GetParam());
  Connect(";DYN_CURS_SENSITIVITY=HIGH");
  ASSERT_TRUE(SQL_SUCCEEDED(other.Run(
      "CREATE TABLE TVXRVC (HCONN VARCHAR2(8), HCURS VARCHAR2(8), KEYVER VARCHAR2(32), ROWVER VARCHAR2(32))")));
  ASSERT_TRUE(SQL_SUCCEEDED(other.Run("CREATE TABLE P (K NUMBER(10) PRIMARY KEY, B VARCHAR2(5), C VARCHAR2(5))")));
  for (const char *row : {"1, 'AB', 'C'", "2, NULL, 'x'", "3, 'p', 'q'", "4, 'r', 's'"})
    ASSERT_TRUE(SQL_SUCCEEDED(other.Run(std::string("INSERT INTO P VALUES (") + row + ")"))) << other.Diag();
  Cursor(SQL_CURSOR_DYNAMIC, SQL_CONCUR_READ_ONLY, 4);
  ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT K, B, C FROM P ORDER BY K"), SQL_NTS), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  auto statuses = [&](SQLSMALLINT orientation) {
    EXPECT_EQ(SQLFetchScroll(stmt, orientation, 0), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
    std::vector<int> out;
    for (SQLULEN i = 0; i < fetched; ++i) out.push_back(status[i]);
    return out;
  };
  const int S = SQL_ROW_SUCCESS, U = SQL_ROW_UPDATED;
  EXPECT_EQ(statuses(SQL_FETCH_NEXT), (std::vector<int>{S, S, S, S})) << "first sight";
  ASSERT_TRUE(SQL_SUCCEEDED(other.Run("UPDATE P SET B = 'A', C = 'BC' WHERE K = 1")));
  ASSERT_TRUE(SQL_SUCCEEDED(other.Run("UPDATE P SET B = 'x', C = NULL WHERE K = 2")));
  ASSERT_TRUE(SQL_SUCCEEDED(other.Run("UPDATE P SET C = 'z' WHERE K = 4")));
  EXPECT_EQ(statuses(SQL_FETCH_RELATIVE), (std::vector<int>{U, U, S, U})) << "values moved across columns change rows";
  EXPECT_EQ(statuses(SQL_FETCH_RELATIVE), (std::vector<int>{S, S, S, S})) << "seen once";
  // An update to the same values is no change.
  ASSERT_TRUE(SQL_SUCCEEDED(other.Run("UPDATE P SET B = 'p' WHERE K = 3")));
  EXPECT_EQ(statuses(SQL_FETCH_RELATIVE), (std::vector<int>{S, S, S, S}));
  SQLFreeStmt(stmt, SQL_CLOSE);
}

// Two processes run the same program on one table at once: each keeps its
// own versions and sees the others' change once, never S1000.
TEST_P(DmConc, ProcessesKeepTheirOwnVersions) {
  db = Database(std::string("rvc2_") + GetParam());
  Connect(";DYN_CURS_SENSITIVITY=HIGH");
  ASSERT_TRUE(SQL_SUCCEEDED(other.Run(
      "CREATE TABLE TVXRVC (HCONN VARCHAR2(8), HCURS VARCHAR2(8), KEYVER VARCHAR2(32), ROWVER VARCHAR2(32))")));
  Close();
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> kids;
  for (int n = 0; n < 2; ++n) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // The child's verdict is its exit status: 0 when every status was right.
      int code = 0;
      {
        harness::DmSession s;
        s.Open(ConnectString(";DYN_CURS_SENSITIVITY=HIGH"));
        SQLUSMALLINT st[5] = {};
        SQLULEN got = 0;
        SQLSetStmtAttr(s.stmt, SQL_ATTR_CURSOR_TYPE, P(SQL_CURSOR_DYNAMIC), 0);
        SQLSetStmtAttr(s.stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(5), 0);
        SQLSetStmtAttr(s.stmt, SQL_ATTR_ROW_STATUS_PTR, st, 0);
        SQLSetStmtAttr(s.stmt, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0);
        auto step = [&](SQLSMALLINT o, int changed, int bit) {
          if (SQLFetchScroll(s.stmt, o, 0) != SQL_SUCCESS || got != 5) {
            code |= bit;
            return;
          }
          for (int i = 0; i < 5; ++i)
            if (st[i] != (i == changed ? SQL_ROW_UPDATED : SQL_ROW_SUCCESS)) code |= bit;
        };
        if (SQLExecDirect(s.stmt, Text("SELECT K, A FROM T ORDER BY K"), SQL_NTS) != SQL_SUCCESS) code |= 1;
        step(SQL_FETCH_NEXT, -1, 2);
        char c = 'r';
        if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1) code |= 4;
        step(SQL_FETCH_RELATIVE, 1, 8);
        step(SQL_FETCH_RELATIVE, -1, 16);
        SQLFreeStmt(s.stmt, SQL_CLOSE);
      }
      _exit(code);
    }
    kids.push_back(pid);
  }
  // Both have seen their first rowset: then the change.
  char c = 0;
  for (int n = 0; n < 2; ++n) ASSERT_EQ(read(ready[0], &c, 1), 1);
  harness::DmSession third;
  third.Open(ConnectString());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(third.stmt, Text("UPDATE T SET A = 'new' WHERE K = 2"), SQL_NTS)));
  c = 'g';
  for (int n = 0; n < 2; ++n) ASSERT_EQ(write(go[1], &c, 1), 1);
  for (pid_t pid : kids) {
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), 0) << "bits: 1 prepare, 2 first rowset, 4 pipe, 8 the change, 16 seen once";
  }
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmConc, ::testing::Values("kvd_w", "kvd_a"),
                         [](const auto &info) { return std::string(info.param); });

}  // namespace
