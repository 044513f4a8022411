#include "shell/main_frame.h"

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "core/messages.h"
#include "shell/splitter_frame.h"
#include "shell/vistrel_view.h"
#include "shell/window_width_bits.h"
#include "shell/window_width_values.h"
#include "shell_environment.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {
namespace {

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new testing::CShellEnvironment);

class SilentSink : public IMessageSink {
  public:
    void show(const std::string& text) override { shown.push_back(text); }
    int ask(const std::string&, const std::vector<std::string>&) override { return 0; }
    std::vector<std::string> shown;
};

// A main frame on screen (offscreen) with the shipped LUTs and presets.
class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app.LoadToolData(VISTREL_BIN_DIR);
        frame = std::make_unique<CMainFrame>(app);
        frame->resize(1200, 900);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override {
        frame->close();
        frame.reset();
    }
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }
    // A 12-bit ramp: sample = (x * 4095) / (width - 1) on every row.
    std::string WriteRamp(const std::string& name, int width, int height) {
        CMImage ramp(width, height, 12);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) ramp.SetPixel(x, y, x * 4095 / (width - 1));
        const std::string path = Path(name);
        EXPECT_EQ(ramp.Save(true, path), 1);
        return path;
    }

    QTemporaryDir dir;
    SilentSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, OpenedFileGetsAWindowTitledByItsDocument) {
    const std::string path = WriteRamp("ramp.pgx", 300, 200);
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    CSplitterFrame* child = frame->FrameOf(doc);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(frame->ActiveFrame(), child);
    EXPECT_EQ(app.ActiveDocument(), doc);
    EXPECT_EQ(child->windowTitle().toStdString(), doc->Title().toStdString());
    EXPECT_TRUE(child->windowTitle().startsWith("ramp.pgx @ "));
    EXPECT_TRUE(child->windowTitle().endsWith(" % : 1"));
    // A small image is fitted into the client area and the frame hugs it.
    CVistrelView* view = child->View();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->viewport()->size(), view->PictureSize());
}

}  // namespace
}  // namespace vistrel
