#pragma once
// One opened image with its original image, description, display state and
// resolution. Views observe it through `updated` (the update codes below);
// the application owns it.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/display.h"
#include "core/image.h"
#include "detection/breast_segment.h"
#include "detection/breast_sgt.h"
#include "detection/grow_from_seeds.h"
#include "detection/point_response.h"
#include "filters/convolution.h"
#include "filters/morphology.h"
#include "regions/cluster.h"
#include "regions/feature_vector.h"
#include "regions/overlay_file.h"
#include "regions/regions.h"
#include "workspace/command_ids.h"
#include "workspace/image_resolution.h"

namespace vistrel {

class CVistrelApp;

// Update codes sent to the views of a document.
enum UpdateCode : int {
    kUpdateImage = 1,        // pixels or geometry changed: re-render, notify tool windows
    kUpdateAnnotations = 2,  // overlay changed
    kUpdateGeometry = 3,     // scroll sizes changed
    kUpdateGeometryRoi = 4,  // as 3, and the ROI is cleared
    kUpdateDescription = 5,
    kUpdateDisplay = 6,  // display mapping changed: re-render only
};

// Band width of the breast-side test of the orientation rule, in pixels.
inline constexpr int kOrientationBand = 300;

// Which regions a contour correction works on.
enum class ContourScope {
    Selected,         // the region at the given index
    All,              // every region
    SelectedCluster,  // the members and the outline of the cluster of the given region
};

// Dialog texts of the OVERLAY commands and of contour smoothing.
inline constexpr const char* kOverlaySaveFilters = "OVERLAY Files |*.OVERLAY|TXT Files |*.txt||";
inline constexpr const char* kOverlayOpenFilters =
    "All Supported text Files|*.txt;*.OVERLAY|OVERLAY Files |*.OVERLAY|TXT Files |*.txt|All Files "
    "(*.*)|*.*||";
// Dialog texts of the SGT (breast outline) commands.
inline constexpr const char* kSgtExtension = "sgt";
inline constexpr const char* kSgtSaveFilters = "SGT Files |*.sgt|TXT Files |*.txt||";
inline constexpr const char* kSgtOpenFilters =
    "All Supported text Files|*.txt;*.sgt|SGT Files |*.sgt|TXT Files |*.txt|All Files "
    "(*.*)|*.*||";
// Texts of the seed commands.
inline constexpr const char* kSeedsThresholdTitle = "Threshold for seeds";
inline constexpr const char* kSeedsThresholdLabel = "Threshold";
inline constexpr double kSeedsDefaultThreshold = 100.0;
inline constexpr const char* kRemoveSeedsQuestion = "Remove active seeds?";
inline constexpr const char* kSeedsWthPrompt = "Special thresholding around regions";
inline constexpr const char* kStructuringElementTitle = "Stucturing Element 3x3";
// Asked before an interactive OVERLAY save of a cut-out document ("Yes", "No").
inline constexpr const char* kOverlayCoordinateQuestion =
    "Save according to the current image coordinate system (yes) or the original image one "
    "(no)?";

// Where CVistrelDoc::ReadOverlay takes its file from.
enum class EOverlayRead {
    AskForFile = 1,        // the user picks it, starting from the name beside the image
    CompanionOfImage = 2,  // the existing companion file of the image, if any
};

// The window title: name, " @ ", zoom in percent "%.1f", " %", " : %d" number.
std::string MakeDocumentTitle(const std::string& fileName, float zoom, int number);
// The processed companion image of path in the "processed_kontrast6" folder
// beside it, and the variant in the parent folder.
std::string ProcessedCompanionPath(const std::string& path);
std::string ProcessedCompanionParentPath(const std::string& path);

// The ruler's length as the status bar shows it (" Ruler: 12.34 mm"); empty
// below 0.001 mm.
std::string RulerText(double millimetres);

// The window a document starts with when it is given `wanted` (the
// application's window at opening, the source document's for a result): the
// load clamp of `wanted`, unless `wanted` does not overlap the image's value
// range, where that clamp would collapse to one grey level and black out the
// picture; then the range the image's samples occupy (the whole value range
// for a constant image).
CWindowRange StartingWindow(const CWindowRange& wanted, CMImage& image);

// The value window that shows what the bit window (shift, bits) shows: from
// the lowest value to the top of the displayed bits (the first period of a
// wrapping window), in true values and inside the image's range.
CWindowRange BitWindowAsValueWindow(const CMImage& image, int shift, int bits);

class CVistrelDoc : public QObject {
    Q_OBJECT
  public:
    explicit CVistrelDoc(CVistrelApp& app, int number = 0);
    ~CVistrelDoc() override;

