// The route of a request: the system's proxy list and bypass texts as
// Windows gives them, the program's own proxy winning, and the system's
// answer kept per origin for the period given, on a clock of the test's.
#include <doctest/doctest.h>

#include <string.h>
#include <string>

#include "fetch/proxy_route.h"
#include "fetch/proxy_route_system.h"
#include "tests/support/proxy_setting.h"

TEST_CASE("proxy lists as the system gives them")
{
    struct Case {
        const char *list;
        const char *scheme;
        const char *host;  // null: none fits
        uint16_t port;
    } cases[] = {
        {"proxy.corp:3128", "http", "proxy.corp", 3128},
        {"proxy.corp:3128", "https", "proxy.corp", 3128},
        {"proxy.corp", "http", "proxy.corp", 80},
        {"http://proxy.corp:8080/", "http", "proxy.corp", 8080},
        {"http=web.corp:80;https=tls.corp:443", "http", "web.corp", 80},
        {"http=web.corp:80;https=tls.corp:443", "https", "tls.corp", 443},
        {"HTTPS=tls.corp:443", "https", "tls.corp", 443},
        {"https=tls.corp:443", "http", NULL, 0},
        {"all.corp:1; http=web.corp:2", "http", "web.corp", 2},   // the scheme's own wins
        {"http=web.corp:2 all.corp:1", "https", "all.corp", 1},
        {"ftp=f.corp:21;socks=s.corp:1080", "http", NULL, 0},
        {"http=:80;x.corp:99999;ok.corp:81", "http", "ok.corp", 81},  // unusable entries skipped
        {"", "http", NULL, 0},
        {";;  ;", "http", NULL, 0},
    };
    for (const Case &c : cases) {
        CAPTURE(c.list);
        CAPTURE(c.scheme);
        ProxyRoute route;
        memset(&route, 0x55, sizeof route);
        int32_t found = proxy_list_pick(c.list, c.scheme, &route);
        CHECK(found == (c.host != NULL));
        CHECK(route.use_proxy == found);
        CHECK(std::string(route.host) == (c.host ? c.host : ""));
        CHECK(route.port == c.port);
    }
}

TEST_CASE("bypass lists")
{
    struct Case {
        const char *bypass;
        const char *scheme;
        const char *host;
        int32_t skips;
    } cases[] = {
        {"<local>", "http", "intranet", 1},
        {"<local>", "http", "www.pogoda.example", 0},
        {"*.corp;10.*", "http", "wiki.corp", 1},
        {"*.corp;10.*", "http", "corp", 0},
        {"*.corp;10.*", "http", "10.1.2.3", 1},
        {"*.CORP", "http", "wiki.corp", 1},
        {"api.open-meteo.com", "https", "api.open-meteo.com", 1},
        {"https://api.*", "https", "api.open-meteo.com", 1},
        {"https://api.*", "http", "api.open-meteo.com", 0},
        {"www.*.example, <local>", "http", "www.pogoda.example", 1},
        {"*", "http", "anything", 1},
        {"", "http", "intranet", 0},
        {"a*b*c", "http", "aXbYc", 1},
        {"a*b*c", "http", "aXbYd", 0},
    };
    for (const Case &c : cases) {
        CAPTURE(c.bypass);
        CAPTURE(c.host);
        CHECK(proxy_bypass_matches(c.bypass, c.scheme, c.host) == c.skips);
    }
}

TEST_CASE("url_split_origin")
{
    struct Case {
        const char *url;
        const char *scheme;  // null: not a URL
        const char *host;
        uint16_t port;
    } cases[] = {
        {"http://www.pogoda.example/pogoda/x", "http", "www.pogoda.example", 80},
        {"HTTPS://API.Open-Meteo.com/v1/forecast?x=1", "https", "api.open-meteo.com", 443},
        {"http://h:8080", "http", "h", 8080},
        {"http://user:pw@h:81/x", "http", "h", 81},
        {"http://h:0/", NULL, NULL, 0},
        {"http://h:65536/", NULL, NULL, 0},
        {"http:///x", NULL, NULL, 0},
        {"www.pogoda.example/x", NULL, NULL, 0},
    };
    for (const Case &c : cases) {
        CAPTURE(c.url);
        char scheme[URL_SCHEME_SIZE] = "";
        char host[PROXY_NAME_SIZE] = "";
        uint16_t port = 0;
        int32_t ok = url_split_origin(c.url, scheme, sizeof scheme, host, sizeof host, &port);
        CHECK(ok == (c.scheme != NULL));
        if (ok && c.scheme != NULL) {
            CHECK(std::string(scheme) == c.scheme);
            CHECK(std::string(host) == c.host);
            CHECK(port == c.port);
        }
    }
}

