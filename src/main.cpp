/* Tumbrik: a falling-block puzzle in a 580 x 400 window.
 *
 * One piece at a time falls pixel by pixel down a well of 20 columns by
 * 19 rows of 20-pixel cells. It lands when a filled cell lies under one of
 * its cells and it has passed the landing line of its row; full rows go,
 * and the rows above come down. The whole game is module-level state and
 * functions without arguments, read top to bottom in this order: tables,
 * state, start-up and loop, input, assets, mechanics, rendering. */
#include "main.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

/* ==== Tables ==== */

/* The shape table: for each variant and orientation, the board-index
 * offsets of cells 1..3 from the pivot (+-1 a column, +-20 a row) and how
 * far the shape reaches left and right of the pivot's column, in pixels.
 * Each orientation is the one above it turned a quarter clockwise. The
 * square looks the same in all four, and its orientation is never read.
 * Pictures: rows top down, P pivot, X another cell. */
struct Shape {
    char variant, rot;
    int off[3];
    int lx, rx;
};

static const Shape shapes[24] = {
    /* variant rot   cell 1 2 3     Lx  Rx      picture */
    { 'a', 'n', {  -1,  +1, +21 }, 20, 20 },  /* XPX / ..X      */
    { 'a', 'w', { -20, +20, +19 }, 20,  0 },  /* .X / .P / XX   */
    { 'a', 's', {  +1,  -1, -21 }, 20, 20 },  /* X.. / XPX      */
    { 'a', 'o', { +20, -20, -19 },  0, 20 },  /* XX / P. / X.   */
    { 'b', 'n', {  -1,  +1, -19 }, 20, 20 },  /* ..X / XPX      */
    { 'b', 'w', { -20, +20, +21 },  0, 20 },  /* X. / P. / XX   */
    { 'b', 's', {  +1,  -1, +19 }, 20, 20 },  /* XPX / X..      */
    { 'b', 'o', { +20, -20, -21 }, 20,  0 },  /* XX / .P / .X   */
    { 'c', 'n', {  +1, +20, +21 },  0, 20 },  /* PX / XX        */
    { 'c', 'w', {  +1, +20, +21 },  0, 20 },  /* PX / XX        */
    { 'c', 's', {  +1, +20, +21 },  0, 20 },  /* PX / XX        */
    { 'c', 'o', {  +1, +20, +21 },  0, 20 },  /* PX / XX        */
    { 'd', 'n', {  -1,  +1,  +2 }, 20, 40 },  /* XPXX           */
    { 'd', 'w', { -20, +20, +40 },  0,  0 },  /* X / P / X / X  */
    { 'd', 's', {  +1,  -1,  -2 }, 40, 20 },  /* XXPX           */
    { 'd', 'o', { +20, -20, -40 },  0,  0 },  /* X / X / P / X  */
    { 'e', 'n', {  -1, -21, +20 }, 20,  0 },  /* X. / XP / .X   */
    { 'e', 'w', { -20, -19,  -1 }, 20, 20 },  /* .XX / XP.      */
    { 'e', 's', {  +1, +21, -20 },  0, 20 },  /* X. / PX / .X   */
    { 'e', 'o', { +20, +19,  +1 }, 20, 20 },  /* .PX / XX.      */
    { 'f', 'n', {  -1, -20, +19 }, 20,  0 },  /* .X / XP / X.   */
    { 'f', 'w', { -20,  +1, -21 }, 20, 20 },  /* XX. / .PX      */
    { 'f', 's', {  +1, -19, +20 },  0, 20 },  /* .X / PX / X.   */
    { 'f', 'o', { +20, +21,  -1 }, 20, 20 },  /* XP. / .XX      */
};

/* Font metrics: the width of each glyph (and the pen's advance) and where
 * it starts in its 16 x 16-cell sheet, for byte values 0..255. They are
 * made together with pix/Tahoma10.bmp and pix/tahoma8.bmp by tools/fontgen. */
