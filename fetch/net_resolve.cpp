// The name lookup of the socket seam, with its stand-in for tests.
#include "fetch/net_socket.h"

static std::atomic<NetResolver> resolver(nullptr);

void net_set_resolver(NetResolver stand_in)
{
    resolver.store(stand_in);
}

int32_t net_resolve(const char *name, uint32_t *address)
{
    NetResolver stand_in = resolver.load();
    return stand_in != nullptr ? stand_in(name, address) : net_resolve_system(name, address);
}
