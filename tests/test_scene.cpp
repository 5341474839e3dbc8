/* The three screens drawn onto a 32-bit surface with the real assets, read
 * back pixel by pixel. */
#include <gtest/gtest.h>

#include "support.h"

class Scene : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetGame();
        useRealAssetsAndScreen();
    }
    void TearDown() override { resetGame(); }

    /* The pixels of a rectangle that have the colour, as a picture. */
    std::string mask(int x0, int y0, int w, int h, Uint32 rgb)
    {
        std::string pic;
        for (int y = y0; y < y0 + h; y++) {
            for (int x = x0; x < x0 + w; x++)
                pic += rgbAt(screen, x, y) == rgb ? '#' : '.';
            pic += '\n';
        }
        return pic;
    }
    /* The same rectangle with the given fills marked, for comparison. */
    static std::string expectMask(int x0, int y0, int w, int h, std::vector<SDL_Rect> fills)
    {
        std::string pic;
        for (int y = y0; y < y0 + h; y++) {
            for (int x = x0; x < x0 + w; x++) {
                bool in = false;
                for (SDL_Rect r : fills)
                    in |= x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
                pic += in ? '#' : '.';
            }
            pic += '\n';
        }
        return pic;
    }
    /* Is the picture drawn whole at (x, y)? Keyed pixels are skipped: those
     * whose stored value (a palette index, or packed channels without the
     * unused byte of a 32-bit pixel) is the key value, as SDL's blitter
     * decides it. The rest must show the picture's colour on the screen. */
    bool pictureAt(SDL_Surface *pic, int x, int y)
    {
        const SDL_PixelFormat *f = pic->format;
        bool keyed = pic->flags & SDL_SRCCOLORKEY;
        Uint32 used = f->palette ? 0xFFFFFFFF : f->Rmask | f->Gmask | f->Bmask | f->Amask;
        for (int py = 0; py < pic->h; py++)
            for (int px = 0; px < pic->w; px++) {
                Uint32 raw = 0;
                memcpy(&raw, (Uint8 *)pic->pixels + py * pic->pitch + px * f->BytesPerPixel,
                       f->BytesPerPixel);
                if (keyed && (raw & used) == (f->colorkey & used))
                    continue;
                if (rgbAt(screen, x + px, y + py) != rgbAt(pic, px, py))
                    return false;
            }
        return true;
    }
    /* Does the rectangle hold any pixel of the colour? */
    bool anyOf(int x0, int y0, int w, int h, Uint32 rgb)
    {
        return mask(x0, y0, w, h, rgb).find('#') != std::string::npos;
    }
};

TEST_F(Scene, TitleScreenPileWithItsHole)
{
    DrawScene();
    const struct { int x, y; Uint32 rgb; const char *what; } probes[] = {
        { 0, 0, 0xAAAAAA, "window" },          { 579, 399, 0xAAAAAA, "window corner" },
        { 8, 8, 0x111111, "well top-left" },   { 407, 389, 0x111111, "well bottom-right (last column)" },
        { 8, 389, 0x00FF00, "pile" },          { 387, 330, 0x00FF00, "pile, column 18" },
        { 388, 370, 0x111111, "column 19" },   { 88, 330, 0x111111, "hole" },
        { 107, 349, 0x111111, "hole" },        { 87, 340, 0x00FF00, "left of the hole" },
        { 8, 310, 0x00FF00, "row 15 left" },   { 167, 329, 0x00FF00, "row 15 left end" },
        { 168, 320, 0x111111, "row 15 gap" },  { 288, 310, 0x00FF00, "row 15 right" },
        { 367, 320, 0x00FF00, "row 15 right end" }, { 368, 320, 0x111111, "after it" },
        { 28, 290, 0x00FF00, "row 14 column 1" }, { 48, 300, 0x111111, "row 14 column 2" },
        { 8, 300, 0x111111, "row 14 column 0" }, { 7, 200, 0xAAAAAA, "left of the well" },
        { 408, 200, 0xAAAAAA, "right of the well" },
    };
    for (auto p : probes)
        EXPECT_EQ(rgbAt(screen, p.x, p.y), p.rgb) << p.what << " at " << p.x << "," << p.y;
    EXPECT_TRUE(pictureAt(logo, 420, 5));
}

TEST_F(Scene, DemoPieceByArot)
{
    const struct { char arot; std::vector<SDL_Rect> fills; } cases[] = {
        { 'a', { { 208, 70, 60, 20 }, { 248, 90, 20, 20 } } },
        { 'b', { { 228, 50, 20, 60 }, { 208, 90, 20, 20 } } },
        { 'c', { { 208, 70, 60, 20 }, { 208, 50, 20, 20 } } },
        { 'd', { { 228, 50, 20, 60 }, { 248, 50, 20, 20 } } },
        { 'x', {} },
    };
    for (auto &c : cases) {
        Arot = c.arot;
        DrawScene();
        EXPECT_EQ(mask(190, 40, 100, 80, 0x0000FF), expectMask(190, 40, 100, 80, c.fills))
            << "Arot " << c.arot;
    }
}

TEST_F(Scene, PreviewByNext)
{
    Gameover = 'b';
    const struct { char next; std::vector<SDL_Rect> fills; } cases[] = {
        { 'a', { { 430, 180, 60, 20 }, { 470, 200, 20, 20 } } },
        { 'b', { { 430, 200, 60, 20 }, { 470, 180, 20, 20 } } },
        { 'c', { { 430, 180, 40, 40 } } },
        { 'd', { { 430, 180, 80, 20 } } },
        { 'e', { { 450, 180, 40, 20 }, { 430, 200, 40, 20 } } },
        { 'f', { { 430, 180, 40, 20 }, { 450, 200, 40, 20 } } },
        { 'g', {} },
    };
    for (auto &c : cases) {
        next = c.next;
        DrawScene();
        EXPECT_EQ(mask(420, 175, 100, 50, 0xFFFFFF), expectMask(420, 175, 100, 50, c.fills))
            << "next " << c.next;
    }
}

