#include "tests/support/proxy_setting.h"

#include <string.h>

#include "settings/settings_vars.h"

void set_proxy(int32_t use, const char *name, int32_t port)
{
    proxy_settings_lock();
    is_use_proxy = use;
    strncpy(proxy_name, name, PROXY_NAME_SIZE - 1);
    proxy_name[PROXY_NAME_SIZE - 1] = '\0';
    proxy_port = port;
    proxy_settings_unlock();
}

void set_proxy_sign_in(const char *user, const char *password)
{
    proxy_credentials_set(user, password);
}
