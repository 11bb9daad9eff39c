# python3-pyodbc through unixODBC with both drivers on the agent: a
# procedure's REF CURSORs as result sets one after the other with nextset(),
# a call without results, and the catalog of procedures and their columns.
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import os

import pyodbc

import kvd_pyodbc

failures = []

FIXTURE = [
    "create table PY_EMP (empno number(4), deptno number(2))",
    "insert into PY_EMP values (7369, 10)",
    "insert into PY_EMP values (7499, 10)",
    "insert into PY_EMP values (7521, 20)",
    "create table PY_DEPT (deptno number(2), dname varchar2(14))",
    "insert into PY_DEPT values (10, 'ACCOUNTING')",
    "insert into PY_DEPT values (20, 'RESEARCH')",
    "create table PY_LOG (n number)",
    "create or replace procedure P_TWO(rc1 OUT SYS_REFCURSOR, n NUMBER, rc2 OUT SYS_REFCURSOR) as\n"
    "begin\n"
    "  open rc1 for select empno from PY_EMP where deptno = n order by empno;\n"
    "  open rc2 for select dname from PY_DEPT order by deptno;\n"
    "end;",
    "create or replace procedure P_INS(n NUMBER) as\nbegin\n  insert into PY_LOG values (n);\nend;",
]


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def run(dsn, first):
    conn = pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=True)
    cur = conn.cursor()
    if first:
        for sql in FIXTURE:
            cur.execute(sql)
    cur.execute("{call P_TWO(?)}", 10)
    check(dsn + " first result", [tuple(r) for r in cur.fetchall()], [(7369,), (7499,)])
    check(dsn + " nextset", cur.nextset(), True)
    check(dsn + " second result", [tuple(r) for r in cur.fetchall()], [("ACCOUNTING",), ("RESEARCH",)])
    check(dsn + " no third result", bool(cur.nextset()), False)
    cur.execute("{call P_INS(?)}", 5)
    check(dsn + " a call without results has no description", cur.description, None)
    names = sorted(r.procedure_name for r in cur.procedures(procedure="P_%"))
    check(dsn + " procedures", [n for n in names if n in ("P_INS", "P_TWO")], ["P_INS", "P_TWO"])
    cols = sorted((r.column_name, r.column_type) for r in cur.procedureColumns(procedure="P_TWO"))
    check(dsn + " procedure columns", cols, [("N", 1), ("RC1", 4), ("RC2", 4)])
    conn.close()


def main(db):
    os.environ["OCILITE_LOCK_TIMEOUT"] = "3000"
    # The first driver's run makes the fixture.
    kvd_pyodbc.each_dsn(failures, lambda dsn: run(dsn, dsn == kvd_pyodbc.DSNS[0]))
    return failures


kvd_pyodbc.main("kvd_pyodbc_proc_", main)
