/* fontgen: draws the game's two bitmap fonts from the DejaVu fonts.
 *
 *   fontgen <root> <dejavu-dir>              writes <root>/pix/Tahoma10.bmp
 *                                            and <root>/pix/tahoma8.bmp
 *   fontgen --tables <dejavu-dir>            prints bred10, ofset10, bred8 and
 *                                            ofset8 as C++ initialisers
 *   fontgen --preview <dejavu-dir> <out.ppm> sets the game's texts with both
 *                                            fonts, for a look by eye
 *
 * A sheet is 16 x 16 equal cells, byte value v in column v % 16, row v / 16.
 * The game cuts the glyph of v out of its cell as the rectangle that starts
 * ofset[v] pixels in and is bred[v] wide, blits it with the sheet's colour
 * key and moves the pen bred[v] on, so every glyph's ink has to lie inside
 * that span and bred has to carry the gap to the next letter. Sheets and
 * tables come out of one pass over the glyphs, so they always agree.
 *
 * The output depends only on the font files and on the FreeType version:
 * no clock, no randomness, every byte of every file written on purpose. */
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "bmpfile.h"

/* ==== Character set ==== */

/* Which character every byte stands for. */

/* The game's texts are Windows-1252 bytes. 0..127 and 160..255 are the
 * Unicode code points of the same number; 128..159 are listed here, with 0
 * for the five bytes that Windows-1252 leaves undefined. */
static const unsigned cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

/* The code point drawn for byte v, or 0 for a byte whose cell stays empty:
 * the control codes, DEL, the undefined bytes and the space, which the
 * game never draws. */
static unsigned codePoint(int v) {
    if (v <= 32 || v == 127) return 0;
    if (v >= 128 && v < 160) return cp1252High[v - 128];
    return (unsigned)v;
}

/* ==== Font styles ==== */

/* Everything that tells the two fonts apart: face, size, cell, colours, and
 * the table entries that the game's layout was made with. */

/* A byte whose width and offset are set beforehand: its glyph is fitted
 * into that span instead of the span being measured from the glyph. */
struct Fixed {
    int v, bred, ofset;
};

struct Style {
    const char *sheet;     /* file name under pix/ */
    const char *table;     /* name stem of the two tables: bred<t>, ofset<t> */
    const char *fontFile;  /* file in the DejaVu folder */
    int ppem;              /* em size in pixels */
    int cell;              /* cells are cell x cell pixels */
    int baseline;          /* row of the baseline inside every cell */
    int gap;               /* blank columns after the ink, part of bred */
    int widest;            /* largest bred that an unfixed glyph may take */
    bool edged;            /* a one-pixel edge of colour `edge` around the ink */
    uint32_t key, ink, edge;
    int ctrlBred, ctrlOfset;   /* the control codes, DEL and undefined bytes */
    std::vector<Fixed> fixed;
};

/* Light letters with a dark edge, on a black key: they have to read both
 * on the grey window and on the near-black well. The edge stays off pure
 * black, which the key would cut away. */
static const Style style10 = {
    "Tahoma10.bmp", "10", "DejaVuSans.ttf",
    12, 20, 14, 0, 19, true,
    0x000000, 0xFFFFFF, 0x202020,
    11, 5,
    {
        {  32, 11, 5 },   /* space */
        {  87, 14, 3 },   /* W */
        { 105,  4, 9 },   /* i */
        { 109, 12, 5 },   /* m */
        { 137, 20, 0 },   /* per mille, the widest of this font */
        { 169, 13, 4 },   /* copyright sign */
        { 228,  9, 6 },   /* a diaeresis */
    },
};

/* Plain dark letters on a white key, for the grey window only. */
static const Style style8 = {
    "tahoma8.bmp", "8", "DejaVuSans.ttf",
    11, 16, 12, 1, 16, false,
    0xFFFFFF, 0x000000, 0x000000,
    12, 3,
    {
        {   7,  8, 4 },   /* bell: a control code with widths of its own */
        {  32, 12, 3 },
        {  87,  9, 3 },
        { 105,  3, 6 },
        { 109,  9, 4 },
        { 137, 12, 0 },
        { 169, 11, 2 },
        { 228,  7, 5 },
    },
};

