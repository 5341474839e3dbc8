/* The rules of play: keys, the frame update, collision and landing, row
 * clearing and scoring, driven through pushed events and a hand-turned clock. */
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "support.h"

class Rules : public ::testing::Test {
protected:
    void SetUp() override { resetGame(); }
    void TearDown() override { resetGame(); }

    /* A running game with the piece where the test wants it. */
    void playing(char variant, char rot, float x, float y)
    {
        Gameover = 'b';
        paus = 'o';
        drop.variant = variant;
        drop.rot = rot;
        drop.x = x;
        drop.y = y;
    }
};

/* ==== Keys ==== */

/* The flags Event may touch, as one line, so a case can name what changes. */
static std::map<std::string, std::string> flags()
{
    return {
        { "done", std::to_string(done) },  { "screen", std::string(1, Gameover) },
        { "paus", std::string(1, paus) },  { "rot", std::string(1, drop.rot) },
        { "L", std::string(1, Lmov) },     { "R", std::string(1, Rmov) },
        { "drop", std::string(1, droppa) }, { "points", std::to_string(points) },
    };
}

static std::string show(const std::map<std::string, std::string> &m)
{
    std::string s;
    for (auto &kv : m)
        s += kv.first + "=" + kv.second + " ";
    return s;
}

TEST_F(Rules, KeyTableAcrossTheScreens)
{
    struct Screen { char gameover, paus; } screens[4] = {
        { 'a', 'o' }, { 'b', 'o' }, { 'b', 'i' }, { 'c', 'o' },
    };
    const SDLKey none = SDLK_UNKNOWN;
    struct Case {
        SDLKey key;
        bool down;
        bool quit;
        const char *change[4];  // title, running, paused, game over
    } cases[] = {
        { SDLK_ESCAPE, true, false, { "done=1", "done=1", "done=1", "done=1" } },
        { none, true, true, { "done=1", "done=1", "done=1", "done=1" } },
        { SDLK_F2, true, false, { "screen=b points=0", "screen=b points=0",
                                  "screen=b points=0", "screen=b points=0" } },
        { SDLK_F3, true, false, { "", "paus=i", "paus=o", "" } },
        { SDLK_DOWN, true, false, { "rot=w", "rot=w", "rot=w", "rot=w" } },
        { SDLK_LEFT, true, false, { "L=a", "L=a", "L=a", "L=a" } },
        { SDLK_RIGHT, true, false, { "R=a", "R=a", "R=a", "R=a" } },
        { SDLK_SPACE, true, false, { "", "drop=a", "drop=a", "" } },
        { SDLK_LEFT, false, false, { "L=b", "L=b", "L=b", "L=b" } },
        { SDLK_RIGHT, false, false, { "R=b", "R=b", "R=b", "R=b" } },
        { SDLK_DOWN, false, false, { "", "", "", "" } },
        { SDLK_F2, false, false, { "", "", "", "" } },
        { SDLK_UP, true, false, { "", "", "", "" } },
        { SDLK_a, true, false, { "", "", "", "" } },
        { SDLK_LSHIFT, true, false, { "", "", "", "" } },
    };
    for (const Case &c : cases)
        for (int s = 0; s < 4; s++) {
            resetGame();
            Gameover = screens[s].gameover;
            paus = screens[s].paus;
            points = 5;
            drop.variant = 'd';
            drop.cell[0] = 210;
            hold(SDLK_LEFT, !c.down);
            hold(SDLK_RIGHT, !c.down);
            auto expected = flags();
            std::istringstream changes(c.change[s]);
            std::string kv;
            while (changes >> kv)
                expected[kv.substr(0, kv.find('='))] = kv.substr(kv.find('=') + 1);
            if (c.quit)
                pushQuit();
            else
                pushKey(c.key, c.down);
            Event();
            EXPECT_EQ(show(flags()), show(expected))
                << "key " << c.key << (c.down ? " down" : " up") << " on screen "
                << screens[s].gameover << screens[s].paus;
        }
}

TEST_F(Rules, ModifiersChangeNothing)
{
    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_F2;
    e.key.keysym.mod = (SDLMod)(KMOD_LSHIFT | KMOD_LCTRL | KMOD_LALT);
    SDL_PushEvent(&e);
    Event();
    EXPECT_EQ(Gameover, 'b');
}

