#include "updater/progress_state.h"

std::atomic<uint32_t> g_Busy{0};
std::atomic<uint32_t> g_Quit{0};
std::atomic<uint32_t> g_BytesDone{0};
std::atomic<int32_t> g_Progress{0};
std::atomic<uint32_t> g_UpdateFailed{0};

char g_InstallDir[kMaxPath];
uint32_t g_InstallDirLength = 0;
WindowHandle g_UpdaterWindow = 0;
