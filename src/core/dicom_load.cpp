#include "core/dicom_load.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/atomic_file.h"
#include "core/dicom_child.h"
#include "core/dicom_engine.h"
#include "core/dicom_reader.h"
#include "core/display.h"
#include "core/messages.h"

namespace vistrel {

namespace {

// The built-in path marks images of more than 8 bits this way (stored sample
// - 1024 = true value).
constexpr uint16_t kDicomValueOffset = 1024;

const char kEngineCannotRead[] = "The DICOM engine cannot read this file.";

struct SampleBuffer {
    uint8_t* data;
    ~SampleBuffer() { std::free(data); }
};

// The file, mapped read-only for the structure check: the walk touches the
// header pages only, so even a large mammogram costs next to nothing.
class MappedFile {
  public:
    explicit MappedFile(const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error_ = errno;
            return;
        }
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            error_ = S_ISDIR(info.st_mode) ? EISDIR : EIO;
            close(fd);
            return;
        }
        size_ = static_cast<std::size_t>(info.st_size);
        if (size_ > 0) {
            void* map = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
            if (map == MAP_FAILED) {
                error_ = errno;
                size_ = 0;
            } else {
                data_ = static_cast<const uint8_t*>(map);
            }
        }
        close(fd);
        opened_ = error_ == 0;
    }
    ~MappedFile() {
        if (data_) munmap(const_cast<uint8_t*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Opened() const { return opened_; }
    const uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }

  private:
    const uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    int error_ = 0;
    bool opened_ = false;
};

// Bytes per sample of what LoadDicomFile returns for a depth.
std::size_t EngineSampleBytes(int32_t depth) {
    if (depth == VT_DICOM_DEPTH_RGB) return 3;
    return depth <= 8 ? 1 : 2;
}

// Fills the (empty) image from an engine's samples; false for a depth or
// size the image model cannot hold. Colour becomes 8-bit grey through the
// same conversion as every other colour picture.
bool TakeEngineSamples(CMImage& image, const uint8_t* samples, int32_t width, int32_t height,
                       int32_t depth, int colourMode) {
    if (!samples) return false;
    const bool colour = depth == VT_DICOM_DEPTH_RGB;
    if (!colour && !IsSupportedDepth(depth)) return false;
    if (!image.Create(width, height, colour ? 8 : depth, 0)) return false;
    const std::size_t rowBytes = std::size_t(width) * EngineSampleBytes(depth);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = samples + rowBytes * y;
        if (colour) {
            uint8_t* out = image.Row(y);
            for (int32_t x = 0; x < width; ++x, in += 3) {
                out[x] = static_cast<uint8_t>(ToGrey(in[0], in[1], in[2], colourMode));
            }
        } else if (depth >= 8) {
            std::memcpy(image.Row(y), in, rowBytes);
        } else {
            for (int32_t x = 0; x < width; ++x) image.SetPixel(x, y, in[x]);
        }
    }
    return true;
}

int LoadWithEngine(CMImage& image, VTLoadDicomFileFn load, const std::string& path,
                   int colourMode) {
    image.Free();
    image.dicomHeader = new DicomHeaderBlock;
    VTDicomHeaderBlock* header = reinterpret_cast<VTDicomHeaderBlock*>(image.dicomHeader);
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    const SampleBuffer samples{
        load(path.c_str(), DicomReadingOption(), &width, &height, &depth, &header)};
    if (!TakeEngineSamples(image, samples.data, width, height, depth, colourMode)) {
        image.Free();
        return 0;
    }
    return 1;
}

// What the child writes at the start of the shared block; the samples and
// the two header blocks follow it.
struct ChildResult {
    uint32_t complete;  // kChildMagic once everything after it is written
    int32_t width;
    int32_t height;
    int32_t depth;
    uint64_t sampleBytes;
    uint64_t length1;
    uint64_t length2;
};
constexpr uint32_t kChildMagic = 0x56544431;  // "VTD1"

// Pixels of the decoded image as the host check predicts them, believed only
// as far as the file could plausibly hold them: uncompressed data were
// measured by the check, but the size in a damaged header of compressed (or
// deflated, unwalked) data is anyone's guess, and it sets the child's time,
// memory and result space. Images that compress better than 256:1 are
// flat test patterns, not mammograms.
uint64_t ExpectedPixels(const DicomStructure& structure, std::size_t fileSize) {
    const uint64_t claimed = uint64_t{structure.rows} * structure.columns;
    const uint64_t plausible = 256 * uint64_t{fileSize} + (uint64_t{4} << 20);
    return claimed > 0 ? std::min(claimed, plausible) : plausible;
}

