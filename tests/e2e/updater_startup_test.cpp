// Start-up of the update executable: what stops it before its window, and
// what its window shows first (caption, directory).
#include "updater_support.h"

namespace {

const unsigned long long kBuildTime = 0x01D9A1B2C3D4E5F6ULL;

class UpdaterStartup : public UpdaterTest {
 protected:
  std::vector<NamedBytes> Files() { return {{"a.bin", "new a"}}; }

  // A message before the window: titled "Error", OK only, no owner, the only
  // window; OK ends the program with 255 and the game folder is untouched.
  void ExpectStartFailure(const char* text) {
    std::map<std::string, std::string> before = ReadFolderTree(game_);
    MessageBoxView box = LaunchForBox();
    ASSERT_TRUE(box.window) << "no message box";
    EXPECT_EQ("Error", box.title);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
    EXPECT_EQ(nullptr, box.owner);
    std::vector<HWND> windows = ListTopWindows(program_->pid);
    EXPECT_EQ(std::vector<HWND>{box.window}, windows) << "a window came up beside the message";
    EXPECT_TRUE(IsProgramRunning(program_.get())) << "the message didn't wait for OK";
    EXPECT_EQ(255, AnswerForExit(box, "OK"));
    ExpectGameUnchanged(before);
  }

  // Runs the package through a whole update and answers "Done".
  void UpdateToTheEnd() {
    MessageBoxView done = PressUpdateForBox();
    ExpectWindowBox(done, "Done", {"OK"});
    EXPECT_EQ(kDoneText, done.text);
    EXPECT_EQ(0, AnswerForExit(done, "OK"));
  }
};

TEST_F(UpdaterStartup, NoRegistryValueSaysNotInstalled) {
  UseFiles(Files(), kBuildTime);
  ASSERT_TRUE(DeleteInstallDirValue());
  ExpectStartFailure(kNotInstalledText);
}

TEST_F(UpdaterStartup, EmptyRegistryValueSaysNotInstalled) {
  UseFiles(Files(), kBuildTime);
  ASSERT_TRUE(SetInstallDirValue(""));
  ExpectStartFailure(kNotInstalledText);
}

// 300 characters don't fit the 260-byte buffer: the lookup fails as a whole
// rather than giving a cut directory.
TEST_F(UpdaterStartup, RegistryValueLongerThanBufferSaysNotInstalled) {
  UseFiles(Files(), kBuildTime);
  ASSERT_TRUE(SetInstallDirValue(game_ + "\\" + std::string(300 - game_.size() - 1, 'x')));
  ExpectStartFailure(kNotInstalledText);
}

// The directory is looked up before the package.
TEST_F(UpdaterStartup, NoRegistryValueComesBeforeAnUnusablePackage) {
  ASSERT_TRUE(DeleteInstallDirValue());
  ExpectStartFailure(kNotInstalledText);
}

struct HeaderCase {
  const char* label;
  int size;  // -1: no HEADER at all
};

class UnusableHeader : public UpdaterStartup, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(UnusableHeader, SaysInvalidExeFile) {
  std::vector<NamedBytes> resources = MakePackage(Files(), kBuildTime);
  NamedBytes& header = resources.back();
  ASSERT_EQ("HEADER", header.name);
  if (GetParam().size < 0)
    resources.pop_back();
  else
    header.bytes.resize(GetParam().size, '\0');
  resources.push_back({"TITLE", "Some Patch"});
  ASSERT_TRUE(WriteResources(exe_, resources));
  ExpectStartFailure(kInvalidExeText);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UnusableHeader,
                         ::testing::Values(HeaderCase{"None", -1}, HeaderCase{"Short15", 15},
                                           HeaderCase{"Long17", 17}),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) {
                           return std::string(info.param.label);
                         });

TEST_F(UpdaterStartup, WindowShowsTitleAndRegistryDirectoryInAskingState) {
  UseFiles(Files(), kBuildTime, "Orvanta Patch 1.01");
  ASSERT_TRUE(SetInstallDirValue(game_ + "\\"));
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ("Orvanta Patch 1.01", WindowTitle(window_));
  EXPECT_EQ(game_ + "\\", ControlText(window_, kEditId));
  ExpectAskingState();
  EXPECT_EQ(std::vector<HWND>{window_}, ListTopWindows(program_->pid));
  EXPECT_EQ(std::vector<std::string>({"Update", "Cancel"}), ButtonLabels(window_));
}

// The date is the UTC one: the test runs with a local zone of UTC+14 (see
// updater.cmake), where this moment is already 2000-01-01.
TEST_F(UpdaterStartup, CaptionWithoutTitleIsTheUtcBuildDate) {
  UseFiles(Files(), MakeFileTime(1999, 12, 31, 23, 30));
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ("Orvanta update (1999.12.31)", WindowTitle(window_));
}

TEST_F(UpdaterStartup, CaptionDateIsZeroPadded) {
  UseFiles(Files(), MakeFileTime(2024, 3, 7, 0, 0));
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ("Orvanta update (2024.03.07)", WindowTitle(window_));
}

TEST_F(UpdaterStartup, TitleLongerThan260IsCut) {
  std::string title;
  for (int i = 0; i < 30; ++i) title += "Patch " + std::to_string(100 + i) + " ";
  title.resize(300, '!');
  UseFiles(Files(), kBuildTime, title);
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(title.substr(0, 260), WindowTitle(window_));
}

// Without a title the readme name isn't even looked up: the update runs to
// its end and opens nothing.
TEST_F(UpdaterStartup, ReadmeWithoutTitleIsNotOpened) {
  std::vector<NamedBytes> files = {{"a.bin", "new a"}, {"readme.txt", "notes"}};
  std::vector<NamedBytes> resources = MakePackage(files, MakeFileTime(2010, 6, 15, 12, 0));
  resources.push_back({"README", "readme.txt"});
  ASSERT_TRUE(WriteResources(exe_, resources));
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ("Orvanta update (2010.06.15)", WindowTitle(window_));
  UpdateToTheEnd();
  ExpectGameFile("readme.txt", "notes");
  ExpectNoReadmeOpened();
}

TEST_F(UpdaterStartup, ReadmeWithTitleIsOpenedFromTheInstallDirectory) {
  std::vector<NamedBytes> files = {{"a.bin", "new a"}, {"Read Me.txt", "notes"}};
  UseFiles(files, kBuildTime, "Patch", "Read Me.txt");
  ASSERT_NO_FATAL_FAILURE(Launch());
  UpdateToTheEnd();
  ExpectReadmeOpened(game_ + "\\Read Me.txt");
}

}  // namespace