/* ==== Glyph masks ==== */

/* FreeType's glyphs turned into solid pixels, with the edge added. */

/* One rendered glyph: 0 blank, 1 ink, 2 edge. `top` is the number of
 * mask rows above the baseline, as FreeType counts it. */
struct Mask {
    int w = 0, h = 0, top = 0;
    std::vector<unsigned char> px;
    unsigned char at(int x, int y) const { return px[(size_t)y * w + x]; }
};

/* Renders one code point, its width scaled by xscale (16.16 fixed point).
 * The hinter works on the upright outline and the scale comes after it, so
 * the baseline and the x-height stay on whole pixels whatever the width.
 * Rendering is one bit a pixel, as the colour key allows nothing between
 * ink and background. */
static bool renderMask(FT_Face face, unsigned cp, FT_Fixed xscale, Mask &m) {
    FT_Matrix squeeze = {xscale, 0, 0, 0x10000};
    FT_Set_Transform(face, &squeeze, nullptr);
    if (FT_Load_Char(face, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO))
        return false;
    const FT_Bitmap &bm = face->glyph->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_MONO && bm.rows > 0) return false;
    m.w = (int)bm.width;
    m.h = (int)bm.rows;
    m.top = face->glyph->bitmap_top;
    m.px.assign((size_t)m.w * m.h, 0);
    for (int y = 0; y < m.h; y++) {
        const unsigned char *row = bm.buffer + (ptrdiff_t)y * bm.pitch;
        for (int x = 0; x < m.w; x++)
            m.px[(size_t)y * m.w + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    return true;
}

/* Grows the mask by one pixel on every side and marks each blank pixel
 * that touches ink, diagonals included, as edge. */
static Mask addEdge(const Mask &in) {
    Mask out;
    out.w = in.w + 2;
    out.h = in.h + 2;
    out.top = in.top + 1;
    out.px.assign((size_t)out.w * out.h, 0);
    for (int y = 0; y < in.h; y++)
        for (int x = 0; x < in.w; x++) {
            if (!in.at(x, y)) continue;
            for (int dy = 0; dy < 3; dy++)
                for (int dx = 0; dx < 3; dx++) {
                    unsigned char &p = out.px[(size_t)(y + dy) * out.w + x + dx];
                    if (!p) p = 2;
                }
        }
    for (int y = 0; y < in.h; y++)
        for (int x = 0; x < in.w; x++)
            if (in.at(x, y)) out.px[(size_t)(y + 1) * out.w + x + 1] = 1;
    return out;
}

/* First and last column holding anything; 0 and -1 for no ink. */
static void inkColumns(const Mask &m, int &first, int &last) {
    first = m.w;
    last = -1;
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++)
            if (m.at(x, y)) {
                if (x < first) first = x;
                if (x > last) last = x;
            }
    if (last < 0) first = 0;
}

/* ==== Building a font ==== */

/* The sheet and its two tables, made together glyph by glyph. */

struct Font {
    int w = 0, h = 0;
    std::vector<uint32_t> px;   /* 0xRRGGBB, top row first */
    int bred[256] = {};
    int ofset[256] = {};
};

static const Fixed *findFixed(const Style &s, int v) {
    for (const Fixed &f : s.fixed)
        if (f.v == v) return &f;
    return nullptr;
}

/* Renders a code point as wide as `limit` allows, the gap included: at its
 * own width if it fits, or else squeezed in steps of 1/64 of that width,
 * never below half. `first` and `last` are the ink's columns in the mask. */
static bool fitGlyph(FT_Face face, const Style &s, unsigned cp, int limit,
                     Mask &m, int &first, int &last) {
    for (int k = 64; k >= 32; k--) {
        if (!renderMask(face, cp, (FT_Fixed)k << 10, m)) return false;
        if (s.edged) m = addEdge(m);
        inkColumns(m, first, last);
        if (last - first + 1 + s.gap <= limit) return true;
    }
    return false;
}

