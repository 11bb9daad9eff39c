// Agent cursors, prepare and execute: DDL, DML with parameter rows and
// arrays, row counts, transactions, errors, read-only connections.
#include <cstring>
#include <cstdio>

#include "drv_ora8/db-exec.h"
#include "drv_ora8/db-private.h"
#include "drv_ora8/o-exec.h"
#include "exec_fixture.h"
#include "variant.h"

using namespace exec_test;

namespace {

using CursorTest = ExecTest;

TEST_F(CursorTest, AllocNamesAndFreesACursor) {
  Connect();
  DrvHandle cur = Cursor();
  EXPECT_EQ(kDrvTagCursor, DrvHandleTag(cur));
  AgentCursor *rec = Agent_Cursor(cur);
  ASSERT_NE(nullptr, rec);
  char expected[24];
  snprintf(expected, sizeof expected, "CN%lX", static_cast<unsigned long>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(rec))));

  char buf[64];
  int16_t len = 0;
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_GetCursorName>(&drv, cur, buf, uint16_t{sizeof buf}, &len));
  EXPECT_STREQ(expected, buf);
  EXPECT_EQ(static_cast<int16_t>(strlen(expected)), len);

  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetCursorName>(&drv, cur, "CN1A2B3C4D"));
  memset(buf, 'x', sizeof buf);
  EXPECT_EQ(E_01004, DrvCall<&DrvOps::DRV_GetCursorName>(&drv, cur, buf, uint16_t{5}, &len));
  EXPECT_STREQ("CN1A", buf);
  EXPECT_EQ(10, len);
  // A NULL buffer asks for the length.
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_GetCursorName>(&drv, cur, nullptr, uint16_t{0}, &len));
  EXPECT_EQ(10, len);

  Free(cur);
  EXPECT_EQ(nullptr, Agent_Cursor(cur));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur));
}

TEST_F(CursorTest, WideModeNamesAndTextsRoundTrip) {
  if (!g_driverVariant.unicode) GTEST_SKIP() << "the ANSI build has no wide mode";
  Connect(0, true);
  ASSERT_EQ(1, Agent_Conn(conn)->wide);
  DrvHandle cur = Cursor();
  const char *name = "C\xc3\x9cRSOR";  // UTF-8
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetCursorName>(&drv, cur, name));
  char buf[32];
  int16_t len = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_GetCursorName>(&drv, cur, buf, uint16_t{sizeof buf}, &len));
  EXPECT_STREQ(name, buf);
  EXPECT_EQ(7, len);
  ASSERT_EQ(0, ExecDirect(cur, "CREATE TABLE t (s VARCHAR2(20))"));
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES ('gr\xc3\xbc\xc3\x9f')"));
  Free(cur);
  EXPECT_EQ((Rows{{"gr\xc3\xbc\xc3\x9f", "4"}}), Peek("SELECT s, LENGTH(s) FROM t"));
}

TEST_F(CursorTest, UnknownHandlesAnswerS1009) {
  Connect();
  const DrvHandle bad = 0xCCCC7777u;
  char buf[8];
  int16_t len = 0;
  Dataset ds{};
  void *piece = nullptr;
  int32_t a = 0, b = 0, c = 0;
  DrvHandle out = 1;
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, 0xBBBB7777u, &out));
  EXPECT_EQ(0u, out);
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, nullptr));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_FreeCursor>(&drv, bad));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetCursorName>(&drv, bad, buf, uint16_t{8}, &len));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_SetCursorName>(&drv, bad, "X"));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Prepare>(&drv, bad, "SELECT 1 FROM DUAL"));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_SetParams>(&drv, bad, nullptr));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Execute>(&drv, bad));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_SetParamInfo>(&drv, bad, uint16_t{0}, nullptr));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Fetch>(&drv, bad, uint16_t{1}, &ds));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_CloseCursor>(&drv, bad));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_MoreResults>(&drv, bad));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_ExecDirect>(&drv, bad, "X", nullptr, uint16_t{0}, nullptr));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Cancel>(&drv, bad));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetDataChunk>(&drv, bad, 1, 1, 10, &piece, &a, &b, &c));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_NativeSql>(&drv, 0xBBBB7777u, "X", buf, uint16_t{8}, &len));
  // A live cursor passed where a connection is expected is unknown too.
  DrvHandle cur = Cursor();
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_NativeSql>(&drv, cur, "X", buf, uint16_t{8}, &len));
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_GetDataChunk>(&drv, cur, 1, 1, 10, nullptr, &a, &b, &c));
  EXPECT_EQ(E_S1C00, DrvCall<&DrvOps::DRV_Reserved14>(&drv, cur, uint16_t{0}, uint16_t{0}, nullptr));
  Free(cur);
}

