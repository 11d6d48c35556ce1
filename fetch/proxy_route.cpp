// The route of a request: the program's own proxy, else the system's answer
// for the URL's origin, kept for the period the caller gives. The system's
// lookup itself is proxy_route_system (proxy_route_win.cpp, or direct in
// proxy_route_posix.cpp).
#include "fetch/proxy_route.h"

#include <atomic>
#include <stdio.h>
#include <string.h>

#include "fetch/net_socket.h"
#include "fetch/proxy_route_system.h"

static char lower_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

static void set_direct(ProxyRoute *route)
{
    memset(route, 0, sizeof *route);
}

int32_t proxy_route_own(ProxyRoute *route)
{
    int32_t use_proxy = 0;
    int32_t port = 0;
    set_direct(route);
    proxy_settings_snapshot(&use_proxy, route->host, &port);
    if (!use_proxy || route->host[0] == '\0') {
        set_direct(route);
        return 0;
    }
    route->use_proxy = 1;
    route->port = (uint16_t)(port & 0xFFFF);  // the low 16 bits, as always
    return 1;
}

int32_t url_split_origin(const char *url, char *scheme, int32_t scheme_size, char *host,
                         int32_t host_size, uint16_t *port)
{
    if (url == NULL)
        return 0;
    const char *separator = strstr(url, "://");
    if (separator == NULL || separator == url || separator - url >= scheme_size)
        return 0;
    int32_t n = (int32_t)(separator - url);
    for (int32_t i = 0; i < n; i++)
        scheme[i] = lower_ascii(url[i]);
    scheme[n] = '\0';
    const char *authority = separator + 3;
    size_t length = strcspn(authority, "/?#");
    const char *at = NULL;
    for (size_t i = 0; i < length; i++)
        if (authority[i] == '@')
            at = authority + i;
    if (at != NULL) {  // a sign-in before the host is not part of its name
        length -= (size_t)(at + 1 - authority);
        authority = at + 1;
    }
    size_t name_length = strcspn(authority, ":/?#");
    if (name_length > length)
        name_length = length;
    if (name_length == 0 || name_length >= (size_t)host_size)
        return 0;
    for (size_t i = 0; i < name_length; i++)
        host[i] = lower_ascii(authority[i]);
    host[name_length] = '\0';
    uint32_t value = strcmp(scheme, "https") == 0 ? 443 : 80;
    if (name_length < length) {
        value = 0;
        for (size_t i = name_length + 1; i < length; i++) {
            if (authority[i] < '0' || authority[i] > '9' || value > 65535)
                return 0;
            value = value * 10 + (uint32_t)(authority[i] - '0');
        }
        if (value == 0 || value > 65535)
            return 0;
    }
    *port = (uint16_t)value;
    return 1;
}

// ---- The proxy list ---------------------------------------------------------

static int is_separator(char c)
{
    return c == ';' || c == ' ' || c == '\t' || c == ',';
}

// Reads "host[:port]" (an optional "http://" before it, a trailing '/' after)
// from entry[0..length) into route. 0 when it names nothing usable.
static int32_t read_proxy_entry(const char *entry, size_t length, ProxyRoute *route)
{
    const char *separator = NULL;
    for (size_t i = 0; i + 2 < length; i++)
        if (entry[i] == ':' && entry[i + 1] == '/' && entry[i + 2] == '/')
            separator = entry + i;
    if (separator != NULL) {
        length -= (size_t)(separator + 3 - entry);
        entry = separator + 3;
    }
    while (length > 0 && entry[length - 1] == '/')
        length--;
    size_t name_length = length;
    uint32_t port = PROXY_DEFAULT_PORT;
    const char *colon = (const char *)memchr(entry, ':', length);
    if (colon != NULL) {
        name_length = (size_t)(colon - entry);
        port = 0;
        for (const char *p = colon + 1; p < entry + length; p++) {
            if (*p < '0' || *p > '9' || port > 65535)
                return 0;
            port = port * 10 + (uint32_t)(*p - '0');
        }
        if (port == 0 || port > 65535)
            return 0;
    }
    if (name_length == 0 || name_length >= sizeof route->host)
        return 0;
    for (size_t i = 0; i < name_length; i++)
        if (strchr("=/@?#", entry[i]) != NULL)
            return 0;  // no host name
    memcpy(route->host, entry, name_length);
    route->host[name_length] = '\0';
    route->port = (uint16_t)port;
    route->use_proxy = 1;
    return 1;
}

int32_t proxy_list_pick(const char *list, const char *scheme, ProxyRoute *route)
{
    set_direct(route);
    if (list == NULL || scheme == NULL)
        return 0;
    size_t scheme_length = strlen(scheme);
    int found_general = 0;
    ProxyRoute general;
    set_direct(&general);
    const char *p = list;
    while (*p != '\0') {
        while (is_separator(*p))
            p++;
        size_t length = 0;
        while (p[length] != '\0' && !is_separator(p[length]))
            length++;
        if (length == 0)
            break;
        const char *equals = (const char *)memchr(p, '=', length);
        if (equals != NULL) {
            size_t name_length = (size_t)(equals - p);
            int same = name_length == scheme_length;
            for (size_t i = 0; same && i < name_length; i++)
                same = lower_ascii(p[i]) == lower_ascii(scheme[i]);
            if (same && read_proxy_entry(equals + 1, length - name_length - 1, route))
                return 1;  // the scheme's own entry wins
        } else if (!found_general) {
            found_general = read_proxy_entry(p, length, &general);
        }
        p += length;
    }
    if (found_general) {
        *route = general;
        return 1;
    }
    return 0;
}

