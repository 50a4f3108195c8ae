// Helpers of the end-to-end tests: files and folders, packages written into a
// copy of the program, and the fixture that starts the program and works its
// windows through the test driver.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "driver.h"

// The updater window's controls.
const int kEditId = 1000, kUpdateId = 1001, kCancelId = 1002, kStatusId = 1003, kBarId = 1004;
enum WindowState { kAsking, kUpdating };

const char kDoneText[] = "Orvanta was succesfuly updated.";
const char kWrongDirText[] = "Game is not correctly installed or wrong directory";

using Texts = std::vector<std::string>;
using Tree = std::map<std::string, std::string>;  // relative path → bytes; "folder\" → ""
using Resources = std::vector<std::pair<std::string, std::string>>;  // name → bytes

// ---- Files and the registry ----------------------------------------------------

std::string ToWindowsPath(std::string path);  // a Unix path is mapped through Z:
int MakeFolders(const std::string& path);
int WriteFileBytes(const std::string& path, const std::string& bytes);  // makes its folders
const char kAbsent[] = "<absent>";
std::string FileBytes(const std::string& path);  // kAbsent when it can't be read
int FileExists(const std::string& path);
Tree ReadTree(const std::string& folder);
// Removes a folder with all it holds, read-only files included.
int RemoveTree(const std::string& path);
// Bytes that differ from one position and one seed to the next, so that a
// chunk written twice or in the wrong place shows.
std::string Pattern(size_t size, unsigned seed);
unsigned long long FreeBytes(const std::string& folder);
// The value "TAR_DIR" under HKLM "SOFTWARE\Mervolk\Orvanta\1.00".
int SetInstallDirValue(const std::string& directory);
int DeleteInstallDirValue();

// ---- Packages ------------------------------------------------------------------

std::string Le32(unsigned value);
std::string Le64(unsigned long long value);
std::string Record(const std::string& name, const std::string& content);
// Adds RT_RCDATA resources, 0-byte ones included, with the program's own writer.
int WriteResources(const std::string& exePath, const Resources& resources);
// An RT_RCDATA resource as the loader sees it; kAbsent when there is none.
std::string Resource(const std::string& exePath, const char* name);

// ---- The fixture -----------------------------------------------------------------

// A temporary folder "root" holding a copy of the program without a package
// ("Update.exe") and a game folder "game" with "ov.exe" that the registry
// value names. The readme recorder is registered for ".e2e" files.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
  // A new folder on the small disk that the CTest fixture mounts; "" when
  // there is none (the test then skips).
  std::string SmallDiskFolder();

  // Runs the program with tail in dir to its end, pressing OK on each message
  // box. Each box must be titled title, have OK only and no owner, and be the
  // program's only window; the exit code must be code. Gives the texts.
  Texts RunToEnd(const std::string& exe, const char* tail, const std::string& dir,
                 const char* title, DWORD code);
  // /BUILD in dir: "Done" and 0, or "Error"s and 255.
  Texts Build(const std::string& dir) { return RunToEnd(tool_, "/BUILD", dir, "Done", 0); }
  Texts BuildFails(const std::string& dir) { return RunToEnd(tool_, "/BUILD", dir, "Error", 255); }
  // Writes a package of these files into Update.exe, with a title and a
  // readme name when they aren't empty.
  void WritePackage(const Resources& files, unsigned long long buildTime,
                    const std::string& title = "", const std::string& readme = "");

  // Starts Update.exe and waits for its window.
  void Launch();
  MessageBoxView NextBox();
  // Presses the button of window (a box: and waits for it to go), then reads
  // the next box.
  MessageBoxView Press(HWND window, const char* label);
  // Presses the button and gives the exit code; -1 when the program didn't end.
  long PressForExit(HWND window, const char* label);
  void ExpectBox(const MessageBoxView& box, const char* title, const std::string& text,
                 const Texts& buttons);  // owned by the window
  std::string FailedRecordText(const std::string& file, const char* reason);
  // Asking: the user may type a directory and press either button. Updating:
  // the bar instead of the edit box, both buttons dead.
  void ExpectState(WindowState state);
  void ExpectBarReaches(int position);
  // The close box (and a WM_CLOSE posted as a task manager does) change
  // nothing: the window and the program are still there.
  void ExpectCloseBoxIgnored();
  // The folder holds exactly these files and folders, byte for byte.
  void ExpectTree(const Tree& expected, const std::string& folder);
  // The readme was opened once, maximised, with this path; or never.
  void ExpectReadmeOpened(const std::string& path);
  void ExpectNoReadmeOpened();

  std::string tool_;  // the program under test, run as the build tool
  std::string root_, exe_, game_, readmeLog_, disk_;
  ProgramGuard program_;
  HWND window_ = nullptr;
};
