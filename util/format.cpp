// The size bound walks the format directive by directive and takes the
// arguments in step with the formatting that follows, so that text lengths,
// '*' widths and the magnitudes of doubles under %f count as vsprintf will
// see them.
//
// Formats with numbered arguments ("%2$s", "%1$*3$d") read their arguments
// out of order. For those the walk runs twice: first to learn the kind of
// the argument at each position, then (after every argument has been taken
// from the list once, in position order) to count each directive with the
// very argument it names. A numbered format that vsprintf could not read
// either (a position left out, more than MAX_POSITIONS positions, numbered
// and plain directives mixed) gets UINT32_MAX: no bound at all, and
// format_string_v gives null for it.
#include "util/format.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "util/mem.h"

namespace {

enum ArgKind { ARG_NONE, ARG_INT, ARG_LONG, ARG_LLONG, ARG_DOUBLE, ARG_LDOUBLE, ARG_TEXT, ARG_WTEXT, ARG_POINTER };

enum { MAX_POSITIONS = 64 };

enum WalkMode {
    WALK_LIST,        // plain format: arguments from the list, in order
    WALK_COLLECT,     // numbered format, first walk: note each position's kind
    WALK_POSITIONAL,  // numbered format, second walk: arguments by position
};

struct ArgValue {
    ArgKind kind;
    long long integer;
    long double real;
    const void *pointer;
};

struct ArgSource {
    WalkMode mode;
    va_list *list;                  // WALK_LIST only
    ArgValue slots[MAX_POSITIONS];  // by position - 1
    int highest;                    // highest position named
    bool unreadable;                // a numbered format vsprintf cannot read
};

uint64_t larger(uint64_t a, uint64_t b)
{
    return a > b ? a : b;
}

uint64_t star_magnitude(long long value)
{
    return value < 0 ? (uint64_t)0 - (uint64_t)value : (uint64_t)value;
}

// Digits of the integral part of a value printed with %f: never below 0,
// so the term cannot take a directive's length under its true size.
uint64_t integral_digits(long double value)
{
    if (!isfinite(value))
        return 0;
    int exponent = 0;
    frexpl(value, &exponent);  // |value| < 2^exponent
    if (exponent <= 0)
        return 0;
    return (uint64_t)(exponent * 0.3010299956639812) + 1;
}

// Characters of a multibyte character at most, in the current locale.
uint64_t multibyte_max(void)
{
    size_t n = MB_CUR_MAX;
    return n > 0 ? (uint64_t)n : 1;
}

ArgValue read_from_list(va_list *list, ArgKind kind)
{
    ArgValue value;
    memset(&value, 0, sizeof value);
    value.kind = kind;
    switch (kind) {
    case ARG_INT: value.integer = va_arg(*list, int); break;
    case ARG_LONG: value.integer = va_arg(*list, long); break;
    case ARG_LLONG: value.integer = va_arg(*list, long long); break;
    case ARG_DOUBLE: value.real = va_arg(*list, double); break;
    case ARG_LDOUBLE: value.real = va_arg(*list, long double); break;
    case ARG_TEXT: value.pointer = va_arg(*list, const char *); break;
    case ARG_WTEXT: value.pointer = va_arg(*list, const wchar_t *); break;
    case ARG_POINTER: value.pointer = va_arg(*list, void *); break;
    case ARG_NONE: break;
    }
    return value;
}

// The argument of the given kind that the formatting reads next: from the
// list, or the one at position (1-based) of a numbered format.
ArgValue take(ArgSource *source, ArgKind kind, int position)
{
    ArgValue value;
    memset(&value, 0, sizeof value);
    value.kind = kind;
    if (source->mode == WALK_LIST)
        return read_from_list(source->list, kind);
    if (position < 1 || position > MAX_POSITIONS) {
        source->unreadable = true;
        return value;
    }
    ArgValue *slot = &source->slots[position - 1];
    if (source->mode == WALK_COLLECT) {
        if (slot->kind != ARG_NONE && slot->kind != kind)
            source->unreadable = true;  // one position read as two kinds
        slot->kind = kind;
        if (position > source->highest)
            source->highest = position;
        return value;
    }
    if (slot->kind != kind)
        return value;
    return *slot;
}

// The number of "N$" at p (a position of a numbered format), or 0.
int position_at(const char *p)
{
    if (*p < '1' || *p > '9')
        return 0;
    long number = 0;
    while (*p >= '0' && *p <= '9') {
        if (number <= MAX_POSITIONS)
            number = number * 10 + (*p - '0');
        p++;
    }
    if (*p != '$')
        return 0;
    return number <= MAX_POSITIONS ? (int)number : MAX_POSITIONS + 1;
}

struct Directive {
    uint64_t width, precision, length;
    bool alternate, blank, sign, grouping, seen_precision, is_long, extra_long, long_double;
    bool possible_sign, done;
    bool local_digits;  // glibc's 'I': the locale's own (multibyte) digits
};

// Integer conversions reserve room for 32 bits, twice that for 64.
bool is_wide_integer(const Directive *d)
{
    return d->extra_long || (d->is_long && sizeof(long) > 4);
}

ArgKind integer_kind(const Directive *d)
{
    return d->extra_long ? ARG_LLONG : d->is_long ? ARG_LONG : ARG_INT;
}

void count_integer(Directive *d, uint64_t length, ArgSource *source, int position)
{
    d->possible_sign = true;
    d->length += is_wide_integer(d) ? 2 * length : length;
    (void)take(source, integer_kind(d), position);
}

// Reads one directive (p just past its '%') and adds its length to *count;
// returns the position after it, or null at the end of the format.
const char *count_directive(const char *p, ArgSource *source, uint64_t *count)
{
    Directive d;
    memset(&d, 0, sizeof d);
    const char *start = p - 1;
    // "%N$...": the argument of this directive's conversion.
    int position = position_at(p);
    bool numbered = source->mode != WALK_LIST;
    bool numeric = false;  // a conversion of digits, for grouping and 'I'

    for (;;) {
        char c = *p;
        if (c == 0) {
            // The directive's characters so far and its end.
            d.length += (uint64_t)(p - start) + 1;
            *count += d.length;
            return NULL;
        }
        p++;
        switch (c) {
        case '#': d.alternate = true; break;
        case ' ': d.blank = true; break;
        case '+': d.sign = true; break;
        case '\'': d.grouping = true; break;
        case '0': case '-': case 'h': break;
        case '.': d.seen_precision = true; break;
        case '1': case '2': case '3': case '4': case '5':
        case '6': case '7': case '8': case '9': {
            uint64_t number = (uint64_t)(c - '0');
            while (*p >= '0' && *p <= '9') {
                if (number < UINT32_MAX)
                    number = number * 10 + (uint64_t)(*p - '0');
                p++;
            }
            if (d.seen_precision)
                d.precision = larger(d.precision, number);
            else
                d.width = larger(d.width, number);
            break;
        }
        case '*': {
            // "*N$" in a numbered format; the digits and the '$' are read
            // on as any others.
            long long value = take(source, ARG_INT, numbered ? position_at(p) : 0).integer;
            uint64_t magnitude = star_magnitude(value);
            if (d.seen_precision) {
                // A negative precision counts as none at all.
                if (value < 0)
                    d.seen_precision = false;
                else
                    d.precision = larger(d.precision, magnitude);
            } else {
                d.width = larger(d.width, magnitude);
            }
            break;
        }
        case '$': *count += 1024; break;
        case 'l':
            if (d.is_long)
                d.extra_long = true;
            d.is_long = true;
            break;
        case 'L': case 'q':
            d.is_long = d.extra_long = true;
            d.long_double = c == 'L';
            break;
        // Sizes of 64 bits on every platform we build for.
        case 'j': case 'z': case 't':
            d.is_long = d.extra_long = true;
            break;
        case '%': d.length += 1; break;
        case 'x': case 'X': numeric = true; count_integer(&d, 10, source, position); break;
        case 'u': numeric = true; count_integer(&d, 14, source, position); break;
        case 'd': case 'i': numeric = true; count_integer(&d, 15, source, position); break;
        case 'o': numeric = true; count_integer(&d, 17, source, position); break;
        case 'D': case 'O': case 'U':
            d.is_long = true;
            numeric = true;
            count_integer(&d, 17, source, position);
            break;
#ifdef _WIN32
        // The Windows runtime's sizes: I64, I32, and I alone for size_t.
        case 'I':
            if (p[0] == '6' && p[1] == '4') {
                d.is_long = d.extra_long = true;
                p += 2;
            } else if (p[0] == '3' && p[1] == '2') {
                p += 2;
            } else {
                d.is_long = d.extra_long = true;
            }
            break;
#else
        // glibc's 'I' is a flag (the locale's digits); %b and %B print in
        // binary, 32 digits for 32 bits.
        case 'I': d.local_digits = true; break;
        case 'b': case 'B': numeric = true; count_integer(&d, 32, source, position); break;
#endif
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': {
            d.possible_sign = true;
            numeric = true;
            uint64_t length = larger(d.precision, 24) + 8;
            ArgValue value = take(source, d.long_double ? ARG_LDOUBLE : ARG_DOUBLE, position);
            if (c == 'f' || c == 'F')
                length += integral_digits(value.real);
            length += 2;
            if (c == 'a' || c == 'A')
                length += 2;
            // A decimal point of more than one byte.
            length += multibyte_max() - 1;
            d.length += length;
            break;
        }
        case 'c':
            d.length += d.is_long ? larger(5, multibyte_max()) : 1;
            (void)take(source, ARG_INT, position);
            break;
        case 'C':
            d.length += larger(5, multibyte_max());
            (void)take(source, ARG_INT, position);
            break;
        case 'S': d.is_long = true; /* fall through */
        case 's': {
            ArgValue text = take(source, d.is_long ? ARG_WTEXT : ARG_TEXT, position);
            if (text.pointer == NULL && source->mode != WALK_COLLECT)
                d.length += 8;
            else if (d.seen_precision)
                d.length += d.is_long ? d.precision * multibyte_max() : d.precision;
            else if (text.pointer == NULL)
                ;  // the first walk of a numbered format counts nothing
            else if (d.is_long)
                d.length += (uint64_t)wcslen((const wchar_t *)text.pointer) * multibyte_max();
            else
                d.length += (uint64_t)strlen((const char *)text.pointer);
            if (d.is_long)
                *count += 1024;
            d.done = true;
            break;
        }
        case 'p': case 'P':
            // "0x" and two hexadecimal digits a byte.
            d.length += 2 * sizeof(void *) + 2;
            d.alternate = true;
            d.done = true;
            (void)take(source, ARG_POINTER, position);
            break;
        case 'n':
            d.done = true;
            (void)take(source, ARG_POINTER, position);
            break;
        case 'm': d.length += 256; break;
        default: break;
        }
        if (d.done || d.length != 0)
            break;
    }

