// All or nothing: the journal, the recovery it allows, and the install that
// keeps the game as it was on Cancel.
#include <gtest/gtest.h>
#include <cstring>
#include <fstream>
#include <functional>
#include "platform/protected_store.h"
#include "platform/resources.h"
#include "install/install_transaction.h"
#include "updater/extract_worker.h"
#include "install/install_recovery.h"
#include "package/package_info.h"
#include "updater/install_questions.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"
#include "tests/unit/test_support.h"

using Tree = std::map<std::string, std::string>;

static JournalKey TestKey(const std::string& folder, unsigned char fill) {
    JournalKey key = {{}, {}, folder};
    memset(key.id, fill, sizeof key.id);
    memset(key.secret, fill, sizeof key.secret);
    return key;
}

static std::string JournalText(const JournalKey& key, const std::vector<JournalEntry>& entries) {
    std::string text = "Orvanta update journal 2\r\n";
    for (uint32_t i = 0; i < entries.size(); i++) text += EncodeJournalLine(key, i + 1, entries[i]);
    return text;
}

static size_t Parsed(const JournalKey& key, const std::string& text) {
    return ParseJournal(key, reinterpret_cast<const unsigned char*>(text.data()), text.size()).size();
}

TEST(InstallJournal, TrustsOnlyWholeLinesOfThisInstallAndFolderAboutNamesInsideTheGame) {
    JournalKey key = TestKey("/games/a", 1);
    std::vector<JournalEntry> good = {{'J', {1, 2, 0}, ""}, {'N', {1, 3, 0}, "data\\a b.pak"},
                                      {'O', {1, 4, 9}, "ov.exe"}, {'P', {1, 3, 123456}, "ov.exe"},
                                      {'C', {}, ""}};
    std::string text = JournalText(key, good);
    std::vector<JournalEntry> read =
        ParseJournal(key, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    ASSERT_EQ(5u, read.size());
    EXPECT_EQ("data\\a b.pak", read[1].name);
    EXPECT_EQ(123456u, read[3].identity.size);
    EXPECT_EQ(3u, read[3].identity.file);
    std::string line = EncodeJournalLine(key, 9, {'N', {}, "x.txt"}), altered = line;
    altered[12] = 'O';
    const std::string ignored[] = {
        altered, line.substr(0, line.size() - 3), EncodeJournalLine(key, 9, {'N', {}, "..\\x.txt"}),
        EncodeJournalLine(key, 9, {'N', {}, "C:\\x.txt"}),
        EncodeJournalLine(key, 9, {'O', {}, "x.update-old"}),
        EncodeJournalLine(key, 9, {'X', {}, "x.txt"}), EncodeJournalLine(key, 9, {'C', {}, "x.txt"}),
        EncodeJournalLine(key, 3, {'N', {}, "x.txt"}),                    // out of order
        EncodeJournalLine(TestKey("/games/b", 1), 9, {'N', {}, "x.txt"}),  // another folder
        EncodeJournalLine(TestKey("/games/a", 2), 9, {'N', {}, "x.txt"})}; // another install
    for (const std::string& bad : ignored) EXPECT_EQ(5u, Parsed(key, text + bad)) << bad;
    EXPECT_EQ(6u, Parsed(key, text + altered + line));  // later lines still count
    EXPECT_EQ(0u, Parsed(key, text.substr(4)));          // no header: not ours
    std::string header = "Orvanta update journal 2\r\n", shortFirst = header + "J\t\r\n" +
                                                                  text.substr(header.size());
    read = ParseJournal(key, reinterpret_cast<const unsigned char*>(shortFirst.data()),
                        shortFirst.size());
    ASSERT_EQ(5u, read.size());
    EXPECT_EQ('J', read[0].kind);
    EXPECT_EQ(2u, read[0].identity.file);
    for (const char* ours : {"UPDATE.JOURNAL", "a.Update-New", "d\\b.update-old"})
        EXPECT_TRUE(IsReservedInstallName(ours)) << ours;
    for (const char* theirs : {"data\\Update.journal", "Update.journalx", "abcdefghij.txt"})
        EXPECT_FALSE(IsReservedInstallName(theirs)) << theirs;
}

// An install run by hand, step by step, as the worker does it, with a
// genuine journal and marker; killed after any number of steps.
class Interrupted : public ::testing::Test {
public:
    void SetUp() override {
        WriteFile(game.path() / "a.txt", "old a");
        WriteFile(game.path() / "keep.txt", "mine");
        ExtractFailure failure;
        ASSERT_TRUE(HoldGameFolder(game.native().c_str(), &folders, &failure));
        ASSERT_TRUE(StartJournal(&journal, &folders, &failure)) << failure.reason;
    }
    void TearDown() override {
        LeaveJournal(&journal);
        ReleaseGameFolders(&folders);
    }
    FileIdentity Of(const std::string& name) {
        FileIdentity identity = {};
        FolderHandle folder;
        const char* leaf;
        ExtractFailure failure;
        EXPECT_TRUE((folders.root || HoldGameFolder(game.native().c_str(), &folders, &failure)) &&
                    HoldFolderOf(&folders, name.c_str(), &folder, &leaf, &failure) &&
                    GetFileIdentityIn(folder, leaf, &identity)) << name;
        return identity;
    }
    fs::path At(std::string name) {
        for (char& c : name) c = c == '\\' ? '/' : c;
        return game.path() / name;
    }
    // The new file of name is announced, made, then journaled.
    void Announce(const std::string& name) { EXPECT_TRUE(AddJournalEntry(&journal, 'A', name.c_str(), {})); }
    void Make(const std::string& name, const std::string& content) {
        WriteFile(At(name + ".update-new"), content);
    }
    void Record(const std::string& name) {
        EXPECT_TRUE(AddJournalEntry(&journal, 'N', name.c_str(), Of(name + ".update-new")));
    }
    void Stage(const std::string& name, const std::string& content) {
        Announce(name);
        Make(name, content);
        Record(name);
    }
    void SetAside(const std::string& name) {
        EXPECT_TRUE(AddJournalEntry(&journal, 'O', name.c_str(), Of(name)));
        fs::rename(At(name), At(name + ".update-old"));
    }
    void Place(const std::string& name) {
        EXPECT_TRUE(AddJournalEntry(&journal, 'P', name.c_str(), Of(name + ".update-new")));
        fs::rename(At(name + ".update-new"), At(name));
    }
    std::vector<ShownMessage> Recover(const std::string& folder = "", int recovered = 1) {
        LeaveJournal(&journal);
        ReleaseGameFolders(&folders);
        MessageRecorder recorder;
        FolderLock lock;
        InstallQuestions questions = MakeWindowQuestions(0);
        EXPECT_EQ(recovered, RecoverInterruptedInstall(
                                 (folder.empty() ? game.native() : folder).c_str(), &lock, &questions));
        ReleaseLock(lock.handle);
        return recorder.shown;
    }
    TempFolder game, outside;
    GameFolders folders;
    Journal journal;
};

TEST_F(Interrupted, PutsTheGameBackOrFinishesAfterTheCommit) {
    Tree old = {{"a.txt", "old a"}, {"keep.txt", "mine"}};
    Tree fresh = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"keep.txt", "mine"}};
    // Killed between any two steps, making a new file and journaling it too.
    std::vector<std::function<void(Interrupted*)>> steps = {
        [](Interrupted* t) { t->Announce("a.txt"); }, [](Interrupted* t) { t->Announce("b.txt"); },
        [](Interrupted* t) { t->Make("a.txt", "new a"); }, [](Interrupted* t) { t->Record("a.txt"); },
        [](Interrupted* t) { t->Make("b.txt", "new b"); }, [](Interrupted* t) { t->Record("b.txt"); },
        [](Interrupted* t) { t->SetAside("a.txt"); }, [](Interrupted* t) { t->Place("a.txt"); },
        [](Interrupted* t) { t->Place("b.txt"); },
        [](Interrupted* t) { EXPECT_TRUE(AddJournalEntry(&t->journal, 'C', "", {})); }};
    for (size_t killed = 0; killed <= steps.size(); killed++) {
        if (killed) {
            TearDown();
            fs::remove_all(game.path());
            SetUp();
        }
        for (size_t i = 0; i < killed; i++) steps[i](this);
        std::vector<ShownMessage> shown = Recover();
        EXPECT_EQ(killed == steps.size() ? fresh : old, ReadTree(game.path())) << killed;
        EXPECT_EQ(killed > 0, shown.size()) << killed;  // no box when nothing was made
    }
}

