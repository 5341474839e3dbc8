/* The font module on a synthetic sheet whose every pixel says where it came
 * from: red is the cell's byte value, green the column inside the cell,
 * blue the row inside the cell. A drawn pixel then names its glyph. */
#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support.h"

static SDL_Surface *surface32(int w, int h)
{
    return SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
}

class Font : public ::testing::Test {
protected:
    PKFont font;
    SDL_Surface *dest = nullptr;
    const int cw = 20, ch = 16;  // sheet 320 x 256

    void SetUp() override
    {
        startHeadless();
        font.img = surface32(16 * cw, 16 * ch);
        for (int y = 0; y < font.img->h; y++)
            for (int x = 0; x < font.img->w; x++) {
                int v = (y / ch) * 16 + x / cw;
                ((Uint32 *)((Uint8 *)font.img->pixels + y * font.img->pitch))[x] =
                    (Uint32)v << 16 | (Uint32)(x % cw) << 8 | (Uint32)(y % ch);
            }
        for (int v = 0; v < 256; v++) {
            font.bred[v] = 2 + v % 7;   // 2..8
            font.ofset[v] = v % 5;      // 0..4, so every glyph stays in its cell
        }
        dest = surface32(400, 200);
        clear();
    }
    void TearDown() override
    {
        SDL_FreeSurface(font.img);
        SDL_FreeSurface(dest);
    }
    void clear() { SDL_FillRect(dest, NULL, 0xFFFFFF); }
    /* A pixel row that wrapped line n alone covers: lines are ch - 4 apart
     * and ch high, so neighbours overlap at their edges. */
    int lineY(int n) { return n * (ch - 4) + 6; }

    /* What lies at (x, y) of the destination: the byte drawn there and the
     * column of its cell, or -1 for untouched. */
    int byteAt(int x, int y) { return rgbAt(dest, x, y) == 0xFFFFFF ? -1 : (int)(rgbAt(dest, x, y) >> 16); }
    int cellColumnAt(int x, int y) { return (rgbAt(dest, x, y) >> 8) & 0xFF; }
};

TEST_F(Font, PlainStringReturnsItsWidth)
{
    const struct { const char *text; int width; } cases[] = {
        { "", 0 },
        { "   ", 3 * (20 / 3) },
        { "A", 2 + 65 % 7 },
        { "AB C", (2 + 65 % 7) + (2 + 66 % 7) + 6 + (2 + 67 % 7) },
        { "\xE4\xFF", (2 + 228 % 7) + (2 + 255 % 7) },
        { "\r\b", (2 + 13 % 7) + (2 + 8 % 7) },
    };
    for (auto c : cases) {
        clear();
        EXPECT_EQ(DrawString(font, 10, 10, c.text, dest), c.width) << "\"" << c.text << "\"";
    }
    clear();
    DrawString(font, 10, 10, "   ", dest);
    for (int x = 0; x < dest->w; x++)
        ASSERT_EQ(byteAt(x, 12), -1) << "a space draws nothing";
}

TEST_F(Font, GlyphsComeFromTheirCellAtTheirOffset)
{
    // Byte 169 is column 9 of row 10; every pixel of its rectangle is copied.
    DrawString(font, 50, 20, "\xA9", dest);
    for (int dy = 0; dy < ch; dy++)
        for (int dx = 0; dx < font.bred[169]; dx++) {
            ASSERT_EQ(rgbAt(dest, 50 + dx, 20 + dy),
                      (Uint32)169 << 16 | (Uint32)(font.ofset[169] + dx) << 8 | (Uint32)dy)
                << dx << "," << dy;
        }
    EXPECT_EQ(byteAt(50 + font.bred[169], 20), -1) << "nothing past the glyph's width";
    EXPECT_EQ(byteAt(50, 20 + ch), -1) << "nothing below the cell";
}

TEST_F(Font, CarriageReturnIsAGlyphOnOneLineInThePlainForm)
{
    DrawString(font, 0, 0, "a\rb", dest);
    int x = font.bred['a'];
    EXPECT_EQ(byteAt(x, 0), 13);
    EXPECT_EQ(byteAt(x + font.bred[13], 0), 'b');
}

