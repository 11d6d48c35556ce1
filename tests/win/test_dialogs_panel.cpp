// The dialogs as the real panel opens them: the notice at each start until
// it is declined, the panel's About and settings commands, and the settings
// dialog's OK acting on the panel's refresh timer.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "fetch/fetch_job.h"
#include "panel/panel.h"
#include "res/resource.h"
#include "settings/dialogs.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "tests/support/settings_testing.h"
#include "tests/support/window_testing.h"

namespace {

const char SETTINGS_PATH[] = SETTINGS_PARENT_PATH "\\" SETTINGS_KEY_NAME;
// "Velvane - Прогноз погоды" in code page 1251.
const char NOTICE_CAPTION[] = "Velvane - \xCF\xF0\xEE\xE3\xED\xEE\xE7 \xEF\xEE\xE3\xEE\xE4\xFB";
// "Настройки" in code page 1251.
const char SETTINGS_CAPTION[] = "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8";
// "О программе" in code page 1251.
const char ABOUT_CAPTION[] = "\xCE \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xE5";

// A first start, except that the panel does not fetch: no server here.
void forget_everything(void)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Keldmark");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Keldmark");
    autostart_disable();
    restore_defaults();
    init_settings();
    store_int(VALUE_IS_FIRST_FORE, 0);
}

bool never_show_stored(int32_t *value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    unsigned char data[16];
    DWORD type = 0;
    DWORD size = sizeof data;
    bool found = RegQueryValueExA(key, VALUE_IS_NEVER_SHOW, NULL, &type, data, &size) ==
                     ERROR_SUCCESS &&
                 type == REG_BINARY && size == 4;
    RegCloseKey(key);
    if (found)
        *value = (int32_t)((uint32_t)data[0] | ((uint32_t)data[1] << 8) |
                           ((uint32_t)data[2] << 16) | ((uint32_t)data[3] << 24));
    return found;
}

// One start of the program as far as the panel goes: the dialogs' hook,
// then the panel from its template, hidden as the first start leaves it.
HWND start_panel(void)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES | ICC_STANDARD_CLASSES |
                                                          ICC_UPDOWN_CLASS | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    install_dialog_procedures();
    HWND panel = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PANEL), NULL,
                                    panel_dialog_proc, 0);
    REQUIRE(panel != NULL);
    pump_for(100);
    return panel;
}

// The end of that run; the next start begins from the built-in values.
void end_run(HWND panel)
{
    wait_for_fetch();
    DestroyWindow(panel);
    panel_window = NULL;
    pump_for(20);
    CHECK(notice_dialog() == NULL);
    restore_defaults();
}

}  // namespace

TEST_CASE("the notice comes up on a first start, also with the panel hidden")
{
    forget_everything();
    HWND panel = start_panel();
    CHECK_FALSE(IsWindowVisible(panel));
    HWND notice = notice_dialog();
    REQUIRE(notice != NULL);
    CHECK(IsWindowVisible(notice));
    CHECK(GetWindow(notice, GW_OWNER) == panel);
    CHECK(count_windows_titled(NOTICE_CAPTION) == 1);
    CHECK(IsDlgButtonChecked(notice, IDC_NEVER_SHOW) == BST_UNCHECKED);
    // The picture is there, at the size it was drawn.
    HWND picture = GetWindow(GetDlgItem(notice, IDC_NEVER_SHOW), GW_HWNDNEXT);
    REQUIRE(picture != NULL);
    HBITMAP bitmap = (HBITMAP)SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0);
    REQUIRE(bitmap != NULL);
    BITMAP info;
    REQUIRE(GetObjectA(bitmap, sizeof info, &info) == sizeof info);
    CHECK(info.bmWidth == 316);
    CHECK(info.bmHeight == 186);

    // Closing it alone stores nothing, and the next start shows it again.
    SendDlgItemMessageA(notice, IDOK, BM_CLICK, 0, 0);
    pump_for(10);
    CHECK_FALSE(IsWindow(notice));
    CHECK(notice_dialog() == NULL);
    int32_t value = -1;
    CHECK_FALSE(never_show_stored(&value));
    end_run(panel);

    panel = start_panel();
    CHECK(notice_dialog() != NULL);
    CHECK(count_windows_titled(NOTICE_CAPTION) == 1);
    end_run(panel);
}

