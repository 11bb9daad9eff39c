#pragma once
// Dataset: the one container in which every layer passes rows (fetched
// results, parameter rows, keysets, rowsets, static result sets), and
// ColDesc, the description of a result column or parameter from which result
// Datasets are laid out.
//
// A Dataset is column-major: each column is an array of fixed-size elements
// of one ValueType plus a parallel array of 16-bit indicators. Row r of a
// column starts at values + r * size.
//
// Ownership:
// - The Dataset record belongs to its holder; the operations here manage the
//   column array and the storage it points to.
// - Every storage block (column array, values, indicators) and every long
//   value buffer is a malloc/calloc block released with free().
// - A long value (types 15, 16, 26) owns its buffer; the column owns the
//   element. No operation ever leaves one buffer reachable from two cells:
//   it copies the buffer or moves it and clears the source pointer. Freeing
//   a column frees every non-NULL buffer of its first capacity rows, whatever
//   the indicator says (a NULL row may own a buffer).
//
// Invariants after every operation (DatasetCheck tests them):
// - slots is the length of the column array (NULL when slots is 0);
// - 0 <= rows <= capacity and columns <= slots;
// - every column in use has storage for at least capacity rows (both
//   pointers set when capacity > 0; values and indicators set or NULL
//   together);
// - slots beyond the columns in use have no storage.
//
// Results are SqlStateTable rows: 0 success, E_S1000 (15) for a NULL
// argument, an index out of range or a layout that does not fit, E_S1001
// (16) when memory runs out. Row indexes are 0-based unsigned 32-bit, column
// indexes 0-based unsigned 16-bit.
#include <cstddef>
#include <cstdint>

#include "odbc/valuetype.h"

// Indicator values. Only kIndNull is given a meaning by the container; the
// others are conventions of the layers that fill it.
constexpr int16_t kIndNull = -1;      // NULL value
constexpr int16_t kIndDataAtExec = -2;  // parameter value sent later in pieces
constexpr int16_t kIndDeferred = -3;  // long value left with the agent, read in pieces

struct DatasetCol {
  int32_t type;          // ValueType of every value in the column
  uint32_t size;         // element size in bytes
  int16_t *indicators;   // one per row of the capacity; -1 = NULL
  unsigned char *values; // capacity * size + 1 bytes, zero-filled when allocated
};

struct Dataset {
  uint16_t slots;     // number of DatasetCol records in cols
  int32_t capacity;   // rows for which every column in use has storage
  uint16_t columns;   // columns in use, at most slots
  int32_t rows;       // rows filled, at most capacity
  DatasetCol *cols;   // slots records, zero-filled when allocated
};

// ColDesc flags: nullability in bits 0-3 (SQL_NO_NULLS 0, SQL_NULLABLE 1),
// updatability plus one in bits 4-7 (1 read-only, 2 writable, 3 unknown; 0 =
// not given, read as unknown).
constexpr uint32_t kColDescNullableMask = 0x0Fu;
constexpr uint32_t kColDescUpdatableShift = 4;
constexpr uint32_t kColDescUpdatableMask = 0xF0u;

struct ColDesc {
  char name[41];        // column name cut to 40 bytes, NUL-terminated
  char *catalog;        // owned strings or NULL
  char *schema;
  char *table;
  char *fullName;       // the column name uncut
  int16_t oraType;      // Oracle data type code
  int32_t sqlType;      // ODBC SQL data type
  uint32_t flags;       // see kColDesc* above
  uint32_t columnSize;  // ODBC column size
  int16_t decimalDigits;
  int32_t displaySize;
  int32_t valueType;    // ValueType of the column's values in a Dataset
  uint32_t octetLength; // declared size from which the element size is computed
};

// ---- Layout and storage ---------------------------------------------------

// Element size in bytes of a value type for a declared size n. 0 when the
// size cannot be represented in 32 bits.
uint32_t DatasetElemSize(int32_t type, uint32_t n);

// The smallest element size that holds one value of the type (its fixed
// width, or its length prefix / terminator). Columns smaller than this, and
// wide columns (24, 25, 27) of an odd size, are refused with E_S1000, so that
// no read or write leaves the element.
uint32_t DatasetMinElemSize(int32_t type);

// slots zeroed column records, all counts 0. Does not free earlier contents.
int DatasetInit(Dataset *ds, uint16_t slots);

// Storage for n rows in every column in use; capacity = n. All or nothing:
// on failure the Dataset is unchanged. Storage the columns held before is
// freed once the new storage is in place.
int DatasetAllocRows(Dataset *ds, int32_t n);

// values = n * size + 1 zeroed bytes, indicators = n entries of -1; n = 0
// leaves both NULL. Does not free earlier storage. On failure neither
// pointer changes.
int DatasetColAlloc(DatasetCol *col, int32_t n);

// Frees the long buffers of the first n rows (long types), then both arrays.
void DatasetColFree(DatasetCol *col, int32_t n);

// Frees every slot's storage and the column array; all counts become 0.
void DatasetFree(Dataset *ds);

// Frees a Dataset taken from the heap (malloc) and its cells; none is fine.
void DatasetDelete(Dataset *ds);

// Lays ds out from count descriptions (type and octet length of each) with
// storage for capacity rows.
int DatasetFromColDescs(const ColDesc *descs, uint16_t count, int32_t capacity, Dataset *ds);

