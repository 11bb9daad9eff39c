// Procedure and function calls on the OCI level's cursor: the analysis of
// the call text, the description of the called object's arguments, the
// block that runs the call, its binds, its execution with the output
// values, and the hand-out of the REF CURSOR statements it produced.
#include "drv_ora8/db-proc.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-exec.h"
#include "drv_ora8/o-typemap.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "util/log.h"

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

uint32_t SkipBlanks(const char *t, uint32_t i) {
  while (t[i] && IsBlank(t[i])) ++i;
  return i;
}

// After a quote at i: the index after its closing quote, or 0 when it has none.
uint32_t SkipQuoted(const char *t, uint32_t i) {
  const char q = t[i];
  for (++i; t[i]; ++i)
    if (t[i] == q) return i + 1;
  return 0;
}

// The marker number of text[b, e) when that is a whole marker (":n"), else 0.
uint32_t WholeMarker(const char *t, uint32_t b, uint32_t e) {
  if (e - b < 2 || t[b] != ':') return 0;
  uint32_t n = 0;
  for (uint32_t i = b + 1; i < e; ++i) {
    if (!isdigit(static_cast<unsigned char>(t[i])) || n > 100000) return 0;
    n = n * 10 + static_cast<uint32_t>(t[i] - '0');
  }
  return n;
}

bool IsCursorType(int32_t oraType) { return oraType == SQLT_RSET || oraType == SQLT_CUR; }

AgentErrList *Errs(DB_Curs *c) { return c->owner ? &c->owner->errs : nullptr; }

int32_t Refuse(DB_Curs *c, int32_t code) {
  ErrList_PushCode(Errs(c), code);
  return code;
}

}  // namespace

// ---- The call text ---------------------------------------------------------------------------

int db_IsFunctionCall(const char *text) {
  uint32_t i = SkipBlanks(text, 0);
  if (text[i] != ':') return 0;
  ++i;
  while (isdigit(static_cast<unsigned char>(text[i]))) ++i;
  i = SkipBlanks(text, i);
  return text[i] == '=' || (text[i] == ':' && text[i + 1] == '=') ? 1 : 0;
}

int32_t db_SplitProcName(const char *name, size_t len, std::string *proc, std::string *pkgOrSchema,
                         std::string *schema) {
  proc->clear();
  pkgOrSchema->clear();
  schema->clear();
  if (len > kProcNameMax) return E_42000;
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < len; ++i) {
    if (name[i] == '"') {
      size_t j = i + 1;
      while (j < len && name[j] != '"') ++j;
      if (j >= len) return E_37000;
      parts.back().append(name + i, j - i + 1);
      i = j;
    } else if (name[i] == '.') {
      parts.emplace_back();
    } else {
      parts.back().push_back(name[i]);
    }
  }
  if (parts.size() > 3) return E_37000;
  for (const std::string &p : parts)
    if (p.empty() || p == "\"\"") return E_37000;
  const size_t n = parts.size();
  *proc = parts[n - 1];
  if (n >= 2) *pkgOrSchema = parts[n - 2];
  if (n == 3) *schema = parts[0];
  if (proc->size() > kProcPartMax || pkgOrSchema->size() > kProcPackageMax || schema->size() > kProcSchemaMax)
    return E_42000;
  return 0;
}

bool db_SubprogramNameIs(const char *described, size_t describedLen, const std::string &written) {
  if (!written.empty() && written[0] == '"') {
    const size_t inner = written.size() - 2;
    return inner == describedLen && memcmp(written.data() + 1, described, inner) == 0;
  }
  return written.size() == describedLen && strncasecmp(written.data(), described, describedLen) == 0;
}

int32_t db_ParseCall(const char *t, ProcCall *call) {
  *call = ProcCall{};
  uint32_t i = SkipBlanks(t, 0);
  call->funcSyntax = db_IsFunctionCall(t);
  if (call->funcSyntax) {
    call->retBegin = i++;
    while (isdigit(static_cast<unsigned char>(t[i]))) ++i;
    call->retEnd = i;
    i = SkipBlanks(t, i);
    i += t[i] == ':' ? 2 : 1;
    i = SkipBlanks(t, i);
    call->markers = 1;
  }
  // The name runs to the first blank or "(" outside double quotes.
  call->nameBegin = i;
  while (t[i] && !IsBlank(t[i]) && t[i] != '(') {
    if (t[i] == '"') {
      i = SkipQuoted(t, i);
      if (!i) return E_37000;
    } else {
      ++i;
    }
  }
  call->nameEnd = i;
  if (call->nameEnd == call->nameBegin) return E_37000;
  if (int32_t rc = db_SplitProcName(t + call->nameBegin, call->nameEnd - call->nameBegin, &call->procName,
                                    &call->packageOrSchema, &call->schema))
    return rc;
  i = SkipBlanks(t, i);
  if (!t[i]) return 0;
  if (t[i] != '(') return E_37000;
  call->hasList = 1;
  ++i;
  int depth = 0;
  uint32_t start = i;
  for (;;) {
    const char ch = t[i];
    if (!ch) return E_37000;
    if (ch == '\'' || ch == '"') {
      i = SkipQuoted(t, i);
      if (!i) return E_37000;
      continue;
    }
    if (ch == '(') {
      ++depth;
    } else if (ch == ')' && depth > 0) {
      --depth;
    } else if ((ch == ',' || ch == ')') && depth == 0) {
      uint32_t b = SkipBlanks(t, start), e = i;
      while (e > b && IsBlank(t[e - 1])) --e;
      // "p()" writes no argument at all.
      if (!(ch == ')' && call->args.empty() && b == e)) {
        if (call->args.size() >= kProcArgMax) {
          LOG(LOG_DEBUG, "Internal table overflow");
          return E_S1C00;
        }
        ProcCallArg a{b, e, static_cast<int32_t>(call->args.size() + 1), -1};
        if (const uint32_t m = WholeMarker(t, b, e)) {
          a.marker = static_cast<int32_t>(m - 1);
          ++call->markers;
        }
        call->args.push_back(a);
      }
      start = i + 1;
      if (ch == ')') break;
    }
    ++i;
  }
  i = SkipBlanks(t, i + 1);
  return t[i] ? E_37000 : 0;
}

