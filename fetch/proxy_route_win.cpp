// The system's proxy settings through WinHTTP: the user's settings as
// WinHttpGetIEProxyConfigForCurrentUser reports them (a static proxy with
// its bypass list, a PAC script's address, automatic detection), and for a
// PAC script or detection the answer of WinHttpGetProxyForUrl, asked in a
// session of its own whose every wait is bounded. What cannot be found out
// is direct.
#include "fetch/proxy_route_system.h"

#include <windows.h>
#include <winhttp.h>

#include <string.h>

enum { NARROW_SIZE = 2048 };

// A wide text as narrow (the proxy names are plain ASCII), cut to size.
static void narrow_of(const wchar_t *wide, char *out, int size)
{
    out[0] = '\0';
    if (wide == NULL)
        return;
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, size, NULL, NULL);
    if (n <= 0)
        out[0] = '\0';
    out[size - 1] = '\0';
}

// The route a proxy list and its bypass list give for scheme and host.
static void route_from_lists(const wchar_t *list, const wchar_t *bypass, const char *scheme,
                             const char *host, ProxyRoute *route)
{
    char narrow[NARROW_SIZE];
    narrow_of(bypass, narrow, sizeof narrow);
    if (proxy_bypass_matches(narrow, scheme, host))
        return;
    narrow_of(list, narrow, sizeof narrow);
    proxy_list_pick(narrow, scheme, route);
}

// Asks the PAC script or the automatic detection for url; 1 with route
// filled when it answered.
static int32_t ask_automatic(const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG *config, const char *url,
                             const char *scheme, const char *host, ProxyRoute *route)
{
    wchar_t wide_url[NARROW_SIZE];
    if (MultiByteToWideChar(CP_ACP, 0, url, -1, wide_url, NARROW_SIZE) <= 0)
        return 0;
    HINTERNET session = WinHttpOpen(L"Velvane", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == NULL)
        return 0;
    // A script that cannot be had, or a detection that finds nothing,
    // costs a fetch a few seconds at most.
    WinHttpSetTimeouts(session, PROXY_ROUTE_LOOKUP_TIMEOUT_MS, PROXY_ROUTE_LOOKUP_TIMEOUT_MS,
                       PROXY_ROUTE_LOOKUP_TIMEOUT_MS, PROXY_ROUTE_LOOKUP_TIMEOUT_MS);
    WINHTTP_AUTOPROXY_OPTIONS options;
    memset(&options, 0, sizeof options);
    if (config->lpszAutoConfigUrl != NULL) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config->lpszAutoConfigUrl;
    }
    if (config->fAutoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info;
    memset(&info, 0, sizeof info);
    int32_t answered = 0;
    if (WinHttpGetProxyForUrl(session, wide_url, &options, &info)) {
        answered = 1;
        if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy != NULL)
            route_from_lists(info.lpszProxy, info.lpszProxyBypass, scheme, host, route);
    }
    if (info.lpszProxy != NULL)
        GlobalFree(info.lpszProxy);
    if (info.lpszProxyBypass != NULL)
        GlobalFree(info.lpszProxyBypass);
    WinHttpCloseHandle(session);
    return answered;
}

int32_t proxy_route_system(const char *url, const char *scheme, const char *host, ProxyRoute *route)
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config;
    memset(&config, 0, sizeof config);
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
        return 0;
    // A script or detection first, as browsers do; when it gives no answer
    // the static proxy, if one is set, else direct.
    int32_t answered = 0;
    if (config.fAutoDetect || config.lpszAutoConfigUrl != NULL)
        answered = ask_automatic(&config, url, scheme, host, route);
    if (!answered && config.lpszProxy != NULL)
        route_from_lists(config.lpszProxy, config.lpszProxyBypass, scheme, host, route);
    if (config.lpszAutoConfigUrl != NULL)
        GlobalFree(config.lpszAutoConfigUrl);
    if (config.lpszProxy != NULL)
        GlobalFree(config.lpszProxy);
    if (config.lpszProxyBypass != NULL)
        GlobalFree(config.lpszProxyBypass);
    return 1;
}
