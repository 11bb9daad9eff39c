// Trace streams. Lines are written and flushed one at a time under the trace
// lock, the innermost lock of the driver.
#include "odbc/trace.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "odbc/setup.h"
#include "util/mpl.h"
#include "util/osthread.h"
#include "util/strutil.h"

std::atomic<int32_t> g_traceLevel{TRACE_OFF};

namespace {

struct TraceStream {
  FILE *stream;  // NULL while closed
  bool ownFile;  // opened here (closed at TraceClose); false for stderr
};

TraceStream g_streams[2];

// Static and never destroyed: a line written late (from another thread, or
// while the library is being unloaded) can never race the lock's deletion.
OsCritSec g_traceLock = OS_CRITSEC_INITIALIZER;

constexpr size_t kNameBufferSize = 1024;

// Masks the value of every PWD= keyword in place ("PWD=secret;" becomes
// "PWD=***;"), braced values included. The connect code already writes
// "***" itself; this keeps a password out of the trace whatever line a
// caller formats.
size_t MaskPasswords(char *line, size_t len) {
  static constexpr char kKey[] = "PWD=";
  static constexpr size_t kKeyLen = sizeof kKey - 1;
  for (size_t i = 0; i + kKeyLen <= len; ++i) {
    if (strncasecmp(line + i, kKey, kKeyLen) != 0) continue;
    if (i > 0 && (isalnum(static_cast<unsigned char>(line[i - 1])) || line[i - 1] == '_')) continue;
    size_t v = i + kKeyLen;
    size_t end = v;
    if (end < len && line[end] == '{') {
      while (end < len && line[end] != '}') ++end;
      if (end < len) ++end;
    } else {
      while (end < len && line[end] != ';' && line[end] != '}' && line[end] != ']' && line[end] != '\n' &&
             line[end] != ' ')
        ++end;
    }
    if (end == v) continue;
    // Replace [v, end) by "***".
    const size_t tail = len - end;
    memmove(line + v + 3, line + end, tail + 1);
    memcpy(line + v, "***", 3);
    len = v + 3 + tail;
    i = v + 2;
  }
  return len;
}

// Writes one formatted line to the stream of the kind, under the trace lock.
void WriteLine(int kind, const char *prefix, const char *format, va_list args) {
  char small[1024];
  char *line = small;
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return;
  size_t len = static_cast<size_t>(n);
  // Masking may lengthen a line (a 1-character password becomes "***"),
  // never beyond twice its length.
  if (len * 2 + 8 > sizeof small) {
    line = static_cast<char *>(malloc(len * 2 + 8));
    if (line == nullptr) {
      line = small;
      len = (sizeof small - 8) / 2;
      small[len] = '\0';
    } else {
      va_copy(copy, args);
      vsnprintf(line, len + 1, format, copy);
      va_end(copy);
    }
  }
  len = MaskPasswords(line, len);
  {
    OsLock lock(g_traceLock);
    FILE *stream = g_streams[kind].stream;
    if (stream != nullptr) {
      if (prefix != nullptr) fputs(prefix, stream);
      fwrite(line, 1, len, stream);
      fputc('\n', stream);
      fflush(stream);
    }
  }
  if (line != small) free(line);
}

void AppendText(MemPool *pool, const char *text) { mpl_append(pool, text, strlen(text)); }

// The user's home directory with a trailing "/"; "" when unknown.
void AppendHome(MemPool *pool) {
  const char *home = getenv("HOME");
  char buf[1024];
  struct passwd pw, *found = nullptr;
  if ((home == nullptr || *home == '\0') && getpwuid_r(geteuid(), &pw, buf, sizeof buf, &found) == 0 &&
      found != nullptr)
    home = found->pw_dir;
  if (home == nullptr || *home == '\0') return;
  AppendText(pool, home);
  if (home[strlen(home) - 1] != '/') mpl_append_byte(pool, '/');
}

void AppendUser(MemPool *pool) {
  char buf[1024];
  struct passwd pw, *found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &found) != 0 || found == nullptr) return;
  size_t len = strlen(found->pw_name);
  if (len > 255) len = 255;
  mpl_append(pool, found->pw_name, len);
}

void TimeText(const char *format, char *out, size_t size) {
  time_t now = time(nullptr);
  struct tm tmNow {};
  tzset();
  localtime_r(&now, &tmNow);
  if (strftime(out, size, format, &tmNow) == 0 && size > 0) out[0] = '\0';
}

// The configured trace name: TVX_DEBUGFILE, else "DebugFile" of the driver's
// own section of odbcinst.ini. Empty when none.
void ConfiguredName(char *out, size_t size) {
  const char *env = getenv("TVX_DEBUGFILE");
  if (env != nullptr) {
    snprintf(out, size, "%s", env);
    return;
  }
  SetupRegRead("ODBC", "DebugFile", "", out, static_cast<int>(size));
}

}  // namespace

unsigned long TraceThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

FILE *TraceODBCStream() { return g_streams[TRACE_ODBC].stream; }

bool TraceIsOpen(int kind) {
  if (kind != TRACE_ODBC && kind != TRACE_XA) return false;
  OsLock lock(g_traceLock);
  return g_streams[kind].stream != nullptr;
}