TEST_F(CursorTest, NativeSqlShowsTheTranslation) {
  Connect();
  char buf[128];
  int16_t len = 0;
  const char *sql = "select {fn UCASE(name)} from t where a = ? and d = {d '2001-02-03'}";
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_NativeSql>(&drv, conn, sql, buf, uint16_t{sizeof buf}, &len));
  std::string text = buf;
  EXPECT_NE(std::string::npos, text.find("nls_upper(name)")) << text;
  EXPECT_NE(std::string::npos, text.find(":1")) << text;
  EXPECT_EQ(static_cast<int16_t>(text.size()), len);
  char small[8];
  EXPECT_EQ(E_01004_109, DrvCall<&DrvOps::DRV_NativeSql>(&drv, conn, sql, small, uint16_t{sizeof small}, &len));
  EXPECT_EQ(7u, strlen(small));
}

using DmlTest = ExecTest;

TEST_F(DmlTest, DdlAndDmlWithParametersAndRowCounts) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE emp (id NUMBER(10) PRIMARY KEY, name VARCHAR2(40))"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO emp VALUES (1, 'one')"));
  EXPECT_EQ(1, RowCount(cur));

  // Ten rows in one execution of ten iterations.
  Params p({{VT_SLONG, 4}, {VT_STRING, 40}}, 10);
  for (int32_t r = 0; r < 10; ++r) {
    std::string name = "n" + std::to_string(r + 2);
    p.Int(r, 0, r + 2).Bytes(r, 1, name.c_str(), name.size() + 1);
  }
  const unsigned before = ocilite_test_calls(OCILITE_T_EXECUTE);
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO emp (id, name) VALUES (?, ?)", p.Give()));
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_EXECUTE) - before);
  EXPECT_EQ(10, RowCount(cur));

  ASSERT_EQ(0, ExecDirect(cur, "UPDATE emp SET name = 'big' WHERE id > 6"));
  EXPECT_EQ(5, RowCount(cur));
  Params d({{VT_SLONG, 4}}, 1);
  d.Int(0, 0, 3);
  ASSERT_EQ(0, ExecDirect(cur, "DELETE FROM emp WHERE id <= ?", d.Give()));
  EXPECT_EQ(3, RowCount(cur));
  ASSERT_EQ(0, ExecDirect(cur, "UPDATE emp SET name = 'none' WHERE id = 999"));
  EXPECT_EQ(0, RowCount(cur));
  Free(cur);

  Rows rows = Peek("SELECT id, name FROM emp ORDER BY id");
  ASSERT_EQ(8u, rows.size());
  EXPECT_EQ((std::vector<std::string>{"4", "n4"}), rows[0]);
  EXPECT_EQ((std::vector<std::string>{"7", "big"}), rows[3]);
  EXPECT_EQ((std::vector<std::string>{"11", "big"}), rows[7]);
}

