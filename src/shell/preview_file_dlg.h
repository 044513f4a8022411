#pragma once
// The "&Open..." dialog: a multiple-selection open dialog with a preview of
// the selected image beside the file list and a "&Preview" check box.

#include <QCheckBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QRect>
#include <string>
#include <vector>

#include "core/display.h"
#include "workspace/file_filters.h"

namespace vistrel {

class CPreviewFileDlg : public QFileDialog {
    Q_OBJECT
  public:
    // startPath: the last opened file (the dialog starts in its folder with it
    // selected); colourMode and palette: how colour pictures are converted and
    // which LUT paints the preview (a grey ramp when palette is empty).
    CPreviewFileDlg(QWidget* parent, const std::string& startPath,
                    const std::vector<CFileFilter>& filters, int colourMode = 0,
                    const CPalette& palette = {});

    // Shows the dialog; on OK fills paths with the selected files in the
    // dialog's order and returns true. Cancel returns false and clears paths.
    static bool PickFiles(QWidget* parent, const std::string& startPath,
                          const std::vector<CFileFilter>& filters, std::vector<std::string>& paths,
                          int colourMode = 0, const CPalette& palette = {});

    // The largest rectangle of an imageWidth x imageHeight picture's aspect
    // ratio inside area, never larger than the picture itself, centred.
    static QRect PreviewRect(int imageWidth, int imageHeight, const QRect& area);

    // Reads path and renders its preview (nothing when it cannot be read,
    // when it is a RAW file, which needs its parameters, or while the
    // preview is switched off).
    void ShowPreviewOf(const QString& path);

    QCheckBox* PreviewCheck() const { return previewCheck_; }
    QLabel* PreviewArea() const { return previewArea_; }
    // The picture in the preview area (null when nothing is previewed) and
    // where it is drawn within that area.
    const QImage& PreviewPicture() const { return preview_; }
    QRect PreviewPictureRect() const { return previewRect_; }

  private:
    void ClearPreview();

    int colourMode_;
    CPalette palette_;
    QCheckBox* previewCheck_ = nullptr;
    QLabel* previewArea_ = nullptr;
    QImage preview_;
    QRect previewRect_;
    QString previewedPath_;
};

}  // namespace vistrel
