#include <gtest/gtest.h>
#include <string>
#include "frame/modes.h"

static ProgramMode ModeOf(std::string line) {
    UpperCaseAscii(&line[0]);
    return SelectMode(line.c_str());
}

TEST(CommandLine, UpperCasesOnlyAsciiLetters) {
    char text[] = "abz AZ 09 /build \xe9\xff{`";
    UpperCaseAscii(text);
    EXPECT_STREQ("ABZ AZ 09 /BUILD \xe9\xff{`", text);
}

TEST(CommandLine, SwitchesMatchTheLastSixCharactersInAnyCase) {
    EXPECT_EQ(kModeErase, ModeOf("/erase"));
    EXPECT_EQ(kModeErase, ModeOf("x /Erase"));
    EXPECT_EQ(kModeBuild, ModeOf("/build"));
    EXPECT_EQ(kModeBuild, ModeOf("-foo/BUILD"));
}

TEST(CommandLine, AnythingElseRunsTheUpdater) {
    EXPECT_EQ(kModeUpdate, ModeOf(""));
    EXPECT_EQ(kModeUpdate, ModeOf("x"));
    EXPECT_EQ(kModeUpdate, ModeOf("ERASE"));          // five characters
    EXPECT_EQ(kModeUpdate, ModeOf("/ERASE "));        // nothing is trimmed
    EXPECT_EQ(kModeUpdate, ModeOf("\"/ERASE\""));     // nor unquoted
    EXPECT_EQ(kModeUpdate, ModeOf("/BUILD now"));
    EXPECT_EQ(kModeUpdate, ModeOf("/BUILDX"));
}
