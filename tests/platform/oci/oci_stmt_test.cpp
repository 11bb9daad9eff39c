// Statements: DML arrays in one execute, binds by position and by name,
// dynamic binds, describe of select lists and of tables, the statement cache.
#include "oci_fixture.h"

using namespace ocitest;

namespace {

struct EmpTable : OciTest {
  void SetUp() override {
    OciTest::SetUp();
    c = std::make_unique<Conn>(db.dir, "scott", "tiger");
    ASSERT_TRUE(c->ok()) << errtext(c->err);
    c->run("create table emp (id number(10) primary key, name varchar2(20), sal number(8,2), "
           "hired date)");
  }
  std::unique_ptr<Conn> c;
};

}  // namespace

TEST_F(EmpTable, ArrayInsertRunsAsOneExecuteWithTheTotalRowCount) {
  constexpr ub4 kRows = 10;
  int ids[kRows];
  char names[kRows][8];
  ub2 name_len[kRows];
  sb2 name_ind[kRows];
  double sal[kRows];
  ub1 hired[kRows][7];
  for (ub4 i = 0; i < kRows; ++i) {
    ids[i] = static_cast<int>(i + 1);
    name_len[i] = static_cast<ub2>(std::snprintf(names[i], sizeof names[i], "N%u", i));
    name_ind[i] = i == 3 ? -1 : 0;
    sal[i] = 100.25 * i;
    const ub1 d[7] = {120, 101, 2, 3, 5, 6, 7};  // 2001-02-03 04:05:06
    std::memcpy(hired[i], d, 7);
  }
  OCIStmt* st = c->stmt("insert into emp (id, name, sal, hired) values (:1, :2, :3, :4)");
  OCIBind* b[4] = {};
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &b[0], c->err, 1, ids, sizeof ids[0], SQLT_INT, nullptr,
                                      nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &b[1], c->err, 2, names, sizeof names[0], SQLT_CHR,
                                      name_ind, name_len, nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &b[2], c->err, 3, sal, sizeof sal[0], SQLT_BDOUBLE,
                                      nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &b[3], c->err, 4, hired, 7, SQLT_DAT, nullptr, nullptr,
                                      nullptr, 0, nullptr, OCI_DEFAULT));
  unsigned calls = ocilite_test_calls(OCILITE_T_EXECUTE);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, kRows, 0, nullptr, nullptr,
                                        OCI_COMMIT_ON_SUCCESS))
      << errtext(c->err);
  EXPECT_EQ(calls + 1, ocilite_test_calls(OCILITE_T_EXECUTE));
  ub4 rows = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c->err);
  EXPECT_EQ(kRows, rows);
  EXPECT_EQ("10", c->scalar("select count(*) from emp"));
  EXPECT_EQ("<null>", c->scalar("select name from emp where id = 4"));
  EXPECT_EQ("N9", c->scalar("select name from emp where id = 10"));
  EXPECT_EQ("200.5", c->scalar("select sal from emp where id = 3"));
  EXPECT_EQ("2001-02-03 04:05:06", c->scalar("select to_char(hired, 'YYYY-MM-DD HH24:MI:SS') from emp where id = 1"));

  // A failing row stops the array; the rows before it stay and are counted.
  int more[3] = {11, 12, 5};
  OCIStmt* st2 = c->stmt("insert into emp (id) values (:1)");
  OCIBindByPos(st2, &b[0], c->err, 1, more, sizeof more[0], SQLT_INT, nullptr, nullptr, nullptr, 0,
               nullptr, OCI_DEFAULT);
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c->svc, st2, c->err, 3, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(1, errcode(c->err));
  OCIAttrGet(st2, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c->err);
  EXPECT_EQ(2u, rows);
  EXPECT_EQ("12", c->scalar("select count(*) from emp"));
}

