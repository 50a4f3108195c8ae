#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "builder/folder_scan.h"
#include "tests/unit/test_support.h"

// Scans dir\Update and gives the listed names.
static std::vector<std::string> Scan(const TempFolder& dir, int* ok = nullptr) {
    char path[kMaxPath];
    snprintf(path, sizeof path, "%s", dir.native("Update").c_str());
    g_Scan.baseLength = static_cast<uint32_t>(strlen(path)) + 1;
    g_Scan.names.clear();
    g_Scan.fileCount = 0;
    g_Scan.totalBytes = 0;
    int result = ScanUpdateFolder(path);
    if (ok) *ok = result;
    return g_Scan.names;
}

using Names = std::vector<std::string>;

TEST(FolderScan, ListsSubfolderFilesBeforeTheFolderOwnFiles) {
    TempFolder dir;
    WriteFile(dir.path() / "Update" / "a.txt", "aaa");
    WriteFile(dir.path() / "Update" / "s" / "b.txt", "bb");
    EXPECT_EQ((Names{"s\\b.txt", "a.txt"}), Scan(dir));
    EXPECT_EQ(2u, g_Scan.fileCount);
    EXPECT_EQ(5u, g_Scan.totalBytes);
}

TEST(FolderScan, WalksEachSubfolderWholeBeforeTheNext) {
    TempFolder dir;
    WriteFile(dir.path() / "Update" / "S1" / "s1.txt", "1");
    WriteFile(dir.path() / "Update" / "S2" / "E" / "e.txt", "2");
    WriteFile(dir.path() / "Update" / "S2" / "s2.txt", "3");
    Names names = Scan(dir);
    ASSERT_EQ(3u, names.size());
    // S2's deeper file comes right before S2's own, whatever the order of S1
    // and S2 in the listing.
    auto at = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    EXPECT_EQ(at("S2\\E\\e.txt") + 1, at("S2\\s2.txt"));
    EXPECT_TRUE(at("S1\\s1.txt") == 0 || at("S1\\s1.txt") == 2);
}

TEST(FolderScan, SkipsDotFoldersButListsDotFiles) {
    TempFolder dir;
    WriteFile(dir.path() / "Update" / ".git" / "config", "x");
    WriteFile(dir.path() / "Update" / ".config", "y");
    fs::create_directories(dir.path() / "Update" / "empty");
    EXPECT_EQ((Names{".config"}), Scan(dir));
}

TEST(FolderScan, MissingOrEmptyFolderListsNothing) {
    TempFolder dir;
    int ok = 0;
    EXPECT_TRUE(Scan(dir, &ok).empty());
    EXPECT_TRUE(ok);
    fs::create_directories(dir.path() / "Update");
    EXPECT_TRUE(Scan(dir, &ok).empty());
    EXPECT_TRUE(ok);
}

TEST(FolderScan, RefusesAPathThatDoesNotFitTheBuffer) {
    TempFolder dir;
    std::string base = dir.native("Update");
    std::string longName(kMaxPath - base.size(), 'n');
    WriteFile(dir.path() / "Update" / longName.substr(0, 200), "x");
    WriteFile(dir.path() / "Update" / "d" / longName.substr(0, 200), "x");
    int ok = 1;
    Scan(dir, &ok);
    if (base.size() + 1 + 202 >= kMaxPath) {
        EXPECT_FALSE(ok);
        EXPECT_NE(nullptr, strstr(g_Scan.failedPath, "nnnn"));
    }
}

TEST(FolderScan, FollowsLinksButNotBackIntoAnEnclosingFolder) {
    TempFolder dir;
    WriteFile(dir.path() / "Update" / "a.txt", "a");
    std::error_code error;
    fs::create_directory_symlink(dir.path() / "Update", dir.path() / "Update" / "loop", error);
    if (error) GTEST_SKIP() << "no folder links here: " << error.message();
    EXPECT_EQ((Names{"a.txt"}), Scan(dir));
}
