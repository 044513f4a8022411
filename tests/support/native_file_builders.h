#pragma once
// Fixtures built without the library under test: PGX and PGM bytes, an
// independent PGX reader, and images filled from sample lists or patterns.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image.h"

namespace vistrel::testsupport {

// A PGX file: header line "PG <order> <depth> <width> <height>", then
// `comments` as given, then the samples (one byte each up to 8 bits, else two
// in the stated order: "LM" low byte first, "ML" high byte first).
std::string PgxBytes(const std::string& order, int depth, int width, int height,
                     const std::vector<uint16_t>& samples, const std::string& comments = "");

// An 8-bit binary PGM file (P5, maxval 255).
std::string PgmBytes(int width, int height, const std::vector<uint8_t>& samples);

// A PGX file's header fields and samples, read independently of the library.
struct CPgxFile {
    std::string order;
    int depth = 0, width = 0, height = 0;
    std::vector<uint16_t> samples;  // empty when the file is not a complete PGX
};
CPgxFile ReadPgx(const std::filesystem::path& path);

// Fills `image` with `values` row by row; the height follows from their count.
// The raster is zero-filled first unless zeroFill is 0 (padding bits stay undefined).
void FillImage(CMImage& image, int32_t width, int depth, const std::vector<int32_t>& values,
               uint32_t zeroFill = 1);
// A zero-filled image.
CMImage ZeroedImage(int32_t width, int32_t height, int depth);
// Every sample of the image row by row, as unsigned words.
std::vector<int32_t> ValuesOf(const CMImageBase& image);
// Reproducible uniform samples within 0..maxValue (std::mt19937 from `seed`).
void FillRandom(CMImageBase& image, unsigned seed);
// A 12-bit horizontal ramp: sample = x * 4095 / (width - 1) on every row.
CMImage RampImage(int width, int height);

}  // namespace vistrel::testsupport
