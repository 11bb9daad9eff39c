// SQLError, SQLGetDiagRec and SQLGetDiagField over a handle's messages and
// pending error code.
#include "odbc/diag.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "util/utf.h"

namespace {

constexpr char kMsgPrefix[] = "[Zezuzeru][ODBC]";
constexpr char kDriverPrefix[] = "[Zezuzeru][ODBC][Driver]";
constexpr char kStateMarker[] = "[SQLSTATE:";
constexpr size_t kStateMarkerLen = sizeof kStateMarker - 1;

// What the diagnostic functions need of one handle object.
struct DiagView {
  int kind = 0;  // HandleKind
  int32_t *pending = nullptr;
  DiagMsg **messages = nullptr;
  int version = 3;      // the environment's ODBC version
  Conn *conn = nullptr; // whose data source name the record reports
  Stmt *stmt = nullptr; // statements only
};

int VersionOf(const Envr *env) { return env ? env->odbcVersion : 3; }

bool ViewOf(void *object, DiagView *v) {
  if (!object) return false;
  switch (*static_cast<const int32_t *>(object)) {
    case MAGIC_ENVR: {
      auto *e = static_cast<Envr *>(object);
      *v = {HK_ENV, &e->pending, &e->messages, VersionOf(e), nullptr, nullptr};
      return true;
    }
    case MAGIC_CONN: {
      auto *c = static_cast<Conn *>(object);
      *v = {HK_DBC, &c->pending, &c->messages, VersionOf(c->env), c, nullptr};
      return true;
    }
    case MAGIC_STMT: {
      auto *s = static_cast<Stmt *>(object);
      *v = {HK_STMT, &s->pending, &s->messages, s->conn ? VersionOf(s->conn->env) : 3, s->conn, s};
      return true;
    }
    case MAGIC_DESC: {
      auto *d = static_cast<Desc *>(object);
      Conn *c = DescConn(d);
      *v = {HK_DESC, &d->pending, &d->messages, c ? VersionOf(c->env) : 3, c, nullptr};
      return true;
    }
    default:
      return false;
  }
}

int CountOf(const DiagView &v) {
  int n = 0;
  for (const DiagMsg *m = *v.messages; m; m = m->next) ++n;
  return n == 0 ? 1 : n;
}

int16_t Len16(size_t n) { return static_cast<int16_t>(std::min<size_t>(n, INT16_MAX)); }

// The parts of one message text; written concatenated.
struct Parts {
  const char *p[2];
  size_t n[2];
  size_t total() const { return n[0] + n[1]; }
};

// Writes the parts into buf of bufLen bytes, cut to bufLen - 1 bytes and a
// NUL when they do not fit (nothing at all for bufLen <= 0). True when cut.
bool PutParts(const Parts &parts, char *buf, int bufLen) {
  const size_t total = parts.total();
  if (bufLen > 0 && static_cast<size_t>(bufLen) > total) {
    if (buf) {
      memcpy(buf, parts.p[0], parts.n[0]);
      memcpy(buf + parts.n[0], parts.p[1], parts.n[1]);
      buf[total] = '\0';
    }
    return false;
  }
  if (buf && bufLen > 0) {
    size_t room = static_cast<size_t>(bufLen) - 1;
    size_t first = std::min(room, parts.n[0]);
    memcpy(buf, parts.p[0], first);
    size_t second = std::min(room - first, parts.n[1]);
    memcpy(buf + first, parts.p[1], second);
    buf[first + second] = '\0';
  }
  return true;
}

void PutState(char *out, const char *state, int version) {
  if (!out) return;
  char s[6] = {0};
  for (int i = 0; i < 5 && state[i]; ++i) s[i] = state[i];
  if (version == 3) DiagState3(s);
  memcpy(out, s, 6);
}

const char *FindMarker(const char *text) {
  for (const char *p = text; *p; ++p)
    if (strncasecmp(p, kStateMarker, kStateMarkerLen) == 0) return p;
  return nullptr;
}

// Builds one record of the handle. consuming: SQLError (pops the first
// message and clears the pending code); else record number n is read.
SQLRETURN DiagRecBuild(const DiagView &v, bool consuming, int n, char *stateOut, int32_t *nativeOut, char *msg,
                       int bufLen, int16_t *textLen) {
  if (textLen) *textLen = 0;
  char *owned = nullptr;
  const char *text = nullptr;
  int32_t native = 0;
  if (consuming) {
    owned = MsgListPop(v.messages, &native);
    text = owned;
  } else if (DiagMsg *m = DiagMsgNth(*v.messages, n)) {
    text = m->text ? m->text : "";
    native = m->native;
  }
  const int32_t code = text ? 0 : *v.pending;
  if (consuming) *v.pending = 0;

  if (text) {
    const char *body = text;
    while (*body == ' ') ++body;
    char state[6] = "S1000";
    size_t bodyLen = strlen(body);
    if (const char *marker = FindMarker(body)) {
      bodyLen = static_cast<size_t>(marker - body);
      const char *s = marker + kStateMarkerLen;
      size_t i = 0;
      for (; i < 5 && s[i] && s[i] != ']'; ++i) state[i] = s[i];
      state[i] = '\0';
    }
    const Parts parts{{kMsgPrefix, body}, {sizeof kMsgPrefix - 1, bodyLen}};
    const bool cut = PutParts(parts, msg, bufLen);
    if (cut && TraceIsOn()) TraceODBC("returning SUCCESS_WITH_INFO");
    if (nativeOut) *nativeOut = native;
    PutState(stateOut, state, v.version);
    if (textLen) *textLen = Len16(parts.total());
    if (TraceIsOn()) TraceODBC("Returning %.*s", static_cast<int>(bodyLen), body);
    free(owned);
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  }

  if (code != 0) {
    char undefined[96];
    const char *state = "S1000";
    const char *body = undefined;
    if (const SqlStateRow *row = code > 0 ? SqlStateLookup(code) : nullptr) {
      state = row->state;
      body = row->message;
    } else {
      snprintf(undefined, sizeof undefined, "Undefined errorcode (%d).\nPlease install a newer client.",
               static_cast<int>(code));
    }
    const Parts parts{{kDriverPrefix, body}, {sizeof kDriverPrefix - 1, strlen(body)}};
    if (TraceIsOn()) TraceODBC("returning %s%s", kDriverPrefix, body);
    if (nativeOut) *nativeOut = 0;
    PutState(stateOut, state, v.version);
    if (textLen) *textLen = Len16(parts.total());
    return PutParts(parts, msg, bufLen) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  }

  if (msg && bufLen > 0) msg[0] = '\0';
  if (stateOut) memcpy(stateOut, "00000", 6);
  if (nativeOut) *nativeOut = 0;
  if (TraceIsOn()) TraceODBC("returning NO_DATA_FOUND");
  return SQL_NO_DATA;
}

// ---- SQLError ------------------------------------------------------------------

SQLRETURN ErrorImpl(void *object, const ApiArgs &a) {
  DiagView v;
  if (!ViewOf(object, &v)) return SQL_INVALID_HANDLE;
  // A negative buffer length writes no text (the record is still consumed).
  return DiagRecBuild(v, true, 0, a.ptr<char>(0), a.ptr<int32_t>(1), a.ptr<char>(2), a.i16(3), a.ptr<int16_t>(4));
}

// ---- SQLGetDiagRec -----------------------------------------------------------------

SQLRETURN GetDiagRecImpl(void *object, const ApiArgs &a) {
  DiagView v;
  if (!ViewOf(object, &v)) return SQL_INVALID_HANDLE;
  const int record = a.i16(0);
  char *state = a.ptr<char>(1);
  auto *native = a.ptr<int32_t>(2);
  char *msg = a.ptr<char>(3);
  const int16_t bufLen = a.i16(4);
  auto *textLen = a.ptr<int16_t>(5);
  if (record > CountOf(v)) {
    if (state) memcpy(state, "00000", 6);
    if (native) *native = 0;
    if (msg && bufLen > 0) msg[0] = '\0';
    if (textLen) *textLen = 0;
    return SQL_NO_DATA;
  }
  if (bufLen < 0) return SQL_ERROR;
  return DiagRecBuild(v, false, record, state, native, msg, bufLen, textLen);
}

// ---- SQLGetDiagField ---------------------------------------------------------------

// A text into the value buffer by the mode: "A" bytes, "W" UTF-16 into
// bufLen bytes; *outLen the full length in bytes.
SQLRETURN FieldText(const char *text, void *value, int16_t bufLen, int16_t *outLen, char mode) {
  // A negative length cannot size any buffer; the diagnostic functions
  // answer it without posting a record of their own.
  if (bufLen < 0 && value) return SQL_ERROR;
  if (mode == 'W') {
    uint32_t units = 0;
    const int r = utf8_to_utf16_bufb(text, static_cast<uint16_t *>(value), value ? bufLen : 0, &units);
    if (outLen) *outLen = Len16(static_cast<size_t>(units) * 2);
    return r == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  }
  const size_t len = strlen(text);
  if (outLen) *outLen = Len16(len);
  if (!value) return SQL_SUCCESS;
  const Parts parts{{text, ""}, {len, 0}};
  return PutParts(parts, static_cast<char *>(value), bufLen) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

template <class T>
SQLRETURN FieldNumber(void *value, T n) {
  if (value) memcpy(value, &n, sizeof n);
  return SQL_SUCCESS;
}

SQLRETURN HeaderField(const DiagView &v, int16_t field, void *value, int16_t bufLen, int16_t *outLen, char mode) {
  switch (field) {
    case SQL_DIAG_RETURNCODE:
      return SQL_SUCCESS;
    case SQL_DIAG_NUMBER:
      return FieldNumber<int32_t>(value, CountOf(v));
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
      if (!v.stmt) return SQL_ERROR;
      if (!value) return SQL_SUCCESS;
      int64_t count = 0;
      // A failover met on the way (183) cannot be reported by a diagnostic
      // call; the count stands.
      if (int code = StmtRowCount(v.stmt, &count); code != 0 && code != E_IM500) {
        v.stmt->pending = code;
        return SQL_ERROR;
      }
      return FieldNumber<int64_t>(value, count);
    }
    case SQL_DIAG_DYNAMIC_FUNCTION:
      if (!v.stmt) return SQL_ERROR;
      return FieldText(v.stmt->isSelect ? "SELECT CURSOR" : "", value, bufLen, outLen, mode);
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
      if (!v.stmt) return SQL_ERROR;
      return FieldNumber<int32_t>(value, v.stmt->isSelect ? SQL_DIAG_SELECT_CURSOR : 0);
    default:
      return SQL_ERROR;
  }
}

SQLRETURN GetDiagFieldImpl(void *object, const ApiArgs &a) {
  DiagView v;
  if (!ViewOf(object, &v)) return SQL_INVALID_HANDLE;
  const int record = a.i16(0);
  const int16_t field = a.i16(1);
  void *value = a.ptr(2);
  const int16_t bufLen = a.i16(3);
  auto *outLen = a.ptr<int16_t>(4);
  const char mode = a.mode(5);
  if (record > CountOf(v)) return SQL_NO_DATA;
  if (record == 0) return HeaderField(v, field, value, bufLen, outLen, mode);

  // At most 510 bytes of a message are returned here.
  char state[6] = "00000";
  int32_t native = 0;
  char msg[511];
  int16_t msgLen = 0;
  const bool none = DiagRecBuild(v, false, record, state, &native, msg, sizeof msg, &msgLen) == SQL_NO_DATA;
  switch (field) {
    case SQL_DIAG_SQLSTATE:
      return FieldText(state, value, bufLen, outLen, mode);
    case SQL_DIAG_NATIVE:
      return FieldNumber<int32_t>(value, native);
    case SQL_DIAG_MESSAGE_TEXT:
      if (none) return SQL_NO_DATA;
      return FieldText(msg, value, bufLen, outLen, mode);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      if (none) return SQL_NO_DATA;
      return FieldText(strncmp(state, "IM", 2) == 0 ? "ODBC 3.0" : "ISO 9075", value, bufLen, outLen, mode);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return FieldText(v.conn && v.conn->dsn ? v.conn->dsn : "", value, bufLen, outLen, mode);
    case SQL_DIAG_ROW_NUMBER:
      if (!v.stmt) return SQL_ERROR;
      return FieldNumber<int64_t>(value, SQL_ROW_NUMBER_UNKNOWN);
    case SQL_DIAG_COLUMN_NUMBER:
      if (!v.stmt) return SQL_ERROR;
      return FieldNumber<int32_t>(value, SQL_COLUMN_NUMBER_UNKNOWN);
    default:
      return SQL_SUCCESS;
  }
}

}  // namespace

