// Ending the updater before or during an update: Cancel and the close box
// before it leave everything as it was; during it the close box is ignored.
#include "updater_support.h"

namespace {

const unsigned long long kBuildTime = 0x01DA0203040506A0ULL;

class UpdaterEnding : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    if (HasFatalFailure()) return;
    files_ = {{"a.bin", PatternBytes(100000, 1)}, {"readme.txt", "notes"}};
    UseFiles(files_, kBuildTime, "Patch", "readme.txt");
    WriteGameFile("a.bin", "the old a");
    before_ = ReadFolderTree(game_);
  }

  std::vector<NamedBytes> files_;
  std::map<std::string, std::string> before_;
};

TEST_F(UpdaterEnding, CancelBeforeUpdateExitsWithZeroAndWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), window_, "Cancel"));
  ExpectGameUnchanged(before_);
  ExpectNoReadmeOpened();
}

TEST_F(UpdaterEnding, CloseBoxBeforeUpdateExitsWithZeroAndWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  ASSERT_TRUE(SendCloseBox(window_));
  DWORD code = 1;
  ASSERT_TRUE(WaitForExitCode(program_.get(), kDriverTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  ExpectGameUnchanged(before_);
}

// A "No" to the version question leaves the window asking; Cancel then still
// ends cleanly.
TEST_F(UpdaterEnding, CancelAfterRefusingAnOlderPackageWritesNothing) {
  WriteGameFile("Update.ver", EncodeU64(kBuildTime + 1));
  before_ = ReadFolderTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box = PressUpdateForBox();
  ExpectWindowBox(box, "Version conflict", {"Yes", "No"});
  ASSERT_NO_FATAL_FAILURE(Answer(box, "No"));
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), window_, "Cancel"));
  ExpectGameUnchanged(before_);
}

// "Done" is shown by the worker, so the update is still running while it
// waits: the close box does nothing, however often it is used.
TEST_F(UpdaterEnding, CloseBoxIsIgnoredWhileDoneWaits) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView done = PressUpdateForBox();
  ExpectWindowBox(done, "Done", {"OK"});
  for (int i = 0; i < 3; ++i) ExpectCloseBoxIgnored();
  EXPECT_TRUE(IsWindow(done.window) && IsWindowVisible(done.window)) << "\"Done\" went away";
  ExpectUpdatingState();
  EXPECT_EQ(0, AnswerForExit(done, "OK"));
  for (const NamedBytes& file : files_) ExpectGameFile(file.name, file.bytes);
  ExpectStamp(kBuildTime);
  ExpectReadmeOpened(game_ + "\\readme.txt");
}

}  // namespace
