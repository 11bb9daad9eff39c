// Statement preparation and the result entries: SQLPrepare, SQLExecDirect's
// prepare half, SQLNativeSql, SQLNumParams, SQLNumResultCols,
// SQLParamOptions, SQLRowCount and SQLMoreResults against the fake agent.
#include <cstring>
#include <functional>
#include <string>

#include "odbc/prepare.h"
#include "odbc/stmtattr.h"
#include "stmt_fixture.h"

namespace {

using st::P;
using st::Text;

struct PrepareTest : st::StmtTest {
  SQLRETURN Prepare(const char *sql, SQLINTEGER len = SQL_NTS) {
    return SQLPrepare(hstmt, sql ? Text(sql) : nullptr, len);
  }
  static std::string LastPrepared() {
    auto calls = fake::LogOf(SLOT_DRV_Prepare);
    return calls.empty() ? "<none>" : calls.back().text;
  }
};

TEST_F(PrepareTest, TextAndLength) {
  struct Case {
    const char *sql;
    SQLINTEGER len;
    SQLRETURN rc;
    int32_t pending;
    const char *agentGets;
  };
  const Case cases[] = {
      {"select 1 from dual", SQL_NTS, SQL_SUCCESS, 0, "select 1 from dual"},
      {"select 1 from dual", 18, SQL_SUCCESS, 0, "select 1 from dual"},
      {"select 1 from dual", 8, SQL_SUCCESS, 0, "select 1"},
      {"select 1 from dual", -5, SQL_ERROR, E_S1090, nullptr},
      {nullptr, SQL_NTS, SQL_ERROR, E_S1090, nullptr},
  };
  for (const Case &c : cases) {
    const int before = fake::CallCount(SLOT_DRV_Prepare);
    EXPECT_EQ(Prepare(c.sql, c.len), c.rc) << c.len;
    EXPECT_EQ(stmt->pending, c.pending) << c.len;
    if (c.agentGets) {
      EXPECT_EQ(LastPrepared(), c.agentGets);
      EXPECT_EQ(stmt->state, STMT_PREPARED);
      EXPECT_TRUE(stmt->flags & STMTF_PREPARED);
    } else {
      EXPECT_EQ(fake::CallCount(SLOT_DRV_Prepare), before);
    }
  }
}

TEST_F(PrepareTest, SelectIsTheFirstFiveLettersInAnyCase) {
  const std::pair<const char *, int> cases[] = {
      {"select * from t", 1}, {"SeLeCt 1", 1}, {"SELECTX", 1}, {"selec", 1},
      {" select 1", 0},       {"update t set a=1", 0}, {"sel", 0},
  };
  for (const auto &[sql, isSelect] : cases) {
    ASSERT_EQ(Prepare(sql), SQL_SUCCESS) << sql;
    EXPECT_EQ(stmt->isSelect, isSelect) << sql;
  }
}

// The agent settles on another cursor type at prepare: a warning, and the
// agent's type in force; the next prepare asks for the original again.
TEST_F(PrepareTest, CursorTypeTheAgentFallsBackToIsReadBack) {
  ASSERT_EQ(SQLSetStmtOption(hstmt, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN), SQL_SUCCESS);
  fake::Script(SLOT_DRV_Prepare).hook = [] { fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SQL_CURSOR_STATIC); };
  EXPECT_EQ(Prepare("select * from t"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(StmtState(), "01S02");
  EXPECT_TRUE(Sent("0x32030006=1"));
  SQLUINTEGER type = 0;
  EXPECT_EQ(SQLGetStmtOption(hstmt, SQL_CURSOR_TYPE, &type), SQL_SUCCESS);
  EXPECT_EQ(type, static_cast<SQLUINTEGER>(SQL_CURSOR_STATIC));
  EXPECT_EQ(stmt->state, STMT_PREPARED);

  // The next prepare asks for the keyset-driven cursor again.
  const int asked = SentCount("0x32030006=1");
  fake::Script(SLOT_DRV_Prepare).hook = [] { fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SQL_CURSOR_KEYSET_DRIVEN); };
  EXPECT_EQ(Prepare("select * from t"), SQL_SUCCESS);
  EXPECT_EQ(SentCount("0x32030006=1"), asked + 1);
  EXPECT_EQ(stmt->cursor.cursorType, SQL_CURSOR_KEYSET_DRIVEN);
}

TEST_F(PrepareTest, ConcurrencyTheAgentChangesWarns) {
  ASSERT_EQ(SQLSetStmtOption(hstmt, SQL_CONCURRENCY, SQL_CONCUR_ROWVER), SQL_SUCCESS);
  fake::Script(SLOT_DRV_Prepare).hook = [] { fake::SetInfo(InfoStmtOption(SQL_CONCURRENCY), SQL_CONCUR_VALUES); };
  EXPECT_EQ(Prepare("select * from t"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(stmt->pending, E_01S02);
  EXPECT_EQ(stmt->cursor.concurrency, SQL_CONCUR_VALUES);
}

TEST_F(PrepareTest, ForwardOnlyReadOnlyAsksNothing) {
  ASSERT_EQ(Prepare("select * from t"), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_GetInfo), 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_SetInfo), 0);
}

// Cursor options a statement inherits from its connection reach the agent
// cursor at the statement's first prepare.
TEST_F(PrepareTest, InheritedCursorOptionsReachTheAgent) {
  conn->cursorDefaults.cursorType = SQL_CURSOR_STATIC;
  SQLHSTMT h;
  Stmt *s = NewStmt(&h);
  ASSERT_EQ(s->cursor.cursorType, SQL_CURSOR_STATIC);
  ASSERT_EQ(SQLPrepare(h, Text("select * from t"), SQL_NTS), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x32030006=3"));
  EXPECT_TRUE(Sent("0x32030007=1"));
  EXPECT_EQ(s->cursor.cursorType, SQL_CURSOR_STATIC);
}

// Statement options a new statement takes from the connection (an ODBC 2
// application's SQLSetConnectOption) reach the agent cursor at the first
// prepare also when a cursor type or concurrency was set before it.
TEST_F(PrepareTest, InheritedStatementOptionsReachTheAgentAfterACursorOptionWasSet) {
  conn->maxRowsDefault = 2;
  conn->queryTimeoutDefault = 7;
  const std::pair<SQLUSMALLINT, SQLULEN> setFirst[] = {{SQL_CONCURRENCY, SQL_CONCUR_LOCK},
                                                      {SQL_CURSOR_TYPE, SQL_CURSOR_STATIC}};
  for (const auto &[option, value] : setFirst) {
    const int rows = SentCount("0x32030001=2"), timeout = SentCount("0x32030000=7");
    SQLHSTMT h;
    NewStmt(&h);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtOption(h, option, value))) << option;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(h, Text("select * from t"), SQL_NTS))) << option;
    EXPECT_EQ(rows + 1, SentCount("0x32030001=2")) << option;  // SQL_MAX_ROWS
    EXPECT_EQ(timeout + 1, SentCount("0x32030000=7")) << option;  // SQL_QUERY_TIMEOUT
    // Once: the next prepare sends them no more.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(h, Text("select * from t"), SQL_NTS))) << option;
    EXPECT_EQ(rows + 1, SentCount("0x32030001=2")) << option;
  }
}

