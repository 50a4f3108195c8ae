#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "builder/title_reader.h"
#include "tests/unit/test_support.h"

using Lines = std::vector<std::string>;

// Every line the reader hands out, with the limit of 260. The text gets no
// slack after it: the reader must never look past its end.
static Lines LinesOf(const std::string& content) {
    std::vector<unsigned char> bytes(content.begin(), content.end());
    TextLines reader = StartTextLines(bytes.data(), bytes.size(), 260);
    Lines lines;
    char line[261];
    for (int32_t n; (n = ReadTextLine(&reader, line)) != -1;) {
        EXPECT_EQ(static_cast<size_t>(n), strlen(line));
        lines.push_back(line);
    }
    return lines;
}

TEST(TitleLines, EndAtCarriageReturnOrZeroTakingOneLineFeed) {
    std::string y260(260, 'y');
    const struct {
        std::string content;
        Lines lines;
    } cases[] = {
        {"Title\r\nreadme.txt\r\n", {"Title", "readme.txt"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\r\n\nb", {"a", "\nb"}},
        {"\r\nreadme.txt", {"", "readme.txt"}},
        {"last", {"last"}},
        {"end\r", {"end"}},
        {std::string("a\0\nb", 4), {"a", "b"}},
        {std::string("\0x", 2), {"", "x"}},
        {"one\ntwo\nthree\n", {"one\ntwo\nthree\n"}},
        {std::string(260, 'x') + "\r\nnext", {std::string(260, 'x'), "next"}},
        {y260 + "Z\r\nnext", {y260, "next"}},  // cut, but skipped whole
        {std::string(400, '\n'), {std::string(260, '\n')}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.lines, LinesOf(c.content)) << c.content;

    TextLines none = StartTextLines(nullptr, 0, 260);
    char line[261] = "kept";
    EXPECT_EQ(-1, ReadTextLine(&none, line));
    EXPECT_STREQ("kept", line);
}

TEST(TitleFile, LoadsWholeAndRefusesEmptyOrMissingFiles) {
    TempFolder dir;
    WriteFile(dir.path() / "title.txt", "My Patch\r\nreadme.txt\r\n");
    WriteFile(dir.path() / "empty.txt", "");
    std::unique_ptr<unsigned char[]> block;
    uint32_t size = 0;
    ASSERT_TRUE(LoadTextFile(dir.native("title.txt").c_str(), &block, &size));
    EXPECT_EQ("My Patch\r\nreadme.txt\r\n", std::string(reinterpret_cast<char*>(block.get()), size));
    EXPECT_FALSE(LoadTextFile(dir.native("empty.txt").c_str(), &block, &size));
    EXPECT_EQ(nullptr, block);
    EXPECT_FALSE(LoadTextFile(dir.native("missing.txt").c_str(), &block, &size));
}
