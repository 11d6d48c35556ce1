// Where the panel goes on the screen, as a function of the work areas and
// of where the user left it; no windowing system involved.
#ifndef VELVANE_PANEL_PANEL_PLACE_H
#define VELVANE_PANEL_PANEL_PLACE_H

#include <stdint.h>

enum {
    PANEL_MARGIN = 7,        // pixels from the work area's right and bottom edges
    PLACE_MAX_AREAS = 16     // monitors looked at
};

// A rectangle in screen pixels, right and bottom exclusive.
struct PlaceRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The panel's top-left corner. home is the work area of the monitor that
// holds the notification area; areas are the work areas of all monitors.
// user, when not null, is where the user dragged the panel: it stays there
// while the panel (width x height at that corner) lies wholly inside one
// of the areas. Otherwise the panel goes PANEL_MARGIN pixels from home's
// right and bottom edges, but never past its left or top edge.
void place_panel_corner(const PlaceRect *home, const PlaceRect *areas, int32_t area_count,
                        int32_t width, int32_t height, const PlaceRect *user,
                        int32_t *left, int32_t *top);

#endif
