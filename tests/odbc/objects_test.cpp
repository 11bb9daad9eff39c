// The handle objects and handle allocation: what each allocation and free
// leaves behind, the pending errors the Driver Manager never lets through to
// the driver, the statement's binding storage and the descriptor records.
#include <gtest/gtest.h>

#include <cstring>

#include "fake.h"
#include "front_support.h"
#include "odbc/data/services.h"
#include "odbc/desc.h"
#include "odbc/envr.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"

using namespace front;

namespace {

struct ObjectsTest : FrontTest {
  SQLHENV env{};
  SQLHDBC dbc{};
  void SetUp() override {
    FrontTest::SetUp();
    env = NewEnv();
    dbc = NewDbc(env);
  }
  void Connect() { FakeConnect(dbc); }
};

TEST_F(ObjectsTest, AllocationVersionsAndNullOutputs) {
  EXPECT_EQ(EnvOf(env)->odbcVersion, SQL_OV_ODBC3);
  SQLHENV env2 = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env2), SQL_SUCCESS);
  EXPECT_EQ(EnvOf(env2)->odbcVersion, SQL_OV_ODBC2);
  EXPECT_EQ(EnvOf(env2)->state, ENVR_OPEN);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, nullptr), SQL_ERROR);
  EXPECT_EQ(EnvOf(env)->pending, E_S1009);
  EXPECT_EQ(SQLAllocConnect(env, nullptr), SQL_ERROR);
  Conn *c = ConnOf(dbc);
  EXPECT_EQ(c->env, EnvOf(env));
  EXPECT_EQ(c->state, CONN_ALLOCATED);
  EXPECT_EQ(c->loginTimeout, 120);
  EXPECT_EQ(c->flags, CONNF_AUTOCOMMIT);
  EXPECT_EQ(c->cursorDefaults.rowsetSize, 1);
  EXPECT_EQ(c->cursorDefaults.rowCount, -1);
  EXPECT_EQ(c->infoNumbers[0], -1);
}

TEST_F(ObjectsTest, StatementAndDescriptorNeedAnOpenConnection) {
  SQLHSTMT stmt = AsHandle(7);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_ERROR);
  EXPECT_EQ(stmt, nullptr);
  EXPECT_EQ(ConnOf(dbc)->pending, E_08003);
  EXPECT_EQ(SQLAllocStmt(dbc, &stmt), SQL_ERROR);
  EXPECT_EQ(ConnOf(dbc)->pending, E_08003);
  SQLHDESC desc = AsHandle(7);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_ERROR);
  EXPECT_EQ(desc, nullptr);
  EXPECT_EQ(ConnOf(dbc)->pending, E_08003);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, nullptr), SQL_ERROR);
  EXPECT_EQ(ConnOf(dbc)->pending, E_S1009);
}

TEST_F(ObjectsTest, StatementComesWithFourImplicitDescriptors) {
  Connect();
  ConnOf(dbc)->cursorDefaults.rowsetSize = 7;
  ConnOf(dbc)->cursorDefaults.useBookmarks = 1;
  ConnOf(dbc)->maxRowsDefault = 50;
  ConnOf(dbc)->cn_needbind = 1;
  SQLHSTMT h = NewStmt(dbc);
  Stmt *s = StmtOf(h);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->state, STMT_IDLE);
  EXPECT_EQ(s->paramsetSize, 1u);
  EXPECT_EQ(s->maxRows, 50);
  EXPECT_EQ(s->flags & STMTF_NEEDBIND, STMTF_NEEDBIND);
  EXPECT_EQ(s->cursor.rowsetSize, 7);
  EXPECT_EQ(s->cursor.useBookmarks, 1);
  EXPECT_EQ(s->cursor.owner, s);
  EXPECT_EQ(s->cursor.lowerStmt, s->agentCursor);
  const struct {
    Desc *d;
    int16_t kind;
  } expect[] = {{s->implicitArd, DESC_ARD}, {s->implicitApd, DESC_APD}, {s->ird, DESC_IRD}, {s->ipd, DESC_IPD}};
  for (auto &e : expect) {
    ASSERT_NE(e.d, nullptr);
    EXPECT_EQ(e.d->kind, e.kind);
    EXPECT_EQ(e.d->alloc, DESC_ALLOC_AUTO);
    EXPECT_EQ(e.d->stmt, s);
    EXPECT_EQ(DescOf(AsHandle(e.d->handle)), e.d);
    EXPECT_EQ(e.d->arraySize, 1u);
  }
  EXPECT_EQ(s->ard, s->implicitArd);
  EXPECT_EQ(s->apd, s->implicitApd);
  // The agent's cursor goes with the statement, and so do the descriptors.
  uint32_t ardHandle = s->implicitArd->handle;
  EXPECT_EQ(fake::LiveCursors(), 1);
  EXPECT_EQ(SQLFreeStmt(h, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(fake::LiveCursors(), 0);
  EXPECT_EQ(DescOf(AsHandle(ardHandle)), nullptr);
}

TEST_F(ObjectsTest, AgentRefusingACursorLeavesNoStatement) {
  Connect();
  fake::Script(SLOT_DRV_AllocCursor).result = E_S1001;
  SQLHSTMT h = AsHandle(7);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_ERROR);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(ConnOf(dbc)->pending, E_S1001);
  EXPECT_EQ(ConnOf(dbc)->statements, nullptr);
  EXPECT_EQ(g_odbc.descs.freeCount, g_odbc.descs.capacity);
}

