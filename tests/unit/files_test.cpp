// The platform's file layer, natively and against the real Win32 calls.
#include <gtest/gtest.h>
#include <map>
#include "platform/files.h"
#include "tests/unit/test_support.h"

TEST(Files, CreateForWriteTruncatesOrCreatesButNeedsTheFolder) {
    TempFolder dir;
    WriteFile(dir.path() / "big.bin", std::string(1 << 20, 'x'));
    FileHandle file = CreateForWrite(dir.native("big.bin").c_str());
    ASSERT_NE(0u, file);
    EXPECT_EQ(0u, GetFileSize64(file));
    EXPECT_EQ(3u, WriteBlock(file, "abc", 3));
    CloseFile(file);
    EXPECT_EQ("abc", ReadFile(dir.path() / "big.bin"));
    file = CreateForWrite(dir.native("new.bin").c_str());
    ASSERT_NE(0u, file);
    CloseFile(file);
    EXPECT_EQ("", ReadFile(dir.path() / "new.bin"));
    char text[100];
    EXPECT_EQ(0u, CreateForWrite(dir.native("missing\\new.bin").c_str()));
    EXPECT_EQ(kFailureNoFolder, GetLastFileFailure(text, sizeof text));
}

TEST(Files, ReadBlockGivesWhatThereIsAndReadersShareWithWriters) {
    TempFolder dir;
    WriteFile(dir.path() / "five.txt", "12345");
    FileHandle reader = OpenForRead(dir.native("five.txt").c_str());
    ASSERT_NE(0u, reader);
    EXPECT_EQ(5u, GetFileSize64(reader));
    char buffer[8] = {};
    EXPECT_EQ(5u, ReadBlock(reader, buffer, 8));
    EXPECT_EQ(0u, ReadBlock(reader, buffer, 8));  // the end looks like a failure
    FileHandle writer = CreateForWrite(dir.native("five.txt").c_str());
    EXPECT_NE(0u, writer);
    CloseFile(writer);
    CloseFile(reader);
    EXPECT_EQ(0u, OpenForRead(dir.native("absent.txt").c_str()));
}

TEST(Files, ListingGivesFoldersAndSizes) {
    TempFolder dir;
    WriteFile(dir.path() / "f.bin", std::string(300, 'f'));
    fs::create_directories(dir.path() / "sub");
    FolderEntry entry;
    SearchHandle search = FindFirstEntry(dir.native("*.*").c_str(), &entry);
    ASSERT_NE(0u, search);
    std::map<std::string, std::pair<int, uint64_t>> seen;
    do seen[entry.name] = {entry.isFolder, entry.size};
    while (FindNextEntry(search, &entry));
    CloseSearch(search);
    EXPECT_EQ((std::pair<int, uint64_t>{0, 300}), seen["f.bin"]);
    EXPECT_EQ(1, seen["sub"].first);
    EXPECT_EQ(1, seen[".."].first);
    EXPECT_EQ(0u, FindFirstEntry(dir.native("none\\*.*").c_str(), &entry));
}