// Shared space for the child's results: the image in its widest form (RGB),
// the header blocks, which hold the data set without pixels and so stay
// below the file's size, and headroom.
std::size_t ChildBlockSize(uint64_t pixels, std::size_t fileSize) {
    const uint64_t bytes = sizeof(ChildResult) + pixels * 3 + 2 * uint64_t{fileSize} + (1u << 20);
    return static_cast<std::size_t>(std::min<uint64_t>(bytes, 2 * uint64_t(kMaxImageBytes)));
}

// Wall-clock time a child gets: decoding is linear in the data read and
// written; a JPEG 2000 mammogram on a busy machine needs several seconds.
double ChildSeconds(uint64_t pixels, std::size_t fileSize) {
    const double megabytes = static_cast<double>(fileSize + 2 * pixels) / double(1 << 20);
    return std::min(2.0 + 0.2 * megabytes, 60.0);
}

int LoadIsolated(CMImage& image, VTLoadDicomFileFn load, const std::string& path,
                 const DicomStructure& structure, std::size_t fileSize, int colourMode) {
    image.Free();
    const uint64_t pixels = ExpectedPixels(structure, fileSize);
    const std::size_t blockSize = ChildBlockSize(pixels, fileSize);
    CSharedBlock block(blockSize);
    if (!block.IsValid()) return 0;
    const int option = DicomReadingOption();

    const auto job = [&]() -> bool {
        VTDicomHeaderBlock header{};
        VTDicomHeaderBlock* headerPointer = &header;
        int32_t width = 0, height = 0, depth = 0;
        const uint8_t* samples =
            load(path.c_str(), option, &width, &height, &depth, &headerPointer);
        if (!samples || width <= 0 || height <= 0) return false;
        const uint64_t sampleBytes = uint64_t(width) * uint64_t(height) * EngineSampleBytes(depth);
        const uint64_t length1 = header.block1 ? header.length1 : 0;
        const uint64_t length2 = header.block2 ? header.length2 : 0;
        if (sizeof(ChildResult) + sampleBytes + length1 + length2 > block.Size()) return false;
        uint8_t* out = block.Data() + sizeof(ChildResult);
        std::memcpy(out, samples, static_cast<std::size_t>(sampleBytes));
        if (length1) std::memcpy(out + sampleBytes, header.block1, length1);
        if (length2) std::memcpy(out + sampleBytes + length1, header.block2, length2);
        ChildResult result{0, width, height, depth, sampleBytes, length1, length2};
        result.complete = kChildMagic;
        std::memcpy(block.Data(), &result, sizeof result);
        return true;
    };
    CChildLimits limits;
    limits.seconds = ChildSeconds(pixels, fileSize);
    // Decoders keep the file, the decoded frame and a converted copy or two.
    limits.addressSpaceBytes = std::min<std::size_t>(
        (std::size_t{512} << 20) + 8 * (std::size_t(fileSize) + blockSize), std::size_t{16} << 30);
    // The results are taken while the child is still ending.
    int taken = 0;
    const auto take = [&]() -> int {
        // Nothing the child wrote is trusted beyond what the block can hold.
        ChildResult result{};
        std::memcpy(&result, block.Data(), sizeof result);
        const uint64_t room = block.Size() - sizeof(ChildResult);
        if (result.complete != kChildMagic || result.width <= 0 || result.height <= 0 ||
            result.sampleBytes != uint64_t(result.width) * uint64_t(result.height) *
                                      EngineSampleBytes(result.depth) ||
            result.sampleBytes > room || result.length1 > room - result.sampleBytes ||
            result.length2 > room - result.sampleBytes - result.length1 ||
            result.length1 > UINT32_MAX || result.length2 > UINT32_MAX) {
            return 0;
        }
        const uint8_t* samples = block.Data() + sizeof(ChildResult);
        if (!TakeEngineSamples(image, samples, result.width, result.height, result.depth,
                               colourMode)) {
            image.Free();
            return 0;
        }
        auto* header = new DicomHeaderBlock;
        image.dicomHeader = header;
        const auto copyBlock = [](const uint8_t* from, uint64_t length, uint8_t*& to,
                                  uint32_t& toLength) {
            if (length == 0) return;
            to = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(length)));
            if (!to) return;
            std::memcpy(to, from, static_cast<std::size_t>(length));
            toLength = static_cast<uint32_t>(length);
        };
        copyBlock(samples + result.sampleBytes, result.length1, header->block1, header->length1);
        copyBlock(samples + result.sampleBytes + result.length1, result.length2, header->block2,
                  header->length2);
        return 1;
    };
    if (RunInChild(job, limits, [&] { taken = take(); }) != ChildOutcome::Succeeded) taken = 0;
    if (!taken) image.Free();
    return taken;
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

