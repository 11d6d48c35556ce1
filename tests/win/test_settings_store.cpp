// The settings store against the real registry of the private Wine prefix
// that each run of this program gets.
#include <doctest/doctest.h>

#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "tests/support/settings_testing.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char SETTINGS_PATH[] = SETTINGS_PARENT_PATH "\\" SETTINGS_KEY_NAME;
static const char RUN_PATH[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The program's own start: the country list's fill, the panel's reads, the
// Run value made to match, then the host window's read.
static int start_like_the_program(void)
{
    init_settings();
    settings_read_panel_values();
    int autostart_result = settings_apply_autostart();
    settings_read_hide_window();
    return autostart_result;
}

static void forget_everything(void)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Keldmark");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Keldmark");
    restore_defaults();
}

static int key_exists(const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

static DWORD value_count(const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0xFFFFFFFFu;
    DWORD count = 0xFFFFFFFFu;
    RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return count;
}

// Writes a value from outside the store, with any type; creates the key.
static void put_raw(const char *path, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) ==
            ERROR_SUCCESS);
    REQUIRE(RegSetValueExA(key, name, 0, type, (const BYTE *)data, size) == ERROR_SUCCESS);
    RegCloseKey(key);
}

struct RawValue {
    int found;
    DWORD type;
    DWORD size;
    BYTE data[1024];
};

