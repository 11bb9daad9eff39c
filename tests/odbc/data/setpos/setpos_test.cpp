// SQLSetPos and SQLBulkOperations over the scripted fake agent: what reaches
// the layer below (row, operation, value Dataset, column list, bookmarks),
// what comes back into the application's statuses, and the
// data-at-execution dialogue of bound columns on both paths.
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "fake.h"
#include "front_support.h"
#include "odbc/data/rowset.h"
#include "odbc/data/setpos.h"
#include "odbc/dataset.h"
#include "odbc/dispatch.h"
#include "odbc/desc.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"

namespace {

// ---- What the layer below saw ------------------------------------------------------------

struct RecCell {
  int16_t indicator = -1;
  std::string bytes;  // the whole element
};
struct RecCol {
  int32_t type = 0;
  uint32_t size = 0;
  std::vector<RecCell> cells;
};
struct Sent {
  int slot = 0;
  int32_t row = 0;
  int op = 0;
  std::vector<uint16_t> columns;
  std::vector<RecCol> cols;
  std::vector<int32_t> bookmarks;
  bool hasValues = false;
};

std::vector<Sent> g_sent;
std::deque<int32_t> g_answers;            // result codes of the next SetPos/Bulk calls (0 when empty)
std::vector<int16_t> g_statuses;          // statuses handed back (one per row sent when empty: 0)
std::deque<std::pair<int32_t, int32_t>> g_cells;  // (column, row) the agent asks for, in order
int32_t g_finalCode = 0;                  // DRV_ParamData's answer once every cell came
struct Piece {
  uint32_t type;
  int16_t indicator;
  std::string bytes;
};
std::vector<Piece> g_pieces;
Rowset *g_fetched = nullptr;              // what FETCH_BY_BOOKMARK hands back
Rowset *g_refetched = nullptr;            // what the scroll fetch of a REFRESH hands back

std::vector<RecCol> Record(const Dataset *ds) {
  std::vector<RecCol> out;
  if (!ds) return out;
  for (uint16_t c = 0; c < ds->columns; ++c) {
    const DatasetCol &col = ds->cols[c];
    RecCol rc{col.type, col.size, {}};
    for (int32_t r = 0; r < ds->rows; ++r) {
      RecCell cell;
      cell.indicator = col.indicators[r];
      if (col.type == VT_LONGBINARY) {
        LongValue lv;
        memcpy(&lv, col.values + static_cast<size_t>(r) * col.size, sizeof lv);
        if (lv.buffer) cell.bytes.assign(static_cast<const char *>(lv.buffer), lv.length);
      } else {
        cell.bytes.assign(reinterpret_cast<const char *>(col.values) + static_cast<size_t>(r) * col.size, col.size);
      }
      rc.cells.push_back(cell);
    }
    out.push_back(rc);
  }
  return out;
}

int16_t *Statuses(int32_t n) {
  auto *s = static_cast<int16_t *>(malloc(sizeof(int16_t) * (n > 0 ? n : 1)));
  for (int32_t i = 0; i < n; ++i) s[i] = i < static_cast<int32_t>(g_statuses.size()) ? g_statuses[i] : 0;
  return s;
}

int32_t NextAnswer() {
  if (g_answers.empty()) return 0;
  const int32_t rc = g_answers.front();
  g_answers.pop_front();
  return rc;
}

// The layer below owns what it is handed (the registered flags leave the
// caller-frees bit clear).
void Take(Dataset *ds, uint16_t *cols) {
  if (ds) {
    DatasetFree(ds);
    free(ds);
  }
  free(cols);
}

int32_t R_SetPos(DrvHandle, int32_t row, uint16_t op, uint16_t, int16_t **status, int32_t *, Dataset *values,
                 uint16_t *columns, uint16_t count) {
  Sent s;
  s.slot = SLOT_DRV_SetPos;
  s.row = row;
  s.op = op;
  s.hasValues = values != nullptr;
  if (columns) s.columns.assign(columns, columns + count);
  s.cols = Record(values);
  const int32_t rows = values ? values->rows : 0;
  g_sent.push_back(s);
  Take(values, columns);
  const int32_t rc = NextAnswer();
  if (status && rc != E_IM922) *status = Statuses(rows);
  return rc;
}

int32_t R_Bulk(DrvHandle, int16_t op, const int32_t *bookmarks, uint16_t count, Dataset *values, uint16_t *columns,
               uint16_t columnCount, int16_t **status, int16_t *outCount, Rowset **rowset) {
  Sent s;
  s.slot = SLOT_DRV_BulkOperations;
  s.op = op;
  s.hasValues = values != nullptr;
  if (bookmarks) s.bookmarks.assign(bookmarks, bookmarks + count);
  if (columns) s.columns.assign(columns, columns + columnCount);
  s.cols = Record(values);
  g_sent.push_back(s);
  Take(values, columns);
  if (status) *status = Statuses(count);
  if (outCount) *outCount = static_cast<int16_t>(count);
  if (rowset) {
    *rowset = g_fetched;
    g_fetched = nullptr;
  }
  return NextAnswer();
}

int32_t R_ParamData(DrvHandle, int32_t *column, int32_t *row, int16_t **status, int32_t *count) {
  if (!g_cells.empty()) {
    *column = g_cells.front().first;
    *row = g_cells.front().second;
    g_cells.pop_front();
    return E_IM922;
  }
  *column = *row = -2;
  if (status) *status = Statuses(static_cast<int32_t>(g_statuses.size() ? g_statuses.size() : 1));
  if (count) *count = static_cast<int32_t>(g_statuses.size());
  return g_finalCode;
}

int32_t R_PutData(DrvHandle, uint32_t type, int16_t indicator, const void *data, int32_t length) {
  g_pieces.push_back({type, indicator, data ? std::string(static_cast<const char *>(data), length) : std::string()});
  return 0;
}

std::string Text(const RecCell &c) { return std::string(c.bytes.c_str()); }

// The two calls through the dispatcher, as the exported entries will make
// them (these do not claim the functions yet), so that their diagnostics are
// read the usual way.
SQLRETURN ImplSetPos(void *o, const ApiArgs &a) {
  return StmtSetPos(static_cast<Stmt *>(o), a.u64(0), a.u16(1), a.u16(2));
}
SQLRETURN ImplBulk(void *o, const ApiArgs &a) { return StmtBulkOperations(static_cast<Stmt *>(o), a.u16(0)); }
const ApiRecord kSetPos = {"SetPos", "irow=%u fOption=%u fLock=%u", 0, 1, HK_STMT, ImplSetPos};
const ApiRecord kBulk = {"BulkOperations", "op=%u", 0, 1, HK_STMT, ImplBulk};

SQLRETURN SetPos(SQLHSTMT h, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock) {
  return CallODBC(kSetPos, h, row, op, lock);
}
SQLRETURN BulkOperations(SQLHSTMT h, SQLUSMALLINT op) { return CallODBC(kBulk, h, op); }

// ---- Fixture --------------------------------------------------------------------------------

constexpr int kRows = 4;

struct SetPosTest : front::FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT hstmt = SQL_NULL_HSTMT;
  Conn *conn = nullptr;
  Stmt *stmt = nullptr;
  SQLUSMALLINT appStatus[16] = {};
  SQLUSMALLINT ops[16] = {};

