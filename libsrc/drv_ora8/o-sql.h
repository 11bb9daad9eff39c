#pragma once
// The agent's request builder: every SQL text that the agent prepares is
// copied, has its ODBC escape sequences ({fn}, {d}/{t}/{ts}, {oj}, {call},
// {escape}, CONVERT and the --*( ... --*) comment brackets) and parameter
// markers rewritten into Oracle SQL, has ROWID select-list items turned into
// rowidtochar(), and is classified as a query, a data-changing statement or
// something else. Pure text processing: nothing here touches OCI.
//
// Result codes are rows of SqlStateTable (odbc/sqlstate.h).
#include <cstddef>
#include <cstdint>

struct MemPool;

// The translated request kept in an agent cursor for the life of one
// prepared statement. The builder owns both strings (heap, free()).
struct SqlRequest {
  char *text;          // copy of the caller's text from its first non-blank
  char *translated;    // the text that is prepared
  int16_t outputCount; // SELECT: select-list items; call: output parameters
  uint16_t markerCount;
  int16_t inOutCount;
  int16_t kind;        // SqlRequestKind
  uint16_t flags;      // SqlRequestFlags
};

enum SqlRequestKind : int16_t {
  REQ_KIND_NONE = 0,
  REQ_KIND_SELECT = 1,
  REQ_KIND_DML = 2,    // INSERT, DELETE or UPDATE
  REQ_KIND_OTHER = 3,
};

enum SqlRequestFlags : uint16_t {
  REQ_FLAG_STAR = 0x1,    // a "*" stands in the select list
  REQ_FLAG_MARKERS = 0x2, // the text has parameter markers
  REQ_FLAG_CALL = 0x4,    // the text is a procedure call
};

// Scan flags: one word per build. EMPTY_STRING_ISNT_NULL: '' is sent as ' '.
constexpr uint32_t SCAN_EMPTY_AS_BLANK = 0x8;

// Nesting limit of escape sequences; a deeper nesting refuses the statement.
constexpr int ESC_MAX_DEPTH = 32;

// One row of a translation table: "%" in the template marks where the
// argument text goes; a NULL template means "leave the argument unchanged".
struct EscEntry {
  const char *name;
  const char *templ;
};

// Builds the request from a NUL-terminated text. emptyStringIsntNull is the
// connection's EMPTY_STRING_ISNT_NULL option. Both strings of the request are
// overwritten (free them first with SqlRequest_Free). Result 0, or 68
// (37000) for a SELECT without a free-standing FROM, a malformed or unknown
// escape sequence, escapes nested deeper than ESC_MAX_DEPTH or more than
// 65535 parameter markers; on 68 both strings are still stored.
int Request(SqlRequest *req, const char *text, bool emptyStringIsntNull);
// The same without translation (the cursor's no-scan option): text and
// translated are copies of the text; markers are not counted. 0 or 68.
int RequestNoScan(SqlRequest *req, const char *text);
// Sets kind, output count and the "*" flag from the translated text. 0 or 68.
int Request_Classify(SqlRequest *req);
// Appends the translation of text to the growing object of pool (no
// terminator). 0, or 68 when an escape is malformed or unknown, left open,
// or nested too deeply, or there are too many markers.
int Request_Scan(MemPool *pool, const char *text, SqlRequest *req, uint32_t *scanFlags);
// Translates one escape body collected in its own pool, appends the result
// to out and frees the body pool. 0 or 68 (unknown or malformed escape).
int Esc_Translate(MemPool *out, MemPool *body, uint32_t *scanFlags, SqlRequest *req);
// The template of name[0..nameLen) (case-insensitive), or NULL when the name
// is not in the table or its row has no template. The table is sorted.
const char *Esc_Lookup(const EscEntry *table, size_t count, const char *name, size_t nameLen);
// Append TO_DATE() of an ODBC date, time or timestamp literal ('...' text).
void Esc_Date(MemPool *pool, const char *literal);
void Esc_Time(MemPool *pool, const char *literal);
void Esc_Timestamp(MemPool *pool, const char *literal);
// Appends CONVERT(expr, typeName) translated; always 0.
int Esc_Convert(MemPool *pool, const char *expr, size_t exprLen, const char *typeName);
// Appends text with its ROWID select-list items rewritten to rowidtochar().
void Request_RowidToChar(MemPool *pool, const char *text);

// The body of DRV_NativeSql once the connection is found: translates text
// with the connection's EMPTY_STRING_ISNT_NULL option and copies the result
// out ODBC style (full length to *lenOut, NULL buffer allowed, a cut copy is
// NUL-terminated). *lenOut holds the length as an unsigned 16-bit value, at
// most 65535 (a longer text reports 65535 and is always cut). 0, 109 (01004)
// when cut, or the build's code.
int NativeSql_Translate(const char *text, bool emptyStringIsntNull, char *buf, uint16_t bufLen,
                        int16_t *lenOut);

// Frees both strings of a request and sets them to NULL; the counts stay.
void SqlRequest_Free(SqlRequest *req);

// The two translation tables (sorted by name, case-insensitively).
extern const EscEntry g_escScalarFunctions[];
extern const size_t g_escScalarFunctionCount;
extern const EscEntry g_escConvertTypes[];
extern const size_t g_escConvertTypeCount;
