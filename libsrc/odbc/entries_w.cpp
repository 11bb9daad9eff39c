// The W entry points that convert text: each input text becomes a
// NUL-terminated UTF-8 copy passed with SQL_NTS; each output buffer of n
// characters is replaced by a UTF-8 work buffer of 4 x n + 1 bytes (4 bytes
// hold any character, a surrogate pair included, since a pair is two of the
// caller's characters); after success the UTF-8 result is converted back into
// the caller's buffer, cut to n - 1 characters and a NUL when it does not
// fit, and a cut makes the result SQL_SUCCESS_WITH_INFO. An input text whose
// copy cannot be made fails the call with S1001 "Memory allocation failure"
// on its handle; it never reaches the implementation as a null text.
//
// Two outputs must report their full length in characters although the
// narrow layer counts bytes and may have cut the text in the work buffer:
// diagnostic messages (read again with a buffer that holds the whole text;
// SQLErrorW, whose record is gone after one call, reads it with the largest
// buffer at once) and the output connection string (the connect cannot be
// repeated, so it is read with the largest buffer at once).
#include "odbc/entries_w.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/apirec.h"
#include "odbc/cursorname.h"
#include "odbc/dispatch.h"
#include "odbc/drvconnect.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "util/utf.h"

WideInDupFn g_wideInDup = utf16_to_utf8_dupn;

