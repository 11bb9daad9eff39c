// The scripted fake agent (see fake.h).
#include "fake.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "odbc/dataset.h"

namespace fake {
namespace {

enum Kind { K_ANY, K_SERVER, K_CONN, K_CURSOR, K_CONN_OR_CURSOR, K_NONE };

struct State {
  std::mutex mu;
  SlotScript scripts[kDrvSlots];
  int counts[kDrvSlots] = {};
  std::vector<Call> log;
  std::map<uint32_t, int32_t> ints;
  std::map<uint32_t, std::string> texts;
  std::map<DrvHandle, std::vector<Msg>> errors;
  int servers = 0;                              // DRV_Init references
  std::map<DrvHandle, bool> conns;             // connection -> its request was wide
  struct Cur {
    DrvHandle conn = 0;
    std::string name;
    size_t next = 0;         // next canned row to fetch
    size_t block = 0;        // canned row of the last fetched block's first row
    std::map<std::pair<int32_t, int32_t>, size_t> pieceOffset;  // (column, row) -> bytes served
  };
  std::map<DrvHandle, Cur> cursors;
  std::vector<Column> cols, params;
  std::vector<Row> rows;
  std::vector<Row> paramRows;
  uint16_t nextConn = 1, nextCursor = 1;
  std::optional<ConnectCopy> lastConnect;
  int registrations = 0;
  std::optional<int> paramDataAsks;  // see AskParamData
};

State &S() {
  static State *s = new State;  // never destroyed: drivers may call in during exit
  return *s;
}

constexpr DrvHandle kServer = static_cast<DrvHandle>(kDrvTagServer) << 16 | 1;

DrvOps g_table;

bool HandleLive(State &s, DrvHandle h, Kind kind) {
  bool server = h == kServer && s.servers > 0;
  bool conn = s.conns.count(h) != 0;
  bool cursor = s.cursors.count(h) != 0;
  switch (kind) {
    case K_ANY: return server || conn || cursor;
    case K_SERVER: return server;
    case K_CONN: return conn;
    case K_CURSOR: return cursor;
    case K_CONN_OR_CURSOR: return conn || cursor;
    case K_NONE: return true;
  }
  return false;
}

// One call: counts and checks it, runs the hook, decides the scripted result.
// Returns the code to answer when the script (or a dead handle) decides,
// nullopt when the slot's own behaviour should run; Finish() logs it.
class Enter {
 public:
  Enter(int slot, DrvHandle h, Kind kind, std::string text) : slot_(slot), h_(h), text_(std::move(text)) {
    std::function<void()> hook;
    {
      State &s = S();
      std::lock_guard<std::mutex> lock(s.mu);
      s.counts[slot]++;
      hook = s.scripts[slot].hook;
    }
    if (hook) hook();
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    SlotScript &sc = s.scripts[slot];
    if (!sc.queue.empty()) {
      scripted_ = sc.queue.front();
      sc.queue.pop_front();
    } else if (sc.result) {
      scripted_ = *sc.result;
    } else {
      onSuccess_ = sc.onSuccess;
    }
    if (!scripted_ && !HandleLive(s, h, kind)) scripted_ = E_S1009;
  }

  // The scripted code, if any (the caller returns Finish(code) then).
  std::optional<int32_t> scripted() const { return scripted_; }

  // Logs the call and, for a failure, leaves the slot's messages on the handle.
  int32_t Finish(int32_t rc) {
    if (rc == 0 && onSuccess_) rc = *onSuccess_;
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    const SlotScript &sc = s.scripts[slot_];
    if (rc != 0 && slot_ != SLOT_DRV_GetErrors && !sc.messages.empty()) s.errors[h_] = sc.messages;
    s.log.push_back(Call{slot_, h_, text_, rc});
    return rc;
  }

