#include "shell/splitter_frame.h"

#include <QCloseEvent>
#include <QMdiArea>

#include "shell/vistrel_view.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

CSplitterFrame::CSplitterFrame(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent)
    : QMdiSubWindow(parent), app_(app), splitter_(new QSplitter(Qt::Horizontal, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    view_ = new CVistrelView(doc, app, splitter_);
    splitter_->addWidget(view_);
    setWidget(splitter_);
    setWindowTitle(doc.Title());
    connect(&doc, &CVistrelDoc::titleChanged, this, &QWidget::setWindowTitle);
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
    if (picture.isEmpty()) return;
    // Everything around the picture: frame, title bar and the view's own border.
    const QSize chrome = size() - view_->maximumViewportSize();
    const QSize wanted = (picture + chrome).boundedTo(maxSize);
    resize(wanted.expandedTo(minimumSizeHint()));
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
