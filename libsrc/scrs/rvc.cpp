// Row versions of dynamic cursors in TVXRVC (see rvc.h).
#include "scrs/rvc.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/md5.h"

namespace {

constexpr int kOk = 0;
constexpr int kGeneral = E_S1000;
constexpr int kNoMemory = E_S1001;
constexpr uint32_t kDigits = 32;      // hex digits of a digest
constexpr uint32_t kParamSize = 36;   // element of a digest parameter

// The process's row-version connections; every attach opens its own.
std::mutex g_mu;
RvcConn *g_conns = nullptr;

std::string Hex(const unsigned char digest[16]) {
  char buf[kDigits + 1];
  size_t len = 0;
  RVC_HexEncode(digest, 16, buf, sizeof buf, &len);
  return std::string(buf, len);
}

std::string Where(const RowVerCtl *ctl) {
  char conn[9], curs[9];
  RVC_HandleText(ctl->hconn, conn);
  RVC_HandleText(ctl->hcurs, curs);
  return std::string("HCONN = '") + conn + "' AND HCURS = '" + curs + "'";
}

// A heap Dataset of one row, one text column per digest text, handed down
// with DRV_SetParams (the layer below takes it).
int Params(const std::vector<std::string> &texts, Dataset **out) {
  *out = nullptr;
  auto *ds = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
  if (!ds) return kNoMemory;
  if (int rc = DatasetInit(ds, static_cast<uint16_t>(texts.size()))) {
    free(ds);
    return rc;
  }
  for (size_t c = 0; c < texts.size(); ++c) ds->cols[c] = {VT_VARCHAR2, kParamSize, nullptr, nullptr};
  ds->columns = static_cast<uint16_t>(texts.size());
  if (int rc = DatasetAllocRows(ds, 1)) {
    DatasetDelete(ds);
    return rc;
  }
  for (size_t c = 0; c < texts.size(); ++c) {
    const uint16_t n = static_cast<uint16_t>(texts[c].size() < kParamSize - 2 ? texts[c].size() : kParamSize - 2);
    memcpy(ds->cols[c].values, &n, 2);
    memcpy(ds->cols[c].values + 2, texts[c].data(), n);
    ds->cols[c].indicators[0] = 0;
  }
  ds->rows = 1;
  *out = ds;
  return kOk;
}

// Sends parameters (and their descriptions when asked) and executes.
int ExecWith(RowVerCtl *ctl, const std::vector<std::string> &texts) {
  Dataset *p = nullptr;
  if (int rc = Params(texts, &p)) return rc;
  int rc = DrvCall<&DrvOps::DRV_SetParams>(ctl->lower, ctl->stmt, p);
  if (ctl->lower->flags & 1) DatasetDelete(p);
  if (rc != kOk) return rc;
  if (ctl->needbind) {
    std::vector<ParamInfo> info(texts.size(), ParamInfo{1, 1, kDigits, 0, PARAM_IN});
    rc = DrvCall<&DrvOps::DRV_SetParamInfo>(ctl->lower, ctl->stmt, static_cast<uint16_t>(info.size()), info.data());
    if (rc != kOk) return rc;
  }
  return DrvCall<&DrvOps::DRV_Execute>(ctl->lower, ctl->stmt);
}

int Prepare(RowVerCtl *ctl, const std::string &sql) {
  return DrvCall<&DrvOps::DRV_Prepare>(ctl->lower, ctl->stmt, sql.c_str());
}

int KeepText(RowVerCtl *ctl, const char *text) {
  char *copy = strdup(text ? text : "");
  auto **grown = static_cast<char **>(realloc(ctl->errors, sizeof(char *) * (ctl->errorCount + 1)));
  if (!copy || !grown) {
    free(copy);
    if (grown) ctl->errors = grown;
    return kNoMemory;
  }
  ctl->errors = grown;
  ctl->errors[ctl->errorCount++] = copy;
  return kOk;
}

void KeepErrorsOf(RowVerCtl *ctl, DrvHandle h) {
  DrvMsgList list{};
  if (DrvCall<&DrvOps::DRV_GetErrors>(ctl->lower, h, &list) != kOk) return;
  for (uint32_t i = 0; i < list.count; ++i) {
    if (list.messages[i]) KeepText(ctl, list.messages[i]);
    free(list.messages[i]);
  }
  free(list.messages);
}

void FreeErrors(RowVerCtl *ctl) {
  for (uint32_t i = 0; i < ctl->errorCount; ++i) free(ctl->errors[i]);
  free(ctl->errors);
  ctl->errors = nullptr;
  ctl->errorCount = 0;
}

uint32_t Slot(DrvHandle h) { return h & 0xFFFFu; }

}  // namespace

void RVC_Init(RowVerCtl *ctl) {
  if (ctl) *ctl = RowVerCtl{};
}

