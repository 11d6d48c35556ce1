// Sets the three proxy settings the HTTP client reads, under their lock.
#ifndef VELVANE_TESTS_SUPPORT_PROXY_SETTING_H
#define VELVANE_TESTS_SUPPORT_PROXY_SETTING_H

#include <stdint.h>

void set_proxy(int32_t use, const char *name, int32_t port);

// Sets the proxy's sign-in name and password.
void set_proxy_sign_in(const char *user, const char *password);

#endif
