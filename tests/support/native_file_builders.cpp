#include "support/native_file_builders.h"

#include <random>
#include <sstream>

#include "support/scratch_dir.h"

namespace vistrel::testsupport {

std::string PgxBytes(const std::string& order, int depth, int width, int height,
                     const std::vector<uint16_t>& samples, const std::string& comments) {
    std::string bytes = "PG " + order + " " + std::to_string(depth) + " " + std::to_string(width) +
                        " " + std::to_string(height) + "\n" + comments;
    for (const uint16_t sample : samples) {
        if (depth <= 8) {
            bytes += static_cast<char>(sample);
        } else if (order == "ML") {
            bytes += static_cast<char>(sample >> 8);
            bytes += static_cast<char>(sample & 0xFF);
        } else {
            bytes += static_cast<char>(sample & 0xFF);
            bytes += static_cast<char>(sample >> 8);
        }
    }
    return bytes;
}

std::string PgmBytes(int width, int height, const std::vector<uint8_t>& samples) {
    std::string bytes = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    bytes.append(samples.begin(), samples.end());
    return bytes;
}

CPgxFile ReadPgx(const std::filesystem::path& path) {
    CPgxFile file;
    const std::string bytes = ReadFileBytes(path);
    const std::size_t headerEnd = bytes.find('\n');
    if (headerEnd == std::string::npos) return file;
    std::istringstream header(bytes.substr(0, headerEnd));
    std::string magic;
    header >> magic >> file.order >> file.depth >> file.width >> file.height;
    const std::size_t bytesPer = file.depth > 8 ? 2 : 1;
    const std::size_t count = static_cast<std::size_t>(file.width) * file.height;
    if (magic != "PG" || bytes.size() - headerEnd - 1 < count * bytesPer) return file;
    // The samples are the last bytes: comment lines may stand between.
    const std::size_t start = bytes.size() - count * bytesPer;
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = [&](std::size_t k) {
            return static_cast<uint16_t>(static_cast<unsigned char>(bytes[start + k]));
        };
        if (bytesPer == 1)
            file.samples.push_back(byte(i));
        else if (file.order == "ML")
            file.samples.push_back(static_cast<uint16_t>(byte(2 * i) << 8 | byte(2 * i + 1)));
        else
            file.samples.push_back(static_cast<uint16_t>(byte(2 * i + 1) << 8 | byte(2 * i)));
    }
    return file;
}

void FillImage(CMImage& image, int32_t width, int depth, const std::vector<int32_t>& values,
               uint32_t zeroFill) {
    image.Create(width, static_cast<int32_t>(values.size()) / width, depth, zeroFill);
    for (std::size_t i = 0; i < values.size(); ++i)
        image.SetPixel(static_cast<int32_t>(i) % width, static_cast<int32_t>(i) / width, values[i]);
}

CMImage ZeroedImage(int32_t width, int32_t height, int depth) {
    CMImage image;
    image.Create(width, height, depth, 1);
    return image;
}

std::vector<int32_t> ValuesOf(const CMImageBase& image) {
    std::vector<int32_t> values;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            values.push_back(static_cast<uint16_t>(image.GetPixel(x, y)));
    return values;
}

void FillRandom(CMImageBase& image, unsigned seed) {
    std::mt19937 gen(seed);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            image.SetPixel(x, y, static_cast<int32_t>(gen() % (uint32_t{image.maxValue} + 1)));
}

CMImage RampImage(int width, int height) {
    CMImage ramp(width, height, 12);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ramp.SetPixel(x, y, x * 4095 / (width - 1));
    return ramp;
}

}  // namespace vistrel::testsupport
