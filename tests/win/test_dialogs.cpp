// The settings dialog, the About box and the notice, created from their
// templates and driven through their controls: clicks on the boxes, keys
// and text in the fields, steps of the up-down; the registry of the private
// prefix and the settings variables tell what they did.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "panel/panel.h"
#include "res/resource.h"
#include "settings/dialogs.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "tests/support/settings_testing.h"
#include "tests/support/window_testing.h"

namespace {

const char SETTINGS_PATH[] = SETTINGS_PARENT_PATH "\\" SETTINGS_KEY_NAME;
const char RUN_PATH[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// "Настройки" in code page 1251.
const char SETTINGS_CAPTION[] = "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8";
// "О программе" in code page 1251.
const char ABOUT_CAPTION[] = "\xCE \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xE5";
// "Velvane - Прогноз погоды" in code page 1251.
const char NOTICE_CAPTION[] = "Velvane - \xCF\xF0\xEE\xE3\xED\xEE\xE7 \xEF\xEE\xE3\xEE\xE4\xFB";

// A first start: nothing stored, no Run value, the built-in defaults.
void forget_everything(void)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Keldmark");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Keldmark");
    autostart_disable();
    restore_defaults();
    init_settings();
}

void store_host(const char *host)
{
    REQUIRE(reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_NAME, host,
                            (uint32_t)strlen(host)) == 1);
}

// The stored bytes of a value, or an empty vector with found false.
struct Stored {
    bool found;
    std::vector<unsigned char> bytes;
};

Stored stored(const char *name)
{
    Stored result = {false, {}};
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return result;
    unsigned char data[512];
    DWORD type = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, NULL, &type, data, &size) == ERROR_SUCCESS &&
        type == REG_BINARY) {
        result.found = true;
        result.bytes.assign(data, data + size);
    }
    RegCloseKey(key);
    return result;
}

int32_t stored_int(const char *name)
{
    Stored s = stored(name);
    REQUIRE(s.found);
    REQUIRE(s.bytes.size() == 4);
    return (int32_t)((uint32_t)s.bytes[0] | ((uint32_t)s.bytes[1] << 8) |
                     ((uint32_t)s.bytes[2] << 16) | ((uint32_t)s.bytes[3] << 24));
}

