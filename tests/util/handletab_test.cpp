#include "util/handletab.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "odbc/sqlstate.h"

namespace {

struct HandleTableTest : ::testing::Test {
  HandleTable t{};
  int objs[16]{};
  void SetUp() override {
    ASSERT_EQ(HandleTable_Init(&t, 1), 0);
    ASSERT_EQ(HandleTable_EnableLocking(&t), 0);
  }
  void TearDown() override { HandleTable_Destroy(&t); }
  HandleValue Add(void *obj) {
    HandleValue h = 0xDEAD;
    EXPECT_EQ(HandleTable_Add(&t, &h, obj), 0);
    return h;
  }
};

TEST_F(HandleTableTest, FirstAddIsIndexZeroAndSixthGrowsByFive) {
  EXPECT_EQ(t.capacity, 5);
  EXPECT_EQ(t.freeCount, 5);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Add(&objs[i]), 0x10000u + i);
  EXPECT_EQ(t.capacity, 10);
  EXPECT_EQ(t.freeCount, 4);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(HandleTable_Lookup(&t, 0x10000u + i), &objs[i]);
}

TEST_F(HandleTableTest, FreedHandleComesBackLowestIndexFirst) {
  for (int i = 0; i < 7; ++i) Add(&objs[i]);
  HandleTable_Remove(&t, 0x10004);
  HandleTable_Remove(&t, 0x10002);
  EXPECT_EQ(HandleTable_Lookup(&t, 0x10002), nullptr);  // stale
  EXPECT_EQ(Add(&objs[10]), 0x10002u);
  EXPECT_EQ(Add(&objs[11]), 0x10004u);
  EXPECT_EQ(Add(&objs[12]), 0x10007u);
  EXPECT_EQ(HandleTable_Lookup(&t, 0x10002), &objs[10]);
}

TEST_F(HandleTableTest, InvalidValuesResolveToNothingAndAreIgnoredByRemove) {
  for (int i = 0; i < 3; ++i) Add(&objs[i]);
  HandleTable_Remove(&t, 0x10001);
  const uint16_t freeBefore = t.freeCount;
  const HandleValue bad[] = {
      0,            // never a handle
      0x30000,      // statement tag, index live here
      0x20000,      // connection tag
      0x10001,      // freed entry
      0x10005,      // index == capacity
      0x1FFFF,      // far beyond capacity
      0x00000002,   // right index, tag 0
  };
  for (HandleValue h : bad) {
    EXPECT_EQ(HandleTable_Lookup(&t, h), nullptr) << std::hex << h;
    HandleTable_Remove(&t, h);
    EXPECT_EQ(t.freeCount, freeBefore) << std::hex << h;
  }
  EXPECT_EQ(HandleTable_Lookup(&t, 0x10002), &objs[2]);
  EXPECT_EQ(HandleTable_Lookup(nullptr, 0x10002), nullptr);
  HandleTable_Remove(nullptr, 0x10002);
}

TEST_F(HandleTableTest, FullTableAnswers131AndStaysUnchanged) {
  HandleValue h = 0;
  for (uint32_t i = 0; i < 65535; ++i) {
    ASSERT_EQ(HandleTable_Add(&t, &h, &objs[0]), 0);
    ASSERT_EQ(h, 0x10000u | i);
  }
  EXPECT_EQ(t.capacity, 65535);
  EXPECT_EQ(t.freeCount, 0);
  h = 0x1234;
  EXPECT_EQ(HandleTable_Add(&t, &h, &objs[1]), E_S1014);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(t.capacity, 65535);
  EXPECT_EQ(HandleTable_Lookup(&t, 0x1FFFE), &objs[0]);
  // A freed slot near the front is found again.
  HandleTable_Remove(&t, 0x10007);
  EXPECT_EQ(Add(&objs[2]), 0x10007u);
}

