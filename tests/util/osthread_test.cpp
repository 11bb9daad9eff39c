#include "util/osthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

namespace {

struct Events {
  OsEvent e[3]{};
  Events() {
    for (auto &ev : e) EXPECT_NE(ev.Create(false), nullptr);
  }
  ~Events() {
    for (auto &ev : e) ev.Close();
  }
};

TEST(OsWaitSet, EmptySetFailsAtOnceAndFullSetRefusesMore) {
  OsWaitSet set{};
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_FAILED);
  EXPECT_EQ(set.WaitAny(true), OS_WAIT_FAILED);
  OsEvent ev{};
  ASSERT_NE(ev.Create(true), nullptr);
  OsSemaphore sem{};
  ASSERT_NE(sem.Create(1, 1), nullptr);
  for (uint32_t i = 0; i < OS_MAXIMUM_WAIT_OBJECTS; ++i) ASSERT_TRUE(set.AddEvent(ev));
  EXPECT_FALSE(set.AddEvent(ev));
  EXPECT_FALSE(set.AddSemaphore(sem));
  EXPECT_EQ(set.count, OS_MAXIMUM_WAIT_OBJECTS);
  set.Clear();
  EXPECT_EQ(set.count, 0u);
  EXPECT_FALSE(set.AddEvent(OsEvent{}));  // never created
  ev.Close();
  sem.Close();
}

TEST(OsWaitSet, WaitAnyReportsLowestSignalledIndexAndConsumesOnlyIt) {
  Events ev;
  OsSemaphore sem{};
  ASSERT_NE(sem.Create(2, 5), nullptr);
  OsWaitSet set{};
  for (auto &e : ev.e) ASSERT_TRUE(set.AddEvent(e));
  ASSERT_TRUE(set.AddSemaphore(sem));
  ev.e[2].Set();
  ev.e[1].Set();
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0 + 1);
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0 + 2);
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0 + 3);  // semaphore count 2 -> 1
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0 + 3);  // 1 -> 0
  ev.e[0].Set();
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0);
  sem.Close();
}

TEST(OsEvent, SignalledAtCreationSatisfiesOneWaitOnly) {
  OsEvent ev{};
  ASSERT_NE(ev.Create(true), nullptr);
  EXPECT_TRUE(ev.Wait());
  OsSemaphore marker{};
  ASSERT_NE(marker.Create(1, 1), nullptr);
  OsWaitSet set{};
  set.AddEvent(ev);
  set.AddSemaphore(marker);
  // The event is no longer signalled, so the marker is what the wait sees.
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0 + 1);
  // Setting twice before a wait still gives one signal (auto-reset).
  ev.Set();
  ev.Set();
  marker.Release();
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0);
  EXPECT_EQ(set.WaitAny(false), OS_WAIT_OBJECT_0 + 1);
  ev.Close();
  marker.Close();
}

TEST(OsSemaphore, CountsAreBoundedByTheMaximum) {
  OsSemaphore s{};
  EXPECT_EQ(s.Create(2, 1), nullptr);
  EXPECT_EQ(s.Create(0, 0), nullptr);
  EXPECT_EQ(s.Create(-1, 3), nullptr);
  EXPECT_FALSE(s.Release());
  ASSERT_NE(s.Create(0, 1), nullptr);
  EXPECT_TRUE(s.Release());
  EXPECT_FALSE(s.Release());  // would pass the maximum
  EXPECT_TRUE(s.Wait());
  EXPECT_TRUE(s.Release());
  EXPECT_TRUE(s.Close());
  EXPECT_FALSE(s.Close());
}

