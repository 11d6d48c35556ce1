// The settings dialog: the user settings (the proxy's sign-in among them), edited in the program-wide
// variables as the user works; OK stores them and applies start at logon
// and the refresh timer, Cancel brings back what they were.
#include "settings/dialogs.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "panel/modeless_win.h"
#include "panel/panel.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

enum {
    PORT_TEXT_SIZE = 20,   // the port field's text, terminator included
    HOURS_TEXT_SIZE = 16
};

// The eight values as they were when the dialog opened. Cancel puts them
// back before it reads the store, so a value that was never stored returns
// to what it held then instead of keeping the dialog's change.
struct DialogValues {
    int32_t autostart;
    int32_t hide_window;
    int32_t first_fore;
    int32_t get_fore;
    int32_t hours;
    int32_t use_proxy;
    char proxy_name[PROXY_NAME_SIZE];
    int32_t proxy_port;
    char proxy_user[PROXY_CREDENTIAL_SIZE];
    char proxy_password[PROXY_CREDENTIAL_SIZE];
    int32_t data_source;
    int32_t tray_temperature;
    int32_t warnings;
};

static HWND hours_spin;              // the up-down of the open dialog
static DialogValues opening_values;  // see DialogValues

static void save_opening_values(void)
{
    opening_values.autostart = is_autostart;
    opening_values.hide_window = is_hide_window;
    opening_values.first_fore = is_first_fore;
    opening_values.get_fore = is_get_fore;
    opening_values.hours = hours;
    opening_values.data_source = data_source;
    opening_values.tray_temperature = is_tray_temperature;
    opening_values.warnings = is_warnings;
    proxy_settings_snapshot(&opening_values.use_proxy, opening_values.proxy_name,
                            &opening_values.proxy_port);
    proxy_credentials_snapshot(opening_values.proxy_user, PROXY_CREDENTIAL_SIZE,
                               opening_values.proxy_password, PROXY_CREDENTIAL_SIZE);
}

static void restore_opening_values(void)
{
    is_autostart = opening_values.autostart;
    is_hide_window = opening_values.hide_window;
    is_first_fore = opening_values.first_fore;
    is_get_fore = opening_values.get_fore;
    hours = opening_values.hours;
    data_source = opening_values.data_source;
    is_tray_temperature = opening_values.tray_temperature;
    is_warnings = opening_values.warnings;
    proxy_settings_lock();
    is_use_proxy = opening_values.use_proxy;
    memcpy(proxy_name, opening_values.proxy_name, PROXY_NAME_SIZE);
    proxy_port = opening_values.proxy_port;
    proxy_settings_unlock();
    proxy_credentials_set(opening_values.proxy_user, opening_values.proxy_password);
}

// The password of the opening values is needed only until the dialog ends.
static void forget_opening_password(void)
{
    wipe_secret(opening_values.proxy_password, sizeof opening_values.proxy_password);
}

static int32_t is_checked(HWND window, int id)
{
    return IsDlgButtonChecked(window, id) == BST_CHECKED ? 1 : 0;
}

static void set_check(HWND window, int id, int32_t value)
{
    CheckDlgButton(window, id, value ? BST_CHECKED : BST_UNCHECKED);
}

static void set_number_text(HWND window, int id, int32_t value)
{
    char text[HOURS_TEXT_SIZE];
    snprintf(text, sizeof text, "%d", (int)value);
    SetDlgItemTextA(window, id, text);
}

