// Loopback sockets for the test servers over Winsock.
#include "tests/support/test_socket.h"

#include <winsock2.h>
#include <windows.h>
#include <string.h>

static int wait_for(SOCKET s, int for_write, int32_t timeout_ms)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    struct timeval wait;
    wait.tv_sec = timeout_ms / 1000;
    wait.tv_usec = (timeout_ms % 1000) * 1000;
    int n = for_write ? select(0, NULL, &ready, &failed, &wait)
                      : select(0, &ready, NULL, &failed, &wait);
    return n == SOCKET_ERROR ? -1 : n;
}

int test_socket_startup(void)
{
    WSADATA data;
    return WSAStartup(0x0202, &data) == 0 ? 1 : 0;
}

static struct sockaddr_in loopback(uint16_t port)
{
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

static void make_non_blocking(SOCKET s)
{
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}

TestSocket test_listen_loopback(uint16_t *port, int backlog)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return TEST_NO_SOCKET;
    struct sockaddr_in address = loopback(0);
    int length = sizeof address;
    if (bind(s, (struct sockaddr *)&address, sizeof address) != 0 || listen(s, backlog) != 0 ||
        getsockname(s, (struct sockaddr *)&address, &length) != 0) {
        closesocket(s);
        return TEST_NO_SOCKET;
    }
    make_non_blocking(s);
    *port = ntohs(address.sin_port);
    return (TestSocket)s;
}

TestSocket test_accept(TestSocket listener, int32_t timeout_ms)
{
    if (wait_for((SOCKET)listener, 0, timeout_ms) <= 0)
        return TEST_NO_SOCKET;
    SOCKET s = accept((SOCKET)listener, NULL, NULL);
    if (s == INVALID_SOCKET)
        return TEST_NO_SOCKET;
    make_non_blocking(s);
    return (TestSocket)s;
}

TestSocket test_connect_loopback(uint16_t port, int32_t timeout_ms, TestSocket *pending)
{
    if (pending != NULL)
        *pending = TEST_NO_SOCKET;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return TEST_NO_SOCKET;
    make_non_blocking(s);
    struct sockaddr_in address = loopback(port);
    if (connect(s, (struct sockaddr *)&address, sizeof address) == 0)
        return (TestSocket)s;
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
        closesocket(s);
        return TEST_NO_SOCKET;
    }
    if (wait_for(s, 1, timeout_ms) > 0) {
        int error = 0;
        int length = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&error, &length) == 0 && error == 0)
            return (TestSocket)s;
    } else if (pending != NULL) {
        *pending = (TestSocket)s;
        return TEST_NO_SOCKET;
    }
    closesocket(s);
    return TEST_NO_SOCKET;
}

int32_t test_receive(TestSocket socket, char *buffer, int32_t length, int32_t timeout_ms)
{
    int n = wait_for((SOCKET)socket, 0, timeout_ms);
    if (n == 0)
        return TEST_TIMED_OUT;
    if (n < 0)
        return -1;
    int got = recv((SOCKET)socket, buffer, (int)length, 0);
    if (got == SOCKET_ERROR)
        return WSAGetLastError() == WSAEWOULDBLOCK ? TEST_TIMED_OUT : -1;
    return (int32_t)got;
}

int32_t test_send(TestSocket socket, const char *data, int32_t length, int32_t timeout_ms)
{
    int32_t sent = 0;
    while (sent < length) {
        int n = send((SOCKET)socket, data + sent, (int)(length - sent), 0);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            if (wait_for((SOCKET)socket, 1, timeout_ms) <= 0)
                return -1;
            continue;
        }
        return -1;
    }
    return 0;
}

void test_close(TestSocket socket)
{
    if (socket != TEST_NO_SOCKET)
        closesocket((SOCKET)socket);
}
