// Static cursors as applications use them: through unixODBC with both
// drivers on the real agent over a database of the OCI stand-in. A result
// of 12,000 rows (past the in-memory limit, so it lives in the cache files)
// scrolled in every direction with SQLFetchScroll and SQLExtendedFetch,
// rowsets bound column-wise and row-wise, bookmarks, row numbers and counts,
// catalog results, ODBC 2 SQLFetch, and the cache files' privacy.
#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dm_session.h"
#include "harness.h"

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

constexpr int kRows = 12000;

// NUMS(ID, NAME, S) holds 1..12000, "n<id>" and 'A' for every third row.
const std::string &Database() {
  static const std::string dir = [] {
    std::vector<std::string> sql = {"create table d10 (n number(2))"};
    for (int i = 0; i < 10; ++i) sql.push_back("insert into d10 values (" + std::to_string(i) + ")");
    sql.push_back("create table nums (id number(10), name varchar2(30), s varchar2(1))");
    const std::string n = "a.n*10000+b.n*1000+c.n*100+d.n*10+e.n";
    sql.push_back("insert into nums select " + n + "+1, 'n' || to_char(" + n + "+1), case when mod(" + n +
                  "+1, 3) = 0 then 'A' else 'B' end from d10 a, d10 b, d10 c, d10 d, d10 e where " + n + " < " +
                  std::to_string(kRows));
    std::string d = harness::AdminDatabase("static_db", sql);
    if (d.empty()) ADD_FAILURE() << "the static cursor database could not be made";
    return d;
  }();
  return dir;
}

std::string Name(int id) { return "n" + std::to_string(id); }

struct DmStatic : ::testing::TestWithParam<const char *>, harness::DmSession {
  void Connect(SQLINTEGER version = SQL_OV_ODBC3) {
    Close();
    harness::DmInit();
    Open(std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + Database(), version);
  }
  void Static() {
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(SQL_CURSOR_STATIC), 0), SQL_SUCCESS) << State();
  }
  void Run(const char *sql) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql), SQL_NTS))) << sql << ": " << State();
  }
  SQLLEN RowCount() {
    SQLLEN n = -7;
    EXPECT_EQ(SQLRowCount(stmt, &n), SQL_SUCCESS) << State();
    return n;
  }
  SQLULEN RowNumber() {
    SQLULEN n = 0;
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr), SQL_SUCCESS) << State();
    return n;
  }
};

// One scroll step and the rowset it must bring: its first id (rows
// consecutive from there), the number of rows, or no data.
struct Step {
  SQLSMALLINT orientation;
  SQLLEN offset;
  int firstId;  // 0: SQL_NO_DATA
  SQLULEN rows;
};

const char *Orient(SQLSMALLINT o) {
  static const char *names[] = {"?", "NEXT", "FIRST", "LAST", "PRIOR", "ABSOLUTE", "RELATIVE", "?", "BOOKMARK"};
  return o >= 0 && o <= 8 ? names[o] : "?";
}

// The walk the application makes over 12,000 rows with a rowset of 100.
const std::vector<Step> &Walk100() {
  static const std::vector<Step> steps = {
      {SQL_FETCH_FIRST, 0, 1, 100},
      {SQL_FETCH_NEXT, 0, 101, 100},
      {SQL_FETCH_LAST, 0, 11901, 100},
      {SQL_FETCH_PRIOR, 0, 11801, 100},
      {SQL_FETCH_ABSOLUTE, 5000, 5000, 100},
      {SQL_FETCH_ABSOLUTE, -150, 11851, 100},
      {SQL_FETCH_RELATIVE, -50, 11801, 100},
      {SQL_FETCH_RELATIVE, 0, 11801, 100},
      {SQL_FETCH_ABSOLUTE, 12001, 0, 0},
      {SQL_FETCH_PRIOR, 0, 11901, 100},
      {SQL_FETCH_ABSOLUTE, -12001, 0, 0},
      {SQL_FETCH_NEXT, 0, 1, 100},
      {SQL_FETCH_RELATIVE, 2147483647, 0, 0},
      {SQL_FETCH_ABSOLUTE, 4999, 4999, 100},
      {SQL_FETCH_RELATIVE, 6950, 11949, 52},
      {SQL_FETCH_NEXT, 0, 0, 0},
  };
  return steps;
}

