// Keyset-driven, mixed and dynamic cursors as applications use them:
// through unixODBC with both drivers on the real agent over a database of
// the OCI stand-in, a second connection (autocommit on) changing rows while
// the cursor is open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dm_session.h"
#include "harness.h"
#ifdef KVD_OCILITE_HOOKS
#include "ocilite.h"
#endif

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

// D10 holds 0..9; KT(K, A, N) holds K = 1..25, A = 'a<K>' and N = K * 10;
// BIG(K) holds 1..100,000; NK (no index) holds 1..5; a view over NK has no
// key at all.
std::string MakeDatabase() {
  std::vector<std::string> sql = {"create table d10 (n number(2))"};
  for (int i = 0; i < 10; ++i) sql.push_back("insert into d10 values (" + std::to_string(i) + ")");
  sql.push_back("create table kt (k number(10) not null primary key, a varchar2(20), n number(10))");
  sql.push_back("insert into kt select a.n*10+b.n+1, 'a' || to_char(a.n*10+b.n+1), (a.n*10+b.n+1)*10 from d10 a, "
                "d10 b where a.n*10+b.n < 25");
  sql.push_back("create table big (k number(10) not null primary key)");
  const std::string n = "a.n*10000+b.n*1000+c.n*100+d.n*10+e.n";
  sql.push_back("insert into big select " + n + "+1 from d10 a, d10 b, d10 c, d10 d, d10 e");
  sql.push_back("create table nk (k number(10), a varchar2(10))");
  for (int i = 1; i <= 5; ++i) sql.push_back("insert into nk values (" + std::to_string(i) + ", 'x')");
  sql.push_back("create view nkv as select k, a from nk");
  // DT: K = 10, 20, .. 250 with A cycling NULL, 'b', 'a', 'c' (NULLs and ties).
  sql.push_back("create table dt (k number(10) not null primary key, a varchar2(20))");
  sql.push_back("insert into dt select (a.n*10+b.n+1)*10, case mod(a.n*10+b.n+1, 4) when 0 then null when 1 then 'b' "
                "when 2 then 'a' else 'c' end from d10 a, d10 b where a.n*10+b.n < 25");
  // MT: K = 10, 20, .. 480.
  sql.push_back("create table mt (k number(10) not null primary key, a varchar2(20))");
  sql.push_back("insert into mt select (a.n*10+b.n+1)*10, 'm' from d10 a, d10 b where a.n*10+b.n < 48");
  // PU: keyed by its primary key although a nullable unique index sorts first.
  sql.push_back("create table pu (k number(10) not null primary key, u number(10), a varchar2(20))");
  sql.push_back("create unique index a_first on pu (u)");
  for (int i = 1; i <= 4; ++i)
    sql.push_back("insert into pu values (" + std::to_string(i) + ", " + (i % 2 ? "null" : std::to_string(i)) +
                  ", 'p')");
  std::string d = harness::AdminDatabase("keyset_db", sql);
  if (d.empty()) ADD_FAILURE() << "the keyset cursor database could not be made";
  return d;
}

struct Rowset {
  SQLINTEGER k[20];
  SQLLEN kInd[20];
  char a[20][24];
  SQLLEN aLen[20];
  SQLUSMALLINT status[20];
  SQLULEN fetched = 0;
};

struct DmKeyset : ::testing::TestWithParam<const char *>, harness::DmSession {
  std::string db;
  harness::DmSession other;  // the other user

  void SetUp() override {
    db = MakeDatabase();
    harness::DmInit();
    Open(ConnStr());
    other.Open(ConnStr());
  }
  std::string ConnStr() const { return std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + db; }

  void Cursor(SQLULEN type, SQLULEN rowset, SQLULEN keyset = 0) {
    if (keyset) {
      ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, P(keyset), 0))) << State();
    }
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(type), 0), SQL_SUCCESS) << State();
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(rowset), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, rs.status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rs.fetched, 0), SQL_SUCCESS);
  }
  void Run(const char *sql, bool bindA = true) {
    ASSERT_EQ(SQLExecDirect(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << sql << ": " << State();
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, rs.k, 0, rs.kInd), SQL_SUCCESS);
    if (bindA) {
      ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, rs.a, 24, rs.aLen), SQL_SUCCESS);
    }
  }
  void Other(const std::string &sql) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, other.dbc, &h), SQL_SUCCESS);
    SQLRETURN rc = SQLExecDirect(h, Text(sql.c_str()), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  // The rowset's K values, 0 for a row without one (deleted, or no row).
  std::vector<int> Ks() const {
    std::vector<int> out;
    for (SQLULEN i = 0; i < rs.fetched; ++i) out.push_back(rs.status[i] == SQL_ROW_DELETED ? 0 : rs.k[i]);
    return out;
  }
  SQLRETURN Fetch(SQLSMALLINT orientation, SQLLEN offset = 0) { return SQLFetchScroll(stmt, orientation, offset); }

  Rowset rs;
};

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

