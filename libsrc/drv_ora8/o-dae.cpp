// Data at execution in the agent: parameter cells the front end marked with
// indicator -2 are asked for one after the other (DRV_ParamData), their
// pieces collected (DRV_PutData), and once every cell is served the values
// are merged into the parameter Dataset and the statement runs. Also the
// EMPTY_STRING_ISNT_NULL pass that sends empty parameter strings as one
// blank, which Oracle would otherwise store as NULL.
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-exec.h"
#include "drv_ora8/o-exec.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFEu;  // -2: no cell

// The first marked cell after (row, col), row by row; (-1, -1) starts at
// the beginning. False when there is none.
bool NextMarked(const Dataset *ds, uint32_t row, uint32_t col, uint32_t *outRow, uint32_t *outCol) {
  if (!ds) return false;
  uint32_t r = row == 0xFFFFFFFFu ? 0 : row;
  uint32_t c = row == 0xFFFFFFFFu ? 0 : col + 1;
  for (; r < static_cast<uint32_t>(ds->rows); ++r, c = 0)
    for (; c < ds->columns; ++c)
      if (ds->cols[c].indicators[r] == kIndDataAtExec) {
        *outRow = r;
        *outCol = c;
        return true;
      }
  return false;
}

bool IsVariableType(int32_t t, bool wide) {
  return t == VT_CHAR || (t >= VT_BINARY && t <= VT_VARBIN4) || (wide && t >= VT_WCHAR && t <= VT_WVARCHAR4);
}

// Bytes reserved for a collected value of n bytes: powers of two from 4 KiB,
// so that a value sent in many small pieces is copied O(n) times in all.
size_t Room(size_t n) {
  size_t cap = 4096;
  while (cap < n) cap *= 2;
  return cap;
}

// One buffer per column of the Dataset, each with a slot per row.
int32_t AllocBufs(const Dataset *ds, DaeColBuf **out, uint32_t *count) {
  auto *bufs = static_cast<DaeColBuf *>(calloc(ds->columns ? ds->columns : 1, sizeof(DaeColBuf)));
  if (!bufs) return E_S1001;
  const size_t rows = ds->rows > 0 ? static_cast<size_t>(ds->rows) : 1;
  for (uint16_t c = 0; c < ds->columns; ++c) {
    DaeColBuf &b = bufs[c];
    b.valueType = ds->cols[c].type;
    b.rows = ds->rows;
    b.pieces = static_cast<void **>(calloc(rows, sizeof(void *)));
    b.lengths = static_cast<uint32_t *>(calloc(rows, sizeof(uint32_t)));
    b.indicators = static_cast<int16_t *>(calloc(rows, sizeof(int16_t)));
    if (!b.pieces || !b.lengths || !b.indicators) {
      FreeDaeBufs(bufs, static_cast<uint32_t>(c) + 1);
      return E_S1001;
    }
  }
  *out = bufs;
  *count = ds->columns;
  return 0;
}

void PutLen(unsigned char *e, uint32_t v, int bytes) { memcpy(e, &v, static_cast<size_t>(bytes)); }

// Bytes before the value in an element of the type (its length prefix).
int PrefixOf(int32_t t) {
  switch (t) {
    case VT_VARCHAR1: case VT_VARBIN1: return 1;
    case VT_VARCHAR2: case VT_VARBIN2: return 2;
    case VT_VARCHAR4: case VT_VARBIN4: case VT_WVARCHAR4: return 4;
    default: return 0;
  }
}

// Terminator bytes after the value (text types keep room for one).
int TermOf(int32_t t) {
  switch (t) {
    case VT_CHAR: case VT_STRING: return 1;
    case VT_WCHAR: case VT_WSTRING: return 2;
    default: return 0;
  }
}

