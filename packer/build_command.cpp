// orvanta-pack build: the build mode in a directory, with its messages on
// the terminal ("Done: ..." on stdout, "Error: ..." on stderr), a progress
// line for long builds, and an update program to start from.
#include <cstdio>
#include "builder/package_writer.h"
#include "delta/delta_encoder.h"
#include "packer/packer.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/system.h"

namespace {

const uint64_t kSecond = 10000000;  // in FILETIME's 100 ns

// The progress line on stderr: once a build has taken a second, on a
// terminal only, at most ten times a second; cleared before any message.
struct ProgressLine {
    uint64_t started;
    uint64_t shownAt;
    int shown;
};

void ClearProgress(ProgressLine* line) {
    if (line->shown) fprintf(stderr, "\r%50s\r", "");
    line->shown = 0;
}

void ShowProgress(void* context, uint32_t filesDone, uint32_t fileCount, uint64_t bytesDone,
                  uint64_t bytesTotal) {
    ProgressLine* line = static_cast<ProgressLine*>(context);
    uint64_t now = GetSystemFileTime();
    if (now - line->started < kSecond || now - line->shownAt < kSecond / 10) return;
    uint64_t percent = bytesTotal ? bytesDone * 100 / bytesTotal : 100;
    fprintf(stderr, "\rorvanta-pack: %u of %u files, %u%%", filesDone, fileCount,
            static_cast<unsigned>(percent < 100 ? percent : 100));
    fflush(stderr);
    line->shownAt = now;
    line->shown = 1;
}

void PrintWarning(void* context, const char* text) {
    ClearProgress(static_cast<ProgressLine*>(context));
    fprintf(stderr, "Warning: %s\n", text);
}

void PrintError(const char* text) {
    if (text[0]) fprintf(stderr, "Error: %s\n", text);
}

int IsFile(const std::string& path) {
    FileHandle file = OpenForRead(path.c_str());
    if (file) CloseFile(file);
    return file != 0;
}

int WriteAll(FileHandle file, const char* bytes, uint32_t count) {
    uint32_t n = 0;
    for (uint32_t done = 0; done < count; done += n)
        if ((n = WriteBlock(file, bytes + done, count - done)) == 0) return 0;
    return 1;
}

int CopyWholeFile(const std::string& source, const std::string& target) {
    FileHandle in = OpenForRead(source.c_str());
    FileHandle out = in ? CreateForWrite(target.c_str()) : 0;
    uint64_t size = in ? GetFileSize64(in) : 0, copied = 0;
    std::string buffer(1 << 16, '\0');
    uint32_t n = 0;
    while (out && (n = ReadBlock(in, &buffer[0], static_cast<uint32_t>(buffer.size()))) > 0 &&
           WriteAll(out, buffer.data(), n))
        copied += n;
    if (out) CloseFile(out);
    if (in) CloseFile(in);
    return out && n == 0 && copied == size;
}

// Starts Update.exe as a copy of the stub when there is none; created says
// whether it did. 0 when the copy failed (nothing is left of it).
int PlaceStub(const std::string& target, const std::string& stub, int* created) {
    *created = 0;
    if (stub.empty() || IsFile(target)) return 1;
    if (CopyWholeFile(stub, target)) return *created = 1;
    (void)RemoveFile(target.c_str());  // a part copied, if any; the message says what failed
    fprintf(stderr, "orvanta-pack: %s can't be copied to %s\n", stub.c_str(),
            ToNativePath(target).c_str());
    return 0;
}

// 1 when the update program at path names the format among those it
// installs (its "FORMATS" resource, one word each).
int ReadsFormat(const std::string& path, const char* format) {
    const unsigned char* bytes;
    uint32_t size;
    int found = SelectPackageImage(path.c_str()) && FindPackageResource(kFormatsName, &bytes, &size);
    std::string words = found ? " " + std::string(reinterpret_cast<const char*>(bytes), size) + " "
                              : "";
    SelectPackageImage(nullptr);
    for (char& c : words)
        if (c == 0 || c == '\n' || c == '\r') c = ' ';
    return words.find(" " + std::string(format) + " ") != std::string::npos;
}

// The folder as a full path, as the build mode has its own: relative to
// the working directory unless it starts at a root or a drive.
std::string MakeFullPath(const std::string& folder) {
    char here[kMaxBuildPath];
    int rooted = folder[0] == '/' || folder[0] == '\\' || (folder.size() > 1 && folder[1] == ':');
    if (rooted || !GetWorkingDirectory(here, sizeof here)) return folder;
    return folder == "." ? here : std::string(here) + "\\" + folder;
}

// The build of the folder, its messages on the terminal.
int RunBuild(const PackerArguments& arguments, const std::string& folder, int repeats) {
    std::string fullPath = MakeFullPath(folder);
    ProgressLine line = {GetSystemFileTime(), 0, 0};
    BuildRequest request = MakeBuildRequest(fullPath.c_str());
    std::string from = arguments.from.empty() ? "" : MakeFullPath(arguments.from) + "\\";
    request.options = BuildOptions{arguments.codePage, arguments.compress || !from.empty(), repeats,
                                   from.empty() ? nullptr : from.c_str()};
    if (!arguments.quiet && IsErrorTerminal()) {
        request.progress = ShowProgress;
        request.progressContext = &line;
    }
    request.reporter = BuildReporter{PrintWarning, &line};
    BuildReport report;
    int built = BuildPackage(&request, &report);
    ClearProgress(&line);
    if (!built) {
        PrintError(report.failure);
        PrintError(report.detail);
        if (!report.failure[0]) PrintError(report.cause);
        return kPackFailed;
    }
    char text[128];
    DescribeBuiltPackage(report, text, sizeof text);
    printf("Done: %s\n", text);
    if (!from.empty())
        printf("From %s: %u files left out as unchanged, %u sent as deltas (%llu bytes for %llu), "
               "%u sent whole\n", ToNativePath(arguments.from).c_str(), report.unchangedFiles,
               report.deltaFiles, static_cast<unsigned long long>(report.deltaBytes),
               static_cast<unsigned long long>(report.deltaFileBytes),
               report.header.fileCount - report.deltaFiles);
    return kPackOk;
}

}  // namespace

