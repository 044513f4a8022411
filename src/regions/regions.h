#pragma once
// A document's regions: an owning, ordered collection with an iteration
// cursor and a selection, plus the operations the commands apply to all or
// some of them (diagnoses, removal, cropping and the geometric transforms that
// keep regions aligned with a rotated, mirrored or cut-out image).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "regions/region.h"

namespace vistrel {

class CRegions {
  public:
    CRegions() = default;
    // Deep copies; cursor and selection of the copy are reset.
    CRegions(const CRegions& other);
    CRegions& operator=(const CRegions& other);
    CRegions(CRegions&& other) noexcept = default;
    CRegions& operator=(CRegions&& other) noexcept = default;
    virtual ~CRegions();

    int32_t Count() const { return static_cast<int32_t>(regions_.size()); }
    bool IsEmpty() const { return regions_.empty(); }
    CRegion* At(int32_t index);
    const CRegion* At(int32_t index) const;

    // Appends a copy unless the region is invalid or an equal one (same start
    // and chain) is present; returns the copy or null.
    CRegion* Add(const CRegion& region);
    // Takes ownership without looking for an equal region, for callers that
    // know their regions are distinct (extraction of disjoint components).
    // Null and invalid regions are refused (null is returned).
    CRegion* Adopt(std::unique_ptr<CRegion> region);

    // Advances the cursor and returns its region; null at the end, which also
    // puts the cursor back before the first region.
    CRegion* Next();
    void ResetCursor() { cursor_ = -1; }
    // Iteration helper for writers: the next region's outline text (blank
    // form), spot text, type, diagnosis and cluster number; false at the end.
    bool NextRegionText(std::string& text, std::string& spotText, char& type, int16_t& diagnosis,
                        int32_t& clusterNumber);

    // Selection: an index or -1.
    int32_t Selected() const { return selected_; }
    void Select(int32_t index);
    CRegion* SelectedRegion();
    // Removes the selected region from the collection and hands it over.
    std::unique_ptr<CRegion> TakeSelected();

    void RemoveAll();
    bool RemoveSelected();
    // Drops null and invalid entries; returns how many.
    int32_t RemoveInvalid();
    // The selected region and every other region lying inside it; returns how many.
    int32_t RemoveClusterAndInside();
    // Every region whose bounds lie in the rectangle; returns how many.
    int32_t RemoveInsideRect(const CRect& rect);
    // Every region whose bounds do not lie in the rectangle; returns how many.
    int32_t RemoveOutside(const CRect& rect);
    // Every cluster outline (cluster number >= 1001); returns how many.
    int32_t RemoveClusterOutlines();

    bool SetDiagnosisOfSelected(int16_t diagnosis);
    // -1 without a selection.
    int32_t GetDiagnosisOfSelected() const;
    void SetDiagnosisOfAll(int16_t diagnosis);
    // The selected region and every region lying inside it; returns how many changed.
    int32_t SetDiagnosisOfSelectedAndInside(int16_t diagnosis);
    // Every region whose bounds lie in the rectangle; returns how many changed.
    int32_t SetDiagnosisInsideRect(const CRect& rect, int16_t diagnosis);

    // Drops every region whose bounds do not lie in the rectangle and moves
    // the others into its coordinates (by its top-left corner); returns the
    // number dropped.
    int32_t CropTo(const CRect& rect);
    // Moves every region (start and spot position) by (-dx, -dy).
    void Translate(int32_t dx, int32_t dy);
    // Mirrors every region's pixels about the image width (x' = width - 1 - x)
    // and retraces them; spot positions are mirrored alike.
    void MirrorHorizontally(int32_t width);
    // The same about the height (y' = height - 1 - y).
    void MirrorVertically(int32_t height);
    // Rotates every region's pixels (and spot position) exactly as an image is
    // rotated by 180, -90 (clockwise) or 90 (counter-clockwise) degrees and
    // retraces them; width and height are the image size after rotation.
    // False (nothing changed) for any other angle.
    bool Rotate(int32_t width, int32_t height, int angle);
    // Adds to every region (cluster < ClusterOutlineNumber(1)) or to the members
    // of one cluster (regions k with ClusterOutlineNumber(k) == `cluster`) its outer
    // neighbours (element 0 = cross, 1 = square) that lie in the rectangle.
    void SmoothByDilation(const CRect& rect, int element, int32_t cluster);

  private:
    template <typename Predicate>
    int32_t RemoveIf(Predicate predicate);
    template <typename Mapping>
    void TransformAll(Mapping mapping);

    std::vector<std::unique_ptr<CRegion>> regions_;
    int32_t cursor_ = -1;
    int32_t selected_ = -1;
};

}  // namespace vistrel
