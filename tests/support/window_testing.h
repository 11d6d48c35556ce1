// Windows of the program driven inside a test's own thread: the message
// loop run for a while, the windows counted, the foreground taken away.
#ifndef VELVANE_TESTS_SUPPORT_WINDOW_TESTING_H
#define VELVANE_TESTS_SUPPORT_WINDOW_TESTING_H

#include <windows.h>

// Runs the thread's messages for ms milliseconds as the program's own loop
// does: the panel and each open dialog take their keyboard messages first.
void pump_for(DWORD ms);

// How many visible windows of this thread have exactly this title.
int count_windows_titled(const char *title);

// A plain topmost window that takes the foreground; destroy it when done.
HWND cover_window(void);

#endif
