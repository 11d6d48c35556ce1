// The fetch job: start_fetch on the panel's thread, fetch_worker on a
// worker thread of its own. start_fetch never waits for a worker: a new
// fetch abandons the one running (say, stuck in a name lookup that cannot be
// broken off), whose worker ends on its own with its result dropped. The
// new worker waits for the old one on its own thread before it asks
// anything, so there is never more than one connection. A worker asks the
// weather service's two pages and then, as data_source says, the open data
// for what they did not give, into a record of its own; the parts it read
// whole go into weather_record at its end.
#include "fetch/fetch_job.h"

#include <process.h>
#include <string.h>

#include <new>

#include "fetch/actual_parser.h"
#include "fetch/fetch_failure.h"
#include "fetch/forecast_parser.h"
#include "fetch/http_client.h"
#include "fetch/https_client.h"
#include "fetch/open_data_parser.h"
#include "fetch/weather_parts.h"
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
std::atomic<int32_t> fetch_whole_parts(0);

// One fetch: what start_fetch hands its worker, and what the worker makes
// of it. The worker owns the block, its texts and its record from start to
// end and frees them itself, whether its result counts or was abandoned; the
// panel's thread reaches it only through current_job, under job_lock.
struct FetchJob {
    char *location;       // the location path, a text of its own
    int32_t data_source;  // the setting when the fetch started
    int32_t latitude_e4;  // the place, in degrees times 10000
    int32_t longitude_e4;
    std::atomic<int32_t> abandoned;  // a newer fetch took its place: ask nothing more
    WeatherRecord *record;           // what the pages and the open data filled
    HANDLE previous;                 // the worker before this one, or null; this worker closes it
    int64_t route_period_ms;         // how long the system's proxy answer is kept
};

// The job whose result counts; null once it has been handed over.
static FetchJob *current_job;
static SRWLOCK job_lock = SRWLOCK_INIT;
// The newest worker, which waits for the ones before it.
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

static int job_cancelled(const FetchJob *job)
{
    return job->abandoned.load() || cancel_requested.load();
}

// One request of the worker, into its cleared buffer; none once a cancel is
// asked or a text is missing (a missing text counts as a failed request).
// *failure takes the reason of a request that failed.
static int worker_get(const FetchJob *job, const char *host, int port, const char *path, const char *referer,
                      int referer_wanted, char **buffer, int32_t *size, int32_t *failure)
{
    prepare_buffer(buffer, size);
    if (job_cancelled(job) || *buffer == NULL || path == NULL || (referer_wanted && referer == NULL))
        return HTTP_NET_ERROR;
    at_moment(FETCH_MOMENT_BEFORE_REQUEST);
    HttpOutcome outcome;
    int result = http_get_routed(job->route_period_ms, host, (uint16_t)port, path, referer, buffer, size, &outcome);
    if (result != HTTP_OK)
        *failure = fetch_failure_worse(*failure,
                                       http_failure_of(outcome.result, outcome.status, outcome.through_proxy));
    return result;
}

// The open data for the parts asked: one request over HTTPS, no Referer.
// The parts that it filled, or 0; *busy is set when it answered 429 or 503.
static int fetch_open_data(FetchJob *job, int parts, char **buffer, int32_t *size, int32_t *failure,
                           int32_t *busy)
{
    char *path = open_data_path(job->latitude_e4, job->longitude_e4);
    prepare_buffer(buffer, size);
    int32_t reason = FETCH_FAILURE_NONE;
    int result = HTTP_NET_ERROR;
    if (path != NULL && *buffer != NULL && !job_cancelled(job)) {
        at_moment(FETCH_MOMENT_BEFORE_REQUEST);
        result = https_get(OPEN_DATA_HOST, path, open_data_user_agent(), job->route_period_ms, buffer, size,
                           &reason);
    }
    mem_free(path);
    int replaced = 0;
    if (result == HTTP_OK && !parse_open_data_into(job->record, *buffer, *size, parts, &replaced))
        reason = FETCH_FAILURE_NO_ANSWER;
    if (reason == FETCH_FAILURE_BUSY)
        *busy = 1;
    *failure = fetch_failure_worse(*failure, reason);
    return replaced;
}

