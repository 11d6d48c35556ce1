// The open data over HTTPS with WinHTTP: TLS, the certificate store and
// proxy sign-in are the system's, and nothing of them is in the program.
//
// Each request runs on a thread of its own, which the worker waits for
// together with the cancel. A cancel leaves the request to end by itself
// within its time-outs (its handle closed, which on Windows ends it at
// once; Wine's synchronous WinHTTP does not notice) and returns at once:
// the panel never waits for a proxy that does not answer.
#include "fetch/https_client.h"

#include <windows.h>
#include <process.h>
#include <winhttp.h>

#include <atomic>
#include <new>
#include <stdio.h>
#include <string.h>

#include "fetch/fetch_failure.h"
#include "fetch/http_client.h"
#include "fetch/net_socket.h"
#include "fetch/proxy_route.h"
#include "fetch/proxy_tunnel.h"
#include "settings/settings_vars.h"
#include "util/format.h"
#include "util/mem.h"

#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
#define WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 0x00002000
#endif

enum {
    WIDE_TEXT_MAX = 1024,
    READ_CHUNK = 32768,
    PROBE_TIMEOUT_MS = 5000,     // the proxy's answer to our own CONNECT
    PROBE_ANSWER_MAX = 4096
};

static std::atomic<int32_t> cancelled(0);
static std::atomic<HANDLE> cancel_event(nullptr);

// The manual-reset event that wakes a waiting worker, made on first use.
static HANDLE wake_event(void)
{
    HANDLE event = cancel_event.load();
    if (event != NULL)
        return event;
    HANDLE made = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE expected = NULL;
    if (made != NULL && !cancel_event.compare_exchange_strong(expected, made)) {
        CloseHandle(made);
        return expected;
    }
    return made;
}

void https_cancel(void)
{
    cancelled.store(1);
    HANDLE event = wake_event();
    if (event != NULL)
        SetEvent(event);
}

void https_cancel_reset(void)
{
    cancelled.store(0);
    HANDLE event = wake_event();
    if (event != NULL)
        ResetEvent(event);
}

// A text of the ANSI code page (the settings' proxy and sign-in) or ASCII
// as UTF-16, cut to the buffer; 0 when it does not convert.
static int to_wide(const char *text, wchar_t *wide, int capacity)
{
    wide[0] = 0;
    if (text == NULL || MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity) <= 0) {
        wide[0] = 0;
        return 0;
    }
    return 1;
}

typedef LONG(WINAPI *RtlGetVersionFunction)(OSVERSIONINFOW *);

const char *open_data_user_agent(void)
{
    static char agent[96];
    if (agent[0] != 0)
        return agent;
    // RtlGetVersion tells the truth whatever the manifest says; under Wine
    // it reports the version the prefix plays.
    OSVERSIONINFOW version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    RtlGetVersionFunction get_version =
        ntdll != NULL ? (RtlGetVersionFunction)(void *)GetProcAddress(ntdll, "RtlGetVersion") : NULL;
    if (get_version == NULL || get_version(&version) != 0)
        version.dwMajorVersion = version.dwMinorVersion = 0;
    snprintf(agent, sizeof agent, "Velvane/%s (Windows NT %lu.%lu)", VELVANE_VERSION,
             (unsigned long)version.dwMajorVersion, (unsigned long)version.dwMinorVersion);
    return agent;
}

// One request, shared by the worker and the request's thread: whichever
// lets go last frees it.
struct HttpsCall {
    std::atomic<int32_t> references;
    std::atomic<int32_t> abandoned;      // the worker has gone: stop soon
    std::atomic<HINTERNET> request;      // closed once, by whoever takes it out
    char *host;
    char *path;
    char *agent;
    int64_t route_period_ms;
    HANDLE done;
    // Results, written by the request's thread before done is signalled.
    int32_t result;
    int32_t failure;
    char *body;
    int32_t body_length;
};

