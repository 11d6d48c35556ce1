// The simulator's service side: request heads, routes and pages.
#include "tools/sim/sim_service.h"

#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "panel/day_number.h"
#include "settings/catalogue.h"
#include "tests/support/page_builder.h"
#include "tools/sim/sim_open_data.h"
#include "tools/sim/sim_search.h"
#include "tools/sim/sim_weather.h"
#include "util/mem.h"

namespace {

const char ACTUAL_PREFIX[] = "/pogoda/";
const char FORECAST_PREFIX[] = "/forecasts5000/";
const char FORECAST_SUFFIX[] = "/print";

// A page after a redesign: the service answers, but none of the markers
// that the program reads are there.
const char CHANGED_PAGE[] =
    "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\"><title>Погода</title></head>\n"
    "<body><main class=\"weather-card\"><h1>Погода</h1><section data-now>Новый дизайн сайта: "
    "данные загружаются скриптом.</section></main></body></html>\n";

int pages_mode = SIM_PAGES_ON;

// The next line of a head: its start, its length without the line break,
// and where the following line starts; 0 when no line break follows.
int next_line(const char *bytes, int32_t length, int32_t from, int32_t *line_length, int32_t *next)
{
    for (int32_t i = from; i < length; i++) {
        if (bytes[i] == '\n') {
            int32_t end = i > from && bytes[i - 1] == '\r' ? i - 1 : i;
            *line_length = end - from;
            *next = i + 1;
            return 1;
        }
    }
    return 0;
}

void copy_field(char *to, int32_t size, const char *from, int32_t n)
{
    // Leading and trailing blanks are no part of a value.
    while (n > 0 && (*from == ' ' || *from == '\t')) {
        from++;
        n--;
    }
    while (n > 0 && (from[n - 1] == ' ' || from[n - 1] == '\t'))
        n--;
    if (n > size - 1)
        n = size - 1;
    memcpy(to, from, (size_t)n);
    to[n] = 0;
}

int parse_request_line(const char *line, int32_t n, SimRequest *out)
{
    const char *end = line + n;
    const char *p = line;
    const char *method = p;
    while (p < end && *p != ' ')
        p++;
    int32_t method_length = (int32_t)(p - method);
    if (method_length == 0 || method_length > SIM_METHOD_MAX || p >= end)
        return 0;
    for (const char *m = method; m < p; m++) {
        if (!isupper((unsigned char)*m))
            return 0;
    }
    p++;
    const char *target = p;
    while (p < end && *p != ' ')
        p++;
    int32_t target_length = (int32_t)(p - target);
    if (target_length == 0 || target_length > SIM_TARGET_MAX || p >= end)
        return 0;
    for (const char *t = target; t < p; t++) {
        if ((unsigned char)*t <= 0x20 || (unsigned char)*t >= 0x7F)
            return 0;
    }
    p++;
    if (end - p != 8 || memcmp(p, "HTTP/1.", 7) != 0 || (p[7] != '0' && p[7] != '1'))
        return 0;
    memcpy(out->method, method, (size_t)method_length);
    out->method[method_length] = 0;
    memcpy(out->target, target, (size_t)target_length);
    out->target[target_length] = 0;
    return 1;
}

// Whether the first n bytes of a request line that has not ended yet can
// still become one: a method of capital letters, one blank, a target of
// visible characters, one blank and the start of "HTTP/1.0" or "HTTP/1.1"
// (and its CR). What cannot is bad at once, so that a client which sends no
// HTTP at all (a TLS hello, say) is not kept waiting for a line end.
int request_line_may_continue(const char *line, int32_t n)
{
    int32_t i = 0;
    while (i < n && line[i] != ' ') {
        if (!isupper((unsigned char)line[i]))
            return 0;
        i++;
    }
    if (i > SIM_METHOD_MAX || (i == 0 && n > 0))
        return 0;
    if (i >= n)
        return 1;
    int32_t target = ++i;
    while (i < n && line[i] != ' ') {
        unsigned char c = (unsigned char)line[i];
        if (c <= 0x20 || c >= 0x7F)
            return 0;
        i++;
    }
    if (i - target > SIM_TARGET_MAX || (i == target && i < n))
        return 0;
    if (i >= n)
        return 1;
    i++;
    static const char VERSION[] = "HTTP/1.";
    for (int32_t k = 0; i < n; i++, k++) {
        char c = line[i];
        int ok = k < 7 ? c == VERSION[k] : k == 7 ? (c == '0' || c == '1') : k == 8 && c == '\r';
        if (!ok)
            return 0;
    }
    return 1;
}

char *join(const char *head, const char *body, int32_t body_length, int32_t *length)
{
    size_t head_length = strlen(head);
    int32_t total = (int32_t)head_length + body_length;
    char *block = (char *)mem_alloc((uint32_t)total);
    if (block == NULL)
        return NULL;
    memcpy(block, head, head_length);
    if (body_length > 0)
        memcpy(block + head_length, body, (size_t)body_length);
    *length = total;
    return block;
}

const char *reason_of(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    default: return "Error";
    }
}

