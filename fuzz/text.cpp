/* Fuzzer: both forms of DrawString with any bytes, any pen position, any
 * wrapping width, and either the game's own metric tables or any tables a
 * metric file could hold (widths -999..9999, offsets -9..99), on a full-size
 * and a smallest-possible glyph sheet made here.
 *
 * Besides the sanitizers it checks that the one-line form returns the
 * width it drew by its own rule, and that wrapping only ever turns spaces
 * into the break code 8. */
#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "main.h"
#include "surface.h"

static SDL_Surface *sheets[2];   /* 64 x 64 (4 x 4 cells) and 16 x 16 (1 x 1) */
static SDL_Surface *canvas;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    /* Every glyph cell gets some ink on the key colour, as a real sheet has. */
    for (int k = 0; k < 2; k++) {
        sheets[k] = surface32(k ? 16 : 64, k ? 16 : 64);
        SDL_FillRect(sheets[k], NULL, 0);
        SDL_Rect ink = { 0, 0, 2, 2 };
        for (ink.y = 0; ink.y < sheets[k]->h; ink.y += 4)
            for (ink.x = 0; ink.x < sheets[k]->w; ink.x += 4)
                SDL_FillRect(sheets[k], &ink, 0xFFFFFF);
        SDL_SetColorKey(sheets[k], SDL_SRCCOLORKEY, 0);
    }
    canvas = surface32(120, 80);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    PKFont font;
    font.img = sheets[in.ConsumeBool()];
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        memcpy(font.bred, bred10, sizeof font.bred);
        memcpy(font.ofset, ofset10, sizeof font.ofset);
        break;
    case 1:
        memcpy(font.bred, bred8, sizeof font.bred);
        memcpy(font.ofset, ofset8, sizeof font.ofset);
        break;
    default:
        for (int v = 0; v < 256; v++) {
            font.bred[v] = in.ConsumeIntegralInRange(-999, 9999);
            font.ofset[v] = in.ConsumeIntegralInRange(-9, 99);
        }
    }
    int x = in.ConsumeIntegralInRange(-1000, 1000);
    int y = in.ConsumeIntegralInRange(-1000, 1000);
    int width = in.ConsumeIntegral<int>();
    std::string text = in.ConsumeRemainingBytesAsString();
    const char *s = text.c_str();   /* ends at the first zero byte */

    int expected = 0;
    for (const unsigned char *p = (const unsigned char *)s; *p; p++)
        expected += *p == ' ' ? font.img->w / 16 / 3 : font.bred[*p];
    if (DrawString(font, x, y, s, canvas) != expected)
        abort();

    DrawString(font, x, y, s, canvas, width);
    size_t laid = strnlen(s, sizeof tempstr);
    for (size_t i = 0; i < laid; i++)
        if (tempstr[i] != s[i] && !(s[i] == ' ' && tempstr[i] == 8))
            abort();
    return 0;
}
