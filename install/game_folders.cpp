#include "install/game_folders.h"
#include <cstring>
#include "base/path_text.h"
#include "platform/system.h"

// A double-byte character's second byte 0x5C is no separator.
static int EndsInSeparator(const char* text, size_t length) {
    unsigned char last = GetLastSingleByte(text, length, IsAnsiLeadByte);
    return last == '\\' || last == '/';
}

int IsInsideFolder(const char* path, const char* root) {
    size_t n = strlen(root);
    while (n > 0 && EndsInSeparator(root, n)) n--;
    if (strncmp(path, root, n) != 0) return 0;
    return path[n] == 0 || path[n] == '\\' || path[n] == '/';
}

int HoldGameFolder(const char* directory, GameFolders* folders, ExtractFailure* failure) {
    ReleaseGameFolders(folders);
    folders->directory = directory;
    if (!EndsInSeparator(directory, strlen(directory))) folders->directory += '\\';
    folders->root = HoldFolder(directory);
    char resolved[2 * kMaxPath];
    if (!folders->root || !GetHeldFolderPath(folders->root, resolved, sizeof resolved)) {
        ReleaseGameFolders(folders);
        return FailFolder(failure, directory);
    }
    folders->rootPath = resolved;
    return 1;
}

// Holds part, the last part of the folder key, inside the held parent. Its
// final path is checked whether or not it was opened through a link: Wine
// follows a Unix link to a folder even when asked not to.
static FolderHandle HoldPart(const GameFolders& folders, FolderHandle parent,
                             const std::string& key, const std::string& part, const char* name,
                             ExtractFailure* failure) {
    int viaLink = 0;
    FolderHandle held = HoldSubfolder(parent, part.c_str(), &viaLink);
    if (!held) return FailFolder(failure, (folders.directory + key).c_str());
    char resolved[2 * kMaxPath];
    if (!GetHeldFolderPath(held, resolved, sizeof resolved) ||
        !IsInsideFolder(resolved, folders.rootPath.c_str())) {
        ReleaseFolder(held);
        return FailFile(failure, (folders.directory + name).c_str(),
                        "Its folder points outside the game directory");
    }
    return held;
}

int HoldFolderOf(GameFolders* folders, const char* name, FolderHandle* folder,
                 const char** leaf, ExtractFailure* failure) {
    FolderHandle parent = folders->root;
    std::string key;
    const char* part = name;
    for (const char* p = name; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (IsAnsiLeadByte(c) && p[1]) {
            p++;
            continue;
        }
        if (c != '\\' && c != '/') continue;
        if (!key.empty()) key += '\\';
        key.append(part, p);
        FolderHandle& held = folders->below[key];
        if (!held) held = HoldPart(*folders, parent, key, std::string(part, p), name, failure);
        if (!held) {
            folders->below.erase(key);
            return 0;
        }
        parent = held;
        part = p + 1;
    }
    *folder = parent;
    *leaf = part;
    return 1;
}

void ReleaseGameFolders(GameFolders* folders) {
    for (auto& held : folders->below) ReleaseFolder(held.second);
    folders->below.clear();
    ReleaseFolder(folders->root);
    folders->root = 0;
}
