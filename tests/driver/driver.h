// Test driver: starts a Windows program and works its windows as a user would,
// from another process. Every wait has a timeout and a program that outlives
// its test is killed, so no test can hang.
//
// Results follow the project's rule: 0 (or a null handle) means failure.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Default limit of every wait, in milliseconds.
const DWORD kDriverTimeoutMs = 20000;

// ---- The program under test ----------------------------------------------

struct DriverProgram {
  HANDLE process;  // kept until EndProgram
  DWORD pid;
};

// Starts exePath with commandTail as everything after the program name (the
// tail reaches WinMain as it stands) and with workDir as its current
// directory (null: the driver's own).
int StartProgram(const char* exePath, const char* commandTail, const char* workDir,
                 DriverProgram* program);
int IsProgramRunning(const DriverProgram* program);
// Waits for the program to end and gives its exit code. When it doesn't end in
// time it is killed and the result is 0.
int WaitForExitCode(DriverProgram* program, DWORD timeoutMs, DWORD* exitCode);
// Kills the program if it still runs and closes its handle; safe to repeat.
void EndProgram(DriverProgram* program);

struct ProgramEnder {
  void operator()(DriverProgram* program) const;
};
// Ends the program on every path out of a test, a failed assertion included.
using ProgramGuard = std::unique_ptr<DriverProgram, ProgramEnder>;
ProgramGuard LaunchProgram(const char* exePath, const char* commandTail, const char* workDir);

// ---- Finding and reading windows -------------------------------------------

// Visible top-level windows of the process, in z-order (topmost first).
std::vector<HWND> ListTopWindows(DWORD pid);
// A message box: a dialog whose text is a static control with id 0xFFFF.
int IsMessageBox(HWND window);
// Wait for a visible message box of the process, or for a visible top-level
// window that isn't one. Both give up at once when the process has ended.
HWND FindMessageBox(const DriverProgram& program, DWORD timeoutMs = kDriverTimeoutMs);
HWND FindMainWindow(const DriverProgram& program, DWORD timeoutMs = kDriverTimeoutMs);
// Waits until the window no longer exists or is hidden.
int WaitForWindowGone(HWND window, DWORD timeoutMs = kDriverTimeoutMs);

std::string WindowTitle(HWND window);
std::string MessageText(HWND box);
std::string ControlText(HWND dialog, int id);
// The labels of the visible push buttons, left to right, '&' removed.
std::vector<std::string> ButtonLabels(HWND window);
// The position of a progress bar; -1 when there is no such control.
int ReadProgressBar(HWND dialog, int id);

struct MessageBoxView {
  HWND window;  // null when no box was read
  std::string title;
  std::string text;
  std::vector<std::string> buttons;
  HWND owner;  // null when it has none
};
int ReadMessageBox(HWND box, MessageBoxView* view);

// ---- Acting on windows -----------------------------------------------------

// Presses a visible, enabled button as a click would (its WM_COMMAND goes to
// the parent); '&' in labels doesn't count. Gives 0 when there is no such
// button or it is disabled.
int PressButton(HWND window, const char* label);
// The close box of the caption bar.
int SendCloseBox(HWND window);
// Saves what the screen shows of the window as a 24-bit .bmp file.
int SaveWindowPicture(HWND window, const char* bmpPath);

// Polls the condition every few milliseconds until it gives nonzero or the
// time is up; gives its last result.
int WaitUntil(const std::function<int()>& condition, DWORD timeoutMs = kDriverTimeoutMs);
