#include "platform/system_hooks.h"

MessageHook g_MessageHook = nullptr;
DocumentHook g_DocumentHook = nullptr;

void SetMessageHook(MessageHook hook) { g_MessageHook = hook; }
void SetDocumentHook(DocumentHook hook) { g_DocumentHook = hook; }