namespace {

constexpr char kWide = 'W';

// A 16-bit byte length holds at most 4 x 8191 + 3: longer caller buffers
// are served with a work buffer of 8191 characters' worth.
constexpr int32_t kMaxChars16 = 8191;
// The largest text a 16-bit byte length can bring back whole (with its NUL).
constexpr int32_t kMaxBytes16 = INT16_MAX;

// A UTF-8 copy of one input text, freed at the end of the call. failed: the
// caller gave a text and no copy could be made.
struct WideIn {
  char *text = nullptr;
  int32_t len = SQL_NTS;
  bool failed = false;
  WideIn(const SQLWCHAR *w, int32_t n) {
    if (!w) return;
    if (n < 0 && n != SQL_NTS) {
      // A length no valid call has: convert up to the NUL but hand the
      // length on, so that the implementation reports it (S1090).
      len = n;
      n = SQL_NTS;
    }
    text = g_wideInDup(w, n);
    failed = text == nullptr;
  }
  ~WideIn() { free(text); }
  WideIn(const WideIn &) = delete;
  WideIn &operator=(const WideIn &) = delete;
  SQLCHAR *ptr() const { return reinterpret_cast<SQLCHAR *>(text); }
};

// True when one of the call's input texts has no copy.
template <class... T>
bool AnyFailed(const T &...texts) {
  return (texts.failed || ...);
}

// The object's pending error: the input text it was given could not be
// copied.
template <class Obj>
SQLRETURN FailNoMemory(void *object, const ApiArgs &) {
  static_cast<Obj *>(object)->pending = E_S1001;
  return SQL_ERROR;
}

// Makes the record's call, or, when an input text has no copy, the same call
// failing with S1001 in place of the implementation: a missing copy must not
// reach the implementation as a null text (for a catalog pattern that would
// mean "all"). The failing call still passes the dispatcher, so the handle is
// checked, its diagnostics are cleared and set, and the call is traced as any
// other.
template <class... A>
SQLRETURN CallODBCIn(bool noCopy, const ApiRecord &rec, A... args) {
  if (!noCopy) return CallODBC(rec, args...);
  assert(rec.kind == HK_DBC || rec.kind == HK_STMT);
  ApiRecord failing = rec;
  failing.impl = rec.kind == HK_DBC ? FailNoMemory<Conn> : FailNoMemory<Stmt>;
  return CallODBC(failing, args...);
}

// Asks WideOut for a buffer that brings a text back whole.
struct WholeTag {};
constexpr WholeTag kWhole{};

// The UTF-8 work buffer of one output text of n characters; none for n <= 0
// or when the caller gave no buffer. A negative n reaches the implementation
// unchanged, so that it reports the invalid length (S1090).
struct WideOut {
  char *buf = nullptr;
  int32_t bytes = 0;  // the length handed to the implementation
  bool failed = false;
  WideOut(int32_t n, int32_t maxChars, bool wanted = true) {
    if (n < 0) {
      bytes = n;
      return;
    }
    if (n == 0 || !wanted) return;
    if (n > maxChars) n = maxChars;
    Allocate(4 * n);
  }
  // A work buffer of this many bytes (the text's NUL included), for texts
  // that must come back whole whatever the caller's buffer.
  WideOut(WholeTag, int32_t size) { Allocate(size); }
  // A buffer of n bytes (and a spare NUL) in place of the one it had.
  void Allocate(int32_t n) {
    free(buf);
    bytes = n;
    buf = static_cast<char *>(calloc(static_cast<size_t>(bytes) + 1, 1));
    failed = buf == nullptr;
  }
  ~WideOut() { free(buf); }
  WideOut(const WideOut &) = delete;
  WideOut &operator=(const WideOut &) = delete;
  SQLCHAR *ptr() const { return reinterpret_cast<SQLCHAR *>(buf); }
};

// Converts the work buffer into the caller's buffer of n characters; the
// text's full length in characters goes to *full. True when it was cut.
bool ConvertBack(const char *work, SQLWCHAR *out, int32_t n, uint32_t *full) {
  *full = 0;
  if (!work || !out || n <= 0) return false;
  int64_t bytes = static_cast<int64_t>(n) * 2;
  if (bytes > INT32_MAX) bytes = INT32_MAX & ~1;
  return utf8_to_utf16_bufb(work, reinterpret_cast<uint16_t *>(out), static_cast<int32_t>(bytes), full) != 0;
}

// A cut output text: the object whose call it was (looked up again, it may
// be gone) gets 01004 "Data was truncated": as its pending code, or, when it
// holds messages (which hide the pending code, e.g. a connect's warnings),
// as one more message. Objects leave their tables and memory under the
// handle-table lock, so holding it keeps the object alive meanwhile.
void PostTruncated(HandleTable *table, SQLHANDLE h, int32_t magic) {
  HandleLockGuard lock;
  void *obj = HandleTable_Lookup(table, HandleOf(h));
  if (!obj || *static_cast<int32_t *>(obj) != magic) return;
  int32_t *pending = nullptr;
  DiagMsg **messages = nullptr;
  switch (magic) {
    case MAGIC_CONN:
      pending = &static_cast<Conn *>(obj)->pending;
      messages = &static_cast<Conn *>(obj)->messages;
      break;
    case MAGIC_STMT:
      pending = &static_cast<Stmt *>(obj)->pending;
      messages = &static_cast<Stmt *>(obj)->messages;
      break;
    default:
      return;
  }
  if (!*messages) {
    *pending = E_01004;
    return;
  }
  const SqlStateRow *row = SqlStateLookup(E_01004);
  char text[128];
  snprintf(text, sizeof text, "[Driver]%s[SQLSTATE:%s]", row->message, row->state);
  MsgListAppend(messages, text, 0);
}

// Converts the whole UTF-8 text into the caller's buffer of n characters
// (none when out is NULL); *full receives the text's length in characters.
// True when the text does not fit with its NUL, also for a buffer of 0.
bool ConvertWhole(const char *work, SQLWCHAR *out, int32_t n, uint32_t *full) {
  *full = 0;
  if (!work) return false;
  if (out && n > 0) {
    ConvertBack(work, out, n, full);
  } else {
    utf8_to_utf16_bufb(work, nullptr, 0, full);
  }
  return static_cast<int64_t>(*full) + 1 > (n > 0 ? n : 0);
}

// A length into a caller's 16- or 32-bit length field, never wrapped to a
// negative value.
template <class T>
void PutLen(T *out, uint32_t n) {
  constexpr uint32_t kMax = sizeof(T) == 2 ? INT16_MAX : INT32_MAX;
  if (out) *out = static_cast<T>(n > kMax ? kMax : n);
}

// Makes the narrow call into work; when again is set and the text did not
// fit (or no buffer was given), makes it once more with a buffer that holds
// it, up to maxBytes. call(work, &len) makes the narrow call.
template <class Len, class Call>
SQLRETURN ReadAgainWhole(const Call &call, WideOut &work, Len *narrowLen, int32_t maxBytes, bool again) {
  SQLRETURN rc = call(work, narrowLen);
  if (again && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && *narrowLen >= work.bytes) {
    work.Allocate(*narrowLen < maxBytes ? *narrowLen + 1 : maxBytes);
    if (work.failed) return SQL_ERROR;
    *narrowLen = 0;
    rc = call(work, narrowLen);
  }
  return rc;
}

// An output text that the narrow implementation gives again when asked
// again (names, translated SQL): read through a work buffer of four bytes
// per character of the caller's buffer; when the text did not fit it, or
// only its length is wanted, read once more with a buffer that holds it, so
// that the length is the whole text's in characters. call(work, &len) makes
// the narrow call; a cut posts 01004 on the object of the handle.
template <class Len, class Call>
SQLRETURN ReadOutput(const Call &call, SQLWCHAR *out, int32_t outMax, Len *outLen, int32_t maxChars,
                     int32_t maxBytes, HandleTable *table, SQLHANDLE h, int32_t magic) {
  WideOut work(outMax, maxChars, out != nullptr);
  if (work.failed) return SQL_ERROR;
  Len narrowLen = 0;
  SQLRETURN rc = ReadAgainWhole(call, work, &narrowLen, maxBytes, outMax >= 0 && (out || outLen));
  auto ok = [&rc] { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; };
  if (ok() && work.buf) {
    uint32_t full;
    const bool cut = ConvertWhole(work.buf, out, outMax, &full) && out;
    PutLen(outLen, full);
    if (cut) {
      PostTruncated(table, h, magic);
      rc = SQL_SUCCESS_WITH_INFO;
    }
  } else if (ok() && outLen) {
    *outLen = narrowLen;
  }
  return rc;
}

// The five characters of a SQLSTATE and a NUL, into six UTF-16 units.
void StateToWide(const SQLCHAR *state, SQLWCHAR *out) {
  if (!out) return;
  for (int i = 0; i < 5; ++i) out[i] = state[i];
  out[5] = 0;
}

}  // namespace

