// Statement options and attributes: every option round-trips through the
// ODBC 2 and ODBC 3 functions, values the agent changes are read back with
// 01S02, the agent's refusals give their codes, and the ODBC 3 reads write
// whole SQLULENs and never write through a null pointer.
#include <cstring>
#include <vector>

#include "odbc/stmtattr.h"
#include "stmt_fixture.h"

namespace {

using st::P;

struct StmtAttrTest : st::StmtTest {
  SQLRETURN SetOption(SQLUSMALLINT option, SQLULEN value) { return SQLSetStmtOption(hstmt, option, value); }
  SQLRETURN SetAttr(SQLINTEGER attr, intptr_t value) { return SQLSetStmtAttr(hstmt, attr, P(value), 0); }
  // Reads through the ODBC 2 or ODBC 3 function into a 64-bit variable
  // filled with a pattern first; the pattern shows what was not written.
  uint64_t Get(SQLINTEGER attr, bool odbc3, SQLRETURN *rc = nullptr) {
    uint64_t v = 0xA5A5A5A5A5A5A5A5ull;
    SQLRETURN r = odbc3 ? SQLGetStmtAttr(hstmt, attr, &v, 0, nullptr)
                        : SQLGetStmtOption(hstmt, static_cast<SQLUSMALLINT>(attr), &v);
    if (rc) *rc = r;
    return v;
  }
  // The agent answers the next set of this option with 75 and then reports
  // the value it stored instead.
  static void AgentChanges(SQLUSMALLINT option, int32_t stored) {
    fake::Script(SLOT_DRV_SetInfo).queue = {E_01S02};
    fake::SetInfo(InfoStmtOption(option), stored);
  }
};

constexpr uint64_t kLow32 = 0xFFFFFFFFull;

// Each option set through SQLSetStmtOption and through SQLSetStmtAttr and
// read back through both reads; the fake agent keeps what it is sent.
TEST_F(StmtAttrTest, OptionsRoundTrip) {
  struct Case {
    SQLUSMALLINT option;
    SQLULEN value;
    SQLRETURN rc;
    int32_t pending;
    int64_t readBack;
  };
  const Case cases[] = {
      {SQL_QUERY_TIMEOUT, 30, SQL_SUCCESS, 0, 30},
      {SQL_QUERY_TIMEOUT, static_cast<SQLULEN>(-5), SQL_SUCCESS, 0, 0},
      {SQL_MAX_ROWS, 500, SQL_SUCCESS, 0, 500},
      {SQL_NOSCAN, 7, SQL_SUCCESS, 0, 1},
      // Without the agent's capability only "no limit" is kept.
      {SQL_MAX_LENGTH, 100, SQL_SUCCESS_WITH_INFO, E_01S02, 0},
      {SQL_MAX_LENGTH, 0, SQL_SUCCESS, 0, 0},
      {SQL_ASYNC_ENABLE, 3, SQL_SUCCESS, 0, 1},
      {SQL_CURSOR_TYPE, SQL_CURSOR_STATIC, SQL_SUCCESS, 0, SQL_CURSOR_STATIC},
      {SQL_CONCURRENCY, SQL_CONCUR_VALUES, SQL_SUCCESS, 0, SQL_CONCUR_VALUES},
      {SQL_KEYSET_SIZE, 10, SQL_SUCCESS, 0, 10},
      {SQL_ROWSET_SIZE, 0, SQL_SUCCESS, 0, 1},
      {SQL_ROWSET_SIZE, 20, SQL_SUCCESS, 0, 20},
      {SQL_SIMULATE_CURSOR, SQL_SC_UNIQUE, SQL_SUCCESS, 0, SQL_SC_UNIQUE},
      {SQL_RETRIEVE_DATA, SQL_RD_OFF, SQL_SUCCESS, 0, SQL_RD_OFF},
      {SQL_USE_BOOKMARKS, 5, SQL_SUCCESS, 0, 1},
      {STMT_OPT_PRIVATE_1052, 7, SQL_SUCCESS, 0, 7},
      {STMT_OPT_PRIVATE_1054, 9, SQL_SUCCESS, 0, 9},
  };
  for (const Case &c : cases) {
    for (bool odbc3 : {false, true}) {
      SQLRETURN rc = odbc3 ? SetAttr(c.option, static_cast<intptr_t>(c.value)) : SetOption(c.option, c.value);
      EXPECT_EQ(rc, c.rc) << c.option << " " << c.value << (odbc3 ? " attr" : " option");
      EXPECT_EQ(stmt->pending, c.pending) << c.option;
      for (bool readOdbc3 : {false, true}) {
        SQLRETURN getRc;
        uint64_t got = Get(c.option, readOdbc3, &getRc);
        EXPECT_EQ(getRc, SQL_SUCCESS) << c.option;
        // ODBC 2 reads of 32-bit options write four bytes.
        // ODBC 2 reads of 32-bit options, and the driver's own options on
        // both paths, write four bytes.
        const bool driverOption = c.option == STMT_OPT_PRIVATE_1052 || c.option == STMT_OPT_PRIVATE_1054;
        if (driverOption || (!readOdbc3 && c.option != SQL_MAX_ROWS && c.option != SQL_MAX_LENGTH &&
                             c.option != SQL_KEYSET_SIZE))
          got = static_cast<int32_t>(got & kLow32);
        EXPECT_EQ(static_cast<int64_t>(got), c.readBack) << c.option << (readOdbc3 ? " attr" : " option");
      }
    }
  }
  // The select-column option is an ODBC 2 option only.
  EXPECT_EQ(SetOption(STMT_OPT_SELECT_COLUMNS, 2), SQL_SUCCESS);
  EXPECT_EQ(Get(STMT_OPT_SELECT_COLUMNS, false) & kLow32, 2u);
  SQLRETURN rc;
  Get(STMT_OPT_SELECT_COLUMNS, true, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1092);
  EXPECT_EQ(SetAttr(STMT_OPT_SELECT_COLUMNS, 1), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1092);
}

// The agent stores another value (75): it is read back and kept, and the
// call warns with 01S02.
TEST_F(StmtAttrTest, ValuesTheAgentChangesAreReadBack) {
  struct Case {
    SQLUSMALLINT option;
    SQLULEN asked;
    int32_t stored;
  };
  const Case cases[] = {
      {SQL_ROWSET_SIZE, 200, 100},                        // the agent's cap without NRSSL
      {SQL_CONCURRENCY, SQL_CONCUR_ROWVER, SQL_CONCUR_VALUES},
      {SQL_CURSOR_TYPE, SQL_CURSOR_DYNAMIC, SQL_CURSOR_STATIC},
      {SQL_KEYSET_SIZE, 9000, 5000},
      {SQL_MAX_ROWS, 900, 50},
      {SQL_SIMULATE_CURSOR, SQL_SC_NON_UNIQUE, SQL_SC_UNIQUE},
  };
  for (const Case &c : cases) {
    for (bool odbc3 : {false, true}) {
      AgentChanges(c.option, c.stored);
      SQLRETURN rc = odbc3 ? SetAttr(c.option, static_cast<intptr_t>(c.asked)) : SetOption(c.option, c.asked);
      EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO) << c.option;
      EXPECT_EQ(StmtState(), "01S02") << c.option;
      EXPECT_EQ(static_cast<int32_t>(Get(c.option, true) & kLow32), c.stored) << c.option;
    }
  }
  // With NRSSL the agent keeps 200.
  EXPECT_EQ(SetOption(SQL_ROWSET_SIZE, 200), SQL_SUCCESS);
  EXPECT_EQ(Get(SQL_ROWSET_SIZE, true), 200u);
  EXPECT_EQ(stmt->cursor.prevRowsetSize, 100);
  EXPECT_TRUE(stmt->cursor.flags & SCSF_ROWSET_CHANGED);
}