    // Reads path (and its processed companion as original image), then sets
    // the window, display bits and resolution. False when the image cannot be read.
    bool OnOpenDocument(const std::string& path);

    // "&Save": the document's own file (Save As when it has none).
    bool OnFileSave();
    // "Save &As...": asks for a name and format.
    bool OnFileSaveAs();
    // Saves to path, or asks for a name when path is empty; with replace the
    // document takes the new name. False when cancelled or failed.
    bool DoSave(const std::string& path, bool replace);
    // Writes the image to path with the application's PGX byte order (the
    // unmirrored pixels when the image was mirrored at opening) and, with
    // writeCompanions, the OVERLAY file beside it: named after path when
    // companionBesidePath, else after the document's own file name; in the
    // document's coordinates when currentCoordinates, else in those of the
    // image it was cut from.
    bool SaveImage(const std::string& path, bool companionBesidePath = true,
                   bool writeCompanions = true, bool currentCoordinates = false);

    // Opens an operation's result as a new document with its own window; this
    // document stays unchanged. The new one gets the next number, this path
    // name (not added to the recent files), description, resolution and
    // window (clamped to the new image). original, when valid and of the
    // image's size, becomes its original image; otherwise the application's
    // original-image policy decides (cut to the ROI when one is given). With
    // a ROI (in this document's image coordinates) or keepAnnotations the
    // origins accumulate and the annotations are moved into the new image
    // (those outside it dropped); otherwise they are copied as they are.
    // Null, with a message, when the image is missing or invalid or no
    // window could be created.
    CVistrelDoc* OpenImageInNewWindow(std::unique_ptr<CMImage> image,
                                      std::unique_ptr<CMImage> original = nullptr,
                                      const CRect& roi = CRect{}, bool keepAnnotations = false);

    // ---- commands of the image windows (each does nothing without a valid image)
    // "New &Window": the current image again in a new window.
    CVistrelDoc* OnNewWindow();
    // "A&dd comment...": asks for a text (titled with the file name) and
    // appends it to the description; false when cancelled or empty.
    bool OnAddComment();
    // "&Crop ROI": cuts image, original and annotations to roi in place (the
    // origin moves with it); false when roi misses the image.
    bool OnCropRoi(const CRect& roi);
    // "&Open ROI in New Window": the ROI of image and original in a new window
    // with the annotations moved into it; in the SRDM mouse mode the ROI is
    // 512 x 512 from its top-left corner.
    CVistrelDoc* OnOpenRoiInNewWindow(const CRect& roi, int mouseMode);
    // Exchanges image and original image when both are valid; re-derives the
    // display bits and clamps the window when the depth changed. False when
    // nothing was swapped.
    bool SwapOriginalImage();

    // "&180", "&90 CW", "90 C&CW": angle 180, -90 or 90; image, original and
    // annotations turn together. False for another angle or no image.
    bool OnRotate(int angle);
    // "Flip &Horizontal": mirrors image, original and annotations; the image
    // no longer counts as mirrored at opening.
    bool OnFlipHorizontal();
    // "Flip &Vertical".
    bool OnFlipVertical();
    // "Re&verse": the negative of the image, in place.
    bool OnReverse();
    // "S&wap bytes": depth above 8 only.
    bool OnSwapBytes();
    // "1&6", "1&4", "1&2", "  &8": the nominal depth of a deeper-than-8-bit image.
    bool OnSetDepth(int depth);
    // Enable/check state of the depth commands.
    bool CanChangeDepth() const { return image.IsValid() && image.depth > 8; }
    bool IsDepthChecked(int depth) const { return image.IsValid() && image.depth == depth; }
    // "&Equalize Histogram": with a ROI asks whether to equalise only the ROI
    // or the whole image from it (Cancel: nothing); the result opens in a new
    // window whose view starts with the same ROI.
    CVistrelDoc* OnEqualizeHistogram(const CRect& roi);

    // Clamps the window into the image's range as after a depth change.
    void ClampWindow();