// ---- Connect -------------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLConnectW(SQLHDBC dbc, SQLWCHAR *dsn, SQLSMALLINT dsnLen, SQLWCHAR *uid,
                                         SQLSMALLINT uidLen, SQLWCHAR *pwd, SQLSMALLINT pwdLen) {
  WideIn d(dsn, dsnLen), u(uid, uidLen), p(pwd, pwdLen);
  // A text without its copy fails the connect (S1001) instead of counting
  // as absent.
  auto len = [](const WideIn &t) { return static_cast<SQLSMALLINT>(t.failed ? kConnectTextNoMemory : t.len); };
  return CallODBC(API_ConnectW, dbc, d.ptr(), len(d), u.ptr(), len(u), p.ptr(), len(p), kWide);
}

// The output connection string comes back whole into the largest work
// buffer, whatever the caller's length (0 included), so that its full
// length in characters is known and a cut is always reported; a string
// longer than that buffer reports the length of the part it holds.
KVD_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND hwnd, SQLWCHAR *in, SQLSMALLINT inLen,
                                               SQLWCHAR *out, SQLSMALLINT outMax, SQLSMALLINT *outLen,
                                               SQLUSMALLINT completion) {
  WideIn text(in, inLen);
  const bool wanted = outMax >= 0 && (out || outLen);
  WideOut work = wanted ? WideOut(kWhole, kMaxBytes16) : WideOut(outMax, kMaxChars16, false);
  if (work.failed) return SQL_ERROR;
  SQLSMALLINT narrowLen = 0;
  const auto inLenArg = static_cast<SQLSMALLINT>(text.failed ? kConnectTextNoMemory : text.len);
  SQLRETURN rc = CallODBC(API_DriverConnectW, dbc, hwnd, text.ptr(), inLenArg, work.ptr(),
                          static_cast<SQLSMALLINT>(work.bytes), &narrowLen, completion, kWide);
  if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && work.buf) {
    uint32_t full;
    const bool cut = ConvertWhole(work.buf, out, outMax, &full) && out;
    PutLen(outLen, full);
    if (cut) {
      PostTruncated(&g_odbc.conns, dbc, MAGIC_CONN);
      rc = SQL_SUCCESS_WITH_INFO;
    }
  }
  return rc;
}

