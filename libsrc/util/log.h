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

int log_msg(int level, const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
int log_vprintf(int level, const char *file, int line, uint32_t categoryMask, const char *format,
                va_list args);
LogSink *log_sink_create(int maxLevel, uint32_t mask, uint32_t flags);
void log_sink_set_levels(LogSink *sink, int maxLevel, uint32_t mask);
LogSink *log_sink_new(LogEmitFn emit, LogCloseFn close, int maxLevel, uint32_t mask, uint32_t flags);
LogSink *log_stream_sink_new(FILE *stream, int maxLevel, uint32_t mask, uint32_t flags);
void log_sink_close(LogSink *sink);
void log_expand_format(const char *format, char *buffer, size_t size, int savedErrno, const char *file,
                       int line);
const char *log_strerror(int err);

// Convenience: the calling source file and line.
#define LOG(level, ...) log_msg((level), __FILE__, __LINE__, __VA_ARGS__)
