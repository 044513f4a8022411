#include "shell/preview_file_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

#include "core/image.h"
#include "core/messages.h"
#include "support/native_file_builders.h"
#include "support/recording_sink.h"

namespace vistrel {
namespace {

class PreviewFileDlgTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string Path(const std::string& name) const {
        return (dir_.path() + "/").toStdString() + name;
    }
    // A 12-bit horizontal ramp, dark on the left, bright on the right.
    std::string WriteRamp(const std::string& name, int width, int height) {
        const std::string path = Path(name);
        EXPECT_EQ(testsupport::RampImage(width, height).Save(true, path), 1);
        return path;
    }
    std::vector<CFileFilter> Filters() const { return ParseFilterList(kOpenFilterList); }

    QTemporaryDir dir_;
    testsupport::CRecordingSink sink_;
    CScopedMessageSink guard_{&sink_};
};

TEST_F(PreviewFileDlgTest, PreviewRectKeepsTheAspectRatioFitsAndIsCentred) {
    const QRect area(0, 0, 200, 100);
    const struct {
        int width, height;
        QRect expected;
    } cases[] = {
        {50, 40, QRect(75, 30, 50, 40)},     // fits: shown at its own size
        {400, 100, QRect(0, 25, 200, 50)},   // wide: the width limits
        {100, 400, QRect(87, 0, 25, 100)},   // tall: the height limits
        {300, 200, QRect(25, 0, 150, 100)},  // wider than tall, yet the height limits
        {1000, 1, QRect(0, 49, 200, 1)},     // never thinner than a pixel
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const QRect rect = CPreviewFileDlg::PreviewRect(c.width, c.height, area);
        EXPECT_EQ(rect, c.expected);
        EXPECT_TRUE(area.contains(rect));
    }
    EXPECT_TRUE(CPreviewFileDlg::PreviewRect(0, 10, area).isEmpty());
}

TEST_F(PreviewFileDlgTest, OffersTheOpenFiltersAndSelectsSeveralExistingFiles) {
    const std::string start = WriteRamp("last.pgx", 20, 10);
    CPreviewFileDlg dialog(nullptr, start, Filters());
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
    ASSERT_EQ(dialog.nameFilters().size(), 10);
    EXPECT_TRUE(dialog.nameFilters().front().startsWith("All supported Graphic Files (*.jpg"));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(dialog.nameFilters()[i].toStdString(), ToQtFilter(Filters()[std::size_t(i)]));
    EXPECT_EQ(dialog.directory().absolutePath(), dir_.path());
    EXPECT_EQ(dialog.PreviewCheck()->text(), "&Preview");
    EXPECT_TRUE(dialog.PreviewCheck()->isChecked());
}

TEST_F(PreviewFileDlgTest, PreviewShowsTheImageThroughTheTopEightBits) {
    const std::string wide = WriteRamp("wide.pgx", 800, 100);
    const std::string small = WriteRamp("small.pgx", 40, 30);
    CPreviewFileDlg dialog(nullptr, "", Filters());
    const QRect area(0, 0, dialog.PreviewArea()->width(), dialog.PreviewArea()->height());

    for (const std::string& path : {wide, small}) {
        SCOPED_TRACE(path);
        dialog.ShowPreviewOf(QString::fromStdString(path));
        const QImage& picture = dialog.PreviewPicture();
        ASSERT_FALSE(picture.isNull());
        const QRect rect = dialog.PreviewPictureRect();
        EXPECT_TRUE(area.contains(rect));
        // The rendered picture covers the rectangle (zoom 1 or fit), no more.
        EXPECT_LE(picture.width(), rect.width());
        EXPECT_GE(picture.width(), rect.width() - 1);
        // Top 8 of 12 bits through the grey ramp: black at the left, white at the right.
        EXPECT_EQ(qGray(picture.pixel(0, picture.height() / 2)), 0);
        EXPECT_GE(qGray(picture.pixel(picture.width() - 1, picture.height() / 2)), 250);
        const int middle = qGray(picture.pixel(picture.width() / 2, 0));
        EXPECT_NEAR(middle, 128, 8);
        EXPECT_FALSE(dialog.PreviewArea()->pixmap().isNull());
    }
    EXPECT_EQ(dialog.PreviewPictureRect(), CPreviewFileDlg::PreviewRect(40, 30, area));
}

TEST_F(PreviewFileDlgTest, PreviewUsesTheGivenLutAndColourMode) {
    CPalette inverse(256);
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<uint8_t>(255 - i);
        inverse[static_cast<std::size_t>(i)] = CPaletteEntry{level, level, level, 0};
    }
    const std::string ramp = WriteRamp("ramp.pgx", 50, 20);
    CPreviewFileDlg dialog(nullptr, "", Filters(), 2, inverse);
    dialog.ShowPreviewOf(QString::fromStdString(ramp));
    ASSERT_FALSE(dialog.PreviewPicture().isNull());
    EXPECT_EQ(qGray(dialog.PreviewPicture().pixel(0, 5)), 255);

