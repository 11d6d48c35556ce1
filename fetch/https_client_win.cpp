// The open data over HTTPS with WinHTTP: TLS, the certificate store and
// proxy sign-in are the system's, and nothing of them is in the program.
// Synchronous calls on the worker thread; a cancel from the panel's thread
// closes the request handle, which ends a wait in any of them.
#include "fetch/https_client.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <stdio.h>
#include <string.h>

#include "fetch/fetch_failure.h"
#include "fetch/http_client.h"
#include "settings/settings_vars.h"
#include "util/format.h"
#include "util/mem.h"

#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
#define WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 0x00002000
#endif

enum { WIDE_TEXT_MAX = 1024, READ_CHUNK = 32768 };

// The request in flight, and the cancel: whoever takes the handle out of
// current_request closes it, so it is closed exactly once.
static std::atomic<HINTERNET> current_request(nullptr);
static std::atomic<int32_t> cancelled(0);

void https_cancel(void)
{
    cancelled.store(1);
    HINTERNET request = current_request.exchange(nullptr);
    if (request != NULL)
        WinHttpCloseHandle(request);
}

void https_cancel_reset(void)
{
    cancelled.store(0);
}

// A text of the ANSI code page (the settings' proxy and sign-in) or ASCII
// as UTF-16, cut to the buffer; 0 when it does not convert.
static int to_wide(const char *text, wchar_t *wide, int capacity)
{
    wide[0] = 0;
    if (text == NULL)
        return 0;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity);
    if (n <= 0) {
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

// Where the request goes: the program's proxy when it is on; otherwise the
// user's settings as browsers read them (a static proxy with its bypass
// list, or a PAC script or automatic detection resolved for this URL, each
// lookup bounded; one that fails means direct). named receives
// "host:port" and bypass the list, empty for direct; *through_proxy says
// whether there is a proxy.
static void choose_route(const wchar_t *url, wchar_t *named, wchar_t *bypass, int capacity, int32_t *through_proxy)
{
    named[0] = bypass[0] = 0;
    *through_proxy = 0;
    int32_t use_proxy = 0;
    int32_t port = 0;
    char name[PROXY_NAME_SIZE];
    proxy_settings_snapshot(&use_proxy, name, &port);
    if (use_proxy && name[0] != 0) {
        char address[PROXY_NAME_SIZE + 8];
        snprintf(address, sizeof address, "%s:%u", name, (unsigned)(port & 0xFFFF));
        *through_proxy = to_wide(address, named, capacity);
        return;
    }
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user;
    ZeroMemory(&user, sizeof user);
    if (!WinHttpGetIEProxyConfigForCurrentUser(&user))
        return;
    if (user.fAutoDetect || user.lpszAutoConfigUrl != NULL) {
        WINHTTP_AUTOPROXY_OPTIONS options;
        ZeroMemory(&options, sizeof options);
        options.dwFlags = user.lpszAutoConfigUrl != NULL ? WINHTTP_AUTOPROXY_CONFIG_URL : 0;
        if (user.fAutoDetect) {
            options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
        options.fAutoLogonIfChallenged = TRUE;
        HINTERNET lookup = WinHttpOpen(L"Velvane", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0);
        WINHTTP_PROXY_INFO found;
        ZeroMemory(&found, sizeof found);
        if (lookup != NULL) {
            int t = HTTPS_PROXY_LOOKUP_TIMEOUT_MS;
            WinHttpSetTimeouts(lookup, t, t, t, t);
            if (WinHttpGetProxyForUrl(lookup, url, &options, &found) &&
                found.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && found.lpszProxy != NULL) {
                lstrcpynW(named, found.lpszProxy, capacity);
                if (found.lpszProxyBypass != NULL)
                    lstrcpynW(bypass, found.lpszProxyBypass, capacity);
                *through_proxy = 1;
            }
            if (found.lpszProxy != NULL)
                GlobalFree(found.lpszProxy);
            if (found.lpszProxyBypass != NULL)
                GlobalFree(found.lpszProxyBypass);
            WinHttpCloseHandle(lookup);
        }
    }
    if (!*through_proxy && user.lpszProxy != NULL) {
        lstrcpynW(named, user.lpszProxy, capacity);
        if (user.lpszProxyBypass != NULL)
            lstrcpynW(bypass, user.lpszProxyBypass, capacity);
        *through_proxy = 1;
    }
    if (user.lpszAutoConfigUrl != NULL)
        GlobalFree(user.lpszAutoConfigUrl);
    if (user.lpszProxy != NULL)
        GlobalFree(user.lpszProxy);
    if (user.lpszProxyBypass != NULL)
        GlobalFree(user.lpszProxyBypass);
}

// The proxy asked for a sign-in: the Windows logon for Negotiate or NTLM,
// Basic with the stored name and password otherwise. 0 when there is
// nothing to sign in with.
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

// Sends the request and waits for the answer's head, signing in to the
// proxy once when it asks. The status, or 0 with *error set.
static DWORD exchange(HINTERNET request, DWORD *error)
{
    int signed_in = 0;
    for (;;) {
        if (cancelled.load() ||
            !WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !WinHttpReceiveResponse(request, NULL)) {
            *error = cancelled.load() ? ERROR_WINHTTP_OPERATION_CANCELLED : GetLastError();
            return 0;
        }
        DWORD status = status_of(request);
        if (status != 407 || signed_in || !sign_in_to_proxy(request))
            return status;
        signed_in = 1;
    }
}

// The body into the caller's buffer, grown by doubling, at most
// HTTPS_MAX_BODY bytes. 1 when it was read whole.
static int read_body(HINTERNET request, char **buffer, int32_t *size, int32_t *length)
{
    *length = 0;
    for (;;) {
        if (cancelled.load())
            return 0;
        if (*buffer == NULL || *size - *length < READ_CHUNK) {
            int32_t capacity = *size > 0 && *buffer != NULL ? *size : HTTP_START_CAPACITY;
            while (capacity - *length < READ_CHUNK)
                capacity *= 2;
            if (capacity > HTTPS_MAX_BODY + READ_CHUNK)
                return 0;
            char *grown = (char *)mem_realloc(*buffer, (uint32_t)capacity);
            if (grown == NULL)
                return 0;
            *buffer = grown;
            *size = capacity;
        }
        DWORD read = 0;
        if (!WinHttpReadData(request, *buffer + *length, READ_CHUNK, &read))
            return 0;
        if (read == 0)
            return 1;
        *length += (int32_t)read;
    }
}

int32_t https_get(const char *host, const char *path, const char *user_agent, char **buffer, int32_t *size,
                  int32_t *failure)
{
    int32_t ignored;
    if (failure == NULL)
        failure = &ignored;
    *failure = FETCH_FAILURE_NONE;
    wchar_t wide_host[256], wide_path[WIDE_TEXT_MAX], wide_agent[256], url[WIDE_TEXT_MAX + 300];
    char *slashed = format_string("/%s", path != NULL ? path : "");
    int texts = slashed != NULL && to_wide(host, wide_host, 256) && to_wide(slashed, wide_path, WIDE_TEXT_MAX) &&
                to_wide(user_agent, wide_agent, 256);
    mem_free(slashed);
    if (!texts || cancelled.load())
        return HTTP_NET_ERROR;
    _snwprintf(url, sizeof url / sizeof url[0] - 1, L"https://%ls%ls", wide_host, wide_path);
    url[sizeof url / sizeof url[0] - 1] = 0;

    wchar_t named[WIDE_TEXT_MAX], bypass[WIDE_TEXT_MAX];
    int32_t through_proxy = 0;
    choose_route(url, named, bypass, WIDE_TEXT_MAX, &through_proxy);
    HINTERNET session = WinHttpOpen(wide_agent,
                                    through_proxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    through_proxy ? named : WINHTTP_NO_PROXY_NAME,
                                    through_proxy && bypass[0] ? bypass : WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == NULL) {
        *failure = FETCH_FAILURE_NO_CONNECTION;
        return HTTP_NET_ERROR;
    }
    WinHttpSetTimeouts(session, HTTPS_RESOLVE_TIMEOUT_MS, HTTPS_CONNECT_TIMEOUT_MS, HTTPS_SEND_TIMEOUT_MS,
                       HTTPS_RECEIVE_TIMEOUT_MS);
    // TLS 1.2 and 1.3 where the system has them (older systems offer less
    // by default); a system that knows no 1.3 refuses the pair, and keeps
    // its own choice.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    HINTERNET connection = WinHttpConnect(session, wide_host, INTERNET_DEFAULT_HTTPS_PORT, 0);
    HINTERNET request = connection != NULL
                            ? WinHttpOpenRequest(connection, L"GET", wide_path, NULL, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
                            : NULL;
    int32_t result = HTTP_NET_ERROR;
    if (request == NULL) {
        *failure = FETCH_FAILURE_NO_CONNECTION;
    } else {
        // The Windows logon may go to a proxy without asking the user; the
        // API answers no redirect (the open data has none).
        DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
        WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &policy, sizeof policy);
        DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects);
        current_request.store(request);
        // A cancel between the check and the store would find no handle.
        if (cancelled.load()) {
            HINTERNET mine = current_request.exchange(nullptr);
            if (mine != NULL)
                WinHttpCloseHandle(mine);
        } else {
            DWORD error = 0;
            DWORD status = exchange(request, &error);
            int32_t length = 0;
            if (status == 0) {
                *failure = fetch_failure_of_winhttp_error(error);
                result = HTTP_NO_RESPONSE;
            } else if (status != 200) {
                *failure = fetch_failure_of_status((int32_t)status, through_proxy);
                result = HTTP_INVALID_RESPONSE;
            } else if (!read_body(request, buffer, size, &length)) {
                *failure = cancelled.load() ? FETCH_FAILURE_NONE : FETCH_FAILURE_NO_ANSWER;
                result = HTTP_INVALID_RESPONSE;
            } else {
                *size = length;
                result = HTTP_OK;
            }
            HINTERNET mine = current_request.exchange(nullptr);
            if (mine != NULL)
                WinHttpCloseHandle(mine);
        }
    }
    if (connection != NULL)
        WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    return result;
}