TEST_F(Rules, TwoDownPressesInOneCallTurnTwiceFromTheSamePivot)
{
    drop.variant = 'a';
    drop.cell[0] = 210;
    pushKey(SDLK_DOWN);
    pushKey(SDLK_DOWN);
    Event();
    EXPECT_EQ(drop.rot, 's');

    // The second turn is judged from 'w': 's' needs 209, 211 and 189.
    resetGame();
    drop.variant = 'a';
    drop.cell[0] = 210;
    blockcolor[189] = 'b';
    pushKey(SDLK_DOWN);
    pushKey(SDLK_DOWN);
    Event();
    EXPECT_EQ(drop.rot, 'w');
}

TEST_F(Rules, EscapeThenF2InOneCallStillStartsTheGame)
{
    points = 40;
    pushKey(SDLK_ESCAPE);
    pushKey(SDLK_F2);
    Event();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(Gameover, 'b');
    EXPECT_EQ(points, 0);
}

TEST_F(Rules, SpaceWhilePausedWaitsThroughF2AndDropsOnTheFirstRunningPass)
{
    playing('c', 'n', 218.0f, 20.0f);
    paus = 'i';
    pushKey(SDLK_SPACE);
    pushKey(SDLK_F2);
    pass(16);
    EXPECT_EQ(paus, 'i');
    EXPECT_EQ(droppa, 'a');
    EXPECT_EQ(drop.cell[0], 380) << "no cells are worked out while paused";
    // The paused passes still run the collision on the stale floor cells,
    // whose filled right neighbour puts x at the left wall.
    EXPECT_EQ(drop.x, 18.0f);
    pushKey(SDLK_F3);
    pass(0);
    EXPECT_EQ(droppa, 'b');
    EXPECT_EQ(rowsOf(17, 18), (std::vector<std::string>{ "##..................",
                                                         "##.................." }))
        << boardPicture();
}

/* ==== Frame update ==== */

TEST_F(Rules, FrameTimeIsTakenOnEveryScreenAndAcrossTheWrap)
{
    for (char screen : { 'a', 'b', 'c' }) {
        resetGame();
        Gameover = screen;
        paus = 'i';
        pass(37);
        EXPECT_EQ(block, 37);
        EXPECT_EQ(tid, (int)fakeNow);
    }
    resetGame();
    fakeNow = 0xFFFFFFF0u;
    tid = (int)fakeNow;
    pass(0x20);
    EXPECT_EQ(block, 0x20) << "the tick count wrapped";
}

TEST_F(Rules, FallAndSlideAreFormedInDoubleAndStoredOnce)
{
    playing('c', 'n', 218.0f, 20.0f);
    pass(38);
    EXPECT_EQ(drop.y, 21.710001f);
    EXPECT_NE(drop.y, 21.7099991f);

    resetGame();
    playing('d', 'w', 218.0f, 20.0f);
    hold(SDLK_RIGHT);
    pass(50);
    EXPECT_EQ(drop.x, 223.0f);
    hold(SDLK_LEFT);
    pass(50);
    EXPECT_EQ(drop.x, 223.0f) << "both arrows held: no slide";
    hold(SDLK_RIGHT, false);
    pass(50);
    EXPECT_EQ(drop.x, 218.0f);
}

TEST_F(Rules, PivotWindowsAreStrict)
{
    const struct { float x, y; int pivot; } cases[] = {
        { 218.0f, 20.0f, 10 },   { 208.5f, 10.5f, 10 },  { 227.9f, 29.9f, 10 },
        { 28.0f, 20.0f, 123 },   { 218.0f, 30.0f, 123 }, { 8.0f, 20.0f, 123 },
        { 408.0f, 20.0f, 123 },  { 218.0f, 10.0f, 123 }, { 218.0f, 389.5f, 370 },
        { 407.9f, 389.9f, 379 }, { 8.01f, 10.01f, 0 },
    };
    for (auto c : cases) {
        resetGame();
        playing('d', 'w', c.x, c.y);  // the upright bar: no cell beside the pivot
        drop.cell[0] = 123;
        UpDate();
        EXPECT_EQ(drop.cell[0], c.pivot) << "x " << c.x << " y " << c.y;
        EXPECT_EQ(drop.cell[2], c.pivot + 20) << "cells follow the pivot found";
    }
}

