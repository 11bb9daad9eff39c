// Both drivers loaded directly with dlopen and called as a Driver Manager
// would: handle allocation and freeing of every kind, the ODBC 2 forms, the
// handle checks and the busy rule as the driver itself answers them (a
// Driver Manager answers several of these before the driver sees them).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "fake.h"
#include "harness.h"

using harness::Driver;

namespace {

SQLHANDLE AsHandle(uintptr_t v) { return reinterpret_cast<SQLHANDLE>(v); }

struct Variant {
  harness::Variant variant;
  harness::Agent agent;
  const char *dsn;
  const char *name;
};

void PrintTo(const Variant &v, std::ostream *os) { *os << v.name; }

const Variant kAll[] = {
    {harness::kUnicode, harness::kFake, "kvd_fake_w", "unicode_fake"},
    {harness::kAnsi, harness::kFake, "kvd_fake_a", "ansi_fake"},
    {harness::kUnicode, harness::kReal, "kvd_w", "unicode"},
    {harness::kAnsi, harness::kReal, "kvd_a", "ansi"},
};

class DirectHandles : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    fake::Reset();
    drv_ = std::make_unique<Driver>(harness::DriverPath(GetParam().variant, GetParam().agent));
    ASSERT_TRUE(drv_->ok()) << drv_->error();
  }
  const Driver &drv() const { return *drv_; }
  bool Fake() const { return GetParam().agent == harness::kFake; }
  // The SQLSTATE of the first record, or "" while the driver has no
  // diagnostics to read.
  std::string State(SQLSMALLINT type, SQLHANDLE h) const {
    auto recs = drv().Diags(type, h);
    return recs.empty() ? "" : recs[0].state;
  }
  std::unique_ptr<Driver> drv_;
};

TEST_P(DirectHandles, EnvironmentAndConnectionAllocateAndFree) {
  SQLHENV env = drv().AllocEnv(SQL_OV_ODBC3);
  ASSERT_NE(env, nullptr);
  SQLINTEGER version = 0;
  EXPECT_EQ(KVD_FN(drv(), SQLGetEnvAttr)(env, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(version, SQL_OV_ODBC3);
  SQLHDBC dbc = drv().AllocDbc(env);
  ASSERT_NE(dbc, nullptr);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_DBC, dbc), SQL_INVALID_HANDLE);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_INVALID_HANDLE);
}

