#include "builder/package_writer.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include "builder/build_run.h"
#include "builder/folder_scan.h"
#include "builder/release_delta.h"
#include "builder/repeated_files.h"
#include "builder/title_reader.h"
#include "package/record_names.h"
#include "pe/pe_resources.h"
#include "platform/code_pages.h"
#include "platform/system.h"

// One resource table holds at most 65535 names; the records share theirs
// with "HEADER", "TITLE" and "README". Past this the commit would fail at
// the very end, after the whole payload was streamed.
const uint32_t kMaxFiles = 0xFFFF - 3;

static const char kExecutableName[] = "Update.exe";

uint32_t EndBuildDirectory(char* path, uint32_t length, LeadBytePredicate isLeadByte,
                           uint32_t limit) {
    unsigned char last = GetLastSingleByte(path, length, isLeadByte);
    uint32_t ended = length + (last == '\\' || last == '/' ? 0 : 1);
    // The longest name written there is the new image beside "Update.exe".
    const uint32_t kLongestName = sizeof kExecutableName - 1 + sizeof kPeTempSuffix - 1;
    if (ended + kLongestName >= limit) return 0;
    if (ended > length) path[length] = '\\';
    path[ended] = 0;
    return ended;
}

// Sets the path to the build directory with its trailing '\' and gives its
// length; 0 when there is none or it leaves no room for our names.
static uint32_t PlaceBuildDirectory(const char* folder, char* path) {
    size_t length = folder ? strlen(folder) : 0;
    if (length == 0 || length >= kNativePathLimit) return 0;
    memcpy(path, folder, length + 1);
    return EndBuildDirectory(path, static_cast<uint32_t>(length), IsAnsiLeadByte,
                             kNativePathLimit);
}

// Line 1 is the title, line 2 the readme name; a line that isn't there
// leaves its string as it was (empty in a build).
static void ReadTitleFile(const char* path, BuildReport* report) {
    std::unique_ptr<unsigned char[]> block;
    uint32_t size;
    if (!LoadTextFile(path, &block, &size)) return;
    TextLines lines = StartTextLines(block.get(), size, kTextLimit);
    ReadTextLine(&lines, report->title);
    ReadTextLine(&lines, report->readmeName);
}

int CheckScanResult(int scanned, const ScanResult& scan, BuildReport* report) {
    if (!scanned && !scan.lostNamePath.empty())
        return FailBuild(report, "This name has characters that the system's code page can't "
                                 "hold (they are shown as '?' or as look-alikes), so the update "
                                 "could not create it:", scan.lostNamePath.c_str());
    if (!scanned)
        return FailBuild(report, "This path is too long to be packed (a path holds at most 259 "
                                 "characters):", scan.tooLongPath.c_str());
    if (scan.names.empty()) return FailBuild(report, "0 files found!");
    if (scan.names.size() > kMaxFiles) {
        char text[200];
        snprintf(text, sizeof text,
                 "There are too many files to pack: %u files, but a package holds at most %u "
                 "files.", static_cast<unsigned>(scan.names.size()), kMaxFiles);
        return FailBuild(report, text);
    }
    if (!scan.hugeFile.empty()) return FailHugeFile(report, scan.hugeFile.c_str());
    if (scan.recordBytes > kMaxPackageBytes) return FailTooLarge(report, scan.recordBytes, 0);
    return 1;
}

// The bytes of the target's package that the build leaves in place: records
// of an earlier build beyond the new count, and a title or readme name it
// doesn't rewrite. They stay in the committed image and count for its size.
static uint64_t CountKeptBytes(const PeUpdate* update, uint32_t count, const BuildReport& report) {
    uint64_t kept = SumPeResourceSizes(update);
    uint32_t size;
    for (uint32_t i = 0; i < count; i++) {
        char name[kRecordNameSize];
        FormatRecordName(name, i);
        if (FindPeResourceSize(update, name, &size)) kept -= size;
    }
    const char* texts[] = {kHeaderName, report.title[0] ? kTitleName : nullptr,
                           report.readmeName[0] ? kReadmeName : nullptr};
    for (const char* name : texts)
        if (name && FindPeResourceSize(update, name, &size)) kept -= size;
    return kept;
}

static int CheckImageSize(const PeUpdate* update, const ScanResult& scan, BuildReport* report) {
    uint64_t kept = CountKeptBytes(update, static_cast<uint32_t>(scan.names.size()), *report);
    if (scan.recordBytes + kept <= kMaxPackageBytes) return 1;
    return FailTooLarge(report, scan.recordBytes, kept);
}

