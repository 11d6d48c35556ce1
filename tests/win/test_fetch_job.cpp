// The fetch job against a loopback server that plays the weather service
// behind a proxy tunnel, with a hidden window standing in for the panel:
// its two text blocks, its two location lists filled from the catalogue,
// and a loop that polls fetch_done on FETCH_POLL_TIMER as the panel does.
#include <doctest/doctest.h>

#include <atomic>
#include <math.h>
#include <string.h>
#include <string>
#include <vector>

#include "fetch/fetch_job.h"
#include "fetch/http_client.h"
#include "fetch/net_socket.h"
#include "fetch/open_data_parser.h"
#include "fetch/weather_record.h"
#include "panel/day_number.h"
#include "panel/panel.h"
#include "panel/weather_text.h"
#include "res/resource.h"
#include "settings/catalogue.h"
#include "settings/settings_vars.h"
#include "tests/support/page_builder.h"
#include "tests/support/script_server.h"
#include "util/mem.h"

namespace {

const char CONNECT_END[] = "\r\n\r\n";
const char CONNECTED[] = "HTTP/1.0 200 Connection established\r\n\r\n";

HWND make_child(HWND parent, const char *cls, DWORD style, int id, int x, int y, int w, int h)
{
    return CreateWindowExA(0, cls, "", WS_CHILD | style, x, y, w, h, parent, (HMENU)(INT_PTR)id,
                           GetModuleHandleA(NULL), NULL);
}

HWND make_panel(void)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc;
        memset(&wc, 0, sizeof wc);
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "VelvaneTestPanel";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND panel = CreateWindowExA(0, "VelvaneTestPanel", "panel", WS_OVERLAPPEDWINDOW, 0, 0, 440, 300,
                                 NULL, NULL, GetModuleHandleA(NULL), NULL);
    make_child(panel, "STATIC", 0, IDC_ACTUAL_TEXT, 9, 90, 230, 52);
    make_child(panel, "STATIC", 0, IDC_FORECAST_TEXT, 9, 227, 230, 54);
    make_child(panel, "COMBOBOX", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, IDC_COUNTRY, 290, 36, 130, 200);
    make_child(panel, "COMBOBOX", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, IDC_CITY, 290, 68, 130, 200);
    make_child(panel, "STATIC", 0, IDC_CALENDAR, 252, 97, 174, 140);
    fill_country_list(panel);
    fill_city_list(panel);
    return panel;
}

std::string control_text(HWND panel, int id)
{
    char text[4096];
    GetDlgItemTextA(panel, id, text, sizeof text);
    return text;
}

// Runs the panel's message loop until the poll sees the worker done, as
// the panel's timer handler does; false when that takes longer than
// timeout_ms.
bool poll_until_done(HWND panel, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER && msg.hwnd == panel && msg.wParam == FETCH_POLL_TIMER &&
                fetch_done.load(std::memory_order_acquire) && !fetch_running.load()) {
                KillTimer(panel, FETCH_POLL_TIMER);
                update_weather_texts(panel);
                fetch_done.store(0);
                return true;
            }
            DispatchMessageA(&msg);
        }
        if (GetTickCount() - start > timeout_ms)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    }
}

void use_proxy(uint16_t port)
{
    proxy_settings_lock();
    is_use_proxy = 1;
    strcpy(proxy_name, "127.0.0.1");
    proxy_port = port;
    proxy_settings_unlock();
}

std::string page_text(char *page, int32_t length)
{
    std::string text(page, (size_t)length);
    mem_free(page);
    return text;
}

std::string actual_page(void)
{
    ActualPageSpec spec;
    page_actual_defaults(&spec);
    int32_t length;
    char *page = page_build_actual(&spec, &length);
    return page_text(page, length);
}

// A forecast page whose first day is tomorrow, so its dates are accepted.
std::string forecast_page(void)
{
    ForecastPageSpec spec;
    page_forecast_defaults(&spec);
    char heading[100];
    page_date_heading(today_day_number() + 1.0, heading, sizeof heading);
    spec.date_headings[0] = heading;
    int32_t length;
    char *page = page_build_forecast(&spec, &length);
    return page_text(page, length);
}

// One tunnelled request: CONNECT answered with 200, then the page.
ScriptConnection tunnel_serving(const std::string &page)
{
    ScriptConnection c;
    c.exchanges.push_back(ScriptExchange{CONNECT_END, {CONNECTED}});
    c.exchanges.push_back(ScriptExchange{REQUEST_TAIL, {page}});
    c.ending = SCRIPT_CLOSE;
    return c;
}

