// The real panel, created from its template, looked at through the pixels
// of its window and through its controls: the empty look, a record brought
// by a fetch from a loopback server, the busy look, the calendar, the
// location lists, the refresh timer and the date.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "app/tray.h"
#include "fetch/fetch_job.h"
#include "fetch/fetch_schedule.h"
#include "fetch/open_data_parser.h"
#include "fetch/http_client.h"
#include "fetch/weather_record.h"
#include "panel/date_text.h"
#include "panel/day_number.h"
#include "panel/panel.h"
#include "res/resource.h"
#include "settings/catalogue.h"
#include "settings/dialogs.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "tests/support/page_builder.h"
#include "tests/support/page_clock.h"
#include "tests/support/script_server.h"
#include "tests/support/window_testing.h"
#include "util/mem.h"

namespace {

// Where the panel paints, in client pixels.
const RECT TITLE_BAND = {8, 6, 250, 24};
const RECT HEADER_BAND = {8, 141, 250, 160};
const RECT ACTUAL_ICON = {10, 25, 74, 89};
const RECT FORECAST_ICON = {10, 161, 74, 225};
const RECT ACTUAL_TEMPERATURE = {90, 40, 160, 82};
const RECT DAY_TEMPERATURE = {90, 181, 160, 223};
const RECT NIGHT_TEMPERATURE = {180, 181, 250, 223};

const char NO_VALUE_TEXT[] = "--";
// "Фактическая погода" in code page 1251.
const char ACTUAL_TITLE[] = "\xD4\xE0\xEA\xF2\xE8\xF7\xE5\xF1\xEA\xE0\xFF \xEF\xEE\xE3\xEE\xE4\xE0";

struct Pixels {
    int width;
    int height;
    std::vector<uint32_t> data;  // 0x00RRGGBB, top row first
};

uint32_t pixel_at(const Pixels &p, int x, int y)
{
    return p.data[(size_t)y * (size_t)p.width + (size_t)x] & 0xFFFFFF;
}

// A 32-bit top-down memory bitmap selected into a new memory context.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    uint32_t *bits;
    int width;
    int height;
};

void canvas_open(Canvas *canvas, int width, int height)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    canvas->dc = CreateCompatibleDC(NULL);
    void *bits = NULL;
    canvas->bitmap = CreateDIBSection(canvas->dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    canvas->old = SelectObject(canvas->dc, canvas->bitmap);
    canvas->bits = (uint32_t *)bits;
    canvas->width = width;
    canvas->height = height;
}

Pixels canvas_close(Canvas *canvas)
{
    GdiFlush();
    Pixels p;
    p.width = canvas->width;
    p.height = canvas->height;
    p.data.assign(canvas->bits, canvas->bits + (size_t)canvas->width * (size_t)canvas->height);
    SelectObject(canvas->dc, canvas->old);
    DeleteObject(canvas->bitmap);
    DeleteDC(canvas->dc);
    return p;
}

// What the panel's window shows in its client area as it stands.
Pixels shown_now(HWND panel)
{
    RECT client;
    GetClientRect(panel, &client);
    Canvas canvas;
    canvas_open(&canvas, client.right, client.bottom);
    HDC window_dc = GetDC(panel);
    BitBlt(canvas.dc, 0, 0, client.right, client.bottom, window_dc, 0, 0, SRCCOPY);
    ReleaseDC(panel, window_dc);
    return canvas_close(&canvas);
}

// What the panel's window shows in its client area, after a full repaint.
Pixels capture_panel(HWND panel)
{
    RedrawWindow(panel, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump_for(50);
    return shown_now(panel);
}

// The fonts the panel is meant to draw with, made here from their
// description.
HFONT make_font(int points)
{
    HDC screen = GetDC(NULL);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    return CreateFontA(-MulDiv(points, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                       OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS, ANTIALIASED_QUALITY, 0, "Arial Cyr");
}

HICON load_icon(int id)
{
    return (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_ICON, 64, 64,
                             LR_DEFAULTCOLOR);
}

// What the panel should look like: the captured background with the
// expected icons and texts drawn on it, each where it belongs.
struct Expected {
    int actual_icon;    // resource ids
    int forecast_icon;
    std::string title;
    std::string header;
    std::string actual_temperature;
    std::string day_temperature;
    std::string night_temperature;
};

Pixels draw_expected(const Pixels &captured, const Expected &e)
{
    Canvas canvas;
    canvas_open(&canvas, captured.width, captured.height);
    // The client corner is never painted on: the dialog's background.
    uint32_t background = pixel_at(captured, 2, 2);
    HBRUSH brush = CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF,
                                        background & 0xFF));
    RECT all = {0, 0, captured.width, captured.height};
    FillRect(canvas.dc, &all, brush);
    DeleteObject(brush);

    HICON actual = load_icon(e.actual_icon);
    HICON forecast = load_icon(e.forecast_icon);
    DrawIconEx(canvas.dc, 10, 25, actual, 64, 64, 0, NULL, DI_NORMAL);
    DrawIconEx(canvas.dc, 10, 161, forecast, 64, 64, 0, NULL, DI_NORMAL);
    DestroyIcon(actual);
    DestroyIcon(forecast);

    HFONT small_font = make_font(11);
    HFONT large_font = make_font(24);
    SetBkMode(canvas.dc, TRANSPARENT);
    HGDIOBJ old_font = SelectObject(canvas.dc, small_font);
    SetTextColor(canvas.dc, RGB(225, 0, 0));
    RECT box = {8, 6, captured.width, captured.height};
    DrawTextA(canvas.dc, e.title.c_str(), -1, &box, 0);
    box.top = 141;
    DrawTextA(canvas.dc, e.header.c_str(), -1, &box, 0);
    SelectObject(canvas.dc, large_font);
    SetTextColor(canvas.dc, RGB(0, 0, 255));
    RECT actual_box = {90, 40, 160, captured.height};
    DrawTextA(canvas.dc, e.actual_temperature.c_str(), -1, &actual_box, DT_CENTER);
    RECT day_box = {90, 181, 160, captured.height};
    DrawTextA(canvas.dc, e.day_temperature.c_str(), -1, &day_box, DT_CENTER);
    RECT night_box = {180, 181, 250, captured.height};
    DrawTextA(canvas.dc, e.night_temperature.c_str(), -1, &night_box, DT_CENTER);
    SelectObject(canvas.dc, old_font);
    DeleteObject(small_font);
    DeleteObject(large_font);
    return canvas_close(&canvas);
}

