// The catalog functions end to end through unixODBC with both drivers on the
// real agent over a database of the OCI stand-in: isql's help, the calls
// pyodbc does not make, the ODBC 2 type codes and the argument checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

const std::string &Database() {
  static const std::string dir = [] {
    std::string d = harness::AdminDatabase(
        "catalog_db", {"create table dept (deptno number(2) constraint pk_dept primary key, dname varchar2(14))",
                       "create table emp (empno number(4) primary key, ename varchar2(10), hiredate date)",
                       "create view emp_v as select empno from emp", "create sequence emp_seq",
                       "create synonym emp_s for emp"});
    if (d.empty()) ADD_FAILURE() << "the catalog database could not be made";
    return d;
  }();
  return dir;
}

std::string Shell(const std::string &cmd) {
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return "";
  std::string out;
  char buf[512];
  while (fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out;
}

TEST(IsqlHelp, ListsTablesAndColumns) {
  harness::DmInit({{"kvd_cat_w", harness::kDmUnicode, {{"SQLNETConnect", Database()}}},
                   {"kvd_cat_a", harness::kDmAnsi, {{"SQLNETConnect", Database()}}}});
  for (const char *tool : {"isql", "iusql"}) {
    for (const char *dsn : {"kvd_cat_w", "kvd_cat_a"}) {
      SCOPED_TRACE(std::string(tool) + " " + dsn);
      std::string all = Shell(std::string("echo help | ") + tool + " -b " + dsn + " scott tiger 2>&1");
      for (const char *name : {"DEPT", "EMP", "EMP_V"}) EXPECT_NE(all.find(name), std::string::npos) << all;
      EXPECT_EQ(all.find("ORA$"), std::string::npos) << all;
      EXPECT_EQ(all.find("EMP_SEQ"), std::string::npos) << all;
      std::string emp = Shell(std::string("echo 'help EMP' | ") + tool + " -b " + dsn + " scott tiger 2>&1");
      for (const char *col : {"EMPNO", "ENAME", "HIREDATE"}) EXPECT_NE(emp.find(col), std::string::npos) << emp;
    }
  }
}

struct DmCatalogCalls : ::testing::TestWithParam<const char *> {
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
  std::string State() {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR msg[512];
    SQLSMALLINT len = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len);
    return reinterpret_cast<char *>(state);
  }
  // Rows of the open result, columns (from 1) as text joined by '|'.
  std::vector<std::string> Rows(std::initializer_list<SQLUSMALLINT> cols) {
    std::vector<std::string> out;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
      std::string line;
      for (SQLUSMALLINT c : cols) {
        char buf[256] = "";
        SQLLEN ind = 0;
        SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &ind);
        if (c != *cols.begin()) line += "|";
        line += ind == SQL_NULL_DATA ? "<NULL>" : buf;
      }
      out.push_back(line);
    }
    SQLCloseCursor(stmt);
    return out;
  }
};

TEST_P(DmCatalogCalls, Odbc2DateCodeAndArgumentChecks) {
  Connect(SQL_OV_ODBC2);
  ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("EMP"), SQL_NTS, Text("HIREDATE"),
                                    SQL_NTS));
  EXPECT_EQ(Rows({4, 5, 7}), (std::vector<std::string>{"HIREDATE|11|19"}));
  // A table name is required for primary keys.
  EXPECT_EQ(SQL_ERROR, SQLPrimaryKeys(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, nullptr, 0));
  EXPECT_EQ(State(), "S1009");
}

