// SQLFetch (ODBC 2 blocks and the ODBC 3 one-row rowset), SQLFetchScroll and
// SQLExtendedFetch through the cursor layer's forward-only road, and the
// rowset fill into column-wise and row-wise bound arrays.
#include <cstring>

#include "fetch_fixture.h"
#include "odbc/data/rowset.h"

namespace fetchtest {
namespace {

using Fetch = FetchFixture;

// ---- ODBC 2 SQLFetch: blocks of rows handed out one by one --------------------

TEST_F(Fetch, Odbc2EmptyResultIsNoDataEveryTime) {
  Open(SQL_OV_ODBC2);
  IntTextRows(0);
  Execute();
  EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
  EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
}

TEST_F(Fetch, Odbc2BlockOfExactlyRowsPerBlockAsksAgainAtItsEnd) {
  Open(SQL_OV_ODBC2);
  conn->cn_fetchSize = 4;
  IntTextRows(4);
  Execute();
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(1, SQL_C_LONG, &id, 0, &ind), SQL_SUCCESS);
  for (int i = 1; i <= 4; ++i) {
    ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    EXPECT_EQ(id, i);
  }
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), 1);
  EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), 2);
  EXPECT_EQ(fake::LogOf(SLOT_DRV_Fetch).front().text, "4");
}

TEST_F(Fetch, Odbc2CutColumnBeforeCleanOneGivesInfoForTheRow) {
  Open(SQL_OV_ODBC2);
  IntTextRows(1);
  Execute();
  char name[3];
  SQLINTEGER id = 0;
  SQLLEN nameLen = 0, idInd = 0;
  ASSERT_EQ(Bind(2, SQL_C_CHAR, name, sizeof name, &nameLen), SQL_SUCCESS);
  ASSERT_EQ(Bind(1, SQL_C_LONG, &id, 0, &idInd), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01004");
  EXPECT_STREQ(name, "ro");
  EXPECT_EQ(nameLen, 4);
  EXPECT_EQ(id, 1);
}

TEST_F(Fetch, Odbc2FailedConversionLeavesLaterColumnsAndConsumesTheRow) {
  Open(SQL_OV_ODBC2);
  fake::SetColumns({{"A", SQL_VARCHAR, VT_STRING, 10}, {"B", SQL_INTEGER, VT_SLONG, 4}, {"C", SQL_VARCHAR, VT_STRING, 10}});
  fake::SetRows({{fake::Text("x1"), fake::I32(1), fake::Text("c1")}, {fake::Text("2"), fake::I32(2), fake::Text("c2")}});
  Execute();
  SQLINTEGER a = -1, b = -1;
  char c[10] = "untouched";
  SQLLEN la = 0, lb = 0, lc = 0;
  ASSERT_EQ(Bind(1, SQL_C_LONG, &a, 0, &la), SQL_SUCCESS);  // "x1" is no integer
  ASSERT_EQ(Bind(2, SQL_C_LONG, &b, 0, &lb), SQL_SUCCESS);
  ASSERT_EQ(Bind(3, SQL_C_CHAR, c, sizeof c, &lc), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "22005");
  EXPECT_EQ(b, -1);
  EXPECT_STREQ(c, "untouched");
  // The next fetch hands out the second row.
  EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 2);
  EXPECT_STREQ(c, "c2");
}

TEST_F(Fetch, Odbc2RowWiderThanABlockIsStillFetched) {
  Open(SQL_OV_ODBC2);
  fake::SetColumns({{"WIDE", SQL_VARCHAR, VT_CHAR, 70000}});
  fake::SetRows({{fake::Text("x")}, {fake::Text("y")}});
  Execute();
  char v[2];
  SQLLEN len = 0;
  ASSERT_EQ(Bind(1, SQL_C_CHAR, v, sizeof v, &len), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(v[0], 'x');
  EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(v[0], 'y');
  EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
}

TEST_F(Fetch, FetchWithoutResultColumnsIsInvalidCursorState) {
  Open(SQL_OV_ODBC2);
  fake::SetColumns({});
  Execute("delete from t");
  EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "24000");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), 0);
}

