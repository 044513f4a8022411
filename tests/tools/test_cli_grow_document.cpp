// Regions grown in the workstation's document and by vistrel-cli grow from the
// same image and seeds are the same outlines.

#include <QJsonArray>
#include <string>
#include <vector>

#include "../workspace/workspace_fakes.h"
#include "cli_test_support.h"
#include "detection/grow_from_seeds.h"
#include "detection/spot_file.h"
#include "support/speck_image.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel::clitest {
namespace {

class CliGrowDocumentTest : public CCliScratchTest {
  protected:
    void SetUp() override {
        testsupport::CSpeckImageParams params;
        params.specks.push_back({60, 50, 2.5});
        params.specks.push_back({64, 52, 2.0});  // close enough to overlap the one before
        const CMImage image = testsupport::SpeckImage(params);
        std::vector<uint16_t> samples;
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x)
                samples.push_back(static_cast<uint16_t>(image.GetPixel(x, y)));
        imagePath = Path("specks.pgx");
        WriteFile(imagePath, PgxBytes(12, image.width, image.height, samples));
        // Seeds on and off the specks, with the scales the LoG input reads.
        CSpotList seeds;
        const int scales[] = {3, 4, 5, 3, 4, 3};
        const CPoint points[] = {{25, 25}, {70, 30}, {40, 70}, {95, 75}, {60, 50}, {64, 52}};
        for (int i = 0; i < 6; ++i) seeds.AddNew(points[i], 50.0 + i, double(scales[i]));
        seeds.AddNew({10, 90}, 5.0, 3.0);  // on the background
        seedsPath = Path("seeds.cnd");
        ASSERT_EQ(SaveSpots(seedsPath, seeds, {0, 0}), 7);
    }

    // The outlines as "x y codes", in list order.
    static std::vector<std::string> Outlines(const CRegions& regions) {
        std::vector<std::string> out;
        for (int32_t i = 0; i < regions.Count(); ++i) out.push_back(regions.At(i)->ToText());
        return out;
    }
    static std::vector<std::string> Outlines(const QJsonArray& regions) {
        std::vector<std::string> out;
        for (const QJsonValue& v : regions) {
            const QJsonObject r = v.toObject();
            const QJsonArray start = r["start"].toArray();
            out.push_back(std::to_string(start[0].toInt()) + " " +
                          std::to_string(start[1].toInt()) + " " +
                          r["chain"].toString().toStdString());
        }
        return out;
    }
    QJsonArray CliRegions(std::vector<std::string> args) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        return JsonOf(run)["regions"].toArray();
    }

    testing::CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    testing::CFakeUi ui;
    CVistrelApp app{&ui};
    std::string imagePath, seedsPath;
};

TEST_F(CliGrowDocumentTest, SpotFileSeedsGrowTheSameRegions) {
    struct Case {
        std::vector<std::string> options;
        EGrowAlgorithm algorithm;
        EGrowInput input;
        int directions;
        bool join;
        int32_t windowPx;  // 0: the document's default, 0.3 cm
    };
    const Case cases[] = {
        {{}, EGrowAlgorithm::LocalStatistics, EGrowInput::LoGInScales, 8, true, 0},
        {{"--algorithm", "max-slope", "--input", "image", "--window", "9px", "--directions", "16"},
         EGrowAlgorithm::MaxSlope,
         EGrowInput::Image,
         16,
         true,
         9},
        {{"--algorithm", "min-slope-circles", "--input", "white-top-hat", "--window", "7px",
          "--no-join"},
         EGrowAlgorithm::MinSlopeCircles,
         EGrowInput::WhiteTopHat,
         8,
         false,
         7},
        {{"--algorithm", "local-min", "--input", "image", "--window", "9px", "--directions", "4",
          "--k", "0.5"},
         EGrowAlgorithm::LocalMin,
         EGrowInput::Image,
         4,
         true,
         9},
    };
    for (const Case& c : cases) {
        CVistrelDoc* doc = app.OpenDocumentFile(imagePath);
        ASSERT_NE(doc, nullptr);
        CSpotList seeds;
        ASSERT_EQ(LoadSpots(seedsPath, seeds, {0, 0}, doc->image.width, doc->image.height), 7);
        doc->SetSeeds(seeds);
        CGrowParams params;
        params.algorithm = c.algorithm;
        params.input = c.input;
        params.directions = c.directions;
        params.join = c.join;
        params.k = c.algorithm == EGrowAlgorithm::LocalMin ? 0.5 : 1.5;
        params.windowPx =
            c.windowPx ? c.windowPx : GrowWindowPixels(0.3, true, double(doc->resolution));
        doc->SegmentFromSeeds(params);

        std::vector<std::string> args = {"grow", imagePath, "--cnd", seedsPath};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const std::vector<std::string> cli = Outlines(CliRegions(args));
        EXPECT_FALSE(cli.empty()) << Describe(args);
        EXPECT_EQ(cli, Outlines(doc->regions)) << Describe(args);
        app.CloseDocument(doc);
    }
}

TEST_F(CliGrowDocumentTest, DetectedSeedsGrowTheSameRegions) {
    CVistrelDoc* doc = app.OpenDocumentFile(imagePath);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->PrepareSeeds(20.0));
    ASSERT_TRUE(doc->HasSeeds());
    CGrowParams params;
    params.windowPx = GrowWindowPixels(0.3, true, double(doc->resolution));
    doc->SegmentFromSeeds(params);
    const std::vector<std::string> cli =
        Outlines(CliRegions({"grow", imagePath, "--spots", "--threshold", "20"}));
    EXPECT_FALSE(cli.empty());
    EXPECT_EQ(cli, Outlines(doc->regions));
}

}  // namespace
}  // namespace vistrel::clitest
