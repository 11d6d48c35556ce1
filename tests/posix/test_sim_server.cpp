// velvane-sim as a program: started as a child on a free loopback port and
// asked for pages directly and as a forward proxy with the
// project's own HTTP client, and with raw bytes for what a client would not
// send; its log, its saved pages (read back with velvane-scrape), its
// determinism across runs and its exit on SIGTERM. Every wait is bounded
// and every child is killed at the end of its test.
#include <doctest/doctest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "fetch/actual_parser.h"
#include "fetch/forecast_parser.h"
#include "fetch/http_client.h"
#include "fetch/weather_record.h"
#include "panel/weather_text.h"
#include "settings/settings_vars.h"
#include "tests/support/proxy_setting.h"
#include "tests/support/test_socket.h"
#include "tests/support/tool_output.h"
#include "tools/sim/sim_service.h"
#include "util/mem.h"

extern char **environ;

namespace {

const char SIM[] = VELVANE_SIM_PATH;
const char SCRAPE[] = VELVANE_SCRAPE_PATH;
const char SERVICE_HOST[] = VELVANE_SERVICE_HOST;  // the host the program asks for
const char MOSCOW[] = "russia/moscow-area/moscow";
const char CAIRO[] = "egypt//cairo";

int64_t now_ms()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void sleep_ms(int ms)
{
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char pattern[] = "/tmp/velvane-sim-test.XXXXXX";
        REQUIRE(mkdtemp(pattern) != nullptr);
        path = pattern;
    }
    ~TempDir() { (void)system(("rm -rf '" + path + "'").c_str()); }
};

std::string read_file(const std::string &path)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (file == NULL)
        return "(missing)";
    std::string bytes;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    fclose(file);
    return bytes;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::vector<std::string> files_in(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (d == NULL)
        return names;
    while (struct dirent *entry = readdir(d)) {
        if (entry->d_name[0] != '.')
            names.push_back(entry->d_name);
    }
    closedir(d);
    return names;
}

// Waits for a child to end, at most timeout_ms; its wait status, or -1.
int wait_child(pid_t pid, int timeout_ms)
{
    int64_t deadline = now_ms() + timeout_ms;
    for (;;) {
        int status = 0;
        pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid)
            return status;
        if (got < 0 || now_ms() >= deadline)
            return -1;
        sleep_ms(10);
    }
}

// The program started with its arguments, its standard output on a pipe
// and its standard error in a file. The destructor kills what still runs.
struct Sim {
    pid_t pid = -1;
    int out = -1;
    uint16_t port = 0;
    std::string listening;  // the line it printed
    std::string err_path;

    explicit Sim(const std::vector<std::string> &arguments, const std::string &err_file = "/dev/null")
        : err_path(err_file)
    {
        int pipe_fds[2];
        REQUIRE(pipe(pipe_fds) == 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
        posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
        posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        std::vector<char *> argv;
        argv.push_back((char *)SIM);
        for (const std::string &a : arguments)
            argv.push_back((char *)a.c_str());
        argv.push_back(NULL);
        int spawned = posix_spawn(&pid, SIM, &actions, NULL, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipe_fds[1]);
        out = pipe_fds[0];
        if (spawned != 0)
            pid = -1;
        REQUIRE_MESSAGE(spawned == 0, "cannot start " << SIM);
    }

    // Reads the "listening on" line (at most 10 s); 1 when it came.
    bool wait_listening()
    {
        int64_t deadline = now_ms() + 10000;
        std::string text;
        while (text.find('\n') == std::string::npos) {
            int64_t left = deadline - now_ms();
            if (left <= 0)
                return false;
            struct pollfd fd = {out, POLLIN, 0};
            if (poll(&fd, 1, (int)left) <= 0)
                return false;
            char c[256];
            ssize_t n = read(out, c, sizeof c);
            if (n <= 0)
                return false;
            text.append(c, (size_t)n);
        }
        listening = text.substr(0, text.find('\n'));
        const char prefix[] = "velvane-sim: listening on 127.0.0.1:";
        if (listening.compare(0, sizeof prefix - 1, prefix) != 0)
            return false;
        port = (uint16_t)atoi(listening.c_str() + sizeof prefix - 1);
        return port != 0;
    }

    void start()
    {
        REQUIRE_MESSAGE(wait_listening(), "velvane-sim did not say where it listens: \"" << listening << "\" "
                                                                                        << read_file(err_path));
    }

    // Its exit status after SIGTERM (at most 10 s), or -1.
    int terminate()
    {
        if (pid < 0)
            return -1;
        kill(pid, SIGTERM);
        int status = wait_child(pid, 10000);
        if (status != -1)
            pid = -1;
        return status;
    }

    // Its exit status (it is to end by itself within 10 s), or -1.
    int wait_exit()
    {
        int status = wait_child(pid, 10000);
        if (status != -1)
            pid = -1;
        return status;
    }

    ~Sim()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            wait_child(pid, 10000);
        }
        if (out >= 0)
            close(out);
    }
    Sim(const Sim &) = delete;
    Sim &operator=(const Sim &) = delete;
};