TEST_F(EmpTable, UpdateAndDeleteCountTheirRows) {
  c->run("insert into emp (id, sal) values (1, 10)");
  c->run("insert into emp (id, sal) values (2, 20)");
  c->run("insert into emp (id, sal) values (3, 30)");
  OCIStmt* st = c->stmt("update emp set sal = sal * 2 where sal > :lim");
  int lim = 15;
  OCIBind* b = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByName(st, &b, c->err, reinterpret_cast<const OraText*>(":lim"), 4,
                                       &lim, sizeof lim, SQLT_INT, nullptr, nullptr, nullptr, 0,
                                       nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  ub4 rows = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c->err);
  EXPECT_EQ(2u, rows);
  ub2 type = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, c->err);
  EXPECT_EQ(OCI_STMT_UPDATE, type);
  ub4 binds = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &binds, nullptr, OCI_ATTR_BIND_COUNT, c->err);
  EXPECT_EQ(1u, binds);
  EXPECT_EQ("60", c->scalar("select sal from emp where id = 3"));
}

TEST_F(EmpTable, ByNameBindsEveryOccurrenceAndUnboundPlaceholdersFail) {
  c->run("insert into emp (id, sal) values (1, 10)");
  c->run("insert into emp (id, sal) values (2, 20)");
  OCIStmt* st = c->stmt("select count(*) from emp where id = :x or sal = :x * 10");
  int x = 2;
  OCIBind* b = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByName(st, &b, c->err, reinterpret_cast<const OraText*>(":X"), -1,
                                       &x, sizeof x, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                                       OCI_DEFAULT));
  int n = 0;
  OCIDefine* d = nullptr;
  OCIDefineByPos(st, &d, c->err, 1, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c->err);
  EXPECT_EQ(1, n);  // fetched at execute (iters 1 on a query)
  // An unknown name is refused at bind time, a missing bind at execute.
  EXPECT_EQ(OCI_ERROR, OCIBindByName(st, &b, c->err, reinterpret_cast<const OraText*>(":nope"), -1,
                                     &x, sizeof x, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                                     OCI_DEFAULT));
  EXPECT_EQ(1036, errcode(c->err));
  OCIStmt* st2 = c->stmt("select count(*) from emp where id = :1 and sal = :2");
  OCIBindByPos(st2, &b, c->err, 1, &x, sizeof x, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
               OCI_DEFAULT);
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c->svc, st2, c->err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(1008, errcode(c->err));
}

namespace {
struct DynIn {
  std::vector<std::string> values;
  int calls = 0;
};
sb4 dyn_in(void* ctx, OCIBind*, ub4 iter, ub4 index, void** bufp, ub4* alenp, ub1* piecep,
           void** indp) {
  static sb2 null_ind = -1, ok_ind = 0;
  auto* d = static_cast<DynIn*>(ctx);
  ++d->calls;
  std::string& v = d->values[iter];
  if (v == "NULL") {
    *bufp = nullptr;
    *alenp = 0;
    *indp = &null_ind;
  } else {
    *bufp = v.data();
    *alenp = static_cast<ub4>(v.size());
    *indp = &ok_ind;
  }
  *piecep = OCI_ONE_PIECE;
  return OCI_CONTINUE;
}
}  // namespace

TEST_F(EmpTable, DynamicBindsTakeEachIterationsValueFromTheCallback) {
  OCIStmt* st = c->stmt("insert into emp (id, name) values (:1, :2)");
  int ids[3] = {1, 2, 3};
  DynIn in{{"alpha", "NULL", "gamma"}};
  OCIBind* b1 = nullptr;
  OCIBind* b2 = nullptr;
  OCIBindByPos(st, &b1, c->err, 1, ids, sizeof ids[0], SQLT_INT, nullptr, nullptr, nullptr, 0,
               nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &b2, c->err, 2, nullptr, 100, SQLT_CHR, nullptr, nullptr,
                                      nullptr, 0, nullptr, OCI_DATA_AT_EXEC));
  ASSERT_EQ(OCI_SUCCESS, OCIBindDynamic(b2, c->err, &in, dyn_in, nullptr, nullptr));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 3, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c->err);
  EXPECT_EQ(3, in.calls);
  EXPECT_EQ("gamma", c->scalar("select name from emp where id = 3"));
  EXPECT_EQ("<null>", c->scalar("select name from emp where id = 2"));
}