void DiagState3(char *state) {
  struct Map {
    const char *from, *to;
  };
  // The ODBC 2 states whose ODBC 3 form has another code. 22003, 22008 and
  // 24000 are left out on purpose: ODBC 3 defines them with the same
  // meaning.
  static constexpr Map kMap[] = {
      {"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"}, {"01S04", "01001"},
      {"22005", "22018"}, {"37000", "42000"}, {"70100", "HY018"},
  };
  for (const Map &m : kMap) {
    if (strncmp(state, m.from, 5) == 0) {
      memcpy(state, m.to, 5);
      return;
    }
  }
  if (state[0] == 'S' && state[1] == '1') {
    state[0] = 'H';
    state[1] = 'Y';
  } else if (state[0] == 'S' && state[1] == '0' && state[2] == '0') {
    state[0] = '4';
    state[1] = '2';
    state[2] = 'S';
  }
}

DiagMsg *DiagMsgNth(DiagMsg *list, int n) {
  for (int i = 1; list && i < n; ++i) list = list->next;
  return list;
}

int DiagRecordCount(void *object) {
  DiagView v;
  return ViewOf(object, &v) ? CountOf(v) : 0;
}

SQLRETURN DiagRecRead(void *object, int record, char *state, int32_t *native, char *msg, int16_t bufLen,
                      int16_t *textLen) {
  DiagView v;
  if (!ViewOf(object, &v)) return SQL_INVALID_HANDLE;
  return DiagRecBuild(v, false, record, state, native, msg, bufLen, textLen);
}

