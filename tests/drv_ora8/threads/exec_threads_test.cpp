// The agent's statement operations under threads: cancels from other
// threads against executions and frees of their statement. Run under the
// thread and address sanitizers by the sanitizer stages.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "exec_fixture.h"

using namespace exec_test;

namespace {

using ThreadsTest = ExecTest;

// Cancels from other threads meet the statement's executions and its free:
// a cancel either stops an execution, finds nothing running, or finds the
// cursor gone (21), and never works on freed memory (the sanitizer builds
// run this).
TEST_F(ThreadsTest, CancelsRacingExecuteAndFree) {
  Connect();
  ASSERT_EQ(0, Run("CREATE TABLE t (a NUMBER)"));
  ocilite_test_slow(OCILITE_T_EXECUTE, 2);
  for (int round = 0; round < 30; ++round) {
    DrvHandle cur = Cursor();
    std::atomic<bool> stop{false};
    std::vector<std::thread> cancellers;
    for (int i = 0; i < 3; ++i)
      cancellers.emplace_back([&] {
        while (!stop.load()) {
          int32_t rc = DrvCall<&DrvOps::DRV_Cancel>(&drv, cur);
          EXPECT_TRUE(rc == 0 || rc == E_S1009) << rc;
        }
      });
    for (int i = 0; i < 3; ++i) {
      int32_t rc = ExecDirect(cur, "INSERT INTO t VALUES (1)");
      EXPECT_TRUE(rc == 0 || rc == E_S1008) << rc;
    }
    Free(cur);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    stop = true;
    for (std::thread &t : cancellers) t.join();
  }
}

}  // namespace
