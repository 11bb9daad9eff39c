// Running stored code: blocks as the agent writes them, OUT and IN OUT binds,
// the statement language of units and anonymous blocks, Oracle's errors,
// transactions around a block, and REF CURSORs handed to statement handles.
#include <array>
#include <chrono>
#include <thread>

#include "oci_fixture.h"

using namespace ocitest;

namespace {

const char* const kFixture[] = {
    "create table emp (empno number(4), ename varchar2(20), deptno number(2))",
    "create table dept (deptno number(2), dname varchar2(20))",
    "create table log_t (n number, note varchar2(40))",
    "insert into emp values (7369, 'SMITH', 20)",
    "insert into emp values (7499, 'ALLEN', 30)",
    "insert into emp values (7521, 'WARD', 30)",
    "insert into dept values (10, 'ACCOUNTING')",
    "insert into dept values (20, 'RESEARCH')",
    "insert into dept values (30, 'SALES')",
    "commit",
    "create procedure p_io(a in number, b out varchar2, c in out date) is\n"
    "begin\n  b := 'n=' || a;\n  c := c + 1;\nend;",
    "create function f_add(x number) return number is begin return x + 1; end;",
    "create function f_null return number is begin return null; end;",
    "create procedure p_noargs is begin null; end;",
    "create procedure p_ins(n number) is begin insert into log_t (n, note) values (n, 'ins'); end;",
    "create procedure p_err(n number) is\n"
    "begin\n  insert into log_t values (n, 'err');\n"
    "  if n < 0 then raise_application_error(-20001, 'negative: ' || n); end if;\nend;",
    "create procedure p_two(rc1 out sys_refcursor, n number, rc2 out sys_refcursor) is\n"
    "begin\n  open rc1 for select empno, ename from emp where deptno = n order by empno;\n"
    "  open rc2 for select deptno, dname from dept;\nend;",
    "create procedure p_mix(rc out sys_refcursor, total out number) is\n"
    "begin\n  open rc for select ename from emp order by ename;\n"
    "  select count(*) into total from emp;\nend;",
    "create procedure p_shut(rc out sys_refcursor) is begin null; end;",
    "create function f_rc(n number) return sys_refcursor is c sys_refcursor;\n"
    "begin open c for select empno from emp where deptno = n order by empno; return c; end;",
    "create package pkg as\n"
    "  type cur_t is ref cursor;\n"
    "  procedure proc(a in number, b out varchar2);\n"
    "  function fn(a number) return varchar2;\n"
    "  procedure ov(a number);\n"
    "  procedure ov(a number, b number);\n"
    "  procedure get(c out cur_t);\n"
    "end pkg;",
    "create package body pkg as\n"
    "  function twice(a number) return number is begin return a * 2; end;\n"
    "  procedure proc(a in number, b out varchar2) is begin b := 'p' || twice(a); end;\n"
    "  function fn(a number) return varchar2 is begin return 'f' || a; end;\n"
    "  procedure ov(a number) is begin insert into log_t values (a, 'ov1'); end;\n"
    "  procedure ov(a number, b number) is begin insert into log_t values (a + b, 'ov2'); end;\n"
    "  procedure get(c out cur_t) is begin open c for select dname from dept where deptno = 10; end;\n"
    "end;",
    "create procedure p_bad is begin goto nowhere; end;",
    "create function f_loop(n number) return number is begin return f_loop(n + 1); end;",
    "create function f_noret return number is begin null; end;",
};

struct Code : OciTest {
  void SetUp() override {
    OciTest::SetUp();
    c = std::make_unique<Conn>(db.dir, "scott", "tiger");
    ASSERT_TRUE(c->ok()) << errtext(c->err);
    for (const char* u : kFixture) {
      sword rc = c->exec(u);
      ASSERT_TRUE(rc == OCI_SUCCESS || (rc == OCI_SUCCESS_WITH_INFO && errcode(c->err) == 24344))
          << u << ": " << errtext(c->err);
    }
  }
  // Runs a block without binds; the status.
  sword run(const std::string& block, ub4 mode = OCI_DEFAULT) { return c->exec(block, mode); }
  // The first column of every row, joined by ','.
  std::string list(const std::string& sql) {
    OCIStmt* st = c->stmt(sql);
    char buf[200];
    sb2 ind = 0;
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, c->err, 1, buf, sizeof buf, SQLT_STR, &ind, nullptr, nullptr, OCI_DEFAULT);
    std::string out;
    EXPECT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 0, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
    while (OCIStmtFetch2(st, c->err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT) == OCI_SUCCESS)
      out += (out.empty() ? "" : ",") + std::string(ind == -1 ? "~" : buf);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
  }
  std::unique_ptr<Conn> c;
};

