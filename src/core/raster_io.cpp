// Picture import and export: the toolkit's image reader and writer for BMP,
// JPEG and PNG, giflib for GIF and libtiff for TIFF (see gif_io, tiff_io).

#include "core/raster_io.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/atomic_file.h"
#include "core/display.h"
#include "core/gif_io.h"
#include "core/text.h"
#include "core/tiff_io.h"

namespace vistrel {

namespace {

// Enough for the longest BMP header and the first two entries of its palette.
constexpr std::size_t kSignatureBytes = 256;

// The first bytes of a file; fewer when it is shorter, none when it cannot be read.
std::vector<unsigned char> Signature(const std::string& path) {
    std::vector<unsigned char> bytes(kSignatureBytes);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {};
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

std::uint32_t LittleEndian16(const unsigned char* p) {
    return p[0] | (std::uint32_t{p[1]} << 8);
}
std::uint32_t LittleEndian32(const unsigned char* p) {
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// What the header says about how the picture is stored; the toolkit widens
// 2- and 4-bit indices to 8 bits and turns 16-bit grey with transparency into
// colour, while the image should keep the stored depth.
struct StoredLayout {
    int bits = 0;       // bits per sample (PNG) or per pixel (BMP); 0 when unknown
    bool grey = false;  // a PNG of grey samples (with or without alpha)
    bool deep = false;  // a PNG of 16-bit samples
    // The first two palette entries of a 1-bit BMP, when the header holds them.
    bool hasPalette = false;
    QRgb palette[2] = {0, 0};
};

StoredLayout ReadStoredLayout(const std::vector<unsigned char>& header) {
    StoredLayout layout;
    static const unsigned char png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (header.size() >= 26 && std::memcmp(header.data(), png, sizeof png) == 0 &&
        std::memcmp(header.data() + 12, "IHDR", 4) == 0) {
        layout.bits = header[24];
        layout.grey = header[25] == 0 || header[25] == 4;
        layout.deep = header[24] == 16;
    } else if (header.size() >= 30 && header[0] == 'B' && header[1] == 'M') {
        const std::uint32_t infoSize = LittleEndian32(header.data() + 14);
        // The old OS/2 header keeps its bit count two fields earlier.
        layout.bits = static_cast<int>(LittleEndian16(header.data() + (infoSize == 12 ? 24 : 28)));
        const std::size_t entryBytes = infoSize == 12 ? 3 : 4;
        const std::uint64_t table = 14 + std::uint64_t{infoSize};
        if (layout.bits == 1 && infoSize >= 12 && table + 2 * entryBytes <= header.size()) {
            layout.hasPalette = true;
            for (std::size_t i = 0; i < 2; ++i) {
                const unsigned char* entry = header.data() + table + i * entryBytes;
                layout.palette[i] = qRgb(entry[2], entry[1], entry[0]);
            }
        }
    }
    return layout;
}

// 16-bit pictures keep 16 bits: grey samples as they are, colour through ToGrey.
bool FromDeepPicture(CMImage& image, const QImage& picture, bool grey, int colourMode) {
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA64);
    if (rgba.isNull() || !image.Create(rgba.width(), rgba.height(), 16, 0)) return false;
    for (int32_t y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const QRgba64*>(rgba.constScanLine(y));
        std::uint16_t* out = image.Row16(y);
        for (int32_t x = 0; x < image.width; ++x) {
            out[x] = grey ? row[x].red()
                          : ToGrey(row[x].red(), row[x].green(), row[x].blue(), colourMode);
        }
    }
    return true;
}

bool FromPicture(CMImage& image, const QImage& picture, const StoredLayout& stored,
                 int colourMode) {
    const int32_t width = picture.width();
    const int32_t height = picture.height();
    const int storedBits = stored.bits;
    if (stored.deep && picture.format() != QImage::Format_Grayscale16)
        return FromDeepPicture(image, picture, stored.grey, colourMode);
    switch (picture.format()) {
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB: {
            QImage mono = picture.convertToFormat(QImage::Format_Mono);
            if (mono.isNull() || !image.Create(width, height, 1, 0)) return false;
            // The toolkit turns 1-bit bitmaps whose first colour is the darker
            // one around (bits and palette); the file's indices are what we keep.
            if (stored.hasPalette && mono.colorCount() == 2 &&
                stored.palette[0] != stored.palette[1] &&
                qRgb(qRed(mono.color(0)), qGreen(mono.color(0)), qBlue(mono.color(0))) ==
                    stored.palette[1] &&
                qRgb(qRed(mono.color(1)), qGreen(mono.color(1)), qBlue(mono.color(1))) ==
                    stored.palette[0]) {
                mono.invertPixels();
            }
            for (int32_t y = 0; y < height; ++y)
                std::memcpy(image.Row(y), mono.constScanLine(y),
                            static_cast<std::size_t>(image.bytesPerRow));
            return true;
        }
        case QImage::Format_Indexed8: {
            bool fitsNibble = storedBits > 0 && storedBits <= 4;
            for (int32_t y = 0; fitsNibble && y < height; ++y) {
                const uchar* row = picture.constScanLine(y);
                for (int32_t x = 0; x < width; ++x) fitsNibble = fitsNibble && row[x] < 16;
            }
            if (!image.Create(width, height, fitsNibble ? 4 : 8, 0)) return false;
            for (int32_t y = 0; y < height; ++y) {
                const uchar* row = picture.constScanLine(y);
                if (!fitsNibble) {
                    std::memcpy(image.Row(y), row, static_cast<std::size_t>(width));
                    continue;
                }
                for (int32_t x = 0; x < width; ++x)
                    CMImageBase::SetPixelIn(image.data, image.bytesPerRow, 4, x, y, row[x]);
            }
            return true;
        }
        case QImage::Format_Grayscale8:
            if (!image.Create(width, height, 8, 0)) return false;
            for (int32_t y = 0; y < height; ++y)
                std::memcpy(image.Row(y), picture.constScanLine(y),
                            static_cast<std::size_t>(width));
            return true;
        case QImage::Format_Grayscale16:
            // A deep grey picture is a mammogram's natural form: keep every bit.
            if (!image.Create(width, height, 16, 0)) return false;
            for (int32_t y = 0; y < height; ++y)
                std::memcpy(image.Row(y), picture.constScanLine(y),
                            static_cast<std::size_t>(width) * 2);
            return true;
        default: {
            // Alpha is ignored: unpremultiplied colours are the picture's own.
            const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
            if (argb.isNull() || !image.Create(width, height, 8, 0)) return false;
            for (int32_t y = 0; y < height; ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
                std::uint8_t* out = image.Row(y);
                for (int32_t x = 0; x < width; ++x) {
                    out[x] = static_cast<std::uint8_t>(
                        ToGrey(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), colourMode));
                }
            }
            return true;
        }
    }
}

// The toolkit's format name for the signature of the common formats; empty
// for others, which the reader then guesses itself.
QByteArray FormatBySignature(const std::vector<unsigned char>& header) {
    static const unsigned char png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (header.size() >= 8 && std::memcmp(header.data(), png, sizeof png) == 0) return "png";
    if (header.size() >= 3 && header[0] == 0xFF && header[1] == 0xD8 && header[2] == 0xFF)
        return "jpeg";
    if (header.size() >= 2 && header[0] == 'B' && header[1] == 'M') return "bmp";
    return {};
}

int ImportPicture(CMImage& image, const std::string& path, int colourMode,
                  const std::vector<unsigned char>& header) {
    QImageReader reader(QString::fromStdString(path));
    // The content decides, not the name: ".dib" or ".rle" bitmaps, or a PNG
    // saved under another extension, are read all the same.
    if (const QByteArray format = FormatBySignature(header); !format.isEmpty())
        reader.setFormat(format);
    // Pixels as stored: no rotation from EXIF tags.
    reader.setAutoTransform(false);
    const QImage picture = reader.read();
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) return 0;
    if (!FromPicture(image, picture, ReadStoredLayout(header), colourMode)) {
        image.Free();
        return 0;
    }
    image.valueOffset = 0;
    return 1;
}

// A picture with the samples as palette indices of a grey ramp of 2^depth entries.
QImage ToPicture(const CMImage& image) {
    const bool mono = image.depth == 1;
    QImage picture(image.width, image.height, mono ? QImage::Format_Mono : QImage::Format_Indexed8);
    if (picture.isNull()) return picture;
    const int colours = 1 << image.depth;
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i) {
        const int level = i * 255 / (colours - 1);
        table.push_back(qRgb(level, level, level));
    }
    picture.setColorTable(table);
    for (int32_t y = 0; y < image.height; ++y) {
        uchar* row = picture.scanLine(y);
        if (image.depth != 4) {
            std::memcpy(row, image.Row(y), static_cast<std::size_t>(image.bytesPerRow));
            continue;
        }
        for (int32_t x = 0; x < image.width; ++x) row[x] = static_cast<uchar>(image.GetPixel(x, y));
    }
    return picture;
}

