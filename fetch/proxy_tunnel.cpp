// Reading a proxy's answer to CONNECT, and Basic credentials.
#include "fetch/proxy_tunnel.h"

#include <ctype.h>
#include <string.h>

#include "util/format.h"
#include "util/mem.h"

int32_t tunnel_answer_status(const char *answer, int32_t length, int32_t *basic_offered)
{
    if (basic_offered != NULL)
        *basic_offered = 0;
    if (answer == NULL || length < 12 || strncmp(answer, "HTTP/1.", 7) != 0 || answer[8] != ' ')
        return -1;
    int32_t status = 0;
    for (int i = 9; i < 12; i++) {
        if (!isdigit((unsigned char)answer[i]))
            return -1;
        status = status * 10 + (answer[i] - '0');
    }
    // Each header line: "Proxy-Authenticate:" followed by "Basic".
    static const char NAME[] = "proxy-authenticate:";
    const size_t name_length = sizeof NAME - 1;
    for (int32_t i = 0; basic_offered != NULL && i < length; i++) {
        if (answer[i] != '\n' || (size_t)(length - i - 1) < name_length)
            continue;
        const char *line = answer + i + 1;
        size_t k = 0;
        while (k < name_length && tolower((unsigned char)line[k]) == NAME[k])
            k++;
        if (k < name_length)
            continue;
        const char *value = line + name_length;
        while (value < answer + length && (*value == ' ' || *value == '\t'))
            value++;
        static const char BASIC[] = "basic";
        size_t b = 0;
        while (b < 5 && value + b < answer + length && tolower((unsigned char)value[b]) == BASIC[b])
            b++;
        if (b == 5)
            *basic_offered = 1;
    }
    return status;
}

char *basic_credentials(const char *user, const char *password)
{
    static const char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    char *joined = format_string("%s:%s", user != NULL ? user : "", password != NULL ? password : "");
    if (joined == NULL)
        return NULL;
    size_t length = strlen(joined);
    char *text = (char *)mem_alloc((uint32_t)((length + 2) / 3 * 4 + 1));
    if (text != NULL) {
        char *out = text;
        const unsigned char *in = (const unsigned char *)joined;
        for (size_t i = 0; i < length; i += 3) {
            uint32_t n = (uint32_t)in[i] << 16;
            if (i + 1 < length)
                n |= (uint32_t)in[i + 1] << 8;
            if (i + 2 < length)
                n |= in[i + 2];
            *out++ = DIGITS[(n >> 18) & 63];
            *out++ = DIGITS[(n >> 12) & 63];
            *out++ = i + 1 < length ? DIGITS[(n >> 6) & 63] : '=';
            *out++ = i + 2 < length ? DIGITS[n & 63] : '=';
        }
        *out = 0;
    }
    memset(joined, 0, length);
    mem_free(joined);
    return text;
}
