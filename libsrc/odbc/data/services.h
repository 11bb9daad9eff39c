#pragma once
// What the front end needs of the data exchange layer: the implementations
// behind the fetch, data, parameter, descriptor-field, SetPos, bulk,
// execute and type-info records, and the helpers the statement and
// descriptor objects call.
//
// The record implementations, BindParam, BindColumn, DescGetField,
// DescSetField, FetchOutputParams and the execute helpers are weak
// "Driver not capable" bodies until the data exchange layer supplies the
// real ones. FreeFetchedRows, RowsPerBlock and the Rowset release are real.
// (DefaultCType lives in odbc/data/ctype.h.)
#include <sql.h>

#include <cstdint>

#include "odbc/dispatch.h"

struct Stmt;
struct Desc;
struct Dataset;
struct ColDesc;

// ---- Record implementations (statement; GetDescField/SetDescField: descriptor,
// with the mode character last) --------------------------------------------------
SQLRETURN odbc_Fetch(void *object, const ApiArgs &args);
SQLRETURN odbc_GetData(void *object, const ApiArgs &args);
SQLRETURN odbc_SetParam(void *object, const ApiArgs &args);
SQLRETURN odbc_BindParameter(void *object, const ApiArgs &args);
SQLRETURN odbc_ParamData(void *object, const ApiArgs &args);
SQLRETURN odbc_PutData(void *object, const ApiArgs &args);
SQLRETURN odbc_DescribeParam(void *object, const ApiArgs &args);
SQLRETURN odbc_GetDescField(void *object, const ApiArgs &args);
SQLRETURN odbc_SetDescField(void *object, const ApiArgs &args);
SQLRETURN odbc_BindCol(void *object, const ApiArgs &args);
SQLRETURN odbc_FetchScroll(void *object, const ApiArgs &args);
SQLRETURN odbc_SetPos(void *object, const ApiArgs &args);
SQLRETURN odbc_BulkOperations(void *object, const ApiArgs &args);
SQLRETURN odbc_Execute(void *object, const ApiArgs &args);
SQLRETURN odbc_GetTypeInfo(void *object, const ApiArgs &args);
SQLRETURN odbc_ExtendedFetch(void *object, const ApiArgs &args);

// ---- Rowset: the rows of one scroll fetch --------------------------------------

struct Rowset {
  uint16_t *status;  // one ODBC row status per row, 3 (no row) initially
  Dataset *rows;     // row i (1-based) is Dataset row i - 1
  int32_t count;     // entries in status
};

// Frees the rowset's rows and statuses and the record; *rowset becomes null.
// A null *rowset only stays null.
void RowsetFree(Rowset **rowset);

// ---- Helpers ----------------------------------------------------------------------

// Drops the statement's fetched rows and its cursor state's rowset; on a
// connection with cn_hasV2DAE also the pending piecewise GetData state; the
// rows-in-block count becomes 0. Returns 0.
int FreeFetchedRows(Stmt *stmt);

// Rows of one fetch block: 0 for no columns, else 65535 divided by the
// estimated bytes of one row (summed per column by its value type).
int RowsPerBlock(const ColDesc *descs, uint16_t count);

// Checks and stores one parameter binding and updates the APD and IPD
// records. 0, or SQL_ERROR with the statement's pending error set.
int BindParam(Stmt *stmt, uint16_t number, int16_t paramType, int16_t cType, int16_t sqlType, uint64_t columnSize,
              int16_t decimalDigits, void *data, int64_t bufferLength, int64_t *lengthPtr, int64_t *indicatorPtr);

// Adds, replaces or (null data) removes one column binding and sets the
// ARD's record. 0 or an error code with the statement's pending error set.
int BindColumn(Stmt *stmt, uint16_t column, int16_t cType, void *data, int64_t bufferLength, int64_t *indicatorPtr);

SQLRETURN DescGetField(Desc *desc, int16_t record, int16_t field, void *value, int64_t bufferLength,
                       int64_t *returnedLength, char mode);
SQLRETURN DescSetField(Desc *desc, int16_t record, int16_t field, int64_t value, int64_t length, char mode);

SQLRETURN FetchOutputParams(Stmt *stmt);
SQLRETURN ExecuteCheckParams(Stmt *stmt);
SQLRETURN ExecuteLocal(Stmt *stmt);
SQLRETURN ExecuteAgent(Stmt *stmt);
