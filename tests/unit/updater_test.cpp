// The updater without its window: the package read at start, the install
// directory and its checks, and the worker that writes the files.
#include <gtest/gtest.h>
#include <cstring>
#include "platform/resources.h"
#include "install/install_checks.h"
#include "updater/extract_worker.h"
#include "updater/install_questions.h"
#include "package/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"
#include "tests/unit/test_support.h"

class PackageInfo : public ::testing::Test {
protected:
    void SetUp() override {
        g_PackageHeader = PackageHeader{};
        g_Title[0] = g_ReadmeName[0] = 0;
    }
    int Load(const std::vector<TestResource>& resources) {
        UsePackage(dir.path() / "Update.exe", resources);
        int loaded = LoadPackageInfo();
        LoadPackageRecords(g_PackageHeader.fileCount, &records);
        return loaded;
    }
    TempFolder dir;
    PackageRecords records;
};

TEST_F(PackageInfo, LoadsHeaderTitleReadmeAndEveryRecordOnce) {
    ASSERT_TRUE(Load({{"HEADER", MakeHeader(4, 30, 0x01D0000000000001ull)},
                      {"TITLE", "Patch 1.1"},
                      {"README", "readme.txt"},
                      FileRecord(0, "abc", "x"),
                      FileRecord(1, "sub\\longer.name", ""),
                      {"FILE002", "bad"},
                      FileRecord(3, std::string(200, 'z'), "")}));
    EXPECT_EQ(4u, g_PackageHeader.fileCount);
    EXPECT_EQ(30u, g_PackageHeader.totalBytes);
    EXPECT_EQ(0x01D0000000000001ull, g_PackageHeader.buildTime);
    EXPECT_STREQ("Patch 1.1", g_Title);
    EXPECT_STREQ("readme.txt", g_ReadmeName);
    ASSERT_EQ(4u, records.list.size());
    EXPECT_STREQ("sub\\longer.name", records.list[1].view.name);
    EXPECT_FALSE(records.list[2].valid);
    EXPECT_EQ(200u, records.longestName);
}

TEST_F(PackageInfo, RecordsEndAtTheFirstMissingOneOrTheCount) {
    ASSERT_TRUE(Load({{"HEADER", MakeHeader(0xFFFFFFFFu, 0, 1)},
                      FileRecord(0, "abc", "x"),
                      FileRecord(1, "sub\\longer.name", ""),
                      FileRecord(3, std::string(200, 'z'), "")}));
    EXPECT_EQ(2u, records.list.size());
    EXPECT_EQ(15u, records.longestName);
    ASSERT_TRUE(
        Load({{"HEADER", MakeHeader(1, 0, 1)}, FileRecord(0, "a", ""), FileRecord(1, "bb", "")}));
    EXPECT_EQ(1u, records.list.size());
    EXPECT_EQ(1u, records.longestName);
}

// A repeated file takes the content of the earlier record it names, which
// must be a stored or compressed record of its own before it.
TEST_F(PackageInfo, ARepeatedFileTakesAnEarlierRecordsContentOrIsDamaged) {
    std::string stream = Deflate("zzzzzzzzzzzzzzzzzzzz");
    ASSERT_TRUE(Load({{"HEADER", MakeHeader(9, 0, 1)}, FileRecord(0, "a", "stored"),
                      {"FILE001", MakeCompressedRecord("b", stream, 20)}, {"FILE002", "bad"},
                      {"FILE003", MakeRepeatedRecord("r0", 0)}, {"FILE004", MakeRepeatedRecord("r1", 1)},
                      {"FILE005", MakeRepeatedRecord("self", 5)}, {"FILE006", MakeRepeatedRecord("later", 8)},
                      {"FILE007", MakeRepeatedRecord("of-damaged", 2)},
                      {"FILE008", MakeRepeatedRecord("of-repeat", 3)}}));
    ASSERT_EQ(9u, records.list.size());
    const struct {
        uint32_t index;
        bool valid;
        const PackageRecord* like;
    } cases[] = {{3, true, &records.list[0]}, {4, true, &records.list[1]}, {5, false, nullptr},
                 {6, false, nullptr},          {7, false, nullptr},          {8, false, nullptr}};
    for (const auto& c : cases) {
        const PayloadView& view = records.list[c.index].view;
        EXPECT_EQ(c.valid, records.list[c.index].valid != 0) << c.index;
        if (!c.like) continue;
        EXPECT_EQ(c.like->view.content, view.content) << c.index;
        EXPECT_EQ(c.like->view.fileSize, view.fileSize) << c.index;
        EXPECT_EQ(c.like->view.compressed, view.compressed) << c.index;
    }
    PayloadView view;  // a repeat that carries bytes of its own is no record
    std::string extra = MakeRepeatedRecord("x", 0) + "!";
    EXPECT_FALSE(ParsePayloadRecord(reinterpret_cast<const unsigned char*>(extra.data()),
                                    extra.size(), &view));
}

