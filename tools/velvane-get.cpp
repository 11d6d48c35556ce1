// velvane-get: one request from the command line, as the fetch job makes it.
//
//   velvane-get [--proxy HOST:PORT | --system-proxy] [--sign-in USER]
//               [--referer PATH] [--out FILE] HOST PORT PATH
//
// Prints result=N, size=N, elapsed_ms=N, status=N (of the response, -1 for
// none), proxy=HOST:PORT or proxy=none (the route taken) and failure=N (the
// FETCH_FAILURE_* it would give), one a line; --out writes the buffer's
// bytes to FILE. --proxy sets the three proxy settings: the request goes to
// that forward proxy in absolute form. --system-proxy asks the system's
// proxy settings for the URL as the program does when its own proxy is off
// (Windows; elsewhere that is direct). --sign-in sets the proxy's user name
// and takes its password from the first line of standard input.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/http_client.h"
#include "fetch/net_socket.h"
#include "fetch/proxy_route.h"
#include "settings/settings_vars.h"
#include "util/mem.h"

static int usage(void)
{
    fprintf(stderr, "usage: velvane-get [--proxy HOST:PORT | --system-proxy] [--sign-in USER] [--referer PATH]\n"
                    "                   [--out FILE] HOST PORT PATH\n");
    return 2;
}

static int parse_port(const char *text, int32_t *port)
{
    char *end = NULL;
    long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 0x7FFFFFFF)
        return 0;
    *port = (int32_t)value;
    return 1;
}

// Sets the proxy's sign-in: user, and the password from standard input.
static void set_sign_in(const char *user)
{
    char password[PROXY_CREDENTIAL_SIZE];
    memset(password, 0, sizeof password);
    if (fgets(password, sizeof password, stdin) == NULL)
        password[0] = '\0';
    password[strcspn(password, "\r\n")] = '\0';
    proxy_credentials_set(user, password);
    wipe_secret(password, sizeof password);
}

int main(int argc, char **argv)
{
    const char *proxy = NULL;
    const char *referer = NULL;
    const char *out = NULL;
    const char *user = NULL;
    int system_proxy = 0;
    int i = 1;
    while (i < argc && strncmp(argv[i], "--", 2) == 0) {
        if (strcmp(argv[i], "--system-proxy") == 0) {
            system_proxy = 1;
            i++;
            continue;
        }
        if (i + 1 >= argc)
            return usage();
        if (strcmp(argv[i], "--proxy") == 0)
            proxy = argv[i + 1];
        else if (strcmp(argv[i], "--referer") == 0)
            referer = argv[i + 1];
        else if (strcmp(argv[i], "--out") == 0)
            out = argv[i + 1];
        else if (strcmp(argv[i], "--sign-in") == 0)
            user = argv[i + 1];
        else
            return usage();
        i += 2;
    }
    if (argc - i != 3 || (proxy != NULL && system_proxy))
        return usage();
    const char *host = argv[i];
    int32_t port = 0;
    if (!parse_port(argv[i + 1], &port) || port > 0xFFFF)
        return usage();
    const char *path = argv[i + 2];

    if (proxy != NULL) {
        const char *colon = strrchr(proxy, ':');
        int32_t proxy_port_value = 0;
        size_t name_length = colon != NULL ? (size_t)(colon - proxy) : 0;
        if (colon == NULL || name_length == 0 || name_length >= PROXY_NAME_SIZE ||
            !parse_port(colon + 1, &proxy_port_value))
            return usage();
        proxy_settings_lock();
        is_use_proxy = 1;
        memcpy(proxy_name, proxy, name_length);
        proxy_name[name_length] = '\0';
        proxy_port = proxy_port_value;
        proxy_settings_unlock();
    }
    if (user != NULL)
        set_sign_in(user);

    net_startup();
    int32_t size = 64000;
    char *buffer = (char *)mem_alloc((uint32_t)size);
    int64_t start = net_now_ms();
    // The route as the fetch takes it; the system's answer is asked afresh.
    ProxyRoute route;
    if (system_proxy) {
        char port_text[8] = "";
        if (port != 80)
            snprintf(port_text, sizeof port_text, ":%d", (int)port);
        char url[2048];
        snprintf(url, sizeof url, "http://%s%s/%s", host, port_text, path);
        proxy_route_for_url(url, 0, &route);
    } else {
        proxy_route_own(&route);
    }
    HttpOutcome outcome;
    int32_t result = http_get_via(&route, host, (uint16_t)port, path, referer, &buffer, &size, &outcome);
    int64_t elapsed = net_now_ms() - start;
    printf("result=%d\nsize=%d\nelapsed_ms=%lld\nstatus=%d\n", (int)result, (int)size, (long long)elapsed,
           (int)outcome.status);
    if (route.use_proxy)
        printf("proxy=%s:%u\n", route.host, (unsigned)route.port);
    else
        printf("proxy=none\n");
    printf("failure=%d\n", (int)http_failure_of(result, outcome.status, outcome.through_proxy));
    int status = 0;
    if (out != NULL) {
        FILE *file = fopen(out, "wb");
        if (file == NULL || (size > 0 && buffer != NULL &&
                             fwrite(buffer, 1, (size_t)size, file) != (size_t)size)) {
            fprintf(stderr, "velvane-get: cannot write %s\n", out);
            status = 1;
        }
        if (file != NULL && fclose(file) != 0)
            status = 1;
    }
    mem_free(buffer);
    return status;
}
