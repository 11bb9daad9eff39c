// SQLSetPos and SQLBulkOperations as applications use them: through
// unixODBC with both drivers on the real agent over a database of the OCI
// stand-in, a keyset-driven cursor of rowset 10 over EMP (25 rows), a
// second connection reading the whole table before and after each case
// (and changing rows under the cursor where a case says so): exactly the
// intended rows change.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dm_session.h"
#include "harness.h"

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

using Table = std::vector<std::vector<std::string>>;

// EMP: ID 1..25, NAME 'e<ID>', SAL ID * 100, NOTE 'n<ID>' but NULL for every
// fifth row.
std::string MakeDatabase() {
  std::vector<std::string> sql = {"create table d10 (n number(2))"};
  for (int i = 0; i < 10; ++i) sql.push_back("insert into d10 values (" + std::to_string(i) + ")");
  sql.push_back("create table emp (id number(10) not null primary key, name varchar2(30), sal number(10,2), "
                "note varchar2(200))");
  sql.push_back("insert into emp select a.n*10+b.n+1, 'e' || to_char(a.n*10+b.n+1), (a.n*10+b.n+1)*100, "
                "case mod(a.n*10+b.n+1, 5) when 0 then null else 'n' || to_char(a.n*10+b.n+1) end "
                "from d10 a, d10 b where a.n*10+b.n < 25");
  std::string d = harness::AdminDatabase("setpos_db", sql);
  if (d.empty()) ADD_FAILURE() << "the database could not be made";
  return d;
}

struct Rows {
  SQLINTEGER id[10];
  SQLLEN idLen[10];
  char name[10][31];
  SQLLEN nameLen[10];
  double sal[10];
  SQLLEN salLen[10];
  char note[10][201];
  SQLLEN noteLen[10];
  SQLUSMALLINT status[10];
  SQLUSMALLINT ops[10];
  SQLULEN fetched = 0;
};

struct DmSetPos : ::testing::TestWithParam<const char *>, harness::DmSession {
  std::string db;
  harness::DmSession other;  // the other user, autocommit on
  Rows rs{};
  Table before;

  void SetUp() override {
    db = MakeDatabase();
    harness::DmInit();
    Open(ConnStr());
    other.Open(ConnStr());
    before = Read();
  }
  std::string ConnStr() const { return std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + db; }