// A response with Content-Length, closing the connection after it.
char *response(int status, const char *body, int32_t body_length, int with_body, int32_t *length)
{
    char head[512];
    snprintf(head, sizeof head,
             "HTTP/1.1 %d %s\r\nServer: velvane-sim\r\nContent-Type: text/html; charset=utf-8\r\n"
             "%sContent-Length: %d\r\nConnection: close\r\n\r\n",
             status, reason_of(status), status == 405 ? "Allow: GET, HEAD\r\n" : "", (int)body_length);
    return join(head, body, with_body ? body_length : 0, length);
}

char *error_response(int status, int with_body, int32_t *length)
{
    char body[256];
    int n = snprintf(body, sizeof body,
                     "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%d</title></head>"
                     "<body><h1>%d %s</h1></body></html>\n",
                     status, status, reason_of(status));
    return response(status, body, n, with_body, length);
}

// Whether text starts with the n bytes of key followed by a slash; the
// position after the slash.
const char *after_key(const char *text, const char *key)
{
    size_t n = strlen(key);
    if (strncmp(text, key, n) != 0 || text[n] != '/')
        return NULL;
    return text + n + 1;
}

// Where a forecast response drops in the cut mode: just after the row of
// date headings (the end of its last "pogodadate" cell's row).
int32_t cut_after_dates(const char *bytes, int32_t length)
{
    std::string text(bytes, (size_t)length);
    size_t last = text.rfind("pogodadate");
    size_t row_end = last != std::string::npos ? text.find("</tr>", last) : std::string::npos;
    return row_end != std::string::npos ? (int32_t)(row_end + 5) : length;
}

} // namespace

int sim_parse_request(const char *bytes, int32_t length, SimRequest *out)
{
    memset(out, 0, sizeof *out);
    int32_t at = 0;
    // A client may send line breaks after its previous request.
    while (at < length && (bytes[at] == '\r' || bytes[at] == '\n'))
        at++;
    int32_t scan = length < SIM_HEAD_MAX ? length : SIM_HEAD_MAX;
    int32_t n, next;
    if (!next_line(bytes, scan, at, &n, &next)) {
        if (length >= SIM_HEAD_MAX || (at < scan && !request_line_may_continue(bytes + at, scan - at)))
            return SIM_PARSE_BAD;
        return SIM_PARSE_INCOMPLETE;
    }
    if (!parse_request_line(bytes + at, n, out))
        return SIM_PARSE_BAD;
    at = next;
    for (;;) {
        if (!next_line(bytes, scan, at, &n, &next))
            return length >= SIM_HEAD_MAX ? SIM_PARSE_BAD : SIM_PARSE_INCOMPLETE;
        const char *line = bytes + at;
        at = next;
        if (n == 0)
            break;
        const char *colon = (const char *)memchr(line, ':', (size_t)n);
        if (colon == NULL || colon == line || line[0] == ' ' || line[0] == '\t')
            return SIM_PARSE_BAD;
        int32_t name_length = (int32_t)(colon - line);
        for (int32_t i = 0; i < name_length; i++) {
            unsigned char c = (unsigned char)line[i];
            if (c <= 0x20 || c >= 0x7F)
                return SIM_PARSE_BAD;
        }
        int32_t value_length = n - name_length - 1;
        if (name_length == 4 && strncasecmp(line, "host", 4) == 0)
            copy_field(out->host, sizeof out->host, colon + 1, value_length);
        else if (name_length == 7 && strncasecmp(line, "referer", 7) == 0) {
            copy_field(out->referer, sizeof out->referer, colon + 1, value_length);
            out->has_referer = 1;
        }
    }
    out->head_length = at;
    return SIM_PARSE_OK;
}

