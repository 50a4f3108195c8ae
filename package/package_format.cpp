#include "package/package_format.h"
#include <cstdio>
#include "frame/bytes.h"
#include "package/record_names.h"
#include "platform/code_pages.h"

void FormatRecordName(char name[kRecordNameSize], uint32_t index) {
    snprintf(name, kRecordNameSize, "%s%03u", kRecordPrefix, index);
}

void EncodeHeader(const PackageHeader& header, unsigned char out[kHeaderSize]) {
    StoreU32(out + kHeaderFileCount, header.fileCount);
    StoreU32(out + kHeaderTotalBytes, header.totalBytes);
    StoreU64(out + kHeaderBuildTime, header.buildTime);
}

int DecodeHeader(const unsigned char* data, size_t size, PackageHeader* header) {
    if (!data || size != kHeaderSize) return 0;
    header->fileCount = LoadU32(data + kHeaderFileCount);
    header->totalBytes = LoadU32(data + kHeaderTotalBytes);
    header->buildTime = LoadU64(data + kHeaderBuildTime);
    return 1;
}

void EncodeStamp(uint64_t buildTime, unsigned char out[kStampSize]) { StoreU64(out, buildTime); }

int DecodeStamp(const unsigned char* data, size_t size, uint64_t* buildTime) {
    if (!data || size < kStampSize) return 0;
    *buildTime = LoadU64(data);
    return 1;
}

uint32_t EncodeRecordHead(const char* name, uint32_t nameLength, unsigned char* out) {
    StoreU32(out, nameLength);
    for (uint32_t i = 0; i < nameLength; i++)
        out[kRecordName + i] = static_cast<unsigned char>(name[i]);
    out[kRecordName + nameLength] = 0;
    return nameLength + kRecordOverhead;
}

int ParsePayloadRecord(const unsigned char* data, size_t size, PayloadView* view) {
    if (!data || size < kRecordOverhead) return 0;
    uint32_t nameLength = LoadU32(data);
    if (nameLength > size - kRecordOverhead) return 0;
    // The name is the zero-terminated text at offset 4; it must end exactly
    // where the length field says.
    const unsigned char* name = data + kRecordName;
    for (uint32_t i = 0; i < nameLength; i++)
        if (name[i] == 0) return 0;
    if (name[nameLength] != 0) return 0;
    view->name = reinterpret_cast<const char*>(name);
    view->nameLength = nameLength;
    view->content = data + nameLength + kRecordOverhead;
    view->contentSize = static_cast<uint32_t>(size - nameLength - kRecordOverhead);
    return 1;
}

int IsSafeRelativeName(const char* name) {
    return JudgeRecordName(name, kPlatformCodePage) == kNameSound;
}
