#include "package/package_format.h"
#include <cstdio>
#include "base/bytes.h"
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

// A record's head with form set in its length field and a 32-bit value
// after the name's terminator.
static uint32_t EncodeFormHead(const char* name, uint32_t nameLength, uint32_t form,
                               uint32_t value, unsigned char* out) {
    uint32_t head = EncodeRecordHead(name, nameLength, out);
    StoreU32(out, form | nameLength);
    StoreU32(out + head, value);
    return head + 4;
}

uint32_t EncodeCompressedRecordHead(const char* name, uint32_t nameLength, uint32_t fileSize,
                                    unsigned char* out) {
    return EncodeFormHead(name, nameLength, kCompressedFlag, fileSize, out);
}

uint32_t EncodeRepeatedRecord(const char* name, uint32_t nameLength, uint32_t earlier,
                              unsigned char* out) {
    return EncodeFormHead(name, nameLength, kRepeatedFlag, earlier, out);
}

const uint32_t kDeflateMostGain = 1032;

int ParsePayloadRecord(const unsigned char* data, size_t size, PayloadView* view) {
    if (!data || size < kRecordOverhead) return 0;
    uint32_t field = LoadU32(data);
    int compressed = (field & kCompressedFlag) != 0, repeated = !compressed && (field & kRepeatedFlag);
    uint32_t nameLength = field & ~(compressed ? kCompressedFlag : repeated ? kRepeatedFlag : 0);
    uint32_t overhead = kRecordOverhead + (compressed ? kCompressedOverhead : 0) +
                        (repeated ? kRepeatedOverhead : 0);
    if (size < overhead || nameLength > size - overhead) return 0;
    // The name is the zero-terminated text at offset 4; it must end exactly
    // where the length field says.
    const unsigned char* name = data + kRecordName;
    for (uint32_t i = 0; i < nameLength; i++)
        if (name[i] == 0) return 0;
    if (name[nameLength] != 0) return 0;
    view->name = reinterpret_cast<const char*>(name);
    view->nameLength = nameLength;
    view->content = data + nameLength + overhead;
    view->contentSize = static_cast<uint32_t>(size - nameLength - overhead);
    view->fileSize = compressed ? LoadU32(data + nameLength + kRecordOverhead) : view->contentSize;
    view->compressed = compressed;
    view->repeated = repeated;
    view->sameAs = repeated ? LoadU32(data + nameLength + kRecordOverhead) : 0;
    // A repeated file's record ends with its index; its content is the
    // earlier record's.
    if (repeated) return view->contentSize == 0;
    // Deflate gives at most 1032 bytes for each byte of stream: a larger
    // size can't be right, and would only ask the disk for room in vain.
    return !compressed || view->fileSize / kDeflateMostGain <= view->contentSize;
}

int IsSafeRelativeName(const char* name) {
    return JudgeRecordName(name, kPlatformCodePage) == kNameSound;
}
