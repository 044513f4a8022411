#include "core/dicom_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "core/atomic_file.h"
#include "core/dicom_dictionary.h"
#include "core/dicom_log.h"
#include "core/dicom_rle.h"
#include "core/image.h"

namespace vistrel {

namespace {

constexpr uint32_t kUndefinedLength = 0xFFFFFFFFu;
constexpr uint16_t kItemGroup = 0xFFFE;
constexpr uint16_t kItem = 0xE000;
constexpr uint16_t kItemDelimiter = 0xE00D;
constexpr uint16_t kSequenceDelimiter = 0xE0DD;
// Real files nest a handful of levels; anything deeper is corrupt, and the
// stack of open sequences must stay bounded.
constexpr std::size_t kMaxSequenceDepth = 32;

constexpr uint16_t kVrOB = DicomVrCode('O', 'B');
constexpr uint16_t kVrOW = DicomVrCode('O', 'W');
constexpr uint16_t kVrSQ = DicomVrCode('S', 'Q');
constexpr uint16_t kVrUN = DicomVrCode('U', 'N');

// VRs whose explicit form has two reserved bytes and a 32-bit length.
bool IsLongVr(uint16_t vr) {
    static constexpr uint16_t kLong[] = {kVrOB,
                                         kVrOW,
                                         kVrSQ,
                                         kVrUN,
                                         DicomVrCode('U', 'T'),
                                         DicomVrCode('O', 'F'),
                                         DicomVrCode('O', 'D'),
                                         DicomVrCode('O', 'L'),
                                         DicomVrCode('O', 'V'),
                                         DicomVrCode('U', 'C'),
                                         DicomVrCode('U', 'R'),
                                         DicomVrCode('S', 'V'),
                                         DicomVrCode('U', 'V')};
    return std::find(std::begin(kLong), std::end(kLong), vr) != std::end(kLong);
}

// The value representations of the standard; anything else in an explicit-VR
// meta group means the bytes are not what they claim to be.
bool IsKnownVr(uint16_t vr) {
    static constexpr char kKnown[][3] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL",
                                         "IS", "LO", "LT", "OB", "OD", "OF", "OL", "OV", "OW",
                                         "PN", "SH", "SL", "SQ", "SS", "ST", "SV", "TM", "UC",
                                         "UI", "UL", "UN", "UR", "US", "UT", "UV"};
    for (const char* known : kKnown) {
        if (vr == DicomVrCode(known[0], known[1])) return true;
    }
    return false;
}

// The first two numbers of a decimal-string value ("0.5\0.5").
void ReadTwoDecimals(const std::string& text, double (&values)[2]) {
    std::size_t at = 0;
    for (double& value : values) {
        const std::size_t cut = text.find('\\', at);
        const std::string part =
            text.substr(at, cut == std::string::npos ? std::string::npos : cut - at);
        char* end = nullptr;
        const double number = std::strtod(part.c_str(), &end);
        value = end != part.c_str() && std::isfinite(number) && number > 0 ? number : 0.0;
        if (cut == std::string::npos) break;
        at = cut + 1;
    }
}

std::string VrText(uint16_t vr) {
    std::string text;
    for (const int shift : {8, 0}) {
        const unsigned char c = static_cast<unsigned char>(vr >> shift);
        text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return text;
}

std::string TagText(uint16_t group, uint16_t element) {
    char text[16];
    std::snprintf(text, sizeof text, "(%04X,%04X)", group, element);
    return text;
}

bool LogEnabled(DicomLogLevel level) {
    return static_cast<int>(level) <= static_cast<int>(GetDicomLogLevel());
}

void Warn(const char* function, const std::string& text) {
    DicomLog(DicomLogLevel::Warning, function, text);
}
bool Fail(const char* function, const std::string& text) {
    DicomLog(DicomLogLevel::Error, function, text);
    return false;
}

enum class Compression { None, Jpeg, Rle };
enum class Photometric { Monochrome2, Monochrome1, Palette, Rgb, Hsv, Argb, Cmyk, Unknown };

Photometric ParsePhotometric(const std::string& text) {
    static const struct {
        const char* name;
        Photometric kind;
    } kNames[] = {{"MONOCHROME2", Photometric::Monochrome2},
                  {"MONOCHROME1", Photometric::Monochrome1},
                  {"PALETTE COLOR", Photometric::Palette},
                  {"RGB", Photometric::Rgb},
                  {"HSV", Photometric::Hsv},
                  {"ARGB", Photometric::Argb},
                  {"CMYK", Photometric::Cmyk}};
    for (const auto& entry : kNames) {
        if (text == entry.name) return entry.kind;
    }
    return Photometric::Unknown;
}

// A text value without the padding DICOM adds (spaces, NULs).
std::string TrimmedText(const uint8_t* value, std::size_t length) {
    std::string text(reinterpret_cast<const char*>(value), length);
    const std::size_t last = text.find_last_not_of(std::string(" \0", 2));
    text.erase(last == std::string::npos ? 0 : last + 1);
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

// What group 0028 says about the image, and where its pixels are.
struct ImageFacts {
    uint16_t samplesPerPixel = 1;
    Photometric photometric = Photometric::Monochrome2;
    uint16_t planar = 0;
    uint32_t frames = 1;
    uint16_t rows = 0;
    uint16_t columns = 0;
    uint16_t bitsAllocated = 0;
    uint16_t bitsStored = 0;
    uint16_t highBit = 0;
    bool highBitSeen = false;
    uint16_t pixelRepresentation = 0;
    uint16_t paletteDescriptor[3][3] = {};
    bool paletteDescriptorValid[3] = {};
    std::vector<uint16_t> palette[3];
};

struct Element {
    uint16_t group = 0;
    uint16_t element = 0;
    uint16_t vr = 0;
    uint32_t length = 0;
    bool explicitVr = false;  // the VR came from the file, not the dictionary
};

// The sample conversion: one 16-bit value per sample from the stored bits,
// signed data shifted to start at 0, colour turned into 8-bit RGB triples.
// `pixels` holds at least one frame (checked by the caller).
bool dicom_transform(ImageFacts facts, const uint8_t* pixels, std::size_t length, bool bigEndian,
                     int parametric, DicomImage& out) {
    const char* fn = "dicom_transform()";
    const int allocated = facts.bitsAllocated;
    if (allocated > 16) Warn(fn, "Large BitsAllocated");
    int stored = facts.bitsStored;
    if (stored == 0 || stored > allocated) {
        Warn(fn, "Wrong BitsStored");
        stored = allocated;
    }
    int high = facts.highBit;
    if (high >= allocated || high + 1 < stored) {
        Warn(fn, "Wrong HighBit");
        high = stored - 1;
    } else if (facts.pixelRepresentation != 0 && high != stored - 1) {
        Warn(fn, "Wrong HighBit");
    }
    const int shift = high + 1 - stored;
    const uint32_t mask = stored >= 32 ? 0xFFFFFFFFu : (1u << stored) - 1u;
    // Above 16 significant bits only the top 16 are kept.
    const int reduce = stored > 16 ? stored - 16 : 0;
    const int bits = stored - reduce;

    const std::size_t pixelCount = std::size_t{facts.rows} * facts.columns;
    const std::size_t count = pixelCount * facts.samplesPerPixel;
    std::vector<int32_t> values(count);
    const auto word16 = [&](std::size_t i) -> uint32_t {
        const uint8_t* p = pixels + 2 * i;
        return bigEndian ? (uint32_t{p[0]} << 8) | p[1] : p[0] | (uint32_t{p[1]} << 8);
    };
    for (std::size_t i = 0; i < count; ++i) {
        uint32_t raw = 0;
        switch (allocated) {
            case 8:
                raw = pixels[i];
                break;
            case 16:
                raw = word16(i);
                break;
            case 12: {
                // Two samples in three bytes: the first takes the low nibble
                // of the middle byte as its top bits, the second the high one.
                const uint8_t* p = pixels + 3 * (i / 2);
                raw = (i % 2 == 0) ? p[0] | ((uint32_t{p[1]} & 0x0F) << 8)
                                   : (uint32_t{p[2]} << 4) | (p[1] >> 4);
                break;
            }
            case 32: {
                const uint8_t* p = pixels + 4 * i;
                raw = bigEndian ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
                                      (uint32_t{p[2]} << 8) | p[3]
                                : p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
                                      (uint32_t{p[3]} << 24);
                break;
            }
        }
        uint32_t value = ((raw >> shift) & mask) >> reduce;
        int32_t signedValue = static_cast<int32_t>(value);
        if (facts.pixelRepresentation != 0 && bits > 0 && (value & (1u << (bits - 1))) != 0) {
            signedValue -= int32_t{1} << bits;
        }
        values[i] = signedValue;
    }
    (void)length;

    const bool isSigned = facts.pixelRepresentation != 0;
    switch (facts.photometric) {
        case Photometric::Rgb: {
            if (facts.samplesPerPixel != 3) return Fail(fn, "Wrong SamplesPerPixel for RGB");
            out.colour = true;
            out.samples.resize(count);
            const int down = bits > 8 ? bits - 8 : 0;
            for (std::size_t i = 0; i < pixelCount; ++i) {
                for (std::size_t c = 0; c < 3; ++c) {
                    // Planar data hold all reds, then all greens, then all blues.
                    const std::size_t from = facts.planar ? c * pixelCount + i : 3 * i + c;
                    const int32_t v = std::max(values[from], 0) >> down;
                    out.samples[3 * i + c] = static_cast<uint16_t>(std::min(v, 255));
                }
            }
            return true;
        }
        case Photometric::Palette: {
            if (facts.samplesPerPixel != 1) return Fail(fn, "Wrong SamplesPerPixel for palette");
            for (int c = 0; c < 3; ++c) {
                if (!facts.paletteDescriptorValid[c] || facts.palette[c].empty()) {
                    return Fail(fn, "Missing PaletteColorLookupTable");
                }
            }
            out.colour = true;
            out.samples.resize(pixelCount * 3);
            for (int c = 0; c < 3; ++c) {
                const uint16_t* d = facts.paletteDescriptor[c];
                const std::vector<uint16_t>& table = facts.palette[c];
                const std::size_t entries =
                    std::min<std::size_t>(d[0] == 0 ? 65536 : d[0], table.size());
                // The first mapped value has the sign of the pixel data.
                const int32_t first = isSigned ? static_cast<int16_t>(d[1]) : d[1];
                const bool wide = d[2] > 8;
                for (std::size_t i = 0; i < pixelCount; ++i) {
                    const int64_t index = std::clamp<int64_t>(int64_t{values[i]} - first, 0,
                                                              static_cast<int64_t>(entries) - 1);
                    const uint16_t entry = table[static_cast<std::size_t>(index)];
                    out.samples[3 * i + c] = wide ? entry >> 8 : entry & 0xFF;
                }
            }
            return true;
        }
        case Photometric::Monochrome1:
        case Photometric::Monochrome2:
        case Photometric::Unknown:
            if (facts.samplesPerPixel != 1) {
                return Fail(fn, "Unsupported PhotometricInterpretation");
            }
            break;
        case Photometric::Hsv:
        case Photometric::Argb:
        case Photometric::Cmyk:
            return Fail(fn, "Unsupported PhotometricInterpretation");
    }

    // Grey samples keep their stored polarity: no rescaling, no inversion.
    out.colour = false;
    out.samples.resize(count);
    int32_t minimum = 0;
    if (isSigned && parametric && count > 0) {
        minimum = *std::min_element(values.begin(), values.end());
    }
    for (std::size_t i = 0; i < count; ++i) {
        out.samples[i] = static_cast<uint16_t>(values[i] - minimum);
    }
    return true;
}

class DicomParser {
  public:
    DicomParser(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool dicom_open();
    bool dicom_single(DicomImage& out, int parametric);
    void dicom_check(DicomStructure& out);

  private:
    enum class Step { Element, End };
    enum class Walk { Handled, Value, Fail };

    Step dicom_element(Element& e);
    Walk dicom_sequence(const Element& e);
    void dicom_transfer();

    uint16_t U16(std::size_t at, bool big) const {
        return big ? static_cast<uint16_t>((data_[at] << 8) | data_[at + 1])
                   : static_cast<uint16_t>(data_[at] | (data_[at + 1] << 8));
    }
    uint32_t U32(std::size_t at, bool big) const {
        const uint32_t a = U16(at, big);
        const uint32_t b = U16(at + 2, big);
        return big ? (a << 16) | b : a | (b << 16);
    }
    std::size_t Remaining() const { return size_ - pos_; }
    bool SkipValue(const Element& e);
    bool SkipFragments();
    void CloseFinishedSequences();
    void TakeImageElement(const Element& e, ImageFacts& facts);
    bool ReadPixels(const Element& e, ImageFacts& facts, DicomImage& out, int parametric);
    // The first fragment of encapsulated pixel data; the position ends after it.
    bool FirstFragment(const uint8_t*& fragment, std::size_t& length);

    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;

    // Byte order and VR mode of the file meta group and of the data set.
    bool metaBig_ = false;
    bool metaExplicit_ = true;
    bool dataBig_ = false;
    bool dataExplicit_ = true;
    bool metaPending_ = false;  // after the preamble, until the meta group ends
    bool metaSeen_ = false;     // a meta group in a file without preamble
    bool metaDone_ = false;
    bool pixelsBig_ = false;  // a vendor syntax stores the pixels big endian
    bool vendorSyntax_ = false;
    bool ezDicomFix_ = false;
    Compression compression_ = Compression::None;
    std::string transferSyntax_;

    struct OpenSequence {
        std::size_t end;  // for defined lengths
        bool undefined;
    };
    std::vector<OpenSequence> sequences_;
};

bool DicomParser::dicom_open() {
    const char* fn = "dicom_open()";
    if (size_ < 132) return Fail(fn, "Unexpected end of file");
    if (std::memcmp(data_ + 128, "DICM", 4) == 0) {
        DicomLog(DicomLogLevel::Info, fn, "Dicom preamble");
        // The first tag and the two bytes after it must be there to look at.
        if (size_ < 138) return Fail(fn, "Unexpected end of file");
        if (LogEnabled(DicomLogLevel::Info)) {
            std::string text;
            for (std::size_t i = 0; i < 128; ++i) {
                if (data_[i] >= 0x20 && data_[i] < 0x7F)
                    text.push_back(static_cast<char>(data_[i]));
            }
            if (!text.empty()) DicomLog(DicomLogLevel::Info, fn, text);
        }
        // The meta group is explicit little endian; the VR after the first
        // tag tells how the data set starts if no transfer syntax follows.
        metaBig_ = false;
        metaExplicit_ = true;
        dataBig_ = false;
        dataExplicit_ = data_[136] == 'U' && data_[137] == 'L';
        metaPending_ = true;
        pos_ = 132;
        return true;
    }
    // No preamble: guess from the first tag. A little-endian group has its
    // low byte first (non-zero for the usual groups); explicit VRs put two
    // letters where an implicit length has its (zero) upper bytes.
    pos_ = 0;
    dataBig_ = data_[0] == 0;
    dataExplicit_ = dataBig_ ? data_[4] != 0 : data_[5] != 0;
    metaBig_ = dataBig_;
    metaExplicit_ = dataExplicit_;
    return true;
}

void DicomParser::dicom_transfer() {
    const char* fn = "dicom_transfer()";
    const std::string& uid = transferSyntax_;
    const auto startsWith = [&](const char* prefix) { return uid.rfind(prefix, 0) == 0; };
    if (uid.empty()) {
        Warn(fn, "No transfer syntax found");
        return;
    }
    if (startsWith("1.2.840.113619.5.2")) {
        dataBig_ = false;
        dataExplicit_ = false;
        vendorSyntax_ = true;
        pixelsBig_ = true;
        return;
    }
    if (!startsWith("1.2.840.10008.1.2")) {
        Warn(fn, "Transfer syntax is not DICOM");
        return;
    }
    if (startsWith("1.2.840.10008.1.2.4")) {
        compression_ = Compression::Jpeg;
        dataBig_ = false;
        dataExplicit_ = true;
        DicomLog(DicomLogLevel::Info, fn, "JPEG transfer syntax " + uid);
    } else if (uid == "1.2.840.10008.1.2.5") {
        compression_ = Compression::Rle;
        dataBig_ = false;
        dataExplicit_ = true;
    } else if (uid == "1.2.840.10008.1.2") {
        dataBig_ = false;
        dataExplicit_ = false;
    } else if (uid == "1.2.840.10008.1.2.1") {
        dataBig_ = false;
        dataExplicit_ = true;
    } else if (uid == "1.2.840.10008.1.2.2") {
        dataBig_ = true;
        dataExplicit_ = true;
    } else {
        Warn(fn, "Unknown transfer syntax");
        Warn(fn, uid);
    }
}

DicomParser::Step DicomParser::dicom_element(Element& e) {
    const char* fn = "dicom_element()";
    for (;;) {
        if (Remaining() == 0) return Step::End;
        if (Remaining() < 8) {
            Warn(fn, "Unexpected end of file");
            return Step::End;
        }
        const bool inMeta = metaPending_;
        bool big = inMeta ? metaBig_ : dataBig_;
        const bool explicitVr = inMeta ? metaExplicit_ : dataExplicit_;
        uint16_t group = U16(pos_, big);
        uint16_t element = U16(pos_ + 2, big);
        if (group == 0x0800 && big) {
            // A little-endian file announced as big endian.
            Warn(fn, "Fix ezDICOM false endian transfer syntax");
            big = false;
            (inMeta ? metaBig_ : dataBig_) = false;
            ezDicomFix_ = true;
            group = U16(pos_, false);
            element = U16(pos_ + 2, false);
        }
        if (group > 0x0007 && (metaPending_ || (metaSeen_ && !metaDone_))) {
            // The file meta group has ended: read this element again with the
            // settings of the data set.
            const bool hadPreamble = metaPending_;
            metaPending_ = false;
            metaDone_ = true;
            if (hadPreamble || !transferSyntax_.empty()) dicom_transfer();
            continue;
        }
        if (group == 0x0002 && !metaPending_ && !metaDone_) metaSeen_ = true;

        std::size_t header = 8;
        e.explicitVr = explicitVr && group != kItemGroup;
        if (!e.explicitVr) {
            e.vr = LookupDicomTag(group, element).vr;
            e.length = U32(pos_ + 4, big);
        } else {
            e.vr = static_cast<uint16_t>((data_[pos_ + 4] << 8) | data_[pos_ + 5]);
            if (IsLongVr(e.vr)) {
                if (Remaining() < 12) {
                    Warn(fn, "Unexpected end of file");
                    return Step::End;
                }
                e.length = U32(pos_ + 8, big);
                header = 12;
            } else {
                e.length = U16(pos_ + 6, big);
            }
        }
        e.group = group;
        e.element = element;
        if (e.length == 13) {
            Warn(fn, "Fix naughty GE tag length");
            e.length = 10;
        } else if (e.length != kUndefinedLength && (e.length & 1) != 0) {
            Warn(fn, "Tag with uneven length");
        }
        pos_ += header;
        if (LogEnabled(DicomLogLevel::Debug)) {
            DicomLog(DicomLogLevel::Debug, fn,
                     TagText(group, element) + " " + VrText(e.vr) + " " +
                         (e.length == kUndefinedLength ? std::string("undefined")
                                                       : std::to_string(e.length)) +
                         " " + LookupDicomTag(group, element).keyword);
        }
        if (group == 0x0002 && element == 0x0010 && e.length != kUndefinedLength &&
            e.length <= Remaining()) {
            transferSyntax_ = TrimmedText(data_ + pos_, e.length);
        }
        return Step::Element;
    }
}

bool DicomParser::SkipValue(const Element& e) {
    if (e.length > Remaining()) {
        return Fail("dicom_element()", "Unexpected end of file in " + TagText(e.group, e.element));
    }
    pos_ += e.length;
    return true;
}

void DicomParser::CloseFinishedSequences() {
    while (!sequences_.empty() && !sequences_.back().undefined && pos_ >= sequences_.back().end) {
        if (pos_ > sequences_.back().end) Warn("dicom_sequence()", "Incorrect sequence length");
        sequences_.pop_back();
    }
}

DicomParser::Walk DicomParser::dicom_sequence(const Element& e) {
    const char* fn = "dicom_sequence()";
    if (e.group == kItemGroup) {
        switch (e.element) {
            case kItem:
                // An item's contents are elements: walk into them.
                if (sequences_.empty()) Warn(fn, "Skip PHILIPS premature item bug");
                return Walk::Handled;
            case kItemDelimiter:
                return Walk::Handled;
            case kSequenceDelimiter:
                if (!sequences_.empty() && sequences_.back().undefined) {
                    sequences_.pop_back();
                } else {
                    Warn(fn, "Incorrect sequence delimiter");
                }
                return Walk::Handled;
            default:
                return Walk::Value;
        }
    }
    const bool undefined = e.length == kUndefinedLength;
    // Undefined-length UN elements are sequences in implicit little endian.
    if (e.vr != kVrSQ && !(undefined && e.vr == kVrUN)) return Walk::Value;
    if (sequences_.size() >= kMaxSequenceDepth) {
        Warn(fn, "Deep sequence hierarchy");
        return Walk::Fail;
    }
    std::size_t end = 0;
    if (!undefined) {
        if (e.length > Remaining()) {
            Warn(fn, "Incorrect sequence length");
            end = size_;
        } else {
            end = pos_ + e.length;
        }
    }
    sequences_.push_back({end, undefined});
    return Walk::Handled;
}

// Encapsulated data (pixel data of an undefined length that we do not decode,
// an icon image for example): items up to the sequence delimiter.
bool DicomParser::SkipFragments() {
    const char* fn = "dicom_sequence()";
    for (;;) {
        if (Remaining() < 8) return Fail(fn, "Unexpected end of file in encapsulated data");
        const uint16_t group = U16(pos_, false);
        const uint16_t element = U16(pos_ + 2, false);
        const uint32_t length = U32(pos_ + 4, false);
        pos_ += 8;
        if (group != kItemGroup) return Fail(fn, "Incorrect encapsulated item");
        if (element == kSequenceDelimiter) return true;
        if (element != kItem || length == kUndefinedLength || length > Remaining()) {
            return Fail(fn, "Incorrect encapsulated item");
        }
        pos_ += length;
    }
}

bool DicomParser::FirstFragment(const uint8_t*& fragment, std::size_t& length) {
    const char* fn = "dicom_single()";
    // Item 0 is the table of frame offsets, item 1 the first frame.
    for (int item = 0; item < 2; ++item) {
        if (Remaining() < 8) return Fail(fn, "Unexpected end of file in encapsulated PixelData");
        const uint16_t group = U16(pos_, false);
        const uint16_t element = U16(pos_ + 2, false);
        const uint32_t itemLength = U32(pos_ + 4, false);
        pos_ += 8;
        if (group != kItemGroup || element != kItem || itemLength == kUndefinedLength ||
            itemLength > Remaining()) {
            return Fail(fn, "Incorrect encapsulated PixelData item");
        }
        fragment = data_ + pos_;
        length = itemLength;
        pos_ += itemLength;
    }
    return true;
}

void DicomParser::TakeImageElement(const Element& e, ImageFacts& facts) {
    const char* fn = "dicom_single()";
    if (e.length == kUndefinedLength || e.length > Remaining()) return;
    const uint8_t* value = data_ + pos_;
    const bool big = dataBig_;
    const auto us = [&](uint16_t& field) {
        if (e.length >= 2) field = U16(pos_, big);
    };
    switch (e.element) {
        case 0x0002:
            us(facts.samplesPerPixel);
            break;
        case 0x0004: {
            const std::string text = TrimmedText(value, e.length);
            facts.photometric = ParsePhotometric(text);
            if (facts.photometric == Photometric::Unknown) {
                Warn(fn, "Unknown PhotometricInterpretation");
            }
            break;
        }
        case 0x0006:
            us(facts.planar);
            break;
        case 0x0008: {
            const std::string text = TrimmedText(value, e.length);
            uint32_t frames = 0;
            for (const char c : text) {
                if (c < '0' || c > '9') break;
                frames = std::min<uint32_t>(frames * 10 + static_cast<uint32_t>(c - '0'), 65535);
            }
            facts.frames = frames == 0 ? 1 : frames;
            break;
        }
        case 0x0010:
            us(facts.rows);
            break;
        case 0x0011:
            us(facts.columns);
            break;
        case 0x0100:
            us(facts.bitsAllocated);
            break;
        case 0x0101:
            us(facts.bitsStored);
            break;
        case 0x0102:
            us(facts.highBit);
            facts.highBitSeen = true;
            break;
        case 0x0103:
            us(facts.pixelRepresentation);
            break;
        case 0x1101:
        case 0x1102:
        case 0x1103: {
            const int c = e.element - 0x1101;
            if (e.length != 6) {
                Warn(fn, "Wrong VM for PaletteColorLookupTableDescriptor");
                facts.paletteDescriptorValid[c] = false;
                break;
            }
            for (int k = 0; k < 3; ++k) facts.paletteDescriptor[c][k] = U16(pos_ + 2 * k, big);
            facts.paletteDescriptorValid[c] = true;
            break;
        }
        case 0x1201:
        case 0x1202:
        case 0x1203: {
            std::vector<uint16_t>& table = facts.palette[e.element - 0x1201];
            table.resize(e.length / 2);
            for (std::size_t k = 0; k < table.size(); ++k) table[k] = U16(pos_ + 2 * k, big);
            break;
        }
        default:
            break;
    }
}

bool DicomParser::ReadPixels(const Element& e, ImageFacts& facts, DicomImage& out, int parametric) {
    const char* fn = "dicom_single()";
    if (facts.rows == 0 || facts.columns == 0) return Fail(fn, "Image without Rows or Columns");
    const int allocated = facts.bitsAllocated;
    if (allocated != 8 && allocated != 12 && allocated != 16 && allocated != 32) {
        return Fail(fn, "Unsupported BitsAllocated " + std::to_string(allocated));
    }
    if (facts.samplesPerPixel != 1 && facts.samplesPerPixel != 3) {
        return Fail(fn, "Unsupported SamplesPerPixel " + std::to_string(facts.samplesPerPixel));
    }
    if (ezDicomFix_ && facts.highBitSeen && facts.highBit == 0) {
        facts.highBit = facts.bitsStored ? facts.bitsStored - 1 : 15;
        Warn(fn, "Wrong ezDICOM high bit value (fixed)");
    }
    const uint64_t samples = uint64_t{facts.rows} * facts.columns * facts.samplesPerPixel;
    const uint64_t frameBytes = (samples * static_cast<uint64_t>(allocated) + 7) / 8;
    if (frameBytes > static_cast<uint64_t>(kMaxImageBytes)) return Fail(fn, "Image too large");
    const uint64_t totalBytes = frameBytes * facts.frames;

    const uint8_t* pixels = nullptr;
    std::size_t available = 0;
    bool big = pixelsBig_ || dataBig_;
    std::vector<uint8_t> decoded;

    if (e.length == kUndefinedLength) {
        if (compression_ != Compression::Rle) {
            return Fail(fn, "Encapsulated PixelData is not implemented yet");
        }
        const uint8_t* fragment = nullptr;
        std::size_t fragmentLength = 0;
        if (!FirstFragment(fragment, fragmentLength)) return false;
        // RLE segments are byte planes: the most significant bytes of every
        // sample first, each colour in its own planes.
        if (allocated % 8 != 0) return Fail(fn, "Decompression failed");
        const int bytesPerSample = allocated / 8;
        const std::size_t planeSize = std::size_t{facts.rows} * facts.columns;
        std::vector<uint8_t> planes;
        if (!mdc_dicom_decomp_rle(fragment, fragmentLength, bytesPerSample * facts.samplesPerPixel,
                                  planeSize, planes)) {
            return Fail(fn, "Decompression failed");
        }
        // Back to native little-endian samples, colours as separate planes.
        decoded.resize(static_cast<std::size_t>(frameBytes));
        for (int c = 0; c < facts.samplesPerPixel; ++c) {
            for (int b = 0; b < bytesPerSample; ++b) {
                const uint8_t* plane =
                    planes.data() + (std::size_t(c) * bytesPerSample + b) * planeSize;
                const int byteInSample = bytesPerSample - 1 - b;
                for (std::size_t i = 0; i < planeSize; ++i) {
                    decoded[(std::size_t(c) * planeSize + i) * bytesPerSample + byteInSample] =
                        plane[i];
                }
            }
        }
        facts.planar = 1;
        pixels = decoded.data();
        available = decoded.size();
        big = false;
    } else {
        if (compression_ != Compression::None) {
            return Fail(fn, "Encapsulated PixelData is not implemented yet");
        }
        uint64_t length = e.length;
        // Only a VR from the file can be wrong; the dictionary's stands for "OB or OW".
        if (e.explicitVr && e.vr == kVrOB && allocated == 16) {
            Warn(fn, "Incorrect OB value representation (fixed)");
        }
        if (e.explicitVr && e.vr == kVrOW && allocated == 8) {
            Warn(fn, "Incorrect OW value representation (fixed)");
        }
        if (allocated == 16 && length * 2 == totalBytes && Remaining() >= totalBytes) {
            // Amira 3.0 wrote the number of pixels where the byte count belongs.
            Warn(fn, "Amira 3.0 pixel data length bug (fixed)");
            length = totalBytes;
        }
        if (length != totalBytes && length != totalBytes + 1) {
            Warn(fn, "Incorrect PixelData length");
        }
        pixels = data_ + pos_;
        available = static_cast<std::size_t>(std::min<uint64_t>(length, Remaining()));
    }
    if (available < frameBytes) {
        return Fail(fn, "Incorrect PixelData length: " + std::to_string(available) + " of " +
                            std::to_string(frameBytes) + " bytes");
    }
    out = DicomImage{};
    out.frames = static_cast<uint16_t>(std::min<uint32_t>(facts.frames, 65535));
    out.width = facts.columns;
    out.height = facts.rows;
    if (!dicom_transform(facts, pixels, available, big, parametric, out)) {
        out = DicomImage{};
        return false;
    }
    return true;
}

bool DicomParser::dicom_single(DicomImage& out, int parametric) {
    const char* fn = "dicom_single()";
    ImageFacts facts;
    for (;;) {
        CloseFinishedSequences();
        Element e;
        if (dicom_element(e) == Step::End) return Fail(fn, "No PixelData found");
        const bool topLevel = sequences_.empty();
        const bool isPixelData =
            e.element == 0x0010 && e.group >= 0x7F00 && e.group <= 0x7FFE && (e.group & 1) == 0;
        if (isPixelData && topLevel) return ReadPixels(e, facts, out, parametric);
        const Walk walk = dicom_sequence(e);
        if (walk == Walk::Fail) return false;
        if (walk == Walk::Handled) continue;
        if (e.length == kUndefinedLength) {
            if (!SkipFragments()) return false;
            continue;
        }
        if (topLevel && e.group == 0x0028) TakeImageElement(e, facts);
        if (!SkipValue(e)) return false;
    }
}

void DicomParser::dicom_check(DicomStructure& out) {
    out = DicomStructure{};
    if (!dicom_open()) return;  // NotDicom
    const bool preamble = metaPending_;
    ImageFacts facts;
    bool pixelsSeen = false;
    std::size_t elements = 0;
    const auto refuse = [&](DicomDefect defect) {
        // Bytes without the preamble that never yield one element are not
        // DICOM at all; with it, they are a damaged DICOM file.
        out.defect = elements == 0 && !preamble ? DicomDefect::NotDicom : defect;
    };
    for (;;) {
        CloseFinishedSequences();
        Element e;
        if (dicom_element(e) == Step::End) {
            // Less than an element header left. A few stray bytes after the
            // pixel data do no harm; anywhere else the file was cut.
            if ((Remaining() > 0 && (!pixelsSeen || !sequences_.empty())) || metaPending_) {
                return refuse(DicomDefect::Truncated);
            }
            break;
        }
        if (metaDone_ && transferSyntax_ == "1.2.840.10008.1.2.1.99") {
            // The data set is a deflate stream: nothing more to walk here.
            out.deflated = true;
            break;
        }
        if (e.explicitVr && !IsKnownVr(e.vr)) {
            return refuse(e.group == 0x0002 ? DicomDefect::DamagedMeta : DicomDefect::BadElement);
        }
        const bool undefined = e.length == kUndefinedLength;
        const bool topLevel = sequences_.empty();
        const bool isPixelData =
            e.element == 0x0010 && e.group >= 0x7F00 && e.group <= 0x7FFE && (e.group & 1) == 0;
        if (!undefined && e.length > Remaining()) {
            // A file cut inside its pixels is the common case; say so.
            return refuse(isPixelData && topLevel && !pixelsSeen ? DicomDefect::PixelDataShort
                                                                 : DicomDefect::Truncated);
        }
        ++elements;
        if (e.group == 0x0002 && e.element == 0x0000 && e.length == 4) {
            // The meta group's length promises the rest of the group.
            if (uint64_t{pos_} + 4 + U32(pos_, false) > size_) {
                return refuse(DicomDefect::Truncated);
            }
        }
        if (isPixelData && topLevel && !pixelsSeen) {
            pixelsSeen = true;
            out.rows = facts.rows;
            out.columns = facts.columns;
            out.frames = facts.frames;
            out.samplesPerPixel = facts.samplesPerPixel;
            out.bitsAllocated = facts.bitsAllocated;
            if (facts.samplesPerPixel == 0 || facts.samplesPerPixel > 4 ||
                facts.bitsAllocated > 64) {
                return refuse(DicomDefect::BadImage);
            }
            if (undefined) {
                out.encapsulated = true;
                if (!SkipFragments()) return refuse(DicomDefect::Truncated);
                continue;
            }
            if (compression_ == Compression::None) {
                const uint64_t frameBytes = (uint64_t{facts.rows} * facts.columns *
                                                 facts.samplesPerPixel * facts.bitsAllocated +
                                             7) /
                                            8;
                const uint64_t needed = frameBytes * facts.frames;
                // Amira wrote the number of 16-bit pixels instead of bytes.
                const bool amira = facts.bitsAllocated == 16 && uint64_t{e.length} * 2 == needed &&
                                   Remaining() >= needed;
                if (needed == 0) return refuse(DicomDefect::NoImage);
                if (e.length < needed && !amira) return refuse(DicomDefect::PixelDataShort);
                if (amira) {
                    pos_ += static_cast<std::size_t>(needed);
                    continue;
                }
            }
            pos_ += e.length;
            continue;
        }
        const Walk walk = dicom_sequence(e);
        if (walk == Walk::Fail) return refuse(DicomDefect::DeepSequences);
        if (walk == Walk::Handled) continue;
        if (undefined) {
            if (!SkipFragments()) return refuse(DicomDefect::Truncated);
            continue;
        }
        if (topLevel) {
            const auto text = [&] { return TrimmedText(data_ + pos_, e.length); };
            if (e.group == 0x0028) {
                TakeImageElement(e, facts);
                if (e.element == 0x0004) out.attributes.photometric = text();
                if (e.element == 0x0030) ReadTwoDecimals(text(), out.attributes.pixelSpacing);
            } else if (e.group == 0x0018 && e.element == 0x1164) {
                ReadTwoDecimals(text(), out.attributes.imagerPixelSpacing);
            }
        }
        pos_ += e.length;
    }
    CloseFinishedSequences();
    out.transferSyntax = transferSyntax_;
    if (elements == 0) return refuse(DicomDefect::NotDicom);
    if (!out.deflated) {
        if (!sequences_.empty()) return refuse(DicomDefect::Truncated);
        if (!pixelsSeen) return refuse(DicomDefect::NoImage);
    }
    out.defect = DicomDefect::None;
}

}  // namespace

int dicom_read_memory(const uint8_t* data, std::size_t size, std::vector<DicomImage>* images,
                      int* count, int parametric) {
    if (!images || !count) return kDicomArgumentMissing;
    images->clear();
    *count = 0;
    if (!data && size > 0) return kDicomArgumentMissing;
    DicomParser parser(data, size);
    if (!parser.dicom_open()) return kDicomCannotOpen;
    DicomImage image;
    if (!parser.dicom_single(image, parametric)) return kDicomNoImages;
    images->push_back(std::move(image));
    *count = 1;
    return kDicomOk;
}

DicomStructure CheckDicomStructure(const uint8_t* data, std::size_t size) {
    DicomStructure structure;
    if (!data) return structure;
    const CDicomLogMute mute;
    DicomParser parser(data, size);
    parser.dicom_check(structure);
    return structure;
}

std::string DescribeDicomDefect(DicomDefect defect) {
    switch (defect) {
        case DicomDefect::None:
            return {};
        case DicomDefect::NotDicom:
            return "The file is not a DICOM file.";
        case DicomDefect::Truncated:
            return "The file is truncated or damaged: an element runs past its end.";
        case DicomDefect::PixelDataShort:
            return "The file is truncated: its pixel data end before the image does.";
        case DicomDefect::DeepSequences:
            return "The file is damaged: its sequences are nested too deeply.";
        case DicomDefect::DamagedMeta:
            return "The file is damaged: its file meta information cannot be read.";
        case DicomDefect::NoImage:
            return "The DICOM file holds no image.";
        case DicomDefect::BadElement:
            return "The file is damaged: an element has no valid value representation.";
        case DicomDefect::BadImage:
            return "The file is damaged: its image description is impossible.";
    }
    return {};
}

int dicom_read(const char* path, std::vector<DicomImage>* images, int* count, int parametric) {
    const char* fn = "dicom_read()";
    if (!path || !*path) return kDicomNoFileName;
    if (!images || !count) return kDicomArgumentMissing;
    images->clear();
    *count = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        DicomLog(DicomLogLevel::Error, "dicom_open()", std::string("Unable to open file ") + path);
        return kDicomCannotOpen;
    }
    std::fclose(file);
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        DicomLog(DicomLogLevel::Error, "dicom_open()", "Error while reading file");
        return kDicomCannotOpen;
    }
    DicomLog(DicomLogLevel::Debug, fn, path);
    return dicom_read_memory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), images,
                             count, parametric);
}

}  // namespace vistrel
