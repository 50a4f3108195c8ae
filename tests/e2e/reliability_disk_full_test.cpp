// A disk that fills up for real: a small tmpfs mounted by the test fixture
// (reached through drive Z:), once as the game's install directory while the
// updater writes into it, once as a build directory while a build commits.
#include "reliability_support.h"

namespace {

using namespace reliability;

const char kNoDisk[] =
    "no small disk: the fixture could not mount a tmpfs (it needs root); "
    "see the output of e2e_reliability_small_disk_mount";

class DiskFull : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    if (HasFatalFailure()) return;
    disk_ = SmallDiskFolder();
    if (disk_.empty()) GTEST_SKIP() << kNoDisk;
    folder_ = MakeFolderOnDisk();
    ASSERT_FALSE(folder_.empty());
  }

  void TearDown() override {
    program_.reset();
    if (!folder_.empty()) {
      EXPECT_TRUE(RemoveFolderTree(folder_)) << folder_;
    }
    UpdaterTest::TearDown();
  }

  std::string MakeFolderOnDisk() {
    char name[64];
    snprintf(name, sizeof(name), "\\test-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    std::string folder = disk_ + name;
    return CreateDirectoryA(folder.c_str(), nullptr) ? folder : "";
  }

  MessageBoxView PressAndWaitForBox(HWND box, const char* label) {
    EXPECT_TRUE(PressButton(box, label)) << label;
    EXPECT_TRUE(WaitForWindowGone(box));
    return WaitForMessageBox(*program_);
  }

  std::string disk_, folder_;
};

// ---- Extraction --------------------------------------------------------------

class ExtractionDiskFull : public DiskFull {
 protected:
  void SetUp() override {
    DiskFull::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    UseInstallDir(folder_ + "\\game");
  }

  // Three files; the third doesn't fit in what the first two leave.
  void WriteThreeFiles(unsigned long long first, unsigned long long third) {
    files_ = {{"first.bin", MakePattern(first, 1)},
              {"second.bin", MakePattern(first, 2)},
              {"third.bin", MakePattern(third, 3)}};
    WriteRecords(files_);
  }

  ResourceList files_;
};

TEST_F(ExtractionDiskFull, FailsOnTheFileThatOverflowsAndCancelKeepsTheEarlierFiles) {
  unsigned long long free = FreeBytes(game_);
  ASSERT_GT(free, 1u << 20) << "the small disk is already full";
  WriteThreeFiles(free / 4, free * 3 / 4);
  MessageBoxView box = RunUpdate();
  ExpectFailedRecord(box, game_ + "\\third.bin", kDiskFull);
  ASSERT_TRUE(box.window);
  // Retry writes the file again from its start: the disk is still full.
  MessageBoxView again = PressAndWaitForBox(box.window, "Retry");
  ExpectFailedRecord(again, game_ + "\\third.bin", kDiskFull);
  ASSERT_TRUE(again.window);
  EXPECT_EQ(255, PressAndWaitForExit(program_.get(), again.window, "Cancel"));
  ExpectFile(game_ + "\\first.bin", files_[0].second);
  ExpectFile(game_ + "\\second.bin", files_[1].second);
  ExpectNoStamp();
}

TEST_F(ExtractionDiskFull, RetryAfterSpaceIsFreedCompletesTheUpdate) {
  unsigned long long free = FreeBytes(game_);
  ASSERT_GT(free, 1u << 20) << "the small disk is already full";
  std::string filler = folder_ + "\\filler.bin";
  ASSERT_TRUE(WriteLargeFile(filler, free / 2));
  WriteThreeFiles(free / 8, free / 2);
  MessageBoxView box = RunUpdate();
  ExpectFailedRecord(box, game_ + "\\third.bin", kDiskFull);
  ASSERT_TRUE(box.window);
  ASSERT_TRUE(DeleteFileA(filler.c_str()));
  MessageBoxView done = PressAndWaitForBox(box.window, "Retry");
  ExpectDone(done);
  ASSERT_TRUE(done.window);
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), done.window, "OK"));
  for (const auto& file : files_) ExpectFile(game_ + "\\" + file.first, file.second);
  ExpectStamp();
}

// ---- A build's commit ----------------------------------------------------------

class BuildDiskFull : public DiskFull {
 protected:
  void SetUp() override {
    DiskFull::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    target_ = folder_ + "\\Update.exe";
    tool_ = Path("tool\\Update.exe");
    ASSERT_TRUE(MakeFolders(Path("tool")));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), tool_.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), target_.c_str(), FALSE));
    ASSERT_TRUE(MakeFolders(folder_ + "\\Update"));
  }

  std::string target_, tool_;
};

// The payload and Update.exe fit on the disk; the new image beside them
// doesn't. No message is specified for a failed commit.
TEST_F(BuildDiskFull, FailsWith255AndLeavesUpdateExeAndNoTemporaryFile) {
  unsigned long long free = FreeBytes(folder_);
  std::string before;
  ASSERT_TRUE(ReadFileBytes(target_, &before));
  ASSERT_GT(free, before.size() + (2u << 20)) << "the small disk is too small";
  unsigned long long payload = (free - before.size()) * 2 / 3;
  std::string payloadPath = folder_ + "\\Update\\payload.bin";
  ASSERT_TRUE(WriteLargeFile(payloadPath, payload));
  unsigned long long freeBeforeBuild = FreeBytes(folder_);
  ASSERT_LT(freeBeforeBuild, before.size() + payload) << "the new image would fit";

  program_ = LaunchProgram(tool_.c_str(), "/BUILD", folder_.c_str());
  ASSERT_TRUE(program_);
  HWND box = FindMessageBox(program_->pid);  // gives up once the program has ended
  EXPECT_FALSE(box) << "unexpected message: " << MessageText(box);
  DWORD code = 0;
  ASSERT_TRUE(WaitForExitCode(program_.get(), kDriverTimeoutMs, &code));
  EXPECT_EQ(255u, code);

  std::string after;
  ASSERT_TRUE(ReadFileBytes(target_, &after));
  EXPECT_TRUE(before == after) << "Update.exe was changed";
  EXPECT_FALSE(FileExists(target_ + ".tmp")) << "the temporary image was left behind";
  EXPECT_EQ(freeBeforeBuild, FreeBytes(folder_)) << "the build left something on the disk";

  // The same build succeeds once the payload leaves room for the image.
  ASSERT_TRUE(WriteFileBytes(payloadPath, "small"));
  EXPECT_EQ("1 files (5 bytes) succesfully saved into resources.",
            RunBuildExpectingDone(tool_, folder_));
  std::string record;
  EXPECT_TRUE(ReadResource(target_, "FILE000", &record));
  EXPECT_TRUE(record == MakeRecord("payload.bin", "small"));
  EXPECT_FALSE(FileExists(target_ + ".tmp"));
}

}  // namespace
