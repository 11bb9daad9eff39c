// The agent's catalog operations: each runs one dictionary query built from a
// catalog template on the caller's cursor and retypes the result columns that
// ODBC prescribes; SQLGetTypeInfo is served from the static type catalogue
// without SQL.
#include "drv_ora8/o-catalog.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "drv_ora8/db-curs.h"
#include "drv_ora8/db-private.h"
#include "drv_ora8/o-exec.h"
#include "drv_ora8/o-reg.h"
#include "drv_ora8/sqltmpl.h"
#include "odbc/dataset.h"
#include "odbc/sqlstate.h"
#include "odbc/valuetype.h"
#include "util/mpl.h"
#include "util/utf.h"

namespace {

char kSwitchY[] = "Y";
char kSwitchR[] = "R";
char kSwitchOne[] = "1";
char kSwitchRowid[] = "ROWID";
char kSwitchUnique[] = "UNIQUE";
char kEmpty[] = "";

struct Retype {
  uint16_t column;
  int16_t sqlType;
};

const AgentOptions &opts(const AgentCursor *cur) { return cur->conn->opts; }
char *synonyms(const AgentCursor *cur) { return opts(cur).showSynonyms ? kSwitchY : kEmpty; }

// Runs the query and, when it succeeded, retypes the listed columns.
int32_t run(DrvHandle h, AgentCursor *cur, const char *tmpl, char **args, unsigned count,
            std::initializer_list<Retype> retypes) {
  int32_t rc = ORA_CatalogQuery(h, tmpl, args, count);
  if (rc != 0) return rc;
  for (const Retype &r : retypes) ORA_ForceColType(cur, r.column, r.sqlType);
  return 0;
}

// ---- Reading and writing cells of a fetched block (post-fetch steps) ---------------

int32_t cell_int(const Dataset *ds, int32_t row, uint16_t col) {
  if (col >= ds->columns || ds->cols[col].indicators[row] < 0) return 0;  // NULL reads as 0
  const DatasetCol &c = ds->cols[col];
  const unsigned char *p = c.values + static_cast<size_t>(row) * c.size;
  switch (c.type) {
    case VT_SSHORT: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case VT_SLONG: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default:
      return 0;
  }
}

void cell_put_int(Dataset *ds, int32_t row, uint16_t col, int32_t value) {
  if (col >= ds->columns) return;
  DatasetCol &c = ds->cols[col];
  unsigned char *p = c.values + static_cast<size_t>(row) * c.size;
  if (c.type == VT_SSHORT) {
    const int16_t v = static_cast<int16_t>(value);
    std::memcpy(p, &v, 2);
  } else if (c.type == VT_SLONG) {
    std::memcpy(p, &value, 4);
  } else {
    return;
  }
  c.indicators[row] = 0;
}

// The type name of a row as counted UTF-8 (at most 31 bytes: longer names
// are no Oracle type names anyway).
uint16_t cell_type_name(const Dataset *ds, int32_t row, uint16_t col, char out[32]) {
  const void *data = nullptr;
  uint32_t len = 0;
  if (col >= ds->columns || DatasetValueRef(ds, static_cast<uint32_t>(row), col, &data, &len) != 0 || !data) return 0;
  const int32_t type = ds->cols[col].type;
  if (type == VT_WVARCHAR4 || type == VT_WSTRING || type == VT_WCHAR) {
    uint32_t used = 0;
    return static_cast<uint16_t>(
        utf16_to_utf8_count(static_cast<const uint16_t *>(data), out, len / 2, 31, &used));
  }
  const uint32_t n = len > 31 ? 31 : len;
  std::memcpy(out, data, n);
  return static_cast<uint16_t>(n);
}

int32_t typeinfo_rc(AgentCursor *cur, int32_t rc) {
  if (rc) ErrList_PushCode(&cur->errs, rc);
  return rc;
}

// Upper-cases the table type list in place (ASCII letters only).
void upper_in_place(char *s) {
  for (; s && *s; ++s)
    if (*s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
}

}  // namespace

// ---- Common steps -----------------------------------------------------------

int32_t ORA_CatalogQuery(DrvHandle h, const char *tmpl, char **args, unsigned count) {
  MemPool pool;
  mpl_init(&pool);
  SqlTmpl_ExpandQuoted(&pool, tmpl, args, count);
  const char *sql = static_cast<const char *>(mpl_finish(&pool));
  int32_t rc = ORA_Prepare(h, sql);
  mpl_free_all(&pool);
  if (rc == 0) rc = ORA_Execute(h);
  return rc;
}

const char *ORA_PickCatalogTemplate(const AgentCursor *cur, const char *builtIn, const char *view) {
  if (opts(cur).showSynonyms) return builtIn;
  if (opts(cur).oraCatalogs) return view;
  return builtIn;
}

uint32_t ORA_TablesSpecialCase(char *const names[4]) {
  auto given = [&](int i) { return names[i] && names[i][0] != 0; };
  auto all = [&](int i) { return names[i] && std::strcmp(names[i], "%") == 0; };
  uint32_t set = 0;
  for (int i = 0; i < 4; ++i)
    if (all(i)) set |= 1u << i;
  if (all(0) && (given(1) || given(2))) set = 0;
  if (all(1) && (given(0) || given(2))) set = 0;
  if (all(3) && (given(0) || given(1) || given(2))) set = 0;
  return set;
}

// ---- The operations ---------------------------------------------------------------

int32_t ORA_DDColumnPrivileges(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *args[] = {a->names[0], a->names[1], a->names[2], a->names[3], synonyms(cur)};
  return run(h, cur, CatalogTemplate(CT_COLUMN_PRIVILEGES), args, 5, {});
}

int32_t ORA_DDTablePrivileges(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *args[] = {a->names[0], a->names[1], a->names[2], synonyms(cur)};
  return run(h, cur, CatalogTemplate(CT_TABLE_PRIVILEGES), args, 4, {});
}

int32_t ORA_DDTables(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  const uint32_t special = ORA_TablesSpecialCase(a->names);
  if (special & TSC_CATALOG) return E_S1C00;  // the driver lists no catalogs
  char *args[] = {synonyms(cur)};
  if (special & TSC_SCHEMA) return ORA_CatalogQuery(h, CatalogTemplate(CT_TABLES_SCHEMAS), args, 1);
  if (special & TSC_TYPES) return ORA_CatalogQuery(h, CatalogTemplate(CT_TABLES_TYPES), args, 1);
  return ORA_DDTablesList(h, a);
}

int32_t ORA_DDTablesList(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  upper_in_place(a->names[3]);
  char *args[] = {a->names[0], a->names[1], a->names[2], a->names[3],
                  opts(cur).userTablesFirst ? kSwitchR : kEmpty, synonyms(cur)};
  return ORA_CatalogQuery(h, CatalogTemplate(CT_TABLES), args, 6);
}

int32_t ORA_DDColumns(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *args[] = {a->names[0], a->names[1], a->names[2], a->names[3], kSwitchOne,
                  opts(cur).showRemarks ? kSwitchY : kEmpty, synonyms(cur)};
  const int16_t remarks = cur->conn->wide ? -9 : 12;
  int32_t rc = run(h, cur, CatalogTemplate(CT_COLUMNS), args, 7,
                   {{5, 5}, {7, 4}, {8, 4}, {9, 5}, {10, 5}, {11, 5}, {13, remarks}, {14, 5}, {15, 5}, {16, 4},
                    {17, 4}});
  if (rc == 0) cur->postFetch = ORA_DDColumnsPostFetch;
  return rc;
}

int32_t ORA_DDForeignKeys(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *args[] = {a->names[0], a->names[1], a->names[2], a->names[3], a->names[4], a->names[5], synonyms(cur)};
  const char *tmpl =
      ORA_PickCatalogTemplate(cur, CatalogTemplate(CT_FOREIGN_KEYS), CatalogTemplate(CT_FOREIGN_KEYS_VIEW));
  return run(h, cur, tmpl, args, 7, {{9, 5}, {10, 5}, {11, 5}, {14, 5}});
}

int32_t ORA_DDPrimaryKeys(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *args[] = {a->names[0], a->names[1], a->names[2], synonyms(cur)};
  const char *tmpl =
      ORA_PickCatalogTemplate(cur, CatalogTemplate(CT_PRIMARY_KEYS), CatalogTemplate(CT_PRIMARY_KEYS_VIEW));
  return run(h, cur, tmpl, args, 4, {{5, 5}});
}

namespace {
// Without the catalog views, PKG.PROC names routine PROC of package PKG: the
// procedure text is cut at its first "." in place.
char *split_package(const AgentCursor *cur, char **procedure) {
  if (opts(cur).oraCatalogs || !*procedure || !**procedure) return nullptr;
  char *dot = std::strchr(*procedure, '.');
  if (!dot) return nullptr;
  *dot = 0;
  char *package = *procedure;
  *procedure = dot + 1;
  return package;
}
}  // namespace

int32_t ORA_DDProcedureColumns(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *procedure = a->names[2];
  char *package = split_package(cur, &procedure);
  char *args[] = {a->names[0], a->names[1], procedure, a->names[3], package, synonyms(cur)};
  const char *tmpl = ORA_PickCatalogTemplate(cur, CatalogTemplate(CT_PROCEDURE_COLUMNS),
                                             CatalogTemplate(CT_PROCEDURE_COLUMNS_VIEW));
  return run(h, cur, tmpl, args, 6,
             {{5, 5}, {6, 5}, {8, 4}, {9, 4}, {10, 5}, {11, 5}, {12, 5}, {15, 5}, {16, 5}, {17, 4}, {18, 4}});
}

int32_t ORA_DDProcedures(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *procedure = a->names[2];
  char *package = split_package(cur, &procedure);
  char *args[] = {a->names[0], a->names[1], procedure, package, synonyms(cur)};
  const char *view = CatalogTemplate(opts(cur).countProcParams ? CT_PROCEDURES_VIEW : CT_PROCEDURES_NO_COUNT_VIEW);
  const char *tmpl = ORA_PickCatalogTemplate(cur, CatalogTemplate(CT_PROCEDURES), view);
  return run(h, cur, tmpl, args, 5, {{4, 5}, {5, 5}, {6, 5}, {8, 5}});
}

int32_t ORA_DDSpecialColumns(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *args[] = {a->names[0], a->names[1], a->names[2], a->options[0] == 1 ? kSwitchRowid : kEmpty, synonyms(cur)};
  const char *tmpl =
      ORA_PickCatalogTemplate(cur, CatalogTemplate(CT_SPECIAL_COLUMNS), CatalogTemplate(CT_SPECIAL_COLUMNS_VIEW));
  int32_t rc = run(h, cur, tmpl, args, 5, {{1, 5}, {3, 5}, {5, 4}, {6, 4}, {7, 5}, {8, 5}, {9, 5}, {10, 5}, {11, 5}});
  if (rc == 0) {
    cur->postFetch = ORA_DDSpecialColumnsPostFetch;
    cur->catalogRowCounter = 0;
  }
  return rc;
}

int32_t ORA_DDStatistics(DrvHandle h, CatalogArgs *a) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur || !a) return E_S1009;
  char *args[] = {a->names[0], a->names[1], a->names[2], a->options[0] == 0 ? kSwitchUnique : kEmpty, synonyms(cur)};
  return run(h, cur, CatalogTemplate(CT_STATISTICS), args, 5, {{4, 5}, {7, 5}, {8, 5}, {10, 12}, {11, 4}, {12, 4}});
}

