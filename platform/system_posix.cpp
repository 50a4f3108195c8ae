// Clock, settings and messages of the native build: messages go to the
// terminal (errors to stderr, the rest to stdout); a question has nobody to
// ask and takes its safe answer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include "platform/system.h"
#include "platform/system_hooks.h"

uint64_t GetSystemFileTime() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const uint64_t kEpochDelta = 116444736000000000ull;  // 1601 to 1970
    return kEpochDelta + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

void SleepMilliseconds(uint32_t milliseconds) { usleep(milliseconds * 1000u); }

// Native paths are UTF-8, where no byte of a longer character is ASCII.
int IsAnsiLeadByte(unsigned char) { return 0; }
int IsErrorTerminal() { return isatty(STDERR_FILENO); }

// There is no registry: a value is read from the environment variable of the
// same name ("TAR_DIR"), which is what the native tools and tests set.
int ReadMachineString(const char*, const char* value, char* buffer, uint32_t size) {
    const char* text = getenv(value);
    if (!text || !size || strlen(text) >= size) return 0;
    memcpy(buffer, text, strlen(text) + 1);
    return 1;
}

int ShowMessage(WindowHandle owner, const char* text, const char* title, MessageButtons buttons) {
    if (g_MessageHook) return g_MessageHook(owner, text, title, buttons);
    FILE* out = strcmp(title, "Error") == 0 ? stderr : stdout;
    fprintf(out, "%s: %s\n", title, text);
    if (buttons == kButtonsYesNo) return kAnswerNo;
    if (buttons == kButtonsRetryCancel) return kAnswerCancel;
    return kAnswerOk;
}

void OpenDocument(const char* path) {
    if (g_DocumentHook) g_DocumentHook(path);
}

void ShowControlText(WindowHandle, uint32_t, const char*) {}
void WakeWindow(WindowHandle) {}
