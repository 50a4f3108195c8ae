// The checks an install makes before it writes anything: every record can
// be written where it belongs, inside the game directory, now, and the disk
// has room for the new files while the old ones still exist. They hold the
// game folder and the folder of every file for the rest of the install.
#pragma once
#include <string>
#include <vector>
#include "install/install_session.h"

// Where one file of the install goes, worked out once: its held folder and
// its names there.
struct InstallTarget {
    FolderHandle folder;
    std::string name;   // the target's own name in its folder
    std::string fresh;  // the new file beside it
    std::string old;    // the original, set aside
    int absent;         // the folder's listing showed nothing at the name
    int done;           // a delta's target is already the file it makes
};

// The target of the name leaf in the held folder, its side names beside it.
InstallTarget PlaceTarget(FolderHandle folder, const char* leaf);

// 1 when the install may start: targets then holds one entry per record
// and the stamp's last. 0 with the first thing that stops it.
[[nodiscard]] int CheckInstall(InstallSession* session, std::vector<InstallTarget>* targets,
                 ExtractFailure* failure);

// 1 when record number index can be written where it belongs: it is whole,
// its name stays inside the game directory and isn't one of ours, and the
// path of its new file fits.
[[nodiscard]] int CheckRecord(const InstallSession* session, uint32_t index, ExtractFailure* failure);