 private:
  int slot_;
  DrvHandle h_;
  std::string text_;
  std::optional<int32_t> scripted_;
  std::optional<int32_t> onSuccess_;
};

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", v);
  return b;
}

std::string Str(const char *s) { return s ? s : "(null)"; }

// Copies a text out with the agent's rules: whole with its NUL, or cut to
// size - 1 bytes and a NUL. Returns 0 when whole, -1 when cut or not copied.
int CopyOut(const std::string &src, char *buf, uint16_t size, int16_t *len) {
  if (!buf) {
    if (len) *len = static_cast<int16_t>(src.size());
    return 0;
  }
  if (src.size() + 1 <= size) {
    std::memcpy(buf, src.c_str(), src.size() + 1);
    if (len) *len = static_cast<int16_t>(src.size());
    return 0;
  }
  if (size == 0) return -1;
  std::memcpy(buf, src.data(), size - 1u);
  buf[size - 1] = 0;
  if (len) *len = static_cast<int16_t>(size - 1);
  return -1;
}

// A ColDesc array (ColDescAlloc: one record even for none) from canned columns.
int32_t BuildDescs(const std::vector<Column> &cols, ColDesc **out) {
  ColDesc *d = ColDescAlloc(static_cast<uint32_t>(cols.size()));
  if (!d) return E_S1001;
  for (size_t i = 0; i < cols.size(); ++i) {
    const Column &c = cols[i];
    std::snprintf(d[i].name, sizeof d[i].name, "%.40s", c.name.c_str());
    d[i].fullName = strdup(c.name.c_str());
    d[i].table = c.table.empty() ? nullptr : strdup(c.table.c_str());
    d[i].schema = c.schema.empty() ? nullptr : strdup(c.schema.c_str());
    d[i].catalog = c.catalog.empty() ? nullptr : strdup(c.catalog.c_str());
    d[i].oraType = c.oraType;
    d[i].sqlType = c.sqlType;
    d[i].flags = c.nullable & kColDescNullableMask;
    d[i].columnSize = c.size;
    d[i].decimalDigits = c.digits;
    d[i].displaySize = static_cast<int32_t>(c.size);
    d[i].valueType = c.valueType;
    d[i].octetLength = c.size;
  }
  *out = d;
  return 0;
}

void PutLE(unsigned char *p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Writes one canned cell into row r of a laid-out column, cut to the element.
void WriteCell(DatasetCol &col, int32_t r, const Cell &cell) {
  col.indicators[r] = cell.null ? kIndNull : cell.indicator;
  if (cell.null) return;
  unsigned char *e = col.values + static_cast<size_t>(r) * col.size;
  const std::string &b = cell.bytes;
  auto fit = [&](size_t room) { return std::min(b.size(), room); };
  switch (col.type) {
    case VT_LONGCHAR:
    case VT_LONGBINARY:
    case VT_LONGWCHAR: {
      LongValue lv{};
      lv.length = static_cast<uint32_t>(col.type == VT_LONGWCHAR ? b.size() / 2 : b.size());
      lv.buffer = std::malloc(b.size() + 2);
      if (lv.buffer) std::memcpy(lv.buffer, b.data(), b.size());
      std::memcpy(e, &lv, sizeof lv);
      break;
    }
    case VT_STRING: {
      size_t n = fit(col.size - 1);
      std::memcpy(e, b.data(), n);
      e[n] = 0;
      break;
    }
    case VT_WSTRING: {
      size_t n = fit(col.size - 2) & ~size_t{1};
      std::memcpy(e, b.data(), n);
      e[n] = e[n + 1] = 0;
      break;
    }
    case VT_CHAR:
      std::memset(e, ' ', col.size);
      std::memcpy(e, b.data(), fit(col.size));
      break;
    case VT_VARCHAR1: case VT_VARBIN1: {
      size_t n = fit(std::min<size_t>(col.size - 1, 0xFF));
      PutLE(e, static_cast<uint32_t>(n), 1);
      std::memcpy(e + 1, b.data(), n);
      break;
    }
    case VT_VARCHAR2: case VT_VARBIN2: {
      size_t n = fit(std::min<size_t>(col.size - 2, 0xFFFF));
      PutLE(e, static_cast<uint32_t>(n), 2);
      std::memcpy(e + 2, b.data(), n);
      break;
    }
    case VT_VARCHAR4: case VT_VARBIN4: {
      size_t n = fit(col.size - 4);
      PutLE(e, static_cast<uint32_t>(n), 4);
      std::memcpy(e + 4, b.data(), n);
      break;
    }
    case VT_WVARCHAR4: {
      size_t n = fit(col.size - 4) & ~size_t{1};
      PutLE(e, static_cast<uint32_t>(n / 2), 4);
      std::memcpy(e + 4, b.data(), n);
      break;
    }
    default:  // fixed-size numbers, dates, fixed binary and wide text
      std::memcpy(e, b.data(), fit(col.size));
      break;
  }
}

// The cells of a Dataset read back.
std::vector<Row> ReadRows(const Dataset *ds) {
  std::vector<Row> out;
  if (!ds) return out;
  for (int32_t r = 0; r < ds->rows; ++r) {
    Row row;
    for (uint16_t c = 0; c < ds->columns; ++c) {
      Cell cell;
      int16_t ind = ds->cols[c].indicators ? ds->cols[c].indicators[r] : kIndNull;
      cell.null = ind == kIndNull;
      cell.indicator = ind;
      const void *data = nullptr;
      uint32_t len = 0;
      if (!cell.null && DatasetValueRef(ds, static_cast<uint32_t>(r), c, &data, &len) == 0 && data)
        cell.bytes.assign(static_cast<const char *>(data), len);
      row.push_back(cell);
    }
    out.push_back(row);
  }
  return out;
}

// A new result starts: the cursor fetches from the first canned row again.
void Rewind(DrvHandle cursor) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.cursors.find(cursor);
  if (it == s.cursors.end()) return;
  it->second.next = it->second.block = 0;
  it->second.pieceOffset.clear();
}

// Takes a parameter Dataset handed down: keeps its rows for ParamRows() and
// frees it (it became ours).
void TakeParams(Dataset *params) {
  if (!params) return;
  std::vector<Row> rows = ReadRows(params);
  DatasetFree(params);
  std::free(params);
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.paramRows = std::move(rows);
}

// Slot macros: every slot enters, returns a scripted code when there is one,
// else runs its body, which yields the result.
#define FAKE_ENTER(slot, h, kind, text)        \
  Enter call_(slot, h, kind, text);            \
  if (auto rc_ = call_.scripted()) return call_.Finish(*rc_)
#define FAKE_RETURN(rc) return call_.Finish(rc)

int32_t F_GetInfo(DrvHandle h, uint32_t code, void *buf, uint16_t bufLen, int16_t *outLen) {
  FAKE_ENTER(SLOT_DRV_GetInfo, h, K_ANY, Hex(code));
  State &s = S();
  std::unique_lock<std::mutex> lock(s.mu);
  if (InfoCodeKind(code) == IK_INT) {
    auto it = s.ints.find(code);
    if (it == s.ints.end() && code == INFO_WIDE && s.conns.count(h)) {
      // Like the agent's wide mode: 1 for a connection whose request was wide.
      int32_t wide = s.conns[h] ? 1 : 0;
      lock.unlock();
      if (buf && bufLen < 4) FAKE_RETURN(E_S1009);
      if (buf) std::memcpy(buf, &wide, 4);
      if (outLen) *outLen = 4;
      FAKE_RETURN(0);
    }
    if (it == s.ints.end()) { lock.unlock(); FAKE_RETURN(E_IM001); }
    if (buf && bufLen < 4) { lock.unlock(); FAKE_RETURN(E_S1009); }
    if (buf) std::memcpy(buf, &it->second, 4);
    if (outLen) *outLen = 4;
    lock.unlock();
    FAKE_RETURN(0);
  }
  if (InfoCodeKind(code) == IK_STRING) {
    auto it = s.texts.find(code);
    if (it == s.texts.end()) { lock.unlock(); FAKE_RETURN(E_IM001); }
    std::string v = it->second;
    lock.unlock();
    CopyOut(v, static_cast<char *>(buf), bufLen, outLen);
    FAKE_RETURN(0);
  }
  lock.unlock();
  FAKE_RETURN(E_IM001);
}

int32_t F_SetInfo(DrvHandle h, uint32_t code, const void *value) {
  std::string text = Hex(code);
  if (value && InfoCodeKind(code) == IK_INT) text += "=" + std::to_string(*static_cast<const int32_t *>(value));
  if (value && InfoCodeKind(code) == IK_STRING) text += "=" + std::string(static_cast<const char *>(value));
  FAKE_ENTER(SLOT_DRV_SetInfo, h, K_CONN_OR_CURSOR, text);
  if (!value) FAKE_RETURN(E_S1009);
  State &s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    if (InfoCodeKind(code) == IK_INT) s.ints[code] = *static_cast<const int32_t *>(value);
    else s.texts[code] = static_cast<const char *>(value);
  }
  FAKE_RETURN(0);
}

