#include "core/dicom_rle.h"

#include <cstring>

#include "core/dicom_log.h"

namespace vistrel {

namespace {

constexpr const char* kFunction = "mdc_dicom_decomp_rle()";
constexpr std::size_t kHeaderSize = 64;
constexpr int kMaxSegments = 4;  // 32-bit samples at most

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool Fail(const char* reason, std::vector<uint8_t>& out) {
    DicomLog(DicomLogLevel::Error, kFunction, reason);
    out.clear();
    return false;
}

// PackBits: a control byte n in 0..127 copies the next n + 1 bytes, -1..-127
// repeats the next byte 1 - n times, -128 does nothing. Output beyond the plane
// (encoders pad segments to even lengths) is dropped. True when the plane is full.
bool DecodeSegment(const uint8_t* in, std::size_t length, uint8_t* plane, std::size_t planeSize) {
    std::size_t i = 0;
    std::size_t o = 0;
    while (i < length && o < planeSize) {
        const int n = static_cast<int8_t>(in[i++]);
        if (n >= 0) {
            std::size_t count = static_cast<std::size_t>(n) + 1;
            if (count > length - i) count = length - i;
            if (count > planeSize - o) count = planeSize - o;
            std::memcpy(plane + o, in + i, count);
            i += static_cast<std::size_t>(n) + 1;
            o += count;
        } else if (n != -128) {
            if (i >= length) break;
            std::size_t count = static_cast<std::size_t>(1 - n);
            if (count > planeSize - o) count = planeSize - o;
            std::memset(plane + o, in[i++], count);
            o += count;
        }
    }
    return o == planeSize;
}

}  // namespace

bool mdc_dicom_decomp_rle(const uint8_t* fragment, std::size_t length, int planes,
                          std::size_t planeSize, std::vector<uint8_t>& out) {
    out.clear();
    if (!fragment || length < 4) return Fail("RLE - Failure numberSegments", out);
    const uint32_t segments = ReadLe32(fragment);
    if (segments >= 5) return Fail("RLE - Maximum of 32 bits images supported", out);
    if (segments == 0 || static_cast<int>(segments) != planes || planeSize == 0) {
        return Fail("RLE - Failure numberSegments", out);
    }
    if (length < kHeaderSize) return Fail("RLE - Failure header skip", out);

    uint32_t offsets[kMaxSegments + 1];
    for (uint32_t s = 0; s < segments; ++s) {
        offsets[s] = ReadLe32(fragment + 4 + 4 * s);
    }
    offsets[segments] = static_cast<uint32_t>(length > UINT32_MAX ? UINT32_MAX : length);
    for (uint32_t s = 0; s < segments; ++s) {
        // Segments follow the header in order and lie inside the fragment.
        if (offsets[s] < kHeaderSize || offsets[s] > offsets[s + 1]) {
            return Fail("RLE - Failure offsets", out);
        }
    }
    // A PackBits byte pair expands to at most 128 bytes: refuse planes the
    // segments cannot fill before allocating them.
    for (uint32_t s = 0; s < segments; ++s) {
        const std::size_t segmentLength = offsets[s + 1] - offsets[s];
        if (planeSize / 64 > segmentLength) return Fail("RLE - Failure image read", out);
    }
    try {
        out.assign(planeSize * segments, 0);
    } catch (const std::exception&) {
        return Fail("RLE - Out of memory", out);
    }
    for (uint32_t s = 0; s < segments; ++s) {
        if (!DecodeSegment(fragment + offsets[s], offsets[s + 1] - offsets[s],
                           out.data() + s * planeSize, planeSize)) {
            return Fail("RLE - Failure image read", out);
        }
    }
    return true;
}

}  // namespace vistrel
