/* picgen: draws the game's five pictures and writes them as BMP files,
 * and the emblem at the desktop's icon sizes as PNG files.
 *
 *   picgen <root> <dejavu-dir>
 *
 * writes logo.bmp, over.bmp, paus.bmp, tumbrik2.bmp and sdllogo.bmp into
 * <root>/pix/, and tumbrik-32.png, -48, -64, -128 and -256 into
 * <root>/dist/icons/. Text is set with FreeType from the DejaVu fonts;
 * blocks are drawn in the flat colours the game fills its cells with. Each
 * BMP is 8-bit paletted, the format SDL blits fastest with a colour key.
 * The output is the same byte for byte on every run: integer arithmetic
 * only, no clock, no randomness. */
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bmpfile.h"

/* ==== Colours ====
 * The game's own palette, as raw 0xRRGGBB values, and the colour keys. */

static const uint32_t WINDOW  = 0xAAAAAA;  /* the window behind everything */
static const uint32_t WELL    = 0x111111;  /* the well */
static const uint32_t PILE    = 0x00FF00;  /* filled cells */
static const uint32_t PIECE   = 0x0000FF;  /* the falling piece */
static const uint32_t PREVIEW = 0xFFFFFF;  /* the next piece */

static const uint32_t MAGENTA = 0xFF00FF;  /* key of logo, over and paus */
static const uint32_t KEYBLUE = 0x0000FF;  /* key of the emblem */

/* The emblem is keyed on pure blue, so its piece takes a blue of its own. */
static const uint32_t EMBLEMBLUE = 0x2850FF;

/* a + (b - a) * t / 255 in each channel, rounded. */
static uint32_t mix(uint32_t a, uint32_t b, int t)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int ca = (int)(a >> shift & 0xFF), cb = (int)(b >> shift & 0xFF);
        int c = ca + ((cb - ca) * t + (cb >= ca ? 127 : -127)) / 255;
        out |= (uint32_t)c << shift;
    }
    return out;
}

/* ==== Coverage masks ====
 * A mask holds how much of each pixel a shape covers, 0 to 255. Text and
 * rounded panels are masks, painted onto a canvas in a colour. */

struct Mask {
    int w = 0, h = 0;
    std::vector<uint8_t> a;
};

static Mask newMask(int w, int h)
{
    Mask m;
    m.w = w;
    m.h = h;
    m.a.assign((size_t)w * h, 0);
    return m;
}

/* A w x h rectangle with corners of radius r, its edge smoothed by
 * sampling each pixel on a 4 x 4 grid. */
static Mask roundRect(int w, int h, int r)
{
    Mask m = newMask(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int inside = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) {
                    /* sample point in eighths of a pixel */
                    int px = x * 8 + sx * 2 + 1, py = y * 8 + sy * 2 + 1;
                    int cx = px < r * 8 ? r * 8 : px > (w - r) * 8 ? (w - r) * 8 : px;
                    int cy = py < r * 8 ? r * 8 : py > (h - r) * 8 ? (h - r) * 8 : py;
                    int dx = px - cx, dy = py - cy;
                    if (dx * dx + dy * dy <= r * r * 64)
                        inside++;
                }
            m.a[(size_t)y * w + x] = (uint8_t)(inside * 255 / 16);
        }
    return m;
}

/* ==== Text ====
 * Sets a line of UTF-8 text with FreeType, hinted and anti-aliased, and
 * crops it to its ink so that it can be placed by what is seen. */

/* Text edges keep 32 steps of coverage instead of FreeType's 255. Every
 * picture then holds few enough colours for an 8-bit palette, even where a
 * soft letter edge lies over a soft shadow edge over a panel (the pause
 * picture, the richest, needs 155 of the 256); at the size it is
 * shown nobody can tell 32 steps of an edge from 255. */
static const int COVER_STEPS = 32;

