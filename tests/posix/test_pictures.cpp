// The packed pictures as the resource script embeds them: every icon file
// holds the images the program loads (sizes, 32-bit colour with alpha, the
// images of 64 pixels and more as PNG), and the notice bitmap is 316 x 186
// at 8 bits per pixel with a palette. The headers are read here byte by byte, as Windows reads them.
// scripts/gen-pictures --check (a test of its own) shows the files are
// current with their sources.
#include <doctest/doctest.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

static std::vector<unsigned char> read_file(const std::string &relative)
{
    std::string path = std::string(VELVANE_SOURCE_DIR) + "/" + relative;
    std::vector<unsigned char> data;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return data;
    unsigned char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, file)) > 0)
        data.insert(data.end(), block, block + n);
    fclose(file);
    return data;
}

static unsigned u16(const std::vector<unsigned char> &d, size_t at)
{
    return d[at] | d[at + 1] << 8;
}

static uint32_t u32(const std::vector<unsigned char> &d, size_t at)
{
    return (uint32_t)d[at] | (uint32_t)d[at + 1] << 8 | (uint32_t)d[at + 2] << 16 | (uint32_t)d[at + 3] << 24;
}

static int32_t s32(const std::vector<unsigned char> &d, size_t at)
{
    return (int32_t)u32(d, at);
}

static uint32_t be32(const std::vector<unsigned char> &d, size_t at)
{
    return (uint32_t)d[at] << 24 | (uint32_t)d[at + 1] << 16 | (uint32_t)d[at + 2] << 8 | (uint32_t)d[at + 3];
}

// One image of an icon file, as its directory entry and its data say.
struct IconImage {
    int width;          // from the directory entry (0 there means 256)
    int height;
    int entry_bits;     // directory entry's bit count
    bool png;           // the data is a PNG stream
    int data_width;     // from the BITMAPINFOHEADER or the PNG's IHDR
    int data_height;    // for BMP: the image's own height (half of biHeight)
    int data_bits;      // BMP: biBitCount; PNG: bit depth x channels
    int transparent;    // pixels with alpha 0 (BMP entries)
    int opaque;         // pixels with alpha 255 (BMP entries)
    bool mask_agrees;   // the AND mask is set where alpha is 0, clear where it is 255
};

// Reads the ICONDIR, each ICONDIRENTRY and the start of each image. Every
// structural fault fails a check and stops; the images read so far are kept.
static std::vector<IconImage> read_icon(const std::string &relative)
{
    std::vector<IconImage> images;
    std::vector<unsigned char> d = read_file(relative);
    INFO(relative);
    REQUIRE_MESSAGE(d.size() >= 6, "missing or short icon file");
    REQUIRE(u16(d, 0) == 0);  // reserved
    REQUIRE(u16(d, 2) == 1);  // type 1: icon
    unsigned count = u16(d, 4);
    REQUIRE(count > 0);
    REQUIRE(d.size() >= 6 + 16 * (size_t)count);
    for (unsigned i = 0; i < count; i++) {
        size_t e = 6 + 16 * i;
        IconImage img = {};
        img.width = d[e] ? d[e] : 256;
        img.height = d[e + 1] ? d[e + 1] : 256;
        CHECK(d[e + 2] == 0);       // no palette
        CHECK(d[e + 3] == 0);       // reserved
        CHECK(u16(d, e + 4) <= 1);  // planes
        img.entry_bits = (int)u16(d, e + 6);
        uint32_t size = u32(d, e + 8), offset = u32(d, e + 12);
        REQUIRE(offset >= 6 + 16 * count);
        REQUIRE(size >= 40);
        REQUIRE((uint64_t)offset + size <= d.size());
        static const unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        if (memcmp(&d[offset], png_signature, 8) == 0) {
            img.png = true;
            REQUIRE(memcmp(&d[offset + 12], "IHDR", 4) == 0);
            img.data_width = (int)be32(d, offset + 16);
            img.data_height = (int)be32(d, offset + 20);
            int depth = d[offset + 24], colour_type = d[offset + 25];
            int channels = colour_type == 6 ? 4 : colour_type == 2 ? 3 : colour_type == 4 ? 2 : 1;
            img.data_bits = depth * channels;
        } else {
            REQUIRE(u32(d, offset) == 40);  // BITMAPINFOHEADER
            img.data_width = s32(d, offset + 4);
            int32_t both = s32(d, offset + 8);  // the colour rows and the mask rows
            REQUIRE(both == 2 * img.data_width);
            img.data_height = both / 2;
            CHECK(u16(d, offset + 12) == 1);       // planes
            img.data_bits = (int)u16(d, offset + 14);
            CHECK(u32(d, offset + 16) == 0);       // BI_RGB
            if (img.data_bits == 32) {
                int w = img.data_width, h = img.data_height;
                size_t pixels = offset + 40;
                size_t mask_stride = ((size_t)w + 31) / 32 * 4;
                size_t mask = pixels + (size_t)w * h * 4;
                REQUIRE(mask + mask_stride * h <= (uint64_t)offset + size);
                img.mask_agrees = true;
                for (int y = 0; y < h; y++)
                    for (int x = 0; x < w; x++) {
                        unsigned alpha = d[pixels + ((size_t)y * w + x) * 4 + 3];
                        bool masked = d[mask + y * mask_stride + x / 8] >> (7 - x % 8) & 1;
                        if (alpha == 0)
                            img.transparent++;
                        if (alpha == 255)
                            img.opaque++;
                        if ((alpha == 0 && !masked) || (alpha == 255 && masked))
                            img.mask_agrees = false;
                    }
            }
        }
        images.push_back(img);
    }
    return images;
}

