// The login prompt library: scripted answers (the test double only), no
// prompt without a window or a controlling terminal, and the prompt itself
// on a pseudo-terminal.
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tvxlogin.h"

namespace {

void *const kWindow = reinterpret_cast<void *>(1);

struct LoginTest : ::testing::Test {
  void SetUp() override { unsetenv("TVX_LOGIN_ANSWER"); }
  void TearDown() override { unsetenv("TVX_LOGIN_ANSWER"); }
};

TEST_F(LoginTest, AScriptedAnswerConfirmsOrCancels) {
  setenv("TVX_LOGIN_ANSWER", "UID=a;PWD={b;c}", 1);
  char *out = reinterpret_cast<char *>(1);
  EXPECT_EQ(TvxLOGIN(nullptr, "desc", "DSN=x", &out, 'A'), 1);
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, "DSN=x;UID=a;PWD={b;c}");
  TvxLOGIN_Free(out);
  setenv("TVX_LOGIN_ANSWER", "Cancel", 1);
  EXPECT_EQ(TvxLOGIN(kWindow, nullptr, "DSN=x", &out, 'W'), 0);
  EXPECT_EQ(out, nullptr);
  TvxLOGIN_Free(out);
}

// The environment must not log anybody in through the shipped library: with
// an answer set and no way to prompt, nothing is confirmed.
TEST_F(LoginTest, TheShippedLibraryTakesNoScriptedAnswer) {
  void *lib = dlopen(KVD_SHIPPED_LOGIN, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto login = reinterpret_cast<decltype(&TvxLOGIN)>(dlsym(lib, "TvxLOGIN"));
  auto release = reinterpret_cast<decltype(&TvxLOGIN_Free)>(dlsym(lib, "TvxLOGIN_Free"));
  ASSERT_NE(login, nullptr);
  ASSERT_NE(login, &TvxLOGIN);  // not the double's
  setenv("TVX_LOGIN_ANSWER", "UID=a;PWD=b", 1);
  char *out = nullptr;
  EXPECT_EQ(login(nullptr, "desc", "DSN=x", &out, 'A'), 0);
  EXPECT_EQ(out, nullptr);
  release(out);
  dlclose(lib);
}

TEST_F(LoginTest, WithoutAWindowNothingIsConfirmed) {
  char *out = nullptr;
  EXPECT_EQ(TvxLOGIN(nullptr, "desc", "DSN=x", &out, 'A'), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(TvxLOGIN(kWindow, "desc", "DSN=x", nullptr, 'A'), 0);
}

TEST_F(LoginTest, WithoutAControllingTerminalNothingIsConfirmed) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setsid();  // a new session has no controlling terminal
    char *out = nullptr;
    int rc = TvxLOGIN(kWindow, "desc", "DSN=x", &out, 'A');
    _exit(rc == 0 && out == nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Reads from the terminal's master side until text has appeared.
bool ReadUntil(int master, const std::string &text, std::string *seen) {
  char buf[256];
  while (seen->find(text) == std::string::npos) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return false;
    ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) return false;
    seen->append(buf, static_cast<size_t>(n));
  }
  return true;
}

TEST_F(LoginTest, PromptsForUserAndPasswordOnTheTerminal) {
  int result[2];
  ASSERT_EQ(pipe(result), 0);
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(result[0]);
    char *out = nullptr;
    int rc = TvxLOGIN(kWindow, "KVD Fake", "DSN=x;UID=scott;PWD=old;FBS=5", &out, 'A');
    std::string answer = std::to_string(rc) + ":" + (out ? out : "(null)");
    TvxLOGIN_Free(out);
    (void)!write(result[1], answer.data(), answer.size());
    _exit(0);
  }
  close(result[1]);
  std::string seen;
  ASSERT_TRUE(ReadUntil(master, "User name [scott]: ", &seen)) << seen;
  EXPECT_NE(seen.find("Login to KVD Fake"), std::string::npos);
  ASSERT_EQ(write(master, "\n", 1), 1);  // keep the user
  ASSERT_TRUE(ReadUntil(master, "Password: ", &seen)) << seen;
  const char *pwd = "s;ecret}\n";
  ASSERT_EQ(write(master, pwd, strlen(pwd)), static_cast<ssize_t>(strlen(pwd)));
  std::string answer;
  char buf[512];
  ssize_t n;
  // A prompt that lost the password would wait for ever: give up after 10 s.
  for (pollfd r{result[0], POLLIN, 0}; poll(&r, 1, 10000) > 0 && (n = read(result[0], buf, sizeof buf)) > 0;)
    answer.append(buf, static_cast<size_t>(n));
  close(result[0]);
  // Whatever the terminal still shows: the password was not echoed.
  pollfd p{master, POLLIN, 0};
  while (poll(&p, 1, 100) > 0 && (n = read(master, buf, sizeof buf)) > 0) seen.append(buf, static_cast<size_t>(n));
  close(master);
  if (answer.empty()) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(answer, "1:DSN=x;FBS=5;UID=scott;PWD={s;ecret}}}");
  EXPECT_EQ(seen.find("ecret"), std::string::npos) << seen;
}

}  // namespace
