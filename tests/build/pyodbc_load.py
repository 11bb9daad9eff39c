"""pyodbc (through unixODBC and the harness's private ini files) sees both
drivers and their fake-agent builds, and a connect attempt loads each one;
once a driver has SQLAllocHandle, the Driver Manager also starts it (its
environment and connection allocations succeed)."""
import ctypes
import os
import sys

import pyodbc

LIB = os.path.join(os.environ["KVD_BUILD_DIR"], "lib")
DSNS = {"kvd_fake_w": ("KVD Fake Unicode", "kvd7r22xw_fake.so"),
        "kvd_fake_a": ("KVD Fake ANSI", "kvd7r22x_fake.so"),
        "kvd_w": ("KVD Unicode", "kvd7r22xw.so"),
        "kvd_a": ("KVD ANSI", "kvd7r22x.so")}
LOAD_FAILURES = ("IM002", "IM003", "Can't open lib", "file not found")
START_FAILURES = ("IM004", "IM005")


def exports(lib, name):
    return hasattr(ctypes.CDLL(os.path.join(LIB, lib)), name)


failed = []
drivers = pyodbc.drivers()
for dsn, (driver, lib) in DSNS.items():
    if driver not in drivers:
        failed.append("%s not registered (drivers: %s)" % (driver, drivers))
        continue
    bad = LOAD_FAILURES + (START_FAILURES if exports(lib, "SQLAllocHandle") else ())
    try:
        pyodbc.connect("DSN=%s;UID=scott;PWD=tiger" % dsn, autocommit=True, timeout=5).close()
    except pyodbc.Error as e:
        text = " ".join(str(a) for a in e.args)
        if any(f in text for f in bad):
            failed.append("%s: %s" % (dsn, text))

for f in failed:
    print("FAIL", f)
sys.exit(1 if failed else 0)
