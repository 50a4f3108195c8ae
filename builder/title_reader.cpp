#include "builder/title_reader.h"
#include "frame/primitives.h"

static struct {
    uint32_t limit;
    const unsigned char* end;
    const unsigned char* cursor;
} reader;

void StartTextLines(const unsigned char* data, size_t size, uint32_t limit) {
    reader.limit = limit;
    reader.cursor = data;
    reader.end = data + size;
}

static int ReadWhole(FileHandle file, unsigned char* block, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        uint32_t n = ReadBlock(file, block + done, size - done);
        if (n == 0) return 0;
        done += n;
    }
    return 1;
}

void* LoadTextFile(const char* path, uint32_t limit) {
    FileHandle file = OpenForRead(path, 0);
    if (!file) return nullptr;
    uint64_t size = GetFileSize64(file);
    // An unknown size or one of 4 GiB and more can't be held in one block.
    if (size == 0 || size > 0xFFFFFFF0ull) {
        CloseFile(file);
        return nullptr;
    }
    unsigned char* block = static_cast<unsigned char*>(AllocZeroed(static_cast<uint32_t>(size)));
    if (block && !ReadWhole(file, block, static_cast<uint32_t>(size))) {
        FreeBlock(block);
        block = nullptr;
    }
    CloseFile(file);
    if (block) StartTextLines(block, static_cast<size_t>(size), limit);
    return block;
}

int32_t ReadTextLine(char* destination) {
    if (reader.cursor >= reader.end) return -1;
    const unsigned char* start = reader.cursor;
    uint32_t count = 0;
    while (reader.cursor < reader.end) {
        unsigned char c = *reader.cursor;
        if (c == 0 || c == '\r') {
            // The byte after a CR at the very end is the block's zero slack.
            reader.cursor++;
            if (*reader.cursor == '\n') reader.cursor++;
            break;
        }
        count++;
        reader.cursor++;
    }
    uint32_t n = count < reader.limit ? count : reader.limit;
    for (uint32_t i = 0; i < n; i++) destination[i] = static_cast<char>(start[i]);
    destination[n] = 0;
    return static_cast<int32_t>(n);
}