int bred10[256] = {
    /* 0x00 */ 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11,
    /* 0x10 */ 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11,
    /* 0x20 */ 11,  3,  5, 10,  7, 12, 10,  3,  5,  5,  7,  9,  3,  5,  3,  6,
    /* 0x30 */  8,  7,  8,  8,  8,  8,  8,  8,  8,  8,  3,  3, 10, 10, 10,  7,
    /* 0x40 */ 13, 10,  8,  8,  9,  8,  7,  9,  9,  3,  5,  8,  7, 10,  9,  9,
    /* 0x50 */  8,  9,  9,  8,  9,  9, 10, 14,  9,  9,  9,  4,  6,  4,  8,  8,
    /* 0x60 */  4,  8,  8,  7,  8,  8,  6,  8,  8,  4,  4,  7,  3, 12,  8,  8,
    /* 0x70 */  8,  8,  6,  7,  6,  8,  8, 11,  8,  8,  7,  7,  3,  7, 10, 11,
    /* 0x80 */  9, 11,  3,  7,  5, 11,  7,  7,  6, 20,  8,  5, 13, 11,  9, 11,
    /* 0x90 */ 11,  3,  3,  5,  5,  5,  7, 13,  7, 10,  7,  5, 13, 11,  7,  9,
    /* 0xA0 */  6,  3,  7,  7,  9,  9,  3,  7,  5, 13,  7,  8, 10,  5, 11,  6,
    /* 0xB0 */  6,  9,  5,  6,  4,  9,  7,  3,  4,  5,  7,  8, 13, 12, 13,  7,
    /* 0xC0 */ 10, 10, 10, 10, 10, 10, 13,  8,  8,  8,  8,  8,  4,  4,  7,  5,
    /* 0xD0 */ 10,  9,  9,  9,  9,  9,  9,  9,  9,  9,  9,  9,  9,  9,  8,  8,
    /* 0xE0 */  8,  8,  8,  8,  9,  8, 12,  7,  8,  8,  8,  8,  4,  4,  7,  5,
    /* 0xF0 */  8,  8,  8,  8,  8,  8,  8,  9,  8,  8,  8,  8,  8,  8,  8,  8
};
int ofset10[256] = {
    /* 0x00 */  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,
    /* 0x10 */  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,
    /* 0x20 */  5,  8,  7,  5,  6,  4,  5,  8,  7,  7,  6,  5,  8,  7,  8,  7,
    /* 0x30 */  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  8,  8,  5,  5,  5,  6,
    /* 0x40 */  3,  5,  6,  6,  5,  6,  6,  5,  5,  8,  7,  6,  6,  5,  5,  5,
    /* 0x50 */  6,  5,  5,  6,  5,  5,  5,  3,  5,  5,  5,  8,  7,  8,  6,  6,
    /* 0x60 */  8,  6,  6,  6,  6,  6,  7,  6,  6,  9,  8,  6,  8,  5,  6,  6,
    /* 0x70 */  6,  6,  7,  6,  7,  6,  6,  4,  6,  6,  6,  6,  8,  6,  5,  5,
    /* 0x80 */  5,  5,  8,  6,  7,  4,  6,  6,  7,  0,  6,  7,  3,  5,  5,  5,
    /* 0x90 */  5,  8,  8,  7,  7,  7,  6,  3,  6,  5,  6,  7,  3,  5,  6,  5,
    /* 0xA0 */  7,  8,  6,  6,  5,  5,  8,  6,  7,  4,  6,  6,  5,  7,  4,  7,
    /* 0xB0 */  7,  5,  7,  7,  8,  5,  6,  8,  8,  7,  6,  6,  3,  4,  3,  6,
    /* 0xC0 */  5,  5,  5,  5,  5,  5,  3,  6,  6,  6,  6,  6,  8,  8,  6,  7,
    /* 0xD0 */  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  6,  6,
    /* 0xE0 */  6,  6,  6,  6,  6,  6,  4,  6,  6,  6,  6,  6,  8,  8,  6,  7,
    /* 0xF0 */  6,  6,  6,  6,  6,  6,  6,  5,  6,  6,  6,  6,  6,  6,  6,  6
};

int bred8[256] = {
    /* 0x00 */ 12, 12, 12, 12, 12, 12, 12,  8, 12, 12, 12, 12, 12, 12, 12, 12,
    /* 0x10 */ 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    /* 0x20 */ 12,  2,  4,  9,  6, 10,  9,  2,  3,  3,  6,  8,  2,  4,  2,  5,
    /* 0x30 */  6,  6,  6,  6,  7,  6,  6,  6,  6,  6,  2,  2,  8,  8,  8,  5,
    /* 0x40 */ 11,  8,  7,  7,  7,  6,  6,  8,  7,  2,  4,  7,  6,  8,  7,  8,
    /* 0x50 */  6,  8,  7,  7,  8,  7,  8,  9,  8,  8,  8,  3,  5,  3,  8,  7,
    /* 0x60 */  3,  6,  6,  5,  6,  6,  5,  6,  6,  3,  3,  6,  2,  9,  6,  6,
    /* 0x70 */  6,  6,  5,  6,  5,  6,  7,  8,  7,  7,  6,  6,  2,  6,  8, 12,
    /* 0x80 */  7, 12,  2,  6,  4, 10,  6,  6,  4, 12,  7,  4, 11, 12,  8, 12,
    /* 0x90 */ 12,  2,  2,  4,  4,  4,  5, 11,  5,  9,  6,  4, 10, 12,  6,  8,
    /* 0xA0 */  5,  2,  6,  6,  8,  8,  2,  6,  4, 11,  5,  7,  8,  4,  9,  4,
    /* 0xB0 */  4,  8,  4,  4,  3,  7,  6,  2,  3,  4,  5,  7, 10, 10, 10,  5,
    /* 0xC0 */  8,  8,  8,  8,  8,  8, 11,  7,  6,  6,  6,  6,  2,  2,  4,  4,
    /* 0xD0 */  8,  7,  8,  8,  8,  8,  8,  7,  8,  7,  7,  7,  7,  8,  6,  6,
    /* 0xE0 */  6,  6,  6,  6,  7,  6, 10,  5,  6,  6,  6,  6,  4,  3,  4,  4,
    /* 0xF0 */  6,  6,  6,  6,  6,  6,  6,  8,  6,  6,  6,  6,  6,  7,  6,  7
};
int ofset8[256] = {
    /* 0x00 */  3,  3,  3,  3,  3,  3,  3,  4,  3,  3,  3,  3,  3,  3,  3,  3,
    /* 0x10 */  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,
    /* 0x20 */  3,  7,  6,  3,  5,  3,  3,  7,  6,  6,  5,  4,  7,  6,  7,  5,
    /* 0x30 */  5,  5,  5,  5,  4,  5,  5,  5,  5,  5,  7,  7,  4,  4,  4,  5,
    /* 0x40 */  2,  4,  4,  4,  4,  5,  5,  4,  4,  7,  6,  4,  5,  4,  4,  4,
    /* 0x50 */  5,  4,  4,  4,  4,  4,  4,  3,  4,  4,  4,  6,  5,  6,  4,  4,
    /* 0x60 */  6,  5,  5,  5,  5,  5,  5,  5,  5,  6,  6,  5,  7,  4,  5,  5,
    /* 0x70 */  5,  5,  5,  5,  5,  5,  4,  4,  4,  4,  5,  5,  7,  5,  4,  3,
    /* 0x80 */  4,  3,  7,  5,  6,  3,  5,  5,  6,  0,  4,  6,  2,  3,  4,  3,
    /* 0x90 */  3,  7,  7,  6,  6,  6,  5,  2,  5,  3,  5,  6,  3,  3,  5,  4,
    /* 0xA0 */  5,  7,  5,  5,  4,  4,  7,  5,  6,  2,  5,  4,  4,  6,  3,  6,
    /* 0xB0 */  6,  4,  6,  6,  6,  4,  5,  7,  6,  6,  5,  4,  3,  3,  3,  5,
    /* 0xC0 */  4,  4,  4,  4,  4,  4,  2,  4,  5,  5,  5,  5,  7,  7,  6,  6,
    /* 0xD0 */  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  5,  5,
    /* 0xE0 */  5,  5,  5,  5,  5,  5,  3,  5,  5,  5,  5,  5,  6,  6,  6,  6,
    /* 0xF0 */  5,  5,  5,  5,  5,  5,  5,  4,  5,  5,  5,  5,  5,  4,  5,  4
};

