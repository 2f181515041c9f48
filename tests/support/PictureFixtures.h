// Pictures built in memory for the tests, the fuzz seeds and the benchmarks: PCX headers with any
// field a hostile file could hold, and small JPEGs that libjpeg writes in any colour space.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

// A 128-byte PCX header (version 5, run-length encoded); the 16-colour palette is left black.
std::string PcxHeader(int bitsPerPixel, int planes, int xmin, int ymin, int xmax, int ymax,
                      int bytesPerLine);

// A 16 × 16 JPEG in which every pixel has the given components (one per component of the
// colour space), written by libjpeg at the given quality.
std::string FlatJpeg(J_COLOR_SPACE space, const std::vector<JSAMPLE>& pixel, int quality = 100,
                     bool progressive = false);
