// HTTPS through the platform's own stack (WinHTTP): the open data's one GET
// over TLS, the server's certificate checked as Windows checks it, through
// the program's proxy when it is on and the user's system proxy otherwise.
// Windows only. The weather's request is broken off by https_cancel from
// any thread; another request (the place search) brings a cancel of its
// own, so that neither breaks off the other.
#ifndef VELVANE_FETCH_HTTPS_CLIENT_H
#define VELVANE_FETCH_HTTPS_CLIENT_H

#include <stdint.h>

enum {
    HTTPS_RESOLVE_TIMEOUT_MS = 15000,
    HTTPS_CONNECT_TIMEOUT_MS = 15000,
    HTTPS_SEND_TIMEOUT_MS = 30000,
    HTTPS_RECEIVE_TIMEOUT_MS = 30000,   // each wait for the answer or its next bytes
    HTTPS_MAX_BODY = 4 * 1024 * 1024
};

#ifdef _WIN32
// GET https://host/path (the path without its leading slash) with the
// User-Agent text given, through the route proxy_route_for_url gives (the
// system's answer kept for route_period_ms). The result is an HTTP_* code of fetch/http_client.h:
// HTTP_OK when the answer has status 200; then *buffer (a block of the memory
// helpers with a capacity of *size bytes, which the client may move) holds
// the body alone and *size its length. Otherwise *failure (FETCH_FAILURE_*,
// when not null) says why, FETCH_FAILURE_NONE for a request broken off.
// A proxy that asks for a sign-in (407) gets the user's Windows logon when
// it offers Negotiate or NTLM, else Basic with the proxy's name and password
// from the settings, once.
int32_t https_get(const char *host, const char *path, const char *user_agent, int64_t route_period_ms,
                  char **buffer, int32_t *size, int32_t *failure);

// https_get broken off by the caller's own manual-reset event (a HANDLE)
// instead of https_cancel: once it is set the call returns at once, as a
// request broken off, and asks nothing when it is set already.
int32_t https_get_until(const char *host, const char *path, const char *user_agent, int64_t route_period_ms,
                        void *cancel_event, char **buffer, int32_t *size, int32_t *failure);

// Any thread: breaks off the request in flight at once (its handle is
// closed) and every later one until https_cancel_reset.
void https_cancel(void);
void https_cancel_reset(void);

// "Velvane/VERSION (Windows NT MAJOR.MINOR)" with the version of the
// program and the one the system reports; a buffer of the client's.
const char *open_data_user_agent(void);
#endif

#endif
