// The two checks made before an update starts, in the install directory.
#pragma once
#include "install/install_dir.h"

// 1 when "ov.exe" is in the install directory.
int IsGameInstalled();

// 1 when "Update.ver" holds a build time later than this package's. A stamp
// of fewer than 8 bytes counts as none.
int IsNewerStampInstalled();
