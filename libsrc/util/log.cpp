// The levelled logger and its sinks.
//
// Sinks are created and closed only at library attach and detach, so the list
// is walked without a lock; a line is built in buffers of the calling thread.
#include "util/log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "util/strutil.h"

namespace {

constexpr size_t kLineSize = 2048;

const char *const kLevelNames[8] = {"EMERG", "ALERT", "CRIT", "ERROR", "WARNING", "NOTICE", "INFO", "DEBUG"};

// Head of the circular sink list; only its links are used. Until the first
// sink is created the list counts as never set up and lines go to stderr.
LogSink g_head;
bool g_listSetUp = false;

int ClampLevel(int level) { return level < LOG_EMERG ? LOG_EMERG : level > LOG_DEBUG ? LOG_DEBUG : level; }

// Appends text to buf at *pos, cut to the buffer; '%' doubled when escape is
// set so that the text survives the later printf formatting unchanged.
void AppendCut(char *buf, size_t room, size_t *pos, const char *text, bool escape) {
  for (; *text != '\0'; ++text) {
    size_t need = (escape && *text == '%') ? 2 : 1;
    if (*pos + need > room) return;
    buf[(*pos)++] = *text;
    if (need == 2) buf[(*pos)++] = '%';
  }
}

void StreamEmit(LogSink *sink, int, const char *text) {
  if (sink->stream == nullptr) return;
  fputs(text, sink->stream);
  fflush(sink->stream);
}

}  // namespace

const char *log_level_name(int level) { return kLevelNames[ClampLevel(level)]; }

const char *log_strerror(int err) {
  // Per-thread, so that two threads reporting unknown numbers at once do not
  // overwrite each other's text.
  static thread_local char unknown[40];
  const char *text = err >= 0 ? strerrordesc_np(err) : nullptr;
  if (text != nullptr) return text;
  snprintf(unknown, sizeof unknown, "Unknown error %u", static_cast<unsigned>(err));
  return unknown;
}

void log_expand_format(const char *format, char *buffer, size_t size, int savedErrno, const char *file, int line) {
  if (size < 2) {
    if (size == 1) buffer[0] = '\0';
    return;
  }
  // Room for the text; the newline and the terminator always fit behind it.
  const size_t room = size - 2;
  size_t pos = 0;
  for (const char *p = format; *p != '\0' && *p != '\n'; ++p) {
    if (*p != '%') {
      if (pos + 1 > room) break;
      buffer[pos++] = *p;
      continue;
    }
    char next = p[1];
    if (next == 'F' || next == 'L' || next == 'm') {
      char num[16];
      const char *text = file != nullptr ? file : "";
      if (next == 'L') {
        snprintf(num, sizeof num, "%d", line);
        text = num;
      } else if (next == 'm') {
        text = log_strerror(savedErrno);
      }
      AppendCut(buffer, room, &pos, text, true);
      ++p;
    } else if (next == '\0' || next == '\n') {
      // A final '%' stays; doubled so that it prints as itself.
      if (pos + 2 > room) break;
      buffer[pos++] = '%';
      buffer[pos++] = '%';
    } else {
      // Any other directive is copied whole for the later formatting, never
      // split by the cut.
      if (pos + 2 > room) break;
      buffer[pos++] = '%';
      buffer[pos++] = next;
      ++p;
    }
  }
  buffer[pos++] = '\n';
  buffer[pos] = '\0';
}

int log_msg(int level, const char *file, int line, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  log_vprintf(level, file, line, 1, format, ap);
  va_end(ap);
  return 0;
}

