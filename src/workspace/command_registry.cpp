#include "workspace/command_registry.h"

#include <algorithm>

#include "core/image_operations.h"
#include "workspace/plugins.h"
#include "workspace/process_detection.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

using C = const CCommandContext&;

int Id(CommandId id) {
    return static_cast<int>(id);
}
// The position of id in its group, counted from first (diagnosis, depth, mode).
int Offset(int id, CommandId first) {
    return id - Id(first);
}

// The element command's text as written; menus show it with the count in
// place of %d (CVistrelApp::StructuringElementMenuText).
constexpr char kStructuringElementText[] = "&Structuring element && Iterations (%d)...";

// The depth of each depth command, in command order.
constexpr int kDepths[] = {16, 14, 12, 8};

// ---- rules

bool HasDocument(C c, int) {
    return c.doc != nullptr;
}
bool Valid(C c, int = 0) {
    return c.doc && c.doc->image.IsValid();
}
bool HasView(C c, int) {
    return c.view.present;
}
bool HasRoi(C c) {
    return c.view.present && !c.view.roi.IsEmpty();
}
bool HasRegions(C c, int = 0) {
    return Valid(c) && !c.doc->regions.IsEmpty();
}
bool HasClusters(C c, int) {
    return Valid(c) && c.doc->clusters.Count() > 0;
}
// ---- clusters and their evaluation
bool HasRegionsOrClusters(C c, int) {
    return Valid(c) && (!c.doc->regions.IsEmpty() || c.doc->clusters.Count() > 0);
}
// Regions, or a binary image whose pixels are the points.
bool CanMakeClusters(C c, int) {
    return Valid(c) && (!c.doc->regions.IsEmpty() || c.doc->IsBinaryImage());
}
bool HasRos(C c, int) {
    return Valid(c) && !c.doc->rosRegions.IsEmpty();
}
int RegionDiagnosis(C c) {
    return Valid(c) ? c.doc->regions.GetDiagnosisOfSelected() : -1;
}
int RosDiagnosis(C c) {
    return Valid(c) ? c.doc->rosRegions.GetDiagnosisOfSelected() : -1;
}
bool RegionSelected(C c, int) {
    return RegionDiagnosis(c) >= 0;
}
bool RosSelected(C c, int) {
    return RosDiagnosis(c) >= 0;
}
bool ValidWithRoi(C c, int) {
    return Valid(c) && HasRoi(c);
}
bool RegionsWithRoi(C c, int) {
    return HasRegions(c) && HasRoi(c);
}
bool ClusterSelected(C c, int) {
    if (!Valid(c)) return false;
    const CRegion* region = c.doc->regions.At(c.doc->regions.Selected());
    return region && region->IsClusterOutline();
}
bool HasRuler(C c, int) {
    return c.view.present && c.view.rulerLength > 0.0;
}
bool BarShown(C c, EBar bar) {
    return c.shell && c.shell->BarShown(bar);
}
// Commands that work on the active window's document do nothing without both.
bool DocumentAndView(C c) {
    return c.doc && c.view.present;
}

bool HasBreastOutline(C c, int = 0) {
    return Valid(c) && c.doc->HasBreastSegment();
}
bool CanMorph(C c, int) {
    return Valid(c) && c.app.morphElement.HasCells();
}

// ---- handlers

void ToggleBar(C c, EBar bar) {
    if (c.shell) c.shell->ShowBar(bar, !c.shell->BarShown(bar));
}
void Zoom(C c, EZoom zoom) {
    if (c.shell) c.shell->ZoomActiveView(zoom);
}
void ToolWindow(C c, EToolWindow window) {
    if (c.shell) c.shell->ToggleToolWindow(window);
}
void Print(C c, EPrint how) {
    if (c.shell && c.view.present) c.shell->PrintActiveView(how);
}
// Runs f on the document when there is one.
template <typename F>
void OnDocument(C c, F f) {
    if (c.doc) f(*c.doc);
}
// Runs f on the document when it is shown in the active window.
template <typename F>
void OnShownDocument(C c, F f) {
    if (DocumentAndView(c)) f(*c.doc);
}

// ---- groups of commands, one id after the other

void MorphOperatorCommand(C c, int id) {
    const auto op = static_cast<EMorphOperator>(Offset(id, CommandId::Erosion));
    OnDocument(c, [op](CVistrelDoc& d) { d.OnMorphOperator(op); });
}

