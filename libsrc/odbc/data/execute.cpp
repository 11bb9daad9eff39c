// Statement execution: the parameter Dataset builders, sending values and
// parameter information to the agent, and completing an execute.
#include "odbc/data/execute.h"
#include "odbc/data/setpos.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cassert>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>

#include "odbc/apirec.h"
#include "odbc/connattr.h"
#include "odbc/data/appval.h"
#include "odbc/data/ctype.h"
#include "odbc/data/getdata.h"
#include "odbc/data/services.h"
#include "odbc/dataset.h"
#include "odbc/desc.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"
#include "util/utf.h"

namespace {

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

// ---- Reading the application's cells ---------------------------------------------

// How the application's arrays are laid out for this execute.
struct BindCtx {
  int64_t offset;      // the APD's bind offset, added once to every pointer
  int64_t bindType;    // row size of row-wise binding, 0 column-wise
  uint64_t size;       // paramset rows
  const uint16_t *ops; // SQL_ATTR_PARAM_OPERATION_PTR, or none
};

BindCtx CtxOf(const Stmt *stmt) {
  BindCtx c{};
  if (const Desc *apd = stmt->apd) {
    if (apd->bindOffset) memcpy(&c.offset, apd->bindOffset, sizeof c.offset);
    c.bindType = apd->bindType;
    c.ops = apd->arrayStatus;
  }
  c.size = stmt->paramsetSize ? stmt->paramsetSize : 1;
  return c;
}

bool Ignored(const BindCtx &c, uint64_t row) { return c.ops && c.ops[row] == SQL_PARAM_IGNORE; }

// One cell of a bound parameter: its length and indicator values and the
// value's address.
struct Cell {
  int64_t length;
  int64_t indicator;
  const unsigned char *value;
};

Cell ReadCell(const BindCtx &c, const ParamBinding &b, uint64_t row, int64_t elemLen) {
  Cell cell{};
  const int64_t lenStride = c.bindType ? c.bindType : static_cast<int64_t>(sizeof(int64_t));
  const int64_t valStride = c.bindType ? c.bindType : elemLen;
  const int64_t r = static_cast<int64_t>(row);
  // Without a length pointer the length is the C type's size: -3 (SQL_NTS)
  // for the variable-length types.
  cell.length = b.lengthPtr ? LoadAppLength(AppBufferAt(b.lengthPtr, c.offset + r * lenStride)) : b.elemSize;
  cell.indicator = b.indicatorPtr ? LoadAppLength(AppBufferAt(b.indicatorPtr, c.offset + r * lenStride)) : 0;
  cell.value = static_cast<const unsigned char *>(AppBufferAt(b.data, c.offset + r * valStride));
  return cell;
}

bool IsNull(const Cell &cell) { return cell.indicator == SQL_NULL_DATA; }

// Length of a NUL-terminated value; within an element of a column-wise
// array it cannot run past the element.
int64_t MeasureNts(const ParamBinding &b, const Cell &cell, const BindCtx &c, int64_t elemLen) {
  const bool bounded = c.bindType == 0 && c.size > 1 && elemLen > 0;
  if (b.cType == SQL_C_WCHAR) {
    int64_t units = 0;
    const int64_t limit = bounded ? elemLen / 2 : INT64_MAX;
    for (const unsigned char *p = cell.value; units < limit && (p[0] | p[1]) != 0; p += 2) ++units;
    return units * 2;
  }
  const char *s = reinterpret_cast<const char *>(cell.value);
  return static_cast<int64_t>(bounded ? strnlen(s, static_cast<size_t>(elemLen)) : strlen(s));
}

const void *PieceOf(const ParamBinding &b, uint64_t row, int64_t *len) {
  if (!b.pieces || row >= static_cast<uint64_t>(b.pieceCount)) {
    *len = 0;
    return nullptr;
  }
  *len = b.pieceLengths ? b.pieceLengths[row] : 0;
  return b.pieces[row];
}

// The octet length of a cell's value; -1 for a length the C type cannot
// have (a negative one other than NULL, SQL_NTS and data at execution).
int64_t CellLength(const ParamBinding &b, const Cell &cell, uint64_t row, const BindCtx &c, int64_t elemLen,
                   bool agent) {
  if (IsNull(cell)) return 0;
  if (IsDataAtExecLength(cell.length)) {
    if (agent) return 0;
    int64_t len = 0;
    PieceOf(b, row, &len);
    return len < 0 ? 0 : len;  // SQL_NULL_DATA put
  }
  if (!cell.value) return 0;
  if (!IsVariableCType(b.cType)) return b.elemSize;
  if (cell.length == SQL_NTS) return MeasureNts(b, cell, c, elemLen);
  return cell.length >= 0 ? cell.length : -1;
}

int64_t MaxLength(Stmt *stmt, const ParamBinding *b, uint64_t count, int64_t elemLen, bool agent) {
  BindCtx c = CtxOf(stmt);
  int64_t max = 0;
  for (uint64_t r = 0; r < count; ++r) {
    if (Ignored(c, r)) continue;
    int64_t len = CellLength(*b, ReadCell(c, *b, r, elemLen), r, c, elemLen, agent);
    if (len > max) max = len;
  }
  return max;
}

// ---- Classes ------------------------------------------------------------------------

void RecomputeClasses(Stmt *stmt) {
  stmt->inCount = stmt->outCount = stmt->inOutCount = 0;
  for (uint16_t i = 0; i < stmt->paramCount; ++i) {
    switch (ParamClassOf(stmt, i)) {
      case PARAM_CLASS_OUT:
        ++stmt->outCount;
        break;
      case PARAM_CLASS_INOUT:
        ++stmt->inOutCount;
        break;
      default:
        ++stmt->inCount;
        break;
    }
  }
}

uint16_t BoundCount(const Stmt *stmt) {
  return stmt->paramCount < stmt->paramCapacity ? stmt->paramCount : stmt->paramCapacity;
}

// Every parameter of the statement has a binding with something to read
// (an output parameter of the agent path may have nothing).
int CheckBindings(const Stmt *stmt, bool agent) {
  if (stmt->paramCount > stmt->paramCapacity) return E_07001;
  for (uint16_t i = 0; i < stmt->paramCount; ++i) {
    const ParamBinding &b = stmt->params[i];
    if (b.number == 0) return E_07001;  // never bound
    if (!b.data && !b.lengthPtr && !b.indicatorPtr) {
      if (!agent) return E_07001;
      if (b.paramType != SQL_PARAM_OUTPUT) return E_S1009;
    }
  }
  return 0;
}

// Without an agent that collects them, data at execution values are
// gathered here: the next cell at or after the scan position (row, then
// parameter) that asks for one. Nothing left: false, the scan back at the
// start.
bool DAEFindParam(Stmt *stmt) {
  const BindCtx c = CtxOf(stmt);
  const uint16_t count = BoundCount(stmt);
  for (uint64_t r = static_cast<uint64_t>(stmt->daeScanRow); r < c.size; ++r) {
    const uint16_t from = r == static_cast<uint64_t>(stmt->daeScanRow) ? stmt->daeScanIndex : 0;
    if (Ignored(c, r)) continue;  // an ignored row does not run
    for (uint16_t i = from; i < count; ++i) {
      if (ParamClassOf(stmt, i) == PARAM_CLASS_OUT) continue;
      const ParamBinding &b = stmt->params[i];
      if (!b.lengthPtr) continue;
      const Cell cell = ReadCell(c, b, r, ParamBufferLength(&b));
      if (IsNull(cell) || !IsDataAtExecLength(cell.length)) continue;
      stmt->daeScanRow = static_cast<int32_t>(r);
      stmt->daeScanIndex = i;
      return true;
    }
  }
  stmt->daeScanRow = 0;
  stmt->daeScanIndex = 0;
  return false;
}

// ---- Column plans --------------------------------------------------------------------

enum Fill : uint8_t {
  FILL_FIXED,       // the C type's bytes
  FILL_CHAR,        // text as given
  FILL_CHAR_ESC,    // text; date/time escapes become ISO text
  FILL_WCHAR,
  FILL_WCHAR_ESC,
  FILL_ESC,         // escapes as date/time structures
  FILL_ESCW,
  FILL_HEX,         // hexadecimal text decoded into a fixed binary element
  FILL_HEX_PREFIX,  // hexadecimal text decoded after a 4-byte length
  FILL_BINARY,      // bytes after a 4-byte length
  FILL_NUMERIC,
  FILL_SBIGINT,
  FILL_UBIGINT,
  FILL_GUID,
  FILL_TIME_TEXT,   // a time of day as "hh:mm:ss"
};

struct Plan {
  const ParamBinding *b;
  int64_t elemLen;  // stride of column-wise binding
  Fill fill;
  int32_t type;
  uint32_t size;
};

bool IsBinarySql(int16_t t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }

bool IsCharSql(int16_t t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
         t == SQL_WLONGVARCHAR;
}

constexpr uint32_t kTimeTextWidth = 8;  // hh:mm:ss

bool IsDateTimeSql(int16_t t) {
  switch (t) {
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return true;
    default:
      return false;
  }
}

// Room for an escape rewritten as ISO text (EscapeToText writes at most 40).
constexpr int64_t kEscapeTextRoom = 40;

EscapeValue EscapeOf(const ParamBinding &b, const unsigned char *value, int64_t len) {
  if (len <= 0 || !value) return EscapeValue{};
  if (b.cType == SQL_C_WCHAR) {
    if (len < 2 || value[0] != '{' || value[1] != 0) return EscapeValue{};
    return ParseEscapeW(value, static_cast<size_t>(len), b.sqlType);
  }
  if (value[0] != '{') return EscapeValue{};
  return ParseEscape(reinterpret_cast<const char *>(value), static_cast<size_t>(len), b.sqlType);
}

// The value type a NULL (or an empty array) of a character parameter of a
// date/time SQL type is announced with.
int32_t NullDateTimeType(int16_t cType, int16_t sqlType) {
  switch (sqlType) {
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return VT_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return cType == SQL_C_WCHAR ? VT_TIMESTAMP : VT_TIME;
    default:
      return VT_TIMESTAMP;
  }
}

// Settles a text column of a date/time SQL type for the whole array: true
// with a structure column when every value present is an escape of one kind
// (or none is present); false for a text column, whose fill rewrites
// escapes as ISO text when there are any.
bool PlanDateTimeStruct(const BindCtx &c, Plan *p) {
  const ParamBinding &b = *p->b;
  const bool wide = b.cType == SQL_C_WCHAR;
  int64_t escapes = 0, texts = 0;
  int32_t kind = 0;
  bool uniform = true;
  for (uint64_t r = 0; r < c.size; ++r) {
    if (Ignored(c, r)) continue;
    const Cell cell = ReadCell(c, b, r, p->elemLen);
    if (IsNull(cell) || IsDataAtExecLength(cell.length) || !cell.value) continue;
    const EscapeValue v = EscapeOf(b, cell.value, CellLength(b, cell, r, c, p->elemLen, true));
    if (v.kind == 0) {
      ++texts;
      continue;
    }
    ++escapes;
    if (kind == 0) kind = v.kind;
    uniform = uniform && kind == v.kind;
  }
  if (texts == 0 && uniform && (escapes > 0 || b.sqlType != 0)) {
    p->type = escapes ? kind : NullDateTimeType(b.cType, b.sqlType);
    p->size = p->type == VT_TIMESTAMP ? 16 : 6;
    p->fill = wide ? FILL_ESCW : FILL_ESC;
    return true;
  }
  if (escapes) p->fill = wide ? FILL_WCHAR_ESC : FILL_CHAR_ESC;
  return false;
}

// Works out the value type and element size of one parameter's column.
int PlanColumn(Stmt *stmt, const BindCtx &c, Plan *p, bool agent) {
  const ParamBinding &b = *p->b;
  const bool paramOp = stmt->conn->cn_hasParamOp != 0;
  p->elemLen = ParamBufferLength(&b);
  p->fill = FILL_FIXED;
  uint32_t width = 0;
  p->type = CTypeToValueType(b.cType, &width);
  p->size = width;

  int64_t maxLen = 0;
  if (IsVariableCType(b.cType)) {
    // In a column-wise array every value lies within its element: a
    // negative element length, or a value longer than its element, would
    // read outside the application's array.
    const bool strided = c.bindType == 0 && c.size > 1;
    if (strided && p->elemLen < 0) return E_S1090;
    for (uint64_t r = 0; r < c.size; ++r) {
      if (Ignored(c, r)) continue;
      const Cell cell = ReadCell(c, b, r, p->elemLen);
      int64_t len = CellLength(b, cell, r, c, p->elemLen, agent);
      if (len < 0) return E_S1090;
      if (strided && len > p->elemLen && !IsDataAtExecLength(cell.length)) return E_S1090;
      if (len > maxLen) maxLen = len;
    }
    if (maxLen > static_cast<int64_t>(UINT32_MAX) - 128) return E_S1001;
  }

  switch (b.cType) {
    case SQL_C_NUMERIC:
      p->fill = FILL_NUMERIC;
      return 0;
    case SQL_C_SBIGINT:
      p->fill = FILL_SBIGINT;
      return 0;
    case SQL_C_UBIGINT:
      p->fill = FILL_UBIGINT;
      return 0;
    case SQL_C_GUID:
      p->fill = FILL_GUID;
      return 0;
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      // A time for a character column is its text, as ODBC converts it;
      // for a date/time column the agent puts it on the current day.
      if (IsCharSql(b.sqlType)) {
        p->type = VT_CHAR;
        p->size = kTimeTextWidth;
        p->fill = FILL_TIME_TEXT;
      }
      return 0;
    case SQL_C_BINARY:
      p->fill = FILL_BINARY;
      p->type = VT_VARBIN4;
      p->size = static_cast<uint32_t>(maxLen + 8);
      return 0;
    case SQL_C_WCHAR:
    case SQL_C_CHAR:
      break;
    default:
      if (p->size == 0) {
        // A C type without a fixed size that the binding let through
        // (descriptor paths): sent as text.
        p->type = VT_CHAR;
        p->fill = FILL_CHAR;
        p->size = static_cast<uint32_t>(paramOp ? maxLen + 1 : (maxLen ? maxLen : 1));
      }
      return 0;
  }

  const bool wide = b.cType == SQL_C_WCHAR;
  if (!wide && IsBinarySql(b.sqlType)) {
    if (stmt->paramsetSize < 2) {
      p->type = VT_BINARY;
      p->size = static_cast<uint32_t>(maxLen / 2);
      p->fill = FILL_HEX;
    } else {
      p->type = VT_VARBIN4;
      p->size = static_cast<uint32_t>(4 + (maxLen + 1) / 2);
      p->fill = FILL_HEX_PREFIX;
    }
    return 0;
  }
  p->fill = wide ? FILL_WCHAR : FILL_CHAR;
  if (wide) maxLen = (maxLen + 1) & ~int64_t{1};  // whole UTF-16 units
  if (IsDateTimeSql(b.sqlType) || b.sqlType == 0) {
    if (PlanDateTimeStruct(c, p)) return 0;
    const int64_t room = wide ? 2 * kEscapeTextRoom : kEscapeTextRoom;
    if ((p->fill == FILL_CHAR_ESC || p->fill == FILL_WCHAR_ESC) && maxLen < room) maxLen = room;
  }
  if (wide) {
    p->type = VT_WCHAR;
    p->size = static_cast<uint32_t>(paramOp ? maxLen + 2 : (maxLen ? maxLen : 2));
  } else {
    p->type = VT_CHAR;
    p->size = static_cast<uint32_t>(paramOp ? maxLen + 1 : (maxLen ? maxLen : 1));
  }
  return 0;
}

// ---- Filling cells -----------------------------------------------------------------------

void PutLe32(unsigned char *p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

size_t Clamp(int64_t len, uint32_t size) {
  return len < 0 ? 0 : static_cast<uint64_t>(len) > size ? size : static_cast<size_t>(len);
}

// Writes one present value into element e of the column. 0 or a code.
int FillValue(Stmt *stmt, const Plan &p, DatasetCol &col, unsigned char *e, const unsigned char *value,
              int64_t len) {
  const ParamBinding &b = *p.b;
  switch (p.fill) {
    case FILL_FIXED:
      memcpy(e, value, col.size);
      return 0;
    case FILL_CHAR:
    case FILL_WCHAR:
      memcpy(e, value, Clamp(len, col.size));
      return 0;
    case FILL_CHAR_ESC:
    case FILL_WCHAR_ESC: {
      const EscapeValue v = EscapeOf(b, value, len);
      if (v.kind == 0) {
        memcpy(e, value, Clamp(len, col.size));
        return 0;
      }
      char text[kEscapeTextRoom + 1];
      size_t n = EscapeToText(v, text, sizeof text);
      if (p.fill == FILL_CHAR_ESC) {
        memcpy(e, text, n < col.size ? n : col.size);
      } else {
        for (size_t i = 0; i < n && 2 * i + 1 < col.size; ++i) {
          e[2 * i] = static_cast<unsigned char>(text[i]);
          e[2 * i + 1] = 0;
        }
      }
      return 0;
    }
    case FILL_ESC:
    case FILL_ESCW: {
      const EscapeValue v = EscapeOf(b, value, len);
      // The plan saw every present value as an escape of the column's kind.
      if (v.kind != col.type) return E_S1000;
      memcpy(e, v.kind == VT_DATE ? static_cast<const void *>(&v.date)
                : v.kind == VT_TIME ? static_cast<const void *>(&v.time)
                                    : static_cast<const void *>(&v.timestamp),
             col.size);
      return 0;
    }
    case FILL_HEX:
      if (static_cast<uint64_t>(len) / 2 > col.size) return E_S1000;
      return HexToBinary(e, reinterpret_cast<const char *>(value), static_cast<size_t>(len));
    case FILL_HEX_PREFIX:
      if (static_cast<uint64_t>(len) / 2 + 4 > col.size) return E_S1000;
      PutLe32(e, static_cast<uint32_t>(len / 2));
      return HexToBinary(e + 4, reinterpret_cast<const char *>(value), static_cast<size_t>(len));
    case FILL_BINARY: {
      size_t n = Clamp(len, col.size - 8);
      PutLe32(e, static_cast<uint32_t>(n));
      memcpy(e + 4, value, n);
      return 0;
    }
    case FILL_NUMERIC: {
      SQL_NUMERIC_STRUCT num;
      memcpy(&num, value, sizeof num);
      char text[kNumericTextWidth];
      size_t n = NumericToText(text, &num);
      memcpy(e, text, n < col.size ? n : col.size);
      return 0;
    }
    case FILL_SBIGINT:
    case FILL_UBIGINT: {
      char text[kBigintTextWidth + 1];
      int n;
      if (p.fill == FILL_SBIGINT) {
        int64_t v;
        memcpy(&v, value, sizeof v);
        n = snprintf(text, sizeof text, "%" PRId64, v);
      } else {
        uint64_t v;
        memcpy(&v, value, sizeof v);
        n = snprintf(text, sizeof text, "%" PRIu64, v);
      }
      memcpy(e, text, static_cast<size_t>(n));
      // Without parameter arrays there is one row: the element is the text.
      if (!stmt->conn->cn_hasParamOp) col.size = static_cast<uint32_t>(n);
      return 0;
    }
    case FILL_GUID: {
      SQLGUID g;
      memcpy(&g, value, sizeof g);
      GUIDToChar(reinterpret_cast<char *>(e), &g);
      return 0;
    }
    case FILL_TIME_TEXT: {
      SQL_TIME_STRUCT t;
      memcpy(&t, value, sizeof t);
      char text[16];
      snprintf(text, sizeof text, "%02u:%02u:%02u", t.hour % 100u, t.minute % 100u, t.second % 100u);
      memcpy(e, text, kTimeTextWidth);
      return 0;
    }
  }
  return E_S1000;
}

int FillColumn(Stmt *stmt, const BindCtx &c, const Plan &p, DatasetCol &col, bool agent) {
  const ParamBinding &b = *p.b;
  int32_t k = 0;
  for (uint64_t r = 0; r < c.size; ++r) {
    if (Ignored(c, r)) continue;
    const int32_t row = k++;
    const Cell cell = ReadCell(c, b, r, p.elemLen);
    if (IsNull(cell)) continue;  // the indicator is NULL already
    const unsigned char *value = cell.value;
    int64_t len = 0;
    if (IsDataAtExecLength(cell.length)) {
      if (agent) {
        col.indicators[row] = kIndDataAtExec;
        continue;
      }
      value = static_cast<const unsigned char *>(PieceOf(b, r, &len));
      if (!value) {
        if (len == SQL_NULL_DATA) continue;  // NULL put: the indicator is NULL already
        // Nothing was put: an empty value for the plain markers.
        if (cell.length == SQL_DATA_AT_EXEC || cell.length == SQL_LEN_DATA_AT_EXEC_OFFSET) col.indicators[row] = 0;
        continue;
      }
    } else {
      if (!value) continue;
      len = CellLength(b, cell, r, c, p.elemLen, agent);
    }
    unsigned char *e = col.values + static_cast<size_t>(row) * col.size;
    if (int code = FillValue(stmt, p, col, e, value, len)) return code;
    col.indicators[row] = 0;
  }
  return 0;
}

// ---- Sending -----------------------------------------------------------------------------------

// An agent without wide value types: a W connection whose agent has no wide
// mode, and every connection of the ANSI driver, whose agent has none. Wide
// values and types reach it narrowed instead of being refused.
bool NarrowAgent(const Conn *conn) { return conn->narrowOnly || !DriverIsUnicode(); }

// The parameter information to send: a copy of the statement's shadow for
// the parameter count (narrowed for an agent without wide mode).
ParamInfo *InfoToSend(Stmt *stmt, uint16_t count) {
  auto *info = static_cast<ParamInfo *>(calloc(count ? count : 1, sizeof(ParamInfo)));
  if (!info) return nullptr;
  uint16_t have = count < stmt->paramCapacity ? count : stmt->paramCapacity;
  if (have) memcpy(info, stmt->paramShadow, have * sizeof(ParamInfo));
  if (NarrowAgent(stmt->conn)) NarrowParamInfo(info, count);
  return info;
}

bool Filled(const Stmt *stmt, int slot) { return stmt->drv && stmt->drv->table && DrvOpsSlotFilled(*stmt->drv->table, slot); }

// Hands the values (ds, or none) and the parameter information the agent
// still needs to the agent and executes. Returns the agent's code; the
// Dataset is the agent's once handed over (freed here when the DrvObject
// says the caller frees, or when it never went down).
int32_t SendAndExecute(Stmt *stmt, Dataset *ds) {
  Conn *conn = stmt->conn;
  const bool outputs = stmt->outCount + stmt->inOutCount > 0;
  const uint16_t count = stmt->paramCount;
  const DrvHandle cursor = stmt->agentCursor;
  int32_t rc = 0;
  bool handed = false;

  if (conn->cn_hasExecute2) {
    scs_ResetPosition(&stmt->cursor);
    const bool infoDue = (stmt->flags & STMTF_NEEDBIND) && !(stmt->flags & STMTF_PARAMINFO_SENT);
    const int slot = conn->cn_execDirect2 ? SLOT_DRV_ExecDirect2 : SLOT_DRV_ExecDirect;
    if (!ds && (!outputs || !infoDue)) {
      rc = DrvCall<&DrvOps::DRV_Execute>(stmt->drv, cursor);
    } else if (!Filled(stmt, slot)) {
      rc = E_S1C00;
    } else {
      if (ds && NarrowAgent(conn)) rc = DatasetToNarrow(ds);
      ParamInfo *info = nullptr;
      if (rc == 0 && infoDue && !(info = InfoToSend(stmt, count))) rc = E_S1001;
      const uint16_t n = infoDue ? count : 0;
      if (rc == 0 && conn->cn_execDirect2) {
        ParamDesc *descs = n ? ParamDescsBuild(info, n, stmt->ipd) : nullptr;
        if (n && !descs) {
          rc = E_S1001;
        } else {
          handed = true;
          rc = DrvCall<&DrvOps::DRV_ExecDirect2>(stmt->drv, cursor, static_cast<const char *>(nullptr), ds, n,
                                                 static_cast<const ParamDesc *>(descs));
          ParamDescsFree(descs, n);
          free(descs);
        }
      } else if (rc == 0) {
        handed = true;
        rc = DrvCall<&DrvOps::DRV_ExecDirect>(stmt->drv, cursor, static_cast<const char *>(nullptr), ds, n,
                                              static_cast<const ParamInfo *>(info));
      }
      if (handed && infoDue) stmt->flags |= STMTF_PARAMINFO_SENT;
      free(info);
    }
  } else {
    // A failover that completed while the values or their descriptions went
    // down (183) does not stop the execution; the execution reports it.
    int32_t failedOver = 0;
    if (ds) {
      if (NarrowAgent(conn)) rc = DatasetToNarrow(ds);
      if (rc == 0 && !Filled(stmt, SLOT_DRV_SetParams)) rc = E_S1C00;
      if (rc == 0) {
        handed = true;
        rc = AgentDone(DrvCall<&DrvOps::DRV_SetParams>(stmt->drv, cursor, ds), &failedOver);
      }
    }
    if (rc == 0 && (stmt->flags & STMTF_NEEDBIND) && (ds || outputs)) {
      ParamInfo *info = InfoToSend(stmt, count);
      rc = info ? AgentDone(DrvCall<&DrvOps::DRV_SetParamInfo>(stmt->drv, cursor, count,
                                                               static_cast<const ParamInfo *>(info)),
                            &failedOver)
                : E_S1001;
      free(info);
    }
    if (rc == 0) {
      scs_ResetPosition(&stmt->cursor);
      rc = DrvCall<&DrvOps::DRV_Execute>(stmt->drv, cursor);
      if (rc == 0) rc = failedOver;
    }
  }
  if (handed && rc == E_IM922) {
    // The agent asks for the data at execution values: it works on the
    // Dataset until the last of them is in.
    stmt->paramData = ds;
    return rc;
  }
  if (ds && (!handed || (stmt->drv->flags & DRVOBJ_CALLER_FREES))) DatasetDelete(ds);
  return rc;
}

// ---- Parameter status array -------------------------------------------------------------------

void StatusesStart(Stmt *stmt) {
  uint16_t *status = stmt->ipd ? stmt->ipd->arrayStatus : nullptr;
  if (!status) return;
  for (uint64_t r = 0; r < stmt->paramsetSize; ++r) status[r] = SQL_PARAM_DIAG_UNAVAILABLE;
}

// After the execute: ignored rows were not used; on a complete success of a
// statement other than a query every row sent succeeded. Where the driver
// cannot tell a row's outcome (an error, a warning, a query), the row stays
// SQL_PARAM_DIAG_UNAVAILABLE.
void StatusesFinish(Stmt *stmt, bool succeeded) {
  uint16_t *status = stmt->ipd ? stmt->ipd->arrayStatus : nullptr;
  if (!status) return;
  const BindCtx c = CtxOf(stmt);
  for (uint64_t r = 0; r < c.size; ++r) {
    if (Ignored(c, r))
      status[r] = SQL_PARAM_UNUSED;
    else if (succeeded && !stmt->isSelect)
      status[r] = SQL_PARAM_SUCCESS;
  }
}

}  // namespace

// ---- Public helpers -----------------------------------------------------------------------

ParamClass ParamClassOf(const Stmt *stmt, uint16_t index) {
  if (index >= stmt->paramCount || !stmt->paramDescs) return PARAM_CLASS_IN;
  const char *name = stmt->paramDescs[index].name;
  if (name[0] != '*') return PARAM_CLASS_IN;
  const int16_t dir = index < stmt->paramCapacity ? stmt->paramShadow[index].paramType : 0;
  switch (name[1]) {
    case 'O':
      return PARAM_CLASS_OUT;
    case 'B':
      return PARAM_CLASS_INOUT;
    case 'U':
      return dir == SQL_PARAM_OUTPUT ? PARAM_CLASS_OUT
             : dir == SQL_PARAM_INPUT_OUTPUT ? PARAM_CLASS_INOUT
                                             : PARAM_CLASS_IN;
    default:
      return PARAM_CLASS_IN;
  }
}

int64_t ParamBufferLength(const ParamBinding *b) {
  switch (b->cType) {
    case SQL_C_CHAR:
    case SQL_C_BINARY:
      return b->bufferLength ? b->bufferLength : static_cast<int64_t>(b->columnSize);
    case SQL_C_WCHAR:
      return b->bufferLength ? b->bufferLength : 2 * static_cast<int64_t>(b->columnSize);
    default:
      return b->elemSize;
  }
}

int64_t ParamValueLength(Stmt *stmt, const ParamBinding *b, uint64_t row, int64_t elemLen) {
  const BindCtx c = CtxOf(stmt);
  int64_t len = CellLength(*b, ReadCell(c, *b, row, elemLen), row, c, elemLen, false);
  return len < 0 ? 0 : len;
}

int64_t ParamValueLength2(Stmt *stmt, const ParamBinding *b, uint64_t row, int64_t elemLen) {
  const BindCtx c = CtxOf(stmt);
  int64_t len = CellLength(*b, ReadCell(c, *b, row, elemLen), row, c, elemLen, true);
  return len < 0 ? 0 : len;
}

int64_t ParamMaxLength(Stmt *stmt, const ParamBinding *b, uint64_t count, int64_t elemLen) {
  return MaxLength(stmt, b, count, elemLen, false);
}

int64_t ParamMaxLength2(Stmt *stmt, const ParamBinding *b, uint64_t count, int64_t elemLen) {
  return MaxLength(stmt, b, count, elemLen, true);
}

void NarrowParamInfo(ParamInfo *info, uint16_t count) {
  for (uint16_t i = 0; i < count; ++i) {
    switch (info[i].sqlType) {
      case SQL_WLONGVARCHAR:
        info[i].sqlType = SQL_LONGVARCHAR;
        break;
      case SQL_WVARCHAR:
        info[i].sqlType = SQL_VARCHAR;
        break;
      case SQL_WCHAR:
        info[i].sqlType = SQL_CHAR;
        break;
      default:
        break;
    }
    if (info[i].cType == SQL_C_WCHAR) info[i].cType = SQL_C_CHAR;
  }
}

ParamDesc *ParamDescsBuild(const ParamInfo *info, uint16_t count, Desc *ipd) {
  auto *descs = static_cast<ParamDesc *>(calloc(count ? count : 1, sizeof(ParamDesc)));
  if (!descs) return nullptr;
  for (uint16_t i = 0; i < count; ++i) {
    descs[i].info = info[i];
    const DescRecord *rec = ipd ? DescGetRec(ipd, i + 1) : nullptr;
    if (rec && rec->unnamed == SQL_NAMED && rec->name) {
      descs[i].name = strdup(rec->name);
      if (!descs[i].name) {
        ParamDescsFree(descs, count);
        free(descs);
        return nullptr;
      }
    }
  }
  return descs;
}

void ParamDescsFree(ParamDesc *descs, uint16_t count) {
  if (!descs) return;
  for (uint16_t i = 0; i < count; ++i) {
    free(descs[i].name);
    descs[i].name = nullptr;
  }
}

void FreeResultColDescs(Stmt *stmt) {
  if (stmt->resultDescs) ColDescFree(stmt->resultDescs, stmt->resultCount);
  stmt->resultDescs = nullptr;
  stmt->resultCount = 0;
}

int BuildParamDataset(Stmt *stmt, int agent, Dataset *ds) {
  const BindCtx c = CtxOf(stmt);
  if (stmt->paramCount > stmt->paramCapacity) return E_07001;
  if (c.size > static_cast<uint64_t>(INT32_MAX)) return E_S1107;
  int32_t rows = 0;
  for (uint64_t r = 0; r < c.size; ++r)
    if (!Ignored(c, r)) ++rows;
  uint16_t columns = 0;
  for (uint16_t i = 0; i < stmt->paramCount; ++i)
    if (ParamClassOf(stmt, i) != PARAM_CLASS_OUT) ++columns;

  auto *plans = static_cast<Plan *>(calloc(columns ? columns : 1, sizeof(Plan)));
  if (!plans) return E_S1001;
  int code = DatasetInit(ds, columns);
  uint16_t col = 0;
  for (uint16_t i = 0; code == 0 && i < stmt->paramCount; ++i) {
    if (ParamClassOf(stmt, i) == PARAM_CLASS_OUT) continue;
    Plan &p = plans[col];
    p.b = &stmt->params[i];
    code = PlanColumn(stmt, c, &p, agent != 0);
    if (code == 0) {
      ds->cols[col].type = p.type;
      ds->cols[col].size = p.size;
      ++col;
    }
  }
  if (code == 0) {
    ds->columns = columns;
    code = DatasetAllocRows(ds, rows);
  }
  if (code == 0) {
    ds->rows = rows;
    for (uint16_t j = 0; code == 0 && j < columns; ++j)
      code = FillColumn(stmt, c, plans[j], ds->cols[j], agent != 0);
  }
  free(plans);
  if (code != 0) DatasetFree(ds);
  return code;
}

// ---- Execution ---------------------------------------------------------------------------------

namespace {

// An agent that asks for data at execution values starts the dialogue of
// SQLParamData and SQLPutData; the statement runs at its end.
SQLRETURN Sent(Stmt *stmt, int32_t rc, uint64_t rows) {
  if (rc == E_IM922) {
    stmt->pending = 0;
    stmt->daeAgentIndex = -1;
    free(stmt->daeText);
    stmt->daeText = nullptr;
    stmt->daeTextLen = 0;
    stmt->daeCounters[0] = stmt->daeCounters[1] = 0;
    stmt->daeLocal = 0;
    StmtDaeStore(stmt, 1);
    return SQL_NEED_DATA;
  }
  stmt->pending = rc;
  return ExecuteFinish(stmt, rows);
}

// Executes with the bindings of the statement; agent: the agent builder.
SQLRETURN Execute(Stmt *stmt, bool agent) {
  if (!(stmt->flags & STMTF_PREPARED)) return Fail(stmt, E_S1010);
  if (int code = CheckBindings(stmt, agent)) return Fail(stmt, code);
  StmtDaeStore(stmt, 0);
  StatusesStart(stmt);
  if (stmt->hasUnknownParam) RecomputeClasses(stmt);

  if (stmt->inCount + stmt->inOutCount == 0) return Sent(stmt, SendAndExecute(stmt, nullptr), 0);

  auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ds) return Fail(stmt, E_S1001);
  if (int code = BuildParamDataset(stmt, agent ? 1 : 0, ds)) {
    free(ds);
    return Fail(stmt, code);
  }
  const auto rows = static_cast<uint64_t>(ds->rows);
  if (rows == 0) {
    // Every row is ignored: nothing runs.
    DatasetDelete(ds);
    FreeResultColDescs(stmt);
    if (stmt->rowsProcessed) *stmt->rowsProcessed = 0;
    StatusesFinish(stmt, false);
    return SQL_SUCCESS;
  }
  return Sent(stmt, SendAndExecute(stmt, ds), rows);
}

}  // namespace