namespace {
// Breaks its own statement off from inside the execution: the dynamic bind's
// value callback calls OCIBreak, then hands over the value.
struct BreakIn {
  OCISvcCtx* svc;
  OCIError* err;
  int value;
  sb2 ind = 0;
};
sb4 break_in(void* ctx, OCIBind*, ub4, ub4, void** bufp, ub4* alenp, ub1* piecep, void** indp) {
  auto* b = static_cast<BreakIn*>(ctx);
  EXPECT_EQ(OCI_SUCCESS, OCIBreak(b->svc, b->err));
  *bufp = &b->value;
  *alenp = sizeof b->value;
  *piecep = OCI_ONE_PIECE;
  *indp = &b->ind;
  return OCI_CONTINUE;
}
sword insert_broken_off(Conn& c, int id, ub4 mode) {
  OCIStmt* st = c.stmt("insert into emp (id) values (:1)");
  OCIBind* b = nullptr;
  BreakIn in{c.svc, c.err, id};
  OCIBindByPos(st, &b, c.err, 1, nullptr, sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
               OCI_DATA_AT_EXEC);
  OCIBindDynamic(b, c.err, &in, break_in, nullptr, nullptr);
  sword rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, mode);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  return rc;
}
}  // namespace

// A DML statement that fails or is broken off leaves nothing of its own
// behind: in autocommit no transaction stays open (it would hold its lock
// and an old snapshot, and be committed by a later statement); inside the
// application's transaction the earlier work stays. A break that comes while
// the statement runs means ORA-01013 and nothing done, even when the
// statement got to its end.
TEST_F(EmpTable, FailedOrBrokenOffDmlLeavesNothingOfItsOwn) {
  setenv("OCILITE_LOCK_TIMEOUT", "3000", 1);  // a lock left behind fails fast
  Conn other(db.dir, "scott", "tiger");
  auto count = [&](const std::string& where) { return other.scalar("select count(*) from emp where " + where); };
  const ub4 autocommit = OCI_COMMIT_ON_SUCCESS;

  // Autocommit: a NOT NULL violation, then both sessions write at once.
  EXPECT_EQ(OCI_ERROR, c->exec("insert into emp (id, name) values (null, 'x')", autocommit));
  EXPECT_EQ(1400, errcode(c->err));
  EXPECT_EQ(OCI_SUCCESS, other.exec("insert into emp (id) values (1)", autocommit)) << errtext(other.err);
  EXPECT_EQ(OCI_SUCCESS, c->exec("insert into emp (id) values (2)", autocommit)) << errtext(c->err);
  EXPECT_EQ(OCI_SUCCESS, c->exec("update emp set name = 'u' where id = 1", autocommit)) << errtext(c->err);
  EXPECT_EQ("2", count("id in (1, 2)"));
  EXPECT_EQ("1", count("name = 'u'"));

  // Autocommit, broken off: not there, and nothing open.
  EXPECT_EQ(OCI_ERROR, insert_broken_off(*c, 3, autocommit));
  EXPECT_EQ(1013, errcode(c->err));
  EXPECT_EQ(OCI_SUCCESS, other.exec("insert into emp (id) values (4)", autocommit)) << errtext(other.err);
  EXPECT_EQ("0", count("id = 3"));
  EXPECT_EQ(OCI_SUCCESS, c->exec("insert into emp (id) values (3)", autocommit)) << errtext(c->err);

  // The application's transaction: the failing and the broken-off statement
  // take back only their own work.
  c->run("insert into emp (id) values (5)");
  EXPECT_EQ(OCI_ERROR, c->exec("insert into emp (id) values (5)"));
  EXPECT_EQ(1, errcode(c->err));
  EXPECT_EQ(OCI_ERROR, insert_broken_off(*c, 6, OCI_DEFAULT));
  EXPECT_EQ(1013, errcode(c->err));
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c->svc, c->err, OCI_DEFAULT));
  EXPECT_EQ("1", count("id = 5"));
  EXPECT_EQ("0", count("id = 6"));
  EXPECT_EQ("5", count("id > 0"));
}

namespace {
// Executes a query and fetches its first row; the status of the first
// failing call.
sword open_query(Conn& c, OCIStmt* st) {
  sword rc = OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
  if (rc != OCI_SUCCESS) return rc;
  rc = OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
  return rc == OCI_NO_DATA ? OCI_SUCCESS : rc;
}
}  // namespace

