#include "updater/extract_worker.h"
#include "install/install_dir.h"
#include "install/install_transaction.h"
#include "package/package_info.h"
#include "platform/system.h"
#include "updater/progress_state.h"

static void OpenReadme() {
    char path[kMaxPath];
    if (!g_ReadmeName[0] || !IsSafeRelativeName(g_ReadmeName)) return;
    if (!MakeInstallPath(g_ReadmeName, path)) return;
    OpenDocument(path);
    SleepMilliseconds(250);
}

static void EndWorker() {
    g_Quit = 1;
    g_Busy = 0;
    WakeWindow(g_UpdaterWindow);
}

uint32_t UpdateWorker(void* parameter) {
    InstallSession* session = static_cast<InstallSession*>(parameter);
    g_Busy = 1;
    SetInstalledBytes(session, 0);
    if (!InstallPackage(session)) {
        // A failed update must not look like success to whoever started us.
        g_UpdateFailed = 1;
        EndWorker();
        return 0;
    }
    ShowMessage(g_UpdaterWindow, "Orvanta was succesfuly updated.", "Done", kButtonsOk);
    OpenReadme();
    EndWorker();
    return 0;
}