TEST_F(HandleTableTest, InitTurnsLockingOffAndDestroyInitGivesFreshTable) {
  Add(&objs[0]);
  EXPECT_NE(t.locking, 0);
  ASSERT_EQ(HandleTable_Init(&t, 1), 0);
  EXPECT_EQ(t.locking, 0);
  EXPECT_EQ(t.freeCount, 5);
  EXPECT_EQ(HandleTable_Lookup(&t, 0x10000), nullptr);
  HandleTable_Destroy(&t);
  EXPECT_EQ(t.capacity, 0);
  EXPECT_EQ(t.entries, nullptr);
  EXPECT_EQ(t.tag, 0);
  EXPECT_EQ(HandleTable_Lookup(&t, 0x10000), nullptr);
  ASSERT_EQ(HandleTable_Init(&t, 1), 0);
  EXPECT_EQ(t.capacity, 5);
  EXPECT_EQ(t.freeCount, 5);
  EXPECT_EQ(Add(&objs[1]), 0x10000u);
}

TEST(HandleTable, TagsOfAgentTablesAndTagZero) {
  struct {
    uint16_t tag;
    int32_t stored;
    HandleValue first;
  } cases[] = {{0xBBBB, 0xBBBB, 0xBBBB0000u}, {0xCCCC, 0xCCCC, 0xCCCC0000u}, {0, -1, 0xFFFF0000u}};
  for (auto &c : cases) {
    HandleTable t{};
    ASSERT_EQ(HandleTable_Init(&t, c.tag), 0);
    EXPECT_EQ(t.tag, c.stored);
    int obj = 0;
    HandleValue h = 0;
    ASSERT_EQ(HandleTable_Add(&t, &h, &obj), 0);
    EXPECT_EQ(h, c.first);
    EXPECT_EQ(HandleTable_Lookup(&t, h), &obj);
    HandleTable_Destroy(&t);
  }
}

TEST_F(HandleTableTest, ConcurrentAddsGiveDistinctHandles) {
  constexpr int kThreads = 4, kPer = 500;
  std::vector<HandleValue> got(kThreads * kPer);
  std::vector<std::thread> threads;
  for (int th = 0; th < kThreads; ++th)
    threads.emplace_back([&, th] {
      for (int i = 0; i < kPer; ++i) {
        HandleValue h = 0;
        ASSERT_EQ(HandleTable_Add(&t, &h, &got[th * kPer + i]), 0);
        got[th * kPer + i] = h;
        if (i % 3 == 0) {
          HandleTable_Remove(&t, h);
          ASSERT_EQ(HandleTable_Add(&t, &h, &got[th * kPer + i]), 0);
          got[th * kPer + i] = h;
        }
      }
    });
  for (auto &th : threads) th.join();
  std::set<HandleValue> unique(got.begin(), got.end());
  EXPECT_EQ(unique.size(), got.size());
  EXPECT_EQ(t.capacity - t.freeCount, kThreads * kPer);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(HandleTable_Lookup(&t, got[i]), &got[i]);
}

// Lookups take no lock: while other threads add (growing the table many
// times over) and remove, a handle that stays registered keeps resolving to
// its object and a removed one to NULL.
TEST_F(HandleTableTest, LookupsStayRightWhileTheTableGrowsAndShrinks) {
  const HandleValue kept = Add(&objs[0]);
  const HandleValue gone = Add(&objs[1]);
  HandleTable_Remove(&t, gone);
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w)
    writers.emplace_back([&] {
      std::vector<HandleValue> mine;
      for (int i = 0; i < 3000; ++i) {
        HandleValue h = 0;
        ASSERT_EQ(HandleTable_Add(&t, &h, &objs[2]), 0);
        mine.push_back(h);
        if (i % 4 == 3) {
          HandleTable_Remove(&t, mine.front());
          mine.erase(mine.begin());
        }
      }
    });
  int wrong = 0;
  std::thread reader([&] {
    while (!done.load()) {
      wrong += HandleTable_Lookup(&t, kept) != &objs[0];
      // The removed handle's entry may be taken again by a writer's object.
      void *g = HandleTable_Lookup(&t, gone);
      wrong += g != nullptr && g != &objs[2];
    }
  });
  for (auto &w : writers) w.join();
  done = true;
  reader.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(t.capacity, 4000);
  EXPECT_EQ(HandleTable_Lookup(&t, kept), &objs[0]);
}

}  // namespace
