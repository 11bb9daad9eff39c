# python3-pyodbc fetching every supported type through unixODBC with both
# drivers on the agent, over a database made with the OCI stand-in's admin
# tool. Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import datetime
import decimal
import os
import shutil
import subprocess
import sys
import tempfile

import pyodbc

tool = os.path.join(os.environ["KVD_BUILD_DIR"], "bin", "ocilite-admin")
db = tempfile.mkdtemp(prefix="kvd_pyodbc_fetch_")


def admin(*args):
    subprocess.run([tool, *args], check=True, stdout=subprocess.DEVNULL)


LONG_TEXT = "x\u00e9\u20ac" * 600  # 1800 characters, 3600 bytes of UTF-8

COLUMNS = [
    # name, type, literal, expected Python value
    ("I", "number(10)", "-42", -42),
    ("DEC", "number(12,2)", "1234.56", decimal.Decimal("1234.56")),
    ("BIG", "number(19)", "9000000000000000000", 9000000000000000000),
    ("N", "number", "3.14159", 3.14159),
    ("FL", "binary_double", "2.5", 2.5),
    ("BF", "binary_float", "0.25", 0.25),
    ("VC", "varchar2(30)", "'hello'", "hello"),
    ("NVC", "nvarchar2(30)", "'h\u00e9llo \u20ac'", "h\u00e9llo \u20ac"),
    ("CH", "char(5)", "'ab'", "ab   "),
    ("LV", "varchar2(4000)", "'" + LONG_TEXT + "'", LONG_TEXT),
    ("D", "date", "to_date('2024-02-29 13:14:15', 'YYYY-MM-DD HH24:MI:SS')",
     datetime.datetime(2024, 2, 29, 13, 14, 15)),
    ("TS", "timestamp", "to_timestamp('2024-02-29 13:14:15.123456', 'YYYY-MM-DD HH24:MI:SS.FF')",
     datetime.datetime(2024, 2, 29, 13, 14, 15, 123456)),
    ("R", "raw(8)", "hextoraw('0102FF')", b"\x01\x02\xff"),
]


def check_row(row, expected, where):
    for (name, _, _, want), got in zip(COLUMNS, row):
        ok = got == want if want is not None else got is None
        if isinstance(want, float) and got is not None:
            ok = abs(got - want) < 1e-9
        if not ok:
            sys.exit("%s: column %s is %r, expected %r" % (where, name, got, want))


def run(dsn):
    cn = pyodbc.connect("DSN=%s;UID=scott;PWD=tiger;SQLNET=%s" % (dsn, db), autocommit=True)
    cur = cn.cursor()
    cur.execute("select count(*) from ty")
    names = ", ".join(c[0] for c in COLUMNS)
    cur.execute("select %s from ty order by seq" % names)
    rows = cur.fetchall()
    if len(rows) != 2:
        sys.exit("%s: %d rows" % (dsn, len(rows)))
    check_row(rows[0], [c[3] for c in COLUMNS], dsn)
    if any(v is not None for v in rows[1]):
        sys.exit("%s: NULL row reads %r" % (dsn, tuple(rows[1])))

    # Many rows, read a few at a time.
    cur.execute("select seq from many order by seq")
    got = []
    while True:
        part = cur.fetchmany(7)
        if not part:
            break
        got.extend(int(r[0]) for r in part)
    if got != list(range(1, 301)):
        sys.exit("%s: rows %r..." % (dsn, got[:10]))

    # Long values kept with the agent.
    cur.execute("select c, b from lobs")
    row = cur.fetchone()
    if row[0] != LONG_TEXT * 3 or bytes(row[1]) != bytes(range(256)) * 40:
        sys.exit("%s: LOB values %r..., %r..." % (dsn, row[0][:20], bytes(row[1][:8])))
    cn.close()


try:
    admin("create", db)
    admin("adduser", db, "scott", "tiger")
    cn = pyodbc.connect("DSN=kvd_w;UID=scott;PWD=tiger;SQLNET=%s" % db, autocommit=True)
    cur = cn.cursor()
    cur.execute("create table ty (seq number(3), %s)" % ", ".join("%s %s" % (c[0], c[1]) for c in COLUMNS))
    cur.execute("insert into ty (seq, %s) values (1, %s)" % (", ".join(c[0] for c in COLUMNS),
                                                          ", ".join(c[2] for c in COLUMNS)))
    cur.execute("insert into ty (seq) values (2)")
    cur.execute("create table many (seq number(5))")
    for i in range(1, 301):
        cur.execute("insert into many values (%d)" % i)
    cur.execute("create table lobs (c clob, b blob)")
    # Sizing from SQLGetTypeInfo, pyodbc would send texts above 4000 characters
    # in pieces (SQLPutData); the fixture sends them whole.
    cn.maxwrite = 1 << 20
    cur.execute("insert into lobs values (?, ?)", LONG_TEXT * 3, bytes(range(256)) * 40)
    cn.close()
    for dsn in ("kvd_w", "kvd_a"):
        run(dsn)
    print("ok")
finally:
    shutil.rmtree(db, ignore_errors=True)
