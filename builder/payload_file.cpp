// One file of the build folder as one record: stored as it is, or
// compressed where that makes it smaller, streamed from the file.
#include <cstdio>
#include <cstring>
#include <string>
#include "builder/build_run.h"
#include "builder/record_compressor.h"
#include "package/package_format.h"
#include "pe/pe_resources.h"

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
    } else if (!ok && !stored && file && !IsPeUpdateBroken(update)) {
        ExplainFile(run->report, path, "changed while it was packed", "its content differs");
    }
    if (file) CloseFile(file);
    return ok;
}