// Column-wise and row-wise binding of (id, name) for rowsets of up to 100.
struct Buffers {
  SQLINTEGER ids[100];
  SQLLEN idInd[100];
  char names[100][16];
  SQLLEN nameLen[100];
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    char name[16];
    SQLLEN nameLen;
  } rows[100];
  SQLUSMALLINT status[100];
  SQLULEN fetched = 0;
  bool rowWise = false;
  int Id(int i) const { return rowWise ? rows[i].id : ids[i]; }
  std::string NameOf(int i) const { return rowWise ? rows[i].name : names[i]; }
};

void Bind(SQLHSTMT stmt, Buffers &b, SQLULEN size, bool rowWise) {
  b.rowWise = rowWise;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(static_cast<intptr_t>(size)), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, b.status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &b.fetched, 0), SQL_SUCCESS);
  if (rowWise) {
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, P(sizeof(Buffers::Row)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &b.rows[0].id, 0, &b.rows[0].idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, b.rows[0].name, 16, &b.rows[0].nameLen), SQL_SUCCESS);
  } else {
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, P(SQL_BIND_BY_COLUMN), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, b.ids, 0, b.idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, b.names, 16, b.nameLen), SQL_SUCCESS);
  }
}

// The rowset holds `rows` consecutive rows from firstId, the rest NOROW.
void ExpectRowset(const Buffers &b, int firstId, SQLULEN rows, SQLULEN size) {
  ASSERT_EQ(b.fetched, rows);
  for (SQLULEN i = 0; i < size; ++i) {
    if (i < rows) {
      ASSERT_EQ(b.status[i], SQL_ROW_SUCCESS) << i;
      ASSERT_EQ(b.Id(static_cast<int>(i)), firstId + static_cast<int>(i)) << i;
      ASSERT_EQ(b.NameOf(static_cast<int>(i)), Name(firstId + static_cast<int>(i))) << i;
    } else {
      ASSERT_EQ(b.status[i], SQL_ROW_NOROW) << i;
    }
  }
}

TEST_P(DmStatic, ScrollsExactlyWithSQLFetchScroll) {
  for (bool rowWise : {false, true}) {
    SCOPED_TRACE(rowWise ? "row-wise" : "column-wise");
    Connect();
    Static();
    Buffers b;
    Bind(stmt, b, 100, rowWise);
    Run("select id, name from nums order by id");
    EXPECT_EQ(RowCount(), kRows);
    SQLLEN diagCount = 0;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_CURSOR_ROW_COUNT, &diagCount, 0, nullptr),
              SQL_SUCCESS);
    EXPECT_EQ(diagCount, kRows);
    for (const Step &s : Walk100()) {
      SCOPED_TRACE(std::string(Orient(s.orientation)) + " " + std::to_string(s.offset));
      const SQLRETURN rc = SQLFetchScroll(stmt, s.orientation, s.offset);
      if (s.firstId == 0) {
        ASSERT_EQ(rc, SQL_NO_DATA) << State();
        continue;
      }
      ASSERT_EQ(rc, SQL_SUCCESS) << State();
      ExpectRowset(b, s.firstId, s.rows, 100);
      EXPECT_EQ(RowNumber(), static_cast<SQLULEN>(s.firstId));
    }
    // A rowset of 7 near the end: two rows, then NOROW.
    Bind(stmt, b, 7, rowWise);
    ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 11999), SQL_SUCCESS) << State();
    ExpectRowset(b, 11999, 2, 7);
    // No further result.
    EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  }
}

