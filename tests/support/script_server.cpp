// The scripted loopback server: one thread, one connection at a time.
#include "tests/support/script_server.h"

#include <chrono>

const char *const REQUEST_TAIL = "\r\n\r\n\r\n";

// Bounds of the server's own waits, so a test can never hang on it.
static const int32_t READ_WAIT_MS = 15000;
static const int32_t HOLD_WAIT_MS = 60000;
static const int32_t POLL_MS = 20;
static const int32_t PIECE_PAUSE_MS = 40;
static const size_t ENDLESS_BOUND = 64u * 1024u * 1024u;

ScriptConnection script_answer(const std::string &response)
{
    ScriptConnection c;
    c.exchanges.push_back(ScriptExchange{REQUEST_TAIL, {response}});
    c.ending = SCRIPT_CLOSE;
    return c;
}

ScriptConnection script_answer_hold(const std::string &response)
{
    ScriptConnection c = script_answer(response);
    c.ending = SCRIPT_HOLD;
    return c;
}

ScriptConnection script_silent(void)
{
    ScriptConnection c;
    c.exchanges.push_back(ScriptExchange{REQUEST_TAIL, {}});
    c.ending = SCRIPT_HOLD;
    return c;
}

ScriptConnection script_close_at_once(void)
{
    ScriptConnection c;
    c.ending = SCRIPT_CLOSE;
    return c;
}

ScriptConnection script_close_after_request(void)
{
    ScriptConnection c;
    c.exchanges.push_back(ScriptExchange{REQUEST_TAIL, {}});
    c.ending = SCRIPT_CLOSE;
    return c;
}

std::string http_response(const char *status_line, const std::string &headers,
                          const std::string &body)
{
    return std::string(status_line) + "\r\n" + headers + "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

static bool ends_with(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

static void record(ScriptServer *server, size_t index, const char *bytes, int32_t n)
{
    std::lock_guard<std::mutex> guard(server->lock);
    server->received[index].append(bytes, (size_t)n);
    server->reads[index]++;
}

static std::string recorded(ScriptServer *server, size_t index)
{
    std::lock_guard<std::mutex> guard(server->lock);
    return server->received[index];
}

static void pause_ms(int32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Reads until the connection's bytes end with `until`. False when the
// client closed, the wait ran out or the server stops.
static bool read_until(ScriptServer *server, TestSocket s, size_t index, const std::string &until)
{
    int32_t waited = 0;
    char bytes[4096];
    while (!ends_with(recorded(server, index), until)) {
        if (server->stopping.load() || waited >= READ_WAIT_MS)
            return false;
        int32_t n = test_receive(s, bytes, sizeof bytes, POLL_MS);
        if (n == TEST_TIMED_OUT) {
            waited += POLL_MS;
            continue;
        }
        if (n <= 0) {
            std::lock_guard<std::mutex> guard(server->lock);
            server->client_closed[index] = 1;
            return false;
        }
        record(server, index, bytes, n);
    }
    return true;
}

// Keeps reading until the client closes (or the bounds run out).
static void hold(ScriptServer *server, TestSocket s, size_t index)
{
    int32_t waited = 0;
    char bytes[4096];
    while (!server->stopping.load() && waited < HOLD_WAIT_MS) {
        int32_t n = test_receive(s, bytes, sizeof bytes, POLL_MS);
        if (n == TEST_TIMED_OUT) {
            waited += POLL_MS;
            continue;
        }
        if (n <= 0) {
            std::lock_guard<std::mutex> guard(server->lock);
            server->client_closed[index] = 1;
            return;
        }
        record(server, index, bytes, n);
    }
}

static void send_endless(ScriptServer *server, TestSocket s, size_t index, const std::string &piece)
{
    size_t sent = 0;
    char bytes[4096];
    while (!server->stopping.load() && sent < ENDLESS_BOUND && !piece.empty()) {
        if (test_send(s, piece.data(), (int32_t)piece.size(), 2000) != 0)
            break;
        sent += piece.size();
        int32_t n = test_receive(s, bytes, sizeof bytes, 0);
        if (n == 0 || n == -1)
            break;
        if (n > 0)
            record(server, index, bytes, n);
    }
    std::lock_guard<std::mutex> guard(server->lock);
    server->client_closed[index] = 1;
}

static void serve(ScriptServer *server)
{
    size_t next = 0;
    while (!server->stopping.load()) {
        TestSocket s = test_accept(server->listener, POLL_MS);
        if (s == TEST_NO_SOCKET)
            continue;
        if (next >= server->script.size()) {
            std::lock_guard<std::mutex> guard(server->lock);
            server->extra_connections++;
            test_close(s);
            continue;
        }
        size_t index = next++;
        {
            std::lock_guard<std::mutex> guard(server->lock);
            server->received.push_back(std::string());
            server->reads.push_back(0);
            server->client_closed.push_back(0);
        }
        const ScriptConnection &c = server->script[index];
        bool going = true;
        for (size_t e = 0; going && e < c.exchanges.size(); e++) {
            const ScriptExchange &x = c.exchanges[e];
            if (!x.until.empty()) {
                going = read_until(server, s, index, x.until);
                if (going)
                    server->requests_read.fetch_add(1);
            }
            for (size_t p = 0; going && p < x.pieces.size(); p++) {
                if (p > 0)
                    pause_ms(PIECE_PAUSE_MS);
                going = test_send(s, x.pieces[p].data(), (int32_t)x.pieces[p].size(), 5000) == 0;
            }
        }
        if (going && c.ending == SCRIPT_HOLD)
            hold(server, s, index);
        if (going && c.ending == SCRIPT_ENDLESS)
            send_endless(server, s, index, c.endless);
        test_close(s);
    }
}

bool script_server_start(ScriptServer *server, const std::vector<ScriptConnection> &script)
{
    test_socket_startup();
    server->script = script;
    server->stopping.store(0);
    server->requests_read.store(0);
    server->extra_connections = 0;
    server->received.clear();
    server->reads.clear();
    server->client_closed.clear();
    server->listener = test_listen_loopback(&server->port, 16);
    if (server->listener == TEST_NO_SOCKET)
        return false;
    server->thread = std::thread(serve, server);
    return true;
}

void script_server_stop(ScriptServer *server)
{
    server->stopping.store(1);
    if (server->thread.joinable())
        server->thread.join();
    test_close(server->listener);
    server->listener = TEST_NO_SOCKET;
}

std::vector<std::string> script_server_received(ScriptServer *server)
{
    std::lock_guard<std::mutex> guard(server->lock);
    return server->received;
}

bool script_server_wait_requests(ScriptServer *server, int count, int32_t timeout_ms)
{
    for (int32_t waited = 0; waited < timeout_ms; waited += 10) {
        if (server->requests_read.load() >= count)
            return true;
        pause_ms(10);
    }
    return server->requests_read.load() >= count;
}

int script_server_reads(ScriptServer *server, size_t index)
{
    std::lock_guard<std::mutex> guard(server->lock);
    return index < server->reads.size() ? server->reads[index] : 0;
}

int script_server_client_closed(ScriptServer *server, size_t index)
{
    std::lock_guard<std::mutex> guard(server->lock);
    return index < server->client_closed.size() ? server->client_closed[index] : 0;
}
