#pragma once
// The built-in DICOM reader: a compact parser for the file meta information,
// implicit and explicit value representations in both byte orders, sequences
// and RLE-compressed pixel data, which turns the first image of a file into
// one 16-bit value per sample. JPEG-compressed files are recognised and
// refused. Everything it has to say goes to the DICOM log (dicom_log.h).

#include <cstddef>
#include <cstdint>
#include <vector>

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

}  // namespace vistrel
