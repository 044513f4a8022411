// The native image files (PGX, PGM, RAW) and the dispatchers that choose a
// reader or writer from a file name's extension.

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/dicom_load.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/raster_io.h"
#include "core/text.h"
#include "core/tiff_io.h"

namespace vistrel {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path) {
    return FilePtr(std::fopen(path.c_str(), "rb"));
}

// Length of an open file in bytes; -1 when it cannot be told (pipes, errors).
std::int64_t FileLength(std::FILE* file) {
    const off_t here = ftello(file);
    if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t length = ftello(file);
    if (fseeko(file, here, SEEK_SET) != 0) return -1;
    return length;
}

// Bytes of a width x height raster at depth, or -1 when the size is not
// representable or larger than any image we accept. Checked before anything
// is allocated, so a corrupt header cannot make us ask for terabytes.
std::int64_t RasterBytes(std::int64_t width, std::int64_t height, int depth) {
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return -1;
    const std::int64_t rowBytes = RowBytesFor(static_cast<int32_t>(width), depth);
    if (rowBytes <= 0 || rowBytes > kMaxImageBytes / height) return -1;
    return rowBytes * height;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads up to `count` decimal integers from [pos, end), each optionally signed
// and preceded by white space, the way "%d %d %d" would. Stops at the first
// token that is not a number or does not fit in 32 bits. Returns how many were read.
int ScanIntegers(const char* pos, const char* end, int count, std::int64_t* values) {
    int found = 0;
    while (found < count) {
        while (pos < end && IsSpace(*pos)) ++pos;
        bool negative = false;
        if (pos < end && (*pos == '+' || *pos == '-')) {
            negative = *pos == '-';
            ++pos;
        }
        if (pos >= end || !std::isdigit(static_cast<unsigned char>(*pos))) break;
        std::int64_t value = 0;
        while (pos < end && std::isdigit(static_cast<unsigned char>(*pos))) {
            value = value * 10 + (*pos - '0');
            if (value > INT32_MAX) return found;
            ++pos;
        }
        values[found++] = negative ? -value : value;
    }
    return found;
}

// Skips through the next newline; false at the end of the file.
bool SkipLine(std::FILE* file) {
    for (;;) {
        const int c = std::fgetc(file);
        if (c == EOF) return false;
        if (c == '\n') return true;
    }
}

// Appends the "#" comment lines at the file position to `comments`, one line
// each, and leaves the file at the first byte that is not a comment. Nothing
// at or beyond `limit` (a file offset; -1 for none) is taken as a comment. False
// when the file ends inside a comment.
bool ReadCommentLines(std::FILE* file, std::int64_t limit, std::string& comments) {
    std::int64_t pos = ftello(file);
    const auto more = [&] { return limit < 0 || pos < limit; };
    while (more()) {
        const int first = std::fgetc(file);
        if (first == EOF) return true;
        ++pos;
        if (first != '#') {
            std::ungetc(first, file);
            return true;
        }
        for (; more(); ++pos) {
            const int c = std::fgetc(file);
            if (c == EOF) return false;
            if (c == '\n') {
                ++pos;
                break;
            }
            comments.push_back(static_cast<char>(c));
        }
        comments.push_back('\n');
    }
    return true;
}

void SwapSampleBytes(std::uint16_t* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = __builtin_bswap16(samples[i]);
    }
}

// Reads `bytes` bytes at `offset` into a fresh width x height raster of
// `image`. Fails (leaving the image empty) when the file does not hold them.
bool ReadRaster(std::FILE* file, std::int64_t offset, CMImage& image, int32_t width, int32_t height,
                int depth) {
    if (!image.Create(width, height, depth, 0)) return false;
    const std::size_t bytes = image.ByteCount();
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        std::fread(image.data, 1, bytes, file) != bytes) {
        image.Free();
        return false;
    }
    image.valueOffset = 0;
    return true;
}