// Lays out a column anew so that each collected value fits its element
// whole, and puts the values in.
int32_t ReplaceColumn(Dataset *ds, uint16_t ci, DaeColBuf &b) {
  DatasetCol &col = ds->cols[ci];
  const int32_t t = col.type;
  uint64_t longest = 0;
  for (int32_t r = 0; r < ds->rows; ++r)
    if (col.indicators[r] == kIndDataAtExec && b.indicators[r] == 0 && b.lengths[r] > longest) longest = b.lengths[r];
  const int prefix = PrefixOf(t);
  if ((prefix == 1 && longest > 0xFF) || (prefix == 2 && longest > 0xFFFF)) return E_S1000;
  uint64_t need = longest + static_cast<uint64_t>(prefix) + static_cast<uint64_t>(TermOf(t));
  if (need < col.size) need = col.size;
  if (need > 0xFFFFFFF0u) return E_S1001;
  DatasetCol fresh{t, static_cast<uint32_t>(need), nullptr, nullptr};
  if (int rc = DatasetColAlloc(&fresh, ds->capacity)) return rc;
  for (int32_t r = 0; r < ds->rows; ++r) {
    unsigned char *e = fresh.values + static_cast<size_t>(r) * fresh.size;
    if (col.indicators[r] != kIndDataAtExec) {
      fresh.indicators[r] = col.indicators[r];
      if (col.indicators[r] != kIndNull) memcpy(e, col.values + static_cast<size_t>(r) * col.size, col.size);
      continue;
    }
    fresh.indicators[r] = b.indicators[r];
    if (b.indicators[r] != 0) continue;
    const uint32_t len = b.lengths[r];
    if (prefix) PutLen(e, t == VT_WVARCHAR4 ? len / 2 : len, prefix);
    if (len) memcpy(e + prefix, b.pieces[r], len);
  }
  // The elements were copied whole: the old column's storage goes.
  free(col.values);
  free(col.indicators);
  col = fresh;
  return 0;
}

int32_t MergeColumn(Dataset *ds, uint16_t ci, DaeColBuf &b, bool wide) {
  DatasetCol &col = ds->cols[ci];
  bool marked = false;
  for (int32_t r = 0; r < ds->rows && !marked; ++r) marked = col.indicators[r] == kIndDataAtExec;
  if (!marked) return 0;
  // Raw bytes go into any column; text into any narrow text column (a
  // wide column narrowed for an agent without wide mode becomes one);
  // other pieces into a column of their type.
  const int32_t ct = col.type;
  const bool narrowText =
      ct == VT_CHAR || ct == VT_STRING || ct == VT_LONGCHAR || (ct >= VT_VARCHAR1 && ct <= VT_VARCHAR4);
  for (int32_t r = 0; r < ds->rows; ++r) {
    if (col.indicators[r] != kIndDataAtExec || b.indicators[r] != 0 || !b.pieces[r]) continue;
    if (b.valueType != ct && b.valueType != VT_BINARY && !(b.valueType == VT_CHAR && narrowText)) {
      LOG(LOG_ERR, "DAEDatasetMerge: Type mismatch.");
      return E_S1000;
    }
  }
  const int32_t t = col.type;
  if (t == VT_LONGCHAR || t == VT_LONGBINARY || (wide && t == VT_LONGWCHAR)) {
    for (int32_t r = 0; r < ds->rows; ++r) {
      if (col.indicators[r] != kIndDataAtExec) continue;
      col.indicators[r] = b.indicators[r];
      if (b.indicators[r] != 0) continue;
      LongValue lv{};
      memcpy(&lv, col.values + static_cast<size_t>(r) * col.size, sizeof lv);
      free(lv.buffer);
      lv.buffer = b.pieces[r];
      lv.length = t == VT_LONGWCHAR ? b.lengths[r] / 2 : b.lengths[r];
      b.pieces[r] = nullptr;
      memcpy(col.values + static_cast<size_t>(r) * col.size, &lv, sizeof lv);
    }
    return 0;
  }
  if (IsVariableType(t, wide)) return ReplaceColumn(ds, ci, b);
  for (int32_t r = 0; r < ds->rows; ++r) {
    if (col.indicators[r] != kIndDataAtExec) continue;
    col.indicators[r] = b.indicators[r];
    if (b.indicators[r] != 0 || !b.pieces[r]) continue;
    memcpy(col.values + static_cast<size_t>(r) * col.size, b.pieces[r], b.lengths[r] < col.size ? b.lengths[r] : col.size);
  }
  return 0;
}

}  // namespace

int32_t DAEDatasetMerge(AgentCursor *cur, Dataset *ds, DaeColBuf *bufs) {
  if (!ds || !bufs) return E_S1000;
  const bool wide = cur->conn && cur->conn->wide;
  const uint32_t count = bufs == cur->daeSetPos ? cur->daeSetPosCount : cur->daeExecCount;
  for (uint16_t c = 0; c < ds->columns && c < count; ++c)
    if (int32_t rc = MergeColumn(ds, c, bufs[c], wide)) return rc;
  return 0;
}