TEST_P(DmCatalogCalls, PrivilegesTypesAndUnsupportedForms) {
  Connect(SQL_OV_ODBC3);
  ASSERT_EQ(SQL_SUCCESS, SQLTablePrivileges(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("EMP"), SQL_NTS));
  EXPECT_TRUE(Rows({3}).empty());
  ASSERT_EQ(SQL_SUCCESS, SQLColumnPrivileges(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("EMP"), SQL_NTS,
                                             Text("%"), SQL_NTS));
  EXPECT_TRUE(Rows({3}).empty());
  EXPECT_EQ(SQL_ERROR, SQLPrimaryKeys(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, nullptr, 0));
  EXPECT_EQ(State(), "HY009");
  // Catalogs are not listed.
  EXPECT_EQ(SQL_ERROR, SQLTables(stmt, Text("%"), SQL_NTS, Text(""), 0, Text(""), 0, nullptr, 0));
  EXPECT_EQ(State(), "HYC00");
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_ALL_TYPES));
  const bool unicode = std::string(GetParam()) == "kvd_w";
  EXPECT_EQ(Rows({1}).size(), unicode ? 22u : 15u);
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_INTEGER));
  EXPECT_TRUE(Rows({1}).empty());
  // Identifier arguments are not supported: SQL_FALSE only.
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_METADATA_ID, P(SQL_FALSE), 0));
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_METADATA_ID, P(SQL_TRUE), 0));
  EXPECT_EQ(State(), "HYC00");
}

TEST_P(DmCatalogCalls, ClaimedCatalogFunctionsAnswer) {
  Connect(SQL_OV_ODBC3);
  for (SQLUSMALLINT id : {SQL_API_SQLTABLES, SQL_API_SQLCOLUMNS, SQL_API_SQLSTATISTICS, SQL_API_SQLSPECIALCOLUMNS,
                          SQL_API_SQLPRIMARYKEYS, SQL_API_SQLFOREIGNKEYS, SQL_API_SQLTABLEPRIVILEGES,
                          SQL_API_SQLCOLUMNPRIVILEGES, SQL_API_SQLPROCEDURES, SQL_API_SQLPROCEDURECOLUMNS,
                          SQL_API_SQLGETTYPEINFO}) {
    SQLUSMALLINT claimed = SQL_FALSE;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, id, &claimed));
    EXPECT_EQ(claimed, SQL_TRUE) << id;
  }
  ASSERT_EQ(SQL_SUCCESS, SQLSpecialColumns(stmt, SQL_BEST_ROWID, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("EMP"),
                                           SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE));
  EXPECT_EQ(Rows({2}), (std::vector<std::string>{"EMPNO"}));
  ASSERT_EQ(SQL_SUCCESS, SQLStatistics(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("DEPT"), SQL_NTS,
                                       SQL_INDEX_ALL, SQL_QUICK));
  EXPECT_EQ(Rows({6, 9}), (std::vector<std::string>{"PK_DEPT|DEPTNO"}));
  ASSERT_EQ(SQL_SUCCESS, SQLProcedures(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("%"), SQL_NTS));
  EXPECT_TRUE(Rows({3}).empty());
  // A result column's type name is Oracle's.
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, Text("SELECT dname FROM dept"), SQL_NTS));
  char name[64] = "";
  SQLSMALLINT len = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, 1, SQL_DESC_TYPE_NAME, name, sizeof name, &len, nullptr)));
  EXPECT_STREQ(name, "VARCHAR2");
  SQLCloseCursor(stmt);
}

TEST_P(DmCatalogCalls, IncludeViewsAndIncludeAllWidenTheTypeList) {
  struct Case {
    const char *extra, *types;
    std::vector<std::string> want;
  } cases[] = {
      {"", "TABLE", {"DEPT|TABLE", "EMP|TABLE"}},
      {";IV=YES", "TABLE", {"DEPT|TABLE", "EMP|TABLE", "EMP_V|VIEW"}},
      {";IV=YES", "VIEW", {"EMP_V|VIEW"}},
      {";IA=YES", "VIEW", {"DEPT|TABLE", "EMP|TABLE", "EMP_V|VIEW"}},
  };
  for (const Case &c : cases) {
    TearDown();
    stmt = SQL_NULL_HSTMT, dbc = SQL_NULL_HDBC, env = SQL_NULL_HENV;
    Connect(SQL_OV_ODBC3, c.extra);
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("%"), SQL_NTS, Text(c.types),
                                     SQL_NTS));
    EXPECT_EQ(Rows({3, 4}), c.want) << c.extra << " " << c.types;
  }
}

