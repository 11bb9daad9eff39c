#pragma once
// The agent's catalog functions: the dictionary queries behind SQLTables,
// SQLColumns and the other catalog calls, the static type catalogue behind
// SQLGetTypeInfo, and the type columns derived from Oracle type names.
#include <cstdint>

#include "odbc/drvops.h"

struct AgentCursor;
struct Dataset;

// The catalog query templates (built once, static).
enum CatalogTmpl : int {
  CT_COLUMN_PRIVILEGES,
  CT_TABLE_PRIVILEGES,
  CT_TABLES,
  CT_TABLES_SCHEMAS,
  CT_TABLES_TYPES,
  CT_COLUMNS,
  CT_FOREIGN_KEYS,
  CT_FOREIGN_KEYS_VIEW,
  CT_PRIMARY_KEYS,
  CT_PRIMARY_KEYS_VIEW,
  CT_PROCEDURE_COLUMNS,
  CT_PROCEDURE_COLUMNS_VIEW,
  CT_PROCEDURES,
  CT_PROCEDURES_VIEW,
  CT_PROCEDURES_NO_COUNT_VIEW,
  CT_SPECIAL_COLUMNS,
  CT_SPECIAL_COLUMNS_VIEW,
  CT_STATISTICS,
  CT_COUNT
};
const char *CatalogTemplate(CatalogTmpl which);

// ---- Type catalogue -----------------------------------------------------------

constexpr int32_t kTypeInfoNull = -100;  // a numeric field that reads as NULL

struct TypeInfoRow {
  const char *typeName;
  int16_t sqlType;
  int32_t columnSize;
  const char *literalPrefix;  // nullptr: NULL
  const char *literalSuffix;
  const char *createParams;
  int16_t nullable;
  int16_t caseSensitive;
  int16_t searchable;
  int16_t unsignedAttribute;
  int16_t fixedPrecScale;
  int16_t autoUniqueValue;
  const char *localTypeName;
  int16_t minimumScale;
  int16_t maximumScale;
  int16_t sqlDataType;
  int16_t sqlDatetimeSub;
  int32_t numPrecRadix;
  int16_t intervalPrecision;
};

// The next catalogue row for sqlType (0 = all) from *pos on, advancing *pos
// past it; nullptr at the end.
const TypeInfoRow *db_TypeInfoNext(uint32_t *pos, int16_t sqlType, int32_t odbcVersion, int wide, int jet);

// The ODBC type columns of a catalog row from its Oracle type name (counted,
// not terminated). columnSize and bufferLength come in as read and are
// rewritten; sqlDataType and datetimeSub may be null (not asked); a NULL
// subcode is written as -1.
void db_TypeNameToSqlType(int16_t *sqlType, const char *name, uint16_t nameLen, int32_t *columnSize,
                          int32_t *bufferLength, int16_t decimalDigits, int16_t *sqlDataType, int16_t *datetimeSub,
                          int32_t odbcVersion, int jet, int wide);

// Retypes result column `column` (from 1) of an executed catalog query.
void ORA_ForceColType(AgentCursor *cur, uint16_t column, int32_t sqlType);

// The fetch of a type-information result.
int32_t ORA_TypeInfoFetch(AgentCursor *cur, uint16_t rows, Dataset *out);

// Cell writers of that fetch: text nullptr and number -100 write NULL.
void ORA_CellSetStr(Dataset *ds, int32_t row, uint16_t column, const char *text);
void ORA_CellSetInt(Dataset *ds, int32_t row, uint16_t column, int32_t value);

// ---- Catalog operations ----------------------------------------------------------

// Expands the template with the arguments (names inside the template's string
// literals have their quotes doubled), prepares and executes it on the cursor.
int32_t ORA_CatalogQuery(DrvHandle cursor, const char *tmpl, char **args, unsigned count);

// The built-in template with SHOWSYNONYMS, else the view template with ORACAT.
const char *ORA_PickCatalogTemplate(const AgentCursor *cur, const char *builtIn, const char *view);

// SQLTables' special cases as a bit set of the arguments that are "%" and
// stand alone: 1 catalog, 2 schema, 4 table, 8 type list.
enum : uint32_t { TSC_CATALOG = 1, TSC_SCHEMA = 2, TSC_TABLE = 4, TSC_TYPES = 8 };
uint32_t ORA_TablesSpecialCase(char *const names[4]);

int32_t ORA_DDTablesList(DrvHandle cursor, CatalogArgs *args);
int32_t ORA_DDColumnsPostFetch(AgentCursor *cur, Dataset *rows);
int32_t ORA_DDSpecialColumnsPostFetch(AgentCursor *cur, Dataset *rows);
