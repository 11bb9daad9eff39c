// The stand-in's dictionary and the DDL it shows: synonyms, keys across
// schemas, constraints added and dropped, schemas beyond SQLite's attach
// limit.
#include "oci_fixture.h"

using namespace ocitest;

namespace {

// Every row of a query: columns joined by '|', rows by ';' ("<null>" for
// NULL), or "<error ORA-...>".
std::string Rows(Conn& c, const std::string& sql) {
  sword rc = OCI_SUCCESS;
  OCIStmt* st = c.stmt(sql, &rc);
  std::string out;
  if (rc == OCI_SUCCESS) rc = OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
  ub4 ncols = 0;
  if (rc == OCI_SUCCESS) OCIAttrGet(st, OCI_HTYPE_STMT, &ncols, nullptr, OCI_ATTR_PARAM_COUNT, c.err);
  std::vector<std::array<char, 512>> bufs(ncols);
  std::vector<sb2> ind(ncols);
  for (ub4 i = 0; rc == OCI_SUCCESS && i < ncols; ++i) {
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, c.err, i + 1, bufs[i].data(), 512, SQLT_STR, &ind[i], nullptr, nullptr, OCI_DEFAULT);
  }
  while (rc == OCI_SUCCESS && (rc = OCIStmtFetch(st, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) == OCI_SUCCESS) {
    if (!out.empty()) out += ";";
    for (ub4 i = 0; i < ncols; ++i) out += (i ? "|" : "") + (ind[i] == -1 ? std::string("<null>") : bufs[i].data());
  }
  if (rc != OCI_SUCCESS && rc != OCI_NO_DATA) out = "<error " + errtext(c.err).substr(0, 9) + ">";
  OCIHandleFree(st, OCI_HTYPE_STMT);
  return out;
}

// The Oracle error of a statement, 0 when it succeeds.
sb4 Fails(Conn& c, const std::string& sql) { return c.exec(sql) == OCI_SUCCESS ? 0 : errcode(c.err); }

struct TwoSchemas : OciTest {
  void SetUp() override {
    OciTest::SetUp();
    hr = std::make_unique<Conn>(db.dir, "hr", "Secret1");
    ASSERT_TRUE(hr->ok()) << hr->logon_error;
    hr->run("create table employees (id number(6) primary key, name varchar2(20))");
    hr->run("insert into employees values (7, 'KING')");
    hr->run("commit");
    scott = std::make_unique<Conn>(db.dir, "scott", "tiger");
    ASSERT_TRUE(scott->ok()) << scott->logon_error;
  }
  std::unique_ptr<Conn> hr, scott;
};

}  // namespace

