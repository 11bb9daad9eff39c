# python3-pyodbc through unixODBC with both drivers: four threads of twenty
# connect/query/disconnect rounds each through one connection pool of two
# physical connections (OCPWAIT: a thread waits for a free one).
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import os
import shutil
import subprocess
import sys
import tempfile
import threading

import pyodbc

tool = os.path.join(os.environ["KVD_BUILD_DIR"], "bin", "ocilite-admin")
db = tempfile.mkdtemp(prefix="kvd_pyodbc_pool_")
failures = []
lock = threading.Lock()


def rounds(dsn, n):
    conn = "DSN=%s;UID=scott;PWD=tiger;OCPMIN=1;OCPMAX=2;OCPWAIT=YES" % dsn
    try:
        for i in range(20):
            c = pyodbc.connect(conn, autocommit=True)
            got = c.cursor().execute("select ? + 1 from dual", n * 100 + i).fetchone()[0]
            c.close()
            if int(got) != n * 100 + i + 1:
                raise AssertionError("got %r" % got)
    except Exception as e:  # noqa: BLE001 - every failure is reported
        with lock:
            failures.append("%s thread %d: %s" % (dsn, n, e))


def main():
    subprocess.run([tool, "create", db], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([tool, "adduser", db, "scott", "tiger"], check=True, stdout=subprocess.DEVNULL)
    os.environ["OCILITE_DEFAULT_DB"] = db  # the standard DSNs name no database
    for dsn in ("kvd_w", "kvd_a"):
        threads = [threading.Thread(target=rounds, args=(dsn, n)) for n in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
            if t.is_alive():
                failures.append("%s: a thread did not end" % dsn)
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


try:
    status = main()
finally:
    shutil.rmtree(db, ignore_errors=True)
sys.exit(status)
