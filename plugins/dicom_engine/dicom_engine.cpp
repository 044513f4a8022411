// "Dicom engine": a general plug-in that reads and writes DICOM files with
// GDCM, so every transfer syntax GDCM decodes (JPEG baseline, extended and
// lossless, JPEG-LS, JPEG 2000, RLE, deflate, big endian) opens in Vistrel.
// Colour images (RGB, YBR, palette) come as RGB triples (VT_DICOM_DEPTH_RGB).
//
// Header block kept with a loaded image:
//  block1: the file's data set without its pixel data, written as a DICOM
//          file in the file's own transfer syntax, so a save keeps patient,
//          study and equipment attributes (null for big-endian files, whose
//          binary values could not be carried into the little-endian file a
//          save writes: those are saved as secondary capture);
//  block2: kHeaderTag followed by one byte, the reading option used, so a save
//          knows whether the samples are the stored values or rendered ones.

#include <gdcmAttribute.h>
#include <gdcmDataElement.h>
#include <gdcmFile.h>
#include <gdcmImage.h>
#include <gdcmImageApplyLookupTable.h>
#include <gdcmImageReader.h>
#include <gdcmImageWriter.h>
#include <gdcmMediaStorage.h>
#include <gdcmReader.h>
#include <gdcmTrace.h>
#include <gdcmUIDGenerator.h>
#include <gdcmWriter.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "vistrel/plugin.h"

