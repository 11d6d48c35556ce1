// The bounded marker search and number reader under both page parsers. Every
// buffer is an exact-size heap block without terminator: a read past its end
// is caught by the address checker.
#include <doctest/doctest.h>

#include <string.h>
#include <string>

#include "fetch/page_scan.h"
#include "tests/support/page_builder.h"
#include "tests/support/page_scan_plain.h"
#include "util/mem.h"

namespace {

struct Bytes {
    char *data;
    int32_t length;
    explicit Bytes(const std::string &text)
        : data(page_copy(text.data(), (int32_t)text.size())), length((int32_t)text.size()) {}
    ~Bytes() { mem_free(data); }
    Bytes(const Bytes &) = delete;
    Bytes &operator=(const Bytes &) = delete;
};

int32_t find(const std::string &text, const char *marker)
{
    Bytes bytes(text);
    return find_marker(bytes.data, bytes.length, marker);
}

int32_t number(const std::string &text)
{
    Bytes bytes(text);
    return read_page_number(bytes.data, bytes.length);
}

} // namespace

TEST_CASE("find_marker tries start offsets 0 to length - m - 1 only")
{
    CHECK(find("xxabcy", "abc") == 2);
    CHECK(find("abcabc.", "abc") == 0);
    CHECK(find("xxabc", "abc") == -1);   // ends on the last byte
    CHECK(find("abc", "abc") == -1);     // no longer than the marker
    CHECK(find("abc.", "abc") == 0);
    CHECK(find("ab", "abc") == -1);
    CHECK(find("", "abc") == -1);
    CHECK(find("xxabdabc!", "abc") == 5);
    CHECK(find("ABC.", "abc") == -1);    // case matters
    CHECK(find(std::string("a\0bc.", 5), "bc") == 2);    // zero bytes are page bytes like any other
    CHECK(find("x Погода ", "Погода") == 2);
    CHECK(find("x Погода", "Погода") == -1);
    CHECK(find_marker(NULL, 10, "a") == -1);
    CHECK(find_marker("abc", -1, "a") == -1);
    CHECK(find_marker("abc", 3, NULL) == -1);

    // The length bounds the search, not the bytes behind it.
    const char text[] = "0123456789";
    CHECK(find_marker(text, 10, "78") == 7);
    CHECK(find_marker(text, 9, "78") == -1);
    CHECK(find_marker(text, 8, "78") == -1);
}

TEST_CASE("find_marker over a marker at every place of a page")
{
    const std::string marker = "pogodacell>";
    for (int before = 0; before < 20; before++) {
        for (int after = 0; after < 3; after++) {
            CAPTURE(before);
            CAPTURE(after);
            std::string text = std::string((size_t)before, 'p') + marker + std::string((size_t)after, '<');
            CHECK(find(text, marker.c_str()) == (after == 0 ? -1 : before));
        }
    }
}

