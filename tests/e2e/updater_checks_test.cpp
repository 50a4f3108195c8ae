// The checks made when the player presses "Update": is the game in the
// directory typed, does that directory fit, is a newer package installed.
#include <string.h>

#include "updater_support.h"

namespace {

const unsigned long long kBuildTime = 0x01D9A1B2C3D4E5F6ULL;
const char kTooLong[] = "too long";

class UpdaterChecks : public UpdaterTest {
 protected:
  std::vector<NamedBytes> Files() {
    return {{"a.bin", PatternBytes(70000, 1)}, {"sub\\b.bin", PatternBytes(300, 2)}};
  }

  void SetUp() override {
    UpdaterTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(MakeFolders(game_ + "\\sub"));
  }

  // "Update" ends in "Done" at once: no question was asked.
  void ExpectUpdateWithoutQuestion() {
    MessageBoxView box = PressUpdateForBox();
    ExpectWindowBox(box, "Done", {"OK"});
    EXPECT_EQ(kDoneText, box.text);
    EXPECT_EQ(0, AnswerForExit(box, "OK"));
  }

  void ExpectInstalled(const std::string& folder, unsigned long long buildTime) {
    std::string bytes;
    for (const NamedBytes& file : Files()) {
      ASSERT_TRUE(ReadFileBytes(folder + "\\" + file.name, &bytes)) << file.name;
      EXPECT_TRUE(bytes == file.bytes) << file.name << " differs";
    }
    ASSERT_TRUE(ReadFileBytes(folder + "\\Update.ver", &bytes)) << "no stamp";
    EXPECT_TRUE(bytes == EncodeU64(buildTime)) << "stamp differs";
  }
};

// ---- "ov.exe" -----------------------------------------------------------------

class CorrectedDirectory : public UpdaterChecks, public ::testing::WithParamInterface<const char*> {};

TEST_P(CorrectedDirectory, MissingGameIsReportedWindowStaysAndTheCorrectedDirectoryWorks) {
  UseFiles(Files(), kBuildTime);
  std::string wrong = Path("elsewhere");
  ASSERT_TRUE(MakeFolders(wrong + "\\sub"));
  ASSERT_TRUE(SetInstallDirValue(wrong));
  std::map<std::string, std::string> wrongBefore = ReadFolderTree(wrong);
  std::map<std::string, std::string> gameBefore = ReadFolderTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());

  MessageBoxView box = PressUpdateForBox();
  ExpectWindowBox(box, "Error", {"OK"});
  EXPECT_EQ(kWrongDirText, box.text);
  ASSERT_NO_FATAL_FAILURE(Answer(box, "OK"));
  ExpectAskingState();
  EXPECT_TRUE(IsProgramRunning(program_.get()));
  EXPECT_TRUE(wrongBefore == ReadFolderTree(wrong)) << "written into the wrong directory";
  ExpectGameUnchanged(gameBefore);

  TypeDirectory(game_ + GetParam());
  ExpectUpdateWithoutQuestion();
  ExpectInstalled(game_, kBuildTime);
  EXPECT_TRUE(wrongBefore == ReadFolderTree(wrong)) << "written into the wrong directory";
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutBackslash, CorrectedDirectory, ::testing::Values("", "\\"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param[0] ? "Backslash" : "Plain");
                         });

TEST_F(UpdaterChecks, DirectoryThatDoesNotExistIsReportedAndCancelEndsWithZero) {
  UseFiles(Files(), kBuildTime);
  std::map<std::string, std::string> before = ReadFolderTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  TypeDirectory(Path("no such folder"));
  MessageBoxView box = PressUpdateForBox();
  ExpectWindowBox(box, "Error", {"OK"});
  EXPECT_EQ(kWrongDirText, box.text);
  ASSERT_NO_FATAL_FAILURE(Answer(box, "OK"));
  ExpectAskingState();
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), window_, "Cancel"));
  ExpectGameUnchanged(before);
  EXPECT_FALSE(FileExists(Path("no such folder")));
}

// An empty box means the root of the current drive. The program runs in the
// test's folder on C:, so its files land in C:\ of the test's own prefix;
// they are removed again afterwards.
class EmptyBox : public UpdaterChecks {
 protected:
  void SetUp() override {
    UpdaterChecks::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(0, _strnicmp(root_.c_str(), "C:\\", 3)) << root_;
    name_ = "orvanta-e2e-root-" + std::to_string(GetCurrentProcessId()) + ".bin";
    for (const char* path : {"C:\\ov.exe", "C:\\Update.ver"})
      if (FileExists(path)) GTEST_SKIP() << path << " exists: not ours to replace";
    cleanup_ = {"C:\\ov.exe", "C:\\Update.ver", "C:\\" + name_};
    ASSERT_TRUE(WriteFileBytes("C:\\ov.exe", "MZ root game"));
  }

