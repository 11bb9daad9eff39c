// A plain ODBC application: connects to a data source through the Driver
// Manager, shows what the driver says about itself, then creates a table,
// inserts rows with parameters and reads them back. Every step reports the
// driver's diagnostics when it fails, so the demo shows how far the driver goes.
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

namespace {

void PrintDiag(SQLSMALLINT kind, SQLHANDLE h) {
  SQLCHAR state[6], msg[1024];
  SQLINTEGER native;
  SQLSMALLINT len;
  for (SQLSMALLINT i = 1;
       SQLGetDiagRec(kind, h, i, state, &native, msg, sizeof msg, &len) == SQL_SUCCESS; ++i)
    std::printf("    [%s] (%d) %s\n", state, static_cast<int>(native), msg);
}

bool Ok(SQLRETURN rc, const char *what, SQLSMALLINT kind, SQLHANDLE h) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    if (rc == SQL_SUCCESS_WITH_INFO) PrintDiag(kind, h);
    return true;
  }
  std::printf("  %s: failed (%d)\n", what, static_cast<int>(rc));
  PrintDiag(kind, h);
  return false;
}

void ShowInfo(SQLHDBC dbc) {
  static const struct { SQLUSMALLINT type; const char *name; } kInfo[] = {
      {SQL_DRIVER_NAME, "SQL_DRIVER_NAME"}, {SQL_DRIVER_VER, "SQL_DRIVER_VER"},
      {SQL_DRIVER_ODBC_VER, "SQL_DRIVER_ODBC_VER"}, {SQL_DBMS_NAME, "SQL_DBMS_NAME"},
      {SQL_DBMS_VER, "SQL_DBMS_VER"}, {SQL_USER_NAME, "SQL_USER_NAME"},
  };
  for (const auto &i : kInfo) {
    char buf[256] = "";
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetInfo(dbc, i.type, buf, sizeof buf, &len);
    if (SQL_SUCCEEDED(rc))
      std::printf("  %-20s %s\n", i.name, buf);
    else
      std::printf("  %-20s (not answered)\n", i.name);
  }
}

bool Exec(SQLHSTMT st, const char *sql) {
  std::printf("> %s\n", sql);
  return Ok(SQLExecDirect(st, (SQLCHAR *)sql, SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT, st);
}

// Drops the demo's own table of an earlier run. A missing table (42S02) is
// the normal first run and no error; anything else is shown.
bool DropIfThere(SQLHSTMT st, const char *table) {
  std::string sql = std::string("DROP TABLE ") + table;
  SQLRETURN rc = SQLExecDirect(st, (SQLCHAR *)sql.c_str(), SQL_NTS);
  if (SQL_SUCCEEDED(rc)) {
    std::printf("> %s\n", sql.c_str());
    return true;
  }
  SQLCHAR state[6] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLCHAR msg[8];
  if (SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, msg, sizeof msg, &len) != SQL_ERROR &&
      std::strcmp(reinterpret_cast<char *>(state), "42S02") == 0)
    return true;
  return Ok(rc, "SQLExecDirect", SQL_HANDLE_STMT, st);
}

void ShowRows(SQLHSTMT st) {
  SQLSMALLINT ncols = 0;
  SQLNumResultCols(st, &ncols);
  for (SQLSMALLINT c = 1; c <= ncols; ++c) {
    SQLCHAR name[128];
    SQLSMALLINT nl, type, dec, nul;
    SQLULEN size;
    SQLDescribeCol(st, c, name, sizeof name, &nl, &type, &size, &dec, &nul);
    std::printf("%s%-16s", c > 1 ? " | " : "  ", name);
  }
  std::printf("\n");
  SQLRETURN rc;
  while ((rc = SQLFetch(st)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    for (SQLSMALLINT c = 1; c <= ncols; ++c) {
      char buf[256];
      SQLLEN ind = 0;
      SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
      std::printf("%s%-16s", c > 1 ? " | " : "  ", ind == SQL_NULL_DATA ? "(null)" : buf);
    }
    std::printf("\n");
  }
  if (rc != SQL_NO_DATA) Ok(rc, "SQLFetch", SQL_HANDLE_STMT, st);
}

}  // namespace

int main(int argc, char **argv) {
  const char *dsn = argc > 1 ? argv[1] : "DEMO";
  const char *uid = argc > 2 ? argv[2] : "DEMO";
  const char *pwd = argc > 3 ? argv[3] : "demo";
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT st = SQL_NULL_HSTMT;
  int status = 1;

  std::printf("== %s\n", dsn);
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), "SQLAllocHandle(ENV)", SQL_HANDLE_ENV, env))
    return 1;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "SQLAllocHandle(DBC)", SQL_HANDLE_ENV, env)) goto out;
  if (!Ok(SQLConnect(dbc, (SQLCHAR *)dsn, SQL_NTS, (SQLCHAR *)uid, SQL_NTS, (SQLCHAR *)pwd, SQL_NTS),
          "SQLConnect", SQL_HANDLE_DBC, dbc))
    goto out;
  std::printf("  connected as %s\n", uid);
  ShowInfo(dbc);
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle(STMT)", SQL_HANDLE_DBC, dbc)) goto disc;
  if (!DropIfThere(st, "DEMO_ITEMS")) goto disc;
  if (!Exec(st, "CREATE TABLE DEMO_ITEMS (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(40), PRICE NUMBER(10,2), ADDED DATE)"))
    goto disc;
  {
    static const struct { int id; const char *name; const char *price; } kRows[] = {
        {1, "tea", "2.50"}, {2, "coffee", "3.20"}, {3, "water", nullptr}};
    std::printf("> INSERT INTO DEMO_ITEMS VALUES (?, ?, ?, {fn CURDATE()}) x %zu\n", std::size(kRows));
    if (!Ok(SQLPrepare(st, (SQLCHAR *)"INSERT INTO DEMO_ITEMS VALUES (?, ?, ?, {fn CURDATE()})", SQL_NTS),
            "SQLPrepare", SQL_HANDLE_STMT, st))
      goto disc;
    for (const auto &r : kRows) {
      SQLINTEGER id = r.id;
      SQLLEN idInd = 0, nameInd = SQL_NTS, priceInd = r.price ? SQL_NTS : SQL_NULL_DATA;
      SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &id, 0, &idInd);
      SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, (SQLPOINTER)r.name, 0, &nameInd);
      SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 10, 2, (SQLPOINTER)r.price, 0, &priceInd);
      if (!Ok(SQLExecute(st), "SQLExecute", SQL_HANDLE_STMT, st)) goto disc;
    }
    SQLFreeStmt(st, SQL_RESET_PARAMS);
  }
  if (Exec(st, "SELECT ID, NAME, PRICE, {fn UCASE(NAME)} AS UPPER_NAME FROM DEMO_ITEMS ORDER BY ID")) {
    ShowRows(st);
    SQLCloseCursor(st);
  }
  status = 0;
disc:
  if (st) SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
out:
  if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return status;
}
