// Connection options and attributes.
#include "odbc/connopt.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "odbc/connattr.h"
#include "odbc/conn.h"
#include "odbc/setup.h"
#include "odbc/sqlstate.h"
#include "odbc/stmtattr.h"
#include "util/codepage.h"
#include "util/mpl.h"
#include "util/utalloc.h"
#include "util/utf.h"
#include "xa/oletx.h"

DtcService g_dtcService = {OleTx_Init,     OleTx_CreateDispenser,  OleTx_RMConnect, OleTx_RMEnlist,
                           OleTx_ReleaseDispenser, OleTx_DispenserHeld};

void DtcServiceReset() {
  g_dtcService = {OleTx_Init,     OleTx_CreateDispenser,  OleTx_RMConnect, OleTx_RMEnlist,
                  OleTx_ReleaseDispenser, OleTx_DispenserHeld};
}

namespace {

// Options of the driver passed to the agent as 0x22030000 + option (numbers)
// or 0x21030000 + option (texts).
bool IsDriverTextOption(int32_t o) { return o == 1212 || o == 1214 || o == 1254; }
bool IsDriverIntSetOption(int32_t o) {
  return (o >= 1201 && o <= 1206) || o == 1208 || o == 1210 || o == 1211 || o == 1213 || (o >= 1215 && o <= 1219) ||
         o == 1252 || o == 1253 || (o >= 1255 && o <= 1259) || o == 1262;
}
bool IsDriverIntGetOption(int32_t o) {
  return (o >= 1201 && o <= 1211) || o == 1213 || (o >= 1215 && o <= 1219) || o == 1252 || o == 1253 ||
         (o >= 1255 && o <= 1259) || o == 1262;
}

constexpr uint16_t kOptFailoverCallback = 1280;
constexpr uint16_t kOptFailoverContext = 1281;
constexpr uint16_t kOptProgramName = 1051;

bool Connected(const Conn *conn) { return conn->state == CONN_CONNECTED; }
bool Odbc3(const Conn *conn) { return conn->env == nullptr || conn->env->odbcVersion != SQL_OV_ODBC2; }

SQLRETURN Fail(Conn *conn, int32_t code) {
  conn->pending = code;
  return SQL_ERROR;
}

// Sends an integer to the agent connection when connected: its result is
// the pending code; a refusal brings the agent's messages along. A changed
// value (01S02) is a warning.
SQLRETURN SendInt(Conn *conn, uint32_t code, int32_t value) {
  if (!Connected(conn)) return SQL_SUCCESS;
  int32_t rc = DrvCall<&DrvOps::DRV_SetInfo>(&conn->drv, conn->agentConn, code, &value);
  conn->pending = rc;
  if (rc == 0) return SQL_SUCCESS;
  if (rc == E_IM500) return SQL_SUCCESS_WITH_INFO;  // a failover completed on the way
  if (rc == E_01S02) return SQL_SUCCESS_WITH_INFO;
  if (rc == E_IM902) {  // set, with the database's warning (a commit mode switch ended a transaction)
    conn->pending = 0;
    ConnGetMsgs(conn, nullptr);
    return SQL_SUCCESS_WITH_INFO;
  }
  ConnGetMsgs(conn, nullptr);
  return SQL_ERROR;
}

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A text value of the call: UTF-16 in mode 'W', the caller's bytes in 'A'.
// These make the forms each field keeps.
char *TextToUtf8(const void *value, char mode) {
  if (value == nullptr) return nullptr;
  if (mode == 'W') return utf16_to_utf8_dup(static_cast<const uint16_t *>(value));
  return s_strdup(static_cast<const char *>(value));
}
char *TextToAnsi(const void *value, char mode) {
  if (value == nullptr) return nullptr;
  if (mode == 'W') return utf16_to_ansi_dup(static_cast<const uint16_t *>(value));
  return s_strdup(static_cast<const char *>(value));
}

void ReplaceOwned(char **slot, char *text) {
  free(*slot);
  *slot = text;
}

// The encoding of a text the driver hands out.
enum TextSource { TEXT_UTF8, TEXT_ANSI };

// Copies a text into the caller's buffer of bufBytes bytes, in the call's
// form (UTF-16 for 'W'); *fullBytes receives the whole text's length in
// bytes. True when the text had to be cut (also when no character fits).
bool PutText(const char *text, TextSource source, char mode, void *buf, int64_t bufBytes, int64_t *fullBytes) {
  if (bufBytes > INT32_MAX) bufBytes = INT32_MAX;
  const auto n = static_cast<int32_t>(bufBytes < 0 ? 0 : bufBytes);
  if (mode == 'W') {
    auto *out = static_cast<uint16_t *>(buf);
    uint32_t count = 0;
    int cut;
    if (source == TEXT_ANSI) {
      cut = ansi_to_utf16_bufb(text, out, n, &count);  // count in bytes
      *fullBytes = count;
    } else {
      cut = utf8_to_utf16_bufb(text, out, n, &count);  // count in units
      *fullBytes = static_cast<int64_t>(count) * 2;
    }
    // No room for even the terminator: nothing is written, and a text that
    // is not empty counts as cut.
    if (out == nullptr) return false;
    return n < 2 ? *fullBytes > 0 : cut != 0;
  }
  const size_t len = strlen(text);
  *fullBytes = static_cast<int64_t>(len);
  if (buf == nullptr) return false;
  if (n < 1) return len > 0;
  auto *out = static_cast<char *>(buf);
  const size_t copy = len < static_cast<size_t>(n) ? len : static_cast<size_t>(n) - 1;
  memcpy(out, text, copy);
  out[copy] = '\0';
  return copy < len;
}

template <class T>
void PutValue(void *value, T v) {
  if (value != nullptr) memcpy(value, &v, sizeof v);
}

// ---- Texts the options hand out ----

// The text of a text option and its encoding. SQL_SUCCESS with *text (owned,
// never NULL), SQL_NO_DATA (translate library not set), or SQL_ERROR with
// the pending code. SQL_SUCCESS with *text NULL: nothing to write (a driver
// text option on an unconnected connection).
SQLRETURN TextOptionGet(Conn *conn, uint16_t option, char **text, TextSource *source) {
  *text = nullptr;
  *source = TEXT_UTF8;
  switch (option) {
    case SQL_OPT_TRACEFILE:
      *text = s_strdup("");
      return SQL_SUCCESS;
    case SQL_TRANSLATE_DLL:
      if (conn->translateLib == nullptr) return SQL_NO_DATA;
      *text = s_strdup(conn->translateLib);
      *source = TEXT_ANSI;
      return SQL_SUCCESS;
    default:
      break;
  }
  uint32_t code;
  if (option == SQL_CURRENT_QUALIFIER) {
    if (conn->agentConn == 0) {
      *text = s_strdup("");
      return SQL_SUCCESS;
    }
    code = INFO_CUR_QUALIFIER;
  } else {
    if (!Connected(conn)) return SQL_SUCCESS;
    code = InfoConnOptionStr(option);
  }
  char buf[kConnOptionTextMax] = {};
  int16_t len = 0;
  int32_t rc = AgentDone(DrvCall<&DrvOps::DRV_GetInfo>(&conn->drv, conn->agentConn, code, buf, uint16_t{sizeof buf}, &len),
                         &conn->pending);
  if (rc != 0) return Fail(conn, rc == E_IM001 ? E_S1092 : rc);
  buf[sizeof buf - 1] = '\0';
  *text = s_strdup(buf);
  return SQL_SUCCESS;
}

// ---- DTC enlistment ----

void ReleaseDispenser(Conn *conn) {
  if (conn->dtcDispenser != nullptr) g_dtcService.releaseDispenser(conn->dtcDispenser);
  conn->dtcDispenser = nullptr;
  conn->dtcEnlisted = 0;
}

bool DtcFailed(int32_t rc) { return (rc & 0xFFFF) != 0; }

SQLRETURN EnlistInDtc(Conn *conn, void *transaction) {
  if (!Odbc3(conn) || !conn->cn_dtc) return Fail(conn, E_IM001);
  if (!Connected(conn)) return Fail(conn, E_08003);
  if (transaction == nullptr) {
    if (!conn->dtcEnlisted) return Fail(conn, E_25000);
    ReleaseDispenser(conn);
    return SQL_SUCCESS;
  }
  if (conn->dtcEnlisted) return SQL_SUCCESS;
  if (DtcFailed(g_dtcService.init())) return Fail(conn, E_IM932);
  ReleaseDispenser(conn);

  // The text the dispenser connects with: values in braces where they need
  // them, so that a ';' in a user name or password stays inside its value.
  MemPool pool;
  mpl_init(&pool);
  ConnStrAppendItem(&pool, "DSN", conn->dsn);
  mpl_append_byte(&pool, ';');
  ConnStrAppendItem(&pool, "UID", conn->user);
  mpl_append_byte(&pool, ';');
  ConnStrAppendItem(&pool, "PWD", conn->password);
  mpl_append(&pool, ";", 2);
  const char *text = static_cast<const char *>(mpl_finish(&pool));
  COdbcResourceDispenser *dispenser = g_dtcService.createDispenser(
      transaction, conn->agentServer, conn->agentConn, &conn->drv, &conn->connLock, &conn->callLock, text);
  mpl_free_all(&pool);
  if (dispenser == nullptr) return Fail(conn, E_IM932);
  conn->dtcDispenser = dispenser;
  if (!DtcFailed(g_dtcService.rmConnect(dispenser)) && !DtcFailed(g_dtcService.rmEnlist(dispenser))) {
    conn->dtcEnlisted = 1;
    return SQL_SUCCESS;
  }
  ReleaseDispenser(conn);
  return Fail(conn, E_IM932);
}

// ---- The ODBC 2 implementations ----

SQLRETURN SetOption(Conn *conn, uint16_t option, uint64_t value, char mode) {
  const auto i32 = static_cast<int32_t>(value);
  void *ptr = reinterpret_cast<void *>(static_cast<uintptr_t>(value));
  switch (option) {
    case SQL_QUERY_TIMEOUT:
    case SQL_MAX_ROWS:
    case SQL_NOSCAN:
    case SQL_MAX_LENGTH:
    case SQL_BIND_TYPE:
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_KEYSET_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_SIMULATE_CURSOR:
    case SQL_RETRIEVE_DATA:
    case SQL_USE_BOOKMARKS:
      if (Odbc3(conn)) return Fail(conn, E_IM001);
      return ConnSetStmtOption(conn, option, value);
    case SQL_ASYNC_ENABLE:
      if (Odbc3(conn)) return Fail(conn, E_IM001);
      if (value != 0)
        conn->flags |= CONNF_ASYNC;
      else
        conn->flags &= static_cast<uint16_t>(~CONNF_ASYNC);
      return SQL_SUCCESS;
    case SQL_ACCESS_MODE: {
      const int32_t readOnly = value != 0 ? 1 : 0;
      SQLRETURN rc = SendInt(conn, INFO_ACCESS_MODE, readOnly);
      if (!Succeeded(rc)) return rc;
      if (value == SQL_MODE_READ_ONLY) conn->flags |= CONNF_READ_ONLY;
      if (value == SQL_MODE_READ_WRITE) conn->flags &= static_cast<uint16_t>(~CONNF_READ_ONLY);
      // Kept for the connections this handle opens later.
      conn->flags |= CONNF_ACCESS_ASKED;
      if (readOnly)
        conn->flags |= CONNF_ACCESS_VALUE;
      else
        conn->flags &= static_cast<uint16_t>(~CONNF_ACCESS_VALUE);
      return rc;
    }
    case SQL_AUTOCOMMIT: {
      const bool on = value != 0;
      SQLRETURN rc = SendInt(conn, INFO_AUTOCOMMIT, on ? 1 : 0);
      if (!Succeeded(rc)) return rc;
      const auto bits = static_cast<uint16_t>(uint16_t{CONNF_AUTOCOMMIT} | uint16_t{CONNF_AUTOCOMMIT_VALUE});
      if (on)
        conn->flags |= bits;
      else
        conn->flags &= static_cast<uint16_t>(~bits);
      conn->flags |= CONNF_AUTOCOMMIT_ASKED;
      return rc;
    }
    case SQL_LOGIN_TIMEOUT:
      conn->loginTimeout = i32;
      return SQL_SUCCESS;
    case SQL_OPT_TRACE:
    case SQL_OPT_TRACEFILE:
    case SQL_PACKET_SIZE:
      return SQL_SUCCESS;
    case SQL_TRANSLATE_DLL:
      ReplaceOwned(&conn->translateLib, TextToAnsi(ptr, mode));
      return SQL_SUCCESS;
    case SQL_TRANSLATE_OPTION:
      conn->translateOption = i32;
      return SQL_SUCCESS;
    case SQL_TXN_ISOLATION: {
      SQLRETURN rc = SendInt(conn, INFO_ISOLATION, i32);
      if (!Succeeded(rc)) return rc;
      conn->isolation = i32;
      return rc;
    }
    case SQL_CURRENT_QUALIFIER: {
      if (!Connected(conn)) return SQL_SUCCESS;
      for (Stmt *s = conn->statements; s != nullptr; s = s->next)
        if (s->flags & STMTF_RESULT_OPEN) return Fail(conn, E_24000);
      char *utf8 = TextToUtf8(ptr, mode);
      int32_t rc =
          DrvCall<&DrvOps::DRV_SetInfo>(&conn->drv, conn->agentConn, INFO_SET_QUALIFIER, utf8 != nullptr ? utf8 : "");
      free(utf8);
      conn->pending = rc;
      if (rc != 0 && rc != E_01S02 && rc != E_IM500) {
        ConnGetMsgs(conn, nullptr);
        return SQL_ERROR;
      }
      ReplaceOwned(&conn->dbPath, TextToAnsi(ptr, mode));
      return rc == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
    }
    case SQL_QUIET_MODE:
      g_msgBoxOwner = static_cast<std::intptr_t>(value);
      return SQL_SUCCESS;
    case kOptProgramName:
      if (Connected(conn)) return Fail(conn, E_S1010);
      ReplaceOwned(&conn->programName, TextToAnsi(ptr, mode));
      return SQL_SUCCESS;
    case SQL_ATTR_ENLIST_IN_DTC:
      return EnlistInDtc(conn, ptr);
    case kOptFailoverCallback: {
      if (!Connected(conn)) return Fail(conn, E_S1010);
      if (!conn->cn_failoverCb) return Fail(conn, E_S1C00);
      SQLRETURN rc = SendInt(conn, INFO_FAILOVER_REPORT, ptr != nullptr ? 1 : 0);
      if (!Succeeded(rc)) return rc;
      conn->failoverCallback = reinterpret_cast<FailoverCallbackFn>(ptr);
      return rc;
    }
    case kOptFailoverContext:
      if (!Connected(conn)) return Fail(conn, E_S1010);
      if (!conn->cn_failoverCb) return Fail(conn, E_S1C00);
      conn->failoverContext = ptr;
      return SQL_SUCCESS;
    default:
      break;
  }
  if (IsDriverIntSetOption(option) || IsDriverTextOption(option)) {
    if (!Connected(conn)) return SQL_SUCCESS;
    int32_t rc;
    char *utf8 = nullptr;
    if (IsDriverTextOption(option)) {
      utf8 = TextToUtf8(ptr, mode);
      rc = DrvCall<&DrvOps::DRV_SetInfo>(&conn->drv, conn->agentConn, InfoConnOptionStr(option),
                                         utf8 != nullptr ? utf8 : "");
    } else {
      rc = DrvCall<&DrvOps::DRV_SetInfo>(&conn->drv, conn->agentConn, InfoConnOption(option), &i32);
    }
    free(utf8);
    conn->pending = rc == E_S1C00 ? E_S1092 : rc;
    if (rc == 0) return SQL_SUCCESS;
    if (rc == E_IM500) return SQL_SUCCESS_WITH_INFO;  // a failover completed on the way
    if (IsDriverTextOption(option)) ConnGetMsgs(conn, nullptr);
    return SQL_ERROR;
  }
  return Fail(conn, E_S1092);
}

// Reads an option into value; texts bounded by textBytes bytes (cut: 01004).
// *fullBytes (when given) receives a text's whole length in bytes.
SQLRETURN GetOption(Conn *conn, uint16_t option, void *value, char mode, int64_t textBytes, int64_t *fullBytes) {
  switch (option) {
    case SQL_ASYNC_ENABLE:
      PutValue<int32_t>(value, (conn->flags & CONNF_ASYNC) ? 1 : 0);
      return SQL_SUCCESS;
    case SQL_ACCESS_MODE:
      PutValue<int32_t>(value, (conn->flags & CONNF_READ_ONLY) ? 1 : 0);
      return SQL_SUCCESS;
    case SQL_AUTOCOMMIT:
      PutValue<int32_t>(value, (conn->flags & CONNF_AUTOCOMMIT) ? 1 : 0);
      return SQL_SUCCESS;
    case SQL_LOGIN_TIMEOUT:
      PutValue<int32_t>(value, conn->loginTimeout);
      return SQL_SUCCESS;
    case SQL_TRANSLATE_OPTION:
      PutValue<int32_t>(value, conn->translateOption);
      return SQL_SUCCESS;
    case SQL_TXN_ISOLATION:
      PutValue<int32_t>(value, conn->isolation);
      return SQL_SUCCESS;
    case SQL_OPT_TRACE:
    case SQL_ODBC_CURSORS:
      PutValue<int32_t>(value, 0);
      return SQL_SUCCESS;
    case SQL_QUIET_MODE: {
      const int64_t owner = g_msgBoxOwner == -2 ? 0 : static_cast<int64_t>(g_msgBoxOwner);
      PutValue<int64_t>(value, owner);
      return SQL_SUCCESS;
    }
    case SQL_PACKET_SIZE:
      PutValue<int32_t>(value, 4096);
      return SQL_SUCCESS;
    default:
      break;
  }
  if (option == SQL_OPT_TRACEFILE || option == SQL_TRANSLATE_DLL || option == SQL_CURRENT_QUALIFIER ||
      IsDriverTextOption(option)) {
    char *text = nullptr;
    TextSource source;
    SQLRETURN rc = TextOptionGet(conn, option, &text, &source);
    if (rc != SQL_SUCCESS || text == nullptr) return rc;
    int64_t full = 0;
    const bool cut = PutText(text, source, mode, value, textBytes, &full);
    free(text);
    if (fullBytes != nullptr) *fullBytes = full;
    if (cut) {
      conn->pending = E_01004;
      return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
  }
  if (IsDriverIntGetOption(option)) {
    if (!Connected(conn)) return SQL_SUCCESS;
    int32_t v = 0;
    int16_t len = 0;
    int32_t rc = AgentDone(
        DrvCall<&DrvOps::DRV_GetInfo>(&conn->drv, conn->agentConn, InfoConnOption(option), &v, uint16_t{4}, &len),
        &conn->pending);
    if (rc != 0) return Fail(conn, rc == E_IM001 ? E_S1092 : rc);
    PutValue<int32_t>(value, v);
    return SQL_SUCCESS;
  }
  return Fail(conn, E_S1092);
}

// A NUL-terminated copy of a text attribute given with an explicit length
// (bytes; in mode 'W' UTF-16 units are length / 2). NULL for SQL_NTS, where
// the caller's text is used as it is.
void *TerminatedCopy(const void *value, int32_t length, char mode) {
  if (value == nullptr || length == SQL_NTS) return nullptr;
  if (mode == 'W') {
    const auto units = static_cast<size_t>(length / 2);
    auto *copy = static_cast<uint16_t *>(s_alloc(units + 1, sizeof(uint16_t)));
    memcpy(copy, value, units * sizeof(uint16_t));
    copy[units] = 0;
    return copy;
  }
  auto *copy = static_cast<char *>(s_alloc(static_cast<size_t>(length) + 1, 1));
  memcpy(copy, value, static_cast<size_t>(length));
  copy[length] = '\0';
  return copy;
}

bool IsTextAttribute(int32_t attr) {
  return attr == SQL_ATTR_TRACEFILE || attr == SQL_ATTR_TRANSLATE_LIB || attr == SQL_ATTR_CURRENT_CATALOG ||
         attr == kOptProgramName;
}

}  // namespace

SQLRETURN ConnSetStmtOption(Conn *conn, uint16_t option, uint64_t value) {
  const auto i32 = static_cast<int32_t>(value);
  ScsCursor &c = conn->cursorDefaults;
  switch (option) {
    case SQL_QUERY_TIMEOUT: conn->queryTimeoutDefault = i32; break;
    case SQL_MAX_ROWS: conn->maxRowsDefault = static_cast<int64_t>(value); break;
    case SQL_NOSCAN: conn->noScanDefault = i32; break;
    case SQL_MAX_LENGTH: conn->maxLengthDefault = static_cast<int64_t>(value); break;
    case SQL_BIND_TYPE: conn->bindTypeDefault = i32; break;
    case SQL_CURSOR_TYPE: c.cursorType = i32; break;
    case SQL_CONCURRENCY: c.concurrency = i32; break;
    case SQL_KEYSET_SIZE: c.keysetSize = i32; break;
    case SQL_ROWSET_SIZE: c.rowsetSize = i32; break;
    case SQL_SIMULATE_CURSOR: c.simulateCursor = i32; break;
    case SQL_RETRIEVE_DATA: c.retrieveData = i32; break;
    case SQL_USE_BOOKMARKS: c.useBookmarks = i32; break;
    default: break;
  }
  for (Stmt *stmt = conn->statements; stmt != nullptr; stmt = stmt->next) {
    SQLRETURN rc = StmtSetOption(stmt, option, value);
    if (rc != SQL_SUCCESS) return rc;
  }
  return SQL_SUCCESS;
}

SQLRETURN odbc_SetConnectOption(void *object, const ApiArgs &args) {
  return SetOption(static_cast<Conn *>(object), args.u16(0), args.u64(1), args.mode(2));
}

SQLRETURN odbc_GetConnectOption(void *object, const ApiArgs &args) {
  // The ODBC 2 call has no buffer length: a text gets the ODBC 2 maximum
  // option string.
  return GetOption(static_cast<Conn *>(object), args.u16(0), args.ptr(1), args.mode(2), kConnOptionTextMax,
                   nullptr);
}

SQLRETURN odbc_SetConnectAttr(void *object, const ApiArgs &args) {
  auto *conn = static_cast<Conn *>(object);
  const int32_t attr = args.i32(0);
  void *value = args.ptr(1);
  const int32_t length = args.i32(2);
  const char mode = args.mode(3);
  switch (attr) {
    case SQL_ATTR_ASYNC_ENABLE:
      conn->odbc3Async = static_cast<int32_t>(reinterpret_cast<uintptr_t>(value));
      for (Stmt *s = conn->statements; s != nullptr; s = s->next) s->asyncEnable = conn->odbc3Async;
      return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT:
    case SQL_ATTR_AUTO_IPD:
      return Fail(conn, E_IM001);
    case SQL_ATTR_METADATA_ID:
      // Catalog arguments are always taken as patterns: SQL_FALSE is what
      // the driver does anyway.
      if (value == reinterpret_cast<void *>(static_cast<uintptr_t>(SQL_FALSE))) return SQL_SUCCESS;
      return Fail(conn, E_IM001);
    default:
      break;
  }
  const bool forwarded = (attr >= 0 && attr <= 3) || (attr >= 5 && attr <= 8) || (attr >= 10 && attr <= 12) ||
                         attr == 14 || (attr >= 101 && attr <= 112) || attr == kOptProgramName ||
                         attr == SQL_ATTR_ENLIST_IN_DTC || attr == kOptFailoverCallback ||
                         attr == kOptFailoverContext;
  if (!forwarded) return Fail(conn, E_S1092);
  if (IsTextAttribute(attr)) {
    if (length < 0 && length != SQL_NTS) return Fail(conn, E_S1090);
    void *copy = TerminatedCopy(value, length, mode);
    SQLRETURN rc = SetOption(conn, static_cast<uint16_t>(attr), reinterpret_cast<uintptr_t>(copy ? copy : value), mode);
    free(copy);
    return rc;
  }
  return SetOption(conn, static_cast<uint16_t>(attr), reinterpret_cast<uintptr_t>(value), mode);
}

SQLRETURN odbc_GetConnectAttr(void *object, const ApiArgs &args) {
  auto *conn = static_cast<Conn *>(object);
  const int32_t attr = args.i32(0);
  void *value = args.ptr(1);
  const int32_t bufLen = args.i32(2);
  auto *outLen = args.ptr<SQLINTEGER>(3);
  const char mode = args.mode(4);
  switch (attr) {
    case SQL_ATTR_ASYNC_ENABLE:
      PutValue<int32_t>(value, conn->odbc3Async);
      return SQL_SUCCESS;
    case SQL_QUERY_TIMEOUT:
      if (Odbc3(conn)) return Fail(conn, E_IM001);
      PutValue<int32_t>(value, conn->queryTimeoutDefault);
      return SQL_SUCCESS;
    case SQL_MAX_ROWS:
      if (outLen != nullptr) *outLen = SQL_NTS;
      return GetOption(conn, static_cast<uint16_t>(attr), value, mode, 0, nullptr);
    case SQL_ATTR_CONNECTION_DEAD:
      PutValue<int32_t>(value, 0);
      return SQL_SUCCESS;
    case SQL_ATTR_AUTO_IPD:
      // After a prepare the IPD's records hold the markers' descriptions,
      // as SQLDescribeParam gives them.
      PutValue<int32_t>(value, SQL_TRUE);
      return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID:
      PutValue<int32_t>(value, SQL_FALSE);
      return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT:
      return Fail(conn, E_IM001);
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_CURRENT_CATALOG: {
      if (bufLen < 0) return Fail(conn, E_S1090);
      int64_t full = 0;
      SQLRETURN rc = GetOption(conn, static_cast<uint16_t>(attr), value, mode, bufLen, &full);
      if (Succeeded(rc) && outLen != nullptr) *outLen = static_cast<SQLINTEGER>(full > INT32_MAX ? INT32_MAX : full);
      return rc;
    }
    default:
      break;
  }
  if ((attr >= 101 && attr <= 104) || attr == 107 || attr == 108 || (attr >= 110 && attr <= 112))
    return GetOption(conn, static_cast<uint16_t>(attr), value, mode, 0, nullptr);
  return Fail(conn, E_S1092);
}
