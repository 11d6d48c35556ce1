#include "tests/support/page_scan_plain.h"

#include <stddef.h>
#include <string.h>

int32_t find_marker_plain(const char *buffer, int32_t length, const char *marker)
{
    if (buffer == NULL || marker == NULL || length <= 0)
        return -1;
    size_t m = strlen(marker);
    if ((size_t)length <= m)
        return -1;
    int32_t last = length - (int32_t)m - 1;
    for (int32_t offset = 0; offset <= last; offset++) {
        if (memcmp(buffer + offset, marker, m) == 0)
            return offset;
    }
    return -1;
}
