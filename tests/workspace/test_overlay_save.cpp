#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "vistrel_doc_fixture.h"

namespace vistrel {
namespace {

// The coordinate question of an OVERLAY save belongs to the document: the
// writer below it is told which coordinates to use.
class OverlaySaveQuestion : public DocTest {
  protected:
    // A 40 x 30 document holding one square at (3, 4); origin (x, y) in its source.
    std::unique_ptr<CVistrelDoc> MakeDoc(int32_t originX, int32_t originY) {
        auto doc = std::make_unique<CVistrelDoc>(app, 1);
        doc->image.Create(40, 30, 12, 1);
        doc->pathName = Path("cut.pgx");
        doc->originX = originX;
        doc->originY = originY;
        doc->originalWidth = originX || originY ? 100 : 0;
        doc->originalHeight = originX || originY ? 80 : 0;
        doc->regions.Add(Square(3, 4, 8, 9));
        return doc;
    }
};

TEST_F(OverlaySaveQuestion, AskedOnlyForAnInteractiveSaveOfACutOut) {
    const std::string replace = " already exists.\nDo you want to replace it?";
    struct Case {
        const char* name;
        int32_t originX, originY;
        bool currentCoordinates, interactive;
        bool existing;  // the chosen file is there already
        std::deque<int> answers;
        std::vector<std::string> asked;  // "Q" stands for the coordinate question
        const char* outlineStart;        // nullptr: nothing written
    } cases[] = {
        {"yes keeps the cut-out's coordinates", 10, 5, false, true, false, {0}, {"Q"}, "3 4 "},
        {"no writes the source image's", 10, 5, false, true, false, {1}, {"Q"}, "13 9 "},
        {"an origin in x alone is a cut-out", 10, 0, false, true, false, {1}, {"Q"}, "13 4 "},
        {"current coordinates asked for already", 10, 5, true, true, false, {1}, {}, "3 4 "},
        {"not a cut-out", 0, 0, false, true, false, {1}, {}, "3 4 "},
        {"saving with the image", 10, 5, false, false, false, {0}, {}, "13 9 "},
        {"replacing first, then the coordinates",
         10,
         5,
         false,
         true,
         true,
         {0, 1},
         {"R", "Q"},
         "13 9 "},
        {"refused replacement asks no more", 10, 5, false, true, true, {1, 0}, {"R"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = MakeDoc(c.originX, c.originY);
        const std::string file = Path(std::string("out") + std::to_string(&c - cases) + ".OVERLAY");
        if (c.existing) std::ofstream(file) << "old\r\n";
        sink.asked.clear();
        sink.choicesAsked.clear();
        sink.answers = c.answers;
        ui.savePath = file;
        ui.saveFilter = 0;
        const COverlayWriteResult result = doc->WriteOverlay(c.interactive ? std::string{} : file,
                                                             c.currentCoordinates, c.interactive);

        ASSERT_EQ(sink.asked.size(), c.asked.size());
        for (std::size_t i = 0; i < c.asked.size(); ++i) {
            if (c.asked[i] == "Q") {
                EXPECT_EQ(sink.asked[i],
                          "Save according to the current image coordinate system (yes) or the "
                          "original image one (no)?");
            } else {
                EXPECT_EQ(sink.asked[i], file + replace);
            }
            EXPECT_EQ(sink.choicesAsked[i], (std::vector<std::string>{"Yes", "No"}));
        }
        if (c.outlineStart) {
            EXPECT_EQ(result, COverlayWriteResult::Written);
            // The region's header line, then its outline.
            const std::string text = testing::ReadFileBytes(file);
            EXPECT_NE(text.find(std::string("\r\n") + c.outlineStart), std::string::npos) << text;
        } else {
            EXPECT_EQ(result, COverlayWriteResult::NothingToWrite);
            EXPECT_EQ(testing::ReadFileBytes(file), c.existing ? "old\r\n" : "");
        }
    }
}

TEST_F(OverlaySaveQuestion, ACancelledFileDialogAsksNothing) {
    auto doc = MakeDoc(10, 5);
    ui.saveOk = false;
    ui.savePath = Path("never.OVERLAY");
    EXPECT_EQ(doc->OnSaveOverlay(), COverlayWriteResult::NothingToWrite);
    EXPECT_TRUE(sink.asked.empty());
}

}  // namespace
}  // namespace vistrel
