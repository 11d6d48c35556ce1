// Why a fetch brought no weather, in the words the panel and the tooltip
// give the user. A fetch that got something has FETCH_FAILURE_NONE.
#ifndef VELVANE_FETCH_FETCH_FAILURE_H
#define VELVANE_FETCH_FETCH_FAILURE_H

#include <stdint.h>

enum {
    FETCH_FAILURE_NONE = 0,
    FETCH_FAILURE_NO_CONNECTION,   // "Нет соединения": no name, no route, connection refused
    FETCH_FAILURE_PROXY_DENIED,    // "Прокси отказал в доступе": the proxy answered 403 or refused the tunnel
    FETCH_FAILURE_PROXY_SIGN_IN,   // "Прокси требует вход": 407, with no or wrong credentials
    FETCH_FAILURE_CERTIFICATE,     // "Сертификат сервера не прошёл проверку"
    FETCH_FAILURE_NO_ANSWER,       // "Сервис не отвечает": time-out, an error status, an unreadable answer
    FETCH_FAILURE_BUSY,            // "Сервис перегружен": 429 or 503
    FETCH_FAILURE_COUNT
};

// The words of a failure, UTF-8 with a capital first letter (static); null
// for FETCH_FAILURE_NONE and values out of range. The one home of these
// texts.
const char *fetch_failure_text(int32_t failure);

// Of two failures of one fetch, the one that tells the user more: a proxy
// that wants a sign-in or refuses stands in the way of every source; a
// certificate, a busy service and a silent one say more than a missing
// connection.
int32_t fetch_failure_worse(int32_t a, int32_t b);

// A WinHTTP error (ERROR_WINHTTP_*, by number so that this stays portable).
int32_t fetch_failure_of_winhttp_error(uint32_t error);

// A response's status code other than 200, through_proxy when the request
// went through a proxy (a 403 there is the proxy's refusal of the tunnel).
int32_t fetch_failure_of_status(int32_t status, int32_t through_proxy);

#endif
