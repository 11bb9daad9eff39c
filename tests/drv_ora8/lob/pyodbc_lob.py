# python3-pyodbc through unixODBC with both drivers on the agent: a 10 MiB
# str holding é, 中 and 😀 and 10 MiB of bytes go into CLOB and BLOB columns
# (pyodbc sends such values as data at execution; the ANSI driver gets the
# text narrowed) and come back exactly.
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import pyodbc

import kvd_pyodbc

failures = []
SIZE = 10 << 20


def check(what, got, want):
    if got != want:
        where = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
        failures.append("%s: %d items, want %d; first difference at %d" % (what, len(got), len(want), where))


def text():
    unit = "a\u00e9\u4e2d\U0001F600bc"
    s = unit * (SIZE // len(unit.encode("utf-8")))
    return s


def run(dsn):
    conn = pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=True)
    cur = conn.cursor()
    table = "pl_" + dsn
    cur.execute("create table %s (id number(10), c clob, b blob)" % table)
    t = text()
    b = bytes((i * 7 + i // 251) & 0xFF for i in range(SIZE))
    cur.execute("insert into %s values (1, ?, ?)" % table, t, b)
    row = cur.execute("select c, b from %s where id = 1" % table).fetchone()
    check(dsn + " 10 MiB text", row[0], t)
    check(dsn + " 10 MiB bytes", bytes(row[1]), b)
    cur.execute("drop table %s" % table)
    conn.close()


def main(db):
    kvd_pyodbc.each_dsn(failures, run)
    return failures


kvd_pyodbc.main("kvd_pyodbc_lob_", main)
