// driver.exe: the test driver for shell scripts. It starts one program, then
// runs the steps given on its command line in order against its windows.
//
//   driver.exe [--timeout MS] EXE DIR TAIL STEP...
//
// DIR is the program's working directory ("-" for the driver's own) and TAIL
// its command line after the program name ("" for none). Steps:
//   box             wait for a message box; print its title, text, buttons, owner
//   window          wait for a top-level window that isn't a message box
//   title TEXT      wait for a top-level window with this title
//   press LABEL     press a button of the current window ('&' optional)
//   close           send the close box to the current window
//   gone            wait until the current window has gone
//   settext ID TEXT set the text of a control of the current window
//   gettext ID      print the text of a control
//   state ID        print whether a control is enabled and visible
//   progress ID     print a progress bar's position and range
//   waitpos ID N    wait until a progress bar has reached N
//   shot FILE.bmp   save a picture of the current window
//   exit            wait for the program to end and print its exit code
// The driver's exit code is the program's after "exit", 0 when the steps ran
// without "exit", and 253 when a step failed (the program is then killed).
#include "driver.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int kStepFailed = 253;

struct Session {
  DriverProgram program;
  HWND current;
  DWORD timeoutMs;
  DWORD exitCode;
  int exited;
};

void PrintBox(HWND box) {
  MessageBoxView view;
  ReadMessageBox(box, &view);
  printf("box title=\"%s\" text=\"%s\" buttons=\"", view.title.c_str(), view.text.c_str());
  for (size_t i = 0; i < view.buttons.size(); ++i)
    printf("%s%s", i ? "|" : "", view.buttons[i].c_str());
  if (view.owner)
    printf("\" owner=\"%s\"\n", view.ownerTitle.c_str());
  else
    printf("\" owner=none\n");
}

int StepFindWindow(Session* s, const char* step, const char* title) {
  if (!strcmp(step, "box"))
    s->current = FindMessageBox(s->program.pid, s->timeoutMs);
  else if (title)
    s->current = FindWindowByTitle(s->program.pid, title, s->timeoutMs);
  else
    s->current = FindMainWindow(s->program.pid, s->timeoutMs);
  if (!s->current) return 0;
  if (!strcmp(step, "box"))
    PrintBox(s->current);
  else
    printf("window title=\"%s\"\n", WindowTitle(s->current).c_str());
  return 1;
}

int StepControl(Session* s, const char* step, int id, const char* value) {
  int enabled = 0, visible = 0, pos = 0, low = 0, high = 0;
  if (!strcmp(step, "settext")) return SetControlText(s->current, id, value);
  if (!strcmp(step, "gettext")) {
    if (!GetDlgItem(s->current, id)) return 0;
    printf("text %d=\"%s\"\n", id, ControlText(s->current, id).c_str());
    return 1;
  }
  if (!strcmp(step, "state")) {
    if (!ReadControlState(s->current, id, &enabled, &visible)) return 0;
    printf("state %d enabled=%d visible=%d\n", id, enabled, visible);
    return 1;
  }
  if (!strcmp(step, "waitpos")) {
    int wanted = atoi(value);
    return WaitUntil(
        [&]() -> int {
          return ReadProgressBar(s->current, id, &pos, &low, &high) && pos >= wanted;
        },
        s->timeoutMs);
  }
  if (!ReadProgressBar(s->current, id, &pos, &low, &high)) return 0;
  printf("progress %d pos=%d range=%d..%d\n", id, pos, low, high);
  return 1;
}

int StepExit(Session* s) {
  if (!WaitForExitCode(&s->program, s->timeoutMs, &s->exitCode)) return 0;
  s->exited = 1;
  printf("exit %lu\n", static_cast<unsigned long>(s->exitCode));
  return 1;
}

// Runs the step at argv[*at] and moves *at past its arguments.
int RunStep(Session* s, int argc, char** argv, int* at) {
  const char* step = argv[(*at)++];
  auto argument = [&]() -> const char* { return *at < argc ? argv[(*at)++] : nullptr; };
  if (!strcmp(step, "box") || !strcmp(step, "window")) return StepFindWindow(s, step, nullptr);
  if (!strcmp(step, "exit")) return StepExit(s);
  if (!strcmp(step, "close")) return s->current && SendCloseBox(s->current);
  if (!strcmp(step, "gone")) return s->current && WaitForWindowGone(s->current, s->timeoutMs);
  const char* first = argument();
  if (!first) return 0;
  if (!strcmp(step, "title")) return StepFindWindow(s, step, first);
  if (!s->current) return 0;
  if (!strcmp(step, "press")) return PressButton(s->current, first);
  if (!strcmp(step, "shot")) return SaveWindowPicture(s->current, first);
  if (!strcmp(step, "settext") || !strcmp(step, "waitpos")) {
    const char* second = argument();
    return second && StepControl(s, step, atoi(first), second);
  }
  if (!strcmp(step, "gettext") || !strcmp(step, "state") || !strcmp(step, "progress"))
    return StepControl(s, step, atoi(first), nullptr);
  return 0;
}

int Usage() {
  fprintf(stderr, "usage: driver.exe [--timeout MS] EXE DIR TAIL STEP...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Session s = {};
  s.timeoutMs = kDriverTimeoutMs;
  int at = 1;
  if (at + 1 < argc && !strcmp(argv[at], "--timeout")) {
    s.timeoutMs = static_cast<DWORD>(strtoul(argv[at + 1], nullptr, 10));
    at += 2;
  }
  if (argc - at < 3) return Usage();
  const char* dir = strcmp(argv[at + 1], "-") ? argv[at + 1] : nullptr;
  if (!StartProgram(argv[at], argv[at + 2], dir, &s.program)) {
    fprintf(stderr, "driver: could not start %s\n", argv[at]);
    return kStepFailed;
  }
  at += 3;
  int result = 0;
  while (at < argc) {
    const char* step = argv[at];
    if (!RunStep(&s, argc, argv, &at)) {
      fprintf(stderr, "driver: step \"%s\" failed\n", step);
      result = kStepFailed;
      break;
    }
    fflush(stdout);
  }
  if (!result && s.exited) result = static_cast<int>(s.exitCode);
  EndProgram(&s.program);
  return result;
}
