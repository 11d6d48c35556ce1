// bench-http: the time and memory of one http_get, many times over, as the
// fetch job makes it (a fresh 64000-byte buffer for each request).
//
//   bench-http [--proxy HOST:PORT] [--runs N] HOST PORT PATH
//   bench-http --https [--proxy HOST:PORT] [--sign-in USER:PASSWORD] [--runs N] HOST PATH
//                                                                  (Windows)
//
// Prints the number of runs, the median, fastest and slowest time of one
// request in milliseconds, the peak size of the page buffer and the
// process's peak resident memory. --https times the open data's request
// instead (https_get through WinHTTP): the first of the process apart
// (first_ms), the median and the extremes of the others.
#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include "fetch/http_client.h"
#include "fetch/https_client.h"
#include "settings/settings_vars.h"
#include "util/mem.h"

static uint32_t live_bytes;
static uint32_t peak_bytes;

// Counts the page buffer's bytes as the client grows and shrinks it.
static void *counting_realloc(void *block, uint32_t size)
{
    void *moved = mem_realloc(block, size);
    if (moved != NULL || size == 0) {
        live_bytes = size;
        if (size > peak_bytes)
            peak_bytes = size;
    }
    return moved;
}

static long peak_resident_kb(void)
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return (long)(counters.PeakWorkingSetSize / 1024);
    return -1;
#else
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

static int usage(void)
{
    fprintf(stderr, "usage: bench-http [--proxy HOST:PORT] [--runs N] HOST PORT PATH\n"
                    "       bench-http --https [--proxy HOST:PORT] [--sign-in USER:PASSWORD] [--runs N] HOST PATH\n");
    return 2;
}

static double median_of(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times.size() % 2 ? times[times.size() / 2]
                            : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
}

#ifdef _WIN32
// The open data's request, runs times: the first apart, as a user meets it
// after the program starts, and the others as the refreshes that follow.
static int bench_https(const char *host, const char *path, int runs)
{
    std::vector<double> times;
    int failures = 0;
    int32_t last_size = 0, last_failure = 0;
    for (int run = 0; run < runs; run++) {
        int32_t size = 64000;
        char *buffer = (char *)mem_alloc((uint32_t)size);
        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        int32_t failure = 0;
        int32_t result = https_get(host, path, open_data_user_agent(), 3600000, &buffer, &size, &failure);
        std::chrono::steady_clock::time_point end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        if (result != HTTP_OK) {
            failures++;
            last_failure = failure;
        }
        last_size = size;
        mem_free(buffer);
    }
    double first = times.front();
    std::vector<double> repeated(times.begin() + (runs > 1 ? 1 : 0), times.end());
    double median = median_of(repeated);
    std::sort(repeated.begin(), repeated.end());
    printf("runs=%d\nfailures=%d\nlast_failure=%d\nsize=%d\nfirst_ms=%.3f\nmedian_ms=%.3f\nmin_ms=%.3f\n"
           "max_ms=%.3f\npeak_resident_kb=%ld\n",
           runs, failures, (int)last_failure, (int)last_size, first, median, repeated.front(), repeated.back(),
           peak_resident_kb());
    return failures == 0 ? 0 : 1;
}
#endif

int main(int argc, char **argv)
{
    const char *proxy = NULL;
    const char *sign_in = NULL;
    int runs = 200;
    int https = 0;
    int i = 1;
    if (i < argc && strcmp(argv[i], "--https") == 0) {
        https = 1;
        i++;
    }
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (strcmp(argv[i], "--proxy") == 0)
            proxy = argv[i + 1];
        else if (strcmp(argv[i], "--sign-in") == 0)
            sign_in = argv[i + 1];
        else if (strcmp(argv[i], "--runs") == 0)
            runs = atoi(argv[i + 1]);
        else
            return usage();
    }
    if (argc - i != (https ? 2 : 3) || runs < 1 || runs > 100000)
        return usage();
#ifndef _WIN32
    if (https)
        return usage();
#endif
    const char *host = argv[i];
    int port = https ? 443 : atoi(argv[i + 1]);
    const char *path = argv[i + (https ? 1 : 2)];
    if (proxy != NULL) {
        const char *colon = strrchr(proxy, ':');
        if (colon == NULL || colon == proxy || colon - proxy >= PROXY_NAME_SIZE)
            return usage();
        proxy_settings_lock();
        is_use_proxy = 1;
        memcpy(proxy_name, proxy, (size_t)(colon - proxy));
        proxy_name[colon - proxy] = '\0';
        proxy_port = atoi(colon + 1);
        proxy_settings_unlock();
    }

    if (sign_in != NULL) {
        const char *colon = strchr(sign_in, ':');
        if (colon == NULL || colon - sign_in >= PROXY_CREDENTIAL_SIZE)
            return usage();
        char user[PROXY_CREDENTIAL_SIZE];
        memcpy(user, sign_in, (size_t)(colon - sign_in));
        user[colon - sign_in] = '\0';
        proxy_credentials_set(user, colon + 1);
    }
    net_startup();
#ifdef _WIN32
    if (https)
        return bench_https(host, path, runs);
#endif
    http_set_reallocator(counting_realloc);
    std::vector<double> times;
    int failures = 0;
    int32_t last_size = 0;
    for (int run = 0; run < runs; run++) {
        int32_t size = 64000;
        char *buffer = (char *)mem_alloc((uint32_t)size);
        live_bytes = (uint32_t)size;
        peak_bytes = std::max(peak_bytes, live_bytes);
        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        int32_t result = http_get(host, (uint16_t)port, path, NULL, &buffer, &size);
        std::chrono::steady_clock::time_point end = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        if (result != HTTP_OK)
            failures++;
        last_size = size;
        mem_free(buffer);
    }
    http_set_reallocator(NULL);
    double median = median_of(times);
    std::sort(times.begin(), times.end());
    printf("runs=%d\nfailures=%d\nsize=%d\nmedian_ms=%.3f\nmin_ms=%.3f\nmax_ms=%.3f\n"
           "peak_buffer_bytes=%u\npeak_resident_kb=%ld\n",
           runs, failures, (int)last_size, median, times.front(), times.back(), peak_bytes,
           peak_resident_kb());
    return failures == 0 ? 0 : 1;
}