int differences(const Pixels &a, const Pixels &b, const RECT &r)
{
    int count = 0;
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++)
            if (pixel_at(a, x, y) != pixel_at(b, x, y))
                count++;
    return count;
}

// Pixels of a region that are mostly of one primary colour.
int count_colour(const Pixels &p, const RECT &r, int red, int blue)
{
    int count = 0;
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++) {
            uint32_t c = pixel_at(p, x, y);
            int cr = (int)((c >> 16) & 0xFF), cg = (int)((c >> 8) & 0xFF), cb = (int)(c & 0xFF);
            if (red && cr > 180 && cg < 60 && cb < 60)
                count++;
            if (blue && cb > 200 && cr < 60 && cg < 60)
                count++;
        }
    return count;
}

// Every painted region of the window against the expected picture.
void check_painted(const Pixels &captured, const Expected &e)
{
    Pixels expected = draw_expected(captured, e);
    CHECK(differences(captured, expected, TITLE_BAND) == 0);
    CHECK(differences(captured, expected, HEADER_BAND) == 0);
    CHECK(differences(captured, expected, ACTUAL_ICON) == 0);
    CHECK(differences(captured, expected, FORECAST_ICON) == 0);
    CHECK(differences(captured, expected, ACTUAL_TEMPERATURE) == 0);
    CHECK(differences(captured, expected, DAY_TEMPERATURE) == 0);
    CHECK(differences(captured, expected, NIGHT_TEMPERATURE) == 0);
    // The colours themselves: red titles, blue figures.
    CHECK(count_colour(captured, TITLE_BAND, 1, 0) > 20);
    CHECK(count_colour(captured, HEADER_BAND, 1, 0) > 20);
    CHECK(count_colour(captured, ACTUAL_TEMPERATURE, 0, 1) > 20);
    CHECK(count_colour(captured, DAY_TEMPERATURE, 0, 1) > 20);
    CHECK(count_colour(captured, NIGHT_TEMPERATURE, 0, 1) > 20);
    CHECK(count_colour(captured, ACTUAL_TEMPERATURE, 1, 0) == 0);
}

std::string owned_text(char *text)
{
    std::string s = text != NULL ? text : "";
    mem_free(text);
    return s;
}

std::string header_for(int year, int month, int day)
{
    return owned_text(forecast_title_text(page_noon_day_number(year, month, day)));
}

std::string control_text(HWND panel, int id)
{
    char text[400];
    text[0] = '\0';
    GetDlgItemTextA(panel, id, text, sizeof text);
    return text;
}

void store_value(const char *name, int32_t value)
{
    reg_create_key("Software", "Keldmark");
    reg_create_key(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME);
    reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, name, &value, sizeof value);
}

int32_t stored_value(const char *name)
{
    int32_t value = -12345;
    reg_read_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, name, &value, sizeof value);
    return value;
}

// The settings the panel reads at its creation; the proxy, when given, is
// the loopback server.
void store_settings(int32_t first_fore, int32_t get_fore, uint16_t proxy)
{
    store_value(VALUE_IS_AUTOSTART, 0);
    store_value(VALUE_IS_NEVER_SHOW, 1);
    store_value(VALUE_IS_FIRST_FORE, first_fore);
    store_value(VALUE_IS_GET_FORE, get_fore);
    store_value(VALUE_HOURS, 2);
    store_value(VALUE_IS_USE_PROXY, proxy != 0);
    store_value(VALUE_PROXY_PORT, proxy);
    const char name[] = "127.0.0.1";
    reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_NAME, name, sizeof name - 1);
    store_value(VALUE_CUR_COUNTRY, 0);
    store_value(VALUE_CUR_CITY, 0);
    // The service's pages alone: these cases count their requests.
    store_value(VALUE_DATA_SOURCE, DATA_SOURCE_PAGES_ONLY);
}

HWND create_panel(void)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HWND panel = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PANEL), NULL,
                                    panel_dialog_proc, 0);
    REQUIRE(panel != NULL);
    SetWindowPos(panel, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(panel);
    pump_for(150);
    return panel;
}

void destroy_panel(HWND panel)
{
    wait_for_fetch();
    DestroyWindow(panel);
    panel_window = NULL;
    pump_for(20);
}

// Pumps until the poll timer has taken the finished fetch in.
bool wait_fetch_taken(HWND panel, DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        pump_for(20);
        if (!fetch_running.load() && !fetch_done.load()) {
            // One more poll period, in case the worker had only just ended.
            pump_for(FETCH_POLL_PERIOD_MS + 100);
            if (!fetch_running.load() && !fetch_done.load())
                return true;
        }
    }
    (void)panel;
    return false;
}

SYSTEMTIME calendar_selection(HWND panel)
{
    SYSTEMTIME date;
    ZeroMemory(&date, sizeof date);
    SendDlgItemMessageA(panel, IDC_CALENDAR, MCM_GETCURSEL, 0, (LPARAM)&date);
    return date;
}

