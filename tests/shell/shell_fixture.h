#pragma once
// A main frame on screen (offscreen) with the shipped LUTs and presets, a
// recording message sink and a folder for the files a test writes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "shell/main_frame.h"
#include "shell/splitter_frame.h"
#include "shell/vistrel_view.h"
#include "support/native_file_builders.h"
#include "support/recording_sink.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel::testing {

// Mouse events straight to a widget (viewport coordinates), with the button
// state a real drag has.
inline void SendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Press at the first point, move through the others, release at the last.
inline void Drag(QWidget* widget, const std::vector<QPoint>& points) {
    SendMouse(widget, QEvent::MouseButtonPress, points.front(), Qt::LeftButton, Qt::LeftButton);
    for (std::size_t i = 1; i < points.size(); ++i)
        SendMouse(widget, QEvent::MouseMove, points[i], Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, points.back(), Qt::LeftButton, Qt::NoButton);
}

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
    // A 12-bit ramp: sample = x * 4095 / (width - 1) on every row.
    std::string WriteRamp(const std::string& name, int width, int height) {
        const std::string path = Path(name);
        EXPECT_EQ(testsupport::RampImage(width, height).Save(true, path), 1);
        return path;
    }
    // Opens a ramp and shows it at 100 %.
    CVistrelDoc* OpenRamp(int width = 400, int height = 300) {
        CVistrelDoc* doc = app.OpenDocumentFile(WriteRamp("ramp.pgx", width, height));
        if (doc) View(doc)->OnActualPixels();
        return doc;
    }
    CVistrelView* View(const CVistrelDoc* doc) const {
        CSplitterFrame* child = frame->FrameOf(doc);
        return child ? child->View() : nullptr;
    }
    // Drags in a view through image points (converted at the view's zoom and scroll).
    static void DragImage(CVistrelView* view, const std::vector<QPoint>& imagePoints) {
        std::vector<QPoint> points;
        for (const QPoint& p : imagePoints) points.push_back(view->ViewportPoint(p));
        Drag(view->viewport(), points);
    }
    QString Pane(int pane) const { return frame->StatusPane(pane)->text(); }
    void Command(CommandId id) { frame->OnCommand(static_cast<int>(id)); }

    QTemporaryDir dir;
    testsupport::CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace vistrel::testing
