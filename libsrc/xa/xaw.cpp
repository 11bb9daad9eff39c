// The XA worker layer's entry points as far as the rest of the driver uses
// them before the layer exists: no worker proxies are installed and an agent
// connection's worker only carries its in-global-transaction flag.
#include "xa/xaw.h"

#include "odbc/drvops.h"
#include "odbc/sqlstate.h"

int32_t xaw_Init(DrvObject *) { return E_S1C00; }

void xaw_Term() {}

int32_t xaw_InGlobalTxn(const XaWorker *worker) { return worker ? worker->inGlobalTxn : 0; }

int32_t xaw_SetInGlobalTxn(XaWorker *worker, int32_t flag) {
  if (!worker) return E_S1009;
  worker->inGlobalTxn = flag ? 1 : 0;
  return 0;
}