SYSTEMTIME calendar_today(HWND panel)
{
    SYSTEMTIME date;
    ZeroMemory(&date, sizeof date);
    SendDlgItemMessageA(panel, IDC_CALENDAR, MCM_GETTODAY, 0, (LPARAM)&date);
    return date;
}

std::string ymd(const SYSTEMTIME &d)
{
    char text[40];
    snprintf(text, sizeof text, "%04d-%02d-%02d", d.wYear, d.wMonth, d.wDay);
    return text;
}

std::string ymd(int year, int month, int day)
{
    char text[40];
    snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

// Picks a date in the calendar as the user would: the selection, then the
// calendar's notification to its parent.
void choose_date(HWND panel, int year, int month, int day)
{
    HWND calendar = GetDlgItem(panel, IDC_CALENDAR);
    SYSTEMTIME date;
    ZeroMemory(&date, sizeof date);
    date.wYear = (WORD)year;
    date.wMonth = (WORD)month;
    date.wDay = (WORD)day;
    SendMessageA(calendar, MCM_SETCURSEL, 0, (LPARAM)&date);
    NMSELCHANGE change;
    ZeroMemory(&change, sizeof change);
    change.nmhdr.hwndFrom = calendar;
    change.nmhdr.idFrom = IDC_CALENDAR;
    change.nmhdr.code = MCN_SELCHANGE;
    change.stSelStart = date;
    change.stSelEnd = date;
    SendMessageA(panel, WM_NOTIFY, IDC_CALENDAR, (LPARAM)&change);
}

// Picks an entry of one of the two lists as the user would.
void choose_entry(HWND panel, int id, int position)
{
    HWND list = GetDlgItem(panel, id);
    SendMessageA(list, CB_SETCURSEL, (WPARAM)position, 0);
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)list);
}

// A connection of the loopback server as a forward proxy: the request,
// then the page (or, without an answer, held open).
ScriptConnection proxied(const std::string &response, bool answer)
{
    return answer ? script_answer(response) : script_silent();
}

// A panel whose fetch at start went through a proxy that forwards the two
// pages, once the poll has taken the weather in; the proxy is stopped, what
// it received kept.
HWND panel_fetched_through(ScriptServer *server, const std::string &actual_page,
                           const std::string &forecast_page)
{
    REQUIRE(script_server_start(server, {proxied(actual_page, true), proxied(forecast_page, true)}));
    store_settings(1, 0, server->port);
    HWND panel = create_panel();
    REQUIRE(script_server_wait_requests(server, 2, 10000));
    REQUIRE(wait_fetch_taken(panel, 10000));
    script_server_stop(server);
    return panel;
}

std::string page_text(char *page, int32_t length)
{
    std::string s(page, (size_t)length);
    mem_free(page);
    return s;
}

// The path of the GET that a connection brought to the proxy, after the
// service's host.
std::string requested_path(const std::string &received)
{
    std::string start = std::string("GET http://") + SERVICE_HOST + "/";
    if (received.compare(0, start.size(), start) != 0)
        return "";
    size_t end = received.find(' ', start.size());
    return received.substr(start.size(), end - start.size());
}

// The forecast page of 10 March 2026 (the tests' clock), with tomorrow's
// day and night temperatures when given, and an actual page at temperature.
std::string march_10_forecast(bool set_tomorrow = false, int day = 0, int night = 0)
{
    ForecastPageSpec forecast;
    page_forecast_defaults(&forecast);
    char heading[64];
    page_date_heading(page_noon_day_number(2026, 3, 10), heading, sizeof heading);
    forecast.date_headings[0] = heading;
    if (set_tomorrow) {
        forecast.days[1].day_temperature = day;
        forecast.days[1].night_temperature = night;
    }
    int32_t length = 0;
    char *page = page_build_forecast(&forecast, &length);  // before length is read
    return page_text(page, length);
}

std::string actual_at(int temperature)
{
    ActualPageSpec actual;
    page_actual_defaults(&actual);
    actual.temperature = temperature;
    int32_t length = 0;
    char *page = page_build_actual(&actual, &length);
    return page_text(page, length);
}

const char *const FETCH_PATHS_MOSCOW[] = {"pogoda/russia/moscow-area/moscow",
                                          "forecasts5000/russia/moscow-area/moscow/print"};

struct NetStart {
    NetStart() { net_startup(); }
} net_start;

}  // namespace

TEST_CASE("without a fetch at start: no-data icons, dashes, empty blocks, tomorrow's heading")
{
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    store_settings(0, 0, 0);
    HWND panel = create_panel();

    CHECK(fetch_running.load() == 0);
    CHECK(control_text(panel, IDC_ACTUAL_TEXT) == "");
    CHECK(control_text(panel, IDC_FORECAST_TEXT) == "");
    CHECK(ymd(calendar_selection(panel)) == "2026-03-11");
    CHECK(ymd(calendar_today(panel)) == "2026-03-10");
    // "Сегодня: 10 марта 2026г, " and the weekday.
    CHECK(control_text(panel, IDC_TODAY).rfind("\xD1\xE5\xE3\xEE\xE4\xED\xFF: 10 \xEC\xE0\xF0\xF2\xE0 2026\xE3, ", 0) == 0);

    Pixels shown = capture_panel(panel);
    Expected e = {IDI_CONDITION_FIRST, IDI_CONDITION_FIRST, ACTUAL_TITLE, header_for(2026, 3, 11),
                  NO_VALUE_TEXT, NO_VALUE_TEXT, NO_VALUE_TEXT};
    check_painted(shown, e);

    // The comparison tells icons apart: the busy icon is not the no-data one.
    Expected busy = e;
    busy.actual_icon = IDI_BUSY;
    CHECK(differences(shown, draw_expected(shown, busy), ACTUAL_ICON) > 100);
    // And texts: another day's heading does not pass.
    Expected other_day = e;
    other_day.header = header_for(2026, 3, 12);
    CHECK(differences(shown, draw_expected(shown, other_day), HEADER_BAND) > 0);

    destroy_panel(panel);
    page_clock_release();
}