TEST_F(Rules, NothingMovesOnAZeroPassButTheCellsArePlaced)
{
    playing('a', 'n', 218.0f, 20.0f);
    hold(SDLK_RIGHT);
    UpDate();
    EXPECT_EQ(drop.x, 218.0f);
    EXPECT_EQ(drop.y, 20.0f);
    EXPECT_EQ(drop.cell[0], 10);
    EXPECT_EQ(drop.cell[3], 31);
    EXPECT_EQ(rotLx, 20);
    EXPECT_EQ(rotRx, 20);
}

TEST_F(Rules, PausedOrOverThePieceStaysPut)
{
    for (char screen : { 'b', 'c' }) {
        resetGame();
        playing('a', 'n', 218.0f, 100.0f);
        Gameover = screen;
        paus = screen == 'b' ? 'i' : 'o';
        hold(SDLK_RIGHT);
        droppa = 'a';
        pass(5000);
        EXPECT_EQ(drop.y, 100.0f);
        EXPECT_EQ(drop.cell[0], 380);
        EXPECT_EQ(droppa, 'a');
    }
}

TEST_F(Rules, AfterAPauseOnlyTheRunningPassCounts)
{
    playing('c', 'n', 218.0f, 20.0f);
    paus = 'i';
    pass(4000);
    paus = 'o';
    pass(20);
    EXPECT_EQ(drop.y, (float)(20.0 + 20 * (double)0.045f));
}

TEST_F(Rules, DemoPieceTurnsWhenMoreThan200msHaveGathered)
{
    for (int i = 1; i <= 12; i++) {
        pass(16);
        ASSERT_EQ(Arot, 'a') << "pass " << i;
    }
    pass(16);
    EXPECT_EQ(Arot, 'b');
    EXPECT_EQ(Atid, 0);

    Atid = 184;
    pass(16);
    EXPECT_EQ(Arot, 'b') << "exactly 200 ms is not yet enough";
    EXPECT_EQ(Atid, 200);
    pass(1);
    EXPECT_EQ(Arot, 'c');
    Atid = 0;
    pass(250);
    pass(250);
    EXPECT_EQ(Arot, 'a') << "'d' is followed by 'a'";

    Gameover = 'b';
    pass(500);
    EXPECT_EQ(Arot, 'a') << "the demo turns only on the title screen";
}

TEST_F(Rules, HardDropMovesWholeRowsUntilACellBelowIsFilled)
{
    const struct { char variant, rot; int rows; int pivotAfter; } cases[] = {
        { 'c', 'n', 17, 350 },
        { 'd', 'w', 16, 330 },
        { 'd', 'o', 17, 350 },
        { 'a', 'n', 17, 350 },
    };
    for (auto c : cases) {
        resetGame();
        playing(c.variant, c.rot, 218.0f, 20.0f);
        droppa = 'a';
        UpDate();
        EXPECT_EQ(drop.cell[0], c.pivotAfter) << c.variant << c.rot << boardPicture();
        EXPECT_EQ(drop.y, 20.0f + 20.0f * c.rows) << c.variant << c.rot;
        EXPECT_EQ(droppa, 'b');
        EXPECT_EQ(stopper, 'a');
    }
    resetGame();
    playing('c', 'n', 218.0f, 20.0f);
    droppa = 'a';
    UpDate();
    EXPECT_EQ(std::vector<int>(drop.cell, drop.cell + 4), (std::vector<int>{ 350, 351, 370, 371 }));
}

TEST_F(Rules, HardDropAlreadyBlockedMovesNothing)
{
    setRows(2, { "...........#........" });
    playing('c', 'n', 218.0f, 20.0f);
    droppa = 'a';
    UpDate();
    EXPECT_EQ(drop.y, 20.0f);
    EXPECT_EQ(drop.cell[0], 10);
    EXPECT_EQ(droppa, 'b');
    EXPECT_EQ(stopper, 'a');
}

TEST_F(Rules, HardDropFromTheStartingPivotEnds)
{
    // On a window edge the first running pass finds no pivot, so the square
    // drops from the floor cell 380: the cells below it lie past the board.
    playing('c', 'o', 28.0f, 20.0f);
    droppa = 'a';
    UpDate();
    EXPECT_EQ(drop.cell[0], 380);
    EXPECT_EQ(drop.y, 20.0f);
    EXPECT_EQ(droppa, 'b');

    // About that pivot 'e' in 'o' would wrap a cell to column 19; its cells
    // are placed from the wall-clamped position instead (column 1), and it
    // drops to the floor from there.
    resetGame();
    playing('e', 'o', 28.0f, 20.0f);
    droppa = 'a';
    UpDate();
    EXPECT_EQ(drop.x, 38.0f);
    EXPECT_EQ(std::vector<int>(drop.cell, drop.cell + 4), (std::vector<int>{ 341, 361, 360, 342 }));
    EXPECT_EQ(droppa, 'b');
}

