// The settings variables' defaults, the refresh period bounds and the proxy
// settings lock.
#include <doctest/doctest.h>

#include "settings/settings_vars.h"

#include <atomic>
#include <string.h>
#include <thread>

TEST_CASE("settings hold their built-in defaults before anything is read")
{
    CHECK(is_autostart == 0);
    CHECK(is_hide_window == 1);
    CHECK(is_first_fore == 1);
    CHECK(is_get_fore == 1);
    CHECK(hours == 2);
    CHECK(is_use_proxy == 0);
    CHECK(proxy_port == 8080);
    CHECK(is_never_show == 0);
    CHECK(is_tray_temperature == 1);
    CHECK(is_warnings == 1);
    CHECK(cur_country == 0);
    CHECK(cur_city == 0);
    CHECK(sizeof proxy_name == 200);
    for (size_t i = 0; i < sizeof proxy_name; i++)
        REQUIRE(proxy_name[i] == '\0');
}

TEST_CASE("refresh period is bounded to 1 to 24 hours")
{
    CHECK(refresh_period_ms(1) == 3600000u);
    CHECK(refresh_period_ms(2) == 7200000u);
    CHECK(refresh_period_ms(24) == 86400000u);
    // Hand-edited values: a zero or negative period would fire the timer
    // at once and forever, a large one would wrap past 32 bits.
    CHECK(refresh_period_ms(0) == 3600000u);
    CHECK(refresh_period_ms(-5) == 3600000u);
    CHECK(refresh_period_ms(INT32_MIN) == 3600000u);
    CHECK(refresh_period_ms(25) == 86400000u);
    CHECK(refresh_period_ms(1193) == 86400000u);
    CHECK(refresh_period_ms(INT32_MAX) == 86400000u);
}

TEST_CASE("proxy snapshot")
{
    SUBCASE("a buffer filled to the brim is copied as a terminated text")
    {
        proxy_settings_lock();
        memset(proxy_name, 'x', sizeof proxy_name);
        proxy_settings_unlock();
        char name[PROXY_NAME_SIZE];
        memset(name, '?', sizeof name);
        int32_t use = -1, port = -1;
        proxy_settings_snapshot(&use, name, &port);
        CHECK(strlen(name) == PROXY_NAME_SIZE - 1);
        CHECK(use == 0);
        CHECK(port == 8080);
        proxy_settings_lock();
        memset(proxy_name, 0, sizeof proxy_name);
        proxy_settings_unlock();
    }

    SUBCASE("a reader on another thread never sees a mix of two updates")
    {
        // The writer switches between two consistent sets, field by field
        // under the lock, the way the settings dialog stores them, and gives
        // up its time slice between the fields so that a reader that did not
        // wait for the lock would run into a half-done update.
        static const char long_host[] =
            "a-rather-long-proxy-host-name-that-takes-a-while-to-copy."
            "a-rather-long-proxy-host-name-that-takes-a-while-to-copy.example";
        static const char short_host[] = "p.local";
        std::atomic<bool> stop(false);
        std::atomic<int> updates(0);
        std::thread writer([&]() {
            for (int i = 0; !stop.load(); i++, updates.fetch_add(1)) {
                proxy_settings_lock();
                if (i % 2) {
                    is_use_proxy = 1;
                    std::this_thread::yield();
                    memset(proxy_name, 0, sizeof proxy_name);
                    memcpy(proxy_name, long_host, sizeof long_host);
                    std::this_thread::yield();
                    proxy_port = 3128;
                } else {
                    is_use_proxy = 0;
                    std::this_thread::yield();
                    memset(proxy_name, 0, sizeof proxy_name);
                    memcpy(proxy_name, short_host, sizeof short_host);
                    std::this_thread::yield();
                    proxy_port = 8080;
                }
                proxy_settings_unlock();
            }
        });
        // Read while the writer is busy: at least 20000 snapshots and until
        // the writer has made 2000 updates (bounded, should it stall).
        int mixed = 0;
        for (long i = 0; i < 20000 || (updates.load() < 2000 && i < 50000000); i++) {
            int32_t use, port;
            char name[PROXY_NAME_SIZE];
            proxy_settings_snapshot(&use, name, &port);
            int long_set = use == 1 && port == 3128 && strcmp(name, long_host) == 0;
            int short_set = use == 0 && port == 8080 && strcmp(name, short_host) == 0;
            int initial = use == 0 && port == 8080 && name[0] == '\0';
            if (!long_set && !short_set && !initial)
                mixed++;
        }
        stop.store(true);
        writer.join();
        CHECK(updates.load() >= 2000);
        CHECK(mixed == 0);
        proxy_settings_lock();
        is_use_proxy = 0;
        memset(proxy_name, 0, sizeof proxy_name);
        proxy_port = 8080;
        proxy_settings_unlock();
    }
}