SQLRETURN ExecuteFinish(Stmt *stmt, uint64_t rowsProcessed) {
  FreeResultColDescs(stmt);
  if (stmt->paramData) {
    if (stmt->drv && (stmt->drv->flags & DRVOBJ_CALLER_FREES)) DatasetDelete(stmt->paramData);
    stmt->paramData = nullptr;
  }
  const int32_t code = stmt->pending;
  // 183 (a failover completed on the way) is a success with information.
  const bool failedOver = code == E_IM500;
  if (code != 0 && code != E_IM906 && code != E_IM902 && !failedOver) {
    StmtGetAgentMsgs(stmt);
    if (stmt->rowsProcessed) {
      // The rows before the failing one went through: the failing row is
      // the agent's row count + 1 (never beyond the rows sent).
      int32_t done = 0;
      int16_t len = 0;
      if (int32_t got = DrvCall<&DrvOps::DRV_GetInfo>(stmt->drv, stmt->agentCursor,
                                                      static_cast<uint32_t>(INFO_ROW_COUNT), &done,
                                                      static_cast<uint16_t>(4), &len);
          got == 0 || got == E_IM500) {
        int64_t n = static_cast<int64_t>(done) + 1;
        if (n < 0) n = 0;
        if (static_cast<uint64_t>(n) > rowsProcessed) n = static_cast<int64_t>(rowsProcessed);
        *stmt->rowsProcessed = static_cast<uint64_t>(n);
      }
    }
    StatusesFinish(stmt, false);
    return SQL_ERROR;
  }
  // Completed, with a warning or with output values waiting: the statement
  // is executed either way.
  if (code == E_IM902) StmtGetAgentMsgs(stmt);
  if (stmt->rowsProcessed) *stmt->rowsProcessed = stmt->isSelect && stmt->paramsetSize > 1 ? 1 : rowsProcessed;
  stmt->rowsInBlock = 0;
  StmtStateStore(stmt, STMT_PREPARED);
  stmt->flags |= STMTF_RESULT_OPEN;
  StatusesFinish(stmt, code != E_IM902);

  const SQLRETURN done = code == E_IM902 || failedOver ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  if (code == E_IM906) stmt->pending = 0;
  if (stmt->conn->cn_spOutDeferFetch && code != E_IM906) return done;
  if (stmt->outCount + stmt->inOutCount == 0) return done;
  SQLRETURN rc = FetchOutputParams(stmt);
  if (rc != SQL_SUCCESS) return rc;
  if (code == E_IM902 || failedOver) stmt->pending = code;
  return done;
}