TEST_F(PrepareTest, FailedPrepareLeavesTheStatementUnprepared) {
  ASSERT_EQ(Prepare("select * from t"), SQL_SUCCESS);
  fake::Script(SLOT_DRV_Prepare).result = E_42S02;
  fake::Script(SLOT_DRV_Prepare).messages = {
      {fake::OraText("ORA-00942: table or view does not exist", "42S02"), 942}};
  EXPECT_EQ(Prepare("select * from nothere"), SQL_ERROR);
  EXPECT_EQ(StmtState(), "42S02");
  EXPECT_EQ(stmt->state, STMT_IDLE);
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLNumResultCols(hstmt, &n), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1010);
  EXPECT_EQ(SQLNumParams(hstmt, &n), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1010);
}

TEST_F(PrepareTest, FailedParameterDescriptionClosesTheCursor) {
  fake::Script(SLOT_DRV_DescribeParams).result = E_S1001;
  EXPECT_EQ(Prepare("insert into t values (?)"), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1001);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), 1);
  EXPECT_EQ(stmt->state, STMT_IDLE);
}

TEST_F(PrepareTest, ParametersAreClassifiedByName) {
  fake::SetParamDescs({{"*O"}, {"*B"}, {"P1"}, {"*B"}, {"*U"}, {"*O"}});
  ASSERT_EQ(Prepare("{call p(?,?,?,?,?,?)}"), SQL_SUCCESS);
  EXPECT_EQ(stmt->outCount, 1);
  EXPECT_EQ(stmt->inOutCount, 2);
  EXPECT_EQ(stmt->inCount, 1);
  EXPECT_EQ(stmt->hasUnknownParam, 1);
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLNumParams(hstmt, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 6);
  // A prepare again starts the counts afresh.
  fake::SetParamDescs({{"P1"}});
  ASSERT_EQ(Prepare("insert into t values (?)"), SQL_SUCCESS);
  EXPECT_EQ(stmt->outCount + stmt->inOutCount, 0);
  EXPECT_EQ(stmt->inCount, 1);
  EXPECT_EQ(stmt->hasUnknownParam, 0);
}

