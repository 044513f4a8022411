#pragma once
// Responses of the LoG scale space at points, the scale-space paths that link
// them across scales, and the owning spot list with its helpers.

#include <cfloat>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/image.h"
#include "regions/chain_code.h"

namespace vistrel {

// Layout of CPointResponse::values for a detected spot.
enum ESpotValue {
    kSpotScale = 0,
    kSpotResponse = 1,
    kSpotEnergy = 2,
    kSpotMeanMin = 3,
    kSpotStdDevMin = 4,
    kSpotMeanScale = 5,
    kSpotStdDevScale = 6,
};

class CPointResponse {
  public:
    CPointResponse() = default;
    // The first value is left out when it is -DBL_MAX.
    CPointResponse(CPoint point, double response, double firstValue = -DBL_MAX);
    virtual ~CPointResponse() = default;
    CPointResponse(const CPointResponse&) = default;
    CPointResponse& operator=(const CPointResponse&) = default;
    // Declared, as the virtual destructor would otherwise leave only copies:
    // every growth of a vector of responses would copy each value list.
    CPointResponse(CPointResponse&&) noexcept = default;
    CPointResponse& operator=(CPointResponse&&) noexcept = default;

    // Replaces everything: values become [scale, response].
    void Set(CPoint point, double value, double scale);
    void Append(double value) { values.push_back(value); }
    CPoint Point() const { return {x, y}; }
    bool IsSet() const { return !(x == -1 && y == -1); }
    bool operator==(const CPointResponse& other) const {
        return x == other.x && y == other.y && response == other.response && values == other.values;
    }

    int32_t x = -1;
    int32_t y = -1;
    double response = 0.0;
    std::vector<double> values;
};

// The value a spot is reduced to for value index k: the response for k < 0 or
// no values, values[k] inside the list, the last value beyond it.
double SpotValue(const CPointResponse& spot, int k);

// The track of one LoG maximum through the scales minScale..maxScale.
class CLogPath {
  public:
    // Entry 0 is set to (point, response) with values [minScale, response]. A
    // path needs 0 < minScale <= maxScale; otherwise it has no entries.
    CLogPath(int32_t minScale, int32_t maxScale, CPoint point, double response);
    virtual ~CLogPath() = default;
    CLogPath(const CLogPath&) = default;
    CLogPath& operator=(const CLogPath&) = default;
    CLogPath(CLogPath&&) noexcept = default;
    CLogPath& operator=(CLogPath&&) noexcept = default;

    // (-1, -1) when the scale is out of range or the entry unset.
    CPoint PointAt(int32_t scale) const;
    int SetAt(int32_t scale, CPoint point, double response);
    int AppendValueAt(int32_t scale, int32_t x, int32_t y, double value);
    // The entry with the largest response (ties to the larger scale; unset
    // entries never win).
    const CPointResponse* BestEntry() const;
    std::string Describe() const;
    int32_t MinScale() const { return minScale_; }
    int32_t MaxScale() const { return maxScale_; }
    const std::vector<CPointResponse>& Entries() const { return entries_; }

  private:
    int32_t minScale_ = 0;
    int32_t maxScale_ = 0;
    std::vector<CPointResponse> entries_;
};

// An owning, ordered list of spots.
class CSpotList {
  public:
    CSpotList() = default;
    CSpotList(const CSpotList& other) { CopyFrom(other); }
    CSpotList& operator=(const CSpotList& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    CSpotList(CSpotList&&) noexcept = default;
    CSpotList& operator=(CSpotList&&) noexcept = default;
    virtual ~CSpotList() = default;

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    const CPointResponse& operator[](int32_t i) const { return *items_[std::size_t(i)]; }
    CPointResponse& operator[](int32_t i) { return *items_[std::size_t(i)]; }

    void ClearAll() { items_.clear(); }
    // Appends a copy unless an equal spot is present; true when appended.
    bool AddUnique(const CPointResponse& spot);
    // Appends a copy without looking for an equal one (the caller knows it is new).
    void Append(const CPointResponse& spot) {
        items_.push_back(std::make_unique<CPointResponse>(spot));
    }
    void Append(CPointResponse&& spot) {
        items_.push_back(std::make_unique<CPointResponse>(std::move(spot)));
    }
    void Reserve(std::size_t count) { items_.reserve(count); }
    void RemoveLast() {
        if (!items_.empty()) items_.pop_back();
    }
    // Makes this list copies of other's spots at indices, in that order,
    // reusing the spots it holds (their value lists keep their memory).
    void AssignSelection(const CSpotList& other, const std::vector<int32_t>& indices);
    bool AddNew(CPoint point, double response, double firstValue = -DBL_MAX) {
        return AddUnique(CPointResponse(point, response, firstValue));
    }
    void CopyFrom(const CSpotList& other);
    // Clear, then copy the spots whose value k is >= threshold (-DBL_MAX: all).
    void CopyAtLeast(const CSpotList& other, double threshold, int k);
    // Deletes spots outside rect and moves the rest by its top-left corner;
    // returns how many were deleted.
    int32_t CropTo(CRect rect);
    // Minimum and maximum of value k (DBL_MAX and -DBL_MAX when empty).
    void Range(int k, double& min, double& max) const;

  private:
    std::vector<std::unique_ptr<CPointResponse>> items_;
};

// A set of spots by CPointResponse's equality, found through a hash of their
// fields. It refers to spots owned elsewhere, which must outlive it unchanged.
class CSpotSet {
  public:
    explicit CSpotSet(std::size_t expected = 0) { Reserve(expected); }
    // Adds spot unless an equal one is in the set; true when added.
    bool Insert(const CPointResponse& spot);

  private:
    struct CSlot {
        uint64_t hash = 0;
        const CPointResponse* spot = nullptr;  // null for an empty slot
    };
    std::size_t FindSlot(const CPointResponse& spot, uint64_t hash) const;
    void Reserve(std::size_t count);

    std::vector<CSlot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

// Adds spots to a list by AddUnique's rule (a spot equal to one already in the
// list is not added) and in the same order, but finds equal spots through a
// hash of their fields: AddUnique searches the whole list per spot, which is
// quadratic on the tens of thousands of spots of a full-field mammogram. The
// list must not be changed by other means while the adder is in use.
class CUniqueSpotAdder {
  public:
    // Indexes the spots already in list; expected is how many more may come.
    explicit CUniqueSpotAdder(CSpotList& list, std::size_t expected = 0);
    // True when the spot was appended.
    bool Add(const CPointResponse& spot);
    bool Add(CPointResponse&& spot);

  private:
    CSpotList& list_;
    CSpotSet set_;
};

}  // namespace vistrel
