/* musicgen: composes and renders the game's background music and the
 * row-clearing chime.
 *
 *   musicgen <root>   writes <root>/sound/block.ogg and <root>/sound/bonus.wav
 *
 * The music is written out below as note tables (chords, melody, bass,
 * arpeggio and drum patterns for 24 bars in F major at 100 beats a minute)
 * and synthesised here: no samples are read. The game plays it once and
 * starts it again as soon as it ends, so the piece is rendered into a buffer
 * exactly 24 bars long, notes and echoes that ring past the end are wrapped
 * round to the start, and the file begins on the first downbeat.
 *
 * The output must be the same on every run and every machine we build on,
 * so every waveform comes from plain arithmetic below (our own sine,
 * exponential and seeded noise) instead of the maths library, and the Ogg
 * stream has a fixed serial number and a fixed comment. */
#include <vorbis/vorbisenc.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

/* ==== Numbers ==== */

/* Sine, exponential, pitch and noise, built only from IEEE arithmetic,
 * floor and sqrt, whose results are exact and the same everywhere. */

static const int RATE = 44100;
static const double TWO_PI = 6.283185307179586;

/* sin(2 pi x): fold x into a quarter turn, then the Taylor series to the
 * 13th power, which is good to 1e-9 there. */
static double sin_turns(double x)
{
    double t = x - std::floor(x + 0.5);
    if (t > 0.25)
        t = 0.5 - t;
    else if (t < -0.25)
        t = -0.5 - t;
    const double y = TWO_PI * t, y2 = y * y;
    return y * (1.0 + y2 * (-1.0 / 6 + y2 * (1.0 / 120 + y2 * (-1.0 / 5040
           + y2 * (1.0 / 362880 + y2 * (-1.0 / 39916800
           + y2 * (1.0 / 6227020800.0)))))));
}

/* e^x: halve x until the series converges at once, then square back up. */
static double exp_of(double x)
{
    int halvings = 0;
    while (x > 0.001 || x < -0.001) {
        x *= 0.5;
        ++halvings;
    }
    double e = 1.0 + x * (1.0 + x * (0.5 + x * (1.0 / 6 + x * (1.0 / 24 + x / 120))));
    while (halvings-- > 0)
        e *= e;
    return e;
}

/* The factor that, applied every sample, decays by e in `seconds`. */
static double decay_per_sample(double seconds)
{
    return exp_of(-1.0 / (seconds * RATE));
}

/* Equal-tempered pitch of a MIDI note number, A4 (69) = 440 Hz. */
static double note_hz(int midi)
{
    static const double semitone[12] = {
        1.0,                1.0594630943592953, 1.122462048309373,
        1.189207115002721,  1.2599210498948732, 1.3348398541700344,
        1.4142135623730951, 1.4983070768766815, 1.5874010519681994,
        1.681792830507429,  1.7817974362806785, 1.8877486253633868,
    };
    int k = midi - 69;
    int octave = (k >= 0) ? k / 12 : -((11 - k) / 12);
    double f = 440.0 * semitone[k - 12 * octave];
    for (; octave > 0; --octave)
        f *= 2.0;
    for (; octave < 0; ++octave)
        f *= 0.5;
    return f;
}

/* White noise in [-1, 1) from a 32-bit xorshift with a fixed seed. */
static uint32_t noiseState = 0x2545F491u;

static double noise()
{
    noiseState ^= noiseState << 13;
    noiseState ^= noiseState >> 17;
    noiseState ^= noiseState << 5;
    return (double)(int32_t)noiseState / 2147483648.0;
}

/* Constant-power gains for a pan position from -1 (left) to 1 (right). */
static void pan_gains(double pan, double *left, double *right)
{
    *left = std::sqrt(0.5 * (1.0 - pan));
    *right = std::sqrt(0.5 * (1.0 + pan));
}

/* One-pole low-pass coefficient for a corner frequency in Hz. */
static double lowpass_coef(double hz)
{
    return 1.0 - exp_of(-TWO_PI * hz / RATE);
}

/* ==== Time grid ==== */

/* 100 beats a minute, four sixteenths a beat, sixteen a bar: a sixteenth
 * is exactly 6615 samples, so every note starts on a whole sample. */

static const int BARS = 24;
static const int STEPS_PER_BAR = 16;
static const long STEP = RATE * 60 / 100 / 4;
static const long LOOP = (long)BARS * STEPS_PER_BAR * STEP;

/* ==== Mixing buses ==== */

/* The dry stereo signal and the send that feeds the echo and the room.
 * Both are one loop long; anything written past the end lands at the start,
 * which is what makes the loop join without a seam. */

struct Mix {
    std::vector<double> dryL, dryR, sendL, sendR;
};

