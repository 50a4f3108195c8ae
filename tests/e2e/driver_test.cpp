// The driver itself, against the real program: what the other end-to-end
// tests rely on when they read, press, type and wait.
#include "e2e_support.h"

namespace {

const int kEdit = 1000, kUpdate = 1001, kCancel = 1002, kStatus = 1003, kProgress = 1004;

class Driver : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    exe_ = Path("Update.exe");
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), exe_.c_str(), FALSE));
  }

  // Packs one file into the copy, so that it starts as an updater.
  void MakePackage() {
    ASSERT_TRUE(WriteFileWithFolders(Path("Update\\a.txt"), "abc"));
    ASSERT_TRUE(WriteFileBytes(Path("title.txt"), "Driver Test\r\n"));
    ProgramGuard builder = LaunchProgram(UpdateExePath().c_str(), "/BUILD", root_.c_str());
    ASSERT_TRUE(builder);
    MessageBoxView box = WaitForMessageBox(*builder);
    ASSERT_EQ("Done", box.title) << box.text;
    ASSERT_EQ(0, PressAndWaitForExit(builder.get(), box.window, "OK"));
  }

  HWND StartUpdaterWindow() {
    program_ = LaunchProgram(exe_.c_str(), "", root_.c_str());
    if (!program_) return nullptr;
    return FindWindowByTitle(program_->pid, "Driver Test");
  }

  std::string exe_;
  ProgramGuard program_;
};

TEST_F(Driver, WaitForExitCodeKillsProgramThatOutlivesTimeout) {
  program_ = LaunchProgram(exe_.c_str(), "/ERASE", root_.c_str());
  ASSERT_TRUE(program_);
  ASSERT_TRUE(FindMessageBox(program_->pid));
  DWORD code = 12345;
  EXPECT_EQ(0, WaitForExitCode(program_.get(), 100, &code));
  EXPECT_EQ(12345u, code);
  EXPECT_FALSE(IsProgramRunning(program_.get()));
}

TEST_F(Driver, GuardEndsProgramWhenTestLeavesEarly) {
  HANDLE process = nullptr;
  {
    ProgramGuard program = LaunchProgram(exe_.c_str(), "/ERASE", root_.c_str());
    ASSERT_TRUE(program);
    ASSERT_TRUE(FindMessageBox(program->pid));
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), program->process, GetCurrentProcess(),
                                &process, SYNCHRONIZE, FALSE, 0));
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 0));
  CloseHandle(process);
}

TEST_F(Driver, FindingGivesUpAtOnceWhenProgramHasEnded) {
  program_ = LaunchProgram(exe_.c_str(), "/ERASE", root_.c_str());
  ASSERT_TRUE(program_);
  HWND box = FindMessageBox(program_->pid);
  ASSERT_TRUE(box);
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box, "OK"));
  DWORD start = GetTickCount();
  EXPECT_EQ(nullptr, FindMessageBox(program_->pid, 10000));
  EXPECT_EQ(nullptr, FindMainWindow(program_->pid, 10000));
  EXPECT_LT(GetTickCount() - start, 5000u);
}

TEST_F(Driver, PressingRequiresExistingLabelAndMatchesWithoutAmpersand) {
  program_ = LaunchProgram(exe_.c_str(), "/ERASE", root_.c_str());
  ASSERT_TRUE(program_);
  HWND box = FindMessageBox(program_->pid);
  ASSERT_TRUE(box);
  EXPECT_EQ(0, PressButton(box, "Cancel"));
  EXPECT_EQ(nullptr, FindButton(box, "O"));
  EXPECT_TRUE(FindButton(box, "&OK"));
  EXPECT_TRUE(IsProgramRunning(program_.get()));
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box, "&OK"));
}

TEST_F(Driver, ReadsAndSetsControlsOfUpdaterWindow) {
  MakePackage();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(SetInstallDirValue(root_));
  HWND window = StartUpdaterWindow();
  ASSERT_TRUE(window);
  EXPECT_FALSE(IsMessageBox(window));
  EXPECT_EQ(nullptr, ReadOwner(window));
  EXPECT_EQ(root_, ControlText(window, kEdit));
  EXPECT_EQ("Orvanta directory:", ControlText(window, kStatus));
  EXPECT_EQ((std::vector<std::string>{"Update", "Cancel"}), ButtonLabels(window));

  int enabled = 0, visible = 0;
  ASSERT_TRUE(ReadControlState(window, kEdit, &enabled, &visible));
  EXPECT_EQ(1, enabled);
  EXPECT_EQ(1, visible);
  ASSERT_TRUE(ReadControlState(window, kProgress, &enabled, &visible));
  EXPECT_EQ(0, visible);
  EXPECT_EQ(0, ReadControlState(window, 4242, &enabled, &visible));
  int position = -1, low = -1, high = -1;
  ASSERT_TRUE(ReadProgressBar(window, kProgress, &position, &low, &high));
  EXPECT_EQ(0, position);
  EXPECT_EQ(0, ReadProgressBar(window, 4242, &position, &low, &high));

  ASSERT_TRUE(SetControlText(window, kEdit, "C:\\typed here"));
  EXPECT_EQ("C:\\typed here", ControlText(window, kEdit));
  ASSERT_TRUE(FindButton(window, "Update"));
  ASSERT_TRUE(GetDlgItem(window, kUpdate) && GetDlgItem(window, kCancel));

  std::string picture = Path("window.bmp"), bytes;
  ASSERT_TRUE(SaveWindowPicture(window, picture.c_str()));
  ASSERT_TRUE(ReadFileBytes(picture, &bytes));
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  EXPECT_EQ("BM", bytes.substr(0, 2));
  EXPECT_EQ(54u + static_cast<unsigned>(((width * 3 + 3) & ~3) * height), bytes.size());
  EXPECT_EQ(24u, ReadU32(bytes, 28) & 0xFFFF);
  // A window is drawn: its picture is not one flat colour.
  std::string pixels = bytes.substr(54);
  EXPECT_NE(std::string::npos, pixels.find_first_not_of(pixels[0]));

  ASSERT_TRUE(SendCloseBox(window));
  DWORD code = 1;
  ASSERT_TRUE(WaitForExitCode(program_.get(), kDriverTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  DeleteInstallDirValue();
}

}  // namespace