TEST_P(DmStatic, ScrollsExactlyWithSQLExtendedFetch) {
  for (bool rowWise : {false, true}) {
    SCOPED_TRACE(rowWise ? "row-wise" : "column-wise");
    Connect(SQL_OV_ODBC2);
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 100), SQL_SUCCESS) << State();
    Buffers b;
    b.rowWise = rowWise;
    if (rowWise) {
      ASSERT_EQ(SQLSetStmtOption(stmt, SQL_BIND_TYPE, sizeof(Buffers::Row)), SQL_SUCCESS) << State();
      ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &b.rows[0].id, 0, &b.rows[0].idInd), SQL_SUCCESS);
      ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, b.rows[0].name, 16, &b.rows[0].nameLen), SQL_SUCCESS);
    } else {
      ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, b.ids, 0, b.idInd), SQL_SUCCESS);
      ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, b.names, 16, b.nameLen), SQL_SUCCESS);
    }
    Run("select id, name from nums order by id");
    for (const Step &s : Walk100()) {
      SCOPED_TRACE(std::string(Orient(s.orientation)) + " " + std::to_string(s.offset));
      const SQLRETURN rc =
          SQLExtendedFetch(stmt, static_cast<SQLUSMALLINT>(s.orientation), s.offset, &b.fetched, b.status);
      if (s.firstId == 0) {
        ASSERT_EQ(rc, SQL_NO_DATA) << State();
        continue;
      }
      ASSERT_EQ(rc, SQL_SUCCESS) << State();
      ExpectRowset(b, s.firstId, s.rows, 100);
    }
    // A rowset of 7 near the end: two rows, then NOROW.
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 7), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_ABSOLUTE, 11999, &b.fetched, b.status), SQL_SUCCESS) << State();
    ExpectRowset(b, 11999, 2, 7);
  }
}

// SQLExtendedFetch's BOOKMARK orientation takes the bookmark itself as its
// row argument (ODBC 2): the rowset starts at the bookmarked row.
TEST_P(DmStatic, ExtendedFetchByBookmark) {
  Connect(SQL_OV_ODBC2);
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 10), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_USE_BOOKMARKS, SQL_UB_ON), SQL_SUCCESS) << State();
  Buffers b;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, b.ids, 0, b.idInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, b.names, 16, b.nameLen), SQL_SUCCESS);
  // Each row's bookmark in the bound bookmark column, as an ODBC 2 application binds it.
  SQLUBIGINT marks[10] = {};
  SQLLEN markLen[10] = {};
  ASSERT_EQ(SQLBindCol(stmt, 0, SQL_C_BOOKMARK, marks, sizeof marks[0], markLen), SQL_SUCCESS) << State();
  Run("select id, name from nums order by id");
  // The bookmark of the current row, the rowset's first.
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_ABSOLUTE, 7003, &b.fetched, b.status), SQL_SUCCESS) << State();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(marks[i], static_cast<SQLUBIGINT>(7003 + i)) << i;
    EXPECT_EQ(markLen[i], static_cast<SQLLEN>(sizeof marks[0])) << i;
  }
  SQLUINTEGER kept = 0;
  ASSERT_EQ(SQLGetStmtOption(stmt, SQL_GET_BOOKMARK, &kept), SQL_SUCCESS) << State();
  ASSERT_NE(kept, 0u);
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_LAST, 0, &b.fetched, b.status), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_BOOKMARK, static_cast<SQLLEN>(kept), &b.fetched, b.status), SQL_SUCCESS)
      << State();
  ExpectRowset(b, 7003, 10, 10);
  // The last row's bookmark gives one row; no row has bookmark 0.
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_BOOKMARK, kRows, &b.fetched, b.status), SQL_SUCCESS) << State();
  ExpectRowset(b, kRows, 1, 10);
  EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_BOOKMARK, 0, &b.fetched, b.status), SQL_NO_DATA);
}

// Bookmarks of both kinds lead back to their row, offset included.
TEST_P(DmStatic, BookmarksLeadBackToTheirRows) {
  for (bool variable : {true, false}) {
    SCOPED_TRACE(variable ? "variable" : "fixed");
    Connect();
    Static();
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, P(variable ? SQL_UB_VARIABLE : SQL_UB_ON), 0), SQL_SUCCESS)
        << State();
    Buffers b;
    Bind(stmt, b, 10, false);
    unsigned char marks[10][8];
    SQLLEN markLen[10];
    ASSERT_EQ(SQLBindCol(stmt, 0, variable ? SQL_C_VARBOOKMARK : SQL_C_BOOKMARK, marks, 8, markLen), SQL_SUCCESS)
        << State();
    Run("select id, name from nums order by id");
    ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 7000), SQL_SUCCESS) << State();
    unsigned char kept[8];
    memcpy(kept, marks[3], 8);  // row 7003
    ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, kept, 0), SQL_SUCCESS) << State();
    for (SQLLEN offset : {0, 5, -3}) {
      SCOPED_TRACE(offset);
      ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, offset), SQL_SUCCESS) << State();
      ExpectRowset(b, 7003 + static_cast<int>(offset), 10, 10);
    }
  }
}

