#include "updater/progress_state.h"
#include "resources/resource_ids.h"
#include "package/package_info.h"

std::atomic<uint32_t> g_Busy{0};
std::atomic<uint32_t> g_Quit{0};
std::atomic<uint32_t> g_BytesDone{0};
std::atomic<int32_t> g_Progress{0};
std::atomic<uint32_t> g_UpdateFailed{0};

WindowHandle g_UpdaterWindow = 0;

int32_t ComputeProgress(uint32_t bytesDone, uint32_t totalBytes) {
    if (totalBytes == 0) return 0;
    // volatile makes the x87 unit round the quotient and the product to
    // double each, as SSE does: 29 of 100 gives 28 on every build.
    volatile double share = static_cast<double>(bytesDone) / static_cast<double>(totalBytes);
    volatile double percent = share * 100.0;
    // More bytes than the header's total (a damaged header, or a file that
    // grew between scan and pack) must not overflow the conversion.
    if (percent >= 100.0) return 100;
    return static_cast<int32_t>(percent);
}

void SetProgress(int32_t progress) {
    if (progress == g_Progress) return;
    g_Progress = progress;
    WakeWindow(g_UpdaterWindow);
}

void ShowInstallStage(void*, const char* text) {
    ShowControlText(g_UpdaterWindow, IDC_STATUS_TEXT, text ? text : kUpdatingText);
}

void ShowInstalledBytes(void*, uint32_t bytesDone) {
    g_BytesDone = bytesDone;
    SetProgress(ComputeProgress(bytesDone, g_PackageHeader.totalBytes));
}