/* ==== State ==== */

Drop drop = { 218.0f, 20.0f, 'f', 'n', { 380, 380, 380, 380 } };
char next = 'a';
int rotLx = 0;
int rotRx = 0;

int done = 0;
char Gameover = 'a';
char paus = 'o';
char Rmov = 'b';
char Lmov = 'b';
char droppa = 'b';
char stopper = 'a';
char Arot = 'a';
int Atid = 0;

int tid = 0;
int block = 0;
int points = 0;
char straeng[20];
float speed = 0.045f;

char blockcolor[400];
int nuffra = 0;
int nuffra2 = 0;

SDL_Surface *screen = NULL;
SDL_Surface *icon = NULL;
Mix_Music *music = NULL;
Mix_Chunk *bonus = NULL;
int audioOpen = 0;

PKFont text10;
PKFont text8;
SDL_Surface *over = NULL;
SDL_Surface *logo = NULL;
SDL_Surface *pausB = NULL;
SDL_Surface *tumbrik = NULL;
SDL_Surface *sdllogo = NULL;

Uint32 (*GetTicks)(void) = SDL_GetTicks;

/* Every read and write of the board goes through this pair. Indices above
 * the top row (a piece reaching out of the well) and past the floor (a
 * look below or beside a floor cell) are not cells: they read as empty
 * and take no writes. */
char blockAt(int i)
{
    return (i >= 0 && i < 400) ? blockcolor[i] : 'a';
}

void setBlock(int i, char c)
{
    if (i >= 0 && i < 400)
        blockcolor[i] = c;
}

/* A new game from whatever the last screen left: the piece back at the
 * top, score and speed reset, the well emptied (never the floor). The
 * piece letters, orientation, pause and a pending drop all carry over. */
void NewInit()
{
    drop.x = 218.0f;
    drop.y = 20.0f;
    points = 0;
    speed = 0.045f;
    for (int i = 0; i < 380; i++)
        setBlock(i, 'a');
}

/* ==== Start-up, frame loop and shut-down ==== */

/* The one way out before the first frame: say what failed and why, and
 * stop. */
static void failWith(const char *verb, const char *what, const char *why)
{
    fprintf(stderr, "Couldn't %s %s: %s\n", verb, what, why);
    exit(1);
}

/* The same, with SDL's own word on why. */
static void fail(const char *verb, const char *what)
{
    failWith(verb, what, SDL_GetError());
}

/* Start SDL's video on one named driver, and keep it only if that driver
 * is the one running: sdl12-compat counts a failed start as done and
 * would otherwise hand the next start to whatever driver SDL 2 finds,
 * down to its invisible "offscreen" one. A failed or wrong start is undone
 * so that the next try begins afresh. 1 when the driver runs. */
static int tryDriver(const char *driver)
{
    char running[32] = "";
    setenv("SDL_VIDEODRIVER", driver, 1);
    int ok = SDL_Init(SDL_INIT_VIDEO) == 0 && SDL_VideoDriverName(running, sizeof running) &&
             strcmp(running, driver) == 0;
    unsetenv("SDL_VIDEODRIVER");
    if (!ok)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return ok;
}

/* The value of an environment variable, or NULL when it is unset or
 * empty: an empty DISPLAY names no display. */
static const char *envValue(const char *name)
{
    const char *value = getenv(name);
    return value && *value ? value : NULL;
}

/* A driver the player chose is the only one tried. SDL's own complaint
 * names neither it nor its display, so the message names both: the
 * Wayland driver's display is WAYLAND_DISPLAY, every other one's DISPLAY. */
static void startChosen(const char *chosen)
{
    if (SDL_Init(SDL_INIT_VIDEO) == 0)
        return;
    const char *variable = strcmp(chosen, "wayland") == 0 ? "WAYLAND_DISPLAY" : "DISPLAY";
    const char *display = envValue(variable);
    char what[200];
    snprintf(what, sizeof what, "the \"%.60s\" video driver (%s %.60s)", chosen, variable,
             display ? display : "not set");
    fail("start", what);
}

/* No driver reached a display: say which variables were looked at, what
 * each gave, and what the player can change. display and wayland are the
 * two variables' values (NULL when unset); hasWayland tells whether this
 * SDL has a Wayland driver, findable whether WAYLAND_DISPLAY's socket can
 * be looked for at all. */