KVD_EXPORT SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC dbc, SQLWCHAR *in, SQLINTEGER inLen, SQLWCHAR *out,
                                           SQLINTEGER outMax, SQLINTEGER *outLen) {
  WideIn text(in, inLen);
  if (text.failed) return CallODBCIn(true, API_NativeSqlW, dbc, text.ptr(), text.len, out, outMax, outLen);
  auto call = [&](const WideOut &w, SQLINTEGER *len) {
    return CallODBC(API_NativeSqlW, dbc, text.ptr(), text.len, w.ptr(), w.bytes, len);
  };
  return ReadOutput(call, out, outMax, outLen, INT32_MAX / 4 - 1, INT32_MAX - 1, &g_odbc.conns, dbc, MAGIC_CONN);
}

// ---- Statements ------------------------------------------------------------------

KVD_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR *sql, SQLINTEGER len) {
  WideIn text(sql, len);
  return CallODBCIn(text.failed, API_PrepareW, stmt, text.ptr(), text.len);
}

KVD_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR *sql, SQLINTEGER len) {
  WideIn text(sql, len);
  return CallODBCIn(text.failed, API_ExecDirectW, stmt, text.ptr(), text.len);
}

KVD_EXPORT SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT stmt, SQLWCHAR *name, SQLSMALLINT len) {
  WideIn text(name, len);
  // Without its copy the name is unknown: the call fails (S1001) instead of
  // setting the empty name a null name stands for.
  if (text.failed) return CallODBC(API_SetCursorNameW, stmt, nullptr, kCursorNameNoMemory);
  return CallODBC(API_SetCursorNameW, stmt, text.ptr(), static_cast<SQLSMALLINT>(text.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT stmt, SQLWCHAR *name, SQLSMALLINT bufLen,
                                               SQLSMALLINT *nameLen) {
  auto call = [&](const WideOut &w, SQLSMALLINT *len) {
    return CallODBC(API_GetCursorNameW, stmt, w.ptr(), static_cast<SQLSMALLINT>(w.bytes), len);
  };
  return ReadOutput(call, name, bufLen, nameLen, kMaxChars16, kMaxBytes16, &g_odbc.stmts, stmt, MAGIC_STMT);
}

KVD_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT col, SQLWCHAR *name, SQLSMALLINT bufLen,
                                             SQLSMALLINT *nameLen, SQLSMALLINT *type, SQLULEN *size,
                                             SQLSMALLINT *digits, SQLSMALLINT *nullable) {
  auto call = [&](const WideOut &w, SQLSMALLINT *len) {
    return CallODBC(API_DescribeColW, stmt, col, w.ptr(), static_cast<SQLSMALLINT>(w.bytes), len, type, size, digits,
                    nullable);
  };
  return ReadOutput(call, name, bufLen, nameLen, kMaxChars16, kMaxBytes16, &g_odbc.stmts, stmt, MAGIC_STMT);
}

// ---- Diagnostics -------------------------------------------------------------------

namespace {

// SQLErrorW and SQLGetDiagRecW around their narrow implementation: the
// message through a work buffer, the SQLSTATE through a local one. The text
// length is the message's full length in characters, so that an application
// (or the Driver Manager) that sizes a second call by it gets the whole
// message: SQLGetDiagRecW reads a message that did not fit its work buffer
// again with one that holds it; SQLError consumes its record, so SQLErrorW
// reads it with the largest work buffer at once.
SQLRETURN DiagRecWide(const ApiRecord &rec, SQLHANDLE h, bool consuming, SQLSMALLINT recNumber,
                      SQLWCHAR *state, SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *msgLen) {
  const bool wanted = bufLen >= 0 && (msg || msgLen);
  SQLCHAR narrowState[6] = {0};
  SQLSMALLINT narrowLen = 0;
  auto call = [&](const WideOut &w, SQLSMALLINT *len) {
    const auto n = static_cast<SQLSMALLINT>(w.bytes);
    return consuming ? CallODBC(rec, h, narrowState, native, w.ptr(), n, len)
                     : CallODBC(rec, h, recNumber, narrowState, native, w.ptr(), n, len);
  };

  WideOut work = consuming && wanted ? WideOut(kWhole, kMaxBytes16) : WideOut(bufLen, kMaxChars16, msg != nullptr);
  if (work.failed) return SQL_ERROR;
  // A record SQLGetDiagRec left in place is read again whole when it did
  // not fit the work buffer.
  SQLRETURN rc = ReadAgainWhole(call, work, &narrowLen, kMaxBytes16, !consuming && wanted);
  if (state) StateToWide(narrowState, state);
  if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && work.buf) {
    uint32_t full;
    const bool cut = ConvertWhole(work.buf, msg, bufLen, &full);
    PutLen(msgLen, full);
    rc = cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  } else if (rc == SQL_NO_DATA) {
    if (msg && bufLen > 0) msg[0] = 0;
    if (msgLen) *msgLen = 0;
  } else if (msgLen && rc != SQL_ERROR && rc != SQL_INVALID_HANDLE) {
    *msgLen = narrowLen;
  }
  return rc;
}

}  // namespace

