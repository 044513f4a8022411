#include "workspace/file_filters.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

TEST(FileFilters, OpenListConvertsToQtForm) {
    const auto filters = ParseFilterList(kOpenFilterList);
    ASSERT_EQ(filters.size(), 10u);
    EXPECT_EQ(ToQtFilter(filters[0]),
              "All supported Graphic Files (*.jpg *.dib *.rle *.gif *.jpeg *.jfif *.tif *.tiff "
              "*.bmp *.png *.pgm *.pgx *.raw *.dcm)");
    EXPECT_EQ(ToQtFilter(filters[1]), "Bitmap Files (*.bmp *pgm *.dib *.rle)");
    EXPECT_EQ(ToQtFilter(filters[9]), "All Files (*.*) (*.*)");
    EXPECT_EQ(filters[9].Extension(), "");
    EXPECT_EQ(ToQtFilterString(ParseFilterList(kSaveFilterListDeep)),
              "PGX - Portable Gray Maps (2 bytes/pixel) (*.pgx);;RAW - Raw Image Data (*.raw)");
}

TEST(FileFilters, ReplaceExtensionTouchesOnlyTheFileName) {
    struct Case {
        const char *path, *ext, *expected;
    } cases[] = {
        {"/a/b/img.pgm", "raw", "/a/b/img.raw"},
        {"/a/b/img", "bmp", "/a/b/img.bmp"},
        {"/a.dir/img", "pgx", "/a.dir/img.pgx"},
        {"/a/A_1.LEFT_CC.pgm", "pgx", "/a/A_1.LEFT_CC.pgx"},
        {"/a/img.pgm", "", "/a/img.pgm"},
    };
    for (const Case& c : cases) EXPECT_EQ(ReplaceExtension(c.path, c.ext), c.expected) << c.path;
}

TEST(FileFilters, FormatLossDecidesTheWarning) {
    EXPECT_EQ(SaveFormatLossFor("raw"), SaveFormatLoss::SizeAndDescription);
    EXPECT_EQ(SaveFormatLossFor("RAW"), SaveFormatLoss::SizeAndDescription);
    EXPECT_EQ(SaveFormatLossFor("bmp"), SaveFormatLoss::Description);
    for (const char* ext : {"pgx", "pgm", "png", "gif", "tif", ""})
        EXPECT_EQ(SaveFormatLossFor(ext), SaveFormatLoss::None) << ext;
}

}  // namespace
}  // namespace vistrel