  void TearDown() override {
    program_.reset();
    for (const std::string& path : cleanup_) {
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
    UpdaterChecks::TearDown();
  }

  std::string name_;
  std::vector<std::string> cleanup_;
};

TEST_F(EmptyBox, InstallsIntoTheRootOfTheCurrentDrive) {
  UseFiles({{name_, "at the root"}}, kBuildTime);
  std::map<std::string, std::string> before = ReadFolderTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  TypeDirectory("");
  ExpectUpdateWithoutQuestion();
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes("C:\\" + name_, &bytes)) << "not in C:\\";
  EXPECT_EQ("at the root", bytes);
  ASSERT_TRUE(ReadFileBytes("C:\\Update.ver", &bytes));
  EXPECT_TRUE(bytes == EncodeU64(kBuildTime));
  ExpectGameUnchanged(before);
}

// ---- The version stamp ------------------------------------------------------------

struct StampCase {
  const char* label;
  std::string stamp;  // content of Update.ver before the run
  int asks;
};

class Stamp : public UpdaterChecks, public ::testing::WithParamInterface<StampCase> {};

TEST_P(Stamp, AsksOnlyWhenTheFirstEightBytesAreNewer) {
  UseFiles(Files(), kBuildTime);
  WriteGameFile("Update.ver", GetParam().stamp);
  ASSERT_NO_FATAL_FAILURE(Launch());
  if (!GetParam().asks) {
    ExpectUpdateWithoutQuestion();
    ExpectInstalled(game_, kBuildTime);
    return;
  }
  std::map<std::string, std::string> before = ReadFolderTree(game_);
  MessageBoxView box = PressUpdateForBox();
  ExpectWindowBox(box, "Version conflict", {"Yes", "No"});
  EXPECT_EQ(kConflictText, box.text);
  ASSERT_NO_FATAL_FAILURE(Answer(box, "No"));
  ExpectAskingState();
  EXPECT_TRUE(IsProgramRunning(program_.get()));
  ExpectGameUnchanged(before);

  // Asked again, the player goes on with the older package.
  box = PressUpdateForBox();
  ExpectWindowBox(box, "Version conflict", {"Yes", "No"});
  ASSERT_NO_FATAL_FAILURE(Answer(box, "Yes"));
  MessageBoxView done = WaitForMessageBox(*program_);
  ExpectWindowBox(done, "Done", {"OK"});
  EXPECT_EQ(0, AnswerForExit(done, "OK"));
  ExpectInstalled(game_, kBuildTime);
}

const unsigned long long kHigh = kBuildTime >> 32;

INSTANTIATE_TEST_SUITE_P(
    Stamps, Stamp,
    ::testing::Values(
        StampCase{"Equal", EncodeU64(kBuildTime), 0},
        StampCase{"OlderByOne", EncodeU64(kBuildTime - 1), 0},
        StampCase{"NewerByOne", EncodeU64(kBuildTime + 1), 1},
        // Unsigned: all ones is the largest stamp, not -1.
        StampCase{"AllOnes", EncodeU64(~0ULL), 1},
        // The high half decides: a larger low half alone is older.
        StampCase{"LargerLowHalfSmallerHighHalf", EncodeU64(((kHigh - 1) << 32) | 0xFFFFFFFFu), 0},
        StampCase{"ShortSevenBytes", EncodeU64(~0ULL).substr(0, 7), 0},
        StampCase{"EmptyFile", "", 0},
        StampCase{"LongerButFirstEightEqual", EncodeU64(kBuildTime) + "\xff\xff\xff\xff", 0},
        StampCase{"LongerAndFirstEightNewer", EncodeU64(kBuildTime + 1) + std::string(4, '\0'), 1}),
    [](const ::testing::TestParamInfo<StampCase>& info) { return std::string(info.param.label); });

// ---- A directory too long for the files ----------------------------------------------

struct LengthCase {
  const char* label;
  int length;          // of the typed directory, its trailing '\' included
  int backslash;       // the typed directory ends in '\'
  int recordName;      // length of the longest record name; 0: short names only
  int readmeName;      // length of the readme name; 0: none
  int tooLong;         // refused as too long (else it fits, and ov.exe is missing)
};

class DirectoryLength : public UpdaterChecks, public ::testing::WithParamInterface<LengthCase> {
 protected:
  // "C:\xxxx...", of exactly the length asked for.
  static std::string TypedDirectory(const LengthCase& c) {
    std::string text = "C:\\" + std::string(c.length - 3 - (c.backslash ? 1 : 0), 'x');
    if (c.backslash) text += "\\";
    return text;
  }

