#pragma once
// The driver's two plain-text trace streams.
//
// The ODBC trace receives the dispatcher's call lines, the front end's
// connect/transaction/diagnostic lines and (through a log sink) every log
// line; the XA trace receives the XA switch's and the DTC layer's lines. Both
// go to a file named by TVX_DEBUGFILE (or "DebugFile" of the driver's section
// in odbcinst.ini), or both to standard error when the name is "stderr".
//
// Callers test TraceIsOn() before formatting anything, so a call costs one
// flag test while tracing is off. A "PWD=" value in any line is written as
// "***".
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "util/log.h"

enum TraceKind : int {
  TRACE_ODBC = 0,
  TRACE_XA = 1,
};

enum TraceLevelValue : int32_t {
  TRACE_OFF = 0,
  TRACE_STDERR = 1,  // the streams are standard error
  TRACE_FILES = 2,   // the streams are files opened by TraceOpen
};

// Read without a lock for the quick "is tracing on" test.
extern std::atomic<int32_t> g_traceLevel;

inline bool TraceIsOn() { return g_traceLevel.load(std::memory_order_relaxed) != TRACE_OFF; }

// Opens the stream of the kind when a trace is configured and the file can
// be created; otherwise nothing changes. Writes the head lines.
void TraceOpen(int kind);
// Writes the foot lines to the ODBC stream (when open), closes the stream of
// the kind and returns the stream that was open, or NULL when none was.
FILE *TraceClose(int kind);
// True while the stream of the kind is open.
bool TraceIsOpen(int kind);
// One line to the ODBC trace: the formatted text, a newline, a flush.
void TraceODBC(const char *format, ...) __attribute__((format(printf, 1, 2)));
void TraceODBCv(const char *format, va_list args);
// One line to the XA trace; with prefix non-zero it begins "[<thread id>] ".
void TraceXA(int prefix, const char *format, ...) __attribute__((format(printf, 2, 3)));

// The calling thread's identifier as the trace lines show it ("[%lX]").
unsigned long TraceThreadId();
// The ODBC trace's stream, or NULL while it is closed.
FILE *TraceODBCStream();
// Emit function of the log sink attached to the ODBC trace: writes the log
// line under the trace lock, so that log and trace lines never interleave.
void TraceLogEmit(LogSink *sink, int level, const char *text);

// The file name a configured trace name expands to: "$$" -> "$", "$H" -> the
// home directory with a trailing "/", "$P" -> the process id, "$T" -> the
// local time "%Y%m%d-%H%M%S", "$U" -> the user name; "$" with any other
// character drops both; a final "$" is dropped. kind TRACE_XA appends "-xa".
// Returns a malloc'ed text (caller frees), NULL when out of memory.
char *TraceExpandName(const char *name, int kind);