TEST_F(DmlTest, ExecDirectWithoutTextRunsThePreparedStatement) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER, b VARCHAR2(10))"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, Prepare(cur, "INSERT INTO t VALUES (?, ?)"));
  AgentCursor *rec = Agent_Cursor(cur);
  // Default descriptions, one per marker.
  ASSERT_EQ(2, rec->parCount);
  EXPECT_EQ(12, rec->pars[0].sqlType);
  EXPECT_EQ(VT_STRING, rec->pars[1].valueType);

  const ParamInfo info[2] = {{4, 4, 10, 0, PARAM_IN}, {12, 1, 10, 0, PARAM_IN}};
  Params p({{VT_SLONG, 4}, {VT_STRING, 10}}, 3);
  for (int32_t r = 0; r < 3; ++r) p.Int(r, 0, r).Bytes(r, 1, "abc", 4);
  ASSERT_EQ(0, ExecDirect(cur, nullptr, p.Give(), 2, info));
  EXPECT_EQ(3, RowCount(cur));
  ASSERT_EQ(2, rec->paramInfoCount);
  EXPECT_EQ(12, rec->paramInfo[1].sqlType);
  // Again with the same rows, no new records: the copy stays.
  ASSERT_EQ(0, ExecDirect(cur, nullptr));
  EXPECT_EQ(3, RowCount(cur));
  EXPECT_EQ(2, rec->paramInfoCount);
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetParamInfo>(&drv, cur, uint16_t{0}, nullptr));
  EXPECT_EQ(0, rec->paramInfoCount);

  // A statement without markers runs once, whatever rows the cursor kept.
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES (9, 'x')"));
  EXPECT_EQ(1, RowCount(cur));
  Free(cur);
  EXPECT_EQ((Rows{{"7"}}), Peek("SELECT COUNT(*) FROM t"));
}

TEST_F(DmlTest, ExecuteBeforePrepareAndFetchWithoutResult) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  EXPECT_EQ(E_S1010, Execute(cur));
  Dataset ds{};
  EXPECT_EQ(E_S1010, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{5}, &ds));
  // A statement with markers and no parameter rows.
  ASSERT_EQ(0, Prepare(cur, "INSERT INTO t VALUES (?)"));
  EXPECT_EQ(E_07001, Execute(cur));
  // After an UPDATE the fetch reports the end at once.
  ASSERT_EQ(0, ExecDirect(cur, "UPDATE t SET a = 1"));
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{5}, &ds));
  EXPECT_EQ(0, ds.columns);
  EXPECT_EQ(0, ds.rows);
  EXPECT_EQ(E_IM901, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_CloseCursor>(&drv, cur));
  // A failed re-execution leaves no result behind.
  ASSERT_EQ(0, ExecDirect(cur, "UPDATE t SET a = 1"));
  ocilite_test_fault(OCILITE_T_EXECUTE, 1, 1, 1013, 0, nullptr);
  EXPECT_EQ(E_S1000, Execute(cur));
  EXPECT_EQ(E_S1010, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{5}, &ds));
  EXPECT_EQ(E_IM901, DrvCall<&DrvOps::DRV_MoreResults>(&drv, cur));
  // A call of a procedure that does not exist fails at prepare and never runs.
  EXPECT_EQ(E_S1000, Prepare(cur, "{call no_such_proc(?)}"));
  EXPECT_EQ(E_S1010, Execute(cur));
  EXPECT_EQ(E_S1010, DrvCall<&DrvOps::DRV_Fetch>(&drv, cur, uint16_t{5}, &ds));
  Free(cur);
}

// Marked cells are asked for row by row, their pieces joined, NULL kept,
// and the statement runs once after the last cell.
TEST_F(DmlTest, DataAtExecutionCollectsPiecesThenRuns) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (k NUMBER(5), a VARCHAR2(20))"));
  Params p({{VT_SLONG, 4}, {VT_STRING, 10}}, 3);
  for (int32_t r = 0; r < 3; ++r) {
    const int32_t k = r + 1;
    memcpy(p.ds->cols[0].values + 4 * r, &k, 4);
    p.ds->cols[0].indicators[r] = 0;
    p.ds->cols[1].indicators[r] = kIndDataAtExec;
  }
  DrvHandle cur = Cursor();
  int32_t col = 0, row = 0;
  EXPECT_EQ(E_S1010, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, nullptr, nullptr));
  ASSERT_EQ(E_IM922, ExecDirect(cur, "INSERT INTO t VALUES (?, ?)", p.Give()));
  EXPECT_EQ((Rows{{"0"}}), Peek("SELECT COUNT(*) FROM t"));
  const char *pieces[3][2] = {{"abc", "defghijklmno"}, {nullptr, nullptr}, {"", "z"}};
  for (int32_t r = 0; r < 3; ++r) {
    ASSERT_EQ(E_IM922, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, nullptr, nullptr));
    EXPECT_EQ(1, col);
    EXPECT_EQ(r, row);
    if (!pieces[r][0]) {
      EXPECT_EQ(0, DrvCall<&DrvOps::DRV_PutData>(&drv, cur, uint32_t{VT_STRING}, int16_t{-1}, nullptr, 0));
      continue;
    }
    for (const char *piece : pieces[r])
      EXPECT_EQ(0, DrvCall<&DrvOps::DRV_PutData>(&drv, cur, uint32_t{VT_STRING}, int16_t{0}, piece,
                                                 static_cast<int32_t>(strlen(piece))));
  }
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, nullptr, nullptr)) << Errors(cur).texts.size();
  EXPECT_EQ(E_S1010, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, nullptr, nullptr));
  Free(cur);
  EXPECT_EQ((Rows{{"1", "abcdefghijklmno"}, {"2", "<NULL>"}, {"3", "z"}}), Peek("SELECT k, a FROM t ORDER BY k"));
}