static void emit(Mix &m, long pos, double left, double right, double send)
{
    long i = pos % LOOP;
    m.dryL[i] += left;
    m.dryR[i] += right;
    m.sendL[i] += left * send;
    m.sendR[i] += right * send;
}

/* ==== Instruments ==== */

/* Each plays one note into the buses: `start` and `length` in samples,
 * pitches as MIDI numbers, velocities around 1. */

/* Lead: two-operator FM at ratio 1, bright at the onset and mellowing as it
 * holds, with a vibrato that fades in on long notes. The two channels are a
 * few cents apart, which widens the tone without any reverb. */
static void play_lead(Mix &m, long start, long length, int midi, double vel)
{
    const double f = note_hz(midi);
    const double attack = 0.012 * RATE;
    const double holdK = decay_per_sample(1.6);
    const double releaseK = decay_per_sample(0.10);
    const double brightK = decay_per_sample(0.28);
    const double vibRate = 5.2 / RATE;
    const long total = length + (long)(0.8 * RATE);
    double gl, gr;
    pan_gains(0.1, &gl, &gr);
    double hold = 1.0, release = 1.0, bright = vel, vibPhase = 0.0;
    double phaseL = 0.0, phaseR = 0.0;
    for (long i = 0; i < total; ++i) {
        const double t = (double)i / RATE;
        double vibDepth = (t - 0.3) / 0.5;
        vibDepth = vibDepth < 0.0 ? 0.0 : vibDepth > 1.0 ? 0.0035 : 0.0035 * vibDepth;
        const double bend = 1.0 + vibDepth * sin_turns(vibPhase);
        const double index = (0.35 + 1.1 * bright) / TWO_PI;
        const double l = sin_turns(phaseL + index * sin_turns(phaseL));
        const double r = sin_turns(phaseR + index * sin_turns(phaseR));
        const double env = (i < attack ? i / attack : 1.0) * hold * release;
        const double a = 0.27 * vel * env;
        emit(m, start + i, a * gl * l, a * gr * r, 0.30);
        phaseL += f * 0.9988 * bend / RATE;
        phaseR += f * 1.0012 * bend / RATE;
        phaseL -= std::floor(phaseL);
        phaseR -= std::floor(phaseR);
        vibPhase += vibRate;
        hold *= holdK;
        bright *= brightK;
        if (i >= length)
            release *= releaseK;
    }
}

/* Bass: a rounded sine with a little second and third harmonic that fade
 * quickly, so each note has a soft pluck and then sits low. */
static void play_bass(Mix &m, long start, long length, int midi)
{
    const double f = note_hz(midi);
    const double attack = 0.005 * RATE;
    const double holdK = decay_per_sample(0.9);
    const double releaseK = decay_per_sample(0.06);
    const double pluckK = decay_per_sample(0.12);
    const long total = length + (long)(0.5 * RATE);
    double hold = 1.0, release = 1.0, pluck = 1.0, phase = 0.0;
    for (long i = 0; i < total; ++i) {
        const double s = sin_turns(phase) + (0.22 + 0.25 * pluck) * sin_turns(2 * phase)
                       + 0.10 * pluck * sin_turns(3 * phase);
        const double env = (i < attack ? i / attack : 1.0) * hold * release;
        const double v = 0.30 * env * s * 0.7071;
        emit(m, start + i, v, v, 0.05);
        phase += f / RATE;
        phase -= std::floor(phase);
        hold *= holdK;
        pluck *= pluckK;
        if (i >= length)
            release *= releaseK;
    }
}

/* Arpeggio: a kalimba-like pluck, a sine with a short metallic fourth
 * harmonic, left to ring out by itself. */
static void play_pluck(Mix &m, long start, int midi, double vel, double pan)
{
    const double f = note_hz(midi);
    const double attack = 0.003 * RATE;
    const double bodyK = decay_per_sample(0.45);
    const double tineK = decay_per_sample(0.05);
    const long total = (long)(2.2 * RATE);
    double gl, gr;
    pan_gains(pan, &gl, &gr);
    double body = 1.0, tine = 1.0, phase = 0.0;
    for (long i = 0; i < total; ++i) {
        const double s = sin_turns(phase) + 0.15 * sin_turns(2 * phase)
                       + 0.30 * tine * sin_turns(4 * phase);
        const double v = 0.11 * vel * (i < attack ? i / attack : 1.0) * body * s;
        emit(m, start + i, v * gl, v * gr, 0.45);
        phase += f / RATE;
        phase -= std::floor(phase);
        body *= bodyK;
        tine *= tineK;
    }
}

/* Pad: a soft triangle-like tone (odd and even harmonics falling as 1/n^2)
 * doubled a few cents apart, left and right, with a slow swell. */
