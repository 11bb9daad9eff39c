# Reads what XA branches left, on a plain pyodbc connection through unixODBC:
#   pyodbc_xa_read.py DSN count [PWD]   -> the rows of table t
#   pyodbc_xa_read.py DSN insert [PWD]  -> "inserted", or the Oracle error number
# Exit status 77 when pyodbc is not installed.
import re
import sys

try:
    import pyodbc
except ImportError:
    sys.exit(77)

dsn, action = sys.argv[1], sys.argv[2]
pwd = sys.argv[3] if len(sys.argv) > 3 else "tiger"
conn = pyodbc.connect("DSN=%s;UID=scott;PWD={%s}" % (dsn, pwd), autocommit=True)
cur = conn.cursor()
if action == "count":
    print(cur.execute("select count(*) from t").fetchone()[0])
else:
    try:
        cur.execute("insert into t values (9)")
        cur.execute("delete from t where n = 9")
        print("inserted")
    except pyodbc.Error as e:
        m = re.search(r"ORA-\d{5}", str(e))
        print(m.group(0) if m else "error: %s" % e)
conn.close()
