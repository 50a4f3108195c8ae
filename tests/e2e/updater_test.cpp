// The update executable as a player meets it: what stops it before its
// window, the window asking, the checks made on "Update", a whole update with
// the bar moving, "Done" and the readme, and the files that can't be written.
#include <algorithm>

#include "e2e.h"
#include "install/install_journal.h"

// Deltas made by hand (tests/unit/test_support.cpp): copy bytes of the
// installed file, then inserted; and a delta record of one.
std::string MakeDelta(uint64_t copy, const std::string& inserted);
std::string MakeDeltaRecord(const std::string& name, const std::string& base,
                            const std::string& made, const std::string& delta);

namespace {

const unsigned long long kBuildTime = 0x01D9A1B2C3D4E5F6ULL;
const char kConflictText[] =
    "You have already installed newer update. Wanna continue with older version?";
const char kRolledBackText[] =
    "An earlier update of Orvanta was interrupted before it was finished. The game's files were "
    "put back as they were before it.";
const char kFinishedText[] =
    "An earlier update of Orvanta was interrupted after all its files were in place. Its last "
    "steps have now been finished.";
const char kTooLongText[] =
    "The directory name is too long for the files of this update.\n\n"
    "Please choose a directory with a shorter path.";

using Updater = E2eTest;

// The directory is looked up before the package: a copy without one gives
// the first message. With both, the window asks.
TEST_F(Updater, StartsWithAnInstallDirectoryAndAPackageAndCancelWritesNothing) {
  Tree before = ReadTree(game_);
  ASSERT_TRUE(DeleteInstallDirValue());
  EXPECT_EQ(Texts{"Game is not correctly installed!"}, RunToEnd(exe_, "", root_, "Error", 255));
  ASSERT_TRUE(SetInstallDirValue(game_));
  EXPECT_EQ(Texts{"Invalid EXE file"}, RunToEnd(exe_, "", root_, "Error", 255));
  WritePackage({{"a.bin", "new a"}}, kBuildTime, "Orvanta Patch 1.01");
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ("Orvanta Patch 1.01", WindowTitle(window_));
  EXPECT_EQ(game_, ControlText(window_, kEditId));
  ExpectState(kAsking);
  EXPECT_EQ(std::vector<HWND>{window_}, ListTopWindows(program_->pid));
  EXPECT_EQ(0, PressForExit(window_, "Cancel"));
  ExpectTree(before, game_);
}

// The tests run at UTC+14 (see CMakeLists.txt), where the package's build
// time, 2000-01-09 23:30 UTC, is already the 10th. Month and day are padded.
TEST_F(Updater, CaptionWithoutTitleIsTheUtcBuildDateAndTheCloseBoxWritesNothing) {
  WritePackage({{"a.bin", "new a"}}, 0x1BF5AF97242CC00ULL);
  Tree before = ReadTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ("Orvanta update (2000.01.09)", WindowTitle(window_));
  DWORD code = 1;
  EXPECT_TRUE(SendCloseBox(window_) && WaitForExitCode(program_.get(), kDriverTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  ExpectTree(before, game_);
}

// Each refusal is a box owned by the window, which then asks again.
TEST_F(Updater, WrongOrTooLongDirectoryAndNewerStampAreRefusedUntilTheUserAgrees) {
  WritePackage({{"a.bin", "new a"}}, kBuildTime);
  ASSERT_TRUE(WriteFileBytes(game_ + "\\Update.ver", Le64(kBuildTime + 1)));
  Tree before = ReadTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  for (const auto& typed : std::vector<std::pair<std::string, const char*>>{
           {Path("nowhere"), kWrongDirText},
           {"C:\\" + std::string(300, 'x'), kTooLongText},
           {game_, kConflictText}}) {
    ASSERT_TRUE(SetDlgItemTextA(window_, kEditId, typed.first.c_str()));
    MessageBoxView box = Press(window_, "Update");
    int conflict = typed.second == kConflictText;
    ExpectBox(box, conflict ? "Version conflict" : "Error", typed.second,
              conflict ? Texts{"Yes", "No"} : Texts{"OK"});
    ASSERT_TRUE(PressButton(box.window, conflict ? "No" : "OK") && WaitForWindowGone(box.window));
    ExpectState(kAsking);
    ExpectTree(before, game_);
  }
  EXPECT_FALSE(FileExists(Path("nowhere")));
  // A close posted while the question is up (as a task manager does) ends
  // the program after it, before anything is written, whatever the answer.
  MessageBoxView question = Press(window_, "Update");
  ASSERT_TRUE(PostMessageA(window_, WM_CLOSE, 0, 0));
  Sleep(300);  // the question's own loop handles it
  EXPECT_EQ(0, PressForExit(question.window, "Yes"));
  ExpectTree(before, game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView done = Press(Press(window_, "Update").window, "Yes");
  ExpectBox(done, "Done", kDoneText, {"OK"});
  EXPECT_EQ(0, PressForExit(done.window, "OK"));
  before["a.bin"] = "new a";
  before["Update.ver"] = Le64(kBuildTime);
  ExpectTree(before, game_);
}

// Made by /BUILD as an author does, installed over a game folder as a player
// has it: old files longer than the new ones, some read-only, hidden or
// system, an older stamp, and a save of the player's.
TEST_F(Updater, FullUpdateMovesTheBarSaysDoneThenOpensTheReadme) {
  const size_t kMiB = 1 << 20;
  Tree expected = {{"data\\maps\\world.pak", Pattern(24 * kMiB + 1, 1)},
                   {"data\\sound.pak", Pattern(20 * kMiB, 2)},
                   {"bin\\ov.dll", Pattern(14 * kMiB - 65535, 3)},
                   {"data\\empty.dat", ""},
                   {"docs\\readme.e2e", "What is new in 1.01\r\n"},
                   {"patch.cfg", Pattern(65537, 4)}};
  for (const auto& file : expected)
    ASSERT_TRUE(WriteFileBytes(Path("Update\\" + file.first), file.second));
  ASSERT_TRUE(WriteFileBytes(Path("title.txt"), "Orvanta Patch 1.01\r\ndocs\\readme.e2e\r\n"));
  EXPECT_EQ(Texts{"6 files (60817432 bytes) succesfully saved into resources."}, Build(root_));
  expected.insert({{"bin\\", ""},
                   {"data\\", ""},
                   {"data\\maps\\", ""},
                   {"docs\\", ""},
                   {"saves\\", ""},
                   {"ov.exe", "MZ the game"},
                   {"saves\\slot1.sav", "kept"},
                   {"Update.ver", Resource(exe_, "HEADER").substr(8)}});
  const std::pair<const char*, DWORD> kMarked[] = {{"data\\empty.dat", FILE_ATTRIBUTE_READONLY},
                                                   {"patch.cfg", FILE_ATTRIBUTE_HIDDEN},
                                                   {"bin\\ov.dll", FILE_ATTRIBUTE_SYSTEM},
                                                   {"Update.ver", FILE_ATTRIBUTE_READONLY}};
  for (const auto& file : kMarked) {
    std::string path = game_ + "\\" + file.first;
    ASSERT_TRUE(WriteFileBytes(path, Le64(1) + Pattern(200000, 9)));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), file.second));
  }
  ASSERT_TRUE(WriteFileBytes(game_ + "\\saves\\slot1.sav", "kept"));
  ASSERT_TRUE(MakeFolders(game_ + "\\data\\maps") && MakeFolders(game_ + "\\docs"));
  // Polls the bar until a box comes up; sends the close box once the bar is
  // seen between 0 and 100, so that it arrives while the files go in.
  auto watchBar = [&]() {
    std::vector<int> seen;
    for (DWORD pass = 0, start = GetTickCount(), closed = 0;
         IsProgramRunning(program_.get()) && GetTickCount() - start < 60000; ++pass) {
      int at = ReadProgressBar(window_, kBarId);
      if (seen.empty() || seen.back() != at) seen.push_back(at);
      if (!closed && at > 0 && at < 100) closed = SendCloseBox(window_);
      if (pass % 8 == 0 && FindMessageBox(*program_, 0)) break;
    }
    return seen;
  };
  auto moved = [](const std::vector<int>& seen) {  // seen between 0 and 100, never going back
    return std::is_sorted(seen.begin(), seen.end()) &&
           std::any_of(seen.begin(), seen.end(), [](int at) { return at > 0 && at < 100; });
  };

  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ("Orvanta Patch 1.01", WindowTitle(window_));
  EXPECT_EQ(0, ReadProgressBar(window_, kBarId)) << "the loop's first pass sends 0";
  ASSERT_TRUE(PressButton(window_, "Update"));
  std::vector<int> seen = watchBar();
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  MessageBoxView done = NextBox();
  ExpectBox(done, "Done", kDoneText, {"OK"});
  ExpectState(kUpdating);
  ExpectBarReaches(100);
  // Everything is in place, and unmarked, before the player is told so.
  ExpectTree(expected, game_);
  for (const auto& file : kMarked)
    EXPECT_EQ(0u, GetFileAttributesA((game_ + "\\" + file.first).c_str()) & file.second)
        << file.first;
  ExpectCloseBoxIgnored();
  EXPECT_FALSE(FileExists(readmeLog_)) << "the readme was opened before \"Done\" was answered";
  EXPECT_EQ(0, PressForExit(done.window, "OK"));
  ExpectReadmeOpened(game_ + "\\docs\\readme.e2e");
  // On a loaded machine the window thread may get no turn while the worker
  // runs, and the bar jumps from 0 to 100; a bar that never moves fails
  // every run. The stamp is equal now, so nothing is asked.
  for (int run = 1; run < 4 && !moved(seen); ++run) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(PressButton(window_, "Update"));
    seen = watchBar();
    EXPECT_EQ(0, PressForExit(NextBox().window, "OK"));
  }
  EXPECT_TRUE(moved(seen)) << "the bar was not seen moving";
}

