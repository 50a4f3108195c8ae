// /ERASE, and /BUILD as an author uses it: the fixture's folder is the build
// directory, with "Update.exe", the folder "Update" and maybe "title.txt", and
// a second copy of the program is run there.
#include "e2e.h"

namespace {

const char kCantOpen[] = "Can''t find / open(for writing) executable!";

class BuildMode : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    before_ = FileBytes(exe_);
  }

  void ExpectUnchanged(const std::string& exe) {
    EXPECT_TRUE(FileBytes(exe) == before_) << exe << " was changed";
  }

  std::string before_;
};

TEST_F(BuildMode, EraseReportsNoFileRemovedAndExitsWithZero) {
  Tree before = ReadTree(root_);
  EXPECT_EQ(Texts{"0 files succesfully removed from resources."},
            RunToEnd(exe_, "x /Erase", root_, "Done", 0));
  ExpectTree(before, root_);
}

// Subfolders' files come first; an empty file is packed; the header holds
// the count, the total and the build time.
TEST_F(BuildMode, PacksTheFolderAndTitleAsTheLoaderSeesThem) {
  ASSERT_TRUE(WriteFileBytes(Path("Update\\a.txt"), "abc"));
  ASSERT_TRUE(WriteFileBytes(Path("Update\\s\\empty.dat"), ""));
  ASSERT_TRUE(WriteFileBytes(Path("title.txt"), "My Patch\r\nreadme.txt\r\n"));
  EXPECT_EQ(Texts{"2 files (3 bytes) succesfully saved into resources."}, Build(root_));
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  unsigned long long built = 0, end = now.dwLowDateTime | 1ull * now.dwHighDateTime << 32;
  EXPECT_EQ(Record("s\\empty.dat", ""), Resource(exe_, "FILE000"));
  EXPECT_EQ(Record("a.txt", "abc"), Resource(exe_, "FILE001"));
  EXPECT_EQ(kAbsent, Resource(exe_, "FILE002"));
  std::string header = Resource(exe_, "HEADER");
  ASSERT_EQ(16u, header.size());
  EXPECT_EQ(Le32(2) + Le32(3), header.substr(0, 8));
  for (int i = 15; i >= 8; --i) built = built << 8 | static_cast<unsigned char>(header[i]);
  EXPECT_LT(end - built, 300000000u) << "not the time of the build, within 30 s before now";
  EXPECT_EQ("My Patch", Resource(exe_, "TITLE"));
  EXPECT_EQ("readme.txt", Resource(exe_, "README"));
}