  static std::string NameOfLength(int length, const char* tail) {
    return "d\\" + std::string(length - 2 - strlen(tail), 'n') + tail;
  }
};

// The directory, its '\', the longest name that goes after it (ov.exe,
// Update.ver or a record's name) and the terminator must fit 260 bytes.
TEST_P(DirectoryLength, TooLongIsRefusedAndTheWindowStaysOneLessFits) {
  const LengthCase& c = GetParam();
  std::vector<NamedBytes> files = Files();
  if (c.recordName) files.push_back({NameOfLength(c.recordName, ".bin"), "x"});
  std::string readme = c.readmeName ? NameOfLength(c.readmeName, ".txt") : "";
  UseFiles(files, kBuildTime, c.readmeName ? "Patch" : "", readme);
  std::string typed = TypedDirectory(c);
  ASSERT_EQ(static_cast<size_t>(c.length), typed.size());
  std::map<std::string, std::string> before = ReadFolderTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  TypeDirectory(typed);

  MessageBoxView box = PressUpdateForBox();
  ExpectWindowBox(box, "Error", {"OK"});
  if (c.tooLong)
    EXPECT_TRUE(Contains(box.text, kTooLong)) << box.text;
  else
    EXPECT_EQ(kWrongDirText, box.text);
  ASSERT_NO_FATAL_FAILURE(Answer(box, "OK"));
  ExpectAskingState();
  EXPECT_TRUE(IsProgramRunning(program_.get()));
  ExpectGameUnchanged(before);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, DirectoryLength,
    ::testing::Values(
        // Update.ver (10 characters) is the longest name: 248 + '\' + 10 + 1 = 260.
        LengthCase{"Plain248Fits", 248, 0, 0, 0, 0},
        LengthCase{"Plain249TooLong", 249, 0, 0, 0, 1},
        LengthCase{"Backslash249Fits", 249, 1, 0, 0, 0},
        LengthCase{"Backslash250TooLong", 250, 1, 0, 0, 1},
        LengthCase{"Plain300TooLong", 300, 0, 0, 0, 1},
        LengthCase{"Plain2000TooLong", 2000, 0, 0, 0, 1},
        // A record name of 30 characters: 228 + '\' + 30 + 1 = 260.
        LengthCase{"RecordName228Fits", 228, 0, 30, 0, 0},
        LengthCase{"RecordName229TooLong", 229, 0, 30, 0, 1},
        // The readme is optional and doesn't count: with a name of 40
        // characters, 219 + '\' + 40 + 1 = 261 still fits.
        LengthCase{"ReadmeNameNotCounted219Fits", 219, 0, 0, 40, 0},
        LengthCase{"ReadmeNameNotCounted248Fits", 248, 0, 0, 40, 0},
        LengthCase{"ReadmeNameNotCounted249TooLong", 249, 0, 0, 40, 1}),
    [](const ::testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.label); });

// A readme name too long for the directory doesn't stop the install: the
// files go in, and only the readme is not opened.
TEST_F(UpdaterChecks, ReadmeTooLongForTheDirectoryIsNotOpened) {
  std::string deep = Path(std::string(230 - root_.size() - 1, 'g'));
  ASSERT_EQ(230u, deep.size());
  ASSERT_TRUE(MakeFolders(deep + "\\sub"));
  ASSERT_TRUE(WriteFileBytes(deep + "\\ov.exe", "MZ the game"));
  std::string readme = "docs\\" + std::string(30, 'r') + ".txt";
  UseFiles(Files(), kBuildTime, "Patch", readme);
  ASSERT_NO_FATAL_FAILURE(Launch());
  TypeDirectory(deep);
  ExpectUpdateWithoutQuestion();
  ExpectInstalled(deep, kBuildTime);
  ExpectNoReadmeOpened();
}

TEST_F(UpdaterChecks, AfterATooLongDirectoryTheCorrectedOneWorks) {
  UseFiles(Files(), kBuildTime);
  ASSERT_NO_FATAL_FAILURE(Launch());
  TypeDirectory("C:\\" + std::string(280, 'x'));
  MessageBoxView box = PressUpdateForBox();
  ExpectWindowBox(box, "Error", {"OK"});
  EXPECT_TRUE(Contains(box.text, kTooLong)) << box.text;
  ASSERT_NO_FATAL_FAILURE(Answer(box, "OK"));
  ExpectAskingState();
  TypeDirectory(game_);
  ExpectUpdateWithoutQuestion();
  ExpectInstalled(game_, kBuildTime);
}

}  // namespace
