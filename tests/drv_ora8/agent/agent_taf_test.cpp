// Transparent application failover: the callback's states and the wrappers
// that report a finished failover once, as 183 (IM500) or 184 (IM501).
// OCI's failover events are delivered by calling the callback the way OCI
// does, with the connection's DB_Conn as its context.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "agent_fixture.h"

using namespace agent_test;

namespace {

class TafTest : public AgentTest {
 protected:
  DrvHandle conn = 0;
  DB_Conn *dbc = nullptr;

  void Open(int maxRetries, bool report = true) {
    g_agentOptions.tafEnable = 1;
    g_agentOptions.tafRetryInterval = 0;  // no pause between retries here
    g_agentOptions.tafMaxRetries = maxRetries;
    conn = ConnectScott();
    ASSERT_NE(0u, conn);
    dbc = Agent_Conn(conn)->dbConn;
    if (report) {
      ASSERT_EQ(0, SetInt(conn, INFO_FAILOVER_REPORT, 1));
    }
  }

  sb4 Event(ub4 event, ub4 type = OCI_FO_SESSION) {
    return TAF_FailoverCallback(dbc->svc, dbc->env, dbc, type, event);
  }

  int32_t Commit() { return DrvCall<&DrvOps::DRV_Commit>(&drv, conn); }
};

TEST_F(TafTest, CompletedFailoverIsReportedOnceByTheNextOperation) {
  Open(10);
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(OCI_FO_RETRY, Event(OCI_FO_ERROR));
  EXPECT_EQ(OCI_FO_RETRY, Event(OCI_FO_ERROR));
  EXPECT_EQ(0, Event(OCI_FO_END));
  EXPECT_EQ(E_IM500, Commit());
  EXPECT_TRUE(TakeErrors(drv, conn).texts.empty());  // a completion adds no record
  EXPECT_EQ(0, Commit());
  Disconnect(conn);
}

TEST_F(TafTest, RetriesRunOutAfterTheMaximum) {
  Open(1);
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(OCI_FO_RETRY, Event(OCI_FO_ERROR));
  EXPECT_EQ(0, Event(OCI_FO_ERROR));  // gives up
  EXPECT_EQ(OCI_FO_ABORT, dbc->foState);
  EXPECT_EQ(0, Event(OCI_FO_ABORT));  // OCI's own abort after the give-up: released once only
  EXPECT_EQ(E_IM501, Commit());
  Msgs m = TakeErrors(drv, conn);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]Failover aborted.[SQLSTATE:IM501]", m.texts[0]);
  EXPECT_EQ(0, Commit());
  Disconnect(conn);
}

TEST_F(TafTest, NoRetriesGivesUpAtTheFirstError) {
  Open(0);
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_ERROR));
  EXPECT_EQ(E_IM501, Commit());
  Disconnect(conn);
}

TEST_F(TafTest, FailedOperationKeepsItsErrorsAndGetsTheAbortBehind) {
  Open(10);
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_ABORT));
  ocilite_test_fault(OCILITE_T_COMMIT, 1, 1, 3113, 0, nullptr);
  EXPECT_EQ(E_S1000, Commit());
  Msgs m = TakeErrors(drv, conn);
  EXPECT_EQ(3113u, m.native);
  ASSERT_EQ(2u, m.texts.size());
  EXPECT_EQ(0u, m.texts[0].rfind("[Oracle Server]ORA-03113", 0)) << m.texts[0];
  EXPECT_EQ("[Oracle Server]Failover aborted.[SQLSTATE:IM501]", m.texts[1]);
  // The keep flag is back to normal: the next push replaces.
  EXPECT_EQ(0, Agent_Conn(conn)->errs.keep);
  Disconnect(conn);
}

TEST_F(TafTest, NothingIsReportedWithoutTafOrWithoutTheReportingFlag) {
  for (int variant = 0; variant < 2; ++variant) {
    if (variant == 0) {
      Open(10, /*report=*/false);
    } else {
      g_agentOptions.tafEnable = 0;
      conn = ConnectScott();
      dbc = Agent_Conn(conn)->dbConn;
      ASSERT_EQ(0, SetInt(conn, INFO_FAILOVER_REPORT, 1));
    }
    EXPECT_EQ(0, Event(OCI_FO_BEGIN));
    EXPECT_EQ(0, Event(OCI_FO_END));
    EXPECT_EQ(0, Commit()) << variant;
    EXPECT_EQ(OCI_FO_END, dbc->foState);  // recorded, never taken
    Disconnect(conn);
  }
}

TEST_F(TafTest, StateLeftInProgressIsAnError) {
  Open(10);
  EXPECT_EQ(0, Event(OCI_FO_REAUTH));
  EXPECT_EQ(E_S1000, Commit());
  Msgs m = TakeErrors(drv, conn);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]General error[SQLSTATE:S1000]", m.texts[0]);
  EXPECT_EQ(0, Commit());
  // An unknown event changes nothing.
  EXPECT_EQ(0, Event(0x40));
  EXPECT_EQ(0, Commit());
  Disconnect(conn);
}