void SetAllDiagnosis(C c, int id) {
    OnDocument(c, [id](CVistrelDoc& d) {
        d.OnSetAllDiagnosis(static_cast<int16_t>(Offset(id, CommandId::SetAllBenign)));
    });
}
void RegionDiagnosisCommand(C c, int id) {
    OnDocument(c, [id](CVistrelDoc& d) {
        d.OnRegionDiagnosis(d.regions.Selected(),
                            static_cast<int16_t>(Offset(id, CommandId::RegionBenign)));
    });
}
bool RegionDiagnosisChecked(C c, int id) {
    return RegionDiagnosis(c) == Offset(id, CommandId::RegionBenign);
}
void RosDiagnosisCommand(C c, int id) {
    OnDocument(c, [id](CVistrelDoc& d) {
        d.OnRosDiagnosis(d.rosRegions.Selected(),
                         static_cast<int16_t>(Offset(id, CommandId::RosBenign)));
    });
}
bool RosDiagnosisChecked(C c, int id) {
    return RosDiagnosis(c) == Offset(id, CommandId::RosBenign);
}
void FitModeCommand(C c, int id) {
    c.app.fitMode =
        std::clamp(Offset(id, CommandId::FitScreen), int{kFitScreen}, int{kFitCasePreview});
    if (c.shell) c.shell->FitModeChanged();
}
bool FitModeChecked(C c, int id) {
    return c.app.FitMode() == Offset(id, CommandId::FitScreen);
}
void MouseModeCommand(C c, int id) {
    c.app.SetMouseMode(Offset(id, CommandId::MouseRoi));
}
bool MouseModeChecked(C c, int id) {
    return std::clamp(c.app.mouseMode, int{kMouseRoi}, int{kMouseWinLev}) ==
           Offset(id, CommandId::MouseRoi);
}
void DepthCommand(C c, int id) {
    OnShownDocument(
        c, [id](CVistrelDoc& d) { d.OnSetDepth(kDepths[Offset(id, CommandId::Depth16)]); });
}
bool DepthEnabled(C c, int) {
    return Valid(c) && c.doc->CanChangeDepth();
}
bool DepthChecked(C c, int id) {
    return Valid(c) && c.doc->IsDepthChecked(kDepths[Offset(id, CommandId::Depth16)]);
}
void ClusterDiagnosisCommand(C c, int id) {
    OnShownDocument(c, [id](CVistrelDoc& d) {
        d.OnClusterDiagnosis(static_cast<int16_t>(Offset(id, CommandId::ClusterBenign)));
    });
}
void RoiRegionsDiagnosisCommand(C c, int id) {
    OnShownDocument(c, [&c, id](CVistrelDoc& d) {
        d.OnRoiRegionsDiagnosis(c.view.roi,
                                static_cast<int16_t>(Offset(id, CommandId::RoiRegionsBenign)));
    });
}
bool CanPrint(C c, int) {
    return c.view.present && c.view.hasPicture;
}
bool HasCases(C c, int) {
    return !c.app.Cases().Entries().empty();
}

void SaveFeaturesCommand(C c, int id) {
    OnShownDocument(c, [id](CVistrelDoc& d) { d.OnSaveFeatures(static_cast<CommandId>(id)); });
}
// "Show &Features" names what it shows: a cluster outline's own features.
std::string ShowFeaturesText(C c) {
    return ClusterSelected(c, 0) ? "Show &Cluster Region Features" : "Show &Features";
}

constexpr ECheckStyle kPlain = ECheckStyle::Plain;
constexpr ECheckStyle kCheck = ECheckStyle::Checkable;
constexpr ECheckStyle kRadio = ECheckStyle::Radio;

}  // namespace

