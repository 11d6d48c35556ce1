#include "tests/support/settings_testing.h"

#include <doctest/doctest.h>
#include <string.h>

#include "settings/settings_store.h"
#include "settings/settings_vars.h"

void restore_defaults(void)
{
    is_autostart = 0;
    is_hide_window = 1;
    is_first_fore = 1;
    is_get_fore = 1;
    hours = 2;
    is_use_proxy = 0;
    memset(proxy_name, 0, sizeof proxy_name);
    proxy_port = 8080;
    proxy_credentials_set("", "");
    is_never_show = 0;
    is_tray_temperature = 1;
    is_warnings = 1;
    cur_country = 0;
    cur_city = 0;
    data_source = 0;
    found_place.count = 0;
    found_recent.count = 0;
}

void store_int(const char *name, int32_t value)
{
    REQUIRE(reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, name, &value, 4) == 1);
}
