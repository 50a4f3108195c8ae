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
// tail reaches WinMain as it stands: a blank or a quote in it is kept) and with
// workDir as its current directory (null: the driver's own).
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

// ---- Finding windows -------------------------------------------------------

// Visible top-level windows of the process, in z-order (topmost first).
std::vector<HWND> ListTopWindows(DWORD pid);
// A message box: a dialog whose text is a static control with id 0xFFFF.
int IsMessageBox(HWND window);
// Waits for a visible message box of the process. Gives up at once when the
// process has ended.
HWND FindMessageBox(DWORD pid, DWORD timeoutMs = kDriverTimeoutMs);
// Waits for a visible top-level window of the process that isn't a message box.
HWND FindMainWindow(DWORD pid, DWORD timeoutMs = kDriverTimeoutMs);
// Waits for a visible top-level window of the process with exactly this title.
HWND FindWindowByTitle(DWORD pid, const char* title, DWORD timeoutMs = kDriverTimeoutMs);
// Waits until the window no longer exists or is hidden.
int WaitForWindowGone(HWND window, DWORD timeoutMs = kDriverTimeoutMs);

// ---- Reading windows -------------------------------------------------------

int ReadWindowTitle(HWND window, char* buffer, int size);
int ReadMessageText(HWND box, char* buffer, int size);
// Visible push buttons, left to right as the user sees them.
std::vector<HWND> ListButtons(HWND window);
// The window's owner, or null when it has none.
HWND ReadOwner(HWND window);

std::string WindowTitle(HWND window);
std::string MessageText(HWND box);
std::vector<std::string> ButtonLabels(HWND window);  // '&' left as written

struct MessageBoxView {
  HWND window;  // null when no box was read
  std::string title;
  std::string text;
  std::vector<std::string> buttons;  // '&' removed
  HWND owner;
  std::string ownerTitle;
};
int ReadMessageBox(HWND box, MessageBoxView* view);

// ---- Acting on windows -----------------------------------------------------

// Compares labels the way a user reads them: '&' removed on both sides.
int IsSameLabel(const char* label, const char* wanted);
HWND FindButton(HWND window, const char* label);
// Presses a visible, enabled button as a click would (its WM_COMMAND goes to
// the parent). Gives 0 when there is no such button or it is disabled.
int PressButton(HWND window, const char* label);
// The close box of the caption bar.
int SendCloseBox(HWND window);

int SetControlText(HWND dialog, int id, const char* text);
int ReadControlText(HWND dialog, int id, char* buffer, int size);
std::string ControlText(HWND dialog, int id);
// Gives 0 when the dialog has no such control.
int ReadControlState(HWND dialog, int id, int* enabled, int* visible);
int ReadProgressBar(HWND dialog, int id, int* position, int* low, int* high);

// Saves what the screen shows of the window as a 24-bit .bmp file.
int SaveWindowPicture(HWND window, const char* bmpPath);

// ---- Waiting ---------------------------------------------------------------

// Polls the condition every few milliseconds until it gives nonzero or the
// time is up; gives its last result.
int WaitUntil(const std::function<int()>& condition, DWORD timeoutMs = kDriverTimeoutMs);
