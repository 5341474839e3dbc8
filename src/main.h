/* main: the game's shared state and functions.
 *
 * All of the game lives in module-level variables; the functions take no
 * arguments and talk to each other only through what is declared here.
 * Every flag is one lower-case letter; the legend stands beside each. */
#ifndef TUMBRIK_MAIN_H
#define TUMBRIK_MAIN_H

#include <SDL.h>
#include <SDL_mixer.h>

#include "pkfont.h"

/* ==== The falling piece ==== */

struct Drop {
    float x;        /* pivot, window pixels; column c while 20c+8 < x < 20c+28 */
    float y;        /* pivot, window pixels; row r while 20r+10 < y < 20r+30 */
    char variant;   /* shape 'a'..'f': L, mirrored L, square, bar, S, Z */
    char rot;       /* orientation 'n','w','s','o', each a clockwise turn on */
    int cell[4];    /* board indices; cell[0] is the pivot */
};

extern Drop drop;   /* the one falling piece, starts {218, 20, 'f', 'n', 380 x4} */
extern char next;   /* letter of the piece after it, shown as the preview */
extern int rotLx;   /* reach of the shape left of the pivot column: 0, 20, 40 px */
extern int rotRx;   /* reach of the shape right of the pivot column: 0, 20, 40 px */

/* ==== Screen and control flags ==== */

extern int done;        /* 1: leave the frame loop after this pass */
extern char Gameover;   /* screen: 'a' title, 'b' playing, 'c' game over */
extern char paus;       /* 'o' running, 'i' paused; kept across games */
extern char Rmov;       /* 'a' while Right is held, else 'b' */
extern char Lmov;       /* 'a' while Left is held, else 'b' */
extern char droppa;     /* 'a' a hard drop is wanted, 'b' none */
extern char stopper;    /* hard drop loop: 'a' may move on, 'b' blocked */
extern char Arot;       /* title demo piece: 'a','b','c','d' a turn apart */
extern int Atid;        /* ms gathered towards the demo piece's next turn */

/* ==== Timing, score and speed ==== */

extern int tid;         /* tick count at the previous pass, ms */
extern int block;       /* ms between the previous pass and this one */
extern int points;      /* the score */
extern char straeng[20];/* the score line, "Po\xE4ng: %i" */
extern float speed;     /* fall speed, px per ms: 0.045 up to 0.09 */

/* ==== The board ==== */

/* 20 columns x 20 rows, index = row * 20 + column, row 0 on top:
 * 'a' empty, 'b' filled. Row 19 (380..399) is the floor, always filled.
 * Read and write it only through blockAt and setBlock. */
extern char blockcolor[400];
char blockAt(int i);            /* outside 0..399 reads 'a' */
void setBlock(int i, char c);   /* outside 0..399 writes nothing */

extern int nuffra;      /* filled cells counted in the row lineOut examines */
extern int nuffra2;     /* rows removed by the last lineOut, 0..4 */

/* ==== Handles and assets ==== */

extern SDL_Surface *screen;     /* the window's surface */
extern SDL_Surface *icon;       /* window icon, pix/tumbrik2.bmp unkeyed */
extern Mix_Music *music;        /* background music, null without sound */
extern Mix_Chunk *bonus;        /* row-clearing chime, null without sound */
extern int audioOpen;           /* 1 once the mixer is open, else 0 */

extern PKFont text10;           /* 10-point font, light on dark */
extern PKFont text8;            /* 8-point font, dark on the grey window */
extern SDL_Surface *over;       /* game-over picture */
extern SDL_Surface *logo;       /* the game's name, top right */
extern SDL_Surface *pausB;      /* pause picture */
extern SDL_Surface *tumbrik;    /* the emblem, 32 x 32 */
extern SDL_Surface *sdllogo;    /* "made with SDL" badge */

extern int bred10[256], ofset10[256];   /* metrics of pix/Tahoma10.bmp */
extern int bred8[256], ofset8[256];     /* metrics of pix/tahoma8.bmp */

/* The game reads the clock only through this; tests point it elsewhere. */
extern Uint32 (*GetTicks)(void);

/* ==== Functions ==== */

int SDL_main(int argc, char *argv[]);
void StartUp();     /* window, sound, assets, caption and icon; exits on failure */
void Pass();        /* one pass: Event, UpDate, koll, DrawScene */
void InitStuff();
void LoadAssets();
void kill();
void NewInit();

void Event();
void UpDate();
void koll();
void DrawScene();

void setShape();
char nextRot(char rot);
int testRot();
char setVariant();
void change();
int radno(int index);
int noOnrad(int index);
void lineOut();

#endif
