// The system's side of the route (proxy_route_win.cpp; natively always
// direct), and a seam that stands in for it in tests.
#ifndef VELVANE_FETCH_PROXY_ROUTE_SYSTEM_H
#define VELVANE_FETCH_PROXY_ROUTE_SYSTEM_H

#include <stdint.h>

#include "fetch/proxy_route.h"

// The system's proxy for url, whose scheme and host (lower case) are given
// apart too. Returns 1 with route filled (direct or a proxy), 0 when the
// settings could not be read at all (direct).
int32_t proxy_route_system(const char *url, const char *scheme, const char *host, ProxyRoute *route);

// Seam: a lookup used instead of proxy_route_system (null restores it).
typedef int32_t (*ProxyRouteLookup)(const char *url, const char *scheme, const char *host, ProxyRoute *route);
void proxy_route_set_lookup(ProxyRouteLookup lookup);

#endif