TEST_F(Rules, MusicIsStartedAgainWheneverItStopsOnEveryScreen)
{
    for (char screen : { 'a', 'b', 'c' }) {
        resetGame();
        Gameover = screen;
        fakeMixer();
        musicPlaying = 0;
        pass(10);
        EXPECT_EQ(mixerCalls, (std::vector<std::string>{ "Mix_PlayingMusic()",
                                                         "Mix_PlayMusic(music,0)" }));
        mixerCalls.clear();
        musicPlaying = 1;
        pass(10);
        EXPECT_EQ(mixerCalls, (std::vector<std::string>{ "Mix_PlayingMusic()" }));
    }
    resetGame();
    pass(10);
    EXPECT_TRUE(mixerCalls.empty()) << "no mixer call without an open mixer";
}

/* ==== Collision and landing ==== */

TEST_F(Rules, RightStopHoldsThePieceInItsColumn)
{
    setRows(10, { "............#......." });
    playing('c', 'n', 218.0f, 220.0f);
    hold(SDLK_RIGHT);
    for (int i = 0; i < 20; i++) {
        pass(8);
        ASSERT_EQ(drop.cell[0] % 20, 10) << "pass " << i << boardPicture();
        ASSERT_LE(drop.x, 218.8f);
    }
    blockcolor[212] = 'a';
    for (int i = 0; i < 20; i++)
        pass(8);
    EXPECT_GE(drop.cell[0] % 20, 11) << "with the way free it slides on";
}

TEST_F(Rules, LeftStopTestsAt17AndPutsBackAt18)
{
    const struct { float x, after; } cases[] = {
        { 217.5f, 217.5f }, { 217.0f, 217.0f }, { 216.9f, 218.0f }, { 210.0f, 218.0f },
    };
    for (auto c : cases) {
        resetGame();
        setRows(10, { ".........#.........." });
        playing('c', 'n', c.x, 220.0f);
        drop.cell[0] = 210;
        setShape();
        koll();
        EXPECT_EQ(drop.x, c.after) << "from " << c.x;
    }
}

TEST_F(Rules, WallClampByTheReachOfTheShape)
{
    const struct { char variant, rot; float x, after; } cases[] = {
        { 'd', 's', 50.0f, 58.0f },   { 'd', 'n', 370.0f, 358.0f }, { 'd', 'w', 10.0f, 18.0f },
        { 'd', 'w', 405.0f, 398.0f }, { 'a', 'n', 30.0f, 38.0f },   { 'a', 'n', 380.0f, 378.0f },
        { 'd', 'w', 18.0f, 18.0f },   { 'd', 'w', 398.0f, 398.0f },
    };
    for (auto c : cases) {
        resetGame();
        playing(c.variant, c.rot, c.x, 220.0f);
        drop.cell[0] = 210;
        setShape();
        koll();
        EXPECT_EQ(drop.x, c.after) << c.variant << c.rot << " from " << c.x;
    }
}

TEST_F(Rules, LandingLineOfTheRow)
{
    for (float y : { 119.0f, 119.01f }) {
        resetGame();
        setRows(7, { "...........#........" });
        playing('c', 'n', 218.0f, y);
        drop.cell[0] = 110;  // row 5; cell 131 has 151 filled below
        setShape();
        koll();
        EXPECT_EQ(drop.y, y == 119.0f ? 119.0f : 20.0f) << "at y " << y << boardPicture();
    }
}

TEST_F(Rules, NoFilledCellBelowNoLanding)
{
    playing('d', 'n', 218.0f, 365.0f);
    drop.cell[0] = 330;
    setShape();
    koll();
    EXPECT_EQ(drop.y, 365.0f);
}