// Without files; with Update.exe held open without sharing, so that it can't
// be opened for writing (a read-only attribute would not do: Wine run as root
// writes through it); without Update.exe.
TEST_F(BuildMode, NoFilesOrLockedOrMissingUpdateExeFailWithTheirMessages) {
  EXPECT_EQ(Texts{"0 files found!"}, BuildFails(root_));
  ExpectUnchanged(exe_);
  ASSERT_TRUE(WriteFileBytes(Path("Update\\a.txt"), "abc"));
  HANDLE lock = CreateFileA(exe_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  EXPECT_EQ((Texts{kCantOpen, exe_}), BuildFails(root_));
  CloseHandle(lock);
  ExpectUnchanged(exe_);
  ASSERT_TRUE(DeleteFileA(exe_.c_str()));
  EXPECT_EQ((Texts{kCantOpen, exe_}), BuildFails(root_));
  EXPECT_FALSE(FileExists(exe_));
}

// The file is made short, then its folder renamed long, and back, since the
// ANSI calls can't reach it.
TEST_F(BuildMode, PathTooLongFailsNamingIt) {
  std::string folder = Path("Update\\" + std::string(150, 'F'));
  std::string name = std::string(100, 'n') + ".txt";
  ASSERT_TRUE(WriteFileBytes(Path("Update\\a.txt"), "abc"));
  ASSERT_TRUE(WriteFileBytes(Path("Update\\s\\" + name), "x"));
  ASSERT_TRUE(MoveFileA(Path("Update\\s").c_str(), folder.c_str()));
  Texts texts = BuildFails(root_);
  ASSERT_TRUE(MoveFileA(folder.c_str(), Path("Update\\s").c_str()));
  ASSERT_GT(folder.size() + 1 + name.size(), 259u);
  EXPECT_EQ(Texts{"This path is too long to be packed (a path holds at most 259 characters):\n\n" +
                  folder + "\\" + name},
            texts);
  ExpectUnchanged(exe_);
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// With a payload of 256 MiB the new image grows for long enough to be
// caught at several sizes.
TEST_F(BuildMode, KilledBuildLeavesUpdateExeWholeAndTheNextBuildSucceeds) {
  const long long kPayload = 256ll << 20, full = before_.size() + kPayload;
  const std::string temp = exe_ + ".tmp";
  ASSERT_TRUE(MakeFolders(Path("Update")));
  FILE* big = fopen(Path("Update\\big.bin").c_str(), "wb");  // sparse: only its end is written
  ASSERT_TRUE(big && !fseek(big, kPayload - 1, SEEK_SET) && fputc(0, big) == 0 && !fclose(big));
  // Kills a build once its temporary image holds size bytes, or has been
  // renamed; 1 when it was killed, 0 when it had ended by itself.
  auto killAt = [&](long long size) {
    ProgramGuard build = LaunchProgram(tool_.c_str(), "/BUILD", root_.c_str());
    DWORD start = GetTickCount(), code = 0;
    for (long long seen = -1, now;
         build && IsProgramRunning(build.get()) && GetTickCount() - start < 60000;
         seen = now, Sleep(1))
      if ((now = FileSize(temp)) >= size || (now < 0 && seen >= 0)) break;
    if (build) TerminateProcess(build->process, 0xDEAD);  // stopped at "Done" too
    return build && WaitForExitCode(build.get(), kDriverTimeoutMs, &code) && code == 0xDEAD;
  };
  // While the payload streams: Update.exe exactly as it was.
  for (long long size : {1ll << 20, full / 2, full - (8ll << 20)}) {
    SCOPED_TRACE("killed at " + std::to_string(size) + " bytes");
    ASSERT_TRUE(killAt(size)) << "the build ended before it could be killed";
    ExpectUnchanged(exe_);
    EXPECT_GE(FileSize(temp), size) << "no stale temporary image";
  }
  // Once the image is complete the build checks and renames it: killed
  // there, Update.exe is either untouched or the whole new image.
  killAt(full - (64 << 10));
  EXPECT_TRUE(FileBytes(exe_) == before_ ||
              Resource(exe_, "HEADER").substr(0, 8) == Le32(1) + Le32(kPayload))
      << "Update.exe is neither old nor new";
  // A stale temporary image is there (made if the rename came first); a
  // smaller build must not mind it.
  ASSERT_TRUE(FileExists(temp) || WriteFileBytes(temp, std::string(3 << 20, 'x')));
  ASSERT_TRUE(DeleteFileA(Path("Update\\big.bin").c_str()));
  ASSERT_TRUE(WriteFileBytes(Path("Update\\small.txt"), "small"));
  EXPECT_EQ(Texts{"1 files (5 bytes) succesfully saved into resources."}, Build(root_));
  EXPECT_EQ(Record("small.txt", "small"), Resource(exe_, "FILE000"));
  EXPECT_EQ(Le32(1) + Le32(5), Resource(exe_, "HEADER").substr(0, 8));
  EXPECT_FALSE(FileExists(temp)) << "the temporary image was left";
}

// The payload and Update.exe fit on the small disk; the new image beside
// them doesn't. Nothing is said: the build just fails.
TEST_F(BuildMode, FullDiskFailsAndLeavesUpdateExeAndNoTemporaryFile) {
  std::string dir = SmallDiskFolder();
  if (dir.empty()) GTEST_SKIP() << "no small disk (mounting a tmpfs needs root)";
  ASSERT_TRUE(CopyFileA(exe_.c_str(), (dir + "\\Update.exe").c_str(), FALSE));
  size_t payload = (FreeBytes(dir) - before_.size()) * 2 / 3;
  ASSERT_TRUE(WriteFileBytes(dir + "\\Update\\payload.bin", std::string(payload, 'x')));
  unsigned long long free = FreeBytes(dir);
  ASSERT_LT(free, before_.size() + payload) << "the new image would fit";
  EXPECT_EQ(Texts{}, BuildFails(dir));
  ExpectUnchanged(dir + "\\Update.exe");
  EXPECT_FALSE(FileExists(dir + "\\Update.exe.tmp")) << "the temporary image was left";
  EXPECT_EQ(free, FreeBytes(dir)) << "the build left something on the disk";
}

}  // namespace
