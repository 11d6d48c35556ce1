#include "panel/modeless_win.h"

#include "app/tray.h"

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