// The standard decimal conversion of the port field: leading blanks, a sign
// and the leading digits; no digits give 0. A number beyond 32 bits stops
// at the largest one rather than wrapping.
static int32_t port_from_text(const char *text)
{
    long long value = strtoll(text, NULL, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

// A whole number from 1 to 24 and nothing else, or 0.
static int32_t hours_from_text(const char *text)
{
    int32_t value = 0;
    int digits = 0;
    for (const char *c = text; *c != '\0'; c++) {
        if (*c < '0' || *c > '9' || digits == 2)
            return 0;
        value = value * 10 + (*c - '0');
        digits++;
    }
    if (value < REFRESH_HOURS_MIN || value > REFRESH_HOURS_MAX)
        return 0;
    return value;
}

static void show_values(HWND window)
{
    set_check(window, IDC_SET_AUTOSTART, is_autostart);
    set_check(window, IDC_SET_HIDE_WINDOW, is_hide_window);
    set_check(window, IDC_SET_FIRST_FORE, is_first_fore);
    set_check(window, IDC_SET_GET_FORE, is_get_fore);
    set_check(window, IDC_SET_TRAY_TEMPERATURE, is_tray_temperature);
    set_check(window, IDC_SET_WARNINGS, is_warnings);
    // The up-down writes its position into the hours field, and the field's
    // change sets hours: a stored number outside 1 to 24 (a hand-edited
    // registry) shows, and counts, as the nearest end of the range.
    int32_t shown_hours = hours;
    if (shown_hours < REFRESH_HOURS_MIN)
        shown_hours = REFRESH_HOURS_MIN;
    if (shown_hours > REFRESH_HOURS_MAX)
        shown_hours = REFRESH_HOURS_MAX;
    SendMessageA(hours_spin, UDM_SETPOS32, 0, (LPARAM)shown_hours);
    hours = shown_hours;
    set_check(window, IDC_SET_USE_PROXY, is_use_proxy);
    int32_t port;
    char name[PROXY_NAME_SIZE];
    proxy_settings_snapshot(NULL, name, &port);
    SetDlgItemTextA(window, IDC_SET_PROXY_NAME, name);
    set_number_text(window, IDC_SET_PROXY_PORT, port);
    char user[PROXY_CREDENTIAL_SIZE];
    char password[PROXY_CREDENTIAL_SIZE];
    proxy_credentials_snapshot(user, sizeof user, password, sizeof password);
    SetDlgItemTextA(window, IDC_SET_PROXY_USER, user);
    SetDlgItemTextA(window, IDC_SET_PROXY_PASSWORD, password);
    wipe_secret(password, sizeof password);
    // A stored value that names no source shows, and counts, as the default.
    if (data_source < 0 || data_source >= IDS_DATA_SOURCE_COUNT)
        data_source = 0;
    SendDlgItemMessageA(window, IDC_SET_DATA_SOURCE, CB_SETCURSEL, (WPARAM)data_source, 0);
}

// The data sources' texts, in the order of the setting's values.
static void fill_data_sources(HWND window, HINSTANCE instance)
{
    for (int i = 0; i < IDS_DATA_SOURCE_COUNT; i++) {
        WCHAR text[100];
        if (LoadStringW(instance, IDS_DATA_SOURCE_FIRST + i, text, 100) > 0)
            SendDlgItemMessageW(window, IDC_SET_DATA_SOURCE, CB_ADDSTRING, 0, (LPARAM)text);
    }
}

static void load_label(HWND window, HINSTANCE instance, int id, UINT text_id)
{
    WCHAR text[64];
    if (LoadStringW(instance, text_id, text, 64) > 0)
        SetDlgItemTextW(window, id, text);
}

static INT_PTR on_init_dialog(HWND window)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    SendMessageA(window, WM_SETICON, ICON_BIG,
                 (LPARAM)LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP)));

    hours_spin = GetDlgItem(window, IDC_SET_HOURS_SPIN);
    SendMessageA(hours_spin, UDM_SETBUDDY, (WPARAM)GetDlgItem(window, IDC_SET_HOURS), 0);
    SendMessageA(hours_spin, UDM_SETRANGE32, REFRESH_HOURS_MIN, REFRESH_HOURS_MAX);

    // What the fields hold is exactly what the program uses: the host's
    // buffer keeps room for its terminator, the port's text fits its buffer.
    SendDlgItemMessageA(window, IDC_SET_PROXY_NAME, EM_LIMITTEXT, PROXY_NAME_SIZE - 1, 0);
    SendDlgItemMessageA(window, IDC_SET_PROXY_PORT, EM_LIMITTEXT, PORT_TEXT_SIZE - 1, 0);
    SendDlgItemMessageA(window, IDC_SET_PROXY_USER, EM_LIMITTEXT, PROXY_CREDENTIAL_SIZE - 1, 0);
    SendDlgItemMessageA(window, IDC_SET_PROXY_PASSWORD, EM_LIMITTEXT, PROXY_CREDENTIAL_SIZE - 1, 0);
    load_label(window, instance, IDC_SET_PROXY_USER_LABEL, IDS_PROXY_USER_LABEL);
    load_label(window, instance, IDC_SET_PROXY_PASSWORD_LABEL, IDS_PROXY_PASSWORD_LABEL);

    fill_data_sources(window, instance);
    save_opening_values();
    settings_read_dialog_values();
    show_values(window);
    return TRUE;
}

static void on_proxy_name_changed(HWND window)
{
    char name[PROXY_NAME_SIZE];
    memset(name, 0, sizeof name);
    GetDlgItemTextA(window, IDC_SET_PROXY_NAME, name, PROXY_NAME_SIZE);
    proxy_settings_lock();
    memcpy(proxy_name, name, PROXY_NAME_SIZE);
    proxy_settings_unlock();
}

static void on_proxy_port_changed(HWND window)
{
    char text[PORT_TEXT_SIZE];
    text[0] = '\0';
    GetDlgItemTextA(window, IDC_SET_PROXY_PORT, text, PORT_TEXT_SIZE);
    int32_t port = port_from_text(text);
    proxy_settings_lock();
    proxy_port = port;
    proxy_settings_unlock();
}

