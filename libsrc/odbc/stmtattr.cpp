// Statement options and attributes.
#include "odbc/stmtattr.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "odbc/data/descfield.h"
#include "odbc/desc.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"

namespace {

// SQL_MAX_LENGTH values the agent accepts start here.
constexpr int64_t kMinMaxLength = 8192;

// SQLSetStmtAttr values of SQL_ATTR_CURSOR_SENSITIVITY.
constexpr uint64_t kInsensitive = SQL_INSENSITIVE;
constexpr uint64_t kSensitive = SQL_SENSITIVE;

SQLRETURN Fail(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_ERROR;
}

SQLRETURN Warn(Stmt *stmt, int32_t code) {
  stmt->pending = code;
  return SQL_SUCCESS_WITH_INFO;
}

// Driver options passed to the agent and never kept by the statement.
bool IsPassThroughOption(uint16_t option) {
  switch (option) {
    case 1225: case 1227: case 1228: case 1229: case 1250: case 1251: case 1260:
    case 1261: case 1264: case 1265: case 1268: case 1276: case 1277: case 1278:
    case STMT_OPT_TEXT_1226:
      return true;
    default:
      return false;
  }
}

uint32_t OptionCode(uint16_t option) {
  return option == STMT_OPT_TEXT_1226 ? InfoStmtOptionStr(option) : InfoStmtOption(option);
}

// Hands an integer option to the agent cursor; its answer becomes the
// pending code.
int32_t Pass(Stmt *stmt, uint16_t option, int32_t value) {
  int32_t code = DrvCall<&DrvOps::DRV_SetInfo>(stmt->drv, stmt->agentCursor, InfoStmtOption(option), &value);
  stmt->pending = code;
  return AgentDone(code, &stmt->pending);
}

// The agent's 32-bit answer for an option; 0 or the agent's code.
int32_t Ask(Stmt *stmt, uint32_t code, int32_t *value) {
  int16_t len = 0;
  *value = 0;
  return AgentDone(DrvCall<&DrvOps::DRV_GetInfo>(stmt->drv, stmt->agentCursor, code, value, static_cast<uint16_t>(4),
                                                 &len),
                   &stmt->pending);
}

// What one option reads as: the value bits and the ODBC 2 width in bytes.
struct OptionValue {
  uint64_t bits = 0;
  int width = 4;
};

OptionValue Int32Value(int32_t v) { return {static_cast<uint64_t>(static_cast<uint32_t>(v)), 4}; }
OptionValue Int64Value(int64_t v) { return {static_cast<uint64_t>(v), 8}; }

// What ReadOption answers with a value read.
int32_t Answer(OptionValue *out, OptionValue v) {
  *out = v;
  return 0;
}

// Reads an option; 0, or the error code to post (nothing is posted here).
// While the pending code is 75 (the read-back of a set the agent changed)
// the options the agent may change are asked of the agent.
// The option's value from the agent's information; S1092 where it has none.
int32_t AskOption(Stmt *stmt, uint16_t option, int32_t *value) {
  return Ask(stmt, InfoStmtOption(option), value) != 0 ? E_S1092 : 0;
}

int32_t ReadOption(Stmt *stmt, uint16_t option, OptionValue *out) {
  const bool readBack = stmt->pending == E_01S02;
  const ScsCursor &c = stmt->cursor;
  int32_t v = 0;
  switch (option) {
    case SQL_QUERY_TIMEOUT:
      return Answer(out, Int32Value(stmt->queryTimeout));
    case SQL_MAX_ROWS:
      if (int32_t code = AskOption(stmt, option, &v)) return code;
      return Answer(out, Int64Value(v));
    case SQL_NOSCAN:
      if (int32_t code = AskOption(stmt, option, &v)) return code;
      return Answer(out, Int32Value(v));
    case SQL_MAX_LENGTH:
      if (!readBack) {
        return Answer(out, Int64Value(stmt->maxLength));
      }
      if (int32_t code = AskOption(stmt, option, &v)) return code;
      return Answer(out, Int64Value(static_cast<uint32_t>(v)));
    case SQL_ASYNC_ENABLE:
      return Answer(out, Int32Value(stmt->asyncEnable));
    case SQL_BIND_TYPE:
      return Answer(out, Int32Value(stmt->bindType));
    case SQL_RETRIEVE_DATA:
      return Answer(out, Int32Value(c.retrieveData));
    case SQL_USE_BOOKMARKS:
      return Answer(out, Int32Value(c.useBookmarks));
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_ROWSET_SIZE:
    case SQL_SIMULATE_CURSOR:
      if (readBack) {
        if (int32_t code = AskOption(stmt, option, &v)) return code;
      } else {
        v = option == SQL_CURSOR_TYPE   ? c.cursorType
            : option == SQL_CONCURRENCY ? c.concurrency
            : option == SQL_ROWSET_SIZE ? c.rowsetSize
                                        : c.simulateCursor;
      }
      return Answer(out, Int32Value(v));
    case SQL_KEYSET_SIZE:
      if (readBack) {
        if (int32_t code = AskOption(stmt, option, &v)) return code;
      } else {
        v = c.keysetSize;
      }
      return Answer(out, Int64Value(v));
    case SQL_GET_BOOKMARK: {
      if (stmt->state != STMT_PREPARED) return E_24000;
      if (!c.useBookmarks) return E_S1011;
      int32_t n = 0;
      if (int32_t code = scs_GetRowNumber(&stmt->cursor, static_cast<uint32_t>(c.position - 1), &n)) return code;
      return Answer(out, Int32Value(n));
    }
    case SQL_ROW_NUMBER: {
      if (stmt->state != STMT_PREPARED) return E_24000;
      if (c.cursorType == SCS_FORWARD_ONLY) {
        return Answer(out, Int64Value(stmt->rowNumber));
      }
      // A dynamic cursor's rows have no number: others' inserts and
      // deletes move them.
      if (c.cursorType == SCS_DYNAMIC) return E_S1C00;
      int32_t n = 0;
      if (int32_t code = scs_p_GetRowNumber(&stmt->cursor, static_cast<uint32_t>(c.position - 1), &n)) return code;
      return Answer(out, Int64Value(n));
    }
    case STMT_OPT_1048:
    case STMT_OPT_1049:
      if (int32_t code = AskOption(stmt, option, &v)) return code;
      return Answer(out, Int32Value(v));
    case STMT_OPT_SELECT_COLUMNS:
      return Answer(out, Int32Value(c.selectColumnsMode));
    case STMT_OPT_PRIVATE_1052:
      return Answer(out, Int32Value(c.private1052));
    case STMT_OPT_PRIVATE_1054:
      return Answer(out, Int32Value(c.private1054));
    default:
      break;
  }
  if (IsPassThroughOption(option)) {
    // Four bytes of whatever the agent answers (the text option included).
    int32_t code = Ask(stmt, OptionCode(option), &v);
    if (code == E_IM001) return E_S1092;
    if (code != 0) return code;
    return Answer(out, Int32Value(v));
  }
  return E_S1092;
}

// Writes an option read: 8 bytes zero-extended when wide (the ODBC 3
// SQLULEN options), else its own width.
void PutOption(void *dest, const OptionValue &v, bool wide) {
  if (v.width == 8 || wide) {
    uint64_t bits = v.width == 8 ? v.bits : static_cast<uint32_t>(v.bits);
    memcpy(dest, &bits, 8);
  } else {
    auto low = static_cast<uint32_t>(v.bits);
    memcpy(dest, &low, 4);
  }
}

// Options whose ODBC 3 attribute is an SQLULEN although ODBC 2 wrote 32 bits.
bool IsUlenOption(uint16_t option) {
  switch (option) {
    case SQL_QUERY_TIMEOUT:
    case SQL_NOSCAN:
    case SQL_ASYNC_ENABLE:
    case SQL_BIND_TYPE:
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_ROWSET_SIZE:
    case SQL_SIMULATE_CURSOR:
    case SQL_RETRIEVE_DATA:
    case SQL_USE_BOOKMARKS:
      return true;
    default:
      return false;
  }
}

SQLRETURN GetOptionInto(Stmt *stmt, uint16_t option, void *value, bool odbc3) {
  if (!value) return SQL_SUCCESS;
  OptionValue v;
  if (int32_t code = ReadOption(stmt, option, &v)) return Fail(stmt, code);
  PutOption(value, v, odbc3 && IsUlenOption(option));
  return SQL_SUCCESS;
}

// After the agent answered 75 for a set: reads the value it stored. 0 with
// the value, or the read's code (then nothing is to be stored).
int32_t ReadBack(Stmt *stmt, uint16_t option, int64_t *value) {
  stmt->pending = E_01S02;
  OptionValue v;
  if (int32_t code = ReadOption(stmt, option, &v)) return code;
  *value = v.width == 8 ? static_cast<int64_t>(v.bits) : static_cast<int32_t>(v.bits);
  return 0;
}

// A set the agent answered with 0 or 75: stores the requested value, or on
// 75 the value read back (SQL_SUCCESS_WITH_INFO with 01S02; a failed read
// stores nothing and leaves its code). Any other answer is handed to fail.
template <class Store>
SQLRETURN Settle(Stmt *stmt, uint16_t option, int32_t code, int64_t requested, Store store) {
  if (code == 0) {
    store(requested);
    return SQL_SUCCESS;
  }
  // code == E_01S02
  int64_t actual = 0;
  if (int32_t read = ReadBack(stmt, option, &actual)) return Warn(stmt, read);
  store(actual);
  return Warn(stmt, E_01S02);
}

// Before the first change of cursor type or concurrency the asked-for
// values are those the statement started with.
void SyncAsked(ScsCursor &c) {
  if (c.savedConcurrency == 0) {
    c.savedCursorType = c.cursorType;
    c.savedConcurrency = c.concurrency;
  }
}

SQLRETURN SetCursorOption(Stmt *stmt, uint16_t option, uint64_t value) {
  ScsCursor &c = stmt->cursor;
  const auto v32 = static_cast<int32_t>(value);
  int32_t code = Pass(stmt, option, v32);
  if (code != 0 && code != E_01S02) {
    // The agent's refusal (a value no fallback could serve) reads as an
    // option value out of range.
    return Fail(stmt, E_S1092);
  }
  return Settle(stmt, option, code, v32, [&](int64_t x) {
    const auto n = static_cast<int32_t>(x);
    switch (option) {
      case SQL_CURSOR_TYPE:
        SyncAsked(c);
        c.cursorType = c.savedCursorType = n;
        c.flags |= kCursorOptionsChanged;
        break;
      case SQL_CONCURRENCY:
        SyncAsked(c);
        c.concurrency = c.savedConcurrency = n;
        c.flags |= kCursorOptionsChanged;
        break;
      case SQL_KEYSET_SIZE:
        c.keysetSize = n;
        break;
      case SQL_SIMULATE_CURSOR:
        c.simulateCursor = n;
        break;
      case STMT_OPT_SELECT_COLUMNS:
        c.selectColumnsMode = n;
        break;
      default:
        break;
    }
  });
}

SQLRETURN SetMaxLength(Stmt *stmt, uint64_t value) {
  const auto requested = static_cast<int64_t>(value);
  if (!stmt->conn->cn_maxLength) {
    // The agent cannot cut values: only "no limit" is kept as asked.
    if (requested == 0) return SQL_SUCCESS;
    stmt->maxLength = 0;
    return Warn(stmt, E_01S02);
  }
  if (stmt->state == STMT_PREPARED) return Fail(stmt, E_S1011);
  int64_t v = requested;
  if (v != 0 && v < kMinMaxLength) v = kMinMaxLength;
  int32_t code = Pass(stmt, SQL_MAX_LENGTH, static_cast<int32_t>(v));
  if (code != 0 && code != E_01S02) return SQL_ERROR;
  SQLRETURN rc = Settle(stmt, SQL_MAX_LENGTH, code, v, [&](int64_t x) { stmt->maxLength = x; });
  if (rc == SQL_SUCCESS && v != requested) return Warn(stmt, E_01S02);
  return rc;
}

SQLRETURN SetRowsetSize(Stmt *stmt, uint64_t value) {
  ScsCursor &c = stmt->cursor;
  const uint64_t size = value == 0 ? 1 : value;
  // In the middle of handing out a forward-only fetch block one row at a
  // time the size cannot change.
  if (stmt->state == STMT_PREPARED && c.cursorType == SCS_FORWARD_ONLY && c.rowsetSize == 1 &&
      stmt->rowsInBlock != 0 && static_cast<int32_t>(stmt->rowsInBlock) < stmt->fetched.rows)
    return Warn(stmt, E_01S02);
  int32_t code = Pass(stmt, SQL_ROWSET_SIZE, static_cast<int32_t>(size));
  if (code != 0 && code != E_01S02) return SQL_ERROR;
  return Settle(stmt, SQL_ROWSET_SIZE, code, static_cast<int32_t>(size), [&](int64_t x) {
    c.prevRowsetSize = c.rowsetSize;
    c.rowsetSize = static_cast<int32_t>(x);
    c.flags |= SCSF_ROWSET_CHANGED;
  });
}

// Installs an explicit descriptor (or the statement's own implicit one) as
// the current ARD (row) or APD.
SQLRETURN SetAppDesc(Stmt *stmt, bool row, uint64_t value) {
  Desc *own = row ? stmt->implicitArd : stmt->implicitApd;
  Desc *desc = own;
  if (value != 0) {
    desc = static_cast<Desc *>(HandleTable_Lookup(&g_odbc.descs, static_cast<HandleValue>(value)));
    // Not a live descriptor: the value cannot be used.
    if (!desc || desc->magic != MAGIC_DESC) return Fail(stmt, E_S1024);
    if (desc->alloc == DESC_ALLOC_AUTO && desc != own) {
      desc->pending = E_S1017;
      return SQL_ERROR;
    }
    if (desc->alloc == DESC_ALLOC_USER && desc->conn != stmt->conn) {
      desc->pending = E_S1024;
      return SQL_ERROR;
    }
  }
  // Value 0 puts the statement back on its implicit descriptor.
  if (row)
    stmt->ard = desc;
  else
    stmt->apd = desc;
  int code = row ? StmtApplyARD(stmt, desc) : StmtApplyAPD(stmt, desc);
  if (code != 0) {
    desc->pending = code;
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

void *AsPointer(uint64_t value) { return reinterpret_cast<void *>(static_cast<uintptr_t>(value)); }

template <class T>
void Put(void *dest, T v) {
  memcpy(dest, &v, sizeof v);
}

void PutPointer(void *dest, const void *p) { Put<uint64_t>(dest, reinterpret_cast<uintptr_t>(p)); }

// One attribute value written for the caller: what a get call answers.
template <class T>
SQLRETURN Give(void *dest, T v) {
  Put<T>(dest, v);
  return SQL_SUCCESS;
}

SQLRETURN GivePointer(void *dest, const void *p) {
  PutPointer(dest, p);
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN StmtSetOption(Stmt *stmt, uint16_t option, uint64_t value) {
  ScsCursor &c = stmt->cursor;
  const auto v32 = static_cast<int32_t>(value);
  switch (option) {
    case SQL_QUERY_TIMEOUT: {
      const int32_t timeout = v32 < 0 ? 0 : v32;
      int32_t code = Pass(stmt, option, timeout);
      if (code == 0) {
        stmt->queryTimeout = timeout;
        return SQL_SUCCESS;
      }
      if (code == E_01S02 || code == E_S1C00) {
        // The agent cannot time statements out.
        stmt->queryTimeout = 0;
        return Warn(stmt, E_01S02);
      }
      return SQL_ERROR;
    }
    case SQL_MAX_ROWS: {
      int32_t code = Pass(stmt, option, v32);
      if (code != 0 && code != E_01S02) return SQL_ERROR;
      return Settle(stmt, option, code, static_cast<int64_t>(value), [&](int64_t x) { stmt->maxRows = x; });
    }
    case SQL_NOSCAN: {
      const int32_t on = value != 0 ? 1 : 0;
      int32_t code = Pass(stmt, option, on);
      if (code == E_01S02) return SQL_SUCCESS_WITH_INFO;
      if (code != 0) return SQL_ERROR;
      stmt->noScan = on;
      return SQL_SUCCESS;
    }
    case SQL_MAX_LENGTH:
      return SetMaxLength(stmt, value);
    case SQL_ASYNC_ENABLE:
      stmt->asyncEnable = value != 0 ? 1 : 0;
      return SQL_SUCCESS;
    case SQL_BIND_TYPE:
      stmt->bindType = v32;
      return SQL_SUCCESS;
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_KEYSET_SIZE:
    case SQL_SIMULATE_CURSOR:
    case STMT_OPT_SELECT_COLUMNS:
      return SetCursorOption(stmt, option, value);
    case SQL_ROWSET_SIZE:
      return SetRowsetSize(stmt, value);
    case SQL_RETRIEVE_DATA: {
      if (Pass(stmt, option, v32) != 0) return Fail(stmt, E_S1092);
      c.retrieveData = v32;
      return SQL_SUCCESS;
    }
    case SQL_USE_BOOKMARKS:
      c.useBookmarks = value != 0 ? 1 : 0;
      return SQL_SUCCESS;
    case STMT_OPT_PRIVATE_1052:
    case STMT_OPT_PRIVATE_1054: {
      int32_t code = Pass(stmt, option, v32);
      if (code == E_01S02) return SQL_SUCCESS_WITH_INFO;
      if (code != 0) return SQL_ERROR;
      (option == STMT_OPT_PRIVATE_1052 ? c.private1052 : c.private1054) = v32;
      return SQL_SUCCESS;
    }
    default:
      break;
  }
  if (!IsPassThroughOption(option)) return Fail(stmt, E_S1092);
  int32_t code;
  if (option == STMT_OPT_TEXT_1226) {
    code = DrvCall<&DrvOps::DRV_SetInfo>(stmt->drv, stmt->agentCursor, OptionCode(option),
                                         static_cast<const void *>(AsPointer(value)));
    stmt->pending = code;
    code = AgentDone(code, &stmt->pending);
  } else {
    code = Pass(stmt, option, v32);
  }
  if (code == 0) return SQL_SUCCESS;
  if (code == E_01S02) return SQL_SUCCESS_WITH_INFO;
  if (code == E_S1C00) stmt->pending = E_S1092;
  return SQL_ERROR;
}

SQLRETURN StmtGetOption(Stmt *stmt, uint16_t option, void *value) {
  return GetOptionInto(stmt, option, value, false);
}

SQLRETURN StmtGetOptionV(Stmt *stmt, uint16_t option, void *value) {
  const uint64_t slots[] = {ApiSlot(option), ApiSlot(value)};
  return odbc_GetStmtOption(stmt, ApiArgs{slots, 2});
}

SQLRETURN StmtSetAttr(Stmt *stmt, int32_t attr, uint64_t value, int32_t length, char mode) {
  void *ptr = AsPointer(value);
  // The attributes that stand for a header field of one of the statement's
  // descriptors.
  auto headerField = [&](Desc *desc, int16_t field) {
    return DescSetField(desc, 0, field, static_cast<int64_t>(value), length, mode);
  };
  switch (attr) {
    case SQL_QUERY_TIMEOUT:
    case SQL_MAX_ROWS:
    case SQL_NOSCAN:
    case SQL_MAX_LENGTH:
    case SQL_ASYNC_ENABLE:
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_KEYSET_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_SIMULATE_CURSOR:
    case SQL_RETRIEVE_DATA:
    case SQL_USE_BOOKMARKS:
    case SQL_ROW_NUMBER:
    case STMT_OPT_PRIVATE_1052:
    case STMT_OPT_PRIVATE_1054:
      return StmtSetOption(stmt, static_cast<uint16_t>(attr), value);
    case SQL_ATTR_ROW_BIND_TYPE:
      return headerField(stmt->ard, SQL_DESC_BIND_TYPE);
    case SQL_ATTR_ENABLE_AUTO_IPD:
      // The IPD is always filled after a prepare (the description runs at
      // its first read): it cannot be turned off.
      return value != SQL_FALSE ? SQL_SUCCESS : Warn(stmt, E_01S02);
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      stmt->fetchBookmark = ptr;
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      return headerField(stmt->apd, SQL_DESC_BIND_OFFSET_PTR);
    case SQL_ATTR_PARAM_BIND_TYPE:
      return headerField(stmt->apd, SQL_DESC_BIND_TYPE);
    case SQL_ATTR_PARAM_OPERATION_PTR:
      return headerField(stmt->apd, SQL_DESC_ARRAY_STATUS_PTR);
    case SQL_ATTR_PARAMSET_SIZE:
      // An array of no rows is no size: refused, the size in force stays.
      if (value == 0) return Fail(stmt, E_S1024);
      return headerField(stmt->apd, SQL_DESC_ARRAY_SIZE);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      return headerField(stmt->ard, SQL_DESC_BIND_OFFSET_PTR);
    case SQL_ATTR_ROW_OPERATION_PTR:
      return headerField(stmt->ard, SQL_DESC_ARRAY_STATUS_PTR);
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (value == 0) return Fail(stmt, E_S1024);
      return headerField(stmt->ard, SQL_DESC_ARRAY_SIZE);
    case SQL_ATTR_PARAM_STATUS_PTR:
      // NULL withdraws the array: nothing is written to it any more.
      stmt->ipd->arrayStatus = static_cast<uint16_t *>(ptr);
      return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: {
      auto *processed = static_cast<uint64_t *>(ptr);
      stmt->ipd->rowsProcessed = processed;
      uint64_t size = stmt->apd->arraySize ? stmt->apd->arraySize : 1;
      if (int code = StmtSetParamsetSize(stmt, size, processed)) return Fail(stmt, code);
      return SQL_SUCCESS;
    }
    case SQL_ATTR_ROW_STATUS_PTR:
      stmt->ird->arrayStatus = static_cast<uint16_t *>(ptr);
      return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR:
      stmt->rowsFetched = static_cast<uint64_t *>(ptr);
      stmt->ird->rowsProcessed = static_cast<uint64_t *>(ptr);
      return SQL_SUCCESS;
    case SQL_ATTR_APP_ROW_DESC:
      return SetAppDesc(stmt, true, value);
    case SQL_ATTR_APP_PARAM_DESC:
      return SetAppDesc(stmt, false, value);
    case SQL_ATTR_METADATA_ID:
      // Catalog arguments are always taken as patterns, which is what
      // SQL_FALSE asks for.
      return value == SQL_FALSE ? SQL_SUCCESS : Fail(stmt, E_S1C00);
    case SQL_ATTR_CURSOR_SCROLLABLE: {
      if (value == SQL_NONSCROLLABLE) return StmtSetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
      if (value != SQL_SCROLLABLE || stmt->cursor.cursorType != SCS_FORWARD_ONLY) return SQL_SUCCESS;
      SQLRETURN rc = StmtSetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
      if (rc == SQL_SUCCESS_WITH_INFO && stmt->cursor.cursorType != SCS_FORWARD_ONLY) {
        // Any scrollable type is what was asked for.
        stmt->pending = 0;
        return SQL_SUCCESS;
      }
      return rc;
    }
    case SQL_ATTR_CURSOR_SENSITIVITY: {
      if (value == SQL_UNSPECIFIED) return SQL_SUCCESS;
      if (value == kInsensitive) {
        SQLRETURN rc = StmtSetOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY);
        if (rc != SQL_SUCCESS) return rc;
        rc = StmtSetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
        if (rc == SQL_SUCCESS_WITH_INFO) {
          stmt->pending = 0;
          return SQL_SUCCESS;
        }
        return rc;
      }
      if (value == kSensitive) {
        if (stmt->cursor.concurrency != SCS_READ_ONLY) return SQL_SUCCESS;
        SQLRETURN rc = StmtSetOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_VALUES);
        if (rc == SQL_SUCCESS_WITH_INFO && stmt->cursor.concurrency != SCS_READ_ONLY) {
          stmt->pending = 0;
          return SQL_SUCCESS;
        }
        return rc;
      }
      return Fail(stmt, E_S1024);
    }
    default:
      return Fail(stmt, E_S1092);
  }
}

SQLRETURN odbc_SetStmtOption(void *object, const ApiArgs &args) {
  return StmtSetOption(static_cast<Stmt *>(object), args.u16(0), args.u64(1));
}

SQLRETURN odbc_GetStmtOption(void *object, const ApiArgs &args) {
  return StmtGetOption(static_cast<Stmt *>(object), args.u16(0), args.ptr(1));
}

SQLRETURN odbc_SetStmtAttr(void *object, const ApiArgs &args) {
  return StmtSetAttr(static_cast<Stmt *>(object), args.i32(0), args.u64(1), args.i32(2), args.mode(3));
}

SQLRETURN odbc_GetStmtAttr(void *object, const ApiArgs &args) {
  auto *stmt = static_cast<Stmt *>(object);
  const int32_t attr = args.i32(0);
  void *value = args.ptr(1);
  auto *length = args.ptr<SQLINTEGER>(3);
  switch (attr) {
    case SQL_QUERY_TIMEOUT:
    case SQL_MAX_ROWS:
    case SQL_NOSCAN:
    case SQL_MAX_LENGTH:
    case SQL_ASYNC_ENABLE:
    case SQL_BIND_TYPE:
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_KEYSET_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_SIMULATE_CURSOR:
    case SQL_RETRIEVE_DATA:
    case SQL_USE_BOOKMARKS:
    case SQL_GET_BOOKMARK:
    case SQL_ROW_NUMBER:
    case STMT_OPT_1048:
    case STMT_OPT_1049:
    case STMT_OPT_PRIVATE_1052:
    case STMT_OPT_PRIVATE_1054:
      return GetOptionInto(stmt, static_cast<uint16_t>(attr), value, true);
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC: {
      const Desc *d = attr == SQL_ATTR_APP_ROW_DESC     ? stmt->ard
                      : attr == SQL_ATTR_APP_PARAM_DESC ? stmt->apd
                      : attr == SQL_ATTR_IMP_ROW_DESC   ? stmt->ird
                                                        : stmt->ipd;
      // The Driver Manager asks for these with no length pointer; the
      // handle is a full SQLHANDLE.
      if (value) Put<uint64_t>(value, d ? d->handle : 0);
      if (length) *length = SQL_IS_POINTER;
      return SQL_SUCCESS;
    }
    default:
      break;
  }
  if (!value) {
    // Still refuse what does not exist, but never write through null.
    switch (attr) {
      case SQL_ATTR_ENABLE_AUTO_IPD: case SQL_ATTR_FETCH_BOOKMARK_PTR: case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      case SQL_ATTR_PARAM_BIND_TYPE: case SQL_ATTR_PARAM_OPERATION_PTR: case SQL_ATTR_PARAM_STATUS_PTR:
      case SQL_ATTR_PARAMS_PROCESSED_PTR: case SQL_ATTR_PARAMSET_SIZE: case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      case SQL_ATTR_ROW_OPERATION_PTR: case SQL_ATTR_ROW_STATUS_PTR: case SQL_ATTR_ROWS_FETCHED_PTR:
      case SQL_ATTR_ROW_ARRAY_SIZE: case SQL_ATTR_CURSOR_SCROLLABLE: case SQL_ATTR_CURSOR_SENSITIVITY:
      case SQL_ATTR_METADATA_ID:
        return SQL_SUCCESS;
      default:
        return Fail(stmt, E_S1092);
    }
  }
  const ScsCursor &c = stmt->cursor;
  switch (attr) {
    case SQL_ATTR_ENABLE_AUTO_IPD:
      return Give<uint32_t>(value, SQL_TRUE);
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      return GivePointer(value, stmt->fetchBookmark);
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      return GivePointer(value, stmt->apd->bindOffset);
    case SQL_ATTR_PARAM_BIND_TYPE:
      // An SQLULEN: the whole variable is written.
      return Give<uint64_t>(value, static_cast<uint32_t>(stmt->apd->bindType));
    case SQL_ATTR_PARAM_OPERATION_PTR:
      return GivePointer(value, stmt->apd->arrayStatus);
    case SQL_ATTR_PARAM_STATUS_PTR:
      return GivePointer(value, stmt->ipd->arrayStatus);
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
      return GivePointer(value, stmt->rowsProcessed);
    case SQL_ATTR_PARAMSET_SIZE:
      return Give<uint64_t>(value, stmt->paramsetSize);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      return GivePointer(value, stmt->ard->bindOffset);
    case SQL_ATTR_ROW_OPERATION_PTR:
      return GivePointer(value, stmt->ard->arrayStatus);
    case SQL_ATTR_ROW_STATUS_PTR:
      return GivePointer(value, stmt->ird->arrayStatus);
    case SQL_ATTR_ROWS_FETCHED_PTR:
      return GivePointer(value, stmt->rowsFetched);
    case SQL_ATTR_ROW_ARRAY_SIZE:
      return Give<int64_t>(value, c.rowsetSize);
    case SQL_ATTR_CURSOR_SCROLLABLE:
      return Give<uint64_t>(value,
                            c.cursorType == SCS_KEYSET || c.cursorType == SCS_DYNAMIC || c.cursorType == SCS_STATIC
                                ? SQL_SCROLLABLE
                                : SQL_NONSCROLLABLE);
    case SQL_ATTR_CURSOR_SENSITIVITY:
      return Give<uint64_t>(value, c.concurrency == SCS_READ_ONLY ? kInsensitive : kSensitive);
    case SQL_ATTR_METADATA_ID:
      return Give<uint64_t>(value, SQL_FALSE);
    default:
      return Fail(stmt, E_S1092);
  }
}