void RVC_HandleText(uint32_t value, char out[9]) { snprintf(out, 9, "%08lX", static_cast<unsigned long>(value)); }

void RVC_HexEncode(const unsigned char *bytes, size_t n, char *out, size_t outSize, size_t *len) {
  static const char kHex[] = "0123456789ABCDEF";
  if (len) *len = 0;
  if (!out || outSize == 0) return;
  if (2 * n + 1 > outSize) n = outSize % 2 ? outSize / 2 : outSize / 2 - 1;
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = kHex[bytes[i] >> 4];
    out[2 * i + 1] = kHex[bytes[i] & 0xF];
  }
  out[2 * n] = '\0';
  if (len) *len = 2 * n;
}

int RVC_RowDigest(const Dataset *ds, uint32_t row, unsigned char digest[16]) {
  if (!ds || !digest || row >= static_cast<uint32_t>(ds->rows)) return kGeneral;
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (uint16_t c = 0; c < ds->columns; ++c) {
    const int32_t type = ds->cols[c].type;
    if (type == VT_LONGCHAR || type == VT_LONGBINARY || type == VT_LONGWCHAR) continue;
    const void *data = nullptr;
    uint32_t n = 0;
    if (int rc = DatasetValueRef(ds, row, c, &data, &n)) return rc;
    const unsigned char mark = ds->cols[c].indicators[row] == kIndNull ? 0 : 1;
    const unsigned char len[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                  static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
    MD5Update(&ctx, &mark, 1);
    MD5Update(&ctx, len, 4);
    if (n) MD5Update(&ctx, data, n);
  }
  MD5Final(digest, &ctx);
  return kOk;
}

int RVC_Attach(RowVerCtl *ctl, const DrvObject *lower, DrvHandle server, const ConnectReq *req, DrvHandle lowerConn,
               DrvHandle lowerStmt, int32_t needbind) {
  if (!ctl || !lower || !req) return kGeneral;
  auto *node = static_cast<RvcConn *>(calloc(1, sizeof(RvcConn)));
  if (!node) return kNoMemory;
  if (req->dbPath && !(node->dbPath = strdup(req->dbPath))) {
    free(node);
    return kNoMemory;
  }
  std::lock_guard<std::mutex> g(g_mu);
  int rc = DrvCall<&DrvOps::DRV_Connect>(lower, server, req, &node->conn);
  if (rc == kOk) {
    rc = DrvCall<&DrvOps::DRV_AllocCursor>(lower, node->conn, &node->stmt);
    if (rc != kOk) DrvCall<&DrvOps::DRV_Disconnect>(lower, node->conn);
  }
  if (rc != kOk) {
    free(node->dbPath);
    free(node);
    return rc;
  }
  node->refs = 1;
  RvcConn **tail = &g_conns;
  while (*tail) tail = &(*tail)->next;
  *tail = node;
  ctl->lower = lower;
  ctl->needbind = needbind;
  ctl->hconn = static_cast<uint32_t>(getpid());
  ctl->hcurs = Slot(lowerConn) << 16 | Slot(lowerStmt);
  ctl->stmt = node->stmt;
  return kOk;
}

int RVC_Detach(RowVerCtl *ctl) {
  if (!ctl) return kOk;
  RvcConn *gone = nullptr;
  {
    std::lock_guard<std::mutex> g(g_mu);
    for (RvcConn **p = &g_conns; *p; p = &(*p)->next) {
      if ((*p)->stmt != ctl->stmt || !ctl->stmt) continue;
      if (--(*p)->refs == 0) {
        gone = *p;
        *p = gone->next;
      }
      break;
    }
  }
  if (gone) {
    DrvCall<&DrvOps::DRV_FreeCursor>(ctl->lower, gone->stmt);
    DrvCall<&DrvOps::DRV_Disconnect>(ctl->lower, gone->conn);
    free(gone->dbPath);
    free(gone);
  }
  FreeErrors(ctl);
  const int32_t needbind = ctl->needbind;
  RVC_Init(ctl);
  ctl->needbind = needbind;
  return kOk;
}

void RVC_MoveErrors(RowVerCtl *ctl) {
  if (!ctl || !ctl->lower || !ctl->stmt) return;
  DrvHandle conn = 0;
  {
    std::lock_guard<std::mutex> g(g_mu);
    for (RvcConn *p = g_conns; p; p = p->next)
      if (p->stmt == ctl->stmt) conn = p->conn;
  }
  if (!conn) return;
  KeepErrorsOf(ctl, ctl->stmt);
  KeepErrorsOf(ctl, conn);
}

int RVC_TakeErrors(RowVerCtl *ctl, DrvMsgList *out) {
  if (!ctl || !out) return kGeneral;
  *out = DrvMsgList{};
  out->count = ctl->errorCount;
  out->messages = ctl->errors;
  ctl->errors = nullptr;
  ctl->errorCount = 0;
  return kOk;
}

int RVC_DeleteVersions(RowVerCtl *ctl) {
  if (!ctl || !ctl->lower || !ctl->stmt) return kGeneral;
  int rc = Prepare(ctl, "DELETE FROM TVXRVC WHERE " + Where(ctl));
  if (rc == kOk) rc = DrvCall<&DrvOps::DRV_Execute>(ctl->lower, ctl->stmt);
  if (rc != kOk) {
    RVC_MoveErrors(ctl);
    const SqlStateRow *row = SqlStateLookup(E_IM926);
    KeepText(ctl, (std::string("[Oracle Server]") + row->message + "[SQLSTATE:" + row->state + "]").c_str());
  }
  return rc;
}

int RVC_UpdateVersions(RowVerCtl *ctl, const unsigned char *keyDigests, const unsigned char *rowDigests,
                       int16_t *status, uint32_t count) {
  if (!ctl || !ctl->lower || !keyDigests || !rowDigests || !status) return kGeneral;
  int rc = Prepare(ctl, "UPDATE TVXRVC SET ROWVER = ? WHERE " + Where(ctl) + " AND KEYVER = ?");
  if (rc != kOk) return rc;
  for (uint32_t k = 0; k < count; ++k) {
    if (status[k] != 2) continue;
    rc = ExecWith(ctl, {Hex(rowDigests + 16 * k), Hex(keyDigests + 16 * k)});
    int32_t changed = 0;
    int16_t len = 0;
    if (rc == kOk) rc = DrvCall<&DrvOps::DRV_GetInfo>(ctl->lower, ctl->stmt, INFO_ROW_COUNT, &changed, 4, &len);
    if (rc != kOk || changed == 0) status[k] = 5;
  }
  return rc;
}

int RVC_CheckVersions(RowVerCtl *ctl, const Dataset *keys, uint32_t first, const Dataset *values, uint32_t count,
                      int16_t *status) {
  if (!ctl || !ctl->lower || !keys || !values || !status) return kGeneral;
  if (count == 0) return kOk;
  if (first + count > static_cast<uint32_t>(keys->rows) || count > static_cast<uint32_t>(values->rows)) return kGeneral;
  std::vector<unsigned char> keyDig(16 * size_t(count)), rowDig(16 * size_t(count));
  Dataset fetched{};
  int rc = Prepare(ctl, "SELECT ROWVER FROM TVXRVC WHERE " + Where(ctl) + " AND KEYVER = ?");
  uint32_t changed = 0, missing = 0;
  for (uint32_t k = 0; rc == kOk && k < count; ++k) {
    status[k] = 0;
    unsigned char *kd = &keyDig[16 * k], *rd = &rowDig[16 * k];
    if ((rc = RVC_RowDigest(keys, first + k, kd)) || (rc = RVC_RowDigest(values, k, rd))) break;
    if ((rc = ExecWith(ctl, {Hex(kd)}))) break;
    rc = DrvCall<&DrvOps::DRV_Fetch>(ctl->lower, ctl->stmt, 2, &fetched);
    if (rc == E_IM907 || rc == E_IM902) rc = kOk;  // no rows; rows with the database's warning
    if (rc != kOk) break;
    if (fetched.rows >= 2) {
      rc = kGeneral;
      break;
    }
    // A connection in wide mode hands the version back in UTF-16.
    if (fetched.rows == 1 && (rc = DatasetToNarrow(&fetched))) break;
    if (fetched.rows == 1) {
      const void *data = nullptr;
      uint32_t n = 0;
      DatasetValueRef(&fetched, 0, 0, &data, &n);
      if (n < kDigits || memcmp(data, Hex(rd).data(), kDigits) != 0) {
        status[k] = 2;
        ++changed;
      }
    } else {
      status[k] = 4;
      ++missing;
    }
    DrvCall<&DrvOps::DRV_CloseCursor>(ctl->lower, ctl->stmt);
  }
  DatasetFree(&fetched);
  if (rc == kOk && changed) rc = RVC_UpdateVersions(ctl, keyDig.data(), rowDig.data(), status, count);
  if (rc == kOk && missing) {
    char conn[9], curs[9];
    RVC_HandleText(ctl->hconn, conn);
    RVC_HandleText(ctl->hcurs, curs);
    rc = Prepare(ctl, std::string("INSERT INTO TVXRVC VALUES ( '") + conn + "', '" + curs + "', ?, ?)");
    for (uint32_t k = 0; rc == kOk && k < count; ++k) {
      if (status[k] != 4) continue;
      status[k] = 5;
      if ((rc = ExecWith(ctl, {Hex(&keyDig[16 * k]), Hex(&rowDig[16 * k])})) == kOk) status[k] = 0;
    }
  }
  if (rc != kOk) RVC_MoveErrors(ctl);
  return rc;
}