namespace {

const char kEngineName[] = "Dicom engine";
const char kHeaderTag[] = "VTDE1";  // block2 layout version
constexpr std::size_t kHeaderTagLength = sizeof(kHeaderTag) - 1;

void QuietGdcm() {
    gdcm::Trace::SetDebug(false);
    gdcm::Trace::SetWarning(false);
    gdcm::Trace::SetError(false);
}

// The depth a raster of these stored bits gets: Vistrel has no 2..7-bit rasters.
int DepthForBitsStored(int bitsStored) {
    return bitsStored <= 8 ? 8 : bitsStored;
}

// First number of a decimal-string attribute ("40\60" gives 40).
bool ReadDecimal(const gdcm::DataSet& dataSet, const gdcm::Tag& tag, double& value) {
    if (!dataSet.FindDataElement(tag)) return false;
    const gdcm::ByteValue* bytes = dataSet.GetDataElement(tag).GetByteValue();
    if (!bytes || bytes->GetLength() == 0) return false;
    std::string text(bytes->GetPointer(), bytes->GetLength());
    const auto cut = text.find('\\');
    if (cut != std::string::npos) text.resize(cut);
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && std::isfinite(value);
}

// The stored values of the first frame, bits stored taken from the high bit
// down and sign-extended for signed data.
bool StoredValues(const gdcm::Image& image, std::vector<int32_t>& values, int& bitsStored,
                  bool& isSigned) {
    const unsigned int* dims = image.GetDimensions();
    const gdcm::PixelFormat& format = image.GetPixelFormat();
    if (format.GetSamplesPerPixel() != 1) return false;
    const int allocated = format.GetBitsAllocated();
    bitsStored = format.GetBitsStored();
    const int highBit = format.GetHighBit();
    isSigned = format.GetPixelRepresentation() == 1;
    if ((allocated != 8 && allocated != 16) || bitsStored <= 0 || bitsStored > 16 ||
        bitsStored > allocated || highBit < bitsStored - 1 || highBit >= allocated)
        return false;
    const std::size_t count = std::size_t{dims[0]} * dims[1];
    if (count == 0 || dims[0] > 65535 || dims[1] > 65535) return false;
    std::vector<char> buffer(image.GetBufferLength());
    const std::size_t frameBytes = count * static_cast<std::size_t>(allocated / 8);
    if (buffer.size() < frameBytes || !image.GetBuffer(buffer.data())) return false;

    values.resize(count);
    const int shift = highBit + 1 - bitsStored;
    const uint32_t mask = (1u << bitsStored) - 1u;
    const uint32_t signBit = 1u << (bitsStored - 1);
    for (std::size_t i = 0; i < count; ++i) {
        uint32_t word;
        if (allocated == 8) {
            word = static_cast<uint8_t>(buffer[i]);
        } else {
            uint16_t raw;
            std::memcpy(&raw, buffer.data() + 2 * i, 2);  // GDCM gives host order
            word = raw;
        }
        uint32_t bits = (word >> shift) & mask;
        int32_t value = static_cast<int32_t>(bits);
        if (isSigned && (bits & signBit)) value -= static_cast<int32_t>(mask) + 1;
        values[i] = value;
    }
    return true;
}

// A colour image's first frame as 8-bit red, green, blue triples. Palette
// images go through their colour tables; YBR data (as stored or as a JPEG
// decoder leaves them) are converted with the full-range equations of the
// standard; JPEG 2000's ICT and RCT are undone by the decoder already.
bool ColourSamples(const gdcm::Image& input, std::vector<uint8_t>& rgb) {
    gdcm::ImageApplyLookupTable palette;
    const gdcm::Image* image = &input;
    using PI = gdcm::PhotometricInterpretation;
    if (input.GetPhotometricInterpretation() == PI::PALETTE_COLOR) {
        palette.SetInput(input);
        if (!palette.Apply()) return false;
        image = &palette.GetOutput();
    }
    const gdcm::PixelFormat& format = image->GetPixelFormat();
    const PI::PIType kind = image->GetPhotometricInterpretation().GetType();
    const bool ybr = kind == PI::YBR_FULL || kind == PI::YBR_FULL_422;
    if (format.GetSamplesPerPixel() != 3 ||
        !(ybr || kind == PI::RGB || kind == PI::YBR_ICT || kind == PI::YBR_RCT))
        return false;
    const int allocated = format.GetBitsAllocated();
    if (allocated != 8 && allocated != 16) return false;
    const unsigned int* dims = image->GetDimensions();
    const std::size_t count = std::size_t{dims[0]} * dims[1];
    if (count == 0 || dims[0] > 65535 || dims[1] > 65535) return false;
    std::vector<char> buffer(image->GetBufferLength());
    if (!image->GetBuffer(buffer.data())) return false;
    const std::size_t bytes = static_cast<std::size_t>(allocated / 8);
    const int stored = std::clamp<int>(format.GetBitsStored(), 1, allocated);
    const auto sample = [&](std::size_t index) -> int {
        if (bytes == 1) return static_cast<uint8_t>(buffer[index]);
        uint16_t word;
        std::memcpy(&word, buffer.data() + 2 * index, 2);
        return word >> (stored > 8 ? stored - 8 : 0);
    };
    rgb.resize(count * 3);
    const bool planar = image->GetPlanarConfiguration() == 1;
    // Uncompressed 4:2:2 keeps one Cb, Cr pair for two pixels: Y Y Cb Cr.
    const bool packed422 = kind == PI::YBR_FULL_422 && buffer.size() < count * 3 * bytes;
    if ((packed422 && buffer.size() < count * 2 * bytes) ||
        (!packed422 && buffer.size() < count * 3 * bytes))
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        int c[3];
        if (packed422) {
            const std::size_t pair = i / 2 * 4;
            c[0] = sample(pair + i % 2);
            c[1] = sample(pair + 2);
            c[2] = sample(pair + 3);
        } else {
            for (std::size_t k = 0; k < 3; ++k) c[k] = sample(planar ? k * count + i : 3 * i + k);
        }
        if (ybr) {
            const double y = c[0], cb = c[1] - 128.0, cr = c[2] - 128.0;
            c[0] = static_cast<int>(std::lround(y + 1.402 * cr));
            c[1] = static_cast<int>(std::lround(y - 0.344136 * cb - 0.714136 * cr));
            c[2] = static_cast<int>(std::lround(y + 1.772 * cb));
        }
        for (std::size_t k = 0; k < 3; ++k)
            rgb[3 * i + k] = static_cast<uint8_t>(std::clamp(c[k], 0, 255));
    }
    return true;
}

// Option 0: the stored values; signed data with negative values are raised so
// that the smallest becomes 0 (the raster holds unsigned samples only).
void RawSamples(std::vector<int32_t>& values) {
    const int32_t minimum = *std::min_element(values.begin(), values.end());
    if (minimum < 0)
        for (int32_t& v : values) v -= minimum;
}

