#pragma once
// Key-column discovery: which columns identify a row of each table of a
// cursor's FROM clause, asked of the catalog operations of the driver below
// the cursor layer and remembered per lower connection.
//
// A key is compared with "k = ?", which never matches NULL, so only keys
// whose columns are all NOT NULL serve: per table the primary key, else
// the best row identifier when its columns are NOT NULL (else its pseudo
// column, Oracle's ROWID), else the first unique index whose columns are
// all NOT NULL. A table with none of them (a view without keys) gives 84
// (IM909): the cursor becomes static read-only.
//
// Results are SqlStateTable rows: 0, 15 (S1000) bad arguments or a catalog
// answer of an unexpected shape, 16 (S1001) no memory, 84 (IM909), or the
// lower operation's code.
#include <cstdint>

#include "odbc/drvops.h"

struct VArray;
struct TableRef;
struct HashTable;

// Where discovery asks.
struct KsCatalog {
  const DrvObject *lower = nullptr;  // the operation table below the cursor layer
  DrvHandle aux = 0;                 // the lower cursor the catalog results open on
  char identQuote = 0;               // names are quoted with it unless NUL or a blank
  HashTable *cache = nullptr;        // the lower connection's key-column cache, or none
};

// The cache of one lower connection: 101 buckets keyed by KS_TablesDigest.
HashTable *KS_KeyColCacheNew();
// Frees every cached list and the table.
void KS_KeyColCacheFree(HashTable *cache);
// MD5 of the tables' qualifier, owner and name, each after its 4-byte
// length, table after table, so that no two lists of names share a digest.
void KS_TablesDigest(const VArray *tables, unsigned char digest[16]);

// The key columns (ScsColDesc, in FROM-clause order, ORDER BY positions 0)
// of the tables (TableRef) into *keyCols (freed and replaced; the caller's),
// and the table count. A cached answer runs no catalog operation; only a
// complete answer is cached.
int KS_GetKeyColDescs(const KsCatalog &cat, const VArray *tables, VArray **keyCols, uint8_t *tableCount);

// The three routes: each appends the key columns of every table whose
// found flag is 0 and sets its flag; 84 when a table it handled still has
// none. found may be absent (every table handled, nothing recorded).
int KS_GetKeyColDescs_PKeys(const KsCatalog &cat, const TableRef *tables, uint32_t count, int32_t *found,
                            VArray *keyCols);
int KS_GetKeyColDescs_SpCols(const KsCatalog &cat, const TableRef *tables, uint32_t count, int32_t *found,
                             VArray *keyCols);
int KS_GetKeyColDescs_Stats(const KsCatalog &cat, const TableRef *tables, uint32_t count, int32_t *found,
                            VArray *keyCols);