TEST_P(DmKeyset, KeysetNextThreeTimesThenNoData) {
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, 10);
  Run("SELECT K, A FROM KT ORDER BY K");
  SQLULEN type = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_CURSOR_KEYSET_DRIVEN);
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), Range(1, 10));
  EXPECT_STREQ(rs.a[3], "a4");
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), Range(11, 20));
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), Range(21, 25));
  for (int i = 5; i < 10; ++i) EXPECT_EQ(rs.status[i], SQL_ROW_NOROW) << i;
  EXPECT_EQ(Fetch(SQL_FETCH_NEXT), SQL_NO_DATA);
  SQLLEN count = 0;
  ASSERT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 25);
}

TEST_P(DmKeyset, KeysetEveryOrientationLandsOnItsRow) {
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, 10);
  Run("SELECT K, A FROM KT ORDER BY K DESC");
  struct Step {
    SQLSMALLINT orientation;
    SQLLEN offset;
    int firstK;  // 0: no data
  } steps[] = {
      {SQL_FETCH_FIRST, 0, 25},     {SQL_FETCH_NEXT, 0, 15},      {SQL_FETCH_LAST, 0, 10},
      {SQL_FETCH_PRIOR, 0, 20},     {SQL_FETCH_ABSOLUTE, 7, 19},  {SQL_FETCH_ABSOLUTE, -3, 3},
      {SQL_FETCH_RELATIVE, -2, 5},  {SQL_FETCH_RELATIVE, 0, 5},   {SQL_FETCH_ABSOLUTE, 26, 0},
      {SQL_FETCH_PRIOR, 0, 10},     {SQL_FETCH_BOOKMARK, 4, 0},
  };
  for (const Step &s : steps) {
    if (s.orientation == SQL_FETCH_BOOKMARK) break;
    SQLRETURN rc = Fetch(s.orientation, s.offset);
    if (s.firstK == 0) {
      EXPECT_EQ(rc, SQL_NO_DATA) << s.orientation << " " << s.offset;
      continue;
    }
    ASSERT_EQ(rc, SQL_SUCCESS) << s.orientation << " " << s.offset << ": " << State();
    EXPECT_EQ(rs.k[0], s.firstK) << s.orientation << " " << s.offset;
  }
}

TEST_P(DmKeyset, KeysetSeesOthersUpdatesAndDeletesButNoInserts) {
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, 10);
  Run("SELECT K, A FROM KT ORDER BY K");
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  Other("UPDATE KT SET A = 'changed' WHERE K = 12");
  Other("DELETE FROM KT WHERE K = 15");
  Other("INSERT INTO KT VALUES (100, 'new', 1)");
  ASSERT_EQ(Fetch(SQL_FETCH_ABSOLUTE, 11), SQL_SUCCESS) << State();
  std::vector<int> want = Range(11, 20);
  want[4] = 0;
  EXPECT_EQ(Ks(), want);
  EXPECT_STREQ(rs.a[1], "changed");
  EXPECT_EQ(rs.status[4], SQL_ROW_DELETED);
  EXPECT_EQ(rs.status[1], SQL_ROW_SUCCESS);
  ASSERT_EQ(Fetch(SQL_FETCH_LAST), SQL_SUCCESS) << State();
  EXPECT_EQ(rs.k[9], 25);  // no K=100
}

// The statement's own parameters go with every key query and every read
// by key, behind the keys.
TEST_P(DmKeyset, KeysetAndDynamicCursorsWithParameters) {
  for (SQLULEN type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    Cursor(type, 10);
    SQLINTEGER from = 20;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &from, 0, nullptr),
              SQL_SUCCESS);
    Run("SELECT K, A FROM KT WHERE K > ? ORDER BY K");
    ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << type << ": " << State();
    EXPECT_EQ(Ks(), Range(21, 25)) << type;
    EXPECT_STREQ(rs.a[0], "a21");
    EXPECT_EQ(Fetch(SQL_FETCH_NEXT), SQL_NO_DATA) << type;
  }
}

TEST_P(DmKeyset, KeysetKeepsPositionsWhenSortValuesChange) {
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, 10);
  Run("SELECT K, A FROM KT ORDER BY A");
  ASSERT_EQ(Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State();
  const std::vector<int> before = Ks();
  Other("UPDATE KT SET A = 'zzz' WHERE K = " + std::to_string(before[2]));
  ASSERT_EQ(Fetch(SQL_FETCH_RELATIVE, 0), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), before);
  EXPECT_STREQ(rs.a[2], "zzz");
}

