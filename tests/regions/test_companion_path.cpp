#include "regions/companion_path.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace vistrel;

TEST(CompanionPath, FixedModes) {
    struct Case {
        const char* path;
        int mode;
        const char* documentName;
        const char* expected;
    } cases[] = {
        {"/data/A.B.C.pgx", 1, "", "/data/A.B.C.OVERLAY"},
        {"/data/case.pgm", 1, "", "/data/case.OVERLAY"},
        // A dot in a folder name is not an extension.
        {"/data.v2/image", 1, "", "/data.v2/image.OVERLAY"},
        {"image.raw", 1, "", "image.OVERLAY"},
        {"/data/A.B.C.pgx", 0, "Other.pgm", "/data/Other.OVERLAY"},
        {"/data/A.B.C.pgx", 0, "", "/data/A.B.C.OVERLAY"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeCompanionPath(c.path, "OVERLAY", c.mode, c.documentName), c.expected)
            << c.path << " mode " << c.mode;
}

TEST(CompanionPath, DefaultOverlayName) {
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/data/case.pgx", "/data/case.OVERLAY"},
        {"/data/case.tiff", "/data/case.OVERLAY"},
        {"/data/case.pgx12", "/data/case2.OVERLAY"},
        {"/data/case", "/data/case.OVERLAY"},
    };
    for (const Case& c : cases) EXPECT_EQ(DefaultOverlayPath(c.path), c.expected) << c.path;
}

class CompanionSearch : public ::testing::Test {
  protected:
    std::string Touch(const std::string& name) const { return scratch_.Write(name, "x"); }
    testsupport::CScratchDir scratch_{"vistrel_companion"};
    std::string dir_ = scratch_.path().string();
};

TEST_F(CompanionSearch, PrefersTheFullStemThenDropsTwoExtensions) {
    const std::string image = dir_ + "/A.B.C.pgx";
    EXPECT_EQ(MakeCompanionPath(image, "OVERLAY", 2), "") << "nothing beside the image";
    const std::string shorter = Touch("A.B.OVERLAY");
    EXPECT_EQ(MakeCompanionPath(image, "OVERLAY", 2), shorter);
    const std::string full = Touch("A.B.C.OVERLAY");
    EXPECT_EQ(MakeCompanionPath(image, "OVERLAY", 2), full);
}

TEST_F(CompanionSearch, BracketedNamesFallBackToTheStemBeforeTheBracket) {
    const std::string image = dir_ + "/case[2].roi.pgx";
    EXPECT_EQ(MakeCompanionPath(image, "OVERLAY", 2), dir_ + "/case.OVERLAY");
    // Without a bracket there is no third candidate.
    EXPECT_EQ(MakeCompanionPath(dir_ + "/plain.pgx", "OVERLAY", 2), "");
}
