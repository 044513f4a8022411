#include "core/dicom_load.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/atomic_file.h"
#include "core/dicom_engine.h"
#include "core/dicom_reader.h"
#include "core/messages.h"

namespace vistrel {

namespace {

// The built-in path marks images of more than 8 bits this way (stored sample
// - 1024 = true value).
constexpr uint16_t kDicomValueOffset = 1024;

struct SampleBuffer {
    uint8_t* data;
    ~SampleBuffer() { std::free(data); }
};

int LoadWithEngine(CMImage& image, VTLoadDicomFileFn load, const std::string& path) {
    image.Free();
    image.dicomHeader = new DicomHeaderBlock;
    VTDicomHeaderBlock* header = reinterpret_cast<VTDicomHeaderBlock*>(image.dicomHeader);
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    const SampleBuffer samples{
        load(path.c_str(), DicomReadingOption(), &width, &height, &depth, &header)};
    if (!samples.data || !IsSupportedDepth(depth) || !image.Create(width, height, depth, 0)) {
        image.Free();
        return 0;
    }
    if (depth > 8) {
        const std::size_t rowBytes = std::size_t(width) * 2;
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(image.Row(y), samples.data + rowBytes * y, rowBytes);
        }
    } else {
        const uint8_t* in = samples.data;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) image.SetPixel(x, y, *in++);
        }
    }
    return 1;
}

int LoadBuiltIn(CMImage& image, const std::string& path) {
    std::vector<DicomImage> images;
    int count = 0;
    if (dicom_read(path.c_str(), &images, &count, 1) != kDicomOk || count < 1) return 0;
    const DicomImage& first = images.front();
    const int32_t width = first.width;
    const int32_t height = first.height;
    const std::size_t pixels = std::size_t(width) * height;
    const std::size_t perPixel = first.colour ? 3 : 1;
    if (pixels == 0 || first.samples.size() < pixels * perPixel) return 0;

    std::vector<uint16_t> grey;
    const std::vector<uint16_t>* samples = &first.samples;
    if (first.colour) {
        // The workstation shows grey levels: luminance of the 8-bit RGB triples.
        grey.resize(pixels);
        for (std::size_t i = 0; i < pixels; ++i) {
            const uint16_t* rgb = first.samples.data() + 3 * i;
            grey[i] =
                static_cast<uint16_t>((299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2] + 500) / 1000);
        }
        samples = &grey;
    }
    uint16_t used = 0;
    for (std::size_t i = 0; i < pixels; ++i) used |= (*samples)[i];
    const int bits = used == 0 ? 0 : 32 - __builtin_clz(used);

    // Rasters of 2..7 bits do not exist and a 16-bit buffer cannot pass for an
    // 8-bit one, so everything up to 8 significant bits becomes 8-bit.
    const int depth = bits > 8 ? bits : 8;
    if (!image.Create(width, height, depth, 0)) return 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint16_t* in = samples->data() + std::size_t(y) * width;
        if (depth > 8) {
            std::memcpy(image.Row16(y), in, std::size_t(width) * 2);
        } else {
            uint8_t* out = image.Row(y);
            for (int32_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(in[x]);
        }
    }
    image.valueOffset = depth > 8 ? kDicomValueOffset : 0;
    return 1;
}

// A fresh, empty file beside path for an engine to write; "" on failure.
std::string MakeEngineTemporary(const std::string& path) {
    std::string pattern = path + ".XXXXXX.dcm";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) return {};
    close(fd);
    return name.data();
}

}  // namespace

int LoadDicom(CMImage& image, const std::string& path) {
    image.Free();
    std::vector<VTLoadDicomFileFn> loaders;
    for (const CDicomEngine& engine : FindDicomEngines()) {
        if (engine.load) loaders.push_back(engine.load);
    }
    if (loaders.empty()) return LoadBuiltIn(image, path);
    int result = 0;
    for (const VTLoadDicomFileFn load : loaders) result = LoadWithEngine(image, load, path);
    return result;
}

int SaveDicom(const CMImage& image, const std::string& path) {
    if (!image.IsValid()) return 0;
    std::vector<VTSaveDicomFileFn> savers;
    for (const CDicomEngine& engine : FindDicomEngines()) {
        if (engine.save) savers.push_back(engine.save);
    }
    if (savers.empty()) {
        messages().show("DICOM files can be saved only through a DICOM engine plug-in: " + path);
        return 0;
    }
    const auto* header = reinterpret_cast<const VTDicomHeaderBlock*>(image.dicomHeader);
    bool written = false;
    for (const VTSaveDicomFileFn save : savers) {
        // The engine writes where it is told; it must not be able to leave
        // half a file where a good one was, so it writes a temporary file
        // that replaces the target only when it holds something.
        const std::string temporary = MakeEngineTemporary(path);
        if (temporary.empty()) {
            messages().show("Cannot create a temporary file beside " + path);
            return written ? 1 : 0;
        }
        save(temporary.c_str(), image.data, image.width * image.height, image.depth, image.width,
             image.height, header);
        std::string bytes;
        if (ReadWholeFile(temporary, bytes) && !bytes.empty()) {
            written |= WriteFileAtomically(path, [&](std::FILE* file) {
                return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            });
        }
        std::remove(temporary.c_str());
    }
    if (!written) messages().show("The DICOM engine did not write " + path);
    return written ? 1 : 0;
}

}  // namespace vistrel
