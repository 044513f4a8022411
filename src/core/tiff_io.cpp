// TIFF reading and writing through libtiff.

#include "core/tiff_io.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/atomic_file.h"
#include "core/display.h"

namespace vistrel {

namespace {

// libtiff's own allocations (strip buffers, tag arrays) above this are refused,
// so a corrupt directory cannot make it ask for gigabytes.
constexpr tmsize_t kMaxLibtiffAlloc = tmsize_t{512} << 20;
// Largest decoded strip row, tile or band we hold at once.
constexpr std::uint64_t kMaxChunkBytes = std::uint64_t{256} << 20;
// Colour pictures decoded through libtiff's RGBA interface are held whole as
// 32-bit pixels; larger ones are refused.
constexpr std::uint64_t kMaxRgbaPixels = std::uint64_t{64} << 20;

// This layer shows no messages: a file libtiff cannot handle simply fails.
int QuietHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

TIFFOpenOptions* QuietOptions() {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, QuietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, QuietHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibtiffAlloc);
    return options;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr OpenForReading(const std::string& path) {
    TIFFOpenOptions* options = QuietOptions();
    if (!options) return nullptr;
    // "m": read instead of mapping, so a file shortened under us cannot fault.
    TiffPtr tif(TIFFOpenExt(path.c_str(), "rm", options));
    TIFFOpenOptionsFree(options);
    return tif;
}

struct TiffLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerSample = 1;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    std::uint16_t compression = COMPRESSION_NONE;
    bool tiled = false;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;

    bool Grey() const {
        return photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
               photometric == PHOTOMETRIC_PALETTE;
    }
    bool Rgb() const { return photometric == PHOTOMETRIC_RGB && samplesPerPixel >= 3; }
    bool Signed() const { return sampleFormat == SAMPLEFORMAT_INT; }
    // Integer samples; "void" (undefined) samples are taken as unsigned.
    bool IntegerSamples() const {
        return sampleFormat == SAMPLEFORMAT_UINT || sampleFormat == SAMPLEFORMAT_INT ||
               sampleFormat == SAMPLEFORMAT_VOID;
    }
};

bool ReadLayout(TIFF* tif, TiffLayout& layout) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.height) || layout.width == 0 ||
        layout.height == 0) {
        return false;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout.bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &layout.samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &layout.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &layout.sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &layout.compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &layout.photometric)) {
        // Writers that leave it out mean grey or RGB, judging by the samples.
        layout.photometric = layout.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    layout.tiled = TIFFIsTiled(tif) != 0;
    if (layout.tiled && (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &layout.tileWidth) ||
                         !TIFFGetField(tif, TIFFTAG_TILELENGTH, &layout.tileHeight) ||
                         layout.tileWidth == 0 || layout.tileHeight == 0)) {
        return false;
    }
    return layout.samplesPerPixel >= 1 && layout.bitsPerSample >= 1;
}

// Sample `index` of a row of samples of `bits` bits each, packed most
// significant bit first as TIFF stores them (16-bit samples already in host
// order, as libtiff delivers them).
std::uint16_t SampleAt(const std::uint8_t* packed, std::uint64_t index, int bits) {
    if (bits == 8) return packed[index];
    if (bits == 16) {
        std::uint16_t value;
        std::memcpy(&value, packed + 2 * index, 2);
        return value;
    }
    std::uint64_t bit = index * static_cast<std::uint64_t>(bits);
    std::uint32_t value = 0;
    for (int need = bits; need > 0;) {
        const int offset = static_cast<int>(bit & 7);
        const int take = std::min(8 - offset, need);
        const std::uint32_t chunk = (packed[bit >> 3] >> (8 - offset - take)) & ((1u << take) - 1u);
        value = (value << take) | chunk;
        need -= take;
        bit += static_cast<std::uint64_t>(take);
    }
    return static_cast<std::uint16_t>(value);
}

