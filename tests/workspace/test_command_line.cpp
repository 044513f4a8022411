#include "workspace/command_line.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

namespace vistrel {
namespace {

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        image = (dir.path() + "/scan.pgx").toStdString();
        params = (dir.path() + "/set.wtp").toStdString();
        curve = (dir.path() + "/c.crv").toStdString();
        for (const std::string& path : {image, params, curve}) std::ofstream(path) << "x";
    }
    QTemporaryDir dir;
    std::string image, params, curve;
};

TEST_F(CommandLine, SwitchesNumbersAndNames) {
    struct Case {
        std::vector<std::string> args;
        std::string switches;  // letters expected set, in kSwitchLetters order
        char batch;
        std::string file;
        double s, v1;
        int v2;
        std::vector<std::string> extras;
    };
    const std::string missing = "/no/such/file.pgx";
    const Case cases[] = {
        {{}, "", 0, "", 0, 0, 0, {}},
        {{image}, "", 0, image, 0, 0, 0, {}},
        {{"-c", image}, "c", 'c', image, 0, 0, 0, {}},
        {{image, "/e"}, "e", 'e', image, 0, 0, 0, {}},
        {{"f", image}, "f", 'f', image, 0, 0, 0, {}},  // a bare letter is a switch too
        {{"-s", "3", image}, "s", 's', image, 3, 0, 0, {}},
        {{"-s", "-3", image}, "s", 's', image, 0, 0, 0, {}},  // not positive: an unknown flag
        {{"-v", "0.25", "7", image}, "v", 'v', image, 0, 0.25, 7, {}},
        {{"-v", "0.5", image, "9"}, "v", 'v', image, 0, 0.5, 9, {}},
        {{"-w", "-t", image, params}, "wt", 'w', image, 0, 0, 0, {params}},
        {{"-w", image, params}, "w", 'w', image, 0, 0, 0, {}},  // no "t": no extra names
        {{"-r", "-t", "-k", image, params, "/out/R"},
         "rtk",
         'r',
         image,
         0,
         0,
         0,
         {params, "/out/R"}},
        {{"-z", "-t", image, params, curve, "new.wtp"},
         "zt",
         'z',
         image,
         0,
         0,
         0,
         {curve, "new.wtp"}},
        {{missing, image}, "", 0, image, 0, 0, 0, {}},      // the first existing file
        {{"-c", missing}, "c", 'c', missing, 0, 0, 0, {}},  // opening it will fail
        {{"-cx", "-q", image}, "", 0, image, 0, 0, 0, {}},  // only one-letter switches count
        {{"-c", "-b", "-g"}, "cbg", 'b', "", 0, 0, 0, {}},  // the routine order decides
    };
    for (const Case& c : cases) {
        std::string label;
        for (const auto& a : c.args) label += a + " ";
        CVTCommandLineInfo info;
        info.Parse(c.args);
        std::string set;
        for (const char* l = kSwitchLetters; *l; ++l)
            if (info.Has(*l)) set += *l;
        std::string expected;
        for (const char* l = kSwitchLetters; *l; ++l)
            if (c.switches.find(*l) != std::string::npos) expected += *l;
        EXPECT_EQ(set, expected) << label;
        EXPECT_EQ(info.BatchSwitch(), c.batch) << label;
        EXPECT_EQ(info.FileName(), c.file) << label;
        EXPECT_DOUBLE_EQ(info.sValue, c.s) << label;
        EXPECT_DOUBLE_EQ(info.vValue1, c.v1) << label;
        EXPECT_EQ(info.vValue2, c.v2) << label;
        EXPECT_EQ(info.ExtraNames(), c.extras) << label;
    }
}

TEST_F(CommandLine, UnknownFlagsAreKeptForTheReport) {
    CVTCommandLineInfo info;
    info.Parse({"-cx", "--verbose", "-q", image});
    EXPECT_EQ(info.UnknownFlags(), (std::vector<std::string>{"cx", "-verbose", "q"}));
    EXPECT_FALSE(info.Has('c'));
    EXPECT_FALSE(info.Has('x'));
}

TEST_F(CommandLine, EveryNameIsADocumentWithoutABatchSwitch) {
    const std::string missing = "/no/such/file.pgx";
    CVTCommandLineInfo four;
    four.Parse({image, params, missing, curve});
    EXPECT_EQ(four.FileNames(), (std::vector<std::string>{image, params, missing, curve}));
    EXPECT_EQ(four.BatchSwitch(), 0);

    // A batch routine still works on one file.
    CVTCommandLineInfo batch;
    batch.Parse({"-c", missing, image, params});
    EXPECT_EQ(batch.BatchSwitch(), 'c');
    EXPECT_EQ(batch.FileName(), image);
}

TEST_F(CommandLine, HelpIsRequestedByItsTwoSpellingsOnly) {
    struct Case {
        std::vector<std::string> args;
        bool help;
    } cases[] = {
        {{"--help"}, true},    {{"-h"}, true},
        {{image, "-h"}, true}, {{"-c", "--help", image}, true},
        {{"h"}, false},  // a bare word is a file name
        {{"-help"}, false},    {{image}, false},
    };
    for (const Case& c : cases) {
        CVTCommandLineInfo info;
        info.Parse(c.args);
        EXPECT_EQ(info.HelpRequested(), c.help) << c.args.front();
        if (c.help) {
            EXPECT_TRUE(info.UnknownFlags().empty()) << c.args.front();
        }
    }
}

TEST(Usage, NamesTheFilesAndEverySwitchOnALineOfItsOwn) {
    const std::string usage = UsageText();
    EXPECT_EQ(usage.rfind("Usage: vistrel [FILE...]\n", 0), 0u) << usage;
    for (const char* letter = kSwitchLetters; *letter; ++letter) {
        const std::string head = std::string("\n  -") + *letter + " ";
        EXPECT_NE(usage.find(head), std::string::npos) << "no line for -" << *letter;
    }
    EXPECT_NE(usage.find("\n  -h, --help"), std::string::npos);
    // Routines this build lacks say so; those it has do not.
    const auto lineOf = [&usage](char letter) {
        const auto at = usage.find(std::string("\n  -") + letter + " ");
        return usage.substr(at + 1, usage.find('\n', at + 1) - at - 1);
    };
    EXPECT_EQ(lineOf('c').find("not in this build"), std::string::npos) << lineOf('c');
    EXPECT_NE(lineOf('g').find("not in this build"), std::string::npos) << lineOf('g');
}

}  // namespace
}  // namespace vistrel
