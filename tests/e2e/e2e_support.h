// Helpers of the end-to-end tests: the program under test, temporary folders,
// files byte for byte, the install directory value in the registry, and the
// package resources of an executable.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"

// The program under test as a Windows path. main() takes it from
// --update-exe=PATH; a Unix path is mapped through drive Z:.
const std::string& UpdateExePath();
void SetUpdateExePath(const char* path);
std::string ToWindowsPath(const char* path);

// A new empty folder under the temporary folder, with a unique name; "" on
// failure.
std::string MakeTempFolder();
// Removes a folder with everything in it, read-only files included.
int RemoveFolderTree(const std::string& path);
// Writes folder\relative, making the folders of relative first; the whole
// path may be longer than 260 characters.
int WriteLongPathFile(const std::string& folder, const std::string& relative,
                      const std::string& bytes);
// Makes a folder and every missing folder above it.
int MakeFolders(const std::string& path);

int WriteFileBytes(const std::string& path, const std::string& bytes);
int ReadFileBytes(const std::string& path, std::string* bytes);
int FileExists(const std::string& path);
// Writes the file, making the folders of its path first.
int WriteFileWithFolders(const std::string& path, const std::string& bytes);

// The value "TAR_DIR" under HKLM "SOFTWARE\Mervolk\Orvanta\1.00".
int SetInstallDirValue(const std::string& directory);
int DeleteInstallDirValue();

// Reads an RT_RCDATA resource of an executable file; 0 when it's absent.
int ReadResource(const std::string& exePath, const char* name, std::string* bytes);
// The names of all RT_RCDATA resources, in the order the file lists them.
std::vector<std::string> ListResourceNames(const std::string& exePath);

// Little-endian fields of resource bytes.
unsigned ReadU32(const std::string& bytes, size_t offset);
unsigned long long ReadU64(const std::string& bytes, size_t offset);
unsigned long long CurrentFileTime();  // UTC, 100 ns units since 1601

// A payload record as the builder writes it: name length, name, zero byte,
// content.
std::string MakeRecord(const std::string& name, const std::string& content);
// The name stored in a record, or "" when the record is too short for one.
std::string RecordName(const std::string& record);

// Waits for the program's next message box and reads it; "" title when none
// came.
MessageBoxView WaitForMessageBox(const DriverProgram& program);
// Presses the button and gives the program's exit code, or -1 when the press
// failed or the program didn't end in time (it is then killed).
long PressAndWaitForExit(DriverProgram* program, HWND window, const char* label);

// A test with its own temporary folder, removed afterwards.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
  std::string root_;
};
