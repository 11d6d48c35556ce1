// The fetch job: one worker thread at a time brings both pages of the
// weather service for the chosen location into the weather record.
#ifndef VELVANE_FETCH_FETCH_JOB_H
#define VELVANE_FETCH_FETCH_JOB_H

#include <atomic>
#include <stdint.h>

enum {
    FETCH_POLL_TIMER = 2,          // the panel's timer that polls fetch_done
    FETCH_POLL_PERIOD_MS = 500,
    PAGE_BUFFER_SIZE = 64000,
    SERVICE_PORT = 80
};

// The weather service host, a build setting: one name for both pages and
// the Referer.
extern const char *const SERVICE_HOST;

// Panel to worker: send no further request. Set by start_fetch, cleared by
// the new worker once every worker before it has ended.
extern std::atomic<int32_t> cancel_requested;
// Set from just before a worker starts until it ends; the panel paints its
// busy icon meanwhile.
extern std::atomic<int32_t> fetch_running;
// Worker to panel: the record is complete. Stored with release ordering
// after the worker's last write to the record, loaded with acquire.
extern std::atomic<int32_t> fetch_done;
// The parts of the record (WEATHER_PART_* of fetch/open_data_parser.h) that
// the last fetch filled from the open data: cleared by start_fetch, stored
// by the worker before fetch_done. The panel credits the source while it
// is not zero.
extern std::atomic<int32_t> fetch_open_data_parts;
// The parts (WEATHER_PART_*) that the last fetch read whole: a page its
// parser read whole, or a part the open data replaced. Only these are in
// the record; a part read in pieces is not. Stored before fetch_done.
extern std::atomic<int32_t> fetch_whole_parts;

#ifdef _WIN32
#include <windows.h>
// Breaks off a running fetch without waiting for it (its worker ends on its
// own and its result is dropped), resets the record, arms FETCH_POLL_TIMER
// on the panel and starts a new worker for the location chosen in the
// panel's lists, from the sources that data_source names. Main thread only.
void start_fetch(HWND panel);

// Waits for the last worker, and so for every one before it, to end (tests
// and tools; the program never needs to).
void wait_for_fetch(void);

// Seam for tests: how the worker thread is started. The default is the
// runtime library's _beginthreadex; a starter returns 0 when it fails.
typedef uintptr_t (*FetchThreadStarter)(unsigned(WINAPI *body)(void *), void *argument);
void set_fetch_thread_starter(FetchThreadStarter starter);

// Seam for tests: called on the worker thread at the moments named, so that
// a test can put the panel's or a canceller's work exactly there.
enum {
    FETCH_MOMENT_BEFORE_REQUEST = 1,  // the cancel mark checked, the request not yet started
    FETCH_MOMENT_ENDING = 2           // fetch_running cleared, fetch_done not yet set; under the
                                      // job lock, so the hook must not wait on start_fetch
};
typedef void (*FetchMomentHook)(int32_t moment);
void set_fetch_moment_hook(FetchMomentHook hook);
#endif

#endif