// A bound number in and out.
struct NumBind {
  double v = 0;
  sb2 ind = 0;
  ub2 len = sizeof(double);
  ub2 rcode = 0;
};

}  // namespace

TEST_F(Code, FunctionCallAsTheAgentWritesIt) {
  OCIStmt* st = c->stmt("begin\n:1:=f_add(:2);\nend;");
  ub2 type = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, c->err);
  EXPECT_EQ(OCI_STMT_BEGIN, type);
  NumBind r, x;
  x.v = 41;
  r.v = -1;
  OCIBind* b1 = nullptr;
  OCIBind* b2 = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &b1, c->err, 1, &r.v, sizeof r.v, SQLT_BDOUBLE, &r.ind, &r.len, &r.rcode,
                                      0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &b2, c->err, 2, &x.v, sizeof x.v, SQLT_BDOUBLE, &x.ind, &x.len, nullptr, 0,
                                      nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
  EXPECT_EQ(42, r.v);
  EXPECT_EQ(0, r.ind);
  EXPECT_EQ(0, r.rcode);
  // A NULL result sets the indicator.
  OCIStmt* st2 = c->stmt("begin :retval := f_null; end;");
  OCIBind* b3 = nullptr;
  r.ind = 0;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByName(st2, &b3, c->err, reinterpret_cast<const OraText*>(":RETVAL"), 7, &r.v,
                                       sizeof r.v, SQLT_BDOUBLE, &r.ind, &r.len, nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st2, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
  EXPECT_EQ(-1, r.ind);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  OCIHandleFree(st2, OCI_HTYPE_STMT);
}

