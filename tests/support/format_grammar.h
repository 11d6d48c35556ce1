// Formats built from a small grammar, with arguments of exactly the types
// that their directives read, for comparing format_size_bound with the
// length that the standard library produces. Only what vsnprintf defines
// is built: no %n, flags only where the conversion takes them, no
// precision on %c and %p, numbered arguments that name every position.
// Shared by tests/test_format.cpp (choices from a fixed sequence) and the
// fuzz target (choices from its input bytes).
#ifndef VELVANE_TESTS_SUPPORT_FORMAT_GRAMMAR_H
#define VELVANE_TESTS_SUPPORT_FORMAT_GRAMMAR_H

#include <float.h>
#include <limits.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <type_traits>

#include "util/format.h"
#include "util/mem.h"

namespace format_grammar {

// Where the grammar's choices come from: a number below n.
struct Chooser {
    uint32_t (*next)(void *context, uint32_t n);
    void *context;
    uint32_t pick(uint32_t n) { return n <= 1 ? 0 : next(context, n) % n; }
    uint64_t bits64()
    {
        uint64_t value = 0;
        for (int i = 0; i < 4; i++)
            value = (value << 16) | (uint64_t)pick(65536);
        return value;
    }
};

enum Kind { K_INT, K_LONG, K_LLONG, K_DOUBLE, K_LDOUBLE, K_TEXT, K_WTEXT, K_POINTER, KIND_COUNT };

struct Arg {
    Kind kind;
    int i;
    long l;
    long long ll;
    double d;
    long double ld;
    int text_index;  // into Case::texts or Case::wtexts
    void *p;
};

enum { MAX_ARGS = 3, MAX_DIRECTIVES = 3 };

struct Case {
    std::string format;
    Arg args[MAX_ARGS];  // in the order of the list (position order when numbered)
    int count;
    bool numbered;
    std::string texts[MAX_ARGS];
    std::wstring wtexts[MAX_ARGS];
};

// The kind that carries intmax_t, size_t and ptrdiff_t through "...".
inline Kind kind_of_64(void)
{
    return std::is_same<intmax_t, long>::value ? K_LONG : K_LLONG;
}

inline int pick_int(Chooser *c)
{
    static const int EDGES[] = {0, 1, -1, 7, 255, 12345, -98765, INT_MAX, INT_MIN, 1000000};
    if (c->pick(3) == 0)
        return (int)(uint32_t)c->bits64();
    return EDGES[c->pick(sizeof EDGES / sizeof *EDGES)];
}

inline long long pick_llong(Chooser *c)
{
    static const long long EDGES[] = {0, -1, LLONG_MAX, LLONG_MIN, INT_MIN, 4294967296LL, 999999999999LL};
    if (c->pick(3) == 0)
        return (long long)c->bits64();
    return EDGES[c->pick(sizeof EDGES / sizeof *EDGES)];
}

inline double pick_double(Chooser *c)
{
    static const double EDGES[] = {0.0, -0.0, 5e-324, DBL_MIN, 1e-300, 2.5e-5, 0.5, 1.5, -123456.789,
                                   1e20, 1e300, DBL_MAX, -DBL_MAX, 0.9999999, 9.9999999e15};
    uint32_t how = c->pick(4);
    if (how == 0) {
        uint64_t bits = c->bits64();
        double value;
        memcpy(&value, &bits, sizeof value);
        return value;  // any double, infinities and NaNs among them
    }
    return EDGES[c->pick(sizeof EDGES / sizeof *EDGES)];
}

inline long double pick_ldouble(Chooser *c)
{
    switch (c->pick(6)) {
    case 0: return LDBL_MAX;
    case 1: return -LDBL_MIN;
    case 2: return (long double)DBL_MAX * (long double)DBL_MAX;
    case 3: return (long double)pick_double(c) / (long double)DBL_MAX;
    default: return (long double)pick_double(c);
    }
}

inline std::string pick_text(Chooser *c)
{
    static const char *const POOL[] = {"", "a", "moscow", "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
                                       "\xCF\xF0\xEE\xE3\xED\xEE\xE7", "50%", "$1"};
    uint32_t how = c->pick(4);
    if (how == 0) {
        std::string text;
        uint32_t n = c->pick(600);
        for (uint32_t k = 0; k < n; k++)
            text += (char)(1 + c->pick(255));
        return text;
    }
    return POOL[c->pick(sizeof POOL / sizeof *POOL)];
}

inline std::wstring pick_wtext(Chooser *c)
{
    std::wstring text;
    uint32_t n = c->pick(4) == 0 ? c->pick(400) : c->pick(8);
    bool cyrillic = c->pick(3) == 0;
    for (uint32_t k = 0; k < n; k++)
        text += cyrillic && k % 2 ? (wchar_t)(0x410 + c->pick(64)) : (wchar_t)('a' + c->pick(26));
    return text;
}

// A value of one kind into args[slot].
inline void fill(Chooser *c, Case *out, int slot, Kind kind)
{
    Arg *arg = &out->args[slot];
    memset(arg, 0, sizeof *arg);
    arg->kind = kind;
    arg->text_index = slot;
    switch (kind) {
    case K_INT: arg->i = pick_int(c); break;
    case K_LONG: arg->l = (long)pick_llong(c); break;
    case K_LLONG: arg->ll = pick_llong(c); break;
    case K_DOUBLE: arg->d = pick_double(c); break;
    case K_LDOUBLE: arg->ld = pick_ldouble(c); break;
    case K_TEXT: out->texts[slot] = pick_text(c); break;
    case K_WTEXT: out->wtexts[slot] = pick_wtext(c); break;
    case K_POINTER: {
        static int anchor;
        void *const POINTERS[] = {NULL, &anchor, (void *)UINTPTR_MAX, (void *)(uintptr_t)0x1000};
        arg->p = POINTERS[c->pick(4)];
        break;
    }
    default: break;
    }
}

inline void fill_star(Chooser *c, Case *out, int slot)
{
    static const int STARS[] = {0, 1, 3, 40, -40, 200, -1, 350, -350, INT_MIN + 1};
    fill(c, out, slot, K_INT);
    out->args[slot].i = STARS[c->pick(sizeof STARS / sizeof *STARS)];
    // Widths near INT_MAX make vsnprintf fail; keep them readable.
    if (out->args[slot].i == INT_MIN + 1)
        out->args[slot].i = -300;
}

struct Conversion {
    const char *text;  // length modifier and conversion
    Kind kind;         // K_INT..K_POINTER, or KIND_COUNT for none
    const char *flags;  // the flags it takes
    bool takes_precision;
};

inline const Conversion *conversions(size_t *count)
{
    static const char INT_FLAGS[] = "-+ 0";
    static const char UINT_FLAGS[] = "-+ #0";
    static const char DEC_FLAGS[] = "-+ 0'";
    static const char FLOAT_FLAGS[] = "-+ #0";
    static const char FLOAT_GROUP_FLAGS[] = "-+ #0'";
    static Conversion table[64];
    static size_t n = 0;
    if (n == 0) {
        const char *signed_conv[] = {"d", "i"};
        const char *unsigned_conv[] = {"u", "x", "X", "o"};
        const char *sizes[] = {"", "hh", "h", "l", "ll", "j", "z", "t"};
        Kind size_kinds[] = {K_INT, K_INT, K_INT, K_LONG, K_LLONG, kind_of_64(), kind_of_64(), kind_of_64()};
        static std::string storage[64];
        for (int s = 0; s < 8; s++) {
            for (const char *conv : signed_conv) {
                storage[n] = std::string(sizes[s]) + conv;
                table[n] = {storage[n].c_str(), size_kinds[s], DEC_FLAGS, true};
                n++;
            }
            // One unsigned conversion per size, in turn, keeps the table small.
            storage[n] = std::string(sizes[s]) + unsigned_conv[s % 4];
            table[n] = {storage[n].c_str(), size_kinds[s], s % 4 == 0 ? DEC_FLAGS : UINT_FLAGS, true};
            n++;
        }
        (void)INT_FLAGS;
        static const Conversion REST[] = {
            {"u", K_INT, DEC_FLAGS, true}, {"x", K_INT, UINT_FLAGS, true}, {"X", K_LLONG, UINT_FLAGS, true},
            {"llo", K_LLONG, UINT_FLAGS, true}, {"lx", K_LONG, UINT_FLAGS, true},
            {"f", K_DOUBLE, FLOAT_GROUP_FLAGS, true}, {"F", K_DOUBLE, FLOAT_GROUP_FLAGS, true},
            {"e", K_DOUBLE, FLOAT_FLAGS, true}, {"E", K_DOUBLE, FLOAT_FLAGS, true},
            {"g", K_DOUBLE, FLOAT_GROUP_FLAGS, true}, {"G", K_DOUBLE, FLOAT_GROUP_FLAGS, true},
            {"a", K_DOUBLE, FLOAT_FLAGS, true}, {"A", K_DOUBLE, FLOAT_FLAGS, true},
            {"lf", K_DOUBLE, FLOAT_GROUP_FLAGS, true}, {"le", K_DOUBLE, FLOAT_FLAGS, true},
            {"Lf", K_LDOUBLE, FLOAT_GROUP_FLAGS, true}, {"Le", K_LDOUBLE, FLOAT_FLAGS, true},
            {"Lg", K_LDOUBLE, FLOAT_GROUP_FLAGS, true}, {"La", K_LDOUBLE, FLOAT_FLAGS, true},
            {"c", K_INT, "-", false}, {"lc", K_INT, "-", false},
            {"s", K_TEXT, "-", true}, {"s", K_TEXT, "-", true}, {"ls", K_WTEXT, "-", true},
            {"p", K_POINTER, "-", false}, {"%", KIND_COUNT, "", false},
#ifdef _WIN32
            {"I64d", K_LLONG, "-+ 0", true}, {"I64u", K_LLONG, "-0", true}, {"I64o", K_LLONG, "-#0", true},
            {"I64x", K_LLONG, "-#0", true}, {"I32d", K_INT, "-+ 0", true}, {"Iu", K_LLONG, "-0", true},
#else
            {"b", K_INT, "-#0", true}, {"llB", K_LLONG, "-#0", true}, {"S", K_WTEXT, "-", true},
            {"C", K_INT, "-", false}, {"m", KIND_COUNT, "-", false}, {"Ld", K_LLONG, "-+ 0", true},
            {"qu", K_LLONG, "-0", true},
#endif
        };
        for (const Conversion &conversion : REST)
            table[n++] = conversion;
    }
    *count = n;
    return table;
}

inline std::string number_text(uint32_t n)
{
    char buffer[16];
    snprintf(buffer, sizeof buffer, "%u", (unsigned)n);
    return buffer;
}

// One format and its arguments. numbered_allowed: may the format name its
// arguments by number ("%2$s")?
inline void build(Chooser *c, Case *out, bool numbered_allowed)
{
    static const char *const LITERALS[] = {"", "", "<", "abc ", "$", " $ ", "%%",
                                           "\xCF\xF0\xEE\xE3\xED\xEE\xE7 ", "\xD0\x9F\xD1\x80", "\n\t"};
    size_t conversion_count;
    const Conversion *table = conversions(&conversion_count);

    out->format.clear();
    out->count = 0;
    out->numbered = numbered_allowed && c->pick(3) == 0;

    // Each directive: which argument slots it reads (width, precision, value).
    struct Plan {
        const Conversion *conversion;
        std::string flags;
        int width_mode, precision_mode;  // 0 none, 1 literal, 2 star
        uint32_t width, precision;
        bool dot_only;
        int width_slot, precision_slot, value_slot;
    } plans[MAX_DIRECTIVES];
    int directives = 1 + (int)c->pick(MAX_DIRECTIVES);
    int used = 0;
    int planned = 0;
    for (int k = 0; k < directives; k++) {
        Plan plan;
        plan.conversion = &table[c->pick((uint32_t)conversion_count)];
        int needs = plan.conversion->kind != KIND_COUNT ? 1 : 0;
        plan.flags.clear();
        size_t flag_count = strlen(plan.conversion->flags);
        for (int f = (int)c->pick(4); f > 0 && flag_count > 0; f--)
            plan.flags += plan.conversion->flags[c->pick((uint32_t)flag_count)];
        static const uint32_t WIDTHS[] = {1, 2, 9, 25, 130, 300};
        static const uint32_t PRECISIONS[] = {0, 1, 3, 7, 17, 45, 120, 400};
        plan.width_mode = (int)c->pick(3);
        plan.precision_mode = plan.conversion->takes_precision ? (int)c->pick(3) : 0;
        if (plan.conversion->kind == KIND_COUNT)
            plan.width_mode = plan.precision_mode = 0;
        plan.width = WIDTHS[c->pick(6)];
        plan.precision = PRECISIONS[c->pick(8)];
        plan.dot_only = c->pick(6) == 0;
        needs += (plan.width_mode == 2) + (plan.precision_mode == 2);
        if (used + needs > MAX_ARGS)
            break;
        plan.width_slot = plan.width_mode == 2 ? used++ : -1;
        plan.precision_slot = plan.precision_mode == 2 ? used++ : -1;
        plan.value_slot = plan.conversion->kind != KIND_COUNT ? used++ : -1;
        plans[planned++] = plan;
    }

    // In a numbered format the arguments stand in any order in the list.
    int position_of[MAX_ARGS];
    for (int s = 0; s < used; s++)
        position_of[s] = s;
    if (out->numbered) {
        for (int s = used - 1; s > 0; s--) {
            int t = (int)c->pick((uint32_t)s + 1);
            int keep = position_of[s];
            position_of[s] = position_of[t];
            position_of[t] = keep;
        }
    }
    for (int k = 0; k < planned; k++) {
        const Plan &plan = plans[k];
        if (plan.width_slot >= 0)
            fill_star(c, out, position_of[plan.width_slot]);
        if (plan.precision_slot >= 0)
            fill_star(c, out, position_of[plan.precision_slot]);
        if (plan.value_slot >= 0)
            fill(c, out, position_of[plan.value_slot], plan.conversion->kind);
    }
    out->count = used;

    for (int k = 0; k < planned; k++) {
        const Plan &plan = plans[k];
        out->format += LITERALS[c->pick(sizeof LITERALS / sizeof *LITERALS)];
        out->format += '%';
        if (out->numbered && plan.value_slot >= 0)
            out->format += number_text((uint32_t)position_of[plan.value_slot] + 1) + "$";
        out->format += plan.flags;
        if (plan.width_mode == 1)
            out->format += number_text(plan.width);
        else if (plan.width_mode == 2) {
            out->format += '*';
            if (out->numbered)
                out->format += number_text((uint32_t)position_of[plan.width_slot] + 1) + "$";
        }
        if (plan.precision_mode == 1)
            out->format += plan.dot_only ? std::string(".") : "." + number_text(plan.precision);
        else if (plan.precision_mode == 2) {
            out->format += ".*";
            if (out->numbered)
                out->format += number_text((uint32_t)position_of[plan.precision_slot] + 1) + "$";
        }
        out->format += plan.conversion->text;
    }
    out->format += LITERALS[c->pick(sizeof LITERALS / sizeof *LITERALS)];
}

// What a check found; failure is set when the bound is short or the
// formatted text differs from vsnprintf's.
struct Outcome {
    int length;       // vsnprintf's length, -1 when it refused the format
    uint32_t bound;
    bool failure;
    const char *why;
};

inline uint32_t bound_of(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    uint32_t result = format_size_bound(format, args);
    va_end(args);
    return result;
}

inline int length_of(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = vsnprintf(NULL, 0, format, args);
    va_end(args);
    return result;
}

inline void print_into(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, size, format, args);
    va_end(args);
}

