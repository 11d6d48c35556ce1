// velvane-tray-harness: the notification icon and its thread in a program
// of their own, with a stand-in panel, for the tests that click the icon and
// read its tooltip from outside.
//
//   velvane-tray-harness TIP_LENGTH
//
// The tooltip is TIP_LENGTH letters A, B, ... Z, A, ... The stand-in panel
// is a plain window titled "stand-in panel"; every command it is sent is
// printed as "command ID PARAMETER", and command 1 ends the program, which
// then removes the icon. Lines: "ready 0xWINDOW" once the icon is there,
// "removed RESULT" at the end.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/tray.h"
#include "panel/panel.h"

HWND panel_window = nullptr;

static LRESULT CALLBACK stand_in_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COMMAND) {
        printf("command %u %lld\n", (unsigned)LOWORD(wparam), (long long)lparam);
        fflush(stdout);
        if (LOWORD(wparam) == IDOK) {
            ShowWindow(window, SW_HIDE);
            PostQuitMessage(0);
        }
        return 0;
    }
    if (message == WM_CLOSE) {
        ShowWindow(window, SW_HIDE);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int main(int argc, char **argv)
{
    int tip_length = argc > 1 ? atoi(argv[1]) : 20;
    if (tip_length < 0 || tip_length > 1000)
        return 2;

    WNDCLASSA window_class;
    memset(&window_class, 0, sizeof(window_class));
    window_class.lpfnWndProc = stand_in_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = "VelvaneStandInPanel";
    RegisterClassA(&window_class);
    panel_window = CreateWindowExA(WS_EX_APPWINDOW, "VelvaneStandInPanel", "stand-in panel",
                                   WS_OVERLAPPEDWINDOW, 300, 300, 300, 200, nullptr, nullptr,
                                   window_class.hInstance, nullptr);
    if (!panel_window)
        return 1;

    // A fresh virtual desktop starts its taskbar a moment after the first
    // window: wait for it, at most ten seconds.
    for (int i = 0; i < 500 && !FindWindowA("Shell_TrayWnd", nullptr); i++)
        Sleep(20);

    char tip[1001];
    for (int i = 0; i < tip_length; i++)
        tip[i] = (char)('A' + i % 26);
    tip[tip_length] = 0;
    set_tray_tip(tip);
    if (!tray_add_icon())
        return 1;
    printf("ready 0x%llx\n", (unsigned long long)(uintptr_t)tray_window.load());
    fflush(stdout);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    printf("removed %d\n", tray_remove_icon());
    fflush(stdout);
    return (int)message.wParam;
}
