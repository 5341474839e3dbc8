/* Floods of input: more key events in one pass than SDL's queue holds, and
 * arrow keys held while the game starts anew, pauses and ends. */
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

class Flood : public ::testing::Test {
protected:
    void SetUp() override { resetGame(); }
    void TearDown() override { resetGame(); }
};

static bool queueEmpty()
{
    SDL_Event e;
    return SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) == 0;
}

/* ==== A full queue ==== */

/* SDL 1.2 keeps 127 events; the game must take every one of them, in
 * order, in the pass that finds them, so that a flood leaves the flags as
 * its last events say and nothing waits for a later pass. */
TEST_F(Flood, AFullQueueIsEmptiedInOnePassInOrder)
{
    const int capacity = 127;
    struct Key { SDLKey key; bool down; };
    const Key leftDown = { SDLK_LEFT, true }, leftUp = { SDLK_LEFT, false };
    const Key rightDown = { SDLK_RIGHT, true }, rightUp = { SDLK_RIGHT, false };
    const Key unknown = { SDLK_a, true };
    struct Case {
        const char *what;
        std::vector<Key> first, filler, last;   /* filler repeats to fill the queue */
        const char *flags;                      /* as they must be after one pass */
    } cases[] = {
        { "Left tapped 63 times, then pressed", {}, { leftDown, leftUp }, { leftDown },
          "L=a R=b" },
        { "a Left press and its release, unknown keys between", { leftDown }, { unknown },
          { leftUp }, "L=b R=b" },
        { "Right held across 125 pause toggles", { rightDown }, { { SDLK_F3, true } },
          { rightUp }, "R=b paus=i" },
        { "Left released and Right pressed at the end", { leftDown }, { unknown },
          { leftUp, rightDown }, "L=b R=a" },
        { "126 turns after a Left press", { leftDown }, { { SDLK_DOWN, true } }, {},
          "L=a rot=s" },
        { "Escape first, the rest still handled", { { SDLK_ESCAPE, true } }, { unknown },
          { rightDown }, "done=1 R=a" },
    };
    for (const Case &c : cases) {
        resetGame();
        Gameover = 'b';
        drop.variant = 'd';
        drop.cell[0] = 210;
        std::vector<Key> flood = c.first;
        for (size_t i = 0; (int)(flood.size() + c.last.size()) < capacity; i++)
            flood.push_back(c.filler[i % c.filler.size()]);
        flood.insert(flood.end(), c.last.begin(), c.last.end());
        for (const Key &k : flood)
            ASSERT_TRUE(postKey(k.key, k.down)) << c.what << ": the queue is full too soon";
        EXPECT_FALSE(postKey(SDLK_b, true))
            << c.what << ": SDL's queue holds more than " << capacity << " events";
        pass(16);
        EXPECT_TRUE(queueEmpty()) << c.what << ": events left for a later pass";

        std::istringstream wanted(c.flags);
        std::string kv;
        while (wanted >> kv) {
            std::string name = kv.substr(0, kv.find('=')), value = kv.substr(kv.find('=') + 1);
            std::string got = name == "L"      ? std::string(1, Lmov)
                            : name == "R"      ? std::string(1, Rmov)
                            : name == "paus"   ? std::string(1, paus)
                            : name == "rot"    ? std::string(1, drop.rot)
                                               : std::to_string(done);
            EXPECT_EQ(got, value) << c.what << ": " << name;
        }
    }
}

/* The release of an arrow that finds the queue full is lost as an event,
 * but the keyboard says the key is up: the piece must not slide on. */
