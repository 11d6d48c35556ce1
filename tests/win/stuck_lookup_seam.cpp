// Linked into velvane-stuck-lookup: velvane.exe's own sources with one seam
// set before WinMain runs, every name lookup sticking for good, as one on a
// dead name server does. The end-to-end test drives it to show that the
// panel keeps answering and that "Выход" ends the program all the same.
#include <windows.h>

#include "fetch/net_socket.h"

static int32_t stuck_lookup(const char *, uint32_t *)
{
    Sleep(INFINITE);
    return 0;
}

static int install_stuck_lookup(void)
{
    net_set_resolver(stuck_lookup);
    return 1;
}

static const int stuck_lookup_installed = install_stuck_lookup();