// ODBC's rule for ABSOLUTE counted back past the first row: within one
// rowset it gives the first rowset.
TEST_P(DmStatic, AbsoluteBackPastTheStartWithinOneRowset) {
  Connect();
  Static();
  Buffers b;
  Bind(stmt, b, 20, false);
  Run("select id, name from nums where id <= 10 order by id");
  EXPECT_EQ(RowCount(), 10);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, -12), SQL_SUCCESS) << State();
  ExpectRowset(b, 1, 10, 20);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, -21), SQL_NO_DATA);
}

// Results not executed through a prepare: a catalog result scrolls, and an
// ODBC 2 SQLFetch reads a static cursor to its end.
TEST_P(DmStatic, CatalogResultsAndOdbc2Fetch) {
  Connect();
  Static();
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(1), 0), SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(stmt, nullptr, 0, nullptr, 0, Text("%"), SQL_NTS, nullptr, 0))) << State();
  char last[64] = "", first[64] = "";
  SQLLEN len = 0;
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_LAST, 0), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, last, sizeof last, &len), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, first, sizeof first, &len), SQL_SUCCESS) << State();
  EXPECT_STRNE(first, last);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 1), SQL_SUCCESS) << State();

  Connect(SQL_OV_ODBC2);
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_SUCCESS) << State();
  Run("select id from nums order by id");
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &ind), SQL_SUCCESS);
  int n = 0;
  SQLRETURN rc;
  while ((rc = SQLFetch(stmt)) == SQL_SUCCESS) ASSERT_EQ(id, ++n);
  EXPECT_EQ(rc, SQL_NO_DATA) << State();
  EXPECT_EQ(n, kRows);
}

// A static cursor gives the rows a forward-only one gives, also for a
// statement that is run again after a close.
TEST_P(DmStatic, SameRowsAsForwardOnly) {
  auto all = [this](bool isStatic, const char *sql, int times) {
    Connect();
    if (isStatic) Static();
    std::vector<std::string> out;
    char value[2] = "A";
    SQLLEN valueLen = SQL_NTS;
    if (strchr(sql, '?')) {
      EXPECT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, value, 2, &valueLen),
                SQL_SUCCESS);
    }
    EXPECT_EQ(SQLPrepare(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << State();
    for (int t = 0; t < times; ++t) {
      EXPECT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << State();
      char text[64];
      SQLLEN len = 0;
      while (SQLFetch(stmt) == SQL_SUCCESS) {
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, text, sizeof text, &len))) << State();
        out.push_back(len == SQL_NULL_DATA ? "<null>" : text);
      }
      EXPECT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS) << State();
    }
    return out;
  };
  for (const char *sql : {"select name from nums where s != 'A' and id < 40 order by 1",
                          "select name from nums where s != ? and id < 40 order by 1",
                          "select name || '' from (select name from nums where id in (4, 8)) order by 1"}) {
    SCOPED_TRACE(sql);
    const auto forward = all(false, sql, 2);
    EXPECT_FALSE(forward.empty());
    EXPECT_EQ(all(true, sql, 2), forward);
  }
}

