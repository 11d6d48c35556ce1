// The proxy of the settings dialog reaches the next fetch before OK, and
// Cancel takes it back for the fetch after: the real panel fetches through
// loopback servers that play the proxies and record the CONNECT they get.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "fetch/fetch_job.h"
#include "fetch/http_client.h"
#include "panel/panel.h"
#include "res/resource.h"
#include "settings/dialogs.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"
#include "tests/support/script_server.h"
#include "tests/support/settings_testing.h"
#include "tests/support/window_testing.h"

namespace {

void type_into(HWND dialog, int id, const char *text)
{
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SendMessageA(field, WM_CHAR, VK_BACK, 0);
    for (const char *c = text; *c != '\0'; c++)
        SendMessageA(field, WM_CHAR, (WPARAM)(unsigned char)*c, 0);
    pump_for(10);
}

// A proxy connection: the tunnel, then an empty page.
ScriptConnection tunnel(void)
{
    ScriptConnection c;
    c.exchanges.push_back(
        ScriptExchange{"\r\n\r\n", {"HTTP/1.0 200 Connection established\r\n\r\n"}});
    c.exchanges.push_back(
        ScriptExchange{REQUEST_TAIL, {http_response("HTTP/1.1 200 OK", "", "<html></html>")}});
    c.ending = SCRIPT_CLOSE;
    return c;
}

std::string connect_line(void)
{
    return std::string("CONNECT ") + SERVICE_HOST + ":80 ";
}

bool starts_with(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

struct NetStart {
    NetStart() { net_startup(); }
} net_start;

}  // namespace

TEST_CASE("a proxy ticked and a host typed reach the next fetch before OK; after Cancel the stored proxy is used again")
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Keldmark");
    restore_defaults();
    init_settings();
    http_set_time_outs(5000, 5000, 10000);

    // The stored proxy, for the fetch after Cancel.
    ScriptServer stored_proxy;
    REQUIRE(script_server_start(&stored_proxy, {tunnel(), tunnel()}));
    // The proxy typed into the dialog.
    ScriptServer typed_proxy;
    REQUIRE(script_server_start(&typed_proxy, {tunnel(), tunnel()}));

    store_int(VALUE_IS_FIRST_FORE, 0);
    store_int(VALUE_IS_NEVER_SHOW, 1);
    store_int(VALUE_IS_USE_PROXY, 0);
    const char host[] = "127.0.0.1";
    REQUIRE(reg_write_value(SETTINGS_PARENT_PATH, SETTINGS_KEY_NAME, VALUE_PROXY_NAME, host,
                            sizeof host - 1) == 1);
    store_int(VALUE_PROXY_PORT, stored_proxy.port);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES | ICC_STANDARD_CLASSES |
                                                          ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    install_dialog_procedures();
    HWND panel = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PANEL), NULL,
                                    panel_dialog_proc, 0);
    REQUIRE(panel != NULL);
    pump_for(100);

    SendMessageA(panel, WM_COMMAND, IDC_SETTINGS, 0);
    pump_for(20);
    HWND dialog = settings_dialog;
    REQUIRE(dialog != NULL);
    SendDlgItemMessageA(dialog, IDC_SET_USE_PROXY, BM_CLICK, 0, 0);
    type_into(dialog, IDC_SET_PROXY_NAME, "localhost");
    char port[16];
    snprintf(port, sizeof port, "%u", (unsigned)typed_proxy.port);
    type_into(dialog, IDC_SET_PROXY_PORT, port);

    // The dialog is still open: the menu's refresh fetches through it.
    SendMessageA(panel, WM_COMMAND, CMD_REFRESH, 0);
    CHECK(script_server_wait_requests(&typed_proxy, 1, 10000));
    wait_for_fetch();
    std::vector<std::string> typed = script_server_received(&typed_proxy);
    REQUIRE(!typed.empty());
    CHECK(starts_with(typed[0], connect_line()));
    CHECK(script_server_received(&stored_proxy).empty());
    size_t typed_count = typed.size();

    // Cancel: the proxy is off again and the host and port are the stored
    // ones. With the store's proxy switched on, the next dialog's fetch
    // goes to the stored proxy, not to the one typed before.
    SendDlgItemMessageA(dialog, IDCANCEL, BM_CLICK, 0, 0);
    pump_for(10);
    CHECK(settings_dialog == NULL);
    CHECK(is_use_proxy == 0);
    CHECK(strcmp(proxy_name, host) == 0);
    CHECK(proxy_port == stored_proxy.port);

    store_int(VALUE_IS_USE_PROXY, 1);
    SendMessageA(panel, WM_COMMAND, IDC_SETTINGS, 0);
    pump_for(20);
    dialog = settings_dialog;
    REQUIRE(dialog != NULL);
    CHECK(IsDlgButtonChecked(dialog, IDC_SET_USE_PROXY) == BST_CHECKED);
    SendMessageA(panel, WM_COMMAND, CMD_REFRESH, 0);
    CHECK(script_server_wait_requests(&stored_proxy, 1, 10000));
    wait_for_fetch();
    std::vector<std::string> from_store = script_server_received(&stored_proxy);
    REQUIRE(!from_store.empty());
    CHECK(starts_with(from_store[0], connect_line()));
    CHECK(script_server_received(&typed_proxy).size() == typed_count);
    SendDlgItemMessageA(dialog, IDCANCEL, BM_CLICK, 0, 0);
    pump_for(10);

    DestroyWindow(panel);
    panel_window = NULL;
    script_server_stop(&typed_proxy);
    script_server_stop(&stored_proxy);
    http_set_time_outs(0, 0, 0);
}