// Makes ds as DatasetFromColDescs would, keeping its storage when it already
// has that layout (and no long column, whose cells own buffers): the rows
// go (every indicator NULL), the bytes of the cells stay until they are
// written again. A block fetched after a block of the same result then
// neither allocates nor clears its storage.
int DatasetRelayFromColDescs(const ColDesc *descs, uint16_t count, int32_t capacity, Dataset *ds);

// true when the invariants above hold (used by asserts and tests).
bool DatasetCheck(const Dataset *ds);

// ---- ColDesc arrays --------------------------------------------------------

// n zero-filled records (one when n is 0); NULL when out of memory.
ColDesc *ColDescAlloc(uint32_t n);
// Frees the four owned strings of each of the n records, then the array.
void ColDescFree(ColDesc *descs, uint32_t n);

// ---- Values ----------------------------------------------------------------

int DatasetColInfo(const Dataset *ds, uint16_t col, int32_t *type, uint32_t *size);

// The bytes of one value: copies at most *len bytes into buf and sets *len
// to the number copied; a NULL value gives *len = 0; *len = 0 on entry does
// nothing. Nothing is terminated. Character types give the text without its
// length prefix or terminator, long types their buffer's bytes.
int DatasetValueGet(const Dataset *ds, uint32_t row, uint16_t col, void *buf, uint32_t *len);

// Where the defined bytes of one stored value are (the bytes DatasetValueGet
// copies), without copying. A NULL value gives *len = 0. Index checks as for
// DatasetValueGet.
int DatasetValueRef(const Dataset *ds, uint32_t row, uint16_t col, const void **data, uint32_t *len);

// Re-lays one column so that it holds values of `size` (bytes; units for the
// wide types). Fixed character, binary and wide types become their 4-byte
// length-prefixed twins (20, 23, 27); with countText set, the new length of a
// fixed character value stops at its first NUL. Long types grow their
// buffers. On failure the column is unchanged (long types: rows grown before
// keep their bigger buffers).
int DatasetColWiden(Dataset *ds, uint16_t col, uint32_t size, int countText);

// Converts every wide column (24, 25, 26, 27) to narrow UTF-8 text (17, 17,
// 15, 20), with the converters of util/utf.h (a surrogate pair becomes one
// 4-byte sequence). A value whose UTF-8 form does not fit its element makes the
// column's elements wider; a long value gets a bigger buffer and its length
// counts bytes. Nothing is cut. Columns finished before a failure stay
// converted; the failing column is unchanged.
int DatasetToNarrow(Dataset *ds);

// Cuts every character and binary value to at most n bytes (units for the
// wide types), widening fixed-width columns first. Narrow character values
// are cut at a UTF-8 character boundary.
int DatasetTruncate(Dataset *ds, uint32_t n);

// ---- Row and column operations ---------------------------------------------

// Inserts an all-NULL row at position a (a <= rows), moving later rows down;
// needs rows < capacity.
int DatasetRowInsert(Dataset *ds, uint32_t a);

// *equal = 1 when every pair of values of left row a and right row b is
// equal: both NULL, or both present with the same defined bytes (those of
// DatasetValueRef). A NULL never equals a present value.
int DatasetRowCompare(const Dataset *left, uint32_t a, const Dataset *right, uint32_t b, int *equal);

// Copies source row b into destination row a; a = destination rows appends
// (a < capacity). Long buffers are deep-copied, or moved with move set (the
// source pointer is cleared). The layout is checked for all columns first.
int DatasetRowCopy(Dataset *dst, Dataset *src, uint32_t a, uint32_t b, int move);

// Deep copy in a new heap record (free it with DatasetFree + free()).
int DatasetClone(Dataset **out, const Dataset *src);

// *pds (emptied and reused, or newly allocated when NULL) gets src's layout
// and storage for capacity rows, no rows.
int DatasetCloneLayout(Dataset **pds, const Dataset *src, int32_t capacity);

// Appends every src row to dst (same layout), moving src's long buffers
// (their pointers in src are cleared). All or nothing on failure.
int DatasetAppend(Dataset *dst, Dataset *src);

// Puts other's columns in front of ds's own, moving their storage. other
// must have the same rows and at least ds's capacity; it is left with no
// columns in use, rows and capacity 0 (the caller still frees it).
int DatasetJoinCols(Dataset *ds, Dataset *other);

// Replaces the heap Dataset *pds by a new one holding its rows in reverse
// order (long values deep-copied); the old one is freed with its record.
int DatasetReverse(Dataset **pds);

int DatasetColDelete(Dataset *ds, uint16_t c);

// Inserts an all-NULL column of the type and element size at position c
// (c <= columns), with storage for the capacity.
int DatasetColInsert(Dataset *ds, uint16_t c, int32_t type, uint32_t size);

// Deep copy of source column cs into destination column cd (same type and
// element size). A destination without rows takes the source's row count;
// when that needs a larger capacity, its other columns in use get all-NULL
// storage for it, so that a Dataset can be filled column by column. The
// capacity never shrinks below storage the columns already have.
int DatasetColCopy(Dataset *dst, const Dataset *src, uint16_t cd, uint16_t cs);