void db_BuildProcBlock(const char *text, ProcCall *call, int describedAsFunction, const std::vector<ProcArgInfo> &args,
                       int omitCursors, std::string *block, std::vector<int32_t> *placeholders) {
  placeholders->clear();
  // Written arguments move past every REF CURSOR argument the call leaves
  // out at or before their place.
  std::vector<std::pair<int32_t, int32_t>> order;  // position, index: >= 0 written argument, -1 - e cursor
  std::vector<int32_t> cursors;
  if (omitCursors)
    for (size_t e = 0; e < args.size(); ++e)
      if (args[e].refCursor && args[e].position > 0) cursors.push_back(static_cast<int32_t>(e));
  std::sort(cursors.begin(), cursors.end(),
            [&](int32_t a, int32_t b) { return args[a].position < args[b].position; });
  for (size_t k = 0; k < call->args.size(); ++k) {
    int32_t pos = static_cast<int32_t>(k + 1);
    for (int32_t e : cursors)
      if (pos >= args[e].position) ++pos;
    call->args[k].position = pos;
    order.emplace_back(pos, static_cast<int32_t>(k));
  }
  for (int32_t e : cursors) order.emplace_back(args[e].position, -1 - e);
  std::stable_sort(order.begin(), order.end(), [](auto &a, auto &b) { return a.first < b.first; });

  auto placeholder = [&](int32_t what) {
    placeholders->push_back(what);
    return ":" + std::to_string(placeholders->size());
  };
  std::string body;
  if (describedAsFunction) {
    if (call->funcSyntax) {
      const uint32_t m = WholeMarker(text, call->retBegin, call->retEnd);
      body = placeholder(static_cast<int32_t>(m ? m - 1 : 0)) + " := ";
    } else {
      body = placeholder(kPhRetval) + " := ";
    }
  }
  // A procedure called with function syntax: the call runs without the
  // return marker, which reads as NULL.
  body.append(text + call->nameBegin, call->nameEnd - call->nameBegin);
  if (!order.empty()) {
    body += "(";
    for (size_t k = 0; k < order.size(); ++k) {
      if (k) body += ", ";
      const int32_t idx = order[k].second;
      if (idx < 0) {
        body += placeholder(idx);
        continue;
      }
      const ProcCallArg &a = call->args[static_cast<size_t>(idx)];
      if (a.marker >= 0)
        body += placeholder(a.marker);
      else
        body.append(text + a.begin, a.end - a.begin);
    }
    body += ")";
  }
  *block = "begin\n" + body + ";\nend;";
}

// ---- Description -------------------------------------------------------------------------------

namespace {

struct DescribeHandle {
  OCIDescribe *h = nullptr;
  ~DescribeHandle() {
    if (h) OCIHandleFree(h, OCI_HTYPE_DESCRIBE);
  }
};

// Describes name as ptype; the object's parameter handle or null.
void *DescribeAs(DB_Curs *c, OCIDescribe *dsc, const std::string &name, ub1 ptype, sword *st) {
  *st = OCIDescribeAny(c->conn->svc, c->err->errhp, const_cast<char *>(name.c_str()), static_cast<ub4>(name.size()),
                       OCI_OTYPE_NAME, 1, ptype, dsc);
  if (!db_OciOk(*st)) return nullptr;
  void *param = nullptr;
  *st = OCIAttrGet(dsc, OCI_HTYPE_DESCRIBE, &param, nullptr, OCI_ATTR_PARAM, c->err->errhp);
  return db_OciOk(*st) ? param : nullptr;
}

// The first subprogram of the package whose name is the called one (the
// first of several overloads).
int32_t db_GetPackagedSubProgHandl(DB_Curs *c, void *pkg, const std::string &proc, void **out) {
  OCIError *errhp = c->err->errhp;
  void *list = nullptr;
  ub2 count = 0;
  sword st = OCIAttrGet(pkg, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_SUBPROGRAMS, errhp);
  if (db_OciOk(st)) st = OCIAttrGet(list, OCI_DTYPE_PARAM, &count, nullptr, OCI_ATTR_NUM_PARAMS, errhp);
  // The list is walked from entry 0; a list whose entries start at 1
  // answers no descriptor there, which is passed over.
  for (uint32_t i = 0; db_OciOk(st) && i <= count; ++i) {
    void *sub = nullptr;
    if (!db_OciOk(OCIParamGet(list, OCI_DTYPE_PARAM, errhp, &sub, i))) continue;
    OraText *name = nullptr;
    ub4 len = 0;
    st = OCIAttrGet(sub, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, errhp);
    if (db_OciOk(st) && name && db_SubprogramNameIs(reinterpret_cast<const char *>(name), len, proc)) {
      *out = sub;
      return 0;
    }
  }
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "db_GetPackagedSubProgHandl failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  LOG(LOG_ERR, "db_GetPackagedSubProgHandl failed: subprogram not found");
  return Refuse(c, E_S1000);
}

int32_t db_GetProcArgDescs(DB_Curs *c, const ProcCall &call, const char *text) {
  c->refCursorArgCount = 0;
  db_ProcArgDescsFree(c);
  DescribeHandle dsc;
  void *h = nullptr;
  sword st = OCIHandleAlloc(c->conn->env, &h, OCI_HTYPE_DESCRIBE, 0, nullptr);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "db_GetProcArgDescs: OCIHandleAlloc() failed.");
    return E_S1001;  // a failed allocation leaves no record on the error handle
  }
  dsc.h = static_cast<OCIDescribe *>(h);
  OCIError *errhp = c->err->errhp;
  void *obj = nullptr;
  if (!call.packageOrSchema.empty()) {
    std::string pkg = call.schema.empty() ? call.packageOrSchema : call.schema + "." + call.packageOrSchema;
    if (void *p = DescribeAs(c, dsc.h, pkg, OCI_PTYPE_PKG, &st)) {
      if (int32_t rc = db_GetPackagedSubProgHandl(c, p, call.procName, &obj)) return rc;
    }
  }
  if (!obj) {
    const std::string name(text + call.nameBegin, call.nameEnd - call.nameBegin);
    const ub1 first = call.funcSyntax ? OCI_PTYPE_FUNC : OCI_PTYPE_PROC;
    obj = DescribeAs(c, dsc.h, name, first, &st);
    if (!obj) obj = DescribeAs(c, dsc.h, name, first == OCI_PTYPE_FUNC ? OCI_PTYPE_PROC : OCI_PTYPE_FUNC, &st);
    if (!obj) {
      LOG(LOG_ERR, "db_GetProcArgDescs: OCIDescribeAny failed");
      return db_OciFail(st, Errs(c), c->err);
    }
  }
  ub1 ptype = 0;
  void *list = nullptr;
  ub2 k = 0;
  st = OCIAttrGet(obj, OCI_DTYPE_PARAM, &ptype, nullptr, OCI_ATTR_PTYPE, errhp);
  if (db_OciOk(st)) st = OCIAttrGet(obj, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_ARGUMENTS, errhp);
  if (db_OciOk(st)) st = OCIAttrGet(list, OCI_DTYPE_PARAM, &k, nullptr, OCI_ATTR_NUM_PARAMS, errhp);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "db_GetProcArgDescs: OCIAttrGet failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  c->describedAsFunction = ptype == OCI_PTYPE_FUNC ? 1 : 0;
  // A function's list holds its result at entry 0; a procedure's arguments
  // start at 1. Descriptor e is list entry e either way.
  const uint32_t first = c->describedAsFunction ? 0 : 1;
  const uint32_t count = c->describedAsFunction ? k : static_cast<uint32_t>(k) + 1;
  auto *descs = static_cast<OciColDesc *>(calloc(count ? count : 1, sizeof(OciColDesc)));
  if (!descs) return E_S1001;
  c->argDescs = descs;
  c->argDescCount = static_cast<uint16_t>(count);
  for (uint32_t e = first; e < count; ++e) {
    OciColDesc &r = descs[e];
    void *arg = nullptr;
    st = OCIParamGet(list, OCI_DTYPE_PARAM, errhp, &arg, static_cast<ub4>(e));
    OraText *name = nullptr;
    ub4 nameLen = 0, iomode = 0;
    ub1 precision = 0, isNull = 0;
    sb1 scale = 0;
    ub2 size = 0;
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &r.position, nullptr, OCI_ATTR_POSITION, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &iomode, nullptr, OCI_ATTR_IOMODE, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &r.oraType, nullptr, OCI_ATTR_DATA_TYPE, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, errhp);
    if (db_OciOk(st)) st = OCIAttrGet(arg, OCI_DTYPE_PARAM, &isNull, nullptr, OCI_ATTR_IS_NULL, errhp);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "db_GetProcArgDescs: OCIAttrGet failed");
      db_ProcArgDescsFree(c);
      return db_OciFail(st, Errs(c), c->err);
    }
    if (nameLen > kOciArgNameSize - 5) nameLen = kOciArgNameSize - 5;
    if (name && nameLen) memcpy(r.argName, name, nameLen);
    r.argName[nameLen] = '\0';
    if (c->owner->conn->wide && db_CharsetToUTF8(c->conn->env, r.argName, r.argName, kOciArgNameSize, nullptr) == -2) {
      LOG(LOG_ERR, "db_GetProcArgDescs: OCIAttrGet failed");
      db_ProcArgDescsFree(c);
      return E_S1000;
    }
    r.ioMode = static_cast<int32_t>(iomode);
    r.precision = precision;
    r.scale = scale;
    r.size = size;
    r.nullable = isNull;
    if (IsCursorType(r.oraType)) ++c->refCursorArgCount;
  }
  return 0;
}

