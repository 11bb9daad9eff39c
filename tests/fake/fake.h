#pragma once
// The scripted fake agent: a DrvOps table whose every slot consults a script
// instead of a database, for testing the layers above the agent.
//
// It lives in the shared library libkvdfake.so. The test builds of the
// drivers (build/lib/kvd7r22xw_fake.so, build/lib/kvd7r22x_fake.so) register
// its table in place of the real agent and link libkvdfake.so; a test that
// links libkvdfake.so too (target kvdfake) shares the one script state with
// the driver it loads, directly or through the Driver Manager:
//
//   fake::Reset();                                        // fresh script, log, handles
//   fake::Script(SLOT_DRV_Prepare).result = E_42S02;      // every Prepare fails ...
//   fake::Script(SLOT_DRV_Prepare).messages = {{"[Oracle Server]ORA-00942: table or view "
//                                               "does not exist[SQLSTATE:42S02]", 942}};
//   fake::SetInfo(INFO_CAPS_MASK, 0x75FF);                // canned DRV_GetInfo answer
//   ... drive the driver ...
//   EXPECT_EQ(fake::CallCount(SLOT_DRV_Prepare), 1);
//   EXPECT_EQ(fake::Log().back().text, "select * from t");
//
// Canned data: SetColumns/SetRows give every cursor one result (described by
// DRV_DescribeColumns(2), fetched in blocks by DRV_Fetch, long cells marked
// Deferred read in pieces by DRV_GetDataChunk); SetParamDescs answers
// DRV_DescribeParams; ParamRows() shows the values of the last parameter
// Dataset handed down with DRV_SetParams or DRV_ExecDirect.
//
//   fake::SetColumns({{"ID", SQL_INTEGER, VT_SLONG, 4}, {"NAME", SQL_VARCHAR, VT_STRING, 30}});
//   fake::SetRows({{fake::I32(1), fake::Text("one")}, {fake::I32(2), fake::Null()}});
//
// Default behaviour of every slot (no script): a small working agent with
// handle tables (server 0xAAAA0001, connections 0xBBBBnnnn, cursors
// 0xCCCCnnnn; a handle of the wrong kind or unknown gives 21), GetInfo/SetInfo
// over a table of canned answers (unknown item: 1; INFO_WIDE, unless canned,
// answers 1 on a connection whose request carried the wide marker, as the
// agent's wide mode does), GetErrors handing up the
// handle's pending texts once, Connect recording its request, NativeSql
// echoing the text, GetOpTable answering a small conversion table, everything
// else 0. A script changes the result code, queues results call by call,
// leaves messages on the handle's error list and can run a hook inside the
// call (for example to block a call while another thread tests the busy rule).
// The script state is guarded by one mutex; hooks run outside it.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "odbc/drvops.h"

#define KVD_FAKE_API __attribute__((visibility("default")))