// SELECT ... FOR UPDATE locks what it read until the transaction ends:
// another session's writes wait out the lock timeout and fail with
// ORA-00054, its reads go on, and it writes once the holder commits or
// rolls back. The holder's own writes in the same schema go through.
TEST_F(EmpTable, SelectForUpdateHoldsTheWriteLockToTheTransactionsEnd) {
  setenv("OCILITE_LOCK_TIMEOUT", "300", 1);
  c->run("insert into emp (id, sal) values (1, 10)");
  c->run("insert into emp (id, sal) values (2, 20)");
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c->svc, c->err, OCI_DEFAULT));
  Conn other(db.dir, "scott", "tiger");
  const ub4 autocommit = OCI_COMMIT_ON_SUCCESS;
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    OCIStmt* st = c->stmt("select id, sal from emp where id = 1 for update");
    ASSERT_EQ(OCI_SUCCESS, open_query(*c, st)) << errtext(c->err);
    EXPECT_EQ(OCI_ERROR, other.exec("update emp set sal = 11 where id = 1", autocommit));
    EXPECT_EQ(54, errcode(other.err));
    // A row the query did not read is in the same locked schema.
    EXPECT_EQ(OCI_ERROR, other.exec("insert into emp (id) values (3)", autocommit));
    EXPECT_EQ(54, errcode(other.err));
    EXPECT_EQ("2", other.scalar("select count(*) from emp"));
    c->run("update emp set sal = 12 where id = 1");
    OCIHandleFree(st, OCI_HTYPE_STMT);
    if (commit) ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c->svc, c->err, OCI_DEFAULT));
    else ASSERT_EQ(OCI_SUCCESS, OCITransRollback(c->svc, c->err, OCI_DEFAULT));
    EXPECT_EQ(commit ? "12" : "10", other.scalar("select sal from emp where id = 1"));
    EXPECT_EQ(OCI_SUCCESS, other.exec("update emp set sal = 10 where id = 1", autocommit))
        << errtext(other.err);
  }
}

// NOWAIT fails at once with ORA-00054 while another session holds the lock
// (the lock timeout here is far longer than the test's limit), WAIT n gives
// up after n seconds, and a failed FOR UPDATE leaves no transaction behind.
// Locks are per schema: another schema stays writable.
TEST_F(EmpTable, ForUpdateNowaitFailsAtOnceAndLeavesNothingOpen) {
  setenv("OCILITE_LOCK_TIMEOUT", "600000", 1);
  c->run("insert into emp (id, sal) values (1, 10)");
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c->svc, c->err, OCI_DEFAULT));
  Conn other(db.dir, "scott", "tiger");
  Conn hr(db.dir, "hr", "Secret1");
  hr.run("create table dept (id number)");
  OCIStmt* held = c->stmt("select * from emp for update");
  ASSERT_EQ(OCI_SUCCESS, open_query(*c, held)) << errtext(c->err);
  for (const char* sql : {"select * from emp for update nowait", "select id from emp for update wait 1",
                          "select e.id from scott.emp e, hr.dept d for update nowait"}) {
    SCOPED_TRACE(sql);
    OCIStmt* st = other.stmt(sql);
    EXPECT_EQ(OCI_ERROR, open_query(other, st));
    EXPECT_EQ(54, errcode(other.err));
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
  // Nothing of the failed attempts holds hr's schema.
  EXPECT_EQ(OCI_SUCCESS, hr.exec("insert into dept values (1)", OCI_COMMIT_ON_SUCCESS)) << errtext(hr.err);
  OCIHandleFree(held, OCI_HTYPE_STMT);
  ASSERT_EQ(OCI_SUCCESS, OCITransCommit(c->svc, c->err, OCI_DEFAULT));
  OCIStmt* st = other.stmt("select * from emp for update nowait");
  EXPECT_EQ(OCI_SUCCESS, open_query(other, st)) << errtext(other.err);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  ASSERT_EQ(OCI_SUCCESS, OCITransRollback(other.svc, other.err, OCI_DEFAULT));
}

