/* The fuzzers draw onto small 32-bit software surfaces of their own; a
 * fuzzer that can't make one has nothing to test and stops. */
#ifndef TUMBRIK_FUZZ_SURFACE_H
#define TUMBRIK_FUZZ_SURFACE_H

#include <stdlib.h>

#include <SDL.h>

static inline SDL_Surface *surface32(int w, int h)
{
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0x00FF00,
                                          0x0000FF, 0);
    if (!s)
        abort();
    return s;
}

#endif
