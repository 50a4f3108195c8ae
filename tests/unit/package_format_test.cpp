#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "package/package_format.h"

TEST(RecordName, HasAtLeastThreeDigits) {
    char name[16];
    FormatRecordName(name, 0);
    EXPECT_STREQ("FILE000", name);
    FormatRecordName(name, 7);
    EXPECT_STREQ("FILE007", name);
    FormatRecordName(name, 1000);
    EXPECT_STREQ("FILE1000", name);
    FormatRecordName(name, 0xFFFFFFFFu);
    EXPECT_STREQ("FILE4294967295", name);
}

TEST(Header, IsSixteenLittleEndianBytes) {
    PackageHeader header = {0x04030201u, 0x08070605u, 0x100F0E0D0C0B0A09ull};
    unsigned char bytes[kHeaderSize];
    EncodeHeader(header, bytes);
    for (int i = 0; i < 16; i++) EXPECT_EQ(i + 1, bytes[i]) << i;
    PackageHeader back = {};
    ASSERT_TRUE(DecodeHeader(bytes, 16, &back));
    EXPECT_EQ(header.fileCount, back.fileCount);
    EXPECT_EQ(header.totalBytes, back.totalBytes);
    EXPECT_EQ(header.buildTime, back.buildTime);
}

TEST(Header, OfAnyOtherSizeIsRefused) {
    unsigned char bytes[32] = {};
    PackageHeader header;
    for (size_t size = 0; size <= 32; size++)
        EXPECT_EQ(size == 16, DecodeHeader(bytes, size, &header) != 0) << size;
}

TEST(Stamp, UsesItsFirstEightBytesAndNeedsThemAll) {
    unsigned char bytes[12];
    EncodeStamp(0x8877665544332211ull, bytes);
    EXPECT_EQ(0x11, bytes[0]);
    EXPECT_EQ(0x88, bytes[7]);
    bytes[8] = 0xFF;
    uint64_t stamp = 0;
    EXPECT_TRUE(DecodeStamp(bytes, 12, &stamp));
    EXPECT_EQ(0x8877665544332211ull, stamp);
    EXPECT_FALSE(DecodeStamp(bytes, 7, &stamp));
}

static std::string Record(const std::string& name, const std::string& content) {
    std::string r(name.size() + kRecordOverhead, '\0');
    EncodeRecordHead(name.c_str(), static_cast<uint32_t>(name.size()),
                     reinterpret_cast<unsigned char*>(&r[0]));
    return r + content;
}

static int Parse(const std::string& record, PayloadView* view) {
    return ParsePayloadRecord(reinterpret_cast<const unsigned char*>(record.data()), record.size(),
                              view);
}

TEST(PayloadRecord, LaysOutLengthNameTerminatorAndContent) {
    std::string r = Record("a.txt", "abc");
    ASSERT_EQ(13u, r.size());
    EXPECT_EQ(std::string("\x05\0\0\0a.txt\0abc", 13), r);
    PayloadView view;
    ASSERT_TRUE(Parse(r, &view));
    EXPECT_STREQ("a.txt", view.name);
    EXPECT_EQ(5u, view.nameLength);
    EXPECT_EQ(3u, view.contentSize);
    EXPECT_EQ(0, memcmp("abc", view.content, 3));
}

TEST(PayloadRecord, WithNoContentIsValid) {
    PayloadView view;
    std::string r = Record("sub\\empty.dat", "");
    ASSERT_TRUE(Parse(r, &view));
    EXPECT_EQ(0u, view.contentSize);
    EXPECT_STREQ("sub\\empty.dat", view.name);
}

TEST(PayloadRecord, DamagedOnesAreRefused) {
    PayloadView view;
    for (size_t size = 0; size < kRecordOverhead; size++)
        EXPECT_FALSE(Parse(std::string(size, '\0'), &view)) << size;
    std::string r = Record("a.txt", "abc");
    r[0] = 20;  // name length past the record's end
    EXPECT_FALSE(Parse(r, &view));
    r = Record("a.txt", "abc");
    r[9] = 'x';  // no terminator where the length says
    EXPECT_FALSE(Parse(r, &view));
    r = Record("a.txt", "abc");
    r[5] = 0;  // terminated earlier than the length says
    EXPECT_FALSE(Parse(r, &view));
    std::string huge = std::string("\xff\xff\xff\xff", 4) + "ab";
    EXPECT_FALSE(Parse(huge, &view));
}

TEST(RelativeName, StaysInsideItsFolder) {
    for (const char* good : {"a.txt", "data\\x.bin", ".config", "a..b", "..a", "dir\\.\\f"})
        EXPECT_TRUE(IsSafeRelativeName(good)) << good;
    for (const char* bad : {"", "..", "..\\x", "a\\..\\..\\x", "a/../x", "\\x", "/x", "C:x",
                            "c:\\x", "a\\..", "a\\ ..\\b", "a\\...\\b", "\\\\server\\share"})
        EXPECT_FALSE(IsSafeRelativeName(bad)) << bad;
}
