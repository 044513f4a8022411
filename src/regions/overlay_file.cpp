#include "regions/overlay_file.h"

#include <cctype>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "core/atomic_file.h"
#include "core/text.h"

namespace vistrel {

namespace {

bool Has(std::string_view line, std::string_view word) {
    return line.find(word) != std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// The integer that follows `word` in the line (blanks skipped); false without one.
bool IntegerAfter(std::string_view line, std::string_view word, int64_t& value) {
    const size_t at = line.find(word);
    if (at == std::string_view::npos) return false;
    const std::string rest(line.substr(at + word.size()));
    char* end = nullptr;
    const long long v = std::strtoll(rest.c_str(), &end, 10);
    if (end == rest.c_str()) return false;
    value = v;
    return true;
}

int32_t ClampToInt32(int64_t v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// An outline line ends with '#'. Only that character is cut off, so that a line
// whose '#' is missing does not lose its last code.
CRegion ParseOutline(std::string_view line) {
    if (!line.empty() && line.back() == '#') line.remove_suffix(1);
    return CRegion(line);
}

int16_t DiagnosisOf(std::string_view line) {
    if (Has(line, "BENIGN")) return 0;
    if (Has(line, "MALIGNANT")) return 1;
    return 2;
}

struct RegionHeader {
    std::string line;
    char type = 'o';
    int16_t diagnosis = 2;
    int32_t clusterNumber = 0;
};

RegionHeader ParseRegionHeader(std::string_view line) {
    RegionHeader h;
    h.line = std::string(line);
    h.diagnosis = DiagnosisOf(line);
    char candidate = 'o';
    int64_t number = 0;
    if (Has(line, "IN CLUSTER")) {
        if (IntegerAfter(line, "CLUSTER", number)) h.clusterNumber = ClampToInt32(number);
        candidate = 'm';
    } else if (Has(line, "CLUSTER")) {
        if (IntegerAfter(line, "CLUSTER", number))
            h.clusterNumber = ClampToInt32(number + kClusterOutlineBase);
        candidate = 'c';
    }
    if (Has(line, "FIBRE"))
        h.type = 'f';
    else if (Has(line, "POINT"))
        h.type = 'p';
    else if (Has(line, "MICROCALCIFICATION"))
        h.type = h.clusterNumber != 0 ? candidate : 'm';
    else
        h.type = h.clusterNumber != 0 ? candidate : 'o';
    return h;
}

// The detector attributes of a header: the values after successive '=' signs,
// each ended by the next blank, as scale, response, energy, mean, x, y. A
// missing value reads as the most negative double (integers: the most negative
// int). When the mean ends the line, x and y are not read.
void ParseSpotValues(std::string_view header, CRegion& region) {
    constexpr double kMissing = -DBL_MAX;
    size_t pos = 0;
    bool lineEnded = false;
    auto next = [&](bool& found) -> std::string {
        found = false;
        if (lineEnded) return {};
        const size_t eq = header.find('=', pos);
        if (eq == std::string_view::npos) {
            lineEnded = true;
            return {};
        }
        size_t end = header.find(' ', eq + 1);
        if (end == std::string_view::npos) {
            end = header.size();
            lineEnded = true;
        }
        pos = end;
        found = true;
        return std::string(header.substr(eq + 1, end - eq - 1));
    };
    auto asDouble = [&](const std::string& token, bool found) {
        if (!found) return kMissing;
        char* end = nullptr;
        const double v = std::strtod(token.c_str(), &end);
        return end == token.c_str() ? kMissing : v;
    };
    auto asInt = [&](const std::string& token, bool found) {
        if (!found) return INT32_MIN;
        char* end = nullptr;
        const long long v = std::strtoll(token.c_str(), &end, 10);
        return end == token.c_str() ? INT32_MIN : ClampToInt32(v);
    };
    bool found = false;
    std::string token = next(found);
    region.scale = asInt(token, found);
    token = next(found);
    region.response = asDouble(token, found);
    token = next(found);
    region.energy = asDouble(token, found);
    token = next(found);
    region.mean = asDouble(token, found);
    if (lineEnded) return;
    token = next(found);
    region.spotX = asInt(token, found);
    token = next(found);
    region.spotY = asInt(token, found);
}

std::string TypeKeyword(char type) {
    switch (type) {
        case 'c':
        case 'm':
            return "REGION MICROCALCIFICATION";
        case 'f':
        case 'w':
            return "REGION FIBRE";
        case 'p':
            return "REGION POINT";
        case 't':
            return "TUMOR ";
        case 'd':
            return "DISTORTION ";
        default:
            return "REGION ";
    }
}

std::string WithoutLineBreaks(std::string_view line) {
    std::string clean;
    for (char c : line)
        if (c != '\r' && c != '\n') clean.push_back(c);
    return clean;
}

void AppendDescriptionLine(std::string& description, std::string_view line) {
    const std::string clean = WithoutLineBreaks(line);
    if (clean.empty()) return;
    description += clean;
    description += "\r\n";
}

// The lines of text held one per '\n' (a last line without one counts too).
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool StartsWith(std::string_view line, std::string_view word) {
    return line.substr(0, word.size()) == word;
}

// The lines just before a "BOUNDARY" or "CORE" line that describe the lesion
// whose outline follows: a PATHOLOGY line, or an abnormality block of the
// screening-database layout ("ABNORMALITY n" with its LESION_TYPE,
// ASSESSMENT, SUBTLETY, PATHOLOGY and TOTAL_OUTLINES lines). They belong to
// the outline only when they lead straight to it; anything else in between
// makes them description again, in their place, as they always were.
class CLesionBlock {
  public:
    // An uninterpreted line: joins the block, or is description (after the
    // pending block, which it ends).
    void Take(std::string_view line, std::string& description) {
        std::string clean = WithoutLineBreaks(line);
        if (clean.empty()) return;
        if (StartsWith(clean, "ABNORMALITY ")) {
            Flush(description);
            abnormality_ = true;
        } else if (abnormality_ && IsAbnormalityLine(clean)) {
        } else if (Has(clean, "PATHOLOGY")) {
            Flush(description);
        } else {
            Flush(description);
            AppendDescriptionLine(description, clean);
            return;
        }
        lines_ += clean;
        lines_ += '\n';
    }
    // The pending lines, which now belong to an outline.
    std::string Release() {
        abnormality_ = false;
        return std::exchange(lines_, {});
    }
    void Flush(std::string& description) {
        for (std::string_view line : SplitLines(lines_)) AppendDescriptionLine(description, line);
        Release();
    }

  private:
    static bool IsAbnormalityLine(std::string_view line) {
        for (std::string_view key : {"LESION_TYPE", "ASSESSMENT", "SUBTLETY", "TOTAL_OUTLINES"})
            if (StartsWith(line, key)) return true;
        return Has(line, "PATHOLOGY");
    }

    std::string lines_;
    bool abnormality_ = false;
};

const char* PathologyLine(int16_t diagnosis) {
    return diagnosis == 0   ? "PATHOLOGY BENIGN"
           : diagnosis == 1 ? "PATHOLOGY MALIGNANT"
                            : "PATHOLOGY -";
}

// The lines written before a ROS outline. An outline drawn here gets its
// pathology and "BOUNDARY". One read from a file gets its own lesion lines
// back, with every PATHOLOGY line that no longer states its diagnosis
// replaced, and one added when none does: a reader would otherwise take the
// pathology of whatever precedes the block. The one exception is a CORE
// outline that directly follows an outline of the same pathology, which a
// reader gives that pathology, as its file had it. `previousDiagnosis` is the
// diagnosis of the ROS written just before (-1 when none).
std::string RosLeadLines(const CRegion& ros, int16_t previousDiagnosis) {
    const std::string pathology = PathologyLine(ros.diagnosis);
    std::vector<std::string> lines;
    for (std::string_view line : SplitLines(ros.lesionLines)) lines.emplace_back(line);
    if (lines.empty() || (lines.back() != "BOUNDARY" && lines.back() != "CORE"))
        return pathology + "\nBOUNDARY\n";
    const std::string keyword = lines.back();
    lines.pop_back();
    bool stated = false;
    for (std::string& line : lines) {
        if (!Has(line, "PATHOLOGY")) continue;
        if (DiagnosisOf(line) != ros.diagnosis) line = pathology;
        stated = true;
    }
    const bool inherited = keyword == "CORE" && lines.empty() && previousDiagnosis == ros.diagnosis;
    if (!stated && !inherited) lines.push_back(pathology);
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return text + keyword + '\n';
}

}  // namespace

std::string OverlayRegionHeader(const CRegion& region) {
    std::string header = TypeKeyword(region.type);
    if (header.back() != ' ') header += ' ';
    header += region.diagnosis == 0 ? "BENIGN " : region.diagnosis == 1 ? "MALIGNANT " : " ";
    if (region.clusterNumber != 0) {
        // kClusterOutlineBase itself outlines no cluster: it is written as a member.
        if (region.clusterNumber < ClusterOutlineNumber(1))
            header += Format("IN CLUSTER %d", region.clusterNumber);
        else
            header += Format("CLUSTER %d", ClusterOfNumber(region.clusterNumber));
    }
    header += region.SpotText();
    return header;
}

bool ReadOverlay(const std::string& path, const COverlayPlacement& placement,
                 std::string& description, int16_t& subtlety, CRegions& regions, CRegions& ros,
                 std::string* failure) {
    const auto fail = [failure](const char* reason) {
        if (failure) *failure = reason;
        return false;
    };
    std::string bytes;
    if (path.empty() || !ReadWholeFile(path, bytes)) return fail("cannot read the file");
    // A picture or any other binary file saved under the companion name must
    // not turn into description lines.
    if (bytes.find('\0') != std::string::npos) return fail("not a text file (it holds NUL bytes)");

    CRegions readRegions, readRos;
    int16_t pendingPathology = 1;
    bool expectRos = false;
    bool regionPending = false;
    RegionHeader header;
    // Pathology of the ROS outline on the previous line, for a CORE outline
    // that follows it (-1 when the previous line was something else).
    int16_t previousOutlinePathology = -1;
    CLesionBlock block;
    std::string rosKeyword;

    size_t begin = 0;
    while (begin <= bytes.size()) {
        size_t end = bytes.find('\n', begin);
        if (end == std::string::npos) end = bytes.size();
        const std::string_view line = Trim(std::string_view(bytes).substr(begin, end - begin));
        begin = end + 1;
        const int16_t outlinePathologyBefore = previousOutlinePathology;
        previousOutlinePathology = -1;

        int64_t number = 0;
        if (Has(line, "SUBTLETY") && IntegerAfter(line, "SUBTLETY", number))
            subtlety = static_cast<int16_t>(number);

        if (expectRos) {
            CRegion r = ParseOutline(line);
            if (r.IsValid()) {
                r.diagnosis = pendingPathology;
                r.lesionLines = block.Release() + rosKeyword + '\n';
                readRos.Add(r);
            } else {
                block.Flush(description);
            }
            previousOutlinePathology = pendingPathology;
            pendingPathology = 1;
            expectRos = false;
            continue;
        }
        if (regionPending) {
            regionPending = false;
            CRegion r = ParseOutline(line);
            if (r.IsValid()) {
                block.Flush(description);
                r.type = header.type;
                r.diagnosis = header.diagnosis;
                r.clusterNumber = header.clusterNumber;
                ParseSpotValues(header.line, r);
                readRegions.Add(r);
                continue;
            }
            // No outline followed: the header was an ordinary line that merely
            // contained a keyword ("DISTRIBUTION REGIONAL",
            // "ARCHITECTURAL_DISTORTION"); keep it and read this line afresh.
            block.Take(header.line, description);
        }
        if (line == "BOUNDARY" || line == "CORE") {
            // A CORE outline belongs to the lesion whose boundary precedes it.
            if (line == "CORE" && outlinePathologyBefore >= 0)
                pendingPathology = outlinePathologyBefore;
            rosKeyword = std::string(line);
            expectRos = true;
            continue;
        }
        if (Has(line, "REGION")) {
            header = ParseRegionHeader(line);
            regionPending = true;
            continue;
        }
        if (Has(line, "TUMOR") || Has(line, "DISTORTION")) {
            header = RegionHeader{};
            header.line = std::string(line);
            header.type = Has(line, "TUMOR") ? 't' : 'd';
            header.diagnosis = DiagnosisOf(line);
            regionPending = true;
            continue;
        }
        if (Has(line, "PATHOLOGY")) pendingPathology = DiagnosisOf(line);
        block.Take(line, description);
    }
    if (regionPending) block.Take(header.line, description);
    block.Flush(description);

    // File coordinates are those of the unmirrored source image: mirror them
    // into the mirrored source first (about the source width), then cut out the
    // document's part. Outlines that will be cut away anyway are dropped before
    // mirroring, so that no pixel set of a stray outline is ever built.
    const CRect rect{placement.originX, placement.originY, placement.originX + placement.imageWidth,
                     placement.originY + placement.imageHeight};
    if (placement.autoFlipped) {
        const int32_t width =
            placement.originalWidth != 0 ? placement.originalWidth : placement.imageWidth;
        const CRect unmirrored{width - rect.right, rect.top, width - rect.left, rect.bottom};
        readRegions.RemoveOutside(unmirrored);
        readRos.RemoveOutside(unmirrored);
        readRegions.MirrorHorizontally(width);
        readRos.MirrorHorizontally(width);
    }
    readRegions.CropTo(rect);
    readRos.CropTo(rect);
    for (int32_t i = 0; i < readRegions.Count(); ++i) regions.Add(*readRegions.At(i));
    for (int32_t i = 0; i < readRos.Count(); ++i) ros.Add(*readRos.At(i));
    return true;
}

COverlayWriteResult WriteOverlay(const std::string& path, const std::string& description,
                                 const CRegions& regions, const CRegions& ros,
                                 const COverlayPlacement& placement, bool currentCoordinates) {
    if (description.empty() && regions.IsEmpty() && ros.IsEmpty())
        return COverlayWriteResult::NothingToWrite;
    if (path.empty()) return COverlayWriteResult::Failed;

    CRegions outRos(ros), outRegions(regions);
    outRos.RemoveInvalid();
    outRegions.RemoveInvalid();
    const bool shift = !currentCoordinates;
    if (shift) {
        outRos.Translate(-placement.originX, -placement.originY);
        outRegions.Translate(-placement.originX, -placement.originY);
    }
    if (placement.autoFlipped) {
        const int32_t width =
            shift && placement.originalWidth != 0 ? placement.originalWidth : placement.imageWidth;
        outRos.MirrorHorizontally(width);
        outRegions.MirrorHorizontally(width);
    }

    std::string text;
    for (char c : description)
        if (c != '\r') text.push_back(c);
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    int16_t previousDiagnosis = -1;
    for (int32_t i = 0; i < outRos.Count(); ++i) {
        const CRegion& r = *outRos.At(i);
        const std::string outline = r.ToText(true);
        if (outline.empty()) continue;
        text += RosLeadLines(r, previousDiagnosis);
        text += outline + "#\n";
        previousDiagnosis = r.diagnosis;
    }
    for (int32_t i = 0; i < outRegions.Count(); ++i) {
        const CRegion& r = *outRegions.At(i);
        const std::string outline = r.ToText(true);
        if (outline.empty()) continue;
        text += OverlayRegionHeader(r);
        text += outline + "#\n";
    }
    // Lines end with CR LF, as the files of this family always have.
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') crlf.push_back('\r');
        crlf.push_back(c);
    }
    const bool ok = WriteFileAtomically(path, [&crlf](std::FILE* file) {
        return std::fwrite(crlf.data(), 1, crlf.size(), file) == crlf.size();
    });
    return ok ? COverlayWriteResult::Written : COverlayWriteResult::Failed;
}

}  // namespace vistrel
