/* Test support: a headless SDL, a clock the tests turn by hand, pushed
 * keys, boards written as pictures, and pixels read back as 0xRRGGBB. */
#ifndef TUMBRIK_TEST_SUPPORT_H
#define TUMBRIK_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "main.h"

/* The tick count the game sees through GetTicks. */
extern Uint32 fakeNow;
Uint32 fakeTicks();

/* SDL video (and the event queue) on the dummy driver, once per process. */
void startHeadless();
/* Every variable of the game back to its value at program start, the board
 * as start-up leaves it (19 empty rows over the floor), the fake clock at
 * 1000 ms with tid equal to it, and SDL's event queue empty. */
void resetGame();

/* Board pictures: one string of 20 characters a row, '.' empty, '#' filled.
 * setRows writes them from row `top` down; rows not named are left alone. */
void setRows(int top, const std::vector<std::string> &rows);
/* Rows 0..19 of the board as a picture, the piece's cells shown as 'P'
 * (or '@' over a filled cell): printed by failing assertions. */
std::string boardPicture();
/* Rows first..last of the board as strings, '.' and '#', for comparisons. */
std::vector<std::string> rowsOf(int first, int last);

/* A key event as SDL posts it: the keyboard state changes (the game
 * trusts it over a lost release of an arrow key), and the event joins the
 * queue if there is room; returns whether it did. */
bool postKey(SDLKey key, bool down = true);
/* The same, for a queue that must have room. */
void pushKey(SDLKey key, bool down = true);
/* Hold (or release) an arrow: SDL's keyboard state and the game's flag. */
void hold(SDLKey arrow, bool down = true);
void pushQuit();
/* One pass of the frame loop without drawing: the clock moves on by ms. */
void pass(int ms);

/* The real assets loaded once (the tests run in the repository root) and
 * a 32-bit 580 x 400 software surface set up as the screen. */
void useRealAssetsAndScreen();
/* The colour at (x, y) of a surface as 0xRRGGBB, whatever its format. */
Uint32 rgbAt(SDL_Surface *s, int x, int y);


/* The game's calls into the mixer, seen through the linker's --wrap. While
 * mixerScripted is set they are only logged ("Mix_PlayMusic(music,0)",
 * "Mix_Playing(0)", "Mix_PlayChannelTimed(0,bonus,2,-1)") and answer
 * channelBusy / musicPlaying; otherwise they go to SDL_mixer. */
extern bool mixerScripted;
extern int channelBusy;
extern int musicPlaying;
extern std::vector<std::string> mixerCalls;
/* Pretend the mixer is open with music and a chime loaded (scripted). */
void fakeMixer();

#endif
