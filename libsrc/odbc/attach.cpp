// Library attach and detach.
#include "odbc/attach.h"

#include "odbc/dispatch.h"
#include "util/log.h"
#include "variant.h"
#include "xa/oletx.h"
#include "xa/xaswitch.h"

constinit DrvObject g_processDrv{};

namespace {

constexpr unsigned kStrLayerInitFailed = 5;

const char *StringResource(unsigned id) {
  for (const StringRes *s = g_driverVariant.strings; s && s->text; ++s)
    if (s->id == id) return s->text;
  return "";
}

__attribute__((constructor)) void LibraryLoad() { DriverAttach(); }
__attribute__((destructor)) void LibraryUnload() { DriverDetach(); }

}  // namespace

int DriverAttach() {
  if (OdbcLayerInit() != 0) {
    LOG(LOG_ERR, "DriverAttach: %s", StringResource(kStrLayerInitFailed));
    return 0;
  }
  ORA_Register(&g_processDrv);
  return 1;
}

int DriverDetach() {
  OdbcLayerTerm();
  // The DTC layer, then the XA switch.
  OleTx_Term();
  xa_switch_term();
  return 1;
}
