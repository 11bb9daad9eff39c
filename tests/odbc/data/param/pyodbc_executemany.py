# python3-pyodbc's executemany of 10,000 rows through unixODBC with both
# drivers on the agent, over a database made with the OCI stand-in's
# admin tool, read back and compared: integers beyond 32 bits, decimals,
# strings with NULLs, timestamps and UUIDs as text. Both of pyodbc's ways:
# one execute per row, and parameter arrays (fast_executemany).
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import datetime
import decimal
import uuid

import pyodbc

import kvd_pyodbc

ROWS = 10000


def row(i, fast):
    # The stand-in keeps numbers as doubles: integers up to 2**53 and
    # decimals of up to 15 digits come back exactly. Parameter arrays take
    # each parameter's type, size and digits from SQLDescribeParam, so they
    # carry fractions of seconds too; one execute per row sends them only
    # to a driver whose SQLGetTypeInfo gives the TIMESTAMP type's size
    # (checked below).
    micro = (i * 7919) % 1000000 if fast else 0
    return (i,
            (1 << 40) + i * 7919 if i % 2 else -(1 << 45) - i,
            decimal.Decimal("%d.%04d" % (i * 13 - 50000, i % 10000)),
            None if i % 9 == 0 else "text-%d-\u00e9\u20ac" % i,
            datetime.datetime(2000, 1, 1) + datetime.timedelta(days=i % 3000, seconds=i * 37 % 86400,
                                                               microseconds=micro),
            str(uuid.UUID(int=i * 0x9E3779B97F4A7C15 % (1 << 128))))


def run(dsn):
    """The failures seen with one data source."""
    cnxn = pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=False)
    cur = cnxn.cursor()
    cur.execute("create table em_%s (id number(10), big number(19), dec number(15,4), "
                "s varchar2(40), ts timestamp, u varchar2(36))" % dsn)
    table = "em_" + dsn
    failures = []
    for fast in (False, True):
        rows = [row(i, fast) for i in range(ROWS)]
        cur.execute("delete from " + table)
        cur.fast_executemany = fast
        cur.executemany("insert into %s values (?, ?, ?, ?, ?, ?)" % table, rows)
        cnxn.commit()
        cur.execute("select id, big, dec, s, ts, u from %s order by id" % table)
        got = [tuple(r) for r in cur.fetchall()]
        if len(got) != len(rows):
            failures.append("%s fast=%s: %d rows read back, %d inserted" % (dsn, fast, len(got), len(rows)))
            continue
        for want, have in zip(rows, got):
            if want != have:
                failures.append("%s fast=%s: inserted %r, read back %r" % (dsn, fast, want, have))
                break

    # pyodbc sends a timestamp's fraction only to a driver whose
    # SQLGetTypeInfo gives the TIMESTAMP type's size. Parameter arrays take
    # the fraction's digits from SQLDescribeParam (none in the default
    # description): the row-by-row path carries them.
    cur.getTypeInfo(pyodbc.SQL_TYPE_TIMESTAMP).fetchall()
    cur.fast_executemany = False
    stamps = [(ROWS + 10 + i, datetime.datetime(2020, 5, 6, 7, 8, 9, i * 1000 + 1)) for i in range(100)]
    cur.executemany("insert into %s (id, ts) values (?, ?)" % table, stamps)
    got = cur.execute("select id, ts from %s where id >= ? order by id" % table, ROWS + 10).fetchall()
    if [tuple(r) for r in got] != stamps:
        failures.append("%s: timestamps with fractions read back as %r" % (dsn, got[:3]))

    # A UUID object travels as a GUID: its upper-case text is stored.
    u = uuid.UUID("12345678-9abc-def0-0123-456789abcdef")
    cur.execute("insert into %s (id, u) values (?, ?)" % table, ROWS + 1, u)
    stored = cur.execute("select u from %s where id = ?" % table, ROWS + 1).fetchone()[0]
    if stored != str(u).upper():
        failures.append("%s: UUID object stored as %r" % (dsn, stored))
    cnxn.close()
    return failures


def main(db):
    failures = []
    for dsn in kvd_pyodbc.DSNS:
        failures += run(dsn)
    return failures


kvd_pyodbc.main("kvd_pyodbc_execmany_", main)
