#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/messages.h"
#include "regions/feature_file.h"
#include "regions/region_features.h"
#include "regions/texture.h"
#include "workspace/file_filters.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

constexpr char kCurrentRegionHeading[] = "CURRENT REGION FEATURES:\n";
constexpr char kMeanRegionHeading[] = "MEAN REGION FEATURES:\n";
constexpr char kStdDevRegionHeading[] = "STD DEV REGION FEATURES:\n";
constexpr char kAsClusterHeading[] = "FEATURES OF REGIONS AS A CLUSTER:\n";
constexpr char kMeanInClusterHeading[] = "MEAN FEATURES FOR REGIONS IN CLUSTER:\n";
constexpr char kStdDevInClusterHeading[] = "STD DEV FEATURES FOR REGIONS IN CLUSTER:\n";
constexpr char kGlcmHeading[] = "GLCM IN ROI FEATURES:\n";
constexpr char kFeatureFileFilters[] = "Features Files |*.ftr|TXT Files |*.txt||";
constexpr char kPutTextureQuestion[] = "Are you sure you want to copy ROI from the left side?";
// More binary images than this at once are opened only after a question:
// each one is a whole image.
constexpr int32_t kBinaryImagesWithoutQuestion = 16;

// "CURRENT REGION FEATURES:\n" -> "CURRENT REGION FEATURES".
std::string WindowHeading(const std::string& heading) {
    std::string text = heading;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == ':'))
        text.pop_back();
    return text;
}

CRect ClipRect(CRect rect, const CMImageBase& image) {
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, image.width);
    rect.bottom = std::min(rect.bottom, image.height);
    return rect.IsEmpty() ? CRect{} : rect;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The extension of path without the dot, lower case; empty when none.
std::string ExtensionOfPath(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext.size() > 1 ? Lower(ext.substr(1)) : std::string{};
}

// The diagnosis the regions share; "false" when they differ or there are none.
int16_t SharedDiagnosis(const std::vector<const CRegion*>& regions) {
    if (regions.empty()) return 2;
    const int16_t first = regions.front()->diagnosis;
    for (const CRegion* region : regions)
        if (region->diagnosis != first) return 2;
    return first;
}

// Whether member belongs to the cluster whose outline is `outline`.
bool IsMemberOf(const CRegion& member, const CRegion& outline) {
    return !member.IsClusterOutline() && member.clusterNumber > 0 &&
           ClusterOutlineNumber(member.clusterNumber) == outline.clusterNumber;
}

// One text line per entry, "name = value".
std::string ListLines(const CFeatureVector& features) {
    std::string text;
    char buffer[64];
    for (int32_t i = 0; i < features.Size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%.6f", features.values[static_cast<size_t>(i)]);
        text += features.names[static_cast<size_t>(i)] + " = " + buffer + "\n";
    }
    return text;
}

}  // namespace

CFeatureSettings CVistrelDoc::FeatureSettings() const {
    CFeatureSettings settings = App().featureSettings;
    settings.resolution = resolution;
    return settings;
}

int CVistrelDoc::RegionFeatures(int32_t index, CFeatureVector& out) const {
    out.Clear();
    const CRegion* region = regions.At(index);
    if (!region || !image.IsValid()) return -1;
    return ComputeRegionFeatures(*region, image, App().featureSelection, FeatureSettings(), out);
}

namespace {

// The text window of a feature command, titled after the document.
void ShowFeatureText(const CVistrelDoc& doc, const std::string& heading, const std::string& text) {
    if (IWorkspaceUi* ui = doc.App().Ui())
        ui->ShowTextWindow(doc.Title().toStdString() + " - " + WindowHeading(heading), text);
}

// The cluster features of an outline; the marked copy of the image, when the
// co-occurrence group made one, opens as a new document.
int ClusterFeaturesOf(CVistrelDoc& doc, const CRegion& outline, CFeatureVector& out) {
    std::unique_ptr<CMImage> marked;
    const int result =
        ComputeClusterFeatures(outline, doc.regions, doc.image, doc.App().featureSelection,
                               doc.FeatureSettings(), out, &marked);
    if (marked && marked->IsValid()) doc.OpenImageInNewWindow(std::move(marked));
    return result;
}

}  // namespace

