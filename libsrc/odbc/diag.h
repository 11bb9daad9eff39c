#pragma once
// Diagnostics: a handle's message list and pending error code as ODBC
// diagnostic records (SQLError, SQLGetDiagRec, SQLGetDiagField).
//
// While a handle's message list is not empty its records are the messages,
// in list order, and the pending code is not reported; otherwise it has one
// record built from the pending code, or none when that is 0. The record
// count (SQL_DIAG_NUMBER) is the number of messages, or 1 when there are
// none. SQLError consumes records; SQLGetDiagRec and SQLGetDiagField only
// read them.
//
// Record forms:
//   message  "[Zezuzeru][ODBC]" + text, the text cut at "[SQLSTATE:" (any
//            case) and the state read from after the marker; "S1000" without
//            it; the message's native code. Leading blanks are skipped.
//   code     "[Zezuzeru][ODBC][Driver]" + the SqlStateTable row's message;
//            a code outside the table gives S1000 and "Undefined errorcode
//            (<code>).\nPlease install a newer client."; native code 0.
//   none     "00000", empty message, SQL_NO_DATA.
// In an ODBC 3 environment every SQLSTATE is rewritten to its ODBC 3 form.
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"
#include "odbc/objects.h"

// Rewrites a five-character ODBC 2 SQLSTATE in place into its ODBC 3 form.
// States that ODBC 3 still defines with the same meaning (22003, 22008,
// 24000, ...) stay as they are.
void DiagState3(char *state);

// The n-th message of a list counted from 1 (n <= 1: the first); NULL past
// the end.
DiagMsg *DiagMsgNth(DiagMsg *list, int n);

// The number of diagnostic records of a handle object (any of the four
// kinds, by its magic word): its message count, or 1 when it has none.
int DiagRecordCount(void *object);

// One record of a handle object, as SQLGetDiagRec reads it (record numbers
// from 1; nothing is consumed). state receives 6 bytes; any output may be
// NULL; bufLen is in bytes. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (message cut)
// or SQL_NO_DATA.
SQLRETURN DiagRecRead(void *object, int record, char *state, int32_t *native, char *msg, int16_t bufLen,
                      int16_t *textLen);

SQLRETURN odbc_Error_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_Error_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_Error_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagRec_Desc(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Env(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Dbc(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Stmt(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDiagField_Desc(void *object, const ApiArgs &args);
