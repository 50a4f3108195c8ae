// Messages of the native build go to the terminal: errors to stderr, the
// rest to stdout. A question has nobody to ask and takes its safe answer.
#include <cstdio>
#include <cstring>
#include "platform/platform.h"
#include "platform/platform_hooks.h"

int ShowMessage(WindowHandle owner, const char* text, const char* title, unsigned type) {
    if (g_MessageHook) return g_MessageHook(owner, text, title, type);
    FILE* out = strcmp(title, "Error") == 0 ? stderr : stdout;
    fprintf(out, "%s: %s\n", title, text);
    if (type == kBoxYesNo) return kAnswerNo;
    if (type == kBoxRetryCancel) return kAnswerCancel;
    return kAnswerOk;
}

void OpenDocument(const char* path) {
    if (g_DocumentHook) g_DocumentHook(path);
}

void WakeWindow(WindowHandle) {}
