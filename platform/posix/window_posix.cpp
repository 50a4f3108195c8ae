// The native build has no window: the update mode belongs to the Windows
// program, and the native tools only build packages.
#include "platform/platform.h"
#include "updater/updater_window.h"

int StartUpdater() {
    ShowMessage(0, "The update mode needs the Windows program (Update.exe).", "Error", kBoxOk);
    return 0;
}

void RunMessageLoop() {}
