// The agent's error lists: records made from result codes or read from OCI
// error handles, handed up once through DRV_GetErrors.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

namespace {

// Oracle error numbers lo..hi and their result code.
struct OraErrMap {
  int32_t lo, hi;
  int32_t code;
};

// Where ODBC defines a class for an Oracle error, the error answers it, so
// that applications (and pyodbc's exception classes) can tell a duplicate key
// from a syntax error. The states are kept in their ODBC 2 form; the front
// end gives ODBC 3 applications the ODBC 3 form (37000 and 22005 become 42000
// and 22018). Single numbers come before the ranges that hold them.
constexpr OraErrMap kOraErrMap[] = {
    {0, 0, 0},
    {1, 1, E_23000},          // unique constraint violated
    {60, 60, E_40001},        // deadlock detected
    {903, 903, E_42S02},      // invalid table name
    {904, 904, E_42S22},      // invalid identifier
    {942, 942, E_42S02},      // table or view does not exist
    {955, 955, E_42S01},      // name is already used by an existing object
    {900, 999, E_37000},      // syntax and access errors
    {1013, 1013, E_S1008},    // user requested cancel (a time-out is answered by the execute itself)
    {1017, 1017, E_28000},    // invalid username/password: an authorization failure
    {1031, 1031, E_37000},    // insufficient privileges: an access violation
    {1033, 1034, E_08001},    // initialization or shutdown in progress; ORACLE not available
    {1400, 1400, E_23000},    // cannot insert NULL
    {1401, 1401, E_22001},    // inserted value too large for column
    {1407, 1407, E_23000},    // cannot update to NULL
    {1426, 1426, E_22003},    // numeric overflow
    {1430, 1430, E_42S21},    // column being added already exists
    {1438, 1438, E_22003},    // value larger than specified precision
    {1455, 1455, E_22003},    // converting column overflows integer datatype
    {1476, 1476, E_22012},    // divisor is equal to zero
    {1722, 1722, E_22005},    // invalid number
    {1830, 1899, E_22008},    // date conversion and format errors
    {2290, 2292, E_23000},    // check, parent key and child record constraints
    {3113, 3114, E_08S01},    // end-of-file on communication channel; not connected to ORACLE
    {3135, 3135, E_08S01},    // connection lost contact
    {8177, 8177, E_40001},    // can't serialize access for this transaction
    {12154, 12154, E_08001},  // could not resolve the connect identifier
    {12514, 12514, E_08001},  // listener does not know of the service
    {12541, 12541, E_08001},  // no listener
    {12545, 12545, E_08001},  // target host or object does not exist
    {12571, 12571, E_08S01},  // TNS packet writer failure
    {12899, 12899, E_22001},  // value too large for column
};

const char *StateOf(int32_t code) {
  const SqlStateRow *row = SqlStateLookup(code);
  if (!row) row = SqlStateLookup(E_S1000);
  return row->state;
}

void Replace(AgentErrList *list) {
  if (!list->keep) ErrList_Free(list);
}

void AppendAllOCI(AgentErrList *list, OciErrWrap *wrap) {
  wrap->nextRec = 1;
  while (AgentErrRec *rec = ErrRec_FromOCI(wrap)) ErrList_Append(list, rec);
}

}  // namespace

int32_t OraErrToCode(int32_t oraError, int32_t dflt) {
  for (const OraErrMap &m : kOraErrMap)
    if (m.lo <= oraError && oraError <= m.hi) return m.code;
  return dflt;
}

const char *OraErrToState(int32_t oraError) { return StateOf(OraErrToCode(oraError, E_S1000)); }

void ErrList_Append(AgentErrList *list, AgentErrRec *rec) {
  if (!list || !rec) return;
  rec->next = nullptr;
  AgentErrRec **tail = &list->first;
  while (*tail) tail = &(*tail)->next;
  *tail = rec;
}

void ErrList_Free(AgentErrList *list) {
  if (!list) return;
  AgentErrRec *rec = list->first;
  while (rec) {
    AgentErrRec *next = rec->next;
    free(rec);
    rec = next;
  }
  list->first = nullptr;
}

