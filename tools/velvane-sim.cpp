// velvane-sim: a stand-in for the weather service on a port of this machine.
//
//   velvane-sim [--listen HOST:PORT] [--seed N] [--log FILE] [--save DIR]
//               [--pages on|off|changed|cut] [--storm]
//               [--tls-cert FILE --tls-key FILE [--tls-listen HOST:PORT]]
//               [--open-data on|busy]
//
// It serves the actual-weather page "/pogoda/LOCATION" and the printable
// forecast "/forecasts5000/LOCATION/print" of every catalogue location, with
// weather made up from the seed, the location and the date (the same for
// the same three), the open-data API's "/v1/forecast?latitude=..&longitude=.."
// for any coordinates (weather from the seed, the coordinates and the
// place's date), its place search "/v1/search?name=..&count=.." (the
// catalogue's places and a few it lacks), and 404 for every other path. It is at once a web server
// and an HTTP proxy: a request in absolute form ("GET http://HOST/PATH", as
// sent to a forward proxy) is answered for its path, whatever the host,
// CONNECT to any host on port 80 opens a tunnel whose requests it answers
// itself, without going anywhere, and with a certificate (--tls-cert,
// --tls-key: PEM files) CONNECT to port 443 does too, over TLS with that
// certificate, as api.open-meteo.com and geocoding-api.open-meteo.com would. Every response carries
// Content-Length and ends its connection, so a client that asks for
// keep-alive is not kept waiting. A request it cannot read (no HTTP, a
// head over 16 KiB, one cut short by the client's end of sending) gets 400
// and its connection is closed, and so does a request over TLS that
// carries a Proxy-Authorization header (a proxy's password that reached the
// API); the others go on being served.
//
// --listen   address to listen on (default 127.0.0.1:8080; port 0 picks a
//            free one); the address taken is printed on standard output as
//            "velvane-sim: listening on HOST:PORT".
// --seed     the weather's seed (default 1).
// --log      one line per request, appended and flushed at once:
//            "N METHOD TARGET STATUS REFERER", N counting the requests of
//            this run from 1 (or on from --save, see below), "-" for what
//            a request did not have.
// --save     a directory (made if missing) that receives every response
//            with a body (not those to HEAD, not CONNECT's 200), exactly
//            the bytes sent, as "N-STATUS-TARGET.http": N as in the log,
//            written with at least six digits (000012), so that the names
//            sort in request order; TARGET the request target without its
//            first "/", with "/" written as "+" and any byte other than
//            letters, digits, "-", "." and "_" as %HH, cut to its first
//            SAVED_TARGET_MAX bytes (a query can be longer than a file
//            name may be). Numbering goes on
//            after the highest N already there.
// --pages    how the two pages answer: "on" (the default) as the service,
//            "off" 404 as if it were gone, "changed" 200 with a redesigned
//            page without the markers the program reads, "cut" the forecast
//            page as a connection that drops after its date row (the
//            response's Content-Length promises the whole page).
// --open-data  "busy" makes the open data answer 503 with Retry-After, as
//            an API that is overloaded does; "on" (the default) serves it.
// --tls-cert, --tls-key  the server certificate (its chain may follow it in
//            the file) and key for the TLS of CONNECT to port 443.
// --tls-listen  a second address where every connection is TLS from its
//            first byte (a stand-in for the API's port 443 behind a real
//            proxy); its address is printed as "velvane-sim: tls on HOST:PORT".
// --storm    the open data's tomorrow is a thunderstorm with a wind of 17
//            m/s or more, everywhere (for the heads-up).
//
// SIGINT or SIGTERM ends it; it returns 0 then, 2 for bad options (an
// --listen that is no HOST:PORT among them) and 1 when it cannot listen.
#include <arpa/inet.h>
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "tools/sim/sim_open_data.h"
#include "tools/sim/sim_service.h"
#include "util/mem.h"