TEST_F(PrepareTest, NumResultColsLeavesOutTheAgentsParameterColumns) {
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"*O", SQL_VARCHAR}, {"NAME"}, {"*B", SQL_VARCHAR}});
  ASSERT_EQ(Prepare("{call p(?)}"), SQL_SUCCESS);
  SQLSMALLINT n = -1;
  EXPECT_EQ(SQLNumResultCols(hstmt, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
}

// A description during which a failover completed (183) is kept; the call
// that asked for it reports IM500 and the application's event 16.
decltype(DrvOps::DRV_DescribeColumns) g_fakeDescribe = nullptr;
decltype(DrvOps::DRV_DescribeColumns2) g_fakeDescribe2 = nullptr;
int32_t DescribeThenFailover(DrvHandle cursor, uint16_t *count, ColDesc **descs) {
  int32_t rc = g_fakeDescribe(cursor, count, descs);
  return rc == 0 ? E_IM500 : rc;
}
int32_t Describe2ThenFailover(DrvHandle cursor, uint16_t *count, int16_t *attrCount, ColDesc **descs,
                              ColAttr **attrs) {
  int32_t rc = g_fakeDescribe2(cursor, count, attrCount, descs, attrs);
  return rc == 0 ? E_IM500 : rc;
}
int g_failoverEvent = 0;
int RecordFailover(int event, void *, int) {
  g_failoverEvent = event;
  return 0;
}

TEST_F(PrepareTest, CompletedFailoverDuringTheDescriptionKeepsIt) {
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"NAME"}});
  ASSERT_EQ(Prepare("select id, name from t"), SQL_SUCCESS);
  DrvOps *table = stmt->drv->table;
  g_fakeDescribe = table->DRV_DescribeColumns;
  g_fakeDescribe2 = table->DRV_DescribeColumns2;
  table->DRV_DescribeColumns = DescribeThenFailover;
  table->DRV_DescribeColumns2 = Describe2ThenFailover;
  conn->failoverCallback = RecordFailover;
  g_failoverEvent = 0;
  SQLSMALLINT n = -1;
  EXPECT_EQ(SQLNumResultCols(hstmt, &n), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(g_failoverEvent, 16);
  conn->failoverCallback = nullptr;
  table->DRV_DescribeColumns = g_fakeDescribe;
  table->DRV_DescribeColumns2 = g_fakeDescribe2;
}

