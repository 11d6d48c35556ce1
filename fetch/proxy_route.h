// How a request reaches its server: directly, or through a forward proxy.
// The program's own proxy (is_use_proxy) wins for every request; without it
// the user's system proxy settings decide, per URL, as a browser would: a
// static proxy with its bypass list, a PAC script or automatic detection.
// The reading of the settings' texts is portable; the system's side lives in
// proxy_route_win.cpp (proxy_route_posix.cpp knows only the program's own).
#ifndef VELVANE_FETCH_PROXY_ROUTE_H
#define VELVANE_FETCH_PROXY_ROUTE_H

#include <stdint.h>

#include "settings/settings_vars.h"

struct ProxyRoute {
    int32_t use_proxy;           // 1: through host:port; 0: directly
    char host[PROXY_NAME_SIZE];  // the proxy's name, terminated; empty when direct
    uint16_t port;               // the proxy's port; 0 when direct
};

enum {
    PROXY_DEFAULT_PORT = 80,                // a proxy named without a port
    PROXY_ROUTE_LOOKUP_TIMEOUT_MS = 3000,   // each step of a PAC or detection lookup
    PROXY_ROUTE_CACHE_SIZE = 4              // origins remembered at once
};

// The route for url ("http://host[:port]/path" or "https://..."): the
// program's own proxy when is_use_proxy is set, else the system's answer for
// that URL. The system's answer is kept for period_ms per scheme, host and
// port, so a PAC or detection lookup costs one fetch per period at most, and
// a lookup that fails means direct (and is kept as such). Always fills
// route; returns route->use_proxy. Any thread; the worker calls it once per
// request.
int32_t proxy_route_for_url(const char *url, int64_t period_ms, ProxyRoute *route);

// Forgets the kept answers (the next call asks the system again).
void proxy_route_forget(void);

// Seam for tests: the clock the kept answers age by (null: the system's
// monotonic milliseconds). Set it while no request runs.
typedef int64_t (*ProxyRouteClock)(void);
void proxy_route_set_clock(ProxyRouteClock clock);

// ---- Portable readers of the system's texts ---------------------------

// The program's own proxy setting as a route: 1 when is_use_proxy is set
// and a name is given.
int32_t proxy_route_own(ProxyRoute *route);

// Picks the proxy for scheme ("http" or "https") from a proxy list as the
// system gives it: "host:port", "http=host:port;https=host:port", entries
// parted by ';' or blanks, an optional "http://" before a host, a missing
// port meaning PROXY_DEFAULT_PORT. An entry without "scheme=" serves every
// scheme; a "scheme=" entry serves its scheme only and wins over those.
// Returns 1 and fills route when one fits, else 0 with route direct.
int32_t proxy_list_pick(const char *list, const char *scheme, ProxyRoute *route);

// Does host skip the proxy by the bypass list ("<local>;*.corp;10.*")?
// Entries parted by ';', ',' or blanks, compared without regard to case,
// '*' standing for any run of characters; "<local>" matches a name without
// a dot. A "scheme://" before an entry limits it to that scheme.
int32_t proxy_bypass_matches(const char *bypass, const char *scheme, const char *host);

// Splits url into its scheme (lower case), host (lower case) and port (the
// scheme's own when none is given: 80 for http, 443 for https). Returns 1 on
// success, 0 for a text that is not "scheme://host...".
enum { URL_SCHEME_SIZE = 16 };
int32_t url_split_origin(const char *url, char *scheme, int32_t scheme_size, char *host,
                         int32_t host_size, uint16_t *port);

#endif
