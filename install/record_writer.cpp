#include "install/record_writer.h"
#include "package/record_content.h"

int WriteWholeChunk(FileHandle file, const unsigned char* bytes, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        uint32_t n = WriteBlock(file, bytes + done, count - done);
        if (n == 0) return 0;
        done += n;
    }
    return 1;
}

// Where a record's content goes: the new file, and who counts it.
struct ContentTarget {
    FileHandle file;
    const WrittenBytes* written;
};

static int TakeContent(void* context, const unsigned char* bytes, uint32_t count) {
    ContentTarget* target = static_cast<ContentTarget*>(context);
    if (!WriteWholeChunk(target->file, bytes, count)) return 0;
    if (target->written) target->written->count(target->written->context, count);
    return 1;
}

int WriteRecordContent(FileHandle file, const char* path, const PayloadView& view,
                       FileHandle base, const WrittenBytes* written, ExtractFailure* failure) {
    ContentTarget target = {file, written};
    int damaged = 0;
    DeltaBase from = MakeFileBase(&base);
    if (view.delta ? base && ReadDeltaContent(view, from, TakeContent, &target, &damaged)
                   : ReadRecordContent(view, TakeContent, &target, &damaged))
        return 1;
    if (damaged) return FailPackage(failure, view.name, "The update package is damaged");
    return FailFileCall(failure, path);
}
