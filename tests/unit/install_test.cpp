// All or nothing: the journal, the recovery it allows, and the install that
// keeps the game as it was on Cancel.
#include <gtest/gtest.h>
#include <cstring>
#include "platform/resources.h"
#include "updater/extract_worker.h"
#include "updater/install_recovery.h"
#include "updater/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"
#include "tests/unit/test_support.h"

using Tree = std::map<std::string, std::string>;

static std::string Journal(const std::vector<JournalEntry>& entries) {
    std::string text = "Orvanta update journal 1\r\n";
    for (const JournalEntry& e : entries) text += EncodeJournalLine(e);
    return text;
}

static std::vector<JournalEntry> Parse(const std::string& text) {
    return ParseJournal(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(InstallJournal, TrustsOnlyWholeLinesAboutNamesInsideTheGame) {
    std::vector<JournalEntry> good = {{'N', 0, "data\\a b.pak"}, {'O', 0, "ov.exe"},
                                      {'P', 123456, "ov.exe"}, {'C', 0, ""}};
    std::string text = Journal(good);
    std::vector<JournalEntry> read = Parse(text);
    ASSERT_EQ(4u, read.size());
    EXPECT_EQ("data\\a b.pak", read[0].name);
    EXPECT_EQ(123456u, read[2].size);
    EXPECT_EQ('C', read[3].kind);
    std::string line = EncodeJournalLine({'N', 0, "x.txt"});
    std::string altered = line;
    altered[4] = 'y';
    const std::string ignored[] = {
        altered, line.substr(0, line.size() - 3), EncodeJournalLine({'N', 0, "..\\x.txt"}),
        EncodeJournalLine({'N', 0, "C:\\x.txt"}), EncodeJournalLine({'O', 0, "x.update-old"}),
        EncodeJournalLine({'X', 0, "x.txt"}), EncodeJournalLine({'C', 0, "x.txt"})};
    for (const std::string& bad : ignored)
        EXPECT_EQ(4u, Parse(Journal(good) + bad).size()) << bad;
    EXPECT_EQ(5u, Parse(Journal(good) + altered + line).size());  // later lines still count
    EXPECT_TRUE(Parse(text.substr(4)).empty());                   // no header: not ours
    for (const char* ours : {"UPDATE.JOURNAL", "a.Update-New", "d\\b.update-old"})
        EXPECT_TRUE(IsReservedInstallName(ours)) << ours;
    for (const char* theirs : {"data\\Update.journal", "Update.journalx", "abcdefghij.txt"})
        EXPECT_FALSE(IsReservedInstallName(theirs)) << theirs;
}

// One moment of a killed install: the game folder as it was left, the
// journal's lines, and the folder recovery must give.
struct KilledAt {
    const char* moment;
    Tree left;
    std::vector<JournalEntry> entries;
    Tree recovered;
    RecoveryOutcome outcome;
};

TEST(InstallRecovery, PutsTheGameBackOrFinishesAfterTheCommit) {
    Tree old = {{"a.txt", "old a"}, {"keep.txt", "mine"}};
    Tree fresh = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"keep.txt", "mine"}};
    std::vector<JournalEntry> staged = {{'N', 0, "a.txt"}, {'N', 0, "b.txt"}};
    std::vector<JournalEntry> setAside = staged, placed;
    setAside.push_back({'O', 0, "a.txt"});
    placed = setAside;
    placed.push_back({'P', 5, "a.txt"});
    placed.push_back({'P', 5, "b.txt"});
    std::vector<JournalEntry> committed = placed;
    committed.push_back({'C', 0, ""});
    const KilledAt cases[] = {
        {"writing", {{"a.txt", "old a"}, {"keep.txt", "mine"}, {"a.txt.update-new", "ne"}},
         {{'N', 0, "a.txt"}}, old, kRolledBack},
        {"staged", {{"a.txt", "old a"}, {"keep.txt", "mine"}, {"a.txt.update-new", "new a"},
                    {"b.txt.update-new", "new b"}}, staged, old, kRolledBack},
        {"set aside", {{"a.txt.update-old", "old a"}, {"keep.txt", "mine"},
                       {"a.txt.update-new", "new a"}, {"b.txt.update-new", "new b"}},
         setAside, old, kRolledBack},
        {"placed", {{"a.txt", "new a"}, {"a.txt.update-old", "old a"}, {"b.txt", "new b"},
                    {"keep.txt", "mine"}}, placed, old, kRolledBack},
        // A file in place of none is ours only while it has the size we wrote.
        {"changed since", {{"a.txt", "new a"}, {"a.txt.update-old", "old a"},
                           {"b.txt", "someone else's"}, {"keep.txt", "mine"}},
         placed, {{"a.txt", "old a"}, {"b.txt", "someone else's"}, {"keep.txt", "mine"}},
         kRolledBack},
        {"committed", {{"a.txt", "new a"}, {"a.txt.update-old", "old a"}, {"b.txt", "new b"},
                       {"keep.txt", "mine"}}, committed, fresh, kFinished},
        {"too long here", old, {{'N', 0, std::string(250, 'n')}}, old, kRolledBack},
        {"nothing", old, {}, old, kNothingToRecover},
    };
    for (const KilledAt& c : cases) {
        TempFolder game;
        for (const auto& file : c.left) WriteFile(game.path() / file.first, file.second);
        ASSERT_TRUE(SetInstallDir(game.native().c_str(), 0, NoLeadByte));
        std::string failed;
        EXPECT_EQ(c.outcome, RecoverFromEntries(c.entries, &failed)) << c.moment;
        EXPECT_EQ(c.recovered, ReadTree(game.path())) << c.moment;
        EXPECT_EQ("", failed) << c.moment;
    }
}

