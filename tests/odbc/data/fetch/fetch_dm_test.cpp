// Fetching as applications do: through unixODBC with both drivers on the
// real agent over a database of the OCI stand-in. SQLFetch in ODBC 2 and 3,
// SQLFetchScroll and SQLExtendedFetch with rowsets of 1, 60 and 1000 rows
// bound column-wise and row-wise, SQLGetData in parts, wide text, NULLs,
// ignored columns and retrieve-data off, a fetch with the database's warning,
// a column bound past the result, and isql/iusql.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "ocilite.h"

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

constexpr int kRows = 2500;
const char *const k25 = "abcdefghijklmnopqrstuvwxy";

// One database for the whole run, made with the stand-in's admin tool:
// NUMS(ID, NAME) holds 1..2500 and "n<id>"; VALS a few rows of other types.
const std::string &Database() {
  static const std::string dir = [] {
    std::vector<std::string> sql = {"create table d10 (n number(2))"};
    for (int i = 0; i < 10; ++i) sql.push_back("insert into d10 values (" + std::to_string(i) + ")");
    sql.push_back("create table nums (id number(10), name varchar2(30))");
    sql.push_back("insert into nums select a.n*1000+b.n*100+c.n*10+e.n+1, 'n' || to_char(a.n*1000+b.n*100+c.n*10+e.n+1) "
                  "from d10 a, d10 b, d10 c, d10 e where a.n*1000+b.n*100+c.n*10+e.n < " + std::to_string(kRows));
    sql.push_back("create table vals (id number(10), txt varchar2(40), n number(10))");
    sql.push_back(std::string("insert into vals values (1, '") + k25 + "', 7)");
    sql.push_back("insert into vals values (2, NULL, NULL)");
    sql.push_back("insert into vals values (3, 'h\xC3\xA9llo \xE2\x82\xAC', 9)");
    std::string d = harness::AdminDatabase("fetch_db", sql);
    if (d.empty()) ADD_FAILURE() << "the fetch database could not be made";
    return d;
  }();
  return dir;
}

struct DmFetch : ::testing::TestWithParam<const char *> {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;

  void Connect(SQLINTEGER version, const std::string &extra = "") {
    harness::DmInit();
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, P(version), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    std::string in = std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + Database() + extra;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, Text(in.c_str()), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << harness::DmDiagText(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  }
  void TearDown() override {
    if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  bool Unicode() const { return std::string(GetParam()) == "kvd_w"; }
  std::string State() const {
    auto d = harness::DmDiags(SQL_HANDLE_STMT, stmt);
    return d.empty() ? "" : d[0].state;
  }
  bool Query(const char *sql) {
    SQLRETURN rc = SQLExecDirect(stmt, Text(sql), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
    return SQL_SUCCEEDED(rc);
  }
};

#define QUERY_OR_RETURN(sql) \
  do {                        \
    if (!Query(sql)) return;  \
  } while (0)

std::string Name(int id) { return "n" + std::to_string(id); }

TEST_P(DmFetch, SQLFetchInOdbc2And3) {
  for (SQLINTEGER version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
    SCOPED_TRACE(version);
    TearDown();
    stmt = SQL_NULL_HSTMT;
    dbc = SQL_NULL_HDBC;
    env = SQL_NULL_HENV;
    Connect(version);
    QUERY_OR_RETURN("select id, name from nums order by id");
    SQLINTEGER id = 0;
    char name[31];
    SQLLEN idInd = 0, nameLen = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &idInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &nameLen), SQL_SUCCESS);
    int n = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt)) == SQL_SUCCESS) {
      ++n;
      ASSERT_EQ(id, n);
      ASSERT_EQ(std::string(name), Name(n));
      ASSERT_EQ(nameLen, static_cast<SQLLEN>(Name(n).size()));
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << State();
    EXPECT_EQ(n, kRows);
  }
}

// Every row once, through rowsets of the given size bound column-wise or
// row-wise, with a bind offset that moves between fetches, a row status array
// and a rows-fetched pointer.
struct RowsetCase {
  int size;
  bool rowWise;
  bool extended;  // SQLExtendedFetch in an ODBC 2 environment
};

