#include "frame/modes.h"
#include <cstdio>
#include "builder/package_writer.h"
#include "platform/files.h"
#include "platform/system.h"

// Removes nothing and reads no package, so it counts none.
int RunEraseMode() {
    ShowMessage(0, "0 files succesfully removed from resources.", "Done", kButtonsOk);
    return kExitSuccess;
}

// The build of the current directory, told in message boxes.
int RunBuildMode() {
    char folder[kMaxBuildPath] = "";  // none: a path too long for the build's calls
    if (!GetWorkingDirectory(folder, kNativePathLimit)) folder[0] = 0;
    BuildRequest request = MakeBuildRequest(folder);
    BuildReport report;
    if (!BuildPackage(&request, &report)) {
        if (report.failure[0]) ShowMessage(0, report.failure, "Error", kButtonsOk);
        if (report.detail[0]) ShowMessage(0, report.detail, "Error", kButtonsOk);
        return kExitFailure;
    }
    char text[128];
    DescribeBuiltPackage(report, text, sizeof text);
    ShowMessage(0, text, "Done", kButtonsOk);
    return kExitSuccess;
}