KVD_EXPORT SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR *state, SQLINTEGER *native,
                                       SQLWCHAR *msg, SQLSMALLINT bufLen, SQLSMALLINT *msgLen) {
  if (stmt) return DiagRecWide(API_ErrorW_Stmt, stmt, true, 0, state, native, msg, bufLen, msgLen);
  if (dbc) return DiagRecWide(API_ErrorW_Dbc, dbc, true, 0, state, native, msg, bufLen, msgLen);
  if (env) return DiagRecWide(API_ErrorW_Env, env, true, 0, state, native, msg, bufLen, msgLen);
  return SQL_INVALID_HANDLE;
}

KVD_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLWCHAR *state,
                                            SQLINTEGER *native, SQLWCHAR *msg, SQLSMALLINT bufLen,
                                            SQLSMALLINT *msgLen) {
  static const ApiRecord *const kRecs[] = {&API_GetDiagRecW_Env, &API_GetDiagRecW_Dbc, &API_GetDiagRecW_Stmt,
                                           &API_GetDiagRecW_Desc};
  if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC) return SQL_INVALID_HANDLE;
  return DiagRecWide(*kRecs[type - SQL_HANDLE_ENV], h, false, rec, state, native, msg, bufLen, msgLen);
}

// ---- Catalog functions: names converted, every length SQL_NTS ------------------------

