/* The two glyph sheets in pix/ against the metric tables the game cuts
 * them with. DrawString blits the rectangle (ofset[v] + column * cw,
 * row * ch, bred[v], ch) through the colour key, so any ink outside that
 * span is lost, and any pixel that is almost but not quite the key shows
 * as a speck around the letters. */
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "main.h"

namespace {

/* ==== The sheets ==== */

/* Each sheet is read back as the game loads it and checked cell by cell
 * against its own tables. */

struct SheetCase {
    const char *name;
    const char *file;
    const int *bred;
    const int *ofset;
    Uint32 key;         /* 0xRRGGBB, as the game keys the sheet */
    bool lightOnDark;   /* drawn on the grey window and on the dark well */
};

const SheetCase sheetCases[] = {
    { "Tahoma10", "pix/Tahoma10.bmp", bred10, ofset10, 0x000000, true  },
    { "tahoma8",  "pix/tahoma8.bmp",  bred8,  ofset8,  0xFFFFFF, false },
};

void PrintTo(const SheetCase &c, std::ostream *os) { *os << c.file; }

/* The five bytes that Windows-1252 leaves without a character. */
bool undefinedByte(int v) {
    return v == 129 || v == 141 || v == 143 || v == 144 || v == 157;
}

int luma(Uint32 rgb) {
    return (299 * (rgb >> 16) + 587 * ((rgb >> 8) & 0xFF) + 114 * (rgb & 0xFF)) /
           1000;
}

class FontSheet : public ::testing::TestWithParam<SheetCase> {
protected:
    SDL_Surface *sheet = nullptr;
    int cw = 0, ch = 0;

    void SetUp() override {
        sheet = SDL_LoadBMP(GetParam().file);
        ASSERT_NE(sheet, nullptr) << GetParam().file << ": " << SDL_GetError();
        /* Every check below reads the pixels as one palette index each. */
        ASSERT_EQ((int)sheet->format->BytesPerPixel, 1) << GetParam().file;
        ASSERT_NE(sheet->format->palette, nullptr) << GetParam().file;
        cw = sheet->w / 16;
        ch = sheet->h / 16;
    }
    void TearDown() override { SDL_FreeSurface(sheet); }

    /* The palette index at (x, y) of byte v's cell. */
    Uint8 indexAt(int v, int x, int y) const {
        int sx = (v % 16) * cw + x, sy = (v / 16) * ch + y;
        return ((const Uint8 *)sheet->pixels)[sy * sheet->pitch + sx];
    }
    /* Its colour through the palette, as 0xRRGGBB (SDL's loader refuses a
     * file with an index past the palette). */
    Uint32 at(int v, int x, int y) const {
        const SDL_Color &c = sheet->format->palette->colors[indexAt(v, x, y)];
        return (Uint32)c.r << 16 | (Uint32)c.g << 8 | c.b;
    }
    bool ink(int v, int x, int y) const { return at(v, x, y) != GetParam().key; }

    bool cellHasInk(int v) const {
        for (int y = 0; y < ch; y++)
            for (int x = 0; x < cw; x++)
                if (ink(v, x, y)) return true;
        return false;
    }

