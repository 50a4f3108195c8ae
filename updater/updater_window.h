// The update mode's window and loop.
#pragma once
#include <cstdint>

// The module instance, kept by the process entry for the window's loads.
extern uintptr_t g_Instance;

// Reads the install directory and the package, creates and shows the
// window. 0 on failure (the user has been told, except when the window
// itself can't be created).
int StartUpdater();

// Pumps messages and carries progress to the bar until the quit flag is set.
void RunMessageLoop();
