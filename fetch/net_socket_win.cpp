// The socket seam over Winsock, started at version 1.1. Sockets are put in
// non-blocking mode and every wait is a select() of at most
// NET_WAIT_SLICE_MS, after which the cancel flag is looked at again: a
// cancel from another thread never touches the socket, so no handle is
// closed twice or used after it was closed, and a wait ends within a slice.
#include "fetch/net_socket.h"

#include <winsock2.h>
#include <windows.h>
#include <string.h>

int32_t net_startup_library(void)
{
    WSADATA data;
    return WSAStartup(0x0101, &data) == 0 ? 1 : 0;
}

int64_t net_now_ms(void)
{
    return (int64_t)GetTickCount64();
}

int32_t net_resolve_system(const char *name, uint32_t *address)
{
    // Winsock keeps the entry per thread; only the first address is wanted.
    struct hostent *entry = gethostbyname(name);
    if (entry == NULL || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
        entry->h_addr_list == NULL || entry->h_addr_list[0] == NULL)
        return 0;
    memcpy(address, entry->h_addr_list[0], 4);
    return 1;
}

NetSocket net_open(void)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return NET_NO_SOCKET;
    u_long non_blocking = 1;
    if (ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
        closesocket(s);
        return NET_NO_SOCKET;
    }
    // Small sends leave at once instead of waiting for the peer's delayed
    // acknowledgement of the one before.
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char *)&on, sizeof on);
    int window = NET_RECEIVE_WINDOW;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&window, sizeof window);
    return (NetSocket)s;
}

// Waits until the socket is ready for reading (or, for_write, for writing;
// a failed connect shows in the exception set). Returns 1 when ready, or
// NET_TIMED_OUT, NET_CANCELLED or NET_FAILED.
static int32_t wait_ready(NetSocket socket, int for_write, int32_t timeout_ms,
                          const std::atomic<int32_t> *cancelled)
{
    SOCKET s = (SOCKET)socket;
    int64_t deadline = net_now_ms() + (timeout_ms > 0 ? timeout_ms : 0);
    for (;;) {
        if (cancelled != NULL && cancelled->load() != 0)
            return NET_CANCELLED;
        int64_t left = deadline - net_now_ms();
        if (left <= 0)
            return NET_TIMED_OUT;
        int64_t slice = left < (int64_t)NET_WAIT_SLICE_MS ? left : (int64_t)NET_WAIT_SLICE_MS;
        fd_set readable, writable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        if (for_write) {
            FD_SET(s, &writable);
            FD_SET(s, &failed);
        } else {
            FD_SET(s, &readable);
        }
        struct timeval wait;
        wait.tv_sec = 0;
        wait.tv_usec = (long)(slice * 1000);
        int n = select(0, &readable, &writable, &failed, &wait);
        if (n == SOCKET_ERROR)
            return NET_FAILED;
        if (n > 0)
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
    SOCKET s = (SOCKET)socket;
    if (connect(s, (struct sockaddr *)&target, sizeof target) == 0)
        return 0;
    if (WSAGetLastError() != WSAEWOULDBLOCK)
        return NET_FAILED;
    int32_t ready = wait_ready(socket, 1, timeout_ms, cancelled);
    if (ready != 1)
        return ready;
    int error = 0;
    int length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&error, &length) != 0 || error != 0)
        return NET_FAILED;
    return 0;
}

int32_t net_send_all(NetSocket socket, const char *data, int32_t length, int32_t timeout_ms,
                     const std::atomic<int32_t> *cancelled)
{
    SOCKET s = (SOCKET)socket;
    int32_t sent = 0;
    while (sent < length) {
        if (cancelled != NULL && cancelled->load() != 0)
            return NET_CANCELLED;
        int n = send(s, data + sent, (int)(length - sent), 0);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
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
    SOCKET s = (SOCKET)socket;
    for (;;) {
        if (cancelled != NULL && cancelled->load() != 0)
            return NET_CANCELLED;
        int n = recv(s, buffer, (int)length, flags);
        if (n >= 0)
            return (int32_t)n;
        if (WSAGetLastError() != WSAEWOULDBLOCK)
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
        closesocket((SOCKET)socket);
}

void net_wake_waiters(void)
{
    // Every wait looks at its cancel flag at least once a slice.
}
