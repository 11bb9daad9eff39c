#pragma once
// A connection on the scripted fake agent with one statement, and short
// ways to read and write descriptor fields through the exported entries.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <gtest/gtest.h>

#include <string>

#include "fake.h"
#include "front_support.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"

namespace dt {

inline SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }
inline SQLPOINTER I(SQLLEN v) { return reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(v)); }

struct DescTest : front::FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT hstmt = SQL_NULL_HSTMT;
  Conn *conn = nullptr;
  Stmt *stmt = nullptr;

  void SetUp() override {
    FrontTest::SetUp();
    env = front::NewEnv();
    dbc = front::NewDbc(env);
    front::FakeConnect(dbc);
    conn = front::ConnOf(dbc);
    hstmt = front::NewStmt(dbc);
    stmt = front::StmtOf(hstmt);
    ASSERT_NE(stmt, nullptr);
  }

  Stmt *NewStmt(SQLHSTMT *h) {
    *h = front::NewStmt(dbc);
    return front::StmtOf(*h);
  }

  // The handles of the statement's descriptors (the current ARD and APD).
  static SQLHDESC H(const Desc *d) { return front::AsHandle(d->handle); }
  SQLHDESC Ard() const { return H(stmt->ard); }
  SQLHDESC Apd() const { return H(stmt->apd); }
  SQLHDESC Ird() const { return H(stmt->ird); }
  SQLHDESC Ipd() const { return H(stmt->ipd); }

  // The code a failed call left on the descriptor (0 none).
  static int32_t Code(SQLHDESC d) { return front::DescOf(d)->pending; }

  static SQLRETURN Set(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, SQLLEN v, SQLINTEGER len = 0) {
    return SQLSetDescField(d, rec, field, I(v), len);
  }
  static SQLRETURN SetPtr(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, const void *p) {
    return SQLSetDescField(d, rec, field, const_cast<void *>(p), SQL_IS_POINTER);
  }

  // Reads an integer field of any width into a 64-bit value, sign-extended
  // from the width the driver reported.
  static SQLRETURN Get(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, int64_t *out, SQLINTEGER *len = nullptr) {
    unsigned char raw[8] = {};
    SQLINTEGER l = -99;
    SQLRETURN rc = SQLGetDescField(d, rec, field, raw, sizeof raw, &l);
    if (len) *len = l;
    if (l == 2) *out = *reinterpret_cast<int16_t *>(raw);
    else if (l == 4) *out = *reinterpret_cast<int32_t *>(raw);
    else *out = *reinterpret_cast<int64_t *>(raw);
    return rc;
  }
  static int64_t Value(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
    int64_t v = -12345;
    EXPECT_EQ(Get(d, rec, field, &v), SQL_SUCCESS) << "field " << field << " code " << Code(d);
    return v;
  }
  static void *Ptr(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
    void *p = reinterpret_cast<void *>(1);
    EXPECT_EQ(SQLGetDescField(d, rec, field, &p, sizeof p, nullptr), SQL_SUCCESS) << "code " << Code(d);
    return p;
  }
  static std::string Text(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, SQLRETURN *rc = nullptr) {
    char buf[512] = "?";
    SQLINTEGER len = 0;
    SQLRETURN r = SQLGetDescField(d, rec, field, buf, sizeof buf, &len);
    if (rc) {
      *rc = r;
    } else {
      EXPECT_EQ(r, SQL_SUCCESS) << "field " << field << " code " << Code(d);
    }
    return buf;
  }
};

}  // namespace dt
