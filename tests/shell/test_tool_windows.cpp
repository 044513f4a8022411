#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSignalSpy>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/messages.h"
#include "shell/enhance_dlg.h"
#include "shell/histogram_dlg.h"
#include "shell/image_prop_dlg.h"
#include "shell/two_images_dlg.h"
#include "support/native_file_builders.h"
#include "support/recording_sink.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {
namespace {

using testsupport::FillImage;
using testsupport::ValuesOf;

// Documents that the application does not own; the windows are declared
// after them so that they go first.
class ToolWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        first.pathName = "/cases/first.pgx";
        first.UpdateTitle(1.0f);
        second.pathName = "/cases/second.pgx";
        second.UpdateTitle(1.0f);
    }
    void TearDown() override { app.SetActiveDocument(nullptr); }

    testsupport::CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
    CVistrelDoc first{app, 1};
    CVistrelDoc second{app, 2};
};

void SendMouse(QWidget* widget, QEvent::Type type, int x, Qt::MouseButtons buttons) {
    const QPointF at(x, widget->height() / 2);
    const Qt::MouseButton button =
        type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButton(Qt::LeftButton);
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

std::string Text(const QLabel* label) {
    return label ? label->text().toStdString() : std::string("<no label>");
}

// ---------------------------------------------------------------- histogram

TEST_F(ToolWindowTest, HistogramShowsTheFiguresAndFollowsTheActiveDocument) {
    // 10 x2, 20 x3, 30 x2, 40 x1: mean 22.5, population variance 93.75.
    FillImage(first.image, 4, 8, {10, 10, 20, 20, 20, 30, 30, 40});
    FillImage(second.image, 2, 8, {5, 7});
    app.SetActiveDocument(&first);
    CHistogramDlg dlg(app);
    EXPECT_EQ(dlg.windowTitle(), "Histogram");
    const std::pair<const char*, const char*> expected[] = {
        {"Pixels:", "8"},  {"Mean:", "22.500"},     {"Std Dev:", "9.682"},
        {"Median:", "20"}, {"Variance:", "93.750"},
    };
    for (const auto& [caption, text] : expected)
        EXPECT_EQ(Text(dlg.Figure(caption)), text) << caption;

    app.SetActiveDocument(&second);
    EXPECT_EQ(dlg.Document(), &second);
    EXPECT_EQ(Text(dlg.Figure("Pixels:")), "2");
    EXPECT_EQ(Text(dlg.Figure("Mean:")), "6.000");

    // A closing document leaves an empty window, not a dangling one.
    emit app.Notifier().documentClosing(&second);
    EXPECT_EQ(dlg.Document(), nullptr);
    EXPECT_EQ(Text(dlg.Figure("Pixels:")), "0");
    EXPECT_EQ(Text(dlg.Figure("Mean:")), "0.000");
}

TEST_F(ToolWindowTest, DraggingAcrossTheHistogramSelectsARange) {
    FillImage(first.image, 4, 8, {10, 10, 20, 20, 20, 30, 30, 40});
    CHistogramDlg dlg(app);
    dlg.Bind(&first);
    CHistogramCtrl* control = dlg.Control();
    // Levels 10..40 are 31 bins; 62 drawn columns give each bin two columns.
    control->setFixedSize(62 + CHistogramModel::kFrameColumns, 100);
    dlg.show();
    ASSERT_EQ(dlg.Model().Columns(), 62);
    auto xOfLevel = [&](int level) { return CHistogramCtrl::kInset + 2 * (level - 10); };

    EXPECT_EQ(Text(dlg.Figure("Range:")), "");
    SendMouse(control, QEvent::MouseMove, xOfLevel(30), Qt::NoButton);
    EXPECT_EQ(Text(dlg.Figure("Level:")), "30");
    EXPECT_EQ(Text(dlg.Figure("Count:")), "2");
    EXPECT_EQ(Text(dlg.Figure("Percentile:")), "87.500");  // 7 of 8 at or below 30
    EXPECT_EQ(Text(dlg.Figure("Range:")), "") << "moving without a button selects nothing";

    // Right to left: the range still reads low .. high.
    SendMouse(control, QEvent::MouseButtonPress, xOfLevel(30) + 1, Qt::LeftButton);
    EXPECT_EQ(Text(dlg.Figure("Range:")), "30 .. 30");
    SendMouse(control, QEvent::MouseMove, xOfLevel(20), Qt::LeftButton);
    EXPECT_EQ(Text(dlg.Figure("Range:")), "20 .. 30");
    EXPECT_EQ(Text(dlg.Figure("Range count:")), "5");
    EXPECT_EQ(Text(dlg.Figure("Range mean:")), "24.000");
    SendMouse(control, QEvent::MouseButtonRelease, xOfLevel(10), Qt::NoButton);
    EXPECT_EQ(Text(dlg.Figure("Range:")), "10 .. 30");
    EXPECT_EQ(Text(dlg.Figure("Range count:")), "7");
    EXPECT_EQ(Text(dlg.Figure("Range mean:")), "20.000");

    // Selected bars are black on white; the bar of level 40 outside the range
    // is in the inverse of the face colour. Level 20 is the tallest inner bin
    // and fills the height; level 40 (1 of 3) a third of it.
    const QImage picture = control->grab().toImage();
    const int top = CHistogramCtrl::kInset, bottom = control->height() - CHistogramCtrl::kInset - 1;
    const QColor face = control->palette().color(QPalette::Button);
    EXPECT_EQ(QColor(picture.pixel(xOfLevel(20), top)), QColor(Qt::black));
    EXPECT_EQ(QColor(picture.pixel(xOfLevel(15), bottom)), QColor(Qt::white))
        << "empty level inside the range";
    EXPECT_EQ(QColor(picture.pixel(xOfLevel(40), bottom)),
              QColor(255 - face.red(), 255 - face.green(), 255 - face.blue()));
    EXPECT_EQ(QColor(picture.pixel(xOfLevel(40), top + 10)), face);
    EXPECT_EQ(QColor(picture.pixel(xOfLevel(35), bottom)), face);

    // Moving afterwards without the button hovers but keeps the selection.
    SendMouse(control, QEvent::MouseMove, xOfLevel(40), Qt::NoButton);
    EXPECT_EQ(Text(dlg.Figure("Level:")), "40");
    EXPECT_EQ(Text(dlg.Figure("Range:")), "10 .. 30");
}

TEST_F(ToolWindowTest, WideHistogramsDrawOneBinPerColumnOfTheControl) {
    std::vector<int32_t> ramp;
    for (int32_t v = 0; v < 4096; v += 4) ramp.push_back(v * 16);
    FillImage(first.image, 32, 16, ramp);
    CHistogramDlg dlg(app);
    dlg.Bind(&first);
    for (int width : {300, 157}) {
        dlg.Control()->setFixedSize(width, 80);
        dlg.show();
        QApplication::processEvents();
        EXPECT_TRUE(dlg.Model().IsResampled()) << width;
        EXPECT_EQ(dlg.Model().Bins().size(),
                  static_cast<std::size_t>(width - CHistogramModel::kFrameColumns))
            << width;
    }
}

// ---------------------------------------------------------------- enhance

TEST_F(ToolWindowTest, EnhanceControlsChangeOnlyTheDisplayCorrection) {
    FillImage(first.image, 2, 8, {1, 200});
    app.SetActiveDocument(&first);
    CEnhanceDlg dlg(app);
    EXPECT_EQ(dlg.windowTitle(), "Brightness / Contrast");
    EXPECT_EQ(dlg.BrightnessEdit()->text(), "0");
    EXPECT_EQ(dlg.GammaEdit()->text(), "1.00");
    QSignalSpy repaints(&first, &CVistrelDoc::updated);

    dlg.BrightnessSlider()->setValue(50);
    EXPECT_EQ(first.brightness, 50);
    EXPECT_EQ(first.displayLut.brightness, 50);
    EXPECT_EQ(dlg.BrightnessEdit()->text(), "+50");
    ASSERT_FALSE(repaints.isEmpty());
    EXPECT_EQ(repaints.last().at(0).toInt(), kUpdateDisplay);

    dlg.GammaSlider()->setValue(250);
    EXPECT_FLOAT_EQ(first.gamma, 2.5f);
    EXPECT_EQ(dlg.GammaEdit()->text(), "2.50");

    dlg.ContrastEdit()->setText("-30");
    emit dlg.ContrastEdit()->editingFinished();
    EXPECT_EQ(first.contrast, -30);
    EXPECT_EQ(first.displayLut.contrast, -30);
    EXPECT_EQ(dlg.ContrastSlider()->value(), -30);

    // Text that is not a number changes nothing and is put back.
    dlg.ContrastEdit()->setText("abc");
    emit dlg.ContrastEdit()->editingFinished();
    EXPECT_EQ(first.contrast, -30);
    EXPECT_EQ(dlg.ContrastEdit()->text(), "-30");

    // Out-of-range typing is clamped to the slider's range.
    dlg.BrightnessEdit()->setText("500");
    emit dlg.BrightnessEdit()->editingFinished();
    EXPECT_EQ(first.brightness, 127);
    EXPECT_EQ(dlg.BrightnessSlider()->value(), 127);

    EXPECT_EQ(ValuesOf(first.image), (std::vector<int32_t>{1, 200})) << "samples untouched";

    dlg.DefaultsButton()->click();
    EXPECT_EQ(first.brightness, 0);
    EXPECT_EQ(first.contrast, 0);
    EXPECT_FLOAT_EQ(first.gamma, 1.0f);
    EXPECT_EQ(dlg.ContrastEdit()->text(), "0");
    EXPECT_EQ(dlg.GammaSlider()->value(), 100);
}

TEST_F(ToolWindowTest, EnhanceWindowHandsItsValuesToTheDocumentItLeaves) {
    second.SetDisplayEnhancement(-5, 7, 0.5f, false);
    app.SetActiveDocument(&first);
    CEnhanceDlg dlg(app);
    dlg.ContrastSlider()->setValue(40);
    // The hand-over writes the window's values into the document left,
    // whatever that document holds by now.
    first.contrast = 0;
    app.SetActiveDocument(&second);
    EXPECT_EQ(first.contrast, 40);
    EXPECT_EQ(dlg.Document(), &second);
    EXPECT_EQ(dlg.BrightnessEdit()->text(), "+7");
    EXPECT_EQ(dlg.ContrastEdit()->text(), "-5");
    EXPECT_EQ(dlg.GammaEdit()->text(), "0.50");
    EXPECT_EQ(dlg.GammaSlider()->value(), 50);

    // After its document closed, the window touches no document.
    emit app.Notifier().documentClosing(&second);
    EXPECT_EQ(dlg.Document(), nullptr);
    dlg.BrightnessSlider()->setValue(90);
    dlg.PreviewButton()->click();
    EXPECT_EQ(second.brightness, 7);
    EXPECT_EQ(first.brightness, 0);
}

// ---------------------------------------------------------------- image properties

TEST_F(ToolWindowTest, ImagePropertiesUnitsInTheirOrder) {
    FillImage(first.image, 1000, 12, std::vector<int32_t>(1000 * 500, 7));
    first.resolution = 254.0f;
    app.SetActiveDocument(&first);
    CImagePropDlg dlg(app);
    EXPECT_EQ(dlg.WidthPixels()->text(), "1000");
    EXPECT_EQ(dlg.HeightPixels()->text(), "500");
    EXPECT_EQ(dlg.Bits()->text(), "12");
    EXPECT_EQ(dlg.SizeUnit()->count(), 2);
    EXPECT_EQ(dlg.ResolutionUnit()->count(), 3);
    // Centimetres and microns per pixel at start.
    EXPECT_EQ(dlg.SizeUnit()->currentIndex(), 1);
    EXPECT_EQ(dlg.ResolutionUnit()->currentIndex(), 2);

    struct Case {
        int sizeUnit, resolutionUnit;
        const char *width, *height, *resolution;
    };
    const Case cases[] = {
        {1, 2, "10.00", "5.00", "100.00"},  // cm, microns per pixel
        {0, 0, "3.94", "1.97", "254.00"},   // inches, pixels per inch
        {1, 1, "10.00", "5.00", "100.00"},  // cm, pixels per cm
    };
    for (const Case& c : cases) {
        dlg.SizeUnit()->setCurrentIndex(c.sizeUnit);
        dlg.ResolutionUnit()->setCurrentIndex(c.resolutionUnit);
        EXPECT_EQ(dlg.DocumentWidth()->text(), c.width) << c.sizeUnit;
        EXPECT_EQ(dlg.DocumentHeight()->text(), c.height) << c.sizeUnit;
        EXPECT_EQ(dlg.Resolution()->text(), c.resolution) << c.resolutionUnit;
    }
}

TEST_F(ToolWindowTest, ImagePropertiesOkStoresTheResolution) {
    FillImage(first.image, 4, 8, {1, 2, 3, 4});
    app.SetActiveDocument(&first);
    CImagePropDlg dlg(app);

    // A document with no measured size says so; one given by the user does not.
    EXPECT_TRUE(dlg.ResolutionSource()->text().startsWith("Default pixel size"))
        << dlg.ResolutionSource()->text().toStdString();

    // OK without editing keeps the resolution exactly: the shown microns are rounded.
    ASSERT_EQ(dlg.Resolution()->text(), "43.50");
    dlg.Buttons()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(first.resolution, kDefaultResolution);

    // 50 microns per pixel is 508 pixels per inch; the sizes follow at once.
    dlg.Bind(&first);
    dlg.Resolution()->setText("50");
    emit dlg.Resolution()->editingFinished();
    EXPECT_EQ(dlg.DocumentWidth()->text(), "0.02");  // 4 x 50 microns
    EXPECT_FLOAT_EQ(first.resolution, kDefaultResolution) << "stored only on OK";
    dlg.Buttons()->button(QDialogButtonBox::Ok)->click();
    EXPECT_FLOAT_EQ(first.resolution, 508.0f);
    dlg.Bind(&first);
    EXPECT_EQ(dlg.ResolutionSource()->text(), "Pixel size given by the user");

    // A resolution that is not a positive number is put back and not stored.
    for (const char* bad : {"-5", "0", "abc", ""}) {
        dlg.Bind(&first);
        dlg.Resolution()->setText(bad);
        dlg.Buttons()->button(QDialogButtonBox::Ok)->click();
        EXPECT_FLOAT_EQ(first.resolution, 508.0f) << bad;
        EXPECT_EQ(dlg.Resolution()->text(), "50.00") << bad;
    }

    // Cancel stores nothing.
    dlg.Bind(&first);
    dlg.Resolution()->setText("10");
    dlg.Buttons()->button(QDialogButtonBox::Cancel)->click();
    EXPECT_FLOAT_EQ(first.resolution, 508.0f);
}

// ---------------------------------------------------------------- two images

class TwoImagesWindowTest : public ToolWindowTest {
  protected:
    void SetUp() override {
        ToolWindowTest::SetUp();
        dlg = std::make_unique<CTwoImagesOperationsDlg>(app);
        dlg->SetResultHandler([this](CVistrelDoc& source, std::unique_ptr<CMImage> image) {
            sources.push_back(&source);
            results.push_back(std::move(image));
        });
    }
    void TearDown() override {
        dlg.reset();
        ToolWindowTest::TearDown();
    }
    // "Set I1" / "Set I2" take the active document.
    void Choose(CVistrelDoc* one, CVistrelDoc* two) {
        app.SetActiveDocument(one);
        dlg->SetI1Button()->click();
        app.SetActiveDocument(two);
        dlg->SetI2Button()->click();
    }

    std::unique_ptr<CTwoImagesOperationsDlg> dlg;
    std::vector<CVistrelDoc*> sources;
    std::vector<std::unique_ptr<CMImage>> results;
};

TEST_F(TwoImagesWindowTest, ButtonsProduceResultsForTheFirstDocument) {
    FillImage(first.image, 3, 8, {10, 20, 30});
    FillImage(second.image, 3, 8, {20, 20, 10});
    Choose(&first, &second);
    EXPECT_EQ(dlg->I1Title()->text(), first.Title());
    EXPECT_EQ(dlg->I2Title()->text(), second.Title());
    EXPECT_TRUE(dlg->I1Title()->text().contains("first.pgx"));

    struct Case {
        int operation;
        std::vector<int32_t> samples;
    };
    const Case cases[] = {
        {CTwoImagesModel::kAverage, {15, 20, 20}},
        {CTwoImagesModel::kMax, {20, 20, 30}},
        {CTwoImagesModel::kGreater, {0, 0, 30}},
    };
    for (const Case& c : cases) {
        results.clear();
        sources.clear();
        dlg->OperationButton(c.operation)->click();
        ASSERT_EQ(results.size(), 1u) << c.operation;
        EXPECT_EQ(sources[0], &first);
        EXPECT_EQ(ValuesOf(*results[0]), c.samples) << c.operation;
    }
    EXPECT_EQ(ValuesOf(first.image), (std::vector<int32_t>{10, 20, 30})) << "source untouched";
    EXPECT_TRUE(sink.shown.empty());
    // The object buttons' ampersands are shown, not taken as shortcuts.
    EXPECT_EQ(dlg->OperationButton(CTwoImagesModel::kKeepTouching)->text(), "Ob(I1) &&&& Ob(I2)");
}

TEST_F(TwoImagesWindowTest, DifferentSizesGiveTheMessageAndNoResult) {
    FillImage(first.image, 3, 8, {10, 20, 30});
    FillImage(second.image, 2, 8, {1, 2});
    Choose(&first, &second);
    dlg->OperationButton(CTwoImagesModel::kDifference)->click();
    EXPECT_TRUE(results.empty());
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], "Different image sizes!\n Change images...");
}