TEST_P(DmKeyset, DynamicSeesInsertsAndDeletesBetweenFetches) {
  Cursor(SQL_CURSOR_DYNAMIC, 5);
  Run("SELECT K, A FROM DT ORDER BY K");
  SQLULEN type = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_CURSOR_DYNAMIC);
  struct Step {
    const char *change;  // the other connection's, before the fetch; none
    SQLSMALLINT orientation;
    std::vector<int> ks;
  } steps[] = {
      {nullptr, SQL_FETCH_NEXT, {10, 20, 30, 40, 50}},
      {"INSERT INTO DT VALUES (65, 'x')", SQL_FETCH_NEXT, {60, 65, 70, 80, 90}},
      {"DELETE FROM DT WHERE K = 100", SQL_FETCH_NEXT, {110, 120, 130, 140, 150}},
      {"INSERT INTO DT VALUES (105, 'x')", SQL_FETCH_PRIOR, {70, 80, 90, 105}},
      {"DELETE FROM DT WHERE K = 120", SQL_FETCH_NEXT, {110, 130, 140, 150, 160}},
      {nullptr, SQL_FETCH_LAST, {210, 220, 230, 240, 250}},
      {nullptr, SQL_FETCH_NEXT, {}},
  };
  // PRIOR above: 105 sorts before 110, so it is the last of the rows before.
  steps[3].ks.insert(steps[3].ks.begin(), 65);
  for (const Step &s : steps) {
    if (s.change) Other(s.change);
    SQLRETURN rc = Fetch(s.orientation);
    if (s.ks.empty()) {
      EXPECT_EQ(rc, SQL_NO_DATA);
      continue;
    }
    ASSERT_EQ(rc, SQL_SUCCESS) << s.orientation << ": " << State();
    EXPECT_EQ(Ks(), s.ks) << (s.change ? s.change : "") << " then " << s.orientation;
  }
}

// NEXT to the end and PRIOR back to the start over a sort with NULLs and
// ties, rowset 3: every row once, in the order the database sorts them.
TEST_P(DmKeyset, DynamicWalksNullsAndTiesInSortOrder) {
  for (const char *dir : {"ASC", "DESC"}) {
    const std::string order = std::string("SELECT K, A FROM DT ORDER BY A ") + dir;
    std::vector<int> want;
    {
      SQLHSTMT h = SQL_NULL_HSTMT;
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
      ASSERT_EQ(SQLExecDirect(h, Text((order + ", K").c_str()), SQL_NTS), SQL_SUCCESS);
      SQLINTEGER k = 0;
      SQLBindCol(h, 1, SQL_C_LONG, &k, 0, nullptr);
      while (SQLFetch(h) == SQL_SUCCESS) want.push_back(k);
      SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
    ASSERT_EQ(want.size(), 25u);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Cursor(SQL_CURSOR_DYNAMIC, 3);
    Run(order.c_str());
    std::vector<int> forward;
    while (Fetch(SQL_FETCH_NEXT) == SQL_SUCCESS)
      for (int k : Ks()) forward.push_back(k);
    EXPECT_EQ(forward, want) << dir;
    // Back: each rowset the slice of the order that ends where the one
    // after it began, down to the first rowset.
    size_t end = want.size();
    SQLRETURN rc;
    while ((rc = Fetch(SQL_FETCH_PRIOR)) == SQL_SUCCESS) {
      const std::vector<int> ks = Ks();
      const size_t from = end >= 3 ? end - 3 : 0;
      EXPECT_EQ(ks, std::vector<int>(want.begin() + from, want.begin() + from + 3)) << dir << " before " << end;
      end = from;
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << State();
    EXPECT_EQ(end, 0u) << dir;
  }
}

TEST_P(DmKeyset, MixedMovesItsWindowOnlyWhenTheRowsetLeavesIt) {
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, 5, 20);
  Run("SELECT K, A FROM MT ORDER BY K");
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
    EXPECT_EQ(rs.k[0], 10 + 50 * i);
  }
  // Inside the window the keys stay as they were read; once it moves the
  // new row is there.
  Other("INSERT INTO MT VALUES (25, 'new')");
  ASSERT_EQ(Fetch(SQL_FETCH_RELATIVE, -5), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), (std::vector<int>{110, 120, 130, 140, 150}));
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  EXPECT_EQ(rs.k[0], 160);
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();  // the window moves
  EXPECT_EQ(rs.k[0], 210);
  ASSERT_EQ(Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), (std::vector<int>{10, 20, 25, 30, 40}));
  int rows = 0;
  SQLRETURN rc = SQL_SUCCESS;
  for (rc = SQL_SUCCESS; rc == SQL_SUCCESS; rc = Fetch(SQL_FETCH_NEXT)) rows += static_cast<int>(rs.fetched);
  EXPECT_EQ(rc, SQL_NO_DATA) << State();
  EXPECT_EQ(rows, 49);
  SQLLEN count = 0;
  ASSERT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 49);  // the last window, reached forward from the first, ends the result
  ASSERT_EQ(Fetch(SQL_FETCH_PRIOR), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), (std::vector<int>{440, 450, 460, 470, 480}));
}