static void play_pad(Mix &m, long start, long length, int midi)
{
    const double f = note_hz(midi);
    const double attack = 0.45 * RATE;
    const double releaseK = decay_per_sample(0.40);
    const long total = length + (long)(2.5 * RATE);
    static const double detune[2] = { 0.9975, 1.0025 };
    static const double pan[2] = { -0.5, 0.5 };
    for (int d = 0; d < 2; ++d) {
        double gl, gr;
        pan_gains(pan[d], &gl, &gr);
        double release = 1.0, phase = 0.0;
        for (long i = 0; i < total; ++i) {
            double s = 0.0;
            for (int n = 1; n <= 5; ++n)
                s += sin_turns(n * phase) / (n * n);
            double swell = i < attack ? i / attack : 1.0;
            swell = swell * swell * (3.0 - 2.0 * swell);
            const double v = 0.030 * swell * release * s;
            emit(m, start + i, v * gl, v * gr, 0.60);
            phase += f * detune[d] / RATE;
            phase -= std::floor(phase);
            if (i >= length)
                release *= releaseK;
        }
    }
}

/* Kick: a sine that drops from about 130 Hz to 45 Hz, soft rather than
 * punchy so that it does not push at low volume. */
static void play_kick(Mix &m, long start, double vel)
{
    const double sweepK = decay_per_sample(0.03);
    const double bodyK = decay_per_sample(0.18);
    const double attack = 0.001 * RATE;
    const long total = (long)(0.6 * RATE);
    double sweep = 1.0, body = 1.0, phase = 0.0;
    for (long i = 0; i < total; ++i) {
        const double v = 0.42 * vel * (i < attack ? i / attack : 1.0) * body * sin_turns(phase);
        emit(m, start + i, v * 0.7071, v * 0.7071, 0.0);
        phase += (45.0 + 85.0 * sweep) / RATE;
        phase -= std::floor(phase);
        sweep *= sweepK;
        body *= bodyK;
    }
}

/* Hi-hat: high-passed noise, short when closed and longer when open. */
static void play_hat(Mix &m, long start, double vel, bool open)
{
    const double envK = decay_per_sample(open ? 0.11 : 0.022);
    const double a = lowpass_coef(6500.0);
    const long total = (long)((open ? 0.7 : 0.2) * RATE);
    double gl, gr;
    pan_gains(0.3, &gl, &gr);
    double env = 1.0, low = 0.0;
    for (long i = 0; i < total; ++i) {
        const double x = noise();
        low += a * (x - low);
        const double v = 0.28 * vel * env * (x - low);
        emit(m, start + i, v * gl, v * gr, 0.15);
        env *= envK;
    }
}

/* Rim: a band of noise between roughly 1 and 4 kHz over a short woody
 * knock, the light backbeat of the calmer sections. */
static void play_rim(Mix &m, long start, double vel)
{
    const double envK = decay_per_sample(0.045);
    const double knockK = decay_per_sample(0.02);
    const double hi = lowpass_coef(4000.0), lo = lowpass_coef(1200.0);
    const long total = (long)(0.35 * RATE);
    double gl, gr;
    pan_gains(-0.2, &gl, &gr);
    double env = 1.0, knock = 1.0, lowHi = 0.0, lowLo = 0.0, phase = 0.0;
    for (long i = 0; i < total; ++i) {
        const double x = noise();
        lowHi += hi * (x - lowHi);
        lowLo += lo * (x - lowLo);
        const double s = 1.6 * (lowHi - lowLo) * env + 0.5 * knock * sin_turns(phase);
        const double v = 0.24 * vel * s;
        emit(m, start + i, v * gl, v * gr, 0.35);
        phase += 400.0 / RATE;
        phase -= std::floor(phase);
        env *= envK;
        knock *= knockK;
    }
}

/* ==== The score ==== */

/* A bar of the piece: its harmony, its melody and which pattern each of
 * the other parts plays.
 *   chords  one chord for the whole bar, or two for its halves: a root
 *           (C, Bb, F#...) and one of the qualities in `qualities`
 *   melody  notes "C5:6" = pitch and length in sixteenths, "-:4" a rest;
 *           the lengths of a bar add up to 16
 *   bass, arp, drums  pattern letters, see the pattern tables below
 *   pad     'p' for sustained chords, '-' for none
 * The form is A (bars 1-8, sparse), B (9-16, higher and longer notes over
 * a pad, a different groove) and A again with a varied melody and the full
 * accompaniment (17-24), whose last bar turns back to the first. */

struct BarPlan {
    const char *chords;
    const char *melody;
    char bass, arp, drums, pad;
};

