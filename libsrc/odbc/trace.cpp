// Trace streams. Lines are written and flushed one at a time under the trace
// lock, the innermost lock of the driver.
#include "odbc/trace.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "util/osthread.h"

std::atomic<int32_t> g_traceLevel{TRACE_OFF};

namespace {

FILE *g_odbcStream = nullptr;
FILE *g_xaStream = nullptr;
// Static and never destroyed: a line written late (from another thread or a
// destructor) can never race the lock's deletion.
OsCritSec g_traceLock = OS_CRITSEC_INITIALIZER;

}  // namespace

unsigned long TraceThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

FILE *TraceODBCStream() { return g_odbcStream; }

void TraceODBCv(const char *format, va_list args) {
  if (!TraceIsOn()) return;
  OsLock lock(g_traceLock);
  if (g_odbcStream == nullptr) return;
  vfprintf(g_odbcStream, format, args);
  fputc('\n', g_odbcStream);
  fflush(g_odbcStream);
}

void TraceODBC(const char *format, ...) {
  if (!TraceIsOn()) return;
  va_list ap;
  va_start(ap, format);
  TraceODBCv(format, ap);
  va_end(ap);
}

void TraceXA(int prefix, const char *format, ...) {
  if (!TraceIsOn()) return;
  unsigned long tid = prefix != 0 ? TraceThreadId() : 0;
  OsLock lock(g_traceLock);
  if (g_xaStream == nullptr) return;
  if (prefix != 0) fprintf(g_xaStream, "[%ld] ", static_cast<long>(tid));
  va_list ap;
  va_start(ap, format);
  vfprintf(g_xaStream, format, ap);
  va_end(ap);
  fputc('\n', g_xaStream);
  fflush(g_xaStream);
}

char *TraceExpandName(const char *name, int kind) {
  // Completed with the full expansion rules.
  std::string out(name);
  if (kind == TRACE_XA) out += "-xa";
  return strdup(out.c_str());
}

void TraceOpen(int kind) {
  if (kind != TRACE_ODBC && kind != TRACE_XA) return;
  const char *name = getenv("TVX_DEBUGFILE");
  if (name == nullptr || *name == '\0') return;
  FILE *stream = nullptr;
  int32_t level;
  if (strcmp(name, "stderr") == 0) {
    stream = stderr;
    level = TRACE_STDERR;
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
    level = TRACE_FILES;
  }
  {
    OsLock lock(g_traceLock);
    (kind == TRACE_ODBC ? g_odbcStream : g_xaStream) = stream;
    g_traceLevel.store(level);
  }
  char when[128];
  time_t now = time(nullptr);
  struct tm tmNow;
  localtime_r(&now, &tmNow);
  strftime(when, sizeof when, "** started on %a %b %d %H:%M:%S %Y **", &tmNow);
  if (kind == TRACE_ODBC) {
    TraceODBC("** Zezuzeru ODBC Trace file for %s **", "");
    TraceODBC("%s", when);
  } else {
    TraceXA(0, "** Zezuzeru XA Trace File **");
    TraceXA(0, "%s", when);
    TraceXA(0, "\n");
  }
}

FILE *TraceClose(int kind) {
  FILE *&slot = kind == TRACE_ODBC ? g_odbcStream : g_xaStream;
  FILE *was = slot;
  if (was == nullptr) return nullptr;
  char when[128];
  time_t now = time(nullptr);
  struct tm tmNow;
  localtime_r(&now, &tmNow);
  strftime(when, sizeof when, "\n** finished on %a %b %d %H:%M:%S %Y **", &tmNow);
  TraceODBC("%s", when);
  TraceODBC("** normal end **");
  OsLock lock(g_traceLock);
  if (g_traceLevel.load() == TRACE_FILES) fclose(was);
  slot = nullptr;
  if (g_odbcStream == nullptr && g_xaStream == nullptr) g_traceLevel.store(TRACE_OFF);
  return was;
}
