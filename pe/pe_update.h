// The state of one resource update, and the output helpers (pe_output.cpp)
// that pe_update.cpp (begin, add) and pe_commit.cpp (end) share. Internal.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "pe/pe_image.h"

// A resource the commit will write: its data is either still in the target
// or already in the output.
struct PeRecord {
    PeResource resource;
    int inTarget;
};

struct PeUpdate {
    std::string path;
    std::string tempPath;
    FILE* target;
    PeSource targetSource;        // reads the target at any offset
    FILE* output;
    PeImage image;
    // Only package resources can be replaced; those are kept by name for a
    // quick lookup, everything else in a list.
    std::map<std::u16string, PeRecord> named;
    std::vector<PeRecord> others;
    // The target's header bytes, with room for one more section header;
    // patched and written over the output's copy at commit.
    std::vector<unsigned char> headers;
    uint32_t sectionIndex;        // where the new section's header goes
    int appendsSection;           // 0: it replaces the target's last section
    uint64_t sectionStart;        // file offset of the new section
    uint32_t sectionRva;
    uint64_t tailStart;           // the target's bytes from here on follow the section,
    uint64_t tailEnd;             // up to here (a signature at the end is left out)
    uint64_t dropStart;           // the target's bytes [dropStart, tailStart) are left out
    uint64_t position;            // where the next output byte goes
    uint64_t highWater;           // the output's length
    int broken;                   // a write failed: only a discard remains
    uint64_t checksum;            // of the bytes past the headers, when one is kept
    std::vector<unsigned char> buffer;  // one chunk for copies
};

const uint32_t kPeChunk = 1u << 20;
const uint32_t kPeDataAlignment = 8;

// Sequential writes at update->position; a failure marks the update broken.
int WritePeOutput(PeUpdate* update, const void* data, uint32_t count);
int PadPeOutput(PeUpdate* update, uint64_t end);
// Streams count bytes of the target at offset to the output.
int CopyPeTarget(PeUpdate* update, uint64_t offset, uint64_t count);

// Closes both files, deletes the new file, frees the update.
void DropPeUpdate(PeUpdate* update);

// A source that reads an open file at offsets.
PeSource MakeFileSource(FILE* file, uint64_t size);

// Chooses where the new resource section goes (pe_section_plan.cpp): in place of
// the target's last section when that one is a resource section and nothing
// else, or else after all sections. Fills the update's layout fields and
// reads the header bytes. 0 when the image can't take the section.
int PlanPeSection(PeUpdate* update);