TEST_F(Fetch, FetchBeforeExecuteIsSequenceError) {
  Open();
  EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
}

TEST_F(Fetch, AgentFailureBringsItsMessages) {
  Open(SQL_OV_ODBC2);
  IntTextRows(3);
  Execute();
  fake::Script(SLOT_DRV_Fetch).result = E_S1000;
  fake::Script(SLOT_DRV_Fetch).messages = {{fake::OraText("ORA-01002: fetch out of sequence", "HY000"), 1002}};
  EXPECT_EQ(SQLFetch(hstmt), SQL_ERROR);
  SQLCHAR state[6] = {}, text[256] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  bool found = false;
  for (SQLSMALLINT i = 1; SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, i, state, &native, text, sizeof text, &len)); ++i)
    found = found || strstr(reinterpret_cast<char *>(text), "ORA-01002") != nullptr;
  EXPECT_TRUE(found);
}

// A fetch during which a failover completed (183) brought its rows: the row
// comes with SQL_SUCCESS_WITH_INFO, IM500 and the application's event 16.
int g_failoverEvent = 0;
int RecordFailover(int event, void *, int) {
  g_failoverEvent = event;
  return 0;
}
decltype(DrvOps::DRV_Fetch) g_fakeFetch = nullptr;
// The fake's fetch, answering 183 for the block it delivered.
int32_t FetchThenFailover(DrvHandle cursor, uint16_t rows, Dataset *out) {
  int32_t rc = g_fakeFetch(cursor, rows, out);
  return rc == 0 ? E_IM500 : rc;
}

TEST_F(Fetch, CompletedFailoverDuringAFetchKeepsItsRow) {
  Open();
  IntTextRows(3);
  Execute();
  conn->failoverCallback = RecordFailover;
  g_failoverEvent = 0;
  DrvOps *table = stmt->drv->table;
  g_fakeFetch = table->DRV_Fetch;
  table->DRV_Fetch = FetchThenFailover;
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(1, SQL_C_LONG, &id, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(hstmt), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(State(), "IM500");
  EXPECT_EQ(g_failoverEvent, 16);
  table->DRV_Fetch = g_fakeFetch;
}

// Each fetch writes at the bind offset current at that fetch, in every road.
TEST_F(Fetch, BindOffsetChangingBetweenFetches) {
  for (int version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
    SCOPED_TRACE(version);
    TearDown();
    SetUp();
    Open(version);
    IntTextRows(3);
    Execute();
    struct Row {
      SQLINTEGER id;
      SQLLEN ind;
    } rows[3] = {};
    SQLLEN offset = 0;
    stmt->ard->bindOffset = &offset;
    ASSERT_EQ(Bind(1, SQL_C_LONG, &rows[0].id, 0, &rows[0].ind), SQL_SUCCESS);
    for (int i = 0; i < 3; ++i) {
      offset = static_cast<SQLLEN>(i * sizeof(Row));
      ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
    }
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(rows[i].id, i + 1);
      EXPECT_EQ(rows[i].ind, 4);
    }
  }
}

TEST_F(Fetch, Odbc2RowNumberCountsTheRowsHandedOut) {
  Open(SQL_OV_ODBC2);
  IntTextRows(2);
  Execute();
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(stmt->rowNumber, 2);
}

// ---- ODBC 3 SQLFetch with a one-row rowset ------------------------------------

TEST_F(Fetch, OneRowRowsetWritesStatusAndRowsFetched) {
  Open();
  IntTextRows(1);
  Execute();
  SQLUSMALLINT status = 99;
  SQLULEN fetched = 99;
  stmt->ird->arrayStatus = &status;
  stmt->rowsFetched = &fetched;
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(status, SQL_ROW_SUCCESS);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(stmt->rowNumber, 1);
  EXPECT_EQ(SQLFetch(hstmt), SQL_NO_DATA);
  EXPECT_EQ(status, SQL_ROW_NOROW);
  EXPECT_EQ(fetched, 0u);
}

