/* The process entry. SDL 1.2 brings no entry wrapper on this platform,
 * so this is it: the whole life of the game is SDL_main. */
#include "main.h"

int main(int argc, char *argv[]) { return SDL_main(argc, argv); }
