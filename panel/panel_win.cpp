// The panel dialog: its initialisation, timers, commands, calendar and
// painting. Main thread only.
#include "panel/panel.h"
#include "panel/modeless_win.h"

#include <commctrl.h>
#include <locale.h>
#include <string.h>
#include <time.h>

#include "fetch/fetch_failure.h"
#include "fetch/fetch_job.h"
#include "fetch/fetch_schedule.h"
#include "fetch/weather_record.h"
#include "panel/date_text.h"
#include "panel/day_number.h"
#include "panel/kept_weather.h"
#include "panel/panel_paint.h"
#include "panel/panel_screen.h"
#include "panel/tray_text.h"
#include "panel/weather_text.h"
#include "res/resource.h"
#include "settings/catalogue.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "util/mem.h"

enum { CLOCK_PERIOD_MS = 60000 };

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
// Posted to itself after a change of scale: the calendar and the place
// once the dialog manager has scaled the controls.
static const UINT PANEL_REFIT_MESSAGE = WM_APP + 1;

HWND panel_window;
double selected_day;
HWND about_dialog;
HWND settings_dialog;

DLGPROC panel_about_proc;
DLGPROC panel_settings_proc;
DLGPROC panel_notice_proc;
PanelTrayShow panel_tray_show;

#ifndef WM_POWERBROADCAST
#define WM_POWERBROADCAST 0x0218
#endif
#ifndef PBT_APMRESUMESUSPEND
#define PBT_APMRESUMESUSPEND 0x0007
#endif
#ifndef PBT_APMRESUMEAUTOMATIC
#define PBT_APMRESUMEAUTOMATIC 0x0012
#endif

// When to fetch and what to show between fetches: the schedule, the weather
// kept through fetches that bring nothing, the record the panel shows (the
// fresh or the kept weather) and what each of its parts is, the place of
// the fetch under way and whether the user asked for it (then the panel
// shows the busy state; otherwise the shown weather stays, with a small
// cue), and the day the clock was last seen on.
struct PanelWeather {
    FetchSchedule schedule;
    KeptWeather kept;
    WeatherRecord *shown;
    ShownWeather state;
    char *fetch_place;
    int32_t fetch_is_user;
    double today_key;
    int32_t open_data_parts;  // the kept parts that came from the open data (WEATHER_PART_*)
    int32_t failure;          // why the last fetch got nothing (FETCH_FAILURE_*)
};

static PanelWeather weather;

static HICON condition_icons[CONDITION_COUNT];
static HICON busy_icon;
static HICON cue_icon;
static HFONT small_font;
static HFONT large_font;
static HFONT credit_font;
// The painted parts at the panel's present dots per inch.
static PanelLayout layout;
// "TaskbarCreated": a shell that has (re)started, perhaps with another
// work area.
static UINT taskbar_created_message;

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

static HFONT create_panel_font(int height)
{
    LOGFONTA font;
    ZeroMemory(&font, sizeof font);
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_STROKE_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    lstrcpyA(font.lfFaceName, "Arial Cyr");
    return CreateFontIndirectA(&font);
}

static HICON load_panel_icon(HINSTANCE instance, int id, int size)
{
    return (HICON)LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
}

static void release_fonts_and_icons(void)
{
    for (int k = 0; k < CONDITION_COUNT; k++) {
        if (condition_icons[k] != NULL)
            DestroyIcon(condition_icons[k]);
        condition_icons[k] = NULL;
    }
    if (busy_icon != NULL)
        DestroyIcon(busy_icon);
    if (cue_icon != NULL)
        DestroyIcon(cue_icon);
    busy_icon = cue_icon = NULL;
    if (small_font != NULL)
        DeleteObject(small_font);
    if (large_font != NULL)
        DeleteObject(large_font);
    if (credit_font != NULL)
        DeleteObject(credit_font);
    small_font = large_font = credit_font = NULL;
}

// The layout, the fonts and the icons at the window's dots per inch: at
// start and whenever the window moves to another.
static void load_fonts_and_icons(HWND window)
{
    release_fonts_and_icons();
    panel_layout_for_dpi(window_dpi(window), &layout);
    small_font = create_panel_font(layout.small_font_height);
    large_font = create_panel_font(layout.large_font_height);
    credit_font = create_panel_font(layout.credit_font_height);
    HINSTANCE instance = instance_of(window);
    for (int k = 0; k < CONDITION_COUNT; k++)
        condition_icons[k] = load_panel_icon(instance, IDI_CONDITION_FIRST + k, layout.icon_size);
    busy_icon = load_panel_icon(instance, IDI_BUSY, layout.icon_size);
    cue_icon = load_panel_icon(instance, IDI_BUSY, layout.cue_size);
}

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

