// The fetch job: start_fetch on the panel's thread, fetch_worker on a
// worker thread of its own. Only one worker exists at a time, and the
// record is reset only while none runs.
#include "fetch/fetch_job.h"

#include <process.h>
#include <string.h>

#include "fetch/actual_parser.h"
#include "fetch/forecast_parser.h"
#include "fetch/http_client.h"
#include "fetch/weather_record.h"
#include "panel/weather_text.h"
#include "settings/catalogue.h"
#include "util/format.h"
#include "util/mem.h"

const char *const SERVICE_HOST = VELVANE_SERVICE_HOST;

std::atomic<int32_t> cancel_requested(0);
std::atomic<int32_t> fetch_running(0);
std::atomic<int32_t> fetch_done(0);

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

static unsigned WINAPI fetch_worker(void *argument)
{
    char *location = (char *)argument;
    int32_t size = PAGE_BUFFER_SIZE;
    char *buffer = (char *)mem_alloc((uint32_t)size);
    if (buffer == NULL)
        size = 0;
    char *forecast_path = format_string("forecasts5000/%s/print", location);
    char *actual_path = format_string("pogoda/%s", location);
    char *referer_path = dup_string(location);

    prepare_buffer(&buffer, &size);
    int result = HTTP_NET_ERROR;
    if (!cancel_requested.load() && buffer != NULL && actual_path != NULL) {
        at_moment(FETCH_MOMENT_BEFORE_REQUEST);
        result = http_get(SERVICE_HOST, SERVICE_PORT, actual_path, NULL, &buffer, &size);
    }
    if (result == HTTP_OK)
        parse_actual_page(buffer, size);

    prepare_buffer(&buffer, &size);
    result = HTTP_NET_ERROR;
    if (!cancel_requested.load() && buffer != NULL && forecast_path != NULL && referer_path != NULL) {
        at_moment(FETCH_MOMENT_BEFORE_REQUEST);
        result = http_get(SERVICE_HOST, SERVICE_PORT, forecast_path, referer_path, &buffer, &size);
    }
    if (result == HTTP_OK)
        parse_forecast_page(buffer, size);

    mem_free(buffer);
    mem_free(referer_path);
    mem_free(location);
    mem_free(forecast_path);
    mem_free(actual_path);

    // The record is complete: release, so that the panel, having seen a
    // flag with acquire, sees every write of the parsers too. Running ends
    // first: a poll that sees done stops for good, and the paint that
    // follows it must not find the worker still running.
    fetch_running.store(0, std::memory_order_release);
    at_moment(FETCH_MOMENT_ENDING);
    fetch_done.store(1, std::memory_order_release);
    return 0;
}

void start_fetch(HWND panel)
{
    char *location = location_path(panel);

    cancel_requested.store(1);
    http_cancel();
    if (worker_handle != NULL) {
        WaitForSingleObject(worker_handle, INFINITE);
        CloseHandle(worker_handle);
        worker_handle = NULL;
    }
    cancel_requested.store(0);
    http_cancel_reset();

    if (weather_record == NULL)
        weather_record = weather_record_create();
    if (weather_record != NULL)
        weather_record_reset(weather_record);

    KillTimer(panel, FETCH_POLL_TIMER);
    SetTimer(panel, FETCH_POLL_TIMER, FETCH_POLL_PERIOD_MS, NULL);
    fetch_done.store(0);
    update_weather_texts(panel);

    if (weather_record == NULL || location == NULL) {
        // Nothing to fill: finish at once, so the poll shows the empty state.
        mem_free(location);
        fetch_done.store(1, std::memory_order_release);
        return;
    }

    fetch_running.store(1);
    uintptr_t thread = thread_starter(fetch_worker, location);
    if (thread == 0) {
        // No worker: the record stays as reset, and the next poll takes
        // the busy icon down and shows the empty blocks.
        mem_free(location);
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