int sim_route(const char *target, char *location, int32_t size)
{
    location[0] = 0;
    const char *path = target;
    if (strncasecmp(path, "http://", 7) == 0) {
        path = strchr(path + 7, '/');
        if (path == NULL)
            return SIM_PAGE_NONE;
    }
    size_t n = strcspn(path, "?#");
    int page = SIM_PAGE_NONE;
    const char *start = NULL;
    size_t location_length = 0;
    size_t actual = sizeof ACTUAL_PREFIX - 1;
    size_t forecast = sizeof FORECAST_PREFIX - 1;
    size_t suffix = sizeof FORECAST_SUFFIX - 1;
    if (n > actual && strncmp(path, ACTUAL_PREFIX, actual) == 0) {
        page = SIM_PAGE_ACTUAL;
        start = path + actual;
        location_length = n - actual;
    } else if (n > forecast + suffix && strncmp(path, FORECAST_PREFIX, forecast) == 0 &&
               strncmp(path + n - suffix, FORECAST_SUFFIX, suffix) == 0) {
        page = SIM_PAGE_FORECAST;
        start = path + forecast;
        location_length = n - forecast - suffix;
    }
    if (page == SIM_PAGE_NONE || location_length == 0 || location_length >= (size_t)size)
        return SIM_PAGE_NONE;
    memcpy(location, start, location_length);
    location[location_length] = 0;
    return page;
}

int sim_known_location(const char *location)
{
    for (int32_t c = 0; c < CATALOGUE_COUNTRY_COUNT; c++) {
        const CountryEntry *country = catalogue_country(c);
        const char *rest = after_key(location, country_key_of(country));
        if (rest == NULL)
            continue;
        for (int32_t i = 0; i < country->city_count; i++) {
            const CityEntry *city = catalogue_city(c, i);
            const char *tail = after_key(rest, region_key_of(city));
            if (tail != NULL && strcmp(tail, city_key_of(city)) == 0)
                return 1;
        }
    }
    return 0;
}

int32_t sim_today(void)
{
    return (int32_t)floor(today_day_number() + 0.5);
}

char *sim_build_page(int page, uint32_t seed, const char *location, int32_t today, int32_t *length)
{
    *length = 0;
    if (page == SIM_PAGE_ACTUAL) {
        SimObservation now;
        sim_weather_observation(seed, location, today, &now);
        ActualPageSpec spec;
        page_actual_defaults(&spec);
        spec.with_headers = 0;
        spec.pressure = now.pressure;
        spec.temperature = now.temperature;
        spec.humidity = now.humidity;
        spec.picture = now.picture;
        spec.comment = now.comment;
        spec.wind_direction = now.wind_direction;
        spec.wind_speed = now.wind_speed;
        spec.precip_6h = now.precip_6h;
        spec.precip_12h = now.precip_12h;
        spec.precip_24h = now.precip_24h;
        return page_build_actual(&spec, length);
    }
    if (page == SIM_PAGE_FORECAST) {
        ForecastPageSpec spec;
        page_forecast_defaults(&spec);
        spec.with_headers = 0;
        char headings[PAGE_DAYS][32];
        for (int i = 0; i < PAGE_DAYS; i++) {
            SimDay day;
            sim_weather_day(seed, location, today + i, &day);
            page_date_heading((double)(today + i), headings[i], sizeof headings[i]);
            spec.date_headings[i] = headings[i];
            spec.days[i].night_temperature = day.night_temperature;
            spec.days[i].day_temperature = day.day_temperature;
            spec.days[i].picture = day.forecast_picture;
            spec.days[i].comment = day.forecast_comment;
            spec.days[i].precip = day.precip;
            spec.days[i].precip_probability = day.precip_probability;
            spec.days[i].wind_direction = day.wind_direction;
            spec.days[i].wind_speed = day.wind_speed;
        }
        return page_build_forecast(&spec, length);
    }
    return NULL;
}