TEST_P(DmFetch, RowsetsOfEverySize) {
  const RowsetCase cases[] = {{1, false, false}, {60, false, false}, {1000, false, false}, {60, true, false},
                              {1000, true, false}, {1, false, true}, {60, false, true}, {1000, true, true}};
  for (const RowsetCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << (c.rowWise ? " row-wise" : " column-wise")
                                    << (c.extended ? " SQLExtendedFetch" : " SQLFetchScroll"));
    TearDown();
    stmt = SQL_NULL_HSTMT;
    dbc = SQL_NULL_HDBC;
    env = SQL_NULL_HENV;
    Connect(c.extended ? SQL_OV_ODBC2 : SQL_OV_ODBC3, ";NRSSL=YES");
    const SQLULEN size = static_cast<SQLULEN>(c.size);
    if (c.extended)
      ASSERT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, size), SQL_SUCCESS) << State();
    else
      ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(c.size), 0), SQL_SUCCESS) << State();
    QUERY_OR_RETURN("select id, name from nums order by id");

    // Two rowsets' room: the offset alternates between the halves.
    struct Row {
      SQLINTEGER id;
      SQLLEN idInd;
      char name[12];
      SQLLEN nameLen;
    };
    std::vector<Row> rows(2 * size);
    std::vector<SQLINTEGER> ids(2 * size);
    std::vector<SQLLEN> idInd(2 * size), nameLen(2 * size);
    std::vector<char> names(2 * size * 12);
    std::vector<SQLUSMALLINT> status(size, 99);
    SQLULEN fetched = 0;
    SQLLEN offset = 0;
    if (c.rowWise) {
      if (c.extended)
        ASSERT_EQ(SQLSetStmtOption(stmt, SQL_BIND_TYPE, sizeof(Row)), SQL_SUCCESS) << State();
      else
        ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, P(sizeof(Row)), 0), SQL_SUCCESS) << State();
      ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &rows[0].id, 0, &rows[0].idInd), SQL_SUCCESS);
      ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, rows[0].name, 12, &rows[0].nameLen), SQL_SUCCESS);
    } else {
      ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, ids.data(), 0, idInd.data()), SQL_SUCCESS);
      ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, names.data(), 12, nameLen.data()), SQL_SUCCESS);
    }
    if (!c.extended) {
      ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
      ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0), SQL_SUCCESS);
      ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    }
    int next = 1, fetches = 0;
    for (;;) {
      const size_t half = fetches % 2 ? size : 0;
      if (!c.extended) offset = static_cast<SQLLEN>(half * (c.rowWise ? sizeof(Row) : 0));
      SQLRETURN rc = c.extended ? SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status.data())
                                : SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
      if (rc == SQL_NO_DATA) break;
      ASSERT_EQ(rc, SQL_SUCCESS) << State();
      ASSERT_LE(fetched, size);
      ASSERT_TRUE(fetched == size || next + static_cast<int>(fetched) - 1 == kRows);
      for (SQLULEN r = 0; r < size; ++r) {
        if (r >= fetched) {
          ASSERT_EQ(status[r], SQL_ROW_NOROW);
          continue;
        }
        ASSERT_EQ(status[r], SQL_ROW_SUCCESS);
        const size_t at = (c.rowWise && !c.extended ? half : 0) + r;
        const SQLINTEGER id = c.rowWise ? rows[at].id : ids[at];
        const std::string name = c.rowWise ? rows[at].name : std::string(&names[at * 12]);
        ASSERT_EQ(id, next);
        ASSERT_EQ(name, Name(next));
        ++next;
      }
      ++fetches;
    }
    EXPECT_EQ(next - 1, kRows);
    EXPECT_EQ(fetches, (kRows + c.size - 1) / c.size);
  }
}

