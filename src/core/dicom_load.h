#pragma once
// Reading and saving DICOM files for the open and save dispatchers: through a
// loaded DICOM engine plug-in when there is one, otherwise (reading only) with
// the built-in reader.

#include <string>

#include "core/image.h"

namespace vistrel {

// Empties the image, then reads the file: with every loaded engine in turn
// (the last one's result counts) or, with none, the first image of the file
// through the built-in reader. Before an engine sees the file its structure
// is checked (CheckDicomStructure) and a broken file is refused; an engine
// marked isolated runs in a child process, whose death or overrun is a
// plain failure. Colour from an engine becomes 8-bit grey through ToGrey
// with colourMode. The built-in path derives the depth from the bits the
// samples use: 9..16 bits keep 16-bit words and get value offset 1024; fewer
// give an 8-bit image with offset 0. Pixel data cut short are refused on
// both paths. 1 on success, with dicomAttributes filled from the header; 0 on
// failure (the image is then empty and LastOpenFailure() says why).
int LoadDicom(CMImage& image, const std::string& path, int colourMode = 0);

// Saves through every loaded engine that can save, each writing to a
// temporary file beside `path` that replaces `path` once written. 1 when a
// file was written; 0 with a message when there is no engine or none wrote.
int SaveDicom(const CMImage& image, const std::string& path);

}  // namespace vistrel
