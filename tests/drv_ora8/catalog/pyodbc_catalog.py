# python3-pyodbc's metadata calls through unixODBC with both drivers on the
# agent, over a small schema made with the OCI stand-in's admin tool.
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import datetime

import pyodbc

import kvd_pyodbc

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


# HR, with a key to SCOTT's DEPT, a comment, a grant to SCOTT and statistics.
HR_FIXTURE = [
    "create table emp_proj (id number(6) primary key, deptno number(2) constraint fk_hr_dept references scott.dept)",
    "comment on table emp_proj is 'Projects'",
    "grant select on emp_proj to scott",
    "insert into emp_proj values (1, null)",
    "analyze table emp_proj compute statistics",
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
    def keys(rows):
        return [(r.pktable_schem, r.pktable_name, r.pkcolumn_name, r.fktable_schem, r.fktable_name, r.fkcolumn_name,
                 r.key_seq, r.fk_name, r.pk_name) for r in rows]
    fk = ("SCOTT", "DEPT", "DEPTNO", "SCOTT", "EMP", "DEPTNO", 1, "FK_DEPTNO", "PK_DEPT")
    cross = ("SCOTT", "DEPT", "DEPTNO", "HR", "EMP_PROJ", "DEPTNO", 1, "FK_HR_DEPT", "PK_DEPT")
    check(dsn + " foreign keys of the key table", keys(cur.foreignKeys(table="DEPT", schema="SCOTT")), [cross, fk])
    check(dsn + " foreign keys of the referencing table",
          keys(cur.foreignKeys(foreignTable="EMP", foreignSchema="SCOTT")), [fk])
    check(dsn + " foreign keys of another schema's table",
          keys(cur.foreignKeys(foreignTable="EMP_PROJ", foreignSchema="HR")), [cross])
    check(dsn + " primary key of another schema's table",
          [(r.table_schem, r.column_name, r.key_seq, r.pk_name[:5]) for r in cur.primaryKeys("EMP_PROJ", schema="HR")],
          [("HR", "ID", 1, "SYS_C")])
    check(dsn + " another schema's table analysed",
          [(r.cardinality, r.pages) for r in cur.statistics("EMP_PROJ", schema="HR") if r.index_name is None],
          [(1, 1)])
    # The key holds across the schemas.
    try:
        cur.execute("delete from dept where deptno = 10")
        cur.execute("insert into dept values (10, 'X')")
        conn2 = pyodbc.connect("DSN=%s;UID=hr;PWD=hrpw" % dsn, autocommit=True)
        conn2.cursor().execute("insert into emp_proj values (2, 10)")
        try:
            cur.execute("delete from dept where deptno = 10")
            failures.append(dsn + ": parent row deleted under a child of another schema")
        except pyodbc.Error as e:
            check(dsn + " child record found", "ORA-02292: integrity constraint (HR.FK_HR_DEPT)" in str(e), True)
        conn2.cursor().execute("delete from emp_proj where id = 2")
        conn2.close()
        cur.execute("delete from dept where deptno = 10")
    except pyodbc.Error as e:
        failures.append("%s cross-schema key: %s" % (dsn, e))

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


def main(db):
    kvd_pyodbc.admin("adduser", db, "hr", "hrpw")
    for sql in FIXTURE:
        kvd_pyodbc.admin("sql", db, "scott", "tiger", sql)
    for sql in HR_FIXTURE:
        kvd_pyodbc.admin("sql", db, "hr", "hrpw", sql)
    kvd_pyodbc.each_dsn(failures, lambda dsn: run(dsn, dsn == "kvd_w"))
    return failures


kvd_pyodbc.main("kvd_pyodbc_catalog_", main)