  void SetUp() override {
    FrontTest::SetUp();
    g_sent.clear();
    g_answers.clear();
    g_statuses.clear();
    g_cells.clear();
    g_pieces.clear();
    g_finalCode = 0;
    g_fetched = nullptr;
    DrvOps *t = fake::Table();
    t->DRV_SetPos = R_SetPos;
    t->DRV_BulkOperations = R_Bulk;
    t->DRV_ParamData = R_ParamData;
    t->DRV_PutData = R_PutData;
    fake::SetInfo(InfoGetInfoInt(SQL_BOOKMARK_PERSISTENCE), 1);
    env = front::NewEnv(SQL_OV_ODBC3);
    dbc = front::NewDbc(env);
    front::FakeConnect(dbc);
    conn = front::ConnOf(dbc);
    conn->cn_hasScrlCurs = 1;
    conn->cn_hasV2DAE = 1;
    hstmt = front::NewStmt(dbc);
    stmt = front::StmtOf(hstmt);
    fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4},
                      {"NAME", SQL_VARCHAR, VT_STRING, 30},
                      {"SAL", SQL_DECIMAL, VT_STRING, 40},
                      {"NOTE", SQL_VARCHAR, VT_STRING, 200}});
    Open(kRows, {0, 0, 0, 0});
  }

  void TearDown() override {
    if (g_fetched) RowsetFree(&g_fetched);
    if (g_refetched) RowsetFree(&g_refetched);
    FrontTest::TearDown();
  }

  // A keyset-driven updatable cursor on a fetched rowset with these row
  // statuses (fewer than the rowset size: the rest have no row).
  void Open(int rowsetSize, const std::vector<int> &statuses) {
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, "select * from emp"), 0);
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
    stmt->state = STMT_PREPARED;
    stmt->flags |= STMTF_PREPARED | STMTF_RESULT_OPEN;
    ScsCursor &cur = stmt->cursor;
    cur.cursorType = SCS_KEYSET;
    cur.keysetSize = 0;
    cur.concurrency = SCS_LOCK;
    cur.rowsetSize = rowsetSize;
    stmt->ard->arraySize = static_cast<uint64_t>(rowsetSize);
    cur.position = 1;
    cur.firstRow = 1;
    cur.useBookmarks = 1;
    scs_FreeRowset(&cur);
    ASSERT_EQ(RowsetNew(&cur.rowset, rowsetSize), 0);
    for (size_t i = 0; i < statuses.size(); ++i) cur.rowset->status[i] = static_cast<uint16_t>(statuses[i]);
    for (int i = 0; i < 16; ++i) appStatus[i] = 77;
    cur.fetchStatus = appStatus;
  }

  void Ignore(std::initializer_list<int> rows) {
    for (int r : rows) ops[r - 1] = SQL_ROW_IGNORE;
    stmt->ard->arrayStatus = ops;
  }

  std::string State() {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, text, sizeof text, &len))) return "";
    return reinterpret_cast<char *>(state);
  }

  int Sends() { return static_cast<int>(g_sent.size()); }
};

// ---- Argument checks ------------------------------------------------------------------------

