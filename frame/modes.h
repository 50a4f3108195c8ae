// The process entry's choice of mode and the exit codes.
#pragma once

enum ProgramMode { kModeUpdate, kModeBuild, kModeErase };

const int kExitSuccess = 0;
const int kExitFailure = 255;

// Upper-cases a to z in place; every other byte stays (no locale is used).
void UpperCaseAscii(char* text);

// The mode chosen by the last six characters of an upper-cased command
// line, as they stand: nothing is trimmed or unquoted.
ProgramMode SelectMode(const char* commandLine);

// Runs the mode for this command line (upper-cased in place) and gives the
// process's exit code.
int RunProgram(char* commandLine);

// The two command modes, with their closing message. The build mode packs
// the current directory.
int RunBuildMode();
int RunEraseMode();
