// The cursor state's small operations for the front end: position, row
// numbers, row statuses and the SQLGetInfo filter. The scroll orientation
// logic is in scrs/scroll.cpp, the layer's installation and its forward-only
// fetch in scrs/sc_install.cpp. The scrollable cursor operations and the SQL
// analysis are not built yet: their entry points answer "Driver not capable".
#include "scrs/sc_s.h"

#include <cstdlib>
#include <cstring>

#include "odbc/data/services.h"
#include "odbc/drvops.h"
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

int scs_GetRowNumber(ScsCursor *cur, uint32_t index, int32_t *number) {
  if (!number || index > static_cast<uint32_t>(cur->rowsetSize - 1)) return E_S1009;
  *number = 0;
  if (cur->position == SCS_BEFORE_FIRST || cur->position == SCS_AFTER_LAST) return E_24000;
  if ((cur->cursorType == SCS_KEYSET && cur->keysetSize == 0) || cur->cursorType == SCS_STATIC)
    return scs_p_GetRowNumber(cur, index, number);
  return E_S1C00;
}

int scs_p_GetRowNumber(ScsCursor *cur, uint32_t index, int32_t *number) {
  if (!number) return E_S1009;
  *number = 0;
  // Forward-only, dynamic and mixed cursors have no absolute row numbers.
  if (cur->cursorType == SCS_FORWARD_ONLY || cur->cursorType == SCS_DYNAMIC ||
      (cur->cursorType == SCS_KEYSET && cur->keysetSize != 0))
    return 0;
  if (index > static_cast<uint32_t>(cur->rowsetSize - 1)) return E_S1009;
  if (cur->position == SCS_BEFORE_FIRST || cur->position == SCS_AFTER_LAST) return E_24000;
  if (scs_GetRowStatus(cur->rowset, static_cast<int32_t>(index) + 1) == kRowError) return E_S1109;
  *number = cur->firstRow + static_cast<int32_t>(index);
  return 0;
}

int scs_GetODBCInfo(const DrvObject *lower, uint32_t lowerConn, uint16_t infoType, void *buf, int16_t bufLen,
                    int16_t *outLen) {
  switch (infoType) {
    case 8: case 26: case 28: case 43: case 44: case 72: case 78: case 79: case 80: case 82: case 83: case 93:
    case 99: {
      int32_t value = 0;
      int16_t len = 0;
      int32_t code = DrvCall<&DrvOps::DRV_GetInfo>(lower, lowerConn, InfoGetInfoInt(infoType), &value,
                                                   static_cast<uint16_t>(sizeof value), &len);
      if (code != 0) return code;
      if (bufLen < 4) return E_S1009;
      if (buf) memcpy(buf, &value, sizeof value);
      if (outLen) *outLen = 4;
      return 0;
    }
    case 11: case 17: case 29: case 47: {
      char text[256] = {};
      int16_t len = 0;
      int32_t code = DrvCall<&DrvOps::DRV_GetInfo>(lower, lowerConn, InfoGetInfoStr(infoType), text,
                                                   static_cast<uint16_t>(sizeof text), &len);
      if (code != 0) return code;
      text[sizeof text - 1] = '\0';
      const size_t n = strlen(text);
      if (outLen) *outLen = static_cast<int16_t>(n);
      // Callers leave the buffer alone when the answer did not fit.
      if (bufLen <= 0 || n >= static_cast<size_t>(bufLen)) return E_01004;
      if (buf) memcpy(buf, text, n + 1);
      return 0;
    }
    default:
      return E_S1092;
  }
}

// ---- Not built yet ----------------------------------------------------------------

int scs_GetBaseColAttribs(ScsCursor *, uint32_t, ColDesc *, uint32_t, uint32_t, uint32_t, ColAttr *) { return 0; }
int scs_SetPosRun(ScsCursor *, int16_t **status, int32_t *count) {
  if (status) *status = nullptr;
  if (count) *count = 0;
  return E_S1C00;
}

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
