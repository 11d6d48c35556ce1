#include "tests/support/window_testing.h"

#include <doctest/doctest.h>
#include <string.h>

#include "panel/modeless_win.h"

void pump_for(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (!take_dialog_message(&message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        Sleep(2);
    } while (GetTickCount() - start < ms);
}

int count_windows_titled(const char *title)
{
    struct Search {
        const char *title;
        int count;
    } search = {title, 0};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            Search *s = (Search *)data;
            char text[256];
            if (IsWindowVisible(window) && GetWindowTextA(window, text, sizeof text) > 0 &&
                strcmp(text, s->title) == 0)
                s->count++;
            return TRUE;
        },
        (LPARAM)&search);
    return search.count;
}

HWND cover_window(void)
{
    HWND cover = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "cover", WS_POPUP | WS_VISIBLE, 0, 0,
                                 400, 300, NULL, NULL, GetModuleHandleA(NULL), NULL);
    REQUIRE(cover != NULL);
    SetForegroundWindow(cover);
    pump_for(30);
    return cover;
}
