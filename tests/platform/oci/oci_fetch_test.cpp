// Array fetch into defines of every external type the agent uses (with NULLs,
// truncation and the last partial block), Oracle's number text, piecewise
// LONG fetch, LOB reads, the wide (UTF-16) mode and datetime descriptors.
#include <algorithm>
#include <cmath>

#include "oci_fixture.h"

using namespace ocitest;

namespace {

struct Typed : OciTest {
  void SetUp() override {
    OciTest::SetUp();
    c = std::make_unique<Conn>(db.dir, "scott", "tiger");
    ASSERT_TRUE(c->ok()) << errtext(c->err);
    c->run("create table t (id number(10), amount number(10,2), name varchar2(20), code char(5), "
           "d date, ts timestamp, r raw(8), bd binary_double, cl clob, bl blob)");
    insert_rows();
  }

  // Five rows through binds of the matching external types; row 3 is NULL
  // but for its id.
  void insert_rows() {
    OCIStmt* st = c->stmt(
        "insert into t values (:id, :amount, :name, :code, :d, :ts, :r, :bd, :cl, :bl)");
    constexpr ub4 n = 5;
    int id[n];
    char amount[n][12];
    char name[n][21];
    sb2 ind[n];
    ub1 d[n][7];
    OCIDateTime* ts[n];
    ub1 raw[n][4];
    double bd[n];
    char cl[n][40];
    ub2 cl_len[n];
    for (ub4 i = 0; i < n; ++i) {
      id[i] = static_cast<int>(i + 1);
      std::snprintf(amount[i], sizeof amount[i], "%u.5", i);
      std::snprintf(name[i], sizeof name[i], "name%u", i + 1);
      ind[i] = i == 2 ? -1 : 0;
      const ub1 date[7] = {120, 101, 2, static_cast<ub1>(3 + i), 5, 6, 7};
      std::memcpy(d[i], date, 7);
      OCIDescriptorAlloc(c->env, reinterpret_cast<void**>(&ts[i]), OCI_DTYPE_TIMESTAMP, 0, nullptr);
      OCIDateTimeConstruct(c->env, c->err, ts[i], 2020, 12, 31, 23, 59, 58, 123456789 + i, nullptr, 0);
      for (int k = 0; k < 4; ++k) raw[i][k] = static_cast<ub1>(0xA0 + k + i);
      bd[i] = 1.25 * (i + 1);
      cl_len[i] = static_cast<ub2>(std::snprintf(cl[i], sizeof cl[i], "clob value %u", i + 1));
    }
    OCIBind* b = nullptr;
    auto bind = [&](const char* nm, void* v, sb4 sz, ub2 dty, void* indp, ub2* alen) {
      ASSERT_EQ(OCI_SUCCESS, OCIBindByName(st, &b, c->err, reinterpret_cast<const OraText*>(nm), -1,
                                           v, sz, dty, indp, alen, nullptr, 0, nullptr, OCI_DEFAULT))
          << nm << errtext(c->err);
    };
    sb2 no_null[n] = {};
    bind(":id", id, sizeof id[0], SQLT_INT, no_null, nullptr);
    bind(":amount", amount, sizeof amount[0], SQLT_STR, ind, nullptr);
    bind(":name", name, sizeof name[0], SQLT_STR, ind, nullptr);
    bind(":code", name, sizeof name[0], SQLT_STR, ind, nullptr);
    bind(":d", d, 7, SQLT_DAT, ind, nullptr);
    bind(":ts", ts, sizeof ts[0], SQLT_TIMESTAMP, ind, nullptr);
    bind(":r", raw, 4, SQLT_BIN, ind, nullptr);
    bind(":bd", bd, sizeof bd[0], SQLT_BDOUBLE, ind, nullptr);
    bind(":cl", cl, sizeof cl[0], SQLT_CHR, ind, cl_len);
    bind(":bl", raw, 4, SQLT_LBI, ind, nullptr);
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, n, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS))
        << errtext(c->err);
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }

  std::unique_ptr<Conn> c;
};

}  // namespace