namespace {

enum {
    MAX_CONNECTIONS = 64,
    READ_TIMEOUT_MS = 30000,    // a request head must arrive within this
    WRITE_TIMEOUT_MS = 30000,   // a response must leave within this
    DRAIN_TIMEOUT_MS = 2000,    // the client closes its side within this
    POLL_MS = 200,
    SAVED_TARGET_MAX = 180      // bytes of a target in a saved page's name
};

enum ConnectionState { CONN_FREE, CONN_READING, CONN_WRITING, CONN_DRAINING };

struct Connection {
    int fd;
    int state;
    int tunnelled;          // after CONNECT: requests come through the tunnel
    int close_after;        // end the connection once the output is sent
    int tls_after;          // TLS starts once the CONNECT's answer is sent
    SSL *tls;               // the connection's TLS, or null for plain bytes
    int handshaking;        // the TLS handshake is not done yet
    char in[SIM_HEAD_MAX];
    int32_t in_length;
    char *out;
    int32_t out_length;
    int32_t out_sent;
    int64_t deadline_ms;
};

struct Options {
    const char *listen;
    uint32_t seed;
    const char *log;
    const char *save;
    int pages_mode;
    int open_data_busy;
    const char *tls_cert;
    const char *tls_key;
    const char *tls_listen;
    int storm;
};

Connection connections[MAX_CONNECTIONS];
FILE *log_file;
const char *pages_dir;
int32_t request_count;
uint32_t weather_seed;
volatile sig_atomic_t stopping;
SSL_CTX *tls_context;  // null without a certificate
int open_data_busy;    // --open-data busy

void on_signal(int)
{
    stopping = 1;
}

int64_t now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void usage(FILE *to)
{
    fputs("usage: velvane-sim [--listen HOST:PORT] [--seed N] [--log FILE] [--save DIR]"
          " [--pages on|off|changed|cut] [--tls-cert FILE --tls-key FILE [--tls-listen HOST:PORT]]"
          " [--open-data on|busy] [--storm]\n", to);
}

int parse_options(int argc, char **argv, Options *options)
{
    options->listen = "127.0.0.1:8080";
    options->seed = 1;
    options->log = NULL;
    options->save = NULL;
    options->pages_mode = SIM_PAGES_ON;
    options->open_data_busy = 0;
    options->tls_cert = options->tls_key = options->tls_listen = NULL;
    options->storm = 0;
    for (int i = 1; i < argc; i++) {
        const char *name = argv[i];
        if (strcmp(name, "--help") == 0 || strcmp(name, "-h") == 0) {
            usage(stdout);
            return -1;
        }
        if (strcmp(name, "--storm") == 0) {
            options->storm = 1;
            continue;
        }
        if (strcmp(name, "--listen") != 0 && strcmp(name, "--seed") != 0 && strcmp(name, "--log") != 0 &&
            strcmp(name, "--save") != 0 && strcmp(name, "--pages") != 0 && strcmp(name, "--open-data") != 0 &&
            strcmp(name, "--tls-cert") != 0 && strcmp(name, "--tls-key") != 0 && strcmp(name, "--tls-listen") != 0) {
            fprintf(stderr, "velvane-sim: unknown option %s\n", name);
            return 0;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "velvane-sim: %s needs a value\n", name);
            return 0;
        }
        const char *value = argv[++i];
        if (strcmp(name, "--listen") == 0)
            options->listen = value;
        else if (strcmp(name, "--log") == 0)
            options->log = value;
        else if (strcmp(name, "--save") == 0)
            options->save = value;
        else if (strcmp(name, "--open-data") == 0) {
            if (strcmp(value, "on") != 0 && strcmp(value, "busy") != 0) {
                fprintf(stderr, "velvane-sim: --open-data wants on or busy, not %s\n", value);
                return 0;
            }
            options->open_data_busy = strcmp(value, "busy") == 0;
        }
        else if (strcmp(name, "--tls-cert") == 0)
            options->tls_cert = value;
        else if (strcmp(name, "--tls-key") == 0)
            options->tls_key = value;
        else if (strcmp(name, "--tls-listen") == 0)
            options->tls_listen = value;
        else if (strcmp(name, "--pages") == 0) {
            if (strcmp(value, "on") == 0)
                options->pages_mode = SIM_PAGES_ON;
            else if (strcmp(value, "off") == 0)
                options->pages_mode = SIM_PAGES_OFF;
            else if (strcmp(value, "changed") == 0)
                options->pages_mode = SIM_PAGES_CHANGED;
            else if (strcmp(value, "cut") == 0)
                options->pages_mode = SIM_PAGES_CUT;
            else {
                fprintf(stderr, "velvane-sim: --pages wants on, off, changed or cut, not %s\n", value);
                return 0;
            }
        }
        else {
            char *end;
            errno = 0;
            unsigned long seed = strtoul(value, &end, 10);
            if (*value == 0 || *end != 0 || *value == '-' || errno != 0 || seed > 0xFFFFFFFFul) {
                fprintf(stderr, "velvane-sim: --seed wants a number from 0 to 4294967295, not %s\n", value);
                return 0;
            }
            options->seed = (uint32_t)seed;
        }
    }
    if ((options->tls_cert == NULL) != (options->tls_key == NULL) ||
        (options->tls_listen != NULL && options->tls_cert == NULL)) {
        fprintf(stderr, "velvane-sim: --tls-cert and --tls-key go together, and --tls-listen needs them\n");
        return 0;
    }
    return 1;
}

