#include "shell/command_table.h"

namespace vistrel {

const std::vector<CCommandEntry>& CommandTable() {
    static const std::vector<CCommandEntry> table = {
        {CommandId::FileOpen, "&Open...\tCtrl+O"},
        {CommandId::FileClose, "&Close"},
        {CommandId::FileSave, "&Save"},
        {CommandId::FileSaveAs, "Save &As...\tCtrl+S"},
        {CommandId::PgxSavingOptions, "P&GX Saving Options..."},
        {CommandId::ColouredImagesOptions, "&Coloured Images Options..."},
        {CommandId::OriginalImageOptions, "&Document Original Image Options..."},
        {CommandId::AppExit, "E&xit"},
        {CommandId::ZoomIn, "Zoom &In\tAlt++"},
        {CommandId::ZoomOut, "Zoom &Out\tAlt+-"},
        {CommandId::ActualPixels, "&Actual Pixels (100%)\tCtrl+A"},
        {CommandId::ZoomToFit, "Zoom To &Fit\tCtrl+Z"},
        {CommandId::WindowBits, "Window &Bits"},
        {CommandId::WindowValues, "Window &Values"},
        {CommandId::GetCurrentPreset, "&Get Current Preset..."},
        {CommandId::WindowCascade, "&Cascade"},
        {CommandId::WindowTile, "&Tile"},
        {CommandId::AppAbout, "&About Vistrel..."},
        {CommandId::OpenOverlay, "Open OVER&LAY"},
        {CommandId::SaveOverlay, "Save OV&ERLAY"},
        {CommandId::ShowRos, "&Show ROS"},
        {CommandId::ShowRegions, "Show &Lesion Regions"},
        {CommandId::UserDiagnoses, "&User Diagnoses"},
        {CommandId::RemoveAllRegions, "&Remove All Regions"},
        {CommandId::ExtractRegions, "&Extract Regions"},
        {CommandId::SetAllBenign, "Set All &Benign"},
        {CommandId::SetAllMalignant, "Set All &Malignant"},
        {CommandId::SetAllFalse, "Set All &False"},
        {CommandId::RegionBenign, "&Benign"},
        {CommandId::RegionMalignant, "&Malignant"},
        {CommandId::RegionFalse, "&False"},
        {CommandId::RemoveRegion, "&Remove Region"},
        {CommandId::RemoveRos, "Remove &ROS"},
        {CommandId::RemoveAllRos, "Remove &All ROSes"},
        {CommandId::RemoveRegionsInsideRoi, "&Remove Regions Inside ROI"},
        {CommandId::RosBenign, "&Benign"},
        {CommandId::RosMalignant, "&Malignant"},
        {CommandId::RosFalse, "&False"},
        {CommandId::GrowSelectedContour, "Correct Contour by Region &Growing..."},
        {CommandId::SmoothSelectedContour, "Smooth Contour by &Dilation..."},
        {CommandId::GrowAllContours, "Correct All Contours by Region &Growing..."},
        {CommandId::SmoothAllContours, "Smooth All Contours by &Dilation..."},
        {CommandId::GrowClusterContours, "Correct Cluster Contours by Region &Growing..."},
        {CommandId::SmoothClusterContours, "Smooth Cluster Contours by &Dilation..."},
    };
    return table;
}

void SplitMenuText(const std::string& text, std::string& label, std::string& accelerator) {
    const auto tab = text.find('\t');
    label = text.substr(0, tab);
    accelerator = tab == std::string::npos ? std::string{} : text.substr(tab + 1);
}

}  // namespace vistrel