  // The keyset-driven cursor over EMP, rowset of the given size, its columns
  // bound column-wise (SAL before NAME when asked), fetched at row first.
  void OpenCursor(SQLULEN rowset, SQLLEN first = 1, SQLULEN concurrency = SQL_CONCUR_LOCK, bool salFirst = false) {
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, P(static_cast<intptr_t>(concurrency)), 0), SQL_SUCCESS)
        << State();
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(SQL_CURSOR_KEYSET_DRIVEN), 0), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(static_cast<intptr_t>(rowset)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, rs.status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rs.fetched, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID, NAME, SAL, NOTE FROM EMP ORDER BY ID"), SQL_NTS), SQL_SUCCESS)
        << State();
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, rs.id, 0, rs.idLen), SQL_SUCCESS);
    // SAL bound before NAME when asked: the binding list follows the calls.
    const SQLUSMALLINT order[2] = {static_cast<SQLUSMALLINT>(salFirst ? 3 : 2),
                                   static_cast<SQLUSMALLINT>(salFirst ? 2 : 3)};
    for (SQLUSMALLINT c : order) {
      const SQLRETURN rc = c == 2 ? SQLBindCol(stmt, 2, SQL_C_CHAR, rs.name, 31, rs.nameLen)
                                  : SQLBindCol(stmt, 3, SQL_C_DOUBLE, rs.sal, 0, rs.salLen);
      ASSERT_EQ(rc, SQL_SUCCESS);
    }
    ASSERT_EQ(SQLBindCol(stmt, 4, SQL_C_CHAR, rs.note, 201, rs.noteLen), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, first), SQL_SUCCESS) << State();
  }

  void Other(const std::string &sql) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other.dbc, &h), SQL_SUCCESS);
    SQLRETURN rc = SQLExecDirect(h, Text(sql.c_str()), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }

  // The whole table as the other user sees it, values as text.
  Table Read() {
    Table t;
    SQLHSTMT h = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other.dbc, &h), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(h, Text("SELECT ID, NAME, SAL, NOTE FROM EMP ORDER BY ID"), SQL_NTS), SQL_SUCCESS);
    while (SQL_SUCCEEDED(SQLFetch(h))) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= 4; ++c) {
        char buf[256] = "";
        SQLLEN len = 0;
        SQLGetData(h, c, SQL_C_CHAR, buf, sizeof buf, &len);
        row.push_back(len == SQL_NULL_DATA ? "<NULL>" : buf);
      }
      t.push_back(row);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return t;
  }

  // The table as it stood with these rows replaced ({} removes; an ID
  // above 25 is added).
  Table Changed(const std::vector<std::pair<int, std::vector<std::string>>> &changes) const {
    Table out;
    for (const auto &row : before) {
      bool replaced = false;
      for (const auto &[id, values] : changes)
        if (std::to_string(id) == row[0]) {
          replaced = true;
          if (!values.empty()) out.push_back(values);
        }
      if (!replaced) out.push_back(row);
    }
    for (const auto &[id, values] : changes)
      if (id > 25) out.push_back(values);
    return out;
  }
  static std::vector<std::string> Emp(int id, const std::string &name, const std::string &sal) {
    return {std::to_string(id), name, sal, id % 5 ? "n" + std::to_string(id) : "<NULL>"};
  }

  SQLRETURN SetPos(SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock = SQL_LOCK_NO_CHANGE) {
    return SQLSetPos(stmt, row, op, lock);
  }
  std::string StateAt(SQLSMALLINT record) const {
    auto d = harness::DmDiags(SQL_HANDLE_STMT, stmt);
    return static_cast<size_t>(record) <= d.size() ? d[static_cast<size_t>(record - 1)].state : "";
  }
  bool HasState(const char *state) const {
    for (const auto &d : harness::DmDiags(SQL_HANDLE_STMT, stmt))
      if (d.state == state) return true;
    return false;
  }
  void Name(int r, const char *v) {
    strcpy(rs.name[r], v);
    rs.nameLen[r] = SQL_NTS;
  }
};

TEST_P(DmSetPos, FunctionsAndBitsAreClaimed) {
  for (SQLUSMALLINT f : {SQL_API_SQLSETPOS, SQL_API_SQLBULKOPERATIONS}) {
    SQLUSMALLINT yes = SQL_FALSE;
    ASSERT_EQ(SQLGetFunctions(dbc, f, &yes), SQL_SUCCESS);
    EXPECT_EQ(yes, SQL_TRUE) << f;
  }
  SQLUINTEGER ops = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_POS_OPERATIONS, &ops, sizeof ops, nullptr), SQL_SUCCESS);
  EXPECT_EQ(ops, 0x1Fu);
  SQLUINTEGER ka1 = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_KEYSET_CURSOR_ATTRIBUTES1, &ka1, sizeof ka1, nullptr), SQL_SUCCESS);
  for (SQLUINTEGER bit : {SQL_CA1_POS_POSITION, SQL_CA1_POS_UPDATE, SQL_CA1_POS_DELETE, SQL_CA1_POS_REFRESH,
                          SQL_CA1_BULK_ADD, SQL_CA1_BULK_UPDATE_BY_BOOKMARK, SQL_CA1_BULK_DELETE_BY_BOOKMARK,
                          SQL_CA1_BULK_FETCH_BY_BOOKMARK})
    EXPECT_TRUE(ka1 & bit) << std::hex << bit;
}