// The cursor layer's pending update or insert collects its marked cells the
// same way; the last ParamData merges them into the layer's values and
// hands the operation back to the layer.
TEST_F(DmlTest, DataAtExecutionOfAPositionedUpdateMergesIntoTheLayersValues) {
  Connect();
  DrvHandle cur = Cursor();
  AgentCursor *rec = Agent_Cursor(cur);
  ASSERT_NE(nullptr, rec);
  Params p({{VT_SLONG, 4}, {VT_STRING, 10}}, 2);
  p.Int(0, 0, 7).Int(1, 0, 8);
  p.ds->cols[1].indicators[0] = kIndDataAtExec;
  p.ds->cols[1].indicators[1] = kIndDataAtExec;
  rec->scs.setPosValues = p.ds;
  // A delete, or an update without marked cells, has nothing to collect.
  rec->scs.setPosOp = 3;
  EXPECT_EQ(0, DAE_StartSetPos(cur));
  rec->scs.setPosOp = 2;
  EXPECT_EQ(E_S1009, DAE_StartSetPos(0xCCCCFFFF));
  ASSERT_EQ(E_IM922, DAE_StartSetPos(cur));
  int32_t col = 0, row = 0;
  ASSERT_EQ(E_IM922, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, nullptr, nullptr));
  EXPECT_EQ(1, col);
  EXPECT_EQ(0, row);
  for (const char *piece : {"ab", "cdefg"})
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_PutData>(&drv, cur, uint32_t{VT_STRING}, int16_t{0}, piece,
                                               static_cast<int32_t>(strlen(piece))));
  ASSERT_EQ(E_IM922, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, nullptr, nullptr));
  EXPECT_EQ(1, col);
  EXPECT_EQ(1, row);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_PutData>(&drv, cur, uint32_t{VT_STRING}, int16_t{-1}, nullptr, 0));
  int16_t *status = reinterpret_cast<int16_t *>(0x1);
  int32_t count = 0;
  // The values go with the operation to the layer, which refuses it on a
  // forward-only cursor (what the merged values change is for the layer's
  // own tests to show).
  p.Give();
  EXPECT_EQ(E_S1C00, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, &status, &count));
  EXPECT_EQ(nullptr, status);
  EXPECT_EQ(nullptr, rec->scs.setPosValues);
  EXPECT_EQ(E_S1010, DrvCall<&DrvOps::DRV_ParamData>(&drv, cur, &col, &row, nullptr, nullptr));
  Free(cur);
}

using TxnTest = ExecTest;

TEST_F(TxnTest, AutocommitOnCommitsEachStatement) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (1)"));
  EXPECT_EQ((Rows{{"1"}}), Peek("SELECT a FROM t"));
  // A statement of another kind that changes data is committed as well.
  ASSERT_EQ(0, Run("BEGIN INSERT INTO t VALUES (2); END;"));
  EXPECT_EQ((Rows{{"1"}, {"2"}}), Peek("SELECT a FROM t ORDER BY a"));
}

