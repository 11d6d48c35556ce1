// The moments at which the program reads and writes its settings, on top of
// the three registry operations. Each value is read with the full size of its
// variable; numbers are stored as 4 little-endian bytes.
#include "settings/settings_store.h"

#include "settings/settings_vars.h"

#include <string.h>

static void put_le32(unsigned char *bytes, int32_t value)
{
    uint32_t v = (uint32_t)value;
    bytes[0] = (unsigned char)(v & 0xFFu);
    bytes[1] = (unsigned char)((v >> 8) & 0xFFu);
    bytes[2] = (unsigned char)((v >> 16) & 0xFFu);
    bytes[3] = (unsigned char)((v >> 24) & 0xFFu);
}

static int32_t get_le32(const unsigned char *bytes)
{
    uint32_t v = (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) |
                 ((uint32_t)bytes[2] << 16) | ((uint32_t)bytes[3] << 24);
    return (int32_t)v;
}

// Reads a 4-byte number into *value. The bytes start as the variable's own,
// so a shorter stored value replaces only its first bytes, and a value that
// cannot be read leaves the variable as it was.
static int read_int(const char *value_name, int32_t *value)
{
    unsigned char bytes[4];
    put_le32(bytes, *value);
    int ok = reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, value_name,
                            bytes, sizeof bytes);
    *value = get_le32(bytes);
    return ok;
}

static int write_int(const char *value_name, int32_t value)
{
    unsigned char bytes[4];
    put_le32(bytes, value);
    return reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, value_name,
                           bytes, sizeof bytes);
}

// Reads proxy_name into a cleared buffer, offering one byte less than the
// buffer: a stored host of 200 bytes or more would leave no terminator and
// counts as not stored, so the buffer always holds a terminated text.
static void read_proxy_name(char *name)
{
    memset(name, 0, PROXY_NAME_SIZE);
    reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_NAME,
                   name, PROXY_NAME_SIZE - 1);
}

// Reads a text value (its characters only) into a cleared buffer of size
// bytes, offering one byte less: a longer one counts as not stored. 1 when
// it was stored.
static int read_text(const char *value_name, char *text, uint32_t size)
{
    memset(text, 0, size);
    return reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, value_name, text, size - 1);
}

// Reads and decrypts proxy_password into text (cleared first); 1 when it
// was stored and could be decrypted. Zero bytes stored are no password.
static int read_password(char *text, uint32_t size)
{
    unsigned char blob[PROXY_PASSWORD_BLOB_SIZE];
    uint32_t stored = 0;
    memset(text, 0, size);
    if (!reg_read_value_sized(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_PASSWORD, blob,
                              sizeof blob, &stored))
        return 0;
    int ok = stored == 0 || secret_unprotect(blob, stored, text, size);
    if (!ok)
        memset(text, 0, size);
    wipe_secret(blob, sizeof blob);
    return ok;
}

// The proxy settings are read from the registry into copies and then
// handed over under the lock at once, so the HTTP client never sees a mix.
// A value that is not stored keeps its variable's value.
static void read_proxy_values(void)
{
    int32_t use_proxy;
    int32_t port;
    char name[PROXY_NAME_SIZE];
    char user[PROXY_CREDENTIAL_SIZE];
    char password[PROXY_CREDENTIAL_SIZE];
    proxy_settings_snapshot(&use_proxy, NULL, &port);
    read_int(VALUE_IS_USE_PROXY, &use_proxy);
    read_proxy_name(name);
    read_int(VALUE_PROXY_PORT, &port);
    int has_user = read_text(VALUE_PROXY_USER, user, sizeof user);
    int has_password = read_password(password, sizeof password);
    proxy_settings_lock();
    is_use_proxy = use_proxy;
    memcpy(proxy_name, name, PROXY_NAME_SIZE);
    proxy_port = port;
    if (has_user)
        memcpy(proxy_user, user, sizeof user);
    if (has_password)
        memcpy(proxy_password, password, sizeof password);
    proxy_settings_unlock();
    wipe_secret(password, sizeof password);
}

// Stores proxy_password encrypted; an empty one, or one that cannot be
// encrypted, is stored as zero bytes: never as text.
static int write_password(const char *password)
{
    unsigned char blob[PROXY_PASSWORD_BLOB_SIZE];
    uint32_t size = 0;
    int protected_ok = password[0] == '\0' || secret_protect(password, blob, sizeof blob, &size);
    if (!protected_ok)
        size = 0;
    int ok = reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_PASSWORD, blob, size);
    wipe_secret(blob, sizeof blob);
    return ok && protected_ok;
}

// A list of found places, never trusted: none unless the value is exactly
// a sound stored form of at most max places.
static void read_found(const char *value_name, FoundPlaceList *list, int32_t max)
{
    uint8_t bytes[FOUND_PLACES_STORED_MAX];
    uint32_t stored = 0;
    FoundPlaceList read;
    list->count = 0;
    if (reg_read_value_sized(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, value_name, bytes, sizeof bytes, &stored) &&
        found_places_decode(bytes, stored, &read) && read.count <= max)
        *list = read;
}

