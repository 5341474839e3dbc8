/* Start-up: the state the first frame finds, and the assets with their
 * colour keys. */
#include <gtest/gtest.h>

#include "support.h"

/* InitStuff loads every picture again; hand those back afterwards so the
 * surfaces the other tests share stay the ones in use. */
class Startup : public ::testing::Test {
protected:
    SDL_Surface **handles[7] = { &text10.img, &text8.img, &over, &logo,
                                 &pausB, &tumbrik, &sdllogo };
    SDL_Surface *saved[7];

    void SetUp() override
    {
        resetGame();
        for (int i = 0; i < 7; i++)
            saved[i] = *handles[i];
    }
    void TearDown() override
    {
        for (int i = 0; i < 7; i++) {
            if (*handles[i] != saved[i])
                SDL_FreeSurface(*handles[i]);
            *handles[i] = saved[i];
        }
        resetGame();
    }
};

TEST_F(Startup, FirstFrameFindsTheTitleScreenAndAFreshBoard)
{
    memset(blockcolor, 'x', sizeof blockcolor);
    fakeNow = 4242;
    srand(77);
    char first = "abcdef"[rand() % 6];
    char second = "abcdef"[rand() % 6];
    srand(77);
    InitStuff();

    EXPECT_EQ(tid, 4242) << "the clock is read through GetTicks before loading";
    std::string board = boardPicture();
    for (int i = 0; i < 400; i++)
        ASSERT_EQ(blockcolor[i], i < 380 ? 'a' : 'b') << "cell " << i << board;
    EXPECT_EQ(drop.variant, first);
    EXPECT_EQ(next, second);
    EXPECT_EQ(Gameover, 'a');
    EXPECT_EQ(paus, 'o');
    EXPECT_EQ(drop.rot, 'n');
    EXPECT_EQ(drop.x, 218.0f);
    EXPECT_EQ(drop.y, 20.0f);
    EXPECT_EQ(drop.cell[0], 380);
    EXPECT_EQ(points, 0);
    EXPECT_EQ(speed, 0.045f);
    EXPECT_EQ(music, nullptr) << "no sound is loaded while the mixer is closed";
    EXPECT_EQ(bonus, nullptr);
}

TEST_F(Startup, PicturesKeepTheirFormatAndGetTheirKeys)
{
    InitStuff();
    const struct { SDL_Surface *pic; const char *name; bool keyed; Uint8 r, g, b; } cases[] = {
        { text10.img, "Tahoma10", true, 0, 0, 0 },   { text8.img, "tahoma8", true, 255, 255, 255 },
        { over, "over", true, 255, 0, 255 },         { logo, "logo", true, 255, 0, 255 },
        { pausB, "paus", true, 255, 0, 255 },        { tumbrik, "tumbrik2", true, 0, 0, 255 },
        { sdllogo, "sdllogo", false, 0, 0, 0 },
    };
    for (auto c : cases) {
        ASSERT_NE(c.pic, nullptr) << c.name;
        EXPECT_EQ((c.pic->flags & SDL_SRCCOLORKEY) != 0, c.keyed) << c.name;
        EXPECT_EQ(c.pic->flags & SDL_RLEACCEL, 0u) << c.name << " is not run-length encoded";
        EXPECT_EQ(c.pic->format->BitsPerPixel, 8) << c.name << " is paletted, for fast keyed blits";
        if (c.keyed) {
            EXPECT_EQ(c.pic->format->colorkey, SDL_MapRGB(c.pic->format, c.r, c.g, c.b)) << c.name;
        }
    }
    EXPECT_EQ(tumbrik->w, 32);
    EXPECT_EQ(tumbrik->h, 32);
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(text10.bred[i], bred10[i]);
        ASSERT_EQ(text10.ofset[i], ofset10[i]);
        ASSERT_EQ(text8.bred[i], bred8[i]);
        ASSERT_EQ(text8.ofset[i], ofset8[i]);
    }
}

TEST_F(Startup, ExactKeyColourIsTransparentAndItsNeighbourIsNot)
{
    InitStuff();
    // Every keyed picture, drawn on a surface of a colour it doesn't use:
    // where the picture holds exactly the key, the background shows.
    for (SDL_Surface *pic : { over, logo, pausB, tumbrik }) {
        SDL_Surface *pic24 = SDL_CreateRGBSurface(SDL_SWSURFACE, 2, 1, 24, 0xFF0000, 0x00FF00,
                                                  0x0000FF, 0);
        Uint8 kr, kg, kb;
        SDL_GetRGB(pic->format->colorkey, pic->format, &kr, &kg, &kb);
        Uint8 *px = (Uint8 *)pic24->pixels;
        Uint32 key = SDL_MapRGB(pic24->format, kr, kg, kb);
        Uint32 near = SDL_MapRGB(pic24->format, kr ^ 1, kg, kb);
        memcpy(px, &key, 3);
        memcpy(px + 3, &near, 3);
        SDL_SetColorKey(pic24, SDL_SRCCOLORKEY, key);
        SDL_Surface *out = SDL_CreateRGBSurface(SDL_SWSURFACE, 2, 1, 32, 0xFF0000, 0x00FF00,
                                                0x0000FF, 0);
        SDL_FillRect(out, NULL, 0x123456);
        DrawIMG(pic24, 0, 0, out);
        EXPECT_EQ(rgbAt(out, 0, 0), 0x123456u);
        EXPECT_EQ(rgbAt(out, 1, 0), (Uint32)(kr ^ 1) << 16 | kg << 8 | kb);

        // And the real picture: its key pixels leave the background alone.
        SDL_Surface *big = SDL_CreateRGBSurface(SDL_SWSURFACE, pic->w, pic->h, 32, 0xFF0000,
                                                0x00FF00, 0x0000FF, 0);
        SDL_FillRect(big, NULL, 0x123456);
        DrawIMG(pic, 0, 0, big);
        int keyed = 0, wrong = 0;
        for (int y = 0; y < pic->h; y++)
            for (int x = 0; x < pic->w; x++) {
                bool isKey = rgbAt(pic, x, y) == ((Uint32)kr << 16 | kg << 8 | kb);
                keyed += isKey;
                wrong += isKey ? rgbAt(big, x, y) != 0x123456 : rgbAt(big, x, y) != rgbAt(pic, x, y);
            }
        EXPECT_GT(keyed, 0) << "every keyed picture has transparent pixels";
        EXPECT_EQ(wrong, 0);
        SDL_FreeSurface(big);
        SDL_FreeSurface(out);
        SDL_FreeSurface(pic24);
    }
}

TEST_F(Startup, PicturesFitWhereTheyAreDrawn)
{
    InitStuff();
    EXPECT_LE(logo->w, 160);
    EXPECT_LE(logo->h, 150);
    EXPECT_LE(over->w, 330);
    EXPECT_LE(over->h, 85);
    EXPECT_LE(100 + pausB->w, 408) << "the pause picture stays inside the well";
    EXPECT_LE(sdllogo->w, 60);
    EXPECT_LE(sdllogo->h, 40);
}
