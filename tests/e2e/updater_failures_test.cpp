// Files that can't be written as they are: protected targets, which are
// replaced; missing folders, folders in the way and files held open, which
// stop the update with a message offering Retry and Cancel; and names that
// would leave the install directory, which are refused.
#include "updater_support.h"

namespace {

const unsigned long long kBuildTime = 0x01D9F00DCAFE0001ULL;

class UpdaterFailures : public UpdaterTest {
 protected:
  // Runs the update to its "Done" and answers it.
  void UpdateToTheEnd() {
    MessageBoxView done = PressUpdateForBox();
    ExpectWindowBox(done, "Done", {"OK"});
    EXPECT_EQ(kDoneText, done.text);
    EXPECT_EQ(0, AnswerForExit(done, "OK"));
  }

  // The message of a record that could not be written.
  void ExpectFailedRecordBox(const MessageBoxView& box, const std::string& names,
                             const std::string& reason) {
    ExpectWindowBox(box, "Error", {"Retry", "Cancel"});
    EXPECT_TRUE(Contains(box.text, names)) << box.text;
    EXPECT_TRUE(Contains(box.text, reason)) << box.text;
  }
};

// ---- Protected targets --------------------------------------------------------------

std::string AttributeLabel(const ::testing::TestParamInfo<DWORD>& info) {
  switch (info.param) {
    case FILE_ATTRIBUTE_READONLY: return "ReadOnly";
    case FILE_ATTRIBUTE_HIDDEN: return "Hidden";
    case FILE_ATTRIBUTE_SYSTEM: return "System";
    default: return "AllThree";
  }
}

class ProtectedTarget : public UpdaterFailures, public ::testing::WithParamInterface<DWORD> {};

TEST_P(ProtectedTarget, IsReplacedAndLosesItsProtection) {
  std::vector<NamedBytes> files = {{"sub\\t.bin", PatternBytes(70000, 5)}};
  UseFiles(files, kBuildTime);
  std::string target = game_ + "\\sub\\t.bin";
  WriteGameFile("sub\\t.bin", PatternBytes(150000, 6));  // longer: must be cut
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), GetParam()));
  DWORD set = GetFileAttributesA(target.c_str());
  ASSERT_EQ(GetParam(), set & GetParam()) << "the prefix can't hold these attributes";
  ASSERT_NO_FATAL_FAILURE(Launch());
  UpdateToTheEnd();
  ExpectGameFile("sub\\t.bin", files[0].bytes);
  DWORD after = GetFileAttributesA(target.c_str());
  EXPECT_EQ(0u, after & GetParam()) << std::hex << after;
  ExpectStamp(kBuildTime);
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, ProtectedTarget,
    ::testing::Values(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY),
                      static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN),
                      static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM),
                      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                         FILE_ATTRIBUTE_SYSTEM)),
    AttributeLabel);