// Every refused call leaves the layer below, the statuses and the buffers
// alone. The row is never cut to 16 bits: 65537 is far above the rowset.
TEST_F(SetPosTest, RefusedCallsWriteNothing) {
  struct Case {
    const char *what;
    SQLSETPOSIROW row;
    SQLUSMALLINT op, lock;
    int setup;  // 0 none, 1 forward-only, 2 read-only, 3 no result, 4 rows 2 deleted / 3 in error
    const char *state;
  };
  const Case cases[] = {
      {"row above the rowset", kRows + 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 0, "HY107"},
      {"row 65537", 65537, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 0, "HY107"},
      {"row 65537 add", 65537, SQL_ADD, SQL_LOCK_NO_CHANGE, 0, "HY107"},
      {"lock exclusive", 1, SQL_UPDATE, SQL_LOCK_EXCLUSIVE, 0, "HYC00"},
      {"lock unlock", 1, SQL_UPDATE, SQL_LOCK_UNLOCK, 0, "HYC00"},
      {"operation 5", 1, 5, SQL_LOCK_NO_CHANGE, 0, "HYC00"},
      {"forward-only", 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 1, "HY109"},
      {"read-only", 1, SQL_DELETE, SQL_LOCK_NO_CHANGE, 2, "HY009"},
      {"no result", 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 3, "24000"},
      {"deleted row", 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 4, "HY109"},
      {"row in error", 3, SQL_DELETE, SQL_LOCK_NO_CHANGE, 4, "HY109"},
      {"refresh of a deleted row", 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE, 4, "HY109"},
      {"row without data", 4, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 4, "HY109"},
  };
  SQLINTEGER id[kRows] = {1, 2, 3, 4};
  SQLLEN idLen[kRows] = {};
  for (bool agent : {true, false}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(std::string(c.what) + (agent ? " (agent)" : " (generic)"));
      SetUp();
      conn->cn_hasV2DAE = agent ? 1 : 0;
      ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, idLen), SQL_SUCCESS);
      if (c.setup == 1) stmt->cursor.cursorType = SCS_FORWARD_ONLY;
      if (c.setup == 2) stmt->cursor.concurrency = SCS_READ_ONLY;
      if (c.setup == 3) stmt->flags &= static_cast<uint16_t>(~STMTF_RESULT_OPEN);
      if (c.setup == 4) Open(kRows, {0, SQL_ROW_DELETED, SQL_ROW_ERROR});
      EXPECT_EQ(SetPos(hstmt, c.row, c.op, c.lock), SQL_ERROR);
      EXPECT_EQ(State(), c.state);
      EXPECT_EQ(Sends(), 0);
      for (int i = 0; i < kRows; ++i) EXPECT_EQ(appStatus[i], 77);
      EXPECT_EQ(stmt->cursor.position, 1);
      TearDown();
    }
  }
  SetUp();
}

