#pragma once
// MemPool: the driver's text builder. Objects are grown by appending to one
// object at a time and finished; finished objects never move and stay valid
// until the whole pool is freed. Memory comes in zero-filled chunks of
// multiples of 4096 bytes, so the byte after a freshly appended text reads as
// NUL. An all-zero pool is empty and valid.
#include <cstddef>

struct MemPool {
  char *chunk;   // the newest chunk, or NULL
  char *object;  // start of the object being grown
  char *next;    // first byte after the growing object
  char *limit;   // end of the current chunk
};

void mpl_init(MemPool *pool);
// Appends n bytes to the growing object; returns where they were copied
// (valid until the next growth).
void *mpl_append(MemPool *pool, const void *bytes, size_t n);
// Appends one byte (separators and terminators).
inline void mpl_append_byte(MemPool *pool, char c);
// Moves the growing object into a new chunk with room for n more bytes.
void mpl_grow(MemPool *pool, size_t n);
// Ends the growing object and returns its start; the next object starts at
// the next 16-byte boundary.
void *mpl_finish(MemPool *pool);
// Frees every chunk; every object of the pool becomes invalid.
void mpl_free_all(MemPool *pool);
// Size of the growing object so far.
inline size_t mpl_object_size(const MemPool *pool) { return static_cast<size_t>(pool->next - pool->object); }

// Zero-filled heap block that is never NULL: out of memory ends the process.
void *mpl_xcalloc(size_t size);
void mpl_xfree(void *block);

inline void mpl_append_byte(MemPool *pool, char c) {
  if (pool->next >= pool->limit) mpl_grow(pool, 1);
  *pool->next++ = c;
}
