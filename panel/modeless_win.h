// Modeless dialogs that exist at most once each.
#ifndef VELVANE_PANEL_MODELESS_WIN_H
#define VELVANE_PANEL_MODELESS_WIN_H

#include <windows.h>

// Creates the dialog of template_id, owned by owner, into *slot unless one
// is open there (or procedure is null), shows it and brings whichever is
// open to the front. Gives *slot. The dialog clears *slot itself when it is
// destroyed.
HWND open_modeless_once(HWND *slot, HWND owner, int template_id, DLGPROC procedure);

#endif