// ---- Post-fetch steps ---------------------------------------------------------------

int32_t ORA_DDColumnsPostFetch(AgentCursor *cur, Dataset *ds) {
  const AgentConn *conn = cur->conn;
  for (int32_t r = 0; r < ds->rows; ++r) {
    char name[32];
    const uint16_t len = cell_type_name(ds, r, 5, name);
    int16_t sqlType = 0, sqlDataType = 0, sub = 0;
    int32_t size = cell_int(ds, r, 6), buffer = cell_int(ds, r, 7);
    db_TypeNameToSqlType(&sqlType, name, len, &size, &buffer, static_cast<int16_t>(cell_int(ds, r, 8)),
                         &sqlDataType, &sub, conn->odbcVersion, conn->opts.jet, conn->wide);
    cell_put_int(ds, r, 4, sqlType);
    cell_put_int(ds, r, 6, size);
    cell_put_int(ds, r, 7, buffer);
    cell_put_int(ds, r, 13, sqlDataType);
    if (sub == -1) {
      if (ds->columns > 14) ds->cols[14].indicators[r] = kIndNull;
    } else {
      cell_put_int(ds, r, 14, sub);
    }
  }
  return 0;
}

int32_t ORA_DDSpecialColumnsPostFetch(AgentCursor *cur, Dataset *ds) {
  const AgentConn *conn = cur->conn;
  for (int32_t r = 0; r < ds->rows; ++r) {
    ++cur->catalogRowCounter;
    if (cur->catalogRowCounter != cell_int(ds, r, 10)) {
      // Only the first unique index (or the ROWID row) is the answer.
      ds->rows = r;
      cur->state |= CURS_NO_MORE_ROWS;
      return 0;
    }
    char name[32];
    const uint16_t len = cell_type_name(ds, r, 3, name);
    int16_t sqlType = 0;
    int32_t size = cell_int(ds, r, 4), buffer = cell_int(ds, r, 5);
    db_TypeNameToSqlType(&sqlType, name, len, &size, &buffer, static_cast<int16_t>(cell_int(ds, r, 6)), nullptr,
                         nullptr, conn->odbcVersion, conn->opts.jet, conn->wide);
    cell_put_int(ds, r, 2, sqlType);
    cell_put_int(ds, r, 4, size);
    cell_put_int(ds, r, 5, buffer);
  }
  return 0;
}