// A raw connection to the simulator.
struct Raw {
    TestSocket s = TEST_NO_SOCKET;
    explicit Raw(uint16_t port)
    {
        s = test_connect_loopback(port, 5000, NULL);
        REQUIRE(s != TEST_NO_SOCKET);
    }
    ~Raw() { test_close(s); }
    void send(const std::string &bytes) { REQUIRE(test_send(s, bytes.data(), (int32_t)bytes.size(), 5000) == 0); }
    // Everything until the simulator closes (at most timeout_ms); *closed
    // tells whether it did.
    std::string receive_all(bool *closed, int timeout_ms = 5000)
    {
        std::string bytes;
        int64_t deadline = now_ms() + timeout_ms;
        *closed = false;
        for (;;) {
            int64_t left = deadline - now_ms();
            if (left <= 0)
                return bytes;
            char chunk[65536];
            int32_t n = test_receive(s, chunk, sizeof chunk, (int32_t)left);
            if (n == 0) {
                *closed = true;
                return bytes;
            }
            if (n < 0)
                return bytes;
            bytes.append(chunk, (size_t)n);
        }
    }
    // Up to the end of a response head (at most timeout_ms).
    std::string receive_head(int timeout_ms = 5000)
    {
        std::string bytes;
        int64_t deadline = now_ms() + timeout_ms;
        while (bytes.find("\r\n\r\n") == std::string::npos) {
            int64_t left = deadline - now_ms();
            if (left <= 0)
                break;
            char c;
            int32_t n = test_receive(s, &c, 1, (int32_t)left);
            if (n != 1)
                break;
            bytes += c;
        }
        return bytes;
    }
    // Whether nothing came and the connection stayed open for ms.
    bool quiet_for(int ms)
    {
        char c;
        return test_receive(s, &c, 1, ms) == TEST_TIMED_OUT;
    }
};

std::string exchange(uint16_t port, const std::string &request, bool *closed)
{
    Raw raw(port);
    raw.send(request);
    return raw.receive_all(closed);
}

int status_of(const std::string &response)
{
    return response.size() >= 12 ? parse_status_code(response.data(), (int32_t)response.size()) : -1;
}

std::string body_of(const std::string &response)
{
    size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

struct Fetched {
    int32_t result = -1;
    std::string bytes;
};

// One http_get as the fetch job makes it: directly from 127.0.0.1:port, or
// (proxy_port not 0) from the service host through the proxy.
Fetched fetch(uint16_t port, const std::string &path, const char *referer, uint16_t proxy_port_value = 0)
{
    http_set_time_outs(5000, 5000, 10000);
    if (proxy_port_value != 0)
        set_proxy(1, "127.0.0.1", proxy_port_value);
    else
        set_proxy(0, "", 8080);
    int32_t size = 0;
    char *buffer = NULL;
    Fetched f;
    f.result = http_get(proxy_port_value != 0 ? SERVICE_HOST : "127.0.0.1", port, path.c_str(), referer, &buffer,
                        &size);
    if (buffer != NULL && size > 0)
        f.bytes.assign(buffer, (size_t)size);
    mem_free(buffer);
    set_proxy(0, "", 8080);
    http_set_time_outs(0, 0, 0);
    return f;
}

std::string actual_path(const char *location)
{
    return std::string("pogoda/") + location;
}

std::string forecast_path(const char *location)
{
    return std::string("forecasts5000/") + location + "/print";
}

// The saved page's file name for a request number, status and target.
std::string page_name(int number, int status, const std::string &target)
{
    char start[32];
    snprintf(start, sizeof start, "%06d-%d-", number, status);
    std::string name = start;
    size_t from = !target.empty() && target[0] == '/' ? 1 : 0;
    for (size_t i = from; i < target.size(); i++) {
        unsigned char c = (unsigned char)target[i];
        if (c == '/')
            name += '+';
        else if (isalnum(c) || c == '-' || c == '.' || c == '_')
            name += (char)c;
        else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        }
    }
    return name + ".http";
}

