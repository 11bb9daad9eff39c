// The type catalogue of SQLGetTypeInfo, the ODBC type columns of catalog
// rows derived from Oracle type names, and the forced types of catalog result
// columns.
#include <cstring>

#include "drv_ora8/db-curs.h"
#include "drv_ora8/db-fetch.h"
#include "drv_ora8/db-private.h"
#include "drv_ora8/o-catalog.h"
#include "drv_ora8/o-typemap.h"
#include "odbc/dataset.h"
#include "odbc/valuetype.h"
#include "variant.h"

namespace {

constexpr int16_t N = static_cast<int16_t>(kTypeInfoNull);

// Rows R1 .. R24 of the catalogue; the serving lists below refer to them by
// number. Common to all: nullable 1, fixed precision and scale 0, auto unique
// value NULL, local type name = type name, interval precision NULL.
#define TI(name, type, size, pre, suf, params, cs, srch, uns, mins, maxs, sqlt, sub, radix) \
  {name, type, size, pre, suf, params, 1, cs, srch, uns, 0, N, name, mins, maxs, sqlt, sub, radix, N}
constexpr TypeInfoRow kRows[] = {
    TI("NUMBER(10)", 4, 10, nullptr, nullptr, nullptr, 0, 2, 0, N, N, 4, N, 10),                  // R1
    TI("CHAR", 1, 2000, "'", "'", "length", 1, 3, N, N, N, 1, N, N),                              // R2
    TI("CHAR", -8, 2000, "'", "'", "length", 1, 3, N, N, N, -8, N, N),                            // R3
    TI("VARCHAR2", 12, 4000, "'", "'", "length", 1, 3, N, N, N, 12, N, N),                        // R4
    TI("VARCHAR2", -9, 4000, "'", "'", "length", 1, 3, N, N, N, -9, N, N),                        // R5
    TI("CLOB", -1, 2147483647, "'", "'", nullptr, 1, 0, N, N, N, -1, N, N),                       // R6
    TI("CLOB", -10, 2147483647, "'", "'", nullptr, 1, 0, N, N, N, -10, N, N),                     // R7
    TI("LONG", -1, 2147483647, "'", "'", nullptr, 1, 0, N, N, N, -1, N, N),                       // R8
    TI("LONG", -10, 2147483647, "'", "'", nullptr, 1, 0, N, N, N, -10, N, N),                     // R9
    TI("NUMBER", 3, 38, nullptr, nullptr, "precision,scale", 0, 2, 0, -84, 127, 3, N, 10),        // R10
    TI("RAW", -3, 255, "0x", nullptr, "length", 0, 0, N, N, N, -3, N, N),                         // R11
    TI("DATE", 11, 19, nullptr, nullptr, nullptr, 0, 2, N, 0, 0, 9, 3, N),                        // R12
    TI("DATE", 93, 19, nullptr, nullptr, nullptr, 0, 2, N, 0, 0, 9, 3, N),                        // R13
    TI("LONG RAW", -4, 2147483647, "0x", nullptr, nullptr, 0, 0, N, N, N, -4, N, N),              // R14
    TI("BLOB", -4, 2147483647, "0x", nullptr, nullptr, 0, 0, N, N, N, -4, N, N),                  // R15
    TI("FLOAT", 8, 15, nullptr, nullptr, nullptr, 0, 3, 0, N, N, 8, N, 10),                       // R16
    TI("FLOAT", 6, 15, nullptr, nullptr, nullptr, 0, 3, 0, N, N, 6, N, 10),                       // R17
    TI("TIMESTAMP", 11, 29, nullptr, nullptr, nullptr, 0, 2, N, 0, 0, 9, 3, N),                   // R18
    TI("TIMESTAMP", 93, 29, nullptr, nullptr, nullptr, 0, 2, N, 0, 0, 9, 3, N),                   // R19
    TI("NCHAR", -8, 1000, "N'", "'", "length", 1, 3, N, N, N, -8, N, N),                          // R20
    TI("NVARCHAR2", -9, 2000, "N'", "'", "length", 1, 3, N, N, N, -9, N, N),                      // R21
    TI("NCLOB", -10, 2147483647, "N'", "'", nullptr, 1, 0, N, N, N, -10, N, N),                   // R22
    TI("BINARY_FLOAT", 7, 7, nullptr, nullptr, nullptr, 0, 3, 0, N, N, 7, N, 10),                 // R23
    TI("BINARY_DOUBLE", 8, 15, nullptr, nullptr, nullptr, 0, 3, 0, N, N, 8, N, 10),               // R24
};
#undef TI

// Serving lists: row numbers (1-based), ended by 0.
constexpr uint8_t kAllWide[] = {7, 22, 9, 5, 21, 3, 20, 0};
constexpr uint8_t kAllCommon[] = {15, 14, 11, 6, 8, 2, 10, 1, 17, 23, 24, 16, 0};
constexpr uint8_t kAllOdbc3[] = {4, 19, 13, 0};
constexpr uint8_t kAllOdbc2[] = {18, 12, 4, 0};

struct TypeList {
  int16_t sqlType;
  uint8_t rows[4];
};
constexpr TypeList kByType[] = {
    {-10, {7, 22, 9, 0}}, {-9, {5, 21, 0}}, {-8, {3, 20, 0}}, {-4, {15, 14, 0}}, {-3, {11, 0}},
    {-1, {6, 8, 0}},      {1, {2, 0}},      {3, {10, 0}},     {4, {1, 0}},       {6, {17, 0}},
    {7, {23, 0}},         {8, {24, 16, 0}}, {11, {18, 12, 0}}, {12, {4, 0}},     {93, {19, 13, 0}},
};

// The list for one request as one sequence of row numbers; the counter is an
// index into it, so a skipped row advances it as well.
size_t build_list(uint8_t *out, int16_t sqlType, int32_t odbcVersion, int wide, int jet) {
  size_t n = 0;
  auto add = [&](const uint8_t *rows) {
    for (; *rows; ++rows) out[n++] = *rows;
  };
  const bool unicodeBuild = g_driverVariant.unicode;
  if (sqlType == 0) {
    if (wide && unicodeBuild) add(kAllWide);
    add(kAllCommon);
    add(odbcVersion == 3 ? kAllOdbc3 : kAllOdbc2);
    return n;
  }
  if (!unicodeBuild && (sqlType == -10 || sqlType == -9 || sqlType == -8)) return 0;
  if (sqlType == 4 && !jet) return 0;
  for (const TypeList &t : kByType)
    if (t.sqlType == sqlType) add(t.rows);
  return n;
}

bool name_is(const char *name, uint16_t len, const char *want) {
  return std::strlen(want) == len && std::memcmp(name, want, len) == 0;
}

bool name_has(const char *name, uint16_t len, const char *want) {
  const size_t w = std::strlen(want);
  for (size_t i = 0; i + w <= len; ++i)
    if (std::memcmp(name + i, want, w) == 0) return true;
  return false;
}

}  // namespace