/* The coverage rounded to the nearest step. */
static uint8_t toStep(uint8_t a)
{
    int step = (a * COVER_STEPS + 127) / 255;
    return (uint8_t)(step * 255 / COVER_STEPS);
}

static FT_Library ftlib;

static FT_Face openFace(const std::string &dir, const char *file)
{
    FT_Face face = nullptr;
    std::string path = dir + "/" + file;
    if (FT_New_Face(ftlib, path.c_str(), 0, &face) != 0) {
        fprintf(stderr, "picgen: can't open the font %s\n", path.c_str());
        return nullptr;
    }
    return face;
}

static std::vector<uint32_t> decodeUtf8(const char *s)
{
    std::vector<uint32_t> out;
    const unsigned char *p = (const unsigned char *)s;
    while (*p) {
        uint32_t c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more)
            c &= 0x3F >> more;
        while (more-- && (*p & 0xC0) == 0x80)
            c = c << 6 | (*p++ & 0x3F);
        out.push_back(c);
    }
    return out;
}

/* The text at the given pixel size; `track` adds pixels between letters. */
static Mask textMask(FT_Face face, int size, const char *utf8, int track = 0)
{
    FT_Set_Pixel_Sizes(face, 0, (FT_UInt)size);
    std::vector<uint32_t> text = decodeUtf8(utf8);

    /* Lay the line out on a generous scratch mask, baseline at 2 * size. */
    Mask line = newMask((int)text.size() * (size + track) * 2 + 2 * size, 3 * size);
    int baseline = 2 * size;
    long pen = size * 64;
    FT_UInt previous = 0;
    for (uint32_t ch : text) {
        FT_UInt glyph = FT_Get_Char_Index(face, ch);
        if (previous && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern);
            pen += kern.x;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER) != 0)
            continue;
        FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap &bm = slot->bitmap;
        int left = (int)((pen + 32) >> 6) + slot->bitmap_left;
        int top = baseline - slot->bitmap_top;
        for (unsigned y = 0; y < bm.rows; y++)
            for (unsigned x = 0; x < bm.width; x++) {
                int mx = left + (int)x, my = top + (int)y;
                if (mx < 0 || my < 0 || mx >= line.w || my >= line.h)
                    continue;
                uint8_t v = bm.buffer[(long)y * bm.pitch + x];
                uint8_t &d = line.a[(size_t)my * line.w + mx];
                if (v > d)
                    d = v;
            }
        pen += slot->advance.x + track * 64;
        previous = glyph;
    }

    int x0 = line.w, y0 = line.h, x1 = -1, y1 = -1;
    for (int y = 0; y < line.h; y++)
        for (int x = 0; x < line.w; x++)
            if (line.a[(size_t)y * line.w + x]) {
                if (x < x0) x0 = x;
                if (x > x1) x1 = x;
                if (y < y0) y0 = y;
                if (y > y1) y1 = y;
            }
    if (x1 < 0)
        return newMask(0, 0);
    Mask ink = newMask(x1 - x0 + 1, y1 - y0 + 1);
    for (int y = 0; y < ink.h; y++)
        for (int x = 0; x < ink.w; x++)
            ink.a[(size_t)y * ink.w + x] = toStep(line.a[(size_t)(y + y0) * line.w + x + x0]);
    return ink;
}

/* ==== Canvas ====
 * A picture being drawn. It starts filled with the colour that will lie
 * under it in the game, so that soft edges are mixed against the right
 * ground; `cover` remembers how much of each pixel was painted, and the
 * pixels left bare become the colour key when the picture is finished. */

struct Canvas {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    std::vector<uint8_t> cover;
};

static Canvas newCanvas(int w, int h, uint32_t ground)
{
    Canvas c;
    c.w = w;
    c.h = h;
    c.px.assign((size_t)w * h, ground);
    c.cover.assign((size_t)w * h, 0);
    return c;
}

