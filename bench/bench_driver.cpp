// bench_driver.exe: the benchmark's driver. Starts one program, works its
// windows like driver.exe does, and prints when each step was reached, in
// milliseconds since just before the program was started, so that the
// benchmark can time the program from inside Wine without counting the
// driver's own start-up.
//
//   bench_driver.exe [--poll MS] EXE DIR TAIL STEP...
//
// DIR is the program's working directory ("-" for the driver's own), TAIL its
// command line after the program name ("" for none). Steps:
//   window        wait for a visible top-level window that isn't a message box
//   box           wait for a message box; prints its title and text
//   press LABEL   press a button of the current window
//   close         send the close box to the current window
//   sleep MS      wait
//   wait          read a line from standard input: the caller samples the
//                 program (its memory, its CPU time) meanwhile
//   exit          wait for the program to end; prints its exit code
// Each step prints one line "STEP t=MS ..." and flushes it. The driver's exit
// code is 0 when every step ran, 253 when one failed (the program is then
// killed).
#include "driver.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int kStepFailed = 253;
const DWORD kWaitMs = 600000;  // large packages take long on a busy machine

struct Session {
  DriverProgram program;
  HWND current;
  DWORD pollMs;
  LARGE_INTEGER start;
  LARGE_INTEGER frequency;
};

double ElapsedMs(const Session* s) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart - s->start.QuadPart) /
         static_cast<double>(s->frequency.QuadPart);
}

// Polls for a top-level window of the program, a message box or not. A short
// poll keeps the step's time close to the moment the window appeared.
HWND PollWindow(Session* s, int wantBox) {
  DWORD begin = GetTickCount();
  while (GetTickCount() - begin < kWaitMs) {
    for (HWND window : ListTopWindows(s->program.pid))
      if (IsMessageBox(window) == wantBox) return window;
    if (!IsProgramRunning(&s->program)) return nullptr;
    Sleep(s->pollMs);
  }
  return nullptr;
}

int StepWindow(Session* s, int wantBox) {
  s->current = PollWindow(s, wantBox);
  if (!s->current) return 0;
  double t = ElapsedMs(s);
  if (wantBox) {
    // Found this early, a box may not have its text yet.
    std::string text = MessageText(s->current);
    for (int i = 0; i < 40 && text.empty(); ++i) {
      Sleep(5);
      text = MessageText(s->current);
    }
    printf("box t=%.1f title=\"%s\" text=\"%s\"\n", t, WindowTitle(s->current).c_str(),
           text.c_str());
  }
  else
    printf("window t=%.1f title=\"%s\"\n", t, WindowTitle(s->current).c_str());
  return 1;
}

int StepExit(Session* s) {
  DWORD code = 0;
  if (!WaitForExitCode(&s->program, kWaitMs, &code)) return 0;
  printf("exit t=%.1f code=%lu\n", ElapsedMs(s), static_cast<unsigned long>(code));
  return 1;
}

int StepWaitForCaller(Session* s) {
  printf("wait t=%.1f\n", ElapsedMs(s));
  fflush(stdout);
  char line[64];
  if (!fgets(line, sizeof line, stdin)) return 0;
  printf("resume t=%.1f\n", ElapsedMs(s));
  return 1;
}

// Runs the step at argv[*i], moving *i past its arguments; 0 on failure.
int RunStep(Session* s, int argc, char** argv, int* i) {
  const char* step = argv[(*i)++];
  const char* argument = *i < argc ? argv[*i] : nullptr;
  if (!strcmp(step, "window")) return StepWindow(s, 0);
  if (!strcmp(step, "box")) return StepWindow(s, 1);
  if (!strcmp(step, "exit")) return StepExit(s);
  if (!strcmp(step, "wait")) return StepWaitForCaller(s);
  if (!strcmp(step, "close")) {
    if (!s->current || !SendCloseBox(s->current)) return 0;
    printf("close t=%.1f\n", ElapsedMs(s));
    return 1;
  }
  if (!argument) return 0;
  ++*i;
  if (!strcmp(step, "press")) {
    if (!s->current || !PressButton(s->current, argument)) return 0;
    printf("press t=%.1f label=\"%s\"\n", ElapsedMs(s), argument);
    return 1;
  }
  if (!strcmp(step, "sleep")) {
    Sleep(static_cast<DWORD>(atoi(argument)));
    printf("slept t=%.1f\n", ElapsedMs(s));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Session s = {};
  s.pollMs = 5;
  int i = 1;
  if (i + 1 < argc && !strcmp(argv[i], "--poll")) {
    s.pollMs = static_cast<DWORD>(atoi(argv[i + 1]));
    i += 2;
  }
  if (argc - i < 3) {
    fprintf(stderr, "usage: bench_driver.exe [--poll MS] EXE DIR TAIL STEP...\n");
    return 2;
  }
  const char* exe = argv[i];
  const char* dir = strcmp(argv[i + 1], "-") ? argv[i + 1] : nullptr;
  const char* tail = argv[i + 2];
  i += 3;
  QueryPerformanceFrequency(&s.frequency);
  QueryPerformanceCounter(&s.start);
  if (!StartProgram(exe, tail, dir, &s.program)) {
    printf("FAILED start %s (error %lu)\n", exe, static_cast<unsigned long>(GetLastError()));
    return kStepFailed;
  }
  printf("started t=%.1f pid=%lu\n", ElapsedMs(&s), static_cast<unsigned long>(s.program.pid));
  fflush(stdout);
  while (i < argc) {
    const char* step = argv[i];
    if (!RunStep(&s, argc, argv, &i)) {
      printf("FAILED step %s t=%.1f\n", step, ElapsedMs(&s));
      fflush(stdout);
      EndProgram(&s.program);
      return kStepFailed;
    }
    fflush(stdout);
  }
  EndProgram(&s.program);
  return 0;
}