TEST_CASE("the notice ticked and closed stays away at the next starts")
{
    forget_everything();
    HWND panel = start_panel();
    HWND notice = notice_dialog();
    REQUIRE(notice != NULL);
    SendDlgItemMessageA(notice, IDC_NEVER_SHOW, BM_CLICK, 0, 0);
    pump_for(10);
    int32_t value = -1;
    // Stored at once, before the notice is closed.
    CHECK(never_show_stored(&value));
    CHECK(value == 1);
    CHECK(is_never_show == 1);

    SUBCASE("closed with its button")
    {
        SendDlgItemMessageA(notice, IDOK, BM_CLICK, 0, 0);
    }
    SUBCASE("closed from its caption")
    {
        SendMessageA(notice, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    pump_for(10);
    CHECK_FALSE(IsWindow(notice));
    CHECK(never_show_stored(&value));
    CHECK(value == 1);
    end_run(panel);

    for (int run = 0; run < 2; run++) {
        panel = start_panel();
        CHECK(is_never_show == 1);
        CHECK(notice_dialog() == NULL);
        CHECK(count_windows_titled(NOTICE_CAPTION) == 0);
        end_run(panel);
    }
}

TEST_CASE("the notice ticked then unticked stores 0 and comes up again")
{
    forget_everything();
    HWND panel = start_panel();
    HWND notice = notice_dialog();
    REQUIRE(notice != NULL);
    SendDlgItemMessageA(notice, IDC_NEVER_SHOW, BM_CLICK, 0, 0);
    pump_for(10);
    SendDlgItemMessageA(notice, IDC_NEVER_SHOW, BM_CLICK, 0, 0);
    pump_for(10);
    int32_t value = -1;
    CHECK(never_show_stored(&value));
    CHECK(value == 0);
    CHECK(is_never_show == 0);
    SendDlgItemMessageA(notice, IDOK, BM_CLICK, 0, 0);
    pump_for(10);
    end_run(panel);

    panel = start_panel();
    CHECK(notice_dialog() != NULL);
    CHECK(count_windows_titled(NOTICE_CAPTION) == 1);
    end_run(panel);
}

TEST_CASE("the panel's About and settings commands open one dialog each and bring it to the front")
{
    forget_everything();
    store_int(VALUE_IS_NEVER_SHOW, 1);
    HWND panel = start_panel();
    struct Case {
        const char *name;
        int command;
        HWND *record;
        const char *caption;
    } cases[2] = {{"settings", IDC_SETTINGS, &settings_dialog, SETTINGS_CAPTION},
                  {"about", IDC_ABOUT, &about_dialog, ABOUT_CAPTION}};
    for (const Case &c : cases) {
        CAPTURE(c.name);
        SendMessageA(panel, WM_COMMAND, (WPARAM)c.command, 0);
        pump_for(20);
        HWND first = *c.record;
        REQUIRE(first != NULL);
        CHECK(IsWindowVisible(first));
        CHECK(GetWindow(first, GW_OWNER) == panel);
        CHECK(GetForegroundWindow() == first);

        HWND cover = cover_window();
        REQUIRE(GetForegroundWindow() == cover);
        SendMessageA(panel, WM_COMMAND, (WPARAM)c.command, 0);
        pump_for(20);
        CHECK(*c.record == first);
        CHECK(GetForegroundWindow() == first);
        CHECK(count_windows_titled(c.caption) == 1);
        DestroyWindow(cover);

        SendDlgItemMessageA(first, IDOK, BM_CLICK, 0, 0);
        pump_for(10);
        CHECK(*c.record == NULL);
        CHECK(count_windows_titled(c.caption) == 0);
        SendMessageA(panel, WM_COMMAND, (WPARAM)c.command, 0);
        pump_for(20);
        REQUIRE(*c.record != NULL);
        CHECK(*c.record != first);
        CHECK(count_windows_titled(c.caption) == 1);
        SendMessageA(*c.record, WM_COMMAND, IDCANCEL, 0);
        pump_for(10);
        CHECK(*c.record == NULL);
    }
    end_run(panel);
}

TEST_CASE("OK in the settings with the refresh cleared stops the panel's refresh timer, ticked again restarts it")
{
    forget_everything();
    store_int(VALUE_IS_NEVER_SHOW, 1);
    HWND panel = start_panel();
    // The panel's start armed it; probing with KillTimer ends it, so the
    // probe re-arms it to leave it as it was.
    REQUIRE(KillTimer(panel, REFRESH_TIMER));
    SetTimer(panel, REFRESH_TIMER, refresh_period_ms(hours), NULL);

    SendMessageA(panel, WM_COMMAND, IDC_SETTINGS, 0);
    pump_for(20);
    HWND dialog = settings_dialog;
    REQUIRE(dialog != NULL);
    SendDlgItemMessageA(dialog, IDC_SET_GET_FORE, BM_CLICK, 0, 0);
    pump_for(10);
    // Cleared but not yet confirmed: the timer still runs.
    REQUIRE(KillTimer(panel, REFRESH_TIMER));
    SetTimer(panel, REFRESH_TIMER, refresh_period_ms(hours), NULL);
    SendDlgItemMessageA(dialog, IDOK, BM_CLICK, 0, 0);
    pump_for(10);
    CHECK_FALSE(KillTimer(panel, REFRESH_TIMER));

    SendMessageA(panel, WM_COMMAND, IDC_SETTINGS, 0);
    pump_for(20);
    dialog = settings_dialog;
    REQUIRE(dialog != NULL);
    SendDlgItemMessageA(dialog, IDC_SET_GET_FORE, BM_CLICK, 0, 0);
    pump_for(10);
    CHECK_FALSE(KillTimer(panel, REFRESH_TIMER));
    SendDlgItemMessageA(dialog, IDOK, BM_CLICK, 0, 0);
    pump_for(10);
    CHECK(KillTimer(panel, REFRESH_TIMER));
    end_run(panel);
}