// RELATIVE far in both directions over 100,000 rows, for every cursor
// that keeps its keys below.
TEST_P(DmKeyset, RelativeFarOverAHundredThousandRows) {
  struct Case {
    SQLULEN type, keyset;
  } cases[] = {{SQL_CURSOR_KEYSET_DRIVEN, 0}, {SQL_CURSOR_DYNAMIC, 0}, {SQL_CURSOR_KEYSET_DRIVEN, 20}};
  for (const Case &c : cases) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    Cursor(c.type, 10, c.keyset);
    Run("SELECT K FROM BIG ORDER BY K", false);
    ASSERT_EQ(Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State();
    ASSERT_EQ(Fetch(SQL_FETCH_RELATIVE, 70000), SQL_SUCCESS) << c.type << "/" << c.keyset << ": " << State();
    EXPECT_EQ(Ks(), Range(70001, 70010)) << c.type << "/" << c.keyset;
    ASSERT_EQ(Fetch(SQL_FETCH_RELATIVE, -70000), SQL_SUCCESS) << State();
    EXPECT_EQ(Ks(), Range(1, 10)) << c.type << "/" << c.keyset;
    ASSERT_EQ(Fetch(SQL_FETCH_RELATIVE, 99995), SQL_SUCCESS) << State();
    EXPECT_EQ(Ks(), Range(99996, 100000)) << c.type << "/" << c.keyset;
  }
}

TEST_P(DmKeyset, WhatDynamicAndMixedCursorsRefuse) {
  struct Case {
    SQLULEN type, keyset;
  } cases[] = {{SQL_CURSOR_DYNAMIC, 0}, {SQL_CURSOR_KEYSET_DRIVEN, 20}};
  for (const Case &c : cases) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    Cursor(c.type, 5, c.keyset);
    Run("SELECT K, A FROM KT ORDER BY K");
    ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
    EXPECT_EQ(Fetch(SQL_FETCH_ABSOLUTE, 3), SQL_ERROR);
    EXPECT_EQ(State(), "HY106");
    EXPECT_EQ(Fetch(SQL_FETCH_BOOKMARK, 0), SQL_ERROR);
    EXPECT_EQ(State(), "HY106");
    if (c.type == SQL_CURSOR_DYNAMIC) {
      SQLULEN n = 0;
      EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr), SQL_ERROR);
      EXPECT_EQ(State(), "HYC00");
    }
  }
}

TEST_P(DmKeyset, CapabilitiesAnswerWhatWorks) {
  // The navigation bits: what the fetches serve.
  const SQLUINTEGER navigation = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK;
  struct Case {
    SQLUSMALLINT type;
    SQLUINTEGER mask, value;
  } cases[] = {
      {SQL_SCROLL_OPTIONS, ~0u,
       SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC | SQL_SO_MIXED | SQL_SO_STATIC},
      {SQL_KEYSET_CURSOR_ATTRIBUTES1, navigation, navigation},
      {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, navigation, SQL_CA1_NEXT | SQL_CA1_RELATIVE},
  };
  for (const Case &c : cases) {
    SQLUINTEGER v = 0;
    ASSERT_EQ(SQLGetInfo(dbc, c.type, &v, sizeof v, nullptr), SQL_SUCCESS) << c.type;
    EXPECT_EQ(v & c.mask, c.value) << c.type;
  }
  SQLUSMALLINT collation = 9;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_NULL_COLLATION, &collation, sizeof collation, nullptr), SQL_SUCCESS);
  EXPECT_EQ(collation, SQL_NC_HIGH);
}

