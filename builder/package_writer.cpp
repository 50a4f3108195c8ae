#include "builder/package_writer.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include "builder/folder_scan.h"
#include "builder/record_compressor.h"
#include "builder/title_reader.h"
#include "package/record_names.h"
#include "pe/pe_resources.h"
#include "platform/code_pages.h"
#include "platform/system.h"

// The update executable maps its whole image into a 32-bit address space;
// past this size Windows can't start it at all, so such a build would
// succeed and ship a patch that never runs.
const uint64_t kMaxPackageBytes = 1792ull << 20;

// One resource table holds at most 65535 names; the records share theirs
// with "HEADER", "TITLE" and "README". Past this the commit would fail at
// the very end, after the whole payload was streamed.
const uint32_t kMaxFiles = 0xFFFF - 3;

static const char kExecutableName[] = "Update.exe";

// Paths are told as this platform spells them.
static int Fail(BuildReport* report, const char* what, const char* path = nullptr) {
    char shown[sizeof report->failure] = "";
    if (path) MakeNativePath(path, shown, sizeof shown);  // cut short when it doesn't fit
    std::string text = path ? std::string(what) + "\n\n" + shown : what;
    snprintf(report->failure, sizeof report->failure, "%s", text.c_str());
    return 0;
}

// newBytes of new records, and keptBytes of the target's package that the
// build leaves in place, are more than an update executable can carry.
static int FailTooLarge(BuildReport* report, uint64_t newBytes, uint64_t keptBytes) {
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
    return Fail(report, text);
}

// The file at path, what went wrong with it and why, for the report's
// cause: the build mode says nothing of these.
static int ExplainFile(BuildReport* report, const char* path, const char* what,
                       const char* why) {
    char shown[kMaxBuildPath] = "";
    MakeNativePath(path, shown, sizeof shown);  // cut short when it doesn't fit
    snprintf(report->cause, sizeof report->cause, "%s %s: %s", shown, what, why);
    return 0;
}

