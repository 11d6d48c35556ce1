// Loopback sockets for the test servers over BSD sockets.
#include "tests/support/test_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static int wait_for(int s, short events, int32_t timeout_ms)
{
    struct pollfd fd;
    fd.fd = s;
    fd.events = events;
    fd.revents = 0;
    for (;;) {
        int n = poll(&fd, 1, timeout_ms);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

int test_socket_startup(void)
{
    return 1;
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

TestSocket test_listen_loopback(uint16_t *port, int backlog)
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return TEST_NO_SOCKET;
    fcntl(s, F_SETFD, FD_CLOEXEC);
    struct sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (bind(s, (struct sockaddr *)&address, sizeof address) != 0 || listen(s, backlog) != 0 ||
        getsockname(s, (struct sockaddr *)&address, &length) != 0) {
        close(s);
        return TEST_NO_SOCKET;
    }
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
    *port = ntohs(address.sin_port);
    return s;
}

TestSocket test_accept(TestSocket listener, int32_t timeout_ms)
{
    if (wait_for((int)listener, POLLIN, timeout_ms) <= 0)
        return TEST_NO_SOCKET;
    int s = accept((int)listener, NULL, NULL);
    if (s < 0)
        return TEST_NO_SOCKET;
    fcntl(s, F_SETFD, FD_CLOEXEC);
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
    return s;
}

TestSocket test_connect_loopback(uint16_t port, int32_t timeout_ms, TestSocket *pending)
{
    if (pending != NULL)
        *pending = TEST_NO_SOCKET;
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return TEST_NO_SOCKET;
    fcntl(s, F_SETFD, FD_CLOEXEC);
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
    struct sockaddr_in address = loopback(port);
    if (connect(s, (struct sockaddr *)&address, sizeof address) == 0)
        return s;
    if (errno != EINPROGRESS) {
        close(s);
        return TEST_NO_SOCKET;
    }
    if (wait_for(s, POLLOUT, timeout_ms) > 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
            return s;
    } else if (pending != NULL) {
        *pending = s;
        return TEST_NO_SOCKET;
    }
    close(s);
    return TEST_NO_SOCKET;
}

int32_t test_receive(TestSocket socket, char *buffer, int32_t length, int32_t timeout_ms)
{
    int n = wait_for((int)socket, POLLIN, timeout_ms);
    if (n == 0)
        return TEST_TIMED_OUT;
    if (n < 0)
        return -1;
    ssize_t got = recv((int)socket, buffer, (size_t)length, 0);
    if (got < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? TEST_TIMED_OUT : -1;
    return (int32_t)got;
}

int32_t test_send(TestSocket socket, const char *data, int32_t length, int32_t timeout_ms)
{
    int32_t sent = 0;
    while (sent < length) {
        ssize_t n = send((int)socket, data + sent, (size_t)(length - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += (int32_t)n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (wait_for((int)socket, POLLOUT, timeout_ms) <= 0)
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
        close((int)socket);
}
