// Memory and text helpers: every heap block of the program goes through here.
#ifndef VELVANE_UTIL_MEM_H
#define VELVANE_UTIL_MEM_H

#include <stdint.h>

// Size 0 gives no block and allocates nothing; otherwise the heap's block, or
// null when the heap is exhausted.
void *mem_alloc(uint32_t size);

// Size 0 releases the block (if any) and gives null. Otherwise reallocates
// (from null it allocates afresh); on failure gives null and the old block
// stays allocated and unchanged.
void *mem_realloc(void *block, uint32_t size);

// Null is accepted and does nothing.
void mem_free(void *block);

// Null gives null; otherwise a new block holding the text and its terminator.
char *dup_string(const char *text);

// The number of blocks handed out by these operations and not yet released
// (all threads together): tests use it to show that every buffer is
// released exactly once.
int32_t mem_live_blocks(void);

#endif
