#include "util/mpl.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/log.h"
#include "util/utalloc.h"

namespace {

constexpr size_t kChunkUnit = 4096;

// Chunk header: {previous chunk, end of this chunk}.
struct ChunkHeader {
  char *prev;
  char *end;
};

inline ChunkHeader *Header(char *chunk) { return reinterpret_cast<ChunkHeader *>(chunk); }

// The data area: the first 16-byte boundary at least 16 bytes into the chunk.
inline char *DataArea(char *chunk) {
  return reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(chunk) + 31) & ~static_cast<uintptr_t>(15));
}

}  // namespace

void *mpl_xcalloc(size_t size) {
  void *p = calloc(1, size == 0 ? 1 : size);
  if (p == nullptr) {
    log_msg(LOG_ERR, __FILE__, 51, "out of memory");
    s_exit(1);
  }
  return p;
}

void mpl_xfree(void *block) { free(block); }

void mpl_init(MemPool *pool) { *pool = MemPool{}; }

void mpl_grow(MemPool *pool, size_t n) {
  const size_t len = mpl_object_size(pool);
  size_t size = len + n + len / 8 + 100;
  size = (size + kChunkUnit - 1) / kChunkUnit * kChunkUnit;
  char *chunk = static_cast<char *>(mpl_xcalloc(size));
  char *data = DataArea(chunk);
  assert(data + len + n < chunk + size);
  if (len > 0) memcpy(data, pool->object, len);
  ChunkHeader *h = Header(chunk);
  if (pool->chunk != nullptr && pool->object == DataArea(pool->chunk)) {
    // The growing object was all the old chunk held: drop that chunk.
    h->prev = Header(pool->chunk)->prev;
    mpl_xfree(pool->chunk);
  } else {
    h->prev = pool->chunk;
  }
  h->end = chunk + size;
  pool->chunk = chunk;
  pool->limit = chunk + size;
  pool->object = data;
  pool->next = data + len;
}

void *mpl_append(MemPool *pool, const void *bytes, size_t n) {
  // An empty pool has no chunk: no arithmetic on its null pointers.
  if (pool->chunk == nullptr || n >= static_cast<size_t>(pool->limit - pool->next)) mpl_grow(pool, n);
  char *at = pool->next;
  if (n > 0) memcpy(at, bytes, n);
  pool->next += n;
  return at;
}

void *mpl_finish(MemPool *pool) {
  char *start = pool->object;
  uintptr_t next = (reinterpret_cast<uintptr_t>(pool->next) + 15) & ~static_cast<uintptr_t>(15);
  // A boundary past the chunk's end just makes the next append grow.
  pool->next = reinterpret_cast<char *>(next);
  if (pool->next > pool->limit) pool->next = pool->limit;
  pool->object = pool->next;
  return start;
}

void mpl_free_all(MemPool *pool) {
  char *chunk = pool->chunk;
  while (chunk != nullptr) {
    char *prev = Header(chunk)->prev;
    mpl_xfree(chunk);
    chunk = prev;
  }
  *pool = MemPool{};
}