bool run_value_exists(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RUN_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    bool found = RegQueryValueExA(key, AUTOSTART_VALUE_NAME, NULL, &type, NULL, NULL) ==
                 ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

// A stand-in for the panel: owns the dialogs and records the commands that
// reach it.
struct OwnerCommand {
    int id;
    LPARAM parameter;
};
std::vector<OwnerCommand> owner_commands;

LRESULT CALLBACK owner_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COMMAND) {
        owner_commands.push_back(OwnerCommand{LOWORD(wparam), lparam});
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND create_owner(void)
{
    static bool registered = false;
    if (!registered) {
        INITCOMMONCONTROLSEX controls = {sizeof controls,
                                         ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_LINK_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSA window_class;
        ZeroMemory(&window_class, sizeof window_class);
        window_class.lpfnWndProc = owner_procedure;
        window_class.hInstance = GetModuleHandleA(NULL);
        window_class.lpszClassName = "VelvaneDialogsTestOwner";
        REQUIRE(RegisterClassA(&window_class) != 0);
        registered = true;
    }
    HWND owner = CreateWindowExA(0, "VelvaneDialogsTestOwner", "owner", WS_OVERLAPPEDWINDOW,
                                 600, 20, 200, 100, NULL, NULL, GetModuleHandleA(NULL), NULL);
    REQUIRE(owner != NULL);
    owner_commands.clear();
    return owner;
}

void destroy_owner(HWND owner)
{
    DestroyWindow(owner);  // takes any dialog it owns along
    pump_for(20);
    CHECK(settings_dialog == NULL);
    CHECK(about_dialog == NULL);
}

std::string text_of(HWND dialog, int id)
{
    char text[512];
    text[0] = '\0';
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
    pump_for(10);
}

// Types into a field as the keyboard would, after selecting its text;
// a backspace first when clear is set.
void type_into(HWND dialog, int id, const char *text, bool clear)
{
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    if (clear)
        SendMessageA(field, WM_CHAR, VK_BACK, 0);
    for (const char *c = text; *c != '\0'; c++)
        SendMessageA(field, WM_CHAR, (WPARAM)(unsigned char)*c, 0);
    pump_for(10);
}

// Puts a whole text into a field at once, as pasting would.
void paste_into(HWND dialog, int id, const char *text)
{
    HWND field = GetDlgItem(dialog, id);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SendMessageA(field, EM_REPLACESEL, TRUE, (LPARAM)text);
    pump_for(10);
}

// One step of the up-down through the arrow keys in its field.
void key_step(HWND dialog, UINT key)
{
    HWND field = GetDlgItem(dialog, IDC_SET_HOURS);
    SetFocus(field);
    SendMessageA(field, WM_KEYDOWN, key, 1);
    SendMessageA(field, WM_KEYUP, key, 0xC0000001);
    pump_for(5);
}

// One step of the up-down through a click on one of its arrows.
void click_step(HWND dialog, bool up)
{
    HWND spin = GetDlgItem(dialog, IDC_SET_HOURS_SPIN);
    RECT area;
    GetClientRect(spin, &area);
    LPARAM point = MAKELPARAM(area.right / 2, up ? area.bottom / 4 : area.bottom * 3 / 4);
    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageA(spin, WM_LBUTTONUP, 0, point);
    pump_for(5);
}

struct Proxy {
    int32_t use;
    std::string name;
    int32_t port;
};

Proxy proxy_now(void)
{
    int32_t use = -1;
    int32_t port = -1;
    char name[PROXY_NAME_SIZE];
    proxy_settings_snapshot(&use, name, &port);
    return Proxy{use, name, port};
}

}  // namespace

TEST_CASE("a first start shows the built-in defaults")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK(settings_dialog == dialog);
    CHECK(IsWindowVisible(dialog));
    CHECK(GetWindow(dialog, GW_OWNER) == owner);

    CHECK_FALSE(ticked(dialog, IDC_SET_AUTOSTART));
    CHECK(ticked(dialog, IDC_SET_HIDE_WINDOW));
    CHECK(ticked(dialog, IDC_SET_FIRST_FORE));
    CHECK(ticked(dialog, IDC_SET_GET_FORE));
    CHECK(text_of(dialog, IDC_SET_HOURS) == "2");
    CHECK_FALSE(ticked(dialog, IDC_SET_USE_PROXY));
    CHECK(text_of(dialog, IDC_SET_PROXY_NAME) == "");
    CHECK(text_of(dialog, IDC_SET_PROXY_PORT) == "8080");
    CHECK(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0) != 0);
    CHECK(hours == 2);

    click(dialog, IDCANCEL);
    CHECK(settings_dialog == NULL);
    CHECK_FALSE(IsWindow(dialog));
    destroy_owner(owner);
}

TEST_CASE("the dialog shows what is stored")
{
    forget_everything();
    store_int(VALUE_IS_AUTOSTART, 1);
    store_int(VALUE_IS_HIDE_WINDOW, 0);
    store_int(VALUE_IS_FIRST_FORE, 0);
    store_int(VALUE_IS_GET_FORE, 0);
    store_int(VALUE_HOURS, 17);
    store_int(VALUE_IS_USE_PROXY, 1);
    store_host("proxy.example");
    store_int(VALUE_PROXY_PORT, 3128);
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK(ticked(dialog, IDC_SET_AUTOSTART));
    CHECK_FALSE(ticked(dialog, IDC_SET_HIDE_WINDOW));
    CHECK_FALSE(ticked(dialog, IDC_SET_FIRST_FORE));
    CHECK_FALSE(ticked(dialog, IDC_SET_GET_FORE));
    CHECK(text_of(dialog, IDC_SET_HOURS) == "17");
    CHECK(ticked(dialog, IDC_SET_USE_PROXY));
    CHECK(text_of(dialog, IDC_SET_PROXY_NAME) == "proxy.example");
    CHECK(text_of(dialog, IDC_SET_PROXY_PORT) == "3128");
    CHECK(is_autostart == 1);
    CHECK(hours == 17);
    CHECK(proxy_now().name == "proxy.example");
    CHECK(proxy_now().port == 3128);
    click(dialog, IDCANCEL);
    destroy_owner(owner);
}