std::string CVistrelDoc::OnShowFeatures() {
    const CRegion* region = regions.At(regions.Selected());
    if (!region || !image.IsValid()) return {};
    if (region->IsClusterOutline()) return OnFeaturesOfRegionsAsCluster();
    CFeatureVector features;
    if (RegionFeatures(regions.Selected(), features) < 0 || features.IsEmpty()) return {};
    const std::string text = kCurrentRegionHeading + FormatFeatures(region->diagnosis, features);
    ShowFeatureText(*this, kCurrentRegionHeading, text);
    return text;
}

namespace {

// Mean and standard deviation of the features of `members` (indices into
// doc.regions) under the two headings; empty when nothing could be computed
// or the progress was cancelled.
std::string MeanFeatureText(CVistrelDoc& doc, const CRegions& members,
                            const std::string& meanHeading, const std::string& stdDevHeading) {
    std::vector<CFeatureVector> vectors;
    {
        CProgressScope progress(doc.App().Ui(), "Computing region features");
        if (!ComputeAllRegionFeatures(members, doc.image, doc.App().featureSelection,
                                      doc.FeatureSettings(), true, vectors, progress.Fn()))
            return {};
    }
    std::vector<CFeatureVector> computed;
    std::vector<const CRegion*> measured;
    for (int32_t i = 0; i < members.Count() && i < static_cast<int32_t>(vectors.size()); ++i) {
        if (vectors[static_cast<size_t>(i)].IsEmpty()) continue;
        computed.push_back(std::move(vectors[static_cast<size_t>(i)]));
        measured.push_back(members.At(i));
    }
    CFeatureVector mean, stdDev;
    if (!MeanAndStdDev(computed, mean, stdDev)) return {};
    const int16_t diagnosis = SharedDiagnosis(measured);
    const std::string text = meanHeading + FormatFeatures(diagnosis, mean) + "\n" + stdDevHeading +
                             FormatFeatures(diagnosis, stdDev);
    ShowFeatureText(doc, meanHeading, text);
    return text;
}

// The members of the cluster whose outline is selected, as a collection of
// their own; false when no cluster outline is selected.
bool SelectedClusterMembers(const CRegions& regions, CRegions& members) {
    const CRegion* outline = regions.At(regions.Selected());
    if (!outline || !outline->IsClusterOutline()) return false;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* region = regions.At(i);
        if (region && IsMemberOf(*region, *outline)) members.Add(*region);
    }
    return true;
}

}  // namespace

std::string CVistrelDoc::OnMeanRegionFeatures() {
    if (!image.IsValid() || regions.IsEmpty()) return {};
    return MeanFeatureText(*this, regions, kMeanRegionHeading, kStdDevRegionHeading);
}

std::string CVistrelDoc::OnMeanFeaturesInCluster() {
    if (!image.IsValid()) return {};
    CRegions members;
    if (!SelectedClusterMembers(regions, members) || members.IsEmpty()) return {};
    return MeanFeatureText(*this, members, kMeanInClusterHeading, kStdDevInClusterHeading);
}

std::string CVistrelDoc::OnFeaturesOfRegionsAsCluster() {
    const CRegion* outline = regions.At(regions.Selected());
    if (!image.IsValid() || !outline || !outline->IsClusterOutline()) return {};
    CFeatureVector features;
    if (ClusterFeaturesOf(*this, *outline, features) < 0 || features.IsEmpty()) return {};
    const std::string text = kAsClusterHeading + FormatFeatures(outline->diagnosis, features);
    ShowFeatureText(*this, kAsClusterHeading, text);
    return text;
}

