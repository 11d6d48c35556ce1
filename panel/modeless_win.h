// Modeless dialogs that exist at most once each, and the keyboard in them.
#ifndef VELVANE_PANEL_MODELESS_WIN_H
#define VELVANE_PANEL_MODELESS_WIN_H

#include <windows.h>

// Creates the dialog of template_id, owned by owner, into *slot unless one
// is open there (or procedure is null), shows it and brings whichever is
// open to the front. Gives *slot. The dialog clears *slot itself when it is
// destroyed.
HWND open_modeless_once(HWND *slot, HWND owner, int template_id, DLGPROC procedure);

// Gives a queued message to whichever of the program's modeless windows it
// is for (the panel, the settings dialog, the About box, the notice, the
// place search), so that the keyboard works in each; true when one of them
// took it, and then it must not be translated or dispatched again.
bool take_dialog_message(MSG *message);

#endif