char *sim_respond(const SimRequest *request, uint32_t seed, int32_t today, int *status, int32_t *length)
{
    int head_only = strcmp(request->method, "HEAD") == 0;
    if (strcmp(request->method, "GET") != 0 && !head_only) {
        *status = 405;
        return error_response(405, 1, length);
    }
    if (sim_open_data_route(request->target))
        return sim_open_data_respond(request->target, head_only, seed, clock_now_seconds(), status, length);
    if (sim_search_route(request->target))
        return sim_search_respond(request->target, head_only, status, length);
    char location[SIM_TARGET_MAX + 1];
    int page = sim_route(request->target, location, sizeof location);
    if (page == SIM_PAGE_NONE || !sim_known_location(location) || pages_mode == SIM_PAGES_OFF) {
        *status = 404;
        return error_response(404, !head_only, length);
    }
    if (pages_mode == SIM_PAGES_CHANGED) {
        *status = 200;
        return response(200, CHANGED_PAGE, (int32_t)strlen(CHANGED_PAGE), !head_only, length);
    }
    int32_t body_length;
    char *body = sim_build_page(page, seed, location, today, &body_length);
    if (body == NULL) {
        *status = 500;
        return error_response(500, !head_only, length);
    }
    *status = 200;
    char *whole = response(200, body, body_length, !head_only, length);
    mem_free(body);
    if (whole != NULL && pages_mode == SIM_PAGES_CUT && page == SIM_PAGE_FORECAST && !head_only)
        *length = cut_after_dates(whole, *length);
    return whole;
}

void sim_set_pages_mode(int mode)
{
    pages_mode = mode;
}

char *sim_bad_request(int32_t *length)
{
    return error_response(400, 1, length);
}

int sim_connect_status(const char *target)
{
    const char *colon = strrchr(target, ':');
    if (colon == NULL || colon == target || colon[1] == 0)
        return 400;
    if (target[0] == '[') {
        // An IPv6 address in brackets: hexadecimal digits, colons (at least
        // one) and the dots of an IPv4 tail.
        if (colon - target < 4 || colon[-1] != ']')
            return 400;
        int colons = 0;
        for (const char *p = target + 1; p < colon - 1; p++) {
            unsigned char c = (unsigned char)*p;
            if (!isxdigit(c) && c != ':' && c != '.')
                return 400;
            colons += c == ':';
        }
        if (colons == 0)
            return 400;
    } else {
        for (const char *p = target; p < colon; p++) {
            unsigned char c = (unsigned char)*p;
            if (!isalnum(c) && c != '.' && c != '-' && c != '_')
                return 400;
        }
    }
    long port = 0;
    for (const char *p = colon + 1; *p != 0; p++) {
        if (!isdigit((unsigned char)*p) || port > 65535)
            return 400;
        port = port * 10 + (*p - '0');
    }
    if (port < 1 || port > 65535)
        return 400;
    return port == 80 ? 200 : 403;
}

char *sim_connect_answer(int status, int32_t *length)
{
    if (status == 200)
        return join("HTTP/1.0 200 Connection established\r\nProxy-Agent: velvane-sim\r\n\r\n", NULL, 0, length);
    return error_response(status, 1, length);
}
