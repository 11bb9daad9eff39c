#pragma once
// Internal helpers of the Dataset and ColAttr sources (not for other layers).
//
// Allocation: running out of memory is a result here (E_S1001) that the
// caller stores as a pending error, never a process exit, so these go to the
// C allocator directly instead of s_alloc. Blocks are released with free().
//
// Test builds define KVD_DATASET_FAULT_INJECTION and set g_dsAllocFailAt to
// make the n-th following allocation fail, so that every failure path can be
// run under the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "odbc/dataset.h"

#ifdef KVD_DATASET_FAULT_INJECTION
// -1: never fail. n >= 0: the allocation after n successful ones fails (and
// the countdown stops at -1 again).
extern long g_dsAllocFailAt;
inline bool DsAllocFails() {
  if (g_dsAllocFailAt < 0) return false;
  if (g_dsAllocFailAt-- == 0) return true;
  return false;
}
#else
inline bool DsAllocFails() { return false; }
#endif

inline void *DsMalloc(size_t bytes) {
  if (DsAllocFails()) return nullptr;
  return std::malloc(bytes ? bytes : 1);
}

// realloc: on failure the old block is left as it was.
inline void *DsRealloc(void *block, size_t bytes) {
  if (DsAllocFails()) return nullptr;
  return std::realloc(block, bytes ? bytes : 1);
}

inline void *DsCalloc(size_t count, size_t size) {
  if (DsAllocFails()) return nullptr;
  if (count == 0 || size == 0) return std::calloc(1, 1);
  return std::calloc(count, size);
}

inline bool DsIsLong(int32_t type) {
  return type == VT_LONGCHAR || type == VT_LONGBINARY || type == VT_LONGWCHAR;
}

// Elements are addressed at row * size and need not be aligned for
// LongValue or the length prefixes: read and write them by copy.
inline LongValue DsLongGet(const unsigned char *elem) {
  LongValue lv;
  std::memcpy(&lv, elem, sizeof lv);
  return lv;
}
inline void DsLongSet(unsigned char *elem, const LongValue &lv) { std::memcpy(elem, &lv, sizeof lv); }
inline void DsLongClearBuffer(unsigned char *elem) {
  void *none = nullptr;
  std::memcpy(elem + offsetof(LongValue, buffer), &none, sizeof none);
}

// Bytes of a long value's contents (units count twice for wide text).
inline size_t DsLongBytes(int32_t type, uint32_t length) {
  return type == VT_LONGWCHAR ? size_t(length) * 2 : size_t(length);
}

// A new buffer holding a copy of a long value's bytes, followed by two zero
// bytes so that text readers always find a terminator. NULL when out of
// memory.
inline void *DsLongCopy(int32_t type, const LongValue &lv) {
  size_t bytes = DsLongBytes(type, lv.length);
  auto *copy = static_cast<unsigned char *>(DsMalloc(bytes + 2));
  if (!copy) return nullptr;
  if (bytes) std::memcpy(copy, lv.buffer, bytes);
  copy[bytes] = 0;
  copy[bytes + 1] = 0;
  return copy;
}

inline uint32_t DsGetLe16(const unsigned char *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t DsGetLe32(const unsigned char *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void DsPutLe16(unsigned char *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void DsPutLe32(unsigned char *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// The defined bytes of the element at row of a column with storage: what
// DatasetValueGet copies. Lengths read from a prefix are bounded by the
// element, so that a damaged prefix never leads a reader out of it.
void DsValueSpan(const DatasetCol &col, uint32_t row, const unsigned char **data, uint32_t *len);

// The element size is at least the type's minimum.
bool DsLayoutOk(int32_t type, uint32_t size);
