// Bounded scanning of a page buffer: the marker search and the number reader
// that both page parsers walk with. Buffers are not zero-terminated; nothing
// is read at or past the given length.
#ifndef VELVANE_FETCH_PAGE_SCAN_H
#define VELVANE_FETCH_PAGE_SCAN_H

#include <stdint.h>

// Offset of the first occurrence of the zero-terminated marker within the
// first length bytes of buffer, or -1. Only start offsets 0 .. length - m - 1
// are tried (m the marker's length): an occurrence that ends on the very last
// byte is not found, and a range no longer than the marker finds nothing.
int32_t find_marker(const char *buffer, int32_t length, const char *marker);

// The plain decimal conversion over at most length bytes: white space
// skipped, one optional sign, digits up to the first other byte; no digits
// give 0. A value beyond 32 bits is held at the nearest end of the range.
int32_t read_page_number(const char *text, int32_t length);

// A forward-only position in a page.
struct PageCursor {
    const char *at;
    int32_t left;  // bytes from at to the end of the page
};

// Finds marker from the cursor: its offset there, or -1.
int32_t cursor_find(const PageCursor *cursor, const char *marker);

// Finds marker and moves the cursor to the first byte after it; 1 when
// found, 0 (cursor unmoved) when not.
int cursor_skip_past(PageCursor *cursor, const char *marker);

// The number at the cursor (the cursor does not move).
int32_t cursor_number(const PageCursor *cursor);

// A text cell: the cursor stands on its first byte, "</td>" ends it. Gives
// the cell's length n, or -1 when "</td>" is not found.
int32_t cursor_cell_length(const PageCursor *cursor);

// A new heap block holding the n bytes at text and a zero byte; null when it
// cannot be allocated.
char *copy_cell_text(const char *text, int32_t n);

// Keeps the first min(n, WIND_DIRECTION_MAX) bytes of a cell, zero-ended, in
// a wind-direction buffer (which may cut a two-byte character in half).
void copy_wind_direction(char *direction, const char *text, int32_t n);

#endif
