// OCI connection pools shared by the connections of one server context:
// reuse within the linger time and destruction by the last lingering
// release only. Releases linger on threads of their own.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "agent_fixture.h"
#include "util/hashtab.h"

using namespace agent_test;

namespace {

class PoolTest : public AgentTest {
 protected:
  void Limits(int32_t min, int32_t max, int32_t linger) {
    g_agentOptions.poolMin = min;
    g_agentOptions.poolMax = max;
    g_agentOptions.poolIncr = 1;
    g_agentOptions.poolWait = 1;
    g_agentOptions.poolLinger = linger;
  }
  OciPoolList &Pools() { return Agent_Server(server)->dbServ->pools; }
  // Whether the list still holds a pool of the key (read under its lock).
  bool Listed(const unsigned char *key) {
    OsLock lock(Pools().lock);
    return hash_find(Pools().pools, key) != nullptr;
  }
  int32_t Lingering(const unsigned char *key) {
    OsLock lock(Pools().lock);
    auto *pool = static_cast<OciConnPool *>(hash_find(Pools().pools, key));
    return pool ? pool->lingering : -1;
  }
  void KeyOf(DrvHandle conn, unsigned char key[16]) {
    OciConnPool *pool = Agent_Conn(conn)->dbConn->pool;
    ASSERT_NE(nullptr, pool);
    memcpy(key, pool->key, 16);
  }
};

TEST_F(PoolTest, WithoutLingerTheLastReleaseDestroysThePoolAtOnce) {
  Limits(1, 3, 0);
  unsigned char key[16];
  for (int round = 1; round <= 2; ++round) {
    DrvHandle a = ConnectScott();
    DrvHandle b = ConnectScott();
    KeyOf(a, key);
    EXPECT_EQ(Agent_Conn(a)->dbConn->pool, Agent_Conn(b)->dbConn->pool);
    Disconnect(a);
    EXPECT_TRUE(Listed(key));
    Disconnect(b);
    EXPECT_FALSE(Listed(key));
    EXPECT_EQ(static_cast<unsigned>(round), ocilite_test_calls(OCILITE_T_CPOOL_CREATE));
  }
}

// A leaves and lingers; B comes within the linger (reusing the pool), leaves
// and lingers too. Only B's release, the last one lingering, destroys the
// pool; A's, waking first with no user left, must not free it under B.
TEST_F(PoolTest, TwoLingeringReleasesDestroyThePoolOnce) {
  Limits(1, 3, 3);  // long enough for B to come within it on a busy machine
  unsigned char key[16];
  DrvHandle a = ConnectScott();
  KeyOf(a, key);
  std::thread leaveA([&] { Disconnect(a); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int32_t lingering = -1;
  while ((lingering = Lingering(key)) != 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(1, lingering) << "A's release never lingered";
  DrvHandle b = ConnectScott();
  EXPECT_EQ(1u, ocilite_test_calls(OCILITE_T_CPOOL_CREATE));  // reused
  std::thread leaveB([&] { Disconnect(b); });
  leaveA.join();
  leaveB.join();
  EXPECT_FALSE(Listed(key));
  DrvHandle c = ConnectScott();
  EXPECT_EQ(2u, ocilite_test_calls(OCILITE_T_CPOOL_CREATE));
  Disconnect(c);
}

}  // namespace