enum { LISTEN_BAD_ADDRESS = -2, LISTEN_FAILED = -1 };

// A listening socket on HOST:PORT; LISTEN_BAD_ADDRESS when the text is no
// HOST:PORT (a bad option), LISTEN_FAILED when it cannot listen there.
int open_listener(const char *address, char *taken, size_t taken_size)
{
    const char *colon = strrchr(address, ':');
    char host[256];
    size_t n = colon != NULL ? (size_t)(colon - address) : 0;
    int port_ok = colon != NULL && colon[1] != 0 && strlen(colon + 1) <= 5;
    for (const char *p = colon != NULL ? colon + 1 : ""; port_ok && *p != 0; p++)
        port_ok = *p >= '0' && *p <= '9';
    if (!port_ok || atoi(colon + 1) > 65535 || n == 0 || n >= sizeof host) {
        fprintf(stderr, "velvane-sim: --listen wants HOST:PORT, not %s\n", address);
        return LISTEN_BAD_ADDRESS;
    }
    memcpy(host, address, n);
    host[n] = 0;
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    struct addrinfo *found = NULL;
    if (getaddrinfo(host, colon + 1, &hints, &found) != 0 || found == NULL) {
        fprintf(stderr, "velvane-sim: cannot resolve %s\n", address);
        return LISTEN_FAILED;
    }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 32) != 0) {
        fprintf(stderr, "velvane-sim: cannot listen on %s: %s\n", address, strerror(errno));
        if (fd >= 0)
            close(fd);
        freeaddrinfo(found);
        return LISTEN_FAILED;
    }
    freeaddrinfo(found);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    struct sockaddr_in bound;
    socklen_t bound_length = sizeof bound;
    getsockname(fd, (struct sockaddr *)&bound, &bound_length);
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &bound.sin_addr, text, sizeof text);
    snprintf(taken, taken_size, "%s:%d", text, (int)ntohs(bound.sin_port));
    return fd;
}

// Writes text with every byte outside printable ASCII (the blank included)
// as \xHH, so that a log line always has its fields apart.
void put_escaped(FILE *to, const char *text)
{
    if (text == NULL || *text == 0) {
        fputc('-', to);
        return;
    }
    for (const unsigned char *p = (const unsigned char *)text; *p != 0; p++) {
        if (*p <= 0x20 || *p >= 0x7F || *p == '\\')
            fprintf(to, "\\x%02X", *p);
        else
            fputc(*p, to);
    }
}

void log_request(int32_t number, const char *method, const char *target, int status, const char *referer)
{
    if (log_file == NULL)
        return;
    fprintf(log_file, "%d ", (int)number);
    put_escaped(log_file, method);
    fputc(' ', log_file);
    put_escaped(log_file, target);
    fprintf(log_file, " %d ", status);
    put_escaped(log_file, referer);
    fputc('\n', log_file);
    fflush(log_file);
}

