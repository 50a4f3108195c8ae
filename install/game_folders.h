// The game folder and the folders of an install's files, held open from the
// checks to the last rename (and in recovery and rollback): every file the
// install makes, sets aside, renames or deletes is named relative to one of
// these handles, never by a path resolved again later.
#pragma once
#include <map>
#include <string>
#include "platform/folders.h"
#include "install/install_failure.h"

struct GameFolders {
    std::string directory;  // the install directory as the player gave it, ending in '\'
    std::string rootPath;   // the game folder's final path, links resolved
    FolderHandle root = 0;
    // Each folder below the root that a name needs, by its relative path
    // ('\' between parts, as the name spells it).
    std::map<std::string, FolderHandle> below;
};

// Holds the game folder at directory (links followed once: the player's
// own path). 0 with failure telling why.
[[nodiscard]] int HoldGameFolder(const char* directory, GameFolders* folders, ExtractFailure* failure);

// The held folder of a relative name, and where its last part begins. The
// folders below the root are held one level at a time, each relative to its
// parent; one that is a link is held where it leads while that lies inside
// the game folder. 0 with failure: a folder missing, or leading elsewhere.
[[nodiscard]] int HoldFolderOf(GameFolders* folders, const char* name, FolderHandle* folder,
                 const char** leaf, ExtractFailure* failure);

// Lets every held folder go.
void ReleaseGameFolders(GameFolders* folders);

// 1 when path is root or lies inside it (both resolved, as the system
// spells them).
int IsInsideFolder(const char* path, const char* root);