// The panel's two blocks, quoted as velvane-scrape prints them, from the
// bytes of the two responses.
std::string quoted(const char *text)
{
    std::string q = "\"";
    for (const unsigned char *p = (const unsigned char *)text; *p != 0; p++) {
        switch (*p) {
        case '\\': q += "\\\\"; break;
        case '"': q += "\\\""; break;
        case '\n': q += "\\n"; break;
        case '\r': q += "\\r"; break;
        case '\t': q += "\\t"; break;
        default:
            if (*p < 0x20) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02X", *p);
                q += hex;
            } else
                q += (char)*p;
        }
    }
    return q + "\"";
}

void panel_blocks(const std::string &actual, const std::string &forecast, double day, std::string *actual_block,
                  std::string *forecast_block)
{
    WeatherRecord *record = weather_record_create();
    REQUIRE(record != nullptr);
    CHECK(parse_actual_page_into(record, actual.data(), (int32_t)actual.size()) == 1);
    CHECK(parse_forecast_page_into(record, forecast.data(), (int32_t)forecast.size()) == 1);
    char *a = compose_actual_block(record);
    char *f = compose_forecast_block(record, day);
    *actual_block = "actual_block=" + quoted(a != NULL ? a : "");
    *forecast_block = "forecast_block=" + quoted(f != NULL ? f : "");
    mem_free(a);
    mem_free(f);
    weather_record_destroy(record);
}

bool is_listening(Sim &sim)
{
    bool ok = sim.wait_listening();
    return ok;
}

} // namespace

