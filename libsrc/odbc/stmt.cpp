// The statement object.
#include "odbc/stmt.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "odbc/colattr.h"
#include "odbc/conn.h"
#include "odbc/data/services.h"
#include "odbc/data/setpos.h"
#include "odbc/desc.h"
#include "odbc/sqlstate.h"
#include "odbc/trace.h"

namespace {

// ParamInfo of a binding, as it is sent to the agent.
ParamInfo ParamInfoOf(const ParamBinding &b) {
  ParamInfo info{};
  info.sqlType = b.sqlType;
  info.cType = b.cType;
  info.columnSize = static_cast<uint32_t>(b.columnSize);
  info.decimalDigits = b.decimalDigits;
  info.paramType = b.paramType;
  return info;
}

bool SameParamInfo(const ParamInfo &a, const ParamInfo &b) {
  return a.sqlType == b.sqlType && a.cType == b.cType && a.columnSize == b.columnSize &&
         a.decimalDigits == b.decimalDigits && a.paramType == b.paramType;
}

// Piece buffers are the front end's own whichever path filled them: an agent
// that collects pieces itself leaves them empty, and the generic path may
// have filled them on the same connection (a bulk operation needing data at
// execution), so they are freed with their binding in every case.
void FreeColPieces(const Stmt *, BoundCol *bc) { DaeBufFree(&bc->pieces, bc->pieceCount, &bc->pieceLengths); }

void FreeParamPieces(const Stmt *, ParamBinding *pb) { DaeBufFree(&pb->pieces, pb->pieceCount, &pb->pieceLengths); }

// The agent's hidden parameter columns are named "*I", "*O", "*B", "*U".
bool IsHiddenColumn(const ColDesc &d) {
  return d.name[0] == '*' && (d.name[1] == 'I' || d.name[1] == 'O' || d.name[1] == 'B' || d.name[1] == 'U');
}

void Unlink(Stmt *stmt) {
  for (Stmt **p = &stmt->conn->statements; *p; p = &(*p)->next) {
    if (*p == stmt) {
      *p = stmt->next;
      break;
    }
  }
}

}  // namespace

Stmt *StmtNew(Conn *conn) {
  auto *stmt = static_cast<Stmt *>(calloc(1, sizeof(Stmt)));
  if (!stmt) {
    conn->pending = E_S1001;
    return nullptr;
  }
  uint32_t cursor = 0;
  int32_t code = AgentDone(DrvCall<&DrvOps::DRV_AllocCursor>(&conn->drv, conn->agentConn, &cursor), &conn->pending);
  if (code != 0) {
    if (TraceIsOn()) TraceODBC("Unable to allocate statement handle");
    free(stmt);
    conn->pending = code;
    // The agent's reason (an OCI error of the statement's setup) comes along.
    ConnGetMsgs(conn, nullptr);
    return nullptr;
  }
  stmt->magic = MAGIC_STMT;
  stmt->conn = conn;
  stmt->drv = &conn->drv;
  stmt->agentCursor = cursor;
  stmt->next = conn->statements;
  conn->statements = stmt;
  StmtStateStore(stmt, STMT_IDLE);
  stmt->id = ++conn->stmtCounter;
  stmt->maxLength = conn->maxLengthDefault;
  stmt->maxRows = conn->maxRowsDefault;
  stmt->queryTimeout = conn->queryTimeoutDefault;
  stmt->bindType = conn->bindTypeDefault;
  stmt->noScan = conn->noScanDefault;
  stmt->paramsetSize = 1;
  if (conn->cn_needbind) stmt->flags |= STMTF_NEEDBIND;
  scs_StmtCursorInit(&stmt->cursor, cursor, conn->agentConn, stmt->drv, stmt);

  // The four implicit descriptors, each registered as soon as it is made.
  static constexpr int16_t kKinds[] = {DESC_ARD, DESC_APD, DESC_IRD, DESC_IPD};
  Desc *made[4] = {};
  HandleValue handles[4] = {};
  code = 0;
  for (int i = 0; i < 4 && code == 0; ++i) {
    made[i] = DescNew(kKinds[i], DESC_ALLOC_AUTO, stmt, nullptr);
    if (!made[i]) {
      code = E_S1001;
      break;
    }
    code = HandleTable_Add(&g_odbc.descs, &handles[i], made[i]);
    if (code == 0) made[i]->handle = handles[i];
  }
  if (code != 0) {
    for (Desc *d : made)
      if (d) DescDelete(d);
    Unlink(stmt);
    scs_FreeRowset(&stmt->cursor);
    DrvCall<&DrvOps::DRV_FreeCursor>(stmt->drv, cursor);
    free(stmt);
    conn->pending = code;
    return nullptr;
  }
  stmt->asyncEnable = conn->asyncDefault;
  stmt->rowNumber = 0;
  return stmt;
}

