// The size bound of the formatting helper against the length that the
// standard library really produces.
#include <doctest/doctest.h>

#include <float.h>
#include <limits.h>
#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <wchar.h>

#include "util/format.h"
#include "util/mem.h"

namespace {

uint32_t bound(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    uint32_t result = format_size_bound(format, args);
    va_end(args);
    return result;
}

// The length vsnprintf gives, or -1 when it does not accept the format.
int real_length(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = vsnprintf(NULL, 0, format, args);
    va_end(args);
    return result;
}

int checked = 0;

#define CHECK_BOUND(format, ...)                                                   \
    do {                                                                           \
        int length_ = real_length(format, __VA_ARGS__);                            \
        if (length_ >= 0) {                                                        \
            uint32_t bound_ = bound(format, __VA_ARGS__);                          \
            INFO("format \"" << std::string(format) << "\" length " << length_ << " bound " << bound_); \
            CHECK(bound_ >= (uint32_t)length_ + 1);                                \
            checked++;                                                             \
        }                                                                          \
    } while (0)

// A small deterministic generator, so a failure repeats.
uint32_t rng_state = 12345;
uint32_t next_random(uint32_t n)
{
    rng_state = rng_state * 1103515245u + 12345u;
    return (rng_state >> 8) % n;
}

const char *pick(const char *const *list, size_t count)
{
    return list[next_random((uint32_t)count)];
}

const int INTS[] = {0, 1, -1, 7, 12345, -98765, INT_MAX, INT_MIN};
const long LONGS[] = {0, -1, LONG_MAX, LONG_MIN};
const long long LLONGS[] = {0, 1, LLONG_MAX, LLONG_MIN};
const double DOUBLES[] = {0.0, -0.0, 1e-300, 5e-324, 0.5, 1.5, -123456.789, 1e20, 1e308, DBL_MAX, -DBL_MAX, 2.5e-5};
const long double LDOUBLES[] = {0.0L, 1.5L, -1e300L, (long double)DBL_MAX * 1e100L, LDBL_MAX, LDBL_MIN};

std::string long_text(size_t n) { return std::string(n, 'w'); }

} // namespace

TEST_CASE("the bound of simple formats")
{
    CHECK(bound(NULL) == 1);
    CHECK(bound("") == 1);
    CHECK(bound("abc") == 4);
    CHECK(bound("%%") == 2);
    CHECK(bound("pogoda/%s", "0123456789") == 18);
    CHECK(bound("%s/%s/%s", "russia", "moscow-area", "moscow") == strlen("russia/moscow-area/moscow") + 1);
    CHECK(bound("%d", 5) == 1 + 16);   // a %d directive reserves 16 bytes
    CHECK(bound("%5s", "ab") == 6);
    CHECK(bound("%s", NULL) == 9);
}

TEST_CASE("positional and wide directives add their 1024")
{
    CHECK(bound("%ls", L"abc") >= 1024 + 3);
    CHECK(bound("%1$s", "abc") == 1 + 1024 + 3);
    CHECK(bound("%1$5s", "ab") == 1 + 1024 + 5);
}

TEST_CASE("a format of literal text and %s gets exactly its length")
{
    const char *texts[] = {"", "a", "forecasts5000", "Санкт-Петербург"};
    for (const char *a : texts) {
        for (const char *b : texts) {
            char *text = format_string("GET /%s HTTP/1.1\r\nHost: %s\r\n", a, b);
            REQUIRE(text != NULL);
            CHECK(bound("GET /%s HTTP/1.1\r\nHost: %s\r\n", a, b) == strlen(text) + 1);
            mem_free(text);
        }
    }
    char *copy = format_string("no directives");
    CHECK(std::string(copy) == "no directives");
    mem_free(copy);
}