// What a user who can write to the game folder tries; none of it may touch
// a file the install didn't make.
TEST_F(Interrupted, ActsOnlyOnFilesTheInstallMadeInsideTheGame) {
    WriteFile(game.path() / "ov.exe", "game");
    WriteFile(outside.path() / "victim.dll", "victim");
    fs::create_directories(game.path() / "data");
    Stage("data\\x.dll", "new x");
    Place("data\\x.dll");
    SetAside("ov.exe");
    ReleaseGameFolders(&folders);  // the install was killed: nothing holds "data"
    // Lines of their own, a set-aside original of theirs, our new file moved
    // outside and the folder turned into a link to it.
    JournalKey theirs = TestKey(journal.key.folder, 7);
    std::string planted = EncodeJournalLine(theirs, 90, {'P', Of("keep.txt"), "keep.txt"}) +
                          EncodeJournalLine(theirs, 91, {'P', Of("ov.exe.update-old"), "ov.exe"});
    std::ofstream(game.path() / "Update.journal", std::ios::app) << planted;
    fs::rename(game.path() / "ov.exe.update-old", outside.path() / "original");
    WriteFile(game.path() / "ov.exe.update-old", "attacker's");
    fs::rename(game.path() / "data" / "x.dll", outside.path() / "x.dll");
    fs::remove_all(game.path() / "data");
    std::error_code noLinks;
    fs::create_directory_symlink(outside.path(), game.path() / "data", noLinks);
    Recover();
    EXPECT_EQ("mine", ReadFile(game.path() / "keep.txt"));
    EXPECT_EQ("<missing>", ReadFile(game.path() / "ov.exe"));
    EXPECT_EQ("attacker's", ReadFile(game.path() / "ov.exe.update-old"));
    EXPECT_EQ("new x", ReadFile(outside.path() / "x.dll"));
    EXPECT_EQ("victim", ReadFile(outside.path() / "victim.dll"));
}

