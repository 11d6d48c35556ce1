// What the open data's client needs to ask a proxy about its tunnel by
// itself: the status of a proxy's answer to CONNECT, and Basic credentials. (Wine's WinHTTP ends a
// refused tunnel with the same error as an untrusted certificate; asking
// the proxy tells the two apart.)
#ifndef VELVANE_FETCH_PROXY_TUNNEL_H
#define VELVANE_FETCH_PROXY_TUNNEL_H

#include <stdint.h>

// The status of a proxy's answer to CONNECT ("HTTP/1.x NNN ...") or -1, and
// whether it offers Basic sign-in (a Proxy-Authenticate header naming it).
int32_t tunnel_answer_status(const char *answer, int32_t length, int32_t *basic_offered);

// "user:password" in base64, for "Proxy-Authorization: Basic ...". A new
// text (util/mem.h) that the caller wipes and frees, or null.
char *basic_credentials(const char *user, const char *password);

#endif
