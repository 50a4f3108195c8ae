// The end-to-end tests' helpers and entry. The program under test is named
// by ORVANTA_UPDATE_EXE. Started as "--record-readme FILE" the test binary is
// the readme recorder instead: the viewer that the tests register for ".e2e"
// files, so that they see which readme the program opened, and how.
#include "e2e.h"

#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>

#include "package/package_format.h"
#include "pe/pe_resources.h"

namespace {

const char kInstallKey[] = "SOFTWARE\\Mervolk\\Orvanta\\1.00";
const char kReadmeLog[] = "ORVANTA_README_LOG";
const char kSmallDiskMarker[] = "\\.orvanta-small-disk";  // written by scripts/tmpfs-disk.sh

// Appends "show=<n> <document>" to the log, in one write at fclose: the show
// command the recorder was started with (-1: none).
int RecordReadme(const char* document) {
  STARTUPINFOA startup = {};
  GetStartupInfoA(&startup);
  FILE* log = fopen(getenv(kReadmeLog), "ab");
  if (!log) return 1;
  fprintf(log, "show=%d %s\n", startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : -1,
          document);
  return fclose(log) != 0;
}

int RegisterReadmeRecorder() {
  char self[MAX_PATH];
  if (!GetModuleFileNameA(nullptr, self, sizeof(self))) return 0;
  std::string command = "\"" + std::string(self) + "\" --record-readme \"%1\"";
  return RegSetValueA(HKEY_CLASSES_ROOT, ".e2e", REG_SZ, "orvanta.e2e", 0) == ERROR_SUCCESS &&
         RegSetValueA(HKEY_CLASSES_ROOT, "orvanta.e2e\\shell\\open\\command", REG_SZ,
                      command.c_str(), 0) == ERROR_SUCCESS;
}

// Calls visit(path, relative, isFolder) for each entry under folder, a
// folder's entries before the folder.
template <typename Visit>
void Walk(const std::string& folder, const std::string& prefix, const Visit& visit) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    std::string name = found.cFileName, path = folder + "\\" + name;
    int isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (name == "." || name == "..") continue;
    if (isFolder) Walk(path, prefix + name + "\\", visit);
    visit(path, prefix + name, isFolder);
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

}  // namespace

// ---- Files and the registry ----------------------------------------------------

std::string ToWindowsPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path[0] == '\\' ? "Z:" + path : path;
}

int MakeFolders(const std::string& path) {
  int result = SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
  return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS;
}

int WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* file = MakeFolders(path.substr(0, path.rfind('\\'))) ? fopen(path.c_str(), "wb") : nullptr;
  if (!file) return 0;
  int ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return file.is_open() && !file.bad() ? bytes.str() : kAbsent;
}

int FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Tree ReadTree(const std::string& folder) {
  Tree tree;
  Walk(folder, "", [&](const std::string& path, const std::string& relative, int isFolder) {
    tree[relative + (isFolder ? "\\" : "")] = isFolder ? "" : FileBytes(path);
  });
  return tree;
}

int RemoveTree(const std::string& folder) {
  int ok = 1;
  Walk(folder, "", [&](const std::string& path, const std::string&, int isFolder) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ok &= isFolder ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str());
  });
  return ok && RemoveDirectoryA(folder.c_str());
}

std::string Pattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& byte : bytes) byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
  return bytes;
}

unsigned long long FreeBytes(const std::string& folder) {
  ULARGE_INTEGER available;
  return GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) ? available.QuadPart : 0;
}

// TAR_DIR in the registry's 32-bit view, where the game's 32-bit installer
// writes it on 64-bit Windows and where both programs read it: set, or
// deleted when directory is null.
int PutInstallDirValue(const std::string* directory) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return 0;
  LONG result = directory ? RegSetKeyValueA(key, nullptr, "TAR_DIR", REG_SZ, directory->c_str(),
                                            static_cast<DWORD>(directory->size() + 1))
                          : RegDeleteValueA(key, "TAR_DIR");
  RegCloseKey(key);
  return result == ERROR_SUCCESS || (!directory && result == ERROR_FILE_NOT_FOUND);
}

int SetInstallDirValue(const std::string& directory) { return PutInstallDirValue(&directory); }
int DeleteInstallDirValue() { return PutInstallDirValue(nullptr); }

// ---- Packages ------------------------------------------------------------------

