// The memory helpers' rules at the edges.
#include <doctest/doctest.h>

#include <string.h>

#include "util/mem.h"

TEST_CASE("zero sizes and null blocks")
{
    int32_t before = mem_live_blocks();
    CHECK(mem_alloc(0) == NULL);
    CHECK(mem_live_blocks() == before);
    mem_free(NULL);
    CHECK(mem_live_blocks() == before);

    void *block = mem_realloc(NULL, 10);
    REQUIRE(block != NULL);
    CHECK(mem_live_blocks() == before + 1);
    CHECK(mem_realloc(block, 0) == NULL);
    CHECK(mem_live_blocks() == before);
}

TEST_CASE("reallocation keeps the contents and the count")
{
    int32_t before = mem_live_blocks();
    char *block = (char *)mem_alloc(4);
    REQUIRE(block != NULL);
    memcpy(block, "abc", 4);
    block = (char *)mem_realloc(block, 100000);
    REQUIRE(block != NULL);
    CHECK(strcmp(block, "abc") == 0);
    CHECK(mem_live_blocks() == before + 1);

    // A request the heap cannot meet gives null and leaves the block alone.
    void *failed = mem_realloc(block, UINT32_MAX);
    if (failed == NULL) {
        CHECK(strcmp(block, "abc") == 0);
        mem_free(block);
    } else {
        mem_free(failed);
    }
    CHECK(mem_live_blocks() == before);
}

TEST_CASE("dup_string")
{
    CHECK(dup_string(NULL) == NULL);
    char *empty = dup_string("");
    REQUIRE(empty != NULL);
    CHECK(empty[0] == 0);
    mem_free(empty);
    char *copy = dup_string("Москва");
    REQUIRE(copy != NULL);
    CHECK(strcmp(copy, "Москва") == 0);
    mem_free(copy);
}
