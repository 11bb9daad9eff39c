#pragma once
// The cursor layer's SQL analysis: a statement parsed into its tree, the
// SELECT's shape (flags), its tables, select list and ORDER BY items, and
// the rewrites that leave the marker PT_MARKER where generated SQL belongs.
//
// Results are SqlStateTable rows: 0, 15 (S1000) when the tree lacks what a
// step needs or a name does not fit its field, 16 (S1001) no memory, 68
// (37000) when the statement cannot be analysed. Names are never cut: a name
// or item longer than its field fails the step with 15.
#include <cstdint>

#include "scrs/ptree.h"

// SELECT flags.
enum : uint16_t {
  SCR_WHERE = 0x0002,
  SCR_ORDERBY = 0x0004,
  SCR_GROUPBY = 0x0008,
  SCR_UNION = 0x0010,
  SCR_MULTITABLE = 0x0020,
  SCR_ORDERBYNUM = 0x0040,
  SCR_AGGREGATE = 0x0080,
  SCR_OUTERJOIN = 0x0100,
};

struct AnalysedSQL {
  char *text;        // the statement from its first non-blank character
  char *text2;       // the error-position text; later a caller's rewritten text
  char *errMsg;      // the last error recorded during the parse
  PTNode *root;
  int32_t kind;      // root type; -1 nothing analysed, 0 during and after a failed analysis
  uint16_t flags;    // SCR_* (a SELECT analysed in mode 0)
};

struct TableRef {
  char *qualifier, *owner, *table, *alias;  // owned, never null
};

inline constexpr size_t SCS_NAME_SIZE = 509;
inline constexpr size_t SCS_ITEM_SIZE = 2036;

struct ScsColDesc {
  char name[SCS_NAME_SIZE];
  char table[SCS_NAME_SIZE];
  char alias[SCS_NAME_SIZE];
  char owner[SCS_NAME_SIZE];
  char qualifier[SCS_NAME_SIZE];
  int16_t sqlType;
  int32_t columnSize;
  int16_t decimalDigits;
  uint8_t orderByPos;
  int32_t kind;  // 1 "*", 2 name.*, 3 expression, 4 column
};

struct ScsOrderCol {
  char text[SCS_ITEM_SIZE];
  char name[SCS_NAME_SIZE];
  char table[SCS_NAME_SIZE];
  char alias[SCS_NAME_SIZE];
  char owner[SCS_NAME_SIZE];
  char qualifier[SCS_NAME_SIZE];
  uint8_t colNumber;  // ORDER BY by number, 0 otherwise
  int32_t desc;
  int32_t matchedKey;
  int16_t sqlType;
  int32_t columnSize;
  int16_t decimalDigits;
};

void SCR_AnalysedInit(AnalysedSQL *a);
void SCR_AnalysedFree(AnalysedSQL *a);

// An analysis that frees itself at the end of its scope.
struct ScopedAnalysed {
  AnalysedSQL a{};
  ScopedAnalysed() { SCR_AnalysedInit(&a); }
  ~ScopedAnalysed() { SCR_AnalysedFree(&a); }
  ScopedAnalysed(const ScopedAnalysed &) = delete;
  ScopedAnalysed &operator=(const ScopedAnalysed &) = delete;
};
// Parses text into the record. Mode 0 computes the flags of a SELECT.
int SCR_AnalyseSQL(AnalysedSQL *a, const char *text, int mode, int keepQualifier);
// The parse step shared with the parameter description: frees the record,
// keeps the text, parses it and regenerates the tree. 0, 68 or 16.
int SCR_ParseInto(AnalysedSQL *a, const char *text);

int SCR_TablesGet(AnalysedSQL *a, VArray *tables, int keepQualifier);
void SCR_TableRefFree(void *tableRef);
int SCR_SelectListMark(AnalysedSQL *a);
// The select list kept and the marker after it, behind a comma; a bare
// "*" becomes starOwner.* when starOwner is given.
int SCR_SelectListAppendMark(AnalysedSQL *a, const char *starOwner);
int SCR_WhereMark(AnalysedSQL *a);
int SCR_OrderByMark(AnalysedSQL *a);
int SCR_OrderByReverse(AnalysedSQL *a);
int SCR_OrderColsGet(AnalysedSQL *a, VArray *orderCols);
int SCR_OrderNumbersResolve(AnalysedSQL *a, VArray *orderCols);
int SCR_SelectColsGet(AnalysedSQL *a, VArray *cols);
// Splits a dotted column reference into name, table and owner; alias and
// qualifier become empty. 0, or 15 when a part does not fit.
int SCR_NameSplit(const char *dotted, char *name, char *table, char *alias, char *owner, char *qualifier);