void StmtClose(Stmt *stmt) {
  StmtDaeStore(stmt, 0);
  SetPosFreeBuffers(stmt);
  scs_ResetPosition(&stmt->cursor);
  if (stmt->state == STMT_PREPARED) {
    FreeFetchedRows(stmt);
    AgentDone(DrvCall<&DrvOps::DRV_CloseCursor>(stmt->drv, stmt->agentCursor), &stmt->pending);
    StmtStateStore(stmt, STMT_IDLE);
    stmt->flags &= static_cast<uint16_t>(~STMTF_RESULT_OPEN);
  }
  ColAttrSetFree(stmt->colAttrs);
  stmt->colAttrs = nullptr;
}

void StmtDelete(Stmt *stmt) {
  free(stmt->daeText);
  stmt->daeText = nullptr;
  SetPosFreeBuffers(stmt);
  free(stmt->bulkBookmarks);
  free(stmt->bulkColumns);
  stmt->bulkBookmarks = nullptr;
  stmt->bulkColumns = nullptr;
  StmtFreeResult(stmt);
  ColAttrSetFree(stmt->colAttrs);
  stmt->colAttrs = nullptr;
  StmtUnbindAll(stmt);
  StmtResetParams(stmt);
  Desc *own[] = {stmt->implicitArd, stmt->implicitApd, stmt->ird, stmt->ipd};
  for (Desc *d : own)
    if (d) DescDelete(d);
  stmt->implicitArd = stmt->implicitApd = stmt->ird = stmt->ipd = nullptr;
  stmt->ard = stmt->apd = nullptr;
  DrvCall<&DrvOps::DRV_FreeCursor>(stmt->drv, stmt->agentCursor);
  scs_FreeRowset(&stmt->cursor);
  free(stmt->cursor.sqlCopy);
  stmt->cursor.sqlCopy = nullptr;
  MsgListFree(stmt->messages);
  stmt->messages = nullptr;
  // SQLCancel finds statements under the handle-table lock from any thread:
  // the statement leaves the table and its memory only under that lock, so
  // a cancel either sees it whole or not at all.
  HandleLockGuard lock;
  Unlink(stmt);
  stmt->magic = MAGIC_DEAD;
  StmtStateStore(stmt, 0);
  HandleTable_Remove(&g_odbc.stmts, stmt->handle);
  free(stmt);
}

void StmtAddMsg(Stmt *stmt, const char *text, int32_t native) { MsgListAppend(&stmt->messages, text, native); }

char *StmtGetMsg(Stmt *stmt, int32_t *native) { return MsgListPop(&stmt->messages, native); }

int StmtGetAgentMsgs(Stmt *stmt) {
  int moved = 0;
  DrvMsgList list{};
  if (DrvCall<&DrvOps::DRV_GetErrors>(stmt->drv, stmt->agentCursor, &list) == 0) {
    for (uint32_t i = 0; i < list.count; ++i) {
      if (list.messages && list.messages[i]) {
        StmtAddMsg(stmt, list.messages[i], static_cast<int32_t>(list.native));
        ++moved;
      }
      if (list.messages) free(list.messages[i]);
    }
    free(list.messages);
  }
  moved += ConnGetMsgs(stmt->conn, stmt);
  return moved != 0 ? 1 : 0;
}

// ---- Column bindings ---------------------------------------------------------

SQLRETURN StmtBindCol(Stmt *stmt, const BoundCol *binding) {
  auto *node = static_cast<BoundCol *>(calloc(1, sizeof(BoundCol)));
  if (!node) {
    stmt->pending = E_S1001;
    return SQL_ERROR;
  }
  *node = *binding;
  node->next = nullptr;
  BoundCol **tail = &stmt->boundCols;
  for (; *tail; tail = &(*tail)->next) {
    BoundCol *old = *tail;
    if (old->bind.column == binding->bind.column) {
      // Replaced in place: the list keeps the order of first binding.
      FreeColPieces(stmt, old);
      BoundCol *next = old->next;
      *old = *node;
      old->next = next;
      free(node);
      return SQL_SUCCESS;
    }
  }
  *tail = node;
  return SQL_SUCCESS;
}

