// Any bytes as a payload record, a header, a stamp or a record name: a
// record that parses is consistent, its content reads to exactly its file
// size or is found damaged, and a name judged safe can't leave the install
// directory.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "package/package_format.h"
#include "package/record_content.h"

static void CheckSafeName(const char* name) {
    if (!IsSafeRelativeName(name)) return;
    if (name[0] == '\\' || name[0] == '/' || name[0] == 0 || name[1] == ':') abort();
    std::string text(name);
    for (char& c : text)
        if (c == '/') c = '\\';
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\\', start);
        std::string part = text.substr(start, end == std::string::npos ? end : end - start);
        if (part == "..") abort();
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

static int CountContent(void* context, const unsigned char* bytes, uint32_t count) {
    uint64_t* total = static_cast<uint64_t*>(context);
    if (count == 0 || count > kContentChunk) abort();
    volatile unsigned char last = bytes[count - 1];  // every byte given is readable
    (void)last;
    *total += count;
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PayloadView view;
    if (ParsePayloadRecord(data, size, &view)) {
        size_t overhead = kRecordOverhead + (view.compressed ? kCompressedOverhead : 0) +
                          (view.repeated ? kRepeatedOverhead : 0) + (view.delta ? kDeltaOverhead : 0);
        if (view.repeated && (view.compressed || view.contentSize)) abort();  // its own bytes: none
        if (view.nameLength + overhead + view.contentSize != size) abort();
        if (!view.compressed && !view.delta && view.fileSize != view.contentSize) abort();
        uint64_t total = 0;
        int damaged;
        int read = ReadRecordContent(view, CountContent, &total, &damaged);
        if (read == damaged || (read && total != view.fileSize) || total > view.fileSize) abort();
        if (strlen(view.name) != view.nameLength) abort();
        if (view.content + view.contentSize != data + size) abort();
        CheckSafeName(view.name);
    }
    PackageHeader header;
    if (DecodeHeader(data, size, &header) != (size == kHeaderSize)) abort();
    uint64_t stamp;
    if (DecodeStamp(data, size, &stamp) != (size >= kStampSize)) abort();
    std::string name(reinterpret_cast<const char*>(data), size);
    CheckSafeName(name.c_str());
    return 0;
}