    /* The cell as text: '#' ink inside the span, 'X' ink outside it, '.'
     * key; a ruler on top marks the span's columns with '-'. */
    std::string picture(int v) const {
        const SheetCase &c = GetParam();
        int lo = c.ofset[v], hi = c.ofset[v] + c.bred[v];
        std::ostringstream out;
        out << "byte " << v << ", span columns " << lo << ".." << hi - 1 << "\n";
        for (int x = 0; x < cw; x++) out << (x >= lo && x < hi ? '-' : ' ');
        out << "\n";
        for (int y = 0; y < ch; y++) {
            for (int x = 0; x < cw; x++)
                out << (!ink(v, x, y) ? '.' : x >= lo && x < hi ? '#' : 'X');
            out << "\n";
        }
        return out.str();
    }
};

TEST_P(FontSheet, IsAPalettedPictureOfSixteenBySixteenCells) {
    /* One byte a pixel through a palette: SDL blits that with its one-byte
     * keyed blitter, a table look-up a pixel. */
    EXPECT_EQ(sheet->format->BitsPerPixel, 8);
    const SDL_Palette *pal = sheet->format->palette;
    /* The game keys the sheet with SDL_MapRGB, which gives the first entry
     * of the key colour: the key has to be exactly one entry, or pixels of
     * a second one would show as specks of the key colour. */
    const Uint32 key = GetParam().key;
    int keyEntries = 0;
    for (int i = 0; i < pal->ncolors; i++) {
        const SDL_Color &c = pal->colors[i];
        keyEntries += ((Uint32)c.r << 16 | (Uint32)c.g << 8 | c.b) == key;
    }
    EXPECT_EQ(keyEntries, 1) << "palette entries of the key colour";
    EXPECT_EQ(SDL_MapRGB(sheet->format, key >> 16, (key >> 8) & 0xFF, key & 0xFF),
              (Uint32)indexAt(0, 0, 0))
        << "the key maps to the index of the empty cell of byte 0";
    EXPECT_GE(cw, 8);
    EXPECT_GE(ch, 8);
    EXPECT_LE(ch, 40);
    /* Every glyph rectangle has to stay inside its own cell, or the blit
     * takes in a strip of the neighbour. */
    for (int v = 0; v < 256; v++) {
        const SheetCase &c = GetParam();
        EXPECT_GE(c.ofset[v], 0) << "byte " << v;
        EXPECT_GT(c.bred[v], 0) << "byte " << v;
        EXPECT_LE(c.ofset[v] + c.bred[v], cw) << "byte " << v;
    }
}

TEST_P(FontSheet, EveryGlyphsInkLiesInsideItsSpan) {
    const SheetCase &c = GetParam();
    for (int v = 0; v < 256; v++) {
        bool outside = false;
        for (int y = 0; y < ch && !outside; y++)
            for (int x = 0; x < cw; x++)
                if (ink(v, x, y) && (x < c.ofset[v] || x >= c.ofset[v] + c.bred[v]))
                    outside = true;
        if (outside) ADD_FAILURE() << "ink outside the span\n" << picture(v);
    }
}

TEST_P(FontSheet, HoldsOnlyTheKeyAndAFewGlyphColours) {
    const SheetCase &c = GetParam();
    std::set<Uint32> colours;
    for (int v = 0; v < 256; v++)
        for (int y = 0; y < ch; y++)
            for (int x = 0; x < cw; x++) {
                Uint32 col = at(v, x, y);
                if (col == c.key) continue;
                colours.insert(col);
                int dr = abs((int)(col >> 16) - (int)(c.key >> 16));
                int dg = abs((int)((col >> 8) & 0xFF) - (int)((c.key >> 8) & 0xFF));
                int db = abs((int)(col & 0xFF) - (int)(c.key & 0xFF));
                if (dr < 24 && dg < 24 && db < 24)
                    ADD_FAILURE() << "near-key colour " << std::hex << col
                                  << std::dec << " at (" << x << ", " << y
                                  << ")\n" << picture(v);
            }
    /* Solid glyphs use one or two colours; anti-aliasing leaves dozens. */
    EXPECT_LE(colours.size(), 3u);
    /* The 10-point font needs a light core for the dark well and a dark
     * edge for the grey window; the 8-point font is dark on grey only. */
    bool light = false, dark = false;
    for (Uint32 col : colours) {
        if (luma(col) >= 0xC0) light = true;
        if (luma(col) <= 0x40) dark = true;
    }
    EXPECT_EQ(light, c.lightOnDark);
    EXPECT_TRUE(dark);
}

TEST_P(FontSheet, CharactersHaveInkAndControlCodesNone) {
    /* Among the characters are all the bytes of the game's texts: letters,
     * digits, space, ':', '-', the Swedish letters and the copyright sign. */
    for (int v = 0; v < 256; v++) {
        if (undefinedByte(v) || v == 160) continue;   /* may be left blank */
        bool character = v > 32 && v != 127;
        EXPECT_EQ(cellHasInk(v), character)
            << (character ? "no glyph for " : "a glyph in the empty ") << "byte "
            << v << "\n" << picture(v);
    }
}

TEST_P(FontSheet, LettersShareOneBaseline) {
    /* Letters and digits with a flat foot; each one's lowest ink row has
     * to be the same, or words would jump up and down. */
    const char *flat = "EFHIKLMNTXZhiklmnrxz1";
    int base = -1;
    for (const char *p = flat; *p; p++) {
        int v = (unsigned char)*p, lowest = -1;
        for (int y = 0; y < ch; y++)
            for (int x = 0; x < cw; x++)
                if (ink(v, x, y)) lowest = y;
        if (base < 0) base = lowest;
        EXPECT_EQ(lowest, base) << "'" << *p << "'\n" << picture(v);
    }
}

INSTANTIATE_TEST_SUITE_P(Sheets, FontSheet, ::testing::ValuesIn(sheetCases),
                         [](const ::testing::TestParamInfo<SheetCase> &i) {
                             return std::string(i.param.name);
                         });

/* ==== Table values ==== */

/* Entries that the game's screen layout was made with. */

TEST(FontTables, ControlCodesShareOneWidth) {
    for (int v = 0; v < 32; v++) {
        EXPECT_EQ(bred10[v], 11) << "byte " << v;
        EXPECT_EQ(ofset10[v], 5) << "byte " << v;
        EXPECT_EQ(bred8[v], v == 7 ? 8 : 12) << "byte " << v;
        EXPECT_EQ(ofset8[v], v == 7 ? 4 : 3) << "byte " << v;
    }
}

TEST(FontTables, KnownRows) {
    struct Row {
        int v, bred10, ofset10, bred8, ofset8;
    };
    const Row rows[] = {
        {  32, 11, 5, 12, 3 },   /* space */
        {  87, 14, 3,  9, 3 },   /* W */
        { 105,  4, 9,  3, 6 },   /* i */
        { 109, 12, 5,  9, 4 },   /* m */
        { 137, 20, 0, 12, 0 },   /* per mille */
        { 169, 13, 4, 11, 2 },   /* copyright sign */
        { 228,  9, 6,  7, 5 },   /* a diaeresis */
    };
    for (const Row &r : rows) {
        EXPECT_EQ(bred10[r.v], r.bred10) << "byte " << r.v;
        EXPECT_EQ(ofset10[r.v], r.ofset10) << "byte " << r.v;
        EXPECT_EQ(bred8[r.v], r.bred8) << "byte " << r.v;
        EXPECT_EQ(ofset8[r.v], r.ofset8) << "byte " << r.v;
    }
}

TEST(FontTables, PerMilleIsTheWidestTenPointGlyph) {
    for (int v = 0; v < 256; v++) {
        if (v == 137) continue;
        EXPECT_LT(bred10[v], bred10[137]) << "byte " << v;
    }
}

}  // namespace
