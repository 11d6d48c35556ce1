#include "panel/modeless_win.h"

#include "app/tray.h"
#include "panel/panel.h"
#include "panel/place_search_win.h"
#include "settings/dialogs.h"

HWND open_modeless_once(HWND *slot, HWND owner, int template_id, DLGPROC procedure)
{
    if (*slot == NULL && procedure != NULL) {
        *slot = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(template_id), owner,
                                   procedure, 0);
        if (*slot != NULL) {
            ShowWindow(*slot, SW_SHOW);
            UpdateWindow(*slot);
        }
    }
    if (*slot != NULL)
        bring_to_front(*slot);
    return *slot;
}

static bool is_dialog_message(HWND dialog, MSG *message)
{
    return dialog != NULL && IsWindow(dialog) && IsDialogMessageA(dialog, message);
}

bool take_dialog_message(MSG *message)
{
    return is_dialog_message(panel_window, message) || is_dialog_message(settings_dialog, message) ||
           is_dialog_message(about_dialog, message) || is_dialog_message(notice_dialog(), message) ||
           is_dialog_message(place_search_dialog, message);
}
