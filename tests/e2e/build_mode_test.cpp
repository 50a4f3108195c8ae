// /BUILD as an author uses it: a build directory with "Update.exe", the folder
// "Update" and maybe "title.txt", and a second copy of the program run there.
#include <algorithm>

#include "e2e_support.h"

namespace {

const char kCantOpen[] = "Can''t find / open(for writing) executable!";
const unsigned long long kSecond = 10000000ULL;  // FILETIME units

class BuildMode : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    dir_ = Path("build");
    target_ = dir_ + "\\Update.exe";
    tool_ = Path("tool\\Update.exe");
    ASSERT_TRUE(MakeFolders(dir_));
    ASSERT_TRUE(MakeFolders(Path("tool")));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), target_.c_str(), FALSE)) << UpdateExePath();
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), tool_.c_str(), FALSE));
  }

  void AddFile(const std::string& relative, const std::string& bytes) {
    ASSERT_TRUE(WriteFileWithFolders(dir_ + "\\Update\\" + relative, bytes)) << relative;
  }

  void RemoveFile(const std::string& relative) {
    ASSERT_TRUE(DeleteFileA((dir_ + "\\Update\\" + relative).c_str())) << relative;
  }

  void WriteTitleFile(const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(dir_ + "\\title.txt", bytes));
  }

  // Runs the tool with /BUILD in the build directory and reads its first box.
  MessageBoxView StartBuild() {
    program_ = LaunchProgram(tool_.c_str(), "/BUILD", dir_.c_str());
    EXPECT_TRUE(program_) << "could not start " << tool_;
    if (!program_) return MessageBoxView{nullptr, "", "", {}, nullptr, ""};
    return WaitForMessageBox(*program_);
  }

  // A build that ends with its "Done" message; gives the message text.
  std::string BuildExpectingDone() {
    MessageBoxView box = StartBuild();
    EXPECT_TRUE(box.window) << "no message box";
    if (!box.window) return "";
    ExpectPlainBox(box, "Done");
    EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box.window, "OK"));
    return box.text;
  }

  // A build that fails with one message; Update.exe must stay as it was.
  void ExpectFailedBuild(const char* text) {
    std::string before;
    ASSERT_TRUE(ReadFileBytes(target_, &before));
    MessageBoxView box = StartBuild();
    ASSERT_TRUE(box.window) << "no message box";
    ExpectPlainBox(box, "Error");
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(255, PressAndWaitForExit(program_.get(), box.window, "OK"));
    ExpectTargetUnchanged(before);
  }

  // A build that fails, with or without a message of its own (a message is
  // titled "Error" and has no owner); Update.exe must stay as it was. Gives
  // the message text, "" when there was none.
  std::string FailedBuildMessage() {
    std::string before, text;
    EXPECT_TRUE(ReadFileBytes(target_, &before));
    program_ = LaunchProgram(tool_.c_str(), "/BUILD", dir_.c_str());
    EXPECT_TRUE(program_);
    if (!program_) return "";
    HWND box = FindMessageBox(program_->pid);  // none when the program just ends
    if (box) {
      MessageBoxView view;
      EXPECT_TRUE(ReadMessageBox(box, &view));
      ExpectPlainBox(view, "Error");
      text = view.text;
      EXPECT_TRUE(PressButton(box, "OK"));
    }
    DWORD code = 0;
    EXPECT_TRUE(WaitForExitCode(program_.get(), kDriverTimeoutMs, &code));
    EXPECT_EQ(255u, code);
    ExpectTargetUnchanged(before);
    return text;
  }

  // A target that can't be opened for writing gives two messages: the
  // complaint, then the full path of Update.exe.
  void ExpectCantOpenTarget() {
    MessageBoxView first = StartBuild();
    ASSERT_TRUE(first.window) << "no message box";
    ExpectPlainBox(first, "Error");
    EXPECT_EQ(kCantOpen, first.text);
    ASSERT_TRUE(PressButton(first.window, "OK"));
    ASSERT_TRUE(WaitForWindowGone(first.window));
    MessageBoxView second = WaitForMessageBox(*program_);
    ASSERT_TRUE(second.window) << "no second message box";
    ExpectPlainBox(second, "Error");
    EXPECT_EQ(0, lstrcmpiA(target_.c_str(), second.text.c_str())) << second.text;
    EXPECT_EQ(255, PressAndWaitForExit(program_.get(), second.window, "OK"));
  }

  void ExpectPlainBox(const MessageBoxView& box, const char* title) {
    EXPECT_EQ(title, box.title);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
    EXPECT_EQ(nullptr, box.owner);
  }

  void ExpectTargetUnchanged(const std::string& before) {
    std::string after;
    ASSERT_TRUE(ReadFileBytes(target_, &after));
    EXPECT_TRUE(before == after) << "Update.exe was changed";
  }

  std::string Resource(const char* name) {
    std::string bytes;
    EXPECT_TRUE(ReadResource(target_, name, &bytes)) << name << " is missing";
    return bytes;
  }

  int HasResource(const char* name) {
    std::string bytes;
    return ReadResource(target_, name, &bytes);
  }

  std::string dir_, target_, tool_;
  ProgramGuard program_;
};

