// Helpers shared by the unit tests: temporary folders, files, and a target
// executable that the package store can write into on this platform.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

void WriteFile(const fs::path& path, const std::string& content);
std::string ReadFile(const fs::path& path);
std::vector<unsigned char> Bytes(const std::string& text);

// An executable the store can update: a copy of the real program on
// Windows, a plain file natively.
void MakeTargetExecutable(const fs::path& path);

// Reads a resource of a package image; empty with found false when absent.
std::string ReadPackageResource(const fs::path& image, const char* name, bool* found = nullptr);

// Records messages instead of showing them; answers with the next queued
// answer, or OK.
struct ShownMessage {
    std::string text;
    std::string title;
    unsigned type;
    uintptr_t owner;
};
void RecordMessages(std::vector<ShownMessage>* into, std::vector<int> answers = {});
void StopRecordingMessages();

// Writes these resources into a fresh target at path and reads the package
// from it from now on (until SelectPackageImage(nullptr)).
struct TestResource {
    std::string name;
    std::string bytes;
};
void UsePackage(const fs::path& path, const std::vector<TestResource>& resources);
std::string MakeRecord(const std::string& name, const std::string& content);
std::string MakeHeader(uint32_t count, uint32_t total, uint64_t buildTime);