// Option 1: what a DICOM viewer shows: modality rescale, then the first VOI
// window of the file (the value range when it has none) mapped onto
// 0..2^depth-1 by the standard's linear function, MONOCHROME1 inverted.
void RenderedSamples(std::vector<int32_t>& values, const gdcm::Image& image,
                     const gdcm::DataSet& dataSet, int depth) {
    const double slope = image.GetSlope() == 0.0 ? 1.0 : image.GetSlope();
    const double intercept = image.GetIntercept();
    const double top = std::ldexp(1.0, depth) - 1.0;
    std::vector<double> modality(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) modality[i] = values[i] * slope + intercept;

    double centre = 0.0, width = 0.0;
    const bool hasWindow = ReadDecimal(dataSet, gdcm::Tag(0x0028, 0x1050), centre) &&
                           ReadDecimal(dataSet, gdcm::Tag(0x0028, 0x1051), width) && width >= 1.0;
    const auto [lowIt, highIt] = std::minmax_element(modality.begin(), modality.end());
    const double low = *lowIt, high = *highIt;
    const bool invert =
        image.GetPhotometricInterpretation() == gdcm::PhotometricInterpretation::MONOCHROME1;
    for (std::size_t i = 0; i < values.size(); ++i) {
        double out;
        if (hasWindow) {
            const double x = modality[i];
            if (x <= centre - 0.5 - (width - 1.0) / 2.0)
                out = 0.0;
            else if (x > centre - 0.5 + (width - 1.0) / 2.0)
                out = top;
            else
                out = ((x - (centre - 0.5)) / (width - 1.0) + 0.5) * top;
        } else {
            out = high > low ? (modality[i] - low) / (high - low) * top : 0.0;
        }
        out = std::clamp(std::round(out), 0.0, top);
        values[i] = static_cast<int32_t>(invert ? top - out : out);
    }
}

uint8_t* CopyBlock(const std::string& bytes) {
    auto* block = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (block) std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

// Fills the caller's header block (see the file comment).
// A colour image reaches the host as grey: the kept data set loses what
// describes colour, and its samples count as rendered ones.
void KeepHeader(gdcm::File& file, int option, VTDicomHeaderBlock& header, bool colour = false) {
    if (colour) {
        option = 1;
        for (const uint16_t element : {0x0006, 0x1101, 0x1102, 0x1103, 0x1199, 0x1201, 0x1202,
                                       0x1203, 0x1221, 0x1222, 0x1223})
            file.GetDataSet().Remove(gdcm::Tag(0x0028, element));
    }
    std::free(header.block1);
    std::free(header.block2);
    header = VTDicomHeaderBlock{};

    std::string tag(kHeaderTag, kHeaderTagLength);
    tag.push_back(static_cast<char>(option));
    if ((header.block2 = CopyBlock(tag))) header.length2 = static_cast<uint32_t>(tag.size());

    const gdcm::TransferSyntax syntax = file.GetHeader().GetDataSetTransferSyntax();
    if (syntax.GetSwapCode() == gdcm::SwapCode::BigEndian) return;
    gdcm::DataSet& dataSet = file.GetDataSet();
    dataSet.Remove(gdcm::Tag(0x7fe0, 0x0010));
    std::ostringstream out;
    gdcm::Writer writer;
    writer.SetFile(file);
    writer.SetStream(out);
    writer.CheckFileMetaInformationOff();
    if (!writer.Write()) return;
    const std::string bytes = out.str();
    if (bytes.size() >= std::numeric_limits<uint32_t>::max()) return;
    if ((header.block1 = CopyBlock(bytes))) header.length1 = static_cast<uint32_t>(bytes.size());
}

// The reading option recorded in a header block; -1 when it holds none.
int KeptOption(const VTDicomHeaderBlock* header) {
    if (!header || !header->block2 || header->length2 != kHeaderTagLength + 1 ||
        std::memcmp(header->block2, kHeaderTag, kHeaderTagLength) != 0)
        return -1;
    return header->block2[kHeaderTagLength];
}

// Writes bytes to path through a temporary file beside it, renamed over path
// only when complete: a failed save never destroys an existing file.
bool WriteAtomically(const std::string& path, const std::string& bytes) {
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) return false;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const bool complete = written == bytes.size() && fsync(descriptor) == 0;
    if (close(descriptor) != 0 || !complete || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

void SetString(gdcm::DataSet& dataSet, const gdcm::Tag& tag, const gdcm::VR& vr,
               const std::string& text) {
    std::string value = text;
    if (value.size() % 2) value.push_back(vr == gdcm::VR::UI ? '\0' : ' ');
    gdcm::DataElement element(tag);
    element.SetVR(vr);
    element.SetByteValue(value.data(), static_cast<uint32_t>(value.size()));
    dataSet.Replace(element);
}

// The samples as Vistrel stores them, one value per pixel.
std::vector<uint16_t> UnpackSamples(const uint8_t* samples, int depth, int width, int height) {
    std::vector<uint16_t> values(std::size_t(width) * height);
    std::size_t rowBytes = depth == 1   ? (std::size_t(width) + 7) / 8
                           : depth == 4 ? (std::size_t(width) + 1) / 2
                           : depth == 8 ? std::size_t(width)
                                        : std::size_t(width) * 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = samples + rowBytes * y;
        for (int x = 0; x < width; ++x) {
            uint16_t v;
            if (depth == 1)
                v = (row[x / 8] >> (7 - x % 8)) & 1;
            else if (depth == 4)
                v = x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
            else if (depth == 8)
                v = row[x];
            else
                v = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
            values[std::size_t(y) * width + x] = v;
        }
    }
    return values;
}

}  // namespace

