#include "shell/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/dicom_engine.h"
#include "core/image_operations.h"
#include "core/messages.h"
#include "regions/regions.h"
#include "shell/command_table.h"
#include "shell/diagnoses_legend_bar.h"
#include "shell/enhance_dlg.h"
#include "shell/histogram_dlg.h"
#include "shell/image_prop_dlg.h"
#include "shell/plugin_menu.h"
#include "shell/preview_file_dlg.h"
#include "shell/radio_group_dlg.h"
#include "shell/raw_param_dlg.h"
#include "shell/region_growing_dlg.h"
#include "shell/ruler_levels_dlg.h"
#include "shell/splitter_frame.h"
#include "shell/two_images_dlg.h"
#include "shell/vistrel_view.h"
#include "shell/window_width_bits.h"
#include "shell/window_width_values.h"
#include "workspace/file_filters.h"
#include "workspace/plugins.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

int Id(CommandId id) {
    return static_cast<int>(id);
}

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

// Commands whose document side has not landed yet: shown, never enabled.
const CommandId kPendingCommands[] = {
    CommandId::NnDiagnoses,
    CommandId::ComputeSrdm,
    CommandId::ComputeGlcm,
    CommandId::PutTextureNextToRoi,
};

// Open windows listed by number in the "&Window" menu; the rest are reached
// through "&More Windows...".
constexpr int kListedWindows = 9;

// Where the main window's size and place are remembered.
const char* const kGeometryKey = "MainFrame/geometry";

QSettings FrameSettings() {
    return QSettings(QStringLiteral("Korvel"), QStringLiteral("Vistrel"));
}

