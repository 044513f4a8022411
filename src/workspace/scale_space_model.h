#pragma once
// Model of the "Multiscale spot detector" window: the detector parameters with
// their ranges, the three spot lists (all, selected, in clusters), the
// inverted threshold slider and the texts shown beside it, selection and the
// spot statistics report. Works on images, so that the window binds it to its
// source document.

#include <cfloat>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "detection/point_response.h"
#include "detection/spot_file.h"

namespace vistrel {

class CScaleSpaceModel {
  public:
    struct CRange {
        int min, max;
    };
    static constexpr CRange kScaleRange{2, 20};
    static constexpr CRange kIncrementRange{1, 20};
    static constexpr CRange kLocalMaxRange{3, 20};
    static constexpr CRange kSearchRange{0, 20};
    static constexpr CRange kResTypeRange{-1, 12};
    static constexpr double kDefaultThreshold = 120.0;

    // Parameters; setters clamp into the spin ranges.
    void SetMinScale(int v);
    void SetMaxScale(int v);
    void SetIncrement(int v);
    void SetLocalMaxSide(int v);
    void SetSearchSide(int v);
    int MinScale() const { return minScale_; }
    int MaxScale() const { return maxScale_; }
    int Increment() const { return increment_; }
    int LocalMaxSide() const { return localMaxSide_; }
    int SearchSide() const { return searchSide_; }
    double AutoFactor() const { return autoFactor_; }
    void SetAutoFactor(double f) { autoFactor_ = f; }
    bool KeepMinScale() const { return keepMinScale_; }
    bool OnImage() const { return onImage_; }
    void SetOnImage(bool v) { onImage_ = v; }
    ESpotMark Shape() const { return shape_; }
    void SetShape(ESpotMark s) { shape_ = s; }
    ESpotShow What() const { return what_; }
    void SetWhat(ESpotShow w) { what_ = w; }

    // "Spots": clears the results, runs the detector and prepares the slider.
    // A threshold outside the range of value k over the spots is moved to
    // three quarters of it, as a change of "res type" does, so that the first
    // picture shows spots. The log text is kept for the message shown
    // afterwards. False when the detector found nothing.
    bool Detect(const CMImage& image, const CMImageBase* mask);
    // "Spots from file": clears, loads the spots of a .cnd file (its name sets
    // the five parameters), threshold 120. False when nothing was read.
    bool LoadFromFile(const std::string& path, int32_t width, int32_t height);
    // "Save spots": all spots, image coordinates, no threshold in the name.
    // Returns the file written, or empty when there was nothing to write.
    std::string SaveToFile(const std::string& documentPath) const;
    // "Set Source Doc" and closing of the source: everything is cleared.
    void Clear();

    const CSpotList& Spots() const { return spots_; }
    const CSpotList& Selected() const { return selected_; }
    const CSpotList& InClusters() const { return inClusters_; }
    // The picture of the current choice (what to show, mark shape, background)
    // for image; null for an invalid image. Marks on the image are outlined. Clusters are not made
    // here yet, so "only in clusters" marks nothing and "cluster areas" paints nothing.
    std::unique_ptr<CMImage> Picture(const CMImage& image) const;
    const std::string& Log() const { return log_; }
    bool HasSpots() const { return spots_.Count() > 0; }

    // The inverted slider: range [floor(min), floor(max) + 1] of value k.
    int SliderMin() const { return sliderMin_; }
    int SliderMax() const { return sliderMax_; }
    int SliderPosition() const;
    static constexpr int kTickFrequency = 10;
    static constexpr int kPageSize = 10;
    // A slider move: threshold = min + max - position (clamped), selection re-run.
    void MoveSlider(int position);
    // "res type": range recomputed, threshold at three quarters of it.
    void SetResType(int k);
    int ResType() const { return resType_; }
    // Typed threshold: taken as typed; SubmitThreshold (Enter) applies it once per edit.
    void TypeThreshold(double value);
    bool SubmitThreshold();
    double Threshold() const { return threshold_; }
    // The "min scale" box: cleared removes spots at the minimum scale.
    void SetKeepMinScale(bool keep);
    // "Set automatic threshold".
    void SelectAutomatic();

    // Texts beside the slider: range ends "%.0f", threshold "%4.1f".
    std::string RangeMinText() const;
    std::string RangeMaxText() const;
    std::string ThresholdText() const;
    // "Spot info": value k of the selected spots per scale.
    std::string SpotInfo() const;

  private:
    void PrepareSlider();
    void Select(bool automatic);

    int minScale_ = 3, maxScale_ = 10, increment_ = 2, localMaxSide_ = 3, searchSide_ = 3;
    int resType_ = -1;
    double threshold_ = kDefaultThreshold;
    double autoFactor_ = 5.0;
    bool keepMinScale_ = true;
    bool onImage_ = false;
    ESpotMark shape_ = ESpotMark::kCircles;
    ESpotShow what_ = ESpotShow::kSpots;
    double rangeMin_ = 0, rangeMax_ = 0;
    int sliderMin_ = 0, sliderMax_ = 0;
    bool typedPending_ = false;
    CSpotList spots_, selected_, inClusters_;
    // FirstOfEqualSpots(spots_) once known; Clear forgets it.
    std::vector<int32_t> distinct_;
    bool distinctKnown_ = false;
    std::string log_;
};

}  // namespace vistrel