TEST_F(StmtAttrTest, AFailedReadBackKeepsTheEarlierValue) {
  ASSERT_EQ(SetOption(SQL_CONCURRENCY, SQL_CONCUR_LOCK), SQL_SUCCESS);
  fake::Script(SLOT_DRV_SetInfo).queue = {E_01S02};
  fake::Script(SLOT_DRV_GetInfo).queue = {E_S1009};
  EXPECT_EQ(SetOption(SQL_CONCURRENCY, SQL_CONCUR_ROWVER), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(stmt->pending, E_S1092);
  EXPECT_EQ(stmt->cursor.concurrency, SQL_CONCUR_LOCK);
}

// What each option makes of a refusal by the agent.
TEST_F(StmtAttrTest, AgentRefusals) {
  struct Case {
    SQLUSMALLINT option;
    int32_t agent;
    SQLRETURN rc;
    int32_t pending;
  };
  const Case cases[] = {
      // The agent cannot time statements out: 0 is kept, with a warning.
      {SQL_QUERY_TIMEOUT, E_S1C00, SQL_SUCCESS_WITH_INFO, E_01S02},
      {SQL_QUERY_TIMEOUT, E_S1009, SQL_ERROR, E_S1009},
      {SQL_MAX_ROWS, E_S1009, SQL_ERROR, E_S1009},
      {SQL_NOSCAN, E_S1000, SQL_ERROR, E_S1000},
      {SQL_ROWSET_SIZE, E_S1009, SQL_ERROR, E_S1009},
      {STMT_OPT_PRIVATE_1052, E_S1009, SQL_ERROR, E_S1009},
      // Cursor options the agent cannot serve are out of range.
      {SQL_CURSOR_TYPE, E_S1C00, SQL_ERROR, E_S1092},
      {SQL_CONCURRENCY, E_S1009, SQL_ERROR, E_S1092},
      {SQL_KEYSET_SIZE, E_S1C00, SQL_ERROR, E_S1092},
      {SQL_SIMULATE_CURSOR, E_S1C00, SQL_ERROR, E_S1092},
      {SQL_RETRIEVE_DATA, E_01S02, SQL_ERROR, E_S1092},
      {STMT_OPT_SELECT_COLUMNS, E_S1009, SQL_ERROR, E_S1092},
      // Driver options the agent refuses.
      {1225, E_S1C00, SQL_ERROR, E_S1092},
      {1278, E_S1009, SQL_ERROR, E_S1009},
  };
  for (const Case &c : cases) {
    fake::Script(SLOT_DRV_SetInfo).queue = {c.agent};
    EXPECT_EQ(SetOption(c.option, 2), c.rc) << c.option << " " << c.agent;
    EXPECT_EQ(stmt->pending, c.pending) << c.option << " " << c.agent;
  }
  EXPECT_EQ(stmt->queryTimeout, 0);
  EXPECT_EQ(stmt->cursor.cursorType, SQL_CURSOR_FORWARD_ONLY);
  // Options nobody knows.
  for (SQLUSMALLINT option : {SQLUSMALLINT{SQL_GET_BOOKMARK}, SQLUSMALLINT{SQL_ROW_NUMBER}, SQLUSMALLINT{999}}) {
    EXPECT_EQ(SetOption(option, 1), SQL_ERROR) << option;
    EXPECT_EQ(stmt->pending, E_S1092) << option;
  }
}

TEST_F(StmtAttrTest, DriverOptionsGoToTheAgentUnkept) {
  EXPECT_EQ(SetOption(1225, 1), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x320304C9=1"));
  EXPECT_EQ(Get(1225, false) & kLow32, 1u);
  // The text option travels as a text.
  const char text[] = "abc";
  EXPECT_EQ(SQLSetStmtOption(hstmt, 1226, reinterpret_cast<SQLULEN>(text)), SQL_SUCCESS);
  EXPECT_TRUE(Sent("0x310304CA=abc"));
  // An option the agent does not know reads as out of range.
  SQLRETURN rc;
  Get(1227, false, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1092);
  Get(STMT_OPT_1048, true, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1092);
}

TEST_F(StmtAttrTest, MaxLengthWhenTheAgentCutsValues) {
  conn->cn_maxLength = 1;
  struct Case {
    SQLULEN value;
    SQLRETURN rc;
    int64_t stored;
  };
  const Case cases[] = {
      {100, SQL_SUCCESS_WITH_INFO, 8192},
      {static_cast<SQLULEN>(-1), SQL_SUCCESS_WITH_INFO, 8192},
      {8192, SQL_SUCCESS, 8192},
      {10000, SQL_SUCCESS, 10000},
      {0, SQL_SUCCESS, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(SetOption(SQL_MAX_LENGTH, c.value), c.rc) << c.value;
    if (c.rc == SQL_SUCCESS_WITH_INFO) {
      EXPECT_EQ(StmtState(), "01S02");
    }
    EXPECT_EQ(static_cast<int64_t>(Get(SQL_MAX_LENGTH, false)), c.stored) << c.value;
    EXPECT_EQ(static_cast<int64_t>(Get(SQL_MAX_LENGTH, true)), c.stored) << c.value;
  }
  EXPECT_TRUE(Sent("0x32030003=8192"));
  // Not while a statement is prepared.
  ASSERT_EQ(SQLPrepare(hstmt, st::Text("select 1 from dual"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SetOption(SQL_MAX_LENGTH, 100), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1011);
  EXPECT_EQ(Get(SQL_MAX_LENGTH, true), 0u);
}

// While a forward-only cursor hands out a fetch block one row at a time its
// rowset size stays.
TEST_F(StmtAttrTest, RowsetSizeKeptInsideAFetchBlock) {
  ASSERT_EQ(SQLPrepare(hstmt, st::Text("select 1 from dual"), SQL_NTS), SQL_SUCCESS);
  stmt->fetched.rows = 5;
  struct Case {
    uint16_t nextRow;
    bool kept;
  };
  for (const Case c : {Case{2, true}, Case{4, true}, Case{0, false}, Case{5, false}}) {
    stmt->cursor.rowsetSize = 1;
    stmt->rowsInBlock = c.nextRow;
    const int before = fake::CallCount(SLOT_DRV_SetInfo);
    SQLRETURN rc = SetOption(SQL_ROWSET_SIZE, 10);
    if (c.kept) {
      EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO) << c.nextRow;
      EXPECT_EQ(stmt->pending, E_01S02);
      EXPECT_EQ(stmt->cursor.rowsetSize, 1);
      EXPECT_EQ(fake::CallCount(SLOT_DRV_SetInfo), before);
    } else {
      EXPECT_EQ(rc, SQL_SUCCESS) << c.nextRow;
      EXPECT_EQ(stmt->cursor.rowsetSize, 10);
    }
  }
  stmt->fetched.rows = 0;
  stmt->rowsInBlock = 0;
}

// The SQLULEN options are written whole on the ODBC 3 path; the ODBC 2
// path keeps the ODBC 2 widths.
TEST_F(StmtAttrTest, Odbc3ReadsWriteWholeValues) {
  const SQLUSMALLINT ulen[] = {SQL_QUERY_TIMEOUT,  SQL_NOSCAN,          SQL_ASYNC_ENABLE,  SQL_BIND_TYPE,
                               SQL_CURSOR_TYPE,    SQL_CONCURRENCY,     SQL_ROWSET_SIZE,   SQL_SIMULATE_CURSOR,
                               SQL_RETRIEVE_DATA,  SQL_USE_BOOKMARKS};
  fake::SetInfo(InfoStmtOption(SQL_NOSCAN), 1);
  for (SQLUSMALLINT option : ulen) {
    uint64_t v = Get(option, true);
    EXPECT_EQ(v >> 32, 0u) << option;
    EXPECT_EQ(Get(option, false) >> 32, 0xA5A5A5A5u) << option;
  }
  // The wide options, sign-extended on both paths.
  fake::SetInfo(InfoStmtOption(SQL_MAX_ROWS), -1);
  EXPECT_EQ(static_cast<int64_t>(Get(SQL_MAX_ROWS, false)), -1);
  EXPECT_EQ(static_cast<int64_t>(Get(SQL_MAX_ROWS, true)), -1);
  stmt->cursor.rowsetSize = 3;
  EXPECT_EQ(Get(SQL_ATTR_ROW_ARRAY_SIZE, true), 3u);
  // Parameter bind type and the cursor attributes are SQLULENs too.
  for (SQLINTEGER attr : {SQL_ATTR_PARAM_BIND_TYPE, SQL_ATTR_CURSOR_SCROLLABLE, SQL_ATTR_CURSOR_SENSITIVITY,
                          SQL_ATTR_METADATA_ID})
    EXPECT_EQ(Get(attr, true) >> 32, 0u) << attr;
  // A null value pointer is never written through.
  for (SQLINTEGER attr : {SQL_QUERY_TIMEOUT, SQL_ROW_NUMBER, SQL_ATTR_ROWS_FETCHED_PTR, SQL_ATTR_PARAMSET_SIZE,
                          SQL_ATTR_CURSOR_SCROLLABLE})
    EXPECT_EQ(SQLGetStmtAttr(hstmt, attr, nullptr, 0, nullptr), SQL_SUCCESS) << attr;
  EXPECT_EQ(SQLGetStmtOption(hstmt, SQL_CURSOR_TYPE, nullptr), SQL_SUCCESS);
}

// The Driver Manager asks for the four descriptor handles at every statement
// allocation with no length pointer.
TEST_F(StmtAttrTest, DescriptorHandlesAreWholeHandles) {
  const std::pair<SQLINTEGER, Desc *> descs[] = {{SQL_ATTR_APP_ROW_DESC, stmt->ard},
                                                 {SQL_ATTR_APP_PARAM_DESC, stmt->apd},
                                                 {SQL_ATTR_IMP_ROW_DESC, stmt->ird},
                                                 {SQL_ATTR_IMP_PARAM_DESC, stmt->ipd}};
  for (const auto &[attr, desc] : descs) {
    uint64_t v = 0xA5A5A5A5A5A5A5A5ull;
    EXPECT_EQ(SQLGetStmtAttr(hstmt, attr, &v, 0, nullptr), SQL_SUCCESS) << attr;
    EXPECT_EQ(v, desc->handle) << attr;
    EXPECT_EQ(front::DescOf(reinterpret_cast<SQLHDESC>(v)), desc) << attr;
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetStmtAttr(hstmt, attr, &v, 8, &len), SQL_SUCCESS);
    EXPECT_EQ(len, SQL_IS_POINTER);
    // Implementation descriptors cannot be replaced.
    if (attr == SQL_ATTR_IMP_ROW_DESC || attr == SQL_ATTR_IMP_PARAM_DESC) {
      EXPECT_EQ(SQLSetStmtAttr(hstmt, attr, P(static_cast<intptr_t>(v)), 0), SQL_ERROR);
      EXPECT_EQ(stmt->pending, E_S1092);
    }
  }
}

TEST_F(StmtAttrTest, PointerAttributesRoundTripAndNullWithdraws) {
  conn->cn_hasParamOp = 1;
  uint64_t counter = 0;
  uint16_t statuses[4] = {};
  int32_t bookmark = 0;
  struct Case {
    SQLINTEGER attr;
    void *p;
  };
  const Case cases[] = {
      {SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark}, {SQL_ATTR_PARAM_STATUS_PTR, statuses},
      {SQL_ATTR_PARAMS_PROCESSED_PTR, &counter}, {SQL_ATTR_ROW_STATUS_PTR, statuses},
      {SQL_ATTR_ROWS_FETCHED_PTR, &counter},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(SQLSetStmtAttr(hstmt, c.attr, c.p, 0), SQL_SUCCESS) << c.attr;
    EXPECT_EQ(Get(c.attr, true), reinterpret_cast<uintptr_t>(c.p)) << c.attr;
    EXPECT_EQ(SQLSetStmtAttr(hstmt, c.attr, nullptr, 0), SQL_SUCCESS) << c.attr;
    EXPECT_EQ(Get(c.attr, true), 0u) << c.attr;
  }
  // Where the fetch and execute paths look for them.
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &counter, 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->rowsFetched, &counter);
  EXPECT_EQ(stmt->ird->rowsProcessed, &counter);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->ird->rowsProcessed, nullptr);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &counter, 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->rowsProcessed, &counter);
  EXPECT_EQ(stmt->ipd->rowsProcessed, &counter);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(stmt->rowsProcessed, nullptr);
  EXPECT_EQ(stmt->ipd->rowsProcessed, nullptr);
}