// The sign-in's fields, like the proxy's, take effect at once.
static void on_proxy_sign_in_changed(HWND window, int id)
{
    char text[PROXY_CREDENTIAL_SIZE];
    memset(text, 0, sizeof text);
    GetDlgItemTextA(window, id, text, PROXY_CREDENTIAL_SIZE);
    if (id == IDC_SET_PROXY_USER)
        proxy_credentials_set(text, NULL);
    else
        proxy_credentials_set(NULL, text);
    wipe_secret(text, sizeof text);
}

// A number from 1 to 24 typed into the field counts as if the up-down had
// been stepped there; any other text leaves hours alone.
static void on_hours_changed(HWND window)
{
    char text[HOURS_TEXT_SIZE];
    text[0] = '\0';
    GetDlgItemTextA(window, IDC_SET_HOURS, text, HOURS_TEXT_SIZE);
    int32_t value = hours_from_text(text);
    if (value != 0)
        hours = value;
}

static void on_use_proxy_clicked(HWND window)
{
    int32_t value = is_checked(window, IDC_SET_USE_PROXY);
    proxy_settings_lock();
    is_use_proxy = value;
    proxy_settings_unlock();
}

static void close_dialog(HWND window)
{
    DestroyWindow(window);
}

static void on_ok(HWND window)
{
    settings_apply_autostart();
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner != NULL)
        SendMessageA(owner, WM_COMMAND, MAKEWPARAM(CMD_AUTO_REFRESH, 0), (LPARAM)is_get_fore);
    settings_write_dialog_values();
    forget_opening_password();
    close_dialog(window);
}

static void on_cancel(HWND window)
{
    restore_opening_values();
    forget_opening_password();
    settings_read_dialog_values();
    close_dialog(window);
}

static INT_PTR on_command(HWND window, int id, int notification)
{
    switch (id) {
    case IDC_SET_AUTOSTART:
        is_autostart = is_checked(window, id);
        return TRUE;
    case IDC_SET_FIRST_FORE:
        is_first_fore = is_checked(window, id);
        return TRUE;
    case IDC_SET_GET_FORE:
        is_get_fore = is_checked(window, id);
        return TRUE;
    case IDC_SET_HIDE_WINDOW:
        is_hide_window = is_checked(window, id);
        return TRUE;
    case IDC_SET_TRAY_TEMPERATURE:
        is_tray_temperature = is_checked(window, id);
        return TRUE;
    case IDC_SET_WARNINGS:
        is_warnings = is_checked(window, id);
        return TRUE;
    case IDC_SET_USE_PROXY:
        on_use_proxy_clicked(window);
        return TRUE;
    case IDC_SET_PROXY_NAME:
        if (notification == EN_CHANGE)
            on_proxy_name_changed(window);
        return TRUE;
    case IDC_SET_PROXY_PORT:
        if (notification == EN_CHANGE)
            on_proxy_port_changed(window);
        return TRUE;
    case IDC_SET_PROXY_USER:
    case IDC_SET_PROXY_PASSWORD:
        if (notification == EN_CHANGE)
            on_proxy_sign_in_changed(window, id);
        return TRUE;
    case IDC_SET_HOURS:
        if (notification == EN_CHANGE && hours_spin != NULL)
            on_hours_changed(window);
        return TRUE;
    case IDC_SET_DATA_SOURCE:
        if (notification == CBN_SELCHANGE) {
            LRESULT chosen = SendDlgItemMessageA(window, id, CB_GETCURSEL, 0, 0);
            if (chosen != CB_ERR)
                data_source = (int32_t)chosen;
        }
        return TRUE;
    case IDOK:
        on_ok(window);
        return TRUE;
    case IDCANCEL:
        on_cancel(window);
        return TRUE;
    }
    return FALSE;
}

static INT_PTR on_vscroll(HWND window, HWND control)
{
    if (control != hours_spin || hours_spin == NULL)
        return FALSE;
    BOOL failed = FALSE;
    int32_t position = (int32_t)SendMessageA(hours_spin, UDM_GETPOS32, 0, (LPARAM)&failed);
    hours = position;
    set_number_text(window, IDC_SET_HOURS, position);
    return TRUE;
}

// However the window ends, the panel's record of it goes with it.
static INT_PTR on_destroy(HWND window)
{
    if (settings_dialog == window)
        settings_dialog = NULL;
    hours_spin = NULL;
    return FALSE;
}

INT_PTR CALLBACK settings_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        return on_init_dialog(window);
    case WM_COMMAND:
        return on_command(window, LOWORD(wparam), HIWORD(wparam));
    case WM_VSCROLL:
        return on_vscroll(window, (HWND)lparam);
    case WM_DESTROY:
        return on_destroy(window);
    }
    return FALSE;
}

HWND open_settings_dialog(HWND panel)
{
    return open_modeless_once(&settings_dialog, panel, IDD_SETTINGS, settings_dialog_proc);
}
