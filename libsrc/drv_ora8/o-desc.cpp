// Result and parameter description handed up by the agent: deep copies of
// the agent cursor's ColDesc arrays and the extended column attributes
// (ColAttr rows) that the agent answers itself.
//
// ColAttr texts follow the rule of odbc/colattr.h: the rows built here own
// their texts; ColAttrListCopy moves the texts it keeps into the array
// handed up (which becomes the caller's) and ColAttrListFree frees the rows
// with the texts the compaction dropped.
#include "drv_ora8/o-desc.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "drv_ora8/db-fetch.h"
#include "drv_ora8/db-private.h"
#include "drv_ora8/o-reg.h"
#include "odbc/colattr.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "scrs/sc_s.h"

namespace {

struct TypeText {
  int16_t code;
  const char *name;
};

constexpr TypeText kTypeNames[] = {
    {1, "VARCHAR2"},    {2, "NUMBER"},        {3, "INTEGER"},
    {4, "FLOAT"},       {5, "STRING"},        {6, "VARNUM"},
    {8, "LONG"},        {9, "VARCHAR"},       {11, "ROWID"},
    {12, "DATE"},       {15, "VARRAW"},       {23, "RAW"},
    {24, "LONG RAW"},   {68, "UNSIGNED INT"}, {94, "LONG VARCHAR"},
    {95, "LONG VARRAW"}, {96, "CHAR"},        {97, "CHARZ"},
    {100, "BINARY_FLOAT"}, {101, "BINARY_DOUBLE"}, {102, "CURSOR"},
    {104, "ROWID"},     {105, "LABEL"},       {106, "OSLABEL"},
    {108, "OBJECT"},    {110, "REF"},         {112, "CLOB"},
    {113, "BLOB"},      {114, "BFILE"},       {115, "CFILE"},
    {116, "RSET"},      {122, "COLLECTION"},  {184, "ANSI DATE"},
    {185, "TIME"},      {186, "TIME WITH TIME ZONE"}, {187, "TIMESTAMP"},
    {188, "TIMESTAMP WITH TIME ZONE"}, {189, "INTERVAL YEAR TO MONTH"},
    {190, "INTERVAL DAY TO SECOND"}, {232, "TIMESTAMP WITH LOCAL TZ"},
};

bool OneOf(int32_t v, std::initializer_list<int32_t> set) {
  for (int32_t x : set)
    if (x == v) return true;
  return false;
}

// A deep copy of n records: each copy owns its catalog, schema, table and
// full column name. 0 or 16 (nothing handed out).
int32_t CopyColDescs(const ColDesc *src, uint16_t n, ColDesc **out) {
  ColDesc *dst = ColDescAlloc(n);
  if (!dst) return E_S1001;
  for (uint16_t i = 0; i < n; ++i) {
    dst[i] = src[i];
    dst[i].catalog = dst[i].schema = dst[i].table = dst[i].fullName = nullptr;
  }
  for (uint16_t i = 0; i < n; ++i) {
    const ColDesc &s = src[i];
    ColDesc &d = dst[i];
    if ((s.catalog && !(d.catalog = strdup(s.catalog))) || (s.schema && !(d.schema = strdup(s.schema))) ||
        (s.table && !(d.table = strdup(s.table))) || (s.fullName && !(d.fullName = strdup(s.fullName)))) {
      ColDescFree(dst, n);
      return E_S1001;
    }
  }
  *out = dst;
  return 0;
}

int32_t DescribeParams(AgentCursor *cur, uint16_t *count, ColDesc **params) {
  *count = 0;
  if (params) {
    if (int32_t rc = CopyColDescs(cur->pars, cur->parCount, params)) return rc;
  }
  *count = cur->parCount;
  return 0;
}

int32_t DescribeColumns(AgentCursor *cur, uint16_t *count, ColDesc **cols) {
  *count = 0;
  DB_Curs *c = cur->dbCurs;
  // A data-changing statement has no result columns (its result descriptors
  // are the LOB columns it writes).
  if (c && (c->kind == DBCURS_KIND_INSERT || c->kind == DBCURS_KIND_UPDATE)) return 0;
  if (!(cur->state & CURS_DESCRIBED) && cur->typeInfoState != 2) {
    if (!c) return E_S1010;
    if (int32_t rc = DB_DescribeOutput(c)) return rc;
    cur->state |= CURS_DESCRIBED;
  }
  if (cur->colCount > 0) {
    if (cols) {
      if (int32_t rc = CopyColDescs(cur->cols, cur->colCount, cols)) return rc;
    }
    *count = cur->colCount;
    return 0;
  }
  // A procedure call without a result answers with its parameters.
  if ((cur->state & CURS_PROC_CALL) && cur->parCount > 0) return DescribeParams(cur, count, cols);
  return 0;
}

constexpr int kAttrTemplates = 10;

struct AttrTemplate {
  int16_t id;
  int16_t kind;      // COLATTR_INT or COLATTR_TEXT
  int32_t allValue;  // all-columns integer value (texts: NULL)
};

constexpr AttrTemplate kTemplates[kAttrTemplates] = {
    {11, COLATTR_INT, 0},     // SQL_DESC_AUTO_UNIQUE_VALUE
    {12, COLATTR_INT, 0},     // SQL_DESC_CASE_SENSITIVE
    {-13, COLATTR_INT, 0},    // SQL_DESC_SEARCHABLE, left to the front end's default
    {10, COLATTR_INT, 2},     // SQL_DESC_UPDATABLE
    {14, COLATTR_TEXT, 0},    // SQL_DESC_TYPE_NAME
    {27, COLATTR_TEXT, 0},    // SQL_DESC_LITERAL_PREFIX
    {28, COLATTR_TEXT, 0},    // SQL_DESC_LITERAL_SUFFIX
    {1053, COLATTR_INT, 0},   // the cursor layer's, per column
    {35, COLATTR_INT, 0},     // SQL_COLUMN_ROWVER
    {1055, COLATTR_INT, 0},   // the cursor layer's, per column
};

// The value of template row t for a column of Oracle type ora. A text row
// gets an own copy of its text; false when that copy cannot be made.
bool ColumnValue(int t, int32_t ora, ColAttr *a) {
  const AttrTemplate &tp = kTemplates[t];
  a->attribute = tp.id;
  a->kind = tp.kind;
  switch (tp.id) {
    case 12:
      a->value.integer = OneOf(ora, {1, 8, 96, 104, 105, 112}) ? 1 : 0;
      return true;
    case -13:
      a->value.integer = OneOf(ora, {1, 96, 104, 105}) ? 3 : OneOf(ora, {23, 24, 102, 110, 113}) ? 0 : 2;
      return true;
    case 10:
      a->value.integer = ora == 104 ? 0 : 2;
      return true;
    case 14:
    case 27:
    case 28: {
      const char *text = tp.id == 14 ? OraTypeName(ora) : tp.id == 27 ? OraLiteralPrefix(ora) : OraLiteralSuffix(ora);
      a->value.text = strdup(text);
      return a->value.text != nullptr;
    }
    case 1053:
    case 1055:
      // Not final: the cursor layer fills it when it knows the base table.
      a->attribute = static_cast<int16_t>(-tp.id);
      a->value.integer = 0;
      return true;
    default:
      a->value.integer = 0;
      return true;
  }
}

}  // namespace

