// Helpers of the reliability tests: packages written into copies of the
// program with the platform's resource update, the updater worked as a user
// would, folder snapshots that show any file written where it shouldn't be,
// large files and the small disk that the fixture mounts.
#pragma once

#include <stdlib.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"

namespace reliability {

const char kDamaged[] = "The update package is damaged";
const char kOutside[] = "Its name points outside the game directory";
const char kDiskFull[] = "The disk is full";
const char kInUse[] = "The file is in use by another program";
const char kInvalidExe[] = "Invalid EXE file";
const UINT kKilledExitCode = 0xDEAD;

using ResourceList = std::vector<std::pair<std::string, std::string>>;

inline std::string LittleEndian32(unsigned value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

inline std::string MakeHeader(unsigned count, unsigned total, unsigned long long buildTime) {
  return LittleEndian32(count) + LittleEndian32(total) +
         LittleEndian32(static_cast<unsigned>(buildTime)) +
         LittleEndian32(static_cast<unsigned>(buildTime >> 32));
}

// Bytes that differ from one position to the next and from one seed to the
// next, so that a chunk written twice or in the wrong place shows.
inline std::string MakePattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(state >> 16);
  }
  return bytes;
}

// Writes RT_RCDATA resources, language neutral, into an executable; none
// may be empty.
inline int WriteResources(const std::string& exePath, const ResourceList& resources) {
  HANDLE update = BeginUpdateResourceA(exePath.c_str(), FALSE);
  if (!update) return 0;
  int ok = 1;
  for (const auto& resource : resources) {
    ok &= !resource.second.empty() &&
          UpdateResourceA(update, MAKEINTRESOURCEA(10), resource.first.c_str(),
                          MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                          const_cast<char*>(resource.second.data()),
                          static_cast<DWORD>(resource.second.size())) != 0;
  }
  return EndUpdateResourceA(update, !ok) && ok;
}

// ---- Resources of 0 bytes --------------------------------------------------
// The platform's resource update refuses a resource of 0 bytes (and a null
// pointer deletes the name), so such a resource is written with 1 byte and
// its data entry's size is then set to 0 in the file.

inline unsigned ImageU16(const std::string& image, size_t at) {
  return at + 2 <= image.size() ? static_cast<unsigned char>(image[at]) |
                                      static_cast<unsigned char>(image[at + 1]) << 8
                                : 0;
}

inline unsigned ImageU32(const std::string& image, size_t at) {
  return at + 4 <= image.size() ? ImageU16(image, at) | ImageU16(image, at + 2) << 16 : 0;
}

// The file offset of the resource section's start, 0 when there is none.
inline size_t FindResourceSection(const std::string& image) {
  size_t pe = ImageU32(image, 0x3C);
  size_t optional = pe + 24;
  if (ImageU16(image, optional) != 0x10B) return 0;  // PE32 only
  unsigned rva = ImageU32(image, optional + 96 + 8 * 2);
  size_t table = optional + ImageU16(image, pe + 20);
  for (unsigned i = 0; i < ImageU16(image, pe + 6); ++i) {
    size_t section = table + 40 * i;
    unsigned start = ImageU32(image, section + 12), size = ImageU32(image, section + 16);
    if (rva >= start && rva < start + size) return ImageU32(image, section + 20) + (rva - start);
  }
  return 0;
}

// The offset of the entry of a directory that has this id (name empty) or
// this name; 0 when it is absent.
inline size_t FindDirectoryEntry(const std::string& image, size_t base, size_t directory,
                                 unsigned id, const std::string& name) {
  unsigned named = ImageU16(image, directory + 12), ids = ImageU16(image, directory + 14);
  for (unsigned i = 0; i < named + ids; ++i) {
    size_t entry = directory + 16 + 8 * i;
    unsigned key = ImageU32(image, entry);
    if (!(key & 0x80000000u)) {
      if (name.empty() && key == id) return entry;
      continue;
    }
    size_t text = base + (key & 0x7FFFFFFFu);
    if (name.empty() || ImageU16(image, text) != name.size()) continue;
    size_t at = 0;
    while (at < name.size() &&
           ImageU16(image, text + 2 + 2 * at) == static_cast<unsigned char>(name[at]))
      ++at;
    if (at == name.size()) return entry;
  }
  return 0;
}