TEST_F(ObjectsTest, ImplicitDescriptorCannotBeFreedExplicitOneCan) {
  Connect();
  SQLHSTMT h = NewStmt(dbc);
  SQLHDESC ard = AsHandle(StmtOf(h)->implicitArd->handle);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ard), SQL_ERROR);
  EXPECT_EQ(DescOf(ard)->pending, E_S1017);
  EXPECT_NE(StmtOf(h)->implicitArd, nullptr);

  SQLHDESC mine = NewDesc(dbc);
  Desc *d = DescOf(mine);
  EXPECT_EQ(d->kind, DESC_EXPLICIT_KIND);
  EXPECT_EQ(d->alloc, DESC_ALLOC_USER);
  EXPECT_EQ(d->conn, ConnOf(dbc));
  EXPECT_EQ(d->count, 0);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, mine), SQL_SUCCESS);
  EXPECT_EQ(DescOf(mine), nullptr);
}

TEST_F(ObjectsTest, FreeingAConnectionFreesItsExplicitDescriptors) {
  SQLHDBC second = NewDbc(env);
  FakeConnect(second);
  Connect();
  SQLHDESC d1 = NewDesc(dbc), d2 = NewDesc(dbc), keep = NewDesc(second);
  SQLHSTMT s = NewStmt(dbc);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(DescOf(d1), nullptr);
  EXPECT_EQ(DescOf(d2), nullptr);
  EXPECT_EQ(StmtOf(s), nullptr);
  EXPECT_NE(DescOf(keep), nullptr);
  EXPECT_EQ(fake::LiveConnections(), 1);
}

