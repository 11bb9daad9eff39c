#pragma once
// In-process access to the front end for its tests: the ODBC layer linked
// into the test, the scripted fake agent behind ORA_Register, and the objects
// behind handle values.
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "odbc/dispatch.h"
#include "odbc/objects.h"

namespace front {

// Initialises the ODBC layer once per process (the library constructor is
// not part of a test executable) and resets the fake agent.
void LayerSetUp();

Envr *EnvOf(SQLHANDLE h);
Conn *ConnOf(SQLHANDLE h);
Stmt *StmtOf(SQLHANDLE h);
Desc *DescOf(SQLHANDLE h);

SQLHENV NewEnv(SQLINTEGER version = SQL_OV_ODBC3);
SQLHDBC NewDbc(SQLHENV env);
// Puts a connection into the connected state on the fake agent, as a
// successful connect would leave it.
void FakeConnect(SQLHDBC dbc);
SQLHSTMT NewStmt(SQLHDBC dbc);
SQLHDESC NewDesc(SQLHDBC dbc);

SQLHANDLE AsHandle(uint32_t value);

// A fresh ODBC layer for every test: the layer's end frees whatever a test
// left, and handle values start again at the first slot.
struct FrontTest : ::testing::Test {
  void SetUp() override { LayerSetUp(); }
  void TearDown() override { OdbcLayerTerm(); }
};

// One thread waits inside a call until the test lets it go.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool entered = false;
  bool released = false;
  void Enter();         // called inside the blocked call
  void WaitEntered();   // the test waits until the call is inside
  void Release();       // lets the call return
};

// Records whose implementation blocks on the current gate (kinds DBC, STMT,
// DESC) and records that return at once.
extern Gate *g_gate;
extern const ApiRecord kBlockDbc, kBlockStmt, kBlockDesc;
extern const ApiRecord kQuickDbc, kQuickStmt, kQuickDesc;

}  // namespace front