// ---- Type information ------------------------------------------------------------------

namespace {

ColDesc ti_desc(const char *name, int32_t sqlType) {
  ColDesc d{};
  std::strncpy(d.name, name, sizeof d.name - 1);
  d.oraType = -9999;
  d.sqlType = sqlType;
  switch (sqlType) {
    case 12:
      d.columnSize = 32, d.displaySize = 32, d.valueType = VT_STRING, d.octetLength = 32;
      break;
    case 5:
      d.columnSize = 5, d.displaySize = 6, d.valueType = VT_SSHORT, d.octetLength = 2;
      break;
    default:  // 4
      d.columnSize = 10, d.displaySize = 11, d.valueType = VT_SLONG, d.octetLength = 4;
      break;
  }
  return d;
}

// The four-byte-text columns (literal prefix and suffix) are narrower.
ColDesc ti_short_text(const char *name) {
  ColDesc d = ti_desc(name, 12);
  d.columnSize = d.displaySize = d.octetLength = 4;
  return d;
}

const ColDesc kTypeInfoDescs[19] = {
    ti_desc("TYPE_NAME", 12),          ti_desc("DATA_TYPE", 5),          ti_desc("COLUMN_SIZE", 4),
    ti_short_text("LITERAL_PREFIX"),   ti_short_text("LITERAL_SUFFIX"),  ti_desc("CREATE_PARAMS", 12),
    ti_desc("NULLABLE", 5),            ti_desc("CASE_SENSITIVE", 5),     ti_desc("SEARCHABLE", 5),
    ti_desc("UNSIGNED_ATTRIBUTE", 5),  ti_desc("FIXED_PREC_SCALE", 5),   ti_desc("AUTO_UNIQUE_VALUE", 5),
    ti_desc("LOCAL_TYPE_NAME", 12),    ti_desc("MINIMUM_SCALE", 5),      ti_desc("MAXIMUM_SCALE", 5),
    ti_desc("SQL_DATA_TYPE", 5),       ti_desc("SQL_DATETIME_SUB", 5),   ti_desc("SQL_NUM_PREC_RADIX", 4),
    ti_desc("INTERVAL_PRECISION", 5),
};

}  // namespace

