#pragma once
// In-process tests of parameter binding and execution: the whole core linked
// into the test, a connection put into the connected state on the scripted
// fake agent with the capabilities of the Oracle agent, and one statement.
//
// The statement is "prepared" by the fixture the way the prepare leaves it
// (parameter descriptions from the fake agent, classes counted, flags and
// state set), so that these tests do not depend on the prepare entry.
// Parameter Datasets handed down are recorded whole (value types, element
// sizes, indicators and bytes) by a recorder in the fake's table.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake.h"
#include "front_support.h"
#include "odbc/dataset.h"
#include "odbc/objects.h"
#include "odbc/sqlstate.h"

namespace pt {

// One recorded cell.
struct RecCell {
  int16_t indicator = -1;
  std::string bytes;  // the whole element (fixed types), or the defined bytes
};
// One recorded column: its layout and its cells.
struct RecCol {
  int32_t type = 0;
  uint32_t size = 0;
  std::vector<RecCell> cells;
};
// One parameter hand-over (DRV_ExecDirect/2, DRV_SetParams, DRV_SetParamInfo).
struct Handover {
  int slot = 0;
  bool hasDataset = false;
  std::vector<RecCol> cols;
  int32_t rows = 0;
  std::vector<ParamInfo> info;
  std::vector<std::string> names;  // DRV_ExecDirect2: the ParamDesc names ("" none)
};

// Every hand-over since the last Reset of the recorder, in order.
std::vector<Handover> &Handovers();
// Puts the recorder into the fake's table (after fake::Reset).
void InstallRecorder();
// Makes DRV_Fetch with 0 rows hand over one row of these output values
// (value type VT_STRING, NULL for std::nullopt-like empty marker "\x01NULL").
void SetOutputRow(const std::vector<std::string> &values);

// Text of a fixed character element up to its first NUL.
std::string TextOf(const RecCell &c);

struct ParamTest : front::FrontTest {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT hstmt = SQL_NULL_HSTMT;
  Conn *conn = nullptr;
  Stmt *stmt = nullptr;

  // ODBC version of the environment (2 or 3).
  virtual SQLINTEGER Version() const { return SQL_OV_ODBC3; }

  void SetUp() override;

  // Sets the capability flags as the Oracle agent's mask 0x75FF does.
  void OracleCaps();

  // Leaves the statement prepared with parameters named as given ("" for a
  // plain marker, "*O", "*B", "*U" for procedure parameters).
  void Prepare(const std::vector<std::string> &names, bool isSelect = false);

  // The SQLSTATE of the first diagnostic record of the statement.
  std::string State() const;
  std::string DiagText() const;
};

inline SQLPOINTER P(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

}  // namespace pt