// CONNECT answered, the GET read and never answered.
ScriptConnection tunnel_holding(void)
{
    ScriptConnection c;
    c.exchanges.push_back(ScriptExchange{CONNECT_END, {CONNECTED}});
    c.exchanges.push_back(ScriptExchange{REQUEST_TAIL, {}});
    c.ending = SCRIPT_HOLD;
    return c;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

void check_record_is_reset(const WeatherRecord *r)
{
    REQUIRE(r != NULL);
    CHECK(r->temperature == 100);
    CHECK(r->pressure == -1);
    CHECK(r->humidity == -1);
    CHECK(r->wind_speed == -1);
    CHECK(r->condition == 0);
    CHECK(weather_comment(&r->comment) == NULL);
    for (int i = 0; i < FORECAST_DAYS; i++) {
        CHECK(r->days[i].day_temperature == 100);
        CHECK(weather_comment(&r->days[i].comment) == NULL);
    }
    CHECK(r->days[0].date == 0.0);
}

uintptr_t failing_starter(unsigned(WINAPI *)(void *), void *)
{
    return 0;
}

struct Fixture {
    HWND panel;
    ScriptServer server;
    bool running;
    Fixture() : panel(make_panel()), running(false)
    {
        REQUIRE(panel != NULL);
        data_source = DATA_SOURCE_PAGES_ONLY;  // the pages alone unless a case says otherwise
        selected_day = today_day_number() + 1.0;  // the panel's first choice
    }
    void serve(const std::vector<ScriptConnection> &script)
    {
        REQUIRE(script_server_start(&server, script));
        running = true;
        use_proxy(server.port);
    }
    ~Fixture()
    {
        wait_for_fetch();
        if (running)
            script_server_stop(&server);
        DestroyWindow(panel);
        data_source = 0;
    }
};

// An answer of the open-data API whose place's today is the local today:
// the current hour, and days from today on with day temperatures 11, 12...
std::string open_data_answer(void)
{
    CalendarDate today;
    day_number_to_date(floor(today_day_number() + 0.5), &today);
    char date[16];
    snprintf(date, sizeof date, "%04d-%02d-%02d", (int)today.year, (int)today.month, (int)today.day);
    std::string body = std::string("{\"current\":{\"time\":\"") + date +
                       "T10:15\",\"interval\":900,\"temperature_2m\":21.4,\"weather_code\":0},"
                       "\"daily_units\":{\"temperature_2m_max\":\"\u00b0C\"},"
                       "\"daily\":{\"time\":[\"" + date + "\"],\"temperature_2m_max\":[11.0],\"weather_code\":[3]}}";
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// The request line of the open data for the panel's place.
std::string open_data_request_line(HWND panel)
{
    const CityEntry *place = location_place(panel);
    char *path = open_data_path(place->latitude_e4, place->longitude_e4);
    std::string line = std::string("GET /") + path + " HTTP/1.1\r\n";
    mem_free(path);
    return line;
}

} // namespace

TEST_CASE("both pages fetched through the tunnel fill the record and the blocks")
{
    Fixture f;
    f.serve({tunnel_serving(actual_page()), tunnel_serving(forecast_page())});
    start_fetch(f.panel);
    CHECK(fetch_running.load() + fetch_done.load() >= 1);
    REQUIRE(poll_until_done(f.panel, 20000));

    std::vector<std::string> received = script_server_received(&f.server);
    REQUIRE(received.size() == 2);
    std::string host = SERVICE_HOST;
    CHECK(contains(received[0], "CONNECT " + host + ":80 HTTP/1.0\r\n"));
    CHECK(contains(received[0], "GET /pogoda/russia/moscow-area/moscow HTTP/1.1\r\n"));
    CHECK_FALSE(contains(received[0], "Referer:"));
    CHECK(contains(received[1], "GET /forecasts5000/russia/moscow-area/moscow/print HTTP/1.1\r\n"));
    CHECK(contains(received[1], "Referer: http://" + host + "/russia/moscow-area/moscow\r\n"));

    const WeatherRecord *r = weather_record;
    REQUIRE(r != NULL);
    CHECK(r->temperature == -12);
    CHECK(r->pressure == 745);
    CHECK(r->days[0].date == doctest::Approx(floor(today_day_number() + 1.0 + 0.5)));
    CHECK(weather_comment(&r->days[6].comment) != NULL);

    // The blocks are the record's, converted to code page 1251.
    CHECK(control_text(f.panel, IDC_ACTUAL_TEXT).size() > 20);
    CHECK(contains(control_text(f.panel, IDC_ACTUAL_TEXT), "745"));
    // Tomorrow is the page's first day.
    CHECK(contains(control_text(f.panel, IDC_FORECAST_TEXT), "\xC2\xE5\xF2\xE5\xF0: "));  // "Ветер: "
}

TEST_CASE("both pages failing still ends the fetch, with the record as reset")
{
    Fixture f;
    f.serve({script_close_at_once(), script_close_at_once()});
    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));
    CHECK(fetch_running.load() == 0);
    check_record_is_reset(weather_record);
    CHECK(control_text(f.panel, IDC_ACTUAL_TEXT) == "");
    CHECK(control_text(f.panel, IDC_FORECAST_TEXT) == "");
}

