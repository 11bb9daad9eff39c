// The agent exchange helpers: literal parsers, the copy-out routines and
// the release of error lists and requests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ora8/o-sql.h"
#include "odbc/agentx.h"
#include "odbc/drvops.h"

namespace {

TEST(AgentExchange, StrCopyOut) {
  struct Case {
    const char *src;
    uint16_t size;
    int result;
    const char *copied;  // nullptr: the buffer is untouched
    int16_t len;         // -99: the length is untouched
  };
  const Case cases[] = {
      {"abcd", 5, 0, "abcd", 4},    // exactly length + 1
      {"abcd", 100, 0, "abcd", 4},
      {"abcd", 4, -1, "abc", 3},    // one byte short
      {"abcd", 1, -1, "", 0},
      {"abcd", 0, -1, nullptr, -99},
      {"", 1, 0, "", 0},
      {nullptr, 10, -1, nullptr, -99},
  };
  for (const Case &c : cases) {
    char buf[128];
    memset(buf, '#', sizeof buf);
    int16_t len = -99;
    EXPECT_EQ(StrCopyOut(c.src, buf, c.size, &len), c.result) << c.size;
    if (c.copied)
      EXPECT_STREQ(buf, c.copied) << c.size;
    else
      EXPECT_EQ(buf[0], '#') << c.size;
    EXPECT_EQ(len, c.len) << c.size;
  }
  EXPECT_EQ(StrCopyOut("abc", nullptr, 10, nullptr), -1);
  char buf[8];
  EXPECT_EQ(StrCopyOut("abc", buf, 8, nullptr), 0);
}

TEST(AgentExchange, StrCopyOutLenReportsTheFullLength) {
  struct Case {
    const char *src;
    bool buffer;
    uint16_t size;
    int result;
    const char *copied;
    int16_t len;
  };
  const Case cases[] = {
      {"abcd", true, 5, 0, "abcd", 4},
      {"abcd", true, 4, -1, "abc", 4},
      {"abcd", true, 0, -1, nullptr, 4},  // nothing copied, the length still told
      {"abcd", false, 0, 0, nullptr, 4},  // a length query
      {nullptr, true, 10, -1, nullptr, -99},
  };
  for (const Case &c : cases) {
    char buf[16];
    memset(buf, '#', sizeof buf);
    int16_t len = -99;
    EXPECT_EQ(StrCopyOutLen(c.src, c.buffer ? buf : nullptr, c.size, &len), c.result) << c.size;
    if (c.copied)
      EXPECT_STREQ(buf, c.copied);
    else
      EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(len, c.len);
  }
}

// Lengths travel in 16 bits.
TEST(AgentExchange, LongSourcesReportTheirLengthModulo65536) {
  const std::string big(40000, 'x');
  int16_t len = 0;
  EXPECT_EQ(StrCopyOutLen(big.c_str(), nullptr, 0, &len), 0);
  EXPECT_EQ(len, static_cast<int16_t>(40000 - 65536));
  std::string buf(40001, '\0');
  EXPECT_EQ(StrCopyOut(big.c_str(), buf.data(), 40001, &len), 0);
  EXPECT_EQ(len, static_cast<int16_t>(40000 - 65536));
}

TEST(AgentExchange, DateLiterals) {
  struct Case {
    const char *text;
    SQLSMALLINT y;
    SQLUSMALLINT m, d;
  };
  const Case cases[] = {
      {"'2001/2/3'", 2001, 2, 3}, {"2001-02-03", 2001, 2, 3}, {"1999--12//31", 1999, 12, 31},
      {"2001-02", 2001, 2, 0},    {"", 0, 0, 0},              {"'", 0, 0, 0},
      {"x-y-z", 0, 0, 0},         {"' 2001- 2-+3", 2001, 2, 3},
  };
  for (const Case &c : cases) {
    std::string text = c.text;
    SQL_DATE_STRUCT d;
    memset(&d, 0x55, sizeof d);
    ParseDateLiteral(&d, text.data());
    EXPECT_EQ(d.year, c.y) << c.text;
    EXPECT_EQ(d.month, c.m) << c.text;
    EXPECT_EQ(d.day, c.d) << c.text;
  }
}

TEST(AgentExchange, TimeLiterals) {
  std::string text = "'23:59:58'";
  SQL_TIME_STRUCT t;
  memset(&t, 0x55, sizeof t);
  ParseTimeLiteral(&t, text.data());
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.minute, 59);
  EXPECT_EQ(t.second, 58);
  text = "7:05";
  ParseTimeLiteral(&t, text.data());
  EXPECT_EQ(t.hour, 7);
  EXPECT_EQ(t.minute, 5);
  EXPECT_EQ(t.second, 0);
}

TEST(AgentExchange, TimestampLiterals) {
  struct Case {
    const char *text;
    SQL_TIMESTAMP_STRUCT want;
  };
  const Case cases[] = {
      {"'1999-12-31 23:59:59'", {1999, 12, 31, 23, 59, 59, 0}},
      {"1999-12-31", {1999, 12, 31, 0, 0, 0, 0}},
      // The fraction is the integer after the point, not nanoseconds.
      {"2000/1/2 3:4:5.5", {2000, 1, 2, 3, 4, 5, 5}},
      {"'2000-01-02 03:04:05.000001'", {2000, 1, 2, 3, 4, 5, 1}},
      {"2000-01-02-03:04:05", {2000, 1, 2, 3, 4, 5, 0}},
      {"2000-01-02 10", {2000, 1, 2, 10, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    std::string text = c.text;
    SQL_TIMESTAMP_STRUCT ts;
    memset(&ts, 0x55, sizeof ts);
    ParseTimestampLiteral(&ts, text.data());
    EXPECT_EQ(memcmp(&ts, &c.want, sizeof ts), 0)
        << c.text << ": " << ts.year << "-" << ts.month << "-" << ts.day << " " << ts.hour << ":" << ts.minute << ":"
        << ts.second << "." << ts.fraction;
  }
}

TEST(AgentExchange, ListsAndRequestsAreReleased) {
  DrvMsgList list{};
  list.native = 942;
  list.count = 3;
  list.messages = static_cast<char **>(calloc(3, sizeof(char *)));
  list.messages[0] = strdup("one");
  list.messages[2] = strdup("three");  // an entry may be null
  DrvMsgListFree(&list);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(list.messages, nullptr);
  EXPECT_EQ(list.native, 942u);
  DrvMsgListFree(&list);  // twice is harmless
  DrvMsgListFree(nullptr);

  SqlRequest req{};
  req.text = strdup("select 1");
  req.translated = strdup("SELECT 1 FROM DUAL");
  req.markerCount = 2;
  RequestFree(&req);
  EXPECT_EQ(req.text, nullptr);
  EXPECT_EQ(req.translated, nullptr);
  EXPECT_EQ(req.markerCount, 2);
  RequestFree(&req);
  RequestFree(nullptr);
}

}  // namespace
