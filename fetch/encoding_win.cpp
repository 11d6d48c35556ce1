// The two conversions by the system's code-page functions.
#include "fetch/encoding.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "util/mem.h"

// Every block has one unit more than the system asks for, cleared: when a
// text ends inside a multi-byte sequence, some versions of the conversion
// swallow the terminator with it, and the extra unit still ends the text.
static void *cleared_block(int count, uint32_t unit_size)
{
    if (count <= 0 || (uint32_t)count >= UINT32_MAX / unit_size - 1)
        return NULL;
    uint32_t size = ((uint32_t)count + 1) * unit_size;
    void *block = mem_alloc(size);
    if (block != NULL)
        memset(block, 0, size);
    return block;
}

Utf16Unit *utf8_to_utf16(const char *text)
{
    if (text == NULL)
        return NULL;
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    if (n == 0) {
        fputs("Failed to obtain utf8 string length\n", stdout);
        return NULL;
    }
    Utf16Unit *wide = (Utf16Unit *)cleared_block(n, sizeof(Utf16Unit));
    if (wide == NULL) {
        fputs("Failed to allocate unicode string\n", stdout);
        return NULL;
    }
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, n) == 0) {
        fputs("Failed to convert to unicode\n", stdout);
        mem_free(wide);
        return NULL;
    }
    return wide;
}

char *utf16_to_cp1251(const Utf16Unit *text)
{
    if (text == NULL)
        return NULL;
    int n = WideCharToMultiByte(1251, 0, text, -1, NULL, 0, NULL, NULL);
    if (n == 0) {
        fputs("Failed to obtain required cp1251 string length\n", stdout);
        return NULL;
    }
    char *narrow = (char *)cleared_block(n, 1);
    if (narrow == NULL) {
        fputs("Failed to allocate cp1251 string\n", stdout);
        return NULL;
    }
    if (WideCharToMultiByte(1251, 0, text, -1, narrow, n, NULL, NULL) == 0) {
        fputs("Failed to convert from unicode\n", stdout);
        mem_free(narrow);
        return NULL;
    }
    return narrow;
}