// The highest request number among the saved pages, so that a second run
// into the same directory does not overwrite the first one's pages.
int32_t highest_saved(const char *dir)
{
    int32_t highest = 0;
    DIR *d = opendir(dir);
    if (d == NULL)
        return 0;
    struct dirent *entry;
    while ((entry = readdir(d)) != NULL) {
        char *end;
        long n = strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '-' && n > highest && n < 0x7FFFFFFF)
            highest = (int32_t)n;
    }
    closedir(d);
    return highest;
}

// Whether a response has a body: bytes after the end of its head.
int has_body(const char *bytes, int32_t length)
{
    for (int32_t i = 0; i + 4 <= length; i++) {
        if (memcmp(bytes + i, "\r\n\r\n", 4) == 0)
            return i + 4 < length;
    }
    return 0;
}

// Saves a response that has a body as DIR/N-STATUS-TARGET.http (see the
// head of this file); a response without one (HEAD, CONNECT's 200) is not
// saved.
void save_page(int32_t number, int status, const char *target, const char *bytes, int32_t length)
{
    if (pages_dir == NULL || bytes == NULL || !has_body(bytes, length))
        return;
    std::string name = pages_dir;
    char start[32];
    snprintf(start, sizeof start, "/%06d-%d-", (int)number, status);
    name += start;
    size_t start_length = name.size();
    const unsigned char *p = (const unsigned char *)target;
    if (*p == '/')
        p++;
    for (; *p != 0; p++) {
        if (*p == '/')
            name += '+';
        else if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') || *p == '-' ||
                 *p == '.' || *p == '_')
            name += (char)*p;
        else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", *p);
            name += hex;
        }
    }
    if (name.size() > start_length + SAVED_TARGET_MAX)
        name.resize(start_length + SAVED_TARGET_MAX);
    name += ".http";
    FILE *file = fopen(name.c_str(), "wb");
    if (file == NULL) {
        fprintf(stderr, "velvane-sim: cannot write %s: %s\n", name.c_str(), strerror(errno));
        return;
    }
    int ok = fwrite(bytes, 1, (size_t)length, file) == (size_t)length;
    if (fclose(file) != 0 || !ok)
        fprintf(stderr, "velvane-sim: cannot write %s\n", name.c_str());
}

void end_connection(Connection *c)
{
    if (c->tls != NULL)
        SSL_free(c->tls);
    c->tls = NULL;
    if (c->fd >= 0)
        close(c->fd);
    mem_free(c->out);
    c->fd = -1;
    c->out = NULL;
    c->state = CONN_FREE;
}

void start_output(Connection *c, char *bytes, int32_t length, int close_after)
{
    mem_free(c->out);
    c->out = bytes;
    c->out_length = bytes != NULL ? length : 0;
    c->out_sent = 0;
    c->close_after = close_after || bytes == NULL;
    c->state = CONN_WRITING;
    c->deadline_ms = now_ms() + WRITE_TIMEOUT_MS;
}

// A request that cannot be read: 400, then the connection ends.
void answer_bad(Connection *c)
{
    int32_t number = ++request_count;
    int32_t length = 0;
    char *bytes = sim_bad_request(&length);
    log_request(number, NULL, NULL, 400, NULL);
    save_page(number, 400, "", bytes, length);
    c->in_length = 0;
    start_output(c, bytes, length, 1);
}

// Whether the bytes read so far hold anything but line breaks.
int has_request_bytes(const Connection *c)
{
    for (int32_t i = 0; i < c->in_length; i++) {
        if (c->in[i] != '\r' && c->in[i] != '\n')
            return 1;
    }
    return 0;
}

// Wine's WinHTTP names the whole URL on the request line inside a tunnel
// ("GET https://host:443/path"), which a server must accept: the path alone.
void origin_form(char *target)
{
    if (strncmp(target, "https://", 8) != 0)
        return;
    char *path = strchr(target + 8, '/');
    if (path == NULL) {
        strcpy(target, "/");
        return;
    }
    memmove(target, path, strlen(path) + 1);
}

