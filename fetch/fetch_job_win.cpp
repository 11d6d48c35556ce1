// The fetch job: start_fetch on the panel's thread, fetch_worker on a
// worker thread of its own. Only one worker exists at a time, and the
// record is reset only while none runs. A worker asks the weather service's
// two pages and then, as data_source says, the open data for what they did
// not give; its requests go one after the other, so there is never more
// than one connection.
#include "fetch/fetch_job.h"

#include <process.h>
#include <string.h>

#include "fetch/actual_parser.h"
#include "fetch/fetch_failure.h"
#include "fetch/forecast_parser.h"
#include "fetch/http_client.h"
#include "fetch/https_client.h"
#include "fetch/open_data_parser.h"
#include "fetch/weather_record.h"
#include "panel/weather_text.h"
#include "settings/catalogue.h"
#include "settings/settings_vars.h"
#include "util/format.h"
#include "util/mem.h"

const char *const SERVICE_HOST = VELVANE_SERVICE_HOST;

std::atomic<int32_t> cancel_requested(0);
std::atomic<int32_t> fetch_running(0);
std::atomic<int32_t> fetch_done(0);
std::atomic<int32_t> fetch_open_data_parts(0);
std::atomic<int32_t> fetch_failure(0);
std::atomic<int32_t> fetch_open_data_busy(0);

// What start_fetch hands its worker, which releases it.
struct FetchOrder {
    char *location;       // the location path, a text of its own
    int32_t data_source;  // the setting when the fetch started
    int32_t latitude_e4;  // the place, in degrees times 10000
    int32_t longitude_e4;
    int64_t route_period_ms;  // how long the system's proxy answer is kept
};

static HANDLE worker_handle;

static uintptr_t start_thread_crt(unsigned(WINAPI *body)(void *), void *argument)
{
    return _beginthreadex(NULL, 0, body, argument, 0, NULL);
}

static FetchThreadStarter thread_starter = start_thread_crt;
static std::atomic<FetchMomentHook> moment_hook(nullptr);

void set_fetch_moment_hook(FetchMomentHook hook)
{
    moment_hook.store(hook);
}

static void at_moment(int32_t moment)
{
    FetchMomentHook hook = moment_hook.load();
    if (hook != NULL)
        hook(moment);
}

void set_fetch_thread_starter(FetchThreadStarter starter)
{
    thread_starter = starter ? starter : start_thread_crt;
}

// Clears the page buffer over its current size before each request, and
// makes room afresh when the previous request left none.
static void prepare_buffer(char **buffer, int32_t *size)
{
    if (*buffer == NULL || *size <= 0) {
        mem_free(*buffer);
        *size = PAGE_BUFFER_SIZE;
        *buffer = (char *)mem_alloc((uint32_t)*size);
        if (*buffer == NULL)
            *size = 0;
    }
    if (*buffer != NULL)
        memset(*buffer, 0, (size_t)*size);
}

// One request of the worker, into its cleared buffer; none once a cancel is
// asked or a text is missing (a missing text counts as a failed request).
// *failure takes the reason of a request that failed.
static int worker_get(const FetchOrder *order, const char *host, int port, const char *path,
                      const char *referer, int referer_wanted, char **buffer, int32_t *size, int32_t *failure)
{
    prepare_buffer(buffer, size);
    if (cancel_requested.load() || *buffer == NULL || path == NULL || (referer_wanted && referer == NULL))
        return HTTP_NET_ERROR;
    at_moment(FETCH_MOMENT_BEFORE_REQUEST);
    HttpOutcome outcome;
    int result = http_get_routed(order->route_period_ms, host, (uint16_t)port, path, referer, buffer, size, &outcome);
    if (result != HTTP_OK)
        *failure = fetch_failure_worse(*failure,
                                       http_failure_of(outcome.result, outcome.status, outcome.through_proxy));
    return result;
}

// The open data for the parts asked: one request over HTTPS, no Referer.
// The parts that it filled, or 0.
static int fetch_open_data(const FetchOrder *order, int parts, char **buffer, int32_t *size, int32_t *failure)
{
    char *path = open_data_path(order->latitude_e4, order->longitude_e4);
    prepare_buffer(buffer, size);
    int32_t reason = FETCH_FAILURE_NONE;
    int result = HTTP_NET_ERROR;
    if (path != NULL && *buffer != NULL && !cancel_requested.load()) {
        at_moment(FETCH_MOMENT_BEFORE_REQUEST);
        result = https_get(OPEN_DATA_HOST, path, open_data_user_agent(), order->route_period_ms, buffer, size,
                           &reason);
    }
    mem_free(path);
    int replaced = 0;
    if (result == HTTP_OK && !parse_open_data_into(weather_record, *buffer, *size, parts, &replaced))
        reason = FETCH_FAILURE_NO_ANSWER;
    if (reason == FETCH_FAILURE_BUSY)
        fetch_open_data_busy.store(1);
    *failure = fetch_failure_worse(*failure, reason);
    return replaced;
}

