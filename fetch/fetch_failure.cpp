// The reasons of a fetch that got nothing: their words, their order of
// telling, and where each comes from.
#include "fetch/fetch_failure.h"

const char *fetch_failure_text(int32_t failure)
{
    static const char *const TEXTS[FETCH_FAILURE_COUNT] = {
        nullptr,
        "Нет соединения",
        "Прокси отказал в доступе",
        "Прокси требует вход",
        "Сертификат сервера не прошёл проверку",
        "Сервис не отвечает",
        "Сервис перегружен",
    };
    return failure > FETCH_FAILURE_NONE && failure < FETCH_FAILURE_COUNT ? TEXTS[failure] : nullptr;
}

// Higher tells more.
static int telling(int32_t failure)
{
    switch (failure) {
    case FETCH_FAILURE_PROXY_SIGN_IN: return 6;
    case FETCH_FAILURE_PROXY_DENIED: return 5;
    case FETCH_FAILURE_CERTIFICATE: return 4;
    case FETCH_FAILURE_BUSY: return 3;
    case FETCH_FAILURE_NO_ANSWER: return 2;
    case FETCH_FAILURE_NO_CONNECTION: return 1;
    default: return 0;
    }
}

int32_t fetch_failure_worse(int32_t a, int32_t b)
{
    int ta = telling(a);
    int tb = telling(b);
    if (ta == 0 && tb == 0)
        return FETCH_FAILURE_NONE;
    return ta >= tb ? a : b;
}

int32_t fetch_failure_of_winhttp_error(uint32_t error)
{
    switch (error) {
    case 0:
    case 12017:  // OPERATION_CANCELLED: the user started another fetch
        return FETCH_FAILURE_NONE;
    case 12037:  // SECURE_CERT_DATE_INVALID
    case 12038:  // SECURE_CERT_CN_INVALID
    case 12044:  // CLIENT_AUTH_CERT_NEEDED
    case 12045:  // SECURE_INVALID_CA
    case 12057:  // SECURE_CERT_REV_FAILED
    case 12157:  // SECURE_CHANNEL_ERROR
    case 12169:  // SECURE_INVALID_CERT
    case 12170:  // SECURE_CERT_REVOKED
    case 12175:  // SECURE_FAILURE
    case 12179:  // SECURE_CERT_WRONG_USAGE
        return FETCH_FAILURE_CERTIFICATE;
    case 12178:  // the proxy refused (as WinHTTP reports a refused tunnel)
        return FETCH_FAILURE_PROXY_DENIED;
    case 12002:  // TIMEOUT
    case 12152:  // INVALID_SERVER_RESPONSE
        return FETCH_FAILURE_NO_ANSWER;
    default:     // 12007 NAME_NOT_RESOLVED, 12029 CANNOT_CONNECT, 12030 CONNECTION_ERROR, ...
        return FETCH_FAILURE_NO_CONNECTION;
    }
}

int32_t fetch_failure_of_status(int32_t status, int32_t through_proxy)
{
    if (status == 200)
        return FETCH_FAILURE_NONE;
    if (status == 407)
        return FETCH_FAILURE_PROXY_SIGN_IN;
    if (status == 403 && through_proxy)
        return FETCH_FAILURE_PROXY_DENIED;
    if (status == 429 || status == 503)
        return FETCH_FAILURE_BUSY;
    return FETCH_FAILURE_NO_ANSWER;
}