TEST_F(TwoImagesWindowTest, ObjectOperationsReportTheirCountWithTheAppConnectivity) {
    // Two pixels touching only at a corner: one object with 8-connectivity, two with 4.
    FillImage(first.image, 2, 1, {1, 0, 0, 1});
    FillImage(second.image, 2, 1, {1, 0, 0, 0});
    Choose(&first, &second);
    struct Case {
        int connectivity;
        std::vector<int32_t> kept;
    };
    const Case cases[] = {{8, {1, 0, 0, 1}}, {4, {1, 0, 0, 0}}};
    for (const Case& c : cases) {
        app.connectivity = c.connectivity;
        results.clear();
        sink.shown.clear();
        dlg->Run(CTwoImagesModel::kKeepTouching);
        ASSERT_EQ(results.size(), 1u) << c.connectivity;
        EXPECT_EQ(ValuesOf(*results[0]), c.kept) << c.connectivity;
        EXPECT_EQ(sink.shown, std::vector<std::string>{"left objects=1"}) << c.connectivity;
    }
}

TEST_F(TwoImagesWindowTest, AClosedDocumentIsForgotten) {
    FillImage(first.image, 3, 8, {10, 20, 30});
    FillImage(second.image, 3, 8, {20, 20, 10});
    Choose(&first, &second);
    emit app.Notifier().documentClosing(&second);
    EXPECT_EQ(dlg->I2Title()->text(), "");
    EXPECT_EQ(dlg->I1Title()->text(), first.Title());
    dlg->OperationButton(CTwoImagesModel::kAverage)->click();
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(sink.shown.empty());
}

