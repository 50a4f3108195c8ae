// Clock, registry, message boxes and the shell on the Win32 API.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
#include "platform/system.h"
#include "platform/system_hooks.h"

uint64_t GetSystemFileTime() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

int IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }
int IsErrorTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int ReadMachineString(const char* key, const char* value, char* buffer, uint32_t size) {
    if (!size) return 0;
    DWORD bytes = size;
#ifdef _WIN64
    // The game and its installer are 32-bit programs: on 64-bit Windows their
    // settings lie in the registry's 32-bit view, where the 32-bit updater
    // reads them too.
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, value, RRF_RT_ANY | RRF_SUBKEY_WOW6432KEY, nullptr,
                     buffer, &bytes) != ERROR_SUCCESS)
#else
    if (SHGetValueA(HKEY_LOCAL_MACHINE, key, value, nullptr, buffer, &bytes) != ERROR_SUCCESS)
#endif
        return 0;
    // A value stored without its terminator comes back without one.
    buffer[bytes < size ? bytes : size - 1] = 0;
    return 1;
}

static int ToAnswer(int pressed) {
    switch (pressed) {
    case IDCANCEL: return kAnswerCancel;
    case IDRETRY: return kAnswerRetry;
    case IDYES: return kAnswerYes;
    case IDNO: return kAnswerNo;
    default: return kAnswerOk;
    }
}

int ShowMessage(WindowHandle owner, const char* text, const char* title, MessageButtons buttons) {
    if (g_MessageHook) return g_MessageHook(owner, text, title, buttons);
    UINT type = buttons == kButtonsYesNo ? MB_YESNO
                : buttons == kButtonsRetryCancel ? MB_RETRYCANCEL : MB_OK;
    return ToAnswer(MessageBoxA(reinterpret_cast<HWND>(owner), text, title, type));
}

void OpenDocument(const char* path) {
    if (g_DocumentHook) {
        g_DocumentHook(path);
        return;
    }
    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void ShowControlText(WindowHandle window, uint32_t control, const char* text) {
    if (window) SetDlgItemTextA(reinterpret_cast<HWND>(window), static_cast<int>(control), text);
}

void WakeWindow(WindowHandle window) {
    // A message of our own that the dialog ignores: WM_APP, as WM_USER + n
    // would mean something to a dialog.
    if (window) PostMessageA(reinterpret_cast<HWND>(window), WM_APP + 1, 0, 0);
}
