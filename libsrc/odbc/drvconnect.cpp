// SQLDriverConnect and SQLConnect.
#include "odbc/drvconnect.h"

#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/connattr.h"
#include "odbc/connopt.h"
#include "odbc/odbcinst.h"
#include "odbc/sqlstate.h"
#include "odbc/trace.h"
#include "util/mpl.h"
#include "util/strutil.h"
#include "util/utalloc.h"
#include "util/utf.h"

// The login prompt (libvqlogin8). Weak, so that programs that link the
// driver's code without the prompt library (its tests) still link; the
// drivers themselves link the library and cannot load without it.
extern "C" int TvxLOGIN(void *window, const char *driverDescription, const char *connStrIn, char **connStrOut,
                        char mode) __attribute__((weak));
extern "C" void TvxLOGIN_Free(char *connStr) __attribute__((weak));

namespace {

constexpr int kUidReadSize = 129;  // the user name read again for NLB

// A MemPool that frees itself.
struct TextPool {
  MemPool pool;
  TextPool() { mpl_init(&pool); }
  ~TextPool() { mpl_free_all(&pool); }
  TextPool(const TextPool &) = delete;
  TextPool &operator=(const TextPool &) = delete;
  void Add(const char *text) { mpl_append(&pool, text, strlen(text)); }
  void Item(const char *key, const char *value) {
    if (mpl_object_size(&pool) > 0) mpl_append_byte(&pool, ';');
    ConnStrAppendItem(&pool, key, value);
  }
  void Number(const char *key, const char *format, long long n) {
    char buf[32];
    snprintf(buf, sizeof buf, format, n);
    Item(key, buf);
  }
  // Finishes the text; valid until the pool goes.
  const char *Finish() {
    mpl_append_byte(&pool, '\0');
    return static_cast<const char *>(mpl_finish(&pool));
  }
};

const char *Bool(bool b) { return b ? "TRUE" : "FALSE"; }
const char *Text(const char *s) { return s != nullptr ? s : ""; }

// A NUL-terminated copy of a caller's text of the given length (SQL_NTS:
// up to its NUL); an absent text or a length of 0 gives "".
char *CopyIn(const char *text, int32_t len) {
  if (text == nullptr || len == 0) return s_strdup("");
  if (len == SQL_NTS) return s_strdup(text);
  auto *copy = static_cast<char *>(s_alloc(static_cast<size_t>(len) + 1, 1));
  memcpy(copy, text, static_cast<size_t>(len));
  copy[len] = '\0';
  return copy;
}

// The driver description of a DRIVER value: a braced value unquoted, else
// the part between the first '{' and the next '}'.
char *DriverDescription(const char *driver) {
  if (driver[0] == '{') {
    const char *pos = "";
    MemPool pool;
    mpl_init(&pool);
    mpl_append(&pool, "X=", 2);
    mpl_append(&pool, driver, strlen(driver));
    mpl_append_byte(&pool, '\0');
    pos = static_cast<const char *>(mpl_finish(&pool));
    char *key, *value, *raw;
    bool quoted;
    ConnStrNextItem(&pos, &key, &value, &quoted, &raw);
    free(key);
    free(raw);
    mpl_free_all(&pool);
    return value != nullptr ? value : s_strdup("");
  }
  const char *open = strchr(driver, '{');
  const char *start = open != nullptr ? open + 1 : driver;
  const char *close = strchr(start, '}');
  const size_t n = close != nullptr ? static_cast<size_t>(close - start) : strlen(start);
  auto *desc = static_cast<char *>(s_alloc(n + 1, 1));
  memcpy(desc, start, n);
  desc[n] = '\0';
  return desc;
}

bool MissingOrBlank(const char *v) { return v == nullptr || v[0] == '\0' || v[0] == ' '; }

// The user name read again for NLB: the "UID" value (never "LastUser") of
// the data source's section, or of "Default" without DSN and FILEDSN, or of
// the File DSN.
void RereadUser() {
  const char *dsn = ConnAttrValue(CA_DSN);
  const char *fileDsn = ConnAttrValue(CA_FILEDSN);
  const bool hasDsn = dsn != nullptr && *dsn != '\0';
  const bool hasFileDsn = fileDsn != nullptr && *fileDsn != '\0';
  char user[kUidReadSize + 1] = {};
  if (!hasDsn && hasFileDsn) {
    uint16_t len = 0;
    if (!OdbcInstReadFileDSN(fileDsn, "ODBC", "UID", user, kUidReadSize, &len)) user[0] = '\0';
  } else {
    OdbcInstGetPrivateProfileString(hasDsn ? dsn : "Default", "UID", "", user, kUidReadSize, "odbc.ini");
  }
  user[sizeof user - 1] = '\0';
  ConnAttrSet(CA_UID, user, 1);
}

void TraceTable(const char *connStr, const Conn *conn) {
  char *masked = ConnStrMaskPassword(connStr);
  TraceODBC("connStr=[%s]", masked);
  free(masked);
  for (int i = 0; i < CA_COUNT; ++i) {
    const ConnAttr &a = g_connAttrs[i];
    if (!a.traced) continue;
    if (a.value == nullptr) {
      TraceODBC("  key=[%s] data=[%s] supplied=%d", a.keyword, "<null>", a.supplied);
      continue;
    }
    MemPool pool;
    mpl_init(&pool);
    if (i == CA_UID)
      ConnStrAppendMaskedUser(&pool, a.value);
    else
      mpl_append(&pool, a.value, strlen(a.value));
    mpl_append_byte(&pool, '\0');
    TraceODBC("  key=[%s] data=[%s] supplied=%d", a.keyword, static_cast<const char *>(mpl_finish(&pool)),
              a.supplied);
    mpl_free_all(&pool);
  }
  TraceODBC("cn_dbpath=[%s] cn_dbopts=[%s] cn_readonly=%d", Text(conn->dbPath), Text(conn->dbOptions),
            (conn->flags & CONNF_READ_ONLY) ? 1 : 0);
  TraceODBC("cn_fetchSize=%d cn_dbhost=[%s] cn_svtype=[%s]", static_cast<int>(conn->cn_fetchSize),
            Text(conn->dbHost), Text(conn->serverType));
}

// The output connection string, built from the table, the block and the
// connection (before the table is emptied).
const char *BuildOutput(TextPool &out, const Conn *conn) {
  const char *driver = ConnAttrValue(CA_DRIVER);
  if (!g_connAttrs[CA_DRIVER].supplied || driver == nullptr) {
    out.Item("DSN", conn->dsn);
    out.Item("UID", conn->user);
    out.Item("PWD", conn->password);
    out.Item("SQLNET", ConnAttrText(CA_SQLNET));
    out.Item("JET", Bool(ConnAttrBool(CA_JET)));
    out.Number("FBS", "%llu", conn->cn_fetchSize);
    return out.Finish();
  }
  const AgentOptions &o = g_agentOptions;
  // The DRIVER value as given: a braced value is already quoted.
  if (driver[0] == '{') {
    out.Add("DRIVER=");
    out.Add(driver);
  } else {
    out.Item("DRIVER", driver);
  }
  out.Item("UID", conn->user);
  out.Item("PWD", conn->password);
  out.Item("SQLNET", ConnAttrText(CA_SQLNET));
  out.Item("JET", Bool(ConnAttrBool(CA_JET)));
  out.Number("FBS", "%llu", conn->cn_fetchSize);
  out.Item("READONLY", ConnAttrText(CA_READONLY));
  out.Item("NLB", ConnAttrText(CA_NLB));
  out.Number("MAXROWS", "%lld", o.maxRows);
  out.Item("NOAC", Bool(o.noAutocommit));
  out.Item("ORACAT", Bool(o.oraCatalogs));
  out.Item("SQLNETIF", Text(o.sqlnetIf));
  out.Item("CPP", Bool(o.countProcParams));
  out.Item("NRSSL", Bool(o.noRowsetSizeLimit));
  out.Number("OPREFROWS", "%lld", o.ociPrefetchRows);
  out.Number("OPREFMEM", "%lld", o.ociPrefetchMemory);
  out.Number("OSTMTCACHE", "%lld", o.ociStmtCacheSize);
  out.Item("USRTBLSFIRST", Bool(o.userTablesFirst));
  out.Item("DYN_CURS_SENSITIVITY", DynCursSensitivityName(o.dynCursSensitivity));
  out.Item("DLF", ConnAttrText(CA_DLF));
  out.Item("SQLDBMSNAME", ConnAttrText(CA_SQLDBMSNAME));
  out.Item("EMPTY_STRING_ISNT_NULL", Bool(o.emptyStringIsntNull));
  out.Item("TAF_ENABLE", Bool(o.tafEnable));
  out.Number("TAF_RETRY_INTERVAL", "%llu", static_cast<uint32_t>(o.tafRetryInterval));
  out.Number("TAF_MAX_RETRIES", "%llu", static_cast<uint32_t>(o.tafMaxRetries));
  out.Number("OCPMIN", "%lld", o.poolMin);
  out.Number("OCPMAX", "%lld", o.poolMax);
  out.Number("OCPINCR", "%lld", o.poolIncr);
  out.Item("OCPWAIT", Bool(o.poolWait));
  out.Number("OCPLINGER", "%lld", o.poolLinger);
  out.Item("IV", ConnAttrText(CA_IV));
  out.Item("IA", ConnAttrText(CA_IA));
  out.Add(";Server=Zezuzeru");
  return out.Finish();
}

// The connection's fields from the table.
void FillConn(Conn *conn) {
  const char *dsn = ConnAttrText(CA_DSN);
  const bool noFileDsn = *ConnAttrText(CA_FILEDSN) == '\0';
  ConnFreeStrings(conn);
  conn->user = s_strdup(ConnAttrText(CA_UID));
  conn->password = s_strdup(ConnAttrText(CA_PWD));
  conn->dbOptions = s_strdup(ConnAttrText(CA_SQLNET));
  conn->dsn = s_strdup(*dsn == '\0' && noFileDsn ? "Default" : dsn);
  conn->flags &= static_cast<uint16_t>(
      ~(CONNF_READ_ONLY | CONNF_AUTOCOMMIT | CONNF_DEFER_LONG | CONNF_INCLUDE_VIEWS | CONNF_INCLUDE_ALL));
  if (ConnAttrBool(CA_READONLY)) conn->flags |= CONNF_READ_ONLY;
  // An access mode the application set on the handle wins over the data
  // source's setting.
  if (conn->flags & CONNF_ACCESS_ASKED) {
    if (conn->flags & CONNF_ACCESS_VALUE)
      conn->flags |= CONNF_READ_ONLY;
    else
      conn->flags &= static_cast<uint16_t>(~CONNF_READ_ONLY);
  }
  if (ConnAttrBool(CA_DLF)) conn->flags |= CONNF_DEFER_LONG;
  if (ConnAttrBool(CA_IV)) conn->flags |= CONNF_INCLUDE_VIEWS;
  if (ConnAttrBool(CA_IA)) conn->flags |= CONNF_INCLUDE_ALL;
  // A fetch block of no rows (or a negative count) cannot be fetched.
  const int32_t fbs = ConnAttrNumber(CA_FBS);
  conn->cn_fetchSize = fbs > 0 ? static_cast<uint32_t>(fbs) : 60;
  if (conn->programName == nullptr) conn->programName = s_strdup(get_program_name());
}

// A warning for the connection: its pending code, or, when the connection
// already holds messages (which hide the pending code), one more message.
void PostWarning(Conn *conn, int32_t code) {
  if (conn->messages == nullptr) {
    conn->pending = code;
    return;
  }
  const SqlStateRow *row = SqlStateLookup(code);
  if (row == nullptr) return;
  char text[256];
  snprintf(text, sizeof text, "[Driver]%s[SQLSTATE:%s]", row->message, row->state);
  ConnAddMsg(conn, text, 0);
}

// Copies the output string into the caller's buffer; true when it was cut.
// Without a buffer only the length is reported. A cut never splits a UTF-8
// sequence of a W call.
bool CopyOut(const char *text, char *out, int16_t outMax, int16_t *outLen, char mode) {
  const size_t len = strlen(text);
  if (outLen != nullptr) *outLen = static_cast<int16_t>(len > INT16_MAX ? INT16_MAX : len);
  if (out == nullptr) return false;
  if (outMax <= 0) return len > 0;
  size_t copy = len;
  if (copy > static_cast<size_t>(outMax) - 1) {
    copy = static_cast<size_t>(outMax) - 1;
    if (mode == 'W')
      while (copy > 0 && (static_cast<unsigned char>(text[copy]) & 0xC0) == 0x80) --copy;
  }
  memcpy(out, text, copy);
  out[copy] = '\0';
  return copy < len;
}

}  // namespace