static void noDisplay(const char *display, const char *wayland, int hasWayland, int findable)
{
    char x11[120], way[200], why[400];
    if (display)
        snprintf(x11, sizeof x11, "the X server of DISPLAY %.60s does not answer", display);
    else if (hasWayland && !wayland)
        snprintf(x11, sizeof x11, "neither DISPLAY nor WAYLAND_DISPLAY is set");
    else
        snprintf(x11, sizeof x11, "DISPLAY is not set");
    if (wayland && hasWayland && !findable)
        snprintf(way, sizeof way, "; the socket of WAYLAND_DISPLAY %.60s is looked for in "
                 "XDG_RUNTIME_DIR, which is not set to a folder", wayland);
    else if (wayland && hasWayland)
        snprintf(way, sizeof way, "; the Wayland compositor of WAYLAND_DISPLAY %.60s does not answer",
                 wayland);
    else if (wayland)
        snprintf(way, sizeof way, "; this SDL 1.2 has no Wayland driver for WAYLAND_DISPLAY %.60s: "
                 "XWayland, which sets DISPLAY, or sdl12-compat gives a window", wayland);
    else if (hasWayland && display)
        snprintf(way, sizeof way, "; WAYLAND_DISPLAY is not set");
    else
        way[0] = 0;
    snprintf(why, sizeof why,
             "no graphical display found (%s%s; SDL_VIDEODRIVER chooses another driver)", x11, way);
    failWith("open", "a window", why);
}

/* SDL 1.2 falls back to drawing in the text terminal, and sdl12-compat to
 * an invisible window, when they find no display. Unless the player chose
 * a driver, try only those that reach a display the environment names:
 * X11 for DISPLAY, then Wayland for WAYLAND_DISPLAY where the library has
 * a Wayland driver (sdl12-compat, which counts itself 1.2.50 and up; the
 * real SDL 1.2 ends at 1.2.15). */
static void openVideo()
{
    const char *chosen = envValue("SDL_VIDEODRIVER");
    if (chosen) {
        startChosen(chosen);
        return;
    }
    const SDL_version *linked = SDL_Linked_Version();
    int hasWayland = SDL_VERSIONNUM(linked->major, linked->minor, linked->patch) >=
                     SDL_VERSIONNUM(1, 2, 50);
    const char *display = envValue("DISPLAY");
    const char *wayland = envValue("WAYLAND_DISPLAY");
    /* A socket name is looked for in XDG_RUNTIME_DIR; without that the
     * Wayland library only complains on stderr. */
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    int findable = wayland && (wayland[0] == '/' || (runtime && runtime[0] == '/'));
    if (display && tryDriver("x11"))
        return;
    if (wayland && hasWayland && findable && tryDriver("wayland"))
        return;
    noDisplay(display, wayland, hasWayland, findable);
}

/* Without an audio device the game plays on in silence; audioOpen keeps
 * every mixer call away from a mixer that is not open. */
static void openAudio()
{
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 2048) < 0) {
        fprintf(stderr, "Couldn't open the audio device: %s; playing without sound\n",
                Mix_GetError());
        return;
    }
    audioOpen = 1;
}

/* Everything a first frame needs: the clock, the board over its floor,
 * the assets, and the first piece with its preview. */
void InitStuff()
{
    tid = (int)GetTicks();
    for (int i = 0; i < 400; i++)
        setBlock(i, i < 380 ? 'a' : 'b');
    LoadAssets();
    drop.variant = setVariant();
    next = setVariant();
}

/* Everything before the first pass: window, sound, seed, assets, caption
 * and icon. Afterwards the game is on the title screen, ready for its
 * first pass. A failure here ends the process with one line on stderr. */
void StartUp()
{
    /* The loop has no frame cap and goes as fast as the flip lets it.
     * sdl12-compat's flip waits for nothing unless asked to keep in step
     * with the display; asked, it draws each of the display's frames once
     * for a fraction of the work. A value the player set stands; the real
     * SDL 1.2 does not read this variable. */
    setenv("SDL12COMPAT_SYNC_TO_VBLANK", "1", 0);
    openVideo();
    atexit(SDL_Quit);
    screen = SDL_SetVideoMode(580, 400, 0, SDL_HWSURFACE | SDL_DOUBLEBUF);
    if (!screen)
        fail("set", "the 580 x 400 video mode");
    openAudio();
    srand((unsigned)time(NULL));
    InitStuff();
    SDL_WM_SetCaption("Tumbrik", NULL);
    icon = SDL_LoadBMP_RW(SDL_RWFromFile("pix/tumbrik2.bmp", "rb"), 1);
    SDL_WM_SetIcon(icon, NULL);
}

/* One pass of the frame loop, in its fixed order. There is no delay and
 * no frame cap: the page flip at the end of DrawScene sets the pace. */
void Pass()
{
    Event();
    UpDate();
    koll();
    DrawScene();
}

/* The whole life of the game: start-up, passes until done is set, then
 * the sound released. SDL itself goes at exit. */
int SDL_main(int argc, char *argv[])
{
    (void)argc;
    (void)argv;
    StartUp();
    while (!done)
        Pass();
    kill();
    return 0;
}

/* ==== Input ==== */

/* Down: one clockwise step of drop.rot, if testRot allows it at the pivot
 * last worked out. The cells follow on the next running pass. */
static void turn()
{
    if (testRot())
        drop.rot = nextRot(drop.rot);
}

/* One key press. Reads Gameover; writes done, Gameover, paus, drop.rot,
 * Lmov, Rmov and droppa. */
static void keyDown(SDLKey key)
{
    switch (key) {
    case SDLK_ESCAPE: done = 1; break;
    case SDLK_F3:
        if (Gameover == 'b')
            paus = paus == 'o' ? 'i' : 'o';
        break;
    case SDLK_F2: Gameover = 'b'; NewInit(); break;
    case SDLK_DOWN: turn(); break;
    case SDLK_LEFT: Lmov = 'a'; break;
    case SDLK_RIGHT: Rmov = 'a'; break;
    case SDLK_SPACE:
        if (Gameover == 'b')
            droppa = 'a';
        break;
    default: break;
    }
}