TEST_CASE("the up-down stops at 1 and at 24, each step rewriting the field and hours")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);

    SUBCASE("arrow keys")
    {
        int expected = 2;
        for (int k = 0; k < 4; k++) {
            key_step(dialog, VK_DOWN);
            expected = expected > 1 ? expected - 1 : 1;
            CHECK(hours == expected);
            CHECK(text_of(dialog, IDC_SET_HOURS) == std::to_string(expected));
        }
        CHECK(hours == 1);
        for (int k = 0; k < 26; k++) {
            key_step(dialog, VK_UP);
            expected = expected < 24 ? expected + 1 : 24;
            CHECK(hours == expected);
            CHECK(text_of(dialog, IDC_SET_HOURS) == std::to_string(expected));
        }
        CHECK(hours == 24);
    }
    SUBCASE("clicks on the arrows")
    {
        int expected = 2;
        for (int k = 0; k < 25; k++) {
            click_step(dialog, true);
            expected = expected < 24 ? expected + 1 : 24;
            CHECK(hours == expected);
            CHECK(text_of(dialog, IDC_SET_HOURS) == std::to_string(expected));
        }
        for (int k = 0; k < 25; k++) {
            click_step(dialog, false);
            expected = expected > 1 ? expected - 1 : 1;
            CHECK(hours == expected);
            CHECK(text_of(dialog, IDC_SET_HOURS) == std::to_string(expected));
        }
        CHECK(hours == 1);
    }
    click(dialog, IDCANCEL);
    CHECK(hours == 2);
    destroy_owner(owner);
}

TEST_CASE("stored hours outside 1 to 24 show and count as the nearest end; Cancel brings the stored number back")
{
    struct Case {
        int32_t stored;
        int32_t shown;
    } cases[] = {{0, 1}, {-5, 1}, {25, 24}, {1000, 24}};
    for (const Case &c : cases) {
        CAPTURE(c.stored);
        forget_everything();
        store_int(VALUE_HOURS, c.stored);
        HWND owner = create_owner();
        HWND dialog = open_settings_dialog(owner);
        REQUIRE(dialog != NULL);
        CHECK(text_of(dialog, IDC_SET_HOURS) == std::to_string(c.shown));
        CHECK(hours == c.shown);
        click(dialog, IDCANCEL);
        CHECK(hours == c.stored);

        dialog = open_settings_dialog(owner);
        REQUIRE(dialog != NULL);
        click(dialog, IDOK);
        CHECK(stored_int(VALUE_HOURS) == c.shown);
        destroy_owner(owner);
    }
}

TEST_CASE("a number from 1 to 24 typed into the hours field counts, other text does not")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);

    type_into(dialog, IDC_SET_HOURS, "12", true);
    CHECK(hours == 12);
    CHECK(text_of(dialog, IDC_SET_HOURS) == "12");
    const char *ignored[] = {"30", "0", "25", "100", "5x", "-3", " 7", "007", ""};
    for (const char *text : ignored) {
        CAPTURE(text);
        paste_into(dialog, IDC_SET_HOURS, text);
        CHECK(text_of(dialog, IDC_SET_HOURS) == text);
        CHECK(hours == 12);
    }
    paste_into(dialog, IDC_SET_HOURS, "24");
    CHECK(hours == 24);
    paste_into(dialog, IDC_SET_HOURS, "1");
    CHECK(hours == 1);
    // Typed one key at a time, each text on the way counts when it can.
    type_into(dialog, IDC_SET_HOURS, "19", true);
    CHECK(hours == 19);
    // The next step starts from the number in the field.
    type_into(dialog, IDC_SET_HOURS, "7", true);
    key_step(dialog, VK_UP);
    CHECK(hours == 8);
    CHECK(text_of(dialog, IDC_SET_HOURS) == "8");

    click(dialog, IDOK);
    CHECK(stored_int(VALUE_HOURS) == 8);
    destroy_owner(owner);
}

TEST_CASE("the check boxes change their settings at once")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    click(dialog, IDC_SET_AUTOSTART);
    CHECK(is_autostart == 1);
    click(dialog, IDC_SET_HIDE_WINDOW);
    CHECK(is_hide_window == 0);
    click(dialog, IDC_SET_FIRST_FORE);
    CHECK(is_first_fore == 0);
    click(dialog, IDC_SET_GET_FORE);
    CHECK(is_get_fore == 0);
    click(dialog, IDC_SET_AUTOSTART);
    CHECK(is_autostart == 0);
    click(dialog, IDC_SET_HIDE_WINDOW);
    CHECK(is_hide_window == 1);
    CHECK(IsDlgButtonChecked(dialog, IDC_SET_TRAY_TEMPERATURE) == BST_CHECKED);
    click(dialog, IDC_SET_TRAY_TEMPERATURE);
    CHECK(is_tray_temperature == 0);
    CHECK(IsDlgButtonChecked(dialog, IDC_SET_WARNINGS) == BST_CHECKED);
    click(dialog, IDC_SET_WARNINGS);
    CHECK(is_warnings == 0);
    // Nothing reaches the store or the owner before OK.
    CHECK_FALSE(stored(VALUE_IS_AUTOSTART).found);
    CHECK(owner_commands.empty());
    click(dialog, IDCANCEL);
    CHECK(is_first_fore == 1);
    CHECK(is_get_fore == 1);
    CHECK(is_tray_temperature == 1);
    CHECK(is_warnings == 1);
    destroy_owner(owner);
}