TEST_F(ObjectsTest, FreeStmtOptions) {
  Connect();
  SQLHSTMT h = NewStmt(dbc);
  Stmt *s = StmtOf(h);
  s->state = STMT_PREPARED;
  s->flags |= STMTF_RESULT_OPEN;
  EXPECT_EQ(SQLFreeStmt(h, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(s->state, STMT_IDLE);
  EXPECT_EQ(s->flags & STMTF_RESULT_OPEN, 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), 1);
  EXPECT_EQ(SQLFreeStmt(h, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), 1) << "an idle statement has no cursor to close";
  EXPECT_EQ(SQLFreeStmt(h, SQL_UNBIND), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(h, SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(h, 4), SQL_ERROR);
  EXPECT_EQ(s->pending, E_S1092);
  EXPECT_EQ(SQLCloseCursor(h), SQL_ERROR);
  EXPECT_EQ(s->pending, E_24000);
}

TEST_F(ObjectsTest, ParameterStorageGrowsToTheNumberPlusNine) {
  Connect();
  Stmt *s = StmtOf(NewStmt(dbc));
  ParamBinding b{};
  b.cType = SQL_C_CHAR;
  b.sqlType = SQL_VARCHAR;
  b.columnSize = 10;
  b.paramType = 1;
  struct Case {
    uint16_t number;
    SQLRETURN rc;
    uint16_t capacity;
  } cases[] = {{5, SQL_SUCCESS, 14}, {3, SQL_SUCCESS, 14}, {1020, SQL_SUCCESS, 1024},
               {1024, SQL_SUCCESS, 1024}, {1025, SQL_ERROR, 1024}, {0, SQL_ERROR, 1024}};
  for (const Case &c : cases) {
    b.number = c.number;
    s->pending = 0;
    EXPECT_EQ(StmtSetParam(s, &b), c.rc) << c.number;
    EXPECT_EQ(s->paramCapacity, c.capacity) << c.number;
    if (c.rc == SQL_ERROR) {
      EXPECT_EQ(s->pending, E_S1093);
    }
  }
  EXPECT_EQ(StmtParamEntry(s, 5)->columnSize, 10u) << "entries survive the growth";
  EXPECT_EQ(StmtParamEntry(s, 1025), nullptr);

  // Only a change of what the agent is told clears "parameter information sent".
  s->flags |= STMTF_PARAMINFO_SENT;
  b.number = 5;
  char data[4];
  b.data = data;
  StmtSetParam(s, &b);
  EXPECT_TRUE(s->flags & STMTF_PARAMINFO_SENT);
  b.sqlType = SQL_INTEGER;
  StmtSetParam(s, &b);
  EXPECT_FALSE(s->flags & STMTF_PARAMINFO_SENT);
  StmtResetParams(s);
  EXPECT_EQ(s->paramCapacity, 0);
  EXPECT_EQ(StmtParamEntry(s, 5), nullptr);
}

TEST_F(ObjectsTest, RebindingAColumnKeepsTheOrderOfFirstBinding) {
  Connect();
  Stmt *s = StmtOf(NewStmt(dbc));
  BoundCol b{};
  for (uint16_t col : {3, 1, 2}) {
    b.bind.column = col;
    b.bind.cType = SQL_C_CHAR;
    ASSERT_EQ(StmtBindCol(s, &b), SQL_SUCCESS);
  }
  b.bind.column = 1;
  b.bind.cType = SQL_C_LONG;
  ASSERT_EQ(StmtBindCol(s, &b), SQL_SUCCESS);
  uint16_t order[3];
  int n = 0;
  for (BoundCol *p = s->boundCols; p; p = p->next) order[n++] = p->bind.column;
  ASSERT_EQ(n, 3);
  EXPECT_EQ(order[0], 3);
  EXPECT_EQ(order[1], 1);
  EXPECT_EQ(order[2], 2);
  EXPECT_EQ(StmtBoundCol(s, 1)->bind.cType, SQL_C_LONG);
  StmtUnbindCol(s, 9);  // not bound: nothing happens
  StmtUnbindCol(s, 1);
  EXPECT_EQ(StmtBoundCol(s, 1), nullptr);
  EXPECT_NE(StmtBoundCol(s, 2), nullptr);
}

TEST_F(ObjectsTest, DescriptorRecordsStartByKind) {
  Connect();
  Stmt *s = StmtOf(NewStmt(dbc));
  Desc *user = DescOf(NewDesc(dbc));
  ASSERT_EQ(DescGrowRecs(s->implicitArd, 3), 0);
  ASSERT_EQ(DescGrowRecs(s->ipd, 2), 0);
  ASSERT_EQ(DescGrowRecs(user, 2), 0);
  EXPECT_EQ(DescRecCount(s->implicitArd), 3);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(DescGetRec(s->implicitArd, i)->conciseType, SQL_C_DEFAULT);
    EXPECT_EQ(DescGetRec(s->implicitArd, i)->type, SQL_C_DEFAULT);
  }
  EXPECT_EQ(DescGetRec(s->implicitArd, 4), nullptr);
  EXPECT_EQ(DescGetRec(s->ipd, 2)->parameterType, SQL_PARAM_INPUT);
  EXPECT_EQ(DescGetRec(user, 2)->conciseType, 0) << "an explicit descriptor's records start zero-filled";
  EXPECT_EQ(DescGetRec(user, 0)->conciseType, 0);
  // Unbinding all columns drops every record after the bookmark record.
  StmtUnbindAll(s);
  EXPECT_EQ(s->implicitArd->count, 0);
  EXPECT_EQ(DescRecCount(s->implicitArd), 0);
  EXPECT_NE(DescGetRec(s->implicitArd, 0), nullptr);
}

TEST_F(ObjectsTest, ResultColumnsCountWithoutTheAgentsParameterColumns) {
  Connect();
  Stmt *s = StmtOf(NewStmt(dbc));
  int16_t n = -1;
  EXPECT_EQ(StmtNumResultCols(s, &n), E_S1010);
  s->state = STMT_PREPARED;
  s->resultDescs = ColDescAlloc(4);
  s->resultCount = 4;
  strcpy(s->resultDescs[0].name, "ID");
  strcpy(s->resultDescs[1].name, "*O");
  strcpy(s->resultDescs[2].name, "*B");
  strcpy(s->resultDescs[3].name, "*X");
  EXPECT_EQ(StmtNumResultCols(s, &n), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(StmtGetColDesc(s, 1), &s->resultDescs[0]);
  EXPECT_EQ(StmtGetColDesc(s, 5), nullptr);
  EXPECT_EQ(s->pending, E_S1002);
  EXPECT_EQ(StmtGetColDesc(s, 0), nullptr);
  s->cursor.useBookmarks = 1;
  ColDesc *bm = StmtGetColDesc(s, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_STREQ(bm->name, "BOOKMARK");
  EXPECT_EQ(bm->sqlType, SQL_CHAR);
  EXPECT_EQ(bm->columnSize, 8u);
  EXPECT_EQ(bm->octetLength, 8u);
  ColDescFree(bm, 1);
}

// The result is described once per result set, through the describe slot
// the connection's capabilities choose, and sizes the fetch blocks.
TEST_F(ObjectsTest, DescribeAsksTheAgentOnceAndSizesBlocks) {
  Connect();
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"NAME", SQL_VARCHAR, VT_STRING, 30}});
  Conn *c = ConnOf(dbc);
  c->cn_fetchSize = 60;
  for (int extended = 0; extended < 2; ++extended) {
    c->cn_describe2 = extended;
    Stmt *s = StmtOf(NewStmt(dbc));
    s->state = STMT_PREPARED;
    ColDesc *d = StmtDescribe(s);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(StmtDescribe(s), d);
    EXPECT_EQ(s->resultCount, 2);
    EXPECT_STREQ(d[1].name, "NAME");
    EXPECT_EQ(s->rowsPerBlock, 60) << "the smaller of the estimate and the fetch size";
  }
  EXPECT_EQ(fake::CallCount(SLOT_DRV_DescribeColumns), 1);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_DescribeColumns2), 1);

  // A failed describe leaves the agent's code and messages on the statement.
  c->cn_describe2 = 0;
  fake::Script(SLOT_DRV_DescribeColumns).result = E_S1000;
  fake::Script(SLOT_DRV_DescribeColumns).messages = {{"[Oracle Server]ORA-01003: no statement parsed[SQLSTATE:S1000]", 1003}};
  Stmt *s = StmtOf(NewStmt(dbc));
  s->state = STMT_PREPARED;
  EXPECT_EQ(StmtDescribe(s), nullptr);
  EXPECT_EQ(s->pending, E_S1000);
  ASSERT_NE(s->messages, nullptr);
  EXPECT_EQ(s->messages->native, 1003);
  int16_t n = -1;
  EXPECT_EQ(StmtNumResultCols(s, &n), E_S1000);
  EXPECT_EQ(n, 0);
}