void DAE_ParamBlankPass(const AgentConn *conn, Dataset *ds) {
  if (!conn || !conn->opts.emptyStringIsntNull || !ds) return;
  for (uint16_t c = 0; c < ds->columns; ++c) {
    DatasetCol &col = ds->cols[c];
    const int32_t t = col.type;
    const bool wideType = t >= VT_WCHAR && t <= VT_WVARCHAR4;
    if (wideType && !conn->wide) continue;
    if (!(t == VT_CHAR || t == VT_STRING || t == VT_LONGCHAR || (t >= VT_VARCHAR1 && t <= VT_VARCHAR4) || wideType))
      continue;
    // Room for one character, and for a fixed one its terminator.
    if (DatasetColWiden(ds, c, wideType ? 4 : 2, 1) != 0) continue;
    const int32_t nt = col.type;
    for (int32_t r = 0; r < ds->rows; ++r) {
      if (col.indicators[r] != 0) continue;
      unsigned char *e = col.values + static_cast<size_t>(r) * col.size;
      switch (nt) {
        case VT_CHAR:
        case VT_STRING:
          if (e[0] == 0) e[0] = ' ', e[1] = 0;
          break;
        case VT_VARCHAR1:
          if (e[0] == 0) e[0] = 1, e[1] = ' ';
          break;
        case VT_VARCHAR2:
        case VT_VARCHAR4:
        case VT_WVARCHAR4: {
          const int prefix = nt == VT_VARCHAR2 ? 2 : 4;
          uint32_t len = 0;
          memcpy(&len, e, static_cast<size_t>(prefix));
          if (len != 0) break;
          PutLen(e, 1, prefix);
          if (nt == VT_WVARCHAR4)
            e[prefix] = ' ', e[prefix + 1] = 0;
          else
            e[prefix] = ' ';
          break;
        }
        case VT_WCHAR:
        case VT_WSTRING:
          if (e[0] == 0 && e[1] == 0) e[0] = ' ', e[1] = 0, e[2] = 0, e[3] = 0;
          break;
        case VT_LONGCHAR:
        case VT_LONGWCHAR: {
          LongValue lv{};
          memcpy(&lv, e, sizeof lv);
          if (lv.length != 0) break;
          void *blank = malloc(2);
          if (!blank) break;
          memcpy(blank, nt == VT_LONGWCHAR ? "\x20\x00" : " ", nt == VT_LONGWCHAR ? 2 : 1);
          free(lv.buffer);
          lv.buffer = blank;
          lv.length = 1;
          memcpy(e, &lv, sizeof lv);
          break;
        }
        default:
          break;
      }
    }
  }
}

namespace {

// Buffers for the Dataset's cells and the first marked cell (row, col) to
// hand out; the state collecting for Execute (1) or SetPos (2).
int32_t BeginCollecting(AgentCursor *cur, const Dataset *ds, uint32_t row, uint32_t col, DaeColBuf **bufs,
                        uint32_t *count, int32_t state) {
  if (int32_t rc = AllocBufs(ds, bufs, count)) return rc;
  cur->daeBufRows = static_cast<uint32_t>(ds->rows);
  cur->daeCurRow = cur->daeCurCol = 0xFFFFFFFFu;
  cur->daeNextRow = row;
  cur->daeNextCol = col;
  cur->daePieces = 0;
  cur->daeState = state;
  return E_IM922;
}

}  // namespace

int32_t DAE_StartExecute(AgentCursor *cur) {
  FreeDaeBufs(cur->daeExec, cur->daeExecCount);
  cur->daeExec = nullptr;
  cur->daeExecCount = 0;
  cur->daeBufRows = 0;
  cur->daeState = 0;
  Dataset *ds = cur->params;
  uint32_t row = 0, col = 0;
  if (ds && NextMarked(ds, 0xFFFFFFFFu, 0xFFFFFFFFu, &row, &col))
    return BeginCollecting(cur, ds, row, col, &cur->daeExec, &cur->daeExecCount, 1);
  DAE_ParamBlankPass(cur->conn, ds);
  return 0;
}

// The cursor layer's pending update or insert: its values Dataset holds the
// cells to collect, and the last ParamData resumes the operation.
int32_t DAE_StartSetPos(DrvHandle h) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  FreeDaeBufs(cur->daeSetPos, cur->daeSetPosCount);
  cur->daeSetPos = nullptr;
  cur->daeSetPosCount = 0;
  cur->daeBufRows = 0;
  Dataset *ds = cur->scs.setPosValues;
  const uint16_t op = cur->scs.setPosOp;
  uint32_t row = 0, col = 0;
  if ((op != 2 && op != 4) || !ds || !NextMarked(ds, 0xFFFFFFFFu, 0xFFFFFFFFu, &row, &col)) return 0;
  return BeginCollecting(cur, ds, row, col, &cur->daeSetPos, &cur->daeSetPosCount, 2);
}