/* Draws every glyph into its cell and settles its width and offset.
 * A fixed byte keeps its span, and its glyph is squeezed until ink and gap
 * fit and is centred in what is left. Any other glyph gets bred = ink + gap,
 * squeezed only if it would pass `widest`, and is centred in its cell.
 * A glyph without ink (the no-break space) moves the pen like a space. */
static bool buildFont(FT_Library lib, const std::string &dir, const Style &s,
                      Font &f) {
    FT_Face face;
    std::string path = dir + "/" + s.fontFile;
    if (FT_New_Face(lib, path.c_str(), 0, &face)) {
        fprintf(stderr, "fontgen: can't open %s\n", path.c_str());
        return false;
    }
    f.w = f.h = 16 * s.cell;
    f.px.assign((size_t)f.w * f.h, s.key);
    bool ok = FT_Set_Pixel_Sizes(face, 0, (FT_UInt)s.ppem) == 0;
    if (!ok) fprintf(stderr, "fontgen: %s won't scale\n", s.fontFile);
    for (int v = 0; v < 256 && ok; v++) {
        const Fixed *fx = findFixed(s, v);
        unsigned cp = codePoint(v);
        f.bred[v] = fx ? fx->bred : s.ctrlBred;
        f.ofset[v] = fx ? fx->ofset : s.ctrlOfset;
        if (!cp) continue;

        Mask m;
        int first, last;
        if (!FT_Get_Char_Index(face, cp)) {
            fprintf(stderr, "fontgen: %s has no U+%04X\n", s.fontFile, cp);
            ok = false;
        } else if (!fitGlyph(face, s, cp, fx ? fx->bred : s.widest, m, first,
                             last)) {
            fprintf(stderr, "fontgen: byte %d doesn't fit its width\n", v);
            ok = false;
        }
        if (!ok) break;

        int inkW = last - first + 1;
        if (!fx) {
            f.bred[v] = inkW > 0 ? inkW + s.gap : s.cell / 3;
            f.ofset[v] = (s.cell - f.bred[v]) / 2;
        }
        int x0 = (v % 16) * s.cell + f.ofset[v] + (f.bred[v] - s.gap - inkW) / 2;
        int top = s.baseline - m.top;
        for (int y = 0; y < m.h; y++)
            for (int x = first; x <= last; x++) {
                unsigned char p = m.at(x, y);
                if (!p) continue;
                if (top + y < 0 || top + y >= s.cell) {
                    fprintf(stderr, "fontgen: byte %d leaves its cell at row %d\n",
                            v, top + y);
                    ok = false;
                    continue;
                }
                f.px[(size_t)((v / 16) * s.cell + top + y) * f.w + x0 + x - first] =
                    p == 1 ? s.ink : s.edge;
            }
    }
    FT_Done_Face(face);
    return ok;
}

/* ==== Output ==== */

/* The sheets as BMP files and the tables as C++ source. */

static bool writeBmp(const std::string &path, const Font &f) {
    return writePalettedBmp("fontgen", path, f.w, f.h, f.px);
}

static void printTable(const char *name, const int *t) {
    printf("int %s[256] = {\n", name);
    for (int row = 0; row < 16; row++) {
        printf("    /* 0x%X0 */", row);
        for (int i = 0; i < 16; i++)
            printf(" %2d%s", t[row * 16 + i], row * 16 + i < 255 ? "," : "");
        printf("\n");
    }
    printf("};\n");
}

static void printTables(const Style &s, const Font &f) {
    std::string bred = std::string("bred") + s.table;
    std::string ofset = std::string("ofset") + s.table;
    printTable(bred.c_str(), f.bred);
    printTable(ofset.c_str(), f.ofset);
}

/* ==== Preview ==== */

/* A canvas and the game's own way of setting a line: whole glyph rectangles
 * blitted through the colour key, the pen moved by bred, a space by cw / 3. */
struct Canvas {
    int w, h;
    std::vector<uint32_t> px;
};

static void fill(Canvas &c, int x, int y, int w, int h, uint32_t colour) {
    for (int j = y; j < y + h && j < c.h; j++)
        for (int i = x; i < x + w && i < c.w; i++)
            c.px[(size_t)j * c.w + i] = colour;
}

