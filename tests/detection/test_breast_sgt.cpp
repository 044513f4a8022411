#include "detection/breast_sgt.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/image_operations.h"
#include "support/scratch_dir.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;
using testsupport::CScratchDir;
using testsupport::ReadFileBytes;

using Points = std::vector<CPoint>;

struct CGoodText {
    const char* name;
    std::string text;
    Points points;
};

TEST(SgtParse, ReadsPointsAndClosesOnlyOpenContours) {
    const CGoodText cases[] = {
        {"closed is not extended",
         "640 480\n\n4\n1 2\n3 4\n5 6\n1 2\n",
         {{1, 2}, {3, 4}, {5, 6}, {1, 2}}},
        {"open gets its first point",
         "640 480\n\n3\n1 2\n3 4\n5 6\n",
         {{1, 2}, {3, 4}, {5, 6}, {1, 2}}},
        {"CR LF, blanks and no final line end",
         "640 480\r\n\r\n 3 \r\n 1   2 \r\n3\t4\r\n5 6",
         {{1, 2}, {3, 4}, {5, 6}, {1, 2}}},
        {"signs and points far outside any image",
         "x\ny\n2\n-3 +7\n2000000000 -2147483648\n",
         {{-3, 7}, {2000000000, INT32_MIN}, {-3, 7}}},
        {"a single point", "a\nb\n1\n5 5\n", {{5, 5}}},
        {"lines after the points are ignored",
         "a\nb\n2\n1 1\n2 2\nnot read\n",
         {{1, 1}, {2, 2}, {1, 1}}},
    };
    for (const CGoodText& c : cases) {
        CBreastSgt outline;
        EXPECT_EQ(ParseSgtText(c.text, outline), ESgtRead::Read) << c.name;
        EXPECT_EQ(outline.Points(), c.points) << c.name;
    }
}

struct CBadText {
    const char* name;
    std::string text;
    ESgtRead reason;
};

TEST(SgtParse, BadTextsGiveNoOutlineAndTheirReason) {
    const CBadText cases[] = {
        {"empty", "", ESgtRead::Truncated},
        {"no count line", "640 480\n\n", ESgtRead::Truncated},
        {"zero count", "a\nb\n0\n1 2\n", ESgtRead::NoPoints},
        {"negative count", "a\nb\n-5\n1 2\n", ESgtRead::NoPoints},
        {"count not a number", "a\nb\nfour\n1 2\n", ESgtRead::BadNumber},
        {"count with trailing garbage", "a\nb\n3x\n1 2\n1 2\n1 2\n", ESgtRead::BadNumber},
        {"count beyond int32", "a\nb\n99999999999\n1 2\n", ESgtRead::BadNumber},
        {"empty count line", "a\nb\n\n1 2\n", ESgtRead::BadNumber},
        {"three numbers", "a\nb\n2\n1 2 3\n4 5\n", ESgtRead::BadNumber},
        {"comma", "a\nb\n2\n1,2\n4 5\n", ESgtRead::BadNumber},
        {"one number", "a\nb\n2\n12345\n4 5\n", ESgtRead::BadNumber},
        {"coordinate beyond int32", "a\nb\n2\n1 2147483648\n4 5\n", ESgtRead::BadNumber},
        {"blank line among the points", "a\nb\n3\n10 20\n\n40 50\n", ESgtRead::BadNumber},
        {"NUL in a number", std::string("a\nb\n2\n1 2\0\n4 5\n", 16), ESgtRead::BadNumber},
        {"huge count, few bytes", "a\nb\n2000000000\n1 2\n", ESgtRead::TooMany},
        {"count larger than the lines (short lines)", "a\nb\n4\n2 2\n9 2\n", ESgtRead::TooMany},
        {"count larger than the lines (long lines)", "a\nb\n3\n1000 2000\n3000 4000\n",
         ESgtRead::Truncated},
    };
    for (const CBadText& c : cases) {
        CBreastSgt outline({{9, 9}, {8, 8}});
        EXPECT_EQ(ParseSgtText(c.text, outline), c.reason) << c.name;
        EXPECT_TRUE(outline.IsEmpty()) << c.name;
    }
}

TEST(SgtText, WritesTheFixedLayoutAndReadsItBack) {
    const CBreastSgt outline(Points{{10, 20}, {30, 20}, {30, 40}, {10, 20}});
    const std::string text = outline.ToSgtText(640, 480);
    EXPECT_EQ(text, "640 480\n\n4\n10 20\n30 20\n30 40\n10 20\n");
    CBreastSgt back;
    ASSERT_EQ(ParseSgtText(text, back), ESgtRead::Read);
    EXPECT_EQ(back.Points(), outline.Points());
}

// A mirrored image's outline is written unmirrored and mirrored again when
// read: the outline must come back unchanged, and the file must hold the
// coordinates of the unmirrored image.
TEST(SgtText, MirroredOutlineSurvivesTheFileRoundTrip) {
    const int32_t width = 300;
    const CBreastSgt shown(Points{{0, 5}, {299, 5}, {150, 90}, {0, 5}});
    CBreastSgt written = shown;
    written.MirrorHorizontal(width);
    EXPECT_EQ(written.Points(), (Points{{299, 5}, {0, 5}, {149, 90}, {299, 5}}));
    CBreastSgt read;
    ASSERT_EQ(ParseSgtText(written.ToSgtText(width, 100), read), ESgtRead::Read);
    read.MirrorHorizontal(width);
    EXPECT_EQ(read.Points(), shown.Points());

    CBreastSgt vertical = shown;
    vertical.MirrorVertical(100);
    EXPECT_EQ(vertical.Points()[2], (CPoint{150, 9}));
}