TEST_F(StmtAttrTest, Odbc3OnlyAttributes) {
  // The IPD is always filled after a prepare: turning that off is refused
  // with the value kept.
  EXPECT_EQ(SetAttr(SQL_ATTR_ENABLE_AUTO_IPD, SQL_TRUE), SQL_SUCCESS);
  EXPECT_EQ(SetAttr(SQL_ATTR_ENABLE_AUTO_IPD, SQL_FALSE), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(stmt->pending, E_01S02);
  EXPECT_EQ(Get(SQL_ATTR_ENABLE_AUTO_IPD, true) & kLow32, static_cast<uint64_t>(SQL_TRUE));
  // Catalog arguments are patterns: SQL_FALSE is accepted, SQL_TRUE is not.
  EXPECT_EQ(SetAttr(SQL_ATTR_METADATA_ID, SQL_FALSE), SQL_SUCCESS);
  EXPECT_EQ(Get(SQL_ATTR_METADATA_ID, true), 0u);
  EXPECT_EQ(SetAttr(SQL_ATTR_METADATA_ID, SQL_TRUE), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1C00);
  for (SQLINTEGER attr : {SQL_GET_BOOKMARK, SQL_ATTR_IMP_ROW_DESC, 12345}) {
    EXPECT_EQ(SetAttr(attr, 1), SQL_ERROR) << attr;
    EXPECT_EQ(stmt->pending, E_S1092) << attr;
  }
  SQLRETURN rc;
  Get(12345, true, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1092);
}

TEST_F(StmtAttrTest, CursorScrollable) {
  EXPECT_EQ(Get(SQL_ATTR_CURSOR_SCROLLABLE, true), static_cast<uint64_t>(SQL_NONSCROLLABLE));
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.cursorType, SQL_CURSOR_KEYSET_DRIVEN);
  EXPECT_EQ(Get(SQL_ATTR_CURSOR_SCROLLABLE, true), static_cast<uint64_t>(SQL_SCROLLABLE));
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SCROLLABLE, SQL_NONSCROLLABLE), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.cursorType, SQL_CURSOR_FORWARD_ONLY);
  // Any scrollable type the agent falls back to serves the request.
  AgentChanges(SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE), SQL_SUCCESS);
  EXPECT_EQ(stmt->pending, 0);
  EXPECT_EQ(stmt->cursor.cursorType, SQL_CURSOR_STATIC);
  // Already scrollable, or a value that means nothing: unchanged.
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE), SQL_SUCCESS);
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SCROLLABLE, 7), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.cursorType, SQL_CURSOR_STATIC);
}

