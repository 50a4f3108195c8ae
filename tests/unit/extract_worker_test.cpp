#include <gtest/gtest.h>
#include <cstring>
#include "package/package_state.h"
#include "package/resource_store.h"
#include "platform/platform.h"
#include "updater/extract_worker.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"
#include "tests/unit/test_support.h"

TEST(Progress, IsTruncatedDoublePrecision) {
    EXPECT_EQ(28, ComputeProgress(29, 100));
    EXPECT_EQ(0, ComputeProgress(0, 100));
    EXPECT_EQ(100, ComputeProgress(100, 100));
    EXPECT_EQ(1, ComputeProgress(0x10000, 100u * 0x10000));
    EXPECT_EQ(25, ComputeProgress(0x10000, 4u * 0x10000));
    EXPECT_EQ(50, ComputeProgress(0x80000000u, 0xFFFFFFFFu));  // unsigned, not negative
    EXPECT_EQ(0, ComputeProgress(5, 0));  // never a division by zero
}

static std::vector<std::string> documents;
static void RecordDocument(const char* path) { documents.push_back(path); }

// An install directory, a package to install into it, and everything the
// worker shows or opens.
class Worker : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(game.path());
        ASSERT_TRUE(SetInstallDir(game.native().c_str(), 0));
        g_Title[0] = g_ReadmeName[0] = 0;
        g_Busy = g_Quit = g_BytesDone = g_UpdateFailed = 0;
        g_Progress = 0;
        g_UpdaterWindow = 0x1234;
        documents.clear();
        SetDocumentHook(RecordDocument);
    }
    void TearDown() override {
        StopRecordingMessages();
        SetDocumentHook(nullptr);
        SelectPackageImage(nullptr);
    }
    void Use(std::vector<TestResource> records, uint64_t buildTime = 0x01DA000000000000ull) {
        uint32_t total = 0;
        for (auto& r : records) total += static_cast<uint32_t>(r.bytes.size());
        g_PackageHeader = PackageHeader{static_cast<uint32_t>(records.size()), total, buildTime};
        UsePackage(package.path() / "Update.exe", records);
    }
    void Run(std::vector<int> answers = {}) {
        RecordMessages(&messages, answers);
        UpdateWorker(nullptr);
        StopRecordingMessages();
    }
    std::string Installed(const std::string& name) { return ReadFile(game.path() / name); }
    TempFolder package, game;
    std::vector<ShownMessage> messages;
};

static TestResource File(int index, const std::string& name, const std::string& content) {
    char resource[16];
    snprintf(resource, sizeof resource, "FILE%03d", index);
    return {resource, MakeRecord(name, content)};
}

TEST_F(Worker, InstallsEveryRecordStampsAndSaysSo) {
    fs::create_directories(game.path() / "data");
    Use({File(0, "data\\x.bin", std::string(70000, 'x')), File(1, "a.txt", "abc"),
         File(2, "empty.dat", "")});
    g_PackageHeader.totalBytes = 70003;
    WriteFile(game.path() / "empty.dat", "old content");
    Run();
    EXPECT_EQ(std::string(70000, 'x'), Installed("data/x.bin"));
    EXPECT_EQ("abc", Installed("a.txt"));
    EXPECT_EQ("", Installed("empty.dat"));
    EXPECT_EQ(MakeHeader(0, 0, 0x01DA000000000000ull).substr(8), Installed("Update.ver"));
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Orvanta was succesfuly updated.", messages[0].text);
    EXPECT_EQ("Done", messages[0].title);
    EXPECT_EQ(0x1234u, messages[0].owner);
    EXPECT_EQ(100, g_Progress);
    EXPECT_EQ(1u, g_Quit);
    EXPECT_EQ(0u, g_Busy);
    EXPECT_EQ(0u, g_UpdateFailed);
    EXPECT_TRUE(documents.empty());
}

TEST_F(Worker, EmptyPackageWritesOnlyTheStamp) {
    Use({});
    Run();
    EXPECT_TRUE(fs::exists(game.path() / "Update.ver"));
    EXPECT_EQ(0, g_Progress);
    EXPECT_EQ(1u, messages.size());
}

