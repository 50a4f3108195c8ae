// The new file as it is written: sequential writes with a running checksum,
// copies from the target, and the cleanup of a dropped update.
#include "pe/pe_update.h"
#include "platform/files.h"

static int ReadFileAt(const void* context, uint64_t offset, void* buffer, uint32_t count) {
    FILE* file = static_cast<FILE*>(const_cast<void*>(context));
    return SeekFile(file, offset) && fread(buffer, 1, count, file) == count;
}

PeSource MakeFileSource(FILE* file, uint64_t size) { return PeSource{size, ReadFileAt, file}; }

int WritePeOutput(PeUpdate* update, const void* data, uint32_t count) {
    if (update->broken) return 0;
    if (count && fwrite(data, 1, count, update->output) != count) {
        update->broken = 1;
        return 0;
    }
    // The header bytes join the checksum once they are final, at commit.
    uint64_t skip = update->headers.size() > update->position
                        ? update->headers.size() - update->position : 0;
    if (update->image.checkSum && skip < count) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        update->checksum = AddPeChecksumBytes(update->checksum, update->position + skip,
                                              bytes + skip, count - skip);
    }
    update->position += count;
    if (update->position > update->highWater) update->highWater = update->position;
    return 1;
}

int PadPeOutput(PeUpdate* update, uint64_t end) {
    static const unsigned char kZeros[4096] = {};
    while (update->position < end) {
        uint64_t left = end - update->position;
        uint32_t count = left < sizeof kZeros ? static_cast<uint32_t>(left) : sizeof kZeros;
        if (!WritePeOutput(update, kZeros, count)) return 0;
    }
    return !update->broken;
}

int CopyPeTarget(PeUpdate* update, uint64_t offset, uint64_t count) {
    if (update->buffer.size() < kPeChunk) update->buffer.resize(kPeChunk);
    if (count && !SeekFile(update->target, offset)) return 0;
    while (count) {
        uint32_t n = count < kPeChunk ? static_cast<uint32_t>(count) : kPeChunk;
        if (fread(update->buffer.data(), 1, n, update->target) != n) return 0;
        if (!WritePeOutput(update, update->buffer.data(), n)) return 0;
        count -= n;
    }
    return 1;
}

void DropPeUpdate(PeUpdate* update) {
    if (update->output) {
        fclose(update->output);
        remove(update->tempPath.c_str());
    }
    if (update->target) fclose(update->target);
    delete update;
}