TEST_F(Typed, ArrayFetchFillsEveryDefineColumnMajorWithNullsAndAPartialLastBlock) {
  OCIStmt* st = c->stmt("select id, amount, name, code, d, ts, r, bd, cl, bl, amount from t order by id");
  constexpr ub4 B = 2;  // rows per fetch
  int id[B];
  double amount[B];
  struct Vcs {
    ub2 len;
    char data[20];
  } name[B];
  char code[B][5];
  char d[B][16];  // 7-byte dates with the stride of a 16-byte timestamp cell
  OCIDateTime* ts[B];
  struct Vbi {
    ub2 len;
    ub1 data[8];
  } raw[B];
  double bd[B];
  OCILobLocator* cl[B];
  ub1 bl[B][8];
  char amount_text[B][8];
  sb2 ind[11][B];
  ub2 len[11][B];
  ub2 rc[11][B];
  for (ub4 i = 0; i < B; ++i) {
    OCIDescriptorAlloc(c->env, reinterpret_cast<void**>(&ts[i]), OCI_DTYPE_TIMESTAMP, 0, nullptr);
    OCIDescriptorAlloc(c->env, reinterpret_cast<void**>(&cl[i]), OCI_DTYPE_LOB, 0, nullptr);
  }
  struct Def {
    void* p;
    sb4 size;
    ub2 dty;
  } defs[] = {{id, sizeof id[0], SQLT_INT},      {amount, sizeof amount[0], SQLT_BDOUBLE},
              {name, sizeof name[0], SQLT_VCS},   {code, sizeof code[0], SQLT_AFC},
              {d, 16, SQLT_DAT},                  {ts, sizeof ts[0], SQLT_TIMESTAMP},
              {raw, sizeof raw[0], SQLT_VBI},     {bd, sizeof bd[0], SQLT_BDOUBLE},
              {cl, sizeof cl[0], SQLT_CLOB},      {bl, sizeof bl[0], SQLT_LBI},
              {amount_text, sizeof amount_text[0], SQLT_STR}};
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 0, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c->err);
  for (ub4 k = 0; k < 11; ++k) {
    OCIDefine* df = nullptr;
    ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(st, &df, c->err, k + 1, defs[k].p, defs[k].size,
                                          defs[k].dty, ind[k], len[k], rc[k], OCI_DEFAULT));
  }
  ub4 seen = 0;
  std::vector<sword> statuses;
  for (;;) {
    sword s = OCIStmtFetch(st, c->err, B, OCI_FETCH_NEXT, OCI_DEFAULT);
    statuses.push_back(s);
    ub4 fetched = 0, total = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &fetched, nullptr, OCI_ATTR_ROWS_FETCHED, c->err);
    OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, c->err);
    ASSERT_TRUE(s == OCI_SUCCESS || s == OCI_NO_DATA) << errtext(c->err);
    for (ub4 r = 0; r < fetched; ++r) {
      ub4 row = seen + r + 1;
      EXPECT_EQ(static_cast<int>(row), id[r]);
      if (row == 3) {
        for (int k = 1; k < 11; ++k) EXPECT_EQ(-1, ind[k][r]) << "column " << k;
        continue;
      }
      for (int k = 0; k < 11; ++k) EXPECT_EQ(0, ind[k][r]) << "column " << k << " row " << row;
      EXPECT_DOUBLE_EQ(row - 1 + 0.5, amount[r]);
      std::string nm = "name" + std::to_string(row);
      EXPECT_EQ(nm, std::string(name[r].data, name[r].len));
      EXPECT_EQ(nm.substr(0, 5), std::string(code[r], 5));  // CHAR(5) holds the first five
      const ub1 want_d[7] = {120, 101, 2, static_cast<ub1>(2 + row), 5, 6, 7};
      EXPECT_EQ(0, std::memcmp(want_d, d[r], 7));
      sb2 yr = 0;
      ub1 mo = 0, dy = 0, hh = 0, mi = 0, ss = 0;
      ub4 fs = 0;
      ASSERT_EQ(OCI_SUCCESS, OCIDateTimeGetDate(c->env, c->err, ts[r], &yr, &mo, &dy));
      ASSERT_EQ(OCI_SUCCESS, OCIDateTimeGetTime(c->env, c->err, ts[r], &hh, &mi, &ss, &fs));
      EXPECT_EQ(2020, yr);
      EXPECT_EQ(31, dy);
      EXPECT_EQ(58, ss);
      EXPECT_EQ(123456789u + row - 1, fs);
      ASSERT_EQ(4, raw[r].len);
      EXPECT_EQ(0xA0 + row - 1, raw[r].data[0]);
      EXPECT_DOUBLE_EQ(1.25 * row, bd[r]);
      ub4 clen = 0;
      ASSERT_EQ(OCI_SUCCESS, OCILobGetLength(c->svc, c->err, cl[r], &clen));
      char cbuf[64];
      ub4 amt = clen;
      ASSERT_EQ(OCI_SUCCESS, OCILobRead(c->svc, c->err, cl[r], &amt, 1, cbuf, sizeof cbuf, nullptr,
                                        nullptr, 0, SQLCS_IMPLICIT));
      EXPECT_EQ("clob value " + std::to_string(row), std::string(cbuf, amt));
      EXPECT_EQ(4, len[9][r]);
      EXPECT_EQ(0xA3 + row - 1, bl[r][3]);
      EXPECT_STREQ(row == 1 ? ".5" : (std::to_string(row - 1) + ".5").c_str(), amount_text[r]);
    }
    seen += fetched;
    EXPECT_EQ(seen, total);  // ROW_COUNT counts all rows fetched so far
    if (s == OCI_NO_DATA) break;
  }
  EXPECT_EQ(5u, seen);
  EXPECT_EQ((std::vector<sword>{OCI_SUCCESS, OCI_SUCCESS, OCI_NO_DATA}), statuses);
  EXPECT_EQ(OCI_NO_DATA, OCIStmtFetch(st, c->err, B, OCI_FETCH_NEXT, OCI_DEFAULT));
}

