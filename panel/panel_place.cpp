// The panel's place on the screen.
#include "panel/panel_place.h"

static int inside(const PlaceRect *area, int32_t left, int32_t top, int32_t width, int32_t height)
{
    return left >= area->left && top >= area->top && left + width <= area->right &&
           top + height <= area->bottom;
}

void place_panel_corner(const PlaceRect *home, const PlaceRect *areas, int32_t area_count,
                        int32_t width, int32_t height, const PlaceRect *user,
                        int32_t *left, int32_t *top)
{
    if (user != nullptr) {
        for (int32_t i = 0; i < area_count; i++)
            if (inside(&areas[i], user->left, user->top, width, height)) {
                *left = user->left;
                *top = user->top;
                return;
            }
    }
    *left = home->right - PANEL_MARGIN - width;
    *top = home->bottom - PANEL_MARGIN - height;
    // A panel larger than the work area keeps its caption and left edge on it.
    if (*left < home->left)
        *left = home->left;
    if (*top < home->top)
        *top = home->top;
}
