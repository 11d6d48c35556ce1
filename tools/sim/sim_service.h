// The simulator's service side without sockets: reading a request head,
// routing its path to one of the two pages of a catalogue location, and the
// response bytes.
#ifndef VELVANE_TOOLS_SIM_SIM_SERVICE_H
#define VELVANE_TOOLS_SIM_SIM_SERVICE_H

#include <stdint.h>

enum {
    SIM_HEAD_MAX = 16384,     // bytes of one request head, empty lines before it included
    SIM_METHOD_MAX = 15,
    SIM_TARGET_MAX = 2047,
    SIM_FIELD_MAX = 1023      // a Host or Referer value kept
};

enum SimParseResult {
    SIM_PARSE_INCOMPLETE,     // no end of the head yet (and still within SIM_HEAD_MAX)
    SIM_PARSE_OK,
    SIM_PARSE_BAD             // not a request we can read, or a head too long
};

struct SimRequest {
    char method[SIM_METHOD_MAX + 1];
    char target[SIM_TARGET_MAX + 1];   // as on the request line
    char host[SIM_FIELD_MAX + 1];      // Host header (any case of the name), or empty
    char referer[SIM_FIELD_MAX + 1];   // Referer header, or empty
    int has_referer;
    int32_t head_length;               // bytes up to and including the empty line
};

// Reads a request head from the first length bytes of a connection (or of
// a tunnel, after CONNECT). Empty lines before the request line are
// skipped. The request line must be METHOD TARGET HTTP/1.x; every header
// line must have a name and a colon. A request line that cannot become one
// is bad before it ends.
int sim_parse_request(const char *bytes, int32_t length, SimRequest *out);

// The pages.
enum SimPage { SIM_PAGE_NONE, SIM_PAGE_ACTUAL, SIM_PAGE_FORECAST };

// The page a request target names ("/pogoda/LOCATION" or
// "/forecasts5000/LOCATION/print", also in absolute form "http://host/..."),
// with the location path copied out; SIM_PAGE_NONE for anything else. The
// location is not checked against the catalogue here.
int sim_route(const char *target, char *location, int32_t size);

// Whether a location path "country/region/city" is one of the catalogue's.
int sim_known_location(const char *location);

// The whole day number (days from noon of 1 January 2000, local time) of
// today.
int32_t sim_today(void);

// The body of a page for a location, with today's date: a block of
// util/mem.h of *length bytes (release with mem_free), or null.
char *sim_build_page(int page, uint32_t seed, const char *location, int32_t today, int32_t *length);

// A whole response to a GET or HEAD request (status line, headers, body;
// HEAD without the body), the status in *status: 200 with the page (or as
// the pages mode says), the open data's forecast for /v1/forecast (at the
// present moment of the clock seam), 404 for other paths and locations,
// 405 for other methods. A block of
// util/mem.h (release with mem_free), or null.
char *sim_respond(const SimRequest *request, uint32_t seed, int32_t today, int *status, int32_t *length);

// How the two pages answer (velvane-sim --pages): as the service does, 404
// as if the service were gone, 200 with a redesigned page that has none of
// the markers the program reads, or with the forecast page's bytes ending
// just after its date row, under a Content-Length of the whole page (a
// connection that drops there). The open data answers in every mode.
enum SimPagesMode { SIM_PAGES_ON, SIM_PAGES_OFF, SIM_PAGES_CHANGED, SIM_PAGES_CUT };
void sim_set_pages_mode(int mode);

// The response to a request that could not be read: 400, then close.
char *sim_bad_request(int32_t *length);

// Judges a CONNECT target "host:port" (or "[IPv6 address]:port"): 200 for
// port 80, 403 for another port, 400 for a target that is no host and port.
int sim_connect_status(const char *target);

// The answer to CONNECT for a status from sim_connect_status (no body for
// 200; the connection is closed after the others).
char *sim_connect_answer(int status, int32_t *length);

#endif