/* Empty the event queue, in order, into the flags; every waiting event is
 * handled, even after one of them has asked to quit. SDL drops events
 * when more arrive at once than its queue holds, but keeps the keyboard's
 * state all the same: an arrow that is up is never left sliding the piece
 * because its release was lost. */
void Event()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            done = 1;
        else if (event.type == SDL_KEYDOWN)
            keyDown(event.key.keysym.sym);
        else if (event.type == SDL_KEYUP && event.key.keysym.sym == SDLK_LEFT)
            Lmov = 'b';
        else if (event.type == SDL_KEYUP && event.key.keysym.sym == SDLK_RIGHT)
            Rmov = 'b';
    }
    const Uint8 *held = SDL_GetKeyState(NULL);
    if (!held[SDLK_LEFT])
        Lmov = 'b';
    if (!held[SDLK_RIGHT])
        Rmov = 'b';
}

/* ==== Assets ==== */

/* The absolute name of a file under the working folder, so that a
 * missing picture says where it was looked for. */
static const char *whereIs(const char *path)
{
    static char where[4200];
    char folder[4096];
    if (!getcwd(folder, sizeof folder))
        return path;
    snprintf(where, sizeof where, "%s/%s", folder, path);
    return where;
}

/* The unsigned little-endian number in the n bytes at p. */
static Uint32 littleEndian(const unsigned char *p, int n)
{
    Uint32 v = 0;
    for (int i = n - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

/* SDL's BMP reader believes the header: a damaged width, height or pixel
 * offset has it accept the file and draw the picture sheared, and a
 * damaged depth can leave it a surface that crashes the first blit. In a
 * whole file the pixel rows the header describes (each padded to four
 * bytes) end where the file ends. Returns why the file is refused, or NULL
 * to leave it to SDL, which also names what is wrong with a file that is
 * no BMP at all. The file is left at its start. */
static const char *damagedBmp(FILE *file)
{
    static char why[100];
    unsigned char h[34];
    size_t got = fread(h, 1, sizeof h, file);
    if (ferror(file) || fseek(file, 0, SEEK_END) != 0)
        return strerror(errno);
    long long size = ftell(file);
    rewind(file);
    if (got < 2 || h[0] != 'B' || h[1] != 'M')
        return NULL;
    int os2 = got >= 18 && littleEndian(h + 14, 4) == 12;   /* the old header, 16-bit sizes */
    if (got < (os2 ? 26u : 34u))
        return "the header is cut short";
    if (!os2 && littleEndian(h + 30, 4) != 0 && littleEndian(h + 30, 4) != 3)
        return NULL;   /* compressed: SDL says it can't read those */

    long long offset = littleEndian(h + 10, 4);
    long long w = os2 ? littleEndian(h + 18, 2) : (Sint32)littleEndian(h + 18, 4);
    long long rows = os2 ? littleEndian(h + 20, 2) : (Sint32)littleEndian(h + 22, 4);
    int bits = (int)littleEndian(h + (os2 ? 24 : 28), 2);
    if (rows < 0)
        rows = -rows;   /* rows stored top first */
    long long rowBytes = (w * bits + 31) / 32 * 4;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        snprintf(why, sizeof why, "the header gives %d bits per pixel", bits);
    else if (w < 1 || rows < 1 || rows > 65535 || rowBytes > 65535)   /* SDL's 16-bit pitch */
        snprintf(why, sizeof why, "the header gives %lld x %lld pixels", w, rows);
    else if (offset + rowBytes * rows != size)
        snprintf(why, sizeof why, "the header promises %lld bytes, the file holds %lld",
                 offset + rowBytes * rows, size);
    else
        return NULL;
    return why;
}

/* Load one picture and key it in its own pixel format (keyed is 0 for
 * none). A picture that won't load stops the game before the first frame. */
static SDL_Surface *loadPicture(const char *path, int keyed, Uint8 r, Uint8 g, Uint8 b)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        SDL_SetError("%s", strerror(errno));
        fail("load", whereIs(path));
    }
    const char *damage = damagedBmp(file);
    if (damage) {
        SDL_SetError("%s", damage);
        fclose(file);
        fail("load", path);
    }
    SDL_Surface *pic = SDL_LoadBMP_RW(SDL_RWFromFP(file, 1), 1);
    if (!pic)
        fail("load", path);
    if (keyed)
        SDL_SetColorKey(pic, SDL_SRCCOLORKEY, SDL_MapRGB(pic->format, r, g, b));
    return pic;
}

/* A glyph sheet is 16 x 16 cells; a smaller picture would have empty
 * cells and draw no text at all. Nothing holds a refused sheet but this
 * function, so it goes before the game does. */
static SDL_Surface *loadSheet(const char *path, Uint8 key)
{
    SDL_Surface *sheet = loadPicture(path, 1, key, key, key);
    if (sheet->w < 16 || sheet->h < 16) {
        SDL_SetError("a glyph sheet needs at least 16 x 16 pixels, this one is %d x %d",
                     sheet->w, sheet->h);
        SDL_FreeSurface(sheet);
        fail("use", path);
    }
    return sheet;
}

/* A sound that won't load is left out with a warning; the game plays on. */
static void warnSound(const char *path, const void *loaded)
{
    if (!loaded)
        fprintf(stderr, "Couldn't load %s: %s; playing on without it\n", path,
                Mix_GetError());
}

