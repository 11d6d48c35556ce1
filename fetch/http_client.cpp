// The HTTP client over the socket seam. The request text stays as it always
// was ("Connection: keep-alive" included), but the response ends as soon as
// it is complete: at Content-Length, at the last chunk of a chunked body
// (decoded in place), or when the server closes; then the connection is
// closed at once. Every wait is bounded by a time-out, every response and
// chain of redirects by a bound of its own. Through a proxy the request goes
// in absolute form, never through a tunnel.
#include "fetch/http_client.h"

#include <atomic>
#include <stdio.h>
#include <string.h>

#include "fetch/fetch_failure.h"
#include "fetch/net_socket.h"
#include "fetch/proxy_route.h"
#include "settings/settings_vars.h"
#include "util/format.h"
#include "util/mem.h"

// Set by http_cancel, cleared only by http_cancel_reset: a cancel that
// lands just before a request starts still ends that request.
static std::atomic<int32_t> cancelled(0);

static std::atomic<int32_t> connect_timeout_ms(HTTP_CONNECT_TIMEOUT_MS);
static std::atomic<int32_t> receive_timeout_ms(HTTP_RECEIVE_TIMEOUT_MS);
static std::atomic<int32_t> exchange_timeout_ms(HTTP_EXCHANGE_TIMEOUT_MS);

static void *realloc_default(void *block, uint32_t size)
{
    return mem_realloc(block, size);
}

static std::atomic<HttpReallocator> reallocate(realloc_default);

// The buffer never grows past this: the bound plus one chunk of room.
static const int32_t MAX_CAPACITY = HTTP_MAX_RESPONSE + HTTP_RECEIVE_CHUNK;

void http_set_time_outs(int32_t connect_ms, int32_t receive_ms, int32_t exchange_ms)
{
    connect_timeout_ms.store(connect_ms > 0 ? connect_ms : (int32_t)HTTP_CONNECT_TIMEOUT_MS);
    receive_timeout_ms.store(receive_ms > 0 ? receive_ms : (int32_t)HTTP_RECEIVE_TIMEOUT_MS);
    exchange_timeout_ms.store(exchange_ms > 0 ? exchange_ms : (int32_t)HTTP_EXCHANGE_TIMEOUT_MS);
}

void http_set_reallocator(HttpReallocator reallocator)
{
    reallocate.store(reallocator != NULL ? reallocator : realloc_default);
}

int32_t net_startup(void)
{
    return net_startup_library();
}

void http_cancel(void)
{
    // The worker owns its socket from open to close; it sees the mark at its
    // next checkpoint or within its current wait, which the wake-up ends.
    cancelled.store(1);
    net_wake_waiters();
}

static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static char lower_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// The decimal number at text[from..length): leading blanks, an optional
// sign, digits up to the first non-digit. Saturates far above any status.
static int32_t decimal_at(const char *text, int32_t from, int32_t length)
{
    int32_t i = from;
    while (i < length && is_blank(text[i]))
        i++;
    int32_t sign = 1;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            sign = -1;
        i++;
    }
    int32_t value = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        if (value < 100000)
            value = value * 10 + (text[i] - '0');
        i++;
    }
    return sign * value;
}

int32_t parse_status_code(const char *response, int32_t length)
{
    if (response == NULL || length < 12)
        return -1;
    int32_t code = decimal_at(response, 9, length);
    return (code >= 100 && code <= 999) ? code : -1;
}

const char *http_body_of_200(const char *bytes, int32_t length, int32_t *body_length)
{
    const char *body = NULL;
    if (length < 5 || memcmp(bytes, "HTTP/", 5) != 0) {
        body = bytes;
        *body_length = length;
    } else if (parse_status_code(bytes, length) == 200) {
        for (int32_t i = 0; i + 1 < length && body == NULL; i++) {
            if (bytes[i] != '\n')
                continue;
            int32_t next = i + 1;
            if (next < length && bytes[next] == '\r')
                next++;
            if (next < length && bytes[next] == '\n') {
                *body_length = length - next - 1;
                body = bytes + next + 1;
            }
        }
    }
    if (body != NULL && *body_length >= 3 && memcmp(body, "\xEF\xBB\xBF", 3) == 0) {
        body += 3;
        *body_length -= 3;
    }
    return body;
}