TEST_F(Worker, OpensASafeReadmeAfterTheMessage) {
    Use({File(0, "readme.txt", "hello")});
    strcpy(g_ReadmeName, "readme.txt");
    Run();
    ASSERT_EQ(1u, documents.size());
    EXPECT_EQ(game.native("readme.txt"), documents[0]);
}

TEST_F(Worker, NeverOpensAReadmeOutsideTheGame) {
    Use({File(0, "a.txt", "a")});
    strcpy(g_ReadmeName, "..\\..\\evil.txt");
    Run();
    EXPECT_TRUE(documents.empty());
    EXPECT_EQ(1u, g_Quit);
}

TEST_F(Worker, ProgressMovesChunkByChunk) {
    Use({File(0, "big.bin", std::string(4 * 0x10000, 'b'))});
    g_PackageHeader.totalBytes = 4 * 0x10000;
    ASSERT_TRUE(ExtractPayloadFile(0));
    EXPECT_EQ(100, g_Progress);
    EXPECT_EQ(4u * 0x10000, g_BytesDone);
}

TEST_F(Worker, ReplacesAReadOnlyTarget) {
    Use({File(0, "ro.txt", "new")});
    WriteFile(game.path() / "ro.txt", "old and longer");
    fs::permissions(game.path() / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
    Run();
    EXPECT_EQ("new", Installed("ro.txt"));
}

TEST_F(Worker, FailedRecordAsksAndCancelEndsAsFailure) {
    Use({File(0, "a.txt", "first"), File(1, "nofolder\\b.txt", "second"), File(2, "c.txt", "x")});
    Run({kAnswerCancel});
    EXPECT_EQ("first", Installed("a.txt"));
    EXPECT_FALSE(fs::exists(game.path() / "c.txt"));
    EXPECT_FALSE(fs::exists(game.path() / "Update.ver"));
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Error", messages[0].title);
    EXPECT_EQ(kBoxRetryCancel, messages[0].type);
    EXPECT_EQ(0x1234u, messages[0].owner);
    EXPECT_NE(std::string::npos, messages[0].text.find("nofolder"));
    EXPECT_NE(std::string::npos, messages[0].text.find("does not exist"));
    EXPECT_EQ(1u, g_UpdateFailed);
    EXPECT_EQ(1u, g_Quit);
    EXPECT_EQ(0u, g_Busy);
}

// Creates the missing folder when the user is asked, so Retry succeeds.
static fs::path folderToMake;
static int MakeFolderAndRetry(WindowHandle, const char*, const char* title, unsigned) {
    if (std::string(title) != "Error") return kAnswerOk;
    fs::create_directories(folderToMake);
    return kAnswerRetry;
}

TEST_F(Worker, RetryWritesTheRecordAgainAndCountsItOnce) {
    Use({File(0, "a.txt", std::string(100, 'a')), File(1, "late\\b.txt", std::string(100, 'b'))});
    g_PackageHeader.totalBytes = 200;
    folderToMake = game.path() / "late";
    SetMessageHook(MakeFolderAndRetry);
    UpdateWorker(nullptr);
    SetMessageHook(nullptr);
    EXPECT_EQ(std::string(100, 'b'), Installed("late/b.txt"));
    EXPECT_EQ(200u, g_BytesDone);
    EXPECT_EQ(100, g_Progress);
    EXPECT_EQ(0u, g_UpdateFailed);
    EXPECT_TRUE(fs::exists(game.path() / "Update.ver"));
}

TEST_F(Worker, RefusesNamesThatLeaveTheInstallDirectory) {
    for (const char* name : {"..\\escape.txt", "\\rooted.txt", "C:\\drive.txt"}) {
        Use({File(0, name, "bad")});
        EXPECT_FALSE(ExtractPayloadFile(0)) << name;
        EXPECT_NE(nullptr, strstr(g_ExtractFailure.reason, "outside")) << name;
    }
    EXPECT_FALSE(fs::exists(package.path() / "escape.txt"));
}

TEST_F(Worker, DamagedOrMissingRecordsFail) {
    Use({{"FILE000", std::string("\x09\0\0\0ab", 6)}, {"FILE001", "abc"}});
    EXPECT_FALSE(ExtractPayloadFile(0));
    EXPECT_FALSE(ExtractPayloadFile(1));
    EXPECT_FALSE(ExtractPayloadFile(2));
    EXPECT_EQ(0u, g_BytesDone);
}
