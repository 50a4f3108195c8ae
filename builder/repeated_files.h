// Files of a build whose bytes equal an earlier file's: found before the
// records are written, so that each such file is sent once and its other
// names as records that point to the first.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// For each file (folder + name), the index of the first file with the same
// bytes, its own index when no earlier one has them. Only files of more
// than a few bytes are matched (a pointer to one saves nothing). Each
// file of a size that another shares is read once for a checksum, and a
// match is then confirmed byte for byte. A file that can't be read repeats
// nothing (its own failure comes when it is packed).
void FindRepeatedFiles(const std::string& folder, const std::vector<std::string>& names,
                       std::vector<uint32_t>* first);