const char *OraTypeName(int32_t oraType) {
  for (const TypeText &t : kTypeNames)
    if (t.code == oraType) return t.name;
  return "";
}

const char *OraLiteralPrefix(int32_t oraType) {
  if (OneOf(oraType, {1, 5, 8, 9, 94, 96, 97, 104, 105, 106, 112})) return "'";
  if (OneOf(oraType, {15, 23, 24, 95, 113})) return "0x";
  return "";
}

const char *OraLiteralSuffix(int32_t oraType) {
  if (OneOf(oraType, {1, 5, 8, 9, 94, 96, 97, 104, 105, 106, 112})) return "'";
  return "";
}

int32_t ORA_DescribeColumns(DrvHandle h, uint16_t *count, ColDesc **cols) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !count) return E_S1009;
  if (cols) *cols = nullptr;
  return DescribeColumns(cur, count, cols);
}

int32_t ORA_DescribeParams(DrvHandle h, uint16_t *count, ColDesc **params) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !count) return E_S1009;
  if (params) *params = nullptr;
  return DescribeParams(cur, count, params);
}

int32_t ORA_DescribeColumns2(DrvHandle h, uint16_t *colCount, int16_t *attrCount, ColDesc **cols, ColAttr **attrs) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !colCount || !attrCount || !cols || !attrs) return E_S1009;
  *colCount = 0;
  *attrCount = 0;
  *cols = nullptr;
  *attrs = nullptr;
  if (int32_t rc = DescribeColumns(cur, colCount, cols)) return rc;
  const uint32_t n = *colCount;
  const uint32_t stride = n + 1;
  const int32_t total = static_cast<int32_t>(stride * kAttrTemplates);
  auto *rows = static_cast<ColAttr *>(calloc(static_cast<size_t>(total), sizeof(ColAttr)));
  if (!rows) return 0;  // the columns go up without extended attributes
  bool ok = true;
  for (int t = 0; t < kAttrTemplates; ++t) {
    ColAttr *run = rows + static_cast<size_t>(t) * stride;
    run[0].column = 0;
    run[0].attribute = kTemplates[t].id;
    run[0].kind = kTemplates[t].kind;
    if (kTemplates[t].kind == COLATTR_TEXT)
      run[0].value.text = nullptr;
    else
      run[0].value.integer = kTemplates[t].allValue;
    for (uint32_t col = 1; col <= n; ++col) {
      run[col].column = static_cast<int16_t>(col);
      ok = ColumnValue(t, (*cols)[col - 1].oraType, &run[col]) && ok;
    }
  }
  if (ok && (cur->scs.flags & SCSF_COLUMN_INFO)) {
    for (uint32_t col = 1; col <= n; ++col)
      scs_GetBaseColAttribs(&cur->scs, col, &(*cols)[col - 1], 15, stride, kAttrTemplates, rows);
  }
  if (ok) {
    int32_t outCount = 0;
    ColAttr *out = nullptr;
    if (ColAttrListCopy(total, rows, &outCount, &out, 1) == 0) {
      *attrCount = static_cast<int16_t>(outCount);
      *attrs = out;
    }
  }
  ColAttrListFree(rows, total);
  return 0;
}
