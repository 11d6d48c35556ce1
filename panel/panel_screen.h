// The panel on the screen: its place (at the notification area's corner of
// the work area, or where the user left it) and the dots per inch that the
// windows of this program are drawn at.
#ifndef VELVANE_PANEL_PANEL_SCREEN_H
#define VELVANE_PANEL_PANEL_SCREEN_H

#include <windows.h>

// The window's dots per inch: its monitor's under per-monitor awareness,
// the system's otherwise and on systems before Windows 10.
int window_dpi(HWND window);

// A system metric at the given dots per inch (the system's value where the
// system cannot scale it).
int metric_for_dpi(int index, int dpi);

// Moves the panel to its place: 7 pixels from the right and bottom edges of
// the work area of the monitor that holds the notification area, unless the
// user has dragged it somewhere it is still wholly visible. Any thread.
void place_panel(HWND panel);

// The user has moved the panel (the end of a drag, a move by keyboard).
void note_panel_moved_by_user(void);

// The user is dragging the panel (WM_ENTERSIZEMOVE to WM_EXITSIZEMOVE):
// meanwhile place_panel leaves it where the hand has it, even when a new
// monitor's scale makes the panel fit itself anew.
void note_panel_dragged(int dragging);

#endif
