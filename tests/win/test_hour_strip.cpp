// The hourly strip's pixels where its scaled layout puts them, at 96 and
// 144 dots per inch, with the program's condition icons: per column the
// hour, a sun in colour, the temperature (blue, grey once past) and the
// precipitation (none for 0 mm), and nothing outside the strip.
#include <doctest/doctest.h>

#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "panel/hour_strip.h"
#include "res/resource.h"

// Ink in a rectangle of a white 32-bit top-down canvas: any, and clearly blue.
static void ink_in(const DWORD *pixels, int width, RECT r, int *any, int *blue)
{
    *any = *blue = 0;
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++) {
            DWORD p = pixels[y * width + x] & 0xFFFFFF;
            int red = (int)(p >> 16), green = (int)((p >> 8) & 0xFF), b = (int)(p & 0xFF);
            *any += p != 0xFFFFFF;
            *blue += b > red + 60 && b > green + 60;
        }
}

TEST_CASE("the strip's pixels at 96 and 144 dots per inch")
{
    HourStep steps[HOUR_STEPS];
    for (int s = 0; s < HOUR_STEPS; s++)
        steps[s] = {s - 3, 7, s == 5 ? 0 : 25, 0};  // the sun; no precipitation at 15:00
    const int MUTED = 3;
    for (int dpi : {96, 144}) {
        CAPTURE(dpi);
        HourStripLayout l;
        hour_strip_layout_for_dpi(dpi, MulDiv(10, dpi, 96), MulDiv(20, dpi, 96), &l);
        CHECK(l.icon_size == MulDiv(HOUR_STRIP_ICON_SIZE, dpi, 96));
        HICON icons[20];
        for (int k = 0; k < 20; k++)
            icons[k] = (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_CONDITION_FIRST + k), IMAGE_ICON,
                                         l.icon_size, l.icon_size, LR_DEFAULTCOLOR);
        LOGFONTA lf;
        memset(&lf, 0, sizeof lf);
        lf.lfHeight = l.font_height;
        strcpy(lf.lfFaceName, "Arial");
        HFONT font = CreateFontIndirectA(&lf);
        int right = l.left + HOUR_STEPS * l.column_width, bottom = l.top + l.height;
        int width = right + l.left, height = bottom + l.top;
        BITMAPINFO info;
        memset(&info, 0, sizeof info);
        info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void *bits = NULL;
        HDC dc = CreateCompatibleDC(NULL);
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
        REQUIRE(bitmap != NULL);
        SelectObject(dc, bitmap);
        DWORD *pixels = (DWORD *)bits;
        memset(pixels, 0xFF, (size_t)width * height * 4);
        paint_hour_strip(dc, &l, steps, icons, MUTED, font);

        int any, blue;
        const RECT outside[] = {{0, 0, width, l.top}, {0, bottom, width, height}, {0, 0, l.left, height},
                                {right, 0, width, height}};
        for (const RECT &r : outside) {
            ink_in(pixels, width, r, &any, &blue);
            CHECK(any == 0);
        }
        int icon_top = l.top + l.line_height + l.gap, temperature_top = icon_top + l.icon_size + l.gap;
        int precipitation_top = temperature_top + l.line_height + l.gap;
        for (int s = 0; s < HOUR_STEPS; s++) {
            CAPTURE(s);
            int left = l.left + s * l.column_width, icon_left = left + (l.column_width - l.icon_size) / 2;
            ink_in(pixels, width, {left, l.top, left + l.column_width, icon_top}, &any, &blue);
            CHECK(any > 0);
            ink_in(pixels, width, {icon_left, icon_top, icon_left + l.icon_size, icon_top + l.icon_size}, &any, &blue);
            CHECK(any > l.icon_size * l.icon_size / 8);
            ink_in(pixels, width, {left, temperature_top, left + l.column_width, precipitation_top}, &any, &blue);
            CHECK(any > 0);
            CHECK((blue > 0) == (s >= MUTED));
            ink_in(pixels, width, {left, precipitation_top, left + l.column_width, bottom}, &any, &blue);
            CHECK((any > 0) == (s != 5));
        }
        DeleteDC(dc);
        DeleteObject(bitmap);
        DeleteObject(font);
        for (HICON icon : icons)
            DestroyIcon(icon);
    }
}
