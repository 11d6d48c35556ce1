// The notice at start: where the program lives, with a picture of the
// notification area, until the user ticks that it should stay away.
#include "settings/dialogs.h"

#include "res/resource.h"
#include "settings/settings_store.h"
#include "settings/settings_vars.h"

static HWND open_notice;  // the notice on the screen, or null

// The static control that shows the picture, or null.
static HWND picture_control(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            return child;
    return NULL;
}

// The picture is drawn for 96 dots per inch; at another scale it is
// loaded again at the size that the dialog's text has grown to.
static void scale_picture(HWND window)
{
    HDC dc = GetDC(window);
    int dpi = dc != NULL ? GetDeviceCaps(dc, LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
    if (dc != NULL)
        ReleaseDC(window, dc);
    HWND control = picture_control(window);
    if (dpi == USER_DEFAULT_SCREEN_DPI || control == NULL)
        return;
    BITMAP size;
    HBITMAP shown = (HBITMAP)SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0);
    if (shown == NULL || !GetObjectA(shown, sizeof size, &size))
        return;
    HBITMAP scaled = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDB_NOTICE), IMAGE_BITMAP,
                                         MulDiv(size.bmWidth, dpi, USER_DEFAULT_SCREEN_DPI),
                                         MulDiv(size.bmHeight, dpi, USER_DEFAULT_SCREEN_DPI), 0);
    if (scaled == NULL)
        return;
    // The control hands back the picture it showed, the template's,
    // which is ours to free now.
    HBITMAP replaced = (HBITMAP)SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)scaled);
    if (replaced != NULL && replaced != scaled)
        DeleteObject(replaced);
}

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

// The control frees no picture it holds, neither the template's nor the
// scaled one: taken back, it is freed here.
static INT_PTR on_destroy(HWND window)
{
    if (open_notice == window)
        open_notice = NULL;
    HWND control = picture_control(window);
    HBITMAP held = control != NULL ? (HBITMAP)SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, 0) : NULL;
    if (held != NULL)
        DeleteObject(held);
    return FALSE;
}

INT_PTR CALLBACK notice_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    (void)lparam;
    switch (message) {
    case WM_INITDIALOG:
        open_notice = window;
        scale_picture(window);
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