TEST(InstallRecovery, AtStartTellsWhatWasDoneAndRemovesTheJournal) {
    TempFolder game;
    WriteFile(game.path() / "a.txt", "new a");
    WriteFile(game.path() / "a.txt.update-old", "old a");
    WriteFile(game.path() / "Update.journal",
              Journal({{'N', 0, "a.txt"}, {'O', 0, "a.txt"}, {'P', 5, "a.txt"}}));
    g_InstallDir[0] = 0;
    MessageRecorder shown;
    EXPECT_TRUE(RecoverInterruptedInstallAt(game.native().c_str(), 0));
    EXPECT_EQ((Tree{{"a.txt", "old a"}}), ReadTree(game.path()));
    ASSERT_EQ(1u, shown.shown.size());
    EXPECT_EQ("An earlier update of Orvanta was interrupted before it was finished. The game's "
              "files were put back as they were before it.",
              shown.shown[0].text);
    EXPECT_EQ("Update interrupted", shown.shown[0].title);
    EXPECT_STREQ("", g_InstallDir);  // the install directory is left alone
}

// A game with old files, and a package that replaces some and adds others.
class Install : public ::testing::Test {
protected:
    void SetUp() override {
        old = {{"a.txt", "old a"}, {"data/", ""}, {"data/b.bin", "old b"}, {"ov.exe", "game"}};
        for (const auto& file : old)
            if (file.first.back() != '/') WriteFile(game.path() / file.first, file.second);
        ASSERT_TRUE(SetInstallDir(game.native().c_str(), 0, NoLeadByte));
        g_Busy = g_Quit = g_BytesDone = g_UpdateFailed = 0;
        g_ReadmeName[0] = 0;
    }
    void Use(const std::vector<TestResource>& records) {
        std::vector<TestResource> all = records;
        all.push_back({"HEADER", MakeHeader(uint32_t(records.size()), 10, 0x01DA000000000000ull)});
        UsePackage(package.path() / "Update.exe", all);
        ASSERT_TRUE(LoadPackageInfo());
    }
    std::vector<ShownMessage> Run(std::vector<int> answers) {
        MessageRecorder recorder(answers);
        UpdateWorker(nullptr);
        return recorder.shown;
    }
    TempFolder package, game;
    Tree old;
};