int32_t F_GetErrors(DrvHandle h, DrvMsgList *out) {
  FAKE_ENTER(SLOT_DRV_GetErrors, h, K_ANY, "");
  if (!out) FAKE_RETURN(E_S1009);
  State &s = S();
  std::vector<Msg> msgs;
  {
    std::lock_guard<std::mutex> lock(s.mu);
    auto it = s.errors.find(h);
    if (it != s.errors.end()) {
      msgs = std::move(it->second);
      s.errors.erase(it);
    }
  }
  out->native = 0;
  out->count = 0;
  out->messages = nullptr;
  if (!msgs.empty()) {
    out->native = static_cast<uint32_t>(msgs.front().native);
    out->count = static_cast<uint32_t>(msgs.size());
    out->messages = static_cast<char **>(std::calloc(msgs.size(), sizeof(char *)));
    for (size_t i = 0; i < msgs.size(); ++i)
      out->messages[i] = msgs[i].text.empty() ? nullptr : strdup(msgs[i].text.c_str());
  }
  FAKE_RETURN(0);
}

int32_t F_Init(const DrvInitReq *req, DrvHandle *server) {
  FAKE_ENTER(SLOT_DRV_Init, 0, K_NONE, req ? Str(req->serverType) : "");
  if (!server) FAKE_RETURN(E_S1009);
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    s.servers++;
  }
  *server = kServer;
  FAKE_RETURN(0);
}

int32_t F_Term(DrvHandle server) {
  FAKE_ENTER(SLOT_DRV_Term, server, K_SERVER, "");
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    s.servers--;
  }
  FAKE_RETURN(0);
}

int32_t F_Connect(DrvHandle server, const ConnectReq *req, DrvHandle *conn) {
  {
    // The request is recorded even when the script refuses the connect.
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    if (req) {
      ConnectCopy c;
      c.host = Str(req->host);
      c.hasServerOptions = req->serverOptions != nullptr;
      c.serverOptions = req->serverOptions ? req->serverOptions : "";
      c.serverType = Str(req->serverType);
      c.dbPath = Str(req->dbPath);
      c.dataSource = Str(req->dataSource);
      c.dbOptions = Str(req->dbOptions);
      c.readOnly = req->readOnly;
      c.user = Str(req->user);
      c.password = Str(req->password);
      c.loginTimeout = req->loginTimeout;
      c.extra = Str(req->extra);
      c.reserved = req->reserved;
      c.flag40 = req->flag40;
      c.programName = Str(req->programName);
      c.wide = ConnectReqIsWide(req);
      s.lastConnect = c;
    }
  }
  FAKE_ENTER(SLOT_DRV_Connect, server, K_SERVER, req ? Str(req->dataSource) : "");
  if (!req || !conn) FAKE_RETURN(E_S1009);
  State &s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    DrvHandle h = static_cast<DrvHandle>(kDrvTagConn) << 16 | s.nextConn++;
    s.conns[h] = ConnectReqIsWide(req);
    *conn = h;
  }
  FAKE_RETURN(0);
}

int32_t F_Disconnect(DrvHandle conn) {
  FAKE_ENTER(SLOT_DRV_Disconnect, conn, K_CONN, "");
  State &s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    s.conns.erase(conn);
    s.errors.erase(conn);
  }
  FAKE_RETURN(0);
}

int32_t F_AllocCursor(DrvHandle conn, DrvHandle *cursor) {
  FAKE_ENTER(SLOT_DRV_AllocCursor, conn, K_CONN, "");
  if (!cursor) FAKE_RETURN(E_S1009);
  State &s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    DrvHandle h = static_cast<DrvHandle>(kDrvTagCursor) << 16 | s.nextCursor++;
    char name[24];
    std::snprintf(name, sizeof name, "CN%X", h);
    s.cursors[h].conn = conn;
    s.cursors[h].name = name;
    *cursor = h;
  }
  FAKE_RETURN(0);
}

int32_t F_FreeCursor(DrvHandle cursor) {
  FAKE_ENTER(SLOT_DRV_FreeCursor, cursor, K_CURSOR, "");
  State &s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    s.cursors.erase(cursor);
    s.errors.erase(cursor);
  }
  FAKE_RETURN(0);
}

int32_t F_GetCursorName(DrvHandle cursor, char *buf, uint16_t bufSize, int16_t *outLen) {
  FAKE_ENTER(SLOT_DRV_GetCursorName, cursor, K_CURSOR, "");
  std::string name;
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    name = s.cursors[cursor].name;
  }
  FAKE_RETURN(CopyOut(name, buf, bufSize, outLen) == 0 ? 0 : E_01004_109);
}

int32_t F_SetCursorName(DrvHandle cursor, const char *name) {
  FAKE_ENTER(SLOT_DRV_SetCursorName, cursor, K_CURSOR, Str(name));
  if (!name) FAKE_RETURN(E_S1009);
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    s.cursors[cursor].name = name;
  }
  FAKE_RETURN(0);
}

