// The settings store: the settings values under
// HKEY_CURRENT_USER\Software\Keldmark\weather (REG_BINARY each) and the
// run-at-logon value "Weather" in the per-user Run key. Every operation
// returns 1 on success and 0 on failure and shows nothing.
#ifndef VELVANE_SETTINGS_SETTINGS_STORE_H
#define VELVANE_SETTINGS_SETTINGS_STORE_H

#include <stdint.h>

// Where the settings live, relative to HKEY_CURRENT_USER.
#define SETTINGS_PARENT_PATH "Software\\Keldmark"
#define SETTINGS_KEY_NAME "weather"
#define AUTOSTART_RUN_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\"
#define AUTOSTART_VALUE_NAME "Weather"

// The stored value names, in code page 1251. The two selections begin with
// byte 0xF1, the Cyrillic small letter es, not with a Latin c.
#define VALUE_IS_AUTOSTART "is_autostart"
#define VALUE_IS_HIDE_WINDOW "is_hide_window"
#define VALUE_IS_FIRST_FORE "is_first_fore"
#define VALUE_IS_GET_FORE "is_get_fore"
#define VALUE_HOURS "hours"
#define VALUE_IS_USE_PROXY "is_use_proxy"
#define VALUE_PROXY_NAME "proxy_name"
#define VALUE_PROXY_PORT "proxy_port"
#define VALUE_PROXY_USER "proxy_user"
#define VALUE_PROXY_PASSWORD "proxy_password"
#define VALUE_IS_NEVER_SHOW "is_never_show"
#define VALUE_IS_TRAY_TEMPERATURE "is_tray_temperature"
#define VALUE_CUR_COUNTRY "\xF1ur_country"
#define VALUE_CUR_CITY "\xF1ur_city"
#define VALUE_DATA_SOURCE "data_source"
#define VALUE_IS_WARNINGS "is_warnings"
// The heads-up's ledger of what was told (panel/heads_up.h), its stored form.
#define VALUE_WARNINGS_TOLD "warnings_told"
// Places found by name (settings/found_place.h, their stored form): the
// chosen one and the recent ones.
#define VALUE_FOUND_PLACE "found_place"
#define VALUE_FOUND_RECENT "found_recent"

// Opens parent_path (write access) and creates or opens its sub-key name.
int reg_create_key(const char *parent_path, const char *name);

// Sets value_name under parent_path\key_name (which must exist) to exactly
// size bytes of data as REG_BINARY.
int reg_write_value(const char *parent_path, const char *key_name,
                    const char *value_name, const void *data, uint32_t size);

// Reads value_name under parent_path\key_name into buffer. Succeeds only for
// a REG_BINARY value of at most buffer_size bytes; then the stored bytes go
// to the start of the buffer and the rest keeps its contents. On failure the
// buffer is left entirely as it was.
int reg_read_value(const char *parent_path, const char *key_name,
                   const char *value_name, void *buffer, uint32_t buffer_size);

// reg_read_value that also gives the stored size in *stored_size (when
// not null) on success.
int reg_read_value_sized(const char *parent_path, const char *key_name, const char *value_name,
                         void *buffer, uint32_t buffer_size, uint32_t *stored_size);

// The proxy password is stored only encrypted for the current user (DPAPI
// in the Windows build; natively there is no such protection, and these
// fail, so nothing is stored). secret_protect puts the protected bytes of
// text into blob (blob_size bytes of room) and their count in *size;
// secret_unprotect puts the text back, terminated, into text. 1 on success.
enum { PROXY_PASSWORD_BLOB_SIZE = 1024 };
int secret_protect(const char *text, unsigned char *blob, uint32_t blob_size, uint32_t *size);
int secret_unprotect(const unsigned char *blob, uint32_t size, char *text, uint32_t text_size);

// Creates Software\Keldmark\weather and reads cur_country, cur_city,
// found_place and found_recent. A found value that is missing or not
// exactly a sound stored form (a chosen place more than one) counts as none.
int init_settings(void);

// Writes the Run value "Weather" with the running executable's full path,
// creating the Run key when it is missing.
int autostart_enable(void);

// Deletes the Run value "Weather"; 0 when there is none.
int autostart_disable(void);

// autostart_enable when is_autostart is set, autostart_disable otherwise.
int settings_apply_autostart(void);

// The reads at the panel's creation, in this order: is_tray_temperature,
// is_autostart,
// is_first_fore, is_get_fore, hours, is_use_proxy, proxy_name (into a
// cleared buffer), proxy_port, proxy_user, proxy_password, is_never_show,
// data_source, is_warnings. The proxy settings are stored under the proxy settings lock. A stored proxy_name of 200 bytes or
// more has no room for its terminator and is treated as not stored.
void settings_read_panel_values(void);

// The read at the host window's creation: is_hide_window.
void settings_read_hide_window(void);

// The reads at the settings dialog's opening and Cancel: is_tray_temperature,
// is_autostart,
// is_hide_window, is_first_fore, is_get_fore, hours, is_use_proxy,
// proxy_name (into a cleared buffer), proxy_port, proxy_user,
// proxy_password, data_source, is_warnings. A proxy_user or proxy_password that is not
// stored (or cannot be decrypted) leaves its variable as it is.
void settings_read_dialog_values(void);

// The writes at the settings dialog's OK, in this order: is_tray_temperature,
// is_autostart,
// is_hide_window, is_first_fore, is_get_fore, hours, is_use_proxy,
// proxy_name (its characters only), proxy_port, proxy_user (its
// characters only), proxy_password (encrypted; an empty one, or one that
// cannot be encrypted, as zero bytes), data_source, is_warnings. 1 when all were stored.
int settings_write_dialog_values(void);

// The notice dialog's check box: is_never_show.
int settings_write_never_show(void);

// A change of country or city: cur_country, then cur_city.
int settings_write_selection(void);

// A change of the found place, and of the recent ones: each in its stored form.
int settings_write_found_place(void);
int settings_write_found_recent(void);

// The stored warnings_told into bytes (at most size, the rest zero): size,
// or 0 when none is stored or it is longer than size.
uint32_t settings_read_warnings_told(uint8_t *bytes, uint32_t size);

// Stores length bytes as warnings_told.
int settings_write_warnings_told(const uint8_t *bytes, uint32_t length);

#endif