const std::vector<CCommand>& CommandRegistry() {
    // clang-format off
    static const std::vector<CCommand> table = {
        // ---- File
        {CommandId::FileOpen, "&Open...\tCtrl+O", kPlain,
         [](C c, int) { c.app.OnFileOpen(); }, nullptr, nullptr},
        {CommandId::FileClose, "&Close", kPlain,
         [](C c, int) { if (c.shell) c.shell->CloseActiveWindow(); }, HasDocument, nullptr},
        {CommandId::FileSave, "&Save", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnFileSave(); }); },
         HasDocument, nullptr},
        {CommandId::FileSaveAs, "Save &As...\tCtrl+S", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnFileSaveAs(); }); },
         HasDocument, nullptr},
        {CommandId::PgxSavingOptions, "P&GX Saving Options...", kPlain,
         [](C c, int) { c.app.OnPgxSavingOptions(); }, nullptr, nullptr},
        {CommandId::ColouredImagesOptions, "&Coloured Images Options...", kPlain,
         [](C c, int) { c.app.OnColouredImagesOptions(); }, nullptr, nullptr},
        {CommandId::OriginalImageOptions, "&Document Original Image Options...", kPlain,
         [](C c, int) { c.app.OnOriginalImageOptions(); }, nullptr, nullptr},
        {CommandId::AppExit, "E&xit", kPlain,
         [](C c, int) { if (c.shell) c.shell->CloseMainWindow(); }, nullptr, nullptr},
        // ---- View
        {CommandId::ZoomIn, "Zoom &In\tAlt++", kPlain,
         [](C c, int) { Zoom(c, EZoom::In); }, HasView, nullptr},
        {CommandId::ZoomOut, "Zoom &Out\tAlt+-", kPlain,
         [](C c, int) { Zoom(c, EZoom::Out); }, HasView, nullptr},
        {CommandId::ActualPixels, "&Actual Pixels (100%)\tCtrl+A", kPlain,
         [](C c, int) { Zoom(c, EZoom::ActualPixels); }, HasView, nullptr},
        {CommandId::ZoomToFit, "Zoom To &Fit\tCtrl+Z", kPlain,
         [](C c, int) { Zoom(c, EZoom::ToFit); }, HasView, nullptr},
        {CommandId::WindowBits, "Window &Bits", kCheck,
         [](C c, int) { ToggleBar(c, EBar::Bits); }, nullptr,
         [](C c, int) { return BarShown(c, EBar::Bits); }},
        {CommandId::WindowValues, "Window &Values", kCheck,
         [](C c, int) { ToggleBar(c, EBar::Values); }, nullptr,
         [](C c, int) { return BarShown(c, EBar::Values); }},
        {CommandId::GetCurrentPreset, "&Get Current Preset...", kPlain,
         [](C c, int) { c.app.GetCurrentPreset(); }, HasDocument, nullptr},
        {CommandId::WindowCascade, "&Cascade", kPlain,
         [](C c, int) { if (c.shell) c.shell->CascadeWindows(); }, nullptr, nullptr},
        {CommandId::WindowTile, "&Tile", kPlain,
         [](C c, int) { if (c.shell) c.shell->TileWindows(); }, nullptr, nullptr},
        {CommandId::AppAbout, "&About Vistrel...", kPlain,
         [](C c, int) { if (c.shell) c.shell->ShowAbout(); }, nullptr, nullptr},
        // ---- Annotations
        {CommandId::OpenOverlay, "Open OVER&LAY", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnOpenOverlay(); }); },
         Valid, nullptr},
        {CommandId::SaveOverlay, "Save OV&ERLAY", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnSaveOverlay(); }); },
         Valid, nullptr},
        // ---- Breast outline
        {CommandId::OpenSgt, "Open SGT", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnOpenSgt(); }); },
         Valid, nullptr},
        {CommandId::SaveSgt, "Save SGT", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnSaveSgt(); }); },
         HasBreastOutline, nullptr},
        {CommandId::SegmentBreast, "&Segment Breast...", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnSegmentBreast(); }); },
         Valid, nullptr},
        {CommandId::EnableBreastSegment, "Enable &Breast Segment", kCheck,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnEnableBreastSegment(); }); },
         Valid, HasBreastOutline,
         [](C c) -> std::string {
             return HasBreastOutline(c) ? "Disable &Breast Segment" : "Enable &Breast Segment";
         }},
        {CommandId::SetZeroOutsideBreast, "Set zero outside breast", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnSetZeroOutsideBreast(); }); },
         HasBreastOutline, nullptr},
        // ---- Morphology, the operators in EMorphOperator order
        {CommandId::Erosion, "&Erosion", kPlain, MorphOperatorCommand, CanMorph, nullptr},
        {CommandId::Dilation, "&Dilation", kPlain, MorphOperatorCommand, CanMorph, nullptr},
        {CommandId::MorphOpen, "&Open", kPlain, MorphOperatorCommand, CanMorph, nullptr},
        {CommandId::MorphClose, "&Close", kPlain, MorphOperatorCommand, CanMorph, nullptr},
        {CommandId::WhiteTopHat, "&White Top - Hat", kPlain, MorphOperatorCommand, CanMorph,
         nullptr},
        {CommandId::BlackTopHat, "&Black Top - Hat", kPlain, MorphOperatorCommand, CanMorph,
         nullptr},
        {CommandId::MorphGradient, "&Morphological gradient", kPlain, MorphOperatorCommand,
         CanMorph, nullptr},
        {CommandId::InnerGradient, "&Inner gradient", kPlain, MorphOperatorCommand, CanMorph,
         nullptr},
        {CommandId::OuterGradient, "O&uter gradient", kPlain, MorphOperatorCommand, CanMorph,
         nullptr},
        {CommandId::StructuringElement, kStructuringElementText, kPlain,
         [](C c, int) { c.app.OnStructuringElement(); }, nullptr, nullptr,
         [](C c) { return c.app.StructuringElementMenuText(); }},
        {CommandId::ConditionalThickening, "Conditional Thickening", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::ConditionalThickening); }, nullptr, nullptr},
        // The ROS stay visible while they are being drawn.
        {CommandId::ShowRos, "&Show ROS", kCheck,
         [](C c, int) { c.app.OnShowRos(); },
         [](C c, int) { return c.app.mouseMode != kMouseDrawRos; },
         [](C c, int) { return c.app.showRos; }},
        {CommandId::ShowRegions, "Show &Lesion Regions", kCheck,
         [](C c, int) { c.app.OnShowRegions(); }, nullptr,
         [](C c, int) { return c.app.showRegions; }},
        {CommandId::UserDiagnoses, "&User Diagnoses", kCheck,
         [](C c, int) { c.app.OnUserDiagnoses(); }, nullptr,
         [](C c, int) { return c.app.showUserDiagnoses; }},
        {CommandId::RemoveAllRegions, "&Remove All Regions", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnRemoveAllRegions(); }); },
         HasRegions, nullptr},
        {CommandId::ExtractRegions, "&Extract Regions", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnExtractRegions(); }); },
         Valid, nullptr},
        {CommandId::SetAllBenign, "Set All &Benign", kPlain, SetAllDiagnosis, HasRegions, nullptr},
        {CommandId::SetAllMalignant, "Set All &Malignant", kPlain,
         SetAllDiagnosis, HasRegions, nullptr},
        {CommandId::SetAllFalse, "Set All &False", kPlain, SetAllDiagnosis, HasRegions, nullptr},
        {CommandId::RegionBenign, "&Benign", kCheck, RegionDiagnosisCommand, RegionSelected,
         RegionDiagnosisChecked},
        {CommandId::RegionMalignant, "&Malignant", kCheck,
         RegionDiagnosisCommand, RegionSelected, RegionDiagnosisChecked},
        {CommandId::RegionFalse, "&False", kCheck,
         RegionDiagnosisCommand, RegionSelected, RegionDiagnosisChecked},
        {CommandId::RemoveRegion, "&Remove Region", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) { d.OnRemoveRegion(d.regions.Selected()); });
         },
         RegionSelected, nullptr},
        {CommandId::RemoveRos, "Remove &ROS", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) { d.OnRemoveRos(d.rosRegions.Selected()); });
         },
         RosSelected, nullptr},
        {CommandId::RemoveAllRos, "Remove &All ROSes", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnRemoveAllRos(); }); },
         HasRos, nullptr},
        {CommandId::RemoveRegionsInsideRoi, "&Remove Regions Inside ROI", kPlain,
         [](C c, int) {
             if (c.view.present)
                 OnDocument(c, [&c](CVistrelDoc& d) { d.OnRemoveRegionsInsideRoi(c.view.roi); });
         },
         RegionsWithRoi, nullptr},
        {CommandId::RosBenign, "&Benign", kCheck, RosDiagnosisCommand, RosSelected,
         RosDiagnosisChecked},
        {CommandId::RosMalignant, "&Malignant", kCheck,
         RosDiagnosisCommand, RosSelected, RosDiagnosisChecked},
        {CommandId::RosFalse, "&False", kCheck,
         RosDiagnosisCommand, RosSelected, RosDiagnosisChecked},
        {CommandId::GrowSelectedContour, "Correct Contour by Region &Growing...", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) {
                 d.OnGrowContours(ContourScope::Selected, d.regions.Selected());
             });
         },
         RegionSelected, nullptr},
        {CommandId::SmoothSelectedContour, "Smooth Contour by &Dilation...", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) {
                 d.OnSmoothContours(ContourScope::Selected, d.regions.Selected());
             });
         },
         RegionSelected, nullptr},
        {CommandId::GrowAllContours, "Correct All Contours by Region &Growing...", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) {
                 d.OnGrowContours(ContourScope::All, d.regions.Selected());
             });
         },
         HasRegions, nullptr},
        {CommandId::SmoothAllContours, "Smooth All Contours by &Dilation...", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) {
                 d.OnSmoothContours(ContourScope::All, d.regions.Selected());
             });
         },
         HasRegions, nullptr},
        {CommandId::GrowClusterContours, "Correct Cluster Contours by Region &Growing...", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) {
                 d.OnGrowContours(ContourScope::SelectedCluster, d.regions.Selected());
             });
         },
         RegionSelected, nullptr},
        {CommandId::SmoothClusterContours, "Smooth Cluster Contours by &Dilation...", kPlain,
         [](C c, int) {
             OnDocument(c, [](CVistrelDoc& d) {
                 d.OnSmoothContours(ContourScope::SelectedCluster, d.regions.Selected());
             });
         },
         RegionSelected, nullptr},
        {CommandId::DicomReadingOptions, "Dicom Reading Options...", kPlain,
         [](C c, int) { c.app.OnDicomReadingOptions(); }, nullptr, nullptr},
        {CommandId::CloseAll, "C&lose All", kPlain,
         [](C c, int) { c.app.OnCloseAll(); },
         [](C c, int) { return !c.app.Documents().empty(); }, nullptr},
        {CommandId::FilePrint, "&Print...\tCtrl+P", kPlain,
         [](C c, int) { Print(c, EPrint::Dialog); },
         CanPrint, nullptr},
        {CommandId::FilePrintDirect, "Print &Direct", kPlain,
         [](C c, int) { Print(c, EPrint::Direct); },
         CanPrint, nullptr},
        {CommandId::FilePrintPreview, "Print Pre&view", kPlain,
         [](C c, int) { Print(c, EPrint::Preview); },
         CanPrint, nullptr},
        {CommandId::StandardToolbar, "Standard &Toolbar", kCheck,
         [](C c, int) { ToggleBar(c, EBar::Standard); }, nullptr,
         [](C c, int) { return BarShown(c, EBar::Standard); }},
        {CommandId::StatusBar, "Status &Bar", kCheck,
         [](C c, int) { ToggleBar(c, EBar::Status); }, nullptr,
         [](C c, int) { return BarShown(c, EBar::Status); }},
        {CommandId::MorphologyToolbar, "&Morphology Toolbar", kCheck,
         [](C c, int) { ToggleBar(c, EBar::Morphology); }, nullptr,
         [](C c, int) { return BarShown(c, EBar::Morphology); }},
        {CommandId::UserToolbar, "&User Toolbar", kCheck,
         [](C c, int) { ToggleBar(c, EBar::User); }, nullptr,
         [](C c, int) { return BarShown(c, EBar::User); }},
        {CommandId::RadiologistsInterface, "Interface for Radiologists", kCheck,
         [](C c, int) { c.app.OnRadiologistsInterface(); }, nullptr,
         [](C c, int) { return c.app.RadiologistsMode(); }},
        // ---- Fit modes, in EFitMode order
        {CommandId::FitScreen, "Fit Images To &Screen", kRadio,
         FitModeCommand, nullptr, FitModeChecked},
        {CommandId::FitLargeToScreen, "Fit Only Large Images to Screen", kRadio,
         FitModeCommand, nullptr, FitModeChecked},
        {CommandId::FitWindow, "Fit Images To Current Window\tCtrl+W", kRadio,
         FitModeCommand, nullptr, FitModeChecked},
        {CommandId::FitLargeToWindow, "Fit Only Large Images To Window", kRadio,
         FitModeCommand, nullptr, FitModeChecked},
        {CommandId::FitCasePreview, "Fit Case Preview\tCtrl+I", kRadio,
         FitModeCommand, nullptr, FitModeChecked},
        // ---- Mouse modes, in MouseMode order
        {CommandId::MouseRoi, "R&OI", kRadio, MouseModeCommand, nullptr, MouseModeChecked},
        {CommandId::MouseRuler, "&Ruler", kRadio, MouseModeCommand, nullptr, MouseModeChecked},
        {CommandId::MouseDrawRos, "&Draw ROS", kRadio, MouseModeCommand, nullptr, MouseModeChecked},
        {CommandId::MouseSrdmRoi, "SRD&M roi", kRadio, MouseModeCommand, nullptr, MouseModeChecked},
        {CommandId::MouseWinLev, "Win/Lev", kRadio, MouseModeCommand, nullptr, MouseModeChecked},
        // ---- The active view's selection and ruler
        {CommandId::ShowOriginal, "Back&ground := original image", kCheck,
         [](C c, int) { if (DocumentAndView(c) && c.shell) c.shell->ToggleShowOriginal(); },
         [](C c, int) { return Valid(c) && c.doc->originalImage.IsValid(); },
         [](C c, int) { return c.view.present && c.view.showsOriginal; }},
        {CommandId::CropRoi, "&Crop ROI", kPlain,
         [](C c, int) { OnShownDocument(c, [&c](CVistrelDoc& d) { d.OnCropRoi(c.view.roi); }); },
         ValidWithRoi, nullptr},
        {CommandId::OpenRoiInNewWindow, "&Open ROI in New Window", kPlain,
         [](C c, int) {
             OnShownDocument(c, [&c](CVistrelDoc& d) {
                 d.OnOpenRoiInNewWindow(c.view.roi, c.app.mouseMode);
             });
         },
         ValidWithRoi, nullptr},
        {CommandId::DeselectRoi, "&Deselect ROI", kPlain,
         [](C c, int) { if (DocumentAndView(c) && c.shell) c.shell->DeselectRoi(); },
         ValidWithRoi, nullptr},
        {CommandId::ComputeSrdm, "&Compute SRDM", kPlain,
         [](C c, int) { OnShownDocument(c, [&c](CVistrelDoc& d) { d.OnComputeSrdm(c.view.roi); }); },
         ValidWithRoi, nullptr},
        {CommandId::ComputeGlcm, "Compute &GLCM", kPlain,
         [](C c, int) { OnShownDocument(c, [&c](CVistrelDoc& d) { d.OnComputeGlcm(c.view.roi); }); },
         ValidWithRoi, nullptr},
        {CommandId::PutTextureNextToRoi, "&Put Texture Next To ROI", kPlain,
         [](C c, int) {
             OnShownDocument(c, [&c](CVistrelDoc& d) { d.OnPutTextureNextToRoi(c.view.roi); });
         },
         ValidWithRoi, nullptr},
        {CommandId::RulerGrayLevels, "Ruler Gray-Levels", kPlain,
         [](C c, int) { if (DocumentAndView(c) && c.shell) c.shell->ShowRulerLevels(); },
         [](C c, int id) { return Valid(c) && HasRuler(c, id); }, nullptr},
        {CommandId::Measure, "Measure", kPlain,
         [](C c, int) {
             OnShownDocument(c, [&c](CVistrelDoc& d) { d.OnMeasure(c.view.rulerLength); });
         },
         HasRuler, nullptr},
        // ---- Basic image operations
        {CommandId::BrightnessContrast, "Brightness/&Contrast...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::BrightnessContrast); }, nullptr, nullptr},
        {CommandId::Histogram, "&Histogram...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::Histogram); }, nullptr, nullptr},
        {CommandId::EqualizeHistogram, "&Equalize Histogram", kPlain,
         [](C c, int) {
             OnShownDocument(c, [&c](CVistrelDoc& d) { d.OnEqualizeHistogram(c.view.roi); });
         },
         Valid, nullptr},
        {CommandId::Rotate180, "&180", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnRotate(kRotate180); }); },
         Valid, nullptr},
        {CommandId::Rotate90Cw, "&90 CW", kPlain,
         [](C c, int) {
             OnShownDocument(c, [](CVistrelDoc& d) { d.OnRotate(kRotateClockwise); });
         },
         Valid, nullptr},
        {CommandId::Rotate90Ccw, "90 C&CW", kPlain,
         [](C c, int) {
             OnShownDocument(c, [](CVistrelDoc& d) { d.OnRotate(kRotateCounterClockwise); });
         },
         Valid, nullptr},
        {CommandId::FlipHorizontal, "Flip &Horizontal", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnFlipHorizontal(); }); },
         Valid, nullptr},
        {CommandId::FlipVertical, "Flip &Vertical", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnFlipVertical(); }); },
         Valid, nullptr},
        {CommandId::Reverse, "Re&verse", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnReverse(); }); },
         Valid, nullptr},
        {CommandId::SwapBytes, "S&wap bytes", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnSwapBytes(); }); },
         [](C c, int) { return Valid(c) && c.doc->image.depth > 8; }, nullptr},
        // ---- Depths, in kDepths order
        {CommandId::Depth16, "1&6", kRadio, DepthCommand, DepthEnabled, DepthChecked},
        {CommandId::Depth14, "1&4", kRadio, DepthCommand, DepthEnabled, DepthChecked},
        {CommandId::Depth12, "1&2", kRadio, DepthCommand, DepthEnabled, DepthChecked},
        {CommandId::Depth8, "  &8", kRadio, DepthCommand, DepthEnabled, DepthChecked},
        {CommandId::SwapOriginal, "Swap &original Image <-> image", kPlain,
         [](C c, int) { c.app.OnSwapOriginalImage(); }, Valid, nullptr},
        {CommandId::AddComment, "A&dd comment...", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnAddComment(); }); },
         Valid, nullptr},
        {CommandId::ImageProperties, "Image &Properties...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::ImageProperties); }, nullptr, nullptr},
        {CommandId::SetResolution, "Set Resolution...", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnSetResolution(); }); },
         Valid, nullptr},
        {CommandId::TwoImages, "Operations on &Two Images...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::TwoImages); }, nullptr, nullptr},
        // ---- Filtering and detection
        {CommandId::Filters, "&Filters...\tCtrl+F", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::Filters); }, nullptr, nullptr},
        {CommandId::LogGaussianFilters, "Lo&G && Gaussian filters...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::LogGaussian); }, nullptr, nullptr},
        {CommandId::SpotDetector, "Multiscale Spot &Detector...\tCtrl+D", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::SpotDetector); }, nullptr, nullptr},
        {CommandId::Thresholding, "&Thresholding...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::Thresholding); }, nullptr, nullptr},
        {CommandId::SegmentFromSeeds, "S&egment From Seeds...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::SegmentFromSeeds); }, nullptr, nullptr},
        // ---- microcalcification cluster tool
        {CommandId::McClusterDetection, "Microcalcification &Clusters Detection...", kPlain,
         [](C c, int) { ToolWindow(c, EToolWindow::McClusterDetection); }, nullptr, nullptr},
        {CommandId::SeedsWthLocalStatistics, "on seeds: WTH + local statistic + region growing",
         kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnSeedsWthLocalStatistics(); }); },
         HasClusters, nullptr},
        {CommandId::SeedsFromCentroids, "Set Seeds = Centroids of Regions", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnSeedsFromCentroids(); }); },
         HasRegions, nullptr},
        // ---- batch detection on the active document
        {CommandId::ProcessDetection, "&Process Detection", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { OnProcessDetection(d); }); }, Valid,
         nullptr},
        // Letters need regions on screen and a network to give them.
        {CommandId::NnDiagnoses, "&Neural Network diagnoses", kCheck,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnNnDiagnoses(); }); },
         [](C c, int) {
             return HasRegions(c) && c.app.showRegions && c.app.network &&
                    c.app.network->IsValid();
         },
         [](C c, int) { return Valid(c) && c.doc->showNnDiagnoses && c.app.showRegions; }},
        // ---- Clusters and their evaluation
        {CommandId::ClusterParams, "Making Cluster &Params...", kPlain,
         [](C c, int) { c.app.OnClusterParams(); }, nullptr, nullptr},
        {CommandId::MakeClusters, "&Make Clusters", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnMakeClusters(); }); },
         CanMakeClusters, nullptr},
        {CommandId::ClusterAreas, "Cluster &Areas", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnClusterAreas(""); }); },
         HasRegionsOrClusters, nullptr},
        {CommandId::MClusterAreas, "M &Cluster Areas", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnClusterAreas("m"); }); },
         HasRegionsOrClusters, nullptr},
        {CommandId::EvaluateClusterResults, "&Evaluate Cluster Results", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnEvaluateClusterResults(); }); },
         Valid, nullptr},
        {CommandId::RemoveBadRegions, "&Remove Bad Regions", kPlain,
         [](C c, int) { OnDocument(c, [](CVistrelDoc& d) { d.OnRemoveBadRegions(); }); },
         HasRegions, nullptr},
        // ---- Region and cluster features, feature files
        {CommandId::ShowFeatures, "Show &Features", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnShowFeatures(); }); },
         RegionSelected, nullptr, ShowFeaturesText},
        {CommandId::MeanRegionFeatures, "&Mean Region Features", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnMeanRegionFeatures(); }); },
         HasRegions, nullptr},
        {CommandId::MeanFeaturesInCluster, "Mean Features of Regions in C&luster", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnMeanFeaturesInCluster(); }); },
         ClusterSelected, nullptr},
        {CommandId::FeaturesOfRegionsAsCluster, "Features of Regions as a &Cluster", kPlain,
         [](C c, int) {
             OnShownDocument(c, [](CVistrelDoc& d) { d.OnFeaturesOfRegionsAsCluster(); });
         },
         ClusterSelected, nullptr},
        {CommandId::LearningMeanFeatures, "&Mean Features of All Regions...", kPlain,
         SaveFeaturesCommand, HasRegions, nullptr},
        {CommandId::LearningClusterFeatures, "&Cluster Features...", kPlain,
         SaveFeaturesCommand, HasRegions, nullptr},
        {CommandId::LearningRegionFeatures, "&Features of Each Region...", kPlain,
         SaveFeaturesCommand, HasRegions, nullptr},
        {CommandId::SaveClusterAndRegionFeatures, "Save Cluster && Its Region Features...",
         kPlain, SaveFeaturesCommand, ClusterSelected, nullptr},
        {CommandId::SaveRegionFeatures, "&Save Region Features...", kPlain,
         SaveFeaturesCommand, RegionSelected, nullptr},
        {CommandId::BinaryImagesOfShapes, "Binary &Images of Object Shapes", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnBinaryImagesOfShapes(); }); },
         HasRegions, nullptr},
        {CommandId::FeatureSelection, "Feature Selection...", kPlain,
         [](C c, int) { c.app.OnFeatureSelection(); }, nullptr, nullptr},
        {CommandId::NeuralNetwork, "&Neural network...", kPlain,
         [](C c, int) { c.app.OnNeuralNetwork(); }, nullptr, nullptr},
        {CommandId::CoocurrenceParams, "Cooccurence &Matrix Params...", kPlain,
         [](C c, int) { c.app.OnCoocurrenceParams(); }, nullptr, nullptr},
        // ---- The selected cluster (its outline's context menu)
        {CommandId::ClusterBenign, "&Benign", kPlain,
         ClusterDiagnosisCommand, ClusterSelected, nullptr},
        {CommandId::ClusterMalignant, "&Malignant", kPlain,
         ClusterDiagnosisCommand, ClusterSelected, nullptr},
        {CommandId::ClusterFalse, "&False", kPlain,
         ClusterDiagnosisCommand, ClusterSelected, nullptr},
        {CommandId::RemoveCluster, "&Remove Cluster", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnRemoveCluster(); }); },
         ClusterSelected, nullptr},
        {CommandId::RemoveClusterAndInside, "Remove Cluster && Inside &Objects", kPlain,
         [](C c, int) {
             OnShownDocument(c, [](CVistrelDoc& d) { d.OnRemoveClusterAndInside(); });
         },
         ClusterSelected, nullptr},
        // ---- Regions inside the ROI (the ROI's context menu)
        {CommandId::RoiRegionsBenign, "&Benign", kPlain,
         RoiRegionsDiagnosisCommand, RegionsWithRoi, nullptr},
        {CommandId::RoiRegionsMalignant, "&Malignant", kPlain,
         RoiRegionsDiagnosisCommand, RegionsWithRoi, nullptr},
        {CommandId::RoiRegionsFalse, "&False", kPlain,
         RoiRegionsDiagnosisCommand, RegionsWithRoi, nullptr},
        // ---- Cases
        {CommandId::CurrentCaseCc, "Current Case &CC", kPlain,
         [](C c, int) { c.app.OnCurrentCaseView("_CC"); }, HasDocument, nullptr},
        {CommandId::CurrentCaseMlo, "Current Case &MLO", kPlain,
         [](C c, int) { c.app.OnCurrentCaseView("_MLO"); }, HasDocument, nullptr},
        {CommandId::CloseCurrentCase, "C&lose Current Case", kPlain,
         [](C c, int) { c.app.OnCloseCurrentCase(); }, HasDocument, nullptr},
        {CommandId::NextCase, "&Next Case", kPlain,
         [](C c, int) { c.app.OnNextCase(); },
         HasCases, nullptr},
        {CommandId::PreviousCase, "&Previous Case", kPlain,
         [](C c, int) { c.app.OnPreviousCase(); },
         HasCases, nullptr},
        // ---- Windows
        {CommandId::WindowNew, "New &Window\tCtrl+N", kPlain,
         [](C c, int) { OnShownDocument(c, [](CVistrelDoc& d) { d.OnNewWindow(); }); },
         Valid, nullptr},
        {CommandId::WindowSplit, "S&plitter", kCheck,
         [](C c, int) { if (c.shell) c.shell->ToggleDescription(); },
         [](C c, int) { return c.view.framePresent; },
         [](C c, int) { return c.view.framePresent && c.view.descriptionShown; }},
    };
    // clang-format on
    return table;
}

