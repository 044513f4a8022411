#pragma once
// The application-wide broadcasts that windows listen to: one object, one
// signal per message, so tool windows and bars never need to know each other.

#include <QObject>

namespace vistrel {

class CVistrelDoc;

class CNotifier : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

  signals:
    // The image of a document changed, or another document became active
    // (null when none is left).
    void imageChanged(vistrel::CVistrelDoc* doc);
    // The diagnosis display settings changed.
    void diagnosisDisplayChanged();
    // A document is about to close.
    void documentClosing(vistrel::CVistrelDoc* doc);
    // The application's current window changed (a preset was chosen).
    void newWindow(int low, int high);
    // The LUT changed: every view re-renders.
    void lutChanged(int levels, int low, int high);
    // The breast mask of a document changed.
    void breastMaskChanged(vistrel::CVistrelDoc* doc);
    // The renderer changed between the value window and the bit window.
    void displayModeChanged(bool valueWindow);
    // The preset list changed (a preset was added or the list reloaded).
    void presetsChanged();
    // The recent-file list changed.
    void recentFilesChanged();
    // The application's cluster parameters changed: an open spot tool window
    // selects, clusters and evaluates again.
    void clusterParamsChanged();
};

}  // namespace vistrel