// A 4-bit BMP (the toolkit writes indexed pictures with 8 bits per pixel,
// which would come back as an 8-bit image).
bool EncodeBmp4(const CMImage& image, QByteArray& bytes) {
    const std::uint64_t rowBytes = ((std::uint64_t(image.width) * 4 + 31) / 32) * 4;
    const std::uint64_t offset = 14 + 40 + 16 * 4;
    const std::uint64_t fileSize = offset + rowBytes * std::uint64_t(image.height);
    if (fileSize > 0x7FFFFFFF) return false;
    bytes.clear();
    bytes.reserve(static_cast<qsizetype>(fileSize));
    const auto put16 = [&](std::uint32_t v) {
        bytes.append(char(v & 0xFF));
        bytes.append(char((v >> 8) & 0xFF));
    };
    const auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    bytes.append("BM", 2);
    put32(static_cast<std::uint32_t>(fileSize));
    put32(0);
    put32(static_cast<std::uint32_t>(offset));
    put32(40);
    put32(static_cast<std::uint32_t>(image.width));
    put32(static_cast<std::uint32_t>(image.height));  // positive: rows bottom first
    put16(1);
    put16(4);
    put32(0);
    put32(static_cast<std::uint32_t>(rowBytes * std::uint64_t(image.height)));
    put32(2835);  // 72 dpi
    put32(2835);
    put32(16);
    put32(0);
    for (int i = 0; i < 16; ++i) {
        const char level = static_cast<char>(i * 17);
        bytes.append(level);
        bytes.append(level);
        bytes.append(level);
        bytes.append('\0');
    }
    QByteArray row(static_cast<qsizetype>(rowBytes), '\0');
    for (int32_t y = image.height - 1; y >= 0; --y) {
        row.fill('\0');
        std::memcpy(row.data(), image.Row(y), static_cast<std::size_t>(image.bytesPerRow));
        // The unused low nibble after an odd width is padding: keep it zero.
        if (image.width % 2) row[image.width / 2] = char(uchar(row[image.width / 2]) & 0xF0);
        bytes.append(row);
    }
    return true;
}

