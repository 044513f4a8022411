#pragma once
// Builds small DICOM files byte by byte for the reader tests: any VR mode and
// byte order, with or without preamble and meta group, sequences, encapsulated
// RLE data and deliberately broken pieces.

#include <cstdint>
#include <string>
#include <vector>

namespace dicomtest {

struct Syntax {
    bool explicitVr = true;
    bool bigEndian = false;
};

inline bool IsLongVr(const std::string& vr) {
    for (const char* v : {"OB", "OW", "SQ", "UN", "UT", "OF", "OD", "OL", "OV", "UC", "UR"}) {
        if (vr == v) return true;
    }
    return false;
}

class DicomWriter {
  public:
    explicit DicomWriter(Syntax syntax = {}) : syntax_(syntax) {}

    // 128-byte preamble, "DICM" and a file meta group (always explicit little
    // endian) naming `transferSyntax`; an empty UID writes the group without it.
    DicomWriter& Preamble(const std::string& transferSyntax) {
        bytes.assign(128, 0);
        for (char c : std::string("DICM")) bytes.push_back(static_cast<uint8_t>(c));
        const Syntax data = syntax_;
        syntax_ = Syntax{true, false};
        std::string uid = transferSyntax;
        if (uid.size() % 2) uid.push_back('\0');
        const uint32_t groupLength = uid.empty() ? 0 : 8 + static_cast<uint32_t>(uid.size());
        U32Element(0x0002, 0x0000, "UL", groupLength);
        if (!uid.empty()) Text(0x0002, 0x0010, "UI", transferSyntax);
        syntax_ = data;
        return *this;
    }

    // Element header; `length` as given (0xFFFFFFFF for undefined).
    DicomWriter& Header(uint16_t group, uint16_t element, const std::string& vr, uint32_t length) {
        U16(group);
        U16(element);
        if (syntax_.explicitVr && group != 0xFFFE) {
            bytes.push_back(static_cast<uint8_t>(vr[0]));
            bytes.push_back(static_cast<uint8_t>(vr[1]));
            if (IsLongVr(vr)) {
                U16(0);
                U32(length);
            } else {
                U16(static_cast<uint16_t>(length));
            }
        } else {
            U32(length);
        }
        return *this;
    }

    DicomWriter& Element(uint16_t group, uint16_t element, const std::string& vr,
                         const std::vector<uint8_t>& value) {
        Header(group, element, vr, static_cast<uint32_t>(value.size()));
        return Raw(value);
    }

    DicomWriter& Text(uint16_t group, uint16_t element, const std::string& vr, std::string text) {
        if (text.size() % 2) text.push_back(vr == "UI" ? '\0' : ' ');
        return Element(group, element, vr, std::vector<uint8_t>(text.begin(), text.end()));
    }

    DicomWriter& UsElement(uint16_t group, uint16_t element, uint16_t value) {
        Header(group, element, "US", 2);
        return U16(value);
    }

    DicomWriter& U32Element(uint16_t group, uint16_t element, const std::string& vr,
                            uint32_t value) {
        Header(group, element, vr, 4);
        return U32(value);
    }

    // The group 0028 elements of a grey image.
    DicomWriter& Image(uint16_t rows, uint16_t columns, uint16_t bitsAllocated, uint16_t bitsStored,
                       uint16_t highBit, uint16_t pixelRepresentation = 0,
                       const std::string& photometric = "MONOCHROME2",
                       uint16_t samplesPerPixel = 1) {
        UsElement(0x0028, 0x0002, samplesPerPixel);
        Text(0x0028, 0x0004, "CS", photometric);
        UsElement(0x0028, 0x0010, rows);
        UsElement(0x0028, 0x0011, columns);
        UsElement(0x0028, 0x0100, bitsAllocated);
        UsElement(0x0028, 0x0101, bitsStored);
        UsElement(0x0028, 0x0102, highBit);
        return UsElement(0x0028, 0x0103, pixelRepresentation);
    }

    // Pixel data of 16-bit words in the data set's byte order.
    DicomWriter& Pixels16(const std::vector<uint16_t>& samples, const std::string& vr = "OW") {
        Header(0x7FE0, 0x0010, vr, static_cast<uint32_t>(samples.size() * 2));
        for (uint16_t s : samples) U16(s);
        return *this;
    }