// The argument descriptor at an argument position, or null.
OciColDesc *ArgAt(DB_Curs *c, int32_t position) {
  for (uint32_t e = c->describedAsFunction ? 0 : 1; e < c->argDescCount; ++e)
    if (c->argDescs[e].position == position) return &c->argDescs[e];
  return nullptr;
}

// The output buffer size of an OUT or IN OUT argument. Character values in
// the wide mode count UTF-16 units: 32760 of them are 65520 bytes.
uint32_t OutOctets(uint16_t oraType, int wide, uint32_t mapped) {
  switch (oraType) {
    case SQLT_CHR:
    case SQLT_AFC:
      return 32760;
    case SQLT_LNG:
    case SQLT_BIN:
    case SQLT_LBI:
      return 32760;
    case 105:
      return wide ? 510 : 255;
    default:
      return mapped;
  }
}

int32_t MapInto(DB_Curs *c, ColDesc *cd, uint32_t i, OciColDesc *r) {
  AgentConn *conn = c->owner->conn;
  int32_t rc = db_ColDescMap(cd, i + 1, r, conn->opts.jet, conn->item12, conn->wide);
  if (rc == 0 && (r->ioMode != 0 || r->position == 0))
    cd->octetLength = OutOctets(r->oraType, conn->wide, cd->octetLength);
  return rc;
}

}  // namespace

int32_t DB_ProcDescribe(DB_Curs *c, uint32_t n) {
  AgentCursor *cur = c->owner;
  const char *text = cur->req.translated ? cur->req.translated : "";
  DB_Curs_FreeDescs(c);
  ProcCall call;
  if (int32_t rc = db_ParseCall(text, &call)) return Refuse(c, rc);
  if (call.markers != n) {
    LOG(LOG_NOTICE, "The stored procedure call is too complex");
    return Refuse(c, E_S1000);
  }
  // Each marker is a whole argument, numbered as the request builder numbered them.
  std::vector<int32_t> table(n, -1);
  if (call.funcSyntax) table[0] = 0;
  for (const ProcCallArg &a : call.args) {
    if (a.marker < 0) continue;
    if (static_cast<uint32_t>(a.marker) >= n || table[static_cast<size_t>(a.marker)] != -1) {
      LOG(LOG_NOTICE, "The stored procedure call is too complex");
      return Refuse(c, E_S1000);
    }
    table[static_cast<size_t>(a.marker)] = a.position;
  }
  c->funcCallSyntax = call.funcSyntax;
  c->nameStart = text + call.nameBegin;
  c->nameLength = static_cast<int32_t>(call.nameEnd - call.nameBegin);
  snprintf(c->procName, sizeof c->procName, "%s", call.procName.c_str());
  snprintf(c->packageOrSchema, sizeof c->packageOrSchema, "%s", call.packageOrSchema.c_str());
  snprintf(c->schema, sizeof c->schema, "%s", call.schema.c_str());

  if (int32_t rc = db_GetProcArgDescs(c, call, text)) return rc;
  std::vector<ProcArgInfo> args(c->argDescCount);
  for (uint32_t e = c->describedAsFunction ? 0 : 1; e < c->argDescCount; ++e)
    args[e] = ProcArgInfo{c->argDescs[e].position, IsCursorType(c->argDescs[e].oraType) ? 1 : 0};
  const uint32_t realArgs = c->argDescCount > 0 ? c->argDescCount - 1u : 0u;
  c->allArgsWritten = c->refCursorArgCount != 0 && call.args.size() < realArgs ? 0 : 1;
  std::string block;
  std::vector<int32_t> ph;
  db_BuildProcBlock(text, &call, c->describedAsFunction, args, c->allArgsWritten ? 0 : 1, &block, &ph);
  for (const ProcCallArg &a : call.args)
    if (a.marker >= 0) table[static_cast<size_t>(a.marker)] = a.position;

  // Directions of the markers. A marker without an argument (more written
  // than the object has) counts for no direction: the execution finds more
  // parameters than the call takes.
  SqlRequest &req = cur->req;
  req.outputCount = 0;
  req.markerCount = 0;
  req.inOutCount = 0;
  ColDesc *pars = n ? ColDescAlloc(n) : nullptr;
  if (n && !pars) return E_S1001;
  for (uint32_t i = 0; i < n; ++i) {
    ColDesc &d = pars[i];
    snprintf(d.name, sizeof d.name, "*I");
    d.oraType = -9999;
    d.sqlType = 12;
    d.valueType = VT_STRING;
    d.flags = 2;
  }
  auto fail = [&](int32_t rc) {
    ColDescFree(pars, n);
    db_ProcArgDescsFree(c);
    return rc;
  };
  const bool procAsFunction = call.funcSyntax && !c->describedAsFunction;
  for (uint32_t i = 0; i < n; ++i) {
    if (i == 0 && procAsFunction) {
      OciColDesc ret{};
      ret.position = 0;
      ret.ioMode = 1;
      ret.oraType = SQLT_CHR;
      if (int32_t rc = MapInto(c, &pars[0], 0, &ret)) return fail(rc);
      ++req.outputCount;
      continue;
    }
    OciColDesc *a = ArgAt(c, table[i]);
    if (!a) continue;
    if (a->argName[0]) {
      pars[i].fullName = strdup(a->argName);
      if (!pars[i].fullName) return fail(E_S1001);
    }
    if (int32_t rc = MapInto(c, &pars[i], i, a)) return fail(rc);
    if (a->position == 0 || a->ioMode == 1)
      ++req.outputCount;
    else if (a->ioMode == 2)
      ++req.inOutCount;
    else
      ++req.markerCount;
  }
  if (procAsFunction) cur->state |= 0x20;
  if (!call.funcSyntax && c->describedAsFunction) cur->state |= 0x40;

  c->markerTable = static_cast<int32_t *>(calloc(n ? n : 1, sizeof(int32_t)));
  c->procBlock = strdup(block.c_str());
  c->placeholders = static_cast<int32_t *>(calloc(ph.empty() ? 1 : ph.size(), sizeof(int32_t)));
  if (!c->markerTable || !c->procBlock || !c->placeholders) return fail(E_S1001);
  if (n) memcpy(c->markerTable, table.data(), n * sizeof(int32_t));
  if (!ph.empty()) memcpy(c->placeholders, ph.data(), ph.size() * sizeof(int32_t));
  c->markerCount = static_cast<int32_t>(n);
  c->placeholderCount = static_cast<uint16_t>(ph.size());
  ColDescFree(cur->pars, cur->parCount);
  cur->pars = pars;
  cur->parCount = static_cast<uint16_t>(n);
  return 0;
}

