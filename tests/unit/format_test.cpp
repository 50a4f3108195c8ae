// The pure rules: the command line's mode, the package's layouts, the rule
// for record names, and where a path's folder ends.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "frame/modes.h"
#include "package/package_format.h"
#include "package/record_content.h"
#include "package/record_names.h"
#include "base/path_text.h"
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
        {MakeCompressedRecord("z", "st", 7), true, "z", 2},
        {MakeCompressedRecord("z", "", 7).substr(0, 9), false, "", 0},  // its size cut off
        {MakeCompressedRecord("z", "st", 2 * 1032 + 1032), false, "", 0},  // beyond deflate's gain
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
        EXPECT_EQ(view.compressed ? 7 : c.contentSize, view.fileSize);
    }
}

static int Collect(void* out, const unsigned char* bytes, uint32_t count) {
    static_cast<std::string*>(out)->append(reinterpret_cast<const char*>(bytes), count);
    return 1;
}

// A compressed record gives exactly its file's bytes, or is damaged: never
// more than its stated size, never a stream cut short or altered.
TEST(PackageLayout, CompressedContentInflatesToExactlyItsSizeOrIsDamaged) {
    std::string big;  // more than a few chunks
    for (int i = 0; big.size() < 5 * kContentChunk; i++) big += "line " + std::to_string(i) + "\n";
    std::string stream = Deflate(big);
    std::string flipped = stream;
    flipped[stream.size() / 2] ^= 0x10;
    const struct {
        const char* what;
        std::string record;
        int damaged;
    } cases[] = {
        {"whole", MakeCompressedRecord("a", stream, uint32_t(big.size())), 0},
        {"stored", MakeRecord("a", big), 0},
        {"empty", MakeCompressedRecord("a", Deflate(""), 0), 0},
        {"truncated",
         MakeCompressedRecord("a", stream.substr(0, stream.size() - 9), uint32_t(big.size())), 1},
        {"bit flipped", MakeCompressedRecord("a", flipped, uint32_t(big.size())), 1},
        {"over-long", MakeCompressedRecord("a", stream, uint32_t(big.size() - 1)), 1},
        {"short", MakeCompressedRecord("a", stream, uint32_t(big.size() + 1)), 1},
        {"bytes after", MakeCompressedRecord("a", stream + "x", uint32_t(big.size())), 1},
        {"no stream", MakeCompressedRecord("a", "", 0), 1},
    };
    for (const auto& c : cases) {
        PayloadView view;
        ASSERT_TRUE(ParsePayloadRecord(reinterpret_cast<const unsigned char*>(c.record.data()),
                                       c.record.size(), &view)) << c.what;
        std::string out;
        int damaged = -1;
        EXPECT_EQ(!c.damaged, ReadRecordContent(view, Collect, &out, &damaged)) << c.what;
        EXPECT_EQ(c.damaged, damaged) << c.what;
        EXPECT_LE(out.size(), view.fileSize) << c.what;
        if (!c.damaged) {
            EXPECT_EQ(view.fileSize ? big : "", out) << c.what;
        }
    }
}