TEST_F(TxnTest, AutocommitOffWaitsForCommitOrRollback) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  int32_t off = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_SetInfo>(&drv, conn, INFO_AUTOCOMMIT, &off));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (1)"));
  EXPECT_EQ((Rows{{"0"}}), Peek("SELECT COUNT(*) FROM t"));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Rollback>(&drv, conn));
  Params p({{VT_SLONG, 4}}, 2);
  p.Int(0, 0, 2).Int(1, 0, 3);
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (?)", p.Give()));
  EXPECT_EQ((Rows{{"0"}}), Peek("SELECT COUNT(*) FROM t"));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  EXPECT_EQ((Rows{{"2"}, {"3"}}), Peek("SELECT a FROM t ORDER BY a"));
}

TEST_F(TxnTest, NoAutocommitOptionStartsWithAutocommitOff) {
  g_agentOptions.noAutocommit = 1;
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  ASSERT_EQ(0, Run("INSERT INTO t VALUES (1)"));
  EXPECT_EQ((Rows{{"0"}}), Peek("SELECT COUNT(*) FROM t"));
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_Commit>(&drv, conn));
  EXPECT_EQ((Rows{{"1"}}), Peek("SELECT COUNT(*) FROM t"));
}

TEST_F(TxnTest, WarningOfACommittedInsertIsASuccessWithItsRecords) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  ocilite_test_fault(OCILITE_T_EXECUTE, 1, 1, 24347, 1, "Warning of a NULL column in an aggregate function");
  EXPECT_EQ(E_IM902, ExecDirect(cur, "INSERT INTO t VALUES (1)"));
  EXPECT_EQ(1, RowCount(cur));
  EXPECT_EQ((Rows{{"1"}}), Peek("SELECT a FROM t"));
  Msgs m = Errors(cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ(24347u, m.native);
  EXPECT_EQ("[Oracle Server]ORA-24347: Warning of a NULL column in an aggregate function[SQLSTATE:S1000]",
            m.texts[0]);
  Free(cur);
}

using ErrorTest = ExecTest;

TEST_F(ErrorTest, OracleErrorsBecomeAgentTexts) {
  Connect();
  DrvHandle cur = Cursor();
  EXPECT_EQ(E_37000, Prepare(cur, "SELECT a FROM nosuch"));
  Msgs m = Errors(cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ(942u, m.native);
  EXPECT_EQ("[Oracle Server]ORA-00942: table or view does not exist[SQLSTATE:42S02]", m.texts[0]);

  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER PRIMARY KEY)"));
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES (1)"));
  EXPECT_EQ(E_S1000, ExecDirect(cur, "INSERT INTO t VALUES (1)"));
  // The parameter rows handed with a text that fails to prepare are the
  // cursor's all the same (freed with it, never leaked).
  Params lost({{VT_SLONG, 4}}, 1);
  lost.Int(0, 0, 5);
  Dataset *handed = lost.Give();
  EXPECT_EQ(E_37000, ExecDirect(cur, "INSERT INTO nosuch VALUES (?)", handed));
  EXPECT_EQ(handed, Agent_Cursor(cur)->params);
  // Only the last failure's records stay.
  m = Errors(cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]ORA-00942: table or view does not exist[SQLSTATE:42S02]", m.texts[0]);
  EXPECT_EQ(E_S1000, ExecDirect(cur, "INSERT INTO t VALUES (1)"));
  m = Errors(cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ(0u, m.texts[0].rfind("[Oracle Server]ORA-00001: unique constraint", 0)) << m.texts[0];
  EXPECT_NE(std::string::npos, m.texts[0].find("[SQLSTATE:23000]"));

  // An array stops at its failing row; the row count says how many went before.
  Params p({{VT_SLONG, 4}}, 4);
  p.Int(0, 0, 2).Int(1, 0, 3).Int(2, 0, 1).Int(3, 0, 4);
  EXPECT_EQ(E_S1000, ExecDirect(cur, "INSERT INTO t VALUES (?)", p.Give()));
  EXPECT_EQ(2, RowCount(cur));
  Free(cur);
}

TEST_F(ErrorTest, ReadOnlyConnectionRefusesAllButSelect) {
  {
    // The table comes from a writable connection.
    Connect();
    ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
    EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Disconnect>(&drv, conn));
    conn = 0;
  }
  Connect(1);
  DrvHandle cur = Cursor();
  for (const char *sql : {"INSERT INTO t VALUES (1)", "UPDATE t SET a = 2", "DELETE FROM t", "CREATE TABLE u (b NUMBER)"}) {
    EXPECT_EQ(E_IM916, Prepare(cur, sql)) << sql;
    Msgs m = Errors(cur);
    ASSERT_EQ(1u, m.texts.size()) << sql;
    EXPECT_EQ("[Oracle Server]Only SELECT statements are allowed during a read-only connection.[SQLSTATE:IM916]",
              m.texts[0]);
    EXPECT_EQ(E_S1010, Execute(cur)) << sql;
  }
  EXPECT_EQ(0, Prepare(cur, "SELECT a FROM t"));
  Free(cur);
}

