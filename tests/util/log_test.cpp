#include "util/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>


namespace {

using ::testing::MatchesRegex;

// A stream sink writing into memory.
struct MemSink {
  char *data = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&data, &size);
  LogSink *sink = nullptr;
  MemSink(int maxLevel, uint32_t flags) { sink = log_stream_sink_new(stream, maxLevel, 0xFFFFFFFF, flags); }
  ~MemSink() {
    if (sink != nullptr) {
      log_sink_close(sink);
      free(sink);
    }
    fclose(stream);
    free(data);
  }
  std::string Text() {
    fflush(stream);
    return std::string(data, size);
  }
};

// log_msg without the compiler's printf checks, for the logger's own %F/%L.
int LogUnchecked(int level, const char *file, int line, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  log_vprintf(level, file, line, 1, format, ap);
  va_end(ap);
  return 0;
}

// The list's "never set up" state lasts only until the first sink, so these
// run in a freshly started copy of the test program.
class LoggerFreshProcess : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(LoggerFreshProcess, BeforeAnySinkLinesGoToStderrWithoutPrefix) {
  EXPECT_EXIT(
      {
        LogUnchecked(LOG_ERR, "f.cpp", 7, "hello %d at %F:%L\nsecond line dropped", 42);
        LogUnchecked(LOG_DEBUG, nullptr, 0, "100%");
        exit(0);
      },
      ::testing::ExitedWithCode(0), "^hello 42 at f.cpp:7\n100%\n$");
}

TEST_F(LoggerFreshProcess, AfterTheLastSinkClosesLinesGoNowhere) {
  EXPECT_EXIT(
      {
        LogSink *s = log_stream_sink_new(stderr, 7, 1, 0);
        log_msg(LOG_ERR, nullptr, 0, "seen");
        log_sink_close(s);
        free(s);
        log_msg(LOG_ERR, nullptr, 0, "not seen");
        exit(0);
      },
      ::testing::ExitedWithCode(0), "^seen\n$");
}

TEST(Logger, PercentMKeepsTheErrnoOfEntry) {
  MemSink m(7, 0);
  errno = ENOENT;
  log_msg(LOG_ERR, "x.cpp", 3, "open failed: %m (%s)", "arg");
  const std::string expected = std::string("open failed: ") + strerror(ENOENT) + " (arg)\n";
  EXPECT_EQ(m.Text(), expected);
}

TEST(Logger, PrefixFlagsAndTheColonRule) {
  struct {
    uint32_t flags;
    const char *regex;
  } cases[] = {
      {0, "^msg 5\n$"},
      {LOGF_TIME, "^[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} msg 5\n$"},
      {LOGF_TIME | LOGF_LEVEL, "^[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} WARNING: msg 5\n$"},
      {LOGF_LEVEL | LOGF_FILE_LINE, "^WARNING \\(src/a.cpp:12\\): msg 5\n$"},
      {LOGF_DATE_LINES | LOGF_TIME, "^\n\t\t[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{4}\n[0-9]{2}:[0-9]{2}:[0-9]{2} msg 5\n$"},
  };
  for (const auto &c : cases) {
    MemSink m(7, c.flags);
    log_msg(LOG_WARNING, "src/a.cpp", 12, "msg %d", 5);
    EXPECT_THAT(m.Text(), MatchesRegex(c.regex)) << "flags " << c.flags;
  }
}

TEST(Logger, DateLineBeforeFirstLineAndAgainOnANewDay) {
  MemSink m(7, LOGF_DATE_LINES | LOGF_TIME);
  log_msg(LOG_INFO, nullptr, 0, "one");
  log_msg(LOG_INFO, nullptr, 0, "two");
  std::string t = m.Text();
  EXPECT_EQ(std::count(t.begin(), t.end(), '\t'), 2);  // one date line
  m.sink->day = 0;                                       // as if the date changed
  log_msg(LOG_INFO, nullptr, 0, "three");
  t = m.Text();
  EXPECT_EQ(std::count(t.begin(), t.end(), '\t'), 4);
  EXPECT_THAT(t, MatchesRegex(".*\n\t\t[^\n]*\n[0-9:]{8} three\n$"));
}

TEST(Logger, LevelsAreClampedAndMaskedPerSink) {
  MemSink errOnly(LOG_ERR, LOGF_LEVEL);
  MemSink all(9, LOGF_LEVEL);
  log_msg(9, nullptr, 0, "a");
  log_msg(-1, nullptr, 0, "b");
  log_msg(LOG_CRIT, nullptr, 0, "c");
  log_msg(LOG_WARNING, nullptr, 0, "d");
  EXPECT_EQ(errOnly.Text(), "EMERG: b\nCRIT: c\n");
  EXPECT_EQ(all.Text(), "DEBUG: a\nEMERG: b\nCRIT: c\nWARNING: d\n");
  // Lowering the maximum clears the category bits of the levels above it.
  log_sink_set_levels(all.sink, 2, 0xFFFFFFFF);
  log_msg(LOG_ERR, nullptr, 0, "e");
  EXPECT_EQ(all.Text(), "DEBUG: a\nEMERG: b\nCRIT: c\nWARNING: d\n");
}

TEST(Logger, EverySinkFormatsTheArgumentsAnew) {
  MemSink a(7, 0), b(7, 0), c(7, 0);
  log_msg(LOG_ERR, nullptr, 0, "%s-%d-%s", "x", 7, "y");
  EXPECT_EQ(a.Text(), "x-7-y\n");
  EXPECT_EQ(b.Text(), "x-7-y\n");
  EXPECT_EQ(c.Text(), "x-7-y\n");
}

TEST(Logger, LongLinesAreCutAndStillEndWithOneNewline) {
  MemSink m(7, LOGF_LEVEL);
  std::string big(5000, 'z');
  log_msg(LOG_ERR, nullptr, 0, "%s", big.c_str());
  std::string t = m.Text();
  EXPECT_EQ(t.size(), 2047u);
  EXPECT_EQ(t.back(), '\n');
  EXPECT_EQ(t.find('\n'), t.size() - 1);
}

TEST(LogExpandFormat, Directives) {
  struct {
    const char *format;
    const char *expected;
  } cases[] = {
      {"plain", "plain\n"},
      {"%F:%L", "dir/f%%.cpp:99\n"},  // a '%' in the name survives printf
      {"keep %s %d %% %x", "keep %s %d %% %x\n"},
      {"cut\nhere", "cut\n"},
      {"end%", "end%%\n"},
      {"", "\n"},
  };
  char buf[64];
  for (const auto &c : cases) {
    log_expand_format(c.format, buf, sizeof buf, 0, "dir/f%.cpp", 99);
    EXPECT_STREQ(buf, c.expected) << c.format;
  }
  log_expand_format("%m", buf, sizeof buf, EACCES, nullptr, 0);
  EXPECT_EQ(std::string(buf), std::string(strerror(EACCES)) + "\n");
  // A small buffer keeps room for the newline and never splits a directive.
  char small[6];
  log_expand_format("ab%dcd", small, sizeof small, 0, nullptr, 0);
  EXPECT_STREQ(small, "ab%d\n");
  log_expand_format("abc%d", small, sizeof small, 0, nullptr, 0);
  EXPECT_STREQ(small, "abc\n");
}

TEST(LogStrerror, UnknownNumbers) {
  EXPECT_STREQ(log_strerror(ENOENT), strerror(ENOENT));
  EXPECT_STREQ(log_strerror(100000), "Unknown error 100000");
}

}  // namespace