// The leftovers of an interrupted install copied into another game folder
// are not acted on there: no marker names that folder. Nor is a journal
// written by hand into a folder without one; both stay where they are.
TEST_F(Interrupted, AJournalWithoutItsMarkerIsNeverActedOn) {
    Stage("a.txt", "new a");
    SetAside("a.txt");
    Place("a.txt");
    LeaveJournal(&journal);
    fs::copy(game.path(), outside.path() / "game", fs::copy_options::recursive);
    Tree copied = ReadTree(outside.path());
    EXPECT_TRUE(Recover(outside.native("game")).empty());
    EXPECT_EQ(copied, ReadTree(outside.path()));
    EXPECT_EQ(1u, Recover().size());  // the game's own is put back
    EXPECT_EQ((Tree{{"a.txt", "old a"}, {"keep.txt", "mine"}}), ReadTree(game.path()));
}

// A marker names its game folder: one found under this folder's name that
// names another (however it got there) makes no journal trusted.
TEST_F(Interrupted, AMarkerNamingAnotherFolderIsNoMarkerForThisOne) {
    Stage("a.txt", "new a");
    SetAside("a.txt");
    Place("a.txt");
    std::string record(reinterpret_cast<const char*>(journal.key.id), sizeof journal.key.id);
    record.append(reinterpret_cast<const char*>(journal.key.secret), sizeof journal.key.secret);
    record += journal.key.folder + "x";
    std::string name = "install-" + TagFolder(journal.key.folder);
    ASSERT_TRUE(WriteProtectedRecord(name.c_str(), record.data(), uint32_t(record.size())));
    LeaveJournal(&journal);
    Tree left = ReadTree(game.path());
    EXPECT_TRUE(Recover().empty());
    EXPECT_EQ(left, ReadTree(game.path()));
    EXPECT_TRUE(RemoveProtectedRecord(name.c_str()));
}