static std::string icon_path(int id)
{
    return "res/icons/icon_" + std::to_string(id) + ".ico";
}

static void check_bmp_image(const IconImage &img, int size)
{
    CHECK(!img.png);
    CHECK(img.width == size);
    CHECK(img.height == size);
    CHECK(img.entry_bits == 32);
    CHECK(img.data_width == size);
    CHECK(img.data_height == size);
    CHECK(img.data_bits == 32);
    // a drawn picture on a transparent ground, not a filled square
    CHECK(img.transparent > size * size / 10);
    CHECK(img.opaque > size * size / 10);
    CHECK(img.mask_agrees);
}

static void check_png_image(const IconImage &img, int size)
{
    CHECK(img.png);
    CHECK(img.width == size);
    CHECK(img.height == size);
    CHECK(img.entry_bits == 32);
    CHECK(img.data_width == size);
    CHECK(img.data_height == size);
    CHECK(img.data_bits == 32);  // 8-bit RGBA, which every PNG-reading Windows takes
}

TEST_CASE("condition and busy icons hold 64, 96 and 128 pixels as PNG")
{
    const int sizes[3] = {64, 96, 128};
    for (int id = 132; id <= 152; id++) {
        INFO("icon " << id);
        std::vector<IconImage> images = read_icon(icon_path(id));
        REQUIRE(images.size() == 3);
        for (int i = 0; i < 3; i++)
            check_png_image(images[i], sizes[i]);
    }
}

TEST_CASE("the application icon holds 16 to 48 pixels as 32-bit BMP, 64 and 256 as PNG")
{
    std::vector<IconImage> images = read_icon(icon_path(107));
    REQUIRE(images.size() == 8);
    const int sizes[6] = {16, 20, 24, 32, 40, 48};
    for (int i = 0; i < 6; i++) {
        INFO("size " << sizes[i]);
        check_bmp_image(images[i], sizes[i]);
    }
    check_png_image(images[6], 64);
    check_png_image(images[7], 256);
}

TEST_CASE("every condition has its own picture, but codes 10 and 15 repeat 9 and 4")
{
    std::vector<std::vector<unsigned char>> files;
    for (int id = 132; id <= 152; id++)
        files.push_back(read_file(icon_path(id)));
    for (size_t a = 0; a < files.size(); a++)
        for (size_t b = a + 1; b < files.size(); b++) {
            INFO("icons " << 132 + a << " and " << 132 + b);
            bool repeat = (a == 9 && b == 10) || (a == 4 && b == 15);
            CHECK((files[a] == files[b]) == repeat);
        }
}

TEST_CASE("bitmap 156 is 316 x 186 at 8 bits per pixel, uncompressed and bottom-up")
{
    std::vector<unsigned char> d = read_file("res/bitmaps/notice.bmp");
    REQUIRE(d.size() >= 54);
    CHECK(d[0] == 'B');
    CHECK(d[1] == 'M');
    CHECK(u32(d, 2) == d.size());          // bfSize
    uint32_t bits = u32(d, 10);            // bfOffBits
    CHECK(u32(d, 14) == 40);               // BITMAPINFOHEADER, as LoadImage reads best
    CHECK(s32(d, 18) == 316);
    CHECK(s32(d, 22) == 186);              // positive: rows stored bottom-up
    CHECK(u16(d, 26) == 1);                // planes
    CHECK(u16(d, 28) == 8);
    CHECK(u32(d, 30) == 0);                // BI_RGB: a DIB section can be made of it too
    uint32_t colours = u32(d, 46);         // 0 means all 256
    uint32_t used = colours ? colours : 256;
    CHECK(used <= 256);
    size_t stride = (316 + 3) / 4 * 4;
    CHECK(bits == 54 + 4 * used);
    REQUIRE(d.size() == bits + stride * 186);
    // every pixel names a colour of the table
    uint8_t highest = 0;
    for (size_t i = bits; i < d.size(); i++)
        highest = d[i] > highest ? d[i] : highest;
    CHECK(highest < used);
}
