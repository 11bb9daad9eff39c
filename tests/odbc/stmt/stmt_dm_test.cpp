// Statement options, attributes and cursor names as applications reach them:
// through unixODBC with both test drivers, and by direct load where the
// Driver Manager answers a call itself (the descriptor handles it asks for
// at every statement allocation).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "dm_session.h"
#include "fake.h"
#include "harness.h"

namespace {

SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

constexpr int32_t kCaps = CAP_MAX_LENGTH | CAP_PARAMOP | CAP_MORERES;

// One connection through the Driver Manager to a test driver (the
// parameter) on the fake agent, and a statement on it.
struct DmStmt : ::testing::TestWithParam<const char *>, harness::DmSession {
  void SetUp() override {
    harness::DmInit();
    fake::Reset();
    fake::SetInfo(INFO_CAPS_MASK, kCaps);
    Open(std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger");
  }
  SQLULEN GetAttr(SQLINTEGER attr) const {
    SQLULEN v = 0xA5A5A5A5A5A5A5A5ull;
    EXPECT_EQ(SQLGetStmtAttr(stmt, attr, &v, 0, nullptr), SQL_SUCCESS) << attr << " " << State();
    return v;
  }
  // The agent answers the next set of the option with 75 and then reports
  // the value it stored instead.
  static void AgentChanges(SQLUSMALLINT option, int32_t stored) {
    fake::Script(SLOT_DRV_SetInfo).queue = {E_01S02};
    fake::SetInfo(InfoStmtOption(option), stored);
  }
};

struct AttrCase {
  const char *what;
  SQLINTEGER attr;
  intptr_t value;
  int32_t agentStores;  // -1: the agent keeps the value it is sent
  SQLRETURN rc;
  const char *state;
  intptr_t readBack;    // -1: not read back
};

TEST_P(DmStmt, AttributesRoundTripWithTheirStates) {
  const AttrCase cases[] = {
      {"timeout", SQL_ATTR_QUERY_TIMEOUT, 30, -1, SQL_SUCCESS, "", 30},
      {"negative timeout", SQL_ATTR_QUERY_TIMEOUT, -5, -1, SQL_SUCCESS, "", 0},
      {"max rows", SQL_ATTR_MAX_ROWS, 500, -1, SQL_SUCCESS, "", 500},
      {"noscan", SQL_ATTR_NOSCAN, SQL_NOSCAN_ON, -1, SQL_SUCCESS, "", SQL_NOSCAN_ON},
      {"max length raised", SQL_ATTR_MAX_LENGTH, 100, -1, SQL_SUCCESS_WITH_INFO, "01S02", 8192},
      {"max length kept", SQL_ATTR_MAX_LENGTH, 9000, -1, SQL_SUCCESS, "", 9000},
      {"max length none", SQL_ATTR_MAX_LENGTH, 0, -1, SQL_SUCCESS, "", 0},
      {"static", SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC, -1, SQL_SUCCESS, "", SQL_CURSOR_STATIC},
      {"dynamic falls back", SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_DYNAMIC, SQL_CURSOR_STATIC, SQL_SUCCESS_WITH_INFO,
       "01S02", SQL_CURSOR_STATIC},
      {"row versions become values", SQL_ATTR_CONCURRENCY, SQL_CONCUR_ROWVER, SQL_CONCUR_VALUES,
       SQL_SUCCESS_WITH_INFO, "01S02", SQL_CONCUR_VALUES},
      {"lock", SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK, -1, SQL_SUCCESS, "", SQL_CONCUR_LOCK},
      {"keyset", SQL_ATTR_KEYSET_SIZE, 10, -1, SQL_SUCCESS, "", 10},
      {"simulate", SQL_ATTR_SIMULATE_CURSOR, SQL_SC_UNIQUE, -1, SQL_SUCCESS, "", SQL_SC_UNIQUE},
      {"retrieve", SQL_ATTR_RETRIEVE_DATA, SQL_RD_OFF, -1, SQL_SUCCESS, "", SQL_RD_OFF},
      {"bookmarks", SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE, -1, SQL_SUCCESS, "", SQL_UB_ON},
      {"auto ipd on", SQL_ATTR_ENABLE_AUTO_IPD, SQL_TRUE, -1, SQL_SUCCESS, "", SQL_TRUE},
      {"auto ipd stays on", SQL_ATTR_ENABLE_AUTO_IPD, SQL_FALSE, -1, SQL_SUCCESS_WITH_INFO, "01S02", SQL_TRUE},
      {"metadata id false", SQL_ATTR_METADATA_ID, SQL_FALSE, -1, SQL_SUCCESS, "", SQL_FALSE},
      {"metadata id true", SQL_ATTR_METADATA_ID, SQL_TRUE, -1, SQL_ERROR, "HYC00", SQL_FALSE},
      {"scrollable", SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE, -1, SQL_SUCCESS, "", SQL_SCROLLABLE},
      {"insensitive", SQL_ATTR_CURSOR_SENSITIVITY, SQL_INSENSITIVE, -1, SQL_SUCCESS, "", SQL_INSENSITIVE},
      {"sensitivity out of range", SQL_ATTR_CURSOR_SENSITIVITY, 9, -1, SQL_ERROR, "HY024", SQL_INSENSITIVE},
      {"row array of three", SQL_ATTR_ROW_ARRAY_SIZE, 3, -1, SQL_SUCCESS, "", 3},
      {"row array of none", SQL_ATTR_ROW_ARRAY_SIZE, 0, -1, SQL_ERROR, "HY024", 3},
      {"paramset of two", SQL_ATTR_PARAMSET_SIZE, 2, -1, SQL_SUCCESS, "", 2},
      {"paramset of none", SQL_ATTR_PARAMSET_SIZE, 0, -1, SQL_ERROR, "HY024", 2},
      {"unknown", 4321, 1, -1, SQL_ERROR, "HY092", -1},
  };
  for (const AttrCase &c : cases) {
    if (c.agentStores >= 0) AgentChanges(static_cast<SQLUSMALLINT>(c.attr), c.agentStores);
    SQLRETURN rc = SQLSetStmtAttr(stmt, c.attr, P(c.value), 0);
    EXPECT_EQ(rc, c.rc) << c.what << " " << State();
    EXPECT_EQ(State(), c.state) << c.what;
    if (c.readBack >= 0) {
      SQLULEN got = GetAttr(c.attr);
      // The one SQLUINTEGER among them.
      if (c.attr == SQL_ATTR_ENABLE_AUTO_IPD) got &= 0xFFFFFFFFu;
      EXPECT_EQ(got, static_cast<SQLULEN>(c.readBack)) << c.what;
    }
  }
}

TEST_P(DmStmt, PointerAttributesAndNull) {
  SQLULEN fetched = 0;
  SQLUSMALLINT statuses[4];
  for (SQLINTEGER attr : {SQL_ATTR_ROWS_FETCHED_PTR, SQL_ATTR_ROW_STATUS_PTR, SQL_ATTR_PARAM_STATUS_PTR,
                          SQL_ATTR_PARAMS_PROCESSED_PTR}) {
    void *p = attr == SQL_ATTR_ROWS_FETCHED_PTR || attr == SQL_ATTR_PARAMS_PROCESSED_PTR
                  ? static_cast<void *>(&fetched)
                  : static_cast<void *>(statuses);
    EXPECT_EQ(SQLSetStmtAttr(stmt, attr, p, 0), SQL_SUCCESS) << attr << " " << State();
    EXPECT_EQ(GetAttr(attr), reinterpret_cast<SQLULEN>(p)) << attr;
    // Withdrawn: the driver must not write there any more.
    EXPECT_EQ(SQLSetStmtAttr(stmt, attr, nullptr, 0), SQL_SUCCESS) << attr;
    EXPECT_EQ(GetAttr(attr), 0u) << attr;
  }
}

// The ODBC 2 functions: rowset size 200 is capped at 100 by the agent
// unless the data source's NRSSL setting lifts the cap.
TEST_P(DmStmt, Odbc2Options) {
  AgentChanges(SQL_ROWSET_SIZE, 100);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 200), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01S02");
  SQLULEN v = 0;
  EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROWSET_SIZE, &v), SQL_SUCCESS);
  EXPECT_EQ(v & 0xFFFFFFFFu, 100u);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 200), SQL_SUCCESS);
  EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROWSET_SIZE, &v), SQL_SUCCESS);
  EXPECT_EQ(v & 0xFFFFFFFFu, 200u);
  AgentChanges(SQL_CONCURRENCY, SQL_CONCUR_VALUES);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_ROWVER), SQL_SUCCESS_WITH_INFO);
  v = 0;
  EXPECT_EQ(SQLGetStmtOption(stmt, SQL_CONCURRENCY, &v), SQL_SUCCESS);
  EXPECT_EQ(v & 0xFFFFFFFFu, static_cast<SQLULEN>(SQL_CONCUR_VALUES));
}

