// The settings dialog (template 153), the About box (103) and the notice
// shown at start (154): modeless dialogs owned by the panel, main thread
// only. The settings dialog and the About box exist at most once each and
// keep the panel's about_dialog and settings_dialog up to date (they clear
// them when they are destroyed); the notice exists at most once too.
#ifndef VELVANE_SETTINGS_DIALOGS_H
#define VELVANE_SETTINGS_DIALOGS_H

#include <windows.h>

// The dialog procedures, for CreateDialogParamA with the templates above.
INT_PTR CALLBACK settings_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK notice_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Creates the dialog owned by panel unless it is open, shows it, records it
// (settings_dialog, about_dialog) and brings it to the front with
// bring_to_front. The open or new dialog; null when it could not be made.
// The settings dialog sends its owner CMD_AUTO_REFRESH on OK.
HWND open_settings_dialog(HWND panel);
HWND open_about_dialog(HWND panel);

// Creates and shows the notice owned by panel unless one is open (it is not
// brought to the front: it comes up beside the program's start). The open
// or new notice; null when it could not be made.
HWND open_notice_dialog(HWND panel);

// The open notice, or null.
HWND notice_dialog(void);

// Hands the three dialog procedures to the panel (panel_about_proc,
// panel_settings_proc, panel_notice_proc), for its commands 3 and 1024 and
// its notice at start. Called once before the panel is created.
void install_dialog_procedures(void);

// The home page and the maker's line of the About box, as configured for
// the build (UTF-8).
const char *about_home_page(void);
const char *about_maker_line(void);

// The shell call that opens the home page: ShellExecuteA unless a test put
// its own function here.
typedef HINSTANCE (WINAPI *ShellOpenFunction)(HWND owner, LPCSTR verb, LPCSTR file,
                                              LPCSTR parameters, LPCSTR directory,
                                              INT show);
extern ShellOpenFunction shell_open;

#endif