TEST_F(Install, ReplacesEverythingAndLeavesNothingOfItsOwn) {
    Use({FileRecord(0, "a.txt", "new a"), FileRecord(1, "data\\b.bin", "new b"),
         FileRecord(2, "c.txt", "new c")});
    ASSERT_EQ(1u, Run({}).size());
    Tree expected = {{"a.txt", "new a"}, {"c.txt", "new c"}, {"data/", ""},
                     {"data/b.bin", "new b"}, {"ov.exe", "game"},
                     {"Update.ver", MakeHeader(0, 0, 0x01DA000000000000ull).substr(8)}};
    EXPECT_EQ(expected, ReadTree(game.path()));
    EXPECT_EQ(0u, g_UpdateFailed);
}

// Every check happens before the first write: Cancel leaves the game as it
// was, without a journal.
TEST_F(Install, ChecksBeforeWritingAndCancelChangesNothing) {
    fs::create_directories(package.path() / "outside");
    std::error_code error;
    fs::create_directory_symlink(package.path() / "outside", game.path() / "link", error);
    const struct {
        std::vector<TestResource> records;
        const char* text;  // the start of the box's text
    } cases[] = {
        {{FileRecord(0, "a.txt", "x"), FileRecord(1, "gone\\b.txt", "x")},
         "The folder\n%sgone\ndoes not exist, and this update has files to put in it."},
        {{FileRecord(0, "a.txt", "x"), FileRecord(1, "A.TXT", "y")},
         "This update can't be installed: its file\nA.TXT\n\nThe updater refuses this name: "
         "another file of this update has the same name.\n\nNothing was changed."},
        {{FileRecord(0, "x.update-old", "x")},
         "This update can't be installed: its file\nx.update-old\n\nThe updater refuses this "
         "name: it keeps it for its own files.\n\nNothing was changed."},
        {{FileRecord(0, "link\\x.txt", "x")},
         "Could not write the file\n%slink\\x.txt\n\nIts folder points outside the game"},
    };
    if (!error) old["link/"] = "";
    for (const auto& c : cases) {
        if (error && strstr(c.text, "link")) continue;  // no folder links on this system
        Use(c.records);
        std::vector<ShownMessage> shown = Run({kAnswerCancel});
        ASSERT_EQ(1u, shown.size());
        char text[1000];
        snprintf(text, sizeof text, c.text, (game.native() + "\\").c_str());
        EXPECT_EQ(0u, shown[0].text.find(text)) << shown[0].text;
        EXPECT_EQ(strstr(c.text, "Nothing") ? kButtonsOk : kButtonsRetryCancel, shown[0].buttons);
        EXPECT_EQ(old, ReadTree(game.path()));
        EXPECT_EQ(1u, g_UpdateFailed);
    }
}

// The second file's new file can't be written (a folder stands in its
// place) until the box is answered.
static fs::path blocked;
static int answer;
static int UnblockAndAnswer(WindowHandle, const char*, const char*, MessageButtons) {
    fs::remove_all(blocked);
    return answer;
}

TEST_F(Install, CancelAfterAFailedFileRestoresTheGameAndRetryCountsItOnce) {
    Use({FileRecord(0, "a.txt", "new a"), FileRecord(1, "data\\b.bin", "new b")});
    blocked = game.path() / "data" / "b.bin.update-new";
    SetMessageHook(UnblockAndAnswer);
    for (int a : {kAnswerCancel, kAnswerRetry}) {
        fs::create_directories(blocked);
        answer = a;
        g_BytesDone = g_UpdateFailed = 0;
        UpdateWorker(nullptr);
        EXPECT_EQ(a == kAnswerCancel, g_UpdateFailed != 0);
        if (a == kAnswerCancel) {
            EXPECT_EQ(old, ReadTree(game.path()));
        }
    }
    SetMessageHook(nullptr);
    EXPECT_EQ(10u, g_BytesDone);
    EXPECT_EQ("new b", ReadFile(game.path() / "data" / "b.bin"));
}