// A binary semaphore used as a lock by several threads: every count taken
// without the shared lock is handed on, no waiter sleeps through a release,
// and the guarded counter sees every increment.
TEST(OsSemaphore, BinaryLockPassesBetweenThreadsWithoutLostWakeups) {
  struct Shared {
    OsSemaphore lock{};
    int64_t counter = 0;  // guarded by lock only
  } sh;
  ASSERT_NE(sh.lock.Create(1, 1), nullptr);
  constexpr int kThreads = 4, kRounds = 20000;
  OsThreadStart rec{[](void *p) -> uint32_t {
                      auto *s = static_cast<Shared *>(p);
                      for (int i = 0; i < kRounds; ++i) {
                        if (!s->lock.Wait()) return 1;
                        ++s->counter;
                        if (!s->lock.Release()) return 2;
                      }
                      return 0;
                    },
                    &sh};
  OsThread th[kThreads]{};
  for (auto &t : th) t.Start(&rec);
  for (auto &t : th) {
    ASSERT_TRUE(t.Join());
    uint32_t code = 99;
    t.ExitCode(&code);
    EXPECT_EQ(code, 0u);
    t.Close();
  }
  EXPECT_EQ(sh.counter, int64_t{kThreads} * kRounds);
  // Exactly one count is left.
  EXPECT_TRUE(sh.lock.Wait());
  EXPECT_TRUE(sh.lock.Release());
  EXPECT_FALSE(sh.lock.Release());
  sh.lock.Close();
}

// A wait-all on two semaphores while another thread keeps taking and giving
// back one of them without the shared lock: the wait-all ends once the
// other is released, and takes exactly one count of each.
TEST(OsWaitSet, WaitAllCompletesAgainstLockFreeTakers) {
  struct Shared {
    OsSemaphore a{}, b{};
    std::atomic<bool> stop{false};
    OsWaitSet set{};
  } sh;
  ASSERT_NE(sh.a.Create(1, 1), nullptr);
  ASSERT_NE(sh.b.Create(0, 1), nullptr);
  sh.set.AddSemaphore(sh.a);
  sh.set.AddSemaphore(sh.b);
  OsThreadStart churn{[](void *p) -> uint32_t {
                        auto *s = static_cast<Shared *>(p);
                        while (!s->stop.load()) {
                          s->a.Wait();
                          s->a.Release();
                        }
                        return 0;
                      },
                      &sh};
  OsThreadStart all{[](void *p) -> uint32_t {
                      return static_cast<uint32_t>(static_cast<Shared *>(p)->set.WaitAny(true));
                    },
                    &sh};
  OsThread churner{}, waiter{};
  churner.Start(&churn);
  waiter.Start(&all);
  ASSERT_TRUE(sh.b.Release());
  ASSERT_TRUE(waiter.Join());
  uint32_t code = 99;
  waiter.ExitCode(&code);
  EXPECT_EQ(code, static_cast<uint32_t>(OS_WAIT_OBJECT_0));
  // The churner may now block on a; give its count back so it can stop.
  sh.stop = true;
  ASSERT_TRUE(sh.a.Release());
  ASSERT_TRUE(churner.Join());
  churner.Close();
  waiter.Close();
  // a: the count given back above is the only one; b: none.
  EXPECT_FALSE(sh.a.Release());
  EXPECT_TRUE(sh.b.Release());
  sh.a.Close();
  sh.b.Close();
}

TEST(OsWaitSet, WaitAllTakesEveryHandleTogether) {
  Events ev;
  OsWaitSet set{};
  set.AddEvent(ev.e[0]);
  set.AddEvent(ev.e[1]);
  set.AddEvent(ev.e[2]);
  ev.e[0].Set();
  ev.e[2].Set();
  OsThreadStart rec{[](void *p) -> uint32_t { return static_cast<uint32_t>(static_cast<OsWaitSet *>(p)->WaitAny(true)); },
                    &set};
  OsThread th{};
  th.Start(&rec);
  ASSERT_NE(th.handle, nullptr);
  // The waiter cannot have taken e[0] or e[2] alone: they stay signalled
  // until e[1] arrives.
  ev.e[1].Set();
  ASSERT_TRUE(th.Join());
  uint32_t code = 99;
  ASSERT_TRUE(th.ExitCode(&code));
  EXPECT_EQ(code, static_cast<uint32_t>(OS_WAIT_OBJECT_0));
  th.Close();
  OsWaitSet any{};
  for (auto &e : ev.e) any.AddEvent(e);
  ev.e[1].Set();
  EXPECT_EQ(any.WaitAny(false), 1);  // all three were consumed by the wait-all
}