TEST_CASE("a record from the test pages, other dates and edge temperatures")
{
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    std::string forecast_page = march_10_forecast(true, 5, -3);
    std::string actual_page = actual_at(-7);

    ScriptServer server;
    HWND panel = panel_fetched_through(&server, actual_page, forecast_page);

    std::vector<std::string> got = script_server_received(&server);
    REQUIRE(got.size() == 2);
    CHECK(requested_path(got[0]) == FETCH_PATHS_MOSCOW[0]);
    CHECK(requested_path(got[1]) == FETCH_PATHS_MOSCOW[1]);

    REQUIRE(weather_record != NULL);
    // What the panel paints: its own record of the fetched weather.
    WeatherRecord *record = panel_shown_record();
    REQUIRE(record != NULL);
    REQUIRE(record->temperature == -7);
    REQUIRE(record->days[1].day_temperature == 5);
    REQUIRE(record->days[1].night_temperature == -3);
    int actual_code = record->condition;
    int forecast_code = record->days[1].condition;
    // The pages' pictures give conditions of their own, not the no-data one.
    CHECK(actual_code > 0);
    CHECK(forecast_code > 0);
    CHECK(control_text(panel, IDC_ACTUAL_TEXT) != "");
    CHECK(control_text(panel, IDC_FORECAST_TEXT) != "");

    Expected e = {IDI_CONDITION_FIRST + actual_code, IDI_CONDITION_FIRST + forecast_code,
                  ACTUAL_TITLE, header_for(2026, 3, 11), "-7\xB0", "+5\xB0", "-3\xB0"};
    Pixels shown = capture_panel(panel);
    check_painted(shown, e);

    SUBCASE("a calendar date without a forecast day")
    {
        choose_date(panel, 2026, 3, 25);
        CHECK(control_text(panel, IDC_FORECAST_TEXT) == "");
        CHECK(control_text(panel, IDC_ACTUAL_TEXT) != "");
        Expected none = e;
        none.forecast_icon = IDI_CONDITION_FIRST;
        none.header = header_for(2026, 3, 25);
        none.day_temperature = NO_VALUE_TEXT;
        none.night_temperature = NO_VALUE_TEXT;
        check_painted(capture_panel(panel), none);
    }
    SUBCASE("another day of the week")
    {
        choose_date(panel, 2026, 3, 13);
        Expected later = e;
        later.forecast_icon = IDI_CONDITION_FIRST + record->days[3].condition;
        later.header = header_for(2026, 3, 13);
        later.day_temperature = owned_text(dup_string(temperature_text(record->days[3].day_temperature)));
        later.night_temperature = owned_text(dup_string(temperature_text(record->days[3].night_temperature)));
        check_painted(capture_panel(panel), later);
    }
    SUBCASE("temperatures 99 and 0, 100 and -100")
    {
        record->days[1].day_temperature = 99;
        record->days[1].night_temperature = 0;
        record->temperature = 100;
        Expected edge = e;
        edge.day_temperature = "+99\xB0";
        edge.night_temperature = "+0\xB0";
        edge.actual_temperature = NO_VALUE_TEXT;
        check_painted(capture_panel(panel), edge);

        record->days[1].day_temperature = -100;
        record->days[1].night_temperature = -99;
        record->temperature = -100;
        edge.day_temperature = NO_VALUE_TEXT;
        edge.night_temperature = "-99\xB0";
        check_painted(capture_panel(panel), edge);
    }
    SUBCASE("a condition outside the table draws the no-data icon")
    {
        record->condition = 20;
        record->days[1].condition = -1;
        Expected bounded = e;
        bounded.actual_icon = IDI_CONDITION_FIRST;
        bounded.forecast_icon = IDI_CONDITION_FIRST;
        check_painted(capture_panel(panel), bounded);
    }

    destroy_panel(panel);
    page_clock_release();
}

// Pixels of a region in the muted grey of the data's time.
static int grey_pixels(const Pixels &p, const RECT &r)
{
    int count = 0;
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++) {
            uint32_t c = pixel_at(p, x, y);
            int cr = (int)((c >> 16) & 0xFF), cg = (int)((c >> 8) & 0xFF), cb = (int)(c & 0xFF);
            if (cr == cg && cg == cb && cr >= 110 && cr <= 170)
                count++;
        }
    return count;
}

