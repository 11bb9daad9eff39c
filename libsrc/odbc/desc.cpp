// The descriptor object.
#include "odbc/desc.h"

#include <sqlext.h>

#include <cstdlib>

#include "odbc/apirec.h"
#include "odbc/data/services.h"
#include "odbc/dispatch.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"

namespace {

// Sets one statement attribute through the statement attribute setter, as
// the application would with the narrow SQLSetStmtAttr.
bool SetStmtAttr(Stmt *stmt, int32_t attr, uint64_t value) {
  const uint64_t slots[] = {ApiSlot(attr), value, ApiSlot(int32_t{0}), ApiSlot('A')};
  SQLRETURN rc = odbc_SetStmtAttr(stmt, ApiArgs{slots, 4});
  return SQL_SUCCEEDED(rc);
}

uint64_t PtrSlot(const void *p) { return ApiSlot(p); }

bool SqlTypeUsesLength(int16_t t) {
  switch (t) {
    case SQL_CHAR:
    case SQL_DATETIME:  // 9
    case 10:            // SQL_INTERVAL / SQL_TIME in ODBC 2
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return true;
    default:
      return false;
  }
}

}  // namespace

Desc *DescNew(int16_t kind, int16_t alloc, Stmt *stmt, Conn *conn) {
  auto *desc = static_cast<Desc *>(calloc(1, sizeof(Desc)));
  auto *rec0 = static_cast<DescRec *>(calloc(1, sizeof(DescRec)));
  if (!desc || !rec0) {
    free(desc);
    free(rec0);
    if (alloc == DESC_ALLOC_AUTO) {
      if (stmt) stmt->pending = E_S1001;
    } else if (conn) {
      conn->pending = E_S1001;
    }
    return nullptr;
  }
  desc->kind = kind;
  desc->alloc = alloc;
  if (alloc == DESC_ALLOC_AUTO)
    desc->stmt = stmt;
  else
    desc->conn = conn;
  desc->magic = MAGIC_DESC;
  desc->arraySize = 1;
  desc->records = rec0;
  if (stmt && alloc == DESC_ALLOC_AUTO) {
    switch (kind) {
      case DESC_IRD:
        stmt->ird = desc;
        break;
      case DESC_IPD:
        stmt->ipd = desc;
        break;
      case DESC_ARD:
        stmt->implicitArd = stmt->ard = desc;
        break;
      case DESC_APD:
        stmt->implicitApd = stmt->apd = desc;
        break;
      default:
        break;
    }
  }
  return desc;
}

void DescDelete(Desc *desc) {
  if (desc->alloc == DESC_ALLOC_USER && desc->conn) {
    for (Stmt *s = desc->conn->statements; s; s = s->next) {
      if (s->ard == desc) {
        s->ard = s->implicitArd;
        StmtApplyARD(s, s->ard);
      }
      if (s->apd == desc) {
        s->apd = s->implicitApd;
        StmtApplyAPD(s, s->apd);
      }
    }
  }
  DescRec *node = desc->records;
  while (node) {
    DescRec *next = node->next;
    DescRecReset(&node->rec);
    free(node);
    node = next;
  }
  desc->records = nullptr;
  MsgListFree(desc->messages);
  desc->messages = nullptr;
  // The dispatcher reads a descriptor it looks up (magic, owner) under the
  // handle-table lock; it leaves the table and its memory under that lock.
  HandleLockGuard lock;
  desc->magic = MAGIC_DEAD;
  HandleTable_Remove(&g_odbc.descs, desc->handle);
  free(desc);
}

char *DescGetMsg(Desc *desc, int32_t *native) { return MsgListPop(&desc->messages, native); }

int DescRecCount(const Desc *desc) {
  int n = 0;
  for (const DescRec *r = desc->records ? desc->records->next : nullptr; r; r = r->next) ++n;
  return n;
}

DescRecord *DescGetRec(Desc *desc, int n) {
  if (n < 0) return nullptr;
  DescRec *r = desc->records;
  for (int i = 0; r && i < n; ++i) r = r->next;
  return r ? &r->rec : nullptr;
}