namespace {

struct ColDesc {
  std::string name;
  ub2 type = 0;
  ub2 size = 0;
  sb2 precision = 0;
  sb1 scale = 0;
  ub1 nullable = 0;
  ub1 form = 0;
};

ColDesc describe_param(OCIParam* p, OCIError* err) {
  ColDesc d;
  OraText* name = nullptr;
  ub4 len = 0;
  OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, err);
  d.name.assign(reinterpret_cast<char*>(name), len);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &d.type, nullptr, OCI_ATTR_DATA_TYPE, err);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &d.size, nullptr, OCI_ATTR_DATA_SIZE, err);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &d.precision, nullptr, OCI_ATTR_PRECISION, err);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &d.scale, nullptr, OCI_ATTR_SCALE, err);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &d.nullable, nullptr, OCI_ATTR_IS_NULL, err);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &d.form, nullptr, OCI_ATTR_CHARSET_FORM, err);
  return d;
}

}  // namespace

TEST_F(OciTest, SelectListDescribeFollowsOraclesConventions) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table t (id number(10) not null, amount number, f float(126), name varchar2(30), "
        "code char(4), nname nvarchar2(10), d date, ts timestamp, r raw(16), b blob, cl clob, "
        "bd binary_double)");
  OCIStmt* st = c.stmt(
      "select id, amount, f, name, code, nname, d, ts, r, b, cl, bd, count(*) over () , 'abc', "
      "null, amount + 1 as total, rowid from t");
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DESCRIBE_ONLY))
      << errtext(c.err);
  ub4 n = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_PARAM_COUNT, c.err);
  ASSERT_EQ(17u, n);
  struct Want {
    const char* name;
    ub2 type;
    sb2 precision;
    sb1 scale;
  } want[] = {
      {"ID", 2, 10, 0},       {"AMOUNT", 2, 0, -127}, {"F", 2, 126, -127},   {"NAME", 1, 0, 0},
      {"CODE", 96, 0, 0},     {"NNAME", 1, 0, 0},     {"D", 12, 0, 0},       {"TS", 187, 0, 6},
      {"R", 23, 0, 0},        {"B", 113, 0, 0},       {"CL", 112, 0, 0},     {"BD", 101, 0, 0},
      {"COUNT(*)OVER()", 2, 0, 0}, {"'ABC'", 96, 0, 0}, {"NULL", 1, 0, 0},  {"TOTAL", 2, 0, -127},
      {"ROWID", 104, 0, 0},
  };
  for (ub4 i = 0; i < n; ++i) {
    OCIParam* p = nullptr;
    ASSERT_EQ(OCI_SUCCESS, OCIParamGet(st, OCI_HTYPE_STMT, c.err, reinterpret_cast<void**>(&p), i + 1));
    ColDesc d = describe_param(p, c.err);
    EXPECT_EQ(want[i].name, d.name) << i;
    EXPECT_EQ(want[i].type, d.type) << d.name;
    if (want[i].type == 2) {
      EXPECT_EQ(want[i].precision, d.precision) << d.name;
      EXPECT_EQ(want[i].scale, d.scale) << d.name;
    }
    if (i == 0) { EXPECT_EQ(0, d.nullable); }
    if (i == 1) { EXPECT_EQ(1, d.nullable); }
    if (i == 3) { EXPECT_EQ(30, d.size); }
    if (i == 5) { EXPECT_EQ(SQLCS_NCHAR, d.form); }
    if (i == 3) { EXPECT_EQ(SQLCS_IMPLICIT, d.form); }
    if (i == 13) { EXPECT_EQ(3, d.size); }
    if (i == 14) { EXPECT_EQ(0, d.size); }
  }
  OCIParam* p = nullptr;
  EXPECT_EQ(OCI_ERROR, OCIParamGet(st, OCI_HTYPE_STMT, c.err, reinterpret_cast<void**>(&p), 18));
}

