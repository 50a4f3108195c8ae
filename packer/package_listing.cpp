// A package as the tools show it: read by the updater's own loader, each
// record judged by the updater's own rules.
#include <cstdio>
#include "packer/packer.h"
#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "package/record_names.h"

int DecodeToUtf8(const std::string& text, uint32_t codePage, std::string* out) {
    if (ConvertCodePage(text, codePage, kUtf8CodePage, out)) return 1;
    out->clear();
    for (unsigned char c : text) {
        if (c >= 0x80) out->push_back(static_cast<char>(0xC0 | c >> 6));
        out->push_back(static_cast<char>(c < 0x80 ? c : 0x80 | (c & 0x3F)));
    }
    return 0;
}

std::string ToPlatformText(const std::string& utf8) {
    std::string spelled;
    int plain = ConvertCodePage(utf8, kUtf8CodePage, kPlatformCodePage, &spelled);
    for (unsigned char c : utf8)
        if (c < 0x20 || c == 0x7F) plain = 0;  // one name, one line
    if (plain) return spelled;
    std::string escaped;
    AppendJsonString(&escaped, utf8);
    return escaped.substr(1, escaped.size() - 2);
}

std::string ToNativePath(const std::string& path) {
    std::string native(path.size() + 1, '\0');
    MakeNativePath(path.c_str(), &native[0], static_cast<uint32_t>(native.size()));
    return native.c_str();
}

static const char kRefusedName[] = "the updater refuses this name: ";

static void JudgeRecord(uint32_t codePage, ListedRecord* entry) {
    const PackageRecord& record = *entry->record;
    if (!record.valid) {
        entry->problem = "damaged record";
        return;
    }
    int decoded = DecodeToUtf8(record.view.name, codePage, &entry->name);
    for (char& c : entry->name)
        if (c == '/') c = '\\';  // Windows takes both as separators
    RecordNameFault fault = JudgeRecordName(record.view.name, codePage);
    if (fault != kNameSound)
        entry->problem = std::string(kRefusedName) + DescribeNameFault(fault);
    else if (!decoded)
        entry->problem = "the name is not valid in code page " + std::to_string(codePage);
}

static void ListRecords(uint32_t codePage, PackageListing* listing) {
    RecordNameSet names = {codePage, {}, {}};
    const std::vector<PackageRecord>& records = listing->package.list;
    for (uint32_t i = 0; i < records.size(); i++) {
        ListedRecord entry{i, &records[i], "", ""};
        JudgeRecord(codePage, &entry);
        uint32_t earlier;
        char other[kRecordNameSize];
        if (entry.problem.empty() && !AddRecordName(&names, records[i].view.name, i, &earlier)) {
            FormatRecordName(other, earlier);
            entry.problem = std::string(kRefusedName) + kSameNameText + " (" + other + ")";
        }
        listing->records.push_back(entry);
    }
    uint32_t found = static_cast<uint32_t>(records.size());
    if (found < g_PackageHeader.fileCount) {
        char problem[120];
        snprintf(problem, sizeof problem, "missing: the header counts %u files, the package holds %u",
                 g_PackageHeader.fileCount, found);
        listing->records.push_back(ListedRecord{found, nullptr, "", problem});
    }
    for (const ListedRecord& entry : listing->records)
        if (!entry.problem.empty()) listing->problems++;
}

// The header's total against the records', when every record is there.
static void CheckTotal(PackageListing* listing) {
    int complete = 1;
    for (const ListedRecord& entry : listing->records) {
        if (!entry.record || !entry.record->valid) {
            complete = 0;
            continue;
        }
        listing->recordTotal += entry.record->view.fileSize;
        listing->fileBytes += entry.record->view.fileSize;
        // A repeated file carries no bytes of its own.
        if (!entry.record->view.repeated) listing->storedBytes += entry.record->view.contentSize;
    }
    if (!complete || listing->recordTotal == g_PackageHeader.totalBytes) return;
    listing->totalProblem = "the records hold " + std::to_string(listing->recordTotal) + " bytes";
    listing->problems++;
}

int ReadPackageListing(const char* path, uint32_t codePage, PackageListing* listing) {
    FileHandle file = OpenForRead(path);
    if (!file) {
        fprintf(stderr, "orvanta-pack: %s: can't be opened\n", path);
        return kPackUsage;
    }
    CloseFile(file);
    if (!SelectPackageImage(path) || !LoadPackageInfo()) {
        fprintf(stderr, "orvanta-pack: %s: holds no package (not an executable, or no "
                        "HEADER of 16 bytes)\n", path);
        return kPackDifferent;
    }
    *listing = PackageListing();
    DecodeToUtf8(g_Title, codePage, &listing->title);
    DecodeToUtf8(g_ReadmeName, codePage, &listing->readme);
    LoadPackageRecords(g_PackageHeader.fileCount, &listing->package);
    ListRecords(codePage, listing);
    CheckTotal(listing);
    return kPackOk;
}

int CheckReleaseGiven(const std::string& package, const std::string& from,
                      const PackageListing& listing) {
    int deltas = !listing.package.unchanged.empty();
    for (const ListedRecord& entry : listing.records)
        deltas = deltas || (entry.record && entry.record->valid && entry.record->view.delta);
    if (!deltas || !from.empty()) return 1;
    fprintf(stderr, "orvanta-pack: %s was made from a release (--from): give that release's "
                    "files with --from OLD\n", ToNativePath(package).c_str());
    return 0;
}

void ClosePackage() {
    SelectPackageImage(nullptr);
}
