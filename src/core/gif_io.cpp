// GIF reading and writing through giflib.

#include "core/gif_io.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/atomic_file.h"

namespace vistrel {

namespace {

// The picture is placed on its logical screen, which a corrupt header can
// make enormous while the picture itself is tiny; larger screens are refused.
constexpr std::uint64_t kMaxCanvasPixels = std::uint64_t{256} << 20;

struct GifReaderCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifReaderPtr = std::unique_ptr<GifFileType, GifReaderCloser>;

// Skips the data blocks of an extension.
bool SkipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK) return false;
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK) return false;
    }
    return true;
}

// Rows of an interlaced picture in the order they are stored.
std::vector<int> InterlacedRowOrder(int height) {
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(height));
    const int starts[] = {0, 4, 2, 1};
    const int steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = starts[pass]; y < height; y += steps[pass]) order.push_back(y);
    return order;
}

// Reads the indices of the current picture, row by row in stored order. The
// buffer grows only with rows that really decode, so a huge declared size over
// a truncated file fails before it costs memory.
bool ReadFrame(GifFileType* gif, std::vector<GifPixelType>& pixels) {
    const int width = gif->Image.Width;
    const int height = gif->Image.Height;
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    try {
        for (int y = 0; y < height; ++y) {
            if (DGifGetLine(gif, line.data(), width) != GIF_OK) return false;
            pixels.insert(pixels.end(), line.begin(), line.end());
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int WriteToFile(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* file = static_cast<std::FILE*>(gif->UserData);
    return static_cast<int>(std::fwrite(bytes, 1, static_cast<std::size_t>(count), file));
}

bool EncodeGif(const CMImage& image, std::FILE* file) {
    int error = 0;
    GifFileType* gif = EGifOpen(file, WriteToFile, &error);
    if (!gif) return false;
    const int colours = 1 << image.depth;
    ColorMapObject* map = GifMakeMapObject(colours, nullptr);
    bool ok = map != nullptr;
    if (ok) {
        // A grey ramp, so that other programs show the indices as grey levels.
        for (int i = 0; i < colours; ++i) {
            const auto level = static_cast<GifByteType>(i * 255 / (colours - 1));
            map->Colors[i] = GifColorType{level, level, level};
        }
        EGifSetGifVersion(gif, true);
        ok = EGifPutScreenDesc(gif, image.width, image.height, image.depth, 0, map) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(image.width));
    for (int32_t y = 0; ok && y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x)
            line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(image.GetPixel(x, y));
        ok = EGifPutLine(gif, line.data(), image.width) == GIF_OK;
    }
    GifFreeMapObject(map);
    // Closing writes the trailer; the file itself belongs to our caller.
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

}  // namespace

bool HasGifSignature(const unsigned char* bytes, std::size_t count) {
    return count >= 6 && std::memcmp(bytes, "GIF8", 4) == 0 &&
           (bytes[4] == '7' || bytes[4] == '9') && bytes[5] == 'a';
}

int ImportGif(CMImage& image, const std::string& path) {
    image.Free();
    int error = 0;
    GifReaderPtr gif(DGifOpenFileName(path.c_str(), &error));
    if (!gif) return 0;

    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) != GIF_OK) return 0;
        if (record == TERMINATE_RECORD_TYPE) return 0;  // no picture at all
        if (record == EXTENSION_RECORD_TYPE) {
            if (!SkipExtension(gif.get())) return 0;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) return 0;
        if (DGifGetImageDesc(gif.get()) != GIF_OK) return 0;
        break;
    }

    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0) return 0;
    // A picture reaching beyond the logical screen widens the canvas rather
    // than losing its pixels.
    const std::int64_t canvasWidth =
        std::max<std::int64_t>(gif->SWidth, std::int64_t{frame.Left} + frame.Width);
    const std::int64_t canvasHeight =
        std::max<std::int64_t>(gif->SHeight, std::int64_t{frame.Top} + frame.Height);
    if (static_cast<std::uint64_t>(canvasWidth * canvasHeight) > kMaxCanvasPixels) return 0;
    std::vector<GifPixelType> pixels;
    if (!ReadFrame(gif.get(), pixels)) return 0;
    if (!image.Create(static_cast<int32_t>(canvasWidth), static_cast<int32_t>(canvasHeight), 8, 0))
        return 0;
    std::memset(image.data, gif->SBackGroundColor, image.ByteCount());

    const std::vector<int> order =
        frame.Interlace ? InterlacedRowOrder(frame.Height) : std::vector<int>();
    const auto frameWidth = static_cast<std::size_t>(frame.Width);
    for (int i = 0; i < frame.Height; ++i) {
        const int y = frame.Interlace ? order[static_cast<std::size_t>(i)] : i;
        std::memcpy(image.Row(frame.Top + y) + frame.Left,
                    pixels.data() + static_cast<std::size_t>(i) * frameWidth, frameWidth);
    }
    image.valueOffset = 0;
    return 1;
}

bool WriteGif(const CMImage& image, const std::string& path) {
    if (!image.IsValid() || (image.depth != 1 && image.depth != 4 && image.depth != 8) ||
        image.width > 65535 || image.height > 65535) {
        return false;
    }
    return WriteFileAtomically(path, [&](std::FILE* file) { return EncodeGif(image, file); });
}

}  // namespace vistrel
