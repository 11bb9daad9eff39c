#pragma once
// The agent's knowledge of data types: how an Oracle column, as OCI
// describes it, becomes an ODBC column description (ColDesc) with an SQL
// type, sizes and the ValueType in which its values travel in a Dataset, and
// which OCI external type a ValueType is defined or bound as.
//
// Everything here is a static table plus a few rules. The wide mode (the
// Unicode build, on a connection whose AgentConn::wide is set) adds the wide
// SQL types -8, -9, -10 and the wide value types 24 to 27; without it only
// the narrow rows exist. -9999 means "no such type" in every table.
#include <cstddef>
#include <cstdint>

struct ColDesc;
struct DB_Curs;
struct OciColDesc;

constexpr int16_t kNoType = -9999;

// One row of an Oracle type table.
struct OraTypeMapRow {
  uint16_t oraType;     // OCI_ATTR_DATA_TYPE
  int16_t extType;      // OCI external type of the define
  int32_t valueType;    // ValueType of the Dataset column (-9999: set by the NUMBER rules, or none)
  uint32_t needsBuffer; // 1: values pass through an intermediate buffer
};

// One row of the value-type table: how values of one ValueType are defined
// and how they are bound. The two differ only where a bind of several rows
// needs each row's own length: binary after a 4-byte length is defined as
// LBI but bound as LVB, whose element carries its prefix, so that every row
// of an array keeps its own length.
struct ExtTypeRow {
  int32_t valueType;
  int16_t extType;      // OCI external type of a define
  uint32_t needsBuffer; // 1: values pass through an intermediate buffer
  int16_t bindExtType;  // OCI external type of a parameter bind
};

// The Oracle type tables: narrow for connections without the wide flag, wide
// for connections with it. Each ends with a row of Oracle type 0.
extern const OraTypeMapRow OraTypeMapNarrow[];
extern const OraTypeMapRow OraTypeMapWide[];
// The value-type table, ended by a row of value type 0.
extern const ExtTypeRow ExtTypeByValueType[];

// Row lookup of an Oracle type (first match wins); no row gives -9999, the
// Oracle type itself as external type and needs-buffer 0.
void db_OraTypeToExt(int wide, uint16_t oraType, int32_t *valueType, int16_t *extType, uint32_t *needsBuffer);

// Row lookup of a value type; no row (0, or a wide type in the ANSI build)
// gives -9999 and 0.
void db_ValueTypeToExt(int32_t valueType, int16_t *extType, uint32_t *needsBuffer);

// The external type a parameter of the value type is bound as, from the same
// table; -9999 where it has none (as db_ValueTypeToExt).
int16_t db_ValueTypeToBindExt(int32_t valueType);

// Fills a ColDesc from a described OciColDesc and sets the descriptor's
// external type and needs-buffer flag. jet: the connection's JET option;
// marker: agent item 0x22010012 was asked; wide: the connection's wide flag.
// A ColDesc whose name begins with "*" is a procedure argument whose name the
// caller set: it becomes "*O", "*I" or "*B" by the argument's I/O mode and
// keeps its full name. 0, 15 for a type the agent does not support ("Unsupported
// database type %d"), 16 when the full name cannot be copied.
int32_t db_ColDescMap(ColDesc *cd, uint32_t column, OciColDesc *r, int jet, int marker, int wide);

// Describes result column `column` (from 1) of the cursor's executed or
// prepared statement: fills result descriptor column - 1 and the agent
// cursor's ColDesc of that number. 0 or 15 (OCI errors on the cursor's list),
// or the mapping's failure.
int32_t db_GetColDesc(DB_Curs *c, uint16_t column);

// Oracle's 7-byte DATE of an ODBC date {i16 year; u16 month; u16 day}
// (hour, minute and second 0, each stored plus one).
void db_OraDateFromDate(unsigned char out[7], const void *odbcDate);
// Oracle's DATE of the current local day at midnight.
void db_OraDateToday(unsigned char out[7]);
// Oracle's DATE of an ODBC time {u16 hour; u16 minute; u16 second} on the
// day of `day` (a DATE whose time is ignored).
void db_OraDateFromTime(unsigned char out[7], const unsigned char day[7], const void *odbcTime);

// Oracle's NUMBER as OCI hands it in a SQLT_VNU define: a length byte, then
// at most 21 bytes of exponent and base-100 mantissa.
constexpr size_t kOraNumberSize = 22;
// The longest exact text of a NUMBER plus one: values whose plain decimal
// would be longer are written with an exponent ("1.5E+100").
constexpr uint32_t kOraNumberTextMax = 64;

// The shortest exact decimal text of the NUMBER in num[0, len) (the bytes
// after the length byte): "0.1", "-3.14", "123456789012345678". Writes at
// most kOraNumberTextMax - 1 bytes, no terminator; 0 for bytes that are no
// NUMBER.
size_t db_OraNumberText(const unsigned char *num, size_t len, char *out);
