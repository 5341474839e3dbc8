#include "gamestate.h"

#include <string.h>

#include "main.h"

void startingState()
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    memset(SDL_GetKeyState(NULL), SDL_RELEASED, SDLK_LAST);
    drop = Drop{ 218.0f, 20.0f, 'f', 'n', { 380, 380, 380, 380 } };
    next = 'a';
    rotLx = rotRx = 0;
    done = 0;
    Gameover = 'a';
    paus = 'o';
    Rmov = Lmov = droppa = 'b';
    stopper = 'a';
    Arot = 'a';
    Atid = 0;
    tid = block = points = 0;
    memset(straeng, 0, sizeof straeng);
    speed = 0.045f;
    for (int i = 0; i < 400; i++)
        blockcolor[i] = i < 380 ? 'a' : 'b';
    nuffra = nuffra2 = 0;
}
