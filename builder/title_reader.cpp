#include "builder/title_reader.h"
#include <new>
#include "platform/files.h"

TextLines StartTextLines(const unsigned char* data, size_t size, uint32_t limit) {
    return TextLines{data, data + size, limit};
}

int32_t ReadTextLine(TextLines* lines, char* destination) {
    if (lines->cursor >= lines->end) return -1;
    const unsigned char* start = lines->cursor;
    uint32_t count = 0;
    while (lines->cursor < lines->end) {
        unsigned char c = *lines->cursor++;
        if (c == 0 || c == '\r') {
            if (lines->cursor < lines->end && *lines->cursor == '\n') lines->cursor++;
            break;
        }
        count++;
    }
    uint32_t n = count < lines->limit ? count : lines->limit;
    for (uint32_t i = 0; i < n; i++) destination[i] = static_cast<char>(start[i]);
    destination[n] = 0;
    return static_cast<int32_t>(n);
}

int LoadTextFile(const char* path, std::unique_ptr<unsigned char[]>* block, uint32_t* size) {
    block->reset();
    FileHandle file = OpenForRead(path);
    if (!file) return 0;
    uint64_t fileSize = GetFileSize64(file);
    // An unknown size, or one of 4 GiB and more, can't be held in one block.
    if (fileSize != 0 && fileSize < 0xFFFFFFFFull) {
        *size = static_cast<uint32_t>(fileSize);
        block->reset(new (std::nothrow) unsigned char[*size]);
        // A short read counts as a failure.
        if (*block && ReadBlock(file, block->get(), *size) != *size) block->reset();
    }
    CloseFile(file);
    return *block != nullptr;
}
