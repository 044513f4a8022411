#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/messages.h"
#include "regions/overlay_file.h"

namespace vistrel {
namespace {

// With no sink installed a question would go to stderr and take its first
// answer ("Yes": current coordinates); the writer must neither ask nor guess.
TEST(OverlayWriterWithoutSink, WritesTheCoordinatesItIsTold) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vistrel_told_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ASSERT_EQ(setMessageSink(nullptr), nullptr) << "another test left a sink installed";
    COverlayPlacement cut;
    cut.imageWidth = 40;
    cut.imageHeight = 30;
    cut.originX = 10;
    cut.originY = 5;
    cut.originalWidth = 100;
    CRegions regions;
    regions.Add(CRegion({{3, 4}, {8, 4}, {8, 9}, {3, 9}}, CRegion::PointsMode::Polygon));
    const struct {
        bool currentCoordinates;
        const char* outlineStart;
    } cases[] = {{false, "13 9 "}, {true, "3 4 "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.currentCoordinates);
        const std::string path = (dir / "told.OVERLAY").string();
        ::testing::internal::CaptureStderr();
        const COverlayWriteResult result =
            WriteOverlay(path, "", regions, CRegions{}, cut, c.currentCoordinates);
        const std::string printed = ::testing::internal::GetCapturedStderr();
        ASSERT_EQ(result, COverlayWriteResult::Written);
        EXPECT_EQ(printed, "");
        std::ifstream in(path, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        // The region's header line, then its outline.
        EXPECT_NE(text.find(std::string("\r\n") + c.outlineStart), std::string::npos) << text;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vistrel
