// The proxy's answer to CONNECT and Basic credentials against plain
// references: tunnel_answer_status agrees with a reading by std::string,
// and basic_credentials decodes back to "user:password".
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fetch/proxy_tunnel.h"
#include "util/mem.h"

static int reference_status(const std::string &answer)
{
    if (answer.size() < 12 || answer.compare(0, 7, "HTTP/1.") != 0 || answer[8] != ' ')
        return -1;
    for (int i = 9; i < 12; i++)
        if (answer[i] < '0' || answer[i] > '9')
            return -1;
    return atoi(answer.substr(9, 3).c_str());
}

static std::string lower(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return out;
}

static int reference_basic(const std::string &answer)
{
    std::string text = lower(answer);
    for (size_t at = text.find("\nproxy-authenticate:"); at != std::string::npos;
         at = text.find("\nproxy-authenticate:", at + 1)) {
        size_t value = at + 20;
        while (value < text.size() && (text[value] == ' ' || text[value] == '\t'))
            value++;
        if (text.compare(value, 5, "basic") == 0)
            return 1;
    }
    return 0;
}

static std::string decode(const char *text)
{
    static const char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (const char *p = text; *p && *p != '='; p++) {
        bits = bits << 6 | (uint32_t)(strchr(DIGITS, *p) - DIGITS);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += (char)((bits >> count) & 0xFF);
        }
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string answer((const char *)data, size);
    int32_t basic = -1;
    int32_t status = tunnel_answer_status(answer.data(), (int32_t)answer.size(), &basic);
    if (status != reference_status(answer))
        abort();
    if (status >= 0 && basic != reference_basic(answer))
        abort();

    // The bytes up to the first zero as the name, the rest up to the next
    // as the password.
    std::string user(answer.c_str());
    std::string password(user.size() < answer.size() ? answer.c_str() + user.size() + 1 : "");
    char *credentials = basic_credentials(user.c_str(), password.c_str());
    if (credentials == NULL || decode(credentials) != user + ":" + password)
        abort();
    mem_free(credentials);
    return 0;
}
