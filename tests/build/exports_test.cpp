// Each built driver exports exactly its list (version script and hidden
// default visibility), and neither links the Driver Manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

// The 38 ODBC functions without text arguments: one name in both drivers.
const char *const kPlain[] = {
    "SQLAllocConnect", "SQLAllocEnv", "SQLAllocHandle", "SQLAllocStmt", "SQLBindCol", "SQLBindParameter",
    "SQLBulkOperations", "SQLCancel", "SQLCloseCursor", "SQLCopyDesc", "SQLDescribeParam", "SQLDisconnect",
    "SQLEndTran", "SQLExecute", "SQLExtendedFetch", "SQLFetch", "SQLFetchScroll", "SQLFreeConnect", "SQLFreeEnv",
    "SQLFreeHandle", "SQLFreeStmt", "SQLGetData", "SQLGetEnvAttr", "SQLGetFunctions", "SQLGetStmtOption",
    "SQLMoreResults", "SQLNumParams", "SQLNumResultCols", "SQLParamData", "SQLParamOptions", "SQLPutData",
    "SQLRowCount", "SQLSetDescRec", "SQLSetEnvAttr", "SQLSetParam", "SQLSetPos", "SQLSetStmtOption",
    "SQLTransact"};

// The 33 ODBC functions with text arguments: W names in the Unicode driver,
// these narrow names in the ANSI driver.
const char *const kText[] = {
    "SQLColAttribute", "SQLColumnPrivileges", "SQLColumns", "SQLConnect", "SQLDescribeCol", "SQLDriverConnect",
    "SQLError", "SQLExecDirect", "SQLForeignKeys", "SQLGetConnectAttr", "SQLGetConnectOption",
    "SQLGetCursorName", "SQLGetDescField", "SQLGetDescRec", "SQLGetDiagField", "SQLGetDiagRec", "SQLGetInfo",
    "SQLGetStmtAttr", "SQLGetTypeInfo", "SQLNativeSql", "SQLPrepare", "SQLPrimaryKeys", "SQLProcedureColumns",
    "SQLProcedures", "SQLSetConnectAttr", "SQLSetConnectOption", "SQLSetCursorName", "SQLSetDescField",
    "SQLSetStmtAttr", "SQLSpecialColumns", "SQLStatistics", "SQLTablePrivileges", "SQLTables"};

// Setup queries and XA. LibMain and WEP are deliberately absent: attach and
// detach run only from the library's constructor and destructor.
const char *const kOther[] = {"GetSetupDatabase", "GetSetupRegistry", "tvx_xa_switch",
                              "GetXaSwitch",      "SQLGetXaEnv",      "SQLGetXaConnect"};

std::set<std::string> Expected(bool unicode) {
  std::set<std::string> s(std::begin(kPlain), std::end(kPlain));
  for (const char *n : kText) s.insert(std::string(n) + (unicode ? "W" : ""));
  s.insert(std::begin(kOther), std::end(kOther));
  return s;
}

std::string Shell(const std::string &cmd) {
  std::string out;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Defined dynamic symbols, version suffixes and version nodes (type A) left out.
std::set<std::string> Exported(const std::string &lib) {
  std::set<std::string> s;
  std::istringstream in(Shell("nm -D --defined-only '" + lib + "'"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string addr, type, name;
    if (!(f >> addr >> type >> name)) continue;
    if (type == "A") continue;
    s.insert(name.substr(0, name.find('@')));
  }
  return s;
}

// Names in the global part of a version script.
std::set<std::string> MapNames(const std::string &path) {
  std::ifstream f(path);
  std::stringstream ss;
  ss << f.rdbuf();
  std::string text = std::regex_replace(ss.str(), std::regex(R"(/\*[\s\S]*?\*/)"), "");
  auto g = text.find("global:"), l = text.find("local:");
  std::set<std::string> s;
  if (g == std::string::npos || l == std::string::npos || l < g) return s;
  std::string globals = text.substr(g + 7, l - g - 7);
  std::regex name(R"(([A-Za-z_][A-Za-z0-9_]*)\s*;)");
  for (std::sregex_iterator it(globals.begin(), globals.end(), name), end; it != end; ++it) s.insert((*it)[1]);
  return s;
}

std::string Join(const std::set<std::string> &s) {
  std::string t;
  for (auto &n : s) t += (t.empty() ? "" : " ") + n;
  return t;
}

struct Lib {
  const char *file;
  bool unicode;
};
const Lib kLibs[] = {{"kvd7r22xw.so", true}, {"kvd7r22x.so", false}, {"kvd7r22xw_fake.so", true},
                     {"kvd7r22x_fake.so", false}};

std::string LibPath(const Lib &l) { return std::string(KVD_BUILD_DIR) + "/lib/" + l.file; }

TEST(Exports, ListsHaveTheirSizes) {
  EXPECT_EQ(std::size(kPlain), 38u);
  EXPECT_EQ(std::size(kText), 33u);
  EXPECT_EQ(Expected(true).size(), 77u);
  EXPECT_EQ(Expected(false).size(), 77u);
}

// The version scripts hold exactly the expected names (both directions).
TEST(Exports, VersionScriptsListExactlyTheExports) {
  for (bool unicode : {true, false}) {
    std::string map = std::string(KVD_SOURCE_DIR) + "/drivers/" + (unicode ? "kvd7r22xw" : "kvd7r22x") + ".map";
    std::set<std::string> got = MapNames(map), want = Expected(unicode), extra, missing;
    std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::inserter(extra, extra.end()));
    std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::inserter(missing, missing.end()));
    EXPECT_TRUE(extra.empty()) << map << " lists more: " << Join(extra);
    EXPECT_TRUE(missing.empty()) << map << " lacks: " << Join(missing);
  }
}

// No library exports anything outside its list (no leaked internal symbol,
// no narrow name from the Unicode driver, no W name from the ANSI driver).
TEST(Exports, NothingOutsideTheList) {
  for (const Lib &l : kLibs) {
    std::set<std::string> got = Exported(LibPath(l)), want = Expected(l.unicode), extra;
    std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::inserter(extra, extra.end()));
    EXPECT_TRUE(extra.empty()) << l.file << " exports more: " << Join(extra);
  }
}

// Every listed name is exported. Disabled until the front end, setup and XA
// entry points are all defined; run it with --gtest_also_run_disabled_tests
// to see what is still missing.
TEST(Exports, EveryListedNameExported) {
  for (const Lib &l : kLibs) {
    std::set<std::string> got = Exported(LibPath(l)), want = Expected(l.unicode), missing;
    std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::inserter(missing, missing.end()));
    EXPECT_TRUE(missing.empty()) << l.file << " lacks: " << Join(missing);
  }
}

// The drivers never link the Driver Manager: their own ODBC calls must bind
// to their own code.
TEST(Exports, NoDriverManagerDependency) {
  for (const Lib &l : kLibs) {
    std::string dyn = Shell("readelf -d '" + LibPath(l) + "'");
    ASSERT_NE(dyn.find("NEEDED"), std::string::npos) << l.file << ": readelf gave nothing";
    EXPECT_EQ(dyn.find("libodbc.so"), std::string::npos) << l.file << " links libodbc";
    EXPECT_EQ(dyn.find("libodbcinst.so"), std::string::npos) << l.file << " links libodbcinst";
  }
}

}  // namespace
