// The panel's place: the corner of the notification area's monitor for a
// taskbar on each edge and for two monitors, and the place the user chose
// kept while it is wholly visible.
#include <doctest/doctest.h>

#include "panel/panel_place.h"

namespace {

const int32_t W = 500, H = 320;  // the panel

struct Case {
    const char *name;
    PlaceRect home;
    PlaceRect areas[2];
    int32_t area_count;
    bool moved;
    int32_t user_left, user_top;  // where the user put it, when moved
    int32_t left, top;
};

} // namespace

TEST_CASE("the panel's place for each taskbar edge, two monitors and a user's move")
{
    const PlaceRect bottom = {0, 0, 1920, 1040}, top = {0, 40, 1920, 1080}, left = {60, 0, 1920, 1080},
                    right = {0, 0, 1860, 1080}, whole = {0, 0, 1920, 1080};
    const PlaceRect second_left = {-1280, 0, 0, 984}, second_right = {1920, 60, 3840, 1080};
    const Case cases[] = {
        {"taskbar at the bottom", bottom, {bottom, bottom}, 1, false, 0, 0, 1413, 713},
        {"taskbar at the top", top, {top, top}, 1, false, 0, 0, 1413, 753},
        {"taskbar on the left", left, {left, left}, 1, false, 0, 0, 1413, 753},
        {"taskbar on the right", right, {right, right}, 1, false, 0, 0, 1353, 753},
        {"no taskbar yet: the whole screen", whole, {whole, whole}, 1, false, 0, 0, 1413, 753},
        {"taskbar on a second monitor to the left", second_left, {bottom, second_left}, 2, false, 0, 0, -507, 657},
        {"taskbar at the top of a second monitor to the right", second_right, {bottom, second_right}, 2, false, 0, 0,
         3333, 753},
        {"moved by the user, wholly visible: kept", bottom, {bottom, bottom}, 1, true, 100, 200, 100, 200},
        {"moved to the other monitor: kept", bottom, {bottom, second_left}, 2, true, -900, 10, -900, 10},
        {"moved across two monitors: back to the corner", bottom, {bottom, second_left}, 2, true, -200, 10, 1413,
         713},
        {"moved under the taskbar that came later: back to the corner", bottom, {bottom, bottom}, 1, true, 1413, 753,
         1413, 713},
        {"on a monitor that is gone: back to the corner", bottom, {bottom, bottom}, 1, true, -900, 10, 1413, 713},
        {"a work area smaller than the panel: its top-left corner", {10, 20, 400, 300}, {{10, 20, 400, 300}, {10, 20, 400, 300}}, 1,
         false, 0, 0, 10, 20},
    };
    for (const Case &c : cases) {
        CAPTURE(c.name);
        int32_t x = -1, y = -1;
        PlaceRect user = {c.user_left, c.user_top, c.user_left + W, c.user_top + H};
        place_panel_corner(&c.home, c.areas, c.area_count, W, H, c.moved ? &user : nullptr, &x, &y);
        CHECK(x == c.left);
        CHECK(y == c.top);
        if (!c.moved && c.home.right - c.home.left >= W + PANEL_MARGIN) {
            // Whatever the edge, the panel lies inside its work area.
            CHECK(x >= c.home.left);
            CHECK(y >= c.home.top);
            CHECK(x + W == c.home.right - PANEL_MARGIN);
            CHECK(y + H == c.home.bottom - PANEL_MARGIN);
        }
    }
}
