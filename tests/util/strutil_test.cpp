#include "util/strutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

extern char **environ;

namespace {

TEST(StrUtil, FindNocaseAndKeyword) {
  const char *t = "select X from Tab";
  EXPECT_EQ(str_find_nocase(t, "FROM"), t + 9);
  EXPECT_EQ(str_find_nocase(t, "tab"), t + 14);
  EXPECT_EQ(str_find_nocase(t, "tabs"), nullptr);
  EXPECT_EQ(str_find_nocase("ab", "abc"), nullptr);
  EXPECT_EQ(str_find_nocase(t, ""), t);

  struct {
    const char *text;
    long offset;  // -1: NULL
  } cases[] = {
      {"   select  x", 11}, {"SELECT", 6}, {"selected x", -1}, {" sel", -1}, {"\tSeLeCt\n*", 8}, {"", -1},
  };
  for (const auto &c : cases) {
    const char *r = str_keyword("SELECT", c.text);
    if (c.offset < 0)
      EXPECT_EQ(r, nullptr) << c.text;
    else
      EXPECT_EQ(r, c.text + c.offset) << c.text;
  }
  EXPECT_STREQ(str_skip_blanks(" \t\nx "), "x ");
}

TEST(StrUtil, TrimAndCopyEnd) {
  struct {
    const char *in, *out;
    long last;  // offset of the returned character, -1 NULL
  } cases[] = {{"   ", "", -1}, {"", "", -1}, {"ab \t\n", "ab", 1}, {"x", "x", 0}, {" a b ", " a b", 3}};
  for (const auto &c : cases) {
    char buf[16];
    strcpy(buf, c.in);
    char *r = str_trim_right(buf);
    EXPECT_STREQ(buf, c.out);
    if (c.last < 0)
      EXPECT_EQ(r, nullptr);
    else
      EXPECT_EQ(r, buf + c.last);
  }
  EXPECT_EQ(str_trim_right(nullptr), nullptr);
  char buf[16];
  char *end = str_copy_end(buf, "abc");
  EXPECT_EQ(end, buf + 3);
  str_copy_end(end, "de");
  EXPECT_STREQ(buf, "abcde");
}

TEST(StrUtil, CopiesQuotesAndUnquotes) {
  struct {
    const char *text;
    int n;
    const char *copy, *unquoted;
  } cases[] = {
      {"\"\"", -3, "\"\"", ""},          {"'abc'", -3, "'abc'", "abc"}, {"\"abc", -3, "\"abc", "\"abc"},
      {"'abc\"", -3, "'abc\"", "'abc\""}, {"'", -3, "'", "'"},           {"abcdef", 3, "abc", "abc"},
      {"'ab'cd", 4, "'ab'", "ab"},        {nullptr, -3, "", ""},
  };
  for (const auto &c : cases) {
    char *a = nullptr, *b = nullptr;
    EXPECT_EQ(str_copy_len(&a, c.text, c.n), 0);
    EXPECT_EQ(str_copy_unquoted(&b, c.text, c.n), 0);
    EXPECT_STREQ(a, c.copy);
    EXPECT_STREQ(b, c.unquoted);
    free(a);
    free(b);
  }
  struct {
    const char *text;
    int n;
    char q;
    const char *quoted, *unquoted;
  } q[] = {
      {"ab", -3, '"', "\"ab\"", "ab"},     {"\"ab\"", -3, '"', "\"\"ab\"\"", "ab"},
      {"'ab'", -3, '"', "\"'ab'\"", "'ab'"}, {"ab", -3, ' ', "ab", "ab"},
      {" ab ", -3, ' ', " ab ", " ab "},     {"xyz", 2, '\'', "'xy'", "xy"},
      {nullptr, -3, '\'', "''", ""},         {"\"", -3, '"', "\"\"\"", "\""},
  };
  for (const auto &c : q) {
    char *a = str_quote(c.text, c.n, c.q);
    char *b = str_unquote(c.text, c.n, c.q);
    EXPECT_STREQ(a, c.quoted);
    EXPECT_STREQ(b, c.unquoted);
    free(a);
    free(b);
  }
}

TEST(StrUtil, PathSetExt) {
  struct {
    const char *path, *ext;
    int mode;
    const char *out;
  } cases[] = {
      {"init", "sql", PATH_EXT_ADD, "init.sql"},
      {"init.txt", "sql", PATH_EXT_ADD, "init.txt"},
      {".profile", "sql", PATH_EXT_ADD, ".profile.sql"},
      {"/a.b/init", "sql", PATH_EXT_ADD, "/a.b/init.sql"},
      {"/a.b/init.txt", "sql", PATH_EXT_REPLACE, "/a.b/init.sql"},
      {"init", "sql", PATH_EXT_REPLACE, "init.sql"},
      {"d/x.tar.gz", "", PATH_EXT_REMOVE, "d/x.tar"},
      {"d.e/x", "", PATH_EXT_REMOVE, "d.e/x"},
  };
  for (const auto &c : cases) EXPECT_STREQ(path_set_ext(c.path, c.ext, c.mode), c.out) << c.path;
  std::string longPath(300, 'p');
  char *r = path_set_ext(longPath.c_str(), "sql", PATH_EXT_ADD);
  EXPECT_EQ(std::string(r), longPath.substr(0, 259));  // cut, and nothing written past the buffer
  std::string nearFull(256, 'q');
  EXPECT_EQ(std::string(path_set_ext(nearFull.c_str(), "sql", PATH_EXT_ADD)), nearFull + ".sq");
}

TEST(StrUtil, ProgramNameFromCommandLine) {
  struct {
    const char *cmd, *name;
  } cases[] = {
      {"isql", "ISQL"},
      {"/usr/bin/isql -v DSN", "ISQL"},
      {"isql DSN", "ISQL"},
      {"myapp.bin", "MYAPP"},
      {"/opt/app/run.sh arg", "RUN"},
      {"/usr/bin/python3 /srv/job/load.py x", "LOAD"},  // the last '/' and '.' lie in an argument
      {"", "Unknown"},
      {"/usr/bin/", "Unknown"},
      {"krnl386", "WOW"},
  };
  for (const auto &c : cases) {
    char out[256];
    program_name_from_command_line(c.cmd, out, sizeof out);
    EXPECT_STREQ(out, c.name) << c.cmd;
  }
  std::string longName(400, 'n');
  char out[256];
  program_name_from_command_line(longName.c_str(), out, sizeof out);
  EXPECT_EQ(strlen(out), 254u);
  EXPECT_NE(get_program_name()[0], '\0');
  EXPECT_EQ(get_program_name(), get_program_name());
}

size_t EnvCount() {
  size_t n = 0;
  while (environ[n] != nullptr) ++n;
  return n;
}

TEST(StrUtil, EnvSetPrivate) {
  ASSERT_EQ(env_set_private("KVD_TEST_VAR", "one"), 0);
  EXPECT_STREQ(getenv("KVD_TEST_VAR"), "one");
  const size_t n = EnvCount();
  ASSERT_EQ(env_set_private("kvd_test_var", "two"), 0);  // names match in any case
  EXPECT_EQ(EnvCount(), n);
  EXPECT_STREQ(getenv("kvd_test_var"), "two");
  EXPECT_EQ(getenv("KVD_TEST_VAR"), nullptr);
  ASSERT_EQ(env_set_private("KVD_TEST_VAR", ""), 0);
  EXPECT_EQ(EnvCount(), n - 1);
  EXPECT_EQ(environ[n - 1], nullptr);
  EXPECT_EQ(getenv("kvd_test_var"), nullptr);
  ASSERT_EQ(env_set_private("KVD_TEST_VAR", nullptr), 0);  // absent: nothing happens
  EXPECT_EQ(EnvCount(), n - 1);
  // A prefix of another name is a different name.
  ASSERT_EQ(env_set_private("KVD_TEST_VAR_LONG", "x"), 0);
  ASSERT_EQ(env_set_private("KVD_TEST_VAR", "y"), 0);
  EXPECT_STREQ(getenv("KVD_TEST_VAR_LONG"), "x");
  EXPECT_STREQ(getenv("KVD_TEST_VAR"), "y");
  std::string big(2000, 'v');
  ASSERT_EQ(env_set_private("KVD_TEST_BIG", big.c_str()), 0);
  EXPECT_EQ(strlen(getenv("KVD_TEST_BIG")), 1023u - strlen("KVD_TEST_BIG="));
  // Entries the application added with setenv meanwhile are left alone.
  setenv("KVD_TEST_APP", "app", 1);
  ASSERT_EQ(env_set_private("KVD_TEST_APP", "mine"), 0);
  EXPECT_STREQ(getenv("KVD_TEST_APP"), "mine");
  ASSERT_EQ(env_set_private("KVD_TEST_APP", nullptr), 0);
  EXPECT_EQ(getenv("KVD_TEST_APP"), nullptr);
  for (const char *name : {"KVD_TEST_VAR_LONG", "KVD_TEST_VAR", "KVD_TEST_BIG"}) env_set_private(name, nullptr);
}

// The application's setenv moves the environment to an array the C library
// grows with realloc; entries the driver adds afterwards must go to an array
// of the driver's own, or the library's next setenv reallocates freed memory
// (a double free that aborts the process).
TEST(StrUtil, EnvSetPrivateBetweenTheApplicationsSetenvCalls) {
  ASSERT_EQ(env_set_private("KVD_TEST_FIRST", "1"), 0);
  for (int round = 0; round < 3; ++round) {
    const std::string app = "KVD_TEST_APP" + std::to_string(round);
    ASSERT_EQ(setenv(app.c_str(), "app", 1), 0);
    for (int i = 0; i < 40; ++i) {
      const std::string name = "KVD_TEST_R" + std::to_string(round) + "_" + std::to_string(i);
      ASSERT_EQ(env_set_private(name.c_str(), "drv"), 0);
    }
    ASSERT_EQ(env_set_private(app.c_str(), "drv"), 0);  // an entry of the library's array, replaced
  }
  ASSERT_EQ(setenv("KVD_TEST_LAST", "app", 1), 0);
  EXPECT_STREQ(getenv("KVD_TEST_LAST"), "app");
  EXPECT_STREQ(getenv("KVD_TEST_FIRST"), "1");
  for (int round = 0; round < 3; ++round) {
    EXPECT_STREQ(getenv(("KVD_TEST_APP" + std::to_string(round)).c_str()), "drv");
    EXPECT_STREQ(getenv(("KVD_TEST_R" + std::to_string(round) + "_39").c_str()), "drv");
  }
  unsetenv("KVD_TEST_LAST");
  ASSERT_EQ(env_set_private("KVD_TEST_FIRST", nullptr), 0);
  for (int round = 0; round < 3; ++round) {
    env_set_private(("KVD_TEST_APP" + std::to_string(round)).c_str(), nullptr);
    for (int i = 0; i < 40; ++i)
      env_set_private(("KVD_TEST_R" + std::to_string(round) + "_" + std::to_string(i)).c_str(), nullptr);
  }
  EXPECT_EQ(getenv("KVD_TEST_R2_0"), nullptr);
}

// The same value again leaves the environment's array as it is.
TEST(StrUtil, EnvSetPrivateLeavesAnUnchangedValueAlone) {
  ASSERT_EQ(0, env_set_private("KVD_TEST_SAME", "1"));
  char **before = environ;
  ASSERT_EQ(0, env_set_private("kvd_test_same", "1"));
  EXPECT_EQ(before, environ);
  ASSERT_EQ(0, env_set_private("KVD_TEST_SAME", nullptr));
  EXPECT_NE(before, environ);
  before = environ;
  ASSERT_EQ(0, env_set_private("KVD_TEST_SAME", nullptr));  // absent: nothing
  EXPECT_EQ(before, environ);
}

}  // namespace
