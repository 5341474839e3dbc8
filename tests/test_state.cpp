/* The game state, the board's bounds, a new game, the shapes and turning. */
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "support.h"

class State : public ::testing::Test {
protected:
    void SetUp() override { resetGame(); }
};

TEST_F(State, BoardOutsideItsBoundsReadsEmptyAndTakesNoWrites)
{
    setRows(0, { "####################" });
    EXPECT_EQ(blockAt(-1), 'a');
    EXPECT_EQ(blockAt(400), 'a');
    EXPECT_EQ(blockAt(-41), 'a');
    EXPECT_EQ(blockAt(0), 'b');
    EXPECT_EQ(blockAt(399), 'b');

    char before[400];
    memcpy(before, blockcolor, sizeof before);
    Drop dropBefore = drop;
    int pointsBefore = points;
    setBlock(-5, 'b');
    setBlock(400, 'a');
    setBlock(-1, 'a');
    EXPECT_EQ(memcmp(before, blockcolor, sizeof before), 0) << boardPicture();
    EXPECT_EQ(memcmp(&dropBefore, &drop, sizeof drop), 0);
    EXPECT_EQ(points, pointsBefore);
}

TEST_F(State, NewInitResetsTheGameAndKeepsWhatCarriesOver)
{
    setRows(5, { "#######.....########", "####################" });
    drop = Drop{ 77.5f, 301.0f, 'd', 'w', { 101, 81, 121, 141 } };
    next = 'e';
    points = 1234;
    speed = 0.07f;
    paus = 'i';
    droppa = 'a';
    Lmov = 'a';
    Arot = 'c';
    Atid = 150;
    rotLx = 20;
    rotRx = 40;

    NewInit();

    EXPECT_FLOAT_EQ(drop.x, 218.0f);
    EXPECT_FLOAT_EQ(drop.y, 20.0f);
    EXPECT_EQ(points, 0);
    EXPECT_FLOAT_EQ(speed, 0.045f);
    for (int i = 0; i < 380; i++)
        ASSERT_EQ(blockcolor[i], 'a') << "cell " << i << boardPicture();
    for (int i = 380; i < 400; i++)
        ASSERT_EQ(blockcolor[i], 'b') << "the floor lost cell " << i;
    // What a new game inherits from the last screen.
    EXPECT_EQ(drop.variant, 'd');
    EXPECT_EQ(drop.rot, 'w');
    EXPECT_EQ(drop.cell[0], 101);
    EXPECT_EQ(drop.cell[3], 141);
    EXPECT_EQ(next, 'e');
    EXPECT_EQ(paus, 'i');
    EXPECT_EQ(droppa, 'a');
    EXPECT_EQ(Lmov, 'a');
    EXPECT_EQ(Arot, 'c');
    EXPECT_EQ(Atid, 150);
    EXPECT_EQ(rotLx, 20);
    EXPECT_EQ(rotRx, 40);
}

/* Pictures of every shape, rows top down split by '/', P the pivot:
 * setShape must place exactly these cells and reaches. */
struct ShapeCase {
    char variant, rot;
    const char *picture;
};

static const ShapeCase shapePictures[] = {
    { 'a', 'n', "XPX/..X" }, { 'a', 'w', ".X/.P/XX" }, { 'a', 's', "X../XPX" },
    { 'a', 'o', "XX/P./X." }, { 'b', 'n', "..X/XPX" }, { 'b', 'w', "X./P./XX" },
    { 'b', 's', "XPX/X.." }, { 'b', 'o', "XX/.P/.X" }, { 'c', 'n', "PX/XX" },
    { 'c', 'w', "PX/XX" },   { 'c', 's', "PX/XX" },    { 'c', 'o', "PX/XX" },
    { 'd', 'n', "XPXX" },    { 'd', 'w', "X/P/X/X" },  { 'd', 's', "XXPX" },
    { 'd', 'o', "X/X/P/X" }, { 'e', 'n', "X./XP/.X" }, { 'e', 'w', ".XX/XP." },
    { 'e', 's', "X./PX/.X" }, { 'e', 'o', ".PX/XX." }, { 'f', 'n', ".X/XP/X." },
    { 'f', 'w', "XX./.PX" }, { 'f', 's', ".X/PX/X." }, { 'f', 'o', "XP./.XX" },
};

/* Cells of a picture as (row, column) offsets from P. */
static std::set<std::pair<int, int>> cellsOf(const std::string &picture)
{
    std::set<std::pair<int, int>> cells;
    int pr = 0, pc = 0, r = 0, c = 0;
    for (char ch : picture) {
        if (ch == '/') {
            r++;
            c = 0;
            continue;
        }
        if (ch == 'P') {
            pr = r;
            pc = c;
        }
        if (ch != '.')
            cells.insert({ r, c });
        c++;
    }
    std::set<std::pair<int, int>> relative;
    for (auto rc : cells)
        relative.insert({ rc.first - pr, rc.second - pc });
    return relative;
}

TEST_F(State, ShapeTableMatchesThePictures)
{
    const int pivot = 210;  // row 10, column 10: no cell wraps
    for (const ShapeCase &sc : shapePictures) {
        drop.variant = sc.variant;
        drop.rot = sc.rot;
        drop.cell[0] = pivot;
        setShape();
        std::set<std::pair<int, int>> placed;
        int left = 0, right = 0;
        for (int k = 0; k < 4; k++) {
            int dr = (drop.cell[k] - pivot + 210) / 20 - 10;  // nearest row
            int dc = drop.cell[k] - pivot - 20 * dr;
            placed.insert({ dr, dc });
            left = std::min(left, dc);
            right = std::max(right, dc);
        }
        EXPECT_EQ(placed, cellsOf(sc.picture)) << sc.variant << sc.rot << " " << sc.picture;
        EXPECT_EQ(rotLx, -20 * left) << sc.variant << sc.rot;
        EXPECT_EQ(rotRx, 20 * right) << sc.variant << sc.rot;
    }
}