// A window title as a menu text: its ampersands are not mnemonics.
QString MenuEscaped(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The depth of each depth command, in command order.
constexpr int kDepths[] = {16, 14, 12, 8};

// The label of an action without its mnemonic ampersands, for tool buttons.
QString ButtonText(const QAction* action) {
    QString text = action->text();
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove('&');
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

}  // namespace

CMainFrame::CMainFrame(CVistrelApp& app, QWidget* parent)
    : QMainWindow(parent), app_(app), mdi_(new QMdiArea(this)) {
    setWindowTitle(QStringLiteral("Vistrel"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    CreateActions();
    CreateToolBars();
    CreateStatusBar();
    CreateBars();
    CreateMenus();
    CreateContextMenus();
    connect(mdi_, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
    CNotifier& notifier = app.Notifier();
    connect(&notifier, &CNotifier::presetsChanged, this, &CMainFrame::BuildPresetMenu);
    connect(&notifier, &CNotifier::recentFilesChanged, this, &CMainFrame::RebuildRecentFiles);
    connect(&notifier, &CNotifier::diagnosisDisplayChanged, this, &CMainFrame::ShowLegend);
    // Toolbar buttons show their state without a menu being opened.
    connect(&notifier, &CNotifier::imageChanged, this, &CMainFrame::UpdateCommandStates);
    app.SetUi(this);
    // The first start uses the whole screen: anything smaller pushes the
    // standard toolbar's buttons into its overflow menu.
    if (!RestoreFrameGeometry()) {
        placedOnScreen_ = true;
        if (const QScreen* shown = screen()) setGeometry(shown->availableGeometry());
    }
    // The remembered interface mode decides the bars, the mouse mode and the displays.
    InterfaceModeChanged();
    CaseListChanged();
}

CMainFrame::~CMainFrame() {
    if (app_.Ui() == this) app_.SetUi(nullptr);
}

// ---------------------------------------------------------------- commands

void CMainFrame::CreateActions() {
    for (const CCommandEntry& entry : CommandTable()) {
        std::string label, accelerator;
        SplitMenuText(entry.text, label, accelerator);
        auto* action = new QAction(ToQ(label), this);
        if (!accelerator.empty()) action->setShortcut(QKeySequence(ToQ(accelerator)));
        const int id = Id(entry.id);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        actions_[id] = action;
    }
    Action(CommandId::WindowBits)->setCheckable(true);
    Action(CommandId::WindowValues)->setCheckable(true);
    for (CommandId id :
         {CommandId::ShowRos, CommandId::ShowRegions, CommandId::UserDiagnoses,
          CommandId::RegionBenign, CommandId::RegionMalignant, CommandId::RegionFalse,
          CommandId::RosBenign, CommandId::RosMalignant, CommandId::RosFalse,
          CommandId::StandardToolbar, CommandId::MorphologyToolbar, CommandId::UserToolbar,
          CommandId::StatusBar, CommandId::RadiologistsInterface, CommandId::ShowOriginal,
          CommandId::NnDiagnoses, CommandId::WindowSplit})
        Action(id)->setCheckable(true);
    // Radio groups: one mouse mode, one fit mode, one depth.
    for (const auto& [first, last] : {std::pair{CommandId::MouseRoi, CommandId::MouseWinLev},
                                      std::pair{CommandId::FitScreen, CommandId::FitCasePreview},
                                      std::pair{CommandId::Depth16, CommandId::Depth8}}) {
        auto* group = new QActionGroup(this);
        for (int id = Id(first); id <= Id(last); ++id) {
            Action(static_cast<CommandId>(id))->setCheckable(true);
            group->addAction(Action(static_cast<CommandId>(id)));
        }
    }
}

QAction* CMainFrame::Action(CommandId id) const {
    const auto it = actions_.find(Id(id));
    return it == actions_.end() ? nullptr : it->second;
}

QAction* CMainFrame::PresetAction(int index) const {
    return index >= 0 && index < static_cast<int>(presetActions_.size()) ? presetActions_[index]
                                                                         : nullptr;
}

void CMainFrame::CreateMenus() {
    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    for (CommandId id : {CommandId::FileOpen, CommandId::FileClose, CommandId::CloseAll,
                         CommandId::FileSave, CommandId::FileSaveAs})
        fileMenu_->addAction(Action(id));
    fileMenu_->addSeparator();
    fileMenu_->addAction(Action(CommandId::OpenOverlay));
    fileMenu_->addAction(Action(CommandId::SaveOverlay));
    fileMenu_->addSeparator();
    for (CommandId id :
         {CommandId::FilePrint, CommandId::FilePrintDirect, CommandId::FilePrintPreview})
        fileMenu_->addAction(Action(id));
    fileMenu_->addSeparator();
    for (CommandId id : {CommandId::PgxSavingOptions, CommandId::ColouredImagesOptions,
                         CommandId::OriginalImageOptions, CommandId::DicomReadingOptions})
        fileMenu_->addAction(Action(id));
    recentSeparator_ = fileMenu_->addSeparator();
    fileMenu_->addSeparator();
    fileMenu_->addAction(Action(CommandId::AppExit));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    for (CommandId id :
         {CommandId::StandardToolbar, CommandId::MorphologyToolbar, CommandId::UserToolbar,
          CommandId::StatusBar, CommandId::WindowBits, CommandId::WindowValues})
        view->addAction(Action(id));
    view->addSeparator();
    for (CommandId id :
         {CommandId::ZoomIn, CommandId::ZoomOut, CommandId::ActualPixels, CommandId::ZoomToFit})
        view->addAction(Action(id));
    QMenu* fit = view->addMenu(QStringLiteral("F&it Mode"));
    for (int id = Id(CommandId::FitScreen); id <= Id(CommandId::FitCasePreview); ++id)
        fit->addAction(Action(static_cast<CommandId>(id)));
    view->addSeparator();
    for (int id = Id(CommandId::MouseRoi); id <= Id(CommandId::MouseWinLev); ++id)
        view->addAction(Action(static_cast<CommandId>(id)));
    view->addSeparator();
    for (CommandId id : {CommandId::ShowRos, CommandId::ShowRegions, CommandId::UserDiagnoses,
                         CommandId::NnDiagnoses})
        view->addAction(Action(id));
    view->addSeparator();
    for (CommandId id :
         {CommandId::ShowOriginal, CommandId::DeselectRoi, CommandId::CropRoi,
          CommandId::OpenRoiInNewWindow, CommandId::Measure, CommandId::RulerGrayLevels})
        view->addAction(Action(id));
    view->addSeparator();
    view->addAction(Action(CommandId::RadiologistsInterface));

    QMenu* basic = menuBar()->addMenu(QStringLiteral("&Basic Image Operations"));
    for (CommandId id :
         {CommandId::BrightnessContrast, CommandId::Histogram, CommandId::EqualizeHistogram,
          CommandId::ImageProperties, CommandId::SetResolution})
        basic->addAction(Action(id));
    QMenu* rotate = basic->addMenu(QStringLiteral("&Rotate"));
    for (CommandId id : {CommandId::Rotate180, CommandId::Rotate90Cw, CommandId::Rotate90Ccw})
        rotate->addAction(Action(id));
    for (CommandId id : {CommandId::FlipHorizontal, CommandId::FlipVertical, CommandId::Reverse,
                         CommandId::SwapBytes})
        basic->addAction(Action(id));
    QMenu* depth = basic->addMenu(QStringLiteral("&Bits per Pixel"));
    for (int id = Id(CommandId::Depth16); id <= Id(CommandId::Depth8); ++id)
        depth->addAction(Action(static_cast<CommandId>(id)));
    basic->addSeparator();
    for (CommandId id : {CommandId::SwapOriginal, CommandId::AddComment, CommandId::TwoImages})
        basic->addAction(Action(id));

    QMenu* filtering = menuBar()->addMenu(QStringLiteral("F&iltering"));
    filtering->addAction(Action(CommandId::Filters));
    filtering->addAction(Action(CommandId::LogGaussianFilters));
    QMenu* detection = menuBar()->addMenu(QStringLiteral("&Detection Tools"));
    detection->addAction(Action(CommandId::SpotDetector));

    CreateRegionsMenu();

    casesMenu_ = menuBar()->addMenu(QStringLiteral("&Cases"));
    for (CommandId id : {CommandId::CurrentCaseCc, CommandId::CurrentCaseMlo,
                         CommandId::CloseCurrentCase, CommandId::NextCase, CommandId::PreviousCase})
        casesMenu_->addAction(Action(id));
    casesMenu_->addSeparator();

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    windowMenu_ = window;
    for (CommandId id : {CommandId::WindowNew, CommandId::WindowCascade, CommandId::WindowTile,
                         CommandId::WindowSplit, CommandId::CloseAll})
        window->addAction(Action(id));
    // Titles change with the zoom, so the list is written as the menu opens.
    connect(window, &QMenu::aboutToShow, this, &CMainFrame::RebuildWindowList);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(Action(CommandId::AppAbout));

    for (QMenu* menu : {fileMenu_, view, fit, basic, rotate, depth, casesMenu_, window})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);

    // The presets popup sits two places before the end of the menu bar.
    presetsMenu_ = new QMenu(QStringLiteral("Window\\Level &Presets"), this);
    const QList<QAction*> top = menuBar()->actions();
    menuBar()->insertMenu(top.at(top.size() - 2), presetsMenu_);
    connect(presetsMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    BuildPresetMenu();
    RebuildRecentFiles();
}

void CMainFrame::CreateRegionsMenu() {
    QMenu* regions = menuBar()->addMenu(QStringLiteral("&Regions"));
    connect(regions, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    for (CommandId id : {CommandId::ExtractRegions, CommandId::RemoveAllRegions,
                         CommandId::RemoveRegionsInsideRoi})
        regions->addAction(Action(id));
    regions->addSeparator();
    for (CommandId id :
         {CommandId::SetAllBenign, CommandId::SetAllMalignant, CommandId::SetAllFalse})
        regions->addAction(Action(id));
    regions->addSeparator();
    for (CommandId id : {CommandId::GrowAllContours, CommandId::SmoothAllContours,
                         CommandId::GrowClusterContours, CommandId::SmoothClusterContours})
        regions->addAction(Action(id));
    // The selected region and ROS; selection by clicking arrives with the
    // view's context menus, which reuse these actions.
    QMenu* region = regions->addMenu(QStringLiteral("Selected Re&gion"));
    for (CommandId id : {CommandId::RegionBenign, CommandId::RegionMalignant,
                         CommandId::RegionFalse, CommandId::RemoveRegion,
                         CommandId::GrowSelectedContour, CommandId::SmoothSelectedContour})
        region->addAction(Action(id));
    QMenu* ros = regions->addMenu(QStringLiteral("Selected R&OS"));
    for (CommandId id : {CommandId::RosBenign, CommandId::RosMalignant, CommandId::RosFalse,
                         CommandId::RemoveRos, CommandId::RemoveAllRos})
        ros->addAction(Action(id));
}

void CMainFrame::CreateContextMenus() {
    const auto make = [this](int id, std::initializer_list<CommandId> ids) {
        auto* menu = new QMenu(this);
        for (CommandId command : ids) menu->addAction(Action(command));
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
        contextMenus_[id] = menu;
        return menu;
    };
    make(kMenuRegions,
         {CommandId::SetAllBenign, CommandId::SetAllMalignant, CommandId::SetAllFalse,
          CommandId::RemoveAllRegions, CommandId::GrowAllContours, CommandId::SmoothAllContours});
    make(kMenuRegion,
         {CommandId::RegionBenign, CommandId::RegionMalignant, CommandId::RegionFalse,
          CommandId::RemoveRegion, CommandId::GrowSelectedContour, CommandId::SmoothSelectedContour,
          CommandId::GrowClusterContours, CommandId::SmoothClusterContours});
    QMenu* roi =
        make(kMenuRoi, {CommandId::CropRoi, CommandId::OpenRoiInNewWindow, CommandId::DeselectRoi});
    QMenu* inside = roi->addMenu(QStringLiteral("Set Regions Inside ROI"));
    for (CommandId id :
         {CommandId::RoiRegionsBenign, CommandId::RoiRegionsMalignant, CommandId::RoiRegionsFalse})
        inside->addAction(Action(id));
    for (CommandId id : {CommandId::ComputeSrdm, CommandId::ComputeGlcm,
                         CommandId::RemoveRegionsInsideRoi, CommandId::PutTextureNextToRoi})
        roi->addAction(Action(id));
    make(kMenuRosList, {CommandId::RemoveAllRos});
    make(kMenuRos, {CommandId::RosBenign, CommandId::RosMalignant, CommandId::RosFalse,
                    CommandId::RemoveRos, CommandId::RemoveAllRos});
    make(kMenuRuler, {CommandId::RulerGrayLevels, CommandId::Measure});
    make(kMenuCluster,
         {CommandId::ClusterBenign, CommandId::ClusterMalignant, CommandId::ClusterFalse,
          CommandId::RemoveCluster, CommandId::RemoveClusterAndInside});
}

QMenu* CMainFrame::ContextMenu(int id) const {
    const auto it = contextMenus_.find(id);
    return it == contextMenus_.end() ? nullptr : it->second;
}

void CMainFrame::BuildPresetMenu() {
    presetsMenu_->clear();
    presetActions_.clear();
    presetsMenu_->addAction(Action(CommandId::GetCurrentPreset));
    presetsMenu_->addSeparator();
    const auto& presets = app_.Presets();
    const int last = Id(CommandId::PresetLast) - Id(CommandId::PresetFirst);
    for (int i = 0; i < static_cast<int>(presets.size()) && i <= last; ++i) {
        auto* action = presetsMenu_->addAction(ToQ(presets[i].MenuText()));
        action->setCheckable(true);
        const int id = Id(CommandId::PresetFirst) + i;
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        presetActions_.push_back(action);
    }
    UpdateCommandStates();
}

QMenu* CMainFrame::BuildPlugInMenu(CPlugInManager& manager) {
    plugIns_ = &manager;
    QMenu* menu = vistrel::BuildPlugInMenu(*menuBar(), manager, [this](int id) { OnCommand(id); });
    if (menu) connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    return menu;
}

void CMainFrame::RebuildRecentFiles() {
    for (QAction* action : recentActions_) {
        fileMenu_->removeAction(action);
        action->deleteLater();
    }
    recentActions_.clear();
    const auto& files = app_.RecentFiles();
    QAction* before =
        fileMenu_->actions().value(fileMenu_->actions().indexOf(recentSeparator_) + 1);
    for (int i = 0; i < static_cast<int>(files.size()) && i < kRecentFileCount; ++i) {
        auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(ToQ(files[i])), this);
        const int id = Id(CommandId::FileMru1) + i;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        fileMenu_->insertAction(before, action);
        recentActions_.push_back(action);
    }
}

void CMainFrame::UpdateCommandStates() {
    CVistrelDoc* doc = app_.ActiveDocument();
    const bool hasView = ActiveView() != nullptr;
    for (CommandId id : {CommandId::FileClose, CommandId::FileSave, CommandId::FileSaveAs})
        Action(id)->setEnabled(doc != nullptr);
    for (CommandId id :
         {CommandId::ZoomIn, CommandId::ZoomOut, CommandId::ActualPixels, CommandId::ZoomToFit})
        Action(id)->setEnabled(hasView);
    Action(CommandId::GetCurrentPreset)->setEnabled(doc != nullptr);
    UpdateAnnotationStates(doc, ActiveView());
    UpdateViewStates(doc, ActiveView());
    const bool valuesShown = Action(CommandId::WindowValues)->isChecked();
    for (int i = 0; i < static_cast<int>(presetActions_.size()); ++i) {
        presetActions_[i]->setEnabled(valuesShown);
        presetActions_[i]->setChecked(app_.PresetMatchesCurrentWindow(i));
    }
}

void CMainFrame::OnCommand(int id) {
    CVistrelDoc* doc = app_.ActiveDocument();
    CVistrelView* view = ActiveView();
    if (id >= Id(CommandId::PresetFirst) && id <= Id(CommandId::PresetLast)) {
        app_.ApplyPreset(id - Id(CommandId::PresetFirst));
        UpdateCommandStates();
        return;
    }
    if (id >= Id(CommandId::PlugInFirst) && id <= Id(CommandId::PlugInLast)) {
        if (plugIns_ && doc && doc->image.IsValid()) plugIns_->RunImagePlugIn(*doc, id);
        UpdateCommandStates();
        return;
    }
    if (id >= Id(CommandId::FileMru1) && id < Id(CommandId::FileMru1) + kRecentFileCount) {
        const std::size_t index = static_cast<std::size_t>(id - Id(CommandId::FileMru1));
        if (index < app_.RecentFiles().size()) app_.OpenFiles({app_.RecentFiles()[index]});
        return;
    }
    if (OnAnnotationCommand(id, doc, view) || OnViewCommand(id, doc, view)) {
        UpdateCommandStates();
        return;
    }
    switch (static_cast<CommandId>(id)) {
        case CommandId::FileOpen:
            app_.OnFileOpen();
            break;
        case CommandId::FileClose:
            if (CSplitterFrame* frame = ActiveFrame()) frame->close();
            break;
        case CommandId::FileSave:
            if (doc) doc->OnFileSave();
            break;
        case CommandId::FileSaveAs:
            if (doc) doc->OnFileSaveAs();
            break;
        case CommandId::PgxSavingOptions:
            app_.OnPgxSavingOptions();
            break;
        case CommandId::ColouredImagesOptions:
            app_.OnColouredImagesOptions();
            break;
        case CommandId::OriginalImageOptions:
            app_.OnOriginalImageOptions();
            break;
        case CommandId::AppExit:
            close();
            break;
        case CommandId::ZoomIn:
            if (view) view->OnZoomIn();
            break;
        case CommandId::ZoomOut:
            if (view) view->OnZoomOut();
            break;
        case CommandId::ActualPixels:
            if (view) view->OnActualPixels();
            break;
        case CommandId::ZoomToFit:
            if (view) view->OnZoomToFit();
            break;
        case CommandId::WindowBits:
            ShowBitsBar(Action(CommandId::WindowBits)->isChecked());
            break;
        case CommandId::WindowValues:
            ShowValueBar(Action(CommandId::WindowValues)->isChecked());
            break;
        case CommandId::GetCurrentPreset:
            app_.GetCurrentPreset();
            break;
        case CommandId::WindowCascade:
            mdi_->cascadeSubWindows();
            break;
        case CommandId::WindowTile:
            mdi_->tileSubWindows();
            break;
        case CommandId::AppAbout:
            QMessageBox::about(this, QStringLiteral("About Vistrel"),
                               QStringLiteral("Vistrel %1\nMammogram viewing and analysis "
                                              "workstation.")
                                   .arg(QCoreApplication::applicationVersion()));
            break;
        default:
            break;
    }
    UpdateCommandStates();
}

void CMainFrame::UpdateAnnotationStates(CVistrelDoc* doc, CVistrelView* view) {
    const bool valid = doc && doc->image.IsValid();
    const bool hasRegions = valid && !doc->regions.IsEmpty();
    const bool hasRos = valid && !doc->rosRegions.IsEmpty();
    const int regionDiagnosis = valid ? doc->regions.GetDiagnosisOfSelected() : -1;
    const int rosDiagnosis = valid ? doc->rosRegions.GetDiagnosisOfSelected() : -1;
    for (CommandId id : {CommandId::OpenOverlay, CommandId::SaveOverlay, CommandId::ExtractRegions})
        Action(id)->setEnabled(valid);
    for (CommandId id :
         {CommandId::RemoveAllRegions, CommandId::SetAllBenign, CommandId::SetAllMalignant,
          CommandId::SetAllFalse, CommandId::GrowAllContours, CommandId::SmoothAllContours})
        Action(id)->setEnabled(hasRegions);
    Action(CommandId::RemoveRegionsInsideRoi)
        ->setEnabled(hasRegions && view && !view->Roi().IsEmpty());
    const bool regionSelected = regionDiagnosis >= 0;
    for (CommandId id :
         {CommandId::RemoveRegion, CommandId::GrowSelectedContour, CommandId::SmoothSelectedContour,
          CommandId::GrowClusterContours, CommandId::SmoothClusterContours})
        Action(id)->setEnabled(regionSelected);
    const CommandId regionIds[] = {CommandId::RegionBenign, CommandId::RegionMalignant,
                                   CommandId::RegionFalse};
    const CommandId rosIds[] = {CommandId::RosBenign, CommandId::RosMalignant, CommandId::RosFalse};
    for (int d = 0; d < 3; ++d) {
        Action(regionIds[d])->setEnabled(regionSelected);
        Action(regionIds[d])->setChecked(regionDiagnosis == d);
        Action(rosIds[d])->setEnabled(rosDiagnosis >= 0);
        Action(rosIds[d])->setChecked(rosDiagnosis == d);
    }
    Action(CommandId::RemoveRos)->setEnabled(rosDiagnosis >= 0);
    Action(CommandId::RemoveAllRos)->setEnabled(hasRos);
    Action(CommandId::ShowRos)->setChecked(app_.showRos);
    Action(CommandId::ShowRegions)->setChecked(app_.showRegions);
    Action(CommandId::UserDiagnoses)->setChecked(app_.showUserDiagnoses);
}

bool CMainFrame::OnAnnotationCommand(int id, CVistrelDoc* doc, CVistrelView* view) {
    const CommandId command = static_cast<CommandId>(id);
    switch (command) {
        case CommandId::ShowRos:
            app_.OnShowRos();
            return true;
        case CommandId::ShowRegions:
            app_.OnShowRegions();
            return true;
        case CommandId::UserDiagnoses:
            app_.OnUserDiagnoses();
            return true;
        default:
            break;
    }
    if (!doc) {
        // Every other annotation command needs a document: without one it is
        // taken here and does nothing.
        static const CommandId documentCommands[] = {CommandId::OpenOverlay,
                                                     CommandId::SaveOverlay,
                                                     CommandId::RemoveAllRegions,
                                                     CommandId::ExtractRegions,
                                                     CommandId::SetAllBenign,
                                                     CommandId::SetAllMalignant,
                                                     CommandId::SetAllFalse,
                                                     CommandId::RegionBenign,
                                                     CommandId::RegionMalignant,
                                                     CommandId::RegionFalse,
                                                     CommandId::RemoveRegion,
                                                     CommandId::RemoveRos,
                                                     CommandId::RemoveAllRos,
                                                     CommandId::RemoveRegionsInsideRoi,
                                                     CommandId::RosBenign,
                                                     CommandId::RosMalignant,
                                                     CommandId::RosFalse,
                                                     CommandId::GrowSelectedContour,
                                                     CommandId::SmoothSelectedContour,
                                                     CommandId::GrowAllContours,
                                                     CommandId::SmoothAllContours,
                                                     CommandId::GrowClusterContours,
                                                     CommandId::SmoothClusterContours};
        return std::find(std::begin(documentCommands), std::end(documentCommands), command) !=
               std::end(documentCommands);
    }
    const int32_t region = doc->regions.Selected();
    const int32_t ros = doc->rosRegions.Selected();
    switch (command) {
        case CommandId::OpenOverlay:
            doc->OnOpenOverlay();
            return true;
        case CommandId::SaveOverlay:
            doc->OnSaveOverlay();
            return true;
        case CommandId::RemoveAllRegions:
            doc->OnRemoveAllRegions();
            return true;
        case CommandId::ExtractRegions:
            doc->OnExtractRegions();
            return true;
        case CommandId::SetAllBenign:
        case CommandId::SetAllMalignant:
        case CommandId::SetAllFalse:
            doc->OnSetAllDiagnosis(static_cast<int16_t>(id - Id(CommandId::SetAllBenign)));
            return true;
        case CommandId::RegionBenign:
        case CommandId::RegionMalignant:
        case CommandId::RegionFalse:
            doc->OnRegionDiagnosis(region, static_cast<int16_t>(id - Id(CommandId::RegionBenign)));
            return true;
        case CommandId::RemoveRegion:
            doc->OnRemoveRegion(region);
            return true;
        case CommandId::RosBenign:
        case CommandId::RosMalignant:
        case CommandId::RosFalse:
            doc->OnRosDiagnosis(ros, static_cast<int16_t>(id - Id(CommandId::RosBenign)));
            return true;
        case CommandId::RemoveRos:
            doc->OnRemoveRos(ros);
            return true;
        case CommandId::RemoveAllRos:
            doc->OnRemoveAllRos();
            return true;
        case CommandId::RemoveRegionsInsideRoi:
            if (view) doc->OnRemoveRegionsInsideRoi(view->Roi());
            return true;
        case CommandId::GrowSelectedContour:
            doc->OnGrowContours(ContourScope::Selected, region);
            return true;
        case CommandId::GrowAllContours:
            doc->OnGrowContours(ContourScope::All, region);
            return true;
        case CommandId::GrowClusterContours:
            doc->OnGrowContours(ContourScope::SelectedCluster, region);
            return true;
        case CommandId::SmoothSelectedContour:
            doc->OnSmoothContours(ContourScope::Selected, region);
            return true;
        case CommandId::SmoothAllContours:
            doc->OnSmoothContours(ContourScope::All, region);
            return true;
        case CommandId::SmoothClusterContours:
            doc->OnSmoothContours(ContourScope::SelectedCluster, region);
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------- view, image and window commands

void CMainFrame::UpdateViewStates(CVistrelDoc* doc, CVistrelView* view) {
    if (!standardBar_) return;  // still being built
    const bool valid = doc && doc->image.IsValid();
    const bool roi = view && !view->Roi().IsEmpty();
    const bool hasRegions = valid && !doc->regions.IsEmpty();
    Action(CommandId::CloseAll)->setEnabled(!app_.Documents().empty());
    for (CommandId id :
         {CommandId::FilePrint, CommandId::FilePrintDirect, CommandId::FilePrintPreview})
        Action(id)->setEnabled(view && !view->PictureSize().isEmpty());
    Action(CommandId::StandardToolbar)->setChecked(!standardBar_->isHidden());
    Action(CommandId::MorphologyToolbar)->setChecked(!morphologyBar_->isHidden());
    Action(CommandId::UserToolbar)->setChecked(!userBar_->isHidden());
    Action(CommandId::StatusBar)->setChecked(!statusBar()->isHidden());
    Action(CommandId::RadiologistsInterface)->setChecked(app_.mode == 1);
    const int fit = std::clamp(app_.fitMode, 0, 4);
    Action(static_cast<CommandId>(Id(CommandId::FitScreen) + fit))->setChecked(true);
    Action(static_cast<CommandId>(Id(CommandId::MouseRoi) + std::clamp(app_.mouseMode, 0, 4)))
        ->setChecked(true);
    // The ROS stay visible while they are being drawn.
    Action(CommandId::ShowRos)->setEnabled(app_.mouseMode != kMouseDrawRos);
    Action(CommandId::ShowOriginal)->setEnabled(valid && doc->originalImage.IsValid());
    Action(CommandId::ShowOriginal)->setChecked(view && view->ShowsOriginal());
    for (CommandId id : {CommandId::OpenRoiInNewWindow, CommandId::DeselectRoi, CommandId::CropRoi,
                         CommandId::ComputeSrdm})
        Action(id)->setEnabled(valid && roi);
    for (CommandId id :
         {CommandId::RoiRegionsBenign, CommandId::RoiRegionsMalignant, CommandId::RoiRegionsFalse})
        Action(id)->setEnabled(hasRegions && roi);
    Action(CommandId::Measure)->setEnabled(view && view->RulerLength() > 0.0);
    if (view && app_.mouseMode == kMouseRuler) view->ShowRulerText();
    const bool clusterSelected = [&] {
        if (!valid) return false;
        const CRegion* region = doc->regions.At(doc->regions.Selected());
        return region && (region->type == 'c' || region->clusterNumber >= 1000);
    }();
    for (CommandId id :
         {CommandId::ClusterBenign, CommandId::ClusterMalignant, CommandId::ClusterFalse,
          CommandId::RemoveCluster, CommandId::RemoveClusterAndInside})
        Action(id)->setEnabled(clusterSelected);
    for (CommandId id : {CommandId::BrightnessContrast, CommandId::Histogram,
                         CommandId::ImageProperties, CommandId::TwoImages, CommandId::Filters,
                         CommandId::LogGaussianFilters, CommandId::SpotDetector})
        Action(id)->setEnabled(true);
    Action(CommandId::WindowNew)->setEnabled(valid);
    for (CommandId id : {CommandId::EqualizeHistogram, CommandId::Rotate180, CommandId::Rotate90Cw,
                         CommandId::Rotate90Ccw, CommandId::FlipHorizontal, CommandId::FlipVertical,
                         CommandId::Reverse, CommandId::AddComment, CommandId::SetResolution})
        Action(id)->setEnabled(valid);
    Action(CommandId::SwapBytes)->setEnabled(valid && doc->image.depth > 8);
    for (int i = 0; i < 4; ++i) {
        QAction* action = Action(static_cast<CommandId>(Id(CommandId::Depth16) + i));
        action->setEnabled(valid && doc->CanChangeDepth());
        action->setChecked(valid && doc->IsDepthChecked(kDepths[i]));
    }
    Action(CommandId::SwapOriginal)->setEnabled(valid);
    for (CommandId id :
         {CommandId::CurrentCaseCc, CommandId::CurrentCaseMlo, CommandId::CloseCurrentCase})
        Action(id)->setEnabled(doc != nullptr);
    for (CommandId id : {CommandId::NextCase, CommandId::PreviousCase})
        Action(id)->setEnabled(!app_.Cases().Entries().empty());
    Action(CommandId::RulerGrayLevels)->setEnabled(valid && view && view->RulerLength() > 0.0);
    Action(CommandId::WindowSplit)->setEnabled(ActiveFrame() != nullptr);
    Action(CommandId::WindowSplit)->setChecked(ActiveFrame() && ActiveFrame()->DescriptionShown());
    for (CommandId id : kPendingCommands) Action(id)->setEnabled(false);
    RebuildWindowList();
}

bool CMainFrame::OnViewCommand(int id, CVistrelDoc* doc, CVistrelView* view) {
    const CommandId command = static_cast<CommandId>(id);
    if (id >= Id(CommandId::MouseRoi) && id <= Id(CommandId::MouseWinLev)) {
        app_.SetMouseMode(id - Id(CommandId::MouseRoi));
        return true;
    }
    if (id >= Id(CommandId::FitScreen) && id <= Id(CommandId::FitCasePreview)) {
        OnFitMode(id - Id(CommandId::FitScreen));
        return true;
    }
    switch (command) {
        case CommandId::CloseAll:
            app_.OnCloseAll();
            return true;
        case CommandId::SwapOriginal:
            app_.OnSwapOriginalImage();
            return true;
        case CommandId::CurrentCaseCc:
            app_.OnCurrentCaseView("_CC");
            return true;
        case CommandId::CurrentCaseMlo:
            app_.OnCurrentCaseView("_MLO");
            return true;
        case CommandId::CloseCurrentCase:
            app_.OnCloseCurrentCase();
            return true;
        case CommandId::NextCase:
            app_.OnNextCase();
            return true;
        case CommandId::PreviousCase:
            app_.OnPreviousCase();
            return true;
        case CommandId::StandardToolbar:
            standardBar_->setVisible(Action(command)->isChecked());
            return true;
        case CommandId::MorphologyToolbar:
            morphologyBar_->setVisible(Action(command)->isChecked());
            return true;
        case CommandId::UserToolbar:
            userBar_->setVisible(Action(command)->isChecked());
            return true;
        case CommandId::StatusBar:
            statusBar()->setVisible(Action(command)->isChecked());
            return true;
        case CommandId::RadiologistsInterface:
            app_.OnRadiologistsInterface();
            return true;
        case CommandId::FilePrint:
        case CommandId::FilePrintDirect:
        case CommandId::FilePrintPreview:
            if (view) PrintView(view, id);
            return true;
        case CommandId::DicomReadingOptions: {
            int selected = DicomReadingOption();
            if (CRadioGroupDlg::Run(this, "DICOM Opening Properties", selected,
                                    {"Open raw pixels", "Open rendered pixels"},
                                    selected) == QDialog::Accepted &&
                (selected == 0 || selected == 1))
                SetDicomReadingOption(selected);
            return true;
        }
        case CommandId::BrightnessContrast:
        case CommandId::Histogram:
        case CommandId::ImageProperties:
        case CommandId::TwoImages:
        case CommandId::Filters:
        case CommandId::LogGaussianFilters:
        case CommandId::SpotDetector:
            ToggleToolWindow(id);
            return true;
        case CommandId::WindowSplit:
            if (CSplitterFrame* frame = ActiveFrame()) frame->ToggleDescription(ClientSize());
            return true;
        default:
            break;
    }
    // The rest work on the active window's document.
    switch (command) {
        case CommandId::ShowOriginal:
        case CommandId::DeselectRoi:
        case CommandId::OpenRoiInNewWindow:
        case CommandId::CropRoi:
        case CommandId::Measure:
        case CommandId::RulerGrayLevels:
        case CommandId::WindowNew:
        case CommandId::EqualizeHistogram:
        case CommandId::Rotate180:
        case CommandId::Rotate90Cw:
        case CommandId::Rotate90Ccw:
        case CommandId::FlipHorizontal:
        case CommandId::FlipVertical:
        case CommandId::Reverse:
        case CommandId::SwapBytes:
        case CommandId::Depth16:
        case CommandId::Depth14:
        case CommandId::Depth12:
        case CommandId::Depth8:
        case CommandId::AddComment:
        case CommandId::SetResolution:
        case CommandId::RoiRegionsBenign:
        case CommandId::RoiRegionsMalignant:
        case CommandId::RoiRegionsFalse:
        case CommandId::ClusterBenign:
        case CommandId::ClusterMalignant:
        case CommandId::ClusterFalse:
        case CommandId::RemoveCluster:
        case CommandId::RemoveClusterAndInside:
            if (!doc || !view) return true;
            break;
        default:
            return false;
    }
    switch (command) {
        case CommandId::ShowOriginal:
            view->OnShowOriginal();
            break;
        case CommandId::DeselectRoi:
            view->OnDeselectRoi();
            break;
        case CommandId::OpenRoiInNewWindow:
            doc->OnOpenRoiInNewWindow(view->Roi(), app_.mouseMode);
            break;
        case CommandId::CropRoi:
            doc->OnCropRoi(view->Roi());
            break;
        case CommandId::RulerGrayLevels:
            ShowRulerLevels(view);
            break;
        case CommandId::EqualizeHistogram:
            doc->OnEqualizeHistogram(view->Roi());
            break;
        case CommandId::Rotate180:
            doc->OnRotate(kRotate180);
            break;
        case CommandId::Rotate90Cw:
            doc->OnRotate(kRotateClockwise);
            break;
        case CommandId::Rotate90Ccw:
            doc->OnRotate(kRotateCounterClockwise);
            break;
        case CommandId::FlipHorizontal:
            doc->OnFlipHorizontal();
            break;
        case CommandId::FlipVertical:
            doc->OnFlipVertical();
            break;
        case CommandId::Reverse:
            doc->OnReverse();
            break;
        case CommandId::SwapBytes:
            doc->OnSwapBytes();
            break;
        case CommandId::Depth16:
        case CommandId::Depth14:
        case CommandId::Depth12:
        case CommandId::Depth8:
            doc->OnSetDepth(kDepths[id - Id(CommandId::Depth16)]);
            break;
        case CommandId::AddComment:
            doc->OnAddComment();
            break;
        case CommandId::SetResolution:
            doc->OnSetResolution();
            break;
        case CommandId::Measure:
            if (view->RulerLength() > 0.0)
                messages().show(RulerPaneText(view->RulerLength()).trimmed().toStdString() +
                                doc->ResolutionNote());
            break;
        case CommandId::WindowNew:
            doc->OnNewWindow();
            break;
        case CommandId::RoiRegionsBenign:
        case CommandId::RoiRegionsMalignant:
        case CommandId::RoiRegionsFalse:
            if (!view->Roi().IsEmpty() &&
                doc->regions.SetDiagnosisInsideRect(
                    view->Roi(), static_cast<int16_t>(id - Id(CommandId::RoiRegionsBenign))) > 0)
                doc->UpdateAllViews(kUpdateAnnotations);
            break;
        case CommandId::ClusterBenign:
        case CommandId::ClusterMalignant:
        case CommandId::ClusterFalse:
            if (doc->regions.SetDiagnosisOfSelectedAndInside(
                    static_cast<int16_t>(id - Id(CommandId::ClusterBenign))) > 0)
                doc->UpdateAllViews(kUpdateAnnotations);
            break;
        case CommandId::RemoveCluster:
            doc->OnRemoveRegion(doc->regions.Selected());
            break;
        case CommandId::RemoveClusterAndInside:
            if (doc->regions.RemoveClusterAndInside() > 0) doc->UpdateAllViews(kUpdateAnnotations);
            break;
        default:
            break;
    }
    return true;
}

void CMainFrame::InterfaceModeChanged() {
    // The bars follow the interface mode only when it changes, so that bars
    // hidden by hand stay hidden across mouse-mode changes.
    if (appliedMode_ != app_.mode) {
        appliedMode_ = app_.mode;
        const bool radiologists = app_.RadiologistsMode();
        userBar_->setVisible(radiologists);
        standardBar_->setVisible(!radiologists);
        morphologyBar_->setVisible(!radiologists);
        for (const auto& [doc, frame] : frames_)
            if (frame) frame->View()->RenderDisplay();
    }
    // The overlay of every view follows the mode (ROS show while drawing).
    for (const auto& [doc, frame] : frames_)
        if (frame) frame->View()->BuildOverlay();
    if (panes_[2]) panes_[2]->clear();
    if (CVistrelView* view = ActiveView()) {
        if (app_.mouseMode == kMouseRuler) view->ShowRulerText();
        if ((app_.mouseMode == kMouseRoi || app_.mouseMode == kMouseSrdmRoi) && panes_[2])
            panes_[2]->setText(RoiPaneText(view->Roi()));
    }
    ShowLegend();
    UpdateCommandStates();
}

void CMainFrame::ActivateDocumentWindow(CVistrelDoc& doc) {
    CSplitterFrame* frame = FrameOf(&doc);
    if (!frame) return;
    if (frame->isMinimized()) frame->showNormal();
    frame->show();
    mdi_->setActiveSubWindow(frame);
    frame->raise();
}

void CMainFrame::CaseListChanged() {
    for (QAction* action : caseActions_) {
        casesMenu_->removeAction(action);
        action->deleteLater();
    }
    caseActions_.clear();
    const std::vector<std::string>& entries = app_.Cases().Entries();
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const int id = CCaseList::CommandOf(i);
        auto* action = new QAction(ToQ(entries[i]), this);
        action->setData(id);
        // Entries beyond the handled range are listed but do nothing.
        connect(action, &QAction::triggered, this, [this, id] { app_.OnCase(id); });
        casesMenu_->addAction(action);
        caseActions_.push_back(action);
    }
    UpdateCommandStates();
}

void CMainFrame::ShowLegend() {
    if (!legendBar_) return;
    legendBar_->setVisible(app_.showRegions);
    // TODO(network diagnoses): switch to "Net" when the document shows network diagnoses.
    legend_->SetNetwork(false);
}

QSize CMainFrame::ClientSize() const {
    QSize room = mdi_->viewport()->size();
    if (room.width() < 64 || room.height() < 64) room = QSize(1024, 768);
    return room;
}

void CMainFrame::FitFrame(CSplitterFrame* frame) {
    if (!frame) return;
    CVistrelView* view = frame->View();
    const QSize client = ClientSize();
    int mode = std::clamp(app_.fitMode, 0, 4);
    if (mode == 4 && view->PreviewFull()) mode = 1;
    if (frame->isMaximized()) {
        // The window stays maximised (resizing it would leave a maximised
        // window that no longer fills the client area); the picture is
        // fitted into it.
        if (frame->layout()) frame->layout()->activate();
        view->FitToClient(mode == 1 || mode == 3);
        return;
    }
    QSize size = client;
    if (mode == 2 || mode == 3) {
        // A remembered size of 0 fills the client area.
        if (app_.childWidth > 0 && app_.childHeight > 0)
            size = QSize(app_.childWidth, app_.childHeight).boundedTo(client);
    } else if (mode == 4) {
        size = QSize(client.width() / 4, client.height() / 2);
    }
    frame->resize(size);
    if (frame->layout()) frame->layout()->activate();
    view->FitToClient(mode == 1 || mode == 3);
    frame->HugPicture(size);
    if (app_.mode == 1) PlaceForRadiologists(frame);
}

void CMainFrame::OnFitMode(int mode) {
    app_.fitMode = std::clamp(mode, 0, 4);
    const QSize client = ClientSize();
    if (mode == 2 || mode == 3) {
        QSize child = ActiveFrame() ? ActiveFrame()->size() : client;
        if (app_.mode == 1) child = QSize(client.width() / 4, client.height() * 3 / 4);
        app_.childWidth = child.width();
        app_.childHeight = child.height();
    } else if (mode == 4) {
        app_.childWidth = client.width() / 4;
        app_.childHeight = client.height() / 2;
    }
    for (const auto& [doc, frame] : frames_)
        if (frame) FitFrame(frame);
}

void CMainFrame::PlaceForRadiologists(CSplitterFrame* frame) {
    const CVistrelDoc* doc = frame->Document();
    if (!doc) return;
    const QString name = ToQ(doc->GetFileName(false)).toLower();
    const QSize client = ClientSize();
    // Both breasts face each other across the middle: the right breast on
    // the left half, the left breast on the right half.
    int x = frame->x();
    if (name.contains("left"))
        x = client.width() / 2;
    else if (name.contains("right"))
        x = client.width() / 2 - frame->width();
    int y = 0;
    if (name.contains("mlo")) y = std::min(client.height() / 2, client.height() - frame->height());
    frame->move(std::max(0, x), std::max(0, y));
}

void CMainFrame::ToggleToolWindow(int id) {
    // Invoking the command of an open tool window closes it.
    const auto toggle = [this](auto& window, auto create) {
        if (window) {
            window->close();
            return;
        }
        window = create();
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    };
    switch (static_cast<CommandId>(id)) {
        case CommandId::BrightnessContrast:
            toggle(enhance_, [this] { return new CEnhanceDlg(app_, this); });
            break;
        case CommandId::Histogram:
            toggle(histogram_, [this] { return new CHistogramDlg(app_, this); });
            break;
        case CommandId::ImageProperties:
            toggle(properties_, [this] { return new CImagePropDlg(app_, this); });
            break;
        case CommandId::Filters:
            toggle(filters_, [this] { return new CFiltersDlg(app_, this); });
            break;
        case CommandId::LogGaussianFilters:
            toggle(logGaussian_, [this] { return new CLogGaussianFltDlg(app_, this); });
            break;
        case CommandId::SpotDetector:
            toggle(spotDetector_, [this] { return new CScaleSpaceDlg(app_, this); });
            break;
        case CommandId::TwoImages:
            toggle(twoImages_, [this] {
                auto* window = new CTwoImagesOperationsDlg(app_, this);
                window->SetResultHandler(
                    [this](CVistrelDoc& source, std::unique_ptr<CMImage> result) {
                        OpenTwoImagesResult(source, std::move(result));
                    });
                return window;
            });
            break;
        default:
            break;
    }
}

void CMainFrame::OpenTwoImagesResult(CVistrelDoc& source, std::unique_ptr<CMImage> result) {
    if (result) source.OpenImageInNewWindow(std::move(result));
}

void CMainFrame::OpenPreviewFull(CVistrelDoc* doc) {
    if (!doc || !doc->image.IsValid()) return;
    std::unique_ptr<CMImage> original;
    if (doc->originalImage.IsValid()) original = std::make_unique<CMImage>(doc->originalImage);
    openingPreviewFull_ = true;
    doc->OpenImageInNewWindow(std::make_unique<CMImage>(doc->image), std::move(original));
    openingPreviewFull_ = false;
}

void CMainFrame::ShowRulerLevels(CVistrelView* view) {
    std::vector<int> levels = view->RulerLevels();
    if (levels.empty()) return;
    CRulerLevelsDlg dialog(std::move(levels), this);
    dialog.exec();
}

void CMainFrame::PrintView(CVistrelView* view, int id) {
    QPrinter printer(QPrinter::HighResolution);
    switch (static_cast<CommandId>(id)) {
        case CommandId::FilePrint: {
            QPrintDialog dialog(&printer, this);
            if (dialog.exec() == QDialog::Accepted) view->Print(printer);
            break;
        }
        case CommandId::FilePrintDirect:
            view->Print(printer);
            break;
        case CommandId::FilePrintPreview: {
            QPrintPreviewDialog preview(&printer, this);
            QPointer<CVistrelView> shown(view);
            connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                    [shown](QPrinter* target) {
                        if (shown) shown->Print(*target);
                    });
            preview.exec();
            break;
        }
        default:
            break;
    }
}

// ---------------------------------------------------------------- bars

void CMainFrame::CreateBars() {
    bitsBar_ = new CWindowWidthBits(app_, this);
    bitsDock_ = new QDockWidget(QStringLiteral("Window Bits"), this);
    bitsDock_->setObjectName(QStringLiteral("WindowBits"));
    bitsDock_->setWidget(bitsBar_);
    valuesBar_ = new CWindowWidthValues(app_, this);
    valuesDock_ = new QDockWidget(QStringLiteral("Window Values"), this);
    valuesDock_->setObjectName(QStringLiteral("WindowValues"));
    valuesDock_->setWidget(valuesBar_);
    for (QDockWidget* dock : {bitsDock_, valuesDock_}) {
        // Shown and hidden through the View menu only, so the menu check and
        // the renderer always agree with what is on screen.
        dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    }
    addDockWidget(Qt::LeftDockWidgetArea, bitsDock_);
    addDockWidget(Qt::RightDockWidgetArea, valuesDock_);
    ShowBitsBar(true);
    ShowValueBar(false);
}

void CMainFrame::CreateToolBars() {
    const auto make = [this](const char* title, const char* name,
                             std::initializer_list<CommandId> ids) {
        auto* bar = addToolBar(QString::fromLatin1(title));
        bar->setObjectName(QString::fromLatin1(name));
        bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        for (CommandId id : ids) {
            if (id == CommandId{}) {
                bar->addSeparator();
                continue;
            }
            QAction* action = Action(id);
            bar->addAction(action);
            if (QWidget* button = bar->widgetForAction(action))
                if (auto* tool = qobject_cast<QToolButton*>(button))
                    tool->setText(ButtonText(action));
        }
        // Shown and hidden through the View menu, so its check marks follow.
        bar->toggleViewAction()->setEnabled(false);
        return bar;
    };
    standardBar_ =
        make("Standard", "StandardToolbar",
             {CommandId::FileOpen, CommandId::FileSave, CommandId::FilePrint, CommandId{},
              CommandId::ZoomIn, CommandId::ZoomOut, CommandId::ActualPixels, CommandId::ZoomToFit,
              CommandId{}, CommandId::MouseRoi, CommandId::MouseRuler, CommandId::MouseDrawRos,
              CommandId::MouseSrdmRoi, CommandId::MouseWinLev, CommandId{}, CommandId::ShowRos,
              CommandId::ShowRegions, CommandId::UserDiagnoses});
    // The morphology operators join this bar when their commands exist.
    morphologyBar_ = make("Morphology", "MorphologyToolbar", {});
    userBar_ =
        make("User", "UserToolbar",
             {CommandId::FileOpen, CommandId{}, CommandId::ZoomIn, CommandId::ZoomOut,
              CommandId::ActualPixels, CommandId::FitCasePreview, CommandId{}, CommandId::MouseRoi,
              CommandId::MouseRuler, CommandId::MouseWinLev, CommandId{}, CommandId::CurrentCaseCc,
              CommandId::CurrentCaseMlo, CommandId::PreviousCase, CommandId::NextCase, CommandId{},
              CommandId::SwapOriginal, CommandId::ShowOriginal, CommandId::RadiologistsInterface});
    legendBar_ = new QToolBar(QStringLiteral("Diagnoses"), this);
    legendBar_->setObjectName(QStringLiteral("DiagnosesLegendBar"));
    legend_ = new CDiagnosesLegendDlgBar(legendBar_);
    legendBar_->addWidget(legend_);
    legendBar_->toggleViewAction()->setEnabled(false);
    addToolBar(Qt::TopToolBarArea, legendBar_);
}

void CMainFrame::CreateStatusBar() {
    // Pane 1 cursor position, 2 pixel value, 3 ROI size or ruler length.
    const int widths[3] = {220, 110, 220};
    for (int i = 0; i < 3; ++i) {
        panes_[i] = new QLabel(this);
        panes_[i]->setObjectName(QStringLiteral("StatusPane%1").arg(i + 1));
        panes_[i]->setMinimumWidth(widths[i]);
        panes_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(panes_[i]);
    }
}

QLabel* CMainFrame::StatusPane(int pane) const {
    return pane >= 1 && pane <= 3 ? panes_[pane - 1] : nullptr;
}

void CMainFrame::ShowBitsBar(bool on) {
    Action(CommandId::WindowBits)->setChecked(on);
    bitsDock_->setVisible(on);
}

void CMainFrame::ShowValueBar(bool on) {
    Action(CommandId::WindowValues)->setChecked(on);
    valuesDock_->setVisible(on);
    app_.SetValueWindowMode(on);
    UpdateCommandStates();
}

// ---------------------------------------------------------------- windows

CSplitterFrame* CMainFrame::ActiveFrame() const {
    QMdiSubWindow* window = mdi_->activeSubWindow();
    if (!window) window = mdi_->currentSubWindow();
    return qobject_cast<CSplitterFrame*>(window);
}

CVistrelView* CMainFrame::ActiveView() const {
    CSplitterFrame* frame = ActiveFrame();
    return frame && frame->Document() ? frame->View() : nullptr;
}

CSplitterFrame* CMainFrame::FrameOf(const CVistrelDoc* doc) const {
    const auto it = frames_.find(doc);
    return it == frames_.end() ? nullptr : it->second.data();
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window) {
    // A null window also arrives when the main window loses focus to a dialog;
    // the active document only goes away with the last window.
    if (auto* frame = qobject_cast<CSplitterFrame*>(window)) {
        if (frame->Document()) app_.SetActiveDocument(frame->Document());
    } else if (mdi_->subWindowList().isEmpty()) {
        app_.SetActiveDocument(nullptr);
        // Nothing is under the cursor any more.
        for (QLabel* pane : panes_)
            if (pane) pane->clear();
    }
    UpdateCommandStates();
}

bool CMainFrame::OpenDocumentWindow(CVistrelDoc& doc) {
    // While the user works maximised, the new window opens maximised in
    // front: the maximised state (and the close box in the menu bar) goes
    // with the window on top.
    const QMdiSubWindow* current = ActiveFrame();
    const bool maximised = current && current->isMaximized();
    auto* frame = new CSplitterFrame(doc, app_);
    mdi_->addSubWindow(frame);
    frames_[&doc] = frame;
    CVistrelView* view = frame->View();
    view->SetPreviewFull(openingPreviewFull_);
    connect(view, &CVistrelView::activated, this,
            [this](CVistrelDoc* active) { app_.SetActiveDocument(active); });
    connect(view, &CVistrelView::paneText, this, [this](int pane, const QString& text) {
        if (QLabel* label = StatusPane(pane)) label->setText(text);
    });
    connect(view, &CVistrelView::contextMenuWanted, this, [this](int id, QPoint at) {
        if (QMenu* menu = ContextMenu(id)) menu->exec(at);
    });
    connect(view, &CVistrelView::valueWindowWanted, this, [this] { ShowValueBar(true); });
    connect(view, &CVistrelView::previewOpenWanted, this, &CMainFrame::OpenPreviewFull);
    frame->resize(ClientSize());
    if (maximised)
        frame->showMaximized();
    else
        frame->show();
    FitFrame(frame);
    mdi_->setActiveSubWindow(frame);
    app_.SetActiveDocument(&doc);
    frame->View()->setFocus();
    UpdateCommandStates();
    return true;
}

void CMainFrame::CloseDocumentWindow(CVistrelDoc& doc) {
    const auto it = frames_.find(&doc);
    if (it == frames_.end()) return;
    QPointer<CSplitterFrame> frame = it->second;
    frames_.erase(it);
    if (frame && !frame->IsClosing()) frame->CloseFromApp();
    UpdateCommandStates();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    QTimer::singleShot(0, this, [this] {
        // The title bar and borders are known only now: the whole window,
        // not just its inside, goes onto the available area.
        if (placedOnScreen_ && screen()) {
            const QRect outer = frameGeometry(), inner = geometry();
            const QMargins chrome(inner.left() - outer.left(), inner.top() - outer.top(),
                                  outer.right() - inner.right(), outer.bottom() - inner.bottom());
            if (!chrome.isNull()) setGeometry(screen()->availableGeometry() - chrome);
        }
        // The remembered child size must fit the client area, known once laid out.
        const QSize client = ClientSize();
        app_.ClampChildSize(client.width(), client.height());
    });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveFrameGeometry();
    app_.CloseAllDocuments();
    app_.SaveSettings();
    event->accept();
}

bool CMainFrame::RestoreFrameGeometry() {
    const QByteArray saved = FrameSettings().value(kGeometryKey).toByteArray();
    return !saved.isEmpty() && restoreGeometry(saved);
}

void CMainFrame::SaveFrameGeometry() const {
    QSettings settings = FrameSettings();
    settings.setValue(kGeometryKey, saveGeometry());
}

void CMainFrame::RebuildWindowList() {
    if (!windowMenu_) return;
    for (QAction* action : windowActions_) {
        windowMenu_->removeAction(action);
        // A listed window's action may be the one being triggered.
        action->deleteLater();
    }
    windowActions_.clear();
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        const auto* child = qobject_cast<CSplitterFrame*>(window);
        if (!child || !child->IsClosing()) windows << window;
    }
    if (windows.isEmpty()) return;
    windowActions_.push_back(windowMenu_->addSeparator());
    const QMdiSubWindow* active = ActiveFrame();
    for (int i = 0; i < windows.size() && i < kListedWindows; ++i) {
        QAction* action = windowMenu_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(MenuEscaped(windows[i]->windowTitle())));
        action->setCheckable(true);
        action->setChecked(windows[i] == active);
        QPointer<QMdiSubWindow> target(windows[i]);
        connect(action, &QAction::triggered, this, [this, target] {
            if (target) ActivateSubWindow(target);
        });
        windowActions_.push_back(action);
    }
    if (windows.size() > kListedWindows) {
        QAction* more = windowMenu_->addAction(QStringLiteral("&More Windows..."));
        connect(more, &QAction::triggered, this, &CMainFrame::ChooseFromMoreWindows);
        windowActions_.push_back(more);
    }
}

void CMainFrame::ActivateSubWindow(QMdiSubWindow* window) {
    if (!window) return;
    if (window->isMinimized()) window->showNormal();
    mdi_->setActiveSubWindow(window);
    if (auto* child = qobject_cast<CSplitterFrame*>(window)) child->View()->setFocus();
}

void CMainFrame::ChooseFromMoreWindows() {
    QList<QPointer<QMdiSubWindow>> windows;
    QStringList titles;
    int current = 0;
    for (QMdiSubWindow* window : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (window == ActiveFrame()) current = static_cast<int>(windows.size());
        windows << window;
        titles << window->windowTitle();
    }
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(this, QStringLiteral("Select Window"),
                              QStringLiteral("&Select Window:"), titles, current, false, &ok);
    if (!ok) return;
    // The dialog gives back a title; titles of open windows are unique by
    // their document number.
    const int index = static_cast<int>(titles.indexOf(chosen));
    if (index >= 0 && index < windows.size()) ActivateSubWindow(windows[index]);
}

// ---------------------------------------------------------------- dialogs

bool CMainFrame::PickOpenFiles(const std::string& startPath,
                               const std::vector<CFileFilter>& filters,
                               std::vector<std::string>& paths) {
    // The open dialog previews the selected image through the current LUT.
    return CPreviewFileDlg::PickFiles(this, startPath, filters, paths, app_.colourMode,
                                      app_.Palette()) &&
           !paths.empty();
}

bool CMainFrame::PickOpenFile(const std::string& initialPath,
                              const std::vector<CFileFilter>& filters, std::string& path) {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open"), ToQ(initialPath), ToQ(ToQtFilterString(filters)));
    if (file.isEmpty()) return false;
    path = file.toStdString();
    return true;
}

bool CMainFrame::AskRegionGrowing(CRegionGrowingModel& model) {
    CRegionGrowingDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

bool CMainFrame::PickSaveFile(const std::string& initialPath,
                              const std::vector<CFileFilter>& filters, std::string& path,
                              int& filterIndex) {
    QFileDialog dialog(this, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The document asks about replacing once the format's extension is on the name.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList names;
    for (const CFileFilter& filter : filters) names << ToQ(ToQtFilter(filter));
    dialog.setNameFilters(names);
    const QString current = QFileInfo(ToQ(initialPath)).suffix().toLower();
    for (std::size_t i = 0; i < filters.size(); ++i)
        if (ToQ(filters[i].Extension()) == current) dialog.selectNameFilter(names[int(i)]);
    if (!initialPath.empty()) dialog.selectFile(ToQ(initialPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toStdString();
    filterIndex = static_cast<int>(names.indexOf(dialog.selectedNameFilter()));
    return true;
}

bool CMainFrame::AskRawParams(const std::string& path, CRawParams& params) {
    CRawParamDlg dialog(ToQ(path), params, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    params = dialog.Params();
    return true;
}

bool CMainFrame::AskRadioGroup(const std::string& title, const std::vector<std::string>& options,
                               int& selected) {
    return CRadioGroupDlg::Run(this, title, selected, options, selected) == QDialog::Accepted;
}

bool CMainFrame::AskText(const std::string& title, const std::string& prompt,
                         const std::string& label, std::string& text) {
    QDialog dialog(this);
    dialog.setWindowTitle(ToQ(title));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(ToQ(prompt), &dialog));
    auto* form = new QFormLayout;
    auto* edit = new QLineEdit(ToQ(text), &dialog);
    form->addRow(ToQ(label), edit);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    text = edit->text().toStdString();
    return true;
}

void CMainFrame::SetBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace vistrel