// Sets the size of the RT_RCDATA resource name (upper case, language
// neutral, the only language) to 0 in the file.
inline int MakeResourceEmpty(const std::string& exePath, const std::string& name) {
  std::string image;
  if (!ReadFileBytes(exePath, &image)) return 0;
  size_t base = FindResourceSection(image);
  if (!base) return 0;
  size_t entry = FindDirectoryEntry(image, base, base, 10, "");
  if (!entry || !(ImageU32(image, entry + 4) & 0x80000000u)) return 0;
  size_t names = base + (ImageU32(image, entry + 4) & 0x7FFFFFFFu);
  entry = FindDirectoryEntry(image, base, names, 0, name);
  if (!entry || !(ImageU32(image, entry + 4) & 0x80000000u)) return 0;
  size_t languages = base + (ImageU32(image, entry + 4) & 0x7FFFFFFFu);
  if (ImageU16(image, languages + 12) + ImageU16(image, languages + 14) != 1) return 0;
  size_t data = base + ImageU32(image, languages + 16 + 4);
  if (data + 8 > image.size()) return 0;
  for (int i = 0; i < 4; ++i) image[data + 4 + i] = 0;
  return WriteFileBytes(exePath, image);
}

// Writes the resources; those with empty content become 0-byte resources.
inline int WritePackageResources(const std::string& exePath, const ResourceList& resources) {
  ResourceList written = resources;
  for (auto& resource : written)
    if (resource.second.empty()) resource.second = "?";
  if (!WriteResources(exePath, written)) return 0;
  for (const auto& resource : resources)
    if (resource.second.empty() && !MakeResourceEmpty(exePath, resource.first)) return 0;
  return 1;
}

// Every file and folder under root with its size (-1 for a folder), by
// path relative to root.
inline void AddTree(const std::string& root, const std::string& relative,
                    std::map<std::string, long long>* tree) {
  std::string folder = relative.empty() ? root : root + "\\" + relative;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = relative.empty() ? name : relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*tree)[path] = -1;
      AddTree(root, path, tree);
    } else {
      (*tree)[path] = static_cast<long long>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

inline std::map<std::string, long long> ListTree(const std::string& root) {
  std::map<std::string, long long> tree;
  AddTree(root, "", &tree);
  return tree;
}

// Size of a file, -1 when it doesn't exist.
inline long long FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

inline unsigned long long FreeBytes(const std::string& folder) {
  ULARGE_INTEGER available, total, free;
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, &total, &free)) return 0;
  return available.QuadPart;
}

// Writes size bytes of a repeating pattern in 1 MiB writes; big files need
// not fit in the test's memory.
inline int WriteLargeFile(const std::string& path, unsigned long long size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const std::string chunk = MakePattern(1 << 20, 7);
  int ok = 1;
  for (unsigned long long left = size; ok && left;) {
    DWORD count = left < chunk.size() ? static_cast<DWORD>(left) : chunk.size();
    DWORD written = 0;
    ok = WriteFile(file, chunk.data(), count, &written, nullptr) && written == count;
    left -= count;
  }
  if (!CloseHandle(file)) ok = 0;
  return ok;
}

// The small disk mounted by the test fixture, as a Windows path; "" when
// the fixture could not mount it. The fixture writes a marker inside the
// mounted disk, so a bare mount point doesn't pass for one.
inline std::string SmallDiskFolder() {
  const char* unixPath = getenv("ORVANTA_SMALL_DISK");
  if (!unixPath || !unixPath[0]) return "";
  std::string folder = ToWindowsPath(unixPath);
  return FileExists(folder + "\\.orvanta-small-disk") ? folder : "";
}

// A build that ends with "Done": gives its text after pressing OK and
// checking exit code 0; "" otherwise.
inline std::string RunBuildExpectingDone(const std::string& tool, const std::string& dir) {
  ProgramGuard program = LaunchProgram(tool.c_str(), "/BUILD", dir.c_str());
  EXPECT_TRUE(program) << "could not start " << tool;
  if (!program) return "";
  MessageBoxView box = WaitForMessageBox(*program);
  EXPECT_EQ("Done", box.title) << box.text;
  if (box.title != "Done") return "";
  EXPECT_EQ(0, PressAndWaitForExit(program.get(), box.window, "OK"));
  return box.text;
}

