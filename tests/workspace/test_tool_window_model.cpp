// The document side every tool window shares: which document is the source,
// forgetting it and the kept result when they close, results opened as new
// documents and a kept result updated in place.
#include "workspace/tool_window_model.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CFakeUi;
using testing::CRecordingSink;

// The protected document side made callable, and the hook counted.
class CProbeModel : public CToolWindowModel {
  public:
    using CToolWindowModel::CToolWindowModel;
    using CToolWindowModel::OpenResult;
    using CToolWindowModel::UpdateResultInPlace;
    int sourceChanges = 0;

  protected:
    void OnSourceChanged() override { ++sourceChanges; }
};

std::unique_ptr<CMImage> Filled(int32_t width, int32_t height, int depth, int32_t value) {
    auto image = std::make_unique<CMImage>(width, height, depth);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) image->SetPixel(x, y, value);
    return image;
}

class ToolWindowModelTest : public ::testing::Test {
  protected:
    // A document with a window (the fake's), named path, holding a 12-bit image.
    CVistrelDoc* Open(const std::string& path, int32_t value = 1000) {
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image.Swap(*Filled(16, 12, 12, value));
        doc->pathName = path;
        doc->windowLow = 0;
        doc->windowHigh = 4095;
        return app.AddDocument(std::move(doc));
    }

    CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    CFakeUi ui;
    CVistrelApp app{&ui};
};

TEST_F(ToolWindowModelTest, BindsTheActiveOrAGivenDocument) {
    CVistrelDoc* a = Open("/d/a.pgx");
    CVistrelDoc* b = Open("/d/b.pgx");
    app.SetActiveDocument(a);
    CProbeModel model(app);
    EXPECT_EQ(model.Source(), a);  // the active document when the window opens
    EXPECT_EQ(model.sourceChanges, 0);

    std::vector<CVistrelDoc*> told;
    QObject::connect(&model, &CToolWindowModel::sourceChanged,
                     [&](CVistrelDoc* doc) { told.push_back(doc); });
    const struct {
        const char* step;
        std::function<bool()> act;
        CVistrelDoc* source;
        int changes;
    } steps[] = {
        {"same document again", [&] { return model.BindSource(a); }, a, 0},
        {"another document", [&] { return model.BindSource(b); }, b, 1},
        {"\"Set Source Doc\" on the active one", [&] { return model.BindActiveDocument(); }, a, 2},
        // Rebinding the source it already has clears its results as well.
        {"\"Set Source Doc\" again", [&] { return model.BindActiveDocument(); }, a, 3},
        {"none", [&] { return model.BindSource(nullptr); }, nullptr, 4},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        EXPECT_TRUE(s.act());
        EXPECT_EQ(model.Source(), s.source);
        EXPECT_EQ(model.sourceChanges, s.changes);
        EXPECT_EQ(int(told.size()), s.changes);
        if (!told.empty()) {
            EXPECT_EQ(told.back(), s.source);
        }
    }
}

TEST_F(ToolWindowModelTest, ItsOwnKeptResultIsNeverTheSource) {
    CVistrelDoc* source = Open("/d/a.pgx");
    CVistrelDoc* other = Open("/d/b.pgx");
    app.SetActiveDocument(source);
    CProbeModel model(app);
    CVistrelDoc* kept = model.OpenResult(Filled(16, 12, 1, 1), {}, true);
    ASSERT_TRUE(kept);
    ASSERT_EQ(model.Result(), kept);
    // A result opened without keeping it may be bound like any document.
    CVistrelDoc* plain = model.OpenResult(Filled(16, 12, 12, 5));
    ASSERT_TRUE(plain);
    EXPECT_EQ(model.Result(), kept);

    EXPECT_FALSE(model.BindSource(kept));
    EXPECT_EQ(model.Source(), source);
    app.SetActiveDocument(kept);
    EXPECT_FALSE(model.BindActiveDocument());
    EXPECT_EQ(model.Source(), source);
    EXPECT_EQ(model.sourceChanges, 0);

    // Following the active document skips the kept result too.
    model.FollowActiveDocument();
    app.SetActiveDocument(other);
    EXPECT_EQ(model.Source(), other);
    app.SetActiveDocument(kept);
    EXPECT_EQ(model.Source(), other);
    app.SetActiveDocument(plain);
    EXPECT_EQ(model.Source(), plain);
}

