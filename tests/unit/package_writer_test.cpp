#include <gtest/gtest.h>
#include <cstring>
#include "builder/package_writer.h"
#include "package/package_state.h"
#include "platform/platform.h"
#include "tests/unit/test_support.h"

// A build directory with "Update.exe" and the messages a build shows.
class PackageWriter : public ::testing::Test {
protected:
    void SetUp() override {
        MakeTargetExecutable(dir.path() / "Update.exe");
        RecordMessages(&messages);
        g_Title[0] = g_ReadmeName[0] = 0;
    }
    void TearDown() override { StopRecordingMessages(); }
    int Build() {
        WorkingDirectory cwd(dir.path());
        messages.clear();
        return BuildPackage();
    }
    std::string Resource(const char* name, bool* found = nullptr) {
        return ReadPackageResource(dir.path() / "Update.exe", name, found);
    }
    bool Has(const char* name) {
        bool found = false;
        Resource(name, &found);
        return found;
    }
    void Put(const std::string& relative, const std::string& content) {
        WriteFile(dir.path() / "Update" / relative, content);
    }
    TempFolder dir;
    std::vector<ShownMessage> messages;
};

TEST_F(PackageWriter, PacksOneFileWithItsHeader) {
    Put("a.txt", "abc");
    uint64_t before = GetSystemFileTime();
    ASSERT_TRUE(Build());
    EXPECT_EQ(std::string("\x05\0\0\0a.txt\0abc", 13), Resource("FILE000"));
    std::string header = Resource("HEADER");
    ASSERT_EQ(16u, header.size());
    PackageHeader h;
    DecodeHeader(reinterpret_cast<const unsigned char*>(header.data()), 16, &h);
    EXPECT_EQ(1u, h.fileCount);
    EXPECT_EQ(3u, h.totalBytes);
    EXPECT_GE(h.buildTime, before);
    EXPECT_LE(h.buildTime, GetSystemFileTime());
    EXPECT_FALSE(Has("TITLE"));
    EXPECT_FALSE(Has("README"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(PackageWriter, NumbersFilesInScanOrderAndPacksEmptyOnes) {
    Put("a.txt", "1234567890");
    Put("s/empty.dat", "");
    ASSERT_TRUE(Build());
    EXPECT_EQ(std::string("\x0b\0\0\0s\\empty.dat\0", 16), Resource("FILE000"));
    EXPECT_EQ(std::string("\x05\0\0\0a.txt\0" "1234567890", 20), Resource("FILE001"));
    EXPECT_EQ(2u, g_PackageHeader.fileCount);
    EXPECT_EQ(10u, g_PackageHeader.totalBytes);
}

TEST_F(PackageWriter, WritesTitleAndReadmeWithoutTerminator) {
    Put("a.txt", "a");
    WriteFile(dir.path() / "title.txt", "My Patch\r\nreadme.txt\r\n");
    ASSERT_TRUE(Build());
    EXPECT_EQ("My Patch", Resource("TITLE"));
    EXPECT_EQ("readme.txt", Resource("README"));
}

TEST_F(PackageWriter, EmptyTitleLineWritesOnlyTheReadme) {
    Put("a.txt", "a");
    WriteFile(dir.path() / "title.txt", "\r\nreadme.txt");
    ASSERT_TRUE(Build());
    EXPECT_FALSE(Has("TITLE"));
    EXPECT_EQ("readme.txt", Resource("README"));
}

TEST_F(PackageWriter, RebuildKeepsWhatIsNotRewritten) {
    for (int i = 0; i < 5; i++) Put("f" + std::to_string(i) + ".txt", "x");
    WriteFile(dir.path() / "title.txt", "Old title\r\nold.txt");
    ASSERT_TRUE(Build());
    fs::remove_all(dir.path() / "Update");
    fs::remove(dir.path() / "title.txt");
    for (int i = 0; i < 3; i++) Put("g" + std::to_string(i) + ".txt", "yy");
    ASSERT_TRUE(Build());
    EXPECT_TRUE(Has("FILE003"));
    EXPECT_TRUE(Has("FILE004"));
    EXPECT_EQ("Old title", Resource("TITLE"));
    EXPECT_EQ("old.txt", Resource("README"));
    EXPECT_EQ(3u, g_PackageHeader.fileCount);
}

TEST_F(PackageWriter, NoFilesFoundFailsWithItsMessage) {
    std::string before = ReadFile(dir.path() / "Update.exe");
    EXPECT_FALSE(Build());
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("0 files found!", messages[0].text);
    EXPECT_EQ("Error", messages[0].title);
    EXPECT_EQ(0u, messages[0].owner);
    EXPECT_EQ(before, ReadFile(dir.path() / "Update.exe"));
}

TEST_F(PackageWriter, MissingExecutableGivesBothMessages) {
    Put("a.txt", "a");
    fs::remove(dir.path() / "Update.exe");
    EXPECT_FALSE(Build());
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("Can''t find / open(for writing) executable!", messages[0].text);
    EXPECT_EQ("Error", messages[1].title);
    EXPECT_NE(std::string::npos, messages[1].text.find("Update.exe"));
    EXPECT_EQ(dir.native("Update.exe").size(), messages[1].text.size());
}

TEST_F(PackageWriter, UnreadableFileDiscardsTheWholeBuild) {
    Put("a.txt", "a");
    ASSERT_TRUE(Build());
    std::string before = ReadFile(dir.path() / "Update.exe");
    Put("b.txt", "b");
    // The file vanishes between the scan and its packing.
    g_Title[0] = 0;
    {
        WorkingDirectory cwd(dir.path());
        UpdateHandle update = BeginPackageUpdate((dir.native("Update.exe")).c_str());
        ASSERT_NE(0u, update);
        EXPECT_FALSE(AddPayloadFile(update, "missing.txt", 0));
        EndPackageUpdate(update, 1);
    }
    EXPECT_EQ(before, ReadFile(dir.path() / "Update.exe"));
}

TEST_F(PackageWriter, RefusesAPackageTooLargeToStart) {
    Put("small.txt", "x");
    WriteFile(dir.path() / "Update" / "huge.bin", "");
    fs::resize_file(dir.path() / "Update" / "huge.bin", 1792ull << 20);  // sparse
    std::string before = ReadFile(dir.path() / "Update.exe");
    EXPECT_FALSE(Build());
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Error", messages[0].title);
    EXPECT_NE(std::string::npos, messages[0].text.find("too large"));
    EXPECT_EQ(before, ReadFile(dir.path() / "Update.exe"));
}

TEST_F(PackageWriter, NamesAFileOfFourGibOrMore) {
    Put("small.txt", "x");
    WriteFile(dir.path() / "Update" / "giant.bin", "");
    fs::resize_file(dir.path() / "Update" / "giant.bin", 4ull << 30);  // sparse
    std::string before = ReadFile(dir.path() / "Update.exe");
    EXPECT_FALSE(Build());
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Error", messages[0].title);
    EXPECT_NE(std::string::npos, messages[0].text.find("giant.bin"));
    EXPECT_NE(std::string::npos, messages[0].text.find("4 GiB"));
    EXPECT_EQ(before, ReadFile(dir.path() / "Update.exe"));
}
