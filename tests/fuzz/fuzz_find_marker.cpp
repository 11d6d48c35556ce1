// find_marker against the plain reading of its rule: the first byte picks
// the marker's length, the marker follows, the rest is the buffer, copied
// into an exact-size heap block so that a read past its end is caught.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/page_scan.h"
#include "tests/support/page_seeds.h"
#include "util/mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 0x7FFFFFFF)
        return 0;
    size_t m = data[0] % FIND_MARKER_MAX_MARKER;
    if (size < 1 + m)
        return 0;
    char marker[FIND_MARKER_MAX_MARKER + 1];
    memcpy(marker, data + 1, m);
    marker[m] = 0;
    size_t m_real = strlen(marker);  // a zero byte in it ends it early
    size_t length = size - 1 - m;
    char *buffer = (char *)mem_alloc((uint32_t)length);
    if (length > 0 && buffer == NULL)
        return 0;
    if (length > 0)
        memcpy(buffer, data + 1 + m, length);

    int32_t found = find_marker(buffer, (int32_t)length, marker);

    int32_t expected = -1;
    for (size_t offset = 0; length > m_real && offset + m_real + 1 <= length; offset++) {
        if (memcmp(buffer + offset, marker, m_real) == 0) {
            expected = (int32_t)offset;
            break;
        }
    }
    mem_free(buffer);
    if (found != expected)
        abort();
    return 0;
}
