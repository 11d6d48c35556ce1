// The heap behind every block of the program, reached through one table of
// entry points that is fixed at build time.
#include "util/mem.h"

#include <atomic>
#include <stdlib.h>
#include <string.h>

struct Allocator {
    void *(*allocate)(size_t size);
    void *(*reallocate)(void *block, size_t size);
    void (*release)(void *block);
};

// The runtime library's heap takes calls from several threads at once.
static const Allocator HEAP = {malloc, realloc, free};

// Blocks handed out and not yet released, for tests that check that every
// buffer is released exactly once.
static std::atomic<int32_t> live_blocks(0);

void *mem_alloc(uint32_t size)
{
    if (size == 0)
        return NULL;
    void *block = HEAP.allocate(size);
    if (block != NULL)
        live_blocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void *mem_realloc(void *block, uint32_t size)
{
    if (size == 0) {
        mem_free(block);
        return NULL;
    }
    void *moved = HEAP.reallocate(block, size);
    if (moved != NULL && block == NULL)
        live_blocks.fetch_add(1, std::memory_order_relaxed);
    return moved;
}

void mem_free(void *block)
{
    if (block == NULL)
        return;
    live_blocks.fetch_sub(1, std::memory_order_relaxed);
    HEAP.release(block);
}

char *dup_string(const char *text)
{
    if (text == NULL)
        return NULL;
    size_t length = strlen(text);
    if (length >= UINT32_MAX)
        return NULL;
    char *copy = (char *)mem_alloc((uint32_t)length + 1);
    if (copy != NULL)
        memcpy(copy, text, length + 1);
    return copy;
}

int32_t mem_live_blocks(void)
{
    return live_blocks.load(std::memory_order_relaxed);
}