TEST_F(StmtAttrTest, CursorSensitivity) {
  ASSERT_EQ(SetOption(SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN), SQL_SUCCESS);
  ASSERT_EQ(SetOption(SQL_CONCURRENCY, SQL_CONCUR_LOCK), SQL_SUCCESS);
  EXPECT_EQ(Get(SQL_ATTR_CURSOR_SENSITIVITY, true), static_cast<uint64_t>(SQL_SENSITIVE));
  // Insensitive: a static, read-only cursor, a changed type notwithstanding.
  fake::Script(SLOT_DRV_SetInfo).queue = {0, E_01S02};
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SQL_CURSOR_STATIC);
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SENSITIVITY, SQL_INSENSITIVE), SQL_SUCCESS);
  EXPECT_EQ(stmt->pending, 0);
  EXPECT_EQ(stmt->cursor.cursorType, SQL_CURSOR_STATIC);
  EXPECT_EQ(stmt->cursor.concurrency, SQL_CONCUR_READ_ONLY);
  EXPECT_EQ(Get(SQL_ATTR_CURSOR_SENSITIVITY, true), static_cast<uint64_t>(SQL_INSENSITIVE));
  // Sensitive: read-only becomes values.
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SENSITIVITY, SQL_SENSITIVE), SQL_SUCCESS);
  EXPECT_EQ(stmt->cursor.concurrency, SQL_CONCUR_VALUES);
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SENSITIVITY, SQL_UNSPECIFIED), SQL_SUCCESS);
  EXPECT_EQ(SetAttr(SQL_ATTR_CURSOR_SENSITIVITY, 3), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1024);
}

