// The readers of the system's proxy texts on any bytes: no read or write
// out of bounds, every route they give usable, and a single bypass entry
// of plain name characters and '*' judged as fnmatch(3) judges it.
// The first byte splits the rest into a text and a host.
#include <fnmatch.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fetch/proxy_route.h"

static void check_route(const ProxyRoute *route, int32_t found)
{
    size_t n = strnlen(route->host, sizeof route->host);
    if (n == sizeof route->host || route->use_proxy != found)
        abort();
    if (found && (n == 0 || route->port == 0 || strpbrk(route->host, ";= \t,:/@?#") != NULL))
        abort();
    if (!found && (n != 0 || route->port != 0))
        abort();
}

static bool plain(const std::string &text, bool star)
{
    for (char c : text) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '-' || (star && c == '*');
        if (!ok)
            return false;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    size_t split = 1 + data[0] % size;
    std::string text((const char *)data + 1, split - 1);
    std::string host((const char *)data + split, size - split);
    text = text.c_str();  // a zero byte ends a text
    host = host.c_str();

    ProxyRoute route;
    for (const char *scheme : {"http", "https"}) {
        int32_t found = proxy_list_pick(text.c_str(), scheme, &route);
        check_route(&route, found);
        proxy_bypass_matches(text.c_str(), scheme, host.c_str());
    }

    char scheme[URL_SCHEME_SIZE];
    char name[PROXY_NAME_SIZE];
    uint16_t port = 0;
    if (url_split_origin(text.c_str(), scheme, sizeof scheme, name, sizeof name, &port)) {
        if (port == 0 || name[0] == '\0' || strpbrk(name, ":/?#@") != NULL)
            abort();
        for (const char *p = name; *p; p++)
            if (*p >= 'A' && *p <= 'Z')
                abort();
    }

    // Differential: one entry against fnmatch, both without regard to case.
    if (!text.empty() && plain(text, true) && plain(host, false)) {
        int32_t ours = proxy_bypass_matches(text.c_str(), "http", host.c_str());
        int32_t theirs = fnmatch(text.c_str(), host.c_str(), FNM_CASEFOLD) == 0;
        if (ours != theirs)
            abort();
    }
    return 0;
}