static const BarPlan song[BARS] = {
    /* chords       melody                               bass arp drum pad */
    { "Fmaj7",      "C5:6 A4:2 E5:4 D5:2 C5:2",          'a', 'a', 'a', '-' },
    { "Dm7",        "D5:6 F5:2 A5:4 G5:2 F5:2",          'a', 'a', 'a', '-' },
    { "Gm7",        "G5:4 F5:2 D5:2 Bb4:4 D5:4",         'a', 'a', 'a', '-' },
    { "C",          "C5:8 -:4 G4:2 A4:2",                'a', 'a', 'a', '-' },
    { "Fmaj7",      "C5:6 A4:2 E5:4 F5:2 G5:2",          'a', 'a', 'a', '-' },
    { "Am7",        "A5:6 G5:2 E5:4 C5:4",               'a', 'a', 'a', '-' },
    { "Bbmaj7",     "D5:4 F5:2 D5:2 A4:4 Bb4:2 C5:2",    'a', 'a', 'a', '-' },
    { "Gm7 C7",     "Bb4:6 D5:2 C5:8",                   'a', 'a', 'f', '-' },

    { "Bbmaj7",     "F5:8 A5:4 F5:4",                    'b', 'b', 'b', 'p' },
    { "C",          "G5:8 E5:4 C5:4",                    'b', 'b', 'b', 'p' },
    { "Am7",        "E5:6 D5:2 C5:4 E5:4",               'b', 'b', 'b', 'p' },
    { "Dm7",        "F5:6 E5:2 D5:8",                    'b', 'b', 'b', 'p' },
    { "Gm7",        "D5:4 G5:4 Bb5:6 A5:2",              'b', 'b', 'b', 'p' },
    { "Am7",        "G5:6 E5:2 C5:8",                    'b', 'b', 'b', 'p' },
    { "Bbmaj7",     "A5:6 G5:2 F5:4 D5:4",               'b', 'b', 'b', 'p' },
    { "Csus4 C",    "F5:8 E5:6 -:2",                     'b', 'b', 'f', 'p' },

    { "Fmaj7",      "C5:6 A4:2 E5:4 D5:2 C5:2",          'c', 'c', 'c', 'p' },
    { "Dm7",        "D5:6 F5:2 A5:4 C6:2 A5:2",          'c', 'c', 'c', 'p' },
    { "Gm7",        "G5:4 F5:2 D5:2 Bb4:2 C5:2 D5:4",    'c', 'c', 'c', 'p' },
    { "C",          "E5:8 -:4 G4:2 A4:2",                'c', 'c', 'c', 'p' },
    { "Fmaj7",      "C5:6 A4:2 E5:4 F5:2 G5:2",          'c', 'c', 'c', 'p' },
    { "Am7",        "A5:6 G5:2 E5:2 G5:2 C5:4",          'c', 'c', 'c', 'p' },
    { "Bbmaj7",     "D5:4 F5:2 A5:2 G5:4 F5:2 D5:2",     'c', 'c', 'c', 'p' },
    { "Gm7 C7",     "D5:6 F5:2 E5:4 D5:4",               'c', 'c', 'f', 'p' },
};

/* Chord qualities: the four tones in semitones above the root; triads
 * repeat the root an octave up so that every chord has four voices. */
static const struct {
    const char *suffix;
    int tone[4];
} qualities[] = {
    { "maj7", { 0, 4, 7, 11 } },
    { "m7",   { 0, 3, 7, 10 } },
    { "7",    { 0, 4, 7, 10 } },
    { "sus4", { 0, 5, 7, 12 } },
    { "",     { 0, 4, 7, 12 } },
};

/* Bass patterns: notes at a step of the bar, `len` sixteenths long, a
 * number of semitones above the root of the chord sounding at that step. */
struct BassNote {
    int step, len, interval;
};

static const BassNote bassA[] = { {0, 6, 0}, {6, 2, 7}, {8, 6, 0}, {14, 2, 7}, {0, 0, 0} };
static const BassNote bassB[] = { {0, 10, 0}, {10, 2, 7}, {12, 4, 12}, {0, 0, 0} };
static const BassNote bassC[] = { {0, 6, 0}, {6, 2, 7}, {8, 4, 0}, {12, 2, 12}, {14, 2, 7}, {0, 0, 0} };

/* Arpeggio patterns, one character a sixteenth: '.' silent, or an index
 * into the chord's six arpeggio tones (its four tones, then the third and
 * fifth an octave up). */
static const char *const arpA = "0.1.2.3.4.3.2.1.";
static const char *const arpB = "4..2..3.5..3..2.";
static const char *const arpC = "0.2.1.3.2.4.3.5.";

/* Drum patterns, one character a sixteenth: 'x' full, 'o' soft,
 * 'O' an open hi-hat, '.' nothing. */