// Synonyms are catalogued only with SHOWSYNONYMS, as their own type.
TEST_P(DmCatalogCalls, ShowSynonymsListsSynonymsAsTheirOwnType) {
  struct Case {
    const char *extra, *types;
    std::vector<std::string> want;
  } cases[] = {
      {"", nullptr, {"DEPT|TABLE", "EMP|TABLE", "EMP_V|VIEW"}},
      {"", "SYNONYM", {}},
      {";SHOWSYNONYMS=YES", nullptr, {"DEPT|TABLE", "EMP|TABLE", "EMP_S|SYNONYM", "EMP_V|VIEW"}},
      {";SHOWSYNONYMS=YES", "SYNONYM", {"EMP_S|SYNONYM"}},
      {";SHOWSYNONYMS=NO", "'TABLE','SYNONYM'", {"DEPT|TABLE", "EMP|TABLE"}},
  };
  for (const Case &c : cases) {
    TearDown();
    stmt = SQL_NULL_HSTMT, dbc = SQL_NULL_HDBC, env = SQL_NULL_HENV;
    Connect(SQL_OV_ODBC3, c.extra);
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("%"), SQL_NTS,
                                     c.types ? Text(c.types) : nullptr, c.types ? SQL_NTS : 0));
    EXPECT_EQ(Rows({3, 4}), c.want) << c.extra << " " << (c.types ? c.types : "all");
  }
}

// Keys added and dropped by ALTER TABLE reach SQLPrimaryKeys,
// SQLForeignKeys and SQLStatistics at once.
TEST_P(DmCatalogCalls, KeysChangedByAlterTableReachTheKeyCalls) {
  Connect(SQL_OV_ODBC3);
  for (const char *sql : {"create table proj (id number(4), deptno number(2), code varchar2(8))",
                          "insert into proj values (1, null, 'A')",
                          "alter table proj add constraint pk_proj primary key (id)",
                          "alter table proj add constraint fk_proj foreign key (deptno) references dept",
                          "alter table proj add constraint uk_code unique (code)"})
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql), SQL_NTS))) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  const auto keys = [&] {
    std::vector<std::string> out;
    EXPECT_EQ(SQL_SUCCESS, SQLPrimaryKeys(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("PROJ"), SQL_NTS));
    for (const std::string &r : Rows({4, 6})) out.push_back("P " + r);
    EXPECT_EQ(SQL_SUCCESS, SQLForeignKeys(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("DEPT"), SQL_NTS, nullptr, 0,
                                          Text("SCOTT"), SQL_NTS, Text("PROJ"), SQL_NTS));
    for (const std::string &r : Rows({4, 8, 12, 13})) out.push_back("R " + r);
    EXPECT_EQ(SQL_SUCCESS, SQLStatistics(stmt, nullptr, 0, Text("SCOTT"), SQL_NTS, Text("PROJ"), SQL_NTS, SQL_INDEX_ALL,
                                         SQL_QUICK));
    for (const std::string &r : Rows({6, 4, 9}))
      if (r.compare(0, 6, "<NULL>") != 0) out.push_back("I " + r);
    return out;
  };
  EXPECT_EQ(keys(), (std::vector<std::string>{"P ID|PK_PROJ", "R DEPTNO|DEPTNO|FK_PROJ|PK_DEPT", "I PK_PROJ|0|ID",
                                              "I UK_CODE|0|CODE"}));
  for (const char *sql : {"alter table proj drop constraint fk_proj", "alter table proj drop primary key",
                          "alter table proj drop unique (code)"})
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql), SQL_NTS))) << sql << ": " << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  EXPECT_EQ(keys(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmCatalogCalls, ::testing::Values("kvd_w", "kvd_a"),
                         [](const auto &info) { return std::string(info.param); });

}  // namespace
