// The layer's installation, its forward-only scroll fetch and its static
// cursors over the fake agent.
#include <cstring>

#include "fetch_fixture.h"
#include "scrs/sc_install.h"
#include "scrs/sc_pos.h"
#include "scrs/scr.h"

namespace fetchtest {
namespace {

struct Layer : FetchFixture {
  void SetUp() override {
    FetchFixture::SetUp();
    Open();
  }
  int32_t Scroll(Rowset **out, uint32_t *rows, int32_t *count) {
    return DrvCall<&DrvOps::DRV_FetchScroll>(stmt->drv, stmt->agentCursor, out, 0, rows, count,
                                             static_cast<uint16_t>(SQL_FETCH_NEXT));
  }
};

TEST_F(Layer, InstalledOnceOverTheTableBelow) {
  ASSERT_EQ(scs_LowerObject()->table, fake::Table());
  const DrvOps &mine = *conn->drv.table;
  EXPECT_NE(conn->drv.table, fake::Table());
  EXPECT_EQ(mine.DRV_FetchScroll, &scs_FetchScroll);
  EXPECT_EQ(mine.DRV_ExtendedFetch, &scs_ExtendedFetch);
  EXPECT_EQ(mine.DRV_Fetch, &scs_Fetch);
  EXPECT_EQ(mine.DRV_Prepare, &scs_Prepare);
  EXPECT_EQ(mine.DRV_Execute, &scs_Execute);
  // Slots the layer does not serve pass straight down.
  EXPECT_EQ(mine.DRV_GetDataChunk, fake::Table()->DRV_GetDataChunk);
  EXPECT_EQ(mine.DRV_ParamData, fake::Table()->DRV_ParamData);
  EXPECT_EQ(mine.DRV_SetPos, &scs_SetPos);
  EXPECT_EQ(mine.DRV_BulkOperations, &scs_BulkOperations);
  // A second object is pointed at the same table; the table below stays.
  DrvObject other{DRVOBJ_THREADSAFE, fake::Table()};
  scs_Install(&other);
  EXPECT_EQ(other.table, conn->drv.table);
  EXPECT_EQ(scs_LowerObject()->table, fake::Table());
}

TEST_F(Layer, ForwardOnlyRowsetOfRowsetSizeRows) {
  IntTextRows(5);
  Execute();
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 3);
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  ASSERT_EQ(Scroll(&rs, &rows, &count), 0);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rows, 3u);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(rs->count, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rs->status[i], SQL_ROW_SUCCESS);
  EXPECT_EQ(rs->rows->rows, 3);
  EXPECT_EQ(fake::LogOf(SLOT_DRV_Fetch).back().text, "3");
  RowsetFree(&rs);
  ASSERT_EQ(Scroll(&rs, &rows, &count), 0);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(rs->status[2], SQL_ROW_NOROW);
  RowsetFree(&rs);
  EXPECT_EQ(Scroll(&rs, &rows, &count), E_IM907);
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(rows, 0u);
}

TEST_F(Layer, RetrieveDataOffKeepsOnlyStatuses) {
  IntTextRows(2);
  Execute();
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 2);
  fake::SetInfo(InfoStmtOption(SQL_RETRIEVE_DATA), SQL_RD_OFF);
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  ASSERT_EQ(Scroll(&rs, &rows, &count), 0);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(rs->status[1], SQL_ROW_SUCCESS);
  EXPECT_EQ(rs->rows->columns, 0);
  RowsetFree(&rs);
}

TEST_F(Layer, ScrollableTypesAndMissingOutputs) {
  IntTextRows(2);
  Execute();
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  EXPECT_EQ(Scroll(nullptr, &rows, &count), E_S1009);
  EXPECT_EQ(Scroll(&rs, nullptr, &count), E_S1009);
  // Keyset-driven and dynamic rows are read by key: a statement the layer
  // found no keys for has nothing to read them with.
  for (int32_t type : {SCS_KEYSET, SCS_DYNAMIC}) {
    fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), type);
    EXPECT_EQ(Scroll(&rs, &rows, &count), E_S1010);
    EXPECT_EQ(rs, nullptr);
  }
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), 0);
  // The extended fetch slot is the same fetch.
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_FORWARD_ONLY);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_ExtendedFetch>(stmt->drv, stmt->agentCursor, &rs, 0, &rows, &count), 0);
  EXPECT_EQ(rows, 1u);
  RowsetFree(&rs);
}