/* The pictures in their order with their keys, the fonts, then the
 * sounds (only when the mixer is open). Writes text10, text8, over, logo,
 * pausB, tumbrik, sdllogo, music and bonus. */
void LoadAssets()
{
    text10.img = loadSheet("pix/Tahoma10.bmp", 0);
    text8.img = loadSheet("pix/tahoma8.bmp", 255);
    over = loadPicture("pix/over.bmp", 1, 255, 0, 255);
    logo = loadPicture("pix/logo.bmp", 1, 255, 0, 255);
    pausB = loadPicture("pix/paus.bmp", 1, 255, 0, 255);
    tumbrik = loadPicture("pix/tumbrik2.bmp", 1, 0, 0, 255);
    sdllogo = loadPicture("pix/sdllogo.bmp", 0, 0, 0, 0);
    for (int i = 0; i < 256; i++) {
        text8.bred[i] = bred8[i];
        text8.ofset[i] = ofset8[i];
        text10.bred[i] = bred10[i];
        text10.ofset[i] = ofset10[i];
    }
    if (!audioOpen)
        return;
    music = Mix_LoadMUS("sound/block.ogg");
    warnSound("sound/block.ogg", music);
    /* Opened first, so that a missing file is reported as missing and not
     * as the mixer's complaint about a stream that isn't there. */
    SDL_RWops *chime = SDL_RWFromFile("sound/bonus.wav", "rb");
    bonus = chime ? Mix_LoadWAV_RW(chime, 1) : NULL;
    warnSound("sound/bonus.wav", bonus);
}

/* Release the sounds and close the audio device; the pictures go with
 * SDL's own shutdown. */
void kill()
{
    if (!audioOpen)
        return;
    Mix_FreeMusic(music);
    Mix_FreeChunk(bonus);
    Mix_CloseAudio();
    music = NULL;
    bonus = NULL;
    audioOpen = 0;
}

/* ==== Piece shapes and rotation ==== */

/* The table row of a variant in an orientation, or NULL when there is
 * none. The square has one shape, whatever its letter says. */
static const Shape *findShape(char variant, char rot)
{
    for (const Shape &s : shapes)
        if (s.variant == variant && (variant == 'c' || s.rot == rot))
            return &s;
    return NULL;
}

/* Place cells 1..3 around the pivot drop.cell[0] and take the reach of
 * the shape into rotLx and rotRx. Without a table row nothing changes. */
void setShape()
{
    const Shape *s = findShape(drop.variant, drop.rot);
    if (!s)
        return;
    for (int k = 0; k < 3; k++)
        drop.cell[k + 1] = drop.cell[0] + s->off[k];
    rotLx = s->lx;
    rotRx = s->rx;
}

/* The orientation a clockwise quarter turn after rot: n, w, s, o, n. */
char nextRot(char rot)
{
    switch (rot) {
    case 'n': return 'w';
    case 'w': return 's';
    case 's': return 'o';
    case 'o': return 'n';
    default: return rot;
    }
}

/* 1 when the piece may take its next orientation about drop.cell[0]: no
 * cell of the turned shape is filled (the square tests its pivot only).
 * Reads drop and the board; changes nothing. */
int testRot()
{
    if (drop.variant == 'c')
        return blockAt(drop.cell[0]) != 'b';
    const Shape *s = findShape(drop.variant, nextRot(drop.rot));
    if (!s)
        return 1;
    for (int k = 0; k < 3; k++)
        if (blockAt(drop.cell[0] + s->off[k]) == 'b')
            return 0;
    return 1;
}

/* A random variant letter: the generator's value mod 6 picks 'a'..'f'. */
char setVariant()
{
    return (char)('a' + rand() % 6);
}

/* ==== Frame update ==== */

/* Find the pivot cell from the position: the one window that holds it,
 * all bounds strict. On an edge or outside the grid the pivot stays. */
static void findPivot()
{
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 19; j++)
            if (20 * i + 8 < drop.x && drop.x < 20 * i + 28 &&
                20 * j + 10 < drop.y && drop.y < 20 * j + 30)
                drop.cell[0] = 20 * j + i;
}

/* Move the piece down whole rows until a cell under one of its cells is
 * filled. The floor always stops it, and so does a pivot that lies at or
 * past the floor row (the stale one a game starts with). */
static void hardDrop()
{
    while (stopper == 'a') {
        if (drop.cell[0] + 20 >= 380)
            stopper = 'b';
        for (int k = 0; k < 4 && stopper == 'a'; k++)
            if (blockAt(drop.cell[k] + 20) == 'b')
                stopper = 'b';
        if (stopper == 'a') {
            drop.y = drop.y + 20.0f;
            for (int k = 0; k < 4; k++)
                drop.cell[k] += 20;
        }
    }
    droppa = 'b';
    stopper = 'a';
}

/* Cells are placed by index arithmetic, so a pivot in a column the shape
 * can't have (a long pass sliding into a wall, a turn beside one) wraps
 * cells to the far side of the well, where they would land the piece in
 * two halves or, pass after pass, let it sink through the pile. No real
 * shape has a cell more than two columns from its pivot. */
static int splitAcrossWalls()
{
    int pivotCol = ((drop.cell[0] % 20) + 20) % 20;
    for (int k = 1; k < 4; k++) {
        int col = ((drop.cell[k] % 20) + 20) % 20;
        if (abs(col - pivotCol) > 2)
            return 1;
    }
    return 0;
}

/* Place the pivot and the cells; cells that would wrap are placed instead
 * from the position the wall clamp of the collision step gives. */
