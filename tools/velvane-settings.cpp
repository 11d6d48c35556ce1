// velvane-settings: the settings store from the command line.
//
//   velvane-settings dump             load the settings as the program does
//                                     at start and print name=value for each
//   velvane-settings autostart on|off write or delete the run-at-logon value
//                                     and print the operation's result
//   velvane-settings sign-in USER     store the proxy's sign-in as the
//                                     settings dialog's OK does: USER, and
//                                     the password read from the first line
//                                     of standard input (encrypted)
//
// The dump shows the proxy user but never the password: only whether one
// is stored ("set" or "not set"). The found places follow their counts one
// a line, as NAME.K="name" "region" "country" CODE LAT LON POPULATION
// (degrees with 4 decimals, "-" for a code or a population unknown).
//
// Output is UTF-8: the names of the two selections begin with the Cyrillic
// letter es, and the proxy host (code page 1251 in the registry) is printed
// in double quotes, with '"' and '\' escaped by a backslash and control
// bytes as \xNN.
#include "panel/heads_up.h"
#include "settings/found_place.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "tools/place_text.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

static void print_int(const char *name, int32_t value)
{
    printf("%s=%ld\n", name, (long)value);
}

// A text of code page 1251 as UTF-8 in double quotes, escaped.
static void print_quoted_cp1251(const char *text)
{
    WCHAR wide[PROXY_NAME_SIZE];
    char utf8[PROXY_NAME_SIZE * 4];
    int n = 0;
    if (text[0] != '\0') {
        int wide_count = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, PROXY_NAME_SIZE);
        if (wide_count > 0)
            n = WideCharToMultiByte(CP_UTF8, 0, wide, wide_count, utf8, sizeof utf8, NULL, NULL);
    }
    if (n <= 0)
        utf8[0] = '\0';
    putchar('"');
    for (const unsigned char *p = (const unsigned char *)utf8; *p; p++) {
        if (*p == '"' || *p == '\\')
            printf("\\%c", *p);
        else if (*p < 0x20 || *p == 0x7F)
            printf("\\x%02X", *p);
        else
            putchar(*p);
    }
    putchar('"');
}

static void print_host(const char *name, const char *host)
{
    printf("%s=", name);
    print_quoted_cp1251(host);
    putchar('\n');
}

static void print_found(const char *name, const FoundPlaceList *list)
{
    printf("%s=%d\n", name, (int)list->count);
    for (int32_t k = 0; k < list->count; k++) {
        const FoundPlace *place = &list->places[k];
        printf("%s.%d=", name, (int)(k + 1));
        print_quoted_cp1251(place->name);
        putchar(' ');
        print_quoted_cp1251(place->region);
        putchar(' ');
        print_quoted_cp1251(place->country);
        printf(" %s ", place->country_code[0] != 0 ? place->country_code : "-");
        print_degrees(stdout, place->latitude_e4);
        putchar(' ');
        print_degrees(stdout, place->longitude_e4);
        if (place->population >= 0)
            printf(" %ld\n", (long)place->population);
        else
            printf(" -\n");
    }
}

static int dump(void)
{
    init_settings();
    settings_read_panel_values();
    settings_read_hide_window();

    int32_t use_proxy;
    int32_t port;
    char host[PROXY_NAME_SIZE];
    proxy_settings_snapshot(&use_proxy, host, &port);

    print_int("is_autostart", is_autostart);
    print_int("is_hide_window", is_hide_window);
    print_int("is_first_fore", is_first_fore);
    print_int("is_get_fore", is_get_fore);
    print_int("hours", hours);
    print_int("is_use_proxy", use_proxy);
    print_host("proxy_name", host);
    print_int("proxy_port", port);
    char user[PROXY_CREDENTIAL_SIZE];
    char password[PROXY_CREDENTIAL_SIZE];
    proxy_credentials_snapshot(user, sizeof user, password, sizeof password);
    print_host("proxy_user", user);
    printf("proxy_password=%s\n", password[0] != '\0' ? "set" : "not set");
    wipe_secret(password, sizeof password);
    print_int("is_never_show", is_never_show);
    print_int("\xD1\x81ur_country", cur_country);
    print_int("\xD1\x81ur_city", cur_city);
    print_int("data_source", data_source);
    print_int("is_tray_temperature", is_tray_temperature);
    print_int("is_warnings", is_warnings);
    uint8_t told[HEADS_UP_TOLD_BYTES];
    HeadsUpTold ledger;
    heads_up_told_decode(told, settings_read_warnings_told(told, sizeof told), &ledger);
    printf("warnings_told=%d\n", (int)ledger.count);
    print_found("found_place", &found_place);
    print_found("found_recent", &found_recent);
    return 0;
}

// Stores the sign-in with every other setting as loaded, so that only the
// two values change.
static int sign_in(const char *user)
{
    char password[PROXY_CREDENTIAL_SIZE];
    memset(password, 0, sizeof password);
    if (fgets(password, sizeof password, stdin) == NULL)
        password[0] = '\0';
    password[strcspn(password, "\r\n")] = '\0';
    init_settings();
    settings_read_panel_values();
    settings_read_hide_window();
    proxy_credentials_set(user, password);
    wipe_secret(password, sizeof password);
    int result = settings_write_dialog_values();
    printf("sign_in=%d\n", result);
    return result ? 0 : 1;
}

static int usage(void)
{
    fprintf(stderr, "usage: velvane-settings dump\n"
                    "       velvane-settings autostart on|off\n"
                    "       velvane-settings sign-in USER < PASSWORD\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "dump") == 0)
        return dump();
    if (argc == 3 && strcmp(argv[1], "sign-in") == 0)
        return sign_in(argv[2]);
    if (argc == 3 && strcmp(argv[1], "autostart") == 0) {
        if (strcmp(argv[2], "on") == 0) {
            int result = autostart_enable();
            printf("autostart_enable=%d\n", result);
            return result ? 0 : 1;
        }
        if (strcmp(argv[2], "off") == 0) {
            int result = autostart_disable();
            printf("autostart_disable=%d\n", result);
            return result ? 0 : 1;
        }
    }
    return usage();
}
