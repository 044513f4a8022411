#include "shell/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/command_table.h"
#include "shell/radio_group_dlg.h"
#include "shell/raw_param_dlg.h"
#include "shell/region_growing_dlg.h"
#include "shell/splitter_frame.h"
#include "shell/vistrel_view.h"
#include "shell/window_width_bits.h"
#include "shell/window_width_values.h"
#include "workspace/file_filters.h"
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

}  // namespace

CMainFrame::CMainFrame(CVistrelApp& app, QWidget* parent)
    : QMainWindow(parent), app_(app), mdi_(new QMdiArea(this)) {
    setWindowTitle(QStringLiteral("Vistrel"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    CreateActions();
    CreateBars();
    CreateMenus();
    connect(mdi_, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
    CNotifier& notifier = app.Notifier();
    connect(&notifier, &CNotifier::presetsChanged, this, &CMainFrame::BuildPresetMenu);
    connect(&notifier, &CNotifier::recentFilesChanged, this, &CMainFrame::RebuildRecentFiles);
    app.SetUi(this);
    resize(1280, 900);
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
          CommandId::RosBenign, CommandId::RosMalignant, CommandId::RosFalse})
        Action(id)->setCheckable(true);
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
    for (CommandId id :
         {CommandId::FileOpen, CommandId::FileClose, CommandId::FileSave, CommandId::FileSaveAs})
        fileMenu_->addAction(Action(id));
    fileMenu_->addSeparator();
    fileMenu_->addAction(Action(CommandId::OpenOverlay));
    fileMenu_->addAction(Action(CommandId::SaveOverlay));
    fileMenu_->addSeparator();
    for (CommandId id : {CommandId::PgxSavingOptions, CommandId::ColouredImagesOptions,
                         CommandId::OriginalImageOptions})
        fileMenu_->addAction(Action(id));
    recentSeparator_ = fileMenu_->addSeparator();
    fileMenu_->addSeparator();
    fileMenu_->addAction(Action(CommandId::AppExit));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    for (CommandId id :
         {CommandId::ZoomIn, CommandId::ZoomOut, CommandId::ActualPixels, CommandId::ZoomToFit})
        view->addAction(Action(id));
    view->addSeparator();
    view->addAction(Action(CommandId::WindowBits));
    view->addAction(Action(CommandId::WindowValues));
    view->addSeparator();
    for (CommandId id : {CommandId::ShowRos, CommandId::ShowRegions, CommandId::UserDiagnoses})
        view->addAction(Action(id));

    CreateRegionsMenu();

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    window->addAction(Action(CommandId::WindowCascade));
    window->addAction(Action(CommandId::WindowTile));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(Action(CommandId::AppAbout));

    for (QMenu* menu : {fileMenu_, view, window})
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
    if (id >= Id(CommandId::FileMru1) && id < Id(CommandId::FileMru1) + kRecentFileCount) {
        const std::size_t index = static_cast<std::size_t>(id - Id(CommandId::FileMru1));
        if (index < app_.RecentFiles().size()) app_.OpenFiles({app_.RecentFiles()[index]});
        return;
    }
    if (OnAnnotationCommand(id, doc, view)) {
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
    }
    UpdateCommandStates();
}

bool CMainFrame::OpenDocumentWindow(CVistrelDoc& doc) {
    auto* frame = new CSplitterFrame(doc, app_);
    mdi_->addSubWindow(frame);
    frames_[&doc] = frame;
    connect(frame->View(), &CVistrelView::activated, this,
            [this](CVistrelDoc* active) { app_.SetActiveDocument(active); });
    QSize room = mdi_->viewport()->size();
    if (room.width() < 64 || room.height() < 64) room = QSize(1024, 768);
    frame->resize(room);
    frame->show();
    if (frame->layout()) frame->layout()->activate();
    frame->View()->FitToClient(app_.fitMode == 1 || app_.fitMode == 3);
    frame->HugPicture(room);
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

void CMainFrame::closeEvent(QCloseEvent* event) {
    app_.CloseAllDocuments();
    app_.SaveSettings();
    event->accept();
}

// ---------------------------------------------------------------- dialogs

bool CMainFrame::PickOpenFiles(const std::string& startPath,
                               const std::vector<CFileFilter>& filters,
                               std::vector<std::string>& paths) {
    const QString start = startPath.empty() ? QString() : QFileInfo(ToQ(startPath)).absolutePath();
    const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Open"), start,
                                                            ToQ(ToQtFilterString(filters)));
    paths.clear();
    for (const QString& file : files) paths.push_back(file.toStdString());
    return !paths.empty();
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
