#pragma once
// The MDI child window of one document: a splitter holding the image view
// and, on demand, a read-only pane with the document's description.

#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QSplitter>

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;
class CVistrelView;

// The description pane: the document's text, read-only, so editing commands
// (delete, cut, paste, replace) have nothing to act on.
class CTextView : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CTextView(QWidget* parent = nullptr);
    void ShowText(const std::string& text);
};

class CSplitterFrame : public QMdiSubWindow {
    Q_OBJECT
  public:
    CSplitterFrame(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent = nullptr);

    CVistrelDoc* Document() const;
    CVistrelView* View() const { return view_; }
    QSplitter* Splitter() const { return splitter_; }
    // Resizes the frame so that it just holds the view's picture, within maxSize.
    void HugPicture(const QSize& maxSize);
    // Closes the window for a document the application has already closed.
    void CloseFromApp();
    bool IsClosing() const { return closedByApp_; }

    // "S&plitter": shows or hides the description pane. Showing it gives the
    // image pane the picture's width (+2) and the text at least 200 pixels,
    // widening the frame within room when it can.
    void ToggleDescription(const QSize& room);
    bool DescriptionShown() const { return text_ && text_->isVisible(); }
    CTextView* DescriptionPane() const { return text_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    CVistrelApp& app_;
    QSplitter* splitter_;
    CVistrelView* view_;
    CTextView* text_ = nullptr;
    bool closedByApp_ = false;
};

}  // namespace vistrel