TEST_F(Font, WrappedLineAtTheLimitStaysAndOnePixelMoreBreaks)
{
    const char *text = "ab cd";
    int measured = font.bred['a'] + font.bred['b'] + font.bred[' '] + font.bred['c'] + font.bred['d'];

    DrawString(font, 10, 0, text, dest, measured);
    int cx = 10 + font.bred['a'] + font.bred['b'] + cw / 3;
    EXPECT_EQ(byteAt(cx, 0), 'c') << "at the limit: one line";
    EXPECT_EQ(byteAt(10, lineY(1)), -1);

    clear();
    DrawString(font, 10, 0, text, dest, measured - 1);
    EXPECT_EQ(byteAt(10, 0), 'a');
    EXPECT_EQ(byteAt(cx, 0), -1) << "the breaking space is not drawn";
    EXPECT_EQ(byteAt(10, lineY(1)), 'c') << "the next line starts at x, ch - 4 lower";
    EXPECT_EQ(byteAt(10 + font.bred['c'], lineY(1)), 'd');
    EXPECT_EQ(rgbAt(dest, 10, ch - 4) & 0xFF, 0u) << "and its top row is the cell's top row";
}

TEST_F(Font, WrappedFormBreaksAtCarriageReturnAndBreakCode)
{
    DrawString(font, 30, 0, "a\rb\bc", dest, 1000);
    EXPECT_EQ(byteAt(30, lineY(0)), 'a');
    EXPECT_EQ(byteAt(30, lineY(1)), 'b');
    EXPECT_EQ(byteAt(30, lineY(2)), 'c');
    EXPECT_EQ(byteAt(30 + font.bred['a'], 0), -1) << "13 is not drawn";
}

TEST_F(Font, WrappedMeasuresSpacesByTheTableAndDrawsThemByTheCell)
{
    // a is 8 wide, b 2, c 3: "a b" measures 8 + 50 + 2 = 60 > 59 and breaks
    // at its space; "b c" measures 55 and stays, drawn with a 6-pixel space.
    font.bred[' '] = 50;
    DrawString(font, 0, 0, "a b c", dest, 59);
    EXPECT_EQ(byteAt(0, lineY(0)), 'a');
    EXPECT_EQ(byteAt(0, lineY(1)), 'b');
    EXPECT_EQ(byteAt(2 + cw / 3, lineY(1)), 'c');
    EXPECT_EQ(byteAt(0, lineY(2)), -1);
}

TEST_F(Font, WrappedFormSurvivesOverlongWordsAndTexts)
{
    // A word wider than the limit runs past it; the text after it still wraps.
    DrawString(font, 0, 0, "aaaaaaaaaaaa bb cc", dest, 20);
    EXPECT_EQ(byteAt(0, lineY(0)), 'a');
    EXPECT_EQ(byteAt(11 * 8, lineY(0)), 'a') << "the long word runs past the limit";
    EXPECT_EQ(byteAt(0, lineY(1)), 'b');
    EXPECT_EQ(byteAt(4 + cw / 3, lineY(1)), 'c');

    // More than the working buffer holds: only its first 4000 bytes are laid out.
    std::string big(5000, 'x');
    for (size_t i = 7; i < big.size(); i += 8)
        big[i] = ' ';
    DrawString(font, 0, 0, big.c_str(), dest, 100);
    std::string noSpace(6000, 'y');
    DrawString(font, 0, 0, noSpace.c_str(), dest, 10);
}

/* ==== Metric files ==== */

class Metrics : public ::testing::Test {
protected:
    int bred[256], ofset[256];
    std::string dir;

    void SetUp() override
    {
        char tmpl[] = "/tmp/tumbrik-metricsXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        for (int i = 0; i < 256; i++)
            bred[i] = ofset[i] = -7;
    }
    void TearDown() override
    {
        unlink((dir + "/b").c_str());
        unlink((dir + "/o").c_str());
        rmdir(dir.c_str());
    }
    void write(const char *name, const std::string &text)
    {
        std::ofstream(dir + "/" + name) << text;
    }
    void load()
    {
        testing::internal::CaptureStdout();
        InitBredOfset((dir + "/b").c_str(), (dir + "/o").c_str(), bred, ofset);
        printed = testing::internal::GetCapturedStdout();
    }
    std::string printed;
};

TEST_F(Metrics, ReadsOneNumberALineAndLeavesTheRest)
{
    write("b", "11\n4\n7\n");
    write("o", "3\n\nx\n9");
    load();
    EXPECT_EQ(printed, dir + "/b\n");
    EXPECT_EQ(bred[0], 11);
    EXPECT_EQ(bred[1], 4);
    EXPECT_EQ(bred[2], 7);
    EXPECT_EQ(bred[3], -7);
    EXPECT_EQ(bred[255], -7);
    EXPECT_EQ(ofset[0], 3);
    EXPECT_EQ(ofset[1], 0) << "an empty line stores 0";
    EXPECT_EQ(ofset[2], 0) << "so does a line that is not a number";
    EXPECT_EQ(ofset[3], 9) << "a last line without a line end is read";
    EXPECT_EQ(ofset[4], -7);
}

