#include "core/text.h"

#include <gtest/gtest.h>

#include <string>

namespace vistrel {
namespace {

TEST(FormatTest, WritesTextOfAnyLengthWithoutTruncating) {
    const std::string word(300, 'w');
    const struct {
        std::string got;
        std::string want;
    } cases[] = {
        {Format("%s", ""), ""},
        {Format("%d x %d, %.2f", 7, 9, 1.5), "7 x 9, 1.50"},
        // 255 and 256 characters sit on either side of a 256-byte buffer's limit.
        {Format("%s", std::string(255, 'a').c_str()), std::string(255, 'a')},
        {Format("%s", std::string(256, 'b').c_str()), std::string(256, 'b')},
        {Format("<%s>%d", word.c_str(), 42), "<" + word + ">42"},
        {Format("%.300f", 0.5), "0.5" + std::string(299, '0')},  // long from a number alone
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got.size(), c.want.size()) << c.want.substr(0, 20);
        EXPECT_EQ(c.got, c.want);
    }
}

TEST(CaseTest, ChangesOnlyAsciiLetters) {
    const struct {
        const char* text;
        const char* lower;
        const char* upper;
    } cases[] = {
        {"", "", ""},
        {"Scan_01.PGX", "scan_01.pgx", "SCAN_01.PGX"},
        {"@[`{", "@[`{", "@[`{"},  // the neighbours of A-Z and a-z
        // UTF-8 bytes of a path stay as they are, whatever the locale.
        {"\xC3\x84rzt.TIF", "\xC3\x84rzt.tif", "\xC3\x84RZT.TIF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToLower(c.text), c.lower) << c.text;
        EXPECT_EQ(ToUpper(c.text), c.upper) << c.text;
    }
}

TEST(PathPartsTest, SplitsTheLastComponentAtItsLastDot) {
    const struct {
        const char* path;
        const char* fileName;
        const char* extension;
        const char* stem;
    } cases[] = {
        {"a/b/c.pgx", "c.pgx", "pgx", "c"},
        {"c.PGX", "c.PGX", "PGX", "c"},  // no folder; the extension keeps its case
        {"noext", "noext", "", "noext"},
        {"/x/dir.d/file", "file", "", "file"},  // a dot in a folder is not an extension
        {"mdb001.pgx.OVERLAY", "mdb001.pgx.OVERLAY", "OVERLAY", "mdb001.pgx"},
        {"trailing.", "trailing.", "", "trailing"},
        // The split is always at the last dot, so a hidden file is all extension.
        {"/home/u/.vistrel", ".vistrel", "vistrel", ""},
        {"folder/", "", "", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileNameOf(c.path), c.fileName);
        EXPECT_EQ(ExtensionOf(c.path), c.extension);
        EXPECT_EQ(StemOf(c.path), c.stem);
    }
}

}  // namespace
}  // namespace vistrel