TEST_CASE("a proxy ticked and a host typed are in the proxy settings before OK; Cancel undoes them")
{
    forget_everything();
    HWND owner = create_owner();

    SUBCASE("nothing stored before")
    {
    }
    SUBCASE("the proxy stored as off")
    {
        store_int(VALUE_IS_USE_PROXY, 0);
    }

    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    click(dialog, IDC_SET_USE_PROXY);
    type_into(dialog, IDC_SET_PROXY_NAME, "127.0.0.1", false);
    type_into(dialog, IDC_SET_PROXY_PORT, "3128", true);
    Proxy now = proxy_now();
    CHECK(now.use == 1);
    CHECK(now.name == "127.0.0.1");
    CHECK(now.port == 3128);
    CHECK(text_of(dialog, IDC_SET_PROXY_NAME) == "127.0.0.1");

    click(dialog, IDCANCEL);
    now = proxy_now();
    CHECK(now.use == 0);
    CHECK(now.name == "");
    CHECK(now.port == 8080);
    CHECK(proxy_name[0] == '\0');
    CHECK_FALSE(stored(VALUE_PROXY_NAME).found);
    destroy_owner(owner);
}

TEST_CASE("after Cancel the host is the stored one exactly, also after a longer text")
{
    forget_everything();
    store_host("proxy.example");
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    type_into(dialog, IDC_SET_PROXY_NAME, "a.much.longer.proxy.host.example", true);
    CHECK(strcmp(proxy_name, "a.much.longer.proxy.host.example") == 0);
    click(dialog, IDCANCEL);

    CHECK(strcmp(proxy_name, "proxy.example") == 0);
    // Nothing of the longer text is left behind the terminator.
    bool clean = true;
    for (size_t k = strlen("proxy.example"); k < PROXY_NAME_SIZE; k++)
        clean = clean && proxy_name[k] == '\0';
    CHECK(clean);
    destroy_owner(owner);
}

TEST_CASE("the host field holds no more than the host's buffer; the port field no more than its own")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    std::string long_host(250, 'h');
    type_into(dialog, IDC_SET_PROXY_NAME, long_host.c_str(), true);
    CHECK(text_of(dialog, IDC_SET_PROXY_NAME) == std::string(PROXY_NAME_SIZE - 1, 'h'));
    CHECK(strlen(proxy_name) == PROXY_NAME_SIZE - 1);
    CHECK(proxy_now().name == std::string(PROXY_NAME_SIZE - 1, 'h'));

    type_into(dialog, IDC_SET_PROXY_PORT, "1234567890123456789012345", true);
    CHECK(text_of(dialog, IDC_SET_PROXY_PORT) == "1234567890123456789");
    // Beyond 32 bits the port stops at the largest number, it does not wrap.
    CHECK(proxy_port == INT32_MAX);
    click(dialog, IDOK);
    Stored host = stored(VALUE_PROXY_NAME);
    CHECK(host.found);
    CHECK(host.bytes.size() == PROXY_NAME_SIZE - 1);
    destroy_owner(owner);
}

TEST_CASE("an emptied port is 0 at once and OK stores 0")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK(proxy_port == 8080);
    type_into(dialog, IDC_SET_PROXY_PORT, "", true);
    CHECK(text_of(dialog, IDC_SET_PROXY_PORT) == "");
    CHECK(proxy_port == 0);
    CHECK(proxy_now().port == 0);
    click(dialog, IDOK);
    CHECK(settings_dialog == NULL);
    CHECK(stored_int(VALUE_PROXY_PORT) == 0);
    destroy_owner(owner);
}

