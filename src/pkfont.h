/* pkfont: bitmap fonts and blitting helpers.
 *
 * A font is a glyph sheet of 16 x 16 equal cells (byte value v lives in
 * column v % 16, row v / 16) plus two tables: the width of each glyph,
 * which is also how far the pen moves after it, and where the glyph
 * begins inside its cell. The record does not own its sheet. */
#ifndef TUMBRIK_PKFONT_H
#define TUMBRIK_PKFONT_H

#include <SDL.h>

struct PKFont {
    SDL_Surface *img;  /* glyph sheet, 16 x 16 cells; not owned */
    int bred[256];     /* glyph width in pixels, and the pen's advance */
    int ofset[256];    /* pixels from the cell's left edge to the glyph */
};

/* Blit the whole picture with its top-left corner at (x, y). */
void DrawIMG(SDL_Surface *img, int x, int y, SDL_Surface *dest);
/* Blit the w x h rectangle at (sx, sy) of the picture to (x, y). */
void DrawIMG(SDL_Surface *img, int x, int y, int w, int h, int sx, int sy,
             SDL_Surface *dest);

/* One line of text at (x, y); returns its width in pixels. */
int DrawString(PKFont font, int x, int y, const char *text, SDL_Surface *dest);
/* Text broken at spaces into lines of at most `width` pixels; 13 breaks too. */
void DrawString(PKFont font, int x, int y, const char *text, SDL_Surface *dest,
                int width);

/* Fill a width table and an offset table from two files of one number a line. */
void InitBredOfset(const char *bredfile, const char *ofsetfile, int *bred,
                   int *ofset);

void Slock(SDL_Surface *s);   /* lock when SDL says the surface needs it */
void Sulock(SDL_Surface *s);  /* and unlock likewise */
/* Write one pixel of colour (r, g, b); the caller locks. Off-surface: skipped. */
void DrawPixel(SDL_Surface *s, int x, int y, Uint8 r, Uint8 g, Uint8 b);
/* A straight line of a 16-bit pixel value, both ends included. */
void DrawLine(int x1, int y1, int x2, int y2, Uint16 color, SDL_Surface *s);

extern char tempstr[4000];  /* working copy of the wrapped text */

#endif
