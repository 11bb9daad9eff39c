// Piece collection buffer (see db-piece.h).
#include "drv_ora8/db-piece.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kHeader = 16;  // {previous chunk; chunk end}
constexpr size_t kFirstChunk = 4096;

struct ChunkHeader {
  char *prev;
  char *end;
};
static_assert(sizeof(ChunkHeader) <= kHeader, "the chunk header fits before the data");

}  // namespace

void PieceBuf_Clear(PieceBuf *b) { *b = PieceBuf{nullptr, nullptr, nullptr, nullptr}; }

size_t PieceBuf_Size(const PieceBuf *b) { return static_cast<size_t>(b->end - b->start); }

void *PieceBuf_Reserve(PieceBuf *b, size_t n) {
  const size_t used = PieceBuf_Size(b);
  if (static_cast<size_t>(b->limit - b->end) < n) {
    // Room for the new piece and at least as much again as is held: each
    // byte is copied a bounded number of times however the value is cut.
    const size_t cap = static_cast<size_t>(b->limit - b->start);
    if (n > SIZE_MAX - kHeader - used) return nullptr;
    size_t want = used + n;
    if (want < kFirstChunk) want = kFirstChunk;
    if (cap <= (SIZE_MAX - kHeader) / 2 && want < 2 * cap) want = 2 * cap;
    // The collected bytes are the chunk's only content, so the chunk itself
    // grows (and moves).
    auto *chunk = static_cast<char *>(realloc(b->chunk, kHeader + want));
    if (!chunk) return nullptr;
    ChunkHeader h{nullptr, chunk + kHeader + want};
    memcpy(chunk, &h, sizeof h);
    b->chunk = chunk;
    b->start = chunk + kHeader;
    b->end = b->start + used;
    b->limit = h.end;
  }
  char *at = b->end;
  b->end += n;
  return at;
}

void PieceBuf_CopyOut(void *dst, const PieceBuf *b, size_t total) {
  const size_t used = PieceBuf_Size(b);
  if (used == 0 || used > total) return;
  memcpy(static_cast<char *>(dst) + (total - used), b->start, used);
}

void PieceBuf_CopyOutWide(uint16_t *dst, const PieceBuf *b, size_t totalUnits) {
  const size_t units = PieceBuf_Size(b) / 2;
  if (units == 0 || units > totalUnits) return;
  memcpy(dst + (totalUnits - units), b->start, units * 2);
}

void PieceBuf_Free(PieceBuf *b) {
  free(b->chunk);
  PieceBuf_Clear(b);
}
