// The XA worker layer: its hand-off, its thread and the proxies over a
// table of recording operations.
#include "xa/xaw.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include "odbc/drvops.h"
#include "odbc/sqlstate.h"

namespace {

// ---- Hand-off -------------------------------------------------------------------------

TEST(WorkerThreadTest, PostsRunOneAtATimeOnTheWorker) {
  WorkerThread w;
  ASSERT_TRUE(w.Start());
  struct Shared {
    int counter = 0;  // plain: the worker runs one task at a time
    std::atomic<int> offWorker{0};
    WorkerThread *w;
  } shared{0, {0}, &w};
  auto task = [](void *p) {
    auto *s = static_cast<Shared *>(p);
    if (!s->w->OnWorker()) s->offWorker.fetch_add(1);
    ++s->counter;
  };
  std::vector<std::thread> senders;
  for (int i = 0; i < 4; ++i)
    senders.emplace_back([&] {
      for (int j = 0; j < 50; ++j) EXPECT_EQ(1, w.Post(task, &shared));
    });
  for (auto &t : senders) t.join();
  EXPECT_EQ(200, shared.counter);
  EXPECT_EQ(0, shared.offWorker.load());
  w.Stop();
}

TEST(WorkerThreadTest, APostToAStoppedWorkerFailsAtOnce) {
  WorkerThread w;
  ASSERT_TRUE(w.Start());
  w.Stop();
  bool ran = false;
  EXPECT_EQ(0, w.Post([](void *p) { *static_cast<bool *>(p) = true; }, &ran));
  EXPECT_FALSE(ran);
}

// The channel driven by hand from the worker's side: when the worker stops,
// the sender whose task it took gets its result once the task is done, and
// every other sender fails without its task running.
TEST(TaskChannelTest, StoppingWakesEverySender) {
  TaskChannel ch;
  bool ranA = false, ranB = false;
  WorkerTask a{[](void *p) { *static_cast<bool *>(p) = true; }, &ranA};
  WorkerTask b{[](void *p) { *static_cast<bool *>(p) = true; }, &ranB};
  auto sentA = std::async(std::launch::async, [&] { return ch.Send(&a); });
  WorkerTask *got = nullptr;
  ASSERT_EQ(1, ch.Receive(&got));
  ASSERT_EQ(&a, got);
  auto sentB = std::async(std::launch::async, [&] { return ch.Send(&b); });
  ch.Stop();
  got->run(got->request);
  ch.Complete(got);
  EXPECT_EQ(1, sentA.get());
  EXPECT_EQ(0, sentB.get());
  EXPECT_TRUE(ranA);
  EXPECT_FALSE(ranB);
  EXPECT_EQ(0, ch.Receive(&got));  // the worker takes nothing more
}

TEST(TaskChannelTest, AnUntakenTaskFailsWhenTheWorkerStops) {
  TaskChannel ch;
  bool ran = false;
  WorkerTask t{[](void *p) { *static_cast<bool *>(p) = true; }, &ran};
  auto sent = std::async(std::launch::async, [&] { return ch.Send(&t); });
  ch.Stop();
  EXPECT_EQ(0, sent.get());
  EXPECT_FALSE(ran);
}

TEST(XaWorkerTest, FlagsWithoutAThread) {
  XaWorker w;
  w.Init(0);
  EXPECT_EQ(nullptr, w.thread);
  EXPECT_EQ(1, w.KeepThread());
  w.SetTerminateMode(1);
  EXPECT_EQ(0, w.TerminateMode());
  EXPECT_EQ(0, w.Post([](void *) {}, nullptr));
  EXPECT_EQ(0, xaw_SetInGlobalTxn(&w, 5));
  EXPECT_EQ(1, xaw_InGlobalTxn(&w));
  EXPECT_EQ(0, xaw_InGlobalTxn(nullptr));
  EXPECT_EQ(E_S1009, xaw_SetInGlobalTxn(nullptr, 1));
  EXPECT_EQ(E_S1009, xaw_SetSwitchFlags(nullptr, 1));
  w.StopThread();  // nothing to stop
}

// A task that ends its own worker (a disconnect posted to the worker): the
// thread frees itself once that task is done, after its sender has left.
TEST(XaWorkerTest, ATaskMayStopItsOwnWorker) {
  XaWorker w;
  w.Init(1);
  ASSERT_NE(nullptr, w.thread);
  EXPECT_EQ(1, w.Post([](void *p) { static_cast<XaWorker *>(p)->StopThread(); }, &w));
  EXPECT_EQ(nullptr, w.thread);
  EXPECT_EQ(0, w.Post([](void *) {}, nullptr));  // no worker any more
}

// ---- Proxies ----------------------------------------------------------------------------

// The layer below: records the thread each call ran on.
constexpr DrvHandle kConn = 0xBBBB0001u, kCursor = 0xCCCC0001u, kBareConn = 0xBBBB0002u;
std::atomic<std::thread::id> g_ranOn;
std::atomic<int> g_calls{0};
std::atomic<int32_t> g_disconnectResult{0};
XaWorker *g_worker = nullptr;  // kConn's (and kCursor's) worker slot
XaWorker *g_bare = nullptr;    // kBareConn's

void Note() {
  g_ranOn.store(std::this_thread::get_id());
  g_calls.fetch_add(1);
}
int32_t LowExecute(DrvHandle) { return Note(), 0; }
int32_t LowXaStart(DrvHandle, xid_t *, int32_t, int32_t) { return Note(), 0; }
int32_t LowXaOpen(DrvHandle, int32_t, const char *, int32_t, int32_t) { return Note(), 0; }
int32_t LowDisconnect(DrvHandle) { return Note(), g_disconnectResult.load(); }
int32_t LowGetInfo(DrvHandle, uint32_t code, void *buf, uint16_t, int16_t *) {
  *static_cast<int32_t *>(buf) = code == INFO_XA_KILL_WORKER ? 1 : 0;  // as the agent answers
  return 0;
}
XaWorker **ByConn(DrvHandle h) { return h == kConn ? &g_worker : h == kBareConn ? &g_bare : nullptr; }
XaWorker **ByCursor(DrvHandle h) { return h == kCursor ? &g_worker : nullptr; }

class XawProxyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DrvOpsFillEmpty(lower_);
    lower_.DRV_Execute = LowExecute;
    lower_.DRV_XaStart = LowXaStart;
    lower_.DRV_XaOpen = LowXaOpen;
    lower_.DRV_Disconnect = LowDisconnect;
    lower_.DRV_GetInfo = LowGetInfo;
    xaw_SetAgentLookups(ByConn, ByCursor);
    obj_ = {DRVOBJ_THREADSAFE, &lower_};
    ASSERT_EQ(0, xaw_Init(&obj_));
    ASSERT_NE(&lower_, obj_.table);
  }
  void TearDown() override {
    for (XaWorker **w : {&g_worker, &g_bare}) {
      if (*w) (*w)->StopThread();
      delete *w;
      *w = nullptr;
    }
  }
  int32_t Open(DrvHandle h) { return DrvCall<&DrvOps::DRV_XaOpen>(&obj_, h, 1, "", 1, 0); }
  static DrvOps lower_;
  static DrvObject obj_;
};
DrvOps XawProxyTest::lower_{};
DrvObject XawProxyTest::obj_{};

