// The pure rules: the command line's mode, the package's layouts, and which
// record names stay inside the game directory.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "frame/modes.h"
#include "package/package_format.h"
#include "tests/unit/test_support.h"

TEST(CommandLine, ModeFollowsTheLastSixCharactersAfterUpperCasing) {
    const struct {
        const char* line;
        ProgramMode mode;
    } cases[] = {
        {"/erase", kModeErase}, {"x /Erase", kModeErase}, {"/build", kModeBuild},
        {"-foo/BUILD", kModeBuild}, {"", kModeUpdate}, {"x", kModeUpdate},
        {"ERASE", kModeUpdate},        // five characters
        {"/ERASE ", kModeUpdate},      // nothing is trimmed
        {"\"/ERASE\"", kModeUpdate},   // nor unquoted
        {"/BUILD now", kModeUpdate}, {"/BUILDX", kModeUpdate},
    };
    for (const auto& c : cases) {
        std::string line = c.line;
        UpperCaseAscii(&line[0]);
        EXPECT_EQ(c.mode, SelectMode(line.c_str())) << c.line;
    }
    char text[] = "abz AZ 09 /build \xe9\xff{`";
    UpperCaseAscii(text);
    EXPECT_STREQ("ABZ AZ 09 /BUILD \xe9\xff{`", text);
}

TEST(PackageLayout, RecordNamesHeaderAndStamp) {
    char name[kRecordNameSize];
    const std::pair<uint32_t, const char*> names[] = {
        {0, "FILE000"}, {7, "FILE007"}, {999, "FILE999"}, {1000, "FILE1000"},
        {0xFFFFFFFFu, "FILE4294967295"}};
    for (const auto& n : names) {
        FormatRecordName(name, n.first);
        EXPECT_STREQ(n.second, name);
    }
    std::string header = MakeHeader(0x04030201u, 0x08070605u, 0x100F0E0D0C0B0A09ull);
    for (int i = 0; i < 16; i++) EXPECT_EQ(i + 1, header[i]) << i;
    PackageHeader back = {};
    for (size_t size = 0; size <= 32; size++) {
        std::string bytes = (header + header).substr(0, size);
        EXPECT_EQ(size == 16, DecodeHeader(reinterpret_cast<const unsigned char*>(bytes.data()),
                                           size, &back) != 0) << size;
    }
    EXPECT_EQ(0x04030201u, back.fileCount);
    EXPECT_EQ(0x08070605u, back.totalBytes);
    EXPECT_EQ(0x100F0E0D0C0B0A09ull, back.buildTime);

    unsigned char stamp[12] = {};
    EncodeStamp(0x8877665544332211ull, stamp);
    EXPECT_EQ(0x11, stamp[0]);
    EXPECT_EQ(0x88, stamp[7]);
    uint64_t value = 0;
    EXPECT_TRUE(DecodeStamp(stamp, 12, &value));  // longer stamps use their first 8 bytes
    EXPECT_EQ(0x8877665544332211ull, value);
    EXPECT_FALSE(DecodeStamp(stamp, 7, &value));
}

TEST(PackageLayout, RecordsParseOnlyWhenLengthAndTerminatorAgree) {
    std::string good = MakeRecord("a.txt", "abc");
    ASSERT_EQ(std::string("\x05\0\0\0a.txt\0abc", 13), good);
    auto with = [&](size_t at, char byte) {
        std::string r = good;
        r[at] = byte;
        return r;
    };
    const struct {
        std::string bytes;
        bool valid;
        const char* name;
        uint32_t contentSize;
    } cases[] = {
        {good, true, "a.txt", 3},
        {MakeRecord("sub\\empty.dat", ""), true, "sub\\empty.dat", 0},
        {MakeRecord("", "x"), true, "", 1},
        {good.substr(0, 10), true, "a.txt", 0},
        {good.substr(0, 9), false, "", 0},     // the terminator is cut off
        {std::string(4, '\0'), false, "", 0},  // shorter than any record
        {with(0, 20), false, "", 0},           // name runs past the end
        {with(9, 'x'), false, "", 0},          // no terminator where the length says
        {with(5, 0), false, "", 0},            // terminated earlier
        {std::string("\xff\xff\xff\xff" "ab", 6), false, "", 0},
    };
    for (const auto& c : cases) {
        PayloadView view = {};
        const unsigned char* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        ASSERT_EQ(c.valid, ParsePayloadRecord(data, c.bytes.size(), &view) != 0) << c.name;
        if (!c.valid) continue;
        EXPECT_STREQ(c.name, view.name);
        EXPECT_EQ(strlen(c.name), view.nameLength);
        EXPECT_EQ(c.contentSize, view.contentSize);
        EXPECT_EQ(data + c.bytes.size() - c.contentSize, view.content);
    }
}

TEST(PackageLayout, SafeNamesStayInsideTheirFolder) {
    for (const char* good : {"a.txt", "data\\x.bin", ".config", "a..b", "..a", "dir\\.\\f"})
        EXPECT_TRUE(IsSafeRelativeName(good)) << good;
    for (const char* bad : {"", "..", "..\\x", "a\\..\\..\\x", "a/../x", "\\x", "/x", "C:x",
                            "c:\\x", "a\\..", "a\\ ..\\b", "a\\...\\b", "\\\\server\\share"})
        EXPECT_FALSE(IsSafeRelativeName(bad)) << bad;
}