struct DrumPattern {
    const char *kick, *rim, *hat;
};

static const DrumPattern drumsA    = { "x.......x.......", "................", "o.x.o.x.o.x.o.x." };
static const DrumPattern drumsB    = { "x.....x.........", "....x.......x...", "o.xoo.x.o.xoo.x." };
static const DrumPattern drumsC    = { "x.......x.x.....", "............x...", "o.x.o.x.o.x.o.O." };
static const DrumPattern drumsFill = { "x.......x.......", "............x.xo", "o.x.o.x.o......." };

/* ==== Reading the score ==== */

/* The score is text so that it reads like music; these turn it into
 * numbers and refuse anything malformed, so a typo cannot go unheard. */

struct Chord {
    int root;      /* pitch class, 0 = C */
    int tone[4];   /* semitones above the root */
};

[[noreturn]] static void bad_score(const char *what, const char *text)
{
    fprintf(stderr, "musicgen: bad %s in the score: \"%s\"\n", what, text);
    exit(1);
}

/* Pitch class of a note name at *p ("C", "Bb", "F#"), advancing past it;
 * -1 if there is none. */
static int read_pitch_class(const char **p)
{
    static const int natural[7] = { 9, 11, 0, 2, 4, 5, 7 };   /* A..G */
    if (**p < 'A' || **p > 'G')
        return -1;
    int pc = natural[**p - 'A'];
    ++*p;
    if (**p == 'b') {
        pc += 11;
        ++*p;
    } else if (**p == '#') {
        pc += 1;
        ++*p;
    }
    return pc % 12;
}

/* The chords of a bar, for its first and its second half. */
static void read_chords(const char *text, Chord half[2])
{
    const char *p = text;
    int count = 0;
    while (*p) {
        if (count == 2)
            bad_score("chord count", text);
        Chord &c = half[count++];
        c.root = read_pitch_class(&p);
        if (c.root < 0)
            bad_score("chord root", text);
        const char *end = strchr(p, ' ');
        size_t len = end ? (size_t)(end - p) : strlen(p);
        size_t q = 0;
        while (q < sizeof qualities / sizeof qualities[0]
               && !(strlen(qualities[q].suffix) == len && strncmp(qualities[q].suffix, p, len) == 0))
            ++q;
        if (q == sizeof qualities / sizeof qualities[0])
            bad_score("chord quality", text);
        memcpy(c.tone, qualities[q].tone, sizeof c.tone);
        p += len;
        while (*p == ' ')
            ++p;
    }
    if (count == 0)
        bad_score("chord count", text);
    if (count == 1)
        half[1] = half[0];
}

struct MelodyNote {
    int step, len, midi;   /* midi < 0 for a rest */
};

/* The notes of one bar's melody; their lengths must fill the bar. */
static std::vector<MelodyNote> read_melody(const char *text)
{
    std::vector<MelodyNote> notes;
    const char *p = text;
    int step = 0;
    while (*p) {
        MelodyNote n;
        if (*p == '-') {
            n.midi = -1;
            ++p;
        } else {
            const int pc = read_pitch_class(&p);
            if (pc < 0 || *p < '0' || *p > '9')
                bad_score("melody note", text);
            n.midi = 12 * (*p - '0' + 1) + pc;
            ++p;
        }
        if (*p != ':' || p[1] < '1' || p[1] > '9')
            bad_score("melody length", text);
        char *end;
        n.len = (int)strtol(p + 1, &end, 10);
        p = end;
        n.step = step;
        step += n.len;
        notes.push_back(n);
        while (*p == ' ')
            ++p;
    }
    if (step != STEPS_PER_BAR)
        bad_score("bar length", text);
    return notes;
}

static const BassNote *bass_pattern(char letter)
{
    switch (letter) {
    case 'a': return bassA;
    case 'b': return bassB;
    case 'c': return bassC;
    }
    bad_score("bass pattern", std::string(1, letter).c_str());
}

static const char *arp_pattern(char letter)
{
    switch (letter) {
    case 'a': return arpA;
    case 'b': return arpB;
    case 'c': return arpC;
    }
    bad_score("arpeggio pattern", std::string(1, letter).c_str());
}

static const DrumPattern &drum_pattern(char letter)
{
    switch (letter) {
    case 'a': return drumsA;
    case 'b': return drumsB;
    case 'c': return drumsC;
    case 'f': return drumsFill;
    }
    bad_score("drum pattern", std::string(1, letter).c_str());
}

/* The bass note for a root: between E2 and Eb3, so the line stays low
 * without growling. */
static int bass_root(int pc)
{
    int midi = 36 + pc;
    return midi < 40 ? midi + 12 : midi;
}