// The cache files are never seen in the temporary directory: not while the
// cursor scrolls, not after its close, not after the process is killed in
// the middle of a scroll.
TEST_P(DmStatic, CacheFilesNeverVisible) {
  harness::DmInit();  // its own files are made before the directory is watched
  Database();
  char dir[] = "/tmp/kvd-static-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  auto entries = [&dir] {
    std::string names;
    if (DIR *d = opendir(dir)) {
      while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names += std::string(e->d_name) + " ";
      closedir(d);
    }
    return names;
  };
  const char *old = getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", dir, 1);

  Connect();
  Static();
  Run("select id, name from nums order by id");
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 9000), SQL_SUCCESS) << State();
  EXPECT_EQ(entries(), "");
  Close();
  EXPECT_EQ(entries(), "");

  // A child process that scrolls and is killed while its cursor is open.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    Connect();
    Static();
    Run("select id, name from nums order by id");
    if (SQLFetchScroll(stmt, SQL_FETCH_LAST, 0) == SQL_SUCCESS) (void)!write(ready[1], "r", 1);
    for (;;) pause();
  }
  close(ready[1]);
  pollfd pfd{ready[0], POLLIN, 0};
  char c = 0;
  const bool scrolled = poll(&pfd, 1, 100000) == 1 && read(ready[0], &c, 1) == 1;
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  EXPECT_TRUE(scrolled);
  EXPECT_EQ(entries(), "");

  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  rmdir(dir);
}

// The cursor options tell the truth: whatever type and concurrency the
// application asks for, the statement reads back a type that SQL_SCROLL_OPTIONS
// claims and a concurrency that SQL_SCROLL_CONCURRENCY claims (01S02 when
// either changed, never a silent acceptance), and its result scrolls.
TEST_P(DmStatic, CursorOptionsReadBackWhatIsClaimedAndScroll) {
  Connect();
  SQLUINTEGER types = 0, concurrencies = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_SCROLL_OPTIONS, &types, sizeof types, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLGetInfo(dbc, SQL_SCROLL_CONCURRENCY, &concurrencies, sizeof concurrencies, nullptr), SQL_SUCCESS);
  EXPECT_TRUE(types & SQL_SO_STATIC);
  EXPECT_TRUE(concurrencies & SQL_SCCO_READ_ONLY);
  const SQLUINTEGER typeBit[] = {SQL_SO_FORWARD_ONLY, SQL_SO_KEYSET_DRIVEN, SQL_SO_DYNAMIC, SQL_SO_STATIC};
  const SQLUINTEGER concurrencyBit[] = {0, SQL_SCCO_READ_ONLY, SQL_SCCO_LOCK, SQL_SCCO_OPT_ROWVER, SQL_SCCO_OPT_VALUES};
  for (SQLULEN type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC, SQL_CURSOR_STATIC}) {
    for (SQLULEN concurrency : {SQL_CONCUR_READ_ONLY, SQL_CONCUR_LOCK, SQL_CONCUR_ROWVER, SQL_CONCUR_VALUES}) {
      SCOPED_TRACE(std::to_string(type) + "/" + std::to_string(concurrency));
      Connect();
      SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(static_cast<intptr_t>(type)), 0);
      ASSERT_TRUE(rc == SQL_SUCCESS || (rc == SQL_SUCCESS_WITH_INFO && State() == "01S02")) << State();
      rc = SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, P(static_cast<intptr_t>(concurrency)), 0);
      ASSERT_TRUE(rc == SQL_SUCCESS || (rc == SQL_SUCCESS_WITH_INFO && State() == "01S02") ||
                  (rc == SQL_ERROR && State() == "HYC00"))
          << State();
      SQLULEN typeNow = 99, concurrencyNow = 99;
      ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &typeNow, 0, nullptr), SQL_SUCCESS);
      ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &concurrencyNow, 0, nullptr), SQL_SUCCESS);
      ASSERT_LE(typeNow, 3u);
      ASSERT_TRUE(concurrencyNow >= 1 && concurrencyNow <= 4);
      EXPECT_TRUE(types & typeBit[typeNow]) << typeNow;
      EXPECT_TRUE(concurrencies & concurrencyBit[concurrencyNow]) << concurrencyNow;
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text("select id from nums where id < 5 order by id"), SQL_NTS)))
          << State();
      SQLINTEGER id = 0;
      SQLLEN ind = 0;
      ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &ind), SQL_SUCCESS);
      ASSERT_EQ(SQLFetchScroll(stmt, typeNow == SQL_CURSOR_FORWARD_ONLY ? SQL_FETCH_NEXT : SQL_FETCH_LAST, 0),
                SQL_SUCCESS)
          << State();
      EXPECT_EQ(id, typeNow == SQL_CURSOR_FORWARD_ONLY ? 1 : 4);
    }
  }
}

