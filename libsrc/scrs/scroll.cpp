// Scroll orientation logic: which rowset a SQLExtendedFetch or
// SQLFetchScroll asks for, worked out on the statement's cursor state
// before anything is asked of the layer below.
#include "scrs/scroll.h"

#include <sqlext.h>

#include <cstdint>

#include "odbc/data/services.h"
#include "odbc/dispatch.h"
#include "odbc/drvops.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"

namespace {

// The SQL_FETCH_DIRECTION bit of an orientation; 0 for codes ODBC does not
// define (their fetch is refused).
uint32_t DirectionBit(uint16_t orientation) {
  switch (orientation) {
    case SQL_FETCH_NEXT: return SQL_FD_FETCH_NEXT;
    case SQL_FETCH_FIRST: return SQL_FD_FETCH_FIRST;
    case SQL_FETCH_LAST: return SQL_FD_FETCH_LAST;
    case SQL_FETCH_PRIOR: return SQL_FD_FETCH_PRIOR;
    case SQL_FETCH_ABSOLUTE: return SQL_FD_FETCH_ABSOLUTE;
    case SQL_FETCH_RELATIVE: return SQL_FD_FETCH_RELATIVE;
    case SQL_FETCH_BOOKMARK: return SQL_FD_FETCH_BOOKMARK;
    default: return 0;
  }
}

// Dynamic and mixed cursors keep their position below; they have no
// absolute row numbers here.
bool DynamicOrMixed(const ScsCursor *cur) {
  return cur->cursorType == SCS_DYNAMIC || (cur->cursorType == SCS_KEYSET && cur->keysetSize != 0);
}

bool CountedCursor(const ScsCursor *cur) {
  return (cur->cursorType == SCS_KEYSET && cur->keysetSize == 0) || cur->cursorType == SCS_STATIC;
}

// A row number worked out in 64 bits, as the 32-bit target the layer below
// takes: far beyond either end stays far beyond it.
int32_t Target32(int64_t t) {
  if (t > INT32_MAX) return INT32_MAX;
  if (t < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(t);
}

int NoData(uint32_t *rows) {
  if (rows) *rows = 0;
  return E_IM907;
}

}  // namespace

int scs_p_ClassifyTarget(int32_t first, int32_t target, int32_t rowsetSize, int32_t rowCount) {
  if (rowCount == -1) {
    if (target > first) return SCS_TGT_FORWARD;
  } else {
    if (target > rowCount) return SCS_TGT_AFTER_END;
    if (int64_t{target} > int64_t{rowCount} - rowsetSize + 1) return SCS_TGT_OVERLAPS_END;
  }
  if (int64_t{target} <= 1 - int64_t{rowsetSize}) return SCS_TGT_BEFORE_START;
  if (target < 1) return SCS_TGT_OVERLAPS_START;
  return SCS_TGT_INSIDE;
}

int scs_p_ScrollTarget(uint16_t orientation, int32_t offset, int32_t first, int32_t rowCount, int32_t rowsetSize,
                       int32_t prevRowsetSize, int32_t *target) {
  if (first == SCS_AFTER_LAST) first = rowCount + 1;
  int32_t t = 0;
  int cls = SCS_TGT_FORWARD;
  switch (orientation) {
    case SQL_FETCH_NEXT:
      t = Target32(int64_t{first} + prevRowsetSize);
      cls = scs_p_ClassifyTarget(first, t, rowsetSize, rowCount);
      break;
    case SQL_FETCH_FIRST:
      t = 1;
      cls = SCS_TGT_INSIDE;
      break;
    case SQL_FETCH_LAST:
      t = rowCount == -1 ? 0 : rowCount - rowsetSize + 1;
      cls = SCS_TGT_INSIDE;
      break;
    case SQL_FETCH_PRIOR:
      t = Target32(int64_t{first} - rowsetSize);
      cls = scs_p_ClassifyTarget(first, t, rowsetSize, rowCount);
      break;
    case SQL_FETCH_ABSOLUTE:
      if (offset == 0) {
        t = 0;
        cls = SCS_TGT_BEFORE_START;
      } else if (offset < 0 && rowCount == -1) {
        t = offset;
        cls = SCS_TGT_FORWARD;
      } else if (offset < 0) {
        t = Target32(int64_t{rowCount} + offset + 1);
        cls = scs_p_ClassifyTarget(first, t, rowsetSize, rowCount);
        // Counted back past the first row: ODBC gives the first rowset while
        // the count stays within one rowset, and nothing beyond that.
        if (t < 1) {
          if (-int64_t{offset} <= rowsetSize) {
            t = 1;
            cls = SCS_TGT_INSIDE;
          } else {
            cls = SCS_TGT_BEFORE_START;
          }
        }
      } else {
        t = offset;
        cls = scs_p_ClassifyTarget(first, t, rowsetSize, rowCount);
      }
      break;
    case SQL_FETCH_RELATIVE:
      t = Target32(int64_t{first} + offset);
      cls = scs_p_ClassifyTarget(first, t, rowsetSize, rowCount);
      break;
    default:
      break;
  }
  if (target) *target = t;
  return cls;
}

int scs_p_ScrollCallDown(ScsCursor *cur, uint16_t orientation, int32_t value, uint32_t *rows) {
  auto *stmt = static_cast<Stmt *>(cur->owner);
  int32_t code;
  if (stmt && stmt->conn && stmt->conn->cn_hasDynMixCurs)
    code = DrvCall<&DrvOps::DRV_FetchScroll>(cur->drv, cur->lowerStmt, &cur->rowset, value, rows, &cur->rowCount,
                                             orientation);
  else
    code = DrvCall<&DrvOps::DRV_ExtendedFetch>(cur->drv, cur->lowerStmt, &cur->rowset, value, rows, &cur->rowCount);
  if (code != 0 && stmt) StmtGetAgentMsgs(stmt);
  return code;
}

int scs_ScrollFetch(ScsCursor *cur, uint16_t orientation, int32_t offset, uint32_t *rows) {
  scs_FreeRowset(cur);
  if (!(cur->flags & SCSF_ROWSET_CHANGED)) cur->prevRowsetSize = cur->rowsetSize;
  if (cur->cursorType == SCS_FORWARD_ONLY && orientation != SQL_FETCH_NEXT) return E_S1106;

  if (cur->fetchDirections == 0) {
    uint32_t mask = 0;
    int16_t len = 0;
    g_odbc.connectLock.Enter();
    int code = scs_GetODBCInfo(cur->drv, cur->lowerConn, SQL_FETCH_DIRECTION, &mask, sizeof mask, &len);
    g_odbc.connectLock.Leave();
    if (code == 0) cur->fetchDirections = mask;
  }
  if (!(cur->fetchDirections & DirectionBit(orientation))) return E_S1106;

  // After a bulk operation the absolute position is lost: only the
  // orientations that do not start from it remain.
  if (cur->firstRow == -1 && CountedCursor(cur) && orientation != SQL_FETCH_FIRST && orientation != SQL_FETCH_LAST &&
      orientation != SQL_FETCH_ABSOLUTE && orientation != SQL_FETCH_BOOKMARK)
    return E_S1106;

  const bool dynMixed = DynamicOrMixed(cur);
  switch (orientation) {
    case SQL_FETCH_NEXT:
      if (cur->position == SCS_BEFORE_FIRST) orientation = SQL_FETCH_FIRST;
      break;
    case SQL_FETCH_PRIOR:
      if (cur->position == SCS_AFTER_LAST) orientation = SQL_FETCH_LAST;
      break;
    case SQL_FETCH_RELATIVE:
      if ((cur->position == SCS_AFTER_LAST && offset < 0) || (cur->position == SCS_BEFORE_FIRST && offset > 0)) {
        if (dynMixed) return E_S1106;
        orientation = SQL_FETCH_ABSOLUTE;
      } else if ((cur->position == SCS_AFTER_LAST && offset > 0) ||
                 (cur->position == SCS_BEFORE_FIRST && offset < 0)) {
        return NoData(rows);
      }
      break;
    case SQL_FETCH_BOOKMARK:
      if (dynMixed) return E_S1106;
      if (offset <= 0) return E_IM907;
      orientation = SQL_FETCH_ABSOLUTE;
      break;
    case SQL_FETCH_ABSOLUTE:
      if (dynMixed) return E_S1106;
      if (offset == 0) {
        scs_SetRowPosition(cur, SCS_BEFORE_FIRST);
        return NoData(rows);
      }
      break;
    default:
      break;
  }

  int32_t target;
  if (cur->cursorType == SCS_FORWARD_ONLY) {
    target = orientation == SQL_FETCH_FIRST ? 1 : Target32(int64_t{cur->firstRow} + cur->prevRowsetSize);
  } else if (dynMixed) {
    target = offset;
  } else {
    int cls = scs_p_ScrollTarget(orientation, offset, cur->firstRow, cur->rowCount, cur->rowsetSize,
                                 cur->prevRowsetSize, &target);
    if (cls == SCS_TGT_BEFORE_START) {
      scs_SetRowPosition(cur, SCS_BEFORE_FIRST);
      return NoData(rows);
    }
    if (cls == SCS_TGT_AFTER_END) {
      scs_SetRowPosition(cur, SCS_AFTER_LAST);
      return NoData(rows);
    }
    if (cls == SCS_TGT_OVERLAPS_START) {
      orientation = SQL_FETCH_FIRST;
      target = 1;
    }
  }

  cur->flags &= static_cast<uint16_t>(~SCSF_ROWSET_CHANGED);
  uint32_t fetched = 0;
  int code = scs_p_ScrollCallDown(cur, orientation, target, &fetched);
  if (code == E_IM910 || code == E_IM911) {
    scs_SetRowPosition(cur, code == E_IM910 ? SCS_BEFORE_FIRST : SCS_AFTER_LAST);
    return NoData(rows);
  }
  // 74 (IM902): the rowset came with the database's warning, whose records
  // the call down moved to the statement; it is a rowset all the same.
  if (code != 0 && code != E_IM902) {
    if (rows) *rows = 0;
    return code;
  }
  if (rows) *rows = fetched;
  cur->position = 1;
  cur->firstRow = dynMixed ? -1 : target;
  return code;
}