TEST_F(BuildMode, OneFilePacksRecordAndHeaderAndReportsDone) {
  AddFile("a.txt", "abc");
  unsigned long long before = CurrentFileTime();
  EXPECT_EQ("1 files (3 bytes) succesfully saved into resources.", BuildExpectingDone());
  unsigned long long after = CurrentFileTime();

  std::string record = Resource("FILE000");
  EXPECT_EQ(13u, record.size());
  EXPECT_TRUE(record == std::string("\x05\0\0\0a.txt\0abc", 13)) << record;
  EXPECT_FALSE(HasResource("FILE001"));

  std::string header = Resource("HEADER");
  ASSERT_EQ(16u, header.size());
  EXPECT_EQ(1u, ReadU32(header, 0));
  EXPECT_EQ(3u, ReadU32(header, 4));
  unsigned long long built = ReadU64(header, 8);
  EXPECT_GE(built + 2 * kSecond, before);
  EXPECT_LE(built, after + 2 * kSecond);
  EXPECT_FALSE(HasResource("TITLE"));
  EXPECT_FALSE(HasResource("README"));
}

TEST_F(BuildMode, CountAndTotalOfSeveralFilesAreReported) {
  AddFile("ten.bin", std::string(10, 'x'));
  AddFile("sub\\twenty.bin", std::string(20, '\0'));
  AddFile("sub\\deep\\thirty.bin", std::string(30, '\xff'));
  EXPECT_EQ("3 files (60 bytes) succesfully saved into resources.", BuildExpectingDone());
  std::string header = Resource("HEADER");
  ASSERT_EQ(16u, header.size());
  EXPECT_EQ(3u, ReadU32(header, 0));
  EXPECT_EQ(60u, ReadU32(header, 4));
  EXPECT_TRUE(Resource("FILE000") == MakeRecord("sub\\deep\\thirty.bin", std::string(30, '\xff')));
  EXPECT_TRUE(Resource("FILE001") == MakeRecord("sub\\twenty.bin", std::string(20, '\0')));
  EXPECT_TRUE(Resource("FILE002") == MakeRecord("ten.bin", std::string(10, 'x')));
}

TEST_F(BuildMode, SubfolderFilesComeBeforeTheFolderOwnFiles) {
  AddFile("a.txt", "top");
  AddFile("s\\b.txt", "sub");
  BuildExpectingDone();
  EXPECT_EQ("s\\b.txt", RecordName(Resource("FILE000")));
  EXPECT_TRUE(Resource("FILE000") == MakeRecord("s\\b.txt", "sub"));
  EXPECT_TRUE(Resource("FILE001") == MakeRecord("a.txt", "top"));
}

TEST_F(BuildMode, DotFoldersAreSkippedAndDotFilesListed) {
  AddFile(".git\\config", "hidden");
  AddFile("s\\.svn\\entries", "hidden");
  AddFile(".config", "kept");
  AddFile("s\\a.txt", "abc");
  EXPECT_EQ("2 files (7 bytes) succesfully saved into resources.", BuildExpectingDone());
  std::vector<std::string> names = {RecordName(Resource("FILE000")),
                                    RecordName(Resource("FILE001"))};
  EXPECT_EQ((std::vector<std::string>{"s\\a.txt", ".config"}), names);
  EXPECT_FALSE(HasResource("FILE002"));
}

TEST_F(BuildMode, EmptyFileIsPackedAsRecordWithoutContent) {
  AddFile("empty.dat", "");
  AddFile("s\\a.txt", "abc");
  EXPECT_EQ("2 files (3 bytes) succesfully saved into resources.", BuildExpectingDone());
  std::string record = Resource("FILE001");
  EXPECT_EQ(9u + 5u, record.size());
  EXPECT_TRUE(record == MakeRecord("empty.dat", ""));
}

TEST_F(BuildMode, NoUpdateFolderSaysNoFilesFound) { ExpectFailedBuild("0 files found!"); }

TEST_F(BuildMode, UpdateFolderWithoutFilesSaysNoFilesFound) {
  ASSERT_TRUE(MakeFolders(dir_ + "\\Update\\empty\\deeper"));
  AddFile(".git\\HEAD", "skipped with its folder");
  ExpectFailedBuild("0 files found!");
}

TEST_F(BuildMode, MissingTargetGivesBothMessages) {
  AddFile("a.txt", "abc");
  ASSERT_TRUE(DeleteFileA(target_.c_str()));
  ExpectCantOpenTarget();
  EXPECT_FALSE(FileExists(target_));
}

