#include <gtest/gtest.h>

#include "detection/breast_sgt.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

// The colour painted for image pixel (x, y) at the view's zoom (not scrolled).
QColor PaintedAt(CVistrelView* view, int x, int y) {
    const QImage painted = view->viewport()->grab().toImage();
    const double z = view->Zoom();
    return painted.pixelColor(static_cast<int>((x + 0.5) * z), static_cast<int>((y + 0.5) * z));
}

class BreastOutlineViewTest : public MainFrameTest {
  protected:
    void SetUp() override {
        MainFrameTest::SetUp();
        doc = OpenRamp(200, 150);
        ASSERT_NE(doc, nullptr);
        view = View(doc);
        ASSERT_NE(view, nullptr);
    }
    // Closed outlines as the document keeps them (last point = first).
    const CBreastSgt breast{{{20, 20}, {120, 20}, {120, 100}, {20, 100}, {20, 20}}};
    const CBreastSgt cone{{{40, 40}, {90, 40}, {90, 80}, {40, 80}, {40, 40}}};
    // Points on each outline: corners and edge middles.
    const std::vector<std::pair<int, int>> onBreast = {{20, 20}, {70, 20}, {120, 60}, {20, 100}};
    const std::vector<std::pair<int, int>> onCone = {{40, 40}, {65, 80}, {90, 60}, {40, 70}};
    CVistrelDoc* doc = nullptr;
    CVistrelView* view = nullptr;
};

TEST_F(BreastOutlineViewTest, BothOutlinesInTheirColoursAtEveryZoom) {
    app.showRegions = false;  // the outlines do not depend on the region display
    const QColor inside = PaintedAt(view, 55, 30);
    doc->breastSegment = breast;
    doc->secondSegment = cone;
    doc->UpdateAllViews(kUpdateAnnotations);
    for (const float zoom : {1.0f, 2.0f, 0.5f}) {
        view->SetZoom(zoom);
        for (auto [x, y] : onBreast)
            EXPECT_EQ(PaintedAt(view, x, y), kBreastOutlineColour) << x << "," << y << " @" << zoom;
        for (auto [x, y] : onCone)
            EXPECT_EQ(PaintedAt(view, x, y), kSecondOutlineColour) << x << "," << y << " @" << zoom;
    }
    view->SetZoom(1.0f);
    EXPECT_EQ(PaintedAt(view, 55, 30), inside) << "outlines only, no fill";
    EXPECT_EQ(kBreastOutlineColour, QColor(0, 128, 255));
    EXPECT_EQ(kSecondOutlineColour, QColor(0, 150, 200));
}

TEST_F(BreastOutlineViewTest, RepaintsWhenItsOwnDocumentsMaskChanges) {
    CVistrelDoc* other = app.OpenDocumentFile(WriteRamp("other.pgx", 50, 50));
    ASSERT_NE(other, nullptr);
    const QColor plain = PaintedAt(view, 70, 20);
    doc->breastSegment = breast;
    emit app.Notifier().breastMaskChanged(other);
    EXPECT_EQ(PaintedAt(view, 70, 20), plain) << "another document's outline changed";
    emit app.Notifier().breastMaskChanged(doc);
    EXPECT_EQ(PaintedAt(view, 70, 20), kBreastOutlineColour);

    // The outline removed: gone with the next broadcast.
    doc->breastSegment.Clear();
    emit app.Notifier().breastMaskChanged(doc);
    EXPECT_EQ(PaintedAt(view, 70, 20), plain);
}

}  // namespace
}  // namespace vistrel