static void release_call(HttpsCall *call)
{
    if (call->references.fetch_sub(1) != 1)
        return;
    HINTERNET request = call->request.exchange(nullptr);
    if (request != NULL)
        WinHttpCloseHandle(request);
    if (call->done != NULL)
        CloseHandle(call->done);
    mem_free(call->host);
    mem_free(call->path);
    mem_free(call->agent);
    mem_free(call->body);
    mem_free(call);
}

// Asks the proxy ourselves for the tunnel WinHTTP asked for, with the same
// Basic credentials when given: its status (-1 for none) and whether it
// offers Basic.
static int32_t probe_tunnel(const ProxyRoute *route, const char *host, const char *agent,
                            const char *credentials, const std::atomic<int32_t> *stop, int32_t *basic_offered)
{
    *basic_offered = 0;
    uint32_t address = 0;
    if (!net_startup_library() || !net_resolve(route->host, &address))
        return -1;
    uint16_t port = route->port;
    char *head = format_string("CONNECT %s:443 HTTP/1.1\r\nHost: %s:443\r\nUser-Agent: %s\r\n%s%s%s\r\n", host, host,
                               agent, credentials ? "Proxy-Authorization: Basic " : "",
                               credentials ? credentials : "", credentials ? "\r\n" : "");
    NetSocket socket = head != NULL ? net_open() : (NetSocket)NET_NO_SOCKET;
    char answer[PROBE_ANSWER_MAX];
    int32_t length = 0;
    if (socket != NET_NO_SOCKET && net_connect(socket, address, port, PROBE_TIMEOUT_MS, stop) == 0 &&
        net_send_all(socket, head, (int32_t)strlen(head), PROBE_TIMEOUT_MS, stop) == 0) {
        // The head of the answer is enough; the proxy closes or keeps the
        // connection as it likes, and we close it.
        while (length < PROBE_ANSWER_MAX - 1) {
            int32_t n = net_receive(socket, answer + length, PROBE_ANSWER_MAX - 1 - length, PROBE_TIMEOUT_MS, stop);
            if (n <= 0)
                break;
            length += n;
            answer[length] = 0;
            if (strstr(answer, "\r\n\r\n") != NULL)
                break;
        }
    }
    net_close(socket);
    if (head != NULL) {
        SecureZeroMemory(head, strlen(head));
        mem_free(head);
    }
    return tunnel_answer_status(answer, length, basic_offered);
}

// The stored name and password as Basic credentials (base64), or null.
static char *stored_basic_credentials(void)
{
    char user[PROXY_CREDENTIAL_SIZE], password[PROXY_CREDENTIAL_SIZE];
    proxy_credentials_snapshot(user, sizeof user, password, sizeof password);
    char *credentials = user[0] != 0 ? basic_credentials(user, password) : NULL;
    SecureZeroMemory(password, sizeof password);
    return credentials;
}

static void wipe_free(char *text)
{
    if (text != NULL) {
        SecureZeroMemory(text, strlen(text));
        mem_free(text);
    }
}

// The proxy answered 407 (as WinHTTP on Windows reports it): the Windows
// logon for Negotiate or NTLM, Basic with the stored name and password
// otherwise. 0 when there is nothing to sign in with.
static int sign_in_to_proxy(HINTERNET request)
{
    DWORD supported = 0, first = 0, target = 0;
    if (!WinHttpQueryAuthSchemes(request, &supported, &first, &target) || target != WINHTTP_AUTH_TARGET_PROXY)
        return 0;
    if (supported & (WINHTTP_AUTH_SCHEME_NEGOTIATE | WINHTTP_AUTH_SCHEME_NTLM)) {
        DWORD scheme = (supported & WINHTTP_AUTH_SCHEME_NEGOTIATE) ? WINHTTP_AUTH_SCHEME_NEGOTIATE
                                                                   : WINHTTP_AUTH_SCHEME_NTLM;
        // No name and password: the logged-on user's own.
        return WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, NULL, NULL, NULL) != FALSE;
    }
    if (!(supported & WINHTTP_AUTH_SCHEME_BASIC))
        return 0;
    char user[PROXY_CREDENTIAL_SIZE], password[PROXY_CREDENTIAL_SIZE];
    proxy_credentials_snapshot(user, sizeof user, password, sizeof password);
    wchar_t wide_user[PROXY_CREDENTIAL_SIZE], wide_password[PROXY_CREDENTIAL_SIZE];
    int ok = user[0] != 0 && to_wide(user, wide_user, PROXY_CREDENTIAL_SIZE) &&
             to_wide(password, wide_password, PROXY_CREDENTIAL_SIZE) &&
             WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC, wide_user,
                                   wide_password, NULL);
    SecureZeroMemory(password, sizeof password);
    SecureZeroMemory(wide_password, sizeof wide_password);
    return ok;
}

