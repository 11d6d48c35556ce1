// The notification icon and its thread: a hidden window on a thread of its
// own receives the icon's mouse events and shows its menu, and acts on the
// panel by sending it commands and by showing, hiding and raising it.
#ifndef VELVANE_APP_TRAY_H
#define VELVANE_APP_TRAY_H

#include <windows.h>
#include <shellapi.h>

#include <atomic>

#include "panel/tray_text.h"

enum {
    TRAY_ICON_ID = 15,
    // The message through which the shell reports mouse events on the icon.
    TRAY_CALLBACK_MESSAGE = WM_USER + 11,
    // Sent to the tray window to have its own thread delete the icon and
    // destroy the window; the result is the shell's answer to the deletion.
    TRAY_REMOVE_MESSAGE = WM_USER + 12,
    TRAY_TIP_LENGTH = TRAY_TIP_MAX_CHARS,
    TRAY_READY_WAIT_MS = 1000
};

// Menu item ids of the icon's popup menu.
enum {
    TRAY_ITEM_SHOW = 0,
    TRAY_ITEM_SETTINGS = 1,
    TRAY_ITEM_REFRESH = 2,
    TRAY_ITEM_ABOUT = 3,
    TRAY_ITEM_EXIT = 4
};

// The hidden window of the tray thread; null when none exists.
extern std::atomic<HWND> tray_window;

// Replaces the stored tooltip with a copy of text, cut after 127 characters;
// null stores none.
void set_tray_tip(const char *text);

// The stored tooltip, or null. The text stays owned by this module.
const char *tray_tip(void);

// Shows the weather in the icon: temperature (UTF-8, as tray_temperature_text
// gives it) drawn at the small-icon size of the icon's dots per inch, or the
// thermometer when null or empty; tip replaces the stored tooltip. Both are
// kept, so that an icon added again after a shell restart shows them too.
// Any thread. 1 when the shell took the change.
int tray_show_weather(const char *temperature, const char *tip);

// Shows a notice from the icon (NIF_INFO, with the icon's own picture):
// title and text in code page 1251, cut to the shell's 63 and 255
// characters. Any thread. 1 when the shell took it.
int tray_show_notice(const char *title, const char *text);

// Fills the notification data for tray_window and the icon id; when adding,
// also the flags, the callback message, the icon and the tooltip.
void tray_fill_data(NOTIFYICONDATAA *data, int adding, HICON icon);

// Adds the application icon to the notification area, starting the tray
// thread first when there is no tray window. 1 when the shell took it.
int tray_add_icon(void);

// Deletes the icon and the tray window (on the tray thread, which owns the
// window); tray_window is null afterwards. The shell's answer to the deletion.
int tray_remove_icon(void);

// Starts the tray thread and waits for its window: 1 when it was ready
// within one second.
int start_tray_thread(void);

// The shell's report of a mouse event on icon icon_id.
void tray_notify(UINT icon_id, UINT mouse_message);

// A choice from the popup menu.
void tray_command(UINT item_id);

// Shows the panel when force_show is set or it is hidden (and brings it to
// the front), hides it otherwise.
void toggle_panel(int force_show);

// Makes window the foreground window.
void bring_to_front(HWND window);

#endif