TEST_CASE("the simulator serves both pages directly and as a forward proxy, logs and saves them")
{
    REQUIRE_MESSAGE(access(SIM, X_OK) == 0, SIM << " is not built");
    TempDir dir;
    std::string log = dir.path + "/sim.log";
    std::string pages = dir.path + "/pages";
    Sim sim({"--listen", "127.0.0.1:0", "--seed", "7", "--log", log, "--save", pages}, dir.path + "/err");
    sim.start();
    uint16_t port = sim.port;
    int32_t today = sim_today();

    // Directly, as a web server.
    Fetched actual = fetch(port, actual_path(MOSCOW), NULL);
    Fetched forecast = fetch(port, forecast_path(MOSCOW), actual_path(MOSCOW).c_str());
    CHECK(actual.result == HTTP_OK);
    CHECK(forecast.result == HTTP_OK);
    CHECK(status_of(actual.bytes) == 200);
    CHECK(body_of(actual.bytes).find("Фактическая погода") != std::string::npos);
    CHECK(body_of(forecast.bytes).find("Прогноз") != std::string::npos);

    // As a forward proxy, asked for the service's host: the same bytes.
    Fetched proxied_actual = fetch(80, actual_path(MOSCOW), NULL, port);
    Fetched proxied_forecast = fetch(80, forecast_path(MOSCOW), actual_path(MOSCOW).c_str(), port);
    CHECK(proxied_actual.result == HTTP_OK);
    CHECK(proxied_forecast.result == HTTP_OK);
    CHECK(proxied_actual.bytes == actual.bytes);
    CHECK(proxied_forecast.bytes == forecast.bytes);

    // Another place, through the proxy.
    Fetched cairo = fetch(80, actual_path(CAIRO), NULL, port);
    CHECK(cairo.result == HTTP_OK);
    CHECK(cairo.bytes != actual.bytes);

    // An unknown location and an unknown path: 404 (and the client's "not
    // a 200"), with the response in the buffer.
    Fetched missing = fetch(port, "pogoda/russia/moscow-area/atlantis", NULL);
    CHECK(missing.result == HTTP_INVALID_RESPONSE);
    CHECK(status_of(missing.bytes) == 404);
    Fetched missing_proxied = fetch(80, "favicon.ico", NULL, port);
    CHECK(missing_proxied.result == HTTP_INVALID_RESPONSE);
    CHECK(status_of(missing_proxied.bytes) == 404);

    // Another method: 405, and the connection closed.
    bool closed = false;
    std::string post = exchange(port, "POST /pogoda/russia/moscow-area/moscow HTTP/1.1\r\nHost: x\r\n"
                                      "Content-Length: 0\r\n\r\n", &closed);
    CHECK(status_of(post) == 405);
    CHECK(closed);

    // HEAD: the head of the page, no body.
    std::string head = exchange(port, "HEAD /pogoda/russia/moscow-area/moscow HTTP/1.0\r\n\r\n", &closed);
    CHECK(status_of(head) == 200);
    CHECK(body_of(head).empty());
    CHECK(closed);
    CHECK(head == actual.bytes.substr(0, actual.bytes.find("\r\n\r\n") + 4));

    // Absolute form, as to a plain proxy; a Referer with a blank in it.
    std::string absolute = exchange(port, "GET http://www.pogoda.example/pogoda/egypt//cairo HTTP/1.1\r\n"
                                          "Host: www.pogoda.example\r\nReferer: a b\\c\r\n\r\n", &closed);
    CHECK(absolute == cairo.bytes);
    CHECK(closed);

    // CONNECT to another port is refused, and the connection closed.
    std::string refused = exchange(port, "CONNECT www.pogoda.example:443 HTTP/1.0\r\n\r\n", &closed);
    CHECK(status_of(refused) == 403);
    CHECK(closed);

    // CONNECT and the tunnelled request in one piece.
    std::string pipelined = exchange(port, "CONNECT www.pogoda.example:80 HTTP/1.1\r\nHost: www.pogoda.example:80\r\n\r\n"
                                           "GET /forecasts5000/russia/moscow-area/moscow/print HTTP/1.1\r\n"
                                           "Host: www.pogoda.example\r\n\r\n", &closed);
    CHECK(pipelined.compare(0, 13, "HTTP/1.0 200 ") == 0);
    size_t after_connect = pipelined.find("\r\n\r\n");
    REQUIRE(after_connect != std::string::npos);
    CHECK(pipelined.substr(after_connect + 4) == forecast.bytes);
    CHECK(closed);

    // The log: one line per request, in order.
    std::vector<std::string> want = {
        "1 GET /pogoda/russia/moscow-area/moscow 200 -",
        "2 GET /forecasts5000/russia/moscow-area/moscow/print 200 http://127.0.0.1/pogoda/russia/moscow-area/moscow",
        "3 GET http://www.pogoda.example/pogoda/russia/moscow-area/moscow 200 -",
        "4 GET http://www.pogoda.example/forecasts5000/russia/moscow-area/moscow/print 200 "
        "http://www.pogoda.example/pogoda/russia/moscow-area/moscow",
        "5 GET http://www.pogoda.example/pogoda/egypt//cairo 200 -",
        "6 GET /pogoda/russia/moscow-area/atlantis 404 -",
        "7 GET http://www.pogoda.example/favicon.ico 404 -",
        "8 POST /pogoda/russia/moscow-area/moscow 405 -",
        "9 HEAD /pogoda/russia/moscow-area/moscow 200 -",
        "10 GET http://www.pogoda.example/pogoda/egypt//cairo 200 a\\x20b\\x5Cc",
        "11 CONNECT www.pogoda.example:443 403 -",
        "12 CONNECT www.pogoda.example:80 200 -",
        "13 GET /forecasts5000/russia/moscow-area/moscow/print 200 -",
    };
    std::vector<std::string> got = lines_of(read_file(log));
    CHECK(got.size() == want.size());
    for (size_t i = 0; i < want.size() && i < got.size(); i++)
        CHECK(got[i] == want[i]);

    // The pages: every response with a body, its exact bytes.
    std::map<std::string, std::string> saved = {
        {page_name(1, 200, "/pogoda/russia/moscow-area/moscow"), actual.bytes},
        {page_name(2, 200, "/forecasts5000/russia/moscow-area/moscow/print"), forecast.bytes},
        {page_name(3, 200, "http://www.pogoda.example/pogoda/russia/moscow-area/moscow"), proxied_actual.bytes},
        {page_name(4, 200, "http://www.pogoda.example/forecasts5000/russia/moscow-area/moscow/print"),
         proxied_forecast.bytes},
        {page_name(5, 200, "http://www.pogoda.example/pogoda/egypt//cairo"), cairo.bytes},
        {page_name(6, 404, "/pogoda/russia/moscow-area/atlantis"), missing.bytes},
        {page_name(7, 404, "http://www.pogoda.example/favicon.ico"), missing_proxied.bytes},
        {page_name(8, 405, "/pogoda/russia/moscow-area/moscow"), post},
        {page_name(10, 200, "http://www.pogoda.example/pogoda/egypt//cairo"), absolute},
        {page_name(11, 403, "www.pogoda.example:443"), refused},
        {page_name(13, 200, "/forecasts5000/russia/moscow-area/moscow/print"), pipelined.substr(after_connect + 4)},
    };
    CHECK(page_name(10, 200, "http://www.pogoda.example/pogoda/egypt//cairo") ==
          "000010-200-http%3A++www.pogoda.example+pogoda+egypt++cairo.http");
    std::vector<std::string> files = files_in(pages);
    CHECK(files.size() == saved.size());
    for (const auto &entry : saved) {
        INFO("page " << entry.first);
        CHECK(read_file(pages + "/" + entry.first) == entry.second);
    }

    // velvane-scrape reads the saved pages as the program reads what it
    // received: the same record, the same panel blocks.
    int status = 0;
    std::string actual_file = pages + "/" + page_name(3, 200, "http://www.pogoda.example/pogoda/russia/moscow-area/moscow");
    std::string forecast_file =
        pages + "/" + page_name(4, 200, "http://www.pogoda.example/forecasts5000/russia/moscow-area/moscow/print");
    std::string output = run_command(std::string("'") + SCRAPE + "' --actual '" + actual_file + "' --forecast '" +
                                 forecast_file + "' --blocks " + std::to_string(today),
                             &status);
    CHECK(status == 0);
    CHECK(line_of(output, "actual_result") == "actual_result=1");
    CHECK(line_of(output, "forecast_result") == "forecast_result=1");
    char want_date[64];
    snprintf(want_date, sizeof want_date, "day0.date=%.3f", (double)today);
    CHECK(line_of(output, "day0.date") == want_date);
    std::string actual_block, forecast_block;
    panel_blocks(proxied_actual.bytes, proxied_forecast.bytes, (double)today, &actual_block, &forecast_block);
    CHECK(line_of(output, "actual_block") == actual_block);
    CHECK(line_of(output, "forecast_block") == forecast_block);
    CHECK(actual_block.size() > 20);
    CHECK(forecast_block.size() > 20);

    CHECK(sim.terminate() == 0);
    CHECK(read_file(dir.path + "/err") == "");
}