char *find_header_value(const char *name, char *response, int32_t length)
{
    if (name == NULL || response == NULL)
        return NULL;
    int32_t n = (int32_t)strlen(name);
    int32_t limit = length - n - 1;
    for (int32_t i = 0; i < limit; i++) {
        int32_t k = 0;
        while (k < n && lower_ascii(response[i + k]) == lower_ascii(name[k]))
            k++;
        if (k < n)
            continue;
        int32_t start = i + n;
        while (start < limit && (response[start] == '/' || response[start] == '\t' ||
                                 response[start] == ' ' || response[start] == ':' ||
                                 response[start] == '='))
            start++;
        for (int32_t end = start; end < limit; end++) {
            if (response[end] == '\r' || response[end] == '\n') {
                response[end] = '\0';
                return dup_string(response + start);
            }
        }
        return NULL;
    }
    return NULL;
}

// ---- The response's framing -------------------------------------------

enum BodyKind {
    BODY_UNKNOWN,      // the header block has not ended yet
    BODY_UNTIL_CLOSE,  // neither a length nor chunks: the server's close ends it
    BODY_LENGTH,       // Content-Length
    BODY_CHUNKED,      // chunked transfer coding, decoded in place
    BODY_NONE          // a status that carries no body
};

enum ChunkPhase { CHUNK_SIZE_LINE, CHUNK_DATA, CHUNK_DATA_END, CHUNK_TRAILER, CHUNK_DONE };

enum DecodeResult { DECODE_MORE, DECODE_COMPLETE, DECODE_MALFORMED };

struct ResponseFrame {
    BodyKind kind;
    int32_t header_end;  // offset just past the empty line
    int32_t body_end;    // BODY_LENGTH: offset of the body's end
    int32_t scanned;     // how far the search for the empty line has come
    ChunkPhase phase;
    uint32_t chunk_left;
};

// Offset of the line feed in text[from..to), or -1.
static int32_t find_line_feed(const char *text, int32_t from, int32_t to)
{
    const void *hit = (from < to) ? memchr(text + from, '\n', (size_t)(to - from)) : NULL;
    return hit != NULL ? (int32_t)((const char *)hit - text) : -1;
}

// Does the header line text[from..to) carry the header name? If so, the
// offset of its value (blanks after the colon skipped), else -1.
static int32_t header_value_at(const char *text, int32_t from, int32_t to, const char *name)
{
    int32_t n = (int32_t)strlen(name);
    if (to - from <= n || text[from + n] != ':')
        return -1;
    for (int32_t k = 0; k < n; k++)
        if (lower_ascii(text[from + k]) != lower_ascii(name[k]))
            return -1;
    int32_t value = from + n + 1;
    while (value < to && (text[value] == ' ' || text[value] == '\t'))
        value++;
    return value;
}

static int contains_word(const char *text, int32_t from, int32_t to, const char *word)
{
    int32_t n = (int32_t)strlen(word);
    for (int32_t i = from; i + n <= to; i++) {
        int32_t k = 0;
        while (k < n && lower_ascii(text[i + k]) == lower_ascii(word[k]))
            k++;
        if (k == n)
            return 1;
    }
    return 0;
}

