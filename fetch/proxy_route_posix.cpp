// Natively there are no system proxy settings: direct.
#include "fetch/proxy_route_system.h"

int32_t proxy_route_system(const char *url, const char *scheme, const char *host, ProxyRoute *route)
{
    (void)url;
    (void)scheme;
    (void)host;
    route->use_proxy = 0;
    route->host[0] = '\0';
    route->port = 0;
    return 1;
}
