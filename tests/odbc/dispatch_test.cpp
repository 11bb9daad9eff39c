// The dispatcher: handle checks, the busy rule, the call lock, diagnostics
// clearing, the failover notification, SQLCancel and the layer's start and
// end, driven in-process against the scripted fake agent.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "fake.h"
#include "front_support.h"
#include "odbc/apirec.h"
#include "odbc/envr.h"
#include "odbc/sqlstate.h"
#include "odbc/trace.h"

using namespace front;

namespace {

// A connection with two statements and an explicit descriptor, and one of
// the statements inside a call that blocks until the test releases it.
struct BusyTest : FrontTest {
  SQLHENV env{};
  SQLHDBC dbc{}, other{};
  SQLHSTMT busy{}, sibling{};
  SQLHDESC explicitDesc{};
  Gate gate;
  std::thread caller;
  std::atomic<SQLRETURN> callerResult{-100};

  void SetUp() override {
    FrontTest::SetUp();
    env = NewEnv();
    dbc = NewDbc(env);
    FakeConnect(dbc);
    other = NewDbc(env);
    FakeConnect(other);
    busy = NewStmt(dbc);
    sibling = NewStmt(dbc);
    explicitDesc = NewDesc(dbc);
    g_gate = &gate;
  }
  void Start(const ApiRecord &rec, SQLHANDLE h) {
    caller = std::thread([this, &rec, h] { callerResult = CallODBC(rec, h); });
    gate.WaitEntered();
  }
  void Finish() {
    gate.Release();
    caller.join();
  }
  void TearDown() override {
    if (caller.joinable()) Finish();
    g_gate = nullptr;
    FrontTest::TearDown();
  }
};

TEST_F(BusyTest, SecondCallOnTheRunningStatementAnswersStillExecuting) {
  Start(kBlockStmt, busy);
  StmtOf(busy)->pending = E_01004;  // what the running call has posted so far
  EXPECT_EQ(CallODBC(kQuickStmt, busy), SQL_STILL_EXECUTING);
  EXPECT_EQ(SQLFreeStmt(busy, SQL_CLOSE), SQL_STILL_EXECUTING);
  EXPECT_EQ(StmtOf(busy)->pending, E_01004) << "a refused call must leave the running call's diagnostics alone";
  Finish();
  EXPECT_EQ(callerResult, SQL_SUCCESS);
  EXPECT_EQ(CallODBC(kQuickStmt, busy), SQL_SUCCESS);
}

TEST_F(BusyTest, EveryOtherObjectOfTheBusyConnectionGetsS1010) {
  Start(kBlockStmt, busy);
  EXPECT_EQ(CallODBC(kQuickStmt, sibling), SQL_ERROR);
  EXPECT_EQ(StmtOf(sibling)->pending, E_S1010);
  EXPECT_EQ(CallODBC(kQuickDbc, dbc), SQL_ERROR);
  EXPECT_EQ(ConnOf(dbc)->pending, E_S1010);
  EXPECT_EQ(CallODBC(kQuickDesc, explicitDesc), SQL_ERROR);
  EXPECT_EQ(DescOf(explicitDesc)->pending, E_S1010);
  SQLHDESC ownArd = AsHandle(StmtOf(busy)->implicitArd->handle);
  EXPECT_EQ(CallODBC(kQuickDesc, ownArd), SQL_ERROR);
  EXPECT_EQ(DescOf(ownArd)->pending, E_S1010);
  // The application's own calls are refused the same way.
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_ERROR);
  EXPECT_EQ(ConnOf(dbc)->pending, E_S1010);
  // Another connection is not held up.
  EXPECT_EQ(CallODBC(kQuickDbc, other), SQL_SUCCESS);
  Finish();
  EXPECT_EQ(CallODBC(kQuickStmt, sibling), SQL_SUCCESS);
  EXPECT_EQ(CallODBC(kQuickDbc, dbc), SQL_SUCCESS);
}

TEST_F(BusyTest, ADescriptorInACallHoldsItsStatementOff) {
  SQLHDESC ownArd = AsHandle(StmtOf(busy)->implicitArd->handle);
  Start(kBlockDesc, ownArd);
  EXPECT_EQ(CallODBC(kQuickDesc, ownArd), SQL_STILL_EXECUTING);
  EXPECT_EQ(CallODBC(kQuickStmt, busy), SQL_ERROR);
  EXPECT_EQ(StmtOf(busy)->pending, E_S1010);
  Finish();
  EXPECT_EQ(callerResult, SQL_SUCCESS);
}

