// "title.txt", handed out line by line: a line ends at CR (with one LF after
// it taken too) or at a zero byte; a lone LF is an ordinary character.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// A cursor over text in memory; the text must outlive it.
struct TextLines {
    const unsigned char* cursor;
    const unsigned char* end;
    uint32_t limit;  // the most characters one line hands out
};

TextLines StartTextLines(const unsigned char* data, size_t size, uint32_t limit);

// Stores the next line, cut to the limit, in destination (limit + 1 bytes)
// and gives its length; -1 when no line is left (destination untouched).
// A line longer than the limit is cut, but the cursor moves past all of it.
int32_t ReadTextLine(TextLines* lines, char* destination);

// The whole file in a block of its own, and its size. 0 when it can't be
// opened, is empty, is 4 GiB or more, doesn't fit in memory or can't be read
// whole.
[[nodiscard]] int LoadTextFile(const char* path, std::unique_ptr<unsigned char[]>* block, uint32_t* size);