// Number of bits needed to hold value (value > 0).
int BitsFor(std::int64_t value) {
    int bits = 0;
    while (value > 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

// ---------------------------------------------------------------------------
// Formats that belong to other readers and writers (DICOM, TIFF, pictures
// through the imaging library). They are not available yet; these say so
// instead of failing silently, and are the only place to change when they are.

int OpenDicomFile(CMImage& image, const std::string& path, int colourMode) {
    return LoadDicom(image, path, colourMode);
}

int OpenTiffOrRaster(CMImage& image, const std::string& path, int colourMode) {
    if (ReadTiff(image, path, colourMode)) return 1;
    return ImportRaster(image, path, colourMode);
}

int OpenRasterPicture(CMImage& image, const std::string& path, int colourMode) {
    return ImportRaster(image, path, colourMode);
}

int SaveDicomFile(const CMImage& image, const std::string& path) {
    return SaveDicom(image, path);
}

int SaveRasterPicture(const CMImage& image, const std::string& path) {
    return ExportRaster(image, path);
}
// ---------------------------------------------------------------------------

}  // namespace

// Readers are chosen on three letters ("x.TIFF" reads as "tif"), and a name
// without a dot is its own key, so this is not plain ExtensionOf.
std::string ExtensionKey(const std::string& path) {
    const std::string name = FileNameOf(path);
    const bool dotted = name.find('.') != std::string::npos;
    return ToLower((dotted ? ExtensionOf(name) : name).substr(0, 3));
}

namespace {
// A fixed buffer: a reason costs no heap, so reporting one cannot fail or
// show up as memory kept by a failed open.
thread_local char openFailure[256];
}  // namespace

std::string DescribeUnreadableFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? "The file was not found."
                                                   : "The file cannot be read.";
    }
    if (S_ISDIR(info.st_mode)) return "It is a folder, not a file.";
    if (access(path.c_str(), R_OK) != 0) return "The file cannot be read.";
    if (info.st_size == 0) return "The file is empty.";
    return "The file is not an image this program can read.";
}

std::string LastOpenFailure() {
    return openFailure;
}
void SetOpenFailure(const std::string& reason) {
    std::snprintf(openFailure, sizeof openFailure, "%s", reason.c_str());
}
void ClearOpenFailure() {
    openFailure[0] = '\0';
}

int CMImage::Open(const std::string& path, std::string& description, int colourMode,
                  const RawParamsFn& rawParams) {
    ClearOpenFailure();
    const int result = OpenByExtension(path, description, colourMode, rawParams);
    if (!result && openFailure[0] == '\0') SetOpenFailure(DescribeUnreadableFile(path));
    return result;
}

int CMImage::OpenByExtension(const std::string& path, std::string& description, int colourMode,
                             const RawParamsFn& rawParams) {
    Free();
    const std::string key = ExtensionKey(path);
    if (key == "raw" || key == "1") {
        if (!rawParams) {
            messages().show(
                "A RAW file can only be opened when its width, height and depth are given: " +
                path);
            return 0;
        }
        CRawParams params;
        if (!rawParams(path, params)) return 0;
        return ReadRaw(path, params.width, params.height, params.depth, params.msbAligned);
    }
    if (key == "pgm") return ReadPgm(path, description);
    if (key == "pgx") return ReadPgx(path, description);
    if (key == "dcm") return OpenDicomFile(*this, path, colourMode);
    if (key == "tif") return OpenTiffOrRaster(*this, path, colourMode);
    return OpenRasterPicture(*this, path, colourMode);
}

int CMImage::Save(bool byteOrderLM, const std::string& path) const {
    if (!IsValid()) return 0;
    const std::string key = ExtensionKey(path);
    if (key == "raw") return WriteRaw(path);
    if (key == "pgm") return WritePgm(path);
    if (key == "pgx") return WritePgx(byteOrderLM, path);
    if (key == "dcm") return SaveDicomFile(*this, path);
    if (depth >= 9) {
        messages().show(
            "Images with 2 byte greyscale depth cannot be saved as other than PGX or RAW files");
        return 0;
    }
    if (key == "gif" && depth != 8) {
        messages().show("Only 8 bit images can be saved as GIF file.");
        return 0;
    }
    return SaveRasterPicture(*this, path);
}