// The names are the code page's bytes (made with the ANSI calls), as the
// build reads them and the updater writes them.
TEST_F(Updater, CodePageNamesRoundTripThroughBuildAndUpdate) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  const std::string cafe = "caf\xE9.txt",
                    folder =
                        "Donn\xE9"
                        "es\\",
                    summer = "\xE9t\xE9 \xFC\xDF.bin";
  const std::string title = "Mise \xE0 jour \xAB\xE9t\xE9\xBB";
  ASSERT_TRUE(WriteFileBytes(Path("Update\\" + cafe), "caf\xE9"));
  ASSERT_TRUE(WriteFileBytes(Path("Update\\" + folder + summer), "\xE9t\xE9"));
  ASSERT_TRUE(WriteFileBytes(Path("title.txt"), title + "\r\n"));
  EXPECT_EQ(Texts{"2 files (7 bytes) succesfully saved into resources."}, Build(root_));
  ASSERT_TRUE(MakeFolders(game_ + "\\" + folder));  // the updater makes no folder
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(title, WindowTitle(window_));
  MessageBoxView done = Press(window_, "Update");
  ExpectBox(done, "Done", kDoneText, {"OK"});
  EXPECT_EQ(0, PressForExit(done.window, "OK"));
  ASSERT_TRUE(DeleteFileA((game_ + "\\Update.ver").c_str()));
  ExpectTree(
      {{"ov.exe", "MZ the game"}, {cafe, "caf\xE9"}, {folder, ""}, {folder + summer, "\xE9t\xE9"}},
      game_);
}

