// The cursor state's small operations for the front end. The cursor layer
// itself (installation, the scrollable cursor operations and SQL analysis)
// is not built yet: its entry points answer "Driver not capable" and
// scs_Install leaves the operation table as it is.
#include "scrs/sc_s.h"

#include <cstdlib>
#include <cstring>

#include "odbc/data/services.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"

namespace {
constexpr int kRowError = 5;  // SQL_ROW_ERROR
}

int scs_CursorInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *drv, void *owner) {
  cur->rowsetSize = 1;
  cur->keysetSize = 0;
  cur->rowCount = -1;
  cur->cursorType = SCS_FORWARD_ONLY;
  cur->concurrency = SCS_READ_ONLY;
  cur->simulateCursor = 0;
  cur->useBookmarks = 0;
  cur->rowVersions = 0;
  cur->retrieveData = 1;
  cur->private1052 = 0;
  cur->private1054 = 0;
  cur->selectColumnsMode = 1;
  cur->position = SCS_BEFORE_FIRST;
  cur->firstRow = 0;
  cur->lowerStmt = lowerStmt;
  cur->lowerConn = lowerConn;
  cur->drv = drv;
  cur->owner = owner;
  return 0;
}

int scs_StmtCursorInit(ScsCursor *cur, uint32_t lowerStmt, uint32_t lowerConn, DrvObject *drv, Stmt *owner) {
  scs_CursorInit(cur, lowerStmt, lowerConn, drv, owner);
  cur->fetchDirections = 0;
  cur->rowset = nullptr;
  cur->fetchStatus = nullptr;
  if (owner && owner->conn) {
    const ScsCursor &d = owner->conn->cursorDefaults;
    cur->concurrency = d.concurrency;
    cur->cursorType = d.cursorType;
    cur->keysetSize = d.keysetSize;
    cur->retrieveData = d.retrieveData;
    cur->rowsetSize = d.rowsetSize;
    cur->simulateCursor = d.simulateCursor;
    cur->useBookmarks = d.useBookmarks;
  }
  return 0;
}

int scs_SetRowPosition(ScsCursor *cur, int32_t position) {
  if (position == SCS_BEFORE_FIRST || position == SCS_AFTER_LAST) {
    cur->position = position;
    cur->firstRow = position;
    return 0;
  }
  if (position == SCS_ALL_ROWS) {
    cur->position = position;
    return 0;
  }
  if (position < 0) return E_S1107;
  if (cur->rowCount != -1 && position > cur->rowCount) return E_S1107;
  cur->position = position;
  return 0;
}

void scs_ResetPosition(ScsCursor *cur) {
  cur->rowCount = -1;
  scs_SetRowPosition(cur, SCS_BEFORE_FIRST);
}

void scs_FreeRowset(ScsCursor *cur) { RowsetFree(&cur->rowset); }

int scs_GetRowStatus(const Rowset *rowset, int32_t row) {
  if (!rowset || !rowset->status || row < 1 || row > rowset->count) return kRowError;
  return rowset->status[row - 1];
}

void scs_SetRowStatus(Rowset *rowset, int32_t row, int32_t status) {
  if (!rowset || !rowset->status || row < 1 || row > rowset->count) return;
  rowset->status[row - 1] = static_cast<uint16_t>(status);
}

// ---- Not built yet ----------------------------------------------------------------

int scs_GetRowNumber(ScsCursor *, uint32_t, int32_t *number) {
  if (number) *number = 0;
  return E_S1C00;
}
int scs_p_GetRowNumber(ScsCursor *, uint32_t, int32_t *number) {
  if (number) *number = 0;
  return E_S1C00;
}
int scs_GetODBCInfo(const DrvObject *, uint32_t, uint16_t, void *, int16_t, int16_t *) { return E_S1C00; }
int scs_ScrollFetch(ScsCursor *, uint16_t, int32_t, uint32_t *rowsFetched) {
  if (rowsFetched) *rowsFetched = 0;
  return E_S1C00;
}
int scs_GetBaseColAttribs(ScsCursor *, uint32_t, ColDesc *, uint32_t, uint32_t, uint32_t, ColAttr *) { return 0; }
int scs_SetPosRun(ScsCursor *, int16_t **status, int32_t *count) {
  if (status) *status = nullptr;
  if (count) *count = 0;
  return E_S1C00;
}
void scs_Install(DrvObject *) {}

void SCR_DescParamSQLInit(DescParamSQL *d, const char *defaultExpr) {
  if (!d) return;
  *d = DescParamSQL{};
  d->defaultExpr = defaultExpr;
}
int SCR_DescParamSQLBuild(DescParamSQL *, const char *) { return E_S1C00; }
void SCR_DescParamSQLFree(DescParamSQL *d) {
  if (!d) return;
  for (int32_t i = 0; i < d->probeCount; ++i) free(d->probes ? d->probes[i] : nullptr);
  free(d->probes);
  free(d->marker);
  free(d->text);
  d->probes = nullptr;
  d->marker = nullptr;
  d->text = nullptr;
  d->probeCount = 0;
  d->paramCount = 0;
}
