// The HTTP client: one page with one GET request over a plain TCP socket,
// directly or through a forward proxy (absolute form, with the proxy's Basic
// sign-in when one is set), following 301 and 302 on the same host. One request is in flight at a time; http_cancel breaks
// it off from any other thread.
#ifndef VELVANE_FETCH_HTTP_CLIENT_H
#define VELVANE_FETCH_HTTP_CLIENT_H

#include <stdint.h>

#include "fetch/proxy_route.h"

// Result codes of http_get.
enum {
    HTTP_OK = 0,                // the response in the buffer has status 200
    HTTP_NET_ERROR = 1,         // no socket; cancelled at a checkpoint
    HTTP_NO_RESPONSE = 2,       // the connection could not be opened
    HTTP_INVALID_RESPONSE = 3,  // a send failed, or the response is not a 200 or
                                // could not be read whole within the bounds
    HTTP_NO_DNS_ENTRY = 4       // the host (the proxy, when one is used) has no address
};

enum {
    HTTP_RECEIVE_CHUNK = 32768,          // bytes asked of each receive
    HTTP_START_CAPACITY = 64000,         // room made when the caller gives none

    // Time-outs of our own, for a user on a slow line.
    HTTP_CONNECT_TIMEOUT_MS = 30000,     // opening the connection
    HTTP_RECEIVE_TIMEOUT_MS = 30000,     // a receive (or send) that makes no progress
    HTTP_EXCHANGE_TIMEOUT_MS = 120000,   // one request from connecting to its last byte

    // Bounds against a broken or hostile server.
    HTTP_MAX_RESPONSE = 4 * 1024 * 1024, // bytes of one response off the wire
    HTTP_MAX_REDIRECTS = 5,              // 301 and 302 followed for one request
    HTTP_MAX_CHUNK_LINE = 4096           // a chunk-size or trailer line
};

// Starts the socket library (Winsock 1.1 in the Windows build). Called once
// before the first request; its result may be ignored.
int32_t net_startup(void);

// Fetches http://host:port/path (the path without its leading slash),
// directly or through the program's own proxy setting: http_get_via with
// proxy_route_own's route. A referer_path, when not null,
// sends "Referer: http://host/referer_path". *buffer is a block of the
// memory helpers with a capacity of *size bytes (a capacity of 0 or less
// starts afresh from HTTP_START_CAPACITY); the client may move it. When a
// response was read, the buffer holds exactly its status line, headers and
// body (a chunked body decoded), without a terminating zero, and *size is
// that length; a response of no bytes leaves no buffer and a size of 0.
// When the request ends before anything is received, both are left as given.
int32_t http_get(const char *host, uint16_t port, const char *path, const char *referer_path,
                 char **buffer, int32_t *size);

// How a request ended, for naming the reason of a failure.
struct HttpOutcome {
    int32_t result;         // what http_get_via returned
    int32_t status;         // the status of the response in the buffer, or -1
    int32_t through_proxy;  // the request went to a proxy
};

// http_get through route (null: directly). With route->use_proxy the
// request goes to route->host:route->port in absolute form, "GET
// http://host[:port]/path HTTP/1.1" (":port" only when not 80), with the
// same headers as directly (Host: host included) and, when the settings
// hold a proxy user name, "Proxy-Authorization: Basic base64(user:password)".
// Redirects: a relative Location is a path on the same host; an absolute
// one is followed only when it is http:// on the same host and port, and
// any other (https://, another host) ends the request after that one
// response, judged as the 301 or 302 it is. outcome, when not null,
// receives the result, the status and whether a proxy was asked.
int32_t http_get_via(const ProxyRoute *route, const char *host, uint16_t port, const char *path,
                     const char *referer_path, char **buffer, int32_t *size, HttpOutcome *outcome);

// http_get_via with the route proxy_route_for_url gives for
// "http://host[:port]/path", the system's answer kept for period_ms.
int32_t http_get_routed(int64_t period_ms, const char *host, uint16_t port, const char *path,
                        const char *referer_path, char **buffer, int32_t *size, HttpOutcome *outcome);

// The FETCH_FAILURE_* (fetch/fetch_failure.h) of a request's outcome: result
// an HTTP_* code, status the status of what came back (or -1), through_proxy
// whether a proxy carried the request. HTTP_OK is FETCH_FAILURE_NONE; via a
// proxy, 407 is PROXY_SIGN_IN (401 too: tinyproxy answers a wrong password
// so) and 403 PROXY_DENIED (the service's pages are public: a 401 or 403 on
// the way is the proxy's); 429 and 503 are BUSY; no name,
// no connection or no socket is NO_CONNECTION; everything else (a time-out,
// an unreadable answer, any other status) is NO_ANSWER.
int32_t http_failure_of(int32_t result, int32_t status, int32_t through_proxy);

// Any thread: breaks off the request in flight, and every later one until
// http_cancel_reset. A wait in connect, send or receive ends promptly, and
// the request returns as soon as it notices; a request that starts after
// the cancel returns at once. So a cancel is never lost, however it falls
// against the start of a request.
void http_cancel(void);

// Clears the cancel: the next request runs. Called by whoever starts new
// work, once the cancelled request has ended.
void http_cancel_reset(void);

// The text of the User-Agent header: the system's (Windows) or a fixed
// fallback. The text lives in a buffer of the client; worker thread only.
const char *get_user_agent(void);

// The status code (100 to 999) of a raw response, or -1.
int32_t parse_status_code(const char *response, int32_t length);

// What the open data's readers take: the body of a whole response with
// status 200, or the bytes themselves when they are no HTTP response; a
// leading UTF-8 byte order mark is skipped. Null for another status or a
// response without a body.
const char *http_body_of_200(const char *bytes, int32_t length, int32_t *body_length);

// A new copy of the value after the first occurrence of name (compared
// without regard to case) anywhere in the response, with the '/', TAB,
// blank, ':' and '=' after the name skipped, up to the first CR or LF, which
// is overwritten with a zero byte. Null when there is none.
char *find_header_value(const char *name, char *response, int32_t length);

// Seams for tests and tools. Time-outs of 0 or less restore the defaults
// above; a null reallocator restores mem_realloc. Set them while no
// request runs.
void http_set_time_outs(int32_t connect_ms, int32_t receive_ms, int32_t exchange_ms);
typedef void *(*HttpReallocator)(void *block, uint32_t size);
void http_set_reallocator(HttpReallocator reallocator);

#endif
