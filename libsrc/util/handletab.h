#pragma once
// Handle tables: turn object pointers into 32-bit handle values and back.
//
// A handle value is (table tag << 16) | entry index. Every lookup checks both
// the index and the entry's tag, so a stale handle, a handle of another table
// or 0 resolves to NULL instead of to a wrong object. A table's all-zero state
// is the valid state of a table not yet initialised, so tables live in zeroed
// static storage.
//
// Every ODBC call looks its handle up, so a lookup takes no lock: the entry
// array is never moved or freed while the table lives (a larger one replaces
// it and the old one is kept until Destroy; the room doubles, so the kept
// arrays add up to less than the current one), and the fields a lookup reads
// are written atomically by Add and Remove under the lock.
#include <cstdint>

#include "util/osthread.h"

using HandleValue = uint32_t;

struct HandleEntry {
  uint16_t tag;  // 0 = free, else the low 16 bits of the table's tag
  void *object;  // NULL in a free entry
};

struct HandleTable {
  int32_t tag;         // the tag given to Init; 0 is stored as -1
  uint16_t capacity;   // entries in the array
  uint16_t freeCount;  // entries whose tag is 0
  HandleEntry *entries;
  int32_t locking;  // non-zero: every operation takes 'lock'
  OsCritSec lock;   // valid only while locking is non-zero
  // No entry below this index is free; lets Add find the lowest free entry
  // without rescanning the occupied front of a large table.
  uint16_t firstFree;
  uint32_t storage;  // entries the array has room for, at least capacity
  void *retired;     // arrays replaced by larger ones, freed by Destroy
};

// Growth step and the largest capacity a table can reach.
constexpr uint16_t HANDLE_TABLE_GROWTH = 5;
constexpr uint32_t HANDLE_TABLE_MAX_CAPACITY = 0xFFFF;

// Results are SqlStateTable rows: 0, 16 (out of memory), 131 (no more handles).
int HandleTable_Init(HandleTable *table, uint16_t tag);
int HandleTable_EnableLocking(HandleTable *table);
void HandleTable_Destroy(HandleTable *table);
int HandleTable_Add(HandleTable *table, HandleValue *outHandle, void *object);
void *HandleTable_Lookup(HandleTable *table, HandleValue handle);
void HandleTable_Remove(HandleTable *table, HandleValue handle);
void HandleTable_Lock(HandleTable *table);
void HandleTable_Unlock(HandleTable *table);

// Walking a table: hold HandleTable_Lock (or a lock of your own that keeps
// Add and Remove away), read capacity and entries, visit entries whose tag
// is not 0.
