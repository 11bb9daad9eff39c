# python3-pyodbc through unixODBC with both drivers on the agent: values come
# back as they were stored (fixed-width text in characters, an unconstrained
# NUMBER exactly) and a datetime.time parameter goes into DATE and VARCHAR2.
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import datetime

import pyodbc

import kvd_pyodbc

failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def run(dsn):
    conn = pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=True)
    cur = conn.cursor()
    table = "pv_" + dsn
    cur.execute("create table %s (c char(6 char), n number, d date, v varchar2(20))" % table)
    cur.execute("insert into %s (c, n) values ('ab', 0.1)" % table)
    row = cur.execute("select c, n from %s" % table).fetchone()
    check(dsn + " CHAR(6 CHAR)", row[0], "ab    ")
    check(dsn + " NUMBER 0.1", row[1], 0.1)
    check(dsn + " CHAR(6 CHAR) size", cur.description[0][3], 6)

    cur.execute("delete from %s" % table)
    t = datetime.time(13, 14, 15)
    cur.execute("insert into %s (d, v) values (?, ?)" % table, t, t)
    row = cur.execute("select to_char(d, 'HH24:MI:SS'), v from %s" % table).fetchone()
    check(dsn + " time into DATE", row[0], "13:14:15")
    check(dsn + " time into VARCHAR2", row[1] is not None and "13:14:15" in row[1], True)
    cur.execute("drop table %s" % table)
    conn.close()


def main(db):
    kvd_pyodbc.each_dsn(failures, run)
    return failures


kvd_pyodbc.main("kvd_pyodbc_values_", main)