TEST_F(Layer, AgentFailureReturnedWithoutRowset) {
  IntTextRows(2);
  Execute();
  fake::Script(SLOT_DRV_Fetch).result = E_S1000;
  Rowset *rs = nullptr;
  uint32_t rows = 9;
  int32_t count = 0;
  EXPECT_EQ(Scroll(&rs, &rows, &count), E_S1000);
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(rows, 0u);
}

// A rowset beyond one DRV_Fetch joins blocks; a long value the agent kept of
// a later block is read into its cell, since the agent finds it by its row in
// its last block only.
TEST_F(Layer, JoinedBlocksReadTheirDeferredValues) {
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"L", SQL_LONGVARCHAR, VT_LONGCHAR, 100000}});
  const int n = 65535 + 2;
  std::vector<fake::Row> rows;
  rows.reserve(n);
  for (int i = 1; i <= n; ++i) rows.push_back({fake::I32(i), fake::Null()});
  rows[65535][1] = fake::Deferred(std::string(70000, 'q'));
  rows[65536][1] = fake::Deferred("");
  fake::SetRows(rows);
  Execute();
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), n);
  Rowset *rs = nullptr;
  uint32_t got = 0;
  int32_t count = 0;
  ASSERT_EQ(Scroll(&rs, &got, &count), 0);
  ASSERT_EQ(got, static_cast<uint32_t>(n));
  const DatasetCol &col = rs->rows->cols[1];
  EXPECT_EQ(col.indicators[0], kIndNull);
  ASSERT_EQ(col.indicators[65535], 0);
  LongValue lv{};
  memcpy(&lv, col.values + size_t{65535} * col.size, sizeof lv);
  ASSERT_EQ(lv.length, 70000u);
  EXPECT_EQ(static_cast<const char *>(lv.buffer)[69999], 'q');
  EXPECT_EQ(col.indicators[65536], 0);
  RowsetFree(&rs);
}

}  // namespace
}  // namespace fetchtest

namespace fetchtest {
namespace {

// Static cursors: the whole result is read once, then served in any
// direction from the layer's copy.
struct StaticLayer : Layer {
  void SetUp() override {
    Layer::SetUp();
    fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_STATIC);
  }
  // The first id of the rowset at target, or 0 for none; the code in *code.
  int32_t At(int32_t target, int32_t *code, uint32_t *rows = nullptr, int32_t *count = nullptr) {
    Rowset *rs = nullptr;
    uint32_t n = 0;
    int32_t c = 0;
    *code = DrvCall<&DrvOps::DRV_FetchScroll>(stmt->drv, stmt->agentCursor, &rs, target, &n, &c,
                                              static_cast<uint16_t>(SQL_FETCH_ABSOLUTE));
    if (rows) *rows = n;
    if (count) *count = c;
    int32_t id = 0;
    if (rs && rs->rows->rows > 0) memcpy(&id, rs->rows->cols[0].values, 4);
    if (rs) {
      for (int32_t i = 0; i < rs->count; ++i)
        EXPECT_EQ(rs->status[i], i < static_cast<int32_t>(n) ? SQL_ROW_SUCCESS : SQL_ROW_NOROW) << i;
    }
    RowsetFree(&rs);
    return id;
  }
  // Calls of a slot on the application's cursor (the layer runs its
  // catalog questions on cursors of its own).
  int Calls(int slot) {
    int n = 0;
    for (const auto &c : fake::LogOf(slot)) n += c.handle == stmt->agentCursor;
    return n;
  }
  int32_t RowCount() {
    int32_t v = -7;
    int16_t len = 0;
    EXPECT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(stmt->drv, stmt->agentCursor, static_cast<uint32_t>(INFO_ROW_COUNT), &v,
                                            4, &len),
              0);
    return v;
  }
};