// Every agent operation that did its work while a failover completed on the
// way answers 183: the call succeeds with information (IM500 on the handle
// the application called, its event 16) and keeps what the operation did.
// Each case scripts 183 on one slot only, after the case's own preparation.
TEST_F(PrepareTest, OperationsThatMetACompletedFailoverSucceedWithInformation) {
  conn->cn_hasV2DAE = 1;
  conn->cn_hasExecute2 = 1;
  conn->cn_needbind = 1;
  // Every statement the fake prepares has the parameters last set here.
  auto oneMarker = [] { fake::SetParamDescs({{"P1", SQL_DECIMAL, VT_STRING, 15, 4}}); };
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}});
  SQLLEN dae = SQL_DATA_AT_EXEC;
  SQLINTEGER value = 5;
  // Prepared with one parameter bound at execution, the execution waiting
  // for its value.
  auto waitingForData = [&] {
    oneMarker();
    ASSERT_EQ(Prepare("insert into t values (?)"), SQL_SUCCESS);
    ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, P(1), 0, &dae),
              SQL_SUCCESS);
    fake::Script(SLOT_DRV_ExecDirect).queue = {E_IM922};
    fake::AskParamData(1);
    ASSERT_EQ(SQLExecute(hstmt), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA);
  };
  SQLHSTMT extra = SQL_NULL_HSTMT;
  int executes = 0;
  SQLSMALLINT type = 0, count = 0;
  SQLLEN rows = 0;
  SQLINTEGER native = 0;
  char text[64] = {};
  struct Case {
    const char *name;
    int slot;
    bool onConnection;  // the call's handle is the connection
    std::function<void()> before;
    std::function<SQLRETURN()> call;
    std::function<void()> kept;  // what the operation did stays
  };
  const Case cases[] = {
      {"prepare: parameters described", SLOT_DRV_DescribeParams, false, oneMarker,
       [&] { return Prepare("insert into t values (?)"); },
       [&] {
         EXPECT_EQ(SQLNumParams(hstmt, &count), SQL_SUCCESS);
         EXPECT_EQ(count, 1);
       }},
      {"first SQLDescribeParam", SLOT_DRV_DescribeParams, false,
       [&] {
         oneMarker();
         ASSERT_EQ(Prepare("insert into t values (?)"), SQL_SUCCESS);
       },
       [&] { return SQLDescribeParam(hstmt, 1, &type, nullptr, nullptr, nullptr); },
       [&] { EXPECT_EQ(type, SQL_DECIMAL); }},
      {"SQLNativeSql", SLOT_DRV_NativeSql, true, [] {},
       [&] { return SQLNativeSql(dbc, Text("select 1"), SQL_NTS, reinterpret_cast<SQLCHAR *>(text), sizeof text,
                                 &native); },
       [&] { EXPECT_STREQ(text, "select 1"); }},
      {"SQLSetCursorName", SLOT_DRV_SetCursorName, false, [] {},
       [&] { return SQLSetCursorName(hstmt, Text("C7"), SQL_NTS); },
       [&] { EXPECT_EQ(fake::CursorName(stmt->agentCursor), "C7"); }},
      {"SQLGetCursorName", SLOT_DRV_GetCursorName, false, [] {},
       [&] { return SQLGetCursorName(hstmt, reinterpret_cast<SQLCHAR *>(text), sizeof text, &count); },
       [&] { EXPECT_STREQ(text, "C7"); }},
      {"SQLGetInfo from the agent", SLOT_DRV_GetInfo, true,
       [] { fake::SetInfo(InfoGetInfoInt(SQL_NUMERIC_FUNCTIONS), 0x55); },
       [&] { return SQLGetInfo(dbc, SQL_NUMERIC_FUNCTIONS, &native, sizeof native, nullptr); },
       [&] { EXPECT_EQ(native, 0x55); }},
      {"SQLSetConnectAttr to the agent", SLOT_DRV_SetInfo, true, [] {},
       [&] { return SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, P(SQL_TXN_SERIALIZABLE), 0); },
       [&] { EXPECT_EQ(conn->isolation, SQL_TXN_SERIALIZABLE); }},
      {"SQLSetStmtAttr to the agent", SLOT_DRV_SetInfo, false, [] {},
       [&] { return SQLSetStmtAttr(hstmt, SQL_ATTR_QUERY_TIMEOUT, P(9), 0); },
       [&] { EXPECT_EQ(stmt->queryTimeout, 9); }},
      {"SQLRowCount", SLOT_DRV_GetInfo, false,
       [&] {
         ASSERT_EQ(Prepare("update t set a = 1"), SQL_SUCCESS);
         fake::SetInfo(INFO_ROW_COUNT, 7);
       },
       [&] { return SQLRowCount(hstmt, &rows); }, [&] { EXPECT_EQ(rows, 7); }},
      {"SQLFreeStmt close", SLOT_DRV_CloseCursor, false,
       [&] { ASSERT_EQ(Prepare("select id from t"), SQL_SUCCESS); },
       [&] { return SQLFreeStmt(hstmt, SQL_CLOSE); }, [&] { EXPECT_EQ(stmt->state, STMT_IDLE); }},
      {"SQLCloseCursor", SLOT_DRV_CloseCursor, false,
       [&] { ASSERT_EQ(SQLExecDirect(hstmt, Text("select id from t"), SQL_NTS), SQL_SUCCESS) << StmtState(); },
       [&] { return SQLCloseCursor(hstmt); }, [&] { EXPECT_FALSE(stmt->flags & STMTF_RESULT_OPEN); }},
      {"SQLAllocHandle statement", SLOT_DRV_AllocCursor, true, [] {},
       [&] { return SQLAllocHandle(SQL_HANDLE_STMT, dbc, &extra); },
       [&] {
         EXPECT_EQ(SQLExecDirect(extra, Text("select id from t"), SQL_NTS), SQL_SUCCESS);
         EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, extra), SQL_SUCCESS);
       }},
      {"SQLGetTypeInfo", SLOT_DRV_DDTypeInfo, false, [] {}, [&] { return SQLGetTypeInfo(hstmt, SQL_ALL_TYPES); },
       [&] { EXPECT_TRUE(stmt->flags & STMTF_RESULT_OPEN); }},
      {"SQLExecute, values sent before the execution", SLOT_DRV_SetParams, false,
       [&] {
         conn->cn_hasExecute2 = 0;
         oneMarker();
         ASSERT_EQ(Prepare("insert into t values (?)"), SQL_SUCCESS);
         ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &value, 0, nullptr),
                   SQL_SUCCESS);
         executes = fake::CallCount(SLOT_DRV_Execute);
       },
       [&] { return SQLExecute(hstmt); },
       [&] {
         EXPECT_EQ(fake::CallCount(SLOT_DRV_Execute), executes + 1);
         conn->cn_hasExecute2 = 1;
       }},
      {"SQLPutData", SLOT_DRV_PutData, false, waitingForData, [&] { return SQLPutData(hstmt, P(1), 0); },
       [&] {
         SQLPOINTER token = nullptr;
         EXPECT_EQ(SQLParamData(hstmt, &token), SQL_SUCCESS);
       }},
      {"SQLParamData ending the execution", SLOT_DRV_ParamData, false,
       [&] {
         waitingForData();
         ASSERT_EQ(SQLPutData(hstmt, P(1), 0), SQL_SUCCESS);
       },
       [&] {
         SQLPOINTER token = nullptr;
         return SQLParamData(hstmt, &token);
       },
       [&] { EXPECT_EQ(stmt->daeState, 0); }},
  };
  conn->failoverCallback = RecordFailover;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SQLFreeStmt(hstmt, SQL_CLOSE);
    SQLFreeStmt(hstmt, SQL_RESET_PARAMS);
    fake::SetParamDescs({});
    c.before();
    fake::Script(c.slot).onSuccess = E_IM500;
    g_failoverEvent = 0;
    const SQLRETURN rc = c.call();
    fake::Script(c.slot).onSuccess.reset();
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(c.onConnection ? State(SQL_HANDLE_DBC, dbc) : StmtState(), "IM500");
    EXPECT_EQ(g_failoverEvent, 16);
    c.kept();
  }
  conn->failoverCallback = nullptr;
}

