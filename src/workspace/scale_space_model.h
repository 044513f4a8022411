#pragma once
// Model of the "Multiscale spot detector" window: the detector parameters with
// their ranges, the three spot lists (all, selected, in clusters), the
// inverted threshold slider and the texts shown beside it, selection and the
// spot statistics report; and its document side: the source document, the
// spot picture document opened at the first showing and updated in place
// afterwards, the seeds and the spot files beside the source.

#include <cfloat>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "detection/clustering.h"
#include "detection/point_response.h"
#include "detection/spot_file.h"
#include "detection/spot_params.h"
#include "workspace/froc_model.h"
#include "workspace/inverted_slider.h"
#include "workspace/tool_window_model.h"

namespace vistrel {

// The file filter of "Spots from file".
inline constexpr const char* kSpotFileFilters =
    "All Supported text Files|*.txt;*.cnd|CND Files |*.cnd|TXT Files |*.txt|All Files (*.*)|*.*||";

class CScaleSpaceModel : public CToolWindowModel {
    Q_OBJECT
  public:
    using CRange = CSpotParams::CRange;
    static constexpr CRange kResTypeRange{-1, 12};
    static constexpr double kDefaultThreshold = 120.0;

    // Changed cluster parameters of the application select, cluster and
    // evaluate again (and show the picture) while spots exist.
    explicit CScaleSpaceModel(CVistrelApp& app);

    // Parameters; setters clamp into the spin ranges of CSpotParams.
    void SetParams(const CSpotParams& params) { params_ = params.Clamped(); }
    const CSpotParams& Params() const { return params_; }
    void SetMinScale(int v);
    void SetMaxScale(int v);
    void SetIncrement(int v);
    void SetLocalMaxSide(int v);
    void SetSearchSide(int v);
    int MinScale() const { return params_.minScale; }
    int MaxScale() const { return params_.maxScale; }
    int Increment() const { return params_.increment; }
    int LocalMaxSide() const { return params_.localMaxSide; }
    int SearchSide() const { return params_.searchSide; }
    double AutoFactor() const { return autoFactor_; }
    void SetAutoFactor(double f) { autoFactor_ = f; }
    bool KeepMinScale() const { return keepMinScale_; }
    bool OnImage() const { return onImage_; }
    void SetOnImage(bool v) { onImage_ = v; }
    ESpotMark Shape() const { return shape_; }
    void SetShape(ESpotMark s) { shape_ = s; }
    ESpotShow What() const { return what_; }
    void SetWhat(ESpotShow w) { what_ = w; }

    // ---- the source document
    // "Spots" on the source: the detector runs with a progress bar, its log is
    // shown and the picture follows. A cancelled run leaves spots, selection,
    // log and picture as they were and opens nothing. False when it did not
    // run, was cancelled or found nothing.
    bool OnSpots();
    // "Spots from file": the spot file named after the source and the
    // parameters, or (when there is none) the one the user picks; then the
    // picture. False when cancelled or nothing was read.
    bool OnSpotsFromFile();
    // "Save spots" beside the source; the file written, or empty.
    std::string OnSaveSpots() const;
    // "Set seeds": the selected spots become the seeds of the source; false
    // without a source.
    bool SetSeeds();
    // "Segment": sets the seeds, brings the source's window to the front and
    // opens the segment-from-seeds tool on it; false without a source.
    bool OnSegment();
    // The picture of the current choice for the source: a new document at the
    // first showing, the same document updated in place afterwards. Nothing
    // without a source or spots.
    void ShowPicture();
    // The document showing the spot picture (null before the first showing).
    CVistrelDoc* PictureDocument() const { return Result(); }
    // "FROC...": the sweep over the open documents with truth regions, the
    // source with the window's spots, every other one searched with the
    // window's parameters (a progress bar with Cancel); spots are selected
    // with "res type" and the "min scale" box. Without such documents, or
    // without spots on them, a message says so. True when froc holds a new
    // chart.
    bool OnFroc(CFrocModel& froc);
    // The request OnFroc makes.
    CFrocRequest FrocRequest() const;

    // ---- images
    // Clears the results, runs the detector and prepares the slider. A
    // threshold outside the range of value k over the spots is moved to three
    // quarters of it, as a change of "res type" does, so that the first
    // picture shows spots. The log text is kept for the message shown
    // afterwards. False when the detector found nothing. When progress asks
    // to stop (also at the end of the run) nothing changes and false is
    // returned.
    bool Detect(const CMImage& image, const CMImageBase* mask, const ProgressFn& progress = {});
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
    // The selected spots that ended in clusters, in selection order.
    const CSpotList& InClusters() const { return inClusters_; }
    // The clusters of the selection: the source document's own list, or the
    // model's while it has no source.
    const CClusters& Clusters() const;
    // The evaluation line of the last selection against the source's truth
    // regions and subtlety (empty before the first selection and after Clear),
    // and "Cluster info": the line under its header (empty without a line).
    const std::string& EvaluationLine() const { return evaluation_; }
    std::string ClusterInfo() const;
    // The last selection again, with the application's current cluster
    // parameters; the picture follows. Nothing without spots.
    void Reselect();
    // The picture of the current choice (what to show, mark shape, background)
    // for image; null for an invalid image. Marks on the image are outlined.
    std::unique_ptr<CMImage> Picture(const CMImage& image) const;
    const std::string& Log() const { return log_; }
    bool HasSpots() const { return spots_.Count() > 0; }

    // The inverted slider: range [floor(min), floor(max) + 1] of value k.
    int SliderMin() const { return slider_.Min(); }
    int SliderMax() const { return slider_.Max(); }
    int SliderPosition() const { return slider_.PositionOf(threshold_); }
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

  signals:
    // Selection, clustering and evaluation ran without the window asking
    // (changed cluster parameters): its texts are out of date.
    void reselected();

  protected:
    // A new source, or the source closed: spots and report are cleared.
    void OnSourceChanged() override;

  private:
    void PrepareSlider();
    void Select(bool automatic);
    CClusters& ClusterList();

    CSpotParams params_;
    int resType_ = -1;
    double threshold_ = kDefaultThreshold;
    double autoFactor_ = 5.0;
    bool keepMinScale_ = true;
    bool onImage_ = false;
    ESpotMark shape_ = ESpotMark::kCircles;
    ESpotShow what_ = ESpotShow::kSpots;
    double rangeMin_ = 0, rangeMax_ = 0;
    CInvertedSlider slider_;
    bool typedPending_ = false;
    CSpotList spots_, selected_, inClusters_;
    // The clusters while there is no source document to hold them.
    CClusters ownClusters_;
    // The size of the image the spots were found on (or loaded for).
    int32_t width_ = 0, height_ = 0;
    bool lastAutomatic_ = false;
    std::string evaluation_;
    // FirstOfEqualSpots(spots_) once known; Clear forgets it.
    std::vector<int32_t> distinct_;
    bool distinctKnown_ = false;
    std::string log_;
};

}  // namespace vistrel
