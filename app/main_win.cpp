// The program's entry point: one instance per session, an invisible host
// window that creates and places the panel, the notification icon and the
// main message loop.
#include <windows.h>
#include <commctrl.h>

#include "app/net_watch.h"
#include "app/tray.h"
#include "fetch/http_client.h"
#include "panel/modeless_win.h"
#include "panel/panel.h"
#include "panel/panel_screen.h"
#include "res/resource.h"
#include "settings/dialogs.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

static const char HOST_CLASS_NAME[] = "CLASS_GET_REAL_IP";
static const char HOST_TITLE[] = "Velvane App";
// Held for the life of the process: two starts in the same instant can both
// miss each other's host window, but only one can create the mutex.
static const char INSTANCE_MUTEX_NAME[] = "Local\\Velvane App";

enum { TITLE_BUFFER_SIZE = 50 };

static HINSTANCE program_instance;

static void show_weather_in_tray(const char *temperature, const char *tip)
{
    tray_show_weather(temperature, tip);
}

static void give_notice_from_tray(const char *title, const char *text)
{
    tray_show_notice(title, text);
}

// True when a top-level window, hidden ones included, is titled
// "Velvane App" in any letter case.
static bool find_running_instance(void)
{
    HWND window = GetWindow(GetDesktopWindow(), GW_CHILD);
    while (window) {
        char title[TITLE_BUFFER_SIZE];
        if (GetWindowTextA(window, title, sizeof(title)) > 0 && lstrcmpiA(title, HOST_TITLE) == 0)
            return true;
        window = GetWindow(window, GW_HWNDNEXT);
    }
    return false;
}

// Creates the panel, places it 7 pixels from the work area's right and
// bottom edges and shows or hides it as the settings say. The panel places
// itself again when it is shown and when the work area changes.
static void create_panel(void)
{
    panel_window = CreateDialogParamA(program_instance, MAKEINTRESOURCEA(IDD_PANEL), nullptr,
                                      panel_dialog_proc, 0);
    if (!panel_window)
        return;

    place_panel(panel_window);

    reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_IS_HIDE_WINDOW, &is_hide_window,
                   sizeof(is_hide_window));
    ShowWindow(panel_window, is_hide_window == 0 ? SW_SHOW : SW_HIDE);
    UpdateWindow(panel_window);
    bring_to_front(panel_window);
}

static LRESULT CALLBACK host_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        create_panel();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

static void register_host_class(void)
{
    WNDCLASSEXA window_class;
    ZeroMemory(&window_class, sizeof(window_class));
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    window_class.lpfnWndProc = host_window_proc;
    window_class.hInstance = program_instance;
    window_class.hIcon = LoadIconA(program_instance, MAKEINTRESOURCEA(IDI_APP));
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = HOST_CLASS_NAME;
    RegisterClassExA(&window_class);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (find_running_instance())
        return 0;
    HANDLE instance_mutex = CreateMutexA(nullptr, FALSE, INSTANCE_MUTEX_NAME);
    if (instance_mutex && GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;

    program_instance = GetModuleHandleA(nullptr);
    // The month calendar, the up-down control and the link of the dialogs
    // are common controls of version 6: register their classes first.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_LINK_CLASS |
                                                          ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    install_dialog_procedures();
    panel_tray_show = show_weather_in_tray;
    panel_tray_notice = give_notice_from_tray;
    register_host_class();
    net_startup();
    // The program's title ("Velvane - Прогноз погоды", code page 1251)
    // until the panel names the place and the weather.
    char title[TITLE_BUFFER_SIZE];
    set_tray_tip(LoadStringA(program_instance, IDS_APP_TITLE, title, sizeof title) > 0 ? title : nullptr);
    // Never shown and never needed again: its creation makes the panel.
    CreateWindowExA(0, HOST_CLASS_NAME, HOST_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, program_instance, nullptr);
    tray_add_icon();
    // The network coming back brings a fetch; no polling.
    if (panel_window)
        net_watch_start(panel_window, PANEL_NETWORK_MESSAGE);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // The keyboard works in the panel and in each open dialog.
        if (take_dialog_message(&message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    net_watch_stop();
    tray_remove_icon();
    return (int)message.wParam;
}
