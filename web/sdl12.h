/* What the game calls in SDL 1.2 that the browser's SDL headers leave out
 * or declare another way. Included ahead of every source of the browser
 * build; the functions themselves are in library.js. */
#ifndef TUMBRIK_WEB_SDL12_H
#define TUMBRIK_WEB_SDL12_H

#include <stdio.h>

#include <SDL.h>

#ifdef __cplusplus
extern "C" {
#endif
/* The keyboard's state by key; its library has it, its headers do not. */
Uint8 *SDL_GetKeyState(int *numkeys);
#ifdef __cplusplus
}

/* SDL 1.2 takes the file and a plain int; these headers only a void
 * pointer and an SDL_bool. */
static inline SDL_RWops *SDL_RWFromFP(FILE *file, int autoclose)
{
    return SDL_RWFromFP((void *)file, autoclose ? SDL_TRUE : SDL_FALSE);
}
#endif

#endif
