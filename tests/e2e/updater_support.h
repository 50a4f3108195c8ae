// Helpers of the updater's end-to-end tests: packages written straight into a
// copy of Update.exe (or made by /BUILD), the game folder, the stand-in text
// viewer that records which readme was opened, and a fixture that starts the
// update executable and reads its window the way a user sees it.
#pragma once

#include <stdio.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

#ifndef ORVANTA_README_RECORDER
#define ORVANTA_README_RECORDER ""
#endif

// The controls of the updater window.
const int kEditId = 1000;
const int kUpdateId = 1001;
const int kCancelId = 1002;
const int kStatusId = 1003;
const int kBarId = 1004;

const char kAskingStatus[] = "Orvanta directory:";
const char kUpdatingStatus[] = "Updating, please wait....";
const char kDoneText[] = "Orvanta was succesfuly updated.";
const char kNotInstalledText[] = "Game is not correctly installed!";
const char kInvalidExeText[] = "Invalid EXE file";
const char kWrongDirText[] = "Game is not correctly installed or wrong directory";
const char kConflictText[] =
    "You have already installed newer update. Wanna continue with older version?";
const char kReadmeLogVariable[] = "ORVANTA_README_LOG";

// A payload file, or a resource: a name and its bytes.
struct NamedBytes {
  std::string name;
  std::string bytes;
};

inline std::string EncodeU32(unsigned value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

inline std::string EncodeU64(unsigned long long value) {
  return EncodeU32(static_cast<unsigned>(value)) + EncodeU32(static_cast<unsigned>(value >> 32));
}

inline std::string MakeHeader(unsigned count, unsigned total, unsigned long long buildTime) {
  return EncodeU32(count) + EncodeU32(total) + EncodeU64(buildTime);
}

inline unsigned SumSizes(const std::vector<NamedBytes>& files) {
  unsigned total = 0;
  for (const NamedBytes& file : files) total += static_cast<unsigned>(file.bytes.size());
  return total;
}

inline std::string RecordResourceName(size_t index) {
  char name[32];
  snprintf(name, sizeof(name), "FILE%03u", static_cast<unsigned>(index));
  return name;
}

// The records FILE000.. of the files in order, then a header that counts them.
inline std::vector<NamedBytes> MakePackage(const std::vector<NamedBytes>& files,
                                           unsigned long long buildTime) {
  std::vector<NamedBytes> resources;
  for (size_t i = 0; i < files.size(); ++i)
    resources.push_back({RecordResourceName(i), MakeRecord(files[i].name, files[i].bytes)});
  resources.push_back({"HEADER", MakeHeader(static_cast<unsigned>(files.size()),
                                            SumSizes(files), buildTime)});
  return resources;
}

// Adds the resources to the executable as RT_RCDATA, language neutral.
inline int WriteResources(const std::string& exePath, const std::vector<NamedBytes>& resources) {
  HANDLE update = BeginUpdateResourceA(exePath.c_str(), FALSE);
  if (!update) return 0;
  int ok = 1;
  for (const NamedBytes& resource : resources) {
    void* data = const_cast<char*>(resource.bytes.data());
    if (!UpdateResourceA(update, MAKEINTRESOURCEA(10), resource.name.c_str(),
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), data,
                         static_cast<DWORD>(resource.bytes.size())))
      ok = 0;
  }
  if (!EndUpdateResourceA(update, ok ? FALSE : TRUE)) ok = 0;
  return ok;
}

// Bytes that differ from file to file and from chunk to chunk, so that a
// swapped, repeated or shifted chunk shows.
inline std::string PatternBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(state >> 23);
  }
  return bytes;
}

inline unsigned long long MakeFileTime(int year, int month, int day, int hour, int minute) {
  SYSTEMTIME utc = {};
  utc.wYear = static_cast<WORD>(year);
  utc.wMonth = static_cast<WORD>(month);
  utc.wDay = static_cast<WORD>(day);
  utc.wHour = static_cast<WORD>(hour);
  utc.wMinute = static_cast<WORD>(minute);
  FILETIME time = {};
  if (!SystemTimeToFileTime(&utc, &time)) return 0;
  return time.dwLowDateTime | static_cast<unsigned long long>(time.dwHighDateTime) << 32;
}

// Every file and folder under folder: relative path → content, with folders
// as "name\" → "".
inline void ReadFolderTreeInto(const std::string& folder, const std::string& prefix,
                               std::map<std::string, std::string>* tree) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string relative = prefix + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*tree)[relative + "\\"] = "";
      ReadFolderTreeInto(folder + "\\" + name, relative + "\\", tree);
    } else {
      std::string bytes;
      if (!ReadFileBytes(folder + "\\" + name, &bytes)) bytes = "<unreadable>";
      (*tree)[relative] = bytes;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

inline std::map<std::string, std::string> ReadFolderTree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  ReadFolderTreeInto(folder, "", &tree);
  return tree;
}

