// The hooks through which tests and tools take over message boxes and the
// shell; shared by both platforms' implementations.
#pragma once
#include "platform/platform.h"

extern MessageHook g_MessageHook;
extern DocumentHook g_DocumentHook;