static RawValue get_raw(const char *path, const char *name)
{
    RawValue v;
    memset(&v, 0, sizeof v);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return v;
    v.size = sizeof v.data;
    v.found = RegQueryValueExA(key, name, NULL, &v.type, v.data, &v.size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return v;
}

static void put_int(const char *name, DWORD type, int32_t value)
{
    BYTE bytes[4] = {(BYTE)(value & 0xFF), (BYTE)((value >> 8) & 0xFF),
                     (BYTE)((value >> 16) & 0xFF), (BYTE)((value >> 24) & 0xFF)};
    put_raw(SETTINGS_PATH, name, type, bytes, 4);
}

static int32_t raw_int(const RawValue &v)
{
    return (int32_t)((uint32_t)v.data[0] | ((uint32_t)v.data[1] << 8) |
                     ((uint32_t)v.data[2] << 16) | ((uint32_t)v.data[3] << 24));
}

static void module_path(char *path, DWORD size)
{
    DWORD n = GetModuleFileNameA(NULL, path, size);
    REQUIRE(n > 0);
    REQUIRE(n < size);
}

// ---------------------------------------------------------------------------
// A second run of this program, started by the restart test below. It acts
// before the test framework starts: it loads the settings as the program does
// at start and reports through its exit code whether it found the values
// that the first run stored (0), or which one it did not.

static const char CHILD_VARIABLE[] = "VELVANE_SETTINGS_RESTART_CHILD";
static const char RESTART_HOST[] = "proxy.restart.example";

static int restarted_run_check(void)
{
    restore_defaults();
    start_like_the_program();
    if (is_autostart != 0) return 10;
    if (is_hide_window != 0) return 11;
    if (is_first_fore != 0) return 12;
    if (is_get_fore != 0) return 13;
    if (hours != 5) return 14;
    if (is_use_proxy != 1) return 15;
    if (strcmp(proxy_name, RESTART_HOST) != 0) return 16;
    if (proxy_port != 3128) return 17;
    if (is_never_show != 1) return 18;
    if (cur_country != 4) return 19;
    if (cur_city != 17) return 20;
    return 0;
}

static int run_as_restarted_child(void)
{
    char flag[8];
    if (GetEnvironmentVariableA(CHILD_VARIABLE, flag, sizeof flag) == 0)
        return 0;
    ExitProcess((UINT)restarted_run_check());
    return 0;
}

static int restarted_child_hook = run_as_restarted_child();

static DWORD run_child(void)
{
    char path[MAX_PATH];
    module_path(path, sizeof path);
    char command[MAX_PATH + 4];
    snprintf(command, sizeof command, "\"%s\"", path);
    REQUIRE(SetEnvironmentVariableA(CHILD_VARIABLE, "1"));
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    BOOL started = CreateProcessA(path, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
    SetEnvironmentVariableA(CHILD_VARIABLE, NULL);
    REQUIRE(started);
    REQUIRE(WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0);
    DWORD code = 0xFFFFFFFFu;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// ---------------------------------------------------------------------------

TEST_CASE("the prefix uses code page 1251, as a Russian Windows does")
{
    REQUIRE(restarted_child_hook == 0);
    CHECK(GetACP() == 1251);
}

TEST_CASE("first start with no key")
{
    forget_everything();
    REQUIRE_FALSE(key_exists("Software\\Keldmark"));
    char stale[] = "C:\\old\\velvane.exe";
    put_raw(RUN_PATH, AUTOSTART_VALUE_NAME, REG_SZ, stale, sizeof stale);

    CHECK(start_like_the_program() == 1);

    CHECK(key_exists(SETTINGS_PATH));
    CHECK(value_count(SETTINGS_PATH) == 0);
    CHECK(is_autostart == 0);
    CHECK(is_hide_window == 1);
    CHECK(is_first_fore == 1);
    CHECK(is_get_fore == 1);
    CHECK(hours == 2);
    CHECK(is_use_proxy == 0);
    CHECK(proxy_name[0] == '\0');
    CHECK(proxy_port == 8080);
    CHECK(is_never_show == 0);
    CHECK(cur_country == 0);
    CHECK(cur_city == 0);
    CHECK_FALSE(get_raw(RUN_PATH, AUTOSTART_VALUE_NAME).found);
}

TEST_CASE("values stored and read back")
{
    forget_everything();
    start_like_the_program();

    is_autostart = 0;
    is_hide_window = 0;
    is_first_fore = 0;
    is_get_fore = 0;
    hours = 5;
    is_use_proxy = 1;
    strcpy(proxy_name, "proxy.example");
    proxy_port = 3128;
    is_never_show = 1;
    cur_country = 4;
    cur_city = 17;
    data_source = 2;
    CHECK(settings_write_dialog_values() == 1);
    CHECK(settings_write_never_show() == 1);
    CHECK(settings_write_selection() == 1);

    SUBCASE("as REG_BINARY: numbers in 4 little-endian bytes, the host without terminator")
    {
        RawValue h = get_raw(SETTINGS_PATH, VALUE_HOURS);
        CHECK(h.found);
        CHECK(h.type == REG_BINARY);
        CHECK(h.size == 4);
        CHECK(raw_int(h) == 5);
        RawValue port = get_raw(SETTINGS_PATH, VALUE_PROXY_PORT);
        CHECK(port.type == REG_BINARY);
        CHECK(port.size == 4);
        CHECK(port.data[0] == 0x38);
        CHECK(port.data[1] == 0x0C);
        RawValue name = get_raw(SETTINGS_PATH, VALUE_PROXY_NAME);
        CHECK(name.type == REG_BINARY);
        CHECK(name.size == strlen("proxy.example"));
        CHECK(memcmp(name.data, "proxy.example", name.size) == 0);
        RawValue source = get_raw(SETTINGS_PATH, VALUE_DATA_SOURCE);
        CHECK(source.type == REG_BINARY);
        CHECK(source.size == 4);
        CHECK(raw_int(source) == 2);
        // The eleven, data_source, is_tray_temperature, proxy_user, proxy_password and is_warnings.
        CHECK(value_count(SETTINGS_PATH) == 16);
    }

    SUBCASE("in the same run")
    {
        restore_defaults();
        start_like_the_program();
        CHECK(is_hide_window == 0);
        CHECK(is_first_fore == 0);
        CHECK(is_get_fore == 0);
        CHECK(hours == 5);
        CHECK(is_use_proxy == 1);
        CHECK(strcmp(proxy_name, "proxy.example") == 0);
        CHECK(proxy_port == 3128);
        CHECK(is_never_show == 1);
        CHECK(data_source == 2);
        CHECK(cur_country == 4);
        CHECK(cur_city == 17);
    }

    SUBCASE("the settings dialog's Cancel brings back the stored values")
    {
        is_hide_window = 1;
        hours = 9;
        is_use_proxy = 0;
        strcpy(proxy_name, "a-much-longer-host-typed-in-the-dialog.example");
        proxy_port = 1;
        settings_read_dialog_values();
        CHECK(is_hide_window == 0);
        CHECK(hours == 5);
        CHECK(is_use_proxy == 1);
        // The buffer is cleared before the read: no tail of the longer text.
        CHECK(strcmp(proxy_name, "proxy.example") == 0);
        CHECK(proxy_port == 3128);
    }
}

TEST_CASE("the proxy's sign-in: the user as text, the password only encrypted for the user")
{
    forget_everything();
    start_like_the_program();
    // Cyrillic in code page 1251 as the dialog hands it over.
    const char password[] = "s3cret-\xEF\xE0\xF0\xEE\xEB\xFC";
    proxy_credentials_set("ivan.petrov", password);
    REQUIRE(settings_write_dialog_values() == 1);

    RawValue user = get_raw(SETTINGS_PATH, VALUE_PROXY_USER);
    CHECK(user.type == REG_BINARY);
    CHECK(user.size == strlen("ivan.petrov"));
    CHECK(memcmp(user.data, "ivan.petrov", user.size) == 0);
    RawValue secret = get_raw(SETTINGS_PATH, VALUE_PROXY_PASSWORD);
    REQUIRE(secret.found);
    CHECK(secret.type == REG_BINARY);
    CHECK(secret.size > strlen(password));
    // No trace of the text, whole or in part, nor of its UTF-16 form.
    std::string raw((const char *)secret.data, secret.size);
    CHECK(raw.find("s3cret") == std::string::npos);
    CHECK(raw.find(std::string("s\0" "3\0c", 5)) == std::string::npos);
    // Another program of the same user, without the program's entropy, gets nothing.
    DATA_BLOB in = {secret.size, secret.data};
    DATA_BLOB out = {0, NULL};
    CHECK_FALSE(CryptUnprotectData(&in, NULL, NULL, NULL, NULL, CRYPTPROTECT_UI_FORBIDDEN, &out));

    // Read back at the next start, and after a Cancel of the dialog.
    restore_defaults();
    start_like_the_program();
    CHECK(strcmp(proxy_user, "ivan.petrov") == 0);
    CHECK(strcmp(proxy_password, password) == 0);
    proxy_credentials_set("typed", "typed");
    settings_read_dialog_values();
    CHECK(strcmp(proxy_user, "ivan.petrov") == 0);
    CHECK(strcmp(proxy_password, password) == 0);

    // Bytes that do not decrypt (cut short, or not DPAPI's at all) are not read.
    for (DWORD i = 0; i < secret.size; i++)
        secret.data[i] = (BYTE)(i * 7 + 1);
    put_raw(SETTINGS_PATH, VALUE_PROXY_PASSWORD, REG_BINARY, secret.data, secret.size);
    proxy_credentials_set(NULL, "kept");
    settings_read_dialog_values();
    CHECK(strcmp(proxy_password, "kept") == 0);

    // An empty password is a value of no bytes; an old registry without
    // the two values leaves them as they are.
    proxy_credentials_set("", "");
    REQUIRE(settings_write_dialog_values() == 1);
    CHECK(get_raw(SETTINGS_PATH, VALUE_PROXY_PASSWORD).size == 0);
    CHECK(get_raw(SETTINGS_PATH, VALUE_PROXY_USER).size == 0);
    forget_everything();
    start_like_the_program();
    CHECK(proxy_user[0] == '\0');
    CHECK(proxy_password[0] == '\0');
}

TEST_CASE("stored values survive a restart of the program")
{
    forget_everything();
    start_like_the_program();
    is_hide_window = 0;
    is_first_fore = 0;
    is_get_fore = 0;
    hours = 5;
    is_use_proxy = 1;
    strcpy(proxy_name, RESTART_HOST);
    proxy_port = 3128;
    is_never_show = 1;
    cur_country = 4;
    cur_city = 17;
    REQUIRE(settings_write_dialog_values() == 1);
    REQUIRE(settings_write_never_show() == 1);
    REQUIRE(settings_write_selection() == 1);

    CHECK(run_child() == 0);

    // And a second run with nothing stored finds the defaults, which tells
    // that the child does read the registry rather than pass regardless.
    forget_everything();
    CHECK(run_child() == 11);
}

TEST_CASE("values of another type or size are not read")
{
    forget_everything();
    init_settings();

    SUBCASE("a 4-byte REG_DWORD is treated as missing")
    {
        put_int(VALUE_HOURS, REG_DWORD, 7);
        put_int(VALUE_PROXY_PORT, REG_DWORD, 3128);
        put_int(VALUE_CUR_COUNTRY, REG_DWORD, 3);
        init_settings();
        settings_read_panel_values();
        CHECK(hours == 2);
        CHECK(proxy_port == 8080);
        CHECK(cur_country == 0);
    }

    SUBCASE("a host stored as REG_SZ is treated as missing")
    {
        char host[] = "sz.example";
        put_raw(SETTINGS_PATH, VALUE_PROXY_NAME, REG_SZ, host, sizeof host);
        settings_read_panel_values();
        CHECK(proxy_name[0] == '\0');
    }

    SUBCASE("a number longer than 4 bytes is ignored")
    {
        BYTE five[5] = {9, 0, 0, 0, 0};
        put_raw(SETTINGS_PATH, VALUE_HOURS, REG_BINARY, five, sizeof five);
        settings_read_panel_values();
        CHECK(hours == 2);
    }

    SUBCASE("a host longer than the buffer is ignored")
    {
        char host[201];
        memset(host, 'h', sizeof host);
        put_raw(SETTINGS_PATH, VALUE_PROXY_NAME, REG_BINARY, host, sizeof host);
        settings_read_panel_values();
        CHECK(proxy_name[0] == '\0');
    }

    SUBCASE("a host of exactly 200 bytes, with no room for a terminator, is not read")
    {
        char host[200];
        memset(host, 'h', sizeof host);
        put_raw(SETTINGS_PATH, VALUE_PROXY_NAME, REG_BINARY, host, sizeof host);
        settings_read_panel_values();
        CHECK(proxy_name[PROXY_NAME_SIZE - 1] == '\0');
        CHECK(proxy_name[0] == '\0');
        settings_read_dialog_values();
        CHECK(proxy_name[0] == '\0');
    }

    SUBCASE("a host of 199 bytes, the longest the dialog stores, is read")
    {
        char host[199];
        memset(host, 'h', sizeof host);
        put_raw(SETTINGS_PATH, VALUE_PROXY_NAME, REG_BINARY, host, sizeof host);
        settings_read_panel_values();
        CHECK(strlen(proxy_name) == 199);
    }
}

TEST_CASE("reg_read_value leaves the buffer alone unless it succeeds")
{
    forget_everything();
    init_settings();

    SUBCASE("a shorter value replaces only the first bytes")
    {
        put_raw(SETTINGS_PATH, "probe", REG_BINARY, "ab", 2);
        char buffer[4] = {'W', 'X', 'Y', 'Z'};
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "probe", buffer, 4) == 1);
        CHECK(memcmp(buffer, "abYZ", 4) == 0);
    }

    SUBCASE("too long, another type, absent value, absent key")
    {
        put_raw(SETTINGS_PATH, "long", REG_BINARY, "abcde", 5);
        put_raw(SETTINGS_PATH, "dword", REG_DWORD, "abcd", 4);
        char buffer[4] = {'W', 'X', 'Y', 'Z'};
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "long", buffer, 4) == 0);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "dword", buffer, 4) == 0);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "none", buffer, 4) == 0);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, "nokey", "long", buffer, 4) == 0);
        CHECK(memcmp(buffer, "WXYZ", 4) == 0);
    }

    SUBCASE("a buffer larger than the store's own copy")
    {
        static char big[2000];
        memset(big, 'q', sizeof big);
        put_raw(SETTINGS_PATH, "big", REG_BINARY, big, 1000);
        static char buffer[2000];
        memset(buffer, '-', sizeof buffer);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "big", buffer, 999) == 0);
        CHECK(buffer[0] == '-');
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "big", buffer, 2000) == 1);
        CHECK(buffer[999] == 'q');
        CHECK(buffer[1000] == '-');
    }
}

