#include "builder/package_writer.h"
#include <cstdio>
#include <cstring>
#include "builder/folder_scan.h"
#include "builder/title_reader.h"
#include "frame/primitives.h"
#include "package/package_state.h"

// The "Update" folder with its trailing '\': relative names are appended.
static char updateFolder[kMaxPath];

static void ShowError(const char* text) { ShowMessage(0, text, "Error", kBoxOk); }

static void ShowPathError(const char* what, const char* path) {
    char text[kMaxPath + 200];
    snprintf(text, sizeof text, "%s\n\n%s", what, path);
    ShowError(text);
}

static void ShowHugeFileError(const char* path) {
    ShowPathError("This file is too large to be packed (a package holds files of less than "
                  "4 GiB each):", path);
}

// A record holds its size in 32 bits: the file and its name must fit.
static int FitsRecord(uint64_t fileSize, uint32_t nameLength, const char* path) {
    if (fileSize != ~0ull && fileSize + nameLength + kRecordOverhead <= 0xFFFFFFFFull) return 1;
    if (fileSize != ~0ull) ShowHugeFileError(path);
    return 0;
}

int AddPayloadFile(UpdateHandle update, const char* relativeName, uint32_t index) {
    char resourceName[16];
    FormatRecordName(resourceName, index);
    char path[kMaxPath];
    if (snprintf(path, sizeof path, "%s%s", updateFolder, relativeName) >= (int)sizeof path)
        return 0;
    FileHandle file = OpenForRead(path, 0);
    if (!file) return 0;
    uint64_t fileSize = GetFileSize64(file);
    uint32_t nameLength = static_cast<uint32_t>(strlen(relativeName));
    int ok = FitsRecord(fileSize, nameLength, path);
    if (ok) {
        // The content streams from the file into the package: exactly its
        // size at this moment, or the build fails (a file that shrank).
        unsigned char head[kMaxPath + kRecordOverhead];
        uint32_t headSize = EncodeRecordHead(relativeName, nameLength, head);
        ok = UpdatePackageResourceFromFile(update, resourceName, head, headSize, file,
                                           static_cast<uint32_t>(fileSize));
    }
    CloseFile(file);
    return ok;
}

// Sets the path to the build directory with its trailing '\' and gives its
// length; 0 when it can't be read or leaves no room for our names.
static uint32_t ReadBuildDirectory(char* path) {
    uint32_t length = GetWorkingDirectory(path, kMaxPath);
    if (length == 0) return 0;
    if (path[length - 1] != '\\' && path[length - 1] != '/') path[length++] = '\\';
    path[length] = 0;
    const uint32_t kLongestName = 10;  // "Update.exe"
    return length + kLongestName < kMaxPath ? length : 0;
}

static void ReadTitleFile(char* path, uint32_t directoryLength) {
    strcpy(path + directoryLength, "title.txt");
    void* block = LoadTextFile(path, kTextLimit);
    if (!block) {
        g_Title[0] = 0;
        g_ReadmeName[0] = 0;
        return;
    }
    // -1 (no line left) leaves the string as it was.
    if (ReadTextLine(g_Title) == 0) g_Title[0] = 0;
    if (ReadTextLine(g_ReadmeName) == 0) g_ReadmeName[0] = 0;
    FreeBlock(block);
}

// The update executable maps its whole image into a 32-bit address space;
// past this size Windows can't start it at all, so such a build would
// succeed and ship a patch that never runs.
const uint64_t kMaxPackageBytes = 1792ull << 20;

static int FitsAddressSpace(uint64_t recordBytes) {
    if (recordBytes <= kMaxPackageBytes) return 1;
    char text[300];
    snprintf(text, sizeof text,
             "The package would be too large to run: %llu MiB of files, but an update "
             "executable can carry at most %llu MiB.",
             static_cast<unsigned long long>(recordBytes >> 20),
             static_cast<unsigned long long>(kMaxPackageBytes >> 20));
    ShowError(text);
    return 0;
}

static int ScanPackageFiles(char* path, uint32_t directoryLength) {
    strcpy(path + directoryLength, "Update");
    snprintf(updateFolder, sizeof updateFolder, "%s\\", path);
    g_Scan.baseLength = directoryLength + 7;
    g_Scan.names.clear();
    g_Scan.fileCount = 0;
    g_Scan.totalBytes = 0;
    g_Scan.recordBytes = 0;
    g_Scan.failedPath[0] = 0;
    g_Scan.hugeFile[0] = 0;
    int ok = ScanUpdateFolder(path);
    g_PackageHeader.fileCount = g_Scan.fileCount;
    g_PackageHeader.totalBytes = g_Scan.totalBytes;
    if (!ok) {
        ShowPathError("This path is too long to be packed (a path holds at most 259 characters):",
                      g_Scan.failedPath);
        return 0;
    }
    if (g_Scan.fileCount == 0) {
        ShowError("0 files found!");
        return 0;
    }
    if (g_Scan.hugeFile[0]) {
        ShowHugeFileError(g_Scan.hugeFile);
        return 0;
    }
    return FitsAddressSpace(g_Scan.recordBytes);
}

static int WritePackage(UpdateHandle update) {
    for (uint32_t i = 0; i < g_Scan.names.size(); i++) {
        if (!AddPayloadFile(update, g_Scan.names[i].c_str(), i)) return 0;
        std::string().swap(g_Scan.names[i]);  // its record is staged
    }
    g_PackageHeader.buildTime = GetSystemFileTime();
    unsigned char header[kHeaderSize];
    EncodeHeader(g_PackageHeader, header);
    UpdatePackageResource(update, kHeaderName, header, kHeaderSize);
    if (g_Title[0]) UpdatePackageResource(update, kTitleName, g_Title, strlen(g_Title));
    if (g_ReadmeName[0])
        UpdatePackageResource(update, kReadmeName, g_ReadmeName, strlen(g_ReadmeName));
    return 1;
}

int BuildPackage() {
    char path[kMaxPath];
    uint32_t directoryLength = ReadBuildDirectory(path);
    if (!directoryLength) {
        ShowError("The build directory's path is too long (a path holds at most 259 characters).");
        return 0;
    }
    int ok = ScanPackageFiles(path, directoryLength);
    if (ok) {
        ReadTitleFile(path, directoryLength);
        strcpy(path + directoryLength, "Update.exe");
        UpdateHandle update = BeginPackageUpdate(path);
        if (!update) {
            ShowError("Can''t find / open(for writing) executable!");
            ShowError(path);
            ok = 0;
        } else if (!WritePackage(update)) {
            EndPackageUpdate(update, 1);
            ok = 0;
        } else {
            ok = EndPackageUpdate(update, 0);
        }
    }
    g_Scan.names.clear();
    g_Scan.names.shrink_to_fit();
    return ok;
}
