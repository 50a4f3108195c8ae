// The texts of --help; README.md and orvanta-pack.1 say the same.
#include "packer/packer.h"

namespace {

const char kProgramHelp[] =
    "Usage: orvanta-pack [build] [DIR] [--stub FILE] [--compress] [--from OLD] [--quiet]\n"
    "                    [--code-page N]\n"
    "       orvanta-pack list UPDATE.EXE [--json] [--code-page N]\n"
    "       orvanta-pack extract UPDATE.EXE DIR [--from OLD] [--code-page N]\n"
    "       orvanta-pack verify UPDATE.EXE BUILD-DIR [--from OLD] [--code-page N]\n"
    "\n"
    "Builds Orvanta patches and looks inside them.\n"
    "\n"
    "Commands:\n"
    "  build    pack DIR/Update and DIR/title.txt into DIR/Update.exe, as\n"
    "           \"Update.exe /BUILD\" does (the command when none is named)\n"
    "  list     print a package's header, title, readme name and files\n"
    "  extract  write a package's files into DIR, as the updater would\n"
    "  verify   compare a package with BUILD-DIR/Update, byte for byte\n"
    "\n"
    "Options:\n"
    "  --code-page N  the Windows code page of the file names in the package\n"
    "                 (default 1252, Windows-1252)\n"
    "  -h, --help     this help; COMMAND --help gives a command's own\n"
    "  --version      the program's name and version\n"
    "\n"
    "Exit status: 0 success; 1 a check found differences or damage; 2 wrong\n"
    "usage, or an input that can't be opened; 255 the build failed.\n";

const char kBuildHelp[] =
    "Usage: orvanta-pack [build] [DIR] [--stub FILE] [--compress] [--from OLD] [--quiet]\n"
    "                    [--code-page N]\n"
    "\n"
    "Packs every file of DIR/Update (DIR: the current folder when not given),\n"
    "with the title and readme name of the first two lines of DIR/title.txt,\n"
    "into DIR/Update.exe, with the rules and messages of \"Update.exe /BUILD\":\n"
    "\"Done: ...\" on stdout, \"Error: ...\" on stderr.\n"
    "\n"
    "  --stub FILE    when DIR has no Update.exe, start it as a copy of FILE,\n"
    "                 the update program (share/orvanta-pack/Update.exe)\n"
    "  --compress     store each file compressed (zlib) when that makes it\n"
    "                 smaller; the update program must be one that installs\n"
    "                 compressed records, or the build is refused; a file\n"
    "                 that repeats another's bytes is sent once\n"
    "  --from OLD     a patch for players who have the release in OLD (laid\n"
    "                 out as DIR/Update): a file the same there is left out\n"
    "                 (the updater checks it), a changed one sent as a delta\n"
    "                 where that is smaller; implies --compress (natively only)\n"
    "  -q, --quiet    no progress line (on a terminal, builds that take more\n"
    "                 than a second show one on stderr)\n"
    "  --code-page N  store the names in Windows code page N (default 1252);\n"
    "                 a name that code page can't hold fails the build\n"
    "\n"
    "Exit status: 0 built; 255 the build failed and Update.exe is as it was.\n";

const char kListHelp[] =
    "Usage: orvanta-pack list UPDATE.EXE [--json] [--code-page N]\n"
    "\n"
    "Prints the package's header (file count, total bytes, build date in UTC),\n"
    "its title and readme name, then one line per file: index, size and name\n"
    "as the updater creates it on Windows. A damaged record, a count beyond\n"
    "the records, a total that doesn't match and a name the updater refuses\n"
    "are flagged on their line with \"!\".\n"
    "\n"
    "  --json         the same as one JSON document\n"
    "  --code-page N  read the names in Windows code page N (default 1252)\n"
    "\n"
    "Exit status: 0 a sound package; 1 something flagged, or no package;\n"
    "2 UPDATE.EXE can't be opened.\n";

const char kExtractHelp[] =
    "Usage: orvanta-pack extract UPDATE.EXE DIR [--from OLD] [--code-page N]\n"
    "\n"
    "Writes the package's files into DIR as the updater writes them into a\n"
    "game's folder, with the same name rules: DIR and the folders that the\n"
    "names need inside it are made, and nothing is written outside it.\n"
    "A record the updater would refuse is not written. No Update.ver is left.\n"
    "\n"
    "  --from OLD     the release a patch made with --from was made from: its\n"
    "                 deltas are applied to OLD's files (needed for such a patch)\n"
    "  --code-page N  read the names in Windows code page N (default 1252)\n"
    "\n"
    "Exit status: 0 every file written; 1 a record was damaged or refused;\n"
    "2 UPDATE.EXE can't be opened or DIR can't be made.\n";

const char kVerifyHelp[] =
    "Usage: orvanta-pack verify UPDATE.EXE BUILD-DIR [--from OLD] [--code-page N]\n"
    "\n"
    "Compares the package with the files of BUILD-DIR/Update, byte for byte,\n"
    "walking the folder in build order and matching each file with the record\n"
    "of its name. Prints \"missing: NAME\" for a file the package lacks,\n"
    "\"extra: NAME\" for a record without its file, \"different: NAME\" for\n"
    "other bytes, and \"damaged: ...\" for what list flags.\n"
    "\n"
    "  --from OLD     the release a patch made with --from was made from: its\n"
    "                 deltas are applied to OLD's files and compared, and the\n"
    "                 files it leaves out checked by their hashes (needed for\n"
    "                 such a patch: without it, exit 2)\n"
    "  --code-page N  the names' Windows code page (default 1252)\n"
    "\n"
    "Exit status: 0 the same; 1 differences or damage; 2 UPDATE.EXE or\n"
    "BUILD-DIR/Update can't be read.\n";

}  // namespace

const char* FindHelpText(const std::string& command) {
    if (command.empty()) return kProgramHelp;
    if (command == "build") return kBuildHelp;
    if (command == "list") return kListHelp;
    if (command == "extract") return kExtractHelp;
    if (command == "verify") return kVerifyHelp;
    return nullptr;
}
