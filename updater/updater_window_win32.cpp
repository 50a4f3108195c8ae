// The updater's dialog and its loop, on the Win32 user interface.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include "resources/resource_ids.h"
#include "updater/extract_worker.h"
#include "install/install_recovery.h"
#include "package/package_info.h"
#include "updater/install_questions.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"
#include "updater/updater_window.h"

uintptr_t g_Instance = 0;
static HICON windowIcon = nullptr;
// The window's own state: the package's records, the lock on the game
// folder taken at the first recovery, and the install the worker runs.
static PackageRecords packageRecords;
static FolderLock folderLock;
static InstallSession installSession;

static HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(g_Instance); }
static HWND UpdaterWindow() { return reinterpret_cast<HWND>(g_UpdaterWindow); }

static void ShowWindowError(const char* text) {
    ShowMessage(g_UpdaterWindow, text, "Error", kButtonsOk);
}

static void MakeDefaultTitle() {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(g_PackageHeader.buildTime);
    ft.dwHighDateTime = static_cast<DWORD>(g_PackageHeader.buildTime >> 32);
    SYSTEMTIME st = {};
    FileTimeToSystemTime(&ft, &st);  // UTC: the build date wherever it is shown
    snprintf(g_Title, sizeof g_Title, "%s (%04d.%02d.%02d)", "Orvanta update", st.wYear,
             st.wMonth, st.wDay);
}

static void OnInitDialog(HWND window) {
    windowIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_UPDATER));
    if (windowIcon) {
        SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(windowIcon));
        SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon));
    }
    SendDlgItemMessageA(window, IDC_DIRECTORY_EDIT, WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(g_InstallDir));
    if (!g_Title[0]) MakeDefaultTitle();
    SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(g_Title));
    g_Quit = 0;
}

static void OnClose() {
    if (g_Busy) return;
    g_Quit = 1;
    if (windowIcon) DestroyIcon(windowIcon);
    windowIcon = nullptr;
}

// Takes the directory from the edit box. 0 when it is too long for the
// paths it has to hold; the user is told and may correct it.
static int TakeDirectoryFromEdit(HWND window) {
    char text[1024];
    SendDlgItemMessageA(window, IDC_DIRECTORY_EDIT, WM_GETTEXT, sizeof text,
                        reinterpret_cast<LPARAM>(text));
    text[sizeof text - 1] = 0;
    if (SetInstallDir(text, packageRecords.longestName, IsAnsiLeadByte)) return 1;
    ShowWindowError("The directory name is too long for the files of this update.\n\n"
                    "Please choose a directory with a shorter path.");
    return 0;
}

static int ConfirmVersion() {
    if (!IsNewerStampInstalled()) return 1;
    return ShowMessage(g_UpdaterWindow,
                       "You have already installed newer update. Wanna continue with older "
                       "version?",
                       "Version conflict", kButtonsYesNo) == kAnswerYes;
}

static DWORD WINAPI RunWorker(LPVOID parameter) { return UpdateWorker(parameter); }

static void ShowProgressState(HWND window) {
    EnableWindow(GetDlgItem(window, IDC_UPDATE_BUTTON), FALSE);
    EnableWindow(GetDlgItem(window, IDC_CANCEL_BUTTON), FALSE);
    ShowWindow(GetDlgItem(window, IDC_DIRECTORY_EDIT), SW_HIDE);
    SetDlgItemTextA(window, IDC_STATUS_TEXT, kUpdatingText);
    SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ShowWindow(GetDlgItem(window, IDC_PROGRESS_BAR), SW_SHOWNORMAL);
}

static void OnUpdatePressed(HWND window) {
    if (!TakeDirectoryFromEdit(window)) return;
    InstallQuestions questions = MakeWindowQuestions(g_UpdaterWindow);
    if (!RecoverInterruptedInstall(g_InstallDir, &folderLock, &questions)) return;
    if (!IsGameInstalled()) {
        ShowWindowError("Game is not correctly installed or wrong directory");
        return;
    }
    // The question's own message loop delivers a close that comes meanwhile
    // (posted by another program, or by the task manager): the quit flag is
    // then set, and the program ends here, before anything is written,
    // whatever the answer.
    if (!ConfirmVersion() || g_Quit) return;
    ShowProgressState(window);
    // Busy from here on, so that a close before the worker's first step
    // can't end the process under it.
    g_Busy = 1;
    StartInstallSession(&installSession, &packageRecords, g_UpdaterWindow);
    HANDLE thread = CreateThread(nullptr, 0, RunWorker, &installSession, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
        return;
    }
    g_UpdateFailed = 1;
    g_Quit = 1;
    g_Busy = 0;
}

static INT_PTR CALLBACK UpdaterDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(window); break;
    case WM_CLOSE: OnClose(); break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CANCEL_BUTTON) g_Quit = 1;
        else if (LOWORD(wParam) == IDC_UPDATE_BUTTON) OnUpdatePressed(window);
        break;
    }
    return 0;
}

int StartUpdater() {
    if (!ReadInstallDir(g_InstallDir, kMaxPath) || !(g_InstallDirLength = strlen(g_InstallDir))) {
        ShowMessage(0, "Game is not correctly installed!", "Error", kButtonsOk);
        return 0;
    }
    InstallQuestions questions = MakeWindowQuestions(0);
    if (!RecoverInterruptedInstall(g_InstallDir, &folderLock, &questions)) return 0;
    if (!LoadPackageInfo()) {
        ShowMessage(0, "Invalid EXE file", "Error", kButtonsOk);
        return 0;
    }
    LoadPackageRecords(g_PackageHeader.fileCount, &packageRecords);
    InitCommonControls();
    HWND window = CreateDialogParamA(Instance(), "IDD_MAINFORM", nullptr, UpdaterDialogProc, 0);
    if (!window) return 0;
    g_UpdaterWindow = reinterpret_cast<WindowHandle>(window);
    ShowWindow(window, SW_SHOWNORMAL);
    return 1;
}

// The longest wait between passes; the worker's wake-up (WakeWindow) ends
// it early.
const DWORD kLoopWaitMs = 100;
// The bar moves at most every 20 ms (50 times a second, smooth to the eye):
// each move repaints it, and on a 2-core machine a repaint per 1 % took
// the window thread a third of a core away from the worker of a fast install.
const DWORD kBarStepMs = 20;

void RunMessageLoop() {
    int32_t lastSent = 999;  // never a progress value: the first pass sends
    DWORD sentAt = GetTickCount() - kBarStepMs;
    while (!g_Quit) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        int32_t progress = g_Progress;
        DWORD wait = kLoopWaitMs, since = GetTickCount() - sentAt;
        if (progress != lastSent && since < kBarStepMs) {
            wait = kBarStepMs - since;  // the newest value goes then
        } else if (progress != lastSent) {
            SendDlgItemMessageA(UpdaterWindow(), IDC_PROGRESS_BAR, PBM_SETPOS, progress, 0);
            lastSent = progress;
            sentAt = GetTickCount();
        }
        // Give the processor back between passes instead of spinning a core
        // against the worker: any message, and the worker's wake-up on each
        // new progress value or at its end, ends the wait at once.
        if (!g_Quit) MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}