TEST_CASE("find_marker agrees with the plain search from every offset of both pages")
{
    // Every marker the parsers look for, and ones made to trip the choice of
    // the byte scanned for: only markup bytes, a marker ending in the page's
    // last bytes, a lone Cyrillic lead byte, an upper-case-only marker.
    static const char *const MARKERS[] = {
        "<nobr>", "</nobr>", "Температура воздуха", "pogodacell>", "&nbsp; ", "Погода", "pr5000_images/",
        "Комментарий к погоде", "</td>", "Осадки, мм", "Вероятность осадков", "Направление ветра",
        "Скорость ветра", "Фактические данные на этот срок отсутствуют", "Атмосферное давление",
        "pogodacell2>Температура воздуха", "pogodacell><b>", "images/weather_images/", "Осадки за 24 часа",
        "\r\n\r\n", "\xd0", "\xd1\x8f", "HTTP", "</html>", "</html>\n", "z", "",
    };
    ForecastPageSpec forecast;
    page_forecast_defaults(&forecast);
    ActualPageSpec actual;
    page_actual_defaults(&actual);
    actual.no_data = NO_DATA_AFTER_ROWS;
    int32_t lengths[2];
    char *pages[2] = {page_build_forecast(&forecast, &lengths[0]), page_build_actual(&actual, &lengths[1])};
    REQUIRE(pages[0] != NULL);
    REQUIRE(pages[1] != NULL);
    for (const char *marker : MARKERS) {
        std::string shown = marker;
        CAPTURE(shown);
        int found = 0;
        for (int p = 0; p < 2; p++) {
            for (int32_t from = 0; from <= lengths[p]; from++) {
                int32_t fast = find_marker(pages[p] + from, lengths[p] - from, marker);
                int32_t plain = find_marker_plain(pages[p] + from, lengths[p] - from, marker);
                if (fast != plain) {
                    CAPTURE(p);
                    CAPTURE(from);
                    CHECK(fast == plain);
                    break;
                }
                found += fast >= 0;
            }
        }
        // Each stands in a page (but "z", and "</html>\n" on the last bytes),
        // so the compare after the scan has run.
        CHECK((found > 0) == (strcmp(marker, "z") != 0 && strcmp(marker, "</html>\n") != 0));
    }
    mem_free(pages[0]);
    mem_free(pages[1]);
}

TEST_CASE("read_page_number: the plain decimal conversion, bounded")
{
    CHECK(number("745") == 745);
    CHECK(number("-12</td>") == -12);
    CHECK(number("+3") == 3);
    CHECK(number(" \t\r\n\v\f42") == 42);
    CHECK(number("0042x") == 42);
    CHECK(number("") == 0);
    CHECK(number("   ") == 0);
    CHECK(number("-") == 0);
    CHECK(number("+-3") == 0);
    CHECK(number("- 3") == 0);
    CHECK(number("—5") == 0);
    CHECK(number("1 2") == 1);
    CHECK(number("2147483647") == 2147483647);
    CHECK(number("2147483648") == 2147483647);
    CHECK(number("-2147483648") == -2147483647 - 1);
    CHECK(number("-99999999999999999999") == -2147483647 - 1);
    CHECK(number("99999999999999999999999") == 2147483647);
    CHECK(read_page_number("12345", 2) == 12);
    CHECK(read_page_number("12345", 0) == 0);
    CHECK(read_page_number(NULL, 5) == 0);
}

TEST_CASE("the cursor moves to the first byte after a found marker")
{
    Bytes page(std::string("label: pogodacell>17</td> tail"));
    PageCursor cursor = {page.data, page.length};
    CHECK(cursor_skip_past(&cursor, "nothing") == 0);
    CHECK(cursor.at == page.data);
    REQUIRE(cursor_skip_past(&cursor, "pogodacell>") == 1);
    CHECK(cursor.at == page.data + 18);
    CHECK(cursor.left == page.length - 18);
    CHECK(cursor_number(&cursor) == 17);
    CHECK(cursor_cell_length(&cursor) == 2);
    CHECK(cursor_find(&cursor, "label") == -1);  // behind the cursor
}

TEST_CASE("cell texts and the wind direction's 15 bytes")
{
    char *text = copy_cell_text("abc</td>", 3);
    REQUIRE(text != nullptr);
    CHECK(std::string(text) == "abc");
    mem_free(text);
    text = copy_cell_text("</td>", 0);
    REQUIRE(text != nullptr);
    CHECK(text[0] == 0);
    mem_free(text);

    char direction[16];
    memset(direction, 'x', sizeof direction);
    copy_wind_direction(direction, "С-З", 5);
    CHECK(std::string(direction) == "С-З");
    CHECK(direction[6] == 'x');  // only k + 1 bytes are cleared
    copy_wind_direction(direction, "0123456789abcdefgh", 18);
    CHECK(std::string(direction) == "0123456789abcde");
    copy_wind_direction(direction, "", 0);
    CHECK(direction[0] == 0);
}
