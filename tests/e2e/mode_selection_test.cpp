// The choice of mode as a user meets it: the command line's last six
// characters pick /ERASE or /BUILD, anything else starts the updater.
#include "e2e_support.h"

namespace {

const char kEraseText[] = "0 files succesfully removed from resources.";
const char kNotInstalled[] = "Game is not correctly installed!";

class ModeSelection : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    exe_ = Path("Update.exe");
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), exe_.c_str(), FALSE)) << UpdateExePath();
    ASSERT_TRUE(ReadFileBytes(exe_, &exeBytes_));
  }

  // Runs the copy in the temporary folder and reads its first message box.
  MessageBoxView RunUntilBox(const char* tail) {
    program_ = LaunchProgram(exe_.c_str(), tail, root_.c_str());
    EXPECT_TRUE(program_) << "could not start " << exe_;
    if (!program_) return MessageBoxView{nullptr, "", "", {}, nullptr, ""};
    return WaitForMessageBox(*program_);
  }

  // The box is the only window: no updater window came up beside it.
  void ExpectOnlyWindow(const MessageBoxView& box) {
    std::vector<HWND> windows = ListTopWindows(program_->pid);
    ASSERT_EQ(1u, windows.size());
    EXPECT_EQ(box.window, windows[0]);
  }

  void ExpectErrorBox(const MessageBoxView& box, const char* text) {
    ASSERT_TRUE(box.window) << "no message box";
    EXPECT_EQ("Error", box.title);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
    EXPECT_EQ(nullptr, box.owner);
  }

  void ExpectFolderUntouched() {
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(exe_, &bytes));
    EXPECT_TRUE(bytes == exeBytes_) << "Update.exe was changed";
    EXPECT_FALSE(FileExists(Path("Update")));
    EXPECT_FALSE(FileExists(Path("Update.ver")));
  }

  std::string exe_;
  std::string exeBytes_;
  ProgramGuard program_;
};

class EraseSwitch : public ModeSelection, public ::testing::WithParamInterface<const char*> {};

TEST_P(EraseSwitch, ReportsNothingRemovedAndExitsWithZeroAfterOk) {
  MessageBoxView box = RunUntilBox(GetParam());
  ASSERT_TRUE(box.window) << "no message box";
  EXPECT_EQ("Done", box.title);
  EXPECT_EQ(kEraseText, box.text);
  EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
  EXPECT_EQ(nullptr, box.owner);
  ExpectOnlyWindow(box);
  // The box waits for the user: the program is still running.
  EXPECT_TRUE(IsProgramRunning(program_.get()));
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box.window, "OK"));
  ExpectFolderUntouched();
}

INSTANTIATE_TEST_SUITE_P(AnyCaseAtTheEnd, EraseSwitch,
                         ::testing::Values("/erase", "x /Erase", "/ERASE", "-foo/eRaSe",
                                           "/BUILD /ERASE"));

// With no install directory in the registry the updater stops at once with
// its own message: that message proves the updater was chosen.
class UpdaterChosen : public ModeSelection, public ::testing::WithParamInterface<const char*> {};

TEST_P(UpdaterChosen, StopsWithNotInstalledAndExitCode255) {
  ASSERT_TRUE(DeleteInstallDirValue());
  MessageBoxView box = RunUntilBox(GetParam());
  ExpectErrorBox(box, kNotInstalled);
  ExpectOnlyWindow(box);
  EXPECT_EQ(255, PressAndWaitForExit(program_.get(), box.window, "OK"));
  ExpectFolderUntouched();
}

INSTANTIATE_TEST_SUITE_P(NoSwitchAtTheEnd, UpdaterChosen,
                         ::testing::Values("/ERASE ",       // a blank after the switch
                                           "\"/ERASE\"",    // a quoted switch
                                           "ERASE",         // five characters
                                           "E",             // one character
                                           "",              // an empty line
                                           "/BUILD ",       // not trimmed either
                                           "\"/build\"",
                                           "/ERASE now",
                                           "/ERAS"));

TEST_F(ModeSelection, UpdaterWithEmptyRegistryValueSaysNotInstalled) {
  ASSERT_TRUE(SetInstallDirValue(""));
  MessageBoxView box = RunUntilBox("");
  ExpectErrorBox(box, kNotInstalled);
  EXPECT_EQ(255, PressAndWaitForExit(program_.get(), box.window, "OK"));
  DeleteInstallDirValue();
}

TEST_F(ModeSelection, UpdaterWithoutPackageSaysInvalidExe) {
  ASSERT_TRUE(SetInstallDirValue(root_));
  MessageBoxView box = RunUntilBox("");
  ExpectErrorBox(box, "Invalid EXE file");
  ExpectOnlyWindow(box);
  EXPECT_EQ(255, PressAndWaitForExit(program_.get(), box.window, "OK"));
  DeleteInstallDirValue();
  ExpectFolderUntouched();
}

}  // namespace
