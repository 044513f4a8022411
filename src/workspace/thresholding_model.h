#pragma once
// Model of the "Thresholding" window: threshold the source image (image
// mode), or keep its local maxima above a threshold as seeds (local-maxima
// mode); the inverted slider, the picture document updated in place, and
// what "Segment" and "Set seeds" do to the source.

#include <memory>
#include <string>

#include "core/image.h"
#include "detection/point_response.h"
#include "workspace/inverted_slider.h"
#include "workspace/tool_window_model.h"

namespace vistrel {

inline constexpr const char* kThresholdingTitle = "Thresholding";

class CThresholdingModel : public CToolWindowModel {
  public:
    static constexpr double kDefaultThreshold = 100.0;
    static constexpr double kDefaultSize = 0.01;
    static constexpr int kPageSize = 10;
    static constexpr int kGreaterPageSize = 100;

    // Binds the active document and prepares the slider for it.
    explicit CThresholdingModel(CVistrelApp& app);

    // ---- fields
    bool LocalMaxima() const { return localMaxima_; }
    // Switching the mode recomputes the range (and the maxima).
    void SetLocalMaxima(bool on);
    double Size() const { return size_; }
    void SetSize(double size);  // recomputes the maxima in local-maxima mode
    bool SizeInCm() const { return sizeInCm_; }
    void SetSizeInCm(bool cm);
    // The size in pixels (from centimetres at the source's resolution), >= 3.
    int32_t SizePixels() const;
    bool OnImage() const { return onImage_; }          // "bkg = original image"
    void SetOnImage(bool v) { onImage_ = v; }
    bool ShowResults() const { return showResults_; }  // "results"
    void SetShowResults(bool v) { showResults_ = v; }
    bool SinglePixels() const { return singlePixels_; }  // "+ single pixels"
    void SetSinglePixels(bool v) { singlePixels_ = v; }
    bool GreaterPage() const { return greaterPage_; }  // "greater slider page"
    void SetGreaterPage(bool v) { greaterPage_ = v; }
    int PageSize() const { return greaterPage_ ? kGreaterPageSize : kPageSize; }

    // ---- slider and threshold
    int SliderMin() const { return slider_.Min(); }
    int SliderMax() const { return slider_.Max(); }
    int SliderPosition() const { return slider_.PositionOf(threshold_); }
    // A slider move: threshold from the position (clamped), picture shown.
    void MoveSlider(int position);
    // Typed threshold: taken as typed; SubmitThreshold (Enter) applies it once per edit.
    void TypeThreshold(double value);
    bool SubmitThreshold();
    double Threshold() const { return threshold_; }
    std::string ThresholdText() const;  // "%4.1f"
    std::string RangeMinText() const;   // "%.0f"
    std::string RangeMaxText() const;

    // ---- document side
    // "Set Src Doc": the active document, range and threshold recomputed.
    bool OnSetSourceDocument();
    // Recomputes for the source: image mode takes the grey-level range and
    // an initial threshold from the histogram; local-maxima mode collects the
    // maxima once and takes their range.
    void Recompute();
    // The local maxima found for the source (local-maxima mode).
    const CSpotList& Maxima() const { return maxima_; }
    // The maxima >= threshold.
    CSpotList MaximaAtThreshold() const;
    // The picture of the current state for the source (null without one).
    std::unique_ptr<CMImage> Picture() const;
    // Shows Picture in the kept result document (opened at the first
    // showing, updated in place afterwards).
    void ShowPicture();
    // "Segment": image mode extracts the regions of the thresholded image
    // into the source; local-maxima mode sets the seeds and opens the
    // "Segment from current seeds" tool. False when nothing was done.
    bool OnSegment();
    // "Set seeds" (local-maxima mode): the maxima >= threshold become the
    // source's seeds. False without a source or outside that mode.
    bool OnSetSeeds();

  protected:
    void OnSourceChanged() override;

  private:
    bool localMaxima_ = false;
    double size_ = kDefaultSize;
    bool sizeInCm_ = true;
    bool onImage_ = false;
    bool showResults_ = true;
    bool singlePixels_ = false;
    bool greaterPage_ = false;
    double threshold_ = kDefaultThreshold;
    double rangeMin_ = 0, rangeMax_ = 0;
    bool typedPending_ = false;
    CInvertedSlider slider_;
    CSpotList maxima_;
};

}  // namespace vistrel
