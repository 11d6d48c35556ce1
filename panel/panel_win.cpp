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
#include "fetch/weather_record.h"
#include "panel/date_text.h"
#include "panel/day_number.h"
#include "panel/heads_up.h"
#include "panel/heads_up_notice.h"
#include "panel/panel_fit.h"
#include "panel/panel_paint.h"
#include "panel/refresh_unit.h"
#include "panel/panel_screen.h"
#include "panel/place_search_win.h"
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
PanelTrayNotice panel_tray_notice;

#ifndef WM_POWERBROADCAST
#define WM_POWERBROADCAST 0x0218
#endif
#ifndef PBT_APMRESUMESUSPEND
#define PBT_APMRESUMESUSPEND 0x0007
#endif
#ifndef PBT_APMRESUMEAUTOMATIC
#define PBT_APMRESUMEAUTOMATIC 0x0012
#endif

// What a fetch brought, what is shown and kept, and when to fetch next;
// the last answer it gave, for painting.
static RefreshUnit unit;
static RefreshAnswer shown_answer;

static HICON condition_icons[CONDITION_COUNT];
static HICON busy_icon;
static HICON cue_icon;
static HFONT small_font;
static HFONT large_font;
static HFONT credit_font;
static HourStripArt strip_art;
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
    hour_strip_art_free(&strip_art);
}

