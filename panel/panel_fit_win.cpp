// The panel's calendar and its hourly strip's room.
#include "panel/panel_fit.h"

#include <commctrl.h>

#include "panel/panel_screen.h"
#include "res/resource.h"

// The room the strip takes in this panel (a panel created again, as tests
// do, starts without).
static HWND room_panel;
static int room;
static int strip_shown;

static void move_control(HWND window, int id, int dx, int dy, int grow)
{
    HWND control = GetDlgItem(window, id);
    RECT r;
    if (control == NULL || !GetWindowRect(control, &r))
        return;
    MapWindowPoints(NULL, window, (POINT *)&r, 2);
    SetWindowPos(control, NULL, r.left + dx, r.top + dy, r.right - r.left + grow, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

static void grow_panel(HWND window, int dx, int dy)
{
    RECT frame;
    GetWindowRect(window, &frame);
    SetWindowPos(window, NULL, 0, 0, frame.right - frame.left + dx, frame.bottom - frame.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The city list, narrowed by "Найти…" beside it, opens as wide as the
// country list above it: the longest names are then read whole.
static void widen_city_drop_down(HWND window)
{
    HWND country = GetDlgItem(window, IDC_COUNTRY);
    RECT r;
    if (country != NULL && GetWindowRect(country, &r))
        SendDlgItemMessageA(window, IDC_CITY, CB_SETDROPPEDWIDTH, (WPARAM)(r.right - r.left), 0);
}

void fit_calendar(HWND window)
{
    widen_city_drop_down(window);
    HWND calendar = GetDlgItem(window, IDC_CALENDAR);
    RECT need, now;
    if (calendar == NULL || !SendMessageA(calendar, MCM_GETMINREQRECT, 0, (LPARAM)&need) ||
        !GetWindowRect(calendar, &now))
        return;
    int dx = (need.right - need.left) - (now.right - now.left);
    int dy = (need.bottom - need.top) - (now.bottom - now.top);
    if (dx < 0)
        dx = 0;
    if (dy < 0)
        dy = 0;
    if (dx == 0 && dy == 0)
        return;
    SetWindowPos(calendar, NULL, 0, 0, now.right - now.left + dx, now.bottom - now.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The lists and the date line reach to the calendar's right edge ("Найти…"
    // beside the city list stays at it); the buttons below it keep their
    // place at its right and bottom.
    move_control(window, IDC_COUNTRY, 0, 0, dx);
    move_control(window, IDC_CITY, 0, 0, dx);
    move_control(window, IDC_FIND, dx, 0, 0);
    widen_city_drop_down(window);
    move_control(window, IDC_TODAY, 0, 0, dx);
    move_control(window, IDCANCEL, dx, dy, 0);
    move_control(window, IDC_SETTINGS, 0, dy, 0);
    grow_panel(window, dx, dy);
}

int hour_strip_place(HWND panel, HourStripLayout *layout)
{
    HWND block = GetDlgItem(panel, IDC_FORECAST_TEXT);
    RECT r;
    if (block == NULL || !GetWindowRect(block, &r))
        return 0;
    MapWindowPoints(NULL, panel, (POINT *)&r, 2);
    int dpi = window_dpi(panel);
    hour_strip_layout_for_dpi(dpi, r.left, r.bottom + MulDiv(HOUR_STRIP_GAP, dpi, USER_DEFAULT_SCREEN_DPI), layout);
    // Narrower columns where the right column's status strip would come
    // close (another system's dialog font).
    RECT calendar;
    HWND calendar_window = GetDlgItem(panel, IDC_CALENDAR);
    if (calendar_window != NULL && GetWindowRect(calendar_window, &calendar)) {
        MapWindowPoints(NULL, panel, (POINT *)&calendar, 2);
        int fits = (calendar.left - layout->gap - layout->left) / HOUR_STEPS;
        if (fits > 0 && fits < layout->column_width)
            layout->column_width = fits;
    }
    return 1;
}

int hour_strip_room(HWND panel)
{
    return panel == room_panel && strip_shown ? room : 0;
}

int weather_half_bottom(HWND panel)
{
    HourStripLayout layout;
    if (!hour_strip_place(panel, &layout))
        return 0;
    return panel == room_panel && strip_shown ? layout.top + layout.height : layout.top - layout.gap;
}

void hour_strip_rescaled(HWND panel, int old_dpi, int new_dpi)
{
    if (panel == room_panel && old_dpi > 0 && new_dpi > 0)
        room = MulDiv(room, new_dpi, old_dpi);
}

void show_hour_strip(HWND panel, const WeatherRecord *shown, double selected_day, int busy, int status_line)
{
    if (panel != room_panel) {
        room_panel = panel;
        room = 0;
        strip_shown = 0;
    }
    HourStripLayout layout;
    if (!hour_strip_place(panel, &layout))
        return;
    int32_t muted;
    int strip = hour_strip_steps(shown, selected_day, 0, &muted) != NULL;
    // The strip's band and a gap as high as the block's gap to it.
    int wanted = strip ? layout.height + 2 * layout.gap : 0;
    HWND button = GetDlgItem(panel, IDCANCEL);
    RECT r;
    if (status_line && button != NULL && GetWindowRect(button, &r)) {
        // The buttons' row wholly below the weather half, a gap under it.
        MapWindowPoints(NULL, panel, (POINT *)&r, 2);
        int half_bottom = strip ? layout.top + layout.height : layout.top - layout.gap;
        int below = half_bottom + layout.gap - (r.top - room);
        if (below > wanted)
            wanted = below;
    }
    if (!busy)
        strip_shown = strip;
    if (!busy && wanted != room) {
        int dy = wanted - room;
        room = wanted;
        move_control(panel, IDCANCEL, 0, dy, 0);
        move_control(panel, IDC_SETTINGS, 0, dy, 0);
        grow_panel(panel, 0, dy);
        place_panel(panel);
        // What was invalidated before the buttons moved (the status line,
        // the credit) lies elsewhere now: the whole panel afresh.
        InvalidateRect(panel, NULL, TRUE);
    }
    RECT band = {layout.left, layout.top, layout.left + HOUR_STEPS * layout.column_width, layout.top + layout.height};
    InvalidateRect(panel, &band, TRUE);
}
