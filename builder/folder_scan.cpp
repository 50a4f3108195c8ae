#include "builder/folder_scan.h"
#include <array>
#include <cstring>
#include "package/package_format.h"
#include "platform/files.h"

namespace {

// One walk: the path buffer it extends in place, where relative names begin,
// and the folders that enclose the one being walked, by identity, so that a
// link back into one of them is noticed instead of walked forever.
struct Walk {
    char path[kMaxBuildPath];
    uint32_t baseLength;
    std::vector<std::array<uint64_t, 2>> enclosing;
    ScanResult* result;
};

// Writes the entry's name at the slot; 0 (and the path remembered) when it
// doesn't fit, or when the code page can't hold it: the update could not
// create such a file, and a folder of that name reads as empty. The whole
// path must fit this system's calls, the part below "Update" a path of the
// updater's.
int PlaceName(Walk* walk, uint32_t slot, const FolderEntry& entry) {
    const char* name = entry.name;
    size_t length = strlen(name);
    if (slot + length + 1 > kNativePathLimit || slot - walk->baseLength + length + 1 > kMaxPath) {
        walk->path[slot] = 0;
        walk->result->tooLongPath = std::string(walk->path) + name;
        return 0;
    }
    memcpy(walk->path + slot, name, length + 1);
    if (entry.nameLost) walk->result->lostNamePath = walk->path;
    return !entry.nameLost;
}

int IsEnclosingFolder(const Walk& walk) {
    uint64_t id[2];
    if (!GetFolderIdentity(walk.path, id)) return 0;
    for (const auto& folder : walk.enclosing)
        if (IsSameFolder(folder.data(), id)) return 1;
    return 0;
}

void AddFile(Walk* walk, const FolderEntry& entry) {
    ScanResult* result = walk->result;
    const char* relative = walk->path + walk->baseLength;
    result->names.emplace_back(relative);
    if (entry.size >> 32 && result->hugeFile.empty()) result->hugeFile = walk->path;
    result->totalBytes += static_cast<uint32_t>(entry.size);
    result->recordBytes += entry.size + strlen(relative) + kRecordOverhead;
}

int WalkFolder(Walk* walk);

// The folder's entries of one kind: its subfolders (walked at once), or
// its files. The buffer holds the folder's pattern at the slot.
int WalkEntries(Walk* walk, uint32_t slot, int folders) {
    FolderEntry entry;
    SearchHandle search = FindFirstEntry(walk->path, &entry);
    if (!search) return 1;
    int ok = 1;
    do {
        if (entry.isFolder != folders || (folders && entry.name[0] == '.')) continue;
        ok = PlaceName(walk, slot, entry);
        if (ok && folders && !IsEnclosingFolder(*walk)) ok = WalkFolder(walk);
        if (ok && !folders) AddFile(walk, entry);
        strcpy(walk->path + slot, "*.*");  // fits: the slot held a longer name or "*.*"
    } while (ok && FindNextEntry(search, &entry));
    CloseSearch(search);
    return ok;
}

int WalkFolder(Walk* walk) {
    uint32_t length = static_cast<uint32_t>(strlen(walk->path));
    uint32_t slot = length + 1;
    if (slot + 4 > kNativePathLimit) {
        walk->result->tooLongPath = walk->path;
        return 0;
    }
    uint64_t id[2];
    int known = GetFolderIdentity(walk->path, id);
    if (known) walk->enclosing.push_back({id[0], id[1]});
    walk->path[length] = '\\';
    strcpy(walk->path + slot, "*.*");
    int ok = WalkEntries(walk, slot, 1) && WalkEntries(walk, slot, 0);
    if (known) walk->enclosing.pop_back();
    walk->path[length] = 0;
    return ok;
}

}  // namespace

int IsSameFolder(const uint64_t a[2], const uint64_t b[2]) {
    // Some network redirectors give every folder the file id 0: such an
    // identity is unknown, or every subfolder would look like an enclosing
    // folder and be skipped.
    return a[1] != 0 && a[0] == b[0] && a[1] == b[1];
}

int ScanUpdateFolder(const char* path, ScanResult* result) {
    *result = ScanResult();
    Walk walk;
    walk.result = result;
    size_t length = strlen(path);
    if (length + 1 > kNativePathLimit) {
        result->tooLongPath = path;
        return 0;
    }
    memcpy(walk.path, path, length + 1);
    walk.baseLength = static_cast<uint32_t>(length + 1);
    return WalkFolder(&walk);
}