// Values concurrency takes no row locks: the other user may change rows.
TEST_P(DmSetPos, PositionAndRefresh) {
  OpenCursor(10, 1, SQL_CONCUR_VALUES);
  ASSERT_EQ(SetPos(3, SQL_POSITION), SQL_SUCCESS) << State();
  char name[31] = "";
  SQLLEN len = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len))) << State();
  EXPECT_STREQ(name, "e3");
  Other("UPDATE EMP SET NAME = 'changed', SAL = 4.5 WHERE ID = 4");
  Other("DELETE FROM EMP WHERE ID = 6");
  Name(4, "untouched");
  ASSERT_EQ(SetPos(4, SQL_REFRESH), SQL_SUCCESS) << State();
  EXPECT_STREQ(rs.name[3], "changed");
  EXPECT_EQ(rs.sal[3], 4.5);
  EXPECT_STREQ(rs.name[4], "untouched");
  EXPECT_EQ(rs.status[5], SQL_ROW_SUCCESS);
  ASSERT_EQ(SetPos(0, SQL_REFRESH), SQL_SUCCESS) << State();
  EXPECT_EQ(rs.status[5], SQL_ROW_DELETED);
  // A deleted row can be positioned on, not changed.
  EXPECT_EQ(SetPos(6, SQL_POSITION), SQL_SUCCESS) << State();
  EXPECT_EQ(SetPos(6, SQL_UPDATE), SQL_ERROR);
  EXPECT_EQ(State(), "HY109");
}

TEST_P(DmSetPos, UpdateOneRowAndEveryRowOfAPartialRowset) {
  OpenCursor(10);
  Name(1, "two");
  rs.sal[1] = 2.25;
  ASSERT_EQ(SetPos(2, SQL_UPDATE), SQL_SUCCESS) << State();
  EXPECT_EQ(rs.status[1], SQL_ROW_UPDATED);
  SQLLEN count = -1;
  ASSERT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Read(), Changed({{2, Emp(2, "two", "2.25")}}));

  before = Read();
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 21), SQL_SUCCESS) << State();
  for (int r = 0; r < 5; ++r) rs.sal[r] = 7;
  ASSERT_EQ(SetPos(0, SQL_UPDATE), SQL_SUCCESS) << State();
  std::vector<std::pair<int, std::vector<std::string>>> want;
  for (int r = 0; r < 10; ++r) EXPECT_EQ(rs.status[r], r < 5 ? SQL_ROW_UPDATED : SQL_ROW_NOROW) << r;
  for (int id = 21; id <= 25; ++id) want.push_back({id, Emp(id, "e" + std::to_string(id), "7")});
  EXPECT_EQ(Read(), Changed(want));
}

TEST_P(DmSetPos, DeleteEveryRowButAnIgnoredOne) {
  OpenCursor(10);
  rs.ops[2] = SQL_ROW_IGNORE;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, rs.ops, 0), SQL_SUCCESS);
  ASSERT_EQ(SetPos(0, SQL_DELETE), SQL_SUCCESS) << State();
  std::vector<std::pair<int, std::vector<std::string>>> want;
  for (int id = 1; id <= 10; ++id) {
    EXPECT_EQ(rs.status[id - 1], id == 3 ? SQL_ROW_SUCCESS : SQL_ROW_DELETED) << id;
    if (id != 3) want.push_back({id, {}});
  }
  EXPECT_EQ(Read(), Changed(want));
  before = Read();
  EXPECT_EQ(SetPos(5, SQL_UPDATE), SQL_ERROR);
  EXPECT_EQ(State(), "HY109");
  EXPECT_EQ(Read(), before);
}

TEST_P(DmSetPos, AddReportsTheRowThatFails) {
  OpenCursor(3);
  const int ids[3] = {30, 2, 31};
  for (int r = 0; r < 3; ++r) {
    rs.id[r] = ids[r];
    rs.idLen[r] = 0;
    Name(r, "added");
    rs.sal[r] = 1;
    rs.noteLen[r] = SQL_NULL_DATA;
  }
  EXPECT_EQ(SetPos(0, SQL_ADD), SQL_SUCCESS_WITH_INFO);
  EXPECT_TRUE(HasState("01S01")) << State();
  EXPECT_EQ(rs.status[0], SQL_ROW_ADDED);
  EXPECT_EQ(rs.status[1], SQL_ROW_ERROR);
  EXPECT_EQ(rs.status[2], SQL_ROW_ADDED);
  EXPECT_EQ(Read(), Changed({{30, {"30", "added", "1", "<NULL>"}}, {31, {"31", "added", "1", "<NULL>"}}}));
}

