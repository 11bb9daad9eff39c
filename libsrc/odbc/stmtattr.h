#pragma once
// Statement options (ODBC 2: SQLSetStmtOption, SQLGetStmtOption) and
// statement attributes (ODBC 3: SQLSetStmtAttr, SQLGetStmtAttr and their W
// forms).
//
// The ODBC 2 options are the core. Each is kept in the statement, and most
// are also handed to the agent cursor as the InfoCode 0x32030000 + option;
// when the agent answers 75 (01S02) it stored another value, which is read
// back and kept, and the call answers SQL_SUCCESS_WITH_INFO. The ODBC 3
// attributes map onto that core, onto header fields of the statement's
// descriptors (through DescSetField), onto the descriptor handles
// themselves, or onto a few statement pointers.
//
// Cursor type and concurrency are kept twice in the statement's cursor
// state: the values in force and the values the application asked for
// (savedCursorType, savedConcurrency). Setting either marks the cursor
// options changed (cursor state flag 0x800), so that the next prepare hands
// the asked-for values to the agent again and reads back what it settled on.
#include <cstdint>

#include "odbc/dispatch.h"

struct Stmt;

// Driver-specific statement options kept in the cursor state.
enum : uint16_t {
  STMT_OPT_SELECT_COLUMNS = 1050,  // select-column mode, 1 or 2
  STMT_OPT_1048 = 1048,            // asked of the agent only
  STMT_OPT_1049 = 1049,
  STMT_OPT_PRIVATE_1052 = 1052,
  STMT_OPT_PRIVATE_1054 = 1054,
  STMT_OPT_TEXT_1226 = 1226,       // passed as a text
};

// Bit of the cursor state's flags: the asked-for cursor type or concurrency
// differs from what the agent cursor was last told at prepare.
constexpr uint16_t kCursorOptionsChanged = 0x0800;

// Sets one ODBC 2 option: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01S02 pending)
// or SQL_ERROR with the statement's pending code set.
SQLRETURN StmtSetOption(Stmt *stmt, uint16_t option, uint64_t value);
// Reads one ODBC 2 option into *value with the ODBC 2 width of the option
// (4 or 8 bytes). A null value pointer answers SQL_SUCCESS and writes
// nothing. SQL_SUCCESS or SQL_ERROR with the pending code set.
SQLRETURN StmtGetOption(Stmt *stmt, uint16_t option, void *value);
// The same read through the SQLGetStmtOption record, as an application call
// would make it.
SQLRETURN StmtGetOptionV(Stmt *stmt, uint16_t option, void *value);
// Sets one ODBC 3 attribute; mode 'A' or 'W' is handed to DescSetField.
SQLRETURN StmtSetAttr(Stmt *stmt, int32_t attr, uint64_t value, int32_t length, char mode);

// Records SetStmtOption (option, value), GetStmtOption (option, value
// pointer), SetStmtAttr(W) (attribute, value, StringLength, mode) and
// GetStmtAttr(W) (attribute, value pointer, BufferLength, StringLength
// pointer). On the ODBC 3 path every SQLULEN-typed value is written as 8
// bytes, handles as 8-byte SQLHANDLEs, and a null StringLength pointer is
// never written through.
SQLRETURN odbc_SetStmtOption(void *object, const ApiArgs &args);
SQLRETURN odbc_GetStmtOption(void *object, const ApiArgs &args);
SQLRETURN odbc_SetStmtAttr(void *object, const ApiArgs &args);
SQLRETURN odbc_GetStmtAttr(void *object, const ApiArgs &args);
