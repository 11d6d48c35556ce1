// The fuzz targets' seeds: pages from the page builder, the ordinary one and
// each of its broken forms. tests/posix/test_fuzz_seeds.cpp checks that the
// committed seeds under tests/fuzz/seeds/ are these, and writes them anew
// when asked (scripts/gen-fuzz-seeds).
#ifndef VELVANE_TESTS_SUPPORT_PAGE_SEEDS_H
#define VELVANE_TESTS_SUPPORT_PAGE_SEEDS_H

#include <stdint.h>

// The fuzz_find_marker input: the first byte modulo this is the marker's
// length, the marker follows, and the rest is the buffer searched.
enum { FIND_MARKER_MAX_MARKER = 48 };

// Called with each seed: the target's name (fuzz_forecast_parser,
// fuzz_actual_parser, fuzz_find_marker), the seed's file name and its bytes.
typedef void (*SeedSink)(const char *target, const char *name, const char *bytes, int32_t length,
                         void *context);

void page_seeds_each(SeedSink sink, void *context);

#endif