// Held open without sharing, Update.exe can't be opened for writing. (A
// read-only attribute would not do here: Wine run as root writes through it.)
TEST_F(BuildMode, TargetLockedByAnotherProgramGivesBothMessagesAndStaysUnchanged) {
  AddFile("a.txt", "abc");
  std::string before;
  ASSERT_TRUE(ReadFileBytes(target_, &before));
  HANDLE lock = CreateFileA(target_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  ExpectCantOpenTarget();
  CloseHandle(lock);
  ExpectTargetUnchanged(before);
}

TEST_F(BuildMode, PayloadFileThatCantBeReadFailsBuild) {
  AddFile("a.txt", "abc");
  AddFile("s\\b.txt", "held open");
  std::string held = dir_ + "\\Update\\s\\b.txt";
  HANDLE lock = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  FailedBuildMessage();
  CloseHandle(lock);
}

TEST_F(BuildMode, PathLongerThanBufferFailsWithMessageNamingIt) {
  AddFile("a.txt", "abc");
  std::string folder(150, 'F'), name = std::string(100, 'n') + ".txt";
  ASSERT_GT(dir_.size() + 8 + folder.size() + 1 + name.size(), 260u);
  ASSERT_TRUE(WriteLongPathFile(dir_ + "\\Update", folder + "\\" + name, "x"));
  std::string text = FailedBuildMessage();
  EXPECT_NE(std::string::npos, text.find(folder)) << text;
}

TEST_F(BuildMode, RebuildWithFewerFilesKeepsOldRecordsButCountsThree) {
  for (char c = 'a'; c <= 'e'; ++c) AddFile(std::string(1, c) + ".txt", std::string(3, c));
  EXPECT_EQ("5 files (15 bytes) succesfully saved into resources.", BuildExpectingDone());
  std::string old3 = Resource("FILE003"), old4 = Resource("FILE004");
  ASSERT_EQ(13u, old3.size());
  RemoveFile("a.txt");
  RemoveFile("b.txt");
  AddFile("c.txt", "changed");

  EXPECT_EQ("3 files (13 bytes) succesfully saved into resources.", BuildExpectingDone());
  EXPECT_TRUE(Resource("FILE003") == old3);
  EXPECT_TRUE(Resource("FILE004") == old4);
  EXPECT_FALSE(HasResource("FILE005"));
  EXPECT_EQ(3u, ReadU32(Resource("HEADER"), 0));
  EXPECT_EQ(13u, ReadU32(Resource("HEADER"), 4));
  std::vector<std::string> names;
  for (const char* name : {"FILE000", "FILE001", "FILE002"})
    names.push_back(RecordName(Resource(name)));
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"c.txt", "d.txt", "e.txt"}), names);
}

TEST_F(BuildMode, TitleFileGivesTitleAndReadmeWithoutTerminator) {
  AddFile("a.txt", "abc");
  WriteTitleFile("My Patch\r\nreadme.txt\r\n");
  BuildExpectingDone();
  EXPECT_TRUE(Resource("TITLE") == "My Patch");
  EXPECT_TRUE(Resource("README") == "readme.txt");
}

TEST_F(BuildMode, TitleFileLineEndsAreCrCrLfAndNulButNotLoneLf) {
  AddFile("a.txt", "abc");
  WriteTitleFile("one\ntwo\rreadme.txt");
  BuildExpectingDone();
  EXPECT_TRUE(Resource("TITLE") == "one\ntwo");
  EXPECT_TRUE(Resource("README") == "readme.txt");
}

TEST_F(BuildMode, TitleFileWithEmptyFirstLineWritesOnlyReadme) {
  AddFile("a.txt", "abc");
  WriteTitleFile("\r\nreadme.txt\r\n");
  BuildExpectingDone();
  EXPECT_FALSE(HasResource("TITLE"));
  EXPECT_TRUE(Resource("README") == "readme.txt");
}

TEST_F(BuildMode, BuildWithoutTitleFileKeepsEarlierTitleAndReadme) {
  AddFile("a.txt", "abc");
  WriteTitleFile("First Patch\r\nfirst.txt");
  BuildExpectingDone();
  ASSERT_TRUE(DeleteFileA((dir_ + "\\title.txt").c_str()));
  AddFile("b.txt", "second");
  EXPECT_EQ("2 files (9 bytes) succesfully saved into resources.", BuildExpectingDone());
  EXPECT_TRUE(Resource("TITLE") == "First Patch");
  EXPECT_TRUE(Resource("README") == "first.txt");
}

TEST_F(BuildMode, EmptyFirstLineKeepsEarlierTitleButReplacesReadme) {
  AddFile("a.txt", "abc");
  WriteTitleFile("First Patch\r\nfirst.txt");
  BuildExpectingDone();
  WriteTitleFile("\r\nsecond.txt");
  BuildExpectingDone();
  EXPECT_TRUE(Resource("TITLE") == "First Patch");
  EXPECT_TRUE(Resource("README") == "second.txt");
}

}  // namespace