int32_t ORA_DDTypeInfo(DrvHandle h, int16_t sqlType) {
  AgentCursor *cur = Agent_Cursor(h);
  if (!cur) return E_S1009;
  AgentCursor_Reset(cur);
  ColDesc *descs = ColDescAlloc(19);
  if (!descs) return typeinfo_rc(cur, E_S1001);
  std::memcpy(descs, kTypeInfoDescs, sizeof kTypeInfoDescs);
  cur->cols = descs;
  cur->colCount = 19;
  cur->typeInfoState = 2;
  cur->typeInfoType = sqlType;
  cur->typeInfoPos = 0;
  cur->state |= CURS_EXECUTED | CURS_DESCRIBED;
  // The statement that ran before is no longer what the result describes.
  if (cur->dbCurs) cur->dbCurs->kind = DBCURS_KIND_SELECT;
  return 0;
}

void ORA_CellSetStr(Dataset *ds, int32_t row, uint16_t column, const char *text) {
  DatasetCol &c = ds->cols[column];
  if (!text) {
    c.indicators[row] = kIndNull;
    return;
  }
  c.indicators[row] = 0;
  unsigned char *p = c.values + static_cast<size_t>(row) * c.size;
  const size_t n = std::strlen(text);
  const size_t room = c.size > 0 ? c.size - 1 : 0;
  std::memcpy(p, text, n < room ? n : room);
  p[n < room ? n : room] = 0;
}

