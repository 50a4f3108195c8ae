// Helpers shared by the unit tests: temporary folders and files, a target
// executable the writer can update, packages to read, and recorded messages.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>
#include "platform/system.h"

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const fs::path& path() const { return path_; }
    // A path inside the folder in the program's own spelling ('\' apart).
    std::string native(const std::string& relative = "") const;
private:
    fs::path path_;
};

// Makes the current directory dir for the lifetime of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& dir);
    ~WorkingDirectory();
private:
    fs::path previous_;
};

// Lead bytes of code page 932 (Shift JIS), and of a single-byte code page.
inline int Cp932LeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || b >= 0xE0; }
inline int NoLeadByte(unsigned char) { return 0; }

// Makes every write of this process beyond bytes fail; 0 lifts the limit.
// 0 when the system can't (Windows).
int LimitFileSize(uint64_t bytes);
// 1 where a folder held open can still be renamed (POSIX); 0 where holding
// it forbids that (Windows).
int FoldersMoveWhileHeld();

void WriteFile(const fs::path& path, const std::string& content);
std::string ReadFile(const fs::path& path);  // "<missing>" when absent
// Every file under root by its relative path ('/' between parts), with its
// content; a folder as "name/" with no content.
std::map<std::string, std::string> ReadTree(const fs::path& root);

// An executable the writer can update: a copy of the real program on
// Windows, a small PE32 with a resource of its own natively.
void MakeTargetExecutable(const fs::path& path);

// A package resource of the image; "<absent>" when it has none.
std::string ReadResource(const fs::path& image, const char* name);

// Writes these resources into a fresh target at path and reads the package
// from it from now on (until SelectPackageImage(nullptr)).
struct TestResource {
    std::string name;
    std::string bytes;
};
void UsePackage(const fs::path& path, const std::vector<TestResource>& resources);
std::string MakeRecord(const std::string& name, const std::string& content);
// content's zlib stream, and a compressed record of a stream stating fileSize.
std::string Deflate(const std::string& content);
std::string MakeCompressedRecord(const std::string& name, const std::string& stream,
                                 uint32_t fileSize);
// A record of a file that repeats the one of record earlier.
std::string MakeRepeatedRecord(const std::string& name, uint32_t earlier);
// A delta that copies the first copy bytes of its base unchanged, then
// inserts inserted; and a delta record of it for a base that makes made
// (their sizes and hashes as given: wrong ones make a record that lies).
std::string MakeDelta(uint64_t copy, const std::string& inserted);
std::string MakeDeltaRecord(const std::string& name, const std::string& base,
                            const std::string& made, const std::string& delta);
// An "UNCHANGED" resource naming these files with their contents' sizes and hashes.
std::string MakeUnchangedList(const std::map<std::string, std::string>& files);
// The record resource FILEnnn for index, holding name and content.
TestResource FileRecord(int index, const std::string& name, const std::string& content);
std::string MakeHeader(uint32_t count, uint32_t total, uint64_t buildTime);

// Records messages instead of showing them, answering each with the next
// queued answer, or OK; stops when the object goes.
struct ShownMessage {
    std::string text;
    std::string title;
    MessageButtons buttons;
    WindowHandle owner;
};
class MessageRecorder {
public:
    explicit MessageRecorder(std::vector<int> answers = {});
    ~MessageRecorder();
    std::vector<ShownMessage> shown;
private:
    std::vector<int> answers_;
    static int Record(WindowHandle owner, const char* text, const char* title,
                      MessageButtons buttons);
};