int CMImage::ReadPgx(const std::string& path, std::string& description) {
    Free();
    FilePtr file = OpenForReading(path);
    if (!file) return 0;

    char magic[2];
    if (std::fread(magic, 1, 2, file.get()) != 2 || magic[0] != 'P' || magic[1] != 'G') return 0;

    char line[256];
    const std::size_t got = std::fread(line, 1, sizeof line, file.get());
    const char* end = static_cast<const char*>(std::memchr(line, '\n', got));
    if (!end) return 0;

    const char* pos = line;
    while (pos < end && IsBlank(*pos)) ++pos;
    if (end - pos < 2) return 0;
    const bool bigEndian = pos[0] == 'M' && pos[1] == 'L';
    if (!bigEndian && !(pos[0] == 'L' && pos[1] == 'M')) return 0;
    pos += 2;
    while (pos < end && IsBlank(*pos)) ++pos;
    if (pos < end && *pos == '+') {
        ++pos;
    } else if (pos < end && *pos == '-') {
        messages().show("Image pixel is signed in the PGX image file header");
        return 0;
    }
    while (pos < end && IsBlank(*pos)) ++pos;

    std::int64_t values[3];
    if (ScanIntegers(pos, end, 3, values) != 3 || values[0] < 1 || values[0] > 32 ||
        values[1] < 1 || values[2] < 1) {
        messages().show(
            "Cannot find valid bit-depth, width and/or height specifiers in the PGX image file");
        return 0;
    }
    const int fileDepth = static_cast<int>(values[0]);
    if (fileDepth < 8 || fileDepth > 16) {
        messages().show("Not supported such a bit-depth");
        return 0;
    }
    const std::int64_t dataBytes = RasterBytes(values[1], values[2], fileDepth);
    if (dataBytes < 0) return 0;

    // The samples are the last bytes of the file; whatever lies between the
    // header line and them is skipped, but they must not overlap the header.
    const std::int64_t lineEnd = 2 + (end - line) + 1;
    const std::int64_t length = FileLength(file.get());
    if (length < 0 || length - lineEnd < dataBytes) return 0;
    const std::int64_t dataStart = length - dataBytes;

    if (fseeko(file.get(), 0, SEEK_SET) != 0) return 0;
    if (!SkipLine(file.get())) {
        messages().show("Unexpected end of file PGX - header");
        return 0;
    }
    // Comment lines can only lie before the samples: a first sample that
    // happens to be the byte "#" is not a comment.
    std::string comments;
    ReadCommentLines(file.get(), dataStart, comments);

    if (!ReadRaster(file.get(), dataStart, *this, static_cast<int32_t>(values[1]),
                    static_cast<int32_t>(values[2]), fileDepth)) {
        return 0;
    }
    if (bigEndian && depth > 8) {
        SwapSampleBytes(reinterpret_cast<std::uint16_t*>(data), ByteCount() / 2);
    }
    description += comments;
    return 1;
}

int CMImage::ReadPgm(const std::string& path, std::string& description) {
    Free();
    FilePtr file = OpenForReading(path);
    if (!file) return 0;

    char magic[2];
    if (std::fread(magic, 1, 2, file.get()) != 2) return 0;
    if ((magic[0] != 'P' && magic[0] != 'p') || magic[1] < '1' || magic[1] > '6') return 0;
    if (magic[1] == '3' || magic[1] == '6') return 0;
    const bool bitmap = magic[1] == '1' || magic[1] == '4';

    if (fseeko(file.get(), 0, SEEK_SET) != 0) return 0;
    if (!SkipLine(file.get())) {
        messages().show("Unexpected end of file PGM - header");
        return 0;
    }
    std::string comments;
    if (!ReadCommentLines(file.get(), -1, comments)) {
        messages().show("Unexpected end of file PGM - header");
        return 0;
    }

    const off_t sizeLine = ftello(file.get());
    char text[256];
    const std::size_t got = std::fread(text, 1, sizeof text, file.get());
    if (sizeLine < 0 || !std::memchr(text, '\n', got)) return 0;

    const int wanted = bitmap ? 2 : 3;
    std::int64_t values[3] = {0, 0, 0};
    if (ScanIntegers(text, text + got, wanted, values) != wanted || values[0] < 1 ||
        values[1] < 1 || values[2] > 65535) {
        messages().show(
            "Cannot find valid bit-depth, width and/or height specifiers in the PGM image file");
        return 0;
    }
    // A maximum value above 255 means two big-endian bytes per sample; reading
    // them as single bytes would give a picture of the wrong size and values.
    const int fileDepth = bitmap ? 1 : (values[2] > 255 ? BitsFor(values[2]) : 8);
    const std::int64_t dataBytes = RasterBytes(values[0], values[1], fileDepth);
    if (dataBytes < 0) return 0;

    if (fseeko(file.get(), sizeLine, SEEK_SET) != 0) return 0;
    for (int lines = bitmap ? 1 : 2; lines > 0; --lines) {
        if (!SkipLine(file.get())) {
            messages().show("Unexpected end of file PGM - header");
            return 0;
        }
    }
    const std::int64_t dataStart = ftello(file.get());
    const std::int64_t length = FileLength(file.get());
    if (dataStart < 0 || length < 0 || length - dataStart < dataBytes) return 0;

    if (!ReadRaster(file.get(), dataStart, *this, static_cast<int32_t>(values[0]),
                    static_cast<int32_t>(values[1]), fileDepth)) {
        return 0;
    }
    if (depth > 8) SwapSampleBytes(reinterpret_cast<std::uint16_t*>(data), ByteCount() / 2);
    description += comments;
    return 1;
}