static void free_job(FetchJob *job)
{
    if (job == NULL)
        return;
    mem_free(job->location);
    weather_record_destroy(job->record);
    mem_free(job);
}

// The workers before this one have ended (a stuck one ends on its own, its
// result dropped): only then does the cancel they were given end, so no
// two workers ever ask at once. 0 when this job was abandoned meanwhile.
static int wait_for_turn(FetchJob *job)
{
    if (job->previous != NULL) {
        WaitForSingleObject(job->previous, INFINITE);
        CloseHandle(job->previous);
        job->previous = NULL;
    }
    AcquireSRWLockExclusive(&job_lock);
    int current = current_job == job;
    if (current) {
        cancel_requested.store(0);
        http_cancel_reset();
        https_cancel_reset();
    }
    ReleaseSRWLockExclusive(&job_lock);
    return current;
}

// The pages and, as data_source says, the open data. The parts read whole
// (WEATHER_PART_*): a page whose parser read it whole, or a part the open
// data replaced; the parts it filled from the open data in *open_data, why
// it brought nothing in *failure_out, and whether the open data was busy.
static int32_t fetch_parts(FetchJob *job, int32_t *open_data, int32_t *failure_out, int32_t *busy)
{
    int32_t size = PAGE_BUFFER_SIZE;
    char *buffer = (char *)mem_alloc((uint32_t)size);
    if (buffer == NULL)
        size = 0;
    char *forecast_path = format_string("forecasts5000/%s/print", job->location);
    char *actual_path = format_string("pogoda/%s", job->location);
    int32_t whole = 0;
    int32_t failure = FETCH_FAILURE_NONE;
    if (data_source_uses_pages(job->data_source)) {
        int result = worker_get(job, SERVICE_HOST, SERVICE_PORT, actual_path, NULL, 0, &buffer, &size, &failure);
        if (result == HTTP_OK && parse_actual_page_into(job->record, buffer, size) == 1)
            whole |= WEATHER_PART_OBSERVATION;
        result = worker_get(job, SERVICE_HOST, SERVICE_PORT, forecast_path, job->location, 1, &buffer, &size,
                            &failure);
        if (result == HTTP_OK && parse_forecast_page_into(job->record, buffer, size) == 1)
            whole |= WEATHER_PART_DAYS;
        // A page that came but could not be read whole says the service did
        // not answer as it should.
        if (whole == 0 && failure == FETCH_FAILURE_NONE)
            failure = FETCH_FAILURE_NO_ANSWER;
    }
    int parts = open_data_parts_wanted(job->data_source, (whole & WEATHER_PART_OBSERVATION) != 0,
                                       (whole & WEATHER_PART_DAYS) != 0);
    *open_data = 0;
    *busy = 0;
    if (parts != 0 && !job_cancelled(job))
        *open_data = fetch_open_data(job, parts, &buffer, &size, &failure, busy);
    whole |= *open_data;
    // A reason only for a fetch that brought nothing and was not broken off.
    *failure_out = whole != 0 || job_cancelled(job) ? FETCH_FAILURE_NONE : failure;
    mem_free(buffer);
    mem_free(forecast_path);
    mem_free(actual_path);
    return whole;
}

