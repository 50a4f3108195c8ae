// Clock, registry, message boxes, the shell and the updater window's wake-up:
// the rest of the thin platform layer (system_win32.cpp, system_posix.cpp).
#pragma once
#include <cstdint>

typedef uintptr_t WindowHandle;  // 0 is "no window"

// The system clock (UTC) as a count of 100 ns since 1601-01-01.
uint64_t GetSystemFileTime();

void SleepMilliseconds(uint32_t milliseconds);

// 1 when byte begins a double-byte character in the system's ANSI code page.
int IsAnsiLeadByte(unsigned char byte);
// 1 when standard error is a terminal (a console on Windows).
int IsErrorTerminal();

// A string value under the machine's settings (HKEY_LOCAL_MACHINE), always
// terminated inside the buffer. 0 when it is missing, unreadable or longer
// than the buffer.
[[nodiscard]] int ReadMachineString(const char* key, const char* value, char* buffer, uint32_t size);

enum MessageButtons { kButtonsOk, kButtonsYesNo, kButtonsRetryCancel };
enum MessageAnswer { kAnswerOk = 1, kAnswerCancel, kAnswerRetry, kAnswerYes, kAnswerNo };

// A message box, owned by the window (0: no owner); the button pressed.
int ShowMessage(WindowHandle owner, const char* text, const char* title, MessageButtons buttons);

// Opens a document with its associated program (maximised); result ignored.
void OpenDocument(const char* path);

// Sets the text of the window's control (its dialog id). Nothing happens
// without a window.
void ShowControlText(WindowHandle window, uint32_t control, const char* text);

// Wakes the loop of the thread that owns the window, so that the loop may
// wait between passes instead of spinning. Nothing happens without a window.
void WakeWindow(WindowHandle window);

// Tests and tools may take over message boxes and the shell; nullptr gives
// them back to the platform.
typedef int (*MessageHook)(WindowHandle owner, const char* text, const char* title,
                           MessageButtons buttons);
typedef void (*DocumentHook)(const char* path);
void SetMessageHook(MessageHook hook);
void SetDocumentHook(DocumentHook hook);