TEST_F(Rules, LandingWritesThePieceAndHandsOver)
{
    setRows(18, { "..........#........." });
    playing('a', 'w', 218.0f, 339.5f);  // pivot row 16 (330), cells 310, 350, 349
    next = 'd';
    drop.cell[0] = 330;
    setShape();
    srand(99);
    char drawn = "abcdef"[rand() % 6];
    srand(99);
    koll();
    EXPECT_EQ(drop.x, 218.0f);
    EXPECT_EQ(drop.y, 20.0f);
    EXPECT_EQ(drop.variant, 'd');
    EXPECT_EQ(next, drawn);
    EXPECT_EQ(drop.rot, 'w');
    EXPECT_EQ(std::vector<int>(drop.cell, drop.cell + 4), (std::vector<int>{ 330, 310, 350, 349 }));
    EXPECT_EQ(rowsOf(15, 18), (std::vector<std::string>{
                                  "..........#.........",
                                  "..........#.........",
                                  ".........##.........",
                                  "..........#.........",
                              })) << boardPicture();
    EXPECT_EQ(Gameover, 'b');
}

TEST_F(Rules, OnlyOneLandingPerCallEvenInRowZero)
{
    setRows(2, { "..........#........." });
    playing('c', 'n', 218.0f, 20.0f);
    next = 'b';
    drop.cell[0] = 10;
    setShape();
    srand(5);
    char first = "abcdef"[rand() % 6];
    srand(5);
    koll();
    EXPECT_EQ(drop.variant, 'b');
    EXPECT_EQ(next, first) << "a second landing would have drawn twice";
    EXPECT_EQ(Gameover, 'c') << "cells 10 and 11 in the top row";
}

TEST_F(Rules, FilledTopRowEndsTheGameOnAnyPass)
{
    playing('c', 'n', 218.0f, 100.0f);
    blockcolor[19] = 'b';
    pass(16);
    EXPECT_EQ(Gameover, 'c');
}

TEST_F(Rules, TitleScreenPassesPutXAt18AndNothingElse)
{
    char before[400];
    memcpy(before, blockcolor, sizeof before);
    pass(16);
    EXPECT_EQ(drop.x, 18.0f);
    EXPECT_EQ(drop.y, 20.0f);
    EXPECT_EQ(Gameover, 'a');
    pass(16);
    EXPECT_EQ(drop.x, 18.0f);
    EXPECT_EQ(memcmp(before, blockcolor, sizeof before), 0);
    pushKey(SDLK_F2);
    pass(0);
    EXPECT_EQ(drop.cell[0], 10) << "the new game starts at column 10";
}

TEST_F(Rules, GameOverWithThePivotInRowZeroDrawsAnewEveryPass)
{
    setRows(0, { "..........##........", "..........##........", "..........#........." });
    Gameover = 'c';
    drop.variant = 'c';
    drop.cell[0] = 10;
    setShape();
    int pointsBefore = points;
    std::vector<std::string> board = rowsOf(0, 18);
    srand(3);
    pass(16);
    EXPECT_EQ(rowsOf(0, 18), board);
    EXPECT_EQ(points, pointsBefore);
    char n1 = next;
    srand(4);
    pass(16);
    EXPECT_EQ(drop.variant, n1) << "the same piece landed again";
    srand(4);
    EXPECT_EQ(next, "abcdef"[rand() % 6]) << "and a new preview was drawn";
}

TEST_F(Rules, PauseRightAfterARowZeroLandingLandsAgain)
{
    setRows(1, { "#########..#########", ".........##........." });
    playing('c', 'n', 198.0f, 20.0f);  // pivot 9: cells 9, 10, 29, 30
    UpDate();
    ASSERT_EQ(drop.cell[0], 9);
    koll();
    EXPECT_EQ(points, 1);
    EXPECT_EQ(Gameover, 'b');
    EXPECT_EQ(rowsOf(0, 2), (std::vector<std::string>{ "....................",
                                                       ".........##.........",
                                                       ".........##........." }))
        << boardPicture();
    pushKey(SDLK_F3);
    pass(16);
    EXPECT_EQ(Gameover, 'c');
    EXPECT_EQ(rowsOf(0, 0), (std::vector<std::string>{ ".........##........." }));
}

TEST_F(Rules, RadnoAndNoOnradAtTheBounds)
{
    const struct { int index, row, col; } cases[] = {
        { -41, 1, -41 }, { -1, 1, -1 }, { 0, 1, 0 },    { 19, 1, 19 }, { 20, 2, 0 },
        { 379, 19, 19 }, { 380, 20, 0 }, { 399, 20, 19 }, { 400, 20, 20 }, { 421, 20, 41 },
    };
    for (auto c : cases) {
        EXPECT_EQ(radno(c.index), c.row) << c.index;
        EXPECT_EQ(noOnrad(c.index), c.col) << c.index;
    }
}

