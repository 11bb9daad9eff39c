// The conversions' lines in the ODBC trace.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "convtest.h"
#include "odbc/trace.h"

namespace {

TEST(ConversionTrace, LinesWhileTracingIsOn) {
  const std::string file =
      std::string(KVD_BUILD_DIR) + "/conv-trace-" + std::to_string(getpid()) + ".log";
  int pending = 0;
  int32_t l = 0;
  // Off: nothing is written anywhere.
  ASSERT_FALSE(TraceIsOn());
  EXPECT_EQ(ConvertCHAR("7", 1, 1, SQL_C_LONG, &l, 4, nullptr, &pending, 0, 0), SQL_SUCCESS);

  setenv("TVX_DEBUGFILE", file.c_str(), 1);
  TraceOpen(TRACE_ODBC);
  unsetenv("TVX_DEBUGFILE");
  ASSERT_TRUE(TraceIsOn());
  char text[32];
  SQL_NUMERIC_STRUCT n;
  EXPECT_EQ(ConvertCHAR("42", 2, 2, SQL_C_LONG, &l, 4, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(ConvertDOUBLE(1.5, SQL_C_CHAR, text, 32, nullptr, &pending, 0, 0), SQL_SUCCESS);
  EXPECT_EQ(ConvertDOUBLE(12.345, SQL_C_NUMERIC, &n, 19, nullptr, &pending, 2, 10), SQL_SUCCESS);
  EXPECT_EQ(ConvertTIMESTAMP({2024, 3, 5, 10, 20, 30, 0}, SQL_C_CHAR, text, 32, nullptr, &pending, 3),
            SQL_SUCCESS);
  TraceClose(TRACE_ODBC);

  std::ifstream in(file);
  std::stringstream all;
  all << in.rdbuf();
  const std::string trace = all.str();
  std::remove(file.c_str());
  for (const char *line : {"ConvertCHAR: retBufferLength(4) to SQL_C_LONG\n", "CharToNumber: 42\n",
                           "ConvertDOUBLE: value (1.5) to SQL_C_CHAR\n",
                           "ConvertDOUBLE: value (12.345000000000001) to SQL_C_NUMERIC\n",
                           "DoubleToNumeric: 1.234500e+01\n",
                           "ConvertTIMESTAMP: precision,scale (32,3) to SQL_C_CHAR\n",
                           "ConvertTIMESTAMP temBuf string = 2024-03-05 10:20:30.000\n"})
    EXPECT_NE(trace.find(line), std::string::npos) << line << "in:\n" << trace;
  EXPECT_EQ(trace.find("CharToNumber: 7"), std::string::npos);
}

}  // namespace
