// The package information of this process: filled by a build from the
// folder scan and "title.txt", or by the updater from its own image.
#pragma once
#include "package/package_format.h"

extern PackageHeader g_PackageHeader;
extern char g_Title[kTextLimit + 1];
extern char g_ReadmeName[kTextLimit + 1];