TEST_F(ObjectsTest, ParamsetSizeNeedsTheAgentsParameterArrays) {
  Connect();
  Stmt *s = StmtOf(NewStmt(dbc));
  uint64_t processed = 0;
  EXPECT_EQ(StmtSetParamsetSize(s, 5, &processed), E_IM001);
  EXPECT_EQ(StmtSetParamsetSize(s, 1, &processed), 0);
  EXPECT_EQ(s->paramsetSize, 1u);
  ConnOf(dbc)->cn_hasParamOp = 1;
  EXPECT_EQ(StmtSetParamsetSize(s, 0, &processed), E_S1107);
  EXPECT_EQ(StmtSetParamsetSize(s, 5, &processed), 0);
  EXPECT_EQ(s->paramsetSize, 5u);
  EXPECT_EQ(s->rowsProcessed, &processed);
}

TEST(Services, RowsPerBlockBySizeOfARow) {
  ColDesc d[2] = {};
  EXPECT_EQ(RowsPerBlock(d, 0), 0);
  d[0].valueType = VT_SLONG;  // 6 bytes
  EXPECT_EQ(RowsPerBlock(d, 1), 65535 / 6);
  d[1].valueType = VT_CHAR;
  d[1].octetLength = 98;  // 100 bytes
  EXPECT_EQ(RowsPerBlock(d, 2), 65535 / 106);
  d[1].valueType = VT_WCHAR;  // 2 x 98 + 2
  EXPECT_EQ(RowsPerBlock(d, 2), 65535 / 204);
  // A row wider than a block still fetches, one row at a time.
  d[1].valueType = VT_CHAR;
  d[1].octetLength = 100000;
  EXPECT_EQ(RowsPerBlock(d, 2), 1);
}

TEST(Services, RowPositionRules) {
  ScsCursor c{};
  scs_CursorInit(&c, 0, 0, nullptr, nullptr);
  EXPECT_EQ(scs_SetRowPosition(&c, 5), 0) << "an uncounted result takes any row";
  c.rowCount = 3;
  EXPECT_EQ(scs_SetRowPosition(&c, 4), E_S1107);
  EXPECT_EQ(c.position, 5);
  c.firstRow = 11;
  EXPECT_EQ(scs_SetRowPosition(&c, SCS_ALL_ROWS), 0);
  EXPECT_EQ(c.firstRow, 11) << "all rows keeps the rowset's first row";
  EXPECT_EQ(scs_SetRowPosition(&c, -7), E_S1107);
  EXPECT_EQ(scs_SetRowPosition(&c, SCS_AFTER_LAST), 0);
  EXPECT_EQ(c.firstRow, SCS_AFTER_LAST);
  scs_ResetPosition(&c);
  EXPECT_EQ(c.rowCount, -1);
  EXPECT_EQ(c.position, SCS_BEFORE_FIRST);
  EXPECT_EQ(c.firstRow, 0);
}

}  // namespace