// The one rule for record names, in Windows-1252, and in 932 where its
// second bytes matter.
TEST(RecordNames, OneRuleForEveryName) {
    const std::pair<const char*, RecordNameFault> cases[] = {
        {"a.txt", kNameSound}, {"data\\x.bin", kNameSound}, {"d/x", kNameSound},
        {".config", kNameSound}, {"a..b", kNameSound}, {"..a", kNameSound},
        {"caf\xE9 \xFF.txt", kNameSound}, {"CONSOLE.txt", kNameSound}, {"COM0", kNameSound},
        {"LPT10", kNameSound}, {"data\\Update.journal", kNameSound}, {"", kNameEmptyPart},
        {"a\\\\b", kNameEmptyPart}, {"a/", kNameEmptyPart}, {"\x83\x5C", kNameEmptyPart},
        {"..", kNameOutside}, {"a\\..\\..\\x", kNameOutside}, {"a/../x", kNameOutside},
        {"\\x", kNameOutside}, {"/x", kNameOutside}, {"C:x", kNameOutside}, {"c:\\x", kNameOutside},
        {"a\\ ..\\b", kNameOutside}, {"a\\...\\b", kNameOutside}, {"\\\\s\\share", kNameOutside},
        {"dir\\.\\f", kNameDotPart}, {"log 12:30.txt", kNameStream}, {"a.txt:s", kNameStream},
        {"what?.txt", kNameBadCharacter}, {"a<b", kNameBadCharacter}, {"a>b", kNameBadCharacter},
        {"a\"b", kNameBadCharacter}, {"a*b", kNameBadCharacter}, {"a\tb", kNameBadCharacter},
        {"\x83\x7C", kNameBadCharacter}, {"CON", kNameDevice}, {"data\\nul.txt", kNameDevice},
        {"Com1.log", kNameDevice}, {"LPT9", kNameDevice}, {"aux .x", kNameDevice},
        {"PRN", kNameDevice}, {"end. ", kNameTrailingDotOrBlank}, {"end.", kNameTrailingDotOrBlank},
        {"a \\b", kNameTrailingDotOrBlank}, {"x.update-new", kNameReserved},
        {"d\\b.UPDATE-OLD", kNameReserved}, {"update.journal", kNameReserved},
        {"x.u-new-file", kNameSound}, {"uPDATE.VER", kNameReserved}, {"data\\Update.ver", kNameSound},
        {"COM\xB9", kNameDevice}, {"com\xB9.txt", kNameDevice}, {"LPT\xB2.log", kNameDevice},
        {"lpt\xB3 .x", kNameDevice}, {"COM\xB9\xB9", kNameSound}, {"COM\xBD", kNameSound},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, JudgeRecordName(c.first, 1252)) << c.first;
        EXPECT_EQ(c.second == kNameSound, !DescribeNameFault(c.second)[0]) << c.first;
    }
    for (const char* name : {"\x83\x5C", "\x83\x5C.txt", "\x83\x7C"})  // one character each
        EXPECT_EQ(kNameSound, JudgeRecordName(name, 932)) << name;
    EXPECT_EQ(kNameSound, JudgeRecordName("COM\xB9", 1250));  // a letter there, not a superscript
    EXPECT_FALSE(IsSafeRelativeName("CON"));  // the journal's and the readme's rule too
}

// Names whose parts look like the short names Windows makes for long ones:
// built all the same, with a warning.
TEST(RecordNames, ShapedLikeShortNames) {
    const std::pair<const char*, int> cases[] = {
        {"READ~1.TXT", 1}, {"UPDATE~1.JOU", 1}, {"d\\LONGN~12\\a.txt", 1}, {"readme~1", 1},
        {"readme.txt", 0}, {"a~b.txt", 0}, {"READ~.TXT", 0}, {"READ~1A.TXT", 0},
        {"README~12.TXT", 0}, {"READ~1.TEXT", 0}, {"a~1.tar.gz", 0}, {"\x83~1", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, HasShortNameShape(c.first, 932)) << c.first;
}

// Two names of one package that Windows can't create side by side.
TEST(RecordNames, SameUnderTheCodePagesCaseFolding) {
    const struct {
        const char* first;
        const char* second;
        int apart;
        uint32_t codePage;
    } cases[] = {
        {"Readme.txt", "README.txt", 0, 1252}, {"data/m.map", "Data\\m.map", 0, 1252},
        {"caf\xE9.txt", "CAF\xC9.txt", 0, 1252}, {"\xFF", "\x9F", 0, 1252},  // y diaeresis
        {"a", "A\\b", 0, 1252}, {"a\\b", "A", 0, 1252}, {"a.txt", "b.txt", 1, 1252},
        {"data\\a", "DATA\\b", 1, 1252}, {"\x82\x81", "\x82\x60", 0, 932},  // full-width a, A
        {"\x83\x61", "\x83\x41", 1, 932},  // a trail byte is no letter
        {"\x83\x61\x81", "\x83\x41\x81", 1, 932},  // nor when the name isn't valid there
    };
    for (const auto& c : cases) {
        RecordNameSet set = {c.codePage, {}, {}};
        uint32_t earlier = 9;
        ASSERT_TRUE(AddRecordName(&set, c.first, 4, &earlier));
        EXPECT_EQ(c.apart, AddRecordName(&set, c.second, 5, &earlier)) << c.second;
        EXPECT_EQ(c.apart ? 9u : 4u, earlier) << c.second;
    }
}

// Where a target's folder ends: a root keeps its separator, and a double-
// byte character's second byte is no separator.
TEST(PathText, TheFolderOfAPathEndsAtARealSeparator) {
    const struct {
        const char* path;
        size_t folder;
        LeadBytePredicate isLeadByte;
    } cases[] = {
        {"\\a.txt", 1, NoLeadByte}, {"X:\\a.txt", 3, NoLeadByte},
        {"C:\\game\\a.txt", 7, NoLeadByte}, {"d/a", 1, NoLeadByte}, {"a", 0, NoLeadByte},
        {"C:\\g\\\x83\x5C.txt", 4, Cp932LeadByte}, {"C:\\g\\\x83\x5C.txt", 6, NoLeadByte},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.folder, MeasureFolder(c.path, strlen(c.path), c.isLeadByte)) << c.path;
}
