/* pkfont: bitmap fonts and blitting helpers.
 *
 * Pictures are blitted whole or in part; text is drawn glyph by glyph from
 * a sheet of 16 x 16 cells, each glyph cut out at its offset with its
 * width, the sheet's colour key making the rest of the cell transparent.
 * Bytes are unsigned: 128..255 are rows 8..15 of the sheet. */
#include "pkfont.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>

char tempstr[4000];
static char nomb[8];        /* the line just read by InitBredOfset */
static std::ifstream fin;   /* reused for every metric file */

/* ==== Blitting ==== */

/* The whole picture at (x, y); SDL clips it to the destination. */
void DrawIMG(SDL_Surface *img, int x, int y, SDL_Surface *dest)
{
    SDL_Rect to = { (Sint16)x, (Sint16)y, 0, 0 };
    SDL_UpperBlit(img, NULL, dest, &to);
}

/* The w x h rectangle at (sx, sy) of the picture, drawn at (x, y). */
void DrawIMG(SDL_Surface *img, int x, int y, int w, int h, int sx, int sy,
             SDL_Surface *dest)
{
    SDL_Rect from = { (Sint16)sx, (Sint16)sy, (Uint16)w, (Uint16)h };
    SDL_Rect to = { (Sint16)x, (Sint16)y, 0, 0 };
    SDL_UpperBlit(img, &from, dest, &to);
}

/* ==== Text ==== */

/* Draw the glyph of byte v with its cell's top-left corner at the pen. */
static void drawGlyph(const PKFont &font, unsigned char v, int x, int y,
                      SDL_Surface *dest)
{
    int cw = font.img->w / 16;
    int ch = font.img->h / 16;
    DrawIMG(font.img, x, y, font.bred[v], ch, font.ofset[v] + (v % 16) * cw,
            (v / 16) * ch, dest);
}

/* One line: every byte but the space is drawn from its own cell, 13 and 8
 * included; a space only moves the pen a third of a cell. Returns the
 * width drawn. */
int DrawString(PKFont font, int x, int y, const char *text, SDL_Surface *dest)
{
    int cw = font.img->w / 16;
    int start = x;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p == ' ') {
            x += cw / 3;
            continue;
        }
        drawGlyph(font, *p, x, y, dest);
        x += font.bred[*p];
    }
    return x - start;
}

/* Lay the text out into tempstr: when a line grows wider than the limit,
 * the last space of that line becomes the break code 8 and measuring goes
 * on after it; 13 starts a new line by itself. A word wider than the
 * limit has no space to break at and runs past it. At most the first
 * 4000 bytes are laid out; returns how many. */
static int layOut(const PKFont &font, const char *text, int width)
{
    int n = (int)strnlen(text, sizeof tempstr);
    int run = 0;
    int lineStart = 0;
    int lastSpace = -1;
    for (int i = 0; i < n; i++) {
        unsigned char v = (unsigned char)text[i];
        tempstr[i] = text[i];
        run += font.bred[v];
        if (v == ' ')
            lastSpace = i;
        if (run > width && lastSpace >= lineStart) {
            i = lastSpace;
            tempstr[i] = 8;
            run = 0;
            lineStart = i + 1;
            lastSpace = -1;
            continue;
        }
        if (v == 13) {
            run = 0;
            lineStart = i + 1;
            lastSpace = -1;
        }
    }
    return n;
}

/* Text wrapped into lines of at most `width` pixels, ch - 4 apart. Lines
 * are measured with the table width of a space but drawn with a third of
 * a cell, as in the one-line form. */
void DrawString(PKFont font, int x, int y, const char *text, SDL_Surface *dest,
                int width)
{
    int cw = font.img->w / 16;
    int ch = font.img->h / 16;
    int n = layOut(font, text, width);
    int pen = x;
    for (int i = 0; i < n; i++) {
        unsigned char v = (unsigned char)tempstr[i];
        if (v == ' ') {
            pen += cw / 3;
        } else if (v == 13 || v == 8) {
            pen = x;
            y += ch - 4;
        } else {
            drawGlyph(font, v, pen, y, dest);
            pen += font.bred[v];
        }
    }
}

/* ==== Metric files ==== */

/* Read one number a line into table[0..255] until a line is too long
 * (more than limit - 1 characters), the file ends, or the table is full. */
static void readTable(const char *name, int limit, int *table)
{
    fin.open(name);
    for (int i = 0; i < 256; i++) {
        if (!fin.getline(nomb, limit))
            break;
        table[i] = atoi(nomb);
    }
    fin.close();
    fin.clear();
}

/* Fill a width table (lines of at most 4 characters) and an offset table
 * (at most 2) from their files. Entries past the last line read keep
 * their values; a file that won't open leaves its table alone. */
void InitBredOfset(const char *bredfile, const char *ofsetfile, int *bred,
                   int *ofset)
{
    puts(bredfile);
    readTable(bredfile, 5, bred);
    readTable(ofsetfile, 3, ofset);
}

/* ==== Pixels and lines ==== */

void Slock(SDL_Surface *s)
{
    if (SDL_MUSTLOCK(s))
        SDL_LockSurface(s);
}

void Sulock(SDL_Surface *s)
{
    if (SDL_MUSTLOCK(s))
        SDL_UnlockSurface(s);
}

/* Store one pixel value at (x, y) by the surface's bytes per pixel
 * (three-byte pixels lowest byte first). Outside the surface: nothing. */
static void putPixel(SDL_Surface *s, int x, int y, Uint32 color)
{
    if (x < 0 || y < 0 || x >= s->w || y >= s->h)
        return;
    Uint8 *row = (Uint8 *)s->pixels + y * s->pitch;
    switch (s->format->BytesPerPixel) {
    case 1: row[x] = (Uint8)color; break;
    case 2: ((Uint16 *)row)[x] = (Uint16)color; break;
    case 3:
        row[3 * x] = (Uint8)color;
        row[3 * x + 1] = (Uint8)(color >> 8);
        row[3 * x + 2] = (Uint8)(color >> 16);
        break;
    case 4: ((Uint32 *)row)[x] = color; break;
    default: break;
    }
}

/* One pixel of colour (r, g, b) mapped to the surface; the caller locks. */
void DrawPixel(SDL_Surface *s, int x, int y, Uint8 r, Uint8 g, Uint8 b)
{
    putPixel(s, x, y, SDL_MapRGB(s->format, r, g, b));
}

/* A line of a 16-bit pixel value on a 2-byte surface, both end points
 * drawn, stepping along the longer axis and carrying the error. Pixels off
 * the surface are skipped. */
void DrawLine(int x1, int y1, int x2, int y2, Uint16 color, SDL_Surface *s)
{
    if (s->format->BytesPerPixel != 2)
        return;
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) < 0) {
        printf("fel vid l\xE5sning drawline");
        fflush(stdout);
        abort();
    }
    int nx = abs(x2 - x1) + 1, ny = abs(y2 - y1) + 1;
    int sx = x2 >= x1 ? 1 : -1, sy = y2 >= y1 ? 1 : -1;
    int x = x1, y = y1, e = 0;
    if (nx < ny) {
        for (int i = 0; i < ny; i++, y += sy) {
            putPixel(s, x, y, color);
            e += nx;
            if (e >= ny) {
                x += sx;
                e -= ny;
            }
        }
    } else {
        for (int i = 0; i < nx; i++, x += sx) {
            putPixel(s, x, y, color);
            e += ny;
            if (e >= nx) {
                y += sy;
                e -= nx;
            }
        }
    }
    SDL_UnlockSurface(s);
}
