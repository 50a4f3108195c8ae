// The hooks through which tests and tools take over message boxes and the
// shell; shared by both platforms' system files.
#pragma once
#include "platform/system.h"

extern MessageHook g_MessageHook;
extern DocumentHook g_DocumentHook;