TEST_P(DmSetPos, IgnoredColumnInOneRowAndColumnsBoundOutOfOrder) {
  OpenCursor(10, 1, SQL_CONCUR_LOCK, true);
  for (int r = 0; r < 10; ++r) {
    rs.sal[r] = 1000 + r;
    Name(r, ("x" + std::to_string(r)).c_str());
  }
  rs.nameLen[2] = SQL_COLUMN_IGNORE;
  ASSERT_EQ(SetPos(0, SQL_UPDATE), SQL_SUCCESS) << State();
  std::vector<std::pair<int, std::vector<std::string>>> want;
  for (int r = 0; r < 10; ++r)
    want.push_back({r + 1, Emp(r + 1, r == 2 ? "e3" : "x" + std::to_string(r), std::to_string(1000 + r))});
  EXPECT_EQ(Read(), Changed(want));
}

TEST_P(DmSetPos, RefusedCallsWriteNothing) {
  OpenCursor(10);
  Name(0, "never");
  struct Case {
    SQLSETPOSIROW row;
    SQLUSMALLINT op, lock;
    const char *state;
  } cases[] = {
      {11, SQL_UPDATE, SQL_LOCK_NO_CHANGE, "HY107"},
      {65537, SQL_UPDATE, SQL_LOCK_NO_CHANGE, "HY107"},
      {1, SQL_UPDATE, SQL_LOCK_EXCLUSIVE, "HYC00"},
      {1, SQL_UPDATE, SQL_LOCK_UNLOCK, "HYC00"},
      {1, 5, SQL_LOCK_NO_CHANGE, "HY092"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(SetPos(c.row, c.op, c.lock), SQL_ERROR) << c.row << "/" << c.op;
    EXPECT_EQ(State(), c.state) << c.row << "/" << c.op;
  }
  EXPECT_EQ(Read(), before);
}

TEST_P(DmSetPos, ValuesConcurrencyRefusesRowsChangedSinceTheFetch) {
  OpenCursor(10, 1, SQL_CONCUR_VALUES);
  Other("UPDATE EMP SET SAL = 333 WHERE ID = 3");
  before = Read();
  Name(2, "three");
  EXPECT_EQ(SetPos(3, SQL_UPDATE), SQL_ERROR);
  EXPECT_EQ(State(), "01001");
  EXPECT_EQ(rs.status[2], SQL_ROW_ERROR);
  EXPECT_EQ(Read(), before);
  for (int r = 0; r < 10; ++r) Name(r, ("v" + std::to_string(r + 1)).c_str());
  EXPECT_EQ(SetPos(0, SQL_UPDATE), SQL_SUCCESS_WITH_INFO);
  EXPECT_TRUE(HasState("01S01")) << State();
  std::vector<std::pair<int, std::vector<std::string>>> want;
  for (int id = 1; id <= 10; ++id) {
    EXPECT_EQ(rs.status[id - 1], id == 3 ? SQL_ROW_ERROR : SQL_ROW_UPDATED) << id;
    if (id != 3) want.push_back({id, Emp(id, "v" + std::to_string(id), std::to_string(id * 100))});
  }
  EXPECT_EQ(Read(), Changed(want));
}

// Values concurrency compares what the cursor last knew of a row: after its
// own update that is the updated row, so a second update of it without a
// fetch between is not taken for someone else's change.
TEST_P(DmSetPos, ValuesConcurrencyKnowsItsOwnUpdate) {
  OpenCursor(10, 1, SQL_CONCUR_VALUES);
  Name(1, "first");
  ASSERT_EQ(SetPos(2, SQL_UPDATE), SQL_SUCCESS) << State();
  Name(1, "second");
  rs.sal[1] = 222;
  EXPECT_EQ(SetPos(2, SQL_UPDATE), SQL_SUCCESS) << State();
  EXPECT_EQ(rs.status[1], SQL_ROW_UPDATED);
  EXPECT_EQ(Read(), Changed({{2, Emp(2, "second", "222")}}));
}

// Lock concurrency, autocommit off: the rows fetched stay locked against
// the other user until the transaction ends; the positioned update is ours.
TEST_P(DmSetPos, LockConcurrencyHoldsTheRowsUntilTheTransactionEnds) {
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
  OpenCursor(10, 1, SQL_CONCUR_LOCK);
  Name(1, "mine");
  ASSERT_EQ(SetPos(2, SQL_UPDATE), SQL_SUCCESS) << State();
  SQLHSTMT h = SQL_NULL_HSTMT;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other.dbc, &h), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(h, Text("UPDATE EMP SET NAME = 'theirs' WHERE ID = 2"), SQL_NTS), SQL_ERROR);
  EXPECT_NE(harness::DmDiagText(SQL_HANDLE_STMT, h).find("ORA-00054"), std::string::npos);
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(Read(), Changed({{2, Emp(2, "mine", "200")}}));
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("UPDATE EMP SET NAME = 'theirs' WHERE ID = 2"), SQL_NTS)));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ(Read(), Changed({{2, Emp(2, "theirs", "200")}}));
}