TEST_F(Metrics, ALineTooLongStopsReadingThatFile)
{
    write("b", "1\n2222\n33333\n4\n");
    write("o", "1\n22\n333\n4\n");
    load();
    EXPECT_EQ(bred[1], 2222);
    EXPECT_EQ(bred[2], -7);
    EXPECT_EQ(bred[3], -7);
    EXPECT_EQ(ofset[1], 22);
    EXPECT_EQ(ofset[2], -7);
    EXPECT_EQ(ofset[3], -7);
}

TEST_F(Metrics, StopsAtTheEndOfTheTableAndSurvivesAMissingFile)
{
    std::string lines;
    for (int i = 0; i < 300; i++)
        lines += std::to_string(i) + "\n";
    write("b", lines);
    load();  // no offset file at all
    EXPECT_EQ(bred[255], 255);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(ofset[i], -7);
}

/* ==== Pixels and lines ==== */

TEST(Pixels, DrawPixelAtEveryDepth)
{
    startHeadless();
    for (int bpp : { 8, 16, 24, 32 }) {
        SDL_Surface *s = bpp == 24  // masks that tell the three bytes apart
                             ? SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 4, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0)
                             : SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 4, bpp, 0, 0, 0, 0);
        ASSERT_NE(s, nullptr) << bpp;
        SDL_FillRect(s, NULL, 0);
        Uint32 want = SDL_MapRGB(s->format, 200, 100, 50);
        DrawPixel(s, 3, 2, 200, 100, 50);
        DrawPixel(s, -1, 0, 255, 255, 255);
        DrawPixel(s, 8, 0, 255, 255, 255);
        DrawPixel(s, 0, 4, 255, 255, 255);
        Uint8 *row = (Uint8 *)s->pixels + 2 * s->pitch;
        int n = s->format->BytesPerPixel;
        Uint32 got = 0;
        if (n == 3)
            got = row[9] | row[10] << 8 | row[11] << 16;  // lowest byte first
        else
            memcpy(&got, row + 3 * n, n);
        EXPECT_EQ(got, want) << bpp << " bits";
        int touched = 0;
        for (int y = 0; y < 4; y++)
            for (int i = 0; i < 8 * n; i++)
                touched += ((Uint8 *)s->pixels)[y * s->pitch + i] != 0;
        EXPECT_LE(touched, n) << "only the one pixel, at " << bpp << " bits";
        SDL_FreeSurface(s);
    }
}

TEST(Pixels, DrawLineBothWaysAndOffTheSurface)
{
    startHeadless();
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, 12, 8, 16, 0xF800, 0x07E0, 0x001F, 0);
    auto lit = [s]() {
        std::string pic;
        for (int y = 0; y < s->h; y++) {
            for (int x = 0; x < s->w; x++)
                pic += ((Uint16 *)((Uint8 *)s->pixels + y * s->pitch))[x] ? '#' : '.';
            pic += '\n';
        }
        return pic;
    };
    const std::string expected = "##..........\n"
                                 "..##........\n"
                                 "....##......\n"
                                 "......##....\n"
                                 "........##..\n"
                                 "............\n"
                                 "............\n"
                                 "............\n";
    SDL_FillRect(s, NULL, 0);
    DrawLine(0, 0, 9, 4, 0xFFFF, s);
    EXPECT_EQ(lit(), expected);
    SDL_FillRect(s, NULL, 0);
    DrawLine(9, 4, 0, 0, 0xFFFF, s);
    EXPECT_EQ(lit(), expected);

    SDL_FillRect(s, NULL, 0);
    DrawLine(-5, 3, 20, 3, 0xFFFF, s);
    EXPECT_EQ(lit().substr(3 * 13, 13), "############\n") << "clipped to the surface";
    SDL_FreeSurface(s);

    SDL_Surface *wide = surface32(4, 4);
    SDL_FillRect(wide, NULL, 0);
    DrawLine(0, 0, 3, 3, 0xFFFF, wide);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(rgbAt(wide, x, y), 0u) << "only 2-byte surfaces are drawn on";
    SDL_FreeSurface(wide);
}
