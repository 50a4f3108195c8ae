// Damaged packages: copies of the program whose resources were written by
// hand, as a broken build tool or a corrupted download would leave them. Each
// gives "Invalid EXE file", the failed-record message, or a correct install;
// none crashes, hangs, or writes a byte outside the install directory.
#include <stdio.h>

#include "reliability_support.h"

namespace {

using namespace reliability;

const char kEvilName[] = "orvanta-rel-evil.txt";

class DamagedPackage : public UpdaterTest {
 protected:
  // Taken once the package is in place: the run may add only what the test
  // names, and only inside the install directory.
  void TakeSnapshot() { before_ = ListTree(root_); }

  void ExpectOnlyNewFiles(const std::map<std::string, long long>& added) {
    std::map<std::string, long long> expected = before_;
    for (const auto& file : added) expected[file.first] = file.second;
    EXPECT_EQ(expected, ListTree(root_));
    for (const char* drive : {"C:\\", "Z:\\"})
      EXPECT_FALSE(FileExists(std::string(drive) + kEvilName)) << drive;
  }

  // FILE001 is the record under test, between two good ones.
  void WriteAroundRecord(const std::string& record) {
    WritePackage({{"FILE000", MakeRecord("before.txt", before_txt_)},
                  {"FILE001", record},
                  {"FILE002", MakeRecord("after.txt", "after")},
                  {"HEADER", MakeHeader(3, 100, buildTime_)}});
  }

  // The failed-record message naming file for reason; Cancel ends the run
  // with 255 and only the first record installed.
  void ExpectFailedSecondRecord(const std::string& file, const std::string& reason) {
    MessageBoxView box = RunUpdate();
    ExpectFailedRecord(box, file, reason);
    ASSERT_TRUE(box.window);
    EXPECT_EQ(255, PressAndWaitForExit(program_.get(), box.window, "Cancel"));
    ExpectFile(game_ + "\\before.txt", before_txt_);
    ExpectNoStamp();
    ExpectOnlyNewFiles({{"parent\\game\\before.txt", static_cast<long long>(before_txt_.size())}});
  }

  // A complete install of a.txt: "Done", OK, exit code 0, the file and the
  // stamp, and nothing else.
  void ExpectInstall() {
    MessageBoxView box = PressUpdate();
    ASSERT_EQ("Done", box.title) << box.text;
    ExpectDone(box);
    EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box.window, "OK"));
    ExpectFile(game_ + "\\a.txt", "abc");
    ExpectStamp();
    ExpectOnlyNewFiles({{"parent\\game\\a.txt", 3}, {"parent\\game\\Update.ver", 8}});
  }

  void ExpectResourceSize(const char* name, size_t size) {
    std::string written;
    ASSERT_TRUE(ReadResource(exe_, name, &written)) << name;
    ASSERT_EQ(size, written.size()) << name;
  }

  std::map<std::string, long long> before_;
  std::string before_txt_ = MakePattern(70000, 1);  // two chunks
};

// ---- The header ------------------------------------------------------------

class HeaderSize : public DamagedPackage, public ::testing::WithParamInterface<int> {};

TEST_P(HeaderSize, OnlySixteenBytesMakeAUsablePackage) {
  const size_t size = GetParam();
  std::string header = MakeHeader(1, 3, buildTime_) + MakePattern(16, 2);
  header.resize(size);
  WritePackage({{"FILE000", MakeRecord("a.txt", "abc")}, {"HEADER", header}});
  ExpectResourceSize("HEADER", size);
  TakeSnapshot();
  if (size != 16) {
    ExpectInvalidExe();
    ExpectOnlyNewFiles({});
    return;
  }
  ASSERT_TRUE(StartUpdater());
  ExpectInstall();
}

INSTANTIATE_TEST_SUITE_P(EverySizeUpTo32, HeaderSize, ::testing::Range(0, 33));

TEST_F(DamagedPackage, NoHeaderAtAllIsInvalid) {
  WritePackage({{"FILE000", MakeRecord("a.txt", "abc")}, {"TITLE", "No header"}});
  TakeSnapshot();
  ExpectInvalidExe();
  ExpectOnlyNewFiles({});
}

// ---- Counts beyond the records ---------------------------------------------

