// A scripted server on loopback for the HTTP client's tests: it accepts the
// connections of its script one after another, records every byte that
// each brings, and answers as the script says: a web server, a proxy that
// answers CONNECT and then serves on the same connection, or one that
// misbehaves. Every wait is bounded; stopping ends every connection.
#ifndef VELVANE_TESTS_SUPPORT_SCRIPT_SERVER_H
#define VELVANE_TESTS_SUPPORT_SCRIPT_SERVER_H

#include <atomic>
#include <mutex>
#include <stdint.h>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_socket.h"

// One exchange: read until the bytes of the connection end with `until`
// (empty: read nothing), then send the pieces, pausing between them so
// that each arrives in a receive of its own.
struct ScriptExchange {
    std::string until;
    std::vector<std::string> pieces;
};

enum ScriptEnding {
    SCRIPT_CLOSE,    // close after the last exchange
    SCRIPT_HOLD,     // keep the connection open until the client closes it
    SCRIPT_ENDLESS   // send `endless` over and over until the client goes
};

struct ScriptConnection {
    std::vector<ScriptExchange> exchanges;
    ScriptEnding ending;
    std::string endless;
};

struct ScriptServer {
    TestSocket listener;
    uint16_t port;
    std::vector<ScriptConnection> script;
    std::thread thread;
    std::atomic<int> stopping;
    std::mutex lock;                  // guards the records below
    std::vector<std::string> received;  // per connection accepted
    std::vector<int> reads;             // receives that brought bytes, per connection
    std::vector<int> client_closed;     // the client closed it first
    int extra_connections;              // accepted beyond the script (closed at once)
    std::atomic<int> requests_read;     // exchanges whose `until` has been seen
};

// Common pieces of a script.
ScriptConnection script_answer(const std::string &response);          // a GET, then close
ScriptConnection script_answer_hold(const std::string &response);     // a GET, then hold
ScriptConnection script_silent(void);     // reads the GET and never answers
ScriptConnection script_close_at_once(void);
ScriptConnection script_close_after_request(void);  // reads the GET, closes unanswered
std::string http_response(const char *status_line, const std::string &headers,
                          const std::string &body);  // adds Content-Length

// The end of every request the client sends.
extern const char *const REQUEST_TAIL;

// Listens on 127.0.0.1 at a free port and serves the script on a thread.
bool script_server_start(ScriptServer *server, const std::vector<ScriptConnection> &script);
// Stops serving, closes every socket and waits for the thread.
void script_server_stop(ScriptServer *server);
// Copies of the records, taken under the lock.
std::vector<std::string> script_server_received(ScriptServer *server);
// How many receives brought the bytes of connection `index`.
int script_server_reads(ScriptServer *server, size_t index);
// Whether the client closed connection `index` before the server did.
int script_server_client_closed(ScriptServer *server, size_t index);
// Waits up to timeout_ms until `count` exchanges have been read.
bool script_server_wait_requests(ScriptServer *server, int count, int32_t timeout_ms);

#endif
