// orvanta-pack: builds patches and looks inside them, on a Linux build
// server or on Windows. One subcommand a file: build_command.cpp,
// list_command.cpp, extract_command.cpp, verify_command.cpp; the command
// line in command_line.cpp, its texts in help_texts.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "package/package_info.h"

// Exit codes.
const int kPackOk = 0;
const int kPackDifferent = 1;  // a check found differences or damage
const int kPackUsage = 2;      // wrong usage, or an input that can't be read
const int kPackFailed = 255;   // a failed build, as the build mode's

const uint32_t kDefaultNameCodePage = 1252;

struct PackerArguments {
    std::string command;                // "build", "list", "extract" or "verify"
    std::vector<std::string> operands;  // what follows the command, options apart
    std::string stub;                   // build: the update program to start from
    uint32_t codePage = kDefaultNameCodePage;
    int quiet = 0;
    int json = 0;
    int compress = 0;                   // build: compressed records where smaller
    std::string from;                   // the release the patch is made from (its files)
};

// The whole program: argv as main gets it; gives the exit code.
int RunPacker(int argc, char** argv);

int RunBuildCommand(const PackerArguments& arguments);
int RunListCommand(const PackerArguments& arguments);
int RunExtractCommand(const PackerArguments& arguments);
int RunVerifyCommand(const PackerArguments& arguments);

// The help of a command ("" for the program's), or nullptr for none.
const char* FindHelpText(const std::string& command);

// ---- A package as the tools show it (package_listing.cpp) --------------

// One record up to the header's count, read by the updater's own loader.
struct ListedRecord {
    uint32_t index;
    const PackageRecord* record;  // nullptr: missing (the first one only)
    std::string name;             // UTF-8, with '\' between parts, as Windows creates it
    std::string problem;          // why the updater would fail on it; empty when none
};

struct PackageListing {
    PackageRecords package;  // the records as the updater loads them
    std::string title;   // UTF-8; empty when none
    std::string readme;  // UTF-8; looked up only when there is a title
    uint32_t recordTotal = 0;    // the records' file sizes, modulo 2^32
    uint64_t fileBytes = 0;      // the same in full, of the valid records
    uint64_t storedBytes = 0;    // their content as stored, compressed or not
    std::string totalProblem;    // set when the header's total disagrees
    std::vector<ListedRecord> records;
    int problems = 0;            // how many problems in all
};

// Selects the executable at path and reads its package into listing, names
// decoded from the code page. kPackOk, or another exit code after a message
// on stderr: kPackUsage when the file can't be opened, kPackDifferent when
// it holds no package.
int ReadPackageListing(const char* path, uint32_t codePage, PackageListing* listing);
// 1 when the package needs no release's files, or from names them; else
// says on stderr that it needs --from OLD (0).
int CheckReleaseGiven(const std::string& package, const std::string& from,
                      const PackageListing& listing);
// Lets the package's image go; the records of its listings point into it.
void ClosePackage();

// Text from the code page as UTF-8. 0 when it isn't valid there; out then
// holds each byte as the character of that number, so it can still be shown.
int DecodeToUtf8(const std::string& text, uint32_t codePage, std::string* out);

// UTF-8 text as this platform spells it (names of files, the terminal);
// characters it can't hold are written as JSON escapes.
std::string ToPlatformText(const std::string& utf8);

// A path in the program's spelling ('\' apart) as this platform spells it,
// for messages: one kind of separator.
std::string ToNativePath(const std::string& path);

// ---- Text forms (text_forms.cpp) ---------------------------------------

// Stored bytes as a share of the files' bytes: "41.7%" (a package of no
// bytes is "100.0%").
std::string FormatRatio(uint64_t storedBytes, uint64_t fileBytes);

// A FILETIME as "YYYY-MM-DD hh:mm:ss UTC" (out holds 40 bytes).
void FormatBuildTime(uint64_t fileTime, char* out, uint32_t size);

// Appends UTF-8 text as a JSON string, quotes included, in ASCII: control
// characters and all beyond ASCII as \u escapes (pairs above U+FFFF),
// bytes that aren't UTF-8 as U+FFFD.
void AppendJsonString(std::string* out, const std::string& utf8);
