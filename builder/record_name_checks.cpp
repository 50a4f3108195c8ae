// The names of a build's files as the records will carry them, judged as
// the updater will judge them.
#include <cstdio>
#include "builder/build_run.h"
#include "builder/folder_scan.h"
#include "package/record_names.h"
#include "platform/code_pages.h"

int ConvertNames(const ScanResult& scan, const char* folder, uint32_t codePage,
                 std::vector<std::string>* names, BuildReport* report) {
    names->resize(scan.names.size());
    for (size_t i = 0; i < scan.names.size(); i++) {
        if (ConvertCodePage(scan.names[i], kPlatformCodePage, codePage, &(*names)[i]) &&
            (*names)[i].size() < kMaxPath)
            continue;
        char what[200];
        snprintf(what, sizeof what, "The name of this file can't be written in code page %u, "
                 "the one the updater will use:", codePage);
        return FailBuild(report, what, (std::string(folder) + scan.names[i]).c_str());
    }
    return 1;
}

// Warns that the file's name looks like a short name: on the player's disk
// it may be another file's.
static void WarnOfShortName(const BuildReporter& reporter, const std::string& path) {
    if (!reporter.warn) return;
    char shown[kMaxBuildPath] = "";
    MakeNativePath(path.c_str(), shown, sizeof shown);
    std::string text = std::string("the name of this file is shaped like a short (8.3) name, which "
                                   "on Windows may be another file's: ") + shown;
    reporter.warn(reporter.context, text.c_str());
}

int CheckRecordNames(const ScanResult& scan, const char* folder, const BuildRequest* request,
                     const std::vector<std::string>& names, BuildReport* report) {
    uint32_t codePage = request->options.nameCodePage;
    RecordNameSet set = {codePage, {}, {}};
    char what[300];
    for (uint32_t i = 0; i < names.size(); i++) {
        std::string path = folder + scan.names[i];
        RecordNameFault fault = JudgeRecordName(names[i].c_str(), codePage);
        uint32_t earlier;
        if (fault != kNameSound) {
            snprintf(what, sizeof what, "The updater would refuse the name of this file, since %s:",
                     DescribeNameFault(fault));
            return FailBuild(report, what, path.c_str());
        }
        if (!AddRecordName(&set, names[i].c_str(), i, &earlier))
            return FailBuild(report, "Windows can't tell the names of these files apart, so the "
                                     "updater would refuse them:",
                             (folder + scan.names[earlier] + "\n" + path).c_str());
        if (HasShortNameShape(names[i].c_str(), codePage)) WarnOfShortName(request->reporter, path);
    }
    return 1;
}