namespace {

int64_t now_ms = 0;
int lookups = 0;
std::string last_asked;

int64_t test_clock(void)
{
    return now_ms;
}

// Stands for the system: a proxy for every http URL but the intranet's, none
// for https.
int32_t test_lookup(const char *url, const char *scheme, const char *host, ProxyRoute *route)
{
    lookups++;
    last_asked = url;
    if (strcmp(scheme, "http") != 0 || strcmp(host, "intranet") == 0)
        return 1;
    return proxy_list_pick("http=sys.corp:3128", scheme, route);
}

} // namespace

TEST_CASE("the system's answer is kept per origin for the period; the program's own proxy wins")
{
    proxy_route_set_clock(test_clock);
    proxy_route_set_lookup(test_lookup);
    proxy_route_forget();
    now_ms = 1000;
    lookups = 0;
    const int64_t period = 2 * 3600 * 1000;
    ProxyRoute route;

    CHECK(proxy_route_for_url("http://www.pogoda.example/pogoda/x", period, &route) == 1);
    CHECK(std::string(route.host) == "sys.corp");
    CHECK(route.port == 3128);
    CHECK(lookups == 1);
    // The second page of the same origin, within the period: no lookup.
    now_ms += period - 1;
    CHECK(proxy_route_for_url("http://WWW.pogoda.example:80/forecasts5000/x/print", period, &route) == 1);
    CHECK(lookups == 1);
    // Other origins are asked on their own; a direct answer is kept too.
    CHECK(proxy_route_for_url("https://api.open-meteo.com/v1/forecast", period, &route) == 0);
    CHECK(proxy_route_for_url("http://intranet/x", period, &route) == 0);
    CHECK(proxy_route_for_url("http://intranet/y", period, &route) == 0);
    CHECK(lookups == 3);
    // After the period the system is asked again.
    now_ms += 1;
    CHECK(proxy_route_for_url("http://www.pogoda.example/pogoda/y", period, &route) == 1);
    CHECK(lookups == 4);
    CHECK(last_asked == "http://www.pogoda.example/pogoda/y");
    // More origins than the table holds: the oldest goes, the rest stay.
    for (int i = 0; i < PROXY_ROUTE_CACHE_SIZE; i++) {
        now_ms += 10;
        proxy_route_for_url(("http://h" + std::to_string(i) + "/").c_str(), period, &route);
    }
    CHECK(lookups == 4 + PROXY_ROUTE_CACHE_SIZE);
    proxy_route_for_url("http://h3/", period, &route);
    CHECK(lookups == 4 + PROXY_ROUTE_CACHE_SIZE);
    // The program's own proxy wins without asking the system, port's low 16 bits.
    set_proxy(1, "own.corp", 0x10000 | 8080);
    CHECK(proxy_route_for_url("https://api.open-meteo.com/v1/forecast", period, &route) == 1);
    CHECK(std::string(route.host) == "own.corp");
    CHECK(route.port == 8080);
    // Turned on with no name it is no proxy, and the system decides.
    set_proxy(1, "", 8080);
    CHECK(proxy_route_for_url("http://www.pogoda.example/x", period, &route) == 1);
    CHECK(std::string(route.host) == "sys.corp");
    set_proxy(0, "", 8080);
    CHECK(lookups == 4 + PROXY_ROUTE_CACHE_SIZE + 1);
    // A text that is no URL goes direct without asking.
    CHECK(proxy_route_for_url("not a url", period, &route) == 0);
    CHECK(lookups == 4 + PROXY_ROUTE_CACHE_SIZE + 1);

    proxy_route_forget();
    proxy_route_set_lookup(NULL);
    proxy_route_set_clock(NULL);
}
