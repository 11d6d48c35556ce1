// The composed conversion, the same on every platform.
#include "fetch/encoding.h"

#include <stddef.h>

#include "util/mem.h"

char *utf8_to_cp1251(const char *text)
{
    Utf16Unit *wide = utf8_to_utf16(text);
    if (wide == NULL)
        return NULL;
    char *result = utf16_to_cp1251(wide);
    mem_free(wide);
    return result;
}