    // A colour picture previewed with colour mode 2 ("G") shows the green level.
    QImage colour(8, 8, QImage::Format_RGB32);
    colour.fill(QColor(250, 60, 10));
    const std::string png = Path("colour.png");
    ASSERT_TRUE(colour.save(QString::fromStdString(png)));
    CPreviewFileDlg green(nullptr, "", Filters(), 2);
    green.ShowPreviewOf(QString::fromStdString(png));
    ASSERT_FALSE(green.PreviewPicture().isNull());
    EXPECT_EQ(qGray(green.PreviewPicture().pixel(3, 3)), 60);
}

TEST_F(PreviewFileDlgTest, NoPreviewWhenSwitchedOffOrUnreadable) {
    const std::string ramp = WriteRamp("ramp.pgx", 50, 20);
    const std::string garbage = Path("garbage.png");
    std::ofstream(garbage) << "not a picture";
    const std::string raw = Path("data.raw");
    std::ofstream(raw) << std::string(1000, '\x40');
    const std::string signedPgx = Path("signed.pgx");
    std::ofstream(signedPgx) << "PG ML -12 2 2\n" << std::string(8, '\0');

    CPreviewFileDlg dialog(nullptr, "", Filters());
    for (const std::string& path :
         {garbage, raw, signedPgx, Path("missing.pgx"), dir_.path().toStdString()}) {
        SCOPED_TRACE(path);
        dialog.ShowPreviewOf(QString::fromStdString(ramp));
        ASSERT_FALSE(dialog.PreviewPicture().isNull());
        dialog.ShowPreviewOf(QString::fromStdString(path));
        EXPECT_TRUE(dialog.PreviewPicture().isNull());
        EXPECT_TRUE(dialog.PreviewArea()->pixmap().isNull());
    }
    // Reading for the preview bothers nobody with messages.
    EXPECT_TRUE(sink_.shown.empty());

    dialog.ShowPreviewOf(QString::fromStdString(ramp));
    dialog.PreviewCheck()->setChecked(false);
    EXPECT_TRUE(dialog.PreviewPicture().isNull());
    dialog.ShowPreviewOf(QString::fromStdString(ramp));
    EXPECT_TRUE(dialog.PreviewPicture().isNull());
}

TEST_F(PreviewFileDlgTest, PickFilesReturnsTheChosenFilesOrNothingOnCancel) {
    const std::string first = WriteRamp("a.pgx", 10, 10);
    const std::string second = WriteRamp("b.pgx", 10, 10);
    const auto answer = [&](bool accept) {
        QTimer::singleShot(0, [&, accept] {
            auto* dialog = qobject_cast<CPreviewFileDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (!accept) {
                dialog->reject();
                return;
            }
            dialog->selectFile("\"a.pgx\" \"b.pgx\"");
            static_cast<QDialog*>(dialog)->accept();  // the file dialog hides it
        });
    };
    std::vector<std::string> paths{"stale"};
    answer(true);
    ASSERT_TRUE(CPreviewFileDlg::PickFiles(nullptr, first, Filters(), paths));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{first, second}));

    answer(false);
    EXPECT_FALSE(CPreviewFileDlg::PickFiles(nullptr, first, Filters(), paths));
    EXPECT_TRUE(paths.empty());
}

}  // namespace
}  // namespace vistrel