namespace fake {

// One agent message: the whole text as DRV_GetErrors hands it up, e.g.
// "[Oracle Server]ORA-00942: table or view does not exist[SQLSTATE:42S02]".
struct Msg {
  std::string text;
  int32_t native = 0;
};

// A message text in the agent's form from its parts.
KVD_FAKE_API std::string OraText(const std::string &message, const char *sqlstate);

// What one slot does.
struct SlotScript {
  std::optional<int32_t> result;  // the code every call returns (after the queue)
  std::deque<int32_t> queue;      // codes for the next calls, first one first
  // The code a call answers instead of 0 when no code is scripted and the
  // slot's own behaviour succeeded: 183 plays a failover that completed
  // during a call that did its work.
  std::optional<int32_t> onSuccess;
  std::vector<Msg> messages;      // left on the call's handle when the code is not 0
  std::function<void()> hook;     // run at the start of every call, outside the lock
};

// One logged call.
struct Call {
  int slot;          // DrvSlot
  DrvHandle handle;  // first argument (0 for DRV_Init)
  std::string text;  // the call's main argument: SQL, name, "0x%08X" info code, ...
  int32_t result;    // what the call returned
};

// A copy of the last DRV_Connect request.
struct ConnectCopy {
  std::string host, serverOptions, serverType, dbPath, dataSource, dbOptions, user, password, extra,
      programName;
  bool hasServerOptions = false;  // serverOptions was not null
  int32_t readOnly = 0;
  uint16_t loginTimeout = 0;
  int32_t reserved = 0, flag40 = 0;
  bool wide = false;              // serverOptions began with the wide marker
};

// A canned result column or parameter (becomes a ColDesc).
struct Column {
  std::string name;
  int32_t sqlType = 12;       // SQL_VARCHAR
  int32_t valueType = 17;     // VT_STRING
  uint32_t size = 255;        // column size and the declared size of the values
  int16_t digits = 0;
  uint32_t nullable = 1;      // SQL_NULLABLE
  int16_t oraType = 1;        // VARCHAR2
  std::string table, schema, catalog;
};

// A canned cell: its value's defined bytes (the text of a character value
// without prefix or terminator, the native bytes of a number, UTF-16 bytes
// for the wide types), NULL, or a long value left for DRV_GetDataChunk.
struct Cell {
  bool null = true;
  std::string bytes;
  int16_t indicator = 0;      // 0 present, -1 NULL, -3 deferred
};
KVD_FAKE_API Cell Null();
KVD_FAKE_API Cell Text(const std::string &s);      // also binary bytes
KVD_FAKE_API Cell I16(int16_t v);
KVD_FAKE_API Cell I32(int32_t v);
KVD_FAKE_API Cell F64(double v);
KVD_FAKE_API Cell Deferred(const std::string &s);  // indicator -3, served in pieces
using Row = std::vector<Cell>;

KVD_FAKE_API void SetColumns(const std::vector<Column> &cols);
KVD_FAKE_API void SetRows(const std::vector<Row> &rows);
KVD_FAKE_API void SetParamDescs(const std::vector<Column> &params);
// The rows of the last parameter Dataset handed down (cells read back with
// their defined bytes; indicators other than -1 kept).
KVD_FAKE_API std::vector<Row> ParamRows();

// Resets scripts, canned answers, error lists, handles, counters and log, and
// fills every slot of the table again.
KVD_FAKE_API void Reset();

// The script of a slot; changes apply to the next call.
KVD_FAKE_API SlotScript &Script(int slot);

// Empties a slot of the table (a null pointer, as a layer that does not fill
// it would leave it) until the next Reset.
KVD_FAKE_API void ClearSlot(int slot);

// Canned DRV_GetInfo answers; DRV_SetInfo also stores here.
KVD_FAKE_API void SetInfo(uint32_t code, int32_t value);
KVD_FAKE_API void SetInfoText(uint32_t code, const std::string &value);
KVD_FAKE_API void ForgetInfo(uint32_t code);
KVD_FAKE_API std::optional<int32_t> InfoValue(uint32_t code);

// Leaves texts on a handle's error list now (as a failed call would).
KVD_FAKE_API void PostErrors(DrvHandle h, const std::vector<Msg> &msgs);

// DRV_ParamData (unscripted) answers E_S1010 until this is called; then its
// next `cells` calls ask for the value of the first input parameter's first
// row (E_IM922), and the calls after them answer 0 (the statement ran).
KVD_FAKE_API void AskParamData(int cells);

// Counters and log.
KVD_FAKE_API int CallCount(int slot);
KVD_FAKE_API std::vector<Call> Log();
KVD_FAKE_API std::vector<Call> LogOf(int slot);

// State the calls left.
KVD_FAKE_API std::optional<ConnectCopy> LastConnect();
KVD_FAKE_API int LiveServers();     // DRV_Init references not yet released
KVD_FAKE_API int LiveConnections(); // agent connections open
KVD_FAKE_API int LiveCursors();     // agent cursors allocated
KVD_FAKE_API std::string CursorName(DrvHandle cursor);  // "" for an unknown cursor

// The fake table and its registration (what ORA_Register of the test
// drivers calls): flags 2 and the fake table.
KVD_FAKE_API DrvOps *Table();
KVD_FAKE_API int32_t Register(DrvObject *obj);
KVD_FAKE_API int RegisterCount();

}  // namespace fake
