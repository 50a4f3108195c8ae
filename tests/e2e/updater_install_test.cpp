// A whole update as a player meets it: a package made by /BUILD, its window,
// the bar that moves while the files go in, "Done", the readme, exit 0.
#include "updater_support.h"

namespace {

const size_t kMiB = 1024 * 1024;

class FullUpdate : public UpdaterTest {
 protected:
  // The package's files, big enough that the worker runs for a while, in
  // nested folders, with sizes on and off the 64 KiB chunk bounds.
  void SetUp() override {
    UpdaterTest::SetUp();
    if (HasFatalFailure()) return;
    files_ = {
        {"data\\maps\\world.pak", PatternBytes(24 * kMiB + 1, 1)},
        {"data\\sound.pak", PatternBytes(20 * kMiB, 2)},
        {"bin\\ov.dll", PatternBytes(14 * kMiB - 65535, 3)},
        {"data\\empty.dat", ""},
        {"docs\\readme.txt", "What is new in 1.01\r\n"},
        {"patch.cfg", PatternBytes(65537, 4)},
    };
  }

  // Packs the files with a title file naming the readme, as an author does.
  void BuildPackage() {
    std::string dir = Path("build");
    std::string tool = Path("tool.exe");
    ASSERT_TRUE(MakeFolders(dir));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), (dir + "\\Update.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), tool.c_str(), FALSE));
    for (const NamedBytes& file : files_)
      ASSERT_TRUE(WriteFileWithFolders(dir + "\\Update\\" + file.name, file.bytes)) << file.name;
    ASSERT_TRUE(WriteFileBytes(dir + "\\title.txt", kTitle + std::string("\r\ndocs\\readme.txt\r\n")));
    ASSERT_TRUE(BuildWithTool(tool, dir, 120000));
    ASSERT_TRUE(MoveFileExA((dir + "\\Update.exe").c_str(), exe_.c_str(), MOVEFILE_REPLACE_EXISTING));
    std::string header;
    ASSERT_TRUE(ReadResource(exe_, "HEADER", &header));
    ASSERT_EQ(16u, header.size());
    buildTime_ = ReadU64(header, 8);
  }

  // The game folder as a player has it: the folders exist, some old files
  // are there (longer than the new ones, so a missing truncation shows).
  void PrepareGame() {
    ASSERT_TRUE(MakeFolders(game_ + "\\data\\maps"));
    ASSERT_TRUE(MakeFolders(game_ + "\\bin"));
    ASSERT_TRUE(MakeFolders(game_ + "\\docs"));
    WriteGameFile("data\\empty.dat", "old content that must go");
    WriteGameFile("patch.cfg", PatternBytes(200000, 9));
    WriteGameFile("saves\\slot1.sav", "kept");
  }

  // Polls the bar while the worker runs, until a message box comes up;
  // sends the close box once, as soon as the bar has left 0, so that it
  // arrives while the files go in.
  std::vector<int> WatchBarUntilBox() {
    std::vector<int> seen;
    int closeSent = 0;
    DWORD start = GetTickCount();
    HWND bar = GetDlgItem(window_, kBarId);
    for (unsigned pass = 0; GetTickCount() - start < 120000 && IsProgramRunning(program_.get());
         ++pass) {
      // One cheap look at the bar on most passes, so that few steps are missed.
      DWORD_PTR position = 0;
      if (SendMessageTimeoutA(bar, kGetPos, 0, 0, SMTO_ABORTIFHUNG, kDriverTimeoutMs,
                              &position) &&
          (seen.empty() || seen.back() != static_cast<int>(position)))
        seen.push_back(static_cast<int>(position));
      if (!closeSent && position > 0) closeSent = SendCloseBox(window_);
      if (pass % 8) continue;
      int boxUp = 0;
      for (HWND window : ListTopWindows(program_->pid)) boxUp |= IsMessageBox(window);
      if (boxUp) break;
    }
    return seen;
  }