TEST_CASE("OK stores the eight values")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    click(dialog, IDC_SET_HIDE_WINDOW);
    click(dialog, IDC_SET_FIRST_FORE);
    key_step(dialog, VK_UP);
    key_step(dialog, VK_UP);
    click(dialog, IDC_SET_USE_PROXY);
    type_into(dialog, IDC_SET_PROXY_NAME, "proxy.example", true);
    type_into(dialog, IDC_SET_PROXY_PORT, "3128", true);
    click(dialog, IDC_SET_TRAY_TEMPERATURE);
    click(dialog, IDC_SET_WARNINGS);
    click(dialog, IDOK);

    CHECK(stored_int(VALUE_IS_AUTOSTART) == 0);
    CHECK(stored_int(VALUE_IS_TRAY_TEMPERATURE) == 0);
    CHECK(stored_int(VALUE_IS_WARNINGS) == 0);
    CHECK(stored_int(VALUE_IS_HIDE_WINDOW) == 0);
    CHECK(stored_int(VALUE_IS_FIRST_FORE) == 0);
    CHECK(stored_int(VALUE_IS_GET_FORE) == 1);
    CHECK(stored_int(VALUE_HOURS) == 4);
    CHECK(stored_int(VALUE_IS_USE_PROXY) == 1);
    Stored host = stored(VALUE_PROXY_NAME);
    REQUIRE(host.found);
    CHECK(std::string(host.bytes.begin(), host.bytes.end()) == "proxy.example");
    CHECK(stored_int(VALUE_PROXY_PORT) == 3128);
    CHECK_FALSE(stored(VALUE_IS_NEVER_SHOW).found);

    // A new dialog reads them back.
    restore_defaults();
    dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK_FALSE(ticked(dialog, IDC_SET_HIDE_WINDOW));
    CHECK_FALSE(ticked(dialog, IDC_SET_TRAY_TEMPERATURE));
    CHECK_FALSE(ticked(dialog, IDC_SET_WARNINGS));
    CHECK(text_of(dialog, IDC_SET_HOURS) == "4");
    CHECK(text_of(dialog, IDC_SET_PROXY_NAME) == "proxy.example");
    click(dialog, IDCANCEL);
    destroy_owner(owner);
}

TEST_CASE("the data source: three choices, the stored one shown, a key press counts, OK stores, Cancel undoes")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    HWND list = GetDlgItem(dialog, IDC_SET_DATA_SOURCE);
    REQUIRE(list != NULL);
    const wchar_t *const TEXTS[] = {L"Сайт погоды, при сбое открытые данные", L"Только сайт погоды",
                                     L"Только открытые данные"};
    REQUIRE(SendMessageW(list, CB_GETCOUNT, 0, 0) == 3);
    for (int i = 0; i < 3; i++) {
        WCHAR text[100];
        SendMessageW(list, CB_GETLBTEXT, (WPARAM)i, (LPARAM)text);
        CHECK(std::wstring(text) == TEXTS[i]);
    }
    // Nothing stored: the default, the site with the open data after it.
    CHECK(SendMessageW(list, CB_GETCURSEL, 0, 0) == 0);

    // The Down key twice on the closed list, as a user picks.
    SetFocus(list);
    for (int i = 0; i < 2; i++) {
        SendMessageA(list, WM_KEYDOWN, VK_DOWN, 1);
        SendMessageA(list, WM_KEYUP, VK_DOWN, 0xC0000001);
        pump_for(10);
    }
    CHECK(SendMessageW(list, CB_GETCURSEL, 0, 0) == 2);
    CHECK(data_source == 2);
    click(dialog, IDOK);
    CHECK(stored_int(VALUE_DATA_SOURCE) == 2);

    // Shown again; a change cancelled goes back to the stored value.
    dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    list = GetDlgItem(dialog, IDC_SET_DATA_SOURCE);
    CHECK(SendMessageW(list, CB_GETCURSEL, 0, 0) == 2);
    SetFocus(list);
    SendMessageA(list, WM_KEYDOWN, VK_UP, 1);
    pump_for(10);
    CHECK(data_source == 1);
    click(dialog, IDCANCEL);
    CHECK(data_source == 2);

    // A stored number that names no source shows, and counts, as the default.
    store_int(VALUE_DATA_SOURCE, 7);
    dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK(SendMessageW(GetDlgItem(dialog, IDC_SET_DATA_SOURCE), CB_GETCURSEL, 0, 0) == 0);
    CHECK(data_source == 0);
    click(dialog, IDCANCEL);
    destroy_owner(owner);
}