TEST_F(State, EachOrientationIsThePreviousTurnedClockwise)
{
    for (int i = 0; i < 24; i++) {
        const ShapeCase &sc = shapePictures[i];
        const ShapeCase &after = shapePictures[(i / 4) * 4 + (i + 1) % 4];
        std::set<std::pair<int, int>> turned;
        for (auto rc : cellsOf(sc.picture))  // on screen, y down: right goes to below
            turned.insert({ rc.second, -rc.first });
        if (sc.variant == 'c')
            EXPECT_EQ(cellsOf(sc.picture), cellsOf(after.picture));
        else
            EXPECT_EQ(turned, cellsOf(after.picture)) << sc.variant << sc.rot << " -> " << after.rot;
    }
}

TEST_F(State, NoTableRowLeavesTheCellsAndReachAlone)
{
    drop = Drop{ 218.0f, 20.0f, 'x', 'n', { 210, 1, 2, 3 } };
    rotLx = 40;
    rotRx = 40;
    setShape();
    drop.variant = 'a';
    drop.rot = 'q';
    setShape();
    EXPECT_EQ(drop.cell[1], 1);
    EXPECT_EQ(drop.cell[3], 3);
    EXPECT_EQ(rotLx, 40);
    EXPECT_EQ(rotRx, 40);
}

/* testRot: which cells a turn tests, shown by filling each in turn. */
struct RotCase {
    char variant, rot;
    int pivot;
    std::vector<int> tested;  // the cells of the next orientation
};

TEST_F(State, TestRotChecksTheCellsOfTheNextOrientation)
{
    const RotCase cases[] = {
        { 'a', 'w', 210, { 211, 209, 189 } },
        { 'd', 'n', 210, { 190, 230, 250 } },
        { 'd', 'w', 210, { 211, 209, 208 } },
        { 'd', 's', 210, { 230, 190, 170 } },
        { 'd', 'o', 210, { 209, 211, 212 } },
        { 'b', 'n', 210, { 190, 230, 231 } },
        { 'e', 'o', 210, { 209, 189, 230 } },
        { 'f', 'w', 210, { 211, 191, 230 } },
        { 'c', 'n', 210, { 210 } },
        { 'a', 'w', 199, { 200, 198, 178 } },  // wraps to column 0 of the row below
    };
    for (const RotCase &rc : cases) {
        resetGame();
        drop.variant = rc.variant;
        drop.rot = rc.rot;
        drop.cell[0] = rc.pivot;
        EXPECT_EQ(testRot(), 1) << rc.variant << rc.rot << " on an empty board";
        for (int cell : rc.tested) {
            blockcolor[cell] = 'b';
            EXPECT_EQ(testRot(), 0) << rc.variant << rc.rot << " ignores cell " << cell;
            blockcolor[cell] = 'a';
        }
        // Every other cell of the neighbourhood is left out of the test.
        for (int cell = rc.pivot - 60; cell <= rc.pivot + 60; cell++) {
            if (cell < 0 || cell >= 380 ||
                std::find(rc.tested.begin(), rc.tested.end(), cell) != rc.tested.end())
                continue;
            blockcolor[cell] = 'b';
            EXPECT_EQ(testRot(), 1) << rc.variant << rc.rot << " tests cell " << cell;
            blockcolor[cell] = 'a';
        }
    }
}

TEST_F(State, TestRotAtTheStartingPivotOnTheFloor)
{
    const struct { char variant; int allowed; } cases[] = {
        { 'e', 1 },  // 360, 361, 379: all empty
        { 'c', 0 },  // 380 itself is floor
        { 'a', 0 },  // 360, 400 (empty), 399 (floor)
        { 'd', 1 },  // 360, 400, 420: past the board
    };
    for (auto c : cases) {
        drop.variant = c.variant;
        drop.rot = 'n';
        EXPECT_EQ(drop.cell[0], 380);
        EXPECT_EQ(testRot(), c.allowed) << c.variant;
    }
}

TEST_F(State, TestRotAtTheEntryPositionReadsAboveTheTopAsEmpty)
{
    drop.variant = 'f';
    drop.rot = 'n';
    drop.cell[0] = 10;  // tests -10, 11, -11
    EXPECT_EQ(testRot(), 1);
    blockcolor[11] = 'b';
    EXPECT_EQ(testRot(), 0);
}

TEST_F(State, TestRotChangesNothing)
{
    setRows(10, { "#.#.#.#.#.#.#.#.#.#." });
    drop = Drop{ 100.0f, 200.0f, 'a', 's', { 210, 211, 209, 189 } };
    Drop before = drop;
    testRot();
    EXPECT_EQ(memcmp(&before, &drop, sizeof drop), 0);
}

TEST_F(State, NextRotationIsClockwiseAndFourTurnsComeBack)
{
    EXPECT_EQ(nextRot('n'), 'w');
    EXPECT_EQ(nextRot('w'), 's');
    EXPECT_EQ(nextRot('s'), 'o');
    EXPECT_EQ(nextRot('o'), 'n');
}

TEST_F(State, SetVariantTakesTheGeneratorValueModSix)
{
    // rand() after srand(s) is a fixed sequence: compare with it directly.
    for (unsigned seed : { 1u, 7u, 12345u }) {
        srand(seed);
        std::vector<int> values;
        for (int i = 0; i < 60; i++)
            values.push_back(rand());
        srand(seed);
        for (int v : values)
            ASSERT_EQ(setVariant(), "abcdef"[v % 6]) << "value " << v;
    }
}
