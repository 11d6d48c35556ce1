// velvane-get: one http_get from the command line, as the fetch job makes it.
//
//   velvane-get [--proxy HOST:PORT] [--referer PATH] [--out FILE] HOST PORT PATH
//
// Prints result=N, size=N and elapsed_ms=N, one a line; --out writes the
// buffer's bytes to FILE. --proxy sets the three proxy settings.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fetch/http_client.h"
#include "fetch/net_socket.h"
#include "settings/settings_vars.h"
#include "util/mem.h"

static int usage(void)
{
    fprintf(stderr, "usage: velvane-get [--proxy HOST:PORT] [--referer PATH] [--out FILE] HOST PORT PATH\n");
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

int main(int argc, char **argv)
{
    const char *proxy = NULL;
    const char *referer = NULL;
    const char *out = NULL;
    int i = 1;
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (strcmp(argv[i], "--proxy") == 0)
            proxy = argv[i + 1];
        else if (strcmp(argv[i], "--referer") == 0)
            referer = argv[i + 1];
        else if (strcmp(argv[i], "--out") == 0)
            out = argv[i + 1];
        else
            return usage();
    }
    if (argc - i != 3)
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

    net_startup();
    int32_t size = 64000;
    char *buffer = (char *)mem_alloc((uint32_t)size);
    int64_t start = net_now_ms();
    int32_t result = http_get(host, (uint16_t)port, path, referer, &buffer, &size);
    int64_t elapsed = net_now_ms() - start;
    printf("result=%d\nsize=%d\nelapsed_ms=%lld\n", (int)result, (int)size, (long long)elapsed);
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