// The same with the system's reason for the last file call that failed.
static int ExplainFileCall(BuildReport* report, const char* path, const char* what) {
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

static int FailHugeFile(BuildReport* report, const char* path) {
    return Fail(report, "This file is too large to be packed (a package holds files of less "
                        "than 4 GiB each):", path);
}

static void TellProgress(BuildRun* run, uint64_t bytes) {
    run->bytesDone += bytes;
    const BuildRequest* request = run->request;
    if (request->progress)
        request->progress(request->progressContext, run->filesDone, run->fileCount,
                          run->bytesDone, run->bytesTotal);
}

// A file's content as the resource writer pulls it.
struct FileSource {
    FileHandle file;
    BuildRun* run;
    uint64_t bytesRead;
};

static uint32_t ReadFromFile(void* context, void* buffer, uint32_t count) {
    FileSource* source = static_cast<FileSource*>(context);
    uint32_t n = ReadBlock(source->file, buffer, count);
    source->bytesRead += n;
    TellProgress(source->run, n);
    return n;
}

// Why a file stopped giving bytes before its size: it shrank, or a read
// failed.
static void ExplainShortRead(BuildReport* report, const char* path, FileHandle file,
                             uint64_t fileSize) {
    char text[120];
    uint64_t now = GetFileSize64(file);
    if (now >= fileSize) {
        ExplainFileCall(report, path, "can't be read");
        return;
    }
    snprintf(text, sizeof text, "it has %llu bytes now, %llu when the build began",
             static_cast<unsigned long long>(now), static_cast<unsigned long long>(fileSize));
    ExplainFile(report, path, "shrank while it was packed", text);
}

// A compressed stream held whole only while it is this small; a larger
// one is made again as the record is written.
const uint64_t kHeldStream = 8u << 20;

struct HeldBytes {
    const std::string* bytes;
    size_t at;
};

static uint32_t ReadHeldBytes(void* context, void* buffer, uint32_t count) {
    HeldBytes* held = static_cast<HeldBytes*>(context);
    size_t n = held->bytes->size() - held->at;
    if (n > count) n = count;
    memcpy(buffer, held->bytes->data() + held->at, n);
    held->at += n;
    return static_cast<uint32_t>(n);
}

static int ReopenFile(FileHandle* file, const char* path) {
    CloseFile(*file);
    *file = OpenForRead(path);
    return *file != 0;
}

// Compresses the file once to learn its stream's size, keeping a small
// stream. 1 with the size, 0 when the file is not smaller so or can't be
// read whole (the caller stores it, and a file that changed fails there).
static int MeasureStream(FileHandle file, uint64_t fileSize, uint64_t* streamSize,
                         std::string* held, BuildRun* run) {
    CompressorHandle compressor = StartRecordCompressor(file);
    if (!compressor) return 0;
    std::string chunk(0x10000, '\0');
    uint64_t total = 0, input = 0;
    uint32_t n;
    while ((n = ReadCompressedBytes(compressor.get(), &chunk[0],
                                    static_cast<uint32_t>(chunk.size()))) > 0) {
        total += n;
        if (total + kCompressedOverhead >= fileSize) return 0;  // no gain: stored
        if (total <= kHeldStream) held->append(chunk.data(), n);
        else std::string().swap(*held);
    }
    TellProgress(run, fileSize);
    *streamSize = total;
    return FinishedCompressing(compressor.get(), &input, &total) && input == fileSize;
}

// Writes a compressed record of the file when that makes it smaller. 1 when
// it did; 0 with stored 1 when the file is to be stored instead (file then
// reads from its start); 0 with stored 0 on failure.
static int AddCompressedFile(PeUpdate* update, FileHandle* file, const char* path,
                             const char* resourceName, const char* recordName,
                             uint32_t nameLength, uint64_t fileSize, int* stored, BuildRun* run) {
    *stored = 1;
    uint64_t streamSize = 0;
    std::string held;
    int smaller = fileSize > 0 && MeasureStream(*file, fileSize, &streamSize, &held, run);
    if (!ReopenFile(file, path)) {
        *stored = 0;
        return ExplainFileCall(run->report, path, "can't be opened again");
    }
    if (!smaller || !*stored) return 0;
    *stored = 0;
    unsigned char head[kMaxPath + kRecordOverhead + kCompressedOverhead];
    uint32_t headSize = EncodeCompressedRecordHead(recordName, nameLength,
                                                   static_cast<uint32_t>(fileSize), head);
    if (held.size() == streamSize) {
        HeldBytes source = {&held, 0};
        return AddPeResourceFromStream(update, resourceName, head, headSize, ReadHeldBytes,
                                       &source, streamSize);
    }
    // Made again as it is written; a file that changed meanwhile gives
    // another stream, which fails the build.
    CompressorHandle compressor = StartRecordCompressor(*file);
    uint64_t input = 0, output = 0;
    return compressor &&
           AddPeResourceFromStream(update, resourceName, head, headSize, ReadCompressedBytes,
                                   compressor.get(), streamSize) &&
           ReadCompressedBytes(compressor.get(), head, 1) == 0 &&
           FinishedCompressing(compressor.get(), &input, &output) && input == fileSize &&
           output == streamSize;
}

int AddPayloadFile(PeUpdate* update, const char* path, const char* recordName, uint32_t index,
                   BuildRun* run) {
    char resourceName[kRecordNameSize];
    FormatRecordName(resourceName, index);
    uint32_t nameLength = static_cast<uint32_t>(strlen(recordName));
    if (nameLength >= kMaxPath) return 0;  // the record's head must fit its buffer
    FileHandle file = OpenForRead(path);
    if (!file) return ExplainFileCall(run->report, path, "can't be opened");
    uint64_t fileSize = GetFileSize64(file);
    // A record holds its size in 32 bits: the file and its name must fit.
    int ok = fileSize != ~0ull && fileSize + nameLength + kRecordOverhead <= 0xFFFFFFFFull;
    if (fileSize == ~0ull) ExplainFileCall(run->report, path, "can't be read");
    else if (!ok) FailHugeFile(run->report, path);
    int stored = 1;
    if (ok && run->request->options.compress)
        ok = AddCompressedFile(update, &file, path, resourceName, recordName, nameLength,
                               fileSize, &stored, run) || stored;
    if (ok && stored) {
        // The content streams from the file into the package: exactly its
        // size at this moment, or the build fails (a file that shrank).
        unsigned char head[kMaxPath + kRecordOverhead];
        uint32_t headSize = EncodeRecordHead(recordName, nameLength, head);
        TellProgress(run, headSize);
        FileSource source = {file, run, 0};
        ok = AddPeResourceFromStream(update, resourceName, head, headSize, ReadFromFile, &source,
                                     fileSize);
        if (!ok && !IsPeUpdateBroken(update) && source.bytesRead < fileSize)
            ExplainShortRead(run->report, path, file, fileSize);
    } else if (!ok && file && !IsPeUpdateBroken(update) && !run->report->cause[0]) {
        ExplainFile(run->report, path, "changed while it was packed", "its content differs");
    }
    if (file) CloseFile(file);
    return ok;
}

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
        return Fail(report, "This name has characters that the system's code page can't hold "
                            "(they are shown as '?' or as look-alikes), so the update could not "
                            "create it:", scan.lostNamePath.c_str());
    if (!scanned)
        return Fail(report, "This path is too long to be packed (a path holds at most 259 "
                            "characters):", scan.tooLongPath.c_str());
    if (scan.names.empty()) return Fail(report, "0 files found!");
    if (scan.names.size() > kMaxFiles) {
        char text[200];
        snprintf(text, sizeof text,
                 "There are too many files to pack: %u files, but a package holds at most %u "
                 "files.", static_cast<unsigned>(scan.names.size()), kMaxFiles);
        return Fail(report, text);
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

// The names the records carry, converted to the code page the updater will
// use. 0 when one can't be written in it, or no longer fits a path.
static int ConvertNames(const ScanResult& scan, const char* folder, uint32_t codePage,
                        std::vector<std::string>* names, BuildReport* report) {
    names->resize(scan.names.size());
    for (size_t i = 0; i < scan.names.size(); i++) {
        if (ConvertCodePage(scan.names[i], kPlatformCodePage, codePage, &(*names)[i]) &&
            (*names)[i].size() < kMaxPath)
            continue;
        char what[200];
        snprintf(what, sizeof what, "The name of this file can't be written in code page %u, "
                 "the one the updater will use:", codePage);
        return Fail(report, what, (std::string(folder) + scan.names[i]).c_str());
    }
    return 1;
}

// The names as the updater will judge them: each by the rule for record
// names, and each against the others as Windows compares them. 0 when the
// updater would refuse one, with the report naming the files.
static int CheckRecordNames(const ScanResult& scan, const char* folder, uint32_t codePage,
                            const std::vector<std::string>& names, BuildReport* report) {
    RecordNameSet set = {codePage, {}, {}};
    char what[300];
    for (uint32_t i = 0; i < names.size(); i++) {
        std::string path = folder + scan.names[i];
        RecordNameFault fault = JudgeRecordName(names[i].c_str(), codePage);
        uint32_t earlier;
        if (fault != kNameSound) {
            snprintf(what, sizeof what, "The updater would refuse the name of this file, since %s:",
                     DescribeNameFault(fault));
            return Fail(report, what, path.c_str());
        }
        if (!AddRecordName(&set, names[i].c_str(), i, &earlier))
            return Fail(report, "Windows can't tell the names of these files apart, so the "
                                "updater would refuse them:",
                        (folder + scan.names[earlier] + "\n" + path).c_str());
    }
    return 1;
}

// Every record, then the header, title and readme name; 0 when a record
// failed (the update must then be discarded).
static int WritePackage(PeUpdate* update, const char* folder, ScanResult* scan,
                        const std::vector<std::string>& recordNames, BuildRun* run) {
    BuildReport* report = run->report;
    for (uint32_t i = 0; i < scan->names.size(); i++) {
        char path[kMaxBuildPath];
        if (snprintf(path, sizeof path, "%s%s", folder, scan->names[i].c_str()) >=
                static_cast<int>(sizeof path) ||
            !AddPayloadFile(update, path, recordNames[i].c_str(), i, run))
            return 0;
        std::string().swap(scan->names[i]);  // its record is staged
        run->filesDone++;
        TellProgress(run, 0);
    }
    report->header.buildTime = GetSystemFileTime();
    unsigned char header[kHeaderSize];
    EncodeHeader(report->header, header);
    AddPeResourceBytes(update, kHeaderName, header, kHeaderSize);
    if (report->title[0])
        AddPeResourceBytes(update, kTitleName, report->title, strlen(report->title));
    if (report->readmeName[0])
        AddPeResourceBytes(update, kReadmeName, report->readmeName, strlen(report->readmeName));
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
                           const std::vector<std::string>& recordNames, BuildRun* run) {
    BuildReport* report = run->report;
    char nativePath[kMaxBuildPath];
    PeUpdate* update = MakeNativePath(path, nativePath, sizeof nativePath)
                           ? BeginPeUpdate(nativePath) : nullptr;
    if (!update) {
        MakeNativePath(path, report->detail, sizeof report->detail);
        return Fail(report, "Can''t find / open(for writing) executable!");
    }
    // Checked before any record is streamed; a failure discards the update.
    if (!CheckImageSize(update, *scan, report) ||
        !WritePackage(update, folder, scan, recordNames, run)) {
        ExplainOutput(report, nativePath, errno);
        EndPeUpdate(update, 1);
        return 0;
    }
    if (EndPeUpdate(update, 0)) return 1;
    return ExplainOutput(report, nativePath, errno);
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
    if (!CheckRecordNames(*scan, folder, codePage, recordNames, report)) return 0;
    BuildRun run = {request, report, 0, static_cast<uint32_t>(scan->names.size()), 0,
                    scan->recordBytes};
    return WriteExecutable(path, folder, scan, recordNames, &run);
}

BuildRequest MakeBuildRequest(const char* folder) {
    return BuildRequest{folder, BuildOptions{kPlatformCodePage, 0}, nullptr, nullptr,
                        BuildReporter{nullptr, nullptr}};
}

int BuildPackage(const BuildRequest* request, BuildReport* report) {
    *report = BuildReport();
    char path[kMaxBuildPath];
    uint32_t directoryLength = PlaceBuildDirectory(request->folder, path);
    if (!directoryLength)
        return Fail(report, "The build directory's path is too long (a path holds at most "
                            "259 characters).");
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

void DescribeBuiltPackage(const BuildReport& report, char* text, uint32_t size) {
    snprintf(text, size, "%u files (%u bytes) succesfully saved into resources.",
             report.header.fileCount, report.header.totalBytes);
}
