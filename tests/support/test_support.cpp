// The shared fixtures must mean what they say: the PGX bytes read back by the
// library as the samples given, scratch folders gone afterwards, scripted
// answers in order, specks where they were put.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "support/native_file_builders.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"
#include "support/speck_image.h"

namespace vistrel::testsupport {
namespace {

namespace fs = std::filesystem;

TEST(PgxBytes, TheLibraryAndTheIndependentReaderAgreeOnEveryOrderAndDepth) {
    CScratchDir dir;
    CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    const std::vector<uint16_t> samples = {0x0001, 0x0ABC, 0x0FFF, 0x0800, 0x0123, 0x0F0E};
    const struct {
        const char* order;
        int depth;
        std::string comments;
    } cases[] = {{"LM", 12, ""}, {"ML", 12, "#a comment\n"}, {"LM", 16, ""}, {"ML", 8, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.order) + " " + std::to_string(c.depth));
        std::vector<uint16_t> expected = samples;
        if (c.depth == 8)
            for (uint16_t& s : expected) s &= 0xFF;
        const std::string path =
            dir.Write("a.pgx", PgxBytes(c.order, c.depth, 3, 2, expected, c.comments));

        const CPgxFile file = ReadPgx(path);
        EXPECT_EQ(file.order, c.order);
        EXPECT_EQ(file.depth, c.depth);
        EXPECT_EQ(file.samples, expected);

        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open(path, description), 1) << (sink.shown.empty() ? "" : sink.shown[0]);
        ASSERT_EQ(image.width, 3);
        ASSERT_EQ(image.height, 2);
        EXPECT_EQ(ValuesOf(image), std::vector<int32_t>(expected.begin(), expected.end()));
    }
}

TEST(PgxBytes, ATruncatedFileReadsAsNoSamples) {
    CScratchDir dir;
    const std::string bytes = PgxBytes("LM", 12, 2, 2, {1, 2, 3, 4});
    EXPECT_TRUE(ReadPgx(dir.Write("short.pgx", bytes.substr(0, bytes.size() - 1))).samples.empty());
    EXPECT_TRUE(ReadPgx(dir.Path("missing.pgx")).samples.empty());
}

TEST(ScratchDir, EachIsNewAndGoesWithEverythingInIt) {
    fs::path first, second;
    {
        CScratchDir a("vistrel_support");
        CScratchDir b("vistrel_support");
        ASSERT_TRUE(a.IsValid());
        first = a.path();
        second = b.path();
        EXPECT_NE(first, second);
        EXPECT_TRUE(fs::is_directory(first));
        EXPECT_EQ(ReadFileBytes(a.Write("x.bin", std::string("a\0b", 3))), std::string("a\0b", 3));
        // A folder the test made read-only, with a file inside.
        fs::create_directories(first / "locked");
        WriteFileBytes(first / "locked" / "f", "data");
        fs::permissions(first / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        fs::permissions(first, fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
}

TEST(RecordingSink, AnswersFromTheScriptThenZeroAndKeepsTheOrder) {
    CRecordingSink sink;
    sink.answers = {2, 1};
    CScopedMessageSink guard(&sink);
    messages().show("first");
    EXPECT_EQ(messages().ask("q1", {"A", "B", "C"}), 2);
    EXPECT_EQ(messages().ask("q2", {"Yes", "No"}), 1);
    EXPECT_EQ(messages().ask("q3", {"OK"}), 0);
    messages().show("last");
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"first", "last"}));
    EXPECT_EQ(sink.asked, (std::vector<std::string>{"q1", "q2", "q3"}));
    EXPECT_EQ(sink.choicesAsked[1], (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"first", "q1", "q2", "q3", "last"}));
}

TEST(SpeckImage, SpecksStandOutWhereTheyWerePutAndTheSeedFixesTheNoise) {
    const struct {
        const char* name;
        CSpeckImageParams params;
    } cases[] = {
        {"uniform noise", {}},
        {"gaussian noise and a wave",
         {.width = 200,
          .height = 160,
          .seed = 7,
          .waveAmplitude = 60,
          .wavePeriod = 23,
          .noise = CSpeckImageParams::ENoise::Gaussian,
          .gaussianNoise = 5,
          .specks = {{40, 40, 1.5}, {120, 50, 2.5}, {70, 110, 3.5}, {160, 120, 1.0}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CMImage image = SpeckImage(c.params);
        ASSERT_EQ(image.width, c.params.width);
        ASSERT_EQ(image.height, c.params.height);
        EXPECT_EQ(ValuesOf(image), ValuesOf(SpeckImage(c.params)));
        CSpeckImageParams otherSeed = c.params;
        ++otherSeed.seed;
        EXPECT_NE(ValuesOf(image), ValuesOf(SpeckImage(otherSeed)));
        for (const CSpeck& s : c.params.specks) {
            // Half the contrast or more at the centre; the background far off.
            EXPECT_GT(image.GetPixel(s.x, s.y), 1200 + 60 + 250) << s.x << "," << s.y;
            EXPECT_LT(image.GetPixel(s.x, s.y + 8), 1200 + 60 + 40) << s.x << "," << s.y;
        }
    }
}

TEST(SpeckImage, SamplesStayWithinTheDepth) {
    CSpeckImageParams params;
    params.depth = 8;
    params.background = 20;
    params.contrast = 1000;
    const CMImage image = SpeckImage(params);
    EXPECT_EQ(image.GetPixel(25, 25), 255);
    params.background = -100;
    EXPECT_EQ(SpeckImage(params).GetPixel(0, 0), 0);
}

}  // namespace
}  // namespace vistrel::testsupport