static void placeCells()
{
    findPivot();
    setShape();
    if (!splitAcrossWalls())
        return;
    if (drop.x < rotLx + 18)
        drop.x = (float)(rotLx + 18);
    if (drop.x > 398 - rotRx)
        drop.x = (float)(398 - rotRx);
    findPivot();
    setShape();
}

/* One simulation step: measure the pass, keep the music going, turn the
 * title's demo piece, and on a running pass let the piece fall, slide,
 * take its cells and carry out a hard drop. Motion is in double, stored
 * as float once. Reads the flags and the board; writes tid, block, Atid,
 * Arot, drop, rotLx, rotRx, droppa and stopper. */
void UpDate()
{
    Uint32 ticks = GetTicks();
    block = (int)(ticks - (Uint32)tid);
    tid = (int)ticks;

    if (audioOpen && music && !Mix_PlayingMusic())
        Mix_PlayMusic(music, 0);

    if (Gameover == 'a') {
        static const char demo[] = "abcda";
        Atid += block;
        if (Atid > 200) {
            if (Arot >= 'a' && Arot <= 'd')
                Arot = demo[Arot - 'a' + 1];
            Atid = 0;
        }
        return;
    }
    if (Gameover != 'b' || paus != 'o')
        return;

    drop.y = (float)((double)drop.y + (double)block * (double)speed);
    if (drop.y >= 390.0f)
        drop.y = 389.0f;   /* a stalled frame must not carry it past row 18 */
    if (Rmov == 'a' && Lmov == 'b')
        drop.x = (float)((double)drop.x + (double)block * 0.1);
    if (Rmov == 'b' && Lmov == 'a')
        drop.x = (float)((double)drop.x - (double)block * 0.1);

    placeCells();
    if (droppa == 'a')
        hardDrop();
}

/* ==== Collision, landing and game over ==== */

/* The row of a board index counted from 1: 1 for everything above row 1,
 * 20 for the floor and beyond. */
int radno(int index)
{
    if (index <= 19)
        return 1;
    if (index >= 380)
        return 20;
    return index / 20 + 1;
}

/* The column of a board index (the index itself above the board, 20 and
 * more past the floor row's start). */
int noOnrad(int index)
{
    return index - 20 * (radno(index) - 1);
}

/* Write the four cells of the piece into the board. */
void change()
{
    for (int k = 0; k < 4; k++)
        setBlock(drop.cell[k], 'b');
}

/* The piece joins the pile: back to the top, cells written, the preview
 * becomes the piece, a new preview, full rows removed. */
static void land()
{
    drop.y = 20.0f;
    drop.x = 218.0f;
    change();
    drop.variant = next;
    next = setVariant();
    lineOut();
}

/* Once a pass, on every screen: stop the piece at the pile beside it and
 * at the walls, land it when it has passed the landing line of its row
 * with a filled cell under one of its cells, and end the game when the top
 * row holds a filled cell. Every figure comes from the pivot cell alone.
 * Reads drop.cell, rotLx, rotRx and the board; writes drop, next and
 * Gameover, and at a landing the board, points and speed (change, lineOut). */
void koll()
{
    int col = noOnrad(drop.cell[0]);
    int R = radno(drop.cell[0]);

    for (int k = 0; k < 4; k++)
        if (blockAt(drop.cell[k] + 1) == 'b' && drop.x > 20 * col + 18) {
            drop.x = (float)(20 * col + 18);
            break;
        }
    for (int k = 0; k < 4; k++)
        if (blockAt(drop.cell[k] - 1) == 'b' && drop.x < 20 * col + 17) {
            drop.x = (float)(20 * col + 18);
            break;
        }
    if (drop.x < rotLx + 18)
        drop.x = (float)(rotLx + 18);
    if (drop.x > 398 - rotRx)
        drop.x = (float)(398 - rotRx);

    for (int k = 0; k < 4; k++)
        if (blockAt(drop.cell[k] + 20) == 'b' && drop.y > 20 * R - 1) {
            land();
            break;
        }

    for (int i = 0; i < 20; i++)
        if (blockAt(i) == 'b')
            Gameover = 'c';
}

/* ==== Row clearing and scoring ==== */

/* Remove row n: empty it and let every filled cell above come down one
 * row, high indices first so that nothing moves twice. */
static void removeRow(int n)
{
    for (int c = 0; c < 20; c++)
        setBlock(n * 20 + c, 'a');
    for (int j = n * 20 - 1; j >= 0; j--)
        if (blockAt(j) == 'b') {
            setBlock(j, 'a');
            setBlock(j + 20, 'b');
        }
}

/* After each landing: four bottom-up passes over rows 18..0 remove full
 * rows (a run of full rows loses every other row per pass), then points,
 * the chime on channel 0 if it is idle, and the speed. Writes the board,
 * nuffra, nuffra2, points and speed. */
void lineOut()
{
    static const int award[5] = { 0, 1, 10, 100, 1000 };

    nuffra2 = 0;
    for (int pass = 0; pass < 4; pass++)
        for (int n = 18; n >= 0; n--) {
            nuffra = 0;
            for (int c = 0; c < 20; c++)
                if (blockAt(n * 20 + c) == 'b')
                    nuffra++;
            if (nuffra == 20) {
                nuffra2++;
                removeRow(n);
            }
        }

    if (nuffra2 > 0) {
        int rows = nuffra2 < 4 ? nuffra2 : 4;
        points += award[rows];
        if (audioOpen && bonus && !Mix_Playing(0))
            Mix_PlayChannelTimed(0, bonus, rows - 1, -1);
        speed = (float)((double)speed + 0.005);
    }
    if ((double)speed > 0.09)
        speed = (float)0.09;
}

/* ==== Rendering ==== */

/* The seven lines of the list of controls, drawn on the title screen in
 * the 10-point font and beside the well while playing in the 8-point one. */