TEST_F(StaticLayer, ReadAtExecuteThenServedByTarget) {
  IntTextRows(12);
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 5);
  Execute();
  // The result was read whole at execute and the lower cursor closed.
  EXPECT_EQ(Calls(SLOT_DRV_CloseCursor), 1);
  EXPECT_EQ(RowCount(), 12);
  const int fetches = Calls(SLOT_DRV_Fetch);
  const struct {
    int32_t size, target, firstId, code;
    uint32_t rows;
  } cases[] = {
      {5, 1, 1, 0, 5},          {5, 6, 6, 0, 5},        {5, 11, 11, 0, 2},      {5, 12, 12, 0, 1},
      {5, 13, 0, E_IM911, 0},   {5, INT32_MAX, 0, E_IM911, 0},
      {5, 0, 8, 0, 5},          // the last rowset
      {5, -3, 10, 0, 3},        // counted from the end
      {5, -12, 1, 0, 5},        // the first row counted from the end
      {5, -13, 0, E_IM910, 0},  // beyond the first row by more than a rowset
      {20, -13, 1, 0, 12},      // beyond the first row, within one rowset: the first rowset
      {20, -20, 1, 0, 12},
      {20, -21, 0, E_IM910, 0},
      {20, 0, 1, 0, 12},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.target);
    fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), c.size);
    int32_t code = -1;
    uint32_t rows = 99;
    int32_t count = 0;
    EXPECT_EQ(At(c.target, &code, &rows, &count), c.firstId);
    EXPECT_EQ(code, c.code);
    if (c.code == 0) {
      EXPECT_EQ(rows, c.rows);
      EXPECT_EQ(count, 12);
    }
  }
  // Every rowset came from the layer's copy.
  EXPECT_EQ(Calls(SLOT_DRV_Fetch), fetches);
}

TEST_F(StaticLayer, SequentialFetchMoreResultsAndClose) {
  IntTextRows(7);
  Execute();
  // DRV_Fetch (SQLFetch of ODBC 2) reads the copy to its end.
  Dataset ds{};
  int32_t seen = 0;
  for (;;) {
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Fetch>(stmt->drv, stmt->agentCursor, static_cast<uint16_t>(3), &ds), 0);
    if (ds.rows == 0) break;
    for (int32_t r = 0; r < ds.rows; ++r) {
      int32_t id = 0;
      memcpy(&id, ds.cols[0].values + 4 * r, 4);
      EXPECT_EQ(id, ++seen);
    }
  }
  EXPECT_EQ(seen, 7);
  DatasetFree(&ds);
  // The only result: no further one, and the agent is not asked.
  EXPECT_EQ(DrvCall<&DrvOps::DRV_MoreResults>(stmt->drv, stmt->agentCursor), E_IM901);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_MoreResults), 0);
  // Closed and executed again: read afresh.
  ASSERT_EQ(DrvCall<&DrvOps::DRV_CloseCursor>(stmt->drv, stmt->agentCursor), 0);
  IntTextRows(3);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
  EXPECT_EQ(RowCount(), 3);
  int32_t code = -1;
  EXPECT_EQ(At(3, &code), 3);
}

// Executed again after a close, a scrollable statement is first prepared
// again below with the application's text (the layer may have used the
// cursor below for a statement of its own) and runs with the values of this
// execution, which the prepare below keeps; a caller that sends none gets
// the kept ones sent again.
TEST_F(StaticLayer, PreparedAgainAfterACloseWithItsValues) {
  IntTextRows(3);
  fake::SetParamDescs({{"P1", SQL_INTEGER, VT_SLONG, 4}});
  SQLINTEGER v = 1;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind), SQL_SUCCESS);
  const char *sql = "select id, name from t where id > ?";
  ASSERT_EQ(SQLPrepare(hstmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql)), SQL_NTS), SQL_SUCCESS) << State();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(hstmt))) << State();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(hstmt))) << State();  // the front end closes first
  ASSERT_EQ(SQLCloseCursor(hstmt), SQL_SUCCESS);
  const int prepares = Calls(SLOT_DRV_Prepare);
  v = 2;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(hstmt))) << State();
  EXPECT_EQ(Calls(SLOT_DRV_Prepare), prepares + 1);
  EXPECT_EQ(fake::LogOf(SLOT_DRV_Prepare).back().text, sql);
  ASSERT_EQ(fake::ParamRows().size(), 1u);
  EXPECT_EQ(fake::ParamRows()[0][0].bytes, fake::I32(2).bytes);

  // Through the slots, without values: the kept ones go down again.
  ASSERT_EQ(DrvCall<&DrvOps::DRV_CloseCursor>(stmt->drv, stmt->agentCursor), 0);
  const int values = Calls(SLOT_DRV_SetParams);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
  EXPECT_EQ(Calls(SLOT_DRV_Prepare), prepares + 2);
  EXPECT_EQ(Calls(SLOT_DRV_SetParams), values + 1);
  EXPECT_EQ(fake::ParamRows()[0][0].bytes, fake::I32(2).bytes);
  // Not closed since: nothing is prepared again.
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
  EXPECT_EQ(Calls(SLOT_DRV_Prepare), prepares + 2);
}