// Names only, for a readable failure message.
inline std::string ListTree(const std::map<std::string, std::string>& tree) {
  std::string list;
  for (const auto& entry : tree)
    list += entry.first + " (" + std::to_string(entry.second.size()) + ")\n";
  return list;
}

inline int IsSameText(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

inline int Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ---- The stand-in text viewer ------------------------------------------------

inline std::string RecorderPath() { return ToWindowsPath(ORVANTA_README_RECORDER); }

// What HKCR\.txt held before the recorder took it over.
struct TxtAssociation {
  int keyExisted;
  int valueExisted;
  std::string value;
};

inline int SetDefaultValue(HKEY root, const std::string& subkey, const std::string& value) {
  HKEY key;
  if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 0;
  LONG result = RegSetValueExA(key, nullptr, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

inline int ReadDefaultValue(HKEY root, const char* subkey, std::string* value, int* keyExists) {
  HKEY key;
  *keyExists = 0;
  value->clear();
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  *keyExists = 1;
  char text[1024] = "";
  DWORD size = sizeof(text) - 1, type = 0;
  LONG result = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text),
                                 &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return 0;
  text[std::min<DWORD>(size, sizeof(text) - 1)] = '\0';
  *value = text;
  return 1;
}

const char kRecorderClass[] = "orvanta_txtfile";

// Registers the recorder as the program that opens .txt files.
inline int InstallReadmeRecorder(TxtAssociation* saved) {
  saved->valueExisted =
      ReadDefaultValue(HKEY_CLASSES_ROOT, ".txt", &saved->value, &saved->keyExisted);
  std::string command = "\"" + RecorderPath() + "\" \"%1\"";
  return SetDefaultValue(HKEY_CLASSES_ROOT, std::string(kRecorderClass) + "\\shell\\open\\command",
                         command) &&
         SetDefaultValue(HKEY_CLASSES_ROOT, ".txt", kRecorderClass);
}

inline void RemoveReadmeRecorder(const TxtAssociation& saved) {
  if (saved.valueExisted) {
    SetDefaultValue(HKEY_CLASSES_ROOT, ".txt", saved.value);
  } else if (saved.keyExisted) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".txt", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, nullptr);
      RegCloseKey(key);
    }
  } else {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".txt");
  }
  const std::string base = kRecorderClass;
  for (const char* tail : {"\\shell\\open\\command", "\\shell\\open", "\\shell", ""})
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (base + tail).c_str());
}

// The lines that the recorder wrote, one per start; waits up to timeoutMs for
// the first complete line.
inline std::vector<std::string> ReadRecorderLog(const std::string& logPath, DWORD timeoutMs) {
  std::string bytes;
  WaitUntil([&]() -> int { return ReadFileBytes(logPath, &bytes) && !bytes.empty() &&
                                  bytes.back() == '\n'; },
            timeoutMs);
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = bytes.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(bytes.substr(at, end - at));
  return lines;
}

// The last quoted argument of a recorded line: the document it was given.
inline std::string RecordedDocument(const std::string& line) {
  size_t close = line.rfind('"');
  if (close == std::string::npos || close == 0) return "";
  size_t open = line.rfind('"', close - 1);
  if (open == std::string::npos) return "";
  return line.substr(open + 1, close - open - 1);
}

// ---- Making a package with /BUILD ----------------------------------------------

// Runs a second copy of the program with /BUILD in buildDir, which must hold
// Update.exe, the "Update" folder and maybe "title.txt"; answers its "Done".
inline int BuildWithTool(const std::string& toolExe, const std::string& buildDir,
                         DWORD timeoutMs) {
  ProgramGuard tool = LaunchProgram(toolExe.c_str(), "/BUILD", buildDir.c_str());
  if (!tool) return 0;
  HWND box = FindMessageBox(tool->pid, timeoutMs);
  MessageBoxView view;
  if (!box || !ReadMessageBox(box, &view) || view.title != "Done") return 0;
  if (!PressButton(box, "OK")) return 0;
  DWORD code = 1;
  return WaitForExitCode(tool.get(), timeoutMs, &code) && code == 0;
}

// ---- The fixture -------------------------------------------------------------