int CMImage::ReadRaw(const std::string& path, int32_t rawWidth, int32_t rawHeight, int rawDepth,
                     bool msbAligned) {
    Free();
    const std::int64_t dataBytes = RasterBytes(rawWidth, rawHeight, rawDepth);
    if (dataBytes < 0) return 0;
    FilePtr file = OpenForReading(path);
    if (!file) return 0;
    const std::int64_t length = FileLength(file.get());
    if (length < dataBytes) return 0;
    if (!ReadRaster(file.get(), 0, *this, rawWidth, rawHeight, rawDepth)) return 0;
    if (msbAligned && (depth == 12 || depth == 14)) ShiftSamples(1);
    return 1;
}

int CMImage::WritePgx(bool byteOrderLM, const std::string& path) const {
    if (!IsValid()) return 0;
    // PGX holds one byte or one word per sample; a packed 1- or 4-bit raster
    // written under its header could never be read back.
    if (depth < 8) {
        messages().show("Only images of 8 to 16 bits can be saved as PGX files.");
        return 0;
    }
    const bool swap = !byteOrderLM && depth > 8;
    return WriteFileAtomically(
               path,
               [&](std::FILE* file) {
                   if (std::fprintf(file, "PG %s %c%d %d %d\n", byteOrderLM ? "LM" : "ML", ' ',
                                    int{depth}, width, height) < 0) {
                       return false;
                   }
                   if (!swap) return std::fwrite(data, 1, ByteCount(), file) == ByteCount();
                   // The image in memory keeps its byte order: swap a copy of each row.
                   std::vector<std::uint16_t> row(static_cast<std::size_t>(width));
                   for (int32_t y = 0; y < height; ++y) {
                       std::memcpy(row.data(), Row(y), row.size() * 2);
                       SwapSampleBytes(row.data(), row.size());
                       if (std::fwrite(row.data(), 2, row.size(), file) != row.size()) return false;
                   }
                   return true;
               })
               ? 1
               : 0;
}

int CMImage::WritePgm(const std::string& path) const {
    if (!IsValid() || depth > 8) return 0;
    if (depth == 4) {
        messages().show("4 bit depth image cannot be saved as a Portable Gary Map");
        return 0;
    }
    return WriteFileAtomically(
               path,
               [&](std::FILE* file) {
                   const int written = depth == 1
                                           ? std::fprintf(file, "P1\n%d %d\n", width, height)
                                           : std::fprintf(file, "P5\n%d %d\n255\n", width, height);
                   return written >= 0 && std::fwrite(data, 1, ByteCount(), file) == ByteCount();
               })
               ? 1
               : 0;
}

int CMImage::WriteRaw(const std::string& path) const {
    if (!IsValid()) return 0;
    return WriteFileAtomically(path,
                               [&](std::FILE* file) {
                                   return std::fwrite(data, 1, ByteCount(), file) == ByteCount();
                               })
               ? 1
               : 0;
}

}  // namespace vistrel