int32_t DB_ProcPrepare(DB_Curs *c) {
  if (!c->procBlock) return Refuse(c, E_S1010);
  c->state &= static_cast<uint16_t>(~DBCURS_EXECUTED);
  c->kind = DBCURS_KIND_OTHER;
  const int32_t rc = db_PrepareText(c, c->procBlock, "DB_ProcPrepare");
  return rc == E_IM902 ? 0 : rc;
}

// ---- Binds -----------------------------------------------------------------------------------

namespace {

bool IsWideValue(int32_t t) { return t >= VT_WCHAR && t <= VT_WVARCHAR4; }
bool IsLongValue(int32_t t) { return t == VT_LONGCHAR || t == VT_LONGBINARY || t == VT_LONGWCHAR; }
bool IsTextOrBinaryValue(int32_t t) {
  return t == VT_CHAR || t == VT_BINARY || (t >= VT_STRING && t <= VT_WVARCHAR4) || IsLongValue(t);
}

char Kind(const ColDesc &d) { return d.name[0] == '*' ? d.name[1] : 'I'; }

struct ProcLayout {
  uint32_t n = 0;                  // markers
  std::vector<int32_t> inputCol;   // per marker: its parameter Dataset column, or -1
  std::vector<int32_t> outputCol;  // per marker: its output column, or -1
  uint32_t inputs = 0, outs = 0;
};

ProcLayout LayoutOf(const AgentCursor *cur) {
  ProcLayout l;
  l.n = cur->parCount;
  l.inputCol.assign(l.n, -1);
  l.outputCol.assign(l.n, -1);
  for (uint32_t j = 0; j < l.n; ++j) {
    const char k = Kind(cur->pars[j]);
    if (k == 'I' || k == 'B') l.inputCol[j] = static_cast<int32_t>(l.inputs++);
    if (k == 'O' || k == 'B') l.outputCol[j] = static_cast<int32_t>(l.outs++);
  }
  return l;
}

int32_t SetUCS2(DB_Curs *c, OCIBind *b, int32_t valueType) {
  if (!c->owner->conn->wide || !IsWideValue(valueType) || !b) return 0;
  ub2 csid = OCI_UTF16ID;
  sword st = OCIAttrSet(b, OCI_HTYPE_BIND, &csid, 0, OCI_ATTR_CHARSET_ID, c->err->errhp);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "DB_BindProcParam: OCIAttrSet() failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  return 0;
}

int32_t BindRset(DB_Curs *c, uint16_t slot, uint32_t rows) {
  if (rows > 1) {
    LOG(LOG_ERR,
        "Array binding with stored procedures is not supported, when there is a REF CURSOR parameter.");
    return Refuse(c, E_S1C00);
  }
  void *h = nullptr;
  sword st = OCIHandleAlloc(c->conn->env, &h, OCI_HTYPE_STMT, 0, nullptr);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "DB_BindProcParam_BindParam_RsetParam: OCIHandleAlloc() failed");
    return E_S1001;  // a failed allocation leaves no record on the error handle
  }
  c->refCursors[slot] = static_cast<OCIStmt *>(h);
  st = OCIBindByPos(c->stmt, &c->binds[slot], c->err->errhp, slot + 1u, &c->refCursors[slot], 0, SQLT_RSET, nullptr,
                    nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  if (!db_OciOk(st)) {
    LOG(LOG_ERR, "DB_BindProcParam_BindParam_RsetParam: OCIBindByPos()() failed");
    return db_OciFail(st, Errs(c), c->err);
  }
  return 0;
}

