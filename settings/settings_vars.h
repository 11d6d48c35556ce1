// The program-wide settings, each holding its built-in default until a
// stored value is read. Their registry value names are the variable names
// (cur_country and cur_city are stored under names that begin with the
// Cyrillic letter es, byte 0xF1: see settings_store).
#ifndef VELVANE_SETTINGS_SETTINGS_VARS_H
#define VELVANE_SETTINGS_SETTINGS_VARS_H

#include <stddef.h>
#include <stdint.h>

#include "settings/found_place.h"

enum { PROXY_NAME_SIZE = 200 };

extern int32_t is_autostart;    // 0
extern int32_t is_hide_window;  // 1
extern int32_t is_first_fore;   // 1
extern int32_t is_get_fore;     // 1
extern int32_t hours;           // 2
extern int32_t is_use_proxy;    // 0
extern char proxy_name[PROXY_NAME_SIZE];  // empty
extern int32_t proxy_port;      // 8080
extern int32_t is_never_show;   // 0
extern int32_t is_tray_temperature;  // 1: the notification icon shows the temperature
extern int32_t is_warnings;     // 1: a notice from the icon before severe weather
extern int32_t cur_country;     // 0
extern int32_t cur_city;        // 0
// A place found by name that is the chosen place (count 1; the lists'
// positions above then stay the last catalogue choice), or none (count 0);
// and the places found and chosen lately, newest first.
extern FoundPlaceList found_place;   // none
extern FoundPlaceList found_recent;  // none
// Where the weather comes from (fetch/open_data_parser.h): 0 the service's
// pages and, for what they do not give, the open data; 1 the pages only; 2
// the open data only. Read by start_fetch on the main thread.
extern int32_t data_source;     // 0

// One lock guards is_use_proxy, proxy_name and proxy_port: every writer of
// them holds it, and the HTTP client reads all three under it at once.
void proxy_settings_lock(void);
void proxy_settings_unlock(void);

// A consistent copy of the three proxy settings, taken under the lock.
// name receives at most PROXY_NAME_SIZE bytes, always terminated.
void proxy_settings_snapshot(int32_t *use_proxy, char *name, int32_t *port);

// The proxy's sign-in: proxy_user (stored as text, like proxy_name) and
// proxy_password (stored encrypted for the user, never as text). Both are
// guarded by the proxy settings lock too.
enum { PROXY_CREDENTIAL_SIZE = 256 };
extern char proxy_user[PROXY_CREDENTIAL_SIZE];      // empty
extern char proxy_password[PROXY_CREDENTIAL_SIZE];  // empty

// The proxy's sign-in name and password in plain text, for the request
// being made: empty when none is set. Each receives at most size bytes,
// always terminated. The caller wipes the password when done.
void proxy_credentials_snapshot(char *user, int32_t user_size, char *password, int32_t password_size);

// Sets both under the lock (null leaves one as it is); texts longer than
// PROXY_CREDENTIAL_SIZE - 1 bytes are cut there.
void proxy_credentials_set(const char *user, const char *password);

// Overwrites size bytes in a way the compiler keeps: for copies of secrets.
void wipe_secret(void *bytes, size_t size);

// The refresh timer's period in milliseconds for a number of hours, the
// hours bounded to the 1 to 24 that the settings dialog offers.
enum { REFRESH_HOURS_MIN = 1, REFRESH_HOURS_MAX = 24 };
uint32_t refresh_period_ms(int32_t stored_hours);

#endif
