#pragma once
// MD5 message digest (RFC 1321), used to turn connect data and table names
// into 16-byte hash keys. The symbols are hidden so that they can never bind
// to, or be bound by, another MD5 implementation in the same process.
#include <cstdint>

#define KVD_HIDDEN __attribute__((visibility("hidden")))

struct MD5_CTX {
  uint32_t state[4];  // A, B, C, D
  uint32_t count[2];  // message length in bits, low word first
  unsigned char buffer[64];
};

KVD_HIDDEN void MD5Init(MD5_CTX *context);
KVD_HIDDEN void MD5Update(MD5_CTX *context, const void *input, uint32_t length);
// Pads, then writes the 16-byte digest; the context is not cleared.
KVD_HIDDEN void MD5Final(unsigned char digest[16], MD5_CTX *context);
KVD_HIDDEN void MD5Transform(uint32_t state[4], const unsigned char block[64]);