TEST_F(SetPosTest, PositionGoesDownAndWorksOnADeletedRow) {
  Open(kRows, {0, 0, SQL_ROW_DELETED, 0});
  ASSERT_EQ(SetPos(hstmt, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
  ASSERT_EQ(Sends(), 1);
  EXPECT_EQ(g_sent[0].row, 3);
  EXPECT_EQ(g_sent[0].op, SQL_POSITION);
  EXPECT_FALSE(g_sent[0].hasValues);
  EXPECT_EQ(stmt->cursor.position, 3);
  // A refusal from below carries its code when it leaves no message.
  g_answers = {E_S1C00};
  EXPECT_EQ(SetPos(hstmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "HYC00");
}

// ---- Value Datasets -----------------------------------------------------------------------------

// Column-wise: each bound column travels in its own column, in binding
// order (SAL before NAME); rows not acted on carry -4 (ignored by the
// application, or no row in the rowset); SQL_COLUMN_IGNORE leaves only that
// row's cell out (-6); NUMERIC goes as its exact text; a fixed C type is read
// at its own size whatever buffer length came with it.
// A rowset of IDs with these statuses, as the layer hands one up.
Rowset *IdRowset(const std::vector<int32_t> &ids, const std::vector<int> &statuses) {
  Rowset *rs = nullptr;
  EXPECT_EQ(RowsetNew(&rs, kRows), 0);
  ColDesc d[1] = {};
  d[0].valueType = VT_SLONG;
  d[0].octetLength = 4;
  EXPECT_EQ(DatasetFromColDescs(d, 1, kRows, rs->rows), 0);
  rs->rows->rows = static_cast<int32_t>(ids.size());
  for (size_t r = 0; r < ids.size(); ++r) {
    rs->rows->cols[0].indicators[r] = statuses[r] == SQL_ROW_DELETED ? kIndNull : 0;
    memcpy(rs->rows->cols[0].values + 4 * r, &ids[r], 4);
    rs->status[r] = static_cast<uint16_t>(statuses[r]);
  }
  return rs;
}

int32_t g_refetchValue = 0;
uint16_t g_refetchOrientation = 0;

int32_t R_FetchScroll(DrvHandle, Rowset **out, int32_t value, uint32_t *rows, int32_t *, uint16_t orientation) {
  g_refetchValue = value;
  g_refetchOrientation = orientation;
  *out = g_refetched;
  *rows = g_refetched ? static_cast<uint32_t>(g_refetched->rows->rows) : 0;
  g_refetched = nullptr;
  return *out ? 0 : E_IM907;
}

// REFRESH reads the rowset again from the layer (by key there) and takes
// only the addressed rows from it, statuses included; the others keep what
// the application was shown.
TEST_F(SetPosTest, RefreshReadsTheAddressedRowsAgain) {
  fake::Table()->DRV_FetchScroll = R_FetchScroll;
  ScsCursor &cur = stmt->cursor;
  scs_FreeRowset(&cur);
  cur.rowset = IdRowset({1, 2, 3, 4}, {0, 0, 0, 0});
  cur.firstRow = 5;
  SQLINTEGER id[kRows] = {-1, -1, -1, -1};
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
  // Meanwhile row 2 changed and row 3 went.
  g_refetched = IdRowset({1, 20, 0, 4}, {0, 0, SQL_ROW_DELETED, 0});
  ASSERT_EQ(SetPos(hstmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
  EXPECT_EQ(g_refetchValue, 5);
  EXPECT_EQ(g_refetchOrientation, SQL_FETCH_ABSOLUTE);
  EXPECT_EQ(id[1], 20);
  EXPECT_EQ(id[0], -1);
  EXPECT_EQ(appStatus[1], SQL_ROW_SUCCESS);
  EXPECT_EQ(appStatus[2], 77);
  EXPECT_EQ(scs_GetRowStatus(cur.rowset, 3), SQL_ROW_SUCCESS);
  g_refetched = IdRowset({1, 20, 0, 4}, {0, 0, SQL_ROW_DELETED, 0});
  ASSERT_EQ(SetPos(hstmt, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
  EXPECT_EQ(appStatus[2], SQL_ROW_DELETED);
  EXPECT_EQ(id[3], 4);
  EXPECT_EQ(Sends(), 0);
}

TEST_F(SetPosTest, UpdateOfEveryRowBuildsOneCellPerBindingAndRow) {
  Open(kRows, {0, 0, 0});  // row 4 has no data
  Ignore({2});
  SQL_NUMERIC_STRUCT sal[kRows] = {};
  SQLLEN salLen[kRows] = {};
  for (int r = 0; r < kRows; ++r) {
    sal[r].precision = 19;
    sal[r].scale = 0;
    sal[r].sign = 1;
    const uint64_t v = 1234567890123456789ULL + static_cast<uint64_t>(r);
    memcpy(sal[r].val, &v, sizeof v);
    salLen[r] = sizeof(SQL_NUMERIC_STRUCT);
  }
  char name[kRows][11] = {"ann", "bob", "cy", "dee"};
  SQLLEN nameLen[kRows] = {SQL_NTS, SQL_NTS, SQL_COLUMN_IGNORE, SQL_NTS};
  SQLSMALLINT grade[kRows] = {7, 8, 9, 10};
  SQLLEN gradeLen[kRows] = {2, 2, 2, SQL_NULL_DATA};
  ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_NUMERIC, sal, sizeof(SQL_NUMERIC_STRUCT), salLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name[0], nameLen), SQL_SUCCESS);
  // A buffer length far from the type's size: the rows are 2 bytes apart.
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_SSHORT, grade, 100, gradeLen), SQL_SUCCESS);
  g_statuses = {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED};

  ASSERT_EQ(SetPos(hstmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
  ASSERT_EQ(Sends(), 1);
  const Sent &s = g_sent[0];
  EXPECT_EQ(s.row, SCS_ALL_ROWS);
  EXPECT_EQ(s.op, SQL_UPDATE);
  ASSERT_EQ(s.columns, (std::vector<uint16_t>{3, 2, 1}));
  ASSERT_EQ(s.cols.size(), 3u);
  for (const RecCol &c : s.cols) {
    ASSERT_EQ(c.cells.size(), static_cast<size_t>(kRows));
    EXPECT_EQ(c.cells[1].indicator, kIndRowIgnored);
    EXPECT_EQ(c.cells[3].indicator, kIndRowIgnored);
  }
  EXPECT_EQ(s.cols[0].type, VT_CHAR);
  EXPECT_EQ(Text(s.cols[0].cells[0]), "1234567890123456789");
  EXPECT_EQ(Text(s.cols[0].cells[2]), "1234567890123456791");
  EXPECT_EQ(Text(s.cols[1].cells[0]), "ann");
  EXPECT_EQ(s.cols[1].cells[2].indicator, kIndColumnIgnored);
  EXPECT_EQ(s.cols[2].type, VT_SSHORT);
  int16_t g = 0;
  memcpy(&g, s.cols[2].cells[2].bytes.data(), 2);
  EXPECT_EQ(g, 9);
  // Statuses come back for the rows acted on only.
  EXPECT_EQ(appStatus[0], SQL_ROW_UPDATED);
  EXPECT_EQ(appStatus[1], 77);
  EXPECT_EQ(appStatus[2], SQL_ROW_UPDATED);
  EXPECT_EQ(appStatus[3], 77);
  EXPECT_EQ(stmt->cursor.rowset->status[3], SQL_ROW_NOROW);
}

// Row-wise binding: values, lengths and indicators a row size apart.
// Character cells: the longest value plus one byte on the agent path, at
// least 17 bytes on the generic path. SBIGINT as decimal text padded with
// blanks to 31 characters.
TEST_F(SetPosTest, RowWiseBindingAndCellLayoutOnBothPaths) {
  struct Row {
    SQLINTEGER id;
    SQLLEN idLen;
    char name[12];
    SQLLEN nameLen;
    SQLBIGINT big;
    SQLLEN bigLen;
  };
  for (bool agent : {true, false}) {
    SCOPED_TRACE(agent ? "agent" : "generic");
    SetUp();
    conn->cn_hasV2DAE = agent;
    Open(3, {0, 0, 0});
    Row rows[3] = {{1, 0, "abcde", SQL_NTS, -5, 8}, {2, 0, "xy", 2, 7, 8}, {3, SQL_NULL_DATA, "", 0, 0, SQL_NULL_DATA}};
    stmt->bindType = sizeof(Row);
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, &rows[0].id, 0, &rows[0].idLen), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameLen), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(hstmt, 4, SQL_C_SBIGINT, &rows[0].big, 0, &rows[0].bigLen), SQL_SUCCESS);
    ASSERT_EQ(SetPos(hstmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(Sends(), 1);
    const Sent &s = g_sent[0];
    ASSERT_EQ(s.cols.size(), 3u);
    int32_t id = 0;
    memcpy(&id, s.cols[0].cells[1].bytes.data(), 4);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(s.cols[0].cells[2].indicator, kIndNull);
    EXPECT_EQ(s.cols[1].size, agent ? 6u : 17u);
    EXPECT_EQ(Text(s.cols[1].cells[0]), "abcde");
    EXPECT_EQ(Text(s.cols[1].cells[1]), "xy");
    EXPECT_EQ(s.cols[1].cells[2].indicator, 0);
    EXPECT_EQ(Text(s.cols[1].cells[2]), "");
    EXPECT_EQ(s.cols[2].size, 32u);
    EXPECT_EQ(s.cols[2].cells[0].bytes, "-5" + std::string(29, ' ') + std::string(1, '\0'));
    EXPECT_EQ(s.cols[2].cells[2].indicator, kIndNull);
    TearDown();
  }
  SetUp();
}

// On the generic path a date escape makes a date column only when every
// value present is one; plain text among them keeps the column text and the
// escape goes as ISO text. The agent path sends the text as it stands.
TEST_F(SetPosTest, DateEscapesSettleTheColumnOverAllRows) {
  struct Case {
    bool agent;
    const char *second;
    int32_t type;
  };
  const Case cases[] = {
      {false, "{d '2024-02-03'}", VT_DATE},
      {false, "not a date", VT_CHAR},
      {true, "{d '2024-02-03'}", VT_CHAR},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.second);
    SetUp();
    conn->cn_hasV2DAE = c.agent;
    Open(2, {0, 0});
    char text[2][24] = {"{d '2023-12-31'}", ""};
    strcpy(text[1], c.second);
    SQLLEN len[2] = {SQL_NTS, SQL_NTS};
    ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_CHAR, text, sizeof text[0], len), SQL_SUCCESS);
    ASSERT_EQ(SetPos(hstmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
    ASSERT_EQ(Sends(), 1);
    const RecCol &col = g_sent[0].cols[0];
    EXPECT_EQ(col.type, c.type);
    if (c.type == VT_DATE) {
      SQL_DATE_STRUCT d;
      memcpy(&d, col.cells[0].bytes.data(), sizeof d);
      EXPECT_EQ(d.year, 2023);
      EXPECT_EQ(d.day, 31);
    } else if (!c.agent) {
      EXPECT_EQ(Text(col.cells[0]), "2023-12-31");
      EXPECT_EQ(Text(col.cells[1]), "not a date");
    } else {
      EXPECT_EQ(Text(col.cells[0]), "{d '2023-12-31'}");
    }
    TearDown();
  }
  SetUp();
}

TEST_F(SetPosTest, UpdateWithoutAnyColumnToSendIsRefused) {
  SQLINTEGER id = 1;
  SQLLEN ignore = SQL_COLUMN_IGNORE;
  EXPECT_EQ(SetPos(hstmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "21S02");
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, &id, 0, &ignore), SQL_SUCCESS);
  EXPECT_EQ(SetPos(hstmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "21S02");
  EXPECT_EQ(Sends(), 0);
}

// DELETE of every row with row 3 ignored: the row-mark Dataset marks it -4,
// and its status stays.
TEST_F(SetPosTest, DeleteMarksIgnoredRowsAndKeepsTheirStatus) {
  Open(kRows, {0, 0, 0, 0});
  Ignore({3});
  g_statuses = {SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_DELETED};
  ASSERT_EQ(SetPos(hstmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State();
  ASSERT_EQ(Sends(), 1);
  const Sent &s = g_sent[0];
  EXPECT_EQ(s.op, SQL_DELETE);
  ASSERT_EQ(s.cols.size(), 1u);
  EXPECT_EQ(s.cols[0].type, VT_BIT);
  const int16_t want[kRows] = {kIndNull, kIndNull, kIndRowIgnored, kIndNull};
  for (int r = 0; r < kRows; ++r) EXPECT_EQ(s.cols[0].cells[r].indicator, want[r]) << r;
  EXPECT_EQ(appStatus[0], SQL_ROW_DELETED);
  EXPECT_EQ(appStatus[2], 77);
  EXPECT_EQ(stmt->cursor.rowset->status[2], SQL_ROW_SUCCESS);
  // The deleted row now refuses an update.
  EXPECT_EQ(SetPos(hstmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "HY109");
}

// What the layer below answers decides the result: some rows done is
// success with information while any row acted on came through, and the
// statuses are written; a plain failure writes none.
TEST_F(SetPosTest, OutcomeFollowsTheRowsDone) {
  struct Case {
    int32_t code;
    std::vector<int16_t> statuses;
    SQLRETURN rc;
    const char *state;
    bool written;
  };
  const Case cases[] = {
      {0, {2, 2}, SQL_SUCCESS, "", true},
      {E_01S04, {2, 5}, SQL_SUCCESS_WITH_INFO, "01S01", true},
      {E_01S01, {5, 4}, SQL_SUCCESS_WITH_INFO, "01S01", true},
      {E_01S01, {5, 5}, SQL_ERROR, "01S01", true},
      {E_01S03, {5, 5}, SQL_ERROR, "01001", true},
      {E_S1001, {2, 2}, SQL_ERROR, "HY001", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    SetUp();
    Open(2, {0, 0});
    SQLINTEGER id[2] = {1, 2};
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
    g_answers = {c.code};
    g_statuses = c.statuses;
    EXPECT_EQ(SetPos(hstmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), c.rc);
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(appStatus[0], c.written ? c.statuses[0] : 77);
    EXPECT_EQ(appStatus[1], c.written ? c.statuses[1] : 77);
    TearDown();
  }
  SetUp();
}

TEST_F(SetPosTest, AddActsOnEveryRowWhereverTheCursorIs) {
  Open(3, {});
  stmt->cursor.position = SCS_AFTER_LAST;
  SQLINTEGER id[3] = {30, 31, 32};
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
  g_statuses = {SQL_ROW_ADDED, SQL_ROW_ERROR, SQL_ROW_ADDED};
  g_answers = {E_01S01};
  // The failing row's own message first, then "Error in row".
  fake::PostErrors(stmt->agentCursor, {{fake::OraText("ORA-00001: unique constraint violated", "23000"), 1}});
  EXPECT_EQ(SetPos(hstmt, 0, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "23000");
  SQLCHAR second[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[256];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 2, second, &native, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char *>(second), "01S01");
  ASSERT_EQ(Sends(), 1);
  EXPECT_EQ(g_sent[0].op, SQL_ADD);
  ASSERT_EQ(g_sent[0].cols.size(), 1u);
  EXPECT_EQ(g_sent[0].cols[0].cells.size(), 3u);
  EXPECT_EQ(appStatus[0], SQL_ROW_ADDED);
  EXPECT_EQ(appStatus[1], SQL_ROW_ERROR);
  EXPECT_EQ(appStatus[2], SQL_ROW_ADDED);
  // UPDATE there has no row to act on.
  EXPECT_EQ(SetPos(hstmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "24000");
}

// ---- Data at execution ------------------------------------------------------------------------

// NOTE bound SQL_LEN_DATA_AT_EXEC(0) after SAL and NAME: the token is NOTE's
// buffer, the pieces are joined, and a parameter array set before keeps its
// size.
TEST_F(SetPosTest, DataAtExecutionOnTheAgentPath) {
  stmt->paramsetSize = 5;
  char sal[8] = "100", name[8] = "ann", note[16] = "buffer";
  SQLLEN salLen = SQL_NTS, nameLen = SQL_NTS, noteLen = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_CHAR, sal, sizeof sal, &salLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, &nameLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(hstmt, 4, SQL_C_CHAR, note, sizeof note, &noteLen), SQL_SUCCESS);
  g_answers = {E_IM922};
  g_cells = {{2, 0}};
  g_statuses = {SQL_ROW_UPDATED};
  ASSERT_EQ(SetPos(hstmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << State();
  ASSERT_EQ(Sends(), 1);
  ASSERT_EQ(g_sent[0].cols.size(), 3u);
  EXPECT_EQ(g_sent[0].cols[2].cells[0].indicator, kIndDataAtExec);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA) << State();
  EXPECT_EQ(token, note);
  for (const char *piece : {"one ", "two ", "three"})
    ASSERT_EQ(SQLPutData(hstmt, const_cast<char *>(piece), SQL_NTS), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_SUCCESS) << State();
  ASSERT_EQ(g_pieces.size(), 3u);
  std::string joined;
  for (const Piece &p : g_pieces) {
    EXPECT_EQ(p.type, static_cast<uint32_t>(VT_CHAR));
    joined += p.bytes;
  }
  EXPECT_EQ(joined, "one two three");
  EXPECT_EQ(appStatus[0], SQL_ROW_UPDATED);
  EXPECT_EQ(stmt->paramsetSize, 5u);
  EXPECT_EQ(SQLParamData(hstmt, &token), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
}

// The generic path collects the pieces itself and sends the joined value
// after the last one; with every row addressed, only the rows that ask are
// handed out.
TEST_F(SetPosTest, DataAtExecutionOnTheGenericPath) {
  conn->cn_hasV2DAE = 0;
  stmt->paramsetSize = 5;
  SQLINTEGER id[kRows] = {1, 2, 3, 4};
  char note[kRows][16] = {"a", "b", "c", "d"};
  SQLLEN noteLen[kRows] = {SQL_NTS, SQL_NTS, SQL_DATA_AT_EXEC, SQL_LEN_DATA_AT_EXEC(0)};
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(hstmt, 4, SQL_C_CHAR, note, sizeof note[0], noteLen), SQL_SUCCESS);
  ASSERT_EQ(SetPos(hstmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << State();
  EXPECT_EQ(Sends(), 0);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, note[2]);
  ASSERT_EQ(SQLPutData(hstmt, const_cast<char *>("jo"), 2), SQL_SUCCESS);
  ASSERT_EQ(SQLPutData(hstmt, const_cast<char *>("ined"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, note[3]);
  // No piece for the last one: an empty value.
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_SUCCESS) << State();
  ASSERT_EQ(Sends(), 1);
  const RecCol &col = g_sent[0].cols[1];
  EXPECT_EQ(Text(col.cells[0]), "a");
  EXPECT_EQ(Text(col.cells[2]), "joined");
  EXPECT_EQ(col.cells[3].indicator, 0);
  EXPECT_EQ(Text(col.cells[3]), "");
  EXPECT_EQ(stmt->paramsetSize, 5u);
  EXPECT_EQ(StmtDaeLoad(stmt), 0);
}

// A dialogue belongs to its statement and keeps its path: another
// statement switching the connection to the generic path mid-dialogue
// leaves it with the agent; SQLSetPos during it is a sequence error.
TEST_F(SetPosTest, ADialogueKeepsThePathItBeganOn) {
  char note[16] = "";
  SQLLEN noteLen = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQLBindCol(hstmt, 4, SQL_C_CHAR, note, sizeof note, &noteLen), SQL_SUCCESS);
  g_answers = {E_IM922};
  g_cells = {{0, 0}};
  ASSERT_EQ(SetPos(hstmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << State();
  EXPECT_EQ(SetPos(hstmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
  conn->cn_hasV2DAE = 0;  // as a bulk update of another statement leaves it
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA) << State();
  EXPECT_EQ(token, note);
  ASSERT_EQ(SQLPutData(hstmt, const_cast<char *>("x"), 1), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_SUCCESS) << State();
  ASSERT_EQ(g_pieces.size(), 1u);
  EXPECT_EQ(g_pieces[0].bytes, "x");
  EXPECT_EQ(Sends(), 1);
}

// ---- SQLBulkOperations ---------------------------------------------------------------------------

struct BulkTest : SetPosTest {
  SQLCHAR marks[kRows][16] = {};  // SQL_C_VARBOOKMARK, 16 bytes each
  SQLLEN markLen[kRows] = {};
  SQLUSMALLINT irdStatus[kRows] = {};
  SQLULEN processed = 99;

  void SetUp() override {
    SetPosTest::SetUp();
    stmt->ird->arrayStatus = irdStatus;
    stmt->ird->rowsProcessed = &processed;
    for (auto &s : irdStatus) s = 77;
  }
  void Marks(std::initializer_list<int32_t> m) {
    int i = 0;
    for (int32_t b : m) memcpy(marks[i++], &b, 4);
    stmt->ard->arraySize = m.size();
    ASSERT_EQ(SQLBindCol(hstmt, 0, SQL_C_VARBOOKMARK, marks, sizeof marks[0], markLen), SQL_SUCCESS);
  }
};

TEST_F(BulkTest, RefusedCallsWriteNothing) {
  struct Case {
    const char *what;
    int setup;  // 1 dynamic, 2 mixed, 3 forward-only, 4 bookmarks off, 5 bookmark outside, 0 none
    SQLUSMALLINT op;
    const char *state;
  };
  const Case cases[] = {
      {"dynamic", 1, SQL_DELETE_BY_BOOKMARK, "IM924"},     {"mixed", 2, SQL_DELETE_BY_BOOKMARK, "IM924"},
      {"forward-only", 3, SQL_ADD, "IM924"},                {"bookmarks off", 4, SQL_DELETE_BY_BOOKMARK, "HY092"},
      {"bookmark outside", 5, SQL_UPDATE_BY_BOOKMARK, "IM925"}, {"operation 8", 0, 8, "HY092"},
  };
  SQLINTEGER id[kRows] = {};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
    Marks({1, 2, c.setup == 5 ? kRows + 1 : 3});
    if (c.setup == 1) stmt->cursor.cursorType = SCS_DYNAMIC;
    if (c.setup == 2) stmt->cursor.keysetSize = 10;
    if (c.setup == 3) stmt->cursor.cursorType = SCS_FORWARD_ONLY;
    if (c.setup == 4) stmt->cursor.useBookmarks = 0;
    EXPECT_EQ(BulkOperations(hstmt, c.op), SQL_ERROR);
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(Sends(), 0);
    for (auto s : irdStatus) EXPECT_EQ(s, 77);
    EXPECT_EQ(processed, 99u);
    TearDown();
  }
  SetUp();
  stmt->ard->arraySize = 0;
  EXPECT_EQ(BulkOperations(hstmt, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS);
  EXPECT_EQ(Sends(), 0);
}

// Variable bookmarks are read at the stride the fetch writes them (their
// buffer length), and in the application's order.
TEST_F(BulkTest, DeleteByBookmarkReadsBookmarksAtTheBindingsStride) {
  Marks({3, 1, 2});
  g_statuses = {SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_ERROR};
  g_answers = {E_01S01};
  EXPECT_EQ(BulkOperations(hstmt, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS_WITH_INFO);
  ASSERT_EQ(Sends(), 1);
  EXPECT_EQ(g_sent[0].slot, SLOT_DRV_BulkOperations);
  EXPECT_EQ(g_sent[0].op, SQL_DELETE_BY_BOOKMARK);
  EXPECT_EQ(g_sent[0].bookmarks, (std::vector<int32_t>{3, 1, 2}));
  EXPECT_FALSE(g_sent[0].hasValues);
  EXPECT_EQ(irdStatus[0], SQL_ROW_DELETED);
  EXPECT_EQ(irdStatus[2], SQL_ROW_ERROR);
  EXPECT_EQ(irdStatus[3], 77);
  EXPECT_EQ(processed, 3u);
  EXPECT_EQ(stmt->cursor.firstRow, -1);
}

TEST_F(BulkTest, UpdateByBookmarkSendsTheBoundRows) {
  SQLINTEGER id[kRows] = {10, 20, 30};
  char name[kRows][8] = {"x", "yy", "zzz"};
  SQLLEN nameLen[kRows] = {SQL_NTS, SQL_NTS, SQL_NTS};
  ASSERT_EQ(SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name[0], nameLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
  Marks({2, 4, 1});
  ASSERT_EQ(BulkOperations(hstmt, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS) << State();
  ASSERT_EQ(Sends(), 1);
  const Sent &s = g_sent[0];
  EXPECT_EQ(s.bookmarks, (std::vector<int32_t>{2, 4, 1}));
  EXPECT_EQ(s.columns, (std::vector<uint16_t>{2, 1}));
  ASSERT_EQ(s.cols.size(), 2u);
  ASSERT_EQ(s.cols[0].cells.size(), 3u);
  EXPECT_EQ(Text(s.cols[0].cells[2]), "zzz");
  int32_t v = 0;
  memcpy(&v, s.cols[1].cells[1].bytes.data(), 4);
  EXPECT_EQ(v, 20);
  EXPECT_EQ(processed, 3u);
}

// A bulk update that needs data at execution runs on the generic path; the
// connection's later SetPos dialogues follow it, and the update goes down
// after the last piece.
TEST_F(BulkTest, UpdateByBookmarkCollectsDataAtExecution) {
  char note[kRows][16] = {"keep", "", ""};
  SQLLEN noteLen[kRows] = {SQL_NTS, SQL_LEN_DATA_AT_EXEC(0), SQL_NTS};
  ASSERT_EQ(SQLBindCol(hstmt, 4, SQL_C_CHAR, note, sizeof note[0], noteLen), SQL_SUCCESS);
  Marks({1, 2, 3});
  ASSERT_EQ(BulkOperations(hstmt, SQL_UPDATE_BY_BOOKMARK), SQL_NEED_DATA) << State();
  EXPECT_EQ(conn->cn_hasV2DAE, 0);
  EXPECT_EQ(Sends(), 0);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, note[1]);
  ASSERT_EQ(SQLPutData(hstmt, const_cast<char *>("late"), 4), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(hstmt, &token), SQL_SUCCESS) << State();
  ASSERT_EQ(Sends(), 1);
  EXPECT_EQ(g_sent[0].op, SQL_UPDATE_BY_BOOKMARK);
  EXPECT_EQ(Text(g_sent[0].cols[0].cells[1]), "late");
  EXPECT_EQ(Text(g_sent[0].cols[0].cells[0]), "keep");
}

// FETCH_BY_BOOKMARK: the rowset handed back becomes the current one and
// fills the bound arrays; a deleted row keeps its buffers.
TEST_F(BulkTest, FetchByBookmarkFillsTheBoundArrays) {
  SQLINTEGER id[kRows] = {-1, -1, -1, -1};
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
  Marks({2, 4, 3});
  ASSERT_EQ(RowsetNew(&g_fetched, 3), 0);
  ColDesc d[1] = {};
  d[0].valueType = VT_SLONG;
  d[0].octetLength = 4;
  ASSERT_EQ(DatasetFromColDescs(d, 1, 3, g_fetched->rows), 0);
  g_fetched->rows->rows = 3;
  const int32_t vals[3] = {20, 0, 60};
  for (int r = 0; r < 3; ++r) {
    g_fetched->rows->cols[0].indicators[r] = 0;
    memcpy(g_fetched->rows->cols[0].values + 4 * r, &vals[r], 4);
  }
  g_fetched->status[0] = SQL_ROW_SUCCESS;
  g_fetched->status[1] = SQL_ROW_DELETED;
  g_fetched->status[2] = SQL_ROW_SUCCESS;
  ASSERT_EQ(BulkOperations(hstmt, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS) << State();
  EXPECT_EQ(g_sent[0].bookmarks, (std::vector<int32_t>{2, 4, 3}));
  EXPECT_EQ(id[0], 20);
  EXPECT_EQ(id[1], -1);
  EXPECT_EQ(id[2], 60);
  EXPECT_EQ(irdStatus[0], SQL_ROW_SUCCESS);
  EXPECT_EQ(irdStatus[1], SQL_ROW_DELETED);
  EXPECT_EQ(irdStatus[2], SQL_ROW_SUCCESS);
  EXPECT_EQ(stmt->cursor.firstRow, -1);
}

TEST_F(BulkTest, AddGoesThroughSetPosWithoutBookmarks) {
  stmt->cursor.useBookmarks = 0;
  SQLINTEGER id[kRows] = {7, 8, 9, 10};
  ASSERT_EQ(SQLBindCol(hstmt, 1, SQL_C_LONG, id, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(BulkOperations(hstmt, SQL_ADD), SQL_SUCCESS) << State();
  ASSERT_EQ(Sends(), 1);
  EXPECT_EQ(g_sent[0].slot, SLOT_DRV_SetPos);
  EXPECT_EQ(g_sent[0].op, SQL_ADD);
  EXPECT_EQ(g_sent[0].row, SCS_ALL_ROWS);
  EXPECT_EQ(processed, static_cast<SQLULEN>(kRows));
}

}  // namespace