// A forward-only statement runs again as the cursor below holds it.
TEST_F(Layer, ForwardOnlyNotPreparedAgainAfterAClose) {
  IntTextRows(2);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "select id from t"), 0);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_CloseCursor>(stmt->drv, stmt->agentCursor), 0);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Prepare), 1);
}

TEST_F(StaticLayer, OtherResultsReadAtTheirFirstFetch) {
  // A catalog result: not executed through the layer, read at the first
  // fetch; the agent answers its own row count until then.
  IntTextRows(4);
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 2);
  CatalogArgs args{};
  ASSERT_EQ(DrvCall<&DrvOps::DRV_DDTables>(stmt->drv, stmt->agentCursor, &args), 0);
  int32_t code = -1;
  EXPECT_EQ(At(0, &code), 3);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(At(1, &code), 1);
  // Forward-only statements pass through untouched.
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_FORWARD_ONLY);
  const int closes = Calls(SLOT_DRV_CloseCursor);
  Execute();
  EXPECT_EQ(Calls(SLOT_DRV_CloseCursor), closes);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_MoreResults), 0);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_MoreResults>(stmt->drv, stmt->agentCursor), E_IM901);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_MoreResults), 1);
}

TEST_F(StaticLayer, FailuresOfTheRead) {
  IntTextRows(4);
  fake::Script(SLOT_DRV_Fetch).result = E_S1000;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "select * from t"), 0);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), E_S1000);
  // Non-read-only static SELECTs are not read at execute (nothing offers them yet).
  fake::Script(SLOT_DRV_Fetch).result.reset();
  fake::SetInfo(InfoStmtOption(SQL_CONCURRENCY), SQL_CONCUR_LOCK);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
  EXPECT_EQ(Calls(SLOT_DRV_Fetch), 1);
}

// A keyset-driven or dynamic cursor (which the fake agent offers) has no
// key columns to work with: what keeps a result runs static read-only, what
// such a cursor cannot serve is refused.
TEST_F(Layer, KeysetAndDynamicStatementsDowngradeOrAreRefused) {
  const struct {
    int32_t type;
    const char *sql;
    int32_t code, typeAfter, concurrencyAfter;
  } cases[] = {
      {SCS_KEYSET, "select a from t", 0, SCS_STATIC, SCS_READ_ONLY},
      {SCS_KEYSET, "{call p(?)}", 0, SCS_STATIC, SCS_READ_ONLY},
      {SCS_KEYSET, "create table x (a int)", 0, SCS_STATIC, SCS_READ_ONLY},
      {SCS_KEYSET, "select a from where x", 0, SCS_STATIC, SCS_READ_ONLY},
      {SCS_KEYSET, "insert into t values (1)", 0, SCS_KEYSET, SCS_LOCK},
      {SCS_KEYSET, "select a, count(*) from t group by a", E_IM913, SCS_KEYSET, SCS_LOCK},
      {SCS_KEYSET, "select a from t union select b from u", E_IM914, SCS_KEYSET, SCS_LOCK},
      {SCS_KEYSET, "select a from t left outer join u on t.k = u.k", E_IM928, SCS_KEYSET, SCS_LOCK},
      {SCS_DYNAMIC, "select a, count(*) from t group by a", 0, SCS_STATIC, SCS_READ_ONLY},
      {SCS_DYNAMIC, "select a from t left outer join u on t.k = u.k", E_IM928, SCS_DYNAMIC, SCS_LOCK},
      {SCS_STATIC, "select a from t left outer join u on t.k = u.k", 0, SCS_STATIC, SCS_LOCK},
      {SCS_FORWARD_ONLY, "select a from t group by a", 0, SCS_FORWARD_ONLY, SCS_LOCK},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.sql);
    fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), c.type);
    fake::SetInfo(InfoStmtOption(SQL_CONCURRENCY), SCS_LOCK);
    EXPECT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, c.sql), c.code);
    EXPECT_EQ(fake::InfoValue(InfoStmtOption(SQL_CURSOR_TYPE)), c.typeAfter);
    EXPECT_EQ(fake::InfoValue(InfoStmtOption(SQL_CONCURRENCY)), c.concurrencyAfter);
  }
  // A lower cursor that refuses the change: not capable.
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_KEYSET);
  fake::Script(SLOT_DRV_SetInfo).result = E_S1C00;
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "select a from t"), E_S1C00);
}

