// The socket seam under the HTTP client: IPv4 stream sockets, BSD sockets
// natively and Winsock in the Windows build. Every wait here is bounded by
// a time-out and by the caller's cancel flag; a socket is only ever used and
// closed by the thread that opened it, so another thread breaks off a wait
// by setting the flag and calling net_wake_waiters, never by closing.
#ifndef VELVANE_FETCH_NET_SOCKET_H
#define VELVANE_FETCH_NET_SOCKET_H

#include <atomic>
#include <stdint.h>

typedef intptr_t NetSocket;

enum {
    NET_NO_SOCKET = -1,

    // Results of net_connect, net_send_all and net_receive below zero.
    NET_FAILED = -1,
    NET_TIMED_OUT = -2,
    NET_CANCELLED = -3,

    // The longest a wait sleeps before it looks at the cancel flag again,
    // for a wait that cannot be woken at once.
    NET_WAIT_SLICE_MS = 20,

    // The receive window where the stack cannot be asked to acknowledge at
    // once (Winsock): one receive then drains it, and a drained window is
    // acknowledged at once. A larger window lets a relaying proxy, which
    // holds its next small segment until the last is acknowledged, wait out
    // our delayed acknowledgement (some 40 ms per page under Wine).
    NET_RECEIVE_WINDOW = 32 * 1024
};

// Starts the socket library (Winsock 1.1) and what the wake-up needs.
// Returns 1 on success, 0 on failure. Safe to call more than once.
int32_t net_startup_library(void);

// The first IPv4 address of the host entry for a name, in network byte
// order. Returns 1 on success, 0 when the name has no entry. The lookup
// cannot be broken off: it lasts as long as the system's resolver takes.
int32_t net_resolve(const char *name, uint32_t *address);

// The system's lookup, which net_resolve calls unless a test's resolver is
// set (net_socket_win.cpp, net_socket_posix.cpp).
int32_t net_resolve_system(const char *name, uint32_t *address);

// Seam for tests: a resolver that stands in for the system's, say one that
// sticks as a lookup on a dead name server does. Null restores the system's.
typedef int32_t (*NetResolver)(const char *name, uint32_t *address);
void net_set_resolver(NetResolver resolver);

// A new stream socket in non-blocking mode, or NET_NO_SOCKET.
NetSocket net_open(void);

// Connects to an address (network byte order) and port (host byte order).
// Returns 0 once connected, or NET_FAILED, NET_TIMED_OUT or NET_CANCELLED.
int32_t net_connect(NetSocket socket, uint32_t address, uint16_t port, int32_t timeout_ms,
                    const std::atomic<int32_t> *cancelled);

// Sends all length bytes. Returns 0 when all are sent, or NET_FAILED,
// NET_TIMED_OUT (no progress for timeout_ms) or NET_CANCELLED.
int32_t net_send_all(NetSocket socket, const char *data, int32_t length, int32_t timeout_ms,
                     const std::atomic<int32_t> *cancelled);

// Receives up to length bytes. Returns the count (above 0), 0 when the peer
// has closed, or NET_FAILED, NET_TIMED_OUT (nothing came for timeout_ms) or
// NET_CANCELLED.
int32_t net_receive(NetSocket socket, char *buffer, int32_t length, int32_t timeout_ms,
                    const std::atomic<int32_t> *cancelled);

// As net_receive, but the bytes stay in the socket for the next receive.
int32_t net_peek(NetSocket socket, char *buffer, int32_t length, int32_t timeout_ms,
                 const std::atomic<int32_t> *cancelled);

// Closes the socket. NET_NO_SOCKET is accepted and does nothing.
void net_close(NetSocket socket);

// Any thread: makes every wait in progress look at its cancel flag now.
void net_wake_waiters(void);

// Milliseconds of a steady clock, for time-outs.
int64_t net_now_ms(void);

#endif