int log_vprintf(int level, const char *file, int line, uint32_t categoryMask, const char *format, va_list args) {
  const int savedErrno = errno;
  char expanded[kLineSize];
  if (!g_listSetUp) {
    log_expand_format(format, expanded, sizeof expanded, savedErrno, file, line);
    va_list copy;
    va_copy(copy, args);
    vfprintf(stderr, expanded, copy);
    va_end(copy);
    return 0;
  }
  level = ClampLevel(level);
  time_t now = time(nullptr);
  struct tm tmNow {};
  localtime_r(&now, &tmNow);
  const uint32_t month = static_cast<uint32_t>(tmNow.tm_mon + 1);
  const uint32_t day = static_cast<uint32_t>(tmNow.tm_mday);
  const uint32_t year = static_cast<uint32_t>(tmNow.tm_year + 1900);
  bool haveExpanded = false;
  char lineBuf[kLineSize];

  for (LogSink *sink = g_head.next; sink != &g_head; sink = sink->next) {
    if (categoryMask != 0 && (sink->levelMask[level] & categoryMask) == 0) continue;
    const uint32_t flags = sink->flags;
    if ((flags & LOGF_DATE_LINES) != 0 && (sink->month != month || sink->day != day || sink->year != year)) {
      char dateLine[64];
      strftime(dateLine, sizeof dateLine, "\n\t\t%a %b %d %Y\n", &tmNow);
      if (sink->emit != nullptr) sink->emit(sink, level, dateLine);
      sink->month = month;
      sink->day = day;
      sink->year = year;
    }
    size_t pos = 0;
    if ((flags & LOGF_TIME) != 0) {
      int n = (flags & LOGF_DATE_LINES) != 0
                  ? snprintf(lineBuf, kLineSize, "%02u:%02u:%02u ", static_cast<unsigned>(tmNow.tm_hour),
                             static_cast<unsigned>(tmNow.tm_min), static_cast<unsigned>(tmNow.tm_sec))
                  : snprintf(lineBuf, kLineSize, "%02u/%02u/%04u %02u:%02u:%02u ", month, day, year,
                             static_cast<unsigned>(tmNow.tm_hour), static_cast<unsigned>(tmNow.tm_min),
                             static_cast<unsigned>(tmNow.tm_sec));
      pos = static_cast<size_t>(n);
    }
    if ((flags & LOGF_LEVEL) != 0) pos += snprintf(lineBuf + pos, kLineSize - pos, "%s ", kLevelNames[level]);
    if ((flags & LOGF_PROGRAM) != 0) pos += snprintf(lineBuf + pos, kLineSize - pos, "%s ", get_program_name());
    if ((flags & LOGF_FILE_LINE) != 0 && file != nullptr) {
      int n = snprintf(lineBuf + pos, kLineSize - pos, "(%s:%d) ", file, line);
      pos = n < 0 ? pos : pos + static_cast<size_t>(n);
      if (pos > kLineSize - 3) pos = kLineSize - 3;
    }
    if (pos > 0 && (flags & (LOGF_LEVEL | LOGF_PROGRAM | LOGF_FILE_LINE)) != 0) {
      lineBuf[pos - 1] = ':';
      lineBuf[pos++] = ' ';
    }
    if (!haveExpanded) {
      log_expand_format(format, expanded, sizeof expanded, savedErrno, file, line);
      haveExpanded = true;
    }
    // Each sink formats from its own copy of the arguments: a va_list can
    // be walked only once.
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(lineBuf + pos, kLineSize - pos, expanded, copy);
    va_end(copy);
    if (n < 0) {
      lineBuf[pos] = '\0';
    } else if (pos + static_cast<size_t>(n) >= kLineSize) {
      // Cut: the line still ends with its newline.
      lineBuf[kLineSize - 2] = '\n';
      lineBuf[kLineSize - 1] = '\0';
    }
    if (sink->emit != nullptr) sink->emit(sink, level, lineBuf);
  }
  return 0;
}

void log_sink_set_levels(LogSink *sink, int maxLevel, uint32_t mask) {
  maxLevel = ClampLevel(maxLevel);
  for (int lv = 0; lv < 8; ++lv) {
    if (lv <= maxLevel)
      sink->levelMask[lv] |= mask;
    else
      sink->levelMask[lv] &= ~mask;
  }
}

LogSink *log_sink_create(int maxLevel, uint32_t mask, uint32_t flags) {
  auto *sink = static_cast<LogSink *>(calloc(1, sizeof(LogSink)));
  if (sink == nullptr) return nullptr;
  sink->flags = flags;
  log_sink_set_levels(sink, maxLevel, mask);
  if (!g_listSetUp) {
    g_head.next = g_head.prev = &g_head;
    g_listSetUp = true;
  }
  sink->prev = &g_head;
  sink->next = g_head.next;
  g_head.next->prev = sink;
  g_head.next = sink;
  return sink;
}

LogSink *log_sink_new(LogEmitFn emit, LogCloseFn close, int maxLevel, uint32_t mask, uint32_t flags) {
  LogSink *sink = log_sink_create(maxLevel, mask, flags);
  if (sink == nullptr) return nullptr;
  sink->emit = emit;
  sink->close = close;
  return sink;
}

LogSink *log_stream_sink_new(FILE *stream, int maxLevel, uint32_t mask, uint32_t flags) {
  LogSink *sink = log_sink_new(StreamEmit, nullptr, maxLevel, mask, flags);
  if (sink != nullptr) sink->stream = stream;
  return sink;
}

void log_sink_close(LogSink *sink) {
  if (sink == nullptr) return;
  if (sink->close != nullptr) sink->close(sink);
  if (sink->next != nullptr && sink->next != sink) {
    sink->prev->next = sink->next;
    sink->next->prev = sink->prev;
  }
  sink->next = sink->prev = sink;
}

bool log_sinks_set_up() { return g_listSetUp; }