TEST_P(DmSetPos, DataAtExecutionValueOfAnUpdate) {
  OpenCursor(10);
  SQLLEN dae = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindCol(stmt, 4, SQL_C_CHAR, rs.note, 201, rs.noteLen), SQL_SUCCESS);
  rs.noteLen[0] = dae;
  rs.sal[0] = 9;
  ASSERT_EQ(SetPos(1, SQL_UPDATE), SQL_NEED_DATA) << State();
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << State();
  EXPECT_EQ(token, static_cast<SQLPOINTER>(rs.note[0]));
  for (const char *piece : {"one ", "two ", "three"})
    ASSERT_EQ(SQLPutData(stmt, Text(piece), SQL_NTS), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << State();
  EXPECT_EQ(Read(), Changed({{1, {"1", "e1", "9", "one two three"}}}));
}

TEST_P(DmSetPos, ParameterArraySurvivesASetPos) {
  OpenCursor(10);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, P(5), 0), SQL_SUCCESS);
  rs.sal[0] = 5;
  ASSERT_EQ(SetPos(1, SQL_UPDATE), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  SQLULEN size = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &size, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(size, 5u);
  // ... and a parameter array run next on the statement inserts every row.
  ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, P(SQL_CONCUR_READ_ONLY), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(SQL_CURSOR_FORWARD_ONLY), 0), SQL_SUCCESS);
  SQLINTEGER ids[5] = {31, 32, 33, 34, 35};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, Text("INSERT INTO EMP (ID, NAME, SAL) VALUES (?, 'p', 1)"), SQL_NTS), SQL_SUCCESS)
      << State();
  EXPECT_EQ(processed, 5u);
  std::vector<std::pair<int, std::vector<std::string>>> want = {{1, Emp(1, "e1", "5")}};
  for (int id : ids) want.push_back({id, {std::to_string(id), "p", "1", "<NULL>"}});
  EXPECT_EQ(Read(), Changed(want));
}

TEST_P(DmSetPos, BulkOperationsByBookmark) {
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, P(SQL_UB_VARIABLE), 0), SQL_SUCCESS);
  OpenCursor(10);
  // Bookmarks bound column-wise as 16-byte variable bookmarks.
  unsigned char marks[10][16] = {};
  SQLLEN markLen[10] = {};
  ASSERT_EQ(SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, marks, 16, markLen), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS) << State();
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &processed, 0), SQL_SUCCESS);
  // Rows 3, 5 and 9 by their bookmarks.
  const int pick[3] = {3, 5, 9};
  unsigned char chosen[3][16] = {};
  for (int i = 0; i < 3; ++i) memcpy(chosen[i], marks[pick[i] - 1], 16);
  memcpy(marks, chosen, sizeof chosen);
  for (int i = 0; i < 3; ++i) {
    rs.id[i] = pick[i];
    rs.sal[i] = 50 + i;
    Name(i, "b");
    rs.noteLen[i] = SQL_COLUMN_IGNORE;
  }
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(3), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS) << State();
  EXPECT_EQ(processed, 3u);
  EXPECT_EQ(Read(), Changed({{3, Emp(3, "b", "50")}, {5, Emp(5, "b", "51")}, {9, Emp(9, "b", "52")}}));
  before = Read();
  ASSERT_EQ(SQLBulkOperations(stmt, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS) << State();
  EXPECT_EQ(Read(), Changed({{3, {}}, {5, {}}, {9, {}}}));
  before = Read();
  EXPECT_EQ(SQLBulkOperations(stmt, 8), SQL_ERROR);
  EXPECT_EQ(State(), "HY092");
  EXPECT_EQ(Read(), before);
}

