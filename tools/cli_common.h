#pragma once
// What several subcommands share: reading and writing images through the
// library's dispatchers with clear failure reasons, the --raw and
// --byte-order options, the result document and the program's folder.

#include <memory>
#include <optional>
#include <string>

#include "cli_args.h"
#include "core/image.h"
#include "core/messages.h"
#include "json_writer.h"
#include "regions/regions.h"

namespace vistrel::cli {

// "W,H,DEPTH[,msb|lsb]" -> RAW parameters; CUsageError when malformed.
CRawParams ParseRawOption(const std::string& text);
// The --raw option of a parsed command line, when given.
std::optional<CRawParams> RawOptionOf(const CParsedArgs& args);
// "LM" (the default when absent) -> true, "ML" -> false; CUsageError otherwise.
bool ByteOrderLMOf(const CParsedArgs& args);

// Reads an image through CMImage::Open. Throws CFailure naming the file and
// the reason when it cannot be read (including RAW input without --raw).
std::unique_ptr<CMImage> LoadImage(const std::string& path, const std::optional<CRawParams>& raw,
                                   std::string& description);
// Writes through CMImage::Save; throws CFailure when nothing was written.
void SaveImage(const CMImage& image, bool byteOrderLM, const std::string& path);

// The regions of an OVERLAY file, placed on the image as the workstation
// places them; throws CFailure naming the file when it cannot be read.
CRegions ReadOverlayRegions(const std::string& path, const CMImage& image);

// Prints the finished result document on stdout.
void PrintJson(const CJsonWriter& json);

// Progress of long work on stderr while it is a terminal: one line
// "\r<label> 45%" rewritten as the percentage grows and cleared when the
// object goes. In a pipe or file nothing is written (Fn() is then empty, and
// the work runs without reporting), so scripts see the same output as before.
class CTerminalProgress {
  public:
    explicit CTerminalProgress(std::string label);
    // terminal chooses instead of asking whether stderr is one.
    CTerminalProgress(std::string label, bool terminal);
    ~CTerminalProgress();
    CTerminalProgress(const CTerminalProgress&) = delete;
    CTerminalProgress& operator=(const CTerminalProgress&) = delete;
    ProgressFn Fn();

  private:
    std::string label_;
    bool terminal_;
    int shown_ = -1;  // percentage on the line, -1 while it is empty
};

// Folder of the running executable (from /proc/self/exe), without a trailing slash.
std::string ExecutableFolder();

}  // namespace vistrel::cli