AgentErrRec *ErrRec_New(int32_t code) {
  auto *rec = static_cast<AgentErrRec *>(calloc(1, sizeof(AgentErrRec)));
  if (!rec) return nullptr;
  const SqlStateRow *row = SqlStateLookup(code);
  if (!row) row = SqlStateLookup(E_S1000);
  snprintf(rec->message, sizeof rec->message, "%s", row->message);
  rec->sqlState = row->state;
  return rec;
}

AgentErrRec *ErrRec_FromOCI(OciErrWrap *wrap) {
  if (!wrap || !wrap->errhp) return nullptr;
  auto *rec = static_cast<AgentErrRec *>(calloc(1, sizeof(AgentErrRec)));
  if (!rec) return nullptr;
  sb4 oraError = 0;
  sword st = OCIErrorGet(wrap->errhp, wrap->nextRec, nullptr, &oraError, reinterpret_cast<OraText *>(rec->message),
                         sizeof rec->message, OCI_HTYPE_ERROR);
  if (!db_OciOk(st)) {
    free(rec);
    return nullptr;
  }
  rec->message[sizeof rec->message - 1] = '\0';
  if (wrap->wide && db_CharsetToUTF8(wrap->env, rec->message, rec->message, sizeof rec->message, nullptr) == -2) {
    free(rec);
    return nullptr;
  }
  rec->native = oraError;
  // OCI ends its messages with a newline. Only that is dropped: a text cut
  // to fit the record keeps its last character.
  size_t len = strlen(rec->message);
  if (len > 0 && rec->message[len - 1] == '\n') rec->message[len - 1] = '\0';
  rec->sqlState = OraErrToState(oraError);
  ++wrap->nextRec;
  return rec;
}

void ErrList_PushCode(AgentErrList *list, int32_t code) {
  if (!list) return;
  Replace(list);
  ErrList_Append(list, ErrRec_New(code));
}

void ErrList_PushOCI(AgentErrList *list, OciErrWrap *wrap) {
  if (!list || !wrap) return;
  Replace(list);
  AppendAllOCI(list, wrap);
}

void ErrList_AppendOCI(AgentErrList *list, OciErrWrap *wrap) {
  if (!list || !wrap) return;
  AppendAllOCI(list, wrap);
}

int32_t db_OciFail(sword status, AgentErrList *list, OciErrWrap *wrap) {
  if (status == OCI_ERROR) ErrList_PushOCI(list, wrap);
  return E_S1000;
}

int32_t ErrList_Hand(AgentErrList *list, DrvMsgList *out) {
  out->native = 0;
  out->count = 0;
  out->messages = nullptr;
  if (!list->first) return 0;
  uint32_t count = 0;
  for (AgentErrRec *r = list->first; r; r = r->next) ++count;
  auto **texts = static_cast<char **>(calloc(count, sizeof(char *)));
  if (!texts) return E_S1001;
  static const char kFormat[] = "[Oracle Server]%s[SQLSTATE:%s]";
  uint32_t i = 0;
  for (AgentErrRec *r = list->first; r; r = r->next, ++i) {
    if (!r->message[0]) continue;
    const char *state = r->sqlState ? r->sqlState : "S1000";
    size_t size = strlen(r->message) + strlen(state) + sizeof kFormat + 5;
    auto *text = static_cast<char *>(malloc(size));
    if (!text) {
      // The texts made so far are handed up; the list stays for another try.
      out->native = static_cast<uint32_t>(list->first->native);
      out->count = count;
      out->messages = texts;
      return E_S1001;
    }
    snprintf(text, size, kFormat, r->message, state);
    texts[i] = text;
  }
  out->native = static_cast<uint32_t>(list->first->native);
  out->count = count;
  out->messages = texts;
  ErrList_Free(list);
  return 0;
}

int32_t ORA_GetErrors(DrvHandle h, DrvMsgList *out) {
  if (!out) return E_S1009;
  if (AgentCursor *cur = Agent_Cursor(h)) return ErrList_Hand(&cur->errs, out);
  if (AgentConn *conn = Agent_Conn(h)) return ErrList_Hand(&conn->errs, out);
  if (AgentServer *srv = Agent_Server(h)) {
    OsLock lock(srv->lock);
    return ErrList_Hand(&srv->errs, out);
  }
  return E_S1009;
}
