#pragma once
// Model of the "Microcalcification Clusters Detection" window, the lighter
// companion of the spot detector: seeds found with fixed detector settings,
// one threshold on the spots' response, and after every change the clusters of
// the selected spots scored against the source's truth regions. The clusters
// go to the source document; the marks picture is kept in one result document.

#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "detection/point_response.h"
#include "detection/spot_file.h"
#include "detection/spot_params.h"
#include "workspace/inverted_slider.h"
#include "workspace/tool_window_model.h"

namespace vistrel {

class CMcClusterDetectionModel : public CToolWindowModel {
    Q_OBJECT
  public:
    static constexpr double kDefaultThreshold = 120.0;
    static constexpr int kTickFrequency = 10;
    static constexpr int kPageSize = 5;
    static constexpr int kGreaterPageSize = 10;
    // The detector settings of "Get Seeds": scales 5 to 9 by 1, local-maximum
    // and search sides 3.
    static CSpotParams SeedParams();

    // Listens to the application's cluster parameters: a change clusters and
    // evaluates the current selection again.
    explicit CMcClusterDetectionModel(CVistrelApp& app);

    // ---- the source document
    // "Get Seeds": the detector on the source (inside its breast mask when it
    // has one) with a progress bar, then the slider range and the evaluation.
    // Cancelled, nothing changes. False when it did not run, was cancelled or
    // found nothing.
    bool OnGetSeeds();
    // "Set Seeds": the selected spots become the source's seeds; false
    // without a source.
    bool SetSeeds();
    // "Segment": the seeds, the source's window to the front and the
    // segment-from-seeds tool on it; false without a source.
    bool OnSegment();
    // The marks of the selected spots (over the source's image with
    // "bkg = original image") in the kept result document. Nothing unless
    // "results" is on, or without a source or spots.
    void ShowPicture();
    CVistrelDoc* PictureDocument() const { return Result(); }

    // ---- images
    // Runs the detector on image and takes its spots as the seeds of this
    // window. When progress asks to stop (also at the end) nothing changes.
    bool Detect(const CMImage& image, const CMImageBase* mask, const ProgressFn& progress = {});
    // Spots, selection, clusters and report forgotten.
    void Clear();

    const CSpotList& Spots() const { return spots_; }
    // The spots whose response reaches the threshold (of equal spots the first).
    const CSpotList& Selected() const { return selected_; }
    // The selected spots that ended in a cluster.
    const CSpotList& InClusters() const { return inClusters_; }
    bool HasSpots() const { return spots_.Count() > 0; }

    // The inverted slider over the spots' responses.
    int SliderMin() const { return slider_.Min(); }
    int SliderMax() const { return slider_.Max(); }
    int SliderPosition() const { return slider_.PositionOf(threshold_); }
    // A slider move: the threshold follows (clamped), then selection and evaluation.
    void MoveSlider(int position);
    double Threshold() const { return threshold_; }
    std::string ThresholdText() const;
    std::string RangeMinText() const;
    std::string RangeMaxText() const;

    // "greater slider page": page 10 instead of 5.
    void SetGreaterPage(bool on) { greaterPage_ = on; }
    bool GreaterPage() const { return greaterPage_; }
    int PageSize() const { return greaterPage_ ? kGreaterPageSize : kPageSize; }
    // "results": the marks picture follows every change.
    void SetShowResults(bool on);
    bool ShowResults() const { return showResults_; }
    // "bkg = original image": the marks burnt into a copy of the image.
    void SetOnImage(bool on);
    bool OnImage() const { return onImage_; }

    // Selects, clusters into the source's clusters and evaluates again; the
    // picture follows when "results" is on. Without a source, or before the
    // detector ran on it, nothing happens.
    void Evaluate();
    // The evaluation line of the last evaluation (empty before one).
    const std::string& EvaluationLine() const { return line_; }
    // What the window shows: the header and the line (empty before an evaluation).
    std::string ReportText() const;
    // The picture of the current choice for image; null for an invalid image.
    std::unique_ptr<CMImage> Picture(const CMImage& image) const;

  signals:
    // A new evaluation line (after a threshold change, new seeds or new
    // cluster parameters).
    void evaluated();

  protected:
    void OnSourceChanged() override;

  private:
    CSpotList spots_, selected_, inClusters_;
    std::vector<int32_t> distinct_;  // FirstOfEqualSpots(spots_)
    double threshold_ = kDefaultThreshold;
    double rangeMin_ = 0, rangeMax_ = 0;
    CInvertedSlider slider_;
    bool greaterPage_ = false;
    bool showResults_ = false;
    bool onImage_ = false;
    std::string line_;
    bool detected_ = false;  // "Get Seeds" ran on the source
};

}  // namespace vistrel
