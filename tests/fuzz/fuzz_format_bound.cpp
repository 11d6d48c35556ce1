// format_size_bound against the length vsnprintf really gives: the input
// bytes choose a format from the grammar of tests/support/format_grammar.h
// (flags, widths, precisions, '*', numbered arguments, every size and
// conversion) and the values of its arguments, each of the type its
// directive reads. A bound below the length plus one, a numbered format
// left without a bound, or a text of format_string that differs from
// vsnprintf's stops the run.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "tests/support/format_grammar.h"

namespace {

struct Bytes {
    const uint8_t *data;
    size_t size;
    size_t at;
};

// Two bytes a choice; past the end of the input every choice is 0.
uint32_t next_choice(void *context, uint32_t n)
{
    Bytes *bytes = (Bytes *)context;
    uint32_t value = 0;
    for (int k = 0; k < 2 && bytes->at < bytes->size; k++)
        value = (value << 8) | bytes->data[bytes->at++];
    return value % n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Bytes bytes = {data, size, 0};
    format_grammar::Chooser chooser = {next_choice, &bytes};
    format_grammar::Case c;
    format_grammar::build(&chooser, &c, true);
    format_grammar::Outcome outcome = format_grammar::check(&c);
    if (outcome.failure) {
        fprintf(stderr, "format \"%s\": length %d, bound %u: %s\n", c.format.c_str(), outcome.length,
                (unsigned)outcome.bound, outcome.why);
        abort();
    }
    return 0;
}