// Reads the header block text[0..header_end) and decides how the body ends.
static void judge_header_block(const char *text, ResponseFrame *frame)
{
    int32_t end = frame->header_end;
    int32_t status = parse_status_code(text, end);
    int chunked = 0;
    int32_t content_length = -1;
    int32_t line = find_line_feed(text, 0, end) + 1;  // past the status line
    while (line > 0 && line < end) {
        int32_t feed = find_line_feed(text, line, end);
        int32_t line_end = feed < 0 ? end : feed;
        int32_t value = header_value_at(text, line, line_end, "transfer-encoding");
        if (value >= 0 && contains_word(text, value, line_end, "chunked"))
            chunked = 1;
        value = header_value_at(text, line, line_end, "content-length");
        if (value >= 0 && content_length < 0 && value < line_end && text[value] >= '0' &&
            text[value] <= '9') {
            int64_t number = 0;
            while (value < line_end && text[value] >= '0' && text[value] <= '9') {
                if (number <= HTTP_MAX_RESPONSE)
                    number = number * 10 + (text[value] - '0');
                value++;
            }
            content_length = number > HTTP_MAX_RESPONSE ? HTTP_MAX_RESPONSE + 1 : (int32_t)number;
        }
        line = feed < 0 ? end : feed + 1;
    }
    if (status == 204 || status == 304) {
        frame->kind = BODY_NONE;
    } else if (chunked) {
        frame->kind = BODY_CHUNKED;
        frame->phase = CHUNK_SIZE_LINE;
        frame->chunk_left = 0;
    } else if (content_length >= 0) {
        frame->kind = BODY_LENGTH;
        frame->body_end = end + content_length;
    } else {
        frame->kind = BODY_UNTIL_CLOSE;
    }
}

// Looks for the empty line that ends the header block in text[0..length).
static void scan_header_block(const char *text, int32_t length, ResponseFrame *frame)
{
    int32_t i = frame->scanned;
    while (i < length) {
        int32_t feed = find_line_feed(text, i, length);
        if (feed < 0)
            break;
        // An empty line: "\n\n" or "\n\r\n".
        if ((feed >= 1 && text[feed - 1] == '\n') ||
            (feed >= 2 && text[feed - 1] == '\r' && text[feed - 2] == '\n')) {
            frame->header_end = feed + 1;
            judge_header_block(text, frame);
            return;
        }
        i = feed + 1;
    }
    // Resume where a line could still end: at the last line feed seen.
    frame->scanned = length > 2 ? length - 2 : 0;
}