void StmtUnbindCol(Stmt *stmt, uint16_t column) {
  for (BoundCol **p = &stmt->boundCols; *p; p = &(*p)->next) {
    if ((*p)->bind.column == column) {
      BoundCol *node = *p;
      *p = node->next;
      FreeColPieces(stmt, node);
      free(node);
      return;
    }
  }
}

BoundCol *StmtBoundCol(Stmt *stmt, uint16_t column) {
  for (BoundCol *b = stmt->boundCols; b; b = b->next)
    if (b->bind.column == column) return b;
  return nullptr;
}

void StmtUnbindAll(Stmt *stmt) {
  while (BoundCol *node = stmt->boundCols) {
    stmt->boundCols = node->next;
    FreeColPieces(stmt, node);
    free(node);
  }
  Desc *ard = stmt->ard;
  if (ard && ard->records && ard->records->next) {
    DescRec *r = ard->records->next;
    ard->records->next = nullptr;
    while (r) {
      DescRec *next = r->next;
      DescRecReset(&r->rec);
      free(r);
      r = next;
    }
  }
  if (ard) ard->count = 0;
}

// ---- Parameter bindings --------------------------------------------------------

SQLRETURN StmtSetParam(Stmt *stmt, const ParamBinding *binding) {
  uint16_t n = binding->number;
  if (n == 0 || n > kMaxParams) {
    stmt->pending = E_S1093;
    return SQL_ERROR;
  }
  if (n > stmt->paramCapacity) {
    uint16_t cap = n > kMaxParams - 9 ? kMaxParams : static_cast<uint16_t>(n + 9);
    auto *params = static_cast<ParamBinding *>(calloc(cap, sizeof(ParamBinding)));
    auto *shadow = static_cast<ParamInfo *>(calloc(cap, sizeof(ParamInfo)));
    if (!params || !shadow) {
      free(params);
      free(shadow);
      stmt->pending = E_S1001;
      return SQL_ERROR;
    }
    if (stmt->paramCapacity) {
      memcpy(params, stmt->params, stmt->paramCapacity * sizeof(ParamBinding));
      memcpy(shadow, stmt->paramShadow, stmt->paramCapacity * sizeof(ParamInfo));
    }
    free(stmt->params);
    free(stmt->paramShadow);
    stmt->params = params;
    stmt->paramShadow = shadow;
    stmt->paramCapacity = cap;
  }
  ParamBinding *entry = &stmt->params[n - 1];
  ParamBinding copy = *binding;
  copy.pieceCount = 0;
  copy.pieces = nullptr;
  copy.pieceLengths = nullptr;
  FreeParamPieces(stmt, entry);
  *entry = copy;
  ParamInfo info = ParamInfoOf(copy);
  if (!SameParamInfo(info, stmt->paramShadow[n - 1])) {
    stmt->flags &= static_cast<uint16_t>(~STMTF_PARAMINFO_SENT);
    stmt->paramShadow[n - 1] = info;
  }
  return SQL_SUCCESS;
}

ParamBinding *StmtParamEntry(Stmt *stmt, uint16_t number) {
  if (number < 1 || number > stmt->paramCapacity) return nullptr;
  return &stmt->params[number - 1];
}

void StmtResetParams(Stmt *stmt) {
  for (uint16_t i = 0; i < stmt->paramCapacity; ++i) FreeParamPieces(stmt, &stmt->params[i]);
  free(stmt->params);
  free(stmt->paramShadow);
  stmt->params = nullptr;
  stmt->paramShadow = nullptr;
  stmt->paramCapacity = 0;
  // The Dataset handed down belongs to the layer below now.
  stmt->paramData = nullptr;
  stmt->flags &= static_cast<uint16_t>(~STMTF_PARAMINFO_SENT);
}

// ---- Descriptions ------------------------------------------------------------------