// The record of a file whose bytes the record earlier has already.
static int AddRepeatedFile(PeUpdate* update, const std::string& recordName, uint32_t index,
                           uint32_t earlier) {
    char resourceName[kRecordNameSize];
    FormatRecordName(resourceName, index);
    unsigned char record[kMaxPath + kRecordOverhead + kRepeatedOverhead];
    uint32_t size = EncodeRepeatedRecord(recordName.c_str(),
                                         static_cast<uint32_t>(recordName.size()), earlier, record);
    return AddPeResourceBytes(update, resourceName, record, size);
}

// What one file of the build becomes: its record's index (kNoRecord for a
// file left out as unchanged), the earlier record it repeats (kNoRecord:
// none), and whether it may go as a delta.
const uint32_t kNoRecord = ~0u;
struct FilePlan {
    uint32_t record;
    uint32_t repeats;
    int changed;
};

// Writes the record of file i as its plan says: a repeat, a delta where
// that is smaller, else the file itself.
static int AddPlannedFile(PeUpdate* update, const char* folder, const std::string& name,
                          const std::string& recordName, const FilePlan& plan, BuildRun* run) {
    std::string path = std::string(folder) + name;
    if (path.size() >= kMaxBuildPath) return 0;
    if (plan.repeats != kNoRecord) return AddRepeatedFile(update, recordName, plan.record, plan.repeats);
    int whole = 1;
    const char* from = run->request->options.from;
    if (plan.changed && AddDeltaFile(update, std::string(from) + name, path, recordName,
                                     plan.record, run, &whole))
        return 1;
    return whole && AddPayloadFile(update, path.c_str(), recordName.c_str(), plan.record, run);
}

// Every record, then the header, title and readme name, and the files left
// out as unchanged; 0 when a record failed (the update must then be
// discarded).
static int WritePackage(PeUpdate* update, const char* folder, ScanResult* scan,
                        const std::vector<std::string>& recordNames,
                        const std::vector<FilePlan>& plans, const std::string& unchanged,
                        BuildRun* run) {
    BuildReport* report = run->report;
    for (uint32_t i = 0; i < scan->names.size(); i++) {
        if (plans[i].record != kNoRecord &&
            !AddPlannedFile(update, folder, scan->names[i], recordNames[i], plans[i], run))
            return 0;
        std::string().swap(scan->names[i]);  // its record is staged
        run->filesDone++;
        TellProgress(run, 0);
    }
    report->header.buildTime = GetSystemFileTime();
    unsigned char header[kHeaderSize];
    EncodeHeader(report->header, header);
    // A failed write of these breaks the update, and its commit then fails.
    (void)AddPeResourceBytes(update, kHeaderName, header, kHeaderSize);
    if (report->title[0])
        (void)AddPeResourceBytes(update, kTitleName, report->title, strlen(report->title));
    if (report->readmeName[0])
        (void)AddPeResourceBytes(update, kReadmeName, report->readmeName,
                                 strlen(report->readmeName));
    // An earlier build's list must not outlive it: a build from no release
    // empties one it finds.
    uint32_t listed;
    if (run->request->options.from || FindPeResourceSize(update, kUnchangedName, &listed))
        (void)AddPeResourceBytes(update, kUnchangedName, unchanged.data(),
                                 static_cast<uint32_t>(unchanged.size()));
    return 1;
}

// A failure that named no file is the new image's: it couldn't be written
// or put in place.
static int ExplainOutput(BuildReport* report, const char* path, int error) {
    if (!report->failure[0] && !report->cause[0])
        ExplainFile(report, path, "can't be written", strerror(error));
    return 0;
}

// Opens "Update.exe" and packs into it.
static int WriteExecutable(const char* path, const char* folder, ScanResult* scan,
                           const std::vector<std::string>& recordNames,
                           const std::vector<FilePlan>& plans, const std::string& unchanged,
                           BuildRun* run) {
    BuildReport* report = run->report;
    char nativePath[kMaxBuildPath];
    PeUpdate* update = MakeNativePath(path, nativePath, sizeof nativePath)
                           ? BeginPeUpdate(nativePath) : nullptr;
    if (!update) {
        MakeNativePath(path, report->detail, sizeof report->detail);
        return FailBuild(report, "Can''t find / open(for writing) executable!");
    }
    // Checked before any record is streamed; a failure discards the update.
    if (!CheckImageSize(update, *scan, report) ||
        !WritePackage(update, folder, scan, recordNames, plans, unchanged, run)) {
        ExplainOutput(report, nativePath, errno);
        (void)EndPeUpdate(update, 1);  // discarded: nothing to report
        return 0;
    }
    if (EndPeUpdate(update, 0)) return 1;
    return ExplainOutput(report, nativePath, errno);
}