TEST_F(Typed, TruncationKeepsTheOriginalLengthInTheIndicator) {
  OCIStmt* st = c->stmt("select name, name, r from t where id = 1");
  struct {
    ub2 len;
    char data[4];
  } vcs;
  char str[4];
  ub1 raw[2];
  sb2 ind[3];
  ub2 rc[3];
  ub2 alen[3];
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c->err, 1, &vcs, sizeof vcs, SQLT_VCS, &ind[0], &alen[0], &rc[0], OCI_DEFAULT);
  OCIDefineByPos(st, &d, c->err, 2, str, sizeof str, SQLT_STR, &ind[1], &alen[1], &rc[1], OCI_DEFAULT);
  OCIDefineByPos(st, &d, c->err, 3, raw, sizeof raw, SQLT_BIN, &ind[2], &alen[2], &rc[2], OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_SUCCESS_WITH_INFO, OCIStmtFetch(st, c->err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ("ORA-01406: fetched column value was truncated\n", errtext(c->err));
  EXPECT_EQ(4, vcs.len);
  EXPECT_EQ("name", std::string(vcs.data, 4));
  EXPECT_STREQ("nam", str);
  EXPECT_EQ(0xA0, raw[0]);
  EXPECT_EQ((std::vector<sb2>{5, 5, 4}), std::vector<sb2>(ind, ind + 3));
  EXPECT_EQ((std::vector<ub2>{1406, 1406, 1406}), std::vector<ub2>(rc, rc + 3));
}

TEST_F(Typed, NullWithoutIndicatorIsAnError) {
  OCIStmt* st = c->stmt("select name from t where id = 3");
  char buf[32];
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c->err, 1, buf, sizeof buf, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_ERROR, OCIStmtFetch(st, c->err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(1405, errcode(c->err));
}

TEST_F(Typed, FetchStatesAreChecked) {
  OCIStmt* st = c->stmt("select id from t");
  int v = 0;
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c->err, 1, &v, sizeof v, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  EXPECT_EQ(OCI_ERROR, OCIStmtFetch(st, c->err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(24338, errcode(c->err));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_ERROR, OCIStmtFetch(st, c->err, 1, OCI_FETCH_LAST, OCI_DEFAULT));
  // Fetching zero rows closes the cursor.
  EXPECT_EQ(OCI_SUCCESS, OCIStmtFetch(st, c->err, 0, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(OCI_NO_DATA, OCIStmtFetch(st, c->err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  // A define past the select list.
  OCIDefineByPos(st, &d, c->err, 2, &v, sizeof v, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  EXPECT_EQ(1007, errcode(c->err));
}

TEST_F(OciTest, NumbersKeepFifteenDigitsAndOraclesTextForm) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table n (v number)");
  c.run("insert into n values (123456789012345)");
  struct Case {
    const char* expr;
    const char* text;
  } cases[] = {{"0.5", ".5"},
               {"-0.5", "-.5"},
               {"10", "10"},
               {"1.25 * 4", "5"},
               {"1/4", ".25"},
               {"(select v from n)", "123456789012345"},
               {"(select v from n) + 1", "123456789012346"},
               {"12345678.125", "12345678.125"},
               {"-1234567890123.25", "-1234567890123.25"}};
  for (const auto& k : cases)
    EXPECT_EQ(k.text, c.scalar(std::string("select ") + k.expr + " from dual")) << k.expr;

  // Integers round and range-check; Oracle's NUMBER form travels both ways.
  OCIStmt* st = c.stmt("select 2.5, 300, v, -0.0012 from n");
  int rounded = 0;
  sb1 small = 0;
  ub1 num[22];
  ub1 vnu[22];
  sb2 ind[4];
  ub2 alen[4];
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c.err, 1, &rounded, sizeof rounded, SQLT_INT, &ind[0], &alen[0], nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, c.err, 2, &small, sizeof small, SQLT_INT, &ind[1], &alen[1], nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, c.err, 3, num, sizeof num, SQLT_NUM, &ind[2], &alen[2], nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, c.err, 4, vnu, sizeof vnu, SQLT_VNU, &ind[3], &alen[3], nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_ERROR, OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(1455, errcode(c.err));  // 300 does not fit one byte
  EXPECT_EQ(3, rounded);
  // -0.0012: exponent byte 62 - (-2) = 64, digit 12 -> 101 - 12 = 89, then 102.
  EXPECT_EQ((std::vector<ub1>{3, 64, 89, 102}), std::vector<ub1>(vnu, vnu + 4));

  OCIStmt* back = c.stmt("select count(*) from n where v = :1");
  OCIBind* b = nullptr;
  OCIBindByPos(back, &b, c.err, 1, num, alen[2], SQLT_NUM, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  int count = 0;
  OCIDefineByPos(back, &d, c.err, 1, &count, sizeof count, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, back, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  EXPECT_EQ(1, count);
}

// Whole numbers travel exact in base-100 digits; fractions and large values
// are held as doubles, and their NUMBER form carries the double's fifteen
// significant digits, rounded.
TEST_F(OciTest, NumbersTravelInOraclesForm) {
  Conn c(db.dir, "scott", "tiger");
  struct Case {
    const char* expr;
    std::vector<ub1> vnu;  // length byte, exponent byte, digits
  } cases[] = {
      {"0", {1, 128}},
      {"1", {2, 193, 2}},
      {"-1", {3, 62, 100, 102}},
      {"99", {2, 193, 100}},
      {"100", {2, 194, 2}},
      {"-100", {3, 61, 100, 102}},
      {"1000", {2, 194, 11}},
      {"123456789012345", {9, 200, 2, 24, 46, 68, 90, 2, 24, 46}},
      {"9223372036854775807", {11, 202, 10, 23, 34, 73, 4, 69, 55, 78, 59, 8}},
      {"-9223372036854775807", {12, 53, 92, 79, 68, 29, 98, 33, 47, 24, 43, 94, 102}},
      {"1.25", {3, 193, 2, 26}},
      {"0.1", {2, 192, 11}},
      {"123456.789", {6, 195, 13, 35, 57, 79, 91}},
      {"-0.00000025", {3, 66, 76, 102}},
      {"1e125", {2, 255, 11}},
      {"1/3", {9, 192, 34, 34, 34, 34, 34, 34, 34, 31}},
      {"2/3", {9, 192, 67, 67, 67, 67, 67, 67, 67, 71}},  // ...666667: rounded up
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.expr);
    OCIStmt* st = c.stmt(std::string("select ") + k.expr + " from dual");
    ub1 vnu[22] = {};
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, c.err, 1, vnu, sizeof vnu, SQLT_VNU, nullptr, nullptr, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c.err);
    EXPECT_EQ(k.vnu, std::vector<ub1>(vnu, vnu + k.vnu.size()));
  }
}

// NUMBER holds magnitudes below 1E126; its form has no exponent for more.
// A larger value is refused where it would be stored or handed out, never
// wrapped into another number; one below 1E-130 is zero, as in Oracle.
TEST_F(OciTest, NumbersBeyondOraclesRangeAreRefusedNotWrapped) {
  Conn c(db.dir, "scott", "tiger");
  struct Case {
    const char* expr;
    int ora;               // the fetch's error, or 0
    std::vector<ub1> vnu;  // its NUMBER form when it succeeds
  } cases[] = {
      {"1e126", 1426, {}},
      {"-1e126", 1426, {}},
      {"5e300", 1426, {}},
      {"1e126 - 1e110", 1426, {}},  // fifteen digits round it up to 1E126
      {"9.9e125", 0, {2, 255, 100}},
      {"1e-130", 0, {2, 128, 2}},
      {"1e-131", 0, {1, 128}},
      {"-1e-131", 0, {1, 128}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.expr);
    OCIStmt* st = c.stmt(std::string("select ") + k.expr + " from dual");
    ub1 vnu[22] = {};
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, c.err, 1, vnu, sizeof vnu, SQLT_VNU, nullptr, nullptr, nullptr, OCI_DEFAULT);
    const sword rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    if (k.ora) {
      ASSERT_EQ(OCI_ERROR, rc);
      EXPECT_EQ(k.ora, errcode(c.err));
    } else {
      ASSERT_EQ(OCI_SUCCESS, rc) << errtext(c.err);
      EXPECT_EQ(k.vnu, std::vector<ub1>(vnu, vnu + k.vnu.size()));
    }
  }
  // A NUMBER column refuses what it could not give back; BINARY_DOUBLE keeps it.
  c.run("create table big (n number, p number(38), b binary_double)");
  OCIStmt* st = c.stmt("insert into big (n) values (5e300)");
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(1426, errcode(c.err));
  st = c.stmt("insert into big (p) values (-1e130)");
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_TRUE(errcode(c.err) == 1426 || errcode(c.err) == 1438) << errcode(c.err);
  st = c.stmt("insert into big (n, b) values (9.9e125, 5e300)");
  EXPECT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c.err);
  EXPECT_EQ("0", c.scalar("select count(*) from big where n is null"));
}

TEST_F(OciTest, LongColumnsArriveInPiecesThroughNeedData) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table l (id number, txt long)");
  std::string big(10000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  OCIStmt* ins = c.stmt("insert into l values (:1, :2)");
  int id = 1;
  OCIBind* b = nullptr;
  OCIBindByPos(ins, &b, c.err, 1, &id, sizeof id, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIBindByPos(ins, &b, c.err, 2, big.data(), static_cast<sb4>(big.size()), SQLT_LNG, nullptr, nullptr,
               nullptr, 0, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  c.run("insert into l values (2, null)");

  OCIStmt* st = c.stmt("select id, txt from l order by id");
  int rid = 0;
  char first[4096];
  sb2 ind[2] = {};
  OCIDefine* dl = nullptr;
  OCIDefine* di = nullptr;
  OCIDefineByPos(st, &di, c.err, 1, &rid, sizeof rid, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(st, &dl, c.err, 2, first, 2147483643, SQLT_LNG, ind, nullptr,
                                        nullptr, OCI_DYNAMIC_FETCH));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));

  std::string got;
  std::vector<ub1> pieces;
  sword rc = OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
  while (rc == OCI_NEED_DATA) {
    void* h = nullptr;
    ub4 type = 0, iter = 9, idx = 0;
    ub1 inout = 0, piece = 0;
    ASSERT_EQ(OCI_SUCCESS, OCIStmtGetPieceInfo(st, c.err, &h, &type, &inout, &iter, &idx, &piece));
    EXPECT_EQ(dl, h);
    EXPECT_EQ(static_cast<ub4>(OCI_HTYPE_DEFINE), type);
    EXPECT_EQ(OCI_PARAM_OUT, inout);
    EXPECT_EQ(0u, iter);
    pieces.push_back(piece);
    char buf[4096];
    ub4 alen = sizeof buf;
    sb2 pind = 7;
    ub2 prc = 9;
    ASSERT_EQ(OCI_SUCCESS, OCIStmtSetPieceInfo(h, OCI_HTYPE_DEFINE, c.err, buf, &alen, OCI_NEXT_PIECE,
                                               &pind, &prc));
    rc = OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    got.append(buf, alen);
    if (rc != OCI_NEED_DATA) { EXPECT_EQ(0, pind); }
  }
  ASSERT_EQ(OCI_SUCCESS, rc) << errtext(c.err);
  EXPECT_EQ(big, got);
  EXPECT_EQ((std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_NEXT_PIECE}), pieces);
  EXPECT_EQ(1, rid);
  // A NULL LONG needs no piece.
  EXPECT_EQ(OCI_SUCCESS, OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ(2, rid);
  EXPECT_EQ(-1, ind[0]);
}

TEST_F(OciTest, ClobReadsInChunksAndInUtf16) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table lob (c clob, nc nclob, b blob)");
  c.run("insert into lob values ('abcdefghijklmnopqrstuvwxy', 'h\xC3\xA9llo', null)");
  OCIStmt* st = c.stmt("select c, nc from lob");
  OCILobLocator* loc[2];
  for (auto& l : loc) OCIDescriptorAlloc(c.env, reinterpret_cast<void**>(&l), OCI_DTYPE_LOB, 0, nullptr);
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c.err, 1, &loc[0], sizeof loc[0], SQLT_CLOB, nullptr, nullptr, nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d, c.err, 2, &loc[1], sizeof loc[1], SQLT_CLOB, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  std::vector<ub4> got;
  std::string all;
  for (ub4 off = 1;; off += 10) {
    char buf[10];
    ub4 amt = 10;
    ASSERT_EQ(OCI_SUCCESS, OCILobRead(c.svc, c.err, loc[0], &amt, off, buf, sizeof buf, nullptr, nullptr,
                                      0, SQLCS_IMPLICIT));
    got.push_back(amt);
    all.append(buf, amt);
    if (amt < 10) break;
  }
  EXPECT_EQ((std::vector<ub4>{10, 10, 5}), got);
  EXPECT_EQ("abcdefghijklmnopqrstuvwxy", all);

  ub1 form = 0;
  OCILobCharSetForm(c.env, c.err, loc[1], &form);
  EXPECT_EQ(SQLCS_NCHAR, form);
  ub4 len = 0;
  OCILobGetLength(c.svc, c.err, loc[1], &len);
  EXPECT_EQ(5u, len);  // characters
  ub2 wide[8] = {};
  ub4 amt = 5;
  ASSERT_EQ(OCI_SUCCESS, OCILobRead(c.svc, c.err, loc[1], &amt, 2, wide, sizeof wide, nullptr, nullptr,
                                    OCI_UTF16ID, SQLCS_NCHAR));
  EXPECT_EQ(4u, amt);
  EXPECT_EQ((std::vector<ub2>{0xE9, 'l', 'l', 'o'}), std::vector<ub2>(wide, wide + 4));

  // A temporary value written through a fresh locator reads back.
  OCILobLocator* tmp = nullptr;
  OCIDescriptorAlloc(c.env, reinterpret_cast<void**>(&tmp), OCI_DTYPE_LOB, 0, nullptr);
  ub4 wamt = 3;
  EXPECT_EQ(OCI_SUCCESS, OCILobWrite(c.svc, c.err, tmp, &wamt, 1, const_cast<char*>("xyz"), 3,
                                     OCI_ONE_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT));
  EXPECT_EQ(OCI_SUCCESS, OCILobGetLength(c.svc, c.err, tmp, &len));
  EXPECT_EQ(3u, len);
}

TEST_F(OciTest, WideModeMovesCharacterDataAsUtf16) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table w (v varchar2(10), f char(8))");
  // Bind UTF-16 NUL-terminated text.
  OCIStmt* ins = c.stmt("insert into w values (:1, :2)");
  ub2 in16[] = {'h', 0xE9, 'l', 'l', 'o', 0};
  OCIBind* b = nullptr;
  OCIBindByPos(ins, &b, c.err, 1, in16, sizeof in16, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  ub2 csid = OCI_UTF16ID;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(b, OCI_HTYPE_BIND, &csid, 0, OCI_ATTR_CHARSET_ID, c.err));
  ub2 abc16[] = {'a', 'b', 'c', 0};
  OCIBindByPos(ins, &b, c.err, 2, abc16, sizeof abc16, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIAttrSet(b, OCI_HTYPE_BIND, &csid, 0, OCI_ATTR_CHARSET_ID, c.err);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  EXPECT_EQ("h\xC3\xA9llo", c.scalar("select v from w"));

  OCIStmt* st = c.stmt("select v, f from w");
  struct {
    ub2 len;
    ub2 data[10];
  } vcs;
  ub2 afc[8];
  OCIDefine* d1 = nullptr;
  OCIDefine* d2 = nullptr;
  OCIDefineByPos(st, &d1, c.err, 1, &vcs, sizeof vcs, SQLT_VCS, nullptr, nullptr, nullptr, OCI_DEFAULT);
  OCIDefineByPos(st, &d2, c.err, 2, afc, sizeof afc, SQLT_AFC, nullptr, nullptr, nullptr, OCI_DEFAULT);
  OCIAttrSet(d1, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, c.err);
  OCIAttrSet(d2, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, c.err);
  ub2 got_id = 0;
  OCIAttrGet(d1, OCI_HTYPE_DEFINE, &got_id, nullptr, OCI_ATTR_CHARSET_ID, c.err);
  EXPECT_EQ(OCI_UTF16ID, got_id);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  EXPECT_EQ(5, vcs.len);  // the prefix of a wide value counts UTF-16 units
  EXPECT_EQ((std::vector<ub2>{'h', 0xE9, 'l', 'l', 'o'}), std::vector<ub2>(vcs.data, vcs.data + 5));
  // CHAR(8) comes blank-padded to its length.
  EXPECT_EQ((std::vector<ub2>{'a', 'b', 'c', ' ', ' ', ' ', ' ', ' '}), std::vector<ub2>(afc, afc + 8));

  // The environment's conversion functions.
  const char* text = "d\xC3\xA9j\xC3\xA0";
  EXPECT_EQ(6u, OCIMultiByteStrlen(c.env, reinterpret_cast<const OraText*>(text)));
  ub2 u[16];
  size_t n = 0;
  ASSERT_EQ(OCI_SUCCESS, OCICharSetToUnicode(c.env, u, 16, reinterpret_cast<const OraText*>(text), 6, &n));
  EXPECT_EQ(4u, n);
  OraText back[16];
  ASSERT_EQ(OCI_SUCCESS, OCIUnicodeToCharSet(c.env, back, sizeof back, u, n, &n));
  EXPECT_EQ(std::string(text), std::string(reinterpret_cast<char*>(back), n));
}

TEST_F(OciTest, DateTimeDescriptorsCheckTheirFields) {
  Conn c(db.dir, "scott", "tiger");
  OCIDateTime* dt = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIDescriptorAlloc(c.env, reinterpret_cast<void**>(&dt), OCI_DTYPE_TIMESTAMP, 0, nullptr));
  EXPECT_EQ(OCI_ERROR, OCIDateTimeConstruct(c.env, c.err, dt, 2024, 13, 1, 0, 0, 0, 0, nullptr, 0));
  EXPECT_EQ(1843, errcode(c.err));
  EXPECT_EQ(OCI_ERROR, OCIDateTimeConstruct(c.env, c.err, dt, 2023, 2, 29, 0, 0, 0, 0, nullptr, 0));
  EXPECT_EQ(1847, errcode(c.err));
  ASSERT_EQ(OCI_SUCCESS, OCIDateTimeConstruct(c.env, c.err, dt, 2024, 2, 29, 23, 59, 59, 999999999, nullptr, 0));
  sb2 y = 0;
  ub1 m = 0, d = 0, hh = 0, mi = 0, ss = 0;
  ub4 fs = 0;
  OCIDateTimeGetDate(c.env, c.err, dt, &y, &m, &d);
  OCIDateTimeGetTime(c.env, c.err, dt, &hh, &mi, &ss, &fs);
  EXPECT_EQ(2024, y);
  EXPECT_EQ(29, d);
  EXPECT_EQ(999999999u, fs);
  // Round trip through a TIMESTAMP column.
  c.run("create table ts (t timestamp)");
  OCIStmt* ins = c.stmt("insert into ts values (:1)");
  OCIBind* b = nullptr;
  OCIBindByPos(ins, &b, c.err, 1, &dt, sizeof dt, SQLT_TIMESTAMP, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  OCIStmt* st = c.stmt("select t from ts");
  ub1 date7[7];
  OCIDefine* df = nullptr;
  OCIDefineByPos(st, &df, c.err, 1, date7, 7, SQLT_DAT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  EXPECT_EQ((std::vector<ub1>{120, 124, 2, 29, 24, 60, 60}), std::vector<ub1>(date7, date7 + 7));
}

TEST_F(OciTest, RowidTextFindsItsRowAgain) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table r (n number)");
  c.run("insert into r values (7)");
  c.run("insert into r values (8)");
  std::string rid = c.scalar("select rowid from r where n = 8");
  EXPECT_EQ(18u, rid.size());
  OCIStmt* st = c.stmt("select n from r where rowid = :1");
  OCIBind* b = nullptr;
  OCIBindByPos(st, &b, c.err, 1, rid.data(), static_cast<sb4>(rid.size()), SQLT_CHR, nullptr, nullptr,
               nullptr, 0, nullptr, OCI_DEFAULT);
  int n = 0;
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c.err, 1, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  EXPECT_EQ(8, n);
}

namespace {
struct LobOut {
  OCIEnv* env = nullptr;
  std::vector<OCILobLocator*> locs;
  std::vector<std::pair<ub4, ub4>> calls;  // (iteration, index)
  ub4 len = 0;
  sb2 ind = 0;
  ub2 rcode = 0;
};
sb4 lob_in_null(void*, OCIBind*, ub4, ub4, void** bufp, ub4* alenp, ub1* piecep, void** indp) {
  static sb2 null_ind = -1;
  *bufp = nullptr;
  *alenp = 0;
  *piecep = OCI_ONE_PIECE;
  *indp = &null_ind;
  return OCI_CONTINUE;
}
sb4 lob_out(void* ctx, OCIBind*, ub4 iter, ub4 index, void** bufp, ub4** alenp, ub1* piecep,
            void** indp, ub2** rcodep) {
  auto* o = static_cast<LobOut*>(ctx);
  OCILobLocator* l = nullptr;
  OCIDescriptorAlloc(o->env, reinterpret_cast<void**>(&l), OCI_DTYPE_LOB, 0, nullptr);
  o->locs.push_back(l);
  o->calls.emplace_back(iter, index);
  *bufp = l;
  o->len = sizeof(void*);
  *alenp = &o->len;
  *piecep = OCI_ONE_PIECE;
  *indp = &o->ind;
  *rcodep = &o->rcode;
  return OCI_CONTINUE;
}
}  // namespace

TEST_F(OciTest, LobParametersAreWrittenThroughReturnedLocators) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table doc (id number, body clob)");
  // INSERT ... EMPTY_CLOB() RETURNING body INTO :2, then write the value.
  OCIStmt* ins = c.stmt("insert into doc (id, body) values (:1, empty_clob()) returning body into :2");
  int id = 1;
  OCIBind* b = nullptr;
  OCIBindByPos(ins, &b, c.err, 1, &id, sizeof id, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  LobOut out;
  out.env = c.env;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &b, c.err, 2, nullptr, 8, SQLT_CLOB, nullptr, nullptr,
                                      nullptr, 0, nullptr, OCI_DATA_AT_EXEC))
      << errtext(c.err);
  ASSERT_EQ(OCI_SUCCESS, OCIBindDynamic(b, c.err, &out, lob_in_null, &out, lob_out));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  ASSERT_EQ(1u, out.locs.size());
  std::string text(5000, 'q');
  ub4 amt = static_cast<ub4>(text.size());
  ASSERT_EQ(OCI_SUCCESS, OCILobWrite(c.svc, c.err, out.locs[0], &amt, 1, text.data(), amt, OCI_ONE_PIECE,
                                     nullptr, nullptr, 0, SQLCS_IMPLICIT))
      << errtext(c.err);
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c.svc, c.err, OCI_DEFAULT));
  EXPECT_EQ("5000", c.scalar("select length(body) from doc where id = 1"));

  // UPDATE of two rows calls back once per row, with the row's index.
  c.run("insert into doc values (2, 'x')");
  OCIStmt* upd = c.stmt("update doc set body = empty_clob() where id <= :1 returning body into :2");
  int lim = 2;
  OCIBindByPos(upd, &b, c.err, 1, &lim, sizeof lim, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  LobOut out2;
  out2.env = c.env;
  OCIBindByPos(upd, &b, c.err, 2, nullptr, 8, SQLT_CLOB, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
  OCIBindDynamic(b, c.err, &out2, lob_in_null, &out2, lob_out);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, upd, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  EXPECT_EQ((std::vector<std::pair<ub4, ub4>>{{0, 0}, {0, 1}}), out2.calls);
  ub4 returned = 0;
  OCIAttrGet(b, OCI_HTYPE_BIND, &returned, nullptr, OCI_ATTR_ROWS_RETURNED, c.err);
  EXPECT_EQ(2u, returned);
  for (auto* l : out2.locs) {
    ub4 n = 3;
    ASSERT_EQ(OCI_SUCCESS, OCILobWrite(c.svc, c.err, l, &n, 1, const_cast<char*>("new"), 3, OCI_ONE_PIECE,
                                       nullptr, nullptr, 0, SQLCS_IMPLICIT));
  }
  EXPECT_EQ("new", c.scalar("select body from doc where id = 1"));
  EXPECT_EQ("new", c.scalar("select body from doc where id = 2"));
}

// Values of 0 B, 1 B and 1 MiB written through a returned locator come back
// exactly: the length (bytes of a BLOB, UTF-16 units of a CLOB) and the
// bytes read in 64 KiB pieces; the CLOB's text has 2-, 3- and 4-byte
// characters.
TEST_F(OciTest, LobValuesOfEverySizeRoundTrip) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table rt (id number, cl clob, bl blob)");
  auto units16 = [](const char* s, size_t n) {
    size_t u = 0;
    for (size_t i = 0; i < n; ++i) {
      const auto b = static_cast<unsigned char>(s[i]);
      if ((b & 0xC0) != 0x80) u += b >= 0xF0 ? 2 : 1;
    }
    return u;
  };
  const char* const kParts[] = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"};
  for (size_t size : {size_t{0}, size_t{1}, size_t{1} << 20}) {
    for (bool blob : {true, false}) {
      SCOPED_TRACE(std::to_string(size) + (blob ? " bytes of BLOB" : " bytes of CLOB"));
      std::string value;
      ub4 units = 0;
      for (size_t i = 0; value.size() < size; ++i) {
        const char* p = blob ? "" : kParts[i % 4];
        if (blob || value.size() + std::strlen(p) > size) {
          value += static_cast<char>(blob ? (i * 13) & 0xFF : 'z');
          units += 1;
        } else {
          value += p;
          units += i % 4 == 3 ? 2 : 1;
        }
      }
      c.run("delete from rt");
      const std::string sql = std::string("insert into rt (id, ") + (blob ? "bl" : "cl") + ") values (1, " +
                              (blob ? "empty_blob()" : "empty_clob()") + ") returning " + (blob ? "bl" : "cl") +
                              " into :1";
      OCIStmt* ins = c.stmt(sql.c_str());
      OCIBind* b = nullptr;
      LobOut out;
      out.env = c.env;
      ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &b, c.err, 1, nullptr, 8, blob ? SQLT_BLOB : SQLT_CLOB, nullptr,
                                          nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC));
      ASSERT_EQ(OCI_SUCCESS, OCIBindDynamic(b, c.err, &out, lob_in_null, &out, lob_out));
      ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
          << errtext(c.err);
      ASSERT_EQ(1u, out.locs.size());
      if (size > 0) {
        ub4 amt = static_cast<ub4>(value.size());
        ASSERT_EQ(OCI_SUCCESS, OCILobWrite(c.svc, c.err, out.locs[0], &amt, 1, value.data(), amt, OCI_ONE_PIECE,
                                           nullptr, nullptr, 0, SQLCS_IMPLICIT))
            << errtext(c.err);
      }
      ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c.svc, c.err, OCI_DEFAULT));

      OCIStmt* sel = c.stmt(blob ? "select bl from rt where id = 1" : "select cl from rt where id = 1");
      OCILobLocator* loc = nullptr;
      OCIDescriptorAlloc(c.env, reinterpret_cast<void**>(&loc), OCI_DTYPE_LOB, 0, nullptr);
      OCIDefine* d = nullptr;
      OCIDefineByPos(sel, &d, c.err, 1, &loc, sizeof loc, blob ? SQLT_BLOB : SQLT_CLOB, nullptr, nullptr, nullptr,
                     OCI_DEFAULT);
      ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, sel, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
          << errtext(c.err);
      ub4 len = 99;
      ASSERT_EQ(OCI_SUCCESS, OCILobGetLength(c.svc, c.err, loc, &len));
      EXPECT_EQ(units, len);
      std::string back;
      std::vector<char> buf(65536);
      for (ub4 offset = 1; offset <= len;) {
        ub4 amt = static_cast<ub4>(buf.size());
        const sword rc = OCILobRead(c.svc, c.err, loc, &amt, offset, buf.data(), static_cast<ub4>(buf.size()),
                                    nullptr, nullptr, 0, SQLCS_IMPLICIT);
        ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_NEED_DATA) << errtext(c.err);
        ASSERT_GT(amt, 0u);
        back.append(buf.data(), amt);
        // A CLOB's offsets count UTF-16 units, the amount read is bytes.
        offset += blob ? amt : static_cast<ub4>(units16(buf.data(), amt));
      }
      EXPECT_TRUE(back == value) << back.size() << " bytes back";
      OCIDescriptorFree(loc, OCI_DTYPE_LOB);
    }
  }
}