namespace {

// The rows a save command writes; empty when there is nothing to write.
// False when the progress was cancelled.
bool CollectFeatureRows(CVistrelDoc& doc, CommandId command, const std::string& regionType,
                        std::vector<CFeatureRow>& rows) {
    const CRegions& regions = doc.regions;
    const CFeatureSelection& selection = doc.App().featureSelection;
    const CFeatureSettings settings = doc.FeatureSettings();
    auto regionRow = [&](const CRegion& region, CFeatureVector features) {
        rows.push_back({DiagnosisWord(region.diagnosis), regionType, WithLeadingColumn(features)});
    };
    // Rows only: the marked picture the display commands open would be one
    // window per cluster here.
    auto clusterRow = [&](const CRegion& outline) {
        CFeatureVector features;
        const int result =
            ComputeClusterFeatures(outline, regions, doc.image, selection, settings, features);
        if (result >= 0 && !features.IsEmpty())
            rows.push_back({DiagnosisWord(outline.diagnosis, true), regionType, features});
    };
    // Features of every member of `of` that is not a cluster outline.
    auto allRegionFeatures = [&](const CRegions& of, std::vector<CFeatureVector>& vectors) {
        CProgressScope progress(doc.App().Ui(), "Computing region features");
        return ComputeAllRegionFeatures(of, doc.image, selection, settings, true, vectors,
                                        progress.Fn());
    };

    switch (command) {
        case CommandId::LearningMeanFeatures: {
            std::vector<CFeatureVector> vectors;
            if (!allRegionFeatures(regions, vectors)) return false;
            std::vector<CFeatureVector> computed;
            std::vector<const CRegion*> measured;
            for (int32_t i = 0; i < regions.Count() && i < int32_t(vectors.size()); ++i) {
                if (vectors[size_t(i)].IsEmpty()) continue;
                computed.push_back(std::move(vectors[size_t(i)]));
                measured.push_back(regions.At(i));
            }
            CFeatureVector mean, stdDev;
            if (!MeanAndStdDev(computed, mean, stdDev)) break;
            // One row holds both, so that the file's header names every column.
            CFeatureVector both = WithSuffix(mean, "_MEAN");
            both.Append(WithSuffix(stdDev, "_STD_DEV"));
            rows.push_back(
                {DiagnosisWord(SharedDiagnosis(measured)), regionType, WithLeadingColumn(both)});
            break;
        }
        case CommandId::LearningClusterFeatures:
            for (int32_t i = 0; i < regions.Count(); ++i)
                if (const CRegion* region = regions.At(i); region && region->IsClusterOutline())
                    clusterRow(*region);
            break;
        case CommandId::LearningRegionFeatures: {
            std::vector<CFeatureVector> vectors;
            if (!allRegionFeatures(regions, vectors)) return false;
            for (int32_t i = 0; i < regions.Count() && i < int32_t(vectors.size()); ++i)
                if (!vectors[size_t(i)].IsEmpty())
                    regionRow(*regions.At(i), std::move(vectors[size_t(i)]));
            break;
        }
        case CommandId::SaveClusterAndRegionFeatures: {
            const CRegion* outline = regions.At(regions.Selected());
            if (!outline || !outline->IsClusterOutline()) break;
            clusterRow(*outline);
            CRegions members;
            SelectedClusterMembers(regions, members);
            std::vector<CFeatureVector> vectors;
            if (!allRegionFeatures(members, vectors)) return false;
            for (int32_t i = 0; i < members.Count() && i < int32_t(vectors.size()); ++i)
                if (!vectors[size_t(i)].IsEmpty())
                    regionRow(*members.At(i), std::move(vectors[size_t(i)]));
            break;
        }
        case CommandId::SaveRegionFeatures: {
            const CRegion* region = regions.At(regions.Selected());
            if (!region) break;
            if (region->IsClusterOutline()) {
                clusterRow(*region);
            } else {
                CFeatureVector features;
                if (doc.RegionFeatures(regions.Selected(), features) >= 0 && !features.IsEmpty())
                    regionRow(*region, std::move(features));
            }
            break;
        }
        default:
            break;
    }
    return true;
}

// Whether the command has anything to work on before any dialog opens.
bool CanSaveFeatures(const CVistrelDoc& doc, CommandId command) {
    if (!doc.image.IsValid() || doc.regions.IsEmpty()) return false;
    const CRegion* selected = doc.regions.At(doc.regions.Selected());
    switch (command) {
        case CommandId::LearningMeanFeatures:
        case CommandId::LearningClusterFeatures:
        case CommandId::LearningRegionFeatures:
            return true;
        case CommandId::SaveClusterAndRegionFeatures:
            return selected && selected->IsClusterOutline();
        case CommandId::SaveRegionFeatures:
            return selected != nullptr;
        default:
            return false;
    }
}

// The feature file's name from the save dialog: the last one proposed, its
// filter chosen first, the chosen filter's extension forced. Empty on Cancel.
std::string AskFeatureFile(CVistrelApp& app) {
    IWorkspaceUi* ui = app.Ui();
    if (!ui) return {};
    const std::vector<CFileFilter> filters = ParseFilterList(kFeatureFileFilters);
    const std::string& last = app.lastPaths.features;
    int filterIndex = 0;
    const std::string lastExtension = ExtensionOfPath(last);
    for (std::size_t i = 0; i < filters.size(); ++i)
        if (filters[i].Extension() == lastExtension) filterIndex = static_cast<int>(i);
    std::string chosen;
    if (!ui->PickSaveFile(last, filters, chosen, filterIndex) || chosen.empty()) return {};
    if (filterIndex < 0 || filterIndex >= static_cast<int>(filters.size())) filterIndex = 0;
    const std::string wanted = filters[static_cast<size_t>(filterIndex)].Extension();
    if (!wanted.empty() && ExtensionOfPath(chosen) != wanted)
        chosen = std::filesystem::path(chosen).replace_extension("." + wanted).string();
    app.lastPaths.features = chosen;
    return chosen;
}

}  // namespace