// One updater per game folder: a second one says so and does nothing.
TEST_F(Interrupted, ASecondUpdaterForTheSameFolderStops) {
    Stage("a.txt", "new a");
    LeaveJournal(&journal);
    LockHandle first = TakeLock(("OrvantaUpdate-" + TagFolder(journal.key.folder)).c_str());
    TempFolder elsewhere;  // this process works on another folder
    Recover(elsewhere.native());
    std::vector<ShownMessage> shown = Recover(game.native(), 0);
    ReleaseLock(first);
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Error", shown[0].title);
    EXPECT_EQ(0u, shown[0].text.find("Another update of Orvanta is running"));
    EXPECT_EQ("new a", ReadFile(game.path() / "a.txt.update-new"));
}

// A game with old files, and a package that replaces some and adds others.
class Install : public ::testing::Test {
public:
    void SetUp() override {
        old = {{"a.txt", "old a"}, {"data/", ""}, {"data/b.bin", "old b"}, {"ov.exe", "game"}};
        for (const auto& file : old)
            if (file.first.back() != '/') WriteFile(game.path() / file.first, file.second);
        ASSERT_TRUE(SetInstallDir(game.native().c_str(), 0, NoLeadByte));
        g_Busy = g_Quit = g_BytesDone = g_UpdateFailed = 0;
        g_ReadmeName[0] = 0;
    }
    // The records, and resources beside them (unchanged: the UNCHANGED list).
    void Use(const std::vector<TestResource>& records, const std::string& unchanged = "") {
        std::vector<TestResource> all = records;
        if (!unchanged.empty()) all.push_back({"UNCHANGED", unchanged});
        all.push_back({"HEADER", MakeHeader(count ? count : uint32_t(records.size()), 10,
                                            0x01DA000000000000ull)});
        UsePackage(package.path() / "Update.exe", all);
        ASSERT_TRUE(LoadPackageInfo());
        LoadPackageRecords(g_PackageHeader.fileCount, &loaded);
        StartInstallSession(&session, &loaded, 0);
    }
    std::vector<ShownMessage> Run(std::vector<int> answers) {
        MessageRecorder recorder(answers);
        UpdateWorker(&session);
        return recorder.shown;
    }
    TempFolder package, game;
    Tree old;
    uint32_t count = 0;  // the header's count, when not the records'
    PackageRecords loaded;
    InstallSession session;
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

// A repeated file installs the bytes of the record it names, under its own
// name; the bar counts them for each name.
TEST_F(Install, ARepeatedFileInstallsTheBytesItRepeats) {
    Use({FileRecord(0, "a.txt", "new a"), {"FILE001", MakeRepeatedRecord("data\\b.bin", 0)}});
    ASSERT_EQ(1u, Run({}).size());
    EXPECT_EQ("new a", ReadFile(game.path() / "data" / "b.bin"));
    EXPECT_EQ("new a", ReadFile(game.path() / "a.txt"));
    EXPECT_EQ(10u, g_BytesDone);
}

// A patch made from the installed release: the delta makes the new file
// from the one in the game folder, the unchanged files are checked and left
// alone, and a second run finds everything done and changes nothing.
TEST_F(Install, ADeltaMakesTheNewFileFromTheInstalledOne) {
    const std::string made = "old a, and more";
    Use({FileRecord(0, "c.txt", "new c"),
         {"FILE001", MakeDeltaRecord("a.txt", "old a", made, MakeDelta(5, ", and more"))},
         {"FILE002", MakeDeltaRecord("data\\b.bin", "old b", "all new", MakeDelta(0, "all new"))}},
        MakeUnchangedList({{"ov.exe", "game"}}));
    for (int run = 0; run < 2; run++) {
        ASSERT_EQ(1u, Run({}).size()) << run;
        EXPECT_EQ(made, ReadFile(game.path() / "a.txt"));
        EXPECT_EQ("new c", ReadFile(game.path() / "c.txt"));
        EXPECT_EQ("all new", ReadFile(game.path() / "data" / "b.bin"));
        EXPECT_EQ(27u, g_BytesDone);
        EXPECT_EQ(0u, g_UpdateFailed);
        StartInstallSession(&session, &loaded, 0);
    }
}

// Files that aren't those the patch was made from stop it before anything
// is written: the delta's base, and the files it leaves as they are; the
// box names them (ten, then how many more) with OK only.
TEST_F(Install, FilesOfAnotherReleaseStopThePatchNamingThem) {
    std::map<std::string, std::string> many;
    for (int i = 0; i < 12; i++) many["m" + std::to_string(i)] = "m";
    const struct {
        std::string base;  // the delta's base as the patch knows it
        std::map<std::string, std::string> unchanged;
        const char* named;
    } cases[] = {
        {"old A", {{"ov.exe", "game"}}, "a.txt\n"},
        {"old a", {{"ov.exe", "game 2"}, {"gone.txt", "x"}}, "gone.txt\nov.exe\n"},
        {"old a", many, "m0\nm1\nm10\nm11\nm2\nm3\nm4\nm5\nm6\nm7\nand 2 more\n"},
    };
    for (const auto& c : cases) {
        Use({{"FILE000", MakeDeltaRecord("a.txt", c.base, "made", MakeDelta(0, "made"))}},
            MakeUnchangedList(c.unchanged));
        std::vector<ShownMessage> shown = Run({kAnswerRetry});
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ(kButtonsOk, shown[0].buttons);
        EXPECT_EQ(std::string("This update was made for another version of Orvanta: these files of "
                              "the game are not the ones it was made for:\n\n") + c.named +
                      "\nRepair or reinstall the game, then run this update again. Nothing was "
                      "changed.", shown[0].text);
        EXPECT_EQ(old, ReadTree(game.path()));
        EXPECT_EQ(1u, g_UpdateFailed);
        g_UpdateFailed = 0;
    }
}

// A delta that is damaged, or makes another file than it says, is a fault
// of the package found while its new file is written: final, and nothing
// of it stays.
TEST_F(Install, ADamagedDeltaOrOneThatMakesAnotherFileIsFinal) {
    std::string delta = MakeDelta(5, "+new"), flipped = delta;
    flipped[flipped.size() - 2] ^= 1;
    const std::string records[] = {MakeDeltaRecord("a.txt", "old a", "old a+new", flipped),
                                   MakeDeltaRecord("a.txt", "old a", "old a+NEW", delta),
                                   MakeDeltaRecord("a.txt", "old a", "old a+new", delta + "x")};
    for (const std::string& record : records) {
        Use({FileRecord(0, "c.txt", "new c"), {"FILE001", record}});
        std::vector<ShownMessage> shown = Run({kAnswerRetry});
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ("This update can't be installed: its file\na.txt\n\nThe update package is "
                  "damaged.\n\nNothing was changed.", shown[0].text);
        EXPECT_EQ(old, ReadTree(game.path()));
        g_UpdateFailed = 0;
    }
}

// Compressed and stored records mix; the bar counts the files' bytes. A
// compressed record found damaged while written ends the install at once,
// with an OK box, and the game as it was.
TEST_F(Install, CompressedRecordsInstallAndDamageInOneIsFinal) {
    std::string stream = Deflate("new b, new b, new b");
    Use({FileRecord(0, "a.txt", "new a"), {"FILE001", MakeCompressedRecord("data\\b.bin", stream, 19)},
         FileRecord(2, "c.txt", "")});
    ASSERT_EQ(1u, Run({}).size());
    EXPECT_EQ("new b, new b, new b", ReadFile(game.path() / "data" / "b.bin"));
    EXPECT_EQ(24u, g_BytesDone);
    std::string flipped = stream;
    flipped[4] ^= 1;
    for (const std::string& bad : {stream.substr(0, 8), flipped, stream + "b"}) {
        Tree before = ReadTree(game.path());
        g_UpdateFailed = 0;
        Use({FileRecord(0, "a.txt", "newer"), {"FILE001", MakeCompressedRecord("data\\b.bin", bad, 19)}});
        std::vector<ShownMessage> shown = Run({kAnswerRetry});
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ("This update can't be installed: its file\ndata\\b.bin\n\nThe update package is "
                  "damaged.\n\nNothing was changed.", shown[0].text);
        EXPECT_EQ(kButtonsOk, shown[0].buttons);
        EXPECT_EQ(before, ReadTree(game.path()));
        EXPECT_EQ(1u, g_UpdateFailed);
    }
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
        {{FileRecord(0, "a.txt", "x"), FileRecord(1, "data", "x")},
         "Could not write the file\n%sdata\n\nA folder has the name of this file."},
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
        StartInstallSession(&session, &loaded, 0);
        UpdateWorker(&session);
        EXPECT_EQ(a == kAnswerCancel, g_UpdateFailed != 0);
        if (a == kAnswerCancel) {
            EXPECT_EQ(old, ReadTree(game.path()));
        }
    }
    SetMessageHook(nullptr);
    EXPECT_EQ(10u, g_BytesDone);
    EXPECT_EQ("new b", ReadFile(game.path() / "data" / "b.bin"));
}

