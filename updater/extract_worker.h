// The worker thread of the update: it installs the package all or nothing,
// then says so and opens the readme.
#pragma once
#include <cstdint>

// The thread routine; the parameter is the install session (install_session.h)
// that the window prepared for it.
uint32_t UpdateWorker(void* parameter);
