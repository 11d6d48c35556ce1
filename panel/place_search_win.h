// The place search: a small modeless window, opened from the panel's
// "Найти…", that asks the open data's geocoding for places by name and
// hands the one chosen to the panel.
#ifndef VELVANE_PANEL_PLACE_SEARCH_WIN_H
#define VELVANE_PANEL_PLACE_SEARCH_WIN_H

#include <windows.h>

#include "fetch/geocoding_parser.h"

enum {
    PLACE_SEARCH_DELAY_MS = 400  // the search starts this long after the typing stops
};

// The search window (template IDD_PLACE_SEARCH) while it is open, else
// null; it clears this itself when it is destroyed.
extern HWND place_search_dialog;

// Sent to the window's owner (the panel) when the user chooses a place:
// the second parameter points at a FoundPlace whose texts are in code page
// 1251, valid during the call. The search window then closes.
static const UINT PLACE_CHOSEN_MESSAGE = WM_APP + 3;

INT_PTR CALLBACK place_search_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// A place of the answer (texts in UTF-8) with its texts in code page 1251,
// as the settings keep them: Windows' best fit gives the nearest plain
// letter where 1251 has none.
void found_place_to_cp1251(const FoundPlace *utf8, FoundPlace *cp1251);

#endif