TEST_F(TafTest, WrappersReportOnInformationAndConnectionSlots) {
  Open(10);
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_END));
  uint32_t mask = 0;
  EXPECT_EQ(E_IM500, DrvCall<&DrvOps::DRV_GetInfo>(&drv, conn, INFO_CAPS_MASK, &mask, 4, nullptr));
  EXPECT_EQ(0x75FFu, mask);  // the operation did its work
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_END));
  // A server-class question finds no connection: nothing is taken.
  char name[16];
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_GetInfo>(&drv, server, INFO_AGENT_NAME, name, sizeof name, nullptr));
  // The next connection operation takes it; having failed (an isolation
  // level the agent does not know), it returns its own code and the
  // completion is listed.
  EXPECT_EQ(E_S1C00, SetInt(conn, INFO_ISOLATION, 4));
  Msgs m = TakeErrors(drv, conn);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]Failover completed.[SQLSTATE:IM500]", m.texts[0]);
  Disconnect(conn);
}

TEST_F(TafTest, NullContextIsIgnored) {
  Open(10);
  EXPECT_EQ(0, TAF_FailoverCallback(nullptr, dbc->env, dbc, OCI_FO_SESSION, OCI_FO_BEGIN));
  EXPECT_EQ(0, TAF_FailoverCallback(dbc->svc, dbc->env, nullptr, OCI_FO_SESSION, OCI_FO_BEGIN));
  EXPECT_EQ(0, dbc->foState);
  Disconnect(conn);
}

TEST_F(TafTest, AnotherThreadWaitsUntilTheFailoverEnds) {
  Open(10);
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  std::atomic<bool> ended{false};
  std::atomic<bool> sawEnd{false};
  std::atomic<int32_t> rc{-1};
  std::thread other([&] {
    rc = Commit();
    sawEnd = ended.load();
  });
  // Give the other thread time to reach the wrapper's wait; it cannot get
  // past it before the END below in any case.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ended = true;
  EXPECT_EQ(0, Event(OCI_FO_END));
  other.join();
  EXPECT_TRUE(sawEnd);
  EXPECT_EQ(E_IM500, rc.load());
  Disconnect(conn);
}

// A cursor operation's failover code goes onto the cursor's own list, the
// one its statement reads; the connection's list stays untouched.
TEST_F(TafTest, CursorOperationsReportOnTheCursorsOwnList) {
  Open(10);
  DrvHandle cur = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
  auto exec = [&](const char *sql) {
    return DrvCall<&DrvOps::DRV_ExecDirect>(&drv, cur, sql, nullptr, uint16_t{0}, nullptr);
  };
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_ABORT));
  EXPECT_EQ(E_IM501, exec("SELECT 1 FROM DUAL"));
  Msgs m = TakeErrors(drv, cur);
  ASSERT_EQ(1u, m.texts.size());
  EXPECT_EQ("[Oracle Server]Failover aborted.[SQLSTATE:IM501]", m.texts[0]);
  EXPECT_TRUE(TakeErrors(drv, conn).texts.empty());

  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_END));
  EXPECT_NE(0, exec("SELECT * FROM no_such_table"));
  m = TakeErrors(drv, cur);
  ASSERT_EQ(2u, m.texts.size());
  EXPECT_EQ(942u, m.native);
  EXPECT_EQ("[Oracle Server]Failover completed.[SQLSTATE:IM500]", m.texts[1]);
  EXPECT_TRUE(TakeErrors(drv, conn).texts.empty());
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur));
  Disconnect(conn);
}

// A cancel from another thread during a failover returns at once and
// leaves the outcome to the connection's own next operation.
TEST_F(TafTest, CancelNeitherWaitsForAFailoverNorTakesItsOutcome) {
  Open(10);
  DrvHandle cur = 0;
  ASSERT_EQ(0, DrvCall<&DrvOps::DRV_AllocCursor>(&drv, conn, &cur));
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));  // this thread holds the failover's lock
  auto cancel = std::async(std::launch::async, [&] { return DrvCall<&DrvOps::DRV_Cancel>(&drv, cur); });
  const bool returned = cancel.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  EXPECT_EQ(0, Event(OCI_FO_END));
  EXPECT_TRUE(returned);
  EXPECT_EQ(0, cancel.get());
  EXPECT_EQ(E_IM500, Commit());
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_FreeCursor>(&drv, cur));
  Disconnect(conn);
}

// A second BEGIN before the failover ended takes the lock no second time:
// after the END another thread's operation goes on.
TEST_F(TafTest, ABeginDuringAnUnfinishedFailoverIsHeldOnce) {
  Open(10);
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_BEGIN));
  EXPECT_EQ(0, Event(OCI_FO_END));
  auto other = std::async(std::launch::async, [&] { return Commit(); });
  const bool returned = other.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  if (!returned) dbc->foLock.Leave();  // the old double hold: let the thread end
  EXPECT_TRUE(returned);
  EXPECT_EQ(E_IM500, other.get());
  Disconnect(conn);
}

TEST(TafCompletion, StatesToCodes) {
  DB_Conn dbc{};
  struct Case {
    int32_t state, code;
  } cases[] = {{0, 0},        {OCI_FO_END, E_IM500}, {OCI_FO_ABORT, E_IM501}, {OCI_FO_REAUTH, E_S1000},
               {OCI_FO_BEGIN, E_S1000}, {OCI_FO_ERROR, E_S1000}, {3, E_S1000}};
  for (const Case &c : cases) {
    dbc.foState = c.state;
    EXPECT_EQ(c.code, TAF_GetCompletionState(&dbc)) << c.state;
  }
}

}  // namespace