int32_t F_Prepare(DrvHandle cursor, const char *sql) {
  FAKE_ENTER(SLOT_DRV_Prepare, cursor, K_CURSOR, Str(sql));
  if (!sql) FAKE_RETURN(E_S1009);
  Rewind(cursor);
  FAKE_RETURN(0);
}

int32_t F_SetParams(DrvHandle cursor, Dataset *params) {
  FAKE_ENTER(SLOT_DRV_SetParams, cursor, K_CURSOR, "");
  TakeParams(params);
  FAKE_RETURN(0);
}

int32_t F_Execute(DrvHandle cursor) {
  FAKE_ENTER(SLOT_DRV_Execute, cursor, K_CURSOR, "");
  Rewind(cursor);
  FAKE_RETURN(0);
}

int32_t F_Reserved14(DrvHandle h, uint16_t, uint16_t, void *) {
  FAKE_ENTER(SLOT_DRV_Reserved14, h, K_ANY, "");
  FAKE_RETURN(E_S1C00);
}

int32_t F_DescribeColumns(DrvHandle cursor, uint16_t *count, ColDesc **cols) {
  FAKE_ENTER(SLOT_DRV_DescribeColumns, cursor, K_CURSOR, "");
  std::vector<Column> canned;
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    canned = s.cols;
  }
  if (count) *count = static_cast<uint16_t>(canned.size());
  if (cols) {
    *cols = nullptr;
    if (!canned.empty()) FAKE_RETURN(BuildDescs(canned, cols));
  }
  FAKE_RETURN(0);
}

int32_t F_DescribeParams(DrvHandle cursor, uint16_t *count, ColDesc **params) {
  FAKE_ENTER(SLOT_DRV_DescribeParams, cursor, K_CURSOR, "");
  std::vector<Column> canned;
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    canned = s.params;
  }
  if (count) *count = static_cast<uint16_t>(canned.size());
  if (params) FAKE_RETURN(BuildDescs(canned, params));  // an array even for none
  FAKE_RETURN(0);
}

int32_t F_NativeSql(DrvHandle conn, const char *sql, char *buf, uint16_t bufLen, int16_t *outLen) {
  FAKE_ENTER(SLOT_DRV_NativeSql, conn, K_CONN, Str(sql));
  if (!sql) FAKE_RETURN(E_S1009);
  FAKE_RETURN(CopyOut(sql, buf, bufLen, outLen) == 0 ? 0 : E_01004_109);
}

int32_t F_SetParamInfo(DrvHandle cursor, uint16_t count, const ParamInfo *) {
  FAKE_ENTER(SLOT_DRV_SetParamInfo, cursor, K_CURSOR, std::to_string(count));
  FAKE_RETURN(0);
}

int32_t F_Fetch(DrvHandle cursor, uint16_t rows, Dataset *out) {
  FAKE_ENTER(SLOT_DRV_Fetch, cursor, K_CURSOR, std::to_string(rows));
  if (!out) FAKE_RETURN(E_S1009);
  // The Dataset is laid out afresh; what it held is freed.
  DatasetFree(out);
  std::vector<Column> canned;
  std::vector<Row> block;
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    State::Cur &cur = s.cursors[cursor];
    if (rows > 0 && !s.cols.empty() && cur.next < s.rows.size()) {
      size_t n = std::min<size_t>(rows, s.rows.size() - cur.next);
      block.assign(s.rows.begin() + static_cast<long>(cur.next), s.rows.begin() + static_cast<long>(cur.next + n));
      cur.block = cur.next;
      cur.next += n;
      cur.pieceOffset.clear();
      canned = s.cols;
    }
  }
  if (block.empty()) FAKE_RETURN(0);  // the end: no columns, no rows
  ColDesc *descs = nullptr;
  int32_t rc = BuildDescs(canned, &descs);
  if (rc == 0) rc = DatasetFromColDescs(descs, static_cast<uint16_t>(canned.size()), rows, out);
  ColDescFree(descs, static_cast<uint32_t>(canned.size()));
  if (rc) FAKE_RETURN(rc);
  for (size_t r = 0; r < block.size(); ++r)
    for (size_t c = 0; c < canned.size(); ++c)
      WriteCell(out->cols[c], static_cast<int32_t>(r), c < block[r].size() ? block[r][c] : Null());
  out->rows = static_cast<int32_t>(block.size());
  FAKE_RETURN(0);
}

int32_t F_CloseCursor(DrvHandle cursor) {
  FAKE_ENTER(SLOT_DRV_CloseCursor, cursor, K_CURSOR, "");
  Rewind(cursor);
  FAKE_RETURN(0);
}

int32_t F_Commit(DrvHandle conn) {
  FAKE_ENTER(SLOT_DRV_Commit, conn, K_CONN, "");
  FAKE_RETURN(0);
}

int32_t F_Rollback(DrvHandle conn) {
  FAKE_ENTER(SLOT_DRV_Rollback, conn, K_CONN, "");
  FAKE_RETURN(0);
}

// The conversion table answered by DRV_GetOpTable: SQL_C_CHAR, SQL_C_LONG and
// SQL_C_BINARY, then the end row.
constexpr OpTableRow kOpRows[] = {
    {1, 65533, 0x2a31fe},
    {4, 0, 0x2821fe},
    {-2, 65533, 0x2a3000},
    {0, 0, 0},
};

int32_t F_GetOpTable(DrvHandle conn, OpTableReq *req) {
  FAKE_ENTER(SLOT_DRV_GetOpTable, conn, K_CONN, req ? std::to_string(req->kind) : "");
  if (!req) FAKE_RETURN(E_S1009);
  if (req->kind != 1) FAKE_RETURN(E_S1C00);
  req->rowCount = 3;
  req->rows = kOpRows;
  FAKE_RETURN(0);
}