  // The bar was seen between 0 and 100, never going back.
  static int ShowsMovement(const std::vector<int>& seen) {
    int between = 0;
    for (int position : seen) between += position > 0 && position < 100;
    return between > 0 && std::is_sorted(seen.begin(), seen.end());
  }

  static std::string Trail(const std::vector<int>& seen) {
    std::string trail;
    for (int position : seen) trail += std::to_string(position) + " ";
    return trail;
  }

  // The same package once more over the same game folder (its stamp is
  // equal, so nothing is asked), watching the bar only.
  std::vector<int> RunAgainWatchingBar() {
    program_.reset();
    Launch();
    if (HasFatalFailure()) return {};
    PressUpdate();
    std::vector<int> seen = WatchBarUntilBox();
    MessageBoxView done = WaitForMessageBox(*program_);
    EXPECT_EQ(kDoneText, done.text);
    EXPECT_EQ(0, AnswerForExit(done, "OK"));
    return seen;
  }

  static const UINT kGetPos = WM_USER + 8;  // PBM_GETPOS
  static constexpr const char* kTitle = "Orvanta Patch 1.01";
  std::vector<NamedBytes> files_;
  unsigned long long buildTime_ = 0;
};

TEST_F(FullUpdate, InstallsEveryFileStampsSaysDoneOpensReadmeAndExitsWithZero) {
  ASSERT_NO_FATAL_FAILURE(BuildPackage());
  ASSERT_NO_FATAL_FAILURE(PrepareGame());
  ASSERT_NO_FATAL_FAILURE(Launch());

  EXPECT_EQ(kTitle, WindowTitle(window_));
  EXPECT_EQ(game_, ControlText(window_, kEditId));
  ExpectAskingState();
  EXPECT_EQ(0, BarPosition()) << "the loop's first pass sends 0";

  PressUpdate();
  std::vector<int> seen = WatchBarUntilBox();
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << Trail(seen);

  MessageBoxView done = WaitForMessageBox(*program_);
  ExpectWindowBox(done, "Done", {"OK"});
  EXPECT_EQ(kDoneText, done.text);
  ExpectUpdatingState();
  ExpectBarReaches(100);
  // Everything is in place before the player is told so.
  for (const NamedBytes& file : files_) ExpectGameFile(file.name, file.bytes);
  ExpectStamp(buildTime_);
  // The close box sent while the files went in was ignored, and so is one
  // sent now, while "Done" waits.
  ExpectCloseBoxIgnored();
  std::vector<std::string> none = ReadRecorderLog(readmeLog_, 0);
  EXPECT_TRUE(none.empty()) << "readme opened before \"Done\" was answered";

  EXPECT_EQ(0, AnswerForExit(done, "OK"));
  ExpectReadmeOpened(game_ + "\\docs\\readme.txt");

  // Only the package's files and the stamp were added.
  std::map<std::string, std::string> tree = ReadFolderTree(game_);
  std::vector<std::string> names;
  for (const auto& entry : tree) names.push_back(entry.first);
  EXPECT_EQ((std::vector<std::string>{"Update.ver", "bin\\", "bin\\ov.dll", "data\\",
                                      "data\\empty.dat", "data\\maps\\",
                                      "data\\maps\\world.pak", "data\\sound.pak", "docs\\",
                                      "docs\\readme.txt", "ov.exe", "patch.cfg", "saves\\",
                                      "saves\\slot1.sav"}),
            names);
  ExpectGameFile("saves\\slot1.sav", "kept");

  // On a loaded machine the window thread may get no turn while the worker
  // runs, and the bar jumps from 0 to 100; a bar that never moves fails
  // every run.
  for (int run = 1; run < 4 && !ShowsMovement(seen); ++run) seen = RunAgainWatchingBar();
  EXPECT_TRUE(ShowsMovement(seen)) << "the bar was not seen moving: " << Trail(seen);
}

}  // namespace