SQLRETURN DriverConnectBody(Conn *conn, void *window, const char *in, int16_t inLen, char *out, int16_t outMax,
                            int16_t *outLen, uint16_t completion, char mode) {
  if (conn->state == CONN_CONNECTED) {
    conn->pending = E_08002;
    return SQL_ERROR;
  }
  if (!in && inLen == kConnectTextNoMemory) {
    conn->pending = E_S1001;
    return SQL_ERROR;
  }
  if ((inLen < 0 && inLen != SQL_NTS) || outMax < 0) {
    conn->pending = E_S1090;
    return SQL_ERROR;
  }
  char *input = CopyIn(in, inLen);
  ConnStrParse(input, mode);
  const char *connStr = input;

  char *desc = g_connAttrs[CA_DRIVER].supplied && ConnAttrValue(CA_DRIVER) != nullptr
                   ? DriverDescription(ConnAttrValue(CA_DRIVER))
                   : DsnDriverDesc();

  bool prompt = false;
  switch (completion) {
    case SQL_DRIVER_COMPLETE:
    case SQL_DRIVER_COMPLETE_REQUIRED:
      prompt = MissingOrBlank(ConnAttrValue(CA_UID)) || MissingOrBlank(ConnAttrValue(CA_PWD));
      break;
    case SQL_DRIVER_PROMPT:
      prompt = true;
      break;
    default:
      break;
  }
  if (ConnAttrBool(CA_NLB)) {
    prompt = false;
    if (!g_connAttrs[CA_UID].supplied || *ConnAttrText(CA_UID) == '\0') RereadUser();
  }

  char *confirmed = nullptr;
  if (prompt) {
    const int answer = TvxLOGIN != nullptr ? TvxLOGIN(window, desc, input, &confirmed, mode) : 0;
    if (answer != 1) {
      if (TvxLOGIN_Free != nullptr) TvxLOGIN_Free(confirmed);
      free(desc);
      ConnStrParse(nullptr, mode);
      free(input);
      return SQL_NO_DATA;
    }
    ConnStrParse(nullptr, mode);
    ConnStrParse(confirmed, mode);
    connStr = confirmed != nullptr ? confirmed : "";
  }
  free(desc);

  AgentOptionsFill();
  FillConn(conn);

  TextPool output;
  const char *outText = BuildOutput(output, conn);
  if (TraceIsOn()) TraceTable(connStr, conn);

  ConnStrParse(nullptr, mode);
  if (confirmed != nullptr && TvxLOGIN_Free != nullptr) TvxLOGIN_Free(confirmed);
  free(input);

  ConnOpen(conn, mode);
  AgentOptionsRelease();
  if (conn->state != CONN_CONNECTED) return SQL_ERROR;

  // Warnings of the connect are in the diagnostics.
  SQLRETURN rc = conn->messages != nullptr ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  if (CopyOut(outText, out, outMax, outLen, mode)) {
    PostWarning(conn, E_01004);
    rc = SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}

SQLRETURN odbc_DriverConnect(void *object, const ApiArgs &args) {
  auto *conn = static_cast<Conn *>(object);
  OsLock lock(g_odbc.connectLock);
  return DriverConnectBody(conn, args.ptr(0), args.ptr<const char>(1), args.i16(2), args.ptr<char>(3), args.i16(4),
                           args.ptr<int16_t>(5), args.u16(6), args.mode(7));
}

SQLRETURN odbc_Connect(void *object, const ApiArgs &args) {
  auto *conn = static_cast<Conn *>(object);
  if (conn->state == CONN_CONNECTED) {
    conn->pending = E_08002;
    return SQL_ERROR;
  }
  const int16_t lens[3] = {args.i16(1), args.i16(3), args.i16(5)};
  for (int i = 0; i < 3; ++i) {
    if (!args.ptr(2 * i) && lens[i] == kConnectTextNoMemory) {
      conn->pending = E_S1001;
      return SQL_ERROR;
    }
  }
  for (int16_t len : lens) {
    if (len < 0 && len != SQL_NTS) {
      conn->pending = E_S1090;
      return SQL_ERROR;
    }
  }
  char *dsn = CopyIn(args.ptr<const char>(0), lens[0]);
  char *user = CopyIn(args.ptr<const char>(2), lens[1]);
  char *password = CopyIn(args.ptr<const char>(4), lens[2]);
  TextPool text;
  // Values in braces where they need them: a ';' in a user name or password
  // cannot add keywords or cut the password.
  text.Item("DSN", dsn);
  text.Item("UID", user);
  text.Item("PWD", password);
  const char *connStr = text.Finish();
  if (TraceIsOn()) {
    MemPool pool;
    mpl_init(&pool);
    ConnStrAppendMaskedUser(&pool, user);
    mpl_append_byte(&pool, '\0');
    TraceODBC("DSN=%s;UID=%s;PWD=***", dsn, static_cast<const char *>(mpl_finish(&pool)));
    mpl_free_all(&pool);
  }
  free(dsn);
  free(user);
  free(password);
  OsLock lock(g_odbc.connectLock);
  return DriverConnectBody(conn, nullptr, connStr, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT,
                           args.mode(6));
}
