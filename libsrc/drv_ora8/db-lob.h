#pragma once
// LOB access (db-lob.cpp): reading fetched LOB values, collecting LONG
// pieces, and writing LOB parameters of INSERT and UPDATE statements.
// db_LOBGetChunk, db_LOBFetchCells and db_ColsGetPieces are declared with
// the fetch (db-fetch.h).
//
// Results are 0 or a row of SqlStateTable (odbc/sqlstate.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drv_ora8/db-curs.h"
#include "drv_ora8/db-fetch.h"
#include "odbc/valuetype.h"

// UTF-16 units of UTF-8 text: one per character, two for a character
// beyond the basic plane. A cut character counts where its first byte is.
uint64_t db_Utf16UnitsOfUtf8(const void *p, size_t n);

// One OCILobRead at pos (0-based, in the LOB's units: bytes of a BLOB,
// UTF-16 units of a CLOB) into buf: *count the bytes that came (UTF-16 when
// wide), *units the LOB units they hold. 0 or the OCI failure.
int32_t db_LOBRead(int wide, DB_Curs *c, OCILobLocator *loc, const OciColDesc *r, uint64_t pos, void *buf,
                   uint32_t bufSize, uint32_t *count, uint8_t form, uint64_t *units);

// The whole value of the LOB at `row` of the descriptor's locators into
// cell (left untouched for an empty LOB): bytes, or UTF-16 units when wide.
int32_t db_LOBDataCellGet(DB_Curs *c, OciColDesc *r, int32_t row, LongValue *cell, int wide);

// ---- LOB parameters of INSERT and UPDATE ------------------------------------

constexpr uint16_t kLobNodeSlots = 20;  // locators per LobBindNode

// A token of statement text: literals, quoted names and comments are never
// taken apart (a colon and digits inside '10:30' are no marker).
struct SqlToken {
  enum Kind { kWord, kQuoted, kLiteral, kMarker, kPunct } kind;
  size_t begin, end;  // byte range in the text
  uint32_t number;    // a marker's number
};
size_t db_SqlTokens(const char *text, std::vector<SqlToken> *out);

// Per token, the LOB target descriptor (result descriptors of the cursor)
// that the marker token assigns as the whole value of its column; -1 else.
std::vector<int> db_MarkerTargets(DB_Curs *c, const char *text, const std::vector<SqlToken> &tokens);

// Rewrites an INSERT or UPDATE whose markers assign the LOB columns among
// the cursor's result descriptors: "CASE WHEN :flag IS NULL THEN NULL ELSE
// EMPTY_CLOB() END" (EMPTY_BLOB()) in their place, the other markers
// renumbered first, then the flags, and "RETURNING cols INTO :n, ..." with
// the last numbers; sets each target's parameter number and ordinal
// and drops the LOB columns no marker assigns. *out stays empty when
// nothing was replaced. 0 or 15.
int32_t db_RebuildDMLStmt(DB_Curs *c, const char *text, std::string *out);

// For an INSERT or UPDATE with markers: describes its table (or view), and
// when markers assign LOB columns, the rebuilt text in *rebuilt (else it
// stays empty and the statement keeps its text). 0, 15 or 16.
int32_t db_Check4LOBParams(DB_Curs *c, const char *text, std::string *rebuilt);

// Binds, behind the `ordinary` other markers, the NULL flags of the LOB
// targets for parameter row `row`, then their RETURNING placeholders
// dynamically: each returned row gets a new locator. 0, 15, 16.
int32_t db_BindLOBReturning(DB_Curs *c, uint16_t ordinary, const Dataset *params, uint32_t row);
// Frees the locators handed out by the last execution.
void db_LOBNodesReset(DB_Curs *c);
void LobBindNode_FreeChain(LobBindNode *chain);

// Writes parameter row `row` of each LOB target into every locator the
// last execution handed out for its column. 0, 15 or the OCI failure.
int32_t db_LOBPutCells(DB_Curs *c, const Dataset *params, uint32_t row);
// Writes one parameter cell of the given ValueType into a locator.
int32_t db_LOBDataCellPut(DB_Curs *c, const OciColDesc *d, OCILobLocator *loc, const unsigned char *cell,
                          int32_t type, uint32_t elemSize);