KVD_EXPORT SQLRETURN SQL_API SQLColumnPrivilegesW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                                  SQLSMALLINT schLen, SQLWCHAR *tab, SQLSMALLINT tabLen,
                                                  SQLWCHAR *col, SQLSMALLINT colLen) {
  WideIn c(cat, catLen), s(sch, schLen), t(tab, tabLen), k(col, colLen);
  return CallODBCIn(AnyFailed(c, s, t, k), API_ColumnPrivilegesW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(),
                    SQLSMALLINT(s.len), t.ptr(), SQLSMALLINT(t.len), k.ptr(), SQLSMALLINT(k.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                         SQLSMALLINT schLen, SQLWCHAR *tab, SQLSMALLINT tabLen, SQLWCHAR *col,
                                         SQLSMALLINT colLen) {
  WideIn c(cat, catLen), s(sch, schLen), t(tab, tabLen), k(col, colLen);
  return CallODBCIn(AnyFailed(c, s, t, k), API_ColumnsW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(), SQLSMALLINT(s.len),
                    t.ptr(), SQLSMALLINT(t.len), k.ptr(), SQLSMALLINT(k.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT stmt, SQLWCHAR *pkCat, SQLSMALLINT pkCatLen, SQLWCHAR *pkSch,
                                             SQLSMALLINT pkSchLen, SQLWCHAR *pkTab, SQLSMALLINT pkTabLen,
                                             SQLWCHAR *fkCat, SQLSMALLINT fkCatLen, SQLWCHAR *fkSch,
                                             SQLSMALLINT fkSchLen, SQLWCHAR *fkTab, SQLSMALLINT fkTabLen) {
  WideIn a(pkCat, pkCatLen), b(pkSch, pkSchLen), c(pkTab, pkTabLen), d(fkCat, fkCatLen), e(fkSch, fkSchLen),
      f(fkTab, fkTabLen);
  return CallODBCIn(AnyFailed(a, b, c, d, e, f), API_ForeignKeysW, stmt, a.ptr(), SQLSMALLINT(a.len), b.ptr(),
                    SQLSMALLINT(b.len), c.ptr(), SQLSMALLINT(c.len), d.ptr(), SQLSMALLINT(d.len), e.ptr(),
                    SQLSMALLINT(e.len), f.ptr(), SQLSMALLINT(f.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                             SQLSMALLINT schLen, SQLWCHAR *tab, SQLSMALLINT tabLen) {
  WideIn c(cat, catLen), s(sch, schLen), t(tab, tabLen);
  return CallODBCIn(AnyFailed(c, s, t), API_PrimaryKeysW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(),
                    SQLSMALLINT(s.len), t.ptr(), SQLSMALLINT(t.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                                  SQLSMALLINT schLen, SQLWCHAR *proc, SQLSMALLINT procLen,
                                                  SQLWCHAR *col, SQLSMALLINT colLen) {
  WideIn c(cat, catLen), s(sch, schLen), p(proc, procLen), k(col, colLen);
  return CallODBCIn(AnyFailed(c, s, p, k), API_ProcedureColumnsW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(),
                    SQLSMALLINT(s.len), p.ptr(), SQLSMALLINT(p.len), k.ptr(), SQLSMALLINT(k.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLProceduresW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                            SQLSMALLINT schLen, SQLWCHAR *proc, SQLSMALLINT procLen) {
  WideIn c(cat, catLen), s(sch, schLen), p(proc, procLen);
  return CallODBCIn(AnyFailed(c, s, p), API_ProceduresW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(), SQLSMALLINT(s.len),
                    p.ptr(), SQLSMALLINT(p.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT stmt, SQLUSMALLINT idType, SQLWCHAR *cat,
                                                SQLSMALLINT catLen, SQLWCHAR *sch, SQLSMALLINT schLen, SQLWCHAR *tab,
                                                SQLSMALLINT tabLen, SQLUSMALLINT scope, SQLUSMALLINT nullable) {
  WideIn c(cat, catLen), s(sch, schLen), t(tab, tabLen);
  return CallODBCIn(AnyFailed(c, s, t), API_SpecialColumnsW, stmt, idType, c.ptr(), SQLSMALLINT(c.len), s.ptr(),
                    SQLSMALLINT(s.len), t.ptr(), SQLSMALLINT(t.len), scope, nullable);
}

KVD_EXPORT SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                            SQLSMALLINT schLen, SQLWCHAR *tab, SQLSMALLINT tabLen,
                                            SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
  WideIn c(cat, catLen), s(sch, schLen), t(tab, tabLen);
  return CallODBCIn(AnyFailed(c, s, t), API_StatisticsW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(), SQLSMALLINT(s.len),
                    t.ptr(), SQLSMALLINT(t.len), unique, accuracy);
}

KVD_EXPORT SQLRETURN SQL_API SQLTablePrivilegesW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                                 SQLSMALLINT schLen, SQLWCHAR *tab, SQLSMALLINT tabLen) {
  WideIn c(cat, catLen), s(sch, schLen), t(tab, tabLen);
  return CallODBCIn(AnyFailed(c, s, t), API_TablePrivilegesW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(),
                    SQLSMALLINT(s.len), t.ptr(), SQLSMALLINT(t.len));
}

KVD_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT stmt, SQLWCHAR *cat, SQLSMALLINT catLen, SQLWCHAR *sch,
                                        SQLSMALLINT schLen, SQLWCHAR *tab, SQLSMALLINT tabLen, SQLWCHAR *types,
                                        SQLSMALLINT typesLen) {
  WideIn c(cat, catLen), s(sch, schLen), t(tab, tabLen), y(types, typesLen);
  return CallODBCIn(AnyFailed(c, s, t, y), API_TablesW, stmt, c.ptr(), SQLSMALLINT(c.len), s.ptr(), SQLSMALLINT(s.len),
                    t.ptr(), SQLSMALLINT(t.len), y.ptr(), SQLSMALLINT(y.len));
}
