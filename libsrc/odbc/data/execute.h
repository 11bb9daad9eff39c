#pragma once
// Statement execution: SQLExecute, the parameter Dataset builders, sending
// parameter values and information to the agent, and the completion of an
// execute (params processed, statement state, parameter status array,
// output parameter values).
//
// ExecuteCheckParams, ExecuteLocal, ExecuteAgent and FetchOutputParams are
// declared in odbc/data/services.h (the front end calls them).
//
// The parameter Dataset has one column per input or input/output parameter
// (in parameter order) and one row per paramset row that the APD's
// operation array does not mark SQL_PARAM_IGNORE. Each column's value type
// and element size are settled for the whole array before any value is
// written, so no single row (a date/time escape, a NULL) retypes the column
// under the other rows: a CHAR or WCHAR parameter of a DATE, TIME or
// TIMESTAMP SQL type becomes a date/time structure column when every value
// present is such an escape (or none is present); when plain text is mixed
// in, the column stays text and the escapes are sent as ISO text.
//
// Until data at execution is built, a data-at-execution length is refused
// with 43 (S1C00) before anything reaches the agent.
#include <sql.h>

#include <cstdint>

#include "odbc/drvops.h"

struct Stmt;
struct Desc;
struct ParamBinding;

// Classes of a parameter, from its description's name ("*O", "*B", "*U")
// and, for "*U", from the direction of its binding.
enum ParamClass : int { PARAM_CLASS_IN = 1, PARAM_CLASS_INOUT = 2, PARAM_CLASS_OUT = 4 };
ParamClass ParamClassOf(const Stmt *stmt, uint16_t index);  // index 0-based

// Completes an execute whose agent result is the statement's pending code
// (0, 74, 80 or an error): result descriptions dropped, params processed,
// state, executed flag, parameter status array, output parameter values.
// rowsProcessed: the rows of the parameter Dataset that went down.
SQLRETURN ExecuteFinish(Stmt *stmt, uint64_t rowsProcessed);

// ParamDesc records from ParamInfo records, each named after its IPD record
// (record n for parameter n) when that record is SQL_NAMED and has a name.
// NULL when memory runs out. ParamDescsFree frees the names; the caller
// frees the array.
ParamDesc *ParamDescsBuild(const ParamInfo *info, uint16_t count, Desc *ipd);
void ParamDescsFree(ParamDesc *descs, uint16_t count);

// Frees the result-column descriptions; the count becomes 0.
void FreeResultColDescs(Stmt *stmt);

// For an agent without wide mode: wide SQL types and SQL_C_WCHAR become
// their narrow twins.
void NarrowParamInfo(ParamInfo *info, uint16_t count);

// Octet length of one element of a bound parameter array (the stride of
// column-wise binding).
int64_t ParamBufferLength(const ParamBinding *b);
// Octet length of the value of paramset row `row` (0 for NULL and for a
// missing value). ParamValueLength counts a data-at-execution cell by its
// buffered pieces, ParamValueLength2 (the agent builder's) as 0.
int64_t ParamValueLength(Stmt *stmt, const ParamBinding *b, uint64_t row, int64_t elemLen);
int64_t ParamValueLength2(Stmt *stmt, const ParamBinding *b, uint64_t row, int64_t elemLen);
// The largest value length over the paramset rows 0 to count - 1 that are not
// ignored; 0 when there are none.
int64_t ParamMaxLength(Stmt *stmt, const ParamBinding *b, uint64_t count, int64_t elemLen);
int64_t ParamMaxLength2(Stmt *stmt, const ParamBinding *b, uint64_t count, int64_t elemLen);

// Builds the parameter Dataset of the statement's current bindings into ds
// (a zeroed record): agent 1 marks data-at-execution cells -2, agent 0 takes
// their buffered pieces. 0 or an SqlStateTable code (16, 22005, 25, ...).
// Exposed for tests.
int BuildParamDataset(Stmt *stmt, int agent, Dataset *ds);

// Appends one SQLPutData piece to a cell's buffer (*buf, *held bytes; held
// SQL_NULL_DATA once a NULL piece came). SQL_NULL_DATA drops what came
// before and makes the value NULL; a value of fixed length (not CHAR, WCHAR
// or BINARY) comes in one piece of fixedSize bytes. 0 or a code (S1009 bad
// length, S1019 second piece of a fixed value, S1001 with the earlier
// pieces kept, S1C00 SQL_DEFAULT_PARAM).
int32_t DaeAppendPiece(void **buf, int64_t *held, int16_t cType, int64_t fixedSize, const void *data,
                       int64_t length);

// UTF-16 piece to UTF-8 for an agent without wide mode. A high surrogate at
// the end waits for the next piece in *held (0 none), so that a pair split
// between pieces still becomes one character. 0 or S1001.
int NarrowPiece(void **buf, int32_t *len, int32_t *valueType, uint16_t *held);
