#include "shell/preview_file_dlg.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>
#include <algorithm>

#include "core/image.h"
#include "core/messages.h"
#include "shell/qt_text.h"

namespace vistrel {

namespace {

constexpr int kPreviewSide = 200;

// The preview reads whatever the user points at; its complaints (a signed PGX,
// a RAW file without parameters) are not worth a message box per click.
class CQuietSink : public IMessageSink {
  public:
    void show(const std::string&) override {}
    int ask(const std::string&, const std::vector<std::string>&) override { return 0; }
};

CPalette GreyRamp() {
    CPalette palette(256);
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<uint8_t>(i);
        palette[static_cast<std::size_t>(i)] = CPaletteEntry{level, level, level, 0};
    }
    return palette;
}

// An 8-bit indexed copy of a rendered bitmap of any depth.
QImage ToPicture(const CDisplayBitmap& bitmap) {
    QImage picture(bitmap.width, bitmap.height, QImage::Format_Indexed8);
    if (picture.isNull()) return picture;
    for (int32_t y = 0; y < bitmap.height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int32_t x = 0; x < bitmap.width; ++x)
            row[x] = static_cast<uchar>(bitmap.IndexAt(x, y));
    }
    QList<QRgb> colours;
    for (const CPaletteEntry& entry : bitmap.palette)
        colours.push_back(qRgb(entry.red, entry.green, entry.blue));
    // Indices beyond the palette must still have a colour.
    while (colours.size() < 256) colours.push_back(colours.isEmpty() ? 0 : colours.back());
    picture.setColorTable(colours);
    return picture;
}

}  // namespace

CPreviewFileDlg::CPreviewFileDlg(QWidget* parent, const std::string& startPath,
                                 const std::vector<CFileFilter>& filters, int colourMode,
                                 const CPalette& palette)
    : QFileDialog(parent, QStringLiteral("Open")),
      colourMode_(colourMode),
      palette_(palette.empty() ? GreyRamp() : palette) {
    // The preview lives inside the dialog, which the platform's own dialog cannot hold.
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::ReadOnly);
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    QStringList names;
    for (const CFileFilter& filter : filters) names << ToQ(ToQtFilter(filter));
    setNameFilters(names);
    if (!startPath.empty()) {
        const QFileInfo start(ToQ(startPath));
        setDirectory(start.isDir() ? start.absoluteFilePath() : start.absolutePath());
        if (start.isFile()) selectFile(start.fileName());
    }

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    previewArea_ = new QLabel(panel);
    previewArea_->setFixedSize(kPreviewSide, kPreviewSide);
    previewArea_->setFrameShape(QFrame::StyledPanel);
    previewArea_->setAlignment(Qt::AlignCenter);
    previewCheck_ = new QCheckBox(QStringLiteral("&Preview"), panel);
    previewCheck_->setChecked(true);
    column->addWidget(previewArea_);
    column->addWidget(previewCheck_);
    column->addStretch();
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);

    connect(this, &QFileDialog::currentChanged, this, &CPreviewFileDlg::ShowPreviewOf);
    connect(previewCheck_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) {
            ClearPreview();
            return;
        }
        const QStringList selected = selectedFiles();
        if (!selected.isEmpty()) ShowPreviewOf(selected.front());
    });
}

QRect CPreviewFileDlg::PreviewRect(int imageWidth, int imageHeight, const QRect& area) {
    if (imageWidth <= 0 || imageHeight <= 0 || area.isEmpty()) return {};
    // Scaled down to fit both sides (never up), keeping the aspect ratio.
    const double scale =
        std::min({1.0, double(area.width()) / imageWidth, double(area.height()) / imageHeight});
    const int width = std::max(1, static_cast<int>(imageWidth * scale));
    const int height = std::max(1, static_cast<int>(imageHeight * scale));
    return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2,
                 width, height);
}

void CPreviewFileDlg::ClearPreview() {
    preview_ = QImage();
    previewRect_ = QRect();
    previewedPath_.clear();
    previewArea_->clear();
}

void CPreviewFileDlg::ShowPreviewOf(const QString& path) {
    ClearPreview();
    if (!previewCheck_->isChecked() || path.isEmpty() || !QFileInfo(path).isFile()) return;
    const std::string file = FromQ(path);
    const std::string key = ExtensionKey(file);
    if (key == "raw" || key == "1") return;

    CMImage image;
    {
        CQuietSink quiet;
        CScopedMessageSink guard(&quiet);
        std::string description;
        if (!image.Open(file, description, colourMode_) || !image.IsValid()) return;
    }
    const QRect area(0, 0, previewArea_->width(), previewArea_->height());
    const QRect rect = PreviewRect(image.width, image.height, area);
    if (rect.isEmpty()) return;

    const int bits = std::min<int>(image.depth, 8);
    CRenderRequest request;
    const bool fits = image.width <= rect.width() && image.height <= rect.height();
    request.zoom = fits ? 1.0f : 0.0f;
    request.fitWidth = rect.width();
    request.fitHeight = rect.height();
    const std::unique_ptr<CDisplayBitmap> bitmap =
        RenderBitWindow(image, image.depth - bits, bits, CDisplayCorrection{}, palette_, request);
    if (!bitmap) return;
    preview_ = ToPicture(*bitmap);
    if (preview_.isNull()) return;
    previewRect_ = rect;
    previewedPath_ = path;

    QPixmap canvas(area.size());
    canvas.fill(palette().color(QPalette::Window));
    QPainter painter(&canvas);
    painter.drawImage(rect, preview_);
    painter.end();
    previewArea_->setPixmap(canvas);
}

bool CPreviewFileDlg::PickFiles(QWidget* parent, const std::string& startPath,
                                const std::vector<CFileFilter>& filters,
                                std::vector<std::string>& paths, int colourMode,
                                const CPalette& palette) {
    paths.clear();
    CPreviewFileDlg dialog(parent, startPath, filters, colourMode, palette);
    if (dialog.exec() != QDialog::Accepted) return false;
    for (const QString& file : dialog.selectedFiles()) paths.push_back(FromQ(file));
    return !paths.empty();
}

}  // namespace vistrel