// Whether a request head has a Proxy-Authorization header.
int carries_proxy_credentials(const char *head, int32_t length)
{
    static const char NAME[] = "\nproxy-authorization:";
    const int32_t name_length = (int32_t)sizeof NAME - 1;
    for (int32_t i = 0; i + name_length <= length; i++) {
        int32_t k = 0;
        while (k < name_length && tolower((unsigned char)head[i + k]) == NAME[k])
            k++;
        if (k == name_length)
            return 1;
    }
    return 0;
}

// Every byte of the head has been read: answer it.
void answer(Connection *c)
{
    SimRequest request;
    int parsed = sim_parse_request(c->in, c->in_length, &request);
    if (parsed == SIM_PARSE_INCOMPLETE)
        return;
    if (parsed == SIM_PARSE_BAD) {
        answer_bad(c);
        return;
    }
    int32_t number = ++request_count;
    int32_t length = 0;
    if (strcmp(request.method, "CONNECT") == 0) {
        // A tunnel inside a tunnel is no request of ours.
        int status = c->tunnelled ? 400 : sim_connect_status(request.target);
        // Port 443, with a certificate: a TLS server stands at the tunnel's end.
        size_t target_length = strlen(request.target);
        if (status == 403 && tls_context != NULL && target_length > 4 &&
            strcmp(request.target + target_length - 4, ":443") == 0) {
            status = 200;
            c->tls_after = 1;
        }
        char *bytes = sim_connect_answer(status, &length);
        log_request(number, request.method, request.target, status, request.has_referer ? request.referer : NULL);
        if (status != 200)
            save_page(number, status, request.target, bytes, length);
        // What came after the CONNECT head is the tunnel's first bytes.
        memmove(c->in, c->in + request.head_length, (size_t)(c->in_length - request.head_length));
        c->in_length -= request.head_length;
        c->tunnelled = status == 200;
        start_output(c, bytes, length, status != 200);
        return;
    }
    if (c->tls != NULL) {
        origin_form(request.target);
        // A proxy's credentials have no business at the API: a client that
        // lets them through the tunnel is refused, so that tests see it.
        if (carries_proxy_credentials(c->in, request.head_length)) {
            answer_bad(c);
            return;
        }
    }
    int status = 0;
    char *bytes;
    if (open_data_busy && strstr(request.target, "/v1/forecast") != NULL) {
        static const char BUSY[] = "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1800\r\nContent-Length: 0\r\n"
                                   "Connection: close\r\n\r\n";
        status = 503;
        length = (int32_t)(sizeof BUSY - 1);
        bytes = dup_string(BUSY);
    } else {
        bytes = sim_respond(&request, weather_seed, sim_today(), &status, &length);
    }
    log_request(number, request.method, request.target, status, request.has_referer ? request.referer : NULL);
    save_page(number, status, request.target, bytes, length);
    start_output(c, bytes, length, 1);
}

// Starts the connection's TLS as the server (the handshake goes on in
// on_readable). 0 when it cannot.
int start_tls(Connection *c)
{
    c->tls = SSL_new(tls_context);
    if (c->tls == NULL || SSL_set_fd(c->tls, c->fd) != 1)
        return 0;
    SSL_set_accept_state(c->tls);
    c->handshaking = 1;
    return 1;
}

// recv and send, through the connection's TLS when it has one: -1 with
// errno EAGAIN while TLS waits for more bytes.
ssize_t conn_recv(Connection *c, char *into, size_t room)
{
    if (c->tls == NULL)
        return recv(c->fd, into, room, 0);
    int n = SSL_read(c->tls, into, (int)room);
    if (n > 0)
        return n;
    int error = SSL_get_error(c->tls, n);
    if (error == SSL_ERROR_ZERO_RETURN)
        return 0;
    errno = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? EAGAIN : ECONNRESET;
    return -1;
}

