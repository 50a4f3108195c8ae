// Starting, watching and ending the program under test; finding, reading and
// working its windows.
#include "driver.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

const DWORD kPollMs = 10;
const int kMessageTextId = 0xFFFF;

// Direct children in z-order; a dialog's controls are all direct children.
std::vector<HWND> ListChildren(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

int HasClass(HWND window, const char* name) {
  char found[64] = "";
  GetClassNameA(window, found, sizeof(found));
  return lstrcmpiA(found, name) == 0;
}

// The text of a message box is a static with id 0xFFFF; a picture static
// without an id (also 0xFFFF) in an ordinary dialog doesn't count.
int IsMessageTextControl(HWND control) {
  if (GetDlgCtrlID(control) != kMessageTextId || !HasClass(control, "Static")) return 0;
  LONG type = GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK;
  return type != SS_BITMAP && type != SS_ICON && type != SS_ENHMETAFILE && type != SS_OWNERDRAW;
}

std::vector<HWND> ListButtons(HWND window) {
  std::vector<HWND> buttons;
  for (HWND child : ListChildren(window)) {
    LONG type = GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
    if (HasClass(child, "Button") && IsWindowVisible(child) &&
        (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON))
      buttons.push_back(child);
  }
  std::stable_sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
    RECT ra, rb;
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
  });
  return buttons;
}

std::string WithoutAmpersands(std::string label) {
  label.erase(std::remove(label.begin(), label.end(), '&'), label.end());
  return label;
}

// WM_GETTEXT with a timeout: a hung program can't hang the test.
std::string TextOf(HWND window) {
  char text[4096] = "";
  DWORD_PTR length = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, kDriverTimeoutMs, &length);
  return std::string(text, strnlen(text, sizeof(text)));
}

HWND WaitForTopWindow(const DriverProgram& program, DWORD timeoutMs, int wantBox) {
  HWND match = nullptr;
  WaitUntil(
      [&]() -> int {
        for (HWND window : ListTopWindows(program.pid))
          if (IsMessageBox(window) == wantBox) return (match = window) != nullptr;
        return !IsProgramRunning(&program);
      },
      timeoutMs);
  return match;
}

}  // namespace

// ---- The program -------------------------------------------------------------

int StartProgram(const char* exePath, const char* commandTail, const char* workDir,
                 DriverProgram* program) {
  std::string line = "\"" + std::string(exePath) + "\"";
  if (commandTail && commandTail[0]) line += " " + std::string(commandTail);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  int ok = CreateProcessA(exePath, &line[0], nullptr, nullptr, FALSE, 0, nullptr, workDir, &startup,
                          &info);
  if (ok) CloseHandle(info.hThread);
  *program = DriverProgram{info.hProcess, info.dwProcessId};
  return ok;
}

int IsProgramRunning(const DriverProgram* program) {
  return program->process && WaitForSingleObject(program->process, 0) == WAIT_TIMEOUT;
}

int WaitForExitCode(DriverProgram* program, DWORD timeoutMs, DWORD* exitCode) {
  if (!program->process) return 0;
  if (WaitForSingleObject(program->process, timeoutMs) == WAIT_OBJECT_0)
    return GetExitCodeProcess(program->process, exitCode) != 0;
  TerminateProcess(program->process, 0xDEAD);
  WaitForSingleObject(program->process, kDriverTimeoutMs);
  return 0;
}

void EndProgram(DriverProgram* program) {
  DWORD code = 0;
  if (!program->process) return;
  WaitForExitCode(program, 0, &code);  // kills it if it still runs
  CloseHandle(program->process);
  program->process = nullptr;
}

void ProgramEnder::operator()(DriverProgram* program) const {
  EndProgram(program);
  delete program;
}

ProgramGuard LaunchProgram(const char* exePath, const char* commandTail, const char* workDir) {
  ProgramGuard guard(new DriverProgram{nullptr, 0});
  if (!StartProgram(exePath, commandTail, workDir, guard.get())) guard.reset();
  return guard;
}