TEST_F(StmtAttrTest, BookmarkAndRowNumberNeedAnOpenCursor) {
  SQLRETURN rc;
  for (SQLUSMALLINT option : {SQL_GET_BOOKMARK, SQL_ROW_NUMBER}) {
    Get(option, false, &rc);
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(stmt->pending, E_24000) << option;
  }
  ASSERT_EQ(SQLPrepare(hstmt, st::Text("select 1 from dual"), SQL_NTS), SQL_SUCCESS);
  Get(SQL_GET_BOOKMARK, false, &rc);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1011);
  // Forward-only: the statement's own row counter.
  stmt->rowNumber = 3;
  EXPECT_EQ(Get(SQL_ROW_NUMBER, false), 3u);
  EXPECT_EQ(Get(SQL_ROW_NUMBER, true), 3u);
}

// Installing a descriptor the statement may not use: the refusal is on that
// descriptor, not on the statement.
TEST_F(StmtAttrTest, ForeignDescriptorsAreRefused) {
  SQLHSTMT other;
  Stmt *o = NewStmt(&other);
  SQLHENV env2 = front::NewEnv();
  SQLHDBC dbc2 = front::NewDbc(env2);
  front::FakeConnect(dbc2);
  SQLHDESC foreign = front::NewDesc(dbc2);
  struct Case {
    SQLINTEGER attr;
    Desc *desc;
    int32_t code;
  };
  const Case cases[] = {
      {SQL_ATTR_APP_ROW_DESC, o->implicitArd, E_S1017},
      {SQL_ATTR_APP_PARAM_DESC, o->implicitApd, E_S1017},
      {SQL_ATTR_APP_ROW_DESC, stmt->implicitApd, E_S1017},
      {SQL_ATTR_APP_ROW_DESC, stmt->ird, E_S1017},
      {SQL_ATTR_APP_ROW_DESC, front::DescOf(foreign), E_S1024},
      {SQL_ATTR_APP_PARAM_DESC, front::DescOf(foreign), E_S1024},
  };
  for (const Case &c : cases) {
    c.desc->pending = 0;
    EXPECT_EQ(SetAttr(c.attr, c.desc->handle), SQL_ERROR) << c.desc->handle;
    EXPECT_EQ(c.desc->pending, c.code) << c.desc->handle;
    EXPECT_EQ(stmt->pending, 0);
    EXPECT_EQ(stmt->ard, stmt->implicitArd);
    EXPECT_EQ(stmt->apd, stmt->implicitApd);
  }
  // A value that names no descriptor at all.
  EXPECT_EQ(SetAttr(SQL_ATTR_APP_ROW_DESC, 0x4FFFF), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1024);
  EXPECT_EQ(SetAttr(SQL_ATTR_APP_PARAM_DESC, stmt->handle), SQL_ERROR);
  EXPECT_EQ(stmt->pending, E_S1024);
}