// ---- What stops an update: each is asked with Retry and Cancel, and Cancel
// leaves the game exactly as it was.

// Checked before the first write: the bar stays at 0 and nothing is written
// while the box waits.
TEST_F(Updater, FileHeldOpenIsAskedForAgainUntilReleased) {
  Resources files = {{"a.bin", Pattern(29, 1)}, {"sub\\b.bin", Pattern(50, 2)},
                     {"readme.e2e", "0123456789"}};
  WritePackage(files, kBuildTime, "Patch", "readme.e2e");
  ASSERT_TRUE(WriteFileBytes(game_ + "\\sub\\b.bin", "held by the game"));
  HANDLE held = CreateFileA((game_ + "\\sub\\b.bin").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  Tree before = ReadTree(game_);  // the held file reads as absent
  ASSERT_NO_FATAL_FAILURE(Launch());
  std::string text =
      FailedRecordText(game_ + "\\sub\\b.bin", "The file is in use by another program");
  MessageBoxView box = Press(window_, "Update");
  ExpectBox(box, "Error", text, {"Retry", "Cancel"});
  ExpectState(kUpdating);
  // The updater holds the folders it writes: another program (here this
  // one) can't rename one and put a link to elsewhere in its place.
  EXPECT_FALSE(MoveFileExA((game_ + "\\sub").c_str(), (game_ + "\\moved").c_str(), 0));
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  box = Press(box.window, "Retry");
  ExpectBox(box, "Error", text, {"Retry", "Cancel"});
  EXPECT_EQ(0, ReadProgressBar(window_, kBarId));
  ExpectTree(before, game_);
  CloseHandle(held);
  MessageBoxView done = Press(box.window, "Retry");
  ExpectBox(done, "Done", kDoneText, {"OK"});
  EXPECT_EQ(0, PressForExit(done.window, "OK"));
  Tree expected = {{"ov.exe", "MZ the game"}, {"Update.ver", Le64(kBuildTime)}, {"sub\\", ""}};
  expected.insert(files.begin(), files.end());
  ExpectTree(expected, game_);
  ExpectReadmeOpened(game_ + "\\readme.e2e");
}

struct Stop {
  const char* label;
  std::string record;  // FILE001, between two good ones
  std::string text;    // the box's text; "%s" stands for the game folder
};

void PrintTo(const Stop& stop, std::ostream* out) { *out << stop.label; }

class CancelledUpdate : public E2eTest, public ::testing::WithParamInterface<Stop> {};

// Cancel ends with 255 and the game as it was: no file, no stamp, no readme.
TEST_P(CancelledUpdate, EndsWith255AndTheGameAsItWas) {
  const Stop& stop = GetParam();
  ASSERT_TRUE(WriteResources(exe_, {{"FILE000", Record("a.bin", "first")},
                                    {"FILE001", stop.record},
                                    {"FILE002", Record("c.bin", "third")},
                                    {"HEADER", Le32(3) + Le32(11) + Le64(kBuildTime)},
                                    {"TITLE", "Patch"},
                                    {"README", "readme.e2e"}}));
  ASSERT_TRUE(WriteFileBytes(game_ + "\\readme.e2e", "old notes") &&
              WriteFileBytes(game_ + "\\a.bin", "old a"));
  Tree before = ReadTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box = Press(window_, "Update");
  char text[1000];
  snprintf(text, sizeof text, stop.text.c_str(), game_.c_str());
  int fault = strstr(text, "Nothing was changed.") != nullptr;  // a fault of the package
  ExpectBox(box, "Error", text, fault ? Texts{"OK"} : Texts{"Retry", "Cancel"});
  EXPECT_EQ(255, PressForExit(box.window, fault ? "OK" : "Cancel"));
  ExpectTree(before, game_);
  EXPECT_FALSE(FileExists(Path("escape.bin")) || FileExists("C:\\escape.bin"));
  ExpectNoReadmeOpened();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, CancelledUpdate,
    ::testing::Values(
        Stop{"MissingFolder", Record("missing\\b.bin", "b"),
             "The folder\n%s\\missing\ndoes not exist, and this update has files to put in it."
             "\n\nCheck that the game is installed completely, then press Retry. Cancel stops "
             "the update."},
        Stop{"EscapingName", Record("..\\escape.bin", "b"),
             "This update can't be installed: its file\n..\\escape.bin\n\nThe updater refuses "
             "this name: it points outside the game directory.\n\nNothing was changed."},
        Stop{"EmptyRecord", "",
             "This update can't be installed: its file\nFILE001\n\nThe update package is "
             "damaged.\n\nNothing was changed."}),
    [](const ::testing::TestParamInfo<Stop>& info) { return std::string(info.param.label); });

// The game at the root of a drive of its own (the fixture maps one to an
// empty folder), the edit box emptied: the install directory is "\", the
// root of the current drive, and a file at its top has that root as its
// folder.
TEST_F(Updater, InstallsIntoTheRootOfTheCurrentDrive) {
  const char* drive = getenv("ORVANTA_DRIVE_ROOT");
  if (!drive) GTEST_SKIP() << "no drive mapped for the test";
  std::string root = std::string(drive) + "\\";
  ASSERT_TRUE(WriteFileBytes(root + "ov.exe", "MZ the game"));
  WritePackage({{"top.bin", "at the top"}, {"sub\\in.bin", "below"}}, kBuildTime);
  ASSERT_TRUE(MakeFolders(root + "sub"));
  program_ = LaunchProgram(exe_.c_str(), "", root.c_str());
  ASSERT_TRUE(program_ && (window_ = FindMainWindow(*program_)));
  ASSERT_TRUE(SetDlgItemTextA(window_, kEditId, ""));
  MessageBoxView done = Press(window_, "Update");
  ExpectBox(done, "Done", kDoneText, {"OK"});
  EXPECT_EQ(0, PressForExit(done.window, "OK"));
  ExpectTree({{"ov.exe", "MZ the game"}, {"top.bin", "at the top"}, {"sub\\", ""},
              {"sub\\in.bin", "below"}, {"Update.ver", Le64(kBuildTime)}}, root);
}

// "data" in the game folder is a link to a folder beside it: the updater
// refuses to write through it, and nothing lands there.
TEST_F(Updater, ALinkLeadingOutOfTheGameIsRefused) {
  const char* linked = getenv("ORVANTA_LINKED_GAME");
  if (!linked) GTEST_SKIP() << "no linked game folder";
  game_ = ToWindowsPath(linked);
  ASSERT_TRUE(WriteFileBytes(game_ + "\\ov.exe", "MZ the game") && SetInstallDirValue(game_));
  WritePackage({{"a.bin", "a"}, {"data\\x.bin", "x"}}, kBuildTime);
  Tree before = ReadTree(game_ + "\\..");
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box = Press(window_, "Update");
  ExpectBox(box, "Error",
            FailedRecordText(game_ + "\\data\\x.bin", "Its folder points outside the game directory"),
            {"Retry", "Cancel"});
  EXPECT_EQ(255, PressForExit(box.window, "Cancel"));
  ExpectTree(before, game_ + "\\..");
}

// The game folder on the small disk. Too little room is told before the
// first write; a disk that fills part way (tiny files take a page each) asks
// at the file, Cancel puts everything back, and Retry after room is made
// finishes.
TEST_F(Updater, DiskFullIsToldAndCancelOrRetryAfterRoomIsMade) {
  std::string disk = SmallDiskFolder();
  if (disk.empty()) GTEST_SKIP() << "no small disk (mounting a tmpfs needs root)";
  game_ = disk + "\\game";
  ASSERT_TRUE(WriteFileBytes(game_ + "\\ov.exe", "MZ the game") && SetInstallDirValue(game_));
  unsigned long long free = FreeBytes(disk);
  WritePackage({{"big.bin", Pattern(free + 4096, 1)}}, kBuildTime);
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box = Press(window_, "Update");
  EXPECT_EQ(0u, box.text.find("There is not enough room on the disk for this update: ")) << box.text;
  EXPECT_EQ(255, PressForExit(box.window, "Cancel"));
  ASSERT_TRUE(WriteFileBytes(disk + "\\filler.bin", std::string(free / 2, 'x')));
  Resources files;
  for (unsigned i = 0; i < free / 4096 * 3 / 4; i++) files.push_back({"f" + std::to_string(i), "x"});
  WritePackage(files, kBuildTime);
  Tree before = ReadTree(game_);
  for (const char* answer : {"Cancel", "Retry"}) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    box = Press(window_, "Update");
    EXPECT_NE(std::string::npos, box.text.find("The disk is full.")) << box.text;
    if (!strcmp(answer, "Cancel")) {
      EXPECT_EQ(255, PressForExit(box.window, "Cancel"));
      ExpectTree(before, game_);
      continue;
    }
    ASSERT_TRUE(DeleteFileA((disk + "\\filler.bin").c_str()));
    MessageBoxView done = Press(box.window, "Retry");
    ExpectBox(done, "Done", kDoneText, {"OK"});
    EXPECT_EQ(0, PressForExit(done.window, "OK"));
  }
  before["Update.ver"] = Le64(kBuildTime);
  before.insert(files.begin(), files.end());
  ExpectTree(before, game_);
}