// Without NRSSL a rowset above 100 rows is kept at 100, with 01S02.
TEST_P(DmFetch, LargeRowsetWithoutNrssl) {
  Connect(SQL_OV_ODBC3);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(1000), 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01S02");
  SQLULEN size = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(size, 100u);
  QUERY_OR_RETURN("select id from nums order by id");
  std::vector<SQLINTEGER> ids(1000, -1);
  std::vector<SQLLEN> ind(1000);
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, ids.data(), 0, ind.data()), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 100u);
  EXPECT_EQ(ids[99], 100);
  EXPECT_EQ(ids[100], -1);
}

TEST_P(DmFetch, GetDataInParts) {
  Connect(SQL_OV_ODBC3);
  QUERY_OR_RETURN("select txt from vals where id = 1");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  char buf[10];
  SQLLEN len = 0;
  const struct {
    SQLRETURN rc;
    const char *text;
    SQLLEN len;
  } parts[] = {{SQL_SUCCESS_WITH_INFO, "abcdefghi", 25}, {SQL_SUCCESS_WITH_INFO, "jklmnopqr", 16},
               {SQL_SUCCESS, "stuvwxy", 7}};
  for (const auto &p : parts) {
    ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), p.rc);
    if (p.rc == SQL_SUCCESS_WITH_INFO) {
      EXPECT_EQ(State(), "01004");
    }
    EXPECT_STREQ(buf, p.text);
    EXPECT_EQ(len, p.len);
  }
  EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len), SQL_NO_DATA);
}

TEST_P(DmFetch, WideTextAndNull) {
  Connect(SQL_OV_ODBC3);
  QUERY_OR_RETURN("select txt, n from vals where id >= 2 order by id");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  SQLWCHAR w[20];
  SQLLEN len = 0;
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, w, sizeof w, &len), SQL_SUCCESS);
  EXPECT_EQ(len, SQL_NULL_DATA);
  SQLINTEGER n = 5;
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_LONG, &n, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, SQL_NULL_DATA);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, w, sizeof w, &len), SQL_SUCCESS) << State();
  EXPECT_EQ(harness::FromW(w, static_cast<size_t>(len) / sizeof(SQLWCHAR)), "h\xC3\xA9llo \xE2\x82\xAC");
  EXPECT_EQ(len, 7 * 2);
}

TEST_P(DmFetch, IgnoredColumnsAndRetrieveDataOff) {
  Connect(SQL_OV_ODBC3);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(3), 0), SQL_SUCCESS);
  QUERY_OR_RETURN("select id, name from nums order by id");
  SQLINTEGER ids[3] = {-1, -1, -1};
  SQLLEN ind[3] = {0, SQL_COLUMN_IGNORE, 0};
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, ids, 0, ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], -1);
  EXPECT_EQ(ids[2], 3);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_RETRIEVE_DATA, P(SQL_RD_OFF), 0), SQL_SUCCESS);
  ids[0] = -1;
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(ids[0], -1);
}

