// The HTTP client: one page with one GET request over a plain TCP socket,
// directly or through an HTTP proxy's CONNECT tunnel, following 301 and 302
// on the same host. One request is in flight at a time; http_cancel breaks
// it off from any other thread.
#ifndef VELVANE_FETCH_HTTP_CLIENT_H
#define VELVANE_FETCH_HTTP_CLIENT_H

#include <stdint.h>

// Result codes of http_get.
enum {
    HTTP_OK = 0,                // the response in the buffer has status 200
    HTTP_NET_ERROR = 1,         // no socket; cancelled at a checkpoint; the proxy refused
    HTTP_NO_RESPONSE = 2,       // the connection could not be opened
    HTTP_INVALID_RESPONSE = 3,  // a send failed, or the response is not a 200 or
                                // could not be read whole within the bounds
    HTTP_NO_DNS_ENTRY = 4       // the host (the proxy, when one is used) has no address
};

enum {
    HTTP_RECEIVE_CHUNK = 32768,          // bytes asked of each receive
    HTTP_START_CAPACITY = 64000,         // room made when the caller gives none
    HTTP_PROXY_ANSWER_START = 100,       // first block for the proxy's answer
    HTTP_TUNNEL_PORT = 80,               // the port named in CONNECT

    // Time-outs of our own, for a user on a slow line.
    HTTP_CONNECT_TIMEOUT_MS = 30000,     // opening the connection
    HTTP_RECEIVE_TIMEOUT_MS = 30000,     // a receive (or send) that makes no progress
    HTTP_EXCHANGE_TIMEOUT_MS = 120000,   // one request from connecting to its last byte

    // Bounds against a broken or hostile server.
    HTTP_MAX_RESPONSE = 4 * 1024 * 1024, // bytes of one response off the wire
    HTTP_MAX_PROXY_ANSWER = 16 * 1024,   // bytes of the proxy's answer to CONNECT
    HTTP_MAX_REDIRECTS = 5,              // 301 and 302 followed for one request
    HTTP_MAX_CHUNK_LINE = 4096           // a chunk-size or trailer line
};

// Starts the socket library (Winsock 1.1 in the Windows build). Called once
// before the first request; its result may be ignored.
int32_t net_startup(void);

// Fetches http://host:port/path (the path without its leading slash), or
// through the proxy of the proxy settings. A referer_path, when not null,
// sends "Referer: http://host/referer_path". *buffer is a block of the
// memory helpers with a capacity of *size bytes (a capacity of 0 or less
// starts afresh from HTTP_START_CAPACITY); the client may move it. When a
// response was read, the buffer holds exactly its status line, headers and
// body (a chunked body decoded), without a terminating zero, and *size is
// that length; a response of no bytes leaves no buffer and a size of 0.
// When the request ends before anything is received, both are left as given.
int32_t http_get(const char *host, uint16_t port, const char *path, const char *referer_path,
                 char **buffer, int32_t *size);

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