TEST_CASE("kept weather: a fetch that gets nothing keeps it with its time, an automatic one behind a small cue, "
          "another place empties")
{
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    std::string forecast_page = march_10_forecast();
    std::string actual_page = actual_at(-7);

    ScriptServer server;
    HWND panel = panel_fetched_through(&server, actual_page, forecast_page);
    const WeatherRecord *shown = panel_shown_record();
    REQUIRE(shown->temperature == -7);
    Expected e = {IDI_CONDITION_FIRST + shown->condition, IDI_CONDITION_FIRST + shown->days[1].condition,
                  ACTUAL_TITLE, header_for(2026, 3, 11), "-7\xB0",
                  owned_text(dup_string(temperature_text(shown->days[1].day_temperature))),
                  owned_text(dup_string(temperature_text(shown->days[1].night_temperature)))};
    std::string actual_block = control_text(panel, IDC_ACTUAL_TEXT);
    RECT status;
    panel_status_box(panel, &status);
    REQUIRE(!IsRectEmpty(&status));
    CHECK(grey_pixels(capture_panel(panel), status) == 0);

    // The service gone: the refresh asked for shows the busy state, then
    // the same weather again, marked with its time.
    SendMessageA(panel, WM_COMMAND, CMD_REFRESH, 0);
    REQUIRE(wait_fetch_taken(panel, 10000));
    Pixels kept = capture_panel(panel);
    check_painted(kept, e);
    // The line wants the panel's width: the buttons' row went below the
    // weather half, and the line starts at its left edge.
    RECT narrow = status;
    panel_status_box(panel, &status);
    CHECK(status.top > narrow.top);
    CHECK(status.left < narrow.left);
    CHECK(grey_pixels(kept, status) > 20);
    CHECK(control_text(panel, IDC_ACTUAL_TEXT) == actual_block);

    // The network changes while the service holds the request: the fetch
    // that follows by itself keeps the weather on screen, with the cue.
    ScriptServer holding;
    REQUIRE(script_server_start(&holding, {proxied("", false)}));
    proxy_settings_lock();
    proxy_port = holding.port;
    proxy_settings_unlock();
    PostMessageA(panel, PANEL_NETWORK_MESSAGE, 0, 0);
    bool asked = false;
    for (int waited = 0; !asked && waited < FETCH_NETWORK_DELAY_MS + 5000; waited += 110) {
        pump_for(100);
        asked = script_server_wait_requests(&holding, 1, 10);
    }
    REQUIRE(asked);
    pump_for(100);
    REQUIRE(fetch_running.load() == 1);
    Pixels behind = capture_panel(panel);
    check_painted(behind, e);
    CHECK(differences(behind, kept, status) > 20);
    CHECK(control_text(panel, IDC_ACTUAL_TEXT) == actual_block);
    script_server_stop(&holding);
    REQUIRE(wait_fetch_taken(panel, 10000));
    check_painted(capture_panel(panel), e);

    // Another city, and nothing comes: never the old place's weather.
    choose_entry(panel, IDC_CITY, 1);
    REQUIRE(wait_fetch_taken(panel, 10000));
    Expected empty = {IDI_CONDITION_FIRST, IDI_CONDITION_FIRST, ACTUAL_TITLE, header_for(2026, 3, 11),
                      NO_VALUE_TEXT, NO_VALUE_TEXT, NO_VALUE_TEXT};
    Pixels other = capture_panel(panel);
    check_painted(other, empty);
    // No time of kept weather; the reason alone ("Нет соединения") stands
    // in the status strip.
    CHECK(grey_pixels(other, status) > 20);
    CHECK(control_text(panel, IDC_ACTUAL_TEXT) == "");

    destroy_panel(panel);
    page_clock_release();
}

TEST_CASE("during a fetch: the busy icon twice, dashes, empty blocks; a failed fetch shows nothing")
{
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    ScriptServer server;
    REQUIRE(script_server_start(&server, {proxied("", false)}));
    store_settings(0, 0, server.port);
    HWND panel = create_panel();

    SendMessageA(panel, WM_COMMAND, CMD_REFRESH, 0);
    REQUIRE(script_server_wait_requests(&server, 1, 5000));
    pump_for(100);
    CHECK(fetch_running.load() == 1);
    CHECK(control_text(panel, IDC_ACTUAL_TEXT) == "");
    CHECK(control_text(panel, IDC_FORECAST_TEXT) == "");
    Expected busy = {IDI_BUSY, IDI_BUSY, ACTUAL_TITLE, header_for(2026, 3, 11),
                     NO_VALUE_TEXT, NO_VALUE_TEXT, NO_VALUE_TEXT};
    check_painted(capture_panel(panel), busy);

    // The held answer never comes: the server goes, and the fetch fails.
    script_server_stop(&server);
    REQUIRE(wait_fetch_taken(panel, 10000));
    Expected failed = busy;
    failed.actual_icon = IDI_CONDITION_FIRST;
    failed.forecast_icon = IDI_CONDITION_FIRST;
    check_painted(capture_panel(panel), failed);
    CHECK(control_text(panel, IDC_ACTUAL_TEXT) == "");
    CHECK(control_text(panel, IDC_FORECAST_TEXT) == "");

    destroy_panel(panel);
    page_clock_release();
}

TEST_CASE("a city choice fetches; a country choice resets the city to the first entry and fetches")
{
    std::string missing = http_response("HTTP/1.1 404 Not Found", "", "");
    ScriptServer server;
    REQUIRE(script_server_start(&server, {proxied(missing, true), proxied(missing, true),
                                          proxied(missing, true), proxied(missing, true)}));
    store_settings(0, 0, server.port);
    HWND panel = create_panel();

    choose_entry(panel, IDC_CITY, 2);
    REQUIRE(wait_fetch_taken(panel, 10000));
    CHECK(stored_value(VALUE_CUR_COUNTRY) == 0);
    CHECK(stored_value(VALUE_CUR_CITY) == 2);

    const int BRAZIL = 8;
    choose_entry(panel, IDC_COUNTRY, BRAZIL);
    REQUIRE(wait_fetch_taken(panel, 10000));
    HWND cities = GetDlgItem(panel, IDC_CITY);
    CHECK(SendMessageA(cities, CB_GETCOUNT, 0, 0) == CATALOGUE_COUNTRIES[BRAZIL].city_count);
    CHECK(SendMessageA(cities, CB_GETCURSEL, 0, 0) == 0);
    CHECK(stored_value(VALUE_CUR_COUNTRY) == BRAZIL);
    CHECK(stored_value(VALUE_CUR_CITY) == 0);

    script_server_stop(&server);
    std::vector<std::string> got = script_server_received(&server);
    REQUIRE(got.size() == 4);
    std::string third = owned_text(location_path_at(0, 2));
    CHECK(requested_path(got[0]) == "pogoda/" + third);
    CHECK(requested_path(got[1]) == "forecasts5000/" + third + "/print");
    CHECK(requested_path(got[2]) == "pogoda/brazil//altamira");
    CHECK(requested_path(got[3]) == "forecasts5000/brazil//altamira/print");

    destroy_panel(panel);
}