// New statements take the connection's defaults; changing a default on an
// ODBC 2 connection reaches the statements already there.
TEST_F(StmtAttrTest, ConnectionDefaultsReachStatements) {
  SQLHENV env2 = front::NewEnv(SQL_OV_ODBC2);
  SQLHDBC dbc2 = front::NewDbc(env2);
  front::FakeConnect(dbc2);
  SQLHSTMT before = front::NewStmt(dbc2);
  ASSERT_EQ(SQLSetConnectOption(dbc2, SQL_QUERY_TIMEOUT, 15), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(dbc2, SQL_CONCURRENCY, SQL_CONCUR_LOCK), SQL_SUCCESS);
  SQLHSTMT after = front::NewStmt(dbc2);
  for (SQLHSTMT h : {before, after}) {
    SQLUINTEGER v = 0;
    EXPECT_EQ(SQLGetStmtOption(h, SQL_QUERY_TIMEOUT, &v), SQL_SUCCESS);
    EXPECT_EQ(v, 15u);
    EXPECT_EQ(SQLGetStmtOption(h, SQL_CONCURRENCY, &v), SQL_SUCCESS);
    EXPECT_EQ(v, static_cast<SQLUINTEGER>(SQL_CONCUR_LOCK));
  }
}

}  // namespace
