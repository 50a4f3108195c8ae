// Reads a small text file whole and hands it out line by line. A line ends
// at CR (with one LF after it taken too) or at a zero byte; a lone LF is an
// ordinary character. One file at a time.
#pragma once
#include <cstddef>
#include <cstdint>

// The block holding the file (free it with FreeBlock), or 0 when the file
// can't be opened, is empty or can't be read whole.
void* LoadTextFile(const char* path, uint32_t limit);

// Stores the next line, cut to the limit, in destination (limit + 1 bytes)
// and gives its length; -1 when no line is left.
int32_t ReadTextLine(char* destination);

// The same reader over bytes already in memory. At least one zero byte must
// follow data[size - 1], as it does after every AllocZeroed block.
void StartTextLines(const unsigned char* data, size_t size, uint32_t limit);