// An install killed at several moments: writing the first file, between
// files (the box of a file that can't be written yet), during the renames
// (the box of a target held after the checks), around the stamp. The next
// start puts the game back, or finishes, says which, and leaves no file of
// its own; lines of another hand in the journal touch nothing.
// The big file goes in as a delta against the installed one, so a kill
// lands in a delta's install too.
TEST_F(Updater, KilledInstallIsPutRightByTheNextStart) {
  Resources files = {{"big.bin", Pattern(48 << 20, 1)}};
  Tree old = {{"ov.exe", "MZ the game"}, {"big.bin", "old big"}};
  for (int i = 0; i < 60; i++) {
    files.push_back({"f" + std::to_string(i), Pattern(100 + i, i)});
    old["f" + std::to_string(i)] = "old " + std::to_string(i);
  }
  WritePackage(files, kBuildTime);
  ASSERT_TRUE(WriteResources(exe_, {{"FILE000", MakeDeltaRecord("big.bin", "old big", files[0].second,
                                                                MakeDelta(0, files[0].second))}}));
  Tree fresh(files.begin(), files.end());
  fresh["ov.exe"] = "MZ the game";
  fresh["Update.ver"] = Le64(kBuildTime);
  std::string blocked = game_ + "\\f30.update-new", journal = game_ + "\\Update.journal";
  auto growing = [&] {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA((game_ + "\\big.bin.update-new").c_str(), GetFileExInfoStandard,
                                &data) && data.nFileSizeLow > 0 && data.nFileSizeLow < (48u << 20);
  };
  auto retryHeld = [&] {  // past f30, then f59 can't be set aside while held
    HANDLE held = CreateFileA((game_ + "\\f59").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    RemoveDirectoryA(blocked.c_str());
    MessageBoxView box = Press(NextBox().window, "Retry");
    EXPECT_NE(std::string::npos, box.text.find("f59\n\nThe file is in use")) << box.text;
    EndProgram(program_.get());
    CloseHandle(held);
  };
  std::vector<std::function<void()>> moments = {
      [&] { WaitUntil(growing); }, [&] { NextBox(); }, retryHeld,
      [&] { WaitUntil([&] { return FileExists(game_ + "\\Update.ver.update-new"); }); },
      [&] { WaitUntil([&] { return FileBytes(game_ + "\\Update.ver") == Le64(kBuildTime); }); }};
  for (size_t m = 0; m < moments.size(); m++) {
    for (const auto& file : old) ASSERT_TRUE(WriteFileBytes(game_ + "\\" + file.first, file.second));
    DeleteFileA((game_ + "\\Update.ver").c_str());
    ASSERT_TRUE(m > 2 || MakeFolders(blocked));
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_TRUE(PressButton(window_, "Update"));
    moments[m]();
    EndProgram(program_.get());
    RemoveDirectoryA(blocked.c_str());
    int interrupted = FileExists(journal);
    JournalKey theirs = {{7}, {7}, game_};  // not the install's key
    std::string foreign = "P\t7\tf1\t0bad\r\n" +
                          EncodeJournalLine(theirs, 900, {'P', {0, 0, 3}, "ov.exe"}) +
                          EncodeJournalLine(theirs, 901, {'N', {}, "..\\ov.exe"});
    ASSERT_TRUE(!interrupted || WriteFileBytes(journal, FileBytes(journal) + foreign));
    program_ = LaunchProgram(exe_.c_str(), "", root_.c_str());
    MessageBoxView box = interrupted ? NextBox() : MessageBoxView{};
    if (interrupted) {
      EXPECT_EQ("Update interrupted", box.title);
      EXPECT_EQ(nullptr, box.owner);
      ASSERT_TRUE(PressButton(box.window, "OK") && WaitForWindowGone(box.window));
    }
    ASSERT_TRUE(window_ = FindMainWindow(*program_));
    Tree found = ReadTree(game_);
    EXPECT_TRUE(found == old || found == fresh) << "moment " << m;
    if (interrupted) {
      EXPECT_EQ(found == old ? kRolledBackText : kFinishedText, box.text) << "moment " << m;
    }
    EXPECT_EQ(0, PressForExit(window_, "Cancel"));
  }
}

}  // namespace
