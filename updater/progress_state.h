// The state the window thread and the worker share. The progress words
// are each one aligned 32-bit word, shared without locks; atomics keep the
// compiler from caching them. The rest is set by the window thread before
// the worker starts and left alone while it runs.
#pragma once
#include <atomic>
#include <cstdint>
#include "platform/files.h"
#include "platform/system.h"

extern std::atomic<uint32_t> g_Busy;          // the worker is running
extern std::atomic<uint32_t> g_Quit;          // the window loop ends
extern std::atomic<uint32_t> g_BytesDone;     // content bytes written so far
extern std::atomic<int32_t> g_Progress;       // 0 to 100, shown by the bar
extern std::atomic<uint32_t> g_UpdateFailed;  // the run ended on a failed file

extern WindowHandle g_UpdaterWindow;

// The status text while the files go in.
const char* const kUpdatingText = "Updating, please wait....";

// Percentage of bytes done, truncated as the bar shows it, at most 100; 0
// for a total of 0 (an empty package).
int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes);

// Shows progress on the bar, waking the window when it changed.
void SetProgress(int32_t progress);

// The install's progress sink (install_session.h): bytesDone of the
// package's content written so far, on the bar. The context is unused.
void ShowInstalledBytes(void* context, uint32_t bytesDone);
// The install's stage in the window's status text (nullptr: writing).
void ShowInstallStage(void* context, const char* text);
