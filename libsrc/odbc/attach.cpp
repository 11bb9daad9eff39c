// Library attach and detach: the shared library's constructor and destructor.
//
// A constructor cannot refuse a load. When the ODBC layer cannot be set up
// the message (string 5) is logged and the layer stays uninitialised, so
// every call answers SQL_ERROR; the detach sequence still runs at unload,
// each step doing nothing for what was never set up.
#include "odbc/attach.h"

#include <cstdlib>

#include "odbc/dispatch.h"
#include "odbc/setup.h"
#include "odbc/trace.h"
#include "util/log.h"
#include "util/strres.h"
#include "xa/oletx.h"
#include "xa/xaswitch.h"

constinit DrvObject g_processDrv{};

namespace {

// The log sink attached to the ODBC trace file; NULL without a trace.
LogSink *g_traceSink = nullptr;
bool g_attached = false;

constexpr unsigned kMsgExclamation = 0x30;  // an OK message with a warning icon

__attribute__((constructor)) void LibraryLoad() { DriverAttach(); }
__attribute__((destructor)) void LibraryUnload() { DriverDetach(); }

// Every log line of the driver, all levels and categories, lands in the
// trace file with a time stamp and a date line at each new day. Lines are
// written under the trace lock so that they never interleave with trace
// lines. The sink exists also without a trace, so that lines never fall
// back to standard error: a library's standard error is the application's
// terminal (isql's output), and a user who wants the lines there asks with
// TVX_DEBUGFILE=stderr.
void LogSinksAttach() {
  g_traceSink = log_sink_new(TraceLogEmit, nullptr, LOG_DEBUG, 0xFFFFFFFFu, LOGF_DATE_LINES | LOGF_TIME);
  if (g_traceSink != nullptr) g_traceSink->stream = TraceODBCStream();
}

int DistTxDetach() {
  OleTx_Term();
  xa_switch_term();
  return 1;
}

}  // namespace

int DriverAttach() {
  // Once per process, however often the constructor's twin is reached.
  if (g_attached) return 1;
  if (OdbcLayerInit() != 0) {
    char text[200];
    LoadStringRes(IDS_LAYER_INIT_FAILED, text, sizeof text);
    MsgBoxAlert(text, kMsgExclamation);
    return 0;
  }
  g_attached = true;
  ORA_Register(&g_processDrv);
  TraceOpen(TRACE_ODBC);
  LogSinksAttach();
  return 1;
}

int DriverDetach() {
  OdbcLayerTerm();
  if (g_traceSink != nullptr) {
    log_sink_close(g_traceSink);
    free(g_traceSink);
    g_traceSink = nullptr;
  }
  TraceClose(TRACE_ODBC);
  DistTxDetach();
  g_attached = false;
  return 1;
}