ssize_t conn_send(Connection *c, const char *bytes, size_t length)
{
    if (c->tls == NULL)
        return send(c->fd, bytes, length, MSG_NOSIGNAL);
    int n = SSL_write(c->tls, bytes, (int)length);
    if (n > 0)
        return n;
    int error = SSL_get_error(c->tls, n);
    errno = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? EAGAIN : ECONNRESET;
    return -1;
}

void on_readable(Connection *c)
{
    if (c->state == CONN_DRAINING) {
        char sink[4096];
        ssize_t n = recv(c->fd, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            end_connection(c);
        return;
    }
    if (c->state != CONN_READING)
        return;
    if (c->tls != NULL && c->handshaking) {
        int done = SSL_do_handshake(c->tls);
        if (done != 1) {
            int error = SSL_get_error(c->tls, done);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                end_connection(c);  // the client refused our certificate, or spoke no TLS
            return;
        }
        c->handshaking = 0;
    }
    size_t room = sizeof c->in - (size_t)c->in_length;
    ssize_t n = room > 0 ? conn_recv(c, c->in + c->in_length, room) : 0;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n == 0 && room > 0 && has_request_bytes(c)) {
        // The client ended its sending before its request was whole: that
        // request cannot be read. (It may still read our answer.)
        answer_bad(c);
        return;
    }
    if (n <= 0 && room > 0) {
        // The client went away.
        end_connection(c);
        return;
    }
    c->in_length += (int32_t)n;
    answer(c);
}

void on_writable(Connection *c)
{
    while (c->out_sent < c->out_length) {
        ssize_t n = conn_send(c, c->out + c->out_sent, (size_t)(c->out_length - c->out_sent));
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n <= 0) {
            end_connection(c);
            return;
        }
        c->out_sent += (int32_t)n;
    }
    mem_free(c->out);
    c->out = NULL;
    if (c->close_after) {
        // Our side is done; closing with unread bytes from the client would
        // reset the connection and could cost the client the response, so
        // wait (briefly) for the client to close its side.
        if (c->tls != NULL)
            SSL_shutdown(c->tls);
        shutdown(c->fd, SHUT_WR);
        c->state = CONN_DRAINING;
        c->deadline_ms = now_ms() + DRAIN_TIMEOUT_MS;
        return;
    }
    c->state = CONN_READING;
    c->deadline_ms = now_ms() + READ_TIMEOUT_MS;
    if (c->tls_after) {
        // The client's first TLS bytes may be here already, read with the
        // CONNECT's head: nothing of a TLS client comes that early, so drop them.
        c->tls_after = 0;
        c->in_length = 0;
        if (!start_tls(c))
            end_connection(c);
        return;
    }
    // The tunnel's request may already be here.
    if (c->in_length > 0)
        answer(c);
}

Connection *free_slot(void)
{
    for (Connection &c : connections) {
        if (c.state == CONN_FREE)
            return &c;
    }
    return NULL;
}

void accept_all(int listener, int tls)
{
    for (;;) {
        Connection *c = free_slot();
        if (c == NULL)
            return;
        int fd = accept(listener, NULL, NULL);
        if (fd < 0)
            return;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        memset(c, 0, sizeof *c);
        c->fd = fd;
        c->state = CONN_READING;
        c->deadline_ms = now_ms() + READ_TIMEOUT_MS;
        if (tls && !start_tls(c))
            end_connection(c);
    }
}