TEST_F(Code, OutAndInOutArgumentsComeBackWithLengthsAndIndicators) {
  OCIStmt* st = c->stmt("begin p_io(:1,:2,:3); end;");
  int a = 5;
  char b[32] = "garbage";
  sb2 b_ind = -1;
  ub2 b_len = sizeof b;
  ub1 date[7] = {120, 124, 2, 28, 1, 1, 1};  // 2024-02-28 00:00:00
  sb2 d_ind = 0;
  ub2 d_len = 7;
  OCIBind* bh[3] = {};
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &bh[0], c->err, 1, &a, sizeof a, SQLT_INT, nullptr, nullptr, nullptr, 0,
                                      nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &bh[1], c->err, 2, b, sizeof b, SQLT_CHR, &b_ind, &b_len, nullptr, 0,
                                      nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &bh[2], c->err, 3, date, 7, SQLT_DAT, &d_ind, &d_len, nullptr, 0, nullptr,
                                      OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
  EXPECT_EQ(0, b_ind);
  EXPECT_EQ(3, b_len);
  EXPECT_EQ("n=5", std::string(b, b_len));
  const ub1 next_day[7] = {120, 124, 2, 29, 1, 1, 1};
  EXPECT_EQ(0, std::memcmp(next_day, date, 7));
  EXPECT_EQ(7, d_len);
  // Binding fewer placeholders than the block has fails.
  OCIStmt* st2 = c->stmt("begin p_io(:1, :2, :3); end;");
  OCIBind* one = nullptr;
  OCIBindByPos(st2, &one, c->err, 1, &a, sizeof a, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c->svc, st2, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(1008, errcode(c->err));
  OCIHandleFree(st, OCI_HTYPE_STMT);
  OCIHandleFree(st2, OCI_HTYPE_STMT);
}

TEST_F(Code, CharacterOutValuesFitTheirBufferOrFailTheBlock) {
  struct Case {
    const char* value;  // assigned to the placeholder
    sb4 size;           // the bind's buffer (SQLT_STR: with its NUL)
    bool utf16;
    sword status;
    const char* back;  // what comes back (UTF-8)
  } cases[] = {
      {"'abc'", 4, false, OCI_SUCCESS, "abc"},
      {"'abcd'", 4, false, OCI_ERROR, nullptr},
      {"'h\xC3\xA9'", 4, false, OCI_SUCCESS, "h\xC3\xA9"},  // 3 bytes of UTF-8
      {"'h\xC3\xA9'", 6, true, OCI_SUCCESS, nullptr},        // 2 UTF-16 units and the NUL
      {"'h\xC3\xA9!'", 6, true, OCI_ERROR, nullptr},
      {"rpad('x', 32000, 'x')", 32001, false, OCI_SUCCESS, nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.value);
    c->run("delete from log_t");
    OCIStmt* st = c->stmt(std::string("begin insert into log_t values (1, 'x'); :1 := ") + k.value + "; end;");
    std::vector<char> buf(static_cast<size_t>(k.size) + 2, '\x7f');
    sb2 ind = 0;
    OCIBind* b = nullptr;
    OCIBindByPos(st, &b, c->err, 1, buf.data(), k.size, SQLT_STR, &ind, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    if (k.utf16) {
      ub2 csid = OCI_UTF16ID;
      OCIAttrSet(b, OCI_HTYPE_BIND, &csid, 0, OCI_ATTR_CHARSET_ID, c->err);
    }
    EXPECT_EQ(k.status, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
    if (k.status == OCI_ERROR) {
      EXPECT_EQ(6502, errcode(c->err));
      EXPECT_EQ("0", c->scalar("select count(*) from log_t"));  // the block's insert is gone
    } else if (k.back) {
      EXPECT_STREQ(k.back, buf.data());
    } else if (!k.utf16) {
      EXPECT_EQ(32000u, std::strlen(buf.data()));
    }
    EXPECT_EQ('\x7f', buf[static_cast<size_t>(k.size)]);  // nothing written past the buffer
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

TEST_F(Code, PackagedSubprogramsAndOverloadsRun) {
  OCIStmt* st = c->stmt("begin pkg.proc(:1, :2); :3 := scott.pkg.fn(:1); pkg.ov(:1); pkg.ov(:1, 10); end;");
  int a = 4;
  char b[16] = {}, f[16] = {};
  ub2 b_len = 0, f_len = 0;
  OCIBind* bh[3] = {};
  OCIBindByPos(st, &bh[0], c->err, 1, &a, sizeof a, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIBindByPos(st, &bh[1], c->err, 2, b, sizeof b, SQLT_CHR, nullptr, &b_len, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIBindByPos(st, &bh[2], c->err, 3, f, sizeof f, SQLT_CHR, nullptr, &f_len, nullptr, 0, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
  EXPECT_EQ("p8", std::string(b, b_len));  // through the body's private function
  EXPECT_EQ("f4", std::string(f, f_len));
  EXPECT_EQ("ov1:4,ov2:14", list("select note || ':' || n from log_t order by n"));
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(Code, AnonymousBlocksRunTheStatementLanguage) {
  ASSERT_EQ(OCI_SUCCESS, run("declare\n"
                             "  total number := 0;\n"
                             "  i pls_integer := 0;\n"
                             "  name varchar2(20);\n"
                             "  cnt number;\n"
                             "begin\n"
                             "  for k in 1 .. 4 loop total := total + k; end loop;\n"          // 10
                             "  for k in reverse 1 .. 2 loop total := total * 10 + k; end loop;\n"  // 1021
                             "  while i < 3 loop i := i + 1; end loop;\n"
                             "  loop i := i + 1; exit when i >= 5; end loop;\n"
                             "  select ename into name from emp where empno = 7499;\n"
                             "  if name = 'WARD' then cnt := 1;\n"
                             "  elsif name = 'ALLEN' then cnt := 2;\n"
                             "  else cnt := 3;\n"
                             "  end if;\n"
                             "  insert into log_t (n, note) values (total, name);\n"
                             "  update log_t set n = n + i where note = name;\n"
                             "  insert into log_t values (sql%rowcount, 'rows');\n"
                             "  begin null; end;\n"
                             "  if cnt = 2 then return; end if;\n"
                             "  insert into log_t values (-1, 'not reached');\n"
                             "end;"))
      << errtext(c->err);
  EXPECT_EQ("1026:ALLEN,1:rows", list("select n || ':' || note from log_t order by note"));
}

TEST_F(Code, ColumnNamesWinOverVariablesInsideSql) {
  // In SQL a name is the column of a table in scope first; VALUES and the
  // other expressions see the variables.
  ASSERT_EQ(OCI_SUCCESS, run("declare\n"
                             "  deptno number := 10;\n"
                             "  ename varchar2(20) := 'nobody';\n"
                             "  cnt number;\n"
                             "begin\n"
                             "  select max(deptno) into cnt from emp e where deptno = deptno;\n"
                             "  insert into log_t (n, note) values (cnt, ename);\n"
                             "  update log_t set n = n + deptno where note = ename;\n"
                             "  select count(*) into cnt from emp where ename = 'WARD' and deptno > 0;\n"
                             "  insert into log_t values (cnt, 'ward');\n"
                             "end;"))
      << errtext(c->err);
  EXPECT_EQ("nobody:40,ward:1", list("select note || ':' || n from log_t order by note"));
}

TEST_F(Code, ErrorsAreOraclesOwn) {
  struct Case {
    const char* block;
    sb4 code;
    const char* text;  // part of the message
  } cases[] = {
      {"begin raise_application_error(-20042, 'custom ' || 'text'); end;", 20042, "ORA-20042: custom text"},
      {"begin p_err(-1); end;", 20001, "ORA-20001: negative: -1"},
      {"begin raise_application_error(-1, 'x'); end;", 21000, "out of range"},
      {"declare n number; begin select empno into n from emp where empno = 1; end;", 1403, "ORA-01403: no data found"},
      {"declare n number; begin select empno into n from emp; end;", 1422, "exact fetch returns more"},
      {"declare n number; begin n := 1 / 0; end;", 1476, "divisor is equal to zero"},
      {"declare s varchar2(3); begin s := 'toolong'; end;", 6502, "character string buffer too small"},
      {"declare n number(2); begin n := 123; end;", 6502, "numeric or value error"},
      {"declare n number; begin n := 'abc'; end;", 6502, "numeric or value error"},
      {"declare n number not null := 1; begin n := null; end;", 6502, "numeric or value error"},
      {"declare n constant number := 1; begin n := 2; end;", 6550, "PLS-00363"},
      {"begin nope(1); end;", 6550, "PLS-00201: identifier 'NOPE' must be declared"},
      {"begin\n  p_noargs(1);\nend;", 6550, "line 2, column 3:\nPLS-00306: wrong number or types of arguments in call to 'P_NOARGS'"},
      {"begin pkg.ov(1, 2, 3); end;", 6550, "PLS-00306"},
      {"begin p_bad; end;", 6550, "PLS-00905: object SCOTT.P_BAD is invalid"},
      {"begin null end;", 6550, "PLS-00103"},
      {"declare x number; begin y := 1; end;", 6550, "PLS-00201: identifier 'Y' must be declared"},
      {"declare n number; begin n := f_loop(1); end;", 36, "maximum number of recursive SQL levels"},
      {"declare n number; begin n := f_noret; end;", 6503, "Function returned without value"},
      {"begin f_add(1); end;", 6550, "PLS-00221"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.block);
    EXPECT_EQ(OCI_ERROR, run(k.block));
    sb4 code = 0;
    std::string text = errtext(c->err, 1, &code);
    EXPECT_EQ(k.code, code);
    EXPECT_NE(std::string::npos, text.find(k.text)) << text;
  }
}

TEST_F(Code, AFailingBlockKeepsNoneOfItsChanges) {
  c->run("insert into log_t values (1, 'before')");  // the application's own transaction
  EXPECT_EQ(OCI_ERROR, run("begin p_ins(2); p_err(-1); end;"));
  EXPECT_EQ(20001, errcode(c->err));
  EXPECT_EQ("1", c->scalar("select count(*) from log_t"));
  ASSERT_EQ(OCI_SUCCESS, run("begin p_ins(3); end;"));
  c->run("rollback");
  EXPECT_EQ("0", c->scalar("select count(*) from log_t"));
  // With nothing open before it, a failing block leaves no transaction.
  EXPECT_EQ(OCI_ERROR, run("begin p_ins(4); p_err(-1); end;"));
  Conn other(db.dir, "scott", "tiger");
  other.run("insert into log_t values (5, 'other')");  // would wait for a lock left behind
  other.run("commit");
  EXPECT_EQ("5", list("select n from log_t order by n"));
}

TEST_F(Code, BreakStopsAnEndlessLoopAndUndoesTheBlock) {
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c->srv, OCI_HTYPE_SERVER, nullptr, 0, OCI_ATTR_NONBLOCKING_MODE, c->err));
  OCIStmt* st = c->stmt("begin insert into log_t values (1, 'x'); loop null; end loop; end;");
  sword rc = OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_STILL_EXECUTING, rc);
  EXPECT_EQ(OCI_SUCCESS, OCIBreak(c->svc, c->err));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (rc == OCI_STILL_EXECUTING && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
    rc = OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  }
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(1013, errcode(c->err));
  ASSERT_EQ(OCI_SUCCESS, OCIAttrSet(c->srv, OCI_HTYPE_SERVER, nullptr, 0, OCI_ATTR_NONBLOCKING_MODE, c->err));
  EXPECT_EQ("0", c->scalar("select count(*) from log_t"));
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(Code, CommitOnSuccessCommitsTheBlock) {
  Conn other(db.dir, "scott", "tiger");
  ASSERT_EQ(OCI_SUCCESS, run("begin p_ins(1); p_ins(2); end;"));
  EXPECT_EQ("0", other.scalar("select count(*) from log_t"));
  c->run("rollback");
  ASSERT_EQ(OCI_SUCCESS, run("begin p_ins(1); p_ins(2); end;", OCI_COMMIT_ON_SUCCESS));
  EXPECT_EQ("2", other.scalar("select count(*) from log_t"));
}

TEST_F(Code, IterationsRunTheBlockOncePerRow) {
  OCIStmt* st = c->stmt("begin p_ins(:1); :2 := f_add(:1); end;");
  int in[3] = {10, 20, 30};
  int out[3] = {};
  OCIBind* b1 = nullptr;
  OCIBind* b2 = nullptr;
  OCIBindByPos(st, &b1, c->err, 1, in, sizeof in[0], SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIBindByPos(st, &b2, c->err, 2, out, sizeof out[0], SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 3, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS))
      << errtext(c->err);
  EXPECT_EQ("10,20,30", list("select n from log_t order by n"));
  EXPECT_EQ(11, out[0]);
  EXPECT_EQ(21, out[1]);
  EXPECT_EQ(31, out[2]);
  OCIHandleFree(st, OCI_HTYPE_STMT);

  // A failing row stops the array: its own changes go, the rows before it
  // stay (committed here, as the call commits on success).
  c->run("delete from log_t");
  c->run("commit");
  OCIStmt* st2 = c->stmt("begin p_err(:1); end;");
  int rows[3] = {1, -2, 3};
  OCIBindByPos(st2, &b1, c->err, 1, rows, sizeof rows[0], SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c->svc, st2, c->err, 3, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS));
  EXPECT_EQ(20001, errcode(c->err));
  Conn other(db.dir, "scott", "tiger");
  EXPECT_EQ("1", other.scalar("select count(*) from log_t"));
  OCIHandleFree(st2, OCI_HTYPE_STMT);
}

namespace {

// Fetches every row of a statement handed out as a REF CURSOR, columns as
// text joined by '|', rows by ','.
std::string fetch_all(Conn& c, OCIStmt* rs) {
  ub4 ncols = 0;
  if (OCIAttrGet(rs, OCI_HTYPE_STMT, &ncols, nullptr, OCI_ATTR_PARAM_COUNT, c.err) != OCI_SUCCESS)
    return "<error " + errtext(c.err) + ">";
  std::vector<std::array<char, 64>> bufs(ncols);
  std::vector<sb2> ind(ncols);
  for (ub4 i = 0; i < ncols; ++i) {
    OCIDefine* d = nullptr;
    OCIDefineByPos(rs, &d, c.err, i + 1, bufs[i].data(), 64, SQLT_STR, &ind[i], nullptr, nullptr, OCI_DEFAULT);
  }
  std::string out;
  for (;;) {
    sword rc = OCIStmtFetch2(rs, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
    if (rc == OCI_NO_DATA) break;
    if (rc != OCI_SUCCESS) return "<error " + errtext(c.err) + ">";
    if (!out.empty()) out += ",";
    for (ub4 i = 0; i < ncols; ++i) out += (i ? "|" : "") + std::string(ind[i] == -1 ? "~" : bufs[i].data());
  }
  return out;
}

}  // namespace

TEST_F(Code, RefCursorsAreFetchedFromTheirStatementHandles) {
  OCIStmt* st = c->stmt("begin p_two(:1, :2, :3); end;");
  OCIStmt* rs1 = nullptr;
  OCIStmt* rs2 = nullptr;
  OCIHandleAlloc(c->env, reinterpret_cast<void**>(&rs1), OCI_HTYPE_STMT, 0, nullptr);
  OCIHandleAlloc(c->env, reinterpret_cast<void**>(&rs2), OCI_HTYPE_STMT, 0, nullptr);
  int n = 30;
  OCIBind* bh[3] = {};
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(st, &bh[0], c->err, 1, &rs1, 0, SQLT_RSET, nullptr, nullptr, nullptr, 0,
                                      nullptr, OCI_DEFAULT));
  OCIBindByPos(st, &bh[1], c->err, 2, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIBindByPos(st, &bh[2], c->err, 3, &rs2, 0, SQLT_RSET, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
  // Rows are those of the moment the cursor was opened.
  c->run("delete from dept where deptno = 30");
  c->run("update emp set ename = 'X' where empno = 7521");
  // Described without an execute, with the columns' own types.
  struct Col {
    ub4 pos;
    const char* name;
    ub2 type;
    sb2 precision;
    ub2 size;
  } cols[] = {{1, "EMPNO", SQLT_NUM, 4, 22}, {2, "ENAME", SQLT_CHR, 0, 20}};
  for (const Col& k : cols) {
    OCIParam* col = nullptr;
    ASSERT_EQ(OCI_SUCCESS, OCIParamGet(rs1, OCI_HTYPE_STMT, c->err, reinterpret_cast<void**>(&col), k.pos));
    char* name = nullptr;
    ub4 len = 0;
    ub2 type = 0, size = 0;
    sb2 precision = 0;
    OCIAttrGet(col, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, c->err);
    OCIAttrGet(col, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, c->err);
    OCIAttrGet(col, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, c->err);
    OCIAttrGet(col, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, c->err);
    EXPECT_EQ(k.name, std::string(name, len));
    EXPECT_EQ(k.type, type);
    EXPECT_EQ(k.precision, precision);
    EXPECT_EQ(k.size, size);
  }
  EXPECT_EQ("7499|ALLEN,7521|WARD", fetch_all(*c, rs1));
  EXPECT_EQ("10|ACCOUNTING,20|RESEARCH,30|SALES", fetch_all(*c, rs2));

  // Executed again with another argument: new cursors in the same handles.
  n = 20;
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
  EXPECT_EQ("7369|SMITH", fetch_all(*c, rs1));
  EXPECT_EQ("10|ACCOUNTING,20|RESEARCH", fetch_all(*c, rs2));
  for (OCIStmt* h : {st, rs1, rs2}) OCIHandleFree(h, OCI_HTYPE_STMT);
}

TEST_F(Code, RefCursorsOfFunctionsPackagesAndUnopenedOnes) {
  struct Case {
    const char* block;
    const char* rows;  // nullptr: the cursor was never opened
  } cases[] = {
      {"begin :1 := f_rc(30); end;", "7499,7521"},
      {"begin pkg.get(:1); end;", "ACCOUNTING"},
      {"declare c sys_refcursor; begin open c for select 'x' from dual; :1 := c; end;", "x"},
      {"begin p_shut(:1); end;", nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.block);
    OCIStmt* st = c->stmt(k.block);
    OCIStmt* rs = nullptr;
    OCIHandleAlloc(c->env, reinterpret_cast<void**>(&rs), OCI_HTYPE_STMT, 0, nullptr);
    OCIBind* b = nullptr;
    OCIBindByPos(st, &b, c->err, 1, &rs, 0, SQLT_RSET, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
    if (k.rows) {
      EXPECT_EQ(k.rows, fetch_all(*c, rs));
    } else {
      char buf[8];
      OCIDefine* d = nullptr;
      OCIDefineByPos(rs, &d, c->err, 1, buf, sizeof buf, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
      EXPECT_EQ(OCI_ERROR, OCIStmtFetch2(rs, c->err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT));
      EXPECT_EQ(24338, errcode(c->err));
    }
    OCIHandleFree(rs, OCI_HTYPE_STMT);
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

TEST_F(Code, RefCursorAndOutNumberTogether) {
  OCIStmt* st = c->stmt("begin p_mix(:1, :2); end;");
  OCIStmt* rs = nullptr;
  OCIHandleAlloc(c->env, reinterpret_cast<void**>(&rs), OCI_HTYPE_STMT, 0, nullptr);
  int total = 0;
  OCIBind* bh[2] = {};
  OCIBindByPos(st, &bh[0], c->err, 1, &rs, 0, SQLT_RSET, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  OCIBindByPos(st, &bh[1], c->err, 2, &total, sizeof total, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
               OCI_DEFAULT);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c->svc, st, c->err, 1, 0, nullptr, nullptr, OCI_DEFAULT)) << errtext(c->err);
  EXPECT_EQ(3, total);
  EXPECT_EQ("ALLEN,SMITH,WARD", fetch_all(*c, rs));
  OCIHandleFree(rs, OCI_HTYPE_STMT);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}