// The player's files named like the install's own are in its way: the
// install stops before its first write, naming the file, and keeps it (a
// link at such a name is never written through).
TEST_F(Install, StopsAtAPlayersFileNamedLikeItsOwn) {
    Use({FileRecord(0, "a.txt", "new a")});
    for (std::string theirs : {"a.txt.update-new", "a.txt.update-old", "Update.ver.update-old",
                               "Update.journal"}) {
        std::error_code noLink = std::make_error_code(std::errc::not_supported);
        if (theirs == "Update.journal")
            fs::create_symlink(package.path() / "Update.exe", game.path() / theirs, noLink);
        else
            WriteFile(game.path() / theirs, "player's");
        if (theirs == "Update.journal" && noLink) continue;
        std::vector<ShownMessage> shown = Run({kAnswerCancel});
        ASSERT_EQ(1u, shown.size());
        std::string text = "Could not write the file\n" + game.native(theirs) + "\n\nThe updater";
        EXPECT_EQ(text, shown[0].text.substr(0, text.size()));
        fs::path path = game.path() / theirs;  // kept, and not written through
        EXPECT_TRUE(noLink ? ReadFile(path) == "player's" : fs::is_symlink(path)) << theirs;
        fs::remove(game.path() / theirs);
        EXPECT_EQ(old, ReadTree(game.path()));
    }
    EXPECT_EQ(1u, Run({}).size());
    EXPECT_EQ("new a", ReadFile(game.path() / "a.txt"));
}

