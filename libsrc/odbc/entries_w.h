#pragma once
// What the W entry points share with the rest of the front end.
#include <cstdint>

// Makes the NUL-terminated UTF-8 copy of an input text of n UTF-16 units
// (or up to the NUL for a negative n); NULL when it cannot. The conversion
// itself refuses no input, so the copy fails only when memory runs out;
// tests put a failing function here to reach those paths.
using WideInDupFn = char *(*)(const uint16_t *text, int32_t n);
extern WideInDupFn g_wideInDup;