// The first `used` samples of each of `pixels` pixels of spp samples: only
// those are unpacked, so a file claiming thousands of extra samples per pixel
// costs no more than its bytes.
void UnpackPixels(const std::uint8_t* packed, std::uint64_t pixels, std::uint64_t spp, int used,
                  int bits, std::uint16_t* out) {
    for (std::uint64_t x = 0; x < pixels; ++x)
        for (int s = 0; s < used; ++s) out[x * used + s] = SampleAt(packed, x * spp + s, bits);
}

template <typename T>
bool TryResize(std::vector<T>& vector, std::size_t size) {
    try {
        vector.resize(size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Appends rows to `out`, growing it only as rows really decode: a header that
// claims a huge picture over a few bytes of data fails long before its size
// is ever allocated.
bool AppendRows(std::vector<std::uint16_t>& out, const std::uint16_t* rows, std::size_t count) {
    try {
        out.insert(out.end(), rows, rows + count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Reads the first `used` samples of every pixel (used <= samplesPerPixel),
// pixel-interleaved, rows top first, each sample as stored (unsigned, bits
// bits). Strips and tiles, contiguous and separate planes. False on any
// decoding error.
bool ReadSamples(TIFF* tif, const TiffLayout& layout, int used, std::vector<std::uint16_t>& out) {
    out.clear();
    const std::uint64_t width = layout.width;
    const std::uint64_t height = layout.height;
    const int bits = layout.bitsPerSample;
    const bool separate = layout.planar == PLANARCONFIG_SEPARATE && layout.samplesPerPixel > 1;
    const std::uint64_t spp = layout.samplesPerPixel;
    const int planes = separate ? used : 1;
    const std::uint64_t chunkSpp = separate ? 1 : spp;

    std::vector<std::uint16_t> unpacked;
    std::vector<std::uint8_t> raw;
    if (!layout.tiled) {
        const std::uint64_t lineBytes = static_cast<std::uint64_t>(TIFFScanlineSize64(tif));
        if (lineBytes == 0 || lineBytes > kMaxChunkBytes ||
            lineBytes < (width * chunkSpp * static_cast<std::uint64_t>(bits) + 7) / 8 ||
            width * used * 2 > kMaxChunkBytes || !TryResize(raw, lineBytes) ||
            !TryResize(unpacked, width * used)) {
            return false;
        }
        // Each plane is read top to bottom on its own: compressed strips
        // decode only forwards, so alternating planes would restart them row by row.
        std::vector<std::uint16_t> planeData;
        std::vector<std::uint16_t>& target = separate ? planeData : out;
        for (int plane = 0; plane < planes; ++plane) {
            planeData.clear();
            for (std::uint32_t y = 0; y < layout.height; ++y) {
                if (TIFFReadScanline(tif, raw.data(), y, static_cast<std::uint16_t>(plane)) < 0)
                    return false;
                const int wanted = separate ? 1 : used;
                UnpackPixels(raw.data(), width, chunkSpp, wanted, bits, unpacked.data());
                if (!AppendRows(target, unpacked.data(), width * wanted)) return false;
            }
            if (separate) {
                if (plane == 0 && !TryResize(out, width * height * used)) return false;
                for (std::uint64_t i = 0; i < width * height; ++i)
                    out[i * used + plane] = planeData[i];
            }
        }
        return true;
    }

    const std::uint64_t tileBytes = static_cast<std::uint64_t>(TIFFTileSize64(tif));
    const std::uint64_t tileRowBytes = static_cast<std::uint64_t>(TIFFTileRowSize64(tif));
    const std::uint64_t tileWidth = layout.tileWidth;
    const std::uint64_t tileHeight = layout.tileHeight;
    const std::uint64_t bandSamples = width * tileHeight * static_cast<std::uint64_t>(used);
    if (tileBytes == 0 || tileBytes > kMaxChunkBytes || tileRowBytes == 0 ||
        tileRowBytes < (tileWidth * chunkSpp * static_cast<std::uint64_t>(bits) + 7) / 8 ||
        tileRowBytes * tileHeight > tileBytes || bandSamples * 2 > kMaxChunkBytes ||
        tileWidth * used * 2 > kMaxChunkBytes || !TryResize(raw, tileBytes) ||
        !TryResize(unpacked, tileWidth * used)) {
        return false;
    }
    std::vector<std::uint16_t> band;
    if (!TryResize(band, bandSamples)) return false;
    for (std::uint64_t top = 0; top < height; top += tileHeight) {
        const std::uint64_t rows = std::min(tileHeight, height - top);
        for (std::uint64_t left = 0; left < width; left += tileWidth) {
            const std::uint64_t columns = std::min(tileWidth, width - left);
            for (int plane = 0; plane < planes; ++plane) {
                if (TIFFReadTile(tif, raw.data(), static_cast<std::uint32_t>(left),
                                 static_cast<std::uint32_t>(top), 0,
                                 static_cast<std::uint16_t>(plane)) < 0) {
                    return false;
                }
                for (std::uint64_t r = 0; r < rows; ++r) {
                    const int wanted = separate ? 1 : used;
                    UnpackPixels(raw.data() + r * tileRowBytes, columns, chunkSpp, wanted, bits,
                                 unpacked.data());
                    std::uint16_t* target = band.data() + (r * width + left) * used;
                    for (std::uint64_t x = 0; x < columns; ++x) {
                        if (separate) {
                            target[x * used + plane] = unpacked[x];
                        } else {
                            for (int s = 0; s < used; ++s)
                                target[x * used + s] = unpacked[x * used + s];
                        }
                    }
                }
            }
        }
        if (!AppendRows(out, band.data(), rows * width * used)) return false;
    }
    return true;
}

// True when a width x height raster at depth fits the image model's limits.
bool FitsRaster(const TiffLayout& layout, int depth) {
    if (layout.width > static_cast<std::uint32_t>(INT32_MAX) ||
        layout.height > static_cast<std::uint32_t>(INT32_MAX)) {
        return false;
    }
    const std::int64_t rowBytes = RowBytesFor(static_cast<int32_t>(layout.width), depth);
    return rowBytes > 0 && rowBytes <= kMaxImageBytes / static_cast<std::int64_t>(layout.height);
}

// Signed samples are stored moved up by half their range (the sign bit
// flipped), so that the smallest value becomes 0; valueOffset undoes it.
std::uint16_t SignedToStored(std::uint16_t sample, int bits) {
    return static_cast<std::uint16_t>(sample ^ (1u << (bits - 1)));
}

// Fills image (already created, width x height) from grey samples or from RGB
// triples through ToGrey.
void StoreSamples(CMImage& image, const std::vector<std::uint16_t>& samples, int used,
                  bool flipSign, int bits, int colourMode) {
    const std::size_t width = static_cast<std::size_t>(image.width);
    for (int32_t y = 0; y < image.height; ++y) {
        const std::uint16_t* row = samples.data() + static_cast<std::size_t>(y) * width * used;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint16_t* pixel = row + x * used;
            int value;
            if (used >= 3) {
                value = ToGrey(pixel[0], pixel[1], pixel[2], colourMode);
            } else {
                value = flipSign ? SignedToStored(pixel[0], bits) : pixel[0];
            }
            CMImageBase::SetPixelIn(image.data, image.bytesPerRow, image.depth,
                                    static_cast<int32_t>(x), y, value);
        }
    }
}

// 1-, 4- and 8-bit single-sample strips are packed as the image keeps them
// (leftmost pixel in the most significant bits): the rows are copied as they
// are. Fax-compressed pages decode to huge pictures from a few bytes, and
// nothing else would keep up with them.
int ReadPackedRows(CMImage& image, TIFF* tif, const TiffLayout& layout, bool flipSign) {
    const int depth = layout.bitsPerSample;
    const std::int64_t rowBytes = RowBytesFor(static_cast<int32_t>(layout.width), depth);
    if (rowBytes <= 0 || static_cast<std::int64_t>(TIFFScanlineSize64(tif)) != rowBytes) return 0;
    std::vector<std::uint8_t> rows;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(rowBytes));
    try {
        for (std::uint32_t y = 0; y < layout.height; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return 0;
            rows.insert(rows.end(), line.begin(), line.end());
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!image.Create(static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height),
                      depth, 0)) {
        return 0;
    }
    std::memcpy(image.data, rows.data(), image.ByteCount());
    if (flipSign) {
        for (std::size_t i = 0; i < image.ByteCount(); ++i) image.data[i] ^= 0x80;
    }
    image.valueOffset = flipSign ? 128 : 0;
    return 1;
}

// Colour pictures whose samples we do not decode ourselves (YCbCr, CMYK, Lab,
// JPEG-in-TIFF ...): libtiff's RGBA conversion, then ToGrey into 8 bits.
int ImportThroughRgba(CMImage& image, TIFF* tif, const TiffLayout& layout, int colourMode) {
    char reason[1024];
    if (!TIFFRGBAImageOK(tif, reason)) return 0;
    const std::uint64_t pixels = std::uint64_t{layout.width} * layout.height;
    if (pixels > kMaxRgbaPixels || !FitsRaster(layout, 8)) return 0;
    std::unique_ptr<std::uint32_t[]> rgba(new (std::nothrow) std::uint32_t[pixels]);
    if (!rgba) return 0;
    if (!TIFFReadRGBAImageOriented(tif, layout.width, layout.height, rgba.get(),
                                   ORIENTATION_TOPLEFT, 0)) {
        return 0;
    }
    if (!image.Create(static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height), 8,
                      0)) {
        return 0;
    }
    for (int32_t y = 0; y < image.height; ++y) {
        const std::uint32_t* row = rgba.get() + static_cast<std::size_t>(y) * layout.width;
        std::uint8_t* out = image.Row(y);
        for (int32_t x = 0; x < image.width; ++x) {
            out[x] = static_cast<std::uint8_t>(
                ToGrey(TIFFGetR(row[x]), TIFFGetG(row[x]), TIFFGetB(row[x]), colourMode));
        }
    }
    image.valueOffset = 0;
    return 1;
}

// In-memory file for libtiff's writer, so that the finished file can be
// handed to WriteFileAtomically in one piece.
struct MemoryFile {
    std::vector<std::uint8_t> bytes;
    std::uint64_t position = 0;
};

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (size <= 0 || file->position >= file->bytes.size()) return 0;
    const std::uint64_t count = std::min<std::uint64_t>(static_cast<std::uint64_t>(size),
                                                        file->bytes.size() - file->position);
    std::memcpy(buffer, file->bytes.data() + file->position, count);
    file->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemoryWrite(thandle_t handle, void* buffer, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (size <= 0) return 0;
    const std::uint64_t end = file->position + static_cast<std::uint64_t>(size);
    if (end > file->bytes.size() && !TryResize(file->bytes, end)) return -1;
    std::memcpy(file->bytes.data() + file->position, buffer, static_cast<std::size_t>(size));
    file->position = end;
    return size;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = file->position;
    if (whence == SEEK_END) base = file->bytes.size();
    file->position = base + offset;
    return file->position;
}

int MemoryClose(thandle_t) {
    return 0;
}

toff_t MemorySize(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->bytes.size();
}

int MemoryMap(thandle_t, void**, toff_t*) {
    return 0;
}

void MemoryUnmap(thandle_t, void*, toff_t) {}

bool EncodeTiff(const CMImage& image, MemoryFile& memory) {
    TIFFOpenOptions* options = QuietOptions();
    if (!options) return false;
    TiffPtr tif(TIFFClientOpenExt("memory", "w", &memory, MemoryRead, MemoryWrite, MemorySeek,
                                  MemoryClose, MemorySize, MemoryMap, MemoryUnmap, options));
    TIFFOpenOptionsFree(options);
    if (!tif) return false;
    TIFF* t = tif.get();
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width)) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height)) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(image.depth)) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t{1}) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    // libtiff may work on the row it is given: hand it a copy.
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.bytesPerRow));
    for (int32_t y = 0; ok && y < image.height; ++y) {
        std::memcpy(row.data(), image.Row(y), row.size());
        ok = TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(t) == 1;
    tif.reset();
    return ok;
}

}  // namespace

