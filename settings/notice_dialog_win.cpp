// The notice at start: where the program lives, with a picture of the
// notification area, until the user ticks that it should stay away.
#include "settings/dialogs.h"

#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

static HWND open_notice;  // the notice on the screen, or null

// The tick is stored at once, and so is taking it back.
static void on_never_show_clicked(HWND window)
{
    is_never_show = IsDlgButtonChecked(window, IDC_NEVER_SHOW) == BST_CHECKED ? 1 : 0;
    settings_write_never_show();
}

static INT_PTR on_command(HWND window, int id)
{
    switch (id) {
    case IDC_NEVER_SHOW:
        on_never_show_clicked(window);
        return TRUE;
    case IDOK:
    case IDCANCEL:
        DestroyWindow(window);
        return TRUE;
    }
    return FALSE;
}

static INT_PTR on_destroy(HWND window)
{
    if (open_notice == window)
        open_notice = NULL;
    return FALSE;
}

INT_PTR CALLBACK notice_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    (void)lparam;
    switch (message) {
    case WM_INITDIALOG:
        open_notice = window;
        return TRUE;
    case WM_COMMAND:
        return on_command(window, LOWORD(wparam));
    case WM_DESTROY:
        return on_destroy(window);
    }
    return FALSE;
}

HWND open_notice_dialog(HWND panel)
{
    if (open_notice != NULL)
        return open_notice;
    HWND notice = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_NOTICE), panel,
                                     notice_dialog_proc, 0);
    if (notice == NULL)
        return NULL;
    open_notice = notice;
    ShowWindow(notice, SW_SHOW);
    UpdateWindow(notice);
    return notice;
}

HWND notice_dialog(void)
{
    return open_notice;
}