TEST_F(PackageInfo, NeedsASixteenByteHeader) {
    EXPECT_FALSE(Load({{"HEADER", std::string(15, '\1')}}));
    EXPECT_FALSE(Load({{"HEADER", std::string(17, '\1')}}));
    EXPECT_FALSE(Load({{"TITLE", "no header"}}));
}

TEST_F(PackageInfo, ReadsTheReadmeOnlyWithATitleAndCutsTextsAt260) {
    ASSERT_TRUE(Load({{"HEADER", MakeHeader(0, 0, 1)}, {"README", "readme.txt"}}));
    EXPECT_STREQ("", g_Title);
    EXPECT_STREQ("", g_ReadmeName);
    ASSERT_TRUE(Load({{"HEADER", MakeHeader(0, 0, 1)},
                      {"TITLE", std::string(300, 't')},
                      {"README", std::string(10000, 'r')}}));
    EXPECT_EQ(std::string(260, 't'), g_Title);
    EXPECT_EQ(std::string(260, 'r'), g_ReadmeName);
}

TEST(InstallDir, GetsOneSeparatorAndMustHoldEveryName) {
    const struct {
        std::string text;
        uint32_t longestName;
        const char* stored;  // nullptr: refused
        LeadBytePredicate isLeadByte = NoLeadByte;
    } cases[] = {
        {"C:\\Games\\Orvanta", 0, "C:\\Games\\Orvanta\\"},
        {"C:\\Games\\Orvanta\\", 0, "C:\\Games\\Orvanta\\"},
        {"", 0, "\\"},
        // With '\', "Update.ver.update-new" and its 0: 260 bytes.
        {std::string(237, 'd'), 0, ""},
        {std::string(238, 'd'), 0, nullptr},
        {std::string(237, 'd'), 11, nullptr},
        {std::string(227, 'd'), 20, ""},
        {std::string(5000, 'd'), 0, nullptr},
        {"C:\\\x95\x5C", 0, "C:\\\x95\x5C\\", Cp932LeadByte},  // 0x95 0x5C: one character
        {"C:\\\x95\x95\x5C", 0, "C:\\\x95\x95\x5C", Cp932LeadByte},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(c.stored != nullptr, SetInstallDir(c.text.c_str(), c.longestName, c.isLeadByte) != 0)
            << c.text.size();
        if (!c.stored) continue;
        if (c.stored[0]) {
            EXPECT_STREQ(c.stored, g_InstallDir);
        }
        EXPECT_EQ(strlen(g_InstallDir), g_InstallDirLength);
    }
    char path[kMaxPath];
    ASSERT_TRUE(SetInstallDir(std::string(227, 'd').c_str(), 20, NoLeadByte));
    EXPECT_TRUE(MakeInstallPath(std::string(31, 'n').c_str(), path));
    EXPECT_EQ(std::string(227, 'd') + "\\" + std::string(31, 'n'), path);
    EXPECT_FALSE(MakeInstallPath(std::string(32, 'n').c_str(), path));
    EXPECT_EQ(std::string(227, 'd') + "\\", g_InstallDir);  // the directory stays alone
}

TEST(InstallDir, ChecksTheGameAndOnlyALargerFullStamp) {
    TempFolder dir;
    g_PackageHeader = PackageHeader{1, 1, 1000};
    ASSERT_TRUE(SetInstallDir(dir.native().c_str(), 0, NoLeadByte));
    EXPECT_FALSE(IsGameInstalled());
    WriteFile(dir.path() / "ov.exe", "game");
    EXPECT_TRUE(IsGameInstalled());
    EXPECT_FALSE(IsNewerStampInstalled());
    const struct {
        uint64_t stamp;
        size_t size;
        bool newer;
    } cases[] = {{1000, 8, false}, {999, 8, false},  {1001, 8, true},
                 {1001, 12, true}, {1001, 7, false}, {0x8000000000000000ull, 8, true}};
    for (const auto& c : cases) {
        std::string bytes = MakeHeader(0, 0, c.stamp).substr(8) + "more";
        WriteFile(dir.path() / "Update.ver", bytes.substr(0, c.size));
        EXPECT_EQ(c.newer, IsNewerStampInstalled() != 0) << c.stamp << " " << c.size;
    }
}

TEST(Progress, IsTruncatedDoublePrecisionAndStaysWithin0To100) {
    const struct {
        uint32_t done, total;
        int32_t percent;
    } cases[] = {{29, 100, 28},          {0, 100, 0},           {100, 100, 100},
                 {0x10000, 6553600, 1},  {0x10000, 0x40000, 25}, {0x80000000u, 0xFFFFFFFFu, 50},
                 {5, 0, 0},              {200, 100, 100},       {0xFFFFFFFFu, 1, 100}};
    for (const auto& c : cases)
        EXPECT_EQ(c.percent, ComputeProgress(c.done, c.total)) << c.done << "/" << c.total;
}

