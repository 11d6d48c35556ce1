// The panel: the program's one visible window, a modeless dialog from
// template 129.
#ifndef VELVANE_PANEL_PANEL_H
#define VELVANE_PANEL_PANEL_H

#include <windows.h>

enum {
    START_TIMER = 1,
    // 2 is FETCH_POLL_TIMER (fetch/fetch_job.h)
    REFRESH_TIMER = 3,
    CLOCK_TIMER = 4
};

extern HWND panel_window;      // null before creation
extern double selected_day;    // the day number whose forecast is shown
extern HWND about_dialog;      // null when not open
extern HWND settings_dialog;   // null when not open

// The dialog procedures of the About box (template 103), the settings
// dialog (153) and the notice (154). The module of those dialogs sets them
// before the panel is created; while one is null, its command and the
// notice at start open nothing.
extern DLGPROC panel_about_proc;
extern DLGPROC panel_settings_proc;
extern DLGPROC panel_notice_proc;

// Where the open data's credit line goes, in the panel's client
// coordinates (empty before the controls exist).
void panel_credit_box(HWND panel, RECT *box);

INT_PTR CALLBACK panel_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif
