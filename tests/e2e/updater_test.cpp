// The update executable as a player meets it: what stops it before its
// window, the window asking, the checks made on "Update", a whole update with
// the bar moving, "Done" and the readme, and the files that can't be written.
#include <algorithm>

#include "e2e.h"

namespace {

const unsigned long long kBuildTime = 0x01D9A1B2C3D4E5F6ULL;
const char kConflictText[] =
    "You have already installed newer update. Wanna continue with older version?";
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

// ---- Files that can't be written: the update stops at the file and asks
// Retry or Cancel, writing nothing more until answered.

// Records of 29, 50, 11 and 10 bytes: the bar stands at 28 (29 % truncated)
// while the second one fails.
TEST_F(Updater, FileHeldOpenIsAskedForAgainUntilReleased) {
  Resources files = {{"a.bin", Pattern(29, 1)},
                     {"sub\\b.bin", Pattern(50, 2)},
                     {"c.bin", Pattern(11, 3)},
                     {"readme.e2e", "0123456789"}};
  WritePackage(files, kBuildTime, "Patch", "readme.e2e");
  ASSERT_TRUE(WriteFileBytes(game_ + "\\sub\\b.bin", "held by the game"));
  HANDLE held = CreateFileA((game_ + "\\sub\\b.bin").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  ASSERT_NO_FATAL_FAILURE(Launch());
  std::string text =
      FailedRecordText(game_ + "\\sub\\b.bin", "The file is in use by another program");
  MessageBoxView box = Press(window_, "Update");
  ExpectBox(box, "Error", text, {"Retry", "Cancel"});
  ExpectState(kUpdating);
  ExpectBarReaches(28);
  box = Press(box.window, "Retry");
  ExpectBox(box, "Error", text, {"Retry", "Cancel"});
  EXPECT_FALSE(FileExists(game_ + "\\c.bin")) << "the update went past the held file";
  EXPECT_FALSE(FileExists(game_ + "\\Update.ver"));
  CloseHandle(held);
  MessageBoxView done = Press(box.window, "Retry");
  ExpectBox(done, "Done", kDoneText, {"OK"});
  ExpectBarReaches(100);
  EXPECT_EQ(0, PressForExit(done.window, "OK"));
  Tree expected = {{"ov.exe", "MZ the game"}, {"Update.ver", Le64(kBuildTime)}, {"sub\\", ""}};
  expected.insert(files.begin(), files.end());
  ExpectTree(expected, game_);
  ExpectReadmeOpened(game_ + "\\readme.e2e");
}

struct Stop {
  const char* label;
  std::string record;  // FILE001, between two good ones
  std::string file;    // as the message names it; "game\..." is in the game folder
  const char* reason;
};

void PrintTo(const Stop& stop, std::ostream* out) { *out << stop.label; }

class CancelledUpdate : public E2eTest, public ::testing::WithParamInterface<Stop> {};

// Cancel ends with 255: the file before stays; nothing else is written, no
// stamp, no readme (there is one to open).
TEST_P(CancelledUpdate, EndsWith255KeepingOnlyTheFilesBefore) {
  const Stop& stop = GetParam();
  ASSERT_TRUE(WriteResources(exe_, {{"FILE000", Record("a.bin", "first")},
                                    {"FILE001", stop.record},
                                    {"FILE002", Record("c.bin", "third")},
                                    {"HEADER", Le32(3) + Le32(11) + Le64(kBuildTime)},
                                    {"TITLE", "Patch"},
                                    {"README", "readme.e2e"}}));
  ASSERT_TRUE(WriteFileBytes(game_ + "\\readme.e2e", "old notes"));
  Tree expected = ReadTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box = Press(window_, "Update");
  std::string file = stop.file.rfind("game\\", 0) ? stop.file : Path(stop.file);
  ExpectBox(box, "Error", FailedRecordText(file, stop.reason), {"Retry", "Cancel"});
  EXPECT_EQ(255, PressForExit(box.window, "Cancel"));
  expected["a.bin"] = "first";
  ExpectTree(expected, game_);
  EXPECT_FALSE(FileExists(Path("escape.bin")) || FileExists("C:\\escape.bin"));
  ExpectNoReadmeOpened();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, CancelledUpdate,
    ::testing::Values(Stop{"MissingFolder", Record("missing\\b.bin", "b"), "game\\missing\\b.bin",
                           "The folder for this file does not exist"},
                      Stop{"EscapingName", Record("..\\escape.bin", "b"), "..\\escape.bin",
                           "Its name points outside the game directory"},
                      Stop{"EmptyRecord", "", "FILE001", "The update package is damaged"}),
    [](const ::testing::TestParamInfo<Stop>& info) { return std::string(info.param.label); });

// The game folder on the small disk: the third file doesn't fit beside a
// filler; freeing it lets Retry finish.
TEST_F(Updater, DiskFullIsAskedForUntilSpaceIsFreed) {
  std::string disk = SmallDiskFolder();
  if (disk.empty()) GTEST_SKIP() << "no small disk (mounting a tmpfs needs root)";
  game_ = disk + "\\game";
  ASSERT_TRUE(WriteFileBytes(game_ + "\\ov.exe", "MZ the game") && SetInstallDirValue(game_));
  unsigned long long free = FreeBytes(disk);
  ASSERT_TRUE(WriteFileBytes(disk + "\\filler.bin", std::string(free / 2, 'x')));
  Resources files = {{"first.bin", Pattern(free / 8, 1)},
                     {"second.bin", Pattern(free / 8, 2)},
                     {"third.bin", Pattern(free / 2, 3)}};
  WritePackage(files, kBuildTime);
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box = Press(window_, "Update");
  ExpectBox(box, "Error", FailedRecordText(game_ + "\\third.bin", "The disk is full"),
            {"Retry", "Cancel"});
  ASSERT_TRUE(DeleteFileA((disk + "\\filler.bin").c_str()));
  MessageBoxView done = Press(box.window, "Retry");
  ExpectBox(done, "Done", kDoneText, {"OK"});
  EXPECT_EQ(0, PressForExit(done.window, "OK"));
  Tree expected = {{"ov.exe", "MZ the game"}, {"Update.ver", Le64(kBuildTime)}};
  expected.insert(files.begin(), files.end());
  ExpectTree(expected, game_);
}

}  // namespace
