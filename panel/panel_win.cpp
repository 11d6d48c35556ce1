// The panel dialog: its initialisation, timers, commands, calendar and
// painting. Main thread only.
#include "panel/panel.h"
#include "panel/modeless_win.h"

#include <commctrl.h>
#include <locale.h>
#include <time.h>

#include "fetch/fetch_job.h"
#include "fetch/weather_record.h"
#include "panel/date_text.h"
#include "panel/day_number.h"
#include "panel/panel_paint.h"
#include "panel/weather_text.h"
#include "res/resource.h"
#include "settings/catalogue.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "util/mem.h"

enum {
    CLOCK_PERIOD_MS = 60000,
    SMALL_FONT_POINTS = 11,
    LARGE_FONT_POINTS = 24,
    CREDIT_FONT_POINTS = 8
};

HWND panel_window;
double selected_day;
HWND about_dialog;
HWND settings_dialog;

DLGPROC panel_about_proc;
DLGPROC panel_settings_proc;
DLGPROC panel_notice_proc;

static HICON condition_icons[CONDITION_COUNT];
static HICON busy_icon;
static HFONT small_font;
static HFONT large_font;
static HFONT credit_font;

static HINSTANCE instance_of(HWND window)
{
    return (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
}

// The local date of a moment of the clock seam. The calendar takes its
// dates from here, and the heading and the date line from the day numbers,
// which count in local time too: both name the same day.
static int local_date_of(int64_t seconds, SYSTEMTIME *date)
{
    time_t moment = (time_t)seconds;
    struct tm *local = localtime(&moment);
    if (local == NULL)
        return 0;
    ZeroMemory(date, sizeof *date);
    date->wYear = (WORD)(local->tm_year + 1900);
    date->wMonth = (WORD)(local->tm_mon + 1);
    date->wDay = (WORD)local->tm_mday;
    date->wDayOfWeek = (WORD)local->tm_wday;
    return 1;
}

// The local date of the day after a local date, carried into the next
// month or year.
static int local_next_date(const SYSTEMTIME *today, SYSTEMTIME *next)
{
    struct tm noon;
    ZeroMemory(&noon, sizeof noon);
    noon.tm_year = today->wYear - 1900;
    noon.tm_mon = today->wMonth - 1;
    noon.tm_mday = today->wDay + 1;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    time_t moment = mktime(&noon);
    if (moment == (time_t)-1)
        return 0;
    return local_date_of((int64_t)moment, next);
}

// Timer 4 and WM_TIMECHANGE: the calendar's today mark and the date line.
static void show_today(HWND window)
{
    SYSTEMTIME today;
    if (local_date_of(clock_now_seconds(), &today))
        SendDlgItemMessageA(window, IDC_CALENDAR, MCM_SETTODAY, 0, (LPARAM)&today);
    char *text = today_text(today_day_number());
    SetDlgItemTextA(window, IDC_TODAY, text != NULL ? text : "");
    mem_free(text);
}

static HFONT create_panel_font(int points, int dots_per_inch)
{
    LOGFONTA font;
    ZeroMemory(&font, sizeof font);
    font.lfHeight = -MulDiv(points, dots_per_inch, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_STROKE_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    lstrcpyA(font.lfFaceName, "Arial Cyr");
    return CreateFontIndirectA(&font);
}

static void create_fonts(void)
{
    HDC screen = GetDC(NULL);
    int dots_per_inch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    small_font = create_panel_font(SMALL_FONT_POINTS, dots_per_inch);
    large_font = create_panel_font(LARGE_FONT_POINTS, dots_per_inch);
    credit_font = create_panel_font(CREDIT_FONT_POINTS, dots_per_inch);
}

static HICON load_panel_icon(HINSTANCE instance, int id)
{
    return (HICON)LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, PANEL_ICON_SIZE,
                             PANEL_ICON_SIZE, LR_DEFAULTCOLOR);
}

static void load_icons(HINSTANCE instance)
{
    for (int k = 0; k < CONDITION_COUNT; k++)
        condition_icons[k] = load_panel_icon(instance, IDI_CONDITION_FIRST + k);
    busy_icon = load_panel_icon(instance, IDI_BUSY);
}

// Tomorrow, both as the shown day and as the calendar's selection; the
// calendar's today mark from the same clock, so that from the start it
// marks the day before the one the heading names.
static void select_tomorrow(HWND window)
{
    selected_day = today_day_number() + 1.0;
    SYSTEMTIME today, tomorrow;
    if (!local_date_of(clock_now_seconds(), &today))
        return;
    SendDlgItemMessageA(window, IDC_CALENDAR, MCM_SETTODAY, 0, (LPARAM)&today);
    if (local_next_date(&today, &tomorrow))
        SendDlgItemMessageA(window, IDC_CALENDAR, MCM_SETCURSEL, 0, (LPARAM)&tomorrow);
}

static void open_notice(HWND window)
{
    if (panel_notice_proc == NULL)
        return;
    HWND notice = CreateDialogParamA(instance_of(window), MAKEINTRESOURCEA(IDD_NOTICE), window,
                                     panel_notice_proc, 0);
    if (notice != NULL) {
        ShowWindow(notice, SW_SHOW);
        UpdateWindow(notice);
    }
}

static INT_PTR on_init(HWND window)
{
    HINSTANCE instance = instance_of(window);
    panel_window = window;

    setlocale(LC_ALL, "");                                              // 1
    SendMessageA(window, WM_SETICON, ICON_BIG,                          // 2
                 (LPARAM)LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP)));
    fill_country_list(window);                                          // 3
    fill_city_list(window);
    create_fonts();                                                     // 4
    load_icons(instance);                                               // 5
    select_tomorrow(window);                                            // 6
    SetTimer(window, START_TIMER, 0, NULL);                             // 7
    SetTimer(window, CLOCK_TIMER, CLOCK_PERIOD_MS, NULL);
    settings_read_panel_values();                                       // 8
    if (is_autostart)                                                   // 9
        autostart_enable();
    else
        autostart_disable();
    SendMessageA(window, WM_COMMAND, CMD_AUTO_REFRESH, (LPARAM)is_get_fore);  // 10
    char *text = today_text(today_day_number());                        // 11
    SetDlgItemTextA(window, IDC_TODAY, text != NULL ? text : "");
    mem_free(text);
    if (!is_never_show)                                                 // 12
        open_notice(window);
    return TRUE;
}