// A cursor type the agent cannot give at prepare: 01S02 from SQLPrepare and
// the agent's type read back.
TEST_P(DmStmt, CursorTypeFallBackAtPrepare) {
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(SQL_CURSOR_KEYSET_DRIVEN), 0), SQL_SUCCESS);
  fake::Script(SLOT_DRV_Prepare).hook = [] { fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), SQL_CURSOR_STATIC); };
  EXPECT_EQ(SQLPrepare(stmt, Text("select * from emp"), SQL_NTS), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01S02");
  EXPECT_EQ(GetAttr(SQL_ATTR_CURSOR_TYPE), static_cast<SQLULEN>(SQL_CURSOR_STATIC));
  // A max length cannot change while prepared.
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, P(100), 0), SQL_ERROR);
  EXPECT_EQ(State(), "HY011");
}

TEST_P(DmStmt, CursorNames) {
  char name[64] = {};
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetCursorName(stmt, Text(name), sizeof name, &len), SQL_SUCCESS);
  EXPECT_TRUE(std::regex_match(name, std::regex("CN[0-9A-F]+"))) << name;
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(strlen(name)));
  ASSERT_EQ(SQLSetCursorName(stmt, Text("ABCDEFGHIJ"), 4), SQL_SUCCESS);
  ASSERT_EQ(SQLGetCursorName(stmt, Text(name), sizeof name, &len), SQL_SUCCESS);
  EXPECT_STREQ(name, "ABCD");
  // Cut with 01004 and the full length (the agent's copy reports it).
  fake::Table()->DRV_GetCursorName = [](DrvHandle cursor, char *buf, uint16_t size, int16_t *out) -> int32_t {
    const std::string n = fake::CursorName(cursor);
    if (out) *out = static_cast<int16_t>(n.size());
    if (!buf) return 0;
    if (n.size() < size) {
      memcpy(buf, n.c_str(), n.size() + 1);
      return 0;
    }
    if (size > 0) {
      memcpy(buf, n.data(), size - 1u);
      buf[size - 1] = '\0';
    }
    return E_01004;
  };
  ASSERT_EQ(SQLSetCursorName(stmt, Text("LONG_CURSOR_NAME"), SQL_NTS), SQL_SUCCESS);
  len = 0;
  EXPECT_EQ(SQLGetCursorName(stmt, Text(name), 5, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(name, "LONG");
  EXPECT_EQ(len, 16);
  EXPECT_EQ(State(), "01004");
}

// An explicit descriptor as the statement's ARD and APD and back; its
// records written with SQLSetDescRec, read with SQLGetDescRec and copied.
TEST_P(DmStmt, ExplicitDescriptors) {
  SQLHDESC user = SQL_NULL_HDESC;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &user), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(user, 0, SQL_DESC_ARRAY_SIZE, P(4), 0), SQL_SUCCESS);
  SQLHDESC implicitArd = SQL_NULL_HDESC;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &implicitArd, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << State();
  EXPECT_EQ(GetAttr(SQL_ATTR_ROW_ARRAY_SIZE), 4u);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, user, 0), SQL_SUCCESS) << State();
  EXPECT_EQ(GetAttr(SQL_ATTR_PARAMSET_SIZE), 4u);
  // Back on the implicit descriptors.
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, nullptr, 0), SQL_SUCCESS) << State();
  // (The Driver Manager answers which handle is current itself; the sizes
  // show that the driver went back.)
  EXPECT_EQ(GetAttr(SQL_ATTR_ROW_ARRAY_SIZE), 1u);
  EXPECT_EQ(GetAttr(SQL_ATTR_PARAMSET_SIZE), 1u);

  // Records.
  SQLLEN len = 0, ind = 0;
  ASSERT_EQ(SQLSetDescRec(user, 1, SQL_C_CHAR, 0, 30, 0, 0, nullptr, &len, &ind), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_DESC, user);
  ASSERT_EQ(SQLSetDescRec(user, 2, SQL_DATETIME, SQL_CODE_TIMESTAMP, 16, 0, 0, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  SQLSMALLINT type = 0, sub = -1;
  SQLLEN length = 0;
  ASSERT_EQ(SQLGetDescRec(user, 1, nullptr, 0, nullptr, &type, &sub, &length, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(type, SQL_C_CHAR);
  EXPECT_EQ(sub, 0);
  EXPECT_EQ(length, 30);
  ASSERT_EQ(SQLGetDescRec(user, 2, nullptr, 0, nullptr, &type, &sub, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(sub, SQL_CODE_TIMESTAMP);
  // Copied into the statement's ARD, which then has both records.
  ASSERT_EQ(SQLCopyDesc(user, implicitArd), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_DESC, implicitArd);
  SQLSMALLINT count = 0;
  ASSERT_EQ(SQLGetDescField(implicitArd, 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(SQLGetDescRec(implicitArd, 1, nullptr, 0, nullptr, &type, nullptr, &length, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(type, SQL_C_CHAR);
  EXPECT_EQ(length, 30);
  // Nothing is copied into an implementation row descriptor.
  SQLHDESC ird = SQL_NULL_HDESC;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(SQLCopyDesc(user, ird), SQL_ERROR);
  auto d = harness::DmDiags(SQL_HANDLE_DESC, ird);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d[0].state, "HY016");
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmStmt, ::testing::Values("kvd_fake_w", "kvd_fake_a"),
                         [](const auto &info) { return std::string(info.param); });

// ---- On the real agent -----------------------------------------------------------

// One database for the run, made with the OCI stand-in's admin tool: T(ID,
// NAME) with rows 1 "one" and 2 "two".
const std::string &AgentDatabase() {
  static const std::string dir = [] {
    std::string d = harness::AdminDatabase("stmt_db", {"create table t (id number(10), name varchar2(30))",
                                                       "insert into t values (1, 'one')",
                                                       "insert into t values (2, 'two')"});
    if (d.empty()) ADD_FAILURE() << "the statement database could not be made";
    return d;
  }();
  return dir;
}

// One connection through the Driver Manager to a driver (the parameter) on
// the real agent, and a statement on it.
struct DmAgentStmt : DmStmt {
  void SetUp() override {
    harness::DmInit();
    Open(std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + AgentDatabase());
  }
};

// Read-only, lock and values are offered; row versions become values with
// 01S02, never taken silently.
TEST_P(DmAgentStmt, ConcurrencyFallsBackToWhatTheAgentOffers) {
  struct Case {
    SQLULEN asked;
    SQLRETURN rc;
    const char *state;
    SQLULEN inForce;
  };
  const Case cases[] = {
      {SQL_CONCUR_ROWVER, SQL_SUCCESS_WITH_INFO, "01S02", SQL_CONCUR_VALUES},
      {SQL_CONCUR_LOCK, SQL_SUCCESS, "", SQL_CONCUR_LOCK},
      {SQL_CONCUR_VALUES, SQL_SUCCESS, "", SQL_CONCUR_VALUES},
      {SQL_CONCUR_READ_ONLY, SQL_SUCCESS, "", SQL_CONCUR_READ_ONLY},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.asked);
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, P(static_cast<intptr_t>(c.asked)), 0), c.rc) << State();
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(GetAttr(SQL_ATTR_CONCURRENCY), c.inForce);
  }
  // The ODBC 2 option reads the same.
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_ROWVER), SQL_SUCCESS_WITH_INFO);
  SQLULEN v = 0;
  ASSERT_EQ(SQLGetStmtOption(stmt, SQL_CONCURRENCY, &v), SQL_SUCCESS);
  EXPECT_EQ(static_cast<SQLUINTEGER>(v), static_cast<SQLUINTEGER>(SQL_CONCUR_VALUES));
}

// An ODBC 2 application's row limit set on the connection holds for a new
// statement also when its concurrency or cursor type is set before its first
// prepare: 1 row of the 2 comes.
TEST_P(DmAgentStmt, ConnectionRowLimitHoldsAfterACursorOptionBeforePrepare) {
  SQLHENV env2 = SQL_NULL_HENV;
  SQLHDBC dbc2 = SQL_NULL_HDBC;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env2), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(env2, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC2), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env2, &dbc2), SQL_SUCCESS);
  std::string in = std::string("DSN=") + GetParam() + ";UID=scott;PWD=tiger;SQLNET=" + AgentDatabase();
  ASSERT_TRUE(SQL_SUCCEEDED(
      SQLDriverConnect(dbc2, nullptr, Text(in.c_str()), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectOption(dbc2, SQL_MAX_ROWS, 1))) << harness::DmDiagText(SQL_HANDLE_DBC, dbc2);
  const std::pair<SQLUSMALLINT, SQLULEN> setFirst[] = {{SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY},
                                                      {SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY}};
  for (const auto &[option, value] : setFirst) {
    SCOPED_TRACE(option);
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc2, &h), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtOption(h, option, value))) << harness::DmDiagText(SQL_HANDLE_STMT, h);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, Text("select id from t order by id"), SQL_NTS)))
        << harness::DmDiagText(SQL_HANDLE_STMT, h);
    int rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(h))) ++rows;
    EXPECT_EQ(rows, 1);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  SQLDisconnect(dbc2);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc2);
  SQLFreeHandle(SQL_HANDLE_ENV, env2);
}

