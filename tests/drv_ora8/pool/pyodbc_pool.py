# python3-pyodbc through unixODBC with both drivers: four threads of twenty
# connect/query/disconnect rounds each through one connection pool of two
# physical connections (OCPWAIT: a thread waits for a free one).
# Run by kvd_pyrun (the Driver Manager's ini files, KVD_BUILD_DIR).
import threading

import pyodbc

import kvd_pyodbc

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


def main(db):
    for dsn in kvd_pyodbc.DSNS:
        threads = [threading.Thread(target=rounds, args=(dsn, n)) for n in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
            if t.is_alive():
                failures.append("%s: a thread did not end" % dsn)
    return failures


kvd_pyodbc.main("kvd_pyodbc_pool_", main)
