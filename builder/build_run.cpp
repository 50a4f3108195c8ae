#include "builder/build_run.h"
#include <cstdio>
#include <string>
#include "platform/files.h"

int FailBuild(BuildReport* report, const char* what, const char* path) {
    char shown[sizeof report->failure] = "";
    if (path) MakeNativePath(path, shown, sizeof shown);  // cut short when it doesn't fit
    std::string text = path ? std::string(what) + "\n\n" + shown : what;
    snprintf(report->failure, sizeof report->failure, "%s", text.c_str());
    return 0;
}

int FailTooLarge(BuildReport* report, uint64_t newBytes, uint64_t keptBytes) {
    char kept[80] = "";
    if (keptBytes)
        snprintf(kept, sizeof kept, " and %llu MiB kept from an earlier build",
                 static_cast<unsigned long long>(keptBytes >> 20));
    char text[300];
    snprintf(text, sizeof text,
             "The package would be too large to run: %llu MiB of files%s, but an update "
             "executable can carry at most %llu MiB.",
             static_cast<unsigned long long>(newBytes >> 20), kept,
             static_cast<unsigned long long>(kMaxPackageBytes >> 20));
    return FailBuild(report, text);
}

int ExplainFile(BuildReport* report, const char* path, const char* what, const char* why) {
    char shown[kMaxBuildPath] = "";
    MakeNativePath(path, shown, sizeof shown);  // cut short when it doesn't fit
    snprintf(report->cause, sizeof report->cause, "%s %s: %s", shown, what, why);
    return 0;
}

int ExplainFileCall(BuildReport* report, const char* path, const char* what) {
    char text[200];
    const char* why = text;
    switch (GetLastFileFailure(text, sizeof text)) {
    case kFailureNoFolder: why = "nothing is there, or a link that leads nowhere"; break;
    case kFailureDenied: why = "access is denied"; break;
    case kFailureInUse: why = "another program holds it"; break;
    case kFailurePathTooLong: why = "the path is too long"; break;
    case kFailureWriteProtected: why = "the disk is write-protected"; break;
    case kFailureDiskFull: why = "the disk is full"; break;
    case kFailureOther: break;
    }
    return ExplainFile(report, path, what, why);
}

int FailHugeFile(BuildReport* report, const char* path) {
    return FailBuild(report, "This file is too large to be packed (a package holds files of "
                             "less than 4 GiB each):", path);
}

void TellProgress(BuildRun* run, uint64_t bytes) {
    run->bytesDone += bytes;
    const BuildRequest* request = run->request;
    if (request->progress)
        request->progress(request->progressContext, run->filesDone, run->fileCount,
                          run->bytesDone, run->bytesTotal);
}

void DescribeBuiltPackage(const BuildReport& report, char* text, uint32_t size) {
    snprintf(text, size, "%u files (%u bytes) succesfully saved into resources.",
             report.header.fileCount, report.header.totalBytes);
}