void TraceODBCv(const char *format, va_list args) {
  if (!TraceIsOn()) return;
  WriteLine(TRACE_ODBC, nullptr, format, args);
}

void TraceODBC(const char *format, ...) {
  if (!TraceIsOn()) return;
  va_list ap;
  va_start(ap, format);
  WriteLine(TRACE_ODBC, nullptr, format, ap);
  va_end(ap);
}

void TraceXA(int prefix, const char *format, ...) {
  if (!TraceIsOn()) return;
  char pre[32];
  if (prefix != 0) snprintf(pre, sizeof pre, "[%ld] ", static_cast<long>(TraceThreadId()));
  va_list ap;
  va_start(ap, format);
  WriteLine(TRACE_XA, prefix != 0 ? pre : nullptr, format, ap);
  va_end(ap);
}

void TraceLogEmit(LogSink *, int, const char *text) {
  if (!TraceIsOn()) return;
  char small[2048];
  size_t len = strlen(text);
  const bool cut = len >= sizeof small / 2;
  if (cut) len = sizeof small / 2 - 1;
  memcpy(small, text, len);
  small[len] = '\0';
  len = MaskPasswords(small, len);
  // A cut line still ends its line: the next one starts on its own.
  if (cut && (len == 0 || small[len - 1] != '\n')) small[len++] = '\n';
  OsLock lock(g_traceLock);
  FILE *stream = g_streams[TRACE_ODBC].stream;
  if (stream == nullptr) return;
  fwrite(small, 1, len, stream);
  fflush(stream);
}

char *TraceExpandName(const char *name, int kind) {
  MemPool pool;
  mpl_init(&pool);
  for (const char *p = name; *p != '\0'; ++p) {
    if (*p != '$') {
      mpl_append_byte(&pool, *p);
      continue;
    }
    const char c = p[1];
    if (c == '\0') break;  // a final "$" ends the name
    ++p;
    char buf[64];
    switch (c) {
      case '$':
        mpl_append_byte(&pool, '$');
        break;
      case 'H':
      case 'h':
        AppendHome(&pool);
        break;
      case 'P':
      case 'p':
        snprintf(buf, sizeof buf, "%ld", static_cast<long>(getpid()));
        AppendText(&pool, buf);
        break;
      case 'T':
      case 't':
        TimeText("%Y%m%d-%H%M%S", buf, sizeof buf);
        AppendText(&pool, buf);
        break;
      case 'U':
      case 'u':
        AppendUser(&pool);
        break;
      default:
        break;  // both characters dropped
    }
  }
  if (kind == TRACE_XA) AppendText(&pool, "-xa");
  mpl_append_byte(&pool, '\0');
  char *built = static_cast<char *>(mpl_finish(&pool));
  char *result = strdup(built);
  mpl_free_all(&pool);
  return result;
}

void TraceOpen(int kind) {
  if (kind != TRACE_ODBC && kind != TRACE_XA) return;
  if (g_streams[kind].stream != nullptr) return;  // already open: keep it
  char name[kNameBufferSize];
  ConfiguredName(name, sizeof name);
  if (name[0] == '\0') return;
  FILE *stream = nullptr;
  bool ownFile = false;
  if (strcmp(name, "stderr") == 0) {
    stream = stderr;
  } else {
    char *file = TraceExpandName(name, kind);
    if (file == nullptr) return;
    int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    free(file);
    if (fd < 0) return;
    stream = fdopen(fd, "w");
    if (stream == nullptr) {
      close(fd);
      return;
    }
    ownFile = true;
  }
  {
    OsLock lock(g_traceLock);
    g_streams[kind].stream = stream;
    g_streams[kind].ownFile = ownFile;
    g_traceLevel.store(ownFile ? TRACE_FILES : TRACE_STDERR);
  }
  char when[128];
  TimeText("** started on %a %b %d %H:%M:%S %Y **", when, sizeof when);
  if (kind == TRACE_ODBC) {
    TraceODBC("** Zezuzeru ODBC Trace file for %s **", get_program_name());
    TraceODBC("%s", when);
  } else {
    TraceXA(0, "** Zezuzeru XA Trace File **");
    TraceXA(0, "%s", when);
    TraceXA(0, "\n");
  }
}

FILE *TraceClose(int kind) {
  if (kind != TRACE_ODBC && kind != TRACE_XA) return nullptr;
  FILE *was = g_streams[kind].stream;
  if (was == nullptr) return nullptr;
  char when[128];
  TimeText("\n** finished on %a %b %d %H:%M:%S %Y **", when, sizeof when);
  TraceODBC("%s", when);
  TraceODBC("** normal end **");
  OsLock lock(g_traceLock);
  // Standard error is never closed, whichever way the other stream went.
  if (g_streams[kind].ownFile) fclose(was);
  g_streams[kind] = TraceStream{};
  if (g_streams[TRACE_ODBC].stream == nullptr && g_streams[TRACE_XA].stream == nullptr)
    g_traceLevel.store(TRACE_OFF);
  return was;
}
