// OCIAttrGet / OCIAttrSet (the attribute ids overlap between handle types, so
// everything is dispatched on the target's type), OCIParamGet and
// OCIDescribeAny.
#include <cstring>

#include "oci_int.h"
#include "plsql.h"

namespace ocl {

namespace {

template <class T>
sword put_attr(void* attributep, ub4* sizep, T v) {
  if (!attributep) return OCI_ERROR;
  std::memcpy(attributep, &v, sizeof v);
  if (sizep) *sizep = sizeof v;
  return OCI_SUCCESS;
}

sword put_text_attr(void* attributep, ub4* sizep, const std::string& s) {
  if (!attributep) return OCI_ERROR;
  const OraText* p = reinterpret_cast<const OraText*>(s.c_str());
  std::memcpy(attributep, &p, sizeof p);
  if (sizep) *sizep = static_cast<ub4>(s.size());
  return OCI_SUCCESS;
}

template <class T>
T get_attr(const void* attributep) {
  T v{};
  if (attributep) std::memcpy(&v, attributep, sizeof v);
  return v;
}

std::string text_of(const void* attributep, ub4 size) {
  if (!attributep) return {};
  return std::string(static_cast<const char*>(attributep), size);
}

const char* type_name(ub2 t) {
  switch (t) {
    case DL_T_VARCHAR2: return "VARCHAR2";
    case DL_T_NUMBER: return "NUMBER";
    case DL_T_LONG: return "LONG";
    case DL_T_DATE: return "DATE";
    case DL_T_RAW: return "RAW";
    case DL_T_LONG_RAW: return "LONG RAW";
    case DL_T_CHAR: return "CHAR";
    case DL_T_BINARY_FLOAT: return "BINARY_FLOAT";
    case DL_T_BINARY_DOUBLE: return "BINARY_DOUBLE";
    case DL_T_ROWID: return "ROWID";
    case DL_T_CLOB: return "CLOB";
    case DL_T_BLOB: return "BLOB";
    case DL_T_TIMESTAMP: return "TIMESTAMP";
    default: return "";
  }
}

bool is_char_type(ub2 t) {
  return t == DL_T_VARCHAR2 || t == DL_T_CHAR || t == DL_T_LONG || t == DL_T_CLOB;
}

ub2 column_charset(const Env* env, const DlColType& t) {
  if (!is_char_type(t.type)) return 0;
  return t.csform == SQLCS_NCHAR ? env->ncharset : env->charset;
}

sword param_get_attr(Param* p, void* attributep, ub4* sizep, ub4 attr, Error* e) {
  static const std::string kEmpty;
  bool stored_code = false;
  sword pr = pl_param_attr(p, attributep, sizep, attr, e, &stored_code);
  if (stored_code) return pr;
  if (attr == OCI_ATTR_PTYPE) return put_attr<ub1>(attributep, sizep, p->ptype);
  if (p->ptype == OCI_PTYPE_TABLE || p->ptype == OCI_PTYPE_VIEW) {
    switch (attr) {
      case OCI_ATTR_NUM_COLS:
        return put_attr<ub2>(attributep, sizep, static_cast<ub2>(p->columns ? p->columns->items.size() : 0));
      case OCI_ATTR_LIST_COLUMNS:
        return put_attr<OCIParam*>(attributep, sizep, reinterpret_cast<OCIParam*>(p->columns));
      case OCI_ATTR_OBJ_NAME:
      case OCI_ATTR_NAME:
        return put_text_attr(attributep, sizep, p->obj_name);
      case OCI_ATTR_OBJ_SCHEMA:
      case OCI_ATTR_SCHEMA_NAME:
        return put_text_attr(attributep, sizep, p->obj_schema);
      case OCI_ATTR_OBJID:
        return put_attr<ub4>(attributep, sizep, 0);
      case OCI_ATTR_IS_TEMPORARY:
      case OCI_ATTR_IS_TYPED:
      case OCI_ATTR_CLUSTERED:
      case OCI_ATTR_PARTITIONED:
      case OCI_ATTR_INDEX_ONLY:
        return put_attr<ub1>(attributep, sizep, 0);
      default:
        return err_set(e, 24315);
    }
  }
  if (p->ptype == OCI_PTYPE_LIST) {
    if (attr == OCI_ATTR_NUM_PARAMS)
      return put_attr<ub2>(attributep, sizep, static_cast<ub2>(p->items.size()));
    return err_set(e, 24315);
  }
  const DlColType& t = p->col.type;
  switch (attr) {
    case OCI_ATTR_DATA_SIZE:
      return put_attr<ub2>(attributep, sizep, static_cast<ub2>(t.size > 0xFFFF ? 0xFFFF : t.size));
    case OCI_ATTR_DATA_TYPE:
      return put_attr<ub2>(attributep, sizep, t.type);
    case OCI_ATTR_DISP_SIZE:
      return put_attr<ub2>(attributep, sizep, static_cast<ub2>(t.size > 0xFFFF ? 0xFFFF : t.size));
    case OCI_ATTR_NAME:
      return put_text_attr(attributep, sizep, p->col.name);
    case OCI_ATTR_PRECISION:
      return put_attr<sb2>(attributep, sizep, t.precision);
    case OCI_ATTR_SCALE:
      return put_attr<sb1>(attributep, sizep, t.scale);
    case OCI_ATTR_IS_NULL:
      return put_attr<ub1>(attributep, sizep, t.nullable ? 1 : 0);
    case OCI_ATTR_TYPE_NAME: {
      static thread_local std::string name;
      name = type_name(t.type);
      return put_text_attr(attributep, sizep, name);
    }
    case OCI_ATTR_SCHEMA_NAME:
      return put_text_attr(attributep, sizep, p->col.schema);
    case OCI_ATTR_SUB_NAME:
      return put_text_attr(attributep, sizep, kEmpty);
    case OCI_ATTR_POSITION:
      return put_attr<ub2>(attributep, sizep, p->position);
    case OCI_ATTR_CHARSET_ID:
      return put_attr<ub2>(attributep, sizep, column_charset(p->env, t));
    case OCI_ATTR_CHARSET_FORM:
      return put_attr<ub1>(attributep, sizep, is_char_type(t.type) ? t.csform : 0);
    case OCI_ATTR_CHAR_USED: {
      // Character semantics: the national types always, CHAR(n CHAR) and
      // VARCHAR2(n CHAR) by a byte size that is not their length.
      const bool by_char =
          is_char_type(t.type) && (t.csform == SQLCS_NCHAR || (t.char_length != 0 && t.char_length != t.size));
      return put_attr<ub1>(attributep, sizep, by_char ? 1 : 0);
    }
    case OCI_ATTR_CHAR_SIZE:
      return put_attr<ub2>(attributep, sizep,
                           static_cast<ub2>(t.char_length ? t.char_length : (is_char_type(t.type) ? t.size : 0)));
    case OCI_ATTR_IOMODE:
      return put_attr<ub4>(attributep, sizep, 0);
    case OCI_ATTR_LEVEL:
      return put_attr<ub2>(attributep, sizep, 0);
    case OCI_ATTR_HAS_DEFAULT:
      return put_attr<ub1>(attributep, sizep, 0);
    case OCI_ATTR_RADIX:
      return put_attr<ub1>(attributep, sizep, t.type == DL_T_NUMBER ? 10 : 0);
    default:
      return err_set(e, 24315);
  }
}

Param* make_col_param(Env* env, const ColMeta& m, ub2 pos) {
  auto* p = new Param();
  p->env = env;
  p->ptype = OCI_PTYPE_COL;
  p->col = m;
  p->position = pos;
  return p;
}

}  // namespace

}  // namespace ocl

