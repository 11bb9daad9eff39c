// What each catalog function hands to the agent.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "fake.h"
#include "front_support.h"
#include "odbc/catalog.h"
#include "odbc/diag.h"
#include "odbc/sqlstate.h"
#include "odbc/trace.h"

using namespace front;

namespace {

// One call of a catalog operation as the agent saw it.
struct Seen {
  int slot;
  std::vector<std::string> names;  // "<null>" for a null entry
  uint16_t options[3];
};
std::vector<Seen> g_seen;
int32_t g_answer = 0;

template <int Slot>
int32_t Capture(DrvHandle, CatalogArgs *a) {
  Seen s{Slot, {}, {a->options[0], a->options[1], a->options[2]}};
  for (char *n : a->names) s.names.push_back(n ? n : "<null>");
  g_seen.push_back(s);
  return g_answer;
}

std::vector<std::string> Names(std::initializer_list<const char *> given) {
  std::vector<std::string> v(given.begin(), given.end());
  while (v.size() < 6) v.push_back("<null>");
  return v;
}

std::basic_string<SQLWCHAR> W(const char16_t *s) {
  std::basic_string<SQLWCHAR> w;
  for (; *s; ++s) w.push_back(static_cast<SQLWCHAR>(*s));
  return w;
}
SQLWCHAR *P(std::basic_string<SQLWCHAR> &s) { return s.data(); }
SQLCHAR *A(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

struct Catalog : FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  DrvOps ops{};
  void SetUp() override {
    FrontTest::SetUp();
    g_seen.clear();
    g_answer = 0;
    env = NewEnv();
    dbc = NewDbc(env);
    FakeConnect(dbc);
    stmt = NewStmt(dbc);
    Conn *c = ConnOf(dbc);
    ops = *c->drv.table;
    ops.DRV_DDColumnPrivileges = Capture<SLOT_DRV_DDColumnPrivileges>;
    ops.DRV_DDColumns = Capture<SLOT_DRV_DDColumns>;
    ops.DRV_DDForeignKeys = Capture<SLOT_DRV_DDForeignKeys>;
    ops.DRV_DDPrimaryKeys = Capture<SLOT_DRV_DDPrimaryKeys>;
    ops.DRV_DDProcedureColumns = Capture<SLOT_DRV_DDProcedureColumns>;
    ops.DRV_DDProcedures = Capture<SLOT_DRV_DDProcedures>;
    ops.DRV_DDSpecialColumns = Capture<SLOT_DRV_DDSpecialColumns>;
    ops.DRV_DDStatistics = Capture<SLOT_DRV_DDStatistics>;
    ops.DRV_DDTablePrivileges = Capture<SLOT_DRV_DDTablePrivileges>;
    ops.DRV_DDTables = Capture<SLOT_DRV_DDTables>;
    c->drv.table = &ops;
  }
  std::string State() {
    char s[6] = {0};
    DiagRecRead(StmtOf(stmt), 1, s, nullptr, nullptr, 0, nullptr);
    return s;
  }
  const Seen &Last() {
    static const Seen none{-1, {}, {}};
    return g_seen.empty() ? none : g_seen.back();
  }
};

TEST_F(Catalog, AbsentNamesGetTheirDefaultsInBothForms) {
  struct Case {
    const char *what;
    std::function<SQLRETURN(SQLHSTMT)> narrow, wide;
    int slot;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"ColumnPrivileges", [](SQLHSTMT s) { return SQLColumnPrivileges(s, nullptr, 0, nullptr, 0, A("T"), SQL_NTS, nullptr, 0); },
       [](SQLHSTMT s) { auto t = W(u"T"); return SQLColumnPrivilegesW(s, nullptr, 0, nullptr, 0, P(t), SQL_NTS, nullptr, 0); },
       SLOT_DRV_DDColumnPrivileges, Names({"", "", "T", "%"})},
      {"Columns", [](SQLHSTMT s) { return SQLColumns(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
       [](SQLHSTMT s) { return SQLColumnsW(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, SLOT_DRV_DDColumns,
       Names({"", "%", "%", "%"})},
      {"ForeignKeys",
       [](SQLHSTMT s) { return SQLForeignKeys(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
       [](SQLHSTMT s) { return SQLForeignKeysW(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
       SLOT_DRV_DDForeignKeys, Names({"", "", "", "", "", ""})},
      {"PrimaryKeys", [](SQLHSTMT s) { return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, A("T"), SQL_NTS); },
       [](SQLHSTMT s) { auto t = W(u"T"); return SQLPrimaryKeysW(s, nullptr, 0, nullptr, 0, P(t), SQL_NTS); },
       SLOT_DRV_DDPrimaryKeys, Names({"", "", "T"})},
      {"ProcedureColumns", [](SQLHSTMT s) { return SQLProcedureColumns(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
       [](SQLHSTMT s) { return SQLProcedureColumnsW(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
       SLOT_DRV_DDProcedureColumns, Names({"", "%", "%", "%"})},
      {"Procedures", [](SQLHSTMT s) { return SQLProcedures(s, nullptr, 0, nullptr, 0, nullptr, 0); },
       [](SQLHSTMT s) { return SQLProceduresW(s, nullptr, 0, nullptr, 0, nullptr, 0); }, SLOT_DRV_DDProcedures,
       Names({"", "%", "%"})},
      {"SpecialColumns",
       [](SQLHSTMT s) { return SQLSpecialColumns(s, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, A("T"), SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE); },
       [](SQLHSTMT s) { auto t = W(u"T"); return SQLSpecialColumnsW(s, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, P(t), SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE); },
       SLOT_DRV_DDSpecialColumns, Names({"", "", "T"})},
      {"Statistics", [](SQLHSTMT s) { return SQLStatistics(s, nullptr, 0, nullptr, 0, A("T"), SQL_NTS, SQL_INDEX_UNIQUE, SQL_ENSURE); },
       [](SQLHSTMT s) { auto t = W(u"T"); return SQLStatisticsW(s, nullptr, 0, nullptr, 0, P(t), SQL_NTS, SQL_INDEX_UNIQUE, SQL_ENSURE); },
       SLOT_DRV_DDStatistics, Names({"", "", "T"})},
      {"TablePrivileges", [](SQLHSTMT s) { return SQLTablePrivileges(s, nullptr, 0, nullptr, 0, nullptr, 0); },
       [](SQLHSTMT s) { return SQLTablePrivilegesW(s, nullptr, 0, nullptr, 0, nullptr, 0); }, SLOT_DRV_DDTablePrivileges,
       Names({"", "%", "%"})},
      {"Tables", [](SQLHSTMT s) { return SQLTables(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
       [](SQLHSTMT s) { return SQLTablesW(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, SLOT_DRV_DDTables,
       Names({"", "%", "%", ""})},
  };
  for (const Case &c : cases) {
    for (bool wide : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (wide ? "W" : ""));
      g_seen.clear();
      ASSERT_EQ(wide ? c.wide(stmt) : c.narrow(stmt), SQL_SUCCESS) << State();
      ASSERT_EQ(g_seen.size(), 1u);
      EXPECT_EQ(Last().slot, c.slot);
      EXPECT_EQ(Last().names, c.names);
      EXPECT_EQ(StmtOf(stmt)->state, STMT_PREPARED);
      EXPECT_TRUE(StmtOf(stmt)->flags & STMTF_RESULT_OPEN);
    }
  }
}

TEST_F(Catalog, OptionsAndQuotedNames) {
  ASSERT_EQ(SQLSpecialColumns(stmt, SQL_ROWVER, A("'cat'"), SQL_NTS, A("\"Scott\""), SQL_NTS, A("\"Emp\""), SQL_NTS,
                              SQL_SCOPE_TRANSACTION, SQL_NO_NULLS),
            SQL_SUCCESS);
  EXPECT_EQ(Last().names, Names({"cat", "Scott", "Emp"}));
  EXPECT_EQ(Last().options[0], SQL_ROWVER);
  EXPECT_EQ(Last().options[1], SQL_SCOPE_TRANSACTION);
  EXPECT_EQ(Last().options[2], SQL_NO_NULLS);
  ASSERT_EQ(SQLStatistics(stmt, nullptr, 0, A("SCOTTX"), 5, A("EMP"), SQL_NTS, SQL_INDEX_UNIQUE, SQL_ENSURE),
            SQL_SUCCESS);
  EXPECT_EQ(Last().names, Names({"", "SCOTT", "EMP"})) << "a length cuts the name";
  EXPECT_EQ(Last().options[0], SQL_INDEX_UNIQUE);
  EXPECT_EQ(Last().options[1], SQL_ENSURE);
  // Wide names arrive as UTF-8 without their quotes; a lone quote stays.
  auto t = W(u"\"Gr\u00FC\u00DFe\""), c = W(u"\""), s = W(u"S");
  ASSERT_EQ(SQLColumnsW(stmt, nullptr, 0, P(s), SQL_NTS, P(t), SQL_NTS, P(c), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(Last().names, Names({"", "S", "Gr\xC3\xBC\xC3\x9F" "e", "\""}));
  ASSERT_EQ(SQLForeignKeys(stmt, A("a"), 1, A("b"), 1, A("c"), 1, A("d"), 1, A("e"), 1, A("f"), 1), SQL_SUCCESS);
  EXPECT_EQ(Last().names, Names({"a", "b", "c", "d", "e", "f"}));
}

TEST_F(Catalog, TableTypeList) {
  Conn *c = ConnOf(dbc);
  struct Case {
    const char *types;
    uint16_t flags;
    const char *passed;
  } cases[] = {
      {"TABLE , VIEW", 0, "'TABLE','VIEW'"},
      {"'TABLE','VIEW'", 0, "'TABLE','VIEW'"},
      {"  TABLE  ,  SYNONYM  ", 0, "'TABLE','SYNONYM'"},
      {"%", 0, "%"},
      {"%,TABLE", 0, "%"},
      {"", 0, ""},
      {"TABLE", CONNF_INCLUDE_VIEWS, "'TABLE','VIEW'"},
      {"'VIEW'", CONNF_INCLUDE_VIEWS, "'VIEW'"},
      {"VIEW,TABLE", CONNF_INCLUDE_VIEWS, "'VIEW','TABLE'"},
      {"TABLE", CONNF_INCLUDE_ALL, ""},
      {"TABLE,VIEW", CONNF_INCLUDE_ALL | CONNF_INCLUDE_VIEWS, ""},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.types);
    c->flags = static_cast<uint16_t>((c->flags & ~(CONNF_INCLUDE_VIEWS | CONNF_INCLUDE_ALL)) | k.flags);
    ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, A("T"), SQL_NTS, A(k.types), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(Last().names[3], k.passed);
  }
  c->flags &= static_cast<uint16_t>(~(CONNF_INCLUDE_VIEWS | CONNF_INCLUDE_ALL));
  // A negative length other than SQL_NTS counts as SQL_NTS here.
  ASSERT_EQ(SQLTables(stmt, nullptr, -7, nullptr, 0, A("T"), -100, A("TABLE"), -1), SQL_SUCCESS);
  EXPECT_EQ(Last().names, Names({"", "%", "T", "'TABLE'"}));
  // Many elements: the rewritten list is sized from the input.
  std::string many, want = "'";
  for (int i = 0; i < 200; ++i) {
    many += (i ? "," : "") + std::string("T");
    want += (i ? "','" : "") + std::string("T");
  }
  want += "'";
  ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, A(many.c_str()), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(Last().names[3], want);
}

TEST(TableTypeList, QuoteAndFind) {
  const char *cases[][2] = {
      {"TABLE , VIEW", "'TABLE','VIEW'"}, {" A ,B, 'C' ", "'A','B','C'"}, {",", "'',''"}, {"''", "''"}, {" ", "''"},
  };
  for (auto &k : cases) {
    char *q = TableTypeListQuote(k[0]);
    EXPECT_STREQ(q, k[1]) << k[0];
    free(q);
  }
  EXPECT_EQ(TableTypeListQuote(nullptr), nullptr);
  EXPECT_EQ(TableTypeListFind("'TABLE','VIEW'", "'VIEW'"), 2);
  EXPECT_EQ(TableTypeListFind("'TABLE', 'VIEW'", "'VIEW'"), 2);
  EXPECT_EQ(TableTypeListFind("'TABLES','VIEW'", "'TABLE'"), 0);
  EXPECT_EQ(TableTypeListFind("'table'", "'TABLE'"), 0);
  EXPECT_EQ(TableTypeListFind(nullptr, "'TABLE'"), 0);
  EXPECT_EQ(TableTypeListFind("'TABLE'", nullptr), 0);
}

TEST_F(Catalog, RefusedBeforeTheAgent) {
  // A required table name that is absent.
  EXPECT_EQ(SQLPrimaryKeys(stmt, A("c"), SQL_NTS, A("s"), SQL_NTS, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(State(), "HY009");
  EXPECT_EQ(SQLPrimaryKeysW(stmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(SQLStatistics(stmt, nullptr, 0, nullptr, 0, nullptr, 0, SQL_INDEX_ALL, SQL_QUICK), SQL_ERROR);
  EXPECT_EQ(SQLSpecialColumns(stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0), SQL_ERROR);
  EXPECT_EQ(SQLColumnPrivileges(stmt, nullptr, 0, nullptr, 0, nullptr, 0, A("c"), SQL_NTS), SQL_ERROR);
  // A length below 0 that is not SQL_NTS.
  EXPECT_EQ(SQLColumns(stmt, nullptr, 0, A("S"), -2, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(State(), "HY090");
  EXPECT_TRUE(g_seen.empty());
  EXPECT_EQ(StmtOf(stmt)->state, STMT_IDLE);
}

TEST_F(Catalog, OpenResultIsClosedFirst) {
  ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  const int closes = fake::CallCount(SLOT_DRV_CloseCursor);
  ASSERT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, A("T"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), closes + 1);
  EXPECT_EQ(Last().slot, SLOT_DRV_DDColumns);
}

TEST_F(Catalog, AgentFailureKeepsItsCodeAndMessages) {
  g_answer = E_42S02;
  fake::PostErrors(StmtOf(stmt)->agentCursor,
                   {{fake::OraText("ORA-00942: table or view does not exist", "42S02"), 942}});
  EXPECT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, A("NOPE"), SQL_NTS, nullptr, 0), SQL_ERROR);
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR msg[256];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char *>(state), "42S02");
  EXPECT_EQ(native, 942);
  EXPECT_STREQ(reinterpret_cast<char *>(msg), "[Zezuzeru][ODBC][Oracle Server]ORA-00942: table or view does not exist");
  EXPECT_EQ(StmtOf(stmt)->state, STMT_IDLE);
}

// A catalog operation during which a failover completed (183) opened its
// result: a success with information, the result there to fetch.
TEST_F(Catalog, CompletedFailoverKeepsTheResult) {
  g_answer = E_IM500;
  EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(StmtOf(stmt)->state, STMT_PREPARED);
  EXPECT_TRUE(StmtOf(stmt)->flags & STMTF_RESULT_OPEN);
}

TEST_F(Catalog, TraceShowsTheTextsAsPassed) {
  char dir[] = "/tmp/kvd_catalog_traceXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/odbc.log";
  setenv("TVX_DEBUGFILE", file.c_str(), 1);
  TraceOpen(TRACE_ODBC);
  ASSERT_TRUE(TraceIsOn());
  SQLStatistics(stmt, nullptr, 0, A("\"Scott\""), SQL_NTS, A("EMP"), SQL_NTS, SQL_INDEX_UNIQUE, SQL_ENSURE);
  SQLTables(stmt, nullptr, 0, nullptr, 0, A("T%"), SQL_NTS, A("TABLE , VIEW"), SQL_NTS);
  SQLLEN v = 0;
  SQLColAttribute(stmt, 1, 100, nullptr, 0, nullptr, &v);
  TraceClose(TRACE_ODBC);
  unsetenv("TVX_DEBUGFILE");
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("Qualifier='' Owner='Scott' Name='EMP' Unique=0 Accuracy=1\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("Qualifier='' Owner='%' Name='T%' Type='TABLE , VIEW'\n"), std::string::npos);
  EXPECT_NE(text.str().find("SQLColAttribute - unknown field identifier\n"), std::string::npos);
  remove(file.c_str());
  rmdir(dir);
}

}  // namespace