// A commit line that can't be written (here: a file size limit that the
// journal reaches just before it) is a failure like any other: Cancel puts
// the game back and the update ends as failed, never with "Done".
TEST_F(Install, ACommitThatCantBeWrittenIsAskedForAndCancelRollsBack) {
    Use({FileRecord(0, "c.txt", "new c"), FileRecord(1, "a.txt", "new a")});
    JournalKey key = {};
    size_t journalSize = strlen("Orvanta update journal 2\r\n");
    for (const char* name : {"", "c.txt", "a.txt", "c.txt", "a.txt", "c.txt", "a.txt", "a.txt",
                             "Update.ver", "Update.ver", "Update.ver"})
        journalSize += EncodeJournalLine(key, 1, {'N', {}, name}).size();
    if (!LimitFileSize(journalSize)) GTEST_SKIP() << "no file size limit on this system";
    std::vector<ShownMessage> shown = Run({kAnswerRetry, kAnswerCancel});
    LimitFileSize(0);
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ("Error", shown[1].title);
    EXPECT_EQ(0u, shown[1].text.find("Could not write the file\nUpdate.journal\n")) << shown[1].text;
    EXPECT_EQ(old, ReadTree(game.path()));
    EXPECT_EQ(1u, g_UpdateFailed);
}

// The player's folder is swapped for a link out of the game while the
// install runs: while the first file is written, at a Retry box after the
// checks, and at a Cancel box before the rollback. The install goes on in
// the folders it holds (on Windows no one can rename them; natively the
// held folder is followed where it was moved), so nothing outside the game
// changes, and "Done" means the files landed inside it.
static Install* attacked;
static int attacks;
static void SwapDataForLink(Install* t);
static void AttackWhileWriting(void*, uint32_t bytesDone) {
    ShowInstalledBytes(nullptr, bytesDone);
    if (bytesDone && !attacks) SwapDataForLink(attacked);
}
static int answerAfterAttack;
static int AttackAtTheBox(WindowHandle, const char*, const char*, MessageButtons buttons) {
    LimitFileSize(0);
    if (buttons == kButtonsRetryCancel && !attacks) SwapDataForLink(attacked);
    return answerAfterAttack;
}

class Attacked : public Install {
public:
    void SetUp() override {
        Install::SetUp();
        WriteFile(outside.path() / "b.bin", "victim");
        attacked = this;
        attacks = 0;
        swapped = 0;
    }
    TempFolder outside;
    int swapped;
};

