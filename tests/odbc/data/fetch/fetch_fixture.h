#pragma once
// In-process fetch tests: a statement of a connection on the scripted fake
// agent with the cursor layer installed above it, and a result opened the
// way the execute path leaves one.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake.h"
#include "front_support.h"
#include "odbc/data/fetch.h"
#include "odbc/data/getdata.h"
#include "odbc/data/services.h"
#include "odbc/desc.h"
#include "odbc/drvops.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"
#include "odbc/stmt.h"
#include "scrs/sc_s.h"

namespace fetchtest {

struct FetchFixture : front::FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT hstmt = SQL_NULL_HSTMT;
  Conn *conn = nullptr;
  Stmt *stmt = nullptr;

  // A connected statement of an environment of the given ODBC version.
  void Open(SQLINTEGER version = SQL_OV_ODBC3) {
    env = front::NewEnv(version);
    dbc = front::NewDbc(env);
    front::FakeConnect(dbc);
    conn = front::ConnOf(dbc);
    conn->cn_hasScrlCurs = 1;
    scs_Install(&conn->drv);
    fake::SetInfo(InfoGetInfoInt(SQL_FETCH_DIRECTION), 0xBF);
    hstmt = front::NewStmt(dbc);
    stmt = front::StmtOf(hstmt);
  }

  // Prepares and executes on the agent cursor and marks the result open, as
  // the execute path does.
  void Execute(const char *sql = "select * from t") {
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Prepare>(stmt->drv, stmt->agentCursor, sql), 0);
    ASSERT_EQ(DrvCall<&DrvOps::DRV_Execute>(stmt->drv, stmt->agentCursor), 0);
    stmt->state = STMT_PREPARED;
    stmt->flags |= STMTF_PREPARED | STMTF_RESULT_OPEN;
  }

  // The rowset size on both sides, as the statement option leaves it.
  void RowsetSize(int32_t n) {
    stmt->cursor.rowsetSize = n;
    fake::SetInfo(InfoStmtOption(SQL_ROWSET_SIZE), n);
  }
  void CursorType(int32_t type) {
    stmt->cursor.cursorType = type;
    fake::SetInfo(InfoStmtOption(SQL_CURSOR_TYPE), type);
  }
  void RetrieveData(int32_t on) {
    stmt->cursor.retrieveData = on;
    fake::SetInfo(InfoStmtOption(SQL_RETRIEVE_DATA), on);
  }

  SQLRETURN Bind(SQLUSMALLINT col, SQLSMALLINT cType, void *data, SQLLEN len, SQLLEN *ind) {
    return SQLBindCol(hstmt, col, cType, data, len, ind);
  }

  // The first diagnostic record's SQLSTATE, "" when none.
  std::string State() {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, text, sizeof text, &len))) return "";
    return reinterpret_cast<char *>(state);
  }
};

// n rows of (ID integer, NAME varchar(20)): i and "row<i>".
inline void IntTextRows(int n) {
  fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"NAME", SQL_VARCHAR, VT_STRING, 20}});
  std::vector<fake::Row> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({fake::I32(i), fake::Text("row" + std::to_string(i))});
  fake::SetRows(rows);
}

}  // namespace fetchtest
