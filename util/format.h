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

// Degrees times 10000 (the catalogue's and the found places' coordinates)
// as decimal degrees with a point and four decimals, "-55.7420", whatever
// the locale: whole numbers only, so no decimal comma can get in.
enum { DEGREES_TEXT_SIZE = 16 };
void format_degrees_e4(int32_t value_e4, char text[DEGREES_TEXT_SIZE]);

#endif