TEST_F(Fetch, OneRowRowsetUbigintColumnOtherThanBookmarkGetsItsValue) {
  Open();
  IntTextRows(1);
  Execute();
  SQLUBIGINT v = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(Bind(1, SQL_C_UBIGINT, &v, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(v, 1u);
}

TEST_F(Fetch, OneRowRowsetIgnoredColumnAndRetrieveDataOff) {
  Open();
  IntTextRows(2);
  Execute();
  SQLINTEGER id = -1;
  char name[10] = "keep";
  SQLLEN idInd = 0, nameLen = SQL_COLUMN_IGNORE;
  ASSERT_EQ(Bind(1, SQL_C_LONG, &id, 0, &idInd), SQL_SUCCESS);
  ASSERT_EQ(Bind(2, SQL_C_CHAR, name, sizeof name, &nameLen), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(id, 1);
  EXPECT_STREQ(name, "keep");
  RetrieveData(SQL_RD_OFF);
  id = -1;
  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(id, -1);
}

TEST_F(Fetch, PriorOnForwardOnlyIsFetchTypeOutOfRange) {
  Open();
  IntTextRows(3);
  Execute();
  EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_PRIOR, 0), SQL_ERROR);
  EXPECT_EQ(State(), "HY106");
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), 0);
}

// ---- Rowsets through the cursor layer --------------------------------------------

TEST_F(Fetch, ColumnWiseRowsetsWithStatusesAndRowsFetched) {
  Open();
  IntTextRows(5);
  Execute();
  RowsetSize(3);
  SQLINTEGER ids[3] = {};
  SQLLEN idInd[3] = {};
  char names[3][8] = {};
  SQLLEN nameLen[3] = {};
  SQLUSMALLINT status[3] = {};
  SQLULEN fetched = 0;
  stmt->ird->arrayStatus = status;
  stmt->rowsFetched = &fetched;
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, idInd), SQL_SUCCESS);
  ASSERT_EQ(Bind(2, SQL_C_CHAR, names, sizeof names[0], nameLen), SQL_SUCCESS);

  ASSERT_EQ(SQLFetch(hstmt), SQL_SUCCESS);
  EXPECT_EQ(fetched, 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ids[i], i + 1);
    EXPECT_EQ(std::string(names[i]), "row" + std::to_string(i + 1));
    EXPECT_EQ(nameLen[i], 4);
    EXPECT_EQ(status[i], SQL_ROW_SUCCESS);
  }
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(ids[0], 4);
  EXPECT_EQ(ids[1], 5);
  EXPECT_STREQ(names[1], "row5");
  EXPECT_EQ(status[2], SQL_ROW_NOROW);
  EXPECT_EQ(stmt->rowNumber, 5);
  EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_NO_DATA);
  EXPECT_EQ(stmt->rowNumber, 5);
  // Each rowset is one DRV_Fetch of rowset-size rows.
  auto fetches = fake::LogOf(SLOT_DRV_Fetch);
  ASSERT_GE(fetches.size(), 2u);
  EXPECT_EQ(fetches[0].text, "3");
}

TEST_F(Fetch, RowWiseRowsetWithBindOffset) {
  Open();
  IntTextRows(4);
  Execute();
  RowsetSize(2);
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    char name[8];
    SQLLEN nameLen;
  } rows[4] = {};
  stmt->bindType = sizeof(Row);
  SQLLEN offset = 0;
  stmt->ard->bindOffset = &offset;
  ASSERT_EQ(Bind(1, SQL_C_LONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
  ASSERT_EQ(Bind(2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameLen), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  offset = 2 * sizeof(Row);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i].id, i + 1);
    EXPECT_EQ(std::string(rows[i].name), "row" + std::to_string(i + 1));
    EXPECT_EQ(rows[i].nameLen, 4);
  }
}

