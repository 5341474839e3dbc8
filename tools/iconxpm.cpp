/* iconxpm: the game's 32 x 32 emblem as an XPM for the desktop menu.
 *
 *   iconxpm pix/tumbrik2.bmp tumbrik.xpm
 *
 * The emblem's pure blue is its transparent colour in the game, so it is
 * "None" in the icon as well. */
#include <SDL.h>
#include <stdio.h>

#include <map>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        fprintf(stderr, "usage: iconxpm <picture.bmp> <icon.xpm>\n");
        return 2;
    }
    SDL_Surface *pic = SDL_LoadBMP(argv[1]);
    if (!pic) {
        fprintf(stderr, "Couldn't load %s: %s\n", argv[1], SDL_GetError());
        return 1;
    }
    std::map<Uint32, char> codes;  /* 0xRRGGBB -> one character */
    const char *alphabet = " .+@#$%&*=-;>,')!~{]^/(_:<[}|1234567890abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    auto rgb = [pic](int x, int y) {
        Uint8 *p = (Uint8 *)pic->pixels + y * pic->pitch + x * pic->format->BytesPerPixel;
        Uint32 v = 0;
        for (int i = pic->format->BytesPerPixel - 1; i >= 0; i--)
            v = v << 8 | p[i];
        Uint8 r, g, b;
        SDL_GetRGB(v, pic->format, &r, &g, &b);
        return (Uint32)r << 16 | (Uint32)g << 8 | b;
    };
    for (int y = 0; y < pic->h; y++)
        for (int x = 0; x < pic->w; x++)
            if (!codes.count(rgb(x, y)) && codes.size() < 92)
                codes[rgb(x, y)] = alphabet[codes.size()];
    FILE *out = fopen(argv[2], "w");
    if (!out) {
        fprintf(stderr, "Couldn't write %s\n", argv[2]);
        return 1;
    }
    fprintf(out, "/* XPM */\nstatic char *tumbrik[] = {\n\"%d %d %zu 1\",\n", pic->w, pic->h,
            codes.size());
    for (auto &c : codes)
        if (c.first == 0x0000FF)
            fprintf(out, "\"%c c None\",\n", c.second);
        else
            fprintf(out, "\"%c c #%06X\",\n", c.second, (unsigned)c.first);
    for (int y = 0; y < pic->h; y++) {
        fputc('"', out);
        for (int x = 0; x < pic->w; x++)
            fputc(codes.count(rgb(x, y)) ? codes[rgb(x, y)] : ' ', out);
        fprintf(out, "\"%s\n", y + 1 < pic->h ? "," : "");
    }
    fprintf(out, "};\n");
    fclose(out);
    SDL_FreeSurface(pic);
    return 0;
}