const TypeInfoRow *db_TypeInfoNext(uint32_t *pos, int16_t sqlType, int32_t odbcVersion, int wide, int jet) {
  uint8_t list[32];
  const size_t n = build_list(list, sqlType, odbcVersion, wide, jet);
  if (*pos >= n) return nullptr;
  return &kRows[list[(*pos)++] - 1];
}

void db_TypeNameToSqlType(int16_t *sqlType, const char *name, uint16_t len, int32_t *columnSize,
                          int32_t *bufferLength, int16_t decimalDigits, int16_t *sqlDataType, int16_t *datetimeSub,
                          int32_t odbcVersion, int jet, int wide) {
  const int32_t precision = *columnSize;
  const int32_t buffer = *bufferLength;
  int32_t type = 1, size = buffer, octets = buffer;
  int16_t dataType = 0, sub = -1;
  bool datetime = false;
  auto number_wide = [&](int32_t sizeNoJet) {
    type = jet ? 8 : 3;
    size = jet ? 15 : sizeNoJet;
    octets = jet ? 8 : octets;
  };
  if (name_is(name, len, "VARCHAR2") || name_is(name, len, "NVARCHAR2")) {
    type = 12;
  } else if (name_is(name, len, "CHAR") || name_is(name, len, "ROWID") || name_is(name, len, "MLSLABEL")) {
    type = 1;
  } else if (name_is(name, len, "NUMBER")) {
    if (decimalDigits != 0) {
      number_wide(precision);
    } else if (precision == 0) {
      number_wide(38);
      if (!jet) octets = 38;
    } else if (precision <= 2) {
      type = -6, size = precision, octets = 1;
    } else if (precision <= 4) {
      type = 5, size = precision, octets = 2;
    } else if (precision <= 10) {
      type = 4, size = precision, octets = 4;
    } else {
      number_wide(precision);
    }
  } else if (name_is(name, len, "FLOAT")) {
    if (precision <= 50 || jet) {
      type = 8, size = 15, octets = 8;
    } else {
      // Decimal digits that hold every binary digit: precision x log10(2).
      const int32_t d = ((precision * 315653) >> 20) + 1;
      type = 12, size = d, octets = d + 2;
    }
  } else if (name_is(name, len, "DATE")) {
    type = odbcVersion == 3 ? 93 : 11, size = 19, octets = 16, datetime = true;
  } else if (name_is(name, len, "LONG")) {
    type = -1, size = octets = 2147483643;
  } else if (name_is(name, len, "RAW")) {
    type = -3;
  } else if (name_is(name, len, "LONG RAW")) {
    type = -4, size = octets = 2147483643;
  } else if (name_is(name, len, "BLOB")) {
    type = -4;
  } else if (name_is(name, len, "CLOB")) {
    type = -1;
  } else if (name_has(name, len, "TIMESTAMP")) {
    type = odbcVersion == 3 ? 93 : 11, size = 19, octets = 16, datetime = true;
    for (uint16_t i = 0; i < len; ++i) {
      if (name[i] != '(') continue;
      int32_t k = 0;
      for (uint16_t j = i + 1; j < len && name[j] >= '0' && name[j] <= '9' && k < 100; ++j) k = k * 10 + (name[j] - '0');
      if (k != 0) size = k + 20;
      break;
    }
  } else if (name_has(name, len, "BINARY_FLOAT")) {
    type = 7, size = 7, octets = 4;
  } else if (name_has(name, len, "BINARY_DOUBLE")) {
    type = 8, size = 15, octets = 8;
  }
  if (wide) {
    if (type == -1) type = -10;
    else if (type == 1) type = -8;
    else if (type == 12) type = -9;
  }
  if (datetime) {
    dataType = 9, sub = 3;
  } else {
    dataType = static_cast<int16_t>(type);
  }
  *sqlType = static_cast<int16_t>(type);
  *columnSize = size;
  *bufferLength = octets;
  if (sqlDataType) *sqlDataType = dataType;
  if (datetimeSub) *datetimeSub = sub;
}