ColDesc *StmtDescribe(Stmt *stmt) {
  if (stmt->resultDescs) return stmt->resultDescs;
  uint16_t count = 0;
  ColDesc *descs = nullptr;
  int32_t code;
  if (stmt->conn->cn_describe2) {
    // The descriptions come with the extended column attributes, which the
    // statement keeps as a set for SQLColAttribute.
    ColAttrSetFree(stmt->colAttrs);
    stmt->colAttrs = nullptr;
    int16_t attrCount = 0;
    ColAttr *attrs = nullptr;
    code = DrvCall<&DrvOps::DRV_DescribeColumns2>(stmt->drv, stmt->agentCursor, &count, &attrCount, &descs, &attrs);
    if ((code == 0 || code == E_IM500) && attrs && attrCount > 0 && ColAttrSetBuild(attrs, attrCount, &stmt->colAttrs) != 0) {
      ColAttrSetFree(stmt->colAttrs);
      stmt->colAttrs = nullptr;
      ColAttrListFree(attrs, attrCount);
      if (descs) ColDescFree(descs, count);
      stmt->pending = E_S1001;
      return nullptr;
    }
    ColAttrListFree(attrs, attrCount > 0 ? attrCount : 0);
  } else {
    code = DrvCall<&DrvOps::DRV_DescribeColumns>(stmt->drv, stmt->agentCursor, &count, &descs);
  }
  if (code != 0 && code != E_IM500) {
    if (descs) ColDescFree(descs, count);
    stmt->pending = code;
    StmtGetAgentMsgs(stmt);
    return nullptr;
  }
  // 183: described, and a failover completed on the way; the call that
  // asked reports it.
  if (code == E_IM500) stmt->pending = code;
  stmt->resultDescs = descs;
  stmt->resultCount = count;
  int rows = RowsPerBlock(descs, count);
  uint32_t fetchSize = stmt->conn->cn_fetchSize;
  stmt->rowsPerBlock = static_cast<uint16_t>(static_cast<uint32_t>(rows) < fetchSize ? rows : fetchSize);
  return descs;
}

ColDesc *StmtGetColDesc(Stmt *stmt, uint16_t column) {
  if (column == 0 && stmt->cursor.useBookmarks) {
    ColDesc *d = ColDescAlloc(1);
    if (!d) {
      stmt->pending = E_S1001;
      return nullptr;
    }
    strcpy(d->name, "BOOKMARK");
    d->sqlType = SQL_CHAR;
    d->columnSize = 8;
    d->displaySize = 8;
    d->octetLength = 8;
    return d;
  }
  ColDesc *descs = column ? StmtDescribe(stmt) : nullptr;
  if (column && !descs && stmt->pending) return nullptr;
  if (column == 0 || column > stmt->resultCount || !descs) {
    stmt->pending = E_S1002;
    return nullptr;
  }
  return &descs[column - 1];
}

ColDesc *StmtGetParamDesc(Stmt *stmt, uint16_t number) {
  if (number == 0 || number > stmt->paramCount) {
    stmt->pending = E_S1093;
    return nullptr;
  }
  if (!stmt->paramDescsRead) {
    if (stmt->state == STMT_PREPARED && !(stmt->flags & STMTF_RESULT_OPEN)) {
      int32_t one = 1;
      uint16_t count = 0;
      ColDesc *descs = nullptr;
      if (AgentDone(DrvCall<&DrvOps::DRV_SetInfo>(stmt->drv, stmt->agentCursor, InfoStmtOption(0x000F), &one),
                    &stmt->pending) == 0 &&
          AgentDone(DrvCall<&DrvOps::DRV_DescribeParams>(stmt->drv, stmt->agentCursor, &count, &descs),
                    &stmt->pending) == 0) {
        ColDescFree(stmt->paramDescs, stmt->paramCount);
        stmt->paramDescs = descs;
        stmt->paramCount = count;
      } else if (descs) {
        ColDescFree(descs, count);
      }
    }
    stmt->paramDescsRead = 1;
  }
  if (number > stmt->paramCount || !stmt->paramDescs) {
    stmt->pending = E_S1093;
    return nullptr;
  }
  return &stmt->paramDescs[number - 1];
}

void StmtFreeResult(Stmt *stmt) {
  FreeFetchedRows(stmt);
  if (stmt->resultDescs) ColDescFree(stmt->resultDescs, stmt->resultCount);
  stmt->resultDescs = nullptr;
  stmt->resultCount = 0;
  StmtFreeParamDescs(stmt);
}