static void drawText(Canvas &c, const Font &f, uint32_t key, int x, int y,
                     const char *text) {
    int cw = f.w / 16, ch = f.h / 16;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p == ' ') {
            x += cw / 3;
            continue;
        }
        int sx = (*p % 16) * cw + f.ofset[*p], sy = (*p / 16) * ch;
        for (int j = 0; j < ch; j++)
            for (int i = 0; i < f.bred[*p]; i++) {
                uint32_t col = f.px[(size_t)(sy + j) * f.w + sx + i];
                if (col != key && x + i < c.w && y + j < c.h)
                    c.px[(size_t)(y + j) * c.w + x + i] = col;
            }
        x += f.bred[*p];
    }
}

static const char *const samples[] = {
    "KONTROLLER",
    "F2 - nytt spel",
    "Pil h\xF6ger - g\xE5 h\xF6ger",
    "Pil v\xE4nster - g\xE5 v\xE4nster",
    "Mellanslag - sl\xE4pp ned",
    "N\xC4STA:  Po\xE4ng: 1230  \xA9 2009",
    "Wim \x89 \x80 \xC5\xC4\xD6 \xE5\xE4\xF6 \xC6\xD8 \xDF \xBD \x93x\x94 gjpqy",
};

/* Every sample in the 10-point font on the window grey and on the well,
 * then in the 8-point font on the grey, as a binary PPM. */
static bool writePreview(const std::string &path, const Font &f10,
                         const Font &f8) {
    const int n = sizeof samples / sizeof *samples;
    Canvas c{300, 20 * n * 2 + 15 * n + 20, {}};
    c.px.assign((size_t)c.w * c.h, 0xAAAAAA);
    fill(c, 0, 20 * n + 5, c.w, 20 * n, 0x111111);
    for (int i = 0; i < n; i++) {
        drawText(c, f10, style10.key, 5, 5 + 20 * i, samples[i]);
        drawText(c, f10, style10.key, 5, 20 * n + 5 + 20 * i, samples[i]);
        drawText(c, f8, style8.key, 5, 40 * n + 10 + 15 * i, samples[i]);
    }
    FILE *out = fopen(path.c_str(), "wb");
    if (!out) {
        fprintf(stderr, "fontgen: can't write %s: %s\n", path.c_str(),
                strerror(errno));
        return false;
    }
    fprintf(out, "P6\n%d %d\n255\n", c.w, c.h);
    for (uint32_t col : c.px) {
        unsigned char rgb[3] = {(unsigned char)(col >> 16),
                                (unsigned char)(col >> 8), (unsigned char)col};
        fwrite(rgb, 1, 3, out);
    }
    return fclose(out) == 0;
}

/* ==== Main ==== */

/* Reads the command line, builds both fonts and writes what was asked for. */

static int usage() {
    fprintf(stderr,
            "usage: fontgen <root> <dejavu-dir>\n"
            "       fontgen --tables <dejavu-dir>\n"
            "       fontgen --preview <dejavu-dir> <out.ppm>\n");
    return 2;
}

int main(int argc, char **argv) {
    if (argc < 3) return usage();
    std::string mode = argv[1];
    if ((mode == "--tables" && argc != 3) || (mode == "--preview" && argc != 4) ||
        (mode[0] != '-' && argc != 3))
        return usage();
    std::string dir = argv[2];

    FT_Library lib;
    if (FT_Init_FreeType(&lib)) {
        fprintf(stderr, "fontgen: FreeType won't start\n");
        return 1;
    }
    Font f10, f8;
    bool ok = buildFont(lib, dir, style10, f10) && buildFont(lib, dir, style8, f8);
    FT_Done_FreeType(lib);
    if (!ok) return 1;

    if (mode == "--tables") {
        printTables(style10, f10);
        printf("\n");
        printTables(style8, f8);
        return 0;
    }
    if (mode == "--preview") return writePreview(argv[3], f10, f8) ? 0 : 1;
    if (mode[0] == '-') return usage();

    std::string pix = mode + "/pix";
    mkdir(pix.c_str(), 0777);
    return writeBmp(pix + "/" + style10.sheet, f10) &&
                   writeBmp(pix + "/" + style8.sheet, f8)
               ? 0
               : 1;
}
