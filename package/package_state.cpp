#include "package/package_state.h"

PackageHeader g_PackageHeader;
char g_Title[kTextLimit + 1];
char g_ReadmeName[kTextLimit + 1];
