/* Fuzzer: the frame loop on any sequence of keys and frame times.
 *
 * The input is read a byte at a time:
 *   0x00..0x7F  a key event: bits 0-2 pick F2, F3, Down, Left, Right,
 *               Space, Escape or the letter A; bit 3 set is a release
 *   0x80..0xFF  a pass of the loop (Event, UpDate, koll, and DrawScene
 *               when bit 6 is set); the clock moves on by
 *               ((byte & 0x3F) << 8 | next byte) mod 10001 ms
 * Keys wait in SDL's queue for the next pass, which may refuse them when
 * full, as it does in the game. The input ends early when a pass sets done.
 *
 * After every pass: the floor row is full, the board holds only 'a' and
 * 'b', every flag holds one of its letters, the speed is within 0.045 to
 * 0.09, and the score has grown by 0, 1, 10, 100 or 1000 (from 0 on a pass
 * that started a new game). */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "main.h"
#include "surface.h"
#include "gamestate.h"

static Uint32 now;
static Uint32 fakeTicks() { return now; }

/* SDL's video on its dummy driver (for the event queue), and small
 * stand-ins for the pictures and the screen, so that drawing is quick. */
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0 || !SDL_SetVideoMode(64, 48, 32, SDL_SWSURFACE))
        abort();
    screen = surface32(96, 64);
    text10.img = surface32(64, 64);
    text8.img = surface32(64, 64);
    over = surface32(8, 8);
    logo = surface32(8, 8);
    pausB = surface32(8, 8);
    tumbrik = surface32(8, 8);
    sdllogo = surface32(8, 8);
    memcpy(text10.bred, bred10, sizeof bred10);
    memcpy(text10.ofset, ofset10, sizeof ofset10);
    memcpy(text8.bred, bred8, sizeof bred8);
    memcpy(text8.ofset, ofset8, sizeof ofset8);
    GetTicks = fakeTicks;
    return 0;
}

/* The state start-up leaves, with the random generator seeded the same
 * way every time. */
static void freshGame()
{
    startingState();
    audioOpen = 0;
    now = 1000;
    srand(1);
    tid = (int)GetTicks();   /* InitStuff, but for the assets */
    drop.variant = setVariant();
    next = setVariant();
}

static bool oneOf(char c, const char *letters)
{
    return c && strchr(letters, c);
}

static void check(int pointsBefore, bool newGame)
{
    for (int i = 380; i < 400; i++)
        if (blockcolor[i] != 'b')
            abort();
    for (int i = 0; i < 380; i++)
        if (blockcolor[i] != 'a' && blockcolor[i] != 'b')
            abort();
    if (!oneOf(Gameover, "abc") || !oneOf(paus, "oi") || !oneOf(Lmov, "ab") ||
        !oneOf(Rmov, "ab") || !oneOf(droppa, "ab") || stopper != 'a' ||
        !oneOf(drop.variant, "abcdef") || !oneOf(next, "abcdef") ||
        !oneOf(drop.rot, "nwso") || !oneOf(Arot, "abcd"))
        abort();
    if (speed < 0.045f || speed > 0.09f)
        abort();
    int gained = points - (newGame ? 0 : pointsBefore);
    if (gained != 0 && gained != 1 && gained != 10 && gained != 100 && gained != 1000)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const SDLKey keys[8] = { SDLK_F2,    SDLK_F3,    SDLK_DOWN,   SDLK_LEFT,
                                    SDLK_RIGHT, SDLK_SPACE, SDLK_ESCAPE, SDLK_a };
    freshGame();
    bool f2Waiting = false;
    for (size_t i = 0; i < size && !done; i++) {
        uint8_t op = data[i];
        if (op < 0x80) {
            SDL_Event e;
            memset(&e, 0, sizeof e);
            e.type = op & 8 ? SDL_KEYUP : SDL_KEYDOWN;
            e.key.type = e.type;
            e.key.state = op & 8 ? SDL_RELEASED : SDL_PRESSED;
            e.key.keysym.sym = keys[op & 7];
            SDL_GetKeyState(NULL)[e.key.keysym.sym] = e.key.state;  /* as SDL posts keys */
            if (SDL_PushEvent(&e) == 0 && e.type == SDL_KEYDOWN && keys[op & 7] == SDLK_F2)
                f2Waiting = true;
            continue;
        }
        unsigned ms = (unsigned)(op & 0x3F) << 8;
        if (i + 1 < size)
            ms |= data[++i];
        now += ms % 10001;
        int before = points;
        Event();
        UpDate();
        koll();
        if (op & 0x40)
            DrawScene();
        check(before, f2Waiting);
        f2Waiting = false;
    }
    return 0;
}
