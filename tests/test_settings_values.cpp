// The reads and writes at each moment of the program, through whichever
// registry side the build has: the real registry of a private prefix under
// Wine, the in-memory stand-in natively (where the sanitizers watch the
// buffers).
#include <doctest/doctest.h>

#include "panel/heads_up.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

#include <string.h>

#include <initializer_list>

static int store(const char *name, const void *data, uint32_t size)
{
    return reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, name, data, size);
}

// First in the file: the store holds nothing yet.
TEST_CASE("flags whose absence means on: the temperature in the icon and the warnings")
{
    const struct {
        const char *name;
        int32_t *variable;
    } flags[] = {{VALUE_IS_TRAY_TEMPERATURE, &is_tray_temperature}, {VALUE_IS_WARNINGS, &is_warnings}};
    for (const auto &flag : flags) {
        CAPTURE(flag.name);
        REQUIRE(init_settings() == 1);
        *flag.variable = 1;
        settings_read_panel_values();
        CHECK(*flag.variable == 1);

        *flag.variable = 0;
        REQUIRE(settings_write_dialog_values() == 1);
        *flag.variable = 1;
        settings_read_panel_values();
        CHECK(*flag.variable == 0);

        // Cancel in the dialog reads it back too.
        *flag.variable = 1;
        settings_read_dialog_values();
        CHECK(*flag.variable == 0);

        const unsigned char on[4] = {1, 0, 0, 0};
        REQUIRE(store(flag.name, on, 4) == 1);
        settings_read_dialog_values();
        CHECK(*flag.variable == 1);
    }
}

TEST_CASE("what the heads-up told survives a restart in warnings_told")
{
    HeadsUpTold told, restarted;
    memset(&told, 0, sizeof told);
    uint8_t bytes[HEADS_UP_TOLD_BYTES];
    CHECK(settings_read_warnings_told(bytes, sizeof bytes) == 0);  // none stored yet
    for (int n : {(int)HEADS_UP_TOLD_MAX, 1}) {  // a shorter ledger replaces a longer one whole
        for (int i = 0; i < n; i++)
            heads_up_tell(&told, 0x1000u + (uint32_t)i, 9000 + i, HEADS_UP_WIND, 9000);
        told.count = n;
        REQUIRE(settings_write_warnings_told(bytes, heads_up_told_encode(&told, bytes, sizeof bytes)) == 1);
        heads_up_told_decode(bytes, settings_read_warnings_told(bytes, sizeof bytes), &restarted);
        CHECK(restarted.count == n);
        CHECK(heads_up_tell(&restarted, 0x1000u + (uint32_t)n - 1, 9000 + n - 1, HEADS_UP_WIND | HEADS_UP_FROST,
                            9000) == HEADS_UP_FROST);
    }
}

TEST_CASE("settings go out and come back through the store")
{
    REQUIRE(init_settings() == 1);

    is_autostart = 1;
    is_hide_window = 0;
    is_first_fore = 0;
    is_get_fore = 0;
    hours = 24;
    is_use_proxy = 1;
    strcpy(proxy_name, "\xEF\xF0\xEE\xEA\xF1\xE8.example");   // "прокси" in code page 1251
    proxy_port = -70000;
    is_never_show = 1;
    cur_country = 49;
    cur_city = 1289;
    REQUIRE(settings_write_dialog_values() == 1);
    REQUIRE(settings_write_never_show() == 1);
    REQUIRE(settings_write_selection() == 1);

    is_autostart = 0;
    is_hide_window = 1;
    is_first_fore = 1;
    is_get_fore = 1;
    hours = 2;
    is_use_proxy = 0;
    memset(proxy_name, 'x', sizeof proxy_name - 1);
    proxy_name[sizeof proxy_name - 1] = '\0';
    proxy_port = 8080;
    is_never_show = 0;
    cur_country = 0;
    cur_city = 0;

    init_settings();
    settings_read_panel_values();
    settings_read_hide_window();
    CHECK(is_autostart == 1);
    CHECK(is_hide_window == 0);
    CHECK(is_first_fore == 0);
    CHECK(is_get_fore == 0);
    CHECK(hours == 24);
    CHECK(is_use_proxy == 1);
    CHECK(strcmp(proxy_name, "\xEF\xF0\xEE\xEA\xF1\xE8.example") == 0);
    CHECK(proxy_port == -70000);
    CHECK(is_never_show == 1);
    CHECK(cur_country == 49);
    CHECK(cur_city == 1289);
}

TEST_CASE("numbers are 4 little-endian bytes")
{
    REQUIRE(init_settings() == 1);
    const unsigned char five[4] = {5, 0, 0, 0};
    REQUIRE(store(VALUE_HOURS, five, 4) == 1);
    const unsigned char port[4] = {0x38, 0x0C, 0, 0};
    REQUIRE(store(VALUE_PROXY_PORT, port, 4) == 1);
    hours = 2;
    proxy_port = 8080;
    settings_read_panel_values();
    CHECK(hours == 5);
    CHECK(proxy_port == 3128);

    // A shorter value replaces only the low bytes of the variable.
    const unsigned char one_byte[1] = {7};
    REQUIRE(store(VALUE_HOURS, one_byte, 1) == 1);
    hours = 0x01020304;
    settings_read_panel_values();
    CHECK(hours == 0x01020307);
}

TEST_CASE("the proxy host is always a terminated text after a read")
{
    REQUIRE(init_settings() == 1);
    char host[201];
    memset(host, 'h', sizeof host);

    REQUIRE(store(VALUE_PROXY_NAME, host, 199) == 1);
    settings_read_dialog_values();
    CHECK(strlen(proxy_name) == 199);

    REQUIRE(store(VALUE_PROXY_NAME, host, 200) == 1);
    settings_read_dialog_values();
    CHECK(proxy_name[0] == '\0');

    REQUIRE(store(VALUE_PROXY_NAME, host, 201) == 1);
    strcpy(proxy_name, "kept?");
    settings_read_panel_values();
    CHECK(proxy_name[0] == '\0');

    REQUIRE(store(VALUE_PROXY_NAME, host, 0) == 1);
    strcpy(proxy_name, "kept?");
    settings_read_panel_values();
    CHECK(proxy_name[0] == '\0');
}