TEST_F(OciTest, DescribeAnyOfTablesAndViews) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table dept (deptno number(2) primary key, dname varchar2(14), loc char(13))");
  c.run("create view v_dept as select deptno, dname from dept");
  OCIDescribe* dsc = nullptr;
  OCIHandleAlloc(c.env, reinterpret_cast<void**>(&dsc), OCI_HTYPE_DESCRIBE, 0, nullptr);
  const char* name = "scott.dept";
  ASSERT_EQ(OCI_SUCCESS, OCIDescribeAny(c.svc, c.err, const_cast<char*>(name), 10, OCI_OTYPE_NAME,
                                        1, OCI_PTYPE_TABLE, dsc))
      << errtext(c.err);
  OCIParam* obj = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrGet(dsc, OCI_HTYPE_DESCRIBE, &obj, nullptr, OCI_ATTR_PARAM, c.err));
  ub1 ptype = 0;
  ub2 ncols = 0;
  OCIParam* list = nullptr;
  OCIAttrGet(obj, OCI_DTYPE_PARAM, &ptype, nullptr, OCI_ATTR_PTYPE, c.err);
  OCIAttrGet(obj, OCI_DTYPE_PARAM, &ncols, nullptr, OCI_ATTR_NUM_COLS, c.err);
  OCIAttrGet(obj, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_COLUMNS, c.err);
  EXPECT_EQ(OCI_PTYPE_TABLE, ptype);
  ASSERT_EQ(3, ncols);
  OCIParam* col = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIParamGet(list, OCI_DTYPE_PARAM, c.err, reinterpret_cast<void**>(&col), 1));
  ColDesc d1 = describe_param(col, c.err);
  EXPECT_EQ("DEPTNO", d1.name);
  EXPECT_EQ(2, d1.type);
  EXPECT_EQ(2, d1.precision);
  EXPECT_EQ(0, d1.nullable);
  OCIParamGet(list, OCI_DTYPE_PARAM, c.err, reinterpret_cast<void**>(&col), 3);
  ColDesc d3 = describe_param(col, c.err);
  EXPECT_EQ("LOC", d3.name);
  EXPECT_EQ(96, d3.type);
  EXPECT_EQ(13, d3.size);

  // A view is not a table and the other way round; unknown objects fail.
  const char* view = "V_DEPT";
  EXPECT_EQ(OCI_ERROR, OCIDescribeAny(c.svc, c.err, const_cast<char*>(view), 6, OCI_OTYPE_NAME, 1,
                                      OCI_PTYPE_TABLE, dsc));
  EXPECT_EQ(4043, errcode(c.err));
  ASSERT_EQ(OCI_SUCCESS, OCIDescribeAny(c.svc, c.err, const_cast<char*>(view), 6, OCI_OTYPE_NAME, 1,
                                        OCI_PTYPE_VIEW, dsc));
  OCIAttrGet(dsc, OCI_HTYPE_DESCRIBE, &obj, nullptr, OCI_ATTR_PARAM, c.err);
  OCIAttrGet(obj, OCI_DTYPE_PARAM, &ncols, nullptr, OCI_ATTR_NUM_COLS, c.err);
  EXPECT_EQ(2, ncols);
  const char* proc = "SOME_PROC";
  EXPECT_EQ(OCI_ERROR, OCIDescribeAny(c.svc, c.err, const_cast<char*>(proc), 9, OCI_OTYPE_NAME, 1,
                                      OCI_PTYPE_PROC, dsc));
  EXPECT_EQ(4043, errcode(c.err));
}