/* The middle voicing for a root: between G3 and F#4, under the melody. */
static int middle_root(int pc)
{
    int midi = 48 + pc;
    return midi < 55 ? midi + 12 : midi;
}

/* ==== Performing the score ==== */

/* One bar of the score played by every part onto the buses; the chord of
 * the half bar in which a note starts is the one it follows. */

static void perform_bar(Mix &m, int bar)
{
    const BarPlan &plan = song[bar];
    const long bar0 = (long)bar * STEPS_PER_BAR * STEP;
    Chord half[2];
    read_chords(plan.chords, half);

    for (const MelodyNote &n : read_melody(plan.melody))
        if (n.midi >= 0)
            play_lead(m, bar0 + n.step * STEP, n.len * STEP, n.midi,
                      n.step % 8 == 0 ? 1.0 : 0.88);

    for (const BassNote *b = bass_pattern(plan.bass); b->len > 0; ++b) {
        const Chord &c = half[b->step / 8];
        play_bass(m, bar0 + b->step * STEP, b->len * STEP, bass_root(c.root) + b->interval);
    }

    const char *arp = arp_pattern(plan.arp);
    if (strlen(arp) != STEPS_PER_BAR)
        bad_score("arpeggio length", arp);
    for (int s = 0; s < STEPS_PER_BAR; ++s) {
        if (arp[s] == '.')
            continue;
        const int k = arp[s] - '0';
        if (k < 0 || k > 5)
            bad_score("arpeggio tone", arp);
        const Chord &c = half[s / 8];
        const int interval = k < 4 ? c.tone[k] : c.tone[k - 3] + 12;
        const double pan = (s / 2) % 2 ? 0.4 : -0.4;
        play_pluck(m, bar0 + s * STEP, middle_root(c.root) + interval,
                   s % 4 == 0 ? 1.0 : 0.8, pan);
    }

    if (plan.pad == 'p') {
        const bool split = half[0].root != half[1].root
                        || memcmp(half[0].tone, half[1].tone, sizeof half[0].tone) != 0;
        for (int h = 0; h < (split ? 2 : 1); ++h)
            for (int v = 0; v < 4; ++v)
                play_pad(m, bar0 + h * 8 * STEP, (split ? 8 : 16) * STEP,
                         middle_root(half[h].root) + half[h].tone[v]);
    } else if (plan.pad != '-') {
        bad_score("pad mark", std::string(1, plan.pad).c_str());
    }

    const DrumPattern &d = drum_pattern(plan.drums);
    if (strlen(d.kick) != STEPS_PER_BAR || strlen(d.rim) != STEPS_PER_BAR
        || strlen(d.hat) != STEPS_PER_BAR)
        bad_score("drum pattern length", d.hat);
    for (int s = 0; s < STEPS_PER_BAR; ++s) {
        const long at = bar0 + s * STEP;
        if (d.kick[s] != '.')
            play_kick(m, at, d.kick[s] == 'x' ? 1.0 : 0.6);
        if (d.rim[s] != '.')
            play_rim(m, at, d.rim[s] == 'x' ? 1.0 : 0.5);
        if (d.hat[s] != '.')
            play_hat(m, at, d.hat[s] == 'o' ? 0.6 : 1.0, d.hat[s] == 'O');
    }
}

/* ==== Echo and room ==== */

/* A ping-pong echo a dotted eighth apart and a small room of four damped
 * combs and two all-passes per side, both fed from the send bus. They run
 * over the loop twice and keep only the second pass: by then the state
 * holds what the end of the piece left behind, so the echoes of the last
 * bar sound over the first one, exactly as when the game starts it again. */

struct Comb {
    std::vector<double> buf;
    size_t pos = 0;
    double low = 0.0;
};

static double run_comb(Comb &c, double in, double feedback, double damp)
{
    const double out = c.buf[c.pos];
    c.low = out * (1.0 - damp) + c.low * damp;
    c.buf[c.pos] = in + c.low * feedback;
    if (++c.pos == c.buf.size())
        c.pos = 0;
    return out;
}

static double run_allpass(Comb &c, double in)
{
    const double held = c.buf[c.pos];
    c.buf[c.pos] = in + held * 0.5;
    if (++c.pos == c.buf.size())
        c.pos = 0;
    return held - in;
}