// The files a compressed build sends once (first: see WritePackage), or
// none, with a note when the update program can't take them once.
static void FindRepeats(const char* folder, const ScanResult& scan, const BuildRequest* request,
                        std::vector<uint32_t>* first) {
    const BuildOptions& options = request->options;
    if (!options.compress || options.repeats == kRepeatsWhole) return;
    FindRepeatedFiles(folder, scan.names, first);
    uint32_t repeats = 0;
    for (uint32_t i = 0; i < first->size(); i++) repeats += (*first)[i] != i;
    if (options.repeats == kRepeatsOnce) return;
    first->clear();
    const BuildReporter& reporter = request->reporter;
    if (!repeats || !reporter.warn) return;
    char text[300];
    snprintf(text, sizeof text,
             "Note: %u files repeat the bytes of another and are sent whole: this update "
             "program doesn't name \"%s\" in its FORMATS", repeats, kRepeatedFormat);
    reporter.warn(reporter.context, text);
}

// Numbers the records: a file left out as unchanged gets none; a file
// repeats an earlier one only when that one is sent whole (not as a delta,
// not left out). With a release, the header counts the records' files.
static std::vector<FilePlan> PlanFiles(const ScanResult& scan, const ReleasePlan* release,
                                       const std::vector<uint32_t>& first, BuildReport* report) {
    std::vector<FilePlan> plans(scan.names.size());
    uint32_t records = 0, total = 0;
    for (uint32_t i = 0; i < plans.size(); i++) {
        int kind = release ? release->kinds[i] : kReleaseNew;
        plans[i] = FilePlan{kind == kReleaseUnchanged ? kNoRecord : records, kNoRecord,
                            kind == kReleaseChanged};
        if (kind == kReleaseUnchanged) continue;
        records++;
        if (release) total += static_cast<uint32_t>(release->sizes[i]);
        uint32_t j = first.empty() ? i : first[i];
        if (j != i && (!release || release->kinds[j] == kReleaseNew)) plans[i].repeats = plans[j].record;
    }
    if (release) {
        report->header.fileCount = records;
        report->header.totalBytes = total;
        report->unchangedFiles = static_cast<uint32_t>(release->unchanged.size());
    }
    return plans;
}

// Packs into "Update.exe" with the record names in the code page asked
// for, telling the progress to the request's hook.
static int PackNames(const char* path, const char* folder, ScanResult* scan,
                     const BuildRequest* request, BuildReport* report) {
    uint32_t codePage = request->options.nameCodePage;
    std::vector<std::string> converted;
    if (codePage != kPlatformCodePage && !ConvertNames(*scan, folder, codePage, &converted, report))
        return 0;
    const std::vector<std::string>& recordNames =
        codePage == kPlatformCodePage ? scan->names : converted;
    if (!CheckRecordNames(*scan, folder, request, recordNames, report)) return 0;
    BuildRun run = {request, report, 0, static_cast<uint32_t>(scan->names.size()), 0,
                    scan->recordBytes};
    ReleasePlan release;
    const char* from = request->options.from;
    if (from && !PlanReleaseFiles(from, folder, scan->names, recordNames, &release, report))
        return 0;
    std::vector<uint32_t> first;
    FindRepeats(folder, *scan, request, &first);
    std::vector<FilePlan> plans = PlanFiles(*scan, from ? &release : nullptr, first, report);
    std::string unchanged;
    for (const UnchangedFile& file : release.unchanged) EncodeUnchangedFile(file, &unchanged);
    return WriteExecutable(path, folder, scan, recordNames, plans, unchanged, &run);
}

BuildRequest MakeBuildRequest(const char* folder) {
    return BuildRequest{folder, BuildOptions{kPlatformCodePage, 0, kRepeatsWhole, nullptr},
                        nullptr, nullptr,
                        BuildReporter{nullptr, nullptr}};
}

int BuildPackage(const BuildRequest* request, BuildReport* report) {
    *report = BuildReport();
    char path[kMaxBuildPath];
    uint32_t directoryLength = PlaceBuildDirectory(request->folder, path);
    if (!directoryLength)
        return FailBuild(report, "The build directory's path is too long (a path holds at "
                                 "most 259 characters).");
    strcpy(path + directoryLength, "Update");
    ScanResult scan;
    int scanned = ScanUpdateFolder(path, &scan);
    report->header.fileCount = static_cast<uint32_t>(scan.names.size());
    report->header.totalBytes = scan.totalBytes;
    if (!CheckScanResult(scanned, scan, report)) return 0;
    char folder[kMaxBuildPath + 1];
    snprintf(folder, sizeof folder, "%s\\", path);
    strcpy(path + directoryLength, "title.txt");
    ReadTitleFile(path, report);
    strcpy(path + directoryLength, kExecutableName);
    return PackNames(path, folder, &scan, request, report);
}