TEST_F(OciTest, StatementCacheHandsBackReleasedStatements) {
  Conn c(db.dir, "scott", "tiger", OCI_STMT_CACHE);
  ASSERT_TRUE(c.ok()) << errtext(c.err);
  ub4 size = 5;
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c.svc, OCI_HTYPE_SVCCTX, &size, 0, OCI_ATTR_STMTCACHESIZE, c.err));
  const std::string sql = "select 42 from dual";
  OCIStmt* a = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIStmtPrepare2(c.svc, &a, c.err, reinterpret_cast<const OraText*>(sql.c_str()),
                                         static_cast<ub4>(sql.size()), nullptr, 0, OCI_NTV_SYNTAX,
                                         OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtRelease(a, c.err, nullptr, 0, OCI_DEFAULT));
  OCIStmt* b = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIStmtPrepare2(c.svc, &b, c.err, reinterpret_cast<const OraText*>(sql.c_str()),
                                         static_cast<ub4>(sql.size()), nullptr, 0, OCI_NTV_SYNTAX,
                                         OCI_DEFAULT));
  EXPECT_EQ(a, b);
  int v = 0;
  OCIDefine* d = nullptr;
  OCIDefineByPos(b, &d, c.err, 1, &v, sizeof v, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, b, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(42, v);
  // Search-only finds nothing for another text.
  OCIStmt* none = nullptr;
  const char* other = "select 1 from dual";
  EXPECT_EQ(OCI_ERROR, OCIStmtPrepare2(c.svc, &none, c.err, reinterpret_cast<const OraText*>(other),
                                       18, nullptr, 0, OCI_NTV_SYNTAX, OCI_PREP2_CACHE_SEARCHONLY));
  EXPECT_EQ(OCI_SUCCESS, OCIStmtRelease(b, c.err, nullptr, 0, OCI_STRLS_CACHE_DELETE));
  // One statement stays cached; freeing the environment frees it once.
  ASSERT_EQ(OCI_SUCCESS, OCIStmtPrepare2(c.svc, &a, c.err, reinterpret_cast<const OraText*>(other), 18,
                                         nullptr, 0, OCI_NTV_SYNTAX, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtRelease(a, c.err, nullptr, 0, OCI_DEFAULT));

  // Without the cache mode every prepare makes a new statement.
  Conn plain(db.dir, "scott", "tiger");
  OCIStmt* p1 = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIStmtPrepare2(plain.svc, &p1, plain.err, reinterpret_cast<const OraText*>(sql.c_str()),
                                         static_cast<ub4>(sql.size()), nullptr, 0, OCI_NTV_SYNTAX,
                                         OCI_DEFAULT));
  EXPECT_EQ(OCI_SUCCESS, OCIStmtRelease(p1, plain.err, nullptr, 0, OCI_DEFAULT));
}

TEST_F(OciTest, PrepareReportsErrorsOfTheStatementAtOnce) {
  Conn c(db.dir, "scott", "tiger");
  OCIStmt* st = nullptr;
  OCIHandleAlloc(c.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  const char* sql = "select * from missing_table";
  EXPECT_EQ(OCI_ERROR, OCIStmtPrepare(st, c.err, reinterpret_cast<const OraText*>(sql),
                                      static_cast<ub4>(std::strlen(sql)), OCI_NTV_SYNTAX, OCI_DEFAULT));
  EXPECT_EQ(942, errcode(c.err));
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(24337, errcode(c.err));
}

TEST_F(OciTest, NullsSortAsOracleSortsThemAndCountDescribesAsAnInteger) {
  Conn c(db.dir, "scott", "tiger");
  c.run("create table s (v number)");
  for (const char* v : {"2", "null", "1"}) c.run(std::string("insert into s values (") + v + ")");
  auto order = [&](const char* dir) {
    OCIStmt* st = c.stmt(std::string("select v from s order by v ") + dir);
    int v[3];
    sb2 ind[3];
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, c.err, 1, v, sizeof v[0], SQLT_INT, ind, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 3, 0, nullptr, nullptr, OCI_DEFAULT))
        << errtext(c.err);
    std::string out;
    for (int i = 0; i < 3; ++i) out += ind[i] == -1 ? std::string("N") : std::to_string(v[i]);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
  };
  EXPECT_EQ("12N", order("asc"));
  EXPECT_EQ("N21", order("desc"));

  OCIStmt* st = c.stmt("select count(*) from s");
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DESCRIBE_ONLY));
  OCIParam* p = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIParamGet(st, OCI_HTYPE_STMT, c.err, reinterpret_cast<void**>(&p), 1));
  ColDesc d = describe_param(p, c.err);
  EXPECT_EQ("COUNT(*)", d.name);
  EXPECT_EQ(2, d.type);
  EXPECT_EQ(0, d.precision);
  EXPECT_EQ(0, d.scale);
}