TEST_P(DmKeyset, KeysFoundForEveryKindOfTable) {
  // No index: the rows are read back by ROWID (beside a select list of "*").
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, 10);
  Run("SELECT * FROM NK ORDER BY K");
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(Ks(), Range(1, 5));
  Other("UPDATE NK SET A = 'y' WHERE K = 2");
  ASSERT_EQ(Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State();
  EXPECT_STREQ(rs.a[1], "y");
  // A primary key is taken before a nullable unique index: the rows with
  // NULL there come back.
  SQLFreeStmt(stmt, SQL_CLOSE);
  Run("SELECT K, A FROM PU ORDER BY K");
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  ASSERT_EQ(Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State();
  EXPECT_EQ(Ks(), Range(1, 4));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rs.status[i], SQL_ROW_SUCCESS) << i;
  // A view without keys: static read-only, said with 01S02.
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLFreeStmt(stmt, SQL_UNBIND);
  SQLRETURN rc = SQLExecDirect(stmt, Text("SELECT K, A FROM NKV ORDER BY K"), SQL_NTS);
  EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01S02");
  SQLULEN type = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_CURSOR_STATIC);
}

#ifdef KVD_OCILITE_HOOKS
// A mixed cursor reads keys only when its rowset leaves the keyset window:
// the rowsets inside it prepare nothing, the one beyond prepares the key
// query anew.
TEST_P(DmKeyset, MixedPreparesItsKeyQueryOnlyWhenTheWindowMoves) {
  Cursor(SQL_CURSOR_KEYSET_DRIVEN, 5, 20);
  Run("SELECT K, A FROM MT ORDER BY K");
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  const unsigned prepares = ocilite_test_calls(OCILITE_T_PREPARE);
  for (int i = 1; i < 4; ++i) {
    ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
    EXPECT_EQ(rs.k[0], 10 + 50 * i);
  }
  EXPECT_EQ(ocilite_test_calls(OCILITE_T_PREPARE), prepares);
  ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
  EXPECT_EQ(rs.k[0], 210);
  EXPECT_GT(ocilite_test_calls(OCILITE_T_PREPARE), prepares);
}
#endif

// Users A and AB own tables BC and C: the same letters, other keys. Prepared
// in turn on one connection, each table is read back by its own key.
TEST_P(DmKeyset, TablesWhoseOwnerAndNameRunTogetherKeepTheirOwnKeys) {
  const std::string tool = std::string("'") + KVD_BUILD_DIR + "/bin/ocilite-admin' ";
  const std::string dir = harness::AdminDatabase(std::string("keyset_owners_") + GetParam(), {});
  ASSERT_FALSE(dir.empty());
  const std::string quoted = "'" + dir + "' ";
  const struct {
    const char *user;
    std::vector<const char *> sql;
  } owners[] = {
      {"a", {"create table bc (k number(10) not null primary key, v varchar2(10))", "insert into bc values (1, 'a1')",
             "insert into bc values (2, 'a2')"}},
      {"ab", {"create table c (id number(10) not null primary key, v varchar2(10))", "insert into c values (10, 'b1')",
              "insert into c values (20, 'b2')", "insert into c values (30, 'b3')"}},
  };
  for (const auto &o : owners) {
    ASSERT_EQ(std::system((tool + "adduser " + quoted + o.user + " Pw1 >/dev/null").c_str()), 0) << o.user;
    for (const char *sql : o.sql)
      ASSERT_EQ(std::system((tool + "sql " + quoted + o.user + " Pw1 \"" + sql + "\" >/dev/null").c_str()), 0) << sql;
  }
  Close();
  other.Close();
  db = dir;
  Open(ConnStr());
  other.Open(ConnStr());
  const struct {
    const char *select;
    const char *update;
    const char *value;  // the second row's value after the update
    std::vector<int> keys;
  } reads[] = {
      {"SELECT K, V FROM A.BC ORDER BY K", "UPDATE A.BC SET V = 'z' WHERE K = 2", "z", {1, 2}},
      {"SELECT ID, V FROM AB.C ORDER BY ID", "UPDATE AB.C SET V = 'z' WHERE ID = 20", "z", {10, 20, 30}},
      {"SELECT K, V FROM A.BC ORDER BY K", "UPDATE A.BC SET V = 'y' WHERE K = 2", "y", {1, 2}},
  };
  for (const auto &r : reads) {
    SCOPED_TRACE(r.select);
    Cursor(SQL_CURSOR_KEYSET_DRIVEN, 10);
    Run(r.select);
    ASSERT_EQ(Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State();
    EXPECT_EQ(Ks(), r.keys);
    Other(r.update);
    ASSERT_EQ(Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State();
    EXPECT_EQ(Ks(), r.keys);
    EXPECT_STREQ(rs.a[1], r.value);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmKeyset, ::testing::Values("kvd_w", "kvd_a"),
                         [](const auto &info) { return std::string(info.param); });

}  // namespace