int serve(int listener, int tls_listener)
{
    struct pollfd fds[MAX_CONNECTIONS + 2];
    Connection *owners[MAX_CONNECTIONS + 2];
    while (!stopping) {
        int count = 0;
        int listening = 0;
        if (free_slot() != NULL) {
            fds[count].fd = listener;
            fds[count].events = POLLIN;
            owners[count++] = NULL;
            if (tls_listener >= 0) {
                fds[count].fd = tls_listener;
                fds[count].events = POLLIN;
                owners[count++] = NULL;
            }
            listening = count;
        }
        for (Connection &c : connections) {
            if (c.state == CONN_FREE)
                continue;
            fds[count].fd = c.fd;
            fds[count].events = c.state == CONN_WRITING ? POLLOUT : POLLIN;
            owners[count++] = &c;
        }
        int ready = poll(fds, (nfds_t)count, POLL_MS);
        if (ready < 0 && errno != EINTR) {
            fprintf(stderr, "velvane-sim: poll: %s\n", strerror(errno));
            return 1;
        }
        for (int i = 0; ready > 0 && i < count; i++) {
            if (fds[i].revents == 0)
                continue;
            Connection *c = owners[i];
            if (c == NULL) {
                accept_all(fds[i].fd, i > 0 && i < listening);
                continue;
            }
            if (c->state == CONN_WRITING && (fds[i].revents & (POLLOUT | POLLERR | POLLHUP)))
                on_writable(c);
            else if (fds[i].revents & (POLLIN | POLLERR | POLLHUP))
                on_readable(c);
        }
        int64_t now = now_ms();
        for (Connection &c : connections) {
            if (c.state != CONN_FREE && now >= c.deadline_ms)
                end_connection(&c);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    int parsed = parse_options(argc, argv, &options);
    if (parsed < 0)
        return 0;
    if (parsed == 0) {
        usage(stderr);
        return 2;
    }
    sim_set_pages_mode(options.pages_mode);
    open_data_busy = options.open_data_busy;
    sim_open_data_set_storm(options.storm);
    if (options.save != NULL) {
        if (mkdir(options.save, 0777) != 0 && errno != EEXIST) {
            fprintf(stderr, "velvane-sim: cannot make %s: %s\n", options.save, strerror(errno));
            return 2;
        }
        pages_dir = options.save;
        request_count = highest_saved(pages_dir);
    }
    if (options.log != NULL) {
        log_file = fopen(options.log, "a");
        if (log_file == NULL) {
            fprintf(stderr, "velvane-sim: cannot open %s: %s\n", options.log, strerror(errno));
            return 2;
        }
    }
    char taken[128], tls_taken[128];
    int listener = open_listener(options.listen, taken, sizeof taken);
    int tls_listener = -1;
    if (listener >= 0 && options.tls_listen != NULL) {
        tls_listener = open_listener(options.tls_listen, tls_taken, sizeof tls_taken);
        if (tls_listener < 0) {
            close(listener);
            listener = tls_listener;
        }
    }
    if (listener == LISTEN_BAD_ADDRESS) {
        usage(stderr);
        return 2;
    }
    if (listener < 0)
        return 1;
    if (options.tls_cert != NULL) {
        tls_context = SSL_CTX_new(TLS_server_method());
        if (tls_context == NULL || SSL_CTX_use_certificate_chain_file(tls_context, options.tls_cert) != 1 ||
            SSL_CTX_use_PrivateKey_file(tls_context, options.tls_key, SSL_FILETYPE_PEM) != 1) {
            fprintf(stderr, "velvane-sim: cannot use %s and %s for TLS\n", options.tls_cert, options.tls_key);
            ERR_print_errors_fp(stderr);
            return 2;
        }
        SSL_CTX_set_mode(tls_context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    }

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_signal;
    sigaction(SIGINT, &action, NULL);
    sigaction(SIGTERM, &action, NULL);
    signal(SIGPIPE, SIG_IGN);
    for (Connection &c : connections) {
        c.fd = -1;
        c.state = CONN_FREE;
    }

    printf("velvane-sim: listening on %s\n", taken);
    if (tls_listener >= 0)
        printf("velvane-sim: tls on %s\n", tls_taken);
    fflush(stdout);
    weather_seed = options.seed;
    int result = serve(listener, tls_listener);
    for (Connection &c : connections) {
        if (c.state != CONN_FREE)
            end_connection(&c);
    }
    close(listener);
    if (tls_listener >= 0)
        close(tls_listener);
    if (tls_context != NULL)
        SSL_CTX_free(tls_context);
    if (log_file != NULL)
        fclose(log_file);
    return result;
}
