// UTF-8 to code page 1251. The same cases run in the native build (our own
// conversion) and in the Windows build under Wine (the system's), so that
// both are held to the same bytes.
#include <doctest/doctest.h>

#include <stdint.h>
#include <string.h>
#include <string>

#include "fetch/encoding.h"
#include "util/mem.h"

namespace {

// The conversion's result as a string, or "(none)".
std::string cp1251(const std::string &utf8)
{
    char *text = utf8_to_cp1251(utf8.c_str());
    if (text == NULL)
        return "(none)";
    std::string result = text;
    mem_free(text);
    return result;
}

std::u16string utf16(const std::string &utf8)
{
    Utf16Unit *text = utf8_to_utf16(utf8.c_str());
    if (text == NULL)
        return u"(none)";
    std::u16string result;
    for (const Utf16Unit *u = text; *u != 0; u++)
        result += (char16_t)*u;
    mem_free(text);
    return result;
}

std::string narrow(const std::u16string &units)
{
    std::basic_string<Utf16Unit> text;
    for (char16_t u : units)
        text += (Utf16Unit)u;
    char *result = utf16_to_cp1251(text.c_str());
    if (result == NULL)
        return "(none)";
    std::string copy = result;
    mem_free(result);
    return copy;
}

struct Case {
    const char *name;
    const char *utf8;
    const char *cp1251;
};

// Valid text: every character code page 1251 has becomes its byte; the rest
// becomes '?' or the look-alike that the system picks.
const Case VALID[] = {
    {"Cyrillic words", "Температура воздуха",
     "\xD2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0 \xE2\xEE\xE7\xE4\xF3\xF5\xE0"},
    {"ASCII", "N/A -5 m/s", "N/A -5 m/s"},
    {"empty", "", ""},
    {"degree sign", "-5\xC2\xB0", "-5\xB0"},
    {"no-break space", "5\xC2\xA0мм", "5\xA0\xEC\xEC"},
    {"Ё and ё", "Ёё", "\xA8\xB8"},
    {"numero sign", "№", "\xB9"},
    {"euro sign", "€", "\x88"},
    {"dashes and quotes", "— – «» “”", "\x97 \x96 \xAB\xBB \x93\x94"},
    {"Ukrainian and Belarusian letters", "ЇїЄєІіЎў", "\xAF\xBF\xAA\xBA\xB2\xB3\xA1\xA2"},
    {"U+0098, the code page's unused byte", "\xC2\x98", "\x98"},
    {"a Latin letter with accent: its look-alike", "café", "cafe"},
    {"outside the code page", "日本", "??"},
    {"U+0080", "\xC2\x80", "?"},
    {"U+FFFD itself", "\xEF\xBF\xBD", "?"},
    {"byte order mark", "\xEF\xBB\xBF" "A", "?A"},
    {"a character beyond U+FFFF: two units, two defaults", "\xF0\x9F\x98\x80", "??"},
};

// Invalid UTF-8: never a failure; each broken piece becomes one U+FFFD.
const Case INVALID[] = {
    {"a lone continuation byte", "\x80", "?"},
    {"two continuation bytes and a letter", "\x80\x80" "A", "??A"},
    {"a two-byte character cut in half at the end", "АБВГДЕЖ\xD0", "\xC0\xC1\xC2\xC3\xC4\xC5\xC6?"},
    {"a two-byte character cut in half before a letter", "\xD0" "A", "?A"},
    {"a lead byte before another lead byte", "\xD0\xD0\xB0", "?\xE0"},
    {"a three-byte character cut at the end", "\xE2\x82", "?"},
    {"a three-byte lead alone at the end", "A\xE2", "A?"},
    {"a four-byte character cut at the end", "\xF0\x9F\x98", "?"},
    {"a four-byte lead and one byte at the end", "A\xF0\x9F", "A?"},
    {"a three-byte character cut before a letter", "\xE2\x82" "A", "?A"},
    {"overlong two-byte forms", "\xC0\x80\xC1\xBF", "????"},
    {"an overlong three-byte form", "\xE0\x80\x80", "??"},
    {"the highest overlong three-byte form", "\xE0\x9F\xBF", "??"},
    {"an overlong four-byte form", "\xF0\x80\x80\x80", "???"},
    {"encoded surrogates", "\xED\xA0\x80\xED\xBF\xBF", "????"},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", "???"},
    {"lead bytes F5 and up", "\xF5\x80\x80\x80", "????"},
    {"a five-byte form", "\xF8\x88\x80\x80\x80", "?????"},
    {"bytes FE and FF", "\xFE\xFF", "??"},
    {"a wind direction cut at byte 15", "--СССССС\xD0", "--\xD1\xD1\xD1\xD1\xD1\xD1?"},
};

uint64_t fnv1a(uint64_t hash, const void *bytes, size_t n)
{
    const unsigned char *p = (const unsigned char *)bytes;
    for (size_t i = 0; i < n; i++) {
        hash ^= p[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

uint64_t digest_of(uint64_t hash, const std::string &utf8)
{
    char *text = utf8_to_cp1251(utf8.c_str());
    if (text == NULL)
        return fnv1a(hash, "(none)", 7);
    hash = fnv1a(hash, text, strlen(text) + 1);
    mem_free(text);
    return hash;
}

} // namespace

TEST_CASE("valid UTF-8 converts to its code page 1251 bytes")
{
    for (const Case &c : VALID) {
        CAPTURE(c.name);
        CHECK(cp1251(c.utf8) == c.cp1251);
    }
    CHECK(cp1251("Температура воздуха").size() == 19);
}

TEST_CASE("invalid UTF-8 converts, each broken piece to the default character")
{
    for (const Case &c : INVALID) {
        CAPTURE(c.name);
        CHECK(cp1251(c.utf8) == c.cp1251);
    }
}

TEST_CASE("an empty text gives an empty text, and no text gives none")
{
    char *empty = utf8_to_cp1251("");
    REQUIRE(empty != nullptr);
    CHECK(empty[0] == 0);
    mem_free(empty);
    CHECK(utf8_to_cp1251(NULL) == nullptr);
    CHECK(utf8_to_utf16(NULL) == nullptr);
    CHECK(utf16_to_cp1251(NULL) == nullptr);
}

TEST_CASE("the UTF-16 step")
{
    CHECK(utf16("Жa") == u"\u0416a");
    CHECK(utf16("\xF0\x9F\x98\x80") == u"\xD83D\xDE00");
    CHECK(utf16("\xF4\x8F\xBF\xBF") == u"\xDBFF\xDFFF");
    CHECK(utf16("\xEF\xBF\xBF") == u"\xFFFF");
    CHECK(utf16("\xE0\xA0\x80") == u"\x0800");
    CHECK(utf16("\xC2\x80") == u"\x0080");
    CHECK(utf16("\xD0") == u"\xFFFD");
    CHECK(utf16("A\xE2") == u"A\xFFFD");
    CHECK(utf16("") == u"");

    // Lone surrogates and a pair: each unit on its own.
    CHECK(narrow(u"\xD800") == "?");
    CHECK(narrow(u"\xDC00" "A") == "?A");
    CHECK(narrow(u"\xD83D\xDE00") == "??");
    CHECK(narrow(u"\u0401\u0451\u2116") == "\xA8\xB8\xB9");
    CHECK(narrow(u"") == "");
}

TEST_CASE("both conversions agree over many generated texts")
{
    // Every text of one and two bytes, three- and four-byte forms around
    // every boundary of the decoding, and pseudo-random texts; the digest of
    // all results is the one both builds must give.
    uint64_t hash = 14695981039346656037ull;
    for (int a = 1; a < 256; a++) {
        hash = digest_of(hash, std::string(1, (char)a));
        for (int b = 1; b < 256; b++) {
            char text[3] = {(char)a, (char)b, 0};
            hash = digest_of(hash, text);
        }
    }
    static const unsigned char SECOND[] = {0x01, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xE0, 0xF0, 0xFF};
    for (int lead = 0xC0; lead < 256; lead++) {
        for (unsigned char second : SECOND) {
            for (unsigned char third : SECOND) {
                char text[4] = {(char)lead, (char)second, (char)third, 0};
                hash = digest_of(hash, text);
                for (unsigned char fourth : SECOND) {
                    char longer[5] = {(char)lead, (char)second, (char)third, (char)fourth, 0};
                    hash = digest_of(hash, longer);
                }
            }
        }
    }
    uint32_t state = 12345;
    for (int i = 0; i < 20000; i++) {
        std::string text;
        state = state * 1103515245u + 12345u;
        int length = 1 + (int)((state >> 16) % 9);
        for (int k = 0; k < length; k++) {
            state = state * 1103515245u + 12345u;
            unsigned v = (state >> 16) & 0xFF;
            // Mostly bytes of multi-byte forms, some ASCII.
            unsigned char byte = (unsigned char)(v < 40 ? 0x20 + v : 0x80 + (v % 0x80));
            text += (char)byte;
        }
        hash = digest_of(hash, text);
    }
    CHECK(hash == 4414445691111613789ull);
}
