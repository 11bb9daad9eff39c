// The agent's side of procedure calls: executing a prepared call, moving
// through the REF CURSOR results it produced and back to its output values,
// and laying the output values out in one Dataset.
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-proc.h"
#include "drv_ora8/o-exec.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"
#include "xa/xaw.h"

namespace {

uint32_t CountKind(const AgentCursor *cur, char a, char b) {
  uint32_t n = 0;
  for (uint16_t j = 0; j < cur->parCount; ++j) {
    const char k = cur->pars[j].name[0] == '*' ? cur->pars[j].name[1] : 'I';
    n += k == a || k == b ? 1 : 0;
  }
  return n;
}

// The next REF CURSOR of the procedure's own DB_Curs into a current one of
// its own: 0, 73 (none left: the procedure's cursor is current again) or a
// failure.
int32_t NextResult(AgentCursor *cur) {
  if (!cur->savedDbCurs) {
    DB_Curs *next = nullptr;
    if (int32_t rc = DB_Curs_New(cur->conn->dbConn, cur, &next)) return rc;
    AgentCursor_PushCurrent(cur, next);
  }
  int32_t rc = DB_NextRefCursor(cur->dbCurs, cur->savedDbCurs);
  if (rc == E_IM901) {
    AgentCursor_DropRefCursorResult(cur);
    ColDescFree(cur->cols, cur->colCount);
    cur->cols = nullptr;
    cur->colCount = 0;
    return rc;
  }
  if (rc) return rc;
  cur->state &= static_cast<uint16_t>(~CURS_NO_MORE_ROWS);
  cur->state |= CURS_EXECUTED | CURS_DESCRIBED | CURS_RESULT_OPEN;
  cur->rowsFetched = 0;
  return 0;
}

}  // namespace

int32_t AgentCursor_ProcBind(AgentCursor *cur) {
  const uint32_t inputs = static_cast<uint32_t>(cur->req.markerCount) + static_cast<uint32_t>(cur->req.inOutCount);
  const uint32_t outs = CountKind(cur, 'O', 'B');
  const uint32_t columns = cur->params ? cur->params->columns : 0;
  // Rows left from an earlier execution do not count when the call takes no input.
  const bool paramsFit = inputs == 0 || columns == inputs;
  // The outputs need a record of each marker: fewer would leave markers
  // without a buffer the application reads.
  const bool infoFits = outs == 0 || cur->paramInfoCount >= cur->parCount;
  if (!paramsFit || !infoFits) {
    LOG(LOG_WARNING, "execute without prior parameters set");
    ErrList_PushCode(&cur->errs, E_07001);
    return E_07001;
  }
  return DB_ProcBindParams(cur->dbCurs);
}

int32_t AgentCursor_ProcExecute(AgentCursor *cur) {
  DB_Curs *c = cur->dbCurs;
  AgentConn *conn = cur->conn;
  int32_t rc = DB_ProcPrepare(c);
  if (rc) return rc;
  if ((rc = AgentCursor_ProcBind(cur)) != 0) {
    DB_Curs_FreeBuffers(c);
    return rc;
  }
  const bool global = xaw_InGlobalTxn(conn->xaWorker) != 0;
  if (!global && !conn->autocommit && (rc = AgentConn_TxnControl(conn, TXN_BEGIN)) != 0) return rc;
  // A block commits its own work in autocommit mode; in a global
  // transaction the transaction manager decides.
  rc = DB_ProcExecute(c, !global && conn->autocommit ? 1 : 0);
  if (rc) return rc;
  cur->state |= CURS_EXECUTED;
  const uint16_t results = DB_RefCursorCount(c);
  if (results > 0 || CountKind(cur, 'O', 'B') > 0) cur->state |= CURS_RESULT_OPEN;
  // Without a result set the output values are there to fetch.
  cur->state |= CURS_NO_MORE_ROWS;
  if (results == 0) return E_IM906;
  rc = NextResult(cur);
  if (rc == E_IM901) return E_IM906;
  if (rc) return rc;
  return c->execWarning ? E_IM902 : 0;
}

int32_t AgentCursor_ProcMoreResults(AgentCursor *cur) {
  DB_Curs *proc = cur->savedDbCurs ? cur->savedDbCurs : cur->dbCurs;
  if (!cur->savedDbCurs && proc->nextRefCursor >= proc->refCursorCount) return E_IM901;
  int32_t rc = NextResult(cur);
  if (rc != E_IM901) return rc;
  // Past the last REF CURSOR: the output values come next, when there are any.
  cur->state |= CURS_EXECUTED | CURS_NO_MORE_ROWS;
  return CountKind(cur, 'O', 'B') > 0 && cur->saved ? E_IM906 : E_IM901;
}

int32_t ProcOutDatasetMerge(AgentCursor *cur, Dataset *params, Dataset *out, Dataset **result) {
  *result = nullptr;
  const uint32_t outs = CountKind(cur, 'O', 'B');
  auto *m = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!m) return E_S1001;
  auto fail = [&](int32_t rc) {
    DatasetFree(m);
    free(m);
    return rc;
  };
  if (int rc = DatasetInit(m, static_cast<uint16_t>(outs))) return fail(rc);
  m->capacity = out ? out->capacity : 1;
  m->rows = out ? out->rows : 1;
  uint16_t o = 0, in = 0;
  for (uint16_t j = 0; j < cur->parCount; ++j) {
    const char k = cur->pars[j].name[0] == '*' ? cur->pars[j].name[1] : 'I';
    if (k == 'O') {
      if (!out || o >= out->columns) return fail(E_S1000);
      // The column changes owner: the output Dataset gives it up.
      m->cols[m->columns++] = out->cols[o];
      out->cols[o] = DatasetCol{};
      ++o;
    } else if (k == 'B') {
      if (!params || in >= params->columns) return fail(E_S1000);
      const DatasetCol &src = params->cols[in];
      DatasetCol copy{src.type, src.size, nullptr, nullptr};
      if (int rc = DatasetColAlloc(&copy, m->capacity)) return fail(rc);
      m->cols[m->columns++] = copy;
      const int32_t rows = m->rows < params->rows ? m->rows : params->rows;
      for (int32_t r = 0; r < rows; ++r) {
        m->cols[m->columns - 1].indicators[r] = src.indicators[r];
        const unsigned char *from = src.values + static_cast<size_t>(r) * src.size;
        unsigned char *to = copy.values + static_cast<size_t>(r) * copy.size;
        if (src.type == VT_LONGCHAR || src.type == VT_LONGBINARY || src.type == VT_LONGWCHAR) {
          LongValue v;
          memcpy(&v, from, sizeof v);
          const size_t bytes = static_cast<size_t>(v.length) * (src.type == VT_LONGWCHAR ? 2 : 1);
          LongValue dup{v.length, nullptr};
          if (v.buffer) {
            dup.buffer = malloc(bytes ? bytes : 1);
            if (!dup.buffer) return fail(E_S1001);
            memcpy(dup.buffer, v.buffer, bytes);
          }
          memcpy(to, &dup, sizeof dup);
        } else {
          memcpy(to, from, src.size);
        }
      }
      ++o;
      ++in;
    } else {
      ++in;
    }
  }
  *result = m;
  return 0;
}
