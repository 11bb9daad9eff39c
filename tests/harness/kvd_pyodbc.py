# What the pyodbc scripts run by kvd_pyrun share: a scratch database made
# with the OCI stand-in's admin tool, which the standard DSNs (they name no
# database) use, a run with each driver, and the failures reported at the
# end. kvd_pyrun puts this directory on PYTHONPATH.
import os
import shutil
import subprocess
import sys
import tempfile

import pyodbc

TOOL = os.path.join(os.environ["KVD_BUILD_DIR"], "bin", "ocilite-admin")
# The Unicode driver's data source, then the ANSI driver's.
DSNS = ("kvd_w", "kvd_a")


def admin(*args):
    """Runs the admin tool; a failure ends the script."""
    subprocess.run([TOOL, *args], check=True, stdout=subprocess.DEVNULL)


def each_dsn(failures, run):
    """run(dsn) with each driver; a pyodbc error is one more failure."""
    for dsn in DSNS:
        try:
            run(dsn)
        except pyodbc.Error as e:
            failures.append("%s: %s" % (dsn, e))


def main(prefix, body):
    """Makes a database with the user scott (password tiger) as the standard
    DSNs' default, runs body(db), removes the database and exits: 1 when
    body returned failures (each printed), 0 when it returned none."""
    db = tempfile.mkdtemp(prefix=prefix)
    try:
        admin("create", db)
        admin("adduser", db, "scott", "tiger")
        os.environ["OCILITE_DEFAULT_DB"] = db
        failures = body(db)
    finally:
        shutil.rmtree(db, ignore_errors=True)
    for f in failures:
        print("FAIL", f)
    sys.exit(1 if failures else 0)