static int write_found(const char *value_name, const FoundPlaceList *list)
{
    uint8_t bytes[FOUND_PLACES_STORED_MAX];
    uint32_t length = found_places_encode(list, bytes, sizeof bytes);
    return length > 0 && reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, value_name, bytes, length);
}

int settings_write_found_place(void)
{
    return write_found(VALUE_FOUND_PLACE, &found_place);
}

int settings_write_found_recent(void)
{
    return write_found(VALUE_FOUND_RECENT, &found_recent);
}

int init_settings(void)
{
    int ok = reg_create_key("Software", "Keldmark");
    ok &= reg_create_key(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME);
    // Absent selections are the normal first start, not a failure.
    read_int(VALUE_CUR_COUNTRY, &cur_country);
    read_int(VALUE_CUR_CITY, &cur_city);
    read_found(VALUE_FOUND_PLACE, &found_place, 1);
    read_found(VALUE_FOUND_RECENT, &found_recent, FOUND_RECENT_MAX);
    return ok;
}

int settings_apply_autostart(void)
{
    return is_autostart ? autostart_enable() : autostart_disable();
}

void settings_read_panel_values(void)
{
    read_int(VALUE_IS_TRAY_TEMPERATURE, &is_tray_temperature);
    read_int(VALUE_IS_AUTOSTART, &is_autostart);
    read_int(VALUE_IS_FIRST_FORE, &is_first_fore);
    read_int(VALUE_IS_GET_FORE, &is_get_fore);
    read_int(VALUE_HOURS, &hours);
    read_proxy_values();
    read_int(VALUE_IS_NEVER_SHOW, &is_never_show);
    read_int(VALUE_DATA_SOURCE, &data_source);
    read_int(VALUE_IS_WARNINGS, &is_warnings);
}

void settings_read_hide_window(void)
{
    read_int(VALUE_IS_HIDE_WINDOW, &is_hide_window);
}

void settings_read_dialog_values(void)
{
    read_int(VALUE_IS_TRAY_TEMPERATURE, &is_tray_temperature);
    read_int(VALUE_IS_AUTOSTART, &is_autostart);
    read_int(VALUE_IS_HIDE_WINDOW, &is_hide_window);
    read_int(VALUE_IS_FIRST_FORE, &is_first_fore);
    read_int(VALUE_IS_GET_FORE, &is_get_fore);
    read_int(VALUE_HOURS, &hours);
    read_proxy_values();
    read_int(VALUE_DATA_SOURCE, &data_source);
    read_int(VALUE_IS_WARNINGS, &is_warnings);
}

int settings_write_dialog_values(void)
{
    int32_t use_proxy;
    int32_t port;
    char name[PROXY_NAME_SIZE];
    proxy_settings_snapshot(&use_proxy, name, &port);

    int ok = write_int(VALUE_IS_TRAY_TEMPERATURE, is_tray_temperature);
    ok &= write_int(VALUE_IS_AUTOSTART, is_autostart);
    ok &= write_int(VALUE_IS_HIDE_WINDOW, is_hide_window);
    ok &= write_int(VALUE_IS_FIRST_FORE, is_first_fore);
    ok &= write_int(VALUE_IS_GET_FORE, is_get_fore);
    ok &= write_int(VALUE_HOURS, hours);
    ok &= write_int(VALUE_IS_USE_PROXY, use_proxy);
    // The characters only, without the terminator; an empty host is a
    // value of zero bytes.
    ok &= reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_NAME,
                          name, (uint32_t)strlen(name));
    ok &= write_int(VALUE_PROXY_PORT, port);
    char user[PROXY_CREDENTIAL_SIZE];
    char password[PROXY_CREDENTIAL_SIZE];
    proxy_credentials_snapshot(user, sizeof user, password, sizeof password);
    ok &= reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_USER, user,
                          (uint32_t)strlen(user));
    ok &= write_password(password);
    wipe_secret(password, sizeof password);
    ok &= write_int(VALUE_DATA_SOURCE, data_source);
    ok &= write_int(VALUE_IS_WARNINGS, is_warnings);
    return ok;
}

int settings_write_never_show(void)
{
    return write_int(VALUE_IS_NEVER_SHOW, is_never_show);
}

// The ledger carries its own count, so the read needs no length: the zeros
// past the stored bytes are never looked at.
uint32_t settings_read_warnings_told(uint8_t *bytes, uint32_t size)
{
    if (bytes == NULL || size == 0)
        return 0;
    memset(bytes, 0, size);
    return reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_WARNINGS_TOLD, bytes, size) ? size : 0;
}

int settings_write_warnings_told(const uint8_t *bytes, uint32_t length)
{
    return reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_WARNINGS_TOLD, bytes, length);
}

int settings_write_selection(void)
{
    int ok = write_int(VALUE_CUR_COUNTRY, cur_country);
    ok &= write_int(VALUE_CUR_CITY, cur_city);
    return ok;
}