// The month calendar needs more room than its template gives it with week
// numbers, and how much depends on the system's version, the font and the
// dots per inch: it grows to what it asks for, and the right column and
// the panel grow with it; the weather half stays as it is.
static void fit_calendar(HWND window)
{
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
    // The lists and the date line reach to the calendar's right edge; the
    // buttons below it keep their place at its right and bottom.
    move_control(window, IDC_COUNTRY, 0, 0, dx);
    move_control(window, IDC_CITY, 0, 0, dx);
    move_control(window, IDC_TODAY, 0, 0, dx);
    move_control(window, IDCANCEL, dx, dy, 0);
    move_control(window, IDC_SETTINGS, 0, dy, 0);
    RECT frame;
    GetWindowRect(window, &frame);
    SetWindowPos(window, NULL, 0, 0, frame.right - frame.left + dx, frame.bottom - frame.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The calendar's and "Закрыть"'s rectangles in the panel's client
// coordinates: the credit line and the status strip are placed from them,
// so both follow the calendar's fitting and the panel's scale.
static int calendar_and_button(HWND panel, RECT *calendar, RECT *button)
{
    HWND calendar_window = GetDlgItem(panel, IDC_CALENDAR);
    HWND button_window = GetDlgItem(panel, IDCANCEL);
    if (calendar_window == NULL || button_window == NULL || !GetWindowRect(calendar_window, calendar) ||
        !GetWindowRect(button_window, button))
        return 0;
    MapWindowPoints(NULL, panel, (POINT *)calendar, 2);
    MapWindowPoints(NULL, panel, (POINT *)button, 2);
    return 1;
}

// The open data's credit line: the strip between the calendar and the
// buttons below it, as wide as the calendar.
void panel_credit_box(HWND panel, RECT *box)
{
    SetRectEmpty(box);
    RECT calendar, button;
    if (calendar_and_button(panel, &calendar, &button))
        SetRect(box, calendar.left, calendar.bottom, calendar.right, button.top);
}

// The time line of kept weather and the busy cue: the buttons' row, from
// the calendar's left edge to just before "Закрыть".
void panel_status_box(HWND panel, RECT *box)
{
    SetRectEmpty(box);
    RECT calendar, button;
    if (calendar_and_button(panel, &calendar, &button) && button.left - layout.status_gap > calendar.left)
        SetRect(box, calendar.left, button.top, button.left - layout.status_gap, button.bottom);
}

WeatherRecord *panel_shown_record(void)
{
    return weather.shown;
}

static double day_key(double day_number)
{
    return (double)(int64_t)(day_number + 0.5);
}

// The one-shot timer of the schedule, for whatever fetch is due next.
static void arm_schedule_timer(HWND window)
{
    uint32_t ms = fetch_schedule_timer_ms(&weather.schedule, (int64_t)GetTickCount64());
    if (ms == FETCH_TIMER_IDLE)
        KillTimer(window, REFRESH_TIMER);
    else
        SetTimer(window, REFRESH_TIMER, ms, NULL);
}

// The notification icon: the shown temperature (unless the setting turns
// it off) or the thermometer, and the tooltip with the place and the time
// of the data.
static void show_in_tray(HWND window)
{
    if (panel_tray_show == NULL)
        return;
    char temperature[16];
    int has_temperature = is_tray_temperature && weather.state.observation != SHOWN_EMPTY &&
                          tray_temperature_text(weather.shown->temperature, temperature, sizeof temperature);
    char title[128];
    if (LoadStringA(instance_of(window), IDS_APP_TITLE, title, sizeof title) <= 0)
        title[0] = 0;
    const CityEntry *place = location_place(window);
    char *tip = tray_tip_text(title, place != NULL ? city_name_of(place) : NULL, weather.shown, &weather.state,
                              clock_now_seconds(), weather.failure);
    panel_tray_show(has_temperature ? temperature : NULL, tip != NULL ? tip : title);
    mem_free(tip);
}

// What the panel shows, from the kept weather of the chosen place at the
// present moment: the texts, the painted parts and the icon. Left alone
// while a fetch the user asked for shows the busy state.
static void show_weather(HWND window)
{
    if (weather.shown == NULL)
        return;
    if (weather.fetch_is_user && fetch_running.load(std::memory_order_acquire))
        return;
    char *place = location_path(window);
    kept_weather_show(&weather.kept, place, clock_now_seconds(), today_day_number(), weather.shown,
                      &weather.state);
    mem_free(place);
    update_weather_texts(window);
    show_in_tray(window);
}

// Every fetch starts here, with its reason: the schedule learns of it, and
// a fetch the user asked for empties what is shown, so the busy state
// shows; any other keeps the shown weather on screen with the busy cue.
static void fetch_now(HWND window, int32_t reason)
{
    fetch_schedule_started(&weather.schedule, (int64_t)GetTickCount64(), reason);
    mem_free(weather.fetch_place);
    weather.fetch_place = location_path(window);
    weather.fetch_is_user = fetch_reason_is_user(reason);
    if (weather.fetch_is_user && weather.shown != NULL) {
        weather_record_reset(weather.shown);
        memset(&weather.state, 0, sizeof weather.state);
    }
    start_fetch(window);
    arm_schedule_timer(window);
}

// The worker is done: what it brought is kept, the schedule learns what it
// got, and the panel shows the fresh or the kept weather.
static void take_fetch(HWND window)
{
    int32_t parts = kept_weather_store(&weather.kept, weather_record, weather.fetch_place, clock_now_seconds());
    // A part the fetch brought carries its source; a kept one keeps the
    // source it came with, so kept open data still shows its credit.
    int32_t from_open_data = fetch_open_data_parts.load(std::memory_order_acquire);
    weather.open_data_parts = (weather.open_data_parts & ~parts) | (from_open_data & parts);
    fetch_schedule_ended(&weather.schedule, (int64_t)GetTickCount64(), parts);
    if (fetch_open_data_busy.load(std::memory_order_acquire))
        fetch_schedule_throttled(&weather.schedule, (int64_t)GetTickCount64());
    // The reason stays until a fetch brings weather.
    weather.failure = parts != 0 ? FETCH_FAILURE_NONE : fetch_failure.load(std::memory_order_acquire);
    weather.fetch_is_user = 0;
    show_weather(window);
    arm_schedule_timer(window);
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

// The panel's weather state afresh (a panel created again in the same
// process, as the tests do, starts from nothing).
static void init_weather(void)
{
    kept_weather_free(&weather.kept);
    mem_free(weather.fetch_place);
    if (weather.shown == NULL)
        weather.shown = weather_record_create();
    if (weather.shown != NULL)
        weather_record_reset(weather.shown);
    memset(&weather.state, 0, sizeof weather.state);
    weather.fetch_place = NULL;
    weather.fetch_is_user = 0;
    weather.failure = 0;
    weather.today_key = day_key(today_day_number());
    set_shown_weather_record(weather.shown);
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
    load_fonts_and_icons(window);                                       // 4, 5
    fit_calendar(window);
    taskbar_created_message = RegisterWindowMessageA("TaskbarCreated");
    select_tomorrow(window);                                            // 6
    SetTimer(window, START_TIMER, 0, NULL);                             // 7
    SetTimer(window, CLOCK_TIMER, CLOCK_PERIOD_MS, NULL);
    settings_read_panel_values();                                       // 8
    if (is_autostart)                                                   // 9
        autostart_enable();
    else
        autostart_disable();
    init_weather();
    fetch_schedule_init(&weather.schedule, (int64_t)GetTickCount64(), refresh_period_ms(hours), is_get_fore);
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
        fetch_now(window, FETCH_REASON_MANUAL);
        return FALSE;
    case CMD_AUTO_REFRESH:
        // The period only through the store's bound: never 0 ms, never
        // one past 32 bits, whatever the registry held.
        fetch_schedule_set_period(&weather.schedule, (int64_t)GetTickCount64(), refresh_period_ms(hours),
                                  lparam != 0);
        arm_schedule_timer(window);
        // The setting of the icon's temperature comes with the same OK.
        show_in_tray(window);
        return FALSE;
    case IDC_COUNTRY:
        if (notification == CBN_SELCHANGE) {
            save_location_selection(window, 1);
            fill_city_list(window);
            fetch_now(window, FETCH_REASON_PLACE);
        }
        return TRUE;
    case IDC_CITY:
        if (notification == CBN_SELCHANGE) {
            save_location_selection(window, 0);
            fetch_now(window, FETCH_REASON_PLACE);
        }
        return FALSE;
    default:
        return DefWindowProcA(window, WM_COMMAND, wparam, lparam);
    }
}

// The date line and the today mark, the kept weather's limits (6 hours for
// the observation, past days for the forecast) and, once a new day has
// begun, a catch-up fetch when one is due.
static void on_clock(HWND window, int clock_changed)
{
    show_today(window);
    show_weather(window);
    double key = day_key(today_day_number());
    if (clock_changed || key != weather.today_key) {
        weather.today_key = key;
        fetch_schedule_clock_changed(&weather.schedule, (int64_t)GetTickCount64());
        arm_schedule_timer(window);
    }
}

static void on_schedule_timer(HWND window)
{
    int32_t reason = fetch_schedule_due(&weather.schedule, (int64_t)GetTickCount64());
    if (reason != FETCH_REASON_NONE)
        fetch_now(window, reason);
    else
        arm_schedule_timer(window);
}

static INT_PTR on_timer(HWND window, WPARAM id)
{
    if (id == CLOCK_TIMER) {
        on_clock(window, 0);
    } else if (id == REFRESH_TIMER) {
        on_schedule_timer(window);
    } else if (id == FETCH_POLL_TIMER) {
        if (fetch_done.load(std::memory_order_acquire)) {
            KillTimer(window, FETCH_POLL_TIMER);
            fetch_done.store(0);
            take_fetch(window);
        }
    } else if (id == START_TIMER) {
        KillTimer(window, START_TIMER);
        SetDlgItemTextA(window, IDC_ACTUAL_TEXT, "");
        SetDlgItemTextA(window, IDC_FORECAST_TEXT, "");
        if (is_first_fore)
            fetch_now(window, FETCH_REASON_START);
        else
            show_in_tray(window);
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
        int32_t running = fetch_running.load(std::memory_order_acquire);
        view.record = weather.shown;
        view.fetch_running = running && weather.fetch_is_user;
        view.selected_day = selected_day;
        for (int k = 0; k < CONDITION_COUNT; k++)
            view.condition_icons[k] = condition_icons[k];
        view.busy_icon = busy_icon;
        view.small_font = small_font;
        view.large_font = large_font;
        int32_t shown_parts = (weather.state.observation != SHOWN_EMPTY ? WEATHER_PART_OBSERVATION : 0) |
                              (weather.state.forecast != SHOWN_EMPTY ? WEATHER_PART_DAYS : 0);
        view.open_data_credit = (weather.open_data_parts & shown_parts) != 0;
        view.credit_font = credit_font;
        view.layout = &layout;
        panel_credit_box(window, &view.credit_box);
        panel_status_box(window, &view.status_box);
        view.busy_cue = running && !weather.fetch_is_user;
        view.cue_icon = cue_icon;
        char *data_time = status_strip_text(&weather.state, weather.failure, clock_now_seconds());
        view.data_time = data_time;
        RECT client;
        GetClientRect(window, &client);
        paint_panel(dc, &client, &view);
        mem_free(data_time);
        EndPaint(window, &paint);
    }
    return FALSE;
}

static INT_PTR on_time_change(HWND window, WPARAM wparam, LPARAM lparam)
{
    on_clock(window, 1);
    return DefWindowProcA(window, WM_TIMECHANGE, wparam, lparam);
}

// Back from sleep: the date at once; a fetch follows when the weather is
// older than the period.
static INT_PTR on_power(HWND window, WPARAM event)
{
    if (event != PBT_APMRESUMEAUTOMATIC && event != PBT_APMRESUMESUSPEND)
        return FALSE;
    show_today(window);
    show_weather(window);
    fetch_schedule_resumed(&weather.schedule, (int64_t)GetTickCount64());
    arm_schedule_timer(window);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

static INT_PTR on_network_change(HWND window)
{
    fetch_schedule_network_changed(&weather.schedule, (int64_t)GetTickCount64());
    arm_schedule_timer(window);
    return TRUE;
}

// A shell that has (re)started: perhaps another work area, and the icon
// (added again by its own thread) shows the weather again.
static INT_PTR on_screen_change(HWND window);

static INT_PTR on_taskbar_created(HWND window)
{
    on_screen_change(window);
    show_in_tray(window);
    return FALSE;
}


// Another monitor or a change of its scale. The dialog manager scales the
// controls and the window after this handler (hence FALSE); the painted
// parts follow now, the calendar and the place once the controls have been
// scaled.
static INT_PTR on_dpi_changed(HWND window)
{
    load_fonts_and_icons(window);
    InvalidateRect(window, NULL, TRUE);
    PostMessageA(window, PANEL_REFIT_MESSAGE, 0, 0);
    return FALSE;
}

// The work area, the displays or the system's fonts changed: the calendar
// may need other room, and the panel another place.
static INT_PTR on_screen_change(HWND window)
{
    fit_calendar(window);
    place_panel(window);
    return FALSE;
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
    case WM_POWERBROADCAST:
        return on_power(window, wparam);
    case PANEL_NETWORK_MESSAGE:
        return on_network_change(window);
    case WM_DPICHANGED:
        return on_dpi_changed(window);
    case PANEL_REFIT_MESSAGE:
    case WM_SETTINGCHANGE:
    case WM_DISPLAYCHANGE:
    case WM_THEMECHANGED:
        return on_screen_change(window);
    case WM_EXITSIZEMOVE:
        note_panel_moved_by_user();
        return FALSE;
    default:
        if (taskbar_created_message != 0 && message == taskbar_created_message)
            return on_taskbar_created(window);
        return FALSE;
    }
}
