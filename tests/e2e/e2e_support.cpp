// Paths, temporary folders, files and the registry value of the end-to-end tests.
#include "e2e_support.h"

#include <stdio.h>
#include <wchar.h>

namespace {

std::string g_updateExe;

const char kInstallKey[] = "SOFTWARE\\Mervolk\\Orvanta\\1.00";
const char kInstallValue[] = "TAR_DIR";

}  // namespace

std::string ToWindowsPath(const char* path) {
  std::string result = path;
  if (!result.empty() && result[0] == '/') result = "Z:" + result;
  for (char& c : result)
    if (c == '/') c = '\\';
  return result;
}

const std::string& UpdateExePath() { return g_updateExe; }
void SetUpdateExePath(const char* path) { g_updateExe = ToWindowsPath(path); }

std::string MakeTempFolder() {
  static unsigned counter = 0;
  char base[MAX_PATH];
  DWORD length = GetTempPathA(sizeof(base), base);
  if (!length || length >= sizeof(base)) return "";
  char name[MAX_PATH + 64];
  for (int attempt = 0; attempt < 100; ++attempt) {
    snprintf(name, sizeof(name), "%sorvanta-e2e-%lu-%lu-%u", base, GetCurrentProcessId(),
             GetTickCount(), ++counter);
    if (CreateDirectoryA(name, nullptr)) return name;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
  }
  return "";
}

// Wide calls with the "\\?\" prefix reach paths longer than 260 characters.
static std::wstring ToLongPath(const std::string& path) {
  int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? length : 1, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
  wide.resize(wcslen(wide.c_str()));
  return L"\\\\?\\" + wide;
}

static int RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  int ok = 1;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        ok &= RemoveTree(child);
      else
        ok &= DeleteFileW(child.c_str()) != 0;
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ok && RemoveDirectoryW(path.c_str());
}

int RemoveFolderTree(const std::string& path) { return RemoveTree(ToLongPath(path)); }

// Writes all bytes into a file just created and closes it; 0 when the
// file couldn't be created or anything failed.
static int WriteAndClose(HANDLE file, const std::string& bytes) {
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  int ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  if (!CloseHandle(file)) ok = 0;
  return ok;
}

int WriteLongPathFile(const std::string& folder, const std::string& relative,
                      const std::string& bytes) {
  std::wstring path = ToLongPath(folder);
  std::wstring rest = ToLongPath(relative).substr(4);
  size_t at = 0;
  for (size_t slash; (slash = rest.find(L'\\', at)) != std::wstring::npos; at = slash + 1) {
    std::wstring sub = path + L"\\" + rest.substr(0, slash);
    if (!CreateDirectoryW(sub.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return 0;
  }
  HANDLE file = CreateFileW((path + L"\\" + rest).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return WriteAndClose(file, bytes);
}

int MakeFolders(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos && slash > 2 && !MakeFolders(path.substr(0, slash))) return 0;
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

int WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return WriteAndClose(file, bytes);
}

int ReadFileBytes(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  bytes->clear();
  char chunk[65536];
  DWORD got = 0;
  int ok = 1;
  while ((ok = ReadFile(file, chunk, sizeof(chunk), &got, nullptr) != 0) && got)
    bytes->append(chunk, got);
  CloseHandle(file);
  return ok;
}

int FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int WriteFileWithFolders(const std::string& path, const std::string& bytes) {
  size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos && !MakeFolders(path.substr(0, slash))) return 0;
  return WriteFileBytes(path, bytes);
}

int SetInstallDirValue(const std::string& directory) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return 0;
  const BYTE* data = reinterpret_cast<const BYTE*>(directory.c_str());
  LONG result = RegSetValueExA(key, kInstallValue, 0, REG_SZ, data,
                               static_cast<DWORD>(directory.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

int DeleteInstallDirValue() {
  HKEY key;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_SET_VALUE, &key);
  if (result == ERROR_FILE_NOT_FOUND) return 1;
  if (result != ERROR_SUCCESS) return 0;
  result = RegDeleteValueA(key, kInstallValue);
  RegCloseKey(key);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

MessageBoxView WaitForMessageBox(const DriverProgram& program) {
  MessageBoxView view{nullptr, "", "", {}, nullptr, ""};
  HWND box = FindMessageBox(program.pid);
  if (box) ReadMessageBox(box, &view);
  return view;
}

long PressAndWaitForExit(DriverProgram* program, HWND window, const char* label) {
  DWORD code = 0;
  if (!PressButton(window, label)) return -1;
  if (!WaitForExitCode(program, kDriverTimeoutMs, &code)) return -1;
  return static_cast<long>(code);
}

void E2eTest::SetUp() {
  ASSERT_FALSE(UpdateExePath().empty()) << "run with --update-exe=PATH";
  root_ = MakeTempFolder();
  ASSERT_FALSE(root_.empty());
}

void E2eTest::TearDown() {
  if (!root_.empty()) {
    EXPECT_TRUE(RemoveFolderTree(root_)) << root_;
  }
}