// A game folder "game" with ov.exe, named by the registry value; a copy of
// Update.exe beside it for the test to fill with a package; the recorder
// registered for .txt with its log in the test's folder.
class UpdaterTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    game_ = Path("game");
    exe_ = Path("Update.exe");
    readmeLog_ = Path("readme-log.txt");
    ASSERT_TRUE(MakeFolders(game_));
    ASSERT_TRUE(WriteFileBytes(game_ + "\\ov.exe", "MZ the game"));
    ASSERT_TRUE(CopyFileA(UpdateExePath().c_str(), exe_.c_str(), FALSE)) << UpdateExePath();
    ASSERT_TRUE(SetInstallDirValue(game_));
    ASSERT_TRUE(SetEnvironmentVariableA(kReadmeLogVariable, readmeLog_.c_str()));
    ASSERT_FALSE(RecorderPath().empty());
    recorderInstalled_ = 1;
    ASSERT_TRUE(InstallReadmeRecorder(&savedTxt_));
  }

  void TearDown() override {
    program_.reset();
    if (recorderInstalled_) RemoveReadmeRecorder(savedTxt_);
    SetEnvironmentVariableA(kReadmeLogVariable, nullptr);
    DeleteInstallDirValue();
    E2eTest::TearDown();
  }

  // Writes the files with a header of this build time into Update.exe, with a
  // title and readme name when they aren't empty.
  void UseFiles(const std::vector<NamedBytes>& files, unsigned long long buildTime,
                const std::string& title = "", const std::string& readme = "") {
    std::vector<NamedBytes> resources = MakePackage(files, buildTime);
    if (!title.empty()) resources.push_back({"TITLE", title});
    if (!readme.empty()) resources.push_back({"README", readme});
    ASSERT_TRUE(WriteResources(exe_, resources));
  }

  void WriteGameFile(const std::string& relative, const std::string& bytes) {
    ASSERT_TRUE(WriteFileWithFolders(game_ + "\\" + relative, bytes)) << relative;
  }

  // Starts Update.exe in the test's folder and waits for its window.
  void Launch() {
    program_ = LaunchProgram(exe_.c_str(), "", root_.c_str());
    ASSERT_TRUE(program_) << "could not start " << exe_;
    window_ = FindMainWindow(program_->pid);
    ASSERT_TRUE(window_) << "no updater window";
  }

  // Starts Update.exe where it shows a message instead of its window.
  MessageBoxView LaunchForBox() {
    program_ = LaunchProgram(exe_.c_str(), "", root_.c_str());
    EXPECT_TRUE(program_) << "could not start " << exe_;
    if (!program_) return MessageBoxView{nullptr, "", "", {}, nullptr, ""};
    return WaitForMessageBox(*program_);
  }

  void PressUpdate() { ASSERT_TRUE(PressButton(window_, "Update")); }

  MessageBoxView PressUpdateForBox() {
    EXPECT_TRUE(PressButton(window_, "Update"));
    return WaitForMessageBox(*program_);
  }

  void TypeDirectory(const std::string& directory) {
    ASSERT_TRUE(SetControlText(window_, kEditId, directory.c_str()));
  }

  // Presses the box's button and waits until the box has gone.
  void Answer(const MessageBoxView& box, const char* label) {
    ASSERT_TRUE(PressButton(box.window, label)) << label;
    ASSERT_TRUE(WaitForWindowGone(box.window));
  }

  long AnswerForExit(const MessageBoxView& box, const char* label) {
    return PressAndWaitForExit(program_.get(), box.window, label);
  }

  void ExpectWindowBox(const MessageBoxView& box, const char* title,
                       const std::vector<std::string>& buttons) {
    ASSERT_TRUE(box.window) << "no message box";
    EXPECT_EQ(title, box.title);
    EXPECT_EQ(buttons, box.buttons);
    EXPECT_EQ(window_, box.owner) << "owned by \"" << box.ownerTitle << "\"";
  }

  void ExpectControl(int id, int enabled, int visible) {
    int isEnabled = -1, isVisible = -1;
    ASSERT_TRUE(ReadControlState(window_, id, &isEnabled, &isVisible)) << id;
    EXPECT_EQ(enabled, isEnabled) << "control " << id << " enabled";
    EXPECT_EQ(visible, isVisible) << "control " << id << " visible";
  }

  // The user may type a directory and press either button.
  void ExpectAskingState() {
    ASSERT_TRUE(IsWindow(window_) && IsWindowVisible(window_));
    ExpectControl(kEditId, 1, 1);
    ExpectControl(kUpdateId, 1, 1);
    ExpectControl(kCancelId, 1, 1);
    ExpectControl(kBarId, 1, 0);
    EXPECT_EQ(kAskingStatus, ControlText(window_, kStatusId));
  }

  // The worker runs: the bar instead of the edit box, both buttons dead.
  void ExpectUpdatingState() {
    ASSERT_TRUE(IsWindow(window_) && IsWindowVisible(window_));
    ExpectControl(kUpdateId, 0, 1);
    ExpectControl(kCancelId, 0, 1);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window_, kEditId)));
    int enabled = 0, visible = 0;
    ASSERT_TRUE(ReadControlState(window_, kBarId, &enabled, &visible));
    EXPECT_TRUE(visible);
    EXPECT_EQ(kUpdatingStatus, ControlText(window_, kStatusId));
  }

  int BarPosition() {
    int position = -1, low = -1, high = -1;
    if (!ReadProgressBar(window_, kBarId, &position, &low, &high)) return -1;
    return position;
  }

  // The bar reaches the value within a few passes of the window loop.
  void ExpectBarReaches(int wanted) {
    int seen = -1;
    EXPECT_TRUE(WaitUntil([&]() -> int { return (seen = BarPosition()) == wanted; }, 3000))
        << "bar at " << seen << ", wanted " << wanted;
  }

  // Posts a marker behind whatever was posted to the window before, and waits
  // until the window thread has handled it: the progress bar's step goes
  // from its default 10 to the marked 7 when the marker is handled, and each
  // look puts 10 back.
  int WaitForPostedMessagesHandled() {
    const UINT kSetStep = WM_USER + 4;
    HWND bar = GetDlgItem(window_, kBarId);
    if (!bar || !PostMessageA(bar, kSetStep, 7, 0)) return 0;
    return WaitUntil([&]() -> int {
      DWORD_PTR previous = 0;
      if (!SendMessageTimeoutA(bar, kSetStep, 10, 0, SMTO_ABORTIFHUNG, kDriverTimeoutMs,
                               &previous))
        return 0;
      return previous == 7;
    });
  }

  // Sends the close box and checks that it changed nothing: the window and
  // the process are still there. While a message box owned by the window is
  // up, the window is disabled and the system drops its close box before the
  // program sees it; a WM_CLOSE posted straight to it (as a task manager's
  // "close" does) reaches the program all the same, so both are sent.
  void ExpectCloseBoxIgnored() {
    ASSERT_TRUE(SendCloseBox(window_));
    ASSERT_TRUE(PostMessageA(window_, WM_CLOSE, 0, 0));
    ASSERT_TRUE(WaitForPostedMessagesHandled());
    EXPECT_TRUE(IsProgramRunning(program_.get()));
    EXPECT_TRUE(IsWindow(window_) && IsWindowVisible(window_));
  }

  void ExpectGameFile(const std::string& relative, const std::string& bytes) {
    std::string found;
    ASSERT_TRUE(ReadFileBytes(game_ + "\\" + relative, &found)) << relative << " is missing";
    EXPECT_EQ(bytes.size(), found.size()) << relative;
    EXPECT_TRUE(bytes == found) << relative << " differs";
  }

  void ExpectStamp(unsigned long long buildTime) { ExpectGameFile("Update.ver", EncodeU64(buildTime)); }

  void ExpectNoGameFile(const std::string& relative) {
    EXPECT_FALSE(FileExists(game_ + "\\" + relative)) << relative << " was written";
  }

  void ExpectGameUnchanged(const std::map<std::string, std::string>& before) {
    std::map<std::string, std::string> after = ReadFolderTree(game_);
    EXPECT_TRUE(before == after) << "before:\n" << ListTree(before) << "after:\n" << ListTree(after);
  }

  // The readme as the recorder saw it opened: once, with this path.
  void ExpectReadmeOpened(const std::string& path) {
    std::vector<std::string> lines = ReadRecorderLog(readmeLog_, kDriverTimeoutMs);
    ASSERT_EQ(1u, lines.size()) << "the readme was not opened exactly once";
    EXPECT_TRUE(IsSameText(path, RecordedDocument(lines[0]))) << lines[0];
    EXPECT_EQ(0u, lines[0].find("show=3 ")) << "not maximised: " << lines[0];
  }

  // Nothing opened: the program has ended, and a viewer that it had started
  // would have written well within the wait.
  void ExpectNoReadmeOpened() {
    std::vector<std::string> lines = ReadRecorderLog(readmeLog_, 1500);
    EXPECT_TRUE(lines.empty()) << lines[0];
  }

  std::string game_, exe_, readmeLog_;
  ProgramGuard program_;
  HWND window_ = nullptr;
  TxtAssociation savedTxt_ = {0, 0, ""};
  int recorderInstalled_ = 0;
};