/* ==== Mended faults ==== */

TEST_F(Rules, APieceTurnedAgainstTheWallLandsWhole)
{
    // The bar turned flat against the right wall: placed about a pivot in
    // column 19, its cell +1 would wrap to column 0 of the row below, where
    // a filled cell lies under it. It is held within the wall instead.
    setRows(11, { "................####", "#..................." });
    playing('d', 's', 398.0f, 225.0f);
    pass(0);
    EXPECT_EQ(drop.y, 20.0f) << "landed" << boardPicture();
    EXPECT_EQ(rowsOf(10, 12), (std::vector<std::string>{ "................####",
                                                         "................####",
                                                         "#..................." }))
        << boardPicture();
}

TEST_F(Rules, SlowPassesIntoAWallLandOnThePileNotInIt)
{
    // Passes of over 100 ms with the arrow held push x a whole column past
    // the wall each time; the piece (XPX / ..X) must land on the pile, not
    // sink into it.
    const struct { SDLKey arrow; float x; std::vector<std::string> rows8to10; } cases[] = {
        { SDLK_RIGHT, 378.0f, { "....................", ".................###", ".###################" } },
        { SDLK_LEFT, 38.0f, { "###.................", "..#.................", ".##################." } },
    };
    const std::vector<std::string> empty(10, "....................");
    for (auto &c : cases) {
        resetGame();
        setRows(10, std::vector<std::string>(9, ".##################."));
        playing('a', 'n', c.x, 20.0f);
        hold(c.arrow);
        for (int i = 0; i < 200 && rowsOf(0, 9) == empty; i++)
            pass(101);
        EXPECT_EQ(rowsOf(8, 10), c.rows8to10) << boardPicture();
        EXPECT_EQ(rowsOf(11, 18), std::vector<std::string>(8, ".##################."))
            << "the pile is whole" << boardPicture();
    }
}

TEST_F(Rules, ALongFrameStillLandsThePiece)
{
    playing('d', 'n', 218.0f, 100.0f);
    pass(100000);
    EXPECT_EQ(drop.y, 20.0f) << "the piece landed";
    EXPECT_EQ(rowsOf(18, 18), (std::vector<std::string>{ ".........####......." }))
        << boardPicture();
}

/* ==== Row clearing and scoring ==== */

TEST_F(Rules, LineOutRemovesFullRowsAndScores)
{
    const std::string full = "####################";
    const struct {
        const char *name;
        std::vector<std::string> before;  // rows 13..18
        std::vector<std::string> after;
        int removed, points;
        const char *sound;
    } cases[] = {
        { "row 18 with cells above",
          { "....................", "....................", "#...................",
            "....#...............", "..........#.........", full },
          { "....................", "....................", "....................",
            "#...................", "....#...............", "..........#........." },
          1, 1, "Mix_PlayChannelTimed(0,bonus,0,-1)" },
        { "rows 17 and 18",
          { "....................", "....................", "....................",
            "...#................", full, full },
          { "....................", "....................", "....................",
            "....................", "....................", "...#................" },
          2, 10, "Mix_PlayChannelTimed(0,bonus,1,-1)" },
        { "rows 16 and 18",
          { "....................", "....................", "....................",
            full, "##########.#########", full },
          { "....................", "....................", "....................",
            "....................", "....................", "##########.#########" },
          2, 10, "Mix_PlayChannelTimed(0,bonus,1,-1)" },
        { "rows 15 to 18",
          { "....................", "#...................", full, full, full, full },
          { "....................", "....................", "....................",
            "....................", "....................", "#..................." },
          4, 1000, "Mix_PlayChannelTimed(0,bonus,3,-1)" },
        { "no full row",
          { "....................", "....................", "....................",
            "....................", "....................", "###################." },
          { "....................", "....................", "....................",
            "....................", "....................", "###################." },
          0, 0, nullptr },
    };
    for (auto &c : cases) {
        resetGame();
        fakeMixer();
        setRows(13, c.before);
        points = 7;
        lineOut();
        EXPECT_EQ(rowsOf(13, 18), c.after) << c.name << boardPicture();
        EXPECT_EQ(nuffra2, c.removed) << c.name;
        EXPECT_EQ(points, 7 + c.points) << c.name;
        std::vector<std::string> calls;
        if (c.sound)
            calls = { "Mix_Playing(0)", c.sound };
        EXPECT_EQ(mixerCalls, calls) << c.name;
        EXPECT_EQ(rowsOf(19, 19), std::vector<std::string>{ full }) << "the floor stays";
    }
}