bool HasTiffSignature(const unsigned char* bytes, std::size_t count) {
    if (count < 4) return false;
    const bool little =
        bytes[0] == 'I' && bytes[1] == 'I' && bytes[3] == 0 && (bytes[2] == 42 || bytes[2] == 43);
    const bool big =
        bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && (bytes[3] == 42 || bytes[3] == 43);
    return little || big;
}

int ReadTiff(CMImage& image, const std::string& path, int colourMode) {
    image.Free();
    TiffPtr tif = OpenForReading(path);
    if (!tif) return 0;
    TiffLayout layout;
    if (!ReadLayout(tif.get(), layout)) return 0;
    const int bits = layout.bitsPerSample;
    if (bits < 9 || bits > 16 || !layout.IntegerSamples()) return 0;
    if (!layout.Grey() && !layout.Rgb()) return 0;
    if (layout.Rgb() && layout.Signed()) return 0;
    if (!TIFFIsCODECConfigured(layout.compression) || !FitsRaster(layout, bits)) return 0;

    const int used = layout.Rgb() ? 3 : 1;
    std::vector<std::uint16_t> samples;
    if (!ReadSamples(tif.get(), layout, used, samples)) return 0;
    if (!image.Create(static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height), bits,
                      0)) {
        return 0;
    }
    const bool flipSign = used == 1 && layout.Signed();
    StoreSamples(image, samples, used, flipSign, bits, colourMode);
    image.valueOffset = flipSign ? static_cast<std::uint16_t>(1u << (bits - 1)) : 0;
    return 1;
}