static unsigned WINAPI fetch_worker(void *argument)
{
    FetchJob *job = (FetchJob *)argument;
    int32_t whole = 0;
    int32_t open_data = 0;
    int32_t failure = FETCH_FAILURE_NONE;
    int32_t busy = 0;
    if (wait_for_turn(job))
        whole = fetch_parts(job, &open_data, &failure, &busy);

    AcquireSRWLockExclusive(&job_lock);
    if (current_job == job) {
        // Handed over whole: the parts read whole, and nothing of a part
        // read in pieces.
        current_job = NULL;
        weather_record_copy_parts(weather_record, job->record, whole);
        fetch_whole_parts.store(whole);
        fetch_open_data_parts.store(open_data);
        fetch_failure.store(failure);
        fetch_open_data_busy.store(busy);
        // The record is complete: release, so that the panel, having seen
        // a flag with acquire, sees every write too. Running ends first: a
        // poll that sees done stops for good, and the paint that follows it
        // must not find the worker still running.
        fetch_running.store(0, std::memory_order_release);
        at_moment(FETCH_MOMENT_ENDING);  // under the lock: a hook must not wait on start_fetch
        fetch_done.store(1, std::memory_order_release);
    }
    ReleaseSRWLockExclusive(&job_lock);
    free_job(job);
    return 0;
}

// The job for the panel's current choice; null when there is no room. A
// place that has no page of the service (one found by name) gets the open
// data alone, whatever the setting.
static FetchJob *make_job(HWND panel)
{
    FetchJob *job = (FetchJob *)mem_alloc((uint32_t)sizeof(FetchJob));
    int32_t latitude_e4 = 0, longitude_e4 = 0, pages = 1;
    char *location = location_target(panel, &latitude_e4, &longitude_e4, &pages);
    WeatherRecord *record = weather_record_create();
    if (job == NULL || location == NULL || record == NULL) {
        mem_free(job);
        mem_free(location);
        weather_record_destroy(record);
        return NULL;
    }
    new (job) FetchJob();
    job->location = location;
    job->data_source = pages ? data_source : DATA_SOURCE_OPEN_DATA_ONLY;
    job->latitude_e4 = latitude_e4;
    job->longitude_e4 = longitude_e4;
    job->record = record;
    job->previous = NULL;
    job->route_period_ms = refresh_period_ms(hours);
    return job;
}

void start_fetch(HWND panel)
{
    FetchJob *job = make_job(panel);

    // The running worker is abandoned, never waited for: its result is
    // dropped, and the new worker waits for it on its own thread.
    AcquireSRWLockExclusive(&job_lock);
    if (current_job != NULL)
        current_job->abandoned.store(1);
    current_job = NULL;
    cancel_requested.store(1);
    http_cancel();
    https_cancel();
    ReleaseSRWLockExclusive(&job_lock);

    if (weather_record == NULL)
        weather_record = weather_record_create();
    if (weather_record != NULL)
        weather_record_reset(weather_record);

    KillTimer(panel, FETCH_POLL_TIMER);
    SetTimer(panel, FETCH_POLL_TIMER, FETCH_POLL_PERIOD_MS, NULL);
    fetch_done.store(0);
    fetch_whole_parts.store(0);
    fetch_open_data_parts.store(0);
    fetch_failure.store(FETCH_FAILURE_NONE);
    fetch_open_data_busy.store(0);
    update_weather_texts(panel);

    if (weather_record == NULL || job == NULL) {
        // Nothing to fill: finish at once, so the poll shows the empty state.
        free_job(job);
        fetch_running.store(0);
        fetch_done.store(1, std::memory_order_release);
        return;
    }

    job->previous = worker_handle;
    AcquireSRWLockExclusive(&job_lock);
    current_job = job;
    ReleaseSRWLockExclusive(&job_lock);
    fetch_running.store(1);
    uintptr_t thread = thread_starter(fetch_worker, job);
    if (thread == 0) {
        // No worker: the record stays as reset, and the next poll takes
        // the busy icon down and shows the empty blocks. The one before
        // stays the newest, to be waited for.
        AcquireSRWLockExclusive(&job_lock);
        current_job = NULL;
        ReleaseSRWLockExclusive(&job_lock);
        job->previous = NULL;
        free_job(job);
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
