// The OLE Transactions trace: its header, its result lines and the names of
// HRESULTs, with and without a trace file.
#include "xa/oletx_trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string TempName() {
  char name[] = "/tmp/oletxtraceXXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  unlink(name);
  return name;
}

std::string ReadAll(const std::string &path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(OleTxTraceNames, HResultNames) {
  struct {
    uint32_t hr;
    const char *name;
  } cases[] = {
      {0x00000000, "S_OK"},           {0x0004D002, "XACT_S_READONLY"},  {0x80004005, "E_FAIL"},
      {0x80044002, "E_TVX_DSN2HNDL_FAIL"}, {0x8004D01B, "XACT_E_TMNOTAVAILABLE"}, {0x80070057, "E_INVALIDARG"},
      // The driver's own codes and anything else have no name.
      {0x80044001, "Unknown!"},       {0x80044006, "Unknown!"},         {0x00000001, "Unknown!"},
  };
  for (auto &c : cases) EXPECT_STREQ(c.name, OleTx_HResultName(static_cast<int32_t>(c.hr))) << std::hex << c.hr;
}

TEST(OleTxTraceFile, HeaderAndResultLines) {
  const std::string base = TempName();
  setenv("TVX_DEBUGFILE", base.c_str(), 1);
  OleTx_TraceOpen();
  ASSERT_TRUE(OleTx_TraceOn());
  EXPECT_EQ(static_cast<int32_t>(0x80044001u), OleTx_TraceHResult(static_cast<int32_t>(0x80044001u)));
  EXPECT_EQ(0x0004D002, OleTx_TraceHResult(0x0004D002));
  EXPECT_EQ(2u, OleTx_TraceCount(2));
  OleTx_Trace("%s\n", std::string(3000, 'x').c_str());  // cut to 2047 characters
  OleTx_TraceClose();
  EXPECT_FALSE(OleTx_TraceOn());
  OleTx_Trace("after the close\n");  // dropped
  unsetenv("TVX_DEBUGFILE");

  const std::string text = ReadAll(base + "-xa");
  unlink((base + "-xa").c_str());
  const std::string tid = "[" + std::to_string(gettid()) + "] ";
  for (const std::string &line : {
           std::string("** Zezuzeru OLE Transactions Interface: Trace file **\n** Started on "),
           tid + "Call failure >>>: Returned HRESULT: 0x80044001(Unknown!)\n",
           tid + "Call success    : Returned HRESULT: 0x0004d002(XACT_S_READONLY)\n",
           tid + "Call returned: 2\n",
           tid + std::string(2047, 'x') + "\n",
       })
    EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;
  EXPECT_EQ(std::string::npos, text.find(std::string(2048, 'x')));
  EXPECT_EQ(std::string::npos, text.find("after the close"));
}

TEST(OleTxTraceFile, NothingWithoutAFile) {
  const std::string dir = TempName();  // a directory that does not exist
  setenv("TVX_DEBUGFILE", (dir + "/no/trace").c_str(), 1);
  OleTx_TraceOpen();
  EXPECT_FALSE(OleTx_TraceOn());
  EXPECT_EQ(0, OleTx_TraceHResult(0));  // results pass through unchanged
  EXPECT_EQ(5u, OleTx_TraceCount(5));
  OleTx_TraceClose();
  unsetenv("TVX_DEBUGFILE");
  EXPECT_NE(0, access(dir.c_str(), F_OK));
}

}  // namespace