static DWORD status_of(HINTERNET request)
{
    DWORD status = 0, length = sizeof status;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &length, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return status;
}

// The Proxy-Authorization header is for the proxy's CONNECT alone: WinHTTP
// would send it on to the API inside the tunnel too. Once the connection
// stands (the tunnel open, TLS done: Wine reports it only then), it goes;
// a system that reported this sooner would send the CONNECT without it
// and fail the sign-in, never give the password away.
static void CALLBACK drop_proxy_sign_in(HINTERNET request, DWORD_PTR, DWORD status, void *, DWORD)
{
    if (status == WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER || status == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST)
        WinHttpAddRequestHeaders(request, L"Proxy-Authorization:", (DWORD)-1, WINHTTP_ADDREQ_FLAG_REPLACE);
}

// A request of the session, made ready: TLS, no redirect, the Windows logon
// allowed to a proxy, and Basic credentials when given (Wine's WinHTTP does
// not answer a proxy's 407 to CONNECT, but sends the request's headers with
// it; drop_proxy_sign_in keeps them from the API).
static HINTERNET open_request(HINTERNET connection, const wchar_t *path, const char *credentials)
{
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", path, NULL, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (request == NULL)
        return NULL;
    DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
    WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &policy, sizeof policy);
    DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects);
    if (credentials != NULL) {
        WinHttpSetStatusCallback(request, drop_proxy_sign_in,
                                 WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER | WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0);
        wchar_t header[PROXY_CREDENTIAL_SIZE * 3];
        char *line = format_string("Proxy-Authorization: Basic %s", credentials);
        if (line != NULL && to_wide(line, header, sizeof header / sizeof header[0]))
            WinHttpAddRequestHeaders(request, header, (DWORD)-1, WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
        wipe_free(line);
        SecureZeroMemory(header, sizeof header);
    }
    return request;
}

// Sends the request and waits for the answer's head, signing in to the
// proxy once when WinHTTP reports its 407. The status, or 0 with *error set.
static DWORD exchange(HttpsCall *call, HINTERNET request, DWORD *error)
{
    int signed_in = 0;
    for (;;) {
        if (call->abandoned.load() ||
            !WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !WinHttpReceiveResponse(request, NULL)) {
            *error = call->abandoned.load() ? ERROR_WINHTTP_OPERATION_CANCELLED : GetLastError();
            return 0;
        }
        DWORD status = status_of(request);
        if (status != 407 || signed_in || !sign_in_to_proxy(request))
            return status;
        signed_in = 1;
    }
}

// The body into the call's buffer, grown by doubling, at most
// HTTPS_MAX_BODY bytes. 1 when it was read whole.
static int read_body(HttpsCall *call, HINTERNET request)
{
    int32_t capacity = 0;
    call->body_length = 0;
    for (;;) {
        if (call->abandoned.load())
            return 0;
        if (capacity - call->body_length < READ_CHUNK) {
            int32_t grown_capacity = capacity > 0 ? capacity * 2 : HTTP_START_CAPACITY;
            if (grown_capacity > HTTPS_MAX_BODY + 2 * READ_CHUNK)
                return 0;
            char *grown = (char *)mem_realloc(call->body, (uint32_t)grown_capacity);
            if (grown == NULL)
                return 0;
            call->body = grown;
            capacity = grown_capacity;
        }
        DWORD read = 0;
        if (!WinHttpReadData(request, call->body + call->body_length, READ_CHUNK, &read))
            return 0;
        if (read == 0)
            return 1;
        call->body_length += (int32_t)read;
    }
}