std::string Le32(unsigned value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string Le64(unsigned long long value) {
  return Le32(static_cast<unsigned>(value)) + Le32(static_cast<unsigned>(value >> 32));
}

std::string Record(const std::string& name, const std::string& content) {
  return Le32(static_cast<unsigned>(name.size())) + name + '\0' + content;
}

int WriteResources(const std::string& exePath, const Resources& resources) {
  PeUpdate* update = BeginPeUpdate(exePath.c_str());
  int ok = update != nullptr;
  for (const auto& resource : resources)
    ok = ok && AddPeResourceBytes(update, resource.first.c_str(), resource.second.data(),
                                  static_cast<uint32_t>(resource.second.size()));
  return update && EndPeUpdate(update, !ok) && ok;
}

std::string Resource(const std::string& exePath, const char* name) {
  HMODULE module = LoadLibraryExA(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = module ? FindResourceA(module, name, MAKEINTRESOURCEA(10)) : nullptr;  // RT_RCDATA
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  std::string bytes = data ? std::string(data, SizeofResource(module, found)) : kAbsent;
  if (module) FreeLibrary(module);
  return bytes;
}

// ---- The fixture -------------------------------------------------------------------

void E2eTest::SetUp() {
  static unsigned counter = 0;
  char temp[MAX_PATH];
  const char* tool = getenv("ORVANTA_UPDATE_EXE");
  ASSERT_TRUE(tool) << "ORVANTA_UPDATE_EXE names no program to test";
  tool_ = ToWindowsPath(tool);
  ASSERT_TRUE(GetTempPathA(sizeof(temp), temp));
  root_ = temp + ("orvanta-e2e-" + std::to_string(GetCurrentProcessId())) + "-" +
          std::to_string(++counter);
  exe_ = Path("Update.exe");
  game_ = Path("game");
  readmeLog_ = Path("readme-log.txt");
  ASSERT_TRUE(WriteFileBytes(game_ + "\\ov.exe", "MZ the game"));
  ASSERT_TRUE(CopyFileA(tool_.c_str(), exe_.c_str(), FALSE)) << tool_;
  ASSERT_TRUE(SetInstallDirValue(game_) && RegisterReadmeRecorder());
  ASSERT_TRUE(SetEnvironmentVariableA(kReadmeLog, readmeLog_.c_str()));
}

void E2eTest::TearDown() {
  program_.reset();
  DeleteInstallDirValue();
  // A program that was just killed may hold a file for a moment.
  for (const std::string& folder : {disk_, root_})
    EXPECT_TRUE(folder.empty() || WaitUntil([&] { return RemoveTree(folder); }, 5000)) << folder;
}

std::string E2eTest::SmallDiskFolder() {
  const char* mounted = getenv("ORVANTA_SMALL_DISK");
  if (!mounted || !FileExists(ToWindowsPath(mounted) + kSmallDiskMarker)) return "";
  disk_ = ToWindowsPath(mounted) + root_.substr(root_.rfind('\\'));
  return CreateDirectoryA(disk_.c_str(), nullptr) ? disk_ : "";
}

Texts E2eTest::RunToEnd(const std::string& exe, const char* tail, const std::string& dir,
                        const char* title, DWORD code) {
  Texts texts;
  ProgramGuard program = LaunchProgram(exe.c_str(), tail, dir.c_str());
  MessageBoxView box;
  for (HWND found; program && (found = FindMessageBox(*program)) && ReadMessageBox(found, &box);) {
    EXPECT_EQ(title, box.title) << box.text;
    EXPECT_EQ(Texts{"OK"}, box.buttons);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(std::vector<HWND>{found}, ListTopWindows(program->pid)) << "a window beside the box";
    texts.push_back(box.text);
    if (!PressButton(found, "OK") || !WaitForWindowGone(found)) break;
  }
  DWORD exitCode = 0xBAD;
  EXPECT_TRUE(program && WaitForExitCode(program.get(), kDriverTimeoutMs, &exitCode)) << exe;
  EXPECT_EQ(code, exitCode);
  return texts;
}

static std::string RecordResourceName(size_t index) {
  char name[kRecordNameSize];
  FormatRecordName(name, static_cast<uint32_t>(index));
  return name;
}

void E2eTest::WritePackage(const Resources& files, unsigned long long buildTime,
                           const std::string& title, const std::string& readme) {
  Resources resources;
  unsigned total = 0;
  for (size_t i = 0; i < files.size(); total += files[i++].second.size())
    resources.emplace_back(RecordResourceName(i), Record(files[i].first, files[i].second));
  resources.emplace_back("HEADER", Le32(files.size()) + Le32(total) + Le64(buildTime));
  if (!title.empty()) resources.emplace_back("TITLE", title);
  if (!readme.empty()) resources.emplace_back("README", readme);
  ASSERT_TRUE(WriteResources(exe_, resources));
}

void E2eTest::Launch() {
  program_ = LaunchProgram(exe_.c_str(), "", root_.c_str());
  ASSERT_TRUE(program_) << "could not start " << exe_;
  ASSERT_TRUE(window_ = FindMainWindow(*program_)) << "no updater window";
}

MessageBoxView E2eTest::NextBox() {
  MessageBoxView view{};
  ReadMessageBox(FindMessageBox(*program_), &view);
  return view;
}

MessageBoxView E2eTest::Press(HWND window, const char* label) {
  EXPECT_TRUE(PressButton(window, label)) << label;
  EXPECT_TRUE(window == window_ || WaitForWindowGone(window));
  return NextBox();
}

long E2eTest::PressForExit(HWND window, const char* label) {
  DWORD code = 0;
  int ended =
      PressButton(window, label) && WaitForExitCode(program_.get(), kDriverTimeoutMs, &code);
  return ended ? static_cast<long>(code) : -1;
}

void E2eTest::ExpectBox(const MessageBoxView& box, const char* title, const std::string& text,
                        const Texts& buttons) {
  ASSERT_TRUE(box.window) << "no message box";
  EXPECT_EQ(title, box.title);
  EXPECT_EQ(text, box.text);
  EXPECT_EQ(buttons, box.buttons);
  EXPECT_EQ(window_, box.owner) << "not owned by the updater window";
}

std::string E2eTest::FailedRecordText(const std::string& file, const char* reason) {
  return "Could not write the file\n" + file + "\n\n" + reason +
         ".\n\nClose the game and any program that uses this file, then press Retry. Cancel "
         "stops the update.";
}

void E2eTest::ExpectState(WindowState state) {
  auto usable = [&](int id) { return IsWindowEnabled(GetDlgItem(window_, id)) != 0; };
  auto shown = [&](int id) { return IsWindowVisible(GetDlgItem(window_, id)) != 0; };
  ASSERT_TRUE(IsWindow(window_) && IsWindowVisible(window_));
  for (int id : {kUpdateId, kCancelId}) EXPECT_EQ(state == kAsking, usable(id)) << id;
  EXPECT_EQ(state == kAsking, usable(kEditId) && shown(kEditId));
  EXPECT_EQ(state == kUpdating, shown(kBarId));
  EXPECT_EQ((Texts{"Update", "Cancel"}), ButtonLabels(window_));
  EXPECT_EQ(state == kAsking ? "Orvanta directory:" : "Updating, please wait....",
            ControlText(window_, kStatusId));
}

void E2eTest::ExpectBarReaches(int position) {
  int at = -1;
  EXPECT_TRUE(WaitUntil([&] { return (at = ReadProgressBar(window_, kBarId)) == position; }, 3000))
      << "bar at " << at << ", wanted " << position;
}

void E2eTest::ExpectCloseBoxIgnored() {
  // While a box owned by the window is up, the window is disabled and the
  // system drops its close box; a WM_CLOSE posted straight to it still
  // reaches the program, so both are sent. The window thread is idle: a
  // program that took them would end well within the wait.
  ASSERT_TRUE(SendCloseBox(window_) && PostMessageA(window_, WM_CLOSE, 0, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(program_->process, 500)) << "the program ended";
  EXPECT_TRUE(IsWindowVisible(window_));
}

void E2eTest::ExpectTree(const Tree& expected, const std::string& folder) {
  Tree found = ReadTree(folder);
  auto names = [](const Tree& tree) {
    std::string list;
    for (const auto& entry : tree)
      list += entry.first + " (" + std::to_string(entry.second.size()) + ") ";
    return list;
  };
  EXPECT_TRUE(found == expected) << "expected: " << names(expected) << "\nfound: " << names(found);
}

void E2eTest::ExpectReadmeOpened(const std::string& path) {
  std::string log;
  WaitUntil([&] { return !(log = FileBytes(readmeLog_)).empty() && log.back() == '\n'; });
  EXPECT_EQ("show=3 " + path + "\n", log) << "not opened once, maximised (show=3), with its path";
}

void E2eTest::ExpectNoReadmeOpened() {
  // The program has ended; a viewer it started would write well within this.
  EXPECT_FALSE(WaitUntil([&] { return FileExists(readmeLog_); }, 700)) << FileBytes(readmeLog_);
}

int main(int argc, char** argv) {
  if (argc == 3 && !strcmp(argv[1], "--record-readme")) return RecordReadme(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
