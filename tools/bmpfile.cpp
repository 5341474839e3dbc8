#include "bmpfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

static void put16(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}

static void put32(std::vector<uint8_t> &b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

bool writePalettedBmp(const char *tool, const std::string &path, int w, int h,
                      const std::vector<uint32_t> &px)
{
    std::vector<uint32_t> palette(px);
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
    if (palette.size() > 256) {
        fprintf(stderr, "%s: %s has %zu colours, a palette holds 256\n", tool, path.c_str(),
                palette.size());
        return false;
    }
    uint32_t rowBytes = ((uint32_t)w + 3) / 4 * 4;
    uint32_t data = rowBytes * (uint32_t)h;
    uint32_t offset = 54 + 4 * (uint32_t)palette.size();
    std::vector<uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    put32(b, offset + data);  /* file size */
    put32(b, 0);              /* reserved */
    put32(b, offset);         /* offset of the pixels */
    put32(b, 40);             /* BITMAPINFOHEADER */
    put32(b, (uint32_t)w);
    put32(b, (uint32_t)h);    /* positive: bottom-up */
    put16(b, 1);              /* planes */
    put16(b, 8);              /* bits a pixel */
    put32(b, 0);              /* BI_RGB */
    put32(b, data);
    put32(b, 2835);           /* 72 dpi, in pixels a metre, both ways */
    put32(b, 2835);
    put32(b, (uint32_t)palette.size());  /* colours in the table */
    put32(b, 0);              /* all of them matter */
    for (uint32_t p : palette) {
        b.push_back((uint8_t)p);
        b.push_back((uint8_t)(p >> 8));
        b.push_back((uint8_t)(p >> 16));
        b.push_back(0);
    }
    for (int y = h - 1; y >= 0; y--) {
        for (int x = 0; x < w; x++) {
            uint32_t p = px[(size_t)y * w + x];
            b.push_back((uint8_t)(std::lower_bound(palette.begin(), palette.end(), p) -
                                  palette.begin()));
        }
        for (uint32_t x = (uint32_t)w; x < rowBytes; x++)
            b.push_back(0);
    }

    FILE *out = fopen(path.c_str(), "wb");
    if (!out) {
        fprintf(stderr, "%s: can't write %s: %s\n", tool, path.c_str(), strerror(errno));
        return false;
    }
    bool ok = fwrite(b.data(), 1, b.size(), out) == b.size();
    ok = fclose(out) == 0 && ok;
    if (!ok)
        fprintf(stderr, "%s: writing %s failed\n", tool, path.c_str());
    return ok;
}