namespace {
int refresh_expiries;
HHOOK timer_hook;

LRESULT CALLBACK count_refresh_expiries(int code, WPARAM wparam, LPARAM lparam)
{
    const MSG *message = (const MSG *)lparam;
    if (code == HC_ACTION && wparam == PM_REMOVE && message->message == WM_TIMER &&
        message->hwnd == panel_window && message->wParam == REFRESH_TIMER)
        refresh_expiries++;
    return CallNextHookEx(timer_hook, code, wparam, lparam);
}
}  // namespace

TEST_CASE("command 131 arms and stops the refresh timer, whose period is bounded")
{
    store_settings(0, 1, 0);
    HWND panel = create_panel();
    // Armed at start because is_get_fore is set: only an armed timer can
    // be killed.
    CHECK(KillTimer(panel, REFRESH_TIMER) != 0);
    CHECK(KillTimer(panel, REFRESH_TIMER) == 0);

    SendMessageA(panel, WM_COMMAND, CMD_AUTO_REFRESH, 1);
    SendMessageA(panel, WM_COMMAND, CMD_AUTO_REFRESH, 0);
    CHECK(KillTimer(panel, REFRESH_TIMER) == 0);

    // hours 0 from a hand-edited registry would make a period of 0 ms and
    // a fetch on every timer tick; bounded, the timer waits an hour.
    timer_hook = SetWindowsHookExA(WH_GETMESSAGE, count_refresh_expiries, NULL, GetCurrentThreadId());
    REQUIRE(timer_hook != NULL);
    for (int32_t bad_hours : {0, -3, 2000000}) {
        CAPTURE(bad_hours);
        hours = bad_hours;
        refresh_expiries = 0;
        SendMessageA(panel, WM_COMMAND, CMD_AUTO_REFRESH, 1);
        pump_for(300);
        CHECK(refresh_expiries == 0);
        CHECK(KillTimer(panel, REFRESH_TIMER) != 0);
    }
    UnhookWindowsHookEx(timer_hook);
    hours = 2;

    destroy_panel(panel);
}

TEST_CASE("the date line and the today mark follow the clock and WM_TIMECHANGE")
{
    page_clock_set_local(2026, 3, 10, 23, 59, 30);
    store_settings(0, 0, 0);
    HWND panel = create_panel();
    const std::string TENTH = "\xD1\xE5\xE3\xEE\xE4\xED\xFF: 10 \xEC\xE0\xF0\xF2\xE0";
    const std::string ELEVENTH = "\xD1\xE5\xE3\xEE\xE4\xED\xFF: 11 \xEC\xE0\xF0\xF2\xE0";
    CHECK(control_text(panel, IDC_TODAY).rfind(TENTH, 0) == 0);

    page_clock_set_local(2026, 3, 11, 0, 0, 10);
    SendMessageA(panel, WM_TIMECHANGE, 0, 0);
    CHECK(control_text(panel, IDC_TODAY).rfind(ELEVENTH, 0) == 0);
    CHECK(ymd(calendar_today(panel)) == "2026-03-11");

    page_clock_set_local(2026, 3, 12, 0, 0, 30);
    SendMessageA(panel, WM_TIMER, CLOCK_TIMER, 0);
    CHECK(control_text(panel, IDC_TODAY).rfind("\xD1\xE5\xE3\xEE\xE4\xED\xFF: 12 ", 0) == 0);
    CHECK(ymd(calendar_today(panel)) == "2026-03-12");

    destroy_panel(panel);
    page_clock_release();
}

TEST_CASE("the first selection is tomorrow, at the ends of months and years and just after local midnight")
{
    // Moscow time, three hours ahead of UTC all year: just after local
    // midnight the UTC date is still the day before.
    _putenv("TZ=MSK-3");
    _tzset();
    struct Case {
        int year, month, day, hour, minute;
        int next_year, next_month, next_day;
    };
    const Case cases[] = {
        {2026, 12, 31, 15, 0, 2027, 1, 1},
        {2026, 2, 28, 10, 0, 2026, 3, 1},
        {2028, 2, 28, 10, 0, 2028, 2, 29},
        {2028, 2, 29, 23, 59, 2028, 3, 1},
        {2026, 4, 30, 12, 0, 2026, 5, 1},
        {2026, 3, 10, 0, 5, 2026, 3, 11},
        {2026, 12, 31, 0, 30, 2027, 1, 1},
        {2027, 1, 1, 1, 0, 2027, 1, 2},
    };
    store_settings(0, 0, 0);
    for (const Case &c : cases) {
        CAPTURE(ymd(c.year, c.month, c.day));
        CAPTURE(c.hour);
        page_clock_set_local(c.year, c.month, c.day, c.hour, c.minute, 0);
        HWND panel = create_panel();
        CHECK(ymd(calendar_selection(panel)) == ymd(c.next_year, c.next_month, c.next_day));
        CHECK(ymd(calendar_today(panel)) == ymd(c.year, c.month, c.day));
        // The heading names the same day as the calendar.
        CalendarDate shown;
        day_number_to_date(selected_day, &shown);
        CHECK(ymd((int)shown.year, (int)shown.month, (int)shown.day) ==
              ymd(c.next_year, c.next_month, c.next_day));
        Expected e = {IDI_CONDITION_FIRST, IDI_CONDITION_FIRST, ACTUAL_TITLE,
                      header_for(c.next_year, c.next_month, c.next_day), NO_VALUE_TEXT,
                      NO_VALUE_TEXT, NO_VALUE_TEXT};
        Pixels shown_pixels = capture_panel(panel);
        CHECK(differences(shown_pixels, draw_expected(shown_pixels, e), HEADER_BAND) == 0);
        destroy_panel(panel);
    }
    page_clock_release();
    _putenv("TZ=");
    _tzset();
}