TEST_CASE("writes need the key; the empty host is a zero-byte value")
{
    forget_everything();
    CHECK(reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_HOURS, "\5\0\0\0", 4) == 0);
    CHECK_FALSE(key_exists(SETTINGS_PATH));

    init_settings();
    proxy_name[0] = '\0';
    CHECK(settings_write_dialog_values() == 1);
    RawValue v = get_raw(SETTINGS_PATH, VALUE_PROXY_NAME);
    CHECK(v.found);
    CHECK(v.type == REG_BINARY);
    CHECK(v.size == 0);
    strcpy(proxy_name, "left.over");
    settings_read_panel_values();
    CHECK(proxy_name[0] == '\0');

    SUBCASE("a buffer without terminator is stored as its first 199 characters")
    {
        proxy_settings_lock();
        memset(proxy_name, 'z', sizeof proxy_name);
        proxy_settings_unlock();
        CHECK(settings_write_dialog_values() == 1);
        CHECK(get_raw(SETTINGS_PATH, VALUE_PROXY_NAME).size == 199);
        memset(proxy_name, 0, sizeof proxy_name);
    }
}

TEST_CASE("the selections are stored under names beginning with the Cyrillic es")
{
    forget_everything();
    init_settings();

    SUBCASE("a value under the Latin name is not found")
    {
        put_int("cur_country", REG_BINARY, 9);
        put_int("cur_city", REG_BINARY, 9);
        init_settings();
        CHECK(cur_country == 0);
        CHECK(cur_city == 0);
    }

    SUBCASE("a value written from outside under the Cyrillic name is found")
    {
        // Written through the wide interface, by the name's Unicode letters.
        HKEY key;
        REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Keldmark\\weather", 0, KEY_WRITE,
                              &key) == ERROR_SUCCESS);
        BYTE three[4] = {3, 0, 0, 0};
        BYTE six[4] = {6, 0, 0, 0};
        CHECK(RegSetValueExW(key, L"\x0441ur_country", 0, REG_BINARY, three, 4) == ERROR_SUCCESS);
        CHECK(RegSetValueExW(key, L"\x0441ur_city", 0, REG_BINARY, six, 4) == ERROR_SUCCESS);
        RegCloseKey(key);
        init_settings();
        CHECK(cur_country == 3);
        CHECK(cur_city == 6);
    }

    SUBCASE("the store's own writes carry the letter U+0441")
    {
        cur_country = 2;
        cur_city = 8;
        CHECK(settings_write_selection() == 1);
        HKEY key;
        REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Keldmark\\weather", 0, KEY_READ,
                              &key) == ERROR_SUCCESS);
        int cyrillic_country = 0, cyrillic_city = 0, others = 0;
        for (DWORD i = 0;; i++) {
            WCHAR name[64];
            DWORD name_size = 64;
            if (RegEnumValueW(key, i, name, &name_size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            if (wcscmp(name, L"\x0441ur_country") == 0)
                cyrillic_country++;
            else if (wcscmp(name, L"\x0441ur_city") == 0)
                cyrillic_city++;
            else
                others++;
        }
        RegCloseKey(key);
        CHECK(cyrillic_country == 1);
        CHECK(cyrillic_city == 1);
        CHECK(others == 0);
    }
}

