/* Fuzzer: InitBredOfset on any contents of its two files.
 *
 * The input is split in two: its first two bytes (little-endian) give the
 * length of the width file, the rest after it is the offset file. Both go
 * to files in a scratch folder, and the tables that InitBredOfset fills are
 * held against a reading of the same bytes by the rule the game follows:
 * one number a line as atoi reads it; a width line of more than 4
 * characters or an offset line of more than 2 ends that file; so does its
 * end; entries past the last line read keep what they held. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "main.h"

static std::string folder, bredPath, ofsetPath;

static void removeFiles()
{
    unlink(bredPath.c_str());
    unlink(ofsetPath.c_str());
    rmdir(folder.c_str());
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    /* InitBredOfset names each width file on stdout; that is no news here. */
    if (!freopen("/dev/null", "w", stdout))
        abort();
    const char *tmp = getenv("TMPDIR");
    folder = std::string(tmp && *tmp ? tmp : P_tmpdir) + "/metrics.XXXXXX";
    if (!mkdtemp(&folder[0]))
        abort();
    bredPath = folder + "/bred.txt";
    ofsetPath = folder + "/ofset.txt";
    atexit(removeFiles);
    return 0;
}

static void writeFile(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(data, 1, size, f) != size || fclose(f) != 0)
        abort();
}

/* The table as the game's rule reads it from these bytes: longest is the
 * most characters a line may have. */
static void expectedTable(const uint8_t *data, size_t size, size_t longest, int *table)
{
    size_t at = 0;
    for (int i = 0; i < 256 && at < size; i++) {
        size_t n = 0;
        while (at + n < size && data[at + n] != '\n' && n < longest)
            n++;
        if (n == longest && at + n < size && data[at + n] != '\n')
            return;   /* a line too long */
        table[i] = atoi(std::string((const char *)data + at, n).c_str());
        at += n + (at + n < size);
    }
}

static const int untouched = 0x5A5A5A5A;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t bredSize = (data[0] | (size_t)data[1] << 8) % (size - 1);
    const uint8_t *bredData = data + 2, *ofsetData = data + 2 + bredSize;
    size_t ofsetSize = size - 2 - bredSize;
    writeFile(bredPath, bredData, bredSize);
    writeFile(ofsetPath, ofsetData, ofsetSize);

    int bred[256], ofset[256], wantBred[256], wantOfset[256];
    for (int i = 0; i < 256; i++)
        bred[i] = ofset[i] = wantBred[i] = wantOfset[i] = untouched;
    InitBredOfset(bredPath.c_str(), ofsetPath.c_str(), bred, ofset);
    expectedTable(bredData, bredSize, 4, wantBred);
    expectedTable(ofsetData, ofsetSize, 2, wantOfset);
    if (memcmp(bred, wantBred, sizeof bred) != 0 || memcmp(ofset, wantOfset, sizeof ofset) != 0)
        abort();
    return 0;
}