TEST_F(DamagedPackage, CountBeyondRecordsFailsAtFirstMissingAndRetryFailsAgain) {
  WritePackage({{"FILE000", MakeRecord("before.txt", before_txt_)},
                {"FILE001", MakeRecord("second.txt", "second")},
                {"HEADER", MakeHeader(3, 70006, buildTime_)}});
  TakeSnapshot();
  MessageBoxView box = RunUpdate();
  ExpectFailedRecord(box, "FILE002", kDamaged);
  ASSERT_TRUE(box.window);
  // Retry reads the record again: still missing, so the same question.
  ASSERT_TRUE(PressButton(box.window, "Retry"));
  ASSERT_TRUE(WaitForWindowGone(box.window));
  MessageBoxView again = WaitForMessageBox(*program_);
  ExpectFailedRecord(again, "FILE002", kDamaged);
  EXPECT_EQ(box.text, again.text);
  ASSERT_TRUE(again.window);
  EXPECT_EQ(255, PressAndWaitForExit(program_.get(), again.window, "Cancel"));
  ExpectFile(game_ + "\\before.txt", before_txt_);
  ExpectFile(game_ + "\\second.txt", "second");
  ExpectNoStamp();
  ExpectOnlyNewFiles({{"parent\\game\\before.txt", 70000}, {"parent\\game\\second.txt", 6}});
}

TEST_F(DamagedPackage, LargestCountWithOneRecordFailsAtTheSecond) {
  WritePackage({{"FILE000", MakeRecord("before.txt", before_txt_)},
                {"HEADER", MakeHeader(0xFFFFFFFFu, 0xFFFFFFFFu, buildTime_)}});
  TakeSnapshot();
  ExpectFailedSecondRecord("FILE001", kDamaged);
}

// ---- Records that can't be parsed ------------------------------------------

struct BadRecord {
  const char* label;
  std::string bytes;
};

class DamagedRecord : public DamagedPackage, public ::testing::WithParamInterface<BadRecord> {};

TEST_P(DamagedRecord, IsAFailedRecordNamingItsResource) {
  WriteAroundRecord(GetParam().bytes);
  ExpectResourceSize("FILE001", GetParam().bytes.size());
  TakeSnapshot();
  ExpectFailedSecondRecord("FILE001", kDamaged);
}

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

INSTANTIATE_TEST_SUITE_P(
    Shapes, DamagedRecord,
    ::testing::Values(BadRecord{"Empty", ""}, BadRecord{"OneByte", Bytes("\x01", 1)},
                      BadRecord{"TwoBytes", Bytes("\x01\x00", 2)},
                      BadRecord{"ThreeBytes", Bytes("\x00\x00\x00", 3)},
                      BadRecord{"FourBytes", Bytes("\x00\x00\x00\x00", 4)},
                      BadRecord{"NameLengthPastEnd", LittleEndian32(20) + Bytes("abc\0xyz", 7)},
                      BadRecord{"NameLengthOneTooLong", LittleEndian32(4) + Bytes("abc\0", 4)},
                      BadRecord{"NameLengthAllOnes", LittleEndian32(0xFFFFFFFFu) + Bytes("a\0", 2)},
                      BadRecord{"NameLengthWrapsWithOverhead",
                                LittleEndian32(0xFFFFFFFCu) + Bytes("a\0bcdefg", 8)},
                      BadRecord{"NoTerminatorAtLength", LittleEndian32(3) + "abcdefgh"},
                      BadRecord{"ZeroInsideName", LittleEndian32(5) + Bytes("ab\0cd\0xyz", 9)}),
    [](const ::testing::TestParamInfo<BadRecord>& info) { return info.param.label; });

// ---- Names that leave the install directory ---------------------------------

struct BadName {
  const char* label;
  std::string name;
};

class UnsafeName : public DamagedPackage, public ::testing::WithParamInterface<BadName> {};

TEST_P(UnsafeName, IsAFailedRecordAndNothingIsWritten) {
  WriteAroundRecord(MakeRecord(GetParam().name, "evil"));
  TakeSnapshot();
  ExpectFailedSecondRecord(GetParam().name, kOutside);
}

const std::string kEvil = kEvilName;

INSTANTIATE_TEST_SUITE_P(
    Names, UnsafeName,
    ::testing::Values(BadName{"DotDotBackslash", "..\\" + kEvil},
                      BadName{"DotDotSlash", "../" + kEvil},
                      BadName{"TwoLevelsUp", "..\\..\\" + kEvil},
                      BadName{"UpFromASubfolder", "sub\\..\\..\\" + kEvil},
                      BadName{"ThreeDots", "..."},
                      BadName{"DotBlankDot", ". .\\" + kEvil},
                      BadName{"DotDotBlank", ".. \\" + kEvil},
                      BadName{"DriveAndRoot", "C:\\" + kEvil},
                      BadName{"DriveRelative", "C:" + kEvil},
                      BadName{"OtherDrive", "Z:\\" + kEvil},
                      BadName{"LeadingBackslash", "\\" + kEvil},
                      BadName{"LeadingSlash", "/" + kEvil},
                      BadName{"UncPath", "\\\\server\\share\\x.txt"},
                      BadName{"EmptyName", ""}),
    [](const ::testing::TestParamInfo<BadName>& info) { return info.param.label; });