static void add_effects(Mix &m, std::vector<double> &outL, std::vector<double> &outR)
{
    const size_t echoLen = 3 * STEP;
    const double echoFeedback = 0.42, echoGain = 0.30;
    const double echoLow = lowpass_coef(3500.0);
    std::vector<double> echoL(echoLen, 0.0), echoR(echoLen, 0.0);
    size_t echoPos = 0;
    double lowL = 0.0, lowR = 0.0;

    static const size_t combLen[4] = { 1201, 1319, 1451, 1559 };
    static const size_t passLen[2] = { 347, 521 };
    const size_t spread = 29;
    const double roomGain = 0.09;
    Comb combs[2][4], passes[2][2];
    for (int side = 0; side < 2; ++side) {
        for (int k = 0; k < 4; ++k)
            combs[side][k].buf.assign(combLen[k] + side * spread, 0.0);
        for (int k = 0; k < 2; ++k)
            passes[side][k].buf.assign(passLen[k] + side * spread, 0.0);
    }

    for (int pass = 0; pass < 2; ++pass) {
        for (long i = 0; i < LOOP; ++i) {
            const double in = 0.5 * (m.sendL[i] + m.sendR[i]);

            const double fromL = echoL[echoPos], fromR = echoR[echoPos];
            lowL += echoLow * (fromL - lowL);
            lowR += echoLow * (fromR - lowR);
            echoL[echoPos] = in + echoFeedback * lowR;
            echoR[echoPos] = echoFeedback * lowL;
            if (++echoPos == echoLen)
                echoPos = 0;

            double room[2];
            for (int side = 0; side < 2; ++side) {
                double sum = 0.0;
                for (int k = 0; k < 4; ++k)
                    sum += run_comb(combs[side][k], in, 0.80, 0.35);
                for (int k = 0; k < 2; ++k)
                    sum = run_allpass(passes[side][k], sum);
                room[side] = sum;
            }

            if (pass == 1) {
                outL[i] = m.dryL[i] + echoGain * fromL + roomGain * room[0];
                outR[i] = m.dryR[i] + echoGain * fromR + roomGain * room[1];
            }
        }
    }
}

/* ==== Scaling ==== */

/* Scale so that the loudest sample of any channel sits at `peak`. */
static void normalise(std::vector<double> *channels[], int count, double peak)
{
    double top = 0.0;
    for (int c = 0; c < count; ++c)
        for (double v : *channels[c])
            top = std::fmax(top, std::fabs(v));
    if (top == 0.0)
        return;
    const double gain = peak / top;
    for (int c = 0; c < count; ++c)
        for (double &v : *channels[c])
            v *= gain;
}

/* ==== Ogg Vorbis output ==== */

/* Quality 0.2 keeps a minute of music well under a megabyte; the serial
 * number and the one comment are fixed, so the bytes depend only on the
 * samples and the libvorbis version. */

static const float VORBIS_QUALITY = 0.2f;
static const int OGG_SERIAL = 0x54756D62;   /* "Tumb" */
static const long ENCODE_CHUNK = 4096;

static bool write_pages(FILE *f, ogg_stream_state *os, bool flush)
{
    ogg_page page;
    while (flush ? ogg_stream_flush(os, &page) : ogg_stream_pageout(os, &page)) {
        if (fwrite(page.header, 1, page.header_len, f) != (size_t)page.header_len
            || fwrite(page.body, 1, page.body_len, f) != (size_t)page.body_len)
            return false;
    }
    return true;
}

static bool write_ogg(const std::string &path, const std::vector<double> &left,
                      const std::vector<double> &right)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "musicgen: cannot write %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, RATE, VORBIS_QUALITY) != 0) {
        fprintf(stderr, "musicgen: the Vorbis encoder refused its settings\n");
        vorbis_info_clear(&vi);
        fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "Tumbrik");

    vorbis_dsp_state vd;
    vorbis_block vb;
    ogg_stream_state os;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_init(&os, OGG_SERIAL);

    ogg_packet header, comment, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comment, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comment);
    ogg_stream_packetin(&os, &codebooks);
    bool ok = write_pages(f, &os, true);

    const long frames = (long)left.size();
    for (long done = 0; ok;) {
        const long n = frames - done < ENCODE_CHUNK ? frames - done : ENCODE_CHUNK;
        if (n > 0) {
            float **buf = vorbis_analysis_buffer(&vd, (int)n);
            for (long i = 0; i < n; ++i) {
                buf[0][i] = (float)left[done + i];
                buf[1][i] = (float)right[done + i];
            }
        }
        vorbis_analysis_wrote(&vd, (int)n);
        while (ok && vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (ok && vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                ok = write_pages(f, &os, false);
            }
        }
        if (n == 0)
            break;
        done += n;
    }
    ok = ok && write_pages(f, &os, true);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    if (fclose(f) != 0)
        ok = false;
    if (!ok)
        fprintf(stderr, "musicgen: writing %s failed\n", path.c_str());
    return ok;
}

/* ==== The music ==== */

/* Peak a little under -3 dBFS: Vorbis adds a few tenths of a dB of
 * overshoot when it decodes, and this keeps the result clear of clipping. */