static void paintPixel(Canvas &c, int x, int y, uint32_t colour, int a)
{
    if (x < 0 || y < 0 || x >= c.w || y >= c.h || a <= 0)
        return;
    size_t i = (size_t)y * c.w + x;
    c.px[i] = mix(c.px[i], colour, a);
    c.cover[i] = (uint8_t)(c.cover[i] + (255 - c.cover[i]) * a / 255);
}

static void paintMask(Canvas &c, const Mask &m, int x, int y, uint32_t colour)
{
    for (int my = 0; my < m.h; my++)
        for (int mx = 0; mx < m.w; mx++)
            paintPixel(c, x + mx, y + my, colour, m.a[(size_t)my * m.w + mx]);
}

static void fillRect(Canvas &c, int x, int y, int w, int h, uint32_t colour)
{
    for (int yy = y; yy < y + h; yy++)
        for (int xx = x; xx < x + w; xx++)
            paintPixel(c, xx, yy, colour, 255);
}

/* One block: a flat face with a light edge at the top and left and a dark
 * one at the bottom and right, `edge` pixels wide, so that neighbours stay
 * apart while the whole still reads as the game's flat cells. */
static void drawCell(Canvas &c, int x, int y, int size, uint32_t colour, int edge = 1)
{
    uint32_t light = mix(colour, 0xFFFFFF, 110);
    uint32_t dark = mix(colour, 0x000000, 110);
    fillRect(c, x, y, size, size, colour);
    fillRect(c, x, y, size, edge, light);
    fillRect(c, x, y, edge, size, light);
    fillRect(c, x, y + size - edge, size, edge, dark);
    fillRect(c, x + size - edge, y, edge, size, dark);
}

/* Pixels painted less than `solid` become the key; a painted pixel that
 * happens to equal the key is moved one step off it, so that only the
 * bare ground turns transparent. */
static void keyOut(Canvas &c, uint32_t key, int solid)
{
    for (size_t i = 0; i < c.px.size(); i++) {
        if (c.cover[i] < solid)
            c.px[i] = key;
        else if (c.px[i] == key)
            c.px[i] ^= 0x000100;
    }
}

/* ==== BMP output ====
 * 8-bit paletted files (tools/bmpfile.h); keyOut keeps the key colour off
 * every painted pixel, so the key is exactly one palette entry. */

static bool writeBmp(const std::string &path, const Canvas &c)
{
    return writePalettedBmp("picgen", path, c.w, c.h, c.px);
}

/* ==== PNG output ====
 * The desktop's icons: 8-bit RGBA, the key colour fully transparent and
 * every other pixel opaque. libpng writes no time stamp, so the bytes
 * depend on the pixels alone. */

/* The libpng calls; a libpng error jumps back here and returns false. */
static bool pngRows(png_structp png, png_infop info, FILE *f, int w, int h,
                    const std::vector<png_byte> &rgba)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, f);
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < h; y++)
        png_write_row(png, &rgba[(size_t)y * w * 4]);
    png_write_end(png, info);
    return true;
}

static bool writePng(const std::string &path, const Canvas &c, uint32_t key)
{
    std::vector<png_byte> rgba(c.px.size() * 4);
    for (size_t i = 0; i < c.px.size(); i++) {
        uint32_t v = c.px[i];
        rgba[i * 4 + 0] = (png_byte)(v >> 16);
        rgba[i * 4 + 1] = (png_byte)(v >> 8);
        rgba[i * 4 + 2] = (png_byte)v;
        rgba[i * 4 + 3] = v == key ? 0 : 255;
    }
    FILE *f = fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = f && info && pngRows(png, info, f, c.w, c.h, rgba);
    png_destroy_write_struct(&png, &info);
    if (f && fclose(f) != 0)
        ok = false;
    if (!ok)
        fprintf(stderr, "picgen: can't write %s\n", path.c_str());
    return ok;
}

