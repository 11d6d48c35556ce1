// The size bound walks the format once, directive by directive, and takes
// the arguments in step with the formatting that follows, so that text
// lengths, '*' widths and the magnitudes of doubles under %f count exactly
// as vsprintf will see them. Formats with positional arguments ("%2$s")
// read their arguments out of order; for those the bound takes every
// argument once, in position order, and counts each directive with the
// largest value of its kind.
#include "util/format.h"

#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "util/mem.h"

namespace {

enum ArgKind { ARG_NONE, ARG_INT, ARG_LONG, ARG_LLONG, ARG_DOUBLE, ARG_LDOUBLE, ARG_TEXT, ARG_WTEXT, ARG_POINTER };

enum { MAX_POSITIONS = 64 };

// Where the arguments come from: the list in order, or (for positional
// formats) the largest values of each kind, gathered beforehand.
struct ArgSource {
    va_list *list;            // null in positional mode
    uint64_t max_text;        // longest text argument
    uint64_t max_wtext;       // longest wide text argument, in characters
    uint64_t max_star;        // largest magnitude of a '*' argument
    uint64_t max_int_digits;  // digits of the largest integral part under %f
};

uint64_t text_length(const char *text)
{
    return text != NULL ? strlen(text) : 0;
}

uint64_t wide_length(const wchar_t *text)
{
    return text != NULL ? wcslen(text) : 0;
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

uint64_t star_magnitude(int value)
{
    return value < 0 ? (uint64_t)(-(int64_t)value) : (uint64_t)value;
}

uint64_t larger(uint64_t a, uint64_t b)
{
    return a > b ? a : b;
}

struct Directive {
    uint64_t width, precision, length;
    bool alternate, blank, sign, grouping, seen_precision, is_long, extra_long, long_double;
    bool possible_sign, done;
};

// Integer conversions reserve room for 32 bits, twice that for 64.
bool is_wide_integer(const Directive *d)
{
    return d->extra_long || (d->is_long && sizeof(long) > 4);
}

void take_integer(const Directive *d, ArgSource *source)
{
    if (source->list == NULL)
        return;
    if (d->extra_long)
        (void)va_arg(*source->list, long long);
    else if (d->is_long)
        (void)va_arg(*source->list, long);
    else
        (void)va_arg(*source->list, int);
}

uint64_t take_text(const Directive *d, ArgSource *source, bool *is_null)
{
    *is_null = false;
    if (source->list == NULL)
        return d->is_long ? source->max_wtext * MB_CUR_MAX : source->max_text;
    if (d->is_long) {
        const wchar_t *text = va_arg(*source->list, const wchar_t *);
        *is_null = text == NULL;
        return wide_length(text) * MB_CUR_MAX;
    }
    const char *text = va_arg(*source->list, const char *);
    *is_null = text == NULL;
    return text_length(text);
}

uint64_t take_float_digits(const Directive *d, ArgSource *source)
{
    if (source->list == NULL)
        return source->max_int_digits;
    long double value = d->long_double ? va_arg(*source->list, long double)
                                       : (long double)va_arg(*source->list, double);
    return integral_digits(value);
}

// Reads one directive (p just past its '%') and adds its length to *count;
// returns the position after it, or null at the end of the format.
const char *count_directive(const char *p, ArgSource *source, uint64_t *count)
{
    Directive d;
    memset(&d, 0, sizeof d);
    const char *start = p - 1;

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
            uint64_t magnitude;
            bool negative = false;
            if (source->list != NULL) {
                int value = va_arg(*source->list, int);
                negative = value < 0;
                magnitude = star_magnitude(value);
            } else {
                magnitude = source->max_star;
            }
            if (d.seen_precision) {
                // A negative precision counts as none at all.
                if (negative)
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
        case 'x': case 'X': case 'u': case 'd': case 'i': case 'o':
        case 'D': case 'I': case 'O': case 'U': {
            uint64_t add = 17;
            if (c == 'x' || c == 'X') add = 10;
            else if (c == 'u') add = 14;
            else if (c == 'd' || c == 'i') add = 15;
            if (c == 'D' || c == 'I' || c == 'O' || c == 'U') d.is_long = true;
            d.possible_sign = true;
            d.length += is_wide_integer(&d) ? 2 * add : add;
            take_integer(&d, source);
            break;
        }
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': {
            d.possible_sign = true;
            uint64_t length = larger(d.precision, 24) + 8;
            uint64_t digits = take_float_digits(&d, source);
            if (c == 'f' || c == 'F')
                length += digits;
            length += 2;
            if (c == 'a' || c == 'A')
                length += 2;
            if (d.grouping)
                length *= 2;
            d.length += length;
            break;
        }
        case 'c':
            d.length += d.is_long ? 5 : 1;
            if (source->list != NULL)
                (void)va_arg(*source->list, int);
            break;
        case 'C':
            d.length += 5;
            if (source->list != NULL)
                (void)va_arg(*source->list, int);
            break;
        case 'S': d.is_long = true; /* fall through */
        case 's': {
            bool is_null;
            uint64_t length = take_text(&d, source, &is_null);
            if (is_null)
                d.length += 8;
            else if (d.seen_precision)
                d.length += d.precision;
            else
                d.length += length;
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
            if (source->list != NULL)
                (void)va_arg(*source->list, void *);
            break;
        case 'n':
            d.done = true;
            if (source->list != NULL)
                (void)va_arg(*source->list, void *);
            break;
        case 'm': d.length += 256; break;
        default: break;
        }
        if (d.done || d.length != 0)
            break;
    }

    uint64_t length = larger(larger(d.length, d.precision), d.width);
    if (d.alternate)
        length += 2;
    if (d.blank || d.sign || d.possible_sign)
        length += 1;
    *count += length;
    return p;
}

// For positional formats: the kind of the argument at each position, from
// "N$" after a '%' and "*N$" inside a directive.
bool collect_positions(const char *format, ArgKind *kinds, int *highest)
{
    *highest = 0;
    for (const char *p = format; *p; p++) {
        if (*p != '%')
            continue;
        p++;
        if (*p == '%')
            continue;
        int position = 0;
        bool is_long = false, extra_long = false, long_double = false;
        for (; *p; p++) {
            char c = *p;
            if (c >= '1' && c <= '9') {
                int number = 0;
                while (*p >= '0' && *p <= '9') {
                    if (number < 10000)
                        number = number * 10 + (*p - '0');
                    p++;
                }
                if (*p == '$') {
                    if (number > MAX_POSITIONS)
                        return false;
                    position = number;
                } else {
                    p--;
                }
                continue;
            }
            if (c == '*') {
                int number = 0;
                const char *q = p + 1;
                while (*q >= '0' && *q <= '9') {
                    if (number < 10000)
                        number = number * 10 + (*q - '0');
                    q++;
                }
                if (*q == '$' && number >= 1 && number <= MAX_POSITIONS) {
                    kinds[number - 1] = ARG_INT;
                    if (number > *highest)
                        *highest = number;
                    p = q;
                }
                continue;
            }
            ArgKind kind = ARG_NONE;
            switch (c) {
            case 'l': if (is_long) extra_long = true; is_long = true; continue;
            case 'L': case 'q': is_long = extra_long = true; long_double = c == 'L'; continue;
            case 'j': case 'z': case 't': is_long = extra_long = true; continue;
            case 'x': case 'X': case 'u': case 'd': case 'i': case 'o':
                kind = extra_long ? ARG_LLONG : is_long ? ARG_LONG : ARG_INT;
                break;
            case 'D': case 'I': case 'O': case 'U':
                kind = extra_long ? ARG_LLONG : ARG_LONG;
                break;
            case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
                kind = long_double ? ARG_LDOUBLE : ARG_DOUBLE;
                break;
            case 'c': case 'C': kind = ARG_INT; break;
            case 's': kind = is_long ? ARG_WTEXT : ARG_TEXT; break;
            case 'S': kind = ARG_WTEXT; break;
            case 'p': case 'P': case 'n': kind = ARG_POINTER; break;
            default: continue;
            }
            if (position >= 1) {
                kinds[position - 1] = kind;
                if (position > *highest)
                    *highest = position;
            }
            break;
        }
        if (*p == 0)
            break;
    }
    return true;
}

bool has_positions(const char *format)
{
    return strchr(format, '$') != NULL;
}

void gather_positional(const char *format, va_list *list, ArgSource *source)
{
    ArgKind kinds[MAX_POSITIONS];
    memset(kinds, 0, sizeof kinds);
    int highest = 0;
    if (!collect_positions(format, kinds, &highest))
        highest = 0;
    for (int i = 0; i < highest; i++) {
        switch (kinds[i]) {
        case ARG_INT: {
            int value = va_arg(*list, int);
            source->max_star = larger(source->max_star, star_magnitude(value));
            break;
        }
        case ARG_LONG: (void)va_arg(*list, long); break;
        case ARG_LLONG: (void)va_arg(*list, long long); break;
        case ARG_DOUBLE:
            source->max_int_digits = larger(source->max_int_digits, integral_digits(va_arg(*list, double)));
            break;
        case ARG_LDOUBLE:
            source->max_int_digits = larger(source->max_int_digits, integral_digits(va_arg(*list, long double)));
            break;
        case ARG_TEXT:
            source->max_text = larger(source->max_text, text_length(va_arg(*list, const char *)));
            break;
        case ARG_WTEXT:
            source->max_wtext = larger(source->max_wtext, wide_length(va_arg(*list, const wchar_t *)));
            break;
        case ARG_POINTER: (void)va_arg(*list, void *); break;
        case ARG_NONE:
            // A gap: vsprintf cannot know its type either; stop here.
            i = highest;
            break;
        }
    }
}

} // namespace

uint32_t format_size_bound(const char *format, va_list args)
{
    if (format == NULL)
        return 1;

    va_list list;
    va_copy(list, args);
    ArgSource source;
    memset(&source, 0, sizeof source);
    if (has_positions(format))
        gather_positional(format, &list, &source);
    else
        source.list = &list;

    uint64_t count = 1;
    const char *p = format;
    while (p != NULL && *p) {
        if (*p != '%') {
            count++;
            p++;
            continue;
        }
        p = count_directive(p + 1, &source, &count);
        if (count > UINT32_MAX)
            break;
    }
    va_end(list);
    return count > UINT32_MAX ? UINT32_MAX : (uint32_t)count;
}

char *format_string_v(const char *format, va_list args)
{
    if (format == NULL)
        return NULL;
    va_list copy;
    va_copy(copy, args);
    uint32_t size = format_size_bound(format, copy);
    va_end(copy);
    char *text = (char *)mem_alloc(size);
    if (text == NULL)
        return NULL;
    vsprintf(text, format, args);
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