TEST_CASE("OK with the refresh cleared stops the refresh, ticked again restarts it")
{
    forget_everything();
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    click(dialog, IDC_SET_GET_FORE);
    CHECK(owner_commands.empty());
    click(dialog, IDOK);
    REQUIRE(owner_commands.size() == 1);
    CHECK(owner_commands[0].id == CMD_AUTO_REFRESH);
    CHECK(owner_commands[0].parameter == 0);
    CHECK(stored_int(VALUE_IS_GET_FORE) == 0);

    owner_commands.clear();
    dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK_FALSE(ticked(dialog, IDC_SET_GET_FORE));
    click(dialog, IDC_SET_GET_FORE);
    key_step(dialog, VK_UP);
    click(dialog, IDOK);
    REQUIRE(owner_commands.size() == 1);
    CHECK(owner_commands[0].id == CMD_AUTO_REFRESH);
    CHECK(owner_commands[0].parameter != 0);
    // The period the owner will arm comes from the shown hours.
    CHECK(hours == 3);
    CHECK(refresh_period_ms(hours) == 3u * 3600000u);
    CHECK(stored_int(VALUE_IS_GET_FORE) == 1);

    // Cancel sends nothing.
    owner_commands.clear();
    dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    click(dialog, IDC_SET_GET_FORE);
    click(dialog, IDCANCEL);
    CHECK(owner_commands.empty());
    CHECK(is_get_fore == 1);
    destroy_owner(owner);
}

TEST_CASE("OK with start at logon ticked creates the Run value, cleared deletes it")
{
    forget_everything();
    REQUIRE_FALSE(run_value_exists());
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    click(dialog, IDC_SET_AUTOSTART);
    CHECK_FALSE(run_value_exists());
    click(dialog, IDOK);
    CHECK(run_value_exists());
    CHECK(stored_int(VALUE_IS_AUTOSTART) == 1);

    dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK(ticked(dialog, IDC_SET_AUTOSTART));
    click(dialog, IDC_SET_AUTOSTART);
    click(dialog, IDCANCEL);
    CHECK(run_value_exists());
    CHECK(is_autostart == 1);

    dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    click(dialog, IDC_SET_AUTOSTART);
    click(dialog, IDOK);
    CHECK_FALSE(run_value_exists());
    CHECK(stored_int(VALUE_IS_AUTOSTART) == 0);
    destroy_owner(owner);
}

TEST_CASE("Cancel brings back a setting that was never stored to its value at the opening")
{
    forget_everything();
    hours = 5;
    is_hide_window = 0;
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    CHECK(text_of(dialog, IDC_SET_HOURS) == "5");
    key_step(dialog, VK_UP);
    click(dialog, IDC_SET_HIDE_WINDOW);
    CHECK(hours == 6);
    CHECK(is_hide_window == 1);
    click(dialog, IDCANCEL);
    CHECK(hours == 5);
    CHECK(is_hide_window == 0);
    destroy_owner(owner);
}

TEST_CASE("closing the settings from the caption cancels")
{
    forget_everything();
    store_int(VALUE_HOURS, 6);
    HWND owner = create_owner();
    HWND dialog = open_settings_dialog(owner);
    REQUIRE(dialog != NULL);
    key_step(dialog, VK_UP);
    CHECK(hours == 7);
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    pump_for(10);
    CHECK_FALSE(IsWindow(dialog));
    CHECK(settings_dialog == NULL);
    CHECK(hours == 6);
    CHECK(stored_int(VALUE_HOURS) == 6);
    destroy_owner(owner);
}

TEST_CASE("a second settings or About command brings the open dialog to the front; after closing, a new one")
{
    forget_everything();
    HWND owner = create_owner();
    ShowWindow(owner, SW_SHOW);
    typedef HWND (*Opener)(HWND);
    struct Case {
        const char *name;
        Opener open;
        const char *caption;
    } cases[2] = {{"settings", open_settings_dialog, SETTINGS_CAPTION},
                  {"about", open_about_dialog, ABOUT_CAPTION}};
    for (const Case &c : cases) {
        CAPTURE(c.name);
        HWND first = c.open(owner);
        REQUIRE(first != NULL);
        CHECK(count_windows_titled(c.caption) == 1);
        CHECK(GetForegroundWindow() == first);

        HWND cover = cover_window();
        REQUIRE(GetForegroundWindow() == cover);
        HWND second = c.open(owner);
        CHECK(second == first);
        CHECK(GetForegroundWindow() == first);
        CHECK(count_windows_titled(c.caption) == 1);
        DestroyWindow(cover);

        click(first, IDOK);
        CHECK_FALSE(IsWindow(first));
        CHECK(count_windows_titled(c.caption) == 0);
        HWND third = c.open(owner);
        REQUIRE(third != NULL);
        CHECK(IsWindowVisible(third));
        CHECK(count_windows_titled(c.caption) == 1);
        SendMessageA(third, WM_COMMAND, IDCANCEL, 0);
        pump_for(10);
        CHECK_FALSE(IsWindow(third));
    }
    CHECK(settings_dialog == NULL);
    CHECK(about_dialog == NULL);
    destroy_owner(owner);
}

