// What the updater keeps where only administrators and the system can write:
// the marker of an install in progress (with the secret key of its journal),
// the lock that lets one updater at a time work on a game folder, and the
// system's random numbers for the key. On Windows the records are values of
// a key under HKEY_LOCAL_MACHINE (32-bit view) whose access list names
// Administrators and SYSTEM only; natively they are files in the folder the
// environment variable ORVANTA_PROTECTED_DIR names (the tests' own).
#pragma once
#include <cstdint>

// Fills buffer with bytes from the system's generator. 0 on failure.
[[nodiscard]] int GetRandomBytes(void* buffer, uint32_t size);

// Stores size bytes under name (letters and digits), replacing a record of
// that name. 0 on failure.
[[nodiscard]] int WriteProtectedRecord(const char* name, const void* bytes, uint32_t size);
// The record's bytes into buffer; its size, or 0 when there is none, it is
// larger than the buffer, or the store isn't protected as it must be.
[[nodiscard]] uint32_t ReadProtectedRecord(const char* name, void* buffer, uint32_t size);
// 1 when the record is gone (or never was).
[[nodiscard]] int RemoveProtectedRecord(const char* name);
// The store's access list in the system's text form (Windows: SDDL; the
// native store has none and gives ""), for the tests. 0 when unreadable.
[[nodiscard]] int DescribeProtectedStore(char* text, uint32_t size);

// Takes the lock of that name for this process until ReleaseLock; 0 when
// another holder has it (another process, or another take in this one).
typedef uintptr_t LockHandle;
[[nodiscard]] LockHandle TakeLock(const char* name);
void ReleaseLock(LockHandle lock);