TEST_CASE("garbage gets 400 and its connection closed while another connection is served")
{
    REQUIRE_MESSAGE(access(SIM, X_OK) == 0, SIM << " is not built");
    TempDir dir;
    std::string log = dir.path + "/sim.log";
    Sim sim({"--listen", "127.0.0.1:0", "--log", log}, dir.path + "/err");
    sim.start();

    // A client that has sent half its request, and one in a tunnel.
    Raw waiting(sim.port);
    waiting.send("GET /pogoda/egypt//cairo HTTP/1.1\r\nHost: www.pogoda.example\r\n");
    Raw tunnel(sim.port);
    tunnel.send("CONNECT www.pogoda.example:80 HTTP/1.0\r\n\r\n");
    std::string established = tunnel.receive_head();
    CHECK(established.compare(0, 13, "HTTP/1.0 200 ") == 0);

    const char *const GARBAGE[] = {
        "garbage\r\n\r\n",
        "GET / HTTP/1.1\r\nno colon\r\n\r\n",
        "\x16\x03\x01\x02\x00\x01",  // a TLS hello: bad before any line ends
        "GET /\x01 HTTP/1.1",
    };
    for (const char *bytes : GARBAGE) {
        INFO("garbage: " << bytes);
        Raw bad(sim.port);
        bad.send(bytes);
        bool closed = false;
        std::string answer = bad.receive_all(&closed, 5000);
        CHECK(status_of(answer) == 400);
        CHECK(closed);
    }
    // A head that never ends within the bound.
    {
        Raw bad(sim.port);
        std::string huge = "GET / HTTP/1.1\r\n";
        while (huge.size() < (size_t)SIM_HEAD_MAX + 100)
            huge += "X-Filler: 0123456789abcdef\r\n";
        bad.send(huge);
        bool closed = false;
        std::string answer = bad.receive_all(&closed, 5000);
        CHECK(status_of(answer) == 400);
        CHECK(closed);
    }
    // A request cut short by its client's end of sending: 400 too.
    {
        Raw cut(sim.port);
        cut.send("GET /pogoda/egypt//cairo HTTP/1.1\r\nHost: x\r\n");
        shutdown((int)cut.s, SHUT_WR);
        bool closed = false;
        std::string answer = cut.receive_all(&closed, 5000);
        CHECK(status_of(answer) == 400);
        CHECK(closed);
    }
    // Garbage inside a tunnel, and a tunnel inside the tunnel.
    {
        Raw inner(sim.port);
        inner.send("CONNECT a:80 HTTP/1.0\r\n\r\nBAD REQUEST LINE\r\n\r\n");
        bool closed = false;
        std::string answer = inner.receive_all(&closed, 5000);
        CHECK(answer.compare(0, 13, "HTTP/1.0 200 ") == 0);
        CHECK(status_of(body_of(answer)) == 400);
        CHECK(closed);
    }

    // The other connections are still there, and still served.
    CHECK(waiting.quiet_for(100));
    waiting.send("\r\n");
    bool closed = false;
    std::string page = waiting.receive_all(&closed);
    CHECK(status_of(page) == 200);
    CHECK(closed);
    tunnel.send("GET /forecasts5000/egypt//cairo/print HTTP/1.1\r\n\r\n");
    page = tunnel.receive_all(&closed);
    CHECK(status_of(page) == 200);
    CHECK(closed);
    // And new ones.
    Fetched fresh = fetch(sim.port, actual_path(MOSCOW), NULL);
    CHECK(fresh.result == HTTP_OK);

    std::string text = read_file(log);
    CHECK(text.find(" - - 400 -\n") != std::string::npos);
    CHECK(text.find("CONNECT a:80 200 -\n") != std::string::npos);
    CHECK(text.find("GET /pogoda/egypt//cairo 200 -\n") != std::string::npos);
    CHECK(text.find("GET /forecasts5000/egypt//cairo/print 200 -\n") != std::string::npos);
    int bad_lines = 0;
    for (const std::string &line : lines_of(text))
        bad_lines += line.find(" 400 ") != std::string::npos;
    CHECK(bad_lines == 7);

    CHECK(sim.terminate() == 0);
    CHECK(read_file(dir.path + "/err") == "");
}

