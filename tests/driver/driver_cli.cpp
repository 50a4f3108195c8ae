// driver.exe: the test driver for shell scripts. It starts one program, then
// runs the steps given on its command line in order against its windows.
//
//   driver.exe EXE DIR TAIL STEP...
//
// DIR is the program's working directory ("-" for the driver's own) and TAIL
// its command line after the program name ("" for none). Steps:
//   window          wait for a top-level window that isn't a message box
//   box             wait for a message box; print its title, text, buttons, owner
//   press LABEL     press a button of the current window ('&' optional)
//   waitpos ID N    wait until a progress bar has reached N
//   shot FILE.bmp   save a picture of the current window
//   exit            wait for the program to end and print its exit code
// The driver's exit code is the program's after "exit", 0 when the steps ran
// without "exit", and 253 when a step failed (the program is then killed).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver.h"

namespace {

const int kStepFailed = 253;

DriverProgram g_program;
HWND g_current;  // the window that the steps work on
DWORD g_exitCode;
int g_exited;

int PrintBox() {
  MessageBoxView view;
  if (!(g_current = FindMessageBox(g_program)) || !ReadMessageBox(g_current, &view)) return 0;
  std::string buttons;
  for (const std::string& label : view.buttons) buttons += (buttons.empty() ? "" : "|") + label;
  printf("box title=\"%s\" text=\"%s\" buttons=\"%s\" owner=%s\n", view.title.c_str(),
         view.text.c_str(), buttons.c_str(),
         view.owner ? ("\"" + WindowTitle(view.owner) + "\"").c_str() : "none");
  return 1;
}

// Runs the step at argv[*at] and moves *at past its arguments.
int RunStep(int argc, char** argv, int* at) {
  const char* step = argv[(*at)++];
  auto argument = [&]() -> const char* { return *at < argc ? argv[(*at)++] : nullptr; };
  if (!strcmp(step, "box")) return PrintBox();
  if (!strcmp(step, "window")) {
    if (!(g_current = FindMainWindow(g_program))) return 0;
    printf("window title=\"%s\"\n", WindowTitle(g_current).c_str());
    return 1;
  }
  if (!strcmp(step, "exit")) {
    if (!WaitForExitCode(&g_program, kDriverTimeoutMs, &g_exitCode)) return 0;
    printf("exit %lu\n", static_cast<unsigned long>(g_exitCode));
    return g_exited = 1;
  }
  const char* first = argument();
  if (!first || !g_current) return 0;
  if (!strcmp(step, "press")) return PressButton(g_current, first);
  if (!strcmp(step, "shot")) return SaveWindowPicture(g_current, first);
  const char* second = argument();
  if (strcmp(step, "waitpos") || !second) return 0;
  return WaitUntil([&] { return ReadProgressBar(g_current, atoi(first)) >= atoi(second); });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: driver.exe EXE DIR TAIL STEP...\n");
    return 2;
  }
  const char* dir = strcmp(argv[2], "-") ? argv[2] : nullptr;
  if (!StartProgram(argv[1], argv[3], dir, &g_program)) {
    fprintf(stderr, "driver: could not start %s\n", argv[1]);
    return kStepFailed;
  }
  int result = 0;
  for (int at = 4; at < argc && !result;) {
    const char* step = argv[at];
    if (!RunStep(argc, argv, &at)) {
      fprintf(stderr, "driver: step \"%s\" failed\n", step);
      result = kStepFailed;
    }
    fflush(stdout);
  }
  if (!result && g_exited) result = static_cast<int>(g_exitCode);
  EndProgram(&g_program);
  return result;
}