bool CVistrelDoc::OnSaveFeatures(CommandId command) {
    IWorkspaceUi* ui = App().Ui();
    if (!ui || !CanSaveFeatures(*this, command)) return false;
    CRegionTypeModel& regionType = App().regionType;
    CRegionTypeModel asked = regionType;
    if (!ui->AskRegionType(asked)) return false;
    regionType = asked;  // remembered for the next use
    if (!regionType.Problem().empty()) {
        messages().show(regionType.Problem());
        return false;
    }
    std::vector<CFeatureRow> rows;
    if (!CollectFeatureRows(*this, command, regionType.Text(), rows)) return false;  // cancelled
    if (rows.empty()) {
        messages().show("There are no features to write.");
        return false;
    }
    const std::string path = AskFeatureFile(App());
    if (path.empty()) return false;
    std::string error;
    if (!AppendFeatureRows(path, pathName, rows, &error)) {
        messages().show("The features could not be written to " + path +
                        (error.empty() ? std::string(".") : ": " + error));
        return false;
    }
    return true;
}

std::string CVistrelDoc::OnComputeGlcm(const CRect& roi) {
    IWorkspaceUi* ui = App().Ui();
    const CRect rect = ClipRect(roi, image);
    if (!ui || !image.IsValid() || rect.IsEmpty()) return {};
    std::string type = App().regionType.type;
    if (!ui->AskText("region type", "type", "type", type)) return {};

    CFeatureVector features;
    CHistogram histogram = image.GetHistogramInRect(rect);
    double mean = 0, stdDev = 0, variance = 0, skewness = 0, kurtosis = 0;
    int32_t minV = 0, maxV = 0, median = 0, pixels = 0;
    histogram.GetMoments(mean, stdDev, variance, skewness, kurtosis, minV, maxV, median, pixels);
    features.Add("min", minV);
    features.Add("max", maxV);
    features.Add("median", median);
    features.Add("mean", mean);
    features.Add("pixels", pixels);
    features.Add("stdDev", stdDev);
    features.Add("skewness", skewness);
    features.Add("kurtosis", kurtosis);
    if (!CoocurrenceFeatures(image, rect, App().featureSettings.coocurrenceDistance, features) ||
        features.Size() <= 8)
        return {};

    std::string text = kGlcmHeading;
    text += "type = " + CRegionTypeModel{type, {}}.Text() + "\n";
    text += "glcm_in_roi_left = " + std::to_string(rect.left) + "\n";
    text += "glcm_in_roi_top = " + std::to_string(rect.top) + "\n";
    text += "glcm_in_roi_right = " + std::to_string(rect.right) + "\n";
    text += "glcm_in_roi_bottom = " + std::to_string(rect.bottom) + "\n";
    text += ListLines(features);
    ShowFeatureText(*this, kGlcmHeading, text);
    description += description.empty() ? text : "\n" + text;
    UpdateAllViews(kUpdateDescription);
    return text;
}

std::string CVistrelDoc::OnComputeSrdm(const CRect& roi) {
    const CRect rect = ClipRect(roi, image);
    std::unique_ptr<CSRDM> srdm;
    std::vector<std::string> skipped;
    if (image.IsValid() && !rect.IsEmpty())
        srdm = BuildSRDM(image, kSrdmInner, kSrdmMiddle, kSrdmOuter, kSrdmMargin, rect, &skipped);
    std::string text;
    if (!srdm) {
        text = "SRD matrix == NULL;";
    } else {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "SRD matrix h=%d w=%d;\n", srdm->rows, srdm->cols);
        text = buffer;
        for (int32_t row = 0; row < srdm->rows; ++row) {
            for (int32_t col = 0; col < srdm->cols; ++col) {
                std::snprintf(buffer, sizeof buffer, "%d ", srdm->At(row, col));
                text += buffer;
            }
            text += "\n";
        }
        double hws = 0, vws = 0, dws = 0, gws = 0;
        srdm->GetFeatures(hws, vws, dws, gws);
        std::snprintf(buffer, sizeof buffer, "\nHWS = %f", hws);
        text += buffer;
        std::snprintf(buffer, sizeof buffer, "\nVWS = %f", vws);
        text += buffer;
        std::snprintf(buffer, sizeof buffer, "\nDWS = %f", dws);
        text += buffer;
        std::snprintf(buffer, sizeof buffer, "\nGWS = %f", gws);
        text += buffer;
    }
    if (!skipped.empty()) {
        std::string lines;
        for (const std::string& line : skipped) lines += line + "\n";
        messages().show(lines);
    }
    ShowFeatureText(*this, "SRD matrix", text);
    return text;
}