int WaitUntil(const std::function<int()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    int result = condition();
    if (result || GetTickCount() - start >= timeoutMs) return result;
    Sleep(kPollMs);
  }
}

// ---- Windows -------------------------------------------------------------------

std::vector<HWND> ListTopWindows(DWORD pid) {
  std::vector<HWND> found;
  for (HWND window : ListChildren(GetDesktopWindow())) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == pid && IsWindowVisible(window)) found.push_back(window);
  }
  return found;
}

int IsMessageBox(HWND window) {
  if (!HasClass(window, "#32770")) return 0;
  for (HWND child : ListChildren(window))
    if (IsMessageTextControl(child)) return 1;
  return 0;
}

HWND FindMessageBox(const DriverProgram& program, DWORD timeoutMs) {
  return WaitForTopWindow(program, timeoutMs, 1);
}

HWND FindMainWindow(const DriverProgram& program, DWORD timeoutMs) {
  return WaitForTopWindow(program, timeoutMs, 0);
}

int WaitForWindowGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&]() -> int { return !IsWindow(window) || !IsWindowVisible(window); },
                   timeoutMs);
}

std::string WindowTitle(HWND window) { return TextOf(window); }

std::string MessageText(HWND box) {
  for (HWND child : ListChildren(box))
    if (IsMessageTextControl(child)) return TextOf(child);
  return "";
}

std::string ControlText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

std::vector<std::string> ButtonLabels(HWND window) {
  std::vector<std::string> labels;
  for (HWND button : ListButtons(window)) labels.push_back(WithoutAmpersands(WindowTitle(button)));
  return labels;
}

int ReadProgressBar(HWND dialog, int id) {
  const UINT kGetPos = WM_USER + 8;  // PBM_GETPOS
  DWORD_PTR at = 0;
  int ok = SendMessageTimeoutA(GetDlgItem(dialog, id), kGetPos, 0, 0, SMTO_ABORTIFHUNG,
                               kDriverTimeoutMs, &at);
  return ok ? static_cast<int>(at) : -1;
}

int ReadMessageBox(HWND box, MessageBoxView* view) {
  if (!IsWindow(box) || !IsMessageBox(box)) return 0;
  *view = MessageBoxView{box, WindowTitle(box), MessageText(box), ButtonLabels(box),
                         GetWindow(box, GW_OWNER)};
  return 1;
}

int PressButton(HWND window, const char* label) {
  for (HWND button : ListButtons(window)) {
    if (WithoutAmpersands(WindowTitle(button)) != WithoutAmpersands(label)) continue;
    WPARAM command = MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED);
    return IsWindowEnabled(button) &&
           PostMessageA(GetParent(button), WM_COMMAND, command, reinterpret_cast<LPARAM>(button));
  }
  return 0;
}

int SendCloseBox(HWND window) { return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0; }

// ---- Pictures ------------------------------------------------------------------

int SaveWindowPicture(HWND window, const char* bmpPath) {
  RECT rect;
  if (!GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) return 0;
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  // A window that another one covers is brought up first, as a user would.
  SetForegroundWindow(window);
  BITMAPINFOHEADER info = {sizeof(info), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<BYTE> pixels(static_cast<size_t>((width * 3 + 3) & ~3) * height);
  info.biSizeImage = static_cast<DWORD>(pixels.size());
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  SelectObject(memory, bitmap);
  int ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  DeleteDC(memory);  // GetDIBits wants the bitmap selected into no DC
  ok = ok && GetDIBits(screen, bitmap, 0, height, pixels.data(),
                       reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(file) + sizeof(info)};  // "BM"
  file.bfSize = file.bfOffBits + info.biSizeImage;
  FILE* out = ok ? fopen(bmpPath, "wb") : nullptr;
  if (!out) return 0;
  ok = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&info, sizeof(info), 1, out) == 1 &&
       fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return fclose(out) == 0 && ok;
}
