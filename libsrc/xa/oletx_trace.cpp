// The OLE Transactions trace.
#include "xa/oletx_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "odbc/trace.h"

namespace {

std::atomic<bool> g_on{false};
// Nesting depth of the calling thread: two blanks per level after the
// thread id. Nothing nests today, so it stays 0.
thread_local int t_depth = 0;
constexpr int kMaxDepth = 30;
constexpr size_t kTextMax = 2047;

struct HResultName {
  uint32_t hr;
  const char *name;
};

constexpr HResultName kNames[] = {
    {0x00000000, "S_OK"},
    {0x0004D000, "XACT_S_ASYNC"},
    {0x0004D002, "XACT_S_READONLY"},
    {0x0004D008, "XACT_S_ABORTING"},
    {0x0004D009, "XACT_S_SINGLEPHASE"},
    {0x80004001, "E_NOTIMPL"},
    {0x80004002, "E_NOINTERFACE"},
    {0x80004004, "E_ABORT"},
    {0x80004005, "E_FAIL"},
    {0x8000FFFF, "E_UNEXPECTED"},
    {0x80044002, "E_TVX_DSN2HNDL_FAIL"},
    {0x8004D001, "XACT_E_CANTRETAIN"},
    {0x8004D002, "XACT_E_COMMITFAILED"},
    {0x8004D008, "XACT_E_ISOLATIONLEVEL"},
    {0x8004D00B, "XACT_E_NOISORETAIN"},
    {0x8004D00E, "XACT_E_NOTRANSACTION"},
    {0x8004D00F, "XACT_E_NOTSUPPORTED"},
    {0x8004D013, "XACT_E_XTIONEXISTS"},
    {0x8004D016, "XACT_E_INDOUBT"},
    {0x8004D017, "XACT_E_NOTIMEOUT"},
    {0x8004D018, "XACT_E_ALREADYINPROGRESS"},
    {0x8004D019, "XACT_E_ABORTED"},
    {0x8004D01A, "XACT_E_LOGFULL"},
    {0x8004D01B, "XACT_E_TMNOTAVAILABLE"},
    {0x8004D01C, "XACT_E_CONNECTION_DOWN"},
    {0x8004D01D, "XACT_E_CONNECTION_DENIED"},
    {0x8004D103, "XACT_E_NOTSINGLEPHASE"},
    {0x8007000E, "E_OUTOFMEMORY"},
    {0x80070057, "E_INVALIDARG"},
};

}  // namespace

const char *OleTx_HResultName(int32_t hr) {
  for (const HResultName &n : kNames)
    if (n.hr == static_cast<uint32_t>(hr)) return n.name;
  return "Unknown!";
}

void OleTx_TraceOpen() {
  if (!TraceIsOpen(TRACE_XA)) TraceOpen(TRACE_XA);
  if (!TraceIsOpen(TRACE_XA)) return;
  g_on.store(true);
  char when[201] = "";
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  if (strftime(when, sizeof when, "** Started on %a %b %d, %H:%M **", &local) == 0) when[0] = '\0';
  TraceXA(0, "** Zezuzeru OLE Transactions Interface: Trace file **");
  TraceXA(0, "%s\n", when);
}

void OleTx_TraceClose() {
  if (!g_on.exchange(false)) return;
  TraceClose(TRACE_XA);
}

bool OleTx_TraceOn() { return g_on.load(); }

void OleTx_Trace(const char *format, ...) {
  if (!g_on.load() || t_depth > kMaxDepth) return;
  char text[kTextMax + 1];
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (n < 0) return;
  // The writer ends every line itself.
  size_t len = strlen(text);
  if (len > 0 && text[len - 1] == '\n') text[len - 1] = '\0';
  TraceXA(1, "%*s%s", t_depth * 2, "", text);
}

int32_t OleTx_TraceHResult(int32_t hr) {
  const auto value = static_cast<unsigned long>(static_cast<uint32_t>(hr));
  if (hr >= 0)
    OleTx_Trace("Call success    : Returned HRESULT: %#.8lx(%s)\n", value, OleTx_HResultName(hr));
  else
    OleTx_Trace("Call failure >>>: Returned HRESULT: %#.8lx(%s)\n", value, OleTx_HResultName(hr));
  return hr;
}

uint32_t OleTx_TraceCount(uint32_t count) {
  OleTx_Trace("Call returned: %lu\n", static_cast<unsigned long>(count));
  return count;
}
