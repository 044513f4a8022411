#include "shell/text_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "core/atomic_file.h"
#include "shell/qt_text.h"

namespace vistrel {

namespace {

// The platform's fixed font when it really is fixed-pitch; some platforms
// (the offscreen one among them) answer with a proportional face, so fall
// back to any installed fixed-pitch family.
QFont FixedPitchFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontInfo(font).fixedPitch()) return font;
    font = QFont(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(font).fixedPitch()) return font;
    for (const QString& family : QFontDatabase::families())
        if (QFontDatabase::isFixedPitch(family)) return QFont(family);
    return font;
}

}  // namespace

CTextWindow::CTextWindow(const QString& title, const QString& text, QWidget* parent)
    : QWidget(parent, Qt::Window),
      editor_(new QPlainTextEdit(this)),
      save_(new QPushButton(QStringLiteral("Save..."), this)),
      copy_(new QPushButton(QStringLiteral("Copy"), this)),
      close_(new QPushButton(QStringLiteral("Close"), this)) {
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    editor_->setReadOnly(true);
    editor_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    editor_->setFont(FixedPitchFont());
    // Wrapping would break the columns of the listing.
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    editor_->setPlainText(text);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addWidget(copy_);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_, 1);
    layout->addLayout(buttons);

    // Wide enough for the longest line (two feature columns are about 85
    // characters), as tall as the text, within the screen.
    const QFontMetrics metrics(editor_->font());
    int longest = 40;
    int lines = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        longest = std::max(longest, int(line.size()));
        ++lines;
    }
    const QRect screen =
        (parent ? parent->screen() : QApplication::primaryScreen())->availableGeometry();
    const int width = std::min(metrics.horizontalAdvance(QLatin1Char('0')) * (longest + 4) + 40,
                               screen.width() * 9 / 10);
    const int height =
        std::min(metrics.lineSpacing() * (std::max(lines, 10) + 2) + 80, screen.height() * 8 / 10);
    resize(width, height);

    connect(save_, &QPushButton::clicked, this, &CTextWindow::Save);
    connect(copy_, &QPushButton::clicked, this, [this] {
        // The selection when there is one, else the whole text.
        QString selected = editor_->textCursor().selectedText();
        QApplication::clipboard()->setText(
            selected.isEmpty() ? Text() : selected.replace(QChar::ParagraphSeparator, '\n'));
    });
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
}

QString CTextWindow::Text() const {
    return editor_->toPlainText();
}

bool CTextWindow::SaveTo(const QString& path) const {
    const QByteArray bytes = Text().toUtf8();
    return WriteFileAtomically(FromQ(path), [&bytes](std::FILE* file) {
        return std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file) ==
               std::size_t(bytes.size());
    });
}

void CTextWindow::Save() {
    // The title proposes the name; characters a file name cannot hold become "_".
    QString name = windowTitle();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._ -]")), QStringLiteral("_"));
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save"), name.isEmpty() ? QString() : name + QStringLiteral(".txt"),
        QStringLiteral("Text Files (*.txt);;All Files (*)"));
    if (path.isEmpty()) return;
    SaveTo(path);
}

}  // namespace vistrel
