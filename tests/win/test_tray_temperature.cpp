// The temperature icon's pixels, and the address-change watch's messages
// through its seam (nothing changes the sandbox's addresses).
#include <doctest/doctest.h>

#include <string.h>

#include <vector>

#include "app/net_watch.h"
#include "app/tray_temperature.h"

namespace {

struct Pixels {
    int size = 0;
    std::vector<DWORD> argb;
    int light = 0;  // opaque and bright: the figures
    int dark = 0;   // opaque and dark: their edge
};

Pixels read_icon(HICON icon)
{
    Pixels result;
    ICONINFO info;
    REQUIRE(GetIconInfo(icon, &info));
    BITMAP bitmap;
    REQUIRE(GetObjectA(info.hbmColor, sizeof bitmap, &bitmap));
    result.size = bitmap.bmWidth;
    CHECK(bitmap.bmHeight == bitmap.bmWidth);
    BITMAPINFO header;
    memset(&header, 0, sizeof header);
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = result.size;
    header.bmiHeader.biHeight = -result.size;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    result.argb.resize((size_t)result.size * result.size);
    HDC dc = GetDC(nullptr);
    CHECK(GetDIBits(dc, info.hbmColor, 0, result.size, result.argb.data(), &header, DIB_RGB_COLORS) ==
          result.size);
    ReleaseDC(nullptr, dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    for (DWORD p : result.argb) {
        int alpha = (int)(p >> 24), green = (int)((p >> 8) & 0xFF);
        if (alpha >= 160 && green >= 200)
            result.light++;
        if (alpha >= 160 && green <= 60)
            result.dark++;
    }
    return result;
}

// Every bright pixel has its dark edge inside the icon: nothing is cut off.
bool figures_inside(const Pixels &icon)
{
    for (int y = 0; y < icon.size; y++)
        for (int x = 0; x < icon.size; x++) {
            DWORD p = icon.argb[(size_t)y * icon.size + x];
            bool bright = (p >> 24) >= 160 && ((p >> 8) & 0xFF) >= 200;
            if (bright && (x == 0 || y == 0 || x == icon.size - 1 || y == icon.size - 1))
                return false;
        }
    return true;
}

UINT posted_count(HWND window, UINT message, DWORD ms)
{
    UINT count = 0;
    DWORD start = GetTickCount();
    do {
        MSG m;
        while (PeekMessageA(&m, window, message, message, PM_REMOVE))
            count++;
        Sleep(10);
    } while (GetTickCount() - start < ms);
    return count;
}

}  // namespace

TEST_CASE("the temperature icon: figures with an edge, different for each temperature")
{
    const char *texts[] = {"\xE2\x88\x92" "7", "+12", "0", "\xE2\x88\x92" "25"};
    const int sizes[] = {16, 20, 24, 32};
    for (int size : sizes) {
        std::vector<std::vector<DWORD>> seen;
        for (const char *text : texts) {
            CAPTURE(size);
            CAPTURE(text);
            HICON icon = create_temperature_icon(text, size);
            REQUIRE(icon != nullptr);
            Pixels pixels = read_icon(icon);
            DestroyIcon(icon);
            CHECK(pixels.size == size);
            // Legible on a dark taskbar by the figures, on a light one by
            // their edge; a good part of the icon is used.
            CHECK(pixels.light >= size);
            CHECK(pixels.dark >= size);
            CHECK(pixels.light + pixels.dark >= size * size / 5);
            CHECK(figures_inside(pixels));
            for (const std::vector<DWORD> &other : seen)
                CHECK(other != pixels.argb);
            seen.push_back(pixels.argb);
        }
    }
    // The real minus is not the hyphen.
    HICON minus = create_temperature_icon("\xE2\x88\x92" "7", 32);
    HICON hyphen = create_temperature_icon("-7", 32);
    REQUIRE(minus != nullptr);
    REQUIRE(hyphen != nullptr);
    CHECK(read_icon(minus).argb != read_icon(hyphen).argb);
    DestroyIcon(minus);
    DestroyIcon(hyphen);

    CHECK(create_temperature_icon("", 16) == nullptr);
    CHECK(create_temperature_icon(nullptr, 16) == nullptr);
    CHECK(create_temperature_icon("+1", 2) == nullptr);
}

TEST_CASE("the address-change watch posts one message per change until stopped")
{
    const UINT MESSAGE = WM_APP + 7;
    HWND window = CreateWindowExA(0, "STATIC", "watch", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    REQUIRE(window != nullptr);
    // The system takes the request; with nothing changing, nothing comes.
    CHECK(net_watch_start(window, MESSAGE) == 1);
    CHECK(net_watch_start(window, MESSAGE) == 0);
    CHECK(posted_count(window, MESSAGE, 300) == 0);
    net_watch_simulate_change();
    CHECK(posted_count(window, MESSAGE, 300) == 1);
    net_watch_simulate_change();
    CHECK(posted_count(window, MESSAGE, 300) == 1);
    net_watch_stop();
    net_watch_simulate_change();
    CHECK(posted_count(window, MESSAGE, 200) == 0);
    // A second watch after a stop.
    CHECK(net_watch_start(window, MESSAGE) == 1);
    net_watch_simulate_change();
    CHECK(posted_count(window, MESSAGE, 300) == 1);
    net_watch_stop();
    DestroyWindow(window);
}
