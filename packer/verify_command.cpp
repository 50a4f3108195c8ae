// orvanta-pack verify: the package against the build directory's "Update"
// folder, file by file and byte for byte. The folder is walked in build
// order; each file is matched with the record of its name in the package's
// code page, and the records no file matched are extra.
#include <cstdio>
#include <cstring>
#include <map>
#include "builder/folder_scan.h"
#include "packer/packer.h"
#include "platform/code_pages.h"
#include "platform/files.h"

static int Report(const char* what, const std::string& name) {
    printf("%s: %s\n", what, name.c_str());
    return 1;
}

static int ReportDamage(const PackageListing& listing) {
    int found = 0;
    for (const ListedRecord& entry : listing.records) {
        if (entry.problem.empty()) continue;
        char resource[kRecordNameSize];
        FormatRecordName(resource, entry.index);
        found += Report("damaged", std::string(resource) + ": " + entry.problem);
    }
    if (!listing.totalProblem.empty())
        found += Report("damaged", "total bytes: " + listing.totalProblem);
    return found;
}

static int IsSameContent(const std::string& path, const PayloadView& view) {
    FileHandle file = OpenForRead(path.c_str());
    if (!file) return 0;
    int same = GetFileSize64(file) == view.contentSize;
    std::string buffer(1 << 16, '\0');
    for (uint32_t at = 0; same && at < view.contentSize;) {
        uint32_t want = view.contentSize - at < buffer.size() ? view.contentSize - at
                                                              : static_cast<uint32_t>(buffer.size());
        uint32_t n = ReadBlock(file, &buffer[0], want);
        same = n > 0 && memcmp(buffer.data(), view.content + at, n) == 0;
        at += n;
    }
    CloseFile(file);
    return same;
}

// Each file of the folder against its record; marks the records matched.
static int CompareFiles(const std::string& folder, const ScanResult& scan, uint32_t codePage,
                        const PackageListing& listing, std::vector<int>* matched) {
    std::map<std::string, size_t> byName;  // the last of a name is the one installed
    for (size_t i = 0; i < listing.records.size(); i++)
        if (listing.records[i].problem.empty()) byName[listing.records[i].record->view.name] = i;
    int found = 0;
    for (const std::string& name : scan.names) {
        std::string stored;
        auto record = ConvertCodePage(name, kPlatformCodePage, codePage, &stored)
                          ? byName.find(stored) : byName.end();
        if (record == byName.end()) {
            found += Report("missing", name);
            continue;
        }
        (*matched)[record->second] = 1;
        if (!IsSameContent(folder + name, listing.records[record->second].record->view))
            found += Report("different", name);
    }
    return found;
}

static int ReportExtra(const PackageListing& listing, const std::vector<int>& matched) {
    int found = 0;
    for (size_t i = 0; i < listing.records.size(); i++)
        if (listing.records[i].problem.empty() && !matched[i])
            found += Report("extra", ToPlatformText(listing.records[i].name));
    return found;
}

int RunVerifyCommand(const PackerArguments& arguments) {
    const std::string& package = arguments.operands[0];
    std::string folder = arguments.operands[1] + "\\Update";
    PackageListing listing;
    int status = ReadPackageListing(package.c_str(), arguments.codePage, &listing);
    if (status != kPackOk) return status;
    ScanResult scan;
    uint64_t identity[2];
    if (!GetFolderIdentity(folder.c_str(), identity) || !ScanUpdateFolder(folder.c_str(), &scan)) {
        fprintf(stderr, "orvanta-pack: %s: can't be read whole\n", ToNativePath(folder).c_str());
        return kPackUsage;
    }
    std::vector<int> matched(listing.records.size());
    int found = ReportDamage(listing);
    found += CompareFiles(folder + "\\", scan, arguments.codePage, listing, &matched);
    found += ReportExtra(listing, matched);
    if (found) return kPackDifferent;
    printf("same: %u files (%u bytes) in %s and %s\n", static_cast<uint32_t>(scan.names.size()),
           scan.totalBytes, package.c_str(), arguments.operands[1].c_str());
    return kPackOk;
}
