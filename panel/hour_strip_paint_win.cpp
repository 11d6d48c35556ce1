// The hourly strip's drawing: eight columns of hour, icon, temperature and
// precipitation, from the scaled layout.
#include "panel/hour_strip.h"

#include "panel/date_text.h"
#include "res/resource.h"

#define HOUR_STRIP_TEXT_COLOUR RGB(0, 0, 0)
#define HOUR_STRIP_TEMPERATURE_COLOUR RGB(0, 0, 255)
#define HOUR_STRIP_PRECIPITATION_COLOUR RGB(0, 96, 160)
#define HOUR_STRIP_MUTED_COLOUR RGB(160, 160, 160)

static int strip_scaled(int pixels_at_96, int dpi)
{
    return MulDiv(pixels_at_96, dpi, USER_DEFAULT_SCREEN_DPI);
}

void hour_strip_layout_for_dpi(int dpi, int left, int top, HourStripLayout *layout)
{
    if (dpi <= 0)
        dpi = USER_DEFAULT_SCREEN_DPI;
    layout->left = left;
    layout->top = top;
    layout->column_width = strip_scaled(HOUR_STRIP_COLUMN_WIDTH, dpi);
    layout->icon_size = strip_scaled(HOUR_STRIP_ICON_SIZE, dpi);
    layout->line_height = strip_scaled(HOUR_STRIP_LINE_HEIGHT, dpi);
    layout->gap = strip_scaled(HOUR_STRIP_GAP, dpi);
    layout->height = 3 * layout->line_height + layout->icon_size + 3 * layout->gap;
    layout->font_height = -MulDiv(HOUR_STRIP_FONT_POINTS, dpi, 72);
}

// One line of text centred in its column.
static void strip_line(HDC dc, int left, int top, int width, int height, const char *text, COLORREF colour)
{
    RECT box = {left, top, left + width, top + height};
    SetTextColor(dc, colour);
    DrawTextA(dc, text, -1, &box, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
}

void paint_hour_strip(HDC dc, const HourStripLayout *layout, const HourStep *steps, const HICON *icons,
                      int32_t muted, HFONT font)
{
    HGDIOBJ old_font = SelectObject(dc, font);
    int old_mode = SetBkMode(dc, TRANSPARENT);
    char text[HOUR_STRIP_TEXT_SIZE];
    for (int32_t s = 0; s < HOUR_STEPS; s++) {
        const HourStep *step = &steps[s];
        int past = s < muted;
        int left = layout->left + s * layout->column_width;
        int y = layout->top;
        strip_line(dc, left, y, layout->column_width, layout->line_height, hour_step_label(s, text, sizeof text),
                   past ? HOUR_STRIP_MUTED_COLOUR : HOUR_STRIP_TEXT_COLOUR);
        y += layout->line_height + layout->gap;
        int condition = step->condition >= 0 && step->condition < HOUR_STRIP_CONDITIONS ? step->condition : 0;
        if (icons != NULL && icons[condition] != NULL)
            DrawIconEx(dc, left + (layout->column_width - layout->icon_size) / 2, y, icons[condition],
                       layout->icon_size, layout->icon_size, 0, NULL, DI_NORMAL);
        y += layout->icon_size + layout->gap;
        strip_line(dc, left, y, layout->column_width, layout->line_height, temperature_text(step->temperature),
                   past ? HOUR_STRIP_MUTED_COLOUR : HOUR_STRIP_TEMPERATURE_COLOUR);
        y += layout->line_height + layout->gap;
        strip_line(dc, left, y, layout->column_width, layout->line_height,
                   hour_precipitation_text(step->precipitation_tenths, text, sizeof text),
                   past ? HOUR_STRIP_MUTED_COLOUR : HOUR_STRIP_PRECIPITATION_COLOUR);
    }
    SetBkMode(dc, old_mode);
    SelectObject(dc, old_font);
}

void hour_strip_art_load(HINSTANCE instance, const HourStripLayout *layout, HourStripArt *art)
{
    for (int k = 0; k < HOUR_STRIP_CONDITIONS; k++)
        art->icons[k] = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(IDI_CONDITION_FIRST + k), IMAGE_ICON,
                                          layout->icon_size, layout->icon_size, LR_DEFAULTCOLOR);
    LOGFONTA font;
    ZeroMemory(&font, sizeof font);
    font.lfHeight = layout->font_height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = ANTIALIASED_QUALITY;
    lstrcpyA(font.lfFaceName, "Arial Cyr");
    art->font = CreateFontIndirectA(&font);
}

void hour_strip_art_free(HourStripArt *art)
{
    for (HICON &icon : art->icons) {
        if (icon != NULL)
            DestroyIcon(icon);
        icon = NULL;
    }
    if (art->font != NULL)
        DeleteObject(art->font);
    art->font = NULL;
}