using CacheTest = ExecTest;

TEST_F(CacheTest, StatementCacheHandsStatementsOutAtPrepare) {
  g_agentOptions.ociStmtCacheSize = 4;
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  AgentCursor *rec = Agent_Cursor(cur);
  EXPECT_EQ(nullptr, rec->dbCurs->stmt);
  ASSERT_EQ(0, Prepare(cur, "INSERT INTO t VALUES (?)"));
  EXPECT_NE(nullptr, rec->dbCurs->stmt);
  EXPECT_EQ(DBSTMT_CACHED, rec->dbCurs->stmtOrigin);
  for (int round = 0; round < 2; ++round) {
    Params p({{VT_SLONG, 4}}, 1);
    p.Int(0, 0, round);
    ASSERT_EQ(0, ExecDirect(cur, nullptr, p.Give()));
    ASSERT_EQ(0, Prepare(cur, "INSERT INTO t VALUES (?)"));
  }
  Free(cur);
  DrvHandle plain = Cursor();
  EXPECT_EQ((Rows{{"0"}, {"1"}}), Peek("SELECT a FROM t ORDER BY a"));
  Free(plain);
}

TEST_F(CacheTest, WithoutTheCacheACursorOwnsItsStatementFromTheStart) {
  g_agentOptions.ociPrefetchRows = 70000;
  Connect();
  DrvHandle cur = Cursor();
  AgentCursor *rec = Agent_Cursor(cur);
  ASSERT_NE(nullptr, rec->dbCurs->stmt);
  EXPECT_EQ(DBSTMT_ALLOCATED, rec->dbCurs->stmtOrigin);
  ub4 rows = 0;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrGet(rec->dbCurs->stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_PREFETCH_ROWS,
                                    rec->dbCurs->err->errhp));
  EXPECT_EQ(65536u, rows);
  Free(cur);
}

TEST_F(CacheTest, FailedPrefetchSettingLeavesNoCursor) {
  Connect();
  ocilite_test_fault(OCILITE_T_ATTR_SET, 1, 1, 1000, 0, nullptr);
  DrvHandle cur = 5;
  EXPECT_EQ(E_S1000, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
  EXPECT_EQ(0u, cur);
  // What OCI said stays with the connection, the only handle the caller has.
  Msgs m = Errors(conn);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ(1000u, m.native);
}

// A prefetch setting answered with a warning is made: the cursor is there
// and runs its statement.
TEST_F(CacheTest, PrefetchSettingWarningStillMakesTheCursor) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  ocilite_test_fault(OCILITE_T_ATTR_SET, 1, 2, 1000, 1, nullptr);
  DrvHandle cur = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
  EXPECT_NE(0u, cur);
  ocilite_test_reset();
  EXPECT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES (1)"));
  Free(cur);
}

TEST_F(CacheTest, FailedStatementHandleLeavesNoCursor) {
  Connect();
  ocilite_test_fault(OCILITE_T_HANDLE_ALLOC, 1, 1, 1019, 0, nullptr);
  DrvHandle cur = 5;
  EXPECT_EQ(E_S1001, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
  EXPECT_EQ(0u, cur);
  // The next allocation works.
  cur = Cursor();
  EXPECT_NE(0u, cur);
  Free(cur);
}

}  // namespace
