// Loopback sockets for the test servers: BSD sockets natively, Winsock in
// the Windows build. Every wait is bounded by its time-out.
#ifndef VELVANE_TESTS_SUPPORT_TEST_SOCKET_H
#define VELVANE_TESTS_SUPPORT_TEST_SOCKET_H

#include <stdint.h>

typedef intptr_t TestSocket;

enum {
    TEST_NO_SOCKET = -1,
    TEST_TIMED_OUT = -2
};

// Starts the socket library where one needs starting. 1 on success.
int test_socket_startup(void);

// A listening socket on 127.0.0.1 at a free port, which *port receives.
TestSocket test_listen_loopback(uint16_t *port, int backlog);

// The next connection on a listening socket, or TEST_NO_SOCKET after the
// time-out.
TestSocket test_accept(TestSocket listener, int32_t timeout_ms);

// A connection to 127.0.0.1:port. TEST_NO_SOCKET when it did not complete
// within the time-out (*pending then receives the socket still connecting,
// when pending is not null, for the caller to close).
TestSocket test_connect_loopback(uint16_t port, int32_t timeout_ms, TestSocket *pending);

// Up to length bytes: the count, 0 when the peer closed, -1 on failure,
// TEST_TIMED_OUT when nothing came within the time-out.
int32_t test_receive(TestSocket socket, char *buffer, int32_t length, int32_t timeout_ms);

// All length bytes within the time-out: 0, or -1.
int32_t test_send(TestSocket socket, const char *data, int32_t length, int32_t timeout_ms);

void test_close(TestSocket socket);

#endif