// One attempt over the connection: the result, *failure and, for a tunnel
// that WinHTTP could not open through a proxy, what the proxy says of it.
static int32_t attempt(HttpsCall *call, HINTERNET connection, const wchar_t *path, const ProxyRoute *route,
                       const char *credentials, int32_t *failure, int32_t *probe_status, int32_t *basic_offered)
{
    *probe_status = -1;
    *basic_offered = 0;
    HINTERNET request = open_request(connection, path, credentials);
    if (request == NULL) {
        *failure = FETCH_FAILURE_NO_CONNECTION;
        return HTTP_NET_ERROR;
    }
    call->request.store(request);
    DWORD error = 0;
    DWORD status = exchange(call, request, &error);
    int32_t result;
    if (status == 0) {
        *failure = fetch_failure_of_winhttp_error(error);
        result = HTTP_NO_RESPONSE;
        // Wine ends a tunnel that the proxy refused (403, 407) with the
        // certificate's error: the proxy's own answer tells which it was.
        if (route->use_proxy && *failure == FETCH_FAILURE_CERTIFICATE && !call->abandoned.load()) {
            *probe_status = probe_tunnel(route, call->host, call->agent, credentials, &call->abandoned,
                                         basic_offered);
            if (*probe_status != 200 && *probe_status > 0)
                *failure = fetch_failure_of_status(*probe_status, 1);
        }
    } else if (status != 200) {
        *failure = fetch_failure_of_status((int32_t)status, route->use_proxy);
        result = HTTP_INVALID_RESPONSE;
    } else if (!read_body(call, request)) {
        *failure = call->abandoned.load() ? FETCH_FAILURE_NONE : FETCH_FAILURE_NO_ANSWER;
        result = HTTP_INVALID_RESPONSE;
    } else {
        result = HTTP_OK;
    }
    HINTERNET mine = call->request.exchange(nullptr);
    if (mine != NULL)
        WinHttpCloseHandle(mine);
    return result;
}

static int32_t run_call(HttpsCall *call)
{
    call->failure = FETCH_FAILURE_NO_CONNECTION;
    wchar_t wide_host[256], wide_path[WIDE_TEXT_MAX], wide_agent[256];
    char *slashed = format_string("/%s", call->path);
    int texts = slashed != NULL && to_wide(call->host, wide_host, 256) &&
                to_wide(slashed, wide_path, WIDE_TEXT_MAX) && to_wide(call->agent, wide_agent, 256);
    mem_free(slashed);
    if (!texts)
        return HTTP_NET_ERROR;
    // The program's proxy, else the user's system settings for this URL
    // (the bypass list already applied): WinHTTP is told the one proxy.
    char *url = format_string("https://%s/%s", call->host, call->path);
    ProxyRoute route;
    memset(&route, 0, sizeof route);
    if (url != NULL)
        proxy_route_for_url(url, call->route_period_ms, &route);
    mem_free(url);
    char *proxy = route.use_proxy ? format_string("%s:%u", route.host, (unsigned)route.port) : NULL;
    wchar_t named[PROXY_NAME_SIZE + 8];
    if (route.use_proxy && (proxy == NULL || !to_wide(proxy, named, PROXY_NAME_SIZE + 8)))
        route.use_proxy = 0;
    mem_free(proxy);
    HINTERNET session = WinHttpOpen(wide_agent,
                                    route.use_proxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    route.use_proxy ? named : WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == NULL)
        return HTTP_NET_ERROR;
    WinHttpSetTimeouts(session, HTTPS_RESOLVE_TIMEOUT_MS, HTTPS_CONNECT_TIMEOUT_MS, HTTPS_SEND_TIMEOUT_MS,
                       HTTPS_RECEIVE_TIMEOUT_MS);
    // TLS 1.2 and 1.3 where the system has them (older systems offer less
    // by default); a system that knows no 1.3 refuses the pair and keeps
    // its own choice.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    HINTERNET connection = WinHttpConnect(session, wide_host, INTERNET_DEFAULT_HTTPS_PORT, 0);
    int32_t result = HTTP_NET_ERROR;
    if (connection != NULL) {
        int32_t probe_status, basic_offered;
        result = attempt(call, connection, wide_path, &route, NULL, &call->failure, &probe_status,
                         &basic_offered);
        // The proxy wants Basic and WinHTTP could not answer it: once more
        // with the stored name and password, when there are any.
        if (probe_status == 407 && basic_offered && !call->abandoned.load()) {
            char *credentials = stored_basic_credentials();
            if (credentials != NULL)
                result = attempt(call, connection, wide_path, &route, credentials, &call->failure,
                                 &probe_status, &basic_offered);
            wipe_free(credentials);
        }
        WinHttpCloseHandle(connection);
    }
    WinHttpCloseHandle(session);
    if (result == HTTP_OK)
        call->failure = FETCH_FAILURE_NONE;
    return result;
}