TEST_F(BusyTest, FreeEnvWithABusyConnectionFreesNothing) {
  Start(kBlockStmt, busy);
  EXPECT_EQ(SQLFreeEnv(env), SQL_ERROR);
  EXPECT_EQ(EnvOf(env)->pending, E_S1010);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_ERROR);
  EXPECT_NE(ConnOf(other), nullptr);
  EXPECT_NE(StmtOf(sibling), nullptr);
  Finish();
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc), nullptr);
  EXPECT_EQ(StmtOf(busy), nullptr);
  EXPECT_EQ(DescOf(explicitDesc), nullptr);
  EXPECT_EQ(fake::LiveCursors(), 0);
}

TEST_F(BusyTest, CancelReachesTheAgentOnlyForTheRunningStatement) {
  StmtOf(busy)->state = STMT_PREPARED;
  StmtOf(sibling)->state = STMT_PREPARED;
  Start(kBlockStmt, busy);
  // The running statement: the agent is asked to cancel it.
  EXPECT_EQ(SQLCancel(busy), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Cancel), 1);
  // An idle sibling: closing its cursor would be a second agent call on the
  // busy connection; nothing of it runs, so nothing is done.
  EXPECT_EQ(SQLCancel(sibling), SQL_SUCCESS);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), 0);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_Cancel), 1);
  EXPECT_EQ(StmtOf(sibling)->state, STMT_PREPARED);
  Finish();
  // Idle on an idle connection: the cursor is closed and 01S05 reported.
  EXPECT_EQ(SQLCancel(sibling), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(StmtOf(sibling)->pending, E_01S05);
  EXPECT_EQ(StmtOf(sibling)->state, STMT_IDLE);
  EXPECT_EQ(fake::CallCount(SLOT_DRV_CloseCursor), 1);
}

TEST_F(BusyTest, FailedAgentCancelIsTheStatementsError) {
  StmtOf(busy)->state = STMT_PREPARED;
  fake::Script(SLOT_DRV_Cancel).result = E_S1000;
  Start(kBlockStmt, busy);
  EXPECT_EQ(SQLCancel(busy), SQL_ERROR);
  EXPECT_EQ(StmtOf(busy)->pending, E_S1000);
  Finish();
}

TEST_F(BusyTest, LayerEndLeavesWhatARunningCallStillUses) {
  Start(kBlockStmt, busy);
  OdbcLayerTerm();
  EXPECT_FALSE(OdbcLayerIsInitialised());
  EXPECT_EQ(g_odbc.retained, 1);
  EXPECT_NE(g_odbc.stmts.entries, nullptr);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_ERROR);
  // The running call ends normally on the locks and tables left to it.
  Finish();
  EXPECT_EQ(callerResult, SQL_SUCCESS);
  EXPECT_EQ(ConnOf(dbc)->busy, nullptr);
  ASSERT_EQ(OdbcLayerInit(), 0);
  EXPECT_EQ(g_odbc.retained, 0);
  EXPECT_EQ(CallODBC(kQuickStmt, busy), SQL_SUCCESS);
}

// ---------------------------------------------------------------------------

struct DispatchTest : FrontTest {};

TEST_F(DispatchTest, WrongKindFreedOrZeroHandleIsInvalid) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  FakeConnect(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  SQLHSTMT freed = NewStmt(dbc);
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, freed), SQL_SUCCESS);
  SQLHDESC desc = NewDesc(dbc);
  struct Case {
    const char *what;
    SQLRETURN rc;
  } cases[] = {
      {"statement to SQLDisconnect", SQLDisconnect(stmt)},
      {"statement as connection to SQLFreeHandle", SQLFreeHandle(SQL_HANDLE_DBC, stmt)},
      {"connection as statement", SQLFreeStmt(dbc, SQL_CLOSE)},
      {"environment as descriptor", SQLFreeHandle(SQL_HANDLE_DESC, env)},
      {"descriptor as environment", SQLFreeEnv(desc)},
      {"freed statement", SQLFreeStmt(freed, SQL_DROP)},
      {"freed statement to SQLCancel", SQLCancel(freed)},
      {"zero environment", SQLGetEnvAttr(SQL_NULL_HENV, SQL_ATTR_ODBC_VERSION, nullptr, 0, nullptr)},
      {"zero connection", SQLAllocHandle(SQL_HANDLE_STMT, SQL_NULL_HDBC, &freed)},
      {"zero statement", SQLCloseCursor(SQL_NULL_HSTMT)},
      {"index beyond the table", SQLFreeStmt(AsHandle(0x3FFFF), SQL_CLOSE)},
      {"unknown handle type", SQLFreeHandle(7, env)},
      {"SQLError without handles", SQLError(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr)},
  };
  for (const Case &c : cases) EXPECT_EQ(c.rc, SQL_INVALID_HANDLE) << c.what;
}

