// The process entry of the Windows program.
#include <windows.h>
#include "frame/modes.h"

HINSTANCE g_Instance = nullptr;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_Instance = instance;
    return RunProgram(commandLine);
}