SQLRETURN FetchOutputParams(Stmt *stmt) {
  FreeFetchedRows(stmt);
  int32_t rc = DrvCall<&DrvOps::DRV_Fetch>(stmt->drv, stmt->agentCursor, static_cast<uint16_t>(0), &stmt->fetched);
  if (rc != 0) return Fail(stmt, rc);
  stmt->getData.column = 0;
  stmt->getData.row = 0;
  const BindCtx c = CtxOf(stmt);
  const int version = stmt->conn->env ? stmt->conn->env->odbcVersion : 3;
  uint16_t column = 0;
  int32_t warning = 0;
  for (uint16_t i = 0; i < BoundCount(stmt); ++i) {
    if (ParamClassOf(stmt, i) == PARAM_CLASS_IN) continue;
    ++column;
    const ParamBinding &b = stmt->params[i];
    if (!b.data) continue;
    ColumnBinding cb{};
    cb.column = column;
    cb.param = static_cast<uint16_t>(i + 1);
    cb.cType = b.cType == SQL_C_DEFAULT ? DefaultCType(b.sqlType, version) : b.cType;
    cb.scale = b.decimalDigits;
    cb.data = AppBufferAt(b.data, c.offset);
    cb.bufferLength = static_cast<uint64_t>(IsVariableCType(b.cType) ? b.bufferLength : b.elemSize);
    cb.lengthPtr = AppBufferAt(b.lengthPtr, c.offset);
    cb.indicatorPtr = AppBufferAt(b.indicatorPtr, c.offset);
    stmt->pending = E_IM906;  // parameter mode
    SQLRETURN r = GetColumn(stmt, 0, &cb, &stmt->fetched);
    if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO) return r;
    // A value cut on its way to the application (its fraction, its
    // characters) is reported, as a value read with SQLGetData is.
    if (r == SQL_SUCCESS_WITH_INFO && !warning) warning = stmt->pending;
  }
  stmt->pending = warning;
  return warning ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN ExecuteCheckParams(Stmt *stmt) {
  if (StmtDaeLoad(stmt) != 0) return Fail(stmt, E_S1010);
  if (int code = StmtParamDaeBufAlloc(stmt)) return Fail(stmt, code);
  stmt->daeScanIndex = stmt->daeCurIndex = 0;
  stmt->daeScanRow = stmt->daeCurRow = 0;
  if (!(stmt->flags & STMTF_PREPARED)) return SQL_SUCCESS;  // the execute refuses it
  if (int code = CheckBindings(stmt, false)) return Fail(stmt, code);
  if (!DAEFindParam(stmt)) return SQL_SUCCESS;
  // Pieces of an earlier execute are gone: a cell without one is empty.
  for (uint16_t i = 0; i < BoundCount(stmt); ++i) {
    ParamBinding &b = stmt->params[i];
    for (int32_t r = 0; b.pieces && r < b.pieceCount; ++r) {
      free(b.pieces[r]);
      b.pieces[r] = nullptr;
      if (b.pieceLengths) b.pieceLengths[r] = 0;
    }
  }
  stmt->daeLocal = 1;
  StmtDaeStore(stmt, 1);
  return SQL_NEED_DATA;
}

