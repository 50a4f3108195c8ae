// Opening an update and adding resources: each resource's bytes go straight
// to the new file; only its record stays in memory.
#include <algorithm>
#include <new>
#include "pe/pe_update.h"
#include "platform/files.h"

// Reads the target's resources into the update's records. A key that a
// malformed tree holds twice is kept once, as the loader would find one.
static int LoadTarget(PeUpdate* update) {
    uint64_t size;
    if (!MeasureFile(update->target, &size)) return 0;
    update->targetSource = MakeFileSource(update->target, size);
    PeResourceList list;
    if (!ReadPeImage(update->targetSource, &update->image) ||
        !ReadPeResourceTree(update->targetSource, update->image, &list))
        return 0;
    for (const PeResource& resource : list) {
        if (IsPackageResource(resource))
            update->named.emplace(resource.name.text, PeRecord{resource, 1});
        else
            update->others.push_back(PeRecord{resource, 1});
    }
    auto before = [](const PeRecord& a, const PeRecord& b) {
        return IsPeResourceBefore(a.resource, b.resource);
    };
    auto same = [](const PeRecord& a, const PeRecord& b) {
        return !IsPeResourceBefore(a.resource, b.resource) &&
               !IsPeResourceBefore(b.resource, a.resource);
    };
    std::stable_sort(update->others.begin(), update->others.end(), before);
    update->others.erase(std::unique(update->others.begin(), update->others.end(), same),
                         update->others.end());
    return 1;
}

// Copies the target up to where the new section begins.
static int StartOutput(PeUpdate* update) {
    update->output = fopen(update->tempPath.c_str(), "w+b");
    if (!update->output) return 0;
    // Many small records would otherwise cost one system call per few KiB;
    // under Wine every call is a round trip to its server.
    setvbuf(update->output, nullptr, _IOFBF, kPeChunk);
    return CopyPeTarget(update, 0, update->dropStart) && PadPeOutput(update, update->sectionStart);
}

PeUpdate* BeginPeUpdate(const char* path) {
    if (!path || !path[0]) return nullptr;
    // The target is replaced, not written, but a file that can't be opened
    // for writing must refuse the update as the platform's updater does.
    FILE* probe = fopen(path, "r+b");
    if (!probe) return nullptr;
    fclose(probe);
    PeUpdate* update = new (std::nothrow) PeUpdate();
    if (!update) return nullptr;
    update->path = path;
    update->tempPath = update->path + kPeTempSuffix;
    update->target = fopen(path, "rb");
    if (!update->target || !LoadTarget(update) || !PlanPeSection(update) ||
        !StartOutput(update)) {
        DropPeUpdate(update);
        return nullptr;
    }
    return update;
}

// Reads exactly count bytes from read, one chunk at a time, to the output.
static int StreamContent(PeUpdate* update, PeReadFunction read, void* context, uint64_t count) {
    if (count && !read) return 0;
    if (count && update->buffer.size() < kPeChunk) update->buffer.resize(kPeChunk);
    while (count) {
        uint32_t want = count < kPeChunk ? static_cast<uint32_t>(count) : kPeChunk;
        uint32_t got = read(context, update->buffer.data(), want);
        if (got == 0 || got > want) return 0;
        if (!WritePeOutput(update, update->buffer.data(), got)) return 0;
        count -= got;
    }
    return 1;
}

// Forgets a failed resource's bytes: the next one is written over them.
static void RewindOutput(PeUpdate* update, uint64_t start, uint64_t checksum) {
    if (update->broken) return;
    if (!SeekFile(update->output, start)) update->broken = 1;
    update->position = start;
    update->checksum = checksum;
}

int AddPeResourceFromStream(PeUpdate* update, const char* name, const void* head,
                            uint32_t headSize, PeReadFunction read, void* context,
                            uint64_t contentSize) {
    std::u16string key;
    if (!update || update->broken || !name || !MakePeName(name, &key)) return 0;
    if ((headSize && !head) || contentSize > UINT32_MAX - headSize) return 0;
    if (!PadPeOutput(update, AlignPeUp(update->position, kPeDataAlignment))) return 0;
    uint64_t start = update->position;
    uint64_t checksum = update->checksum;
    if (!WritePeOutput(update, head, headSize) ||
        !StreamContent(update, read, context, contentSize)) {
        RewindOutput(update, start, checksum);
        return 0;
    }
    PeResource resource = PeResource();
    resource.type.id = kPeTypeRcData;
    resource.name.text = key;
    resource.offset = start;
    resource.size = static_cast<uint32_t>(headSize + contentSize);
    update->named[key] = PeRecord{resource, 0};
    return 1;
}

int AddPeResourceBytes(PeUpdate* update, const char* name, const void* data, uint32_t size) {
    if (!data && size == 0) {
        std::u16string key;
        if (!update || update->broken || !name || !MakePeName(name, &key)) return 0;
        update->named.erase(key);
        return 1;
    }
    return AddPeResourceFromStream(update, name, data, size, nullptr, nullptr, 0);
}

int IsPeUpdateBroken(const PeUpdate* update) { return update->broken; }

int FindPeResourceSize(const PeUpdate* update, const char* name, uint32_t* size) {
    std::u16string key;
    if (!update || !name || !MakePeName(name, &key)) return 0;
    auto found = update->named.find(key);
    if (found == update->named.end()) return 0;
    *size = found->second.resource.size;
    return 1;
}

uint64_t SumPeResourceSizes(const PeUpdate* update) {
    uint64_t sum = 0;
    for (const auto& entry : update->named) sum += entry.second.resource.size;
    return sum;
}