// A CLOB read in chunks of every size, as UTF-8 and as UTF-16, forward one
// offset at a time, backward, and from inside a surrogate pair: each chunk
// holds exactly the units (or whole characters) at its offset, wherever the
// read before it ended; a write changes what the next reads and the length
// see.
TEST_F(OciTest, ClobChunksMatchTheValueAtEveryOffset) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table ck (id number, cl clob)");
  const char* const kParts[] = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "bc"};
  std::string value;
  std::vector<ub2> ref;         // the value in UTF-16
  std::vector<size_t> byteAt;   // byte where each unit's character starts
  for (size_t i = 0; i < 120; ++i) {
    const std::string part = kParts[(i * 7 + i / 5) % 5];
    const auto* p = reinterpret_cast<const unsigned char*>(part.data());
    if (part.size() == 4) {
      const unsigned cp = ((p[0] & 7u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
      ref.push_back(static_cast<ub2>(0xD800 + ((cp - 0x10000) >> 10)));
      ref.push_back(static_cast<ub2>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      byteAt.insert(byteAt.end(), 2, value.size());
    } else if (part.size() == 3) {
      ref.push_back(static_cast<ub2>(((p[0] & 0xFu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu)));
      byteAt.push_back(value.size());
    } else if (part.size() == 2 && p[0] >= 0x80) {
      ref.push_back(static_cast<ub2>(((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu)));
      byteAt.push_back(value.size());
    } else {
      for (size_t k = 0; k < part.size(); ++k) {
        ref.push_back(p[k]);
        byteAt.push_back(value.size() + k);
      }
    }
    value += part;
  }
  byteAt.push_back(value.size());
  c.run("insert into ck values (1, '" + value + "')");
  OCIStmt* st = c.stmt("select cl from ck");
  OCILobLocator* loc = nullptr;
  OCIDescriptorAlloc(c.env, reinterpret_cast<void**>(&loc), OCI_DTYPE_LOB, 0, nullptr);
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c.err, 1, &loc, sizeof loc, SQLT_CLOB, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c.err);
  ub4 len = 0;
  ASSERT_EQ(OCI_SUCCESS, OCILobGetLength(c.svc, c.err, loc, &len));
  ASSERT_EQ(ref.size(), len);
  const size_t n = ref.size();

  // UTF-16: so many units from the offset, a pair cut at either end.
  auto wide = [&](ub4 offset, ub4 amount) {
    std::vector<ub2> buf(amount + 1, 0xEEEE);
    ub4 amt = amount;
    EXPECT_EQ(OCI_SUCCESS, OCILobRead(c.svc, c.err, loc, &amt, offset, buf.data(), 2 * amount, nullptr, nullptr,
                                      OCI_UTF16ID, SQLCS_IMPLICIT));
    buf.resize(amt);
    return buf;
  };
  auto refAt = [&](size_t from, size_t count) {
    from = std::min(from, n);
    return std::vector<ub2>(ref.begin() + static_cast<std::ptrdiff_t>(from),
                            ref.begin() + static_cast<std::ptrdiff_t>(std::min(n, from + count)));
  };
  for (ub4 chunk : {1u, 2u, 3u, 5u, 64u}) {
    SCOPED_TRACE("UTF-16 chunks of " + std::to_string(chunk));
    std::vector<ub2> joined;
    for (ub4 offset = 1; offset <= n; offset += chunk) {
      auto got = wide(offset, chunk);
      ASSERT_EQ(refAt(offset - 1, chunk), got) << "at " << offset;
      joined.insert(joined.end(), got.begin(), got.end());
    }
    EXPECT_EQ(ref, joined);
  }
  for (ub4 offset = 1; offset <= n + 1; ++offset) ASSERT_EQ(refAt(offset - 1, 3), wide(offset, 3)) << offset;
  for (ub4 offset = static_cast<ub4>(n); offset >= 1; offset -= 7) {
    ASSERT_EQ(refAt(offset - 1, 5), wide(offset, 5)) << offset;
    if (offset <= 7) break;
  }

  // UTF-8: whole characters that fit the buffer and are no more units than
  // asked for (a pair may go one over); an offset inside a pair starts after it.
  auto narrow = [&](ub4 offset, ub4 amount, ub4 bufl) {
    std::string buf(bufl, '\0');
    ub4 amt = amount;
    EXPECT_EQ(OCI_SUCCESS, OCILobRead(c.svc, c.err, loc, &amt, offset, buf.data(), bufl, nullptr, nullptr, 0,
                                      SQLCS_IMPLICIT));
    buf.resize(amt);
    return buf;
  };
  auto unitOfByte = [&](size_t b) {
    return static_cast<size_t>(std::lower_bound(byteAt.begin(), byteAt.end(), b) - byteAt.begin());
  };
  // The byte after the character starting at byte b.
  auto charEnd = [&](size_t b) { return *std::upper_bound(byteAt.begin(), byteAt.end(), b); };
  for (ub4 bufl : {1u, 2u, 3u, 4u, 5u, 7u, 64u}) {
    for (ub4 amount : {bufl, 2u}) {
      SCOPED_TRACE("UTF-8 buffer " + std::to_string(bufl) + " amount " + std::to_string(amount));
      std::string joined;
      for (ub4 offset = 1; offset <= n;) {
        std::string got = narrow(offset, amount, bufl);
        const size_t from = byteAt[offset - 1];
        ASSERT_EQ(value.substr(from, got.size()), got) << "at " << offset;
        if (got.empty()) {
          // Only a buffer too small for the next character gives nothing.
          ASSERT_LT(bufl, charEnd(from) - from) << "at " << offset;
          break;
        }
        EXPECT_LE(unitOfByte(from + got.size()) - (offset - 1), amount + 1) << "at " << offset;
        joined += got;
        offset = static_cast<ub4>(unitOfByte(from + got.size()) + 1);
      }
      if (bufl >= 4) {
        EXPECT_EQ(value, joined);
      }
    }
  }
  for (size_t u = 1; u < n; ++u) {
    if (byteAt[u] != byteAt[u - 1]) continue;  // the second unit of a pair
    const size_t next = byteAt[u] + 4;
    const std::string want = next < value.size() ? value.substr(next, charEnd(next) - next) : "";
    EXPECT_EQ(want, narrow(static_cast<ub4>(u + 1), 1, 4)) << u;
  }

  // A write is seen by the next read and the length.
  ub4 amt = 2;
  ASSERT_EQ(OCI_SUCCESS, OCILobWrite(c.svc, c.err, loc, &amt, 2, const_cast<char*>("\xF0\x9F\x98\x80"), 4,
                                     OCI_ONE_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT))
      << errtext(c.err);
  std::vector<ub2> after = ref;
  after[1] = 0xD83D;
  after[2] = 0xDE00;
  ASSERT_EQ(OCI_SUCCESS, OCILobGetLength(c.svc, c.err, loc, &len));
  EXPECT_EQ(after.size(), len);
  EXPECT_EQ(std::vector<ub2>(after.begin(), after.begin() + 6), wide(1, 6));
  OCIDescriptorFree(loc, OCI_DTYPE_LOB);
}

// Wide values cut at every kind of place: inside and after long ASCII runs
// and at the one character beyond ASCII; the indicator keeps the whole
// value's size in bytes of UTF-16.
TEST_F(OciTest, WideDefinesCutLongRunsAndCountTheWholeValue) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table r (v varchar2(100))");
  const size_t runs[] = {0, 15, 16, 17, 33};
  for (size_t before : runs)
    for (size_t after : runs) {
      std::vector<ub2> whole(before, 'a');
      whole.push_back(0xE9);
      whole.insert(whole.end(), after, 'B');
      c.run("delete from r");
      c.run("insert into r values ('" + std::string(before, 'a') + "\xC3\xA9" + std::string(after, 'B') + "')");
      for (size_t cap : {1u, 15u, 16u, 17u, 20u, 40u, 60u}) {
        SCOPED_TRACE(std::to_string(before) + " " + std::to_string(after) + " " + std::to_string(cap));
        OCIStmt* st = c.stmt("select v from r");
        std::vector<ub2> out(cap + 1, 0xEEEE);
        sb2 ind = 0;
        ub2 alen = 0, rcode = 0;
        OCIDefine* d = nullptr;
        OCIDefineByPos(st, &d, c.err, 1, out.data(), static_cast<sb4>(2 * cap), SQLT_CHR, &ind, &alen, &rcode,
                       OCI_DEFAULT);
        ub2 csid = OCI_UTF16ID;
        OCIAttrSet(d, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, c.err);
        OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
        const size_t n = std::min(cap, whole.size());
        EXPECT_EQ(std::vector<ub2>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)),
                  std::vector<ub2>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)));
        EXPECT_EQ(0xEEEE, out[cap]);
        EXPECT_EQ(2 * n, alen);
        EXPECT_EQ(n < whole.size() ? 1406 : 0, rcode);
        EXPECT_EQ(static_cast<sb2>(n < whole.size() ? 2 * whole.size() : 0), ind);
      }
    }
}

