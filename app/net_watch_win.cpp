// The address-change watch: one outstanding NotifyAddrChange at a time,
// waited for on a thread that does nothing else.
#include "app/net_watch.h"

#include <iphlpapi.h>
#include <process.h>
#include <string.h>

enum { STOP_WAIT_MS = 5000, CANCEL_WAIT_MS = 1000 };

static HANDLE watch_thread;
static HANDLE stop_event;
static HANDLE simulate_event;
static HANDLE ready_event;
static HWND watch_window;
static UINT watch_message;
static int watch_armed;
// Module-level rather than on the thread's stack: the system writes to it
// when the request completes, even a request cancelled as the thread ends.
static OVERLAPPED change;

// Asks for the next change report; 1 when the request is outstanding.
static int arm(void)
{
    ResetEvent(change.hEvent);
    HANDLE handle = NULL;
    DWORD result = NotifyAddrChange(&handle, &change);
    return result == ERROR_IO_PENDING || result == NO_ERROR;
}

static unsigned __stdcall watch_main(void *unused)
{
    (void)unused;
    int pending = arm();
    watch_armed = pending;
    SetEvent(ready_event);
    for (;;) {
        HANDLE waits[3] = {stop_event, simulate_event, change.hEvent};
        // Without an outstanding request only a stop or the test seam can
        // wake the thread: there is no polling to fall back on.
        DWORD count = pending ? 3 : 2;
        DWORD woken = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 2) {
            pending = arm();
            PostMessageA(watch_window, watch_message, 0, 0);
        } else if (woken == WAIT_OBJECT_0 + 1) {
            PostMessageA(watch_window, watch_message, 0, 0);
        } else {
            break;
        }
    }
    if (pending && CancelIPChangeNotify(&change))
        WaitForSingleObject(change.hEvent, CANCEL_WAIT_MS);
    return 0;
}

static void close_handle(HANDLE *handle)
{
    if (*handle != NULL)
        CloseHandle(*handle);
    *handle = NULL;
}

int net_watch_start(HWND window, UINT message)
{
    if (watch_thread != NULL)
        return 0;
    memset(&change, 0, sizeof change);
    change.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    stop_event = CreateEventA(NULL, TRUE, FALSE, NULL);
    simulate_event = CreateEventA(NULL, FALSE, FALSE, NULL);
    ready_event = CreateEventA(NULL, TRUE, FALSE, NULL);
    watch_window = window;
    watch_message = message;
    watch_armed = 0;
    if (change.hEvent != NULL && stop_event != NULL && simulate_event != NULL && ready_event != NULL)
        watch_thread = (HANDLE)_beginthreadex(NULL, 0, watch_main, NULL, 0, NULL);
    if (watch_thread == NULL) {
        close_handle(&change.hEvent);
        close_handle(&stop_event);
        close_handle(&simulate_event);
        close_handle(&ready_event);
        return 0;
    }
    WaitForSingleObject(ready_event, INFINITE);
    return watch_armed;
}

void net_watch_stop(void)
{
    if (watch_thread == NULL)
        return;
    SetEvent(stop_event);
    // A thread that does not end in time keeps its events, which it may
    // still wait on, and the watch stays taken.
    if (WaitForSingleObject(watch_thread, STOP_WAIT_MS) != WAIT_OBJECT_0)
        return;
    close_handle(&watch_thread);
    close_handle(&change.hEvent);
    close_handle(&stop_event);
    close_handle(&simulate_event);
    close_handle(&ready_event);
}

void net_watch_simulate_change(void)
{
    if (simulate_event != NULL)
        SetEvent(simulate_event);
}