template <typename... A>
Outcome check_with(const char *format, A... args)
{
    Outcome outcome = {length_of(format, args...), 0, false, ""};
    if (outcome.length < 0)
        return outcome;
    outcome.bound = bound_of(format, args...);
    if (outcome.bound == UINT32_MAX || outcome.bound < (uint32_t)outcome.length + 1) {
        outcome.failure = true;
        outcome.why = outcome.bound == UINT32_MAX ? "no bound" : "bound below the length";
        return outcome;
    }
    // Bounds beyond a few megabytes come only from widths and precisions we
    // do not build; formatting them would only cost time.
    if (outcome.bound > (1u << 22))
        return outcome;
    // %c and %lc may put a zero byte inside the text: compare bytes.
    std::string expected((size_t)outcome.length + 1, '\0');
    print_into(&expected[0], expected.size(), format, args...);
    int32_t live = mem_live_blocks();
    char *text = format_string(format, args...);
    if (text == NULL || memcmp(text, expected.data(), expected.size()) != 0) {
        outcome.failure = true;
        outcome.why = text == NULL ? "format_string gave null" : "format_string gave another text";
    }
    mem_free(text);
    if (mem_live_blocks() != live) {
        outcome.failure = true;
        outcome.why = "a block was not released";
    }
    return outcome;
}