void ORA_ForceColType(AgentCursor *cur, uint16_t column, int32_t sqlType) {
  if (!cur || column < 1 || column > cur->colCount) return;
  ColDesc *cd = &cur->cols[column - 1];
  cd->sqlType = sqlType;
  cd->decimalDigits = 0;
  cd->flags = 2;
  OciColDesc *r = nullptr;
  if (cur->dbCurs && column <= cur->dbCurs->resultDescCount) r = &cur->dbCurs->resultDescs[column - 1];
  int32_t valueType;
  switch (sqlType) {
    case 4:
      valueType = VT_SLONG, cd->octetLength = 4, cd->columnSize = 10, cd->displaySize = 11;
      break;
    case 5:
      valueType = VT_SSHORT, cd->octetLength = 2, cd->columnSize = 5, cd->displaySize = 6;
      break;
    case 12:
      valueType = VT_VARCHAR2, cd->octetLength = cd->columnSize = 4000, cd->displaySize = 4000;
      break;
    case -9:
      if (!g_driverVariant.unicode) return;
      valueType = VT_WVARCHAR4, cd->octetLength = cd->columnSize = 8000, cd->displaySize = 8000;
      break;
    default:
      return;
  }
  cd->valueType = valueType;
  if (sqlType == 12 || sqlType == -9) cd->oraType = 1;
  if (!r) return;
  if (sqlType == 12 || sqlType == -9) {
    r->oraType = 1;
    r->size = 4000;
  }
  db_ValueTypeToExt(valueType, &r->extType, &r->needsBuffer);
}