TEST_CASE("autostart")
{
    char path[MAX_PATH];
    module_path(path, sizeof path);

    SUBCASE("enable creates a missing Run key and stores the executable's path")
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, RUN_PATH);
        RegDeleteKeyA(HKEY_CURRENT_USER, RUN_PATH);
        REQUIRE_FALSE(key_exists(RUN_PATH));
        CHECK(autostart_enable() == 1);
        RawValue v = get_raw(RUN_PATH, AUTOSTART_VALUE_NAME);
        CHECK(v.found);
        CHECK(v.type == REG_SZ);
        CHECK(strcmp((const char *)v.data, path) == 0);
    }

    SUBCASE("enable rewrites a stale path")
    {
        char stale[] = "C:\\Program Files\\old\\velvane.exe";
        put_raw(RUN_PATH, AUTOSTART_VALUE_NAME, REG_SZ, stale, sizeof stale);
        CHECK(autostart_enable() == 1);
        CHECK(strcmp((const char *)get_raw(RUN_PATH, AUTOSTART_VALUE_NAME).data, path) == 0);
    }

    SUBCASE("disable deletes the value and nothing else")
    {
        char other[] = "C:\\other.exe";
        put_raw(RUN_PATH, "Other", REG_SZ, other, sizeof other);
        REQUIRE(autostart_enable() == 1);
        CHECK(autostart_disable() == 1);
        CHECK_FALSE(get_raw(RUN_PATH, AUTOSTART_VALUE_NAME).found);
        CHECK(get_raw(RUN_PATH, "Other").found);

        // Nothing there: 0, and no other effect.
        CHECK(autostart_disable() == 0);
        CHECK(get_raw(RUN_PATH, "Other").found);
        HKEY run;
        REQUIRE(RegOpenKeyExA(HKEY_CURRENT_USER, RUN_PATH, 0, KEY_WRITE, &run) == ERROR_SUCCESS);
        RegDeleteValueA(run, "Other");
        RegCloseKey(run);
    }

    SUBCASE("disable without a Run key returns 0 and creates none")
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, RUN_PATH);
        RegDeleteKeyA(HKEY_CURRENT_USER, RUN_PATH);
        CHECK(autostart_disable() == 0);
        CHECK_FALSE(key_exists(RUN_PATH));
    }

    SUBCASE("the start applies is_autostart to the Run value")
    {
        forget_everything();
        init_settings();
        put_int(VALUE_IS_AUTOSTART, REG_BINARY, 1);
        RegDeleteTreeA(HKEY_CURRENT_USER, RUN_PATH);
        CHECK(start_like_the_program() == 1);
        CHECK(is_autostart == 1);
        CHECK(strcmp((const char *)get_raw(RUN_PATH, AUTOSTART_VALUE_NAME).data, path) == 0);
        restore_defaults();
    }
}

