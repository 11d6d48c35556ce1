// The socket seam over BSD sockets. A wait polls the socket together with
// the read end of a wake-up pipe that net_wake_waiters writes to, so a
// cancel from another thread ends it at once; the pipe is never closed.
#include "fetch/net_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

// Natively the pipe makes waking immediate; the slice only bounds a wake-up
// that was somehow lost.
static const int32_t WAIT_SLICE_MS = 250;

static std::once_flag wake_pipe_once;
static int wake_pipe[2] = {-1, -1};

static void make_wake_pipe(void)
{
    int ends[2];
    if (pipe(ends) != 0)
        return;
    for (int i = 0; i < 2; i++) {
        fcntl(ends[i], F_SETFL, fcntl(ends[i], F_GETFL) | O_NONBLOCK);
        fcntl(ends[i], F_SETFD, FD_CLOEXEC);
    }
    wake_pipe[0] = ends[0];
    wake_pipe[1] = ends[1];
}

static void drain_wake_pipe(void)
{
    char bytes[64];
    while (wake_pipe[0] >= 0 && read(wake_pipe[0], bytes, sizeof bytes) > 0) {
    }
}

int32_t net_startup_library(void)
{
    std::call_once(wake_pipe_once, make_wake_pipe);
    return wake_pipe[0] >= 0 ? 1 : 0;
}

int64_t net_now_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

int32_t net_resolve_system(const char *name, uint32_t *address)
{
    // gethostbyname keeps its entry in thread-local storage in glibc; only
    // the first address is wanted.
    struct hostent *entry = gethostbyname(name);
    if (entry == NULL || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
        entry->h_addr_list == NULL || entry->h_addr_list[0] == NULL)
        return 0;
    memcpy(address, entry->h_addr_list[0], 4);
    return 1;
}

NetSocket net_open(void)
{
    std::call_once(wake_pipe_once, make_wake_pipe);
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return NET_NO_SOCKET;
    fcntl(s, F_SETFD, FD_CLOEXEC);
    if (fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) != 0) {
        close(s);
        return NET_NO_SOCKET;
    }
    // The request goes out in up to three sends: without this, each small
    // send after the first waits for the peer's delayed acknowledgement.
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return (NetSocket)s;
}

// Waits until the socket is ready for reading (or writing). Returns 1 when
// ready (an error or hang-up counts as ready: the next call reports it),
// or NET_TIMED_OUT, NET_CANCELLED or NET_FAILED.
static int32_t wait_ready(NetSocket socket, int for_write, int32_t timeout_ms,
                          const std::atomic<int32_t> *cancelled)
{
    int64_t deadline = net_now_ms() + (timeout_ms > 0 ? timeout_ms : 0);
    for (;;) {
        if (cancelled != NULL && cancelled->load() != 0)
            return NET_CANCELLED;
        int64_t left = deadline - net_now_ms();
        if (left <= 0)
            return NET_TIMED_OUT;
        struct pollfd fds[2];
        fds[0].fd = (int)socket;
        fds[0].events = for_write ? POLLOUT : POLLIN;
        fds[0].revents = 0;
        fds[1].fd = wake_pipe[0];
        fds[1].events = POLLIN;
        fds[1].revents = 0;
        int slice = left < WAIT_SLICE_MS ? (int)left : WAIT_SLICE_MS;
        int n = poll(fds, wake_pipe[0] >= 0 ? 2 : 1, slice);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return NET_FAILED;
        }
        if (fds[1].revents != 0)
            drain_wake_pipe();
        if (fds[0].revents != 0)
            return 1;
    }
}

int32_t net_connect(NetSocket socket, uint32_t address, uint16_t port, int32_t timeout_ms,
                    const std::atomic<int32_t> *cancelled)
{
    struct sockaddr_in target;
    memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    if (connect((int)socket, (struct sockaddr *)&target, sizeof target) == 0)
        return 0;
    if (errno != EINPROGRESS && errno != EINTR)
        return NET_FAILED;
    int32_t ready = wait_ready(socket, 1, timeout_ms, cancelled);
    if (ready != 1)
        return ready;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt((int)socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return NET_FAILED;
    return 0;
}

int32_t net_send_all(NetSocket socket, const char *data, int32_t length, int32_t timeout_ms,
                     const std::atomic<int32_t> *cancelled)
{
#ifdef MSG_NOSIGNAL
    const int flags = MSG_NOSIGNAL;  // a peer that has gone must not raise SIGPIPE
#else
    const int flags = 0;
#endif
    int32_t sent = 0;
    while (sent < length) {
        if (cancelled != NULL && cancelled->load() != 0)
            return NET_CANCELLED;
        ssize_t n = send((int)socket, data + sent, (size_t)(length - sent), flags);
        if (n > 0) {
            sent += (int32_t)n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int32_t ready = wait_ready(socket, 1, timeout_ms, cancelled);
            if (ready != 1)
                return ready;
            continue;
        }
        return NET_FAILED;
    }
    return 0;
}

static int32_t receive(NetSocket socket, char *buffer, int32_t length, int flags, int32_t timeout_ms,
                       const std::atomic<int32_t> *cancelled)
{
    for (;;) {
        if (cancelled != NULL && cancelled->load() != 0)
            return NET_CANCELLED;
        ssize_t n = recv((int)socket, buffer, (size_t)length, flags);
#ifdef TCP_QUICKACK
        // Acknowledge at once: a sender that holds back its next segment
        // until this one is acknowledged (a relaying proxy) would otherwise
        // wait out our delayed acknowledgement on every piece.
        if (n > 0) {
            int on = 1;
            setsockopt((int)socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        }
#endif
        if (n >= 0)
            return (int32_t)n;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return NET_FAILED;
        int32_t ready = wait_ready(socket, 0, timeout_ms, cancelled);
        if (ready != 1)
            return ready;
    }
}

int32_t net_receive(NetSocket socket, char *buffer, int32_t length, int32_t timeout_ms,
                    const std::atomic<int32_t> *cancelled)
{
    return receive(socket, buffer, length, 0, timeout_ms, cancelled);
}

int32_t net_peek(NetSocket socket, char *buffer, int32_t length, int32_t timeout_ms,
                 const std::atomic<int32_t> *cancelled)
{
    return receive(socket, buffer, length, MSG_PEEK, timeout_ms, cancelled);
}

void net_close(NetSocket socket)
{
    if (socket != NET_NO_SOCKET)
        close((int)socket);
}

void net_wake_waiters(void)
{
    std::call_once(wake_pipe_once, make_wake_pipe);
    if (wake_pipe[1] >= 0) {
        char byte = 1;
        ssize_t ignored = write(wake_pipe[1], &byte, 1);  // a full pipe wakes anyway
        (void)ignored;
    }
}