TEST_CASE("values at the edges of their types")
{
    for (int v : INTS) {
        CHECK_BOUND("%d|%i|%u|%x|%X|%o|%c", v, v, (unsigned)v, (unsigned)v, (unsigned)v, (unsigned)v, 'x');
        CHECK_BOUND("%#x %#o %+d % d %'d", (unsigned)v, (unsigned)v, v, v, v);
    }
    for (long v : LONGS)
        CHECK_BOUND("%ld %lu %lx %lo %#lx %'ld", v, (unsigned long)v, (unsigned long)v, (unsigned long)v,
                    (unsigned long)v, v);
    for (long long v : LLONGS)
        CHECK_BOUND("%lld %llu %llx %llo %#llo %'lld", v, (unsigned long long)v, (unsigned long long)v,
                    (unsigned long long)v, (unsigned long long)v, v);
    CHECK_BOUND("%zu %zx %jd %td", (size_t)SIZE_MAX, (size_t)SIZE_MAX, (intmax_t)INTMAX_MIN, (ptrdiff_t)PTRDIFF_MIN);
    CHECK_BOUND("%p %p", (void *)&checked, (void *)UINTPTR_MAX);
    CHECK_BOUND("%20p|%-30p", (void *)UINTPTR_MAX, (void *)&checked);
    for (double v : DOUBLES) {
        CHECK_BOUND("%f %e %g %a %E %G %A %F", v, v, v, v, v, v, v, v);
        CHECK_BOUND("%.0f %.40f %#.0e %'f %+.3g", v, v, v, v, v);
    }
    CHECK_BOUND("%f %f %f", (double)INFINITY, -(double)INFINITY, (double)NAN);
    for (long double v : LDOUBLES)
        CHECK_BOUND("%Lf %Le %Lg %La %.30Lf", v, v, v, v, v);
}

TEST_CASE("widths and precisions, given and taken from '*'")
{
    std::string text = long_text(300);
    CHECK_BOUND("%*d|%-*d|%.*d|%*.*s", 40, 1, -40, 2, 30, 3, 50, 5, text.c_str());
    CHECK_BOUND("%*s|%.*s|%.*s", -70, "x", -1, text.c_str(), 0, text.c_str());
    CHECK_BOUND("%*f|%.*f", 100, 1e300, 60, -1e-300);
    CHECK_BOUND("%0100d|%-100.90d|%.500s", 1, -1, text.c_str());
    CHECK_BOUND("%300.2f|%.200e", 1.0, 2.0);
}

TEST_CASE("long texts, narrow and wide")
{
    std::string text = long_text(5000);
    CHECK_BOUND("[%s][%10s][%-6000s]", text.c_str(), text.c_str(), "x");
    std::wstring wide(3000, L'w');
    CHECK_BOUND("%ls|%S|%lc", wide.c_str(), wide.c_str(), (wint_t)L'q');
    CHECK_BOUND("%.5ls|%20ls", wide.c_str(), L"ab");
}

#ifndef _WIN32
// The Windows C runtime knows no positional arguments.
TEST_CASE("positional arguments, in and out of order")
{
    std::string text = long_text(3000);
    CHECK_BOUND("%1$s %2$d", text.c_str(), INT_MIN);
    CHECK_BOUND("%2$s %1$s", "a", text.c_str());
    CHECK_BOUND("%3$s|%1$*2$d|%1$d", INT_MIN, 500, text.c_str());
    CHECK_BOUND("%2$f %1$s", "x", 1e300);
    CHECK_BOUND("%2$.*1$f|%3$s", 400, DBL_MAX, text.c_str());
}

TEST_CASE("glibc's own conversions")
{
    CHECK_BOUND("%m %s", "x");
    CHECK_BOUND("%s", (const char *)NULL);
}
#endif

