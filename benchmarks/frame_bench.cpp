/* Frame benchmark: what one pass of the game's frame loop costs on each of
 * its screens, set against the floor of clearing and flipping the window
 * once, and how many heap allocations a steady pass makes.
 *
 * The game draws into a 32-bit 580 x 400 software surface with the real
 * pictures and fonts, on SDL's dummy video and audio drivers (no mixer is
 * opened). Every pass starts from the same saved state with the clock
 * 16 ms on, so each one does the same work.
 *
 *   tumbrik_bench [Google Benchmark flags] [--check-budgets]
 *       run the benchmarks and print the budget summary; exit 1 when a
 *       steady pass allocates, or with --check-budgets when a pass takes
 *       more than four floors
 *   tumbrik_bench --passes=SCREEN:N
 *       only run N passes of one screen (title, playing, paused,
 *       game_over) through measuredPass, for callgrind
 *
 * Run it from the repository root: the assets are read from pix/. */
#include "main.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "alloc_count.h"
#include "gamestate.h"

/* ==== The clock ==== */

/* The game's clock while benchmarking; every pass finds it one frame of
 * a 60 Hz display past the previous one. */
static Uint32 benchNow = 100000;
static const Uint32 frameMs = 16;

static Uint32 benchTicks()
{
    return benchNow;
}

/* ==== Saved game state ==== */

/* Everything a pass reads or writes, so that it can be put back exactly. */
struct GameState {
    Drop drop;
    char next;
    int rotLx, rotRx;
    int done;
    char Gameover, paus, Rmov, Lmov, droppa, stopper, Arot;
    int Atid;
    int tid, block, points;
    char straeng[20];
    float speed;
    char blockcolor[400];
    int nuffra, nuffra2;
};

static GameState saveState()
{
    GameState s;
    s.drop = drop;
    s.next = next;
    s.rotLx = rotLx;
    s.rotRx = rotRx;
    s.done = done;
    s.Gameover = Gameover;
    s.paus = paus;
    s.Rmov = Rmov;
    s.Lmov = Lmov;
    s.droppa = droppa;
    s.stopper = stopper;
    s.Arot = Arot;
    s.Atid = Atid;
    s.tid = tid;
    s.block = block;
    s.points = points;
    memcpy(s.straeng, straeng, sizeof straeng);
    s.speed = speed;
    memcpy(s.blockcolor, blockcolor, sizeof blockcolor);
    s.nuffra = nuffra;
    s.nuffra2 = nuffra2;
    return s;
}

/* Put the state back and set the clock one frame after its last pass. */
static void restoreState(const GameState &s)
{
    drop = s.drop;
    next = s.next;
    rotLx = s.rotLx;
    rotRx = s.rotRx;
    done = s.done;
    Gameover = s.Gameover;
    paus = s.paus;
    Rmov = s.Rmov;
    Lmov = s.Lmov;
    droppa = s.droppa;
    stopper = s.stopper;
    Arot = s.Arot;
    Atid = s.Atid;
    tid = s.tid;
    block = s.block;
    points = s.points;
    memcpy(straeng, s.straeng, sizeof straeng);
    speed = s.speed;
    memcpy(blockcolor, s.blockcolor, sizeof blockcolor);
    nuffra = s.nuffra;
    nuffra2 = s.nuffra2;
    benchNow = (Uint32)s.tid + frameMs;
}

/* ==== The screens ==== */

enum Screen { TITLE, PLAYING, PAUSED, GAME_OVER, SCREENS };
static const char *const screenNames[SCREENS] = { "title", "playing", "paused", "game_over" };

/* A late game, rows 9..18: one hole a row, 190 of the well's 380 cells
 * filled, so nothing is ever full and nothing clears. */
static const char *const halfFullPile[10] = {
    "###.################",
    "#########.##########",
    "################.###",
    "##.#################",
    "############.#######",
    "#####.##############",
    "##################.#",
    "#######.############",
    ".###################",
    "##############.#####",
};

/* The tower that ends the game: column 10, where new pieces come in,
 * filled from row 2 down to the pile. */
static const int towerColumn = 10;

/* The board as start-up leaves it: an empty well over the floor. */
static void emptyBoard()
{
    for (int i = 0; i < 400; i++)
        blockcolor[i] = i < 380 ? 'a' : 'b';
}

static void pileBoard()
{
    emptyBoard();
    for (int r = 0; r < 10; r++)
        for (int c = 0; c < 20; c++)
            blockcolor[(9 + r) * 20 + c] = halfFullPile[r][c] == '#' ? 'b' : 'a';
}

/* Every variable at a value the game could have on that screen, its
 * previous pass at tick 100000. */
