// The document windows: the MDI area, activation, sizing by the fit mode,
// the "&Window" list, the main window's geometry and the tool windows.
#include <QCloseEvent>
#include <QInputDialog>
#include <QLayout>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "shell/main_frame.h"
#include "shell/qt_text.h"
#include "shell/splitter_frame.h"
#include "shell/vistrel_view.h"
#include "workspace/breast_side.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

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

}  // namespace

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
    for (CTextWindow* window : TextWindows()) window->close();
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

void CMainFrame::OpenSegmentFromSeeds(CVistrelDoc& doc, bool currentSeeds) {
    // The new tool binds the active document, so the document goes in front first.
    ActivateDocumentWindow(doc);
    app_.SetActiveDocument(&doc);
    // The old one hides now and is deleted later: it may be what asked.
    if (segmentFromSeeds_) segmentFromSeeds_->close();
    auto* window = new CSegmentFromSeedsDlg(app_, currentSeeds, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    segmentFromSeeds_ = window;
    window->show();
    UpdateCommandStates();
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
    EFitMode mode = app_.FitMode();
    if (mode == kFitCasePreview && view->PreviewFull()) mode = kFitLargeToScreen;
    const bool onlyLarge = mode == kFitLargeToScreen || mode == kFitLargeToWindow;
    if (frame->isMaximized()) {
        // The window stays maximised (resizing it would leave a maximised
        // window that no longer fills the client area); the picture is
        // fitted into it.
        if (frame->layout()) frame->layout()->activate();
        view->FitToClient(onlyLarge);
        return;
    }
    QSize size = client;
    if (mode == kFitWindow || mode == kFitLargeToWindow) {
        // A remembered size of 0 fills the client area.
        if (app_.childWidth > 0 && app_.childHeight > 0)
            size = QSize(app_.childWidth, app_.childHeight).boundedTo(client);
    } else if (mode == kFitCasePreview) {
        size = QSize(client.width() / 4, client.height() / 2);
    }
    frame->resize(size);
    if (frame->layout()) frame->layout()->activate();
    view->FitToClient(onlyLarge);
    frame->HugPicture(size);
    if (app_.RadiologistsMode()) PlaceForRadiologists(frame);
}

void CMainFrame::FitModeChanged() {
    const EFitMode mode = app_.FitMode();
    const QSize client = ClientSize();
    if (mode == kFitWindow || mode == kFitLargeToWindow) {
        QSize child = ActiveFrame() ? ActiveFrame()->size() : client;
        if (app_.RadiologistsMode()) child = QSize(client.width() / 4, client.height() * 3 / 4);
        app_.childWidth = child.width();
        app_.childHeight = child.height();
    } else if (mode == kFitCasePreview) {
        app_.childWidth = client.width() / 4;
        app_.childHeight = client.height() / 2;
    }
    for (const auto& [doc, frame] : frames_)
        if (frame) FitFrame(frame);
}

void CMainFrame::PlaceForRadiologists(CSplitterFrame* frame) {
    const CVistrelDoc* doc = frame->Document();
    if (!doc) return;
    const QSize client = ClientSize();
    const CFramePlace place =
        vistrel::PlaceForRadiologists(doc->GetFileName(false), client.width(), client.height(),
                                      frame->width(), frame->height(), frame->x());
    frame->move(place.x, place.y);
}

bool CMainFrame::ToolWindowOpen(EToolWindow window) const {
    switch (window) {
        case EToolWindow::BrightnessContrast:
            return enhance_;
        case EToolWindow::Histogram:
            return histogram_;
        case EToolWindow::ImageProperties:
            return properties_;
        case EToolWindow::TwoImages:
            return twoImages_;
        case EToolWindow::ConditionalThickening:
            return thickening_;
        case EToolWindow::Filters:
            return filters_;
        case EToolWindow::LogGaussian:
            return logGaussian_;
        case EToolWindow::SpotDetector:
            return spotDetector_;
        // ---- microcalcification cluster tool
        case EToolWindow::McClusterDetection:
            return mcClusterDetection_;
        case EToolWindow::Thresholding:
            return thresholding_;
        case EToolWindow::SegmentFromSeeds:
            return segmentFromSeeds_;
    }
    return false;
}

void CMainFrame::ToggleToolWindow(EToolWindow which) {
    // Invoking the command of an open tool window closes it.
    const auto toggle = [](auto& window, auto create) {
        if (window) {
            window->close();
            return;
        }
        window = create();
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    };
    switch (which) {
        case EToolWindow::BrightnessContrast:
            toggle(enhance_, [this] { return new CEnhanceDlg(app_, this); });
            break;
        case EToolWindow::Histogram:
            toggle(histogram_, [this] { return new CHistogramDlg(app_, this); });
            break;
        case EToolWindow::ImageProperties:
            toggle(properties_, [this] { return new CImagePropDlg(app_, this); });
            break;
        case EToolWindow::Filters:
            toggle(filters_, [this] { return new CFiltersDlg(app_, this); });
            break;
        case EToolWindow::LogGaussian:
            toggle(logGaussian_, [this] { return new CLogGaussianFltDlg(app_, this); });
            break;
        case EToolWindow::SpotDetector:
            toggle(spotDetector_, [this] { return new CScaleSpaceDlg(app_, this); });
            break;
        // ---- microcalcification cluster tool
        case EToolWindow::McClusterDetection:
            toggle(mcClusterDetection_, [this] { return new CMcClusterDetectionDlg(app_, this); });
            break;
        case EToolWindow::Thresholding:
            toggle(thresholding_, [this] { return new CThresholdingDlg(app_, this); });
            break;
        case EToolWindow::SegmentFromSeeds:
            toggle(segmentFromSeeds_,
                   [this] { return new CSegmentFromSeedsDlg(app_, false, this); });
            break;
        case EToolWindow::TwoImages:
            toggle(twoImages_, [this] {
                auto* window = new CTwoImagesOperationsDlg(app_, this);
                window->SetResultHandler([](CVistrelDoc& source, std::unique_ptr<CMImage> result) {
                    if (result) source.OpenImageInNewWindow(std::move(result));
                });
                return window;
            });
            break;
        case EToolWindow::ConditionalThickening:
            toggle(thickening_, [this] {
                auto* window = new CTwoImagesOperationsDlg(
                    app_, CTwoImagesModel::EMode::ConditionalThickening, this);
                window->SetResultHandler(
                    [](CVistrelDoc& condition, std::unique_ptr<CMImage> result) {
                        if (result) condition.OpenImageInNewWindow(std::move(result));
                    });
                return window;
            });
            break;
    }
}

void CMainFrame::OpenPreviewFull(CVistrelDoc* doc) {
    if (!doc || !doc->image.IsValid()) return;
    std::unique_ptr<CMImage> original;
    if (doc->originalImage.IsValid()) original = std::make_unique<CMImage>(doc->originalImage);
    openingPreviewFull_ = true;
    doc->OpenImageInNewWindow(std::make_unique<CMImage>(doc->image), std::move(original));
    openingPreviewFull_ = false;
}

}  // namespace vistrel
