#include "builder/folder_scan.h"
#include "package/package_format.h"
#include <cstdio>
#include <cstring>

ScanState g_Scan;

// The folders that enclose the one being scanned, by identity, so that a
// link back into one of them is noticed instead of walked forever.
static std::vector<std::pair<uint64_t, uint64_t>> enclosingFolders;

static int StartsWithDot(const char* name) { return name[0] == '.'; }

// Writes name at the slot; 0 (and the path remembered) when it doesn't fit.
static int PlaceName(char* path, uint32_t slot, const char* name) {
    size_t length = strlen(name);
    if (slot + length + 1 > kMaxPath) {
        path[slot] = 0;
        snprintf(g_Scan.failedPath, sizeof g_Scan.failedPath, "%s%s", path, name);
        return 0;
    }
    memcpy(path + slot, name, length + 1);
    return 1;
}

static int IsEnclosingFolder(const char* path) {
    uint64_t id[2];
    if (!GetFolderIdentity(path, id)) return 0;
    for (const auto& folder : enclosingFolders)
        if (folder.first == id[0] && folder.second == id[1]) return 1;
    return 0;
}

static int ScanSubfolders(char* path, uint32_t slot) {
    FolderEntry entry;
    SearchHandle search = FindFirstEntry(path, &entry);
    if (!search) return 1;
    int ok = 1;
    do {
        if (!(entry.attributes & kAttributeDirectory) || StartsWithDot(entry.name)) continue;
        ok = PlaceName(path, slot, entry.name);
        if (ok && !IsEnclosingFolder(path)) ok = ScanUpdateFolder(path);
        strcpy(path + slot, "*.*");  // fits: the slot held a longer name or "*.*"
    } while (ok && FindNextEntry(search, &entry));
    CloseSearch(search);
    return ok;
}

static int ListFiles(char* path, uint32_t slot) {
    FolderEntry entry;
    SearchHandle search = FindFirstEntry(path, &entry);
    if (!search) return 1;
    int ok = 1;
    do {
        if (entry.attributes & kAttributeDirectory) continue;
        ok = PlaceName(path, slot, entry.name);
        if (!ok) break;
        g_Scan.names.emplace_back(path + g_Scan.baseLength);
        if (entry.sizeHigh && !g_Scan.hugeFile[0])
            snprintf(g_Scan.hugeFile, sizeof g_Scan.hugeFile, "%s", path);
        g_Scan.fileCount++;
        g_Scan.totalBytes += entry.sizeLow;
        g_Scan.recordBytes += (static_cast<uint64_t>(entry.sizeHigh) << 32 | entry.sizeLow) +
                              strlen(path + g_Scan.baseLength) + kRecordOverhead;
    } while (FindNextEntry(search, &entry));
    CloseSearch(search);
    return ok;
}

int ScanUpdateFolder(char* path) {
    uint32_t length = static_cast<uint32_t>(strlen(path));
    uint32_t slot = length + 1;
    if (slot + 4 > kMaxPath) {
        snprintf(g_Scan.failedPath, sizeof g_Scan.failedPath, "%s", path);
        return 0;
    }
    uint64_t id[2];
    int known = GetFolderIdentity(path, id);
    if (known) enclosingFolders.emplace_back(id[0], id[1]);
    path[length] = '\\';
    strcpy(path + slot, "*.*");
    int ok = ScanSubfolders(path, slot);
    if (ok) {
        strcpy(path + slot, "*.*");
        ok = ListFiles(path, slot);
    }
    if (known) enclosingFolders.pop_back();
    return ok;
}
