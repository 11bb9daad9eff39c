#pragma once
// Piece collection buffer: the pieces of a LONG or LOB value, whose total
// size is known only at the end, gathered in one growing byte area and copied
// out in one go when the value is complete.
//
// The record has the layout of the MemPool text builder (util/mpl.h): current
// chunk, start of the collected bytes, end of them (next free byte), limit of
// the chunk. A chunk is {previous chunk; chunk end; data from its 16th byte}.
// The collected bytes always stay in one chunk. It grows geometrically, so
// collecting a value of n bytes in pieces copies O(n) bytes in all, however
// small the pieces. A buffer with all four fields zero is empty.
#include <cstddef>
#include <cstdint>

struct PieceBuf {
  char *chunk;
  char *start;
  char *end;
  char *limit;
};

// Sets the four fields to zero (owns nothing afterwards; see PieceBuf_Free).
void PieceBuf_Clear(PieceBuf *b);
// n bytes appended at the end of the collected bytes, for the caller to fill;
// NULL (the buffer unchanged) when no room could be made. Valid until the
// next Reserve.
void *PieceBuf_Reserve(PieceBuf *b, size_t n);
// Bytes collected so far.
size_t PieceBuf_Size(const PieceBuf *b);
// Copies the collected bytes so that they end at dst + total (with total
// equal to the collected size: to the start of dst). Nothing when they do
// not fit in total bytes.
void PieceBuf_CopyOut(void *dst, const PieceBuf *b, size_t total);
// The same counted in 16-bit units (wide values).
void PieceBuf_CopyOutWide(uint16_t *dst, const PieceBuf *b, size_t totalUnits);
// Frees the chunk and clears the buffer.
void PieceBuf_Free(PieceBuf *b);