TEST_CASE("two runs with the same seed serve the same pages; another seed other ones")
{
    REQUIRE_MESSAGE(access(SIM, X_OK) == 0, SIM << " is not built");
    std::vector<std::string> runs[3];
    const char *const SEEDS[3] = {"12345", "12345", "54321"};
    const char *const PLACES[] = {MOSCOW, CAIRO, "russia/republic-saha-yakutia/jakutsk", "usa//anchorage"};
    for (int r = 0; r < 3; r++) {
        Sim sim({"--listen", "127.0.0.1:0", "--seed", SEEDS[r]});
        sim.start();
        for (const char *place : PLACES) {
            Fetched a = fetch(80, actual_path(place), NULL, sim.port);
            Fetched f = fetch(sim.port, forecast_path(place), NULL);
            CHECK(a.result == HTTP_OK);
            CHECK(f.result == HTTP_OK);
            runs[r].push_back(a.bytes);
            runs[r].push_back(f.bytes);
        }
        CHECK(sim.terminate() == 0);
    }
    CHECK(runs[0] == runs[1]);
    for (size_t i = 0; i < runs[0].size(); i++) {
        INFO("page " << i);
        CHECK(runs[0][i] != runs[2][i]);
    }
}

TEST_CASE("a second run into the same pages directory numbers on")
{
    REQUIRE_MESSAGE(access(SIM, X_OK) == 0, SIM << " is not built");
    TempDir dir;
    std::string log = dir.path + "/sim.log";
    std::string pages = dir.path + "/pages";
    for (int r = 0; r < 2; r++) {
        Sim sim({"--listen", "127.0.0.1:0", "--log", log, "--save", pages});
        sim.start();
        CHECK(fetch(sim.port, actual_path(MOSCOW), NULL).result == HTTP_OK);
        CHECK(fetch(sim.port, "pogoda/nowhere", NULL).result == HTTP_INVALID_RESPONSE);
        CHECK(sim.terminate() == 0);
    }
    std::vector<std::string> files = files_in(pages);
    CHECK(files.size() == 4);
    for (const char *name : {"000001-200-pogoda+russia+moscow-area+moscow.http", "000002-404-pogoda+nowhere.http",
                             "000003-200-pogoda+russia+moscow-area+moscow.http", "000004-404-pogoda+nowhere.http"}) {
        INFO("page " << name);
        CHECK(access((pages + "/" + name).c_str(), R_OK) == 0);
    }
    std::vector<std::string> lines = lines_of(read_file(log));
    REQUIRE(lines.size() == 4);
    CHECK(lines[2] == "3 GET /pogoda/russia/moscow-area/moscow 200 -");
    CHECK(lines[3] == "4 GET /pogoda/nowhere 404 -");
}