// Through the front end: the downgrade reads back with 01S02 on its
// statement; the next statement starts from what the application asked.
TEST_F(Layer, DowngradeHoldsForItsStatementOnly) {
  IntTextRows(3);
  ASSERT_EQ(SQLSetStmtAttr(hstmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(hstmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>("select id, name from t")), SQL_NTS),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01S02");
  SQLULEN type = 0;
  ASSERT_EQ(SQLGetStmtAttr(hstmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_STATIC));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(hstmt))) << State();
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, &id, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_LAST, 0), SQL_SUCCESS) << State();
  EXPECT_EQ(id, 3);
  ASSERT_EQ(SQLCloseCursor(hstmt), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(hstmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>("insert into t values (1)")), SQL_NTS),
            SQL_SUCCESS)
      << State();
  ASSERT_EQ(SQLGetStmtAttr(hstmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
}

// A catalog result on a keyset-driven cursor is static for that result:
// it scrolls, and the cursor below keeps the type asked for.
TEST_F(Layer, CatalogResultOnAKeysetCursorIsStatic) {
  IntTextRows(4);
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_KEYSET);
  fake::SetInfo(InfoStmtOption(SQL_CONCURRENCY), SCS_LOCK);
  fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), 2);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "insert into t values (1)"), 0);
  CatalogArgs args{};
  ASSERT_EQ(DrvCall<&DrvOps::DRV_DDTables>(stmt->drv, stmt->agentCursor, &args), 0);
  // The layer's state says static read-only for this result; the earlier
  // statement's analysis is gone with it.
  const ScsCursor *cur = scs_p_LayerCursor(stmt->agentCursor);
  ASSERT_NE(cur, nullptr);
  EXPECT_EQ(cur->cursorType, SCS_STATIC);
  EXPECT_EQ(cur->concurrency, SCS_READ_ONLY);
  EXPECT_EQ(cur->sqlCopy, nullptr);
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_FetchScroll>(stmt->drv, stmt->agentCursor, &rs, 0, &rows, &count,
                                              static_cast<uint16_t>(SQL_FETCH_LAST)),
            0);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(count, 4);
  RowsetFree(&rs);
  EXPECT_EQ(fake::InfoValue(InfoStmtOption(SQL_CURSOR_TYPE)), SCS_KEYSET);
  EXPECT_EQ(fake::InfoValue(InfoStmtOption(SQL_CONCURRENCY)), SCS_LOCK);
  // The next statement is the keyset-driven cursor's own again.
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "insert into t values (1)"), 0);
  EXPECT_EQ(cur->cursorType, SCS_KEYSET);
  EXPECT_EQ(cur->concurrency, SCS_LOCK);
  EXPECT_EQ(DrvCall<&DrvOps::DRV_FetchScroll>(stmt->drv, stmt->agentCursor, &rs, 1, &rows, &count,
                                              static_cast<uint16_t>(SQL_FETCH_ABSOLUTE)),
            E_S1010);
}