static const double MUSIC_PEAK = 0.68;

static bool make_music(const std::string &path)
{
    Mix m;
    m.dryL.assign(LOOP, 0.0);
    m.dryR.assign(LOOP, 0.0);
    m.sendL.assign(LOOP, 0.0);
    m.sendR.assign(LOOP, 0.0);
    for (int bar = 0; bar < BARS; ++bar)
        perform_bar(m, bar);

    std::vector<double> left(LOOP), right(LOOP);
    add_effects(m, left, right);
    std::vector<double> *channels[2] = { &left, &right };
    normalise(channels, 2, MUSIC_PEAK);
    return write_ogg(path, left, right);
}

/* ==== The chime ==== */

/* Three quick rising bell tones from the tonic chord (A5, C6, F6), with the
 * inharmonic overtones of a struck bar. Under half a second, because the
 * game repeats it once for every row removed. */

static const double CHIME_SECONDS = 0.42;
static const double CHIME_PEAK = 0.708;   /* -3 dBFS */

static std::vector<double> render_chime()
{
    static const struct {
        double at, vel;
        int midi;
    } strikes[] = {
        { 0.000, 0.75, 81 },
        { 0.055, 0.85, 84 },
        { 0.110, 1.00, 89 },
    };
    static const struct {
        double ratio, amp, tau;
    } partials[] = {
        { 1.00, 1.00, 0.140 },
        { 2.00, 0.35, 0.080 },
        { 2.76, 0.25, 0.050 },
        { 5.40, 0.12, 0.025 },
    };
    const long total = (long)(CHIME_SECONDS * RATE);
    const long fade = (long)(0.08 * RATE);
    const double attack = 0.0015 * RATE;
    std::vector<double> out(total, 0.0);
    for (const auto &s : strikes) {
        const long start = (long)(s.at * RATE);
        const double f = note_hz(s.midi);
        for (const auto &p : partials) {
            const double k = decay_per_sample(p.tau);
            double env = s.vel * p.amp, phase = 0.0;
            for (long i = start; i < total; ++i) {
                const long t = i - start;
                out[i] += (t < attack ? t / attack : 1.0) * env * sin_turns(phase);
                phase += f * p.ratio / RATE;
                phase -= std::floor(phase);
                env *= k;
            }
        }
    }
    /* The last tone has not quite died away; bring it smoothly to nothing. */
    for (long i = total - fade; i < total; ++i) {
        const double x = (double)(i - (total - fade)) / fade;
        out[i] *= 1.0 - x * x * (3.0 - 2.0 * x);
    }
    std::vector<double> *channels[1] = { &out };
    normalise(channels, 1, CHIME_PEAK);
    return out;
}

static void put_le(std::vector<unsigned char> &b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back((unsigned char)(v >> (8 * i)));
}

/* Mono 16-bit PCM with the plain 44-byte RIFF header. */
static bool write_wav(const std::string &path, const std::vector<double> &samples)
{
    const uint32_t dataBytes = (uint32_t)samples.size() * 2;
    std::vector<unsigned char> b;
    b.insert(b.end(), { 'R', 'I', 'F', 'F' });
    put_le(b, 36 + dataBytes, 4);
    b.insert(b.end(), { 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ' });
    put_le(b, 16, 4);          /* format chunk size */
    put_le(b, 1, 2);           /* PCM */
    put_le(b, 1, 2);           /* one channel */
    put_le(b, RATE, 4);
    put_le(b, RATE * 2, 4);    /* bytes a second */
    put_le(b, 2, 2);           /* bytes a frame */
    put_le(b, 16, 2);          /* bits a sample */
    b.insert(b.end(), { 'd', 'a', 't', 'a' });
    put_le(b, dataBytes, 4);
    for (double v : samples) {
        double scaled = std::floor(v * 32767.0 + 0.5);
        scaled = scaled > 32767.0 ? 32767.0 : scaled < -32768.0 ? -32768.0 : scaled;
        put_le(b, (uint32_t)(int32_t)scaled, 2);
    }

    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "musicgen: cannot write %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    if (fclose(f) != 0)
        ok = false;
    if (!ok)
        fprintf(stderr, "musicgen: writing %s failed\n", path.c_str());
    return ok;
}

/* ==== Main ==== */

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: musicgen <root>\n"
                        "writes <root>/sound/block.ogg and <root>/sound/bonus.wav\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/sound";
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "musicgen: cannot make %s: %s\n", dir.c_str(), strerror(errno));
        return 1;
    }
    if (!make_music(dir + "/block.ogg"))
        return 1;
    if (!write_wav(dir + "/bonus.wav", render_chime()))
        return 1;
    return 0;
}
