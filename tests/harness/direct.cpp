// Direct load of a driver library (see harness.h).
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "harness.h"

namespace harness {

std::string DriverPath(Variant v, Agent a) {
  std::string p = std::string(KVD_BUILD_DIR) + "/lib/" + (v == kUnicode ? "kvd7r22xw" : "kvd7r22x");
  if (a == kFake) p += "_fake";
  return p + ".so";
}

std::basic_string<SQLWCHAR> ToW(const std::string &s) {
  std::basic_string<SQLWCHAR> out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    int n;
    if (c < 0x80) { cp = c; n = 1; }
    else if ((c >> 5) == 6) { cp = c & 0x1F; n = 2; }
    else if ((c >> 4) == 14) { cp = c & 0x0F; n = 3; }
    else { cp = c & 0x07; n = 4; }
    for (int k = 1; k < n && i + k < s.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<SQLWCHAR>(cp));
    }
  }
  return out;
}

std::string FromW(const SQLWCHAR *s, std::size_t units) {
  std::string out;
  for (std::size_t i = 0; i < units; ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

Driver::Driver(const std::string &path) : path_(path) {
  std::string base = path.substr(path.rfind('/') + 1);
  unicode_ = base.rfind("kvd7r22xw", 0) == 0;
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char *e = dlerror();
    error_ = e ? e : "dlopen failed";
  }
}

Driver::~Driver() {
  if (handle_) dlclose(handle_);
}

void *Driver::Sym(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

void *Driver::Need(const char *name) const {
  void *p = Sym(name);
  if (!p) {
    std::fprintf(stderr, "harness: %s does not export %s\n", path_.c_str(), name);
    std::abort();
  }
  return p;
}

SQLRETURN Driver::AllocHandle(SQLSMALLINT type, SQLHANDLE in, SQLHANDLE *out) const {
  return KVD_FN(*this, SQLAllocHandle)(type, in, out);
}

SQLRETURN Driver::FreeHandle(SQLSMALLINT type, SQLHANDLE h) const { return KVD_FN(*this, SQLFreeHandle)(type, h); }

SQLHENV Driver::AllocEnv(SQLINTEGER odbcVersion) const {
  SQLHANDLE env = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return SQL_NULL_HANDLE;
  auto set = KVD_FN(*this, SQLSetEnvAttr);
  if (!SQL_SUCCEEDED(set(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(odbcVersion)), 0))) {
    FreeHandle(SQL_HANDLE_ENV, env);
    return SQL_NULL_HANDLE;
  }
  return env;
}

SQLHDBC Driver::AllocDbc(SQLHENV env) const {
  SQLHANDLE dbc = SQL_NULL_HANDLE;
  return SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_DBC, env, &dbc)) ? dbc : SQL_NULL_HANDLE;
}

SQLHSTMT Driver::AllocStmt(SQLHDBC dbc) const {
  SQLHANDLE stmt = SQL_NULL_HANDLE;
  return SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_STMT, dbc, &stmt)) ? stmt : SQL_NULL_HANDLE;
}

SQLRETURN Driver::Connect(SQLHDBC dbc, const std::string &dsn, const std::string &uid, const std::string &pwd) const {
  if (unicode_) {
    auto d = ToW(dsn), u = ToW(uid), p = ToW(pwd);
    return KVD_FN(*this, SQLConnectW)(dbc, d.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS);
  }
  return KVD_FN(*this, SQLConnect)(dbc, (SQLCHAR *)dsn.c_str(), SQL_NTS, (SQLCHAR *)uid.c_str(), SQL_NTS,
                                   (SQLCHAR *)pwd.c_str(), SQL_NTS);
}

SQLRETURN Driver::DriverConnect(SQLHDBC dbc, const std::string &in, std::string *out) const {
  SQLSMALLINT len = 0;
  if (unicode_) {
    auto w = ToW(in);
    SQLWCHAR buf[1024];
    SQLRETURN rc = KVD_FN(*this, SQLDriverConnectW)(dbc, nullptr, w.data(), SQL_NTS, buf, 1024, &len,
                                                    SQL_DRIVER_NOPROMPT);
    if (out && SQL_SUCCEEDED(rc)) *out = FromW(buf, len < 0 ? 0 : (len < 1024 ? len : 1023));
    return rc;
  }
  SQLCHAR buf[4096];
  SQLRETURN rc = KVD_FN(*this, SQLDriverConnect)(dbc, nullptr, (SQLCHAR *)in.c_str(), SQL_NTS, buf, sizeof buf, &len,
                                                 SQL_DRIVER_NOPROMPT);
  if (out && SQL_SUCCEEDED(rc)) *out = reinterpret_cast<char *>(buf);
  return rc;
}

SQLRETURN Driver::ExecDirect(SQLHSTMT stmt, const std::string &sql) const {
  if (unicode_) {
    auto w = ToW(sql);
    return KVD_FN(*this, SQLExecDirectW)(stmt, w.data(), SQL_NTS);
  }
  return KVD_FN(*this, SQLExecDirect)(stmt, (SQLCHAR *)sql.c_str(), SQL_NTS);
}

SQLRETURN Driver::Prepare(SQLHSTMT stmt, const std::string &sql) const {
  if (unicode_) {
    auto w = ToW(sql);
    return KVD_FN(*this, SQLPrepareW)(stmt, w.data(), SQL_NTS);
  }
  return KVD_FN(*this, SQLPrepare)(stmt, (SQLCHAR *)sql.c_str(), SQL_NTS);
}

std::vector<DiagRec> Driver::Diags(SQLSMALLINT type, SQLHANDLE h) const {
  std::vector<DiagRec> out;
  for (SQLSMALLINT i = 1;; ++i) {
    DiagRec r;
    SQLSMALLINT len = 0;
    SQLRETURN rc;
    if (unicode_) {
      SQLWCHAR state[6] = {}, msg[1024] = {};
      rc = KVD_FN(*this, SQLGetDiagRecW)(type, h, i, state, &r.native, msg, 1024, &len);
      if (!SQL_SUCCEEDED(rc)) break;
      r.state = FromW(state, 5);
      r.message = FromW(msg, len < 0 ? 0 : (len < 1024 ? len : 1023));
    } else {
      SQLCHAR state[6] = {}, msg[4096] = {};
      rc = KVD_FN(*this, SQLGetDiagRec)(type, h, i, state, &r.native, msg, sizeof msg, &len);
      if (!SQL_SUCCEEDED(rc)) break;
      r.state = reinterpret_cast<char *>(state);
      r.message = reinterpret_cast<char *>(msg);
    }
    out.push_back(r);
  }
  return out;
}

std::string Driver::DiagText(SQLSMALLINT type, SQLHANDLE h) const {
  std::string t;
  for (auto &r : Diags(type, h)) t += (t.empty() ? "" : "; ") + r.state + ": " + r.message;
  return t;
}

}  // namespace harness
