#pragma once
// Pictures that are neither native files nor DICOM: TIFF, BMP, JPEG, GIF and
// PNG. Palette pictures give their indices as samples, colour pictures become
// grey through ToGrey with the colour mode.

#include <string>

#include "core/image.h"

namespace vistrel {

// Reads a picture whatever its name says, judged by its first bytes: GIF
// through giflib, TIFF through libtiff (ImportTiff), everything else through
// the toolkit's image reader (BMP, JPEG, PNG ...). 1-bit pictures give 1-bit
// images, palette pictures of up to 4 bits per pixel 4-bit ones, other palette
// and 8-bit grey pictures 8-bit ones; 16-bit grey PNG keeps its 16-bit
// samples; colour pictures become 8-bit grey through ToGrey(colourMode).
// 1 on success, 0 with an empty image otherwise.
int ImportRaster(CMImage& image, const std::string& path, int colourMode);

// Writes a 1-, 4- or 8-bit image with its samples as palette indices (grey
// ramp of 2^depth entries), in the format the extension names: GIF (giflib),
// TIFF (libtiff), BMP, PNG, JPEG and whatever else the toolkit can write.
// Written atomically; 1 on success, 0 otherwise (nothing is written for
// other depths or unknown formats).
int ExportRaster(const CMImage& image, const std::string& path);

}  // namespace vistrel
