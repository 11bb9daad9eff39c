#pragma once
// Prepare, bind and execute on a DB_Curs (db-exec.cpp), the parameter layout
// for binds (o-param.cpp), and the operations of the agent's other OCI
// modules that these call.
//
// Column description and fetch come from db-fetch.h. The LOB access and
// data-at-execution modules are built separately: their operations are
// referenced weakly here, the way registration references the ORA_*
// operations. While a module is not linked the address is null, and the
// caller answers 43 (S1C00 "Driver not capable") or skips a release that has
// nothing to release. When a module's header lands, it takes the place of
// the matching line below.
#include <cstdint>

#include "drv_ora8/db-curs.h"
#include "drv_ora8/db-fetch.h"

struct Dataset;

#define KVD_AGENT_LATER __attribute__((weak, visibility("hidden")))
// LOB access.
KVD_AGENT_LATER void LobBindNode_FreeChain(LobBindNode *chain);
// Data at execution: 0, 102 while parameters wait for data, or 16.
KVD_AGENT_LATER int32_t DAE_StartExecute(AgentCursor *cursor);
// Starts collecting the data-at-execution cells (indicator -2) of the cursor
// layer's pending update or insert on the cursor: 102 when cells wait (the
// last DRV_ParamData merges them into the layer's values and resumes it
// with scs_SetPosRun), 0 when none does, 21 for an unknown cursor, 16.
int32_t DAE_StartSetPos(DrvHandle cursor);
#undef KVD_AGENT_LATER

// Prefetch rows (OPREFROWS, at most 65536) and memory (OPREFMEM) on the
// cursor's statement. 0 or 15.
int32_t db_SetOCIPrefetching(DB_Curs *c);

// Prepares text on the cursor's statement (from the statement cache when
// the cursor uses it); a failure is logged as caller's. 0, 74 (prepared
// with warnings, kept on the list), 68 (OCI errors on the list) or the
// prefetch setting's failure.
int32_t db_PrepareText(DB_Curs *c, const char *text, const char *caller);

// ---- Parameter layout (o-param.cpp) ----------------------------------------

// Lays out column j of the owner's parameter Dataset for a bind of `rows`
// rows from row `first` into *p (freed with the cursor's buffers): the
// external type, the array form (base, stride, per-row lengths when OCI
// needs them) and the intermediate values of dates and timestamps. Copies
// each bound row's indicator (-1 NULL, else 0) to ind[0..rows). Long values
// (15, 16, 26) of several rows are copied into one array buffer, unless a
// row is longer than OCI's 16-bit array lengths can say: then, as for any
// other row over 65535 bytes that needs a length, p->rowByRow is set and
// the rows are bound one at a time (db_ParamRow). 0, 15, 16, 49.
int32_t db_ParamLayout(DB_Curs *c, uint16_t j, uint32_t first, uint32_t rows, int16_t *ind, DbParamBind *p);
// The bytes of bound row r (0-based from the layout's first row) of
// parameter j as one value: pointer and exact length.
void db_ParamRow(DB_Curs *c, uint16_t j, const DbParamBind *p, uint32_t r, const void **data, uint32_t *len);
// True for value types whose array bind needs per-row lengths.
bool db_ParamNeedsLengths(int32_t valueType);