int ImportTiff(CMImage& image, const std::string& path, int colourMode) {
    image.Free();
    TiffPtr tif = OpenForReading(path);
    if (!tif) return 0;
    TiffLayout layout;
    if (!ReadLayout(tif.get(), layout)) return 0;
    const int bits = layout.bitsPerSample;
    if (!layout.IntegerSamples() || !TIFFIsCODECConfigured(layout.compression)) return 0;

    const bool indexed = layout.Grey() && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
    const bool rgb8 = layout.Rgb() && bits == 8 && !layout.Signed();
    if (!indexed && !rgb8) return ImportThroughRgba(image, tif.get(), layout, colourMode);

    const int depth = indexed ? (bits == 1 ? 1 : bits <= 4 ? 4 : 8) : 8;
    if (!FitsRaster(layout, depth)) return 0;
    const bool flipSign = indexed && bits == 8 && layout.Signed();
    if (indexed && bits == depth && layout.samplesPerPixel == 1 && !layout.tiled)
        return ReadPackedRows(image, tif.get(), layout, flipSign);
    const int used = rgb8 ? 3 : 1;
    std::vector<std::uint16_t> samples;
    if (!ReadSamples(tif.get(), layout, used, samples)) return 0;
    if (!image.Create(static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height),
                      depth, 0)) {
        return 0;
    }
    StoreSamples(image, samples, used, flipSign, bits, colourMode);
    image.valueOffset = flipSign ? 128 : 0;
    return 1;
}

bool WriteTiff(const CMImage& image, const std::string& path) {
    if (!image.IsValid() || (image.depth != 1 && image.depth != 4 && image.depth != 8))
        return false;
    MemoryFile memory;
    if (!EncodeTiff(image, memory)) return false;
    return WriteFileAtomically(path, [&](std::FILE* file) {
        return std::fwrite(memory.bytes.data(), 1, memory.bytes.size(), file) ==
               memory.bytes.size();
    });
}

}  // namespace vistrel
