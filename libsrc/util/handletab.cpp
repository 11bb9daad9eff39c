#include "util/handletab.h"

#include <algorithm>
#include <atomic>
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

// The fields a lock-free lookup reads; written only under the table lock.
template <class T>
std::atomic_ref<T> Shared(T &field) {
  return std::atomic_ref<T>(field);
}

void SetEntry(HandleEntry &e, uint16_t tag, void *object) {
  // The object first: a lookup that sees the tag sees the object.
  Shared(e.object).store(object, std::memory_order_relaxed);
  Shared(e.tag).store(tag, std::memory_order_release);
}

// A replaced entry array, kept until the table is destroyed.
struct Retired {
  Retired *next;
  HandleEntry *entries;
};

void FreeRetired(HandleTable *t) {
  for (auto *r = static_cast<Retired *>(t->retired); r != nullptr;) {
    Retired *next = r->next;
    free(r->entries);
    free(r);
    r = next;
  }
  t->retired = nullptr;
}

// Room for `needed` entries: a new, larger array holding the current
// entries replaces the current one, which stays readable. 0 or E_S1001.
int Reserve(HandleTable *t, uint32_t needed) {
  if (needed <= t->storage) return 0;
  const uint32_t room = std::max(needed, std::min(t->storage * 2, HANDLE_TABLE_MAX_CAPACITY));
  auto *grown = static_cast<HandleEntry *>(calloc(room, sizeof(HandleEntry)));
  auto *old = static_cast<Retired *>(malloc(sizeof(Retired)));
  if (grown == nullptr || old == nullptr) {
    free(grown);
    free(old);
    return E_S1001;
  }
  if (t->capacity) memcpy(static_cast<void *>(grown), t->entries, t->capacity * sizeof(HandleEntry));
  *old = Retired{static_cast<Retired *>(t->retired), t->entries};
  t->retired = old;
  Shared(t->entries).store(grown, std::memory_order_release);
  t->storage = room;
  return 0;
}

}  // namespace

int HandleTable_Init(HandleTable *table, uint16_t tag) {
  HandleTable_Destroy(table);
  auto *entries = static_cast<HandleEntry *>(calloc(HANDLE_TABLE_GROWTH, sizeof(HandleEntry)));
  if (entries == nullptr) return E_S1001;
  table->entries = entries;
  table->storage = HANDLE_TABLE_GROWTH;
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
  FreeRetired(table);
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
    // The array's room doubles, so filling a table is not quadratic in
    // copying; a failure leaves the table unchanged.
    if (int rc = Reserve(table, newCap)) return rc;
    // After the array: a lookup that sees the capacity sees the array.
    Shared(table->capacity).store(static_cast<uint16_t>(newCap), std::memory_order_release);
    table->freeCount = HANDLE_TABLE_GROWTH;
    index = oldCap;
  }
  SetEntry(table->entries[index], EntryTag(table), object);
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
  // Without the lock (see the header): capacity before array, tag before object.
  if (index >= Shared(table->capacity).load(std::memory_order_acquire)) return nullptr;
  HandleEntry &e = Shared(table->entries).load(std::memory_order_acquire)[index];
  if (Shared(e.tag).load(std::memory_order_acquire) != tag) return nullptr;
  return Shared(e.object).load(std::memory_order_relaxed);
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
  SetEntry(e, 0, nullptr);
  // The only free entry, or one below the hint: the lowest free entry now.
  if (table->freeCount == 0 || index < table->firstFree) table->firstFree = static_cast<uint16_t>(index);
  ++table->freeCount;
}
