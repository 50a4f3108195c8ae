#include "updater/extract_worker.h"
#include <cstdio>
#include <cstring>
#include "platform/system.h"
#include "updater/package_info.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"

static const char kDamaged[] = "The update package is damaged";

int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes) {
    if (totalBytes == 0) return 0;
    // volatile makes the x87 unit round the quotient and the product to
    // double each, as SSE does: 29 of 100 gives 28 on every build.
    volatile double share = static_cast<double>(bytesDone) / static_cast<double>(totalBytes);
    volatile double percent = share * 100.0;
    // More bytes than the header's total (a damaged header, or a file that
    // grew between scan and pack) must not overflow the conversion.
    if (percent >= 100.0) return 100;
    return static_cast<int32_t>(percent);
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

static int Fail(ExtractFailure* failure, const char* target, const char* reason) {
    snprintf(failure->target, sizeof failure->target, "%s", target);
    snprintf(failure->reason, sizeof failure->reason, "%s", reason);
    return 0;
}

// The reason of the file call that just failed.
static int FailFileCall(ExtractFailure* failure, const char* target) {
    char systemText[sizeof failure->reason];
    FileFailure cause = GetLastFileFailure(systemText, sizeof systemText);
    const char* words = DescribeFileFailure(cause);
    return Fail(failure, target, words ? words : systemText);
}

static void SetProgress(int32_t progress) {
    if (progress == g_Progress) return;
    g_Progress = progress;
    WakeWindow(g_UpdaterWindow);
}

static void AddProgress(uint32_t chunk) {
    g_BytesDone = g_BytesDone + chunk;
    SetProgress(ComputeProgress(g_BytesDone, g_PackageHeader.totalBytes));
}

int WriteWholeChunk(FileHandle file, const unsigned char* bytes, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        uint32_t n = WriteBlock(file, bytes + done, count - done);
        if (n == 0) return 0;
        done += n;
    }
    return 1;
}

int WritePayloadContent(const char* target, const PayloadView& record, ExtractFailure* failure) {
    FileHandle file = CreateForWrite(target);
    if (!file) return FailFileCall(failure, target);
    // 64-bit position: the step past the last chunk must not wrap to 0.
    for (uint64_t at = 0; at < record.contentSize; at += kChunkSize) {
        uint32_t left = static_cast<uint32_t>(record.contentSize - at);
        uint32_t chunk = left < kChunkSize ? left : kChunkSize;
        if (!WriteWholeChunk(file, record.content + at, chunk)) {
            FailFileCall(failure, target);
            CloseFile(file);
            return 0;
        }
        AddProgress(chunk);
    }
    CloseFile(file);
    return 1;
}

int ExtractPayloadFile(uint32_t index, ExtractFailure* failure) {
    char resourceName[kRecordNameSize];
    FormatRecordName(resourceName, index);
    if (index >= g_Records.size() || !g_Records[index].valid)
        return Fail(failure, resourceName, kDamaged);
    const PayloadView& record = g_Records[index].view;
    if (!IsSafeRelativeName(record.name))
        return Fail(failure, record.name, "Its name points outside the game directory");
    char target[kMaxPath];
    if (!MakeInstallPath(record.name, target))
        return Fail(failure, record.name, DescribeFileFailure(kFailurePathTooLong));
    MakeFileWritable(target);
    return WritePayloadContent(target, record, failure);
}

// Asks whether to try the failed file again. 1 for Retry.
static int AskRetry(const ExtractFailure& failure) {
    char text[sizeof failure.target + sizeof failure.reason + 160];
    snprintf(text, sizeof text,
             "Could not write the file\n%s\n\n%s.\n\nClose the game and any program that "
             "uses this file, then press Retry. Cancel stops the update.",
             failure.target, failure.reason);
    return ShowMessage(g_UpdaterWindow, text, "Error", kButtonsRetryCancel) == kAnswerRetry;
}

static int ExtractAllFiles() {
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        uint32_t bytesBefore = g_BytesDone;
        ExtractFailure failure;
        while (!ExtractPayloadFile(i, &failure)) {
            if (!AskRetry(failure)) return 0;
            g_BytesDone = bytesBefore;  // a retried file counts once
            SetProgress(ComputeProgress(bytesBefore, g_PackageHeader.totalBytes));
        }
    }
    return 1;
}

static void WriteVersionStamp() {
    char path[kMaxPath];
    if (!MakeInstallPath(kStampFileName, path)) return;
    MakeFileWritable(path);
    FileHandle file = CreateForWrite(path);
    if (!file) return;
    unsigned char stamp[kStampSize];
    EncodeStamp(g_PackageHeader.buildTime, stamp);
    WriteBlock(file, stamp, kStampSize);
    CloseFile(file);
}

static void OpenReadme() {
    char path[kMaxPath];
    if (!g_ReadmeName[0] || !IsSafeRelativeName(g_ReadmeName)) return;
    if (!MakeInstallPath(g_ReadmeName, path)) return;
    OpenDocument(path);
    SleepMilliseconds(250);
}

static void EndWorker() {
    g_Quit = 1;
    g_Busy = 0;
    WakeWindow(g_UpdaterWindow);
}

uint32_t UpdateWorker(void*) {
    g_Busy = 1;
    g_BytesDone = 0;
    if (!ExtractAllFiles()) {
        // A failed update must not look like success to whoever started us.
        g_UpdateFailed = 1;
        EndWorker();
        return 0;
    }
    WriteVersionStamp();
    ShowMessage(g_UpdaterWindow, "Orvanta was succesfuly updated.", "Done", kButtonsOk);
    OpenReadme();
    EndWorker();
    return 0;
}