TEST_P(DirectHandles, Odbc2FormsAndStatementBeforeConnect) {
  SQLHENV env = nullptr;
  ASSERT_EQ(KVD_FN(drv(), SQLAllocEnv)(&env), SQL_SUCCESS);
  SQLINTEGER version = 0;
  EXPECT_EQ(KVD_FN(drv(), SQLGetEnvAttr)(env, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(version, SQL_OV_ODBC2);
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(KVD_FN(drv(), SQLAllocConnect)(env, &dbc), SQL_SUCCESS);
  SQLHSTMT stmt = AsHandle(1);
  EXPECT_EQ(KVD_FN(drv(), SQLAllocStmt)(dbc, &stmt), SQL_ERROR);
  EXPECT_EQ(stmt, nullptr);
  std::string state = State(SQL_HANDLE_DBC, dbc);
  if (!state.empty()) {
    EXPECT_EQ(state, "08003");
  }
  SQLHDESC desc = AsHandle(1);
  EXPECT_EQ(drv().AllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_ERROR);
  EXPECT_EQ(desc, nullptr);
  EXPECT_EQ(KVD_FN(drv(), SQLFreeConnect)(dbc), SQL_SUCCESS);
  EXPECT_EQ(KVD_FN(drv(), SQLFreeEnv)(env), SQL_SUCCESS);
}

TEST_P(DirectHandles, AllFourKindsOnAConnection) {
  if (!Fake()) GTEST_SKIP() << "connects through the fake agent";
  SQLHENV env = drv().AllocEnv(SQL_OV_ODBC3);
  SQLHDBC dbc = drv().AllocDbc(env);
  ASSERT_TRUE(SQL_SUCCEEDED(drv().Connect(dbc, GetParam().dsn, "scott", "tiger")))
      << drv().DiagText(SQL_HANDLE_DBC, dbc);
  SQLHSTMT stmt = drv().AllocStmt(dbc);
  ASSERT_NE(stmt, nullptr);
  SQLHSTMT stmt2 = nullptr;
  ASSERT_EQ(KVD_FN(drv(), SQLAllocStmt)(dbc, &stmt2), SQL_SUCCESS);
  SQLHDESC desc = nullptr;
  ASSERT_EQ(drv().AllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
  EXPECT_EQ(fake::LiveCursors(), 2);

  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_DESC, desc), SQL_INVALID_HANDLE);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  EXPECT_EQ(KVD_FN(drv(), SQLFreeStmt)(stmt, SQL_DROP), SQL_INVALID_HANDLE);
  EXPECT_EQ(KVD_FN(drv(), SQLFreeStmt)(stmt2, 9), SQL_ERROR);
  std::string state = State(SQL_HANDLE_STMT, stmt2);
  if (!state.empty()) {
    EXPECT_EQ(state, "HY092");
  }
  EXPECT_EQ(KVD_FN(drv(), SQLFreeStmt)(stmt2, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(fake::LiveCursors(), 0);

  // Freeing the environment closes the connection that is still open.
  SQLHSTMT left = drv().AllocStmt(dbc);
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  EXPECT_EQ(fake::LiveCursors(), 0);
  EXPECT_EQ(fake::LiveConnections(), 0);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_STMT, left), SQL_INVALID_HANDLE);
}

TEST_P(DirectHandles, WrongKindFreedAndZeroHandlesAreInvalid) {
  SQLHENV env = drv().AllocEnv(SQL_OV_ODBC3);
  SQLHDBC dbc = drv().AllocDbc(env);
  SQLHDBC gone = drv().AllocDbc(env);
  ASSERT_EQ(drv().FreeHandle(SQL_HANDLE_DBC, gone), SQL_SUCCESS);
  struct Case {
    const char *what;
    SQLRETURN rc;
  } cases[] = {
      {"environment to SQLDisconnect", KVD_FN(drv(), SQLDisconnect)(env)},
      {"connection as environment", drv().FreeHandle(SQL_HANDLE_ENV, dbc)},
      {"connection as statement", KVD_FN(drv(), SQLFetch)(dbc)},
      {"connection as descriptor", KVD_FN(drv(), SQLCopyDesc)(dbc, dbc)},
      {"connection to SQLCancel", KVD_FN(drv(), SQLCancel)(dbc)},
      {"freed connection", KVD_FN(drv(), SQLFreeConnect)(gone)},
      {"zero environment", KVD_FN(drv(), SQLAllocConnect)(nullptr, &gone)},
      {"zero statement", KVD_FN(drv(), SQLExecute)(nullptr)},
      {"unknown handle type", drv().AllocHandle(0, env, &gone)},
      {"SQLEndTran on a zero environment", KVD_FN(drv(), SQLEndTran)(SQL_HANDLE_ENV, nullptr, SQL_COMMIT)},
  };
  for (const Case &c : cases) EXPECT_EQ(c.rc, SQL_INVALID_HANDLE) << c.what;
  // SQLEndTran for a statement or descriptor handle type does nothing.
  EXPECT_EQ(KVD_FN(drv(), SQLEndTran)(SQL_HANDLE_STMT, nullptr, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

TEST_P(DirectHandles, EnvironmentAttributesKeepOnlyValidValues) {
  SQLHENV env = drv().AllocEnv(SQL_OV_ODBC3);
  auto set = KVD_FN(drv(), SQLSetEnvAttr);
  auto get = KVD_FN(drv(), SQLGetEnvAttr);
  EXPECT_EQ(set(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(380), 0), SQL_SUCCESS);
  EXPECT_EQ(set(env, SQL_ATTR_CP_MATCH, reinterpret_cast<SQLPOINTER>(5), 0), SQL_SUCCESS);
  SQLINTEGER v = -1;
  get(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr);
  EXPECT_EQ(v, SQL_OV_ODBC3);
  get(env, SQL_ATTR_CP_MATCH, &v, 0, nullptr);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(set(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0), SQL_SUCCESS);
  get(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr);
  EXPECT_EQ(v, SQL_OV_ODBC2);
  get(env, 1056, &v, 0, nullptr);
  EXPECT_EQ(v, 2);
  v = 77;
  EXPECT_EQ(get(env, 4711, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 77);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// One statement of a connection blocked inside an agent call (freeing its
// agent cursor), and what every other call on that connection gets meanwhile.
TEST_P(DirectHandles, BusyStatementRules) {
  if (!Fake()) GTEST_SKIP() << "blocks a call inside the fake agent";
  SQLHENV env = drv().AllocEnv(SQL_OV_ODBC3);
  SQLHDBC dbc = drv().AllocDbc(env);
  SQLHDBC other = drv().AllocDbc(env);
  ASSERT_TRUE(SQL_SUCCEEDED(drv().Connect(dbc, GetParam().dsn, "scott", "tiger")));
  ASSERT_TRUE(SQL_SUCCEEDED(drv().Connect(other, GetParam().dsn, "scott", "tiger")));
  SQLHSTMT busy = drv().AllocStmt(dbc);
  SQLHSTMT sibling = drv().AllocStmt(dbc);
  SQLHSTMT elsewhere = drv().AllocStmt(other);
  ASSERT_NE(busy, nullptr);
  ASSERT_NE(sibling, nullptr);

  std::mutex m;
  std::condition_variable cv;
  bool entered = false, released = false;
  fake::Script(SLOT_DRV_FreeCursor).hook = [&] {
    std::unique_lock<std::mutex> l(m);
    if (entered) return;  // only the first free blocks
    entered = true;
    cv.notify_all();
    cv.wait(l, [&] { return released; });
  };
  std::atomic<SQLRETURN> first{-100};
  std::thread t([&] { first = drv().FreeHandle(SQL_HANDLE_STMT, busy); });
  {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return entered; });
  }

  EXPECT_EQ(KVD_FN(drv(), SQLFetch)(busy), SQL_STILL_EXECUTING);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_STMT, busy), SQL_STILL_EXECUTING);
  EXPECT_EQ(KVD_FN(drv(), SQLCloseCursor)(sibling), SQL_ERROR);
  std::string state = State(SQL_HANDLE_STMT, sibling);
  if (!state.empty()) {
    EXPECT_EQ(state, "HY010");
  }
  EXPECT_EQ(KVD_FN(drv(), SQLDisconnect)(dbc), SQL_ERROR);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_ERROR);
  // SQLCancel of the idle sibling makes no agent call on the busy connection.
  EXPECT_EQ(KVD_FN(drv(), SQLCancel)(sibling), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), 0);
  // Another connection is not held up.
  EXPECT_EQ(KVD_FN(drv(), SQLCloseCursor)(elsewhere), SQL_ERROR);  // no cursor open: 24000, but it ran
  state = State(SQL_HANDLE_STMT, elsewhere);
  if (!state.empty()) {
    EXPECT_EQ(state, "24000");
  }

  {
    std::lock_guard<std::mutex> l(m);
    released = true;
    cv.notify_all();
  }
  t.join();
  EXPECT_EQ(first, SQL_SUCCESS);
  EXPECT_EQ(KVD_FN(drv(), SQLFetch)(busy), SQL_INVALID_HANDLE);
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  EXPECT_EQ(fake::LiveConnections(), 0);
}