// Freeing an explicit ARD that the statement uses puts the statement back
// on its own ARD and the columns bound there: the fetch fills the implicit
// bindings, never the freed descriptor's.
TEST_P(DmAgentStmt, FreeingTheExplicitArdRestoresTheImplicitBindings) {
  SQLINTEGER id = 0, idExplicit = -1;
  char name[31] = {}, nameExplicit[31] = "untouched";
  SQLLEN idInd = 0, nameInd = 0, idExplicitInd = -7, nameExplicitInd = -7;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &idInd), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &nameInd), SQL_SUCCESS) << State();

  SQLHDESC user = SQL_NULL_HDESC;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &user), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << State();
  // Bound on the explicit descriptor now.
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &idExplicit, 0, &idExplicitInd), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, nameExplicit, sizeof nameExplicit, &nameExplicitInd), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);

  ASSERT_EQ(SQLExecDirect(stmt, Text("select id, name from t order by id"), SQL_NTS), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
  EXPECT_EQ(id, 1);
  EXPECT_STREQ(name, "one");
  EXPECT_EQ(nameInd, 3);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
  EXPECT_EQ(id, 2);
  EXPECT_STREQ(name, "two");
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  EXPECT_EQ(idExplicit, -1);
  EXPECT_STREQ(nameExplicit, "untouched");
  EXPECT_EQ(idExplicitInd, -7);
  EXPECT_EQ(nameExplicitInd, -7);
}

