// Query timeout by non-blocking polling and cancel from a second thread,
// against statements that the stand-in slows down.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "drv_ora8/db-private.h"
#include "exec_fixture.h"

using namespace exec_test;

namespace {

using Clock = std::chrono::steady_clock;
using CancelTest = ExecTest;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

TEST_F(CancelTest, QueryTimeoutEndsASlowStatementAndTheConnectionStaysUsable) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, SetCursorInt(cur, 0, 1));  // SQL_QUERY_TIMEOUT: 1 second
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(E_S1T00, ExecDirect(cur, "INSERT INTO t VALUES (1)"));
  const double took = Seconds(start);
  EXPECT_GE(took, 0.9);
  EXPECT_LT(took, 10.0);
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_BREAK));
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_RESET));
  // Nothing was inserted; the same cursor and connection go on working, in
  // blocking mode again.
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES (2)"));
  EXPECT_EQ(0u, Agent_Cursor(cur)->dbCurs->nonBlocking);
  ASSERT_EQ(0, SetCursorInt(cur, 0, 0));
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES (3)"));
  Free(cur);
  EXPECT_EQ((Rows{{"2"}, {"3"}}), Peek("SELECT a FROM t ORDER BY a"));
}

// Runs the statement on another thread and cancels it from this one until
// the execution returns (a cancel that arrives before the statement is
// inside OCI has nothing to break yet).
int32_t ExecuteAndCancel(ExecTest *t, DrvObject *drv, DrvHandle cur, const char *sql, double *took) {
  std::promise<int32_t> done;
  std::future<int32_t> result = done.get_future();
  const Clock::time_point start = Clock::now();
  std::thread worker([&] { done.set_value(DrvCall<&DrvOps::DRV_ExecDirect>(drv, cur, sql, nullptr, uint16_t{0}, nullptr)); });
  int32_t cancelRc = 0;
  while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    int32_t rc = DrvCall<&DrvOps::DRV_Cancel>(drv, cur);
    if (rc != 0) cancelRc = rc;
  }
  worker.join();
  *took = Seconds(start);
  (void)t;
  EXPECT_EQ(0, cancelRc);
  return result.get();
}

TEST_F(CancelTest, CancelFromAnotherThreadEndsABlockingExecution) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  double took = 0;
  EXPECT_EQ(E_S1008, ExecuteAndCancel(this, &drv, cur, "INSERT INTO t VALUES (1)", &took));
  EXPECT_LT(took, 10.0);
  EXPECT_GE(ocilite_test_calls(OCILITE_T_BREAK), 1u);
  // A cancelled execution leaves no diagnostics of OCI's.
  Msgs m = Errors(cur);
  EXPECT_TRUE(m.texts.empty());
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES (2)"));
  Free(cur);
  EXPECT_EQ((Rows{{"2"}}), Peek("SELECT a FROM t"));
}

TEST_F(CancelTest, CancelDuringAPollingExecutionIsSeenByThePoll) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  ASSERT_EQ(0, SetCursorInt(cur, 0, 60));
  ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
  double took = 0;
  EXPECT_EQ(E_S1008, ExecuteAndCancel(this, &drv, cur, "INSERT INTO t VALUES (1)", &took));
  EXPECT_LT(took, 10.0);
  // The polling thread broke and reset the connection itself, once.
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_BREAK));
  EXPECT_EQ(0u, Agent_Cursor(cur)->dbCurs->nonBlocking);
  ocilite_test_slow(OCILITE_T_EXECUTE, 0);
  ASSERT_EQ(0, ExecDirect(cur, "INSERT INTO t VALUES (2)"));
  Free(cur);
  EXPECT_EQ((Rows{{"2"}}), Peek("SELECT a FROM t"));
}

TEST_F(CancelTest, CancelWithNothingRunningCallsNoOCI) {
  Connect();
  DrvHandle cur = Cursor();
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Cancel>(&drv, cur));
  EXPECT_EQ(0u, ocilite_test_calls(OCILITE_T_BREAK));
  EXPECT_EQ(0u, ocilite_test_calls(OCILITE_T_RESET));
  Free(cur);
}

// After a switch back to blocking mode that failed, the server stays
// non-blocking: the next untimed statement must still stop at a cancel, and
// the next timed one at its time-out, instead of being switched to blocking
// mode while the cursor believes it polls.
TEST_F(CancelTest, AFailedSwitchBackToBlockingLeavesTimeOutAndCancelWorking) {
  struct Case {
    int32_t timeout;
    int32_t expected;
  } cases[] = {{0, E_S1008}, {1, E_S1T00}};
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  for (const Case &k : cases) {
    DrvHandle cur = Cursor();
    ASSERT_EQ(0, SetCursorInt(cur, 0, 30));
    ASSERT_EQ(0, Prepare(cur, "INSERT INTO t VALUES (1)"));
    // The execution's attribute sets: into non-blocking mode, then back.
    ocilite_test_fault(OCILITE_T_ATTR_SET, 2, 1, 3113, 0, nullptr);
    ASSERT_EQ(0, Execute(cur));
    ASSERT_EQ(0, Run("DELETE FROM t"));
    ASSERT_EQ(0, SetCursorInt(cur, 0, k.timeout));
    ocilite_test_slow(OCILITE_T_EXECUTE, 20000);
    double took = 0;
    if (k.timeout == 0) {
      EXPECT_EQ(k.expected, ExecuteAndCancel(this, &drv, cur, "INSERT INTO t VALUES (2)", &took));
    } else {
      const Clock::time_point start = Clock::now();
      EXPECT_EQ(k.expected, ExecDirect(cur, "INSERT INTO t VALUES (2)"));
      took = Seconds(start);
      EXPECT_GE(took, 0.9);
    }
    EXPECT_LT(took, 10.0) << k.timeout;
    ocilite_test_slow(OCILITE_T_EXECUTE, 0);
    Free(cur);
    EXPECT_EQ(Rows{}, Peek("SELECT a FROM t")) << k.timeout;
  }
}

// A cancel whose OCIBreak fails answers the error, and the execution it
// could not stop reports the break's OCI error with its own success.
TEST_F(CancelTest, AFailedBreakReachesTheStatement) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  DrvHandle cur = Cursor();
  ocilite_test_slow(OCILITE_T_EXECUTE, 300);
  ocilite_test_fault(OCILITE_T_BREAK, 1, 1000, 3113, 0, nullptr);
  std::promise<int32_t> done;
  std::future<int32_t> result = done.get_future();
  std::thread worker([&] { done.set_value(ExecDirect(cur, "INSERT INTO t VALUES (1)")); });
  int32_t cancelRc = 0;
  while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
    if (int32_t rc = DrvCall<&DrvOps::DRV_Cancel>(&drv, cur)) cancelRc = rc;
  worker.join();
  EXPECT_EQ(E_S1000, cancelRc);
  EXPECT_EQ(E_IM902, result.get());
  Msgs m = Errors(cur);
  ASSERT_FALSE(m.texts.empty());
  EXPECT_NE(std::string::npos, m.texts[0].find("ORA-03113")) << m.texts[0];
  ocilite_test_reset();
  Free(cur);
  EXPECT_EQ((Rows{{"1"}}), Peek("SELECT a FROM t"));
}

}  // namespace