int32_t F_MoreResults(DrvHandle cursor) {
  FAKE_ENTER(SLOT_DRV_MoreResults, cursor, K_CURSOR, "");
  FAKE_RETURN(E_IM901);
}

std::string CatalogText(const CatalogArgs *a, int names) {
  if (!a) return "(null)";
  std::string t;
  for (int i = 0; i < names; ++i) {
    if (i) t += ",";
    t += Str(a->names[i]);
  }
  return t;
}

#define FAKE_CATALOG(fn, slot, names)                              \
  int32_t fn(DrvHandle cursor, CatalogArgs *args) {                \
    FAKE_ENTER(slot, cursor, K_CURSOR, CatalogText(args, names));  \
    Rewind(cursor);                                                \
    FAKE_RETURN(0);                                                \
  }
FAKE_CATALOG(F_DDColumnPrivileges, SLOT_DRV_DDColumnPrivileges, 4)
FAKE_CATALOG(F_DDColumns, SLOT_DRV_DDColumns, 4)
FAKE_CATALOG(F_DDForeignKeys, SLOT_DRV_DDForeignKeys, 6)
FAKE_CATALOG(F_DDPrimaryKeys, SLOT_DRV_DDPrimaryKeys, 3)
FAKE_CATALOG(F_DDProcedureColumns, SLOT_DRV_DDProcedureColumns, 4)
FAKE_CATALOG(F_DDProcedures, SLOT_DRV_DDProcedures, 3)
FAKE_CATALOG(F_DDSpecialColumns, SLOT_DRV_DDSpecialColumns, 3)
FAKE_CATALOG(F_DDStatistics, SLOT_DRV_DDStatistics, 3)
FAKE_CATALOG(F_DDTablePrivileges, SLOT_DRV_DDTablePrivileges, 3)
FAKE_CATALOG(F_DDTables, SLOT_DRV_DDTables, 4)
#undef FAKE_CATALOG

int32_t F_DDTypeInfo(DrvHandle cursor, int16_t sqlType) {
  FAKE_ENTER(SLOT_DRV_DDTypeInfo, cursor, K_CURSOR, std::to_string(sqlType));
  Rewind(cursor);
  FAKE_RETURN(0);
}

int32_t F_ExtendedFetch(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *) {
  FAKE_ENTER(SLOT_DRV_ExtendedFetch, cursor, K_CURSOR, std::to_string(value));
  if (out) *out = nullptr;
  if (rows) *rows = 0;
  FAKE_RETURN(E_IM907);
}

int32_t F_SetPos(DrvHandle cursor, int32_t row, uint16_t op, uint16_t, int16_t **status, int32_t *count, Dataset *,
                 uint16_t *, uint16_t) {
  FAKE_ENTER(SLOT_DRV_SetPos, cursor, K_CURSOR, std::to_string(row) + "," + std::to_string(op));
  if (status) *status = nullptr;
  if (count) *count = 0;
  FAKE_RETURN(0);
}

int32_t F_ParamData(DrvHandle cursor, int32_t *index, int32_t *row, int16_t **status, int32_t *count) {
  FAKE_ENTER(SLOT_DRV_ParamData, cursor, K_CURSOR, "");
  if (status) *status = nullptr;
  if (count) *count = 0;
  State &s = S();
  std::unique_lock<std::mutex> lock(s.mu);
  if (!s.paramDataAsks) {
    lock.unlock();
    FAKE_RETURN(E_S1010);
  }
  if (*s.paramDataAsks == 0) {
    lock.unlock();
    FAKE_RETURN(0);
  }
  --*s.paramDataAsks;
  lock.unlock();
  if (index) *index = 0;
  if (row) *row = 0;
  FAKE_RETURN(E_IM922);
}

int32_t F_PutData(DrvHandle cursor, uint32_t valueType, int16_t indicator, const void *data, int32_t length) {
  FAKE_ENTER(SLOT_DRV_PutData, cursor, K_CURSOR, std::to_string(valueType) + "," + std::to_string(length));
  FAKE_RETURN(0);
}

// Serves a Deferred cell of the last fetched block in pieces of at most
// maxBytes (characters for character values): bytes left counts the piece.
int32_t F_GetDataChunk(DrvHandle cursor, int32_t column, int32_t row, int32_t maxBytes, void **piece, int32_t *size,
                       int32_t *valueType, int32_t *left) {
  FAKE_ENTER(SLOT_DRV_GetDataChunk, cursor, K_CURSOR, std::to_string(column) + "," + std::to_string(row));
  if (!piece || !size || !valueType || !left) FAKE_RETURN(E_S1009);
  *piece = nullptr;
  *size = 0;
  State &s = S();
  std::unique_lock<std::mutex> lock(s.mu);
  State::Cur &cur = s.cursors[cursor];
  size_t r = cur.block + static_cast<size_t>(row) - 1;
  if (column < 1 || static_cast<size_t>(column) > s.cols.size() || row < 1 || r >= cur.next || r >= s.rows.size())
    { lock.unlock(); FAKE_RETURN(E_S1009); }
  const Column &col = s.cols[static_cast<size_t>(column) - 1];
  if (col.valueType != VT_LONGCHAR && col.valueType != VT_LONGBINARY && col.valueType != VT_LONGWCHAR)
    { lock.unlock(); FAKE_RETURN(E_S1000); }
  const Row &cells = s.rows[r];
  Cell cell = static_cast<size_t>(column) <= cells.size() ? cells[static_cast<size_t>(column) - 1] : Null();
  *valueType = col.valueType == VT_LONGCHAR ? VT_CHAR : col.valueType == VT_LONGWCHAR ? VT_WCHAR : VT_BINARY;
  if (cell.null) { *left = -1; lock.unlock(); FAKE_RETURN(0); }
  size_t &off = cur.pieceOffset[{column, row}];
  size_t remaining = cell.bytes.size() - std::min(off, cell.bytes.size());
  *left = static_cast<int32_t>(remaining);
  size_t unit = col.valueType == VT_LONGWCHAR ? 2 : 1;
  size_t n = std::min(remaining, static_cast<size_t>(std::max(maxBytes, 0)) * unit);
  if (n > 0) {
    void *p = std::malloc(n);
    if (!p) { lock.unlock(); FAKE_RETURN(E_S1001); }
    std::memcpy(p, cell.bytes.data() + off, n);
    off += n;
    *piece = p;
    *size = static_cast<int32_t>(n);
  }
  lock.unlock();
  FAKE_RETURN(0);
}

