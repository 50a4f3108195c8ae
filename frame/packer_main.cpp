// orvanta-pack: the build mode as a command-line program, for build servers
// without Windows. Run in a build directory, it packs the "Update" folder
// and "title.txt" into "Update.exe" exactly as "Update.exe /BUILD" does, and
// prints the same messages ("Done: ..." on stdout, "Error: ..." on stderr).
#include "frame/modes.h"

int main() { return RunBuildMode(); }