    // ---- true sizes
    // "Set Resolution...": asks the pixel size in micrometres and sets
    // resolution = 25400 / µm with source User; false when cancelled or invalid.
    bool OnSetResolution();
    // " (default pixel size)" for texts that show lengths while the
    // resolution is the default; empty when it was measured or given.
    std::string ResolutionNote() const;
    // A distance in pixels as millimetres at the document's resolution; 0
    // without a usable resolution.
    double PixelsToMillimetres(double pixels) const;

    // The text the description pane shows: for DICOM images the photometric
    // interpretation (and how a MONOCHROME1 image is shown) above the
    // description. Display only: what is saved is `description` alone.
    std::string DisplayDescription() const;

    // ---- annotations
    // Where the image sits in the coordinates of its OVERLAY file.
    COverlayPlacement OverlayPlacement() const;
    // Reads the OVERLAY file into regions, ROS, description and subtlety,
    // from where `from` says. False when no file was read (cancelled, none
    // found, unreadable).
    bool ReadOverlay(EOverlayRead from);
    // Writes regions, ROS and description as an OVERLAY file at path, or
    // (interactive) under a name the user picks, proposing path or the
    // default companion name; interactive saves of a cut-out document ask
    // which coordinates to use.
    COverlayWriteResult WriteOverlay(const std::string& path, bool currentCoordinates,
                                     bool interactive);
    // "Open OVER&LAY": replaces the annotations by those of a file the user picks.
    bool OnOpenOverlay();
    // "Save OV&ERLAY".
    COverlayWriteResult OnSaveOverlay();

    // ---- breast outline and mask
    // The SGT companion of path: its last extension replaced by ".sgt".
    static std::string SgtPathOf(const std::string& path);
    bool HasBreastSegment() const { return !breastSegment.IsEmpty(); }
    // Reads the outline from the SGT file beside the image (interactive:
    // from a file the user picks, starting there) into breastSegment,
    // mirrored when the image was mirrored at opening. Points outside the
    // image or an unreadable file leave no outline. False when none was read.
    bool ReadSgt(bool interactive);
    // Writes `which` (breastSegment when null) in the unmirrored image's
    // coordinates to path, or (interactive) to a name the user picks with
    // the replace question. False when nothing was written.
    bool WriteSgt(const std::string& path, bool interactive, const CBreastSgt* which = nullptr);
    // Builds breastMask from breastSegment and restricts the image's cached
    // histogram to it; without an inside pixel the outline and the mask are
    // dropped. True when a mask was made.
    bool BuildBreastMask();
    // Drops outline, mask and the restricted histogram (the whole-image
    // histogram comes back on the next request).
    void DropBreastSegment();
    // The outline and mask changed: update code 2 and the breast-mask broadcast.
    void BreastMaskChanged();
    // "Open SGT" / "Save SGT".
    bool OnOpenSgt();
    bool OnSaveSgt();
    // "&Segment Breast...": the "Breast Segment" dialog, then SegmentBreastWith.
    bool OnSegmentBreast();
    // The document's segmentation step with a parameter record: stage 0 into
    // breastSegment, the mask, and with params.cone the cone pass into
    // secondSegment; with params.log the log is shown and the intermediate
    // images open as new documents. True when an outline resulted.
    bool SegmentBreastWith(CSegmentParams params, int stage = kStageBreast);
    // "Set zero outside breast": the image with zeros outside the outline in
    // a new window; null without an outline.
    CVistrelDoc* OnSetZeroOutsideBreast();
    // "Enable &Breast Segment" / "Disable &Breast Segment".
    bool OnEnableBreastSegment();
    // The outline as the convolution's outline type (empty without one).
    COutline BreastOutline() const;
    // The mask for the detectors: null without a valid mask.
    const CMImageBase* BreastMaskOrNull() const {
        return breastMask.IsValid() ? &breastMask : nullptr;
    }