int32_t F_FetchScroll(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *, uint16_t orient) {
  FAKE_ENTER(SLOT_DRV_FetchScroll, cursor, K_CURSOR, std::to_string(orient) + "," + std::to_string(value));
  if (out) *out = nullptr;
  if (rows) *rows = 0;
  FAKE_RETURN(E_IM907);
}

int32_t F_BulkOperations(DrvHandle cursor, int16_t op, const int32_t *, uint16_t count, Dataset *, uint16_t *,
                         uint16_t, int16_t **status, int16_t *outCount, Rowset **rowset) {
  FAKE_ENTER(SLOT_DRV_BulkOperations, cursor, K_CURSOR, std::to_string(op) + "," + std::to_string(count));
  if (status) *status = nullptr;
  if (outCount) *outCount = 0;
  if (rowset) *rowset = nullptr;
  FAKE_RETURN(0);
}

int32_t F_ExecDirect(DrvHandle cursor, const char *sql, Dataset *params, uint16_t count, const ParamInfo *) {
  FAKE_ENTER(SLOT_DRV_ExecDirect, cursor, K_CURSOR, Str(sql));
  TakeParams(params);
  Rewind(cursor);
  FAKE_RETURN(0);
}

int32_t F_ExecDescribe(DrvHandle cursor, const char *sql, Dataset *, uint16_t, const ParamInfo *, uint32_t *,
                       uint16_t *colCount, ColDesc **cols, uint16_t *parCount, ColDesc **pars, int32_t *rowCount) {
  FAKE_ENTER(SLOT_DRV_ExecDescribe, cursor, K_CURSOR, Str(sql));
  if (colCount) *colCount = 0;
  if (cols) *cols = nullptr;
  if (parCount) *parCount = 0;
  if (pars) *pars = nullptr;
  if (rowCount) *rowCount = 0;
  FAKE_RETURN(0);
}

int32_t F_AllocPrepare(DrvHandle conn, const char *sql, int32_t, int32_t, DrvHandle *cursor) {
  FAKE_ENTER(SLOT_DRV_AllocPrepare, conn, K_CONN, Str(sql));
  if (cursor) *cursor = 0;
  FAKE_RETURN(E_S1C00);
}

int32_t F_DescribeColTypes(DrvHandle cursor, uint16_t *count, ColDesc **cols, Dataset *) {
  FAKE_ENTER(SLOT_DRV_DescribeColTypes, cursor, K_CURSOR, "");
  if (count) *count = 0;
  if (cols) *cols = nullptr;
  FAKE_RETURN(0);
}

int32_t F_FetchSnapshot(DrvHandle cursor, Rowset **out, int32_t value, uint32_t *rows, int32_t *, uint16_t orient) {
  FAKE_ENTER(SLOT_DRV_FetchSnapshot, cursor, K_CURSOR, std::to_string(orient) + "," + std::to_string(value));
  if (out) *out = nullptr;
  if (rows) *rows = 0;
  FAKE_RETURN(E_IM907);
}

int32_t F_GetSnapshotChunk(DrvHandle cursor, int32_t column, int32_t row, int32_t, void **piece, int32_t *size,
                           int32_t *, int32_t *left) {
  FAKE_ENTER(SLOT_DRV_GetSnapshotChunk, cursor, K_CURSOR, std::to_string(column) + "," + std::to_string(row));
  if (piece) *piece = nullptr;
  if (size) *size = 0;
  if (left) *left = -4;
  FAKE_RETURN(E_IM907);
}

int32_t F_ExecBatch(DrvHandle cursor, uint16_t count, const DrvBatchStmt *, uint16_t *done, int32_t **rowCounts) {
  FAKE_ENTER(SLOT_DRV_ExecBatch, cursor, K_CURSOR, std::to_string(count));
  if (done) *done = 0;
  if (rowCounts) *rowCounts = nullptr;
  FAKE_RETURN(E_S1C00);
}

int32_t F_Savepoint(DrvHandle conn, int32_t action, const char *name) {
  FAKE_ENTER(SLOT_DRV_Savepoint, conn, K_CONN, std::to_string(action) + "," + Str(name));
  FAKE_RETURN(0);
}

int32_t F_DescribeColumns2(DrvHandle cursor, uint16_t *colCount, int16_t *attrCount, ColDesc **cols,
                           ColAttr **attrs) {
  FAKE_ENTER(SLOT_DRV_DescribeColumns2, cursor, K_CURSOR, "");
  if (!colCount || !attrCount || !cols || !attrs) FAKE_RETURN(E_S1009);
  *attrCount = 0;  // no extended attributes
  *attrs = nullptr;
  *cols = nullptr;
  std::vector<Column> canned;
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    canned = s.cols;
  }
  *colCount = static_cast<uint16_t>(canned.size());
  if (!canned.empty()) FAKE_RETURN(BuildDescs(canned, cols));
  FAKE_RETURN(0);
}

