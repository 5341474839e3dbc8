/* bmpfile: the 8-bit paletted BMP files the generators write.
 *
 * SDL 1.2 loads such a file as an 8-bit surface and blits it onto the
 * window through a table, one look-up a pixel, keyed or not; a keyed
 * 32-bit picture would go through its generic keyed blitter at many times
 * the cost. */
#ifndef TUMBRIK_BMPFILE_H
#define TUMBRIK_BMPFILE_H

#include <cstdint>
#include <string>
#include <vector>

/* Write w x h pixels (0xRRGGBB, top row first) to path: 14-byte file
 * header, 40-byte info header, the colour table (each colour of the
 * picture once, ascending, four bytes B, G, R, 0), then one palette index
 * a pixel, bottom row first, rows padded to four bytes. A colour key is
 * thus exactly one entry. More than 256 colours, or a file that can't be
 * written, is said on stderr under the tool's name and returns false. */
bool writePalettedBmp(const char *tool, const std::string &path, int w, int h,
                      const std::vector<uint32_t> &px);

#endif