// The outline turned with the image must still mark the same pixels.
TEST(SgtGeometry, RotateFollowsTheImageRotation) {
    const int32_t w = 7, h = 4;
    const Points points{{0, 0}, {6, 0}, {6, 3}, {2, 1}};
    for (int angle : {kRotate180, kRotateClockwise, kRotateCounterClockwise}) {
        CMImageBase image;
        ASSERT_TRUE(image.Create(w, h, 8, 0));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) image.SetPixel(x, y, 0);
        for (std::size_t i = 0; i < points.size(); ++i)
            image.SetPixel(points[i].x, points[i].y, int32_t(i) + 1);
        ASSERT_TRUE(Rotate(image, angle));
        CBreastSgt outline(points);
        outline.Rotate(angle, w, h);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const CPoint p = outline.Points()[i];
            EXPECT_EQ(image.GetPixel(p.x, p.y), int32_t(i) + 1)
                << "angle " << angle << " point " << i;
        }
    }
}

TEST(SgtGeometry, ScaledBoundsTranslateAndClosed) {
    const CBreastSgt outline(Points{{3, 7}, {13, 7}, {13, 19}, {3, 7}});
    EXPECT_EQ(outline.Scaled(0.5).Points(), (Points{{1, 3}, {6, 3}, {6, 9}, {1, 3}}));
    EXPECT_EQ(outline.Scaled(20.0).Points()[2], (CPoint{260, 380}));
    EXPECT_EQ(outline.Bounds(), (CRect{3, 7, 14, 20}));
    EXPECT_TRUE(CBreastSgt().Bounds().IsEmpty());
    // Scaling far beyond int32 saturates instead of wrapping.
    EXPECT_EQ(CBreastSgt(Points{{INT32_MAX / 2, -5}}).Scaled(10.0).Points()[0],
              (CPoint{INT32_MAX, -50}));

    CBreastSgt moved = outline;
    moved.Translate(3, 7);
    EXPECT_EQ(moved.Points()[0], (CPoint{0, 0}));

    struct {
        Points points;
        bool closed;
    } closedCases[] = {
        {{{3, 7}, {13, 7}, {13, 19}, {3, 7}}, true},
        {{{3, 7}, {13, 7}, {13, 19}}, false},                 // not closed
        {{{3, 7}, {13, 7}, {3, 7}, {13, 7}, {3, 7}}, false},  // two distinct points
        {{}, false},
    };
    for (const auto& c : closedCases) EXPECT_EQ(CBreastSgt(c.points).IsClosed(), c.closed);
}

TEST(SgtFile, WriteIsExactAndReadReturnsTheOutline) {
    CScratchDir dir;
    ASSERT_TRUE(dir.IsValid());
    const CBreastSgt outline(Points{{1, 2}, {30, 2}, {30, 40}, {1, 2}});
    const std::string path = dir.Path("case.sgt");
    ASSERT_TRUE(WriteSgtFile(path, outline, 64, 48));
    EXPECT_EQ(ReadFileBytes(path), "64 48\n\n4\n1 2\n30 2\n30 40\n1 2\n");
    CBreastSgt back;
    std::string reason;
    ASSERT_TRUE(ReadSgtFile(path, back, reason)) << reason;
    EXPECT_EQ(back.Points(), outline.Points());

    // Nothing to write: no file appears, an existing one is kept.
    EXPECT_FALSE(WriteSgtFile(dir.Path("none.sgt"), CBreastSgt(), 64, 48));
    EXPECT_FALSE(fs::exists(dir.Path("none.sgt")));
    EXPECT_FALSE(WriteSgtFile(path, CBreastSgt(), 64, 48));
    EXPECT_EQ(ReadFileBytes(path), "64 48\n\n4\n1 2\n30 2\n30 40\n1 2\n");
    EXPECT_FALSE(WriteSgtFile(dir.Path("no/such/folder/x.sgt"), outline, 64, 48));
}

TEST(SgtFile, UnreadableFilesSayWhy) {
    CScratchDir dir;
    ASSERT_TRUE(dir.IsValid());
    fs::create_directory(dir.path() / "folder.sgt");
    const std::string big = dir.Path("big.sgt");
    { std::ofstream(big) << "a\nb\n1\n1 1\n"; }
    fs::resize_file(big, std::uintmax_t{300} << 20);  // sparse: costs no disk
    struct {
        std::string path;
        const char* says;
    } cases[] = {
        {dir.Path("missing.sgt"), "not found"},
        {dir.Path("folder.sgt"), "not a file"},
        {big, "too large"},
        {dir.Write("short.sgt", "a\nb\n3\n1000 2000\n3000 4000\n"), "ends early"},
        {dir.Write("empty.sgt", "a\nb\n0\n"), "no points"},
        {dir.Write("bad.sgt", "a\nb\n2\n1;2\n3 4\n"), "integers"},
        {dir.Write("lie.sgt", "a\nb\n123456789\n1 2\n"), "larger than the file"},
    };
    for (const auto& c : cases) {
        CBreastSgt outline({{1, 1}});
        std::string reason;
        EXPECT_FALSE(ReadSgtFile(c.path, outline, reason)) << c.path;
        EXPECT_TRUE(outline.IsEmpty()) << c.path;
        EXPECT_NE(reason.find(c.says), std::string::npos) << c.path << ": " << reason;
    }
}

}  // namespace
}  // namespace vistrel