TEST_F(PrepareTest, RowCountIsSignExtended) {
  ASSERT_EQ(Prepare("update t set a = 1"), SQL_SUCCESS);
  for (int32_t agent : {42, -1}) {
    fake::SetInfo(INFO_ROW_COUNT, agent);
    SQLLEN n = 0;
    EXPECT_EQ(SQLRowCount(hstmt, &n), SQL_SUCCESS);
    EXPECT_EQ(n, agent);
  }
  fake::Script(SLOT_DRV_GetInfo).result = E_S1009;
  SQLLEN n = 0;
  EXPECT_EQ(SQLRowCount(hstmt, &n), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1009);
}

TEST_F(PrepareTest, ParamOptions) {
  SQLULEN done = 0;
  EXPECT_EQ(SQLParamOptions(hstmt, 5, &done), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_IM001);
  EXPECT_EQ(SQLParamOptions(hstmt, 1, &done), SQL_SUCCESS);
  conn->cn_hasParamOp = 1;
  EXPECT_EQ(SQLParamOptions(hstmt, 0, &done), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1107);
  EXPECT_EQ(SQLParamOptions(hstmt, 5, &done), SQL_SUCCESS);
  EXPECT_EQ(stmt->paramsetSize, 5u);
  EXPECT_EQ(stmt->rowsProcessed, &done);
}