TEST_CASE("a new fetch breaks off the one receiving the actual-weather page")
{
    Fixture f;
    f.serve({tunnel_holding(), tunnel_serving(actual_page()), tunnel_serving(forecast_page())});
    start_fetch(f.panel);
    REQUIRE(script_server_wait_requests(&f.server, 2, 10000));  // CONNECT and GET read

    // The user picks Saint Petersburg meanwhile. While the worker runs, a
    // calendar change leaves the blocks alone.
    SetDlgItemTextA(f.panel, IDC_FORECAST_TEXT, "unchanged");
    update_weather_texts(f.panel);
    CHECK(control_text(f.panel, IDC_FORECAST_TEXT) == "unchanged");

    SendDlgItemMessageA(f.panel, IDC_CITY, CB_SETCURSEL, 1, 0);
    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));

    std::vector<std::string> received = script_server_received(&f.server);
    REQUIRE(received.size() == 3);
    CHECK(script_server_client_closed(&f.server, 0));
    // The first worker sent no forecast request; the second one's requests
    // came only after the first connection had been closed.
    CHECK(contains(received[0], "GET /pogoda/russia/moscow-area/moscow "));
    CHECK(contains(received[1], "GET /pogoda/russia/leningrad-region/sankt-peterburg "));
    CHECK(contains(received[2], "GET /forecasts5000/russia/leningrad-region/sankt-peterburg/print "));
    for (const std::string &r : received)
        CHECK_FALSE(contains(r, "forecasts5000/russia/moscow-area/moscow"));
    CHECK(weather_record->temperature == -12);
}

TEST_CASE("a path with an empty region key goes unchanged into both pages and the Referer")
{
    Fixture f;
    f.serve({tunnel_serving(actual_page()), tunnel_serving(forecast_page())});
    SendDlgItemMessageA(f.panel, IDC_COUNTRY, CB_SETCURSEL, 8, 0);  // brazil
    fill_city_list(f.panel);
    SendDlgItemMessageA(f.panel, IDC_CITY, CB_SETCURSEL, 0, 0);
    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));
    std::vector<std::string> received = script_server_received(&f.server);
    REQUIRE(received.size() == 2);
    CHECK(contains(received[0], "GET /pogoda/brazil//altamira HTTP/1.1\r\n"));
    CHECK(contains(received[1], "GET /forecasts5000/brazil//altamira/print HTTP/1.1\r\n"));
    CHECK(contains(received[1], "Referer: http://" + std::string(SERVICE_HOST) + "/brazil//altamira\r\n"));
}

TEST_CASE("every buffer of a worker is released exactly once")
{
    Fixture f;
    f.serve({script_close_at_once(), script_close_at_once(),
             tunnel_serving(actual_page()), tunnel_serving(forecast_page()),
             script_close_at_once(), script_close_at_once()});
    // A first fetch creates the record; from then on a reset record holds
    // no blocks of its own but itself.
    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));
    int32_t baseline = mem_live_blocks();

    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));
    // The eight comments are the record's; every path, the Referer and the
    // page buffer are gone.
    CHECK(mem_live_blocks() == baseline + 8);

    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));
    CHECK(mem_live_blocks() == baseline);
}

TEST_CASE("a worker that cannot start leaves no busy state and no block behind")
{
    Fixture f;
    start_fetch(f.panel);  // no server listening: both requests fail
    REQUIRE(poll_until_done(f.panel, 20000));
    int32_t baseline = mem_live_blocks();

    set_fetch_thread_starter(failing_starter);
    start_fetch(f.panel);
    set_fetch_thread_starter(NULL);
    CHECK(fetch_running.load() == 0);
    CHECK(fetch_done.load() == 1);
    CHECK(mem_live_blocks() == baseline);
    check_record_is_reset(weather_record);
    // The poll takes the fetch down at its next tick.
    REQUIRE(poll_until_done(f.panel, 5000));
}

