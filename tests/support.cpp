#include "support.h"

#include "gamestate.h"

#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

Uint32 fakeNow = 1000;

Uint32 fakeTicks() { return fakeNow; }

void startHeadless()
{
    static bool started = false;
    if (started)
        return;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_NE(SDL_SetVideoMode(580, 400, 0, SDL_SWSURFACE), nullptr) << SDL_GetError();
    started = true;
}

void resetGame()
{
    startHeadless();
    startingState();
    fakeNow = 1000;
    GetTicks = fakeTicks;
    tid = (int)fakeNow;
    mixerScripted = false;
    mixerCalls.clear();
    audioOpen = 0;
    music = NULL;
    bonus = NULL;
}

void setRows(int top, const std::vector<std::string> &rows)
{
    for (size_t r = 0; r < rows.size(); r++) {
        ASSERT_EQ(rows[r].size(), 20u) << "row " << top + r << " is not 20 wide";
        for (int c = 0; c < 20; c++)
            blockcolor[(top + (int)r) * 20 + c] = rows[r][c] == '#' ? 'b' : 'a';
    }
}

std::string boardPicture()
{
    std::string out = "\n";
    for (int r = 0; r < 20; r++) {
        for (int c = 0; c < 20; c++) {
            int i = r * 20 + c;
            bool piece = false;
            for (int k = 0; k < 4; k++)
                piece |= drop.cell[k] == i;
            char b = blockcolor[i] == 'b' ? '#' : blockcolor[i] == 'a' ? '.' : '?';
            out += piece ? (b == '#' ? '@' : 'P') : b;
        }
        out += r == 19 ? "  <- floor\n" : "\n";
    }
    return out;
}

std::vector<std::string> rowsOf(int first, int last)
{
    std::vector<std::string> rows;
    for (int r = first; r <= last; r++) {
        std::string row;
        for (int c = 0; c < 20; c++)
            row += blockcolor[r * 20 + c] == 'b' ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

bool postKey(SDLKey key, bool down)
{
    SDL_GetKeyState(NULL)[key] = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.type = e.type;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = key;
    return SDL_PushEvent(&e) == 0;
}

void pushKey(SDLKey key, bool down)
{
    ASSERT_TRUE(postKey(key, down)) << "the event queue is full";
}

void hold(SDLKey arrow, bool down)
{
    SDL_GetKeyState(NULL)[arrow] = down ? SDL_PRESSED : SDL_RELEASED;
    (arrow == SDLK_LEFT ? Lmov : Rmov) = down ? 'a' : 'b';
}

void pushQuit()
{
    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&e), 0);
}

void pass(int ms)
{
    fakeNow += (Uint32)ms;
    Event();
    UpDate();
    koll();
}

void useRealAssetsAndScreen()
{
    startHeadless();
    static SDL_Surface *canvas = nullptr;
    if (!canvas) {
        LoadAssets();
        canvas = SDL_CreateRGBSurface(SDL_SWSURFACE, 580, 400, 32, 0xFF0000, 0x00FF00,
                                      0x0000FF, 0);
        ASSERT_NE(canvas, nullptr) << SDL_GetError();
    }
    screen = canvas;
}

Uint32 rgbAt(SDL_Surface *s, int x, int y)
{
    Uint8 *p = (Uint8 *)s->pixels + y * s->pitch + x * s->format->BytesPerPixel;
    Uint32 v = 0;
    memcpy(&v, p, s->format->BytesPerPixel);
    Uint8 r, g, b;
    SDL_GetRGB(v, s->format, &r, &g, &b);
    return (Uint32)r << 16 | (Uint32)g << 8 | b;
}

/* ==== The mixer seen from the game ==== */

bool mixerScripted = false;
int channelBusy = 0;
int musicPlaying = 0;
std::vector<std::string> mixerCalls;

static Mix_Music *const fakeMusic = (Mix_Music *)&fakeNow;
static Mix_Chunk fakeChunk;

void fakeMixer()
{
    mixerScripted = true;
    channelBusy = 0;
    musicPlaying = 1;
    mixerCalls.clear();
    audioOpen = 1;
    music = fakeMusic;
    bonus = &fakeChunk;
}

static std::string nameOf(const void *p)
{
    return p == fakeMusic ? "music" : p == &fakeChunk ? "bonus" : p ? "?" : "NULL";
}

extern "C" {
int __real_Mix_Playing(int channel);
int __real_Mix_PlayChannelTimed(int channel, Mix_Chunk *chunk, int loops, int ticks);
int __real_Mix_PlayingMusic(void);
int __real_Mix_PlayMusic(Mix_Music *m, int loops);

int __wrap_Mix_Playing(int channel)
{
    if (!mixerScripted)
        return __real_Mix_Playing(channel);
    mixerCalls.push_back("Mix_Playing(" + std::to_string(channel) + ")");
    return channelBusy;
}

int __wrap_Mix_PlayChannelTimed(int channel, Mix_Chunk *chunk, int loops, int ticks)
{
    if (!mixerScripted)
        return __real_Mix_PlayChannelTimed(channel, chunk, loops, ticks);
    mixerCalls.push_back("Mix_PlayChannelTimed(" + std::to_string(channel) + "," +
                         nameOf(chunk) + "," + std::to_string(loops) + "," +
                         std::to_string(ticks) + ")");
    return channel;
}

int __wrap_Mix_PlayingMusic(void)
{
    if (!mixerScripted)
        return __real_Mix_PlayingMusic();
    mixerCalls.push_back("Mix_PlayingMusic()");
    return musicPlaying;
}

int __wrap_Mix_PlayMusic(Mix_Music *m, int loops)
{
    if (!mixerScripted)
        return __real_Mix_PlayMusic(m, loops);
    mixerCalls.push_back("Mix_PlayMusic(" + nameOf(m) + "," + std::to_string(loops) + ")");
    return 0;
}
}
