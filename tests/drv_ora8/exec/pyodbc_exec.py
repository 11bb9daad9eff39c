# python3-pyodbc through unixODBC with both drivers on the agent, over a
# database made with the OCI stand-in's admin tool: DDL, the row counts of
# DML, commit and rollback with autocommit off seen from a second
# connection, and SQL with escapes and parameter markers.
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import os

import pyodbc

import kvd_pyodbc

failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def run(dsn):
    conn = "DSN=%s;UID=scott;PWD=tiger" % dsn
    work = pyodbc.connect(conn, autocommit=False)
    other = pyodbc.connect(conn, autocommit=True)
    cur, look = work.cursor(), other.cursor()
    table = "px_" + dsn

    def seen():
        return [tuple(r) for r in look.execute("select a, b from %s order by a" % table).fetchall()]

    cur.execute("create table %s (a number(10), b varchar2(20))" % table)
    work.commit()

    check(dsn + " insert rowcount", cur.execute("insert into %s values (1, 'x')" % table).rowcount, 1)
    cur.executemany("insert into %s values (?, ?)" % table, [(2, "y"), (3, "y")])
    check(dsn + " uncommitted rows seen by another connection", seen(), [])
    work.commit()
    check(dsn + " committed rows", seen(), [(1, "x"), (2, "y"), (3, "y")])

    check(dsn + " update rowcount", cur.execute("update %s set b = ? where b = ?" % table, "z", "y").rowcount, 2)
    check(dsn + " update of no rows", cur.execute("update %s set b = 'q' where a = 99" % table).rowcount, 0)
    check(dsn + " delete rowcount", cur.execute("delete from %s where a = ?" % table, 1).rowcount, 1)
    check(dsn + " own uncommitted view",
          [tuple(r) for r in cur.execute("select a, b from %s order by a" % table).fetchall()],
          [(2, "z"), (3, "z")])
    work.rollback()
    check(dsn + " after rollback", seen(), [(1, "x"), (2, "y"), (3, "y")])
    check(dsn + " own view after rollback",
          [tuple(r) for r in cur.execute("select a, b from %s order by a" % table).fetchall()],
          [(1, "x"), (2, "y"), (3, "y")])

    # Escapes and markers run translated.
    row = cur.execute("select {fn ucase(b)}, {fn CONVERT(a, SQL_VARCHAR)} from %s where a = ?" % table, 1).fetchone()
    check(dsn + " escapes", tuple(row), ("X", "1"))

    # A statement failing in autocommit leaves no transaction open: the same
    # session and another write and read at once (no lock wait, no ORA-08177).
    auto = pyodbc.connect(conn, autocommit=True)
    auto.execute("create table %s_nn (a number(10) not null)" % table)
    try:
        auto.execute("insert into %s_nn values (null)" % table)
        failures.append(dsn + " NOT NULL violation succeeded")
    except pyodbc.Error as e:
        check(dsn + " NOT NULL violation text", "ORA-01400" in str(e), True)
    auto.execute("insert into %s_nn values (1)" % table)
    look.execute("insert into %s_nn values (2)" % table)
    check(dsn + " after a failed autocommit statement",
          [tuple(r) for r in auto.execute("select a from %s_nn order by a" % table).fetchall()], [(1,), (2,)])
    check(dsn + " seen by the other session",
          [tuple(r) for r in look.execute("select a from %s_nn order by a" % table).fetchall()], [(1,), (2,)])
    auto.execute("drop table %s_nn" % table)
    auto.close()

    cur.execute("drop table %s" % table)
    work.commit()
    work.close()
    other.close()


def main(db):
    os.environ["OCILITE_LOCK_TIMEOUT"] = "3000"  # a lock left behind fails fast
    kvd_pyodbc.each_dsn(failures, run)
    return failures


kvd_pyodbc.main("kvd_pyodbc_exec_", main)
