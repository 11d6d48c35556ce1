// The panel: the program's one visible window, a modeless dialog from
// template 129.
#ifndef VELVANE_PANEL_PANEL_H
#define VELVANE_PANEL_PANEL_H

#include <windows.h>

#include "fetch/weather_record.h"

enum {
    START_TIMER = 1,
    // 2 is FETCH_POLL_TIMER (fetch/fetch_job.h)
    REFRESH_TIMER = 3,     // the fetch schedule's one-shot timer: whatever fetch is due next
    CLOCK_TIMER = 4
};

// Posted to the panel when the machine's addresses change (by the network
// watch, or by a test standing in for it).
static const UINT PANEL_NETWORK_MESSAGE = WM_APP + 2;

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

// Shows the weather in the notification icon: temperature is the text the
// icon draws (UTF-8) or null for the thermometer, tip the tooltip (code
// page 1251). Set by the module of the icon before the panel is created;
// while null, the panel shows nothing there.
typedef void (*PanelTrayShow)(const char *temperature, const char *tip);
extern PanelTrayShow panel_tray_show;

// Gives a notice from the notification icon (title and text in code page
// 1251); set like panel_tray_show. A click on it comes back as the command
// CMD_NOTICE_DAY, which selects the notice's day.
typedef void (*PanelTrayNotice)(const char *title, const char *text);
extern PanelTrayNotice panel_tray_notice;

// The weather the panel shows: the last fetch's, or what is kept of an
// earlier one. Tests may change it and repaint.
WeatherRecord *panel_shown_record(void);

// Where the busy cue of an automatic fetch and the time of kept weather go:
// the strip from the calendar's left edge to the buttons below it, as high
// as the buttons (client coordinates; empty before the controls exist).
void panel_status_box(HWND panel, RECT *box);

// Where the open data's credit line goes, in the panel's client
// coordinates (empty before the controls exist).
void panel_credit_box(HWND panel, RECT *box);

INT_PTR CALLBACK panel_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif
