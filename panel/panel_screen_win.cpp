// The panel's place and the dots per inch of the program's windows.
#include "panel/panel_screen.h"

#include <atomic>

#include "panel/panel_place.h"

// Set once the user has moved the panel: from then on a place that stays
// wholly visible is kept. Written on the main thread, read by the tray's.
static std::atomic<int> moved_by_user(0);
static std::atomic<int> dragged(0);

typedef UINT(WINAPI *DpiForWindow)(HWND);
typedef int(WINAPI *MetricsForDpi)(int, UINT);

// Windows 10 1607 and later; looked up so that the program still starts on
// Windows 7 and 8.
static FARPROC user32_function(const char *name)
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 != NULL ? GetProcAddress(user32, name) : NULL;
}

int window_dpi(HWND window)
{
    DpiForWindow dpi_for_window = (DpiForWindow)(void *)user32_function("GetDpiForWindow");
    if (dpi_for_window != NULL && window != NULL) {
        UINT dpi = dpi_for_window(window);
        if (dpi > 0)
            return (int)dpi;
    }
    HDC dc = GetDC(window);
    int dpi = dc != NULL ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != NULL)
        ReleaseDC(window, dc);
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int metric_for_dpi(int index, int dpi)
{
    MetricsForDpi metrics_for_dpi = (MetricsForDpi)(void *)user32_function("GetSystemMetricsForDpi");
    if (metrics_for_dpi != NULL && dpi > 0)
        return metrics_for_dpi(index, (UINT)dpi);
    return GetSystemMetrics(index);
}

void note_panel_moved_by_user(void)
{
    moved_by_user.store(1);
}

void note_panel_dragged(int dragging)
{
    dragged.store(dragging != 0);
}

static PlaceRect place_rect(const RECT &r)
{
    PlaceRect p = {r.left, r.top, r.right, r.bottom};
    return p;
}

struct Areas {
    PlaceRect rects[PLACE_MAX_AREAS];
    int32_t count;
};

static BOOL CALLBACK collect_area(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    Areas *areas = (Areas *)data;
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (areas->count < PLACE_MAX_AREAS && GetMonitorInfoA(monitor, &info))
        areas->rects[areas->count++] = place_rect(info.rcWork);
    return areas->count < PLACE_MAX_AREAS;
}

// The work area of the monitor that holds the notification area; the
// primary monitor's while there is no taskbar.
static RECT home_work_area(void)
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    HWND taskbar = FindWindowA("Shell_TrayWnd", NULL);
    if (taskbar != NULL) {
        MONITORINFO info;
        info.cbSize = sizeof info;
        if (GetMonitorInfoA(MonitorFromWindow(taskbar, MONITOR_DEFAULTTOPRIMARY), &info))
            area = info.rcWork;
        // A work area read just as the taskbar came can still be the whole
        // screen: the panel keeps off the taskbar's edge all the same.
        RECT bar, overlap;
        if (GetWindowRect(taskbar, &bar) && IntersectRect(&overlap, &area, &bar)) {
            if (bar.right - bar.left >= bar.bottom - bar.top) {
                if (bar.top > (area.top + area.bottom) / 2)
                    area.bottom = bar.top;
                else
                    area.top = bar.bottom;
            } else if (bar.left > (area.left + area.right) / 2) {
                area.right = bar.left;
            } else {
                area.left = bar.right;
            }
        }
    }
    return area;
}

void place_panel(HWND panel)
{
    RECT window;
    // A minimised panel has no place of its own until it is restored.
    if (panel == NULL || dragged.load() || IsIconic(panel) || !GetWindowRect(panel, &window))
        return;
    PlaceRect home = place_rect(home_work_area());
    Areas areas;
    areas.count = 0;
    EnumDisplayMonitors(NULL, NULL, collect_area, (LPARAM)&areas);
    if (areas.count == 0)
        areas.rects[areas.count++] = home;
    PlaceRect user = place_rect(window);
    int32_t left = 0, top = 0;
    place_panel_corner(&home, areas.rects, areas.count, window.right - window.left,
                       window.bottom - window.top, moved_by_user.load() ? &user : NULL, &left, &top);
    if (left != window.left || top != window.top)
        SetWindowPos(panel, NULL, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