// Rows that come with the database's warning (ORA-24345, as for a value cut
// on the way) are a success with that record, and no row is lost: row by
// row and by rowsets, read through bound columns or SQLGetData (rowsets of
// one row: SQLSetPos does not position yet), on
// forward-only and static cursors. A static cursor reads its result whole
// when it runs, so the warning goes with that call there.
TEST_P(DmFetch, AFetchWarningIsASuccessWithItsRecord) {
  struct Case {
    SQLULEN cursor;
    SQLULEN rowset;
    bool getData;
  };
  const Case cases[] = {
      {SQL_CURSOR_FORWARD_ONLY, 1, false}, {SQL_CURSOR_FORWARD_ONLY, 2, false},
      {SQL_CURSOR_FORWARD_ONLY, 100, false}, {SQL_CURSOR_FORWARD_ONLY, 1, true},
      {SQL_CURSOR_STATIC, 1, false}, {SQL_CURSOR_STATIC, 2, false},
      {SQL_CURSOR_STATIC, 100, false}, {SQL_CURSOR_STATIC, 1, true},
  };
  Connect(SQL_OV_ODBC3);
  constexpr int kLast = 250;  // full blocks for every rowset size
  auto warned = [this](SQLRETURN rc, std::vector<const char *> oras = {"ORA-24345"}) {
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
    const std::string text = harness::DmDiagText(SQL_HANDLE_STMT, stmt);
    for (const char *ora : oras) EXPECT_NE(text.find(ora), std::string::npos) << ora << " in " << text;
  };
  for (const Case &c : cases) {
    const bool isStatic = c.cursor == SQL_CURSOR_STATIC;
    SCOPED_TRACE(std::string(isStatic ? "static" : "forward-only") + " rowset " + std::to_string(c.rowset) +
                 (c.getData ? " SQLGetData" : " bound"));
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(static_cast<intptr_t>(c.cursor)), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(static_cast<intptr_t>(c.rowset)), 0), SQL_SUCCESS);
    std::vector<SQLINTEGER> ids(c.rowset);
    SQLULEN got = 0;
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0), SQL_SUCCESS);
    if (!c.getData) {
      ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, ids.data(), 0, nullptr), SQL_SUCCESS);
    }
    // Every execute and fetch of the run warns (the layer's own catalog
    // queries run before the result is read): the execute's warning stays
    // beside the fetch's.
    if (isStatic) {
      ocilite_test_fault(OCILITE_T_EXECUTE, 1, 1000, 24347, 1, nullptr);
      ocilite_test_fault(OCILITE_T_FETCH, 1, 1000, 24345, 1, nullptr);
    }
    const std::string sql = "select id from nums where id <= " + std::to_string(kLast) + " order by id";
    SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
    if (isStatic) {
      warned(rc, {"ORA-24347", "ORA-24345"});
      ocilite_test_reset();
    } else {
      ASSERT_EQ(rc, SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
      ocilite_test_fault(OCILITE_T_FETCH, 1, 1, 24345, 1, nullptr);
    }
    int next = 1;
    bool first = true;
    while (SQL_SUCCEEDED(rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0))) {
      if (first && !isStatic) {
        warned(rc);
      } else {
        EXPECT_EQ(rc, SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
      }
      first = false;
      if (c.getData) {
        ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &ids[0], 0, nullptr), SQL_SUCCESS);
      }
      for (SQLULEN i = 0; i < got; ++i) ASSERT_EQ(ids[i], next++);
    }
    ocilite_test_reset();
    EXPECT_EQ(rc, SQL_NO_DATA) << State();
    EXPECT_EQ(next, kLast + 1);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
  }
}

// A column bound past the result's columns is accepted by SQLBindCol and
// reported by the fetch as 07009; the next fetch without it goes on.
TEST_P(DmFetch, AColumnBoundPastTheResultFailsTheFetch) {
  Connect(SQL_OV_ODBC3);
  QUERY_OR_RETURN("select id, name from nums where id <= 2 order by id");
  SQLINTEGER id = 0, extra = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_LONG, &extra, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
  EXPECT_EQ(State(), "07009");
  ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_LONG, nullptr, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
  EXPECT_EQ(id, 2);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmFetch, ::testing::Values("kvd_w", "kvd_a"),
                         [](const auto &info) { return std::string(info.param); });

// isql and iusql show the rows of a SELECT.
TEST(Isql, SelectShowsRows) {
  harness::DmInit({{"kvd_fetch_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                   {"kvd_fetch_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}}});
  for (const char *tool : {"isql", "iusql"}) {
    for (const char *dsn : {"kvd_fetch_w", "kvd_fetch_a"}) {
      SCOPED_TRACE(std::string(tool) + " " + dsn);
      std::string cmd = std::string("echo 'select id, name from nums where id <= 3 order by id' | ") + tool +
                        " -b " + dsn + " scott tiger 2>&1";
      FILE *p = popen(cmd.c_str(), "r");
      ASSERT_NE(p, nullptr);
      std::string out;
      char buf[512];
      while (fgets(buf, sizeof buf, p)) out += buf;
      pclose(p);
      EXPECT_NE(out.find("n1"), std::string::npos) << out;
      EXPECT_NE(out.find("n3"), std::string::npos) << out;
      EXPECT_EQ(out.find("n4"), std::string::npos) << out;
    }
  }
}

}  // namespace
