#include "workspace/vistrel_doc.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "core/dicom_engine.h"
#include "core/image_operations.h"
#include "core/messages.h"
#include "core/text.h"
#include "regions/companion_path.h"
#include "regions/contour_correction.h"
#include "regions/extract_regions.h"
#include "workspace/breast_side.h"
#include "workspace/cases.h"
#include "workspace/file_filters.h"
#include "workspace/region_growing_model.h"
#include "workspace/vistrel_app.h"

namespace vistrel {

namespace {

const char* const kNoImageToSave = "There is no image to save.";
const char* const kRawSaveWarning =
    "Some of the document data (IMAGE SIZE and DESCRIPTION) will not be saved using RAW "
    "format. Save anyway? ";
const char* const kDescriptionSaveWarning =
    "Some of the document data (DESCRIPTION) will not be saved using %1 format. Save anyway?";
const char* const kAlreadyExists = " already exists.\nDo you want to replace it?";
const char* const kOverlayExtension = "OVERLAY";
const char* const kCommentPrompt = "Comment";
const char* const kEqualizeTitle = "Equalize histogram options";
const char* const kEqualizeAreaOnly = "Equalize the selected area only";
const char* const kEqualizeFromArea = "Equalize entire image based on the selected area";
const char* const kCannotOpenResult = "The result cannot be opened in a new window.";
const char* const kSetResolutionTitle = "Set Resolution";
const char* const kSetResolutionPrompt = "Pixel size in micrometres (MIAS films: 200)";
const char* const kSetResolutionLabel = "Pixel size (µm)";
const char* const kDefaultPixelSizeNote = " (default pixel size)";

// Title and lower-case extension (at most three characters) of a companion name.
void CompanionParts(const std::string& path, std::string& title, std::string& ext) {
    title = StemOf(path);
    ext = ToLower(ExtensionOf(path)).substr(0, 3);
}

std::filesystem::path FolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// Only an engine reads rendered pixels; the built-in reader gives stored values.
bool DicomEngineCanLoad() {
    for (const CDicomEngine& engine : FindDicomEngines())
        if (engine.load) return true;
    return false;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string RulerText(double millimetres) {
    if (!(millimetres >= 0.001)) return {};
    return Format(" Ruler: %.2f mm", millimetres);
}

std::string MakeDocumentTitle(const std::string& fileName, float zoom, int number) {
    return fileName + " @ " + Format("%.1f", static_cast<double>(zoom) * 100.0) + " %" + " : " +
           std::to_string(number);
}

std::string ProcessedCompanionPath(const std::string& path) {
    std::string title, ext;
    CompanionParts(path, title, ext);
    return (FolderOf(path) / "processed_kontrast6" / (title + ".kontrast6." + ext)).string();
}

std::string ProcessedCompanionParentPath(const std::string& path) {
    std::string title, ext;
    CompanionParts(path, title, ext);
    std::filesystem::path folder = FolderOf(path);
    std::filesystem::path parent =
        folder == "." ? std::filesystem::path("..") : folder.parent_path();
    if (parent.empty()) parent = "..";
    return (parent / (title + ".kontrast6." + ext)).string();
}

CWindowRange StartingWindow(const CWindowRange& wanted, CMImage& image) {
    int32_t minV = 0, maxV = 0;
    TrueValueRange(image, minV, maxV);
    if (std::max(wanted.low, minV) < std::min(wanted.high, maxV)) {
        CWindowRange window = wanted;
        ClampWindowOnLoad(window, minV, maxV);
        return window;
    }
    int32_t lowest = 0, highest = 0;
    image.GetValueRange(lowest, highest);
    if (lowest < highest && lowest >= minV && highest <= maxV) return {lowest, highest};
    return {minV, maxV};
}

CWindowRange BitWindowAsValueWindow(const CMImage& image, int shift, int bits) {
    int32_t minV = 0, maxV = 0;
    TrueValueRange(image, minV, maxV);
    // The renderer shows the top eight bits of a window that reaches past the depth.
    if (image.depth < shift + bits) {
        bits = std::min<int>(8, image.depth);
        shift = image.depth - bits;
    }
    const int top = std::clamp(shift + bits, 1, 16);
    const int32_t stored = std::min<int32_t>((int32_t{1} << top) - 1, image.maxValue);
    CWindowRange window{minV, stored - image.valueOffset};
    window.high = std::clamp(window.high, window.low, maxV);
    return window;
}

CVistrelDoc::CVistrelDoc(CVistrelApp& app, int number) : number(number), app_(app) {}

CVistrelDoc::~CVistrelDoc() = default;

bool CVistrelDoc::OnOpenDocument(const std::string& path) {
    resolution = kDefaultResolution;
    resolutionSource = EResolutionSource::Default;
    photometric.clear();
    renderedPixels = false;
    const RawParamsFn rawParams = [this](const std::string& file, CRawParams& params) {
        return app_.AskRawParams(file, params);
    };
    {
        CWaitCursor wait(app_.Ui());
        // Only existing companions are read: a RAW companion would otherwise ask
        // for its parameters even when there is no such file.
        originalImage.Free();
        for (const std::string& companion :
             {ProcessedCompanionPath(path), ProcessedCompanionParentPath(path)}) {
            if (FileExists(companion) &&
                originalImage.Open(companion, description, app_.colourMode, rawParams) == 1)
                break;
        }
        description.clear();
        regions.RemoveAll();
        rosRegions.RemoveAll();
        if (image.Open(path, description, app_.colourMode, rawParams) != 1 || !image.IsValid()) {
            image.Free();
            originalImage.Free();
            return false;
        }
    }
    pathName = path;
    regions.RemoveInvalid();
    rosRegions.RemoveInvalid();

    const CWindowRange window = StartingWindow(app_.currentWindow, image);
    windowLow = window.low;
    windowHigh = window.high;

    DeriveDisplayBits(image.depth, displayShift, displayDepth);
    photometric = image.dicomAttributes.photometric;
    renderedPixels = !photometric.empty() && DicomReadingOption() == 1 && DicomEngineCanLoad();
    const CImageResolution found = ImageResolution(path, image);
    resolution = found.dpi;
    resolutionSource = found.source;

    ReadOverlay(EOverlayRead::CompanionOfImage);
    // The outline is read before the orientation rule, which mirrors it with the image.
    if (ReadSgt(false)) BuildBreastMask();
    ApplyOrientationRule(path);

    if (app_.originalPolicy == kOriginalCurrent) originalImage = image;
    return true;
}

void CVistrelDoc::ApplyOrientationRule(const std::string& path) {
    if (!app_.RadiologistsMode() || !app_.breastSideTest) return;
    bool mirror = false;
    switch (BreastSideOfName(path)) {
        case EBreastSide::Left:
            mirror = app_.breastSideTest(image, kOrientationBand) == 1;
            break;
        case EBreastSide::Right:
            mirror = app_.breastSideTest(image, kOrientationBand) == 0;
            break;
        case EBreastSide::Unknown:
            break;
    }
    if (mirror && OnFlipHorizontal()) autoFlipped = true;
}

bool CVistrelDoc::OnFileSave() {
    if (!image.IsValid()) {
        messages().show(kNoImageToSave);
        return false;
    }
    const bool saved = DoSave(pathName, true);
    UpdateTitle(titleZoom_);
    return saved;
}

bool CVistrelDoc::OnFileSaveAs() {
    if (!image.IsValid()) {
        messages().show(kNoImageToSave);
        return false;
    }
    const bool saved = DoSave({}, true);
    UpdateTitle(titleZoom_);
    return saved;
}

bool CVistrelDoc::DoSave(const std::string& path, bool replace) {
    std::string target = path;
    std::string ext;
    if (target.empty()) {
        IWorkspaceUi* ui = app_.Ui();
        if (!ui) return false;
        const std::vector<CFileFilter> filters =
            ParseFilterList(image.depth > 8 ? kSaveFilterListDeep : kSaveFilterList8);
        std::string chosen;
        int filterIndex = 0;
        if (!ui->PickSaveFile(pathName, filters, chosen, filterIndex) || chosen.empty())
            return false;
        if (filterIndex >= 0 && filterIndex < static_cast<int>(filters.size()))
            ext = filters[filterIndex].Extension();
        if (ext.empty()) ext = ExtensionOf(pathName);
        target = ReplaceExtension(chosen, ext);
        if (FileExists(target) && messages().ask(target + kAlreadyExists, {"Yes", "No"}) != 0)
            return false;
    } else {
        ext = ExtensionOf(target);
    }

    switch (SaveFormatLossFor(ext)) {
        case SaveFormatLoss::SizeAndDescription:
            if (messages().ask(kRawSaveWarning, {"OK", "Cancel"}) != 0) return false;
            break;
        case SaveFormatLoss::Description:
            if (!description.empty()) {
                std::string question = kDescriptionSaveWarning;
                question.replace(question.find("%1"), 2, ToUpper(ext));
                if (messages().ask(question, {"OK", "Cancel"}) != 0) return false;
            }
            break;
        case SaveFormatLoss::None:
            break;
    }

    bool saved = false;
    {
        CWaitCursor wait(app_.Ui());
        saved = SaveImage(target);
    }
    // The document takes the new name only once the file is really there, so a
    // failed write never leaves it pointing at a file that does not exist.
    if (saved && replace) SetPathName(target, true);
    return saved;
}

bool CVistrelDoc::SaveImage(const std::string& path, bool companionBesidePath, bool writeCompanions,
                            bool currentCoordinates) {
    if (!image.IsValid()) return false;
    regions.RemoveInvalid();
    rosRegions.RemoveInvalid();
    int written = 0;
    if (autoFlipped) {
        // The file keeps the orientation it had before opening mirrored it.
        CMImage mirrored(image);
        if (!mirrored.IsValid() || !FlipHorizontal(mirrored)) return false;
        written = mirrored.Save(app_.pgxByteOrderLM, path);
    } else {
        written = image.Save(app_.pgxByteOrderLM, path);
    }
    if (written != 1) return false;
    if (writeCompanions) {
        const std::string overlayPath = MakeCompanionPath(
            path, kOverlayExtension, companionBesidePath ? 1 : 0, GetFileName(false));
        // The image is saved either way; the annotations must not be lost silently.
        if (WriteOverlay(overlayPath, currentCoordinates, false) == COverlayWriteResult::Failed)
            messages().show("The annotations could not be written to " + overlayPath + ".");
        if (HasBreastSegment()) WriteSgt(SgtPathOf(companionBesidePath ? path : pathName), false);
    }
    return true;
}

// ---------------------------------------------------------------- new windows

CVistrelDoc* CVistrelDoc::OpenImageInNewWindow(std::unique_ptr<CMImage> newImage,
                                               std::unique_ptr<CMImage> original, const CRect& roi,
                                               bool keepAnnotations) {
    if (!newImage || !newImage->IsValid()) {
        messages().show(kCannotOpenResult);
        return nullptr;
    }
    // The ROI only counts as far as it lies on this image.
    CRect cut = roi;
    if (!cut.IsEmpty()) {
        cut.left = std::max(cut.left, 0);
        cut.top = std::max(cut.top, 0);
        cut.right = std::min(cut.right, image.width);
        cut.bottom = std::min(cut.bottom, image.height);
    }
    const bool hasRoi = !roi.IsEmpty() && !cut.IsEmpty();
    std::unique_ptr<CVistrelDoc> doc = app_.CreateDocument();
    doc->image.Swap(*newImage);
    const CMImage& result = doc->image;
    const auto sameSize = [&result](const CMImage& other) {
        return other.IsValid() && other.width == result.width && other.height == result.height;
    };
    if (original && sameSize(*original)) {
        doc->originalImage.Swap(*original);
    } else {
        const CMImage* source = nullptr;
        if (app_.originalPolicy == kOriginalCurrent)
            source = originalImage.IsValid() ? &originalImage : &image;
        else if (app_.originalPolicy == kOriginalPrevious)
            source = &image;
        if (source && source->IsValid()) {
            if (hasRoi) {
                if (auto part = source->SubImage(cut)) doc->originalImage.Swap(*part);
            } else {
                doc->originalImage = *source;
            }
        }
        // An original that does not cover the image pixel for pixel cannot be
        // shown behind it.
        if (!sameSize(doc->originalImage)) doc->originalImage.Free();
    }

    doc->pathName = pathName;
    doc->resolution = resolution;
    doc->resolutionSource = resolutionSource;
    doc->photometric = photometric;
    doc->renderedPixels = renderedPixels;
    doc->subtlety = subtlety;
    doc->description = description;
    doc->autoFlipped = autoFlipped;
    DeriveDisplayBits(doc->image.depth, doc->displayShift, doc->displayDepth);
    const CWindowRange window = StartingWindow({windowLow, windowHigh}, doc->image);
    doc->windowLow = window.low;
    doc->windowHigh = window.high;

    doc->regions = regions;
    doc->rosRegions = rosRegions;
    doc->spots = spots;
    doc->clusters = clusters;
    doc->originX = originX;
    doc->originY = originY;
    doc->originalWidth = originalWidth;
    doc->originalHeight = originalHeight;
    if (hasRoi || keepAnnotations) {
        const CRect rect = hasRoi ? cut : CRect{0, 0, doc->image.width, doc->image.height};
        if (originX != 0 || originY != 0 || originalWidth != 0 || hasRoi) {
            doc->originalWidth = originalWidth != 0 ? originalWidth : image.width;
            doc->originalHeight = originalHeight != 0 ? originalHeight : image.height;
        }
        doc->originX += rect.left;
        doc->originY += rect.top;
        doc->regions.CropTo(rect);
        doc->rosRegions.CropTo(rect);
        doc->spots.CropTo(rect);
        doc->clusters.CropTo(rect);
    }
    CopyBreastSegmentTo(*doc, hasRoi ? cut : CRect{});

    CVistrelDoc* opened = app_.AddDocument(std::move(doc));
    if (!opened) messages().show(kCannotOpenResult);
    return opened;
}

// ---------------------------------------------------------------- true sizes

bool CVistrelDoc::OnSetResolution() {
    IWorkspaceUi* ui = app_.Ui();
    if (!image.IsValid() || !ui) return false;
    char current[64];
    std::snprintf(current, sizeof current, "%g", 25400.0 / static_cast<double>(resolution));
    std::string text = current;
    if (!ui->AskText(kSetResolutionTitle, kSetResolutionPrompt, kSetResolutionLabel, text))
        return false;
    const double dpi = DpiFromMicrometresText(text);
    if (dpi <= 0.0) return false;
    resolution = static_cast<float>(dpi);
    resolutionSource = EResolutionSource::User;
    // Lengths shown over the image (the ruler) follow the new pixel size.
    UpdateAllViews(kUpdateAnnotations);
    return true;
}

std::string CVistrelDoc::ResolutionNote() const {
    return resolutionSource == EResolutionSource::Default ? kDefaultPixelSizeNote : "";
}

double CVistrelDoc::PixelsToMillimetres(double pixels) const {
    if (!(resolution > 0.0f) || !std::isfinite(resolution)) return 0.0;
    return pixels * 25.4 / static_cast<double>(resolution);
}

std::string CVistrelDoc::DisplayDescription() const {
    if (photometric.empty()) return description;
    std::string text = "Photometric interpretation: " + photometric + "\n";
    if (photometric == "MONOCHROME1" && renderedPixels)
        text += "Opened as rendered pixels: inverted, so it looks as acquired.\n";
    else if (photometric == "MONOCHROME1")
        text +=
            "Shown as stored: high values bright, so the film looks inverted. \"Dicom Reading "
            "Options...\" → \"Open rendered pixels\" shows it as acquired.\n";
    return text + description;
}

// ---------------------------------------------------------------- image commands

CVistrelDoc* CVistrelDoc::OnNewWindow() {
    if (!image.IsValid()) return nullptr;
    return OpenImageInNewWindow(std::make_unique<CMImage>(image));
}

bool CVistrelDoc::OnAddComment() {
    IWorkspaceUi* ui = app_.Ui();
    if (!image.IsValid() || !ui) return false;
    std::string text;
    if (!ui->AskText(GetFileName(false), kCommentPrompt, kCommentPrompt, text) || text.empty())
        return false;
    description += description.empty() ? text : "\n" + text;
    UpdateAllViews(kUpdateDescription);
    return true;
}

namespace {

// The part of rect that lies on the image; empty when none does.
CRect ClipToImage(CRect rect, const CMImageBase& image) {
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, image.width);
    rect.bottom = std::min(rect.bottom, image.height);
    return rect.IsEmpty() ? CRect{} : rect;
}

}  // namespace

bool CVistrelDoc::OnCropRoi(const CRect& roi) {
    if (!image.IsValid()) return false;
    const CRect cut = ClipToImage(roi, image);
    if (cut.IsEmpty()) return false;
    const int32_t sourceWidth = image.width, sourceHeight = image.height;
    const bool originalAligned = originalImage.IsValid() && originalImage.width == sourceWidth &&
                                 originalImage.height == sourceHeight;
    if (image.Crop(cut) != 0) {
        // The raster is gone; tell the views rather than leave them on freed pixels.
        image.Free();
        UpdateAllViews(kUpdateGeometryRoi);
        NotifyImageChanged();
        return false;
    }
    image.InvalidateHistogram();
    if (originalAligned && originalImage.Crop(cut) == 0)
        originalImage.InvalidateHistogram();
    else
        originalImage.Free();  // an original that no longer lines up cannot be shown
    if (originalWidth == 0) {
        originalWidth = sourceWidth;
        originalHeight = sourceHeight;
    }
    originX += cut.left;
    originY += cut.top;
    regions.CropTo(cut);
    rosRegions.CropTo(cut);
    spots.CropTo(cut);
    clusters.CropTo(cut);
    CropBreastSegment(cut);
    UpdateAllViews(kUpdateImage);
    NotifyImageChanged();
    UpdateAllViews(kUpdateGeometryRoi);
    UpdateAllViews(kUpdateAnnotations);
    return true;
}

CVistrelDoc* CVistrelDoc::OnOpenRoiInNewWindow(const CRect& roi, int mouseMode) {
    if (!image.IsValid()) return nullptr;
    CRect rect = roi;
    if (mouseMode == kMouseSrdmRoi && !rect.IsEmpty()) {
        rect.right = rect.left + kSrdmRoiSize;
        rect.bottom = rect.top + kSrdmRoiSize;
    }
    const CRect cut = ClipToImage(rect, image);
    if (cut.IsEmpty()) return nullptr;
    std::unique_ptr<CMImage> part = image.SubImage(cut);
    if (!part) return nullptr;
    // The cut keeps its samples, so it keeps the offset that gives their true values.
    part->valueOffset = image.valueOffset;
    std::unique_ptr<CMImage> originalPart;
    if (originalImage.IsValid()) {
        originalPart = originalImage.SubImage(cut);
        if (originalPart) originalPart->valueOffset = originalImage.valueOffset;
    }
    return OpenImageInNewWindow(std::move(part), std::move(originalPart), cut);
}

void CVistrelDoc::ClampWindow() {
    CWindowRange window{windowLow, windowHigh};
    int32_t minV = 0, maxV = 0;
    TrueValueRange(image, minV, maxV);
    ClampWindowAfterChange(window, minV, maxV);
    windowLow = window.low;
    windowHigh = window.high;
}

bool CVistrelDoc::SwapOriginalImage() {
    if (!image.IsValid() || !originalImage.IsValid()) return false;
    const int depthBefore = image.depth;
    image.Swap(originalImage);
    if (image.depth != depthBefore) DeriveDisplayBits(image.depth, displayShift, displayDepth);
    ClampWindow();
    UpdateAllViews(kUpdateImage);
    NotifyImageChanged();
    return true;
}

void CVistrelDoc::GeometryChanged() {
    UpdateAllViews(kUpdateImage);
    NotifyImageChanged();
    UpdateAllViews(kUpdateAnnotations);
}

void CVistrelDoc::MovePoints(const std::function<CPoint(CPoint)>& move) {
    for (int32_t i = 0; i < spots.Count(); ++i) {
        const CPoint p = move(spots[i].Point());
        spots[i].x = p.x;
        spots[i].y = p.y;
    }
    for (int32_t c = 0; c < clusters.Count(); ++c) {
        CCluster* cluster = clusters.At(c);
        if (!cluster) continue;
        CCluster moved;
        for (const CPoint& p : cluster->Points()) {
            const CPoint q = move(p);
            moved.AddPoint(q.x, q.y);
        }
        *cluster = moved;
    }
}

bool CVistrelDoc::OnRotate(int angle) {
    if (!image.IsValid()) return false;
    if (angle != kRotate180 && angle != kRotateClockwise && angle != kRotateCounterClockwise)
        return false;
    if (!Rotate(image, angle)) {
        // A failed quarter turn leaves the image empty: the views must let go of it.
        if (!image.IsValid()) GeometryChanged();
        return false;
    }
    if (originalImage.IsValid() && !Rotate(originalImage, angle)) originalImage.Free();
    // Outlines turn with the size the image had before the turn.
    const int32_t turnedWidth = angle == kRotate180 ? image.width : image.height;
    const int32_t turnedHeight = angle == kRotate180 ? image.height : image.width;
    breastSegment.Rotate(angle, turnedWidth, turnedHeight);
    secondSegment.Rotate(angle, turnedWidth, turnedHeight);
    if (breastMask.IsValid() && !Rotate(breastMask, angle)) DropBreastSegment();
    regions.Rotate(image.width, image.height, angle);
    rosRegions.Rotate(image.width, image.height, angle);
    MovePoints([&](CPoint p) {
        return CBreastSgt::RotatedPoint(p, angle, turnedWidth, turnedHeight);
    });
    GeometryChanged();
    return true;
}

bool CVistrelDoc::OnFlipHorizontal() {
    if (!image.IsValid() || !FlipHorizontal(image)) return false;
    if (originalImage.IsValid()) FlipHorizontal(originalImage);
    if (breastMask.IsValid()) FlipHorizontal(breastMask);
    breastSegment.MirrorHorizontal(image.width);
    secondSegment.MirrorHorizontal(image.width);
    autoFlipped = false;
    regions.MirrorHorizontally(image.width);
    rosRegions.MirrorHorizontally(image.width);
    MovePoints([w = image.width](CPoint p) { return CPoint{w - 1 - p.x, p.y}; });
    GeometryChanged();
    return true;
}

bool CVistrelDoc::OnFlipVertical() {
    if (!image.IsValid() || !FlipVertical(image)) return false;
    if (originalImage.IsValid()) FlipVertical(originalImage);
    if (breastMask.IsValid()) FlipVertical(breastMask);
    breastSegment.MirrorVertical(image.height);
    secondSegment.MirrorVertical(image.height);
    regions.MirrorVertically(image.height);
    rosRegions.MirrorVertically(image.height);
    MovePoints([h = image.height](CPoint p) { return CPoint{p.x, h - 1 - p.y}; });
    GeometryChanged();
    return true;
}

bool CVistrelDoc::OnReverse() {
    if (!image.IsValid()) return false;
    image.Reverse();
    KeepBreastHistogram();
    UpdateAllViews(kUpdateImage);
    return true;
}

bool CVistrelDoc::OnSwapBytes() {
    if (!image.IsValid() || image.depth < 9) return false;
    image.SwapBytes();
    KeepBreastHistogram();
    UpdateAllViews(kUpdateImage);
    return true;
}

bool CVistrelDoc::OnSetDepth(int depth) {
    if (!CanChangeDepth() || depth == image.depth) return false;
    if (depth != 16 && depth != 14 && depth != 12 && depth != 8) return false;
    image.SetDepth(depth, displayShift, displayDepth);
    KeepBreastHistogram();
    if (image.depth != depth) return false;
    DeriveDisplayBits(image.depth, displayShift, displayDepth);
    ClampWindow();
    UpdateAllViews(kUpdateImage);
    NotifyImageChanged();
    return true;
}

CVistrelDoc* CVistrelDoc::OnEqualizeHistogram(const CRect& roi) {
    if (!image.IsValid()) return nullptr;
    const CRect cut = roi.IsEmpty() ? CRect{} : ClipToImage(roi, image);
    if (!roi.IsEmpty() && cut.IsEmpty()) return nullptr;
    bool wholeImage = false;
    if (!cut.IsEmpty()) {
        IWorkspaceUi* ui = app_.Ui();
        if (!ui) return nullptr;
        int selected = 0;
        if (!ui->AskRadioGroup(kEqualizeTitle, {kEqualizeAreaOnly, kEqualizeFromArea}, selected) ||
            (selected != 0 && selected != 1))
            return nullptr;
        wholeImage = selected == 1;
    }
    std::unique_ptr<CMImage> result;
    {
        CWaitCursor wait(app_.Ui());
        result = Equalize(image, cut, wholeImage);
    }
    if (!result) return nullptr;
    CVistrelDoc* doc = OpenImageInNewWindow(std::move(result));
    if (doc && !cut.IsEmpty()) {
        doc->initialRoi = cut;
        doc->UpdateAllViews(kUpdateGeometry);
    }
    return doc;
}

// ---------------------------------------------------------------- annotations

COverlayPlacement CVistrelDoc::OverlayPlacement() const {
    COverlayPlacement placement;
    placement.imageWidth = image.width;
    placement.imageHeight = image.height;
    placement.originX = originX;
    placement.originY = originY;
    placement.originalWidth = originalWidth;
    placement.autoFlipped = autoFlipped;
    return placement;
}

bool CVistrelDoc::ReadOverlay(EOverlayRead from) {
    std::string file;
    if (from == EOverlayRead::AskForFile) {
        IWorkspaceUi* ui = app_.Ui();
        if (!ui) return false;
        const std::string proposed = MakeCompanionPath(pathName, kOverlayExtension, 1);
        if (!ui->PickOpenFile(proposed, ParseFilterList(kOverlayOpenFilters), file)) return false;
    } else {
        file = MakeCompanionPath(pathName, kOverlayExtension, 2);
    }
    if (file.empty() || !image.IsValid()) return false;
    return vistrel::ReadOverlay(file, OverlayPlacement(), description, subtlety, regions,
                                rosRegions);
}

COverlayWriteResult CVistrelDoc::WriteOverlay(const std::string& path, bool currentCoordinates,
                                              bool interactive) {
    if (description.empty() && regions.IsEmpty() && rosRegions.IsEmpty())
        return COverlayWriteResult::NothingToWrite;
    std::string target = path;
    if (interactive) {
        IWorkspaceUi* ui = app_.Ui();
        if (!ui) return COverlayWriteResult::NothingToWrite;
        const std::vector<CFileFilter> filters = ParseFilterList(kOverlaySaveFilters);
        const std::string proposed = path.empty() ? DefaultOverlayPath(pathName) : path;
        std::string chosen;
        int filterIndex = 0;
        if (!ui->PickSaveFile(proposed, filters, chosen, filterIndex) || chosen.empty())
            return COverlayWriteResult::NothingToWrite;
        const auto endsWith = [&chosen](const std::string& tail) {
            return chosen.size() >= tail.size() &&
                   chosen.compare(chosen.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (!endsWith(".OVERLAY") && !endsWith(".txt"))
            chosen += filterIndex == 1 ? ".txt" : ".OVERLAY";
        if (FileExists(chosen) && messages().ask(chosen + kAlreadyExists, {"Yes", "No"}) != 0)
            return COverlayWriteResult::NothingToWrite;
        target = chosen;
        // Only a cut-out has two coordinate systems to choose from.
        if (!currentCoordinates && (originX != 0 || originY != 0))
            currentCoordinates = messages().ask(kOverlayCoordinateQuestion, {"Yes", "No"}) == 0;
    }
    return vistrel::WriteOverlay(target, description, regions, rosRegions, OverlayPlacement(),
                                 currentCoordinates);
}

bool CVistrelDoc::OnOpenOverlay() {
    if (!image.IsValid()) return false;
    IWorkspaceUi* ui = app_.Ui();
    if (!ui) return false;
    std::string file;
    const std::string proposed = MakeCompanionPath(pathName, kOverlayExtension, 1);
    // The annotations are only replaced once a file has been chosen: a
    // cancelled dialog must not wipe them.
    if (!ui->PickOpenFile(proposed, ParseFilterList(kOverlayOpenFilters), file) || file.empty())
        return false;
    regions.RemoveAll();
    rosRegions.RemoveAll();
    const bool read =
        vistrel::ReadOverlay(file, OverlayPlacement(), description, subtlety, regions, rosRegions);
    UpdateAllViews(kUpdateAnnotations);
    UpdateAllViews(kUpdateDescription);
    return read;
}

COverlayWriteResult CVistrelDoc::OnSaveOverlay() {
    return WriteOverlay(DefaultOverlayPath(pathName), false, true);
}

bool CVistrelDoc::OnExtractRegions() {
    if (!image.IsValid()) return false;
    std::unique_ptr<CRegions> extracted;
    {
        CWaitCursor wait(app_.Ui());
        extracted = ExtractRegions(image, image.maxValue, app_.connectivity);
    }
    if (!extracted) return false;
    ReplaceRegions(std::move(*extracted));
    return true;
}

void CVistrelDoc::ReplaceRegions(CRegions extracted) {
    regions = std::move(extracted);
    if (!app_.showRegions) app_.OnShowRegions();
    UpdateAllViews(kUpdateAnnotations);
}

void CVistrelDoc::OnRemoveAllRegions() {
    regions.RemoveAll();
    UpdateAllViews(kUpdateAnnotations);
}

void CVistrelDoc::OnSetAllDiagnosis(int16_t diagnosis) {
    regions.SetDiagnosisOfAll(diagnosis);
    if (app_.showUserDiagnoses) UpdateAllViews(kUpdateAnnotations);
}

// The context-menu commands act on the one region the view hit-tested:
// select it, apply, tell the views. False when index names no region.
template <typename Action>
static bool ActOnRegionAt(CVistrelDoc& doc, CRegions& list, int32_t index, Action action) {
    if (!list.At(index)) return false;
    list.Select(index);
    action(list);
    doc.UpdateAllViews(kUpdateAnnotations);
    return true;
}

bool CVistrelDoc::OnRegionDiagnosis(int32_t index, int16_t diagnosis) {
    return ActOnRegionAt(*this, regions, index,
                         [&](CRegions& list) { list.SetDiagnosisOfSelected(diagnosis); });
}

bool CVistrelDoc::OnRemoveRegion(int32_t index) {
    return ActOnRegionAt(*this, regions, index, [](CRegions& list) { list.RemoveSelected(); });
}

bool CVistrelDoc::OnRosDiagnosis(int32_t index, int16_t diagnosis) {
    return ActOnRegionAt(*this, rosRegions, index,
                         [&](CRegions& list) { list.SetDiagnosisOfSelected(diagnosis); });
}

bool CVistrelDoc::OnRemoveRos(int32_t index) {
    return ActOnRegionAt(*this, rosRegions, index, [](CRegions& list) { list.RemoveSelected(); });
}

void CVistrelDoc::OnRemoveAllRos() {
    rosRegions.RemoveAll();
    UpdateAllViews(kUpdateAnnotations);
}

int32_t CVistrelDoc::OnRemoveRegionsInsideRoi(const CRect& roi) {
    if (roi.IsEmpty()) return 0;
    const int32_t removed = regions.RemoveInsideRect(roi);
    UpdateAllViews(kUpdateAnnotations);
    return removed;
}

int32_t CVistrelDoc::ClusterOfRegion(int32_t index) const {
    const CRegion* region = regions.At(index);
    if (!region) return 0;
    if (region->clusterNumber >= ClusterOutlineNumber(1)) return region->clusterNumber;
    if (region->clusterNumber >= 1) return ClusterOutlineNumber(region->clusterNumber);
    return 0;
}

namespace {

// How many members the cluster whose outline number is `cluster` has.
int32_t CountClusterMembers(const CRegions& regions, int32_t cluster) {
    int32_t count = 0;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* r = regions.At(i);
        if (r && r->IsValid() && ClusterOutlineNumber(r->clusterNumber) == cluster) ++count;
    }
    return count;
}

}  // namespace

int32_t CVistrelDoc::OnGrowContours(ContourScope scope, int32_t index) {
    if (!image.IsValid() || regions.IsEmpty()) return 0;
    CRegion* selected = regions.At(index);
    const int32_t cluster = scope == ContourScope::SelectedCluster ? ClusterOfRegion(index) : 0;
    if ((scope == ContourScope::Selected && !selected) ||
        (scope == ContourScope::SelectedCluster && cluster == 0))
        return 0;
    IWorkspaceUi* ui = app_.Ui();
    if (!ui) return 0;
    CRegionGrowingModel model;
    model.Load(app_.regionGrowing);
    if (!ui->AskRegionGrowing(model) || !model.Commit(app_.regionGrowing)) return 0;

    int32_t corrected = 0;
    {
        CWaitCursor wait(ui);
        if (scope == ContourScope::Selected) {
            GrowRegion(*selected, image, app_.regionGrowing);
            corrected = 1;
        } else {
            corrected = GrowRegions(regions, image, app_.regionGrowing, cluster);
        }
    }
    UpdateAllViews(kUpdateAnnotations);
    return corrected;
}

int32_t CVistrelDoc::OnSmoothContours(ContourScope scope, int32_t index) {
    if (!image.IsValid() || regions.IsEmpty()) return 0;
    CRegion* selected = regions.At(index);
    const int32_t cluster = scope == ContourScope::SelectedCluster ? ClusterOfRegion(index) : 0;
    if ((scope == ContourScope::Selected && !selected) ||
        (scope == ContourScope::SelectedCluster && cluster == 0))
        return 0;
    IWorkspaceUi* ui = app_.Ui();
    if (!ui) return 0;
    int element = app_.dilation.element;
    if (!ui->AskRadioGroup(kStructuringElementTitle, {"cross", "square"}, element) ||
        (element != 0 && element != 1))
        return 0;
    app_.dilation.element = element;

    const CRect imageRect{0, 0, image.width, image.height};
    int32_t smoothed = 0;
    if (scope == ContourScope::Selected) {
        DilateRegion(*selected, imageRect, element);
        smoothed = 1;
    } else {
        smoothed =
            scope == ContourScope::All ? regions.Count() : CountClusterMembers(regions, cluster);
        regions.SmoothByDilation(imageRect, element, cluster);
    }
    UpdateAllViews(kUpdateAnnotations);
    return smoothed;
}

int32_t CVistrelDoc::OnRoiRegionsDiagnosis(const CRect& roi, int16_t diagnosis) {
    if (roi.IsEmpty()) return 0;
    const int32_t changed = regions.SetDiagnosisInsideRect(roi, diagnosis);
    if (changed > 0) UpdateAllViews(kUpdateAnnotations);
    return changed;
}

int32_t CVistrelDoc::OnClusterDiagnosis(int16_t diagnosis) {
    const int32_t changed = regions.SetDiagnosisOfSelectedAndInside(diagnosis);
    if (changed > 0) UpdateAllViews(kUpdateAnnotations);
    return changed;
}

bool CVistrelDoc::OnRemoveCluster() {
    return OnRemoveRegion(regions.Selected());
}

int32_t CVistrelDoc::OnRemoveClusterAndInside() {
    const int32_t removed = regions.RemoveClusterAndInside();
    if (removed > 0) UpdateAllViews(kUpdateAnnotations);
    return removed;
}

bool CVistrelDoc::OnMeasure(double rulerMillimetres) {
    if (!(rulerMillimetres > 0.0)) return false;
    std::string text = RulerText(rulerMillimetres);
    // The pane's leading space has no place at the start of a message.
    text.erase(0, text.find_first_not_of(' '));
    messages().show(text + ResolutionNote());
    return true;
}

std::string CVistrelDoc::GetFileName(bool full) const {
    return full ? pathName : FileNameOf(pathName);
}

void CVistrelDoc::UpdateTitle(float zoom) {
    titleZoom_ = zoom;
    title_ = QString::fromStdString(MakeDocumentTitle(GetFileName(false), zoom, number));
    emit titleChanged(title_);
}

void CVistrelDoc::SetPathName(const std::string& path, bool addToRecent) {
    pathName = path;
    if (addToRecent) app_.AddToRecentFileList(path);
}

int CVistrelDoc::SetWindowBits(int shift, int bits) {
    if (shift == displayShift && bits == displayDepth) return 0;
    if (shift < 0 || bits < 1 || bits > 8 || shift + bits > image.depth) return 0;
    displayShift = static_cast<uint8_t>(shift);
    displayDepth = static_cast<uint8_t>(bits);
    UpdateAllViews(kUpdateDisplay);
    return 1;
}

int CVistrelDoc::SetWindowValues(int32_t low, int32_t high) {
    int32_t minV = 0, maxV = 0;
    TrueValueRange(image, minV, maxV);
    windowLow = std::clamp(low, minV, maxV);
    windowHigh = std::clamp(high, windowLow, maxV);
    return 1;
}

void CVistrelDoc::GetWindowValues(int32_t& low, int32_t& high, int32_t& minV, int32_t& maxV) const {
    TrueValueRange(image, minV, maxV);
    low = (windowLow < minV || windowLow > maxV) ? minV : windowLow;
    high = (windowHigh < minV || windowHigh > maxV) ? maxV : windowHigh;
}

void CVistrelDoc::BeginWindowDrag(bool valueWindowShown) {
    if (valueWindowShown || !image.IsValid()) return;
    const CWindowRange window = BitWindowAsValueWindow(image, displayShift, displayDepth);
    SetWindowValues(window.low, window.high);
}

void CVistrelDoc::SetDisplayEnhancement(int32_t newContrast, int32_t newBrightness, float newGamma,
                                        bool repaint) {
    contrast = newContrast;
    brightness = newBrightness;
    gamma = newGamma;
    displayLut.contrast = newContrast;
    displayLut.brightness = newBrightness;
    displayLut.SetGamma(newGamma);
    if (repaint) UpdateAllViews(kUpdateDisplay);
}

std::unique_ptr<CDisplayBitmap> CVistrelDoc::Render(CRenderRequest& request, bool valueWindow,
                                                    const CPalette& palette,
                                                    bool showOriginal) const {
    const CMImage* source = &image;
    request.overlay = nullptr;
    if (showOriginal && originalImage.IsValid()) {
        source = &originalImage;
        request.overlay = &image;
    }
    if (!source->IsValid() || palette.empty()) return nullptr;
    if (valueWindow)
        return RenderValueWindow(*source, windowLow + image.valueOffset,
                                 windowHigh + image.valueOffset, displayLut, palette, request);
    return RenderBitWindow(*source, displayShift, displayDepth, displayLut, palette, request);
}

void CVistrelDoc::NotifyImageChanged() {
    emit app_.Notifier().imageChanged(this);
}

}  // namespace vistrel
