#include "workspace/command_menus.h"

namespace vistrel {

namespace {

using K = CMenuEntry::EKind;

CMenuEntry C(CommandId id) {
    return {K::Command, id, nullptr, {}, {}};
}
CMenuEntry Separator() {
    return {K::Separator, {}, nullptr, {}, {}};
}
CMenuEntry Sub(const char* title, std::vector<CMenuEntry> items) {
    return {K::Submenu, {}, title, std::move(items), {}};
}
CMenuEntry Place(EMenuPlace place) {
    return {K::Place, {}, nullptr, {}, place};
}
// The ids first..last in order (radio groups).
std::vector<CMenuEntry> Run(CommandId first, CommandId last) {
    std::vector<CMenuEntry> items;
    for (int id = static_cast<int>(first); id <= static_cast<int>(last); ++id)
        items.push_back(C(static_cast<CommandId>(id)));
    return items;
}
std::vector<CMenuEntry> Join(std::initializer_list<std::vector<CMenuEntry>> parts) {
    std::vector<CMenuEntry> items;
    for (const auto& part : parts) items.insert(items.end(), part.begin(), part.end());
    return items;
}

using I = CommandId;

}  // namespace

const std::vector<CMenuLayout>& MenuBarLayout() {
    static const std::vector<CMenuLayout> menus = {
        {"&File",
         {C(I::FileOpen), C(I::FileClose), C(I::CloseAll), C(I::FileSave), C(I::FileSaveAs),
          Separator(), C(I::OpenOverlay), C(I::SaveOverlay), C(I::OpenSgt), C(I::SaveSgt),
          Separator(), C(I::FilePrint), C(I::FilePrintDirect), C(I::FilePrintPreview),
          Separator(), C(I::PgxSavingOptions),
          C(I::ColouredImagesOptions), C(I::OriginalImageOptions), C(I::DicomReadingOptions),
          Place(EMenuPlace::RecentFiles), Separator(), C(I::AppExit)}},
        {"&View",
         Join({{C(I::StandardToolbar), C(I::MorphologyToolbar), C(I::UserToolbar),
                C(I::StatusBar), C(I::WindowBits), C(I::WindowValues), Separator(), C(I::ZoomIn),
                C(I::ZoomOut), C(I::ActualPixels), C(I::ZoomToFit),
                Sub("F&it Mode", Run(I::FitScreen, I::FitCasePreview)), Separator()},
               Run(I::MouseRoi, I::MouseWinLev),
               {Separator(), C(I::ShowRos), C(I::ShowRegions), C(I::UserDiagnoses),
                C(I::NnDiagnoses), Separator(), C(I::ShowOriginal), C(I::DeselectRoi),
                C(I::CropRoi), C(I::OpenRoiInNewWindow), C(I::Measure), C(I::RulerGrayLevels),
                Separator(), C(I::RadiologistsInterface)}})},
        {"&Basic Image Operations",
         {C(I::BrightnessContrast), C(I::Histogram), C(I::EqualizeHistogram),
          C(I::ImageProperties), C(I::SetResolution),
          Sub("&Rotate", {C(I::Rotate180), C(I::Rotate90Cw), C(I::Rotate90Ccw)}),
          C(I::FlipHorizontal), C(I::FlipVertical), C(I::Reverse), C(I::SwapBytes),
          Sub("&Bits per Pixel", Run(I::Depth16, I::Depth8)), Separator(), C(I::SwapOriginal),
          C(I::AddComment), C(I::TwoImages)}},
        {"F&iltering", {C(I::Filters), C(I::LogGaussianFilters)}},
        {"&Morphology",
         Join({Run(I::Erosion, I::OuterGradient),
               {Separator(), C(I::StructuringElement), C(I::ConditionalThickening)}})},
        {"&Detection Tools",
         {C(I::SpotDetector), C(I::McClusterDetection), C(I::Thresholding),
          C(I::SegmentFromSeeds), C(I::SeedsWthLocalStatistics), C(I::SeedsFromCentroids),
          Separator(), C(I::SegmentBreast), C(I::EnableBreastSegment), C(I::SetZeroOutsideBreast),
          // clusters of regions and their evaluation
          Separator(), C(I::ClusterParams), C(I::MakeClusters), C(I::ClusterAreas),
          C(I::MClusterAreas), C(I::EvaluateClusterResults), C(I::RemoveBadRegions),
          // batch detection on the active document
          Separator(), C(I::ProcessDetection)}},
        // Selection by clicking reaches the selected region and ROS through the
        // view's context menus, which reuse these commands.
        {"&Regions",
         {C(I::ExtractRegions), C(I::RemoveAllRegions), C(I::RemoveRegionsInsideRoi), Separator(),
          C(I::SetAllBenign), C(I::SetAllMalignant), C(I::SetAllFalse), Separator(),
          C(I::GrowAllContours), C(I::SmoothAllContours), C(I::GrowClusterContours),
          C(I::SmoothClusterContours),
          Sub("Selected Re&gion",
              {C(I::RegionBenign), C(I::RegionMalignant), C(I::RegionFalse), C(I::RemoveRegion),
               C(I::GrowSelectedContour), C(I::SmoothSelectedContour)}),
          Sub("Selected R&OS", {C(I::RosBenign), C(I::RosMalignant), C(I::RosFalse),
                                C(I::RemoveRos), C(I::RemoveAllRos)}),
          Separator(), C(I::ShowFeatures), C(I::MeanRegionFeatures), C(I::MeanFeaturesInCluster),
          C(I::FeaturesOfRegionsAsCluster),
          Sub("Add Learning Patterns", {C(I::LearningMeanFeatures), C(I::LearningClusterFeatures),
                                        C(I::LearningRegionFeatures)}),
          C(I::SaveRegionFeatures), C(I::SaveClusterAndRegionFeatures),
          C(I::BinaryImagesOfShapes), Separator(), C(I::FeatureSelection),
          C(I::NeuralNetwork), C(I::CoocurrenceParams)}},
        {"&Cases",
         {C(I::CurrentCaseCc), C(I::CurrentCaseMlo), C(I::CloseCurrentCase), C(I::NextCase),
          C(I::PreviousCase), Place(EMenuPlace::Cases)}},
        {"Window\\Level &Presets", {C(I::GetCurrentPreset), Separator()}, EMenuRole::Presets},
        {"&Window",
         {C(I::WindowNew), C(I::WindowCascade), C(I::WindowTile), C(I::WindowSplit),
          C(I::CloseAll), Place(EMenuPlace::OpenWindows)}},
        {"&Help", {C(I::AppAbout)}},
    };
    return menus;
}

const std::vector<CContextMenuLayout>& ContextMenuLayouts() {
    static const std::vector<CContextMenuLayout> menus = {
        {kMenuRegions,
         {C(I::SetAllBenign), C(I::SetAllMalignant), C(I::SetAllFalse), C(I::RemoveAllRegions),
          C(I::GrowAllContours), C(I::SmoothAllContours)}},
        {kMenuRegion,
         {C(I::RegionBenign), C(I::RegionMalignant), C(I::RegionFalse), C(I::RemoveRegion),
          C(I::GrowSelectedContour), C(I::SmoothSelectedContour), C(I::GrowClusterContours),
          C(I::SmoothClusterContours), Separator(), C(I::ShowFeatures),
          C(I::SaveRegionFeatures)}},
        {kMenuRoi,
         {C(I::CropRoi), C(I::OpenRoiInNewWindow), C(I::DeselectRoi),
          Sub("Set Regions Inside ROI",
              {C(I::RoiRegionsBenign), C(I::RoiRegionsMalignant), C(I::RoiRegionsFalse)}),
          C(I::ComputeSrdm), C(I::ComputeGlcm), C(I::RemoveRegionsInsideRoi),
          C(I::PutTextureNextToRoi)}},
        {kMenuRosList, {C(I::RemoveAllRos)}},
        {kMenuRos,
         {C(I::RosBenign), C(I::RosMalignant), C(I::RosFalse), C(I::RemoveRos),
          C(I::RemoveAllRos)}},
        {kMenuRuler, {C(I::RulerGrayLevels), C(I::Measure)}},
        {kMenuCluster,
         {C(I::ClusterBenign), C(I::ClusterMalignant), C(I::ClusterFalse), C(I::RemoveCluster),
          C(I::RemoveClusterAndInside), Separator(), C(I::ShowFeatures),
          C(I::FeaturesOfRegionsAsCluster), C(I::MeanFeaturesInCluster),
          C(I::SaveClusterAndRegionFeatures), C(I::SaveRegionFeatures)}},
    };
    return menus;
}

const std::vector<CToolBarLayout>& ToolBarLayouts() {
    static const std::vector<CToolBarLayout> bars = {
        {"Standard",
         "StandardToolbar",
         {I::FileOpen, I::FileSave, I::FilePrint, I{}, I::ZoomIn, I::ZoomOut, I::ActualPixels,
          I::ZoomToFit, I{}, I::MouseRoi, I::MouseRuler, I::MouseDrawRos, I::MouseSrdmRoi,
          I::MouseWinLev, I{}, I::ShowRos, I::ShowRegions, I::UserDiagnoses}},
        {"Morphology",
         "MorphologyToolbar",
         {I::Erosion, I::Dilation, I::MorphOpen, I::MorphClose, I::WhiteTopHat, I::BlackTopHat,
          I::MorphGradient, I::InnerGradient, I::OuterGradient}},
        {"User",
         "UserToolbar",
         {I::FileOpen, I{}, I::ZoomIn, I::ZoomOut, I::ActualPixels, I::FitCasePreview, I{},
          I::MouseRoi, I::MouseRuler, I::MouseWinLev, I{}, I::CurrentCaseCc, I::CurrentCaseMlo,
          I::PreviousCase, I::NextCase, I{}, I::SwapOriginal, I::ShowOriginal,
          I::RadiologistsInterface}},
    };
    return bars;
}

}  // namespace vistrel