struct Gate {
  OsEvent go{}, started{};
  std::atomic<int> ran{0};
};

uint32_t GatedWorker(void *p) {
  auto *g = static_cast<Gate *>(p);
  g->started.Set();
  g->go.Wait();
  g->ran = 1;
  return 42;
}

TEST(OsThread, AliveWhileRunningNotAfterReturnAndJoinable) {
  Gate g;
  ASSERT_NE(g.go.Create(false), nullptr);
  ASSERT_NE(g.started.Create(false), nullptr);
  OsThreadStart rec{GatedWorker, &g};
  OsThread th{};
  th.Start(&rec);
  ASSERT_NE(th.handle, nullptr);
  EXPECT_NE(th.threadId, 0u);
  EXPECT_EQ(th.start, &rec);
  ASSERT_TRUE(g.started.Wait());
  EXPECT_TRUE(th.IsAlive());
  uint32_t code = 0;
  ASSERT_TRUE(th.ExitCode(&code));
  EXPECT_EQ(code, OS_STILL_ACTIVE);
  g.go.Set();
  EXPECT_TRUE(th.Join());
  EXPECT_TRUE(th.Join());  // joining an ended thread again returns at once
  EXPECT_FALSE(th.IsAlive());
  ASSERT_TRUE(th.ExitCode(&code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(g.ran, 1);
  EXPECT_TRUE(th.Close());
  EXPECT_FALSE(th.IsAlive());
  EXPECT_FALSE(th.Join());
  g.go.Close();
  g.started.Close();
}

TEST(OsThread, TerminateEndsAThreadBlockedInAWait) {
  Gate g;
  ASSERT_NE(g.go.Create(false), nullptr);
  ASSERT_NE(g.started.Create(false), nullptr);
  OsThreadStart rec{GatedWorker, &g};
  OsThread th{};
  th.Start(&rec);
  ASSERT_TRUE(g.started.Wait());
  EXPECT_TRUE(th.Terminate(7));
  EXPECT_TRUE(th.Join());
  EXPECT_FALSE(th.IsAlive());
  uint32_t code = 0;
  ASSERT_TRUE(th.ExitCode(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(g.ran, 0);
  EXPECT_TRUE(th.Terminate(8));  // already ended: nothing to do
  th.Close();
  // The cancelled wait left no registration behind on the event.
  g.go.Set();
  EXPECT_TRUE(g.go.Wait());
  EXPECT_TRUE(g.go.Close());
  g.started.Close();
}

TEST(OsCritSec, RecursiveForItsOwnerAndHeldUntilLastLeave) {
  OsCritSec cs{};
  cs.Init();
  cs.Enter();
  cs.Enter();
  auto tryFromOther = [&] {
    OsThreadStart rec{[](void *p) -> uint32_t {
                        auto *c = static_cast<OsCritSec *>(p);
                        int r = pthread_mutex_trylock(&c->mutex);
                        if (r == 0) pthread_mutex_unlock(&c->mutex);
                        return static_cast<uint32_t>(r);
                      },
                      &cs};
    OsThread th{};
    th.Start(&rec);
    th.Join();
    uint32_t code = 0;
    th.ExitCode(&code);
    th.Close();
    return static_cast<int>(code);
  };
  cs.Leave();
  EXPECT_EQ(tryFromOther(), EBUSY);
  cs.Leave();
  EXPECT_EQ(tryFromOther(), 0);
  {
    OsLock lock(cs);
    EXPECT_EQ(lock.section, &cs);
    EXPECT_EQ(tryFromOther(), EBUSY);
    lock.Unlock();
    EXPECT_EQ(lock.section, nullptr);
    EXPECT_EQ(tryFromOther(), 0);
    lock.Lock(&cs);
  }
  EXPECT_EQ(tryFromOther(), 0);  // the scope left the section
  cs.Delete();

  static OsCritSec staticCs = OS_CRITSEC_INITIALIZER;
  staticCs.Enter();
  staticCs.Enter();
  staticCs.Leave();
  staticCs.Leave();
}

}  // namespace
