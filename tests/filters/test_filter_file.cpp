#include "filters/filter_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/scratch_dir.h"

namespace vistrel {
namespace {

TEST(FilterFile, NumberFormat) {
    const struct {
        double v;
        const char* text;
    } cases[] = {{0.5, "0.5"}, {2.0, "2"},     {1.0, "1"},   {0.25, "0.25"},          {-3.0, "-3"},
                 {0.0, "0"},   {100.0, "100"}, {0.1, "0.1"}, {-0.000123, "-0.000123"}};
    for (const auto& c : cases) EXPECT_EQ(FormatFilterReal(c.v), c.text) << c.v;
}

TEST(FilterFile, WritesTheDocumentedLayout) {
    CFilterLibrary lib;
    CFilter f(1, 2);
    *f.At(0, 0) = 0.5f;
    *f.At(0, 1) = 2.0f;
    f.name = "two";
    f.scale = 2.5;
    f.params = {1.0, 0.75};
    lib[2].push_back(f);
    lib[1].push_back(CFilter(3, 3));  // zeros only: not written
    EXPECT_EQ(FilterFileText(lib),
              "NAME: two \nTYPE: 2 \nWIDTH: 2 HEIGHT: 1\nSCALE: 2.5\nLP_PARAM: 2\n"
              "PARAM: 1 0.75 \n0.5 2 \n\n");
}

TEST(FilterFile, RoundTripKeepsListsAndOrder) {
    CFilterLibrary lib;
    lib[0] = {MakeGaussFilter(5, 5, 1.0), MakeBoxFilter(3, 3)};
    lib[1] = {MakeDirectionalLaplaceFilter(5, 5, 1.0, 1)};
    lib[2] = {MakeLoGSigmaFilter(7, 7, 1.2)};
    lib[3] = {MakeLoGFilter(2)};
    const testsupport::CScratchDir scratch("vistrel_filters");
    const auto path = scratch.path() / "vistrel_test_filters.flt";
    ASSERT_EQ(SaveFilterFile(path.string(), lib), 0);
    CFilterLibrary back;
    ASSERT_EQ(LoadFilterFile(path.string(), back), 0);
    std::filesystem::remove(path);
    for (std::size_t t = 0; t < 4; ++t) {
        ASSERT_EQ(back[t].size(), lib[t].size()) << t;
        for (std::size_t k = 0; k < lib[t].size(); ++k) {
            const CFilter& a = lib[t][k];
            const CFilter& b = back[t][k];
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.width, b.width);
            EXPECT_EQ(a.height, b.height);
            EXPECT_NEAR(a.scale, b.scale, 1e-12 * std::abs(a.scale));
            ASSERT_EQ(a.params.size(), b.params.size());
            for (std::size_t p = 0; p < a.params.size(); ++p)
                EXPECT_NEAR(a.params[p], b.params[p], 1e-12 * std::max(1.0, std::abs(a.params[p])));
            for (int i = 0; i < a.height; ++i)
                for (int j = 0; j < a.width; ++j) EXPECT_EQ(*a.At(i, j), *b.At(i, j)) << a.name;
        }
    }
}

TEST(FilterFile, ReadingRules) {
    const std::string text =
        "NAME:   spaced name  \nTYPE: 5 \nWIDTH: 1 HEIGHT: 1\nSCALE: 1\nLP_PARAM: 0\n7 \n\n"
        "NAME: zero \nTYPE: 0 \nWIDTH: 2 HEIGHT: 1\nSCALE: 1\nLP_PARAM: 0\n0 0 \n\n"
        "NAME: kept \nTYPE: 3 \nWIDTH: 3 HEIGHT: 2\nSCALE: 4\nLP_PARAM: 1\nPARAM: 1.5 \n"
        "1   2 3 \n4 5    6\n\n";
    CFilterLibrary lib;
    EXPECT_EQ(ParseFilterFile(text, lib), 0);
    EXPECT_TRUE(lib[0].empty());   // zeros only
    ASSERT_EQ(lib[3].size(), 1u);  // TYPE 5 dropped, the next block still read
    const CFilter& f = lib[3][0];
    EXPECT_EQ(f.name, "kept");
    EXPECT_EQ(f.scale, 4.0);
    EXPECT_EQ(f.params, std::vector<double>{1.5});
    EXPECT_EQ(*f.At(0, 1), 2.0f);
    EXPECT_EQ(*f.At(1, 2), 6.0f);
}

TEST(FilterFile, MissingKeysStopWithWhatWasRead) {
    const std::string good =
        "NAME: a \nTYPE: 0 \nWIDTH: 1 HEIGHT: 1\nSCALE: 1\nLP_PARAM: 0\n1 \n\n";
    const char* broken[] = {
        "NAME: b \nWIDTH: 1 HEIGHT: 1\n",
        "NAME: b \nTYPE: 0 \nHEIGHT: 1\nSCALE: 1\n",
        "NAME: b \nTYPE: 0 \nWIDTH: 1 HEIGHT: 1\nLP_PARAM: 0\n1 \n",
        "NAME: b \nTYPE: 0 \nWIDTH: 1 HEIGHT: 1\nSCALE: 1\n1 \n",
        "NAME: b \nTYPE: 0 \nWIDTH: 1 HEIGHT: 1\nSCALE: 1\nLP_PARAM: 2\n",
        "NAME: b \nTYPE: 0 \nWIDTH: 1 HEIGHT: 3\nSCALE: 1\nLP_PARAM: 0\n1 \n2",
        "NAME: b \nTYPE: 0 \nWIDTH: 99999999 HEIGHT: 99999999\nSCALE: 1\nLP_PARAM: 0\n",
    };
    for (const char* tail : broken) {
        CFilterLibrary lib;
        EXPECT_EQ(ParseFilterFile(good + tail, lib), -1) << tail;
        EXPECT_EQ(lib[0].size(), 1u) << tail;
    }
    CFilterLibrary lib;
    EXPECT_EQ(LoadFilterFile("/nonexistent/filters.flt", lib), 0);
    EXPECT_TRUE(lib[0].empty());
}

TEST(FilterFile, ShippedLibraryLoads) {
    CFilterLibrary lib;
    ASSERT_EQ(LoadFilterFile(std::string(VISTREL_BIN_DIR) + "/filters.flt", lib), 0);
    std::size_t total = 0;
    for (const auto& list : lib) total += list.size();
    EXPECT_GE(total, 4u);
    EXPECT_FALSE(lib[1].empty());
}

}  // namespace
}  // namespace vistrel