static GameState sceneFor(Screen screenShown)
{
    startingState();
    Arot = 'c';
    tid = 100000;
    block = (int)frameMs;

    if (screenShown != TITLE) {
        /* An S piece halfway down, two rows over the pile, with the bar next. */
        pileBoard();
        Gameover = 'b';
        drop = Drop{ 198.0f, 155.0f, 'e', 'w', { 7 * 20 + 9, 0, 0, 0 } };
        setShape();
        next = 'd';
        points = 1234;
        speed = 0.065f;
    }
    if (screenShown == PAUSED)
        paus = 'i';
    if (screenShown == GAME_OVER) {
        /* Play the game to its end, so that the screen has the state a
         * real game leaves: a new piece lands on the tower and reaches
         * the top row. Its cells stay where it landed. */
        for (int r = 2; r < 9; r++)
            blockcolor[r * 20 + towerColumn] = 'b';
        drop = Drop{ 218.0f, 20.0f, 'e', 'w', { towerColumn, 0, 0, 0 } };
        setShape();
        for (int i = 0; i < 1000 && Gameover == 'b'; i++) {
            benchNow = (Uint32)tid + frameMs;
            Event();
            UpDate();
            koll();
        }
    }
    return saveState();
}

/* One pass of the frame loop exactly as the game runs it, out of line and
 * under a plain name so that callgrind can collect this and nothing else. */
extern "C" __attribute__((noinline)) void measuredPass()
{
    Event();
    UpDate();
    koll();
    DrawScene();
}

/* The scene must show its screen, and a pass from it must leave the
 * screen and the board as they were: no row cleared, no screen change,
 * and while playing no landing either. (koll runs on every screen; what
 * it does with the last piece after a game has ended is part of the work
 * measured there.) Returns why not, or NULL. */
static const char *unsteady(const GameState &scene, Screen screenShown)
{
    static const char screenLetter[SCREENS] = { 'a', 'b', 'b', 'c' };
    if (scene.Gameover != screenLetter[screenShown])
        return "the scene does not show its screen";
    restoreState(scene);
    measuredPass();
    if (Gameover != scene.Gameover)
        return "a pass changed the screen";
    if (memcmp(blockcolor, scene.blockcolor, sizeof blockcolor) != 0)
        return "a pass changed the board";
    if (Gameover == 'b' &&
        (drop.variant != scene.drop.variant || next != scene.next || points != scene.points))
        return "a pass landed the piece";
    return NULL;
}

/* ==== Benchmarks ==== */

/* Allocations seen per benchmark over all its runs (Google Benchmark runs
 * each a few times to choose an iteration count), for the summary and the
 * exit status. The first run that allocates is reported with its site. */
static std::map<std::string, long> allocationsOf;

static void recordAllocations(benchmark::State &st, const std::string &name, long n)
{
    st.counters["allocs"] = benchmark::Counter((double)n, benchmark::Counter::kAvgIterations);
    bool firstSeen = allocationsOf[name] == 0;
    allocationsOf[name] += n;
    if (n > 0 && firstSeen) {
        fprintf(stderr, "%s: %ld heap allocations in %lld steady passes\n", name.c_str(), n,
                (long long)st.iterations());
        printFirstAllocationSite();
    }
}

/* The least a frame can cost: the whole surface filled once, then flipped. */
static void floorBench(benchmark::State &st)
{
    Uint32 grey = SDL_MapRGB(screen->format, 0xAA, 0xAA, 0xAA);
    SDL_FillRect(screen, NULL, grey);
    SDL_Flip(screen);
    startCounting();
    for (auto _ : st) {
        SDL_FillRect(screen, NULL, grey);
        SDL_Flip(screen);
    }
    recordAllocations(st, "floor", stopCounting());
}

/* Putting the state back, which every pass below includes. */
static void restoreBench(benchmark::State &st)
{
    const GameState scene = sceneFor(PLAYING);
    for (auto _ : st) {
        restoreState(scene);
        benchmark::ClobberMemory();
    }
}

/* One whole pass of a screen. The pass that unsteady makes before the
 * timing also fills SDL's per-picture blit caches, as the game's first
 * frame does. */
static void passBench(benchmark::State &st, Screen screenShown)
{
    const GameState scene = sceneFor(screenShown);
    if (const char *why = unsteady(scene, screenShown)) {
        st.SkipWithError(why);
        return;
    }
    startCounting();
    for (auto _ : st) {
        restoreState(scene);
        measuredPass();
    }
    recordAllocations(st, std::string("pass/") + screenNames[screenShown], stopCounting());
}

static void registerBenchmarks()
{
    benchmark::RegisterBenchmark("floor", floorBench)->Unit(benchmark::kMicrosecond);
    for (int s = 0; s < SCREENS; s++)
        benchmark::RegisterBenchmark((std::string("pass/") + screenNames[s]).c_str(), passBench,
                                     (Screen)s)
            ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("state_restore", restoreBench)->Unit(benchmark::kMicrosecond);
}

/* ==== Budget summary ==== */

/* Passes are held to this many floors measured in the same run. */
static const double passBudget = 4.0;

/* The console table as usual, and each benchmark's CPU time per
 * iteration in microseconds kept by name: the median when repetitions
 * give one, else the single run. CPU time rather than wall time, so that
 * another busy process on the machine does not count against a pass. */
class BudgetReporter : public benchmark::ConsoleReporter {
public:
    BudgetReporter() : benchmark::ConsoleReporter(OO_Tabular) {}