int RunBuildCommand(const PackerArguments& arguments) {
    std::string folder = arguments.operands.empty() ? "." : arguments.operands[0];
    std::string target = folder + "\\Update.exe";
    uint64_t identity[2];
    int created = 0;
    if (!GetFolderIdentity(folder.c_str(), identity)) {
        fprintf(stderr, "orvanta-pack: %s: no such folder\n", folder.c_str());
        return kPackUsage;  // an input that can't be opened
    }
    if (!arguments.from.empty() && !kDeltaEncoderPresent) {
        fprintf(stderr, "orvanta-pack: this orvanta-pack has no delta encoder (its suffix sorter "
                        "exists natively only): build with --from on Linux\n");
        return kPackUsage;
    }
    if (!arguments.from.empty() && !GetFolderIdentity(arguments.from.c_str(), identity)) {
        fprintf(stderr, "orvanta-pack: %s: no such folder\n", arguments.from.c_str());
        return kPackUsage;
    }
    if (!PlaceStub(target, arguments.stub, &created)) return kPackFailed;
    // An update program that can't install compressed records or deltas
    // must never be given any: it would take the package for a damaged one.
    int refused = (arguments.compress || !arguments.from.empty()) && IsFile(target) &&
                  !ReadsFormat(target, kZlibFormat);
    if (refused)
        fprintf(stderr, "Error: %s can't install compressed records (it is older than "
                        "--compress): build without --compress, or start from a newer "
                        "update program.\n", created ? arguments.stub.c_str() : target.c_str());
    if (!refused && !arguments.from.empty() && IsFile(target) && !ReadsFormat(target, kDeltaFormat)) {
        refused = 1;
        fprintf(stderr, "Error: %s can't install deltas (it is older than --from): build "
                        "without --from, or start from a newer update program.\n",
                created ? arguments.stub.c_str() : target.c_str());
    }
    // A repeated file is sent once only to a program that installs it so.
    int repeats = IsFile(target) && ReadsFormat(target, kRepeatedFormat) ? kRepeatsOnce
                                                                         : kRepeatsWholeNoted;
    int status = refused ? kPackFailed : RunBuild(arguments, folder, repeats);
    if (status != kPackOk && created && !RemoveFile(target.c_str()))
        fprintf(stderr, "orvanta-pack: %s was copied for this build and can't be removed\n",
                ToNativePath(target).c_str());
    if (status != kPackOk && !created && !IsFile(target))
        fprintf(stderr, "orvanta-pack: %s has no Update.exe to pack into: give the update "
                        "program to start from with --stub FILE (installed as "
                        "share/orvanta-pack/Update.exe)\n", folder.c_str());
    return status;
}
