#pragma once
// The cursor layer's place in the DrvOps stack: scs_Install (declared in
// scrs/sc_s.h) copies the table below once per process, puts the layer's
// operations into its copy and points every DrvObject it is given at the
// copy. Every slot the layer does not serve passes straight down.
//
// Served: the scroll fetch (slots 36 and 41) of forward-only cursors, a
// rowset of rowset-size rows read with DRV_Fetch, and static cursors: the
// whole result is read once into a static set (in memory, spilled to private
// temporary files past a few thousand rows) and served from it in any
// direction. A static read-only SELECT is read at execute, so that its row
// count is known at once (INFO_ROW_COUNT answers it); other static results
// at their first fetch. Keyset-driven and dynamic cursors answer 43 (S1C00).
#include <cstdint>

#include "odbc/drvops.h"

struct VArray;
struct ScsCursor;

// Slot 41: (cursor, out Rowset, target value, out rows, out row count,
// orientation). The layer reads the cursor's type, rowset size and
// retrieve-data option from the cursor itself (DRV_GetInfo of statement
// options 6, 9 and 11; an option the cursor does not answer keeps its
// default: forward-only, 1 row, data retrieved). 0 with a new Rowset handed
// out; 82 (IM907) when no row came (no Rowset); 21 for missing outputs;
// 43 for keyset-driven and dynamic cursors; the lower fetch's code. A
// static cursor takes value as the 1-based first row (negative: counted
// from the end, a count beyond the first row but within one rowset giving
// the first rowset; 0: the last rowset), answers 85 (IM910) before the
// start and 86 (IM911) after the end, and its row count.
int32_t scs_FetchScroll(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount,
                        uint16_t orientation);
// Slot 36: scs_FetchScroll without an orientation (0).
int32_t scs_ExtendedFetch(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *rowCount);

// The other slots the layer serves. Prepare and ExecDirect note the
// statement's kind; Execute and ExecDirect read a static read-only SELECT's
// result whole; Fetch reads a static result sequentially (ODBC 2 SQLFetch);
// CloseCursor, FreeCursor and the catalog calls drop a cached result;
// MoreResults answers 73 (IM901) after a cached result of anything but a
// procedure call.
int32_t scs_GetInfo(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen);
int32_t scs_Prepare(DrvHandle cursor, const char *sql);
int32_t scs_Execute(DrvHandle cursor);
int32_t scs_ExecDirect(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *info);
int32_t scs_Fetch(DrvHandle cursor, uint16_t rows, Dataset *out);
int32_t scs_CloseCursor(DrvHandle cursor);
int32_t scs_FreeCursor(DrvHandle cursor);
int32_t scs_MoreResults(DrvHandle cursor);

// Connections: the layer keeps a copy of each connect request and a cache
// of key columns per list of tables until the connection closes (a failed
// close keeps them).
int32_t scs_Connect(DrvHandle server, const ConnectReq *req, DrvHandle *conn);
int32_t scs_Disconnect(DrvHandle conn);
// Appends the cached key columns of the tables (0), 1 when none are cached.
int scs_p_KeyCacheFind(uint32_t conn, const VArray *tables, VArray *keyCols);
// Caches copies of the key columns of the tables (0 or 16).
int scs_p_KeyCacheStore(uint32_t conn, const VArray *tables, const VArray *keyCols);
// The copy of the connection's connect request; none for a connection the
// layer did not open.
const ConnectReq *scs_p_ConnectInfo(uint32_t conn);
// The server context the connection was opened on; 0 for one the layer did not open.
DrvHandle scs_p_ConnectServer(uint32_t conn);

// Cursors: each lower cursor gets the layer's cursor state (freed with it).
// Parameter values and descriptions of a scrollable cursor are kept for the
// layer's own statements on its behalf.
int32_t scs_AllocCursor(DrvHandle conn, DrvHandle *cursor);
int32_t scs_SetParams(DrvHandle cursor, Dataset *params);
int32_t scs_SetParamInfo(DrvHandle cursor, uint16_t count, const ParamInfo *info);
int32_t scs_SetParamInfo2(DrvHandle cursor, uint16_t count, const ParamDesc *desc);
int32_t scs_ExecDirect2(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamDesc *desc);
// Errors of the layer's auxiliary lower cursors are moved to the cursor's
// own: GetErrors hands them up after the cursor's own records.
void scs_p_AuxErrorsCollect(ScsCursor *cur);
int32_t scs_GetErrors(DrvHandle h, DrvMsgList *out);
// The layer's cursor state of a lower cursor; none before its first use.
ScsCursor *scs_p_LayerCursor(DrvHandle cursor);
// The agent's own record of the cursor, where the agent's data-at-execution
// dialogue finds a pending SetPos; none for an agent without records.
ScsCursor *scs_p_AgentRecord(DrvHandle cursor);

// The agent's cursor record of a handle, where the layer keeps what the
// agent reads of it (the base-column information of private option 1052,
// flag SCSF_COLUMN_INFO); the agent registers it before installing the
// layer. Without it the option gives no information.
struct ScsCursor;
using ScsCursorLookup = ScsCursor *(*)(DrvHandle cursor);
void scs_SetCursorLookup(ScsCursorLookup lookup);

// The object the layer calls down through (flags and the table below as
// they stood at the first installation); a null table before it.
const DrvObject *scs_LowerObject();