static const char *const controls[7] = {
    "KONTROLLER",
    "F2 - nytt spel",
    "F3 - paus",
    "Pil h\xF6ger - g\xE5 h\xF6ger",
    "Pil v\xE4nster - g\xE5 v\xE4nster",
    "Pil ned - rotera",
    "Mellanslag - sl\xE4pp ned",
};
static const int titleControlsY[7] = { 140, 170, 190, 210, 230, 250, 270 };
static const int playControlsY[7] = { 275, 295, 310, 325, 340, 355, 370 };

struct Fill { Sint16 x, y; Uint16 w, h; };

/* The title's turning piece by Arot 'a'..'d': an L about the cell
 * (228, 70), a quarter turn clockwise each step. */
static const Fill demoPiece[4][2] = {
    { { 208, 70, 60, 20 }, { 248, 90, 20, 20 } },
    { { 228, 50, 20, 60 }, { 208, 90, 20, 20 } },
    { { 208, 70, 60, 20 }, { 208, 50, 20, 20 } },
    { { 228, 50, 20, 60 }, { 248, 50, 20, 20 } },
};

/* The preview of next 'a'..'f' at the right of the well; a zero-sized
 * fill draws nothing. */
static const Fill preview[6][2] = {
    { { 430, 180, 60, 20 }, { 470, 200, 20, 20 } },
    { { 430, 200, 60, 20 }, { 470, 180, 20, 20 } },
    { { 430, 180, 40, 40 }, {   0,   0,  0,  0 } },
    { { 430, 180, 80, 20 }, {   0,   0,  0,  0 } },
    { { 450, 180, 40, 20 }, { 430, 200, 40, 20 } },
    { { 430, 180, 40, 20 }, { 450, 200, 40, 20 } },
};

/* The still pile of the title screen; the last fill cuts its hole. */
static const Fill titlePile[5] = {
    { 8, 330, 380, 60 }, { 8, 310, 160, 20 }, { 288, 310, 80, 20 },
    { 28, 290, 20, 20 }, { 88, 330, 20, 20 },
};

/* Fill a rectangle of the screen with a colour given as 0xRRGGBB, mapped
 * to the screen's own pixel format. */
static void fill(Fill f, Uint32 rgb)
{
    if (f.w == 0)
        return;
    SDL_Rect r = { f.x, f.y, f.w, f.h };
    SDL_FillRect(screen, &r, SDL_MapRGB(screen->format, (Uint8)(rgb >> 16),
                                        (Uint8)(rgb >> 8), (Uint8)rgb));
}

/* Format the score into straeng and draw it in the 10-point font. */
static void drawScore(int x, int y)
{
    snprintf(straeng, sizeof straeng, "Po\xE4ng: %i", points);
    DrawString(text10, x, y, straeng, screen);
}

/* The title screen: the controls, the still pile with its hole, the demo
 * piece by Arot. */
static void drawTitle()
{
    for (int i = 0; i < 7; i++)
        DrawString(text10, 60, titleControlsY[i], controls[i], screen);
    for (int i = 0; i < 5; i++)
        fill(titlePile[i], i < 4 ? 0x00FF00 : 0x111111);
    if (Arot >= 'a' && Arot <= 'd')
        for (const Fill &f : demoPiece[Arot - 'a'])
            fill(f, 0x0000FF);
}

/* The playing screen: the board in whole cells (a filled cell wins over a
 * piece cell; the floor is not shown), the preview, the score, the
 * controls, and the pause picture over it all while paused. */
static void drawPlaying()
{
    for (int k = 0; k < 20; k++)
        for (int r = 0; r < 19; r++) {
            int i = r * 20 + k;
            Fill cell = { (Sint16)(8 + 20 * k), (Sint16)(10 + 20 * r), 20, 20 };
            if (blockAt(i) == 'b')
                fill(cell, 0x00FF00);
            else if (i == drop.cell[0] || i == drop.cell[1] || i == drop.cell[2] ||
                     i == drop.cell[3])
                fill(cell, 0x0000FF);
        }
    DrawString(text10, 430, 160, "N\xC4STA:", screen);
    if (next >= 'a' && next <= 'f')
        for (const Fill &f : preview[next - 'a'])
            fill(f, 0xFFFFFF);
    drawScore(430, 240);
    for (int i = 0; i < 7; i++)
        DrawString(text8, 430, playControlsY[i], controls[i], screen);
    if (paus == 'i')
        DrawIMG(pausB, 100, 100, screen);
}

/* The game-over screen: an empty well with the picture, the prompt and the
 * final score. */
static void drawGameOver()
{
    DrawIMG(over, 70, 100, screen);
    DrawString(text10, 120, 190, "F2 f\xF6r nytt spel", screen);
    drawScore(120, 220);
}

/* Paint the whole frame from scratch for the screen in Gameover and flip
 * it. Reads the game state and the assets; writes straeng only. */
void DrawScene()
{
    SDL_FillRect(screen, NULL, SDL_MapRGB(screen->format, 0xAA, 0xAA, 0xAA));
    fill({ 8, 8, 400, 382 }, 0x111111);
    DrawIMG(logo, 420, 5, screen);

    if (Gameover == 'a')
        drawTitle();
    if (Gameover == 'b')
        drawPlaying();
    if (Gameover == 'c')
        drawGameOver();
    if (Gameover == 'a' || Gameover == 'c') {
        DrawString(text8, 430, 300, "\xA9 2009", screen);
        DrawIMG(tumbrik, 453, 320, screen);
        DrawIMG(sdllogo, 520, 360, screen);
    }
    SDL_Flip(screen);
}
