#pragma once
// The MDI child window of one document: a splitter holding the image view.

#include <QMdiSubWindow>
#include <QSplitter>

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;
class CVistrelView;

class CSplitterFrame : public QMdiSubWindow {
    Q_OBJECT
  public:
    CSplitterFrame(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent = nullptr);

    CVistrelDoc* Document() const;
    CVistrelView* View() const { return view_; }
    // Resizes the frame so that it just holds the view's picture, within maxSize.
    void HugPicture(const QSize& maxSize);
    // Closes the window for a document the application has already closed.
    void CloseFromApp();
    bool IsClosing() const { return closedByApp_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    CVistrelApp& app_;
    QSplitter* splitter_;
    CVistrelView* view_;
    bool closedByApp_ = false;
};

}  // namespace vistrel