TEST_F(PrepareTest, MoreResults) {
  // Nothing prepared, or a connection without further results: no data.
  EXPECT_EQ(SQLMoreResults(hstmt), SQL_NO_DATA);
  ASSERT_EQ(Prepare("select * from t"), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(hstmt), SQL_NO_DATA);
  EXPECT_EQ(stmt->pending, 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_MoreResults), 0);

  conn->cn_hasMoreRes = 1;
  EXPECT_EQ(SQLMoreResults(hstmt), SQL_NO_DATA);  // the agent's 73
  EXPECT_EQ(stmt->pending, 0);
  EXPECT_EQ(stmt->resultDescs, nullptr);

  // A next result: described, and the processed-sets counter of a SELECT run
  // for several parameter sets moves on.
  fake::SetColumns({{"A"}, {"B"}});
  uint64_t processed = 1;
  stmt->paramsetSize = 3;
  stmt->rowsProcessed = &processed;
  fake::Script(SLOT_DRV_MoreResults).queue = {0};
  EXPECT_EQ(SQLMoreResults(hstmt), SQL_SUCCESS);
  EXPECT_EQ(stmt->resultCount, 2);
  EXPECT_EQ(processed, 2u);
  stmt->rowsProcessed = nullptr;

  // Output parameter values announced, no output parameters: straight on.
  fake::Script(SLOT_DRV_MoreResults).queue = {E_IM906, 0};
  const int calls = fake::CallCount(SLOT_DRV_MoreResults);
  EXPECT_EQ(SQLMoreResults(hstmt), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_MoreResults), calls + 2);

  fake::Script(SLOT_DRV_MoreResults).queue = {E_S1000};
  fake::Script(SLOT_DRV_MoreResults).messages = {{fake::OraText("ORA-01002: fetch out of sequence", "HY000"), 1002}};
  EXPECT_EQ(SQLMoreResults(hstmt), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1000);
  EXPECT_NE(stmt->messages, nullptr);
}

