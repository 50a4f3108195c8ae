#include "package/package_format.h"
#include <algorithm>
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

uint32_t EncodeDeltaRecordHead(const char* name, uint32_t nameLength, uint64_t baseSize,
                               const unsigned char baseHash[kHashSize], uint32_t madeSize,
                               const unsigned char madeHash[kHashSize], unsigned char* out) {
    uint32_t at = EncodeRecordHead(name, nameLength, out);
    StoreU32(out, kDeltaFlag | nameLength);
    StoreU64(out + at, baseSize);
    std::copy(baseHash, baseHash + kHashSize, out + at + 8);
    StoreU32(out + at + 8 + kHashSize, madeSize);
    std::copy(madeHash, madeHash + kHashSize, out + at + 12 + kHashSize);
    return at + kDeltaOverhead;
}

void EncodeUnchangedFile(const UnchangedFile& file, std::string* out) {
    unsigned char fields[4 + 8];
    StoreU32(fields, static_cast<uint32_t>(file.name.size()));
    out->append(reinterpret_cast<char*>(fields), 4);
    out->append(file.name);
    StoreU64(fields, file.size);
    out->append(reinterpret_cast<char*>(fields), 8);
    out->append(reinterpret_cast<const char*>(file.hash), kHashSize);
}

int ParseUnchangedFiles(const unsigned char* data, size_t size,
                        std::vector<UnchangedFile>* files) {
    files->clear();
    for (size_t at = 0; at < size;) {
        if (size - at < 4) return 0;
        uint32_t n = LoadU32(data + at);
        if (n == 0 || size - at - 4 < static_cast<uint64_t>(n) + 8 + kHashSize) return 0;
        UnchangedFile file;
        file.name.assign(reinterpret_cast<const char*>(data + at + 4), n);
        if (file.name.find('\0') != std::string::npos) return 0;
        file.size = LoadU64(data + at + 4 + n);
        std::copy(data + at + 12 + n, data + at + 12 + n + kHashSize, file.hash);
        files->push_back(file);
        at += 12 + static_cast<size_t>(n) + kHashSize;
    }
    return 1;
}

const uint32_t kDeflateMostGain = 1032;

int ParsePayloadRecord(const unsigned char* data, size_t size, PayloadView* view) {
    if (!data || size < kRecordOverhead) return 0;
    uint32_t field = LoadU32(data);
    // One form a record: the highest flag set names it; any other flag then
    // makes the name length run past the record.
    int compressed = (field & kCompressedFlag) != 0;
    int delta = !compressed && (field & kDeltaFlag);
    int repeated = !compressed && !delta && (field & kRepeatedFlag);
    uint32_t form = compressed ? kCompressedFlag : delta ? kDeltaFlag : repeated ? kRepeatedFlag : 0;
    uint32_t nameLength = field & ~form;
    uint32_t overhead = kRecordOverhead + (compressed ? kCompressedOverhead : 0) +
                        (repeated ? kRepeatedOverhead : 0) + (delta ? kDeltaOverhead : 0);
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
    view->delta = delta;
    const unsigned char* sizes = data + nameLength + kRecordOverhead;
    view->baseSize = delta ? LoadU64(sizes) : 0;
    view->baseHash = delta ? sizes + 8 : nullptr;
    view->madeHash = delta ? sizes + 12 + kHashSize : nullptr;
    if (delta) view->fileSize = LoadU32(sizes + 8 + kHashSize);
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