// What the layer keeps of a connection: a copy of its connect request and
// its key columns per list of tables, until a close that succeeds.
TEST_F(Layer, ConnectInformationAndKeyColumnCache) {
  ConnectReq req{};
  req.host = "db:1521";
  req.serverType = "";
  req.dbPath = "";
  req.dataSource = "DSN1";
  req.dbOptions = "ORCL";
  req.user = "scott";
  req.password = "tiger";
  req.extra = "";
  req.readOnly = 1;
  DrvHandle h = 0;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Connect>(&conn->drv, static_cast<DrvHandle>(0xAAAA0001u), &req, &h), 0);
  const ConnectReq *copy = scs_p_ConnectInfo(h);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->user, req.user);  // a copy, not the caller's texts
  EXPECT_STREQ(copy->user, "scott");
  EXPECT_STREQ(copy->password, "tiger");
  EXPECT_STREQ(copy->dbOptions, "ORCL");
  EXPECT_EQ(copy->serverOptions, nullptr);
  EXPECT_EQ(copy->readOnly, 1);

  // Lists whose names run together alike (A.BC and AB.C) are kept apart.
  auto tables = [](const char *owner, const char *table) {
    VArray *v = VArray_New(sizeof(TableRef));
    TableRef t{strdup(""), strdup(owner), strdup(table), strdup("")};
    VArray_Append(v, &t);
    return v;
  };
  VArray *abc = tables("A", "BC"), *ab_c = tables("AB", "C");
  VArray *keys = VArray_New(sizeof(ScsColDesc));
  ScsColDesc key{};
  snprintf(key.name, sizeof key.name, "ROWID");
  VArray_Append(keys, &key);
  VArray *found = VArray_New(sizeof(ScsColDesc));
  EXPECT_EQ(scs_p_KeyCacheFind(h, abc, found), 1);
  ASSERT_EQ(scs_p_KeyCacheStore(h, abc, keys), 0);
  EXPECT_EQ(scs_p_KeyCacheFind(h, ab_c, found), 1);
  ASSERT_EQ(scs_p_KeyCacheFind(h, abc, found), 0);
  ASSERT_EQ(found->count, 1u);
  EXPECT_STREQ(static_cast<ScsColDesc *>(VArray_At(found, 0))->name, "ROWID");

  // A failed close keeps them; a close that succeeds drops them.
  fake::Script(SLOT_DRV_Disconnect).queue = {E_S1000};
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Disconnect>(&conn->drv, h), E_S1000);
  EXPECT_NE(scs_p_ConnectInfo(h), nullptr);
  ASSERT_EQ(DrvCall<&DrvOps::DRV_Disconnect>(&conn->drv, h), 0);
  EXPECT_EQ(scs_p_ConnectInfo(h), nullptr);
  EXPECT_EQ(scs_p_KeyCacheFind(h, abc, found), 1);
  VArray_Free(&abc, SCR_TableRefFree);
  VArray_Free(&ab_c, SCR_TableRefFree);
  VArray_Free(&keys, nullptr);
  VArray_Free(&found, nullptr);
}

// The capability string: from the capability mask when the agent answers
// it, else from the single items.
TEST_F(Layer, CapabilityString) {
  fake::SetInfo(InfoGetInfoInt(SQL_CURSOR_COMMIT_BEHAVIOR), 2);
  fake::SetInfo(0x22010015u, 1);
  auto ask = [&] {
    char text[64] = "";
    int16_t len = 0;
    EXPECT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(&conn->drv, conn->agentConn, static_cast<uint32_t>(INFO_CAPS_STRING), text,
                                            static_cast<uint16_t>(sizeof text), &len),
              0);
    EXPECT_EQ(len, static_cast<int16_t>(strlen(text)));
    return std::string(text);
  };
  fake::SetInfo(INFO_CAPS_MASK, 0x2488);
  EXPECT_EQ(ask(), "001.005:110001201110");
  EXPECT_EQ(fake::InfoValue(0x2201000Cu), 3);  // the agent is told who asks
  fake::ForgetInfo(INFO_CAPS_MASK);
  fake::SetInfo(0x22010006u, 1);
  fake::SetInfo(0x22010008u, 5);
  EXPECT_EQ(ask(), "001.005:100101201000");
}

