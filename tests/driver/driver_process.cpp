// Starting, watching and ending the program under test.
#include "driver.h"

#include <string>
#include <vector>

namespace {

const DWORD kPollMs = 10;
const UINT kKilledExitCode = 0xDEAD;

std::vector<char> MakeCommandLine(const char* exePath, const char* commandTail) {
  std::string line = "\"";
  line += exePath;
  line += "\"";
  if (commandTail && commandTail[0]) {
    line += " ";
    line += commandTail;
  }
  return std::vector<char>(line.begin(), line.end());
}

}  // namespace

int StartProgram(const char* exePath, const char* commandTail, const char* workDir,
                 DriverProgram* program) {
  program->process = nullptr;
  program->pid = 0;
  std::vector<char> line = MakeCommandLine(exePath, commandTail);
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(exePath, line.data(), nullptr, nullptr, FALSE, 0, nullptr, workDir,
                      &startup, &info))
    return 0;
  CloseHandle(info.hThread);
  program->process = info.hProcess;
  program->pid = info.dwProcessId;
  return 1;
}

int IsProgramRunning(const DriverProgram* program) {
  if (!program->process) return 0;
  return WaitForSingleObject(program->process, 0) == WAIT_TIMEOUT;
}

static void KillProgram(DriverProgram* program) {
  if (!IsProgramRunning(program)) return;
  TerminateProcess(program->process, kKilledExitCode);
  WaitForSingleObject(program->process, kDriverTimeoutMs);
}

int WaitForExitCode(DriverProgram* program, DWORD timeoutMs, DWORD* exitCode) {
  if (!program->process) return 0;
  if (WaitForSingleObject(program->process, timeoutMs) != WAIT_OBJECT_0) {
    KillProgram(program);
    return 0;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(program->process, &code)) return 0;
  *exitCode = code;
  return 1;
}

void EndProgram(DriverProgram* program) {
  if (!program->process) return;
  KillProgram(program);
  CloseHandle(program->process);
  program->process = nullptr;
}

void ProgramEnder::operator()(DriverProgram* program) const {
  EndProgram(program);
  delete program;
}

ProgramGuard LaunchProgram(const char* exePath, const char* commandTail, const char* workDir) {
  ProgramGuard guard(new DriverProgram{nullptr, 0});
  if (!StartProgram(exePath, commandTail, workDir, guard.get())) guard.reset();
  return guard;
}

int WaitUntil(const std::function<int()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    int result = condition();
    if (result || GetTickCount() - start >= timeoutMs) return result;
    Sleep(kPollMs);
  }
}
