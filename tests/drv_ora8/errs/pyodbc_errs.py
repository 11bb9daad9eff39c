# python3-pyodbc picks its exception class from the SQLSTATE: a duplicate key
# must raise IntegrityError, a syntax error ProgrammingError and a too-long
# value DataError, with both drivers through unixODBC.
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).

import pyodbc

import kvd_pyodbc

failures = []


def expect(dsn, what, cur, sql, cls, state, native):
    try:
        cur.execute(sql)
    except pyodbc.Error as e:
        text = str(e)
        if type(e) is not cls:
            failures.append("%s %s: raised %s, want %s: %s" % (dsn, what, type(e).__name__, cls.__name__, text))
        if e.args[0] != state:
            failures.append("%s %s: SQLSTATE %s, want %s" % (dsn, what, e.args[0], state))
        if "(%d)" % native not in text:
            failures.append("%s %s: native error %d not in %r" % (dsn, what, native, text))
        return
    failures.append("%s %s: no error" % (dsn, what))


def run(dsn):
    conn = pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=True)
    cur = conn.cursor()
    t = "pe_" + dsn
    cur.execute("create table %s (k number(5) primary key, v varchar2(3))" % t)
    cur.execute("insert into %s values (1, 'a')" % t)
    expect(dsn, "duplicate key", cur, "insert into %s values (1, 'b')" % t, pyodbc.IntegrityError, "23000", 1)
    expect(dsn, "syntax error", cur, "selec k from %s" % t, pyodbc.ProgrammingError, "42000", 900)
    expect(dsn, "too-long value", cur, "insert into %s values (2, 'abcd')" % t, pyodbc.DataError, "22001", 12899)
    cur.execute("drop table %s" % t)
    conn.close()


def main(db):
    kvd_pyodbc.each_dsn(failures, run)
    return failures


kvd_pyodbc.main("kvd_pyodbc_errs_", main)