TEST_CASE("many generated directives stay within their bounds")
{
    static const char *const FLAGS[] = {"", "", "#", " ", "+", "-", "0", "'", "-+", "#0", " 0", "'+"};
    static const char *const WIDTHS[] = {"", "", "1", "9", "25", "130", "*"};
    static const char *const PRECISIONS[] = {"", "", ".", ".0", ".1", ".7", ".45", ".*"};
    static const char *const INT_CONVERSIONS[] = {"d", "i", "u", "x", "X", "o"};
    static const char *const FLOAT_CONVERSIONS[] = {"f", "F", "e", "E", "g", "G", "a", "A"};
    std::string text = long_text(77);
    int stars[] = {0, 3, 40, -40, 200, -1};

    checked = 0;
    for (int round = 0; round < 20000; round++) {
        std::string format = "<";
        format += "%";
        format += pick(FLAGS, sizeof FLAGS / sizeof *FLAGS);
        std::string width = pick(WIDTHS, sizeof WIDTHS / sizeof *WIDTHS);
        std::string precision = pick(PRECISIONS, sizeof PRECISIONS / sizeof *PRECISIONS);
        format += width + precision;
        int star_width = stars[next_random(6)];
        int star_precision = stars[next_random(6)];
        int kind = (int)next_random(8);
        std::string conversion;
        switch (kind) {
        case 0: conversion = std::string("") + pick(INT_CONVERSIONS, 6); break;
        case 1: conversion = std::string("l") + pick(INT_CONVERSIONS, 6); break;
        case 2: conversion = std::string("ll") + pick(INT_CONVERSIONS, 6); break;
        case 3: conversion = std::string("h") + pick(INT_CONVERSIONS, 6); break;
        case 4: conversion = pick(FLOAT_CONVERSIONS, 8); break;
        case 5: conversion = std::string("L") + pick(FLOAT_CONVERSIONS, 8); break;
        case 6: conversion = "s"; break;
        default: conversion = next_random(2) ? "c" : "%"; break;
        }
        format += conversion + ">";
        const char *f = format.c_str();
        bool sw = width == "*", sp = precision == ".*";

        // Call with the star arguments in front, as the format reads them.
#define CALL_WITH(value)                                                        \
        do {                                                                   \
            if (sw && sp) CHECK_BOUND(f, star_width, star_precision, value);   \
            else if (sw) CHECK_BOUND(f, star_width, value);                    \
            else if (sp) CHECK_BOUND(f, star_precision, value);                \
            else CHECK_BOUND(f, value);                                        \
        } while (0)

        int int_value = INTS[next_random(8)];
        long long_value = LONGS[next_random(4)];
        long long llong_value = LLONGS[next_random(4)];
        double double_value = DOUBLES[next_random(12)];
        long double ldouble_value = LDOUBLES[next_random(6)];
        switch (kind) {
        case 0: case 3: CALL_WITH(int_value); break;
        case 1: CALL_WITH(long_value); break;
        case 2: CALL_WITH(llong_value); break;
        case 4: CALL_WITH(double_value); break;
        case 5: CALL_WITH(ldouble_value); break;
        case 6: CALL_WITH(text.c_str()); break;
        default: CALL_WITH('z'); break;
        }
#undef CALL_WITH
    }
    // Most generated formats are ones the library accepts.
    CHECK(checked > 15000);
}

TEST_CASE("format_string formats what it bounds")
{
    char *text = format_string("%s=%d;%5.1f|%-4s|", "t", -12, 3.14159, "ab");
    REQUIRE(text != NULL);
    CHECK(std::string(text) == "t=-12;  3.1|ab  |");
    mem_free(text);
    CHECK(format_string(NULL) == NULL);
}

// --- formats from the grammar of tests/support/format_grammar.h ---

#include <locale.h>

#include "tests/support/format_grammar.h"

namespace {

uint32_t grammar_state = 2463534242u;
uint32_t grammar_next(void *, uint32_t n)
{
    // xorshift32: a fixed sequence, so a failure repeats.
    grammar_state ^= grammar_state << 13;
    grammar_state ^= grammar_state >> 17;
    grammar_state ^= grammar_state << 5;
    return grammar_state % n;
}

#ifdef _WIN32
const bool NUMBERED = false;  // the Windows runtime reads no "%N$"
#else
const bool NUMBERED = true;
#endif

int run_grammar(int rounds)
{
    format_grammar::Chooser chooser = {grammar_next, NULL};
    int accepted = 0;
    for (int round = 0; round < rounds; round++) {
        format_grammar::Case c;
        format_grammar::build(&chooser, &c, NUMBERED);
        format_grammar::Outcome outcome = format_grammar::check(&c);
        INFO("format \"" << c.format << "\" length " << outcome.length << " bound " << outcome.bound << ": "
                         << std::string(outcome.why));
        CHECK_FALSE(outcome.failure);
        if (outcome.length >= 0)
            accepted++;
    }
    return accepted;
}

} // namespace

