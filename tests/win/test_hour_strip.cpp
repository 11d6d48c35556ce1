// The hourly strip's pixels where its scaled layout puts them, at 96 and
// 144 dots per inch, drawn into a bitmap of the test's own with the
// program's condition icons: every column's hour, icon, temperature and
// precipitation in its own band, the past steps grey, nothing outside.
#include <doctest/doctest.h>

#include <string.h>

#include <vector>

#include "fetch/weather_record.h"
#include "panel/hour_strip.h"
#include "res/resource.h"

namespace {

const DWORD WHITE = 0xFFFFFF;

struct Canvas {
    int width, height;
    HDC dc;
    HBITMAP bitmap;
    DWORD *pixels;
    Canvas(int w, int h) : width(w), height(h)
    {
        BITMAPINFO info;
        memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = NULL;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
        REQUIRE(bitmap != NULL);
        SelectObject(dc, bitmap);
        pixels = (DWORD *)bits;
        for (int i = 0; i < w * h; i++)
            pixels[i] = WHITE;
    }
    ~Canvas()
    {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    DWORD at(int x, int y) const { return pixels[y * width + x] & 0xFFFFFF; }
};

struct Ink {
    int any = 0;
    int blue = 0;     // clearly blue: the temperature's colour
    int coloured = 0; // not grey
};

Ink ink_in(const Canvas &c, int left, int top, int right, int bottom)
{
    Ink ink;
    for (int y = top; y < bottom; y++)
        for (int x = left; x < right; x++) {
            DWORD p = c.at(x, y);
            if (p == WHITE)
                continue;
            int r = (int)((p >> 16) & 0xFF), g = (int)((p >> 8) & 0xFF), b = (int)(p & 0xFF);
            ink.any++;
            if (b > r + 60 && b > g + 60)
                ink.blue++;
            if (abs(r - g) > 12 || abs(g - b) > 12 || abs(r - b) > 12)
                ink.coloured++;
        }
    return ink;
}

} // namespace

TEST_CASE("the strip's pixels at 96 and 144 dots per inch")
{
    HourStep steps[HOUR_STEPS];
    for (int s = 0; s < HOUR_STEPS; s++) {
        steps[s].temperature = s - 3;
        steps[s].condition = 7;  // the sun
        steps[s].code = 0;
        steps[s].precipitation_tenths = s == 5 ? 0 : 25;
    }
    const int MUTED = 3;
    for (int dpi : {96, 144}) {
        CAPTURE(dpi);
        HourStripLayout l;
        hour_strip_layout_for_dpi(dpi, MulDiv(10, dpi, 96), MulDiv(20, dpi, 96), &l);
        CHECK(l.column_width == MulDiv(HOUR_STRIP_COLUMN_WIDTH, dpi, 96));
        CHECK(l.icon_size == MulDiv(HOUR_STRIP_ICON_SIZE, dpi, 96));
        CHECK(abs(l.height - MulDiv(3 * HOUR_STRIP_LINE_HEIGHT + HOUR_STRIP_ICON_SIZE + 3 * HOUR_STRIP_GAP, dpi, 96)) <=
              2);
        HICON icons[20];
        for (int k = 0; k < 20; k++)
            icons[k] = (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_CONDITION_FIRST + k), IMAGE_ICON,
                                         l.icon_size, l.icon_size, LR_DEFAULTCOLOR);
        REQUIRE(icons[7] != NULL);
        LOGFONTA lf;
        memset(&lf, 0, sizeof lf);
        lf.lfHeight = l.font_height;
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        strcpy(lf.lfFaceName, "Arial");
        HFONT font = CreateFontIndirectA(&lf);
        Canvas c(l.left + HOUR_STEPS * l.column_width + l.left, l.top + l.height + l.top);
        paint_hour_strip(c.dc, &l, steps, icons, MUTED, font);

        // Nothing outside the strip.
        int right = l.left + HOUR_STEPS * l.column_width, bottom = l.top + l.height;
        CHECK(ink_in(c, 0, 0, c.width, l.top).any == 0);
        CHECK(ink_in(c, 0, bottom, c.width, c.height).any == 0);
        CHECK(ink_in(c, 0, 0, l.left, c.height).any == 0);
        CHECK(ink_in(c, right, 0, c.width, c.height).any == 0);

        int label_top = l.top, icon_top = label_top + l.line_height + l.gap;
        int temperature_top = icon_top + l.icon_size + l.gap;
        int precipitation_top = temperature_top + l.line_height + l.gap;
        for (int s = 0; s < HOUR_STEPS; s++) {
            CAPTURE(s);
            int left = l.left + s * l.column_width, column_right = left + l.column_width;
            CHECK(ink_in(c, left, label_top, column_right, icon_top).any > 0);
            // The sun, centred, in colour.
            int icon_left = left + (l.column_width - l.icon_size) / 2;
            Ink icon = ink_in(c, icon_left, icon_top, icon_left + l.icon_size, icon_top + l.icon_size);
            CHECK(icon.coloured > l.icon_size * l.icon_size / 8);
            Ink temperature = ink_in(c, left, temperature_top, column_right, precipitation_top);
            CHECK(temperature.any > 0);
            CHECK((temperature.blue > 0) == (s >= MUTED));
            if (s < MUTED)
                CHECK(temperature.coloured == 0);
            CHECK((ink_in(c, left, precipitation_top, column_right, bottom).any > 0) == (s != 5));
        }
        DeleteObject(font);
        for (HICON icon : icons)
            DestroyIcon(icon);
    }
}