SQLRETURN odbc_Error_Env(void *object, const ApiArgs &args) { return ErrorImpl(object, args); }
SQLRETURN odbc_Error_Dbc(void *object, const ApiArgs &args) { return ErrorImpl(object, args); }
SQLRETURN odbc_Error_Stmt(void *object, const ApiArgs &args) { return ErrorImpl(object, args); }
SQLRETURN odbc_GetDiagRec_Env(void *object, const ApiArgs &args) { return GetDiagRecImpl(object, args); }
SQLRETURN odbc_GetDiagRec_Dbc(void *object, const ApiArgs &args) { return GetDiagRecImpl(object, args); }
SQLRETURN odbc_GetDiagRec_Stmt(void *object, const ApiArgs &args) { return GetDiagRecImpl(object, args); }
SQLRETURN odbc_GetDiagRec_Desc(void *object, const ApiArgs &args) { return GetDiagRecImpl(object, args); }
SQLRETURN odbc_GetDiagField_Env(void *object, const ApiArgs &args) { return GetDiagFieldImpl(object, args); }
SQLRETURN odbc_GetDiagField_Dbc(void *object, const ApiArgs &args) { return GetDiagFieldImpl(object, args); }
SQLRETURN odbc_GetDiagField_Stmt(void *object, const ApiArgs &args) { return GetDiagFieldImpl(object, args); }
SQLRETURN odbc_GetDiagField_Desc(void *object, const ApiArgs &args) { return GetDiagFieldImpl(object, args); }