using namespace ocl;

static sword attr_get_work(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                           ub4 attrtype, OCIError* errhp) {
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!is_live(trgthndlp) || static_cast<const HandleBase*>(trgthndlp)->htype != trghndltyp)
    return OCI_INVALID_HANDLE;
  if (!e && trghndltyp != OCI_HTYPE_ENV) return OCI_INVALID_HANDLE;
  err_clear(e);
  auto* h = static_cast<HandleBase*>(const_cast<void*>(trgthndlp));
  switch (trghndltyp) {
    case OCI_HTYPE_ENV: {
      auto* env = static_cast<Env*>(h);
      if (attrtype == OCI_ATTR_ENV_CHARSET_ID) return put_attr<ub2>(attributep, sizep, env->charset);
      if (attrtype == OCI_ATTR_ENV_NCHARSET_ID) return put_attr<ub2>(attributep, sizep, env->ncharset);
      if (attrtype == OCI_ATTR_ENV_UTF16) return put_attr<ub1>(attributep, sizep, 0);
      return err_set(e, 24315);
    }
    case OCI_HTYPE_SVCCTX: {
      auto* svc = static_cast<SvcCtx*>(h);
      switch (attrtype) {
        case OCI_ATTR_SERVER: return put_attr<OCIServer*>(attributep, sizep, reinterpret_cast<OCIServer*>(svc->server));
        case OCI_ATTR_SESSION: return put_attr<OCISession*>(attributep, sizep, reinterpret_cast<OCISession*>(svc->session));
        case OCI_ATTR_TRANS: return put_attr<OCITrans*>(attributep, sizep, reinterpret_cast<OCITrans*>(svc->trans));
        case OCI_ATTR_ENV: return put_attr<OCIEnv*>(attributep, sizep, reinterpret_cast<OCIEnv*>(svc->env));
        case OCI_ATTR_STMTCACHESIZE: {
          Session* s = svc_session(svc);
          return put_attr<ub4>(attributep, sizep, s ? (s->cache_on ? s->cache_size : 0) : svc->cache_size);
        }
        default: return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_SERVER: {
      auto* srv = static_cast<Server*>(h);
      switch (attrtype) {
        case OCI_ATTR_NONBLOCKING_MODE: return put_attr<ub1>(attributep, sizep, srv->nonblocking ? 1 : 0);
        case OCI_ATTR_SERVER_STATUS: return put_attr<ub4>(attributep, sizep, srv->attached ? OCI_SERVER_NORMAL : OCI_SERVER_NOT_CONNECTED);
        case OCI_ATTR_EXTERNAL_NAME: return put_text_attr(attributep, sizep, srv->external_name);
        case OCI_ATTR_INTERNAL_NAME: return put_text_attr(attributep, sizep, srv->internal_name);
        case OCI_ATTR_FOCBK: return put_attr<OCIFocbkStruct>(attributep, sizep, srv->focbk);
        case OCI_ATTR_ENV: return put_attr<OCIEnv*>(attributep, sizep, reinterpret_cast<OCIEnv*>(srv->env));
        default: return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_SESSION: {
      auto* s = static_cast<Session*>(h);
      if (attrtype == OCI_ATTR_USERNAME) return put_text_attr(attributep, sizep, s->begun ? s->user : s->user_attr);
      return err_set(e, 24315);
    }
    case OCI_HTYPE_STMT: {
      auto* st = static_cast<Stmt*>(h);
      switch (attrtype) {
        case OCI_ATTR_ROW_COUNT: return put_attr<ub4>(attributep, sizep, st->row_count);
        case OCI_ATTR_ROWS_FETCHED: return put_attr<ub4>(attributep, sizep, st->rows_fetched);
        case OCI_ATTR_PARAM_COUNT: {
          ub4 n = 0;
          if (st->described) n = static_cast<ub4>(st->cols.size());
          return put_attr<ub4>(attributep, sizep, n);
        }
        case OCI_ATTR_STMT_TYPE:
          return put_attr<ub2>(attributep, sizep,
                               static_cast<ub2>(st->translated && !st->dl_rc ? dl_oci_stmt_type(st->dl.kind) : 0));
        case OCI_ATTR_BIND_COUNT:
          return put_attr<ub4>(attributep, sizep,
                               st->translated && !st->dl_rc
                                   ? static_cast<ub4>(st->dl.position_count + st->ret.items.size())
                                   : 0);
        case OCI_ATTR_PREFETCH_ROWS: return put_attr<ub4>(attributep, sizep, st->prefetch_rows);
        case OCI_ATTR_PREFETCH_MEMORY: return put_attr<ub4>(attributep, sizep, st->prefetch_mem);
        case OCI_ATTR_CURRENT_POSITION: return put_attr<ub4>(attributep, sizep, st->row_count);
        case OCI_ATTR_STATEMENT: return put_text_attr(attributep, sizep, st->text);
        case OCI_ATTR_PARSE_ERROR_OFFSET: return put_attr<ub2>(attributep, sizep, static_cast<ub2>(st->dl_err.offset));
        case OCI_ATTR_SQLFNCODE: return put_attr<ub2>(attributep, sizep, 0);
        case OCI_ATTR_ENV: return put_attr<OCIEnv*>(attributep, sizep, reinterpret_cast<OCIEnv*>(st->env));
        default: return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_BIND: {
      auto* b = static_cast<Bind*>(h);
      switch (attrtype) {
        case OCI_ATTR_CHARSET_ID: return put_attr<ub2>(attributep, sizep, b->csid ? b->csid : b->env->charset);
        case OCI_ATTR_CHARSET_FORM: return put_attr<ub1>(attributep, sizep, b->csform);
        case OCI_ATTR_MAXDATA_SIZE: return put_attr<ub4>(attributep, sizep, b->maxdata);
        case OCI_ATTR_ROWS_RETURNED: return put_attr<ub4>(attributep, sizep, b->rows_returned);
        default: return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_DEFINE: {
      auto* d = static_cast<Define*>(h);
      const DlColType* t = nullptr;
      if (d->stmt && d->pos >= 1 && d->pos <= d->stmt->cols.size()) t = &d->stmt->cols[d->pos - 1].type;
      ub1 form = d->csform;
      if (t && is_char_type(t->type) && t->csform == SQLCS_NCHAR) form = SQLCS_NCHAR;
      switch (attrtype) {
        case OCI_ATTR_CHARSET_FORM: return put_attr<ub1>(attributep, sizep, form);
        case OCI_ATTR_CHARSET_ID:
          return put_attr<ub2>(attributep, sizep,
                               d->csid ? d->csid : (form == SQLCS_NCHAR ? d->env->ncharset : d->env->charset));
        default: return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_DESCRIBE: {
      auto* dsc = static_cast<Describe*>(h);
      if (attrtype == OCI_ATTR_PARAM) {
        if (!dsc->root) return err_set(e, 24334);
        return put_attr<OCIParam*>(attributep, sizep, reinterpret_cast<OCIParam*>(dsc->root));
      }
      return err_set(e, 24315);
    }
    case OCI_DTYPE_PARAM:
      return param_get_attr(static_cast<Param*>(h), attributep, sizep, attrtype, e);
    case OCI_HTYPE_CPOOL: {
      auto* p = static_cast<CPool*>(h);
      switch (attrtype) {
        case OCI_ATTR_CONN_NOWAIT: return put_attr<ub1>(attributep, sizep, p->nowait);
        case OCI_ATTR_CONN_MIN: return put_attr<ub4>(attributep, sizep, p->min);
        case OCI_ATTR_CONN_MAX: return put_attr<ub4>(attributep, sizep, p->max);
        case OCI_ATTR_CONN_INCR: return put_attr<ub4>(attributep, sizep, p->incr);
        case OCI_ATTR_CONN_TIMEOUT: return put_attr<ub4>(attributep, sizep, p->timeout);
        case OCI_ATTR_CONN_OPEN_COUNT: {
          std::lock_guard<std::mutex> g(p->mu);
          return put_attr<ub4>(attributep, sizep, p->open);
        }
        case OCI_ATTR_CONN_BUSY_COUNT: {
          std::lock_guard<std::mutex> g(p->mu);
          return put_attr<ub4>(attributep, sizep, p->busy);
        }
        default: return err_set(e, 24315);
      }
    }
    default:
      return err_set(e, 24315);
  }
}

OCI_EXPORT sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                            ub4 attrtype, OCIError* errhp) {
  return with_fault(OCILITE_T_ATTR_GET, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return attr_get_work(trgthndlp, trghndltyp, attributep, sizep, attrtype, errhp);
  });
}

OCI_EXPORT sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                            ub4 attrtype, OCIError* errhp) {
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!is_live(trgthndlp) || static_cast<const HandleBase*>(trgthndlp)->htype != trghndltyp)
    return OCI_INVALID_HANDLE;
  if (!e && trghndltyp != OCI_HTYPE_ENV) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_ATTR_SET, e);
  if (f == OCI_ERROR) return f;
  auto* h = static_cast<HandleBase*>(trgthndlp);
  switch (trghndltyp) {
    case OCI_HTYPE_SVCCTX: {
      auto* svc = static_cast<SvcCtx*>(h);
      switch (attrtype) {
        case OCI_ATTR_SERVER:
          if (attributep && !as<Server>(attributep, OCI_HTYPE_SERVER)) return OCI_INVALID_HANDLE;
          svc->server = static_cast<Server*>(attributep);
          if (svc->server) svc->server->svc = svc;
          return f;
        case OCI_ATTR_SESSION:
          if (attributep && !as<Session>(attributep, OCI_HTYPE_SESSION)) return OCI_INVALID_HANDLE;
          svc->session = static_cast<Session*>(attributep);
          return f;
        case OCI_ATTR_TRANS:
          if (attributep && !as<Trans>(attributep, OCI_HTYPE_TRANS)) return OCI_INVALID_HANDLE;
          svc->trans = static_cast<Trans*>(attributep);
          return f;
        case OCI_ATTR_STMTCACHESIZE: {
          ub4 n = get_attr<ub4>(attributep);
          svc->cache_size = n;
          if (Session* s = svc_session(svc)) {
            std::lock_guard<std::recursive_mutex> g(s->call_mu);
            s->cache_size = n;
            while (s->cache.size() > n) {
              Stmt* old = s->cache.back();
              s->cache.pop_back();
              old->cache_owner = nullptr;
              env_release(old);
              delete old;
            }
          }
          return f;
        }
        default:
          return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_SERVER: {
      auto* srv = static_cast<Server*>(h);
      switch (attrtype) {
        case OCI_ATTR_NONBLOCKING_MODE:
          // Each set switches the mode; the value is not read.
          srv->nonblocking = !srv->nonblocking;
          return f;
        case OCI_ATTR_FOCBK:
          if (!attributep) return err_set(e, 24328);
          std::memcpy(&srv->focbk, attributep, sizeof srv->focbk);
          return f;
        case OCI_ATTR_EXTERNAL_NAME:
          srv->external_name = text_of(attributep, size);
          return f;
        case OCI_ATTR_INTERNAL_NAME:
          srv->internal_name = text_of(attributep, size);
          return f;
        default:
          return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_SESSION: {
      auto* s = static_cast<Session*>(h);
      switch (attrtype) {
        case OCI_ATTR_USERNAME:
          s->user_attr = text_of(attributep, size);
          return f;
        case OCI_ATTR_PASSWORD:
          s->password_attr = text_of(attributep, size);
          return f;
        default:
          return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_STMT: {
      auto* st = static_cast<Stmt*>(h);
      switch (attrtype) {
        case OCI_ATTR_PREFETCH_ROWS:
          st->prefetch_rows = get_attr<ub4>(attributep);
          return f;
        case OCI_ATTR_PREFETCH_MEMORY:
          st->prefetch_mem = get_attr<ub4>(attributep);
          return f;
        default:
          return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_BIND: {
      auto* b = static_cast<Bind*>(h);
      switch (attrtype) {
        case OCI_ATTR_CHARSET_ID: {
          ub2 id = get_attr<ub2>(attributep);
          if (id != 0 && id != OCI_UTF16ID && id != 873 && id != 2000) return err_set(e, 24329);
          b->csid = id == 2000 ? OCI_UTF16ID : id;
          return f;
        }
        case OCI_ATTR_CHARSET_FORM: {
          ub1 form = get_attr<ub1>(attributep);
          if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR) return err_set(e, 24328);
          b->csform = form;
          return f;
        }
        case OCI_ATTR_MAXDATA_SIZE:
          b->maxdata = get_attr<ub4>(attributep);
          return f;
        default:
          return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_DEFINE: {
      auto* d = static_cast<Define*>(h);
      switch (attrtype) {
        case OCI_ATTR_CHARSET_ID: {
          ub2 id = get_attr<ub2>(attributep);
          if (id != 0 && id != OCI_UTF16ID && id != 873 && id != 2000) return err_set(e, 24329);
          d->csid = id == 2000 ? OCI_UTF16ID : id;
          return f;
        }
        case OCI_ATTR_CHARSET_FORM: {
          ub1 form = get_attr<ub1>(attributep);
          if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR) return err_set(e, 24328);
          d->csform = form;
          return f;
        }
        default:
          return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_CPOOL: {
      auto* p = static_cast<CPool*>(h);
      switch (attrtype) {
        case OCI_ATTR_CONN_NOWAIT:
          p->nowait = get_attr<ub1>(attributep);
          return f;
        case OCI_ATTR_CONN_TIMEOUT:
          p->timeout = get_attr<ub4>(attributep);
          return f;
        default:
          return err_set(e, 24315);
      }
    }
    case OCI_HTYPE_TRANS: {
      auto* t = static_cast<Trans*>(h);
      if (attrtype == OCI_ATTR_XID || attrtype == OCI_ATTR_TRANS_NAME) {
        t->xid.assign(static_cast<char*>(attributep), static_cast<char*>(attributep) + size);
        return f;
      }
      return err_set(e, 24315);
    }
    default:
      return err_set(e, 24315);
  }
}

static sword param_get_work(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp,
                            ub4 pos) {
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!e || !parmdpp || !is_live(hndlp) || static_cast<const HandleBase*>(hndlp)->htype != htype)
    return OCI_INVALID_HANDLE;
  err_clear(e);
  *parmdpp = nullptr;
  if (htype == OCI_HTYPE_STMT) {
    auto* st = static_cast<Stmt*>(const_cast<void*>(hndlp));
    if (!st->described) return err_set(e, st->prepared ? 24338 : 24337);
    if (pos < 1 || pos > st->cols.size()) return err_set(e, 24334);
    if (st->col_params.size() != st->cols.size()) st->col_params.assign(st->cols.size(), nullptr);
    Param*& p = st->col_params[pos - 1];
    if (!p) p = make_col_param(st->env, st->cols[pos - 1], static_cast<ub2>(pos));
    *parmdpp = p;
    return OCI_SUCCESS;
  }
  if (htype == OCI_DTYPE_PARAM) {
    auto* list = static_cast<Param*>(const_cast<void*>(hndlp));
    if (list->ptype != OCI_PTYPE_LIST) return err_set(e, 24334);
    if (list->from_zero) {
      if (pos >= list->items.size()) return err_set(e, 24334);
      *parmdpp = list->items[pos];
      return OCI_SUCCESS;
    }
    if (pos < 1 || pos > list->items.size()) return err_set(e, 24334);
    *parmdpp = list->items[pos - 1];
    return OCI_SUCCESS;
  }
  return OCI_INVALID_HANDLE;
}

OCI_EXPORT sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp,
                             ub4 pos) {
  return with_fault(OCILITE_T_PARAM_GET, as<Error>(errhp, OCI_HTYPE_ERROR), [&] {
    return param_get_work(hndlp, htype, errhp, parmdpp, pos);
  });
}

// ---- OCIDescribeAny --------------------------------------------------------------------

namespace {

// Splits SCHEMA.NAME; unquoted parts are upper-cased, quoted ones kept.
bool split_name(const std::string& in, std::string* schema, std::string* name) {
  std::vector<std::string> parts;
  std::string cur;
  bool quoted = false, was_quoted = false;
  for (char c : in) {
    if (c == '"') {
      quoted = !quoted;
      was_quoted = true;
      continue;
    }
    if (c == '.' && !quoted) {
      parts.push_back(cur);
      cur.clear();
      was_quoted = false;
      continue;
    }
    if (c == '@' && !quoted) return false;  // database links are not supported
    if (!quoted && std::isspace(static_cast<unsigned char>(c))) continue;
    cur.push_back(was_quoted || quoted ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  parts.push_back(cur);
  if (parts.size() == 1) {
    schema->clear();
    *name = parts[0];
  } else if (parts.size() == 2) {
    *schema = parts[0];
    *name = parts[1];
  } else {
    return false;
  }
  return !name->empty();
}

}  // namespace

OCI_EXPORT sword OCIDescribeAny(OCISvcCtx* svchp, OCIError* errhp, void* objptr, ub4 objnm_len,
                                ub1 objptr_typ, ub1 info_level, ub1 objtyp, OCIDescribe* dschp) {
  SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  Error* e = as<Error>(errhp, OCI_HTYPE_ERROR);
  Describe* dsc = as<Describe>(dschp, OCI_HTYPE_DESCRIBE);
  if (!svc || !e || !dsc) return OCI_INVALID_HANDLE;
  err_clear(e);
  sword f = fault_check(OCILITE_T_DESCRIBE, e);
  if (f == OCI_ERROR) return f;
  Session* s = svc_session(svc);
  if (!s) return err_set(e, 1012);
  if (objptr_typ != OCI_OTYPE_NAME || !objptr) return err_set(e, 3001);
  std::string full(static_cast<const char*>(objptr), objnm_len);
  std::string schema, name;
  if (!split_name(full, &schema, &name)) return err_set(e, 4043, full.c_str());
  CallScope call(s);
  if (objtyp == OCI_PTYPE_PROC || objtyp == OCI_PTYPE_FUNC || objtyp == OCI_PTYPE_PKG) {
    Param* unit = nullptr;
    if (int rc = pl_describe(s, schema, name, objtyp, &unit))
      return rc == 4063 ? err_set_text(e, rc, full + " has errors") : err_set(e, rc, full.c_str());
    delete dsc->root;
    dsc->root = unit;
    return f;
  }
  if (objtyp != OCI_PTYPE_UNK && objtyp != OCI_PTYPE_TABLE && objtyp != OCI_PTYPE_VIEW)
    return err_set(e, 4043, full.c_str());  // no types or synonyms here
  bool is_view = false;
  std::string real_schema, real_name;
  std::vector<BeColumnInfo> cols;
  DlError d;
  if (be_describe_object(s->conn, schema, name, &is_view, &real_schema, &real_name, &cols, &d)) {
    Param* unit = nullptr;
    if (objtyp != OCI_PTYPE_UNK) return err_set(e, 4043, full.c_str());
    if (int rc = pl_describe(s, schema, name, objtyp, &unit))
      return rc == 4063 ? err_set_text(e, rc, full + " has errors") : err_set(e, rc, full.c_str());
    delete dsc->root;
    dsc->root = unit;
    return f;
  }
  if ((objtyp == OCI_PTYPE_TABLE && is_view) || (objtyp == OCI_PTYPE_VIEW && !is_view))
    return err_set(e, 4043, full.c_str());
  auto* root = new Param();
  root->env = s->env;
  root->ptype = is_view ? OCI_PTYPE_VIEW : OCI_PTYPE_TABLE;
  root->obj_name = real_name;
  root->obj_schema = real_schema;
  root->columns = new Param();
  root->columns->env = s->env;
  root->columns->ptype = OCI_PTYPE_LIST;
  ub2 pos = 1;
  for (auto& c : cols) {
    ColMeta m;
    m.name = c.name;
    m.type = c.type;
    m.schema = real_schema;
    root->columns->items.push_back(make_col_param(s->env, m, pos++));
  }
  delete dsc->root;
  dsc->root = root;
  return f;
}