// Where an output value is bound: the Dataset cells, or the descriptor's
// intermediate buffer for values that are converted afterwards.
int32_t OutTarget(DB_Curs *c, OciColDesc *r, DatasetCol &col, uint32_t rows, uint32_t room, void **data, sb4 *size) {
  if (OraType_IsLong(r->oraType)) {
    // LONG and LOB values: each row in an element with its own 4-byte
    // length, which no 16-bit length array would cut; moved into the
    // long cell after the execution.
    if (room > static_cast<uint32_t>(INT32_MAX) / 2 - 4) room = static_cast<uint32_t>(INT32_MAX) / 2 - 4;
    OciColDesc_FreeBuffer(r);
    r->buffer = calloc(rows, 4u + room);
    if (!r->buffer) return E_S1001;
    r->bufferCount = static_cast<int32_t>(rows);
    r->elemSize = static_cast<int32_t>(4u + room);
    r->extType = col.type == VT_LONGBINARY ? SQLT_LVB : SQLT_LVC;
    r->needsBuffer = 0;
    *data = r->buffer;
    *size = r->elemSize;
    return 0;
  }
  *data = col.values;
  *size = static_cast<sb4>(col.size);
  if (!r->needsBuffer) return 0;
  if (r->extType == SQLT_DAT) {
    // Oracle's 7 bytes per row; the first row goes to the front of its
    // timestamp cell after the execution.
    OciColDesc_FreeBuffer(r);
    r->buffer = calloc(rows, 7);
    if (!r->buffer) return E_S1001;
    r->bufferCount = static_cast<int32_t>(rows);
    r->elemSize = 7;
    *data = r->buffer;
    *size = 7;
    return 0;
  }
  int noBuffer = 0;
  void *buf = nullptr;
  int32_t elem = 0, maxSize = 0;
  ub4 mode = 0;
  if (int32_t rc = db_IntermBuffAlloc(c, r, static_cast<int32_t>(rows), &noBuffer, &buf, &elem, &mode, &maxSize))
    return rc;
  if (!noBuffer) {
    *data = buf;
    *size = elem;
  }
  return 0;
}

// An OUT NUMBER the application reads as a double or a float is bound as a
// double: what it asked for. Every other C type gets the NUMBER's exact
// text, which the front end converts by the numeric rules; an integer bind
// would round a fraction and fail the whole call on a value it cannot hold.
bool OutNumberAsDouble(const AgentCursor *cur, uint32_t j) {
  if (cur->pars[j].oraType != SQLT_NUM || j >= cur->paramInfoCount || !cur->paramInfo) return false;
  const ParamInfo &pi = cur->paramInfo[j];
  constexpr int32_t kCDefault = 99, kCFloat = 7, kCDouble = 8, kSqlFloat = 6, kSqlReal = 7, kSqlDouble = 8;
  if (pi.cType == kCDefault) return pi.sqlType == kSqlFloat || pi.sqlType == kSqlReal || pi.sqlType == kSqlDouble;
  return pi.cType == kCFloat || pi.cType == kCDouble;
}

// Bytes a LONG or LOB output of marker j may bring back: what the
// application gave as its column size (at least 32760 characters), in the
// bytes its characters may take in the value type.
uint32_t LongRoom(const AgentCursor *cur, uint32_t j, int32_t valueType) {
  uint64_t units = j < cur->paramInfoCount && cur->paramInfo ? cur->paramInfo[j].columnSize : 0;
  if (units < 32760) units = 32760;
  const uint64_t per = valueType == VT_LONGBINARY ? 1 : valueType == VT_LONGWCHAR ? 2 : 4;
  const uint64_t bytes = units * per;
  return bytes > (uint64_t{64} << 20) ? uint32_t{64} << 20 : static_cast<uint32_t>(bytes);
}

uint32_t InOutSize(const AgentCursor *cur, uint32_t j, int32_t oraType, int32_t valueType) {
  const bool wide = cur->conn->wide != 0;
  if (oraType == SQLT_LNG || oraType == SQLT_BIN || oraType == SQLT_LBI) {
    const uint32_t asked = j < cur->paramInfoCount ? static_cast<uint32_t>(cur->paramInfo[j].columnSize) : 0;
    return asked ? asked : 32760;
  }
  if (OraType_IsLob(oraType)) {
    // What the application said the value may grow to, at least 32760
    // characters: bytes of binary or UTF-8 text, units of UTF-16 text.
    const uint32_t bytes = LongRoom(cur, j, oraType == SQLT_BLOB ? VT_LONGBINARY : VT_LONGCHAR);
    return IsWideValue(valueType) ? bytes / 4 : bytes;
  }
  // What an OUT argument of the type returns whole: in the wide mode 65520
  // bytes, which wide value types count as 32760 units.
  if (IsWideValue(valueType)) return 32760;
  return wide ? 65520 : 32760;
}

}  // namespace

