#include "install/install_failure.h"
#include <cstdio>
#include <string>

static int Fill(ExtractFailure* failure, FailureKind kind, const char* target,
                const char* reason) {
    failure->kind = kind;
    failure->files[0] = 0;
    snprintf(failure->target, sizeof failure->target, "%s", target);
    snprintf(failure->reason, sizeof failure->reason, "%s", reason);
    return 0;
}

int FailFile(ExtractFailure* failure, const char* target, const char* reason) {
    return Fill(failure, kFileFailed, target, reason);
}

int FailPackage(ExtractFailure* failure, const char* record, const char* reason) {
    return Fill(failure, kPackageFault, record, reason);
}

int FailFolder(ExtractFailure* failure, const char* folder) {
    return Fill(failure, kFolderMissing, folder, "");
}

int FailRoom(ExtractFailure* failure, uint64_t needed, uint64_t free) {
    const uint64_t kMiB = 1 << 20;
    char reason[100];
    snprintf(reason, sizeof reason, "%llu MB are needed, %llu MB are free",
             static_cast<unsigned long long>((needed + kMiB - 1) / kMiB),
             static_cast<unsigned long long>(free / kMiB));
    return Fill(failure, kNoRoom, "", reason);
}

int FailOtherRelease(ExtractFailure* failure, const std::vector<std::string>& names) {
    const size_t kNamed = 10;
    std::string files;
    for (size_t i = 0; i < names.size() && i < kNamed; i++) files += names[i] + "\n";
    if (names.size() > kNamed) files += "and " + std::to_string(names.size() - kNamed) + " more\n";
    Fill(failure, kOtherRelease, "", "");
    snprintf(failure->files, sizeof failure->files, "%s", files.c_str());
    return 0;
}

int FailFileCall(ExtractFailure* failure, const char* target) {
    char systemText[sizeof failure->reason];
    FileFailure cause = GetLastFileFailure(systemText, sizeof systemText);
    const char* words = DescribeFileFailure(cause);
    return FailFile(failure, target, words ? words : systemText);
}

const char* DescribeFileFailure(FileFailure failure) {
    switch (failure) {
    case kFailureNoFolder: return "The folder for this file does not exist";
    case kFailureDenied: return "Access is denied";
    case kFailureWriteProtected: return "The disk is write-protected";
    case kFailureInUse: return "The file is in use by another program";
    case kFailureDiskFull: return "The disk is full";
    case kFailurePathTooLong: return "The path is too long";
    case kFailureOther: break;
    }
    return nullptr;
}

void FormatFailure(const ExtractFailure& failure, char* text, uint32_t size) {
    if (failure.kind == kOtherRelease)
        // Nothing a retry mends either: the player must repair the game.
        snprintf(text, size,
                 "This update was made for another version of Orvanta: these files of the game "
                 "are not the ones it was made for:\n\n%s\nRepair or reinstall the game, then "
                 "run this update again. Nothing was changed.",
                 failure.files);
    else if (failure.kind == kPackageFault)
        // Nothing the user does here mends the package: no Retry.
        snprintf(text, size,
                 "This update can't be installed: its file\n%s\n\n%s.\n\nNothing was "
                 "changed.",
                 failure.target, failure.reason);
    else if (failure.kind == kFolderMissing)
        snprintf(text, size,
                 "The folder\n%s\ndoes not exist, and this update has files to put in it.\n\n"
                 "Check that the game is installed completely, then press Retry. Cancel stops "
                 "the update.",
                 failure.target);
    else if (failure.kind == kNoRoom)
        snprintf(text, size,
                 "There is not enough room on the disk for this update: %s.\n\nMake room on "
                 "the disk, then press Retry. Cancel stops the update.",
                 failure.reason);
    else
        snprintf(text, size,
                 "Could not write the file\n%s\n\n%s.\n\nClose the game and any program that "
                 "uses this file, then press Retry. Cancel stops the update.",
                 failure.target, failure.reason);
}