TEST_F(PrepareTest, NativeSql) {
  char out[64] = {};
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLNativeSql(dbc, Text("select {fn now()} from dual"), SQL_NTS, Text(out), sizeof out, &len),
            SQL_SUCCESS);
  EXPECT_STREQ(out, "select {fn now()} from dual");
  EXPECT_EQ(len, 27);
  // Only part of the text fits.
  EXPECT_EQ(SQLNativeSql(dbc, Text("select 1 from dual"), 8, Text(out), 5, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(out, "sele");
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc), "01004");
  // The agent cannot translate: a failure, not a warning.
  fake::Script(SLOT_DRV_NativeSql).result = E_37000;
  EXPECT_EQ(SQLNativeSql(dbc, Text("select {fn nope(} from dual"), SQL_NTS, Text(out), sizeof out, &len), SQL_ERROR);
  EXPECT_EQ(conn->pending, E_37000);
  fake::Script(SLOT_DRV_NativeSql).result.reset();
  // Lengths no valid call has.
  EXPECT_EQ(SQLNativeSql(dbc, Text("select 1"), -7, Text(out), sizeof out, &len), SQL_ERROR);
  EXPECT_EQ(conn->pending, E_S1090);
  EXPECT_EQ(SQLNativeSql(dbc, Text("select 1"), SQL_NTS, Text(out), -1, &len), SQL_ERROR);
  EXPECT_EQ(conn->pending, E_S1090);
}

TEST_F(PrepareTest, NativeSqlWCutsToTheCallersCharacters) {
  const auto in = st::W("select 12345678");  // 15 characters
  SQLWCHAR out[10];
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLNativeSqlW(dbc, const_cast<SQLWCHAR *>(in.c_str()), SQL_NTS, out, 10, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(st::FromW(out), "select 12");
  EXPECT_EQ(len, 15);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc), "01004");
}

// A prepare whose cursor options the agent changed is still executed: the
// call never ends as a failure carrying the prepare's warning.
TEST_F(PrepareTest, ExecDirectExecutesAfterAChangedCursorOption) {
  for (int v2dae : {0, 1}) {
    conn->cn_hasV2DAE = v2dae;
    ASSERT_EQ(SQLSetStmtOption(hstmt, SQL_CONCURRENCY, SQL_CONCUR_ROWVER), SQL_SUCCESS);
    fake::Script(SLOT_DRV_Prepare).hook = [] { fake::SetInfo(InfoStmtOption(SQL_CONCURRENCY), SQL_CONCUR_VALUES); };
    SQLRETURN rc = SQLExecDirect(hstmt, Text("select * from t"), SQL_NTS);
    if (rc == SQL_ERROR) {
      EXPECT_NE(stmt->pending, E_01S02) << v2dae;
    } else {
      EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO) << v2dae;
    }
    EXPECT_EQ(stmt->cursor.concurrency, SQL_CONCUR_VALUES);
  }
  // A failed prepare is not executed.
  fake::Script(SLOT_DRV_Prepare).hook = nullptr;
  fake::Script(SLOT_DRV_Prepare).result = E_37000;
  EXPECT_EQ(SQLExecDirect(hstmt, Text("selec * frm t"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_37000);
  EXPECT_EQ(SQLExecDirect(hstmt, Text("select 1"), -9), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1090);
}

// Closing: SQLCloseCursor needs an open result, SQLFreeStmt(SQL_CLOSE) does
// not; after either the statement must be prepared again.
TEST_F(PrepareTest, CloseCursorAndFreeStmt) {
  EXPECT_EQ(SQLCloseCursor(hstmt), SQL_ERROR);
  EXPECT_EQ(StmtState(), "24000");
  ASSERT_EQ(Prepare("select * from t"), SQL_SUCCESS);
  stmt->flags |= STMTF_RESULT_OPEN;  // as an execution leaves it
  EXPECT_EQ(SQLCloseCursor(hstmt), SQL_SUCCESS);
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLNumResultCols(hstmt, &n), SQL_ERROR);
  EXPECT_EQ(StmtState(), "HY010");
  ASSERT_EQ(Prepare("select * from t"), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(hstmt, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(SQLNumParams(hstmt, &n), SQL_ERROR);
  EXPECT_EQ(SQLFreeStmt(hstmt, 99), SQL_ERROR);
  EXPECT_EQ(StmtState(), "HY092");
  EXPECT_EQ(SQLFreeStmt(hstmt, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(hstmt, SQL_CLOSE), SQL_INVALID_HANDLE);
}

}  // namespace
