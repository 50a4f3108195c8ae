// orvanta-pack verify: the package against the build directory's "Update"
// folder, file by file and byte for byte. The folder is walked in build
// order; each file is matched with the record of its name in the package's
// code page, and the records no file matched are extra.
#include <cstdio>
#include <cstring>
#include <map>
#include "builder/folder_scan.h"
#include "package/record_content.h"
#include "packer/packer.h"
#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/sha256.h"

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

struct Comparison {
    FileHandle file;
    std::string buffer;
    int different;
};

// Reads on after a difference, so that a damaged stream is told as such.
static int CompareChunk(void* context, const unsigned char* bytes, uint32_t count) {
    Comparison* c = static_cast<Comparison*>(context);
    for (uint32_t at = 0; at < count && !c->different;) {
        uint32_t want = count - at < c->buffer.size() ? count - at
                                                      : static_cast<uint32_t>(c->buffer.size());
        uint32_t n = ReadBlock(c->file, &c->buffer[0], want);
        c->different = n == 0 || memcmp(c->buffer.data(), bytes + at, n) != 0;
        at += n;
    }
    return 1;
}

// 1 when the file holds the record's content (a delta's applied to the
// release's file at basePath); 0 when it doesn't, with damaged set when the
// record's content is damaged.
static int IsSameContent(const std::string& path, const PayloadView& view,
                         const std::string& basePath, int* damaged) {
    Comparison comparison = {OpenForRead(path.c_str()), std::string(kContentChunk, '\0'), 0};
    *damaged = 0;
    if (!comparison.file) return 0;
    comparison.different = GetFileSize64(comparison.file) != view.fileSize;
    FileHandle base = view.delta ? OpenForRead(basePath.c_str()) : 0;
    DeltaBase from = MakeFileBase(&base);
    int same = (view.delta ? base && ReadDeltaContent(view, from, CompareChunk, &comparison, damaged)
                           : ReadRecordContent(view, CompareChunk, &comparison, damaged)) &&
               !comparison.different;
    if (base) CloseFile(base);
    CloseFile(comparison.file);
    return same;
}

// 1 when the file at path has the size and SHA-256 the list gives.
static int IsListedFile(const std::string& path, const UnchangedFile& file) {
    FileHandle handle = OpenForRead(path.c_str());
    uint64_t size = 0;
    unsigned char digest[kSha256DigestSize];
    int hashed = handle && HashOpenFile(handle, &size, digest);
    if (handle) CloseFile(handle);
    return hashed && size == file.size && memcmp(digest, file.hash, kHashSize) == 0;
}

// A file of the folder that no record carries: one the patch leaves as it
// is must be as the list says.
static int CompareUnlisted(const std::string& path, const std::string& name,
                           const std::string& stored, const PackageListing& listing) {
    for (const UnchangedFile& file : listing.package.unchanged)
        if (file.name == stored) return IsListedFile(path, file) ? 0 : Report("different", name);
    return Report("missing", name);
}

// Each file of the folder against its record; marks the records matched.
// A delta is applied to the release's file in from.
static int CompareFiles(const std::string& folder, const ScanResult& scan, uint32_t codePage,
                        const std::string& from, const PackageListing& listing,
                        std::vector<int>* matched) {
    std::map<std::string, size_t> byName;  // the last of a name is the one installed
    for (size_t i = 0; i < listing.records.size(); i++)
        if (listing.records[i].problem.empty()) byName[listing.records[i].record->view.name] = i;
    int found = 0;
    for (const std::string& name : scan.names) {
        std::string stored;
        int spelled = ConvertCodePage(name, kPlatformCodePage, codePage, &stored);
        auto record = spelled ? byName.find(stored) : byName.end();
        if (record == byName.end()) {
            found += spelled ? CompareUnlisted(folder + name, name, stored, listing)
                             : Report("missing", name);
            continue;
        }
        (*matched)[record->second] = 1;
        int damaged = 0;
        const PayloadView& view = listing.records[record->second].record->view;
        if (!IsSameContent(folder + name, view, from + name, &damaged))
            found += Report(damaged ? "damaged" : "different",
                            !damaged ? name
                            : view.delta ? name + ": its delta is damaged or makes another file"
                                         : name + ": its compressed content is damaged");
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
    if (!CheckReleaseGiven(package, arguments.from, listing)) return kPackUsage;
    std::vector<int> matched(listing.records.size());
    int found = ReportDamage(listing);
    std::string from = arguments.from.empty() ? "" : arguments.from + "\\";
    found += CompareFiles(folder + "\\", scan, arguments.codePage, from, listing, &matched);
    found += ReportExtra(listing, matched);
    if (found) return kPackDifferent;
    printf("same: %u files (%u bytes) in %s and %s\n", static_cast<uint32_t>(scan.names.size()),
           scan.totalBytes, package.c_str(), arguments.operands[1].c_str());
    return kPackOk;
}
