// Stands in for the text viewer that the updater opens its readme with, so a
// test can see what was opened and how. Registered for "open" on .txt files
// in the test's Wine prefix, it appends one line to the file named by
// ORVANTA_README_LOG:
//
//   show=<n> <its whole command line>
//
// where n is the show command it was started with (-1 when none was given).
// The line goes out in one write, so a reader never sees half of it.
#include <windows.h>

#include <stdio.h>

static int AppendLine(const char* logPath, const char* line, DWORD length) {
  HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  int ok = WriteFile(log, line, length, &written, nullptr) && written == length;
  if (!CloseHandle(log)) ok = 0;
  return ok;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char logPath[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("ORVANTA_README_LOG", logPath, sizeof(logPath));
  if (!length || length >= sizeof(logPath)) return 2;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  char line[4096];
  int n = snprintf(line, sizeof(line), "show=%d %s\n", show, GetCommandLineA());
  if (n <= 0 || n >= static_cast<int>(sizeof(line))) return 3;
  return AppendLine(logPath, line, static_cast<DWORD>(n)) ? 0 : 1;
}