extern "C" {

VT_PLUGIN_EXPORT void GetPlugInName(char* name, char* second) {
    std::snprintf(name, VT_PLUGIN_TEXT_SIZE, "%s", kEngineName);
    std::snprintf(second, VT_PLUGIN_TEXT_SIZE, "%s", "DICOM reading and writing with GDCM");
}

VT_PLUGIN_EXPORT uint8_t* LoadDicomFile(const char* path, int32_t option, int32_t* width,
                                        int32_t* height, int32_t* depth,
                                        VTDicomHeaderBlock** header) {
    if (!path || !width || !height || !depth) return nullptr;
    try {
        QuietGdcm();
        gdcm::ImageReader reader;
        reader.SetFileName(path);
        if (!reader.Read()) return nullptr;
        const gdcm::Image& image = reader.GetImage();
        if (image.GetPixelFormat().GetSamplesPerPixel() != 1 ||
            image.GetPhotometricInterpretation() ==
                gdcm::PhotometricInterpretation::PALETTE_COLOR) {
            // Colour is colour for both reading options: the host makes it grey.
            std::vector<uint8_t> rgb;
            if (!ColourSamples(image, rgb)) return nullptr;
            auto* samples = static_cast<uint8_t*>(std::malloc(rgb.size()));
            if (!samples) return nullptr;
            std::memcpy(samples, rgb.data(), rgb.size());
            *width = static_cast<int32_t>(image.GetDimensions()[0]);
            *height = static_cast<int32_t>(image.GetDimensions()[1]);
            *depth = VT_DICOM_DEPTH_RGB;
            if (header && *header) KeepHeader(reader.GetFile(), 1, **header, true);
            return samples;
        }
        std::vector<int32_t> values;
        int bitsStored = 0;
        bool isSigned = false;
        if (!StoredValues(image, values, bitsStored, isSigned)) return nullptr;
        const int outDepth = DepthForBitsStored(bitsStored);
        if (option == 1)
            RenderedSamples(values, image, reader.GetFile().GetDataSet(), outDepth);
        else
            RawSamples(values);

        const std::size_t bytesPerSample = outDepth <= 8 ? 1 : 2;
        auto* samples = static_cast<uint8_t*>(std::malloc(values.size() * bytesPerSample));
        if (!samples) return nullptr;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const uint32_t v = static_cast<uint32_t>(values[i]);
            if (bytesPerSample == 1) {
                samples[i] = static_cast<uint8_t>(v);
            } else {
                samples[2 * i] = static_cast<uint8_t>(v & 0xFF);
                samples[2 * i + 1] = static_cast<uint8_t>(v >> 8);
            }
        }
        *width = static_cast<int32_t>(image.GetDimensions()[0]);
        *height = static_cast<int32_t>(image.GetDimensions()[1]);
        *depth = outDepth;
        if (header && *header) KeepHeader(reader.GetFile(), option == 1 ? 1 : 0, **header);
        return samples;
    } catch (...) {
        return nullptr;
    }
}

