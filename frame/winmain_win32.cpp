// The process entry of the Windows program.
#include <windows.h>
#include "frame/modes.h"
#include "updater/updater_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_Instance = reinterpret_cast<uintptr_t>(instance);
    return RunProgram(commandLine);
}