void ORA_CellSetInt(Dataset *ds, int32_t row, uint16_t column, int32_t value) {
  DatasetCol &c = ds->cols[column];
  if (value == kTypeInfoNull) {
    c.indicators[row] = kIndNull;
    return;
  }
  c.indicators[row] = 0;
  unsigned char *p = c.values + static_cast<size_t>(row) * c.size;
  if (c.type == VT_SSHORT) {
    const int16_t v = static_cast<int16_t>(value);
    std::memcpy(p, &v, 2);
  } else if (c.type == VT_SLONG || c.type == VT_ULONG) {
    std::memcpy(p, &value, 4);
  }
}

int32_t ORA_TypeInfoFetch(AgentCursor *cur, uint16_t rows, Dataset *out) {
  if (rows == 0) return 0;  // an empty Dataset: no columns
  int32_t rc = DatasetFromColDescs(cur->cols, cur->colCount, rows, out);
  if (rc) return rc;
  out->rows = 0;
  const AgentConn *conn = cur->conn;
  for (int32_t r = 0; r < rows; ++r) {
    const TypeInfoRow *t =
        db_TypeInfoNext(&cur->typeInfoPos, cur->typeInfoType, conn->odbcVersion, conn->wide, conn->opts.jet);
    if (!t) break;
    ORA_CellSetStr(out, r, 0, t->typeName);
    ORA_CellSetInt(out, r, 1, t->sqlType);
    ORA_CellSetInt(out, r, 2, t->columnSize);
    ORA_CellSetStr(out, r, 3, t->literalPrefix);
    ORA_CellSetStr(out, r, 4, t->literalSuffix);
    ORA_CellSetStr(out, r, 5, t->createParams);
    ORA_CellSetInt(out, r, 6, t->nullable);
    ORA_CellSetInt(out, r, 7, t->caseSensitive);
    ORA_CellSetInt(out, r, 8, t->searchable);
    ORA_CellSetInt(out, r, 9, t->unsignedAttribute);
    ORA_CellSetInt(out, r, 10, t->fixedPrecScale);
    ORA_CellSetInt(out, r, 11, t->autoUniqueValue);
    ORA_CellSetStr(out, r, 12, t->localTypeName);
    ORA_CellSetInt(out, r, 13, t->minimumScale);
    ORA_CellSetInt(out, r, 14, t->maximumScale);
    ORA_CellSetInt(out, r, 15, t->sqlDataType);
    ORA_CellSetInt(out, r, 16, t->sqlDatetimeSub);
    ORA_CellSetInt(out, r, 17, t->numPrecRadix);
    ORA_CellSetInt(out, r, 18, t->intervalPrecision);
    out->rows = r + 1;
  }
  if (out->rows == 0) DatasetFree(out);  // the end
  return 0;
}
