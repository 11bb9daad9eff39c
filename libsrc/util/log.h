#pragma once
// The driver's one levelled logger: every subsystem reports through log_msg;
// lines go to each attached sink whose level mask takes them, or to standard
// error while no sink has ever been created.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

enum LogLevel : int {
  LOG_EMERG = 0,
  LOG_ALERT = 1,
  LOG_CRIT = 2,
  LOG_ERR = 3,
  LOG_WARNING = 4,
  LOG_NOTICE = 5,
  LOG_INFO = 6,
  LOG_DEBUG = 7,
};

// Line format flags of a sink.
enum : uint32_t {
  LOGF_DATE_LINES = 0x1,
  LOGF_TIME = 0x2,
  LOGF_LEVEL = 0x4,
  LOGF_PROGRAM = 0x8,
  LOGF_FILE_LINE = 0x10,
};

struct LogSink;
using LogEmitFn = void (*)(LogSink *sink, int level, const char *text);
using LogCloseFn = void (*)(LogSink *sink);

struct LogSink {
  LogSink *next;
  LogSink *prev;
  uint32_t levelMask[8];
  uint32_t flags;
  uint32_t month, day, year;
  LogEmitFn emit;
  LogCloseFn close;
  FILE *stream;
};

// Besides printf's directives the format may hold %F (source file), %L (line)
// and %m (text of errno at entry). The compiler's printf check of log_msg
// does not know %F and %L: pass file and line as values there, or use
// log_vprintf.
int log_msg(int level, const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
int log_vprintf(int level, const char *file, int line, uint32_t categoryMask, const char *format,
                va_list args);
LogSink *log_sink_create(int maxLevel, uint32_t mask, uint32_t flags);
void log_sink_set_levels(LogSink *sink, int maxLevel, uint32_t mask);
LogSink *log_sink_new(LogEmitFn emit, LogCloseFn close, int maxLevel, uint32_t mask, uint32_t flags);
LogSink *log_stream_sink_new(FILE *stream, int maxLevel, uint32_t mask, uint32_t flags);
// Runs the sink's close callback and unlinks it; the caller frees the sink.
void log_sink_close(LogSink *sink);
// Expands %F (file), %L (line) and %m (text of savedErrno) and keeps every
// other directive; the format is cut at its first newline, and the result
// always ends with exactly one newline.
void log_expand_format(const char *format, char *buffer, size_t size, int savedErrno, const char *file,
                       int line);
// The C library's text for an error number, "Unknown error %u" outside its table.
const char *log_strerror(int err);
// "EMERG" ... "DEBUG"; levels outside 0..7 are clamped.
const char *log_level_name(int level);
// True once the first sink has been created (lines no longer go to stderr).
bool log_sinks_set_up();

// Convenience: the calling source file and line.
#define LOG(level, ...) log_msg((level), __FILE__, __LINE__, __VA_ARGS__)