// A SQL_C_DEFAULT binding of length 0 is as long as the type it resolves to,
// in the bound column itself.
TEST_F(Fetch, DefaultTypeOfLengthZeroStridesByItsType) {
  Open();
  IntTextRows(3);
  Execute();
  RowsetSize(3);
  SQLINTEGER ids[3] = {};
  SQLLEN ind[3] = {};
  ASSERT_EQ(Bind(1, SQL_C_DEFAULT, ids, 0, ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ids[i], i + 1);
  EXPECT_EQ(stmt->boundCols->bind.bufferLength, 4u);
}

// Fixed-size C types are as long as their type in a column-wise array,
// whatever buffer length came with them.
TEST_F(Fetch, FixedTypeStrideIgnoresBufferLength) {
  Open();
  IntTextRows(3);
  Execute();
  RowsetSize(3);
  SQLINTEGER ids[3] = {};
  SQLLEN ind[3] = {};
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 100, ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ids[i], i + 1);
}

TEST_F(Fetch, ExtendedFetchWritesItsOwnOutputs) {
  Open(SQL_OV_ODBC2);
  IntTextRows(3);
  Execute();
  RowsetSize(2);
  SQLINTEGER ids[2] = {};
  SQLLEN ind[2] = {};
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
  SQLULEN fetched = 0;
  SQLUSMALLINT status[2] = {9, 9};
  ASSERT_EQ(SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(ids[1], 2);
  ASSERT_EQ(SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
  EXPECT_EQ(status[1], SQL_ROW_NOROW);
  EXPECT_EQ(SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_NO_DATA);
}

TEST_F(Fetch, RowsetWithoutStatusArrayAndIgnoredEntries) {
  Open();
  IntTextRows(3);
  Execute();
  RowsetSize(3);
  SQLINTEGER ids[3] = {-1, -1, -1};
  SQLLEN ind[3] = {0, SQL_COLUMN_IGNORE, 0};
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], -1);
  EXPECT_EQ(ids[2], 3);
}

TEST_F(Fetch, RetrieveDataOffWritesStatusesOnly) {
  Open();
  IntTextRows(2);
  Execute();
  RowsetSize(2);
  RetrieveData(SQL_RD_OFF);
  SQLINTEGER ids[2] = {-1, -1};
  SQLLEN ind[2] = {};
  SQLUSMALLINT status[2] = {9, 9};
  SQLULEN fetched = 0;
  stmt->ird->arrayStatus = status;
  stmt->rowsFetched = &fetched;
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(status[1], SQL_ROW_SUCCESS);
  EXPECT_EQ(ids[0], -1);
  EXPECT_EQ(ids[1], -1);
}

// A rowset of 65536 rows is 65536 rows: never cut to 16 bits.
TEST_F(Fetch, RowsetAbove16BitsIsWhole) {
  Open();
  const int n = 65536 + 3;
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}});
  std::vector<fake::Row> rows;
  rows.reserve(n);
  for (int i = 1; i <= n; ++i) rows.push_back({fake::I32(i)});
  fake::SetRows(rows);
  Execute();
  RowsetSize(65536);
  std::vector<SQLINTEGER> ids(65536);
  std::vector<SQLLEN> ind(65536);
  SQLULEN fetched = 0;
  stmt->rowsFetched = &fetched;
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids.data(), 0, ind.data()), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 65536u);
  EXPECT_EQ(ids[65535], 65536);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(ids[2], 65539);
}

// Rows of keyset-driven and dynamic cursors are read by key: without keys
// (a statement executed before the type was set) nothing is read.
TEST_F(Fetch, KeysetDrivenAndDynamicCursorsWithoutKeysReadNothing) {
  for (int32_t type : {SCS_KEYSET, SCS_DYNAMIC}) {
    SCOPED_TRACE(type);
    TearDown();
    SetUp();
    Open();
    IntTextRows(3);
    Execute();
    CursorType(type);
    SQLINTEGER id = -1;
    SQLLEN ind = 0;
    ASSERT_EQ(Bind(1, SQL_C_LONG, &id, 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY010");
    EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_FIRST, 0), SQL_ERROR);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(fake::CallCount(SLOT_DRV_Fetch), 0);
  }
}