void StmtFreeParamDescs(Stmt *stmt) {
  if (stmt->paramDescs) ColDescFree(stmt->paramDescs, stmt->paramCount);
  stmt->paramDescs = nullptr;
  stmt->paramCount = 0;
  stmt->paramDescsRead = 0;
}

// ---- Data-at-execution piece buffers --------------------------------------------

namespace {

int PiecesAlloc(void ***pieces, int64_t **lengths, int32_t *pieceCount, int32_t count) {
  DaeBufFree(pieces, *pieceCount, lengths);
  *pieceCount = count;
  if (count <= 0) return 0;
  *pieces = static_cast<void **>(calloc(static_cast<size_t>(count), sizeof(void *)));
  *lengths = static_cast<int64_t *>(calloc(static_cast<size_t>(count), sizeof(int64_t)));
  if (!*pieces || !*lengths) {
    DaeBufFree(pieces, count, lengths);
    *pieceCount = 0;
    return E_S1001;
  }
  return 0;
}

}  // namespace

int StmtParamDaeBufAlloc(Stmt *stmt) {
  int32_t count = stmt->paramsetSize > INT32_MAX ? INT32_MAX : static_cast<int32_t>(stmt->paramsetSize);
  for (uint16_t i = 0; i < stmt->paramCapacity; ++i) {
    ParamBinding *p = &stmt->params[i];
    if (int code = PiecesAlloc(&p->pieces, &p->pieceLengths, &p->pieceCount, count)) return code;
  }
  return 0;
}

int StmtColDaeBufAlloc(Stmt *stmt) {
  int32_t count = stmt->cursor.rowsetSize;
  if (stmt->cursor.prevRowsetSize > count) count = stmt->cursor.prevRowsetSize;
  for (BoundCol *b = stmt->boundCols; b; b = b->next)
    if (int code = PiecesAlloc(&b->pieces, &b->pieceLengths, &b->pieceCount, count)) return code;
  return 0;
}

void DaeBufFree(void ***pieces, int32_t count, int64_t **lengths) {
  if (*pieces) {
    for (int32_t i = 0; i < count; ++i) free((*pieces)[i]);
    free(*pieces);
  }
  free(*lengths);
  *pieces = nullptr;
  *lengths = nullptr;
}

// ---- Counts ------------------------------------------------------------------------

int StmtSetParamsetSize(Stmt *stmt, uint64_t size, uint64_t *rowsProcessed) {
  if (!stmt->conn->cn_hasParamOp) return size == 1 ? 0 : E_IM001;
  if (size == 0) return E_S1107;
  stmt->paramsetSize = size;
  stmt->rowsProcessed = rowsProcessed;
  return 0;
}

int StmtRowCount(Stmt *stmt, int64_t *count) {
  int32_t value = 0;
  int16_t len = 0;
  int32_t code = DrvCall<&DrvOps::DRV_GetInfo>(stmt->drv, stmt->agentCursor, static_cast<uint32_t>(INFO_ROW_COUNT),
                                               &value, static_cast<uint16_t>(4), &len);
  // 183: the count came, and a failover completed on the way (the caller
  // decides where that is reported).
  if (code != 0 && code != E_IM500) return code;
  if (count) *count = value;
  return code;
}

int StmtNumResultCols(Stmt *stmt, int16_t *count) {
  if (stmt->state != STMT_PREPARED) return E_S1010;
  if (!count) return 0;
  ColDesc *descs = StmtDescribe(stmt);
  if (!descs) {
    *count = 0;
    return stmt->pending;
  }
  int16_t n = 0;
  for (uint16_t i = 0; i < stmt->resultCount; ++i)
    if (!IsHiddenColumn(descs[i])) ++n;
  *count = n;
  return 0;
}

int StmtNumParams(Stmt *stmt, int16_t *count) {
  if (stmt->state != STMT_PREPARED) return E_S1010;
  if (count) *count = static_cast<int16_t>(stmt->paramCount);
  return 0;
}

SQLRETURN odbc_CloseCursor(void *object, const ApiArgs &) {
  auto *stmt = static_cast<Stmt *>(object);
  if (!(stmt->flags & STMTF_RESULT_OPEN)) {
    stmt->pending = E_24000;
    return SQL_ERROR;
  }
  StmtClose(stmt);
  if (stmt->pending == E_IM500) return SQL_SUCCESS_WITH_INFO;
  return stmt->pending ? SQL_ERROR : SQL_SUCCESS;
}
