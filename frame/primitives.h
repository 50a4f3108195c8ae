// File, memory and string primitives. One convention for the whole program:
// a handle, pointer or count of 0 means failure, and none of these reports
// anything to the user.
#pragma once
#include <cstdint>
#include "platform/platform.h"

// GENERIC_READ plus extraFlags, sharing read and write, OPEN_EXISTING.
FileHandle OpenForRead(const char* path, uint32_t extraFlags);
// An empty file opened for reading and writing: an existing one is
// truncated, a missing one created.
FileHandle CreateForWrite(const char* path);
void CloseFile(FileHandle file);
// One read or write call; the count moved, or 0 (also when nothing moved).
uint32_t ReadBlock(FileHandle file, void* buffer, uint32_t count);
uint32_t WriteBlock(FileHandle file, const void* buffer, uint32_t count);
// The file's size, or all ones on failure.
uint64_t GetFileSize64(FileHandle file);

// A zero-filled block 16 bytes longer than asked for, or 0.
void* AllocZeroed(uint32_t count);
void FreeBlock(void* block);

// Copies source with its terminator; gives the characters copied.
uint32_t CopyString(char* destination, const char* source);