    // Digits and grouping separators of the locale may take several bytes.
    if (numeric && d.grouping)
        d.length *= 1 + multibyte_max();
    uint64_t length = larger(larger(d.length, d.precision), d.width);
    if (numeric && d.local_digits)
        length *= multibyte_max();
    if (d.alternate)
        length += 2;
    if (d.blank || d.sign || d.possible_sign)
        length += 1;
    *count += length;
    return p;
}

uint64_t walk(const char *format, ArgSource *source)
{
    uint64_t count = 1;
    const char *p = format;
    while (p != NULL && *p) {
        if (*p != '%') {
            count++;
            p++;
            continue;
        }
        p = count_directive(p + 1, source, &count);
        if (count > UINT32_MAX)
            break;
    }
    return count;
}

// Whether any directive names its argument by number ("%N$").
bool has_positions(const char *format)
{
    for (const char *p = strchr(format, '%'); p != NULL; p = strchr(p + 1, '%')) {
        if (p[1] == '%') {
            p++;
            continue;
        }
        if (position_at(p + 1) != 0)
            return true;
    }
    return false;
}

} // namespace

uint32_t format_size_bound(const char *format, va_list args)
{
    if (format == NULL)
        return 1;

    ArgSource source;
    memset(&source, 0, sizeof source);
    uint64_t count;
    va_list list;
    va_copy(list, args);
    if (has_positions(format)) {
        // Every conversion that reads an argument must name it.
        source.mode = WALK_COLLECT;
        (void)walk(format, &source);
        for (int i = 0; i < source.highest; i++) {
            if (source.slots[i].kind == ARG_NONE)
                source.unreadable = true;
        }
        if (source.unreadable) {
            va_end(list);
            return UINT32_MAX;
        }
        for (int i = 0; i < source.highest; i++)
            source.slots[i] = read_from_list(&list, source.slots[i].kind);
        source.mode = WALK_POSITIONAL;
        count = walk(format, &source);
    } else {
        source.mode = WALK_LIST;
        source.list = &list;
        count = walk(format, &source);
    }
    va_end(list);
    return count >= UINT32_MAX ? UINT32_MAX : (uint32_t)count;
}

char *format_string_v(const char *format, va_list args)
{
    if (format == NULL)
        return NULL;
    va_list copy;
    va_copy(copy, args);
    uint32_t size = format_size_bound(format, copy);
    va_end(copy);
    if (size == UINT32_MAX)
        return NULL;
    char *text = (char *)mem_alloc(size);
    if (text == NULL)
        return NULL;
    // A wide text that the locale cannot show fails the whole formatting,
    // and the block may then hold no terminator.
    if (vsprintf(text, format, args) < 0) {
        mem_free(text);
        return NULL;
    }
    return text;
}

char *format_string(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    char *text = format_string_v(format, args);
    va_end(args);
    return text;
}

void format_degrees_e4(int32_t value_e4, char text[DEGREES_TEXT_SIZE])
{
    int64_t magnitude = value_e4 < 0 ? -(int64_t)value_e4 : (int64_t)value_e4;
    snprintf(text, DEGREES_TEXT_SIZE, "%s%d.%04d", value_e4 < 0 ? "-" : "", (int)(magnitude / 10000),
             (int)(magnitude % 10000));
}
