// The About box: the icon, the version line, the maker's line and the link
// that opens the maker's home page in the user's browser.
#include "settings/dialogs.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "panel/modeless_win.h"
#include "panel/panel.h"
#include "res/resource.h"
#include "util/mem.h"

#ifndef VELVANE_HOME_PAGE
#define VELVANE_HOME_PAGE "https://keldmark.example/weather/"
#endif
#ifndef VELVANE_MAKER_LINE
#define VELVANE_MAKER_LINE "\xC2\xA9 Keldmark, 2026"  // "© Keldmark, 2026" in UTF-8
#endif

enum { ABOUT_ICON_ID = 2 };

// The credit of the weather data's source: its two links, in the order of
// the template's text.
static const char *const DATA_LINKS[] = {
    "https://open-meteo.com/",
    "https://creativecommons.org/licenses/by/4.0/",
};

ShellOpenFunction shell_open = ShellExecuteA;

const char *about_home_page(void)
{
    return VELVANE_HOME_PAGE;
}

const char *about_maker_line(void)
{
    return VELVANE_MAKER_LINE;
}

// Sets a window's text from UTF-8, so that the build settings may hold any
// characters whatever the user's code page.
static void set_utf8_text(HWND control, const char *text)
{
    if (control == NULL)
        return;
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    if (length <= 0)
        return;
    WCHAR *wide = (WCHAR *)mem_alloc((uint32_t)length * sizeof(WCHAR));
    if (wide == NULL)
        return;
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, length);
    SetWindowTextW(control, wide);
    mem_free(wide);
}

// The template carries the default texts; the build's own go over them.
// The maker's line is the second text after the icon, in template order.
static INT_PTR on_init_dialog(HWND window)
{
    HWND version_line = GetWindow(GetDlgItem(window, ABOUT_ICON_ID), GW_HWNDNEXT);
    HWND maker_line = version_line != NULL ? GetWindow(version_line, GW_HWNDNEXT) : NULL;
    set_utf8_text(maker_line, about_maker_line());

    const char *page = about_home_page();
    size_t size = strlen("<a>") + strlen(page) + strlen("</a>") + 1;
    char *link = (char *)mem_alloc((uint32_t)size);
    if (link != NULL) {
        strcpy(link, "<a>");
        strcat(link, page);
        strcat(link, "</a>");
        set_utf8_text(GetDlgItem(window, IDC_ABOUT_LINK), link);
        mem_free(link);
    }
    return TRUE;
}

static INT_PTR on_notify(HWND window, const NMHDR *header)
{
    (void)window;
    if (header->idFrom != IDC_ABOUT_LINK && header->idFrom != IDC_ABOUT_DATA_LINK)
        return FALSE;
    if (header->code != NM_CLICK && header->code != NM_RETURN)
        return FALSE;
    const NMLINK *link = (const NMLINK *)header;
    int index = link->item.iLink;
    const char *address = NULL;
    if (header->idFrom == IDC_ABOUT_LINK && index == 0)
        address = about_home_page();
    else if (header->idFrom == IDC_ABOUT_DATA_LINK && index >= 0 && index < 2)
        address = DATA_LINKS[index];
    if (address == NULL)
        return FALSE;
    shell_open(NULL, "open", address, "", NULL, SW_SHOWNORMAL);
    return TRUE;
}

static INT_PTR on_command(HWND window, int id)
{
    if (id != IDOK && id != IDCANCEL)
        return FALSE;
    DestroyWindow(window);
    return TRUE;
}

// However the window ends, the panel's record of it goes with it.
static INT_PTR on_destroy(HWND window)
{
    if (about_dialog == window)
        about_dialog = NULL;
    return FALSE;
}

INT_PTR CALLBACK about_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        return on_init_dialog(window);
    case WM_NOTIFY:
        return on_notify(window, (const NMHDR *)lparam);
    case WM_COMMAND:
        return on_command(window, LOWORD(wparam));
    case WM_DESTROY:
        return on_destroy(window);
    }
    return FALSE;
}

HWND open_about_dialog(HWND panel)
{
    return open_modeless_once(&about_dialog, panel, IDD_ABOUT, about_dialog_proc);
}

void install_dialog_procedures(void)
{
    panel_about_proc = about_dialog_proc;
    panel_settings_proc = settings_dialog_proc;
    panel_notice_proc = notice_dialog_proc;
}
