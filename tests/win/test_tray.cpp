// The notification icon and its thread, driven against a stand-in panel: a
// plain window of this test that records the commands it is sent.
#include <doctest/doctest.h>

#include <string.h>

#include <string>

#include "app/tray.h"
#include "panel/panel.h"

// The tray reaches the panel through this handle; here it names the
// stand-in below instead of the real panel.
HWND panel_window = nullptr;

static WPARAM last_command = 0;
static LPARAM last_command_parameter = 0;
static int command_count = 0;

static LRESULT CALLBACK stand_in_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COMMAND) {
        last_command = wparam;
        last_command_parameter = lparam;
        command_count++;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Lets the stand-in (this thread's window) handle what the tray thread
// posted or sent to it meanwhile.
static void pump_for(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

// Waits (pumping) until the shell's notification area exists: the virtual
// desktop of a fresh prefix takes a moment to start its taskbar.
static int wait_for_shell(void)
{
    for (int i = 0; i < 500; i++) {
        if (FindWindowA("Shell_TrayWnd", nullptr))
            return 1;
        pump_for(20);
    }
    return 0;
}

static void make_stand_in_panel(void)
{
    if (panel_window)
        return;
    WNDCLASSA window_class;
    memset(&window_class, 0, sizeof(window_class));
    window_class.lpfnWndProc = stand_in_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "VelvaneStandInPanel";
    RegisterClassA(&window_class);
    panel_window = CreateWindowExA(WS_EX_APPWINDOW, "VelvaneStandInPanel", "stand-in panel",
                                   WS_OVERLAPPEDWINDOW, 100, 100, 300, 200, nullptr, nullptr,
                                   window_class.hInstance, nullptr);
    REQUIRE(panel_window != nullptr);
}

static int icon_exists(HWND owner)
{
    NOTIFYICONDATAA data;
    memset(&data, 0, sizeof(data));
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = TRAY_ICON_ID;
    return Shell_NotifyIconA(NIM_MODIFY, &data) ? 1 : 0;
}

// The icon and the tray thread are up, with the stand-in panel hidden.
static HWND tray_up(void)
{
    make_stand_in_panel();
    REQUIRE(wait_for_shell());
    if (!tray_window.load())
        REQUIRE(tray_add_icon() == 1);
    ShowWindow(panel_window, SW_HIDE);
    return tray_window.load();
}

static int panel_shown(void)
{
    return IsWindowVisible(panel_window) ? 1 : 0;
}

static void notify(UINT id, UINT mouse_message)
{
    SendMessageA(tray_window.load(), TRAY_CALLBACK_MESSAGE, id, mouse_message);
}

TEST_CASE("the tooltip is cut after 127 characters and reaches the notification data whole")
{
    std::string long_tip(200, 'x');
    for (size_t i = 0; i < long_tip.size(); i++)
        long_tip[i] = (char)('A' + i % 26);
    set_tray_tip(long_tip.c_str());
    REQUIRE(tray_tip() != nullptr);
    CHECK(std::string(tray_tip()) == long_tip.substr(0, 127));

    NOTIFYICONDATAA data;
    memset(&data, 0x55, sizeof(data));
    tray_fill_data(&data, 1, nullptr);
    CHECK(std::string(data.szTip) == long_tip.substr(0, 127));
    CHECK(data.uID == 15);
    CHECK(data.uCallbackMessage == 1035);
    CHECK(data.uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP));
#ifdef _WIN64
    CHECK(data.cbSize == 528);
#else
    CHECK(data.cbSize == 508);
#endif

    std::string short_tip = long_tip.substr(0, 126);
    set_tray_tip(short_tip.c_str());
    CHECK(std::string(tray_tip()) == short_tip);

    set_tray_tip(nullptr);
    CHECK(tray_tip() == nullptr);
    tray_fill_data(&data, 1, nullptr);
    CHECK(data.szTip[0] == 0);

    set_tray_tip("Velvane");
    CHECK(std::string(tray_tip()) == "Velvane");
}

TEST_CASE("adding the icon starts a thread with its own hidden window")
{
    HWND window = tray_up();
    REQUIRE(window != nullptr);
    char text[256];
    GetClassNameA(window, text, sizeof(text));
    CHECK(std::string(text) == "Windows_brennix");
    GetWindowTextA(window, text, sizeof(text));
    CHECK(std::string(text) == "brennix");
    CHECK_FALSE(IsWindowVisible(window));
    CHECK(GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId());
    CHECK(icon_exists(window) == 1);
}

TEST_CASE("a notice from the icon is taken by the shell, also one longer than its field")
{
    tray_up();
    CHECK(tray_show_notice("Velvane", "\xCC\xEE\xF1\xEA\xE2\xE0, \xE7\xE0\xE2\xF2\xF0\xE0: \xE3\xF0\xEE\xE7\xE0") == 1);
    std::string long_text(400, 'x');
    CHECK(tray_show_notice(long_text.c_str(), long_text.c_str()) == 1);
    CHECK(icon_exists(tray_window.load()) == 1);
    // An empty text takes the notice away: none lingers on the shared
    // display for the tests that click there.
    CHECK(tray_show_notice("", "") == 1);
}

TEST_CASE("a left press on icon 15 toggles the panel; other icons and messages change nothing")
{
    tray_up();
    notify(16, WM_LBUTTONDOWN);
    CHECK(panel_shown() == 0);
    notify(15, WM_MOUSEMOVE);
    notify(15, WM_LBUTTONUP);
    CHECK(panel_shown() == 0);

    notify(15, WM_LBUTTONDOWN);
    CHECK(panel_shown() == 1);
    notify(16, WM_LBUTTONDOWN);
    CHECK(panel_shown() == 1);
    notify(15, WM_LBUTTONDOWN);
    CHECK(panel_shown() == 0);

    // A double click arrives as a press and a double-click message: two
    // toggles, so the panel ends as it was.
    notify(15, WM_LBUTTONDOWN);
    notify(15, WM_LBUTTONDBLCLK);
    CHECK(panel_shown() == 0);
}

TEST_CASE("menu choices become panel commands")
{
    HWND window = tray_up();
    struct Choice {
        UINT item;
        WPARAM command;
        LPARAM parameter;
    } const choices[] = {{1, 1024, 1}, {2, 130, 0}, {3, 3, 1}, {4, 1, 0}};
    for (const Choice &choice : choices) {
        CAPTURE(choice.item);
        command_count = 0;
        SendMessageA(window, WM_COMMAND, choice.item, 0);
        CHECK(command_count == 1);
        CHECK(last_command == choice.command);
        CHECK(last_command_parameter == choice.parameter);
    }

    command_count = 0;
    SendMessageA(window, WM_COMMAND, 5, 0);
    CHECK(command_count == 0);

    // "Show forecast" shows the panel, and keeps it shown when it is.
    SendMessageA(window, WM_COMMAND, 0, 0);
    CHECK(panel_shown() == 1);
    SendMessageA(window, WM_COMMAND, 0, 0);
    CHECK(panel_shown() == 1);
    CHECK(command_count == 0);
    ShowWindow(panel_window, SW_HIDE);
}

static HWND find_open_menu(void)
{
    for (int i = 0; i < 150; i++) {
        HWND menu = FindWindowA("#32768", nullptr);
        if (menu && IsWindowVisible(menu))
            return menu;
        pump_for(20);
    }
    return nullptr;
}

static std::string menu_item_text(HMENU menu, int position)
{
    char text[128];
    int length = GetMenuStringA(menu, (UINT)position, text, sizeof(text), MF_BYPOSITION);
    return std::string(text, length > 0 ? (size_t)length : 0);
}

TEST_CASE("a right press opens the menu, its owner in the foreground; every press builds it anew")
{
    HWND window = tray_up();
    for (int round = 0; round < 2; round++) {
        CAPTURE(round);
        PostMessageA(window, TRAY_CALLBACK_MESSAGE, 15, WM_RBUTTONDOWN);
        HWND menu_window = find_open_menu();
        REQUIRE(menu_window != nullptr);
        CHECK(GetForegroundWindow() == window);

        HMENU menu = (HMENU)SendMessageA(menu_window, MN_GETHMENU, 0, 0);
        REQUIRE(menu != nullptr);
        REQUIRE(GetMenuItemCount(menu) == 7);
        CHECK(menu_item_text(menu, 0) == "\xCF\xEE\xEA\xE0\xE7\xE0\xF2\xFC \xEF\xF0\xEE\xE3\xED\xEE\xE7");
        CHECK(menu_item_text(menu, 2) == "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8");
        CHECK(menu_item_text(menu, 3) == "\xCE\xE1\xED\xEE\xE2\xE8\xF2\xFC \xEF\xF0\xEE\xE3\xED\xEE\xE7");
        CHECK(menu_item_text(menu, 4) == "\xCE \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xE5");
        CHECK(menu_item_text(menu, 6) == "\xC2\xFB\xF5\xEE\xE4");
        const UINT ids[] = {0, 0, 1, 2, 3, 0, 4};
        for (int position = 0; position < 7; position++) {
            CAPTURE(position);
            MENUITEMINFOA info;
            memset(&info, 0, sizeof(info));
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID;
            REQUIRE(GetMenuItemInfoA(menu, (UINT)position, TRUE, &info));
            int separator = position == 1 || position == 5;
            CHECK(((info.fType & MFT_SEPARATOR) != 0) == separator);
            if (separator)
                continue;
            CHECK((info.fState & (MFS_CHECKED | MFS_DISABLED | MFS_DEFAULT)) == 0);
            CHECK(info.wID == ids[position]);
        }

        // Closing it without a choice sends the panel nothing.
        command_count = 0;
        PostMessageA(menu_window, WM_KEYDOWN, VK_ESCAPE, 0);
        for (int i = 0; i < 150 && IsWindowVisible(menu_window); i++)
            pump_for(20);
        CHECK_FALSE(IsWindowVisible(menu_window));
        pump_for(100);
        CHECK(command_count == 0);
    }
}

TEST_CASE("after the shell restarts the icon is added again")
{
    HWND window = tray_up();
    NOTIFYICONDATAA data;
    tray_fill_data(&data, 0, nullptr);
    REQUIRE(Shell_NotifyIconA(NIM_DELETE, &data));
    REQUIRE(icon_exists(window) == 0);

    PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    int back = 0;
    for (int i = 0; i < 100 && !back; i++) {
        pump_for(20);
        back = icon_exists(window);
    }
    CHECK(back == 1);
}

TEST_CASE("the weather goes to the shell only when the icon or the tooltip changed")
{
    HWND window = tray_up();
    REQUIRE(tray_show_weather("+3", "tip one") == 1);
    // The icon deleted behind the tray's back: a call into the shell would
    // now fail, so an answer of 1 shows that none was made.
    NOTIFYICONDATAA data;
    tray_fill_data(&data, 0, nullptr);
    REQUIRE(Shell_NotifyIconA(NIM_DELETE, &data));
    REQUIRE(icon_exists(window) == 0);
    CHECK(tray_show_weather("+3", "tip one") == 1);
    CHECK(tray_show_weather("+4", "tip one") == 0);  // another icon: asked, and refused
    CHECK(tray_show_weather("+4", "tip one") == 0);  // the shell never took it: asked again
    CHECK(tray_show_weather("+4", "tip two") == 0);
    CHECK(tray_show_weather(nullptr, "tip two") == 0);
    // Added again, it carries the last state; then unchanged means no call.
    PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    for (int i = 0; i < 100 && !icon_exists(window); i++)
        pump_for(20);
    REQUIRE(icon_exists(window) == 1);
    CHECK(tray_show_weather(nullptr, "tip two") == 1);
    CHECK(std::string(tray_tip()) == "tip two");
}

TEST_CASE("removing the icon has the tray thread delete it, destroy its window and end")
{
    HWND window = tray_up();
    DWORD thread_id = GetWindowThreadProcessId(window, nullptr);
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, thread_id);
    REQUIRE(thread != nullptr);

    CHECK(tray_remove_icon() == 1);
    CHECK(tray_window.load() == nullptr);
    CHECK_FALSE(IsWindow(window));
    CHECK(icon_exists(window) == 0);
    CHECK(WaitForSingleObject(thread, 2000) == WAIT_OBJECT_0);
    CloseHandle(thread);

    // A second removal finds nothing to delete.
    CHECK(tray_remove_icon() == 0);

    // And the icon can be added again, by a new thread.
    REQUIRE(tray_add_icon() == 1);
    HWND again = tray_window.load();
    REQUIRE(again != nullptr);
    CHECK(icon_exists(again) == 1);
    CHECK(tray_remove_icon() == 1);
}
