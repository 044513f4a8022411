#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "filters/morphology.h"
#include "shell/two_images_dlg.h"
#include "shell_fixture.h"
#include "workspace/command_registry.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;
using testsupport::FillImage;
using testsupport::ValuesOf;

class ThickeningWindowTest : public MainFrameTest {
  protected:
    // An 8-bit two-level image (0 / 255) from a 7 x 7 mask, opened as a document.
    CVistrelDoc* OpenMask(const std::string& name, const std::vector<int32_t>& mask) {
        CMImage image;
        std::vector<int32_t> samples;
        for (int32_t m : mask) samples.push_back(m ? 255 : 0);
        FillImage(image, 7, 8, samples);
        const std::string path = Path(name);
        EXPECT_EQ(image.Save(true, path), 1);
        return app.OpenDocumentFile(path);
    }
    static std::vector<int32_t> Mask(int top, int left, int bottom, int right) {
        std::vector<int32_t> mask(49, 0);
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) mask[y * 7 + x] = 1;
        return mask;
    }
    CTwoImagesOperationsDlg* Open() {
        frame->ToggleToolWindow(EToolWindow::ConditionalThickening);
        return frame->ThickeningWindow();
    }
};

TEST_F(ThickeningWindowTest, OpensInItsOwnModeBesideTheOperationsWindow) {
    CTwoImagesOperationsDlg* window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(frame->ToolWindowOpen(EToolWindow::ConditionalThickening));
    EXPECT_FALSE(frame->ToolWindowOpen(EToolWindow::TwoImages));
    EXPECT_EQ(window->windowTitle(), "Conditional Thickening");
    EXPECT_EQ(window->SetI1Button()->text(), "Set Internal Marker");
    EXPECT_EQ(window->SetI2Button()->text(), "Set External Marker");
    EXPECT_EQ(window->OperationButton(0), nullptr);
    ASSERT_NE(window->ThickenButton(), nullptr);

    frame->ToggleToolWindow(EToolWindow::TwoImages);
    ASSERT_NE(frame->TwoImagesWindow(), nullptr);
    EXPECT_EQ(frame->TwoImagesWindow()->windowTitle(), "Two images operations");
    EXPECT_EQ(frame->TwoImagesWindow()->SetI1Button()->text(), "Set I1");
    EXPECT_NE(frame->TwoImagesWindow()->OperationButton(0), nullptr);
    EXPECT_EQ(frame->TwoImagesWindow()->ThickenButton(), nullptr);
}

TEST_F(ThickeningWindowTest, ResultOpensAsANewDocumentOfTheCondition) {
    CVistrelDoc* marker = OpenMask("marker.pgx", Mask(2, 2, 2, 4));
    CVistrelDoc* condition = OpenMask("condition.pgx", Mask(1, 1, 5, 5));
    ASSERT_TRUE(marker && condition);
    CTwoImagesOperationsDlg* window = Open();
    ASSERT_NE(window, nullptr);
    app.SetActiveDocument(marker);
    window->SetI1Button()->click();
    app.SetActiveDocument(condition);
    window->SetI2Button()->click();
    EXPECT_TRUE(window->I1Title()->text().contains("marker.pgx"));
    EXPECT_TRUE(window->I2Title()->text().contains("condition.pgx"));

    const std::size_t before = app.Documents().size();
    window->ThickenButton()->click();
    ASSERT_EQ(app.Documents().size(), before + 1);
    const CVistrelDoc* result = app.Documents().back().get();
    auto expected = ConditionalThickening(condition->image, marker->image);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(ValuesOf(result->image), ValuesOf(*expected));
    EXPECT_NE(ValuesOf(result->image), ValuesOf(marker->image)) << "the marker grew";
    EXPECT_TRUE(result->Title().contains("condition.pgx")) << result->Title().toStdString();
    EXPECT_NE(frame->FrameOf(result), nullptr) << "shown in a window of its own";
    EXPECT_EQ(ValuesOf(marker->image), [] {
        std::vector<int32_t> v;
        for (int32_t m : Mask(2, 2, 2, 4)) v.push_back(m ? 255 : 0);
        return v;
    }()) << "the sources stay";
}

TEST_F(ThickeningWindowTest, DifferentSizesAreRefusedWithTheMessage) {
    CVistrelDoc* marker = OpenMask("marker.pgx", Mask(2, 2, 2, 4));
    CVistrelDoc* wide = app.OpenDocumentFile(WriteRamp("wide.pgx", 9, 7));
    ASSERT_TRUE(marker && wide);
    CTwoImagesOperationsDlg* window = Open();
    ASSERT_NE(window, nullptr);
    window->SetI1(marker);
    window->SetI2(wide);
    const std::size_t before = app.Documents().size();
    window->ThickenButton()->click();
    EXPECT_EQ(app.Documents().size(), before);
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"Different image sizes!\n Change images..."}));
}

}  // namespace
}  // namespace vistrel
