/* The game from its start, for everything that replays it: the tests, the
 * fuzzers and the benchmark. */
#ifndef TUMBRIK_GAMESTATE_H
#define TUMBRIK_GAMESTATE_H

/* Every variable of the game back to its value at program start, the board
 * as start-up leaves it (19 empty rows over the filled floor), SDL's event
 * queue emptied and every key of its keyboard state released. The clock,
 * the assets and the mixer are the caller's. */
void startingState();

#endif