TEST_CASE("options, and an address it cannot listen on")
{
    REQUIRE_MESSAGE(access(SIM, X_OK) == 0, SIM << " is not built");
    const std::vector<std::vector<std::string>> BAD = {
        {"--frobnicate"}, {"--seed"}, {"--seed", "x"}, {"--seed", "-1"}, {"--seed", "4294967296"},
        {"--seed", ""}, {"--listen"}, {"--log"}, {"--save"}, {"--listen", "127.0.0.1:0", "extra"},
    };
    for (const auto &arguments : BAD) {
        INFO("arguments: " << (arguments.empty() ? "" : arguments[0]) << " ...");
        Sim sim(arguments);
        CHECK_FALSE(is_listening(sim));
        int status = sim.wait_exit();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 2);
    }
    {
        Sim help({"--help"});
        int status = help.wait_exit();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 0);
    }
    // A log or pages directory that cannot be made.
    {
        Sim sim({"--listen", "127.0.0.1:0", "--log", "/nonexistent/dir/sim.log"});
        int status = sim.wait_exit();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 2);
    }
    {
        Sim sim({"--listen", "127.0.0.1:0", "--save", "/nonexistent/dir/pages"});
        int status = sim.wait_exit();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 2);
    }
    // Addresses that are none are bad options; the port of a running
    // simulator cannot be listened on.
    for (const char *address : {"127.0.0.1", "127.0.0.1:", ":80", "127.0.0.1:65536", "127.0.0.1:x",
                                "127.0.0.1:-1", "127.0.0.1:123456"}) {
        INFO("address " << address);
        Sim sim({"--listen", address});
        int status = sim.wait_exit();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 2);
    }
    Sim first({"--listen", "127.0.0.1:0"});
    first.start();
    {
        Sim second({"--listen", "127.0.0.1:" + std::to_string(first.port)});
        int status = second.wait_exit();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 1);
    }
    CHECK(fetch(first.port, actual_path(MOSCOW), NULL).result == HTTP_OK);
    CHECK(first.terminate() == 0);
}

TEST_CASE("SIGINT ends it with 0 too, and so does SIGTERM while connections are open")
{
    REQUIRE_MESSAGE(access(SIM, X_OK) == 0, SIM << " is not built");
    {
        Sim sim({"--listen", "127.0.0.1:0"});
        sim.start();
        kill(sim.pid, SIGINT);
        int status = sim.wait_exit();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 0);
    }
    {
        Sim sim({"--listen", "127.0.0.1:0"});
        sim.start();
        Raw idle(sim.port);
        idle.send("GET /pogoda/egypt//cairo HTTP/1.1\r\n");
        Raw tunnel(sim.port);
        tunnel.send("CONNECT x:80 HTTP/1.0\r\n\r\n");
        CHECK(tunnel.receive_head().compare(0, 13, "HTTP/1.0 200 ") == 0);
        int status = sim.terminate();
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == 0);
        bool closed = false;
        idle.receive_all(&closed, 2000);
        CHECK(closed);
    }
}