// Not a check: shows the panel filled from the test pages and keeps it on
// the screen for scripts/gen-panel-picture, which takes the picture of it.
// Runs only when asked for by name with --no-skip.
namespace {

HWND hooked_panel;

// The panel's poll tick and a paint, exactly between the worker's clearing
// of fetch_running and its setting of fetch_done.
void poll_and_paint_while_ending(int32_t moment)
{
    if (moment != FETCH_MOMENT_ENDING)
        return;
    SendMessageA(hooked_panel, WM_TIMER, FETCH_POLL_TIMER, 0);
    SendMessageA(hooked_panel, WM_PAINT, 0, 0);
}

// A cancel, as start_fetch begins one, after the worker has looked at
// cancel_requested and before its request starts.
void cancel_before_request(int32_t moment)
{
    if (moment != FETCH_MOMENT_BEFORE_REQUEST)
        return;
    cancel_requested.store(1);
    http_cancel();
}

} // namespace

TEST_CASE("the two flags' race: a poll and a paint while the worker ends leave no busy icon behind")
{
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    std::string missing = http_response("HTTP/1.1 404 Not Found", "", "");
    ScriptServer server;
    REQUIRE(script_server_start(&server, {proxied(missing, true), proxied(missing, true)}));
    store_settings(0, 0, server.port);
    HWND panel = create_panel();
    hooked_panel = panel;
    set_fetch_moment_hook(poll_and_paint_while_ending);
    SendMessageA(panel, WM_COMMAND, CMD_REFRESH, 0);
    REQUIRE(wait_fetch_taken(panel, 10000));
    set_fetch_moment_hook(NULL);
    pump_for(2 * FETCH_POLL_PERIOD_MS);

    // No repaint of our own: what the window shows by itself.
    Pixels shown = shown_now(panel);
    Expected ended = {IDI_CONDITION_FIRST, IDI_CONDITION_FIRST, ACTUAL_TITLE, header_for(2026, 3, 11),
                      NO_VALUE_TEXT, NO_VALUE_TEXT, NO_VALUE_TEXT};
    Pixels expected = draw_expected(shown, ended);
    CHECK(differences(shown, expected, ACTUAL_ICON) == 0);
    CHECK(differences(shown, expected, FORECAST_ICON) == 0);

    script_server_stop(&server);
    destroy_panel(panel);
    page_clock_release();
}

TEST_CASE("the cancel's race: a cancel between the worker's check and its request is not lost")
{
    ScriptServer server;
    REQUIRE(script_server_start(&server, {proxied("", false), proxied("", false)}));
    store_settings(0, 0, server.port);
    HWND panel = create_panel();
    set_fetch_moment_hook(cancel_before_request);
    DWORD start = GetTickCount();
    SendMessageA(panel, WM_COMMAND, CMD_REFRESH, 0);
    // The held request would keep a request that missed the cancel for the
    // whole receive time-out.
    CHECK(wait_fetch_taken(panel, 10000));
    set_fetch_moment_hook(NULL);
    CHECK(GetTickCount() - start < 5000);
    CHECK(script_server_received(&server).empty());
    script_server_stop(&server);
    destroy_panel(panel);
}

namespace {

// The calendar's point (client coordinates) that shows the date, searched
// with the calendar's own hit test over its visible client area.
bool find_date_cell(HWND calendar, int year, int month, int day, POINT *at)
{
    RECT client;
    GetClientRect(calendar, &client);
    for (int y = 0; y < client.bottom; y += 2)
        for (int x = 0; x < client.right; x += 2) {
            MCHITTESTINFO hit;
            ZeroMemory(&hit, sizeof hit);
            hit.cbSize = sizeof hit;
            hit.pt.x = x;
            hit.pt.y = y;
            SendMessageA(calendar, MCM_HITTEST, 0, (LPARAM)&hit);
            if (hit.uHit == MCHT_CALENDARDATE && hit.st.wYear == year && hit.st.wMonth == month &&
                hit.st.wDay == day) {
                at->x = x + 3;  // into the cell, off its left edge
                at->y = y + 3;
                return true;
            }
        }
    return false;
}

// A click of the left button at a point of a window, handled by the
// window's own code (tests on the same display must not steal it).
void click_at(HWND window, POINT at)
{
    LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageA(window, WM_MOUSEMOVE, 0, where);
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageA(window, WM_LBUTTONUP, 0, where);
    pump_for(300);
}

RECT child_rect(HWND panel, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(panel, id), &r);
    MapWindowPoints(NULL, panel, (POINT *)&r, 2);
    return r;
}

} // namespace

TEST_CASE("the calendar has the room it asks for; a click on a Saturday picks it and the heading names it")
{
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    store_settings(0, 0, 0);
    HWND panel = create_panel();
    HWND calendar = GetDlgItem(panel, IDC_CALENDAR);

    RECT need, have, client;
    REQUIRE(SendMessageA(calendar, MCM_GETMINREQRECT, 0, (LPARAM)&need));
    GetClientRect(calendar, &have);
    GetClientRect(panel, &client);
    CHECK(have.right >= need.right - need.left);
    CHECK(have.bottom >= need.bottom - need.top);
    // The right column grew with it: nothing overlaps, all inside the panel.
    RECT shown = child_rect(panel, IDC_CALENDAR), close = child_rect(panel, IDCANCEL),
         city = child_rect(panel, IDC_CITY);
    CHECK(shown.right <= client.right);
    CHECK(close.top >= shown.bottom);
    CHECK(close.bottom <= client.bottom);
    CHECK(city.bottom <= shown.top);
    CHECK(city.right <= client.right);
    // The weather half keeps its place.
    CHECK(shown.left == child_rect(panel, IDC_TODAY).left);

    // Saturday 14 March 2026, in the weekend columns at the right.
    POINT saturday = {0, 0};
    REQUIRE(find_date_cell(calendar, 2026, 3, 14, &saturday));
    click_at(calendar, saturday);
    CHECK(ymd(calendar_selection(panel)) == "2026-03-14");
    Expected e = {IDI_CONDITION_FIRST, IDI_CONDITION_FIRST, ACTUAL_TITLE, header_for(2026, 3, 14),
                  NO_VALUE_TEXT, NO_VALUE_TEXT, NO_VALUE_TEXT};
    check_painted(shown_now(panel), e);

    destroy_panel(panel);
    page_clock_release();
}

