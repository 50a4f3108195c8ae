#include <gtest/gtest.h>
#include <cstring>
#include "package/package_state.h"
#include "package/resource_store.h"
#include "updater/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"
#include "tests/unit/test_support.h"

class PackageInfo : public ::testing::Test {
protected:
    void SetUp() override {
        g_PackageHeader = PackageHeader{};
        g_Title[0] = g_ReadmeName[0] = 0;
    }
    void Use(const std::vector<TestResource>& resources) {
        UsePackage(dir.path() / "Update.exe", resources);
    }
    TempFolder dir;
};

TEST_F(PackageInfo, LoadsHeaderTitleAndReadme) {
    Use({{"HEADER", MakeHeader(2, 30, 0x01D0000000000001ull)},
         {"TITLE", "Patch 1.1"},
         {"README", "readme.txt"}});
    ASSERT_TRUE(LoadPackageInfo());
    EXPECT_EQ(2u, g_PackageHeader.fileCount);
    EXPECT_EQ(30u, g_PackageHeader.totalBytes);
    EXPECT_EQ(0x01D0000000000001ull, g_PackageHeader.buildTime);
    EXPECT_STREQ("Patch 1.1", g_Title);
    EXPECT_STREQ("readme.txt", g_ReadmeName);
}

TEST_F(PackageInfo, RefusesAHeaderOfTheWrongSizeOrNone) {
    Use({{"HEADER", std::string(15, '\1')}});
    EXPECT_FALSE(LoadPackageInfo());
    Use({{"HEADER", std::string(17, '\1')}});
    EXPECT_FALSE(LoadPackageInfo());
    Use({{"TITLE", "no header"}});
    EXPECT_FALSE(LoadPackageInfo());
}

TEST_F(PackageInfo, LooksForTheReadmeOnlyWithATitle) {
    Use({{"HEADER", MakeHeader(0, 0, 1)}, {"README", "readme.txt"}});
    ASSERT_TRUE(LoadPackageInfo());
    EXPECT_STREQ("", g_Title);
    EXPECT_STREQ("", g_ReadmeName);
}

TEST_F(PackageInfo, CutsTextsAt260Bytes) {
    Use({{"HEADER", MakeHeader(0, 0, 1)},
         {"TITLE", std::string(300, 't')},
         {"README", std::string(10000, 'r')}});
    ASSERT_TRUE(LoadPackageInfo());
    EXPECT_EQ(std::string(260, 't'), g_Title);
    EXPECT_EQ(std::string(260, 'r'), g_ReadmeName);
}

TEST_F(PackageInfo, LongestRecordNameStopsAtTheFirstMissingRecord) {
    Use({{"HEADER", MakeHeader(0xFFFFFFFFu, 0, 1)},
         {"FILE000", MakeRecord("abc", "x")},
         {"FILE001", MakeRecord("sub\\longer.name", "")},
         {"FILE003", MakeRecord(std::string(200, 'z'), "")}});
    ASSERT_TRUE(LoadPackageInfo());
    EXPECT_EQ(15u, GetLongestRecordName());
}

class UpdateChecks : public ::testing::Test {
protected:
    void SetUp() override {
        g_PackageHeader = PackageHeader{1, 1, 1000};
        g_ReadmeName[0] = 0;
        ASSERT_TRUE(SetInstallDir(dir.native().c_str(), 0));
    }
    TempFolder dir;
};

TEST_F(UpdateChecks, DirectoryGetsOneTrailingSeparator) {
    ASSERT_TRUE(SetInstallDir("C:\\Games\\Orvanta", 0));
    EXPECT_STREQ("C:\\Games\\Orvanta\\", g_InstallDir);
    EXPECT_EQ(17u, g_InstallDirLength);
    ASSERT_TRUE(SetInstallDir("C:\\Games\\Orvanta\\", 0));
    EXPECT_STREQ("C:\\Games\\Orvanta\\", g_InstallDir);
    ASSERT_TRUE(SetInstallDir("", 0));
    EXPECT_STREQ("\\", g_InstallDir);
}

TEST_F(UpdateChecks, DirectoryMustLeaveRoomForEveryName) {
    std::string dir248(248, 'd');  // with '\', "Update.ver" and its 0: 260 bytes
    EXPECT_TRUE(SetInstallDir(dir248.c_str(), 0));
    EXPECT_FALSE(SetInstallDir((dir248 + "d").c_str(), 0));
    EXPECT_FALSE(SetInstallDir(dir248.c_str(), 11));
    EXPECT_FALSE(SetInstallDir(std::string(5000, 'd').c_str(), 0));
}

TEST_F(UpdateChecks, GameMustBeThere) {
    EXPECT_FALSE(IsGameInstalled());
    WriteFile(dir.path() / "ov.exe", "game");
    EXPECT_TRUE(IsGameInstalled());
}

TEST_F(UpdateChecks, OnlyALargerFullStampIsNewer) {
    EXPECT_FALSE(IsNewerStampInstalled());
    auto stamp = [&](uint64_t value, size_t size) {
        std::string bytes = MakeHeader(0, 0, value).substr(8) + "extra";
        WriteFile(dir.path() / "Update.ver", bytes.substr(0, size));
    };
    stamp(1000, 8);
    EXPECT_FALSE(IsNewerStampInstalled());
    stamp(1001, 8);
    EXPECT_TRUE(IsNewerStampInstalled());
    stamp(1001, 12);
    EXPECT_TRUE(IsNewerStampInstalled());
    stamp(1001, 7);
    EXPECT_FALSE(IsNewerStampInstalled());
    stamp(0x8000000000000000ull, 8);  // compared unsigned
    EXPECT_TRUE(IsNewerStampInstalled());
}

TEST_F(UpdateChecks, AnOverlongReadmeNameNeverBlocksTheInstall) {
    std::string readme(260, 'r');
    memcpy(g_ReadmeName, readme.c_str(), readme.size() + 1);
    EXPECT_TRUE(SetInstallDir(dir.native().c_str(), 0));
    g_ReadmeName[0] = 0;
}