/* ==== The pictures ====
 * Each function draws one picture at the size the window has room for. */

struct Fonts {
    FT_Face bold;       /* DejaVuSans-Bold */
    FT_Face sans;       /* DejaVuSans */
};

/* The game's name under a little pile, at the top right of the window on
 * the grey ground; it ends well above the preview heading at y 160. */
static Canvas drawLogo(const Fonts &f)
{
    const int W = 156, H = 116, S = 13;
    Canvas c = newCanvas(W, H, WINDOW);

    /* A pile with one gap, and an L lying on its side whose foot will
     * close it and clear the bottom row. */
    static const char *const blocks[] = {
        ".....PPP....",
        ".....P......",
        "............",
        "GG.......GGG",
        "GGGGG.GGGGGG",
    };
    int rows = (int)(sizeof blocks / sizeof blocks[0]);
    for (int r = 0; r < rows; r++)
        for (int k = 0; blocks[r][k]; k++) {
            char b = blocks[r][k];
            if (b != '.')
                drawCell(c, k * S, r * S, S, b == 'G' ? PILE : PIECE);
        }

    /* The name on a dark slab, the well's colour, that the pile stands on. */
    int slabY = rows * S + 1;
    paintMask(c, roundRect(W, H - slabY, 6), 0, slabY, WELL);
    Mask name = textMask(f.bold, 29, "Tumbrik", 1);
    paintMask(c, name, (W - name.w) / 2, slabY + (H - slabY - name.h) / 2, PREVIEW);

    /* It always lies on the grey, so soft edges keep their mixed pixels. */
    keyOut(c, MAGENTA, 1);
    return c;
}

/* Game over, in the empty well above the prompt for a new game. The
 * picture is as wide as it must be for its middle to lie on the well's. */
static Canvas drawOver(const Fonts &f)
{
    const int W = 276, H = 66, S = 10;
    Canvas c = newCanvas(W, H, WELL);

    Mask words = textMask(f.bold, 30, "SPELET \xC3\x84R SLUT");
    int x = (W - words.w) / 2, y = 4;
    paintMask(c, words, x + 3, y + 3, PIECE);
    paintMask(c, words, x, y, PREVIEW);

    /* Under the words, the pile that reached the top. */
    static const char row[] = "GGGG.GGGGGGGGGGBBGGGGGG.GGG";
    int cells = (int)sizeof row - 1;
    for (int k = 0; k < cells; k++)
        if (row[k] != '.')
            drawCell(c, (W - cells * S) / 2 + k * S, H - S, S, row[k] == 'G' ? PILE : PIECE);

    /* The well is empty on that screen: soft edges keep their pixels. */
    keyOut(c, MAGENTA, 1);
    return c;
}

/* The pause panel, centred on the well's width, over the board. */
static Canvas drawPaus(const Fonts &f)
{
    const int W = 216, H = 110;
    Canvas c = newCanvas(W, H, PREVIEW);

    paintMask(c, roundRect(W, H, 8), 0, 0, PREVIEW);
    paintMask(c, roundRect(W - 8, H - 8, 5), 4, 4, PIECE);
    paintMask(c, roundRect(W - 12, H - 12, 3), 6, 6, WELL);

    Mask word = textMask(f.bold, 52, "PAUS", 4);
    int x = (W - word.w) / 2, y = 16;
    paintMask(c, word, x + 3, y + 3, PIECE);
    paintMask(c, word, x, y, PREVIEW);
    Mask hint = textMask(f.sans, 13, "F3 f\xC3\xB6r att forts\xC3\xA4tta");
    paintMask(c, hint, (W - hint.w) / 2, H - 14 - hint.h, PILE);

    /* Cells of any colour may lie under the rounded corners, so they are
     * cut at half cover; the ground is the frame's white, so the pixels
     * kept there are plain frame. */
    keyOut(c, MAGENTA, 128);
    return c;
}

