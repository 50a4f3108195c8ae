#include "updater/package_info.h"
#include <cstring>
#include "package/package_state.h"
#include "package/resource_store.h"
#include "platform/platform.h"

int ReadInstallDir(char* buffer, uint32_t size) {
    return ReadMachineString("SOFTWARE\\Mervolk\\Orvanta\\1.00", "TAR_DIR", buffer, size);
}

// Copies at most limit bytes of a found resource into text and terminates
// it. 0 when it can't be loaded.
static int LoadTextResource(ResourceRef resource, char* text, uint32_t limit) {
    uint32_t size = SizeofPackageResource(resource);
    uint32_t n = size < limit ? size : limit;
    LoadedResource loaded;
    const unsigned char* bytes = OpenPackageResource(resource, &loaded);
    if (!bytes) return 0;
    memcpy(text, bytes, n);
    text[n] = 0;
    FreePackageResource(loaded);
    return 1;
}

static int LoadHeader() {
    ResourceRef resource = FindPackageResource(kHeaderName);
    if (!resource || SizeofPackageResource(resource) != kHeaderSize) return 0;
    LoadedResource loaded;
    const unsigned char* bytes = OpenPackageResource(resource, &loaded);
    if (!bytes) return 0;
    int ok = DecodeHeader(bytes, kHeaderSize, &g_PackageHeader);
    FreePackageResource(loaded);
    return ok;
}

int LoadPackageInfo() {
    if (!LoadHeader()) return 0;
    g_Title[0] = 0;
    ResourceRef title = FindPackageResource(kTitleName);
    if (!title) return 1;  // no title: the readme name isn't looked up
    if (!LoadTextResource(title, g_Title, kTextLimit)) return 0;
    g_ReadmeName[0] = 0;
    ResourceRef readme = FindPackageResource(kReadmeName);
    if (!readme) return 1;
    return LoadTextResource(readme, g_ReadmeName, kTextLimit);
}

uint32_t GetLongestRecordName() {
    uint32_t longest = 0;
    for (uint32_t i = 0; i < g_PackageHeader.fileCount; i++) {
        char name[16];
        FormatRecordName(name, i);
        ResourceRef resource = FindPackageResource(name);
        if (!resource) break;  // records are contiguous; a damaged count ends here
        uint32_t size = SizeofPackageResource(resource);
        LoadedResource loaded;
        const unsigned char* bytes = OpenPackageResource(resource, &loaded);
        if (!bytes) continue;
        PayloadView view;
        if (ParsePayloadRecord(bytes, size, &view) && view.nameLength > longest)
            longest = view.nameLength;
        FreePackageResource(loaded);
    }
    return longest;
}