inline const char *text_of(const Case *c, const Arg *a) { return c->texts[a->text_index].c_str(); }
inline const wchar_t *wtext_of(const Case *c, const Arg *a) { return c->wtexts[a->text_index].c_str(); }

// Calls f with the case's arguments, each as its own C type.
template <int Left, typename... A>
Outcome dispatch(const Case *c, int at, A... done)
{
    if constexpr (Left == 0) {
        return check_with(c->format.c_str(), done...);
    } else {
        if (at == c->count)
            return check_with(c->format.c_str(), done...);
        const Arg *a = &c->args[at];
        switch (a->kind) {
        case K_INT: return dispatch<Left - 1>(c, at + 1, done..., a->i);
        case K_LONG: return dispatch<Left - 1>(c, at + 1, done..., a->l);
        case K_LLONG: return dispatch<Left - 1>(c, at + 1, done..., a->ll);
        case K_DOUBLE: return dispatch<Left - 1>(c, at + 1, done..., a->d);
        case K_LDOUBLE: return dispatch<Left - 1>(c, at + 1, done..., a->ld);
        case K_TEXT: return dispatch<Left - 1>(c, at + 1, done..., text_of(c, a));
        case K_WTEXT: return dispatch<Left - 1>(c, at + 1, done..., wtext_of(c, a));
        default: return dispatch<Left - 1>(c, at + 1, done..., a->p);
        }
    }
}

inline Outcome check(const Case *c)
{
    if (c->count == 0)
        return check_with(c->format.c_str(), 0);
    return dispatch<MAX_ARGS>(c, 0);
}

} // namespace format_grammar

#endif