TEST_F(Fetch, MixedCursorWithKeysetSmallerThanRowset) {
  Open();
  IntTextRows(3);
  Execute();
  CursorType(SCS_KEYSET);
  stmt->cursor.keysetSize = 5;
  RowsetSize(10);
  EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
  EXPECT_EQ(State(), "HY107");
}

TEST_F(Fetch, AbsoluteZeroLeavesTheCursorBeforeTheStart) {
  Open();
  IntTextRows(3);
  Execute();
  CursorType(SCS_STATIC);
  stmt->cursor.position = 2;
  EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_ABSOLUTE, 0), SQL_NO_DATA);
  EXPECT_EQ(stmt->cursor.position, SCS_BEFORE_FIRST);
}

TEST_F(Fetch, ScrollFetchNeedsScrollableCursorSupport) {
  Open();
  IntTextRows(3);
  Execute();
  conn->cn_hasScrlCurs = 0;
  RowsetSize(2);
  EXPECT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
  EXPECT_EQ(State(), "IM001");
}

TEST_F(Fetch, GetDataReadsTheCurrentRowOfTheRowset) {
  Open();
  IntTextRows(3);
  Execute();
  RowsetSize(2);
  ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  char name[10];
  SQLLEN len = 0;
  ASSERT_EQ(SQLGetData(hstmt, 2, SQL_C_CHAR, name, sizeof name, &len), SQL_SUCCESS);
  EXPECT_STREQ(name, "row1");
}

// ---- The rowset fill on a rowset of the cursor state ------------------------------

struct Fill : FetchFixture {
  // A rowset of n rows of one integer column with the given statuses.
  void Rowset(std::vector<uint16_t> statuses) {
    ::Rowset *rs = nullptr;
    ASSERT_EQ(RowsetNew(&rs, static_cast<int32_t>(statuses.size())), 0);
    fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}});
    std::vector<fake::Row> rows;
    for (size_t i = 0; i < statuses.size(); ++i) rows.push_back({fake::I32(static_cast<int32_t>(i + 1))});
    fake::SetRows(rows);
    Execute();
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Fetch>(stmt->drv, stmt->agentCursor, static_cast<uint16_t>(statuses.size()),
                                          rs->rows),
              0);
    for (size_t i = 0; i < statuses.size(); ++i) rs->status[i] = statuses[i];
    stmt->cursor.rowset = rs;
    stmt->cursor.rowsetSize = static_cast<int32_t>(statuses.size());
    stmt->cursor.position = 1;
  }
};

TEST_F(Fill, EveryRowInErrorIsAnErrorSomeIsAWarning) {
  Open();
  SQLINTEGER ids[3] = {};
  SQLLEN ind[3] = {};
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
  Rowset({SQL_ROW_ERROR, SQL_ROW_ERROR, SQL_ROW_NOROW});
  EXPECT_EQ(RowsetFill(stmt, nullptr, 0, -1), SQL_ERROR);
  scs_FreeRowset(&stmt->cursor);
  TearDown();
  SetUp();
  Open();
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
  Rowset({SQL_ROW_SUCCESS, SQL_ROW_ERROR, SQL_ROW_SUCCESS});
  SQLUSMALLINT status[3] = {};
  EXPECT_EQ(RowsetFill(stmt, status, 0, -1), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(status[1], SQL_ROW_ERROR);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[2], 3);
}