// Wide text bound with long ASCII runs around the one character beyond
// ASCII is stored as the same text in UTF-8.
TEST_F(OciTest, WideBindsOfLongRunsStoreTheSameText) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table b (v varchar2(100))");
  const size_t runs[] = {0, 7, 15, 16, 17, 33};
  for (size_t before : runs)
    for (size_t after : runs) {
      SCOPED_TRACE(std::to_string(before) + " " + std::to_string(after));
      std::vector<ub2> wide(before, 'a');
      wide.push_back(0xE9);
      wide.insert(wide.end(), after, 'B');
      c.run("delete from b");
      OCIStmt* ins = c.stmt("insert into b values (:1)");
      OCIBind* bnd = nullptr;
      ub2 alen = static_cast<ub2>(2 * wide.size());
      OCIBindByPos(ins, &bnd, c.err, 1, wide.data(), static_cast<sb4>(2 * wide.size()), SQLT_CHR, nullptr, &alen,
                   nullptr, 0, nullptr, OCI_DEFAULT);
      ub2 csid = OCI_UTF16ID;
      OCIAttrSet(bnd, OCI_HTYPE_BIND, &csid, 0, OCI_ATTR_CHARSET_ID, c.err);
      ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
          << errtext(c.err);
      EXPECT_EQ(std::string(before, 'a') + "\xC3\xA9" + std::string(after, 'B'), c.scalar("select v from b"));
    }
  // A pair is one character; a lone surrogate becomes U+FFFD.
  c.run("delete from b");
  std::vector<ub2> odd(16, 'a');
  odd.insert(odd.end(), {0xD83D, 0xDE00, 0xD800, 'y'});
  OCIStmt* ins = c.stmt("insert into b values (:1)");
  OCIBind* bnd = nullptr;
  ub2 alen = static_cast<ub2>(2 * odd.size());
  OCIBindByPos(ins, &bnd, c.err, 1, odd.data(), static_cast<sb4>(2 * odd.size()), SQLT_CHR, nullptr, &alen, nullptr,
               0, nullptr, OCI_DEFAULT);
  ub2 csid = OCI_UTF16ID;
  OCIAttrSet(bnd, OCI_HTYPE_BIND, &csid, 0, OCI_ATTR_CHARSET_ID, c.err);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c.err);
  EXPECT_EQ(std::string(16, 'a') + "\xF0\x9F\x98\x80\xEF\xBF\xBDy", c.scalar("select v from b"));
}

