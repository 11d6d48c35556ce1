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

#endif