    DicomWriter& Pixels8(const std::vector<uint8_t>& samples, const std::string& vr = "OB") {
        std::vector<uint8_t> value = samples;
        if (value.size() % 2) value.push_back(0);
        return Element(0x7FE0, 0x0010, vr, value);
    }

    // Encapsulated pixel data: an empty offset table, then the fragments.
    DicomWriter& Encapsulated(const std::vector<std::vector<uint8_t>>& fragments) {
        Header(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu);
        Item(0);
        for (const auto& fragment : fragments) {
            Item(static_cast<uint32_t>(fragment.size()));
            Raw(fragment);
        }
        return SequenceDelimiter();
    }

    DicomWriter& Item(uint32_t length) { return Header(0xFFFE, 0xE000, "", length); }
    DicomWriter& ItemDelimiter() { return Header(0xFFFE, 0xE00D, "", 0); }
    DicomWriter& SequenceDelimiter() { return Header(0xFFFE, 0xE0DD, "", 0); }

    DicomWriter& Raw(const std::vector<uint8_t>& value) {
        bytes.insert(bytes.end(), value.begin(), value.end());
        return *this;
    }
    DicomWriter& U16(uint16_t v) {
        if (syntax_.bigEndian) {
            bytes.push_back(static_cast<uint8_t>(v >> 8));
            bytes.push_back(static_cast<uint8_t>(v));
        } else {
            bytes.push_back(static_cast<uint8_t>(v));
            bytes.push_back(static_cast<uint8_t>(v >> 8));
        }
        return *this;
    }
    DicomWriter& U32(uint32_t v) {
        if (syntax_.bigEndian) {
            U16(static_cast<uint16_t>(v >> 16));
            return U16(static_cast<uint16_t>(v));
        }
        U16(static_cast<uint16_t>(v));
        return U16(static_cast<uint16_t>(v >> 16));
    }

    std::vector<uint8_t> bytes;

  private:
    Syntax syntax_;
};

// PackBits as DICOM RLE uses it: literal runs and repeats of up to 128 bytes.
inline std::vector<uint8_t> PackBits(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    std::size_t i = 0;
    while (i < in.size()) {
        std::size_t run = 1;
        while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(1 - static_cast<int>(run)));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        std::size_t literal = 0;
        const std::size_t start = i;
        while (i < in.size() && literal < 128) {
            if (i + 2 < in.size() && in[i] == in[i + 1] && in[i] == in[i + 2]) break;
            ++i;
            ++literal;
        }
        out.push_back(static_cast<uint8_t>(literal - 1));
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(start),
                   in.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (out.size() % 2) out.push_back(0x80);  // no-op padding to an even length
    return out;
}

// An RLE frame of the given byte planes: the 64-byte header with the offsets
// of the segments, then the segments. `segmentCount` overrides the count written.
inline std::vector<uint8_t> RleFrame(const std::vector<std::vector<uint8_t>>& planes,
                                     int segmentCount = -1) {
    std::vector<std::vector<uint8_t>> segments;
    for (const auto& plane : planes) segments.push_back(PackBits(plane));
    std::vector<uint8_t> out(64, 0);
    const auto put32 = [&](std::size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) out[at + k] = static_cast<uint8_t>(v >> (8 * k));
    };
    put32(0, static_cast<uint32_t>(segmentCount < 0 ? segments.size() : segmentCount));
    uint32_t offset = 64;
    for (std::size_t s = 0; s < segments.size() && s < 15; ++s) {
        put32(4 + 4 * s, offset);
        offset += static_cast<uint32_t>(segments[s].size());
    }
    for (const auto& segment : segments) out.insert(out.end(), segment.begin(), segment.end());
    return out;
}

// Byte planes of 16-bit samples: most significant bytes first.
inline std::vector<std::vector<uint8_t>> Planes16(const std::vector<uint16_t>& samples) {
    std::vector<std::vector<uint8_t>> planes(2);
    for (uint16_t s : samples) {
        planes[0].push_back(static_cast<uint8_t>(s >> 8));
        planes[1].push_back(static_cast<uint8_t>(s));
    }
    return planes;
}

}  // namespace dicomtest