const std::vector<CCommandRange>& CommandRanges() {
    static const std::vector<CCommandRange> ranges = {
        // Window/level presets: applied only while the value bar is shown.
        {Id(CommandId::PresetFirst), Id(CommandId::PresetLast),
         [](C c, int id) { c.app.ApplyPreset(Offset(id, CommandId::PresetFirst)); },
         [](C c, int) { return BarShown(c, EBar::Values); },
         [](C c, int id) {
             return c.app.PresetMatchesCurrentWindow(Offset(id, CommandId::PresetFirst));
         }},
        // Image plug-ins, run on the active document.
        {Id(CommandId::PlugInFirst), Id(CommandId::PlugInLast),
         [](C c, int id) {
             if (c.plugIns && Valid(c)) c.plugIns->RunImagePlugIn(*c.doc, id);
         },
         nullptr, nullptr},
        // The recent files of the "&File" menu.
        {Id(CommandId::FileMru1), Id(CommandId::FileMru1) + kRecentFileCount - 1,
         [](C c, int id) {
             const auto index = static_cast<std::size_t>(Offset(id, CommandId::FileMru1));
             if (index < c.app.RecentFiles().size()) c.app.OpenFiles({c.app.RecentFiles()[index]});
         },
         nullptr, nullptr},
        // The entries of the "&Cases" menu.
        {Id(CommandId::CaseFirst), Id(CommandId::CaseLast), [](C c, int id) { c.app.OnCase(id); },
         nullptr, nullptr},
    };
    return ranges;
}