SQLRETURN ExecuteLocal(Stmt *stmt) { return Execute(stmt, false); }

SQLRETURN ExecuteAgent(Stmt *stmt) { return Execute(stmt, true); }

SQLRETURN odbc_Execute(void *object, const ApiArgs &) {
  auto *stmt = static_cast<Stmt *>(object);
  if (stmt->conn->cn_hasV2DAE) return ExecuteAgent(stmt);
  SQLRETURN rc = ExecuteCheckParams(stmt);
  if (rc != SQL_SUCCESS) return rc;
  return ExecuteLocal(stmt);
}

// ---- Data at execution with the agent ---------------------------------------------------------

namespace {

// The binding and paramset row of the agent's Dataset cell (column among
// the parameters that carry a value, row among the rows not ignored).
bool AgentCell(Stmt *stmt, int32_t column, int32_t row, uint16_t *index, uint64_t *paramRow) {
  if (column < 0 || row < 0) return false;
  int32_t k = -1;
  uint16_t i = 0;
  for (; i < BoundCount(stmt); ++i)
    if (ParamClassOf(stmt, i) != PARAM_CLASS_OUT && ++k == column) break;
  if (i >= BoundCount(stmt)) return false;
  const BindCtx c = CtxOf(stmt);
  int64_t left = row;
  for (uint64_t r = 0; r < c.size; ++r) {
    if (Ignored(c, r)) continue;
    if (left-- == 0) {
      *index = i;
      *paramRow = r;
      return true;
    }
  }
  return false;
}

uint64_t RowsSent(const Stmt *stmt) {
  const BindCtx c = CtxOf(stmt);
  uint64_t n = 0;
  for (uint64_t r = 0; r < c.size; ++r) n += Ignored(c, r) ? 0 : 1;
  return n;
}

}  // namespace

