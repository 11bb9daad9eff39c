#pragma once
// The library's start and end: the shared library's constructor runs the
// attach sequence and its destructor the detach sequence.
#include "odbc/drvops.h"

// The process's DrvObject, filled by ORA_Register at attach.
extern DrvObject g_processDrv;

// 1 loaded; 0 when the ODBC layer could not be set up (the message is
// logged and every call then answers SQL_ERROR: a constructor cannot refuse
// the load).
int DriverAttach();
// Ends everything attach started, in reverse order; each step does nothing
// for what was never set up. Returns 1.
int DriverDetach();