TEST_F(OciTest, WideLongPiecesAndWideLobWritesAreUtf16) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table wl (txt long)");
  std::string unit = "h\xC3\xA9llo ";  // 6 characters, 7 bytes
  std::string text;
  for (int i = 0; i < 1500; ++i) text += unit;
  OCIStmt* ins = c.stmt("insert into wl values (:1)");
  OCIBind* b = nullptr;
  OCIBindByPos(ins, &b, c.err, 1, text.data(), static_cast<sb4>(text.size()), SQLT_LNG, nullptr,
               nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));

  OCIStmt* st = c.stmt("select txt from wl");
  char first[4096];
  sb2 ind = 0;
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c.err, 1, first, 2147483643, SQLT_LNG, &ind, nullptr, nullptr, OCI_DYNAMIC_FETCH);
  ub2 csid = OCI_UTF16ID;
  OCIAttrSet(d, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, c.err);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  std::string bytes;
  sword rc = OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
  while (rc == OCI_NEED_DATA) {
    void* h = nullptr;
    ub4 type = 0, iter = 0, idx = 0;
    ub1 inout = 0, piece = 0;
    OCIStmtGetPieceInfo(st, c.err, &h, &type, &inout, &iter, &idx, &piece);
    char buf[4096];
    ub4 alen = sizeof buf;
    OCIStmtSetPieceInfo(h, OCI_HTYPE_DEFINE, c.err, buf, &alen, OCI_NEXT_PIECE, &ind, nullptr);
    rc = OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    bytes.append(buf, alen);
  }
  ASSERT_EQ(OCI_SUCCESS, rc) << errtext(c.err);
  ASSERT_EQ(9000u * 2, bytes.size());  // 9000 characters, two bytes each
  std::vector<ub2> units(bytes.size() / 2);
  std::memcpy(units.data(), bytes.data(), bytes.size());
  EXPECT_EQ((std::vector<ub2>{'h', 0xE9, 'l', 'l', 'o', ' ', 'h'}), std::vector<ub2>(units.begin(), units.begin() + 7));

  OCILobLocator* lob = nullptr;
  OCIDescriptorAlloc(c.env, reinterpret_cast<void**>(&lob), OCI_DTYPE_LOB, 0, nullptr);
  ub2 wide[] = {'h', 0xE9, 'l', 'l', 'o', 'X', 'X'};
  ub4 amt = 5;  // characters; the buffer holds more
  ASSERT_EQ(OCI_SUCCESS, OCILobWrite(c.svc, c.err, lob, &amt, 1, wide, sizeof wide, OCI_ONE_PIECE,
                                     nullptr, nullptr, OCI_UTF16ID, SQLCS_IMPLICIT));
  EXPECT_EQ(5u, amt);
  char back[16];
  ub4 n = 10;
  ASSERT_EQ(OCI_SUCCESS, OCILobRead(c.svc, c.err, lob, &n, 1, back, sizeof back, nullptr, nullptr, 0,
                                    SQLCS_IMPLICIT));
  EXPECT_EQ("h\xC3\xA9llo", std::string(back, n));
}