// Handle values are handed out lowest free slot first: if every key opened
// in between was closed, an event created after the operations gets the
// value that one created before them had.
TEST_CASE("every key opened is closed again, on failure paths too")
{
    forget_everything();
    init_settings();
    put_raw(SETTINGS_PATH, "long", REG_BINARY, "abcdefgh", 8);
    put_raw(SETTINGS_PATH, "dword", REG_DWORD, "abcd", 4);
    // Warm up whatever the registry functions keep open for good.
    settings_read_panel_values();
    autostart_enable();
    autostart_disable();

    HANDLE before = CreateEventA(NULL, FALSE, FALSE, NULL);
    REQUIRE(before != NULL);
    CloseHandle(before);

    char buffer[8];
    for (int i = 0; i < 20; i++) {
        CHECK(reg_create_key("Software", "Keldmark") == 1);
        CHECK(reg_create_key("Software\\NoSuchParent", "x") == 0);
        CHECK(reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "v", "1234", 4) == 1);
        CHECK(reg_write_value(SETTINGS_PARENT_PATH, "nokey", "v", "1234", 4) == 0);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "v", buffer, 4) == 1);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "long", buffer, 4) == 0);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "dword", buffer, 4) == 0);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, "none", buffer, 4) == 0);
        CHECK(reg_read_value(SETTINGS_PARENT_PATH, "nokey", "v", buffer, 4) == 0);
        CHECK(init_settings() == 1);
        settings_read_panel_values();
        settings_read_hide_window();
        settings_read_dialog_values();
        CHECK(settings_write_dialog_values() == 1);
        CHECK(settings_write_never_show() == 1);
        CHECK(settings_write_selection() == 1);
        CHECK(autostart_enable() == 1);
        CHECK(autostart_disable() == 1);
        CHECK(autostart_disable() == 0);
        RegDeleteKeyA(HKEY_CURRENT_USER, RUN_PATH);
        CHECK(autostart_disable() == 0);
        CHECK(autostart_enable() == 1);
    }

    HANDLE after = CreateEventA(NULL, FALSE, FALSE, NULL);
    CHECK(after == before);
    CloseHandle(after);
    restore_defaults();
}
