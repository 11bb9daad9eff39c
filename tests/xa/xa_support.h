#pragma once
// What the XA and enlistment tests share: the XA trace file's lines and the
// pyodbc script's answer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>

namespace xatest {

// Expects each pattern in the XA trace file of the trace name base (its
// "-xa" file), and the text that must stay out of it in neither that file
// nor the ODBC trace file base.
inline void ExpectTraceLines(const std::string &base, std::initializer_list<const char *> patterns,
                             const std::string &secret) {
  std::ifstream f(base + "-xa");
  ASSERT_TRUE(f.good()) << base << "-xa";
  std::stringstream all;
  all << f.rdbuf();
  const std::string text = all.str();
  for (const char *re : patterns) EXPECT_TRUE(std::regex_search(text, std::regex(re))) << re << "\n" << text;
  EXPECT_EQ(std::string::npos, text.find(secret));
  // Nor in the ODBC trace beside it, which saw the connections opened with
  // the same credentials: their connection strings show "PWD=***".
  std::ifstream odbc(base);
  ASSERT_TRUE(odbc.good()) << base;
  std::stringstream calls;
  calls << odbc.rdbuf();
  const std::string callText = calls.str();
  EXPECT_TRUE(std::regex_search(callText, std::regex(R"(connStr=\[DSN=\w+;UID=scott;PWD=\*\*\*\])")))
      << callText.substr(0, 2000);
  EXPECT_EQ(std::string::npos, callText.find(secret));
}

// The first output line of pyodbc_xa_read.py with these arguments, or
// "skip" when pyodbc is not installed.
inline std::string PyOdbc(const std::string &args) {
  std::string cmd = std::string("/usr/bin/python3 '") + KVD_XA_PYODBC_SCRIPT + "' " + args;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return "popen failed";
  char line[512] = "";
  std::string out = fgets(line, sizeof line, p) ? line : "";
  int status = pclose(p);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return "skip";
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace xatest