int32_t DB_ProcBindParams(DB_Curs *c) {
  AgentCursor *cur = c->owner;
  Dataset *params = cur->params;
  const ProcLayout l = LayoutOf(cur);
  const uint32_t rows = params && params->rows > 0 && l.inputs ? static_cast<uint32_t>(params->rows) : 1;
  const uint16_t slots = c->placeholderCount;

  DB_RefCursorsFree(c);
  DB_Curs_FreeBuffers(c);
  db_BindDescsFree(c);
  const size_t cells = static_cast<size_t>(l.n ? l.n : 1) * rows;
  c->refCursors = static_cast<OCIStmt **>(calloc(slots ? slots : 1, sizeof(OCIStmt *)));
  c->refCursorCount = slots;
  c->binds = static_cast<OCIBind **>(calloc(slots + 1u, sizeof(OCIBind *)));
  c->bindCount = slots;
  c->lengths = static_cast<uint16_t *>(calloc(cells, sizeof(uint16_t)));
  c->indicators = static_cast<int16_t *>(calloc(cells, sizeof(int16_t)));
  c->returnCodes = static_cast<uint16_t *>(calloc(cells, sizeof(uint16_t)));
  c->paramBinds = static_cast<DbParamBind *>(calloc(l.inputs ? l.inputs : 1, sizeof(DbParamBind)));
  c->bindDescs = static_cast<OciColDesc *>(calloc(l.n ? l.n : 1, sizeof(OciColDesc)));
  if (!c->refCursors || !c->binds || !c->lengths || !c->indicators || !c->returnCodes || !c->paramBinds ||
      !c->bindDescs) {
    DB_Curs_FreeBuffers(c);
    return E_S1001;
  }
  c->bindDescCount = static_cast<uint16_t>(l.n);
  c->bindRows = rows;
  int32_t rc = 0;

  // IN OUT values come back in their own cells: room for what the argument
  // may return.
  for (uint32_t j = 0; j < l.n && rc == 0; ++j) {
    if (Kind(cur->pars[j]) != 'B' || !params) continue;
    const auto col = static_cast<uint16_t>(l.inputCol[j]);
    if (col >= params->columns || !IsTextOrBinaryValue(params->cols[col].type)) continue;
    rc = DatasetColWiden(params, col, InOutSize(cur, j, cur->pars[j].oraType, params->cols[col].type), 1);
  }

  // Outputs: one column per OUT or IN OUT marker, described as the argument.
  std::vector<ColDesc> outDescs(l.outs);
  for (uint32_t j = 0; j < l.n; ++j) {
    if (l.outputCol[j] < 0) continue;
    ColDesc d = cur->pars[j];
    d.catalog = d.schema = d.table = d.fullName = nullptr;
    if (Kind(d) == 'O' && OutNumberAsDouble(cur, j)) {
      d.valueType = VT_DOUBLE;
      d.octetLength = 8;
    }
    // A CHAR comes back with its own length, padded as the database padded
    // it: a fixed-width cell would pad it on to the end of the cell.
    if (Kind(d) == 'O' && d.valueType == VT_CHAR) d.valueType = VT_VARCHAR2;
    outDescs[static_cast<size_t>(l.outputCol[j])] = d;
  }
  Dataset *out = nullptr;
  if (rc == 0 && l.outs) {
    out = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
    if (!out) rc = E_S1001;
    if (rc == 0) rc = DatasetFromColDescs(outDescs.data(), static_cast<uint16_t>(l.outs), static_cast<int32_t>(rows), out);
    if (rc == 0) out->rows = static_cast<int32_t>(rows);
  }
  if (c->outParams) {
    DatasetFree(c->outParams);
    free(c->outParams);
  }
  c->outParams = out;

  // Descriptors of the markers: the described argument (external type,
  // conversion) with the marker's direction.
  for (uint32_t j = 0; j < l.n && rc == 0; ++j) {
    OciColDesc &b = c->bindDescs[j];
    OciColDesc *a = nullptr;
    for (uint32_t e = c->describedAsFunction ? 0 : 1; e < c->argDescCount && c->markerTable; ++e)
      if (c->argDescs[e].position == c->markerTable[j]) a = &c->argDescs[e];
    if (a) {
      memcpy(&b, a, sizeof b);
      b.buffer = nullptr;
      b.bufferCount = 0;
      b.elemSize = 0;
    } else {
      b.oraType = SQLT_CHR;
    }
    const char k = Kind(cur->pars[j]);
    b.ioMode = k == 'O' ? 1 : k == 'B' ? 2 : 0;
    b.bindFlag = 1;
    if (k == 'B') b.needsBuffer = 0;  // converted back into the input cell
    if (k == 'O' && OutNumberAsDouble(cur, j)) {
      b.extType = SQLT_BDOUBLE;
      b.needsBuffer = 0;
    }
    if (k == 'O' && cur->pars[j].valueType == VT_CHAR) {
      b.extType = SQLT_VCS;
      b.needsBuffer = 0;
    }
    if (IsWideValue(cur->pars[j].valueType) && b.size < cur->pars[j].octetLength)
      b.size = static_cast<uint16_t>(std::min<uint32_t>(cur->pars[j].octetLength, 32760));
  }

  for (uint16_t s = 0; s < slots && rc == 0; ++s) {
    const int32_t what = c->placeholders[s];
    const ub4 pos = s + 1u;
    if (what == kPhRetval) {
      // The result of a function called as a procedure: bound, never shown.
      OciColDesc *r = &c->argDescs[0];
      if (IsCursorType(r->oraType)) {
        rc = BindRset(c, s, rows);
        continue;
      }
      ColDesc *cd = ColDescAlloc(1);
      if (!cd) {
        rc = E_S1001;
        break;
      }
      snprintf(cd->name, sizeof cd->name, "*O");
      AgentConn *conn = cur->conn;
      rc = db_ColDescMap(cd, 1, r, conn->opts.jet, conn->item12, 0);
      if (rc == 0) cd->octetLength = OutOctets(r->oraType, 0, cd->octetLength);
      Dataset *ret = static_cast<Dataset *>(calloc(1, sizeof(Dataset)));
      if (rc == 0 && !ret) rc = E_S1001;
      if (rc == 0) rc = DatasetFromColDescs(cd, 1, static_cast<int32_t>(rows), ret);
      ColDescFree(cd, 1);
      if (c->retValue) {
        DatasetFree(c->retValue);
        free(c->retValue);
      }
      c->retValue = ret;
      c->retLengths = static_cast<uint16_t *>(calloc(rows, sizeof(uint16_t)));
      c->retReturnCodes = static_cast<uint16_t *>(calloc(rows, sizeof(uint16_t)));
      if (rc == 0 && (!c->retLengths || !c->retReturnCodes)) rc = E_S1001;
      void *data = nullptr;
      sb4 size = 0;
      if (rc == 0) rc = OutTarget(c, r, ret->cols[0], rows, 32760, &data, &size);
      if (rc == 0) {
        sword st = OCIBindByPos(c->stmt, &c->binds[s], c->err->errhp, pos, data, size, static_cast<ub2>(r->extType),
                                ret->cols[0].indicators, OraType_IsLong(r->oraType) ? nullptr : c->retLengths,
                                c->retReturnCodes, 0, nullptr, OCI_DEFAULT);
        if (!db_OciOk(st)) {
          LOG(LOG_ERR, "DB_BindProcParam: OCIBindByName() failed");
          rc = db_OciFail(st, Errs(c), c->err);
        }
      }
      continue;
    }
    if (what < 0) {
      rc = BindRset(c, s, rows);
      continue;
    }
    const auto j = static_cast<uint32_t>(what);
    if (j >= l.n) {
      rc = Refuse(c, E_S1000);
      break;
    }
    OciColDesc &b = c->bindDescs[j];
    int16_t *ind = c->indicators + static_cast<size_t>(j) * rows;
    uint16_t *lens = c->lengths + static_cast<size_t>(j) * rows;
    uint16_t *rcodes = c->returnCodes + static_cast<size_t>(j) * rows;
    if (IsCursorType(b.oraType)) {
      for (uint32_t r = 0; r < rows; ++r) ind[r] = -1;
      rc = BindRset(c, s, rows);
      continue;
    }
    const char k = Kind(cur->pars[j]);
    if (k == 'O') {
      DatasetCol &col = out->cols[l.outputCol[j]];
      void *data = nullptr;
      sb4 size = 0;
      rc = OutTarget(c, &b, col, rows, LongRoom(cur, j, col.type), &data, &size);
      if (rc) break;
      sword st = OCIBindByPos(c->stmt, &c->binds[s], c->err->errhp, pos, data, size, static_cast<ub2>(b.extType), ind,
                              OraType_IsLong(b.oraType) ? nullptr : lens, rcodes, 0, nullptr, OCI_DEFAULT);
      if (!db_OciOk(st)) {
        LOG(LOG_ERR, "DB_BindProcParam: OCIBindByPos()(output) failed");
        rc = db_OciFail(st, Errs(c), c->err);
        break;
      }
      rc = SetUCS2(c, c->binds[s], col.type);
      continue;
    }
    // An input, or an IN OUT value bound in its own (widened) cell.
    const int32_t ic = l.inputCol[j];
    if (!params || ic >= params->columns) {
      rc = Refuse(c, E_07001);
      break;
    }
    DbParamBind &p = c->paramBinds[ic];
    rc = db_ParamLayout(c, static_cast<uint16_t>(ic), 0, rows, ind, &p);
    c->paramBindCount = static_cast<uint16_t>(ic + 1);
    if (rc) break;
    p.position = static_cast<uint16_t>(pos);
    if (p.rowByRow) {
      LOG(LOG_ERR, "DB_BindProcParam: a value of over 65535 bytes in a parameter array");
      rc = Refuse(c, E_S1C00);
      break;
    }
    const void *data = p.data;
    sb4 size = static_cast<sb4>(p.valueSize);
    uint16_t *alen = nullptr;
    if (rows == 1) {
      uint32_t len = 0;
      db_ParamRow(c, static_cast<uint16_t>(ic), &p, 0, &data, &len);
      size = static_cast<sb4>(len);
      if (k == 'B' && IsLongValue(p.valueType) && OraType_IsLong(b.oraType)) {
        // A LONG or LOB value goes and comes back in an element of its own
        // with a 4-byte length: a 16-bit length would cut it.
        const bool wideText = p.valueType == VT_LONGWCHAR;
        const uint32_t room = std::max(LongRoom(cur, j, p.valueType), len);
        OciColDesc_FreeBuffer(&b);
        auto *e = static_cast<unsigned char *>(calloc(1, 4u + room));
        if (!e) {
          rc = E_S1001;
          break;
        }
        const uint32_t prefix = wideText ? len / 2 : len;
        memcpy(e, &prefix, 4);
        if (len) memcpy(e + 4, data, len);
        b.buffer = e;
        b.bufferCount = 1;
        b.elemSize = static_cast<int32_t>(4u + room);
        sword st = OCIBindByPos(c->stmt, &c->binds[s], c->err->errhp, pos, e, static_cast<sb4>(4u + room),
                                p.valueType == VT_LONGBINARY ? SQLT_LVB : SQLT_LVC, ind, nullptr, rcodes, 0, nullptr,
                                OCI_DEFAULT);
        if (!db_OciOk(st)) {
          LOG(LOG_ERR, "DB_BindProcParam: OCIBindByPos()(input) failed");
          rc = db_OciFail(st, Errs(c), c->err);
          break;
        }
        rc = SetUCS2(c, c->binds[s], p.valueType);
        continue;
      }
      if (k == 'B' && p.needsLengths) {
        // A long value: its grown buffer takes what comes back.
        const DatasetCol &col = params->cols[ic];
        LongValue v;
        memcpy(&v, col.values, sizeof v);
        const uint32_t room = InOutSize(cur, j, b.oraType, col.type) * (col.type == VT_LONGWCHAR ? 2u : 1u);
        if (!v.buffer) {
          v.buffer = calloc(room, 1);
          if (!v.buffer) {
            rc = E_S1001;
            break;
          }
          v.length = 0;
          memcpy(params->cols[ic].values, &v, sizeof v);
          data = v.buffer;
        }
        lens[0] = static_cast<uint16_t>(std::min<uint32_t>(len, 0xFFFF));
        alen = lens;
        size = static_cast<sb4>(std::max(room, len));
      } else if (k == 'B' && !p.buffer) {
        size = static_cast<sb4>(params->cols[ic].size);  // the whole widened cell
      } else if (k == 'B') {
        size = static_cast<sb4>(p.valueSize);
      }
    } else if (p.needsLengths) {
      for (uint32_t r = 0; r < rows; ++r) lens[r] = static_cast<uint16_t>(p.rowLengths[r]);
      alen = lens;
    }
    // A terminated text coming back is terminated, not blank-padded to the
    // end of its cell as OCI pads a charz value.
    const ub2 ext = k == 'B' && p.extType == SQLT_AVC ? SQLT_STR : static_cast<ub2>(p.extType);
    sword st = OCIBindByPos(c->stmt, &c->binds[s], c->err->errhp, pos, const_cast<void *>(data), size, ext, ind, alen,
                            k == 'B' || rows > 1 ? rcodes : nullptr, 0, nullptr, OCI_DEFAULT);
    if (!db_OciOk(st)) {
      LOG(LOG_ERR, "DB_BindProcParam: OCIBindByPos()(input) failed");
      rc = db_OciFail(st, Errs(c), c->err);
      break;
    }
    rc = SetUCS2(c, c->binds[s], p.valueType);
  }
  if (rc != 0) db_FreeRowArrays(c);
  return rc;
}