int NarrowPiece(void **buf, int32_t *len, int32_t *valueType, uint16_t *held) {
  const auto *in = static_cast<const uint16_t *>(*buf);
  size_t units = static_cast<size_t>(*len) / 2;
  uint16_t *joined = nullptr;
  if (*held) {
    joined = static_cast<uint16_t *>(malloc((units + 1) * 2));
    if (!joined) return E_S1001;
    joined[0] = *held;
    if (units) memcpy(joined + 1, in, units * 2);
    in = joined;
    ++units;
    *held = 0;
  }
  if (units && in[units - 1] >= 0xD800 && in[units - 1] <= 0xDBFF) *held = in[--units];
  const size_t bytes = utf16_value_bytes(in, units);
  auto *out = static_cast<uint8_t *>(malloc(bytes ? bytes : 1));
  if (!out) {
    free(joined);
    return E_S1001;
  }
  const size_t n = utf16_value_to_utf8(in, units, out, bytes, nullptr);
  free(joined);
  free(*buf);
  *buf = out;
  *len = static_cast<int32_t>(n);
  *valueType = VT_CHAR;
  return 0;
}

namespace {

// Hexadecimal text for a binary parameter: decoded piece by piece.
bool HexCell(const ParamBinding &b) { return b.cType == SQL_C_CHAR && IsBinarySql(b.sqlType); }

// Decodes a piece of hexadecimal text in place. A digit left over waits in
// *held (0x100 | its value; 0 none) for the next piece, so that a byte may
// be split between pieces. A character that is no digit: 22018, with
// *held unchanged.
int HexPiece(void **buf, int32_t *len, uint16_t *held) {
  const auto *in = static_cast<const unsigned char *>(*buf);
  auto *out = static_cast<uint8_t *>(malloc(static_cast<size_t>(*len) / 2 + 1));
  if (!out) return E_S1001;
  uint16_t h = *held;
  int32_t n = 0;
  for (int32_t i = 0; i < *len; ++i) {
    const int v = HexDigitValue(in[i]);
    if (v < 0) {
      free(out);
      return E_22018;
    }
    if (h) {
      out[n++] = static_cast<uint8_t>(((h & 0xF) << 4) | v);
      h = 0;
    } else {
      h = static_cast<uint16_t>(0x100 | v);
    }
  }
  free(*buf);
  *buf = out;
  *len = n;
  *held = h;
  return 0;
}

bool DateTimeTextCell(const ParamBinding &b) {
  return (b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR) && IsDateTimeSql(b.sqlType);
}

void DaeTextDrop(Stmt *stmt) {
  free(stmt->daeText);
  stmt->daeText = nullptr;
  stmt->daeTextLen = 0;
  stmt->daeCounters[1] = 0;
}

// The date/time text of the cell, whole now, sent as the cell's column
// holds it: a structure parsed from an escape clause or from plain text
// (read as the clause of the parameter's SQL type), or the text itself in
// a text column. Text that is neither: 22018.
// Whether the quoted literal of an escape clause is a date, a time or a
// timestamp in form (digits and separators where they belong); the escape
// parser alone reads any text as some date.
bool DateTimeLiteralInForm(const std::string &text, size_t start) {
  const size_t open = text.find('\'', start);
  const size_t close = text.rfind('\'');
  if (open == std::string::npos || close <= open) return false;
  for (size_t i = close + 1; i < text.size(); ++i)
    if (text[i] != ' ' && text[i] != '\t' && text[i] != '}') return false;
  const char *p = text.data() + open + 1;
  const char *const end = text.data() + close;
  while (p < end && *p == ' ') ++p;
  auto digits = [&]() {
    const char *q = p;
    while (p < end && *p >= '0' && *p <= '9') ++p;
    return p > q;
  };
  auto field = [&](char sep) { return p < end && *p == sep && (++p, digits()); };
  auto time = [&]() {
    if (!(digits() && field(':') && field(':'))) return false;
    if (p < end && *p == '.') {
      ++p;
      digits();
    }
    return true;
  };
  const char *first = p;
  digits();
  const bool isDate = p < end && *p == '-';
  p = first;
  if (isDate) {
    if (!(digits() && field('-') && field('-'))) return false;
    if (p < end && *p == ' ') {
      while (p < end && *p == ' ') ++p;
      if (p < end && !time()) return false;
    }
  } else if (!time()) {
    return false;
  }
  while (p < end && *p == ' ') ++p;
  return p == end;
}

int32_t SendDateTimeText(Stmt *stmt) {
  const ParamBinding &b = stmt->params[stmt->daeAgentIndex];
  uint16_t column = 0;
  for (uint16_t i = 0; i < stmt->daeAgentIndex; ++i)
    if (ParamClassOf(stmt, i) != PARAM_CLASS_OUT) ++column;
  const Dataset *ds = stmt->paramData;
  if (!ds || column >= ds->columns) return E_S1000;
  const int32_t colType = ds->cols[column].type;
  // The text as UTF-8.
  std::string text;
  if (b.cType == SQL_C_WCHAR) {
    const size_t units = static_cast<size_t>(stmt->daeTextLen) / 2;
    text.resize(utf16_value_bytes(stmt->daeText, units));
    text.resize(utf16_value_to_utf8(stmt->daeText, units, reinterpret_cast<uint8_t *>(text.data()), text.size(),
                                    nullptr));
  } else {
    text.assign(stmt->daeText ? stmt->daeText : "", static_cast<size_t>(stmt->daeTextLen));
  }
  if (colType != VT_DATE && colType != VT_TIME && colType != VT_TIMESTAMP) {
    const bool wideCol = colType == VT_WCHAR;
    std::string bytes = wideCol ? std::string(stmt->daeText ? stmt->daeText : "", static_cast<size_t>(stmt->daeTextLen))
                                : text;
    return DrvCall<&DrvOps::DRV_PutData>(stmt->drv, stmt->agentCursor, static_cast<uint32_t>(wideCol ? VT_WCHAR : VT_CHAR),
                                         static_cast<int16_t>(0), static_cast<const void *>(bytes.data()),
                                         static_cast<int32_t>(bytes.size()));
  }
  size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  if (start == text.size() || text[start] != '{') {
    const char *open = b.sqlType == SQL_DATE || b.sqlType == SQL_TYPE_DATE   ? "{d '"
                       : b.sqlType == SQL_TIME || b.sqlType == SQL_TYPE_TIME ? "{t '"
                                                                             : "{ts '";
    text = open + text.substr(start) + "'}";
    start = 0;
  }
  const EscapeValue v = ParseEscape(text.data() + start, text.size() - start, b.sqlType);
  if (v.kind != colType || !DateTimeLiteralInForm(text, start)) return E_22018;
  const void *value = v.kind == VT_DATE ? static_cast<const void *>(&v.date)
                      : v.kind == VT_TIME ? static_cast<const void *>(&v.time)
                                          : static_cast<const void *>(&v.timestamp);
  return DrvCall<&DrvOps::DRV_PutData>(stmt->drv, stmt->agentCursor, static_cast<uint32_t>(v.kind),
                                       static_cast<int16_t>(0), value,
                                       static_cast<int32_t>(v.kind == VT_TIMESTAMP ? 16 : 6));
}

}  // namespace