// Bookmarks bound as SQL_C_BOOKMARK: the rows of 2, 4 and 6 after row 4
// went, in the bookmarks' order either way; an update by bookmark whose
// value comes at execution, after which SetPos collects its own pieces too.
TEST_P(DmSetPos, FetchAndDataAtExecutionByBookmark) {
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, P(SQL_UB_VARIABLE), 0), SQL_SUCCESS);
  OpenCursor(10, 1, SQL_CONCUR_VALUES);
  BOOKMARK marks[10] = {};
  ASSERT_EQ(SQLBindCol(stmt, 0, SQL_C_BOOKMARK, marks, 0, nullptr), SQL_SUCCESS);
  const SQLRETURN fetched = SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 1);
  ASSERT_EQ(fetched, SQL_SUCCESS) << State();
  const BOOKMARK m2 = marks[1], m4 = marks[3], m6 = marks[5];
  Other("DELETE FROM EMP WHERE ID = 4");
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(3), 0), SQL_SUCCESS);
  for (const auto &order : {std::vector<BOOKMARK>{m2, m4, m6}, std::vector<BOOKMARK>{m6, m4, m2}}) {
    for (int i = 0; i < 3; ++i) marks[i] = order[static_cast<size_t>(i)];
    ASSERT_EQ(SQLBulkOperations(stmt, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS) << State();
    const bool up = order[0] == m2;
    EXPECT_EQ(rs.id[0], up ? 2 : 6);
    EXPECT_EQ(rs.status[1], SQL_ROW_DELETED);
    EXPECT_EQ(rs.id[2], up ? 6 : 2);
  }
  before = Read();
  // Update by bookmark of row 2 (first of the arrays) with NOTE at execution.
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(1), 0), SQL_SUCCESS);
  marks[0] = m2;
  rs.id[0] = 2;
  Name(0, "e2");
  rs.sal[0] = 200;
  rs.noteLen[0] = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK), SQL_NEED_DATA) << State();
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << State();
  EXPECT_EQ(token, static_cast<SQLPOINTER>(rs.note[0]));
  ASSERT_EQ(SQLPutData(stmt, Text("by "), SQL_NTS), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLPutData(stmt, Text("bookmark"), SQL_NTS), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << State();
  EXPECT_EQ(Read(), Changed({{2, {"2", "e2", "200", "by bookmark"}}}));
  // SetPos after that: the generic path collects NOTE's pieces itself.
  before = Read();
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS) << State();
  rs.noteLen[0] = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SetPos(1, SQL_UPDATE), SQL_NEED_DATA) << State();
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA) << State();
  EXPECT_EQ(token, static_cast<SQLPOINTER>(rs.note[0]));
  ASSERT_EQ(SQLPutData(stmt, Text("generic"), SQL_NTS), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << State();
  EXPECT_EQ(Read(), Changed({{1, {"1", "e1", "100", "generic"}}}));
}

TEST_P(DmSetPos, BulkAddWithoutBookmarks) {
  OpenCursor(3);
  for (int r = 0; r < 3; ++r) {
    rs.id[r] = 40 + r;
    rs.idLen[r] = 0;
    Name(r, "new");
    rs.sal[r] = r;
    rs.noteLen[r] = SQL_NULL_DATA;
  }
  ASSERT_EQ(SQLBulkOperations(stmt, SQL_ADD), SQL_SUCCESS) << State();
  EXPECT_EQ(Read(), Changed({{40, {"40", "new", "0", "<NULL>"}},
                             {41, {"41", "new", "1", "<NULL>"}},
                             {42, {"42", "new", "2", "<NULL>"}}}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmSetPos, ::testing::Values("kvd_w", "kvd_a"),
                         [](const auto &info) { return std::string(info.param); });

}  // namespace