// A statement with nothing prepared or executed: a call that needs a
// cursor or a prepared statement refuses with the sequence error; one that
// SQLGetFunctions does not claim answers HYC00. A regression that answers
// success, or HYC00 for a function claimed, shows here.
TEST_P(DirectHandles, CallsOutOfSequenceAnswerTheirSequenceError) {
  if (!Fake()) GTEST_SKIP() << "needs statements";
  SQLHENV env = drv().AllocEnv(SQL_OV_ODBC3);
  SQLHDBC dbc = drv().AllocDbc(env);
  ASSERT_TRUE(SQL_SUCCEEDED(drv().Connect(dbc, GetParam().dsn, "scott", "tiger")));
  SQLHSTMT stmt = drv().AllocStmt(dbc);
  SQLCHAR buf[8];
  SQLLEN ind = 0;
  struct Case {
    const char *what;
    SQLUSMALLINT id;
    SQLRETURN rc;
    std::string state;
  };
  auto call = [&](const char *what, SQLUSMALLINT id, SQLRETURN rc) {
    return Case{what, id, rc, State(SQL_HANDLE_STMT, stmt)};
  };
  const Case cases[] = {
      call("SQLFetch", SQL_API_SQLFETCH, KVD_FN(drv(), SQLFetch)(stmt)),
      call("SQLExecute", SQL_API_SQLEXECUTE, KVD_FN(drv(), SQLExecute)(stmt)),
      call("SQLGetData", SQL_API_SQLGETDATA,
           KVD_FN(drv(), SQLGetData)(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &ind)),
      call("SQLBulkOperations", SQL_API_SQLBULKOPERATIONS, KVD_FN(drv(), SQLBulkOperations)(stmt, SQL_ADD)),
      call("SQLSetPos", SQL_API_SQLSETPOS,
           KVD_FN(drv(), SQLSetPos)(stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE)),
  };
  for (const Case &c : cases) {
    SQLUSMALLINT claimed = SQL_FALSE;
    ASSERT_EQ(KVD_FN(drv(), SQLGetFunctions)(dbc, c.id, &claimed), SQL_SUCCESS) << c.what;
    EXPECT_EQ(c.rc, SQL_ERROR) << c.what;
    EXPECT_EQ(c.state, claimed ? "HY010" : "HYC00") << c.what;
  }
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// Types an application may not name are refused where they are given, with
// the edges of each range of known types on either side.
TEST_P(DirectHandles, UnknownTypesAreRefusedWhereTheyAreBound) {
  if (!Fake()) GTEST_SKIP() << "needs statements";
  SQLHENV env = drv().AllocEnv(SQL_OV_ODBC3);
  SQLHDBC dbc = drv().AllocDbc(env);
  ASSERT_TRUE(SQL_SUCCEEDED(drv().Connect(dbc, GetParam().dsn, "scott", "tiger")));
  SQLHSTMT stmt = drv().AllocStmt(dbc);
  SQLINTEGER value = 0;
  SQLLEN ind = 0;
  const struct {
    SQLSMALLINT sqlType;
    const char *state;  // "" for success
  } params[] = {{SQL_INTEGER, ""},  {SQL_GUID, ""},       {SQL_GUID - 1, "HY004"},
                {SQL_TYPE_TIMESTAMP, ""}, {SQL_TYPE_TIMESTAMP + 1, "HY004"}, {SQL_INTERVAL_YEAR - 1, "HY004"},
                {SQL_INTERVAL_MINUTE_TO_SECOND, ""}, {SQL_INTERVAL_MINUTE_TO_SECOND + 1, "HY004"},
                {0, "HY004"},  {9999, "HY004"}};
  for (const auto &p : params) {
    SQLRETURN rc = KVD_FN(drv(), SQLBindParameter)(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, p.sqlType, 10, 0, &value,
                                                    0, &ind);
    EXPECT_EQ(rc, *p.state ? SQL_ERROR : SQL_SUCCESS) << p.sqlType;
    if (*p.state) {
      EXPECT_EQ(State(SQL_HANDLE_STMT, stmt), p.state) << p.sqlType;
    }
  }
  const struct {
    SQLSMALLINT cType;
    const char *state;
  } cols[] = {{SQL_C_LONG, ""}, {SQL_C_DEFAULT, ""}, {SQL_C_DEFAULT + 1, "HY003"},
              {SQL_C_GUID, ""}, {SQL_C_GUID - 1, "HY003"}, {SQL_C_INTERVAL_MINUTE_TO_SECOND, ""},
              {SQL_C_INTERVAL_MINUTE_TO_SECOND + 1, "HY003"}, {0, "HY003"}, {9999, "HY003"}};
  for (const auto &c : cols) {
    SQLRETURN rc = KVD_FN(drv(), SQLBindCol)(stmt, 1, c.cType, &value, sizeof value, &ind);
    EXPECT_EQ(rc, *c.state ? SQL_ERROR : SQL_SUCCESS) << c.cType;
    if (*c.state) {
      EXPECT_EQ(State(SQL_HANDLE_STMT, stmt), c.state) << c.cType;
    }
  }
  EXPECT_EQ(drv().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DirectHandles, ::testing::ValuesIn(kAll),
                         [](const ::testing::TestParamInfo<Variant> &i) { return std::string(i.param.name); });

}  // namespace
