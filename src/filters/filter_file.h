#pragma once
// The filter library: four ordered kernel lists (0 noise cleaning, 1 edge
// detection, 2 edge crispening, 3 custom) kept in the text file filters.flt.

#include <array>
#include <string>
#include <vector>

#include "filters/filter.h"

namespace vistrel {

using CFilterLibrary = std::array<std::vector<CFilter>, 4>;

// The four type texts, index = TYPE of the file.
const char* FilterTypeName(int type);

// "%.15f" without trailing zeros after the point, then without a trailing
// point: 1.0 -> "1", 0.25 -> "0.25".
std::string FormatFilterReal(double value);

// The whole library as the file's text; zero-only kernels are left out.
std::string FilterFileText(const CFilterLibrary& library);
// Appends the kernels of a file's text to the library: 0 when the text ends
// cleanly, -1 when a key or row is missing (what was read so far stays).
int ParseFilterFile(const std::string& text, CFilterLibrary& library);

// Reads path into the library (a missing or empty file leaves it unchanged
// and gives 0).
int LoadFilterFile(const std::string& path, CFilterLibrary& library);
// Writes the library atomically; -1 when the file cannot be written.
int SaveFilterFile(const std::string& path, const CFilterLibrary& library);

}  // namespace vistrel