int32_t ORA_ParamData(DrvHandle h, int32_t *column, int32_t *row, int16_t **status, int32_t *count) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  if (status) *status = nullptr;
  int32_t rc = 0;
  switch (cur->daeState) {
    case 1:
    case 2: {
      const bool setPos = cur->daeState == 2;
      cur->daeCurRow = cur->daeNextRow;
      cur->daeCurCol = cur->daeNextCol;
      cur->daePieces = 0;
      uint32_t r = 0, c = 0;
      if (NextMarked(setPos ? cur->scs.setPosValues : cur->params, cur->daeCurRow, cur->daeCurCol, &r, &c)) {
        cur->daeNextRow = r;
        cur->daeNextCol = c;
      } else {
        cur->daeNextRow = cur->daeNextCol = kNone;
        cur->daeState = setPos ? 5 : 4;
      }
      rc = E_IM922;
      break;
    }
    case 5:
      // Every value is in: merged into the layer's values, then the layer
      // carries the operation on.
      cur->daeCurRow = cur->daeCurCol = kNone;
      cur->daeState = 0;
      rc = DAEDatasetMerge(cur, cur->scs.setPosValues, cur->daeSetPos);
      FreeDaeBufs(cur->daeSetPos, cur->daeSetPosCount);
      cur->daeSetPos = nullptr;
      cur->daeSetPosCount = 0;
      if (rc == 0) rc = scs_SetPosRun(&cur->scs, status, count);
      break;
    case 4:
      // Every value is in: merged, the empty strings blank-padded like
      // values bound whole, then the statement runs once.
      cur->daeCurRow = cur->daeCurCol = kNone;
      cur->daeState = 0;
      rc = DAEDatasetMerge(cur, cur->params, cur->daeExec);
      FreeDaeBufs(cur->daeExec, cur->daeExecCount);
      cur->daeExec = nullptr;
      cur->daeExecCount = 0;
      if (rc == 0) {
        DAE_ParamBlankPass(cur->conn, cur->params);
        rc = AgentCursor_Run(cur);
      }
      break;
    default:
      return E_S1010;
  }
  if (column) *column = static_cast<int32_t>(cur->daeCurCol);
  if (row) *row = static_cast<int32_t>(cur->daeCurRow);
  return rc;
}

int32_t ORA_PutData(DrvHandle h, uint32_t valueType, int16_t indicator, const void *data, int32_t length) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  const bool setPos = cur->daeState == 2 || cur->daeState == 5;
  if (cur->daeState != 1 && cur->daeState != 4 && !setPos) return E_S1010;
  DaeColBuf *bufs = setPos ? cur->daeSetPos : cur->daeExec;
  const uint32_t count = setPos ? cur->daeSetPosCount : cur->daeExecCount;
  if (cur->daeCurRow == 0xFFFFFFFFu || cur->daeCurRow == kNone || cur->daeCurCol >= count ||
      cur->daeCurRow >= cur->daeBufRows)
    return E_S1010;
  if (length < 0 || (length > 0 && !data)) return E_S1009;
  const bool wide = cur->conn && cur->conn->wide;
  const auto type = static_cast<int32_t>(valueType);
  if (++cur->daePieces > 1 && !IsVariableType(type, wide)) {
    // A value of fixed length comes whole.
    LOG(LOG_ERR, "ORA_PutData: Called more than once for a fixed length type.");
    return E_S1019;
  }
  DaeColBuf &b = bufs[cur->daeCurCol];
  const uint32_t r = cur->daeCurRow;
  if (indicator == kIndNull) {
    free(b.pieces[r]);
    b.pieces[r] = nullptr;
    b.lengths[r] = 0;
    b.indicators[r] = kIndNull;
    return 0;
  }
  if (b.pieces[r] && b.indicators[r] == 0) {
    if (b.valueType != type) return E_S1000;
    const size_t have = b.lengths[r];
    const size_t total = have + static_cast<size_t>(length);
    if (total > 0xFFFFFFF0u) return E_S1001;
    if (Room(total) > Room(have)) {
      void *grown = realloc(b.pieces[r], Room(total));
      if (!grown) return E_S1001;
      b.pieces[r] = grown;
    }
    if (length) memcpy(static_cast<char *>(b.pieces[r]) + have, data, static_cast<size_t>(length));
    b.lengths[r] = static_cast<uint32_t>(total);
    return 0;
  }
  free(b.pieces[r]);
  b.pieces[r] = nullptr;
  b.valueType = type;
  b.indicators[r] = 0;
  b.lengths[r] = 0;
  if (length > 0) {
    void *p = malloc(Room(static_cast<size_t>(length)));
    if (!p) return E_S1001;
    memcpy(p, data, static_cast<size_t>(length));
    b.pieces[r] = p;
    b.lengths[r] = static_cast<uint32_t>(length);
  } else {
    // An empty first piece: the value is empty unless more comes.
    b.pieces[r] = malloc(Room(0));
    if (!b.pieces[r]) return E_S1001;
  }
  return 0;
}
