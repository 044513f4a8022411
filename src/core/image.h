#pragma once
// The grey-level image used everywhere: an uncompressed raster of 1-, 4-, 8- or
// 9..16-bit unsigned samples (rows top first, no padding), with a cached
// histogram, an optional opaque DICOM header block and a value offset
// (stored sample - valueOffset = true value).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/histogram.h"

namespace vistrel {

// Rectangle with exclusive right and bottom edges.
struct CRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const CRect&) const = default;
};

// Rasters larger than this are refused rather than allocated: no real mammogram
// comes near it, while a corrupt header easily asks for terabytes.
inline constexpr std::int64_t kMaxImageBytes = std::int64_t{1} << 32;

// True for the depths a raster can have: 1, 4, 8 and 9..16.
constexpr bool IsSupportedDepth(int depth) {
    return depth == 1 || depth == 4 || (depth >= 8 && depth <= 16);
}
// Bytes per row of a raster of that width and depth; -1 when the depth is
// unsupported or the width is not positive or too large.
std::int64_t RowBytesFor(int32_t width, int depth);

class CMImageBase {
public:
    CMImageBase() = default;
    CMImageBase(const CMImageBase& other);
    CMImageBase& operator=(const CMImageBase& other);
    virtual ~CMImageBase();

    // Pixel access; 0 outside the image or for an unsupported depth.
    int16_t GetPixel(int32_t x, int32_t y) const;
    // Writes the low bits of value at (x, y); 0 outside the image. The cached
    // histogram of a CMImage is not touched.
    int SetPixel(int32_t x, int32_t y, int32_t value);
    // The same layouts on a caller's buffer; no bounds check.
    static int16_t GetPixelIn(const uint8_t* buffer, int32_t bytesPerRow, int depth, int32_t x,
                              int32_t y);
    static void SetPixelIn(uint8_t* buffer, int32_t bytesPerRow, int depth, int32_t x, int32_t y,
                           int32_t value);

    bool IsValid() const { return data && bytesPerRow > 0 && width > 0 && height > 0 && depth != 0; }
    // Frees any buffer, then allocates width x height at depth. False (and an
    // empty image) on an unsupported depth, bad size or failed allocation.
    bool Create(int32_t width, int32_t height, int depth, uint32_t zeroFill = 0);
    void Free();
    int Clear();
    // Intersects rect with the image; -1 when the intersection is empty.
    int ClipRect(CRect& rect) const;
    // Replaces the raster by the clipped rectangle; -1 on failure.
    int Crop(CRect rect);
    bool IsEqual(const CMImageBase& other) const;

    // Typed row access for hot loops (no bounds check).
    uint8_t* Row(int32_t y) { return data + static_cast<std::ptrdiff_t>(y) * bytesPerRow; }
    const uint8_t* Row(int32_t y) const {
        return data + static_cast<std::ptrdiff_t>(y) * bytesPerRow;
    }
    uint16_t* Row16(int32_t y) { return reinterpret_cast<uint16_t*>(Row(y)); }
    const uint16_t* Row16(int32_t y) const { return reinterpret_cast<const uint16_t*>(Row(y)); }
    std::size_t ByteCount() const {
        return static_cast<std::size_t>(bytesPerRow) * static_cast<std::size_t>(height);
    }

    // Fields, in the documented order.
    uint32_t zeroFill = 0;
    uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerRow = 0;
    uint8_t depth = 0;
    uint16_t maxValue = 0;

protected:
    void CopyRasterFrom(const CMImageBase& other, uint32_t allocationMode);
};

// Two opaque byte blocks owned by the DICOM engine; never interpreted here.
struct DicomHeaderBlock {
    uint8_t* block1 = nullptr;
    uint32_t length1 = 0;
    uint8_t* block2 = nullptr;
    uint32_t length2 = 0;

    DicomHeaderBlock() = default;
    DicomHeaderBlock(const DicomHeaderBlock& other);
    DicomHeaderBlock& operator=(const DicomHeaderBlock&) = delete;
    ~DicomHeaderBlock();
};

// What the workstation shows or measures from a DICOM header; empty/0 when
// the image did not come from DICOM or the header lacks the attribute.
struct CDicomAttributes {
    std::string photometric;                // "MONOCHROME1", "MONOCHROME2", "RGB", ...
    double imagerPixelSpacing[2] = {0, 0};  // (0018,1164) row, column spacing in mm
    double pixelSpacing[2] = {0, 0};        // (0028,0030) row, column spacing in mm
};