TEST_F(Fill, DeletedRowsAndRefreshStatuses) {
  Open();
  SQLINTEGER ids[3] = {-1, -1, -1};
  SQLLEN ind[3] = {};
  ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
  Rowset({SQL_ROW_UPDATED, SQL_ROW_DELETED, SQL_ROW_ADDED});
  SQLUSMALLINT status[3] = {};
  EXPECT_EQ(RowsetFill(stmt, status, 0, SQL_REFRESH), SQL_SUCCESS);
  EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
  EXPECT_EQ(status[1], SQL_ROW_DELETED);
  EXPECT_EQ(status[2], SQL_ROW_SUCCESS);
  EXPECT_EQ(ids[1], -1);
  EXPECT_EQ(ids[2], 3);
  // Only row 2, and a row the operation array ignores is left alone.
  SQLUSMALLINT ops[3] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE, SQL_ROW_PROCEED};
  stmt->ard->arrayStatus = ops;
  ids[2] = -1;
  status[2] = 77;
  EXPECT_EQ(RowsetFill(stmt, status, 2, SQL_REFRESH), SQL_SUCCESS);
  EXPECT_EQ(status[2], 77);
  EXPECT_EQ(RowsetFill(stmt, status, 3, SQL_UPDATE), SQL_SUCCESS);
  EXPECT_EQ(status[2], SQL_ROW_ADDED);
  EXPECT_EQ(ids[2], 3);
}

// With retrieve data off only the bookmark column is written; another
// column bound as the bookmark's types is not.
TEST_F(Fill, RetrieveDataOffWritesOnlyTheBookmark) {
  Open();
  fake::SetInfo(InfoGetInfoInt(SQL_BOOKMARK_PERSISTENCE), SQL_BP_SCROLL);
  stmt->cursor.useBookmarks = SQL_UB_VARIABLE;
  CursorType(SCS_STATIC);
  SQLUBIGINT ids[2] = {7777, 7777};
  SQLLEN ind[2] = {};
  SQLBIGINT marks[2] = {};
  SQLLEN markInd[2] = {};
  ASSERT_EQ(Bind(1, SQL_C_UBIGINT, ids, 0, ind), SQL_SUCCESS);
  ASSERT_EQ(Bind(0, SQL_C_BINARY, marks, sizeof marks[0], markInd), SQL_SUCCESS);
  Rowset({SQL_ROW_SUCCESS, SQL_ROW_SUCCESS});
  stmt->cursor.firstRow = 7;
  stmt->cursor.retrieveData = SQL_RD_OFF;
  EXPECT_EQ(RowsetFill(stmt, nullptr, 0, -1), SQL_SUCCESS);
  EXPECT_EQ(ids[0], 7777u);
  EXPECT_EQ(ids[1], 7777u);
  EXPECT_EQ(marks[0], 7);
  EXPECT_EQ(marks[1], 8);
  EXPECT_EQ(markInd[1], 8);
}

// A descriptor field that unbinds a column leaves its binding without a data
// pointer: the fetch passes it by.
TEST_F(Fetch, ColumnUnboundByADescriptorFieldIsLeftAlone) {
  for (SQLULEN size : {1, 2}) {
    SCOPED_TRACE(size);
    TearDown();
    SetUp();
    Open();
    IntTextRows(2);
    Execute();
    RowsetSize(static_cast<int32_t>(size));
    SQLINTEGER ids[2] = {-1, -1};
    SQLLEN ind[2] = {};
    char names[2][8] = {};
    SQLLEN nameLen[2] = {};
    ASSERT_EQ(Bind(1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
    ASSERT_EQ(Bind(2, SQL_C_CHAR, names, sizeof names[0], nameLen), SQL_SUCCESS);
    StmtBoundCol(stmt, 1)->bind.data = nullptr;
    ASSERT_EQ(SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(ids[0], -1);
    EXPECT_STREQ(names[0], "row1");
  }
}

TEST(DropWarning, RemovesATrailing01S01Only) {
  char *texts[2] = {strdup("[Oracle Server]a[SQLSTATE:HY000]"), strdup("[Oracle Server]b[SQLSTATE:01S01]")};
  DrvMsgList list{0, 2, texts};
  DropWarning01S01(&list);
  EXPECT_EQ(list.count, 1u);
  DropWarning01S01(&list);
  EXPECT_EQ(list.count, 1u);
  free(texts[0]);
}

}  // namespace
}  // namespace fetchtest