// While an explicit ARD is current its records are the bindings: a column
// bound only on the implicit ARD is not filled; back on the implicit ARD it
// is again.
TEST_P(DmAgentStmt, TheCurrentArdAloneBindsColumns) {
  SQLINTEGER id = 0, idExplicit = 0;
  char name[31] = "untouched";
  SQLLEN idInd = 0, nameInd = -7, idExplicitInd = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &idInd), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &nameInd), SQL_SUCCESS) << State();
  SQLHDESC user = SQL_NULL_HDESC;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &user), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &idExplicit, 0, &idExplicitInd), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLExecDirect(stmt, Text("select id, name from t order by id"), SQL_NTS), SQL_SUCCESS)
      << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
  EXPECT_EQ(idExplicit, 1);
  EXPECT_EQ(id, 0);
  EXPECT_STREQ(name, "untouched");
  EXPECT_EQ(nameInd, -7);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
  EXPECT_EQ(id, 2);
  EXPECT_STREQ(name, "two");
  EXPECT_EQ(idExplicit, 1);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
}

// The same for parameters: a parameter bound only on the implicit APD is
// not sent while an explicit APD is current.
TEST_P(DmAgentStmt, TheCurrentApdAloneBindsParameters) {
  SQLINTEGER id = 2, idExplicit = 1;
  char name[] = "two";
  SQLLEN idInd = 0, nameInd = SQL_NTS, idExplicitInd = 0;
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &id, 0, &idInd), SQL_SUCCESS)
      << State();
  ASSERT_EQ(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, name, 0, &nameInd),
            SQL_SUCCESS)
      << State();
  SQLHDESC user = SQL_NULL_HDESC;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &user), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, user, 0), SQL_SUCCESS) << State();
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &idExplicit, 0,
                             &idExplicitInd),
            SQL_SUCCESS)
      << State();
  const auto sql = Text("select id from t where id = ? and name = ?");
  EXPECT_EQ(SQLExecDirect(stmt, sql, SQL_NTS), SQL_ERROR) << "the second parameter is not bound";
  EXPECT_EQ(State(), "07001");
  // Freed: back on the implicit APD and both its parameters.
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, user), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, sql, SQL_NTS), SQL_SUCCESS) << harness::DmDiagText(SQL_HANDLE_STMT, stmt);
  SQLINTEGER got = 0;
  SQLLEN gotInd = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &got, 0, &gotInd), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << State();
  EXPECT_EQ(got, 2);
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DmAgentStmt, ::testing::Values("kvd_w", "kvd_a"),
                         [](const auto &info) { return std::string(info.param); });

