#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "builder/title_reader.h"
#include "frame/primitives.h"
#include "tests/unit/test_support.h"

// Every line the reader hands out for content, with the limit of 260.
static std::vector<std::string> LinesOf(const std::string& content) {
    std::vector<unsigned char> block(content.begin(), content.end());
    block.resize(content.size() + 16, 0);  // the zero slack of a loaded block
    StartTextLines(block.data(), content.size(), 260);
    std::vector<std::string> lines;
    char line[261];
    for (int32_t n; (n = ReadTextLine(line)) != -1;) {
        EXPECT_EQ(static_cast<size_t>(n), strlen(line));
        lines.push_back(line);
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(TitleLines, EndAtCarriageReturnWithOneLineFeed) {
    EXPECT_EQ((Lines{"Title", "readme.txt"}), LinesOf("Title\r\nreadme.txt\r\n"));
    EXPECT_EQ((Lines{"a", "", "b"}), LinesOf("a\r\rb"));
    EXPECT_EQ((Lines{"a", "\nb"}), LinesOf("a\r\n\nb"));
    EXPECT_EQ((Lines{"", "readme.txt"}), LinesOf("\r\nreadme.txt"));
    EXPECT_EQ((Lines{"last"}), LinesOf("last"));
    EXPECT_EQ((Lines{"end"}), LinesOf("end\r"));
}

TEST(TitleLines, ZeroByteEndsALineLikeCarriageReturn) {
    EXPECT_EQ((Lines{"a", "b"}), LinesOf(std::string("a\0\nb", 4)));
    EXPECT_EQ((Lines{"", "x"}), LinesOf(std::string("\0x", 2)));
}

TEST(TitleLines, LoneLineFeedsDoNotEndALine) {
    EXPECT_EQ((Lines{"one\ntwo\nthree\n"}), LinesOf("one\ntwo\nthree\n"));
}

TEST(TitleLines, AreCutAtTheLimitButSkippedWhole) {
    std::string exact(260, 'x');
    EXPECT_EQ((Lines{exact, "next"}), LinesOf(exact + "\r\nnext"));
    std::string longer = std::string(260, 'y') + "Z";
    EXPECT_EQ((Lines{std::string(260, 'y'), "next"}), LinesOf(longer + "\r\nnext"));
    std::string feeds(400, '\n');
    EXPECT_EQ((Lines{std::string(260, '\n')}), LinesOf(feeds));
}

TEST(TitleLines, NoLineLeftLeavesTheDestinationAlone) {
    std::vector<unsigned char> block(16, 0);
    StartTextLines(block.data(), 0, 260);
    char line[261] = "kept";
    EXPECT_EQ(-1, ReadTextLine(line));
    EXPECT_STREQ("kept", line);
}

TEST(TitleFile, LoadsWholeAndRefusesEmptyOrMissingFiles) {
    TempFolder dir;
    WriteFile(dir.path() / "title.txt", "My Patch\r\nreadme.txt\r\n");
    void* block = LoadTextFile(dir.native("title.txt").c_str(), 260);
    ASSERT_NE(nullptr, block);
    char line[261];
    EXPECT_EQ(8, ReadTextLine(line));
    EXPECT_STREQ("My Patch", line);
    EXPECT_EQ(10, ReadTextLine(line));
    EXPECT_EQ(-1, ReadTextLine(line));
    FreeBlock(block);

    WriteFile(dir.path() / "empty.txt", "");
    EXPECT_EQ(nullptr, LoadTextFile(dir.native("empty.txt").c_str(), 260));
    EXPECT_EQ(nullptr, LoadTextFile(dir.native("missing.txt").c_str(), 260));
}