TEST_F(ToolWindowModelTest, ForgetsSourceAndResultWhenTheyClose) {
    CVistrelDoc* source = Open("/d/a.pgx");
    CVistrelDoc* other = Open("/d/b.pgx");
    app.SetActiveDocument(source);
    CProbeModel model(app);
    CVistrelDoc* kept = model.OpenResult(Filled(16, 12, 1, 1), {}, true);
    ASSERT_TRUE(kept);

    app.CloseDocument(other);  // neither of its documents
    EXPECT_EQ(model.Source(), source);
    EXPECT_EQ(model.Result(), kept);
    EXPECT_EQ(model.sourceChanges, 0);

    app.CloseDocument(kept);
    EXPECT_EQ(model.Result(), nullptr);
    EXPECT_EQ(model.Source(), source);
    EXPECT_EQ(model.sourceChanges, 0);
    CMImage next = *Filled(16, 12, 1, 0);
    EXPECT_FALSE(model.UpdateResultInPlace(next));

    int told = 0;
    QObject::connect(&model, &CToolWindowModel::sourceChanged, [&](CVistrelDoc* doc) {
        EXPECT_EQ(doc, nullptr);
        ++told;
    });
    app.CloseDocument(source);
    EXPECT_EQ(model.Source(), nullptr);
    EXPECT_EQ(model.sourceChanges, 1);
    EXPECT_EQ(told, 1);
    // Without a source nothing opens.
    const std::size_t count = app.Documents().size();
    EXPECT_EQ(model.OpenResult(Filled(16, 12, 12, 5)), nullptr);
    EXPECT_EQ(app.Documents().size(), count);
}

TEST_F(ToolWindowModelTest, OpensAResultAsANewDocumentOfTheSource) {
    CVistrelDoc* source = Open("/d/case.pgx", 1000);
    app.SetActiveDocument(source);
    CProbeModel model(app);
    const std::size_t count = app.Documents().size();
    const std::size_t windows = ui.opened.size();

    CVistrelDoc* edges = model.OpenResult(Filled(16, 12, 12, 7), " EDGES");
    ASSERT_TRUE(edges);
    ASSERT_EQ(app.Documents().size(), count + 1);
    EXPECT_EQ(app.Documents().back().get(), edges);
    ASSERT_EQ(ui.opened.size(), windows + 1);
    EXPECT_EQ(ui.opened.back(), edges);
    EXPECT_EQ(edges->image.GetPixel(3, 3), 7);
    EXPECT_EQ(edges->pathName, "/d/case.pgx EDGES");
    EXPECT_NE(edges->Title().toStdString().find("case.pgx EDGES"), std::string::npos)
        << edges->Title().toStdString();
    EXPECT_EQ(model.Result(), nullptr);  // not kept
    // The source stays as it was, name and pixels.
    EXPECT_EQ(source->pathName, "/d/case.pgx");
    EXPECT_EQ(source->image.GetPixel(3, 3), 1000);
    EXPECT_EQ(model.Source(), source);

    // Without a suffix the title is the source's.
    CVistrelDoc* plain = model.OpenResult(Filled(16, 12, 12, 9));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->pathName, "/d/case.pgx");

    // An invalid image opens nothing (the document says why).
    sink.shown.clear();
    EXPECT_EQ(model.OpenResult(std::make_unique<CMImage>()), nullptr);
    EXPECT_EQ(app.Documents().size(), count + 2);
    EXPECT_EQ(sink.shown.size(), 1u);
}

TEST_F(ToolWindowModelTest, UpdatesTheKeptResultInPlace) {
    CVistrelDoc* source = Open("/d/a.pgx");
    app.SetActiveDocument(source);
    CProbeModel model(app);
    CVistrelDoc* kept = model.OpenResult(Filled(16, 12, 12, 3000), {}, true);
    ASSERT_TRUE(kept);
    kept->windowLow = 2000;
    kept->windowHigh = 4000;
    std::vector<int> codes;
    QObject::connect(kept, &CVistrelDoc::updated, [&](int code) { codes.push_back(code); });
    const std::size_t count = app.Documents().size();

    // A 1-bit picture: the same document shows it, its window clamped into 0..1.
    CMImage next = *Filled(16, 12, 1, 1);
    bool adjusted = false;
    ASSERT_TRUE(model.UpdateResultInPlace(next, kUpdateImage, [&](CVistrelDoc& doc) {
        EXPECT_EQ(&doc, kept);
        EXPECT_EQ(doc.image.depth, 1);  // after the swap, before the views
        EXPECT_TRUE(codes.empty());
        adjusted = true;
    }));
    EXPECT_TRUE(adjusted);
    EXPECT_EQ(app.Documents().size(), count);
    EXPECT_EQ(model.Result(), kept);
    EXPECT_EQ(kept->image.depth, 1);
    EXPECT_EQ(kept->image.GetPixel(5, 5), 1);
    EXPECT_GE(kept->windowLow, 0);
    EXPECT_LE(kept->windowHigh, 1);
    EXPECT_EQ(codes, std::vector<int>{kUpdateImage});
    // The old picture comes back to the caller.
    EXPECT_EQ(next.depth, 12);
    EXPECT_EQ(next.GetPixel(5, 5), 3000);
}

}  // namespace
}  // namespace vistrel