const CCommand* FindCommand(int id) {
    for (const CCommand& command : CommandRegistry())
        if (Id(command.id) == id) return &command;
    return nullptr;
}

const CCommandRange* FindCommandRange(int id) {
    for (const CCommandRange& range : CommandRanges())
        if (id >= range.first && id <= range.last) return &range;
    return nullptr;
}

bool RunCommand(const CCommandContext& context, int id) {
    if (const CCommand* command = FindCommand(id)) {
        if (command->run) command->run(context, id);
        return true;
    }
    if (const CCommandRange* range = FindCommandRange(id)) {
        if (range->run) range->run(context, id);
        return true;
    }
    return false;
}

bool CommandEnabled(const CCommandContext& context, int id) {
    if (const CCommand* command = FindCommand(id))
        return !command->enabled || command->enabled(context, id);
    if (const CCommandRange* range = FindCommandRange(id))
        return !range->enabled || range->enabled(context, id);
    return false;
}

bool CommandChecked(const CCommandContext& context, int id) {
    if (const CCommand* command = FindCommand(id))
        return command->checked && command->checked(context, id);
    if (const CCommandRange* range = FindCommandRange(id))
        return range->checked && range->checked(context, id);
    return false;
}

bool CommandHasTextRule(int id) {
    const CCommand* command = FindCommand(id);
    return command && command->menuText;
}

std::string CommandMenuText(const CCommandContext& context, int id) {
    const CCommand* command = FindCommand(id);
    if (!command) return {};
    return command->menuText ? command->menuText(context) : std::string(command->text);
}

void SplitMenuText(const std::string& text, std::string& label, std::string& accelerator) {
    const auto tab = text.find('\t');
    label = text.substr(0, tab);
    accelerator = tab == std::string::npos ? std::string{} : text.substr(tab + 1);
}

}  // namespace vistrel