SQLRETURN ParamDataAgent(Stmt *stmt, void **token) {
  if (StmtDaeLoad(stmt) != 1) return Fail(stmt, E_S1010);
  if (stmt->daeAgentIndex >= 0 && stmt->daeAgentIndex < BoundCount(stmt) &&
      DateTimeTextCell(stmt->params[stmt->daeAgentIndex]) && stmt->daeCounters[1] != 0) {
    const int32_t rc = AgentDone(SendDateTimeText(stmt), &stmt->pending);
    DaeTextDrop(stmt);
    if (rc != 0) {
      StmtDaeStore(stmt, 0);
      stmt->daeAgentIndex = -1;
      StmtGetAgentMsgs(stmt);
      return Fail(stmt, rc);
    }
  }
  if (stmt->daeAgentIndex >= 0 && stmt->daeCounters[1] != 0) {
    // The value ended with half of something: hexadecimal text of an odd
    // number of digits, or text narrowed for the agent that ends with the
    // first half of a surrogate pair. The dialogue ends and nothing runs.
    StmtDaeStore(stmt, 0);
    stmt->daeAgentIndex = -1;
    stmt->daeCounters[1] = 0;
    return Fail(stmt, E_22018);
  }
  int32_t column = -1, row = -1, count = 0;
  int16_t *status = nullptr;
  const int32_t rc = DrvCall<&DrvOps::DRV_ParamData>(stmt->drv, stmt->agentCursor, &column, &row, &status, &count);
  // A failover met by a piece before stays reported with the execution.
  if (rc != 0 || stmt->pending != E_IM500) stmt->pending = rc;
  if (rc != E_IM922) {
    // The last value is in and the statement ran (or failed).
    StmtDaeStore(stmt, 0);
    return ExecuteFinish(stmt, RowsSent(stmt));
  }
  uint16_t index = 0;
  uint64_t paramRow = 0;
  if (!AgentCell(stmt, column, row, &index, &paramRow)) {
    StmtDaeStore(stmt, 0);
    return Fail(stmt, E_S1000);
  }
  stmt->pending = 0;
  stmt->daeAgentIndex = index;
  stmt->daeAgentRow = static_cast<int32_t>(paramRow);
  stmt->daeCounters[0] = 0;  // pieces of this cell
  stmt->daeCounters[1] = 0;  // a held-back high surrogate
  if (stmt->rowsProcessed) *stmt->rowsProcessed = paramRow + 1;
  if (token) *token = stmt->params[index].data;
  return SQL_NEED_DATA;
}

