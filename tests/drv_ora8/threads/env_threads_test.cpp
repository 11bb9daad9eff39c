// Connects set ORACLE_SID from their database path while other threads read
// the environment (getenv): once the value is in place, the connects that
// follow write nothing, so the readers never meet a change (the thread
// sanitizer stage runs this).
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "util/strutil.h"

extern char **environ;

using namespace agent_test;

namespace {

using EnvTest = AgentTest;

TEST_F(EnvTest, ConnectsSettingOracleSidBesideReaders) {
  ConnArgs r = Scott();
  r.dbPath = "SIDA";
  DrvHandle conn = 0;
  ASSERT_EQ(0, Connect(r, &conn));
  Disconnect(conn);
  ASSERT_STREQ("SIDA", getenv("ORACLE_SID"));
  char **before = environ;
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i)
    readers.emplace_back([&] {
      while (!stop.load()) {
        const char *sid = getenv("ORACLE_SID");
        EXPECT_TRUE(sid && std::string(sid) == "SIDA");
        EXPECT_NE(nullptr, getenv("PATH"));
      }
    });
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(0, Connect(r, &conn));
    Disconnect(conn);
  }
  stop = true;
  for (std::thread &t : readers) t.join();
  EXPECT_EQ(before, environ);
  env_set_private("ORACLE_SID", nullptr);
  EXPECT_EQ(nullptr, getenv("ORACLE_SID"));
}

}  // namespace