/* The well as drawn, one letter a cell read at its corners and centre:
 * '#' green, 'P' blue, '.' dark, '?' anything else or a mixed cell. */
static std::string wellPicture()
{
    std::string pic;
    for (int r = 0; r < 19; r++) {
        for (int k = 0; k < 20; k++) {
            int x = 8 + 20 * k, y = 10 + 20 * r;
            Uint32 c = rgbAt(screen, x + 10, y + 10);
            for (auto p : { std::make_pair(0, 0), std::make_pair(19, 19), std::make_pair(19, 0) })
                if (rgbAt(screen, x + p.first, y + p.second) != c)
                    c = 1;
            pic += c == 0x00FF00 ? '#' : c == 0x0000FF ? 'P' : c == 0x111111 ? '.' : '?';
        }
        pic += '\n';
    }
    return pic;
}

TEST_F(Scene, BoardInWholeCellsFilledWinsOverThePiece)
{
    Gameover = 'b';
    setRows(18, { "#..................#" });
    setRows(0, { "...................#" });
    drop.cell[0] = 360;  // filled (row 18, column 0): drawn green
    drop.cell[1] = 361;  // the piece
    drop.cell[2] = -5;   // above the well: not drawn
    drop.cell[3] = 385;  // the floor row: never drawn
    DrawScene();
    std::string expected = "...................#\n";
    for (int r = 1; r < 18; r++)
        expected += "....................\n";
    expected += "#P.................#\n";
    EXPECT_EQ(wellPicture(), expected);
    EXPECT_EQ(rgbAt(screen, 8, 8), 0x111111u) << "the well's top two lines stay dark";
}

TEST_F(Scene, PausePictureOnlyWhilePlaying)
{
    Gameover = 'b';
    DrawScene();
    EXPECT_FALSE(pictureAt(pausB, 100, 100));
    paus = 'i';
    DrawScene();
    EXPECT_TRUE(pictureAt(pausB, 100, 100));
    Gameover = 'c';
    DrawScene();
    EXPECT_FALSE(pictureAt(pausB, 100, 100));
    Gameover = 'a';
    DrawScene();
    EXPECT_FALSE(pictureAt(pausB, 100, 100));
}

TEST_F(Scene, ScoreLineFormattedAndDrawn)
{
    // The score drawn by the scene equals the same text drawn on its own.
    SDL_Surface *canvas = screen;
    SDL_Surface *reference =
        SDL_CreateRGBSurface(SDL_SWSURFACE, 580, 400, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    const struct { char screen; int points; const char *text; int x, y; } cases[] = {
        { 'b', 0, "Po\xE4ng: 0", 430, 240 },
        { 'b', 2147483647, "Po\xE4ng: 2147483647", 430, 240 },
        { 'c', 1111, "Po\xE4ng: 1111", 120, 220 },
        { 'c', -2147483647 - 1, "Po\xE4ng: -2147483648", 120, 220 },
    };
    for (auto c : cases) {
        Gameover = c.screen;
        points = c.points;
        screen = canvas;
        DrawScene();
        EXPECT_STREQ(straeng, c.text);
        screen = reference;
        SDL_FillRect(reference, NULL, 0);
        int w = DrawString(text10, c.x, c.y, c.text, reference);
        screen = canvas;
        int h = text10.img->h / 16, differ = 0, inked = 0;
        for (int y = c.y; y < c.y + h; y++)
            for (int x = c.x; x < std::min(580, c.x + w); x++) {
                Uint32 ref = rgbAt(reference, x, y);
                if (ref != 0) {
                    inked++;
                    differ += rgbAt(canvas, x, y) != ref;
                }
            }
        EXPECT_GT(inked, 20) << c.text;
        EXPECT_EQ(differ, 0) << c.text;
    }
    SDL_FreeSurface(reference);
}

TEST_F(Scene, CornerOnlyOnTitleAndGameOver)
{
    for (char s : { 'a', 'b', 'c' }) {
        Gameover = s;
        paus = 'o';
        DrawScene();
        bool corner = s != 'b';
        EXPECT_EQ(pictureAt(tumbrik, 453, 320), corner) << s;
        EXPECT_EQ(pictureAt(sdllogo, 520, 360), corner) << s;
        EXPECT_TRUE(pictureAt(logo, 420, 5)) << s;
        if (corner) {  // "(c) 2009" in the 8-point font's black ink
            EXPECT_TRUE(anyOf(430, 300, 60, 16, 0x000000)) << s;
        }
    }
}

TEST_F(Scene, GameOverShowsAnEmptyWell)
{
    setRows(10, { "####################", "#########...########" });
    drop.cell[0] = 100;
    next = 'd';
    paus = 'i';
    Gameover = 'c';
    DrawScene();
    EXPECT_TRUE(pictureAt(over, 70, 100));
    EXPECT_FALSE(anyOf(8, 170, 400, 220, 0x00FF00)) << "no board below the picture";
    EXPECT_FALSE(anyOf(8, 8, 60, 382, 0x0000FF)) << "no piece";
    EXPECT_FALSE(anyOf(420, 175, 100, 50, 0xFFFFFF)) << "no preview";
    EXPECT_FALSE(pictureAt(pausB, 100, 100)) << "no pause picture";
}