// With an agent that keeps the statement options in its own record, the
// layer reads them there: a forward-only fetch asks the agent nothing.
TEST_F(Layer, OptionsReadFromTheAgentsRecord) {
  static ScsCursor record;
  scs_CursorInit(&record, 0, 0, nullptr, nullptr);
  record.rowsetSize = 3;
  scs_SetCursorLookup([](DrvHandle) { return &record; });
  IntTextRows(7);
  Execute();
  const int asked = fake::CallCount(SLOT_DRV_GetInfo);
  Rowset *rs = nullptr;
  uint32_t rows = 0;
  int32_t count = 0;
  for (uint32_t want : {3u, 3u, 1u}) {
    ASSERT_EQ(Scroll(&rs, &rows, &count), 0);
    EXPECT_EQ(rows, want);
    RowsetFree(&rs);
  }
  EXPECT_EQ(fake::CallCount(SLOT_DRV_GetInfo), asked);
  scs_SetCursorLookup(nullptr);
}

// The named-parameter execute goes through the layer as the plain one: the
// statement is prepared (and looked at), the descriptions kept, then run.
TEST_F(Layer, ExecDirectWithNamedParameters) {
  IntTextRows(1);
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_STATIC);
  ParamDesc desc{{SQL_INTEGER, SQL_C_LONG, 10, 0, 1}, nullptr};
  ASSERT_EQ(DrvCall<&DrvOps::DRV_ExecDirect2>(stmt->drv, stmt->agentCursor, "select id from t where id = ?", nullptr,
                                               static_cast<uint16_t>(1), &desc),
            0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Prepare), 1);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_SetParamInfo2), 1);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Execute), 1);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_ExecDirect2), 0);
  const ScsCursor *cur = scs_p_LayerCursor(stmt->agentCursor);
  ASSERT_NE(cur, nullptr);
  ASSERT_EQ(cur->userParamDescCount, 1);
  EXPECT_EQ(cur->userParamDescs[0].sqlType, SQL_INTEGER);
  // A static SELECT was read whole at execute.
  int32_t n = -7;
  int16_t len = 0;
  ASSERT_EQ(DrvCall<&DrvOps::DRV_GetInfo>(stmt->drv, stmt->agentCursor, static_cast<uint32_t>(INFO_ROW_COUNT), &n,
                                          static_cast<uint16_t>(4), &len),
            0);
  EXPECT_EQ(n, 1);
}

// A failure of the layer's own catalog question reaches the application's
// statement with the database's text, after the statement's own records.
TEST_F(Layer, ErrorsOfTheLayersStatementsReachTheStatement) {
  fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SCS_DYNAMIC);
  fake::Script(SLOT_DRV_DDTables).hook = [] {
    fake::SetColumns({{"TABLE_CAT"}, {"TABLE_SCHEM"}, {"TABLE_NAME"}});
    fake::SetRows({{fake::Null(), fake::Text("SCOTT"), fake::Text("T")}});
  };
  const std::string text = fake::OraText("ORA-00942: table or view does not exist", "42S02");
  fake::Script(SLOT_DRV_DDColumns).result = E_42S02;
  fake::Script(SLOT_DRV_DDColumns).messages = {{text, 942}};
  EXPECT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "select a from t"), E_42S02);
  DrvMsgList list{};
  ASSERT_EQ(DrvCall<&DrvOps::DRV_GetErrors>(stmt->drv, stmt->agentCursor, &list), 0);
  ASSERT_EQ(list.count, 1u);
  EXPECT_EQ(list.native, 942u);
  EXPECT_STREQ(list.messages[0], text.c_str());
  for (uint32_t i = 0; i < list.count; ++i) free(list.messages[i]);
  free(list.messages);
  // Handed up once.
  ASSERT_EQ(DrvCall<&DrvOps::DRV_GetErrors>(stmt->drv, stmt->agentCursor, &list), 0);
  EXPECT_EQ(list.count, 0u);
  free(list.messages);
}

}  // namespace
}  // namespace fetchtest