static std::vector<std::string> documents;
static void RecordDocument(const char* path) { documents.push_back(path); }

// An install directory, a package to install into it, and everything the
// worker shows or opens.
class Worker : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetInstallDir(game.native().c_str(), 0, NoLeadByte));
        g_Title[0] = g_ReadmeName[0] = 0;
        g_Busy = g_Quit = g_BytesDone = g_UpdateFailed = 0;
        g_Progress = 0;
        g_UpdaterWindow = 0x1234;
        documents.clear();
        SetDocumentHook(RecordDocument);
    }
    void TearDown() override { SetDocumentHook(nullptr); }
    void Use(std::vector<TestResource> records, uint32_t total = 0) {
        records.push_back({"HEADER", MakeHeader(static_cast<uint32_t>(records.size()), total,
                                                0x01DA000000000000ull)});
        UsePackage(package.path() / "Update.exe", records);
        ASSERT_TRUE(LoadPackageInfo());
        LoadPackageRecords(g_PackageHeader.fileCount, &loaded);
        StartInstallSession(&session, &loaded, g_UpdaterWindow);
    }
    std::vector<ShownMessage> Run(std::vector<int> answers = {}) {
        MessageRecorder recorder(answers);
        UpdateWorker(&session);
        return recorder.shown;
    }
    PackageRecords loaded;
    InstallSession session;
    std::string Installed(const std::string& name) { return ReadFile(game.path() / name); }
    TempFolder package, game;
};

TEST_F(Worker, InstallsEveryRecordStampsSaysSoAndOpensTheReadme) {
    fs::create_directories(game.path() / "data");
    Use({FileRecord(0, "data\\x.bin", std::string(70000, 'x')), FileRecord(1, "a.txt", "abc"),
         FileRecord(2, "empty.dat", "")}, 70003);
    WriteFile(game.path() / "empty.dat", "old content");
    WriteFile(game.path() / "a.txt", "old and longer");
    fs::permissions(game.path() / "a.txt", fs::perms::owner_read);  // read-only is replaced
    strcpy(g_ReadmeName, "a.txt");
    std::vector<ShownMessage> shown = Run();
    EXPECT_EQ(std::string(70000, 'x'), Installed("data/x.bin"));
    EXPECT_EQ("abc", Installed("a.txt"));
    EXPECT_EQ("", Installed("empty.dat"));
    EXPECT_EQ(MakeHeader(0, 0, 0x01DA000000000000ull).substr(8), Installed("Update.ver"));
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Orvanta was succesfuly updated.", shown[0].text);
    EXPECT_EQ("Done", shown[0].title);
    EXPECT_EQ(0x1234u, shown[0].owner);
    EXPECT_EQ((std::vector<std::string>{game.native("a.txt")}), documents);
    EXPECT_EQ(100, g_Progress);
    EXPECT_EQ(70003u, g_BytesDone);
    EXPECT_EQ(1u, g_Quit);
    EXPECT_EQ(0u, g_Busy);
    EXPECT_EQ(0u, g_UpdateFailed);
}

TEST_F(Worker, EmptyPackageWritesOnlyTheStampAndAnUnsafeReadmeIsNotOpened) {
    Use({});
    strcpy(g_ReadmeName, "..\\..\\evil.txt");
    EXPECT_EQ(1u, Run().size());
    EXPECT_TRUE(fs::exists(game.path() / "Update.ver"));
    EXPECT_EQ(0, g_Progress);
    EXPECT_TRUE(documents.empty());
}

TEST_F(Worker, RefusesUnsafeDamagedMissingAndOverlongRecords) {
    Use({FileRecord(0, "..\\escape.txt", "bad"), FileRecord(1, "C:\\drive.txt", "bad"),
         {"FILE002", "abc"}, FileRecord(3, std::string(300, 'n'), "")});
    const struct {
        uint32_t index;
        const char* target;
        const char* reason;
    } cases[] = {
        {0, "..\\escape.txt", "The updater refuses this name: it points outside the game directory"},
        {1, "C:\\drive.txt", "The updater refuses this name: it points outside the game directory"},
        {2, "FILE002", "The update package is damaged"},
        {4, "FILE004", "The update package is damaged"},
        {3, "nnnnnnnnnn", "The path is too long"},
    };
    for (const auto& c : cases) {
        ExtractFailure failure;
        EXPECT_FALSE(CheckRecord(&session, c.index, &failure)) << c.index;
        EXPECT_EQ(0u, std::string(failure.target).find(c.target)) << c.index;
        EXPECT_STREQ(c.reason, failure.reason) << c.index;
    }
    EXPECT_EQ(0u, g_BytesDone);
    EXPECT_FALSE(fs::exists(package.path() / "escape.txt"));
}
