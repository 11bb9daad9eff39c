#pragma once
// The XA worker layer as the rest of the driver sees it: installation above
// the cursor layer, and the in-global-transaction flag of an agent
// connection's worker.
#include <cstdint>

struct DrvObject;

// The per-agent-connection worker; the agent keeps a pointer to it (none
// until an XA open) and touches only the in-global-transaction flag.
struct XaWorker {
  int32_t inGlobalTxn;
  struct XaWorkerState *state;  // the worker layer's own thread, queues and locks
};

// Installs the worker layer's proxies above the table the object points to.
// 0, or 43 for an object whose flags are 0.
int32_t xaw_Init(DrvObject *obj);
// Called when the last agent server reference goes; does nothing.
void xaw_Term();
// The worker's flag; 0 without a worker.
int32_t xaw_InGlobalTxn(const XaWorker *worker);
// Stores 1 for a non-zero flag, else 0; 21 without a worker.
int32_t xaw_SetInGlobalTxn(XaWorker *worker, int32_t flag);
