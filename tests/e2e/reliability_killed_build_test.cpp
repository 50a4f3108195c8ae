// A build killed while it writes the new image: with a payload of 256 MiB
// the image grows for long enough to be caught at several sizes. Whenever it
// dies, "Update.exe" is either as it was or the complete new image, never a
// mixture, and the next build succeeds over the stale temporary file.
#include <stdio.h>

#include "reliability_support.h"

namespace {

using namespace reliability;

const unsigned long long kPayload = 256ull << 20;
const DWORD kCatchTimeoutMs = 60000;

class KilledBuild : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    dir_ = Path("build");
    target_ = dir_ + "\\Update.exe";
    temp_ = target_ + ".tmp";
    tool_ = Path("tool\\Update.exe");
    ASSERT_TRUE(MakeFolders(dir_ + "\\Update"));
    ASSERT_TRUE(MakeFolders(Path("tool")));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), target_.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), tool_.c_str(), FALSE));
    ASSERT_TRUE(ReadFileBytes(target_, &before_));
    ASSERT_TRUE(WriteLargeFile(dir_ + "\\Update\\big.bin", kPayload));
  }

  // Starts a build and kills it once the temporary image holds at least
  // size bytes, or once it was renamed. Gives 1 when it was killed, 0 when
  // it had ended by itself.
  int KillBuildAtSize(unsigned long long size) {
    ProgramGuard program = LaunchProgram(tool_.c_str(), "/BUILD", dir_.c_str());
    EXPECT_TRUE(program);
    if (!program) return 0;
    DWORD start = GetTickCount();
    int seen = 0;
    while (IsProgramRunning(program.get()) && GetTickCount() - start < kCatchTimeoutMs) {
      long long now = FileSizeOf(temp_);
      if (now >= 0 && static_cast<unsigned long long>(now) >= size) break;
      if (now < 0 && seen) break;
      seen |= now >= 0;
      Sleep(1);
    }
    // The build stops at its "Done" message, still running; it is killed
    // all the same, and the test then sees a finished image.
    EXPECT_TRUE(TerminateProcess(program->process, kKilledExitCode) ||
                !IsProgramRunning(program.get()));
    DWORD code = 0;
    EXPECT_TRUE(WaitForExitCode(program.get(), kDriverTimeoutMs, &code));
    return code == kKilledExitCode;
  }

  void ExpectTargetUnchanged() {
    std::string after;
    ASSERT_TRUE(ReadFileBytes(target_, &after));
    EXPECT_TRUE(after == before_) << "Update.exe was changed";
  }

  // A build that committed: the header counts the big file.
  int IsNewImage() {
    std::string header;
    return ReadResource(target_, "HEADER", &header) && header.size() == 16 &&
           ReadU32(header, 0) == 1 && ReadU32(header, 4) == static_cast<unsigned>(kPayload);
  }

  std::string dir_, target_, temp_, tool_, before_;
};

TEST_F(KilledBuild, UpdateExeStaysWholeAtEveryMomentAndTheNextBuildSucceeds) {
  const unsigned long long full = before_.size() + kPayload;
  // While the payload streams: Update.exe must be exactly as it was.
  for (unsigned long long size : {1ull << 20, full / 2, full - (8ull << 20)}) {
    SCOPED_TRACE("killed at " + std::to_string(size) + " bytes");
    ASSERT_TRUE(KillBuildAtSize(size)) << "the build ended before it could be killed";
    ExpectTargetUnchanged();
    EXPECT_GE(FileSizeOf(temp_), static_cast<long long>(size)) << "no stale temporary image";
  }
  // Once the image is complete the build checks and renames it: killed
  // there, Update.exe is either untouched or the whole new image.
  KillBuildAtSize(full - (64u << 10));
  std::string after;
  ASSERT_TRUE(ReadFileBytes(target_, &after));
  EXPECT_TRUE(after == before_ || IsNewImage()) << "Update.exe is neither old nor new";
  printf("killed near the end: %s the rename\n", after == before_ ? "before" : "after");
  before_ = after;

  // A stale temporary image is there; a smaller build must not mind it.
  if (FileSizeOf(temp_) < 0) {
    ASSERT_TRUE(WriteLargeFile(temp_, 3u << 20));
  }
  ASSERT_TRUE(DeleteFileA((dir_ + "\\Update\\big.bin").c_str()));
  ASSERT_TRUE(WriteFileBytes(dir_ + "\\Update\\small.txt", "small"));
  EXPECT_EQ("1 files (5 bytes) succesfully saved into resources.",
            RunBuildExpectingDone(tool_, dir_));
  std::string record;
  ASSERT_TRUE(ReadResource(target_, "FILE000", &record));
  EXPECT_TRUE(record == MakeRecord("small.txt", "small"));
  std::string header;
  ASSERT_TRUE(ReadResource(target_, "HEADER", &header));
  EXPECT_EQ(1u, ReadU32(header, 0));
  EXPECT_EQ(5u, ReadU32(header, 4));
  EXPECT_FALSE(FileExists(temp_)) << "the temporary image was left behind";
}

}  // namespace