    // ---- seeds and regions grown from them
    // The seed list is `spots`. Replaces it by a copy of seeds; update code 2.
    void SetSeeds(const CSpotList& seeds);
    bool HasSeeds() const { return spots.Count() > 0; }
    // Seed preparation: the path-free detector (scales 5..12 step 2, sides 3
    // and 5) on the image, inside the breast mask when there is one; the
    // spots whose response is >= threshold become the seeds. False when the
    // image is invalid or it was cancelled (the seeds are then as before).
    bool PrepareSeeds(double threshold, const ProgressFn& progress = {});
    // Grows one region per seed into `regions` (truth: rosRegions), switches
    // the region display on and sends update 2. Returns the LoG response
    // image for the LoG input (the caller opens it), else null.
    std::unique_ptr<CMImage> SegmentFromSeeds(const CGrowParams& params,
                                              CGrowReport* report = nullptr,
                                              const ProgressFn& progress = {});
    // "Set Seeds = Centroids of Regions". False when nothing changed (no
    // regions, or "Remove active seeds?" answered No).
    bool OnSeedsFromCentroids();
    // "on seeds: WTH + local statistic + region growing": the new document,
    // or null (no clusters, nothing grown).
    CVistrelDoc* OnSeedsWthLocalStatistics();

    // ---- features, texture and feature files (vistrel_doc_features.cpp)
    // The application's feature settings with this document's resolution.
    CFeatureSettings FeatureSettings() const;

    // "&Neural Network diagnoses": switching on gives every region that is
    // not a cluster outline and has no network letter yet the application
    // network's letter (Cancel keeps the letters given so far); switching off
    // only redraws. Nothing happens without a network.
    void OnNnDiagnoses();
    // Drops every region's network letter; a document showing them switches
    // the display off and redraws.
    void ClearNnDiagnoses();
    // The features of region i of `regions` with the application's selection;
    // negative (out empty) when they cannot be computed.
    int RegionFeatures(int32_t index, CFeatureVector& out) const;
    // "Show &Features" (32878): the selected region's features under
    // "CURRENT REGION FEATURES:\n", or for a cluster outline ("Show &Cluster
    // Region Features") its cluster features, in a text window. Empty
    // (nothing shown) without a selection or features.
    std::string OnShowFeatures();
    // 32979: mean and standard deviation of every region's features
    // ("MEAN REGION FEATURES:\n", "STD DEV REGION FEATURES:\n").
    std::string OnMeanRegionFeatures();
    // 32985: the same over the members of the selected cluster outline
    // ("MEAN FEATURES FOR REGIONS IN CLUSTER:\n", ...).
    std::string OnMeanFeaturesInCluster();
    // 33004: the selected cluster outline's cluster features
    // ("FEATURES OF REGIONS AS A CLUSTER:\n").
    std::string OnFeaturesOfRegionsAsCluster();
    // "Add Learning Patterns" (33001 mean of all regions, 33002 cluster
    // features of every cluster outline, 33003 each region) and 33075 (the
    // selected cluster and the regions inside it), 33077 (the selected
    // region, or a cluster outline's cluster features): asks the region type
    // and the file, then appends the rows. False when cancelled, nothing to
    // write or the file could not be written (with a message).
    bool OnSaveFeatures(CommandId command);
    // "Compute &GLCM" (33054) on the ROI: its statistics and the named
    // co-occurrence list under "GLCM IN ROI FEATURES:\n", with the bounds and
    // the "type" asked in "region type"; shown and appended to the
    // description. Empty when cancelled or the ROI holds no pairs.
    std::string OnComputeGlcm(const CRect& roi);
    // 32874 on the ROI: "SRD matrix h=%d w=%d;\n", the rows, the four sums;
    // "SRD matrix == NULL;" when none could be built.
    std::string OnComputeSrdm(const CRect& roi);
    // "&Put Texture Next To ROI" (33050): after "Are you sure you want to
    // copy ROI from the left side?", the rectangle of the ROI's size just
    // left of it is copied into the ROI; update 1. False when cancelled or
    // there is no room on the left.
    bool OnPutTextureNextToRoi(const CRect& roi);
    // "Binary &Images of Object Shapes" (33052): one binary image per region
    // (its filled mask at the image's size), each opened as a new document.
    int32_t OnBinaryImagesOfShapes();
    // The image-retrieval tool's files beside the image (batch "i"): the
    // vector (regions, their area in mm2, clusters) and the gzip mammogram file.
    bool WriteFireFeatures(int32_t parameter);

    // ---- morphology
    // One of the nine operators with the application's element and
    // iteration count; the result opens as a new document. Null (nothing
    // opened, no message) when the element has no cells or the operator fails.
    CVistrelDoc* OnMorphOperator(EMorphOperator op);

