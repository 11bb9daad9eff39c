#pragma once
// Allocation that never returns NULL: running out of memory logs one line and
// ends the process with status 1. Memory is released with free().
#include <cstddef>

void *s_alloc(size_t count, size_t size);
char *s_strdup(const char *text);
[[noreturn]] void s_exit(int status);
