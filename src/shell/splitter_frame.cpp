#include "shell/splitter_frame.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <algorithm>

#include "shell/qt_text.h"
#include "shell/vistrel_view.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {
constexpr int kMinTextWidth = 200;
}

CTextView::CTextView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void CTextView::ShowText(const std::string& text) {
    setPlainText(ToQ(text));
}

CSplitterFrame::CSplitterFrame(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent)
    : QMdiSubWindow(parent), app_(app), splitter_(new QSplitter(Qt::Horizontal, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    view_ = new CVistrelView(doc, app, splitter_);
    splitter_->addWidget(view_);
    splitter_->setChildrenCollapsible(false);
    setWidget(splitter_);
    setWindowTitle(doc.Title());
    connect(&doc, &CVistrelDoc::titleChanged, this, &QWidget::setWindowTitle);
    connect(&doc, &CVistrelDoc::updated, this, [this](int code) {
        if (code == kUpdateDescription && text_)
            if (CVistrelDoc* shown = Document()) text_->ShowText(shown->DisplayDescription());
    });
    connect(view_, &CVistrelView::hugRequested, this, [this] {
        QSize room = mdiArea() ? mdiArea()->viewport()->size() : QSize(4096, 4096);
        HugPicture(room);
    });
}

CVistrelDoc* CSplitterFrame::Document() const {
    return view_->Document();
}

void CSplitterFrame::HugPicture(const QSize& maxSize) {
    const QSize picture = view_->PictureSize();
    // A maximised window keeps filling the client area.
    if (picture.isEmpty() || isMaximized()) return;
    // Everything around the picture: frame, title bar and the view's own border.
    const QSize chrome = size() - view_->maximumViewportSize();
    QSize wanted = picture + chrome;
    if (DescriptionShown()) wanted.rwidth() += text_->width() + splitter_->handleWidth();
    wanted = wanted.boundedTo(maxSize);
    resize(wanted.expandedTo(minimumSizeHint()));
}

void CSplitterFrame::ToggleDescription(const QSize& room) {
    if (DescriptionShown()) {
        text_->hide();
        return;
    }
    if (!text_) {
        text_ = new CTextView(splitter_);
        splitter_->addWidget(text_);
    }
    if (CVistrelDoc* doc = Document()) text_->ShowText(doc->DisplayDescription());
    text_->show();
    const int handle = splitter_->handleWidth();
    const int chrome = width() - splitter_->width();
    int imageWidth = view_->PictureSize().width() + 2;
    // Widen the frame so that both panes fit, as far as the client area allows.
    const int wanted = imageWidth + handle + kMinTextWidth + chrome;
    if (wanted > width()) resize(std::min(wanted, std::max(room.width(), width())), height());
    const int available = splitter_->width() - handle;
    imageWidth = std::max(0, std::min(imageWidth, available - kMinTextWidth));
    splitter_->setSizes({imageWidth, std::max(0, available - imageWidth)});
}

void CSplitterFrame::CloseFromApp() {
    closedByApp_ = true;
    close();
}

void CSplitterFrame::closeEvent(QCloseEvent* event) {
    if (!closedByApp_) {
        closedByApp_ = true;
        if (CVistrelDoc* doc = Document()) app_.CloseDocument(doc);
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace vistrel
