#include "updater/extract_worker.h"
#include <cstdio>
#include <cstring>
#include "frame/primitives.h"
#include "package/package_state.h"
#include "package/resource_store.h"
#include "updater/progress_state.h"
#include "updater/update_checks.h"

ExtractFailure g_ExtractFailure;

int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes) {
    if (totalBytes == 0) return 0;
    // volatile makes the x87 unit round the quotient and the product to
    // double each, as SSE does: 29 of 100 gives 28 on every build.
    volatile double share = static_cast<double>(bytesDone) / static_cast<double>(totalBytes);
    volatile double percent = share * 100.0;
    return static_cast<int32_t>(percent);
}

void DescribeWriteError(uint32_t code, char* text, uint32_t size) {
    const char* words = nullptr;
    switch (code) {
    case 2: case 3: words = "The folder for this file does not exist"; break;
    case 5: words = "Access is denied"; break;
    case 19: words = "The disk is write-protected"; break;
    case 32: case 33: words = "The file is in use by another program"; break;
    case 39: case 112: words = "The disk is full"; break;
    case 206: words = "The path is too long"; break;
    }
    if (words) snprintf(text, size, "%s", words);
    else DescribeSystemError(code, text, size);
}

static int Fail(const char* target, uint32_t errorCode, const char* reason) {
    snprintf(g_ExtractFailure.target, sizeof g_ExtractFailure.target, "%s", target);
    g_ExtractFailure.errorCode = errorCode;
    g_ExtractFailure.reason = reason;
    return 0;
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

static void EndWorker() {
    g_Quit = 1;
    g_Busy = 0;
    WakeWindow(g_UpdaterWindow);
}

// Writes the whole chunk; a short write is continued, and only a write that
// moves nothing fails, so a full disk can't pass for a written file.
static int WriteChunk(FileHandle file, const unsigned char* bytes, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        uint32_t n = WriteBlock(file, bytes + done, count - done);
        if (n == 0) return 0;
        done += n;
    }
    return 1;
}

static int WriteContent(const PayloadView& record) {
    FileHandle file = CreateForWrite(g_InstallDir);
    if (!file) return Fail(g_InstallDir, GetLastSystemError(), nullptr);
    // 64-bit position: the step past the last chunk must not wrap to 0.
    for (uint64_t at = 0; at < record.contentSize; at += kChunkSize) {
        uint32_t left = static_cast<uint32_t>(record.contentSize - at);
        uint32_t chunk = left < kChunkSize ? left : kChunkSize;
        if (!WriteChunk(file, record.content + at, chunk)) {
            uint32_t code = GetLastSystemError();
            CloseFile(file);
            return Fail(g_InstallDir, code, nullptr);
        }
        AddProgress(chunk);
    }
    CloseFile(file);
    return 1;
}

static int ExtractRecord(const char* resourceName, const unsigned char* bytes, uint32_t size) {
    PayloadView record;
    if (!ParsePayloadRecord(bytes, size, &record))
        return Fail(resourceName, 0, "The update package is damaged");
    if (!IsSafeRelativeName(record.name))
        return Fail(record.name, 0, "Its name points outside the game directory");
    if (!PlaceInstallName(record.name)) return Fail(record.name, 206, nullptr);
    SetFileAttributesTo(g_InstallDir, kAttributeArchive);
    return WriteContent(record);
}

int ExtractPayloadFile(uint32_t index) {
    char name[16];
    FormatRecordName(name, index);
    ResourceRef resource = FindPackageResource(name);
    if (!resource) return Fail(name, 0, "The update package is damaged");
    uint32_t size = SizeofPackageResource(resource);
    LoadedResource loaded;
    const unsigned char* bytes = OpenPackageResource(resource, &loaded);
    if (!bytes) return Fail(name, 0, "The update package is damaged");
    int ok = ExtractRecord(name, bytes, size);
    FreePackageResource(loaded);
    return ok;
}

// Asks whether to try the failed file again. 1 for Retry.
static int AskRetry() {
    char reason[200];
    if (g_ExtractFailure.reason)
        snprintf(reason, sizeof reason, "%s", g_ExtractFailure.reason);
    else
        DescribeWriteError(g_ExtractFailure.errorCode, reason, sizeof reason);
    char text[sizeof g_ExtractFailure.target + sizeof reason + 160];
    snprintf(text, sizeof text,
             "Could not write the file\n%s\n\n%s.\n\nClose the game and any program that "
             "uses this file, then press Retry. Cancel stops the update.",
             g_ExtractFailure.target, reason);
    return ShowMessage(g_UpdaterWindow, text, "Error", kBoxRetryCancel) == kAnswerRetry;
}

static int ExtractAllFiles() {
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        uint32_t bytesBefore = g_BytesDone;
        while (!ExtractPayloadFile(i)) {
            if (!AskRetry()) return 0;
            g_BytesDone = bytesBefore;  // a retried file counts once
            SetProgress(ComputeProgress(bytesBefore, g_PackageHeader.totalBytes));
        }
    }
    return 1;
}

static void WriteVersionStamp() {
    if (!PlaceInstallName(kStampFileName)) return;
    SetFileAttributesTo(g_InstallDir, kAttributeArchive);
    FileHandle file = CreateForWrite(g_InstallDir);
    if (!file) return;
    unsigned char stamp[kStampSize];
    EncodeStamp(g_PackageHeader.buildTime, stamp);
    WriteBlock(file, stamp, kStampSize);
    CloseFile(file);
}

static void OpenReadme() {
    if (!g_ReadmeName[0] || !IsSafeRelativeName(g_ReadmeName)) return;
    if (!PlaceInstallName(g_ReadmeName)) return;
    OpenDocument(g_InstallDir);
    SleepMilliseconds(250);
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
    ShowMessage(g_UpdaterWindow, "Orvanta was succesfuly updated.", "Done", kBoxOk);
    OpenReadme();
    EndWorker();
    return 0;
}
