#include "cli_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>

#include "regions/overlay_file.h"

namespace vistrel::cli {

CRawParams ParseRawOption(const std::string& text) {
    const std::vector<std::string> fields = SplitCommas(text);
    if (fields.size() < 3 || fields.size() > 4)
        throw CUsageError("--raw: \"" + text + "\" is not W,H,DEPTH[,msb]");
    CRawParams params;
    params.width = static_cast<int32_t>(ParseInteger(fields[0], 1, INT32_MAX, "--raw width"));
    params.height = static_cast<int32_t>(ParseInteger(fields[1], 1, INT32_MAX, "--raw height"));
    params.depth = static_cast<int>(ParseInteger(fields[2], 1, 16, "--raw depth"));
    if (!IsSupportedDepth(params.depth))
        throw CUsageError("--raw depth: " + fields[2] + " is not 1, 4 or 8..16");
    if (fields.size() == 4) {
        if (fields[3] == "msb") {
            params.msbAligned = true;
        } else if (fields[3] != "lsb") {
            throw CUsageError("--raw alignment: \"" + fields[3] + "\" is not msb or lsb");
        }
        // Only 12- and 14-bit samples leave room in their word to be aligned.
        if (params.msbAligned && params.depth != 12 && params.depth != 14)
            throw CUsageError("--raw: msb alignment applies to 12- and 14-bit data only");
    }
    return params;
}

std::optional<CRawParams> RawOptionOf(const CParsedArgs& args) {
    if (const auto value = args.Value("raw")) return ParseRawOption(*value);
    return std::nullopt;
}

bool ByteOrderLMOf(const CParsedArgs& args) {
    const auto value = args.Value("byte-order");
    if (!value || *value == "LM") return true;
    if (*value == "ML") return false;
    throw CUsageError("--byte-order: \"" + *value + "\" is not LM or ML");
}

std::unique_ptr<CMImage> LoadImage(const std::string& path, const std::optional<CRawParams>& raw,
                                   std::string& description) {
    // Check what the readers report silently, so that the one line on stderr
    // says why; refusing non-regular files also keeps a FIFO from blocking us.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw CFailure(path + ": cannot open: " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) throw CFailure(path + ": not a regular file");
    if (std::ifstream probe(path, std::ios::binary); !probe)
        throw CFailure(path + ": cannot open: " + std::strerror(errno));

    bool rawParamsAsked = false;
    const RawParamsFn rawParams = [&](const std::string&, CRawParams& params) {
        rawParamsAsked = true;
        if (!raw) return false;
        params = *raw;
        return true;
    };
    auto image = std::make_unique<CMImage>();
    if (!image->Open(path, description, 0, rawParams) || !image->IsValid()) {
        if (rawParamsAsked && !raw)
            throw CFailure(path + ": RAW input needs --raw W,H,DEPTH[,msb]");
        if (rawParamsAsked)
            throw CFailure(path + ": cannot read as RAW " + std::to_string(raw->width) + "x" +
                           std::to_string(raw->height) + " at depth " + std::to_string(raw->depth) +
                           " (file too short?)");
        throw CFailure(path + ": cannot read: not a valid or supported \"" + ExtensionKey(path) +
                       "\" image" + (LastOpenFailure().empty() ? "" : ": " + LastOpenFailure()));
    }
    return image;
}

void SaveImage(const CMImage& image, bool byteOrderLM, const std::string& path) {
    if (!image.Save(byteOrderLM, path))
        throw CFailure(path + ": cannot write the image in the \"" + ExtensionKey(path) +
                       "\" format");
}

CRegions ReadOverlayRegions(const std::string& path, const CMImage& image) {
    COverlayPlacement placement;
    placement.imageWidth = image.width;
    placement.imageHeight = image.height;
    std::string description, failure;
    int16_t subtlety = 0;
    CRegions regions, ros;
    if (!ReadOverlay(path, placement, description, subtlety, regions, ros, &failure))
        throw CFailure(path + ": " + failure);
    return regions;
}

void PrintJson(const CJsonWriter& json) {
    std::fwrite(json.Text().data(), 1, json.Text().size(), stdout);
    std::fputc('\n', stdout);
    // A result that did not reach its reader (full disk, closed pipe) is no result.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw CFailure(std::string("stdout: cannot write the result: ") + std::strerror(errno));
}

CTerminalProgress::CTerminalProgress(std::string label)
    : CTerminalProgress(std::move(label), isatty(STDERR_FILENO) == 1) {}

CTerminalProgress::CTerminalProgress(std::string label, bool terminal)
    : label_(std::move(label)), terminal_(terminal) {}

CTerminalProgress::~CTerminalProgress() {
    if (shown_ < 0) return;
    // Spaces over the whole line, then back to its start for what follows.
    std::fprintf(stderr, "\r%*s\r", int(label_.size()) + 5, "");
    std::fflush(stderr);
}

ProgressFn CTerminalProgress::Fn() {
    if (!terminal_) return {};
    return [this](double fraction) {
        const int percent = fraction >= 0.0 ? int(std::min(fraction, 1.0) * 100.0) : 0;
        if (percent != shown_) {
            shown_ = percent;
            std::fprintf(stderr, "\r%s %d%%", label_.c_str(), percent);
            std::fflush(stderr);
        }
        return true;
    };
}

std::string ExecutableFolder() {
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return ".";
    buffer.resize(static_cast<std::size_t>(length));
    const auto slash = buffer.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return buffer.substr(0, slash);
}

}  // namespace vistrel::cli
