// The temperature icon: the text is drawn white on black into a grey-scale
// buffer of its own (GDI writes no alpha), then the buffer's grey becomes
// the figures' opacity and, widened by the outline, the dark edge's.
#include "app/tray_temperature.h"

#include <string.h>

#include "fetch/encoding.h"
#include "util/mem.h"

enum {
    MIN_ICON_SIZE = 8,
    MAX_ICON_SIZE = 256,
    OUTLINE_ALPHA = 230,    // the edge is a little translucent, so it reads as a shadow
    MIN_SQUEEZE_PERCENT = 50  // narrower figures than this lose their shapes
};

static const wchar_t MINUS_SIGN = 0x2212;

// A top-down 32-bit DIB section for drawing, with its pixels.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old_bitmap;
    DWORD *pixels;
    int width;
    int height;
};

// 32-bit pixels, top row first: the layout of both the drawing canvas and
// the icon's colour bitmap.
static void describe_pixels(BITMAPINFO *info, int width, int height)
{
    memset(info, 0, sizeof *info);
    info->bmiHeader.biSize = sizeof info->bmiHeader;
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = -height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 32;
    info->bmiHeader.biCompression = BI_RGB;
}

static int canvas_open(Canvas *canvas, int width, int height)
{
    memset(canvas, 0, sizeof *canvas);
    BITMAPINFO info;
    describe_pixels(&info, width, height);
    canvas->dc = CreateCompatibleDC(NULL);
    if (canvas->dc == NULL)
        return 0;
    void *bits = NULL;
    canvas->bitmap = CreateDIBSection(canvas->dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (canvas->bitmap == NULL || bits == NULL) {
        DeleteDC(canvas->dc);
        canvas->dc = NULL;
        return 0;
    }
    canvas->old_bitmap = SelectObject(canvas->dc, canvas->bitmap);
    canvas->pixels = (DWORD *)bits;
    canvas->width = width;
    canvas->height = height;
    return 1;
}

static void canvas_close(Canvas *canvas)
{
    if (canvas->dc != NULL) {
        SelectObject(canvas->dc, canvas->old_bitmap);
        DeleteDC(canvas->dc);
    }
    if (canvas->bitmap != NULL)
        DeleteObject(canvas->bitmap);
    memset(canvas, 0, sizeof *canvas);
}

static HFONT create_figure_font(int height, int width)
{
    LOGFONTW font;
    memset(&font, 0, sizeof font);
    font.lfHeight = -height;
    font.lfWidth = width;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    // Grey anti-aliasing: ClearType's coloured fringes would show as
    // colour in the opacity.
    font.lfQuality = ANTIALIASED_QUALITY;
    wcscpy(font.lfFaceName, L"Arial");
    return CreateFontIndirectW(&font);
}

// The box of the drawn figures in the canvas (right and bottom exclusive);
// 0 when nothing was drawn.
static int ink_box(const Canvas *canvas, RECT *box)
{
    int found = 0;
    RECT r = {canvas->width, canvas->height, 0, 0};
    for (int y = 0; y < canvas->height; y++)
        for (int x = 0; x < canvas->width; x++)
            if ((canvas->pixels[y * canvas->width + x] & 0xFF00) >= 0x4000) {
                if (x < r.left) r.left = x;
                if (y < r.top) r.top = y;
                if (x + 1 > r.right) r.right = x + 1;
                if (y + 1 > r.bottom) r.bottom = y + 1;
                found = 1;
            }
    *box = r;
    return found;
}

// Draws text white on black with a font of the given height and width (0:
// the font's own) and finds the box of its ink.
static int draw_figures(Canvas *canvas, const wchar_t *text, int height, int width, RECT *box)
{
    memset(canvas->pixels, 0, (size_t)canvas->width * canvas->height * sizeof(DWORD));
    HFONT font = create_figure_font(height, width);
    if (font == NULL)
        return 0;
    HGDIOBJ old_font = SelectObject(canvas->dc, font);
    SetTextColor(canvas->dc, RGB(255, 255, 255));
    SetBkMode(canvas->dc, TRANSPARENT);
    RECT whole = {0, 0, canvas->width, canvas->height};
    DrawTextW(canvas->dc, text, -1, &whole, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    GdiFlush();
    SelectObject(canvas->dc, old_font);
    DeleteObject(font);
    return ink_box(canvas, box);
}

// The font's own character width at a height, for squeezing.
static int natural_width(HDC dc, int height)
{
    HFONT font = create_figure_font(height, 0);
    if (font == NULL)
        return 0;
    HGDIOBJ old_font = SelectObject(dc, font);
    TEXTMETRICW metrics;
    int width = GetTextMetricsW(dc, &metrics) ? metrics.tmAveCharWidth : 0;
    SelectObject(dc, old_font);
    DeleteObject(font);
    return width;
}

// A font without the minus sign would draw a box: then the hyphen stands in.
static void replace_missing_minus(HDC dc, wchar_t *text)
{
    HFONT font = create_figure_font(16, 0);
    if (font == NULL)
        return;
    HGDIOBJ old_font = SelectObject(dc, font);
    WORD glyph = 0;
    wchar_t minus[1] = {MINUS_SIGN};
    int missing = GetGlyphIndicesW(dc, minus, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR ||
                  glyph == 0xFFFF;
    SelectObject(dc, old_font);
    DeleteObject(font);
    if (missing)
        for (wchar_t *c = text; *c; c++)
            if (*c == MINUS_SIGN)
                *c = L'-';
}

static int fits(const RECT *box, int room)
{
    return box->right - box->left <= room && box->bottom - box->top <= room;
}

// Draws the text as large as fits in room x room pixels: the height that
// fills the room, squeezed sideways when the figures are too wide, and
// lower where the squeeze would go too far; then smaller a pixel at a time
// until it fits whatever the font's rounding did.
static int draw_fitted(Canvas *canvas, const wchar_t *text, int room, RECT *box)
{
    int height = room * 2;
    if (!draw_figures(canvas, text, height, 0, box))
        return 0;
    height = height * room / (box->bottom - box->top);
    if (!draw_figures(canvas, text, height, 0, box))
        return 0;
    int width = 0;
    int ink_width = box->right - box->left;
    if (ink_width > room) {
        int percent = room * 100 / ink_width;
        if (percent < MIN_SQUEEZE_PERCENT) {
            height = height * percent / MIN_SQUEEZE_PERCENT;
            percent = MIN_SQUEEZE_PERCENT;
        }
        width = natural_width(canvas->dc, height) * percent / 100;
        if (width < 1)
            width = 1;
        if (!draw_figures(canvas, text, height, width, box))
            return 0;
    }
    while (!fits(box, room)) {
        if (height <= 2)
            return 0;
        if (width > 1)
            width = width * (height - 1) / height;
        height--;
        if (!draw_figures(canvas, text, height, width, box))
            return 0;
    }
    return 1;
}

// The figures' grey at a point of the canvas, 0 outside it.
static int grey_at(const Canvas *canvas, int x, int y)
{
    if (x < 0 || y < 0 || x >= canvas->width || y >= canvas->height)
        return 0;
    return (int)((canvas->pixels[y * canvas->width + x] >> 8) & 0xFF);
}

// The icon's straight-alpha pixels: grey figures' opacity in white, over an
// edge of radius outline in black.
static void compose_pixels(const Canvas *canvas, const RECT *box, int size, int outline, DWORD *out)
{
    int shift_x = (size - (box->right - box->left)) / 2 - box->left;
    int shift_y = (size - (box->bottom - box->top)) / 2 - box->top;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            int cx = x - shift_x, cy = y - shift_y;
            int figure = grey_at(canvas, cx, cy);
            int edge = 0;
            for (int dy = -outline; dy <= outline; dy++)
                for (int dx = -outline; dx <= outline; dx++) {
                    // A round edge: the corners of the square stay open.
                    if (outline > 1 && dx * dx + dy * dy > outline * outline + 1)
                        continue;
                    int g = grey_at(canvas, cx + dx, cy + dy);
                    if (g > edge)
                        edge = g;
                }
            int edge_alpha = edge * OUTLINE_ALPHA / 255;
            int alpha = figure > edge_alpha ? figure : edge_alpha;
            // White in proportion to the figure over the black edge; the
            // colour is undone by alpha, so it is stored straight.
            int white = alpha > 0 ? figure * 255 / alpha : 0;
            if (white > 255)
                white = 255;
            out[y * size + x] = ((DWORD)alpha << 24) | ((DWORD)white << 16) | ((DWORD)white << 8) | (DWORD)white;
        }
}

static HICON icon_from_pixels(const DWORD *pixels, int size)
{
    BITMAPINFO info;
    describe_pixels(&info, size, size);
    void *bits = NULL;
    HBITMAP colour = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (colour == NULL || bits == NULL)
        return NULL;
    memcpy(bits, pixels, (size_t)size * size * sizeof(DWORD));
    GdiFlush();
    // An all-zero mask: with 32-bit colour the alpha decides. Rows of a
    // monochrome bitmap are padded to 16 bits.
    uint32_t mask_size = (uint32_t)((size + 15) / 16 * 2 * size);
    void *mask_bits = mem_alloc(mask_size);
    HBITMAP mask = NULL;
    if (mask_bits != NULL) {
        memset(mask_bits, 0, mask_size);
        mask = CreateBitmap(size, size, 1, 1, mask_bits);
        mem_free(mask_bits);
    }
    HICON icon = NULL;
    if (mask != NULL) {
        ICONINFO icon_info;
        memset(&icon_info, 0, sizeof icon_info);
        icon_info.fIcon = TRUE;
        icon_info.hbmColor = colour;
        icon_info.hbmMask = mask;
        icon = CreateIconIndirect(&icon_info);
        DeleteObject(mask);
    }
    DeleteObject(colour);
    return icon;
}

HICON create_temperature_icon(const char *text, int size)
{
    if (text == NULL || text[0] == 0 || size < MIN_ICON_SIZE || size > MAX_ICON_SIZE)
        return NULL;
    wchar_t *wide = (wchar_t *)utf8_to_utf16(text);
    if (wide == NULL)
        return NULL;
    int outline = size / 16 > 1 ? size / 16 : 1;
    int room = size - 2 * outline;
    HICON icon = NULL;
    Canvas canvas;
    // Wide enough for three squeezed figures at twice the height.
    if (canvas_open(&canvas, size * 6, size * 3)) {
        replace_missing_minus(canvas.dc, wide);
        RECT box;
        if (draw_fitted(&canvas, wide, room, &box)) {
            DWORD *pixels = (DWORD *)mem_alloc((uint32_t)(size * size * sizeof(DWORD)));
            if (pixels != NULL) {
                compose_pixels(&canvas, &box, size, outline, pixels);
                icon = icon_from_pixels(pixels, size);
                mem_free(pixels);
            }
        }
        canvas_close(&canvas);
    }
    mem_free(wide);
    return icon;
}