TEST_F(Rules, ThreeRowsScoreAHundred)
{
    fakeMixer();
    setRows(14, { "..#.................", "####################", "####################",
                  "####################", "#.##################" });
    lineOut();
    EXPECT_EQ(points, 100);
    EXPECT_EQ(rowsOf(17, 18), (std::vector<std::string>{ "..#.................",
                                                         "#.##################" }));
    EXPECT_EQ(mixerCalls.back(), "Mix_PlayChannelTimed(0,bonus,2,-1)");
}

TEST_F(Rules, TopRowAloneEmptiesAndNothingMoves)
{
    setRows(0, { "####################", "#..................." });
    lineOut();
    EXPECT_EQ(rowsOf(0, 1), (std::vector<std::string>{ "....................",
                                                       "#..................." }));
    EXPECT_EQ(points, 1);
}

TEST_F(Rules, BusyChannelMeansNoChimeButThePointsCount)
{
    fakeMixer();
    channelBusy = 1;
    setRows(18, { "####################" });
    lineOut();
    EXPECT_EQ(points, 1);
    EXPECT_EQ(mixerCalls, (std::vector<std::string>{ "Mix_Playing(0)" }));
}

TEST_F(Rules, SpeedRisesPerClearingLandingUpTo009)
{
    const float steps[] = { 0.050f, 0.055f, 0.060f, 0.065f, 0.070f,
                            0.075f, 0.080f, 0.085f, 0.09f };
    for (float expected : steps) {
        setRows(18, { "####################" });
        lineOut();
        EXPECT_FLOAT_EQ(speed, expected);
    }
    EXPECT_EQ(speed, (float)0.09) << "the ninth reaches the limit exactly";
    setRows(17, { "####################", "####################" });
    lineOut();
    EXPECT_EQ(speed, (float)0.09);
    lineOut();
    EXPECT_EQ(speed, (float)0.09) << "no rows: only the limit is checked";
}

/* ==== Soak ==== */

TEST_F(Rules, SoakOfAMillionRandomPasses)
{
    // Mostly play keys; now and then a pause or a new game.
    const SDLKey keys[] = { SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT, SDLK_SPACE, SDLK_F3, SDLK_F2 };
    const unsigned weights[] = { 30, 30, 30, 20, 2, 1 };
    unsigned rng = 12345;
    auto random = [&rng](unsigned n) {
        rng = rng * 1103515245u + 12345u;
        return (rng >> 8) % n;
    };
    auto randomKey = [&]() {
        unsigned r = random(113);
        int k = 0;
        while (r >= weights[k])
            r -= weights[k++];
        return keys[k];
    };
    srand(2026);
    pushKey(SDLK_F2);
    int games = 0, lastPoints = 0;
    for (int i = 0; i < 1000000; i++) {
        int events = (int)random(3);
        for (int e = 0; e < events; e++)
            pushKey(randomKey(), random(3) != 0);
        char before = Gameover;
        pass(random(10) < 8 ? (int)random(40) : (int)random(1001));
        if (Gameover == 'c') {
            games += before == 'b';
            pushKey(SDLK_F2);
        }
        int gained = points - lastPoints;
        ASSERT_TRUE(gained == 0 || points == 0 || gained == 1 || gained == 10 ||
                    gained == 100 || gained == 1000)
            << "pass " << i << " went from " << lastPoints << " to " << points;
        lastPoints = points;
        for (int c = 380; c < 400; c++)
            ASSERT_EQ(blockcolor[c], 'b') << "pass " << i << boardPicture();
        for (int k = 1; k < 4 && drop.cell[0] < 380; k++)
            ASSERT_LE(abs((drop.cell[k] + 400) % 20 - drop.cell[0] % 20), 2)
                << "pass " << i << ": cells wrapped across a wall" << boardPicture();
        for (int c = 0; c < 380; c++)
            ASSERT_TRUE(blockcolor[c] == 'a' || blockcolor[c] == 'b') << "pass " << i;
        ASSERT_GE(speed, 0.045f);
        ASSERT_LE(speed, (float)0.09);
    }
    EXPECT_GT(games, 100) << "the soak should play through many games";
}
