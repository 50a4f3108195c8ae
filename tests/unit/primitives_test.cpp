#include <gtest/gtest.h>
#include <cstring>
#include "frame/primitives.h"
#include "tests/unit/test_support.h"

TEST(Primitives, CreateForWriteTruncatesAnExistingFile) {
    TempFolder dir;
    WriteFile(dir.path() / "big.bin", std::string(1 << 20, 'x'));
    FileHandle file = CreateForWrite(dir.native("big.bin").c_str());
    ASSERT_NE(0u, file);
    EXPECT_EQ(0u, GetFileSize64(file));
    EXPECT_EQ(3u, WriteBlock(file, "abc", 3));
    CloseFile(file);
    EXPECT_EQ("abc", ReadFile(dir.path() / "big.bin"));
}

TEST(Primitives, CreateForWriteCreatesButNeedsTheFolder) {
    TempFolder dir;
    FileHandle file = CreateForWrite(dir.native("new.bin").c_str());
    ASSERT_NE(0u, file);
    CloseFile(file);
    EXPECT_TRUE(fs::exists(dir.path() / "new.bin"));
    EXPECT_EQ(0u, CreateForWrite(dir.native("missing\\new.bin").c_str()));
}

TEST(Primitives, ReadBlockGivesWhatThereIs) {
    TempFolder dir;
    WriteFile(dir.path() / "five.txt", "12345");
    FileHandle file = OpenForRead(dir.native("five.txt").c_str(), 0);
    ASSERT_NE(0u, file);
    EXPECT_EQ(5u, GetFileSize64(file));
    char buffer[8] = {};
    EXPECT_EQ(5u, ReadBlock(file, buffer, 8));
    EXPECT_EQ(0u, ReadBlock(file, buffer, 8));  // the end looks like a failure
    CloseFile(file);
    EXPECT_EQ(0u, OpenForRead(dir.native("absent.txt").c_str(), 0));
}

TEST(Primitives, OpenForReadSharesWithWriters) {
    TempFolder dir;
    WriteFile(dir.path() / "shared.txt", "old");
    FileHandle reader = OpenForRead(dir.native("shared.txt").c_str(), 0);
    ASSERT_NE(0u, reader);
    FileHandle writer = CreateForWrite(dir.native("shared.txt").c_str());
    EXPECT_NE(0u, writer);
    CloseFile(writer);
    CloseFile(reader);
}

TEST(Primitives, AllocZeroedAddsSixteenZeroBytes) {
    unsigned char* block = static_cast<unsigned char*>(AllocZeroed(0));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 16; i++) EXPECT_EQ(0, block[i]);
    FreeBlock(block);
    block = static_cast<unsigned char*>(AllocZeroed(100));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 116; i++) EXPECT_EQ(0, block[i]);
    FreeBlock(block);
    EXPECT_EQ(nullptr, AllocZeroed(0xFFFFFFF8u));
}

TEST(Primitives, CopyStringCountsWithoutTerminator) {
    char out[8] = "zzzzzzz";
    EXPECT_EQ(3u, CopyString(out, "abc"));
    EXPECT_STREQ("abc", out);
    EXPECT_EQ(0u, CopyString(out, nullptr));
    EXPECT_STREQ("", out);
    EXPECT_EQ(0u, CopyString(nullptr, "abc"));
}