/* The emblem: a square of piece cells resting on an L of pile cells, on
 * a size x size canvas. At 32 pixels, the window icon, the cells are 10
 * pixels with one-pixel edges and a one-pixel margin; every other size
 * keeps those proportions in whole pixels, so at 64, 128 and 256 the
 * emblem is exactly the 32-pixel one with each pixel made a square, and
 * at 48 the cells are 15 pixels with two-pixel edges, every edge sharp. */
static Canvas drawEmblem(int size)
{
    const int S = size * 10 / 32, edge = (S + 5) / 10, margin = (size - 3 * S) / 2;
    Canvas c = newCanvas(size, size, KEYBLUE);

    static const char *const blocks[] = {
        ".BB",
        "GBB",
        "GGG",
    };
    for (int r = 0; r < 3; r++)
        for (int k = 0; k < 3; k++) {
            char b = blocks[r][k];
            if (b != '.')
                drawCell(c, margin + k * S, margin + r * S, S, b == 'G' ? PILE : EMBLEMBLUE,
                         edge);
        }

    keyOut(c, KEYBLUE, 255);
    return c;
}

/* A small badge, "made with SDL", filling the window's bottom right corner. */
static Canvas drawSdlBadge(const Fonts &f)
{
    const int W = 60, H = 40;
    Canvas c = newCanvas(W, H, WINDOW);

    paintMask(c, roundRect(W - 4, H - 4, 6), 2, 2, WELL);
    Mask made = textMask(f.sans, 9, "made with");
    paintMask(c, made, (W - made.w) / 2, 7, PREVIEW);
    Mask sdl = textMask(f.bold, 17, "SDL");
    paintMask(c, sdl, (W - sdl.w) / 2, 18, PILE);

    /* No key: the grey corners are drawn as they are. */
    return c;
}

/* ==== Main ====
 * Loads the fonts, draws every picture, checks it against the room the
 * window has for it and writes it. */

struct Output {
    const char *file;
    Canvas pic;
    int maxW, maxH;     /* the room in the window */
    bool exact;         /* must be exactly maxW x maxH */
};

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: picgen <root> <dejavu-dir>\n");
        return 2;
    }
    std::string root = argv[1], fontDir = argv[2];
    if (FT_Init_FreeType(&ftlib) != 0) {
        fprintf(stderr, "picgen: FreeType won't start\n");
        return 1;
    }
    Fonts f;
    f.bold = openFace(fontDir, "DejaVuSans-Bold.ttf");
    f.sans = openFace(fontDir, "DejaVuSans.ttf");
    if (!f.bold || !f.sans)
        return 1;

    Output outs[] = {
        {"logo.bmp", drawLogo(f), 160, 150, false},
        {"over.bmp", drawOver(f), 330, 85, false},
        {"paus.bmp", drawPaus(f), 300, 200, false},
        {"tumbrik2.bmp", drawEmblem(32), 32, 32, true},
        {"sdllogo.bmp", drawSdlBadge(f), 60, 40, false},
    };
    for (const Output &o : outs) {
        bool fits = o.exact ? o.pic.w == o.maxW && o.pic.h == o.maxH
                            : o.pic.w <= o.maxW && o.pic.h <= o.maxH;
        if (!fits) {
            fprintf(stderr, "picgen: %s is %d x %d, room for %d x %d\n",
                    o.file, o.pic.w, o.pic.h, o.maxW, o.maxH);
            return 1;
        }
        if (!writeBmp(root + "/pix/" + o.file, o.pic))
            return 1;
    }
    for (int size : {32, 48, 64, 128, 256}) {
        std::string path = root + "/dist/icons/tumbrik-" + std::to_string(size) + ".png";
        if (!writePng(path, drawEmblem(size), KEYBLUE))
            return 1;
    }

    FT_Done_Face(f.bold);
    FT_Done_Face(f.sans);
    FT_Done_FreeType(ftlib);
    return 0;
}