static int is_hex(char c, uint32_t *digit)
{
    if (c >= '0' && c <= '9')
        *digit = (uint32_t)(c - '0');
    else if (c >= 'a' && c <= 'f')
        *digit = (uint32_t)(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        *digit = (uint32_t)(c - 'A' + 10);
    else
        return 0;
    return 1;
}

// Decodes text[*in..end) in place: chunk data moves down to *out, size lines,
// the CR LF after each chunk and the trailer are dropped.
static DecodeResult decode_chunks(char *text, int32_t *in, int32_t end, int32_t *out,
                                  ResponseFrame *frame)
{
    for (;;) {
        switch (frame->phase) {
        case CHUNK_SIZE_LINE:
        case CHUNK_TRAILER: {
            int32_t feed = find_line_feed(text, *in, end);
            if (feed < 0)
                return (end - *in > HTTP_MAX_CHUNK_LINE) ? DECODE_MALFORMED : DECODE_MORE;
            if (feed - *in > HTTP_MAX_CHUNK_LINE)
                return DECODE_MALFORMED;
            int32_t i = *in;
            *in = feed + 1;
            if (frame->phase == CHUNK_TRAILER) {
                if (feed == i || (feed == i + 1 && text[i] == '\r')) {
                    frame->phase = CHUNK_DONE;
                    return DECODE_COMPLETE;
                }
                continue;  // a trailer header, dropped
            }
            uint32_t size = 0, digit = 0;
            int32_t digits = 0;
            while (i < feed && is_hex(text[i], &digit)) {
                if (size > (uint32_t)HTTP_MAX_RESPONSE)
                    return DECODE_MALFORMED;
                size = size * 16 + digit;
                digits++;
                i++;
            }
            while (i < feed && (text[i] == ' ' || text[i] == '\t'))
                i++;
            if (digits == 0 || (i < feed && text[i] != ';' && text[i] != '\r') ||
                (i < feed && text[i] == '\r' && i + 1 != feed))
                return DECODE_MALFORMED;
            if (size > (uint32_t)HTTP_MAX_RESPONSE)
                return DECODE_MALFORMED;
            frame->chunk_left = size;
            frame->phase = size == 0 ? CHUNK_TRAILER : CHUNK_DATA;
            break;
        }
        case CHUNK_DATA: {
            int32_t available = end - *in;
            int32_t n = (uint32_t)available < frame->chunk_left ? available
                                                                : (int32_t)frame->chunk_left;
            if (n > 0 && *out != *in)
                memmove(text + *out, text + *in, (size_t)n);
            *out += n;
            *in += n;
            frame->chunk_left -= (uint32_t)n;
            if (frame->chunk_left > 0)
                return DECODE_MORE;
            frame->phase = CHUNK_DATA_END;
            break;
        }
        case CHUNK_DATA_END:
            if (*in >= end)
                return DECODE_MORE;
            if (text[*in] == '\n') {
                *in += 1;
            } else if (text[*in] == '\r') {
                if (*in + 1 >= end)
                    return DECODE_MORE;
                if (text[*in + 1] != '\n')
                    return DECODE_MALFORMED;
                *in += 2;
            } else {
                return DECODE_MALFORMED;
            }
            frame->phase = CHUNK_SIZE_LINE;
            break;
        case CHUNK_DONE:
            return DECODE_COMPLETE;
        }
    }
}

// ---- Receiving ----------------------------------------------------------

enum ReceiveOutcome {
    RECEIVE_ENDED,       // complete, closed, timed out, cancelled or failed: judge the bytes
    RECEIVE_OVER_BOUND,  // larger than the bound, or a broken chunked body
    RECEIVE_NO_ROOM,     // the buffer could not be grown
    RECEIVE_CUT_SHORT    // the body ended before its Content-Length or its last chunk
};

static int32_t wait_budget(int64_t deadline)
{
    int64_t left = deadline - net_now_ms();
    int32_t idle = receive_timeout_ms.load();
    if (left < 0)
        left = 0;
    return left < idle ? (int32_t)left : idle;
}

// Receives the response into the caller's buffer, growing it by doubling
// and shrinking it to the length at the end.
static ReceiveOutcome receive_response(NetSocket socket, char **buffer, int32_t *size,
                                       int64_t deadline)
{
    HttpReallocator grow = reallocate.load();
    if (*buffer == NULL || *size <= 0) {
        // What an empty earlier response leaves behind: start afresh.
        char *fresh = (char *)grow(*buffer, HTTP_START_CAPACITY);
        if (fresh == NULL)
            return RECEIVE_NO_ROOM;
        *buffer = fresh;
        *size = HTTP_START_CAPACITY;
    }
    int32_t capacity = *size;
    int32_t end = 0;   // bytes in the buffer
    int32_t wire = 0;  // bytes off the wire
    int32_t in = 0;    // chunked: first raw byte not yet decoded
    int32_t out = 0;   // chunked: end of the decoded body
    ResponseFrame frame;
    memset(&frame, 0, sizeof frame);
    frame.kind = BODY_UNKNOWN;
    ReceiveOutcome outcome = RECEIVE_ENDED;
    int complete = 0;

    while (!complete) {
        int grow_failed = 0;
        while (end + HTTP_RECEIVE_CHUNK >= capacity && capacity < MAX_CAPACITY) {
            int32_t wanted = capacity > MAX_CAPACITY / 2 ? MAX_CAPACITY : capacity * 2;
            char *grown = (char *)grow(*buffer, (uint32_t)wanted);
            if (grown == NULL) {
                grow_failed = 1;  // the old block stays, with its old capacity
                break;
            }
            *buffer = grown;
            capacity = wanted;
            *size = capacity;
        }
        if (grow_failed) {
            outcome = RECEIVE_NO_ROOM;
            break;
        }
        // At most one chunk, and never past the capacity.
        int32_t room = capacity - end;
        if (room > HTTP_RECEIVE_CHUNK)
            room = HTTP_RECEIVE_CHUNK;
        int32_t n = net_receive(socket, *buffer + end, room, wait_budget(deadline), &cancelled);
        if (n <= 0)
            break;  // closed, failed, timed out or cancelled
        end += n;
        wire += n;
        if (wire > HTTP_MAX_RESPONSE) {
            outcome = RECEIVE_OVER_BOUND;
            break;
        }
        if (frame.kind == BODY_UNKNOWN) {
            scan_header_block(*buffer, end, &frame);
            if (frame.kind == BODY_CHUNKED) {
                in = frame.header_end;
                out = frame.header_end;
            }
        }
        switch (frame.kind) {
        case BODY_NONE:
            end = frame.header_end;
            complete = 1;
            break;
        case BODY_LENGTH:
            if (frame.body_end > HTTP_MAX_RESPONSE) {
                outcome = RECEIVE_OVER_BOUND;
                complete = 1;
            } else if (end >= frame.body_end) {
                end = frame.body_end;
                complete = 1;
            }
            break;
        case BODY_CHUNKED: {
            DecodeResult result = decode_chunks(*buffer, &in, end, &out, &frame);
            // Keep the undecoded rest (part of a size line at most) right
            // after the decoded body.
            int32_t rest = end - in;
            if (rest > 0 && in != out)
                memmove(*buffer + out, *buffer + in, (size_t)rest);
            end = out + rest;
            in = out;
            if (result == DECODE_COMPLETE) {
                end = out;
                complete = 1;
            } else if (result == DECODE_MALFORMED) {
                end = out;
                outcome = RECEIVE_OVER_BOUND;
                complete = 1;
            }
            break;
        }
        default:
            break;
        }
    }
    if (frame.kind == BODY_CHUNKED)
        end = out;  // a size line cut short is not body
    // A body that stops before its announced end is part of a page: a
    // failed transfer, never a success.
    if (!complete && outcome == RECEIVE_ENDED && (frame.kind == BODY_LENGTH || frame.kind == BODY_CHUNKED))
        outcome = RECEIVE_CUT_SHORT;

    // Shrink to the length; a count of 0 releases the buffer.
    char *exact = (char *)grow(*buffer, (uint32_t)end);
    if (exact != NULL || end == 0)
        *buffer = exact;
    *size = end;
    return outcome;
}

// ---- The request --------------------------------------------------------

// The request head leaves in one send: sent in pieces, the second piece
// waits (Nagle) for the acknowledgement of the first, which the far end
// delays, some 40 ms per request through a proxy.
static const char REQUEST_LINE_ORIGIN[] = "GET /%s HTTP/1.1\r\n";
// To a proxy the request line names the whole URL (absolute form): every
// forward proxy serves that, where many refuse a tunnel to port 80.
static const char REQUEST_LINE_ABSOLUTE[] = "GET http://%s%s/%s HTTP/1.1\r\n";
static const char REQUEST_HEADERS[] =
    "Host: %s\r\n"
    "User-Agent: %s\r\n"
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg,*/*\r\n"
    "Accept-Language: ru,en;q=0.5\r\n"
    "Accept-Charset: windows-1251,utf-8;q=0.7,*;q=0.7\r\n"
    "Connection: keep-alive\r\n";
static const char REQUEST_PROXY_SIGN_IN[] = "Proxy-Authorization: Basic %s\r\n";
static const char REQUEST_REFERER[] = "Referer: http://%s/%s\r\n";
static const char REQUEST_END[] = "\r\n\r\n";

static void free_wiped(char *text)
{
    if (text != NULL)
        wipe_secret(text, strlen(text));
    mem_free(text);
}

static const char BASE64_DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// base64 of length bytes into out, which has room for 4 * ((length + 2) / 3) + 1.
static void base64_encode(const unsigned char *bytes, size_t length, char *out)
{
    size_t o = 0;
    for (size_t i = 0; i < length; i += 3) {
        uint32_t b = (uint32_t)bytes[i] << 16;
        if (i + 1 < length)
            b |= (uint32_t)bytes[i + 1] << 8;
        if (i + 2 < length)
            b |= bytes[i + 2];
        out[o++] = BASE64_DIGITS[(b >> 18) & 63];
        out[o++] = BASE64_DIGITS[(b >> 12) & 63];
        out[o++] = i + 1 < length ? BASE64_DIGITS[(b >> 6) & 63] : '=';
        out[o++] = i + 2 < length ? BASE64_DIGITS[b & 63] : '=';
    }
    out[o] = '\0';
}

// The Proxy-Authorization line for the sign-in of the settings, or null
// when no user name is set. The caller frees it with free_wiped.
static char *proxy_sign_in_line(void)
{
    char user[PROXY_CREDENTIAL_SIZE];
    char password[PROXY_CREDENTIAL_SIZE];
    proxy_credentials_snapshot(user, sizeof user, password, sizeof password);
    char *line = NULL;
    if (user[0] != '\0') {
        // "user:password", then its base64.
        char pair[2 * PROXY_CREDENTIAL_SIZE];
        int n = snprintf(pair, sizeof pair, "%s:%s", user, password);
        char encoded[(2 * PROXY_CREDENTIAL_SIZE + 2) / 3 * 4 + 1];
        if (n > 0 && (size_t)n < sizeof pair) {
            base64_encode((const unsigned char *)pair, (size_t)n, encoded);
            line = format_string(REQUEST_PROXY_SIGN_IN, encoded);
        }
        wipe_secret(pair, sizeof pair);
        wipe_secret(encoded, sizeof encoded);
    }
    wipe_secret(user, sizeof user);
    wipe_secret(password, sizeof password);
    return line;
}

// The whole request text: origin form directly, absolute form to a proxy
// (with the proxy's sign-in when one is set). Null when the heap has no room.
static char *request_text(const ProxyRoute *route, const char *host, uint16_t port,
                          const char *path, const char *referer_path)
{
    char *line = NULL;
    char *sign_in = NULL;
    if (route->use_proxy) {
        char port_text[8] = "";
        if (port != 80)
            snprintf(port_text, sizeof port_text, ":%u", (unsigned)port);
        line = format_string(REQUEST_LINE_ABSOLUTE, host, port_text, path);
        sign_in = proxy_sign_in_line();
    } else {
        line = format_string(REQUEST_LINE_ORIGIN, path);
    }
    char *headers = format_string(REQUEST_HEADERS, host, get_user_agent());
    char *referer = referer_path != NULL ? format_string(REQUEST_REFERER, host, referer_path) : NULL;
    char *request = NULL;
    if (line != NULL && headers != NULL && (referer_path == NULL || referer != NULL))
        request = format_string("%s%s%s%s%s", line, headers, sign_in != NULL ? sign_in : "",
                                referer != NULL ? referer : "", REQUEST_END);
    mem_free(line);
    mem_free(headers);
    free_wiped(sign_in);
    mem_free(referer);
    return request;
}

static int32_t send_text(NetSocket socket, const char *text, int64_t deadline)
{
    if (text == NULL)
        return NET_FAILED;
    return net_send_all(socket, text, (int32_t)strlen(text), wait_budget(deadline), &cancelled);
}

enum { EXCHANGE_RECEIVED = -1 };

// One request on one connection: resolving, connecting, sending and
// receiving, to the host or to the route's proxy. Returns EXCHANGE_RECEIVED
// when the receive ran (the buffer then holds what came),
// HTTP_INVALID_RESPONSE when it stopped at a bound, or the code of the step
// that failed before anything was received.
static int32_t exchange(const ProxyRoute *route, const char *host, uint16_t port, const char *path,
                        const char *referer_path, char **buffer, int32_t *size)
{
    const char *target_name = route->use_proxy ? route->host : host;
    uint16_t target_port = route->use_proxy ? route->port : port;

    // A lookup cannot be broken off: a cancelled request does not start one.
    if (cancelled.load())
        return HTTP_NET_ERROR;
    uint32_t address = 0;
    if (!net_resolve(target_name, &address))
        return HTTP_NO_DNS_ENTRY;
    if (cancelled.load())
        return HTTP_NET_ERROR;
    NetSocket socket = net_open();
    if (socket == NET_NO_SOCKET)
        return HTTP_NET_ERROR;
    int32_t result = EXCHANGE_RECEIVED;
    int64_t deadline = net_now_ms() + exchange_timeout_ms.load();
    int32_t connect_ms = connect_timeout_ms.load();
    char *request = NULL;

    if (cancelled.load()) {
        result = HTTP_NET_ERROR;
    } else if (net_connect(socket, address, target_port, connect_ms, &cancelled) != 0) {
        result = HTTP_NO_RESPONSE;
    } else if (cancelled.load()) {
        result = HTTP_NET_ERROR;
    } else {
        request = request_text(route, host, port, path, referer_path);
        int32_t sent = send_text(socket, request, deadline);
        if (sent != 0) {
            // A cancel seen in the send counts as one noticed at the
            // checkpoint that follows.
            result = sent == NET_CANCELLED ? HTTP_NET_ERROR : HTTP_INVALID_RESPONSE;
        } else if (cancelled.load()) {
            result = HTTP_NET_ERROR;
        } else if (receive_response(socket, buffer, size, deadline) != RECEIVE_ENDED) {
            result = HTTP_INVALID_RESPONSE;
        }
    }
    free_wiped(request);  // it may carry the proxy's sign-in
    net_close(socket);
    return result;
}

// ---- Redirects ------------------------------------------------------------

// A new copy of the Location header's value (blanks around it trimmed), or
// null. Only the header block is searched, header line by header line.
static char *location_of(const char *response, int32_t length)
{
    int32_t line = find_line_feed(response, 0, length) + 1;  // past the status line
    while (line > 0 && line < length) {
        int32_t feed = find_line_feed(response, line, length);
        int32_t line_end = feed < 0 ? length : feed;
        if (line_end > line && response[line_end - 1] == '\r')
            line_end--;
        if (line_end == line)
            return NULL;  // the empty line: the header block has ended
        int32_t value = header_value_at(response, line, line_end, "location");
        if (value >= 0) {
            while (line_end > value && (response[line_end - 1] == ' ' || response[line_end - 1] == '\t'))
                line_end--;
            char *copy = (char *)mem_alloc((uint32_t)(line_end - value + 1));
            if (copy != NULL) {
                memcpy(copy, response + value, (size_t)(line_end - value));
                copy[line_end - value] = '\0';
            }
            return copy;
        }
        line = feed < 0 ? length : feed + 1;
    }
    return NULL;
}

static int same_text_ignoring_case(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (lower_ascii(a[i]) != lower_ascii(b[i]) || a[i] == '\0')
            return 0;
    return 1;
}

// The path (without its leading slash) that a Location value leads to on
// host:port, pointing into location; null when the redirect leaves it. A
// relative value is a path on the same host ("/a/b" and "a/b" alike); an
// absolute one ("scheme://authority/...", or "//authority/..." on our own
// scheme) is followed only for http:// on the same host and port, never
// sent as a path.
static const char *redirect_path(const char *location, const char *host, uint16_t port)
{
    const char *authority = NULL;
    const char *scheme_end = strstr(location, "://");
    const char *first_stop = strpbrk(location, "/?#");
    if (scheme_end != NULL && (first_stop == NULL || scheme_end < first_stop)) {
        if ((size_t)(scheme_end - location) != 4 || !same_text_ignoring_case(location, "http", 4))
            return NULL;  // https:// and every other scheme
        authority = scheme_end + 3;
    } else if (location[0] == '/' && location[1] == '/') {
        authority = location + 2;
    } else {
        while (*location == '/')
            location++;
        return location;
    }
    size_t authority_length = strcspn(authority, "/?#");
    size_t host_length = strlen(host);
    uint16_t named_port = 80;
    size_t name_length = authority_length;
    const char *colon = (const char *)memchr(authority, ':', authority_length);
    if (colon != NULL) {
        name_length = (size_t)(colon - authority);
        int32_t value = decimal_at(colon + 1, 0, (int32_t)(authority_length - name_length - 1));
        named_port = (uint16_t)value;
        if (value <= 0 || value > 65535)
            return NULL;
    }
    if (name_length != host_length || !same_text_ignoring_case(authority, host, host_length) ||
        named_port != port || memchr(authority, '@', authority_length) != NULL)
        return NULL;  // another server (or one named with a sign-in)
    const char *path = authority + authority_length;
    while (*path == '/')
        path++;
    return path;
}

void http_cancel_reset(void)
{
    cancelled.store(0);
}

int32_t http_get_via(const ProxyRoute *route, const char *host, uint16_t port, const char *path,
                     const char *referer_path, char **buffer, int32_t *size, HttpOutcome *outcome)
{
    ProxyRoute direct;
    memset(&direct, 0, sizeof direct);
    if (route == NULL)
        route = &direct;
    if (outcome != NULL) {
        outcome->result = HTTP_NET_ERROR;
        outcome->status = -1;
        outcome->through_proxy = route->use_proxy ? 1 : 0;
    }
    if (host == NULL || path == NULL || buffer == NULL || size == NULL)
        return HTTP_NET_ERROR;

    char *location = NULL;  // the Location being followed
    const char *current = path;
    int32_t redirects = 0;
    int32_t received = 0;
    int32_t result = HTTP_INVALID_RESPONSE;
    for (;;) {
        int32_t step = exchange(route, host, port, current, referer_path, buffer, size);
        if (step != EXCHANGE_RECEIVED) {
            // Before anything came the code of the failed step stands; a
            // redirect that fails leaves the 301 or 302 in the buffer.
            if (redirects == 0 || step == HTTP_INVALID_RESPONSE)
                result = step;
            if (step == HTTP_INVALID_RESPONSE)
                received = 1;
            break;
        }
        received = 1;
        int32_t status = parse_status_code(*buffer, *size);
        if (status != 301 && status != 302) {
            result = status == 200 ? HTTP_OK : HTTP_INVALID_RESPONSE;
            break;
        }
        char *next = NULL;
        if (redirects < HTTP_MAX_REDIRECTS && !cancelled.load())
            next = location_of(*buffer, *size);
        const char *next_path = next != NULL ? redirect_path(next, host, port) : NULL;
        if (next_path == NULL) {
            mem_free(next);
            break;  // not followed: judged as a 301 or 302
        }
        mem_free(location);
        location = next;
        current = next_path;
        redirects++;
    }
    mem_free(location);
    if (outcome != NULL) {
        outcome->result = result;
        outcome->status = received && *buffer != NULL ? parse_status_code(*buffer, *size) : -1;
    }
    return result;
}

int32_t http_get(const char *host, uint16_t port, const char *path, const char *referer_path,
                 char **buffer, int32_t *size)
{
    ProxyRoute route;
    proxy_route_own(&route);
    return http_get_via(&route, host, port, path, referer_path, buffer, size, NULL);
}

int32_t http_get_routed(int64_t period_ms, const char *host, uint16_t port, const char *path,
                        const char *referer_path, char **buffer, int32_t *size, HttpOutcome *outcome)
{
    ProxyRoute route;
    memset(&route, 0, sizeof route);
    if (host != NULL && path != NULL) {
        char port_text[8] = "";
        if (port != 80)
            snprintf(port_text, sizeof port_text, ":%u", (unsigned)port);
        char *url = format_string("http://%s%s/%s", host, port_text, path);
        if (url != NULL)
            proxy_route_for_url(url, period_ms, &route);
        mem_free(url);
    }
    return http_get_via(&route, host, port, path, referer_path, buffer, size, outcome);
}

int32_t http_failure_of(int32_t result, int32_t status, int32_t through_proxy)
{
    if (result == HTTP_OK)
        return FETCH_FAILURE_NONE;
    // tinyproxy answers a wrong password with 401 rather than 407.
    if (through_proxy && (status == 407 || status == 401))
        return FETCH_FAILURE_PROXY_SIGN_IN;
    if (through_proxy && status == 403)
        return FETCH_FAILURE_PROXY_DENIED;
    if (status == 429 || status == 503)
        return FETCH_FAILURE_BUSY;
    if (result == HTTP_NO_DNS_ENTRY || result == HTTP_NO_RESPONSE || result == HTTP_NET_ERROR)
        return FETCH_FAILURE_NO_CONNECTION;
    return FETCH_FAILURE_NO_ANSWER;
}
