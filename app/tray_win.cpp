// The notification icon, its hidden window and the thread that runs it.
#include "app/tray.h"

#include <process.h>
#include <string.h>

#include "app/tray_temperature.h"
#include "panel/panel.h"
#include "panel/panel_screen.h"
#include "res/resource.h"
#include "util/mem.h"

std::atomic<HWND> tray_window(nullptr);

static char tray_title[256];
static char tray_class_name[256];
static char *tip_text = nullptr;
// The temperature the icon shows (UTF-8), empty for the thermometer.
static char icon_temperature[16];
// The tooltip and the temperature are written on the main thread and read
// on the tray thread when the shell restarts. The lock guards them only,
// never a call into the shell (which may wait on the shell's own thread):
// each caller takes a copy with its generation, hands that to the shell,
// and goes round again when a newer state came meanwhile, so the icon never
// ends up older than the last state asked for.
static SRWLOCK icon_lock = SRWLOCK_INIT;
static uint32_t icon_generation = 0;
// The shell holds the state of this generation (0: not known to hold any).
static uint32_t shell_generation = 0;
// "TaskbarCreated", broadcast by a shell that has (re)started: every icon
// has to be added again. Registered and read on the tray thread only.
static UINT taskbar_created_message = 0;

static LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

static void store_tip(const char *text)
{
    mem_free(tip_text);
    tip_text = dup_string(text);
    if (tip_text && strlen(tip_text) >= TRAY_TIP_LENGTH)
        tip_text[TRAY_TIP_LENGTH] = 0;
    icon_generation++;
}

void set_tray_tip(const char *text)
{
    AcquireSRWLockExclusive(&icon_lock);
    store_tip(text);
    ReleaseSRWLockExclusive(&icon_lock);
}

const char *tray_tip(void)
{
    return tip_text;
}

static void fill_tip(NOTIFYICONDATAA *data, const char *tip)
{
    size_t length = strlen(tip);
    if (length > TRAY_TIP_LENGTH)
        length = TRAY_TIP_LENGTH;
    memcpy(data->szTip, tip, length);
    data->szTip[length] = 0;
}

void tray_fill_data(NOTIFYICONDATAA *data, int adding, HICON icon)
{
    memset(data, 0, sizeof(*data));
    data->cbSize = sizeof(*data);
    data->hWnd = tray_window.load();
    data->uID = TRAY_ICON_ID;
    if (!adding)
        return;
    data->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data->uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    data->hIcon = icon;
    if (tip_text)
        fill_tip(data, tip_text);
}

// The icon for a temperature (empty: the thermometer), at the small-icon
// size of the notification area's dots per inch.
static HICON make_icon(const char *temperature)
{
    int dpi = window_dpi(tray_window.load());
    int size = metric_for_dpi(SM_CXSMICON, dpi);
    HICON icon = temperature[0] ? create_temperature_icon(temperature, size) : nullptr;
    if (!icon)
        icon = (HICON)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, size,
                                 metric_for_dpi(SM_CYSMICON, dpi), 0);
    return icon;
}

// A copy of the stored state, taken under the lock.
struct IconState {
    uint32_t generation;
    char temperature[sizeof icon_temperature];
    char tip[TRAY_TIP_LENGTH + 1];
};

static void take_state(IconState *state)
{
    AcquireSRWLockExclusive(&icon_lock);
    state->generation = icon_generation;
    memcpy(state->temperature, icon_temperature, sizeof state->temperature);
    state->tip[0] = 0;
    if (tip_text)
        lstrcpynA(state->tip, tip_text, sizeof state->tip);
    ReleaseSRWLockExclusive(&icon_lock);
}

// Hands the stored state to the shell (NIM_ADD or NIM_MODIFY), outside the
// lock, until the shell holds the newest state or refuses. The shell keeps
// its own copy of the icon, so ours is released at once.
static int hand_to_shell(DWORD verb)
{
    for (;;) {
        IconState state;
        take_state(&state);
        HICON icon = make_icon(state.temperature);
        if (!icon)
            return 0;
        NOTIFYICONDATAA data;
        tray_fill_data(&data, 1, icon);
        fill_tip(&data, state.tip);
        if (verb == NIM_MODIFY)
            data.uFlags = NIF_ICON | NIF_TIP;
        int taken = Shell_NotifyIconA(verb, &data) ? 1 : 0;
        DestroyIcon(icon);
        AcquireSRWLockExclusive(&icon_lock);
        int newest = state.generation == icon_generation;
        if (taken && newest)
            shell_generation = state.generation;
        ReleaseSRWLockExclusive(&icon_lock);
        if (!taken || newest)
            return taken;
        verb = NIM_MODIFY;  // the icon is there; a newer state follows it
    }
}

