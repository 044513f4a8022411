#pragma once
// GIF pictures through giflib, which (unlike the toolkit's reader) hands out
// the palette indices themselves.

#include <string>

#include "core/image.h"

namespace vistrel {

// Reads the first picture of a GIF file as an 8-bit image of its palette
// indices, placed on the logical screen (pixels outside the picture get the
// background index). 1 on success, 0 with an empty image otherwise.
int ImportGif(CMImage& image, const std::string& path);

// Writes a 1-, 4- or 8-bit image as a GIF whose indices are the samples, with
// a grey ramp of 2^depth entries as its colour table. False for other depths,
// sizes beyond 65535 or a failed write.
bool WriteGif(const CMImage& image, const std::string& path);

// True when the bytes start like a GIF file.
bool HasGifSignature(const unsigned char* bytes, std::size_t count);

}  // namespace vistrel
