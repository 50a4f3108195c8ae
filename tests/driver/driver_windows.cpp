// Finding and reading the windows of the program under test.
#include "driver.h"

#include <algorithm>
#include <string.h>

namespace {

const int kMessageTextId = 0xFFFF;
const int kTextLimit = 4096;

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindow(HWND window, LPARAM context) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

std::vector<HWND> ListChildren(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
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
  return type != SS_BITMAP && type != SS_ICON && type != SS_ENHMETAFILE &&
         type != SS_OWNERDRAW;
}

int IsPushButton(HWND control) {
  if (!HasClass(control, "Button") || !IsWindowVisible(control)) return 0;
  LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

int SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                    DWORD_PTR* result) {
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                             kDriverTimeoutMs, result) != 0;
}

int IsProcessAlive(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return 0;
  int alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

HWND WaitForTopWindow(DWORD pid, DWORD timeoutMs, int (*accept)(HWND, const char*),
                      const char* wanted) {
  HWND match = nullptr;
  WaitUntil(
      [&]() -> int {
        for (HWND window : ListTopWindows(pid))
          if (accept(window, wanted)) {
            match = window;
            return 1;
          }
        return !IsProcessAlive(pid);
      },
      timeoutMs);
  return match;
}

int AcceptMessageBox(HWND window, const char*) { return IsMessageBox(window); }
int AcceptMainWindow(HWND window, const char*) { return !IsMessageBox(window); }
int AcceptTitle(HWND window, const char* title) { return WindowTitle(window) == title; }

std::string RemoveAmpersands(const char* label) {
  std::string plain;
  for (const char* c = label; *c; ++c)
    if (*c != '&') plain += *c;
  return plain;
}

}  // namespace

std::vector<HWND> ListTopWindows(DWORD pid) {
  WindowSearch search{pid, {}};
  EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int IsMessageBox(HWND window) {
  if (!HasClass(window, "#32770")) return 0;
  for (HWND child : ListChildren(window))
    if (IsMessageTextControl(child)) return 1;
  return 0;
}

HWND FindMessageBox(DWORD pid, DWORD timeoutMs) {
  return WaitForTopWindow(pid, timeoutMs, AcceptMessageBox, nullptr);
}

HWND FindMainWindow(DWORD pid, DWORD timeoutMs) {
  return WaitForTopWindow(pid, timeoutMs, AcceptMainWindow, nullptr);
}

HWND FindWindowByTitle(DWORD pid, const char* title, DWORD timeoutMs) {
  return WaitForTopWindow(pid, timeoutMs, AcceptTitle, title);
}

int WaitForWindowGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&]() -> int { return !IsWindow(window) || !IsWindowVisible(window); },
                   timeoutMs);
}

int ReadWindowTitle(HWND window, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  return GetWindowTextA(window, buffer, size);
}

int ReadMessageText(HWND box, char* buffer, int size) {
  for (HWND child : ListChildren(box))
    if (IsMessageTextControl(child)) return ReadControlText(box, kMessageTextId, buffer, size);
  return 0;
}

std::vector<HWND> ListButtons(HWND window) {
  std::vector<HWND> buttons;
  for (HWND child : ListChildren(window))
    if (IsPushButton(child)) buttons.push_back(child);
  std::stable_sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
    RECT ra, rb;
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
  });
  return buttons;
}

HWND ReadOwner(HWND window) { return GetWindow(window, GW_OWNER); }

std::string WindowTitle(HWND window) {
  char title[kTextLimit];
  ReadWindowTitle(window, title, sizeof(title));
  return title;
}

std::string MessageText(HWND box) {
  char text[kTextLimit] = "";
  ReadMessageText(box, text, sizeof(text));
  return text;
}

std::vector<std::string> ButtonLabels(HWND window) {
  std::vector<std::string> labels;
  for (HWND button : ListButtons(window)) labels.push_back(WindowTitle(button));
  return labels;
}

int ReadMessageBox(HWND box, MessageBoxView* view) {
  if (!IsWindow(box) || !IsMessageBox(box)) return 0;
  view->window = box;
  view->title = WindowTitle(box);
  view->text = MessageText(box);
  view->buttons.clear();
  for (const std::string& label : ButtonLabels(box))
    view->buttons.push_back(RemoveAmpersands(label.c_str()));
  view->owner = ReadOwner(box);
  view->ownerTitle = view->owner ? WindowTitle(view->owner) : "";
  return 1;
}

int IsSameLabel(const char* label, const char* wanted) {
  return RemoveAmpersands(label) == RemoveAmpersands(wanted);
}

HWND FindButton(HWND window, const char* label) {
  for (HWND button : ListButtons(window))
    if (IsSameLabel(WindowTitle(button).c_str(), label)) return button;
  return nullptr;
}

int PressButton(HWND window, const char* label) {
  HWND button = FindButton(window, label);
  if (!button || !IsWindowEnabled(button)) return 0;
  HWND parent = GetParent(button);
  WPARAM command = MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED);
  return PostMessageA(parent, WM_COMMAND, command, reinterpret_cast<LPARAM>(button)) != 0;
}

int SendCloseBox(HWND window) {
  return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

int SetControlText(HWND dialog, int id, const char* text) {
  HWND control = GetDlgItem(dialog, id);
  DWORD_PTR result = 0;
  if (!control) return 0;
  return SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), &result) &&
         result;
}

int ReadControlText(HWND dialog, int id, char* buffer, int size) {
  HWND control = GetDlgItem(dialog, id);
  DWORD_PTR length = 0;
  if (size <= 0) return 0;
  buffer[0] = '\0';
  if (!control) return 0;
  if (!SendWithTimeout(control, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer), &length))
    return 0;
  buffer[size - 1] = '\0';
  return static_cast<int>(strlen(buffer));
}

std::string ControlText(HWND dialog, int id) {
  char text[kTextLimit];
  ReadControlText(dialog, id, text, sizeof(text));
  return text;
}

int ReadControlState(HWND dialog, int id, int* enabled, int* visible) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return 0;
  *enabled = IsWindowEnabled(control) != 0;
  *visible = IsWindowVisible(control) != 0;
  return 1;
}

int ReadProgressBar(HWND dialog, int id, int* position, int* low, int* high) {
  const UINT kGetRange = WM_USER + 7;
  const UINT kGetPos = WM_USER + 8;
  HWND bar = GetDlgItem(dialog, id);
  DWORD_PTR pos = 0, lowest = 0, highest = 0;
  if (!bar) return 0;
  if (!SendWithTimeout(bar, kGetPos, 0, 0, &pos) ||
      !SendWithTimeout(bar, kGetRange, TRUE, 0, &lowest) ||
      !SendWithTimeout(bar, kGetRange, FALSE, 0, &highest))
    return 0;
  *position = static_cast<int>(pos);
  *low = static_cast<int>(lowest);
  *high = static_cast<int>(highest);
  return 1;
}