TEST_F(Flood, AReleaseLostToAFullQueueStillStopsTheSlide)
{
    for (SDLKey arrow : { SDLK_LEFT, SDLK_RIGHT }) {
        resetGame();
        Gameover = 'b';
        ASSERT_TRUE(postKey(arrow, true));
        for (int i = 1; i < 127; i++)
            ASSERT_TRUE(postKey(SDLK_a, true));
        EXPECT_FALSE(postKey(arrow, false)) << "the release finds the queue full";
        pass(16);
        EXPECT_EQ(Lmov, 'b');
        EXPECT_EQ(Rmov, 'b');
        float x = drop.x;
        pass(100);
        EXPECT_EQ(drop.x, x) << "no slide without a key held";
    }
}

/* A flood of hard-drop presses is one request: the piece drops once and
 * lands once in that pass, and the next piece waits at the top. */
TEST_F(Flood, ManySpacePressesInOnePassDropOnePiece)
{
    Gameover = 'b';
    drop.variant = 'c';
    pass(16);
    for (int i = 0; i < 127; i++)
        ASSERT_TRUE(postKey(SDLK_SPACE, i % 2 == 0));
    pass(16);
    EXPECT_EQ(rowsOf(17, 18), (std::vector<std::string>{ "..........##........",
                                                         "..........##........" }))
        << boardPicture();
    int filled = 0;
    for (int i = 0; i < 380; i++)
        filled += blockcolor[i] == 'b';
    EXPECT_EQ(filled, 4) << boardPicture();
    EXPECT_EQ(droppa, 'b');
    EXPECT_EQ(drop.y, 20.0f);
}

/* ==== Keys held across screens ==== */

/* A script of steps, run one by one:
 *   L+ L- R+ R-  an arrow pressed or released (waiting in the queue)
 *   F2 F3        a key pressed and released
 *   top          a filled cell put in the top row: the next pass ends the game
 *   pass         a 16 ms pass
 * Afterwards the flags must read as the physical keys are, and one more
 * running pass of 100 ms must move the piece by what is held: 10 pixels
 * left, right, or not at all. */
TEST_F(Flood, ArrowsHeldAcrossANewGameThePauseAndTheEnd)
{
    struct Case {
        const char *script;
        char L, R;
        int drift;   /* pixels in x over the last pass */
    } cases[] = {
        { "F2 pass L+ pass F2 pass", 'a', 'b', -10 },
        { "F2 L+ pass F2 L- pass", 'b', 'b', 0 },
        { "F2 R+ pass F3 pass pass F3 pass", 'b', 'a', +10 },
        { "F2 R+ pass F3 pass R- pass F3 pass", 'b', 'b', 0 },
        { "F2 L+ R+ pass F3 pass L- pass F3 pass", 'b', 'a', +10 },
        { "F2 L+ pass top pass L- pass F2 pass", 'b', 'b', 0 },
        { "F2 pass top pass L+ pass F2 pass", 'a', 'b', -10 },
        { "F2 R+ pass top pass pass F2 pass", 'b', 'a', +10 },
        { "F2 R+ L+ pass top pass R- pass F2 pass", 'a', 'b', -10 },
        { "F2 L- R- pass", 'b', 'b', 0 },
    };
    for (const Case &c : cases) {
        resetGame();
        std::istringstream steps(c.script);
        std::string step;
        while (steps >> step) {
            if (step == "pass")
                pass(16);
            else if (step == "top")
                blockcolor[5] = 'b';
            else if (step == "F2" || step == "F3") {
                pushKey(step == "F2" ? SDLK_F2 : SDLK_F3);
                pushKey(step == "F2" ? SDLK_F2 : SDLK_F3, false);
            } else
                pushKey(step[0] == 'L' ? SDLK_LEFT : SDLK_RIGHT, step[1] == '+');
        }
        ASSERT_EQ(Gameover, 'b') << c.script;
        ASSERT_EQ(paus, 'o') << c.script;
        EXPECT_EQ(Lmov, c.L) << c.script;
        EXPECT_EQ(Rmov, c.R) << c.script;
        float x = drop.x;
        pass(100);
        EXPECT_FLOAT_EQ(drop.x - x, (float)c.drift) << c.script;
    }
}
