#include "frame/modes.h"
#include <cstdio>
#include "builder/package_writer.h"
#include "platform/system.h"
#include "package/package_info.h"

int RunEraseMode() {
    char text[96];
    snprintf(text, sizeof text, "%d files succesfully removed from resources.",
             static_cast<int>(g_PackageHeader.fileCount));
    ShowMessage(0, text, "Done", kButtonsOk);
    return kExitSuccess;
}

int RunBuildMode(const BuildOptions* options) {
    BuildReport report;
    if (!BuildPackage(&report, options)) {
        if (report.failure[0]) ShowMessage(0, report.failure, "Error", kButtonsOk);
        if (report.detail[0]) ShowMessage(0, report.detail, "Error", kButtonsOk);
        return kExitFailure;
    }
    char text[128];
    snprintf(text, sizeof text, "%u files (%u bytes) succesfully saved into resources.",
             report.header.fileCount, report.header.totalBytes);
    ShowMessage(0, text, "Done", kButtonsOk);
    return kExitSuccess;
}
