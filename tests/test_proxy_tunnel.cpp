// A proxy's answer to CONNECT and Basic credentials: what the open data's
// client asks a proxy with by itself.
#include <doctest/doctest.h>

#include <string>

#include "fetch/proxy_tunnel.h"
#include "util/mem.h"

TEST_CASE("a proxy's answer to CONNECT")
{
    struct Case {
        const char *answer;
        int32_t status;
        int32_t basic;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 Connection established\r\n\r\n", 200, 0},
        {"HTTP/1.1 403 Forbidden\r\nServer: squid\r\n\r\n", 403, 0},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"x\"\r\n\r\n", 407, 1},
        {"HTTP/1.0 407 Auth\r\nproxy-authenticate:NTLM\r\nPROXY-AUTHENTICATE:  basic\r\n\r\n", 407, 1},
        {"HTTP/1.1 407 Auth\r\nProxy-Authenticate: Negotiate\r\n\r\n", 407, 0},
        {"HTTP/1.1 20", -1, 0},
        {"SSH-2.0-OpenSSH\r\n", -1, 0},
        {"HTTP/1.1 2x0 Odd\r\n\r\n", -1, 0},
    };
    for (const Case &c : cases) {
        CAPTURE(c.answer);
        int32_t basic = -1;
        CHECK(tunnel_answer_status(c.answer, (int32_t)std::string(c.answer).size(), &basic) == c.status);
        CHECK(basic == c.basic);
    }
}

TEST_CASE("Basic credentials")
{
    const char *const cases[][3] = {
        {"user", "secret", "dXNlcjpzZWNyZXQ="},
        {"Aladdin", "open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        {"a", "", "YTo="},
        {"\xC8\xE2\xE0\xED", "1", "yOLg7Tox"},  // a Cyrillic name, code page 1251 as stored
    };
    int32_t live = mem_live_blocks();
    for (const auto &c : cases) {
        char *text = basic_credentials(c[0], c[1]);
        REQUIRE(text != nullptr);
        CHECK(std::string(text) == c[2]);
        mem_free(text);
    }
    CHECK(mem_live_blocks() == live);
}