namespace {

SQLRETURN PutPiece(Stmt *stmt, const void *data, int64_t length) {
  if (int32_t code = PieceArgsCheck(data, length)) return Fail(stmt, code);
  if (stmt->daeAgentIndex < 0 || stmt->daeAgentIndex >= BoundCount(stmt)) return Fail(stmt, E_S1010);
  const ParamBinding &b = stmt->params[stmt->daeAgentIndex];
  const int16_t cType = b.cType;
  uint32_t width = 0;
  int32_t vt = CTypeToValueType(cType, &width);
  // A value of fixed length comes in one piece.
  if (stmt->daeCounters[0]++ > 0 && !IsVariableCType(cType)) return Fail(stmt, E_S1019);
  const bool hex = HexCell(b);
  int16_t indicator = 0;
  int64_t len = length;
  if (length == SQL_NULL_DATA) {
    indicator = -1;
    len = 0;
    stmt->daeCounters[1] = 0;
  } else if (length == SQL_NTS) {
    len = NtsPieceBytes(cType, data);
  }
  if (len > INT32_MAX) return Fail(stmt, E_S1090);
  if (DateTimeTextCell(b) && indicator == 0) {
    // Kept until the value is whole: it is converted then, as if bound.
    if (stmt->daeTextLen + len > INT32_MAX) return Fail(stmt, E_S1090);
    if (len > 0) {
      auto *grown = static_cast<char *>(realloc(stmt->daeText, static_cast<size_t>(stmt->daeTextLen + len)));
      if (!grown) return Fail(stmt, E_S1001);
      memcpy(grown + stmt->daeTextLen, data, static_cast<size_t>(len));
      stmt->daeText = grown;
      stmt->daeTextLen += len;
    }
    stmt->daeCounters[1] = 1;  // a value is pending
    return SQL_SUCCESS;
  }
  if (DateTimeTextCell(b)) DaeTextDrop(stmt);
  void *buf = nullptr;
  int32_t size = 0;
  if (indicator == 0) {
    if (cType == SQL_C_SBIGINT || cType == SQL_C_UBIGINT) {
      buf = calloc(1, kBigintTextWidth);
      if (!buf) return Fail(stmt, E_S1001);
      int64_t v = 0;
      memcpy(&v, data, sizeof v);
      if (cType == SQL_C_SBIGINT)
        snprintf(static_cast<char *>(buf), kBigintTextWidth, "%-*" PRId64, 31, v);
      else
        snprintf(static_cast<char *>(buf), kBigintTextWidth, "%-*" PRIu64, 31, static_cast<uint64_t>(v));
      size = static_cast<int32_t>(kBigintTextWidth);
      vt = VT_CHAR;
    } else {
      size = static_cast<int32_t>(IsVariableCType(cType) ? len : width);
      if (size > 0) {
        buf = malloc(static_cast<size_t>(size));
        if (!buf) return Fail(stmt, E_S1001);
        memcpy(buf, data, static_cast<size_t>(size));
      }
    }
    if (hex) {
      if (int code = HexPiece(&buf, &size, &stmt->daeCounters[1])) {
        free(buf);
        return Fail(stmt, code);
      }
      vt = VT_BINARY;
    }
    if (vt == VT_WCHAR && NarrowAgent(stmt->conn)) {
      if (!buf && stmt->daeCounters[1] == 0) {
        vt = VT_CHAR;
      } else {
        if (!buf && !(buf = malloc(2))) return Fail(stmt, E_S1001);
        if (int code = NarrowPiece(&buf, &size, &vt, &stmt->daeCounters[1])) {
          free(buf);
          return Fail(stmt, code);
        }
      }
    }
  }
  const int32_t rc = AgentDone(DrvCall<&DrvOps::DRV_PutData>(stmt->drv, stmt->agentCursor, static_cast<uint32_t>(vt),
                                                             indicator, static_cast<const void *>(buf), size),
                               &stmt->pending);
  free(buf);
  if (rc != 0) {
    StmtGetAgentMsgs(stmt);
    return Fail(stmt, rc);
  }
  return SQL_SUCCESS;
}

}  // namespace