TEST_CASE("picture of the filled panel" * doctest::skip())
{
    const char *rect_file = getenv("VELVANE_PANEL_PICTURE_RECT");
    REQUIRE(rect_file != NULL);
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    std::string forecast_page = march_10_forecast(true, 5, -3);
    std::string actual_page = actual_at(-7);

    ScriptServer server;
    HWND panel = panel_fetched_through(&server, actual_page, forecast_page);
    SetWindowPos(panel, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(panel);
    RedrawWindow(panel, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    pump_for(500);

    RECT r;
    GetWindowRect(panel, &r);
    FILE *out = fopen(rect_file, "w");
    REQUIRE(out != NULL);
    fprintf(out, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    fclose(out);
    pump_for(6000);
    destroy_panel(panel);
    page_clock_release();
}

namespace {

typedef BOOL(WINAPI *IconSizeQuery)(HICON, UINT, LONG *, LONG *);

// The process's GDI and USER objects. GetGuiResources counts them on
// Windows; Wine answers 0 there, so the handle tables are walked instead:
// every GDI handle index that names an object, and every USER handle that
// is a window of this process, a menu or an icon (win32u's icon query).
void gui_objects(DWORD *gdi, DWORD *user)
{
    *gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    *user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (*gdi != 0 && *user != 0)
        return;
    *gdi = 0;
    for (UINT_PTR i = 1; i < 0x10000; i++)
        *gdi += GetObjectType((HGDIOBJ)i) != 0;
    HMODULE win32u = GetModuleHandleA("win32u.dll");
    IconSizeQuery icon_size =
        win32u != NULL ? (IconSizeQuery)(void *)GetProcAddress(win32u, "NtUserGetIconSize") : NULL;
    *user = 0;
    for (UINT_PTR i = 0x20; i < 0x10000; i += 2) {
        DWORD process = 0;
        LONG width, height;
        if (IsWindow((HWND)i))
            *user += GetWindowThreadProcessId((HWND)i, &process) && process == GetCurrentProcessId();
        else if (IsMenu((HMENU)i))
            (*user)++;
        else if (icon_size != NULL && icon_size((HICON)i, 0, &width, &height))
            (*user)++;
    }
}

// The icon shows each refresh's temperature: a new icon every time.
void tray_for_test(const char *temperature, const char *tip)
{
    tray_show_weather(temperature, tip);
}

// A fetch asked by a command or a list, taken in as soon as the worker is
// done, and painted.
void fetch_and_take(HWND panel)
{
    for (int i = 0; i < 1000 && !fetch_done.load(); i++)
        pump_for(5);
    REQUIRE(fetch_done.load() == 1);
    SendMessageA(panel, WM_TIMER, FETCH_POLL_TIMER, 0);
    RedrawWindow(panel, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

} // namespace

TEST_CASE("GDI and USER objects stay flat over 100 refreshes, 10 place changes, 10 changes of scale and "
          "10 notices")
{
    page_clock_set_local(2026, 3, 10, 15, 0, 0);
    std::string forecast_page = march_10_forecast();
    std::string actual_pages[2] = {actual_at(-7), actual_at(12)};
    const int ROUNDS = 11, REFRESHES = 10;  // the first round warms the caches up
    std::vector<ScriptConnection> script;
    for (int i = 0; i < ROUNDS * (REFRESHES + 1); i++) {
        script.push_back(proxied(actual_pages[i % 2], true));
        script.push_back(proxied(forecast_page, true));
    }
    ScriptServer server;
    REQUIRE(script_server_start(&server, script));
    store_settings(0, 0, server.port);
    panel_tray_show = tray_for_test;
    if (FindWindowA("Shell_TrayWnd", NULL) != NULL)
        tray_add_icon();
    HWND panel = create_panel();

    DWORD gdi_before = 0, user_before = 0;
    for (int round = 0; round < ROUNDS; round++) {
        for (int i = 0; i < REFRESHES; i++) {
            SendMessageA(panel, WM_COMMAND, CMD_REFRESH, 0);
            fetch_and_take(panel);
        }
        choose_entry(panel, IDC_CITY, round % 3);
        fetch_and_take(panel);
        static RECT frame;  // the suggested place: where it is
        GetWindowRect(panel, &frame);
        PostMessageA(panel, WM_DPICHANGED, MAKEWPARAM(96, 96), (LPARAM)&frame);
        pump_for(30);
        HWND notice = open_notice_dialog(panel);
        pump_for(10);
        if (notice != NULL)
            SendMessageA(notice, WM_COMMAND, IDOK, 0);
        pump_for(10);
        if (round == 0)
            gui_objects(&gdi_before, &user_before);
    }
    DWORD gdi_after = 0, user_after = 0;
    gui_objects(&gdi_after, &user_after);
    MESSAGE("GDI objects " << gdi_before << " -> " << gdi_after << ", USER objects " << user_before << " -> "
                           << user_after);
    CHECK((gdi_before > 0 && gdi_after <= gdi_before + 2));
    CHECK((user_before > 0 && user_after <= user_before + 2));

    script_server_stop(&server);
    destroy_panel(panel);
    if (tray_window.load() != NULL)
        tray_remove_icon();
    panel_tray_show = NULL;
    page_clock_release();
}