TEST_CASE("formats of several directives, numbered or not, from the grammar")
{
    // Most of what the grammar builds is accepted (wide texts with Cyrillic
    // letters are not, in the "C" locale).
    CHECK(run_grammar(30000) > 25000);
}

#ifndef _WIN32
TEST_CASE("the grammar's formats in UTF-8 locales: grouping and multibyte texts")
{
    const char *locales[] = {"ru_RU.UTF-8", "C.UTF-8"};
    for (const char *name : locales) {
        if (setlocale(LC_ALL, name) == NULL)
            continue;
        CAPTURE(name);
        CHECK(run_grammar(8000) > 6000);
        // Groups of the Russian locale are parted by a blank of several bytes.
        CHECK_BOUND("%'d|%'i|%'u|%'lld", INT_MIN, INT_MAX, UINT_MAX, LLONG_MIN);
        CHECK_BOUND("%'f|%'.0f|%'g", DBL_MAX, -1e300, 1e15);
        CHECK_BOUND("%ls|%lc|%5lc", L"\x0416\x0438\x0432\x0443\x0442", (wint_t)0x0416, (wint_t)0x20AC);
        setlocale(LC_ALL, "C");
    }
}

TEST_CASE("glibc's binary conversions and its 'I' flag")
{
    CHECK_BOUND("%b%s", -1, "abcdefghijklmnopqrstuvwxyz");
    CHECK_BOUND("%#llB|%#b", ULLONG_MAX, 1u);
    std::string text = long_text(400);
    CHECK_BOUND("%Is|%Id", text.c_str(), INT_MIN);
}

TEST_CASE("numbered arguments: precision from a negative '*', and formats vsprintf cannot read")
{
    std::string text = long_text(3000);
    // A negative precision is none: the whole text is printed.
    CHECK_BOUND("%1$.*2$s", text.c_str(), -1);
    CHECK_BOUND("%2$.*1$s|%2$s", -5, text.c_str());
    // A position left out, or numbered and plain directives mixed: no bound,
    // and format_string makes no text of it.
    CHECK(bound("%2$s", "a", "b") == UINT32_MAX);
    CHECK(bound("%1$s %s", "a", "b") == UINT32_MAX);
    CHECK(bound("%65$d", 1) == UINT32_MAX);
    CHECK(format_string("%3$s %1$s", "a", "b", "c") == NULL);
}
#endif

TEST_CASE("a '$' in the literal text does not make the format a numbered one")
{
    std::string text = long_text(500);
    CHECK(bound("$%s", text.c_str()) == 1 + 1 + 500);
    CHECK(bound("cost: %d $, %s", 5, "ab") == 1 + strlen("cost:  $, ") + 16 + 2);
    char *made = format_string("$%s$ %%$%s", text.c_str(), "x");
    REQUIRE(made != NULL);
    CHECK(std::string(made) == "$" + text + "$ %$x");
    mem_free(made);
}

#ifdef _WIN32
TEST_CASE("the Windows runtime's I64, I32 and I sizes")
{
    CHECK_BOUND("%I64o|%#I64o|%I64u|%I64d", ULLONG_MAX, ULLONG_MAX, ULLONG_MAX, LLONG_MIN);
    CHECK_BOUND("%Iu|%Ix|%I32d", SIZE_MAX, SIZE_MAX, INT_MIN);
}
#endif

#ifndef _WIN32
TEST_CASE("a wide text the locale cannot show makes no text")
{
    setlocale(LC_ALL, "C");
    int32_t live = mem_live_blocks();
    CHECK(format_string("%ls", L"\x0416") == NULL);
    CHECK(mem_live_blocks() == live);
}
#endif