// The layout, the fonts and the icons at the window's dots per inch: at
// start and whenever the window moves to another.
static void load_fonts_and_icons(HWND window)
{
    release_fonts_and_icons();
    int old_dpi = layout.dpi;
    panel_layout_for_dpi(window_dpi(window), &layout);
    hour_strip_rescaled(window, old_dpi, layout.dpi);
    small_font = create_panel_font(layout.small_font_height);
    large_font = create_panel_font(layout.large_font_height);
    credit_font = create_panel_font(layout.credit_font_height);
    HINSTANCE instance = instance_of(window);
    for (int k = 0; k < CONDITION_COUNT; k++)
        condition_icons[k] = load_panel_icon(instance, IDI_CONDITION_FIRST + k, layout.icon_size);
    busy_icon = load_panel_icon(instance, IDI_BUSY, layout.icon_size);
    cue_icon = load_panel_icon(instance, IDI_BUSY, layout.cue_size);
    HourStripLayout strip;
    hour_strip_layout_for_dpi(layout.dpi, 0, 0, &strip);
    hour_strip_art_load(instance, &strip, &strip_art);
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

// The time line of kept weather, the reason there is none and the busy cue:
// the buttons' row up to just before "Закрыть", from the panel's left edge
// when the row lies below the weather half, else from the calendar's.
void panel_status_box(HWND panel, RECT *box)
{
    SetRectEmpty(box);
    RECT calendar, button;
    if (!calendar_and_button(panel, &calendar, &button))
        return;
    int left = calendar.left;
    HourStripLayout strip;
    if (hour_strip_place(panel, &strip) && button.top >= weather_half_bottom(panel))
        left = strip.left;
    if (button.left - layout.status_gap > left)
        SetRect(box, left, button.top, button.left - layout.status_gap, button.bottom);
}

// A line wants the status row: the data's time or a reason.
static int status_line_wanted(const RefreshAnswer *answer)
{
    return answer->has_kept_time || answer->failure != FETCH_FAILURE_NONE;
}

WeatherRecord *panel_shown_record(void)
{
    return unit.shown;
}

static RefreshMoment moment_now(void)
{
    RefreshMoment now = {(int64_t)GetTickCount64(), clock_now_seconds(), today_day_number()};
    return now;
}

// The notification icon: the temperature (or the thermometer) and the
// tooltip with the place and the time of the data.
static void show_in_tray(HWND window, const RefreshAnswer *answer)
{
    if (panel_tray_show == NULL)
        return;
    char title[128];
    if (LoadStringA(instance_of(window), IDS_APP_TITLE, title, sizeof title) <= 0)
        title[0] = 0;
    char *plain = tray_tip_text(title, location_name(window), answer->tray_shown,
                                &answer->tray_state, clock_now_seconds(), answer->failure);
    // The severe weather ahead, while it lasts, after the place's line.
    char *tip = tip_with_severe_weather(plain, is_warnings ? answer->tray_shown : NULL, clock_now_seconds());
    panel_tray_show(answer->tray_temperature[0] ? answer->tray_temperature : NULL, tip != NULL ? tip : title);
    mem_free(plain);
    mem_free(tip);
}

static void fetch_now(HWND window, int32_t reason);

// Does what the unit answers: a fetch when one is due, the one-shot timer
// for the next, the texts, the painted parts and the icon.
static void follow_unit(HWND window)
{
    RefreshMoment now = moment_now();
    refresh_unit_answer(&unit, &now, &shown_answer);
    if (shown_answer.fetch_reason != FETCH_REASON_NONE) {
        fetch_now(window, shown_answer.fetch_reason);
        return;
    }
    if (shown_answer.timer_ms == FETCH_TIMER_IDLE)
        KillTimer(window, REFRESH_TIMER);
    else
        SetTimer(window, REFRESH_TIMER, shown_answer.timer_ms, NULL);
    update_weather_texts(window);
    show_hour_strip(window, unit.shown, selected_day, shown_answer.busy, status_line_wanted(&shown_answer));
    show_in_tray(window, &shown_answer);
}

static void fetch_now(HWND window, int32_t reason)
{
    RefreshMoment now = moment_now();
    refresh_unit_fetch_started(&unit, &now, reason);
    start_fetch(window);
    follow_unit(window);
}

// The worker is done: the unit learns what it read whole.
static void take_fetch(HWND window)
{
    RefreshMoment now = moment_now();
    FetchEnd end = {weather_record, fetch_whole_parts.load(std::memory_order_acquire),
                    fetch_open_data_parts.load(std::memory_order_acquire),
                    fetch_failure.load(std::memory_order_acquire),
                    fetch_open_data_busy.load(std::memory_order_acquire)};
    refresh_unit_fetch_ended(&unit, &now, &end);
    heads_up_after_fetch(window, refresh_unit_fresh_forecast(&unit), unit.place, is_warnings, now.wall,
                         panel_tray_notice);
    follow_unit(window);
}

// The chosen place: shown at once (nothing of another place's weather, the
// thermometer in the icon), and fetched.
static void change_place(HWND window)
{
    RefreshMoment now = moment_now();
    char *place = location_path(window);
    refresh_unit_place_changed(&unit, &now, place);
    mem_free(place);
    follow_unit(window);
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
static void init_weather(HWND window)
{
    refresh_unit_free(&unit);
    RefreshMoment now = moment_now();
    char *place = location_path(window);
    refresh_unit_init(&unit, &now, refresh_period_ms(hours), is_get_fore, is_tray_temperature, place);
    mem_free(place);
    set_shown_weather_record(unit.shown);
    heads_up_load_ledger();
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
    init_weather(window);
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
    case IDC_FIND:
        open_modeless_once(&place_search_dialog, window, IDD_PLACE_SEARCH, place_search_proc);
        return TRUE;
    case CMD_REFRESH:
        fetch_now(window, FETCH_REASON_MANUAL);
        return FALSE;
    case CMD_NOTICE_DAY:
        if (heads_up_select_day(window, &selected_day))
            follow_unit(window);
        return FALSE;
    case CMD_AUTO_REFRESH: {
        // The period only through the store's bound: never 0 ms, never
        // one past 32 bits, whatever the registry held. The setting of the
        // icon's temperature comes with the same OK.
        RefreshMoment now = moment_now();
        refresh_unit_settings_changed(&unit, &now, refresh_period_ms(hours), lparam != 0, is_tray_temperature);
        follow_unit(window);
        return FALSE;
    }
    case IDC_COUNTRY:
        if (notification == CBN_SELCHANGE && location_list_changed(window, IDC_COUNTRY))
            change_place(window);
        return TRUE;
    case IDC_CITY:
        if (notification == CBN_SELCHANGE && location_list_changed(window, IDC_CITY))
            change_place(window);
        return FALSE;
    default:
        return DefWindowProcA(window, WM_COMMAND, wparam, lparam);
    }
}

// A place chosen in the search window: the lists show it, and its weather
// is fetched.
static INT_PTR on_place_chosen(HWND window, const FoundPlace *place)
{
    choose_found_place(window, place);
    change_place(window);
    return TRUE;
}

// The minute's tick, a change of the system time or a resume: the date
// line and the today mark at once, then the unit (a new day or a changed
// clock may bring a catch-up fetch; kept weather may have passed its time).
static void on_clock(HWND window, void (*event)(RefreshUnit *, const RefreshMoment *))
{
    show_today(window);
    RefreshMoment now = moment_now();
    event(&unit, &now);
    follow_unit(window);
}

static INT_PTR on_timer(HWND window, WPARAM id)
{
    if (id == CLOCK_TIMER) {
        on_clock(window, refresh_unit_clock_tick);
    } else if (id == REFRESH_TIMER) {
        follow_unit(window);
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
            follow_unit(window);
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
        show_hour_strip(window, unit.shown, selected_day, shown_answer.busy, status_line_wanted(&shown_answer));
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
        view.record = unit.shown;
        view.fetch_running = running && unit.running_is_user;
        view.selected_day = selected_day;
        for (int k = 0; k < CONDITION_COUNT; k++)
            view.condition_icons[k] = condition_icons[k];
        view.busy_icon = busy_icon;
        view.small_font = small_font;
        view.large_font = large_font;
        view.open_data_credit = shown_answer.open_data_credit;
        view.credit_font = credit_font;
        view.layout = &layout;
        panel_credit_box(window, &view.credit_box);
        panel_status_box(window, &view.status_box);
        view.busy_cue = running && !unit.running_is_user;
        view.cue_icon = cue_icon;
        char *data_time = status_strip_text(&shown_answer.state, shown_answer.failure, clock_now_seconds());
        view.data_time = data_time;
        view.strip_steps = hour_strip_steps(unit.shown, selected_day, clock_now_seconds(), &view.strip_muted);
        view.strip_art = &strip_art;
        hour_strip_place(window, &view.strip_layout);
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
    on_clock(window, refresh_unit_time_changed);
    return DefWindowProcA(window, WM_TIMECHANGE, wparam, lparam);
}

// Back from sleep: the date at once; a fetch follows when the weather is
// older than the period.
static INT_PTR on_power(HWND window, WPARAM event)
{
    if (event != PBT_APMRESUMEAUTOMATIC && event != PBT_APMRESUMESUSPEND)
        return FALSE;
    on_clock(window, refresh_unit_resumed);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

static INT_PTR on_network_change(HWND window)
{
    on_clock(window, refresh_unit_network_changed);
    return TRUE;
}

// A shell that has (re)started: perhaps another work area, and the icon
// (added again by its own thread) shows the weather again.
static INT_PTR on_screen_change(HWND window);

static INT_PTR on_taskbar_created(HWND window)
{
    on_screen_change(window);
    show_in_tray(window, &shown_answer);
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

// The search window belongs to the panel: hidden with it, it would float
// over the desktop with nothing under it, so it closes as Escape closes it.
static INT_PTR on_show_window(BOOL is_shown)
{
    if (!is_shown && place_search_dialog != NULL)
        DestroyWindow(place_search_dialog);
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
    case WM_SHOWWINDOW:
        return on_show_window((BOOL)wparam);
    case WM_TIMECHANGE:
        return on_time_change(window, wparam, lparam);
    case WM_POWERBROADCAST:
        return on_power(window, wparam);
    case PANEL_NETWORK_MESSAGE:
        return on_network_change(window);
    case PLACE_CHOSEN_MESSAGE:
        return on_place_chosen(window, (const FoundPlace *)lparam);
    case WM_DPICHANGED:
        return on_dpi_changed(window);
    case PANEL_REFIT_MESSAGE:
    case WM_SETTINGCHANGE:
    case WM_DISPLAYCHANGE:
    case WM_THEMECHANGED:
        return on_screen_change(window);
    case WM_ENTERSIZEMOVE:
        note_panel_dragged(1);
        return FALSE;
    case WM_EXITSIZEMOVE:
        note_panel_dragged(0);
        note_panel_moved_by_user();
        return FALSE;
    default:
        if (taskbar_created_message != 0 && message == taskbar_created_message)
            return on_taskbar_created(window);
        return FALSE;
    }
}
