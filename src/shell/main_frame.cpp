#include "shell/main_frame.h"

#include <QCoreApplication>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>

#include "shell/qt_text.h"
#include "shell/ruler_levels_dlg.h"
#include "shell/splitter_frame.h"
#include "shell/vistrel_view.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

int Id(CommandId id) {
    return static_cast<int>(id);
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
    // The legend follows the active document's network letters.
    connect(&notifier, &CNotifier::imageChanged, this, &CMainFrame::ShowLegend);
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
    QActionGroup* group = nullptr;
    int previousRadio = 0;
    for (const CCommand& entry : CommandRegistry()) {
        std::string label, accelerator;
        SplitMenuText(entry.text, label, accelerator);
        auto* action = new QAction(ToQ(label), this);
        if (!accelerator.empty()) action->setShortcut(QKeySequence(ToQ(accelerator)));
        const int id = Id(entry.id);
        action->setData(id);
        action->setCheckable(entry.check != ECheckStyle::Plain);
        if (entry.check == ECheckStyle::Radio) {
            // A radio group is a run of consecutive ids: one mouse mode, one fit mode, one depth.
            if (!group || id != previousRadio + 1) group = new QActionGroup(this);
            group->addAction(action);
            previousRadio = id;
        }
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        actions_[id] = action;
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

CCommandContext CMainFrame::CommandContext() {
    CCommandContext context{app_, app_.ActiveDocument(), {}, this, plugIns_};
    if (const CSplitterFrame* frame = ActiveFrame()) {
        context.view.framePresent = true;
        context.view.descriptionShown = frame->DescriptionShown();
    }
    if (const CVistrelView* view = ActiveView()) {
        context.view.present = true;
        context.view.roi = view->Roi();
        context.view.rulerLength = view->RulerLength();
        context.view.showsOriginal = view->ShowsOriginal();
        context.view.hasPicture = !view->PictureSize().isEmpty();
    }
    return context;
}

void CMainFrame::OnCommand(int id) {
    RunCommand(CommandContext(), id);
    UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates() {
    if (!standardBar_ || !bitsDock_ || !valuesDock_) return;  // still being built
    const CCommandContext context = CommandContext();
    for (const CCommand& command : CommandRegistry()) {
        QAction* action = Action(command.id);
        const int id = Id(command.id);
        action->setEnabled(!command.enabled || command.enabled(context, id));
        if (command.checked) action->setChecked(command.checked(context, id));
    }
    for (int i = 0; i < static_cast<int>(presetActions_.size()); ++i) {
        const int id = Id(CommandId::PresetFirst) + i;
        presetActions_[i]->setEnabled(CommandEnabled(context, id));
        presetActions_[i]->setChecked(CommandChecked(context, id));
    }
    if (CVistrelView* view = ActiveView(); view && app_.mouseMode == kMouseRuler)
        view->ShowRulerText();
    RebuildWindowList();
}

// ---------------------------------------------------------------- screen side of the commands

void CMainFrame::ZoomActiveView(EZoom zoom) {
    CVistrelView* view = ActiveView();
    if (!view) return;
    switch (zoom) {
        case EZoom::In:
            view->OnZoomIn();
            break;
        case EZoom::Out:
            view->OnZoomOut();
            break;
        case EZoom::ActualPixels:
            view->OnActualPixels();
            break;
        case EZoom::ToFit:
            view->OnZoomToFit();
            break;
    }
}

bool CMainFrame::BarShown(EBar bar) const {
    switch (bar) {
        case EBar::Standard:
            return standardBar_ && !standardBar_->isHidden();
        case EBar::Morphology:
            return morphologyBar_ && !morphologyBar_->isHidden();
        case EBar::User:
            return userBar_ && !userBar_->isHidden();
        case EBar::Status:
            return statusBar() && !statusBar()->isHidden();
        case EBar::Bits:
            return bitsDock_ && !bitsDock_->isHidden();
        case EBar::Values:
            return valuesDock_ && !valuesDock_->isHidden();
    }
    return false;
}

void CMainFrame::ShowBar(EBar bar, bool shown) {
    switch (bar) {
        case EBar::Standard:
            standardBar_->setVisible(shown);
            break;
        case EBar::Morphology:
            morphologyBar_->setVisible(shown);
            break;
        case EBar::User:
            userBar_->setVisible(shown);
            break;
        case EBar::Status:
            statusBar()->setVisible(shown);
            break;
        case EBar::Bits:
            ShowBitsBar(shown);
            break;
        case EBar::Values:
            ShowValueBar(shown);
            break;
    }
}

void CMainFrame::PrintActiveView(EPrint how) {
    CVistrelView* view = ActiveView();
    if (!view) return;
    QPrinter printer(QPrinter::HighResolution);
    switch (how) {
        case EPrint::Dialog: {
            QPrintDialog dialog(&printer, this);
            if (dialog.exec() == QDialog::Accepted) view->Print(printer);
            break;
        }
        case EPrint::Direct:
            view->Print(printer);
            break;
        case EPrint::Preview: {
            QPrintPreviewDialog preview(&printer, this);
            QPointer<CVistrelView> shown(view);
            connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                    [shown](QPrinter* target) {
                        if (shown) shown->Print(*target);
                    });
            preview.exec();
            break;
        }
    }
}

void CMainFrame::ToggleDescription() {
    if (CSplitterFrame* frame = ActiveFrame()) frame->ToggleDescription(ClientSize());
}

void CMainFrame::CascadeWindows() {
    mdi_->cascadeSubWindows();
}

void CMainFrame::TileWindows() {
    mdi_->tileSubWindows();
}

void CMainFrame::ShowAbout() {
    QMessageBox::about(this, QStringLiteral("About Vistrel"),
                       QStringLiteral("Vistrel %1\nMammogram viewing and analysis workstation.")
                           .arg(QCoreApplication::applicationVersion()));
}

void CMainFrame::CloseActiveWindow() {
    if (CSplitterFrame* frame = ActiveFrame()) frame->close();
}

void CMainFrame::CloseMainWindow() {
    close();
}

void CMainFrame::ShowRulerLevels() {
    CVistrelView* view = ActiveView();
    if (!view) return;
    std::vector<int> levels = view->RulerLevels();
    if (levels.empty()) return;
    CRulerLevelsDlg dialog(std::move(levels), this);
    dialog.exec();
}

void CMainFrame::ToggleShowOriginal() {
    if (CVistrelView* view = ActiveView()) view->OnShowOriginal();
}

void CMainFrame::DeselectRoi() {
    if (CVistrelView* view = ActiveView()) view->OnDeselectRoi();
}

}  // namespace vistrel