TEST_F(DispatchTest, EveryCallOutsideTheLayersLifeAnswersError) {
  SQLHENV env = NewEnv();
  OdbcLayerTerm();
  SQLHENV again{};
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &again), SQL_ERROR);
  EXPECT_EQ(SQLAllocEnv(&again), SQL_ERROR);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_ERROR);
  EXPECT_EQ(SQLCancel(AsHandle(0x30000)), SQL_ERROR);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, env, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(SQLTransact(env, nullptr, SQL_COMMIT), SQL_ERROR);
  ASSERT_EQ(OdbcLayerInit(), 0);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &again), SQL_SUCCESS);
  EXPECT_EQ(HandleOf(again), 0x10000u) << "the layer starts again with empty tables";
}

TEST_F(DispatchTest, FreeConnectLeavesItsMemoryToTheDispatcher) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  struct Seen {
    bool deadInside = false;
    bool lockHeldInside = false;
  };
  static Seen seen;
  seen = {};
  // The free implementation, observed from inside the call: the object is
  // marked dead and unregistered, but its memory and call lock are still
  // there for the dispatcher to leave.
  static const ApiRecord freeAndLook = {
      "FreeHandle", "handleType=2", 0, 1, HK_DBC, [](void *obj, const ApiArgs &args) -> SQLRETURN {
        auto *c = static_cast<Conn *>(obj);
        SQLRETURN rc = odbc_FreeHandle_Dbc(obj, args);
        seen.deadInside = c->magic == MAGIC_DEAD && ConnOf(AsHandle(c->handle)) == nullptr;
        // A semaphore of one count: giving it back succeeds only while taken.
        seen.lockHeldInside = c->callLock.handle != nullptr && c->callLock.Release();
        if (seen.lockHeldInside) c->callLock.Wait();
        return rc;
      }};
  EXPECT_EQ(CallODBC(freeAndLook, dbc), SQL_SUCCESS);
  EXPECT_TRUE(seen.deadInside);
  EXPECT_TRUE(seen.lockHeldInside);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_INVALID_HANDLE);
  EXPECT_EQ(EnvOf(env)->connections, nullptr);
  // The freed slot is taken again by the next connection.
  SQLHDBC next = NewDbc(env);
  EXPECT_EQ(HandleOf(next), HandleOf(dbc));
}

TEST_F(DispatchTest, CallLockGivenBackByAnotherThreadLetsTheNextCallIn) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  Conn *c = ConnOf(dbc);
  // As a transaction monitor would: taken on this thread ...
  ASSERT_TRUE(c->callLock.Wait());
  std::atomic<bool> done{false};
  std::thread caller([&] {
    EXPECT_EQ(CallODBC(kQuickDbc, dbc), SQL_SUCCESS);
    done = true;
  });
  EXPECT_FALSE(done.load());
  // ... and given back on another.
  std::thread releaser([&] { EXPECT_TRUE(c->callLock.Release()); });
  releaser.join();
  caller.join();
  EXPECT_TRUE(done.load());
  EXPECT_EQ(c->busy, nullptr);
}

TEST_F(DispatchTest, HandleTablesGrowByFiveAndStopAt65535) {
  SQLHENV envs[6];
  for (int i = 0; i < 6; ++i) {
    envs[i] = NewEnv();
    EXPECT_EQ(HandleOf(envs[i]), 0x10000u + i);
  }
  EXPECT_EQ(g_odbc.envs.capacity, 10);
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, envs[2]), SQL_SUCCESS);
  EXPECT_EQ(HandleOf(NewEnv()), 0x10002u) << "the lowest free slot is reused";

  SQLHDBC dbc{};
  for (int i = 0; i < 65535; ++i) ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, envs[0], &dbc), SQL_SUCCESS) << i;
  EXPECT_EQ(g_odbc.conns.capacity, 65535);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, envs[0], &dbc), SQL_ERROR);
  EXPECT_EQ(dbc, nullptr);
  EXPECT_EQ(EnvOf(envs[0])->pending, E_S1014);
  // The failed allocation left nothing behind: the environment holds its
  // 65535 connections and the last one is still usable.
  int n = 0;
  for (Conn *c = EnvOf(envs[0])->connections; c; c = c->next) ++n;
  EXPECT_EQ(n, 65535);
  EXPECT_EQ(CallODBC(kQuickDbc, AsHandle(0x2FFFE)), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, envs[0]), SQL_SUCCESS);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, envs[1], &dbc), SQL_SUCCESS);
  EXPECT_EQ(HandleOf(dbc), 0x20000u);
}

