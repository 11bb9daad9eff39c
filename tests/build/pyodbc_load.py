"""pyodbc (through unixODBC and the harness's private ini files) sees both
drivers and their fake-agent builds, and a connect attempt loads each one."""
import sys

import pyodbc

DSNS = {"kvd_fake_w": "KVD Fake Unicode", "kvd_fake_a": "KVD Fake ANSI",
        "kvd_w": "KVD Unicode", "kvd_a": "KVD ANSI"}
LOAD_FAILURES = ("IM002", "IM003", "Can't open lib", "file not found")

failed = []
drivers = pyodbc.drivers()
for dsn, driver in DSNS.items():
    if driver not in drivers:
        failed.append("%s not registered (drivers: %s)" % (driver, drivers))
        continue
    try:
        pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=True, timeout=5).close()
    except pyodbc.Error as e:
        text = " ".join(str(a) for a in e.args)
        if any(f in text for f in LOAD_FAILURES):
            failed.append("%s: %s" % (dsn, text))

for f in failed:
    print("FAIL", f)
sys.exit(1 if failed else 0)
