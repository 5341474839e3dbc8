/* The browser's entry. A page may not block, so the frame loop is the
 * browser's: one pass of the game each time it paints. Start-up and the
 * pass are the desktop game's own; only the loop around them differs. */
#include <emscripten.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "main.h"

extern "C" {
/* In library.js: key-downs only for real presses; the page counts
 * passes and hears when the game has ended. */
void web_ignore_repeats();
void web_passed();
void web_ended();
}

/* One pass, and after the pass that set done, the desktop's shut-down:
 * the sound released, the loop stopped, the page told. Reads done. */
static void pass()
{
    Pass();
    web_passed();
    if (!done)
        return;
    kill();
    emscripten_cancel_main_loop();
    web_ended();
}

/* The game's state for the page's test, as one line of JSON. Reads
 * Gameover, paus, done, drop, next and points; writes nothing else. */
extern "C" EMSCRIPTEN_KEEPALIVE const char *web_state()
{
    static char line[200];
    snprintf(line, sizeof line,
             "{\"screen\":\"%c\",\"paus\":\"%c\",\"done\":%d,\"x\":%.2f,\"y\":%.2f,"
             "\"variant\":\"%c\",\"rot\":\"%c\",\"next\":\"%c\",\"points\":%d}",
             Gameover, paus, done, (double)drop.x, (double)drop.y, drop.variant, drop.rot, next,
             points);
    return line;
}

/* Where the board lives, so that the page's test can lay out full rows
 * and have the game clear them. */
extern "C" EMSCRIPTEN_KEEPALIVE char *web_board()
{
    return blockcolor;
}

int main()
{
    /* Name the browser's driver: with a driver chosen, start-up makes
     * exactly one SDL_Init and reports its failure, and looks for no
     * display of its own. */
    setenv("SDL_VIDEODRIVER", "emscripten", 1);
    /* The site preloads pix/ and sound/ here (web/build.sh). */
    if (chdir("/tumbrik") != 0) {
        perror("Couldn't enter the game's folder /tumbrik");
        return 1;
    }
    web_ignore_repeats();
    StartUp();
    emscripten_set_main_loop(pass, 0, 1);
    return 0;
}
