// The package store of the native build. A store file is any file with a
// table of named resources appended to it:
//
//   [the file's own bytes][entries][u64 offset of entries]["PKGSTOR1"]
//   entry: u32 name length, name, u32 size, data
//
// A file without the trailer has no resources. A commit writes a new file
// beside the target and renames it over, so an update is all or nothing.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>
#include "package/resource_store.h"
#include "platform/posix/posix_paths.h"

namespace {

const char kMagic[8] = {'P', 'K', 'G', 'S', 'T', 'O', 'R', '1'};

struct Store {
    std::string path;
    std::string prefix;  // the file's own bytes
    std::map<std::string, std::vector<unsigned char>> resources;
};

int ReadWholeFile(const std::string& path, std::string* content) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    char buffer[65536];
    size_t n;
    content->clear();
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) content->append(buffer, n);
    int ok = !ferror(f);
    fclose(f);
    return ok;
}

uint64_t LoadLe(const std::string& s, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; i--) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

void AppendLe(std::string* s, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; i++) s->push_back(static_cast<char>(v >> (8 * i)));
}

// Splits a store file into its own bytes and its table; a file without a
// well-formed table is all prefix.
void ParseStore(const std::string& content, Store* store) {
    store->prefix = content;
    store->resources.clear();
    if (content.size() < 16 || memcmp(content.data() + content.size() - 8, kMagic, 8) != 0)
        return;
    uint64_t at = LoadLe(content, content.size() - 16, 8);
    uint64_t end = content.size() - 16;
    std::map<std::string, std::vector<unsigned char>> table;
    if (at > end) return;
    while (at < end) {
        if (end - at < 4) return;
        uint64_t nameLength = LoadLe(content, at, 4);
        if (end - at - 4 < nameLength + 4) return;
        std::string name = content.substr(at + 4, nameLength);
        uint64_t size = LoadLe(content, at + 4 + nameLength, 4);
        at += 8 + nameLength;
        if (end - at < size) return;
        table[name].assign(content.begin() + at, content.begin() + at + size);
        at += size;
    }
    store->prefix = content.substr(0, LoadLe(content, content.size() - 16, 8));
    store->resources.swap(table);
}

std::string SerializeStore(const Store& store) {
    std::string out = store.prefix;
    for (const auto& r : store.resources) {
        AppendLe(&out, r.first.size(), 4);
        out += r.first;
        AppendLe(&out, r.second.size(), 4);
        out.append(r.second.begin(), r.second.end());
    }
    AppendLe(&out, store.prefix.size(), 8);
    out.append(kMagic, 8);
    return out;
}

Store* selected = nullptr;

}  // namespace

int SelectPackageImage(const char* path) {
    delete selected;
    selected = nullptr;
    if (!path) return 1;
    std::string content;
    if (!ReadWholeFile(PosixPath(path).c_str(), &content)) return 0;
    selected = new Store;
    ParseStore(content, selected);
    return 1;
}

ResourceRef FindPackageResource(const char* name) {
    if (!selected) return 0;
    auto it = selected->resources.find(name);
    return it == selected->resources.end() ? 0 : reinterpret_cast<ResourceRef>(&it->second);
}

uint32_t SizeofPackageResource(ResourceRef resource) {
    if (!resource) return 0;
    return static_cast<uint32_t>(reinterpret_cast<std::vector<unsigned char>*>(resource)->size());
}

LoadedResource LoadPackageResource(ResourceRef resource) { return resource; }

const unsigned char* LockPackageResource(LoadedResource loaded) {
    if (!loaded) return nullptr;
    auto* data = reinterpret_cast<std::vector<unsigned char>*>(loaded);
    // An empty resource still locks to a valid pointer, as on Windows.
    static const unsigned char kEmpty[1] = {0};
    return data->empty() ? kEmpty : data->data();
}

void FreePackageResource(LoadedResource) {}

UpdateHandle BeginPackageUpdate(const char* path) {
    Store* store = new Store;
    store->path = PosixPath(path).c_str();
    std::string content;
    if (access(store->path.c_str(), W_OK) != 0 || !ReadWholeFile(store->path, &content)) {
        RememberErrno();
        delete store;
        return 0;
    }
    ParseStore(content, store);
    return reinterpret_cast<UpdateHandle>(store);
}

int UpdatePackageResource(UpdateHandle update, const char* name, const void* data,
                          uint32_t size) {
    if (!update || !name) return 0;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    reinterpret_cast<Store*>(update)->resources[name].assign(bytes, bytes + size);
    return 1;
}

static int CommitStore(const Store& store) {
    std::string temp = store.path + ".new";
    std::string out = SerializeStore(store);
    FILE* f = fopen(temp.c_str(), "wb");
    if (!f) return 0;
    int ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (fclose(f) == 0) && ok;
    if (ok && rename(temp.c_str(), store.path.c_str()) == 0) return 1;
    unlink(temp.c_str());
    return 0;
}

int EndPackageUpdate(UpdateHandle update, int discard) {
    Store* store = reinterpret_cast<Store*>(update);
    if (!store) return 0;
    int ok = discard ? 1 : CommitStore(*store);
    delete store;
    return ok;
}