// SQLCancel may come from any thread while the statement is being dropped:
// it must see the statement whole or not at all (run under a memory checker
// to see a fault here).
TEST_F(DispatchTest, CancelRacingADropNeverSeesAHalfFreedStatement) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  FakeConnect(dbc);
  std::atomic<uintptr_t> current{0};
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    while (!done.load()) {
      SQLRETURN rc = SQLCancel(reinterpret_cast<SQLHSTMT>(current.load()));
      EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_INVALID_HANDLE) << rc;
    }
  });
  for (int i = 0; i < 300; ++i) {
    SQLHSTMT stmt = NewStmt(dbc);
    current = reinterpret_cast<uintptr_t>(stmt);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  }
  done = true;
  canceller.join();
  EXPECT_EQ(fake::LiveCursors(), 0);
}

TEST_F(DispatchTest, ClearingDiagnosticsFollowsTheRecord) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  Conn *c = ConnOf(dbc);
  static const ApiRecord keeps = {"Keeps", "", 0, 0, HK_DBC, [](void *, const ApiArgs &) -> SQLRETURN {
                                    return SQL_SUCCESS;
                                  }};
  MsgListAppend(&c->messages, "[Oracle Server]ORA-1[SQLSTATE:42000]", 1);
  c->pending = E_S1000;
  EXPECT_EQ(CallODBC(keeps, dbc), SQL_SUCCESS);
  EXPECT_NE(c->messages, nullptr);
  EXPECT_EQ(c->pending, E_S1000);
  EXPECT_EQ(CallODBC(kQuickDbc, dbc), SQL_SUCCESS);
  EXPECT_EQ(c->messages, nullptr);
  EXPECT_EQ(c->pending, 0);
}

// The application's failover callback hears of a failover from the pending
// code or from a message text of the object whose call failed.
struct FailoverCase {
  int32_t pending;
  const char *message;
  SQLRETURN expectRc;
  int expectEvent;  // 0 none
};

void PrintTo(const FailoverCase &c, std::ostream *os) {
  *os << "pending " << c.pending << (c.message ? " with a message" : "");
}

class FailoverTest : public FrontTest, public ::testing::WithParamInterface<FailoverCase> {};

int g_event = 0;
void *g_context = nullptr;
int RecordEvent(int event, void *context, int) {
  g_event = event;
  g_context = context;
  return 0;
}
const FailoverCase *g_case = nullptr;

SQLRETURN FailAsScripted(void *obj, const ApiArgs &) {
  auto *s = static_cast<Stmt *>(obj);
  s->pending = g_case->pending;
  if (g_case->message) MsgListAppend(&s->messages, g_case->message, 0);
  return SQL_ERROR;
}

TEST_P(FailoverTest, EventAndResult) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  FakeConnect(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  Conn *c = ConnOf(dbc);
  int context = 0;
  c->failoverCallback = RecordEvent;
  c->failoverContext = &context;
  g_event = 0;
  g_case = &GetParam();
  static const ApiRecord fails = {"Fails", "", 0, 1, HK_STMT, FailAsScripted};
  EXPECT_EQ(CallODBC(fails, stmt), GetParam().expectRc);
  EXPECT_EQ(g_event, GetParam().expectEvent);
  if (g_event) {
    EXPECT_EQ(g_context, &context);
  }
  // Without a callback nothing changes.
  c->failoverCallback = nullptr;
  g_event = 0;
  EXPECT_EQ(CallODBC(fails, stmt), SQL_ERROR);
  EXPECT_EQ(g_event, 0);
}

const std::string kCompletedText = std::string("[Oracle Server]") + SqlStateTable[E_IM500].message;
const std::string kAbortedText = std::string("[Oracle Server]") + SqlStateTable[E_IM501].message;