// The stamp is written the same way: a read-only stamp is replaced too.
TEST_F(UpdaterFailures, ReadOnlyStampIsReplaced) {
  UseFiles({{"a.bin", "a"}}, kBuildTime);
  WriteGameFile("Update.ver", EncodeU64(kBuildTime - 5) + "tail");
  ASSERT_TRUE(SetFileAttributesA((game_ + "\\Update.ver").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_NO_FATAL_FAILURE(Launch());
  UpdateToTheEnd();
  ExpectStamp(kBuildTime);
}

// ---- A record that can't be written --------------------------------------------------

enum Cause { kMissingFolder, kFolderInTheWay, kHeldOpen };

struct FailureCase {
  const char* label;
  Cause cause;
  int retry;  // else Cancel
};

// Records of 29, 50, 11 and 10 bytes: a total of 100, so the bar stands at
// 28 (29 % truncated in double precision) while the second one fails.
class FailedRecord : public UpdaterFailures, public ::testing::WithParamInterface<FailureCase> {
 protected:
  void SetUp() override {
    UpdaterFailures::SetUp();
    if (HasFatalFailure()) return;
    const FailureCase& c = GetParam();
    failing_ = c.cause == kMissingFolder    ? "missing\\b.bin"
               : c.cause == kFolderInTheWay ? "b.bin"
                                            : "sub\\b.bin";
    reason_ = c.cause == kMissingFolder    ? "The folder for this file does not exist"
              : c.cause == kFolderInTheWay ? "Access is denied"
                                           : "The file is in use by another program";
    files_ = {{"a.bin", PatternBytes(29, 1)},
              {failing_, PatternBytes(50, 2)},
              {"c.bin", PatternBytes(11, 3)},
              {"readme.txt", "0123456789"}};
    UseFiles(files_, kBuildTime, "Patch", "readme.txt");
    ASSERT_NO_FATAL_FAILURE(Block());
  }

  void TearDown() override {
    Unblock();
    UpdaterFailures::TearDown();
  }

  void Block() {
    switch (GetParam().cause) {
      case kMissingFolder: break;
      case kFolderInTheWay: ASSERT_TRUE(MakeFolders(game_ + "\\b.bin")); break;
      case kHeldOpen:
        WriteGameFile("sub\\b.bin", "held by the game");
        held_ = CreateFileA((game_ + "\\sub\\b.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held_);
        break;
    }
  }

  // What the player does before Retry: make the folder, move the folder out
  // of the way, close the game.
  void Unblock() {
    switch (GetParam().cause) {
      case kMissingFolder: MakeFolders(game_ + "\\missing"); break;
      case kFolderInTheWay: RemoveDirectoryA((game_ + "\\b.bin").c_str()); break;
      case kHeldOpen:
        if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
        held_ = INVALID_HANDLE_VALUE;
        break;
    }
  }

  MessageBoxView ExpectFailure() {
    MessageBoxView box = WaitForMessageBox(*program_);
    ExpectFailedRecordBox(box, game_ + "\\" + failing_, reason_);
    return box;
  }

  std::vector<NamedBytes> files_;
  std::string failing_, reason_;
  HANDLE held_ = INVALID_HANDLE_VALUE;
};

TEST_P(FailedRecord, IsReportedWithRetryAndCancel) {
  std::map<std::string, std::string> before = ReadFolderTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  PressUpdate();
  MessageBoxView box = ExpectFailure();
  ExpectUpdatingState();
  ExpectBarReaches(28);
  ExpectGameFile("a.bin", files_[0].bytes);
  ExpectNoGameFile("c.bin");
  ExpectNoGameFile("Update.ver");
  // Still busy: the close box can't end the program under the message.
  ExpectCloseBoxIgnored();

  if (!GetParam().retry) {
    EXPECT_EQ(255, AnswerForExit(box, "Cancel"));
    // Only a.bin was added; a file that the program couldn't open keeps its
    // old bytes.
    if (GetParam().cause == kHeldOpen) {
      Unblock();
      before["sub\\b.bin"] = "held by the game";  // unreadable while held
    }
    before["a.bin"] = files_[0].bytes;
    std::map<std::string, std::string> after = ReadFolderTree(game_);
    EXPECT_TRUE(before == after) << "before:\n" << ListTree(before) << "after:\n" << ListTree(after);
    ExpectNoReadmeOpened();
    return;
  }

  // Retry with the cause still there fails the same way again.
  ASSERT_NO_FATAL_FAILURE(Answer(box, "Retry"));
  box = ExpectFailure();
  ExpectNoGameFile("c.bin");
  Unblock();
  ASSERT_NO_FATAL_FAILURE(Answer(box, "Retry"));
  MessageBoxView done = WaitForMessageBox(*program_);
  ExpectWindowBox(done, "Done", {"OK"});
  EXPECT_EQ(kDoneText, done.text);
  ExpectBarReaches(100);
  EXPECT_EQ(0, AnswerForExit(done, "OK"));
  for (const NamedBytes& file : files_) ExpectGameFile(file.name, file.bytes);
  ExpectStamp(kBuildTime);
  ExpectReadmeOpened(game_ + "\\readme.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedRecord,
    ::testing::Values(FailureCase{"MissingFolderCancel", kMissingFolder, 0},
                      FailureCase{"MissingFolderRetry", kMissingFolder, 1},
                      FailureCase{"FolderInTheWayCancel", kFolderInTheWay, 0},
                      FailureCase{"FolderInTheWayRetry", kFolderInTheWay, 1},
                      FailureCase{"HeldOpenCancel", kHeldOpen, 0},
                      FailureCase{"HeldOpenRetry", kHeldOpen, 1}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.label); });

// ---- Names that leave the install directory ----------------------------------------------

class EscapingName : public UpdaterFailures, public ::testing::WithParamInterface<const char*> {
 protected:
  // Every place the escaping name could reach, with its state before the run.
  std::vector<std::string> Places() {
    return {Path("escape.bin"), game_ + "\\escape.bin", game_ + "\\sub\\escape.bin",
            "C:\\escape.bin", Path("game\\sub\\..\\escape.bin")};
  }
};

TEST_P(EscapingName, IsRefusedAsAFailedRecord) {
  for (const std::string& place : Places())
    ASSERT_FALSE(FileExists(place)) << place << " exists before the run";
  std::vector<NamedBytes> files = {
      {"a.bin", "first"}, {GetParam(), "escaped"}, {"c.bin", "never"}};
  UseFiles(files, kBuildTime);
  ASSERT_TRUE(MakeFolders(game_ + "\\sub"));
  std::map<std::string, std::string> before = ReadFolderTree(game_);
  ASSERT_NO_FATAL_FAILURE(Launch());
  PressUpdate();
  MessageBoxView box = WaitForMessageBox(*program_);
  ExpectFailedRecordBox(box, GetParam(), "outside");
  // Refused again on Retry: nothing about the name has changed.
  ASSERT_NO_FATAL_FAILURE(Answer(box, "Retry"));
  box = WaitForMessageBox(*program_);
  ExpectFailedRecordBox(box, GetParam(), "outside");
  EXPECT_EQ(255, AnswerForExit(box, "Cancel"));

  for (const std::string& place : Places()) {
    EXPECT_FALSE(FileExists(place)) << place << " was written";
    DeleteFileA(place.c_str());
  }
  before["a.bin"] = "first";
  ExpectGameUnchanged(before);
}

INSTANTIATE_TEST_SUITE_P(Names, EscapingName,
                         ::testing::Values("..\\escape.bin", "sub\\..\\..\\escape.bin",
                                           "sub/../../escape.bin", "..", "\\escape.bin",
                                           "/escape.bin", "C:escape.bin", "C:\\escape.bin",
                                           "c:/escape.bin"));

// A readme name that leaves the install directory is not opened, even where
// the file it names exists; the update itself succeeds.
class EscapingReadme : public UpdaterFailures, public ::testing::WithParamInterface<int> {};

TEST_P(EscapingReadme, IsNotOpened) {
  ASSERT_TRUE(WriteFileBytes(Path("readme.txt"), "outside notes"));
  std::string names[] = {"..\\readme.txt", Path("readme.txt"), Path("readme.txt").substr(2),
                         "docs\\..\\..\\readme.txt"};
  std::string readme = names[GetParam()];
  UseFiles({{"a.bin", "first"}, {"docs\\x.txt", "x"}}, kBuildTime, "Patch", readme);
  ASSERT_TRUE(MakeFolders(game_ + "\\docs"));
  ASSERT_NO_FATAL_FAILURE(Launch());
  UpdateToTheEnd();
  ExpectGameFile("a.bin", "first");
  ExpectStamp(kBuildTime);
  ExpectNoReadmeOpened();
}

std::string ReadmeLabel(const ::testing::TestParamInfo<int>& info) {
  const char* labels[] = {"Parent", "Drive", "LeadingBackslash", "ParentAfterFolder"};
  return labels[info.param];
}

INSTANTIATE_TEST_SUITE_P(Names, EscapingReadme, ::testing::Values(0, 1, 2, 3), ReadmeLabel);

}  // namespace