// Writes pictures of the histogram window, with a range dragged across the
// occupied levels, for a person to look at:
// test_shell --gtest_also_run_disabled_tests --gtest_filter='*HistogramScreenshots*'
TEST_F(ToolWindowTest, DISABLED_HistogramScreenshots) {
    const std::string data = VISTREL_SHARED_DATA;
    const QString folder = QDir::tempPath() + "/vistrel_shots";
    QDir().mkpath(folder);
    for (const char* file : {"/mammograms/mias/mdb209.pgm", "/raster/pgx/c1p1_04_0.pgx"}) {
        const std::string path = data + file;
        if (!QFileInfo::exists(QString::fromStdString(path))) GTEST_SKIP() << "no shared data";
        std::string description;
        ASSERT_EQ(first.image.Open(path, description, 0, {}), 1) << path;
        CHistogramDlg dlg(app);
        dlg.resize(700, 420);
        dlg.Bind(&first);
        dlg.show();
        CHistogramCtrl* control = dlg.Control();
        const int w = control->width();
        SendMouse(control, QEvent::MouseButtonPress, w / 3, Qt::LeftButton);
        SendMouse(control, QEvent::MouseMove, w / 2, Qt::LeftButton);
        SendMouse(control, QEvent::MouseButtonRelease, w / 2, Qt::NoButton);
        EXPECT_NE(Text(dlg.Figure("Range:")), "");
        const QString name = folder + "/histogram_" + QFileInfo(file).baseName() + ".png";
        EXPECT_TRUE(dlg.grab().toImage().save(name)) << name.toStdString();
    }
}

}  // namespace
}  // namespace vistrel