// ---- Execution -------------------------------------------------------------------------------

namespace {

// The value an IN OUT marker's bind brought back into its input cell where
// the bind went through a buffer of its own (dates, times, timestamps, long
// values).
// The value in a LONG or LOB element (4-byte length, then the value) into
// the first row's long cell, replacing what it held.
int32_t LongElementToCell(const OciColDesc &b, int32_t valueType, unsigned char *cell) {
  const auto *e = static_cast<const unsigned char *>(b.buffer);
  uint32_t n = 0;
  memcpy(&n, e, 4);
  const uint32_t unit = valueType == VT_LONGWCHAR ? 2 : 1;
  const uint32_t max = (static_cast<uint32_t>(b.elemSize) - 4) / unit;
  if (n > max) n = max;
  void *copy = malloc(static_cast<size_t>(n) * unit + (unit == 2 ? 2 : 1));
  if (!copy) return E_S1001;
  if (n) memcpy(copy, e + 4, static_cast<size_t>(n) * unit);
  LongValue v;
  memcpy(&v, cell, sizeof v);
  free(v.buffer);
  v.buffer = copy;
  v.length = n;
  memcpy(cell, &v, sizeof v);
  return 0;
}

int32_t InOutWriteBack(DB_Curs *c, Dataset *params, uint32_t col, const DbParamBind &p, uint16_t length) {
  DatasetCol &dc = params->cols[col];
  unsigned char *cell = dc.values;  // the first row: only its outputs are reported
  if (p.valueType == VT_DATE || p.valueType == VT_TIME) {
    const auto *b = static_cast<const unsigned char *>(p.buffer);
    if (!b) return 0;
    if (p.valueType == VT_DATE) {
      const int16_t year = static_cast<int16_t>(100 * b[0] + b[1] - 10100);
      const uint16_t md[2] = {b[2], b[3]};
      memcpy(cell, &year, 2);
      memcpy(cell + 2, md, 4);
    } else {
      const uint16_t hms[3] = {static_cast<uint16_t>(b[4] - 1), static_cast<uint16_t>(b[5] - 1),
                               static_cast<uint16_t>(b[6] - 1)};
      memcpy(cell, hms, 6);
    }
  } else if (p.valueType == VT_TIMESTAMP && p.timestamps && p.buffer) {
    OCIDateTime *dt = static_cast<OCIDateTime **>(p.buffer)[0];
    sb2 year = 0;
    ub1 month = 0, day = 0, hour = 0, minute = 0, second = 0;
    ub4 fraction = 0;
    sword st = OCIDateTimeGetDate(c->conn->env, c->err->errhp, dt, &year, &month, &day);
    if (db_OciOk(st)) st = OCIDateTimeGetTime(c->conn->env, c->err->errhp, dt, &hour, &minute, &second, &fraction);
    if (!db_OciOk(st)) return db_OciFail(st, Errs(c), c->err);
    const uint16_t parts[5] = {month, day, hour, minute, second};
    memcpy(cell, &year, 2);
    memcpy(cell + 2, parts, 10);
    memcpy(cell + 12, &fraction, 4);
  } else if (IsLongValue(p.valueType)) {
    LongValue v;
    memcpy(&v, cell, sizeof v);
    v.length = p.valueType == VT_LONGWCHAR ? length / 2u : length;
    memcpy(cell, &v, sizeof v);
  }
  return 0;
}

}  // namespace

