#pragma once
// TIFF files through libtiff: the deep-grey reader tried first for ".tif"
// names, the import of every other TIFF picture (indices kept, colour to
// grey) and the writer of 1-, 4- and 8-bit images.

#include <cstddef>
#include <string>

#include "core/image.h"

namespace vistrel {

// Reads a 9..16-bit TIFF: one sample per pixel (grey or palette) is kept as
// it is stored, RGB pixels become one grey sample through ToGrey(colourMode).
// Compressed files are read whenever libtiff has their codec. Signed samples
// are moved up by half their range and the image's valueOffset says so, so
// true values stay right. Returns 1 on success; 0 with an empty image when
// the file is not such a TIFF (the caller then tries ImportRaster).
int ReadTiff(CMImage& image, const std::string& path, int colourMode);

// Reads the TIFF files ReadTiff leaves: 1-, 2-, 4- and 8-bit grey or palette
// pictures keep their stored values (palette indices), 2-bit ones in a 4-bit
// raster; colour pictures become an 8-bit image through ToGrey(colourMode).
// 1 on success, 0 with an empty image otherwise.
int ImportTiff(CMImage& image, const std::string& path, int colourMode);

// Writes a 1-, 4- or 8-bit image as an uncompressed min-is-black TIFF (the
// samples are read back unchanged as the palette indices of a grey ramp).
// False for other depths or a failed write (reported by WriteFileAtomically).
bool WriteTiff(const CMImage& image, const std::string& path);

// True when the bytes start like a TIFF or BigTIFF file.
bool HasTiffSignature(const unsigned char* bytes, std::size_t count);

}  // namespace vistrel