namespace {

struct ShellCall {
    HWND owner;
    std::string verb;
    std::string file;
    bool parameters_empty;
    bool no_directory;
    INT show;
};
std::vector<ShellCall> shell_calls;

HINSTANCE WINAPI record_shell_call(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                   LPCSTR directory, INT show)
{
    shell_calls.push_back(ShellCall{owner, verb != NULL ? verb : "(null)",
                                    file != NULL ? file : "(null)",
                                    parameters == NULL || parameters[0] == '\0',
                                    directory == NULL, show});
    return (HINSTANCE)(INT_PTR)42;
}

std::wstring wide_text(HWND window)
{
    WCHAR text[256];
    text[0] = 0;
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring wide_of_utf8(const char *text)
{
    WCHAR wide[256];
    wide[0] = 0;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 256);
    return wide;
}

void check_one_open_call(void)
{
    REQUIRE(shell_calls.size() == 1);
    const ShellCall &call = shell_calls[0];
    CHECK(call.owner == NULL);
    CHECK(call.verb == "open");
    CHECK(call.file == VELVANE_HOME_PAGE);
    CHECK(call.parameters_empty);
    CHECK(call.no_directory);
    CHECK(call.show == SW_SHOWNORMAL);
}

}  // namespace

TEST_CASE("the About box shows the build's maker's line and home page")
{
    HWND owner = create_owner();
    HWND about = open_about_dialog(owner);
    REQUIRE(about != NULL);
    CHECK(about_dialog == about);
    CHECK(strcmp(about_home_page(), VELVANE_HOME_PAGE) == 0);
    CHECK(strcmp(about_maker_line(), VELVANE_MAKER_LINE) == 0);
    CHECK(strlen(VELVANE_HOME_PAGE) > 0);

    HWND icon = GetDlgItem(about, 2);
    REQUIRE(icon != NULL);
    HWND version_line = GetWindow(icon, GW_HWNDNEXT);
    HWND maker_line = GetWindow(version_line, GW_HWNDNEXT);
    CHECK(wide_text(version_line) == L"Weather Version 1.1");
    CHECK(wide_text(maker_line) == wide_of_utf8(VELVANE_MAKER_LINE));
    HWND link = GetDlgItem(about, IDC_ABOUT_LINK);
    REQUIRE(link != NULL);
    char class_name[64];
    GetClassNameA(link, class_name, sizeof class_name);
    CHECK(strcmp(class_name, "SysLink") == 0);
    LITEM item;
    ZeroMemory(&item, sizeof item);
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = 0;
    // Only the first link exists, and the page is what it shows.
    CHECK(SendMessageW(link, LM_GETITEM, 0, (LPARAM)&item) != 0);
    item.iLink = 1;
    CHECK(SendMessageW(link, LM_GETITEM, 0, (LPARAM)&item) == 0);
    click(about, IDOK);
    CHECK(about_dialog == NULL);
    destroy_owner(owner);
}