    // "&Extract Regions": the connected components of the image's maximum
    // value replace the regions; the region display is switched on.
    bool OnExtractRegions();
    // The regions become extracted; the region display is switched on.
    void ReplaceRegions(CRegions extracted);
    // "&Remove All Regions".
    void OnRemoveAllRegions();
    // "Set All &Benign" / "&Malignant" / "&False".
    void OnSetAllDiagnosis(int16_t diagnosis);
    // Diagnosis / removal of the region or ROS at index (the view's selection).
    bool OnRegionDiagnosis(int32_t index, int16_t diagnosis);
    bool OnRemoveRegion(int32_t index);
    bool OnRosDiagnosis(int32_t index, int16_t diagnosis);
    bool OnRemoveRos(int32_t index);
    // "Remove &All ROSes".
    void OnRemoveAllRos();
    // "&Remove Regions Inside ROI": roi in image coordinates; returns how many.
    int32_t OnRemoveRegionsInsideRoi(const CRect& roi);
    // Contour correction by region growing after the "Region Growing" dialog;
    // index is the selected region for the scopes that need one. Returns how
    // many regions were corrected (0 when cancelled or nothing qualified).
    int32_t OnGrowContours(ContourScope scope, int32_t index);
    // Contour smoothing by a 3x3 dilation after the structuring-element choice.
    int32_t OnSmoothContours(ContourScope scope, int32_t index);

    // ---- commands of the image window's context menus
    // "Set Regions Inside ROI": the diagnosis of every region inside roi;
    // the views are told when any changed. Returns how many changed.
    int32_t OnRoiRegionsDiagnosis(const CRect& roi, int16_t diagnosis);
    // The selected cluster's "&Benign" / "&Malignant" / "&False": the
    // outline and the regions inside it. Returns how many changed.
    int32_t OnClusterDiagnosis(int16_t diagnosis);
    // "&Remove Cluster": the selected outline only.
    bool OnRemoveCluster();
    // "Remove Cluster && Inside &Objects"; returns how many were removed.
    int32_t OnRemoveClusterAndInside();
    // "Measure": shows the ruler's length (RulerText) with the resolution
    // note; false, showing nothing, without a ruler.
    bool OnMeasure(double rulerMillimetres);

    // ---- clusters of regions and their evaluation (vistrel_doc_clusters.cpp)
    // A 1-bit image: without regions, its set pixels are the points clustered.
    bool IsBinaryImage() const { return image.IsValid() && image.depth == 1; }
    // Clusters the regions of the given types (all when empty) with the
    // application's parameters at this document's resolution, or, without
    // regions and with fromBinaryImage, the set pixels of a binary image.
    // `clusters` is cleared and refilled; returns the number of clusters.
    int32_t ClusterRegions(std::string_view types, bool fromBinaryImage);
    // Scores the regions' clusters against rosRegions (no large-area limit)
    // and returns the evaluation line.
    std::string EvaluateClusterLine(bool corrections) const;
    // "&Make Clusters": clusters every region (or the binary image's pixels)
    // and opens the clustered points as circles in a new window. Null when
    // there is nothing to cluster or no point ended in a cluster.
    CVistrelDoc* OnMakeClusters();
    // "Cluster &Areas" (types empty) and "M &Cluster Areas" ("m"): clusters,
    // outlines each cluster, opens the outlines as an image in a new window,
    // and shows the evaluation under its header. Returns the line shown;
    // empty (nothing done) with nothing to cluster.
    std::string OnClusterAreas(std::string_view types);
    // "&Evaluate Cluster Results": the evaluation of the current regions,
    // shown under the "; " header; returns the line. Empty without an image.
    std::string OnEvaluateClusterResults();
    // "&Remove Bad Regions": the rule-based pruning, then clusters and
    // outlines of the "mp" regions, evaluated with corrections and shown.
    // Returns the line; empty (nothing done) without regions.
    std::string OnRemoveBadRegions();

    // pathName when full, else the part after the last '/'.
    std::string GetFileName(bool full) const;
    // Stores the zoom shown in the title and publishes the new title.
    void UpdateTitle(float zoom);
    const QString& Title() const { return title_; }
    float TitleZoom() const { return titleZoom_; }
    void SetPathName(const std::string& path, bool addToRecent);