bool CVistrelDoc::OnPutTextureNextToRoi(const CRect& roi) {
    const CRect rect = ClipRect(roi, image);
    if (!image.IsValid() || rect.IsEmpty()) return false;
    const int32_t width = rect.Width();
    if (rect.left - width < 0) {
        messages().show("There is no room on the left of the ROI to copy from.");
        return false;
    }
    if (messages().ask(kPutTextureQuestion, {"OK", "Cancel"}) != 0) return false;
    for (int32_t y = rect.top; y < rect.bottom; ++y)
        for (int32_t x = rect.left; x < rect.right; ++x)
            image.SetPixel(x, y, image.GetPixel(x - width, y));
    image.InvalidateHistogram();
    UpdateAllViews(kUpdateImage);
    NotifyImageChanged();
    return true;
}

int32_t CVistrelDoc::OnBinaryImagesOfShapes() {
    if (!image.IsValid() || regions.IsEmpty()) return 0;
    const int32_t count = regions.Count();
    if (count > kBinaryImagesWithoutQuestion &&
        messages().ask("Open " + std::to_string(count) + " new windows, one per region?",
                       {"OK", "Cancel"}) != 0)
        return 0;
    const std::filesystem::path source(pathName.empty() ? std::string("image") : pathName);
    int32_t opened = 0;
    CProgressScope progress(App().Ui(), "Binary images of object shapes");
    const ProgressFn report = progress.Fn();
    for (int32_t i = 0; i < count; ++i) {
        if (!report(double(i) / count)) break;
        const CRegion* region = regions.At(i);
        if (!region || !region->IsValid()) continue;
        auto shape = std::make_unique<CMImage>();
        if (!shape->Create(image.width, image.height, 8, 1)) break;  // zero-filled
        for (const CPoint& p : region->Pixels())
            if (p.x >= 0 && p.y >= 0 && p.x < shape->width && p.y < shape->height)
                shape->SetPixel(p.x, p.y, 255);
        shape->InvalidateHistogram();
        CVistrelDoc* result = OpenImageInNewWindow(std::move(shape));
        if (!result) break;
        result->regions.RemoveAll();
        result->rosRegions.RemoveAll();
        // The region's index in the name, and so in the window title.
        const std::string name = source.stem().string() + "_shape_" + std::to_string(i) + ".pgm";
        result->SetPathName((source.parent_path() / name).string(), false);
        ++opened;
    }
    return opened;
}

bool CVistrelDoc::WriteFireFeatures(int32_t parameter) {
    if (!image.IsValid() || pathName.empty()) return false;
    if (regions.IsEmpty()) {
        // Candidates as the interactive path finds them: the breast first,
        // then the detector's seeds inside it and regions grown from them.
        const CSegmentParams params = AutomaticSegmentParams();
        SegmentBreastWith(params, kStageBreast);
        if (PrepareSeeds(parameter) && HasSeeds()) SegmentFromSeeds(CGrowParams{});
    }
    double objects = 0.0, area = 0.0, clustersFound = 0.0;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* region = regions.At(i);
        if (!region || !region->IsValid()) continue;
        if (region->IsClusterOutline()) {
            clustersFound += 1.0;
        } else {
            objects += 1.0;
            area += static_cast<double>(region->Pixels().size());
        }
    }
    const std::vector<double> values = {objects, PixelAreaToMm2(area, resolution), clustersFound};
    const bool vector = CFIREFeatureWriter::WriteVectorFeature(FireVectorPath(pathName), values);
    const bool mammo = CFIREFeatureWriter::WriteMammoFeature(FireMammoPath(pathName), values);
    return vector && mammo;
}

}  // namespace vistrel
