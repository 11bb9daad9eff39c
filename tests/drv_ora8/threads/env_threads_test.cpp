// Connects set ORACLE_SID from their database path while other threads read
// the environment: every read sees a whole entry, and an unchanged value
// writes nothing (the thread sanitizer stage runs this).
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "util/strutil.h"

using namespace agent_test;

namespace {

using EnvTest = AgentTest;

TEST_F(EnvTest, ConnectsSettingOracleSidBesideReaders) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i)
    readers.emplace_back([&] {
      while (!stop.load()) {
        const char *sid = getenv("ORACLE_SID");
        if (sid) {
          std::string v(sid);
          EXPECT_TRUE(v == "SIDA" || v == "SIDB") << v;
        }
        EXPECT_NE(nullptr, getenv("PATH"));
      }
    });
  for (int round = 0; round < 20; ++round) {
    ConnArgs r = Scott();
    r.dbPath = round % 4 < 2 ? "SIDA" : "SIDB";  // each value twice running
    DrvHandle conn = 0;
    ASSERT_EQ(0, Connect(r, &conn));
    EXPECT_STREQ(r.dbPath.c_str(), getenv("ORACLE_SID"));
    Disconnect(conn);
  }
  stop = true;
  for (std::thread &t : readers) t.join();
  env_set_private("ORACLE_SID", nullptr);
  EXPECT_EQ(nullptr, getenv("ORACLE_SID"));
}

}  // namespace
