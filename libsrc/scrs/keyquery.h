#pragma once
// Key queries of keyset-driven, mixed and dynamic cursors: the SQL the layer
// generates to read a cursor's keys in its order, to read rows back by their
// keys, and the boundary predicates with which a dynamic cursor reads the
// keys that sort after (or before) the block it holds.
//
// Pure code over the analysed statement (scrs/scr.h): each builder has the
// analysis plant its marker, builds its piece of SQL and splices it where
// the marker stands; the result is the statement's rewritten text
// (AnalysedSQL::text2). Key columns are ScsColDesc records in key order; a
// key column's orderByPos is the 1-based ORDER BY item that names it, 0 when
// none does.
//
// NULLs: Oracle and the embedded database sort NULL above every value
// (SQL_NC_HIGH, collation 0): ascending they come last, descending first.
// The boundary predicates follow the collation they are given.
//
// Results are SqlStateTable rows: 0, 15 (S1000) a missing argument or
// marker, 16 (S1001) no memory, or the analysis's own code.
#include <cstdint>
#include <string>

#include "scrs/scr.h"

struct Dataset;

// The key columns as the builders read them.
struct KsKeyCols {
  const VArray *cols = nullptr;  // ScsColDesc in key order
  uint8_t tableCount = 0;        // references are qualified when above 1
};

// A column's reference in generated SQL: with more than one table, the
// table alias, else owner.table, else the table, then "." and the name.
std::string KS_ColumnRef(const ScsColDesc &col, uint8_t tableCount);

// Puts piece where the analysis left its marker; the result becomes the
// statement's rewritten text. 15 without a marker.
int KS_Splice(AnalysedSQL *a, const std::string &piece);

// The statement's ORDER BY completed with the key columns that are not
// ORDER BY items, in key order, so that the order has no ties. orderItems:
// the items the statement has; maxOrderBy: SQL_MAX_COLUMNS_IN_ORDER_BY (0
// no limit). A statement with neither items nor keys to add is left alone.
int KS_KeyOrderByBuild(AnalysedSQL *a, KsKeyCols keys, uint32_t orderItems, uint16_t maxOrderBy);
// The select list replaced by the key columns.
int ks_SelListKeys(AnalysedSQL *a, KsKeyCols keys);
// "( K1 = ? AND K2 = ? OR ... )" with groups groups in front of the
// statement's own condition (its parameters then come first).
int KS_KeyWhereBuild(AnalysedSQL *a, KsKeyCols keys, uint32_t groups);

// The parameters of groups key groups from rows consecutive rows of src from
// row first, one row of groups x columns values: groups beyond rows (and
// rows beyond src's end) repeat the last row taken, so that a statement
// prepared for groups keys serves a shorter last block. terminator: fixed
// text gets one zero byte (unit) more; trim: fixed text ends at its first
// NUL; excludeNulls: columns with a NULL in any of the rows are left out
// and flagged in *excluded (one int16 per source column, the caller frees
// it), their number in *excludedCount. *out is the caller's (DatasetFree and
// free()); none on failure.
int KS_KeyParamsBuild(const Dataset *src, uint32_t first, uint32_t groups, uint32_t rows, Dataset **out,
                      int terminator, int trim, int excludeNulls, uint16_t *excludedCount, int16_t **excluded);

// ---- Dynamic key fetch ---------------------------------------------------------------------

// Fetch directions (ODBC orientations).
enum : int { KS_NEXT = 1, KS_FIRST = 2, KS_LAST = 3, KS_PRIOR = 4, KS_RELATIVE = 6 };
// Predicate modes: strictly beyond the edge row in the direction, strictly
// beyond the other edge row, or from the other edge row on.
enum : int { KS_BEYOND = 0, KS_BEYOND_OTHER = 1, KS_FROM_OTHER = 3 };
// Collations (SQL_NULL_COLLATION).
enum : int16_t { KS_NC_HIGH = 0, KS_NC_LOW = 1, KS_NC_START = 2, KS_NC_END = 4 };

// What the boundary predicates order by: the ORDER BY items, then the key
// columns no item names, in key order; the first d of them, d ending on a
// key column so that they order without ties.
struct KsSortSpec {
  KsKeyCols keys;
  const VArray *orderCols = nullptr;  // ScsOrderCol of the statement, or none
  uint16_t d = 0;
  int16_t nullCollation = KS_NC_HIGH;
  // The first (row 0) and last (row 1) key row of the block held: the key
  // columns in key order, then each of the first d ORDER BY items that is
  // not a key column, in ORDER BY order.
  const Dataset *bounds = nullptr;
};

// Boundary row of a predicate: 0 first, 1 last.
int ks_BoundaryRow(int direction, int mode);
// The comparison that puts a row beyond a boundary value; inclusive gives
// ">=" / "<=".
const char *ks_CompareOp(int direction, bool inclusive, bool desc);
// NULLs sort beyond a non-NULL boundary value.
bool ks_NullsFollow(int direction, bool desc, int16_t collation);
// Boundary value NULL: 1 no row lies beyond it, 2 every non-NULL row does.
int ks_NullBoundaryRule(int direction, bool desc, int16_t collation);
// For each of the first d sort columns, its column in the boundary rows.
// *out (d entries) is the caller's (free()). 0, 15 or 16.
int ks_SortColumnMap(const KsSortSpec &s, uint16_t **out);
// Term e (1..d) of the predicate: sort columns 1..e-1 equal to the boundary
// row's, column e beyond it. *dropped when no row can satisfy it.
int ks_DynKeyTerm(uint16_t e, const KsSortSpec &s, int direction, int mode, std::string *out, bool *dropped);
// The predicate's parameters in the order of its markers, one row. When
// sorts is given it gets, per parameter, its 1-based sort column (the
// caller's, free()), from which parameter descriptions are made.
int ks_DynKeyParamsBuild(const KsSortSpec &s, int direction, int mode, Dataset **out, uint16_t **sorts,
                         uint16_t *count);
// The boundary predicate spliced in front of the key statement's condition,
// and its parameters. NEXT and PRIOR only (else 15).
int ks_DynKeyWhere(const KsSortSpec &s, AnalysedSQL *keyStmt, int direction, int mode, Dataset **params);
// The key statement's select list made the key columns and the non-key
// sort columns; for NEXT and PRIOR also the boundary predicate (the
// statement is analysed afresh in between, mode 1 with noCatalogs). FIRST
// and LAST have no parameters (*params none).
int KS_KeySelectBuild(const KsSortSpec &s, AnalysedSQL *keyStmt, int direction, int mode, int noCatalogs,
                      Dataset **params);
