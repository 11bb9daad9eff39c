// ocilite-admin: creates stand-in databases and their users, and runs SQL in
// them through OCI (for demos, scripts and tests).
//
//   ocilite-admin create   DIR
//   ocilite-admin adduser  DIR USER PASSWORD
//   ocilite-admin dropuser DIR USER
//   ocilite-admin passwd   DIR USER PASSWORD
//   ocilite-admin flags    DIR USER FLAGS     (none, or locked, expired, grace joined by ",")
//   ocilite-admin users    DIR
//   ocilite-admin sql      DIR USER PASSWORD STATEMENT...
//   ocilite-admin --help
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "oci.h"
#include "ocilite.h"

namespace {

// Usage on standard output when asked for (--help, exit 0), on standard
// error after a wrong command line (exit 2).
int usage(bool asked = false) {
  std::fprintf(asked ? stdout : stderr,
               "usage: ocilite-admin create DIR\n"
               "       ocilite-admin adduser DIR USER PASSWORD\n"
               "       ocilite-admin dropuser DIR USER\n"
               "       ocilite-admin passwd DIR USER PASSWORD\n"
               "       ocilite-admin flags DIR USER none|locked,expired,grace\n"
               "       ocilite-admin users DIR\n"
               "       ocilite-admin sql DIR USER PASSWORD STATEMENT...\n"
               "       ocilite-admin --help\n"
               "\n"
               "A database is a directory: DIR holds the user catalog and one SQLite file per\n"
               "user. A data source names it with SQLNETConnect = DIR. create makes DIR (an\n"
               "existing database stays as it is); adduser creates a user and its schema;\n"
               "sql runs one statement as a user and commits it.\n");
  return asked ? 0 : 2;
}

int report(int rc, const char* msg) {
  if (rc) std::fprintf(stderr, "%s\n", msg);
  return rc ? 1 : 0;
}

void print_user(void*, const char* user, int flags) {
  std::printf("%s", user);
  if (flags & OCILITE_USER_LOCKED) std::printf(" locked");
  if (flags & OCILITE_USER_EXPIRED) std::printf(" expired");
  if (flags & OCILITE_USER_EXPIRE_GRACE) std::printf(" grace");
  std::printf("\n");
}

bool parse_flags(const std::string& s, int* flags) {
  *flags = 0;
  if (s == "none") return true;
  size_t b = 0;
  while (b <= s.size()) {
    size_t e = s.find(',', b);
    std::string w = s.substr(b, e == std::string::npos ? std::string::npos : e - b);
    if (w == "locked") *flags |= OCILITE_USER_LOCKED;
    else if (w == "expired") *flags |= OCILITE_USER_EXPIRED;
    else if (w == "grace") *flags |= OCILITE_USER_EXPIRE_GRACE;
    else return false;
    if (e == std::string::npos) break;
    b = e + 1;
  }
  return true;
}

struct Oci {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
  ~Oci() {
    if (env) OCIHandleFree(env, OCI_HTYPE_ENV);
  }
  bool check(sword rc) {
    if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO || rc == OCI_NO_DATA) {
      if (rc == OCI_SUCCESS_WITH_INFO) print_errors();
      return true;
    }
    print_errors();
    return false;
  }
  void print_errors() {
    OraText buf[2048];
    sb4 code = 0;
    for (ub4 i = 1; OCIErrorGet(err, i, nullptr, &code, buf, sizeof buf, OCI_HTYPE_ERROR) == OCI_SUCCESS; ++i)
      std::fprintf(stderr, "%s", reinterpret_cast<char*>(buf));
  }
};

