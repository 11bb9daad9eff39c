# python3-pyodbc's metadata calls through unixODBC with both drivers on the
# agent, over a small schema made with the OCI stand-in's admin tool.
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

import pyodbc

tool = os.path.join(os.environ["KVD_BUILD_DIR"], "bin", "ocilite-admin")
db = tempfile.mkdtemp(prefix="kvd_pyodbc_catalog_")
failures = []

# A column default read whole through the LONG column DATA_DEFAULT.
LONG_DEFAULT = "It's " + "0123456789" * 50

FIXTURE = [
    "create table dept (deptno number(2) constraint pk_dept primary key, dname varchar2(14))",
    "create table emp (empno number(4) primary key, ename varchar2(10) not null, hiredate date,"
    " deptno number(2) constraint fk_deptno references dept, constraint uq_ename unique (ename))",
    "create index emp_hire on emp (hiredate)",
    "create view emp_v as select empno, ename from emp",
    "create table a_b (x number)",
    "create table axb (x number)",
    "create table \"O'NEIL\" (x number)",
    "create table ts (t timestamp(6))",
    "create table defs (a varchar2(600) default '%s', b number default 7)" % LONG_DEFAULT.replace("'", "''"),
]


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def run(dsn, unicode):
    conn = pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=True)
    cur = conn.cursor()

    names = [(r.table_name, r.table_type) for r in cur.tables(schema="SCOTT")]
    check(dsn + " tables", names,
          [("AXB", "TABLE"), ("A_B", "TABLE"), ("DEFS", "TABLE"), ("DEPT", "TABLE"), ("EMP", "TABLE"), ("EMP_V", "VIEW"),
           ("O'NEIL", "TABLE"), ("TS", "TABLE")])
    check(dsn + " table pattern", [r.table_name for r in cur.tables(table="A_B", schema="SCOTT")], ["AXB", "A_B"])
    check(dsn + " escaped pattern", [r.table_name for r in cur.tables(table="A\\_B", schema="SCOTT")], ["A_B"])
    check(dsn + " quoted name", [r.table_name for r in cur.tables(table="O'NEIL")], ["O'NEIL"])
    check(dsn + " quote injection", cur.tables(schema="x' OR 'a'='a").fetchall(), [])

    cols = [(r.column_name, r.data_type, r.type_name, r.column_size, r.is_nullable)
            for r in cur.columns(table="EMP", schema="SCOTT")]
    varchar = -9 if unicode else 12
    check(dsn + " columns", cols,
          [("EMPNO", 5, "NUMBER", 4, "NO"), ("ENAME", varchar, "VARCHAR2", 10, "NO"),
           ("HIREDATE", 93, "DATE", 19, "YES"), ("DEPTNO", -6, "NUMBER", 2, "YES")])

    check(dsn + " column defaults", [r.column_def for r in cur.columns(table="DEFS", schema="SCOTT")],
          ["'%s'" % LONG_DEFAULT.replace("'", "''"), "7"])

    check(dsn + " primary key", [(r.column_name, r.key_seq, r.pk_name) for r in cur.primaryKeys("DEPT", schema="SCOTT")],
          [("DEPTNO", 1, "PK_DEPT")])
    fk = [("DEPT", "DEPTNO", "EMP", "DEPTNO", 1, "FK_DEPTNO", "PK_DEPT")]
    check(dsn + " foreign keys of the key table",
          [(r.pktable_name, r.pkcolumn_name, r.fktable_name, r.fkcolumn_name, r.key_seq, r.fk_name, r.pk_name)
           for r in cur.foreignKeys(table="DEPT", schema="SCOTT")], fk)
    check(dsn + " foreign keys of the referencing table",
          [(r.pktable_name, r.pkcolumn_name, r.fktable_name, r.fkcolumn_name, r.key_seq, r.fk_name, r.pk_name)
           for r in cur.foreignKeys(foreignTable="EMP", foreignSchema="SCOTT")], fk)

    stats = [(r.non_unique, r.index_name, r.column_name) for r in cur.statistics("EMP", schema="SCOTT")
             if r.index_name is not None]
    check(dsn + " statistics", [s for s in stats if s[1] in ("EMP_HIRE", "UQ_ENAME")],
          [(0, "UQ_ENAME", "ENAME"), (1, "EMP_HIRE", "HIREDATE")])
    check(dsn + " unique statistics",
          sorted(r.index_name for r in cur.statistics("EMP", schema="SCOTT", unique=True) if r.index_name)[-1:],
          ["UQ_ENAME"])
    check(dsn + " row id columns", [r.column_name for r in cur.rowIdColumns("EMP", schema="SCOTT")], ["EMPNO"])
    check(dsn + " row id of a table without key", [r.column_name for r in cur.rowIdColumns("A_B", schema="SCOTT")],
          ["ROWID"])
    check(dsn + " row version columns", cur.rowVerColumns("EMP", schema="SCOTT").fetchall(), [])
    check(dsn + " procedures", cur.procedures(schema="SCOTT").fetchall(), [])
    check(dsn + " procedure columns", cur.procedureColumns(schema="SCOTT").fetchall(), [])

    types = [(r.type_name, r.data_type) for r in cur.getTypeInfo()]
    check(dsn + " type rows", len(types), 22 if unicode else 15)
    check(dsn + " last type rows", types[-3:], [("VARCHAR2", 12), ("TIMESTAMP", 93), ("DATE", 93)])

    # Microseconds survive a TIMESTAMP(6) round trip.
    when = datetime.datetime(2024, 5, 6, 7, 8, 9, 123456)
    cur.execute("insert into ts values (?)", when)
    check(dsn + " timestamp fractions", cur.execute("select t from ts").fetchone()[0], when)
    cur.execute("delete from ts")
    conn.close()


def main():
    subprocess.run([tool, "create", db], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([tool, "adduser", db, "scott", "tiger"], check=True, stdout=subprocess.DEVNULL)
    for sql in FIXTURE:
        subprocess.run([tool, "sql", db, "scott", "tiger", sql], check=True, stdout=subprocess.DEVNULL)
    os.environ["OCILITE_DEFAULT_DB"] = db  # the standard DSNs name no database
    for dsn, unicode in (("kvd_w", True), ("kvd_a", False)):
        try:
            run(dsn, unicode)
        except pyodbc.Error as e:
            failures.append("%s: %s" % (dsn, e))
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


try:
    status = main()
finally:
    shutil.rmtree(db, ignore_errors=True)
sys.exit(status)
