// Any bytes as a payload record, a header, a stamp or a record name: a
// record that parses is consistent, and a name judged safe can't leave the
// install directory.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "package/package_format.h"

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PayloadView view;
    if (ParsePayloadRecord(data, size, &view)) {
        if (view.nameLength + static_cast<size_t>(kRecordOverhead) + view.contentSize != size)
            abort();
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
