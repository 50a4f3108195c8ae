#include "frame/modes.h"
#include <cstdio>
#include <cstring>
#include "builder/package_writer.h"
#include "package/package_state.h"
#include "platform/platform.h"
#include "updater/progress_state.h"
#include "updater/updater_window.h"

int RunEraseMode() {
    char text[96];
    snprintf(text, sizeof text, "%d files succesfully removed from resources.",
             static_cast<int>(g_PackageHeader.fileCount));
    ShowMessage(0, text, "Done", kBoxOk);
    return kExitSuccess;
}

int RunBuildMode() {
    if (!BuildPackage()) return kExitFailure;
    char text[128];
    snprintf(text, sizeof text, "%u files (%u bytes) succesfully saved into resources.",
             g_PackageHeader.fileCount,
             g_PackageHeader.totalBytes);
    ShowMessage(0, text, "Done", kBoxOk);
    return kExitSuccess;
}

int RunProgram(char* commandLine) {
    g_Busy = 0;
    UpperCaseAscii(commandLine);
    switch (SelectMode(commandLine)) {
    case kModeErase: return RunEraseMode();
    case kModeBuild: return RunBuildMode();
    case kModeUpdate: break;
    }
    if (!StartUpdater()) return kExitFailure;
    if (!g_Quit) RunMessageLoop();
    return g_UpdateFailed ? kExitFailure : kExitSuccess;
}