inline int ContainsText(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A copy of the program with a package of its own, an install directory
// with "ov.exe" under root\parent\game, and the registry value naming it.
class UpdaterTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    exe_ = Path("Update.exe");
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), exe_.c_str(), FALSE)) << UpdateExePath();
    ASSERT_TRUE(HasNoPackage());
    UseInstallDir(Path("parent\\game"));
  }

  void TearDown() override {
    program_.reset();
    E2eTest::TearDown();
  }

  // The program as built carries no package: each test writes the whole one.
  int HasNoPackage() {
    for (const std::string& name : ListResourceNames(exe_))
      if (name == "HEADER" || name == "TITLE" || name == "README" || name.rfind("FILE", 0) == 0)
        return 0;
    return 1;
  }

  void UseInstallDir(const std::string& folder) {
    game_ = folder;
    ASSERT_TRUE(MakeFolders(game_)) << game_;
    ASSERT_TRUE(WriteFileBytes(game_ + "\\ov.exe", "game")) << game_;
    ASSERT_TRUE(SetInstallDirValue(game_));
  }

  void WritePackage(const ResourceList& resources) {
    ASSERT_TRUE(WritePackageResources(exe_, resources)) << "could not write the package";
  }

  // A package of these records, with a header that counts them all.
  void WriteRecords(const ResourceList& files, ResourceList extra = {}) {
    ResourceList resources;
    unsigned total = 0;
    for (size_t i = 0; i < files.size(); ++i) {
      char name[16];
      snprintf(name, sizeof(name), "FILE%03u", static_cast<unsigned>(i));
      resources.emplace_back(name, MakeRecord(files[i].first, files[i].second));
      total += static_cast<unsigned>(files[i].second.size());
    }
    resources.emplace_back("HEADER", MakeHeader(static_cast<unsigned>(files.size()), total,
                                                buildTime_));
    for (auto& resource : extra) resources.push_back(resource);
    WritePackage(resources);
  }

  // Starts the updater and waits for its window.
  HWND StartUpdater() {
    program_ = LaunchProgram(exe_.c_str(), "", root_.c_str());
    EXPECT_TRUE(program_) << "could not start " << exe_;
    if (!program_) return nullptr;
    window_ = FindMainWindow(program_->pid);
    EXPECT_TRUE(window_) << "no updater window";
    return window_;
  }

  // Presses "Update" and reads the next message box.
  MessageBoxView PressUpdate() {
    EXPECT_TRUE(PressButton(window_, "Update"));
    return WaitForMessageBox(*program_);
  }

  MessageBoxView RunUpdate() {
    if (!StartUpdater()) return MessageBoxView{nullptr, "", "", {}, nullptr, ""};
    return PressUpdate();
  }

  // The failed-record message: owned by the window, Retry and Cancel, the
  // file and the reason named.
  void ExpectFailedRecord(const MessageBoxView& box, const std::string& file,
                          const std::string& reason) {
    ASSERT_TRUE(box.window) << "no message box";
    EXPECT_EQ("Error", box.title);
    EXPECT_EQ((std::vector<std::string>{"Retry", "Cancel"}), box.buttons);
    EXPECT_EQ(window_, box.owner);
    EXPECT_TRUE(ContainsText(box.text, file)) << box.text;
    EXPECT_TRUE(ContainsText(box.text, reason)) << box.text;
  }

  void ExpectDone(const MessageBoxView& box) {
    ASSERT_TRUE(box.window) << "no message box";
    EXPECT_EQ("Done", box.title);
    EXPECT_EQ("Orvanta was succesfuly updated.", box.text);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
    EXPECT_EQ(window_, box.owner);
  }

  // "Invalid EXE file" before any window, OK only, then exit code 255.
  void ExpectInvalidExe() {
    program_ = LaunchProgram(exe_.c_str(), "", root_.c_str());
    ASSERT_TRUE(program_);
    MessageBoxView box = WaitForMessageBox(*program_);
    ASSERT_TRUE(box.window) << "no message box";
    EXPECT_EQ("Error", box.title);
    EXPECT_EQ(kInvalidExe, box.text);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(1u, ListTopWindows(program_->pid).size()) << "a window came up beside the box";
    EXPECT_EQ(255, PressAndWaitForExit(program_.get(), box.window, "OK"));
  }

  void ExpectFile(const std::string& path, const std::string& bytes) {
    std::string got;
    ASSERT_TRUE(ReadFileBytes(path, &got)) << path << " is missing";
    EXPECT_EQ(bytes.size(), got.size()) << path;
    EXPECT_TRUE(got == bytes) << path << " differs";
  }

  void ExpectStamp() { ExpectFile(game_ + "\\Update.ver", MakeHeader(0, 0, buildTime_).substr(8)); }
  void ExpectNoStamp() { EXPECT_FALSE(FileExists(game_ + "\\Update.ver")); }

  std::string exe_, game_;
  HWND window_ = nullptr;
  ProgramGuard program_;
  unsigned long long buildTime_ = CurrentFileTime();
};

}  // namespace reliability