    std::map<std::string, double> micros;
    std::map<std::string, std::string> errors;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred) {
                errors[run.run_name.function_name] = run.error_message;
                continue;
            }
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            double perIteration = run.GetAdjustedCPUTime();
            if (run.time_unit == benchmark::kNanosecond)
                perIteration /= 1000.0;
            else if (run.time_unit == benchmark::kMillisecond)
                perIteration *= 1000.0;
            micros[run.run_name.function_name] = perIteration;
        }
    }
};

/* One row of the summary; benchmarks/run.sh prints its own rows alike. */
static void summaryRow(const char *measure, const char *figure, const char *budget,
                       const char *verdict)
{
    printf("%-34s %-24s %-14s %s\n", measure, figure, budget, verdict);
}

/* Print the summary; returns 1 when a benchmark could not run, when an
 * allocation was seen, or when timing counts and a pass is over its
 * budget. */
static int summarise(const BudgetReporter &rep, bool checkTiming)
{
    int failed = 0;
    for (const auto &e : rep.errors) {
        fprintf(stderr, "%s did not run: %s\n", e.first.c_str(), e.second.c_str());
        failed = 1;
    }
    auto floorTime = rep.micros.find("floor");
    printf("\n");
    summaryRow("measure", "figure", "budget", "verdict");
    if (floorTime != rep.micros.end()) {
        char figure[64];
        snprintf(figure, sizeof figure, "%.1f us", floorTime->second);
        summaryRow("floor: fill + flip of 580 x 400", figure, "", "");
    }
    for (int s = 0; s < SCREENS; s++) {
        std::string name = std::string("pass/") + screenNames[s];
        auto t = rep.micros.find(name);
        if (t == rep.micros.end())
            continue;
        char figure[64], measure[64];
        snprintf(measure, sizeof measure, "%s, CPU time", name.c_str());
        if (floorTime == rep.micros.end() || floorTime->second <= 0) {
            snprintf(figure, sizeof figure, "%.1f us", t->second);
            summaryRow(measure, figure, "<= 4 floors", "no floor in this run");
            continue;
        }
        double ratio = t->second / floorTime->second;
        snprintf(figure, sizeof figure, "%.1f us = %.2f floors", t->second, ratio);
        bool over = ratio > passBudget;
        summaryRow(measure, figure, "<= 4 floors",
                   over ? (checkTiming ? "MISSED" : "missed (not checked)") : "ok");
        if (over && checkTiming)
            failed = 1;
    }
    long total = 0;
    for (const auto &a : allocationsOf)
        total += a.second;
    char figure[64];
    snprintf(figure, sizeof figure, "%ld in %zu benchmarks", total, allocationsOf.size());
    summaryRow("heap allocations, steady passes", figure, "0", total ? "MISSED" : "ok");
    if (total)
        failed = 1;
    return failed;
}

/* ==== Start-up and modes ==== */

/* SDL on the dummy drivers whatever the environment names, with a video
 * mode (the event queue and SDL_Flip need one), the real assets, and a
 * surface of our own as the screen so that every run draws into the same
 * pixel format. */
static void startGame()
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0 || !SDL_SetVideoMode(580, 400, 0, SDL_SWSURFACE)) {
        fprintf(stderr, "Couldn't start SDL video: %s\n", SDL_GetError());
        exit(1);
    }
    atexit(SDL_Quit);
    LoadAssets();
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, 580, 400, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    if (!screen) {
        fprintf(stderr, "Couldn't create the 580 x 400 surface: %s\n", SDL_GetError());
        exit(1);
    }
    GetTicks = benchTicks;
}

/* --passes=SCREEN:N: N passes of one screen, nothing else timed. */
static int runPasses(const char *arg)
{
    const char *colon = strchr(arg, ':');
    int count = colon ? atoi(colon + 1) : 0;
    std::string name = colon ? std::string(arg, colon) : std::string(arg);
    for (int s = 0; s < SCREENS; s++) {
        if (name != screenNames[s])
            continue;
        if (count <= 0)
            break;
        const GameState scene = sceneFor((Screen)s);
        if (const char *why = unsteady(scene, (Screen)s)) {
            fprintf(stderr, "%s: %s\n", name.c_str(), why);
            return 1;
        }
        for (int i = 0; i < count; i++) {
            restoreState(scene);
            measuredPass();
        }
        return 0;
    }
    fprintf(stderr, "--passes wants SCREEN:N with N > 0 and SCREEN one of title, playing, "
                    "paused, game_over\n");
    return 2;
}

int main(int argc, char **argv)
{
    bool checkTiming = false;
    const char *passes = NULL;
    int kept = 1;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--check-budgets") == 0)
            checkTiming = true;
        else if (strncmp(argv[i], "--passes=", 9) == 0)
            passes = argv[i] + 9;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;

    startGame();
    if (passes)
        return runPasses(passes);

    if (!counterWorks()) {
        fprintf(stderr, "The allocation counter does not see allocations; no figure would "
                        "mean anything.\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    registerBenchmarks();
    BudgetReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    benchmark::Shutdown();
    return summarise(rep, checkTiming);
}