int32_t DB_ProcExecute(DB_Curs *c, int commit) {
  AgentCursor *cur = c->owner;
  Dataset *params = cur->params;
  const ProcLayout l = LayoutOf(cur);
  const ub4 iters = c->bindRows > 1 ? c->bindRows : 1;
  const ub4 mode = commit ? OCI_COMMIT_ON_SUCCESS : OCI_DEFAULT;
  c->execWarning = 0;
  sword st = OCIStmtExecute(c->conn->svc, c->stmt, c->err->errhp, iters, 0, nullptr, nullptr, mode);
  if (st == OCI_SUCCESS_WITH_INFO) {
    ErrList_PushOCI(Errs(c), c->err);
    c->execWarning = 1;
  } else if (!db_OciOk(st)) {
    if (st == OCI_ERROR) ErrList_PushOCI(Errs(c), c->err);
    return E_37000;
  }
  ub4 count = 0;
  if (db_OciOk(OCIAttrGet(c->stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, c->err->errhp)))
    cur->rowsAffected = static_cast<int32_t>(count > INT32_MAX ? INT32_MAX : count);
  c->state |= DBCURS_EXECUTED;
  if (c->retValue) {
    DatasetFree(c->retValue);
    free(c->retValue);
    c->retValue = nullptr;
  }
  if (l.outs == 0) return 0;

  const uint32_t rows = c->bindRows ? c->bindRows : 1;
  for (uint32_t j = 0; j < l.n; ++j) {
    const int32_t ic = l.inputCol[j];
    if (Kind(cur->pars[j]) != 'B' || !params || ic < 0 || ic >= params->columns || !c->paramBinds) continue;
    const OciColDesc &b = c->bindDescs[j];
    if (OraType_IsLong(b.oraType) && b.buffer && IsLongValue(params->cols[ic].type)) {
      if (c->indicators[static_cast<size_t>(j) * rows] == -1) continue;
      if (int32_t rc = LongElementToCell(b, params->cols[ic].type, params->cols[ic].values)) return rc;
      continue;
    }
    if (int32_t rc = InOutWriteBack(c, params, static_cast<uint32_t>(ic), c->paramBinds[ic],
                                    c->lengths[static_cast<size_t>(j) * rows]))
      return rc;
  }
  for (uint32_t j = 0; j < l.n; ++j) {
    OciColDesc &b = c->bindDescs[j];
    if (l.outputCol[j] < 0 || b.ioMode != 1 || !b.buffer) continue;
    DatasetCol &oc = c->outParams->cols[l.outputCol[j]];
    if (b.extType == SQLT_DAT) memcpy(oc.values, b.buffer, 7);
    if (OraType_IsLong(b.oraType) && IsLongValue(oc.type) && c->indicators[static_cast<size_t>(j) * rows] != -1)
      if (int32_t rc = LongElementToCell(b, oc.type, oc.values)) return rc;
  }
  // Only the first parameter row's outputs are reported.
  c->outParams->rows = 1;
  Dataset *merged = nullptr;
  if (int32_t rc = ProcOutDatasetMerge(cur, params, c->outParams, &merged)) return rc;
  DatasetFree(c->outParams);
  free(c->outParams);
  c->outParams = nullptr;

  // The indicators OCI set, one column after the other, for the post-processing.
  const size_t cap = static_cast<size_t>(merged->capacity ? merged->capacity : 1);
  auto *ind = static_cast<int16_t *>(calloc(l.outs * cap, sizeof(int16_t)));
  if (!ind) {
    DatasetFree(merged);
    free(merged);
    return E_S1001;
  }
  for (uint32_t j = 0; j < l.n; ++j) {
    if (l.outputCol[j] < 0) continue;
    int16_t v = c->indicators[static_cast<size_t>(j) * rows];
    if (IsCursorType(c->bindDescs[j].oraType) || (j == 0 && (cur->state & 0x20))) {
      v = -1;
      c->bindDescs[j].needsBuffer = 0;
    }
    ind[static_cast<size_t>(l.outputCol[j]) * cap] = v;
  }
  free(c->indicators);
  c->indicators = ind;
  int32_t rc = DB_PostProcess(c, merged, 1);
  if (rc) {
    DatasetFree(merged);
    free(merged);
    return rc;
  }
  if (cur->saved) {
    DatasetFree(cur->saved);
    free(cur->saved);
  }
  cur->saved = merged;
  return 0;
}

int32_t DB_NextRefCursor(DB_Curs *c, DB_Curs *h) {
  if (h->nextRefCursor >= h->refCursorCount) return E_IM901;
  DB_Curs_FreeBuffers(c);
  db_StmtDrop(c);
  c->stmt = h->refCursors[h->nextRefCursor];
  h->refCursors[h->nextRefCursor] = nullptr;
  ++h->nextRefCursor;
  c->stmtOrigin = c->stmt ? DBSTMT_ALLOCATED : DBSTMT_NONE;
  c->kind = DBCURS_KIND_SELECT;
  c->state |= DBCURS_EXECUTED;
  c->described = 0;
  if (!c->stmt) return Refuse(c, E_S1000);
  if (int32_t rc = db_SetOCIPrefetching(c)) return rc;
  return DB_DescribeOutput(c);
}

uint16_t DB_RefCursorCount(DB_Curs *c) {
  uint16_t n = 0;
  for (uint16_t i = 0; i < c->refCursorCount; ++i)
    if (c->refCursors[i]) c->refCursors[n++] = c->refCursors[i];
  for (uint16_t i = n; i < c->refCursorCount; ++i) c->refCursors[i] = nullptr;
  c->refCursorCount = n;
  c->nextRefCursor = 0;
  return n;
}

int OraType_IsLong(int32_t t) { return t == SQLT_LNG || t == SQLT_LBI || t == SQLT_CLOB || t == SQLT_BLOB; }
int OraType_IsLob(int32_t t) { return t == SQLT_CLOB || t == SQLT_BLOB; }
