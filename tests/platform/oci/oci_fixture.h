// Shared fixture of the stand-in OCI tests: a fresh database directory with
// two users and helpers that drive the library through OCI calls only, the
// way the agent does.
#pragma once

#include <gtest/gtest.h>
#include <ftw.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "oci.h"
#include "ocilite.h"

namespace ocitest {

inline std::string errtext(OCIError* err, ub4 rec = 1, sb4* code = nullptr) {
  OraText buf[2048];
  sb4 c = 0;
  if (OCIErrorGet(err, rec, nullptr, &c, buf, sizeof buf, OCI_HTYPE_ERROR) != OCI_SUCCESS) return "";
  if (code) *code = c;
  return reinterpret_cast<char*>(buf);
}

inline sb4 errcode(OCIError* err, ub4 rec = 1) {
  sb4 c = 0;
  errtext(err, rec, &c);
  return c;
}

struct TempDb {
  std::string dir;
  TempDb() {
    char tmpl[] = "/tmp/ocilite_test_XXXXXX";
    dir = mkdtemp(tmpl);
    dir += "/db";
    char msg[512];
    EXPECT_EQ(0, ocilite_db_create(dir.c_str(), msg, sizeof msg)) << msg;
    EXPECT_EQ(0, ocilite_user_create(dir.c_str(), "scott", "tiger", msg, sizeof msg)) << msg;
    EXPECT_EQ(0, ocilite_user_create(dir.c_str(), "hr", "Secret1", msg, sizeof msg)) << msg;
  }
  ~TempDb() {
    std::string top = dir.substr(0, dir.rfind('/'));
    nftw(top.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
         16, FTW_DEPTH | FTW_PHYS);
  }
};

// One connection as the agent makes it: its own environment, error handle,
// server, service context and session.
struct Conn {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
  sword logon_status = OCI_ERROR;
  std::string logon_error;  // the first record after the logon

  // attachMode OCI_CPOOL: db names a connection pool.
  Conn(const std::string& db, const char* user, const char* password, ub4 mode = OCI_DEFAULT,
       ub4 attachMode = OCI_DEFAULT) {
    EXPECT_EQ(OCI_SUCCESS, OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr,
                                        nullptr, 0, nullptr));
    OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
    logon_status = OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(db.c_str()),
                                   static_cast<sb4>(db.size()), attachMode);
    if (logon_status != OCI_SUCCESS) {
      logon_error = errtext(err);
      return;
    }
    OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
    OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(user), static_cast<ub4>(std::strlen(user)),
               OCI_ATTR_USERNAME, err);
    OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(password),
               static_cast<ub4>(std::strlen(password)), OCI_ATTR_PASSWORD, err);
    logon_status = OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, mode);
    logon_error = errtext(err);
    if (logon_status == OCI_SUCCESS || logon_status == OCI_SUCCESS_WITH_INFO)
      OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
  }
  // Works on a logon made elsewhere (an XA library's), with an error handle
  // of its own; frees nothing else of it.
  Conn(OCIEnv* otherEnv, OCISvcCtx* otherSvc) : env(otherEnv), svc(otherSvc), logon_status(OCI_SUCCESS), borrowed(true) {
    OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
  }
  ~Conn() {
    if (borrowed) OCIHandleFree(err, OCI_HTYPE_ERROR);
    else if (env) OCIHandleFree(env, OCI_HTYPE_ENV);
  }
  bool borrowed = false;
  bool ok() const { return logon_status == OCI_SUCCESS || logon_status == OCI_SUCCESS_WITH_INFO; }

  OCIStmt* stmt(const std::string& sql, sword* status = nullptr) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    sword rc = OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql.c_str()),
                              static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (status) *status = rc;
    else EXPECT_EQ(OCI_SUCCESS, rc) << sql << ": " << errtext(err);
    return st;
  }
  // Prepares and runs a statement without binds; returns the first failing
  // status (errors of the statement may come at prepare or at execute).
  sword exec(const std::string& sql, ub4 mode = OCI_DEFAULT) {
    sword prc = OCI_SUCCESS;
    OCIStmt* st = stmt(sql, &prc);
    if (prc != OCI_SUCCESS) {
      OCIHandleFree(st, OCI_HTYPE_STMT);
      return prc;
    }
    ub2 type = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err);
    sword rc = OCIStmtExecute(svc, st, err, type == OCI_STMT_SELECT ? 0 : 1, 0, nullptr, nullptr, mode);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return rc;
  }
  void run(const std::string& sql) { ASSERT_EQ(OCI_SUCCESS, exec(sql)) << sql << ": " << errtext(err); }
  // First column of the first row as text ("<null>" for NULL, "<none>" when no row).
  std::string scalar(const std::string& sql) {
    sword prc = OCI_SUCCESS;
    OCIStmt* st = stmt(sql, &prc);
    if (prc != OCI_SUCCESS) {
      std::string out = "<error " + errtext(err) + ">";
      OCIHandleFree(st, OCI_HTYPE_STMT);
      return out;
    }
    char buf[4001];
    sb2 ind = 0;
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, err, 1, buf, sizeof buf, SQLT_STR, &ind, nullptr, nullptr, OCI_DEFAULT);
    std::string out;
    sword rc = OCIStmtExecute(svc, st, err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
    if (rc != OCI_SUCCESS) {
      out = "<error " + errtext(err) + ">";
    } else {
      rc = OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
      if (rc == OCI_NO_DATA) out = "<none>";
      else if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) out = "<error " + errtext(err) + ">";
      else out = ind == -1 ? "<null>" : buf;
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
  }
};

class OciTest : public ::testing::Test {
 protected:
  void SetUp() override { ocilite_test_reset(); }
  void TearDown() override { ocilite_test_reset(); }
  TempDb db;
};

}  // namespace ocitest