// The Driver Manager asks every new statement for its four descriptor
// handles with no length pointer; it answers the application itself, so
// the driver is loaded directly here.
TEST(DirectStmt, DescriptorHandlesAskedWithoutALength) {
  harness::DmInit();
  for (harness::Variant v : {harness::kUnicode, harness::kAnsi}) {
    harness::Driver drv(harness::DriverPath(v, harness::kFake));
    ASSERT_TRUE(drv.ok()) << drv.error();
    fake::Reset();
    SQLHENV env = drv.AllocEnv();
    SQLHDBC dbc = drv.AllocDbc(env);
    ASSERT_TRUE(SQL_SUCCEEDED(drv.Connect(dbc, v == harness::kUnicode ? "kvd_fake_w" : "kvd_fake_a", "scott", "tiger")))
        << drv.DiagText(SQL_HANDLE_DBC, dbc);
    SQLHSTMT stmt = drv.AllocStmt(dbc);
    ASSERT_NE(stmt, nullptr);
    auto getAttr = drv.Sym("SQLGetStmtAttrW") ? KVD_FN(drv, SQLGetStmtAttrW) : KVD_FN(drv, SQLGetStmtAttr);
    SQLULEN handles[4];
    int i = 0;
    for (SQLINTEGER attr : {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC,
                            SQL_ATTR_IMP_PARAM_DESC}) {
      SQLULEN h = 0xA5A5A5A5A5A5A5A5ull;
      EXPECT_EQ(getAttr(stmt, attr, &h, 0, nullptr), SQL_SUCCESS) << attr;
      EXPECT_EQ(h >> 32, 0u) << attr;
      EXPECT_NE(h, 0u) << attr;
      handles[i++] = h;
      SQLINTEGER len = 0;
      EXPECT_EQ(getAttr(stmt, attr, &h, SQL_IS_POINTER, &len), SQL_SUCCESS);
      EXPECT_EQ(len, SQL_IS_POINTER);
    }
    // Four distinct descriptors, each usable as a descriptor handle.
    for (int a = 0; a < 4; ++a)
      for (int b = a + 1; b < 4; ++b) EXPECT_NE(handles[a], handles[b]);
    EXPECT_EQ(drv.FreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    KVD_FN(drv, SQLDisconnect)(dbc);
    drv.FreeHandle(SQL_HANDLE_DBC, dbc);
    drv.FreeHandle(SQL_HANDLE_ENV, env);
  }
}

}  // namespace