int DescGrowRecs(Desc *desc, int n) {
  DescRec *last = desc->records;
  if (!last) return E_S1001;
  while (last->next) last = last->next;
  while (desc->count < n) {
    auto *node = static_cast<DescRec *>(calloc(1, sizeof(DescRec)));
    if (!node) return E_S1001;
    last->next = node;
    last = node;
    DescRecInit(desc, &node->rec);
    ++desc->count;
  }
  return 0;
}

void DescRecInit(const Desc *desc, DescRecord *rec) {
  switch (desc->kind) {
    case DESC_ARD:
    case DESC_APD:
      rec->conciseType = SQL_C_DEFAULT;
      rec->type = SQL_C_DEFAULT;
      rec->indicatorPtr = nullptr;
      rec->octetLengthPtr = nullptr;
      rec->dataPtr = nullptr;
      break;
    case DESC_IPD:
      rec->parameterType = SQL_PARAM_INPUT;
      break;
    default:
      break;
  }
}

void DescRecReset(DescRecord *rec) {
  rec->indicatorPtr = nullptr;
  rec->octetLengthPtr = nullptr;
  rec->dataPtr = nullptr;
  free(rec->name);
  rec->name = nullptr;
}

int StmtApplyARD(Stmt *stmt, Desc *desc) {
  // The descriptor's records are the statement's column bindings from now
  // on: a column bound only through the descriptor it replaces is unbound,
  // so that no fetch writes into a buffer the current one does not name.
  for (BoundCol *b = stmt->boundCols; b;) {
    BoundCol *next = b->next;
    const uint16_t column = b->bind.column;
    const DescRecord *rec = column <= desc->count ? DescGetRec(desc, column) : nullptr;
    if (!rec || !rec->dataPtr) StmtUnbindCol(stmt, column);
    b = next;
  }
  if (!SetStmtAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, PtrSlot(desc->bindOffset)) ||
      !SetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, static_cast<uint32_t>(desc->bindType)) ||
      !SetStmtAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, PtrSlot(desc->arrayStatus)) ||
      !SetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, desc->arraySize))
    return E_S1000;
  int n = 0;
  for (DescRec *r = desc->records; r && n <= desc->count; r = r->next, ++n) {
    if (!r->rec.dataPtr) continue;
    int code = BindColumn(stmt, static_cast<uint16_t>(n), r->rec.conciseType, r->rec.dataPtr, r->rec.octetLength,
                          r->rec.indicatorPtr);
    if (code != 0) return code;
  }
  return 0;
}

int StmtApplyAPD(Stmt *stmt, Desc *desc) {
  // Likewise the parameters: only the new descriptor's records are bound.
  StmtResetParams(stmt);
  if (!SetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, PtrSlot(desc->bindOffset)) ||
      !SetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, static_cast<uint32_t>(desc->bindType)) ||
      !SetStmtAttr(stmt, SQL_ATTR_PARAM_OPERATION_PTR, PtrSlot(desc->arrayStatus)) ||
      !SetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, desc->arraySize))
    return E_S1000;
  Desc *ipd = stmt->ipd;
  if (ipd && ipd->count < desc->count) {
    if (!SQL_SUCCEEDED(DescSetField(ipd, 0, SQL_DESC_COUNT, desc->count, 0, 'A'))) return E_S1000;
  }
  int n = 0;
  for (DescRec *r = desc->records; r && n <= desc->count; r = r->next, ++n) {
    if (!r->rec.dataPtr) continue;
    DescRecord *ip = ipd ? DescGetRec(ipd, n) : nullptr;
    if (!ip) return E_S1000;
    int16_t sqlType = ip->conciseType;
    uint64_t columnSize = SqlTypeUsesLength(sqlType) ? static_cast<uint64_t>(ip->length)
                                                     : static_cast<uint64_t>(ip->precision);
    int16_t digits = 0;
    if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL)
      digits = ip->scale;
    else if (sqlType == 9 || sqlType == 10)
      digits = ip->precision;
    if (BindParam(stmt, static_cast<uint16_t>(n), ip->parameterType, r->rec.conciseType, sqlType, columnSize, digits,
                  r->rec.dataPtr, r->rec.octetLength, r->rec.octetLengthPtr, r->rec.indicatorPtr) != 0)
      return stmt->pending;
  }
  return 0;
}
