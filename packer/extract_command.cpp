// orvanta-pack extract: writes a package's records into a folder as the
// updater writes them into a game's: the same name rules and the same
// writer, with the folders the names need made inside that folder only.
#include <cstdio>
#include "packer/packer.h"
#include "platform/code_pages.h"
#include "platform/files.h"
#include "install/record_writer.h"

// what as this platform spells it.
static int Complain(const std::string& what, const std::string& why) {
    fprintf(stderr, "orvanta-pack: %s: %s\n", what.c_str(), why.c_str());
    return 0;
}

// The path of the UTF-8 name below folder as this platform spells it, after
// making the folders of its parts; 0 when a part can't be spelled here or a
// part is in the way that isn't a folder of its own (a link included).
static int MakeTarget(const std::string& folder, const std::string& name, std::string* target) {
    std::string spelled;
    for (size_t at = name.find_first_of("\\/"); at != std::string::npos;
         at = name.find_first_of("\\/", at + 1)) {
        if (!ConvertCodePage(name.substr(0, at), kUtf8CodePage, kPlatformCodePage, &spelled) ||
            !MakeFolder((folder + "\\" + spelled).c_str()))
            return 0;
    }
    if (!ConvertCodePage(name, kUtf8CodePage, kPlatformCodePage, &spelled)) return 0;
    *target = folder + "\\" + spelled;
    return !IsLink(target->c_str());
}

// Writes the record's content as the file target, with the updater's own
// writer, a delta applied to the file at base (nullptr: none). 1 when it
// was written completely; 0 with failure telling why.
static int WritePayloadContent(const char* target, const PayloadView& record, const char* base,
                               ExtractFailure* failure) {
    FileHandle from = record.delta && base ? OpenForRead(base) : 0;
    if (record.delta && !from) return FailFileCall(failure, base ? base : target);
    FileHandle file = CreateForWrite(target);
    int ok = file ? WriteRecordContent(file, target, record, from, nullptr, failure)
                  : FailFileCall(failure, target);
    if (file) CloseFile(file);
    if (from) CloseFile(from);
    return ok;
}

static int ExtractRecord(const std::string& folder, const std::string& from,
                         const ListedRecord& entry) {
    char resource[kRecordNameSize];
    FormatRecordName(resource, entry.index);
    if (!entry.problem.empty()) return Complain(resource, entry.problem + ", not written");
    // The name again as it will be spelled, against a part that the code
    // page turned into a separator or a parent.
    std::string target;
    if (!IsSafeRelativeName(entry.name.c_str()) || !MakeTarget(folder, entry.name, &target))
        return Complain(ToPlatformText(entry.name), "can't be written inside " + folder);
    MakeFileWritable(target.c_str());
    ExtractFailure failure;
    std::string base = from.empty() ? "" : from + target.substr(folder.size());
    if (!WritePayloadContent(target.c_str(), entry.record->view, from.empty() ? nullptr : base.c_str(),
                             &failure)) {
        if (failure.kind == kPackageFault && !RemoveFile(target.c_str()))
            Complain(ToPlatformText(entry.name), "a part was written and can't be removed");
        return Complain(ToPlatformText(entry.name), failure.reason);
    }
    return 1;
}

int RunExtractCommand(const PackerArguments& arguments) {
    const std::string& folder = arguments.operands[1];
    PackageListing listing;
    int status = ReadPackageListing(arguments.operands[0].c_str(), arguments.codePage, &listing);
    if (status != kPackOk) return status;
    if (!CheckReleaseGiven(arguments.operands[0], arguments.from, listing)) return kPackUsage;
    if (!MakeFolder(folder.c_str())) {
        Complain(folder, "can't be made a folder");
        return kPackUsage;
    }
    uint32_t written = 0;
    uint64_t bytes = 0;
    for (const ListedRecord& entry : listing.records) {
        if (!ExtractRecord(folder, arguments.from, entry)) continue;
        written++;
        bytes += entry.record->view.fileSize;
    }
    if (!listing.totalProblem.empty()) Complain("total bytes", listing.totalProblem);
    printf("%u files (%llu bytes) written into %s\n", written,
           static_cast<unsigned long long>(bytes), folder.c_str());
    return written == listing.records.size() && !listing.problems ? kPackOk : kPackDifferent;
}