int32_t F_ExecDescribe2(DrvHandle cursor, const char *sql, Dataset *, uint16_t, const ParamInfo *, uint32_t *,
                        uint16_t *colCount, ColDesc **cols, uint16_t *parCount, ColDesc **pars, int16_t *attrCount,
                        ColAttr **attrs, int32_t *rowCount) {
  FAKE_ENTER(SLOT_DRV_ExecDescribe2, cursor, K_CURSOR, Str(sql));
  if (colCount) *colCount = 0;
  if (cols) *cols = nullptr;
  if (parCount) *parCount = 0;
  if (pars) *pars = nullptr;
  if (attrCount) *attrCount = 0;
  if (attrs) *attrs = nullptr;
  if (rowCount) *rowCount = 0;
  FAKE_RETURN(0);
}

int32_t F_Cancel(DrvHandle cursor) {
  FAKE_ENTER(SLOT_DRV_Cancel, cursor, K_CURSOR, "");
  FAKE_RETURN(0);
}

int32_t F_ExecDirect2(DrvHandle cursor, const char *sql, Dataset *, uint16_t, const ParamDesc *) {
  FAKE_ENTER(SLOT_DRV_ExecDirect2, cursor, K_CURSOR, Str(sql));
  FAKE_RETURN(0);
}

// The XA verbs answer XA_OK (0) unless scripted; an unknown connection gives
// XAER_INVAL (-5) rather than an agent code.
#define FAKE_XA_ENTER(slot, conn, text)                         \
  Enter call_(slot, conn, K_NONE, text);                        \
  if (auto rc_ = call_.scripted()) return call_.Finish(*rc_);   \
  if (!LiveConn(conn)) return call_.Finish(-5)

bool LiveConn(DrvHandle conn) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.conns.count(conn) != 0;
}

int32_t F_XaClose(DrvHandle conn, const char *info, int32_t rmid, int32_t) {
  FAKE_XA_ENTER(SLOT_DRV_XaClose, conn, Str(info) + "," + std::to_string(rmid));
  FAKE_RETURN(0);
}

#define FAKE_XA_XID(fn, slot)                                          \
  int32_t fn(DrvHandle conn, xid_t *, int32_t rmid, int32_t flags) {   \
    FAKE_XA_ENTER(slot, conn, std::to_string(rmid) + "," + Hex(static_cast<uint32_t>(flags))); \
    FAKE_RETURN(0);                                                    \
  }
FAKE_XA_XID(F_XaCommit, SLOT_DRV_XaCommit)
FAKE_XA_XID(F_XaEnd, SLOT_DRV_XaEnd)
FAKE_XA_XID(F_XaForget, SLOT_DRV_XaForget)
FAKE_XA_XID(F_XaPrepare, SLOT_DRV_XaPrepare)
FAKE_XA_XID(F_XaRollback, SLOT_DRV_XaRollback)
FAKE_XA_XID(F_XaStart, SLOT_DRV_XaStart)
#undef FAKE_XA_XID

int32_t F_XaComplete(DrvHandle conn, int32_t *, int32_t *retval, int32_t rmid, int32_t) {
  FAKE_XA_ENTER(SLOT_DRV_XaComplete, conn, std::to_string(rmid));
  if (retval) *retval = 0;
  FAKE_RETURN(0);
}

int32_t F_XaOpen(DrvHandle conn, int32_t threaded, const char *info, int32_t rmid, int32_t) {
  FAKE_XA_ENTER(SLOT_DRV_XaOpen, conn, Str(info) + "," + std::to_string(rmid) + "," + std::to_string(threaded));
  FAKE_RETURN(0);
}

int32_t F_XaRecover(DrvHandle conn, xid_t *, int32_t count, int32_t rmid, int32_t) {
  FAKE_XA_ENTER(SLOT_DRV_XaRecover, conn, std::to_string(count) + "," + std::to_string(rmid));
  FAKE_RETURN(0);
}

int32_t F_SetParamInfo2(DrvHandle cursor, uint16_t count, const ParamDesc *) {
  FAKE_ENTER(SLOT_DRV_SetParamInfo2, cursor, K_CURSOR, std::to_string(count));
  FAKE_RETURN(0);
}

void FillTable(DrvOps &t) {
  t = DrvOps{};
  t.DRV_GetInfo = F_GetInfo;
  t.DRV_SetInfo = F_SetInfo;
  t.DRV_GetErrors = F_GetErrors;
  t.DRV_Init = F_Init;
  t.DRV_Term = F_Term;
  t.DRV_Connect = F_Connect;
  t.DRV_Disconnect = F_Disconnect;
  t.DRV_AllocCursor = F_AllocCursor;
  t.DRV_FreeCursor = F_FreeCursor;
  t.DRV_GetCursorName = F_GetCursorName;
  t.DRV_SetCursorName = F_SetCursorName;
  t.DRV_Prepare = F_Prepare;
  t.DRV_SetParams = F_SetParams;
  t.DRV_Execute = F_Execute;
  t.DRV_Reserved14 = F_Reserved14;
  t.DRV_DescribeColumns = F_DescribeColumns;
  t.DRV_DescribeParams = F_DescribeParams;
  t.DRV_NativeSql = F_NativeSql;
  t.DRV_SetParamInfo = F_SetParamInfo;
  t.DRV_Fetch = F_Fetch;
  t.DRV_CloseCursor = F_CloseCursor;
  t.DRV_Commit = F_Commit;
  t.DRV_Rollback = F_Rollback;
  t.DRV_GetOpTable = F_GetOpTable;
  t.DRV_MoreResults = F_MoreResults;
  t.DRV_DDColumnPrivileges = F_DDColumnPrivileges;
  t.DRV_DDColumns = F_DDColumns;
  t.DRV_DDForeignKeys = F_DDForeignKeys;
  t.DRV_DDPrimaryKeys = F_DDPrimaryKeys;
  t.DRV_DDProcedureColumns = F_DDProcedureColumns;
  t.DRV_DDProcedures = F_DDProcedures;
  t.DRV_DDSpecialColumns = F_DDSpecialColumns;
  t.DRV_DDStatistics = F_DDStatistics;
  t.DRV_DDTablePrivileges = F_DDTablePrivileges;
  t.DRV_DDTables = F_DDTables;
  t.DRV_DDTypeInfo = F_DDTypeInfo;
  t.DRV_ExtendedFetch = F_ExtendedFetch;
  t.DRV_SetPos = F_SetPos;
  t.DRV_ParamData = F_ParamData;
  t.DRV_PutData = F_PutData;
  t.DRV_GetDataChunk = F_GetDataChunk;
  t.DRV_FetchScroll = F_FetchScroll;
  t.DRV_BulkOperations = F_BulkOperations;
  t.DRV_ExecDirect = F_ExecDirect;
  t.DRV_ExecDescribe = F_ExecDescribe;
  t.DRV_AllocPrepare = F_AllocPrepare;
  t.DRV_DescribeColTypes = F_DescribeColTypes;
  t.DRV_FetchSnapshot = F_FetchSnapshot;
  t.DRV_GetSnapshotChunk = F_GetSnapshotChunk;
  t.DRV_ExecBatch = F_ExecBatch;
  t.DRV_Savepoint = F_Savepoint;
  t.DRV_DescribeColumns2 = F_DescribeColumns2;
  t.DRV_ExecDescribe2 = F_ExecDescribe2;
  t.DRV_Cancel = F_Cancel;
  t.DRV_ExecDirect2 = F_ExecDirect2;
  t.DRV_XaClose = F_XaClose;
  t.DRV_XaCommit = F_XaCommit;
  t.DRV_XaComplete = F_XaComplete;
  t.DRV_XaEnd = F_XaEnd;
  t.DRV_XaForget = F_XaForget;
  t.DRV_XaOpen = F_XaOpen;
  t.DRV_XaPrepare = F_XaPrepare;
  t.DRV_XaRecover = F_XaRecover;
  t.DRV_XaRollback = F_XaRollback;
  t.DRV_XaStart = F_XaStart;
  t.DRV_SetParamInfo2 = F_SetParamInfo2;
}

