// The Windows program's run: the mode its command line asks for, and the
// exit code.
#include "frame/modes.h"
#include "updater/progress_state.h"
#include "updater/updater_window.h"

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