static void SwapDataForLink(Install* t) {
    Attacked* a = static_cast<Attacked*>(t);
    attacks++;
    std::error_code error;
    fs::rename(a->game.path() / "data", a->game.path() / "moved", error);
    a->swapped = !error;
    if (a->swapped) fs::create_directory_symlink(a->outside.path(), a->game.path() / "data", error);
}

TEST_F(Attacked, AFolderSwappedForALinkIsNotFollowed) {
    const std::string ov(100000, 'o'), newB(200000, 'b');
    const struct {
        int atBox;
        int answer;
    } cases[] = {{0, kAnswerOk}, {1, kAnswerRetry}, {1, kAnswerCancel}};
    for (const auto& c : cases) {
        SetUp();
        Use({FileRecord(0, "ov.exe", ov), FileRecord(1, "data\\b.bin", newB)});
        if (c.atBox && !LimitFileSize(150000)) continue;  // no file size limit on this system
        if (!c.atBox) session.progress = ProgressSink{AttackWhileWriting, nullptr, nullptr};
        answerAfterAttack = c.answer;
        if (c.atBox) {
            SetMessageHook(AttackAtTheBox);
            UpdateWorker(&session);
            SetMessageHook(nullptr);
        } else {
            MessageRecorder recorder;
            UpdateWorker(&session);
        }
        EXPECT_EQ(1, attacks) << c.atBox;
        EXPECT_EQ(FoldersMoveWhileHeld(), swapped);  // on Windows the hold refuses the rename
        EXPECT_EQ((Tree{{"b.bin", "victim"}}), ReadTree(outside.path())) << c.atBox << c.answer;
        fs::path landed = game.path() / (swapped ? "moved" : "data") / "b.bin";
        EXPECT_TRUE((c.answer == kAnswerCancel ? "old b" : newB) == ReadFile(landed)) << c.answer;
        EXPECT_EQ(c.answer == kAnswerCancel, g_UpdateFailed != 0);
        fs::remove_all(game.path());
        fs::create_directories(game.path());
    }
}

// A header that counts more files than the package holds is a damaged
// package, found before anything is set aside for that count.
TEST_F(Install, AHeaderCountingMissingRecordsIsADamagedPackage) {
    count = 0xFFFFFFFEu;
    Use({FileRecord(0, "a.txt", "new a")});
    std::vector<ShownMessage> shown = Run({kAnswerRetry});
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(kButtonsOk, shown[0].buttons);
    EXPECT_EQ(0u, shown[0].text.find("This update can't be installed: its file\nFILE001\n\nThe "
                                     "update package is damaged.")) << shown[0].text;
    EXPECT_EQ(old, ReadTree(game.path()));
}

// Two names that turn out to be one file (here hard links; on Windows also
// a short 8.3 name, or a case the code page's folding misses) are a fault of
// the package, as is a name that is one of the updater's own files.
TEST_F(Install, TwoNamesOfOneFileAreAPackageFault) {
    WriteFile(game.path() / "Update.ver", std::string(8, '\0'));
    std::error_code error;
    fs::create_hard_link(game.path() / "a.txt", game.path() / "alias.txt", error);
    fs::create_hard_link(game.path() / "Update.ver", game.path() / "UPDATE~1.VER", error);
    if (error) GTEST_SKIP() << "no hard links here";
    old["alias.txt"] = "old a";
    old["Update.ver"] = old["UPDATE~1.VER"] = std::string(8, '\0');
    const struct {
        const char* name;
        const char* fault;
    } cases[] = {{"alias.txt", "another file of this update has the same name"},
                 {"UPDATE~1.VER", "it keeps it for its own files"}};
    for (const auto& c : cases) {
        Use({FileRecord(0, "a.txt", "new a"), FileRecord(1, c.name, "new")});
        std::vector<ShownMessage> shown = Run({kAnswerRetry});
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ(std::string("This update can't be installed: its file\n") + c.name +
                      "\n\nThe updater refuses this name: " + c.fault + ".\n\nNothing was changed.",
                  shown[0].text);
        EXPECT_EQ(old, ReadTree(game.path()));
    }
}
