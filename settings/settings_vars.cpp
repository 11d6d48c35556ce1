// The program-wide settings with their built-in defaults, and the lock that
// hands the proxy settings from the settings dialog to the HTTP client.
#include "settings/settings_vars.h"

#include <atomic>
#include <string.h>

int32_t is_autostart = 0;
int32_t is_hide_window = 1;
int32_t is_first_fore = 1;
int32_t is_get_fore = 1;
int32_t hours = 2;
int32_t is_use_proxy = 0;
char proxy_name[PROXY_NAME_SIZE] = {0};
int32_t proxy_port = 8080;
char proxy_user[PROXY_CREDENTIAL_SIZE] = {0};
char proxy_password[PROXY_CREDENTIAL_SIZE] = {0};
int32_t is_never_show = 0;
int32_t is_tray_temperature = 1;
int32_t is_warnings = 1;
int32_t cur_country = 0;
int32_t cur_city = 0;
FoundPlaceList found_place;
FoundPlaceList found_recent;
int32_t data_source = 0;

// A spin lock: it is held only while about two hundred bytes are copied,
// and std::mutex would link the C++ runtime's exception machinery (its lock
// reports failure by throwing) into a program that has no other use for it,
// some 140 KB of the executable.
static std::atomic_flag proxy_settings_busy = ATOMIC_FLAG_INIT;

void proxy_settings_lock(void)
{
    while (proxy_settings_busy.test_and_set(std::memory_order_acquire)) {
    }
}

void proxy_settings_unlock(void)
{
    proxy_settings_busy.clear(std::memory_order_release);
}

void proxy_settings_snapshot(int32_t *use_proxy, char *name, int32_t *port)
{
    proxy_settings_lock();
    if (use_proxy)
        *use_proxy = is_use_proxy;
    if (port)
        *port = proxy_port;
    if (name) {
        // Copy at most PROXY_NAME_SIZE - 1 characters, so the copy is a
        // terminated text even if the buffer were ever filled to the brim.
        size_t n = 0;
        while (n < PROXY_NAME_SIZE - 1 && proxy_name[n] != '\0')
            n++;
        memcpy(name, proxy_name, n);
        name[n] = '\0';
    }
    proxy_settings_unlock();
}

// Copies text into out (size bytes, terminated), cut at the size.
static void copy_cut(char *out, int32_t size, const char *text)
{
    if (out == NULL || size <= 0)
        return;
    int32_t n = 0;
    while (n < size - 1 && text[n] != '\0')
        n++;
    memcpy(out, text, (size_t)n);
    out[n] = '\0';
}

void proxy_credentials_snapshot(char *user, int32_t user_size, char *password, int32_t password_size)
{
    proxy_settings_lock();
    copy_cut(user, user_size, proxy_user);
    copy_cut(password, password_size, proxy_password);
    proxy_settings_unlock();
}

void proxy_credentials_set(const char *user, const char *password)
{
    proxy_settings_lock();
    if (user != NULL) {
        wipe_secret(proxy_user, sizeof proxy_user);
        copy_cut(proxy_user, sizeof proxy_user, user);
    }
    if (password != NULL) {
        wipe_secret(proxy_password, sizeof proxy_password);
        copy_cut(proxy_password, sizeof proxy_password, password);
    }
    proxy_settings_unlock();
}

void wipe_secret(void *bytes, size_t size)
{
    volatile unsigned char *p = (volatile unsigned char *)bytes;
    for (size_t i = 0; i < size; i++)
        p[i] = 0;
}

uint32_t refresh_period_ms(int32_t stored_hours)
{
    // The dialog offers 1 to 24 hours; a hand-edited value outside that
    // range would give a period of 0 ms or one past 32 bits.
    int32_t h = stored_hours;
    if (h < REFRESH_HOURS_MIN)
        h = REFRESH_HOURS_MIN;
    if (h > REFRESH_HOURS_MAX)
        h = REFRESH_HOURS_MAX;
    return (uint32_t)h * 3600u * 1000u;
}