TEST_CASE("by default a forecast page that fails brings one open-data request for the days alone")
{
    Fixture f;
    data_source = DATA_SOURCE_PAGES_THEN_OPEN_DATA;
    f.serve({tunnel_serving(actual_page()), script_close_at_once(), tunnel_serving(open_data_answer())});
    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));

    std::vector<std::string> received = script_server_received(&f.server);
    REQUIRE(received.size() == 3);
    CHECK(contains(received[2], "CONNECT api.open-meteo.com:80 HTTP/1.0\r\n"));
    CHECK(contains(received[2], open_data_request_line(f.panel)));
    CHECK(contains(received[2], "Host: api.open-meteo.com\r\n"));
    CHECK_FALSE(contains(received[2], "Referer:"));
    // The page's observation stays; the days are the open data's.
    CHECK(weather_record->temperature == -12);
    CHECK(weather_record->days[0].day_temperature == 11);
    CHECK(weather_record->days[0].date == doctest::Approx(floor(today_day_number() + 0.5)));
    CHECK(fetch_open_data_parts.load() == WEATHER_PART_DAYS);
}

TEST_CASE("open data only: no page is asked, and a new fetch breaks off the one in flight")
{
    Fixture f;
    data_source = DATA_SOURCE_OPEN_DATA_ONLY;
    f.serve({tunnel_holding(), tunnel_serving(open_data_answer())});
    start_fetch(f.panel);
    REQUIRE(script_server_wait_requests(&f.server, 2, 10000));
    start_fetch(f.panel);
    REQUIRE(poll_until_done(f.panel, 20000));

    std::vector<std::string> received = script_server_received(&f.server);
    REQUIRE(received.size() == 2);
    CHECK(script_server_client_closed(&f.server, 0));
    for (const std::string &r : received)
        CHECK(contains(r, open_data_request_line(f.panel)));
    CHECK(weather_record->temperature == 21);
    CHECK(weather_record->condition == 7);
    CHECK(fetch_open_data_parts.load() == WEATHER_PARTS_ALL);
}

namespace {

// A name lookup that sticks, as one on a dead name server does, until the
// test lets it go.
HANDLE lookup_released;
std::atomic<int32_t> lookups_begun(0);
int32_t sticking_resolver(const char *name, uint32_t *address)
{
    lookups_begun.fetch_add(1);
    WaitForSingleObject(lookup_released, INFINITE);
    return net_resolve_system(name, address);
}

} // namespace

TEST_CASE("a worker stuck in a name lookup is abandoned: the panel never waits, nothing leaks, "
          "only the new fetch asks")
{
    Fixture f;
    start_fetch(f.panel);  // a first fetch (nothing listens) makes the record
    REQUIRE(poll_until_done(f.panel, 20000));
    int32_t baseline = mem_live_blocks();
    f.serve({tunnel_serving(actual_page()), tunnel_serving(forecast_page())});
    lookup_released = CreateEventA(NULL, TRUE, FALSE, NULL);
    net_set_resolver(sticking_resolver);
    start_fetch(f.panel);
    for (int i = 0; i < 200 && lookups_begun.load() == 0; i++)
        Sleep(10);
    REQUIRE(lookups_begun.load() == 1);

    // The user asks again, twice: each start returns at once, and the
    // newest worker waits its turn, asking nothing.
    DWORD start = GetTickCount();
    start_fetch(f.panel);
    start_fetch(f.panel);
    DWORD took = GetTickCount() - start;
    MESSAGE("two start_fetch with a worker stuck in a lookup: " << took << " ms");
    CHECK(took < 200);
    Sleep(300);
    CHECK(lookups_begun.load() == 1);

    // The lookup comes back: the abandoned workers ask nothing more and
    // their results are dropped; the newest one fetches.
    SetEvent(lookup_released);
    REQUIRE(poll_until_done(f.panel, 20000));
    wait_for_fetch();
    net_set_resolver(nullptr);
    CloseHandle(lookup_released);
    CHECK(script_server_received(&f.server).size() == 2);
    CHECK(fetch_whole_parts.load() == WEATHER_PARTS_ALL);
    CHECK(weather_record->temperature == -12);
    CHECK(mem_live_blocks() == baseline + 8);  // the record's eight comments, and no more
}
