#pragma once
// Reading and saving DICOM files for the open and save dispatchers: through a
// loaded DICOM engine plug-in when there is one, otherwise (reading only) with
// the built-in reader.

#include <string>

#include "core/image.h"

namespace vistrel {

// Empties the image, then reads the file: with every loaded engine in turn
// (the last one's result counts) or, with none, the first image of the file
// through the built-in reader. The built-in path derives the depth from the
// bits the samples use: 9..16 bits keep 16-bit words and get value offset
// 1024; fewer give an 8-bit image with offset 0. 1 on success, 0 on failure
// (the image is then empty; the reader's reasons are in the DICOM log).
int LoadDicom(CMImage& image, const std::string& path);

// Saves through every loaded engine that can save, each writing to a
// temporary file beside `path` that replaces `path` once written. 1 when a
// file was written; 0 with a message when there is no engine or none wrote.
int SaveDicom(const CMImage& image, const std::string& path);

}  // namespace vistrel