VT_PLUGIN_EXPORT void SaveDicomFile(const char* path, const uint8_t* samples, int32_t count,
                                    int32_t depth, int32_t width, int32_t height,
                                    const VTDicomHeaderBlock* header) {
    if (!path || !samples || width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
        std::int64_t{width} * height != count)
        return;
    if (depth != 1 && depth != 4 && (depth < 8 || depth > 16)) return;
    try {
        QuietGdcm();
        const std::vector<uint16_t> values = UnpackSamples(samples, depth, width, height);

        // The kept data set, when there is one to keep.
        gdcm::Reader headerReader;
        std::istringstream headerStream;
        bool haveHeader = false;
        if (header && header->block1 && header->length1 > 0) {
            headerStream.str(
                std::string(reinterpret_cast<const char*>(header->block1), header->length1));
            headerReader.SetStream(headerStream);
            haveHeader = headerReader.Read();
        }
        // GDCM's writers hold their file and image by reference count: they
        // must be the writer's own objects, never ones on this stack.
        gdcm::ImageWriter writer;
        if (haveHeader) writer.SetFile(headerReader.GetFile());
        gdcm::File& file = writer.GetFile();
        gdcm::DataSet& dataSet = file.GetDataSet();

        const int storedDepth = depth < 8 ? 8 : depth;
        const int allocated = storedDepth <= 8 ? 8 : 16;
        gdcm::Image& image = writer.GetImage();
        image.SetNumberOfDimensions(2);
        image.SetDimension(0, static_cast<unsigned int>(width));
        image.SetDimension(1, static_cast<unsigned int>(height));
        image.SetPixelFormat(gdcm::PixelFormat(1, allocated, storedDepth, storedDepth - 1, 0));

        // Rendered samples no longer need the rescale, window or inversion of
        // the file they came from; stored ones keep them.
        const bool rendered = !haveHeader || KeptOption(header) == 1;
        gdcm::PhotometricInterpretation photometric = gdcm::PhotometricInterpretation::MONOCHROME2;
        if (!rendered) {
            const gdcm::DataSet& kept = dataSet;
            if (kept.FindDataElement(gdcm::Tag(0x0028, 0x0004))) {
                const gdcm::ByteValue* bv =
                    kept.GetDataElement(gdcm::Tag(0x0028, 0x0004)).GetByteValue();
                if (bv &&
                    std::string(bv->GetPointer(), bv->GetLength()).rfind("MONOCHROME1", 0) == 0)
                    photometric = gdcm::PhotometricInterpretation::MONOCHROME1;
            }
            double slope = 1.0, intercept = 0.0;
            ReadDecimal(kept, gdcm::Tag(0x0028, 0x1053), slope);
            ReadDecimal(kept, gdcm::Tag(0x0028, 0x1052), intercept);
            image.SetSlope(slope);
            image.SetIntercept(intercept);
        } else {
            for (uint16_t element : {0x1050, 0x1051, 0x1052, 0x1053, 0x1054, 0x1055, 0x3010})
                dataSet.Remove(gdcm::Tag(0x0028, element));
        }
        image.SetPhotometricInterpretation(photometric);

        const gdcm::TransferSyntax keptSyntax = file.GetHeader().GetDataSetTransferSyntax();
        const bool implicit = haveHeader && keptSyntax.IsImplicit();
        image.SetTransferSyntax(implicit ? gdcm::TransferSyntax::ImplicitVRLittleEndian
                                         : gdcm::TransferSyntax::ExplicitVRLittleEndian);

        std::string pixels;
        if (allocated == 8) {
            pixels.resize(values.size());
            for (std::size_t i = 0; i < values.size(); ++i)
                pixels[i] = static_cast<char>(std::min<uint16_t>(values[i], 255));
        } else {
            pixels.resize(values.size() * 2);
            for (std::size_t i = 0; i < values.size(); ++i) {
                pixels[2 * i] = static_cast<char>(values[i] & 0xFF);
                pixels[2 * i + 1] = static_cast<char>(values[i] >> 8);
            }
        }
        gdcm::DataElement pixelData(gdcm::Tag(0x7fe0, 0x0010));
        pixelData.SetVR(allocated == 8 ? gdcm::VR::OB : gdcm::VR::OW);
        pixelData.SetByteValue(pixels.data(), static_cast<uint32_t>(pixels.size()));
        image.SetDataElement(pixelData);

        // Frames, icons and overlays of the source describe other pixels.
        dataSet.Remove(gdcm::Tag(0x0028, 0x0008));
        dataSet.Remove(gdcm::Tag(0x0088, 0x0200));
        gdcm::UIDGenerator uids;
        if (!haveHeader) {
            gdcm::MediaStorage storage(gdcm::MediaStorage::SecondaryCaptureImageStorage);
            SetString(dataSet, gdcm::Tag(0x0008, 0x0016), gdcm::VR::UI, storage.GetString());
            SetString(dataSet, gdcm::Tag(0x0008, 0x0060), gdcm::VR::CS, "OT");
            SetString(dataSet, gdcm::Tag(0x0008, 0x0064), gdcm::VR::CS, "WSD");
            SetString(dataSet, gdcm::Tag(0x0020, 0x000d), gdcm::VR::UI, uids.Generate());
            SetString(dataSet, gdcm::Tag(0x0020, 0x000e), gdcm::VR::UI, uids.Generate());
        }
        // A changed image is a new instance of its series.
        SetString(dataSet, gdcm::Tag(0x0008, 0x0018), gdcm::VR::UI, uids.Generate());
        file.GetHeader().Clear();

        std::ostringstream out;
        writer.SetStream(out);
        if (!writer.Write()) return;
        WriteAtomically(path, out.str());
    } catch (...) {
    }
}

}  // extern "C"