// The table is full from the start, so a driver that registers before the
// first Reset() already works.
[[maybe_unused]] const bool g_filled = (FillTable(g_table), true);

}  // namespace

std::string OraText(const std::string &message, const char *sqlstate) {
  return "[Oracle Server]" + message + "[SQLSTATE:" + (sqlstate ? sqlstate : "") + "]";
}

void Reset() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  for (auto &sc : s.scripts) sc = SlotScript{};
  for (auto &c : s.counts) c = 0;
  s.log.clear();
  s.ints.clear();
  s.texts.clear();
  s.errors.clear();
  s.servers = 0;
  s.conns.clear();
  s.cursors.clear();
  s.cols.clear();
  s.params.clear();
  s.rows.clear();
  s.paramRows.clear();
  s.nextConn = s.nextCursor = 1;
  s.lastConnect.reset();
  s.paramDataAsks.reset();
  FillTable(g_table);
}

SlotScript &Script(int slot) {
  static SlotScript none;
  if (slot < 0 || slot >= kDrvSlots) return none;
  return S().scripts[slot];
}

void ClearSlot(int slot) {
  DrvOps empty{};
  switch (slot) {
#define FAKE_CLEAR(n, name) \
  case n:                   \
    g_table.name = empty.name; \
    break;
    KVD_DRV_SLOTS(FAKE_CLEAR)
#undef FAKE_CLEAR
    default:
      break;
  }
}

void SetInfo(uint32_t code, int32_t value) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.ints[code] = value;
}

void SetInfoText(uint32_t code, const std::string &value) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.texts[code] = value;
}

void ForgetInfo(uint32_t code) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.ints.erase(code);
  s.texts.erase(code);
}

std::optional<int32_t> InfoValue(uint32_t code) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.ints.find(code);
  if (it == s.ints.end()) return std::nullopt;
  return it->second;
}

void PostErrors(DrvHandle h, const std::vector<Msg> &msgs) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.errors[h] = msgs;
}

int CallCount(int slot) {
  if (slot < 0 || slot >= kDrvSlots) return 0;
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.counts[slot];
}

std::vector<Call> Log() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.log;
}

std::vector<Call> LogOf(int slot) {
  std::vector<Call> out;
  for (auto &c : Log())
    if (c.slot == slot) out.push_back(c);
  return out;
}

std::optional<ConnectCopy> LastConnect() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.lastConnect;
}

int LiveServers() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.servers;
}

int LiveConnections() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return static_cast<int>(s.conns.size());
}

int LiveCursors() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return static_cast<int>(s.cursors.size());
}

std::string CursorName(DrvHandle cursor) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.cursors.find(cursor);
  return it == s.cursors.end() ? std::string() : it->second.name;
}

Cell Null() { return Cell{}; }
Cell Text(const std::string &v) { return Cell{false, v, 0}; }
Cell I16(int16_t v) { return Cell{false, std::string(reinterpret_cast<const char *>(&v), sizeof v), 0}; }
Cell I32(int32_t v) { return Cell{false, std::string(reinterpret_cast<const char *>(&v), sizeof v), 0}; }
Cell F64(double v) { return Cell{false, std::string(reinterpret_cast<const char *>(&v), sizeof v), 0}; }
Cell Deferred(const std::string &v) { return Cell{false, v, kIndDeferred}; }

void SetColumns(const std::vector<Column> &cols) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.cols = cols;
}

void SetRows(const std::vector<Row> &rows) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.rows = rows;
}

void SetParamDescs(const std::vector<Column> &params) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.params = params;
}

std::vector<Row> ParamRows() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.paramRows;
}

DrvOps *Table() { return &g_table; }

int32_t Register(DrvObject *obj) {
  if (!obj) return 0;
  {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mu);
    s.registrations++;
  }
  obj->flags = DRVOBJ_THREADSAFE;
  obj->table = &g_table;
  return 0;
}

int RegisterCount() {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.registrations;
}

void AskParamData(int cells) {
  State &s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.paramDataAsks = cells;
}

}  // namespace fake
