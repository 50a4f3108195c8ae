// Install targets as they are found on players' machines: a file held open
// by the running game, files marked read-only, hidden or system, and names
// in the code page beyond ASCII.
#include "reliability_support.h"

namespace {

using namespace reliability;

class Targets : public UpdaterTest {};

// The game keeps a file open without sharing: the updater names it and the
// reason, and Retry goes on once the game has let go of it.
TEST_F(Targets, FileHeldOpenFailsAsInUseAndRetrySucceedsOnceReleased) {
  std::string first = MakePattern(100000, 1), held = MakePattern(70000, 2);
  WriteRecords({{"first.bin", first}, {"held.bin", held}, {"last.bin", "last"}});
  std::string heldPath = game_ + "\\held.bin";
  ASSERT_TRUE(WriteFileBytes(heldPath, "old content of the held file"));
  HANDLE lock = CreateFileA(heldPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);

  MessageBoxView box = RunUpdate();
  ExpectFailedRecord(box, heldPath, kInUse);
  ASSERT_TRUE(box.window);
  ASSERT_TRUE(PressButton(box.window, "Retry"));  // still held: asked again
  ASSERT_TRUE(WaitForWindowGone(box.window));
  MessageBoxView again = WaitForMessageBox(*program_);
  ExpectFailedRecord(again, heldPath, kInUse);
  EXPECT_FALSE(FileExists(game_ + "\\last.bin")) << "the update went past the held file";
  ASSERT_TRUE(again.window);

  CloseHandle(lock);
  ASSERT_TRUE(PressButton(again.window, "Retry"));
  ASSERT_TRUE(WaitForWindowGone(again.window));
  MessageBoxView done = WaitForMessageBox(*program_);
  ExpectDone(done);
  ASSERT_TRUE(done.window);
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), done.window, "OK"));
  ExpectFile(game_ + "\\first.bin", first);
  ExpectFile(heldPath, held);
  ExpectFile(game_ + "\\last.bin", "last");
  ExpectStamp();
}

// Longer old contents show that each file is cut, not overwritten in place.
TEST_F(Targets, ReadOnlyHiddenAndSystemFilesAreReplaced) {
  const struct {
    const char* name;
    DWORD attributes;
  } kFiles[] = {{"readonly.txt", FILE_ATTRIBUTE_READONLY},
                {"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
                {"system.txt", FILE_ATTRIBUTE_SYSTEM},
                {"all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM}};
  const DWORD kMarks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ResourceList files;
  for (const auto& file : kFiles) {
    std::string path = game_ + "\\" + file.name;
    ASSERT_TRUE(WriteFileBytes(path, std::string(5000, 'o')));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), file.attributes));
    ASSERT_EQ(file.attributes, GetFileAttributesA(path.c_str()) & kMarks) << file.name;
    files.emplace_back(file.name, std::string("new ") + file.name);
  }
  WriteRecords(files);
  MessageBoxView box = RunUpdate();
  ExpectDone(box);
  ASSERT_TRUE(box.window);
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box.window, "OK"));
  for (const auto& file : files) {
    std::string path = game_ + "\\" + file.first;
    ExpectFile(path, file.second);
    EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & kMarks) << file.first;
  }
  ExpectStamp();
}

// ---- Names beyond ASCII -------------------------------------------------------

const char kCafe[] = "caf\xE9.txt";             // café.txt in Windows-1252
const char kFolder[] = "Donn\xE9" "es";         // Données
const char kSummer[] = "\xE9t\xE9 \xFC\xDF.bin";  // été üß.bin
const char kTitle[] = "Mise \xE0 jour \xAB\xE9t\xE9\xBB";

// Files and folders are made with the ANSI calls, so the names are the code
// page's bytes, as the build reads them and the updater writes them.
TEST_F(Targets, CodePageNamesRoundTripThroughBuildAndUpdate) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  std::string dir = Path("build"), tool = Path("tool\\Update.exe");
  std::string built = dir + "\\Update.exe";
  std::string cafe = MakePattern(3000, 4), summer = MakePattern(66000, 5);
  ASSERT_TRUE(MakeFolders(Path("tool")));
  ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), tool.c_str(), FALSE));
  ASSERT_TRUE(WriteFileWithFolders(dir + "\\Update\\" + kCafe, cafe));
  ASSERT_TRUE(WriteFileWithFolders(dir + "\\Update\\" + kFolder + "\\" + kSummer, summer));
  ASSERT_TRUE(WriteFileBytes(dir + "\\title.txt", std::string(kTitle) + "\r\n"));
  ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), built.c_str(), FALSE));
  EXPECT_EQ("2 files (69000 bytes) succesfully saved into resources.",
            RunBuildExpectingDone(tool, dir));

  std::string first, second, title;
  ASSERT_TRUE(ReadResource(built, "FILE000", &first));
  ASSERT_TRUE(ReadResource(built, "FILE001", &second));
  EXPECT_TRUE(first == MakeRecord(std::string(kFolder) + "\\" + kSummer, summer))
      << RecordName(first);
  EXPECT_TRUE(second == MakeRecord(kCafe, cafe)) << RecordName(second);
  ASSERT_TRUE(ReadResource(built, "TITLE", &title));
  EXPECT_EQ(kTitle, title);

  exe_ = built;
  ASSERT_TRUE(MakeFolders(game_ + "\\" + kFolder));  // the updater makes no folder
  ASSERT_TRUE(StartUpdater());
  EXPECT_EQ(kTitle, WindowTitle(window_));
  MessageBoxView box = PressUpdate();
  ExpectDone(box);
  ASSERT_TRUE(box.window);
  EXPECT_EQ(0, PressAndWaitForExit(program_.get(), box.window, "OK"));
  ExpectFile(game_ + "\\" + kCafe, cafe);
  ExpectFile(game_ + "\\" + kFolder + "\\" + kSummer, summer);
  std::map<std::string, long long> tree = ListTree(game_);
  std::map<std::string, long long> expected = {{"ov.exe", 4},
                                               {"Update.ver", 8},
                                               {kCafe, 3000},
                                               {kFolder, -1},
                                               {std::string(kFolder) + "\\" + kSummer, 66000}};
  EXPECT_EQ(expected, tree);
  std::string header;
  ASSERT_TRUE(ReadResource(built, "HEADER", &header));
  ExpectFile(game_ + "\\Update.ver", header.substr(8));
}

}  // namespace