// The icon is gone: the next change goes to the shell whatever it is.
static void forget_shell_state(void)
{
    AcquireSRWLockExclusive(&icon_lock);
    shell_generation = 0;
    ReleaseSRWLockExclusive(&icon_lock);
}

static int add_icon_now(void)
{
    return hand_to_shell(NIM_ADD);
}

int tray_show_weather(const char *temperature, const char *tip)
{
    char wanted[sizeof icon_temperature] = "";
    if (temperature && strlen(temperature) < sizeof wanted)
        strcpy(wanted, temperature);
    AcquireSRWLockExclusive(&icon_lock);
    // The same icon and tooltip as the shell holds: nothing to send.
    int same = strcmp(wanted, icon_temperature) == 0 &&
               strncmp(tip ? tip : "", tip_text ? tip_text : "", TRAY_TIP_LENGTH) == 0 &&
               (tip == nullptr) == (tip_text == nullptr) && shell_generation == icon_generation;
    if (!same) {
        strcpy(icon_temperature, wanted);
        store_tip(tip);
    }
    ReleaseSRWLockExclusive(&icon_lock);
    return same ? 1 : hand_to_shell(NIM_MODIFY);
}

int tray_show_notice(const char *title, const char *text)
{
    NOTIFYICONDATAA data;
    tray_fill_data(&data, 0, NULL);
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_USER;  // the icon's own picture
    lstrcpynA(data.szInfoTitle, title != NULL ? title : "", (int)sizeof data.szInfoTitle);
    lstrcpynA(data.szInfo, text != NULL ? text : "", (int)sizeof data.szInfo);
    return Shell_NotifyIconA(NIM_MODIFY, &data) ? 1 : 0;
}

int tray_add_icon(void)
{
    if (!tray_window.load())
        start_tray_thread();
    return add_icon_now();
}

// Runs on the tray thread, which owns the window: the icon is deleted, the
// window destroyed and tray_window cleared, in that order, and the thread's
// loop is told to end.
static int remove_on_tray_thread(HWND window)
{
    NOTIFYICONDATAA data;
    tray_fill_data(&data, 0, nullptr);
    int deleted = Shell_NotifyIconA(NIM_DELETE, &data) ? 1 : 0;
    forget_shell_state();
    DestroyWindow(window);
    tray_window.store(nullptr);
    PostQuitMessage(0);
    return deleted;
}

int tray_remove_icon(void)
{
    HWND window = tray_window.load();
    if (window) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(window, TRAY_REMOVE_MESSAGE, 0, 0, SMTO_NORMAL, 5000, &result))
            return (int)result;
    }
    // No tray thread, or one that does not answer: at least the icon goes;
    // a window left behind ends with the process.
    NOTIFYICONDATAA data;
    tray_fill_data(&data, 0, nullptr);
    int deleted = Shell_NotifyIconA(NIM_DELETE, &data) ? 1 : 0;
    forget_shell_state();
    tray_window.store(nullptr);
    return deleted;
}

static unsigned __stdcall tray_thread_main(void *ready_event)
{
    if (tray_window.load())
        return 0;
    strcpy(tray_title, "brennix");
    strcpy(tray_class_name, "Windows_brennix");
    taskbar_created_message = RegisterWindowMessageA("TaskbarCreated");

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA window_class;
    memset(&window_class, 0, sizeof(window_class));
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = tray_window_proc;
    window_class.hInstance = instance;
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNSHADOW + 1);
    window_class.lpszClassName = tray_class_name;
    RegisterClassExA(&window_class);

    HWND window = CreateWindowExA(WS_EX_APPWINDOW, tray_class_name, tray_title, WS_CAPTION, 2, 2, 200, 100,
                                  nullptr, nullptr, instance, nullptr);
    if (!window)
        return 0;
    tray_window.store(window);
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    SetEvent((HANDLE)ready_event);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    tray_window.store(nullptr);
    return (unsigned)message.wParam;
}

int start_tray_thread(void)
{
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ready)
        return 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, tray_thread_main, ready, 0, nullptr);
    if (!thread) {
        CloseHandle(ready);
        return 0;
    }
    CloseHandle((HANDLE)thread);
    int signalled = WaitForSingleObject(ready, TRAY_READY_WAIT_MS) == WAIT_OBJECT_0;
    // A thread that was late may still signal the event: then it stays open.
    if (signalled)
        CloseHandle(ready);
    return signalled ? 1 : 0;
}

static LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == TRAY_REMOVE_MESSAGE)
        return remove_on_tray_thread(window);
    if (message == WM_COMMAND)
        tray_command(LOWORD(wparam));
    else if (message == TRAY_CALLBACK_MESSAGE)
        tray_notify((UINT)wparam, (UINT)lparam);
    else if (taskbar_created_message && message == taskbar_created_message)
        add_icon_now();
    return DefWindowProcA(window, message, wparam, lparam);
}

static void show_menu(void)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuA(menu, MF_STRING, TRAY_ITEM_SHOW,
                "\xCF\xEE\xEA\xE0\xE7\xE0\xF2\xFC \xEF\xF0\xEE\xE3\xED\xEE\xE7");  // Показать прогноз
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, TRAY_ITEM_SETTINGS, "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8");  // Настройки
    AppendMenuA(menu, MF_STRING, TRAY_ITEM_REFRESH,
                "\xCE\xE1\xED\xEE\xE2\xE8\xF2\xFC \xEF\xF0\xEE\xE3\xED\xEE\xE7");  // Обновить прогноз
    AppendMenuA(menu, MF_STRING, TRAY_ITEM_ABOUT, "\xCE \xEF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xE5");  // О программе
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, TRAY_ITEM_EXIT, "\xC2\xFB\xF5\xEE\xE4");  // Выход

    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    HWND owner = tray_window.load();
    // A notification icon's menu closes on a click elsewhere only while its
    // owner is the foreground window, and the null message afterwards lets
    // the next right click open it again at once.
    SetForegroundWindow(owner);
    TrackPopupMenu(menu, TPM_RIGHTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void tray_notify(UINT icon_id, UINT mouse_message)
{
    if (icon_id != TRAY_ICON_ID)
        return;
    if (mouse_message == WM_LBUTTONDOWN || mouse_message == WM_LBUTTONDBLCLK) {
        toggle_panel(0);
    } else if (mouse_message == NIN_BALLOONUSERCLICK) {
        // The heads-up's notice: the panel on the notice's day.
        SendMessageA(panel_window, WM_COMMAND, CMD_NOTICE_DAY, 0);
        toggle_panel(1);
    } else if (mouse_message == WM_RBUTTONDOWN) {
        show_menu();
    }
}

void tray_command(UINT item_id)
{
    switch (item_id) {
    case TRAY_ITEM_SHOW:
        toggle_panel(1);
        break;
    case TRAY_ITEM_SETTINGS:
        SendMessageA(panel_window, WM_COMMAND, IDC_SETTINGS, 1);
        break;
    case TRAY_ITEM_REFRESH:
        SendMessageA(panel_window, WM_COMMAND, CMD_REFRESH, 0);
        break;
    case TRAY_ITEM_ABOUT:
        SendMessageA(panel_window, WM_COMMAND, IDC_ABOUT, 1);
        break;
    case TRAY_ITEM_EXIT:
        SendMessageA(panel_window, WM_COMMAND, IDOK, 0);
        break;
    default:
        break;
    }
}

void toggle_panel(int force_show)
{
    HWND panel = panel_window;
    if (!panel)
        return;
    // A minimised panel is still "visible": it is brought back restored
    // rather than hidden.
    if (force_show || !IsWindowVisible(panel) || IsIconic(panel)) {
        // At logon the taskbar may have come after the panel was placed.
        place_panel(panel);
        ShowWindow(panel, SW_SHOWNORMAL);
        place_panel(panel);
        bring_to_front(panel);
    } else {
        ShowWindow(panel, SW_HIDE);
    }
}

void bring_to_front(HWND window)
{
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    DWORD version = GetVersion();
    DWORD major = LOBYTE(LOWORD(version));
    DWORD minor = HIBYTE(LOWORD(version));
    int newer = (version & 0x80000000u) ? (major >= 4 && minor >= 10) : (major >= 5);
    if (!newer) {
        SetForegroundWindow(window);
        return;
    }
    DWORD own_thread = GetCurrentThreadId();
    DWORD foreground_thread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    int attached = foreground_thread && foreground_thread != own_thread &&
                   AttachThreadInput(own_thread, foreground_thread, TRUE);
    SetForegroundWindow(window);
    if (attached)
        AttachThreadInput(own_thread, foreground_thread, FALSE);
    BringWindowToTop(window);
}