TEST_F(TwoSchemas, SynonymsResolveInQueriesAndAreListed) {
  scott->run("create table dept (deptno number(2), dname varchar2(14))");
  scott->run("insert into dept values (10, 'ACCOUNTING')");
  scott->run("create synonym emps for hr.employees");
  EXPECT_EQ("7|KING", Rows(*scott, "select id, name from emps"));
  // A public synonym made by another session after this one's logon is
  // found; the session's own table of the same name wins over one.
  hr->run("create public synonym staff for employees");
  hr->run("create public synonym dept for employees");
  EXPECT_EQ("KING", Rows(*scott, "select name from staff"));
  EXPECT_EQ("ACCOUNTING", Rows(*scott, "select dname from dept"));
  EXPECT_EQ("PUBLIC|DEPT|HR|EMPLOYEES;SCOTT|EMPS|HR|EMPLOYEES;PUBLIC|STAFF|HR|EMPLOYEES",
            Rows(*scott, "select owner, synonym_name, table_owner, table_name from all_synonyms "
                         "order by synonym_name"));
  EXPECT_EQ("PUBLIC|STAFF", Rows(*scott, "select owner, object_name from all_objects where object_type = 'SYNONYM' "
                                        "and owner = 'PUBLIC' and object_name = 'STAFF'"));
  EXPECT_EQ("SCOTT|EMPS", Rows(*scott, "select owner, object_name from all_objects where object_type = 'SYNONYM' "
                                      "and owner = 'SCOTT'"));
  // Oracle's errors for names in use and synonyms that are not there.
  struct Case {
    const char* sql;
    sb4 code;
  } cases[] = {
      {"create synonym emps for hr.employees", 955},
      {"create synonym dept for hr.employees", 955},
      {"create or replace synonym emps for hr.employees", 0},
      {"drop synonym nope", 1434},
      {"drop public synonym nope", 1432},
      {"create synonym far for hr.employees@remote", 3001},
      {"drop synonym emps", 0},
      {"drop public synonym staff", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.code, Fails(*scott, c.sql)) << c.sql;
  EXPECT_EQ(942, Fails(*scott, "select * from emps"));
  EXPECT_EQ(942, Fails(*scott, "select * from staff"));
  EXPECT_EQ("PUBLIC|DEPT", Rows(*scott, "select owner, synonym_name from all_synonyms"));
}

// SQLite attaches ten schemas to a session at most: the others are attached
// when a statement names them, in place of one no running statement holds,
// and the dictionary lists every schema. With every attached schema held,
// a statement naming another fails clearly.
TEST_F(OciTest, SchemasBeyondTheAttachLimitAreReachedOnDemand) {
  constexpr int kUsers = 13;
  char msg[512];
  for (int i = 0; i < kUsers; ++i) {
    const std::string u = "u" + std::to_string(i + 10);
    ASSERT_EQ(0, ocilite_user_create(db.dir.c_str(), u.c_str(), "pw", msg, sizeof msg)) << msg;
    Conn c(db.dir, u.c_str(), "pw");
    ASSERT_TRUE(c.ok()) << c.logon_error;
    c.run("create table t" + std::to_string(i + 10) + " (n number)");
    c.run("insert into t" + std::to_string(i + 10) + " values (" + std::to_string(i + 10) + ")");
    c.run("commit");
  }
  Conn scott(db.dir, "scott", "tiger");
  ASSERT_TRUE(scott.ok()) << scott.logon_error;
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < kUsers; ++i) {
      const std::string n = std::to_string(i + 10);
      EXPECT_EQ(n, scott.scalar("select n from u" + n + ".t" + n)) << round;
    }
  EXPECT_EQ(std::to_string(kUsers), scott.scalar("select count(*) from all_tables where table_name like 'T__'"));
  EXPECT_EQ("N", scott.scalar("select column_name from all_tab_columns where owner = 'U22' and table_name = 'T22'"));

  // Cursors left open hold the schemas they read (and SQLite keeps those
  // attached while they run): a schema beyond them all fails clearly.
  std::vector<OCIStmt*> open;
  bool refused = false;
  for (int i = 0; i < kUsers; ++i) {
    const std::string n = std::to_string(i + 10);
    sword prc = OCI_SUCCESS;
    OCIStmt* st = scott.stmt("select n from u" + n + ".t" + n + " union all select 0 from dual", &prc);
    if (prc != OCI_SUCCESS) {
      sb4 code = 0;
      const std::string text = errtext(scott.err, 1, &code);
      EXPECT_EQ(3001, code) << text;
      EXPECT_NE(text.find("U" + n), std::string::npos) << text;
      refused = true;
      OCIHandleFree(st, OCI_HTYPE_STMT);
      break;
    }
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(scott.svc, st, scott.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
        << errtext(scott.err);
    open.push_back(st);
  }
  EXPECT_TRUE(refused);
  for (OCIStmt* st : open) OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ("22", scott.scalar("select n from u22.t22"));
}

// A key to a table of another schema: listed as Oracle lists it, enforced
// both ways with Oracle's errors naming the constraint.
TEST_F(TwoSchemas, ForeignKeysAcrossSchemasAreListedAndEnforced) {
  scott->run("create table assignments (id number primary key, emp_id number(6) "
             "constraint fk_emp references hr.employees, note varchar2(10))");
  scott->run("create table reviews (id number, emp_id number(6), foreign key (emp_id) references hr.employees (id))");
  EXPECT_EQ("FK_EMP|R|HR|SYS_C",
            Rows(*scott, "select constraint_name, constraint_type, r_owner, substr(r_constraint_name, 1, 5) "
                         "from all_constraints where table_name = 'ASSIGNMENTS' and constraint_type = 'R'"));
  EXPECT_EQ("EMP_ID|1", Rows(*scott, "select column_name, position from all_cons_columns "
                                     "where constraint_name = 'FK_EMP'"));
  const std::string reviewKey =
      Rows(*scott, "select constraint_name from all_constraints where table_name = 'REVIEWS' and constraint_type = 'R'");
  ASSERT_EQ(0u, reviewKey.find("SYS_C")) << reviewKey;
  struct Case {
    Conn* c;
    const char* sql;
    sb4 code;
    std::string names;  // the constraint the message names
  } cases[] = {
      {scott.get(), "insert into assignments values (1, 7, 'ok')", 0, ""},
      {scott.get(), "insert into assignments values (2, null, 'no parent')", 0, ""},
      {scott.get(), "insert into assignments values (3, 8, 'orphan')", 2291, "SCOTT.FK_EMP"},
      {scott.get(), "update assignments set emp_id = 9 where id = 1", 2291, "SCOTT.FK_EMP"},
      {scott.get(), "insert into reviews values (1, 9)", 2291, "SCOTT." + reviewKey},
      {hr.get(), "delete from employees where id = 7", 2292, "SCOTT.FK_EMP"},
      {hr.get(), "update employees set id = 70 where id = 7", 2292, "SCOTT.FK_EMP"},
      {hr.get(), "update employees set name = 'KONG' where id = 7", 0, ""},
      {scott.get(), "create table bad (e number references hr.nope)", 942, ""},
  };
  for (const Case& k : cases) {
    sword rc = k.c->exec(k.sql);
    sb4 code = 0;
    const std::string text = rc == OCI_SUCCESS ? "" : errtext(k.c->err, 1, &code);
    EXPECT_EQ(k.code, code) << k.sql << ": " << text;
    if (!k.names.empty()) {
      EXPECT_NE(text.find("integrity constraint (" + k.names + ") violated"), std::string::npos) << text;
    }
    k.c->run("commit");
  }
  EXPECT_EQ("1|ok;2|no parent", Rows(*scott, "select id, note from assignments order by id"));
  // With the children gone the parent may go.
  scott->run("delete from assignments");
  scott->run("commit");
  EXPECT_EQ(0, Fails(*hr, "delete from employees where id = 7"));
}

// Keys within a schema: a missing parent and a child found are told apart
// and named, in the session that made them and in one opened before; delete
// rules and a table's key to itself stay SQLite's.
TEST_F(TwoSchemas, ForeignKeysWithinASchemaNameTheConstraint) {
  Conn other(db.dir, "scott", "tiger");
  ASSERT_TRUE(other.ok()) << other.logon_error;
  scott->run("create table dept (deptno number(2) constraint pk_dept primary key)");
  scott->run("create table emp (empno number(4) primary key, mgr number(4) references emp, "
             "deptno number(2) constraint fk_deptno references dept)");
  scott->run("create table badge (id number, deptno number(2) references dept on delete cascade)");
  scott->run("insert into dept values (10)");
  scott->run("insert into dept values (20)");
  scott->run("insert into emp values (1, 1, 10)");
  scott->run("insert into badge values (1, 20)");
  scott->run("commit");
  struct Case {
    Conn* c;
    const char* sql;
    sb4 code;
    const char* names;
  } cases[] = {
      {scott.get(), "insert into emp values (2, null, 30)", 2291, "SCOTT.FK_DEPTNO"},
      {&other, "insert into emp values (2, null, 30)", 2291, "SCOTT.FK_DEPTNO"},
      {&other, "delete from dept where deptno = 10", 2292, "SCOTT.FK_DEPTNO"},
      {scott.get(), "update dept set deptno = 11 where deptno = 10", 2292, "SCOTT.FK_DEPTNO"},
      {scott.get(), "insert into emp values (3, 1, null)", 0, nullptr},
      {scott.get(), "delete from dept where deptno = 20", 0, nullptr},
  };
  for (const Case& k : cases) {
    sword rc = k.c->exec(k.sql);
    sb4 code = 0;
    const std::string text = rc == OCI_SUCCESS ? "" : errtext(k.c->err, 1, &code);
    EXPECT_EQ(k.code, code) << k.sql << ": " << text;
    if (k.names) {
      EXPECT_NE(text.find(std::string("integrity constraint (") + k.names + ") violated"), std::string::npos) << text;
    }
  }
  EXPECT_EQ("0", scott->scalar("select count(*) from badge"));
  // Named and unnamed keys of one table keep their own names.
  EXPECT_EQ("FK_DEPTNO", scott->scalar("select constraint_name from all_cons_columns where table_name = 'EMP' "
                                       "and column_name = 'DEPTNO'"));
  EXPECT_EQ("SYS_C", scott->scalar("select substr(constraint_name, 1, 5) from all_cons_columns "
                                   "where table_name = 'EMP' and column_name = 'MGR'"));
}

// Delete rules of keys to another schema act on the children as Oracle's
// do; a parent key still cannot change under its children. Dropping the
// child table takes its keys along: the parent is free again.
TEST_F(TwoSchemas, DeleteRulesAcrossSchemasAndDroppedChildren) {
  hr->run("insert into employees values (8, 'BLAKE')");
  hr->run("insert into employees values (9, 'CLARK')");
  hr->run("commit");
  scott->run("create table mentors (id number, emp_id number(6) references hr.employees on delete cascade)");
  scott->run("create table desks (id number, emp_id number(6) references hr.employees on delete set null)");
  scott->run("create table badges (id number, emp_id number(6) constraint fk_badge references hr.employees)");
  for (const char* sql : {"insert into mentors values (1, 7)", "insert into mentors values (2, 8)",
                          "insert into desks values (1, 7)", "insert into desks values (2, 8)",
                          "insert into badges values (1, 9)", "commit"})
    scott->run(sql);
  EXPECT_EQ("CASCADE;SET NULL;NO ACTION",
            Rows(*scott, "select delete_rule from all_constraints where constraint_type = 'R' and owner = 'SCOTT' "
                         "order by table_name desc"));
  EXPECT_EQ(0, Fails(*hr, "delete from employees where id = 7"));
  hr->run("commit");
  EXPECT_EQ("2|8", Rows(*scott, "select id, emp_id from mentors"));
  EXPECT_EQ("1|<null>;2|8", Rows(*scott, "select id, emp_id from desks order by id"));
  EXPECT_EQ(2292, Fails(*hr, "update employees set id = 80 where id = 8"));
  // A child's own key rule still holds inside the cascade.
  EXPECT_EQ(2292, Fails(*hr, "delete from employees where id = 9"));
  EXPECT_EQ("1", Rows(*scott, "select count(*) from badges"));
  scott->run("drop table badges");
  EXPECT_EQ("", Rows(*scott, "select constraint_name from all_constraints where constraint_name = 'FK_BADGE'"));
  EXPECT_EQ(0, Fails(*hr, "delete from employees where id = 9"));
}

// Keys and checks added to and dropped from tables holding rows: the rows
// are checked first (Oracle's errors naming the constraint), the table keeps
// its rows, rowids, indexes, comments and grants, the dictionary shows the
// change and the new constraint holds from then on.
TEST_F(TwoSchemas, ConstraintsAddedAndDroppedByAlterTable) {
  for (const char* sql : {"create table dept (deptno number(2), dname varchar2(14), loc varchar2(13))",
                          "create index dept_loc on dept (loc)", "comment on table dept is 'Departments'",
                          "grant select on dept to hr", "insert into dept values (10, 'ACCOUNTING', 'NEW YORK')",
                          "insert into dept values (20, 'RESEARCH', 'NEW YORK')",
                          "create table emp (empno number(4), deptno number(2), sal number)",
                          "insert into emp values (1, 10, 100)", "insert into emp values (2, 30, null)",
                          "insert into emp values (3, 10, 300)", "commit"})
    scott->run(sql);
  const std::string rowids = Rows(*scott, "select rowid from dept order by deptno");
  struct Case {
    const char* sql;
    sb4 code;
    const char* names;  // the constraint the message names
  } cases[] = {
      {"alter table dept add constraint pk_dept primary key (deptno)", 0, nullptr},
      {"alter table dept add primary key (dname)", 2260, nullptr},
      {"alter table dept add constraint pk_dept unique (dname)", 2264, nullptr},
      {"alter table dept add unique (deptno)", 2261, nullptr},
      {"alter table dept add constraint uk_loc unique (loc)", 2299, "SCOTT.UK_LOC"},
      {"alter table dept add constraint ck_deptno check (deptno < 15)", 2293, "SCOTT.CK_DEPTNO"},
      {"alter table dept add (constraint ck_deptno check (deptno < 50))", 0, nullptr},
      {"alter table dept add unique (nope)", 904, nullptr},
      {"alter table emp add constraint fk_dept foreign key (deptno) references dept", 2298, "SCOTT.FK_DEPT"},
      {"alter table emp add foreign key (deptno) references dept (dname)", 2270, nullptr},
      {"alter table emp add foreign key (deptno, sal) references dept", 2256, nullptr},
      {"alter table emp add primary key (sal)", 1449, nullptr},
      {"alter table emp add constraint pk_emp primary key (deptno)", 2437, "SCOTT.PK_EMP"},
      {"alter table emp add constraint pk_emp primary key (empno)", 0, nullptr},
      {"update emp set deptno = 20 where empno = 2", 0, nullptr},
      {"alter table emp add constraint fk_dept foreign key (deptno) references dept", 0, nullptr},
      {"alter table nope add unique (x)", 942, nullptr},
      {"alter table dept drop constraint nope", 2443, nullptr},
      {"alter table dept drop unique (dname)", 2442, nullptr},
      {"alter table dept drop primary key", 2273, nullptr},
      // From here on the new constraints hold.
      {"insert into dept values (10, 'SALES', 'CHICAGO')", 1, nullptr},
      {"insert into dept values (null, 'SALES', 'CHICAGO')", 1400, nullptr},
      {"insert into dept values (40, 'SALES', 'CHICAGO')", 0, nullptr},
      {"insert into dept values (60, 'OPERATIONS', 'BOSTON')", 2290, "SCOTT.CK_DEPTNO"},
      {"insert into emp values (4, 70, 1)", 2291, "SCOTT.FK_DEPT"},
      {"delete from dept where deptno = 10", 2292, "SCOTT.FK_DEPT"},
      {"insert into emp values (1, 10, 1)", 1, nullptr},
  };
  for (const Case& k : cases) {
    sword rc = scott->exec(k.sql);
    sb4 code = 0;
    const std::string text = rc == OCI_SUCCESS ? "" : errtext(scott->err, 1, &code);
    EXPECT_EQ(k.code, code) << k.sql << ": " << text;
    if (k.names) {
      EXPECT_NE(text.find(std::string("(") + k.names + ")"), std::string::npos) << k.sql << ": " << text;
    }
    scott->run("commit");
  }
  EXPECT_EQ(rowids, Rows(*scott, "select rowid from dept where deptno < 30 order by deptno"));
  EXPECT_EQ("10|ACCOUNTING;20|RESEARCH;40|SALES", Rows(*scott, "select deptno, dname from dept order by deptno"));
  EXPECT_EQ("PK_DEPT|P|DEPTNO", Rows(*scott, "select c.constraint_name, c.constraint_type, k.column_name "
                                            "from all_constraints c join all_cons_columns k "
                                            "on k.constraint_name = c.constraint_name and k.table_name = c.table_name "
                                            "where c.table_name = 'DEPT' and c.constraint_type in ('P', 'U', 'R')"));
  EXPECT_EQ("FK_DEPT|R|PK_DEPT;PK_EMP|P|<null>",
            Rows(*scott, "select constraint_name, constraint_type, r_constraint_name from all_constraints "
                         "where table_name = 'EMP' order by constraint_name"));
  EXPECT_EQ("DEPT_LOC|NONUNIQUE;PK_DEPT|UNIQUE",
            Rows(*scott, "select index_name, uniqueness from all_indexes where table_name = 'DEPT' order by 1"));
  EXPECT_EQ("N", Rows(*scott, "select nullable from all_tab_columns where table_name = 'DEPT' and column_name = 'DEPTNO'"));
  EXPECT_EQ("Departments", Rows(*scott, "select comments from all_tab_comments where table_name = 'DEPT'"));
  EXPECT_EQ("SELECT", Rows(*scott, "select privilege from all_tab_privs where table_name = 'DEPT' and grantee = 'HR'"));

  // An unnamed key keeps its system name while others come and go; a key
  // dropped with CASCADE takes the keys referencing it along.
  scott->run("alter table dept add unique (dname)");
  const std::string unnamed =
      Rows(*scott, "select constraint_name from all_constraints where table_name = 'DEPT' and constraint_type = 'U'");
  ASSERT_EQ(0u, unnamed.find("SYS_C")) << unnamed;
  EXPECT_EQ(0, Fails(*scott, "alter table dept drop constraint ck_deptno"));
  EXPECT_EQ(0, Fails(*scott, "insert into dept values (60, 'OPERATIONS', 'BOSTON')"));
  EXPECT_EQ(0, Fails(*scott, "alter table dept drop primary key cascade"));
  EXPECT_EQ(unnamed, Rows(*scott, "select constraint_name from all_constraints where table_name in ('DEPT', 'EMP') "
                                  "and constraint_type <> 'P'"));
  EXPECT_EQ(0, Fails(*scott, "insert into emp values (5, 99, 1)"));
  EXPECT_EQ(0, Fails(*scott, "alter table dept drop unique (dname)"));
  EXPECT_EQ(0, Fails(*scott, "insert into dept values (10, 'ACCOUNTING', 'X')"));
  EXPECT_EQ("DEPT_LOC", Rows(*scott, "select index_name from all_indexes where table_name = 'DEPT'"));
}

// A key to another schema's table added to a table with rows: checked,
// recorded and enforced; dropped, the parent is free again.
TEST_F(TwoSchemas, KeysToAnotherSchemaAddedAndDroppedByAlterTable) {
  scott->run("create table assignments (id number, emp_id number(6))");
  scott->run("insert into assignments values (1, 8)");
  scott->run("commit");
  EXPECT_EQ(2298, Fails(*scott, "alter table assignments add constraint fk_emp foreign key (emp_id) "
                                "references hr.employees"));
  scott->run("update assignments set emp_id = 7");
  scott->run("commit");
  EXPECT_EQ(0, Fails(*scott, "alter table assignments add constraint fk_emp foreign key (emp_id) "
                             "references hr.employees on delete cascade"));
  EXPECT_EQ("FK_EMP|HR|CASCADE", Rows(*scott, "select constraint_name, r_owner, delete_rule from all_constraints "
                                             "where table_name = 'ASSIGNMENTS'"));
  EXPECT_EQ(2291, Fails(*scott, "insert into assignments values (2, 8)"));
  EXPECT_EQ(2273, Fails(*hr, "alter table employees drop primary key"));
  EXPECT_EQ(0, Fails(*scott, "alter table assignments drop constraint fk_emp"));
  EXPECT_EQ("", Rows(*scott, "select constraint_name from all_constraints where table_name = 'ASSIGNMENTS'"));
  EXPECT_EQ(0, Fails(*scott, "insert into assignments values (2, 8)"));
  EXPECT_EQ(0, Fails(*hr, "delete from employees where id = 7"));
  scott->run("commit");
  hr->run("commit");
  EXPECT_EQ("2", Rows(*scott, "select count(*) from assignments"));
}

// DML through a synonym writes its table: the session's own synonym, a
// public one and another owner's named with its owner; the synonym's name
// qualifies columns as the table's would. An owner's synonym named with the
// owner reads too.
TEST_F(TwoSchemas, SynonymsInDmlAndWithTheirOwner) {
  scott->run("create synonym emps for hr.employees");
  hr->run("create public synonym staff for employees");
  hr->run("create synonym hr.people for employees");
  struct Case {
    Conn* c;
    const char* sql;
  } cases[] = {
      {scott.get(), "insert into emps values (8, 'BLAKE')"},
      {scott.get(), "insert into emps (id, name) values (9, 'CLARK')"},
      {scott.get(), "update emps set name = lower(emps.name) where emps.id = 8"},
      {scott.get(), "insert into staff e (id, name) values (10, 'JONES')"},
      {scott.get(), "update staff set name = 'ADAMS' where id = 10"},
      {scott.get(), "delete from emps where id = 9"},
      {scott.get(), "insert into hr.people values (11, 'FORD')"},
      {hr.get(), "update people set name = 'MARTIN' where people.id = 11"},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(0, Fails(*k.c, k.sql)) << k.sql << ": " << errtext(k.c->err);
    k.c->run("commit");
  }
  EXPECT_EQ("7|KING;8|blake;10|ADAMS;11|MARTIN", Rows(*hr, "select id, name from employees order by id"));
  EXPECT_EQ("MARTIN", Rows(*scott, "select name from hr.people where id = 11"));
  EXPECT_EQ("MARTIN", Rows(*scott, "select p.name from hr.people p where p.id = 11"));
  // The row count of a write through a synonym is the table's.
  OCIStmt* st = scott->stmt("delete from staff where id > 7");
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(scott->svc, st, scott->err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  ub4 rows = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, scott->err);
  EXPECT_EQ(3u, rows);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  scott->run("rollback");
  // Dropped, a synonym reaches nothing: not even a statement prepared after.
  scott->run("drop synonym emps");
  EXPECT_EQ(942, Fails(*scott, "insert into emps values (12, 'WARD')"));
  EXPECT_EQ(942, Fails(*scott, "select * from hr.nosuch"));
}