// ---- The bypass list ----------------------------------------------------------

// Does text match pattern ('*' any run), both of the given lengths, without
// regard to case?
static int wildcard_match(const char *pattern, size_t pattern_length, const char *text, size_t text_length)
{
    size_t p = 0, t = 0;
    size_t star = (size_t)-1, resume = 0;
    while (t < text_length) {
        if (p < pattern_length && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern_length && lower_ascii(pattern[p]) == lower_ascii(text[t])) {
            p++;
            t++;
        } else if (star != (size_t)-1) {
            p = star + 1;
            t = ++resume;
        } else {
            return 0;
        }
    }
    while (p < pattern_length && pattern[p] == '*')
        p++;
    return p == pattern_length;
}

int32_t proxy_bypass_matches(const char *bypass, const char *scheme, const char *host)
{
    if (bypass == NULL || host == NULL)
        return 0;
    size_t host_length = strlen(host);
    const char *p = bypass;
    while (*p != '\0') {
        while (is_separator(*p))
            p++;
        size_t length = 0;
        while (p[length] != '\0' && !is_separator(p[length]))
            length++;
        if (length == 0)
            break;
        const char *entry = p;
        size_t entry_length = length;
        p += length;
        // "scheme://pattern" serves that scheme only.
        const char *separator = NULL;
        for (size_t i = 0; i + 2 < entry_length; i++)
            if (entry[i] == ':' && entry[i + 1] == '/' && entry[i + 2] == '/') {
                separator = entry + i;
                break;
            }
        if (separator != NULL) {
            size_t name_length = (size_t)(separator - entry);
            if (scheme == NULL || strlen(scheme) != name_length ||
                !wildcard_match(entry, name_length, scheme, name_length))
                continue;
            entry_length -= name_length + 3;
            entry = separator + 3;
        }
        if (entry_length == 7 && wildcard_match("<local>", 7, entry, 7)) {
            if (strchr(host, '.') == NULL)
                return 1;
            continue;
        }
        if (wildcard_match(entry, entry_length, host, host_length))
            return 1;
    }
    return 0;
}

// ---- The kept answers ---------------------------------------------------------

struct KeptRoute {
    char origin[URL_SCHEME_SIZE + PROXY_NAME_SIZE + 8];  // "scheme://host:port", empty when free
    int64_t taken_ms;
    ProxyRoute route;
};

static KeptRoute kept[PROXY_ROUTE_CACHE_SIZE];
// Held only while the table is read or written, never during a lookup.
static std::atomic_flag kept_busy = ATOMIC_FLAG_INIT;
static std::atomic<ProxyRouteClock> route_clock(nullptr);
static std::atomic<ProxyRouteLookup> route_lookup(nullptr);

static void kept_lock(void)
{
    while (kept_busy.test_and_set(std::memory_order_acquire)) {
    }
}

static void kept_unlock(void)
{
    kept_busy.clear(std::memory_order_release);
}

static int64_t route_now_ms(void)
{
    ProxyRouteClock clock = route_clock.load();
    return clock != NULL ? clock() : net_now_ms();
}

void proxy_route_set_clock(ProxyRouteClock clock)
{
    route_clock.store(clock);
}

void proxy_route_set_lookup(ProxyRouteLookup lookup)
{
    route_lookup.store(lookup);
}

void proxy_route_forget(void)
{
    kept_lock();
    memset(kept, 0, sizeof kept);
    kept_unlock();
}

int32_t proxy_route_for_url(const char *url, int64_t period_ms, ProxyRoute *route)
{
    if (proxy_route_own(route))
        return 1;
    char scheme[URL_SCHEME_SIZE];
    char host[PROXY_NAME_SIZE];
    uint16_t port = 0;
    if (!url_split_origin(url, scheme, sizeof scheme, host, sizeof host, &port))
        return 0;  // nothing a proxy could be asked for: direct
    char origin[sizeof kept[0].origin];
    snprintf(origin, sizeof origin, "%s://%s:%u", scheme, host, (unsigned)port);

    int64_t now = route_now_ms();
    int found = 0;
    kept_lock();
    for (int i = 0; i < PROXY_ROUTE_CACHE_SIZE && !found; i++) {
        if (kept[i].origin[0] != '\0' && strcmp(kept[i].origin, origin) == 0 &&
            now - kept[i].taken_ms >= 0 && now - kept[i].taken_ms < period_ms) {
            *route = kept[i].route;
            found = 1;
        }
    }
    kept_unlock();
    if (found)
        return route->use_proxy;

    ProxyRouteLookup lookup = route_lookup.load();
    set_direct(route);
    if (!(lookup != NULL ? lookup : proxy_route_system)(url, scheme, host, route))
        set_direct(route);

    // Keep it in the slot of this origin, a free one, or the oldest.
    kept_lock();
    int slot = 0;
    for (int i = 0; i < PROXY_ROUTE_CACHE_SIZE; i++) {
        if (strcmp(kept[i].origin, origin) == 0 || kept[i].origin[0] == '\0') {
            slot = i;
            break;
        }
        if (kept[i].taken_ms < kept[slot].taken_ms)
            slot = i;
    }
    memcpy(kept[slot].origin, origin, sizeof origin);
    kept[slot].taken_ms = now;
    kept[slot].route = *route;
    kept_unlock();
    return route->use_proxy;
}