// A piece that fails ends the dialogue, as it does for the Driver Manager:
// the statement is back as before its execution and nothing runs.
SQLRETURN PutDataAgent(Stmt *stmt, const void *data, int64_t length) {
  if (StmtDaeLoad(stmt) != 1) return Fail(stmt, E_S1010);
  const SQLRETURN rc = PutPiece(stmt, data, length);
  if (rc == SQL_ERROR) {
    StmtDaeStore(stmt, 0);
    stmt->daeAgentIndex = -1;
    DaeTextDrop(stmt);
  }
  return rc;
}

// ---- Data at execution without the agent ---------------------------------------------------------

int32_t DaeAppendPiece(void **bufp, int64_t *heldp, int16_t cType, int64_t fixedSize, const void *data,
                       int64_t length) {
  if (int32_t code = PieceArgsCheck(data, length)) return code;
  void *&buf = *bufp;
  int64_t &held = *heldp;
  if (length == SQL_NULL_DATA) {
    free(buf);
    buf = nullptr;
    held = SQL_NULL_DATA;
    return 0;
  }
  int64_t len = length;
  if (!IsVariableCType(cType)) {
    if (buf || held == SQL_NULL_DATA) return E_S1019;
    len = fixedSize;
  } else if (length == SQL_NTS) {
    len = NtsPieceBytes(cType, data);
  }
  if (held < 0) held = 0;
  if (len == 0) return 0;
  if (len > INT32_MAX || held > INT32_MAX - len) return E_S1090;
  // Grown geometrically: many small pieces cost linear time.
  const size_t need = static_cast<size_t>(held + len);
  size_t cap = buf ? malloc_usable_size(buf) : 0;
  if (need > cap) {
    cap = std::max(need, cap * 2);
    void *grown = realloc(buf, cap);
    if (!grown) return E_S1001;  // the earlier pieces stay
    buf = grown;
  }
  memcpy(static_cast<char *>(buf) + held, data, static_cast<size_t>(len));
  held += len;
  return 0;
}

// States of the dialogue on this path: collecting, and every value in.
constexpr uint16_t kDaeCollecting = 1;
constexpr uint16_t kDaeAllIn = 7;

SQLRETURN ParamDataLocal(Stmt *stmt, void **token) {
  const uint16_t state = StmtDaeLoad(stmt);
  if (state != kDaeCollecting && state != kDaeAllIn) return Fail(stmt, E_S1010);
  stmt->daeCurRow = stmt->daeScanRow;
  if (state == kDaeAllIn) return ExecuteLocal(stmt);
  if (stmt->rowsProcessed) *stmt->rowsProcessed = static_cast<uint64_t>(stmt->daeScanRow) + 1;
  stmt->daeCurIndex = stmt->daeScanIndex++;
  ParamBinding &b = stmt->params[stmt->daeCurIndex];
  const auto row = static_cast<int32_t>(stmt->daeCurRow);
  if (b.pieces && row < b.pieceCount) {
    free(b.pieces[row]);
    b.pieces[row] = nullptr;
    if (b.pieceLengths) b.pieceLengths[row] = 0;
  }
  if (token) *token = b.data;
  if (!DAEFindParam(stmt)) StmtDaeStore(stmt, kDaeAllIn);
  return SQL_NEED_DATA;
}

namespace {

int32_t DAEAppendParam(Stmt *stmt, const void *data, int64_t length) {
  ParamBinding &b = stmt->params[stmt->daeCurIndex];
  const auto row = static_cast<int32_t>(stmt->daeCurRow);
  if (!b.pieces || !b.pieceLengths || row >= b.pieceCount) return E_S1000;
  return DaeAppendPiece(&b.pieces[row], &b.pieceLengths[row], b.cType, b.elemSize, data, length);
}

}  // namespace

// A piece that fails ends the dialogue, as on the agent path.
SQLRETURN PutDataLocal(Stmt *stmt, const void *data, int64_t length) {
  const uint16_t state = StmtDaeLoad(stmt);
  if (state != kDaeCollecting && state != kDaeAllIn) return Fail(stmt, E_S1010);
  if (const int32_t code = DAEAppendParam(stmt, data, length)) {
    StmtDaeStore(stmt, 0);
    return Fail(stmt, code);
  }
  return SQL_SUCCESS;
}

// A dialogue goes on on the path it began on; SetPos and bulk dialogues
// have their own.
SQLRETURN odbc_ParamData(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  const uint16_t state = StmtDaeLoad(stmt);
  if (DaeIsColumnState(state)) return ParamDataColumns(stmt, args.ptr<void *>(0));
  const bool local = state != 0 ? stmt->daeLocal != 0 : !stmt->conn->cn_hasV2DAE;
  if (local) return ParamDataLocal(stmt, args.ptr<void *>(0));
  return ParamDataAgent(stmt, args.ptr<void *>(0));
}

SQLRETURN odbc_PutData(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  const uint16_t state = StmtDaeLoad(stmt);
  if (DaeIsColumnState(state)) return PutDataColumns(stmt, args.ptr(0), args.i64(1));
  const bool local = state != 0 ? stmt->daeLocal != 0 : !stmt->conn->cn_hasV2DAE;
  if (local) return PutDataLocal(stmt, args.ptr(0), args.i64(1));
  return PutDataAgent(stmt, args.ptr(0), args.i64(1));
}
