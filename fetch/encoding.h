// Conversion of the pages' UTF-8 texts to code page 1251 for display,
// through UTF-16. On Windows it is the system's own conversion
// (MultiByteToWideChar, WideCharToMultiByte); elsewhere a conversion of ours
// that gives the same bytes for the same input.
//
// Results are new blocks from util/mem.h that belong to the caller, who
// releases them with mem_free. A failure writes one line to standard output
// and gives null.
#ifndef VELVANE_FETCH_ENCODING_H
#define VELVANE_FETCH_ENCODING_H

#ifdef _WIN32
typedef wchar_t Utf16Unit;
#else
typedef char16_t Utf16Unit;
#endif

// Zero-terminated UTF-8 to zero-terminated UTF-16. An invalid sequence does
// not fail: it comes out as U+FFFD.
Utf16Unit *utf8_to_utf16(const char *text);

// Zero-terminated UTF-16 to zero-terminated CP1251; what the code page cannot
// show comes out as its default character '?' (or a look-alike, as Windows
// picks one).
char *utf16_to_cp1251(const Utf16Unit *text);

// Both steps in one: the only one the rest of the program calls.
char *utf8_to_cp1251(const char *text);

#endif
