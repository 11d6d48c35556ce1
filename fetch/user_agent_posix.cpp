// Natively there is no system user-agent service: the fixed text.
#include "fetch/http_client.h"

const char *get_user_agent(void)
{
    return "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
}
