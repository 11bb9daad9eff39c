#pragma once
// Extended column attributes: ODBC column attributes (auto-increment, case
// sensitivity, updatability, type name, literal prefix and suffix, ...) that
// an agent gives once for all columns (column 0) and per column where a
// column differs. The agent hands them up as a ColAttr list; the statement
// keeps them in a set (a HashTable keyed by attribute and column) from which
// SQLColAttribute and the IRD fields read, falling back to the all-columns
// value.
//
// TEXT OWNERSHIP - the one rule for every holder of ColAttr records:
// - Each kind-0 record owns its text (a malloc'd NUL-terminated string, or
//   NULL). No two records anywhere share a text pointer.
// - A ColAttr list (an array of records, such as the rows an agent builds or
//   the array DRV_DescribeColumns2 hands up) is freed with ColAttrListFree,
//   which frees the texts still in it and the array.
// - ColAttrListCopy in mode 2 duplicates every text it keeps: the source list
//   keeps its own texts. In any other mode it moves every text it keeps: the
//   source record's pointer is cleared. Either way the source list stays its
//   holder's and is freed with ColAttrListFree afterwards (in move mode that
//   frees only the texts of the records the compaction dropped).
// - ColAttrSetBuild moves the texts of a list into the set's entries (the
//   list's pointers are cleared); the list is still freed with
//   ColAttrListFree. A set is freed with ColAttrSetFree (ColAttrDelete on
//   every entry, then hash_destroy).
// So the agent builds its temporary rows with texts of their own, copies them
// with ColAttrListCopy (mode 2, or mode 1 to move instead of duplicating),
// frees the rows with ColAttrListFree and hands the copy up; the front end
// builds the statement's set from it with ColAttrSetBuild and frees it with
// ColAttrListFree. No text dangles, none leaks.
#include <cstdint>

struct HashTable;  // util/hashtab.h

enum ColAttrKind : int16_t {
  COLATTR_TEXT = 0,    // value.text: NUL-terminated text or NULL (owned)
  COLATTR_INT = 1,     // value.integer
  COLATTR_INT2 = 2,    // value.integer
  COLATTR_DOUBLE = 3,  // value.real
};

struct ColAttr {
  int16_t column;     // 1-based result column; 0 = the entry for all columns
  int16_t attribute;  // ODBC column attribute id; negative = not used
  int16_t kind;       // ColAttrKind
  union {
    char *text;
    int32_t integer;
    double real;
  } value;
};
static_assert(sizeof(ColAttr) == 16, "ColAttr is {3 x 16-bit, 8-byte value}");

// Buckets of a statement's set.
constexpr int32_t kColAttrBuckets = 101;

// The set's key: column in the low half, attribute in the high half
// (attribute x 65536 + column, stored little-endian in 4 bytes).
uint32_t ColAttrKey(int16_t attribute, int16_t column);

// Compacts count records of list into a new array: records with a negative
// attribute are dropped, and so is a per-column record that repeats the
// all-columns value of its run of equal attributes. *outCount and *out stay
// 0 and NULL until a result exists; count 0 or a NULL list gives 0 with no
// array. 16 when memory runs out (the source list is then unchanged). Texts:
// mode 2 duplicates, any other mode moves (see above).
int ColAttrListCopy(int32_t count, ColAttr *list, int32_t *outCount, ColAttr **out, int mode);

// Frees the texts of the count records and the array; NULL is ignored.
void ColAttrListFree(ColAttr *list, int32_t count);

// Builds a statement's set from count records, one entry (a heap copy of the
// record) per record, moving the texts into the entries; a later record with
// the same attribute and column replaces an earlier one. *set is NULL until
// the set exists. 16 when memory runs out.
int ColAttrSetBuild(ColAttr *list, int32_t count, HashTable **set);

// 1 when a value was delivered, else 0: looks up (attribute, column), then
// (attribute, 0); delivers by the record's kind into outInt (1, 2), outText
// (0) or outDouble (3); 0 when that out pointer is NULL, the attribute is
// negative or the set is NULL.
int ColAttrLookup(HashTable *set, int16_t attribute, int16_t column, int32_t *outInt, const char **outText,
                  double *outDouble);

// hash_walk callback: frees the entry's text (kind 0) and the record.
void ColAttrDelete(void *value, const void *key, void *userData);

// Frees every entry of a set and the set; NULL is ignored.
void ColAttrSetFree(HashTable *set);
