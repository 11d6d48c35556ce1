// Watching the machine's network: the IP helper reports every change of
// the machine's addresses (a network coming up, going or changing), with no
// polling, and each report is posted to a window as a message of its
// choosing. What follows from it is the fetch schedule's business
// (fetch_schedule_network_changed).
#ifndef VELVANE_APP_NET_WATCH_H
#define VELVANE_APP_NET_WATCH_H

#include <windows.h>

// Starts the watch on a thread of its own: after each change of the
// machine's addresses, message is posted to window (parameters 0). 1 when
// the system took the request for notification; 0 otherwise (or when a
// watch already runs), and then nothing is posted.
int net_watch_start(HWND window, UINT message);

// Ends the watch and its thread. Nothing is posted after it returns.
void net_watch_stop(void);

// Seam for tests, whose machine never changes its addresses: acts as if the
// system had reported a change.
void net_watch_simulate_change(void);

#endif
