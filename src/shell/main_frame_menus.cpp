// The menus, tool bars, docked window bars and status panes, all made of
// the actions of the command registry.
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>

#include "shell/diagnoses_legend_bar.h"
#include "shell/main_frame.h"
#include "shell/plugin_menu.h"
#include "shell/qt_text.h"
#include "shell/vistrel_view.h"
#include "shell/window_width_bits.h"
#include "shell/window_width_values.h"
#include "workspace/vistrel_app.h"

namespace vistrel {

namespace {

int Id(CommandId id) {
    return static_cast<int>(id);
}

// The label of an action without its mnemonic ampersands, for tool buttons.
QString ButtonText(const QAction* action) {
    QString text = action->text();
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove('&');
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

}  // namespace

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
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
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

}  // namespace vistrel
