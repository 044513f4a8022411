#pragma once
// RLE-compressed DICOM pixel data (the RLE compression of DICOM PS3.5 Annex G):
// a 64-byte header with the number of segments and their offsets, then one
// PackBits-coded segment per byte plane.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel {

// Decodes one RLE fragment (one frame) into `planes` byte planes of
// `planeSize` bytes each, laid one after another in `out` (plane 0 first: for
// 16-bit samples the most significant bytes, for RGB the red samples). The
// fragment must hold exactly `planes` segments (1..4). Returns false, with
// the reason in the DICOM log, when the fragment is not a complete RLE frame
// of that shape; `out` is then empty.
bool mdc_dicom_decomp_rle(const uint8_t* fragment, std::size_t length, int planes,
                          std::size_t planeSize, std::vector<uint8_t>& out);

}  // namespace vistrel
