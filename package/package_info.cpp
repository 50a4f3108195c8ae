#include "package/package_info.h"
#include <cstring>
#include "platform/resources.h"
#include "platform/system.h"

PackageHeader g_PackageHeader;
char g_Title[kTextLimit + 1];
char g_ReadmeName[kTextLimit + 1];

// Copies at most kTextLimit bytes of the resource into text. 0 when absent.
static int LoadText(const char* name, char* text) {
    text[0] = 0;
    const unsigned char* bytes;
    uint32_t size;
    if (!FindPackageResource(name, &bytes, &size)) return 0;
    uint32_t n = size < kTextLimit ? size : kTextLimit;
    memcpy(text, bytes, n);
    text[n] = 0;
    return 1;
}

// A repeated file's content, sizes and form are those of the earlier record
// it names, which must carry a file of its own.
static int TakeEarlierContent(const PackageRecords& records, PayloadView* view) {
    if (view->sameAs >= records.list.size()) return 0;  // itself, later, or beyond the package
    const PackageRecord& earlier = records.list[view->sameAs];
    if (!earlier.valid || earlier.view.repeated || earlier.view.delta) return 0;
    view->content = earlier.view.content;
    view->contentSize = earlier.view.contentSize;
    view->fileSize = earlier.view.fileSize;
    view->compressed = earlier.view.compressed;
    return 1;
}

void LoadPackageRecords(uint32_t count, PackageRecords* records) {
    records->list.clear();
    records->longestName = 0;
    const unsigned char* list;
    uint32_t listSize;
    records->unchanged.clear();
    records->unchangedDamaged = FindPackageResource(kUnchangedName, &list, &listSize) &&
                                !ParseUnchangedFiles(list, listSize, &records->unchanged);
    for (uint32_t i = 0; i < count; i++) {
        char name[kRecordNameSize];
        FormatRecordName(name, i);
        const unsigned char* bytes;
        uint32_t size;
        if (!FindPackageResource(name, &bytes, &size)) break;  // records are contiguous
        PackageRecord record = PackageRecord();
        record.valid = ParsePayloadRecord(bytes, size, &record.view);
        if (record.valid && record.view.repeated) record.valid = TakeEarlierContent(*records, &record.view);
        if (record.valid && record.view.nameLength > records->longestName)
            records->longestName = record.view.nameLength;
        records->list.push_back(record);
    }
}

int LoadPackageInfo() {
    const unsigned char* bytes;
    uint32_t size;
    if (!FindPackageResource(kHeaderName, &bytes, &size) ||
        !DecodeHeader(bytes, size, &g_PackageHeader))
        return 0;
    g_ReadmeName[0] = 0;
    // The readme name is looked up only when there is a title.
    if (LoadText(kTitleName, g_Title)) LoadText(kReadmeName, g_ReadmeName);
    return 1;
}