TEST_F(OciTest, PlsqlAssignmentFillsTheOutputBind) {
  Conn c(db.dir, "scott", "tiger");
  OCIStmt* st = c.stmt("begin :r := :a * 7 || ' units'; end;");
  int a = 6;
  char r[32] = {};
  sb2 ind = -5;
  ub2 len = 0;
  OCIBind* b = nullptr;
  OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":a"), -1, &a, sizeof a, SQLT_INT,
                nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":r"), -1, r, sizeof r, SQLT_STR,
                &ind, &len, nullptr, 0, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << errtext(c.err);
  EXPECT_STREQ("42 units", r);
  EXPECT_EQ(0, ind);
  ub2 type = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, c.err);
  EXPECT_EQ(OCI_STMT_BEGIN, type);
}

// A number the stand-in cannot keep exactly is refused on every bind path
// into a NUMBER column (text, unsigned 64-bit, Oracle NUMBER), never rounded;
// the same text into a VARCHAR2 column, or a number it keeps, goes in whole.
TEST_F(OciTest, BoundNumbersBeyondTheExactRangeAreRefusedNotRounded) {
  Conn c(db.dir, "scott", "tiger");
  ASSERT_TRUE(c.ok()) << c.logon_error;
  c.run("create table big (n number(38), v varchar2(40))");
  struct Case {
    const char* sql;
    ub2 dty;
    std::string text;  // SQLT_STR value, or the decimal of a SQLT_UIN
    sb4 code;
  } cases[] = {
      {"insert into big (n) values (:1)", SQLT_STR, "12345678901234567890123", 3001},
      {"insert into big values (:1, null)", SQLT_STR, " 1234567890123456.5 ", 3001},
      {"update big set n = :1 where n is null", SQLT_STR, "0.1234567890123456", 3001},
      {"insert into big (n) values (:1)", SQLT_STR, "9223372036854775807", 0},
      {"insert into big (n) values (:1)", SQLT_STR, "100000000000000000000000", 0},
      {"insert into big (v) values (:1)", SQLT_STR, "12345678901234567890123", 0},
      {"insert into big (v, n) values (:1, 5)", SQLT_STR, "0.1234567890123456", 0},
      {"insert into big (n) values (:1)", SQLT_UIN, "18446744073709551615", 3001},
      {"insert into big (n) values (:1)", SQLT_UIN, "9223372036854775808", 3001},
      {"insert into big (n) values (:1)", SQLT_UIN, "10000000000000000000", 0},
      {"insert into big (n) values (:1)", SQLT_UIN, "9223372036854775807", 0},
  };
  for (const Case& k : cases) {
    OCIStmt* st = c.stmt(k.sql);
    OCIBind* b = nullptr;
    uint64_t u = std::strtoull(k.text.c_str(), nullptr, 10);
    if (k.dty == SQLT_UIN)
      OCIBindByPos(st, &b, c.err, 1, &u, sizeof u, SQLT_UIN, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    else
      OCIBindByPos(st, &b, c.err, 1, const_cast<char*>(k.text.c_str()), static_cast<sb4>(k.text.size() + 1),
                   SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    sword rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    if (k.code == 0) {
      EXPECT_EQ(OCI_SUCCESS, rc) << k.sql << " " << k.text << ": " << errtext(c.err);
    } else {
      EXPECT_EQ(OCI_ERROR, rc) << k.sql << " " << k.text;
      sb4 code = 0;
      const std::string msg = errtext(c.err, 1, &code);
      EXPECT_EQ(k.code, code) << k.text;
      std::string digits = k.text.substr(k.text.find_first_not_of(' '));
      digits = digits.substr(0, digits.find_last_not_of(' ') + 1);
      EXPECT_NE(msg.find(digits), std::string::npos) << msg;
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
  // What went in reads back whole; nothing of the refused values is stored.
  EXPECT_EQ("5", c.scalar("select count(n) from big"));
  EXPECT_EQ("2", c.scalar("select count(*) from big where n = 9223372036854775807"));
  EXPECT_EQ("100000000000000000000000", c.scalar("select max(n) from big"));
  EXPECT_EQ("12345678901234567890123", c.scalar("select max(v) from big"));
  EXPECT_EQ("10000000000000000000", c.scalar("select to_char(n) from big where n between 9.3e18 and 1e20"));
}
