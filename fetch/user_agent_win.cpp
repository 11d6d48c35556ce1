// The User-Agent text from the URL-moniker service, obtained afresh for
// every request into one buffer that lives for the whole run.
#include "fetch/http_client.h"

#include <windows.h>
#include <urlmon.h>

#include "util/mem.h"

static const char FALLBACK_USER_AGENT[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

static char *agent_cache;
static DWORD agent_capacity = 1;  // never shrunk

const char *get_user_agent(void)
{
    if (agent_cache == NULL) {
        agent_cache = (char *)mem_alloc(agent_capacity);
        if (agent_cache == NULL)
            return FALLBACK_USER_AGENT;
    }
    DWORD size = agent_capacity;
    HRESULT result = ObtainUserAgentString(0, agent_cache, &size);
    if (SUCCEEDED(result))
        return agent_cache;
    if (result != E_OUTOFMEMORY || size <= agent_capacity)
        return FALLBACK_USER_AGENT;
    char *grown = (char *)mem_realloc(agent_cache, size);
    if (grown == NULL)
        return FALLBACK_USER_AGENT;
    agent_cache = grown;
    agent_capacity = size;
    if (SUCCEEDED(ObtainUserAgentString(0, agent_cache, &size)))
        return agent_cache;
    return FALLBACK_USER_AGENT;
}