// Private option 1052 on a forward-only statement: each column's base
// table, schema and column, unquoted and through aliases; none for an
// expression.
TEST_P(DmStatic, BaseColumnAttributesWithOption1052) {
  Connect();
  // The schema of NUMS as the catalog gives it.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(stmt, nullptr, 0, nullptr, 0, Text("NUMS"), SQL_NTS, nullptr, 0))) << State();
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
  char schema[64] = "";
  SQLLEN len = 0;
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, schema, sizeof schema, &len), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);

  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, 1052, P(1), 0))) << State();
  Run("select n.id, name nm, id + 1, \"NAME\" from nums n where id < 3");
  const struct {
    const char *table, *schema, *column;
  } expect[] = {
      {"NUMS", schema, "ID"},
      {"NUMS", schema, "NAME"},
      {"", "", ""},
      {"NUMS", schema, "NAME"},
  };
  for (SQLUSMALLINT col = 1; col <= 4; ++col) {
    SCOPED_TRACE(col);
    const auto &e = expect[col - 1];
    char text[128];
    SQLSMALLINT outLen = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, col, SQL_DESC_BASE_TABLE_NAME, text, sizeof text, &outLen, nullptr)));
    EXPECT_STREQ(text, e.table);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, col, SQL_DESC_SCHEMA_NAME, text, sizeof text, &outLen, nullptr)));
    EXPECT_STREQ(text, e.schema);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, col, SQL_DESC_BASE_COLUMN_NAME, text, sizeof text, &outLen, nullptr)));
    EXPECT_STREQ(text, e.column);
  }
  int rows = 0;
  while (SQLFetch(stmt) == SQL_SUCCESS) ++rows;
  EXPECT_EQ(rows, 2);
}

// The schema of a table named without one is its owner's as the catalog
// knows it, not the connected user's; a wildcard select list is written out
// so that every column has its base column.
TEST_P(DmStatic, BaseColumnsOfAnotherUsersTableAndOfAWildcard) {
  // HR's table, which SCOTT reaches through a public synonym.
  const std::string tool = std::string("'") + KVD_BUILD_DIR + "/bin/ocilite-admin' ";
  const std::string db = "'" + Database() + "' ";
  // The database is the process's: the second driver's run finds HR made.
  static bool made = false;
  if (!made) {
    ASSERT_EQ(std::system((tool + "adduser " + db + "hr Secret1 >/dev/null").c_str()), 0);
    for (const char *sql : {"create table staff (id number(6), name varchar2(20))",
                            "insert into staff values (7, 'KING')", "create public synonym staff for staff"})
      ASSERT_EQ(std::system((tool + "sql " + db + "hr Secret1 \"" + sql + "\" >/dev/null").c_str()), 0) << sql;
    made = true;
  }
  Connect();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, 1052, P(1), 0))) << State();
  const struct {
    const char *sql;
    std::vector<std::vector<std::string>> cols;  // table, schema, column of each result column
  } cases[] = {
      {"select s.name, id from staff s", {{"STAFF", "HR", "NAME"}, {"STAFF", "HR", "ID"}}},
      {"select * from nums where id = 1", {{"NUMS", "SCOTT", "ID"}, {"NUMS", "SCOTT", "NAME"}, {"NUMS", "SCOTT", "S"}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.sql);
    Run(c.sql);
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQLNumResultCols(stmt, &n), SQL_SUCCESS);
    ASSERT_EQ(n, static_cast<SQLSMALLINT>(c.cols.size()));
    for (SQLUSMALLINT col = 1; col <= n; ++col) {
      const SQLUSMALLINT fields[] = {SQL_DESC_BASE_TABLE_NAME, SQL_DESC_SCHEMA_NAME, SQL_DESC_BASE_COLUMN_NAME};
      for (int f = 0; f < 3; ++f) {
        char text[128] = "";
        SQLSMALLINT outLen = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, col, fields[f], text, sizeof text, &outLen, nullptr)));
        EXPECT_EQ(text, c.cols[col - 1][f]) << "column " << col << " field " << fields[f];
      }
    }
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmStatic, ::testing::Values("kvd_w", "kvd_a"),
                         [](const auto &info) { return std::string(info.param); });

}  // namespace
