// Statements go back the way they were obtained: one from the statement
// cache (OCIStmtPrepare2) is released to it, one from OCIHandleAlloc (the
// cursor's own, or a REF CURSOR statement) is freed. The two OCI calls are
// observed by wrappers in this executable in front of the OCI library.
#include <dlfcn.h>

#include <mutex>
#include <utility>
#include <vector>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"

namespace {

std::mutex g_mu;
std::vector<std::pair<char, void *>> g_calls;  // 'R' release, 'F' free of a statement

void Record(char what, void *h) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_calls.emplace_back(what, h);
}

}  // namespace

extern "C" sword OCIStmtRelease(OCIStmt *stmtp, OCIError *errhp, const OraText *key, ub4 key_len, ub4 mode) {
  using Fn = sword (*)(OCIStmt *, OCIError *, const OraText *, ub4, ub4);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "OCIStmtRelease"));
  Record('R', stmtp);
  return real(stmtp, errhp, key, key_len, mode);
}

extern "C" sword OCIHandleFree(void *hndlp, const ub4 type) {
  using Fn = sword (*)(void *, const ub4);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "OCIHandleFree"));
  if (type == OCI_HTYPE_STMT) Record('F', hndlp);
  return real(hndlp, type);
}

using namespace exec_test;

namespace {

class ReleaseTest : public ExecTest {
 protected:
  void SetUp() override {
    ExecTest::SetUp();
    std::lock_guard<std::mutex> lock(g_mu);
    g_calls.clear();
  }
  // How the handle went: "R", "F", "RF", ... in call order.
  static std::string Fate(void *h) {
    std::lock_guard<std::mutex> lock(g_mu);
    std::string s;
    for (auto &[what, p] : g_calls)
      if (p == h) s += what;
    return s;
  }
  OCIStmt *PreparedHandle(DB_Conn *dbc, const char *sql) {
    void *h = nullptr;
    EXPECT_EQ(OCI_SUCCESS, OCIHandleAlloc(dbc->env, &h, OCI_HTYPE_STMT, 0, nullptr));
    EXPECT_EQ(OCI_SUCCESS, OCIStmtPrepare(static_cast<OCIStmt *>(h), dbc->err->errhp,
                                          reinterpret_cast<const OraText *>(sql), static_cast<ub4>(strlen(sql)),
                                          OCI_NTV_SYNTAX, OCI_DEFAULT));
    return static_cast<OCIStmt *>(h);
  }
};

TEST_F(ReleaseTest, CachedStatementsAreReleasedAndNeverFreed) {
  g_agentOptions.ociStmtCacheSize = 4;
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  AgentCursor *rec = Agent_Cursor(cur);
  ASSERT_EQ(0, Prepare(cur, "INSERT INTO t VALUES (1)"));
  OCIStmt *first = rec->dbCurs->stmt;
  ASSERT_EQ(0, Execute(cur));
  // A new text: the previous statement goes back to the cache.
  ASSERT_EQ(0, Prepare(cur, "INSERT INTO t VALUES (2)"));
  OCIStmt *second = rec->dbCurs->stmt;
  EXPECT_EQ("R", Fate(first));
  Free(cur);
  EXPECT_EQ("R", Fate(second));
}

TEST_F(ReleaseTest, RefCursorStatementsAreFreedEvenWithTheCache) {
  g_agentOptions.ociStmtCacheSize = 4;
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  DB_Curs *c = Agent_Cursor(cur)->dbCurs;
  ASSERT_EQ(nullptr, c->stmt);
  // What a procedure call leaves: a list of REF CURSOR statements, one of
  // them taken over as the cursor's current statement.
  OCIStmt *listed = PreparedHandle(c->conn, "SELECT a FROM t");
  OCIStmt *current = PreparedHandle(c->conn, "SELECT a FROM t WHERE a > 0");
  c->refCursors = static_cast<OCIStmt **>(calloc(1, sizeof(OCIStmt *)));
  c->refCursors[0] = listed;
  c->refCursorCount = 1;
  c->stmt = current;
  c->stmtOrigin = DBSTMT_ALLOCATED;
  Free(cur);
  EXPECT_EQ("F", Fate(listed));
  EXPECT_EQ("F", Fate(current));
}

TEST_F(ReleaseTest, OwnStatementIsFreedWithoutTheCache) {
  Connect();
  DrvHandle cur = Cursor();
  OCIStmt *own = Agent_Cursor(cur)->dbCurs->stmt;
  ASSERT_NE(nullptr, own);
  ASSERT_EQ(0, Prepare(cur, "SELECT 1 FROM DUAL"));
  EXPECT_EQ(own, Agent_Cursor(cur)->dbCurs->stmt);
  Free(cur);
  EXPECT_EQ("F", Fate(own));
}

}  // namespace

// Each REF CURSOR result a call hands out is freed once the application
// moves past it or closes the cursor, also those it never reached.
TEST_F(ReleaseTest, RefCursorResultsAreFreedWhenLeft) {
  Connect();
  ASSERT_EQ(0, Run("CREATE OR REPLACE PROCEDURE P3(A OUT SYS_REFCURSOR, B OUT SYS_REFCURSOR, C OUT SYS_REFCURSOR) AS\n"
                   "BEGIN\n  OPEN A FOR SELECT 1 FROM DUAL;\n  OPEN B FOR SELECT 2 FROM DUAL;\n"
                   "  OPEN C FOR SELECT 3 FROM DUAL;\nEND;"));
  DrvHandle cur = Cursor();
  AgentCursor *rec = Agent_Cursor(cur);
  ASSERT_EQ(0, Prepare(cur, "{call P3}"));
  ASSERT_EQ(0, Execute(cur));
  OCIStmt *first = rec->dbCurs->stmt;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  EXPECT_EQ("F", Fate(first));
  OCIStmt *second = rec->dbCurs->stmt;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  OCIStmt *third = rec->dbCurs->stmt;
  EXPECT_EQ(E_IM901, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  EXPECT_EQ("F", Fate(second));
  EXPECT_EQ("F", Fate(third));
  EXPECT_EQ(nullptr, rec->savedDbCurs);
  // Closed at the first result: the two not reached go as well. (Handles of
  // the first run may come back at the same addresses.)
  {
    std::lock_guard<std::mutex> lock(g_mu);
    g_calls.clear();
  }
  ASSERT_EQ(0, Execute(cur));
  first = rec->dbCurs->stmt;
  std::vector<OCIStmt *> rest(rec->savedDbCurs->refCursors + 1, rec->savedDbCurs->refCursors + 3);
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_CloseCursor>(&drv, cur));
  EXPECT_EQ("F", Fate(first));
  for (OCIStmt *s : rest) EXPECT_EQ("F", Fate(s));
  Free(cur);
}
