#pragma once
// The built-in DICOM reader: a compact parser for the file meta information,
// implicit and explicit value representations in both byte orders, sequences
// and RLE-compressed pixel data, which turns the first image of a file into
// one 16-bit value per sample. JPEG-compressed files are recognised and
// refused. Everything it has to say goes to the DICOM log (dicom_log.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"

namespace vistrel {

// One image of a file as the reader returns it.
struct DicomImage {
    // Set for colour images: `samples` then holds red, green, blue triples of
    // 8-bit values, one triple per pixel.
    bool colour = false;
    uint16_t frames = 0;  // frames in the file; `samples` holds the first one
    uint16_t width = 0;
    uint16_t height = 0;
    // width * height grey samples (three per pixel for colour), rows top first.
    // Signed data come shifted so that their smallest value is 0.
    std::vector<uint16_t> samples;
};

// dicom_read results.
enum DicomReadResult {
    kDicomOk = 0,
    kDicomNoFileName = -1,
    kDicomArgumentMissing = -2,
    kDicomCannotOpen = -3,  // also a file too short to be opened as DICOM
    kDicomNoImages = -4,
};

// Reads the first image of a DICOM file into *images (replacing its contents)
// and sets *count to the number of images returned. With `parametric` set (as
// the workstation always passes) signed samples are shifted to start at 0;
// without it they keep their two's-complement 16-bit words.
int dicom_read(const char* path, std::vector<DicomImage>* images, int* count, int parametric);

// The same on a file already in memory (the fuzzer and the tests use it).
int dicom_read_memory(const uint8_t* data, std::size_t size, std::vector<DicomImage>* images,
                      int* count, int parametric);

// What a walk over every element of a file says about its structure, checked
// before the file is handed to code that trusts it (a DICOM engine).
enum class DicomDefect {
    None,
    NotDicom,        // too short, or no element could be read
    Truncated,       // an element, item or the meta group runs past the end
    PixelDataShort,  // native pixel data hold fewer bytes than the image needs
    DeepSequences,   // sequences nested beyond the reader's limit
    DamagedMeta,     // the file meta group is unreadable
    BadElement,      // an explicit element whose value representation does not exist
    BadImage,        // samples per pixel or bits allocated no image can have
    NoImage,         // no pixel data at the top level
};

struct DicomStructure {
    DicomDefect defect = DicomDefect::NotDicom;
    std::string transferSyntax;  // as found in (0002,0010), "" without one
    bool encapsulated = false;   // compressed pixel data: their size is not checked
    bool deflated = false;       // deflated data set: only the meta group is walked
    uint32_t rows = 0, columns = 0, frames = 1, samplesPerPixel = 1, bitsAllocated = 0;
    CDicomAttributes attributes;  // from the top-level data set
};

// Walks the whole file: element and item lengths within the file, sequence
// depth within the reader's limit, a meta group that can be read, and for
// uncompressed syntaxes pixel data of at least rows x columns x samples x
// bits allocated x frames. Says nothing to the log.
DicomStructure CheckDicomStructure(const uint8_t* data, std::size_t size);

// A sentence for the user saying what is wrong; "" for DicomDefect::None.
std::string DescribeDicomDefect(DicomDefect defect);

}  // namespace vistrel
