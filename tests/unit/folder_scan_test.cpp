#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "builder/folder_scan.h"
#include "platform/files.h"
#include "tests/unit/test_support.h"

using Names = std::vector<std::string>;

static ScanResult Scan(const TempFolder& dir, int* ok = nullptr) {
    ScanResult result;
    int scanned = ScanUpdateFolder(dir.native("Update").c_str(), &result);
    if (ok) *ok = scanned;
    return result;
}

TEST(FolderScan, WalksSubfoldersWholeBeforeTheFolderOwnFiles) {
    TempFolder dir;
    WriteFile(dir.path() / "Update" / "a.txt", "aaa");
    WriteFile(dir.path() / "Update" / "S1" / "s1.txt", "1");
    WriteFile(dir.path() / "Update" / "S2" / "E" / "e.txt", "22");
    WriteFile(dir.path() / "Update" / "S2" / "s2.txt", "333");
    WriteFile(dir.path() / "Update" / ".git" / "config", "skipped");
    WriteFile(dir.path() / "Update" / ".config", "listed");
    fs::create_directories(dir.path() / "Update" / "empty");
    ScanResult scan = Scan(dir);
    Names names = scan.names;
    ASSERT_EQ(5u, names.size());
    auto at = [&](const std::string& n) {
        return std::find(names.begin(), names.end(), n) - names.begin();
    };
    // The folder's own files come last; S2's deeper file right before S2's
    // own, whatever the order of S1 and S2 in the listing.
    EXPECT_GE(at("a.txt"), 3);
    EXPECT_GE(at(".config"), 3);
    EXPECT_EQ(at("S2\\E\\e.txt") + 1, at("S2\\s2.txt"));
    EXPECT_TRUE(at("S1\\s1.txt") == 0 || at("S1\\s1.txt") == 2);
    EXPECT_EQ(15u, scan.totalBytes);
    // Each record: the content, the name and its 5 bytes of overhead.
    EXPECT_EQ(15u + 5 + 9 + 10 + 9 + 7 + 5 * 5, scan.recordBytes);
}

TEST(FolderScan, MissingOrEmptyFolderListsNothing) {
    TempFolder dir;
    int ok = 0;
    EXPECT_TRUE(Scan(dir, &ok).names.empty());
    EXPECT_TRUE(ok);
    fs::create_directories(dir.path() / "Update");
    EXPECT_TRUE(Scan(dir, &ok).names.empty());
    EXPECT_TRUE(ok);
}

TEST(FolderScan, RefusesAPathThatDoesNotFitAndNamesIt) {
    TempFolder dir;  // the whole path where this system limits it, the name everywhere
    std::string base = dir.native("Update\\");
    size_t room = std::min<size_t>(kNativePathLimit - base.size(), kMaxPath) - 1;
    std::string a(room / 2, 'a'), b(room - room / 2 - 1, 'b');
    WriteFile(dir.path() / "Update" / a / b, "x");
    int ok = 0;
    EXPECT_EQ((Names{a + "\\" + b}), Scan(dir, &ok).names);
    EXPECT_TRUE(ok);
    WriteFile(dir.path() / "Update" / a / (b + "c"), "x");
    ScanResult scan = Scan(dir, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(base + a + "\\" + b + "c", scan.tooLongPath);
}

TEST(FolderScan, NamesTheFirstFileOfFourGib) {
    TempFolder dir;
    WriteFile(dir.path() / "Update" / "giant.bin", "");
    fs::resize_file(dir.path() / "Update" / "giant.bin", (4ull << 30) + 3);  // sparse
    ScanResult scan = Scan(dir);
    EXPECT_EQ(dir.native("Update\\giant.bin"), scan.hugeFile);
    EXPECT_EQ(3u, scan.totalBytes);  // the low 32 bits
}

TEST(FolderScan, FollowsLinksButNotBackIntoAnEnclosingFolder) {
    TempFolder dir;
    WriteFile(dir.path() / "Update" / "a.txt", "a");
    WriteFile(dir.path() / "elsewhere" / "b.txt", "b");
    std::error_code error;
    fs::create_directory_symlink(dir.path() / "Update", dir.path() / "Update" / "loop", error);
    fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "Update" / "link", error);
    if (error) GTEST_SKIP() << "no folder links here: " << error.message();
    EXPECT_EQ((Names{"link\\b.txt", "a.txt"}), Scan(dir).names);
}

TEST(FolderScan, AFileIdOfZeroIsUnknownAndMatchesNoFolder) {
    const struct {
        uint64_t a[2], b[2];
        int same;
    } cases[] = {{{7, 42}, {7, 42}, 1}, {{7, 42}, {8, 42}, 0}, {{7, 42}, {7, 43}, 0},
                 {{0, 5}, {0, 5}, 1},   {{0, 0}, {0, 0}, 0},   {{7, 0}, {7, 0}, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.same, IsSameFolder(c.a, c.b)) << c.a[0] << ":" << c.a[1];
}