// ---- Title and readme name --------------------------------------------------

std::string Letters(size_t size) {
  std::string text(size, 'A');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + i % 26 + (i / 26) % 2 * 32);
  return text;
}

std::string DefaultCaption(unsigned long long buildTime) {
  FILETIME time = {static_cast<DWORD>(buildTime), static_cast<DWORD>(buildTime >> 32)};
  SYSTEMTIME date;
  FileTimeToSystemTime(&time, &date);
  char text[64];
  snprintf(text, sizeof(text), "Orvanta update (%04d.%02d.%02d)", date.wYear, date.wMonth,
           date.wDay);
  return text;
}

class TextSize : public DamagedPackage, public ::testing::WithParamInterface<int> {};
class TitleSize : public TextSize {};
class ReadmeSize : public TextSize {};

TEST_P(TitleSize, CaptionIsTheFirst260BytesAndInstallCompletes) {
  const size_t size = GetParam();
  WriteRecords({{"a.txt", "abc"}}, {{"TITLE", Letters(size)}});
  ExpectResourceSize("TITLE", size);
  TakeSnapshot();
  ASSERT_TRUE(StartUpdater());
  // An empty title counts as none: the caption is made from the build date.
  std::string caption = size ? Letters(size < 260 ? size : 260) : DefaultCaption(buildTime_);
  EXPECT_EQ(caption, WindowTitle(window_));
  ExpectInstall();
}

INSTANTIATE_TEST_SUITE_P(Sizes, TitleSize, ::testing::Values(0, 260, 261, 10000));

// The readme can't be opened (its name doesn't fit beside the directory, or
// names nothing); the install must still end normally.
TEST_P(ReadmeSize, InstallCompletesWhateverTheNameLength) {
  WriteRecords({{"a.txt", "abc"}}, {{"TITLE", "Readme test"}, {"README", Letters(GetParam())}});
  ExpectResourceSize("README", GetParam());
  TakeSnapshot();
  ASSERT_TRUE(StartUpdater());
  EXPECT_EQ("Readme test", WindowTitle(window_));
  ExpectInstall();
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadmeSize, ::testing::Values(0, 260, 261, 10000));

// ---- Which readme is opened ---------------------------------------------------
// A batch file as the readme shows whether it was opened: it leaves a mark.

class ReadmeOpening : public DamagedPackage {
 protected:
  void WriteMarkingBatch(const std::string& path, const std::string& mark) {
    ASSERT_TRUE(WriteFileBytes(path, "@echo opened> \"" + mark + "\"\r\n"));
  }

  void InstallWithReadme(const std::string& readme) {
    WriteRecords({{"a.txt", "abc"}}, {{"TITLE", "Readme"}, {"README", readme}});
    TakeSnapshot();
    ASSERT_TRUE(StartUpdater());
    MessageBoxView box = PressUpdate();
    ExpectDone(box);
    ASSERT_TRUE(box.window);
    EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box.window, "OK"));
  }
};

TEST_F(ReadmeOpening, ReadmeInsideTheGameDirectoryIsOpened) {
  std::string mark = Path("mark.txt");
  WriteMarkingBatch(game_ + "\\readme.bat", mark);
  InstallWithReadme("readme.bat");
  EXPECT_TRUE(WaitUntil([&] { return FileExists(mark); })) << "the readme was not opened";
  // The batch's console keeps the game directory as its own for a moment.
  EXPECT_TRUE(WaitUntil([&] { return RemoveFolderTree(Path("parent")); }));
}

TEST_F(ReadmeOpening, ReadmeNamedOutsideTheGameDirectoryIsNotOpened) {
  std::string mark = Path("mark.txt");
  WriteMarkingBatch(Path("parent\\readme.bat"), mark);
  InstallWithReadme("..\\readme.bat");
  // The inside case shows the mark within a second or two; give it as long.
  EXPECT_FALSE(WaitUntil([&] { return FileExists(mark); }, 3000)) << "the readme was opened";
  ExpectOnlyNewFiles({{"parent\\game\\a.txt", 3}, {"parent\\game\\Update.ver", 8}});
}

}  // namespace
