#include "util/handletab.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "odbc/sqlstate.h"

namespace {

// Scoped table lock: does nothing on a table without locking.
struct TableLock {
  HandleTable *t;
  explicit TableLock(HandleTable *table) : t(table) { HandleTable_Lock(t); }
  ~TableLock() { HandleTable_Unlock(t); }
  TableLock(const TableLock &) = delete;
  TableLock &operator=(const TableLock &) = delete;
};

uint16_t EntryTag(const HandleTable *t) { return static_cast<uint16_t>(t->tag & 0xFFFF); }

}  // namespace

int HandleTable_Init(HandleTable *table, uint16_t tag) {
  HandleTable_Destroy(table);
  auto *entries = static_cast<HandleEntry *>(calloc(HANDLE_TABLE_GROWTH, sizeof(HandleEntry)));
  if (entries == nullptr) return E_S1001;
  table->entries = entries;
  table->capacity = HANDLE_TABLE_GROWTH;
  table->freeCount = HANDLE_TABLE_GROWTH;
  table->firstFree = 0;
  table->tag = tag == 0 ? -1 : tag;
  return 0;
}

int HandleTable_EnableLocking(HandleTable *table) {
  if (table->locking == 0) table->lock.Init();
  table->locking = 1;
  return 0;
}

void HandleTable_Destroy(HandleTable *table) {
  free(table->entries);
  if (table->locking != 0) table->lock.Delete();
  memset(static_cast<void *>(table), 0, sizeof *table);
}

void HandleTable_Lock(HandleTable *table) {
  if (table != nullptr && table->locking != 0) table->lock.Enter();
}

void HandleTable_Unlock(HandleTable *table) {
  if (table != nullptr && table->locking != 0) table->lock.Leave();
}

int HandleTable_Add(HandleTable *table, HandleValue *outHandle, void *object) {
  *outHandle = 0;
  // A table never initialised would write entries with tag 0, i.e. free ones.
  assert(table->tag != 0 && "HandleTable_Add on a table not initialised");
  if (table->tag == 0) return E_S1000;
  TableLock guard(table);
  uint32_t index;
  if (table->freeCount > 0) {
    index = table->firstFree;
    while (index < table->capacity && table->entries[index].tag != 0) ++index;
    assert(index < table->capacity && "free count says an entry is free");
    if (index >= table->capacity) return E_S1000;
  } else {
    uint32_t oldCap = table->capacity;
    uint32_t newCap = oldCap + HANDLE_TABLE_GROWTH;
    if (newCap > HANDLE_TABLE_MAX_CAPACITY) return E_S1014;
    // realloc keeps the table unchanged on failure and lets large arrays
    // grow in place, so filling a table is not quadratic in copying.
    auto *grown = static_cast<HandleEntry *>(realloc(table->entries, newCap * sizeof(HandleEntry)));
    if (grown == nullptr) return E_S1001;
    memset(static_cast<void *>(grown + oldCap), 0, HANDLE_TABLE_GROWTH * sizeof(HandleEntry));
    table->entries = grown;
    table->capacity = static_cast<uint16_t>(newCap);
    table->freeCount = HANDLE_TABLE_GROWTH;
    index = oldCap;
  }
  HandleEntry &e = table->entries[index];
  e.tag = EntryTag(table);
  e.object = object;
  --table->freeCount;
  table->firstFree = static_cast<uint16_t>(index + 1);  // index < 0xFFFF
  *outHandle = (static_cast<uint32_t>(EntryTag(table)) << 16) | index;
  return 0;
}

void *HandleTable_Lookup(HandleTable *table, HandleValue handle) {
  if (table == nullptr) return nullptr;
  uint32_t index = handle & 0xFFFF;
  uint16_t tag = static_cast<uint16_t>(handle >> 16);
  if (tag == 0) return nullptr;
  TableLock guard(table);
  if (index >= table->capacity || table->entries[index].tag != tag) return nullptr;
  return table->entries[index].object;
}

void HandleTable_Remove(HandleTable *table, HandleValue handle) {
  if (table == nullptr) return;
  uint32_t index = handle & 0xFFFF;
  uint16_t tag = static_cast<uint16_t>(handle >> 16);
  if (tag == 0) return;
  // The capacity is read under the lock: an Add on another thread may be
  // growing the table at the same moment.
  TableLock guard(table);
  if (index >= table->capacity) return;
  HandleEntry &e = table->entries[index];
  if (e.tag == 0 || e.tag != tag) return;
  e.tag = 0;
  e.object = nullptr;
  // The only free entry, or one below the hint: the lowest free entry now.
  if (table->freeCount == 0 || index < table->firstFree) table->firstFree = static_cast<uint16_t>(index);
  ++table->freeCount;
}