// RAW reading needs what the file does not say.
struct CRawParams {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 8;
    bool msbAligned = false;  // 12/14-bit samples in the top bits of their words
};
// Supplies the RAW parameters for a file (the shell shows its dialog, the
// command-line tool takes --raw). False means the user cancelled.
using RawParamsFn = std::function<bool(const std::string& path, CRawParams& params)>;

class CMImage : public CMImageBase {
public:
    CMImage() = default;
    CMImage(int32_t width, int32_t height, int depth, uint16_t valueOffset = 0);
    CMImage(const CMImage& other);
    CMImage& operator=(const CMImage& other) {
        Assign(other);
        return *this;
    }
    ~CMImage() override;

    // Empties this image completely, then copies raster, header and offset of a valid source.
    void Assign(const CMImage& other);
    // Exchanges everything with another image (used when swapping current and original).
    void Swap(CMImage& other) noexcept;
    void Free();

    // A copy of the clipped rectangle (value offset 0, no header); null on failure.
    std::unique_ptr<CMImage> SubImage(CRect rect) const;

    // In place: s -> maxValue - s.
    void Reverse();
    // In place, depth > 8 only: exchanges the two bytes of every sample.
    void SwapBytes();
    // Changes the nominal depth (9..16 relabels, 8 converts the displayed bits).
    // shift and displayBits are the document's display-mapping values.
    void SetDepth(int newDepth, uint8_t& shift, uint8_t& displayBits);
    // Shifts every 16-bit sample by 16 - depth bits: right when direction != 0.
    void ShiftSamples(int direction);

    CHistogram& GetHistogram();
    CHistogram& GetHistogramUnderMask(const CMImageBase& mask);
    CHistogram GetHistogramInRect(CRect rect);
    CHistogram GetHistogramInRectUnderMask(CRect rect, const CMImageBase& mask);
    // Lowest and highest occupied true values.
    void GetValueRange(int32_t& minV, int32_t& maxV);
    float GetMean();
    float GetStdDev();
    // Empties the cached histogram (after changing pixels with SetPixel).
    void InvalidateHistogram() { histogram.Reset(); }

    // File dispatchers (by extension key); 1 on success, 0 on failure.
    // Open empties the image first; comment lines of the file are appended to
    // description. colourMode selects the grey conversion of colour pictures.
    int Open(const std::string& path, std::string& description, int colourMode = 0,
             const RawParamsFn& rawParams = {});
    // byteOrderLM selects the PGX byte order (LM when true).
    int Save(bool byteOrderLM, const std::string& path) const;

    // Native readers and writers; 1 on success, 0 on failure.
    int ReadPgx(const std::string& path, std::string& description);
    int ReadPgm(const std::string& path, std::string& description);
    int ReadRaw(const std::string& path, int32_t width, int32_t height, int depth,
                bool msbAligned);
    int WritePgx(bool byteOrderLM, const std::string& path) const;
    int WritePgm(const std::string& path) const;
    int WriteRaw(const std::string& path) const;

    // Fields, in the documented order.
    CHistogram histogram;
    DicomHeaderBlock* dicomHeader = nullptr;
    uint16_t valueOffset = 0;
    CDicomAttributes dicomAttributes;

private:
    void FillHistogram(const CMImageBase* mask, const CRect* rect, CHistogram& target) const;
    int OpenByExtension(const std::string& path, std::string& description, int colourMode,
                        const RawParamsFn& rawParams);
};

// Why the last CMImage::Open on this thread failed, in words for the user
// ("the file was not found", ...); empty when it succeeded or the reader had
// nothing to say. Open clears it; the readers set it when they refuse a file.
std::string LastOpenFailure();
void SetOpenFailure(const std::string& reason);
void ClearOpenFailure();
// What is wrong with path as a file (not found, a folder, unreadable, empty),
// for a reader that could not say more; else that it is no readable image.
std::string DescribeUnreadableFile(const std::string& path);

// The file name's extension cut to three characters, lower case.
std::string ExtensionKey(const std::string& path);

// Images from m[x][y] matrices; the matrices are changed in place (shifted by
// min). Depth follows the value range; null for bad input.
std::unique_ptr<CMImage> FromIntMatrix(int32_t** m, int32_t width, int32_t height, int32_t max,
                                       int32_t min);
std::unique_ptr<CMImage> FromRealMatrix(float** m, int32_t width, int32_t height, float max,
                                        float min);
// Depth for a matrix value range r (may exceed 16; the caller shifts).
int DepthForRange(int64_t range);

}  // namespace vistrel
