// Allocate-and-format: a new text sized in advance by an upper bound of its
// formatted length.
#ifndef VELVANE_UTIL_FORMAT_H
#define VELVANE_UTIL_FORMAT_H

#include <stdarg.h>
#include <stdint.h>

// A new text (release it with mem_free), or null when the heap cannot
// supply the block.
char *format_string(const char *format, ...);
char *format_string_v(const char *format, va_list args);

// An upper bound of the length that vsprintf gives for format and args,
// plus one for the terminator. A missing format gives 1. Formats of literal
// text and %s alone get the exact length plus one.
uint32_t format_size_bound(const char *format, va_list args);

#endif