int run_sql(const char* dir, const char* user, const char* password, const std::string& sql) {
  Oci o;
  if (OCIEnvCreate(&o.env, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr)) return 1;
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.err), OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.srv), OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.ses), OCI_HTYPE_SESSION, 0, nullptr);
  if (!o.check(OCIServerAttach(o.srv, o.err, reinterpret_cast<const OraText*>(dir),
                               static_cast<sb4>(std::strlen(dir)), OCI_DEFAULT)))
    return 1;
  OCIAttrSet(o.svc, OCI_HTYPE_SVCCTX, o.srv, 0, OCI_ATTR_SERVER, o.err);
  OCIAttrSet(o.ses, OCI_HTYPE_SESSION, const_cast<char*>(user), static_cast<ub4>(std::strlen(user)),
             OCI_ATTR_USERNAME, o.err);
  OCIAttrSet(o.ses, OCI_HTYPE_SESSION, const_cast<char*>(password),
             static_cast<ub4>(std::strlen(password)), OCI_ATTR_PASSWORD, o.err);
  if (!o.check(OCISessionBegin(o.svc, o.err, o.ses, OCI_CRED_RDBMS, OCI_DEFAULT))) return 1;
  OCIAttrSet(o.svc, OCI_HTYPE_SVCCTX, o.ses, 0, OCI_ATTR_SESSION, o.err);
  OCIStmt* st = nullptr;
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  if (!o.check(OCIStmtPrepare(st, o.err, reinterpret_cast<const OraText*>(sql.c_str()),
                              static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT)))
    return 1;
  ub2 type = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, o.err);
  bool query = type == OCI_STMT_SELECT;
  if (!o.check(OCIStmtExecute(o.svc, st, o.err, query ? 0 : 1, 0, nullptr, nullptr,
                              OCI_COMMIT_ON_SUCCESS)))
    return 1;
  if (!query) {
    ub4 rows = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, o.err);
    std::printf("%u row(s)\n", rows);
    return 0;
  }
  ub4 ncols = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &ncols, nullptr, OCI_ATTR_PARAM_COUNT, o.err);
  const sb4 width = 4001;
  std::vector<char> bufs(static_cast<size_t>(ncols) * width);
  std::vector<sb2> inds(ncols);
  for (ub4 i = 0; i < ncols; ++i) {
    OCIParam* p = nullptr;
    OCIParamGet(st, OCI_HTYPE_STMT, o.err, reinterpret_cast<void**>(&p), i + 1);
    OraText* name = nullptr;
    ub4 len = 0;
    OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, o.err);
    std::printf("%s%.*s", i ? "\t" : "", static_cast<int>(len), reinterpret_cast<char*>(name));
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, o.err, i + 1, &bufs[static_cast<size_t>(i) * width], width, SQLT_STR,
                   &inds[i], nullptr, nullptr, OCI_DEFAULT);
  }
  std::printf("\n");
  for (;;) {
    sword rc = OCIStmtFetch(st, o.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    if (rc == OCI_NO_DATA) break;
    if (!o.check(rc)) return 1;
    for (ub4 i = 0; i < ncols; ++i)
      std::printf("%s%s", i ? "\t" : "", inds[i] == -1 ? "" : &bufs[static_cast<size_t>(i) * width]);
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return usage(true);
  if (argc < 3) return usage();
  std::string cmd = argv[1];
  const char* dir = argv[2];
  char msg[600];
  if (cmd == "create" && argc == 3) return report(ocilite_db_create(dir, msg, sizeof msg), msg);
  if (cmd == "adduser" && argc == 5)
    return report(ocilite_user_create(dir, argv[3], argv[4], msg, sizeof msg), msg);
  if (cmd == "dropuser" && argc == 4) return report(ocilite_user_drop(dir, argv[3], msg, sizeof msg), msg);
  if (cmd == "passwd" && argc == 5)
    return report(ocilite_user_password(dir, argv[3], argv[4], msg, sizeof msg), msg);
  if (cmd == "flags" && argc == 5) {
    int flags = 0;
    if (!parse_flags(argv[4], &flags)) return usage();
    return report(ocilite_user_flags(dir, argv[3], flags, msg, sizeof msg), msg);
  }
  if (cmd == "users" && argc == 3) {
    int n = ocilite_user_list(dir, print_user, nullptr);
    if (n < 0) {
      std::fprintf(stderr, "ORA-12154: TNS:could not resolve the connect identifier specified\n");
      return 1;
    }
    return 0;
  }
  if (cmd == "sql" && argc >= 6) {
    std::string sql;
    for (int i = 5; i < argc; ++i) sql += std::string(i > 5 ? " " : "") + argv[i];
    return run_sql(dir, argv[3], argv[4], sql);
  }
  return usage();
}