static unsigned WINAPI fetch_worker(void *argument)
{
    FetchOrder *order = (FetchOrder *)argument;
    char *location = order->location;
    int32_t size = PAGE_BUFFER_SIZE;
    char *buffer = (char *)mem_alloc((uint32_t)size);
    if (buffer == NULL)
        size = 0;
    char *forecast_path = format_string("forecasts5000/%s/print", location);
    char *actual_path = format_string("pogoda/%s", location);
    char *referer_path = dup_string(location);

    int actual_whole = 0;
    int forecast_whole = 0;
    int32_t failure = FETCH_FAILURE_NONE;
    if (data_source_uses_pages(order->data_source)) {
        int result = worker_get(order, SERVICE_HOST, SERVICE_PORT, actual_path, NULL, 0, &buffer, &size, &failure);
        if (result == HTTP_OK)
            actual_whole = parse_actual_page(buffer, size) == 1;
        result = worker_get(order, SERVICE_HOST, SERVICE_PORT, forecast_path, referer_path, 1, &buffer, &size,
                            &failure);
        if (result == HTTP_OK)
            forecast_whole = parse_forecast_page(buffer, size) == 1;
        // A page that came but could not be read says the service did not
        // answer as it should.
        if (!actual_whole && !forecast_whole && failure == FETCH_FAILURE_NONE)
            failure = FETCH_FAILURE_NO_ANSWER;
    }

    int parts = open_data_parts_wanted(order->data_source, actual_whole, forecast_whole);
    int from_open_data = 0;
    if (parts != 0 && !cancel_requested.load()) {
        from_open_data = fetch_open_data(order, parts, &buffer, &size, &failure);
        fetch_open_data_parts.store(from_open_data);
    }
    // A reason only for a fetch that brought nothing and was not broken off.
    int brought = actual_whole || forecast_whole || from_open_data != 0;
    fetch_failure.store(brought || cancel_requested.load() ? FETCH_FAILURE_NONE : failure);

    mem_free(buffer);
    mem_free(referer_path);
    mem_free(location);
    mem_free(forecast_path);
    mem_free(actual_path);
    mem_free(order);

    // The record is complete: release, so that the panel, having seen a
    // flag with acquire, sees every write of the parsers too. Running ends
    // first: a poll that sees done stops for good, and the paint that
    // follows it must not find the worker still running.
    fetch_running.store(0, std::memory_order_release);
    at_moment(FETCH_MOMENT_ENDING);
    fetch_done.store(1, std::memory_order_release);
    return 0;
}

// The order for the panel's current choice; null when there is no room.
static FetchOrder *make_order(HWND panel)
{
    FetchOrder *order = (FetchOrder *)mem_alloc((uint32_t)sizeof(FetchOrder));
    char *location = location_path(panel);
    if (order == NULL || location == NULL) {
        mem_free(order);
        mem_free(location);
        return NULL;
    }
    const CityEntry *place = location_place(panel);
    order->location = location;
    order->data_source = data_source;
    order->latitude_e4 = place->latitude_e4;
    order->longitude_e4 = place->longitude_e4;
    order->route_period_ms = refresh_period_ms(hours);
    return order;
}

static void free_order(FetchOrder *order)
{
    if (order != NULL)
        mem_free(order->location);
    mem_free(order);
}

void start_fetch(HWND panel)
{
    FetchOrder *order = make_order(panel);

    cancel_requested.store(1);
    http_cancel();
    https_cancel();
    if (worker_handle != NULL) {
        WaitForSingleObject(worker_handle, INFINITE);
        CloseHandle(worker_handle);
        worker_handle = NULL;
    }
    cancel_requested.store(0);
    http_cancel_reset();
    https_cancel_reset();

    if (weather_record == NULL)
        weather_record = weather_record_create();
    if (weather_record != NULL)
        weather_record_reset(weather_record);

    KillTimer(panel, FETCH_POLL_TIMER);
    SetTimer(panel, FETCH_POLL_TIMER, FETCH_POLL_PERIOD_MS, NULL);
    fetch_done.store(0);
    fetch_open_data_parts.store(0);
    fetch_failure.store(FETCH_FAILURE_NONE);
    fetch_open_data_busy.store(0);
    update_weather_texts(panel);

    if (weather_record == NULL || order == NULL) {
        // Nothing to fill: finish at once, so the poll shows the empty state.
        free_order(order);
        fetch_done.store(1, std::memory_order_release);
        return;
    }

    fetch_running.store(1);
    uintptr_t thread = thread_starter(fetch_worker, order);
    if (thread == 0) {
        // No worker: the record stays as reset, and the next poll takes
        // the busy icon down and shows the empty blocks.
        free_order(order);
        fetch_running.store(0);
        fetch_done.store(1, std::memory_order_release);
        return;
    }
    worker_handle = (HANDLE)thread;
}

void wait_for_fetch(void)
{
    if (worker_handle != NULL) {
        WaitForSingleObject(worker_handle, INFINITE);
        CloseHandle(worker_handle);
        worker_handle = NULL;
    }
}