    // Bit window; 1 when accepted (the views are repainted), 0 otherwise.
    int SetWindowBits(int shift, int bits);
    // Value window in true values, clamped into the image's range; 1.
    int SetWindowValues(int32_t low, int32_t high);
    // The value window and the image's true-value range.
    void GetWindowValues(int32_t& low, int32_t& high, int32_t& minV, int32_t& maxV) const;
    // A Win/Lev drag starts from the window on screen: while the bit window is
    // shown (valueWindowShown false) the value window becomes the one that
    // shows the same picture, so the switch to the value window does not jump.
    void BeginWindowDrag(bool valueWindowShown);
    // Display-only contrast, brightness and gamma.
    void SetDisplayEnhancement(int32_t contrast, int32_t brightness, float gamma, bool repaint);

    // Renders the image (or the original over it) with the value window when
    // valueWindow, else the bit window; null when nothing can be painted.
    std::unique_ptr<CDisplayBitmap> Render(CRenderRequest& request, bool valueWindow,
                                           const CPalette& palette, bool showOriginal) const;

    // Tells the views (see UpdateCode).
    void UpdateAllViews(int code) { emit updated(code); }
    // Broadcasts that the image changed to the bars and tool windows.
    void NotifyImageChanged();

    CVistrelApp& App() const { return app_; }

    // Fields, in the documented order.
    CClusters clusters;
    // The detected spots, which serve as the seed list.
    CSpotList spots;
    CRegions regions;
    CMImage image;
    CMImage originalImage;
    // 1-bit, the image's size, 1 inside breastSegment; empty without an outline.
    CMImageBase breastMask;
    CBreastSgt breastSegment;
    // The pectoral-cone outline of the last cone pass.
    CBreastSgt secondSegment;
    int32_t originX = 0;
    int32_t originY = 0;
    int32_t originalWidth = 0;
    int32_t originalHeight = 0;
    CRegions rosRegions;
    // The regions are drawn with their network letters (see OnNnDiagnoses).
    bool showNnDiagnoses = false;
    int16_t subtlety = 0;
    std::string pathName;
    std::string description;
    int32_t windowLow = 1000;
    int32_t windowHigh = 4095;
    uint8_t displayShift = 0;
    uint8_t displayDepth = 8;
    int32_t brightness = 0;
    int32_t contrast = 0;
    float gamma = 1.0f;
    CDisplayCorrection displayLut;
    int32_t number = 0;
    bool autoFlipped = false;
    float resolution = kDefaultResolution;
    EResolutionSource resolutionSource = EResolutionSource::Default;
    // Photometric interpretation of a DICOM image as read ("MONOCHROME1" …);
    // empty for other files.
    std::string photometric;
    // The DICOM engine gave rendered pixels (a MONOCHROME1 image then comes
    // inverted, as acquired) rather than the stored values.
    bool renderedPixels = false;
    // The selection the first view of this document starts with (in image
    // coordinates), for commands that carry the source's ROI over; empty for none.
    CRect initialRoi;

  signals:
    void updated(int code);
    void titleChanged(const QString& title);

  private:
    // In the radiologists' interface, mirrors an image whose name says
    // "left" when the breast-side test reports 1, and one that says "right"
    // (and not "left") when it reports 0, so every breast faces the same way.
    void ApplyOrientationRule(const std::string& path);
    // Gives a result document this one's outlines and mask: as they are when
    // the result has this image's size, moved into the cut (the mask cut
    // with it) when cut is not empty; otherwise none.
    void CopyBreastSegmentTo(CVistrelDoc& doc, const CRect& cut) const;
    // Cuts outlines and mask to cut (this image's coordinates before the cut).
    void CropBreastSegment(const CRect& cut);
    // In-place pixel changes empty the cached histogram; while a mask is in
    // use it is rebuilt under the mask, so it stays the breast's.
    void KeepBreastHistogram();
    // Seeds and cluster points follow a rotation or mirroring of the image.
    void MovePoints(const std::function<CPoint(CPoint)>& move);
    // Tells views and tool windows that the geometry changed: image, then annotations.
    void GeometryChanged();
    // The cluster number whose members and outline a cluster-scoped
    // correction works on (1000 + k), or 0 when the region belongs to none.
    int32_t ClusterOfRegion(int32_t index) const;

    CVistrelApp& app_;
    QString title_;
    float titleZoom_ = 1.0f;
};

}  // namespace vistrel