int LoadDicom(CMImage& image, const std::string& path, int colourMode) {
    image.Free();
    std::vector<CDicomEngine> loaders;
    for (const CDicomEngine& engine : FindDicomEngines()) {
        if (engine.load) loaders.push_back(engine);
    }
    const MappedFile file(path);
    if (!file.Opened()) {
        SetOpenFailure(DescribeUnreadableFile(path));
        return 0;
    }
    const DicomStructure structure = CheckDicomStructure(file.Data(), file.Size());
    int result = 0;
    if (loaders.empty()) {
        result = LoadBuiltIn(image, path);
        // The reader shows the first frame; the file must still hold them all.
        if (result && structure.defect == DicomDefect::PixelDataShort) {
            image.Free();
            result = 0;
        }
        if (!result) {
            if (structure.defect != DicomDefect::None) {
                SetOpenFailure(DescribeDicomDefect(structure.defect));
            } else if (structure.encapsulated || structure.deflated) {
                SetOpenFailure("The file's transfer syntax (" + structure.transferSyntax +
                               ") is not supported without the DICOM engine.");
            } else {
                SetOpenFailure("The DICOM file holds no image this program can read.");
            }
        }
    } else {
        // An engine trusts what it reads; broken structure never reaches it.
        if (structure.defect != DicomDefect::None) {
            SetOpenFailure(DescribeDicomDefect(structure.defect));
            return 0;
        }
        for (const CDicomEngine& engine : loaders) {
            result = engine.isolated ? LoadIsolated(image, engine.load, path, structure,
                                                    file.Size(), colourMode)
                                     : LoadWithEngine(image, engine.load, path, colourMode);
        }
        if (!result) SetOpenFailure(kEngineCannotRead);
    }
    if (result) image.dicomAttributes = structure.attributes;
    return result;
}

int SaveDicom(const CMImage& image, const std::string& path) {
    if (!image.IsValid()) return 0;
    std::vector<CDicomEngine> savers;
    for (const CDicomEngine& engine : FindDicomEngines()) {
        if (engine.save) savers.push_back(engine);
    }
    if (savers.empty()) {
        messages().show("DICOM files can be saved only through a DICOM engine plug-in: " + path);
        return 0;
    }
    const auto* header = reinterpret_cast<const VTDicomHeaderBlock*>(image.dicomHeader);
    bool written = false;
    for (const CDicomEngine& engine : savers) {
        // The engine writes where it is told; it must not be able to leave
        // half a file where a good one was, so it writes a temporary file
        // that replaces the target only when it holds something.
        const std::string temporary = MakeEngineTemporary(path);
        if (temporary.empty()) {
            messages().show("Cannot create a temporary file beside " + path);
            return written ? 1 : 0;
        }
        const auto save = [&] {
            engine.save(temporary.c_str(), image.data, image.width * image.height, image.depth,
                        image.width, image.height, header);
            return true;
        };
        // Our own image is a tamer input than a file from elsewhere, but the
        // engine is the same outside code: it saves in a child too, and what
        // a dead or overrunning child left behind is not taken.
        bool saved = true;
        if (engine.isolated) {
            const double megabytes = static_cast<double>(image.ByteCount()) / double(1 << 20);
            CChildLimits limits;
            limits.seconds = std::min(5.0 + 0.25 * megabytes, 60.0);
            limits.addressSpaceBytes = (std::size_t{512} << 20) + 10 * image.ByteCount();
            saved = RunInChild(save, limits) == ChildOutcome::Succeeded;
        } else {
            save();
        }
        std::string bytes;
        if (saved && ReadWholeFile(temporary, bytes) && !bytes.empty()) {
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