// The toolkit's format name for an extension key; empty when it cannot write it.
QByteArray WriterFormat(const std::string& key, const std::string& path) {
    QByteArray format;
    if (key == "jpg" || key == "jpe" || key == "jfi") {
        format = "jpeg";
    } else if (key == "dib" || key == "rle") {
        format = "bmp";
    } else {
        const std::string extension = ToLower(ExtensionOf(path));
        if (extension.empty()) return {};
        format = QByteArray::fromStdString(extension);
    }
    return QImageWriter::supportedImageFormats().contains(format) ? format : QByteArray();
}

}  // namespace

int ImportRaster(CMImage& image, const std::string& path, int colourMode) {
    image.Free();
    const std::vector<unsigned char> header = Signature(path);
    if (header.empty()) return 0;
    if (HasGifSignature(header.data(), header.size())) return ImportGif(image, path);
    if (HasTiffSignature(header.data(), header.size())) return ImportTiff(image, path, colourMode);
    return ImportPicture(image, path, colourMode, header);
}

int ExportRaster(const CMImage& image, const std::string& path) {
    if (!image.IsValid() || (image.depth != 1 && image.depth != 4 && image.depth != 8)) return 0;
    const std::string key = ExtensionKey(path);
    if (key == "gif") return WriteGif(image, path) ? 1 : 0;
    if (key == "tif") return WriteTiff(image, path) ? 1 : 0;

    const QByteArray format = WriterFormat(key, path);
    if (format.isEmpty()) return 0;
    QByteArray bytes;
    if (format == "bmp" && image.depth == 4) {
        if (!EncodeBmp4(image, bytes)) return 0;
    } else {
        const QImage picture = ToPicture(image);
        if (picture.isNull()) return 0;
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly)) return 0;
        QImageWriter writer(&buffer, format);
        if (!writer.write(picture)) return 0;
    }
    return WriteFileAtomically(path,
                               [&](std::FILE* file) {
                                   const auto size = static_cast<std::size_t>(bytes.size());
                                   return std::fwrite(bytes.constData(), 1, size, file) == size;
                               })
               ? 1
               : 0;
}

}  // namespace vistrel
