// The fast find_marker against the plain one on any bytes. The first byte
// chooses how the marker is made: its low bit, taken from the input as it
// stands (any length, any bytes, ended early by a zero byte) or cut out of
// the buffer itself, so that the marker occurs; the next two bytes give its
// length and, for a cut, where it is cut. The buffer is an exact-size heap
// block, so that a read past its end is caught.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/page_scan.h"
#include "tests/support/page_scan_plain.h"
#include "util/mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3 || size > 0x7FFFFFFF)
        return 0;
    int from_buffer = data[0] & 1;
    size_t m = data[1];
    size_t cut_at = data[2];
    data += 3;
    size -= 3;

    size_t marker_bytes = from_buffer ? 0 : (m < size ? m : size);
    size_t length = size - marker_bytes;
    char *buffer = (char *)mem_alloc((uint32_t)length);
    if (length > 0 && buffer == NULL)
        return 0;
    if (length > 0)
        memcpy(buffer, data + marker_bytes, length);

    char marker[256];
    if (from_buffer) {
        size_t at = length > 0 ? cut_at % length : 0;
        if (m > length - at)
            m = length - at;
        if (m > 0)
            memcpy(marker, buffer + at, m);
    } else {
        m = marker_bytes;
        if (m > 0)
            memcpy(marker, data, m);
    }
    marker[m] = 0;

    int32_t fast = find_marker(buffer, (int32_t)length, marker);
    int32_t plain = find_marker_plain(buffer, (int32_t)length, marker);
    // A shorter range as well: the length bounds the search, not the block.
    int32_t shorter = (int32_t)(length / 2);
    int32_t fast_short = find_marker(buffer, shorter, marker);
    int32_t plain_short = find_marker_plain(buffer, shorter, marker);
    mem_free(buffer);
    if (fast != plain || fast_short != plain_short)
        abort();
    return 0;
}