TEST_F(XawProxyTest, ObjectWithoutFlagsIsLeftAlone) {
  DrvOps t{};
  DrvObject o{0, &t};
  EXPECT_EQ(E_S1C00, xaw_Init(&o));
  EXPECT_EQ(&t, o.table);
}

TEST_F(XawProxyTest, StatementsFollowTheWorkerOnlyInAGlobalTransaction) {
  const auto me = std::this_thread::get_id();
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&obj_, kCursor));  // no worker yet
  EXPECT_EQ(me, g_ranOn.load());
  ASSERT_EQ(0, Open(kConn));
  ASSERT_NE(nullptr, g_worker);
  EXPECT_NE(me, g_ranOn.load());  // the open ran on the worker
  EXPECT_EQ(0, g_worker->KeepThread());
  EXPECT_EQ(1, g_worker->TerminateMode());
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&obj_, kCursor));
  EXPECT_EQ(me, g_ranOn.load());  // not in a global transaction
  xaw_SetInGlobalTxn(g_worker, 1);
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Execute>(&obj_, kCursor));
  EXPECT_NE(me, g_ranOn.load());
  xid_t *noXid = nullptr;
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_XaStart>(&obj_, kConn, noXid, 1, 0));
  EXPECT_NE(me, g_ranOn.load());
}

TEST_F(XawProxyTest, XaVerbsNeedAnOpenedConnection) {
  xid_t *noXid = nullptr;
  const int before = g_calls.load();
  EXPECT_EQ(-5, DrvCall<&DrvOps::DRV_XaStart>(&obj_, kBareConn, noXid, 1, 0));  // never opened
  EXPECT_EQ(-5, DrvCall<&DrvOps::DRV_XaStart>(&obj_, 0xBBBB0999u, noXid, 1, 0));  // unknown
  EXPECT_EQ(-5, Open(0xBBBB0999u));
  EXPECT_EQ(before, g_calls.load());
}

TEST_F(XawProxyTest, AStoppedWorkerRefusesAtOnce) {
  ASSERT_EQ(0, Open(kConn));
  xaw_SetInGlobalTxn(g_worker, 1);
  g_worker->thread->Stop();
  const int before = g_calls.load();
  xid_t *noXid = nullptr;
  EXPECT_EQ(E_IM933, DrvCall<&DrvOps::DRV_Execute>(&obj_, kCursor));
  EXPECT_EQ(-3, DrvCall<&DrvOps::DRV_XaStart>(&obj_, kConn, noXid, 1, 0));
  EXPECT_EQ(before, g_calls.load());  // nothing ran below
}

TEST_F(XawProxyTest, DisconnectEndsTheWorkerOnlyWhenItSucceeds) {
  ASSERT_EQ(0, Open(kConn));
  g_disconnectResult = E_S1009;
  EXPECT_EQ(E_S1009, DrvCall<&DrvOps::DRV_Disconnect>(&obj_, kConn));
  EXPECT_NE(nullptr, g_worker);
  g_disconnectResult = 0;
  EXPECT_EQ(0, DrvCall<&DrvOps::DRV_Disconnect>(&obj_, kConn));
  EXPECT_EQ(nullptr, g_worker);
}

// With keep 0 (the agent's answer) a second open replaces the worker and
// its thread; the new one carries the old options.
TEST_F(XawProxyTest, ReopenReplacesTheWorker) {
  ASSERT_EQ(0, Open(kConn));
  g_worker->SetTerminateMode(0);
  ASSERT_EQ(0, Open(kConn));
  EXPECT_NE(nullptr, g_worker);
  EXPECT_EQ(0, g_worker->TerminateMode());  // carried over, not read again
}

}  // namespace