static INT_PTR on_command(HWND window, WPARAM wparam, LPARAM lparam)
{
    int id = LOWORD(wparam);
    int notification = HIWORD(wparam);
    switch (id) {
    case IDOK:
        EndDialog(window, 1);
        PostQuitMessage(0);
        return TRUE;
    case IDCANCEL:
        ShowWindow(window, SW_HIDE);
        return TRUE;
    case IDC_ABOUT:
        open_modeless_once(&about_dialog, window, IDD_ABOUT, panel_about_proc);
        return FALSE;
    case IDC_SETTINGS:
        open_modeless_once(&settings_dialog, window, IDD_SETTINGS, panel_settings_proc);
        return FALSE;
    case CMD_REFRESH:
        start_fetch(window);
        return FALSE;
    case CMD_AUTO_REFRESH:
        // The period only through the store's bound: never 0 ms, never
        // one past 32 bits, whatever the registry held.
        if (lparam != 0)
            SetTimer(window, REFRESH_TIMER, refresh_period_ms(hours), NULL);
        else
            KillTimer(window, REFRESH_TIMER);
        return FALSE;
    case IDC_COUNTRY:
        if (notification == CBN_SELCHANGE) {
            save_location_selection(window, 1);
            fill_city_list(window);
            start_fetch(window);
        }
        return TRUE;
    case IDC_CITY:
        if (notification == CBN_SELCHANGE) {
            save_location_selection(window, 0);
            start_fetch(window);
        }
        return FALSE;
    default:
        return DefWindowProcA(window, WM_COMMAND, wparam, lparam);
    }
}

static INT_PTR on_timer(HWND window, WPARAM id)
{
    if (id == CLOCK_TIMER) {
        show_today(window);
    } else if (id == REFRESH_TIMER) {
        start_fetch(window);
    } else if (id == FETCH_POLL_TIMER) {
        if (fetch_done.load(std::memory_order_acquire)) {
            KillTimer(window, FETCH_POLL_TIMER);
            update_weather_texts(window);
            fetch_done.store(0);
        }
    } else if (id == START_TIMER) {
        KillTimer(window, START_TIMER);
        SetDlgItemTextA(window, IDC_ACTUAL_TEXT, "");
        SetDlgItemTextA(window, IDC_FORECAST_TEXT, "");
        if (is_first_fore)
            start_fetch(window);
    }
    return FALSE;
}

static INT_PTR on_notify(HWND window, const NMHDR *header)
{
    if (header->idFrom != IDC_CALENDAR || header->code != MCN_SELCHANGE)
        return FALSE;
    SYSTEMTIME chosen;
    ZeroMemory(&chosen, sizeof chosen);
    if (SendDlgItemMessageA(window, IDC_CALENDAR, MCM_GETCURSEL, 0, (LPARAM)&chosen)) {
        CalendarDate date = {(double)chosen.wYear, (double)chosen.wMonth, (double)chosen.wDay,
                             0.0, 0.0, 0.0};
        selected_day = date_to_day_number(&date);
        update_weather_texts(window);
    }
    return FALSE;
}

static INT_PTR on_paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc != NULL) {
        PanelView view;
        view.record = weather_record;
        view.fetch_running = fetch_running.load(std::memory_order_acquire);
        view.selected_day = selected_day;
        for (int k = 0; k < CONDITION_COUNT; k++)
            view.condition_icons[k] = condition_icons[k];
        view.busy_icon = busy_icon;
        view.small_font = small_font;
        view.large_font = large_font;
        view.open_data_credit = fetch_open_data_parts.load(std::memory_order_acquire) != 0;
        view.credit_font = credit_font;
        RECT client;
        GetClientRect(window, &client);
        paint_panel(dc, &client, &view);
        EndPaint(window, &paint);
    }
    return FALSE;
}

static INT_PTR on_time_change(HWND window, WPARAM wparam, LPARAM lparam)
{
    show_today(window);
    return DefWindowProcA(window, WM_TIMECHANGE, wparam, lparam);
}

INT_PTR CALLBACK panel_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        return on_init(window);
    case WM_COMMAND:
        return on_command(window, wparam, lparam);
    case WM_TIMER:
        return on_timer(window, wparam);
    case WM_NOTIFY:
        return on_notify(window, (const NMHDR *)lparam);
    case WM_PAINT:
        return on_paint(window);
    case WM_TIMECHANGE:
        return on_time_change(window, wparam, lparam);
    default:
        return FALSE;
    }
}
