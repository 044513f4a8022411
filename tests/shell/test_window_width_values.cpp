#include "shell/window_width_values.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

// Grey level of a ramp sample through a value window of more than 16 levels:
// level M (s - low) / n of M + 1 = min(n, 256) entries, spread over the grey ramp.
int ValueLevel(int sample, int low, int high) {
    const int n = high - low + 1;
    const int top = std::min(n, 256) - 1;
    int level = sample >= high ? top : sample < low ? 0 : top * (sample - low) / n;
    return level * 255 / top;
}

TEST_F(MainFrameTest, ValueBarVisibilityPicksTheRenderer) {
    CVistrelDoc* doc = OpenRamp();
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    const int x = 100, sample = x * 4095 / 399;  // 1026, just inside 1000..4095
    EXPECT_EQ(qGray(view->DisplayImage().pixel(x, 0)), sample >> 4);
    frame->Action(CommandId::WindowValues)->trigger();
    EXPECT_TRUE(app.ValueWindowMode());
    EXPECT_TRUE(frame->ValuesDock()->isVisible());
    EXPECT_EQ(qGray(view->DisplayImage().pixel(x, 0)), ValueLevel(sample, 1000, 4095));
    frame->Action(CommandId::WindowValues)->trigger();
    EXPECT_FALSE(app.ValueWindowMode());
    EXPECT_EQ(qGray(view->DisplayImage().pixel(x, 0)), sample >> 4);
}

TEST_F(MainFrameTest, EditingTheValueWindowRerendersTheView) {
    CVistrelDoc* doc = OpenRamp();
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->Action(CommandId::WindowValues)->trigger();
    CWindowWidthValues* bar = frame->ValuesBar();
    EXPECT_EQ(bar->LowEdit()->text(), "1000");
    EXPECT_EQ(bar->HighEdit()->text(), "4095");
    EXPECT_EQ(bar->WidthSpin()->maximum(), 4095);

    const int x = 150, sample = x * 4095 / 399;  // 1539
    struct Edit {
        const char* what;
        std::function<void()> apply;
        int low, high;
    } edits[] = {
        {"high slider", [&] { bar->HighSlider()->setValue(2000); }, 1000, 2000},
        {"low edit",
         [&] {
             bar->LowEdit()->setText("1500");
             emit bar->LowEdit()->editingFinished();
         },
         1500, 2000},
        {"width spin", [&] { bar->WidthSpin()->setValue(100); }, 1700, 1800},
        {"level slider", [&] { bar->LevelSlider()->setValue(1550); }, 1500, 1600},
    };
    for (const Edit& edit : edits) {
        edit.apply();
        EXPECT_EQ(doc->windowLow, edit.low) << edit.what;
        EXPECT_EQ(doc->windowHigh, edit.high) << edit.what;
        EXPECT_EQ(bar->LevelEdit()->text().toInt(), edit.low + (edit.high - edit.low) / 2)
            << edit.what;
        EXPECT_EQ(qGray(view->DisplayImage().pixel(x, 0)), ValueLevel(sample, edit.low, edit.high))
            << edit.what;
    }
}

TEST_F(MainFrameTest, ChoosingALutRecoloursTheViewAndTheStrip) {
    CVistrelDoc* doc = OpenRamp();
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->Action(CommandId::WindowValues)->trigger();
    CWindowWidthValues* bar = frame->ValuesBar();
    const int hotIron = bar->LutCombo()->findText("hot-iron");
    ASSERT_GE(hotIron, 2) << "Luts/hot-iron.lut beside the program";
    const QRgb greyBefore = view->DisplayImage().pixel(300, 0);
    EXPECT_EQ(qRed(greyBefore), qBlue(greyBefore));
    bar->LutCombo()->setCurrentIndex(hotIron);
    emit bar->LutCombo()->activated(hotIron);
    EXPECT_EQ(app.CurrentLut(), hotIron);
    const QRgb coloured = view->DisplayImage().pixel(300, 0);
    EXPECT_NE(qRed(coloured), qBlue(coloured));
    const QImage strip = bar->Strip()->grab().toImage();
    EXPECT_NE(strip.pixel(strip.width() / 2, strip.height() / 2),
              strip.pixel(strip.width() / 2, 1));
}

// Writes pictures of the main window for a person to look at:
// test_shell --gtest_also_run_disabled_tests --gtest_filter='*Screenshots*'
TEST_F(MainFrameTest, DISABLED_Screenshots) {
    const std::string mammogram = std::string(VISTREL_SHARED_DATA) + "/raster/pgx/c1p1_04_0.pgx";
    if (!QFileInfo::exists(QString::fromStdString(mammogram))) GTEST_SKIP() << "no shared data";
    CVistrelDoc* doc = app.OpenDocumentFile(mammogram);
    ASSERT_NE(doc, nullptr);
    frame->Action(CommandId::WindowValues)->trigger();
    CWindowWidthValues* bar = frame->ValuesBar();
    const QString folder = QDir::tempPath() + "/vistrel_shots";
    QDir().mkpath(folder);
    for (const char* lut : {"black/white linear", "hot-iron", "rainbow"}) {
        const int index = bar->LutCombo()->findText(lut);
        ASSERT_GE(index, 0) << lut;
        bar->LutCombo()->setCurrentIndex(index);
        emit bar->LutCombo()->activated(index);
        const QImage shot = frame->grab().toImage();
        const QString name = folder + "/" + QString(lut).replace('/', '-') + ".png";
        EXPECT_TRUE(shot.save(name)) << name.toStdString();
    }
}

}  // namespace
}  // namespace vistrel