std::string FailoverCaseName(const ::testing::TestParamInfo<FailoverCase> &i) {
  static const char *const kNames[] = {"Completed", "Aborted", "CompletedInText", "AbortedInText", "Other"};
  return kNames[i.index];
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FailoverTest,
    ::testing::Values(FailoverCase{E_IM500, nullptr, SQL_SUCCESS_WITH_INFO, 16},
                      FailoverCase{E_IM501, nullptr, SQL_ERROR, 17},
                      FailoverCase{E_S1000, kCompletedText.c_str(), SQL_ERROR, 16},
                      FailoverCase{E_S1000, kAbortedText.c_str(), SQL_ERROR, 17},
                      FailoverCase{E_S1000, "[Oracle Server]ORA-00942[SQLSTATE:42S02]", SQL_ERROR, 0}),
    FailoverCaseName);

TEST_F(DispatchTest, TraceShowsCallArgumentsAndResult) {
  char path[] = "/tmp/kvd_dispatch_traceXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("TVX_DEBUGFILE", path, 1);
  TraceOpen(TRACE_ODBC);
  unsetenv("TVX_DEBUGFILE");
  ASSERT_TRUE(TraceIsOn());

  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  SQLINTEGER v = 0;
  SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 77, nullptr);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLDisconnect(dbc);
  TraceClose(TRACE_ODBC);

  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string t = text.str();
  unlink(path);
  char tid[32];
  snprintf(tid, sizeof tid, "[%lX]", TraceThreadId());
  EXPECT_NE(t.find(std::string("\n") + tid + " SQLAllocHandle\nhandleType=1\n" + tid +
                   " SQLAllocHandle: returning SQL_SUCCESS"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("SQLGetEnvAttr hEnv=10000\nAttribute=200 ValuePtr="), std::string::npos) << t;
  EXPECT_NE(t.find("BufferLength=77, StringLengthPtr=0"), std::string::npos) << t;
  EXPECT_NE(t.find("SQLFreeHandle hDbc=20000\nhandleType=2\n" + std::string(tid) +
                   " SQLFreeHandle: returning SQL_SUCCESS"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find(" SQLDisconnect hDbc=20000\n" + std::string(tid) + " SQLDisconnect: returning SQL_INVALID_HANDLE"),
            std::string::npos)
      << t;
}

TEST(TraceArgs, EachConversionTakesOneSlotInItsOwnWidth) {
  struct Case {
    const char *format;
    std::vector<uint64_t> slots;
    const char *expect;
  } cases[] = {
      {"icol=%u fCType=%d", {ApiSlot(uint16_t{3}), ApiSlot(int16_t{-8})}, "icol=3 fCType=-8"},
      {"cbValueMax=%ld pcbValue=%lX", {ApiSlot(int64_t{-3}), ApiSlot(uint64_t{0xABCDEF12345})},
       "cbValueMax=-3 pcbValue=ABCDEF12345"},
      {"vParam=%08lX", {0x1F}, "vParam=0000001F"},
      {"HWND=%x n=%d", {0x1234567890ull, ApiSlot(int32_t{-1})}, "HWND=34567890 n=-1"},
      {"a=%d b=%d", {7}, "a=7 b=0"},
      {"RecNumber=%d\nType=%d", {1, 2}, "RecNumber=1\nType=2"},
      {"100%% %u", {5}, "100% 5"},
  };
  for (const Case &c : cases) {
    char out[251];
    FormatTraceArgs(c.format, c.slots.data(), static_cast<int>(c.slots.size()), out, sizeof out);
    EXPECT_STREQ(out, c.expect) << c.format;
  }
  // Never more than the buffer: 250 characters and a NUL.
  std::string wide(300, 'a');
  char out[251];
  FormatTraceArgs(wide.c_str(), nullptr, 0, out, sizeof out);
  EXPECT_EQ(strlen(out), 250u);
}

TEST(ReturnCodes, TraceNames) {
  EXPECT_STREQ(ReturnCodeName(SQL_NO_DATA), "NO_DATA_FOUND");
  EXPECT_STREQ(ReturnCodeName(SQL_NEED_DATA), "NEED_DATA");
  EXPECT_STREQ(ReturnCodeName(SQL_INVALID_HANDLE), "INVALID_HANDLE");
  EXPECT_STREQ(ReturnCodeName(7), "UNKNOWN_ERROR");
}

}  // namespace