static unsigned WINAPI call_thread(void *argument)
{
    HttpsCall *call = (HttpsCall *)argument;
    call->result = run_call(call);
    SetEvent(call->done);
    release_call(call);
    return 0;
}

// The cancel is signalled: the manual-reset event is set.
static int signalled(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

int32_t https_get_until(const char *host, const char *path, const char *user_agent, int64_t route_period_ms,
                        void *cancel_event, char **buffer, int32_t *size, int32_t *failure)
{
    int32_t ignored;
    if (failure == NULL)
        failure = &ignored;
    *failure = FETCH_FAILURE_NONE;
    HANDLE cancel = (HANDLE)cancel_event;
    if (cancel == NULL || signalled(cancel))
        return HTTP_NET_ERROR;
    HttpsCall *call = (HttpsCall *)mem_alloc((uint32_t)sizeof(HttpsCall));
    if (call == NULL) {
        *failure = FETCH_FAILURE_NO_CONNECTION;
        return HTTP_NET_ERROR;
    }
    memset((void *)call, 0, sizeof *call);
    new (&call->references) std::atomic<int32_t>(2);
    new (&call->abandoned) std::atomic<int32_t>(0);
    new (&call->request) std::atomic<HINTERNET>(nullptr);
    call->host = dup_string(host);
    call->path = dup_string(path != NULL ? path : "");
    call->agent = dup_string(user_agent != NULL ? user_agent : "");
    call->route_period_ms = route_period_ms;
    call->done = CreateEventA(NULL, TRUE, FALSE, NULL);
    uintptr_t thread = call->host != NULL && call->path != NULL && call->agent != NULL && call->done != NULL
                           ? _beginthreadex(NULL, 0, call_thread, call, 0, NULL)
                           : 0;
    if (thread == 0) {
        call->references.store(1);
        release_call(call);
        *failure = FETCH_FAILURE_NO_CONNECTION;
        return HTTP_NET_ERROR;
    }
    CloseHandle((HANDLE)thread);

    HANDLE waits[2] = {call->done, cancel};
    DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    int32_t result = HTTP_NET_ERROR;
    if (woken == WAIT_OBJECT_0 && !signalled(cancel)) {
        result = call->result;
        *failure = call->failure;
        if (result == HTTP_OK) {
            // The body takes the caller's buffer's place.
            mem_free(*buffer);
            *buffer = call->body;
            *size = call->body_length;
            call->body = NULL;
        }
    } else {
        // Broken off: the request ends by itself; ending it sooner where
        // the system can.
        call->abandoned.store(1);
        HINTERNET request = call->request.exchange(nullptr);
        if (request != NULL)
            WinHttpCloseHandle(request);
    }
    release_call(call);
    return result;
}

int32_t https_get(const char *host, const char *path, const char *user_agent, int64_t route_period_ms,
                  char **buffer, int32_t *size, int32_t *failure)
{
    if (failure != NULL)
        *failure = FETCH_FAILURE_NONE;
    HANDLE wake = wake_event();
    if (cancelled.load() || wake == NULL)
        return HTTP_NET_ERROR;
    return https_get_until(host, path, user_agent, route_period_ms, wake, buffer, size, failure);
}