TEST_CASE("the About link, clicked or entered, asks the shell to open the home page and the box stays open")
{
    shell_calls.clear();
    ShellOpenFunction saved = shell_open;
    shell_open = record_shell_call;
    HWND owner = create_owner();
    HWND about = open_about_dialog(owner);
    REQUIRE(about != NULL);
    HWND link = GetDlgItem(about, IDC_ABOUT_LINK);
    REQUIRE(link != NULL);

    SUBCASE("a click on the link")
    {
        LPARAM point = MAKELPARAM(6, 5);
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageA(link, WM_LBUTTONUP, 0, point);
        pump_for(20);
        check_one_open_call();
    }
    SUBCASE("Enter while the link has the focus")
    {
        SetFocus(link);
        pump_for(10);
        REQUIRE(GetFocus() == link);
        PostMessageA(link, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageA(link, WM_KEYUP, VK_RETURN, 0xC0000001);
        pump_for(30);
        check_one_open_call();
    }
    SUBCASE("a click beside the link opens nothing")
    {
        RECT area;
        GetClientRect(link, &area);
        LPARAM point = MAKELPARAM(area.right - 2, area.bottom - 2);
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageA(link, WM_LBUTTONUP, 0, point);
        pump_for(20);
        CHECK(shell_calls.empty());
    }
    CHECK(IsWindow(about));
    CHECK(IsWindowVisible(about));
    CHECK(about_dialog == about);
    click(about, IDOK);
    CHECK_FALSE(IsWindow(about));
    CHECK(about_dialog == NULL);
    shell_open = saved;
    destroy_owner(owner);
}

TEST_CASE("the About box credits the weather data, and its two links open the source and the licence")
{
    shell_calls.clear();
    ShellOpenFunction saved = shell_open;
    shell_open = record_shell_call;
    HWND owner = create_owner();
    HWND about = open_about_dialog(owner);
    REQUIRE(about != NULL);
    HWND credit = GetDlgItem(about, IDC_ABOUT_DATA_LINK);
    REQUIRE(credit != NULL);
    const char *const ADDRESSES[] = {"https://open-meteo.com/", "https://creativecommons.org/licenses/by/4.0/"};
    for (int i = 0; i < 2; i++) {
        LITEM item;
        ZeroMemory(&item, sizeof item);
        item.mask = LIF_ITEMINDEX | LIF_URL;
        item.iLink = i;
        REQUIRE(SendMessageW(credit, LM_GETITEM, 0, (LPARAM)&item) != 0);
        CHECK(std::wstring(item.szUrl) == wide_of_utf8(ADDRESSES[i]));
        // The link control's notification, as a click on that link sends it.
        NMLINK link;
        ZeroMemory(&link, sizeof link);
        link.hdr.hwndFrom = credit;
        link.hdr.idFrom = IDC_ABOUT_DATA_LINK;
        link.hdr.code = NM_CLICK;
        link.item.iLink = i;
        SendMessageW(about, WM_NOTIFY, IDC_ABOUT_DATA_LINK, (LPARAM)&link);
        REQUIRE(shell_calls.size() == (size_t)i + 1);
        CHECK(shell_calls[i].verb == "open");
        CHECK(shell_calls[i].file == ADDRESSES[i]);
    }
    // What it reads: "Данные погоды: Open-Meteo.com (CC BY 4.0)".
    std::wstring markup = wide_text(credit);
    std::wstring shown;
    for (size_t i = 0; i < markup.size(); i++) {
        if (markup[i] == L'<')
            i = markup.find(L'>', i);
        else
            shown += markup[i];
    }
    CHECK(shown == L"Данные погоды: Open-Meteo.com (CC BY 4.0)");
    click(about, IDOK);
    shell_open = saved;
    destroy_owner(owner);
}

TEST_CASE("the About box closes from its caption")
{
    HWND owner = create_owner();
    HWND about = open_about_dialog(owner);
    REQUIRE(about != NULL);
    SendMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    pump_for(10);
    CHECK_FALSE(IsWindow(about));
    CHECK(about_dialog == NULL);
    destroy_owner(owner);
}

// Not part of the normal run (doctest's --no-skip runs it): the three
// dialogs side by side on the desktop for the pictures under docs/, held
// for VELVANE_DIALOGS_HOLD_MS milliseconds. Each window's rectangle goes
// to standard output for cropping.
TEST_CASE("pictures: the three dialogs on the desktop" * doctest::skip())
{
    forget_everything();
    store_host("proxy.example");
    store_int(VALUE_IS_USE_PROXY, 1);
    store_int(VALUE_PROXY_PORT, 3128);
    HWND owner = create_owner();
    HWND settings = open_settings_dialog(owner);
    HWND about = open_about_dialog(owner);
    HWND notice = open_notice_dialog(owner);
    REQUIRE(settings != NULL);
    REQUIRE(about != NULL);
    REQUIRE(notice != NULL);
    SetWindowPos(notice, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
    SetWindowPos(settings, HWND_TOP, 520, 20, 0, 0, SWP_NOSIZE);
    SetWindowPos(about, HWND_TOP, 520, 320, 0, 0, SWP_NOSIZE);
    SetFocus(GetDlgItem(settings, IDOK));
    HWND windows[3] = {settings, about, notice};
    const char *names[3] = {"settings", "about", "notice"};
    for (int k = 0; k < 3; k++) {
        CHECK(IsWindowVisible(windows[k]));
        RECT r;
        GetWindowRect(windows[k], &r);
        printf("%s %ld %ld %ld %ld\n", names[k], r.left, r.top, r.right - r.left,
               r.bottom - r.top);
    }
    fflush(stdout);
    char hold[32];
    DWORD ms = 2000;
    if (GetEnvironmentVariableA("VELVANE_DIALOGS_HOLD_MS", hold, sizeof hold) > 0)
        ms = (DWORD)atol(hold);
    pump_for(ms);
    click(settings, IDCANCEL);
    SendMessageA(about, WM_COMMAND, IDOK, 0);
    SendMessageA(notice, WM_COMMAND, IDOK, 0);
    pump_for(10);
    CHECK(notice_dialog() == NULL);
    destroy_owner(owner);
}
